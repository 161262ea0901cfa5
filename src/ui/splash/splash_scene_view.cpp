#include "splash/splash_scene_view.h"

#include "design/animation_clock.h"
#include "splash/splash_3d_renderer.h"
#include "splash/splash_stand_in.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

SplashSceneView::SplashSceneView(SplashScene::Scene scene, Renderer renderer, QWidget *parent)
    : QWidget(parent)
    , m_scene(std::move(scene))
    , m_rendererChoice(renderer)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
}

SplashSceneView::SplashSceneView(QWidget *parent)
    : SplashSceneView(SplashScene::buildScene(*QRandomGenerator::global()), Renderer::automatic, parent)
{
}

SplashSceneView::~SplashSceneView() = default;

double SplashSceneView::secondsShown() const
{
    return m_started ? std::max(0.0, AnimationClock::instance().now() - m_startTime) : 0.0;
}

void SplashSceneView::setFadeOpacity(qreal opacity)
{
    opacity = std::clamp(opacity, 0.0, 1.0);
    if (opacity == m_fadeOpacity)
        return;
    m_fadeOpacity = opacity;
    update();
}

void SplashSceneView::showEvent(QShowEvent *)
{
    if (!m_started) {
        m_started = true;
        m_startTime = AnimationClock::instance().now();
        // The renderer makes its context and scene on a thread of its own; the stand-in paints
        // until its first frame (nothing is faded in yet anyway).
        if (m_rendererChoice == Renderer::automatic && !m_rendererTried)
            QTimer::singleShot(0, this, &SplashSceneView::createRenderer);
    }
    AnimationClock::instance().animateForever(this);
}

void SplashSceneView::hideEvent(QHideEvent *)
{
    AnimationClock::instance().stop(this);
}

void SplashSceneView::createRenderer()
{
    if (m_rendererTried)
        return;
    m_rendererTried = true;
    if (qEnvironmentVariable("TAVRUNE_SPLASH_RENDERER").compare(QLatin1String("2d"), Qt::CaseInsensitive) == 0)
        return;
    m_renderer = Splash3DRenderer::create(m_scene);
    // Frames are only kept here: painting follows the clock.
    connect(m_renderer.get(), &Splash3DRenderer::frameReady, this, [this](const QImage &frame) {
        const bool first = m_frame.isNull();
        m_frame = frame;
        if (first)
            update();
    });
    connect(m_renderer.get(), &Splash3DRenderer::unavailable, this, [this] {
        // No context could be made after all: the stand-in goes on painting.
        m_renderer.release()->deleteLater();
    });
}

void SplashSceneView::paintEvent(QPaintEvent *)
{
    if (m_fadeOpacity <= 0.0)
        return;
    const double seconds = secondsShown();
    QPainter p(this);
    p.setOpacity(m_fadeOpacity);
    if (m_renderer) {
        // The frame asked for now is drawn at the next tick; until the first one arrives the
        // stand-in fills in.
        const QImage frame = m_frame;
        m_renderer->requestFrame(seconds, size() * devicePixelRatioF());
        if (!frame.isNull()) {
            p.drawImage(QRectF(rect()), frame);
            return;
        }
    }
    SplashScene::paintStandIn(p, QRectF(rect()), m_scene, seconds);
}
