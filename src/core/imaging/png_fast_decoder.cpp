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

void orInto(quint32 *row, int width, quint32 bits)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i wide = _mm_set1_epi32(int(bits));
    for (; x + 4 <= width; x += 4) {
        auto *at = reinterpret_cast<__m128i *>(row + x);
        _mm_storeu_si128(at, _mm_or_si128(_mm_loadu_si128(at), wide));
    }
#endif
    for (; x < width; ++x)
        row[x] |= bits;
}

#if !defined(__SSE2__)
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
#endif

/// One row's filtered pixels as 32-bit words in the byte order of Qt's formats (blue, green, red,
/// alpha). For three bytes a pixel the fourth byte is the next one's first: carried through the
/// arithmetic in a lane of its own, and replaced by opaque alpha when the pixel is stored.
template<int bpp>
void gatherPixels(const uchar *filtered, int width, quint32 *out)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i greenAlpha = _mm_set1_epi32(int(0xff00ff00u));
    const __m128i low = _mm_set1_epi32(0xff);
    for (; x + 4 <= width; x += 4) {
        __m128i pixels;
        if constexpr (bpp == 4) {
            pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(filtered + size_t(x) * 4));
        } else {
            // Twelve bytes make four pixels: each one's bytes moved to the bottom, then side by side.
            const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(filtered + size_t(x) * 3));
            const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(filtered + size_t(x) * 3 + 6));
            pixels = _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, _mm_srli_si128(a, 3)),
                                        _mm_unpacklo_epi32(b, _mm_srli_si128(b, 3)));
        }
        // Memory order R G B A becomes B G R A: swap the red and blue bytes.
        pixels = _mm_or_si128(_mm_and_si128(pixels, greenAlpha),
                              _mm_or_si128(_mm_and_si128(_mm_srli_epi32(pixels, 16), low),
                                           _mm_slli_epi32(_mm_and_si128(pixels, low), 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), pixels);
    }
#endif
    for (; x < width; ++x) {
        quint32 pixel; // R G B (A) in memory
        std::memcpy(&pixel, filtered + size_t(x) * bpp, 4);
        out[x] = (pixel & 0xff00ff00u) | ((pixel >> 16) & 0xffu) | ((pixel & 0xffu) << 16);
    }
}

/// Undoes one row's filter: `row` gets `filtered` plus the filter's prediction from the pixel to
/// the left (in `row`) and the row `above` (zeros for the first). Every filter works byte by byte
/// with the byte one pixel back, so with pixels widened to four bytes the channels keep to their
/// lanes and the arithmetic is the file's own. `opaque` is or-ed into every pixel stored: alpha
/// for pixels without one, whose fourth lane is never read as anything else. False for a filter
/// type that does not exist.
bool unfilter(int type, const quint32 *filtered, const quint32 *above, quint32 *row, int width, quint32 opaque)
{
    const auto *in = reinterpret_cast<const uchar *>(filtered);
    const auto *up = reinterpret_cast<const uchar *>(above);
    auto *out = reinterpret_cast<uchar *>(row);
    const size_t length = size_t(width) * 4;
    switch (type) {
    case 0:
        for (int x = 0; x < width; ++x)
            row[x] = filtered[x] | opaque;
        return true;
    case 1: {
#if defined(__SSE2__)
        __m128i left = _mm_setzero_si128();
        for (int x = 0; x < width; ++x) {
            left = _mm_add_epi8(left, _mm_cvtsi32_si128(int(filtered[x])));
            row[x] = quint32(_mm_cvtsi128_si32(left)) | opaque;
        }
#else
        for (size_t i = 0; i < length; ++i)
            out[i] = uchar(in[i] + (i >= 4 ? out[i - 4] : 0));
        orInto(row, width, opaque);
#endif
        return true;
    }
    case 2: {
        size_t i = 0;
#if defined(__SSE2__)
        for (; i + 16 <= length; i += 16) {
            const __m128i sum = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i)),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(up + i)));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), sum);
        }
#endif
        for (; i < length; ++i)
            out[i] = uchar(in[i] + up[i]);
        orInto(row, width, opaque);
        return true;
    }
    case 3: {
#if defined(__SSE2__)
        // The mean rounded down: the rounded-up mean, less one where the sum is odd.
        const __m128i one = _mm_set1_epi8(1);
        __m128i left = _mm_setzero_si128();
        for (int x = 0; x < width; ++x) {
            const __m128i above4 = _mm_cvtsi32_si128(int(above[x]));
            const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(left, above4), _mm_and_si128(_mm_xor_si128(left, above4), one));
            left = _mm_add_epi8(_mm_cvtsi32_si128(int(filtered[x])), mean);
            row[x] = quint32(_mm_cvtsi128_si32(left)) | opaque;
        }
