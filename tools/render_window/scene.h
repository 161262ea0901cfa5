#pragma once

#include <QDir>
#include <QFuture>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class AppState;
class FakeOpenRouter;
class MainWindow;
class QPoint;
class QWidget;

/// @brief What a scene script works with: a fresh state and window, the fake OpenRouter, a scratch
/// directory, and a frozen animation clock it can move.
///
/// Everything happens in temporary directories (HOME and XDG dirs are replaced at start), so applying
/// icons or saving keys never touches the user's files.
class SceneContext
{
public:
    SceneContext(AppState &state, MainWindow &window, FakeOpenRouter &server, const QDir &scratch);

    AppState &state;
    MainWindow &window;
    FakeOpenRouter &server;
    QDir scratch;

    /// Twelve folders, one per category, with a few files each; returns their directory URLs in order.
    QList<QUrl> makeSampleFolders();
    /// Adds the sample folders and brings them into every icon state through the real pipeline:
    /// 0–1 placeholder, 2–3 generating (a reply that never comes in time), 4–6 generated,
    /// 7–9 applied, 10–11 failed (the server refuses the key).
    void addFoldersInEveryState();
    /// Runs the event loop until the future finishes (at most 60 s).
    void wait(const QFuture<void> &future);
    /// Runs the event loop for a while of real time (lets queued work land).
    void settle(int milliseconds = 50);
    /// Moves the frozen animation clock forward and lets the views catch up with it.
    void advance(double seconds);
    /// Waits for work running on the thread pool (thumbnails, image styling) and its results.
    void settleWork();
    /// Shows the tooltip `widget` would show at `pos` (its own coordinates); it is drawn into the PNG.
    void showToolTipAt(QWidget *widget, const QPoint &pos);
};

/// @brief One scripted state of the window.
struct Scene
{
    QString name;        ///< the PNG's base name
    QString description; ///< one line for --list
    std::function<void(SceneContext &)> setup;
    bool withSplash = false;  ///< run the splash phase (the clock starts at 0 when the window shows)
    double clockAfterSetup = 30.0; ///< seconds the clock is moved after setup (settles every animation)
};

/// Every registered scene, in registration order within each file.
QList<Scene> &allScenes();

/// Registers scenes from any .cpp file of the tool:  static const SceneRegistration r{{...}, {...}};
struct SceneRegistration
{
    SceneRegistration(std::initializer_list<Scene> scenes);
};
