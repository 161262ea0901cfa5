#include "models/semantic_category.h"

#include <QtTest>

class TestSemanticCategory final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyCategoryCarriesItsExactTexts_data()
    {
        QTest::addColumn<int>("ordinal");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("full");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("fragment");

        const auto row = [](int ordinal, const char *raw, const char *display, const char *full, const char *symbol,
                            const char *fragment) {
            QTest::newRow(raw) << ordinal << QString::fromUtf8(raw) << QString::fromUtf8(display)
                               << QString::fromUtf8(full) << QString::fromUtf8(symbol) << QString::fromUtf8(fragment);
        };
        row(0, "code", "Code", "Code / Development", "chevron.left.forwardslash.chevron.right",
            "source code, terminal brackets, programming symbols, developer tools");
        row(1, "music", "Music", "Music / Audio", "music.note", "musical notes, sound waves, headphones, vinyl record");
        row(2, "photos", "Photos", "Photos / Images", "photo.on.rectangle",
            "camera lens, image frames, landscape, photography");
        row(3, "documents", "Documents", "Documents / Writing", "doc.text",
            "paper sheets, text lines, writing, notebook pages");
        row(4, "finance", "Finance", "Finance / Business", "dollarsign.circle",
            "charts, currency symbols, graphs, financial data");
        row(5, "design", "Design", "Design / Creative", "paintpalette",
            "color palette, paintbrush, creative tools, design elements");
        row(6, "video", "Video", "Video / Film", "film", "film reel, play button, camera, clapperboard");
        row(7, "games", "Games", "Games / Fun", "gamecontroller", "game controller, joystick, pixel hearts, arcade");
        row(8, "travel", "Travel", "Travel / Places", "airplane", "globe, compass, airplane, world map");
        row(9, "school", "School", "School / Learning", "graduationcap",
            "graduation cap, books, pencil, academic symbols");
        row(10, "downloads", "Downloads", "Downloads", "arrow.down.circle", "download arrow, cloud, transfer, inbox");
        row(11, "personal", "Personal", "Personal", "person.circle",
            "person silhouette, heart, journal, personal diary");
    }

    void everyCategoryCarriesItsExactTexts()
    {
        QFETCH(int, ordinal);
        QFETCH(QString, raw);
        QFETCH(QString, display);
        QFETCH(QString, full);
        QFETCH(QString, symbol);
        QFETCH(QString, fragment);

        const SemanticCategory category = allSemanticCategories().at(ordinal);
        QCOMPARE(int(category), ordinal);
        QCOMPARE(rawValue(category), raw);
        QCOMPARE(displayName(category), display);
        QCOMPARE(fullLabel(category), full);
        QCOMPARE(sfSymbol(category), symbol);
        QCOMPARE(promptFragment(category), fragment);
        QCOMPARE(semanticCategoryFromRawValue(raw), std::optional(category)); // the stored form reads back
    }

    void keywordListsAreExactAndInMatchingOrder_data()
    {
        QTest::addColumn<int>("ordinal");
        QTest::addColumn<QString>("words");
        QTest::newRow("code") << 0
                              << "code dev project src app web api react swift python node git repo build dist lib "
                                 "xcode github npm cargo flutter";
        QTest::newRow("music") << 1
                               << "music songs audio podcast beats playlist album wav mp3 sound spotify itunes";
        QTest::newRow("photos") << 2
                                << "photos images pictures camera gallery screenshots wallpaper img assets pics";
        QTest::newRow("documents")
            << 3 << "docs documents notes writing letters reports papers essays drafts manuscripts txt";
        QTest::newRow("finance")
            << 4 << "finance taxes invoices budget accounting expenses receipts salary banking investment tax";
        QTest::newRow("design")
            << 5 << "design ui ux figma sketch creative artwork graphics illustration mockup adobe";
        QTest::newRow("video")
            << 6 << "video movies film clips recordings youtube premiere editing render footage";
        QTest::newRow("games") << 7 << "games gaming steam saves mods levels rom minecraft unity";
        QTest::newRow("travel") << 8 << "travel vacation trip flight hotel booking passport adventure";
        QTest::newRow("school")
            << 9 << "school college university homework study course class lecture assignment research";
        QTest::newRow("downloads") << 10 << "download temp inbox incoming transfer";
        QTest::newRow("personal") << 11 << "personal private journal diary me self health fitness recipe";
    }

    void keywordListsAreExactAndInMatchingOrder()
    {
        QFETCH(int, ordinal);
        QFETCH(QString, words);
        QCOMPARE(keywords(allSemanticCategories().at(ordinal)), words.split(u' '));
    }

    void rawValueConstructionIsExactAndCaseSensitive_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::newRow("capitalised") << "Code";
        QTest::newRow("upper case") << "MUSIC";
        QTest::newRow("display name") << "Photos";
        QTest::newRow("leading space") << " code";
        QTest::newRow("trailing space") << "code ";
        QTest::newRow("prefix only") << "cod";
        QTest::newRow("keyword, not a case") << "dev";
        QTest::newRow("empty") << "";
    }

    void rawValueConstructionIsExactAndCaseSensitive()
    {
        QFETCH(QString, raw);
        QCOMPARE(semanticCategoryFromRawValue(raw), std::nullopt);
    }

    void hashesLikeItsRawValue()
    {
        QCOMPARE(qHash(SemanticCategory::video, 7), qHash(QStringLiteral("video"), 7));
        QCOMPARE_NE(qHash(SemanticCategory::video), qHash(SemanticCategory::music));
    }
};

QTEST_GUILESS_MAIN(TestSemanticCategory)
#include "tst_semantic_category.moc"
