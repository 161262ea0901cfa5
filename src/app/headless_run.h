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
    /// `interrupted` is the shell's own status for a program ended by Ctrl+C (128 + SIGINT).
    enum ExitCode { allApplied = 0, someFailed = 1, badUsage = 2, interrupted = 130 };

    /// `report` receives one line per folder ("Projects: applied", "Music: failed: …").
    HeadlessRun(AppState &state, std::function<void(const QString &)> report, QObject *parent = nullptr);

    /// Starts every folder at once; finished() follows when each has its outcome.
    void start(const QList<QUrl> &folders);

    /// Called with (folders done, folders in all) after each outcome.
    void setProgress(std::function<void(int done, int total)> progress) { m_progress = std::move(progress); }

    /// Stops every generation still running (their folders stay as they were; folders already
    /// applied keep their icon) and finishes with `interrupted`.
    void interrupt();

    /// The line shown when no key is stored: it says how to store one.
    static QString missingKeyMessage();

Q_SIGNALS:
    void finished(int exitCode);

private:
    void folderDone(bool applied);

    AppState &m_state;
    std::function<void(const QString &)> m_report;
    std::function<void(int, int)> m_progress;
    qsizetype m_pending = 0;
    qsizetype m_total = 0;
    bool m_anyFailed = false;
    bool m_interrupted = false;
};
