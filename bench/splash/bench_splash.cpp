// The launch screen's cost, measured:
//  1. the painted stand-in alone: CPU time per frame at 1200 × 750 (every shape faded in);
//  2. the whole splash phase (5.5 s from the window's first show until the splash is gone): CPU
//     time of the process, against the same window without a splash, with frames painted and the
//     renderer the environment gave (OpenGL or the stand-in);
//  3. typing in the API key sheet at launch (no key stored: the sheet opens over the splash): a key
//     press posted every 200 ms during the splash, timed until the key field has the character.
//
// Runs in a scratch HOME and XDG dirs; offscreen unless QT_QPA_PLATFORM is set. For the OpenGL
// figures run it under a display server, e.g.  xvfb-run -a env QT_QPA_PLATFORM=xcb bench_splash
#include "design/animation_clock.h"
#include "onboarding/onboarding_sheet.h"
#include "keys/keychain_service.h"
#include "shell/content_view.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "state/app_state.h"
#include "splash/splash_stand_in.h"
#include "splash/splash_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

#include "bench_clock.h"
#include "bench_scratch_home.h"

namespace {
using BenchClock::processCpuMs;
using BenchClock::threadCpuMs;
using BenchClock::loadAverage;

/// Runs the event loop (sleeping while idle, so the wait itself costs no CPU) until `source`
/// emits `signal` or `timeoutMs` pass. Returns whether the signal came.
template<typename Object, typename Signal>
bool waitForSignal(Object *source, Signal signal, int timeoutMs)
{
    QEventLoop loop;
    bool came = false;
    QObject::connect(source, signal, &loop, [&] {
        came = true;
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return came;
}

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void standInFrames()
{
    QRandomGenerator random(2026);
    const SplashScene::Scene scene = SplashScene::buildScene(random);
    QImage frame(1200, 750, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> cpu;
    QElapsedTimer wall;
    wall.start();
    const int frames = 300;
    for (int i = 0; i < frames; ++i) {
        frame.fill(Qt::transparent);
        const double before = threadCpuMs();
        QPainter p(&frame);
        SplashScene::paintStandIn(p, QRectF(frame.rect()), scene, 3.0 + i / 60.0);
        p.end();
        cpu.push_back(threadCpuMs() - before);
    }
    const double wallMs = double(wall.nsecsElapsed()) / 1e6;
    std::sort(cpu.begin(), cpu.end());
    std::printf("stand-in at 1200x750: median %.2f ms CPU per frame (p95 %.2f, max %.2f; %d frames, "
                "%.2f ms wall per frame)\n",
                cpu[cpu.size() / 2], cpu[cpu.size() * 95 / 100], cpu.back(), frames, wallMs / frames);
}

struct PhaseResult
{
    double cpuMs = 0;
    double wallMs = 0;
    int frames = 0;
    double longestStallMs = 0; ///< longest gap between the turns of a 5 ms timer: how long input could wait
    QString renderer;
};

/// Counts paints of the splash's field.
class PaintCounter final : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

PhaseResult splashPhase(bool withSplash, const QList<QUrl> &folders)
{
    PhaseResult result;
    TavruneApp app(TavruneApp::Options{.showSplash = withSplash});
    // Folders in the list, as at a usual launch (an empty list shows the grid's animated empty state).
    app.state().addFolders(folders);
    ContentView *content = app.window().contentView();
    auto *splash = qobject_cast<SplashView *>(content->splash());
    PaintCounter counter;
    if (splash)
        splash->sceneView()->installEventFilter(&counter);
    const double cpuStart = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QElapsedTimer sinceTurn;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double gap = double(sinceTurn.nsecsElapsed()) / 1e6 - 5.0;
        result.longestStallMs = std::max(result.longestStallMs, gap);
        sinceTurn.start();
    });
    app.show();
    sinceTurn.start();
    heartbeat.start();
    if (splash) {
        // The renderer is chosen once the event loop runs after the first show.
        QTimer::singleShot(1000, splash, [&result, splash] {
            result.renderer = splash->sceneView()->usesOpenGL() ? QStringLiteral("OpenGL")
                                                                : QStringLiteral("2D stand-in");
        });
        waitForSignal(content, &ContentView::splashFinished, 20000);
    } else {
        idle(5500);
    }
    heartbeat.stop();
    result.wallMs = double(wall.nsecsElapsed()) / 1e6;
    result.cpuMs = processCpuMs() - cpuStart;
    result.frames = counter.paints;
    return result;
}

void keyLatencyAtLaunch()
{
    QFile::remove(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                  + QStringLiteral("/com.tavrune.app/com.tavrune.openrouter-api-key"));
    TavruneApp app;
    app.show();
    auto *presenter = app.window().findChild<OnboardingPresenter *>();
    if (presenter && !presenter->sheet())
        waitForSignal(presenter, &OnboardingPresenter::sheetShown, 5000);
    if (!presenter || !presenter->sheet()) {
        std::printf("key latency: the API key sheet did not open\n");
        return;
    }
    auto *field = presenter->sheet()->findChild<QLineEdit *>();
    if (!field) {
        std::printf("key latency: the sheet has no key field\n");
        return;
    }
    field->setFocus();
    bool openGL = false;
    std::vector<double> latencies;
    QElapsedTimer sinceShow;
    sinceShow.start();
    while (app.window().contentView()->showSplash() && sinceShow.elapsed() < 8000) {
        idle(200);
        if (auto *splash = qobject_cast<SplashView *>(app.window().contentView()->splash()))
            openGL = openGL || splash->sceneView()->usesOpenGL();
        QElapsedTimer timer;
        timer.start();
        QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
        QCoreApplication::postEvent(field, new QKeyEvent(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")));
        if (waitForSignal(field, &QLineEdit::textChanged, 2000))
            latencies.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    std::printf("key press in the API key sheet during the splash (%s field): median %.1f ms, max %.1f ms "
                "(%zu presses)\n",
                openGL ? "OpenGL" : "stand-in", latencies[latencies.size() / 2], latencies.back(), latencies.size());
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    BenchScratchHome::use(home);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TAVRUNE_OPENROUTER_URL", "http://127.0.0.1:9"); // nothing here talks to the network
    QApplication qapp(argc, argv);
    std::printf("platform %s, load average %.2f\n", qPrintable(QGuiApplication::platformName()), loadAverage());

    standInFrames();

    KeychainService::shared().save(QStringLiteral("sk-or-v1-bench"));
    QList<QUrl> folders;
    for (int i = 0; i < 12; ++i) {
        const QString path = home.filePath(QStringLiteral("folders/Folder %1").arg(i));
        QDir().mkpath(path);
        folders.append(QUrl::fromLocalFile(path + QLatin1Char('/')));
    }
    const PhaseResult plain = splashPhase(false, folders);
    const PhaseResult splash = splashPhase(true, folders);
    std::printf("splash phase with the %s field: %.0f ms CPU over %.2f s (%.0f%% of a core), %d frames "
                "(%.0f a second), longest UI-thread stall %.1f ms; the same window without the splash: %.0f ms CPU "
                "over %.2f s, longest stall %.1f ms\n",
                qPrintable(splash.renderer), splash.cpuMs, splash.wallMs / 1e3, 100.0 * splash.cpuMs / splash.wallMs,
                splash.frames, splash.frames / (splash.wallMs / 1e3), splash.longestStallMs, plain.cpuMs,
                plain.wallMs / 1e3, plain.longestStallMs);

    keyLatencyAtLaunch();
    std::printf("load average at the end %.2f\n", loadAverage());
    return 0;
}
