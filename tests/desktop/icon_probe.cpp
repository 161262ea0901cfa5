// tavrune_icon_probe apply FOLDER PNG | reset FOLDER
// Exit status 0 when applying or resetting succeeded, 1 when it failed, 2 on bad arguments.
#include "desktop/folder_icon_service.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QUrl>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("apply")) {
        QFile file(args[3]);
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray png = file.readAll();
        const IconImage icon(QImage::fromData(png, "PNG"), png);
        return FolderIconService::applyIcon(icon, QUrl::fromLocalFile(args[2])) ? 0 : 1;
    }
    if (args.size() == 3 && args[1] == QLatin1String("reset")) {
        return FolderIconService::resetIcon(QUrl::fromLocalFile(args[2])) ? 0 : 1;
    }
    return 2;
}
