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
/// byte stays where it was. GKeyFile parses the text before and after each edit; an edit is handed back only
/// when GKeyFile reads the same groups, keys and values as before apart from that one key, and a file that
/// GKeyFile cannot read is never edited.
namespace DesktopEntryIcon {

/// The text with `[Desktop Entry]` `Icon=` set to iconPath (replacing any earlier value in place, else
/// inserted right after the group header, else appended as a new group). Nothing when the text is not a
/// key file or the edit would change anything else.
std::optional<QByteArray> withIcon(const QByteArray &text, const QString &iconPath);

/// The text without the `[Desktop Entry]` `Icon=` lines whose value isOurs accepts; a `[Desktop Entry]`
/// header left with nothing under it by that removal goes too. The text itself when no such line exists.
/// Nothing when the text is not a key file or the edit would change anything else.
std::optional<QByteArray> withoutIcon(const QByteArray &text, const std::function<bool(const QString &)> &isOurs);

/// The value of `[Desktop Entry]` `Icon=` as GKeyFile reads it, or nothing.
std::optional<QString> icon(const QByteArray &text);

} // namespace DesktopEntryIcon
