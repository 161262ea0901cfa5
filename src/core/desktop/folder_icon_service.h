#pragma once

#include "imaging/icon_image.h"

#include <QString>
#include <QUrl>

/// @brief Writes an icon onto a folder for every Linux file manager, and takes it off again.
namespace FolderIconService {

/// True when the folder exists and at least one file-manager mechanism took the icon.
/// Writes the PNG bytes that come with the image; never encodes.
bool applyIcon(const IconImage &image, const QUrl &folderUrl);

/// Gives the folder back what it held before the first applyIcon, wherever our icon is still in place
/// (a value the user set since stays), and announces the change like applyIcon. False when something of
/// ours still refers to the folder's icon file (for instance a read-only `.directory`, or GIO metadata
/// with no session bus): that file is then kept, so nothing is left naming a deleted icon.
bool resetIcon(const QUrl &folderUrl);

/// True when a file-manager mechanism of the folder still names one of its icon files of ours and that
/// file exists. Only reads, and may run on any thread.
bool isIconApplied(const QUrl &folderUrl);

/// Where applied icons are kept as PNG files: `$XDG_DATA_HOME/com.tavrune.app/icons`.
QString iconDirectory();

} // namespace FolderIconService
