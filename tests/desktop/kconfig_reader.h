#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

/// @brief What KDE's KConfig reads as a folder's icon from the text of its `.directory`, in the C locale.
///
/// KConfig is not installed here, so this is a small reader of our own, written from KConfig's parsing rules
/// and kept apart from the code under test.
namespace KConfigReader {

std::optional<QString> directoryIcon(const QByteArray &text);

} // namespace KConfigReader
