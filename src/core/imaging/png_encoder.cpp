#include "png_encoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PngEncoder {
namespace {

constexpr int literalLengthSymbols = 286;
constexpr int distanceSymbols = 30;
constexpr int codeLengthSymbols = 19;
constexpr int endOfBlock = 256;
/// Deflate allows 15; 14 lets four literals go into the bit buffer between two flushes.
constexpr int maxCodeBits = 14;
constexpr int maxCodeLengthBits = 7;
constexpr size_t minMatch = 4;
constexpr size_t maxMatch = 258;
constexpr size_t maxDistance = 32768;
/// Rows are filtered, searched and coded a band of about this many bytes at a time: small enough to
/// stay in the core's cache between the three passes, large enough that a band's code table costs
/// next to nothing.
constexpr size_t bandBytes = 128 * 1024;
constexpr size_t maxStoredBlock = 65535;
/// The largest output buffer a thread keeps between images: room for a 2048 × 2048 image.
constexpr size_t maxKeptOutput = size_t(17) * 1024 * 1024;

quint32 load32(const uchar *at)
{
    quint32 value;
    std::memcpy(&value, at, 4);
    return value;
}

quint64 load64(const uchar *at)
{
    quint64 value;
    std::memcpy(&value, at, 8);
    return value;
}

void putBigEndian(uchar *at, quint32 value)
{
    at[0] = uchar(value >> 24);
    at[1] = uchar(value >> 16);
    at[2] = uchar(value >> 8);
    at[3] = uchar(value);
}

struct LengthSymbol
{
    quint16 symbol = 0;
    quint8 extraBits = 0;
    quint8 extra = 0;
};

constexpr std::array<LengthSymbol, maxMatch + 1> makeLengthSymbols()
{
    constexpr int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    constexpr int extraBits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    std::array<LengthSymbol, maxMatch + 1> table{};
    // The last code is 258 alone; 284 with all its extra bits set would say 258 too, which some
    // decoders refuse, and being written later 285 wins.
    for (int code = 0; code < 29; ++code) {
        for (int length = base[code]; length < base[code] + (1 << extraBits[code]) && length <= int(maxMatch); ++length)
            table[size_t(length)] = {quint16(257 + code), quint8(extraBits[code]), quint8(length - base[code])};
    }
    return table;
}

constexpr std::array<LengthSymbol, maxMatch + 1> lengthSymbols = makeLengthSymbols();

struct DistanceSymbol
{
    int symbol = 0;
    int extraBits = 0;
    int extra = 0;
};

DistanceSymbol distanceSymbol(size_t distance)
{
    static constexpr int base[distanceSymbols] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,
                                                  33,   49,   65,   97,   129,  193,   257,   385,   513,   769,
                                                  1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    int code = distanceSymbols - 1;
    while (size_t(base[code]) > distance)
        --code;
    return {code, code < 4 ? 0 : code / 2 - 1, int(distance) - base[code]};
}

/// Huffman code lengths for `count` symbols, none longer than `limit`; unused symbols get 0. At
/// least two symbols get a code: decoders refuse an alphabet of one code where the other half of
/// the code space stays empty.
void buildLengths(const quint32 *frequencies, int count, int limit, quint8 *lengths)
{
    std::array<quint32, literalLengthSymbols> weights{};
    std::array<int, literalLengthSymbols> leaves{};
    int used = 0;
    for (int symbol = 0; symbol < count; ++symbol) {
        weights[size_t(symbol)] = frequencies[symbol];
        if (frequencies[symbol] != 0)
            ++used;
    }
    for (int symbol = 0; used < 2; ++symbol) {
        if (weights[size_t(symbol)] == 0) {
            weights[size_t(symbol)] = 1;
            ++used;
        }
    }

    std::array<quint64, 2 * literalLengthSymbols> nodeWeight{};
    std::array<int, 2 * literalLengthSymbols> parent{};
    std::array<quint8, 2 * literalLengthSymbols> depth{};
    for (;;) {
        // Sorted by weight, then symbol: one integer key each.
        std::array<quint64, literalLengthSymbols> keys{};
        int leafCount = 0;
        for (int symbol = 0; symbol < count; ++symbol) {
            if (weights[size_t(symbol)] != 0)
                keys[size_t(leafCount++)] = quint64(weights[size_t(symbol)]) << 16 | quint64(symbol);
        }
        std::sort(keys.begin(), keys.begin() + leafCount);
        for (int i = 0; i < leafCount; ++i)
            leaves[size_t(i)] = int(keys[size_t(i)] & 0xffffu);
        // Nodes 0 .. leafCount-1 are the leaves by rising weight; merged nodes follow in the order
        // they are made, which is also rising weight, so two queues give the lightest pair.
        for (int i = 0; i < leafCount; ++i)
            nodeWeight[size_t(i)] = weights[size_t(leaves[size_t(i)])];
        int nextLeaf = 0;
        int nextMerged = leafCount;
        int made = leafCount;
        auto lightest = [&] {
            if (nextLeaf < leafCount && (nextMerged == made || nodeWeight[size_t(nextLeaf)] <= nodeWeight[size_t(nextMerged)]))
                return nextLeaf++;
            return nextMerged++;
        };
        for (int merge = 0; merge < leafCount - 1; ++merge) {
            const int a = lightest();
            const int b = lightest();
            nodeWeight[size_t(made)] = nodeWeight[size_t(a)] + nodeWeight[size_t(b)];
            parent[size_t(a)] = made;
            parent[size_t(b)] = made;
            ++made;
        }
        const int root = std::max(made - 1, 0);
        depth[size_t(root)] = 0;
        int deepest = 0;
        for (int node = root - 1; node >= 0; --node) {
            depth[size_t(node)] = quint8(depth[size_t(parent[size_t(node)])] + 1);
            deepest = std::max(deepest, int(depth[size_t(node)]));
        }
        if (deepest <= limit) {
            std::fill(lengths, lengths + count, quint8(0));
            for (int i = 0; i < leafCount; ++i)
                lengths[leaves[size_t(i)]] = depth[size_t(i)];
            return;
        }
        // Too deep: flatten the weights and build again. Rare symbols gain a bit or two; the
        // common ones hardly change.
        for (int symbol = 0; symbol < count; ++symbol) {
            if (weights[size_t(symbol)] != 0)
                weights[size_t(symbol)] = (weights[size_t(symbol)] + 1) / 2;
        }
    }
}

/// Canonical codes for the lengths, bit-reversed for the least-significant-bit-first stream,
/// packed as code | length << 16.
void buildCodes(const quint8 *lengths, int count, quint32 *codes)
{
    std::array<int, 16> perLength{};
    for (int symbol = 0; symbol < count; ++symbol)
        ++perLength[lengths[symbol]];
    perLength[0] = 0;
    std::array<quint32, 16> next{};
    quint32 code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + quint32(perLength[size_t(bits - 1)])) << 1;
        next[size_t(bits)] = code;
    }
    for (int symbol = 0; symbol < count; ++symbol) {
        const int bits = lengths[symbol];
        quint32 reversed = 0;
        if (bits != 0) {
            const quint32 canonical = next[size_t(bits)]++;
            for (int bit = 0; bit < bits; ++bit)
                reversed |= ((canonical >> bit) & 1u) << (bits - 1 - bit);
        }
        codes[symbol] = reversed | quint32(bits) << 16;
    }
}

