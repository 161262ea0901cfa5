#include "desktop/folder_icon_service.h"

#include "desktop/desktop_entry_icon.h"
#include "desktop/folder_icon_journal.h"

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

constexpr char kCustomIconKey[] = "metadata::custom-icon";
constexpr char kThunarIconKey[] = "metadata::thunar-custom-icon-name";
constexpr char kDirectoryFileName[] = ".directory";
// Far above any real `.directory`; a larger file is not one we should be rewriting.
constexpr qint64 kMaxDirectoryFileSize = 1 << 20;

// One folder has one identity however it is reached: everything (icon file names, the journal, the GIO
// metadata) is keyed by its real path. gvfs resolves linked parent directories itself, so the metadata
// shows wherever the folder is browsed; a symbolic link to the folder is an item of its own.
QString folderPathOf(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    const QString path = QDir::cleanPath(url.toLocalFile());
    if (!QDir::isAbsolutePath(path))
        return {};
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? path : real;
}

QString parentPathOf(const QString &folderPath)
{
    const qsizetype slash = folderPath.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : folderPath.left(slash);
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
bool mayRewrite(const DirectoryFile &file, const struct stat &folder)
{
    if (file.state == DirectoryFile::State::absent)
        return true;
    if (file.state != DirectoryFile::State::regular || !(file.status.st_mode & S_IWUSR))
        return false;
    const uid_t self = ::geteuid();
    return file.status.st_uid == self || (self == 0 && file.status.st_uid == folder.st_uid);
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
// into a temporary file beside it, reaches the disk, and is renamed over the old one. It keeps the old
// file's mode and owner; a new file belongs to whoever owns the folder.
bool writeDirectoryFile(const QString &folderPath, const DirectoryFile &previous, const struct stat &folder,
                        const QByteArray &content)
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
    const bool existed = previous.state == DirectoryFile::State::regular;
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
    return ok;
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

// Deletes this folder's icon files that nothing refers to any more (keepName aside). A mechanism that
// cannot be read but may still name one of them keeps them all. True when none is referenced.
bool removeUnreferencedIconFiles(const QString &folderPath, const FolderIconJournal &journal,
                                 const QString &keepName = {})
{
    QSet<QString> referenced;
    bool unknown = false;
    if (QFileInfo(folderPath).isDir()) {
        const MetadataState metadata = readMetadata(folderPath);
        if (metadata.accessible) {
            referenced << ownIconName(folderPath, metadataIconPath(metadata.customIcon))
                       << ownIconName(folderPath, metadataIconPath(metadata.thunarIcon));
        } else {
            unknown = journal.metadata.has_value();
        }
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

// Gives back what the journal recorded wherever our icon is still in place, and removes our icon where
// nothing was recorded. Updates the journal to what is still left to give back.
Restored restoreMechanisms(const QString &folderPath, FolderIconJournal &journal)
{
    Restored result;
    struct stat folder = {};
    if (::stat(QFile::encodeName(folderPath).constData(), &folder) != 0 || !S_ISDIR(folder.st_mode)) {
        // A folder that is gone keeps nothing of ours.
        journal.directoryFile.reset();
        journal.metadata.reset();
        return result;
    }

    const MetadataState metadata = readMetadata(folderPath);
    if (metadata.accessible) {
        const FolderIconJournal::Metadata before = journal.metadata.value_or(FolderIconJournal::Metadata{});
        MetadataChanges changes;
        if (isOurs(metadata.customIcon))
            changes.append({kCustomIconKey, before.customIcon});
        if (isOurs(metadata.thunarIcon))
            changes.append({kThunarIconKey, before.thunarIcon});
        if (changes.isEmpty() || writeMetadata(folderPath, changes)) {
            result.changed = result.changed || !changes.isEmpty();
            journal.metadata.reset();
        }
    }

    const DirectoryFile directoryFile = readDirectoryFile(folderPath);
    const QString current = directoryFileIconPath(directoryFile);
    if (directoryFile.state == DirectoryFile::State::absent || directoryFile.state == DirectoryFile::State::foreign
        || (directoryFile.state == DirectoryFile::State::regular && !isOurIconPath(current))) {
        // Gone or changed by the user since: theirs now.
        journal.directoryFile.reset();
    } else if (directoryFile.state == DirectoryFile::State::regular && mayRewrite(directoryFile, folder)) {
        const std::optional<QByteArray> restored =
            directoryFileWithoutOurIcon(directoryFile, current, journal.directoryFile);
        const bool existedBefore = journal.directoryFile ? journal.directoryFile->existed : false;
        bool done = false;
        if (restored && restored->isEmpty() && !existedBefore)
            done = ::unlink(directoryFile.path.constData()) == 0;
        else if (restored)
            done = *restored == directoryFile.content
                || writeDirectoryFile(folderPath, directoryFile, folder, *restored);
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

} // namespace

namespace FolderIconService {

QString iconDirectory()
{
    return appDataDirectory() + QStringLiteral("/icons");
}

bool applyIcon(const IconImage &image, const QUrl &folderUrl)
{
    const QString folderPath = folderPathOf(folderUrl);
    struct stat folder = {};
    // Checked before anything is written: a missing folder must leave no trace anywhere.
    if (folderPath.isEmpty() || ::stat(QFile::encodeName(folderPath).constData(), &folder) != 0
        || !S_ISDIR(folder.st_mode))
        return false;
    // The encoded bytes come with the image; encoding here would stall the caller's thread.
    if (image.isNull() || !looksLikePng(image.png()))
        return false;

    const QString name = iconFileName(folderPath, image.png());
    const QString iconPath = iconDirectory() + QLatin1Char('/') + name;
    if (!writeIconFile(iconPath, image.png()))
        return false;

    // What each mechanism holds now, and what it would hold with the new icon.
    const MetadataState metadata = readMetadata(folderPath);
    const MetadataChanges metadataChanges = metadata.accessible ? metadataFor(iconPath) : MetadataChanges();
    const DirectoryFile directoryFile = readDirectoryFile(folderPath);
    const std::optional<QByteArray> editedDirectoryFile = mayRewrite(directoryFile, folder)
        ? DesktopEntryIcon::withIcon(directoryFile.content, iconPath)
        : std::nullopt;

    // Recorded before the first change, and only then: a later apply must not record our own icon as the
    // user's. A value of ours found without a record (an interrupted reset) counts as none.
    FolderIconJournal journal = FolderIconJournal::load(journalPath(folderPath), folderPath);
    const FolderIconJournal loaded = journal;
    if (!metadataChanges.isEmpty() && !journal.metadata) {
        journal.metadata = FolderIconJournal::Metadata{isOurs(metadata.customIcon) ? std::nullopt : metadata.customIcon,
                                                       isOurs(metadata.thunarIcon) ? std::nullopt : metadata.thunarIcon};
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
                           && journal.directoryFile.has_value() == loaded.directoryFile.has_value())
        || storeJournal(journal);

    const bool metadataTaken = recorded && !metadataChanges.isEmpty() && writeMetadata(folderPath, metadataChanges);
    const bool directoryFileTaken = recorded && editedDirectoryFile
        && (*editedDirectoryFile == directoryFile.content
            || writeDirectoryFile(folderPath, directoryFile, folder, *editedDirectoryFile));
    if (!metadataTaken && !directoryFileTaken) {
        // Refused everywhere: like a removal followed by a failed set, the folder ends with no icon of ours.
        FolderIconJournal left = FolderIconJournal::load(journalPath(folderPath), folderPath);
        const Restored restored = restoreMechanisms(folderPath, left);
        storeJournal(left);
        removeUnreferencedIconFiles(folderPath, left);
        if (restored.changed)
            announceChange(folderPath);
        return false;
    }
    // The previous icon does not survive, unless a mechanism that could not be updated still names it.
    removeUnreferencedIconFiles(folderPath, journal, name);
    announceChange(folderPath);
    return true;
}

bool resetIcon(const QUrl &folderUrl)
{
    const QString folderPath = folderPathOf(folderUrl);
    if (folderPath.isEmpty())
        return false;
    FolderIconJournal journal = FolderIconJournal::load(journalPath(folderPath), folderPath);
    const Restored restored = restoreMechanisms(folderPath, journal);
    const bool stored = storeJournal(journal);
    const bool clear = removeUnreferencedIconFiles(folderPath, journal);
    if (restored.changed)
        announceChange(folderPath);
    return clear && stored && journal.isEmpty();
}

bool isIconApplied(const QUrl &folderUrl)
{
    const QString folderPath = folderPathOf(folderUrl);
    if (folderPath.isEmpty() || !QFileInfo(folderPath).isDir())
        return false;
    const auto applied = [&folderPath](const QString &iconPath) {
        return !ownIconName(folderPath, iconPath).isEmpty() && QFileInfo(iconPath).isFile();
    };
    if (applied(directoryFileIconPath(readDirectoryFile(folderPath))))
        return true;
    // Reading needs no writable namespace: without gvfs the keys are simply not there.
    const MetadataState metadata = readMetadata(folderPath, false);
    return applied(metadataIconPath(metadata.customIcon)) || applied(metadataIconPath(metadata.thunarIcon));
}

} // namespace FolderIconService
