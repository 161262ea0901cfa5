#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QString>
#include <QWidget>

/// Developers look at a widget by setting TAVRUNE_SCREENSHOT_DIR: the widget is saved there as NAME.png.
inline void saveScreenshot(QWidget *widget, const QString &name)
{
    const QString dir = qEnvironmentVariable("TAVRUNE_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    // Lay out what changed since the last turn of the event loop, as the screen would show it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    widget->grab().toImage().save(dir + u'/' + name + QStringLiteral(".png"));
}
