#pragma once

// Runs the event loop until a future of the state (an apply, a reset) has finished, and gives its result.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>

#include <type_traits>

template<typename T>
T settled(QFuture<T> future)
{
    const QDeadlineTimer deadline(30000);
    while (!future.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if constexpr (!std::is_void_v<T>)
        return future.isFinished() && future.resultCount() > 0 ? future.result() : T();
}
