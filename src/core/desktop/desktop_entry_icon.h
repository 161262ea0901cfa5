#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

/// @brief Puts an `Icon=` key into the text of a `.directory` file and takes it out again, byte for byte.
///
/// Dolphin and PCManFM-Qt read a folder's icon from `[Desktop Entry]` `Icon=` in the folder's `.directory`.
/// That file is the user's (view settings, comments, translations), so the edit is textual: only the one
/// `Icon=` line (and a `[Desktop Entry]` header when the file had none) is added or removed, and every other
/// byte stays where it was. The text is read by KConfig's rules (what both file managers use): a byte-order
/// mark, lines without '=', `[Desktop Entry]` anywhere or more than once, the last duplicate key winning and
/// `Icon[$e]=`-style options. An edit is handed back only when every other entry reads as before.
namespace DesktopEntryIcon {

/// The text with `[Desktop Entry]` `Icon=` set to iconPath (replacing every line KConfig reads as the icon
/// in place, else inserted right after the group header, else appended as a new group). Nothing when the
/// edit would change anything else or would not make KConfig read iconPath.
std::optional<QByteArray> withIcon(const QByteArray &text, const QString &iconPath);

/// The text without the `[Desktop Entry]` `Icon=` lines whose value isOurs accepts; a `[Desktop Entry]`
/// header left with nothing under it by that removal goes too. The text itself when no such line exists.
/// Nothing when the edit would change anything else.
std::optional<QByteArray> withoutIcon(const QByteArray &text, const std::function<bool(const QString &)> &isOurs);

/// The icon KConfig reads from `[Desktop Entry]` in the default locale (expanded for `[$e]`), or nothing.
std::optional<QString> icon(const QByteArray &text);

} // namespace DesktopEntryIcon
