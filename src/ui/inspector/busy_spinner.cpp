#include "inspector/busy_spinner.h"

#include "design/animation_clock.h"

#include <QPainter>
#include <QtMath>

namespace {
constexpr int SpokeCount = 12;
constexpr double TurnsPerSecond = 1.0;
} // namespace

void BusySpinner::paint(QPainter &p, const QRectF &square, double seconds, const QColor &colour)
{
    const qreal edge = qMin(square.width(), square.height());
    const QPointF centre = square.center();
    const int lead = int(std::floor(seconds * TurnsPerSecond * SpokeCount)) % SpokeCount;

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen pen(colour);
    pen.setWidthF(qMax(1.0, edge * 0.09));
    pen.setCapStyle(Qt::RoundCap);
    for (int i = 0; i < SpokeCount; ++i) {
        // The spoke just passed by the lead is the brightest; the others fade behind it.
        const int age = (lead - i + SpokeCount) % SpokeCount;
        QColor c = colour;
        c.setAlphaF(colour.alphaF() * (1.0 - 0.75 * age / double(SpokeCount - 1)));
        pen.setColor(c);
        p.setPen(pen);
        const qreal angle = 2 * M_PI * i / SpokeCount - M_PI / 2;
        const QPointF dir(std::cos(angle), std::sin(angle));
        p.drawLine(centre + dir * edge * 0.25, centre + dir * edge * 0.45);
    }
    p.restore();
}

BusySpinnerWidget::BusySpinnerWidget(int edge, QWidget *parent)
    : QWidget(parent)
    , m_edge(edge)
{
    setFixedSize(edge, edge);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize BusySpinnerWidget::sizeHint() const
{
    return {m_edge, m_edge};
}

void BusySpinnerWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    BusySpinner::paint(p, rect(), AnimationClock::instance().now(), QColor(255, 255, 255, 200));
}

void BusySpinnerWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    AnimationClock::instance().animateForever(this);
}

void BusySpinnerWidget::hideEvent(QHideEvent *event)
{
    AnimationClock::instance().stop(this);
    QWidget::hideEvent(event);
}
