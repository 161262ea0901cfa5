#include "fake_open_router.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <gio/gio.h>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const QString FastModel = QStringLiteral("google/gemini-2.5-flash-image");
const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");

struct Outcome
{
    int exitCode = -1;
    QStringList lines; // stderr
    QString out;
};

QString customIcon(const QString &folder)
{
    GFile *file = g_file_new_for_path(QFile::encodeName(folder).constData());
    GFileInfo *info = g_file_query_info(file, "metadata::custom-icon", G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    QString value;
    if (info && g_file_info_get_attribute_string(info, "metadata::custom-icon"))
        value = QString::fromUtf8(g_file_info_get_attribute_string(info, "metadata::custom-icon"));
    if (info)
        g_object_unref(info);
    g_object_unref(file);
    return value;
}

QString prompt(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString();
}

} // namespace

/// `tavrune --apply-icons` end to end: the real program, real folders, real gvfs, the fake OpenRouter.
class TestHeadlessRun final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    std::unique_ptr<TempTree> m_tree;

    Outcome run(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVRUNE_OPENROUTER_URL"), m_server.baseUrl());
        // No display of any kind: the headless paths must not need one.
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_tree->path());
        process.start(QStringLiteral(TAVRUNE_BINARY), arguments);
        if (!process.waitForStarted())
            return {};
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000))
            return {};
        Outcome outcome;
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.lines = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        outcome.out = QString::fromUtf8(process.readAllStandardOutput());
        return outcome;
    }

    void storeKey(const QByteArray &key)
    {
        // This bus can start a keyring daemon, but one never set up, with nowhere to keep the key and
        // no display to ask on: the private file takes it, and stderr has the one line saying so.
        const Outcome stored = run({QStringLiteral("--set-api-key")}, key);
        QCOMPARE(stored.lines, QStringList{QStringLiteral("tavrune: API key stored in a private file on this computer.")});
        QCOMPARE(stored.exitCode, 0);
    }

    bool hasIconOnDisk(const QString &folder)
    {
        const QString uri = customIcon(folder);
        return uri.startsWith(QLatin1String("file://")) && QFile::exists(QUrl(uri).toLocalFile())
            && fileContent(folder + QStringLiteral("/.directory")).contains("Icon=");
    }

