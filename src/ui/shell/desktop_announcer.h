#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>

class AppState;
class QWidget;
struct GenerationRunSummary;

/// @brief Tells the desktop about running generations: progress on the launcher, and a notification
/// when a long run ends while the window is in the background.
///
/// The launcher reads `com.canonical.Unity.LauncherEntry` `Update` signals (KDE Plasma's task
/// manager, Dash to Dock, Plank); notifications go to `org.freedesktop.Notifications`. Every call
/// is asynchronous: a slow or missing service never holds up the window, and a missing one is
/// not reported.
class DesktopAnnouncer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopAnnouncer)

public:
    DesktopAnnouncer(AppState *state, QWidget *window);

    /// Whether the user is looking at the window (its activation by default); for tests.
    void setWindowActiveCheck(std::function<bool()> check) { m_isWindowActive = std::move(check); }

    /// The notification's text for a run: "40 icons generated", "37 icons generated, 3 failed".
    static QString summaryText(const GenerationRunSummary &summary);

    static constexpr const char *launcherAppUri = "application://com.tavrune.app.desktop";

private Q_SLOTS:
    void notificationActionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);

private:
    void updateLauncher();
    void announceEnd(const GenerationRunSummary &summary);

    QPointer<AppState> m_state;
    QPointer<QWidget> m_window;
    std::function<bool()> m_isWindowActive;
    bool m_launcherShowsProgress = false;
    /// Our notifications still on screen, with the folders each one's default action selects.
    QHash<uint, QList<QUuid>> m_notifications;
};