/// Least-significant-bit-first output through a 64-bit buffer. Callers put at most 56 bits
/// between flushes; a flush writes eight bytes, so the output keeps eight bytes of slack.
struct BitWriter
{
    uchar *out = nullptr;
    quint64 buffer = 0;
    unsigned count = 0;

    void put(quint64 bits, unsigned length)
    {
        buffer |= bits << count;
        count += length;
    }
    void put(quint32 packedCode) { put(packedCode & 0xffffu, packedCode >> 16); }
    void flush()
    {
        std::memcpy(out, &buffer, 8);
        out += count >> 3;
        buffer >>= count & ~7u;
        count &= 7;
    }
    void alignToByte()
    {
        flush();
        if (count != 0) {
            count = 8;
            flush();
        }
    }
};

struct Sequence
{
    quint32 literals = 0; // literal bytes before the match
    quint16 length = 0;   // 0 for the band's last run of literals
    quint16 candidate = 0;
};

/// Distances searched, the pixel before and the row above: what repeats in filtered icon rows.
struct Candidates
{
    std::array<size_t, 2> distance{};
    std::array<DistanceSymbol, 2> symbol{};
    int count = 0;
};

struct BandCode
{
    std::array<quint32, literalLengthSymbols> literalLength{};
    std::array<quint32, distanceSymbols> distance{};
};

