#include "state/app_state.h"
#include "state/folder_removal.h"
#include "state/folder_worker.h"
#include "state/icon_change.h"
#include "state/image_choice.h"
#include "state/prompt_edit.h"

#include "models/notifying_assign.h"
#include "content/category_detector.h"
#include "desktop/folder_icon_service.h"
#include "desktop/folder_watcher.h"
#include "openrouter/generation_error.h"
#include "openrouter/image_generation_service.h"
#include "openrouter/open_router_protocol.h"
#include "keys/keychain_service.h"
#include "content/prompt_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QFuture>
#include <QFutureWatcher>
#include <QPromise>
#include <QRegularExpression>

#include <utility>

namespace {

const QString UseFastModelKey = QStringLiteral("useFastModel");
const QString WatchRootFolderKey = QStringLiteral("watchRootFolder");
const QString AskBeforeLargeBatchesKey = QStringLiteral("askBeforeLargeBatches");
/// A Desktop report of more folders than this (an unpacked archive) is listed, not generated.
constexpr qsizetype DesktopBurstLimit = 5;

QSettings preferences()
{
    return QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune"));
}

QString quoted(const QString &name)
{
    return AppState::tr("“%1”", "a folder name in quotes").arg(name);
}

QString iconFileMissingMessage(const QString &name)
{
    return AppState::tr("The icon file of %1 is missing").arg(quoted(name));
}

// Writes onto the record what the folder shows once `image` was applied to it (none: once its icon
// was reset). The image may be an earlier one of the folder's (an undo): its history entry is then the
// one shown, back in the history if it had left it. A folder generating meanwhile keeps its state.
void recordIconOutcome(FolderItem &folder, const IconHistoryEntry &image, const FolderIconOutcome &outcome)
{
    const bool generating = folder.iconState().is(IconState::Kind::generating);
    if (image.isNone()) {
        if (!outcome.resetClean)
            return; // something of ours is still shown: the record says so as it was
        folder.markApplied(false);
        if (!generating && !folder.generatedImage().isNull())
            folder.setIconState(IconState::generated());
        return;
    }
    if (outcome.iconFileMissing)
        return; // nothing was tried: the folder keeps its renditions and state
    const bool current = folder.currentEntry().isSameImage(image);
    // A partial apply (some file managers will not show it) counts as applied.
    if (!outcome.applied.applied()) {
        if (current && !generating)
            folder.setIconState(IconState::failed(AppState::tr("Failed to apply icon to folder")));
        return;
    }
    if (current) {
        folder.markApplied(true);
        if (!generating)
            folder.setIconState(IconState::applied());
        return;
    }
    folder.markHistoryImageApplied(image);
    if (folder.iconState().is(IconState::Kind::applied))
        folder.setIconState(IconState::generated());
}

// The image of ours the folder shows now, as far as its record knows (an earlier one maybe not read
// yet); none for none.
IconHistoryEntry shownImage(const FolderItem &folder)
{
    if (folder.iconState().is(IconState::Kind::applied) || folder.currentEntry().applied)
        return folder.currentEntry();
    for (const IconHistoryEntry &entry : folder.history()) {
        if (entry.applied)
            return entry;
    }
    return {};
}

template<typename T>
QList<T> resultsOf(const QList<QFuture<T>> &futures)
{
    QList<T> results;
    results.reserve(futures.size());
    for (const QFuture<T> &future : futures)
        results.append(future.resultCount() > 0 ? future.result() : T());
    return results;
}

/// The failure kind the window acts on, from the kinds of the attempts.
IconState::Failure failureOf(const GenerationError &error)
{
    using K = GenerationError::Kind;
    using F = IconState::Failure;
    // A refused key decides: whatever else failed, a new key is what the user can do.
    for (const auto &[kind, failure] : {std::pair{K::authentication, F::authentication},
                                        std::pair{K::spendingLimit, F::spendingLimit},
                                        std::pair{K::rateLimit, F::rateLimit},
                                        std::pair{K::networkError, F::network},
                                        std::pair{K::invalidResponse, F::invalidAnswer},
                                        std::pair{K::imageDecoding, F::undecodableImage}}) {
        if (error.involves(kind))
            return failure;
    }
    return F::other;
}

// Whether the listed folder is still where the record says.
bool isPresent(const FolderItem &folder)
{
    return !folder.url().isLocalFile() || QFileInfo(folder.url().toLocalFile()).isDir();
}

// The one place the state asks the icon service to follow a rename.
QString dollars(double amount)
{
    return QStringLiteral("$") + QString::number(amount, 'f', 2);
}

} // namespace

bool AppState::isDefaultFolderName(const QString &name)
{
    // Nautilus, Nemo, Caja, Dolphin, Thunar and PCManFM-Qt, optionally numbered ("Untitled Folder 2"),
    // in English and in German ("Unbenannter Ordner", "Neuer Ordner").
    static const QRegularExpression pattern(
        QStringLiteral("^(Untitled Folder|untitled folder|New Folder|New folder|Unbenannter Ordner|Neuer Ordner)"
                       "( \\(?\\d+\\)?)?$"));
    return pattern.match(name).hasMatch();
}

AppState::AppState(QObject *parent)
    : AppState(Preferences::stored, parent)
{
}

AppState::AppState(Preferences preferences, QObject *parent)
    : QObject(parent)
    , m_selectedTheme(ThemePreset::defaultTheme())
    , m_preferences(preferences)
    , m_worker(std::make_unique<FolderWorker>())
{
    // Well past what anyone undoes in one sitting; each step holds little (records, not copies).
    m_undoStack.setUndoLimit(100);
    m_toastDismissTimer.setSingleShot(true);
    m_toastDismissTimer.setTimerType(Qt::PreciseTimer);
    m_toastDismissTimer.setInterval(std::chrono::milliseconds(3000));
    connect(&m_toastDismissTimer, &QTimer::timeout, this, [this] { setActiveToast(std::nullopt); });

    if (m_preferences == Preferences::transient)
        return;
    const QSettings settings = ::preferences();
    m_useFastModel = settings.value(UseFastModelKey, false).toBool();
    m_isWatchingRoot = settings.value(WatchRootFolderKey, false).toBool();
    m_asksBeforeLargeBatches = settings.value(AskBeforeLargeBatchesKey, true).toBool();
    if (m_isWatchingRoot)
        startRootWatcher();
}

