#pragma once

#include "models/folder_item.h"
#include "models/theme_preset.h"
#include "models/toast.h"
#include "openrouter/image_generation_service.h"

#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QUuid>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class FolderWatcher;
class FolderWorker;
struct FolderIconOutcome;
template<typename T>
class QPromise;

/// @brief How a run of generations ended: from the first one started while none was running to
/// the moment none is left.
struct GenerationRunSummary
{
    int succeeded = 0;
    int failed = 0;
    int stopped = 0;
    /// The folders whose generation failed, in the order they ended.
    QList<QUuid> failedFolderIDs;
    /// The longest single generation of the run.
    std::chrono::milliseconds longest{0};

    int total() const { return succeeded + failed + stopped; }
};

/// @brief The application's one state object: folders, selection, preferences, toasts and workflows.
///
/// Lives on the main thread, and so do all its changes: network and image work run elsewhere and
/// their outcomes are written back here. Every property notifies only when its value changes.
class AppState final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppState)
    Q_PROPERTY(ThemePreset selectedTheme READ selectedTheme NOTIFY selectedThemeChanged)
    Q_PROPERTY(std::optional<Toast> activeToast READ activeToast NOTIFY activeToastChanged)
    Q_PROPERTY(QList<FolderItemPtr> folders READ folders NOTIFY foldersChanged)
    Q_PROPERTY(QSet<QUuid> selectedFolderIDs READ selectedFolderIDs WRITE setSelectedFolderIDs NOTIFY selectedFolderIDsChanged)
    Q_PROPERTY(ViewMode viewMode READ viewMode WRITE setViewMode NOTIFY viewModeChanged)
    Q_PROPERTY(bool isInspectorVisible READ isInspectorVisible WRITE setInspectorVisible NOTIFY isInspectorVisibleChanged)
    Q_PROPERTY(bool showOnboarding READ showOnboarding WRITE setShowOnboarding NOTIFY showOnboardingChanged)
    Q_PROPERTY(bool isRegeneratingAll READ isRegeneratingAll NOTIFY isRegeneratingAllChanged)
    Q_PROPERTY(bool maintainThemeConsistency READ maintainThemeConsistency WRITE setMaintainThemeConsistency NOTIFY maintainThemeConsistencyChanged)
    Q_PROPERTY(bool useFastModel READ useFastModel WRITE setUseFastModel NOTIFY useFastModelChanged)
    Q_PROPERTY(bool isWatchingRoot READ isWatchingRoot WRITE setWatchingRoot NOTIFY isWatchingRootChanged)
    Q_PROPERTY(int runningGenerationCount READ runningGenerationCount NOTIFY generationProgressChanged)
    Q_PROPERTY(int generationTotal READ generationTotal NOTIFY generationProgressChanged)
    Q_PROPERTY(int generationsEnded READ generationsEnded NOTIFY generationProgressChanged)
    Q_PROPERTY(int runningIconWorkCount READ runningIconWorkCount NOTIFY iconWorkProgressChanged)
    Q_PROPERTY(int iconWorkTotal READ iconWorkTotal NOTIFY iconWorkProgressChanged)
    Q_PROPERTY(int iconWorkEnded READ iconWorkEnded NOTIFY iconWorkProgressChanged)
    Q_PROPERTY(bool asksBeforeLargeBatches READ asksBeforeLargeBatches WRITE setAsksBeforeLargeBatches NOTIFY asksBeforeLargeBatchesChanged)

