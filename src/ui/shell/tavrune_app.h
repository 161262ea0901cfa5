#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

class AppState;
class MainWindow;
class QWidget;
class SessionStore;

/// @brief The application object: owns the one AppState and the window for the whole run.
///
/// Creating it gives the process its dark look and fonts, creates the state (which reads the
/// preferences and may start the Desktop watcher), installs the folder chooser and builds the window
/// with its splash. show() opens the window; the splash phase starts with it.
class TavruneApp final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TavruneApp)

public:
    struct Options
    {
        bool showSplash = true;
        /// Restores the last session before the window paints and keeps it while the app runs. Only
        /// the real window does: tests and tools run with a throwaway folder list.
        bool keepSession = false;
        /// A fixed arrangement of the splash's field (screenshots); none draws a new one each launch.
        std::optional<quint32> splashSeed = std::nullopt;
    };

    TavruneApp();
    explicit TavruneApp(Options options);
    ~TavruneApp() override;

    AppState &state() const { return *m_state; }
    MainWindow &window() const { return *m_window; }
    /// The session store, when the app keeps one.
    SessionStore *session() const { return m_session.get(); }
    void show();

    /// Dark Fusion style, palette and tooltip colours for every window of the process (menus,
    /// dialogs, tooltips). Called by the constructor; tools rendering the window call it too.
    static void applyAppearance();
    /// The folder chooser: several folders at once, window-modal over `parent`.
    static QList<QUrl> chooseFolders(QWidget *parent);

private:
    static void installFirstPaintProbe(QWidget *window);

    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<SessionStore> m_session;
};
