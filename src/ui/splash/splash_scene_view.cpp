#include "splash/splash_scene_view.h"

#include "design/animation_clock.h"
#include "splash/splash_stand_in.h"

#if __has_include("splash/splash_3d_renderer.h")
#include "splash/splash_3d_renderer.h"
#define TAVRUNE_HAS_SPLASH_3D 1
#else
// Until the OpenGL renderer is part of the build the stand-in paints every frame.
class Splash3DRenderer : public QObject
{
};
#endif

#include <QOpenGLContext>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>
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

SplashSceneView::~SplashSceneView()
{
    // The loader touches nothing of ours, but it must not outlive the application it runs in.
    if (m_driverLoader)
        m_driverLoader->wait();
}

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
        // Making a GL context can take a while on a software renderer: the first frames are
        // painted (nothing is faded in yet anyway) and the attempt follows.
        if (m_rendererChoice == Renderer::automatic && !m_rendererTried)
            startRendererAttempt();
    }
    AnimationClock::instance().animateForever(this);
}

void SplashSceneView::hideEvent(QHideEvent *)
{
    AnimationClock::instance().stop(this);
}

void SplashSceneView::startRendererAttempt()
{
    if (m_driverLoader)
        return;
    if (qEnvironmentVariable("TAVRUNE_SPLASH_RENDERER").compare(QLatin1String("2d"), Qt::CaseInsensitive) == 0) {
        m_rendererTried = true;
        return;
    }
    if (!QOpenGLContext::supportsThreadedOpenGL()) {
        QTimer::singleShot(0, this, &SplashSceneView::createRenderer);
        return;
    }
    // The first GL context of a process loads the driver: with Mesa's software renderer that is
    // most of a hundred milliseconds of CPU, during which the onboarding sheet, shown at the same
    // moment, could not take a key. A throwaway context made on a worker thread pays for it
    // there; the renderer's own attempt on this thread follows once it is done.
    m_driverLoader.reset(QThread::create([] {
        QOpenGLContext context;
        QSurfaceFormat format = QSurfaceFormat::defaultFormat();
        format.setRenderableType(QSurfaceFormat::OpenGL);
        context.setFormat(format);
        context.create();
    }));
    connect(m_driverLoader.get(), &QThread::finished, this, &SplashSceneView::createRenderer, Qt::QueuedConnection);
    m_driverLoader->start(QThread::LowPriority);
}

void SplashSceneView::createRenderer()
{
    if (m_rendererTried)
        return;
    m_rendererTried = true;
#ifdef TAVRUNE_HAS_SPLASH_3D
    m_renderer = Splash3DRenderer::create(m_scene);
    if (!m_renderer)
        return;
    // Frames are only kept here; painting follows the clock, so a renderer answering at once
    // cannot set off extra repaints.
    connect(m_renderer.get(), &Splash3DRenderer::frameReady, this, [this](const QImage &frame) {
        const bool first = m_frame.isNull();
        m_frame = frame;
        if (first)
            update();
    });
#endif
}

void SplashSceneView::paintEvent(QPaintEvent *)
{
    if (m_fadeOpacity <= 0.0)
        return;
    const double seconds = secondsShown();
    QPainter p(this);
    p.setOpacity(m_fadeOpacity);
#ifdef TAVRUNE_HAS_SPLASH_3D
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
#endif
    SplashScene::paintStandIn(p, QRectF(rect()), m_scene, seconds);
}
