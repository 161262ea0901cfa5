#include "inspector/mini_switch.h"

#include "design/animation_clock.h"
#include "design/tokens.h"

#include <QPainter>

namespace {
constexpr QSize TrackSize{26, 15};
constexpr qreal KnobInset = 1.5;
} // namespace

MiniSwitch::MiniSwitch(AppState *state, QWidget *parent)
    : QAbstractButton(parent)
    , m_state(state)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize MiniSwitch::sizeHint() const
{
    return TrackSize + QSize(2, 2);
}

void MiniSwitch::checkStateSet()
{
    QAbstractButton::checkStateSet();
    startSlide();
}

void MiniSwitch::startSlide()
{
    // setChecked() reports here even when the state stays; only a real change slides the knob.
    if (isChecked() == m_targetChecked)
        return;
    m_targetChecked = isChecked();
    AnimationClock &clock = AnimationClock::instance();
    m_slideFromChecked = !isChecked();
    m_slideStart = clock.now();
    clock.animate(this, m_slideStart + Tokens::quick().settleTime());
    update();
}

void MiniSwitch::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double t = AnimationClock::instance().now() - m_slideStart;
    const Spring &spring = Tokens::quick();
    const double progress = t >= spring.settleTime() ? 1.0 : spring.progress(t);
    // 0 = off, 1 = on; the spring carries the knob from where it was.
    const double from = m_slideFromChecked ? 1.0 : 0.0;
    const double to = isChecked() ? 1.0 : 0.0;
    const double position = from + (to - from) * progress;

    const QRectF track(QPointF(1, (height() - TrackSize.height()) / 2.0), QSizeF(TrackSize));
    const QColor off = Tokens::white(0.16);
    const QColor on = Tokens::accent(*m_state);
    QColor fill;
    const double mix = qBound(0.0, position, 1.0);
    fill.setRgbF(off.redF() + (on.redF() - off.redF()) * mix, off.greenF() + (on.greenF() - off.greenF()) * mix,
                 off.blueF() + (on.blueF() - off.blueF()) * mix, off.alphaF() + (on.alphaF() - off.alphaF()) * mix);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);

    const qreal knob = track.height() - 2 * KnobInset;
    const qreal travel = track.width() - 2 * KnobInset - knob;
    const QRectF knobRect(track.left() + KnobInset + travel * position, track.top() + KnobInset, knob, knob);
    p.setBrush(isEnabled() ? QColor(Qt::white) : Tokens::white(0.5));
    p.drawEllipse(knobRect);
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Tokens::withOpacity(on, 0.8), 1));
        p.drawRoundedRect(track.adjusted(-1, -1, 1, 1), track.height() / 2 + 1, track.height() / 2 + 1);
    }
}
