#pragma once

#include <QPointF>
#include <QRectF>

#include <utility>

/// @brief Where every card of the grid, or every row of the list, lies: a pure function of the
/// viewport width, the number of folders and the text heights, so tests can check it.
///
/// Coordinates are the content's (y = 0 at the top of the scrolled content, before scrolling).
class FolderLayout
{
public:
    enum class Mode { grid, list };

    // Grid: adaptive columns between these widths, as many as fit.
    static constexpr qreal MinColumnWidth = 140;
    static constexpr qreal MaxColumnWidth = 180;
    static constexpr qreal GridSpacing = 14;
    static constexpr qreal GridMargin = 20;
    static constexpr qreal ExtraTopMargin = 8;
    // Card contents.
    static constexpr qreal CardPadding = 16;
    static constexpr qreal CardIconSize = 56;
    static constexpr qreal CardIconTextGap = 12;
    static constexpr qreal CardTextGap = 3;
    static constexpr qreal BadgeSize = 22;
    // List.
    static constexpr qreal ListMargin = 16;
    static constexpr qreal ListRowSpacing = 2;
    static constexpr qreal RowPaddingV = 8;
    static constexpr qreal RowPaddingH = 12;
    static constexpr qreal RowIconSize = 36;
    static constexpr qreal RowItemGap = 12;
    static constexpr qreal RowTextGap = 2;
    static constexpr qreal RowButtonSize = 24;

    /// Line heights of the fonts the cards and rows use.
    struct TextMetrics
    {
        qreal nameLine = 16;     ///< body font, medium
        qreal categoryLine = 13; ///< mono-small font
    };

    FolderLayout() = default;
    FolderLayout(Mode mode, qreal viewportWidth, int count, const TextMetrics &text);

    /// Columns that fit in a grid viewport this wide (at least one).
    static int columnsFor(qreal viewportWidth);
    /// Card height: padding, icon, two lines of name, the category line, padding.
    static qreal cardHeight(const TextMetrics &text);
    static qreal rowHeight(const TextMetrics &text);

    Mode mode() const { return m_mode; }
    int count() const { return m_count; }
    int columns() const { return m_columns; }
    qreal columnWidth() const { return m_itemWidth; }
    qreal itemHeight() const { return m_itemHeight; }
    qreal contentHeight() const { return m_contentHeight; }

    /// The card or row of folder `index`.
    QRectF itemRect(int index) const;
    /// Folders whose items meet the band [top, bottom], as [first, last) indices.
    std::pair<int, int> indicesIn(qreal top, qreal bottom) const;
    /// The folder whose item contains `point`, or -1 (the gaps between items belong to none).
    int indexAt(const QPointF &point) const;
    /// Items per page: whole rows that fit in `height`, times the columns (at least one row).
    int itemsPerPage(qreal height) const;

    /// Parts of a card at `card`.
    struct CardParts
    {
        QRectF icon;
        QRectF badge;
        QRectF name;     ///< two lines
        QRectF category; ///< one line
    };
    CardParts cardParts(const QRectF &card) const;

    /// Parts of a row at `row`; `statusWidth` is the measured width of its status label.
    struct RowParts
    {
        QRectF icon;
        QRectF name;
        QRectF details;
        QRectF status;
        QRectF button;
    };
    RowParts rowParts(const QRectF &row, qreal statusWidth) const;

private:
    Mode m_mode = Mode::grid;
    int m_count = 0;
    int m_columns = 1;
    qreal m_left = 0;
    qreal m_top = 0;
    qreal m_itemWidth = 0;
    qreal m_itemHeight = 0;
    qreal m_pitchX = 0;
    qreal m_pitchY = 0;
    qreal m_contentHeight = 0;
    TextMetrics m_text;
};
