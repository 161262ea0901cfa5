#include "temp_tree.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QProcess>
#include <QtTest>

namespace {

const QString Service = QStringLiteral("com.tavrune.app");

QStringList foldersInWindow()
{
    QDBusInterface window(Service, QStringLiteral("/com/tavrune/app"), Service);
    return window.property("Folders").toStringList();
}

bool serviceOwned()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(Service);
}

} // namespace

/// One window per session: a second `tavrune FOLDER…` hands its folders to the first over the bus.
class TestSingleInstance final : public QObject
{
    Q_OBJECT

private:
    TempTree m_tree;
    // Owned here, so that windows still running when a check fails are stopped in cleanup().
    std::vector<std::unique_ptr<QProcess>> m_windows;

    QProcess &startWindow(const QStringList &arguments)
    {
        QProcess &process = *m_windows.emplace_back(std::make_unique<QProcess>());
        process.setWorkingDirectory(m_tree.path());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(TAVRUNE_BINARY), arguments);
        return process;
    }

    static void stopWindow(QProcess &process)
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished(5000);
    }

private Q_SLOTS:
    void cleanup()
    {
        for (const std::unique_ptr<QProcess> &window : m_windows)
            stopWindow(*window);
        m_windows.clear();
        // Each case starts from an empty window: no folders kept from the case before.
        QDir(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/com.tavrune.app/session")).removeRecursively();
    }

    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        for (const char *name : {"Projects", "Music", "Photos", "Code"})
            m_tree.makeDir(QString::fromLatin1(name));
        m_tree.makeFile(QStringLiteral("notes.txt"), "x");
    }

    void secondLaunchHandsItsFoldersToTheFirst()
    {
        QProcess &first = startWindow({QStringLiteral("Projects")});
        QTRY_VERIFY_WITH_TIMEOUT(serviceOwned(), 30000);
        QCOMPARE(foldersInWindow(), QStringList{m_tree.filePath("Projects")});

        QProcess second;
        second.setWorkingDirectory(m_tree.path());
        second.start(QStringLiteral(TAVRUNE_BINARY), {"Music", "notes.txt", "Photos", "Projects"});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(second.readAllStandardError()),
                 QStringLiteral("tavrune: skipped “notes.txt”: not a folder\n"));

        // Already listed folders stay once; the new ones come after them, in the order given.
        QCOMPARE(foldersInWindow(), QStringList({m_tree.filePath("Projects"), m_tree.filePath("Music"),
                                                 m_tree.filePath("Photos")}));
        QCOMPARE(first.state(), QProcess::Running);

        // A bare `tavrune` only brings the window forward.
        QProcess third;
        third.start(QStringLiteral(TAVRUNE_BINARY), {});
        QVERIFY(third.waitForFinished(20000));
        QCOMPARE(third.exitCode(), 0);
        QCOMPARE(foldersInWindow().size(), 3);

        stopWindow(first);
        QTRY_VERIFY_WITH_TIMEOUT(!serviceOwned(), 10000);
    }

    void nextLaunchAfterTheWindowClosedOpensItsOwn()
    {
        startWindow({QStringLiteral("Code")});
        QTRY_VERIFY_WITH_TIMEOUT(serviceOwned(), 30000);
        QCOMPARE(foldersInWindow(), QStringList{m_tree.filePath("Code")});
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_single_instance.moc"
