// Serves the OpenRouter endpoints Tavrune uses on 127.0.0.1 and draws a picture for every prompt:
// colours and shapes seeded by a hash of the prompt, so each folder gets its own recognisable icon.
#include "fake_open_router.h"
#include "fake_picture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonObject>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A local stand-in for OpenRouter: draws one picture per prompt."));
    parser.addHelpOption();
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Answer after this many milliseconds."),
                                   QStringLiteral("ms"), QStringLiteral("1500"));
    const QCommandLineOption key(QStringLiteral("key"),
                                 QStringLiteral("The only API key accepted by the key check (default: any key)."),
                                 QStringLiteral("key"));
    const QCommandLineOption failFast(QStringLiteral("fail-fast-model"),
                                      QStringLiteral("Make the fast model answer 429, to see the fallback."));
    const QCommandLineOption cost(QStringLiteral("cost"),
                                  QStringLiteral("usage.cost of every generated picture, in dollars (\"none\": left out)."),
                                  QStringLiteral("dollars"), QStringLiteral("0.039"));
    const QCommandLineOption credit(QStringLiteral("credit"),
                                    QStringLiteral("limit_remaining of the key, in dollars (\"none\": no spending limit)."),
                                    QStringLiteral("dollars"), QStringLiteral("4.90"));
    parser.addOptions({delay, key, failFast, cost, credit});
    parser.process(app);

    FakeOpenRouter server;
    const auto wait = std::chrono::milliseconds(parser.value(delay).toInt());
    server.setValidKey(parser.value(key));
    // The demo shows what icons cost and what the key has left, as OpenRouter reports them.
    if (parser.value(cost) != QLatin1String("none"))
        server.setGenerationCost(parser.value(cost).toDouble());
    QJsonObject keyData;
    keyData.insert(QStringLiteral("usage"), 0.10);
    keyData.insert(QStringLiteral("limit_remaining"), parser.value(credit) == QLatin1String("none")
                                                          ? QJsonValue(QJsonValue::Null)
                                                          : QJsonValue(parser.value(credit).toDouble()));
    server.setKeyData(keyData);
    const bool failFastModel = parser.isSet(failFast);
    server.setGenerator([wait, failFastModel](const QString &model, const QString &prompt) {
        if (failFastModel && model == QLatin1String("google/gemini-2.5-flash-image"))
            return FakeReply::apiError(429, QStringLiteral("Rate limit exceeded (fake)")).after(wait);
        return FakeReply::image(fakePicture(prompt)).after(wait);
    });

    std::printf("Fake OpenRouter listening on %s\n", qPrintable(server.baseUrl()));
    std::printf("Run the app against it:  TAVRUNE_OPENROUTER_URL=%s scripts/run\n", qPrintable(server.baseUrl()));
    std::printf("Press Ctrl+C to stop.\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
