#include "shell/desktop_announcer.h"

#include "state/app_state.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QWidget>

namespace {

const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString LauncherInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString LauncherPath = QStringLiteral("/com/tavrune/app/LauncherEntry");
const QString AppId = QStringLiteral("com.tavrune.app");

/// How long one generation must have taken for its end alone to be announced.
constexpr std::chrono::milliseconds LongGeneration{10000};

} // namespace

DesktopAnnouncer::DesktopAnnouncer(AppState *state, QWidget *window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
    , m_isWindowActive([this] { return m_window && m_window->isActiveWindow(); })
{
    connect(state, &AppState::generationProgressChanged, this, &DesktopAnnouncer::updateLauncher);
    connect(state, &AppState::generationRunEnded, this, &DesktopAnnouncer::announceEnd);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(NotificationsService, NotificationsPath, NotificationsService, QStringLiteral("ActionInvoked"), this,
                SLOT(notificationActionInvoked(uint, QString)));
    bus.connect(NotificationsService, NotificationsPath, NotificationsService, QStringLiteral("NotificationClosed"),
                this, SLOT(notificationClosed(uint, uint)));
}

QString DesktopAnnouncer::summaryText(const GenerationRunSummary &summary)
{
    const QString generated = summary.succeeded == 1 ? tr("1 icon generated")
                                                     : tr("%n icons generated", nullptr, summary.succeeded);
    if (summary.failed == 0)
        return generated;
    return tr("%1, %2 failed").arg(generated).arg(summary.failed);
}

void DesktopAnnouncer::updateLauncher()
{
    if (!m_state)
        return;
    const int total = m_state->generationTotal();
    const bool running = m_state->runningGenerationCount() > 0;
    if (!running && !m_launcherShowsProgress)
        return;
    m_launcherShowsProgress = running;
    QVariantMap properties;
    properties.insert(QStringLiteral("progress"), running && total > 0 ? double(m_state->generationsEnded()) / total : 0.0);
    properties.insert(QStringLiteral("progress-visible"), running);
    properties.insert(QStringLiteral("count"), qint64(running ? m_state->runningGenerationCount() : 0));
    properties.insert(QStringLiteral("count-visible"), running);
    QDBusMessage update = QDBusMessage::createSignal(LauncherPath, LauncherInterface, QStringLiteral("Update"));
    update << QString::fromLatin1(launcherAppUri) << properties;
    QDBusConnection::sessionBus().send(update);
}

void DesktopAnnouncer::announceEnd(const GenerationRunSummary &summary)
{
    const int finished = summary.succeeded + summary.failed;
    // A run the user stopped altogether was watched; a short single one needs no word either.
    if (finished == 0 || (summary.total() < 2 && summary.longest <= LongGeneration))
        return;
    if (m_isWindowActive && m_isWindowActive())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;

    QDBusMessage notify = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath,
                                                         NotificationsService, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), AppId);
    notify << QStringLiteral("Tavrune") << uint(0) << AppId << summaryText(summary) << QString()
           << QStringList{QStringLiteral("default"), tr("Show")} << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, failed = summary.failedFolderIDs](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isError())
                    return; // no notification service: the window says it all
                m_notifications.insert(reply.value(), failed);
            });
}

void DesktopAnnouncer::notificationActionInvoked(uint id, const QString &action)
{
    const auto found = m_notifications.constFind(id);
    if (found == m_notifications.cend() || action != QLatin1String("default"))
        return;
    const QList<QUuid> failed = *found;
    m_notifications.erase(found);
    if (m_window) {
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    }
    if (m_state && !failed.isEmpty()) {
        QSet<QUuid> selection;
        for (const QUuid &folder : failed) {
            if (m_state->folder(folder))
                selection.insert(folder);
        }
        m_state->setSelectedFolderIDs(selection);
    }
}

void DesktopAnnouncer::notificationClosed(uint id, uint)
{
    m_notifications.remove(id);
}
