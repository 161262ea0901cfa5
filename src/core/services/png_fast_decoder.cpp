#include "png_fast_decoder.h"

#include "image_scratch.h"

#include <libdeflate.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PngFastDecoder {
namespace {

quint32 bigEndian(const uchar *at)
{
    return (quint32(at[0]) << 24) | (quint32(at[1]) << 16) | (quint32(at[2]) << 8) | quint32(at[3]);
}

struct DecompressorDeleter
{
    void operator()(libdeflate_decompressor *decompressor) const { libdeflate_free_decompressor(decompressor); }
};

/// Lets a thread's buffer go when the scope ends, if it grew beyond `limit` bytes: one very large
/// image does not leave its memory with the thread.
struct ReleaseIfLarge
{
    std::vector<uchar> &buffer;
    size_t limit;
    ~ReleaseIfLarge()
    {
        if (buffer.capacity() > limit)
            std::vector<uchar>().swap(buffer);
    }
};

uchar paeth(int left, int above, int aboveLeft)
{
    const int estimate = left + above - aboveLeft;
    const int toLeft = std::abs(estimate - left);
    const int toAbove = std::abs(estimate - above);
    const int toAboveLeft = std::abs(estimate - aboveLeft);
    if (toLeft <= toAbove && toLeft <= toAboveLeft)
        return uchar(left);
    return uchar(toAbove <= toAboveLeft ? above : aboveLeft);
}

#if defined(__SSE2__)
__m128i pixelLanes(const uchar *at)
{
    quint32 bytes;
    std::memcpy(&bytes, at, 4); // for three bytes a pixel, the next one's first byte too: ignored
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(bytes)), _mm_setzero_si128());
}

__m128i absolute(__m128i value)
{
    return _mm_max_epi16(value, _mm_sub_epi16(_mm_setzero_si128(), value));
}

/// The Paeth filter undone a pixel at a time, its channels side by side in 16-bit lanes: the same
/// choice as paeth() makes for each byte. Reads four bytes a pixel, so rows need one byte of slack.
template<int bpp>
void unfilterPaeth(uchar *row, const uchar *above, size_t length)
{
    const __m128i low = _mm_set1_epi16(0xff);
    __m128i left = _mm_setzero_si128(); // nothing left of the first pixel: zeros
    __m128i aboveLeft = left;
    for (size_t i = 0; i < length; i += bpp) {
        const __m128i up = pixelLanes(above + i);
        const __m128i upMinusCorner = _mm_sub_epi16(up, aboveLeft);
        const __m128i leftMinusCorner = _mm_sub_epi16(left, aboveLeft);
        const __m128i toLeft = absolute(upMinusCorner);
        const __m128i toAbove = absolute(leftMinusCorner);
        const __m128i toCorner = absolute(_mm_add_epi16(upMinusCorner, leftMinusCorner));
        const __m128i notLeft = _mm_or_si128(_mm_cmpgt_epi16(toLeft, toAbove), _mm_cmpgt_epi16(toLeft, toCorner));
        const __m128i notAbove = _mm_cmpgt_epi16(toAbove, toCorner);
        const __m128i aboveOrCorner = _mm_or_si128(_mm_andnot_si128(notAbove, up), _mm_and_si128(notAbove, aboveLeft));
        const __m128i predictor = _mm_or_si128(_mm_andnot_si128(notLeft, left), _mm_and_si128(notLeft, aboveOrCorner));
        left = _mm_and_si128(_mm_add_epi16(pixelLanes(row + i), predictor), low);
        aboveLeft = up;
        const quint32 pixel = quint32(_mm_cvtsi128_si32(_mm_packus_epi16(left, left)));
        std::memcpy(row + i, &pixel, bpp);
    }
}
#endif

/// Undoes one row's filter in place; `above` is the previous row, already unfiltered (zeros for
/// the first). False for a filter type that does not exist.
template<int bpp>
bool unfilter(int type, uchar *row, const uchar *above, size_t length)
{
    switch (type) {
    case 0:
        return true;
    case 1:
        for (size_t i = bpp; i < length; ++i)
            row[i] = uchar(row[i] + row[i - bpp]);
        return true;
    case 2: {
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= length; i += 16) {
            const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row + i)),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(above + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(row + i), sum);
        }
#endif
        for (; i < length; ++i)
            row[i] = uchar(row[i] + above[i]);
        return true;
    }
    case 3:
        for (size_t i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + (above[i] >> 1));
        for (size_t i = bpp; i < length; ++i)
            row[i] = uchar(row[i] + ((row[i - bpp] + above[i]) >> 1));
        return true;
    case 4:
#if defined(__SSE2__)
        unfilterPaeth<bpp>(row, above, length);
        return true;
