#include "window_launch.h"

#include "single_instance.h"
#include "state/app_state.h"

#include <QApplication>
#include <QIcon>
#include <QWidget>

namespace WindowLaunch {

void setApplicationIdentity()
{
    QApplication::setOrganizationName(QStringLiteral("tavrune"));
    QApplication::setApplicationName(QStringLiteral("tavrune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrune"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRUNE_VERSION));
    QGuiApplication::setDesktopFileName(SingleInstance::ServiceName);
    // The installed theme icon when there is one (it follows the user's icon theme), else our own drawing.
    QApplication::setWindowIcon(QIcon::fromTheme(SingleInstance::ServiceName, QIcon(QStringLiteral(":/com.tavrune.app.svg"))));
}

void acceptForwardedFolders(SingleInstance &instance, AppState &state, QWidget &window)
{
    instance.setFolderSource([&state] {
        QStringList paths;
        for (const FolderItemPtr &folder : state.folders()) {
            const QString path = folder->url().toLocalFile();
            paths.append(path.size() > 1 && path.endsWith(u'/') ? path.chopped(1) : path);
        }
        return paths;
    });
    QObject::connect(&instance, &SingleInstance::openRequested, &window,
                     [&state, &window](const QList<QUrl> &folders, const QString &activationToken) {
                         state.addFolders(folders);
                         raiseWindow(window, activationToken);
                     });
}

void raiseWindow(QWidget &window, const QString &activationToken)
{
    // Wayland compositors let a window take the focus only with the token the launch came with.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace WindowLaunch
