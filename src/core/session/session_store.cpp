#include "session/session_store.h"

#include "content/folder_analyzer.h"
#include "desktop/folder_icon_service.h"
#include "imaging/image_decoder.h"
#include "desktop/owner_only_file.h"
#include "session/rendition_file.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtConcurrent>

namespace {

const QString RememberFoldersKey = QStringLiteral("rememberFolders");
const QString IndexName = QStringLiteral("session.json");
const QString BadIndexName = QStringLiteral("session.json.bad");
const QString LockName = QStringLiteral("session.lock");
const char *const FolderNotFound = QT_TRANSLATE_NOOP("SessionStore", "Folder not found");
// Far beyond any real session (a thousand folders with long prompts is a few megabytes); a bigger file
// is not ours and is not read into memory.
constexpr qint64 MaxIndexSize = qint64(64) * 1024 * 1024;

QSettings preferences()
{
    return QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune"));
}

bool hasImage(const IconState &state)
{
    return state.is(IconState::Kind::generated) || state.is(IconState::Kind::applied);
}

bool isPng(const QByteArray &bytes)
{
    return bytes.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n"));
}

// Temporary files of writes a crash cut short: the finished files never start with a dot.
void removeLeftovers(const QString &directory)
{
    const QDir dir(directory);
    const QStringList names = dir.entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names)
        QFile::remove(dir.filePath(name));
}

// After an index is on disk, image files it does not name (nor `kept`: those of removed folders an
// undo step can bring back) are no longer anybody's.
void removeUnreferencedImages(const QString &directory, const SessionRecord &record, QSet<QString> referenced)
{
    for (const SessionRecord::Folder &folder : record.folders) {
        if (!folder.imageFile.isEmpty())
            referenced.insert(folder.imageFile);
        for (const QString &file : SessionRecord::historyFiles(folder))
            referenced.insert(file);
    }
    const QDir dir(directory);
    const QStringList names = dir.entryList({QStringLiteral("*.png"), QStringLiteral("*.renditions")}, QDir::Files);
    for (const QString &name : names) {
        const QString renditionsOf = RenditionFile::pngNameFor(name);
        if (!referenced.contains(renditionsOf.isEmpty() ? name : renditionsOf))
            QFile::remove(dir.filePath(name));
    }
}

QByteArray readFile(const QString &path, qint64 maxSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxSize)
        return {};
    return file.readAll();
}

// The icon from its PNG and, when they are there and were made from that PNG, its stored renditions:
// then nothing is decoded. Otherwise the PNG is decoded and scaled as when it was made.
IconImage readImage(const QString &directory, const QString &pngName, bool *fromRenditions)
{
    const QString pngPath = directory + u'/' + pngName;
    // The icon keeps its file, not the PNG's bytes: with renditions that fit it, they are never read
    // into memory, and the large renditions wait until drawn.
    bool older = false;
    if (IconImage icon = RenditionFile::readBeside(pngPath, &older); !icon.isNull()) {
        // A file of the older format counts as none: it is written again, for quicker launches after this.
        *fromRenditions = !older;
        return icon;
    }
    *fromRenditions = false;
    const QByteArray png = readFile(pngPath, ImageDecoder::maxPixels * 4);
    if (!isPng(png))
        return {};
    const QImage image = ImageDecoder::decode(png);
    if (image.isNull())
        return {};
    IconImage icon{image.convertToFormat(QImage::Format_ARGB32_Premultiplied), png};
    icon.keepPngIn(pngPath);
    return icon;
}

} // namespace

struct SessionStore::Check
{
    bool exists = false;
    bool iconApplied = false;
    FolderAnalyzer::Analysis analysis;
};

struct SessionStore::Restored
{
    std::weak_ptr<FolderItem> item;
    Check check;
    bool hasImage = false;
    IconImage image;
    /// Shown from its stored renditions, not decoded from its PNG.
    bool fromRenditions = false;
};

