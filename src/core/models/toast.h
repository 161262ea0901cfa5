#pragma once

#include <QMetaType>
#include <QString>

/// @brief The short message shown at the bottom of the window.
struct Toast
{
    enum class Kind : quint8 { success, error, info, warning }; // warning: done, but not everywhere

    Kind kind = Kind::info;
    QString message;

    friend bool operator==(const Toast &, const Toast &) = default;
};

/// @brief How the folder list is shown.
enum class ViewMode : quint8 { grid, list };

Q_DECLARE_METATYPE(Toast)
