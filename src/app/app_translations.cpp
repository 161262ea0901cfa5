#include "app_translations.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace AppTranslations {

namespace {

const QString Prefix = QStringLiteral("tavrune_");

bool isSourceLanguage(const QString &uiLanguage)
{
    const QLocale::Language language = QLocale(uiLanguage).language();
    return language == QLocale::English || language == QLocale::C;
}

} // namespace

QString install(const QLocale &locale, const QString &directory)
{
    for (const QString &uiLanguage : locale.uiLanguages()) {
        if (isSourceLanguage(uiLanguage))
            return QString();
        // "de-DE" → tavrune_de_DE.qm, else tavrune_de.qm (QTranslator drops the suffixes one by one).
        const QString name = QString(uiLanguage).replace(u'-', u'_');
        auto ours = std::make_unique<QTranslator>(QCoreApplication::instance());
        if (!ours->load(Prefix + name, directory) || ours->isEmpty())
            continue;
        const QString language = QFileInfo(ours->filePath()).completeBaseName().mid(Prefix.size());
        QCoreApplication::installTranslator(ours.release());

        // Qt's own texts (the file dialog, message box buttons); Debian ships them in
        // qt6-translations-l10n. Without them those few texts stay English.
        auto qt = std::make_unique<QTranslator>(QCoreApplication::instance());
        if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt.release());
        return language;
    }
    return QString();
}

} // namespace AppTranslations
