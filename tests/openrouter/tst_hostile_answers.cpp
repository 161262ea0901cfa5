#include "openrouter/generation_error.h"
#include "imaging/image_decoder.h"
#include "openrouter/image_generation_service.h"

#include "fake_open_router.h"
#include "wait_for.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString fast = QStringLiteral("google/gemini-2.5-flash-image");
const QString quality = QStringLiteral("openai/gpt-5.4-image-2");

QImage noise(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = 0xff000000 | random.generate();
    }
    return image;
}

QImage filled(QColor colour)
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

QString base64Of(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

/// A 1 × 1 red GIF, written by hand: Qt reads GIF but cannot write it.
QByteArray redGif()
{
    return QByteArray::fromHex("474946383961010001008000" "00ff0000000000" "2c00000000010001000002024401003b");
}

/// A tiny uncompressed grey TIFF.
QByteArray tiff()
{
    QByteArray bytes("II*\0\x08\0\0\0", 8);
    auto put16 = [&bytes](quint16 v) { bytes.append(char(v & 0xff)).append(char(v >> 8)); };
    auto put32 = [&](quint32 v) { put16(quint16(v & 0xffff)); put16(quint16(v >> 16)); };
    const quint16 tags[][2] = {{256, 4}, {257, 4}, {258, 8}, {259, 1}, {262, 1}, {273, 0}, {278, 4}, {279, 16}};
    put16(8);
    for (const auto &tag : tags) {
        put16(tag[0]);
        put16(3); // SHORT
        put32(1);
        put32(tag[0] == 273 ? 8 + 2 + 8 * 12 + 4 : tag[1]);
    }
    put32(0);
    bytes.append(16, char(0x80));
    return bytes;
}

} // namespace

