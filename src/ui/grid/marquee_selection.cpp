#include "grid/marquee_selection.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

void MarqueeSelection::press(const QPointF &point)
{
    m_press = point;
    m_dragStart.reset();
    m_dragCurrent.reset();
}

std::optional<QSet<QUuid>> MarqueeSelection::move(const QPointF &point, bool ctrlHeld,
                                                  const QSet<QUuid> &currentSelection, const Frames &laidOutFrames)
{
    if (!m_press)
        return std::nullopt;
    if (!m_dragStart) {
        if (QLineF(*m_press, point).length() < Threshold)
            return std::nullopt;
        // The rectangle starts at the press point, not where the threshold was crossed.
        m_dragStart = m_press;
        m_preSelection = ctrlHeld ? currentSelection : QSet<QUuid>();
    }
    m_dragCurrent = point;

    QSet<QUuid> selection = m_preSelection;
    const QRectF rect = *selectionRect();
    for (const auto &[id, frame] : laidOutFrames) {
        if (meets(frame, rect))
            selection.insert(id);
    }
    return selection;
}

void MarqueeSelection::release()
{
    m_press.reset();
    m_dragStart.reset();
    m_dragCurrent.reset();
}

std::optional<QRectF> MarqueeSelection::selectionRect() const
{
    if (!m_dragStart || !m_dragCurrent)
        return std::nullopt;
    const QPointF a = *m_dragStart;
    const QPointF b = *m_dragCurrent;
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(a.x() - b.x()), std::abs(a.y() - b.y()));
}

bool MarqueeSelection::meets(const QRectF &a, const QRectF &b)
{
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom() && b.top() <= a.bottom();
}
