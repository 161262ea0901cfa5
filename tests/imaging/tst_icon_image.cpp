// Renditions judged on their pixels: each is the mean of the area it covers, at every size; and the large
// ones leaving memory for their file while the icon is drawn.
#include "imaging/icon_image.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstdlib>
#include <thread>

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

std::atomic<int> loads{0};

// Every rendition of the icon whose PNG is at `path`, made anew from it.
QList<QImage> renditionsFromPng(const QString &path)
{
    ++loads;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray png = file.readAll();
    return IconImage(QImage::fromData(png).convertToFormat(QImage::Format_ARGB32_Premultiplied), png).renditions();
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

    void largeRenditionsLeaveMemoryWhileDrawn()
    {
        QImage full(512, 512, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < full.height(); ++y) {
            for (int x = 0; x < full.width(); ++x)
                full.setPixel(x, y, qRgb(x / 2, y / 2, (x + y) / 4));
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(full.save(&buffer, "PNG"));
        const IconImage icon(full, png);
        const IconImage copy = icon;
        const QList<QImage> made = icon.renditions();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("icon.png"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(png) == png.size());
        file.close();

        // Another thread draws the preview throughout: before, during and after the switch, always the same.
        std::atomic<bool> switched{false};
        std::atomic<int> wrong{0};
        std::thread drawing([&] {
            for (int after = 0; after < 50;) {
                after += switched ? 1 : 0;
                wrong += icon.rendition(240) == made.constLast() && copy.rendition(120) == made.at(made.size() - 2) ? 0 : 1;
            }
        });
        QTest::qWait(20);
        icon.keepPngIn(path, &renditionsFromPng);
        switched = true;
        drawing.join();
        QCOMPARE(wrong.load(), 0);
        QVERIFY(copy.loadsLargeRenditionsLazily());
        QVERIFY(loads.load() > 0);
        QCOMPARE(copy.renditions(), made);
        QCOMPARE(copy.png(), png);
    }
};

QTEST_GUILESS_MAIN(TestIconImage)
#include "tst_icon_image.moc"
