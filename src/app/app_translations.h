#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

/// @brief Loads Tavrune's messages and Qt's own (standard dialogs, shortcuts) in the user's language.
namespace AppTranslations {

/// Where the built-in .qm files live: qt_add_translations puts them into the binary's resources.
inline const QString BuiltInDirectory = QStringLiteral(":/i18n");

/// Installs the translators for the first of `locale`'s UI languages (on Linux: LANGUAGE, then
/// LC_ALL, LC_MESSAGES and LANG) that Tavrune has messages for, onto the running application.
/// English, the source language, stops the search: "LANGUAGE=en:de" stays English. A missing or
/// damaged file is skipped, so the texts fall back to English. Returns the language installed
/// ("de"), or an empty string when the texts stay English.
QString install(const QLocale &locale = QLocale(), const QString &directory = BuiltInDirectory);

} // namespace AppTranslations