/// The work buffers of the calling thread, kept from icon to icon.
struct Scratch
{
    std::vector<uchar> band;    // the history the band may refer back to, then the band's filtered rows
    std::vector<quint32> rows[2]; // this row and the one above, unfiltered
    std::vector<Sequence> sequences;
    std::unique_ptr<uchar[]> output; // not zeroed: only the pages a file reaches are ever touched
    size_t outputCapacity = 0;
};

/// One row as straight RGBA bytes (little-endian words), with Qt's rounding where alpha is partial.
void toStraightRgba(const QRgb *pixels, int width, quint32 *out)
{
    for (int x = 0; x < width; ++x) {
        QRgb pixel = pixels[x];
        const uint alpha = pixel >> 24;
        if (alpha != 255 && alpha != 0) [[unlikely]]
            pixel = qUnpremultiply(pixel);
        // Memory order B G R A becomes R G B A: swap the red and blue bytes.
        out[x] = (pixel & 0xff00ff00u) | ((pixel >> 16) & 0xffu) | ((pixel & 0xffu) << 16);
    }
}

/// One row of pixels as straight RGBA in `current`, and "Up"-filtered against the row `above`.
void filterUp(const QRgb *pixels, int width, const quint32 *above, quint32 *current, uchar *out)
{
    int x = 0;
#if defined(__SSE2__)
    // Four pixels at a time where alpha is all or nothing, which is almost everywhere in an icon.
    const __m128i alphaBits = _mm_set1_epi32(int(0xff000000u));
    const __m128i greenAlpha = _mm_set1_epi32(int(0xff00ff00u));
    const __m128i low = _mm_set1_epi32(0xff);
    const __m128i third = _mm_set1_epi32(0xff0000);
    for (; x + 4 <= width; x += 4) {
        __m128i pixel = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + x));
        const __m128i alpha = _mm_and_si128(pixel, alphaBits);
        const __m128i whole = _mm_or_si128(_mm_cmpeq_epi32(alpha, alphaBits), _mm_cmpeq_epi32(alpha, _mm_setzero_si128()));
        if (_mm_movemask_ps(_mm_castsi128_ps(whole)) == 0xf) {
            pixel = _mm_or_si128(_mm_and_si128(pixel, greenAlpha),
                                 _mm_or_si128(_mm_and_si128(_mm_srli_epi32(pixel, 16), low),
                                              _mm_and_si128(_mm_slli_epi32(pixel, 16), third)));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(current + x), pixel);
        } else {
            toStraightRgba(pixels + x, 4, current + x);
            pixel = _mm_loadu_si128(reinterpret_cast<const __m128i *>(current + x));
        }
        const __m128i difference = _mm_sub_epi8(pixel, _mm_loadu_si128(reinterpret_cast<const __m128i *>(above + x)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 4 * size_t(x)), difference);
    }
#endif
    toStraightRgba(pixels + x, width - x, current + x);
    const auto *bytes = reinterpret_cast<const uchar *>(current);
    const auto *aboveBytes = reinterpret_cast<const uchar *>(above);
    for (size_t i = 4 * size_t(x); i < 4 * size_t(width); ++i)
        out[i] = uchar(bytes[i] - aboveBytes[i]);
}

[[gnu::always_inline]] inline size_t matchLength(const uchar *here, const uchar *earlier, size_t limit)
{
    size_t length = 0;
    while (length + 8 <= limit) {
        const quint64 difference = load64(here + length) ^ load64(earlier + length);
        if (difference != 0)
            return length + size_t(std::countr_zero(difference) / 8);
        length += 8;
    }
    while (length < limit && here[length] == earlier[length])
        ++length;
    return length;
}

/// Deflate of one band of filtered rows, which starts `start` bytes into `data` (the bytes before
/// it are earlier rows, there to refer back to).
class BandEncoder
{
public:
    BandEncoder(const uchar *data, size_t start, size_t end, size_t stride, const Candidates &candidates,
                std::vector<Sequence> &sequences)
        : m_data(data), m_start(start), m_end(end), m_stride(stride), m_candidates(candidates), m_sequences(sequences)
    {
    }

