#include "image_work_pool.h"

#include <QThread>

#include <algorithm>

namespace ImageWorkPool {

QThreadPool &instance()
{
    static QThreadPool pool;
    static const bool configured = [] {
        pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
        pool.setObjectName(QStringLiteral("image work"));
        return true;
    }();
    Q_UNUSED(configured);
    return pool;
}

} // namespace ImageWorkPool
