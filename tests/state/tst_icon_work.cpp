#include "desktop/folder_icon_service.h"
#include "settled.h"
#include "state/app_state.h"
#include "solid_icon.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

IconImage makeIcon(const QColor &color)
{
    return solidIcon(color, 64);
}

} // namespace

/// Applying and resetting on the worker: the order of one folder's operations, removal and quitting
/// while they run, and undo of both with their folders on disk.
class TestIconWork final : public QObject
{
    Q_OBJECT

    TempTree m_tree;

    QList<FolderItemPtr> addGenerated(AppState &state, const QString &prefix, int count)
    {
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls.append(QUrl::fromLocalFile(m_tree.makeDir(prefix + QString::number(i)) + u'/'));
        state.addFolders(urls);
        const QList<FolderItemPtr> folders = state.folders().mid(state.folders().size() - count);
        for (const FolderItemPtr &folder : folders) {
            folder->setGeneratedImage(makeIcon(Qt::darkGreen));
            folder->setIconState(IconState::generated());
        }
        return folders;
    }

private Q_SLOTS:
    void operationsOnOneFolderKeepTheirOrder()
    {
        AppState state(AppState::Preferences::transient);
        const FolderItemPtr folder = addGenerated(state, QStringLiteral("order"), 1).constFirst();
        // Queued back to back, before either ran: the reset comes last on disk and in the record.
        QFuture<bool> applied = state.applyIcon(folder->id(), false);
        QFuture<bool> reset = state.resetIcon(folder->id());
        QVERIFY(settled(applied));
        QVERIFY(settled(reset));
        QCOMPARE(folder->iconState(), IconState::generated());
        QVERIFY(!FolderIconService::isIconApplied(folder->url()));
        // The reset took off the icon the apply before it put on: its own step, whose undo puts it back.
        QCOMPARE(state.undoStack()->undoText(), QStringLiteral("Reset Icon of “order0”"));
        state.undoStack()->undo();
        QTRY_COMPARE(folder->iconState(), IconState::applied());
        QVERIFY(FolderIconService::isIconApplied(folder->url()));
    }

    void removingOrQuittingWhileApplyingFinishesEveryFolder()
    {
        QList<FolderItemPtr> folders;
        {
            AppState state(AppState::Preferences::transient);
            folders = addGenerated(state, QStringLiteral("quit"), 20);
            state.selectAll();
            QFuture<void> batch = state.applySelectedIcons();
            QCOMPARE(state.runningIconWorkCount(), 20);
            // Gone from the list at once, then the state itself: no folder is left half applied.
            state.removeSelectedFolders();
            QVERIFY(state.folders().isEmpty());
        }
        for (const FolderItemPtr &folder : std::as_const(folders)) {
            QCOMPARE(folder->iconState(), IconState::applied());
            QVERIFY(FolderIconService::isIconApplied(folder->url()));
            QVERIFY(!directoryIcon(folder->url()).isEmpty());
        }

        // Finishing on request (the window quits and saves the session next) writes every record.
        AppState state(AppState::Preferences::transient);
        folders = addGenerated(state, QStringLiteral("finish"), 5);
        state.selectAll();
        state.applySelectedIcons();
        state.finishFolderWork();
        QCOMPARE(state.runningIconWorkCount(), 0);
        for (const FolderItemPtr &folder : std::as_const(folders))
            QCOMPARE(folder->iconState(), IconState::applied());
    }

    void undoShowsWhatTheFolderShowedBefore()
    {
        AppState state(AppState::Preferences::transient);
        const FolderItemPtr folder = addGenerated(state, QStringLiteral("Music"), 1).constFirst();
        const IconImage first = folder->generatedImage();
        QVERIFY(settled(state.applyIcon(folder->id(), false)));
        QCOMPARE(state.undoStack()->undoText(), QStringLiteral("Apply Icon to “Music0”"));

        // A newer image applied over it: undone, the first one is on the folder again.
        folder->makeCurrent(IconHistoryEntry{makeIcon(Qt::red), {}, {}, {}, {}, false, {}});
        folder->setIconState(IconState::generated());
        QVERIFY(settled(state.applyIcon(folder->id(), false)));
        QVERIFY(directoryIcon(folder->url()) != first.png());
        state.undoStack()->undo();
        // The icon is on disk before the worker's outcome reaches the folder's state.
        QTRY_COMPARE(folder->iconState(), IconState::generated());
        QCOMPARE(directoryIcon(folder->url()), first.png());
        QVERIFY(folder->history().constFirst().applied);
        state.undoStack()->redo();
        QTRY_COMPARE(folder->iconState(), IconState::applied());
        QCOMPARE(directoryIcon(folder->url()), folder->generatedImage().png());

        // Reset, undone, applies the icon again.
        QVERIFY(settled(state.resetIcon(folder->id())));
        QVERIFY(!FolderIconService::isIconApplied(folder->url()));
        QCOMPARE(state.undoStack()->undoText(), QStringLiteral("Reset Icon of “Music0”"));
        state.undoStack()->undo();
        QTRY_COMPARE(folder->iconState(), IconState::applied());
        QVERIFY(FolderIconService::isIconApplied(folder->url()));

        // Back to the first apply: the folder had no icon of ours before it.
        state.undoStack()->undo();
        state.undoStack()->undo();
        QTRY_VERIFY(!FolderIconService::isIconApplied(folder->url()));
        QTRY_COMPARE(folder->iconState(), IconState::generated());
    }

    void undoOfAVanishedFolderSaysSo()
    {
        AppState state(AppState::Preferences::transient);
        const QList<FolderItemPtr> folders = addGenerated(state, QStringLiteral("Gone"), 2);
        state.selectAll();
        settled(state.applySelectedIcons());
        QCOMPARE(state.undoStack()->undoText(), QStringLiteral("Apply 2 Icons"));
        QVERIFY(QDir(folders.at(0)->url().toLocalFile()).removeRecursively());

        // Undone, the other folder loses its icon; redone, the vanished one cannot take it again.
        state.undoStack()->undo();
        QTRY_COMPARE(state.activeToast()->message, QStringLiteral("Couldn’t undo Apply 2 Icons: “Gone0” no longer exists"));
        QVERIFY(!FolderIconService::isIconApplied(folders.at(1)->url()));
        state.undoStack()->redo();
        QTRY_COMPARE(folders.at(1)->iconState(), IconState::applied());
        QTRY_COMPARE(state.activeToast()->message, QStringLiteral("Couldn’t redo Apply 2 Icons: “Gone0” no longer exists"));
        QCOMPARE(state.activeToast()->kind, Toast::Kind::error);
        // The stack stays usable either way.
        QVERIFY(state.undoStack()->canUndo());
        state.undoStack()->undo();
        QTRY_VERIFY(!FolderIconService::isIconApplied(folders.at(1)->url()));
    }
};

QTEST_GUILESS_MAIN(TestIconWork)
#include "tst_icon_work.moc"
