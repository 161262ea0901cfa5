#include "desktop/desktop_entry_icon.h"

#include <QtTest>

namespace {
const QString kIcon = QStringLiteral("/home/u/.local/share/com.tavrune.app/icons/abc-123.png");

bool ours(const QString &value)
{
    return value.startsWith(QLatin1String("/home/u/.local/share/com.tavrune.app/icons/"));
}
} // namespace

class TestDesktopEntryIcon final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addsOnlyTheIconLineAndRemovesItByteForByte_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("withIcon");
        const QByteArray icon = "Icon=" + kIcon.toUtf8();

        QTest::newRow("no file yet") << QByteArray() << "[Desktop Entry]\n" + icon + "\n";
        QTest::newRow("group with translations")
            << QByteArray("[Desktop Entry]\nComment=Music\nComment[de]=Musik\n\n[Dolphin]\nVersion=4\n")
            << "[Desktop Entry]\n" + icon + "\nComment=Music\nComment[de]=Musik\n\n[Dolphin]\nVersion=4\n";
        QTest::newRow("no desktop entry group, leading comment")
            << QByteArray("# written by hand\n[Dolphin]\nTimestamp=2024,5,1,10,0,0.0\n\n[Settings]\nHiddenFilesShown=true\n")
            << "# written by hand\n[Dolphin]\nTimestamp=2024,5,1,10,0,0.0\n\n[Settings]\nHiddenFilesShown=true\n"
                   "[Desktop Entry]\n" + icon + "\n";
        QTest::newRow("last line without line break")
            << QByteArray("[Desktop Entry]\nComment=x")
            << "[Desktop Entry]\n" + icon + "\nComment=x";
        QTest::newRow("windows line breaks")
            << QByteArray("[Dolphin]\r\nVersion=4\r\n")
            << "[Dolphin]\r\nVersion=4\r\n[Desktop Entry]\r\n" + icon + "\r\n";
        QTest::newRow("another value that is not UTF-8")
            << QByteArray("[Dolphin]\nName=\xff\xfe\n")
            << "[Dolphin]\nName=\xff\xfe\n[Desktop Entry]\n" + icon + "\n";
        QTest::newRow("indentation and spaces around =")
            << QByteArray("  [Desktop Entry]  \n\n   Comment = spaced  \n")
            << "  [Desktop Entry]  \n" + icon + "\n\n   Comment = spaced  \n";
    }

    void addsOnlyTheIconLineAndRemovesItByteForByte()
    {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, withIcon);

        const std::optional<QByteArray> applied = DesktopEntryIcon::withIcon(original, kIcon);
        QVERIFY(applied);
        QCOMPARE(*applied, withIcon);
        QCOMPARE(DesktopEntryIcon::icon(*applied), std::optional<QString>(kIcon));

        const std::optional<QByteArray> reset = DesktopEntryIcon::withoutIcon(*applied, ours);
        QVERIFY(reset);
        QCOMPARE(*reset, original);
    }

    void replacesAnEarlierIconInPlaceAndKeepsItsTranslations()
    {
        const QByteArray original = "[Desktop Entry]\nComment=a\nIcon=folder-music\nIcon[de]=ordner\n[Dolphin]\nV=4\n";
        const std::optional<QByteArray> applied = DesktopEntryIcon::withIcon(original, kIcon);
        QVERIFY(applied);
        QCOMPARE(*applied, "[Desktop Entry]\nComment=a\nIcon=" + kIcon.toUtf8() + "\nIcon[de]=ordner\n[Dolphin]\nV=4\n");

        // The earlier icon was replaced, not remembered: removal leaves the folder with the standard icon.
        const std::optional<QByteArray> reset = DesktopEntryIcon::withoutIcon(*applied, ours);
        QVERIFY(reset);
        QCOMPARE(*reset, QByteArray("[Desktop Entry]\nComment=a\nIcon[de]=ordner\n[Dolphin]\nV=4\n"));
    }

    void escapesPathsTheWayFileManagersReadThem()
    {
        const QString odd = QStringLiteral("/home/u/.local/share/com.tavrune.app/icons/ a\\b\tc ü.png");
        const std::optional<QByteArray> applied = DesktopEntryIcon::withIcon("[Dolphin]\nV=4\n", odd);
        QVERIFY(applied);
        QCOMPARE(DesktopEntryIcon::icon(*applied), std::optional<QString>(odd));
        QCOMPARE(DesktopEntryIcon::withoutIcon(*applied, ours), std::optional<QByteArray>("[Dolphin]\nV=4\n"));
    }

    void leavesIconsThatAreNotOursOnRemoval()
    {
        const QByteArray text = "[Desktop Entry]\nIcon=folder-music\n";
        QCOMPARE(DesktopEntryIcon::withoutIcon(text, ours), std::optional<QByteArray>(text));
    }

    // GKeyFile rejects these; KConfig (Dolphin's reader) skips what it cannot read and uses the rest.
    void editsWhatKConfigReadsThoughGKeyFileDoesNot_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("withIcon");
        const QByteArray icon = "Icon=" + kIcon.toUtf8() + "\n";
        QTest::newRow("key before any group")
            << QByteArray("Icon=x\n[Desktop Entry]\nComment=c\n") << "Icon=x\n[Desktop Entry]\n" + icon + "Comment=c\n";
        QTest::newRow("line that is no key")
            << QByteArray("[Desktop Entry]\nthis is not a key\n") << "[Desktop Entry]\n" + icon + "this is not a key\n";
        QTest::newRow("unclosed group header")
            << QByteArray("[Desktop Entry\nComment=x\n") << "[Desktop Entry\nComment=x\n[Desktop Entry]\n" + icon;
        QTest::newRow("icon to expand, twice")
            << QByteArray("[Desktop Entry]\nIcon[$e]=$HOME/a.png\nIcon[$ie]=b\n") << "[Desktop Entry]\n" + icon + icon;
    }

    void editsWhatKConfigReadsThoughGKeyFileDoesNot()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, withIcon);
        QCOMPARE(DesktopEntryIcon::withIcon(text, kIcon), std::optional(withIcon));
        QCOMPARE(DesktopEntryIcon::icon(withIcon), std::optional(kIcon));
        if (!text.contains("Icon["))
            QCOMPARE(DesktopEntryIcon::withoutIcon(withIcon, ours), std::optional(text));
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntryIcon)
#include "tst_desktop_entry_icon.moc"
