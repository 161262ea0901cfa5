#include "command_line.h"
#include "headless_run.h"
#include "shell/main_window.h"
#include "session/session_store.h"
#include "shell/tavrune_app.h"
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

    TavruneApp tavrune;
    AppState &state = tavrune.state();
    // The last run's folders come back before the window first paints; folders named on the command
    // line join them. Headless runs never get here, so they neither read nor write the session.
    SessionStore session(&state);
    const SessionStore::RestoreOutcome restored = session.restore();
    WindowLaunch::acceptForwardedFolders(instance, state, tavrune.window());
    state.addFolders(commandLine.folders);
    tavrune.show();
    if (restored == SessionStore::RestoreOutcome::discarded)
        state.showToast(Toast::Kind::info, SessionStore::couldNotRestoreMessage());
    return QApplication::exec();
}
