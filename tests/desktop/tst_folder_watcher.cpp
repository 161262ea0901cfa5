#include "desktop/folder_watcher.h"
#include "temp_tree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <memory>
#include <cstdio>
#include <optional>

using namespace std::chrono_literals;

namespace {

// Reports arrive through timers; waits are generous because the test machine is slow and shared.
constexpr int kArrival = 20000;

/// A watcher on a temporary directory (or a folder inside it), started once the folders that are
/// there beforehand exist, and everything it reported, call by call.
struct Watched
{
    TempTree tree;
    QList<QList<QUrl>> calls;
    std::unique_ptr<FolderWatcher> watcher;

    explicit Watched(std::optional<std::chrono::milliseconds> delay, const QStringList &existing = {},
                     const QString &root = {})
    {
        for (const QString &name : existing)
            tree.makeDir(name);
        watcher = std::make_unique<FolderWatcher>(QUrl::fromLocalFile(root.isEmpty() ? tree.path() : tree.filePath(root)),
                                                  callback());
        if (delay)
            watcher->setReportDelay(*delay);
        watcher->start();
    }

    FolderWatcher::Callback callback()
    {
        return [this](const QList<QUrl> &folders) { calls.append(folders); };
    }
    bool makeDir(const QString &name) const { return QDir().mkdir(tree.filePath(name)); }
    /// The URLs of one report: folders in the watched directory, in this order.
    QList<QUrl> urls(const QStringList &names) const
    {
        QList<QUrl> result;
        for (const QString &name : names)
            result.append(QUrl::fromLocalFile(tree.filePath(name) + u'/'));
        return result;
    }
};

} // namespace

