#pragma once

#include "grid/folder_layout.h"
#include "grid/folder_painter.h"
#include "grid/marquee_selection.h"
#include "grid/thumbnail_cache.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <memory>
#include <optional>

class AppState;
class FolderGridController;
class FolderItemModel;
class QMenu;

/// @brief The folders of the window as a grid of cards or a list of rows, or the empty-state drop
/// zone when there are none.
///
/// A thin scroll area joining the item model (what to show), the pure layout (where), the painter
/// (how it looks) and the controller (what input does). No widget per card: only the items in view
/// are painted. Animations (appearance, hover, selection, badges, the generating overlay) are
/// values read at paint time from the shared animation clock, which only ticks while one runs.
class FolderGridView final : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderGridView)

public:
    explicit FolderGridView(AppState *state, QWidget *parent = nullptr);
    ~FolderGridView() override;

    FolderItemModel &model() const { return *m_model; }
    FolderGridController &controller() const { return *m_controller; }
    const FolderLayout &folderLayout() const { return m_layout; }
    /// Where folder `index` is drawn now, in viewport coordinates.
    QRectF itemRectInViewport(int index) const;
    /// The folder under a viewport point, or -1.
    int indexAtViewport(const QPointF &point) const;
    /// The cards laid out now (those in view), with their frames in viewport coordinates; empty in
    /// list mode, which has no marquee.
    MarqueeSelection::Frames laidOutCardFrames() const;
    /// The marquee rectangle while one is being dragged.
    std::optional<QRectF> marqueeRect() const;
    FolderPainter::EmptyStateLayout emptyStateLayout() const;

    /// The folder's context menu; its actions act on the folder whatever happens to the menu.
    std::unique_ptr<QMenu> createContextMenu(const QUuid &id);

    bool isDropTargeted() const;
    /// The folder with the keyboard focus, or -1.
    int currentIndex() const;
    /// Scrolls so that folder `index` is entirely in view.
    void ensureIndexVisible(int index);
    /// Repaints folder `id` where it is drawn.
    void updateItem(const QUuid &id);
    /// Keeps frames coming for `seconds`.
    void animateFor(double seconds);

    ThumbnailCache &thumbnails() { return m_thumbnails; }

    /// The directory URL to add for a dropped URL: local directories only, as directory URLs.
    static std::optional<QUrl> folderUrlForDrop(const QUrl &url);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    /// A 0 → 1 (or back) fade started at `since` from the value `from`.
    struct Fade
    {
        bool on = false;
        double since = 0;
        double from = 0;
    };

    void foldersChanged(const QList<int> &removed, const QList<int> &inserted);
    void selectionChanged(const QSet<QUuid> &before);
    void relayout();
    void updateScrollRange();
    void noteLaidOut();
    void updateContinuousAnimation();
    void scheduleAppearances();
    void onIconStateChanged(const QUuid &id);
    double selectedValue(const QUuid &id, double now) const;
    FolderPainter::ItemLook lookFor(const QUuid &id, double now) const;

    QPointer<AppState> m_state;
    FolderItemModel *m_model;
    FolderLayout m_layout;
    ThumbnailCache m_thumbnails;
    FolderPainter m_painter;
    FolderGridController *m_controller;

    // Animations, as start times on the animation clock.
    QHash<QUuid, double> m_appearAt;
    QHash<QUuid, Fade> m_selectionFades;
    QHash<QUuid, FolderPainter::BadgeTrack> m_badges;
    QHash<QUuid, double> m_generatingSince;
    QTimer m_appearTimer;
    double m_animateUntil = 0;
    bool m_animatingForever = false;
    double m_emptyShownAt = -1;
};
