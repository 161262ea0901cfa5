#include "desktop/folder_icon_service.h"

#include "desktop/desktop_entry_icon.h"
#include "desktop/folder_icon_journal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <optional>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// No Linux standard for folder icons exists, so every family of file managers gets its own mechanism:
// GIO metadata (GNOME Files, Nemo, Caja, Thunar 4.21+) and `.directory` (Dolphin, PCManFM-Qt). Both refer
// to one PNG file of ours; the mechanisms do not conflict, and one that is missing here is simply skipped.
// Before a mechanism is first changed, what it held is written to a journal, so removing the icon gives the
// folder back exactly as it was.
namespace {

using Refusal = FolderIconService::ApplyResult::Refusal;

constexpr char kCustomIconKey[] = "metadata::custom-icon";
constexpr char kThunarIconKey[] = "metadata::thunar-custom-icon-name";
constexpr char kDirectoryFileName[] = ".directory";
// Far above any real `.directory`; a larger file is not one we should be rewriting.
constexpr qint64 kMaxDirectoryFileSize = 1 << 20;
// Far above any icon we write; read back when a renamed folder is given its icon again.
constexpr qint64 kMaxIconFileSize = 64 << 20;

QString parentPathOf(const QString &folderPath)
{
    const qsizetype slash = folderPath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : folderPath.left(slash);
}

bool pathExists(const QString &path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

// One folder has one identity however it is reached: everything (icon file names, the journal, the GIO
// metadata) is keyed by its real path. gvfs resolves linked parent directories itself, so the metadata
// shows wherever the folder is browsed; but a symbolic link to the folder is an item of its own, which
// the file managers show with its own metadata: a folder given by such a link gets the metadata there too.
struct FolderPaths
{
    QString real;
    QString link; // the symbolic link the folder was given by, if it was
};

// Where a path leads once its links are followed, also when its end is gone (a deleted folder, or a link
// left dangling by it), so that a vanished folder still finds its journal.
QString resolvedPath(const QString &path)
{
    QString current = path;
    for (int hop = 0; hop < 16; ++hop) {
        const QFileInfo info(current);
        const QString real = info.canonicalFilePath();
        if (!real.isEmpty())
            return real;
        if (!info.isSymLink())
            break;
        current = QDir::cleanPath(info.symLinkTarget());
    }
    const QString parent = QFileInfo(parentPathOf(current)).canonicalFilePath();
    return parent.isEmpty() ? current : QDir::cleanPath(parent + QLatin1Char('/') + QFileInfo(current).fileName());
}

FolderPaths folderPathsOf(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (!QDir::isAbsolutePath(path))
        return {};
    FolderPaths paths{resolvedPath(path), {}};
    if (path != paths.real && QFileInfo(path).isSymLink())
        paths.link = path;
    return paths;
}

QString appDataDirectory()
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                           + QStringLiteral("/com.tavrune.app"));
}

QString folderKey(const QString &folderPath)
{
    const QByteArray hash = QCryptographicHash::hash(folderPath.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(hash.toHex().left(32));
}

// File managers cache icons by path, so an icon file's name changes with its content; the folder part
// of the name finds the folder's earlier files again.
QString iconFilePrefix(const QString &folderPath)
{
    return folderKey(folderPath) + QLatin1Char('-');
}

QString iconFileName(const QString &folderPath, const QByteArray &png)
{
    // SHA-1 is only a name here, and a third of SHA-256's time on a megabyte of PNG.
    const QByteArray hash = QCryptographicHash::hash(png, QCryptographicHash::Sha1);
    return iconFilePrefix(folderPath) + QString::fromLatin1(hash.toHex().left(12)) + QStringLiteral(".png");
}

QString journalPath(const QString &folderPath)
{
    return appDataDirectory() + QStringLiteral("/journal/") + folderKey(folderPath) + QStringLiteral(".json");
}

bool isOurIconPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QDir::cleanPath(path).startsWith(FolderIconService::iconDirectory() + QLatin1Char('/'));
}

// The name of one of this folder's icon files that `path` refers to, or nothing.
QString ownIconName(const QString &folderPath, const QString &path)
{
    if (!isOurIconPath(path))
        return {};
    const QFileInfo info(QDir::cleanPath(path));
    const QString name = info.fileName();
    return info.absolutePath() == FolderIconService::iconDirectory() && name.startsWith(iconFilePrefix(folderPath))
        ? name
        : QString();
}

bool looksLikePng(const QByteArray &bytes)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    return bytes.startsWith(signature);
}