AppState::~AppState()
{
    // Nothing of a stopped generation reaches this object any more: its watcher goes with it, and
    // the futures handed out finish here, while the object is still whole.
    stopGenerating(true);
    // Applies and resets still queued run to their end: a folder is never left half applied.
    finishFolderWork();
}

// --- Plain properties -----------------------------------------------------------------------

void AppState::setSelectedFolderIDs(const QSet<QUuid> &ids)
{
    notifyingAssign(this, m_selectedFolderIDs, ids, &AppState::selectedFolderIDsChanged);
}

void AppState::setViewMode(ViewMode mode)
{
    notifyingAssign(this, m_viewMode, mode, &AppState::viewModeChanged);
}

void AppState::setInspectorVisible(bool visible)
{
    notifyingAssign(this, m_isInspectorVisible, visible, &AppState::isInspectorVisibleChanged);
}

void AppState::setShowOnboarding(bool show)
{
    notifyingAssign(this, m_showOnboarding, show, &AppState::showOnboardingChanged);
    if (show || m_awaitingKey.isEmpty())
        return;
    // The sheet closed: saved, the generations asked for start now; skipped, none does.
    const QList<QUuid> waiting = std::exchange(m_awaitingKey, {});
    if (KeychainService::shared().load())
        generateAll(waiting);
}

void AppState::setAsksBeforeLargeBatches(bool ask)
{
    notifyingAssign(this, m_asksBeforeLargeBatches, ask, &AppState::asksBeforeLargeBatchesChanged);
    if (m_preferences == Preferences::stored)
        ::preferences().setValue(AskBeforeLargeBatchesKey, ask);
}

void AppState::setKeyCreditLeft(const std::optional<double> &credit)
{
    notifyingAssign(this, m_keyCreditLeft, credit, &AppState::keyCreditLeftChanged);
}

void AppState::refreshKeyCredit()
{
    const quint64 serial = ++m_creditCheckSerial;
    // Answers come back through the application object, which outlives this one (Qt 6.4 asserts
    // when a continuation's context dies first); the pointer tells whether this one is still there.
    QObject *const app = QCoreApplication::instance();
    if (!app)
        return;
    const QPointer<AppState> self(this);
    const auto check = [self, serial, app](const QString &key) {
        ImageGenerationService::shared().checkKey(key).then(app, [self, serial](const KeyCheck &result) {
            // A key that failed its check, or could not be checked now, changes nothing known.
            if (self && serial == self->m_creditCheckSerial && result.failure.isEmpty())
                self->setKeyCreditLeft(result.limitRemaining);
        });
    };
    if (const std::optional<QString> key = KeychainService::shared().load()) {
        check(*key);
        return;
    }
    // At start the keyring may not have answered yet.
    KeychainService::shared().lookup().then(app, [self, serial, check](const KeychainService::Lookup &found) {
        if (self && found.key && serial == self->m_creditCheckSerial)
            check(*found.key);
    });
}

void AppState::setMaintainThemeConsistency(bool lock)
{
    notifyingAssign(this, m_maintainThemeConsistency, lock, &AppState::maintainThemeConsistencyChanged);
}

void AppState::setUseFastModel(bool fast)
{
    notifyingAssign(this, m_useFastModel, fast, &AppState::useFastModelChanged);
    if (m_preferences == Preferences::stored)
        ::preferences().setValue(UseFastModelKey, fast);
}

void AppState::setWatchingRoot(bool watching)
{
    notifyingAssign(this, m_isWatchingRoot, watching, &AppState::isWatchingRootChanged);
    if (m_preferences == Preferences::stored)
        ::preferences().setValue(WatchRootFolderKey, watching);

    if (watching) {
        startRootWatcher();
        showToast(Toast::Kind::info, tr("Watching %1 — new folders get icons automatically").arg(folderDisplayName(watchedRootURL())));
    } else {
        stopRootWatcher();
        showToast(Toast::Kind::info, tr("Folder watching turned off"));
    }
}

void AppState::setFolders(const QList<FolderItemPtr> &folders)
{
    notifyingAssign(this, m_folders, folders, &AppState::foldersChanged);
    // A folder removed while its generation still waits for its content is not paid for: the
    // generation stops, and an undo brings the folder back as it was before it.
    QList<QUuid> unsent;
    for (auto running = m_running.cbegin(); running != m_running.cend(); ++running) {
        if (!running->sent)
            unsent.append(running.key());
    }
    if (unsent.isEmpty())
        return;
    QSet<QUuid> listed;
    for (const FolderItemPtr &item : m_folders)
        listed.insert(item->id());
    unsent.removeIf([&listed](const QUuid &id) { return listed.contains(id); });
    stop(unsent);
}

void AppState::setActiveToast(const std::optional<Toast> &toast)
{
    notifyingAssign(this, m_activeToast, toast, &AppState::activeToastChanged);
}

void AppState::setRegeneratingAll(bool regenerating)
{
    notifyingAssign(this, m_isRegeneratingAll, regenerating, &AppState::isRegeneratingAllChanged);
}

// --- Folders and selection --------------------------------------------------------------------

FolderItemPtr AppState::folder(const QUuid &id) const
{
    for (const FolderItemPtr &item : m_folders) {
        if (item->id() == id)
            return item;
    }
    return nullptr;
}

FolderItemPtr AppState::listedFolder(const QUrl &url) const
{
    const QString path = QDir::cleanPath(url.toLocalFile());
    for (const FolderItemPtr &item : m_folders) {
        if (item->url() == url || (!path.isEmpty() && QDir::cleanPath(item->url().toLocalFile()) == path))
            return item;
    }
    return nullptr;
}

FolderItemPtr AppState::selectedFolder() const
{
    if (m_selectedFolderIDs.size() != 1)
        return nullptr;
    return folder(*m_selectedFolderIDs.cbegin());
}

QList<FolderItemPtr> AppState::selectedFolders() const
{
    QList<FolderItemPtr> result;
    for (const FolderItemPtr &item : m_folders) {
        if (m_selectedFolderIDs.contains(item->id()))
            result.append(item);
    }
    return result;
}

