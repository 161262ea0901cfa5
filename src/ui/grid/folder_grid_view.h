#pragma once

#include "grid/chrome_cache.h"
#include "grid/folder_layout.h"
#include "grid/marquee_selection.h"
#include "grid/thumbnail_cache.h"
#include "models/folder_item.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStaticText>
#include <QTimer>
#include <QUuid>

#include <memory>
#include <optional>

class AppState;
class QMenu;

/// @brief The folders of the window as a grid of cards or a list of rows, or the empty-state drop
/// zone when there are none.
///
/// One custom-painted scroll area: no widget per card. Only the items in view are painted and take
/// part in marquee selection. Animations (appearance, hover, badges, the generating overlay) are
/// values read at paint time from the shared animation clock, which only ticks while one runs.
/// The whole area accepts folders dropped from a file manager.
class FolderGridView final : public QAbstractScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderGridView)

public:
    explicit FolderGridView(AppState *state, QWidget *parent = nullptr);
    ~FolderGridView() override;

    const FolderLayout &folderLayout() const { return m_layout; }
    /// Where folder `index` is drawn now, in viewport coordinates.
    QRectF itemRectInViewport(int index) const;
    /// The cards laid out now (those in view), with their frames in viewport coordinates; empty in
    /// list mode, which has no marquee.
    MarqueeSelection::Frames laidOutCardFrames() const;
    /// The marquee rectangle while one is being dragged.
    std::optional<QRectF> marqueeRect() const { return m_marquee.selectionRect(); }

    /// The folder's context menu; its actions act on the folder whatever happens to the menu.
    std::unique_ptr<QMenu> createContextMenu(const QUuid &id);

    bool isDropTargeted() const { return m_dropTargeted; }
    /// The folder with the keyboard focus, or -1.
    int currentIndex() const;
    /// Scrolls so that folder `index` is entirely in view.
    void ensureIndexVisible(int index);

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
    enum class Badge : quint8 { none, generated, applied, failed };
    enum class PressTarget : quint8 { none, item, rowButton, addButton };

    struct HoverTrack
    {
        bool on = false;
        double since = 0;
        double from = 0;
    };
    struct BadgeTrack
    {
        Badge shown = Badge::none;
        Badge leaving = Badge::none;
        double since = 0;
    };
    struct ItemText
    {
        qreal width = -1;
        FolderLayout::Mode mode = FolderLayout::Mode::grid;
        qint64 fileCount = -1;
        SemanticCategory category = SemanticCategory::code;
        QStaticText name[2];
        QStaticText details;
    };
    struct EmptyStateLayout
    {
        QRectF border;
        QPointF ringsCentre;
        QRectF title;
        QRectF hint;
        QRectF button;
    };

    // State in, layout out.
    void syncFolders();
    void connectFolder(const FolderItemPtr &folder);
    void relayout();
    void updateScrollRange();
    void noteLaidOut();
    void updateContinuousAnimation();
    void scheduleAppearances();
    void animateFor(double seconds);
    void onIconStateChanged(const QUuid &id);
    void updateItem(const QUuid &id);
    FolderLayout::TextMetrics textMetrics() const;
    EmptyStateLayout emptyStateLayout() const;

    // Pointer and keyboard.
    int indexAtViewport(const QPointF &point) const;
    void setHovered(int index);
    void setHoveredButton(bool rowButton);
    void setDropTargeted(bool targeted);
    void moveCurrent(int target, Qt::KeyboardModifiers modifiers);
    void showContextMenu(int index, const QPoint &globalPos);
    static Badge badgeFor(const IconState &state);
    static QString badgeToolTip(const IconState &state);

    // Painting.
    void paintCard(QPainter &p, int index, const QRectF &card, double now);
    void paintRow(QPainter &p, int index, const QRectF &row, double now);
    void paintBadge(QPainter &p, const QRectF &rect, Badge badge, qreal scale, qreal opacity);
    void paintEmptyState(QPainter &p, double now);
    void paintFocusRing(QPainter &p, const QRectF &rect, qreal radius);
    void paintSpinner(QPainter &p, const QRectF &rect, double now);
    const ItemText &itemText(const FolderItem &folder, qreal width);
    double hoverValue(const QUuid &id, double now) const;

    QPointer<AppState> m_state;
    QList<FolderItemPtr> m_folders;
    QHash<QUuid, int> m_indexOf;
    QHash<QUuid, QPointer<FolderItem>> m_connected;
    QSet<QUuid> m_selection;
    FolderLayout m_layout;
    ThumbnailCache m_thumbnails;
    MarqueeSelection m_marquee;

    // Animations, as start times on the animation clock.
    QHash<QUuid, double> m_appearAt;
    QHash<QUuid, HoverTrack> m_hover;
    QHash<QUuid, BadgeTrack> m_badges;
    QHash<QUuid, double> m_generatingSince;
    QTimer m_appearTimer;
    double m_animateUntil = 0;
    bool m_animatingForever = false;
    double m_emptyShownAt = -1;
    double m_dropChangedAt = -1e9;
    double m_rowButtonChangedAt = -1e9;

    // Pointer, keyboard and drop.
    QUuid m_hoveredId;
    bool m_hoveredRowButton = false;
    bool m_hoveredAddButton = false;
    PressTarget m_pressTarget = PressTarget::none;
    int m_pressIndex = -1;
    QUuid m_currentId;
    QUuid m_anchorId;
    bool m_focusVisible = false;
    bool m_dropTargeted = false;

    // Paint-time caches.
    QHash<QUuid, ItemText> m_texts;
    ChromeCache m_chrome;
    QHash<QString, QPixmap> m_badgePixmaps;
    QStaticText m_categoryTexts[12];
};
