#pragma once

#include "imaging/icon_image.h"

#include <QByteArray>

/// @brief What the window draws of an icon, kept beside the icon's PNG so that a restored icon is
/// shown without decoding and scaling the full image again (tens of milliseconds per icon).
///
/// The file holds the icon's renditions, compressed, and the size and checksum of the PNG they were
/// made from. It is only ever a shortcut: a file that is missing, cut short, damaged, of another
/// format or made from other PNG bytes is refused as a whole, and the caller decodes the PNG instead.
namespace RenditionFile {

/// The file name beside the PNG `pngName` ("x.png" gives "x.renditions").
QString nameFor(const QString &pngName);
/// The PNG that a file called `name` by nameFor() belongs to; empty for any other name.
QString pngNameFor(const QString &name);

/// The file's content for `icon` (whose PNG it names); empty for the null icon.
QByteArray encode(const IconImage &icon);
/// The icon made of `png` and the renditions in `file`, nothing decoded or scaled; a null icon
/// unless `file` is whole, of this format, and was made from exactly these PNG bytes.
IconImage decode(const QByteArray &file, const QByteArray &png);

/// The icon whose PNG is the file at `pngPath`, from the renditions file beside it, holding the renditions
/// up to IconImage::keptRenditionSide and loading the others by loadBeside() when drawn; the PNG stays in
/// its file. A null icon unless that file is whole and was made from exactly the PNG's bytes (then the
/// caller decodes the PNG). `older` says whether the file is of an older format, worth writing again.
IconImage readBeside(const QString &pngPath, bool *older = nullptr);
/// Every rendition of the icon whose PNG is at `pngPath`: from the renditions file beside it when that
/// fits the PNG, else made anew from the PNG (slow: tens of milliseconds). Empty when the PNG cannot be
/// read. An IconImage::RenditionLoader.
QList<QImage> loadBeside(const QString &pngPath);

/// Files larger than this are not ours and are not read (an icon's file is about 0.1 MiB).
inline constexpr qint64 maxFileSize = qint64(8) * 1024 * 1024;

} // namespace RenditionFile
