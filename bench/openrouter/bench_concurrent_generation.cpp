// 64 generate() calls at once against the fake OpenRouter answering each request after 1 s.
// With 32 connections per host the ideal is two waves: 2 s. Usage: [calls] [image side]
// The same exchanges are first timed through the HTTP client alone, then through generate(), which
// adds decoding, styling and PNG encoding of every icon on the thread pool. Last, 100 chat requests
// through nghttpx speaking HTTP/2 over TLS: all multiplexed at once, ideally 1 s.
#include "openrouter/http_client.h"
#include "openrouter/image_generation_service.h"
#include "openrouter/open_router_protocol.h"

#include "fake_open_router.h"
#include "http2_proxy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

HttpRequest chatRequest(const QString &baseUrl, int i)
{
    HttpRequest request;
    request.method = "POST";
    request.url = QUrl(baseUrl + QLatin1String(OpenRouterProtocol::chatCompletionsPath));
    request.headers = OpenRouterProtocol::chatRequestHeaders(QStringLiteral("sk-or-bench"));
    request.body = OpenRouterProtocol::chatRequestBody(QLatin1String(OpenRouterProtocol::fastModelId),
                                                       {QStringLiteral("image"), QStringLiteral("text")},
                                                       QStringLiteral("icon %1").arg(i));
    request.timeout = 300s;
    return request;
}

/// Seconds until every one of `calls` chat requests has its answer, and how many were 200.
std::pair<double, int> timeRequests(HttpClient &client, const QString &baseUrl, int calls)
{
    QList<QFuture<HttpResponse>> responses;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i)
        responses.append(client.send(chatRequest(baseUrl, i)));
    int ok = 0;
    for (QFuture<HttpResponse> &response : responses)
        ok += response.result().status == 200 ? 1 : 0;
    return {timer.nsecsElapsed() / 1e9, ok};
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

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
        const auto [seconds, ok] = timeRequests(client, server.baseUrl(), calls);
        std::printf("HTTP client alone: %d of %d chat requests answered 200 in %.3f s\n", ok, calls, seconds);
    }

    int done = 0;
    QList<double> finished; // seconds after the start, in order
    QElapsedTimer timer;
    const double cpuBefore = processCpuSeconds();
    timer.start();
    const qint64 serverStart = server.elapsedMs();
    for (int i = 0; i < calls; ++i) {
        service.generate(QStringLiteral("icon %1").arg(i), QStringLiteral("sk-or-bench"), true)
            .then(&app, [&](const IconImage &icon) {
                finished.append(timer.nsecsElapsed() / 1e9);
                if (!icon.isNull() && ++done == calls)
                    QCoreApplication::quit();
            });
    }
    QTimer::singleShot(60s, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const double cpu = processCpuSeconds() - cpuBefore;

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
    std::printf("icons done: first at %.3f s, 32nd at %.3f s, 33rd at %.3f s, last at %.3f s; process CPU %.3f s "
                "(%.1f ms per call: HTTP, the in-process server, image work)\n",
                finished.value(0, -1), finished.value(31, -1), finished.value(32, -1), finished.value(calls - 1, -1),
                cpu, cpu * 1000 / calls);
    if (!arrivals.isEmpty()) {
        std::printf("requests at the server: %lld within the first 0.9 s (first at %lld ms, 32nd at %lld ms), "
                    "last at %lld ms\n",
                    qint64(firstWave), arrivals.first(), arrivals.value(31, -1), arrivals.last());
    }

    Http2Proxy proxy(server.port());
    if (!proxy.isRunning()) {
        std::printf("HTTP/2: no proxy (%s)\n", qPrintable(proxy.error()));
        return 1;
    }
    server.reset();
    server.setDefaultReply(FakeReply::image(picture).after(1s));
    HttpClient http2(nullptr, proxy.certificateAuthority());
    timeRequests(http2, proxy.baseUrl(), 1); // the connection and what the client learns of it
    server.reset();
    server.setDefaultReply(FakeReply::image(picture).after(1s));
    const auto [seconds2, ok2] = timeRequests(http2, proxy.baseUrl(), 100);
    std::printf("HTTP/2 through nghttpx: %d of 100 chat requests answered 200 in %.3f s, %d in flight at once "
                "at the server (ideal 1 s)\n", ok2, seconds2, server.mostRequestsInFlight());
    server.reset();
    server.setDefaultReply(FakeReply::image(picture).after(1s));
    HttpClient fresh(nullptr, proxy.certificateAuthority());
    const auto [seconds3, ok3] = timeRequests(fresh, proxy.baseUrl(), 100);
    std::printf("  the same from a fresh client, connecting first: %d of 100 in %.3f s\n", ok3, seconds3);
    return done == calls ? 0 : 1;
}