void AppState::showOpenPanel()
{
    if (!m_folderChooser)
        return;
    const QList<QUrl> chosen = m_folderChooser();
    if (!chosen.isEmpty())
        addFolders(chosen);
}

QFuture<void> AppState::addFolders(const QList<QUrl> &urls)
{
    QList<FolderItemPtr> folders = m_folders;
    QList<QFuture<void>> analyses;
    for (const QUrl &url : urls) {
        // Only directory URLs, by their form: the file system is not asked here.
        if (!url.path().endsWith(u'/'))
            continue;
        const bool listed = std::any_of(folders.cbegin(), folders.cend(),
                                        [&url](const FolderItemPtr &item) { return item->url() == url; });
        if (listed)
            continue;

        // The category reads a bounded sample of names and is there at once; the summary stats every
        // child, which for a large folder takes a while, so it comes from the worker.
        FolderItemPtr item = FolderItem::create(url, CategoryDetector::detect(url));
        const QUuid id = item->id();
        QFuture<FolderWorker::Analysis> work = m_worker->analyse(url);
        Analysis analysis;
        analysis.work = work;
        analysis.write = [item, work] {
            const FolderWorker::Analysis content = work.result();
            item->setFileCount(content.fileCount);
            item->setTopFiles(content.topFiles);
            item->setFolderSizeBytes(content.totalBytes);
        };
        m_analysing.insert(id, std::move(analysis));
        analyses.append(work.then(this, [this, id](const FolderWorker::Analysis &) { finishAnalysis(id); }));
        folders.append(item);
    }
    setFolders(folders);
    if (analyses.isEmpty())
        return QtFuture::makeReadyFuture();
    return QtFuture::whenAll(analyses.begin(), analyses.end()).then([](const QList<QFuture<void>> &) {});
}

void AppState::finishAnalysis(const QUuid &id)
{
    const auto pending = m_analysing.constFind(id);
    if (pending == m_analysing.cend())
        return;
    const Analysis analysis = *pending;
    m_analysing.erase(pending);
    QFuture<void>(analysis.work).waitForFinished();
    analysis.write();
}

void AppState::restoreFolders(const QList<FolderItemPtr> &restored, const QSet<QUuid> &selection)
{
    QList<FolderItemPtr> folders;
    folders.reserve(restored.size() + m_folders.size());
    QSet<QUrl> urls;
    for (const FolderItemPtr &item : std::as_const(m_folders))
        urls.insert(item->url());
    QSet<QUuid> selected = m_selectedFolderIDs;
    for (const FolderItemPtr &item : restored) {
        if (urls.contains(item->url()))
            continue;
        urls.insert(item->url());
        folders.append(item);
        if (selection.contains(item->id()))
            selected.insert(item->id());
    }
    folders.append(m_folders);
    setFolders(folders);
    setSelectedFolderIDs(selected);
}

void AppState::removeFolder(const QUuid &id) { removeFolders({id}); }

void AppState::removeFolders(const QSet<QUuid> &ids)
{
    const bool any = std::any_of(m_folders.cbegin(), m_folders.cend(),
                                 [&ids](const FolderItemPtr &item) { return ids.contains(item->id()); });
    if (any)
        m_undoStack.push(new FolderRemoval(this, ids));
}

void AppState::removeSelectedFolders()
{
    const qsizetype count = m_selectedFolderIDs.size();
    if (count == 0)
        return;

    m_undoStack.push(new FolderRemoval(this, m_selectedFolderIDs));
    showToast(Toast::Kind::info, count == 1 ? tr("Removed 1 folder from the list")
                                            : tr("Removed %n folders from the list", nullptr, int(count)));
}

void AppState::replaceFolders(const QList<FolderItemPtr> &folders, const QSet<QUuid> &selection)
{
    setFolders(folders);
    setSelectedFolderIDs(selection);
}

QList<FolderItemPtr> AppState::heldFolders() const
{
    QList<FolderItemPtr> held;
    for (int i = 0; i < m_undoStack.count(); ++i) {
        if (const auto *removal = dynamic_cast<const FolderRemoval *>(m_undoStack.command(i)))
            held.append(removal->folders());
    }
    return held;
}

QList<IconHistoryEntry> AppState::heldImages() const
{
    QList<IconHistoryEntry> images;
    for (const FolderItemPtr &folder : heldFolders())
        images += QList<IconHistoryEntry>{folder->currentEntry()} + folder->history();
    for (int i = 0; i < m_undoStack.count(); ++i) {
        const QUndoCommand *step = m_undoStack.command(i);
        if (const auto *change = dynamic_cast<const IconChange *>(step)) {
            images += change->images();
        } else if (const auto *choice = dynamic_cast<const ImageChoice *>(step)) {
            images += choice->images();
        }
    }
    images.removeIf([](const IconHistoryEntry &image) { return image.isNone(); });
    return images;
}

void AppState::followHeldFiles(const std::function<QString(const QString &)> &moved)
{
    for (int i = 0; i < m_undoStack.count(); ++i) {
        // The stack hands out its steps read-only; pointing one at a moved file changes nothing it does.
        auto *step = const_cast<QUndoCommand *>(m_undoStack.command(i));
        if (auto *change = dynamic_cast<IconChange *>(step))
            change->followFiles(moved);
        else if (auto *choice = dynamic_cast<ImageChoice *>(step))
            choice->followFiles(moved);
    }
}

void AppState::selectFolder(const QUuid &id, bool extending)
{
    QSet<QUuid> selection = m_selectedFolderIDs;
    if (extending) {
        if (!selection.remove(id))
            selection.insert(id);
    } else if (selection.size() == 1 && selection.contains(id)) {
        selection.clear();
    } else {
        selection = {id};
    }
    setSelectedFolderIDs(selection);
}

void AppState::selectAll()
{
    QSet<QUuid> selection;
    for (const FolderItemPtr &item : m_folders)
        selection.insert(item->id());
    setSelectedFolderIDs(selection);
}

void AppState::deselectAll() { setSelectedFolderIDs({}); }

// --- Toasts -------------------------------------------------------------------------------------

