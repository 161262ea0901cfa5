#include "design/pill_picker.h"

#include "design/accessible_widgets.h"
#include "design/animation_clock.h"
#include "design/symbols.h"
#include "design/tokens.h"
#include "state/app_state.h"

#include <QAccessible>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr qreal OptionWidth = 28;
constexpr qreal OptionHeight = 22;
constexpr qreal Spacing = 2;
constexpr qreal Inset = 2;
constexpr qreal OuterRadius = 8;
constexpr qreal OptionRadius = 6;
constexpr qreal SymbolSize = 12;
} // namespace

PillPicker::PillPicker(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    AccessibleWidgets::install();
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    if (state)
        connect(state, &AppState::selectedThemeChanged, this, qOverload<>(&QWidget::update));
}

PillPicker::~PillPicker() = default;

void PillPicker::setOptions(const QList<Option> &options)
{
    m_options = options;
    updateGeometry();
    update();
}

void PillPicker::setCurrentIndex(int index)
{
    if (index == m_currentIndex)
        return;
    m_previousIndex = m_currentIndex;
    m_currentIndex = index;
    AnimationClock &clock = AnimationClock::instance();
    if (isVisible()) {
        m_changedAt = clock.now();
        clock.animate(this, m_changedAt + Tokens::quick().settleTime());
    } else {
        m_changedAt = -1e9; // nothing on screen to animate: show the new state at once
        update();
    }
    if (QAccessible::isActive()) {
        // The radio buttons that lost and gained the check.
        QAccessibleInterface *group = QAccessible::queryAccessibleInterface(this);
        for (int option : {m_previousIndex, m_currentIndex}) {
            if (QAccessibleInterface *button = group ? group->child(option) : nullptr) {
                QAccessible::State changed;
                changed.checked = true;
                QAccessibleStateChangeEvent event(button, changed);
                QAccessible::updateAccessibility(&event);
            }
        }
    }
    Q_EMIT currentIndexChanged(index);
}

QRectF PillPicker::optionRect(int index) const
{
    return QRectF(Inset + index * (OptionWidth + Spacing), Inset, OptionWidth, OptionHeight);
}

QSize PillPicker::sizeHint() const
{
    const qreal n = qreal(m_options.size());
    const qreal width = 2 * Inset + n * OptionWidth + std::max(0.0, n - 1) * Spacing;
    return QSize(int(width), int(OptionHeight + 2 * Inset));
}

int PillPicker::optionAt(const QPointF &pos) const
{
    for (int i = 0; i < m_options.size(); ++i) {
        if (optionRect(i).contains(pos))
            return i;
    }
    return -1;
}

double PillPicker::selectionWeight(int index) const
{
    const bool selected = index == m_currentIndex;
    const bool wasSelected = index == m_previousIndex;
    if (!selected && !wasSelected)
        return 0.0;
    const double p = std::clamp(Tokens::quick().progress(AnimationClock::instance().now() - m_changedAt), 0.0, 1.0);
    return selected ? p : 1.0 - p;
}

void PillPicker::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor accent = m_state ? Tokens::accent(*m_state) : ThemePreset::defaultTheme().palette.accent;

    const QRectF outer = QRectF(QPointF(0, 0), QSizeF(sizeHint())).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(Tokens::white(0.06), 1.0));
    p.setBrush(Tokens::white(0.03));
    p.drawRoundedRect(outer, OuterRadius, OuterRadius);
    if (hasFocus() && m_keyboardFocus) {
        p.setPen(QPen(Tokens::withOpacity(accent, 0.6), 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(outer, OuterRadius, OuterRadius);
    }

    const QColor idle = Tokens::white(0.35);
    for (int i = 0; i < m_options.size(); ++i) {
        const double w = selectionWeight(i);
        const QRectF r = optionRect(i);
        if (w > 0.0) {
            p.setPen(Qt::NoPen);
            p.setBrush(Tokens::withOpacity(accent, 0.15 * w));
            p.drawRoundedRect(r, OptionRadius, OptionRadius);
        }
        const QColor colour = QColor::fromRgbF(float(mix(idle.redF(), accent.redF(), w)),
                                               float(mix(idle.greenF(), accent.greenF(), w)),
                                               float(mix(idle.blueF(), accent.blueF(), w)),
                                               float(mix(idle.alphaF(), accent.alphaF(), w)));
        Symbols::paint(p, r, m_options.at(i).symbolName, SymbolSize + 2, colour);
    }
}

void PillPicker::mousePressEvent(QMouseEvent *event)
{
    m_pressedIndex = event->button() == Qt::LeftButton ? optionAt(event->position()) : -1;
    event->accept();
}

void PillPicker::mouseReleaseEvent(QMouseEvent *event)
{
    const int index = optionAt(event->position());
    if (event->button() == Qt::LeftButton && index >= 0 && index == m_pressedIndex)
        setCurrentIndex(index);
    m_pressedIndex = -1;
    event->accept();
}

void PillPicker::keyPressEvent(QKeyEvent *event)
{
    if (m_options.isEmpty())
        return QWidget::keyPressEvent(event);
    const int last = int(m_options.size()) - 1;
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrentIndex(std::clamp(m_currentIndex - 1, 0, last));
        return;
    case Qt::Key_Right:
        setCurrentIndex(std::clamp(m_currentIndex + 1, 0, last));
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void PillPicker::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QWidget::focusInEvent(event);
}

bool PillPicker::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
        // Without a tooltip of its own, the picker names the option under the pointer.
        auto *help = static_cast<QHelpEvent *>(event);
        const int index = optionAt(help->pos());
        if (index >= 0)
            QToolTip::showText(help->globalPos(), m_options.at(index).label, this, optionRect(index).toRect());
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
