#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString Program = QStringLiteral("tavrune");

// In the user's language once the catalogue is installed; English before any application object exists.
QString translated(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

// A path or a file:// URL (file managers and desktop launchers pass either), made absolute.
QString absolutePath(const QString &argument, const QString &workingDirectory)
{
    QString path = argument;
    if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(argument);
        if (url.isLocalFile())
            path = url.toLocalFile();
    }
    if (path.startsWith(QLatin1String("~/")) || path == QLatin1String("~"))
        path = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(path));
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments, const QString &workingDirectory)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption applyIcons(QStringLiteral("apply-icons"));
    const QCommandLineOption fast(QStringLiteral("fast"));
    const QCommandLineOption setApiKey(QStringLiteral("set-api-key"));
    parser.addOptions({help, version, applyIcons, fast, setApiKey});
    // Qt's own window options (`-platform offscreen`, `-style …`) pass through to the application
    // object untouched; they are single-dash words, so single-dash words are read as long options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin", "display", "style",
                             "stylesheet", "qwindowgeometry", "qwindowtitle", "qwindowicon", "session"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = Action::usageError;
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        result.action = parser.isSet(help) ? Action::showHelp : Action::showVersion;
        return result;
    }

    if (parser.isSet(setApiKey)) {
        if (parser.isSet(applyIcons) || parser.isSet(fast) || !parser.positionalArguments().isEmpty()) {
            result.action = Action::usageError;
            result.error = translated(
                QT_TRANSLATE_NOOP("CommandLine", "--set-api-key takes nothing else: it reads the key from standard input."));
            return result;
        }
        result.action = Action::setApiKey;
        return result;
    }

    result.action = parser.isSet(applyIcons) ? Action::applyIcons : Action::openWindow;
    result.fast = parser.isSet(fast);
    if (result.fast && result.action != Action::applyIcons) {
        result.action = Action::usageError;
        result.error = translated(QT_TRANSLATE_NOOP("CommandLine", "--fast only goes with --apply-icons."));
        return result;
    }

    for (const QString &argument : parser.positionalArguments()) {
        const QString path = absolutePath(argument, workingDirectory);
        const QFileInfo info(path);
        if (!info.exists()) {
            result.skipped.append(
                translated(QT_TRANSLATE_NOOP("CommandLine", "%1: skipped “%2”: no such folder")).arg(Program, argument));
        } else if (!info.isDir()) {
            result.skipped.append(
                translated(QT_TRANSLATE_NOOP("CommandLine", "%1: skipped “%2”: not a folder")).arg(Program, argument));
        } else {
            const QUrl url = QUrl::fromLocalFile(path == QLatin1String("/") ? path : path + u'/');
            if (!result.folders.contains(url))
                result.folders.append(url);
        }
    }

    if (result.action == Action::applyIcons && result.folders.isEmpty()) {
        result.action = Action::usageError;
        result.error = result.skipped.isEmpty()
            ? translated(QT_TRANSLATE_NOOP("CommandLine", "--apply-icons needs at least one folder."))
            : translated(QT_TRANSLATE_NOOP("CommandLine", "--apply-icons found no folder to work on."));
    }
    return result;
}

QString CommandLine::helpText()
{
    return translated(QT_TRANSLATE_NOOP("CommandLine",
        "Usage: tavrune [FOLDER...]\n"
        "       tavrune --apply-icons [--fast] FOLDER...\n"
        "       tavrune --set-api-key < FILE\n"
        "\n"
        "Gives folders custom AI-generated icons, made with your own OpenRouter API key.\n"
        "\n"
        "  FOLDER...            open the window with these folders added; when Tavrune is\n"
        "                       already running, the folders go to its window instead\n"
        "  --apply-icons        without a window: generate an icon for every FOLDER at once\n"
        "                       and apply it; one line per folder on stderr. Exit status 0\n"
        "                       when every folder got its icon, 1 when any failed, 2 on bad\n"
        "                       usage, when no API key is stored or the keyring is locked\n"
        "  --fast               with --apply-icons: ask the fast model first\n"
        "  --set-api-key        store the OpenRouter API key read from standard input, in\n"
        "                       the desktop keyring, or a private file when there is none\n"
        "  -h, --help           show this help\n"
        "  -v, --version        show the version\n"));
}

CommandLine CommandLine::fromArguments(int argc, char **argv)
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return parse(arguments, QDir::currentPath());
}

QString CommandLine::versionText()
{
    return Program + u' ' + QStringLiteral(TAVRUNE_VERSION) + u'\n';
}