    void search();
    void write(BitWriter &writer, bool last);

private:
    /// Four tables, so that a run of one byte value does not wait on its own count.
    void countLiterals(size_t from, size_t to)
    {
        const uchar *data = m_data;
        size_t i = from;
        for (; i + 4 <= to; i += 4) {
            ++m_literalCounts[0][data[i]];
            ++m_literalCounts[1][data[i + 1]];
            ++m_literalCounts[2][data[i + 2]];
            ++m_literalCounts[3][data[i + 3]];
        }
        for (; i < to; ++i)
            ++m_literalCounts[0][data[i]];
    }
    void writeStored(BitWriter &writer, bool last) const;

    const uchar *m_data;
    size_t m_start;
    size_t m_end;
    size_t m_stride;
    const Candidates &m_candidates;
    std::vector<Sequence> &m_sequences;
    size_t m_sequenceCount = 0;
    std::array<std::array<quint32, 256>, 4> m_literalCounts{};
    std::array<quint32, literalLengthSymbols> m_literalLength{};
    std::array<quint32, distanceSymbols> m_distance{};
    quint64 m_extraBits = 0;
};

void BandEncoder::search()
{
    // Every match takes four bytes or more: room for them all, allocated once per thread.
    const size_t most = (m_end - m_start) / minMatch + 2;
    if (m_sequences.size() < most)
        m_sequences.resize(most);
    Sequence *sequence = m_sequences.data();
    const uchar *data = m_data;
    const size_t stride = m_stride;
    const size_t row = m_candidates.count > 1 ? stride : 0; // 0: rows too long to refer back to
    size_t literalStart = m_start;
    size_t rowStart = m_start;
    size_t at = m_start + 1; // past the filter type byte, at the first pixel
    for (;;) {
        const size_t rowEnd = rowStart + stride;
        if (at + 4 > rowEnd) {
            rowStart = rowEnd;
            if (rowStart >= m_end)
                break;
            at = rowStart + 1;
            continue;
        }
        const bool above = row != 0 && rowStart >= row;
#if defined(__SSE2__)
        // Most pixels repeat neither neighbour: test four at a time and stop at the first that does.
        if (above && at >= 4) {
            while (at + 16 <= rowEnd) {
                const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
                const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at - 4));
                const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at - row));
                const int repeats = _mm_movemask_ps(
                    _mm_castsi128_ps(_mm_or_si128(_mm_cmpeq_epi32(here, left), _mm_cmpeq_epi32(here, up))));
                if (repeats != 0) {
                    at += 4 * size_t(std::countr_zero(unsigned(repeats)));
                    break;
                }
                at += 16;
            }
            if (at + 4 > rowEnd)
                continue;
        }
#endif
        const quint32 here = load32(data + at);
        const size_t limit = std::min(maxMatch, m_end - at);
        size_t best = 0;
        int candidate = 0;
        if (at >= 4 && load32(data + at - 4) == here)
            best = matchLength(data + at, data + at - 4, limit);
        if (above && load32(data + at - row) == here) {
            const size_t length = matchLength(data + at, data + at - row, limit);
            if (length > best) {
                best = length;
                candidate = 1;
            }
        }
        if (best < minMatch) {
            at += 4;
            continue;
        }
        countLiterals(literalStart, at);
        *sequence++ = {quint32(at - literalStart), quint16(best), quint16(candidate)};
        const LengthSymbol &symbol = lengthSymbols[best];
        const DistanceSymbol &distance = m_candidates.symbol[size_t(candidate)];
        ++m_literalLength[symbol.symbol];
        ++m_distance[size_t(distance.symbol)];
        m_extraBits += symbol.extraBits + quint64(distance.extraBits);
        at += best;
        literalStart = at;
        if (at >= m_end)
            break;
        // Back to the start of a pixel: the bytes skipped on the way stay literals.
        while (at >= rowStart + stride)
            rowStart += stride;
        const size_t offset = at - rowStart;
        at = offset == 0 ? rowStart + 1 : rowStart + 1 + ((offset + 2) & ~size_t(3));
    }
    countLiterals(literalStart, m_end);
    *sequence++ = {quint32(m_end - literalStart), 0, 0};
    m_sequenceCount = size_t(sequence - m_sequences.data());
    for (int table = 1; table < 4; ++table) {
        for (int byte = 0; byte < 256; ++byte)
            m_literalCounts[0][size_t(byte)] += m_literalCounts[size_t(table)][size_t(byte)];
    }
    std::copy_n(m_literalCounts[0].begin(), 256, m_literalLength.begin());
    m_literalLength[endOfBlock] = 1;
}

