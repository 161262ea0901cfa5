#include "grid/folder_layout.h"

#include <algorithm>
#include <cmath>

FolderLayout::FolderLayout(Mode mode, qreal viewportWidth, int count, const TextMetrics &text)
    : m_mode(mode), m_count(std::max(0, count)), m_text(text)
{
    if (mode == Mode::grid) {
        const qreal available = std::max<qreal>(0, viewportWidth - 2 * GridMargin);
        m_columns = columnsFor(viewportWidth);
        // Columns share the width, but never grow past the maximum: then the grid is centred.
        const qreal share = (available - (m_columns - 1) * GridSpacing) / m_columns;
        m_itemWidth = std::clamp(share, MinColumnWidth, MaxColumnWidth);
        const qreal gridWidth = m_columns * m_itemWidth + (m_columns - 1) * GridSpacing;
        m_left = GridMargin + std::max<qreal>(0, (available - gridWidth) / 2);
        m_top = GridMargin + ExtraTopMargin;
        m_itemHeight = cardHeight(text);
        m_pitchX = m_itemWidth + GridSpacing;
        m_pitchY = m_itemHeight + GridSpacing;
        const int rows = (m_count + m_columns - 1) / m_columns;
        m_contentHeight = m_top + (rows > 0 ? rows * m_pitchY - GridSpacing : 0) + GridMargin;
    } else {
        m_columns = 1;
        m_left = ListMargin;
        m_top = ListMargin + ExtraTopMargin;
        m_itemWidth = std::max<qreal>(0, viewportWidth - 2 * ListMargin);
        m_itemHeight = rowHeight(text);
        m_pitchX = 0;
        m_pitchY = m_itemHeight + ListRowSpacing;
        m_contentHeight = m_top + (m_count > 0 ? m_count * m_pitchY - ListRowSpacing : 0) + ListMargin;
    }
}

int FolderLayout::columnsFor(qreal viewportWidth)
{
    const qreal available = viewportWidth - 2 * GridMargin;
    return std::max(1, int(std::floor((available + GridSpacing) / (MinColumnWidth + GridSpacing))));
}

qreal FolderLayout::cardHeight(const TextMetrics &text)
{
    return CardPadding + CardIconSize + CardIconTextGap + 2 * text.nameLine + CardTextGap + text.categoryLine +
           CardPadding;
}

qreal FolderLayout::rowHeight(const TextMetrics &text)
{
    const qreal textHeight = text.nameLine + RowTextGap + text.categoryLine;
    return std::max(RowIconSize, textHeight) + 2 * RowPaddingV;
}

QRectF FolderLayout::itemRect(int index) const
{
    if (index < 0 || index >= m_count)
        return {};
    const int row = index / m_columns;
    const int column = index % m_columns;
    return QRectF(m_left + column * m_pitchX, m_top + row * m_pitchY, m_itemWidth, m_itemHeight);
}

std::pair<int, int> FolderLayout::indicesIn(qreal top, qreal bottom) const
{
    if (m_count == 0 || bottom < m_top)
        return {0, 0};
    const int firstRow = std::max(0, int(std::ceil((top - m_top - m_itemHeight) / m_pitchY)));
    const int lastRow = int(std::floor((bottom - m_top) / m_pitchY));
    const int first = std::min(m_count, firstRow * m_columns);
    const int last = std::min(m_count, (lastRow + 1) * m_columns);
    return {first, std::max(first, last)};
}

int FolderLayout::indexAt(const QPointF &point) const
{
    if (m_count == 0 || m_pitchY <= 0)
        return -1;
    const int row = int(std::floor((point.y() - m_top) / m_pitchY));
    const int column = m_mode == Mode::grid ? int(std::floor((point.x() - m_left) / m_pitchX)) : 0;
    if (row < 0 || column < 0 || column >= m_columns)
        return -1;
    const int index = row * m_columns + column;
    return itemRect(index).contains(point) ? index : -1;
}

int FolderLayout::itemsPerPage(qreal height) const
{
    const int rows = std::max(1, int(std::floor((height + (m_pitchY - m_itemHeight)) / m_pitchY)));
    return rows * m_columns;
}

FolderLayout::CardParts FolderLayout::cardParts(const QRectF &card) const
{
    CardParts parts;
    parts.icon = QRectF(card.center().x() - CardIconSize / 2, card.top() + CardPadding, CardIconSize, CardIconSize);
    parts.badge = QRectF(parts.icon.right() - BadgeSize, parts.icon.bottom() - BadgeSize, BadgeSize, BadgeSize);
    const qreal textLeft = card.left() + CardPadding;
    const qreal textWidth = std::max<qreal>(0, card.width() - 2 * CardPadding);
    parts.name = QRectF(textLeft, parts.icon.bottom() + CardIconTextGap, textWidth, 2 * m_text.nameLine);
    parts.category = QRectF(textLeft, parts.name.bottom() + CardTextGap, textWidth, m_text.categoryLine);
    return parts;
}

FolderLayout::RowParts FolderLayout::rowParts(const QRectF &row, qreal statusWidth) const
{
    RowParts parts;
    const qreal inner = row.height() - 2 * RowPaddingV;
    const qreal top = row.top() + RowPaddingV;
    parts.icon = QRectF(row.left() + RowPaddingH, top + (inner - RowIconSize) / 2, RowIconSize, RowIconSize);
    parts.button = QRectF(row.right() - RowPaddingH - RowButtonSize, row.center().y() - RowButtonSize / 2,
                          RowButtonSize, RowButtonSize);
    const qreal statusRight = parts.button.left() - RowItemGap;
    parts.status = QRectF(statusRight - statusWidth, row.top(), statusWidth, row.height());
    const qreal textLeft = parts.icon.right() + RowItemGap;
    const qreal textRight = (statusWidth > 0 ? parts.status.left() : parts.button.left()) - RowItemGap;
    const qreal textHeight = m_text.nameLine + RowTextGap + m_text.categoryLine;
    const qreal textTop = top + (inner - textHeight) / 2;
    parts.name = QRectF(textLeft, textTop, std::max<qreal>(0, textRight - textLeft), m_text.nameLine);
    parts.details = QRectF(textLeft, parts.name.bottom() + RowTextGap, parts.name.width(), m_text.categoryLine);
    return parts;
}
