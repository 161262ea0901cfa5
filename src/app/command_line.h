#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

/// @brief What the user asked for on the command line: `tavrune [FOLDER...]`, `--apply-icons`, help, version.
///
/// Parsed before any application object exists, so that help, version and usage errors print
/// without a display and the right kind of application object can be chosen afterwards. Its texts
/// are in the user's language only when parsed again after the translations are installed.
struct CommandLine
{
    enum class Action { openWindow, applyIcons, setApiKey, showHelp, showVersion, usageError };

    Action action = Action::openWindow;
    /// The folders named, as directory URLs (trailing slash), in the order given, each once.
    QList<QUrl> folders;
    /// One line for each argument that was skipped (a file, a missing path, …), ready for stderr.
    QStringList skipped;
    /// With --apply-icons: the fast model first.
    bool fast = false;
    /// For usageError: what was wrong, one line.
    QString error;

    /// `arguments` includes the program name first, as argv does; relative paths are resolved
    /// against `workingDirectory`.
    static CommandLine parse(const QStringList &arguments, const QString &workingDirectory);
    static QString helpText();
    static QString versionText();
    /// The command line of this process.
    static CommandLine fromArguments(int argc, char **argv);
};
