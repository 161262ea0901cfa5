#include "splash/splash_view.h"

#include "design/animation_clock.h"
#include "design/spring.h"
#include "design/symbols.h"
#include "design/tokens.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {
// The entrance: name and glow after half a second, subtitle and version overlapping them.
constexpr double TitleDelay = 0.5;
constexpr double TitleSeconds = 1.4;
constexpr double SubtitleDelay = 1.4;
constexpr double SubtitleSeconds = 1.0;
constexpr double GlowStartScale = 0.8;

constexpr qreal GlowDiameter = 400;
constexpr qreal GlowInnerRadius = 20;
constexpr qreal BlockSpacing = 14;
constexpr qreal TitleRowSpacing = 10;
constexpr qreal VersionBottomMargin = 20;

// The launch screen's own palette.
QColor backdrop() { return QColor(0x06, 0x06, 0x08); }   ///< behind everything, edge to edge
QColor violet() { return QColor(0x6c, 0x5c, 0xe7); }     ///< the glow and the symbol's lower end
QColor lilac() { return QColor(0xa7, 0x8b, 0xfa); }      ///< the symbol's upper end

const QString &titleText()
{
    static const QString text = QStringLiteral("Tavrune");
    return text;
}
const QString &subtitleText()
{
    static const QString text = QCoreApplication::translate("SplashView", "AI-Powered Folder Icons").toUpper();
    return text;
}
const QString &versionText()
{
    static const QString text = QStringLiteral("v1.0");
    return text;
}
constexpr QStringView SymbolName = u"folder.fill";

QFont titleFont()
{
    QFont font = Tokens::uiFont(34, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    return font;
}
QFont subtitleFont()
{
    QFont font = Tokens::uiFont(12, QFont::Medium);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    return font;
}
QFont symbolFont() { return Symbols::font(28); }
QFont versionFont() { return Tokens::monoFont(10); }

double progress(double seconds, double delay, double duration)
{
    return easeOut((seconds - delay) / duration);
}
} // namespace

/// The glow and the texts, above the field.
class SplashOverlay final : public QWidget
{
public:
    explicit SplashOverlay(SplashView *splash)
        : QWidget(splash)
        , m_splash(splash)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        m_splash->paintOverlay(p);
    }

private:
    SplashView *m_splash;
};

SplashView::SplashView(QWidget *parent)
    : SplashView(Options{}, parent)
{
}

SplashView::SplashView(const Options &options, QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    QRandomGenerator seeded(options.seed.value_or(0));
    QRandomGenerator &random = options.seed ? seeded : *QRandomGenerator::global();
    m_scene = new SplashSceneView(SplashScene::buildScene(random), options.renderer, this);
    m_overlay = new SplashOverlay(this);
}

SplashView::~SplashView() = default;

double SplashView::secondsShown() const
{
    return m_started ? std::max(0.0, AnimationClock::instance().now() - m_startTime) : 0.0;
}

qreal SplashView::titleOpacity() const
{
    return progress(secondsShown(), TitleDelay, TitleSeconds);
}

qreal SplashView::glowOpacity() const
{
    return progress(secondsShown(), TitleDelay, TitleSeconds);
}

qreal SplashView::glowScale() const
{
    return mix(GlowStartScale, 1.0, progress(secondsShown(), TitleDelay, TitleSeconds));
}

qreal SplashView::subtitleOpacity() const
{
    return progress(secondsShown(), SubtitleDelay, SubtitleSeconds);
}

void SplashView::setFadeOpacity(qreal opacity)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == m_fadeOpacity)
        return;
    m_fadeOpacity = opacity;
    m_scene->setFadeOpacity(opacity);
    updateOpaqueness();
    update();
}

void SplashView::updateOpaqueness()
{
    // Opaque, the splash spares the window's content beneath a repaint on every frame of the
    // field. It starts out translucent so that the content paints its first frame behind it, and
    // it is translucent again while it fades.
    const bool opaque = m_firstPainted && m_fadeOpacity >= 1.0;
    if (testAttribute(Qt::WA_OpaquePaintEvent) != opaque)
        setAttribute(Qt::WA_OpaquePaintEvent, opaque);
}

SplashView::Layout SplashView::layout(const QSizeF &size)
{
    const qreal w = size.width();
    const qreal h = size.height();
    const QFontMetricsF symbolMetrics(symbolFont());
    const QFontMetricsF titleMetrics(titleFont());
    const QFontMetricsF subtitleMetrics(subtitleFont());
    const QFontMetricsF versionMetrics(versionFont());

    const QSizeF symbol(symbolMetrics.horizontalAdvance(Symbols::glyph(SymbolName)), symbolMetrics.height());
    const QSizeF title(titleMetrics.horizontalAdvance(titleText()), titleMetrics.height());
    const QSizeF subtitle(subtitleMetrics.horizontalAdvance(subtitleText()), subtitleMetrics.height());
    const QSizeF version(versionMetrics.horizontalAdvance(versionText()), versionMetrics.height());

    const qreal rowWidth = symbol.width() + TitleRowSpacing + title.width();
    const qreal rowHeight = std::max(symbol.height(), title.height());
    const qreal top = (h - (rowHeight + BlockSpacing + subtitle.height())) / 2;
    const qreal rowLeft = (w - rowWidth) / 2;

    Layout l;
    l.glow = QRectF((w - GlowDiameter) / 2, (h - GlowDiameter) / 2, GlowDiameter, GlowDiameter);
    l.symbol = QRectF(QPointF(rowLeft, top + (rowHeight - symbol.height()) / 2), symbol);
    l.title = QRectF(QPointF(rowLeft + symbol.width() + TitleRowSpacing, top + (rowHeight - title.height()) / 2), title);
    l.subtitle = QRectF(QPointF((w - subtitle.width()) / 2, top + rowHeight + BlockSpacing), subtitle);
    l.version = QRectF(QPointF((w - version.width()) / 2, h - VersionBottomMargin - version.height()), version);
    return l;
}

