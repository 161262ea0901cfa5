#include "imaging/icon_styler.h"
#include "imaging/image_decoder.h"

#include "fake_open_router.h"

#include <QPainter>
#include <QTest>

namespace {


quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(QByteArray &bytes, int at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (24 - 8 * i)) & 0xff);
}

/// A valid PNG whose header claims a huge size: a few bytes that would decode into gigabytes.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray png = FakeReply::encode(QImage(4, 4, QImage::Format_RGB32), "png");
    // Signature (8), IHDR length (4), "IHDR" (4), width and height, then the chunk's CRC.
    putBigEndian(png, 16, width);
    putBigEndian(png, 20, height);
    putBigEndian(png, 29, crc32(png.mid(12, 17)));
    return png;
}

/// A chunk: length, type, data and CRC.
QByteArray chunk(const char *type, const QByteArray &data)
{
    QByteArray out(4, '\0');
    putBigEndian(out, 0, quint32(data.size()));
    out += QByteArray(type, 4) + data;
    out += QByteArray(4, '\0');
    putBigEndian(out, out.size() - 4, crc32(out.mid(4, data.size() + 4)));
    return out;
}

/// An 8-bit RGB or RGBA PNG of `image` (its alpha dropped for RGB) whose rows are all filtered with
/// `filter`, or with each filter in turn for −1, split over several IDAT chunks.
QByteArray pngWithFilter(const QImage &image, int filter, bool withAlpha)
{
    const int bpp = withAlpha ? 4 : 3;
    const int length = image.width() * bpp;
    QByteArray raw;
    QByteArray above(length, '\0');
    for (int y = 0; y < image.height(); ++y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            row += char(qRed(pixel));
            row += char(qGreen(pixel));
            row += char(qBlue(pixel));
            if (withAlpha)
                row += char(qAlpha(pixel));
        }
        const int type = filter < 0 ? y % 5 : filter;
        raw += char(type);
        for (int i = 0; i < length; ++i) {
            const int a = i >= bpp ? uchar(row[i - bpp]) : 0;
            const int b = uchar(above[i]);
            const int c = i >= bpp ? uchar(above[i - bpp]) : 0;
            const int p = a + b - c;
            const int paeth = std::abs(p - a) <= std::abs(p - b) && std::abs(p - a) <= std::abs(p - c) ? a
                              : std::abs(p - b) <= std::abs(p - c)                                   ? b
                                                                                                      : c;
            const int predictions[5] = {0, a, b, (a + b) / 2, paeth};
            raw += char(uchar(row[i]) - predictions[type]);
        }
        above = row;
    }
    const QByteArray zlib = qCompress(raw).mid(4); // without Qt's length prefix
    QByteArray header(13, '\0');
    putBigEndian(header, 0, quint32(image.width()));
    putBigEndian(header, 4, quint32(image.height()));
    header[8] = 8;
    header[9] = char(withAlpha ? 6 : 2);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += chunk("IHDR", header);
    const qsizetype half = zlib.size() / 2;
    png += chunk("IDAT", zlib.left(half));
    png += chunk("IDAT", zlib.mid(half));
    png += chunk("IEND", QByteArray());
    return png;
}

/// A source whose columns left of `edge` and right of width − edge are red, the rest green.
QImage bandedSource(int width, int height, int edge)
{
    QImage source(width, height, QImage::Format_RGB32);
    source.fill(Qt::green);
    QPainter painter(&source);
    painter.fillRect(0, 0, edge, height, Qt::red);
    painter.fillRect(width - edge, 0, edge, height, Qt::red);
    return source;
}

bool isRed(QRgb pixel) { return qRed(pixel) > 200 && qGreen(pixel) < 60; }
bool isGreen(QRgb pixel) { return qGreen(pixel) > 200 && qRed(pixel) < 60; }

} // namespace

