#include "services/folder_icon_service.h"

#include "services/desktop_entry_icon.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QStandardPaths>

#include <gio/gio.h>

#include <cerrno>
#include <dirent.h>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

// No Linux standard for folder icons exists, so every family of file managers gets its own mechanism:
// GIO metadata (GNOME Files, Nemo, Caja, Thunar) and `.directory` (Dolphin, PCManFM-Qt). Both refer to one
// PNG file of ours; the mechanisms do not conflict, and one that is missing here is simply skipped.
namespace {

constexpr char kCustomIconKey[] = "metadata::custom-icon";
constexpr char kThunarIconKey[] = "metadata::thunar-custom-icon-name";
constexpr char kDirectoryFileName[] = ".directory";
// Far above any real `.directory`; a larger file is not one we should be rewriting.
constexpr qint64 kMaxDirectoryFileSize = 1 << 20;

QString folderPathOf(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    const QString path = QDir::cleanPath(url.toLocalFile());
    return QDir::isAbsolutePath(path) ? path : QString();
}

QString parentPathOf(const QString &folderPath)
{
    const qsizetype slash = folderPath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : folderPath.left(slash);
}

// File managers cache icons by path, so an icon file's name changes with its content; the folder part
// of the name finds the folder's earlier files again.
QString iconFilePrefix(const QString &folderPath)
{
    const QByteArray hash = QCryptographicHash::hash(folderPath.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(hash.toHex().left(32)) + QLatin1Char('-');
}

QString iconFileName(const QString &folderPath, const QByteArray &png)
{
    // SHA-1 is only a name here, and a third of SHA-256's time on a megabyte of PNG.
    const QByteArray hash = QCryptographicHash::hash(png, QCryptographicHash::Sha1);
    return iconFilePrefix(folderPath) + QString::fromLatin1(hash.toHex().left(12)) + QStringLiteral(".png");
}

bool isOurIconPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QDir::cleanPath(path).startsWith(FolderIconService::iconDirectory() + QLatin1Char('/'));
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
void removeIconFiles(const QString &folderPath, const QString &keepName = {})
{
    const QByteArray directory = QFile::encodeName(FolderIconService::iconDirectory());
    const QByteArray prefix = QFile::encodeName(iconFilePrefix(folderPath));
    const QByteArray keep = QFile::encodeName(keepName);
    DIR *dir = ::opendir(directory.constData());
    if (!dir)
        return;
    QList<QByteArray> doomed;
    while (const struct dirent *entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name.startsWith(prefix) && name.endsWith(".png") && name != keep)
            doomed.append(directory + '/' + name.toByteArray());
    }
    ::closedir(dir);
    for (const QByteArray &path : std::as_const(doomed))
        ::unlink(path.constData());
}

// --- GIO metadata -------------------------------------------------------------------------------------

struct GObjectDeleter
{
    void operator()(gpointer object) const { g_object_unref(object); }
};
using GFilePtr = std::unique_ptr<GFile, GObjectDeleter>;

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

bool setMetadata(const QString &folderPath, const QString &iconPath)
{
    GFilePtr folder = gioFile(folderPath);
    if (!metadataWritable(folder.get()))
        return false;
    const QByteArray localIconPath = QFile::encodeName(iconPath);
    gchar *uri = g_filename_to_uri(localIconPath.constData(), nullptr, nullptr);
    if (!uri)
        return false;
    // Both keys in one request: gvfs takes a whole set of metadata in a single call to its daemon.
    // Thunar reads the second key; the first is the one GNOME Files and its relatives read.
    GFileInfo *info = g_file_info_new();
    g_file_info_set_attribute_string(info, kCustomIconKey, uri);
    g_file_info_set_attribute_string(info, kThunarIconKey, localIconPath.constData());
    g_free(uri);
    const bool set = g_file_set_attributes_from_info(folder.get(), info, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    g_object_unref(info);
    return set;
}

QString metadataIconPath(GFileInfo *info, const char *key)
{
    const char *value = g_file_info_get_attribute_string(info, key);
    if (!value)
        return {};
    if (g_str_has_prefix(value, "file:")) {
        gchar *path = g_filename_from_uri(value, nullptr, nullptr);
        const QString result = path ? QFile::decodeName(path) : QString();
        g_free(path);
        return result;
    }
    return QFile::decodeName(value);
}

// Unsets the keys only where they still name one of our files; an icon the user chose since stays.
void clearMetadata(const QString &folderPath)
{
    GFilePtr folder = gioFile(folderPath);
    if (!metadataWritable(folder.get()))
        return;
    const QByteArray keys = QByteArray(kCustomIconKey) + ',' + kThunarIconKey;
    GFileInfo *info = g_file_query_info(folder.get(), keys.constData(), G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    if (!info)
        return;
    GFileInfo *unset = g_file_info_new();
    bool any = false;
    for (const char *key : {kCustomIconKey, kThunarIconKey}) {
        if (isOurIconPath(metadataIconPath(info, key))) {
            // The invalid type is how GIO says "remove this key".
            g_file_info_set_attribute(unset, key, G_FILE_ATTRIBUTE_TYPE_INVALID, nullptr);
            any = true;
        }
    }
    if (any)
        g_file_set_attributes_from_info(folder.get(), unset, G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    g_object_unref(unset);
    g_object_unref(info);
}

// --- .directory -----------------------------------------------------------------------------------------

struct DirectoryFile
{
    enum class State { absent, regular, unusable } state = State::unusable;
    QByteArray content;
    struct stat status = {};
};

// Only a plain regular file is ours to rewrite: a link or anything else named `.directory` is left alone.
DirectoryFile readDirectoryFile(const QByteArray &path)
{
    DirectoryFile file;
    if (::lstat(path.constData(), &file.status) != 0) {
        if (errno == ENOENT)
            file.state = DirectoryFile::State::absent;
        return file;
    }
    if (!S_ISREG(file.status.st_mode) || file.status.st_size > kMaxDirectoryFileSize)
        return file;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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

// A reader (or a crash) sees either the old file or the new one, never half of either: the new text goes
// into a temporary file beside it, reaches the disk, and is renamed over the old one.
bool replaceAtomically(const QString &folderPath, const QByteArray &target, const QByteArray &content,
                       const struct stat *previous)
{
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = QFile::encodeName(folderPath) + "/.directory.tavrune-"
            + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
        // 0666 lets the umask decide the mode of a new file, as for any file the user makes.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = true;
    if (previous) {
        ok = ::fchmod(fd, previous->st_mode & 07777) == 0;
        // Keeps the owner when someone else's file is edited with more rights; failing that is harmless.
        if (previous->st_uid != ::geteuid() || previous->st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(fd, previous->st_uid, previous->st_gid);
        }
    }
    ok = ok && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

bool setDirectoryFileIcon(const QString &folderPath, const QString &iconPath)
{
    const QByteArray path = QFile::encodeName(folderPath + QLatin1Char('/') + QLatin1String(kDirectoryFileName));
    const DirectoryFile file = readDirectoryFile(path);
    if (file.state == DirectoryFile::State::unusable)
        return false;
    const std::optional<QByteArray> edited = DesktopEntryIcon::withIcon(file.content, iconPath);
    if (!edited)
        return false;
    if (*edited == file.content)
        return true;
    const bool existed = file.state == DirectoryFile::State::regular;
    return replaceAtomically(folderPath, path, *edited, existed ? &file.status : nullptr);
}

void removeDirectoryFileIcon(const QString &folderPath)
{
    const QByteArray path = QFile::encodeName(folderPath + QLatin1Char('/') + QLatin1String(kDirectoryFileName));
    const DirectoryFile file = readDirectoryFile(path);
    if (file.state != DirectoryFile::State::regular)
        return;
    const std::optional<QByteArray> edited = DesktopEntryIcon::withoutIcon(file.content, isOurIconPath);
    if (!edited || *edited == file.content)
        return;
    // Nothing left means the file held only what applying put there: the folder goes back to having none.
    if (edited->isEmpty())
        ::unlink(path.constData());
    else
        replaceAtomically(folderPath, path, *edited, &file.status);
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

// Dolphin and other KIO file managers refresh an item when told over the session bus.
void announceChange(const QString &folderPath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"), QStringLiteral("FilesChanged"));
    signal << QStringList{QUrl::fromLocalFile(folderPath).toString()};
    bus.send(signal);
}

} // namespace

namespace FolderIconService {

QString iconDirectory()
{
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                           + QStringLiteral("/com.tavrune.app/icons"));
}

bool applyIcon(const IconImage &image, const QUrl &folderUrl)
{
    const QString folderPath = folderPathOf(folderUrl);
    // Checked before anything is written: a missing folder must leave no trace anywhere.
    if (folderPath.isEmpty() || !QFileInfo(folderPath).isDir())
        return false;
    // The encoded bytes come with the image; encoding here would stall the caller's thread.
    if (image.isNull() || !looksLikePng(image.png()))
        return false;

    const QString name = iconFileName(folderPath, image.png());
    const QString iconPath = iconDirectory() + QLatin1Char('/') + name;
    if (!writeIconFile(iconPath, image.png()))
        return false;

    const bool metadataTaken = setMetadata(folderPath, iconPath);
    const bool directoryFileTaken = setDirectoryFileIcon(folderPath, iconPath);
    if (!metadataTaken && !directoryFileTaken) {
        // Refused everywhere: like a removal followed by a failed set, the folder ends with no icon of ours.
        clearMetadata(folderPath);
        removeDirectoryFileIcon(folderPath);
        removeIconFiles(folderPath);
        return false;
    }
    // The previous icon does not survive; a mechanism still naming it falls back to the standard icon.
    removeIconFiles(folderPath, name);
    touchModificationTimes(folderPath);
    announceChange(folderPath);
    return true;
}

void resetIcon(const QUrl &folderUrl)
{
    const QString folderPath = folderPathOf(folderUrl);
    if (folderPath.isEmpty())
        return;
    if (QFileInfo(folderPath).isDir()) {
        clearMetadata(folderPath);
        removeDirectoryFileIcon(folderPath);
    }
    removeIconFiles(folderPath);
    if (QFileInfo(folderPath).isDir())
        announceChange(folderPath);
}

} // namespace FolderIconService
