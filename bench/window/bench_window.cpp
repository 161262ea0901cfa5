// The window's responsiveness, measured:
//  1. start-up: from launching the real executable to its first painted frame (median of 10);
//  2. idle: timer wake-ups per second of a settled window with folders (nothing animating or
//     generating), counted over 5 s, with the objects that woke up;
//  3. a batch: the UI thread's longest stall while 100 generations finish (the fake OpenRouter answers
//     every request after 1 s, so they all land together).
//
// Runs in a scratch HOME and XDG dirs with a stored key; offscreen unless QT_QPA_PLATFORM is set
// (run it under xvfb-run with QT_QPA_PLATFORM=xcb for a real display server).
#include "design/animation_clock.h"
#include "fake_open_router.h"
#include "fake_picture.h"
#include "keys/keychain_service.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "state/app_state.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>
#include "bench_scratch_home.h"

namespace {

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void startUp(const QTemporaryDir &home)
{
    QList<double> ms;
    for (int run = 0; run < 10; ++run) {
        QProcess app;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TAVRUNE_PROBE_FIRST_PAINT"), QStringLiteral("1"));
        app.setProcessEnvironment(env);
        const qint64 started = monotonicNs();
        app.start(QStringLiteral(TAVRUNE_BINARY), {});
        if (!app.waitForFinished(30000)) {
            std::printf("start-up: run %d did not finish\n", run);
            app.kill();
            app.waitForFinished();
            continue;
        }
        const QByteArray out = app.readAllStandardOutput();
        const qsizetype at = out.indexOf("first-paint ");
        if (at < 0) {
            std::printf("start-up: run %d printed no first paint (%s)\n", run, app.readAllStandardError().constData());
            continue;
        }
        const qint64 painted = out.mid(at + 12).trimmed().split('\n').first().toLongLong();
        ms.append(double(painted - started) / 1e6);
    }
    Q_UNUSED(home)
    if (ms.isEmpty())
        return;
    std::sort(ms.begin(), ms.end());
    std::printf("start-up to first painted frame: median %.1f ms (min %.1f, max %.1f, %lld runs)\n",
                ms.at(ms.size() / 2), ms.first(), ms.last(), static_cast<long long>(ms.size()));
}

QList<QUrl> makeFolders(const QDir &root, int count)
{
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString path = root.filePath(QStringLiteral("Folder %1").arg(i, 3, 10, QLatin1Char('0')));
        QDir().mkpath(path);
        QFile file(path + QStringLiteral("/notes.txt"));
        if (file.open(QIODevice::WriteOnly))
            file.write("text");
        urls.append(QUrl::fromLocalFile(path + QLatin1Char('/')));
    }
    return urls;
}

void waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

/// Counts timer events by receiver (a QTimer is named by its parent's class).
class TimerCounter final : public QObject
{
public:
    QHash<QString, int> counts;
    int total = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Timer) {
            ++total;
            QString name = QString::fromLatin1(watched->metaObject()->className());
            if (watched->parent())
                name += QStringLiteral(" in ") + QString::fromLatin1(watched->parent()->metaObject()->className());
            ++counts[name];
        }
        return false;
    }
};

void idleWakeUps(FakeOpenRouter &server, const QDir &root)
{
    server.setGenerator([](const QString &, const QString &prompt) { return FakeReply::image(fakePicture(prompt)); });
    TavruneApp app(TavruneApp::Options{false});
    app.state().setToastDuration(std::chrono::milliseconds(300));
    app.show();
    if (!QTest::qWaitForWindowExposed(&app.window()))
        return;
    app.state().addFolders(makeFolders(root, 40));
    for (int i = 0; i < 10; ++i)
        app.state().generateIcon(app.state().folders().at(i)->id());
    waitUntil([&] {
        const QList<FolderItemPtr> folders = app.state().folders();
        return std::none_of(folders.begin(), folders.end(),
                            [](const FolderItemPtr &f) { return f->iconState() == IconState::generating(); });
    }, 30000);
    app.state().setSelectedFolderIDs({app.state().folders().at(3)->id()});
    // Let every animation, toast and deferred update settle.
    waitUntil([] { return false; }, 3000);

    TimerCounter counter;
    qApp->installEventFilter(&counter);
    const int seconds = 5;
    waitUntil([] { return false; }, seconds * 1000);
    qApp->removeEventFilter(&counter);
    std::printf("idle window: %.1f timer wake-ups per second (%d in %d s); animation clock ticking: %s\n",
                double(counter.total) / seconds, counter.total, seconds,
                AnimationClock::instance().isTicking() ? "yes" : "no");
    for (auto it = counter.counts.cbegin(); it != counter.counts.cend(); ++it)
        std::printf("    %5d  %s\n", it.value(), qPrintable(it.key()));
}

