#include "design/pixel_blit.h"

#include <QPainter>
#include <QPixmap>
#include <QtTest>

#include <cmath>

/// Cached pictures (card chrome, badges, thumbnails) land on whole device pixels as exact copies at
/// every pixel ratio, with the grid's render hints on.
class TestPixelBlit final : public QObject
{
    Q_OBJECT

    static QRgb patternAt(int x, int y) { return qRgb(40 + 20 * x, 200 - 25 * y, (x * 7 + y * 13) % 256); }

private Q_SLOTS:
    void copiesUnfilteredOntoDevicePixels_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QPointF>("offset"); // the painter's translation, as a view's scroll position
        QTest::addColumn<QPointF>("at");

        QTest::newRow("1x whole") << 1.0 << QPointF() << QPointF(10, 20);
        QTest::newRow("1x between pixels") << 1.0 << QPointF(0.5, 3) << QPointF(10.3, 7.6);
        QTest::newRow("1.25x") << 1.25 << QPointF(2, 1) << QPointF(11.1, 5.9);
        QTest::newRow("1.5x half pixel") << 1.5 << QPointF(1, 1) << QPointF(7, 9);
        QTest::newRow("1.5x") << 1.5 << QPointF(0, -4) << QPointF(21.7, 30.2);
        QTest::newRow("2x") << 2.0 << QPointF(3, 0) << QPointF(12.3, 14.8);
        QTest::newRow("3x") << 3.0 << QPointF() << QPointF(5.5, 6.25);
    }
    void copiesUnfilteredOntoDevicePixels()
    {
        QFETCH(qreal, ratio);
        QFETCH(QPointF, offset);
        QFETCH(QPointF, at);

        QImage source(9, 7, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < source.height(); ++y)
            for (int x = 0; x < source.width(); ++x)
                source.setPixel(x, y, patternAt(x, y));
        QPixmap pixmap = QPixmap::fromImage(source);
        pixmap.setDevicePixelRatio(ratio);

        const QRgb background = qRgb(12, 12, 12);
        QImage target(160, 160, QImage::Format_ARGB32_Premultiplied);
        target.setDevicePixelRatio(ratio);
        target.fill(background);
        {
            QPainter p(&target);
            p.setRenderHint(QPainter::Antialiasing);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.translate(offset);
            PixelBlit::draw(p, at, pixmap);
            // The painter is left as it was found.
            QCOMPARE(p.worldTransform(), QTransform::fromTranslate(offset.x(), offset.y()));
            QVERIFY(p.testRenderHint(QPainter::SmoothPixmapTransform));
        }

        const QPoint origin(int(std::round((at.x() + offset.x()) * ratio)), int(std::round((at.y() + offset.y()) * ratio)));
        for (int y = -1; y <= source.height(); ++y) {
            for (int x = -1; x <= source.width(); ++x) {
                const bool inside = x >= 0 && y >= 0 && x < source.width() && y < source.height();
                const QRgb want = inside ? patternAt(x, y) : background;
                QCOMPARE(QColor(target.pixel(origin + QPoint(x, y))), QColor(want));
            }
        }
    }

    void scalesWhenThePainterIsScaled()
    {
        // A card growing on hover: the picture grows with it instead of being copied at rest size.
        QImage source(10, 10, QImage::Format_ARGB32_Premultiplied);
        source.fill(Qt::white);
        QImage target(100, 100, QImage::Format_ARGB32_Premultiplied);
        target.fill(Qt::black);
        {
            QPainter p(&target);
            p.scale(3, 3);
            PixelBlit::draw(p, QPointF(1, 1), QPixmap::fromImage(source));
        }
        QCOMPARE(QColor(target.pixel(32, 32)), QColor(Qt::white));
        QCOMPARE(QColor(target.pixel(33, 33)), QColor(Qt::black));
    }
};

QTEST_MAIN(TestPixelBlit)
#include "tst_pixel_blit.moc"
