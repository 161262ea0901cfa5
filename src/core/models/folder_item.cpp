#include "models/folder_item.h"

#include "models/notifying_assign.h"

#include <QThread>

#include <algorithm>
#include <utility>

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

void FolderItem::setUrl(const QUrl &url) { notifyingAssign(this, m_url, url, &FolderItem::urlChanged); }

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

QList<IconHistoryEntry> FolderItem::history() const
{
    loadHistory();
    return m_history;
}

void FolderItem::loadHistory() const
{
    if (!m_historyLoader)
        return;
    // Moved out first: whatever the loader does, it runs once.
    const std::function<QList<IconHistoryEntry>()> loader = std::exchange(m_historyLoader, nullptr);
    m_history = loader();
}

void FolderItem::setHistory(const QList<IconHistoryEntry> &history)
{
    loadHistory(); // compared with what it replaces, as any change
    notifyingAssign(this, m_history, history, &FolderItem::historyChanged);
}

void FolderItem::setHistoryLoader(std::function<QList<IconHistoryEntry>()> loader)
{
    if (!loader) {
        setHistory({});
        return;
    }
    const bool wasEmpty = isHistoryLoaded() && m_history.isEmpty();
    m_history.clear();
    m_historyLoader = std::move(loader);
    if (!wasEmpty)
        Q_EMIT historyChanged();
}

void FolderItem::setLastGeneratedModel(const QString &model)
{
    notifyingAssign(this, m_lastGeneratedModel, model, &FolderItem::lastGeneratedModelChanged);
}

IconHistoryEntry FolderItem::currentEntry() const
{
    IconHistoryEntry entry;
    entry.image = m_generatedImage;
    entry.file = m_generatedImage.pngFile();
    entry.generatedAt = m_lastGeneratedAt.value_or(QDateTime());
    entry.model = m_lastGeneratedModel;
    entry.prompt = m_lastGeneratedPrompt.value_or(QString());
    entry.applied = m_currentApplied || m_iconState.is(IconState::Kind::applied);
    entry.cost = m_generationCost;
    return entry;
}

void FolderItem::makeCurrent(const IconHistoryEntry &entry) { replaceCurrent(entry, history()); }

QString IconHistoryEntry::pngPath() const
{
    const QString kept = image.pngFile();
    return kept.isEmpty() ? file : kept;
}

IconImage IconHistoryEntry::applicableImage() const
{
    return image.isNull() ? IconImage::fromPngFile(file) : image;
}

bool IconHistoryEntry::isSameImage(const IconHistoryEntry &other) const
{
    if (!image.isNull() && !other.image.isNull())
        return image.cacheKey() == other.image.cacheKey();
    const QString path = pngPath();
    return !path.isEmpty() && path == other.pngPath();
}

void IconHistoryEntry::followFile(const std::function<QString(const QString &)> &moved)
{
    if (!image.isNull() || file.isEmpty())
        return;
    if (QString to = moved(file); !to.isEmpty())
        file = std::move(to);
}

void FolderItem::insertByDate(QList<IconHistoryEntry> &history, const IconHistoryEntry &entry)
{
    // Newest first: an older image chosen again puts the current one back where it belongs.
    const auto at = std::find_if(history.begin(), history.end(), [&](const IconHistoryEntry &earlier) {
        return earlier.generatedAt < entry.generatedAt;
    });
    history.insert(at, entry);
    trim(history);
}

void FolderItem::trim(QList<IconHistoryEntry> &history)
{
    // The oldest go first; the one the folder still shows stays whatever its age.
    for (qsizetype i = history.size() - 1; i >= 0 && history.size() > historyLimit - 1; --i) {
        if (!history.at(i).applied)
            history.removeAt(i);
    }
}

void FolderItem::replaceCurrent(const IconHistoryEntry &entry, QList<IconHistoryEntry> history)
{
    const IconHistoryEntry previous = currentEntry();
    if (!previous.image.isNull())
        insertByDate(history, previous);
    else
        trim(history);
    m_currentApplied = entry.applied;
    setLastGeneratedPrompt(entry.prompt.isEmpty() ? std::nullopt : std::optional<QString>(entry.prompt));
    setLastGeneratedAt(entry.generatedAt.isValid() ? std::optional<QDateTime>(entry.generatedAt) : std::nullopt);
    setLastGeneratedModel(entry.model);
    setGenerationCost(entry.cost);
    setHistory(history);
    setGeneratedImage(entry.image);
}

bool FolderItem::makeHistoryEntryCurrent(qsizetype index)
{
    loadHistory();
    if (index < 0 || index >= m_history.size() || m_history.at(index).image.isNull())
        return false;
    // A copy: replaceCurrent() replaces the history the entry lives in.
    const IconHistoryEntry entry = m_history.at(index);
    QList<IconHistoryEntry> rest = m_history;
    rest.removeAt(index);
    replaceCurrent(entry, rest);
    return true;
}

void FolderItem::markApplied(bool currentApplied)
{
    m_currentApplied = currentApplied;
    QList<IconHistoryEntry> history = this->history();
    for (IconHistoryEntry &entry : history)
        entry.applied = false;
    setHistory(history);
}

void FolderItem::restoreCurrent(const IconHistoryEntry &entry)
{
    if (entry.isNone()) {
        makeCurrent(IconHistoryEntry{});
        return;
    }
    if (currentEntry().isSameImage(entry))
        return;
    QList<IconHistoryEntry> rest = history();
    IconHistoryEntry current = entry;
    current.applied = false;
    const auto found = std::find_if(rest.cbegin(), rest.cend(), [&](const IconHistoryEntry &earlier) {
        return earlier.isSameImage(entry);
    });
    if (found != rest.cend()) {
        current.applied = found->applied;
        // The one read, should only one of them be.
        if (!found->image.isNull())
            current.image = found->image;
        rest.erase(found);
    }
    // Drawn as the current image: an entry not read yet cannot be.
    if (current.image.isNull())
        return;
    replaceCurrent(current, rest);
}

void FolderItem::markHistoryImageApplied(const IconHistoryEntry &entry)
{
    m_currentApplied = false;
    QList<IconHistoryEntry> history = this->history();
    bool listed = false;
    for (IconHistoryEntry &earlier : history) {
        earlier.applied = !entry.isNone() && earlier.isSameImage(entry);
        listed = listed || earlier.applied;
    }
    if (!listed && !entry.isNone()) {
        IconHistoryEntry back = entry;
        back.applied = true;
        insertByDate(history, back);
    }
    setHistory(history);
}
