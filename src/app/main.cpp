#include "app_translations.h"
#include "command_line.h"
#include "headless_run.h"
#include "keys/keychain_service.h"
#include "shell/main_window.h"
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
    QApplication app(argc, argv);
    AppTranslations::install();
    // Parsed again for the skipped arguments' lines, now in the user's language.
    for (const QString &line : CommandLine::fromArguments(argc, argv).skipped)
        std::fprintf(stderr, "%s\n", qPrintable(line));
    WindowLaunch::setApplicationIdentity();

    SingleInstance instance;
    const auto warn = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    if (instance.start(commandLine.folders, warn) == SingleInstance::Role::forwarded)
        return 0;

    // The key is read from the keyring (or the file) while the window comes up; a locked keyring
    // shows the desktop's unlock prompt meanwhile.
    KeychainService::shared().start(KeychainService::Prompting::allowed);

    // The last run's folders come back before the window first paints; folders named on the command
    // line join them. Headless runs never get here, so they neither read nor write the session.
    TavruneApp tavrune(TavruneApp::Options{.keepSession = true});
    AppState &state = tavrune.state();
    WindowLaunch::acceptForwardedFolders(instance, state, tavrune.window());
    state.addFolders(commandLine.folders);
    // What the stored key has left is known before the first batch question, without the key sheet.
    state.refreshKeyCredit();
    tavrune.show();
    return QApplication::exec();
}
