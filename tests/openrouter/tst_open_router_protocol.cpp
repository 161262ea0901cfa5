#include "openrouter/open_router_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace OpenRouterProtocol;

Q_DECLARE_METATYPE(GenerationError::Kind)

/// What is sent and how answers are read, without a network: every row is one response shape.
class TestOpenRouterProtocol final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void chatBodyHasExactlyModelModalitiesAndOneUserMessage()
    {
        const QByteArray body = chatRequestBody(QStringLiteral("google/gemini-2.5-flash-image"),
                                                {QStringLiteral("image"), QStringLiteral("text")},
                                                QStringLiteral("A \"quoted\" prompt\nwith two lines"));
        QVERIFY(!body.contains('\n')); // compact
        const QJsonObject root = QJsonDocument::fromJson(body).object();
        QCOMPARE(root.keys(), (QStringList{"messages", "modalities", "model"}));
        QCOMPARE(root.value("model").toString(), QStringLiteral("google/gemini-2.5-flash-image"));
        QCOMPARE(root.value("modalities").toArray(), (QJsonArray{"image", "text"}));
        const QJsonArray messages = root.value("messages").toArray();
        QCOMPARE(messages.size(), 1);
        const QJsonObject message = messages.first().toObject();
        QCOMPARE(message.keys(), (QStringList{"content", "role"}));
        QCOMPARE(message.value("role").toString(), QStringLiteral("user"));
        QCOMPARE(message.value("content").toString(), QStringLiteral("A \"quoted\" prompt\nwith two lines"));
    }

    void responsesAreReadAsTheFailureTableSays_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<GenerationError::Kind>("kind");
        QTest::addColumn<QString>("text"); // the description, or the image reference on success

        using K = GenerationError::Kind;
        const QString decode = QStringLiteral("Failed to decode generated image");
        const QString invalid = QStringLiteral("Invalid response from API");

        QTest::newRow("401 with error.message")
            << 401 << QByteArray(R"({"error":{"message":"User not found.","code":401}})") << true << K::authentication
            << "API Error: User not found.";
        QTest::newRow("401 plain") << 401 << QByteArray("Unauthorized") << true << K::authentication
                                   << "API Error: HTTP 401";
        QTest::newRow("403") << 403 << QByteArray() << true << K::authentication << "API Error: HTTP 403";
        QTest::newRow("402") << 402 << QByteArray(R"({"error":{"message":"Insufficient credits"}})") << true
                             << K::spendingLimit << "API Error: Insufficient credits";
        QTest::newRow("200 mentioning 401 is no refusal")
            << 200 << QByteArray(R"({"error":{"message":"401 pending"}})") << true << K::apiError
            << "API Error: 401 pending";
        QTest::newRow("500 error.message not a string")
            << 500 << QByteArray(R"({"error":{"message":42}})") << true << K::apiError << "API Error: HTTP 500";
        QTest::newRow("429 error is a string")
            << 429 << QByteArray(R"({"error":"slow down"})") << true << K::rateLimit << "API Error: HTTP 429";
        QTest::newRow("201 is a failure") << 201 << QByteArray(R"({"choices":[]})") << true << K::apiError
                                          << "API Error: HTTP 201";
        QTest::newRow("204 is a failure") << 204 << QByteArray() << true << K::apiError << "API Error: HTTP 204";
        QTest::newRow("502 with message keeps it unchanged")
            << 502 << QByteArray(R"({"error":{"message":"  Provider returned error  "}})") << true << K::apiError
            << "API Error:   Provider returned error  ";
        QTest::newRow("no HTTP status") << 0 << QByteArray(R"({"choices":[{"message":{"images":[{"image_url":"x"}]}}]})")
                                        << true << K::invalidResponse << invalid;
        QTest::newRow("200 malformed JSON") << 200 << QByteArray("{\"choices\": [") << true << K::invalidResponse
                                            << invalid;
        QTest::newRow("200 array") << 200 << QByteArray("[1,2]") << true << K::invalidResponse << invalid;
        QTest::newRow("200 no choices") << 200 << QByteArray("{}") << true << K::invalidResponse << invalid;
        QTest::newRow("200 empty choices") << 200 << QByteArray(R"({"choices":[]})") << true << K::invalidResponse
                                           << invalid;
        QTest::newRow("200 choices not all objects")
            << 200 << QByteArray(R"({"choices":[{"message":{"images":[{"image_url":"x"}]}},1]})") << true
            << K::invalidResponse << invalid;
        QTest::newRow("200 message not an object")
            << 200 << QByteArray(R"({"choices":[{"message":"hi"}]})") << true << K::invalidResponse << invalid;
        QTest::newRow("200 text only") << 200 << QByteArray(R"({"choices":[{"message":{"content":"A folder."}}]})")
                                       << true << K::imageDecoding << decode;
        QTest::newRow("200 error in first choice")
            << 200
            << QByteArray(R"({"choices":[{"finish_reason":"error","error":{"code":502,"message":"Upstream failed"},)"
                          R"("message":{"content":""}}]})")
            << true << K::apiError << "API Error: Upstream failed";
        QTest::newRow("200 top-level error without choices")
            << 200 << QByteArray(R"({"error":{"message":"Rate limited","code":429}})") << true << K::apiError
            << "API Error: Rate limited";
        QTest::newRow("200 error object but an image wins")
            << 200
            << QByteArray(R"({"error":{"message":"ignored"},"choices":[{"message":{"images":[{"image_url":"ref"}]}}]})")
            << false << K::apiError << "ref";
        QTest::newRow("200 image")
            << 200 << QByteArray(R"({"choices":[{"message":{"images":[{"image_url":{"url":"data:x;base64,AA=="}}]}}]})")
            << false << K::apiError << "data:x;base64,AA==";
    }

    void responsesAreReadAsTheFailureTableSays()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, fails);
        QFETCH(GenerationError::Kind, kind);
        QFETCH(QString, text);

        const ChatOutcome outcome = readChatResponse(status, body);
        QCOMPARE(outcome.error.has_value(), fails);
        if (fails) {
            QCOMPARE(outcome.error->kind(), kind);
            QCOMPARE(outcome.error->description(), text);
            QCOMPARE(QString::fromUtf8(outcome.error->what()), text);
        } else {
            QCOMPARE(outcome.imageReference, text);
        }
    }

    void serverTextsAreCutTo300Characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cut");
        const QString a300 = QString(300, u'a');
        QTest::newRow("300 kept") << a300 << a300;
        QTest::newRow("301 cut") << a300 + u'b' << QString(299, u'a') + QChar(0x2026);
        // A surrogate pair (an emoji) across the cut is not split.
        QTest::newRow("pair kept whole") << QString(298, u'a') + QStringLiteral("\U0001F600zz")
                                         << QString(298, u'a') + QChar(0x2026);
        QTest::newRow("combining mark kept with its letter") << QString(297, u'a') + QStringLiteral("e\u0301e\u0301zz")
                                                              << QString(297, u'a') + QStringLiteral("e\u0301") + QChar(0x2026);
    }
    void serverTextsAreCutTo300Characters()
    {
        QFETCH(QString, text);
        QFETCH(QString, cut);
        QCOMPARE(GenerationError::cutText(text), cut);
        QVERIFY(GenerationError::cutText(text).size() <= 300);
    }

    void aHugeErrorBodyIsReadBoundedAndCut_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("description");
        const QByteArray huge(200 * 1024, 'x'); // past what is parsed whole
        QTest::newRow("50 MB message") << QByteArray("{\"error\":{\"code\":500,\"message\":\"")
                                              + QByteArray(50 * 1024 * 1024, 'x') + "\"}}"
                                       << QStringLiteral("API Error: ") + QString(299, u'x') + QChar(0x2026);
        QTest::newRow("short message, huge padding")
            << QByteArray("{\"error\":{\"message\" : \"Overloaded \\\"now\\\"\\u00e9\"},\"pad\":\"") + huge + "\"}"
            << QStringLiteral("API Error: Overloaded \"now\"é");
        QTest::newRow("escape cut in half")
            << QByteArray("{\"error\":{\"message\":\"") + QByteArray(1262, 'y') + "\\u00e9" + huge + "\"}}"
            << QStringLiteral("API Error: ") + QString(299, u'y') + QChar(0x2026);
        QTest::newRow("no message") << QByteArray("{\"pad\":\"") + huge + "\"}" << QStringLiteral("API Error: HTTP 503");
    }
    void aHugeErrorBodyIsReadBoundedAndCut()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, description);
        const ChatOutcome outcome = readChatResponse(503, body);
        QVERIFY(outcome.error);
        QCOMPARE(outcome.error->description(), description);
    }

    void costsAreReadOnlyWhenPlausible_data()
    {
        QTest::addColumn<QByteArray>("usage");
        QTest::addColumn<double>("cost"); // -1: none
        QTest::newRow("number") << QByteArray(R"({"cost":0.039})") << 0.039;
        QTest::newRow("zero") << QByteArray(R"({"cost":0})") << 0.0;
        QTest::newRow("string") << QByteArray(R"({"cost":"0.039"})") << -1.0;
        QTest::newRow("negative") << QByteArray(R"({"cost":-1})") << -1.0;
        QTest::newRow("huge") << QByteArray(R"({"cost":1e308})") << -1.0;
        QTest::newRow("null") << QByteArray(R"({"cost":null})") << -1.0;
        QTest::newRow("usage not an object") << QByteArray(R"(7)") << -1.0;
        QTest::newRow("no cost") << QByteArray(R"({})") << -1.0;
    }
    void costsAreReadOnlyWhenPlausible()
    {
        QFETCH(QByteArray, usage);
        QFETCH(double, cost);
        const QByteArray body = QByteArray(R"({"choices":[{"message":{"images":[{"image_url":{"url":"A"}}]}}],"usage":)") + usage + "}";
        const ChatOutcome outcome = readChatResponse(200, body);
        QVERIFY(!outcome.error);
        QCOMPARE(outcome.cost.has_value(), cost >= 0);
        if (cost >= 0)
            QCOMPARE(*outcome.cost, cost);
    }

    void imageReferenceIsFoundInTheDocumentedOrder_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QString>("reference"); // empty: none

        QTest::newRow("images object url") << QByteArray(R"({"images":[{"image_url":{"url":"A"}}]})") << "A";
        QTest::newRow("images bare string") << QByteArray(R"({"images":[{"image_url":"B"}]})") << "B";
        QTest::newRow("first usable element of images")
            << QByteArray(R"({"images":[{"image_url":{}},{"image_url":7},{"image_url":{"url":"C"}}]})") << "C";
        QTest::newRow("images before content")
            << QByteArray(R"({"content":[{"type":"image_url","image_url":{"url":"D"}}],"images":[{"image_url":"E"}]})")
            << "E";
        QTest::newRow("images with a non-object element is ignored")
            << QByteArray(R"({"images":[{"image_url":"F"},"x"],"content":[{"type":"image_url","image_url":"G"}]})")
            << "G";
        QTest::newRow("content part without url is skipped")
            << QByteArray(R"({"content":[{"type":"image_url","image_url":{"uri":"no"}},)"
                          R"({"type":"image_url","image_url":{"url":"H"}}]})")
            << "H";
        QTest::newRow("content type must match exactly")
            << QByteArray(R"({"content":[{"type":"Image_URL","image_url":"no"},{"type":"text","image_url":"no"}]})")
            << "";
        QTest::newRow("content plain text") << QByteArray(R"({"content":"just text"})") << "";
        QTest::newRow("images of another shape falls back to content")
            << QByteArray(R"({"images":{"image_url":"no"},"content":[{"type":"image_url","image_url":"I"}]})") << "I";
        QTest::newRow("empty message") << QByteArray("{}") << "";
    }

    void imageReferenceIsFoundInTheDocumentedOrder()
    {
        QFETCH(QByteArray, message);
        QFETCH(QString, reference);
        const auto found = extractImageUrl(QJsonDocument::fromJson(message).object());
        QCOMPARE(found.has_value(), !reference.isEmpty());
        if (found)
            QCOMPARE(*found, reference);
    }

    void base64IsDecodedStrictly_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("padded") << "data:image/png;base64,aGVsbG8=" << true << QByteArray("hello");
        QTest::newRow("two pad") << "data:image/png;base64,aGk=" << true << QByteArray("hi");
        QTest::newRow("no padding") << "data:image/png;base64,aGVsbG8" << false << QByteArray();
        QTest::newRow("line break") << "data:image/png;base64,aGVs\nbG8=" << false << QByteArray();
        QTest::newRow("url-safe alphabet") << "data:x;base64,-_-_" << false << QByteArray();
        QTest::newRow("padding inside") << "data:x;base64,aG=sbG8=" << false << QByteArray();
        QTest::newRow("three pad") << "data:x;base64,a===" << false << QByteArray();
        QTest::newRow("after the first marker only") << "base64,aGk=base64," << false << QByteArray();
        QTest::newRow("marker anywhere") << "https://x/?q=base64,aGk=" << true << QByteArray("hi");
        QTest::newRow("no marker") << "aGVsbG8=" << false << QByteArray();
        QTest::newRow("empty payload") << "data:x;base64," << true << QByteArray();
    }

    void base64IsDecodedStrictly()
    {
        QFETCH(QString, reference);
        QFETCH(bool, decodes);
        QFETCH(QByteArray, bytes);
        const auto payload = dataUrlPayload(reference);
        QCOMPARE(payload.has_value(), decodes);
        if (payload)
            QCOMPARE(*payload, bytes);
    }

    void onlyHttpUrlsAreFetched_data()
    {
        QTest::addColumn<QString>("reference");
        QTest::addColumn<bool>("fetched");

        QTest::newRow("https") << "https://cdn.example/a.png" << true;
        QTest::newRow("http with port") << "http://127.0.0.1:8080/a.png?x=1" << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("ftp") << "ftp://example.org/a.png" << false;
        QTest::newRow("data") << "data:image/png;base64,####" << false;
        QTest::newRow("relative") << "a.png" << false;
        QTest::newRow("space") << "https://example.org/a b.png" << false;
        QTest::newRow("line break") << "https://example.org/a\n.png" << false;
        QTest::newRow("empty") << "" << false;
    }

    void onlyHttpUrlsAreFetched()
    {
        QFETCH(QString, reference);
        QFETCH(bool, fetched);
        QCOMPARE(fetchableImageUrl(reference).isValid(), fetched);
    }
};

QTEST_GUILESS_MAIN(TestOpenRouterProtocol)
#include "tst_open_router_protocol.moc"
