// Peak memory of a burst of generations: the whole burst is started at once and the process's peak
// resident set (VmHWM) is reported. The fake OpenRouter runs in a child process, so its own copies
// of the answers are not counted.
//
//   bench_burst_memory images    300 generations, each answered with a 1024 × 1024 PNG of about 3 MB
//   bench_burst_memory answers   128 generations, each answered with 45 MB: the same picture and
//                                41 MB of text around it
//   optional second argument: the server's delay before each answer in ms (default 1000)
//   optional third argument, http1 or http2: the HTTP client alone with the same budget as the
//                                service, each answer read down to its image bytes and decoded on
//                                the image pool as the service does; http2 goes through nghttpx
//                                (the service itself trusts only the system's authorities)
#include "openrouter/generation_error.h"
#include "openrouter/http_client.h"
#include "imaging/image_decoder.h"
#include "openrouter/image_generation_service.h"
#include "imaging/image_work_pool.h"
#include "openrouter/open_router_protocol.h"

#include "fake_open_router.h"
#include "http2_proxy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QImage noise(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(5);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = 0xff000000 | random.generate();
    }
    return image;
}

qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/// The server side, in the child: answers every chat request the same way until the parent closes
/// the pipe.
[[noreturn]] void serve(bool largeAnswers, int delayMs, int portPipe, int stopPipe)
{
    int argc = 1;
    char name[] = "fake-open-router";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    FakeOpenRouter server;
    const QString dataUrl = QStringLiteral("data:image/png;base64,")
        + QString::fromLatin1(FakeReply::encode(noise(1024), "PNG").toBase64());
    QJsonObject message{{"role", "assistant"}};
    message.insert(QStringLiteral("images"),
                   QJsonArray{QJsonObject{{"type", "image_url"}, {"image_url", QJsonObject{{"url", dataUrl}}}}});
    message.insert(QStringLiteral("content"),
                   largeAnswers ? QString(41 * 1024 * 1024, QLatin1Char('t')) : QStringLiteral("Here it is."));
    const FakeReply reply = FakeReply::message(message).after(std::chrono::milliseconds(delayMs));
    std::fprintf(stderr, "answer: %.1f MB\n", reply.body.size() / 1048576.0);
    server.setDefaultReply(reply);
    const quint16 port = server.port();
    if (::write(portPipe, &port, sizeof port) != sizeof port)
        std::_Exit(1);
    char byte;
    while (::read(stopPipe, &byte, 1) > 0) {
    }
    std::_Exit(0);
}