private Q_SLOTS:
    void init()
    {
        m_tree = std::make_unique<TempTree>();
        m_server.reset();
        QFile::remove(storedKeyPath());
    }

    void appliesEveryFolderWithTheStoredKey()
    {
        storeKey("sk-or-v1-headless\n");
        // The window's session: a run without the window must neither read (and set aside) nor rewrite it.
        const QString session = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/com.tavrune.app/session");
        QVERIFY(QDir().mkpath(session));
        QVERIFY(writeFile(session + QStringLiteral("/session.json"), "not a session"));
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkCyan)).after(200ms));
        const QStringList names{"Projects", "Photos", "Code"};
        for (const QString &name : names)
            m_tree->makeDir(name);

        const Outcome outcome = run(QStringList{"--apply-icons", "--fast"} + names);

        QCOMPARE(outcome.exitCode, 0);
        QStringList lines = outcome.lines;
        lines.sort();
        QCOMPARE(lines, QStringList({"Code: applied", "Photos: applied", "Projects: applied"}));
        for (const QString &name : names)
            QVERIFY2(hasIconOnDisk(m_tree->filePath(name)), qPrintable(name));

        // All at once, the fast model first, with the key as stored (without the line's end).
        const QList<RecordedRequest> requests = m_server.chatRequests();
        QCOMPARE(requests.size(), 3);
        for (const RecordedRequest &request : requests) {
            QCOMPARE(request.model(), FastModel);
            QCOMPARE(request.header("Authorization"), QByteArray("Bearer sk-or-v1-headless"));
        }
        // --fast is this run's choice only: the window's preference is left alone.
        QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/tavrune/tavrune.conf")));
        QCOMPARE(QDir(session).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("session.json")});
        QCOMPARE(fileContent(session + QStringLiteral("/session.json")), QByteArray("not a session"));
    }

    void ctrlCStopsCleanlyAndExitsWith130()
    {
        storeKey("sk-or-v1-headless\n");
        const FakeReply quick = FakeReply::image(solidPicture(Qt::darkGreen));
        const FakeReply late = FakeReply::image(solidPicture(Qt::darkRed)).after(60s);
        m_server.setGenerator([quick, late](const QString &, const QString &prompt) {
            return prompt.contains(QStringLiteral("\"Slow")) ? late : quick;
        });
        const QStringList names{"Quick", "Slow One", "Slow Two"};
        for (const QString &name : names)
            m_tree->makeDir(name);

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVRUNE_OPENROUTER_URL"), m_server.baseUrl());
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_tree->path());
        process.setReadChannel(QProcess::StandardError);
        process.start(QStringLiteral(TAVRUNE_BINARY), QStringList{"--apply-icons"} + names);
        QVERIFY(process.waitForStarted());
        QByteArray errors;
        while (!errors.contains("Quick: applied") && process.waitForReadyRead(30000))
            errors += process.readAllStandardError();
        QVERIFY(errors.contains("Quick: applied"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), 3, 10000);

        ::kill(pid_t(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        errors += process.readAllStandardError();
        QVERIFY2(errors.endsWith("tavrune: interrupted, 2 generations stopped\n"), errors.constData());

        // The finished folder is applied whole; the stopped ones are untouched.
        QVERIFY(hasIconOnDisk(m_tree->filePath(QStringLiteral("Quick"))));
        for (const QString &name : {QStringLiteral("Slow One"), QStringLiteral("Slow Two")}) {
            QVERIFY(customIcon(m_tree->filePath(name)).isEmpty());
            QVERIFY(!QFile::exists(m_tree->filePath(name) + QStringLiteral("/.directory")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_server.connectionsClosedWhileWaiting(), 2, 10000);
    }

    void reportsEachFailureAndExitsWithOne()
    {
        storeKey("sk-or-v1-headless");
        m_server.setGenerator([](const QString &, const QString &text) {
            return text.contains(QLatin1String("/Music"))
                ? FakeReply::apiError(500, QStringLiteral("Upstream is down"))
                : FakeReply::image(solidPicture(Qt::darkMagenta));
        });
        m_tree->makeDir(QStringLiteral("Projects"));
        m_tree->makeDir(QStringLiteral("Music"));

        const Outcome outcome = run({"--apply-icons", "Projects", "Music"});

        QCOMPARE(outcome.exitCode, 1);
        QCOMPARE(outcome.lines.size(), 2);
        QVERIFY(outcome.lines.contains(QStringLiteral("Projects: applied")));
        const QString music = outcome.lines.at(outcome.lines.indexOf(QStringLiteral("Projects: applied")) == 0 ? 1 : 0);
        QVERIFY2(music.startsWith(QLatin1String("Music: failed: ")) && music.size() > 15, qPrintable(music));
        QVERIFY(hasIconOnDisk(m_tree->filePath("Projects")));
        QVERIFY(!hasIconOnDisk(m_tree->filePath("Music")));
        // Without --fast the quality model is asked first.
        for (const RecordedRequest &request : m_server.chatRequests()) {
            if (prompt(request).contains(QLatin1String("/Projects")))
                QCOMPARE(request.model(), QualityModel);
        }
    }

    void missingKeyIsBadUsageAndSaysHowToStoreOne()
    {
        m_tree->makeDir(QStringLiteral("Projects"));
        const Outcome outcome = run({"--apply-icons", "Projects"});
        QCOMPARE(outcome.exitCode, 2);
        QCOMPARE(outcome.lines.size(), 1);
        QVERIFY2(outcome.lines.first().contains(QLatin1String("--set-api-key")), qPrintable(outcome.lines.first()));
        QVERIFY(m_server.requests().isEmpty());
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("no folder") << QStringList{"--apply-icons"} << 2
                                   << QStringList{"tavrune: --apply-icons needs at least one folder.",
                                                  "Try “tavrune --help” for more."};
        QTest::newRow("a file and a missing path, then a folder")
            << QStringList{"--apply-icons", "notes.txt", "Gone", "Projects"} << 1
            << QStringList{"tavrune: skipped “notes.txt”: not a folder", "tavrune: skipped “Gone”: no such folder",
                           "Projects: applied"};
        QTest::newRow("unknown option") << QStringList{"--apply-icons", "--colour", "Projects"} << 2
                                        << QStringList{"tavrune: Unknown option 'colour'.",
                                                       "Try “tavrune --help” for more."};
        QTest::newRow("empty key") << QStringList{"--set-api-key"} << 2
                                   << QStringList{"tavrune: no API key on standard input."};
    }

    void badArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, lines);

        storeKey("sk-or-v1-headless");
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkGreen)));
        m_tree->makeDir(QStringLiteral("Projects"));
        m_tree->makeFile(QStringLiteral("notes.txt"), "text");

        const Outcome outcome = run(arguments, "\n");
        QCOMPARE(outcome.lines, lines);
        QCOMPARE(outcome.exitCode, exitCode);
    }

    void helpAndVersionNeedNoDisplay()
    {
        const Outcome version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.out, QStringLiteral("tavrune " TAVRUNE_VERSION_TEXT "\n"));
        QCOMPARE(version.lines, QStringList());
        const Outcome help = run({"--help"});
        QCOMPARE(help.exitCode, 0);
        QCOMPARE(help.lines, QStringList());
        QVERIFY(help.out.contains(QLatin1String("--apply-icons")));
    }
};

QTEST_GUILESS_MAIN(TestHeadlessRun)
#include "tst_headless_run.moc"