#endif
        for (size_t i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + above[i]); // no left neighbour: Paeth picks the byte above
        for (size_t i = bpp; i < length; ++i)
            row[i] = uchar(row[i] + paeth(row[i - bpp], above[i], above[i - bpp]));
        return true;
    default:
        return false;
    }
}

template<int bpp>
bool unfilterAll(uchar *data, int width, int height, QImage &image)
{
    const size_t length = size_t(width) * bpp;
    static thread_local std::vector<uchar> zeros;
    zeros.assign(length + 1, 0); // with the slack unfilterPaeth reads
    const uchar *above = zeros.data();
    for (int y = 0; y < height; ++y) {
        uchar *filtered = data + size_t(y) * (length + 1);
        uchar *row = filtered + 1;
        if (!unfilter<bpp>(filtered[0], row, above, length))
            return false;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            quint32 pixel; // R G B (A) in memory; for three bytes a pixel, the fourth is the next one's
            std::memcpy(&pixel, row + size_t(x) * bpp, 4);
            const quint32 alpha = bpp == 4 ? pixel & 0xff000000u : 0xff000000u;
            out[x] = alpha | (pixel & 0xff00u) | ((pixel & 0xffu) << 16) | ((pixel >> 16) & 0xffu);
        }
        above = row;
    }
    return true;
}

} // namespace

std::optional<QImage> decode(const QByteArray &bytes, qint64 maxPixels, int maxSide)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const size_t size = size_t(bytes.size());
    size_t at = 8; // after the signature
    int width = 0;
    int height = 0;
    int bpp = 0;
    // The image data: where it stands in `bytes` when one chunk holds it all, else gathered here.
    // The buffer stays with the thread: a fresh one costs a page fault per 4 KiB for every icon.
    static thread_local std::vector<uchar> gathered;
    gathered.clear();
    const ReleaseIfLarge releaseGathered{gathered, size_t(4) * 1024 * 1024};
    const uchar *compressed = nullptr;
    size_t compressedLength = 0;
    bool ended = false;
    bool first = true;
    while (!ended) {
        if (at + 12 > size)
            return std::nullopt;
        const quint32 length = bigEndian(data + at);
        if (length > size - at - 12)
            return std::nullopt;
        const uchar *type = data + at + 4;
        const uchar *content = type + 4;
        if (bigEndian(content + length) != quint32(libdeflate_crc32(0, type, size_t(length) + 4)))
            return std::nullopt;
        const bool critical = (type[0] & 0x20) == 0;
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13)
                return std::nullopt;
            const quint32 w = bigEndian(content);
            const quint32 h = bigEndian(content + 4);
            const int depth = content[8];
            const int colour = content[9];
            if (w == 0 || h == 0 || w > quint32(maxSide) || h > quint32(maxSide) || qint64(w) * h > maxPixels)
                return std::nullopt;
            // 8-bit RGB or RGBA, standard compression and filtering, not interlaced.
            if (depth != 8 || (colour != 2 && colour != 6) || content[10] != 0 || content[11] != 0 || content[12] != 0)
                return std::nullopt;
            width = int(w);
            height = int(h);
            bpp = colour == 6 ? 4 : 3;
            first = false;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            if (compressedLength == 0) {
                compressed = content;
            } else {
                if (gathered.empty())
                    gathered.assign(compressed, compressed + compressedLength);
                gathered.insert(gathered.end(), content, content + length);
                compressed = gathered.data();
            }
            compressedLength += length;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            ended = true;
        } else if (critical || std::memcmp(type, "tRNS", 4) == 0) {
            return std::nullopt; // a palette, or a transparent colour: Qt's reader knows what to make of it
        }
        at += size_t(length) + 12;
    }
    if (compressedLength == 0)
        return std::nullopt;

    const size_t rowLength = size_t(width) * size_t(bpp) + 1;
    const size_t expected = rowLength * size_t(height);
    static thread_local std::vector<uchar> inflated;
    static thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
        libdeflate_alloc_decompressor());
    if (!decompressor)
        return std::nullopt;
    const ReleaseIfLarge releaseInflated{inflated, size_t(16) * 1024 * 1024};
    inflated.resize(expected + 4); // slack for reading whole words at the last pixel
    size_t produced = 0;
    if (libdeflate_zlib_decompress(decompressor.get(), compressed, compressedLength, inflated.data(), expected, &produced)
            != LIBDEFLATE_SUCCESS
        || produced != expected) {
        return std::nullopt;
    }

    QImage image = ImageScratch::take(ImageScratch::Purpose::Decoded, QSize(width, height),
                                      bpp == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return std::nullopt;
    const bool ok = bpp == 4 ? unfilterAll<4>(inflated.data(), width, height, image)
                             : unfilterAll<3>(inflated.data(), width, height, image);
    if (!ok)
        return std::nullopt;
    ImageScratch::keep(ImageScratch::Purpose::Decoded, image);
    return image;
}

} // namespace PngFastDecoder
