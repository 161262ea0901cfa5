#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>
#include <vector>

class QWidget;

/// @brief The window's one animation clock: repaints animating widgets each frame, and only them.
///
/// Animations are values computed at paint time from now(); a widget that starts one registers here
/// with the time its animation ends. While nothing is registered no timer runs, so an idle window
/// costs no CPU. Main thread only.
class AnimationClock final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AnimationClock)

public:
    static AnimationClock &instance();

    /// Seconds on a monotonic clock (or the manual time while one is set).
    double now() const;
    /// Freezes time at the given value (tests and offscreen rendering); nullopt returns to real time.
    void setManualTime(std::optional<double> seconds);

    /// Repaints `widget` every frame until now() >= untilSeconds (one last frame is painted then);
    /// calling again extends, never shortens. A destroyed widget is dropped.
    void animate(QWidget *widget, double untilSeconds);
    /// Repaints `widget` every frame until stop(widget) or its destruction.
    void animateForever(QWidget *widget);
    void stop(QWidget *widget);

    /// True while the frame timer runs (something is registered).
    bool isTicking() const { return m_frameTimer.isActive(); }
    /// Widgets currently registered, for diagnostics and tests.
    int animatingCount() const;

Q_SIGNALS:
    /// Emitted once per frame while the clock ticks, before the registered widgets are repainted:
    /// views whose animations move child widgets (not only repaint) lay them out here.
    void ticked();

private:
    AnimationClock();
    struct Entry
    {
        QPointer<QWidget> widget;
        double until = 0.0;
        bool forever = false;
    };
    Entry *find(QWidget *widget);
    void register_(QWidget *widget, double until, bool forever);
    void tick();

    QElapsedTimer m_elapsed;
    std::optional<double> m_manualTime;
    std::vector<Entry> m_entries;
    QTimer m_frameTimer;
};
