#include "models/folder_item.h"

#include "temp_tree.h"

#include <QtTest>

#include <functional>

namespace {

QImage filledImage(QRgb color)
{
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

/// Assigning `first` notifies once however often it is repeated; a different value notifies again.
template <typename T, typename Setter, typename Getter, typename Signal>
void verifyNotifiesOnlyOnChange(const T &first, const T &second, Setter set, Getter get, Signal signal)
{
    const FolderItemPtr item = FolderItem::create(QUrl::fromLocalFile(QStringLiteral("/nonexistent/Stuff")),
                                                  SemanticCategory::documents);
    QSignalSpy spy(item.get(), signal);
    ((*item).*set)(first);
    QCOMPARE(spy.count(), 1);
    QVERIFY(((*item).*get)() == first);
    ((*item).*set)(first);
    QCOMPARE(spy.count(), 1);
    ((*item).*set)(second);
    QCOMPARE(spy.count(), 2);
    QVERIFY(((*item).*get)() == second);
    ((*item).*set)(second);
    QCOMPARE(spy.count(), 2);
    ((*item).*set)(first);
    QCOMPARE(spy.count(), 3);
}

} // namespace

class TestFolderItem final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newItemStartsWithDefaults()
    {
        const QUrl url = QUrl::fromLocalFile(QStringLiteral("/nonexistent/Stuff"));
        const FolderItemPtr item = FolderItem::create(url, SemanticCategory::games);
        QVERIFY(!item->id().isNull());
        QCOMPARE(item->url(), url);
        QCOMPARE(item->name(), QStringLiteral("Stuff"));
        QCOMPARE(item->detectedCategory(), SemanticCategory::games);
        QCOMPARE(item->iconState(), IconState::placeholder());
        QVERIFY(item->generatedImage().isNull());
        QCOMPARE(item->customPrompt(), QString());
        QCOMPARE(item->lastGeneratedPrompt(), std::nullopt);
        QCOMPARE(item->lastGeneratedAt(), std::nullopt);
        QCOMPARE(item->fileCount(), 0);
        QCOMPARE(item->folderSizeBytes(), 0);
        QVERIFY(item->topFiles().isEmpty());
    }

    void everyPropertyNotifiesOnlyWhenItsValueChanges()
    {
        verifyNotifiesOnlyOnChange(SemanticCategory::music, SemanticCategory::code, &FolderItem::setDetectedCategory,
                                   &FolderItem::detectedCategory, &FolderItem::detectedCategoryChanged);
        verifyNotifiesOnlyOnChange(IconState::generating(), IconState::failed(QStringLiteral("No key")),
                                   &FolderItem::setIconState, &FolderItem::iconState, &FolderItem::iconStateChanged);
        verifyNotifiesOnlyOnChange(IconState::failed(QStringLiteral("a")), IconState::failed(QStringLiteral("b")),
                                   &FolderItem::setIconState, &FolderItem::iconState, &FolderItem::iconStateChanged);
        verifyNotifiesOnlyOnChange(QStringLiteral("make it blue"), QString(), &FolderItem::setCustomPrompt,
                                   &FolderItem::customPrompt, &FolderItem::customPromptChanged);
        verifyNotifiesOnlyOnChange(std::optional(QStringLiteral("a prompt")), std::optional(QString()),
                                   &FolderItem::setLastGeneratedPrompt, &FolderItem::lastGeneratedPrompt,
                                   &FolderItem::lastGeneratedPromptChanged);
        verifyNotifiesOnlyOnChange(std::optional(QStringLiteral("a prompt")), std::optional<QString>(),
                                   &FolderItem::setLastGeneratedPrompt, &FolderItem::lastGeneratedPrompt,
                                   &FolderItem::lastGeneratedPromptChanged);
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(1'700'000'000'000, Qt::UTC);
        verifyNotifiesOnlyOnChange(std::optional(when), std::optional(when.addMSecs(1)),
                                   &FolderItem::setLastGeneratedAt, &FolderItem::lastGeneratedAt,
                                   &FolderItem::lastGeneratedAtChanged);
        verifyNotifiesOnlyOnChange(qint64(25), qint64(0), &FolderItem::setFileCount, &FolderItem::fileCount,
                                   &FolderItem::fileCountChanged);
        verifyNotifiesOnlyOnChange(qint64(1) << 40, qint64(-1), &FolderItem::setFolderSizeBytes,
                                   &FolderItem::folderSizeBytes, &FolderItem::folderSizeBytesChanged);
        const FileEntry entry{QUuid::createUuid(), QStringLiteral("a.txt"), false, 3};
        FileEntry renamed = entry;
        renamed.name = QStringLiteral("b.txt");
        verifyNotifiesOnlyOnChange(QList<FileEntry>{entry}, QList<FileEntry>{renamed}, &FolderItem::setTopFiles,
                                   &FolderItem::topFiles, &FolderItem::topFilesChanged);
    }

