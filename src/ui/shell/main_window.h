#pragma once

#include <QMainWindow>

#include <functional>

class AppCommands;
class AppState;
class ContentView;
class DesktopAnnouncer;
class TavruneToolbar;

/// @brief The application's one window: menu bar, toolbar and the layered content.
///
/// 1200 × 750 at first, never smaller than 800 × 500. The areas other parts of the window provide
/// (grid, inspector, onboarding sheet) are wired in the constructor, in one place.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(AppState *state, QWidget *parent = nullptr);
    ~MainWindow() override;

    AppState *state() const { return m_state; }
    AppCommands *commands() const { return m_commands; }
    TavruneToolbar *toolbar() const { return m_toolbar; }
    ContentView *contentView() const { return m_content; }
    DesktopAnnouncer *announcer() const { return m_announcer; }

    /// Asks whether to stop this many running generations and quit; true to go ahead.
    using QuitConfirmation = std::function<bool(int running)>;
    /// Replaces the question (a message box over the window); for tests.
    void setQuitConfirmation(QuitConfirmation confirmation) { m_quitConfirmation = std::move(confirmation); }
    /// Whether quitting may go on: at once when nothing generates; else after the user agreed, with
    /// every generation stopped as Stop does.
    bool confirmQuit();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    AppState *m_state;
    AppCommands *m_commands;
    TavruneToolbar *m_toolbar;
    ContentView *m_content;
    QuitConfirmation m_quitConfirmation;
    DesktopAnnouncer *m_announcer = nullptr;
};