/// The order code length code lengths are sent in.
constexpr int codeLengthOrder[codeLengthSymbols] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct CodeLengthItem
{
    quint8 symbol;
    quint8 extra;
};

/// The run-length coding of the code lengths of both alphabets, as one sequence.
int runLengths(const quint8 *lengths, int total, CodeLengthItem *items)
{
    int count = 0;
    int i = 0;
    while (i < total) {
        const quint8 value = lengths[i];
        int run = 1;
        while (i + run < total && lengths[i + run] == value)
            ++run;
        i += run;
        if (value == 0) {
            while (run >= 11) {
                const int take = std::min(run, 138);
                items[count++] = {18, quint8(take - 11)};
                run -= take;
            }
            if (run >= 3) {
                items[count++] = {17, quint8(run - 3)};
                run = 0;
            }
        } else {
            items[count++] = {value, 0};
            --run;
            while (run >= 3) {
                const int take = std::min(run, 6);
                items[count++] = {16, quint8(take - 3)};
                run -= take;
            }
        }
        while (run-- > 0)
            items[count++] = {value, 0};
    }
    return count;
}

constexpr int codeLengthExtraBits(int symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }

void BandEncoder::writeStored(BitWriter &writer, bool last) const
{
    size_t at = m_start;
    do {
        const size_t length = std::min(maxStoredBlock, m_end - at);
        const bool final = last && at + length == m_end;
        writer.put(final ? 1 : 0, 3); // block type 0: stored
        writer.alignToByte();
        const quint32 lengths = quint32(length) | quint32(~length & 0xffffu) << 16;
        std::memcpy(writer.out, &lengths, 4);
        std::memcpy(writer.out + 4, m_data + at, length);
        writer.out += 4 + length;
        at += length;
    } while (at < m_end);
}

