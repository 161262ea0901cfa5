// How long the window's thread stops answering while folder work runs: the longest gap between two
// ticks of a 1 ms timer on the main thread, while icons are applied to 100 folders (each apply
// writes a journal, the icon file, gvfs metadata and `.directory`), while a folder of 100,000
// entries is added (its content is read for the prompt), and while a folder of 100,000 entries
// moved onto the Desktop with the Desktop switch on is listed, generated (against a local fake
// OpenRouter) and applied at once. Goal: 50 ms or less each.
//
// Run under dbus-run-session so that gvfs metadata is written as on a desktop. Runs in a scratch HOME
// of its own; nothing of the user's is read or written.
#include "state/app_state.h"
#include "keys/keychain_service.h"

#include "fake_open_router.h"

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

// A folder of `count` empty files at `path`: its analysis lists and stats each of them.
bool makeBigFolder(const QString &path, int count)
{
    if (!QDir().mkpath(path))
        return false;
    for (int i = 0; i < count; ++i) {
        QFile file(path + QStringLiteral("/file-%1.txt").arg(i));
        if (!file.open(QIODevice::WriteOnly))
            return false;
    }
    return true;
}

void report(const char *what, const Stall &stall, const char *unfinished)
{
    std::printf("%s: longest main-thread stall %lld ms (goal <= 50; the call itself %.1f ms), %lld ms wall, load %.1f%s\n",
                what, static_cast<long long>(stall.longestMs), stall.startMs, static_cast<long long>(stall.wallMs),
                stall.loadAverage, stall.finished ? "" : unfinished);
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
    report("apply 100 folders", apply, " — NOT all applied");

    const QString big = root.filePath(QStringLiteral("big"));
    if (!makeBigFolder(big, 100000))
        return 1;
    const QUrl bigUrl = QUrl::fromLocalFile(big + u'/');
    const auto bigAnalysed = [&state, &bigUrl] {
        for (const FolderItemPtr &f : state.folders()) {
            if (f->url() == bigUrl)
                return f->fileCount() > 0;
        }
        return false;
    };
    const Stall add = measure([&state, &bigUrl] { state.addFolders({bigUrl}); }, bigAnalysed);
    report("add a folder of 100,000 files", add, " — NOT analysed");

    // The Desktop switch on: a folder moved onto the Desktop is generated as soon as it is reported,
    // and its prompt needs the content, which is read meanwhile.
    QImage answer(512, 512, QImage::Format_RGB32);
    answer.fill(Qt::darkCyan);
    FakeOpenRouter server;
    server.setDefaultReply(FakeReply::image(answer));
    qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());
    KeychainService::shared().save(QStringLiteral("sk-bench"));
    const QString desktop = AppState::watchedRootURL().toLocalFile();
    const QString staged = root.filePath(QStringLiteral("staged/Scores"));
    if (!QDir().mkpath(desktop) || !makeBigFolder(staged, 100000))
        return 1;
    AppState watching;
    watching.setToastDuration(std::chrono::milliseconds(1));
    watching.setWatcherReportDelay(std::chrono::milliseconds(0));
    watching.setWatchingRoot(true);
    const QString moved = QDir(desktop).filePath(QStringLiteral("Scores"));
    const auto desktopDone = [&watching] {
        const QList<FolderItemPtr> listed = watching.folders();
        return listed.size() == 1 && listed.constFirst()->fileCount() > 0 && watching.runningGenerationCount() == 0
            && watching.runningIconWorkCount() == 0 && !listed.constFirst()->iconState().is(IconState::Kind::placeholder)
            && !listed.constFirst()->iconState().is(IconState::Kind::generating);
    };
    const Stall desktopRun = measure([&staged, &moved] { QDir().rename(staged, moved); }, desktopDone);
    report("a folder of 100,000 files moved onto the Desktop, generated and applied", desktopRun,
           " — NOT generated and applied");
    if (desktopRun.finished && !watching.folders().constFirst()->iconState().is(IconState::Kind::applied))
        std::printf("  (ended %s)\n", qPrintable(watching.folders().constFirst()->iconState().message()));
    return apply.finished && add.finished && desktopRun.finished ? 0 : 1;
}
