// The desktop side of the program, measured with the real executable:
//  1. `tavrune FOLDER` while a window runs: time until the folder is in that window (median of 10);
//  2. `tavrune --apply-icons` over 50 folders against a fake OpenRouter answering after 1 s.
//
// Runs in a scratch HOME and on a private session bus of its own (it restarts itself under
// dbus-run-session); nothing of the user's is read or written, and no real Tavrune is reached.
#include "keys/keychain_service.h"

#include "fake_open_router.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString Service = QStringLiteral("com.tavrune.app");

QStringList windowFolders()
{
    QDBusInterface window(Service, QStringLiteral("/com/tavrune/app"), Service);
    return window.property("Folders").toStringList();
}

void forwardingLatency(const QString &root)
{
    QProcess window;
    window.start(QStringLiteral(TAVRUNE_BINARY), {});
    QElapsedTimer wait;
    wait.start();
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(Service) && wait.elapsed() < 30000)
        QThread::msleep(10);

    QList<double> samples;
    for (int i = 0; i < 10; ++i) {
        const QString folder = root + QStringLiteral("/Forwarded %1").arg(i);
        QDir().mkpath(folder);
        QElapsedTimer timer;
        timer.start();
        QProcess::execute(QStringLiteral(TAVRUNE_BINARY), {folder});
        while (!windowFolders().contains(folder) && timer.elapsed() < 10000)
            QThread::msleep(1);
        samples.append(timer.nsecsElapsed() / 1e6);
    }
    window.terminate();
    window.waitForFinished();

    std::sort(samples.begin(), samples.end());
    std::printf("tavrune FOLDER into a running window: median %.0f ms (min %.0f, max %.0f, 10 runs)\n",
                (samples[4] + samples[5]) / 2, samples.first(), samples.last());
}

void headlessRun(const QString &root)
{
    FakeOpenRouter server;
    QImage picture(1024, 1024, QImage::Format_RGB32);
    picture.fill(QColor(0x6c, 0x5c, 0xe7));
    server.setDefaultReply(FakeReply::image(picture).after(1000ms));
    KeychainService::shared().save(QStringLiteral("sk-or-v1-bench"));

    QStringList arguments{QStringLiteral("--apply-icons")};
    for (int i = 0; i < 50; ++i) {
        arguments.append(root + QStringLiteral("/Headless %1").arg(i));
        QDir().mkpath(arguments.last());
    }
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TAVRUNE_OPENROUTER_URL"), server.baseUrl());
    run.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    run.start(QStringLiteral(TAVRUNE_BINARY), arguments);
    run.waitForFinished(120000);
    const qint64 elapsed = timer.elapsed();
    const qsizetype applied = QString::fromUtf8(run.readAllStandardError()).count(QStringLiteral(": applied"));
    std::printf("tavrune --apply-icons, 50 folders, 1 s answers: %lld ms wall, %lld applied, exit %d\n",
                static_cast<long long>(elapsed), static_cast<long long>(applied), run.exitCode());
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("TAVRUNE_BENCH_ISOLATED")) {
        QTemporaryDir scratch;
        scratch.setAutoRemove(false);
        const QByteArray home = scratch.path().toUtf8();
        qputenv("HOME", home);
        qputenv("XDG_CONFIG_HOME", home + "/config");
        qputenv("XDG_DATA_HOME", home + "/data");
        qputenv("XDG_CACHE_HOME", home + "/cache");
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("TAVRUNE_BENCH_ISOLATED", home);
        execlp("dbus-run-session", "dbus-run-session", "--", argv[0], static_cast<char *>(nullptr));
        std::perror("dbus-run-session");
        return 1;
    }

    QCoreApplication app(argc, argv);
    const QString root = qEnvironmentVariable("TAVRUNE_BENCH_ISOLATED");
    forwardingLatency(root + QStringLiteral("/folders"));
    headlessRun(root + QStringLiteral("/folders"));
    QDir(root).removeRecursively();
    return 0;
}