/// The styled icon checked on its pixels: canvas, plate, shadow, aspect fill and the crop.
class TestIconStyler final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void canvasIsA1024SquareWithTransparentMargin()
    {
        const QImage icon = IconStyler::appIconStyled(bandedSource(300, 300, 10));
        QCOMPARE(icon.size(), QSize(1024, 1024));
        QCOMPARE(icon.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(qAlpha(icon.pixel(2, 2)), 0);
        QCOMPARE(qAlpha(icon.pixel(1021, 2)), 0);
        // The rounded corner (radius 185.4) leaves the plate's corner itself empty of picture.
        QVERIFY(!isGreen(icon.pixel(103, 103)) && !isRed(icon.pixel(103, 103)));
        QCOMPARE(IconStyler::cornerRadius, 185.4);
    }

    void wideSourceIsScaledToFillAndCroppedToThePlate()
    {
        // 1536 × 1024 is scaled by 824/1024 and drawn 1236 × 824 at x −106: only source columns
        // 256 … 1280 are visible. Red bands of 280 columns reach 19 pixels into the plate.
        const QRectF rect = IconStyler::pictureRect(QSize(1536, 1024));
        QCOMPARE(rect, QRectF(-106, 100, 1236, 824));

        const QImage icon = IconStyler::appIconStyled(bandedSource(1536, 1024, 280));
        QVERIFY(isRed(icon.pixel(110, 512)));
        QVERIFY(isGreen(icon.pixel(130, 512)));
        QVERIFY(isRed(icon.pixel(913, 512)));
        QVERIFY(isGreen(icon.pixel(893, 512)));

        // With bands of 250 columns nothing red is left: they lie entirely in the crop.
        const QImage cropped = IconStyler::appIconStyled(bandedSource(1536, 1024, 250));
        QVERIFY(isGreen(cropped.pixel(101, 512)));
        QVERIFY(isGreen(cropped.pixel(922, 512)));
        QVERIFY(!isGreen(cropped.pixel(97, 512)));   // outside the plate
        QVERIFY(!isGreen(cropped.pixel(926, 512)));
    }

    void tallSourceIsCroppedTopAndBottom()
    {
        const QImage source = bandedSource(1536, 1024, 280).transformed(QTransform().rotate(90));
        QCOMPARE(source.size(), QSize(1024, 1536));
        QCOMPARE(IconStyler::pictureRect(source.size()), QRectF(100, -106, 824, 1236));
        const QImage icon = IconStyler::appIconStyled(source);
        QVERIFY(isRed(icon.pixel(512, 110)));
        QVERIFY(isGreen(icon.pixel(512, 130)));
        QVERIFY(isRed(icon.pixel(512, 913)));
    }

    void squareSourceCoversExactlyThePlate_data()
    {
        QTest::addColumn<int>("side");
        QTest::newRow("small") << 64;
        QTest::newRow("plate size") << 824;
        QTest::newRow("large") << 2048;
    }

    void squareSourceCoversExactlyThePlate()
    {
        QFETCH(int, side);
        QCOMPARE(IconStyler::pictureRect(QSize(side, side)), QRectF(100, 100, 824, 824));
        // A green square with a red left half: the boundary lands on the plate's centre line.
        QImage source(side, side, QImage::Format_RGB32);
        source.fill(Qt::green);
        QPainter(&source).fillRect(0, 0, side / 2, side, Qt::red);
        const QImage icon = IconStyler::appIconStyled(source);
        QVERIFY(isRed(icon.pixel(101, 512)));
        QVERIFY(isRed(icon.pixel(505, 512)));
        QVERIFY(isGreen(icon.pixel(519, 512)));
        QVERIFY(isGreen(icon.pixel(922, 512)));
        QVERIFY(isGreen(icon.pixel(700, 101)));
        QVERIFY(isGreen(icon.pixel(700, 922)));
        QVERIFY(!isGreen(icon.pixel(700, 97)));
        QVERIFY(!isGreen(icon.pixel(926, 512)));
    }

    void shadowFallsBelowThePlate()
    {
        const QImage icon = IconStyler::appIconStyled(bandedSource(100, 100, 0));
        const QRgb below = icon.pixel(512, 930);
        const QRgb above = icon.pixel(512, 94);
        QVERIFY(qAlpha(below) > 0);
        QCOMPARE(qRed(below), 0); // black
        QVERIFY2(qAlpha(below) > qAlpha(above) + 10, "the shadow is offset downward");
        QVERIFY(qAlpha(below) <= 77); // never darker than black at 0.3
        QCOMPARE(qAlpha(icon.pixel(512, 1010)), 0);
    }

    void transparentSourceShowsTheWhitePlate()
    {
        QImage clear(200, 200, QImage::Format_ARGB32);
        clear.fill(Qt::transparent);
        const QImage icon = IconStyler::appIconStyled(clear);
        QCOMPARE(icon.pixel(512, 512), qRgba(255, 255, 255, 255));
        QVERIFY(clear.pixel(0, 0) == 0u); // the source is not modified
    }

    void sourceWithoutBitmapIsStretchedOverTheCanvas()
    {
        const QImage icon = IconStyler::appIconStyled(QImage());
        QCOMPARE(icon.size(), QSize(1024, 1024));
        QCOMPARE(qAlpha(icon.pixel(512, 512)), 0); // no plate
        QCOMPARE(qAlpha(icon.pixel(512, 930)), 0); // no shadow
    }

    void iconsStillHeldKeepTheirPixels()
    {
        // The styler and the decoder reuse their large images for the next icon on a thread, but
        // never one that someone still holds.
        const QImage first = IconStyler::appIconStyled(bandedSource(640, 480, 100));
        const QImage firstPixels = first.copy();
        const QImage second = IconStyler::appIconStyled(bandedSource(480, 640, 30));
        QCOMPARE(first, firstPixels);
        QVERIFY(second != first);

        const QImage decoded = ImageDecoder::decode(FakeReply::encode(bandedSource(300, 200, 20), "png"));
        const QImage decodedPixels = decoded.copy();
        const QImage other = ImageDecoder::decode(FakeReply::encode(bandedSource(300, 200, 90), "png"));
        QCOMPARE(decoded, decodedPixels);
        QVERIFY(other != decoded);
    }

    void pngEncodingRoundTrips()
    {
        const QImage icon = IconStyler::appIconStyled(bandedSource(640, 480, 100));
        const QByteArray png = IconStyler::encodePng(icon);
        QVERIFY(png.startsWith("\x89PNG"));
        const QImage decoded = ImageDecoder::decode(png);
        QCOMPARE(decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied), icon);
    }

    void decoderReadsCommonFormats_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("png") << QByteArray("png");
        QTest::newRow("jpeg") << QByteArray("jpeg");
        QTest::newRow("webp") << QByteArray("webp");
    }

    void decoderReadsCommonFormats()
    {
        QFETCH(QByteArray, format);
        const QImage decoded = ImageDecoder::decode(FakeReply::encode(bandedSource(300, 200, 20), format.constData()));
        QCOMPARE(decoded.size(), QSize(300, 200));
    }

    void pngDecodesAsQtsReaderDoes_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("RGB") << int(QImage::Format_RGB32);
        QTest::newRow("RGBA") << int(QImage::Format_ARGB32);
        QTest::newRow("grey") << int(QImage::Format_Grayscale8);
        QTest::newRow("palette") << int(QImage::Format_Indexed8);
        QTest::newRow("16-bit RGBA") << int(QImage::Format_RGBA64);
    }

    void pngDecodesAsQtsReaderDoes()
    {
        QFETCH(int, format);
        // Noise over gradients, so the writer uses every row filter; odd sizes for the edges.
        QImage source(301, 203, QImage::Format_ARGB32);
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x) {
                const int noise = int((quint32(x) * 2654435761u ^ quint32(y) * 40503u) >> 27);
                source.setPixel(x, y, qRgba(x % 256, (y * 3 + noise) % 256, (x * y) % 256, 255 - (x + noise) % 256));
            }
        }
        const QByteArray png = FakeReply::encode(source.convertToFormat(QImage::Format(format)), "png");
        const QImage expected = QImage::fromData(png, "png");
        const QImage decoded = ImageDecoder::decode(png);
        QCOMPARE(decoded.format(), expected.format());
        QCOMPARE(decoded, expected);

        // A damaged chunk is refused, as Qt's reader refuses it.
        QByteArray damaged = png;
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x5a);
        QCOMPARE(ImageDecoder::decode(damaged).isNull(), QImage::fromData(damaged, "png").isNull());
        QVERIFY(ImageDecoder::decode(png.left(png.size() - 40)).isNull());
    }

    void everyRowFilterIsUndone_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<bool>("withAlpha");
        QTest::addColumn<bool>("translucent");
        const char *names[] = {"none", "sub", "up", "average", "paeth"};
        for (int filter = -1; filter < 5; ++filter) {
            const QLatin1String name(filter < 0 ? "mixed" : names[filter]);
            QTest::newRow(qPrintable(name + QLatin1String(", RGB"))) << filter << false << false;
            QTest::newRow(qPrintable(name + QLatin1String(", RGBA"))) << filter << true << true;
        }
        // Nothing to convert: decoded as RGB32.
        QTest::newRow("mixed, RGBA all opaque") << -1 << true << false;
    }

    void everyRowFilterIsUndone()
    {
        QFETCH(int, filter);
        QFETCH(bool, withAlpha);
        QFETCH(bool, translucent);
        // Steep noise makes every prediction go round 255; 37 columns leave a tail of odd pixels.
        QImage source(37, 23, QImage::Format_ARGB32);
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x) {
                const quint32 noise = (quint32(x) * 2654435761u) ^ (quint32(y) * 2246822519u);
                source.setPixel(x, y, qRgba(int(noise >> 24), (x * 40 + y * 7) % 256, int(noise >> 8) & 0xff,
                                            translucent ? int(noise >> 16) & 0xff : 255));
            }
        }
        const QImage expected = translucent ? source : source.convertToFormat(QImage::Format_RGB32);
        const QByteArray png = pngWithFilter(source, filter, withAlpha);
        QCOMPARE(QImage::fromData(png, "png").convertToFormat(expected.format()), expected); // the file is sound
        const QImage decoded = ImageDecoder::decode(png);
        QCOMPARE(decoded.format(), expected.format());
        QCOMPARE(decoded, expected);
    }

    void decoderRefusesNonImagesAndDecompressionBombs()
    {
        QVERIFY(ImageDecoder::decode(QByteArray()).isNull());
        QVERIFY(ImageDecoder::decode("<html><body>404 Not Found</body></html>").isNull());
        QVERIFY(!ImageDecoder::decode(pngClaiming(4, 4)).isNull()); // the patching itself is sound
        QVERIFY(ImageDecoder::decode(pngClaiming(100000, 100000)).isNull());
        QVERIFY(ImageDecoder::decode(pngClaiming(20000, 2)).isNull());
        QVERIFY(ImageDecoder::decode(pngClaiming(9000, 9000)).isNull());
    }
};

QTEST_GUILESS_MAIN(TestIconStyler)
#include "tst_icon_styler.moc"
