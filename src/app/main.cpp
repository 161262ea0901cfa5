#include "command_line.h"
#include "headless_run.h"
#include "shell/main_window.h"
#include "single_instance.h"
#include "state/app_state.h"
#include "window_launch.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Help, version, bad usage and headless runs are settled before anything needs a display.
    const CommandLine commandLine = CommandLine::fromArguments(argc, argv);
    if (const std::optional<int> exitCode = runWithoutWindow(commandLine, argc, argv))
        return *exitCode;
    for (const QString &line : commandLine.skipped)
        std::fprintf(stderr, "%s\n", qPrintable(line));

    QApplication app(argc, argv);
    WindowLaunch::setApplicationIdentity();

    SingleInstance instance;
    const auto warn = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    if (instance.start(commandLine.folders, warn) == SingleInstance::Role::forwarded)
        return 0;

    AppState state;
    MainWindow window;
    WindowLaunch::acceptForwardedFolders(instance, state, window);
    state.addFolders(commandLine.folders);
    window.show();
    return QApplication::exec();
}
