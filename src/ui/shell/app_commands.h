#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

class AppState;
class QAction;
class QMainWindow;
class QMenu;
class QWidget;
class SessionStore;

/// @brief The menu bar's commands: every item with its text, shortcut and enabling rule.
///
/// Items forward to AppState operations; their enabled state follows the state's signals, so a
/// disabled item's shortcut does nothing. Keyboard shortcuts are window-wide, but a focused text
/// widget that wants a key (Delete, Ctrl+A, Ctrl+Backspace, Ctrl+C ...) keeps it: Qt offers the key to
/// the focus widget first (ShortcutOverride) and text widgets claim their editing keys; the word and
/// character deletions Qt's text widgets leave unclaimed (Ctrl+Backspace, Delete in a plain-text edit)
/// are claimed for them here, so they never remove folders.
///
/// To add an item: a value in Command, and one line where build() fills its menu.
class AppCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppCommands)

public:
    enum class Command {
        addFolders,
        removeSelectedFolders,
        autoTavruneDesktop,
        rememberFolders,
        askBeforeLargeBatches,
        quit,
        undo,
        redo,
        cut,
        copy,
        paste,
        selectAll,
        deselectAll,
        gridView,
        listView,
        toggleInspector,
        fastMode,
        regenerateSelected,
        regenerateAll,
        applyIcons,
        apiKeySettings,
        stopGenerating,
    };
    Q_ENUM(Command)

    /// Builds the File, Edit, View and Generate menus into the window's menu bar.
    AppCommands(AppState *state, QMainWindow *window);
    ~AppCommands() override;

    /// Binds "Remember Folders Between Sessions" to the store; without one (windows made for tests and
    /// tools) the item stays disabled.
    void bindSessionStore(SessionStore *store);

    QAction *action(Command command) const { return m_actions.value(command); }
    QMenu *fileMenu() const { return m_file; }
    QMenu *editMenu() const { return m_edit; }
    QMenu *viewMenu() const { return m_view; }
    QMenu *generateMenu() const { return m_generate; }

    /// Whether a widget counts as text for Select All, Cut, Copy and Paste: line edits, text and
    /// plain-text edits (read-only ones too, their text can be selected), spin boxes, editable combos.
    static bool isTextWidget(const QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *add(QMenu *menu, Command command, const QString &text);
    void build();
    void updateEnabling();
    void updateApplyEnabling();
    void watchSelectedFolders();
    /// Sends a standard edit action (cut, copy, paste, selectAll) to the window's focused text widget.
    bool sendToFocusedText(const char *slot) const;
    void selectAll();

    QPointer<AppState> m_state;
    QMainWindow *m_window;
    QHash<Command, QAction *> m_actions;
    QMenu *m_file = nullptr;
    QMenu *m_edit = nullptr;
    QMenu *m_view = nullptr;
    QMenu *m_generate = nullptr;
    /// Holds the connections to the selected folders' image signals; replaced when the selection changes.
    QObject *m_selectionWatch = nullptr;
};
