#include "image_work_pool.h"

#include <QThread>

#include <algorithm>

namespace ImageWorkPool {

PerCorePool::PerCorePool(const QString &name)
{
    setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    setObjectName(name);
}

QThreadPool &instance()
{
    static PerCorePool pool(QStringLiteral("image work"));
    return pool;
}

} // namespace ImageWorkPool
