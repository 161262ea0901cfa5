#include "scene.h"

#include "design/animation_clock.h"
#include "fake_open_router.h"
#include "fake_picture.h"
#include "shell/main_window.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHelpEvent>
#include <QThreadPool>
#include <QWidget>

namespace {
struct SampleFolder
{
    const char *name;
    QStringList files;
};

const QList<SampleFolder> &sampleFolders()
{
    static const QList<SampleFolder> folders = {
        {"tavrune-core", {"main.cpp", "app_state.h", "CMakeLists.txt", "README.md"}},
        {"Music", {"intro.mp3", "chorus.flac", "bridge.wav"}},
        {"Holiday Photos", {"beach.jpg", "sunset.heic", "family.png"}},
        {"Documents", {"letter.docx", "notes.txt", "contract.pdf"}},
        {"Finance", {"budget.xlsx", "invoice-2026.pdf", "taxes.csv"}},
        {"Design", {"logo.sketch", "poster.psd", "palette.fig"}},
        {"Video Projects", {"trailer.mp4", "interview.mov"}},
        {"Games", {"save.sav", "mods.zip"}},
        {"Travel", {"tickets.pdf", "itinerary.txt"}},
        {"School", {"homework.pdf", "lecture-notes.md"}},
        {"Downloads", {"installer.deb", "paper.pdf", "archive.tar.gz"}},
        {"Personal", {"diary.txt", "recipes.md"}},
    };
    return folders;
}
} // namespace

QList<Scene> &allScenes()
{
    static QList<Scene> scenes;
    return scenes;
}

SceneRegistration::SceneRegistration(std::initializer_list<Scene> scenes)
{
    for (const Scene &scene : scenes)
        allScenes().append(scene);
}

SceneContext::SceneContext(AppState &state, MainWindow &window, FakeOpenRouter &server, const QDir &scratch)
    : state(state)
    , window(window)
    , server(server)
    , scratch(scratch)
{
}

QList<QUrl> SceneContext::makeSampleFolders()
{
    QList<QUrl> urls;
    for (const SampleFolder &sample : sampleFolders()) {
        const QString path = scratch.filePath(QString::fromUtf8(sample.name));
        QDir().mkpath(path);
        for (const QString &file : sample.files) {
            QFile f(path + QLatin1Char('/') + file);
            if (f.open(QIODevice::WriteOnly))
                f.write(QByteArray(512, 'x'));
        }
        urls.append(QUrl::fromLocalFile(path + QLatin1Char('/')));
    }
    return urls;
}

void SceneContext::addFoldersInEveryState()
{
    wait(state.addFolders(makeSampleFolders()));
    const QList<FolderItemPtr> folders = state.folders();
    const auto ids = [&folders](int from, int to) {
        QList<QUuid> out;
        for (int i = from; i <= to && i < folders.size(); ++i)
            out.append(folders.at(i)->id());
        return out;
    };

    server.setGenerator([](const QString &, const QString &prompt) { return FakeReply::image(fakePicture(prompt)); });
    QList<QFuture<void>> running;
    for (const QUuid &id : ids(4, 9))
        running.append(state.generateIcon(id));
    for (const QFuture<void> &f : std::as_const(running))
        wait(f);
    for (const QUuid &id : ids(7, 9))
        wait(state.applyIcon(id, false).then([](bool) {}));

    server.setGenerator([](const QString &, const QString &) {
        return FakeReply::apiError(401, QStringLiteral("User not found."));
    });
    running.clear();
    for (const QUuid &id : ids(10, 11))
        running.append(state.generateIcon(id));
    for (const QFuture<void> &f : std::as_const(running))
        wait(f);

    // These answers arrive long after the picture is taken: the folders stay "generating".
    server.setGenerator([](const QString &, const QString &prompt) {
        return FakeReply::image(fakePicture(prompt)).after(std::chrono::minutes(10));
    });
    for (const QUuid &id : ids(2, 3))
        state.generateIcon(id);
    settle(100);
}

void SceneContext::wait(const QFuture<void> &future)
{
    QDeadlineTimer deadline(60000);
    while (!future.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void SceneContext::settle(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

void SceneContext::advance(double seconds)
{
    AnimationClock &clock = AnimationClock::instance();
    clock.setManualTime(clock.now() + seconds);
    // Views follow the clock on its frames: wait for two of them (on a busy machine a frame can be
    // late), then for the thumbnails and other images scaled on the thread pool.
    int frames = 0;
    const QMetaObject::Connection counting = QObject::connect(&clock, &AnimationClock::ticked, [&frames] { ++frames; });
    QDeadlineTimer deadline(5000);
    while (clock.isTicking() && frames < 2 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QObject::disconnect(counting);
    settleWork();
}

void SceneContext::settleWork()
{
    QDeadlineTimer deadline(5000);
    do {
        settle(30);
    } while (QThreadPool::globalInstance()->activeThreadCount() > 0 && !deadline.hasExpired());
    settle(30);
}

void SceneContext::showToolTipAt(QWidget *widget, const QPoint &pos)
{
    QHelpEvent event(QEvent::ToolTip, pos, widget->mapToGlobal(pos));
    QCoreApplication::sendEvent(widget, &event);
    settle(50);
}
