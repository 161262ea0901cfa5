// Peak memory of a burst of generations: the whole burst is started at once and the process's peak
// resident set (VmHWM) is reported. The fake OpenRouter runs in a child process, so its own copies
// of the answers are not counted.
//
//   bench_burst_memory images    300 generations, each answered with a 1024 × 1024 PNG of about 3 MB
//   bench_burst_memory answers   128 generations, each answered with 45 MB: the same picture and
//                                41 MB of text around it
//   optional second argument: the server's delay before each answer in ms (default 1000)
#include "services/generation_error.h"
#include "services/image_generation_service.h"

#include "fake_open_router.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
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

} // namespace

int main(int argc, char *argv[])
{
    const bool largeAnswers = argc > 1 && qstrcmp(argv[1], "answers") == 0;
    const int calls = largeAnswers ? 128 : 300;
    const int delayMs = argc > 2 ? std::atoi(argv[2]) : 1000;

    int portPipe[2], stopPipe[2];
    if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0)
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
    qputenv("TAVRUNE_OPENROUTER_URL", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
    ImageGenerationService &service = ImageGenerationService::shared();
    const qint64 baselineKb = statusKb("VmRSS:");

    int succeeded = 0, failed = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i) {
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

    std::printf("%d generations, %s, server delay %d ms: %d succeeded, %d failed in %.2f s\n", calls,
                largeAnswers ? "45 MB answers around a 3 MB picture" : "3 MB pictures", delayMs, succeeded, failed,
                timer.nsecsElapsed() / 1e9);
    std::printf("resident memory: %lld MB before the burst, peak %lld MB\n", baselineKb / 1024,
                statusKb("VmHWM:") / 1024);
    ::close(stopPipe[1]);
    ::waitpid(child, nullptr, 0);
    return succeeded == calls ? 0 : 1;
}
