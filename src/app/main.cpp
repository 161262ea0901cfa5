#include "shell/tavrune_app.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tavrune"));
    QApplication::setApplicationName(QStringLiteral("tavrune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrune"));

    TavruneApp tavrune;
    tavrune.show();
    return QApplication::exec();
}
