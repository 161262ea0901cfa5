#include "splash/splash_3d_renderer.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

class TestSplash3DWithoutGL final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The offscreen platform without a display has no OpenGL: the splash must get a clear "no"
    // (and paint its stand-in), repeatedly, without a crash or a warning storm: the renderer
    // reports itself unavailable and delivers nothing.
    void saysNoWhenNoContextCanBeMade()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
        QVERIFY(qgetenv("DISPLAY").isEmpty());
        QRandomGenerator random(3);
        const SplashScene::Scene scene = SplashScene::buildScene(random);
        for (int i = 0; i < 2; ++i) {
            auto renderer = Splash3DRenderer::create(scene);
            QSignalSpy unavailable(renderer.get(), &Splash3DRenderer::unavailable);
            QSignalSpy frames(renderer.get(), &Splash3DRenderer::frameReady);
            renderer->requestFrame(4.0, QSize(64, 40));
            QVERIFY(unavailable.wait(15000));
            QTest::qWait(50);
            QVERIFY(frames.isEmpty());
        }
    }
};

QTEST_MAIN(TestSplash3DWithoutGL)
#include "tst_splash_3d_without_gl.moc"
