#include "models/folder_item.h"

#include "models/notifying_assign.h"

#include <QThread>

size_t qHash(const FileEntry &entry, size_t seed) noexcept
{
    return qHashMulti(seed, entry.id, entry.name, entry.isDirectory, entry.size);
}

QString folderDisplayName(const QUrl &url)
{
    QString path = url.path();
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || path.size() == 1)
        return path;
    return path.mid(slash + 1);
}

FolderItemPtr FolderItem::create(const QUrl &url, SemanticCategory category)
{
    auto *item = new FolderItem(url, category);
    // A generation finishing on another thread may drop the last reference there; the record
    // still dies on its own thread, where its observers live.
    return FolderItemPtr(item, [](FolderItem *record) {
        if (QThread::currentThread() == record->thread())
            delete record;
        else
            record->deleteLater();
    });
}

FolderItem::FolderItem(const QUrl &url, SemanticCategory category)
    : m_id(QUuid::createUuid())
    , m_url(url)
    , m_detectedCategory(category)
{
}

FolderItem::~FolderItem() = default;

QString FolderItem::name() const { return folderDisplayName(m_url); }

void FolderItem::setDetectedCategory(SemanticCategory category)
{
    notifyingAssign(this, m_detectedCategory, category, &FolderItem::detectedCategoryChanged);
}

void FolderItem::setIconState(const IconState &state) { notifyingAssign(this, m_iconState, state, &FolderItem::iconStateChanged); }

void FolderItem::setGeneratedImage(const IconImage &image)
{
    notifyingAssign(this, m_generatedImage, image, &FolderItem::generatedImageChanged);
}

void FolderItem::setCustomPrompt(const QString &prompt)
{
    notifyingAssign(this, m_customPrompt, prompt, &FolderItem::customPromptChanged);
}

void FolderItem::setLastGeneratedPrompt(const std::optional<QString> &prompt)
{
    notifyingAssign(this, m_lastGeneratedPrompt, prompt, &FolderItem::lastGeneratedPromptChanged);
}

void FolderItem::setLastGeneratedAt(const std::optional<QDateTime> &at)
{
    notifyingAssign(this, m_lastGeneratedAt, at, &FolderItem::lastGeneratedAtChanged);
}

void FolderItem::setGenerationCost(const std::optional<double> &cost)
{
    notifyingAssign(this, m_generationCost, cost, &FolderItem::generationCostChanged);
}

void FolderItem::setFileCount(qint64 count) { notifyingAssign(this, m_fileCount, count, &FolderItem::fileCountChanged); }

void FolderItem::setFolderSizeBytes(qint64 bytes)
{
    notifyingAssign(this, m_folderSizeBytes, bytes, &FolderItem::folderSizeBytesChanged);
}

void FolderItem::setTopFiles(const QList<FileEntry> &files)
{
    notifyingAssign(this, m_topFiles, files, &FolderItem::topFilesChanged);
}
