// Restoring a session of 1,000 folders with generated icons: the UI thread's time until the model is
// ready, the time until the first 60 and every image are present, the longest stall of the event loop
// meanwhile (and which event it was), CPU time and resident memory. Measured twice: for a session of
// the older format (PNGs only, every icon decoded), then for the same session with the renditions the
// first restore stored. Then what one folder's change writes, that an idle session writes nothing, and
// what new icons cost in memory before and after the session has written them.
//
// With "window" the real application restores (the session before its window exists, as at launch)
// and its window is shown offscreen, so painting and the grid's thumbnails are measured as well.
//
// With "--history N" every folder also has N earlier images (at most 11: twelve images per folder in
// all), each in its own files, as after months of regenerating: history must cost disk, not memory.
// After each restore, Undo of removing every folder is timed on the UI thread.
//
// Runs in a scratch HOME of its own; nothing of the user's is read or written.
// Usage: bench_session [folder count, default 1000] [window] [--history N]
#include "imaging/icon_styler.h"
#include "keys/keychain_service.h"
#include "session/session_store.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "state/app_state.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <QTimer>

#include <cstdio>

#include <malloc.h>
#include <ctime>
#include <sys/resource.h>
#include <sys/stat.h>
#include "bench_scratch_home.h"

namespace {

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

// CPU time of every thread of the process: on a busy machine wall times stretch, this does not.
qint64 processCpuMs()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// Generated art compresses poorly: a gradient under fine noise gives PNGs of a realistic size.
QImage styledPicture(int seed)
{
    QImage picture(1024, 1024, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    const QColor base = QColor::fromHsv(seed * 47 % 360, 180, 200);
    for (int y = 0; y < picture.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int noise = int(random.bounded(24));
            line[x] = qRgb(qBound(0, base.red() + x / 16 + noise, 255), qBound(0, base.green() + y / 16 + noise, 255),
                           qBound(0, base.blue() + noise, 255));
        }
    }
    return IconStyler::appIconStyled(picture);
}

IconImage icon(int seed)
{
    const QImage styled = styledPicture(seed);
    return IconImage{styled, IconStyler::encodePng(styled)};
}

struct FileId
{
    ino_t inode = 0;
    qint64 mtimeNs = 0;
    friend bool operator==(const FileId &, const FileId &) = default;
};

QHash<QString, FileId> files()
{
    QHash<QString, FileId> result;
    const QDir dir(SessionStore::directory());
    for (const QString &name : dir.entryList(QDir::Files)) {
        struct stat status = {};
        if (::stat(QFile::encodeName(dir.filePath(name)).constData(), &status) == 0)
            result.insert(name, FileId{status.st_ino, qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec});
    }
    return result;
}

void reportChanges(const char *what, const QHash<QString, FileId> &before, const QHash<QString, FileId> &after)
{
    QStringList written, removed;
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (before.value(it.key()) != it.value())
            written.append(it.key());
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()))
            removed.append(it.key());
    }
    std::printf("%s: %lld file(s) written [%s], %lld removed\n", what, qint64(written.size()),
                qPrintable(written.join(QStringLiteral(", "))), qint64(removed.size()));
}

// CPU time of the calling thread: what an event cost, however long a busy machine kept it waiting.
qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

long voluntarySwitches()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

// Times every event the UI thread handles: the longest one says what a stall was.
class TimingApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    struct Event
    {
        qint64 ns = 0;
        qint64 cpuNs = 0;
        long waits = 0; // voluntary context switches: the thread blocked on something
        qint64 atMs = 0;
        QByteArray what;
    };
    /// The longest events, longest first.
    QList<Event> longest;
    QElapsedTimer clock;
    bool timing = false;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!timing || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        QElapsedTimer timer;
        timer.start();
        const qint64 cpuBefore = threadCpuNs();
        const long waitsBefore = voluntarySwitches();
        const int type = event->type();
        const bool result = QApplication::notify(receiver, event);
        const qint64 ns = timer.nsecsElapsed();
        const qint64 cpuNs = threadCpuNs() - cpuBefore;
        const long waits = voluntarySwitches() - waitsBefore;
        if (longest.size() < 5 || ns > longest.constLast().ns) {
            const auto at = std::find_if(longest.begin(), longest.end(), [ns](const Event &e) { return e.ns < ns; });
            longest.insert(at, Event{ns, cpuNs, waits, clock.elapsed(),
                                     QByteArray(receiver->metaObject()->className()) + " event " + QByteArray::number(type)});
            if (longest.size() > 5)
                longest.removeLast();
        }
        return result;
    }
};

