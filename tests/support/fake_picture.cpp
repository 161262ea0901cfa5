#include "fake_picture.h"

#include <QCryptographicHash>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QtEndian>

QImage fakePicture(const QString &prompt)
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

