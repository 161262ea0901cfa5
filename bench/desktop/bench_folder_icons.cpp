// Applies icons to 100 folders one after another on the calling thread, as a batch apply does, and
// prints the total and the longest single apply. Run it through the isolated environment:
//   tests/support/run-isolated.sh build/bench/folder_icons/bench_folder_icons
#include "desktop/folder_icon_service.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kFolders = 100;

// Close to a generated icon: a 1024 × 1024 plate with a busy picture, so the PNG has a realistic size.
IconImage makeIcon(quint32 seed)
{
    QImage image(1024, 1024, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(100, 100, 824, 824), 185, 185);
    painter.setClipPath(plate);
    QLinearGradient gradient(0, 0, 1024, 1024);
    gradient.setColorAt(0, QColor::fromHsv(int(seed % 360), 180, 240));
    gradient.setColorAt(1, QColor::fromHsv(int((seed * 7) % 360), 200, 120));
    painter.fillRect(image.rect(), gradient);
    QRandomGenerator random(seed);
    for (int i = 0; i < 4000; ++i) {
        painter.setPen(QColor::fromRgb(random.generate() | 0xff000000));
        painter.drawEllipse(QPointF(random.bounded(1024), random.bounded(1024)), random.bounded(2, 12),
                            random.bounded(2, 12));
    }
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return IconImage(image, png);
}

struct Round
{
    double totalMs = 0;
    double longestMs = 0;
    double medianMs = 0;
    int failures = 0;
};

Round timeEach(const QStringList &folders, const std::function<bool(const QString &)> &operation)
{
    Round round;
    QList<double> times;
    QElapsedTimer total;
    total.start();
    for (const QString &folder : folders) {
        QElapsedTimer one;
        one.start();
        if (!operation(folder))
            ++round.failures;
        times.append(double(one.nsecsElapsed()) / 1e6);
    }
    round.totalMs = double(total.nsecsElapsed()) / 1e6;
    std::sort(times.begin(), times.end());
    round.longestMs = times.last();
    round.medianMs = times[times.size() / 2];
    return round;
}

void print(const char *what, const Round &round)
{
    std::printf("%-46s total %8.1f ms   longest %7.1f ms   median %6.2f ms   failures %d\n", what, round.totalMs,
                round.longestMs, round.medianMs, round.failures);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    QStringList folders;
    for (int i = 0; i < kFolders; ++i) {
        const QString folder = root.filePath(QStringLiteral("Desktop/Folder %1").arg(i, 3, 10, QLatin1Char('0')));
        QDir().mkpath(folder);
        // A third of them already carry the user's Dolphin settings.
        if (i % 3 == 0) {
            QFile file(folder + QStringLiteral("/.directory"));
            if (file.open(QIODevice::WriteOnly))
                file.write("[Dolphin]\nTimestamp=2024,5,1,10,0,0.0\nVersion=4\nViewMode=1\n\n[Settings]\nHiddenFilesShown=true\n");
        }
        folders.append(folder);
    }

    QList<IconImage> first;
    QList<IconImage> second;
    for (int i = 0; i < kFolders; ++i) {
        first.append(makeIcon(quint32(i + 1)));
        second.append(makeIcon(quint32(i + 1001)));
    }
    std::printf("PNG size: %.0f KiB per icon\n", double(first.first().png().size()) / 1024.0);

    int index = 0;
    const auto applyFrom = [&](const QList<IconImage> &icons) {
        index = 0;
        return [&icons, &index](const QString &folder) {
            return FolderIconService::applyIcon(icons[index++], QUrl::fromLocalFile(folder)).applied();
        };
    };
    print("apply, 100 new folders (first starts gvfs)", timeEach(folders, applyFrom(first)));
    print("apply, 100 folders replacing their icon", timeEach(folders, applyFrom(second)));
    print("isIconApplied, 100 folders", timeEach(folders, [](const QString &folder) {
              return FolderIconService::isIconApplied(QUrl::fromLocalFile(folder));
          }));
    print("reset, 100 folders", timeEach(folders, [](const QString &folder) {
              return FolderIconService::resetIcon(QUrl::fromLocalFile(folder));
          }));
    return 0;
}
