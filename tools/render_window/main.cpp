// Renders the window offscreen into PNG files, one per scripted scene, so the window can be looked
// at (and checked by tests) without a display:
//
//     build/tools/render_window/render_window --out /tmp/shots            # every scene
//     build/tools/render_window/render_window --out /tmp/shots grid-states toast
//     build/tools/render_window/render_window --list
//     build/tools/render_window/render_window --scale 1.5 --out /tmp/shots grid-states   # at 1.5× pixels
//     LANGUAGE=de build/tools/render_window/render_window --out /tmp/shots-de   # in German
//
// Scenes are registered in the *_scenes.cpp files (see scene.h). The tool runs in temporary HOME and
// XDG directories with a local fake OpenRouter, so nothing it does reaches the user's files or the
// network.
#include "scene.h"

#include "app_translations.h"
#include "design/animation_clock.h"
#include "design/tokens.h"
#include "fake_open_router.h"
#include "keys/keychain_service.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "state/app_state.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <QDeadlineTimer>

#include <algorithm>
#include <cstdio>

namespace {
/// The window and every popup over it (tooltips, menus), composed as the user would see them.
QImage renderWindow(MainWindow &window)
{
    QImage image = window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    const QPoint origin = window.mapToGlobal(QPoint(0, 0));
    for (QWidget *top : QApplication::topLevelWidgets()) {
        const bool popup = top->windowFlags() & (Qt::ToolTip | Qt::Popup) & ~Qt::Window;
        const bool sheet = top->windowType() == Qt::Dialog; // the API key sheet over the window
        if (top == &window || !top->isVisible() || !(popup || sheet))
            continue;
        p.drawPixmap(top->pos() - origin, top->grab());
    }
    return image;
}

void isolate(const QTemporaryDir &home)
{
    // Applying icons writes into the folders (all temporary) and into XDG_DATA_HOME; the API key
    // and preferences go to the XDG dirs. All of them point into the temporary directory.
    for (const char *var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = home.filePath(QString::fromLatin1(var).toLower());
        QDir().mkpath(dir);
        qputenv(var, dir.toUtf8());
    }
    QDir().mkpath(home.filePath(QStringLiteral("home/Desktop")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "Cannot create a temporary directory\n");
        return 1;
    }
    isolate(home);
    FakeOpenRouter server;
    qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());
    // What OpenRouter reports about money, as the demo shows it: each picture's cost, the key's credit.
    server.setGenerationCost(0.039);
    server.setKeyData(QJsonObject{{QStringLiteral("limit_remaining"), 4.9}, {QStringLiteral("usage"), 0.1}});

    // The pixel ratio is fixed when the application starts, so --scale is read before the parser runs.
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--scale" && i + 1 < argc)
            qputenv("QT_SCALE_FACTOR", argv[i + 1]);
        else if (arg.startsWith("--scale="))
            qputenv("QT_SCALE_FACTOR", arg.mid(8));
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tavrune"));
    QApplication::setApplicationName(QStringLiteral("tavrune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrune"));
    // In the user's language, as the app shows it: LANGUAGE=de renders the German window.
    AppTranslations::install();

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders the Tavrune window offscreen to PNG files."));
    parser.addHelpOption();
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("Directory for the PNG files."),
                                       QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption listOption(QStringLiteral("list"), QStringLiteral("List the scenes and exit."));
    const QCommandLineOption scaleOption(QStringLiteral("scale"),
                                         QStringLiteral("Device pixel ratio to render at, such as 1.5 or 2."),
                                         QStringLiteral("ratio"), QStringLiteral("1"));
    parser.addOptions({outOption, listOption, scaleOption});
    parser.addPositionalArgument(QStringLiteral("scene"), QStringLiteral("Scenes to render (default: all)."));
    parser.process(app);

    if (parser.isSet(listOption)) {
        for (const Scene &scene : std::as_const(allScenes()))
            std::printf("%-24s %s\n", qPrintable(scene.name), qPrintable(scene.description));
        return 0;
    }
    QStringList wanted = parser.positionalArguments();
    for (const QString &name : std::as_const(wanted)) {
        const bool known = std::any_of(allScenes().begin(), allScenes().end(),
                                       [&name](const Scene &s) { return s.name == name; });
        if (!known) {
            std::fprintf(stderr, "Unknown scene \"%s\" (see --list)\n", qPrintable(name));
            return 2;
        }
    }
    const QDir out(parser.value(outOption));
    if (!QDir().mkpath(out.absolutePath())) {
        std::fprintf(stderr, "Cannot create %s\n", qPrintable(out.absolutePath()));
        return 1;
    }
    // A stored key keeps the onboarding sheet away; scenes that want it remove the key.
    KeychainService::shared().save(QStringLiteral("sk-or-v1-render"));

    int failures = 0;
    int index = 0;
    for (const Scene &scene : std::as_const(allScenes())) {
        if (!wanted.isEmpty() && !wanted.contains(scene.name))
            continue;
        AnimationClock &clock = AnimationClock::instance();
        clock.setManualTime(0.0);
        server.reset();
        QDir scratch(home.filePath(QStringLiteral("scene-%1").arg(++index)));
        QDir().mkpath(scratch.absolutePath());
        {
            // One fixed arrangement of the splash field, so its pictures can be compared run to run.
            TavruneApp tavrune(TavruneApp::Options{.showSplash = scene.withSplash, .splashSeed = 2026});
            MainWindow &window = tavrune.window();
            tavrune.show();
            if (!QTest::qWaitForWindowExposed(&window)) {
                std::fprintf(stderr, "%s: the window was not exposed\n", qPrintable(scene.name));
                ++failures;
                continue;
            }
            SceneContext context(tavrune.state(), window, server, scratch);
            if (scene.setup)
                scene.setup(context);
            context.advance(scene.clockAfterSetup);
            const QString file = out.filePath(scene.name + QStringLiteral(".png"));
            if (!renderWindow(window).save(file)) {
                std::fprintf(stderr, "Cannot write %s\n", qPrintable(file));
                ++failures;
            } else {
                std::printf("%s\n", qPrintable(file));
            }
            for (QWidget *top : QApplication::topLevelWidgets()) {
                if (top != &window && top->isVisible())
                    top->hide();
            }
            // Generations a scene left running end now, while the state that receives their outcome
            // still exists: an outcome must never arrive after the state is gone.
            server.releaseDelayed();
            const auto generating = [&tavrune] {
                const QList<FolderItemPtr> folders = tavrune.state().folders();
                return std::any_of(folders.cbegin(), folders.cend(), [](const FolderItemPtr &folder) {
                    return folder->iconState().kind() == IconState::Kind::generating;
                });
            };
            QDeadlineTimer deadline(30000);
            while (generating() && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        clock.setManualTime(std::nullopt);
    }
    return failures == 0 ? 0 : 1;
}
