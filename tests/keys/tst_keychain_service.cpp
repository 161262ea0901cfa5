#include "keys/keychain_service.h"
#include "desktop/owner_only_file.h"

#include <QtConcurrent>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int modeOf(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

/// Sets the process umask for one scope.
class ScopedUmask final
{
public:
    explicit ScopedUmask(mode_t mask) : m_previous(::umask(mask)) {}
    ~ScopedUmask() { ::umask(m_previous); }
    Q_DISABLE_COPY_MOVE(ScopedUmask)

private:
    mode_t m_previous;
};

} // namespace

class TestKeychainService final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_data;

    QString storageDir() const { return m_data->filePath(QStringLiteral("com.tavrune.app")); }
    QString keyPath() const { return storageDir() + QStringLiteral("/com.tavrune.openrouter-api-key"); }
    QStringList storageEntries() const
    {
        return QDir(storageDir()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    void writeRawKey(const QByteArray &bytes) const
    {
        QDir().mkpath(storageDir());
        QFile file(keyPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private Q_SLOTS:
    // Each case gets a data directory of its own; the store reads XDG_DATA_HOME on every use.
    void init()
    {
        m_data = std::make_unique<QTemporaryDir>();
        QVERIFY(m_data->isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->path()));
    }

    void cleanup()
    {
        // A failed case may leave modes behind that keep the directory from being removed.
        QProcess::execute(QStringLiteral("chmod"), {QStringLiteral("-R"), QStringLiteral("u+rwX"), m_data->path()});
        m_data.reset();
    }

    void storesKeyByteForByte_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("empty, still a stored key") << QString();
        QTest::newRow("spaces and line break") << QStringLiteral("  sk-or-v1-0123456789abcdef\n");
        QTest::newRow("non-ascii") << QString::fromUtf8("cl\xC3\xA9-\xE2\x9C\x93-\xF0\x9F\x94\x91");
        QTest::newRow("nul inside") << QString::fromUtf8(QByteArray("a\0b", 3));
        QTest::newRow("byte-order mark") << QString(QChar(0xFEFF)) + QStringLiteral("key");
    }

    void storesKeyByteForByte()
    {
        QFETCH(QString, key);
        QVERIFY(KeychainService::shared().save(key));
        QCOMPARE(contentsOf(keyPath()), key.toUtf8());
        QCOMPARE(KeychainService::shared().load(), std::optional<QString>(key));
    }

    void loadsNothingWithoutKeyFile()
    {
        QVERIFY(!KeychainService::shared().load());
        QVERIFY(!QFileInfo::exists(storageDir())); // loading creates nothing
    }

    void loadsNothingForInvalidUtf8_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("stray byte") << QByteArray("sk-\xff-key");
        QTest::newRow("cut-off sequence at end") << QByteArray("sk-\xE2\x82");
        QTest::newRow("overlong slash") << QByteArray("\xC0\xAF");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80");
    }

    void loadsNothingForInvalidUtf8()
    {
        QFETCH(QByteArray, bytes);
        writeRawKey(bytes);
        QVERIFY(!KeychainService::shared().load());
    }

    void loadsNothingFromAFifo()
    {
        QDir().mkpath(storageDir());
        QCOMPARE(::mkfifo(QFile::encodeName(keyPath()).constData(), 0600), 0);
        // Would block forever if the store opened it like a file.
        QVERIFY(!KeychainService::shared().load());
    }

    void secondSaveReplacesFirstCompletely()
    {
        QVERIFY(KeychainService::shared().save(QStringLiteral("first-key-that-is-rather-long")));
        QVERIFY(KeychainService::shared().save(QStringLiteral("second")));
        QCOMPARE(contentsOf(keyPath()), QByteArray("second"));
        QCOMPARE(KeychainService::shared().load(), std::optional<QString>(QStringLiteral("second")));
        QCOMPARE(storageEntries(), QStringList{QStringLiteral("com.tavrune.openrouter-api-key")});
    }

    void repairsLoosePermissions()
    {
        writeRawKey("old");
        QCOMPARE(::chmod(QFile::encodeName(storageDir()).constData(), 0777), 0);
        QCOMPARE(::chmod(QFile::encodeName(keyPath()).constData(), 0666), 0);
        QVERIFY(KeychainService::shared().save(QStringLiteral("new")));
        QCOMPARE(modeOf(storageDir()), 0700);
        QCOMPARE(modeOf(keyPath()), 0600);
    }

    void privateEvenUnderPermissiveUmask()
    {
        const ScopedUmask permissive(0);
        QVERIFY(KeychainService::shared().save(QStringLiteral("key")));
        QCOMPARE(modeOf(storageDir()), 0700);
        QCOMPARE(modeOf(keyPath()), 0600);

        // The temporary file that becomes the key is owner-only from the moment it exists.
        QString created;
        const int fd = OwnerOnlyFile::createExclusive(storageDir(), QStringLiteral(".probe."), &created);
        QVERIFY(fd >= 0);
        struct stat info {};
        QCOMPARE(::fstat(fd, &info), 0);
        ::close(fd);
        QCOMPARE(int(info.st_mode & 07777), 0600);
        QVERIFY(QFileInfo(created).fileName().startsWith(QStringLiteral(".probe.")));
        QVERIFY(QFile::remove(created));
    }

    void refusesKeyThatIsNotValidText()
    {
        QVERIFY(KeychainService::shared().save(QStringLiteral("old-key")));
        QString broken = QStringLiteral("new-");
        broken.append(QChar(0xD800)); // lone surrogate: no UTF-8 form
        QVERIFY(!KeychainService::shared().save(broken));
        QCOMPARE(contentsOf(keyPath()), QByteArray("old-key"));
    }

    void failedWriteLeavesOldKeyWhole()
    {
        QVERIFY(KeychainService::shared().save(QStringLiteral("old-key")));

        // A file-size limit makes the write itself fail, for root as much as for anyone.
        struct rlimit previous {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tiny = previous;
        tiny.rlim_cur = 4;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        const bool saved = KeychainService::shared().save(QStringLiteral("a-new-key-longer-than-four-bytes"));
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!saved);
        QCOMPARE(contentsOf(keyPath()), QByteArray("old-key"));
        QCOMPARE(storageEntries(), QStringList{QStringLiteral("com.tavrune.openrouter-api-key")});
    }

    void failedReplaceLeavesOldStateAndNoTemporary()
    {
        // Something that is not a key file sits in the key's place; renaming over it fails.
        QDir().mkpath(keyPath());
        QFile marker(keyPath() + QStringLiteral("/keep"));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.write("untouched");
        marker.close();

        QVERIFY(!KeychainService::shared().save(QStringLiteral("key")));
        QVERIFY(QFileInfo(keyPath()).isDir());
        QCOMPARE(contentsOf(keyPath() + QStringLiteral("/keep")), QByteArray("untouched"));
        QCOMPARE(storageEntries(), QStringList{QStringLiteral("com.tavrune.openrouter-api-key")});
        QVERIFY(!KeychainService::shared().load());
    }

    void failsWhenDirectoryCannotBeMade_data()
    {
        QTest::addColumn<QString>("blocker"); // a regular file placed where a directory is needed
        QTest::newRow("storage directory") << QStringLiteral("com.tavrune.app");
        QTest::newRow("data directory") << QStringLiteral("data");
    }

    void failsWhenDirectoryCannotBeMade()
    {
        QFETCH(QString, blocker);
        QFile file(m_data->filePath(blocker));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        if (blocker == QStringLiteral("data"))
            qputenv("XDG_DATA_HOME", QFile::encodeName(m_data->filePath(QStringLiteral("data/share"))));

        QVERIFY(!KeychainService::shared().save(QStringLiteral("key")));
        QCOMPARE(QFileInfo(m_data->filePath(blocker)).size(), 0);
        QVERIFY(QFileInfo(m_data->filePath(blocker)).isFile());
    }

    void readerNeverSeesAPartialKey()
    {
        const QString longKey = QString(20000, u'L');
        const QString shortKey = QStringLiteral("short");
        QVERIFY(KeychainService::shared().save(longKey));

        std::atomic<bool> done{false};
        QFuture<int> reader = QtConcurrent::run([&] {
            int bad = 0;
            while (!done.load()) {
                const std::optional<QString> key = KeychainService::shared().load();
                if (!key || (*key != longKey && *key != shortKey))
                    ++bad;
            }
            return bad;
        });
        int failedSaves = 0;
        for (int i = 0; i < 60; ++i)
            failedSaves += KeychainService::shared().save(i % 2 ? longKey : shortKey) ? 0 : 1;
        done = true; // before any check can return, so the reader never outlives this frame
        QCOMPARE(reader.result(), 0);
        QCOMPARE(failedSaves, 0);
    }
};

QTEST_GUILESS_MAIN(TestKeychainService)
#include "tst_keychain_service.moc"
