#include "design/tavrune_button.h"

#include "design/symbols.h"
#include "design/tokens.h"
#include "state/app_state.h"

#include <QEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {
constexpr qreal TitleSize = 13;
constexpr qreal HintSize = 9;
constexpr qreal Spacing = 6;       // between symbol+title and the hint
constexpr qreal IconSpacing = 6;   // between the symbol and the title
constexpr qreal VerticalInset = 8;
constexpr qreal HintInsetX = 5;
constexpr qreal HintInsetY = 2;
constexpr qreal CornerRadius = 10;
constexpr qreal HintRadius = 4;
constexpr qreal DisabledOpacity = 0.5; // the inspectors dim their buttons to half while a folder generates
constexpr qreal PressedOpacity = 0.7;

QFont titleFont() { return Tokens::uiFont(TitleSize, QFont::Medium); }
QFont hintFont() { return Tokens::uiFont(HintSize, QFont::Medium); }

QColor fallbackAccent() { return ThemePreset::defaultTheme().palette.accent; }
} // namespace

TavruneButton::TavruneButton(AppState *state, const QString &title, const QString &symbolName,
                             bool isPrimary, const QString &kbd, QWidget *parent)
    : QAbstractButton(parent)
    , m_state(state)
    , m_symbolName(symbolName)
    , m_isPrimary(isPrimary)
    , m_kbd(kbd)
{
    setText(title);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    if (state)
        connect(state, &AppState::selectedThemeChanged, this, qOverload<>(&QWidget::update));
}

TavruneButton::~TavruneButton() = default;

void TavruneButton::setSymbolName(const QString &symbolName)
{
    if (m_symbolName == symbolName)
        return;
    m_symbolName = symbolName;
    updateGeometry();
    update();
}

void TavruneButton::setPrimary(bool primary)
{
    if (m_isPrimary == primary)
        return;
    m_isPrimary = primary;
    update();
}

void TavruneButton::setKbd(const QString &kbd)
{
    if (m_kbd == kbd)
        return;
    m_kbd = kbd;
    updateGeometry();
    update();
}

TavruneButton::Layout TavruneButton::layout(const QRectF &bounds) const
{
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF hintMetrics(hintFont());
    const qreal symbolWidth = m_symbolName.isEmpty() ? 0.0 : TitleSize + IconSpacing;
    const qreal titleWidth = titleMetrics.horizontalAdvance(text());
    const QSizeF hintSize = m_kbd.isEmpty()
        ? QSizeF()
        : QSizeF(hintMetrics.horizontalAdvance(m_kbd) + 2 * HintInsetX, hintMetrics.height() + 2 * HintInsetY);
    const qreal total = symbolWidth + titleWidth + (m_kbd.isEmpty() ? 0.0 : Spacing + hintSize.width());

    Layout l;
    qreal x = bounds.center().x() - total / 2.0;
    const qreal cy = bounds.center().y();
    if (!m_symbolName.isEmpty()) {
        l.symbol = QRectF(x, cy - TitleSize / 2.0 - 1, TitleSize + 2, TitleSize + 2);
        x += symbolWidth;
    }
    l.title = QRectF(x, cy - titleMetrics.height() / 2.0, titleWidth, titleMetrics.height());
    x += titleWidth;
    if (!m_kbd.isEmpty())
        l.hint = QRectF(QPointF(x + Spacing, cy - hintSize.height() / 2.0), hintSize);
    return l;
}

QRectF TavruneButton::hintRect() const
{
    return layout(rect()).hint;
}

QSize TavruneButton::sizeHint() const
{
    const Layout l = layout(QRectF(0, 0, 0, 0));
    const qreal left = l.symbol.isNull() ? l.title.left() : l.symbol.left();
    const qreal right = l.hint.isNull() ? l.title.right() : l.hint.right();
    const qreal contentHeight = std::max({l.title.height(), l.hint.height(), TitleSize});
    // The button fills the width it is offered; the hint is only a lower bound with breathing room.
    return QSize(qCeil(right - left) + 32, qCeil(contentHeight + 2 * VerticalInset));
}

QSize TavruneButton::minimumSizeHint() const
{
    return sizeHint();
}

bool TavruneButton::event(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        update();
    return QAbstractButton::event(event);
}

void TavruneButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason
        || event->reason() == Qt::ShortcutFocusReason;
    QAbstractButton::focusInEvent(event);
}

void TavruneButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (!isEnabled())
        p.setOpacity(DisabledOpacity);
    else if (isDown())
        p.setOpacity(PressedOpacity);

    const QColor accent = m_state ? Tokens::accent(*m_state) : fallbackAccent();
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(bounds, CornerRadius, CornerRadius);
    if (m_isPrimary) {
        p.fillPath(shape, accent);
    } else {
        p.fillPath(shape, Tokens::withOpacity(accent, 0.12));
        p.setPen(QPen(Tokens::withOpacity(accent, 0.2), 1.0));
        p.drawPath(shape);
    }
    if (hasFocus() && m_keyboardFocus) {
        // Keyboard focus (the button only takes focus by Tab): a ring just inside the edge.
        p.setPen(QPen(m_isPrimary ? Tokens::white(0.8) : accent, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(bounds.adjusted(1.5, 1.5, -1.5, -1.5), CornerRadius - 1.5, CornerRadius - 1.5);
    }
    if (underMouse() && isEnabled() && !isDown())
        p.fillPath(shape, Tokens::white(0.04));

    const QColor foreground = m_isPrimary ? QColor(Qt::white) : accent;
    const Layout l = layout(rect());
    if (!m_symbolName.isEmpty())
        Symbols::paint(p, l.symbol, m_symbolName, TitleSize + 1, foreground);
    p.setFont(titleFont());
    p.setPen(foreground);
    p.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter, text());

    if (!m_kbd.isEmpty()) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_isPrimary ? Tokens::white(0.2) : Tokens::white(0.08));
        p.drawRoundedRect(l.hint, HintRadius, HintRadius);
        p.setFont(hintFont());
        p.setPen(m_isPrimary ? Tokens::white(0.7) : Tokens::withOpacity(accent, 0.6));
        p.drawText(l.hint, Qt::AlignCenter, m_kbd);
    }
}
