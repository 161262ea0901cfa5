// The icon PNG writer: whatever it is given, Qt's reader (libpng and zlib, strict about Huffman
// codes) and the project's own decoder read back the very pixels, and on real styled icons the
// files stay within a tenth of zlib's fastest level.
#include "imaging/image_decoder.h"
#include "imaging/png_encoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>

namespace {

QImage filled(int width, int height, QRgb colour)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QImage noise(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y)
        random.fillRange(reinterpret_cast<quint32 *>(image.scanLine(y)), width);
    return image;
}

/// Flat rows, then noise that no code shrinks, then flat rows again: coded and stored blocks in turn.
QImage flatNoiseFlat(int width, int height)
{
    QImage image = filled(width, height, qRgba(0, 0, 0, 0));
    const QImage middle = noise(width, height / 2, 4);
    for (int y = 0; y < middle.height(); ++y)
        std::memcpy(image.scanLine(height / 4 + y), middle.constScanLine(y), size_t(width) * 4);
    return image;
}

/// Row after row of runs: noise, one pixel repeated (past the longest match), ramps that grow by
/// the same step on every row (so filtered rows repeat the row above), runs that differ only in
/// alpha (matches ending inside a pixel), and transparency; segments cross the coder's bands.
QImage repeats(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator random(11);
    std::vector<QRgb> base(static_cast<size_t>(width));
    std::vector<QRgb> step(static_cast<size_t>(width));
    random.fillRange(base.data(), width);
    for (QRgb &s : step)
        s = random.generate() & 0x03030303u;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const int kind = (y / 13) % 5;
        int x = 0;
        while (x < width) {
            const int run = std::min(width - x, 1 + int(random.bounded(kind == 1 ? 700 : 90)));
            const QRgb pixel = random.generate();
            for (int i = x; i < x + run; ++i) {
                switch ((kind + i / 211) % 5) {
                case 0: line[i] = random.generate(); break;
                case 1: line[i] = pixel | 0xff000000u; break;
                case 2: line[i] = (base[size_t(i)] + quint32(y) * step[size_t(i)]) | 0xff000000u; break;
                case 3: line[i] = (pixel & 0x00ffffffu) | (i % 3 == 0 ? 0x80000000u : 0xff000000u); break;
                default: line[i] = 0; break;
                }
            }
            x += run;
        }
    }
    return image;
}

/// The straight-alpha pixels the file must hold: qUnpremultiply's, which convertToFormat's
/// vectorised conversion sometimes rounds the other way.
QImage straight(const QImage &image)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    result.reinterpretAsFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            line[x] = qUnpremultiply(line[x]);
    }
    return result;
}

QImage readWithQt(const QByteArray &png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

/// A styled reference as the styler made it: its file holds the premultiplied bytes as they are.
QImage styledReference(const QString &name)
{
    const QImage stored(QStringLiteral(TAVRUNE_STYLER_REFERENCES "/styled-%1.png").arg(name));
    QImage premultiplied = stored.convertToFormat(QImage::Format_ARGB32);
    premultiplied.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    return premultiplied;
}

/// The size of the PNG the pipeline wrote before: the "Up" filter on every row, zlib level 1.
qsizetype zlibFastestSize(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    const qsizetype rowBytes = qsizetype(rgba.width()) * 4;
    QByteArray filtered;
    filtered.reserve((rowBytes + 1) * rgba.height());
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar *row = rgba.constScanLine(y);
        filtered.append(char(2));
        for (qsizetype i = 0; i < rowBytes; ++i)
            filtered.append(char(row[i] - (y == 0 ? 0 : rgba.constScanLine(y - 1)[i])));
    }
    // The zlib stream, less qCompress's length prefix, plus the signature and three chunks.
    return qCompress(filtered, 1).size() - 4 + 8 + 25 + 12 + 12;
}

} // namespace

class TestPngEncoder final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readersGetTheSamePixels_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::newRow("1x1 opaque") << filled(1, 1, qRgb(10, 200, 30));
        QTest::newRow("1x1 transparent") << filled(1, 1, 0);
        QTest::newRow("3x7 noise") << noise(3, 7, 1);
        QTest::newRow("257x129 noise, stored") << noise(257, 129, 2);
        QTest::newRow("512x400 flat, noise, flat") << flatNoiseFlat(512, 400);
        QTest::newRow("1024 flat") << filled(1024, 1024, qRgba(255, 255, 255, 255));
        QTest::newRow("1024 repeats") << repeats(1024, 1024);
        QTest::newRow("1023x37 repeats") << repeats(1023, 37);
        QTest::newRow("2200x2100 flat, beyond the kept buffer") << filled(2200, 2100, qRgba(0, 90, 200, 255));
        QTest::newRow("9000x4 rows beyond the window") << repeats(9000, 4);
        QTest::newRow("styled icon") << styledReference(QStringLiteral("odd-translucent-1023x1025"));
        QTest::newRow("RGB888 5x3") << noise(5, 3, 3).convertToFormat(QImage::Format_RGB888);
    }

    void readersGetTheSamePixels()
    {
        QFETCH(QImage, image);
        const QByteArray png = PngEncoder::encode(image);
        const QImage expected = straight(image);
        const QImage byQt = readWithQt(png);
        QVERIFY2(!byQt.isNull(), "Qt's reader refused the file");
        QCOMPARE(byQt.convertToFormat(QImage::Format_ARGB32), expected);
        QCOMPARE(ImageDecoder::decode(png).convertToFormat(QImage::Format_ARGB32), expected);
    }

    void nullImageMakesNoFile() { QVERIFY(PngEncoder::encode(QImage()).isEmpty()); }

    void styledIconsStayWithinATenthOfZlibsFastest_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("translucent") << QStringLiteral("odd-translucent-1023x1025");
        QTest::newRow("opaque") << QStringLiteral("square-1024");
    }

    void styledIconsStayWithinATenthOfZlibsFastest()
    {
        QFETCH(QString, name);
        const QImage icon = styledReference(name);
        const qsizetype size = PngEncoder::encode(icon).size();
        const qsizetype limit = zlibFastestSize(icon) * 11 / 10;
        QVERIFY2(size <= limit, qPrintable(QStringLiteral("%1 bytes, limit %2").arg(size).arg(limit)));
    }
};

QTEST_GUILESS_MAIN(TestPngEncoder)
#include "tst_png_encoder.moc"
