// Measures the key store against a real gnome-keyring-daemon: the start (looking for the Secret
// Service and reading the key), storing, and the longest the main thread's event loop went
// without turning meanwhile (every keyring call is asynchronous, so that stays near the timer's
// own 1 ms). Runs itself under a D-Bus session of its own, in a scratch HOME.
//
//   bench_keychain [stores]
#include "bench_scratch_home.h"
#include "keys/keychain_service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFuture>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

/// Runs the event loop until `future` is done; returns the wall time in ms.
template <typename T>
double waitMs(QFuture<T> future)
{
    QElapsedTimer timer;
    timer.start();
    while (!future.isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("TAVRUNE_BENCH_SESSION")) {
        // Again, under a session bus of its own, so the keyring daemon it starts is its own.
        qputenv("TAVRUNE_BENCH_SESSION", "1");
        QTemporaryDir scratch;
        BenchScratchHome::use(scratch);
        qputenv("XDG_RUNTIME_DIR", scratch.path().toUtf8());
        QStringList arguments{QStringLiteral("--"), QString::fromLocal8Bit(argv[0])};
        for (int i = 1; i < argc; ++i)
            arguments.append(QString::fromLocal8Bit(argv[i]));
        return QProcess::execute(QStringLiteral("dbus-run-session"), arguments);
    }

    QCoreApplication app(argc, argv);
    const int stores = argc > 1 ? std::max(1, atoi(argv[1])) : 20;

    QProcess daemon;
    daemon.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    daemon.write("bench-password");
    daemon.closeWriteChannel();
    daemon.waitForFinished(20000);

    KeychainService &keys = KeychainService::shared();
    keys.save(QStringLiteral("sk-or-v1-bench-from-file")); // moved into the keyring at start

    // The event loop's longest pause between 1 ms ticks while the keyring works.
    QElapsedTimer sinceTick;
    double longestPauseMs = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPauseMs = std::max(longestPauseMs, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.restart();
    });
    sinceTick.start();
    ticker.start();

    QFuture<KeychainService::Lookup> started = keys.start(KeychainService::Prompting::never);
    const double startMs = waitMs(started);
    const bool inKeyring = started.result().location == KeychainService::Location::keyring && started.result().key;

    QList<double> storeMs;
    for (int i = 0; i < stores; ++i)
        storeMs.append(waitMs(keys.store(QStringLiteral("sk-or-v1-bench-%1").arg(i))));

    QElapsedTimer loadTimer;
    loadTimer.start();
    constexpr int Loads = 100000;
    for (int i = 0; i < Loads; ++i)
        (void)keys.load();
    const double loadNs = double(loadTimer.nsecsElapsed()) / Loads;

    std::printf("keyring found and key moved in: %s\n", inKeyring ? "yes" : "NO");
    std::printf("start (find the Secret Service, read, move the file's key in): %.1f ms\n", startMs);
    std::printf("store, median of %d: %.1f ms\n", stores, median(storeMs));
    std::printf("load (no wait): %.0f ns\n", loadNs);
    std::printf("longest event-loop pause meanwhile: %.1f ms\n", longestPauseMs);
    return inKeyring ? 0 : 1;
}
