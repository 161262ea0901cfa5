#include "design/generating_overlay.h"

#include "design/accessible_widgets.h"
#include "design/animation_clock.h"
#include "design/soft_shapes.h"
#include "design/spring.h"
#include "design/tokens.h"
#include "models/theme_preset.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <array>
#include <cmath>

namespace GeneratingOverlay {

namespace {

// The word the letters wave through; a translation longer than this many letters is cut.
constexpr qsizetype MaxLetters = 16;

/// An ease-in-out swing from 0 to 1 and back, `period` seconds each way, starting at `delay`.
double swing(double seconds, double period, double delay)
{
    const double t = (seconds - delay) / period;
    if (t <= 0.0)
        return 0.0;
    const double whole = std::floor(t);
    const double fraction = t - whole;
    const bool returning = std::fmod(whole, 2.0) != 0.0;
    return easeInOut(returning ? 1.0 - fraction : fraction);
}

struct Crescent
{
    QColor violet;  // colour in phase 0
    QColor crimson; // colour in phase 1
    qreal width;    // stroke width, × s
    qreal offset;   // moved down by, × s
    qreal blur;     // blur radius, × s
};

// Back to front: a white rim, a violet/crimson band and a deep blue/indigo base.
const std::array<Crescent, 3> &crescents()
{
    static const std::array<Crescent, 3> list = {{
        {QColor(Qt::white), QColor(Qt::white), 0.05, 0.05, 0.07},
        {colorFromHex(u"ad5fff"), colorFromHex(u"d60a47"), 0.10, 0.11, 0.11},
        {colorFromHex(u"471eec"), colorFromHex(u"311e80"), 0.22, 0.30, 0.22},
    }};
    return list;
}

/// The three blurred crescents of one colour phase, clipped to their circle; `frame` is 0.88 s.
QImage renderGlow(qreal s, qreal dpr, bool crimson)
{
    const qreal frame = 0.88 * s;
    const int pixels = std::max(1, int(std::lround(frame * dpr)));
    QImage glow(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    glow.fill(Qt::transparent);

    QPainter p(&glow);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addEllipse(QRectF(0, 0, pixels, pixels));
    p.setClipPath(clip);

    for (const Crescent &c : crescents()) {
        // Each crescent is drawn with room around it for its blur, then moved down into the frame.
        const qreal sigma = c.blur * s * dpr / 2.0;
        const qreal margin = std::ceil(c.width * s * dpr / 2.0 + SoftShapes::blurReach(sigma));
        const int side = pixels + 2 * int(margin);
        QImage layer(side, side, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        {
            QPainter l(&layer);
            l.setRenderHint(QPainter::Antialiasing);
            l.setPen(QPen(crimson ? c.crimson : c.violet, c.width * s * dpr));
            l.setBrush(Qt::NoBrush);
            l.drawEllipse(QRectF(margin, margin, pixels, pixels));
        }
        SoftShapes::gaussianBlur(layer, sigma);
        p.drawImage(QPointF(-margin, -margin + c.offset * s * dpr), layer);
    }
    return glow;
}

struct Glow
{
    QImage violet;
    QImage crimson;
    QImage blend; // reused for every frame of this size: no allocation while painting
};

struct GlowKey
{
    int sizePx;
    int dpr100;
    friend bool operator==(const GlowKey &, const GlowKey &) = default;
};

size_t qHash(const GlowKey &key, size_t seed = 0) noexcept { return qHashMulti(seed, key.sizePx, key.dpr100); }

Glow &glowFor(qreal s, qreal dpr)
{
    static QHash<GlowKey, Glow> cache;
    const GlowKey key{int(std::lround(s)), int(std::lround(dpr * 100))};
    auto it = cache.find(key);
    if (it == cache.end()) {
        const qreal size = key.sizePx;
        Glow glow{renderGlow(size, dpr, false), renderGlow(size, dpr, true), {}};
        glow.blend = QImage(glow.violet.size(), QImage::Format_ARGB32_Premultiplied);
        it = cache.insert(key, glow);
    }
    return *it;
}

} // namespace

double rotationDegrees(double seconds) { return 90.0 + std::fmod(std::max(0.0, seconds) / 2.0, 1.0) * 360.0; }

double colourPhase(double seconds) { return swing(seconds, 1.0, 0.0); }

double letterWave(int index, double seconds) { return swing(seconds, 0.7, 0.1 * index); }

void paint(QPainter &p, const QRectF &area, double seconds)
{
    const qreal s = std::min(area.width(), area.height());
    if (s <= 0)
        return;
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    const QPointF centre = area.center();

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.fillPath(SoftShapes::continuousRoundedRect(area, 0.225 * s), QColor(255, 255, 255, int(0.03 * 255 + 0.5)));

    // The two phases are mixed additively, which is exactly a linear blend of the two renders.
    Glow &glow = glowFor(s, dpr);
    const double phase = colourPhase(seconds);
    glow.blend.fill(Qt::transparent);
    {
        QPainter b(&glow.blend);
        b.setCompositionMode(QPainter::CompositionMode_Plus);
        b.setOpacity(1.0 - phase);
        b.drawImage(0, 0, glow.violet);
        b.setOpacity(phase);
        b.drawImage(0, 0, glow.crimson);
    }
    const qreal frame = 0.88 * s;
    p.translate(centre);
    p.rotate(rotationDegrees(seconds));
    p.drawImage(QRectF(-frame / 2, -frame / 2, frame, frame), glow.blend);
    p.restore();

    p.save();
    const QFont font = Tokens::uiFont(0.105 * s, QFont::Light);
    p.setFont(font);
    const QFontMetricsF metrics(font);
    const qreal spacing = 0.004 * s;
    const QString word = QCoreApplication::translate("GeneratingOverlay", "Generating", "the word waving over an icon being made; keep it short")
                             .left(MaxLetters);
    const size_t letters = size_t(word.size());
    qreal total = spacing * qreal(letters - 1);
    std::array<qreal, MaxLetters> advances{};
    for (size_t i = 0; i < letters; ++i) {
        advances[i] = metrics.horizontalAdvance(word.at(i));
        total += advances[i];
    }
    qreal x = centre.x() - total / 2.0;
    const qreal height = metrics.height();
    for (size_t i = 0; i < letters; ++i) {
        const double wave = letterWave(int(i), seconds);
        const QRectF cell(x, centre.y() - height / 2.0, advances[i], height);
        p.setOpacity(0.4 + 0.6 * wave);
        p.setPen(Qt::white);
        const qreal scale = 1.0 + 0.15 * wave;
        const QTransform base = p.transform();
        p.translate(cell.center());
        p.scale(scale, scale);
        p.translate(-cell.center());
        p.drawText(cell, Qt::AlignCenter, QString(word.at(i)));
        p.setTransform(base);
        x += advances[i] + spacing;
    }
    p.restore();
}

} // namespace GeneratingOverlay

GeneratingOverlayWidget::GeneratingOverlayWidget(QWidget *parent) : QWidget(parent)
{
    AccessibleWidgets::install();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // Its letters are decoration: a screen reader hears what it means, once.
    setAccessibleName(tr("Generating…"));
}

void GeneratingOverlayWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_shownAt = AnimationClock::instance().now();
    AnimationClock::instance().animateForever(this);
}

void GeneratingOverlayWidget::hideEvent(QHideEvent *event)
{
    AnimationClock::instance().stop(this);
    QWidget::hideEvent(event);
}

void GeneratingOverlayWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    GeneratingOverlay::paint(p, QRectF(rect()), AnimationClock::instance().now() - m_shownAt);
}
