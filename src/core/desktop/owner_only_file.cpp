#include "desktop/owner_only_file.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t OwnerReadWrite = S_IRUSR | S_IWUSR; // 0600

std::atomic<OwnerOnlyFile::BeforeRenameHook> beforeRenameHook{nullptr};

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype remaining = bytes.size();
    while (remaining > 0) {
        const ssize_t written = ::write(fd, data, size_t(remaining));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        remaining -= written;
    }
    return true;
}

bool syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int result = ::fsync(fd);
    // Some file systems cannot sync a directory at all; the rename is as durable as they make it.
    if (result != 0 && (errno == EINVAL || errno == EROFS))
        result = 0;
    ::close(fd);
    return result == 0;
}

} // namespace

namespace OwnerOnlyFile {

void setBeforeRenameHook(BeforeRenameHook hook) { beforeRenameHook.store(hook); }

int createExclusive(const QString &directory, const QString &namePrefix, QString *createdPath)
{
    // O_EXCL with mode 0600 means the file is private from its first moment: never created with
    // the umask's looser mode and narrowed afterwards, and never an existing file or a planted link.
    for (int attempt = 0; attempt < 32; ++attempt) {
        const QString candidate = directory + u'/' + namePrefix
                                  + QString::number(QRandomGenerator::system()->generate64(), 36);
        const int fd = ::open(QFile::encodeName(candidate).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, OwnerReadWrite);
        if (fd >= 0) {
            if (createdPath)
                *createdPath = candidate;
            return fd;
        }
        if (errno != EEXIST && errno != EINTR)
            return -1;
    }
    return -1;
}

bool replace(const QString &path, const QByteArray &bytes)
{
    const QFileInfo target(path);
    const QString directory = target.absolutePath();
    QString temporaryPath;
    const int fd = createExclusive(directory, u'.' + target.fileName() + u'.', &temporaryPath);
    if (fd < 0)
        return false;
    const QByteArray temporaryName = QFile::encodeName(temporaryPath);

    // fchmod as well as the creation mode: a umask may have removed the owner's own bits.
    bool ok = ::fchmod(fd, OwnerReadWrite) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) {
        if (const OwnerOnlyFile::BeforeRenameHook hook = beforeRenameHook.load())
            hook(target.absoluteFilePath());
    }
    if (ok)
        ok = ::rename(temporaryName.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) == 0;
    if (!ok) {
        ::unlink(temporaryName.constData());
        return false;
    }
    return syncDirectory(directory);
}

} // namespace OwnerOnlyFile