void AppState::showToast(Toast::Kind kind, const QString &message)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, kind, message] { showToast(kind, message); }, Qt::QueuedConnection);
        return;
    }
    // Restarting the one timer is what keeps an older dismissal from clearing a newer toast.
    setActiveToast(Toast{kind, message});
    m_toastDismissTimer.start();
}

void AppState::setToastDuration(std::chrono::milliseconds duration) { m_toastDismissTimer.setInterval(duration); }

// --- Generation and apply -----------------------------------------------------------------------

QString AppState::composePrompt(const FolderItem &folder) const
{
    return PromptBuilder::promptFor(folder, m_selectedTheme, m_maintainThemeConsistency);
}

QFuture<void> AppState::generateIcon(const QUuid &id)
{
    return generateIcon(id, true);
}

QFuture<void> AppState::generateIcon(const QUuid &id, bool askForKey)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder)
        return QtFuture::makeReadyFuture();
    // One paid generation per folder at a time: a second would cost again and race the first.
    if (const auto running = m_running.constFind(id); running != m_running.cend())
        return running->done->future();
    // Moved away or deleted since it was listed: nothing to give an icon to, so nothing is paid for.
    if (!isPresent(*folder)) {
        showToast(Toast::Kind::error, tr("%1 is no longer there").arg(quoted(folder->name())));
        return QtFuture::makeReadyFuture();
    }
    const std::optional<QString> apiKey = KeychainService::shared().load();
    if (!apiKey) {
        if (askForKey)
            this->askForKey({id});
        return QtFuture::makeReadyFuture();
    }

    RunningGeneration run;
    run.folder = folder;
    run.serial = m_nextSerial++;
    run.asksForKey = askForKey;
    run.earlierState = folder->iconState();
    run.earlierImage = folder->generatedImage();
    run.done = std::make_shared<QPromise<void>>();
    run.done->start();
    run.clock.start();
    const quint64 serial = run.serial;
    QFuture<void> done = run.done->future();
    if (m_running.isEmpty() && m_runTotal > 0) {
        m_runTotal = m_runEnded = 0;
        m_runSummary = {};
    }
    m_running.insert(id, std::move(run));
    ++m_runTotal;
    // Views that follow the folder already find its generation running.
    folder->setIconState(IconState::generating());
    Q_EMIT generationProgressChanged();

    // The prompt describes the folder's content. A folder added a moment ago (a Desktop folder just
    // reported, a folder of the command line) is still being read on the worker, which for a large
    // one takes a while: the request follows the read instead of the window waiting for it.
    const auto pending = m_analysing.constFind(id);
    if (pending == m_analysing.cend()) {
        sendRequest(id, serial);
        return done;
    }
    auto *watcher = new QFutureWatcher<void>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, id, serial] {
        watcher->deleteLater();
        sendRequest(id, serial);
    });
    watcher->setFuture(pending->work);
    return done;
}

void AppState::sendRequest(const QUuid &id, quint64 serial)
{
    // Read by now: this only writes the content onto the record, if its own delivery has not yet.
    // Done first, since views follow the record and may start or stop generations as it changes.
    finishAnalysis(id);
    const auto running = m_running.find(id);
    if (running == m_running.end() || running->serial != serial || running->sent)
        return; // stopped meanwhile: nothing was sent, and the folder is back as it was
    const FolderItemPtr folder = running->folder;
    // What was true when the generation started may not be any more after a long read.
    if (!isPresent(*folder)) {
        showToast(Toast::Kind::error, tr("%1 is no longer there").arg(quoted(folder->name())));
        stop({id});
        return;
    }
    const std::optional<QString> apiKey = KeychainService::shared().load();
    if (!apiKey) {
        // The key went away meanwhile: as without one at the start, the generation waits for a new one.
        const bool ask = running->asksForKey;
        stop({id});
        if (ask)
            askForKey({id});
        return;
    }

    RunningGeneration &run = *running;
    run.model = QString::fromLatin1(m_useFastModel ? OpenRouterProtocol::fastModelId : OpenRouterProtocol::qualityModelId);
    run.prompt = composePrompt(*folder);
    run.sent = true;
    run.request = ImageGenerationService::shared().generateIcon(run.prompt, *apiKey, m_useFastModel);

    // The watcher belongs to this object and reports on its thread: an outcome arriving after the
    // generation was stopped, or after this object is gone, reaches nobody.
    auto *watcher = new QFutureWatcher<GeneratedIcon>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, id, serial] {
        watcher->deleteLater();
        finishGeneration(id, serial, watcher->future());
    });
    watcher->setFuture(run.request);
}

void AppState::finishGeneration(const QUuid &id, quint64 serial, const QFuture<GeneratedIcon> &request)
{
    const auto running = m_running.constFind(id);
    if (running == m_running.cend() || running->serial != serial)
        return; // stopped meanwhile: the folder is already back as it was
    const FolderItemPtr folder = running->folder;

    QString failure;
    IconState::Failure kind = IconState::Failure::other;
    try {
        // A failed generation is a cancelled future with an error, which this rethrows.
        QFuture<GeneratedIcon>(request).waitForFinished();
        if (request.resultCount() == 0) {
            // Cancelled under us (the network shut down): the folder is put back as Stop does.
            stop({id});
            return;
        }
        const GeneratedIcon icon = request.result();
        const IconImage &image = icon.image;
        // The prompt is the image's: a failed or stopped request leaves the previous pair as it was. The
        // image replaced goes into the folder's history; the date follows the state.
        const IconHistoryEntry before = folder->currentEntry();
        // The model that answered, which after a fallback is not the one asked first.
        const QString model = icon.model.isEmpty() ? running->model : icon.model;
        folder->makeCurrent(IconHistoryEntry{image, QString(), QDateTime(), model, running->prompt, false, icon.cost});
        folder->setIconState(IconState::generated());
        // Undone, the folder has its previous image back, applied if it was and still shows it.
        IconState previous = IconState::generated();
        if (before.isNone())
            previous = IconState::placeholder();
        else if (running->earlierState.is(IconState::Kind::applied))
            previous = IconState::applied();
        m_undoStack.push(new ImageChoice(tr("New Icon for %1").arg(quoted(folder->name())), folder, before, previous));
        folder->setLastGeneratedAt(QDateTime::currentDateTime());
        showToast(Toast::Kind::success, tr("Icon ready for %1").arg(quoted(folder->name())));
        endGeneration(id, Ending::succeeded);
        return;
    } catch (const GenerationError &error) {
        failure = error.description();
        kind = failureOf(error);
    } catch (const std::exception &error) {
        failure = QString::fromLocal8Bit(error.what());
    } catch (...) {
        failure = tr("Unknown error");
    }
    folder->setIconState(IconState::failed(GenerationError::cutText(failure, 4 * GenerationError::maxServerTextLength), kind));
    showToast(Toast::Kind::error, tr("Generation failed for %1").arg(quoted(folder->name())));
    endGeneration(id, Ending::failed);
}

