#pragma once

#include "desktop/folder_icon_service.h"
#include "imaging/icon_image.h"
#include "models/folder_item.h"

#include <QFuture>
#include <QThreadPool>
#include <QUrl>

/// @brief What became of one apply or reset on the folder worker.
struct FolderIconOutcome
{
    /// The folder was there when its turn came.
    bool folderFound = false;
    /// For an apply: the image's PNG could not be read (its session file vanished); nothing was tried.
    bool iconFileMissing = false;
    /// For an apply: which file managers took the icon.
    FolderIconService::ApplyResult applied;
    /// For a reset: nothing of ours is left on the folder.
    bool resetClean = false;
};

/// @brief Where folder file work runs, off the main thread: applying and resetting icons on one
/// thread of its own, reading folders' content on another.
///
/// Each runs its tasks one at a time in the order they were queued, so one folder's operations
/// (apply, reset, apply again) reach the disk in the order they were asked for, and every GIO and
/// gvfs call happens on the same thread. Destroying the worker waits for everything queued: the
/// program never quits with a folder half applied.
class FolderWorker final
{
    Q_DISABLE_COPY_MOVE(FolderWorker)

public:
    /// A folder's content summary.
    struct Analysis
    {
        QList<FileEntry> topFiles;
        qint64 fileCount = 0;
        qint64 totalBytes = 0;
    };

    FolderWorker();
    ~FolderWorker();

    /// Applies `image` (its PNG read on the worker when only its session file holds it) to the folder.
    QFuture<FolderIconOutcome> apply(const IconImage &image, const QUrl &folderUrl);
    /// Gives the folder back what it showed before our first icon.
    QFuture<FolderIconOutcome> reset(const QUrl &folderUrl);
    /// Moves our icon along with a folder renamed from `from` to `to`; false when it could not follow.
    QFuture<bool> followRename(const QUrl &from, const QUrl &to);
    /// Reads the folder's content.
    QFuture<Analysis> analyse(const QUrl &folderUrl);

    /// Blocks until every task queued so far has run.
    void waitForDone();

private:
    QThreadPool m_icons;
    QThreadPool m_content;
};
