// Renditions judged on their pixels: each is the mean of the area it covers, at every size.
#include "imaging/icon_image.h"

#include <QtTest>

#include <cstdlib>

namespace {

/// Columns `stripe` pixels wide, alternately black and white: a scaler that samples instead of
/// averaging shows stripes or a wrong shade; averaging gives an even grey.
QImage stripes(int width, int height, int stripe)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = (x / stripe) % 2 ? 0xffffffffu : 0xff000000u;
    }
    return image;
}

QImage filled(int width, int height, QRgb premultiplied)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(premultiplied);
    return image;
}

} // namespace

class TestIconImage final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void renditionsAreAreaAverages_data()
    {
        QTest::addColumn<QImage>("full");
        QTest::addColumn<QRgb>("mean");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("stripes of 1 px, 1024") << stripes(1024, 1024, 1) << QRgb(0xff808080u) << 1;
        QTest::newRow("stripes of 1 px, 2048") << stripes(2048, 2048, 1) << QRgb(0xff808080u) << 1;
        // Halved to stripes of 1 px, then 2.13 of them to a pixel: within a tenth of a stripe's share.
        QTest::newRow("stripes of 2 px, 1024") << stripes(1024, 1024, 2) << QRgb(0xff808080u) << 10;
        // A flat colour stays exactly itself: the weights add up to one whole.
        QTest::newRow("translucent colour, 1024") << filled(1024, 1024, 0x80402010u) << QRgb(0x80402010u) << 0;
        QTest::newRow("translucent colour, 500 x 700") << filled(500, 700, 0xc0603000u) << QRgb(0xc0603000u) << 0;
        QTest::newRow("translucent colour, odd 1023 x 1025") << filled(1023, 1025, 0x40302010u) << QRgb(0x40302010u) << 0;
    }

    void renditionsAreAreaAverages()
    {
        QFETCH(QImage, full);
        QFETCH(QRgb, mean);
        QFETCH(int, tolerance);
        const IconImage icon(full, QByteArray("png"));
        QCOMPARE(icon.renditions().size(), IconImage::renditionSidesFor(full.size()).size());
        for (const QImage &rendition : icon.renditions()) {
            QCOMPARE(rendition.format(), QImage::Format_ARGB32_Premultiplied);
            for (int y = 0; y < rendition.height(); ++y) {
                const auto *line = reinterpret_cast<const QRgb *>(rendition.constScanLine(y));
                for (int x = 0; x < rendition.width(); ++x) {
                    for (int shift = 0; shift < 32; shift += 8) {
                        const int got = int((line[x] >> shift) & 0xff);
                        const int want = int((mean >> shift) & 0xff);
                        if (std::abs(got - want) > tolerance)
                            QFAIL(qPrintable(QStringLiteral("%1 px rendition: pixel (%2, %3) is %4, not about %5")
                                                 .arg(rendition.width()).arg(x).arg(y)
                                                 .arg(line[x], 8, 16, QLatin1Char('0')).arg(mean, 8, 16, QLatin1Char('0'))));
                    }
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestIconImage)
#include "tst_icon_image.moc"
