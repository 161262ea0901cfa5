// The work done off the UI thread for every icon, step by step, for a 1024 × 1024 generated image:
// strict Base64 decoding of the data URL, image decoding, app-icon styling and PNG encoding.
// Every figure is CPU time, so a busy machine does not inflate it much: the mean over the iterations
// and the fastest one. It is the whole process's CPU time, since Qt hands parts of large image
// operations to threads of its own; nothing else runs meanwhile. The whole pipeline is measured
// for an RGB PNG, then for RGBA ones, opaque and partly transparent. Then the alternatives the
// pipeline chose between:
// decoding with Qt's reader (libpng), libspng or libdeflate; encoding with libpng, libspng,
// libdeflate or the project's own PngEncoder. Usage: [iterations] [file to write the styled icon to]
// For instruction counts, run it under valgrind --tool=callgrind with a few iterations.
#include "imaging/icon_image.h"
#include "imaging/icon_styler.h"
#include "imaging/image_decoder.h"
#include "openrouter/open_router_protocol.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <libdeflate.h>
#include <png.h>
#include <spng.h>

#include <cstdio>
#include <ctime>
#include <cstring>
#include <functional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <memory>
#include <vector>

namespace {

/// A picture with gradients and shapes, closer to a generated icon than a flat colour.
QImage generatedLookingImage()
{
    QImage image(1024, 1024, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1024, 1024);
    gradient.setColorAt(0, QColor(40, 90, 200));
    gradient.setColorAt(1, QColor(240, 120, 60));
    painter.fillRect(image.rect(), gradient);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator random(7);
    for (int i = 0; i < 60; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 160, 230, 180));
        painter.drawEllipse(QPointF(random.bounded(1024), random.bounded(1024)), 20 + random.bounded(120),
                            20 + random.bounded(120));
    }
    return image;
}

/// The picture with squares of it made partly transparent, as an RGBA PNG would hold it.
QImage withTransparency(QImage image)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((x / 64 + y / 64) % 2)
                line[x] = (line[x] & 0xffffffu) | (quint32(128 + x % 128) << 24);
        }
    }
    return image;
}

