#include "keys/keychain_service.h"
#include "desktop/owner_only_file.h"
#include "keys/secret_service_keyring.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPromise>
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


bool writeKeyFile(const QString &key)
{
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

std::optional<QString> readKeyFile()
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

bool removeKeyFile()
{
    const QString directory = storageDirectory();
    if (directory.isEmpty())
        return true;
    const QByteArray path = QFile::encodeName(keyFilePath(directory));
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

template <typename T>
QFuture<T> readyFuture(T value)
{
    QPromise<T> promise;
    promise.start();
    promise.addResult(std::move(value));
    promise.finish();
    return promise.future();
}

} // namespace

const char *const KeychainService::SchemaName = "com.tavrune.app.ApiKey";

QString KeychainService::itemLabel()
{
    return QStringLiteral("Tavrune OpenRouter API key");
}

KeychainService &KeychainService::shared()
{
    static KeychainService instance;
    return instance;
}

KeychainService::KeychainService()
    : m_keyring(std::make_unique<SecretServiceKeyring>(m_timeoutMs))
{
}

// The keyring's calls may still be running when the process ends; they hold on to what they use.
KeychainService::~KeychainService() = default;

void KeychainService::setOperationTimeout(int milliseconds)
{
    m_timeoutMs = milliseconds;
    m_keyring->setTimeout(milliseconds);
}

QFuture<KeychainService::Lookup> KeychainService::start(Prompting prompting)
{
    if (m_started)
        return m_startFuture;
    m_started = true;
    m_prompting = prompting;
    auto promise = std::make_shared<QPromise<Lookup>>();
    promise->start();
    m_startFuture = promise->future();
    const auto finish = [this, promise](Lookup lookup) {
        m_location = lookup.location;
        promise->addResult(lookup);
        promise->finish();
        Q_EMIT changed();
    };

    m_keyring->probe([=, this](bool answers) {
        if (!answers)
            return finish(Lookup{.key = readKeyFile(), .location = Location::file});
        m_keyring->read(prompting == Prompting::allowed, [=, this](SecretServiceKeyring::Read read) {
            const std::optional<QString> fileKey = readKeyFile();
            if (read.unavailable)
                return finish(Lookup{.key = fileKey, .location = Location::file});
            if (read.failed) {
                // A key still in the file stays usable; otherwise the keyring's key is out of reach.
                if (fileKey)
                    return finish(Lookup{.key = fileKey, .location = Location::file});
                return finish(Lookup{.key = std::nullopt, .location = Location::keyring, .failed = true, .locked = read.locked});
            }
            m_keyringKey = read.key;
            if (!fileKey)
                return finish(Lookup{.key = read.key, .location = Location::keyring});
            // The file's key moves into the keyring; the file goes only once the keyring has it.
            m_keyring->write(*fileKey, prompting == Prompting::allowed, [=, this](SecretServiceKeyring::Outcome outcome) {
                // Where the keyring cannot take it, the key stays in the file; a start with a keyring
                // that can (after an unlock, say) moves it then.
                if (outcome != SecretServiceKeyring::Outcome::done)
                    return finish(Lookup{.key = fileKey, .location = Location::file});
                m_keyringKey = fileKey;
                removeKeyFile();
                finish(Lookup{.key = fileKey, .location = Location::keyring});
            });
        });
    });
    return m_startFuture;
}

QFuture<KeychainService::Lookup> KeychainService::lookup() const
{
    if (m_started)
        return m_startFuture;
    return readyFuture(Lookup{.key = readKeyFile(), .location = Location::file});
}

QFuture<KeychainService::StoreResult> KeychainService::store(const QString &key)
{
    if (!m_started || m_location == Location::file) {
        const bool stored = writeKeyFile(key);
        if (stored)
            Q_EMIT changed();
        return readyFuture(StoreResult{.stored = stored, .location = Location::file});
    }
    auto promise = std::make_shared<QPromise<StoreResult>>();
    promise->start();
    m_keyring->write(key, m_prompting == Prompting::allowed, [=, this](SecretServiceKeyring::Outcome outcome) {
        if (outcome == SecretServiceKeyring::Outcome::unavailable) {
            // A keyring daemon with nowhere to keep the key is no keyring: the file takes it.
            const bool stored = writeKeyFile(key);
            if (stored) {
                m_location = Location::file;
                Q_EMIT changed();
            }
            promise->addResult(StoreResult{.stored = stored, .location = Location::file, .locked = false});
            promise->finish();
            return;
        }
        const bool stored = outcome == SecretServiceKeyring::Outcome::done;
        if (stored) {
            m_keyringKey = key;
            // A key left in the file by an earlier failed move is older than this one.
            removeKeyFile();
            Q_EMIT changed();
        }
        promise->addResult(StoreResult{.stored = stored, .location = Location::keyring, .locked = outcome == SecretServiceKeyring::Outcome::locked});
        promise->finish();
    });
    return promise->future();
}

QFuture<bool> KeychainService::clear()
{
    if (!m_started || m_location == Location::file) {
        const bool cleared = removeKeyFile();
        Q_EMIT changed();
        return readyFuture(cleared);
    }
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    m_keyring->erase([=, this](bool erased) {
        if (erased)
            m_keyringKey.reset();
        const bool fileRemoved = removeKeyFile();
        Q_EMIT changed();
        promise->addResult(erased && fileRemoved);
        promise->finish();
    });
    return promise->future();
}

bool KeychainService::save(const QString &key, KeyType type)
{
    Q_UNUSED(type); // every key type lives in the one place
    if (!writeKeyFile(key))
        return false;
    if (m_started && m_location == Location::keyring) {
        // As at start: the key moves from the file into the keyring, the file going once it is there.
        m_keyringKey = key;
        m_keyring->write(key, m_prompting == Prompting::allowed, [this, key](SecretServiceKeyring::Outcome outcome) {
            if (outcome == SecretServiceKeyring::Outcome::done && readKeyFile() == key)
                removeKeyFile();
        });
    }
    return true;
}

std::optional<QString> KeychainService::load() const
{
    if (m_started && m_location == Location::keyring)
        return m_keyringKey;
    return readKeyFile();
}
