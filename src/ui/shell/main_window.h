#pragma once

#include <QMainWindow>

/// @brief The application's one window; the areas of the window are laid into it.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;
};