public:
    /// Shows a folder chooser and returns the chosen directory URLs (empty when cancelled).
    using FolderChooser = std::function<QList<QUrl>()>;

    /// What a batch of paid generations is about to cost, for the question asked before it.
    struct BatchEstimate
    {
        qsizetype count = 0;
        /// The model asked first.
        QString model;
        /// The count times the average of the costs known in the list; nothing when none is known.
        std::optional<double> estimatedCost;
        /// What the key had left at its last check; nothing when not known.
        std::optional<double> creditLeft;
    };
    /// Asks whether to start a large batch; true to go ahead.
    using BatchConfirmer = std::function<bool(const BatchEstimate &)>;
    /// Batches of more than this many paid generations are asked about first.
    static constexpr qsizetype largeBatchThreshold = 10;

    /// Where the two preferences live. `transient`: both start off, changes are never written, and
    /// the Desktop watcher is not started at construction (runs that must leave the user's settings alone).
    enum class Preferences { stored, transient };

    explicit AppState(QObject *parent = nullptr);
    explicit AppState(Preferences preferences, QObject *parent = nullptr);
    ~AppState() override;

    ThemePreset selectedTheme() const { return m_selectedTheme; }
    std::optional<Toast> activeToast() const { return m_activeToast; }
    QList<FolderItemPtr> folders() const { return m_folders; }
    QSet<QUuid> selectedFolderIDs() const { return m_selectedFolderIDs; }
    ViewMode viewMode() const { return m_viewMode; }
    bool isInspectorVisible() const { return m_isInspectorVisible; }
    bool showOnboarding() const { return m_showOnboarding; }
    bool isRegeneratingAll() const { return m_isRegeneratingAll; }
    bool maintainThemeConsistency() const { return m_maintainThemeConsistency; }
    bool useFastModel() const { return m_useFastModel; }
    bool isWatchingRoot() const { return m_isWatchingRoot; }
    /// Whether a batch above largeBatchThreshold is asked about first (the confirmer, when set).
    bool asksBeforeLargeBatches() const { return m_asksBeforeLargeBatches; }
    /// What the stored key had left at its last check (nothing when unknown or unlimited).
    std::optional<double> keyCreditLeft() const { return m_keyCreditLeft; }

    void setSelectedFolderIDs(const QSet<QUuid> &ids);
    void setViewMode(ViewMode mode);
    void setInspectorVisible(bool visible);
    void setShowOnboarding(bool show);
    /// Locks every prompt to the selected theme's style. Nothing in the window offers it yet; off by default.
    void setMaintainThemeConsistency(bool lock);
    /// Persisted on every assignment.
    void setUseFastModel(bool fast);
    /// Persisted on every assignment; then starts (or restarts) or stops the Desktop watcher, with a toast.
    void setWatchingRoot(bool watching);
    /// Persisted on every assignment.
    void setAsksBeforeLargeBatches(bool ask);
    void setKeyCreditLeft(const std::optional<double> &credit);
    /// Asks OpenRouter what the stored key has left (at start, and after each batch), quietly:
    /// keyCreditLeft() has the answer once it comes; a failed check leaves what was known.
    void refreshKeyCredit();

    /// The one selected folder, when exactly one is selected.
    FolderItemPtr selectedFolder() const;
    /// The selected folders, in list order.
    QList<FolderItemPtr> selectedFolders() const;
    FolderItemPtr folder(const QUuid &id) const;

    // Folders and selection.
    void setFolderChooser(FolderChooser chooser) { m_folderChooser = std::move(chooser); }
    void showOpenPanel();
    /// Lists the folders at once; their content (count, size, first files) is read on a worker and
    /// filled in when it answers, which the future waits for.
    QFuture<void> addFolders(const QList<QUrl> &urls);
    /// Whether the folder's content is still being read.
    bool isAnalysing(const QUuid &id) const { return m_analysing.contains(id); }
    /// Puts folders kept from an earlier run in front of the list, with their selection; folders
    /// already listed (by URL) are not put in twice.
    void restoreFolders(const QList<FolderItemPtr> &restored, const QSet<QUuid> &selection);
    /// Removes the folders as one undoable step.
    void removeFolder(const QUuid &id);
    void removeFolders(const QSet<QUuid> &ids);
    void removeSelectedFolders();
    /// Puts in a new list and selection at once; for undo steps, which redo what they recorded.
    void replaceFolders(const QList<FolderItemPtr> &folders, const QSet<QUuid> &selection);
    /// Edit ▸ Undo and Redo: every step that changes the folders (removal first of all).
    QUndoStack *undoStack() { return &m_undoStack; }
    /// Makes the folder's prompt edit since `before` one undoable step ("Edit Prompt of “Music”");
    /// nothing when the prompt is still `before`. The editor calls it when the user is done editing.
    void commitPromptEdit(const QUuid &id, const QString &before);
    /// Records gone from the list that an undo step can still bring back: their files must stay.
    QList<FolderItemPtr> heldFolders() const;
    /// Every image an undo step can still bring back or apply again, the removed folders' included: their
    /// files must stay on disk for as long as their steps are on the stack, even when no folder names them.
    QList<IconHistoryEntry> heldImages() const;
    /// Points the images Undo knows by their file alone (not read yet) where `moved` says those files are
    /// now, when it says so: for when the session's files move elsewhere.
    void followHeldFiles(const std::function<QString(const QString &)> &moved);
    void selectFolder(const QUuid &id, bool extending);
    void selectAll();
    void deselectAll();

    // Toasts.
    void showToast(Toast::Kind kind, const QString &message);
    /// How long a toast stays after its latest showToast (3 s by default).
    void setToastDuration(std::chrono::milliseconds duration);

    // Generation and apply. The futures finish on the main thread once every outcome is written.
    // Each entry point leaves alone a folder whose generation is running (one paid generation per
    // folder at a time), and without a stored key opens the key sheet, starting once a key is saved.
    // A folder whose content is still being read shows its generation running at once; the request
    // is sent when the content is known (the prompt describes it). Removed from the list before
    // then, the folder's generation stops and nothing is sent.
    QFuture<void> generateIcon(const QUuid &id);
    /// Several folders at once (the batch inspector): above largeBatchThreshold asked first.
    QFuture<void> regenerate(const QList<QUuid> &ids);
    QFuture<void> generateSelectedIcons();
    QFuture<void> regenerateAll();
    void setBatchConfirmer(BatchConfirmer confirmer) { m_batchConfirmer = std::move(confirmer); }
    /// The estimate the confirmer would be shown for `count` generations.
    BatchEstimate estimateBatch(qsizetype count) const;
    // Applying and resetting. The file work runs on a worker thread, one folder's in the order asked;
    // the folder records, toasts and the undo step follow when it is done, and the futures finish then
    // (true when the icon was applied, or when nothing of ours is left after a reset).
    QFuture<bool> applyIcon(const QUuid &id, bool notify);
    QFuture<void> applySelectedIcons();
    /// Gives the folder back what it showed before our first icon; says so when something of ours stays.
    QFuture<bool> resetIcon(const QUuid &id);
    /// What a folder should show: `image` applied (the current one or an earlier one, read or not, even
    /// one that has left the history since), or (none) none of our icons.
    struct ShownIcon
    {
        FolderItemPtr folder;
        IconHistoryEntry image;
    };
    /// For undo steps: applies or resets each folder, updating its record; when a folder has vanished,
    /// its icon file is missing or it refused, one toast starting with `failure` says so.
    QFuture<void> showIcons(const QList<ShownIcon> &icons, const QString &failure);
    /// Applies and resets queued or running, and where the current batch of them stands ("Applying 3 of 10").
    int runningIconWorkCount() const { return m_iconWorkRunning; }
    int iconWorkTotal() const { return m_iconWorkTotal; }
    int iconWorkEnded() const { return m_iconWorkTotal - m_iconWorkRunning; }
    /// Waits for every apply, reset and content read queued, and writes their outcomes to the folder
    /// records at once, so that a session saved next holds them (quitting: no toast or undo step follows).
    /// A generation that was waiting for a content read sends its request once the event loop runs
    /// again: quitting stops generations first.
    void finishFolderWork();
    /// Makes the folder's earlier image at `index` (of history()) its current image again, state
    /// `generated`; the current one goes into the history. False when there is no such image.
    bool useHistoryImage(const QUuid &id, qsizetype index);

    // Running generations. A run counts every generation started while another is still running;
    // it ends (generationRunEnded) when the last one does, and the counts go back to zero.
    int runningGenerationCount() const { return int(m_running.size()); }
    /// Generations started in the current run; 0 when none is running.
    int generationTotal() const { return m_runTotal; }
    /// Generations of the current run that have ended (done, failed or stopped).
    int generationsEnded() const { return m_runEnded; }
    bool isGenerating(const QUuid &id) const { return m_running.contains(id); }
    /// Stops every running generation: requests are aborted at once (those still waiting for their
    /// folder's content are never sent) and each folder goes back to the state and image it had before. Shows one toast unless `quietly`. Returns how many stopped.
    int stopGenerating(bool quietly = false);
    /// Stops this folder's generation, if one runs, the same way.
    bool stopGeneration(const QUuid &id);

    // The Desktop switch.
    /// The directory watched for new folders: the user's Desktop.
    static QUrl watchedRootURL();
    /// The watcher while watching is on; for tests (report delay) and diagnostics.
    FolderWatcher *rootWatcher() const { return m_rootWatcher.get(); }
    /// Delay that new watchers wait before reporting a folder (4 s by default).
    void setWatcherReportDelay(std::chrono::milliseconds delay);
    /// How long a new Desktop folder under a default name ("Untitled Folder", "New Folder", …)
    /// waits for its rename before it is taken as it is (2 minutes by default).
    void setDefaultNameHold(std::chrono::milliseconds hold) { m_defaultNameHold = hold; }
    /// A file manager's name for a folder it just made, optionally numbered; exact, case and all.
    static bool isDefaultFolderName(const QString &name);