SessionStore::SessionStore(AppState *state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
    m_isRememberingFolders = preferences().value(RememberFoldersKey, true).toBool();
    m_writer.setMaxThreadCount(1);
    m_writer.setExpiryTimeout(-1);
    // Not Qt's global pool: the raster paint engine and image scaling split large work into slices run
    // there and wait for them on the UI thread, so a thousand folders queued there froze painting
    // until the whole session was read.
    m_reader.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    m_writeTimer.setSingleShot(true);
    m_writeTimer.setInterval(std::chrono::milliseconds(500));
    connect(&m_writeTimer, &QTimer::timeout, this, &SessionStore::writeNow);

    const QString dir = directory();
    if (QDir().mkpath(dir)) {
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        auto lock = std::make_unique<QLockFile>(dir + u'/' + LockName);
        // A live owner is never stale, however long it has run; a crashed one is recognised by its pid.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0))
            m_lock = std::move(lock);
    }

    if (m_state) {
        connect(m_state, &AppState::foldersChanged, this, [this] {
            syncTracked();
            scheduleWrite();
        });
        connect(m_state, &AppState::selectedFolderIDsChanged, this, &SessionStore::scheduleWrite);
        connect(m_state, &AppState::selectedFolderIDsChanged, this, &SessionStore::readSelectedHistory);
        connect(m_state, &AppState::viewModeChanged, this, &SessionStore::scheduleWrite);
        // A step leaving the stack lets its removed folders' files go.
        connect(m_state->undoStack(), &QUndoStack::indexChanged, this, &SessionStore::scheduleWrite);
        syncTracked();
    }
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            m_quitting = true;
            m_dirty = true;
            m_skipRenditionUpgrades = true;
            flush();
        });
}

SessionStore::~SessionStore()
{
    // Folders not read yet are not waited for: nothing would be left to show them in.
    m_reader.clear();
    m_skipRenditionUpgrades = true;
    // Undo ends with the process: the files only its steps held (removed folders', earlier images) go now.
    if (!m_quitting && m_state && !m_state->heldImages().isEmpty())
        m_dirty = true;
    m_quitting = true;
    flush();
}

QString SessionStore::directory()
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                           + QStringLiteral("/com.tavrune.app/session"));
}

QString SessionStore::couldNotRestoreMessage()
{
    return tr("Could not restore the last session");
}

void SessionStore::setRememberingFolders(bool remember)
{
    preferences().setValue(RememberFoldersKey, remember);
    if (remember == m_isRememberingFolders)
        return;
    m_isRememberingFolders = remember;
    if (remember) {
        // Everything is written afresh: the files were deleted when remembering went off, and the
        // private directory's names mean nothing in the session's.
        for (Tracked &tracked : m_tracked) {
            if (!tracked.imagePending) {
                tracked.imageFile.clear();
                tracked.imageKey = 0;
            }
            tracked.files.clear();
        }
        m_dirty = true;
        scheduleWrite();
    } else {
        deleteStoredSession();
    }
    Q_EMIT isRememberingFoldersChanged();
}

