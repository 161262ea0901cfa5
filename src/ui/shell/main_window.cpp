#include "shell/main_window.h"

#include <QPalette>

namespace {
constexpr QSize DefaultSize{1200, 750};
constexpr QSize MinimumSize{800, 500};
const QColor WindowBackground{0x0c, 0x0c, 0x0c};
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tavrune"));
    setMinimumSize(MinimumSize);
    resize(DefaultSize);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, WindowBackground);
    setPalette(pal);
    setAutoFillBackground(true);
}

MainWindow::~MainWindow() = default;
