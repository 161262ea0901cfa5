// The work done off the UI thread for every icon, step by step, for a 1024 × 1024 generated image:
// strict Base64 decoding of the data URL, image decoding, app-icon styling and PNG encoding.
// Every figure is the CPU time of the measuring thread, so a busy machine does not inflate it.
// Then the alternatives the pipeline chose between: decoding with Qt's reader (libpng) or
// libspng or libdeflate, encoding with libpng, libspng or libdeflate. Usage: [iterations] [file to
// write the styled icon to]
#include "models/icon_image.h"
#include "services/icon_styler.h"
#include "services/image_decoder.h"
#include "services/open_router_protocol.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <png.h>
#include <spng.h>

#include <cstdio>
#include <ctime>
#include <functional>
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

qint64 threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

/// Milliseconds of CPU per call of `work`, over `iterations` calls.
double cpuMs(int iterations, const std::function<void()> &work)
{
    const qint64 start = threadCpuNs();
    for (int i = 0; i < iterations; ++i)
        work();
    return (threadCpuNs() - start) / 1e6 / iterations;
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv); // for the image plugins only
    const int iterations = argc > 1 ? std::atoi(argv[1]) : 20;

    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(generatedLookingImage());
    }
    const QString reference = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
    const QImage decoded = ImageDecoder::decode(png);
    const QImage icon = IconStyler::appIconStyled(decoded); // the shared plate layer, made once per process
    IconStyler::encodePng(icon);
    if (argc > 2)
        icon.save(QString::fromLocal8Bit(argv[2])); // to look at, or to feed other tools

    const double base64 = cpuMs(iterations, [&] { OpenRouterProtocol::dataUrlPayload(reference); });
    const double decode = cpuMs(iterations, [&] { ImageDecoder::decode(png); });
    const double style = cpuMs(iterations, [&] { IconStyler::appIconStyled(decoded); });
    const double encode = cpuMs(iterations, [&] { IconStyler::encodePng(icon); });
    const QByteArray encoded = IconStyler::encodePng(icon);
    const double renditions = cpuMs(iterations, [&] { IconImage(icon, encoded); });
    const qint64 outputBytes = IconStyler::encodePng(icon).size();

    const double whole = cpuMs(iterations, [&] {
        const QImage image = ImageDecoder::decode(*OpenRouterProtocol::dataUrlPayload(reference));
        const QImage styled = IconStyler::appIconStyled(image);
        IconImage(styled, IconStyler::encodePng(styled));
    });

    std::printf("input PNG %lld bytes (data URL %lld characters), %d icons, CPU time per icon:\n", qint64(png.size()),
                qint64(reference.size()), iterations);
    std::printf("  base64 %.2f ms, decode %.2f ms, style %.2f ms, PNG encode %.2f ms (%lld bytes), renditions %.2f ms\n",
                base64, decode, style, encode, outputBytes, renditions);
    std::printf("  the whole pipeline: %.2f ms CPU per icon\n", whole);

    std::printf("decoding the input PNG:\n");
    std::printf("  Qt's reader (libpng) %.2f ms, libspng %.2f ms, libdeflate with our own unfiltering %.2f ms "
                "(the one in use)\n",
                cpuMs(iterations, [&] { decodeWithQt(png); }), cpuMs(iterations, [&] { decodeWithLibspng(png); }),
                decode);
    std::printf("encoding the styled icon (each with the \"Up\" filter on every row):\n");
    std::printf("  libpng, zlib level 1   %.2f ms, %lld bytes\n", cpuMs(iterations, [&] { encodeWithLibpng(icon); }),
                qint64(encodeWithLibpng(icon).size()));
    std::printf("  libspng, zlib level 1  %.2f ms, %lld bytes\n", cpuMs(iterations, [&] { encodeWithLibspng(icon); }),
                qint64(encodeWithLibspng(icon).size()));
    std::printf("  libdeflate, level %d    %.2f ms, %lld bytes (the one in use)\n", IconStyler::pngCompressionLevel,
                encode, outputBytes);
    return 0;
}