void SessionStore::deleteStoredSession()
{
    m_writeTimer.stop();
    m_dirty = false;
    m_skipRenditionUpgrades = true;
    m_writer.waitForDone();
    m_skipRenditionUpgrades = false;
    m_lastIndex.clear();
    if (!ownsSession())
        return;
    QSet<QString> stillLoading;
    for (Tracked &tracked : m_tracked) {
        if (tracked.imagePending) {
            stillLoading.insert(tracked.imageFile);
            stillLoading.insert(RenditionFile::nameFor(tracked.imageFile));
            continue;
        }
        // Earlier images too, read or not.
        if (tracked.record)
            moveHistoryToPrivateDirectory(*tracked.record);
        tracked.files.clear();
        // Icons read from the session keep their file in the private directory, under the same name.
        if (tracked.record && !tracked.imageFile.isEmpty()) {
            const IconImage image = tracked.record->generatedImage();
            moveToPrivateDirectory(image, tracked.imageFile);
            if (image.pngFile() == directory() + u'/' + tracked.imageFile) {
                // It could not be copied (a full disk): memory keeps it instead.
                if (const IconImage inMemory = image.withPngInMemory(); !inMemory.isNull())
                    tracked.record->setGeneratedImage(inMemory);
                tracked.imageFile.clear();
                tracked.imageKey = 0;
            }
        }
    }
    // Images only Undo holds go along with the folders': removed folders' histories, and the images its
    // steps hold, those not read yet by their file.
    if (m_state) {
        for (const FolderItemPtr &removed : m_state->heldFolders())
            moveHistoryToPrivateDirectory(*removed);
        for (const IconHistoryEntry &held : m_state->heldImages())
            moveToPrivateDirectory(held.image, QFileInfo(held.image.pngFile()).fileName());
        m_state->followHeldFiles([this](const QString &path) { return copyToPrivateDirectory(path); });
    }
    // An image still being read at launch goes as soon as it is in memory (applyImage).
    const QDir dir(directory());
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name != LockName && !stillLoading.contains(name))
            QFile::remove(dir.filePath(name));
    }
}

// --- Watching the state -------------------------------------------------------------------------------

void SessionStore::syncTracked()
{
    if (!m_state)
        return;
    const QList<FolderItemPtr> folders = m_state->folders();
    QSet<QUuid> listed;
    listed.reserve(folders.size());
    for (const FolderItemPtr &item : folders) {
        listed.insert(item->id());
        if (!m_tracked.contains(item->id())) {
            const IconState state = item->iconState();
            track(item, state.is(IconState::Kind::generating) ? IconState::placeholder() : state);
        }
    }
    for (auto it = m_tracked.begin(); it != m_tracked.end();) {
        if (listed.contains(it.key())) {
            ++it;
            continue;
        }
        // A removed record may live on in a running generation; it is no longer ours to store.
        if (it->record) {
            disconnect(it->record, nullptr, this, nullptr);
            // Undo may bring it back, tracked afresh: its history is made now, as its stored form goes here.
            if (!it->record->isHistoryLoaded())
                it->record->history();
        }
        it = m_tracked.erase(it);
    }
}

void SessionStore::track(const FolderItemPtr &item, const IconState &persisted)
{
    FolderItem *record = item.get();
    m_tracked.insert(item->id(), Tracked{record, persisted, {}, 0, false, {}, {}});
    const QUuid id = item->id();
    connect(record, &FolderItem::iconStateChanged, this, [this, record, id] {
        const auto found = m_tracked.find(id);
        if (found == m_tracked.end())
            return;
        const IconState state = record->iconState();
        if (!state.is(IconState::Kind::generating))
            found->persistedState = state;
        scheduleWrite();
    });
    for (auto signal : {&FolderItem::urlChanged, &FolderItem::generatedImageChanged, &FolderItem::customPromptChanged,
                        &FolderItem::lastGeneratedPromptChanged, &FolderItem::lastGeneratedAtChanged,
                        &FolderItem::detectedCategoryChanged, &FolderItem::fileCountChanged,
                        &FolderItem::folderSizeBytesChanged, &FolderItem::historyChanged,
                        &FolderItem::lastGeneratedModelChanged, &FolderItem::generationCostChanged}) {
        connect(record, signal, this, [this, id] {
            if (m_tracked.contains(id))
                scheduleWrite();
        });
    }
}

void SessionStore::scheduleWrite()
{
    m_dirty = true;
    // Not restarted by later changes: while things keep changing, one write per interval still happens.
    if (!m_writeTimer.isActive())
        m_writeTimer.start();
}

bool SessionStore::storesSession() const
{
    return m_isRememberingFolders && ownsSession();
}

