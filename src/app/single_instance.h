#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

#include <functional>

/// @brief One Tavrune window per user session, arranged over the session bus.
///
/// The first process owns the name com.tavrune.app and serves Open(); a later `tavrune FOLDER…`
/// hands its folders to it instead of opening a second window. Without a session bus every
/// process simply runs on its own.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)
    Q_CLASSINFO("D-Bus Interface", "com.tavrune.app")
    Q_PROPERTY(QStringList Folders READ folderPaths)

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    enum class Role {
        primary,    ///< this process owns the name: open the window and serve Open()
        forwarded,  ///< the running window took the folders: this process is done
        standalone, ///< no bus, or the owner did not answer: open a window without the name
    };

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;

    /// Claims the name, or hands `folders` to the process that owns it. Lines worth telling the
    /// user (an owner that did not answer) go to `warning`.
    Role start(const QList<QUrl> &folders, const std::function<void(const QString &)> &warning = {});

    /// What the Folders property reports: the paths of the folders in the window.
    void setFolderSource(std::function<QStringList()> source) { m_folderSource = std::move(source); }

    /// The token a desktop hands a launched process so that its window may take the focus.
    static QString activationToken();

public Q_SLOTS:
    /// Called over the bus by a second `tavrune FOLDER…`: local paths, and that process's activation token.
    Q_SCRIPTABLE void Open(const QStringList &paths, const QString &activationToken);

Q_SIGNALS:
    /// Folders handed over by another process; the window adds them and comes to the front.
    void openRequested(const QList<QUrl> &folders, const QString &activationToken);

private:
    QStringList folderPaths() const;

    std::function<QStringList()> m_folderSource;
    bool m_registered = false;
};
