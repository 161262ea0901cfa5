#include "desktop/folder_icon_service.h"
#include "imaging/icon_styler.h"
#include "imaging/image_decoder.h"
#include "session/rendition_file.h"
#include "session/session_store.h"
#include "state/app_state.h"
#include "temp_tree.h"
#include "test_files.h"

#include "settled.h"
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <libdeflate.h>
#include <sys/stat.h>

namespace {

// The renditions file as the previous release wrote it (format 1): the same header without the count
// of kept renditions, and every rendition's pixels in one raw deflate stream.
QByteArray olderRenditionFile(const QByteArray &current, const IconImage &icon)
{
    const QList<QImage> renditions = icon.renditions();
    const qsizetype header = 7 + 1 + 4 + 8 + 4 * 4 + 8 * renditions.size();
    QByteArray out = current.left(header);
    out[7] = 1;
    QByteArray pixels;
    for (const QImage &image : renditions)
        pixels.append(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes());
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(1);
    QByteArray compressed(qsizetype(libdeflate_deflate_compress_bound(compressor, size_t(pixels.size()))), '\0');
    compressed.resize(qsizetype(libdeflate_deflate_compress(compressor, pixels.constData(), size_t(pixels.size()),
                                                            compressed.data(), size_t(compressed.size()))));
    libdeflate_free_compressor(compressor);
    const auto put = [&out](auto value) { out.append(reinterpret_cast<const char *>(&value), sizeof value); };
    put(quint64(compressed.size()));
    out.append(compressed);
    put(quint32(libdeflate_crc32(0, out.constData(), size_t(out.size()))));
    return out;
}

IconImage makeIcon(const QColor &color)
{
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return IconImage{image, IconStyler::encodePng(image)};
}

// Larger than the largest rendition and not uniform, so every rendition is really scaled down.
IconImage makeGradientIcon(int hue)
{
    QImage image(300, 300, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor::fromHsv((hue + x / 3) % 360, 100 + y / 3, 255, 128 + (x + y) % 128));
    }
    return IconImage{image, IconStyler::encodePng(image)};
}

QString sessionFile(const QString &name) { return SessionStore::directory() + u'/' + name; }

// A new image made current as a generation makes it, `minute` minutes into the day before.
IconImage generate(const FolderItemPtr &folder, int minute)
{
    const IconImage icon = makeIcon(QColor::fromHsv(minute * 25 % 360, 200, 200));
    const QDateTime at = QDateTime::currentDateTime().addDays(-1).addSecs(minute * 60);
    folder->makeCurrent(IconHistoryEntry{icon, QString(), at, QString(), QString(), false, std::nullopt});
    folder->setIconState(IconState::generated());
    return icon;
}

// The history's entry of `image`; nothing once it has left the history.
std::optional<IconHistoryEntry> entryOf(const FolderItemPtr &folder, const IconImage &image)
{
    for (const IconHistoryEntry &entry : folder->history()) {
        if (entry.image == image)
            return entry;
    }
    return std::nullopt;
}

QStringList sessionImages() { return QDir(SessionStore::directory()).entryList({QStringLiteral("*.png")}, QDir::Files); }

// Each file write makes a new inode (temporary file + rename): an unchanged inode is an untouched file.
QHash<QString, ino_t> inodes()
{
    QHash<QString, ino_t> result;
    const QDir dir(SessionStore::directory());
    for (const QString &name : dir.entryList(QDir::Files)) {
        struct stat status = {};
        if (::stat(QFile::encodeName(dir.filePath(name)).constData(), &status) == 0)
            result.insert(name, status.st_ino);
    }
    return result;
}

void waitForRestore(SessionStore &store)
{
    QSignalSpy finished(&store, &SessionStore::restoreFinished);
    if (store.isRestoring())
        QVERIFY(finished.wait(20000));
}

/// One run of the application: a state and its store, restored at once.
struct Run
{
    AppState state;
    SessionStore store{&state};
    SessionStore::RestoreOutcome outcome = store.restore();

    Run() { waitForRestore(store); }
    FolderItemPtr at(int index) const { return state.folders().at(index); }
};

} // namespace

