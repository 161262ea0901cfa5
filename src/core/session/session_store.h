#pragma once

#include "models/folder_item.h"
#include "session/session_record.h"

#include <QHash>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>

class AppState;
class QTemporaryDir;

/// @brief Keeps the folder list across runs: folders, prompts, states and generated icons survive
/// quitting and crashes.
///
/// The session lives in `$XDG_DATA_HOME/com.tavrune.app/session/`: an index (`session.json`) and one PNG
/// per generated icon. Every file is replaced atomically, so a crash at any moment leaves the previous
/// session or the new one, whole. Writes are debounced and run on a worker thread of their own; an icon's
/// PNG is written once per new image, never again for changes elsewhere. Only one running instance owns
/// the session (a lock file); another one neither restores nor saves.
///
/// Runs without a window never create a store, so they neither read nor write the session.
class SessionStore final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionStore)
    Q_PROPERTY(bool isRememberingFolders READ isRememberingFolders WRITE setRememberingFolders NOTIFY isRememberingFoldersChanged)

public:
    enum class RestoreOutcome {
        restored,  ///< the stored folders are back; their images and disk checks follow on restoreFinished
        empty,     ///< nothing was stored
        discarded, ///< the stored session could not be read; kept as `session.json.bad`
        skipped,   ///< remembering is off, or another instance owns the session
    };

    /// Takes the session for this process when no other instance holds it. Watches `state` for changes.
    explicit SessionStore(AppState *state, QObject *parent = nullptr);
    /// Writes what changed since the last write and waits for the disk.
    ~SessionStore() override;

    /// `$XDG_DATA_HOME/com.tavrune.app/session`
    static QString directory();
    /// The info toast for a session that could not be read.
    static QString couldNotRestoreMessage();

    /// The setting "Remember Folders Between Sessions" (on unless the user turned it off).
    bool isRememberingFolders() const { return m_isRememberingFolders; }
    /// Persisted at once. Off deletes the stored session at once; on saves the current list soon.
    void setRememberingFolders(bool remember);
    /// False when another running instance owns the session: this one then never touches it.
    bool ownsSession() const { return m_lock != nullptr; }

    /// Puts the stored folders, selection and view mode into the state. Call once, before the window
    /// first paints: it reads only the index. Images, folder summaries and the checks against the disk
    /// (vanished folders, icons no longer applied) run off the UI thread and land one folder at a time.
    RestoreOutcome restore();
    /// True from a restore until every restored folder's image and disk check has landed.
    bool isRestoring() const { return m_pendingRestores > 0; }

    /// Writes now what changed and waits until it is on disk: quitting calls it.
    void flush();
    /// Changes are gathered for this long before a write (500 ms by default).
    void setWriteDelay(std::chrono::milliseconds delay) { m_writeTimer.setInterval(delay); }

Q_SIGNALS:
    void isRememberingFoldersChanged();
    /// Every restored folder has its image (or lost it) and its state checked against the disk.
    void restoreFinished();
    /// A write reached the disk.
    void saved();

private:
    struct Tracked
    {
        QPointer<FolderItem> record;
        /// The state to store: a running generation is stored as the state it started from.
        IconState persistedState;
        /// The PNG in the session directory holding the icon, and which image it holds.
        QString imageFile;
        qint64 imageKey = 0;
        /// Restored, the image is still being read: the file keeps its place meanwhile.
        bool imagePending = false;
        /// The file holding each image of the folder (current and history) by cacheKey, as last written.
        QHash<qint64, QString> files;
        /// The restored history as the index holds it, written back as it is until the record's
        /// history is made (FolderItem::isHistoryLoaded()).
        QJsonArray storedHistory;
    };
    struct Check;
    struct Restored;

    /// Remembering is on and this instance owns the session: the index is written.
    bool storesSession() const;
    /// Where icons' files go: the session directory, or a private one for this process while the
    /// session is not stored. Empty when neither can be had.
    QString imageDirectory();
    /// An icon whose PNG is the session file `fileName` gets a copy in the private directory and
    /// reads from it, before the session's files are deleted.
    void moveToPrivateDirectory(const IconImage &image, const QString &fileName);
    /// The history's files that are the session's get copies in the private directory, and the entries
    /// read from those.
    void moveHistoryToPrivateDirectory(FolderItem &record);
    /// Copies the session file `path` (and its renditions) to the private directory: the copy's path, or
    /// empty when it is not a session file or could not be copied.
    QString copyToPrivateDirectory(const QString &path);
    void syncTracked();
    void track(const FolderItemPtr &item, const IconState &persisted);
    void scheduleWrite();
    void writeNow();
    void writeFinished(bool ok, const QStringList &failedImages, bool storing);
    void startRestoreChecks(const QList<FolderItemPtr> &items);
    void applyCheck(const std::weak_ptr<FolderItem> &weak, const Check &check);
    void applyImage(const std::weak_ptr<FolderItem> &weak, IconImage image, bool fromRenditions);
    void restoreStepDone();
    /// Reads the history images of the one selected folder not read yet; those that cannot be read
    /// leave its history.
    void readSelectedHistory();
    void historyRead(const std::weak_ptr<FolderItem> &weak, const QHash<QString, IconImage> &images);
    void deleteStoredSession();

    QPointer<AppState> m_state;
    /// Icons' files while the session is not stored; deleted with the store.
    std::unique_ptr<QTemporaryDir> m_privateDirectory;
    std::unique_ptr<QLockFile> m_lock;
    bool m_isRememberingFolders = true;
    QHash<QUuid, Tracked> m_tracked;
    QTimer m_writeTimer;
    bool m_dirty = false;
    int m_pendingRestores = 0;
    /// One thread: writes reach the disk in the order they were taken.
    QThreadPool m_writer;
    /// The index last on disk, touched only by the writer thread: an unchanged list writes nothing.
    QByteArray m_lastIndex;
    /// Set while quitting or deleting the session: renditions still to be stored for an older session's
    /// icons are dropped rather than waited for.
    std::atomic<bool> m_skipRenditionUpgrades{false};
    /// The last write: files of removed folders that Undo could bring back are no longer kept.
    bool m_quitting = false;
    /// Reads the restored folders' images and checks them against the disk; declared last, so it is
    /// waited for before anything its work reports to goes.
    QThreadPool m_reader;
};