struct Restore
{
    AppState *state = nullptr;
    SessionStore *store = nullptr;
    SessionStore::RestoreOutcome outcome = SessionStore::RestoreOutcome::skipped;
};

void measureRestore(const char *label, int count, bool withWindow)
{
    auto *app = static_cast<TimingApplication *>(QCoreApplication::instance());
    std::unique_ptr<AppState> ownState;
    std::unique_ptr<SessionStore> ownStore;
    std::unique_ptr<TavruneApp> tavrune;
    Restore restore;

    QElapsedTimer timer;
    const qint64 cpuBefore = processCpuMs();
    const qint64 uiCpuBefore = threadCpuNs();
    timer.start();
    if (withWindow) {
        tavrune = std::make_unique<TavruneApp>(TavruneApp::Options{false, true});
        restore.state = &tavrune->state();
        restore.store = tavrune->session();
        restore.outcome = restore.state->folders().isEmpty() ? SessionStore::RestoreOutcome::empty
                                                             : SessionStore::RestoreOutcome::restored;
        tavrune->window().resize(1200, 800);
        tavrune->show();
    } else {
        ownState = std::make_unique<AppState>();
        ownStore = std::make_unique<SessionStore>(ownState.get());
        restore.state = ownState.get();
        restore.store = ownStore.get();
        restore.outcome = ownStore->restore();
    }
    const qint64 modelReady = timer.elapsed();
    const qint64 modelReadyCpu = (threadCpuNs() - uiCpuBefore) / 1000000;

    int imagesPresent = 0;
    qint64 firstScreen = -1;
    for (const FolderItemPtr &folder : restore.state->folders()) {
        QObject::connect(folder.get(), &FolderItem::generatedImageChanged, [&] {
            if (++imagesPresent == 60)
                firstScreen = timer.elapsed();
        });
    }
    qint64 longestStall = 0;
    QElapsedTimer sinceBeat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longestStall = std::max(longestStall, sinceBeat.restart()); });
    QEventLoop loop;
    QObject::connect(restore.store, &SessionStore::restoreFinished, &loop, &QEventLoop::quit);
    app->longest.clear();
    app->clock.start();
    app->timing = true;
    sinceBeat.start();
    heartbeat.start();
    if (restore.store->isRestoring())
        loop.exec();
    const qint64 allImages = timer.elapsed();
    if (withWindow) {
        // The grid's thumbnails of the images that came in are made off the UI thread: until they are
        // painted, the images are not on screen.
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
    }
    heartbeat.stop();
    app->timing = false;
    const qint64 cpu = processCpuMs() - cpuBefore;
    // Quitting does not wait for renditions an older session's icons still need: wait here, so the
    // next restore finds them all.
    restore.store->flush();
    std::printf("%s: outcome %d, model ready (UI thread%s) %lld ms (CPU %lld ms), first 60 images %lld ms, all %d "
                "images %lld ms\n",
                label, int(restore.outcome), withWindow ? ", window built" : "", modelReady, modelReadyCpu, firstScreen,
                imagesPresent, allImages);
    std::printf("  longest event-loop stall meanwhile %lld ms; longest events:", longestStall);
    for (const TimingApplication::Event &event : std::as_const(app->longest))
        std::printf(" %.1f ms (CPU %.1f ms, %ld waits) at %lld ms (%s);", double(event.ns) / 1e6,
                    double(event.cpuNs) / 1e6, event.waits, event.atMs, event.what.constData());
    std::printf("\n");
    std::printf("  CPU time, all threads: %lld ms (%.2f ms per folder); resident memory after: %lld MiB\n", cpu,
                double(cpu) / count, residentKiB() / 1024);

    // Every folder removed in one step, then brought back: what the UI thread spends on the undo,
    // including the notifications it posts (the grid and the session follow the list).
    restore.state->selectAll();
    restore.state->removeSelectedFolders();
    QCoreApplication::processEvents();
    // What each session write spends meanwhile listing the files only the removal's step holds.
    const qint64 heldCpuBefore = threadCpuNs();
    const qsizetype held = restore.state->heldImages().size();
    std::printf("  listing the %lld images Undo holds (UI thread, each session write): CPU %.1f ms\n", qint64(held),
                double(threadCpuNs() - heldCpuBefore) / 1e6);
    QElapsedTimer undoTimer;
    const qint64 undoCpuBefore = threadCpuNs();
    undoTimer.start();
    restore.state->undoStack()->undo();
    const qint64 undoCall = undoTimer.elapsed();
    QCoreApplication::processEvents();
    std::printf("  undo of removing %lld folders (UI thread): %lld ms in the call, %lld ms with the events it "
                "posted (CPU %.1f ms)\n",
                qint64(restore.state->folders().size()), undoCall, undoTimer.elapsed(),
                double(threadCpuNs() - undoCpuBefore) / 1e6);
    restore.state->undoStack()->clear();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    BenchScratchHome::use(scratch);
    bool withWindow = false;
    int count = 1000;
    int historyCount = 0;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "window")
            withWindow = true;
        else if (arg == "--history" && i + 1 < argc)
            historyCount = std::clamp(QByteArray(argv[++i]).toInt(), 0, FolderItem::historyLimit - 1);
        else if (arg.toInt() > 0)
            count = arg.toInt();
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication app(argc, argv);
    // A user with a thousand icons has a key: the window shows the folders, not the first-run sheet.
    if (withWindow)
        KeychainService::shared().save(QStringLiteral("sk-or-v1-bench"));

    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString path = scratch.path() + QStringLiteral("/folders/Project %1").arg(i);
        QDir().mkpath(path);
        for (int f = 0; f < 5; ++f) {
            QFile file(path + QStringLiteral("/file%1.txt").arg(f));
            file.open(QIODevice::WriteOnly);
            file.write(QByteArray(100 * f, 'x'));
        }
        urls.append(QUrl::fromLocalFile(path + u'/'));
    }
    QList<IconImage> icons;
    for (int i = 0; i < 8; ++i)
        icons.append(icon(i));
    std::printf("icon PNG: %lld bytes\n", qint64(icons.constFirst().png().size()));

    {
        AppState state;
        SessionStore store(&state);
        QElapsedTimer timer;
        timer.start();
        state.addFolders(urls);
        std::printf("adding %d folders (UI thread): %lld ms; %d earlier images each\n", count, timer.elapsed(), historyCount);
        for (int i = 0; i < count; ++i) {
            const FolderItemPtr folder = state.folders().at(i);
            folder->setGeneratedImage(icons.at(i % icons.size()));
            folder->setIconState(IconState::generated());
            folder->setLastGeneratedPrompt(QStringLiteral("prompt ").repeated(150));
            folder->setLastGeneratedAt(QDateTime::currentDateTime());
            // Each earlier image is an icon of its own (its own files), sharing the pictures' pixels here.
            QList<IconHistoryEntry> history;
            for (int h = 0; h < historyCount; ++h) {
                const IconImage &picture = icons.at((i + h + 1) % icons.size());
                history.append(IconHistoryEntry{IconImage::fromRenditions(picture.png(), picture.size(), picture.renditions()),
                                                QString(), QDateTime::currentDateTime().addDays(-1 - h),
                                                QStringLiteral("google/gemini-2.5-flash-image"),
                                                QStringLiteral("prompt ").repeated(150), false, 0.039});
            }
            folder->setHistory(history);
        }
        timer.restart();
        store.flush();
        std::printf("first write of %d folders with images: %lld ms\n", count, timer.elapsed());
    }
    const QDir dir(SessionStore::directory());
    std::printf("index: %lld bytes\n", QFileInfo(dir.filePath(QStringLiteral("session.json"))).size());
    qint64 renditionBytes = 0;
    const QStringList renditionFiles = dir.entryList({QStringLiteral("*.renditions")}, QDir::Files);
    for (const QString &name : renditionFiles)
        renditionBytes += QFileInfo(dir.filePath(name)).size();
    std::printf("renditions: %lld files, %lld bytes each on average\n", qint64(renditionFiles.size()),
                renditionFiles.isEmpty() ? 0 : renditionBytes / renditionFiles.size());
    std::printf("resident memory before restoring: %lld MiB\n", residentKiB() / 1024);

    // Measured first, so that its memory is what a launch of its own has, not what decoding left behind.
    measureRestore("session with renditions", count, withWindow);
    // A session written before renditions were kept: its restore decodes every PNG (and stores the
    // renditions, on quitting at the latest), so the next launch finds them.
    // (Skipped with history: that pass is about the format, and history files are many.)
    if (historyCount == 0) {
        for (const QString &name : renditionFiles)
            QFile::remove(dir.filePath(name));
        measureRestore("older session, PNGs only", count, withWindow);
    }

    AppState state;
    SessionStore store(&state);
    store.restore();
    QEventLoop loop;
    QObject::connect(&store, &SessionStore::restoreFinished, &loop, &QEventLoop::quit);
    if (store.isRestoring())
        loop.exec();

    QHash<QString, FileId> before = files();
    state.folders().at(count / 2)->setCustomPrompt(QStringLiteral("a lighthouse"));
    QElapsedTimer timer;
    timer.start();
    store.flush();
    std::printf("one prompt changed, write %lld ms\n", timer.elapsed());
    QHash<QString, FileId> after = files();
    reportChanges("one prompt changed", before, after);

    // As a generation finishing: the new image becomes current, the one before goes into the history
    // (whose oldest leaves when it is full).
    before = after;
    state.folders().at(7)->makeCurrent(IconHistoryEntry{icon(99), QString(), QDateTime::currentDateTime(),
                                                        QStringLiteral("openai/gpt-5.4-image-2"), QStringLiteral("a new prompt"),
                                                        false, 0.04});
    timer.restart();
    store.flush();
    std::printf("one generation finished, write %lld ms\n", timer.elapsed());
    after = files();
    reportChanges("one generation finished", before, after);

    before = after;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    store.flush();
    reportChanges("idle 3 s", before, files());

    // Generations finishing in this run: a new icon holds every rendition until the session has written
    // it; from then on only the grid's, the preview's being read from beside its PNG when shown.
    const int fresh = std::min(count, 200);
    QList<std::pair<QImage, QByteArray>> pictures;
    for (int i = 0; i < 8; ++i) {
        const QImage styled = styledPicture(100 + i);
        pictures.append({styled, IconStyler::encodePng(styled)});
    }
    // Memory freed counts as freed: the allocator gives it back to the system before each reading.
    const auto trimmedResidentKiB = [] {
        ::malloc_trim(0);
        return residentKiB();
    };
    const qint64 residentBefore = trimmedResidentKiB();
    for (int i = 0; i < fresh; ++i) {
        // Icons of their own (renditions made for each), sharing only the pictures' PNG bytes.
        const auto &[styled, png] = pictures.at(i % pictures.size());
        state.folders().at(i)->makeCurrent(IconHistoryEntry{IconImage{styled, png}, QString(), QDateTime::currentDateTime(),
                                                            QStringLiteral("openai/gpt-5.4-image-2"),
                                                            QStringLiteral("a new prompt"), false, 0.04});
    }
    const qint64 residentHeld = trimmedResidentKiB();
    store.flush();
    const qint64 residentWritten = trimmedResidentKiB();
    int lazy = 0;
    for (int i = 0; i < fresh; ++i)
        lazy += state.folders().at(i)->generatedImage().loadsLargeRenditionsLazily() ? 1 : 0;
    std::printf("%d new icons: resident memory +%lld MiB until written, +%lld MiB once written (%d of them "
                "loading the preview's renditions when shown)\n",
                fresh, (residentHeld - residentBefore) / 1024, (residentWritten - residentBefore) / 1024, lazy);
    return 0;
}
