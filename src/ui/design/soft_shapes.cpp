#include "design/soft_shapes.h"

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <vector>

namespace SoftShapes {

namespace {
// Where the continuous corner starts along each side, and the Bézier points of its three
// segments, all as multiples of the radius (the usual smooth-corner construction).
constexpr qreal CornerExtent = 1.52866483;
constexpr qreal A = 1.08849296;
constexpr qreal B = 0.86840694;
constexpr qreal C = 0.63149399;
constexpr qreal D = 0.07491100;
constexpr qreal E = 0.37282392;
constexpr qreal F = 0.16905402;
} // namespace

QPainterPath continuousRoundedRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    if (rect.isEmpty())
        return path;
    const qreal limit = std::min(rect.width(), rect.height()) / 2.0 / CornerExtent;
    const qreal r = std::clamp(radius, 0.0, limit);
    if (r <= 0.0) {
        path.addRect(rect);
        return path;
    }
    const qreal l = rect.left(), t = rect.top(), rt = rect.right(), b = rect.bottom();

    path.moveTo(l + CornerExtent * r, t);
    // Top-right corner.
    path.lineTo(rt - CornerExtent * r, t);
    path.cubicTo(rt - A * r, t, rt - B * r, t, rt - C * r, t + D * r);
    path.cubicTo(rt - E * r, t + F * r, rt - F * r, t + E * r, rt - D * r, t + C * r);
    path.cubicTo(rt, t + B * r, rt, t + A * r, rt, t + CornerExtent * r);
    // Bottom-right corner.
    path.lineTo(rt, b - CornerExtent * r);
    path.cubicTo(rt, b - A * r, rt, b - B * r, rt - D * r, b - C * r);
    path.cubicTo(rt - F * r, b - E * r, rt - E * r, b - F * r, rt - C * r, b - D * r);
    path.cubicTo(rt - B * r, b, rt - A * r, b, rt - CornerExtent * r, b);
    // Bottom-left corner.
    path.lineTo(l + CornerExtent * r, b);
    path.cubicTo(l + A * r, b, l + B * r, b, l + C * r, b - D * r);
    path.cubicTo(l + E * r, b - F * r, l + F * r, b - E * r, l + D * r, b - C * r);
    path.cubicTo(l, b - B * r, l, b - A * r, l, b - CornerExtent * r);
    // Top-left corner.
    path.lineTo(l, t + CornerExtent * r);
    path.cubicTo(l, t + A * r, l, t + B * r, l + D * r, t + C * r);
    path.cubicTo(l + F * r, t + E * r, l + E * r, t + F * r, l + C * r, t + D * r);
    path.cubicTo(l + B * r, t, l + A * r, t, l + CornerExtent * r, t);
    path.closeSubpath();
    return path;
}

void gaussianBlur(QImage &image, qreal sigma)
{
    if (sigma <= 0.0 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);

    const int radius = std::max(1, int(std::ceil(3.0 * sigma)));
    std::vector<float> kernel(size_t(2 * radius + 1));
    float sum = 0.0f;
    for (int i = -radius; i <= radius; ++i) {
        const float w = float(std::exp(-(i * i) / (2.0 * sigma * sigma)));
        kernel[size_t(i + radius)] = w;
        sum += w;
    }
    for (float &w : kernel)
        w /= sum;

    const int width = image.width();
    const int height = image.height();
    std::vector<float> line(size_t(std::max(width, height)) * 4);
    std::vector<float> out(line.size());

    // One pass along a line of pixels, edges treated as transparent.
    auto blurLine = [&](int count) {
        for (int x = 0; x < count; ++x) {
            float acc[4] = {0, 0, 0, 0};
            const int from = std::max(0, x - radius);
            const int to = std::min(count - 1, x + radius);
            for (int k = from; k <= to; ++k) {
                const float w = kernel[size_t(k - x + radius)];
                const float *px = &line[size_t(k) * 4];
                acc[0] += w * px[0];
                acc[1] += w * px[1];
                acc[2] += w * px[2];
                acc[3] += w * px[3];
            }
            std::copy(acc, acc + 4, &out[size_t(x) * 4]);
        }
    };
    auto unpack = [](QRgb v, float *px) {
        px[0] = float(qAlpha(v));
        px[1] = float(qRed(v));
        px[2] = float(qGreen(v));
        px[3] = float(qBlue(v));
    };
    auto pack = [](const float *px) {
        auto c = [](float v) { return int(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
        const int a = c(px[0]);
        // Premultiplied: no channel may exceed alpha.
        return qRgba(std::min(c(px[1]), a), std::min(c(px[2]), a), std::min(c(px[3]), a), a);
    };

    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            unpack(row[x], &line[size_t(x) * 4]);
        blurLine(width);
        for (int x = 0; x < width; ++x)
            row[x] = pack(&out[size_t(x) * 4]);
    }
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y)
            unpack(reinterpret_cast<const QRgb *>(image.constScanLine(y))[x], &line[size_t(y) * 4]);
        blurLine(height);
        for (int y = 0; y < height; ++y)
            reinterpret_cast<QRgb *>(image.scanLine(y))[x] = pack(&out[size_t(y) * 4]);
    }
}

} // namespace SoftShapes
