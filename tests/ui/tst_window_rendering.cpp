#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

/// Pictures of the window as tools/render_window draws them, checked where the layout fixes colours.
class TestWindowRendering final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_out;
    QHash<QString, QImage> m_shots;

    static bool near(const QColor &actual, const QColor &expected, int tolerance = 2)
    {
        return qAbs(actual.red() - expected.red()) <= tolerance && qAbs(actual.green() - expected.green()) <= tolerance
            && qAbs(actual.blue() - expected.blue()) <= tolerance;
    }
    QImage shot(const QString &scene) const { return m_shots.value(scene); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_out.isValid());
        const QStringList scenes = {QStringLiteral("empty"), QStringLiteral("selection"), QStringLiteral("toast"),
                                    QStringLiteral("grid-states"), QStringLiteral("error-tooltip")};
        QProcess tool;
        tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        tool.start(QStringLiteral(RENDER_WINDOW), QStringList{QStringLiteral("--out"), m_out.path()} + scenes);
        QVERIFY(tool.waitForFinished(90000));
        QCOMPARE(tool.exitCode(), 0);
        for (const QString &scene : scenes) {
            QImage image(m_out.filePath(scene + QStringLiteral(".png")));
            QVERIFY2(!image.isNull(), qPrintable(scene));
            m_shots.insert(scene, image);
        }
    }

    void windowOpensAtItsDefaultSizeOnTheDarkBackground()
    {
        const QImage empty = shot(QStringLiteral("empty"));
        QCOMPARE(empty.size(), QSize(1200, 750));
        // Corners of the content area and the middle are the window colour.
        for (const QPoint p : {QPoint(20, 740), QPoint(1180, 740), QPoint(600, 400), QPoint(1150, 300)})
            QVERIFY2(near(empty.pixelColor(p), QColor(0x0c, 0x0c, 0x0c)), qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
    }

    void selectionSlidesTheInspectorIn()
    {
        const QImage image = shot(QStringLiteral("selection"));
        const int y = image.height() - 20;
        // Body #111111 over the last 320 px, a 1 px separator of white 6 % on the window colour before it.
        QVERIFY(near(image.pixelColor(image.width() - 5, y), QColor(0x11, 0x11, 0x11)));
        QVERIFY(near(image.pixelColor(image.width() - 319, y), QColor(0x11, 0x11, 0x11)));
        QVERIFY(near(image.pixelColor(image.width() - 321, y), QColor(0x1b, 0x1b, 0x1b)));
        QVERIFY(!near(image.pixelColor(image.width() - 322, y), QColor(0x11, 0x11, 0x11)));
    }

    void toastRestsAtTheBottomCentre()
    {
        const QImage image = shot(QStringLiteral("toast"));
        // Walk up from the bottom edge in the middle: the capsule's outline starts 28 px up.
        const int x = image.width() / 2;
        int outline = -1;
        for (int y = image.height() - 1; y > image.height() - 80; --y) {
            if (image.pixelColor(x, y).red() > 0x20) {
                outline = y;
                break;
            }
        }
        QVERIFY(outline > 0);
        QVERIFY2(qAbs(image.height() - 1 - outline - 28) <= 1, qPrintable(QString::number(outline)));
        // Inside: the capsule's fill, somewhere left of the text.
        bool fill = false;
        for (int dx = 0; dx < 400 && !fill; dx += 2)
            fill = near(image.pixelColor(x - dx, outline - 3), QColor(0x1c, 0x1c, 0x1c), 1);
        QVERIFY(fill);
    }

    void errorTooltipIsDrawnIntoThePicture()
    {
        // The tooltip is a window of its own; the tool composes it into the picture. Its fill is the
        // menu and tooltip colour #1a1a1a.
        const auto tooltipPixels = [](const QImage &image) {
            int count = 0;
            for (int y = 0; y < image.height(); y += 2)
                for (int x = 0; x < image.width(); x += 2)
                    count += image.pixelColor(x, y) == QColor(0x1a, 0x1a, 0x1a) ? 1 : 0;
            return count;
        };
        // The same folders without the tooltip are the baseline.
        QVERIFY(tooltipPixels(shot(QStringLiteral("error-tooltip"))) - tooltipPixels(shot(QStringLiteral("grid-states")))
                > 1500);
    }
};

QTEST_GUILESS_MAIN(TestWindowRendering)
#include "tst_window_rendering.moc"
