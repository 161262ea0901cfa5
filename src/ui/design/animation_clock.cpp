#include "design/animation_clock.h"

#include <QWidget>

#include <algorithm>

namespace {
// About 60 frames a second; the precise timer keeps motion even on a busy event loop.
constexpr int FrameIntervalMs = 16;
} // namespace

AnimationClock &AnimationClock::instance()
{
    static AnimationClock clock;
    return clock;
}

AnimationClock::AnimationClock()
{
    m_elapsed.start();
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    m_frameTimer.setInterval(FrameIntervalMs);
    connect(&m_frameTimer, &QTimer::timeout, this, &AnimationClock::tick);
}

double AnimationClock::now() const
{
    if (m_manualTime)
        return *m_manualTime;
    return double(m_elapsed.nsecsElapsed()) / 1e9;
}

void AnimationClock::setManualTime(std::optional<double> seconds)
{
    m_manualTime = seconds;
}

AnimationClock::Entry *AnimationClock::find(QWidget *widget)
{
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [widget](const Entry &e) { return e.widget.data() == widget; });
    return it == m_entries.end() ? nullptr : &*it;
}

void AnimationClock::register_(QWidget *widget, double until, bool forever)
{
    if (!widget)
        return;
    if (Entry *entry = find(widget)) {
        entry->until = std::max(entry->until, until);
        entry->forever = entry->forever || forever;
    } else {
        m_entries.push_back({widget, until, forever});
    }
    widget->update();
    if (!m_frameTimer.isActive())
        m_frameTimer.start();
}

void AnimationClock::animate(QWidget *widget, double untilSeconds)
{
    register_(widget, untilSeconds, false);
}

void AnimationClock::animateForever(QWidget *widget)
{
    register_(widget, now(), true);
}

void AnimationClock::stop(QWidget *widget)
{
    std::erase_if(m_entries, [widget](const Entry &e) { return e.widget.data() == widget; });
    if (m_entries.empty())
        m_frameTimer.stop();
}

int AnimationClock::animatingCount() const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(), [](const Entry &e) { return !e.widget.isNull(); }));
}

void AnimationClock::tick()
{
    Q_EMIT ticked();
    const double t = now();
    // update() can delete nothing, but copy the targets first: a paint event is not delivered
    // synchronously, yet a widget may unregister itself from a slot run by the same loop.
    std::vector<QPointer<QWidget>> targets;
    targets.reserve(m_entries.size());
    for (const Entry &e : m_entries) {
        if (e.widget)
            targets.push_back(e.widget);
    }
    std::erase_if(m_entries, [t](const Entry &e) { return e.widget.isNull() || (!e.forever && t >= e.until); });
    for (const QPointer<QWidget> &w : targets) {
        if (w)
            w->update();
    }
    if (m_entries.empty())
        m_frameTimer.stop();
}