void AppState::endGeneration(const QUuid &id, Ending ending)
{
    RunningGeneration run = m_running.take(id);
    run.done->finish();
    m_runSummary.longest = std::max(m_runSummary.longest, std::chrono::milliseconds(run.clock.elapsed()));
    switch (ending) {
    case Ending::succeeded:
        ++m_runSummary.succeeded;
        break;
    case Ending::failed:
        ++m_runSummary.failed;
        m_runSummary.failedFolderIDs.append(id);
        break;
    case Ending::stopped:
        ++m_runSummary.stopped;
        break;
    }
    ++m_runEnded;
    if (!m_running.isEmpty()) {
        Q_EMIT generationProgressChanged();
        return;
    }
    // The run is over: nothing shows while idle.
    const GenerationRunSummary summary = std::exchange(m_runSummary, {});
    m_runTotal = m_runEnded = 0;
    Q_EMIT generationProgressChanged();
    Q_EMIT generationRunEnded(summary);
}

int AppState::stop(const QList<QUuid> &ids)
{
    int stopped = 0;
    int aborted = 0;
    for (const QUuid &id : ids) {
        const auto running = m_running.constFind(id);
        if (running == m_running.cend())
            continue;
        // Copied: putting the folder back notifies its views, which may start other generations.
        const RunningGeneration run = *running;
        run.folder->setGeneratedImage(run.earlierImage);
        run.folder->setIconState(run.earlierState);
        // One still waiting for its folder's content has nothing at OpenRouter to abort.
        if (run.sent) {
            QFuture<GeneratedIcon> request = run.request;
            request.cancel();
            ++aborted;
        }
        endGeneration(id, Ending::stopped);
        ++stopped;
    }
    if (aborted > 0)
        ImageGenerationService::shared().abortCanceled();
    return stopped;
}

int AppState::stopGenerating(bool quietly)
{
    const int stopped = stop(m_running.keys());
    // Stopped requests may already have been started at OpenRouter, so nothing says they are free.
    if (stopped > 0 && !quietly)
        showToast(Toast::Kind::info, stopped == 1 ? tr("Stopped 1 generation") : tr("Stopped %n generations", nullptr, stopped));
    return stopped;
}

bool AppState::stopGeneration(const QUuid &id)
{
    return stop({id}) > 0;
}

QFuture<void> AppState::generateAll(const QList<QUuid> &ids)
{
    // Without a key nothing starts; the entry points have asked for one already.
    if (!KeychainService::shared().load())
        return QtFuture::makeReadyFuture();
    QList<QFuture<void>> generations;
    QList<FolderItemPtr> started;
    qsizetype vanished = 0;
    generations.reserve(ids.size());
    for (const QUuid &id : ids) {
        const FolderItemPtr item = folder(id);
        if (!item || item->iconState().is(IconState::Kind::generating))
            continue;
        if (!isPresent(*item)) {
            ++vanished;
            continue;
        }
        // Noted before it starts: a quick answer may already be written when generateIcon returns.
        started.append(item);
        generations.append(generateIcon(id, false));
    }
    if (vanished > 0)
        showToast(Toast::Kind::error, vanished == 1 ? tr("1 listed folder is no longer there: skipped")
                                                    : tr("%n listed folders are no longer there: skipped", nullptr, int(vanished)));
    if (generations.isEmpty())
        return QtFuture::makeReadyFuture();
    return QtFuture::whenAll(generations.begin(), generations.end()).then(this, [this, started](const QList<QFuture<void>> &) {
        if (started.size() > 1) {
            showBatchOutcome(started);
            // What the batch spent is taken off the key: the next question before a batch says so.
            // Runs without a window (transient preferences) ask no questions.
            if (m_preferences == Preferences::stored)
                refreshKeyCredit();
        }
    });
}

void AppState::showBatchOutcome(const QList<FolderItemPtr> &batch)
{
    qsizetype generated = 0;
    double cost = 0;
    bool costKnown = true;
    for (const FolderItemPtr &item : batch) {
        if (!item->iconState().is(IconState::Kind::generated))
            continue;
        ++generated;
        if (const std::optional<double> itemCost = item->generationCost())
            cost += *itemCost;
        else
            costKnown = false;
    }
    if (generated == 0) {
        showToast(Toast::Kind::error, tr("Generation failed for %n folders", nullptr, int(batch.size())));
    } else if (generated < batch.size()) {
        showToast(Toast::Kind::error, tr("Generated %1 of %n icons — some failed", nullptr, int(batch.size())).arg(generated));
    } else {
        // The sum only when every icon's cost is known: a partial sum would understate it.
        const QString message = costKnown ? tr("Generated %n icons (%1)", nullptr, int(generated)).arg(dollars(cost))
                                          : tr("Generated %n icons", nullptr, int(generated));
        showToast(Toast::Kind::success, message);
    }
}

std::optional<QList<QUuid>> AppState::admitBatch(const QList<QUuid> &ids)
{
    QList<QUuid> admitted;
    admitted.reserve(ids.size());
    for (const QUuid &id : ids) {
        const FolderItemPtr item = folder(id);
        if (item && !item->iconState().is(IconState::Kind::generating) && !admitted.contains(id))
            admitted.append(id);
    }
    if (admitted.size() > largeBatchThreshold && m_asksBeforeLargeBatches && m_batchConfirmer
        && !m_batchConfirmer(estimateBatch(admitted.size())))
        return std::nullopt;
    if (!admitted.isEmpty() && !KeychainService::shared().load()) {
        askForKey(admitted);
        return std::nullopt;
    }
    return admitted;
}

