#include "session/session_store.h"

#include "services/folder_analyzer.h"
#include "services/folder_icon_service.h"
#include "services/image_decoder.h"
#include "services/owner_only_file.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QtConcurrent>

namespace {

const QString RememberFoldersKey = QStringLiteral("rememberFolders");
const QString IndexName = QStringLiteral("session.json");
const QString BadIndexName = QStringLiteral("session.json.bad");
const QString LockName = QStringLiteral("session.lock");
const QString FolderNotFound = QStringLiteral("Folder not found");
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

// After an index is on disk, image files it does not name are no longer anybody's.
void removeUnreferencedImages(const QString &directory, const SessionRecord &record)
{
    QSet<QString> referenced;
    for (const SessionRecord::Folder &folder : record.folders) {
        if (!folder.imageFile.isEmpty())
            referenced.insert(folder.imageFile);
    }
    const QDir dir(directory);
    const QStringList names = dir.entryList({QStringLiteral("*.png")}, QDir::Files);
    for (const QString &name : names) {
        if (!referenced.contains(name))
            QFile::remove(dir.filePath(name));
    }
}

IconImage readImage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray png = file.readAll();
    if (!isPng(png))
        return {};
    const QImage image = ImageDecoder::decode(png);
    if (image.isNull())
        return {};
    return IconImage{image.convertToFormat(QImage::Format_ARGB32_Premultiplied), png};
}

} // namespace

struct SessionStore::Check
{
    bool exists = false;
    bool iconApplied = false;
    FolderAnalyzer::Analysis analysis;
};

SessionStore::SessionStore(AppState *state, QObject *parent)
    : QObject(parent)
    , m_state(state)
{
    m_isRememberingFolders = preferences().value(RememberFoldersKey, true).toBool();
    m_writer.setMaxThreadCount(1);
    m_writer.setExpiryTimeout(-1);
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
        connect(m_state, &AppState::viewModeChanged, this, &SessionStore::scheduleWrite);
        syncTracked();
    }
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SessionStore::flush);
}

SessionStore::~SessionStore()
{
    flush();
}

QString SessionStore::directory()
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                           + QStringLiteral("/com.tavrune.app/session"));
}

QString SessionStore::couldNotRestoreMessage()
{
    return QStringLiteral("Could not restore the last session");
}

void SessionStore::setRememberingFolders(bool remember)
{
    preferences().setValue(RememberFoldersKey, remember);
    if (remember == m_isRememberingFolders)
        return;
    m_isRememberingFolders = remember;
    if (remember) {
        // Everything is written afresh: the files were deleted when remembering went off.
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
    m_writer.waitForDone();
    m_lastIndex.clear();
    QSet<QString> stillLoading;
    for (Tracked &tracked : m_tracked) {
        if (tracked.imagePending) {
            stillLoading.insert(tracked.imageFile);
            continue;
        }
        tracked.imageFile.clear();
        tracked.imageKey = 0;
    }
    if (!ownsSession())
        return;
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
        if (it->record)
            disconnect(it->record, nullptr, this, nullptr);
        it = m_tracked.erase(it);
    }
}

