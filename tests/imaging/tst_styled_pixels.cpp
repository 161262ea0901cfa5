// The styled icon compared pixel for pixel with references made before the styler was sped up.
// The references live in data/; with TAVRUNE_WRITE_STYLER_REFERENCES=DIR set, the test writes the
// current output there instead of comparing (only for a deliberate change of the look).
#include "imaging/icon_styler.h"

#include <QDir>
#include <QImage>
#include <QTest>

#include <cmath>

namespace {

/// Smooth gradients with hard edges and, when asked, varying transparency: pure arithmetic, so
/// the sources are the same on every machine.
QImage source(int width, int height, bool withAlpha)
{
    QImage image(width, height, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int r = x * 255 / width;
            const int g = y * 255 / height;
            const int b = ((x / 37 + y / 53) % 2) ? 220 : 40; // hard edges: a checkerboard
            const int a = withAlpha ? 255 - ((x + y) * 255 / (width + height)) : 255;
            line[x] = qRgba(r, g, b, a);
        }
    }
    return image;
}

QString referencePath(const QString &name)
{
    return QStringLiteral(TAVRUNE_STYLER_REFERENCES "/styled-%1.png").arg(name);
}

/// The premultiplied bytes as they are, labelled straight ARGB: PNG keeps them exactly, where a
/// conversion to straight alpha and back could round.
QImage asStored(const QImage &premultiplied)
{
    return QImage(premultiplied.constBits(), premultiplied.width(), premultiplied.height(),
                  premultiplied.bytesPerLine(), QImage::Format_ARGB32);
}

} // namespace

class TestStyledPixels final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void styledPixelsEqualTheReference_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::newRow("square-1024") << source(1024, 1024, false);
        QTest::newRow("wide-1536x1024") << source(1536, 1024, false);
        QTest::newRow("tall-translucent-600x900") << source(600, 900, true);
        QTest::newRow("small-upscaled-300x200") << source(300, 200, false);
        QTest::newRow("large-downscaled-2048") << source(2048, 2048, false);
        QTest::newRow("odd-translucent-1023x1025") << source(1023, 1025, true);
    }

    void styledPixelsEqualTheReference()
    {
        QFETCH(QImage, picture);
        const QImage styled = IconStyler::appIconStyled(picture);
        const QString name = QString::fromLatin1(QTest::currentDataTag());

        const QByteArray writeTo = qgetenv("TAVRUNE_WRITE_STYLER_REFERENCES");
        if (!writeTo.isEmpty()) {
            QVERIFY(asStored(styled).save(QDir(QString::fromLocal8Bit(writeTo)).filePath(QStringLiteral("styled-%1.png").arg(name))));
            return;
        }

        QImage reference(referencePath(name));
        QVERIFY2(!reference.isNull(), qPrintable(referencePath(name)));
        reference = reference.convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(styled.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(styled.size(), reference.size());
        for (int y = 0; y < styled.height(); ++y) {
            const auto *got = reinterpret_cast<const QRgb *>(styled.constScanLine(y));
            const auto *want = reinterpret_cast<const QRgb *>(reference.constScanLine(y));
            for (int x = 0; x < styled.width(); ++x) {
                if (got[x] != want[x])
                    QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is %3, the reference %4")
                                         .arg(x).arg(y).arg(got[x], 8, 16, QLatin1Char('0'))
                                         .arg(want[x], 8, 16, QLatin1Char('0'))));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestStyledPixels)
#include "tst_styled_pixels.moc"
