#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QUuid>

#include <array>

/// @brief Folder images scaled down once to the size a card or row draws them, already clipped to
/// their rounded corners, so painting only blits small pixmaps.
///
/// Scaling runs on the thread pool: a miss returns a null pixmap and `thumbnailReady` follows.
/// A thumbnail is kept until its folder's image changes (told by QImage::cacheKey), its size or
/// pixel ratio changes, or the folder is forgotten.
class ThumbnailCache final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ThumbnailCache)

public:
    enum class Kind { card, row };

    /// What one kind of thumbnail looks like, in logical pixels.
    struct Shape
    {
        qreal side;
        qreal cornerRadius;
    };
    static Shape shape(Kind kind);

    explicit ThumbnailCache(QObject *parent = nullptr);
    ~ThumbnailCache() override;

    /// The thumbnail of `image` for folder `id`, or a null pixmap while it is being made.
    QPixmap thumbnail(const QUuid &id, Kind kind, const QImage &image, qreal devicePixelRatio);

    /// Drops the thumbnails of folders not in `ids`.
    void retainOnly(const QSet<QUuid> &ids);
    void clear();

    /// Bytes held by the cached pixmaps.
    qint64 byteSize() const;
    int count() const;
    int pendingCount() const { return m_pending.size(); }
    /// Waits (running the event loop) until every scaling job has delivered; for tools and tests.
    bool waitForPending(int timeoutMs = 5000);

    /// The scaling itself: `image` fitted into a square of `pixelSide`, clipped to rounded
    /// corners of `pixelRadius`. Thread-safe.
    static QImage render(const QImage &image, int pixelSide, qreal pixelRadius);

Q_SIGNALS:
    void thumbnailReady(const QUuid &id);

private:
    struct Entry
    {
        qint64 imageKey = 0;
        int pixelSide = 0;
        QPixmap pixmap;
    };
    struct PendingKey
    {
        QUuid id;
        int kind;
        qint64 imageKey;
        int pixelSide;
        friend bool operator==(const PendingKey &, const PendingKey &) = default;
        friend size_t qHash(const PendingKey &k, size_t seed = 0) noexcept
        {
            return qHashMulti(seed, k.id, k.kind, k.imageKey, k.pixelSide);
        }
    };

    QHash<QUuid, std::array<Entry, 2>> m_entries;
    QSet<PendingKey> m_pending;
};
