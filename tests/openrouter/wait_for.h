#pragma once

#include <QFuture>
#include <QTest>

/// Waits for a future while the event loop keeps running, as the UI thread would.
template<typename T>
bool waitFor(const QFuture<T> &future, int timeoutMs = 60000)
{
    return QTest::qWaitFor([&future] { return future.isFinished(); }, timeoutMs);
}
