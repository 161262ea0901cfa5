#include "shell/main_window.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("tavrune"));
    QApplication::setApplicationName(QStringLiteral("tavrune"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tavrune"));

    MainWindow window;
    window.show();
    return QApplication::exec();
}
