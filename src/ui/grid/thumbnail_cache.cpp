#include "grid/thumbnail_cache.h"

#include "design/soft_shapes.h"
#include "imaging/image_work_pool.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFuture>
#include <QPainter>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace {

// Not Qt's global pool: the raster paint engine splits large fills and image scaling into slices run
// there and waits for them on the UI thread, so a queue of thumbnails there would stall painting.
QThreadPool &renderPool()
{
    static ImageWorkPool::PerCorePool pool(QStringLiteral("thumbnails"));
    return pool;
}

} // namespace

ThumbnailCache::Shape ThumbnailCache::shape(Kind kind)
{
    // A card draws its image at 85 % of the 56 px icon area, corners scaled alike; a row at 36 px.
    switch (kind) {
    case Kind::card:
        return {56 * 0.85, 8.4 * 0.85};
    case Kind::row:
        return {36, 6};
    }
    return {36, 6};
}

ThumbnailCache::ThumbnailCache(QObject *parent) : QObject(parent) {}

ThumbnailCache::~ThumbnailCache() = default;

QImage ThumbnailCache::render(const QImage &image, int pixelSide, qreal pixelRadius)
{
    QImage out(pixelSide, pixelSide, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    if (image.isNull() || pixelSide <= 0)
        return out;
    const QImage scaled = image.scaled(pixelSide, pixelSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(SoftShapes::continuousRoundedRect(QRectF(0, 0, pixelSide, pixelSide), pixelRadius));
    p.drawImage(QPointF((pixelSide - scaled.width()) / 2.0, (pixelSide - scaled.height()) / 2.0), scaled);
    return out;
}

QPixmap ThumbnailCache::thumbnail(const QUuid &id, Kind kind, const QImage &image, qreal devicePixelRatio)
{
    if (image.isNull())
        return {};
    const Shape s = shape(kind);
    const int pixelSide = std::max(1, int(std::lround(s.side * devicePixelRatio)));
    const qint64 imageKey = image.cacheKey();
    const int k = int(kind);

    Entry &entry = m_entries[id][size_t(k)];
    if (entry.imageKey == imageKey && entry.pixelSide == pixelSide && !entry.pixmap.isNull())
        return entry.pixmap;

    const PendingKey pendingKey{id, k, imageKey, pixelSide};
    if (m_pending.contains(pendingKey))
        return {};
    m_pending.insert(pendingKey);

    const qreal pixelRadius = s.cornerRadius * devicePixelRatio;
    QtConcurrent::run(&renderPool(), [image, pixelSide, pixelRadius] { return render(image, pixelSide, pixelRadius); })
        .then(this, [this, pendingKey, devicePixelRatio](const QImage &rendered) {
            // A job that finished before this continuation was attached runs it right here, in the
            // middle of a paint; posting keeps the promise that a miss is answered later, by signal.
            QMetaObject::invokeMethod(
                this,
                [this, pendingKey, devicePixelRatio, rendered] {
                    if (!m_pending.remove(pendingKey))
                        return; // forgotten meanwhile
                    Entry &slot = m_entries[pendingKey.id][size_t(pendingKey.kind)];
                    slot.imageKey = pendingKey.imageKey;
                    slot.pixelSide = pendingKey.pixelSide;
                    slot.pixmap = QPixmap::fromImage(rendered);
                    slot.pixmap.setDevicePixelRatio(devicePixelRatio);
                    Q_EMIT thumbnailReady(pendingKey.id);
                },
                Qt::QueuedConnection);
        });
    // Until the new one arrives, an older thumbnail of the same folder is better than nothing.
    return entry.pixmap;
}

void ThumbnailCache::retainOnly(const QSet<QUuid> &ids)
{
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (ids.contains(it.key()))
            ++it;
        else
            it = m_entries.erase(it);
    }
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (ids.contains(it->id))
            ++it;
        else
            it = m_pending.erase(it);
    }
}

void ThumbnailCache::clear()
{
    m_entries.clear();
    m_pending.clear();
}

qint64 ThumbnailCache::byteSize() const
{
    qint64 bytes = 0;
    for (const auto &entries : m_entries) {
        for (const Entry &e : entries) {
            if (!e.pixmap.isNull())
                bytes += qint64(e.pixmap.width()) * e.pixmap.height() * e.pixmap.depth() / 8;
        }
    }
    return bytes;
}

int ThumbnailCache::count() const
{
    int n = 0;
    for (const auto &entries : m_entries)
        for (const Entry &e : entries)
            n += e.pixmap.isNull() ? 0 : 1;
    return n;
}

bool ThumbnailCache::waitForPending(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!m_pending.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return m_pending.isEmpty();
}