QString SessionStore::imageDirectory()
{
    if (storesSession())
        return directory();
    if (!m_privateDirectory) {
        // Owner-only (QTemporaryDir makes it 0700) and removed with the store, at quit.
        m_privateDirectory = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tavrune-icons-XXXXXX"));
        if (!m_privateDirectory->isValid()) {
            m_privateDirectory.reset();
            return QString();
        }
    }
    return m_privateDirectory->path();
}

void SessionStore::moveToPrivateDirectory(const IconImage &image, const QString &fileName)
{
    const QString from = directory() + u'/' + fileName;
    if (image.isNull() || image.pngFile() != from)
        return;
    // Copied first and only then pointed at: whoever reads the icon meanwhile still finds a file.
    if (const QString to = copyToPrivateDirectory(from); !to.isEmpty())
        image.keepPngIn(to);
}

void SessionStore::moveHistoryToPrivateDirectory(FolderItem &record)
{
    QList<IconHistoryEntry> history = record.history();
    if (history.isEmpty())
        return;
    for (IconHistoryEntry &entry : history) {
        const QString to = copyToPrivateDirectory(entry.file);
        if (to.isEmpty())
            continue; // then it leaves the strip when read
        entry.image.keepPngIn(to);
        entry.file = to;
    }
    record.setHistory(history);
}

QString SessionStore::copyToPrivateDirectory(const QString &path)
{
    const QFileInfo file(path);
    if (path.isEmpty() || file.absolutePath() != directory())
        return {};
    const QString dir = imageDirectory();
    const QString to = dir + u'/' + file.fileName();
    if (dir.isEmpty() || (!QFile::exists(to) && !QFile::copy(path, to)))
        return {};
    QFile::copy(directory() + u'/' + RenditionFile::nameFor(file.fileName()),
                dir + u'/' + RenditionFile::nameFor(file.fileName()));
    return to;
}

// --- Writing ------------------------------------------------------------------------------------------

