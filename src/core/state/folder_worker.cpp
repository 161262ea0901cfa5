#include "state/folder_worker.h"

#include "content/folder_analyzer.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace {

bool isDirectory(const QUrl &url)
{
    return QFileInfo(url.toLocalFile()).isDir();
}

} // namespace

FolderWorker::FolderWorker()
{
    for (QThreadPool *pool : {&m_icons, &m_content}) {
        pool->setMaxThreadCount(1);
        // Kept for the worker's life: one thread, so GIO always meets the same one.
        pool->setExpiryTimeout(-1);
    }
    m_icons.setObjectName(QStringLiteral("Folder icons"));
    m_content.setObjectName(QStringLiteral("Folder content"));
}

FolderWorker::~FolderWorker()
{
    waitForDone();
}

QFuture<FolderIconOutcome> FolderWorker::apply(const IconImage &image, const QUrl &folderUrl)
{
    return QtConcurrent::run(&m_icons, [image, folderUrl] {
        FolderIconOutcome outcome;
        outcome.folderFound = isDirectory(folderUrl);
        const IconImage withPng = image.withPngInMemory();
        if (withPng.isNull()) {
            outcome.iconFileMissing = true;
            return outcome;
        }
        outcome.applied = FolderIconService::applyIcon(withPng, folderUrl);
        return outcome;
    });
}

QFuture<FolderIconOutcome> FolderWorker::reset(const QUrl &folderUrl)
{
    return QtConcurrent::run(&m_icons, [folderUrl] {
        FolderIconOutcome outcome;
        outcome.folderFound = isDirectory(folderUrl);
        outcome.resetClean = FolderIconService::resetIcon(folderUrl);
        return outcome;
    });
}

QFuture<bool> FolderWorker::followRename(const QUrl &from, const QUrl &to)
{
    return QtConcurrent::run(&m_icons, [from, to] { return FolderIconService::followRename(from, to); });
}

QFuture<FolderWorker::Analysis> FolderWorker::analyse(const QUrl &folderUrl)
{
    return QtConcurrent::run(&m_content, [folderUrl] {
        const FolderAnalyzer::Analysis content = FolderAnalyzer::analyze(folderUrl);
        return Analysis{content.topFiles, content.fileCount, content.totalBytes};
    });
}

void FolderWorker::waitForDone()
{
    m_icons.waitForDone();
    m_content.waitForDone();
}
