#include "inspector/panel_widgets.h"

#include "design/accessible_widgets.h"
#include "design/symbols.h"
#include "design/soft_shapes.h"
#include "design/tokens.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QStyleOptionFocusRect>

namespace {
constexpr int SymbolTextGap = 4;
} // namespace

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette pal = widget->palette();
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(role, colour);
    widget->setPalette(pal);
}

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &colour, QWidget *parent, bool wrap)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    setTextColour(label, colour);
    if (wrap) {
        label->setWordWrap(true);
        // A wrapping label asks for the width of its longest line; let the layout decide instead.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setMinimumWidth(1);
    }
    return label;
}

QLabel *makeSymbolLabel(QStringView symbolName, qreal pixelSize, const QColor &colour, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFont(Symbols::font(pixelSize));
    label->setTextFormat(Qt::PlainText);
    label->setText(Symbols::glyph(symbolName));
    label->setAlignment(Qt::AlignCenter);
    setTextColour(label, colour);
    return label;
}

void setSymbol(QLabel *label, QStringView symbolName)
{
    label->setText(Symbols::glyph(symbolName));
}

QFont captionFont(qreal pixelSize)
{
    QFont font = Tokens::uiFont(pixelSize, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    return font;
}

// --- ElidedLabel ---------------------------------------------------------------------------------

ElidedLabel::ElidedLabel(QWidget *parent)
    : QWidget(parent)
    , m_colour(Qt::white)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    AccessibleWidgets::install();
}

void ElidedLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    setToolTip(text);
    // Read whole, as the tooltip shows it, however short the painted line is.
    setAccessibleName(text);
    updateGeometry();
    update();
}

QString ElidedLabel::displayedText() const
{
    return fontMetrics().elidedText(m_text, Qt::ElideMiddle, width());
}

void ElidedLabel::setColour(const QColor &colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(m_text), fm.height()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(m_colour);
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, displayedText());
}

// --- PlainTextButton -----------------------------------------------------------------------------

PlainTextButton::PlainTextButton(const QString &text, const QFont &font, const QColor &colour, QWidget *parent)
    : QAbstractButton(parent)
    , m_colour(colour)
{
    setText(text);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PlainTextButton::setSymbol(const QString &symbolName, qreal pixelSize)
{
    m_symbol = symbolName;
    m_symbolSize = pixelSize;
    updateGeometry();
    update();
}

void PlainTextButton::setColour(const QColor &colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void PlainTextButton::setBackground(const QColor &fill, QMargins padding, qreal radius)
{
    m_fill = fill;
    m_padding = padding;
    m_radius = radius;
    updateGeometry();
    update();
}

QSize PlainTextButton::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    int width = fm.horizontalAdvance(text());
    int height = fm.height();
    if (!m_symbol.isEmpty()) {
        width += qCeil(m_symbolSize) + (text().isEmpty() ? 0 : SymbolTextGap);
        height = qMax(height, qCeil(m_symbolSize));
    }
    return QSize(width, height).grownBy(m_padding);
}

void PlainTextButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_fill.alpha() > 0) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), m_radius, m_radius);
        p.fillPath(path, m_fill);
    }
    QColor colour = m_colour;
    if (isDown())
        colour.setAlphaF(colour.alphaF() * 0.6);
    QRectF content = QRectF(rect()).marginsRemoved(m_padding.toMarginsF());
    if (!m_symbol.isEmpty()) {
        const QRectF glyph(content.left(), content.center().y() - m_symbolSize / 2, m_symbolSize, m_symbolSize);
        Symbols::paint(p, glyph, m_symbol, m_symbolSize, colour);
        content.setLeft(glyph.right() + SymbolTextGap);
    }
    p.setPen(colour);
    p.setFont(font());
    p.drawText(content, Qt::AlignLeft | Qt::AlignVCenter, text());
    if (hasFocus()) {
        p.setPen(QPen(Tokens::withOpacity(colour, 0.6), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
}

// --- DividerLine ---------------------------------------------------------------------------------

DividerLine::DividerLine(const QColor &colour, QWidget *parent)
    : QWidget(parent)
    , m_colour(colour)
{
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DividerLine::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_colour);
}

// --- RoundedPanel --------------------------------------------------------------------------------

RoundedPanel::RoundedPanel(const QColor &fill, qreal radius, QWidget *parent)
    : QWidget(parent)
    , m_fill(fill)
    , m_radius(radius)
{
}

void RoundedPanel::setFill(const QColor &fill)
{
    if (fill == m_fill)
        return;
    m_fill = fill;
    update();
}

void RoundedPanel::setStroke(const QColor &stroke)
{
    if (stroke == m_stroke)
        return;
    m_stroke = stroke;
    update();
}

void RoundedPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = SoftShapes::continuousRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius);
    p.fillPath(shape, m_fill);
    if (m_stroke.alpha() > 0) {
        p.setPen(QPen(m_stroke, 1));
        p.drawPath(shape);
    }
}

QScrollArea *layOutInspectorPanel(QWidget *panel, const std::function<void(QWidget *)> &buildScrolling,
                                  const std::function<void(QWidget *)> &buildActions)
{
    auto *root = new QVBoxLayout(panel);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    auto *scroll = new QScrollArea(panel);
    styleScrollArea(scroll);
    auto *content = new QWidget(scroll);
    buildScrolling(content);
    scroll->setWidget(content);
    // The scroll area paints its content opaque by default; the panel's own surface shows through instead.
    content->setAutoFillBackground(false);
    root->addWidget(scroll, 1);

    auto *actions = new QWidget(panel);
    buildActions(actions);
    root->addWidget(actions, 0);
    return scroll;
}

void styleScrollArea(QScrollArea *area)
{
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->viewport()->setAutoFillBackground(false);
    area->setStyleSheet(QStringLiteral(
        "QScrollArea { background: transparent; }"
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 2px 2px 2px 0; }"
        "QScrollBar::handle:vertical { background: rgba(255,255,255,0.16); border-radius: 3px; min-height: 24px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
}