void AppState::askForKey(const QList<QUuid> &ids)
{
    // Runs that leave the user's settings alone have no window to ask in.
    if (m_preferences == Preferences::transient)
        return;
    for (const QUuid &id : ids) {
        if (!m_awaitingKey.contains(id))
            m_awaitingKey.append(id);
    }
    setShowOnboarding(true);
}

AppState::BatchEstimate AppState::estimateBatch(qsizetype count) const
{
    BatchEstimate estimate;
    estimate.count = count;
    estimate.model = QString::fromLatin1(m_useFastModel ? OpenRouterProtocol::fastModelId
                                                        : OpenRouterProtocol::qualityModelId);
    double known = 0;
    qsizetype knownCount = 0;
    for (const FolderItemPtr &item : m_folders) {
        if (const std::optional<double> cost = item->generationCost()) {
            known += *cost;
            ++knownCount;
        }
    }
    if (knownCount > 0)
        estimate.estimatedCost = known / double(knownCount) * double(count);
    estimate.creditLeft = m_keyCreditLeft;
    return estimate;
}

QFuture<void> AppState::regenerate(const QList<QUuid> &ids)
{
    const std::optional<QList<QUuid>> admitted = admitBatch(ids);
    return admitted ? generateAll(*admitted) : QtFuture::makeReadyFuture();
}

QFuture<void> AppState::generateSelectedIcons()
{
    QList<QUuid> ids;
    for (const FolderItemPtr &item : selectedFolders())
        ids.append(item->id());
    return regenerate(ids);
}

QFuture<void> AppState::regenerateAll()
{
    // Runs may overlap (the second skips what the first is generating): the flag stays up until both end.
    ++m_regenerateAllRuns;
    setRegeneratingAll(true);
    QList<QUuid> ids;
    ids.reserve(m_folders.size());
    for (const FolderItemPtr &item : std::as_const(m_folders))
        ids.append(item->id());

    const auto finished = [this] {
        if (--m_regenerateAllRuns == 0)
            setRegeneratingAll(false);
    };
    QFuture<void> batch = regenerate(ids);
    if (batch.isFinished()) {
        finished();
        return batch;
    }
    return batch.then(this, finished);
}

void AppState::commitPromptEdit(const QUuid &id, const QString &before)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder || folder->customPrompt() == before)
        return;
    m_undoStack.push(new PromptEdit(tr("Edit Prompt of %1").arg(quoted(folder->name())), folder, before));
}

bool AppState::useHistoryImage(const QUuid &id, qsizetype index)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder || folder->iconState().is(IconState::Kind::generating))
        return false;
    const IconHistoryEntry before = folder->currentEntry();
    const IconState beforeState = folder->iconState();
    if (!folder->makeHistoryEntryCurrent(index))
        return false;
    folder->setIconState(IconState::generated());
    m_undoStack.push(new ImageChoice(tr("Earlier Icon for %1").arg(quoted(folder->name())), folder, before, beforeState));
    return true;
}

// --- Applying and resetting ---------------------------------------------------------------------

QFuture<FolderIconOutcome> AppState::queueIconWork(const FolderItemPtr &folder, const IconHistoryEntry &image,
                                                   const std::shared_ptr<IconHistoryEntry> &shownBefore)
{
    const quint64 serial = m_nextIconWork++;
    // Applying needs only the PNG: an earlier image not read yet is applied from its file.
    QFuture<FolderIconOutcome> work = image.isNone() ? m_worker->reset(folder->url())
                                                     : m_worker->apply(image.applicableImage(), folder->url());
    auto done = std::make_shared<QPromise<FolderIconOutcome>>();
    done->start();
    IconWork entry;
    entry.deliver = [folder, image, work, done, shownBefore] {
        const FolderIconOutcome outcome = work.result();
        // Every earlier apply or reset of the folder is written by now: what it showed right before this one.
        if (shownBefore)
            *shownBefore = shownImage(*folder);
        recordIconOutcome(*folder, image, outcome);
        done->addResult(outcome);
        done->finish();
    };
    m_iconWork.emplace(serial, std::move(entry));
    // A new batch starts counting when none is left of the last one.
    if (m_iconWorkRunning == 0)
        m_iconWorkTotal = 0;
    ++m_iconWorkRunning;
    ++m_iconWorkTotal;
    Q_EMIT iconWorkProgressChanged();
    // Comes back on this thread; after this object is gone, finishFolderWork has written it already.
    work.then(this, [this, serial](const FolderIconOutcome &) { deliverIconWork(serial); });
    return done->future();
}

void AppState::deliverIconWork(quint64 serial)
{
    auto node = m_iconWork.extract(serial);
    if (node.empty())
        return; // written already, by finishFolderWork
    --m_iconWorkRunning;
    node.mapped().deliver();
    Q_EMIT iconWorkProgressChanged();
}

void AppState::finishFolderWork()
{
    m_worker->waitForDone();
    while (!m_iconWork.empty())
        deliverIconWork(m_iconWork.begin()->first);
    for (const QUuid &id : m_analysing.keys())
        finishAnalysis(id);
}

QFuture<bool> AppState::applyIcon(const QUuid &id, bool notify)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder || folder->generatedImage().isNull())
        return QtFuture::makeReadyFuture(false);
    // Its image is the one being replaced: applying it now would apply the old icon.
    if (folder->iconState().is(IconState::Kind::generating)) {
        if (notify)
            showToast(Toast::Kind::info, tr("%1 is still generating").arg(quoted(folder->name())));
        return QtFuture::makeReadyFuture(false);
    }
    return applyCurrentImages({folder}, notify, std::nullopt).then([](const QList<bool> &applied) {
        return applied.value(0, false);
    });
}

QFuture<void> AppState::applySelectedIcons()
{
    QList<FolderItemPtr> targets = selectedFolders();
    targets.removeIf([](const FolderItemPtr &item) { return item->generatedImage().isNull(); });
    const qsizetype skipped =
        targets.removeIf([](const FolderItemPtr &item) { return item->iconState().is(IconState::Kind::generating); });
    // Said after the summary, so the user knows those folders keep their icons for now.
    const QString skippedNote = skipped == 0 ? QString() : tr(" — %n still generating, skipped", nullptr, int(skipped));
    if (targets.isEmpty()) {
        showToast(Toast::Kind::info, tr("No generated icons to apply yet") + skippedNote);
        return QtFuture::makeReadyFuture();
    }
    return applyCurrentImages(targets, true, skippedNote).then([](const QList<bool> &) {});
}