class TestFolderWatcher final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        // Run as two tests side by side (see CMakeLists.txt): TAVRUNE_TEST_HALF picks every other case.
        const QByteArray half = qgetenv("TAVRUNE_TEST_HALF");
        if (!half.isEmpty() && m_case++ % 2 != half.toInt())
            QSKIP("run by the other half");
    }

    void reportsANewFolderOnceAfterTheDelay()
    {
        Watched w(1000ms);
        QVERIFY(w.watcher->isWatching());

        QElapsedTimer clock;
        clock.start();
        QVERIFY(w.makeDir(QStringLiteral("New")));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QVERIFY(clock.elapsed() >= 1000);
        QCOMPARE(w.calls.first(), w.urls({QStringLiteral("New")}));

        QTest::qWait(2500);
        QCOMPARE(w.calls.size(), 1);
    }

    void waitsFourSecondsByDefault()
    {
        Watched w(std::nullopt);
        QVERIFY(w.makeDir(QStringLiteral("Slow")));
        QTest::qWait(3000);
        QVERIFY(w.calls.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QCOMPARE(w.calls.first(), w.urls({QStringLiteral("Slow")}));
    }

    void reportsAFolderRenamedWithinTheDelayOnceUnderItsNewName()
    {
        Watched w(2000ms);
        QVERIFY(w.makeDir(QStringLiteral("untitled folder")));
        QTest::qWait(500); // the first name is seen by an event of its own
        QVERIFY(QDir(w.tree.path()).rename(QStringLiteral("untitled folder"), QStringLiteral("Invoices")));

        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QTest::qWait(3000);
        QCOMPARE(w.calls, QList<QList<QUrl>>{w.urls({QStringLiteral("Invoices")})});
    }

    void followsRenamesOfKnownFoldersAndReportsTheRestAsNew()
    {
        Watched w(500ms, {QStringLiteral("Listed"), QStringLiteral("Unlisted")});
        QList<QPair<QUrl, QUrl>> renames;
        const QUrl listed = w.urls({QStringLiteral("Listed")}).constFirst();
        w.watcher->setRenameCallback([&renames, listed](const QUrl &from, const QUrl &to) {
            renames.append({from, to});
            return from == listed;
        });
        const auto rename = [&w](const char *from, const char *to) {
            return ::rename(QFile::encodeName(w.tree.filePath(QLatin1String(from))).constData(),
                            QFile::encodeName(w.tree.filePath(QLatin1String(to))).constData()) == 0;
        };

        // Followed by the receiver: no new folder.
        QVERIFY(rename("Listed", "Followed"));
        QTRY_COMPARE_WITH_TIMEOUT(renames.size(), 1, kArrival);
        QCOMPARE(renames.constFirst(), (QPair<QUrl, QUrl>{listed, w.urls({QStringLiteral("Followed")}).constFirst()}));
        // Not followed: new under its new name, after the usual delay.
        QVERIFY(rename("Unlisted", "Taken"));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QCOMPARE(w.calls.constFirst(), w.urls({QStringLiteral("Taken")}));
        QCOMPARE(renames.size(), 2);
        // Renamed before its report: still a new folder, under its final name; no rename is asked about.
        QVERIFY(w.makeDir(QStringLiteral("Fresh")));
        QTest::qWait(200);
        QVERIFY(rename("Fresh", "Final"));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 2, kArrival);
        QCOMPARE(w.calls[1], w.urls({QStringLiteral("Final")}));
        QTest::qWait(1000);
        QCOMPARE(w.calls.size(), 2);
        QCOMPARE(renames.size(), 2);
    }

    void reportsNothingForAFolderDeletedOrReplacedWithinTheDelay()
    {
        Watched w(1500ms);
        QVERIFY(w.makeDir(QStringLiteral("Gone")));
        QTest::qWait(500);
        QVERIFY(QDir(w.tree.path()).rmdir(QStringLiteral("Gone")));
        // Something exists under the name again when the report wakes, but it is no folder.
        QVERIFY(w.makeDir(QStringLiteral("Replaced")));
        QTest::qWait(500);
        QVERIFY(QDir(w.tree.path()).rmdir(QStringLiteral("Replaced")));
        w.tree.makeFile(QStringLiteral("Replaced"), "now a file");
        QTest::qWait(4000);
        QVERIFY(w.calls.isEmpty());
    }

    void reportsFoldersOfOneBurstTogetherAndOfSeparateBurstsApart()
    {
        Watched w(1000ms);
        // Made without returning to the event loop, so one event sees all three; sorted by name.
        for (const char *name : {"Charlie", "Alpha", "Bravo"})
            QVERIFY(w.makeDir(QLatin1String(name)));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QCOMPARE(w.calls.first(), w.urls({QStringLiteral("Alpha"), QStringLiteral("Bravo"), QStringLiteral("Charlie")}));

        // Events within the delay of each other are one burst, reported once the directory is quiet.
        QVERIFY(w.makeDir(QStringLiteral("X")));
        QTest::qWait(500);
        QVERIFY(w.makeDir(QStringLiteral("Y")));
        QTest::qWait(700); // X's own delay is over, but Y came since
        QCOMPARE(w.calls.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 2, kArrival);
        QCOMPARE(w.calls[1], w.urls({QStringLiteral("X"), QStringLiteral("Y")}));
        QVERIFY(w.makeDir(QStringLiteral("Z")));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 3, kArrival);
        QCOMPARE(w.calls[2], w.urls({QStringLiteral("Z")}));
    }

    void reportsOnlyVisibleRealFoldersThatAreNoBundles()
    {
        Watched w(1000ms);
        TempTree elsewhere;
        w.tree.makeFile(QStringLiteral("notes.txt"), "not a folder");
        QVERIFY(w.makeDir(QStringLiteral(".hidden")));
        QVERIFY(w.makeDir(QStringLiteral("Tool.app")));
        QVERIFY(w.makeDir(QStringLiteral("Tool.APP")));
        QVERIFY(QFile::link(elsewhere.makeDir(QStringLiteral("target")), w.tree.filePath(QStringLiteral("Link"))));
        QVERIFY(w.makeDir(QStringLiteral("Plain")));

        QTRY_VERIFY_WITH_TIMEOUT(!w.calls.isEmpty(), kArrival);
        QTest::qWait(2500);
        QList<QUrl> all;
        for (const QList<QUrl> &call : std::as_const(w.calls))
            all += call;
        QCOMPARE(all, w.urls({QStringLiteral("Plain"), QStringLiteral("Tool.APP")}));
    }

    void neverReportsFoldersPresentAtStartEvenAfterARestart()
    {
        Watched w(800ms, {QStringLiteral("Old")});
        QVERIFY(w.makeDir(QStringLiteral("First")));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        w.watcher->stop();
        QVERIFY(!w.watcher->isWatching());
        w.watcher->start();
        QVERIFY(w.makeDir(QStringLiteral("Second")));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 2, kArrival);
        QTest::qWait(2000);

        QCOMPARE(w.calls, (QList<QList<QUrl>>{w.urls({QStringLiteral("First")}), w.urls({QStringLiteral("Second")})}));
    }

    void stoppedWatcherStillReportsPendingFoldersButNoNewOnes()
    {
        Watched w(3000ms);
        QVERIFY(w.makeDir(QStringLiteral("Pending")));
        QTest::qWait(1000); // the event is handled, the report is pending
        w.watcher->stop();
        QVERIFY(w.makeDir(QStringLiteral("AfterStop")));

        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QTest::qWait(4000);
        QCOMPARE(w.calls, QList<QList<QUrl>>{w.urls({QStringLiteral("Pending")})});
    }

    void releasedWatcherReportsNothing()
    {
        Watched w(1500ms);
        QVERIFY(w.makeDir(QStringLiteral("Pending")));
        QTest::qWait(500);
        w.watcher.reset();
        QTest::qWait(4000);
        QVERIFY(w.calls.isEmpty());
    }

    void reportsAFolderMovedOutAndBackInAgain()
    {
        Watched w(800ms);
        TempTree outside;
        QVERIFY(w.makeDir(QStringLiteral("Traveller")));
        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 1, kArrival);
        QVERIFY(QFile::rename(w.tree.filePath(QStringLiteral("Traveller")), outside.filePath(QStringLiteral("Traveller"))));
        QTest::qWait(800); // a scan without it
        QVERIFY(QFile::rename(outside.filePath(QStringLiteral("Traveller")), w.tree.filePath(QStringLiteral("Traveller"))));

        QTRY_COMPARE_WITH_TIMEOUT(w.calls.size(), 2, kArrival);
        QCOMPARE(w.calls[1], w.urls({QStringLiteral("Traveller")}));
    }

    void stopsWatchingADirectoryThatIsRemoved()
    {
        Watched w(std::nullopt, {QStringLiteral("Desktop")}, QStringLiteral("Desktop"));
        QVERIFY(w.watcher->isWatching());
        QVERIFY(QDir(w.tree.filePath(QStringLiteral("Desktop"))).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!w.watcher->isWatching(), kArrival);
        QVERIFY(w.calls.isEmpty());
    }

    void directoryThatCannotBeWatchedLeavesItIdle()
    {
        Watched w(500ms, {}, QStringLiteral("NotYet"));
        QVERIFY(!w.watcher->isWatching());

        QVERIFY(w.makeDir(QStringLiteral("NotYet")));
        QVERIFY(w.makeDir(QStringLiteral("NotYet/Inside")));
        FolderWatcher remote(QUrl(QStringLiteral("sftp://host/home")), w.callback());
        remote.start();
        QVERIFY(!remote.isWatching());
        QTest::qWait(2000);
        QVERIFY(w.calls.isEmpty());
    }

private:
    int m_case = 0;
};

QTEST_GUILESS_MAIN(TestFolderWatcher)
#include "tst_folder_watcher.moc"
