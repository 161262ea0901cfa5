#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

class AppState;
struct CommandLine;

/// Handles every command line that needs no window: help, version, usage errors, --set-api-key and
/// --apply-icons. Returns the exit status, or nothing when the window is to open. Never makes a
/// widget nor needs a display: at most a QCoreApplication is created.
std::optional<int> runWithoutWindow(const CommandLine &commandLine, int &argc, char **argv);

/// @brief Generates and applies the icons of many folders without a window, for scripts.
///
/// Drives the window's own workflows on an AppState: every folder is added, all generations start
/// at once, and each folder whose generation succeeded gets its icon applied straight away. One
/// line per folder reports the outcome as it lands.
class HeadlessRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessRun)

public:
    enum ExitCode { allApplied = 0, someFailed = 1, badUsage = 2 };

    /// `report` receives one line per folder ("Projects: applied", "Music: failed: …").
    HeadlessRun(AppState &state, std::function<void(const QString &)> report, QObject *parent = nullptr);

    /// Starts every folder at once; finished() follows when each has its outcome.
    void start(const QList<QUrl> &folders);

    /// The line shown when no key is stored: it says how to store one.
    static QString missingKeyMessage();

Q_SIGNALS:
    void finished(int exitCode);

private:
    void folderDone(bool applied);

    AppState &m_state;
    std::function<void(const QString &)> m_report;
    qsizetype m_pending = 0;
    bool m_anyFailed = false;
};
