#pragma once

#include <QList>
#include <QUrl>

class AppState;
class QWidget;
class SingleInstance;

/// How the window process presents itself to the desktop and meets later launches.
namespace WindowLaunch {

/// Names, version, the desktop entry's id (Wayland app id, taskbar grouping) and the window icon.
void setApplicationIdentity();

/// Folders that later `tavrune FOLDER…` launches hand over are added to `state`, and `window`
/// comes to the front.
void acceptForwardedFolders(SingleInstance &instance, AppState &state, QWidget &window);

/// Shows `window` un-minimised, raised and, where the desktop allows it, focused.
void raiseWindow(QWidget &window, const QString &activationToken);

} // namespace WindowLaunch
