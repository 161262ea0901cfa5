#pragma once

#include "models/icon_image.h"

#include <QString>
#include <QUrl>

/// @brief Writes an icon onto a folder for every Linux file manager, and takes it off again.
namespace FolderIconService {

/// True when the folder exists and at least one file-manager mechanism took the icon.
/// Writes the PNG bytes that come with the image; never encodes.
bool applyIcon(const IconImage &image, const QUrl &folderUrl);

/// True when the folder still shows an icon applyIcon wrote for it: a file manager mechanism names one of
/// our PNG files for this folder and that file exists. Reads only; cheap enough for many folders at start.
bool isIconApplied(const QUrl &folderUrl);

/// Removes what applyIcon wrote, and nothing else.
void resetIcon(const QUrl &folderUrl);

/// Where applied icons are kept as PNG files: `$XDG_DATA_HOME/com.tavrune.app/icons`.
QString iconDirectory();

} // namespace FolderIconService