/// The service's path without the service: chat answers through an HttpClient with the service's
/// budget, each read down to its image bytes (which keep a share of the budget) and decoded.
void sendThroughClient(HttpClient &client, const std::shared_ptr<MemoryBudget> &budget, const QString &base,
                       int calls, QCoreApplication &app, std::atomic<int> &succeeded, std::atomic<int> &failed,
                       std::atomic<int> &done)
{
    for (int i = 0; i < calls; ++i) {
        HttpRequest request;
        request.method = "POST";
        request.url = QUrl(base + QLatin1String(OpenRouterProtocol::chatCompletionsPath));
        request.headers = OpenRouterProtocol::chatRequestHeaders(QStringLiteral("sk-or-bench"));
        request.body = OpenRouterProtocol::chatRequestBody(QStringLiteral("bench/model"),
                                                           {QStringLiteral("image"), QStringLiteral("text")},
                                                           QStringLiteral("icon %1").arg(i));
        request.timeout = 300s;
        client.send(request).then(QtFuture::Launch::Sync, [&, budget, calls](const QFuture<HttpResponse> &reply) {
            HttpResponse response = reply.resultCount() > 0 ? reply.result() : HttpResponse();
            ImageWorkPool::instance().start(
                [&, budget, calls, response = std::move(response)]() mutable {
                    const int status = response.status;
                    const QString transportError = response.transportError;
                    const auto outcome = OpenRouterProtocol::readChatResponse(status, response.body);
                    response = HttpResponse(); // the answer's charge goes, the image bytes take their own
                    const auto bytes = OpenRouterProtocol::dataUrlPayload(outcome.imageReference);
                    const MemoryBudget::HoldPointer hold = bytes ? budget->hold(bytes->size()) : nullptr;
                    const bool decoded = bytes && !ImageDecoder::decode(*bytes).isNull();
                    if (decoded)
                        ++succeeded;
                    else if (++failed == 1)
                        std::fprintf(stderr, "first failure: status %d %s\n", status, qPrintable(transportError));
                    if (++done == calls)
                        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
                },
                ImageWorkPool::reducePriority);
        });
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const bool largeAnswers = argc > 1 && qstrcmp(argv[1], "answers") == 0;
    const int calls = largeAnswers ? 128 : 300;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 1000;

    int portPipe[2], stopPipe[2];
    // Not inherited by the proxy the parent may start: the child must see the stop pipe close.
    if (::pipe2(portPipe, O_CLOEXEC) != 0 || ::pipe2(stopPipe, O_CLOEXEC) != 0)
        return 1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(stopPipe[1]);
        serve(largeAnswers, delayMs, portPipe[1], stopPipe[0]);
    }
    ::close(stopPipe[0]);
    quint16 port = 0;
    if (::read(portPipe[0], &port, sizeof port) != sizeof port)
        return 1;

    QCoreApplication app(argc, argv);
    const QByteArray transport = argc > 3 ? QByteArray(argv[3]) : QByteArray();
    const QString plainBase = QStringLiteral("http://127.0.0.1:%1").arg(port);
    std::unique_ptr<Http2Proxy> proxy;
    if (transport == "http2") {
        proxy = std::make_unique<Http2Proxy>(port);
        if (!proxy->isRunning()) {
            std::printf("HTTP/2: no proxy (%s)\n", qPrintable(proxy->error()));
            return 1;
        }
    }
    qputenv("TAVRUNE_OPENROUTER_URL", plainBase.toUtf8());
    const auto budget = MemoryBudget::create(qint64(256) * 1024 * 1024); // the service's
    std::unique_ptr<HttpClient> client;
    if (!transport.isEmpty())
        client = std::make_unique<HttpClient>(budget, proxy ? proxy->certificateAuthority() : QByteArray());
    ImageGenerationService &service = ImageGenerationService::shared();
    const qint64 baselineKb = statusKb("VmRSS:");

    std::atomic<int> succeeded = 0, failed = 0, done = 0;
    QElapsedTimer timer;
    timer.start();
    // What the budget held at most, sampled: the share of the peak that it accounts for.
    qint64 budgetPeak = 0;
    qint64 rssPeakPages = 0;
    QString atRssPeak;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        budgetPeak = std::max(budgetPeak, budget->used());
        long pages = 0, resident = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
                resident = 0;
            std::fclose(statm);
        }
        if (resident > rssPeakPages) {
            rssPeakPages = resident;
            const struct mallinfo2 info = mallinfo2();
            atRssPeak = QStringLiteral("budget %1 MB, malloc: mapped %2 MB, heap %3 MB of which %4 MB in use")
                            .arg(budget->used() >> 20).arg(info.hblkhd >> 20).arg(info.arena >> 20)
                            .arg(info.uordblks >> 20);
        }
    });
    if (client)
        sampler.start(5);
    if (client)
        sendThroughClient(*client, budget, proxy ? proxy->baseUrl() : plainBase, calls, app, succeeded, failed, done);
    for (int i = 0; !client && i < calls; ++i) {
        service.generate(QStringLiteral("icon %1").arg(i), QStringLiteral("sk-or-bench"), true)
            .then(&app, [&](const IconImage &icon) { ++(icon.isNull() ? failed : succeeded); })
            .onFailed(&app, [&](const GenerationError &error) {
                if (++failed == 1)
                    std::fprintf(stderr, "first failure: %s\n", qPrintable(error.description()));
            })
            .then(&app, [&] {
                if (succeeded + failed == calls)
                    QCoreApplication::quit();
            });
    }
    QTimer::singleShot(300s, &app, &QCoreApplication::quit);
    QCoreApplication::exec();

    std::printf("%d generations, %s, server delay %d ms, %s: %d succeeded, %d failed in %.2f s\n", calls,
                largeAnswers ? "45 MB answers around a 3 MB picture" : "3 MB pictures", delayMs,
                transport.isEmpty() ? "the service over HTTP/1.1" : transport == "http2"
                    ? "HTTP client over HTTP/2 through nghttpx" : "HTTP client over HTTP/1.1",
                int(succeeded), int(failed), timer.nsecsElapsed() / 1e9);
    std::printf("resident memory: %lld MB before the burst, peak %lld MB\n", baselineKb / 1024,
                statusKb("VmHWM:") / 1024);
    if (client)
        std::printf("budget: at most %lld MB held (sampled every 5 ms), limit 256 MB; at the resident peak: %s\n",
                    budgetPeak / 1048576, qPrintable(atRssPeak));
    ::close(stopPipe[1]);
    ::waitpid(child, nullptr, 0);
    return succeeded == calls ? 0 : 1;
}
