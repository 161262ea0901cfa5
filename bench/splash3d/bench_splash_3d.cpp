// The Qt 3D splash field's cost: frames asked for as a splash view asks for them (one per 16 ms
// tick, the renderer keeping at most 30 a second), over the splash's 5.5 s, at 1200 × 750 device
// pixels. Reports the frames delivered, milliseconds from request to frame, and the CPU time of the
// whole process (Qt 3D's threads and the GL driver's included) and of the main thread. Then the
// CPU time while no frame is asked for, and, once the renderer is destroyed, the CPU time of its
// shutdown (on its own thread), then the threads left and the CPU time of a quiet second.
//
// Needs OpenGL: run it under a display, e.g.  xvfb-run -a bench_splash_3d [WIDTHxHEIGHT] [SECONDS]
#include "splash/splash_3d_renderer.h"

#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>
#include <vector>

#include "bench_clock.h"

namespace {
using BenchClock::processCpuMs;
using BenchClock::threadCpuMs;

int threadCount()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QSize size(1200, 750);
    double seconds = 5.5;
    const QStringList args = app.arguments();
    if (args.size() > 1) {
        const QStringList wh = args.at(1).split(QLatin1Char('x'));
        size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
    }
    if (args.size() > 2)
        seconds = args.at(2).toDouble();

    const auto idleCpu = [&app](int ms) {
        const double before = processCpuMs();
        QTimer::singleShot(ms, &app, &QCoreApplication::quit);
        app.exec();
        return processCpuMs() - before;
    };
    const int threadsBefore = threadCount();
    QRandomGenerator random(2026);
    const SplashScene::Scene scene = SplashScene::buildScene(random);
    QElapsedTimer setup;
    setup.start();
    const double setupCpu = processCpuMs();
    const double createMainCpu = threadCpuMs();
    auto renderer = Splash3DRenderer::create(scene);
    std::printf("create(): %lld ms wall, %.1f ms main-thread CPU\n", setup.elapsed(), threadCpuMs() - createMainCpu);
    // The first frame includes starting Qt 3D and compiling its shaders.
    {
        bool ready = false;
        bool unavailable = false;
        QObject::connect(renderer.get(), &Splash3DRenderer::frameReady, &app, [&] { ready = true; },
                         Qt::SingleShotConnection);
        QObject::connect(renderer.get(), &Splash3DRenderer::unavailable, &app, [&] { unavailable = true; });
        renderer->requestFrame(0.0, size);
        while (!ready && !unavailable)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (unavailable) {
            std::fprintf(stderr, "No usable OpenGL context: run under a display with OpenGL (xvfb-run -a ...)\n");
            return 1;
        }
    }
    std::printf("start-up to the first frame: %lld ms wall, %.0f ms CPU, %.1f ms of it on the main thread\n",
                setup.elapsed(), processCpuMs() - setupCpu, threadCpuMs() - createMainCpu);

    std::vector<double> latencies;
    QElapsedTimer clock;
    double requestedAt = -1;
    QObject::connect(renderer.get(), &Splash3DRenderer::frameReady, &app, [&] {
        if (requestedAt >= 0)
            latencies.push_back(double(clock.nsecsElapsed()) / 1e6 - requestedAt);
        requestedAt = -1;
    });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        if (now >= seconds * 1000) {
            app.quit();
            return;
        }
        if (requestedAt < 0)
            requestedAt = now;
        renderer->requestFrame(now / 1000.0, size);
    });
    const double cpu0 = processCpuMs();
    const double mainCpu0 = threadCpuMs();
    clock.start();
    tick.start(16);
    app.exec();
    const double wall = double(clock.nsecsElapsed()) / 1e6;
    const double cpu = processCpuMs() - cpu0;
    const double mainCpu = threadCpuMs() - mainCpu0;

    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double q) { return latencies.empty() ? 0.0 : latencies[std::size_t(q * double(latencies.size() - 1))]; };
    double loads[1] = {0};
    getloadavg(loads, 1);
    std::printf("%dx%d, %.1f s: %zu frames (%.1f a second)\n", size.width(), size.height(), wall / 1000,
                latencies.size(), double(latencies.size()) * 1000 / wall);
    std::printf("request to frame: median %.1f ms, 90th percentile %.1f ms, max %.1f ms\n", at(0.5), at(0.9), at(1.0));
    std::printf("CPU: process %.0f ms (%.0f ms per second, %.1f ms per frame), main thread %.0f ms; load average %.2f\n",
                cpu, cpu * 1000 / wall, latencies.empty() ? 0.0 : cpu / double(latencies.size()), mainCpu, loads[0]);
    tick.stop();
    std::printf("no frames asked for: %.0f ms CPU per second\n", idleCpu(2000) / 2);
    // Qt 3D shuts down on the renderer's thread after the renderer is gone: that second is its
    // shutdown, the next one shows whether anything is left ticking.
    renderer.reset();
    const double shutdown = idleCpu(1000);
    const double quiet = idleCpu(1000);
    QStringList names;
    for (const QString &task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly))
            names << QString::fromUtf8(comm.readAll().trimmed());
    }
    names.sort();
    std::printf("after destruction: %.0f ms CPU for the shutdown, then %d threads (%d before creation: %s) and %.0f ms "
                "CPU per second\n",
                shutdown, threadCount(), threadsBefore, qPrintable(names.join(QStringLiteral(", "))), quiet);
    return 0;
}
