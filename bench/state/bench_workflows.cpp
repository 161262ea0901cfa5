// Regenerating 100 folders against a fake OpenRouter that answers after 1 s: the batch's wall
// time and the longest stall of the main thread's event loop while results arrive. Before that,
// the resident memory that 200 and 1,000 generated icons hold, each measured in a fresh process
// (this program run again with the argument "memory N").
//
// Runs in a scratch HOME of its own; nothing of the user's is read or written.
#include "state/app_state.h"
#include "keys/keychain_service.h"

#include "fake_open_router.h"

#include <QCoreApplication>
#include <QProcess>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include "bench_scratch_home.h"

using namespace std::chrono_literals;

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

QImage picture(int seed)
{
    QImage image(1024, 1024, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(seed * 37 % 360, 200, 220));
    return image;
}

struct BatchFigures
{
    qint64 wallMs = 0;
    qint64 longestStallMs = 0;
};

BatchFigures regenerate(AppState &state)
{
    // A 5 ms heartbeat: the longest gap between two beats is the longest stall of the loop.
    QElapsedTimer sinceBeat;
    qint64 longest = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceBeat.restart());
    });

    QElapsedTimer wall;
    wall.start();
    sinceBeat.start();
    heartbeat.start();
    QFuture<void> batch = state.regenerateAll();
    while (!batch.isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    heartbeat.stop();
    return {wall.elapsed(), longest};
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    BenchScratchHome::use(scratch);

    QCoreApplication app(argc, argv);
    // Answers are encoded once up front, so the server's own PNG work does not compete with
    // the client's for the two cores.
    QList<FakeReply> replies;
    for (int i = 0; i < 8; ++i)
        replies.append(FakeReply::image(picture(i), "PNG"));
    FakeOpenRouter server;
    server.setGenerator([replies](const QString &, const QString &prompt) {
        return replies.at(int(qHash(prompt) % replies.size()));
    });
    qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());
    KeychainService::shared().save(QStringLiteral("sk-bench"));

    QDir root(scratch.path());
    auto makeFolders = [&root](AppState &state, int count, const QString &prefix) {
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i) {
            const QString name = prefix + QString::number(i);
            root.mkpath(name);
            urls.append(QUrl::fromLocalFile(root.filePath(name) + u'/'));
        }
        state.addFolders(urls);
    };

    if (argc == 3 && qstrcmp(argv[1], "memory") == 0) {
        const int count = std::atoi(argv[2]);
        AppState state;
        makeFolders(state, count, QStringLiteral("memory-"));
        const qint64 before = residentKiB();
        regenerate(state);
        int generated = 0;
        for (const FolderItemPtr &folder : state.folders())
            generated += folder->generatedImage().isNull() ? 0 : 1;
        const qint64 after = residentKiB();
        std::printf("resident memory, fresh process: %lld KiB before, %lld KiB with %d icons: %.0f KiB per icon "
                    "(%d icons alive)\n",
                    static_cast<long long>(before), static_cast<long long>(after), generated,
                    double(after - before) / count, IconImage::liveCount());
        return generated == count ? 0 : 1;
    }
    for (const char *count : {"200", "1000"}) {
        QProcess fresh;
        fresh.setProcessChannelMode(QProcess::ForwardedChannels);
        fresh.start(QCoreApplication::applicationFilePath(), {QStringLiteral("memory"), QString::fromLatin1(count)});
        fresh.waitForFinished(-1);
    }
    {
        server.setGenerator([replies](const QString &, const QString &prompt) {
            return replies.at(int(qHash(prompt) % replies.size())).after(1s);
        });
        AppState state;
        makeFolders(state, 100, QStringLiteral("batch-"));
        const BatchFigures figures = regenerate(state);
        int generated = 0;
        for (const FolderItemPtr &folder : state.folders())
            generated += folder->iconState() == IconState::generated();
        std::printf("regenerateAll, 100 folders, server answers after 1 s: %lld ms wall (ideal 4000: four waves of 32), "
                    "longest main-thread stall %lld ms, %d/100 generated\n",
                    static_cast<long long>(figures.wallMs), static_cast<long long>(figures.longestStallMs), generated);
    }

    return 0;
}
