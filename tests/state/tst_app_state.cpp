#include "state/app_state.h"
#include "temp_tree.h"
#include "test_files.h"

#include "settled.h"
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <thread>

using namespace std::chrono_literals;

namespace {
QStringList names(const QList<FolderItemPtr> &folders)
{
    QStringList result;
    for (const FolderItemPtr &folder : folders)
        result.append(folder->name());
    return result;
}

QString settingsFile()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/tavrune/tavrune.conf");
}
} // namespace

/// Covers the state that needs no network: folders, selection, toasts and preferences.
class TestAppState final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QFile::remove(settingsFile()); }

    void freshStateHasDefaults()
    {
        AppState state;
        QVERIFY(state.folders().isEmpty());
        QVERIFY(state.selectedFolderIDs().isEmpty());
        QCOMPARE(state.viewMode(), ViewMode::grid);
        QVERIFY(state.isInspectorVisible());
        QVERIFY(!state.showOnboarding());
        QVERIFY(!state.isRegeneratingAll());
        QVERIFY(!state.maintainThemeConsistency());
        QVERIFY(!state.useFastModel());
        QVERIFY(!state.isWatchingRoot());
        QVERIFY(!state.rootWatcher());
        QCOMPARE(state.selectedTheme().id, QStringLiteral("retro-pixel"));
        QVERIFY(!state.activeToast());
    }

    void addsDirectoryUrlsOnceWithTheirSummary()
    {
        TempTree tree;
        const QString music = tree.makeDir(QStringLiteral("Stuff"));
        tree.makeFile(QStringLiteral("Stuff/a.mp3"), "12345");
        tree.makeFile(QStringLiteral("Stuff/b.mp3"), "123");
        const QString other = tree.makeDir(QStringLiteral("Other"));

        AppState state;
        QSignalSpy changed(&state, &AppState::foldersChanged);
        QFuture<void> analysed = state.addFolders({dirUrl(music), dirUrl(music), QUrl::fromLocalFile(other), dirUrl(other)});
        QCOMPARE(names(state.folders()), (QStringList{QStringLiteral("Stuff"), QStringLiteral("Other")}));
        QCOMPARE(changed.count(), 1);

        // Listed at once with its category; the content summary follows from the worker (a folder this
        // small may be read before addFolders() returns: aFolderIsListedWhileItsContentIsRead has a large one).
        const FolderItemPtr stuff = state.folders().constFirst();
        QCOMPARE(stuff->detectedCategory(), SemanticCategory::music);
        settled(analysed);
        QVERIFY(!state.isAnalysing(stuff->id()));
        QCOMPARE(stuff->fileCount(), 2);
        QCOMPARE(stuff->folderSizeBytes(), 8);
        QCOMPARE(stuff->topFiles().size(), 2);
        QCOMPARE(stuff->iconState(), IconState::placeholder());

        // A second call with a listed URL and a URL without the trailing slash adds nothing.
        state.addFolders({dirUrl(music), QUrl::fromLocalFile(music)});
        QCOMPARE(state.folders().size(), 2);
        QCOMPARE(changed.count(), 1);
        QVERIFY(state.selectedFolderIDs().isEmpty());
        QVERIFY(!state.activeToast());
    }

    void aFolderIsListedWhileItsContentIsRead()
    {
        TempTree tree;
        const QString big = tree.makeDir(QStringLiteral("Big"));
        for (int i = 0; i < 3000; ++i)
            tree.makeFile(QStringLiteral("Big/%1.txt").arg(i), "ab");
        {
            AppState state;
            QFuture<void> analysed = state.addFolders({dirUrl(big)});
            const FolderItemPtr folder = state.folders().constFirst();
            // Added again meanwhile: still one record. Removed meanwhile: undo brings it back, summary and all.
            state.addFolders({dirUrl(big)});
            QCOMPARE(state.folders().size(), 1);
            state.removeFolder(folder->id());
            QVERIFY(state.folders().isEmpty());
            settled(analysed);
            state.undoStack()->undo();
            QCOMPARE(state.folders(), QList<FolderItemPtr>{folder});
            QCOMPARE(folder->fileCount(), 3000);
            QCOMPARE(folder->folderSizeBytes(), 6000);
        }
        // Quitting while the content is read waits for it; nothing reaches a state that is gone.
        std::weak_ptr<FolderItem> left;
        {
            AppState state;
            state.addFolders({dirUrl(big)});
            left = state.folders().constFirst();
        }
        QVERIFY(left.expired());
    }

    void addsMissingFolderWithEmptySummary()
    {
        AppState state;
        settled(state.addFolders({QUrl::fromLocalFile(QStringLiteral("/nonexistent/tavrune/Gone/"))}));
        QCOMPARE(state.folders().size(), 1);
        QCOMPARE(state.folders().constFirst()->fileCount(), 0);
        QCOMPARE(state.folders().constFirst()->detectedCategory(), SemanticCategory::documents);
    }

    // What a chooser returns is added: tst_shell_commands drives that through Ctrl+O and the toolbar.
    void openPanelWithoutAChooserOrAChoiceAddsNothing()
    {
        AppState state;
        state.showOpenPanel(); // no chooser installed
        QVERIFY(state.folders().isEmpty());

        state.setFolderChooser([] { return QList<QUrl>{}; });
        state.showOpenPanel();
        QVERIFY(state.folders().isEmpty());
    }

    void selectionFollowsClickRules()
    {
        TempTree tree;
        AppState state;
        state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B"))),
                          dirUrl(tree.makeDir(QStringLiteral("C")))});
        const QUuid a = state.folders().at(0)->id();
        const QUuid b = state.folders().at(1)->id();
        const QUuid c = state.folders().at(2)->id();

        state.selectFolder(a, false);
        QCOMPARE(state.selectedFolder(), state.folders().at(0));
        state.selectFolder(a, false); // a second plain click on the only selected folder deselects it
        QVERIFY(state.selectedFolderIDs().isEmpty());
        QVERIFY(!state.selectedFolder());

        state.selectFolder(a, false);
        state.selectFolder(b, true);
        QVERIFY(!state.selectedFolder()); // two selected: no single folder
        state.selectFolder(a, false); // plain click on one of several keeps only it
        QCOMPARE(state.selectedFolderIDs(), QSet<QUuid>{a});

        state.selectFolder(c, true);
        state.selectFolder(a, true); // extending toggles
        QCOMPARE(state.selectedFolderIDs(), QSet<QUuid>{c});

        state.selectAll();
        QCOMPARE(state.selectedFolderIDs(), (QSet<QUuid>{a, b, c}));
        // Selected folders come in list order, whatever the set's order.
        QCOMPARE(names(state.selectedFolders()),
                 (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
        state.deselectAll();
        QVERIFY(state.selectedFolderIDs().isEmpty());
    }

    void removingFoldersKeepsOrderAndToasts()
    {
        TempTree tree;
        AppState state;
        state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B"))),
                          dirUrl(tree.makeDir(QStringLiteral("C"))), dirUrl(tree.makeDir(QStringLiteral("D")))});
        const QList<FolderItemPtr> all = state.folders();

        state.removeSelectedFolders(); // empty selection: nothing, no toast
        QCOMPARE(state.folders().size(), 4);
        QVERIFY(!state.activeToast());

        state.selectFolder(all.at(1)->id(), false);
        state.removeSelectedFolders();
        QCOMPARE(names(state.folders()), (QStringList{QStringLiteral("A"), QStringLiteral("C"), QStringLiteral("D")}));
        QVERIFY(state.selectedFolderIDs().isEmpty());
        QCOMPARE(state.activeToast(), (Toast{Toast::Kind::info, QStringLiteral("Removed 1 folder from the list")}));

        state.selectFolder(all.at(0)->id(), false);
        state.selectFolder(all.at(2)->id(), true);
        state.removeSelectedFolders();
        QCOMPARE(names(state.folders()), QStringList{QStringLiteral("D")});
        QCOMPARE(state.activeToast(), (Toast{Toast::Kind::info, QStringLiteral("Removed 2 folders from the list")}));

        // removeFolder drops the id from the selection too, without a toast.
        state.selectFolder(all.at(3)->id(), false);
        state.setToastDuration(10ms);
        QTRY_VERIFY(!state.activeToast());
        state.removeFolder(all.at(3)->id());
        QVERIFY(state.folders().isEmpty());
        QVERIFY(state.selectedFolderIDs().isEmpty());
        QVERIFY(!state.activeToast());
    }

    void toastStaysForItsFullPeriodAfterTheLatestReplacement()
    {
        AppState state;
        state.setToastDuration(400ms);
        QSignalSpy changed(&state, &AppState::activeToastChanged);

        state.showToast(Toast::Kind::info, QStringLiteral("first"));
        QTest::qWait(250);
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        state.showToast(Toast::Kind::error, QStringLiteral("second"));
        QCOMPARE(state.activeToast(), (Toast{Toast::Kind::error, QStringLiteral("second")}));

        QTRY_VERIFY_WITH_TIMEOUT(!state.activeToast(), 5000);
        // The first toast's dismissal would have come 150 ms after the second appeared.
        QVERIFY2(sinceSecond.elapsed() >= 390, qPrintable(QString::number(sinceSecond.elapsed())));
        QCOMPARE(changed.count(), 3); // first, second, cleared

        // Showing the same toast again notifies nothing new but restarts its period.
        state.showToast(Toast::Kind::info, QStringLiteral("same"));
        state.showToast(Toast::Kind::info, QStringLiteral("same"));
        QCOMPARE(changed.count(), 4);
    }

    void toastFromAnotherThreadLandsOnTheMainThread()
    {
        AppState state;
        std::thread worker([&state] { state.showToast(Toast::Kind::success, QStringLiteral("from afar")); });
        worker.join();
        QTRY_COMPARE(state.activeToast(), (Toast{Toast::Kind::success, QStringLiteral("from afar")}));
    }

    void preferencesPersistOnEveryAssignment()
    {
        {
            AppState state;
            QSignalSpy fast(&state, &AppState::useFastModelChanged);
            state.setUseFastModel(true);
            QCOMPARE(fast.count(), 1);
        }
        QVERIFY(QFile::exists(settingsFile()));
        {
            AppState state;
            QVERIFY(state.useFastModel());
            QSignalSpy fast(&state, &AppState::useFastModelChanged);

            // The same value is written again (and notifies nothing).
            QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).remove(QStringLiteral("useFastModel"));
            state.setUseFastModel(true);
            QCOMPARE(fast.count(), 0);
            QCOMPARE(QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).value(QStringLiteral("useFastModel")).toBool(), true);
        }
    }

    void transientPreferencesNeitherReadNorWriteTheStoredOnes()
    {
        QSettings stored(QStringLiteral("tavrune"), QStringLiteral("tavrune"));
        stored.setValue(QStringLiteral("useFastModel"), true);
        stored.setValue(QStringLiteral("watchRootFolder"), true);
        stored.sync();

        AppState state(AppState::Preferences::transient);
        QVERIFY(!state.useFastModel());
        QVERIFY(!state.isWatchingRoot());
        QVERIFY(!state.rootWatcher());

        state.setUseFastModel(false);
        state.setWatchingRoot(false);
        stored.sync();
        QCOMPARE(stored.value(QStringLiteral("useFastModel")).toBool(), true);
        QCOMPARE(stored.value(QStringLiteral("watchRootFolder")).toBool(), true);
    }

    void viewSettingsNotifyOnlyOnChange()
    {
        AppState state;
        QSignalSpy mode(&state, &AppState::viewModeChanged);
        QSignalSpy inspector(&state, &AppState::isInspectorVisibleChanged);
        QSignalSpy onboarding(&state, &AppState::showOnboardingChanged);
        state.setViewMode(ViewMode::grid);
        state.setViewMode(ViewMode::list);
        state.setViewMode(ViewMode::list);
        state.setInspectorVisible(true);
        state.setInspectorVisible(false);
        state.setShowOnboarding(true);
        state.setShowOnboarding(true);
        QCOMPARE(mode.count(), 1);
        QCOMPARE(inspector.count(), 1);
        QCOMPARE(onboarding.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestAppState)
#include "tst_app_state.moc"
