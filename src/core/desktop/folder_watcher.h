#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QFileSystemWatcher;

/// @brief Reports sub-folders newly created in (or moved into) one directory, after a short delay, and
/// sub-folders renamed within it, at once.
///
/// Lives on the main thread; the callbacks are called there.
class FolderWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderWatcher)

public:
    using Callback = std::function<void(const QList<QUrl> &newFolders)>;
    /// A folder already reported (or there from the start) got a new name within the directory. True
    /// when the receiver followed it; otherwise the new name is reported as a new folder, as usual.
    using RenameCallback = std::function<bool(const QUrl &from, const QUrl &to)>;

    FolderWatcher(const QUrl &directoryUrl, Callback onNewFolders, QObject *parent = nullptr);
    ~FolderWatcher() override;

    QUrl directoryUrl() const { return m_directoryUrl; }
    /// Begins, or restarts with a fresh snapshot. A directory that cannot be watched leaves it idle.
    void start();
    /// Stops watching; reports already pending still arrive while this object lives.
    void stop();
    bool isWatching() const;

    /// How long a new folder must keep its name before it is reported (4 s by default).
    void setReportDelay(std::chrono::milliseconds delay) { m_reportDelay = delay; }
    /// Without one, a renamed folder is reported as a new folder under its new name.
    void setRenameCallback(RenameCallback onRenamed) { m_onRenamed = std::move(onRenamed); }

private:
    void directoryChanged();
    void reportIfStillThere(const QList<QUrl> &candidates);
    /// Which file a folder is: a rename keeps it, so a vanished name and a new one with the same
    /// identity are one folder renamed.
    struct Identity
    {
        quint64 device = 0;
        quint64 inode = 0;
        friend bool operator==(const Identity &, const Identity &) = default;
    };
    static QHash<QString, Identity> subfolders(const QString &directoryPath);
    QUrl urlOf(const QString &name) const;

    QUrl m_directoryUrl;
    Callback m_onNewFolders;
    RenameCallback m_onRenamed;
    QFileSystemWatcher *m_source = nullptr;
    QHash<QString, Identity> m_knownSubfolders;
    /// New folders waiting for the report that is due, since m_burstStart.
    QList<QUrl> m_pending;
    QElapsedTimer m_burstStart;
    QTimer m_reportTimer;
    std::chrono::milliseconds m_reportDelay{4000};
};
