#include "desktop/desktop_entry_icon.h"
#include "desktop/folder_icon_service.h"
#include "kconfig_reader.h"
#include "solid_icon.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QBuffer>
#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <gio/gio.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kCustomIconKey[] = "metadata::custom-icon";
constexpr char kThunarIconKey[] = "metadata::thunar-custom-icon-name";

IconImage makeIcon(const QColor &color)
{
    return solidIcon(color, 48);
}

QUrl urlOf(const QString &path)
{
    return QUrl::fromLocalFile(path);
}

QString metadata(const QString &path, const char *key)
{
    GFile *file = g_file_new_for_path(QFile::encodeName(path).constData());
    GFileInfo *info = g_file_query_info(file, key, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    QString value;
    if (info && g_file_info_get_attribute_string(info, key))
        value = QString::fromUtf8(g_file_info_get_attribute_string(info, key));
    if (info)
        g_object_unref(info);
    g_object_unref(file);
    return value;
}

bool setMetadata(const QString &path, const char *key, const QString &value)
{
    GFile *file = g_file_new_for_path(QFile::encodeName(path).constData());
    const bool ok = g_file_set_attribute_string(file, key, value.toUtf8().constData(), G_FILE_QUERY_INFO_NONE,
                                                nullptr, nullptr);
    g_object_unref(file);
    return ok;
}

QString pathOfUri(const QString &uri)
{
    return QUrl(uri).toLocalFile();
}

// Read with GKeyFile itself, independent of the code under test.
QString directoryFileIcon(const QString &folder)
{
    GKeyFile *file = g_key_file_new();
    QString value;
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/.directory"));
    if (g_key_file_load_from_file(file, path.constData(), G_KEY_FILE_NONE, nullptr)) {
        gchar *icon = g_key_file_get_string(file, "Desktop Entry", "Icon", nullptr);
        value = icon ? QString::fromUtf8(icon) : QString();
        g_free(icon);
    }
    g_key_file_free(file);
    return value;
}

QStringList iconFiles()
{
    return QDir(FolderIconService::iconDirectory()).entryList(QDir::Files | QDir::Hidden);
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void setModificationTime(const QString &path, time_t seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

constexpr time_t kLongAgo = 1000000000; // 2001-09-09

struct stat statusOf(const QString &path)
{
    struct stat status = {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status;
}

// What GNOME Files, Nemo and Caja read: the gvfs metadata as the `gio` tool reports it.
QMap<QString, QString> gioInfo(const QString &path)
{
    QProcess gio;
    gio.start(QStringLiteral("gio"), {QStringLiteral("info"), QStringLiteral("-a"),
                                      QStringLiteral("metadata::custom-icon,metadata::thunar-custom-icon-name"), path});
    gio.waitForFinished(30000);
    QMap<QString, QString> values;
    for (const QByteArray &line : gio.readAllStandardOutput().split('\n')) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype colon = trimmed.indexOf(": ");
        if (trimmed.startsWith("metadata::") && colon > 0)
            values.insert(QString::fromUtf8(trimmed.left(colon)), QString::fromUtf8(trimmed.mid(colon + 2)));
    }
    return values;
}

QStringList journalFiles()
{
    return QDir(QFileInfo(FolderIconService::iconDirectory()).absolutePath() + QStringLiteral("/journal"))
        .entryList(QDir::Files | QDir::Hidden);
}

constexpr uid_t kOtherUser = 65534; // nobody

// What Dolphin shows for the folder.
std::optional<QString> dolphinIcon(const QString &folder)
{
    return KConfigReader::directoryIcon(fileContent(folder + QStringLiteral("/.directory")));
}

using Refusal = FolderIconService::ApplyResult::Refusal;

} // namespace

/// Collects KDirNotify signals; D-Bus signals can only be connected by name.
class KDirNotifyListener final : public QObject
{
    Q_OBJECT
public:
    QList<QStringList> received;
public Q_SLOTS:
    void filesChanged(const QStringList &urls) { received.append(urls); }
};

class TestFolderIconService final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // The test command installs gvfs; without it the metadata half goes untested, which must not pass.
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("probe"));
        QVERIFY2(setMetadata(folder, kCustomIconKey, QStringLiteral("file:///probe.png")),
                 "GIO metadata is not writable: gvfs (gvfs, gvfs-daemons) and a session bus are needed");
        QCOMPARE(metadata(folder, kCustomIconKey), QStringLiteral("file:///probe.png"));
    }

    void cleanup()
    {
        QDir(FolderIconService::iconDirectory()).removeRecursively();
        QDir(QFileInfo(FolderIconService::iconDirectory()).absolutePath() + QStringLiteral("/journal")).removeRecursively();
    }

    void writesTheIconForEveryFileManagerAndResetTakesItAllBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QStringLiteral("Music");
        QTest::newRow("spaces and non-ASCII") << QStringLiteral("Mein Ordner – Überblick 日本 #1");
    }

    void writesTheIconForEveryFileManagerAndResetTakesItAllBack()
    {
        QFETCH(QString, name);
        TempTree tree;
        const QString folder = tree.makeDir(name);
        const IconImage icon = makeIcon(Qt::red);

        QVERIFY(FolderIconService::applyIcon(icon, urlOf(folder)));
        const QString iconPath = pathOfUri(metadata(folder, kCustomIconKey));
        QVERIFY(iconPath.startsWith(FolderIconService::iconDirectory() + QLatin1Char('/')));
        QCOMPARE(fileContent(iconPath), icon.png());
        QCOMPARE(metadata(folder, kThunarIconKey), iconPath);
        QCOMPARE(directoryFileIcon(folder), iconPath);
        QCOMPARE(statusOf(folder + QStringLiteral("/.directory")).st_mode & 07777, mode_t(0666 & ~currentUmask()));
        QCOMPARE(entriesOf(folder), QStringList{QStringLiteral(".directory")});

        FolderIconService::resetIcon(urlOf(folder));
        QVERIFY(entriesOf(folder).isEmpty());
        QVERIFY(metadata(folder, kCustomIconKey).isEmpty());
        QVERIFY(metadata(folder, kThunarIconKey).isEmpty());
        QVERIFY(iconFiles().isEmpty());
    }

    // Where the line goes in every kind of file is DesktopEntryIcon's (tst_desktop_entry_icon); here the
    // user's file is rewritten with exactly that text, keeps its mode and leaves no temporary file.
    void addsOnlyTheIconLineToTheUsersDirectoryFile()
    {
        const QByteArray dolphin = "[Dolphin]\nTimestamp=2024,5,1,10,0,0.0\nVersion=4\nViewMode=1\n\n"
                                   "[Settings]\nHiddenFilesShown=true\n\n[File Manager]\nSortOrder=1\n";
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Songs"));
        const QByteArray entry = "# Set by hand, keep.\n[Desktop Entry]\n";
        const QString directoryFile = tree.makeFile(QStringLiteral("Songs/.directory"), entry + "Comment=Mine\n\n" + dolphin);
        QFile::setPermissions(directoryFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);

        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::blue), urlOf(folder)));
        const QString iconPath = directoryFileIcon(folder);
        QVERIFY(!iconPath.isEmpty());
        QCOMPARE(fileContent(directoryFile), entry + "Icon=" + iconPath.toUtf8() + "\nComment=Mine\n\n" + dolphin);
        QCOMPARE(statusOf(directoryFile).st_mode & 07777, mode_t(0640));
        QCOMPARE(entriesOf(folder), QStringList{QStringLiteral(".directory")}); // no temporary file left
    }

    void replacesThePreviousIcon()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Work"));
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder)));
        const QString first = directoryFileIcon(folder);

        const IconImage second = makeIcon(Qt::yellow);
        QVERIFY(FolderIconService::applyIcon(second, urlOf(folder)));
        const QString replaced = directoryFileIcon(folder);
        QVERIFY(replaced != first); // file managers cache by path: new content, new name
        QVERIFY(!QFileInfo::exists(first));
        QCOMPARE(fileContent(replaced), second.png());
        QCOMPARE(pathOfUri(metadata(folder, kCustomIconKey)), replaced);
        QCOMPARE(metadata(folder, kThunarIconKey), replaced);

        // The same image again succeeds, and dates move again.
        setModificationTime(folder, kLongAgo);
        QVERIFY(FolderIconService::applyIcon(second, urlOf(folder)));
        QCOMPARE(directoryFileIcon(folder), replaced);
        QCOMPARE(iconFiles().size(), 1);
        QVERIFY(statusOf(folder).st_mtim.tv_sec > kLongAgo);
    }

    void refusesWhatIsNotAnExistingFolderWithoutATrace_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("local");
        QTest::newRow("missing") << QStringLiteral("parent/missing") << true;
        QTest::newRow("a file") << QStringLiteral("parent/notes.txt") << true;
        QTest::newRow("not a local URL") << QStringLiteral("parent") << false;
    }

    void refusesWhatIsNotAnExistingFolderWithoutATrace()
    {
        QFETCH(QString, relative);
        QFETCH(bool, local);
        TempTree tree;
        const QString parent = tree.makeDir(QStringLiteral("parent"));
        tree.makeFile(QStringLiteral("parent/notes.txt"), "hello");
        setModificationTime(parent, kLongAgo);
        const QString target = tree.filePath(relative);
        const QUrl url = local ? urlOf(target) : QUrl(QStringLiteral("sftp://host") + target);

        QVERIFY(!FolderIconService::applyIcon(makeIcon(Qt::red), url));

        QCOMPARE(statusOf(parent).st_mtim.tv_sec, kLongAgo);
        QCOMPARE(entriesOf(parent), QStringList{QStringLiteral("notes.txt")});
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(metadata(target, kCustomIconKey).isEmpty());
    }

    void refusesAnIconWithoutPngBytes()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Empty"));
        QImage red(48, 48, QImage::Format_ARGB32_Premultiplied);
        red.fill(Qt::red);
        const IconImage withoutBytes(red, QByteArray());
        const IconImage notPng(red, "definitely not a PNG");

        QVERIFY(!FolderIconService::applyIcon(withoutBytes, urlOf(folder)));
        QVERIFY(!FolderIconService::applyIcon(notPng, urlOf(folder)));
        QVERIFY(entriesOf(folder).isEmpty());
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(metadata(folder, kCustomIconKey).isEmpty());
    }

    void setsFolderAndParentToTheSameMoment()
    {
        TempTree tree;
        const QString parent = tree.makeDir(QStringLiteral("Desktop"));
        const QString folder = tree.makeDir(QStringLiteral("Desktop/Photos"));
        setModificationTime(folder, kLongAgo);
        setModificationTime(parent, kLongAgo);

        const qint64 before = QDateTime::currentSecsSinceEpoch();
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::cyan), urlOf(folder)));
        const qint64 after = QDateTime::currentSecsSinceEpoch();

        const struct timespec folderTime = statusOf(folder).st_mtim;
        const struct timespec parentTime = statusOf(parent).st_mtim;
        QCOMPARE(folderTime.tv_sec, parentTime.tv_sec);
        QCOMPARE(folderTime.tv_nsec, parentTime.tv_nsec);
        QVERIFY(folderTime.tv_sec >= before && folderTime.tv_sec <= after);
    }

    void resetLeavesForeignIconsAlone()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Theirs"));
        const QByteArray original = "[Desktop Entry]\nIcon=folder-music\n";
        const QString directoryFile = tree.makeFile(QStringLiteral("Theirs/.directory"), original);
        const QString foreign = QStringLiteral("file:///usr/share/icons/hicolor/48x48/apps/other.png");
        QVERIFY(setMetadata(folder, kCustomIconKey, foreign));
        const QString bare = tree.makeDir(QStringLiteral("Bare"));

        FolderIconService::resetIcon(urlOf(folder));
        FolderIconService::resetIcon(urlOf(bare));

        QCOMPARE(fileContent(directoryFile), original);
        QCOMPARE(metadata(folder, kCustomIconKey), foreign);
        QVERIFY(entriesOf(bare).isEmpty());
    }

    void leavesADirectoryFileItMayNotRewriteAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<Refusal>("refusal");
        QTest::addColumn<QString>("warning");
        const QString dolphin = QStringLiteral("Applied, but Dolphin and PCManFM-Qt will not show it: ");
        QTest::newRow("symbolic link to a file")
            << QStringLiteral("link") << Refusal::notAFile << dolphin + QStringLiteral("“.directory” is not a regular file");
        QTest::newRow("directory")
            << QStringLiteral("directory") << Refusal::notAFile << dolphin + QStringLiteral("“.directory” is not a regular file");
        QTest::newRow("read-only")
            << QStringLiteral("read-only") << Refusal::readOnlyFile << dolphin + QStringLiteral("“.directory” is read-only");
        QTest::newRow("someone else's") << QStringLiteral("other owner") << Refusal::otherOwner
                                        << dolphin + QStringLiteral("“.directory” belongs to another user");
    }

    // The metadata still takes the icon, so applying succeeds, but says who will not show it; the
    // .directory stays as it was.
    void leavesADirectoryFileItMayNotRewriteAlone()
    {
        QFETCH(QString, kind);
        QFETCH(Refusal, refusal);
        QFETCH(QString, warning);
        if (kind == u"other owner" && ::geteuid() != 0)
            QSKIP("only root can hand files to another user");
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Guarded"));
        const QByteArray original = "[Dolphin]\nViewMode=1\n";
        const QString directoryFile = folder + QStringLiteral("/.directory");
        // What must keep its bytes: the file itself, or the link's target.
        const bool inPlace = kind == u"read-only" || kind == u"other owner";
        const QString content = tree.makeFile(inPlace ? QStringLiteral("Guarded/.directory")
                                                      : QStringLiteral("shared.directory"), original);
        if (kind == u"link")
            QVERIFY(QFile::link(content, directoryFile));
        if (kind == u"directory")
            tree.makeFile(QStringLiteral("Guarded/.directory/inside"), "x");
        if (kind == u"read-only")
            QVERIFY(QFile::setPermissions(directoryFile, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        if (kind == u"other owner")
            QCOMPARE(::chown(QFile::encodeName(directoryFile).constData(), kOtherUser, kOtherUser), 0);
        const struct stat before = statusOf(directoryFile);

        const FolderIconService::ApplyResult result = FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder));
        QVERIFY(result.applied() && result.partial() && result.metadataTaken());
        QCOMPARE(result.directoryFile, refusal);
        QCOMPARE(result.warning(), warning);
        QVERIFY(!metadata(folder, kCustomIconKey).isEmpty());
        const struct stat after = statusOf(directoryFile);
        QCOMPARE(after.st_ino, before.st_ino);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(fileContent(content), original);
        const bool reset = FolderIconService::resetIcon(urlOf(folder));
        if (inPlace)
            QVERIFY(reset); // a file that was never rewritten has nothing to give back
        QCOMPARE(statusOf(directoryFile).st_ino, before.st_ino);
        QCOMPARE(statusOf(directoryFile).st_mode, before.st_mode);
        QCOMPARE(fileContent(content), original);
        if (kind == u"directory")
            QCOMPARE(entriesOf(directoryFile), QStringList{QStringLiteral("inside")});
        QVERIFY(iconFiles().isEmpty());
    }

    void announcesChangesOnTheSessionBus()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Announced"));
        KDirNotifyListener listener;
        QVERIFY(QDBusConnection::sessionBus().connect(QString(), QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"),
                                                      QStringLiteral("FilesChanged"), &listener,
                                                      SLOT(filesChanged(QStringList))));

        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::gray), urlOf(folder)));
        QTRY_COMPARE_WITH_TIMEOUT(listener.received.size(), 1, 10000);
        QCOMPARE(listener.received.first(), QStringList{QUrl::fromLocalFile(folder).toString()});

        // Taking the icon off is shown at once too, to the file managers that watch modification times.
        setModificationTime(folder, kLongAgo);
        setModificationTime(tree.path(), kLongAgo);
        QVERIFY(FolderIconService::resetIcon(urlOf(folder)));
        QTRY_COMPARE_WITH_TIMEOUT(listener.received.size(), 2, 10000);
        QCOMPARE(listener.received.last(), QStringList{QUrl::fromLocalFile(folder).toString()});
        QVERIFY(statusOf(folder).st_mtim.tv_sec > kLongAgo);
        QVERIFY(statusOf(tree.path()).st_mtim.tv_sec > kLongAgo);
    }

    void appliesThroughTheDirectoryFileWithoutSessionBus()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Offline"));
        const QString blocked = tree.makeDir(QStringLiteral("Blocked"));
        tree.makeDir(QStringLiteral("Blocked/.directory"));
        const IconImage icon = makeIcon(Qt::darkBlue);
        const QString png = tree.makeFile(QStringLiteral("icon.png"), icon.png());

        QCOMPARE(probe({QStringLiteral("apply"), folder, png}), 0);
        const QString iconPath = directoryFileIcon(folder);
        QVERIFY(iconPath.startsWith(FolderIconService::iconDirectory() + QLatin1Char('/')));
        QCOMPARE(fileContent(iconPath), icon.png());
        QVERIFY(metadata(folder, kCustomIconKey).isEmpty());

        // With neither mechanism available the failure is reported and the written PNG is taken back.
        QCOMPARE(probe({QStringLiteral("apply"), blocked, png}), 1);
        QCOMPARE(iconFiles(), QStringList{QFileInfo(iconPath).fileName()});

        QCOMPARE(probe({QStringLiteral("reset"), folder}), 0);
        QVERIFY(entriesOf(folder).isEmpty());
        QVERIFY(iconFiles().isEmpty());
    }

    void resetGivesTheDirectoryFileBackExactly_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<bool>("otherOwner"); // a file of the folder's owner, edited by root
        QTest::newRow("no final line break") << QByteArray("[Dolphin]\nViewMode=1") << false;
        QTest::newRow("header last, no line break") << QByteArray("[Dolphin]\nViewMode=1\n[Desktop Entry]") << false;
        QTest::newRow("empty group before others") << QByteArray("[Desktop Entry]\n[Dolphin]\nViewMode=1\n") << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("header only") << QByteArray("[Desktop Entry]\n") << false;
        QTest::newRow("the user's icon") << QByteArray("[Desktop Entry]\nIcon=folder-green") << false;
        QTest::newRow("the user's icon, spaced") << QByteArray("[Desktop Entry]\nIcon = folder-red\n") << false;
        QTest::newRow("windows line breaks") << QByteArray("[Desktop Entry]\r\nComment=x\r\n[Dolphin]\r\nV=4\r\n") << false;
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[Dolphin]\nVersion=4\n") << false;
        QTest::newRow("owned by the folder's owner") << QByteArray("[Dolphin]\nViewMode=1\n") << true;
        // What KConfig reads and GKeyFile does not, or reads otherwise.
        QTest::newRow("icon to expand") << QByteArray("[Desktop Entry]\nIcon[$e]=$HOME/mine.png\n[Dolphin]\nV=4\n") << false;
        QTest::newRow("byte order mark, icon") << QByteArray("\xEF\xBB\xBF[Desktop Entry]\nIcon=folder-red\n") << false;
        QTest::newRow("byte order mark, windows") << QByteArray("\xEF\xBB\xBF[Desktop Entry]\r\nIcon=a\r\n") << false;
        QTest::newRow("line without =") << QByteArray("[Desktop Entry]\nnot a key\nIcon=folder-blue\n") << false;
        QTest::newRow("group after others") << QByteArray("[Dolphin]\nV=4\n[Desktop Entry]\nIcon=folder-a\n") << false;
        QTest::newRow("group twice")
            << QByteArray("[Desktop Entry]\nIcon=folder-a\n[Dolphin]\nV=4\n[Desktop Entry]\nIcon=folder-b\n") << false;
        QTest::newRow("duplicate key") << QByteArray("[Desktop Entry]\nIcon=folder-a\n Icon = folder-b \n") << false;
        QTest::newRow("localized icon only") << QByteArray("[Desktop Entry]\nIcon[de]=ordner\nComment=x\n") << false;
        QTest::newRow("default-locale icon") << QByteArray("[Desktop Entry]\nIcon=folder-a\nIcon[C]=folder-b\n") << false;
        QTest::newRow("deleted icon") << QByteArray("[Desktop Entry]\nIcon[$d]\nComment=x\n") << false;
        QTest::newRow("locked group") << QByteArray("[Desktop Entry][$i]\nIcon=folder-a\n") << false;
        QTest::newRow("broken header") << QByteArray("[Desktop Entry\nIcon=folder-x\n") << false;
        QTest::newRow("key before any group") << QByteArray("Icon=x\n[Dolphin]\nV=4") << false;
        QTest::newRow("escaped value") << QByteArray("[Desktop Entry]\nIcon=\\sfolder\\\\odd\\x41\n") << false;
    }

    void resetGivesTheDirectoryFileBackExactly()
    {
        QFETCH(QByteArray, original);
        QFETCH(bool, otherOwner);
        if (otherOwner && ::geteuid() != 0)
            QSKIP("only root can hand files to another user");
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Songs"));
        const QString directoryFile = tree.makeFile(QStringLiteral("Songs/.directory"), original);
        QVERIFY(QFile::setPermissions(directoryFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        if (otherOwner) {
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), kOtherUser, kOtherUser), 0);
            QCOMPARE(::chown(QFile::encodeName(directoryFile).constData(), kOtherUser, kOtherUser), 0);
        }
        const struct stat before = statusOf(directoryFile);

        // Two applies: the second must not record the first one's icon as the user's.
        const FolderIconService::ApplyResult first = FolderIconService::applyIcon(makeIcon(Qt::blue), urlOf(folder));
        QVERIFY(first.applied() && !first.partial());
        QCOMPARE(dolphinIcon(folder), std::optional(pathOfUri(gioInfo(folder).value(QLatin1String(kCustomIconKey)))));
        const FolderIconService::ApplyResult second = FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder));
        QVERIFY(second.applied() && !second.partial());
        const QString applied = pathOfUri(gioInfo(folder).value(QLatin1String(kCustomIconKey)));
        QVERIFY(QFileInfo(applied).isFile());
        QCOMPARE(dolphinIcon(folder), std::optional(applied));
        QVERIFY(FolderIconService::isIconApplied(urlOf(folder)));
        QCOMPARE(statusOf(directoryFile).st_uid, before.st_uid);

        QVERIFY(FolderIconService::resetIcon(urlOf(folder)));
        const struct stat after = statusOf(directoryFile);
        QCOMPARE(fileContent(directoryFile), original);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_uid, before.st_uid);
        QCOMPARE(after.st_gid, before.st_gid);
        QCOMPARE(entriesOf(folder), QStringList{QStringLiteral(".directory")});
        QVERIFY(gioInfo(folder).isEmpty());
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(journalFiles().isEmpty());
        QVERIFY(!FolderIconService::isIconApplied(urlOf(folder)));
    }

    void resetGivesTheUsersMetadataIconBack()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Theirs"));
        const QString changed = tree.makeDir(QStringLiteral("Changed"));
        const QString theirs = QStringLiteral("file:///usr/share/icons/hicolor/48x48/apps/theirs.png");
        QVERIFY(setMetadata(folder, kCustomIconKey, theirs));
        QVERIFY(setMetadata(folder, kThunarIconKey, QStringLiteral("/usr/share/thunar.png")));

        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder)));
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::green), urlOf(changed)));
        QVERIFY(gioInfo(folder).value(QLatin1String(kCustomIconKey)) != theirs);
        // Chosen by the user after ours: it stays when ours goes.
        QVERIFY(setMetadata(changed, kCustomIconKey, theirs));

        QVERIFY(FolderIconService::resetIcon(urlOf(folder)));
        QVERIFY(FolderIconService::resetIcon(urlOf(changed)));
        const QMap<QString, QString> restored{{QLatin1String(kCustomIconKey), theirs},
                                              {QLatin1String(kThunarIconKey), QStringLiteral("/usr/share/thunar.png")}};
        QCOMPARE(gioInfo(folder), restored);
        QCOMPARE(gioInfo(changed), (QMap<QString, QString>{{QLatin1String(kCustomIconKey), theirs}}));
        QVERIFY(iconFiles().isEmpty());
    }

    void keepsTheIconFileWhileSomethingStillNamesIt()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Half"));
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder)));
        const QString icon = pathOfUri(gioInfo(folder).value(QLatin1String(kCustomIconKey)));

        // Without a session bus the metadata cannot be given back: its icon file must stay.
        QCOMPARE(probe({QStringLiteral("reset"), folder}), 1);
        QVERIFY(entriesOf(folder).isEmpty());
        QCOMPARE(pathOfUri(gioInfo(folder).value(QLatin1String(kCustomIconKey))), icon);
        QVERIFY(QFileInfo(icon).isFile());

        QVERIFY(FolderIconService::resetIcon(urlOf(folder)));
        QVERIFY(gioInfo(folder).isEmpty());
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(journalFiles().isEmpty());
    }

    void reapplyAndResetInAReadOnlyFolder_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::newRow("our own .directory") << QByteArray();
        QTest::newRow("the user's .directory") << QByteArray("[Desktop Entry]\nIcon=folder-red\n[Dolphin]\nV=4\n");
    }

    // A folder made read-only after the first apply cannot take a file beside `.directory`: the file is
    // rewritten where it is, so Dolphin follows every change.
    void reapplyAndResetInAReadOnlyFolder()
    {
        QFETCH(QByteArray, original);
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Frozen"));
        const QString directoryFile = folder + QStringLiteral("/.directory");
        if (!original.isNull())
            tree.makeFile(QStringLiteral("Frozen/.directory"), original);
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder)));
        if (!makeReadOnly(folder, true))
            QSKIP("cannot make a folder read-only for this user on this file system");

        const FolderIconService::ApplyResult applied = FolderIconService::applyIcon(makeIcon(Qt::blue), urlOf(folder));
        const QString blue = pathOfUri(metadata(folder, kCustomIconKey));
        const std::optional<QString> shown = dolphinIcon(folder);
        const bool reset = FolderIconService::resetIcon(urlOf(folder));
        const QByteArray afterReset = fileContent(directoryFile);
        const std::optional<QString> shownAfterReset = dolphinIcon(folder);
        makeReadOnly(folder, false);
        QVERIFY(applied.applied() && !applied.partial());
        QCOMPARE(shown, std::optional(blue));
        QVERIFY(shownAfterReset == std::nullopt || !shownAfterReset->startsWith(FolderIconService::iconDirectory()));
        QVERIFY(metadata(folder, kCustomIconKey).isEmpty());
        if (original.isNull()) {
            // The file cannot go while the folder is read-only: it is emptied, and goes with the next reset.
            QVERIFY(!reset);
            QVERIFY(afterReset.isEmpty());
            QVERIFY(FolderIconService::resetIcon(urlOf(folder)));
            QVERIFY(entriesOf(folder).isEmpty());
        } else {
            QVERIFY(reset);
            QCOMPARE(afterReset, original);
        }
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(journalFiles().isEmpty());
    }

    void givesANewDirectoryFileToTheFolderOwner()
    {
        if (::geteuid() != 0)
            QSKIP("only root writes into another user's folder");
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Someone"));
        QCOMPARE(::chown(QFile::encodeName(folder).constData(), kOtherUser, kOtherUser), 0);
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(folder)));
        QCOMPARE(statusOf(folder + QStringLiteral("/.directory")).st_uid, kOtherUser);
        QCOMPARE(statusOf(folder + QStringLiteral("/.directory")).st_gid, gid_t(kOtherUser));
    }

    void treatsALinkAndItsFolderAsOne_data()
    {
        QTest::addColumn<bool>("applyThroughLink");
        QTest::newRow("apply through the link") << true;
        QTest::newRow("reset through the link") << false;
    }

    void treatsALinkAndItsFolderAsOne()
    {
        QFETCH(bool, applyThroughLink);
        TempTree tree;
        const QString real = tree.makeDir(QStringLiteral("Real"));
        const QString link = tree.filePath(QStringLiteral("Link"));
        QVERIFY(QFile::link(real, link));
        const QString applyTo = applyThroughLink ? link : real;
        const QString resetFrom = applyThroughLink ? real : link;

        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(applyTo)));
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::blue), urlOf(resetFrom)));
        QCOMPARE(iconFiles().size(), 1);
        // File managers list the link as an item of its own, with its own metadata: both name the icon.
        const QMap<QString, QString> keys = gioInfo(real);
        QVERIFY(keys.contains(QLatin1String(kCustomIconKey)));
        QCOMPARE(gioInfo(link), keys);
        QCOMPARE(dolphinIcon(real), std::optional(keys.value(QLatin1String(kThunarIconKey))));
        QVERIFY(FolderIconService::isIconApplied(urlOf(link)));
        QVERIFY(FolderIconService::isIconApplied(urlOf(real)));

        QVERIFY(FolderIconService::resetIcon(urlOf(resetFrom)));
        QVERIFY(gioInfo(real).isEmpty());
        QVERIFY(gioInfo(link).isEmpty());
        QVERIFY(entriesOf(real).isEmpty());
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(journalFiles().isEmpty());
    }

    void resetOfAVanishedFolderLeavesNoMetadataForTheNextOne_data()
    {
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("the folder") << false;
        QTest::newRow("through a link") << true;
    }

    // Deleted behind gvfs's back, a folder's metadata stays with its path: a folder made again there
    // must not point at an icon file that reset deletes.
    void resetOfAVanishedFolderLeavesNoMetadataForTheNextOne()
    {
        QFETCH(bool, throughLink);
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Gone/Soon"));
        const QString link = tree.filePath(QStringLiteral("Link"));
        QVERIFY(QFile::link(folder, link));
        const QString added = throughLink ? link : folder;
        QVERIFY(FolderIconService::applyIcon(makeIcon(Qt::red), urlOf(added)));
        QVERIFY(!gioInfo(added).isEmpty());

        QVERIFY(QDir(tree.filePath(QStringLiteral("Gone"))).removeRecursively());
        QVERIFY(FolderIconService::resetIcon(urlOf(added)));
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(journalFiles().isEmpty());
        QVERIFY(!QFileInfo::exists(tree.filePath(QStringLiteral("Gone")))); // the stand-in went again

        tree.makeDir(QStringLiteral("Gone/Soon"));
        QVERIFY(gioInfo(folder).isEmpty());
        QVERIFY(gioInfo(link).isEmpty());
    }

    void followsARenameAndResetStillGivesBackTheOriginal_data()
    {
        QTest::addColumn<QByteArray>("directoryFile"); // empty: none
        QTest::addColumn<QString>("theirIcon");        // empty: none
        QTest::newRow("nothing before") << QByteArray() << QString();
        QTest::newRow("the user's own icons")
            << QByteArray("# mine\n[Desktop Entry]\nIcon=folder-blue\n\n[Dolphin]\nViewMode=1\n")
            << QStringLiteral("file:///usr/share/icons/hicolor/48x48/apps/theirs.png");
    }
    void followsARenameAndResetStillGivesBackTheOriginal()
    {
        QFETCH(QByteArray, directoryFile);
        QFETCH(QString, theirIcon);
        TempTree tree;
        const QString before = tree.makeDir(QStringLiteral("Untitled Folder"));
        const QString after = tree.filePath(QStringLiteral("Tax Returns"));
        if (!directoryFile.isEmpty())
            tree.makeFile(QStringLiteral("Untitled Folder/.directory"), directoryFile);
        if (!theirIcon.isEmpty())
            QVERIFY(setMetadata(before, kCustomIconKey, theirIcon));
        const IconImage icon = makeIcon(Qt::red);
        QVERIFY(FolderIconService::applyIcon(icon, urlOf(before)));

        // Renamed behind gvfs's back, as a file manager without gvfs (or `mv`) does.
        QCOMPARE(::rename(QFile::encodeName(before).constData(), QFile::encodeName(after).constData()), 0);
        QVERIFY(FolderIconService::followRename(urlOf(before), urlOf(after)));
        const QString iconPath = pathOfUri(gioInfo(after).value(QLatin1String(kCustomIconKey)));
        QCOMPARE(fileContent(iconPath), icon.png());
        QCOMPARE(gioInfo(after).value(QLatin1String(kThunarIconKey)), iconPath);
        QCOMPARE(dolphinIcon(after), std::optional(iconPath));
        QVERIFY(FolderIconService::isIconApplied(urlOf(after)));
        QCOMPARE(iconFiles().size(), 1);
        // A folder made under the old name later inherits nothing of ours.
        tree.makeDir(QStringLiteral("Untitled Folder"));
        QVERIFY(gioInfo(before).isEmpty());
        QVERIFY(QDir().rmdir(before));

        // Exactly what it had before the first icon, now at its new path.
        QVERIFY(FolderIconService::resetIcon(urlOf(after)));
        if (directoryFile.isEmpty())
            QVERIFY(entriesOf(after).isEmpty());
        else
            QCOMPARE(fileContent(after + QStringLiteral("/.directory")), directoryFile);
        QMap<QString, QString> original;
        if (!theirIcon.isEmpty())
            original.insert(QLatin1String(kCustomIconKey), theirIcon);
        QCOMPARE(gioInfo(after), original);
        QVERIFY(iconFiles().isEmpty());
        QVERIFY(journalFiles().isEmpty());
    }

    void readOnlyFolderStillTakesTheMetadata()
    {
        TempTree tree;
        const QString folder = tree.makeDir(QStringLiteral("Locked"));
        if (!makeReadOnly(folder, true))
            QSKIP("cannot make a folder read-only for this user on this file system");

        const FolderIconService::ApplyResult applied = FolderIconService::applyIcon(makeIcon(Qt::darkRed), urlOf(folder));
        const QStringList entries = entriesOf(folder);
        makeReadOnly(folder, false);
        QVERIFY(applied.applied());
        QCOMPARE(applied.directoryFile, Refusal::readOnlyFolder);
        QCOMPARE(applied.warning(), QStringLiteral("Applied, but Dolphin and PCManFM-Qt will not show it: the folder is read-only"));
        QVERIFY(entries.isEmpty());
        QVERIFY(!metadata(folder, kCustomIconKey).isEmpty());
    }

private:
    // Permissions do not stop root, the immutable attribute does (where the file system has it).
    static bool makeReadOnly(const QString &folder, bool readOnly)
    {
        if (::geteuid() != 0) {
            return QFile::setPermissions(folder, readOnly ? QFile::ReadOwner | QFile::ExeOwner
                                                          : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = readOnly ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return ok;
    }

    // Runs applyIcon or resetIcon in a process with neither session bus nor gvfs.
    static int probe(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        environment.insert(QStringLiteral("GIO_USE_VFS"), QStringLiteral("local"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TAVRUNE_ICON_PROBE), arguments);
        if (!process.waitForFinished(60000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    static mode_t currentUmask()
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
    }
};

QTEST_GUILESS_MAIN(TestFolderIconService)
#include "tst_folder_icon_service.moc"