void batchStall(FakeOpenRouter &server, const QDir &root)
{
    // Answers are encoded up front: the fake server shares this process, and encoding 100 pictures on
    // its threads while they come back would be measured as stalls of the window.
    QList<FakeReply> answers;
    for (int i = 0; i < 16; ++i)
        answers.append(FakeReply::image(fakePicture(QString::number(i))).after(std::chrono::seconds(1)));
    server.setGenerator([answers](const QString &, const QString &prompt) {
        return answers.at(int(qHash(prompt) % uint(answers.size())));
    });
    TavruneApp app(TavruneApp::Options{false});
    app.show();
    if (!QTest::qWaitForWindowExposed(&app.window()))
        return;
    app.state().addFolders(makeFolders(root, 100));
    waitUntil([] { return false; }, 500);

    // A heartbeat every 2 ms; the longest gap between beats is the longest stall of the UI thread.
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(2);
    qint64 last = monotonicNs();
    qint64 longest = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = monotonicNs();
        longest = std::max(longest, now - last);
        last = now;
    });
    const qint64 started = monotonicNs();
    heartbeat.start();
    last = monotonicNs();
    const qint64 callStart = monotonicNs();
    QFuture<void> batch = app.state().regenerateAll();
    const qint64 callTook = monotonicNs() - callStart;
    // The heartbeat's worst gap after the start, when the answers come back.
    longest = 0;
    last = monotonicNs();
    waitUntil([&] { return batch.isFinished(); }, 120000);
    const qint64 finished = monotonicNs();
    heartbeat.stop();
    int generated = 0;
    for (const FolderItemPtr &f : app.state().folders())
        generated += f->iconState() == IconState::generated() ? 1 : 0;
    std::printf("batch of 100 generations: %d generated in %.2f s; starting them took %.1f ms on the UI thread;"
                " longest UI thread stall while they ran and finished %.1f ms\n",
                generated, double(finished - started) / 1e9, double(callTook) / 1e6, double(longest) / 1e6);
}

} // namespace

int main(int argc, char *argv[])
{
    // The real executable registers itself on the session bus: run on a private bus of our own.
    if (qEnvironmentVariableIsEmpty("TAVRUNE_BENCH_PRIVATE_BUS")) {
        qputenv("TAVRUNE_BENCH_PRIVATE_BUS", "1");
        std::vector<char *> args{const_cast<char *>("dbus-run-session"), const_cast<char *>("--")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("dbus-run-session", args.data());
        std::perror("dbus-run-session");
        return 1;
    }
    QTemporaryDir home;
    BenchScratchHome::use(home);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    FakeOpenRouter server;
    qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());

    QApplication qapp(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tavrune"));
    QApplication::setApplicationName(QStringLiteral("tavrune"));
    KeychainService::shared().save(QStringLiteral("sk-or-v1-bench"));
    QDir root(home.filePath(QStringLiteral("folders")));
    QDir().mkpath(root.absolutePath());

    const QStringList which = QCoreApplication::arguments().mid(1);
    const auto wanted = [&which](const char *name) { return which.isEmpty() || which.contains(QLatin1String(name)); };
    if (wanted("startup"))
        startUp(home);
    if (wanted("idle")) {
        QDir idleRoot(root.filePath(QStringLiteral("idle")));
        QDir().mkpath(idleRoot.absolutePath());
        idleWakeUps(server, idleRoot);
    }
    if (wanted("batch")) {
        QDir batchRoot(root.filePath(QStringLiteral("batch")));
        QDir().mkpath(batchRoot.absolutePath());
        batchStall(server, batchRoot);
    }
    return 0;
}
