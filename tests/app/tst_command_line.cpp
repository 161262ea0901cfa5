#include "command_line.h"

#include "temp_tree.h"

#include <QtTest>

/// What `tavrune …` asks for, and how many arguments it skips. The skipped lines' texts are checked
/// where the user sees them, on the program's standard error (tst_headless_run).
class TestCommandLine final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        m_tree.makeDir(QStringLiteral("Projects"));
        m_tree.makeDir(QStringLiteral("Music"));
        m_tree.makeDir(QStringLiteral("-dashed"));
        m_tree.makeFile(QStringLiteral("notes.txt"), "x");
    }

    void parsesArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("folders");   // relative to the tree
        QTest::addColumn<int>("skipped");
        QTest::addColumn<bool>("fast");

        using A = CommandLine::Action;
        QTest::newRow("nothing opens the window") << QStringList{} << int(A::openWindow) << QStringList{} << 0 << false;
        QTest::newRow("folders in order, each once")
            << QStringList{"Projects", "Music", "./Projects/", "Music/../Projects"} << int(A::openWindow)
            << QStringList{"Projects", "Music"} << 0 << false;
        QTest::newRow("a file and a missing path are skipped, folders still open")
            << QStringList{"notes.txt", "Projects", "Gone"} << int(A::openWindow) << QStringList{"Projects"} << 2
            << false;
        QTest::newRow("file URLs as launchers pass them")
            << QStringList{"@URL@Music"} << int(A::openWindow) << QStringList{"Music"} << 0 << false;
        QTest::newRow("a folder named like an option after --")
            << QStringList{"--", "-dashed"} << int(A::openWindow) << QStringList{"-dashed"} << 0 << false;
        QTest::newRow("apply icons") << QStringList{"--apply-icons", "Projects"} << int(A::applyIcons)
                                     << QStringList{"Projects"} << 0 << false;
        QTest::newRow("apply icons fast, option after the folder")
            << QStringList{"--apply-icons", "Music", "--fast"} << int(A::applyIcons) << QStringList{"Music"} << 0
            << true;
        QTest::newRow("apply icons keeps going past a bad folder")
            << QStringList{"--apply-icons", "Gone", "Music"} << int(A::applyIcons) << QStringList{"Music"} << 1
            << false;
        QTest::newRow("apply icons without a folder") << QStringList{"--apply-icons"} << int(A::usageError)
                                                      << QStringList{} << 0 << false;
        QTest::newRow("apply icons with only bad folders")
            << QStringList{"--apply-icons", "notes.txt"} << int(A::usageError) << QStringList{} << 1 << false;
        QTest::newRow("fast alone") << QStringList{"--fast", "Music"} << int(A::usageError) << QStringList{} << 0
                                    << true;
        QTest::newRow("Qt's own window options pass through")
            << QStringList{"-platform", "offscreen", "Music", "-reverse"} << int(A::openWindow)
            << QStringList{"Music"} << 0 << false;
        QTest::newRow("unknown option") << QStringList{"--frobnicate", "Music"} << int(A::usageError)
                                        << QStringList{} << 0 << false;
        QTest::newRow("help wins") << QStringList{"Music", "--help"} << int(A::showHelp) << QStringList{} << 0
                                   << false;
        QTest::newRow("short version") << QStringList{"-v"} << int(A::showVersion) << QStringList{} << 0 << false;
        QTest::newRow("set the key") << QStringList{"--set-api-key"} << int(A::setApiKey) << QStringList{} << 0
                                     << false;
        QTest::newRow("set the key takes no folders")
            << QStringList{"--set-api-key", "Music"} << int(A::usageError) << QStringList{} << 0 << false;
    }

    void parsesArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QStringList, folders);
        QFETCH(int, skipped);
        QFETCH(bool, fast);

        for (QString &argument : arguments)
            argument.replace(QStringLiteral("@URL@"), QUrl::fromLocalFile(m_tree.path()).toString() + u'/');
        const CommandLine line = CommandLine::parse(QStringList{"tavrune"} + arguments, m_tree.path());

        QCOMPARE(int(line.action), action);
        QCOMPARE(line.fast, fast);
        QList<QUrl> expected;
        for (const QString &folder : folders)
            expected.append(QUrl::fromLocalFile(m_tree.filePath(folder) + u'/'));
        if (line.action != CommandLine::Action::usageError)
            QCOMPARE(line.folders, expected);
        QCOMPARE(line.skipped.size(), skipped);
        if (line.action == CommandLine::Action::usageError)
            QVERIFY(!line.error.isEmpty());
    }

    void rootAndAbsolutePathsAreDirectoryUrls()
    {
        const CommandLine line = CommandLine::parse({"tavrune", "/", m_tree.filePath("Music")}, QStringLiteral("/"));
        QCOMPARE(line.folders, QList<QUrl>({QUrl::fromLocalFile("/"), QUrl::fromLocalFile(m_tree.filePath("Music/"))}));
    }

private:
    TempTree m_tree;
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
