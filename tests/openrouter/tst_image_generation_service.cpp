#include "models/folder_item.h"
#include "openrouter/generation_error.h"
#include "imaging/image_decoder.h"
#include "openrouter/image_generation_service.h"

#include "fake_open_router.h"
#include "wait_for.h"

#include <QJsonArray>
#include <QPainter>
#include <QTest>
#include <QThread>

#include <cstdlib>

using namespace std::chrono_literals;

namespace {

const QString fast = QStringLiteral("google/gemini-2.5-flash-image");
const QString quality = QStringLiteral("openai/gpt-5.4-image-2");
const QString key = QStringLiteral("sk-or-v1-test");

QImage picture(QColor colour, QSize size = QSize(256, 256))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

/// The outcome of one generate(): the icon or the failure's description.
struct Outcome
{
    IconImage icon;
    QString error;
    bool finished = false;
};

Outcome generate(bool useFast, const QString &prompt = QStringLiteral("A folder of invoices"))
{
    Outcome outcome;
    QFuture<IconImage> future = ImageGenerationService::shared().generate(prompt, key, useFast);
    outcome.finished = waitFor(future, 90000);
    if (!outcome.finished)
        return outcome;
    try {
        outcome.icon = future.result();
    } catch (const GenerationError &error) {
        outcome.error = error.description();
    }
    return outcome;
}

bool centreIs(const IconImage &icon, QColor colour)
{
    const QColor centre = icon.decodeFullImage().pixelColor(512, 512);
    return std::abs(centre.red() - colour.red()) < 8 && std::abs(centre.green() - colour.green()) < 8
        && std::abs(centre.blue() - colour.blue()) < 8;
}

} // namespace

/// generate() and testConnection() end to end over real HTTP against the fake OpenRouter.
class TestImageGenerationService final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;