QFuture<QList<bool>> AppState::applyCurrentImages(const QList<FolderItemPtr> &targets, bool notify,
                                                  const std::optional<QString> &selectionNote)
{
    QList<QFuture<FolderIconOutcome>> work;
    QList<IconChange::Shown> shown;
    QList<std::shared_ptr<IconHistoryEntry>> before;
    for (const FolderItemPtr &target : targets) {
        shown.append({target, {}, target->currentEntry()});
        before.append(std::make_shared<IconHistoryEntry>());
        work.append(queueIconWork(target, target->currentEntry(), before.constLast()));
    }
    return QtFuture::whenAll(work.begin(), work.end())
        .then(this, [this, shown, before, notify, selectionNote](const QList<QFuture<FolderIconOutcome>> &ended) {
            const QList<FolderIconOutcome> outcomes = resultsOf(ended);
            QList<bool> applied;
            QList<IconChange::Shown> changed;
            for (qsizetype i = 0; i < outcomes.size(); ++i) {
                applied.append(outcomes.at(i).applied.applied());
                if (applied.constLast()) {
                    changed.append(shown.at(i));
                    changed.last().before = *before.at(i);
                }
            }
            if (!changed.isEmpty()) {
                const QString step = changed.size() == 1 ? tr("Apply Icon to %1").arg(quoted(changed.constFirst().folder->name()))
                                                         : tr("Apply %n Icons", nullptr, int(changed.size()));
                m_undoStack.push(new IconChange(step, this, changed));
            }
            if (!notify)
                return applied;
            const QString name = shown.constFirst().folder->name();
            if (!selectionNote) {
                // One folder, from its own Apply.
                const FolderIconOutcome &outcome = outcomes.constFirst();
                if (outcome.iconFileMissing)
                    showToast(Toast::Kind::error, iconFileMissingMessage(name));
                else if (!outcome.applied.applied())
                    showToast(Toast::Kind::error, tr("Couldn’t apply icon to %1").arg(quoted(name)));
                else if (outcome.applied.partial())
                    showToast(Toast::Kind::warning, outcome.applied.warning());
                else
                    showToast(Toast::Kind::success, tr("Icon applied to %1").arg(quoted(name)));
                return applied;
            }
            showApplyOutcome(outcomes, name, *selectionNote);
            return applied;
        });
}

void AppState::showApplyOutcome(const QList<FolderIconOutcome> &outcomes, const QString &firstName,
                                const QString &skippedNote)
{
    const qsizetype total = outcomes.size();
    // Alone, a folder whose icon file has vanished says so; in a batch it counts as failed.
    if (total == 1 && outcomes.constFirst().iconFileMissing) {
        showToast(Toast::Kind::error, iconFileMissingMessage(firstName));
        return;
    }
    qsizetype succeeded = 0;
    qsizetype partial = 0; // applied, but not shown by every file manager
    QString warning;
    for (const FolderIconOutcome &outcome : outcomes) {
        succeeded += outcome.applied.applied() ? 1 : 0;
        partial += outcome.applied.partial() ? 1 : 0;
        if (outcome.applied.partial())
            warning = outcome.applied.warning();
    }

    if (succeeded == total && total == 1 && partial > 0)
        showToast(Toast::Kind::warning, warning + skippedNote);
    else if (succeeded == total && total == 1)
        showToast(Toast::Kind::success, tr("Icon applied to %1").arg(quoted(firstName)) + skippedNote);
    else if (succeeded == total && partial > 0)
        showToast(Toast::Kind::warning,
                  tr("Applied %n folder icons — %1 will not show in every file manager", nullptr, int(succeeded)).arg(partial)
                      + skippedNote);
    else if (succeeded == total)
        showToast(Toast::Kind::success, tr("Applied %n folder icons", nullptr, int(succeeded)) + skippedNote);
    else if (partial > 0)
        showToast(Toast::Kind::error, tr("Applied %1 of %n icons — some failed, %2 will not show in every file manager", nullptr, int(total))
                                          .arg(succeeded).arg(partial) + skippedNote);
    else
        showToast(Toast::Kind::error,
                  tr("Applied %1 of %n icons — some failed", nullptr, int(total)).arg(succeeded) + skippedNote);
}

QFuture<bool> AppState::resetIcon(const QUuid &id)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder || folder->generatedImage().isNull() || folder->iconState().is(IconState::Kind::generating))
        return QtFuture::makeReadyFuture(false);
    const auto shownBefore = std::make_shared<IconHistoryEntry>();
    return queueIconWork(folder, {}, shownBefore).then(this, [this, folder, shownBefore](const FolderIconOutcome &outcome) {
        const IconHistoryEntry before = *shownBefore;
        // When something of ours could not be taken off the folder, the folder still shows our icon:
        // its state stays as it is, and the user hears why.
        if (!outcome.resetClean) {
            showToast(Toast::Kind::error, tr("Could not fully reset the icon of %1").arg(quoted(folder->name())));
            return false;
        }
        if (!before.isNone())
            m_undoStack.push(new IconChange(tr("Reset Icon of %1").arg(quoted(folder->name())), this,
                                            {{folder, before, IconHistoryEntry()}}));
        return true;
    });
}

