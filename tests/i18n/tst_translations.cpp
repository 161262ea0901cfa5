#include "app_translations.h"
#include "content/prompt_builder.h"
#include "onboarding/onboarding_sheet.h"
#include "shell/main_window.h"
#include "state/app_state.h"

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

class TestTranslations final : public QObject
{
    Q_OBJECT

private:
    static QString translate(const char *context, const char *text, int n = -1)
    {
        return QCoreApplication::translate(context, text, nullptr, n);
    }

    // Runs the tavrune binary with only the language settings given, nothing on standard input.
    static bool runTavrune(QProcess &tavrune, const QStringList &environment, const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
            env.remove(QString::fromLatin1(name));
        for (const QString &setting : environment)
            env.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        tavrune.setProcessEnvironment(env);
        tavrune.start(QStringLiteral(TAVRUNE_BINARY), arguments);
        if (!tavrune.waitForStarted())
            return false;
        tavrune.closeWriteChannel();
        return tavrune.waitForFinished(30000);
    }

    static QStringList visibleTexts(const QWidget &root)
    {
        QStringList texts;
        for (const QLabel *label : root.findChildren<QLabel *>())
            texts.append(label->text());
        for (const QAbstractButton *button : root.findChildren<QAbstractButton *>())
            texts.append(button->text());
        return texts;
    }

private Q_SLOTS:
    void cleanup()
    {
        // Deleting a translator takes it off the application.
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>());
    }

    void everyTextInTheSourcesIsTranslated()
    {
        const QDir committed(QStringLiteral(TAVRUNE_SOURCE_DIR "/translations"));
        const QStringList files = committed.entryList({QStringLiteral("tavrune_*.ts")}, QDir::Files);
        QVERIFY(files.contains(QStringLiteral("tavrune_de.ts")));
        QTemporaryDir copies;
        for (const QString &file : files)
            QVERIFY(QFile::copy(committed.filePath(file), QDir(copies.path()).filePath(file)));

        // The same command a developer runs, on the copies.
        QProcess update;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVRUNE_TRANSLATIONS_DIR"), copies.path());
        environment.insert(QStringLiteral("LUPDATE"), QStringLiteral(TAVRUNE_LUPDATE));
        update.setProcessEnvironment(environment);
        update.start(QStringLiteral(TAVRUNE_SOURCE_DIR "/scripts/update-translations"), {});
        QVERIFY(update.waitForFinished(60000));
        QVERIFY2(update.exitCode() == 0, update.readAllStandardError().constData());

        const QByteArray howToFix = "run scripts/update-translations, then translate what it marks unfinished "
                                    "(linguist translations/tavrune_de.ts) and commit the .ts";
        for (const QString &file : files) {
            QFile before(committed.filePath(file));
            QFile after(QDir(copies.path()).filePath(file));
            QVERIFY(before.open(QIODevice::ReadOnly) && after.open(QIODevice::ReadOnly));
            const QByteArray updated = after.readAll();
            for (const QByteArray &mark : {QByteArray("type=\"unfinished\""), QByteArray("type=\"vanished\""),
                                           QByteArray("type=\"obsolete\"")}) {
                QVERIFY2(!updated.contains(mark),
                         qPrintable(file + QStringLiteral(" has entries marked ") + QString::fromLatin1(mark)
                                    + QStringLiteral(": ") + QString::fromLatin1(howToFix)));
            }
            QVERIFY2(before.readAll() == updated,
                     qPrintable(file + QStringLiteral(" is out of date with the sources: ") + QString::fromLatin1(howToFix)));
        }
    }

    void picksTheFirstLanguageItHasMessagesFor_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        QTest::newRow("German") << QStringLiteral("de_DE") << QStringLiteral("de");
        QTest::newRow("Swiss German falls back to German") << QStringLiteral("de_CH") << QStringLiteral("de");
        QTest::newRow("English is the source") << QStringLiteral("en_GB") << QString();
        QTest::newRow("no French yet") << QStringLiteral("fr_FR") << QString();
    }

    void picksTheFirstLanguageItHasMessagesFor()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(AppTranslations::install(QLocale(locale)), language);
        QCOMPARE(translate("AppCommands", "&File"), language.isEmpty() ? QStringLiteral("&File") : QStringLiteral("&Datei"));
    }

    void germanHasItsPluralsAndQtsOwnTexts()
    {
        QCOMPARE(AppTranslations::install(QLocale(QStringLiteral("de_DE"))), QStringLiteral("de"));
        QCOMPARE(translate("FolderPainter", "%n files", 1), QStringLiteral("1 Datei"));
        QCOMPARE(translate("FolderPainter", "%n files", 12), QStringLiteral("12 Dateien"));
        QCOMPARE(translate("AppState", "Generated %n icons (%1)", 1).arg(QStringLiteral("$0.04")),
                 QStringLiteral("1 Symbol generiert ($0.04)"));
        // Standard dialogs come from Qt's own catalogue (qt6-translations-l10n).
        QCOMPARE(translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    }

    void promptsSentToOpenRouterStayEnglish()
    {
        QStringList english;
        for (SemanticCategory category : allSemanticCategories())
            english.append(PromptBuilder::build(ThemePreset::defaultTheme(), category, QStringLiteral("Musik 2024"),
                                                {QStringLiteral("a.mp3")}, std::nullopt, true));
        AppTranslations::install(QLocale(QStringLiteral("de_DE")));
        QCOMPARE(displayName(SemanticCategory::music), QStringLiteral("Musik")); // the window's label is German
        for (SemanticCategory category : allSemanticCategories())
            QCOMPARE(PromptBuilder::build(ThemePreset::defaultTheme(), category, QStringLiteral("Musik 2024"),
                                          {QStringLiteral("a.mp3")}, std::nullopt, true),
                     english.at(int(category)));
    }

    void aDamagedCatalogueLeavesTheTextsInEnglish_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a catalogue") << QByteArray("<TS version=\"2.1\" language=\"de\"></TS>");
        QFile shipped(AppTranslations::BuiltInDirectory + QStringLiteral("/tavrune_de.qm"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QByteArray whole = shipped.readAll();
        QTest::newRow("cut short") << whole.left(whole.size() / 2);
    }

    void aDamagedCatalogueLeavesTheTextsInEnglish()
    {
        QFETCH(QByteArray, contents);
        QTemporaryDir dir;
        QFile damaged(dir.filePath(QStringLiteral("tavrune_de.qm")));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(contents);
        damaged.close();
        QCOMPARE(AppTranslations::install(QLocale(QStringLiteral("de_DE")), dir.path()), QString());
        QCOMPARE(translate("AppCommands", "&File"), QStringLiteral("&File"));
    }

    void theWindowTheInspectorsAndTheSheetAreGerman()
    {
        AppTranslations::install(QLocale(QStringLiteral("de_DE")));
        AppState state(AppState::Preferences::transient);
        MainWindow window(&state);
        QStringList menus;
        for (const QAction *menu : window.menuBar()->actions())
            menus.append(menu->text());
        QCOMPARE(menus, (QStringList{QStringLiteral("&Datei"), QStringLiteral("&Bearbeiten"), QStringLiteral("&Ansicht"),
                                     QStringLiteral("&Generieren")}));
        const QStringList texts = visibleTexts(window);
        for (const char *german : {"ORDNERDETAILS", "Ordnersymbol zurücksetzen", "MEHRFACHAUSWAHL", "Alle ausgewählten entfernen"})
            QVERIFY2(texts.contains(QString::fromUtf8(german)), german);
        QVERIFY(!texts.contains(QStringLiteral("FOLDER DETAILS")));

        OnboardingSheet sheet(&state, &window);
        QCOMPARE(sheet.windowTitle(), QStringLiteral("OpenRouter-API-Schlüssel"));
        QVERIFY(visibleTexts(sheet).contains(QStringLiteral("Willkommen bei Tavrune")));
    }

    void theCommandLineSpeaksTheUsersLanguage_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QByteArray>("line");
        const QByteArray german = QStringLiteral("tavrune: Kein API-Schlüssel in der Standardeingabe.\n").toUtf8();
        const QByteArray english = "tavrune: no API key on standard input.\n";
        QTest::newRow("LANGUAGE over a C locale") << QStringList{QStringLiteral("LANGUAGE=de"), QStringLiteral("LANG=C.UTF-8")} << german;
        QTest::newRow("LANGUAGE list, regional first") << QStringList{QStringLiteral("LANGUAGE=de_AT:en"), QStringLiteral("LANG=C.UTF-8")} << german;
        QTest::newRow("English first in LANGUAGE") << QStringList{QStringLiteral("LANGUAGE=en:de"), QStringLiteral("LANG=de_DE.UTF-8")} << english;
        QTest::newRow("LC_MESSAGES") << QStringList{QStringLiteral("LC_MESSAGES=de_DE.UTF-8"), QStringLiteral("LANG=C.UTF-8")} << german;
        QTest::newRow("LANG") << QStringList{QStringLiteral("LANG=de_DE.UTF-8")} << german;
        QTest::newRow("C locale stays byte for byte English") << QStringList{QStringLiteral("LANG=C.UTF-8")} << english;
        QTest::newRow("a language without messages") << QStringList{QStringLiteral("LANGUAGE=fr"), QStringLiteral("LANG=fr_FR.UTF-8")} << english;
    }

    void theCommandLineSpeaksTheUsersLanguage()
    {
        QFETCH(QStringList, environment);
        QFETCH(QByteArray, line);
        QProcess tavrune;
        QVERIFY(runTavrune(tavrune, environment, {QStringLiteral("--set-api-key")}));
        QCOMPARE(tavrune.exitCode(), 2);
        QCOMPARE(tavrune.readAllStandardError(), line);
    }

    // Usage errors and help come before any window, and still speak German; English stays as it was.
    void usageErrorsAndHelpAreGerman_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("standardError");
        const QByteArray tryHelpDe = QStringLiteral("Mehr erfahren Sie mit „tavrune --help“.\n").toUtf8();
        const QByteArray tryHelpEn = QStringLiteral("Try “tavrune --help” for more.\n").toUtf8();
        QTest::newRow("German usage error")
            << QStringLiteral("de") << QStringList{QStringLiteral("--fast")}
            << QStringLiteral("tavrune: --fast geht nur zusammen mit --apply-icons.\n").toUtf8() + tryHelpDe;
        QTest::newRow("German skipped folder")
            << QStringLiteral("de") << QStringList{QStringLiteral("--apply-icons"), QStringLiteral("/nonexistent/Fotos")}
            << QStringLiteral("tavrune: „/nonexistent/Fotos“ übersprungen: Ordner existiert nicht\n"
                              "tavrune: --apply-icons hat keinen Ordner zum Bearbeiten gefunden.\n").toUtf8()
                   + tryHelpDe;
        QTest::newRow("English usage error")
            << QStringLiteral("C") << QStringList{QStringLiteral("--fast")}
            << QByteArray("tavrune: --fast only goes with --apply-icons.\n") + tryHelpEn;
        QTest::newRow("German help") << QStringLiteral("de") << QStringList{QStringLiteral("--help")} << QByteArray();
    }
    void usageErrorsAndHelpAreGerman()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, standardError);
        QProcess tavrune;
        QVERIFY(runTavrune(tavrune, {QStringLiteral("LANGUAGE=") + language, QStringLiteral("LANG=C.UTF-8")}, arguments));
        QCOMPARE(tavrune.readAllStandardError(), standardError); // nothing else: no Qt warning either
        if (!arguments.contains(QStringLiteral("--help"))) {
            QCOMPARE(tavrune.exitCode(), 2);
            return;
        }
        QCOMPARE(tavrune.exitCode(), 0);
        const QStringList help = QString::fromUtf8(tavrune.readAllStandardOutput()).split(u'\n');
        QCOMPARE(help.constFirst(), QStringLiteral("Aufruf: tavrune [ORDNER...]"));
        // The options' descriptions keep their column.
        for (const QString &line : help) {
            if (line.startsWith(QLatin1String("  ")) && !line.trimmed().startsWith(QLatin1String("tavrune")))
                QVERIFY2(line.size() > 24 && line.at(22) == u' ' && line.at(23) != u' ', qPrintable(line));
        }
    }
};

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
