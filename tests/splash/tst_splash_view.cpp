#include "design/animation_clock.h"
#include "design/tokens.h"
#include "splash/splash_view.h"

#include <QtTest>

/// The launch screen's entrance on a frozen clock: what shows when, checked on the view's state
/// and on its pixels.
class TestSplashView final : public QObject
{
    Q_OBJECT

    AnimationClock &clock() const { return AnimationClock::instance(); }

    static std::unique_ptr<SplashView> shownSplash()
    {
        auto splash = std::make_unique<SplashView>(
            SplashView::Options{7u, SplashSceneView::Renderer::standIn});
        splash->resize(1200, 680);
        splash->show();
        return splash;
    }

    /// The brightest of the pixels in `area` (0..255, the largest channel).
    static int brightest(const QImage &image, const QRectF &area)
    {
        int most = 0;
        const QRect r = area.toAlignedRect().intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb c = image.pixel(x, y);
                most = std::max({most, qRed(c), qGreen(c), qBlue(c)});
            }
        return most;
    }

private Q_SLOTS:
    void initTestCase() { Tokens::registerFonts(); }
    void init() { clock().setManualTime(50.0); }
    void cleanup() { clock().setManualTime(std::nullopt); }

    void entranceFollowsItsDelays_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("title");    // and the glow's opacity
        QTest::addColumn<double>("subtitle"); // and the version tag
        QTest::addColumn<double>("glowScale");
        QTest::newRow("appearing") << 0.0 << 0.0 << 0.0 << 0.8;
        QTest::newRow("title about to start") << 0.5 << 0.0 << 0.0 << 0.8;
        QTest::newRow("subtitle about to start") << 1.4 << -1.0 << 0.0 << -1.0;
        QTest::newRow("title and glow complete") << 1.9 << 1.0 << -1.0 << 1.0;
        QTest::newRow("subtitle complete") << 2.4 << 1.0 << 1.0 << 1.0;
        QTest::newRow("long after") << 30.0 << 1.0 << 1.0 << 1.0;
    }
    void entranceFollowsItsDelays()
    {
        QFETCH(double, seconds);
        QFETCH(double, title);
        QFETCH(double, subtitle);
        QFETCH(double, glowScale);
        const auto splash = shownSplash();
        clock().setManualTime(50.0 + seconds);
        QCOMPARE(splash->secondsShown(), seconds);
        // −1: halfway through, neither at its start nor its end.
        const auto check = [](double actual, double expected, double from, double to) {
            if (expected < 0)
                return actual > from + 0.01 * (to - from) && actual < to - 0.01 * (to - from);
            return qAbs(actual - expected) < 1e-9;
        };
        QVERIFY(check(splash->titleOpacity(), title, 0, 1));
        QVERIFY(check(splash->glowOpacity(), title, 0, 1));
        QVERIFY(check(splash->glowScale(), glowScale, 0.8, 1));
        QVERIFY(check(splash->subtitleOpacity(), subtitle, 0, 1));
    }

    void appearsAsBackdropAloneThenShowsItsTexts()
    {
        const auto splash = shownSplash();
        const SplashView::Layout layout = SplashView::layout(splash->size());
        QImage first = splash->grab().toImage();
        // At first there is the backdrop and nothing else: no shape has faded in, no text, no glow.
        QCOMPARE(first.pixelColor(0, 0), QColor(0x06, 0x06, 0x08));
        QCOMPARE(brightest(first, first.rect()), 0x08);

        clock().setManualTime(50.0 + 1.9);
        const QImage titled = splash->grab().toImage();
        QVERIFY(brightest(titled, layout.title) > 200);        // white at 0.9
        QVERIFY(brightest(titled, layout.symbol) > 150);       // the violet gradient
        QVERIFY(brightest(titled, layout.glow.adjusted(150, 150, -150, -150)) > 0x08);

        clock().setManualTime(50.0 + 2.4);
        const QImage complete = splash->grab().toImage();
        QVERIFY(brightest(complete, layout.subtitle) > 0x40);  // white at 0.3
        QVERIFY(brightest(titled, layout.subtitle) < brightest(complete, layout.subtitle)); // was still coming in
        QVERIFY(brightest(complete, layout.version) > 0x14);   // white at 0.12
        QVERIFY(layout.version.bottom() <= splash->height() - 20 + 0.5);
        QVERIFY(layout.subtitle.top() >= layout.title.bottom() + 13.5);
        QCOMPARE(layout.glow.center(), QPointF(600, 340));

        // The fade takes everything with it.
        splash->setFadeOpacity(0.0);
        QCOMPARE(splash->sceneView()->fadeOpacity(), 0.0);
        QImage gone(splash->size(), QImage::Format_ARGB32_Premultiplied);
        gone.fill(Qt::transparent);
        splash->render(&gone, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(brightest(gone, gone.rect()), 0);
    }

    void takesNoInputAndStopsAnimatingWhenHidden()
    {
        auto splash = shownSplash();
        QVERIFY(splash->testAttribute(Qt::WA_TransparentForMouseEvents));
        QCOMPARE(splash->focusPolicy(), Qt::NoFocus);
        QVERIFY(!splash->sceneView()->usesOpenGL());
        QVERIFY(clock().animatingCount() >= 1);
        splash->hide();
        QCOMPARE(clock().animatingCount(), 0);
        splash->show();
        QVERIFY(clock().animatingCount() >= 1);
        splash.reset();
        QCOMPARE(clock().animatingCount(), 0);
    }
};

QTEST_MAIN(TestSplashView)
#include "tst_splash_view.moc"