bool writeIconFile(const QString &path, const QByteArray &png)
{
    // Same name means same content: an icon applied again needs no second write.
    const QFileInfo existing(path);
    if (existing.isFile() && existing.size() == png.size())
        return true;
    if (!QDir().mkpath(existing.absolutePath()))
        return false;
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.commit();
}

// A plain scan of names: one pass over the directory, no sorting and no stat per entry.
QList<QByteArray> iconFilesOf(const QString &folderPath)
{
    const QByteArray directory = QFile::encodeName(FolderIconService::iconDirectory());
    const QByteArray prefix = QFile::encodeName(iconFilePrefix(folderPath));
    QList<QByteArray> names;
    DIR *dir = ::opendir(directory.constData());
    if (!dir)
        return names;
    while (const struct dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.startsWith(prefix) && name.endsWith(".png"))
            names.append(name.toByteArray());
    }
    ::closedir(dir);
    return names;
}

// --- GIO metadata -------------------------------------------------------------------------------------

struct GObjectDeleter
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using GFilePtr = std::unique_ptr<GFile, GObjectDeleter>;
using GFileInfoPtr = std::unique_ptr<GFileInfo, GObjectDeleter>;

GFilePtr gioFile(const QString &path)
{
    return GFilePtr(g_file_new_for_path(QFile::encodeName(path).constData()));
}

// Without a session bus or gvfs the local GIO backend offers no metadata namespace.
bool metadataWritable(GFile *file)
{
    GFileAttributeInfoList *list = g_file_query_writable_namespaces(file, nullptr, nullptr);
    if (!list)
        return false;
    bool writable = false;
    for (int i = 0; i < list->n_infos && !writable; ++i)
        writable = qstrcmp(list->infos[i].name, "metadata") == 0;
    g_file_attribute_info_list_unref(list);
    return writable;
}

struct MetadataState
{
    bool accessible = false;
    std::optional<QByteArray> customIcon;
    std::optional<QByteArray> thunarIcon;
};

