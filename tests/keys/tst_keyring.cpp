#include "fake_open_router.h"
#include "keys/keychain_service.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>

#include <libsecret/secret.h>

#include <sys/stat.h>

// The key store against a real gnome-keyring-daemon on this test's own session bus, unlocked with
// a test password; the command-line cases run the real program against the fake OpenRouter. The
// cases build on each other in order: one keyring, one start of the key store per process.

namespace {

const SecretSchema *schemaNamed(const char *name)
{
    static SecretSchema ours{}, foreign{};
    SecretSchema &schema = qstrcmp(name, KeychainService::SchemaName) == 0 ? ours : foreign;
    schema.name = name;
    schema.flags = SECRET_SCHEMA_NONE;
    schema.attributes[0] = {"key-type", SECRET_SCHEMA_ATTRIBUTE_STRING};
    return &schema;
}

// Straight through libsecret, as another keyring client would write it.
bool addItem(const char *schemaName, const char *collection, const char *secret)
{
    return secret_password_store_sync(schemaNamed(schemaName), collection, "test item", secret, nullptr, nullptr,
                                      "key-type", "openrouter-api-key", nullptr);
}

struct Item
{
    QString secret;
    QString label;
};

// Every item of the given schema, unlocking nothing.
QList<Item> items(const char *schemaName = KeychainService::SchemaName)
{
    QList<Item> found;
    GHashTable *attributes = secret_attributes_build(schemaNamed(schemaName), "key-type", "openrouter-api-key", nullptr);
    GList *list = secret_service_search_sync(nullptr, schemaNamed(schemaName), attributes,
                                             SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), nullptr, nullptr);
    for (GList *node = list; node; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        SecretValue *value = secret_item_get_secret(item);
        char *label = secret_item_get_label(item);
        found.append({value ? QString::fromUtf8(secret_value_get_text(value)) : QString(), QString::fromUtf8(label)});
        g_free(label);
        if (value)
            secret_value_unref(value);
    }
    g_list_free_full(list, g_object_unref);
    g_hash_table_unref(attributes);
    return found;
}

QStringList secrets(const char *schemaName = KeychainService::SchemaName)
{
    QStringList all;
    for (const Item &item : items(schemaName))
        all.append(item.secret);
    all.sort();
    return all;
}

template <typename T>
T await(QFuture<T> future)
{
    if (!QTest::qWaitFor([&] { return future.isFinished(); }, 20000))
        qFatal("the key store did not answer");
    return future.result();
}

struct Outcome
{
    int exitCode = -1;
    QStringList lines;
};

} // namespace

class TestKeyring final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;
    QProcess m_bareBus;

    Outcome run(const QStringList &arguments, const QByteArray &input = {}, const QString &busAddress = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TAVRUNE_OPENROUTER_URL"), m_server.baseUrl());
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (!busAddress.isEmpty())
            environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_tree.path());
        process.start(QStringLiteral(TAVRUNE_BINARY), arguments);
        process.write(input);
        process.closeWriteChannel();
        // Bounded: a keyring that cannot be unlocked must be reported, not waited on.
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return {};
        }
        Outcome outcome;
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.lines = QString::fromUtf8(process.readAllStandardError()).split(u'\n', Qt::SkipEmptyParts);
        return outcome;
    }