#else
        for (size_t i = 0; i < length; ++i)
            out[i] = uchar(in[i] + (((i >= 4 ? out[i - 4] : 0) + up[i]) >> 1));
        orInto(row, width, opaque);
#endif
        return true;
    }
    case 4: {
#if defined(__SSE2__)
        // A pixel at a time, its channels side by side in 16-bit lanes: the same choice as paeth()
        // makes for each byte.
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = _mm_set1_epi16(0xff);
        const auto lanes = [&](quint32 pixel) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(pixel)), zero); };
        const auto absolute = [&](__m128i value) { return _mm_max_epi16(value, _mm_sub_epi16(zero, value)); };
        __m128i left = zero; // nothing left of the first pixel: zeros
        __m128i aboveLeft = zero;
        for (int x = 0; x < width; ++x) {
            const __m128i upper = lanes(above[x]);
            const __m128i upMinusCorner = _mm_sub_epi16(upper, aboveLeft);
            const __m128i leftMinusCorner = _mm_sub_epi16(left, aboveLeft);
            const __m128i toLeft = absolute(upMinusCorner);
            const __m128i toAbove = absolute(leftMinusCorner);
            const __m128i toCorner = absolute(_mm_add_epi16(upMinusCorner, leftMinusCorner));
            const __m128i notLeft = _mm_or_si128(_mm_cmpgt_epi16(toLeft, toAbove), _mm_cmpgt_epi16(toLeft, toCorner));
            const __m128i notAbove = _mm_cmpgt_epi16(toAbove, toCorner);
            const __m128i aboveOrCorner = _mm_or_si128(_mm_andnot_si128(notAbove, upper), _mm_and_si128(notAbove, aboveLeft));
            const __m128i predictor = _mm_or_si128(_mm_andnot_si128(notLeft, left), _mm_and_si128(notLeft, aboveOrCorner));
            left = _mm_and_si128(_mm_add_epi16(lanes(filtered[x]), predictor), low);
            aboveLeft = upper;
            row[x] = quint32(_mm_cvtsi128_si32(_mm_packus_epi16(left, left))) | opaque;
        }
#else
        for (size_t i = 0; i < 4; ++i)
            out[i] = uchar(in[i] + up[i]); // no left neighbour: Paeth picks the byte above
        for (size_t i = 4; i < length; ++i)
            out[i] = uchar(in[i] + paeth(out[i - 4], up[i], up[i - 4]));
        orInto(row, width, opaque);
#endif
        return true;
    }
    default:
        return false;
    }
}

/// The bits set in every one of the words.
quint32 commonBits(const quint32 *row, int width)
{
    int x = 0;
    quint32 common = ~0u;
#if defined(__SSE2__)
    __m128i wide = _mm_set1_epi32(-1);
    for (; x + 4 <= width; x += 4)
        wide = _mm_and_si128(wide, _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x)));
    wide = _mm_and_si128(wide, _mm_srli_si128(wide, 8));
    wide = _mm_and_si128(wide, _mm_srli_si128(wide, 4));
    common = quint32(_mm_cvtsi128_si32(wide));
#endif
    for (; x < width; ++x)
        common &= row[x];
    return common;
}

/// Unfilters the inflated rows straight into the image, each row predicted from the one above it
/// there. `opaque` tells whether every pixel came out with full alpha.
template<int bpp>
bool unfilterAll(const uchar *data, int width, int height, QImage &image, bool &opaque)
{
    const size_t length = size_t(width) * bpp;
    static thread_local std::vector<quint32> zeros;
    static thread_local std::vector<quint32> filtered;
    zeros.assign(size_t(width), 0);
    filtered.resize(size_t(width));
    const quint32 *above = zeros.data();
    for (int y = 0; y < height; ++y) {
        const uchar *line = data + size_t(y) * (length + 1);
        gatherPixels<bpp>(line + 1, width, filtered.data());
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        if (!unfilter(line[0], filtered.data(), above, row, width, bpp == 3 ? 0xff000000u : 0u))
            return false;
        if (bpp == 4 && opaque)
            opaque = (commonBits(row, width) >> 24) == 0xff;
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
    bool opaque = true;
    const bool ok = bpp == 4 ? unfilterAll<4>(inflated.data(), width, height, image, opaque)
                             : unfilterAll<3>(inflated.data(), width, height, image, opaque);
    if (!ok)
        return std::nullopt;
    // An alpha channel with nothing in it: the same bits are an RGB32 image, which whoever draws or
    // premultiplies it can take as it is, where ARGB32 would be converted, a fresh copy of megabytes.
    if (opaque)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    ImageScratch::keep(ImageScratch::Purpose::Decoded, image);
    return image;
}

} // namespace PngFastDecoder