QFuture<void> AppState::showIcons(const QList<ShownIcon> &icons, const QString &failure)
{
    QList<QFuture<FolderIconOutcome>> work;
    for (const ShownIcon &icon : icons)
        work.append(queueIconWork(icon.folder, icon.image));
    if (work.isEmpty())
        return QtFuture::makeReadyFuture();
    return QtFuture::whenAll(work.begin(), work.end())
        .then(this, [this, icons, failure](const QList<QFuture<FolderIconOutcome>> &ended) {
            const QList<FolderIconOutcome> outcomes = resultsOf(ended);
            qsizetype unchanged = 0;
            QString vanished;
            QString missing;
            for (qsizetype i = 0; i < outcomes.size(); ++i) {
                const FolderIconOutcome &outcome = outcomes.at(i);
                // A folder gone from disk shows nothing: the step could not give it back what it showed.
                const bool done = icons.at(i).image.isNone() ? outcome.resetClean : outcome.applied.applied();
                if (done && outcome.folderFound)
                    continue;
                ++unchanged;
                if (!outcome.folderFound)
                    vanished = icons.at(i).folder->name();
                else if (outcome.iconFileMissing)
                    missing = icons.at(i).folder->name();
            }
            if (unchanged == 1 && !vanished.isEmpty())
                showToast(Toast::Kind::error, tr("%1: %2 no longer exists").arg(failure, quoted(vanished)));
            else if (unchanged == 1 && !missing.isEmpty())
                showToast(Toast::Kind::error, tr("%1: the icon file of %2 is missing").arg(failure, quoted(missing)));
            else if (unchanged > 0)
                showToast(Toast::Kind::error,
                          tr("%1: %2 of %n folders were not changed", nullptr, int(outcomes.size()))
                              .arg(failure, QString::number(unchanged)));
        });
}

// --- The Desktop switch -------------------------------------------------------------------------

QUrl AppState::watchedRootURL()
{
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty())
        desktop = QDir::homePath() + QStringLiteral("/Desktop");
    if (!desktop.endsWith(u'/'))
        desktop.append(u'/');
    return QUrl::fromLocalFile(desktop);
}

void AppState::setWatcherReportDelay(std::chrono::milliseconds delay)
{
    m_watcherReportDelay = delay;
    if (m_rootWatcher)
        m_rootWatcher->setReportDelay(delay);
}

void AppState::startRootWatcher()
{
    stopRootWatcher();
    QPointer<AppState> self(this);
    auto watcher = std::make_unique<FolderWatcher>(watchedRootURL(), [self](const QList<QUrl> &urls) {
        if (self)
            self->handleAutoDetectedFolders(urls);
    });
    watcher->setRenameCallback([self](const QUrl &from, const QUrl &to) {
        return self && self->followRenamedFolder(from, to);
    });
    watcher->setReportDelay(m_watcherReportDelay);
    watcher->start();
    m_rootWatcher = std::move(watcher);
}

void AppState::stopRootWatcher()
{
    if (!m_rootWatcher)
        return;
    m_rootWatcher->stop();
    // Releasing the watcher drops the reports still pending in it.
    m_rootWatcher.reset();
}

void AppState::handleAutoDetectedFolders(const QList<QUrl> &reported)
{
    // A folder still under a file manager's default name is about to be renamed: waiting for the
    // rename keeps it from being paid for twice, once under each name. The rename is reported as
    // a new folder of its own; a name kept for the whole hold is taken as meant.
    QList<QUrl> urls;
    for (const QUrl &url : reported) {
        // Listed already (added by hand, or a name the list still holds): never paid for again unasked.
        if (listedFolder(url))
            continue;
        if (isDefaultFolderName(folderDisplayName(url)))
            holdDefaultName(url);
        else
            urls.append(url);
    }
    if (urls.isEmpty())
        return;

    // Many at once (an archive unpacked, a folder of folders moved in): listed, not paid for unasked.
    if (urls.size() > DesktopBurstLimit) {
        addFolders(urls);
        showToast(Toast::Kind::info,
                  tr("%n new folders on the Desktop: select them and press Ctrl+R to generate their icons", nullptr,
                     int(urls.size())));
        return;
    }

    addFolders(urls);
    for (const QUrl &url : urls) {
        const auto found = std::find_if(m_folders.cbegin(), m_folders.cend(),
                                        [&url](const FolderItemPtr &item) { return item->url() == url; });
        if (found == m_folders.cend())
            continue;
        const FolderItemPtr folder = *found;
        showToast(Toast::Kind::info,
                  tr("New folder %1 — generating icon…").arg(quoted(folder->name())));

        const QUuid id = folder->id();
        generateIcon(id, false).then(this, [this, folder, id] {
            if (folder->iconState() == IconState::generated())
                applyIcon(id, true);
        });
    }
}

bool AppState::followRenamedFolder(const QUrl &from, const QUrl &to)
{
    const FolderItemPtr folder = listedFolder(from);
    // Not ours: under its new name it is a new folder like any other (a held default name, say).
    if (!folder)
        return false;
    // Renamed onto a name the list holds: like any duplicate, that folder is not listed twice.
    if (listedFolder(to))
        return true;
    folder->setUrl(to);
    // The automatic prompt is made from the name and category when it is needed; a typed one stays.
    folder->setDetectedCategory(CategoryDetector::detect(to));
    // No new generation: the icon it shows goes along with it, moved on the icon worker after any
    // apply or reset of the folder still queued there.
    m_worker->followRename(from, to).then(this, [this, folder](bool followed) {
        if (followed || folder->iconState() != IconState::applied())
            return;
        folder->setIconState(IconState::generated());
        showToast(Toast::Kind::warning,
                  tr("The icon of %1 could not follow its new name: apply it again").arg(quoted(folder->name())));
    });
    return true;
}

void AppState::holdDefaultName(const QUrl &url)
{
    const QString path = QDir::cleanPath(url.toLocalFile());
    QPointer<FolderWatcher> watcher(m_rootWatcher.get());
    QTimer::singleShot(m_defaultNameHold, Qt::CoarseTimer, this, [this, url, path, watcher] {
        // Only while the same watcher runs, and only when the folder still has that name.
        if (!watcher || watcher != m_rootWatcher.get() || !QFileInfo(path).isDir())
            return;
        handleHeldFolder(url);
    });
}

void AppState::handleHeldFolder(const QUrl &url)
{
    addFolders({url});
    const auto found = std::find_if(m_folders.cbegin(), m_folders.cend(),
                                    [&url](const FolderItemPtr &item) { return item->url() == url; });
    if (found == m_folders.cend())
        return;
    const FolderItemPtr folder = *found;
    showToast(Toast::Kind::info, tr("New folder %1 — generating icon…").arg(quoted(folder->name())));
    const QUuid id = folder->id();
    generateIcon(id, false).then(this, [this, folder, id] {
        if (folder->iconState() == IconState::generated())
            applyIcon(id, true);
    });
}
