#pragma once

#include <QThreadPool>

/// @brief The threads that decode, style and encode images, and nothing else.
///
/// Image work is long and its input comes from the network; on Qt's global pool a burst of it would
/// hold every thread that unrelated continuations need. This pool has one thread per core, so
/// image work never takes more than that at a time.
///
/// Priorities: work that shrinks what is held in memory (reading a finished answer down to the
/// image bytes it carries) is started with `reducePriority`, ahead of waiting image work.
namespace ImageWorkPool {

/// A pool of one thread per core, named for debuggers and `top -H`; also for pools of their own
/// elsewhere (the window's thumbnails).
class PerCorePool final : public QThreadPool
{
public:
    explicit PerCorePool(const QString &name);
};

inline constexpr int reducePriority = 1;
inline constexpr int imagePriority = 0;

QThreadPool &instance();

} // namespace ImageWorkPool
