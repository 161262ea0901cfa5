#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;
typedef struct _SecretService SecretService;

/// @brief The API key's item in the desktop keyring, through libsecret's asynchronous calls.
///
/// Every call returns at once; its callback runs later on the main thread, from the GLib main
/// context that Qt's event loop iterates. Each operation is given up (and its prompt dismissed)
/// after a bounded time.
class SecretServiceKeyring final
{
public:
    struct Read
    {
        std::optional<QString> key;
        bool failed = false;
        bool locked = false;
        /// The service did not come up after all (activation failed): as good as no keyring.
        bool unavailable = false;
    };
    /// `unavailable`: there is no collection to store into and no prompt may be shown to make one
    /// (a keyring daemon that was never set up, as on a server): as good as no keyring at all.
    enum class Outcome { done, failed, locked, unavailable };

    explicit SecretServiceKeyring(int timeoutMs);
    ~SecretServiceKeyring();
    SecretServiceKeyring(const SecretServiceKeyring &) = delete;
    SecretServiceKeyring &operator=(const SecretServiceKeyring &) = delete;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    /// Whether a Secret Service answers on the session bus: its name is owned or can be activated.
    /// No bus, or a bus that does not answer, means no.
    void probe(std::function<void(bool answers)> done);
    /// The newest usable item's secret. Items of another schema and empty secrets are no key.
    void read(bool allowPrompt, std::function<void(Read)> done);
    /// Stores the key in the default collection, then removes every other item for it. Without
    /// `allowPrompt` a locked (or missing) default collection gives `locked` at once.
    void write(const QString &key, bool allowPrompt, std::function<void(Outcome)> done);
    /// Removes every item for the key; true when none is left.
    void erase(std::function<void(bool erased)> done);

private:
    struct Operation;
    /// `timeoutMs` 0 takes the keyring's own timeout.
    Operation *begin(int timeoutMs = 0);
    void end(Operation *operation);
    /// Connects to the Secret Service; `next` gets a reference to it, or null when it did not answer.
    void withService(Operation *operation, std::function<void(SecretService *)> next);

    int m_timeoutMs;
    int m_running = 0;
    std::unique_ptr<QTimer> m_pump;
};