void SessionStore::writeNow()
{
    m_writeTimer.stop();
    if (!m_dirty || !m_state)
        return;
    // Not stored, icons still go to disk (the private directory) rather than stay in memory; no index.
    const bool storing = storesSession();
    const QString dir = imageDirectory();
    if (dir.isEmpty())
        return;
    m_dirty = false;

    struct PendingImage
    {
        QString fileName;
        IconImage image;
    };
    SessionRecord record;
    record.viewMode = m_state->viewMode();
    QList<PendingImage> images;
    const QSet<QUuid> selection = m_state->selectedFolderIDs();
    const QList<FolderItemPtr> folders = m_state->folders();
    record.folders.reserve(folders.size());
    for (const FolderItemPtr &item : folders) {
        const auto found = m_tracked.find(item->id());
        if (found == m_tracked.end())
            continue;
        Tracked &tracked = *found;
        SessionRecord::Folder folder;
        folder.url = item->url();
        folder.category = item->detectedCategory();
        folder.state = tracked.persistedState;
        folder.customPrompt = item->customPrompt();
        folder.lastGeneratedPrompt = item->lastGeneratedPrompt();
        folder.lastGeneratedAt = item->lastGeneratedAt();
        folder.fileCount = item->fileCount();
        folder.folderSizeBytes = item->folderSizeBytes();
        folder.selected = selection.contains(item->id());

        const IconImage image = item->generatedImage();
        if (tracked.imagePending) {
            folder.imageFile = tracked.imageFile;
        } else if (image.isNull()) {
            tracked.imageFile.clear();
            tracked.imageKey = 0;
        } else {
            const QFileInfo onDisk(image.pngFile());
            if (tracked.imageFile.isEmpty() || tracked.imageKey != image.cacheKey()) {
                tracked.imageKey = image.cacheKey();
                if (!image.pngFile().isEmpty() && onDisk.absolutePath() == dir
                    && SessionRecord::isImageFileName(onDisk.fileName())) {
                    // Already here (an earlier image chosen again, a removed folder put back): not written twice.
                    tracked.imageFile = onDisk.fileName();
                } else {
                    // A new name for new content: the index on disk keeps naming the old file until it is replaced.
                    tracked.imageFile = QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".png");
                    images.append(PendingImage{tracked.imageFile, image});
                }
            }
            folder.imageFile = tracked.imageFile;
        }
        folder.lastGeneratedModel = item->lastGeneratedModel();
        folder.generationCost = item->generationCost();
        folder.imageApplied = item->currentEntry().applied && !folder.state.is(IconState::Kind::applied);

        // Each image's file is written once: an image going from current to history keeps its file.
        QHash<qint64, QString> files;
        if (!tracked.imageFile.isEmpty() && tracked.imageKey != 0)
            files.insert(tracked.imageKey, tracked.imageFile);
        // A restored history nobody has looked at yet goes back as it came: its files are all here.
        if (!item->isHistoryLoaded())
            folder.storedHistory = tracked.storedHistory;
        else
            tracked.storedHistory = QJsonArray();
        const QList<IconHistoryEntry> history = item->isHistoryLoaded() ? item->history() : QList<IconHistoryEntry>();
        for (const IconHistoryEntry &entry : history) {
            QString name;
            if (entry.image.isNull()) {
                // Restored and not read yet: still in its file here, under its name.
                const QFileInfo file(entry.file);
                if (file.absolutePath() == dir)
                    name = file.fileName();
            } else {
                const qint64 key = entry.image.cacheKey();
                name = tracked.files.value(key);
                const QFileInfo file(entry.image.pngFile());
                if (name.isEmpty() && !entry.image.pngFile().isEmpty() && file.absolutePath() == dir)
                    name = file.fileName();
                if (name.isEmpty()) {
                    name = QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".png");
                    images.append(PendingImage{name, entry.image});
                }
                files.insert(key, name);
            }
            if (name.isEmpty() || !SessionRecord::isImageFileName(name) || name == folder.imageFile)
                continue;
            folder.history.append(SessionRecord::HistoryEntry{
                name, entry.generatedAt.isValid() ? std::optional<QDateTime>(entry.generatedAt) : std::nullopt,
                entry.model, entry.prompt, entry.applied, entry.cost});
        }
        tracked.files = files;

        // Without its image a folder has nothing generated to come back to.
        if (folder.imageFile.isEmpty() && hasImage(folder.state))
            folder.state = IconState::placeholder();
        record.folders.append(std::move(folder));
    }

    // Images Undo can bring back (removed folders', those that left a history, earlier applied ones) keep
    // their files, until their step goes or we quit.
    QSet<QString> kept;
    if (!m_quitting) {
        for (const IconHistoryEntry &image : m_state->heldImages()) {
            const QFileInfo file(image.pngPath());
            if (!image.pngPath().isEmpty() && file.absolutePath() == dir)
                kept.insert(file.fileName());
        }
    }
    m_writer.start([this, dir, storing, kept, record = std::move(record), images = std::move(images)] {
        QStringList failed;
        for (const PendingImage &pending : images) {
            // Icons come with their PNG: the UI thread never encodes one.
            const QByteArray png = pending.image.png();
            const QString path = dir + u'/' + pending.fileName;
            if (png.isEmpty() || !OwnerOnlyFile::replace(path, png)) {
                failed.append(pending.fileName);
                continue;
            }
            // A shortcut for the next launch (without it the PNG is decoded instead), and from now on where
            // the preview's large renditions come from.
            const QByteArray renditions = RenditionFile::encode(pending.image);
            const bool besidePng = !renditions.isEmpty()
                && OwnerOnlyFile::replace(dir + u'/' + RenditionFile::nameFor(pending.fileName), renditions);
            // On disk now, the bytes need not stay in memory, nor the large renditions: every copy of the
            // icon, wherever it is drawn, then reads them from there as a restored icon does.
            pending.image.keepPngIn(path, besidePng ? &RenditionFile::loadBeside : nullptr);
        }
        bool ok = failed.isEmpty();
        if (ok && storing) {
            const QByteArray index = record.toJson();
            if (index != m_lastIndex) {
                ok = OwnerOnlyFile::replace(dir + u'/' + IndexName, index);
                if (ok)
                    m_lastIndex = index;
            }
        }
        // Only once the index on disk no longer names them (an undo step leaving changes no index).
        if (ok)
            removeUnreferencedImages(dir, record, kept);
        QMetaObject::invokeMethod(this, [this, ok, failed, storing] { writeFinished(ok, failed, storing); },
                                  Qt::QueuedConnection);
    });
}