/// The folder list outlives the process: what is kept, how it is written, and what bad data does.
class TestSessionStore final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QDir(SessionStore::directory()).removeRecursively();
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).clear();
    }

    void roundTripKeepsEveryFieldOrderAndSelection()
    {
        TempTree tree;
        const QStringList paths{tree.makeDir(QStringLiteral("Zeta")), tree.makeDir(QStringLiteral("Alpha")),
                                tree.makeDir(QStringLiteral("Mid dle"))};
        tree.makeFile(QStringLiteral("Alpha/a.txt"), "12345");
        const QDateTime when = QDateTime::currentDateTime().addDays(-3);
        const IconImage icon = makeIcon(Qt::darkCyan);
        {
            Run run;
            QCOMPARE(run.outcome, SessionStore::RestoreOutcome::empty);
            settled(run.state.addFolders({dirUrl(paths[0]), dirUrl(paths[1]), dirUrl(paths[2])}));
            run.at(0)->setDetectedCategory(SemanticCategory::games);
            run.at(0)->setCustomPrompt(QStringLiteral("  a red kite\nover hills "));
            run.at(0)->setLastGeneratedPrompt(QStringLiteral("Folder name: \"Zeta\" …"));
            run.at(0)->setLastGeneratedAt(when);
            run.at(0)->setGeneratedImage(icon);
            run.at(0)->setIconState(IconState::generated());
            run.at(1)->setIconState(IconState::failed(QStringLiteral("All models failed: “x”")));
            run.state.setSelectedFolderIDs({run.at(0)->id(), run.at(2)->id()});
            run.state.setViewMode(ViewMode::list);
        } // quitting writes

        Run run;
        QCOMPARE(run.outcome, SessionStore::RestoreOutcome::restored);
        QCOMPARE(run.state.folders().size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(run.at(i)->url(), dirUrl(paths[i]));
        QCOMPARE(run.at(0)->detectedCategory(), SemanticCategory::games);
        QCOMPARE(run.at(0)->customPrompt(), QStringLiteral("  a red kite\nover hills "));
        QCOMPARE(run.at(0)->lastGeneratedPrompt(), QStringLiteral("Folder name: \"Zeta\" …"));
        QCOMPARE(run.at(0)->lastGeneratedAt(), when);
        QCOMPARE(run.at(0)->iconState(), IconState::generated());
        QCOMPARE(run.at(0)->generatedImage().png(), icon.png());
        QCOMPARE(run.at(0)->generatedImage().renditions(), icon.renditions());
        QCOMPARE(run.at(1)->iconState(), IconState::failed(QStringLiteral("All models failed: “x”")));
        QCOMPARE(run.at(1)->fileCount(), 1);
        QCOMPARE(run.at(1)->topFiles().size(), 1);
        QCOMPARE(run.at(2)->iconState(), IconState::placeholder());
        QVERIFY(!run.at(2)->lastGeneratedPrompt() && !run.at(2)->lastGeneratedAt());
        QVERIFY(run.at(2)->generatedImage().isNull());
        QCOMPARE(run.state.selectedFolderIDs(), (QSet<QUuid>{run.at(0)->id(), run.at(2)->id()}));
        QCOMPARE(run.state.viewMode(), ViewMode::list);
    }

    void generationRunningAtQuitKeepsItsStartingState()
    {
        TempTree tree;
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Had"))), dirUrl(tree.makeDir(QStringLiteral("New")))});
            run.at(0)->setGeneratedImage(makeIcon(Qt::yellow));
            run.at(0)->setIconState(IconState::generated());
            run.store.flush();
            run.at(0)->setIconState(IconState::generating());
            run.at(1)->setIconState(IconState::generating());
            run.at(1)->setLastGeneratedPrompt(QStringLiteral("sent"));
        }
        Run run;
        QCOMPARE(run.at(0)->iconState(), IconState::generated());
        QVERIFY(!run.at(0)->generatedImage().isNull());
        QCOMPARE(run.at(1)->iconState(), IconState::placeholder());
        QCOMPARE(run.at(1)->lastGeneratedPrompt(), QStringLiteral("sent"));
    }

    void appliedIsCheckedAgainstTheFolder()
    {
        TempTree tree;
        const QUrl kept = dirUrl(tree.makeDir(QStringLiteral("Kept")));
        const QUrl reset = dirUrl(tree.makeDir(QStringLiteral("Reset")));
        {
            Run run;
            run.state.addFolders({kept, reset});
            for (const FolderItemPtr &folder : run.state.folders()) {
                folder->setGeneratedImage(makeIcon(Qt::green));
                QVERIFY(settled(run.state.applyIcon(folder->id(), false)));
            }
        }
        // Reset while the app was not running.
        FolderIconService::resetIcon(reset);
        QVERIFY(FolderIconService::isIconApplied(kept));
        QVERIFY(!FolderIconService::isIconApplied(reset));

        Run run;
        QCOMPARE(run.at(0)->iconState(), IconState::applied());
        QCOMPARE(run.at(1)->iconState(), IconState::generated());
        QVERIFY(!run.at(1)->generatedImage().isNull());
    }

    void vanishedFolderStaysFailedAndRecoversWhenBack()
    {
        TempTree tree;
        const QString path = tree.makeDir(QStringLiteral("Drive"));
        {
            Run run;
            run.state.addFolders({dirUrl(path)});
            run.at(0)->setGeneratedImage(makeIcon(Qt::blue));
            run.at(0)->setIconState(IconState::generated());
        }
        QVERIFY(QDir(path).removeRecursively());
        {
            Run run;
            QCOMPARE(run.state.folders().size(), 1);
            QCOMPARE(run.at(0)->iconState(), IconState::failed(QStringLiteral("Folder not found")));
            QVERIFY(!run.at(0)->generatedImage().isNull());
            run.at(0)->setCustomPrompt(QStringLiteral("edited while unplugged"));
        }
        QVERIFY(QDir().mkpath(path));
        Run run;
        QCOMPARE(run.at(0)->iconState(), IconState::generated());
        QCOMPARE(run.at(0)->customPrompt(), QStringLiteral("edited while unplugged"));
    }

    void badIndexStartsEmptyAndIsKept_data()
    {
        QTest::addColumn<QByteArray>("index");
        const QByteArray folder = "{\"url\":\"file:///tmp/x/\",\"category\":\"code\",\"state\":\"placeholder\","
                                  "\"customPrompt\":\"\",\"fileCount\":0,\"folderSizeBytes\":0";
        const QByteArray good = "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder + "}]}";
        QVERIFY(SessionRecord::fromJson(good)); // the rows below break this one valid index
        QTest::newRow("truncated") << good.left(good.size() / 2);
        QTest::newRow("corrupt") << QByteArray("\x89PNG\x00garbage\xff", 13);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("future version") << QByteArray(good).replace("\"version\":1", "\"version\":2");
        QTest::newRow("no version") << QByteArray(good).replace("\"version\":1,", "");
        QTest::newRow("generating stored") << QByteArray(good).replace("placeholder", "generating");
        QTest::newRow("unknown category") << QByteArray(good).replace("code", "cooking");
        QTest::newRow("count as text") << QByteArray(good).replace("\"fileCount\":0", "\"fileCount\":\"0\"");
        QTest::newRow("negative size") << QByteArray(good).replace("\"folderSizeBytes\":0", "\"folderSizeBytes\":-1");
        QTest::newRow("image outside") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                              + ",\"image\":\"../../icons/x.png\"}]}";
        QTest::newRow("not a directory url") << QByteArray(good).replace("/tmp/x/", "/tmp/x");
        QTest::newRow("remote url") << QByteArray(good).replace("file:///tmp/x/", "https://example.org/x/");
        QTest::newRow("same folder twice") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder + "},"
                                                  + folder + "}]}";
        const QByteArray history = ",\"history\":[{\"image\":\"IMAGE\",\"model\":\"m\",\"prompt\":\"p\",\"applied\":false}]";
        QTest::newRow("history outside") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                + QByteArray(history).replace("IMAGE", "../x.png") + "}]}";
        QTest::newRow("history absolute") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                 + QByteArray(history).replace("IMAGE", "/tmp/x.png") + "}]}";
        QTest::newRow("history foreign name") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                     + QByteArray(history).replace("IMAGE", "session.json") + "}]}";
        QTest::newRow("history shares the image") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                         + ",\"image\":\"a.png\""
                                                         + QByteArray(history).replace("IMAGE", "a.png") + "}]}";
        QTest::newRow("cost as text") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                             + ",\"cost\":\"0.04\"}]}";
        QTest::newRow("negative history cost") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                      + QByteArray(history).replace("IMAGE", "a.png").replace("}]", ",\"cost\":-1}]")
                                                      + "}]}";
        QVERIFY(SessionRecord::fromJson("{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                        + QByteArray(history).replace("IMAGE", QByteArray(80, 'a') + ".png") + "}]}"));
        QTest::newRow("history name too long") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                      + QByteArray(history).replace("IMAGE", QByteArray(81, 'a') + ".png")
                                                      + "}]}";
        QTest::newRow("history date not a date") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                        + QByteArray(history).replace("IMAGE", "a.png").replace(
                                                            "}]", ",\"generatedAt\":\"yesterday\"}]")
                                                        + "}]}";
        QTest::newRow("history entry not an object") << "{\"version\":1,\"viewMode\":\"grid\",\"folders\":[" + folder
                                                            + ",\"history\":[\"a.png\"]}]}";
        QTest::newRow("folders not a list") << QByteArray("{\"version\":1,\"viewMode\":\"grid\",\"folders\":{}}");
    }

    void badIndexStartsEmptyAndIsKept()
    {
        QFETCH(QByteArray, index);
        QVERIFY(QDir().mkpath(SessionStore::directory()));
        QVERIFY(writeFile(sessionFile(QStringLiteral("session.json.bad")), "older bad file"));
        QVERIFY(writeFile(sessionFile(QStringLiteral("session.json")), index));

        Run run;
        QCOMPARE(run.outcome, SessionStore::RestoreOutcome::discarded);
        QVERIFY(run.state.folders().isEmpty());
        QVERIFY(!QFile::exists(sessionFile(QStringLiteral("session.json"))));
        QCOMPARE(fileContent(sessionFile(QStringLiteral("session.json.bad"))), index);
    }

    void missingOrBrokenImageGivesPlaceholder_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("remove");
        QTest::newRow("missing") << QByteArray() << true;
        QTest::newRow("not an image") << QByteArray("not a png at all") << false;
        QTest::newRow("cut short") << makeIcon(Qt::red).png().left(60) << false;
    }

    void missingOrBrokenImageGivesPlaceholder()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, remove);
        TempTree tree;
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B")))});
            for (const FolderItemPtr &folder : run.state.folders()) {
                folder->setGeneratedImage(makeIcon(Qt::magenta));
                folder->setIconState(IconState::generated());
            }
            run.store.flush();
            const QString first = sessionFile(sessionImages().constFirst());
            QVERIFY(remove ? QFile::remove(first) : writeFile(first, content));
        }
        Run run;
        const int broken = run.at(0)->generatedImage().isNull() ? 0 : 1;
        QCOMPARE(run.at(broken)->iconState(), IconState::placeholder());
        QVERIFY(run.at(broken)->generatedImage().isNull());
        QCOMPARE(run.at(1 - broken)->iconState(), IconState::generated());
    }

    void renditionFileIsTakenOnlyWhenItFitsItsPng_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("whole") << QString();
        QTest::newRow("session from before renditions were kept") << QStringLiteral("missing");
        QTest::newRow("older format, read and written anew") << QStringLiteral("older");
        QTest::newRow("cut short") << QStringLiteral("truncated");
        QTest::newRow("one byte changed") << QStringLiteral("flipped");
        QTest::newRow("another icon's renditions") << QStringLiteral("mismatched");
        QTest::newRow("not ours") << QStringLiteral("garbage");
    }

    // Stored renditions spare the launch decoding every PNG; any doubt about them and the PNG is decoded.
    void renditionFileIsTakenOnlyWhenItFitsItsPng()
    {
        QFETCH(QString, damage);
        TempTree tree;
        const IconImage mine = makeGradientIcon(10);
        const IconImage other = makeGradientIcon(200);
        QString renditions;
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B")))});
            run.at(0)->setGeneratedImage(mine);
            run.at(1)->setGeneratedImage(other);
            run.store.flush();
            const QStringList images = sessionImages();
            QCOMPARE(images.size(), 2);
            const QString mineName = fileContent(sessionFile(images[0])) == mine.png() ? images[0] : images[1];
            renditions = sessionFile(RenditionFile::nameFor(mineName));
            const QString otherRenditions = sessionFile(RenditionFile::nameFor(images[0] == mineName ? images[1] : images[0]));
            QByteArray bytes = fileContent(renditions);
            QVERIFY(!RenditionFile::decode(bytes, mine.png()).isNull());
            if (damage == u"missing")
                QVERIFY(QFile::remove(renditions));
            if (damage == u"truncated")
                bytes.chop(bytes.size() / 3);
            if (damage == u"flipped")
                bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
            if (damage == u"mismatched")
                bytes = fileContent(otherRenditions);
            if (damage == u"garbage")
                bytes = QByteArray(4000, 'x');
            if (damage == u"older")
                bytes = olderRenditionFile(bytes, mine);
            if (!damage.isEmpty() && damage != u"missing")
                QVERIFY(writeFile(renditions, bytes));
            bool older = false;
            QCOMPARE(!RenditionFile::readBeside(sessionFile(mineName), &older).isNull() && older, damage == u"older");
        }
        const ino_t before = inodes().value(QFileInfo(renditions).fileName());

        Run run;
        // The pixels the window draws are the ones the PNG gives, whichever way they were made.
        const IconImage restored = run.at(0)->generatedImage();
        const IconImage decoded{ImageDecoder::decode(mine.png()), mine.png()};
        QCOMPARE(restored.png(), mine.png());
        QCOMPARE(restored.size(), mine.size());
        QCOMPARE(restored.renditions(), decoded.renditions());
        QCOMPARE(restored.renditions(), mine.renditions());
        QCOMPARE(run.at(1)->generatedImage().renditions(), other.renditions());
        // A whole file is only read; one that did not serve is made anew, once, from the decoded PNG.
        run.store.flush();
        const ino_t after = inodes().value(QFileInfo(renditions).fileName());
        QVERIFY(after != 0);
        QCOMPARE(after == before, damage.isEmpty());
        QVERIFY(!RenditionFile::decode(fileContent(renditions), mine.png()).isNull());
    }

    // A restored icon holds the grid's renditions; the preview's come from its files when drawn.
    void largeRenditionsLoadWhenDrawn()
    {
        TempTree tree;
        const IconImage mine = makeGradientIcon(40);
        const QList<QImage> made = mine.renditions();
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A")))});
            run.at(0)->setGeneratedImage(mine);
        }
        Run run;
        const IconImage restored = run.at(0)->generatedImage();
        QVERIFY(restored.loadsLargeRenditionsLazily());
        QCOMPARE(restored.rendition(48), mine.rendition(48));
        QCOMPARE(restored.rendition(240), made.constLast());

        // Its renditions file gone, the PNG gives them; both gone, the grid's largest stands in.
        const QString png = restored.pngFile();
        QVERIFY(QFile::remove(sessionFile(RenditionFile::nameFor(QFileInfo(png).fileName()))));
        QCOMPARE(RenditionFile::loadBeside(png), made);
        QVERIFY(QFile::remove(png));
        const IconImage orphan = makeGradientIcon(40).withLargeRenditionsLoadedBy(&RenditionFile::loadBeside);
        orphan.keepPngIn(png);
        QCOMPARE(orphan.rendition(120), mine.rendition(96));
        QCOMPARE(orphan.rendition(240).width(), IconImage::keptRenditionSide);
    }

    void renditionFileRefusesEveryCut()
    {
        const IconImage icon = makeGradientIcon(90);
        const QByteArray file = RenditionFile::encode(icon);
        const IconImage back = RenditionFile::decode(file, icon.png());
        QCOMPARE(back.renditions(), icon.renditions());
        QCOMPARE(back.size(), icon.size());
        QVERIFY(back.cacheKey() != icon.cacheKey());
        for (qsizetype length = 0; length < file.size(); length += 1 + length / 4)
            QVERIFY2(RenditionFile::decode(file.left(length), icon.png()).isNull(), qPrintable(QString::number(length)));
        QVERIFY(RenditionFile::decode(file, icon.png().chopped(1)).isNull());
        QVERIFY(RenditionFile::decode(file + "x", icon.png()).isNull());
    }

    void writesOnlyWhatChanged()
    {
        TempTree tree;
        Run run;
        run.store.setWriteDelay(std::chrono::milliseconds(20));
        QSignalSpy saved(&run.store, &SessionStore::saved);
        run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B"))),
                              dirUrl(tree.makeDir(QStringLiteral("C")))});
        for (const FolderItemPtr &folder : run.state.folders())
            folder->setGeneratedImage(makeIcon(Qt::gray));
        QVERIFY(saved.wait());
        QCOMPARE(saved.count(), 1); // many changes, one write
        const QHash<QString, ino_t> before = inodes();
        QCOMPARE(sessionImages().size(), 3);

        run.at(0)->setCustomPrompt(QStringLiteral("only the index"));
        QVERIFY(saved.wait());
        QHash<QString, ino_t> after = inodes();
        for (const QString &image : sessionImages())
            QCOMPARE(after.value(image), before.value(image));
        QVERIFY(after.value(QStringLiteral("session.json")) != before.value(QStringLiteral("session.json")));

        run.at(1)->setGeneratedImage(makeIcon(Qt::white));
        run.store.flush();
        after = inodes();
        const QStringList images = sessionImages();
        QCOMPARE(images.size(), 3);
        QCOMPARE(std::count_if(images.cbegin(), images.cend(), [&](const QString &name) { return !before.contains(name); }), 1);

        // Nothing changed: nothing is written, not even an identical index.
        const QHash<QString, ino_t> settled = inodes();
        run.state.setViewMode(ViewMode::list);
        run.state.setViewMode(ViewMode::grid);
        run.store.flush();
        QCOMPARE(inodes(), settled);
    }

    void aFolderFollowedToItsNewNameIsWrittenWithIt()
    {
        TempTree tree;
        Run run;
        run.store.setWriteDelay(std::chrono::milliseconds(20));
        QSignalSpy saved(&run.store, &SessionStore::saved);
        run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Before")))});
        QVERIFY(saved.wait());
        QVERIFY(QDir(tree.path()).rename(QStringLiteral("Before"), QStringLiteral("After")));
        run.at(0)->setUrl(dirUrl(tree.filePath(QStringLiteral("After"))));
        QVERIFY(saved.wait()); // at once, not only when quitting
        const QByteArray index = fileContent(sessionFile(QStringLiteral("session.json")));
        QVERIFY(index.contains("/After/") && !index.contains("/Before/"));
    }

    void iconsKeepTheirPngInTheSessionFileNotInMemory()
    {
        TempTree tree;
        const IconImage icon = makeGradientIcon(30);
        const QByteArray png = icon.png();
        const QList<QImage> made = icon.renditions();
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Music")))});
            run.at(0)->setGeneratedImage(icon);
            run.at(0)->setIconState(IconState::generated());
            QVERIFY(!icon.loadsLargeRenditionsLazily());
            run.store.flush();
            // Written, the fresh icon lets go of its bytes and reads them back from its file; every copy of
            // it (the record's too) draws the preview's large renditions from beside it, as a restored icon.
            QVERIFY(icon.pngFile().startsWith(SessionStore::directory() + u'/'));
            QCOMPARE(icon.png(), png);
            QCOMPARE(run.at(0)->generatedImage(), icon);
            QVERIFY(icon.loadsLargeRenditionsLazily());
            QCOMPARE(icon.renditions(), made);
        }
        Run run;
        const IconImage restored = run.at(0)->generatedImage();
        QVERIFY(restored.pngFile().startsWith(SessionStore::directory() + u'/'));
        QCOMPARE(restored.png(), png);
        QCOMPARE(restored.decodeFullImage().size(), QSize(300, 300));

        // A file that vanished fails that one action, with a toast; the folder keeps what it shows.
        QVERIFY(QFile::remove(restored.pngFile()));
        QVERIFY(!settled(run.state.applyIcon(run.at(0)->id(), true)));
        QCOMPARE(run.state.activeToast()->message, QStringLiteral("The icon file of “Music” is missing"));
        QCOMPARE(run.state.activeToast()->kind, Toast::Kind::error);
        QCOMPARE(run.at(0)->iconState(), IconState::generated());
        QVERIFY(!run.at(0)->generatedImage().rendition(48).isNull());
        QVERIFY(restored.decodeFullImage().isNull());
    }

    void historySurvivesARestartWithinItsCap()
    {
        TempTree tree;
        const QDateTime start = QDateTime::currentDateTime().addDays(-1);
        QHash<QString, QByteArray> pngByPrompt;
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Music")))});
            const FolderItemPtr folder = run.at(0);
            for (int i = 0; i < 14; ++i) {
                const IconImage icon = makeIcon(QColor::fromHsv(i * 25, 200, 200));
                const QString prompt = QStringLiteral("prompt %1").arg(i);
                pngByPrompt.insert(prompt, icon.png());
                // Every third answer said nothing of its cost.
                const std::optional<double> cost = i % 3 ? std::optional<double>(0.001 * i) : std::nullopt;
                folder->makeCurrent(IconHistoryEntry{icon, QString(), start.addSecs(i * 60),
                                                     QStringLiteral("model %1").arg(i), prompt, false, cost});
                // The first image is applied, and the folder keeps showing it while others come.
                if (i == 0)
                    folder->markApplied(true);
                folder->setIconState(i == 0 ? IconState::applied() : IconState::generated());
            }
        }
        Run run;
        const FolderItemPtr folder = run.at(0);
        QCOMPARE(folder->lastGeneratedPrompt(), QStringLiteral("prompt 13"));
        QCOMPARE(folder->lastGeneratedModel(), QStringLiteral("model 13"));
        QCOMPARE(folder->generationCost().value_or(-1), 0.013);
        QList<IconHistoryEntry> history = folder->history();
        QStringList prompts;
        for (const IconHistoryEntry &entry : history) {
            prompts.append(entry.prompt);
            QVERIFY(entry.image.isNull()); // read only when the folder is shown alone
        }
        // Twelve in all: the oldest went, never the applied one.
        QCOMPARE(prompts, (QStringList{QStringLiteral("prompt 12"), QStringLiteral("prompt 11"), QStringLiteral("prompt 10"),
                                       QStringLiteral("prompt 9"), QStringLiteral("prompt 8"), QStringLiteral("prompt 7"),
                                       QStringLiteral("prompt 6"), QStringLiteral("prompt 5"), QStringLiteral("prompt 4"),
                                       QStringLiteral("prompt 3"), QStringLiteral("prompt 0")}));
        QVERIFY(history.constLast().applied && !history.constFirst().applied);
        QCOMPARE(history.constFirst().generatedAt, start.addSecs(12 * 60));
        QCOMPARE(history.constFirst().model, QStringLiteral("model 12"));
        QVERIFY(!history.constFirst().cost);
        QCOMPARE(history.at(1).cost.value_or(-1), 0.011);
        QCOMPARE(sessionImages().size(), FolderItem::historyLimit);

        // A damaged file drops its entry, nothing else.
        QVERIFY(writeFile(history.at(1).file, "not a png"));
        run.state.setSelectedFolderIDs({folder->id()});
        QTRY_COMPARE(folder->history().size(), 10);
        for (const IconHistoryEntry &entry : folder->history()) {
            QVERIFY(!entry.image.isNull());
            QCOMPARE(entry.image.png(), pngByPrompt.value(entry.prompt));
            QVERIFY(entry.prompt != QStringLiteral("prompt 11"));
        }

        // Choosing one makes it current, state generated; the current one goes back in by date.
        QVERIFY(run.state.useHistoryImage(folder->id(), 9));
        QCOMPARE(folder->lastGeneratedPrompt(), QStringLiteral("prompt 0"));
        QVERIFY(!folder->generationCost()); // the cost follows the image
        QCOMPARE(folder->iconState(), IconState::generated());
        QCOMPARE(folder->generatedImage().png(), pngByPrompt.value(QStringLiteral("prompt 0")));
        QCOMPARE(folder->history().constFirst().prompt, QStringLiteral("prompt 13"));
        QCOMPARE(folder->history().constFirst().cost.value_or(-1), 0.013);
        run.store.flush();
        QCOMPARE(sessionImages().size(), 11);
    }

    // A restored history is made into entries only when asked for: until then writes carry it as it was,
    // and a new image still finds it (the applied one stays, the oldest other goes).
    void historyNotLookedAtSurvivesWritesAndNewImages()
    {
        TempTree tree;
        const QDateTime start = QDateTime::currentDateTime().addDays(-1);
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Music"))), dirUrl(tree.makeDir(QStringLiteral("Code")))});
            for (int i = 0; i < FolderItem::historyLimit; ++i) {
                run.at(0)->makeCurrent(IconHistoryEntry{makeIcon(QColor::fromHsv(i * 25, 200, 200)), QString(),
                                                        start.addSecs(i * 60), QStringLiteral("m"),
                                                        QStringLiteral("prompt %1").arg(i), false, 0.01});
                if (i == 0)
                    run.at(0)->markApplied(true);
                run.at(0)->setIconState(IconState::generated());
            }
        }
        const QStringList filesBefore = sessionImages();
        QCOMPARE(filesBefore.size(), FolderItem::historyLimit);
        {
            Run run;
            run.at(1)->setCustomPrompt(QStringLiteral("a lighthouse"));
            run.store.flush();
            QVERIFY(!run.at(0)->isHistoryLoaded());
            QCOMPARE(sessionImages(), filesBefore);
            // Removed and brought back, it is still whole.
            run.state.removeFolder(run.at(0)->id());
            run.state.undoStack()->undo();
            run.store.flush();
            QCOMPARE(sessionImages(), filesBefore);
            const std::optional<SessionRecord> index = SessionRecord::fromJson(fileContent(sessionFile(QStringLiteral("session.json"))));
            QVERIFY(index);
            QCOMPARE(SessionRecord::historyFiles(index->folders.constFirst()).size(), FolderItem::historyLimit - 1);
        }
        QStringList prompts;
        {
            Run run;
            const FolderItemPtr folder = run.at(0);
            QCOMPARE(run.at(1)->customPrompt(), QStringLiteral("a lighthouse"));
            folder->makeCurrent(IconHistoryEntry{makeIcon(Qt::red), QString(), start.addSecs(3600), QStringLiteral("m"),
                                                 QStringLiteral("newest"), false, std::nullopt});
            run.store.flush();
            for (const IconHistoryEntry &entry : folder->history())
                prompts.append(entry.prompt);
            QCOMPARE(prompts.size(), FolderItem::historyLimit - 1);
            QCOMPARE(prompts.constFirst(), QStringLiteral("prompt 11"));
            QCOMPARE(prompts.constLast(), QStringLiteral("prompt 0")); // applied, kept past its age
            QVERIFY(folder->history().constLast().applied);
            QVERIFY(!prompts.contains(QStringLiteral("prompt 1")));
            QCOMPARE(sessionImages().size(), FolderItem::historyLimit);

            // Selected, the folder's earlier images are read.
            run.state.setSelectedFolderIDs({folder->id()});
            const auto allRead = [&] {
                const QList<IconHistoryEntry> history = folder->history();
                return std::all_of(history.cbegin(), history.cend(),
                                   [](const IconHistoryEntry &entry) { return !entry.image.isNull(); });
            };
            QTRY_VERIFY(allRead());
        }
        Run run;
        QStringList restored;
        for (const IconHistoryEntry &entry : run.at(0)->history())
            restored.append(entry.prompt);
        QCOMPARE(restored, prompts);
    }

    void removedFoldersKeepTheirFilesUntilTheirStepLeaves()
    {
        TempTree tree;
        Run run;
        run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B")))});
        for (const FolderItemPtr &folder : run.state.folders())
            folder->setGeneratedImage(makeIcon(Qt::darkGreen));
        run.store.flush();
        const QStringList written = sessionImages();
        QCOMPARE(written.size(), 2);

        const FolderItemPtr removed = run.at(0);
        run.state.setSelectedFolderIDs({removed->id()});
        run.state.removeSelectedFolders();
        run.store.flush();
        QCOMPARE(sessionImages(), written); // Undo can still bring it back
        run.state.undoStack()->undo();
        run.store.flush();
        QCOMPARE(run.at(0), removed);
        QCOMPARE(sessionImages(), written); // back under its own file, not written again
        QCOMPARE(removed->generatedImage().png(), makeIcon(Qt::darkGreen).png());

        run.state.undoStack()->redo();
        run.state.undoStack()->clear(); // the step leaves: so do the files
        run.store.flush();
        QCOMPARE(sessionImages().size(), 1);
    }

    void undoAppliesAnEarlierImageNotReadYet_data()
    {
        QTest::addColumn<bool>("rememberingStops");
        QTest::newRow("remembered") << false;
        // The session's files go; the image the step knows by its file alone goes with the folders'.
        QTest::newRow("remembering turned off after the apply") << true;
    }

    void undoAppliesAnEarlierImageNotReadYet()
    {
        QFETCH(bool, rememberingStops);
        TempTree tree;
        QByteArray earlier;
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Music")))});
            earlier = generate(run.at(0), 0).png();
            QVERIFY(settled(run.state.applyIcon(run.at(0)->id(), false)));
            generate(run.at(0), 1); // the folder still shows the first one
        }
        Run run;
        const FolderItemPtr folder = run.at(0);
        QVERIFY(folder->history().constFirst().image.isNull());
        QVERIFY(settled(run.state.applyIcon(folder->id(), false)));
        if (rememberingStops) {
            run.store.setRememberingFolders(false);
            QVERIFY(sessionImages().isEmpty());
        }

        // Undone, the earlier image is on the folder again, read from its file.
        run.state.undoStack()->undo();
        QTRY_COMPARE(directoryIcon(folder->url()), earlier);
        QTRY_VERIFY(folder->history().constFirst().applied);
        run.state.undoStack()->redo();
        QTRY_COMPARE(folder->iconState(), IconState::applied());

        // Its file gone meanwhile, the undo says so and the folder keeps what it shows.
        QVERIFY(QFile::remove(folder->history().constFirst().file));
        run.state.undoStack()->undo();
        QTRY_COMPARE(run.state.activeToast()->message,
                     QStringLiteral("Couldn’t undo Apply Icon to “Music”: the icon file of “Music” is missing"));
        QCOMPARE(directoryIcon(folder->url()), folder->generatedImage().png());
        QCOMPARE(folder->iconState(), IconState::applied());
    }

    void aRemovedFoldersHistoryFollowsIntoThePrivateDirectory()
    {
        TempTree tree;
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Music")))});
            generate(run.at(0), 0);
            generate(run.at(0), 1);
        }
        Run run;
        const FolderItemPtr folder = run.at(0);
        run.state.removeFolders({folder->id()});
        run.store.setRememberingFolders(false);
        QVERIFY(sessionImages().isEmpty());
        run.state.undoStack()->undo();
        const QString earlier = folder->history().constFirst().pngPath();
        QVERIFY2(!earlier.startsWith(SessionStore::directory()) && QFile::exists(earlier), qPrintable(earlier));
    }

    void imagesOnlyUndoHoldsKeepTheirFilesAndComeBack()
    {
        TempTree tree;
        Run run;
        run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Music")))});
        const FolderItemPtr folder = run.at(0);
        const IconImage first = generate(folder, 0);
        QVERIFY(settled(run.state.applyIcon(folder->id(), false)));
        run.store.flush();
        const QString firstFile = first.pngFile();

        // Applied, it stays in the history; once another one is applied, a newer one pushes it out.
        for (int minute = 1; minute < FolderItem::historyLimit; ++minute)
            generate(folder, minute);
        QVERIFY(settled(run.state.applyIcon(folder->id(), false)));
        generate(folder, FolderItem::historyLimit);
        QVERIFY(!entryOf(folder, first));
        run.store.flush();
        QVERIFY(QFile::exists(firstFile)); // undoing the apply needs it

        // Undone, it is on the folder again and back in the history, applied, under its own file.
        run.state.undoStack()->undo();
        QTRY_COMPARE(directoryIcon(folder->url()), first.png());
        QTRY_VERIFY(entryOf(folder, first) && entryOf(folder, first)->applied);
        QCOMPARE(folder->history().size(), FolderItem::historyLimit - 1);
        run.store.flush();
        QCOMPARE(sessionImages().size(), FolderItem::historyLimit);

        // Out again, its file stays while the step does, and goes with it.
        run.state.undoStack()->redo();
        QTRY_VERIFY(!entryOf(folder, first)->applied);
        generate(folder, FolderItem::historyLimit + 1);
        run.store.flush();
        QVERIFY(QFile::exists(firstFile));
        run.state.undoStack()->clear();
        run.store.flush();
        QVERIFY(!QFile::exists(firstFile));

        // An earlier image chosen: the one it replaced, pushed out since, is current again when undone.
        const IconImage replaced = folder->generatedImage();
        QVERIFY(run.state.useHistoryImage(folder->id(), 0));
        for (int minute = 0; minute < FolderItem::historyLimit; ++minute)
            generate(folder, FolderItem::historyLimit + 2 + minute);
        QVERIFY(!entryOf(folder, replaced));
        run.store.flush();
        run.state.undoStack()->undo();
        QCOMPARE(folder->generatedImage(), replaced);
        QCOMPARE(folder->iconState(), IconState::generated());
        run.store.flush();
        QVERIFY(QFile::exists(replaced.pngFile()));
    }

    void turningOffDeletesAndStopsRemembering()
    {
        TempTree tree;
        {
            Run run;
            QVERIFY(run.store.isRememberingFolders());
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A")))});
            run.at(0)->setGeneratedImage(makeIcon(Qt::cyan));
            run.store.flush();
            QVERIFY(QFile::exists(sessionFile(QStringLiteral("session.json"))));

            QSignalSpy changed(&run.store, &SessionStore::isRememberingFoldersChanged);
            run.store.setRememberingFolders(false);
            QCOMPARE(changed.count(), 1);
            QVERIFY(!QFile::exists(sessionFile(QStringLiteral("session.json"))));
            QVERIFY(sessionImages().isEmpty());
            // The icon moved with its file to the process's private directory: nothing points at a deleted file.
            const IconImage moved = run.at(0)->generatedImage();
            QVERIFY(!moved.pngFile().isEmpty() && !moved.pngFile().startsWith(SessionStore::directory()));
            QCOMPARE(moved.png(), makeIcon(Qt::cyan).png());
            run.at(0)->setCustomPrompt(QStringLiteral("not kept"));
        }
        QVERIFY(!QFile::exists(sessionFile(QStringLiteral("session.json"))));
        {
            Run run;
            QVERIFY(!run.store.isRememberingFolders());
            QCOMPARE(run.outcome, SessionStore::RestoreOutcome::skipped);
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("B")))});
            run.at(0)->setGeneratedImage(makeIcon(Qt::cyan));
            run.store.flush();
            QVERIFY(!run.at(0)->generatedImage().pngFile().isEmpty());
            QVERIFY(sessionImages().isEmpty());
            run.store.setRememberingFolders(true);
        }
        Run run;
        QCOMPARE(run.state.folders().size(), 1);
        QVERIFY(!run.at(0)->generatedImage().isNull());
    }

    void secondInstanceNeitherRestoresNorSaves()
    {
        TempTree tree;
        Run first;
        first.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Mine")))});
        first.store.flush();

        Run second;
        QVERIFY(first.store.ownsSession());
        QVERIFY(!second.store.ownsSession());
        QCOMPARE(second.outcome, SessionStore::RestoreOutcome::skipped);
        QVERIFY(second.state.folders().isEmpty());
        second.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("Theirs")))});
        second.store.flush();
        const std::optional<SessionRecord> record =
            SessionRecord::fromJson(fileContent(sessionFile(QStringLiteral("session.json"))));
        QVERIFY(record && record->folders.size() == 1);
        QCOMPARE(record->folders.constFirst().url, dirUrl(tree.filePath(QStringLiteral("Mine"))));
    }

    void crashBeforeTheIndexIsReplacedKeepsTheOldSession()
    {
        TempTree tree;
        const IconImage icon = makeIcon(Qt::darkGreen);
        {
            Run run;
            run.state.addFolders({dirUrl(tree.makeDir(QStringLiteral("A"))), dirUrl(tree.makeDir(QStringLiteral("B")))});
            run.at(0)->setCustomPrompt(QStringLiteral("before"));
            run.at(0)->setGeneratedImage(icon);
            run.at(0)->setIconState(IconState::generated());
        }

        QProcess crasher;
        crasher.start(QStringLiteral(TAVRUNE_SESSION_CRASHER));
        QVERIFY(crasher.waitForFinished(30000));
        QCOMPARE(crasher.exitStatus(), QProcess::CrashExit);

        Run run;
        QCOMPARE(run.outcome, SessionStore::RestoreOutcome::restored);
        QCOMPARE(run.at(0)->customPrompt(), QStringLiteral("before"));
        QCOMPARE(run.at(1)->customPrompt(), QString());
        QCOMPARE(run.at(0)->generatedImage().png(), icon.png());
        // The dead process's lock and half-made files are gone once a new run took over and wrote.
        QVERIFY(run.store.ownsSession());
        run.at(1)->setCustomPrompt(QStringLiteral("after"));
        run.store.flush();
        const QStringList files = QDir(SessionStore::directory()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(files, (QStringList{sessionImages().constFirst(), RenditionFile::nameFor(sessionImages().constFirst()),
                                     QStringLiteral("session.json"), QStringLiteral("session.lock")}));
    }
};

QTEST_GUILESS_MAIN(TestSessionStore)
#include "tst_session_store.moc"
