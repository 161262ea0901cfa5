// The folder grid with 5,000 folders, all with generated images, in a 1200 × 750 view:
// the time to paint the visible grid, the time of each scroll step (a wheel notch of 144 px,
// painted, plus whatever the event loop then has to do), and the thumbnail memory per folder shown.
// Run with QT_QPA_PLATFORM=offscreen; QT_SCALE_FACTOR=2 measures the doubled pixel ratio.
//
// Runs in a scratch HOME of its own; nothing of the user's is read or written.
#include "design/animation_clock.h"
#include "design/tokens.h"
#include "grid/folder_grid_view.h"
#include "state/app_state.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "bench_clock.h"
#include "bench_scratch_home.h"

namespace {
using BenchClock::processCpuMs;
using BenchClock::threadCpuMs;

constexpr int FolderCount = 5000;

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

QImage icon(int seed)
{
    // A 1024² styled-icon-like picture: a gradient plate, so scaling has real work to do.
    QImage image(1024, 1024, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    QLinearGradient gradient(0, 0, 1024, 1024);
    gradient.setColorAt(0, QColor::fromHsv(seed * 37 % 360, 200, 230));
    gradient.setColorAt(1, QColor::fromHsv(seed * 53 % 360, 180, 120));
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(gradient);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(100, 100, 824, 824), 185, 185);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    BenchScratchHome::use(scratch);

    QApplication app(argc, argv);
    Tokens::registerFonts();

    AppState state;
    QDir root(scratch.path());
    QList<QUrl> urls;
    for (int i = 0; i < FolderCount; ++i) {
        const QString name = QStringLiteral("folder-%1").arg(i, 4, 10, QLatin1Char('0'));
        root.mkpath(name);
        urls.append(QUrl::fromLocalFile(root.filePath(name) + u'/'));
    }
    state.addFolders(urls);
    // Sixteen pictures shared out over the folders (5,000 distinct 1024² images would need 20 GiB);
    // thumbnails are still made and kept per folder.
    std::vector<IconImage> pictures;
    for (int i = 0; i < 16; ++i)
        pictures.push_back(IconImage(icon(i), {}));
    for (int i = 0; i < FolderCount; ++i) {
        const FolderItemPtr &folder = state.folders().at(i);
        folder->setGeneratedImage(pictures[size_t(i % 16)]);
        folder->setIconState(i % 3 == 0 ? IconState::applied() : IconState::generated());
    }

    AnimationClock &clock = AnimationClock::instance();
    double now = 1000;
    clock.setManualTime(now);
    FolderGridView view(&state);
    view.resize(1200, 750);
    view.show();
    QApplication::processEvents();
    // Cards are past their fade-in, thumbnails made.
    clock.setManualTime(now += 1000);
    view.viewport()->repaint();
    view.thumbnails().waitForPending(20000);

    // Painting is measured into an image of the viewport's size and pixel ratio: the paint event
    // alone, without the platform's copy of the window to the screen.
    const qreal dpr = view.viewport()->devicePixelRatioF();
    QImage frame(view.viewport()->size() * dpr, QImage::Format_ARGB32_Premultiplied);
    frame.setDevicePixelRatio(dpr);
    auto paint = [&] { view.viewport()->render(&frame, {}, {}, QWidget::DrawWindowBackground); };
    std::vector<double> paints;
    std::vector<double> paintsCpu;
    QElapsedTimer timer;
    // BENCH_GRID_PAINTS=n paints n times and stops there (for profiling the paint alone).
    const int paintCount = qEnvironmentVariableIntValue("BENCH_GRID_PAINTS");
    for (int i = 0; i < (paintCount > 0 ? paintCount : 200); ++i) {
        timer.start();
        const double cpu = processCpuMs();
        paint();
        paintsCpu.push_back(processCpuMs() - cpu);
        paints.push_back(double(timer.nsecsElapsed()) / 1e6);
    }

    if (paintCount > 0) {
        std::printf("paint visible grid: median %.2f ms wall, %.2f ms CPU\n", percentile(paints, 0.5),
                    percentile(paintsCpu, 0.5));
        return 0;
    }
    std::vector<double> steps;
    std::vector<double> stepsCpu;
    QScrollBar *bar = view.verticalScrollBar();
    const int notch = bar->singleStep() * QApplication::wheelScrollLines();
    QElapsedTimer total;
    total.start();
    while (bar->value() < bar->maximum()) {
        timer.start();
        const double cpu = threadCpuMs();
        bar->setValue(bar->value() + notch);
        // Cards scrolled into view have waited their turn to appear long enough.
        clock.setManualTime(now += 1000);
        paint();
        QApplication::processEvents();
        stepsCpu.push_back(threadCpuMs() - cpu);
        steps.push_back(double(timer.nsecsElapsed()) / 1e6);
        QThread::msleep(16); // a wheel notch per frame, no faster than a screen shows them
    }
    view.thumbnails().waitForPending(20000);
    const double seconds = double(total.elapsed()) / 1000.0;
    const int cached = view.thumbnails().count();

    std::printf("bench_grid: %d folders, viewport %dx%d at device pixel ratio %.1f, %d columns\n", FolderCount,
                view.viewport()->width(), view.viewport()->height(), view.viewport()->devicePixelRatioF(),
                view.folderLayout().columns());
    std::printf("paint visible grid: wall median %.2f ms, p99 %.2f ms; CPU median %.2f ms, p99 %.2f ms (%zu paints)\n",
                percentile(paints, 0.5), percentile(paints, 0.99), percentile(paintsCpu, 0.5),
                percentile(paintsCpu, 0.99), paints.size());
    std::printf("scroll step (%d px, paint + events): wall median %.2f ms, p99 %.2f ms, max %.2f ms; "
                "UI-thread CPU median %.2f ms, p99 %.2f ms (%zu steps, %.1f s)\n",
                notch, percentile(steps, 0.5), percentile(steps, 0.99), percentile(steps, 1.0),
                percentile(stepsCpu, 0.5), percentile(stepsCpu, 0.99), steps.size(), seconds);
    std::printf("load average while measuring: %s", qPrintable(QString::fromLatin1([] {
                    QFile f(QStringLiteral("/proc/loadavg"));
                    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?\n");
                }())));
    std::printf("thumbnail memory: %.1f KiB per folder shown (%d thumbnails, %.1f MiB)\n",
                double(view.thumbnails().byteSize()) / 1024.0 / std::max(1, cached), cached,
                double(view.thumbnails().byteSize()) / 1024.0 / 1024.0);

    // Idle: once nothing moves, the animation clock stops.
    clock.setManualTime(std::nullopt);
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 1500)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    std::printf("idle after scrolling: animation clock %s\n", clock.isTicking() ? "TICKING" : "stopped");
    return 0;
}
