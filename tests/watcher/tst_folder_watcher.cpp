#include "services/folder_watcher.h"
#include "temp_tree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

// Reports arrive through timers; waits are generous because the test machine is slow and shared.
constexpr int kArrival = 20000;

/// Everything one watcher reported, call by call.
struct Reports
{
    QList<QList<QUrl>> calls;

    FolderWatcher::Callback callback()
    {
        return [this](const QList<QUrl> &folders) { calls.append(folders); };
    }
};

QUrl folderUrl(const QString &directory, const QString &name)
{
    return QUrl::fromLocalFile(directory + QLatin1Char('/') + name + QLatin1Char('/'));
}

QList<QUrl> folderUrls(const QString &directory, const QStringList &names)
{
    QList<QUrl> urls;
    for (const QString &name : names)
        urls.append(folderUrl(directory, name));
    return urls;
}

bool makeDir(const QString &path)
{
    return QDir().mkdir(path);
}

} // namespace

class TestFolderWatcher final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsANewFolderOnceAfterTheDelay()
    {
        TempTree tree;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(1000ms);
        watcher.start();
        QVERIFY(watcher.isWatching());

        QElapsedTimer clock;
        clock.start();
        QVERIFY(makeDir(tree.filePath(QStringLiteral("New"))));
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        QVERIFY(clock.elapsed() >= 1000);
        QCOMPARE(reports.calls.first(), folderUrls(tree.path(), {QStringLiteral("New")}));

        QTest::qWait(2500);
        QCOMPARE(reports.calls.size(), 1);
    }

    void waitsFourSecondsByDefault()
    {
        TempTree tree;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("Slow"))));
        QTest::qWait(3000);
        QVERIFY(reports.calls.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        QCOMPARE(reports.calls.first(), folderUrls(tree.path(), {QStringLiteral("Slow")}));
    }

    void reportsAFolderRenamedWithinTheDelayOnceUnderItsNewName()
    {
        TempTree tree;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(2000ms);
        watcher.start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("untitled folder"))));
        QTest::qWait(500); // the first name is seen by an event of its own
        QVERIFY(QDir(tree.path()).rename(QStringLiteral("untitled folder"), QStringLiteral("Invoices")));

        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        QTest::qWait(3000);
        QCOMPARE(reports.calls, QList<QList<QUrl>>{folderUrls(tree.path(), {QStringLiteral("Invoices")})});
    }

    void reportsNothingForAFolderDeletedOrReplacedWithinTheDelay()
    {
        TempTree tree;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(1500ms);
        watcher.start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("Gone"))));
        QTest::qWait(500);
        QVERIFY(QDir(tree.path()).rmdir(QStringLiteral("Gone")));
        // Something exists under the name again when the report wakes, but it is no folder.
        QVERIFY(makeDir(tree.filePath(QStringLiteral("Replaced"))));
        QTest::qWait(500);
        QVERIFY(QDir(tree.path()).rmdir(QStringLiteral("Replaced")));
        tree.makeFile(QStringLiteral("Replaced"), "now a file");
        QTest::qWait(4000);
        QVERIFY(reports.calls.isEmpty());
    }

    void reportsFoldersOfOneEventTogetherAndOfSeparateEventsApart()
    {
        TempTree tree;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(1000ms);
        watcher.start();

        // Made without returning to the event loop, so one event sees all three; sorted by name.
        for (const char *name : {"Charlie", "Alpha", "Bravo"})
            QVERIFY(makeDir(tree.filePath(QLatin1String(name))));
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        QCOMPARE(reports.calls.first(),
                 folderUrls(tree.path(), {QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")}));

        QVERIFY(makeDir(tree.filePath(QStringLiteral("X"))));
        QTest::qWait(500);
        QVERIFY(makeDir(tree.filePath(QStringLiteral("Y"))));
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 3, kArrival);
        QCOMPARE(reports.calls[1], folderUrls(tree.path(), {QStringLiteral("X")}));
        QCOMPARE(reports.calls[2], folderUrls(tree.path(), {QStringLiteral("Y")}));
    }

    void reportsOnlyVisibleRealFoldersThatAreNoBundles()
    {
        TempTree tree;
        TempTree elsewhere;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(1000ms);
        watcher.start();

        tree.makeFile(QStringLiteral("notes.txt"), "not a folder");
        QVERIFY(makeDir(tree.filePath(QStringLiteral(".hidden"))));
        QVERIFY(makeDir(tree.filePath(QStringLiteral("Tool.app"))));
        QVERIFY(makeDir(tree.filePath(QStringLiteral("Tool.APP"))));
        QVERIFY(QFile::link(elsewhere.makeDir(QStringLiteral("target")), tree.filePath(QStringLiteral("Link"))));
        QVERIFY(makeDir(tree.filePath(QStringLiteral("Plain"))));

        QTRY_VERIFY_WITH_TIMEOUT(!reports.calls.isEmpty(), kArrival);
        QTest::qWait(2500);
        QList<QUrl> all;
        for (const QList<QUrl> &call : std::as_const(reports.calls))
            all += call;
        QCOMPARE(all, folderUrls(tree.path(), {QStringLiteral("Plain"), QStringLiteral("Tool.APP")}));
    }

    void neverReportsFoldersPresentAtStartEvenAfterARestart()
    {
        TempTree tree;
        tree.makeDir(QStringLiteral("Old"));
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(800ms);
        watcher.start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("First"))));
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        watcher.stop();
        QVERIFY(!watcher.isWatching());
        watcher.start();
        QVERIFY(makeDir(tree.filePath(QStringLiteral("Second"))));
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 2, kArrival);
        QTest::qWait(2000);

        QCOMPARE(reports.calls, (QList<QList<QUrl>>{folderUrls(tree.path(), {QStringLiteral("First")}),
                                                    folderUrls(tree.path(), {QStringLiteral("Second")})}));
    }

    void stoppedWatcherStillReportsPendingFoldersButNoNewOnes()
    {
        TempTree tree;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(3000ms);
        watcher.start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("Pending"))));
        QTest::qWait(1000); // the event is handled, the report is pending
        watcher.stop();
        QVERIFY(makeDir(tree.filePath(QStringLiteral("AfterStop"))));

        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        QTest::qWait(4000);
        QCOMPARE(reports.calls, QList<QList<QUrl>>{folderUrls(tree.path(), {QStringLiteral("Pending")})});
    }

    void releasedWatcherReportsNothing()
    {
        TempTree tree;
        Reports reports;
        auto watcher = std::make_unique<FolderWatcher>(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher->setReportDelay(1500ms);
        watcher->start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("Pending"))));
        QTest::qWait(500);
        watcher.reset();
        QTest::qWait(4000);
        QVERIFY(reports.calls.isEmpty());
    }

    void reportsAFolderMovedOutAndBackInAgain()
    {
        TempTree tree;
        TempTree outside;
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(tree.path()), reports.callback());
        watcher.setReportDelay(800ms);
        watcher.start();

        QVERIFY(makeDir(tree.filePath(QStringLiteral("Traveller"))));
        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 1, kArrival);
        QVERIFY(QFile::rename(tree.filePath(QStringLiteral("Traveller")), outside.filePath(QStringLiteral("Traveller"))));
        QTest::qWait(800); // a scan without it
        QVERIFY(QFile::rename(outside.filePath(QStringLiteral("Traveller")), tree.filePath(QStringLiteral("Traveller"))));

        QTRY_COMPARE_WITH_TIMEOUT(reports.calls.size(), 2, kArrival);
        QCOMPARE(reports.calls[1], folderUrls(tree.path(), {QStringLiteral("Traveller")}));
    }

    void stopsWatchingADirectoryThatIsRemoved()
    {
        TempTree tree;
        const QString watched = tree.makeDir(QStringLiteral("Desktop"));
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(watched), reports.callback());
        watcher.start();
        QVERIFY(watcher.isWatching());
        QVERIFY(QDir(watched).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.isWatching(), kArrival);
        QVERIFY(reports.calls.isEmpty());
    }

    void directoryThatCannotBeWatchedLeavesItIdle()
    {
        TempTree tree;
        const QString missing = tree.filePath(QStringLiteral("NotYet"));
        Reports reports;
        FolderWatcher watcher(QUrl::fromLocalFile(missing), reports.callback());
        watcher.setReportDelay(500ms);
        watcher.start();
        QVERIFY(!watcher.isWatching());

        QVERIFY(makeDir(missing));
        QVERIFY(makeDir(missing + QStringLiteral("/Inside")));
        FolderWatcher remote(QUrl(QStringLiteral("sftp://host/home")), reports.callback());
        remote.start();
        QVERIFY(!remote.isWatching());
        QTest::qWait(2000);
        QVERIFY(reports.calls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFolderWatcher)
#include "tst_folder_watcher.moc"
