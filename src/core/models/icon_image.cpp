#include "models/icon_image.h"

#include "services/image_decoder.h"
#include "services/image_work_pool.h"

#include <QtConcurrent/QtConcurrentRun>

#include <atomic>

namespace {

std::atomic<qint64> nextSerial{1};
std::atomic<int> alive{0};

} // namespace

struct IconImage::Data
{
    qint64 serial = nextSerial.fetch_add(1);
    QByteArray png;
    QSize size;
    QList<QImage> renditions; // smallest first

    Data() { alive.fetch_add(1); }
    ~Data() { alive.fetch_sub(1); }
    Data(const Data &) = delete;
    Data &operator=(const Data &) = delete;
};

const QList<int> &IconImage::renditionSides()
{
    static const QList<int> sides{24, 36, 48, 72, 96, 120, 240};
    return sides;
}

IconImage::IconImage(const QImage &styled, const QByteArray &png)
{
    if (styled.isNull())
        return;
    auto data = std::make_shared<Data>();
    data->png = png;
    data->size = styled.size();
    // Each rendition is scaled from the next larger one: area averaging over a 240-pixel image is
    // far cheaper than over the full one, and as sharp at these sizes.
    const int fullSide = std::max(styled.width(), styled.height());
    QImage from = styled.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QList<int> &sides = renditionSides();
    for (auto side = sides.crbegin(); side != sides.crend(); ++side) {
        if (*side >= fullSide)
            continue;
        from = from.scaled(*side, *side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        data->renditions.prepend(from);
    }
    if (fullSide <= sides.constLast())
        data->renditions.append(styled.convertToFormat(QImage::Format_ARGB32_Premultiplied)); // small already
    d = std::move(data);
}

QList<int> IconImage::renditionSidesFor(QSize size)
{
    QList<int> result;
    const int fullSide = std::max(size.width(), size.height());
    if (fullSide <= 0)
        return result;
    for (int side : renditionSides()) {
        if (side < fullSide)
            result.append(side);
    }
    if (fullSide <= renditionSides().constLast())
        result.append(fullSide);
    return result;
}

IconImage IconImage::fromRenditions(const QByteArray &png, QSize size, const QList<QImage> &renditions)
{
    const QList<int> sides = renditionSidesFor(size);
    if (sides.isEmpty() || sides.size() != renditions.size())
        return {};
    for (qsizetype i = 0; i < sides.size(); ++i) {
        const QImage &image = renditions.at(i);
        if (image.format() != QImage::Format_ARGB32_Premultiplied
            || std::max(image.width(), image.height()) != sides.at(i))
            return {};
    }
    IconImage icon;
    auto data = std::make_shared<Data>();
    data->png = png;
    data->size = size;
    data->renditions = renditions;
    icon.d = std::move(data);
    return icon;
}

qint64 IconImage::cacheKey() const { return d ? d->serial : 0; }

QByteArray IconImage::png() const { return d ? d->png : QByteArray(); }

QSize IconImage::size() const { return d ? d->size : QSize(); }

QImage IconImage::rendition(int pixelSide) const
{
    if (!d || d->renditions.isEmpty())
        return QImage();
    for (const QImage &image : d->renditions) {
        if (std::max(image.width(), image.height()) >= pixelSide)
            return image;
    }
    return d->renditions.constLast();
}

QList<QImage> IconImage::renditions() const { return d ? d->renditions : QList<QImage>(); }

QImage IconImage::decodeFullImage() const
{
    if (!d)
        return QImage();
    return ImageDecoder::decode(d->png).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QFuture<QImage> IconImage::fullImage() const
{
    return QtConcurrent::run(&ImageWorkPool::instance(), [icon = *this] { return icon.decodeFullImage(); });
}

int IconImage::liveCount() { return alive.load(); }