void BandEncoder::write(BitWriter &writer, bool last)
{
    std::array<quint8, literalLengthSymbols + distanceSymbols> lengths{};
    buildLengths(m_literalLength.data(), literalLengthSymbols, maxCodeBits, lengths.data());
    buildLengths(m_distance.data(), distanceSymbols, maxCodeBits, lengths.data() + literalLengthSymbols);
    int literalLengthCount = literalLengthSymbols;
    while (literalLengthCount > 257 && lengths[size_t(literalLengthCount - 1)] == 0)
        --literalLengthCount;
    int distanceCount = distanceSymbols;
    while (distanceCount > 1 && lengths[size_t(literalLengthSymbols + distanceCount - 1)] == 0)
        --distanceCount;

    // Both alphabets' lengths as one sequence, then their run-length coding and its own code.
    std::array<quint8, literalLengthSymbols + distanceSymbols> sequence{};
    std::copy_n(lengths.begin(), literalLengthCount, sequence.begin());
    std::copy_n(lengths.begin() + literalLengthSymbols, distanceCount, sequence.begin() + literalLengthCount);
    std::array<CodeLengthItem, literalLengthSymbols + distanceSymbols> items{};
    const int itemCount = runLengths(sequence.data(), literalLengthCount + distanceCount, items.data());
    std::array<quint32, codeLengthSymbols> itemFrequencies{};
    for (int i = 0; i < itemCount; ++i)
        ++itemFrequencies[items[size_t(i)].symbol];
    std::array<quint8, codeLengthSymbols> codeLengthLengths{};
    buildLengths(itemFrequencies.data(), codeLengthSymbols, maxCodeLengthBits, codeLengthLengths.data());
    int codeLengthCount = codeLengthSymbols;
    while (codeLengthCount > 4 && codeLengthLengths[size_t(codeLengthOrder[codeLengthCount - 1])] == 0)
        --codeLengthCount;

    // Stored instead when coding would not shrink the band (noise does that).
    quint64 bits = 3 + 5 + 5 + 4 + 3 * quint64(codeLengthCount) + m_extraBits;
    for (int i = 0; i < itemCount; ++i)
        bits += codeLengthLengths[items[size_t(i)].symbol] + quint64(codeLengthExtraBits(items[size_t(i)].symbol));
    for (int symbol = 0; symbol < literalLengthSymbols; ++symbol)
        bits += quint64(m_literalLength[size_t(symbol)]) * lengths[size_t(symbol)];
    for (int symbol = 0; symbol < distanceSymbols; ++symbol)
        bits += quint64(m_distance[size_t(symbol)]) * lengths[size_t(literalLengthSymbols + symbol)];
    const size_t bytes = m_end - m_start;
    const quint64 storedBits = 8 * (bytes + 5 * ((bytes + maxStoredBlock - 1) / maxStoredBlock) + 1);
    if (bits >= storedBits) {
        writeStored(writer, last);
        return;
    }

    writer.put(last ? 1 : 0, 1);
    writer.put(2, 2); // block type 2: dynamic codes
    writer.put(quint64(literalLengthCount - 257), 5);
    writer.put(quint64(distanceCount - 1), 5);
    writer.put(quint64(codeLengthCount - 4), 4);
    writer.flush();
    for (int i = 0; i < codeLengthCount; ++i) {
        writer.put(codeLengthLengths[size_t(codeLengthOrder[i])], 3);
        writer.flush();
    }
    std::array<quint32, codeLengthSymbols> codeLengthCodes{};
    buildCodes(codeLengthLengths.data(), codeLengthSymbols, codeLengthCodes.data());
    for (int i = 0; i < itemCount; ++i) {
        const CodeLengthItem item = items[size_t(i)];
        writer.put(codeLengthCodes[item.symbol]);
        writer.put(item.extra, unsigned(codeLengthExtraBits(item.symbol)));
        writer.flush();
    }

    BandCode code;
    buildCodes(lengths.data(), literalLengthSymbols, code.literalLength.data());
    buildCodes(lengths.data() + literalLengthSymbols, distanceSymbols, code.distance.data());
    std::array<quint32, 2> distanceCodes{};
    std::array<quint32, 2> distanceExtra{};
    for (int c = 0; c < m_candidates.count; ++c) {
        const DistanceSymbol &symbol = m_candidates.symbol[size_t(c)];
        distanceCodes[size_t(c)] = code.distance[size_t(symbol.symbol)];
        distanceExtra[size_t(c)] = quint32(symbol.extra) | quint32(symbol.extraBits) << 16;
    }

    // Local copies keep the bit buffer in registers through the loop.
    BitWriter out = writer;
    const quint32 *literal = code.literalLength.data();
    const uchar *next = m_data + m_start;
    for (const Sequence &sequence : std::span(m_sequences.data(), m_sequenceCount)) {
        quint32 literals = sequence.literals;
        while (literals >= 4) {
            out.put(literal[next[0]]);
            out.put(literal[next[1]]);
            out.put(literal[next[2]]);
            out.put(literal[next[3]]);
            out.flush();
            next += 4;
            literals -= 4;
        }
        while (literals-- > 0) {
            out.put(literal[*next++]);
            out.flush();
        }
        if (sequence.length == 0)
            continue;
        const LengthSymbol &length = lengthSymbols[sequence.length];
        out.put(literal[length.symbol]);
        out.put(length.extra, length.extraBits);
        out.put(distanceCodes[sequence.candidate]);
        out.put(distanceExtra[sequence.candidate]);
        out.flush();
        next += sequence.length;
    }
    out.put(literal[endOfBlock]);
    out.flush();
    writer = out;
}

} // namespace

