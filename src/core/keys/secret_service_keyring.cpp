#include "keys/secret_service_keyring.h"
#include "keys/keychain_service.h"

#include <QAbstractEventDispatcher>
#include <QByteArrayView>
#include <QStringDecoder>
#include <QTimer>

#include <libsecret/secret.h>

#include <memory>
#include <utility>

// The secret never appears in a message or a log line; a failure is reported by the result alone.

namespace {

const char *const SecretServiceName = "org.freedesktop.secrets";
const char *const KeyTypeAttribute = "key-type";
const char *const KeyTypeValue = "openrouter-api-key";
// Asking the bus who is there must not take long: without an answer the file is used.
constexpr int ProbeTimeoutMs = 5000;

const SecretSchema *apiKeySchema()
{
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = KeychainService::SchemaName;
        s.flags = SECRET_SCHEMA_NONE; // items of any other schema are never matched
        s.attributes[0] = {KeyTypeAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &schema;
}

GHashTable *apiKeyAttributes()
{
    GHashTable *attributes = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attributes, const_cast<char *>(KeyTypeAttribute), const_cast<char *>(KeyTypeValue));
    return attributes;
}

// GAsyncReadyCallback trampoline: the user data is the step to run next, used once.
using Step = std::function<void(GAsyncResult *)>;

void resume(GObject *, GAsyncResult *result, gpointer data)
{
    const std::unique_ptr<Step> step(static_cast<Step *>(data));
    (*step)(result);
}

gpointer then(Step step)
{
    return new Step(std::move(step));
}

// The item's secret as text; an empty or non-UTF-8 secret is no key.
std::optional<QString> secretText(SecretItem *item)
{
    SecretValue *value = secret_item_get_secret(item);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar *bytes = secret_value_get(value, &length);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes, qsizetype(length)));
    const bool valid = !decoder.hasError();
    secret_value_unref(value);
    if (!valid || text.isEmpty())
        return std::nullopt;
    return text;
}

// Newest first: last modified, then created, then the object path, so equal times still give
// one fixed order.
bool isNewer(SecretItem *a, SecretItem *b)
{
    const guint64 modifiedA = secret_item_get_modified(a), modifiedB = secret_item_get_modified(b);
    if (modifiedA != modifiedB)
        return modifiedA > modifiedB;
    const guint64 createdA = secret_item_get_created(a), createdB = secret_item_get_created(b);
    if (createdA != createdB)
        return createdA > createdB;
    return g_strcmp0(g_dbus_proxy_get_object_path(G_DBUS_PROXY(a)), g_dbus_proxy_get_object_path(G_DBUS_PROXY(b))) > 0;
}

// The newest item whose secret is usable (and, when given, equals `wanted`).
SecretItem *newestUsable(GList *items, const std::optional<QString> &wanted = std::nullopt)
{
    SecretItem *best = nullptr;
    for (GList *node = items; node; node = node->next) {
        auto *item = static_cast<SecretItem *>(node->data);
        if (secret_item_get_locked(item))
            continue;
        const std::optional<QString> text = secretText(item);
        if (!text || (wanted && *text != *wanted))
            continue;
        if (!best || isNewer(item, best))
            best = item;
    }
    return best;
}

} // namespace

struct SecretServiceKeyring::Operation
{
    GCancellable *cancellable = g_cancellable_new();
    std::unique_ptr<QTimer> deadline = std::make_unique<QTimer>();
};

SecretServiceKeyring::SecretServiceKeyring(int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
}

SecretServiceKeyring::~SecretServiceKeyring() = default;

SecretServiceKeyring::Operation *SecretServiceKeyring::begin(int timeoutMs)
{
    auto *operation = new Operation;
    // A prompt nobody answers, or a service that never replies, is given up: the call then fails
    // with "cancelled" and libsecret dismisses the prompt.
    operation->deadline->setSingleShot(true);
    GCancellable *cancellable = operation->cancellable;
    QObject::connect(operation->deadline.get(), &QTimer::timeout, [cancellable] { g_cancellable_cancel(cancellable); });
    operation->deadline->start(timeoutMs > 0 ? timeoutMs : m_timeoutMs);

    // Qt's event loop iterates the GLib main context, where libsecret's answers arrive, unless Qt
    // was told not to use GLib (QT_NO_GLIB); then the context is iterated here while calls run.
    if (++m_running == 1) {
        const QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
        if (dispatcher && !dispatcher->inherits("QEventDispatcherGlib")) {
            if (!m_pump) {
                m_pump = std::make_unique<QTimer>();
                m_pump->setInterval(5);
                QObject::connect(m_pump.get(), &QTimer::timeout, [] {
                    while (g_main_context_iteration(nullptr, FALSE)) {
                    }
                });
            }
            m_pump->start();
        }
    }
    return operation;
}