    // A new image with the same pixels is a new icon (the card must redraw it); handing the same
    // image back is not.
    void generatedImageChangesByIdentityNotByPixels()
    {
        const FolderItemPtr item = FolderItem::create(QUrl::fromLocalFile(QStringLiteral("/x/Stuff")),
                                                      SemanticCategory::documents);
        QSignalSpy spy(item.get(), &FolderItem::generatedImageChanged);

        const IconImage first{filledImage(0xff336699), QByteArray("png-1")};
        item->setGeneratedImage(first);
        QCOMPARE(spy.count(), 1);
        item->setGeneratedImage(first);
        QCOMPARE(spy.count(), 1);
        const IconImage copyOfFirst = first; // shares the image
        item->setGeneratedImage(copyOfFirst);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(item->generatedImage().cacheKey(), first.cacheKey());

        const IconImage lookalike{filledImage(0xff336699), QByteArray("png-1")};
        QCOMPARE(lookalike.renditions(), first.renditions()); // same pixels...
        item->setGeneratedImage(lookalike);
        QCOMPARE(spy.count(), 2); // ...but a different image

        item->setGeneratedImage(IconImage{});
        QCOMPARE(spy.count(), 3);
        QVERIFY(item->generatedImage().isNull());
        item->setGeneratedImage(IconImage{});
        QCOMPARE(spy.count(), 3);
    }

    void iconStatesCompareByCaseAndFailureMessage()
    {
        QCOMPARE(IconState(), IconState::placeholder());
        QCOMPARE(IconState::failed(QStringLiteral("x")), IconState::failed(QStringLiteral("x")));
        QCOMPARE_NE(IconState::failed(QStringLiteral("x")), IconState::failed(QStringLiteral("y")));
        QCOMPARE_NE(IconState::failed(QString()), IconState::placeholder());
        QCOMPARE(IconState::failed(QStringLiteral("Failed to apply icon to folder")).message(),
                 QStringLiteral("Failed to apply icon to folder"));
        const QList<IconState> distinct{IconState::placeholder(), IconState::generating(), IconState::generated(),
                                        IconState::applied(), IconState::failed(QStringLiteral("m"))};
        for (qsizetype i = 0; i < distinct.size(); ++i) {
            for (qsizetype j = 0; j < distinct.size(); ++j)
                QCOMPARE(distinct[i] == distinct[j], i == j);
        }
        QCOMPARE(IconState::applied().message(), QString());
    }

    void itemsAreEqualByIdNotByUrl()
    {
        const QUrl url = QUrl::fromLocalFile(QStringLiteral("/x/Stuff"));
        const FolderItemPtr a = FolderItem::create(url, SemanticCategory::code);
        const FolderItemPtr b = FolderItem::create(url, SemanticCategory::code);
        QCOMPARE_NE(a->id(), b->id());
        QVERIFY(!(*a == *b));
        QVERIFY(*a == *a);
        QCOMPARE(qHash(*a, 5), qHash(a->id(), 5));
    }

    void fileEntriesCompareAndHashOverAllFields()
    {
        const FileEntry entry{QUuid::createUuid(), QStringLiteral("a.txt"), false, 3};
        FileEntry same = entry;
        QCOMPARE(same, entry);
        QCOMPARE(qHash(same, 3), qHash(entry, 3));
        FileEntry other = entry;
        other.id = QUuid::createUuid();
        QCOMPARE_NE(other, entry);
        other = entry;
        other.isDirectory = true;
        QCOMPARE_NE(other, entry);
        other = entry;
        other.size = 4;
        QCOMPARE_NE(other, entry);
    }

    void displayNameIsTheLastPathComponent_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QUrl::fromLocalFile(QStringLiteral("/home/u/Projects")) << "Projects";
        QTest::newRow("trailing slash") << QUrl(QStringLiteral("file:///home/u/Projects/")) << "Projects";
        QTest::newRow("percent-encoded") << QUrl(QStringLiteral("file:///home/u/My%20Stuff")) << "My Stuff";
        QTest::newRow("unicode") << QUrl::fromLocalFile(QString::fromUtf8("/tmp/Fotos – 2024"))
                                 << QString::fromUtf8("Fotos – 2024");
        QTest::newRow("root") << QUrl(QStringLiteral("file:///")) << "/";
    }

    void displayNameIsTheLastPathComponent()
    {
        QFETCH(QUrl, url);
        QFETCH(QString, name);
        QCOMPARE(folderDisplayName(url), name);
    }

    // A generation running on a pool thread may hold the last reference; observers of the record
    // live on the main thread, so the record must die there.
    void recordReleasedOnAnotherThreadIsDeletedOnItsOwnThread()
    {
        FolderItemPtr item = FolderItem::create(QUrl::fromLocalFile(QStringLiteral("/x/Stuff")),
                                                SemanticCategory::code);
        QThread *deletedOn = nullptr;
        bool deleted = false;
        connect(item.get(), &QObject::destroyed, this, [&] {
            deleted = true;
            deletedOn = QThread::currentThread();
        }, Qt::DirectConnection);

        QThread *releasedOn = nullptr;
        std::unique_ptr<QThread> worker(QThread::create([held = std::move(item), &releasedOn]() mutable {
            releasedOn = QThread::currentThread();
            held.reset();
        }));
        worker->start();
        QVERIFY(worker->wait(30000));
        QVERIFY(releasedOn && releasedOn != QThread::currentThread());
        QVERIFY(!item);

        QTRY_VERIFY_WITH_TIMEOUT(deleted, 30000);
        QCOMPARE(deletedOn, QThread::currentThread());
    }

    void recordReleasedOnItsOwnThreadIsDeletedAtOnce()
    {
        FolderItemPtr item = FolderItem::create(QUrl::fromLocalFile(QStringLiteral("/x/Stuff")),
                                                SemanticCategory::code);
        QPointer<FolderItem> watch(item.get());
        item.reset();
        QVERIFY(watch.isNull());
    }
};

QTEST_GUILESS_MAIN(TestFolderItem)
#include "tst_folder_item.moc"