private Q_SLOTS:
    void cleanupTestCase()
    {
        m_bareBus.kill();
        m_bareBus.waitForFinished();
    }

    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        m_tree.makeDir(QStringLiteral("Projects"));
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkCyan)));

        // The daemon makes and unlocks the login keyring (the default collection) with this password.
        QProcess daemon;
        daemon.start(QStringLiteral("gnome-keyring-daemon"), {QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
        QVERIFY(daemon.waitForStarted());
        daemon.write("tavrune-test-password");
        daemon.closeWriteChannel();
        QVERIFY(daemon.waitForFinished(20000));
        QVERIFY(secrets().isEmpty());
    }

    void movesTheFileKeyIntoTheKeyring()
    {
        // Stored before the keyring is looked for, as an earlier version kept it.
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-from-file")));
        QVERIFY(QFile::exists(storedKeyPath()));

        const KeychainService::Lookup found = await(KeychainService::shared().start(KeychainService::Prompting::never));
        QCOMPARE(found.key, std::optional<QString>(QStringLiteral("sk-or-from-file")));
        QCOMPARE(found.location, KeychainService::Location::keyring);
        QVERIFY(!found.failed);
        QCOMPARE(secrets(), QStringList{QStringLiteral("sk-or-from-file")});
        QVERIFY(!QFile::exists(storedKeyPath()));
    }

    void storesLoadsAndClearsInTheKeyringOnly()
    {
        KeychainService &keys = KeychainService::shared();
        const QString key = QStringLiteral("sk-or-v1-kept-in-the-keyring");
        const KeychainService::StoreResult stored = await(keys.store(key));
        QVERIFY(stored.stored);
        QCOMPARE(stored.location, KeychainService::Location::keyring);
        QCOMPARE(keys.load(), std::optional<QString>(key));
        const QList<Item> kept = items();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept.first().secret, key);
        QCOMPARE(kept.first().label, QStringLiteral("Tavrune OpenRouter API key"));

        // Not in any file of this test's home, XDG and runtime directories (the keyring's own
        // files are encrypted).
        const QString scratch = QFileInfo(QDir::homePath()).absolutePath();
        QDirIterator files(scratch, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = files.next();
            QVERIFY2(!fileContent(path).contains(key.toUtf8()), qPrintable(path));
        }

        QVERIFY(await(keys.clear()));
        QCOMPARE(keys.load(), std::nullopt);
        QVERIFY(secrets().isEmpty());
    }

    void commandLineTakesTheNewestOfItsOwnItems()
    {
        // Another schema's item and an empty secret of ours are no key at all.
        QVERIFY(addItem("org.example.Other", SECRET_COLLECTION_DEFAULT, "sk-foreign"));
        QVERIFY(addItem(KeychainService::SchemaName, SECRET_COLLECTION_DEFAULT, ""));
        Outcome outcome = run({QStringLiteral("--apply-icons"), QStringLiteral("Projects")});
        QCOMPARE(outcome.exitCode, 2);
        QCOMPARE(outcome.lines.size(), 1);
        QVERIFY2(outcome.lines.first().contains(QLatin1String("--set-api-key")), qPrintable(outcome.lines.first()));

        // Two of ours in two collections: the newer one is used. Item times count in seconds.
        QVERIFY(addItem(KeychainService::SchemaName, SECRET_COLLECTION_DEFAULT, "sk-older"));
        QTest::qWait(1100);
        QVERIFY(addItem(KeychainService::SchemaName, SECRET_COLLECTION_SESSION, "sk-newer"));
        m_server.reset();
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkCyan)));
        outcome = run({QStringLiteral("--apply-icons"), QStringLiteral("Projects")});
        QCOMPARE(outcome.lines, QStringList{QStringLiteral("Projects: applied")});
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(m_server.chatRequests().first().header("Authorization"), QByteArray("Bearer sk-newer"));

        // The next store leaves one item of ours; the other client's item is not ours to remove.
        outcome = run({QStringLiteral("--set-api-key")}, "sk-set\n");
        QCOMPARE(outcome.lines, QStringList{QStringLiteral("tavrune: API key stored in your keyring.")});
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(secrets(), QStringList{QStringLiteral("sk-set")});
        QCOMPARE(secrets("org.example.Other"), QStringList{QStringLiteral("sk-foreign")});
        QVERIFY(!QFile::exists(storedKeyPath()));
    }

    void usesThePrivateFileWithNoSecretServiceOnTheBus()
    {
        // A bus of its own that knows no services at all, as in a container.
        const QString config = m_tree.makeFile(QStringLiteral("bus.conf"),
                                               "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
                                               "<auth>EXTERNAL</auth><policy context=\"default\">"
                                               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                                               "<allow own=\"*\"/></policy></busconfig>");
        m_bareBus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                                                        QStringLiteral("--print-address=1")});
        QVERIFY(m_bareBus.waitForReadyRead(10000));
        const QString address = QString::fromUtf8(m_bareBus.readLine()).trimmed();
        QVERIFY(!address.isEmpty());

        Outcome outcome = run({QStringLiteral("--set-api-key")}, "sk-in-a-file\n", address);
        QCOMPARE(outcome.lines, QStringList{QStringLiteral("tavrune: API key stored in a private file on this computer.")});
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(fileContent(storedKeyPath()), QByteArray("sk-in-a-file"));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(storedKeyPath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        QCOMPARE(secrets(), QStringList{QStringLiteral("sk-set")});

        // With no bus at all, as on a server, the file's key is the one used.
        m_server.reset();
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkCyan)));
        outcome = run({QStringLiteral("--apply-icons"), QStringLiteral("Projects")}, {},
                      QStringLiteral("unix:path=") + m_tree.filePath(QStringLiteral("no-bus")));
        QCOMPARE(outcome.lines, QStringList{QStringLiteral("Projects: applied")});
        QCOMPARE(m_server.chatRequests().first().header("Authorization"), QByteArray("Bearer sk-in-a-file"));
    }

    void lockedKeyringWithoutPrompterFailsClearly()
    {
        QFile::remove(storedKeyPath()); // a key in the file would still be usable
        SecretService *service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, nullptr);
        QVERIFY(service);
        SecretCollection *login = secret_collection_for_alias_sync(service, "default", SECRET_COLLECTION_NONE, nullptr, nullptr);
        QVERIFY(login);
        GList *objects = g_list_append(nullptr, login);
        QCOMPARE(secret_service_lock_sync(service, objects, nullptr, nullptr, nullptr), 1);
        g_list_free(objects);
        g_object_unref(login);
        g_object_unref(service);
        m_server.reset();

        const QString locked = QStringLiteral(": the keyring is locked, and no unlock prompt can be shown without a display.");
        Outcome outcome = run({QStringLiteral("--apply-icons"), QStringLiteral("Projects")});
        QCOMPARE(outcome.lines, QStringList{QStringLiteral("tavrune: Could not read the API key from the keyring") + locked});
        QCOMPARE(outcome.exitCode, 2);
        QVERIFY(m_server.requests().isEmpty());

        outcome = run({QStringLiteral("--set-api-key")}, "sk-not-stored\n");
        QCOMPARE(outcome.lines, QStringList{QStringLiteral("tavrune: Could not store the API key in the keyring") + locked});
        QCOMPARE(outcome.exitCode, 2);
        // Nothing was lost, and the refused key went nowhere.
        QVERIFY(!QFile::exists(storedKeyPath()));
    }
};

QTEST_GUILESS_MAIN(TestKeyring)
#include "tst_keyring.moc"