const QImage &SplashView::glowImage(qreal devicePixelRatio)
{
    const int side = qCeil(GlowDiameter * devicePixelRatio);
    if (m_glow.width() != side) {
        // The radial gradient from 20 to 200 px through 12 %, 4 % and nothing, computed here rather
        // than by QPainter so that it can be dithered: so faint a violet has only a few dozen
        // levels to spread over 180 px, which shows as rings on a good display.
        m_glow = QImage(side, side, QImage::Format_ARGB32_Premultiplied);
        m_glow.setDevicePixelRatio(devicePixelRatio);
        const QColor colour = violet();
        QRandomGenerator noise(0x5eed);
        const double centre = side / 2.0;
        for (int y = 0; y < side; ++y) {
            auto *line = reinterpret_cast<QRgb *>(m_glow.scanLine(y));
            for (int x = 0; x < side; ++x) {
                const double radius = std::hypot(x + 0.5 - centre, y + 0.5 - centre) / devicePixelRatio;
                const double at = std::clamp((radius - GlowInnerRadius) / (GlowDiameter / 2 - GlowInnerRadius), 0.0, 1.0);
                const double alpha = at < 0.5 ? mix(0.12, 0.04, at * 2) : mix(0.04, 0.0, at * 2 - 1);
                if (radius > GlowDiameter / 2 || alpha <= 0.0) {
                    line[x] = 0;
                    continue;
                }
                const auto level = [&](double value) {
                    return std::clamp(int(value * 255.0 + noise.generateDouble()), 0, 255);
                };
                const int a = level(alpha);
                line[x] = qRgba(std::min(a, level(colour.redF() * alpha)), std::min(a, level(colour.greenF() * alpha)),
                                std::min(a, level(colour.blueF() * alpha)), a);
            }
        }
    }
    return m_glow;
}

void SplashView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_fadeOpacity >= 1.0) {
        p.fillRect(rect(), backdrop());
    } else {
        p.setOpacity(m_fadeOpacity);
        p.fillRect(rect(), backdrop());
    }
    if (!m_firstPainted) {
        m_firstPainted = true;
        QTimer::singleShot(0, this, &SplashView::updateOpaqueness);
    }
}

void SplashView::paintOverlay(QPainter &p)
{
    if (m_fadeOpacity <= 0.0)
        return;
    const Layout l = layout(size());
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);

    if (const qreal glow = glowOpacity() * m_fadeOpacity; glow > 0.0) {
        const qreal side = GlowDiameter * glowScale();
        p.setOpacity(glow);
        p.drawImage(QRectF(l.glow.center() - QPointF(side / 2, side / 2), QSizeF(side, side)),
                    glowImage(devicePixelRatioF()));
    }

    if (const qreal title = titleOpacity() * m_fadeOpacity; title > 0.0) {
        p.setOpacity(title);
        const QFont symbol = symbolFont();
        QPainterPath glyph;
        glyph.addText(l.symbol.left(), l.symbol.top() + QFontMetricsF(symbol).ascent(), symbol,
                      Symbols::glyph(SymbolName));
        QLinearGradient fill(l.symbol.topLeft(), l.symbol.bottomRight());
        fill.setColorAt(0.0, lilac());
        fill.setColorAt(1.0, violet());
        p.fillPath(glyph, fill);
        p.setFont(titleFont());
        p.setPen(Tokens::white(0.9));
        p.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter, titleText());
    }

    if (const qreal subtitle = subtitleOpacity() * m_fadeOpacity; subtitle > 0.0) {
        p.setOpacity(subtitle);
        p.setFont(subtitleFont());
        p.setPen(Tokens::white(0.3));
        p.drawText(l.subtitle, Qt::AlignLeft | Qt::AlignVCenter, subtitleText());
        p.setFont(versionFont());
        p.setPen(Tokens::white(0.12));
        p.drawText(l.version, Qt::AlignLeft | Qt::AlignVCenter, versionText());
    }
}

void SplashView::resizeEvent(QResizeEvent *)
{
    m_scene->setGeometry(rect());
    m_overlay->setGeometry(rect());
}

void SplashView::showEvent(QShowEvent *)
{
    AnimationClock &clock = AnimationClock::instance();
    if (!m_started) {
        m_started = true;
        m_startTime = clock.now();
    }
    // The field repaints every frame anyway; the overlay has its own end for a field that does not.
    if (secondsShown() < EntranceSeconds)
        clock.animate(m_overlay, m_startTime + EntranceSeconds);
}

void SplashView::hideEvent(QHideEvent *)
{
    AnimationClock::instance().stop(m_overlay);
}
