// The work done off the UI thread for every icon, step by step, for a 1024 × 1024 generated image:
// strict Base64 decoding of the data URL, image decoding, app-icon styling and PNG encoding.
#include "services/icon_styler.h"
#include "services/image_decoder.h"
#include "services/open_router_protocol.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QCoreApplication>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <ctime>

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
    IconStyler::appIconStyled(QImage(8, 8, QImage::Format_RGB32)); // the shared plate layer, made once per process

    qint64 base64Ns = 0, decodeNs = 0, styleNs = 0, encodeNs = 0;
    qint64 outputBytes = 0;
    QElapsedTimer total;
    total.start();
    const qint64 cpuStart = threadCpuNs();
    for (int i = 0; i < iterations; ++i) {
        QElapsedTimer step;
        step.start();
        const QByteArray bytes = *OpenRouterProtocol::dataUrlPayload(reference);
        base64Ns += step.nsecsElapsed();
        step.restart();
        const QImage image = ImageDecoder::decode(bytes);
        decodeNs += step.nsecsElapsed();
        step.restart();
        const QImage icon = IconStyler::appIconStyled(image);
        styleNs += step.nsecsElapsed();
        step.restart();
        outputBytes = IconStyler::encodePng(icon).size();
        encodeNs += step.nsecsElapsed();
    }
    const double perIcon = total.nsecsElapsed() / 1e6 / iterations;
    const double cpuPerIcon = (threadCpuNs() - cpuStart) / 1e6 / iterations;
    std::printf("input PNG %lld bytes (data URL %lld characters), %d icons\n", qint64(png.size()),
                qint64(reference.size()), iterations);
    std::printf("base64 %.2f ms, decode %.2f ms, style %.2f ms, PNG encode %.2f ms (level %d, %lld bytes)\n",
                base64Ns / 1e6 / iterations, decodeNs / 1e6 / iterations, styleNs / 1e6 / iterations,
                encodeNs / 1e6 / iterations, IconStyler::pngCompressionLevel, outputBytes);
    std::printf("per icon: %.2f ms wall, %.2f ms CPU (the wall time includes waiting for a busy machine)\n",
                perIcon, cpuPerIcon);
    return 0;
}
