#include "inspector/icon_preview_view.h"

#include "design/animation_clock.h"
#include "design/generating_overlay.h"
#include "design/placeholder_renderer.h"
#include "design/soft_shapes.h"
#include "design/symbols.h"
#include "design/tokens.h"
#include "state/app_state.h"

#include <QPainter>

namespace {

constexpr qreal BackgroundRadius = 18;
constexpr qreal ImageCornerFraction = 0.15;
constexpr qreal ImageShadowRadius = 16;
constexpr qreal ImageShadowOffset = 6;
constexpr qreal ImageShadowOpacity = 0.25;
constexpr qreal PlaceholderShadowRadius = 12;
constexpr qreal PlaceholderShadowOffset = 4;
constexpr qreal PlaceholderShadowOpacity = 0.15;
constexpr qreal BadgeInset = 8;
constexpr qreal BadgeFontSize = 10;
// The "Applied" capsule: the status green running into a deeper green.
const QColor BadgeGreenTop = colorFromHex(u"30d158");
const QColor BadgeGreenBottom = colorFromHex(u"248a3d");

/// A shadow of `content`'s shape in `colour`, blurred like a drop shadow of the given radius.
/// `content` is at device pixels; the result carries `margin` device pixels on every side.
QImage shadowOf(const QImage &content, const QColor &colour, qreal radiusDevice, int &margin)
{
    // A shadow's radius spans about two standard deviations of the blur.
    const qreal sigma = radiusDevice / 2;
    margin = qCeil(SoftShapes::blurReach(sigma));
    QImage shadow(content.size() + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(Qt::transparent);
    {
        QPainter p(&shadow);
        p.drawImage(margin, margin, content);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(shadow.rect(), colour);
    }
    SoftShapes::gaussianBlur(shadow, sigma);
    return shadow;
}

} // namespace

IconPreviewView::IconPreviewView(AppState *state, QWidget *parent)
    : QWidget(parent)
    , m_state(state)
{
    setFixedHeight(AreaHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(m_state, &AppState::selectedThemeChanged, this, qOverload<>(&QWidget::update));
}

void IconPreviewView::setFolder(FolderItem *folder)
{
    if (m_folder == folder)
        return;
    m_folder = folder;
    m_generating = false;
    refresh();
}

IconPreviewView::Content IconPreviewView::content() const
{
    if (!m_folder)
        return Content::placeholder;
    const IconState state = m_folder->iconState();
    switch (state.kind()) {
    case IconState::Kind::generating:
        return Content::generating;
    case IconState::Kind::failed:
        return Content::failed;
    case IconState::Kind::generated:
    case IconState::Kind::applied:
        return m_folder->generatedImage().isNull() ? Content::placeholder : Content::image;
    case IconState::Kind::placeholder:
        break;
    }
    return Content::placeholder;
}

bool IconPreviewView::showsAppliedBadge() const
{
    return m_folder && m_folder->iconState().is(IconState::Kind::applied);
}

QRectF IconPreviewView::iconRect() const
{
    return {(width() - Edge) / 2, (height() - Edge) / 2, Edge, Edge};
}

void IconPreviewView::refresh()
{
    const bool generating = content() == Content::generating;
    if (generating != m_generating) {
        m_generating = generating;
        // The overlay's motion starts from the moment it appears, as a fresh overlay would.
        AnimationClock &clock = AnimationClock::instance();
        if (generating) {
            m_generatingSince = clock.now();
            clock.animateForever(this);
        } else {
            clock.stop(this);
        }
    }
    update();
}

QSize IconPreviewView::sizeHint() const
{
    return {int(Edge), AreaHeight};
}

void IconPreviewView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF square = iconRect();

    const QPainterPath background = SoftShapes::continuousRoundedRect(square, BackgroundRadius);
    p.fillPath(background, Tokens::white(0.03));
    p.setPen(QPen(Tokens::white(0.06), 1));
    p.drawPath(background);

    switch (content()) {
    case Content::generating:
        GeneratingOverlay::paint(p, square, AnimationClock::instance().now() - m_generatingSince);
        break;
    case Content::image:
        paintImage(p, square);
        break;
    case Content::failed:
        paintFailed(p, square);
        break;
    case Content::placeholder:
        paintPlaceholder(p, square);
        break;
    }
    if (showsAppliedBadge())
        paintAppliedBadge(p, square);
}

void IconPreviewView::paintImage(QPainter &p, const QRectF &square)
{
    const qreal dpr = devicePixelRatioF();
    const IconImage icon = m_folder->generatedImage();
    const QColor shadowColour = Tokens::withOpacity(Tokens::accent(*m_state), ImageShadowOpacity);
    const QString key = QStringLiteral("%1/%2/%3").arg(icon.cacheKey()).arg(shadowColour.rgba()).arg(dpr);
    const int edgeDevice = qRound(Edge * dpr);

    // The clipped image, scaled once per key with good filtering, also gives the shadow its shape.
    QImage &clipped = m_clippedImage;
    if (m_clippedImageKey != key) {
        const QImage image = icon.rendition(edgeDevice);
        clipped = QImage(edgeDevice, edgeDevice, QImage::Format_ARGB32_Premultiplied);
        clipped.fill(Qt::transparent);
        QPainter ip(&clipped);
        ip.setRenderHint(QPainter::Antialiasing);
        ip.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF target(0, 0, edgeDevice, edgeDevice);
        ip.setClipPath(SoftShapes::continuousRoundedRect(target, ImageCornerFraction * edgeDevice));
        const QSizeF fitted = QSizeF(image.size()).scaled(target.size(), Qt::KeepAspectRatio);
        const QRectF placed(QPointF((edgeDevice - fitted.width()) / 2, (edgeDevice - fitted.height()) / 2), fitted);
        ip.drawImage(placed, image.scaled(fitted.toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        ip.end();
        m_clippedImageKey = key;
    }
    if (m_imageShadowKey != key) {
        int margin = 0;
        QImage shadow = shadowOf(clipped, shadowColour, ImageShadowRadius * dpr, margin);
        m_imageShadow = QPixmap::fromImage(std::move(shadow));
        m_imageShadow.setDevicePixelRatio(dpr);
        m_imageShadowKey = key;
    }
    const qreal margin = (m_imageShadow.width() / dpr - Edge) / 2;
    p.drawPixmap(square.topLeft() + QPointF(-margin, ImageShadowOffset - margin), m_imageShadow);
    p.drawImage(square, clipped);
}

void IconPreviewView::paintPlaceholder(QPainter &p, const QRectF &square)
{
    const qreal dpr = devicePixelRatioF();
    const ThemePreset theme = m_state->selectedTheme();
    const SemanticCategory category = m_folder ? m_folder->detectedCategory() : SemanticCategory::personal;
    const QPixmap icon = PlaceholderRenderer::pixmap(category, theme, Edge, dpr);
    const QColor shadowColour = Tokens::withOpacity(theme.palette.accent, PlaceholderShadowOpacity);
    const QString key = QStringLiteral("%1/%2/%3").arg(rawValue(category), theme.id).arg(dpr);
    if (m_placeholderShadowKey != key) {
        int margin = 0;
        m_placeholderShadow = QPixmap::fromImage(shadowOf(icon.toImage(), shadowColour, PlaceholderShadowRadius * dpr, margin));
        m_placeholderShadow.setDevicePixelRatio(dpr);
        m_placeholderShadowKey = key;
    }
    const qreal margin = (m_placeholderShadow.width() / dpr - icon.width() / dpr) / 2;
    p.drawPixmap(square.topLeft() + QPointF(-margin, PlaceholderShadowOffset - margin), m_placeholderShadow);
    p.drawPixmap(square.topLeft(), icon);
}

void IconPreviewView::paintFailed(QPainter &p, const QRectF &square)
{
    const QFont font = Tokens::smallFont();
    const QFontMetricsF fm(font);
    constexpr qreal SymbolSize = 32;
    constexpr qreal Gap = 8;
    const qreal total = SymbolSize + Gap + fm.height();
    const qreal top = square.center().y() - total / 2;
    Symbols::paint(p, QRectF(square.left(), top, square.width(), SymbolSize), u"exclamationmark.triangle", SymbolSize,
                   Tokens::withOpacity(Tokens::red(), 0.5));
    p.setFont(font);
    p.setPen(Tokens::white(0.35));
    // A longer translation is cut rather than spilling over the tile's edges.
    p.drawText(QRectF(square.left(), top + SymbolSize + Gap, square.width(), fm.height()), Qt::AlignCenter,
               fm.elidedText(tr("Generation failed"), Qt::ElideRight, square.width() - 8));
}

void IconPreviewView::paintAppliedBadge(QPainter &p, const QRectF &square)
{
    const QFont font = Tokens::uiFont(BadgeFontSize, QFont::DemiBold);
    const QFontMetricsF fm(font);
    const QString label = tr("Applied");
    constexpr qreal Gap = 3;
    const QSizeF inner(BadgeFontSize + Gap + fm.horizontalAdvance(label), qMax(BadgeFontSize, fm.height()));
    const QSizeF outer = inner + QSizeF(16, 8);
    const QRectF capsule(square.right() - BadgeInset - outer.width(), square.top() + BadgeInset, outer.width(),
                         outer.height());
    QLinearGradient gradient(capsule.topLeft(), capsule.bottomLeft());
    gradient.setColorAt(0, BadgeGreenTop);
    gradient.setColorAt(1, BadgeGreenBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(gradient);
    p.drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    const QRectF glyph(capsule.left() + 8, capsule.top() + 4, BadgeFontSize, inner.height());
    Symbols::paint(p, glyph, u"checkmark.seal.fill", BadgeFontSize, Qt::white);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(glyph.right() + Gap, capsule.top() + 4, fm.horizontalAdvance(label) + 1, inner.height()),
               Qt::AlignLeft | Qt::AlignVCenter, label);
}
