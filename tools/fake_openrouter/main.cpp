// Serves the OpenRouter endpoints Tavrune uses on 127.0.0.1 and draws a picture for every prompt:
// colours and shapes seeded by a hash of the prompt, so each folder gets its own recognisable icon.
#include "fake_open_router.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QtEndian>

#include <cstdio>

namespace {

QImage drawPicture(const QString &prompt)
{
    const QByteArray digest = QCryptographicHash::hash(prompt.toUtf8(), QCryptographicHash::Sha256);
    QRandomGenerator random(qFromLittleEndian<quint32>(digest.constData()));
    const int hue = random.bounded(360);

    QImage image(1024, 1024, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient background(0, 0, 1024, 1024);
    background.setColorAt(0, QColor::fromHsv(hue, 150, 245));
    background.setColorAt(1, QColor::fromHsv((hue + 40 + random.bounded(80)) % 360, 200, 170));
    painter.fillRect(image.rect(), background);

    const int shapes = 3 + random.bounded(5);
    for (int i = 0; i < shapes; ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromHsv((hue + 150 + random.bounded(120)) % 360, 120 + random.bounded(120),
                                         200 + random.bounded(56), 150 + random.bounded(100)));
        const QPointF centre(150 + random.bounded(724), 150 + random.bounded(724));
        const qreal size = 80 + random.bounded(260);
        switch (random.bounded(3)) {
        case 0:
            painter.drawEllipse(centre, size, size);
            break;
        case 1:
            painter.drawRoundedRect(QRectF(centre.x() - size, centre.y() - size, 2 * size, 2 * size), size / 4,
                                    size / 4);
            break;
        default: {
            QPainterPath triangle;
            triangle.moveTo(centre.x(), centre.y() - size);
            triangle.lineTo(centre.x() + size, centre.y() + size);
            triangle.lineTo(centre.x() - size, centre.y() + size);
            triangle.closeSubpath();
            painter.drawPath(triangle);
        }
        }
    }
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A local stand-in for OpenRouter: draws one picture per prompt."));
    parser.addHelpOption();
    const QCommandLineOption delay(QStringLiteral("delay"), QStringLiteral("Answer after this many milliseconds."),
                                   QStringLiteral("ms"), QStringLiteral("1500"));
    const QCommandLineOption key(QStringLiteral("key"),
                                 QStringLiteral("The only API key accepted by the key check (default: any key)."),
                                 QStringLiteral("key"));
    const QCommandLineOption failFast(QStringLiteral("fail-fast-model"),
                                      QStringLiteral("Make the fast model answer 429, to see the fallback."));
    parser.addOptions({delay, key, failFast});
    parser.process(app);

    FakeOpenRouter server;
    const auto wait = std::chrono::milliseconds(parser.value(delay).toInt());
    server.setValidKey(parser.value(key));
    const bool failFastModel = parser.isSet(failFast);
    server.setGenerator([wait, failFastModel](const QString &model, const QString &prompt) {
        if (failFastModel && model == QLatin1String("google/gemini-2.5-flash-image"))
            return FakeReply::apiError(429, QStringLiteral("Rate limit exceeded (fake)")).after(wait);
        return FakeReply::image(drawPicture(prompt)).after(wait);
    });

    std::printf("Fake OpenRouter listening on %s\n", qPrintable(server.baseUrl()));
    std::printf("Run the app against it:  TAVRUNE_OPENROUTER_URL=%s scripts/run\n", qPrintable(server.baseUrl()));
    std::printf("Press Ctrl+C to stop.\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
