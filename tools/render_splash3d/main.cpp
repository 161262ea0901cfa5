// render_splash3d OUTDIR [SEED] [WIDTHxHEIGHT] [SECONDS...]
// Writes OUTDIR/splash3d-<seconds>.png (the frame alone) and OUTDIR/splash3d-<seconds>-backdrop.png
// (over the splash's backdrop colour), and prints the time each frame took.
#include "splash/splash_3d_renderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: render_splash3d OUTDIR [SEED] [WIDTHxHEIGHT] [SECONDS...]\n");
        return 2;
    }
    const QString outDir = args.at(1);
    QDir().mkpath(outDir);
    const quint32 seed = args.size() > 2 ? args.at(2).toUInt() : 7;
    QSize size(1200, 750);
    if (args.size() > 3) {
        const QStringList wh = args.at(3).split(QLatin1Char('x'));
        size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
    }
    QList<double> times;
    for (int i = 4; i < args.size(); ++i)
        times << args.at(i).toDouble();
    if (times.isEmpty())
        times = {0.0, 1.0, 2.5, 5.0};

    QRandomGenerator random(seed);
    const SplashScene::Scene scene = SplashScene::buildScene(random);
    auto renderer = Splash3DRenderer::create(scene);
    for (double t : times) {
        QImage frame;
        QEventLoop loop;
        QObject::connect(renderer.get(), &Splash3DRenderer::frameReady, &loop, [&](const QImage &image) {
            frame = image;
            loop.quit();
        });
        QObject::connect(renderer.get(), &Splash3DRenderer::unavailable, &loop, &QEventLoop::quit);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        QElapsedTimer wall;
        wall.start();
        const double cpu = threadCpuMs();
        renderer->requestFrame(t, size);
        if (frame.isNull())
            loop.exec();
        renderer->disconnect(&loop);
        std::printf("t=%.2f: %lld ms wall, %.1f ms CPU, %s\n", t, wall.elapsed(), threadCpuMs() - cpu,
                    frame.isNull() ? "no frame" : "ok");
        if (frame.isNull())
            return 1;
        const QString name = QStringLiteral("%1/splash3d-%2").arg(outDir).arg(t);
        frame.save(name + QStringLiteral(".png"));
        QImage over(frame.size(), QImage::Format_ARGB32_Premultiplied);
        over.fill(QColor(0x06, 0x06, 0x08));
        QPainter(&over).drawImage(0, 0, frame);
        over.save(name + QStringLiteral("-backdrop.png"));
    }
    return 0;
}
