#include "keys/keychain_service.h"
#include "desktop/owner_only_file.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The key never appears in any message, log line or error text: failures are reported by the
// result alone.

namespace {

constexpr mode_t OwnerOnlyDirectory = S_IRWXU; // 0700
constexpr mode_t OwnerReadWrite = S_IRUSR | S_IWUSR; // 0600

// Computed on every use, so a changed XDG_DATA_HOME takes effect at once.
QString storageDirectory()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QString();
    return base + QStringLiteral("/com.tavrune.app");
}

QString keyFilePath(const QString &directory)
{
    return directory + QStringLiteral("/com.tavrune.openrouter-api-key");
}

bool isDirectory(const QByteArray &path)
{
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates the directory (and its parents) and narrows it to the owner. Returns whether the
// directory exists afterwards; a failure to narrow the mode is tolerated, as the key file itself
// is always owner-only.
bool ensureDirectory(const QString &directory)
{
    const QByteArray name = QFile::encodeName(directory);
    if (!isDirectory(name)) {
        QDir().mkpath(QFileInfo(directory).absolutePath());
        // Created owner-only at once rather than narrowed later.
        if (::mkdir(name.constData(), OwnerOnlyDirectory) != 0 && errno != EEXIST)
            return false;
    }
    ::chmod(name.constData(), OwnerOnlyDirectory);
    return isDirectory(name);
}

std::optional<QByteArray> readRegularFile(const QString &path)
{
    // O_NONBLOCK keeps a FIFO put in the key's place from hanging the caller; only a regular file is read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(buffer, count);
    }
    ::close(fd);
    return bytes;
}

} // namespace

KeychainService &KeychainService::shared()
{
    static KeychainService instance;
    return instance;
}

bool KeychainService::save(const QString &key, KeyType type)
{
    Q_UNUSED(type); // every key type lives in the one file
    const QString directory = storageDirectory();
    if (directory.isEmpty() || !ensureDirectory(directory))
        return false;

    // A lone surrogate cannot be encoded; storing a replacement character would save a different key.
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const QByteArray bytes = encoder.encode(key);
    if (encoder.hasError())
        return false;

    const QString path = keyFilePath(directory);
    if (!OwnerOnlyFile::replace(path, bytes))
        return false;
    // The new file is already 0600; this catches a file system that did not keep the mode.
    return ::chmod(QFile::encodeName(path).constData(), OwnerReadWrite) == 0;
}

std::optional<QString> KeychainService::load() const
{
    const QString directory = storageDirectory();
    if (directory.isEmpty())
        return std::nullopt;
    const std::optional<QByteArray> bytes = readRegularFile(keyFilePath(directory));
    if (!bytes)
        return std::nullopt;

    // Stateless, so a sequence cut off at the end is an error rather than silently held back;
    // ConvertInitialBom keeps a leading byte-order mark as U+FEFF, so the text is exactly what was stored.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
