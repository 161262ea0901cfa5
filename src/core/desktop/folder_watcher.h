#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <functional>

class QFileSystemWatcher;

/// @brief Reports sub-folders newly created in (or moved into) one directory, after a short delay.
///
/// Lives on the main thread; the callback is called there with a non-empty list.
class FolderWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderWatcher)

public:
    using Callback = std::function<void(const QList<QUrl> &newFolders)>;

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

private:
    void directoryChanged();
    void reportIfStillThere(const QList<QUrl> &candidates);
    static QSet<QString> subfolderNames(const QString &directoryPath);

    QUrl m_directoryUrl;
    Callback m_onNewFolders;
    QFileSystemWatcher *m_source = nullptr;
    QSet<QString> m_knownSubfolders;
    /// New folders waiting for the report that is due, since m_burstStart.
    QList<QUrl> m_pending;
    QElapsedTimer m_burstStart;
    QTimer m_reportTimer;
    std::chrono::milliseconds m_reportDelay{4000};
};
