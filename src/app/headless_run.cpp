#include "headless_run.h"

#include "command_line.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QTimer>

#include <cstdio>

namespace {

void printLine(std::FILE *stream, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Runs the event loop until `future` has its result: the keyring answers through it.
template <typename T>
T await(QFuture<T> future)
{
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (!future.isFinished())
        loop.exec();
    return future.result();
}

// An unlock prompt needs a display to appear on; without one, a locked keyring is reported at once.
KeychainService::Prompting prompting()
{
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return display ? KeychainService::Prompting::allowed : KeychainService::Prompting::never;
}

// "tavrune: Could not … in the keyring: the keyring is locked, …", one line.
QString keyringLine(const QString &failure, bool locked)
{
    if (!locked)
        return QStringLiteral("tavrune: ") + failure + u'.';
    return QStringLiteral("tavrune: ") + failure + QStringLiteral(": ")
         + QCoreApplication::translate("HeadlessRun", "the keyring is locked, and no unlock prompt can be shown without a display.");
}

int storeApiKey()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        printLine(stderr, QStringLiteral("tavrune: cannot read standard input."));
        return HeadlessRun::badUsage;
    }
    // One line, as `echo KEY | tavrune --set-api-key` or a file with a final newline gives it.
    const QString key = QString::fromUtf8(input.readLine(64 * 1024)).trimmed();
    if (key.isEmpty()) {
        printLine(stderr, QStringLiteral("tavrune: no API key on standard input."));
        return HeadlessRun::badUsage;
    }
    KeychainService &keys = KeychainService::shared();
    await(keys.start(prompting()));
    const KeychainService::StoreResult result = await(keys.store(key));
    if (!result.stored && result.location == KeychainService::Location::keyring) {
        printLine(stderr, keyringLine(QCoreApplication::translate("HeadlessRun", "Could not store the API key in the keyring"),
                                      result.locked));
        // Locked with no way to unlock is like a missing key: the script cannot go on without help.
        return result.locked ? HeadlessRun::badUsage : HeadlessRun::someFailed;
    }
    if (!result.stored) {
        printLine(stderr, QStringLiteral("tavrune: could not store the API key."));
        return HeadlessRun::someFailed;
    }
    printLine(stderr, QStringLiteral("tavrune: ")
                          + (result.location == KeychainService::Location::keyring
                                 ? QCoreApplication::translate("HeadlessRun", "API key stored in your keyring.")
                                 : QCoreApplication::translate("HeadlessRun", "API key stored in a private file on this computer.")));
    return HeadlessRun::allApplied;
}

int applyIcons(const CommandLine &commandLine)
{
    const KeychainService::Lookup found = await(KeychainService::shared().start(prompting()));
    if (found.failed) {
        printLine(stderr, keyringLine(QCoreApplication::translate("HeadlessRun", "Could not read the API key from the keyring"),
                                      found.locked));
        return HeadlessRun::badUsage;
    }
    if (!found.key) {
        printLine(stderr, HeadlessRun::missingKeyMessage());
        return HeadlessRun::badUsage;
    }
    // Its own preferences: --fast must not change the window's stored choice, and no Desktop
    // watcher may start adding folders behind the script's back.
    AppState state(AppState::Preferences::transient);
    state.setUseFastModel(commandLine.fast);
    HeadlessRun run(state, [](const QString &line) { printLine(stderr, line); });
    QObject::connect(&run, &HeadlessRun::finished, &run, [](int exitCode) { QCoreApplication::exit(exitCode); });
    run.start(commandLine.folders);
    const int exitCode = QCoreApplication::exec();
    // A folder named on the command line that could not be worked on is not a success either.
    return exitCode == HeadlessRun::allApplied && !commandLine.skipped.isEmpty() ? HeadlessRun::someFailed
                                                                                  : exitCode;
}

} // namespace

std::optional<int> runWithoutWindow(const CommandLine &commandLine, int &argc, char **argv)
{
    using Action = CommandLine::Action;
    switch (commandLine.action) {
    case Action::openWindow:
        return std::nullopt;
    case Action::showHelp:
        std::fputs(CommandLine::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    case Action::showVersion:
        std::fputs(CommandLine::versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case Action::usageError:
        for (const QString &line : commandLine.skipped)
            printLine(stderr, line);
        printLine(stderr, QStringLiteral("tavrune: ") + commandLine.error);
        printLine(stderr, QStringLiteral("Try “tavrune --help” for more."));
        return HeadlessRun::badUsage;
    case Action::setApiKey:
    case Action::applyIcons:
        break;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("tavrune"));
    QCoreApplication::setApplicationName(QStringLiteral("tavrune"));
    if (commandLine.action == Action::setApiKey)
        return storeApiKey();
    for (const QString &line : commandLine.skipped)
        printLine(stderr, line);
    return applyIcons(commandLine);
}

HeadlessRun::HeadlessRun(AppState &state, std::function<void(const QString &)> report, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_report(std::move(report))
{
}

QString HeadlessRun::missingKeyMessage()
{
    return QStringLiteral("tavrune: no OpenRouter API key is stored. Store one in the window "
                          "(Generate > API Key Settings...) or with: tavrune --set-api-key < FILE");
}

void HeadlessRun::start(const QList<QUrl> &folders)
{
    m_state.addFolders(folders);
    const QList<FolderItemPtr> items = m_state.folders();
    m_pending = items.size();
    if (m_pending == 0) {
        // Still asynchronous, so that a caller connects finished() after start() either way.
        QTimer::singleShot(0, this, [this] { Q_EMIT finished(badUsage); });
        return;
    }

    for (const FolderItemPtr &item : items) {
        const QUuid id = item->id();
        m_state.generateIcon(id).then(this, [this, item, id] {
            const IconState outcome = item->iconState();
            if (outcome.is(IconState::Kind::generated)) {
                const bool applied = m_state.applyIcon(id, false);
                m_report(applied ? item->name() + QStringLiteral(": applied")
                                 : item->name() + QStringLiteral(": failed: ") + item->iconState().message());
                folderDone(applied);
            } else if (outcome.is(IconState::Kind::failed)) {
                m_report(item->name() + QStringLiteral(": failed: ") + outcome.message());
                folderDone(false);
            } else {
                // The workflow does nothing without a key: the key file went away during the run.
                m_report(item->name() + QStringLiteral(": failed: no OpenRouter API key is stored"));
                folderDone(false);
            }
        });
    }
}

void HeadlessRun::folderDone(bool applied)
{
    m_anyFailed = m_anyFailed || !applied;
    if (--m_pending == 0)
        Q_EMIT finished(m_anyFailed ? someFailed : allApplied);
}