void SecretServiceKeyring::end(Operation *operation)
{
    g_object_unref(operation->cancellable);
    delete operation;
    if (--m_running == 0 && m_pump)
        m_pump->stop();
}

void SecretServiceKeyring::probe(std::function<void(bool answers)> done)
{
    Operation *operation = begin(ProbeTimeoutMs);
    GCancellable *cancellable = operation->cancellable;
    auto finish = [this, operation, done](GDBusConnection *bus, bool answers) {
        if (bus)
            g_object_unref(bus);
        end(operation);
        done(answers);
    };
    g_bus_get(G_BUS_TYPE_SESSION, cancellable, resume, then([=](GAsyncResult *result) {
        GDBusConnection *bus = g_bus_get_finish(result, nullptr);
        if (!bus)
            return finish(nullptr, false);
        auto call = [bus, cancellable](const char *method, GVariant *arguments, const GVariantType *replyType, Step next) {
            g_dbus_connection_call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                                   arguments, replyType, G_DBUS_CALL_FLAGS_NONE, ProbeTimeoutMs, cancellable, resume,
                                   then(std::move(next)));
        };
        call("NameHasOwner", g_variant_new("(s)", SecretServiceName), G_VARIANT_TYPE("(b)"),
             [=](GAsyncResult *result) {
                 GVariant *reply = g_dbus_connection_call_finish(bus, result, nullptr);
                 if (!reply)
                     return finish(bus, false);
                 gboolean owned = FALSE;
                 g_variant_get(reply, "(b)", &owned);
                 g_variant_unref(reply);
                 if (owned)
                     return finish(bus, true);
                 call("ListActivatableNames", nullptr, G_VARIANT_TYPE("(as)"), [=](GAsyncResult *result) {
                     GVariant *reply = g_dbus_connection_call_finish(bus, result, nullptr);
                     bool activatable = false;
                     if (reply) {
                         GVariantIter *names = nullptr;
                         const char *name = nullptr;
                         g_variant_get(reply, "(as)", &names);
                         while (g_variant_iter_loop(names, "&s", &name))
                             activatable = activatable || g_strcmp0(name, SecretServiceName) == 0;
                         g_variant_iter_free(names);
                         g_variant_unref(reply);
                     }
                     finish(bus, activatable);
                 });
             });
    }));
}

void SecretServiceKeyring::withService(Operation *operation, std::function<void(SecretService *)> next)
{
    secret_service_get(SECRET_SERVICE_OPEN_SESSION, operation->cancellable, resume, then([next](GAsyncResult *result) {
        next(secret_service_get_finish(result, nullptr));
    }));
}

void SecretServiceKeyring::read(bool allowPrompt, std::function<void(Read)> done)
{
    Operation *operation = begin();
    withService(operation, [=, this](SecretService *service) {
        if (!service) {
            end(operation);
            return done(Read{.key = std::nullopt, .failed = false, .locked = false, .unavailable = true});
        }
        int flags = SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS;
        if (allowPrompt)
            flags |= SECRET_SEARCH_UNLOCK;
        GHashTable *attributes = apiKeyAttributes();
        secret_service_search(service, apiKeySchema(), attributes, SecretSearchFlags(flags), operation->cancellable, resume,
                              then([=, this](GAsyncResult *result) {
                                  GError *error = nullptr;
                                  GList *items = secret_service_search_finish(service, result, &error);
                                  Read read;
                                  if (error) {
                                      read.failed = true;
                                      g_error_free(error);
                                  } else if (SecretItem *item = newestUsable(items)) {
                                      read.key = secretText(item);
                                  } else {
                                      // Items still locked (the prompt was dismissed or not allowed)
                                      // may hold the key: that is no "no key".
                                      for (GList *node = items; node; node = node->next)
                                          read.locked = read.locked || secret_item_get_locked(static_cast<SecretItem *>(node->data));
                                      read.failed = read.locked;
                                  }
                                  g_list_free_full(items, g_object_unref);
                                  g_hash_table_unref(attributes);
                                  g_object_unref(service);
                                  end(operation);
                                  done(read);
                              }));
    });
}

