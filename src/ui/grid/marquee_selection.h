#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QUuid>

#include <optional>
#include <utility>

/// @brief The rule of rectangle selection, apart from any widget: a press, movements, a release.
///
/// The drag becomes a marquee once the pointer is 15 px from the press point; from then on the
/// rectangle spans the press point and the pointer. Whether Ctrl is held at that first change
/// decides, for the whole drag, whether the earlier selection is kept. Each movement recomputes
/// the selection from scratch over the frames of the cards that are laid out at that moment.
class MarqueeSelection
{
public:
    static constexpr qreal Threshold = 15;

    using Frames = QList<std::pair<QUuid, QRectF>>;

    void press(const QPointF &point);
    /// The new selection when the drag is a marquee, nothing while it is still a click.
    std::optional<QSet<QUuid>> move(const QPointF &point, bool ctrlHeld, const QSet<QUuid> &currentSelection,
                                    const Frames &laidOutFrames);
    /// Ends the drag; the rectangle disappears, the selection stays as it is.
    void release();

    bool isPressed() const { return m_press.has_value(); }
    /// True once the drag has passed the threshold, until release.
    bool isActive() const { return m_dragStart.has_value(); }
    /// The rectangle to draw while active.
    std::optional<QRectF> selectionRect() const;

    /// Rectangles meet when they overlap or touch; a zero-width marquee still catches cards.
    static bool meets(const QRectF &a, const QRectF &b);

private:
    std::optional<QPointF> m_press;
    std::optional<QPointF> m_dragStart;
    std::optional<QPointF> m_dragCurrent;
    QSet<QUuid> m_preSelection;
};