QByteArray encode(const QImage &image)
{
    if (image.isNull())
        return QByteArray();
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32_Premultiplied); // shared when it is already
    if (argb.isNull())
        return QByteArray(); // no memory for the conversion
    const int width = argb.width();
    const int height = argb.height();
    const size_t stride = size_t(width) * 4 + 1;
    const size_t total = stride * size_t(height);

    Candidates candidates;
    candidates.distance[size_t(candidates.count++)] = 4;
    if (stride <= maxDistance)
        candidates.distance[size_t(candidates.count++)] = stride;
    for (int c = 0; c < candidates.count; ++c)
        candidates.symbol[size_t(c)] = distanceSymbol(candidates.distance[size_t(c)]);
    const size_t history = candidates.distance[size_t(candidates.count - 1)];
    const int bandRows = int(std::clamp<size_t>(bandBytes / stride, 1, size_t(height)));

    thread_local Scratch scratch;
    const size_t bandCapacity = history + stride * size_t(bandRows);
    scratch.band.resize(bandCapacity);
    scratch.rows[0].assign(size_t(width), 0); // the row above the first counts as zeros
    scratch.rows[1].resize(size_t(width));
    // Bands are coded or stored, whichever is smaller, so a band never takes more than its stored
    // form; the rest is the headers, the zlib wrapper and the writer's slack.
    const size_t bands = (size_t(height) + size_t(bandRows) - 1) / size_t(bandRows);
    const size_t deflateBound = total + 5 * (total / maxStoredBlock + 2 * bands) + 16;
    constexpr size_t headerBytes = 8 + 25 + 8 + 2; // signature, IHDR, IDAT's length and type, zlib header
    const size_t outputBound = headerBytes + deflateBound + 4 + 4 + 12 + 8;
    std::unique_ptr<uchar[]> large; // for an image far beyond an icon: not kept for the next one
    if (outputBound > maxKeptOutput) {
        large.reset(new uchar[outputBound]);
    } else if (scratch.outputCapacity < outputBound) {
        scratch.output.reset(new uchar[outputBound]);
        scratch.outputCapacity = outputBound;
    }

    uchar *png = large ? large.get() : scratch.output.get();
    std::memcpy(png, "\x89PNG\r\n\x1a\n", 8);
    putBigEndian(png + 8, 13);
    std::memcpy(png + 12, "IHDR", 4);
    putBigEndian(png + 16, quint32(width));
    putBigEndian(png + 20, quint32(height));
    png[24] = 8; // bits per channel
    png[25] = 6; // RGBA
    png[26] = 0; // deflate
    png[27] = 0; // the five row filters
    png[28] = 0; // not interlaced
    putBigEndian(png + 29, quint32(libdeflate_crc32(0, png + 12, 17)));
    uchar *idat = png + 33;
    std::memcpy(idat + 4, "IDAT", 4);
    idat[8] = 0x78; // deflate with a 32 KiB window
    idat[9] = 0x01; // fastest compression, and the header's check bits

    BitWriter writer;
    writer.out = idat + 10;
    quint32 adler = 1;
    size_t kept = 0; // bytes of earlier rows at the front of the band buffer
    for (int firstRow = 0; firstRow < height; firstRow += bandRows) {
        const int rows = std::min(bandRows, height - firstRow);
        uchar *filtered = scratch.band.data() + kept;
        for (int row = 0; row < rows; ++row) {
            const int y = firstRow + row;
            const quint32 *above = scratch.rows[y % 2].data();
            quint32 *current = scratch.rows[(y + 1) % 2].data();
            uchar *out = filtered + stride * size_t(row);
            out[0] = 2; // "Up": this byte minus the one above
            filterUp(reinterpret_cast<const QRgb *>(argb.constScanLine(y)), width, above, current, out + 1);
        }
        const size_t bandLength = stride * size_t(rows);
        adler = quint32(libdeflate_adler32(adler, filtered, bandLength));
        BandEncoder band(scratch.band.data(), kept, kept + bandLength, stride, candidates, scratch.sequences);
        band.search();
        band.write(writer, firstRow + rows == height);
        // Keep the end of this band for the next one to refer back to.
        const size_t end = kept + bandLength;
        kept = std::min(history, end);
        std::memmove(scratch.band.data(), scratch.band.data() + end - kept, kept);
    }
    writer.alignToByte();
    putBigEndian(writer.out, adler);
    uchar *idatEnd = writer.out + 4;
    const auto idatLength = quint32(idatEnd - (idat + 8));
    putBigEndian(idat, idatLength);
    putBigEndian(idatEnd, quint32(libdeflate_crc32(0, idat + 4, size_t(idatLength) + 4)));
    uchar *iend = idatEnd + 4;
    putBigEndian(iend, 0);
    std::memcpy(iend + 4, "IEND", 4);
    putBigEndian(iend + 8, quint32(libdeflate_crc32(0, iend + 4, 4)));

    const auto size = qsizetype(iend + 12 - png);
    QByteArray result(size, Qt::Uninitialized);
    std::memcpy(result.data(), png, size_t(size));
    return result;
}

} // namespace PngEncoder
