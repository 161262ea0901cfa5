#include "keys/keychain_service.h"
#include "shell/desktop_announcer.h"
#include "state/app_state.h"

#include "fake_open_router.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QWidget>
#include <QtTest>

namespace {

const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");

/// A notification server on its own connection to the test's bus: records every Notify.
class RecordingNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        QString appName;
        QString icon;
        QString summary;
        QStringList actions;
        QVariantMap hints;
    };
    QList<Call> calls;
    QList<QVariantMap> launcherUpdates;

public Q_SLOTS:
    uint Notify(const QString &appName, uint, const QString &icon, const QString &summary, const QString &,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        calls.append({appName, icon, summary, actions, hints});
        return uint(calls.size()) + 100;
    }
    void launcherUpdate(const QString &app, const QVariantMap &properties)
    {
        if (app == QLatin1String(DesktopAnnouncer::launcherAppUri))
            launcherUpdates.append(properties);
    }
};

} // namespace

/// Notifications and launcher progress, through real D-Bus calls and signals on the test's own bus.
class TestDesktopAnnouncer final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;
    QDBusConnection m_serverBus{QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("recorder"))};
    RecordingNotifications m_recorder;

    /// Runs a batch of one succeeding and one failing folder; returns the failing one's id.
    QUuid runBatch(AppState &state, const QString &prefix)
    {
        state.addFolders({dirUrl(m_tree.makeDir(prefix + QStringLiteral("-good"))),
                          dirUrl(m_tree.makeDir(prefix + QStringLiteral("-bad")))});
        const QList<FolderItemPtr> folders = state.folders().mid(state.folders().size() - 2);
        m_server.setGenerator([](const QString &, const QString &prompt) {
            return prompt.contains(QStringLiteral("-bad\"")) ? FakeReply::apiError(500, QStringLiteral("down"))
                                                            : FakeReply::image(solidPicture(Qt::cyan));
        });
        QSignalSpy ended(&state, &AppState::generationRunEnded);
        state.setSelectedFolderIDs({folders.at(0)->id(), folders.at(1)->id()});
        state.generateSelectedIcons();
        [&] { QVERIFY(ended.wait(30000)); }();
        state.deselectAll();
        return folders.at(1)->id();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-v1-announce")));
        QVERIFY(m_serverBus.isConnected());
        QVERIFY(m_serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_recorder,
                                           QDBusConnection::ExportAllSlots));
        QVERIFY(m_serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(m_serverBus.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                    QStringLiteral("Update"), &m_recorder, SLOT(launcherUpdate(QString, QVariantMap))));
    }

    void init()
    {
        m_recorder.calls.clear();
        m_recorder.launcherUpdates.clear();
    }

    void activeWindowGetsNoNotificationButLauncherProgress()
    {
        AppState state(AppState::Preferences::transient);
        QWidget window;
        DesktopAnnouncer announcer(&state, &window);
        announcer.setWindowActiveCheck([] { return true; });
        runBatch(state, QStringLiteral("active"));

        QTRY_VERIFY_WITH_TIMEOUT(!m_recorder.launcherUpdates.isEmpty()
                                     && !m_recorder.launcherUpdates.constLast().value(QStringLiteral("progress-visible")).toBool(),
                                 5000);
        const QVariantMap first = m_recorder.launcherUpdates.constFirst();
        QCOMPARE(first.value(QStringLiteral("progress-visible")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("progress")).toDouble(), 0.0);
        // Both running at once, then one of two done.
        QCOMPARE(m_recorder.launcherUpdates.at(1).value(QStringLiteral("count")).toLongLong(), 2);
        QCOMPARE(m_recorder.launcherUpdates.at(2).value(QStringLiteral("progress")).toDouble(), 0.5);
        QCOMPARE(m_recorder.launcherUpdates.constLast().value(QStringLiteral("count-visible")).toBool(), false);
        QTest::qWait(200);
        QVERIFY(m_recorder.calls.isEmpty());
    }

    void backgroundBatchIsAnnouncedAndItsActionSelectsFailures()
    {
        AppState state(AppState::Preferences::transient);
        QWidget window;
        DesktopAnnouncer announcer(&state, &window);
        announcer.setWindowActiveCheck([] { return false; });
        const QUuid failed = runBatch(state, QStringLiteral("background"));

        QTRY_COMPARE_WITH_TIMEOUT(m_recorder.calls.size(), 1, 5000);
        const RecordingNotifications::Call call = m_recorder.calls.constFirst();
        QCOMPARE(call.summary, QStringLiteral("1 icon generated, 1 failed"));
        QCOMPARE(call.appName, QStringLiteral("Tavrune"));
        QCOMPARE(call.icon, QStringLiteral("com.tavrune.app"));
        QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("com.tavrune.app"));
        QCOMPARE(call.actions.value(0), QStringLiteral("default"));

        // The default action raises the window and selects the folder that failed.
        QDBusMessage invoked = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                          QStringLiteral("org.freedesktop.Notifications"),
                                                          QStringLiteral("ActionInvoked"));
        invoked << uint(101) << QStringLiteral("default");
        QTest::qWait(100); // the reply carrying the id is in
        QVERIFY(m_serverBus.send(invoked));
        QTRY_COMPARE_WITH_TIMEOUT(state.selectedFolderIDs(), QSet<QUuid>{failed}, 5000);
        QVERIFY(window.isVisible());

        // One short generation alone is not announced.
        state.addFolders({dirUrl(m_tree.makeDir(QStringLiteral("single")))});
        QSignalSpy ended(&state, &AppState::generationRunEnded);
        state.generateIcon(state.folders().constLast()->id());
        QVERIFY(ended.wait(30000));
        QTest::qWait(200);
        QCOMPARE(m_recorder.calls.size(), 1);
    }

    void summaryTexts_data()
    {
        QTest::addColumn<int>("succeeded");
        QTest::addColumn<int>("failed");
        QTest::addColumn<QString>("text");
        QTest::newRow("all") << 40 << 0 << "40 icons generated";
        QTest::newRow("some failed") << 37 << 3 << "37 icons generated, 3 failed";
        QTest::newRow("one") << 1 << 0 << "1 icon generated";
    }
    void summaryTexts()
    {
        QFETCH(int, succeeded);
        QFETCH(int, failed);
        GenerationRunSummary summary;
        summary.succeeded = succeeded;
        summary.failed = failed;
        QFETCH(QString, text);
        QCOMPARE(DesktopAnnouncer::summaryText(summary), text);
    }
};

QTEST_MAIN(TestDesktopAnnouncer)
#include "tst_desktop_announcer.moc"
