#include "state/app_state.h"
#include "state/folder_removal.h"
#include "state/image_choice.h"

#include "models/notifying_assign.h"
#include "content/category_detector.h"
#include "content/folder_analyzer.h"
#include "desktop/folder_icon_service.h"
#include "desktop/folder_watcher.h"
#include "openrouter/generation_error.h"
#include "openrouter/image_generation_service.h"
#include "openrouter/open_router_protocol.h"
#include "keys/keychain_service.h"
#include "content/prompt_builder.h"

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

// Applies the folder's generated icon, its PNG read once from the session file that keeps it, and records
// the outcome on the folder. A partial apply (some file managers will not show it) still counts as applied.
// When that file has vanished nothing is tried (nullopt): the folder keeps its renditions and state.
std::optional<FolderIconService::ApplyResult> applyGeneratedIcon(FolderItem &folder)
{
    const IconImage image = folder.generatedImage().withPngInMemory();
    if (image.isNull())
        return std::nullopt;
    const FolderIconService::ApplyResult result = FolderIconService::applyIcon(image, folder.url());
    if (result.applied()) {
        folder.markApplied(true);
        folder.setIconState(IconState::applied());
    } else {
        folder.setIconState(IconState::failed(AppState::tr("Failed to apply icon to folder")));
    }
    return result;
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

QString dollars(double amount)
{
    return QStringLiteral("$") + QString::number(amount, 'f', 2);
}

} // namespace

bool AppState::isDefaultFolderName(const QString &name)
{
    // Nautilus, Nemo, Caja, Dolphin, Thunar and PCManFM-Qt, optionally numbered ("Untitled Folder 2").
    static const QRegularExpression pattern(QStringLiteral("^(Untitled Folder|untitled folder|New Folder|New folder)( \\(?\\d+\\)?)?$"));
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

void AppState::addFolders(const QList<QUrl> &urls)
{
    QList<FolderItemPtr> folders = m_folders;
    for (const QUrl &url : urls) {
        // Only directory URLs, by their form: the file system is not asked here.
        if (!url.path().endsWith(u'/'))
            continue;
        const bool listed = std::any_of(folders.cbegin(), folders.cend(),
                                        [&url](const FolderItemPtr &item) { return item->url() == url; });
        if (listed)
            continue;

        FolderItemPtr item = FolderItem::create(url, CategoryDetector::detect(url));
        const FolderAnalyzer::Analysis analysis = FolderAnalyzer::analyze(url);
        item->setFileCount(analysis.fileCount);
        item->setTopFiles(analysis.topFiles);
        item->setFolderSizeBytes(analysis.totalBytes);
        folders.append(item);
    }
    setFolders(folders);
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
    const std::optional<QString> apiKey = KeychainService::shared().load();
    if (!apiKey) {
        if (askForKey)
            this->askForKey({id});
        return QtFuture::makeReadyFuture();
    }

    const QString prompt = composePrompt(*folder);
    RunningGeneration run;
    run.folder = folder;
    run.serial = m_nextSerial++;
    run.earlierState = folder->iconState();
    run.earlierImage = folder->generatedImage();
    run.model = QString::fromLatin1(m_useFastModel ? OpenRouterProtocol::fastModelId : OpenRouterProtocol::qualityModelId);
    run.prompt = prompt;
    run.done = std::make_shared<QPromise<void>>();
    run.done->start();
    run.clock.start();
    run.request = ImageGenerationService::shared().generateIcon(prompt, *apiKey, m_useFastModel);

    // The watcher belongs to this object and reports on its thread: an outcome arriving after the
    // generation was stopped, or after this object is gone, reaches nobody.
    auto *watcher = new QFutureWatcher<GeneratedIcon>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, id, serial = run.serial] {
        watcher->deleteLater();
        finishGeneration(id, serial, watcher->future());
    });
    watcher->setFuture(run.request);

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
    return done;
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
        const qint64 before = folder->generatedImage().cacheKey();
        folder->makeCurrent(IconHistoryEntry{image, QString(), QDateTime(), running->model, running->prompt, false});
        folder->setIconState(IconState::generated());
        // Undone, the folder has its previous image back, applied if it was and still shows it.
        IconState previous = IconState::generated();
        if (!before)
            previous = IconState::placeholder();
        else if (running->earlierState.is(IconState::Kind::applied))
            previous = IconState::applied();
        m_undoStack.push(new ImageChoice(tr("New Icon for %1").arg(quoted(folder->name())), folder, before, previous));
        folder->setGenerationCost(icon.cost);
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
    for (const QUuid &id : ids) {
        const auto running = m_running.constFind(id);
        if (running == m_running.cend())
            continue;
        const RunningGeneration &run = *running;
        run.folder->setGeneratedImage(run.earlierImage);
        run.folder->setIconState(run.earlierState);
        QFuture<GeneratedIcon> request = run.request;
        request.cancel();
        endGeneration(id, Ending::stopped);
        ++stopped;
    }
    if (stopped > 0)
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
    generations.reserve(ids.size());
    for (const QUuid &id : ids) {
        const FolderItemPtr item = folder(id);
        if (!item || item->iconState().is(IconState::Kind::generating))
            continue;
        // Noted before it starts: a quick answer may already be written when generateIcon returns.
        started.append(item);
        generations.append(generateIcon(id, false));
    }
    if (generations.isEmpty())
        return QtFuture::makeReadyFuture();
    return QtFuture::whenAll(generations.begin(), generations.end()).then(this, [this, started](const QList<QFuture<void>> &) {
        if (started.size() > 1)
            showBatchOutcome(started);
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

bool AppState::applyIcon(const QUuid &id, bool notify)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder || folder->generatedImage().isNull())
        return false;
    // Its image is the one being replaced: applying it now would apply the old icon.
    if (folder->iconState().is(IconState::Kind::generating)) {
        if (notify)
            showToast(Toast::Kind::info, tr("%1 is still generating").arg(quoted(folder->name())));
        return false;
    }

    const std::optional<FolderIconService::ApplyResult> result = applyGeneratedIcon(*folder);
    if (!result) {
        if (notify)
            showToast(Toast::Kind::error, iconFileMissingMessage(folder->name()));
        return false;
    }
    if (!result->applied()) {
        if (notify)
            showToast(Toast::Kind::error, tr("Couldn’t apply icon to %1").arg(quoted(folder->name())));
        return false;
    }
    if (notify && result->partial())
        showToast(Toast::Kind::warning, result->warning());
    else if (notify)
        showToast(Toast::Kind::success, tr("Icon applied to %1").arg(quoted(folder->name())));
    return true;
}