private Q_SLOTS:
    void initTestCase()
    {
        // Read once, at the first use of the shared service.
        qputenv("TAVRUNE_OPENROUTER_URL", (m_server.baseUrl() + "/").toUtf8());
        QCOMPARE(ImageGenerationService::shared().baseUrl(), m_server.baseUrl());
    }

    void init() { m_server.reset(); }

    void renditionsArePresentAfterGenerationAndReleasedWithTheRecord()
    {
        m_server.script(fast, FakeReply::image(picture(Qt::blue)));
        const int aliveBefore = IconImage::liveCount();
        FolderItemPtr record = FolderItem::create(QUrl::fromLocalFile(QStringLiteral("/tmp/Invoices")),
                                                  SemanticCategory::documents);
        record->setGeneratedImage(generate(true).icon);
        {
            const IconImage icon = record->generatedImage();
            QVERIFY(!icon.isNull());
            QList<int> sides;
            for (const QImage &rendition : icon.renditions()) {
                sides.append(rendition.width());
                QCOMPARE(rendition.height(), rendition.width());
                // The icon itself, scaled: the picture in the middle, the transparent margin around.
                const int middle = rendition.width() / 2;
                QVERIFY(qBlue(rendition.pixel(middle, middle)) > 240 && qRed(rendition.pixel(middle, middle)) < 16);
                QCOMPARE(qAlpha(rendition.pixel(0, 0)), 0);
            }
            QCOMPARE(sides, IconImage::renditionSides());
            QCOMPARE(icon.rendition(1).width(), 24);
            QCOMPARE(icon.rendition(100).width(), 120);
            QCOMPARE(icon.rendition(1000).width(), 240);
            QFuture<QImage> full = icon.fullImage(); // decoded off this thread, on demand
            QVERIFY(waitFor(full));
            QCOMPARE(full.result().size(), QSize(1024, 1024));
            QCOMPARE(full.result().pixel(512, 512), icon.decodeFullImage().pixel(512, 512));
            QCOMPARE(IconImage::liveCount(), aliveBefore + 1);
        }
        record.reset();
        QTRY_COMPARE(IconImage::liveCount(), aliveBefore); // the generation's own references go soon after
    }

    void fastModeSendsExactlyOneRequestToTheFastModel()
    {
        m_server.script(fast, FakeReply::image(picture(Qt::blue)));
        m_server.script(quality, FakeReply::image(picture(Qt::red)));
        const Outcome outcome = generate(true, QStringLiteral("Prompt with \"quotes\" and ünïcödé\nlines"));
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.error, QString());
        QCOMPARE(outcome.icon.size(), QSize(1024, 1024));
        QCOMPARE(outcome.icon.decodeFullImage().size(), QSize(1024, 1024));
        QVERIFY(centreIs(outcome.icon, Qt::blue));

        const QList<RecordedRequest> requests = m_server.requests();
        QCOMPARE(requests.size(), 1);
        const RecordedRequest &request = requests.first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/api/v1/chat/completions"));
        QCOMPARE(request.headerNames(),
                 (QList<QByteArray>{"authorization", "cache-control", "content-length", "content-type", "host",
                                    "x-title"}));
        QCOMPARE(request.header("Authorization"), "Bearer " + key.toUtf8());
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(request.header("Cache-Control"), QByteArray("no-store"));
        QCOMPARE(request.header("X-Title"), QByteArray("Tavrune"));
        const QJsonObject body = request.json();
        QCOMPARE(body.keys(), (QStringList{"messages", "modalities", "model"}));
        QCOMPARE(body.value("model").toString(), fast);
        QCOMPARE(body.value("modalities").toArray(), (QJsonArray{"image", "text"}));
        const QJsonArray messages = body.value("messages").toArray();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().toObject().keys(), (QStringList{"content", "role"}));
        QCOMPARE(messages.first().toObject().value("role").toString(), QStringLiteral("user"));
        QCOMPARE(messages.first().toObject().value("content").toString(),
                 QStringLiteral("Prompt with \"quotes\" and ünïcödé\nlines"));
    }

    void qualityModeAsksTheQualityModelFirst()
    {
        m_server.script(fast, FakeReply::image(picture(Qt::blue)));
        m_server.script(quality, FakeReply::image(picture(Qt::red)));
        const Outcome outcome = generate(false);
        QVERIFY(centreIs(outcome.icon, Qt::red));
        const QList<RecordedRequest> requests = m_server.chatRequests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().model(), quality);
    }

    void failingFirstModelFallsBackToTheOther()
    {
        m_server.script(fast, FakeReply::apiError(429, QStringLiteral("Rate limit exceeded")));
        m_server.script(quality, FakeReply::image(picture(Qt::darkGreen)));
        const Outcome outcome = generate(true);
        QCOMPARE(outcome.error, QString());
        QVERIFY(centreIs(outcome.icon, Qt::darkGreen));
        const QList<RecordedRequest> requests = m_server.chatRequests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].model(), fast);
        QCOMPARE(requests[1].model(), quality);
    }

    void bothModelsFailingGivesTheSummary_data()
    {
        QTest::addColumn<bool>("useFast");
        QTest::addColumn<FakeReply>("fastReply");
        QTest::addColumn<FakeReply>("qualityReply");
        QTest::addColumn<QString>("description");

        QTest::newRow("rejected key")
            << false << FakeReply::raw(401, "Unauthorized") << FakeReply::apiError(401, "User not found.")
            << "API Error: All models failed: [openai/gpt-5.4-image-2] API Error: User not found. | "
               "[google/gemini-2.5-flash-image] API Error: HTTP 401";
        QTest::newRow("201 and 204 are failures")
            << true << FakeReply::json(QJsonObject{{"choices", QJsonArray()}}, 201) << FakeReply::raw(204, "")
            << "API Error: All models failed: [google/gemini-2.5-flash-image] API Error: HTTP 201 | "
               "[openai/gpt-5.4-image-2] API Error: HTTP 204";
        QTest::newRow("text only and malformed JSON")
            << true << FakeReply::text("I cannot draw that.") << FakeReply::raw(200, "{\"choices\": [", "application/json")
            << "API Error: All models failed: [google/gemini-2.5-flash-image] Failed to decode generated image | "
               "[openai/gpt-5.4-image-2] Invalid response from API";
        QTest::newRow("error inside a 200 answer")
            << true
            << FakeReply::json(QJsonObject{{"error", QJsonObject{{"code", 502}, {"message", "Provider returned error"}}}})
            << FakeReply::message(QJsonObject{{"content", ""}})
            << "API Error: All models failed: [google/gemini-2.5-flash-image] API Error: Provider returned error | "
               "[openai/gpt-5.4-image-2] Failed to decode generated image";
        QTest::newRow("data URL with a line break is not fetched")
            << true << FakeReply::imageReference("data:image/png;base64,iVBORw0K\nGgo=")
            << FakeReply::contentImage("file:///etc/passwd")
            << "API Error: All models failed: [google/gemini-2.5-flash-image] Failed to decode generated image | "
               "[openai/gpt-5.4-image-2] Failed to decode generated image";
        QTest::newRow("Base64 of something that is not an image")
            << true << FakeReply::imageReference("data:image/png;base64,aGVsbG8gd29ybGQ=")
            << FakeReply::imageReference("ftp://127.0.0.1/icon.png")
            << "API Error: All models failed: [google/gemini-2.5-flash-image] Failed to decode generated image | "
               "[openai/gpt-5.4-image-2] Failed to decode generated image";
    }

    void bothModelsFailingGivesTheSummary()
    {
        QFETCH(bool, useFast);
        QFETCH(FakeReply, fastReply);
        QFETCH(FakeReply, qualityReply);
        QFETCH(QString, description);
        m_server.script(fast, fastReply);
        m_server.script(quality, qualityReply);
        const Outcome outcome = generate(useFast);
        QVERIFY(outcome.finished);
        QVERIFY(outcome.icon.isNull());
        QCOMPARE(outcome.error, description);
        // Exactly two attempts and nothing else: no download of file:, ftp: or broken data URLs.
        const QList<RecordedRequest> requests = m_server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].model(), useFast ? fast : quality);
        QCOMPARE(requests[1].model(), useFast ? quality : fast);
    }

    void imageFormatsAndShapesAreAccepted_data()
    {
        QTest::addColumn<FakeReply>("reply");
        QTest::newRow("jpeg") << FakeReply::image(picture(QColor(200, 40, 40), QSize(640, 480)), "JPEG");
        QTest::newRow("webp") << FakeReply::image(picture(QColor(200, 40, 40), QSize(300, 500)), "WEBP");
        QTest::newRow("wide png") << FakeReply::image(picture(QColor(200, 40, 40), QSize(1536, 1024)));
        QTest::newRow("bare string in images")
            << FakeReply::message(QJsonObject{
                   {"images", QJsonArray{QJsonObject{{"image_url", FakeReply::dataUrl(picture(QColor(200, 40, 40)))}}}}});
        QTest::newRow("first usable of images, before content")
            << FakeReply::message(QJsonObject{
                   {"images", QJsonArray{QJsonObject{{"image_url", QJsonObject{}}},
                                         QJsonObject{{"image_url", QJsonObject{{"url", FakeReply::dataUrl(
                                                                                            picture(QColor(200, 40, 40)))}}}}}},
                   {"content", QJsonArray{QJsonObject{{"type", "image_url"},
                                                      {"image_url", FakeReply::dataUrl(picture(Qt::blue))}}}}});
        QTest::newRow("content part without url is skipped")
            << FakeReply::message(QJsonObject{
                   {"content", QJsonArray{QJsonObject{{"type", "text"}, {"text", "Here it is"}},
                                          QJsonObject{{"type", "image_url"}, {"image_url", QJsonObject{}}},
                                          QJsonObject{{"type", "image_url"},
                                                      {"image_url", FakeReply::dataUrl(picture(QColor(200, 40, 40)))}}}}});
    }

    void imageFormatsAndShapesAreAccepted()
    {
        QFETCH(FakeReply, reply);
        m_server.script(fast, reply);
        const Outcome outcome = generate(true);
        QCOMPARE(outcome.error, QString());
        QCOMPARE(outcome.icon.size(), QSize(1024, 1024));
        QVERIFY(centreIs(outcome.icon, QColor(200, 40, 40)));
        QCOMPARE(m_server.requests().size(), 1);
    }

    void remoteImageIsDownloadedWithoutCredentials()
    {
        const QString url = m_server.serve("/files/icon.png",
                                           FakeReply::raw(200, FakeReply::encode(picture(Qt::magenta)), "image/png"));
        m_server.script(fast, FakeReply::imageReference(url));
        const Outcome outcome = generate(true);
        QCOMPARE(outcome.error, QString());
        QVERIFY(centreIs(outcome.icon, Qt::magenta));
        const QList<RecordedRequest> requests = m_server.requests();
        QCOMPARE(requests.size(), 2);
        const RecordedRequest &download = requests[1];
        QCOMPARE(download.method, QByteArray("GET"));
        QCOMPARE(download.path, QByteArray("/files/icon.png"));
        QCOMPARE(download.headerNames(), (QList<QByteArray>{"cache-control", "host"}));
        QCOMPARE(download.header("Cache-Control"), QByteArray("no-store"));
    }

    void remoteImageStatusIsIgnoredButItsBodyMustBeAnImage()
    {
        const QString gone = m_server.serve("/files/gone.png", FakeReply::raw(404, "<html>404 Not Found</html>", "text/html"));
        const QString odd = m_server.serve("/files/odd.png",
                                           FakeReply::raw(500, FakeReply::encode(picture(Qt::cyan)), "image/png"));
        m_server.script(fast, FakeReply::imageReference(gone));
        m_server.script(quality, FakeReply::contentImage(odd));
        const Outcome outcome = generate(true);
        QCOMPARE(outcome.error, QString());
        QVERIFY(centreIs(outcome.icon, Qt::cyan));
        QCOMPARE(m_server.requests().size(), 4);

        m_server.script(quality, FakeReply::imageReference(gone));
        QCOMPARE(generate(true).error,
                 "API Error: All models failed: [google/gemini-2.5-flash-image] Failed to decode generated image | "
                 "[openai/gpt-5.4-image-2] Failed to decode generated image");
    }

    void downloadTransportErrorIsReportedUnwrapped()
    {
        m_server.serve("/files/slow.png", FakeReply::raw(200, "x").after(2s));
        // A port nobody listens on: the transport error itself ends the attempt.
        m_server.script(fast, FakeReply::imageReference("http://127.0.0.1:1/icon.png"));
        m_server.script(quality, FakeReply::apiError(400, "Bad request"));
        const Outcome outcome = generate(true);
        QVERIFY2(outcome.error.startsWith("API Error: All models failed: [google/gemini-2.5-flash-image] "),
                 qPrintable(outcome.error));
        QVERIFY2(!outcome.error.contains("Network error"), qPrintable(outcome.error));
        QVERIFY2(outcome.error.contains("connect", Qt::CaseInsensitive), qPrintable(outcome.error));
        QVERIFY(outcome.error.endsWith(" | [openai/gpt-5.4-image-2] API Error: Bad request"));
    }

    void unscriptedModelErrorIsPassedThrough()
    {
        const Outcome outcome = generate(false);
        QCOMPARE(outcome.error,
                 "API Error: All models failed: [openai/gpt-5.4-image-2] API Error: No endpoints found for "
                 "openai/gpt-5.4-image-2. | [google/gemini-2.5-flash-image] API Error: No endpoints found for "
                 "google/gemini-2.5-flash-image.");
    }

    void manyGenerationsRunAtOnce()
    {
        m_server.setGenerator([](const QString &, const QString &prompt) {
            return FakeReply::image(picture(QColor::fromHsv(prompt.toInt() * 10 % 360, 200, 220))).after(300ms);
        });
        QList<QFuture<IconImage>> futures;
        for (int i = 0; i < 24; ++i)
            futures.append(ImageGenerationService::shared().generate(QString::number(i), key, true));
        for (int i = 0; i < futures.size(); ++i) {
            QVERIFY(waitFor(futures[i]));
            QVERIFY(centreIs(futures[i].result(), QColor::fromHsv(i * 10 % 360, 200, 220)));
        }
        QCOMPARE(m_server.chatRequests().size(), 24);
    }

    void resultReachesTheCallersThreadWithoutBlockingIt()
    {
        m_server.script(fast, FakeReply::image(picture(Qt::yellow)).after(300ms));
        QObject context;
        QThread *continuationThread = nullptr;
        IconImage received;
        auto done = ImageGenerationService::shared()
                        .generate(QStringLiteral("p"), key, true)
                        .then(&context, [&](const IconImage &icon) {
                            continuationThread = QThread::currentThread();
                            received = icon;
                        });
        QVERIFY(!done.isFinished()); // generate() returned before the answer came
        QVERIFY(waitFor(done));
        QCOMPARE(continuationThread, QThread::currentThread());
        QVERIFY(centreIs(received, Qt::yellow));
        QVERIFY(!received.png().isEmpty());
    }

    void keyCheckUsesTheKeyEndpoint()
    {
        // Sent as typed; only trailing blanks cannot survive HTTP, which trims header values.
        m_server.setValidKey(QStringLiteral(" sk-or-good"));
        QFuture<QString> good = ImageGenerationService::shared().testConnection(QStringLiteral(" sk-or-good"));
        QVERIFY(waitFor(good));
        QCOMPARE(good.result(), QString());
        QFuture<QString> bad = ImageGenerationService::shared().testConnection(QStringLiteral("sk-or-good"));
        QVERIFY(waitFor(bad));
        QCOMPARE(bad.result(), QStringLiteral("Invalid API key"));

        const QList<RecordedRequest> requests = m_server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, QByteArray("GET"));
        QCOMPARE(requests[0].path, QByteArray("/api/v1/key"));
        QCOMPARE(requests[0].headerNames(), (QList<QByteArray>{"authorization", "host", "x-title"}));
        QCOMPARE(requests[0].header("Authorization"), QByteArray("Bearer  sk-or-good"));
        QCOMPARE(requests[0].header("X-Title"), QByteArray("Tavrune"));
        QVERIFY(requests[0].body.isEmpty());
    }

    void keyCheckTellsRefusalFromTroubleAndReadsTheCredit_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<double>("left"); // -1: not known
        QTest::addColumn<bool>("unlimited");
        QTest::newRow("401") << 401 << QByteArray() << QStringLiteral("Invalid API key") << -1.0 << false;
        QTest::newRow("403") << 403 << QByteArray() << QStringLiteral("Invalid API key") << -1.0 << false;
        QTest::newRow("429") << 429 << QByteArray()
                             << QStringLiteral("OpenRouter could not check the key (HTTP 429); try again") << -1.0 << false;
        QTest::newRow("500") << 500 << QByteArray()
                             << QStringLiteral("OpenRouter could not check the key (HTTP 500); try again") << -1.0 << false;
        QTest::newRow("503") << 503 << QByteArray()
                             << QStringLiteral("OpenRouter could not check the key (HTTP 503); try again") << -1.0 << false;
        QTest::newRow("204") << 204 << QByteArray() << QStringLiteral("Unexpected answer from OpenRouter (HTTP 204)")
                             << -1.0 << false;
        QTest::newRow("302") << 302 << QByteArray() << QStringLiteral("Unexpected answer from OpenRouter (HTTP 302)")
                             << -1.0 << false;
        QTest::newRow("credit") << 200 << QByteArray(R"({"data":{"limit_remaining":4.9,"usage":0.1}})") << QString()
                                << 4.9 << false;
        QTest::newRow("no limit") << 200 << QByteArray(R"({"data":{"limit_remaining":null,"usage":2}})") << QString()
                                  << -1.0 << true;
        QTest::newRow("absent") << 200 << QByteArray(R"({"data":{}})") << QString() << -1.0 << false;
        QTest::newRow("malformed") << 200 << QByteArray(R"({"data":{"limit_remaining":"lots"}})") << QString() << -1.0
                                   << false;
        QTest::newRow("NaN-like") << 200 << QByteArray(R"({"data":{"limit_remaining":-3}})") << QString() << -1.0
                                  << false;
        QTest::newRow("not JSON") << 200 << QByteArray("<html>") << QString() << -1.0 << false;
    }
    void keyCheckTellsRefusalFromTroubleAndReadsTheCredit()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, failure);
        QFETCH(double, left);
        QFETCH(bool, unlimited);
        m_server.setKeyCheckReply(FakeReply::raw(status, body, "application/json"));
        QFuture<KeyCheck> check = ImageGenerationService::shared().checkKey(QStringLiteral("sk-or-any"));
        QVERIFY(waitFor(check));
        m_server.setKeyCheckReply(std::nullopt);
        QCOMPARE(check.result().failure, failure);
        QCOMPARE(check.result().limitRemaining.has_value(), left >= 0);
        if (left >= 0)
            QCOMPARE(*check.result().limitRemaining, left);
        QCOMPARE(check.result().unlimited, unlimited);
    }
};

QTEST_GUILESS_MAIN(TestImageGenerationService)
#include "tst_image_generation_service.moc"
