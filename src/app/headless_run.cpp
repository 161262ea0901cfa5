#include "headless_run.h"

#include "app_translations.h"
#include "command_line.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

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

// Ctrl+C arrives as a signal; its handler only writes a byte here, and the event loop reads it.
int interruptPipe[2] = {-1, -1};

void onInterrupt(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
}

/// Makes Ctrl+C call `interrupt` from the event loop, between two steps of the run: never in the
/// middle of applying a folder's icon.
void handleInterrupts(QObject *context, std::function<void()> interrupt)
{
    if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [interrupt = std::move(interrupt)] {
        char bytes[16];
        while (::read(interruptPipe[0], bytes, sizeof bytes) > 0) {
        }
        interrupt();
    });
    struct sigaction action = {};
    action.sa_handler = &onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

int storeApiKey()
{
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) {
        printLine(stderr, QCoreApplication::translate("HeadlessRun", "tavrune: cannot read standard input."));
        return HeadlessRun::badUsage;
    }
    // One line, as `echo KEY | tavrune --set-api-key` or a file with a final newline gives it.
    const QString key = QString::fromUtf8(input.readLine(64 * 1024)).trimmed();
    if (key.isEmpty()) {
        printLine(stderr, QCoreApplication::translate("HeadlessRun", "tavrune: no API key on standard input."));
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
        printLine(stderr, QCoreApplication::translate("HeadlessRun", "tavrune: could not store the API key."));
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
    // "12/40" on a terminal only, rewritten in place: a log or a pipe gets the outcome lines alone.
    const bool terminal = ::isatty(::fileno(stderr)) == 1;
    HeadlessRun run(state, [terminal](const QString &line) {
        printLine(stderr, terminal ? QStringLiteral("\r\x1b[K") + line : line);
    });
    if (terminal) {
        run.setProgress([](int done, int total) {
            const QString line = done < total ? QStringLiteral("\r\x1b[K%1/%2").arg(done).arg(total)
                                              : QStringLiteral("\r\x1b[K");
            std::fputs(line.toLocal8Bit().constData(), stderr);
            std::fflush(stderr);
        });
    }
    handleInterrupts(&run, [&run] { run.interrupt(); });
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
    case Action::showHelp: {
        QCoreApplication app(argc, argv);
        AppTranslations::install();
        std::fputs(CommandLine::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    case Action::showVersion:
        std::fputs(CommandLine::versionText().toLocal8Bit().constData(), stdout);
        return 0;
    case Action::usageError: {
        QCoreApplication app(argc, argv);
        AppTranslations::install();
        // Parsed again, now that the texts can be translated.
        const CommandLine translated = CommandLine::fromArguments(argc, argv);
        for (const QString &line : translated.skipped)
            printLine(stderr, line);
        printLine(stderr, QCoreApplication::translate("HeadlessRun", "tavrune: %1").arg(translated.error));
        printLine(stderr, QCoreApplication::translate("HeadlessRun", "Try “tavrune --help” for more."));
        return HeadlessRun::badUsage;
    }
    case Action::setApiKey:
    case Action::applyIcons:
        break;
    }

    QCoreApplication app(argc, argv);
    AppTranslations::install();
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
    return tr("tavrune: no OpenRouter API key is stored. Store one in the window "
              "(Generate > API Key Settings...) or with: tavrune --set-api-key < FILE");
}

void HeadlessRun::start(const QList<QUrl> &folders)
{
    m_state.addFolders(folders);
    const QList<FolderItemPtr> items = m_state.folders();
    m_pending = m_total = items.size();
    if (m_pending == 0) {
        // Still asynchronous, so that a caller connects finished() after start() either way.
        QTimer::singleShot(0, this, [this] { Q_EMIT finished(badUsage); });
        return;
    }

    for (const FolderItemPtr &item : items) {
        const QUuid id = item->id();
        m_state.generateIcon(id).then(this, [this, item, id] {
            if (m_interrupted)
                return; // stopped: the folder was left as it was
            const IconState outcome = item->iconState();
            if (outcome.is(IconState::Kind::generated)) {
                m_state.applyIcon(id, false).then(this, [this, item](bool applied) {
                    m_report(applied ? tr("%1: applied").arg(item->name())
                                     : tr("%1: failed: %2").arg(item->name(), item->iconState().message()));
                    folderDone(applied);
                });
            } else if (outcome.is(IconState::Kind::failed)) {
                m_report(tr("%1: failed: %2").arg(item->name(), outcome.message()));
                folderDone(false);
            } else {
                // The workflow does nothing without a key: the key file went away during the run.
                m_report(tr("%1: failed: no OpenRouter API key is stored").arg(item->name()));
                folderDone(false);
            }
        });
    }
    if (m_progress)
        m_progress(0, int(m_total));
}

void HeadlessRun::folderDone(bool applied)
{
    m_anyFailed = m_anyFailed || !applied;
    --m_pending;
    if (m_progress)
        m_progress(int(m_total - m_pending), int(m_total));
    if (m_pending == 0)
        Q_EMIT finished(m_anyFailed ? someFailed : allApplied);
}

void HeadlessRun::interrupt()
{
    if (m_interrupted || m_pending == 0)
        return;
    m_interrupted = true;
    const int stopped = m_state.stopGenerating(true);
    if (m_progress)
        m_progress(int(m_total), int(m_total)); // clears the progress line
    m_report(stopped == 1 ? tr("tavrune: interrupted, 1 generation stopped")
                          : tr("tavrune: interrupted, %n generations stopped", nullptr, stopped));
    Q_EMIT finished(interrupted);
}