bool AppState::useHistoryImage(const QUuid &id, qsizetype index)
{
    const FolderItemPtr folder = this->folder(id);
    if (!folder || folder->iconState().is(IconState::Kind::generating))
        return false;
    const qint64 before = folder->generatedImage().cacheKey();
    const IconState beforeState = folder->iconState();
    if (!folder->makeHistoryEntryCurrent(index))
        return false;
    folder->setIconState(IconState::generated());
    m_undoStack.push(new ImageChoice(tr("Earlier Icon for %1").arg(quoted(folder->name())), folder, before, beforeState));
    return true;
}

void AppState::applySelectedIcons()
{
    QList<FolderItemPtr> targets = selectedFolders();
    targets.removeIf([](const FolderItemPtr &item) { return item->generatedImage().isNull(); });
    const qsizetype skipped =
        targets.removeIf([](const FolderItemPtr &item) { return item->iconState().is(IconState::Kind::generating); });
    // Said after the summary, so the user knows those folders keep their icons for now.
    const QString skippedNote = skipped == 0 ? QString() : tr(" — %n still generating, skipped", nullptr, int(skipped));
    if (targets.isEmpty()) {
        showToast(Toast::Kind::info, tr("No generated icons to apply yet") + skippedNote);
        return;
    }

    qsizetype succeeded = 0;
    qsizetype partial = 0; // applied, but not shown by every file manager
    QString warning;
    for (const FolderItemPtr &target : std::as_const(targets)) {
        const std::optional<FolderIconService::ApplyResult> result = applyGeneratedIcon(*target);
        if (!result) {
            // Its icon file has vanished: alone, it says so; in a batch it counts as failed.
            if (targets.size() == 1) {
                showToast(Toast::Kind::error, iconFileMissingMessage(target->name()));
                return;
            }
            continue;
        }
        succeeded += result->applied() ? 1 : 0;
        partial += result->partial() ? 1 : 0;
        if (result->partial())
            warning = result->warning();
    }

    if (succeeded == targets.size() && targets.size() == 1 && partial > 0)
        showToast(Toast::Kind::warning, warning + skippedNote);
    else if (succeeded == targets.size() && targets.size() == 1)
        showToast(Toast::Kind::success,
                  tr("Icon applied to %1").arg(quoted(targets.constFirst()->name())) + skippedNote);
    else if (succeeded == targets.size() && partial > 0)
        showToast(Toast::Kind::warning,
                  tr("Applied %n folder icons — %1 will not show in every file manager", nullptr, int(succeeded)).arg(partial)
                      + skippedNote);
    else if (succeeded == targets.size())
        showToast(Toast::Kind::success, tr("Applied %n folder icons", nullptr, int(succeeded)) + skippedNote);
    else if (partial > 0)
        showToast(Toast::Kind::error, tr("Applied %1 of %n icons — some failed, %2 will not show in every file manager", nullptr, int(targets.size()))
                                          .arg(succeeded).arg(partial) + skippedNote);
    else
        showToast(Toast::Kind::error,
                  tr("Applied %1 of %n icons — some failed", nullptr, int(targets.size())).arg(succeeded)
                      + skippedNote);
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
