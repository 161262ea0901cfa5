#include "single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>

const QString SingleInstance::ServiceName = QStringLiteral("com.tavrune.app");
const QString SingleInstance::ObjectPath = QStringLiteral("/com/tavrune/app");

namespace {

// A live window answers at once; a hung one should not keep the launcher waiting for long.
constexpr int ForwardTimeoutMs = 5000;

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
}

SingleInstance::~SingleInstance()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(ServiceName);
    bus.unregisterObject(ObjectPath);
}

SingleInstance::Role SingleInstance::start(const QList<QUrl> &folders,
                                           const std::function<void(const QString &)> &warning)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return Role::standalone;

    // The object goes up before the name, so that whoever sees the name can already call Open().
    if (!bus.registerObject(ObjectPath, this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableProperties))
        return Role::standalone;
    const auto reply = bus.interface()->registerService(ServiceName, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        m_registered = true;
        return Role::primary;
    }
    bus.unregisterObject(ObjectPath);

    QStringList paths;
    paths.reserve(folders.size());
    for (const QUrl &url : folders)
        paths.append(url.toLocalFile());
    QDBusMessage call = QDBusMessage::createMethodCall(ServiceName, ObjectPath, ServiceName, QStringLiteral("Open"));
    call << paths << activationToken();
    const QDBusMessage answer = bus.call(call, QDBus::Block, ForwardTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage)
        return Role::forwarded;

    if (warning) {
        warning(tr("tavrune: the running Tavrune window did not answer (%1); opening another one.")
                    .arg(answer.errorMessage()));
    }
    return Role::standalone;
}

QString SingleInstance::activationToken()
{
    const QString wayland = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return wayland.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : wayland;
}

void SingleInstance::Open(const QStringList &paths, const QString &activationToken)
{
    // Paths come from another process of the same user; still, only existing folders are taken.
    QList<QUrl> folders;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.isAbsolute() || !info.isDir())
            continue;
        const QString clean = QDir::cleanPath(path);
        folders.append(QUrl::fromLocalFile(clean == QLatin1String("/") ? clean : clean + u'/'));
    }
    Q_EMIT openRequested(folders, activationToken);
}

QStringList SingleInstance::folderPaths() const
{
    return m_folderSource ? m_folderSource() : QStringList();
}
