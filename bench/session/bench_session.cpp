// Restoring a session of 1,000 folders with generated icons: the UI thread's time until the model is
// ready, the time until every image is present, the longest stall of the event loop meanwhile, and the
// resident memory. Then what one folder's change writes, and that an idle session writes nothing.
//
// Runs in a scratch HOME of its own; nothing of the user's is read or written.
// Usage: bench_session [folder count, default 1000]
#include "services/icon_styler.h"
#include "session/session_store.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

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
IconImage icon(int seed)
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
    const QImage styled = IconStyler::appIconStyled(picture);
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

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, scratch.path().toUtf8() + '/' + name);
    qputenv("HOME", scratch.path().toUtf8());
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;

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
        std::printf("adding %d folders (UI thread): %lld ms\n", count, timer.elapsed());
        for (int i = 0; i < count; ++i) {
            const FolderItemPtr folder = state.folders().at(i);
            folder->setGeneratedImage(icons.at(i % icons.size()));
            folder->setIconState(IconState::generated());
            folder->setLastGeneratedPrompt(QStringLiteral("prompt ").repeated(150));
            folder->setLastGeneratedAt(QDateTime::currentDateTime());
        }
        timer.restart();
        store.flush();
        std::printf("first write of %d folders with images: %lld ms\n", count, timer.elapsed());
    }
    std::printf("index: %lld bytes\n", QFileInfo(SessionStore::directory() + QStringLiteral("/session.json")).size());
    const qint64 baseline = residentKiB();

    AppState state;
    SessionStore store(&state);
    qint64 longestStall = 0;
    QElapsedTimer sinceBeat;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longestStall = std::max(longestStall, sinceBeat.restart()); });

    QElapsedTimer timer;
    const qint64 cpuBefore = processCpuMs();
    timer.start();
    const SessionStore::RestoreOutcome outcome = store.restore();
    const qint64 modelReady = timer.elapsed();
    int imagesPresent = 0;
    qint64 firstScreen = -1;
    for (const FolderItemPtr &folder : state.folders()) {
        QObject::connect(folder.get(), &FolderItem::generatedImageChanged, [&] {
            if (++imagesPresent == 60)
                firstScreen = timer.elapsed();
        });
    }
    QEventLoop loop;
    QObject::connect(&store, &SessionStore::restoreFinished, &loop, &QEventLoop::quit);
    sinceBeat.start();
    heartbeat.start();
    if (store.isRestoring())
        loop.exec();
    heartbeat.stop();
    std::printf("restore outcome %d: model ready (UI thread) %lld ms, first 60 images %lld ms, all %d images %lld ms, "
                "longest event-loop stall meanwhile %lld ms\n",
                int(outcome), modelReady, firstScreen, imagesPresent, timer.elapsed(), longestStall);
    std::printf("restore CPU time, all threads: %lld ms (%.1f ms per folder)\n", processCpuMs() - cpuBefore,
                double(processCpuMs() - cpuBefore) / count);
    std::printf("resident memory: %lld MiB before restoring, %lld MiB after\n", baseline / 1024, residentKiB() / 1024);

    QHash<QString, FileId> before = files();
    state.folders().at(count / 2)->setCustomPrompt(QStringLiteral("a lighthouse"));
    timer.restart();
    store.flush();
    std::printf("one prompt changed, write %lld ms\n", timer.elapsed());
    QHash<QString, FileId> after = files();
    reportChanges("one prompt changed", before, after);

    before = after;
    state.folders().at(7)->setGeneratedImage(icon(99));
    timer.restart();
    store.flush();
    std::printf("one icon changed, write %lld ms\n", timer.elapsed());
    after = files();
    reportChanges("one icon changed", before, after);

    before = after;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    store.flush();
    reportChanges("idle 3 s", before, files());
    return 0;
}
