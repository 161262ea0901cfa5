#include "design/toast_view.h"

#include "design/accessible_widgets.h"
#include "design/blur.h"
#include "design/symbols.h"
#include "design/tokens.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QtMath>

namespace {
constexpr qreal SymbolSize = 15;
constexpr qreal Spacing = 10;
constexpr qreal InsetX = 18;
constexpr qreal InsetY = 12;
constexpr qreal ShadowRadius = 18;
constexpr qreal ShadowOffsetY = 8;
constexpr int MaxLines = 2;

QFont messageFont() { return Tokens::uiFont(13, QFont::Medium); }
} // namespace

ToastView::ToastView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    AccessibleWidgets::install();
    relayout();
}

ToastView::~ToastView() = default;

QString ToastView::symbolName(Toast::Kind kind)
{
    switch (kind) {
    case Toast::Kind::success:
        return QStringLiteral("checkmark.circle.fill");
    case Toast::Kind::error:
    case Toast::Kind::warning:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Toast::Kind::info:
        break;
    }
    return QStringLiteral("info.circle.fill");
}

QMargins ToastView::shadowMargins()
{
    const int reach = qCeil(ShadowRadius);
    return QMargins(reach, std::max(0, reach - int(ShadowOffsetY)), reach, reach + int(ShadowOffsetY));
}

void ToastView::setToast(const Toast &toast)
{
    if (toast == m_toast)
        return;
    m_toast = toast;
    setAccessibleName(toast.message);
    relayout();
    // A toast replaced in place is announced again; one arriving from nothing is as it shows.
    if (isVisible())
        AccessibleWidgets::announce(this, true);
}

void ToastView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    AccessibleWidgets::announce(this, false);
}

void ToastView::setMaximumCapsuleWidth(int width)
{
    width = std::max(width, 120);
    if (width == m_maximumCapsuleWidth)
        return;
    m_maximumCapsuleWidth = width;
    relayout();
}

void ToastView::setOpacity(qreal opacity)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (qFuzzyCompare(opacity, m_opacity))
        return;
    m_opacity = opacity;
    update();
}

QStringList ToastView::displayedLines() const
{
    return m_lines;
}

void ToastView::relayout()
{
    const QFont font = messageFont();
    const QFontMetricsF metrics(font);
    const qreal maxTextWidth = m_maximumCapsuleWidth - 2 * InsetX - SymbolSize - Spacing;

    // Wrap at word boundaries; whatever does not fit on the second line is elided into it.
    QTextLayout layout(m_toast.message, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    m_lines.clear();
    qreal widest = 0;
    for (int n = 0;; ++n) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(maxTextWidth);
        if (n == MaxLines - 1) {
            const QString rest = m_toast.message.mid(line.textStart()).simplified();
            const QString elided = metrics.elidedText(rest, Qt::ElideRight, maxTextWidth);
            m_lines.append(elided);
            widest = std::max(widest, metrics.horizontalAdvance(elided));
            break;
        }
        const QString text = m_toast.message.mid(line.textStart(), line.textLength()).trimmed();
        m_lines.append(text);
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    layout.endLayout();
    if (m_lines.isEmpty())
        m_lines.append(QString());

    const qreal textHeight = metrics.lineSpacing() * qreal(m_lines.size());
    const qreal contentHeight = std::max(textHeight, SymbolSize + 3);
    m_capsuleSize = QSizeF(std::ceil(2 * InsetX + SymbolSize + Spacing + widest), std::ceil(contentHeight + 2 * InsetY));
    m_shadow = QPixmap();
    const QMargins m = shadowMargins();
    resize(int(m_capsuleSize.width()) + m.left() + m.right(), int(m_capsuleSize.height()) + m.top() + m.bottom());
    updateGeometry();
    update();
}

QRectF ToastView::capsuleRect() const
{
    const QMargins m = shadowMargins();
    return QRectF(QPointF(m.left(), m.top()), m_capsuleSize);
}

QSize ToastView::sizeHint() const
{
    const QMargins m = shadowMargins();
    return QSize(int(m_capsuleSize.width()) + m.left() + m.right(), int(m_capsuleSize.height()) + m.top() + m.bottom());
}

void ToastView::paintEvent(QPaintEvent *)
{
    if (m_opacity <= 0.0)
        return;
    QPainter p(this);
    p.setOpacity(m_opacity);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    const QRectF capsule = capsuleRect();
    const qreal radius = capsule.height() / 2.0;
    const qreal dpr = devicePixelRatioF();
    if (m_shadow.isNull() || !qFuzzyCompare(m_shadow.devicePixelRatio(), dpr)) {
        QImage image(QSize(width(), height()) * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter sp(&image);
        sp.setRenderHint(QPainter::Antialiasing);
        sp.setPen(Qt::NoPen);
        sp.setBrush(Tokens::toastShadow());
        sp.drawRoundedRect(capsule.translated(0, ShadowOffsetY), radius, radius);
        sp.end();
        Blur::gaussian(image, ShadowRadius);
        m_shadow = QPixmap::fromImage(std::move(image));
    }
    p.drawPixmap(QPointF(0, 0), m_shadow);

    p.setPen(QPen(Tokens::toastOutline(), 1.0));
    p.setBrush(Tokens::toastBackground());
    p.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);

    QColor symbolColour = Tokens::white(0.7);
    if (m_toast.kind == Toast::Kind::success)
        symbolColour = Tokens::green();
    else if (m_toast.kind == Toast::Kind::error)
        symbolColour = Tokens::red();
    else if (m_toast.kind == Toast::Kind::warning)
        symbolColour = Tokens::orange();
    const QRectF content = capsule.adjusted(InsetX, InsetY, -InsetX, -InsetY);
    const QRectF symbolRect(content.left() - 1, content.center().y() - SymbolSize / 2.0 - 1, SymbolSize + 2, SymbolSize + 2);
    Symbols::paint(p, symbolRect, symbolName(m_toast.kind), SymbolSize + 2, symbolColour);

    const QFont font = messageFont();
    const QFontMetricsF metrics(font);
    p.setFont(font);
    p.setPen(Qt::white);
    const qreal textHeight = metrics.lineSpacing() * qreal(m_lines.size());
    qreal y = content.center().y() - textHeight / 2.0;
    const qreal x = content.left() + SymbolSize + Spacing;
    for (const QString &line : std::as_const(m_lines)) {
        p.drawText(QRectF(x, y, content.right() - x + 1, metrics.lineSpacing()), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += metrics.lineSpacing();
    }
}