MetadataState readMetadata(const QString &folderPath, bool needWritable = true)
{
    MetadataState state;
    GFilePtr folder = gioFile(folderPath);
    if (needWritable && !metadataWritable(folder.get()))
        return state;
    const QByteArray keys = QByteArray(kCustomIconKey) + ',' + kThunarIconKey;
    GFileInfoPtr info(g_file_query_info(folder.get(), keys.constData(), G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
    if (!info)
        return state;
    state.accessible = true;
    const auto valueOf = [&info](const char *key) -> std::optional<QByteArray> {
        const char *value = g_file_info_get_attribute_string(info.get(), key);
        return value ? std::optional<QByteArray>(QByteArray(value)) : std::nullopt;
    };
    state.customIcon = valueOf(kCustomIconKey);
    state.thunarIcon = valueOf(kThunarIconKey);
    return state;
}

// The custom-icon key holds a URI, Thunar's key a plain path.
QString metadataIconPath(const std::optional<QByteArray> &value)
{
    if (!value)
        return {};
    if (value->startsWith("file:")) {
        gchar *path = g_filename_from_uri(value->constData(), nullptr, nullptr);
        const QString result = path ? QFile::decodeName(path) : QString();
        g_free(path);
        return result;
    }
    return QFile::decodeName(*value);
}

bool isOurs(const std::optional<QByteArray> &metadataValue)
{
    return isOurIconPath(metadataIconPath(metadataValue));
}

// A key with no value is removed.
using MetadataChanges = QList<std::pair<const char *, std::optional<QByteArray>>>;

bool writeMetadata(const QString &folderPath, const MetadataChanges &changes)
{
    GFilePtr folder = gioFile(folderPath);
    // All keys in one request: gvfs takes a whole set of metadata in a single call to its daemon.
    GFileInfoPtr info(g_file_info_new());
    for (const auto &[key, value] : changes) {
        if (value)
            g_file_info_set_attribute_string(info.get(), key, value->constData());
        else // the invalid type is how GIO says "remove this key"
            g_file_info_set_attribute(info.get(), key, G_FILE_ATTRIBUTE_TYPE_INVALID, nullptr);
    }
    return g_file_set_attributes_from_info(folder.get(), info.get(), G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
}

MetadataChanges metadataFor(const QString &iconPath)
{
    const QByteArray localIconPath = QFile::encodeName(iconPath);
    gchar *uri = g_filename_to_uri(localIconPath.constData(), nullptr, nullptr);
    if (!uri)
        return {};
    const QByteArray uriBytes(uri);
    g_free(uri);
    // Thunar reads the second key; the first is the one GNOME Files and its relatives read.
    return {{kCustomIconKey, uriBytes}, {kThunarIconKey, localIconPath}};
}

// --- .directory -----------------------------------------------------------------------------------------

struct DirectoryFile
{
    // foreign: something other than a regular file; unusable: a regular file we cannot read.
    enum class State { absent, regular, foreign, unusable } state = State::unusable;
    QByteArray path;
    QByteArray content;
    struct stat status = {};
};

// Only a plain regular file is ours to rewrite: a link or anything else named `.directory` is left alone.
DirectoryFile readDirectoryFile(const QString &folderPath)
{
    DirectoryFile file;
    file.path = QFile::encodeName(folderPath + QLatin1Char('/') + QLatin1String(kDirectoryFileName));
    if (::lstat(file.path.constData(), &file.status) != 0) {
        if (errno == ENOENT)
            file.state = DirectoryFile::State::absent;
        return file;
    }
    if (!S_ISREG(file.status.st_mode)) {
        file.state = DirectoryFile::State::foreign;
        return file;
    }
    if (file.status.st_size > kMaxDirectoryFileSize)
        return file;
    const int fd = ::open(file.path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return file;
    struct stat opened = {};
    bool ok = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_ino == file.status.st_ino;
    QByteArray content;
    char buffer[16384];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        content.append(buffer, got);
        ok = content.size() <= kMaxDirectoryFileSize;
    }
    ::close(fd);
    if (ok) {
        file.content = content;
        file.state = DirectoryFile::State::regular;
    }
    return file;
}

// Replacing by rename would bypass the file's own permissions and hand it to us: only a file whose mode
// lets its owner write, and whose owner is us (or, for root, the folder's owner), is ours to rewrite.
Refusal rewriteRefusal(const DirectoryFile &file, const struct stat &folder)
{
    switch (file.state) {
    case DirectoryFile::State::absent:
        return Refusal::none;
    case DirectoryFile::State::foreign:
        return Refusal::notAFile;
    case DirectoryFile::State::unusable:
        return Refusal::unreadable;
    case DirectoryFile::State::regular:
        break;
    }
    if (!(file.status.st_mode & S_IWUSR))
        return Refusal::readOnlyFile;
    const uid_t self = ::geteuid();
    if (file.status.st_uid != self && !(self == 0 && file.status.st_uid == folder.st_uid))
        return Refusal::otherOwner;
    return Refusal::none;
}

bool mayRewrite(const DirectoryFile &file, const struct stat &folder)
{
    return rewriteRefusal(file, folder) == Refusal::none;
}

bool isPermissionError(int error)
{
    return error == EACCES || error == EPERM || error == EROFS;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += wrote;
    }
    return true;
}

// A folder we may not write (made read-only after the icon was first applied) cannot take a new file
// beside `.directory`, but the file itself may still be writable: then it is rewritten where it is, as
// Dolphin would. It keeps its inode, mode and owner; only a crash in the middle could mix old and new.
bool rewriteInPlace(const DirectoryFile &previous, const QByteArray &content)
{
    const int fd = ::open(previous.path.constData(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat opened = {};
    bool ok = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_ino == previous.status.st_ino
        && opened.st_dev == previous.status.st_dev;
    ok = ok && writeAll(fd, content) && ::ftruncate(fd, off_t(content.size())) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    return ok;
}

// A reader (or a crash) sees either the old file or the new one, never half of either: the new text goes
// into a temporary file beside it, reaches the disk, and is renamed over the old one. It keeps the old
// file's mode and owner; a new file belongs to whoever owns the folder.
Refusal writeDirectoryFile(const QString &folderPath, const DirectoryFile &previous, const struct stat &folder,
                           const QByteArray &content)
{
    const bool existed = previous.state == DirectoryFile::State::regular;
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = QFile::encodeName(folderPath) + "/.directory.tavrune-"
            + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        // 0666 lets the umask decide the mode of a new file, as for any file the user makes.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            if (!isPermissionError(errno))
                return Refusal::refused;
            if (existed && rewriteInPlace(previous, content))
                return Refusal::none;
            return Refusal::readOnlyFolder;
        }
    }
    if (fd < 0)
        return Refusal::refused;
    bool ok = true;
    if (existed)
        ok = ::fchmod(fd, previous.status.st_mode & 07777) == 0;
    const uid_t owner = existed ? previous.status.st_uid : folder.st_uid;
    const gid_t group = existed ? previous.status.st_gid : folder.st_gid;
    // Only root writes into someone else's folder; what it leaves there is the folder owner's. Where the
    // file system keeps no owners this fails, and then it does not matter.
    if (owner != ::geteuid() || (existed && group != ::getegid())) {
        if (::geteuid() == 0 || existed) {
            [[maybe_unused]] const int ignored = ::fchown(fd, owner, group);
        }
    }
    ok = ok && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), previous.path.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok ? Refusal::none : Refusal::refused;
}

QString directoryFileIconPath(const DirectoryFile &file)
{
    if (file.state != DirectoryFile::State::regular)
        return {};
    return DesktopEntryIcon::icon(file.content).value_or(QString());
}

// What the file should read once our icon is gone, or nothing when it cannot be worked out. The exact
// recorded bytes come back when nobody touched the file since; otherwise only the icon line is undone,
// so settings Dolphin saved in the meantime stay.
std::optional<QByteArray> directoryFileWithoutOurIcon(const DirectoryFile &file, const QString &ourIcon,
                                                      const std::optional<FolderIconJournal::DirectoryFile> &before)
{
    if (!before)
        return DesktopEntryIcon::withoutIcon(file.content, isOurIconPath);
    const QByteArray original = before->existed ? before->content : QByteArray();
    if (DesktopEntryIcon::withIcon(original, ourIcon) == file.content)
        return original;
    if (const std::optional<QString> previousIcon = DesktopEntryIcon::icon(original))
        return DesktopEntryIcon::withIcon(file.content, *previousIcon);
    return DesktopEntryIcon::withoutIcon(file.content, isOurIconPath);
}

// --- change notices -------------------------------------------------------------------------------------

// Both times get one instant, so the folder and its parent agree on when the icon changed.
void touchModificationTimes(const QString &folderPath)
{
    struct timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const struct timespec times[2] = {{0, UTIME_OMIT}, now};
    ::utimensat(AT_FDCWD, QFile::encodeName(folderPath).constData(), times, 0);
    ::utimensat(AT_FDCWD, QFile::encodeName(parentPathOf(folderPath)).constData(), times, 0);
}

// Nautilus, Nemo, Caja and PCManFM-Qt redraw a folder when its modification time moves; Dolphin and other
// KIO file managers when told over the session bus.
void announceChange(const QString &folderPath)
{
    touchModificationTimes(folderPath);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"), QStringLiteral("FilesChanged"));
    signal << QStringList{QUrl::fromLocalFile(folderPath).toString()};
    bus.send(signal);
}

// --- the folder's state as a whole ----------------------------------------------------------------------

// Every path whose metadata may name the folder's icon: the folder itself, each link recorded for it, and
// the link it is reached through now.
QStringList metadataPaths(const FolderPaths &paths, const FolderIconJournal &journal)
{
    QStringList result{paths.real};
    for (auto link = journal.links.cbegin(); link != journal.links.cend(); ++link) {
        if (!result.contains(link.key()))
            result.append(link.key());
    }
    if (!paths.link.isEmpty() && !result.contains(paths.link))
        result.append(paths.link);
    return result;
}

bool hasMetadataRecord(const FolderPaths &paths, const FolderIconJournal &journal, const QString &path)
{
    return path == paths.real ? journal.metadata.has_value() : journal.links.contains(path);
}

// Deletes this folder's icon files that nothing refers to any more (keepName aside). A mechanism that
// cannot be read but may still name one of them keeps them all. True when none is referenced.
bool removeUnreferencedIconFiles(const FolderPaths &paths, const FolderIconJournal &journal,
                                 const QString &keepName = {})
{
    const QString &folderPath = paths.real;
    QSet<QString> referenced;
    bool unknown = false;
    for (const QString &path : metadataPaths(paths, journal)) {
        const bool recorded = hasMetadataRecord(paths, journal, path);
        const MetadataState metadata = pathExists(path) ? readMetadata(path) : MetadataState{};
        if (metadata.accessible) {
            referenced << ownIconName(folderPath, metadataIconPath(metadata.customIcon))
                       << ownIconName(folderPath, metadataIconPath(metadata.thunarIcon));
        } else {
            // Also a vanished folder whose metadata could not be taken back: gvfs still holds our values.
            unknown = unknown || recorded;
        }
    }
    if (QFileInfo(folderPath).isDir()) {
        const DirectoryFile directoryFile = readDirectoryFile(folderPath);
        if (directoryFile.state == DirectoryFile::State::regular)
            referenced << ownIconName(folderPath, directoryFileIconPath(directoryFile));
        else if (directoryFile.state == DirectoryFile::State::unusable)
            unknown = unknown || journal.directoryFile.has_value();
    }
    referenced.remove(QString());
    const QByteArray directory = QFile::encodeName(FolderIconService::iconDirectory());
    for (const QByteArray &name : iconFilesOf(folderPath)) {
        const QString decoded = QFile::decodeName(name);
        if (!unknown && decoded != keepName && !referenced.contains(decoded))
            ::unlink((directory + '/' + name).constData());
    }
    return !unknown && referenced.isEmpty();
}

struct Restored
{
    bool changed = false;
};

// Gives one path's metadata back to what was recorded, wherever our icon is still in place. True when
// nothing of ours is left there.
bool restoreMetadataAt(const QString &path, const std::optional<FolderIconJournal::Metadata> &recorded,
                       Restored &result)
{
    const MetadataState metadata = readMetadata(path);
    if (!metadata.accessible)
        return false;
    const FolderIconJournal::Metadata before = recorded.value_or(FolderIconJournal::Metadata{});
    MetadataChanges changes;
    if (isOurs(metadata.customIcon))
        changes.append({kCustomIconKey, before.customIcon});
    if (isOurs(metadata.thunarIcon))
        changes.append({kThunarIconKey, before.thunarIcon});
    if (changes.isEmpty())
        return true;
    if (!writeMetadata(path, changes))
        return false;
    result.changed = true;
    return true;
}

// gvfs keeps a path's metadata when the folder is deleted (or renamed) behind its back, and gives it to the
// next folder made under that name, which would then point at an icon file we delete. gvfs only reads and
// changes the metadata of something that exists, so an empty stand-in is made at the path for the moment,
// and removed again. False when no stand-in could be made.
template<typename Work>
bool withStandIn(const QString &path, Work work)
{
    QStringList missing;
    QString existing = path;
    while (!pathExists(existing) && existing != QLatin1String("/")) {
        missing.prepend(existing);
        existing = parentPathOf(existing);
    }
    if (!QFileInfo(existing).isDir())
        return false;
    QStringList made;
    bool ok = true;
    for (const QString &directory : std::as_const(missing)) {
        ok = ::mkdir(QFile::encodeName(directory).constData(), 0700) == 0;
        if (!ok)
            break;
        made.prepend(directory);
    }
    ok = ok && work();
    for (const QString &directory : std::as_const(made))
        ::rmdir(QFile::encodeName(directory).constData());
    return ok;
}

bool restoreMetadataOfVanished(const QString &path, const std::optional<FolderIconJournal::Metadata> &recorded,
                               Restored &result)
{
    return withStandIn(path, [&] { return restoreMetadataAt(path, recorded, result); });
}

// Gives back what the journal recorded wherever our icon is still in place, and removes our icon where
// nothing was recorded. Updates the journal to what is still left to give back.
Restored restoreMechanisms(const FolderPaths &paths, FolderIconJournal &journal)
{
    Restored result;
    const QString &folderPath = paths.real;
    for (const QString &path : metadataPaths(paths, journal)) {
        const bool recorded = hasMetadataRecord(paths, journal, path);
        const std::optional<FolderIconJournal::Metadata> before =
            path == folderPath ? journal.metadata
                               : (recorded ? std::optional(journal.links.value(path)) : std::nullopt);
        bool done = false;
        if (pathExists(path))
            done = restoreMetadataAt(path, before, result);
        else
            done = !recorded || restoreMetadataOfVanished(path, before, result);
        if (done && path == folderPath)
            journal.metadata.reset();
        else if (done)
            journal.links.remove(path);
    }

    struct stat folder = {};
    if (::stat(QFile::encodeName(folderPath).constData(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        // A `.directory` goes with its folder.
        journal.directoryFile.reset();
        return result;
    }
    const DirectoryFile directoryFile = readDirectoryFile(folderPath);
    const QString current = directoryFileIconPath(directoryFile);
    const bool createdByUs = journal.directoryFile && !journal.directoryFile->existed;
    if (directoryFile.state == DirectoryFile::State::regular && !isOurIconPath(current) && createdByUs
        && directoryFile.content.isEmpty()) {
        // Emptied by a reset while the folder was read-only: ours to remove once the folder lets us.
        if (::unlink(directoryFile.path.constData()) == 0) {
            result.changed = true;
            journal.directoryFile.reset();
        }
    } else if (directoryFile.state == DirectoryFile::State::absent
               || directoryFile.state == DirectoryFile::State::foreign
               || (directoryFile.state == DirectoryFile::State::regular && !isOurIconPath(current))) {
        // Gone or changed by the user since: theirs now.
        journal.directoryFile.reset();
    } else if (directoryFile.state == DirectoryFile::State::regular && mayRewrite(directoryFile, folder)) {
        const std::optional<QByteArray> restored =
            directoryFileWithoutOurIcon(directoryFile, current, journal.directoryFile);
        bool done = false;
        if (restored && restored->isEmpty() && createdByUs) {
            done = ::unlink(directoryFile.path.constData()) == 0;
            // A read-only folder cannot lose the file: emptied, it names no icon of ours any more. The
            // record stays, so a later reset removes it.
            if (!done && isPermissionError(errno) && rewriteInPlace(directoryFile, QByteArray()))
                result.changed = true;
        } else if (restored) {
            done = *restored == directoryFile.content
                || writeDirectoryFile(folderPath, directoryFile, folder, *restored) == Refusal::none;
        }
        if (done) {
            result.changed = true;
            journal.directoryFile.reset();
        }
    }
    return result;
}

bool storeJournal(const FolderIconJournal &journal)
{
    return journal.store(journalPath(journal.folderPath));
}

FolderIconJournal::Metadata recordOf(const MetadataState &state)
{
    // A value of ours found without a record (an interrupted reset) counts as none.
    return FolderIconJournal::Metadata{isOurs(state.customIcon) ? std::nullopt : state.customIcon,
                                       isOurs(state.thunarIcon) ? std::nullopt : state.thunarIcon};
}

QString reasonText(Refusal refusal, bool metadata)
{
    switch (refusal) {
    case Refusal::none:
    case Refusal::failed:
        break;
    case Refusal::unavailable:
        return QCoreApplication::translate("FolderIconService", "gvfs metadata is not available");
    case Refusal::refused:
        return metadata ? QCoreApplication::translate("FolderIconService", "gvfs did not store the metadata")
                        : QCoreApplication::translate("FolderIconService", "“.directory” could not be written");
    case Refusal::readOnlyFile:
        return QCoreApplication::translate("FolderIconService", "“.directory” is read-only");
    case Refusal::otherOwner:
        return QCoreApplication::translate("FolderIconService", "“.directory” belongs to another user");
    case Refusal::readOnlyFolder:
        return QCoreApplication::translate("FolderIconService", "the folder is read-only");
    case Refusal::notAFile:
        return QCoreApplication::translate("FolderIconService", "“.directory” is not a regular file");
    case Refusal::unreadable:
        return QCoreApplication::translate("FolderIconService", "“.directory” cannot be read");
    case Refusal::notEditable:
        return QCoreApplication::translate("FolderIconService", "“.directory” cannot be edited safely");
    }
    return QCoreApplication::translate("FolderIconService", "it could not be written");
}

} // namespace

namespace FolderIconService {
namespace {
// Writes the icon given as PNG bytes through every mechanism; applyIcon() for bytes read back from disk.
ApplyResult applyPng(const QByteArray &png, const FolderPaths &paths);
} // namespace

QString ApplyResult::warning() const
{
    if (!partial())
        return {};
    const bool metadataMissing = !metadataTaken();
    const QString fileManagers = metadataMissing
        ? QCoreApplication::translate("FolderIconService", "GNOME Files, Nemo, Caja and Thunar")
        : QCoreApplication::translate("FolderIconService", "Dolphin and PCManFM-Qt");
    return QCoreApplication::translate("FolderIconService", "Applied, but %1 will not show it: %2")
        .arg(fileManagers, reasonText(metadataMissing ? metadata : directoryFile, metadataMissing));
}

QString iconDirectory()
{
    return appDataDirectory() + QStringLiteral("/icons");
}

ApplyResult applyIcon(const IconImage &image, const QUrl &folderUrl)
{
    // The encoded bytes come with the image; encoding here would stall the caller's thread.
    if (image.isNull())
        return {};
    return applyPng(image.png(), folderPathsOf(folderUrl));
}

namespace {
ApplyResult applyPng(const QByteArray &png, const FolderPaths &paths)
{
    ApplyResult result;
    const QString &folderPath = paths.real;
    struct stat folder = {};
    // Checked before anything is written: a missing folder must leave no trace anywhere.
    if (folderPath.isEmpty() || ::stat(QFile::encodeName(folderPath).constData(), &folder) != 0
        || !S_ISDIR(folder.st_mode))
        return result;
    if (!looksLikePng(png))
        return result;

    const QString name = iconFileName(folderPath, png);
    const QString iconPath = iconDirectory() + QLatin1Char('/') + name;
    if (!writeIconFile(iconPath, png))
        return result;

    // What each mechanism holds now, and what it would hold with the new icon.
    const MetadataState metadata = readMetadata(folderPath);
    const MetadataChanges metadataChanges = metadata.accessible ? metadataFor(iconPath) : MetadataChanges();
    const DirectoryFile directoryFile = readDirectoryFile(folderPath);
    Refusal directoryRefusal = rewriteRefusal(directoryFile, folder);
    std::optional<QByteArray> editedDirectoryFile;
    if (directoryRefusal != Refusal::none && directoryFileIconPath(directoryFile) == iconPath) {
        // Cannot be written, but already names this very icon: Dolphin shows it.
        directoryRefusal = Refusal::none;
        editedDirectoryFile = directoryFile.content;
    } else if (directoryRefusal == Refusal::none) {
        editedDirectoryFile = DesktopEntryIcon::withIcon(directoryFile.content, iconPath);
        if (!editedDirectoryFile)
            directoryRefusal = Refusal::notEditable;
    }

    // Recorded before the first change, and only then: a later apply must not record our own icon as the
    // user's.
    FolderIconJournal journal = FolderIconJournal::load(journalPath(folderPath), folderPath);
    const FolderIconJournal loaded = journal;
    if (!metadataChanges.isEmpty() && !journal.metadata)
        journal.metadata = recordOf(metadata);
    // Every link the folder was given through shows the same icon as the folder.
    QStringList links;
    for (const QString &link : metadataPaths(paths, journal)) {
        if (link == folderPath || metadataChanges.isEmpty() || !QFileInfo(link).isSymLink())
            continue;
        const MetadataState linkMetadata = readMetadata(link);
        if (!linkMetadata.accessible)
            continue;
        links.append(link);
        if (!journal.links.contains(link))
            journal.links.insert(link, recordOf(linkMetadata));
    }
    if (editedDirectoryFile && *editedDirectoryFile != directoryFile.content && !journal.directoryFile) {
        bool existed = directoryFile.state == DirectoryFile::State::regular;
        QByteArray before = directoryFile.content;
        if (isOurIconPath(directoryFileIconPath(directoryFile))) {
            before = DesktopEntryIcon::withoutIcon(before, isOurIconPath).value_or(before);
            existed = !before.isEmpty();
        }
        journal.directoryFile = FolderIconJournal::DirectoryFile{existed, before};
    }
    // Without a record the user's own icon could be lost for good: better not to change anything.
    const bool recorded = (journal.metadata.has_value() == loaded.metadata.has_value()
                           && journal.directoryFile.has_value() == loaded.directoryFile.has_value()
                           && journal.links.keys() == loaded.links.keys())
        || storeJournal(journal);

    if (!recorded) {
        result.metadata = Refusal::refused;
        result.directoryFile = Refusal::refused;
    } else {
        if (metadataChanges.isEmpty())
            result.metadata = Refusal::unavailable;
        else if (writeMetadata(folderPath, metadataChanges)
                 && std::all_of(links.cbegin(), links.cend(),
                                [&](const QString &link) { return writeMetadata(link, metadataChanges); }))
            result.metadata = Refusal::none;
        else
            result.metadata = Refusal::refused;
        if (directoryRefusal != Refusal::none)
            result.directoryFile = directoryRefusal;
        else if (*editedDirectoryFile == directoryFile.content)
            result.directoryFile = Refusal::none;
        else
            result.directoryFile = writeDirectoryFile(folderPath, directoryFile, folder, *editedDirectoryFile);
    }
    if (!result.applied()) {
        // Refused everywhere: like a removal followed by a failed set, the folder ends with no icon of ours.
        FolderIconJournal left = FolderIconJournal::load(journalPath(folderPath), folderPath);
        const Restored restored = restoreMechanisms(paths, left);
        storeJournal(left);
        removeUnreferencedIconFiles(paths, left);
        if (restored.changed)
            announceChange(folderPath);
        return result;
    }
    // The previous icon does not survive, unless a mechanism that could not be updated still names it.
    removeUnreferencedIconFiles(paths, journal, name);
    announceChange(folderPath);
    return result;
}
} // namespace

bool resetIcon(const QUrl &folderUrl)
{
    const FolderPaths paths = folderPathsOf(folderUrl);
    if (paths.real.isEmpty())
        return false;
    FolderIconJournal journal = FolderIconJournal::load(journalPath(paths.real), paths.real);
    const Restored restored = restoreMechanisms(paths, journal);
    const bool stored = storeJournal(journal);
    // Only now may our icon files go: every mechanism that named one has been given back.
    const bool clear = removeUnreferencedIconFiles(paths, journal);
    if (restored.changed)
        announceChange(paths.real);
    return clear && stored && journal.isEmpty();
}

bool followRename(const QUrl &fromUrl, const QUrl &toUrl)
{
    const FolderPaths from = folderPathsOf(fromUrl);
    const FolderPaths to = folderPathsOf(toUrl);
    if (from.real.isEmpty() || to.real.isEmpty() || from.real == to.real || !QFileInfo(to.real).isDir())
        return false;
    FolderIconJournal journal = FolderIconJournal::load(journalPath(from.real), from.real);

    // Which icon of ours the folder shows. `.directory` went along with the folder; gvfs keeps metadata by
    // path, so after a plain rename it stayed behind at the old path (a rename done through gvfs takes it
    // along, and then it is at the new one).
    const auto ourIconFile = [&from](const QString &path) {
        const QString name = ownIconName(from.real, path);
        const QString file = iconDirectory() + QLatin1Char('/') + name;
        return !name.isEmpty() && QFileInfo(file).isFile() ? file : QString();
    };
    QString iconFile = ourIconFile(directoryFileIconPath(readDirectoryFile(to.real)));
    // Our metadata is never written without a record first: with neither, nothing of ours is there.
    if (journal.isEmpty() && iconFile.isEmpty())
        return true;
    MetadataState oldMetadata;
    if (pathExists(from.real))
        oldMetadata = readMetadata(from.real);
    else
        withStandIn(from.real, [&] { oldMetadata = readMetadata(from.real); return oldMetadata.accessible; });
    const MetadataState newMetadata = readMetadata(to.real);
    for (const std::optional<QByteArray> &value : {oldMetadata.customIcon, oldMetadata.thunarIcon,
                                                   newMetadata.customIcon, newMetadata.thunarIcon}) {
        if (iconFile.isEmpty())
            iconFile = ourIconFile(metadataIconPath(value));
    }
    QByteArray png;
    if (QFile file(iconFile); !iconFile.isEmpty() && file.open(QIODevice::ReadOnly))
        png = file.read(kMaxIconFileSize + 1);

    // What the folder held before our first icon goes with it: the icon is applied again below at the new
    // path, and must not be taken for the user's own.
    if (!FolderIconJournal::move(journalPath(from.real), from.real, journalPath(to.real), to.real))
        return false;

    // Nothing of ours may stay at the old path, for a folder made under that name later.
    Restored cleaned;
    const bool oldNamedOurs = isOurs(oldMetadata.customIcon) || isOurs(oldMetadata.thunarIcon);
    const bool oldClean = !oldNamedOurs
        || (pathExists(from.real) ? restoreMetadataAt(from.real, std::nullopt, cleaned)
                                  : restoreMetadataOfVanished(from.real, std::nullopt, cleaned));

    bool applied = true;
    if (looksLikePng(png) && png.size() <= kMaxIconFileSize)
        applied = applyPng(png, to).applied();

    // The icon files named after the old path go once nothing refers to them: links to the folder keep
    // theirs until they are given the new one, and so does metadata that could not be cleaned.
    FolderIconJournal oldFiles;
    oldFiles.folderPath = from.real;
    oldFiles.links = FolderIconJournal::load(journalPath(to.real), to.real).links;
    if (!oldClean)
        oldFiles.metadata = FolderIconJournal::Metadata{};
    removeUnreferencedIconFiles(from, oldFiles);
    return applied;
}

bool isIconApplied(const QUrl &folderUrl)
{
    const FolderPaths paths = folderPathsOf(folderUrl);
    const QString &folderPath = paths.real;
    if (folderPath.isEmpty() || !QFileInfo(folderPath).isDir())
        return false;
    const auto applied = [&folderPath](const QString &iconPath) {
        return !ownIconName(folderPath, iconPath).isEmpty() && QFileInfo(iconPath).isFile();
    };
    if (applied(directoryFileIconPath(readDirectoryFile(folderPath))))
        return true;
    // Reading needs no writable namespace: without gvfs the keys are simply not there.
    for (const QString &path : {folderPath, paths.link}) {
        if (path.isEmpty())
            continue;
        const MetadataState metadata = readMetadata(path, false);
        if (applied(metadataIconPath(metadata.customIcon)) || applied(metadataIconPath(metadata.thunarIcon)))
            return true;
    }
    return false;
}

} // namespace FolderIconService
