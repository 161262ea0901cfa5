// How long the window's thread stops answering while folder work runs: the longest gap between two
// ticks of a 1 ms timer on the main thread, while icons are applied to 100 folders (each apply
// writes a journal, the icon file, gvfs metadata and `.directory`), and while a
// folder of 100,000 entries is added (its content is read for the prompt). Goal: 50 ms or less each.
//
// Run under dbus-run-session so that gvfs metadata is written as on a desktop. Runs in a scratch HOME
// of its own; nothing of the user's is read or written.
#include "state/app_state.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

#include "bench_clock.h"
#include "bench_scratch_home.h"

namespace {

IconImage icon(int seed)
{
    QImage image(512, 512, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 220));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return IconImage(image, png);
}

struct Stall
{
    qint64 longestMs = 0;
    double startMs = 0; ///< the call that starts the work, alone
    double loadAverage = 0;
    qint64 wallMs = 0;
    bool finished = false;
};

// Starts the work, then runs the event loop until `done` holds (or a minute passes), ticking a 1 ms timer.
Stall measure(const std::function<void()> &start, const std::function<bool()> &done)
{
    QElapsedTimer sinceTick;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, sinceTick.restart()); });

    QElapsedTimer wall;
    wall.start();
    tick.start();
    sinceTick.start();
    // The start itself is part of the stall: it runs on the main thread between two ticks.
    double startMs = 0;
    QTimer::singleShot(0, [&start, &startMs] {
        QElapsedTimer call;
        call.start();
        start();
        startMs = double(call.nsecsElapsed()) / 1e6;
    });
    while (wall.elapsed() < 60000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (done())
            break;
    }
    // The tick that closes the last gap.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    longest = std::max(longest, sinceTick.elapsed());
    tick.stop();
    return {longest, startMs, BenchClock::loadAverage(), wall.elapsed(), done()};
}

bool all(const QList<FolderItemPtr> &folders, IconState::Kind kind)
{
    return std::all_of(folders.cbegin(), folders.cend(), [kind](const FolderItemPtr &f) { return f->iconState().is(kind); });
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    BenchScratchHome::use(scratch);
    QCoreApplication app(argc, argv);

    const QDir root(scratch.path());
    AppState state(AppState::Preferences::transient);
    state.setToastDuration(std::chrono::milliseconds(1));
    QList<QUrl> urls;
    for (int i = 0; i < 100; ++i) {
        const QString name = QStringLiteral("apply-%1").arg(i);
        root.mkpath(name);
        urls.append(QUrl::fromLocalFile(root.filePath(name) + u'/'));
    }
    state.addFolders(urls);
    const QList<FolderItemPtr> folders = state.folders();
    // Their (empty) content is read meanwhile.
    for (QElapsedTimer settle; !settle.isValid() || settle.elapsed() < 300;) {
        if (!settle.isValid())
            settle.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    for (int i = 0; i < folders.size(); ++i) {
        folders.at(i)->setGeneratedImage(icon(i));
        folders.at(i)->setIconState(IconState::generated());
    }
    state.selectAll();

    const Stall apply = measure([&state] { state.applySelectedIcons(); },
                                [&folders] { return all(folders, IconState::Kind::applied); });
    std::printf("apply 100 folders: longest main-thread stall %lld ms (goal <= 50; the call itself %.1f ms), "
                "%lld ms wall, load %.1f%s\n",
                static_cast<long long>(apply.longestMs), apply.startMs, static_cast<long long>(apply.wallMs),
                apply.loadAverage, apply.finished ? "" : " — NOT all applied");

    // 100,000 empty files: the analysis lists and stats each of them.
    const QString big = root.filePath(QStringLiteral("big"));
    root.mkpath(QStringLiteral("big"));
    for (int i = 0; i < 100000; ++i) {
        QFile file(big + QStringLiteral("/file-%1.txt").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
    }
    const QUrl bigUrl = QUrl::fromLocalFile(big + u'/');
    const auto bigAnalysed = [&state, &bigUrl] {
        for (const FolderItemPtr &f : state.folders()) {
            if (f->url() == bigUrl)
                return f->fileCount() > 0;
        }
        return false;
    };
    const Stall add = measure([&state, &bigUrl] { state.addFolders({bigUrl}); }, bigAnalysed);
    std::printf("add a folder of 100,000 files: longest main-thread stall %lld ms (goal <= 50; the call itself %.1f ms), "
                "%lld ms wall, load %.1f%s\n",
                static_cast<long long>(add.longestMs), add.startMs, static_cast<long long>(add.wallMs),
                add.loadAverage, add.finished ? "" : " — NOT analysed");
    return apply.finished && add.finished ? 0 : 1;
}