Q_SIGNALS:
    void selectedThemeChanged();
    void activeToastChanged();
    void foldersChanged();
    void selectedFolderIDsChanged();
    void viewModeChanged();
    void isInspectorVisibleChanged();
    void showOnboardingChanged();
    void isRegeneratingAllChanged();
    void maintainThemeConsistencyChanged();
    void useFastModelChanged();
    void isWatchingRootChanged();
    void generationProgressChanged();
    void iconWorkProgressChanged();
    /// The last running generation ended; emitted after the folders and counts are updated.
    void generationRunEnded(const GenerationRunSummary &summary);
    void asksBeforeLargeBatchesChanged();
    void keyCreditLeftChanged();

private:
    void setFolders(const QList<FolderItemPtr> &folders);
    /// The listed record of the folder at `url` (compared as local paths), if any.
    FolderItemPtr listedFolder(const QUrl &url) const;
    void setActiveToast(const std::optional<Toast> &toast);
    void setRegeneratingAll(bool regenerating);
    QString composePrompt(const FolderItem &folder) const;
    QFuture<void> generateAll(const QList<QUuid> &ids);
    QFuture<void> generateIcon(const QUuid &id, bool askForKey);
    /// The ids of folders not generating now, or nothing when the user declined the batch or a
    /// key must be entered first.
    std::optional<QList<QUuid>> admitBatch(const QList<QUuid> &ids);
    void askForKey(const QList<QUuid> &ids);

    /// One generation in flight and what its folder had before it started. It waits for its folder's
    /// content read before anything is sent: until then `sent` is false and `request` is empty.
    struct RunningGeneration
    {
        FolderItemPtr folder;
        quint64 serial = 0;
        bool sent = false;
        /// Whether a key found missing when the request is due opens the key sheet.
        bool asksForKey = false;
        QFuture<GeneratedIcon> request;
        std::shared_ptr<QPromise<void>> done;
        IconState earlierState;
        IconImage earlierImage;
        QString model;  ///< the model asked first
        QString prompt; ///< the prompt sent, kept with the image that answers it
        QElapsedTimer clock;
    };
    enum class Ending { succeeded, failed, stopped };
    /// Sends the generation's request, now that its folder's content is known; nothing when it was
    /// stopped meanwhile (its folder removed, say).
    void sendRequest(const QUuid &id, quint64 serial);
    void finishGeneration(const QUuid &id, quint64 serial, const QFuture<GeneratedIcon> &request);
    /// Takes the generation out of the running ones, counts it and ends the run after the last one.
    void endGeneration(const QUuid &id, Ending ending);
    /// Cancels these generations' requests and puts their folders back; they count as stopped.
    int stop(const QList<QUuid> &ids);

    void startRootWatcher();
    void stopRootWatcher();
    void handleAutoDetectedFolders(const QList<QUrl> &reported);
    /// A listed Desktop folder was renamed: its record follows it. False when none is listed there.
    bool followRenamedFolder(const QUrl &from, const QUrl &to);
    void holdDefaultName(const QUrl &url);
    void handleHeldFolder(const QUrl &url);
    void showBatchOutcome(const QList<FolderItemPtr> &batch);

    /// Queues an apply of `image` (or a reset, for none) of the folder; the future finishes on this
    /// thread once the outcome is written to the record. `shownBefore`, when given, gets what the folder
    /// showed just before: after every apply or reset queued earlier, which the undo step must undo to.
    QFuture<FolderIconOutcome> queueIconWork(const FolderItemPtr &folder, const IconHistoryEntry &image,
                                             const std::shared_ptr<IconHistoryEntry> &shownBefore = nullptr);
    void deliverIconWork(quint64 serial);
    /// Applies the folders' current images as one batch and undo step. Without `selectionNote` toasts as the folder's own Apply; with it, as Apply Icons on the selection,
    /// the note said after the summary.
    QFuture<QList<bool>> applyCurrentImages(const QList<FolderItemPtr> &targets, bool notify,
                                            const std::optional<QString> &selectionNote);
    void showApplyOutcome(const QList<FolderIconOutcome> &outcomes, const QString &firstName, const QString &skippedNote);

    ThemePreset m_selectedTheme;
    std::optional<Toast> m_activeToast;
    QTimer m_toastDismissTimer;
    QList<FolderItemPtr> m_folders;
    QSet<QUuid> m_selectedFolderIDs;
    ViewMode m_viewMode = ViewMode::grid;
    bool m_isInspectorVisible = true;
    bool m_showOnboarding = false;
    bool m_isRegeneratingAll = false;
    bool m_maintainThemeConsistency = false;
    bool m_useFastModel = false;
    bool m_isWatchingRoot = false;
    bool m_asksBeforeLargeBatches = true;
    std::optional<double> m_keyCreditLeft;
    /// Counts credit checks, so that only the latest one's answer is kept.
    quint64 m_creditCheckSerial = 0;
    BatchConfirmer m_batchConfirmer;
    /// Folders whose generation waits for the key sheet: started once it is saved.
    QList<QUuid> m_awaitingKey;
    /// Regenerate-all runs still going: the flag stays up until the last one ends.
    int m_regenerateAllRuns = 0;
    Preferences m_preferences = Preferences::stored;
    std::unique_ptr<FolderWatcher> m_rootWatcher;
    std::chrono::milliseconds m_watcherReportDelay{4000};
    std::chrono::milliseconds m_defaultNameHold{std::chrono::minutes(2)};
    FolderChooser m_folderChooser;
    QUndoStack m_undoStack;

    QHash<QUuid, RunningGeneration> m_running;
    quint64 m_nextSerial = 1;
    int m_runTotal = 0;
    int m_runEnded = 0;
    GenerationRunSummary m_runSummary;

    /// One apply or reset on the worker, and what writes its outcome back here.
    struct IconWork
    {
        std::function<void()> deliver;
    };
    /// A folder's content read on the worker, and what writes it onto the record.
    struct Analysis
    {
        QFuture<void> work;
        std::function<void()> write;
    };
    /// Writes the folder's content once read, waiting for it if need be (only where blocking is harmless: quitting).
    void finishAnalysis(const QUuid &id);
    QHash<QUuid, Analysis> m_analysing;
    std::unique_ptr<FolderWorker> m_worker;
    std::map<quint64, IconWork> m_iconWork;
    quint64 m_nextIconWork = 1;
    int m_iconWorkRunning = 0;
    int m_iconWorkTotal = 0;
};
Q_DECLARE_METATYPE(GenerationRunSummary)
