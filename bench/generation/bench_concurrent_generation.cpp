// 64 generate() calls at once against the fake OpenRouter answering each request after 1 s.
// With 32 connections per host the ideal is two waves: 2 s.
#include "services/image_generation_service.h"

#include "fake_open_router.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFutureSynchronizer>
#include <QTimer>

#include <atomic>
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

    QList<QFuture<IconImage>> futures;
    std::atomic<int> done{0};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i) {
        futures.append(ImageGenerationService::shared()
                           .generate(QStringLiteral("icon %1").arg(i), QStringLiteral("sk-or-bench"), true)
                           .then(&app, [&](const IconImage &icon) {
                               if (!icon.isNull() && ++done == calls)
                                   QCoreApplication::quit();
                               return icon;
                           }));
    }
    QTimer::singleShot(60s, &app, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%d generate calls, %dx%d image, server delay 1 s: %d succeeded in %.3f s (ideal %.0f s, %+.1f %%)\n",
                calls, side, side, done.load(), seconds, double((calls + 31) / 32),
                (seconds / ((calls + 31) / 32) - 1) * 100);
    return done.load() == calls ? 0 : 1;
}
