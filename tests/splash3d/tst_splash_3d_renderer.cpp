#include "splash/splash_3d_renderer.h"
#include "splash/splash_scene_view.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <dlfcn.h>

namespace {

constexpr quint32 seed = 11;
const QSize frameSize(480, 300);

SplashScene::Scene testScene()
{
    QRandomGenerator random(seed);
    return SplashScene::buildScene(random);
}

QImage frameAt(Splash3DRenderer &renderer, double seconds, QSize size = frameSize)
{
    QSignalSpy ready(&renderer, &Splash3DRenderer::frameReady);
    QSignalSpy unavailable(&renderer, &Splash3DRenderer::unavailable);
    renderer.requestFrame(seconds, size);
    // Frames come from the renderer's own thread: never within the call.
    if (!ready.isEmpty())
        return {};
    if (!QTest::qWaitFor([&] { return !ready.isEmpty() || !unavailable.isEmpty(); }, 15000))
        return {};
    return ready.isEmpty() ? QImage() : ready.last().at(0).value<QImage>();
}

int alphaAt(const QImage &image, QPoint p)
{
    return image.rect().contains(p) ? qAlpha(image.pixel(p)) : 0;
}

} // namespace

class TestSplash3DRenderer final : public QObject
{
    Q_OBJECT

    std::unique_ptr<Splash3DRenderer> renderer;
    SplashScene::Scene scene = testScene();

private Q_SLOTS:
    void initTestCase()
    {
        renderer = Splash3DRenderer::create(scene);
        if (frameAt(*renderer, 0.0).isNull())
            QSKIP("No OpenGL context can be made on this display (no GL driver?): the Qt 3D splash "
                  "renderer is not exercised here.");
    }

    void cleanupTestCase()
    {
        renderer.reset();
        // Mesa unloads its GL driver when the display closes, before the leak check runs; keeping
        // it mapped lets that check attribute the driver's one-time allocations to it (lsan.supp).
        QFile maps(QStringLiteral("/proc/self/maps"));
        if (maps.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : maps.readAll().split('\n')) {
                const QByteArray path = line.mid(line.indexOf('/'));
                if (line.contains('/') && path.endsWith("_dri.so"))
                    dlopen(path.constData(), RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            }
        }
    }

    // Before the first node starts fading in there is nothing to see: fully transparent.
    void nothingAtTheStart()
    {
        const QImage frame = frameAt(*renderer, 0.0);
        QCOMPARE(frame.size(), frameSize);
        QCOMPARE(frame.format(), QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x)
                QCOMPARE(qAlpha(frame.pixel(x, y)), 0);
    }

    // Once every node has faded in, each node in view covers the pixels around its projected
    // centre (where its camera, pose and projection put it), the background between them stays
    // transparent, and colours are premultiplied.
    void nodesWhereTheCameraSeesThem()
    {
        const double t = 4.0;
        const QImage frame = frameAt(*renderer, t);
        QCOMPARE(frame.size(), frameSize);

        const QMatrix4x4 viewProjection =
            SplashScene::projectionMatrix(scene.camera, float(frameSize.width()) / frameSize.height())
            * SplashScene::viewMatrix(scene.camera, t);
        int checked = 0;
        for (const SplashScene::Node &node : scene.nodes) {
            // A torus's centre is its hole.
            if (scene.shapes.at(std::size_t(node.shapeIndex)).kind == SplashScene::ShapeKind::torus)
                continue;
            const QVector3D ndc = viewProjection.map(SplashScene::poseAt(node, t).position);
            const QPoint centre(int((ndc.x() + 1) / 2 * frameSize.width()), int((1 - ndc.y()) / 2 * frameSize.height()));
            if (!QRect(QPoint(2, 2), frameSize - QSize(4, 4)).contains(centre))
                continue;
            int covered = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    covered = std::max(covered, alphaAt(frame, centre + QPoint(dx, dy)));
            QVERIFY2(covered > 40, qPrintable(QStringLiteral("nothing drawn at (%1, %2)").arg(centre.x()).arg(centre.y())));
            ++checked;
        }
        QVERIFY(checked >= 5);

        int transparent = 0;
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb p = frame.pixel(x, y);
                QVERIFY(qRed(p) <= qAlpha(p) && qGreen(p) <= qAlpha(p) && qBlue(p) <= qAlpha(p));
                transparent += qAlpha(p) == 0;
            }
        }
        // A sparse field: most of the frame shows what is behind it.
        QVERIFY(transparent > frame.width() * frame.height() * 3 / 4);
        QVERIFY(transparent < frame.width() * frame.height());
    }

    // Requests made while a frame is in flight collapse into the latest: the last frame
    // delivered is the one asked for last.
    void requestsCoalesceToTheLatest()
    {
        const QImage expected = frameAt(*renderer, 6.0);
        QSignalSpy ready(renderer.get(), &Splash3DRenderer::frameReady);
        renderer->requestFrame(2.0, frameSize);
        renderer->requestFrame(3.0, frameSize);
        renderer->requestFrame(6.0, frameSize);
        QTRY_VERIFY_WITH_TIMEOUT(!ready.isEmpty() && ready.last().at(0).value<QImage>() == expected, 15000);
        QVERIFY(ready.size() <= 2);
    }

    // A new size is honoured at once (device pixels, as asked).
    void followsTheRequestedSize()
    {
        QCOMPARE(frameAt(*renderer, 4.0, QSize(321, 203)).size(), QSize(321, 203));
    }

    // Creating and destroying renderers repeatedly, also with a frame still in flight, leaves
    // nothing behind (the sanitizer build checks that nothing leaks or is used after it is freed).
    void recreatedCleanly()
    {
        for (int i = 0; i < 2; ++i) {
            auto another = Splash3DRenderer::create(scene);
            QVERIFY(!frameAt(*another, 4.0, QSize(64, 40)).isNull());
        }
        auto interrupted = Splash3DRenderer::create(scene);
        interrupted->requestFrame(5.0, QSize(64, 40));
        QTest::qWait(20);
        interrupted.reset();
        QTest::qWait(50);
    }

    // The window's scene view takes the renderer after its first show; one destroyed while the
    // renderer's thread is still making its context goes quietly.
    void sceneViewTakesTheRenderer()
    {
        {
            SplashSceneView gone(scene, SplashSceneView::Renderer::automatic);
            gone.resize(64, 40);
            gone.show();
            QTest::qWait(1);
            QVERIFY(gone.usesOpenGL());
        }
        SplashSceneView view(scene, SplashSceneView::Renderer::automatic);
        view.resize(320, 200);
        view.show();
        QTRY_VERIFY_WITH_TIMEOUT(view.usesOpenGL(), 15000);
    }
};

QTEST_MAIN(TestSplash3DRenderer)
#include "tst_splash_3d_renderer.moc"
