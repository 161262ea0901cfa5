#pragma once

#include "grid/chrome_cache.h"
#include "grid/folder_layout.h"
#include "models/folder_item.h"

#include <QCoreApplication>
#include <QHash>
#include <QPixmap>
#include <QStaticText>
#include <QUuid>

class AppState;
class QPainter;
class ThumbnailCache;

/// @brief Paints the grid's cards, the list's rows and the empty-state drop zone.
///
/// It knows nothing of events or of the folder list: the view hands it a folder and the look
/// that folder has at this instant (how far it has faded in, hover, selection, badge), all read
/// from the animation clock at paint time. Text layouts and the expensive layers (card chrome,
/// badges) are cached here, so painting a frame allocates next to nothing.
class FolderPainter final
{
    Q_DISABLE_COPY_MOVE(FolderPainter)
    Q_DECLARE_TR_FUNCTIONS(FolderPainter)

public:
    enum class Badge : quint8 { none, generated, applied, failed };
    struct BadgeTrack
    {
        Badge shown = Badge::none;
        Badge leaving = Badge::none;
        double since = 0;
    };

    /// What one folder looks like at the painted instant.
    struct ItemLook
    {
        double appeared = 1;     ///< appearance progress, 0 → 1 (it may overshoot)
        double hover = 0;        ///< 0 → 1
        double selected = 0;     ///< 0 → 1, eased in and out
        bool focusRing = false;
        bool rowHovered = false; ///< the list row's button shows fully
        bool rowButtonHovered = false;
        const BadgeTrack *badge = nullptr; ///< the badge's last change, if it springs
        double generatingFor = 0;          ///< seconds the generating overlay has run
    };

    /// What the empty state looks like at the painted instant.
    struct EmptyLook
    {
        bool dropTargeted = false;
        double dropChangedAt = -1e9;
        double shownAt = -1;
        bool addButtonHovered = false;
        bool focusRing = false;
    };

    struct EmptyStateLayout
    {
        QRectF border;
        QPointF ringsCentre;
        QRectF title;
        QRectF hint;
        QRectF button;
    };

    FolderPainter(const AppState *state, ThumbnailCache &thumbnails);

    static Badge badgeFor(const IconState &state);
    /// How long a badge springs after a change.
    static double badgeSettleTime();
    static QString badgeToolTip(const IconState &state);
    static EmptyStateLayout emptyStateLayout(const QRectF &viewport);
    static FolderLayout::TextMetrics textMetrics();

    void paintCard(QPainter &p, const FolderLayout &layout, const FolderItem &folder, const QRectF &card,
                   const ItemLook &look, double now);
    void paintRow(QPainter &p, const FolderLayout &layout, const FolderItem &folder, const QRectF &row,
                  const ItemLook &look, double now);
    void paintEmptyState(QPainter &p, const QRectF &viewport, const EmptyLook &look, double now);

    /// Forgets the cached texts of one folder, or of all.
    void forgetText(const QUuid &id) { m_texts.remove(id); }
    void forgetTexts() { m_texts.clear(); }

private:
    struct ItemText
    {
        qreal width = -1;
        FolderLayout::Mode mode = FolderLayout::Mode::grid;
        qint64 fileCount = -1;
        SemanticCategory category = SemanticCategory::code;
        QStaticText name[2];
        QStaticText details;
    };

    void paintBadge(QPainter &p, const QRectF &rect, Badge badge, qreal scale, qreal opacity);
    void paintFocusRing(QPainter &p, const QRectF &rect, qreal radius);
    void paintPlaceholder(QPainter &p, const QRectF &square, SemanticCategory category, qreal dpr);
    static void paintSpinner(QPainter &p, const QRectF &rect, double now);
    const ItemText &itemText(const FolderItem &folder, FolderLayout::Mode mode, qreal width);
    QColor accent() const;

    const AppState *m_state;
    ThumbnailCache &m_thumbnails;
    QHash<QUuid, ItemText> m_texts;
    ChromeCache m_chrome;
    QHash<QString, QPixmap> m_badgePixmaps;
    QStaticText m_categoryTexts[12];
};
