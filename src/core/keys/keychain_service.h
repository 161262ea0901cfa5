#pragma once

#include <QFuture>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class SecretServiceKeyring;

/// @brief Keeps the user's OpenRouter API key: in the desktop keyring (the Secret Service) when one
/// answers, else in an owner-only file under the XDG data directory.
///
/// The keyring is looked for once, by start(), which the program calls as it starts. Until then
/// (and in tools and benchmarks that never call it) the service works on the file alone. After a
/// start that found a keyring, store() and clear() go to the keyring, the file is only a place a
/// key is moved out of, and load() returns the key last read from or stored in the keyring.
/// Every keyring operation runs on the GLib main context of the main thread: nothing blocks.
class KeychainService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeychainService)

public:
    enum class KeyType { openRouterApiKey };
    /// Where the key is kept.
    enum class Location { file, keyring };
    /// Whether reading the keyring may ask the desktop to show its unlock prompt.
    enum class Prompting { allowed, never };

    /// What start() found.
    struct Lookup
    {
        std::optional<QString> key;
        Location location = Location::file;
        /// The keyring answered but did not give the key (locked, prompt dismissed, an error): a
        /// stored key may well still be there, so nothing is to be overwritten lightly.
        bool failed = false;
        /// With `failed`: the keyring was locked and no prompt was allowed to unlock it.
        bool locked = false;
    };

    struct StoreResult
    {
        bool stored = false;
        Location location = Location::file;
        /// Not stored because the keyring is locked and no prompt was allowed to unlock it.
        bool locked = false;
    };

    /// The keyring's schema name and the label its item shows in keyring managers.
    static const char *const SchemaName;
    static QString itemLabel();

    static KeychainService &shared();

    /// Looks for a Secret Service, reads the key from it and moves a key found in the file into
    /// it (the file is removed once the keyring confirmed the store). Runs once; later calls
    /// return the same future.
    QFuture<Lookup> start(Prompting prompting = Prompting::allowed);
    /// start()'s result once it was called, else the file's key at once.
    QFuture<Lookup> lookup() const;
    /// Stores the key where start() decided; the keyring's other items for it are removed.
    QFuture<StoreResult> store(const QString &key);
    /// Removes the key from the keyring and the file; true when nothing of it is left.
    QFuture<bool> clear();

    Location location() const { return m_location; }
    bool isStarted() const { return m_started; }

    /// Synchronous store, for tools and benchmarks: writes the file. After a start that found a
    /// keyring the key then moves on into it as at start. False when the file could not be written.
    bool save(const QString &key, KeyType type = KeyType::openRouterApiKey);
    /// The current key without waiting: the keyring's as last read or stored, else the file's
    /// exactly as saved, or nothing (no file, unreadable, not UTF-8).
    std::optional<QString> load() const;

    /// How long one keyring operation, unlock prompt included, may take before it is given up.
    void setOperationTimeout(int milliseconds);

Q_SIGNALS:
    /// The key or its location changed (a start finished, a store or clear landed).
    void changed();

private:
    KeychainService();
    ~KeychainService() override;

    int m_timeoutMs = 120'000;
    std::unique_ptr<SecretServiceKeyring> m_keyring;
    Location m_location = Location::file;
    Prompting m_prompting = Prompting::allowed;
    bool m_started = false;
    QFuture<Lookup> m_startFuture;
    std::optional<QString> m_keyringKey;
};
