#include "content/category_detector.h"

#include "temp_tree.h"
#include "test_files.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SemanticCategory)

namespace {

QUrl urlOf(const QString &path) { return QUrl::fromLocalFile(path); }

} // namespace

class TestCategoryDetector final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void detectsFromNameKeywordsInDeclarationOrder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<SemanticCategory>("expected");

        QTest::newRow("earlier category shadows later") << "Build Photos" << SemanticCategory::code;
        QTest::newRow("keyword inside a longer word") << "Library" << SemanticCategory::code;
        QTest::newRow("ui inside guitar") << "Guitar Lessons" << SemanticCategory::design;
        QTest::newRow("me inside memories") << "Memories" << SemanticCategory::personal;
        QTest::newRow("school before personal") << "Homework" << SemanticCategory::school;
        QTest::newRow("separators play no part") << "my-react_app" << SemanticCategory::code;
        QTest::newRow("several categories, earliest wins") << "Music Projects" << SemanticCategory::code;
        QTest::newRow("upper case") << "SRC" << SemanticCategory::code;
        QTest::newRow("title case") << "Src" << SemanticCategory::code;
        QTest::newRow("lower case") << "src" << SemanticCategory::code;
        QTest::newRow("non-ASCII upper case") << QString::fromUtf8("ÜBER CODE") << SemanticCategory::code;
        // KELVIN SIGN lower-cases to a plain "k" only under full Unicode case mapping.
        QTest::newRow("full Unicode lower-casing") << QString::fromUtf8("BOO\u212AING") << SemanticCategory::travel;
        QTest::newRow("finance") << "Taxes 2024" << SemanticCategory::finance;
        QTest::newRow("video") << "Footage" << SemanticCategory::video;
        QTest::newRow("lib shadows the games keywords") << "Steam Library Saves" << SemanticCategory::code;
        QTest::newRow("games alone") << "Gaming" << SemanticCategory::games;
        QTest::newRow("downloads") << "Downloads" << SemanticCategory::downloads;
        QTest::newRow("personal") << "Fitness" << SemanticCategory::personal;
        QTest::newRow("nothing matches, empty folder") << "Stuff" << SemanticCategory::documents;
    }

    void detectsFromNameKeywordsInDeclarationOrder()
    {
        QFETCH(QString, name);
        QFETCH(SemanticCategory, expected);

        TempTree tree;
        QVERIFY(tree.isValid());
        const QString folder = tree.makeDir(name);
        // Contents that would say "video" must not matter once the name matched.
        tree.makeFile(name + QStringLiteral("/a.mov"));
        const SemanticCategory byName = CategoryDetector::detect(urlOf(folder));
        if (expected == SemanticCategory::documents)
            QCOMPARE(byName, SemanticCategory::video);
        else
            QCOMPARE(byName, expected);

        QVERIFY(QFile::remove(folder + QStringLiteral("/a.mov")));
        QCOMPARE(CategoryDetector::detect(urlOf(folder)), expected);
    }

    void namesComeFromTheLastPathComponentEvenWithATrailingSlash()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Homework"));
        QCOMPARE(CategoryDetector::detect(QUrl::fromLocalFile(folder + u'/')), SemanticCategory::school);
        // The name decides even when the folder is gone.
        QCOMPARE(CategoryDetector::detect(urlOf(tree.filePath(QStringLiteral("Gone Travel")))),
                 SemanticCategory::travel);
    }

    void detectsFromTopLevelExtensions_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("dirs");
        QTest::addColumn<SemanticCategory>("expected");

        const auto many = [](const char *pattern, int count) {
            QStringList names;
            for (int i = 0; i < count; ++i)
                names.append(QString::asprintf(pattern, i));
            return names;
        };

        QTest::newRow("tie keeps the earlier group: music over photos")
            << many("song%d.mp3", 3) + many("pic%d.png", 3) << QStringList() << SemanticCategory::music;
        QTest::newRow("video is tried before documents")
            << many("clip%d.mov", 3) + many("paper%d.pdf", 3) << QStringList() << SemanticCategory::video;
        QTest::newRow("strictly more wins")
            << many("a%d.pdf", 3) + many("b%d.psd", 4) << QStringList() << SemanticCategory::design;
        QTest::newRow("group scores add up over extensions")
            << many("a%d.py", 1) + many("b%d.js", 1) + many("c%d.h", 1) + many("d%d.wav", 2) << QStringList()
            << SemanticCategory::code;
        QTest::newRow("one listed extension among many unlisted")
            << many("data%d.xyz", 199) + QStringList{QStringLiteral("one.png")} << QStringList()
            << SemanticCategory::photos;
        QTest::newRow("extension case is ignored") << QStringList{QStringLiteral("PHOTO.JPG")} << QStringList()
                                                   << SemanticCategory::photos;
        QTest::newRow("only the text after the last dot counts")
            << QStringList{QStringLiteral("mix.mp3.backup.flac")} << QStringList() << SemanticCategory::music;
        QTest::newRow("hidden files are never counted")
            << QStringList{QStringLiteral(".a.mp3"), QStringLiteral(".b.mp3"), QStringLiteral(".c.mp3"),
                           QStringLiteral("one.png")}
            << QStringList() << SemanticCategory::photos;
        QTest::newRow("only hidden files") << QStringList{QStringLiteral(".x.mp3"), QStringLiteral(".mp3")}
                                           << QStringList() << SemanticCategory::documents;
        QTest::newRow("a trailing dot gives no extension")
            << QStringList{QStringLiteral("archive."), QStringLiteral("photo.png.")} << QStringList()
            << SemanticCategory::documents;
        QTest::newRow("a name without a dot has no extension")
            << QStringList{QStringLiteral("png"), QStringLiteral("mp3")} << QStringList()
            << SemanticCategory::documents;
        QTest::newRow("unlisted extensions only")
            << QStringList{QStringLiteral("a.xyz"), QStringLiteral("b.tar.gz"), QStringLiteral("c.app")}
            << QStringList() << SemanticCategory::documents;
        QTest::newRow("sub-folders count by their extension")
            << QStringList{QStringLiteral("notes.pdf")}
            << QStringList{QStringLiteral("Tool.app"), QStringLiteral("Intro.mov"), QStringLiteral("Outro.mov")}
            << SemanticCategory::video;
        QTest::newRow("files inside sub-folders are not looked at")
            << QStringList{QStringLiteral("Inner/a.mp3"), QStringLiteral("Inner/b.mp3"),
                           QStringLiteral("Other/c.png")}
            << QStringList() << SemanticCategory::documents;
        QTest::newRow("empty folder") << QStringList() << QStringList() << SemanticCategory::documents;
    }

    void detectsFromTopLevelExtensions()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, dirs);
        QFETCH(SemanticCategory, expected);

        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Stuff"));
        for (const QString &file : files)
            tree.makeFile(QStringLiteral("Stuff/") + file);
        for (const QString &dir : dirs)
            tree.makeDir(QStringLiteral("Stuff/") + dir);
        QCOMPARE(CategoryDetector::detect(urlOf(folder)), expected);
    }

    void examinesOnlyTheFirst200Entries_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<SemanticCategory>("expected");
        QTest::newRow("the 200th entry is examined") << 199 << SemanticCategory::photos;
        QTest::newRow("the 201st entry is not") << 200 << SemanticCategory::documents;
    }

    // The listing order is the file system's own (hash order on ext4, not creation order), so the
    // folder is shaped after reading that order: removing entries leaves the others' order intact.
    void examinesOnlyTheFirst200Entries()
    {
        QFETCH(int, position);
        QFETCH(SemanticCategory, expected);

        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Stuff"));
        for (int i = 0; i < 300; ++i) {
            // Entries without extension, with an unlisted one, and folders all use up the budget.
            switch (i % 3) {
            case 0: tree.makeFile(QStringLiteral("Stuff/n%1").arg(i)); break;
            case 1: tree.makeFile(QStringLiteral("Stuff/n%1.dat").arg(i)); break;
            default: tree.makeDir(QStringLiteral("Stuff/n%1.zzz").arg(i)); break;
            }
            tree.makeFile(QStringLiteral("Stuff/p%1.png").arg(i));
            tree.makeFile(QStringLiteral("Stuff/.h%1.png").arg(i)); // hidden: must not use up the budget
        }

        // Keep the first `position` neutral entries, then one picture, then the remaining neutral ones.
        int neutralsKept = 0;
        bool placed = false;
        for (const QString &name : listingOrder(folder)) {
            const QString path = folder + u'/' + name;
            if (!name.startsWith(u'p')) {
                if (neutralsKept < position)
                    ++neutralsKept;
                else if (!placed)
                    QVERIFY(QDir(path).exists() ? QDir(path).removeRecursively() : QFile::remove(path));
                continue;
            }
            if (neutralsKept == position && !placed)
                placed = true;
            else
                QVERIFY(QFile::remove(path));
        }
        QVERIFY2(placed, "no picture was listed after the neutral entries");

        QStringList pictures;
        qsizetype picture = -1;
        const QStringList order = listingOrder(folder);
        for (qsizetype i = 0; i < order.size(); ++i) {
            if (order.at(i).startsWith(u'p')) {
                pictures.append(order.at(i));
                picture = i;
            }
        }
        QCOMPARE(pictures.size(), 1);
        QCOMPARE(picture, qsizetype(position));
        // Hidden entries listed before the picture would push it past the limit if they counted.
        const QStringList all = listingOrder(folder, true);
        const qsizetype pictureInAll = all.indexOf(pictures.constFirst());
        QVERIFY(std::any_of(all.cbegin(), all.cbegin() + pictureInAll,
                            [](const QString &name) { return name.startsWith(u'.'); }));

        QCOMPARE(CategoryDetector::detect(urlOf(folder)), expected);
    }

    void unreadableOrMissingFoldersFallBackToDocuments()
    {
        TempTree tree;
        const QString stuff = tree.makeDir(QStringLiteral("Stuff"));
        tree.makeFile(QStringLiteral("Stuff/a.mp3"));
        QCOMPARE(CategoryDetector::detect(urlOf(stuff)), SemanticCategory::music);

        QCOMPARE(CategoryDetector::detect(urlOf(tree.filePath(QStringLiteral("Absent")))),
                 SemanticCategory::documents);
        QCOMPARE(CategoryDetector::detect(urlOf(tree.makeFile(QStringLiteral("Plain"), "x.mp3"))),
                 SemanticCategory::documents);
        QCOMPARE(CategoryDetector::detect(QUrl(QStringLiteral("https://example.invalid/Stuff"))),
                 SemanticCategory::documents);

        // Opening a FIFO for reading would wait for a writer; the detector must not.
        const QString fifo = tree.filePath(QStringLiteral("Pipe"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(CategoryDetector::detect(urlOf(fifo)), SemanticCategory::documents);

        if (geteuid() == 0) // root reads every directory whatever its mode
            QSKIP("running as root: permissions are not enforced");
        QVERIFY(QFile::setPermissions(stuff, QFileDevice::Permissions()));
        QCOMPARE(CategoryDetector::detect(urlOf(stuff)), SemanticCategory::documents);
        QVERIFY(QFile::setPermissions(stuff, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }
};

QTEST_GUILESS_MAIN(TestCategoryDetector)
#include "tst_category_detector.moc"
