#pragma once

#include "imaging/icon_image.h"

#include <QString>
#include <QUrl>

/// @brief Writes an icon onto a folder for every Linux file manager, and takes it off again.
namespace FolderIconService {

/// @brief Which file-manager mechanisms took an applied icon, and why one did not.
struct ApplyResult
{
    enum class Refusal : quint8 {
        none,           ///< taken
        failed,         ///< nothing was tried: no folder, no PNG bytes, or the icon file could not be saved
        unavailable,    ///< no gvfs metadata (no session bus or no gvfs)
        refused,        ///< the write itself failed
        readOnlyFile,   ///< `.directory` has no write permission
        otherOwner,     ///< `.directory` belongs to another user
        readOnlyFolder, ///< `.directory` would have to be created in a folder we may not write
        notAFile,       ///< `.directory` is a link, a directory or another special file
        unreadable,     ///< `.directory` cannot be read (or is far too large to be one)
        notEditable,    ///< the edit would change more than the icon
    };

    Refusal metadata = Refusal::failed;      ///< GNOME Files, Nemo, Caja, Thunar ≥ 4.21
    Refusal directoryFile = Refusal::failed; ///< Dolphin, PCManFM-Qt

    bool metadataTaken() const { return metadata == Refusal::none; }
    bool directoryFileTaken() const { return directoryFile == Refusal::none; }
    /// At least one mechanism took the icon.
    bool applied() const { return metadataTaken() || directoryFileTaken(); }
    /// Applied, but some file managers will not show it.
    bool partial() const { return applied() && !(metadataTaken() && directoryFileTaken()); }
    explicit operator bool() const { return applied(); }

    /// For a partial apply, which file managers will not show the icon and why ("Applied, but Dolphin and
    /// PCManFM-Qt will not show it: “.directory” is read-only"); empty otherwise.
    QString warning() const;
};

/// Applies the icon through every mechanism it can; applied() when the folder exists and at least one
/// took it. A folder reached through a symbolic link gets the GIO metadata on the link as well.
/// Writes the PNG bytes that come with the image; never encodes.
ApplyResult applyIcon(const IconImage &image, const QUrl &folderUrl);

/// Gives the folder back what it held before the first applyIcon, wherever our icon is still in place
/// (a value the user set since stays), and announces the change like applyIcon. False when something of
/// ours still refers to the folder's icon file (for instance a read-only `.directory`, or GIO metadata
/// with no session bus): that file is then kept, so nothing is left naming a deleted icon. A folder that
/// was deleted loses its GIO metadata too, so a folder made again under its name does not inherit it.
bool resetIcon(const QUrl &folderUrl);

/// Follows a folder renamed from `fromUrl` to `toUrl` (it is at the new path now): what it held before
/// our first icon is kept for the new path, so that resetIcon() there still gives it back exactly; the
/// icon it shows is applied again where the rename did not take it along (GIO metadata is kept by path),
/// under an icon file named for the new path; and the old path keeps nothing of ours. True when nothing
/// of ours was applied, or the icon is still applied after the rename.
bool followRename(const QUrl &fromUrl, const QUrl &toUrl);

/// True when a file-manager mechanism of the folder (or of the link it is reached through) still names
/// one of its icon files of ours and that file exists. Only reads, and may run on any thread.
bool isIconApplied(const QUrl &folderUrl);

/// Where applied icons are kept as PNG files: `$XDG_DATA_HOME/com.tavrune.app/icons`.
QString iconDirectory();

} // namespace FolderIconService
