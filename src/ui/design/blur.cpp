#include "design/blur.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// One pass of a box blur of half-width r over every channel of one line (stride in pixels).
void boxLine(quint32 *line, int count, int stride, int r, std::vector<quint32> &scratch)
{
    if (r <= 0 || count <= 1)
        return;
    scratch.resize(size_t(count));
    for (int i = 0; i < count; ++i)
        scratch[size_t(i)] = line[i * stride];
    const int window = 2 * r + 1;
    int sum[4] = {0, 0, 0, 0};
    const auto add = [&](quint32 px, int sign) {
        sum[0] += sign * int(px & 0xff);
        sum[1] += sign * int((px >> 8) & 0xff);
        sum[2] += sign * int((px >> 16) & 0xff);
        sum[3] += sign * int(px >> 24);
    };
    // Pixels beyond the edges count as transparent, so shapes fade out at the image border.
    for (int i = 0; i <= std::min(r, count - 1); ++i)
        add(scratch[size_t(i)], 1);
    for (int i = 0; i < count; ++i) {
        quint32 out = 0;
        for (int c = 0; c < 4; ++c)
            out |= quint32(std::clamp(sum[c] / window, 0, 255)) << (8 * c);
        line[i * stride] = out;
        if (const int in = i + r + 1; in < count)
            add(scratch[size_t(in)], 1);
        if (const int outIdx = i - r; outIdx >= 0)
            add(scratch[size_t(outIdx)], -1);
    }
}
} // namespace

namespace Blur {

void gaussian(QImage &image, qreal radius)
{
    if (radius <= 0.0 || image.isNull())
        return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const qreal sigma = radius / 2.0 * image.devicePixelRatio();
    // Box widths whose three passes approximate the Gaussian (the usual variance match).
    const int boxes = 3;
    const double ideal = std::sqrt(12.0 * sigma * sigma / boxes + 1.0);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0)
        --lower;
    const int upper = lower + 2;
    const double m = (12.0 * sigma * sigma - boxes * lower * lower - 4.0 * boxes * lower - 3.0 * boxes)
                     / (-4.0 * lower - 4.0);
    const int smaller = int(std::lround(m));

    const int w = image.width();
    const int h = image.height();
    const int stride = int(image.bytesPerLine() / 4);
    auto *bits = reinterpret_cast<quint32 *>(image.bits());
    std::vector<quint32> scratch;
    for (int pass = 0; pass < boxes; ++pass) {
        const int r = ((pass < smaller ? lower : upper) - 1) / 2;
        for (int y = 0; y < h; ++y)
            boxLine(bits + y * stride, w, 1, r, scratch);
        for (int x = 0; x < w; ++x)
            boxLine(bits + x, h, stride, r, scratch);
    }
}

} // namespace Blur