void SecretServiceKeyring::write(const QString &key, bool allowPrompt, std::function<void(Outcome)> done)
{
    Operation *operation = begin();
    GCancellable *cancellable = operation->cancellable;
    auto finish = [this, operation, done](SecretService *service, Outcome outcome) {
        if (service)
            g_object_unref(service);
        end(operation);
        done(outcome);
    };
    withService(operation, [=, this](SecretService *service) {
        if (!service)
            return finish(nullptr, Outcome::unavailable);

        // Removes the key's other items, keeping the newest that holds `key`: the one just stored.
        auto prune = [=] {
            GHashTable *attributes = apiKeyAttributes();
            secret_service_search(service, apiKeySchema(), attributes,
                                  SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), cancellable, resume,
                                  then([=](GAsyncResult *result) {
                                      g_hash_table_unref(attributes);
                                      GList *items = secret_service_search_finish(service, result, nullptr);
                                      SecretItem *keep = newestUsable(items, key);
                                      auto remaining = std::make_shared<int>(1);
                                      auto oneDone = [=] {
                                          if (--*remaining == 0)
                                              finish(service, Outcome::done);
                                      };
                                      for (GList *node = items; node; node = node->next) {
                                          auto *item = static_cast<SecretItem *>(node->data);
                                          if (item == keep)
                                              continue;
                                          ++*remaining;
                                          // A failed removal leaves an older item behind; the next
                                          // store tries again, and reading picks the newest anyway.
                                          secret_item_delete(item, cancellable, resume, then([item, oneDone](GAsyncResult *result) {
                                              secret_item_delete_finish(item, result, nullptr);
                                              oneDone();
                                          }));
                                      }
                                      g_list_free_full(items, g_object_unref); // the calls hold their own references
                                      oneDone();
                                  }));
        };

        auto store = [=] {
            const QByteArray bytes = key.toUtf8();
            SecretValue *value = secret_value_new(bytes.constData(), bytes.size(), "text/plain");
            GHashTable *attributes = apiKeyAttributes();
            const QByteArray label = KeychainService::itemLabel().toUtf8();
            secret_service_store(service, apiKeySchema(), attributes, SECRET_COLLECTION_DEFAULT, label.constData(), value,
                                 cancellable, resume, then([=](GAsyncResult *result) {
                                     g_hash_table_unref(attributes);
                                     if (!secret_service_store_finish(service, result, nullptr))
                                         return finish(service, Outcome::failed);
                                     prune();
                                 }));
            secret_value_unref(value);
        };

        if (allowPrompt)
            return store();
        // Storing into a locked collection (or making a first one) asks for a prompt; where none
        // may be shown, say so at once instead of waiting on one that never comes.
        secret_collection_for_alias(service, "default", SECRET_COLLECTION_NONE, cancellable, resume,
                                    then([=](GAsyncResult *result) {
                                        SecretCollection *collection = secret_collection_for_alias_finish(result, nullptr);
                                        if (!collection)
                                            return finish(service, Outcome::unavailable);
                                        const bool locked = secret_collection_get_locked(collection);
                                        g_object_unref(collection);
                                        if (locked)
                                            return finish(service, Outcome::locked);
                                        store();
                                    }));
    });
}

void SecretServiceKeyring::erase(std::function<void(bool erased)> done)
{
    Operation *operation = begin();
    GCancellable *cancellable = operation->cancellable;
    withService(operation, [=, this](SecretService *service) {
        if (!service) {
            end(operation);
            return done(false);
        }
        GHashTable *attributes = apiKeyAttributes();
        secret_service_search(service, apiKeySchema(), attributes, SECRET_SEARCH_ALL, cancellable, resume,
                              then([=, this](GAsyncResult *result) {
                                  g_hash_table_unref(attributes);
                                  GError *error = nullptr;
                                  GList *items = secret_service_search_finish(service, result, &error);
                                  struct Progress
                                  {
                                      int remaining = 1;
                                      bool allErased = true;
                                  };
                                  auto progress = std::make_shared<Progress>();
                                  if (error) {
                                      progress->allErased = false;
                                      g_error_free(error);
                                  }
                                  auto oneDone = [=, this](bool erased) {
                                      progress->allErased = progress->allErased && erased;
                                      if (--progress->remaining == 0) {
                                          g_object_unref(service);
                                          end(operation);
                                          done(progress->allErased);
                                      }
                                  };
                                  for (GList *node = items; node; node = node->next) {
                                      auto *item = static_cast<SecretItem *>(node->data);
                                      ++progress->remaining;
                                      secret_item_delete(item, cancellable, resume, then([item, oneDone](GAsyncResult *result) {
                                          oneDone(secret_item_delete_finish(item, result, nullptr));
                                      }));
                                  }
                                  g_list_free_full(items, g_object_unref);
                                  oneDone(true);
                              }));
    });
}