/// What a hostile server can send in place of an image, and keys that must never reach the wire.
class TestHostileAnswers final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    QTemporaryDir m_dir;
    QString m_localPicture;

    QString generateError(const QString &apiKey = QStringLiteral("sk-or-v1-test"))
    {
        QFuture<IconImage> future = ImageGenerationService::shared().generate(QStringLiteral("p"), apiKey, true);
        if (!waitFor(future, 30000))
            return QStringLiteral("(not finished)");
        try {
            future.result();
            return QString();
        } catch (const GenerationError &error) {
            return error.description();
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        QVERIFY(m_dir.isValid());
        // A picture an SVG could pull into the icon. The SVGs naming it are valid, so any decoder that
        // read them would succeed (in red): only failing proves they were never rendered.
        m_localPicture = m_dir.filePath(QStringLiteral("local.png"));
        QVERIFY(filled(Qt::red).save(m_localPicture, "PNG"));
    }

    void init() { m_server.reset(); }

    void onlyRasterImagesAreDecoded_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("decodes");

        QByteArray nested = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink'>"
                            "<defs><g id='l0'><rect width='1' height='1'/></g>";
        for (int level = 1; level <= 14; ++level) {
            nested += QStringLiteral("<g id='l%1'>").arg(level).toLatin1();
            for (int i = 0; i < 10; ++i)
                nested += QStringLiteral("<use xlink:href='#l%1'/>").arg(level - 1).toLatin1();
            nested += "</g>";
        }
        nested += "</defs><use xlink:href='#l14'/></svg>";
        QTest::newRow("svg of nested uses") << nested << false;

        const QByteArray svgHead = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                                   "width='64' height='64'>";
        QTest::newRow("svg naming a local picture")
            << svgHead + "<image width='64' height='64' xlink:href='" + m_localPicture.toUtf8() + "'/></svg>" << false;
        QTest::newRow("svg naming a local picture relatively")
            << svgHead + "<image width='64' height='64' xlink:href='local.png'/></svg>" << false;
        QByteArray embedded = svgHead;
        for (int i = 0; i < 8; ++i) {
            embedded += "<image width='64' height='64' xlink:href='data:image/png;base64,"
                + FakeReply::encode(filled(Qt::red)).toBase64() + "'/>";
        }
        QTest::newRow("svg with embedded pictures") << embedded + "</svg>" << false;
        QTest::newRow("tiff") << tiff() << false;
        QTest::newRow("bmp") << FakeReply::encode(filled(Qt::red), "BMP") << false;

        const QByteArray jpeg = FakeReply::encode(noise(QSize(256, 256)), "JPEG");
        QTest::newRow("jpeg") << jpeg << true;
        QTest::newRow("jpeg with bytes after its end") << jpeg + QByteArray(100, '\0') << true;
        QTest::newRow("jpeg cut in half") << jpeg.left(jpeg.size() / 2) << false;
        QTest::newRow("jpeg without its end marker") << jpeg.chopped(2) << false;
        const QByteArray png = FakeReply::encode(noise(QSize(256, 256)), "PNG");
        QTest::newRow("png") << png << true;
        QTest::newRow("png cut in half") << png.left(png.size() / 2) << false;
        QTest::newRow("webp") << FakeReply::encode(filled(Qt::red), "WEBP") << true;
        QTest::newRow("gif") << redGif() << true;
        QTest::newRow("png signature on other bytes") << QByteArray("\x89PNG\r\n\x1a\n<svg/>") << false;
    }

    void onlyRasterImagesAreDecoded()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, decodes);
        QCOMPARE(!ImageDecoder::decode(bytes).isNull(), decodes);
        if (decodes)
            return;

        // Through the whole service, as a data URL and as a download: both fail as undecodable.
        m_server.script(fast, FakeReply::imageReference(QStringLiteral("data:image/png;base64,") + base64Of(bytes)));
        m_server.script(quality, FakeReply::imageReference(
                                     m_server.serve(QStringLiteral("/picture"), FakeReply::raw(200, bytes, "image/png"))));
        QCOMPARE(generateError(),
                 QStringLiteral("API Error: All models failed: [google/gemini-2.5-flash-image] Failed to decode "
                                "generated image | [openai/gpt-5.4-image-2] Failed to decode generated image"));
    }

    void aGifGivesItsFirstFrame()
    {
        const QImage image = ImageDecoder::decode(redGif());
        QCOMPARE(image.size(), QSize(1, 1));
        QCOMPARE(image.pixelColor(0, 0), QColor(Qt::red));
    }

    void keysThatCannotBeSentNeverReachTheServer_data()
    {
        QTest::addColumn<QString>("apiKey");
        QTest::addColumn<QString>("reason");
        QTest::newRow("header and request smuggled in")
            << QStringLiteral("sk-or-v1-abc\r\nX-Injected: yes\r\n\r\nGET /smuggled HTTP/1.1\r\nHost: x")
            << QStringLiteral("Invalid API key: it contains a line break");
        QTest::newRow("key file written with echo") << QStringLiteral("sk-or-v1-abc\n")
                                                    << QStringLiteral("Invalid API key: it contains a line break");
        QTest::newRow("NUL") << QString::fromUtf16(u"sk-or\0v1", 8)
                             << QStringLiteral("Invalid API key: it contains a NUL character");
    }

    void keysThatCannotBeSentNeverReachTheServer()
    {
        QFETCH(QString, apiKey);
        QFETCH(QString, reason);
        m_server.script(fast, FakeReply::image(filled(Qt::blue)));
        m_server.script(quality, FakeReply::image(filled(Qt::blue)));
        QCOMPARE(generateError(apiKey), QStringLiteral("API Error: All models failed: [google/gemini-2.5-flash-image] "
                                                       "API Error: %1 | [openai/gpt-5.4-image-2] API Error: %1")
                                            .arg(reason));
        QFuture<QString> check = ImageGenerationService::shared().testConnection(apiKey);
        QVERIFY(waitFor(check));
        QCOMPARE(check.result(), QStringLiteral("Invalid API key"));
        QCOMPARE(m_server.requests().size(), 0);
    }

    void keyCheckIsAnsweredWhileGenerationsHoldEveryConnection()
    {
        m_server.setValidKey(QStringLiteral("sk-or-good"));
        m_server.script(fast, FakeReply::image(filled(Qt::blue)).after(120s));
        QList<QFuture<IconImage>> held;
        for (int i = 0; i < 32; ++i)
            held.append(ImageGenerationService::shared().generate(QString::number(i), QStringLiteral("sk-or-good"), true));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), 32, 20000);

        // Within its own 10 s timeout, though every generation connection is taken.
        QFuture<QString> check = ImageGenerationService::shared().testConnection(QStringLiteral("sk-or-good"));
        QVERIFY(waitFor(check, 10000));
        QCOMPARE(check.result(), QString());

        m_server.releaseDelayed();
        for (const QFuture<IconImage> &generation : held)
            QVERIFY(waitFor(generation));
    }
};

QTEST_GUILESS_MAIN(TestHostileAnswers)
#include "tst_hostile_answers.moc"
