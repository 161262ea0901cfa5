#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

/// Developers look at a widget by setting TAVRUNE_SCREENSHOT_DIR: the widget is saved there as NAME.png.
inline void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("TAVRUNE_SCREENSHOT_DIR");
    if (!dir.isEmpty())
        widget->grab().toImage().save(dir + u'/' + name + QStringLiteral(".png"));
}
