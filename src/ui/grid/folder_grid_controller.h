#pragma once

#include "grid/marquee_selection.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <memory>
#include <optional>

class FolderGridView;
class FolderItemModel;
class QContextMenuEvent;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QFocusEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QUrl;

/// @brief Turns the pointer, the keyboard, marquees, drops and context menus over the grid into
/// selection changes and commands on the application state.
///
/// It owns the interaction state (hovered folder, pressed target, the keyboard's current folder
/// and anchor, the marquee, the drop highlight); the view reads it when painting.
class FolderGridController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderGridController)

public:
    FolderGridController(FolderGridView *view, FolderItemModel *model);

    // Each returns whether it handled the event; the view passes the others on.
    bool mousePress(QMouseEvent *event);
    void mouseMove(QMouseEvent *event);
    void mouseRelease(QMouseEvent *event);
    bool keyPress(QKeyEvent *event);
    void focusIn(QFocusEvent *event);
    void pointerLeft();
    bool contextMenu(QContextMenuEvent *event);
    void dragEnter(QDragEnterEvent *event);
    void dragMove(QDragMoveEvent *event);
    void dragLeave(QDragLeaveEvent *event);
    void drop(QDropEvent *event);

    /// The folder's context menu; its actions act on the folder whatever happens to the menu.
    std::unique_ptr<QMenu> createContextMenu(const QUuid &id);

    /// The directory URL to add for a dropped URL: local directories only, as directory URLs.
    static std::optional<QUrl> folderUrlForDrop(const QUrl &url);

    /// Moves the keyboard's current folder to `index` without touching the selection.
    void setCurrentIndex(int index);
    QUuid currentId() const { return m_currentId; }
    QUuid hoveredId() const { return m_hoveredId; }
    bool isRowButtonHovered() const { return m_hoveredRowButton; }
    bool isAddButtonHovered() const { return m_hoveredAddButton; }
    /// Whether the focus ring shows (keyboard use, not clicks).
    bool isFocusVisible() const { return m_focusVisible; }
    bool isDropTargeted() const { return m_dropTargeted; }
    double dropChangedAt() const { return m_dropChangedAt; }
    double hoverValue(const QUuid &id, double now) const;
    /// Drops the hover fades, as when the cards are built afresh.
    void forgetHover() { m_hover.clear(); }
    const MarqueeSelection &marquee() const { return m_marquee; }

Q_SIGNALS:
    /// The keyboard's current folder changed (to -1 when none).
    void currentChanged(int index);

private:
    enum class PressTarget : quint8 { none, item, rowButton, addButton };
    struct HoverTrack
    {
        bool on = false;
        double since = 0;
        double from = 0;
    };

    void setHovered(int index);
    void setHoveredButton(bool rowButton);
    void setDropTargeted(bool targeted);
    void setCurrentId(const QUuid &id);
    void moveCurrent(int target, Qt::KeyboardModifiers modifiers);
    void showContextMenu(int index, const QPoint &globalPos);
    void foldersChanged();

    FolderGridView *m_view;
    FolderItemModel *m_model;
    MarqueeSelection m_marquee;
    QHash<QUuid, HoverTrack> m_hover;
    QUuid m_hoveredId;
    bool m_hoveredRowButton = false;
    bool m_hoveredAddButton = false;
    PressTarget m_pressTarget = PressTarget::none;
    int m_pressIndex = -1;
    QUuid m_currentId;
    QUuid m_anchorId;
    bool m_focusVisible = false;
    bool m_dropTargeted = false;
    double m_dropChangedAt = -1e9;
};