void SessionStore::track(const FolderItemPtr &item, const IconState &persisted)
{
    FolderItem *record = item.get();
    m_tracked.insert(item->id(), Tracked{record, persisted, {}, 0, false});
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
    for (auto signal : {&FolderItem::generatedImageChanged, &FolderItem::customPromptChanged,
                        &FolderItem::lastGeneratedPromptChanged, &FolderItem::lastGeneratedAtChanged,
                        &FolderItem::detectedCategoryChanged, &FolderItem::fileCountChanged,
                        &FolderItem::folderSizeBytesChanged}) {
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
    if (m_isRememberingFolders && ownsSession() && !m_writeTimer.isActive())
        m_writeTimer.start();
}

// --- Writing ------------------------------------------------------------------------------------------

void SessionStore::writeNow()
{
    m_writeTimer.stop();
    if (!m_dirty || !m_isRememberingFolders || !ownsSession() || !m_state)
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
            if (tracked.imageFile.isEmpty() || tracked.imageKey != image.cacheKey()) {
                // A new name for new content: the index on disk keeps naming the old file until it is replaced.
                tracked.imageFile = QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".png");
                tracked.imageKey = image.cacheKey();
                images.append(PendingImage{tracked.imageFile, image});
            }
            folder.imageFile = tracked.imageFile;
        }
        // Without its image a folder has nothing generated to come back to.
        if (folder.imageFile.isEmpty() && hasImage(folder.state))
            folder.state = IconState::placeholder();
        record.folders.append(std::move(folder));
    }

    const QString dir = directory();
    m_writer.start([this, dir, record = std::move(record), images = std::move(images)] {
        QStringList failed;
        for (const PendingImage &pending : images) {
            // Icons come with their PNG: the UI thread never encodes one.
            const QByteArray png = pending.image.png();
            if (png.isEmpty() || !OwnerOnlyFile::replace(dir + u'/' + pending.fileName, png))
                failed.append(pending.fileName);
        }
        bool ok = failed.isEmpty();
        if (ok) {
            const QByteArray index = record.toJson();
            if (index != m_lastIndex) {
                ok = OwnerOnlyFile::replace(dir + u'/' + IndexName, index);
                if (ok) {
                    m_lastIndex = index;
                    removeUnreferencedImages(dir, record);
                }
            }
        }
        QMetaObject::invokeMethod(this, [this, ok, failed] { writeFinished(ok, failed); }, Qt::QueuedConnection);
    });
}

void SessionStore::writeFinished(bool ok, const QStringList &failedImages)
{
    if (ok) {
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
    if (file.size() <= MaxIndexSize && file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
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
    m_lastIndex = record->toJson();

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
        track(item, state);
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
    const QString dir = directory();
    QThreadPool *pool = QThreadPool::globalInstance();
    m_pendingRestores = 1;
    // All checks first, then the images: states settle at once, the slow decoding follows in list order.
    for (const FolderItemPtr &item : items) {
        ++m_pendingRestores;
        const QUrl url = item->url();
        const bool checkApplied = item->iconState().is(IconState::Kind::applied);
        QtConcurrent::run(pool, [url, checkApplied] {
            Check check;
            check.exists = QFileInfo(url.toLocalFile()).isDir();
            if (check.exists) {
                check.analysis = FolderAnalyzer::analyze(url);
                check.iconApplied = checkApplied && FolderIconService::isIconApplied(url);
            }
            return check;
        }).then(this, [this, weak = std::weak_ptr<FolderItem>(item)](const Check &check) {
            applyCheck(weak, check);
            restoreStepDone();
        });
    }
    for (const FolderItemPtr &item : items) {
        const Tracked &tracked = m_tracked[item->id()];
        if (!tracked.imagePending)
            continue;
        ++m_pendingRestores;
        const QString path = dir + u'/' + tracked.imageFile;
        QtConcurrent::run(pool, [path] { return readImage(path); })
            .then(this, [this, weak = std::weak_ptr<FolderItem>(item)](const IconImage &image) {
                applyImage(weak, image);
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
            item->setIconState(IconState::failed(FolderNotFound));
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

void SessionStore::applyImage(const std::weak_ptr<FolderItem> &weak, const IconImage &image)
{
    const FolderItemPtr item = weak.lock();
    if (!item)
        return;
    const auto found = m_tracked.find(item->id());
    if (found == m_tracked.end() || !found->imagePending)
        return;
    found->imagePending = false;
    if (!m_isRememberingFolders) {
        QFile::remove(directory() + u'/' + found->imageFile);
        found->imageFile.clear();
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
    if (!found->imageFile.isEmpty())
        found->imageKey = image.cacheKey();
    item->setGeneratedImage(image);
}
