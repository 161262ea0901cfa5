// 64 generate() calls at once against the fake OpenRouter answering each request after 1 s.
// With 32 connections per host the ideal is two waves: 2 s. Usage: [calls] [image side]
// The same exchanges are first timed through the HTTP client alone, then through generate(), which
// adds decoding, styling and PNG encoding of every icon on the thread pool.
#include "services/http_client.h"
#include "services/image_generation_service.h"
#include "services/open_router_protocol.h"

#include "fake_open_router.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int calls = argc > 1 ? std::atoi(argv[1]) : 64;
    const int side = argc > 2 ? std::atoi(argv[2]) : 1024;

    FakeOpenRouter server;
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(QColor(30, 140, 220));
    server.setDefaultReply(FakeReply::image(picture).after(1s)); // encoded once, not per request
    qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());
    ImageGenerationService &service = ImageGenerationService::shared();

    {
        HttpClient client;
        QList<QFuture<HttpResponse>> responses;
        QElapsedTimer transport;
        transport.start();
        for (int i = 0; i < calls; ++i) {
            HttpRequest request;
            request.method = "POST";
            request.url = QUrl(server.baseUrl() + QLatin1String(OpenRouterProtocol::chatCompletionsPath));
            request.headers = OpenRouterProtocol::chatRequestHeaders(QStringLiteral("sk-or-bench"));
            request.body = OpenRouterProtocol::chatRequestBody(QLatin1String(OpenRouterProtocol::fastModelId),
                                                               {QStringLiteral("image"), QStringLiteral("text")},
                                                               QStringLiteral("icon %1").arg(i));
            request.timeout = 300s;
            responses.append(client.send(request));
        }
        int ok = 0;
        for (QFuture<HttpResponse> &response : responses)
            ok += response.result().status == 200 ? 1 : 0;
        std::printf("HTTP client alone: %d of %d chat requests answered 200 in %.3f s\n", ok, calls,
                    transport.nsecsElapsed() / 1e9);
    }

    int done = 0;
    QElapsedTimer timer;
    timer.start();
    const qint64 serverStart = server.elapsedMs();
    for (int i = 0; i < calls; ++i) {
        service.generate(QStringLiteral("icon %1").arg(i), QStringLiteral("sk-or-bench"), true)
            .then(&app, [&](const IconImage &icon) {
                if (!icon.isNull() && ++done == calls)
                    QCoreApplication::quit();
            });
    }
    QTimer::singleShot(60s, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double seconds = timer.nsecsElapsed() / 1e9;

    // When the server saw each request: the waves the connection limit makes.
    QList<qint64> arrivals;
    for (const RecordedRequest &request : server.chatRequests()) {
        if (request.receivedAtMs >= serverStart) // not the ones of the HTTP-only run
            arrivals.append(request.receivedAtMs - serverStart);
    }
    std::sort(arrivals.begin(), arrivals.end());
    const auto firstWave = std::count_if(arrivals.cbegin(), arrivals.cend(), [](qint64 ms) { return ms < 900; });
    const double ideal = double((calls + 31) / 32);
    std::printf("%d generate calls, %dx%d image, server delay 1 s: %d succeeded in %.3f s (ideal %.0f s, %+.1f %%)\n",
                calls, side, side, done, seconds, ideal, (seconds / ideal - 1) * 100);
    if (!arrivals.isEmpty()) {
        std::printf("requests at the server: %lld within the first 0.9 s (first at %lld ms, 32nd at %lld ms), "
                    "last at %lld ms\n",
                    qint64(firstWave), arrivals.first(), arrivals.value(31, -1), arrivals.last());
    }
    return done == calls ? 0 : 1;
}
