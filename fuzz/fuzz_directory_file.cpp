// Feeds arbitrary bytes as a folder's `.directory` through apply, re-apply and reset of a folder icon, on a
// real temporary folder, and checks the two promises around that file:
// - reset gives back exactly the bytes it started from (and the mode), or the file's absence;
// - whenever apply says the `.directory` took the icon, KConfig's rules read our icon from it.
// gvfs is kept out (no session bus): the `.directory` is the only mechanism, and every run is quick.
#include "desktop/folder_icon_service.h"
#include "kconfig_reader.h"
#include "solid_icon.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString g_folder;
IconImage g_icons[2];

// Where applyIcon keeps this icon for this folder: a hash of the folder's path and one of the content.
QString iconPathOf(const IconImage &icon)
{
    const QByteArray folder = QCryptographicHash::hash(g_folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    const QByteArray content = QCryptographicHash::hash(icon.png(), QCryptographicHash::Sha1).toHex().left(12);
    return FolderIconService::iconDirectory() + QLatin1Char('/') + QString::fromLatin1(folder + '-' + content)
        + QStringLiteral(".png");
}

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_directory_file: %s\n", what);
    __builtin_trap();
}

void applyAndCheck(const IconImage &icon, const QString &directoryFile)
{
    const FolderIconService::ApplyResult result = FolderIconService::applyIcon(icon, QUrl::fromLocalFile(g_folder));
    if (result.metadataTaken())
        fail("gvfs metadata taken without a session bus");
    if (result.directoryFileTaken() != result.applied())
        fail("applied without the only mechanism there is");
    if (!result.directoryFileTaken())
        return;
    QFile file(directoryFile);
    if (!file.open(QIODevice::ReadOnly))
        fail("the .directory that took the icon cannot be read");
    if (KConfigReader::directoryIcon(file.readAll()) != std::optional(iconPathOf(icon)))
        fail("the .directory that took the icon does not name it for KConfig");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // A scratch home on tmpfs: every apply syncs the file it writes.
    const QByteArray base = QFileInfo(QStringLiteral("/dev/shm")).isDir() ? "/dev/shm" : "/tmp";
    QByteArray home = base + "/fuzz-directory-file-XXXXXX";
    if (!::mkdtemp(home.data()))
        std::abort();
    ::setenv("HOME", home.constData(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/data").constData(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/config").constData(), 1);
    ::setenv("GIO_USE_VFS", "local", 1);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    static QCoreApplication app(*argc, *argv);
    g_folder = QFile::decodeName(home) + QStringLiteral("/Folder");
    if (!QDir().mkpath(g_folder))
        std::abort();
    g_icons[0] = solidIcon(QColor(0xffff0000), 16);
    g_icons[1] = solidIcon(QColor(0xff0000ff), 16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const QString directoryFile = g_folder + QStringLiteral("/.directory");
    const QByteArray path = QFile::encodeName(directoryFile);
    // The first byte picks whether there is a file at all, and its mode; the rest is its content.
    const bool exists = size > 0;
    const mode_t mode = exists && (data[0] & 1) ? 0600 : 0644;
    const QByteArray original = exists ? QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1))
                                       : QByteArray();
    ::unlink(path.constData());
    if (exists) {
        QFile file(directoryFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(original) != original.size())
            std::abort();
        file.close();
        ::chmod(path.constData(), mode);
    }

    applyAndCheck(g_icons[0], directoryFile);
    applyAndCheck(g_icons[1], directoryFile);
    if (!FolderIconService::resetIcon(QUrl::fromLocalFile(g_folder)))
        fail("reset failed");

    struct stat status = {};
    const bool present = ::lstat(path.constData(), &status) == 0;
    if (present != exists)
        fail("reset did not give back the file's presence or absence");
    if (exists) {
        QFile file(directoryFile);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != original)
            fail("reset did not give back the exact bytes");
        if ((status.st_mode & 07777) != mode)
            fail("reset did not give back the mode");
    }
    const QStringList entries = QDir(g_folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (entries.size() != (exists ? 1 : 0))
        fail("something besides .directory was left in the folder");
    if (!QDir(FolderIconService::iconDirectory()).entryList(QDir::Files).isEmpty())
        fail("an icon file outlived the reset");
    return 0;
}
