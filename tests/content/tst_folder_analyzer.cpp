#include "content/folder_analyzer.h"

#include "temp_tree.h"
#include "test_files.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

QUrl urlOf(const QString &path) { return QUrl::fromLocalFile(path); }

void verifyEmpty(const FolderAnalyzer::Analysis &analysis)
{
    QVERIFY(analysis.topFiles.isEmpty());
    QCOMPARE(analysis.fileCount, 0);
    QCOMPARE(analysis.totalBytes, 0);
}

const FileEntry *entryNamed(const FolderAnalyzer::Analysis &analysis, const QString &name)
{
    for (const FileEntry &entry : analysis.topFiles) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

} // namespace

class TestFolderAnalyzer final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyFolderGivesNothing()
    {
        TempTree tree;
        verifyEmpty(FolderAnalyzer::analyze(urlOf(tree.makeDir(QStringLiteral("Empty")))));
    }

    void countsAndSumsEveryChildButListsTheFirst20InListingOrder()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Files"));
        QHash<QString, qint64> sizes;
        qint64 sum = 0;
        for (int i = 0; i < 25; ++i) {
            const QString name = QStringLiteral("file-%1.bin").arg(i);
            const qint64 size = 1000 + 37 * i;
            tree.makeFile(QStringLiteral("Files/") + name, QByteArray(size, 'x'));
            sizes.insert(name, size);
            sum += size;
        }

        const FolderAnalyzer::Analysis analysis = FolderAnalyzer::analyze(urlOf(folder));
        QCOMPARE(analysis.fileCount, 25);
        QCOMPARE(analysis.totalBytes, sum);
        QCOMPARE(analysis.topFiles.size(), 20);

        const QStringList order = listingOrder(folder);
        QSet<QUuid> ids;
        for (int i = 0; i < 20; ++i) {
            const FileEntry &entry = analysis.topFiles.at(i);
            QCOMPARE(entry.name, order.at(i));
            QCOMPARE(entry.size, sizes.value(entry.name));
            QVERIFY(!entry.isDirectory);
            QVERIFY(!entry.id.isNull());
            ids.insert(entry.id);
        }
        QCOMPARE(ids.size(), 20);
    }

    void everyAnalysisMakesNewEntryIds()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("One"));
        tree.makeFile(QStringLiteral("One/a.txt"), "abc");
        const auto first = FolderAnalyzer::analyze(urlOf(folder));
        const auto second = FolderAnalyzer::analyze(urlOf(folder));
        QCOMPARE(first.topFiles.size(), 1);
        QCOMPARE(second.topFiles.size(), 1);
        QCOMPARE(first.topFiles.first().name, second.topFiles.first().name);
        QCOMPARE_NE(first.topFiles.first(), second.topFiles.first());
    }

    void hiddenChildrenAreNeitherCountedNorListed()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Hidden"));
        tree.makeFile(QStringLiteral("Hidden/.env"), QByteArray(500, 'x'));
        tree.makeFile(QStringLiteral("Hidden/.git/config"), QByteArray(500, 'x'));
        verifyEmpty(FolderAnalyzer::analyze(urlOf(folder)));

        // Names are kept as the file system spells them; the folder's URL may end in a slash.
        const QString shown = QString::fromUtf8("Über straße – 日本.txt");
        tree.makeFile(QStringLiteral("Hidden/") + shown, "12345");
        const auto analysis = FolderAnalyzer::analyze(QUrl::fromLocalFile(folder + u'/'));
        QCOMPARE(analysis.fileCount, 1);
        QCOMPARE(analysis.totalBytes, 5);
        QCOMPARE(analysis.topFiles.size(), 1);
        QCOMPARE(analysis.topFiles.first().name, shown);
    }

    void subFoldersCountOnceAndAddNoBytes()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Outer"));
        for (int i = 0; i < 1000; ++i)
            tree.makeFile(QStringLiteral("Outer/Inner/f%1").arg(i), "0123456789");

        const auto analysis = FolderAnalyzer::analyze(urlOf(folder));
        QCOMPARE(analysis.fileCount, 1);
        QCOMPARE(analysis.totalBytes, 0);
        QCOMPARE(analysis.topFiles.size(), 1);
        QCOMPARE(analysis.topFiles.first().name, QStringLiteral("Inner"));
        QVERIFY(analysis.topFiles.first().isDirectory);
        QCOMPARE(analysis.topFiles.first().size, 0);
    }

    // Links and special files are reported as themselves: never followed into another folder,
    // never opened (a FIFO would block), and without bytes of their own.
    void linksAndSpecialFilesCountWithoutBytes()
    {
        TempTree tree;
        const QString outside = tree.makeFile(QStringLiteral("Elsewhere/big.bin"), QByteArray(4000, 'x'));
        const QString outsideDir = tree.makeDir(QStringLiteral("Elsewhere/Tree"));
        tree.makeFile(QStringLiteral("Elsewhere/Tree/content.bin"), QByteArray(3000, 'x'));
        const QString folder = tree.makeDir(QStringLiteral("Mixed"));
        tree.makeFile(QStringLiteral("Mixed/real.txt"), QByteArray(7, 'x'));
        QVERIFY(QFile::link(outside, folder + QStringLiteral("/to-file")));
        QVERIFY(QFile::link(outsideDir, folder + QStringLiteral("/to-dir")));
        QVERIFY(QFile::link(tree.filePath(QStringLiteral("nowhere")), folder + QStringLiteral("/dangling")));
        QCOMPARE(mkfifo(QFile::encodeName(folder + QStringLiteral("/pipe")).constData(), 0600), 0);

        const QByteArray socketPath = QFile::encodeName(folder + QStringLiteral("/sock"));
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(sock >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(socketPath.size()) < sizeof(address.sun_path));
        std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        const bool bound = ::bind(sock, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0;
        ::close(sock);
        QVERIFY(bound);

        const auto analysis = FolderAnalyzer::analyze(urlOf(folder));
        QCOMPARE(analysis.fileCount, 6);
        QCOMPARE(analysis.totalBytes, 7);
        QCOMPARE(analysis.topFiles.size(), 6);
        const QStringList special{QStringLiteral("to-file"), QStringLiteral("to-dir"), QStringLiteral("dangling"),
                                  QStringLiteral("pipe"), QStringLiteral("sock")};
        for (const QString &name : special) {
            const FileEntry *entry = entryNamed(analysis, name);
            QVERIFY2(entry, qPrintable(name));
            QVERIFY2(!entry->isDirectory, qPrintable(name));
            QCOMPARE(entry->size, 0);
        }
        QCOMPARE(entryNamed(analysis, QStringLiteral("real.txt"))->size, 7);
    }

    void pathsThatAreNotReadableFoldersGiveNothing()
    {
        TempTree tree;
        verifyEmpty(FolderAnalyzer::analyze(urlOf(tree.filePath(QStringLiteral("Absent")))));
        verifyEmpty(FolderAnalyzer::analyze(urlOf(tree.makeFile(QStringLiteral("plain.txt"), "content"))));
        verifyEmpty(FolderAnalyzer::analyze(QUrl(QStringLiteral("https://example.invalid/folder"))));
        verifyEmpty(FolderAnalyzer::analyze(QUrl()));

        const QString fifo = tree.filePath(QStringLiteral("pipe"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        verifyEmpty(FolderAnalyzer::analyze(urlOf(fifo)));

        if (geteuid() == 0) // root reads every directory whatever its mode
            QSKIP("running as root: permissions are not enforced");
        const QString locked = tree.makeDir(QStringLiteral("Locked"));
        tree.makeFile(QStringLiteral("Locked/a.txt"), "abc");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        verifyEmpty(FolderAnalyzer::analyze(urlOf(locked)));

        // Listable but not searchable: the names are there, their sizes are not.
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner));
        const auto listed = FolderAnalyzer::analyze(urlOf(locked));
        QCOMPARE(listed.fileCount, 1);
        QCOMPARE(listed.totalBytes, 0);
        QCOMPARE(listed.topFiles.size(), 1);
        QCOMPARE(listed.topFiles.first().name, QStringLiteral("a.txt"));
        QVERIFY(!listed.topFiles.first().isDirectory);
        QVERIFY(QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }
};

QTEST_GUILESS_MAIN(TestFolderAnalyzer)
#include "tst_folder_analyzer.moc"