QString dataUrlOf(const QImage &image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

qint64 cpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

struct Cpu
{
    double mean = 0;
    double fastest = 0;
};

/// Milliseconds of CPU per call of `work`, over `iterations` calls.
Cpu cpuMs(int iterations, const std::function<void()> &work)
{
    Cpu cpu{0, 1e9};
    for (int i = 0; i < iterations; ++i) {
        const qint64 start = cpuNs();
        work();
        const double ms = (cpuNs() - start) / 1e6;
        cpu.mean += ms / iterations;
        cpu.fastest = std::min(cpu.fastest, ms);
    }
    return cpu;
}

QImage decodeWithQt(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return QImageReader(&buffer, "png").read();
}

/// libspng decoding into RGBA.
QImage decodeWithLibspng(const QByteArray &bytes)
{
    spng_ctx *context = spng_ctx_new(0);
    spng_set_png_buffer(context, bytes.constData(), size_t(bytes.size()));
    spng_ihdr header{};
    QImage image;
    if (spng_get_ihdr(context, &header) == 0) {
        image = QImage(int(header.width), int(header.height), QImage::Format_RGBA8888);
        if (spng_decode_image(context, image.bits(), size_t(image.sizeInBytes()), SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0)
            image = QImage();
    }
    spng_ctx_free(context);
    return image;
}

void appendToByteArray(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<QByteArray *>(png_get_io_ptr(png))->append(reinterpret_cast<const char *>(data), qsizetype(length));
}

void flushNothing(png_structp) {}

/// The encoder the pipeline had before: libpng, zlib level 1, the "Up" filter on every row.
QByteArray encodeWithLibpng(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::vector<const uchar *> rows(size_t(rgba.height()));
    for (int y = 0; y < rgba.height(); ++y)
        rows[size_t(y)] = rgba.constScanLine(y);
    QByteArray out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return QByteArray();
    }
    png_set_write_fn(png, &out, &appendToByteArray, &flushNothing);
    png_set_IHDR(png, info, png_uint_32(rgba.width()), png_uint_32(rgba.height()), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

/// libspng with the same choices: zlib level 1 and the "Up" filter.
QByteArray encodeWithLibspng(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    spng_ctx *context = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(context, SPNG_IMG_COMPRESSION_LEVEL, 1);
    spng_set_option(context, SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_UP);
    spng_ihdr header{};
    header.width = quint32(rgba.width());
    header.height = quint32(rgba.height());
    header.bit_depth = 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    spng_set_ihdr(context, &header);
    QByteArray out;
    if (spng_encode_image(context, rgba.constBits(), size_t(rgba.sizeInBytes()), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) == 0) {
        size_t length = 0;
        int error = 0;
        void *buffer = spng_get_png_buffer(context, &length, &error);
        out = QByteArray(static_cast<const char *>(buffer), qsizetype(length));
        free(buffer);
    }
    spng_ctx_free(context);
    return out;
}

void putBigEndian(uchar *at, quint32 value)
{
    at[0] = uchar(value >> 24);
    at[1] = uchar(value >> 16);
    at[2] = uchar(value >> 8);
    at[3] = uchar(value);
}

/// Appends a chunk whose data is already at the end of `png`, after room left for length and type.
void closeChunk(QByteArray &png, qsizetype chunkStart, const char type[4])
{
    auto *bytes = reinterpret_cast<uchar *>(png.data()) + chunkStart;
    const auto dataLength = quint32(png.size() - chunkStart - 8);
    putBigEndian(bytes, dataLength);
    std::memcpy(bytes + 4, type, 4);
    uchar crc[4];
    putBigEndian(crc, quint32(libdeflate_crc32(0, bytes + 4, size_t(dataLength) + 4)));
    png.append(reinterpret_cast<const char *>(crc), 4);
}

struct CompressorDeleter
{
    void operator()(libdeflate_compressor *compressor) const { libdeflate_free_compressor(compressor); }
};

/// The encoder the pipeline had before PngEncoder: the "Up" filter on every row, libdeflate level 1.
QByteArray encodeWithLibdeflate(const QImage &image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    const int width = rgba.width();
    const int height = rgba.height();
    const size_t rowBytes = size_t(width) * 4 + 1;
    thread_local std::vector<uchar> filtered;
    thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor{libdeflate_alloc_compressor(1)};
    filtered.resize(rowBytes * size_t(height));
    const std::vector<uchar> zeros(size_t(width) * 4, 0);
    for (int y = 0; y < height; ++y) {
        const uchar *row = rgba.constScanLine(y);
        const uchar *above = y == 0 ? zeros.data() : rgba.constScanLine(y - 1);
        uchar *out = filtered.data() + rowBytes * size_t(y);
        out[0] = 2;
        for (size_t i = 0; i < size_t(width) * 4; ++i)
            out[i + 1] = uchar(row[i] - above[i]);
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered.size());
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    qsizetype chunk = png.size();
    png.append(8, '\0');
    uchar header[13] = {};
    putBigEndian(header, quint32(width));
    putBigEndian(header + 4, quint32(height));
    header[8] = 8;
    header[9] = 6;
    png.append(reinterpret_cast<const char *>(header), sizeof header);
    closeChunk(png, chunk, "IHDR");
    chunk = png.size();
    png.resize(chunk + 8 + qsizetype(bound));
    const size_t compressed = libdeflate_zlib_compress(compressor.get(), filtered.data(), filtered.size(),
                                                       png.data() + chunk + 8, bound);
    png.resize(chunk + 8 + qsizetype(compressed));
    closeChunk(png, chunk, "IDAT");
    chunk = png.size();
    png.append(8, '\0');
    closeChunk(png, chunk, "IEND");
    return png;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv); // for the image plugins only
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024); // as ImageGenerationService sets it: every large buffer mapped afresh
#endif
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 20;

    const QString reference = dataUrlOf(generatedLookingImage());
    const QByteArray png = *OpenRouterProtocol::dataUrlPayload(reference);
    const QImage decoded = ImageDecoder::decode(png);
    const qint64 plateStart = cpuNs();
    const QImage icon = IconStyler::appIconStyled(decoded); // the shared plate layer, made once per process
    const double plateMs = (cpuNs() - plateStart) / 1e6;
    IconStyler::encodePng(icon);
    if (argc > 2)
        icon.save(QString::fromLocal8Bit(argv[2])); // to look at, or to feed other tools

    const Cpu base64 = cpuMs(iterations, [&] { OpenRouterProtocol::dataUrlPayload(reference); });
    const Cpu decode = cpuMs(iterations, [&] { ImageDecoder::decode(png); });
    const Cpu style = cpuMs(iterations, [&] { IconStyler::appIconStyled(decoded); });
    const Cpu encode = cpuMs(iterations, [&] { IconStyler::encodePng(icon); });
    const QByteArray encoded = IconStyler::encodePng(icon);
    const Cpu renditions = cpuMs(iterations, [&] { IconImage(icon, encoded); });
    const auto wholePipeline = [&](const QString &dataUrl) {
        return cpuMs(iterations, [&] {
            const QImage image = ImageDecoder::decode(*OpenRouterProtocol::dataUrlPayload(dataUrl));
            const QImage styled = IconStyler::appIconStyled(image);
            IconImage(styled, IconStyler::encodePng(styled));
        });
    };
    const Cpu whole = wholePipeline(reference);
    // Models may answer with RGBA: every pixel opaque, or with transparency to premultiply.
    const Cpu wholeOpaqueRgba = wholePipeline(dataUrlOf(generatedLookingImage().convertToFormat(QImage::Format_ARGB32)));
    const Cpu wholeTranslucent = wholePipeline(dataUrlOf(withTransparency(generatedLookingImage())));

    std::printf("input PNG %lld bytes (data URL %lld characters), %d icons\n", qint64(png.size()),
                qint64(reference.size()), iterations);
    std::printf("CPU time per icon, ms (process CPU clock)  mean   fastest\n");
    const auto line = [](const char *stage, Cpu cpu) { std::printf("  %-38s %6.2f  %6.2f\n", stage, cpu.mean, cpu.fastest); };
    line("Base64 of the data URL", base64);
    line("decode", decode);
    line("style", style);
    line("PNG encode (PngEncoder)", encode);
    line("renditions", renditions);
    line("sum of the stages", {base64.mean + decode.mean + style.mean + encode.mean + renditions.mean,
                               base64.fastest + decode.fastest + style.fastest + encode.fastest + renditions.fastest});
    line("the whole pipeline in one go", whole);
    line("  the same from RGBA, all opaque", wholeOpaqueRgba);
    line("  the same from RGBA, half translucent", wholeTranslucent);
    std::printf("  (once per process: the plate and its shadow, with the first icon: %.2f ms)\n", plateMs);

    std::printf("decoding the input PNG, ms CPU:\n");
    line("Qt's reader (libpng)", cpuMs(iterations, [&] { decodeWithQt(png); }));
    line("libspng", cpuMs(iterations, [&] { decodeWithLibspng(png); }));
    line("libdeflate, own unfiltering (in use)", decode);

    // The files the pipeline wrote before the faster writers: libpng, zlib level 1, "Up" filter.
    const qint64 before = encodeWithLibpng(icon).size();
    std::printf("encoding the styled icon, ms CPU, bytes (limit: %lld, a tenth above libpng's):\n",
                before + before / 10);
    const auto encoder = [&](const char *name, const std::function<QByteArray()> &work) {
        const Cpu cpu = cpuMs(iterations, [&] { work(); });
        const qint64 bytes = work().size();
        std::printf("  %-38s %6.2f  %6.2f  %lld bytes (%+.1f %%)\n", name, cpu.mean, cpu.fastest, bytes,
                    100.0 * double(bytes - before) / double(before));
    };
    encoder("libpng, zlib level 1", [&] { return encodeWithLibpng(icon); });
    encoder("libspng, zlib level 1", [&] { return encodeWithLibspng(icon); });
    encoder("libdeflate, level 1", [&] { return encodeWithLibdeflate(icon); });
    encoder("PngEncoder (in use)", [&] { return IconStyler::encodePng(icon); });
    return 0;
}
