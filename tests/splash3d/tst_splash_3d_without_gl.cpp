#include "splash/splash_3d_renderer.h"

#include <QRandomGenerator>
#include <QtTest>

class TestSplash3DWithoutGL final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The offscreen platform without a display has no OpenGL: the splash must get a clear "no"
    // (and paint its stand-in), repeatedly, without a crash or a warning storm.
    void createReturnsNullWhenNoContextCanBeMade()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
        QVERIFY(qgetenv("DISPLAY").isEmpty());
        QRandomGenerator random(3);
        const SplashScene::Scene scene = SplashScene::buildScene(random);
        for (int i = 0; i < 2; ++i)
            QVERIFY(!Splash3DRenderer::create(scene));
    }
};

QTEST_MAIN(TestSplash3DWithoutGL)
#include "tst_splash_3d_without_gl.moc"