void SessionStore::writeFinished(bool ok, const QStringList &failedImages, bool storing)
{
    if (ok) {
        if (storing)
            Q_EMIT saved();
        return;
    }
    // The previous session stays on disk whole; the next change (or quitting) tries again, images included.
    for (Tracked &tracked : m_tracked) {
        if (failedImages.contains(tracked.imageFile)) {
            tracked.imageFile.clear();
            tracked.imageKey = 0;
        }
    }
    m_dirty = true;
}

void SessionStore::flush()
{
    writeNow();
    m_writer.waitForDone();
    // The writer's report of this last write is still queued: take it now, the event loop may be gone.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

// --- Restoring ----------------------------------------------------------------------------------------

SessionStore::RestoreOutcome SessionStore::restore()
{
    if (!m_isRememberingFolders || !ownsSession() || !m_state)
        return RestoreOutcome::skipped;
    m_writer.waitForDone();
    const QString dir = directory();
    removeLeftovers(dir);

    QFile file(dir + u'/' + IndexName);
    if (!file.exists())
        return RestoreOutcome::empty;
    std::optional<SessionRecord> record;
    QByteArray bytes;
    if (file.size() <= MaxIndexSize && file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        file.close();
        record = SessionRecord::fromJson(bytes);
    }
    if (!record) {
        // Kept for the curious user (and for us); the next write starts a fresh session beside it.
        QFile::remove(dir + u'/' + BadIndexName);
        if (!QFile::rename(file.fileName(), dir + u'/' + BadIndexName))
            QFile::remove(file.fileName());
        return RestoreOutcome::discarded;
    }
    // What we wrote is what we read: not written out again on the UI thread only to compare (megabytes
    // with long histories). An index written differently is simply written once more.
    m_lastIndex = bytes;

    QList<FolderItemPtr> items;
    QSet<QUuid> selection;
    items.reserve(record->folders.size());
    for (const SessionRecord::Folder &stored : std::as_const(record->folders)) {
        // The category comes from the index: no folder is read on this thread.
        FolderItemPtr item = FolderItem::create(stored.url, stored.category);
        IconState state = stored.state;
        if (hasImage(state) && stored.imageFile.isEmpty())
            state = IconState::placeholder();
        item->setIconState(state);
        item->setCustomPrompt(stored.customPrompt);
        item->setLastGeneratedPrompt(stored.lastGeneratedPrompt);
        item->setLastGeneratedAt(stored.lastGeneratedAt);
        item->setFileCount(stored.fileCount);
        item->setFolderSizeBytes(stored.folderSizeBytes);
        item->setLastGeneratedModel(stored.lastGeneratedModel);
        item->setGenerationCost(stored.generationCost);
        item->markApplied(stored.imageApplied);
        // Earlier images are read when their folder is shown alone: history costs disk, not memory. Their
        // entries are made only when something first asks for them (most folders' never are).
        if (!stored.storedHistory.isEmpty()) {
            item->setHistoryLoader([dir, stored = stored.storedHistory] {
                QList<IconHistoryEntry> history;
                for (const SessionRecord::HistoryEntry &entry : SessionRecord::historyEntries(stored))
                    history.append(IconHistoryEntry{IconImage(), dir + u'/' + entry.imageFile,
                                                    entry.generatedAt.value_or(QDateTime()), entry.model,
                                                    entry.prompt, entry.applied, entry.cost});
                return history;
            });
        }
        track(item, state);
        m_tracked[item->id()].storedHistory = stored.storedHistory;
        if (!stored.imageFile.isEmpty()) {
            Tracked &tracked = m_tracked[item->id()];
            tracked.imageFile = stored.imageFile;
            tracked.imagePending = true;
        }
        if (stored.selected)
            selection.insert(item->id());
        items.append(item);
    }

    m_state->restoreFolders(items, selection);
    m_state->setViewMode(record->viewMode);
    syncTracked();
    // What the state now holds is what is on disk: nothing to write until something changes.
    m_writeTimer.stop();
    m_dirty = false;
    startRestoreChecks(items);
    return RestoreOutcome::restored;
}

void SessionStore::startRestoreChecks(const QList<FolderItemPtr> &items)
{
    struct Job
    {
        std::weak_ptr<FolderItem> item;
        QUrl url;
        bool checkApplied = false;
        QString imageFile;
    };
    // Folders are read in small groups in list order, the first ones (those on screen) first; each group
    // lands in one piece, so a thousand folders make a hundred-odd short steps on the UI thread rather
    // than thousands of notifications queued behind each other.
    constexpr qsizetype GroupSize = 8;
    const QString dir = directory();
    m_pendingRestores = 1;
    for (qsizetype first = 0; first < items.size(); first += GroupSize) {
        QList<Job> jobs;
        for (qsizetype i = first; i < std::min(items.size(), first + GroupSize); ++i) {
            const FolderItemPtr &item = items.at(i);
            const Tracked &tracked = m_tracked[item->id()];
            jobs.append(Job{item, item->url(), item->iconState().is(IconState::Kind::applied),
                            tracked.imagePending ? tracked.imageFile : QString()});
        }
        ++m_pendingRestores;
        QtConcurrent::run(&m_reader, [dir, jobs = std::move(jobs)] {
            QList<Restored> results;
            results.reserve(jobs.size());
            for (const Job &job : jobs) {
                Restored result;
                result.item = job.item;
                Check &check = result.check;
                check.exists = QFileInfo(job.url.toLocalFile()).isDir();
                if (check.exists) {
                    check.analysis = FolderAnalyzer::analyze(job.url);
                    check.iconApplied = job.checkApplied && FolderIconService::isIconApplied(job.url);
                }
                if (!job.imageFile.isEmpty()) {
                    result.hasImage = true;
                    result.image = readImage(dir, job.imageFile, &result.fromRenditions);
                }
                results.append(std::move(result));
            }
            return results;
        }).then(this, [this](const QList<Restored> &results) {
            for (const Restored &result : results) {
                applyCheck(result.item, result.check);
                if (result.hasImage)
                    applyImage(result.item, result.image, result.fromRenditions);
            }
            restoreStepDone();
        });
    }
    restoreStepDone();
}

void SessionStore::restoreStepDone()
{
    if (--m_pendingRestores == 0)
        Q_EMIT restoreFinished();
}

void SessionStore::applyCheck(const std::weak_ptr<FolderItem> &weak, const Check &check)
{
    const FolderItemPtr item = weak.lock();
    if (!item || !m_tracked.contains(item->id()))
        return;
    if (!check.exists) {
        // The user may have unplugged a drive: the folder stays, and what it had is kept for when it is back.
        const IconState kept = m_tracked[item->id()].persistedState;
        if (!item->iconState().is(IconState::Kind::generating))
            item->setIconState(IconState::failed(tr(FolderNotFound)));
        m_tracked[item->id()].persistedState = kept;
        return;
    }
    item->setFileCount(check.analysis.fileCount);
    item->setFolderSizeBytes(check.analysis.totalBytes);
    item->setTopFiles(check.analysis.topFiles);
    // Someone reset the icon, or another program replaced it, while we were not running.
    if (item->iconState().is(IconState::Kind::applied) && !check.iconApplied)
        item->setIconState(IconState::generated());
}

void SessionStore::applyImage(const std::weak_ptr<FolderItem> &weak, IconImage image, bool fromRenditions)
{
    const FolderItemPtr item = weak.lock();
    if (!item)
        return;
    const auto found = m_tracked.find(item->id());
    if (found == m_tracked.end() || !found->imagePending)
        return;
    found->imagePending = false;
    if (!m_isRememberingFolders) {
        // Remembering went off while this was read: the icon moves to the private directory first.
        moveToPrivateDirectory(image, found->imageFile);
        QFile::remove(directory() + u'/' + found->imageFile);
        QFile::remove(directory() + u'/' + RenditionFile::nameFor(found->imageFile));
        if (image.pngFile() == directory() + u'/' + found->imageFile) {
            // It could not be copied (a full disk): memory keeps it instead.
            image = image.withPngInMemory();
            found->imageFile.clear();
        }
    }
    // A generation that finished meanwhile has the newer image.
    if (!item->generatedImage().isNull())
        return;
    if (image.isNull()) {
        found->imageFile.clear();
        found->imageKey = 0;
        if (hasImage(found->persistedState))
            found->persistedState = IconState::placeholder();
        if (hasImage(item->iconState()))
            item->setIconState(IconState::placeholder());
        scheduleWrite();
        return;
    }
    if (!found->imageFile.isEmpty()) {
        found->imageKey = image.cacheKey();
        // A session from before renditions were kept (or whose renditions did not fit their PNG) gets
        // them now, once: the next launch shows this icon without decoding it. The writer thread keeps
        // this in order with index writes, whose clean-up removes the file again if the icon goes.
        if (!fromRenditions && ownsSession()) {
            // Quitting, or deleting the session, does not wait for these: the next launch would just decode again.
            m_writer.start([this, png = directory() + u'/' + found->imageFile, image] {
                // Stored, they are where the preview's large renditions come from, as for any restored icon.
                if (!m_skipRenditionUpgrades
                    && OwnerOnlyFile::replace(RenditionFile::nameFor(png), RenditionFile::encode(image))
                    && image.pngFile() == png)
                    image.keepPngIn(png, &RenditionFile::loadBeside);
            });
        }
    }
    item->setGeneratedImage(image);
}

// --- Earlier images -----------------------------------------------------------------------------------

void SessionStore::readSelectedHistory()
{
    if (!m_state)
        return;
    const FolderItemPtr item = m_state->selectedFolder();
    if (!item)
        return;
    QStringList files;
    for (const IconHistoryEntry &entry : item->history()) {
        if (entry.image.isNull() && !entry.file.isEmpty())
            files.append(entry.file);
    }
    if (files.isEmpty())
        return;
    QtConcurrent::run(&m_reader, [files] {
        QHash<QString, IconImage> images;
        for (const QString &path : files) {
            bool fromRenditions = false;
            const QFileInfo file(path);
            images.insert(path, readImage(file.absolutePath(), file.fileName(), &fromRenditions));
        }
        return images;
    }).then(this, [this, weak = std::weak_ptr<FolderItem>(item)](const QHash<QString, IconImage> &images) {
        historyRead(weak, images);
    });
}

void SessionStore::historyRead(const std::weak_ptr<FolderItem> &weak, const QHash<QString, IconImage> &images)
{
    const FolderItemPtr item = weak.lock();
    if (!item)
        return;
    QList<IconHistoryEntry> history = item->history();
    bool dropped = false;
    for (qsizetype i = history.size() - 1; i >= 0; --i) {
        IconHistoryEntry &entry = history[i];
        const auto found = images.constFind(entry.file);
        if (!entry.image.isNull() || found == images.cend())
            continue;
        if (found->isNull()) {
            // Missing or damaged: the entry goes, nothing else of the folder does.
            history.removeAt(i);
            dropped = true;
            continue;
        }
        entry.image = *found;
    }
    item->setHistory(history);
    if (dropped)
        scheduleWrite();
}
