#include "state/app_state.h"
#include "keys/keychain_service.h"
#include "content/category_detector.h"
#include "desktop/folder_icon_service.h"

#include "fake_open_router.h"
#include "temp_tree.h"
#include "test_files.h"

#include "settled.h"
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

using namespace std::chrono_literals;

namespace {
const QString FastModel = QStringLiteral("google/gemini-2.5-flash-image");
const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");
const QString ApiKey = QStringLiteral("sk-or-v1-spend");
} // namespace

/// Nothing is paid for unasked: one generation per folder, the key sheet instead of silence,
/// costs as OpenRouter reports them, Desktop bursts and default names. Real HTTP to the fake
/// OpenRouter, real folders and a really watched Desktop.
class TestSpendControl final : public QObject
{
    Q_OBJECT

    FakeOpenRouter m_server;
    TempTree m_tree;

    FolderItemPtr addFolder(AppState &state, const QString &name)
    {
        state.addFolders({dirUrl(m_tree.makeDir(name))});
        return state.folders().constLast();
    }
    /// Answers every chat request with a picture after `delay`.
    void answerAfter(std::chrono::milliseconds delay)
    {
        m_server.setGenerator([delay](const QString &, const QString &) {
            return FakeReply::image(solidPicture(Qt::darkGreen)).after(delay);
        });
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        QVERIFY(m_tree.isValid());
    }

    void init()
    {
        m_server.reset();
        m_server.setGenerationCost(QJsonValue::Undefined);
        QVERIFY(KeychainService::shared().save(ApiKey));
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).clear();
    }

    void everyEntryPointSkipsAGeneratingFolder()
    {
        answerAfter(400ms);
        AppState state;
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Busy"));
        const FolderItemPtr other = addFolder(state, QStringLiteral("Idle"));
        QFuture<void> first = state.generateIcon(folder->id());
        QVERIFY(folder->iconState().is(IconState::Kind::generating));

        // Row button, context menu and inspector (generateIcon), Ctrl+R, the batch inspector, Regenerate All.
        QSignalSpy flag(&state, &AppState::isRegeneratingAllChanged);
        state.generateIcon(folder->id()); // joins the one running: no second request
        state.setSelectedFolderIDs({folder->id()});
        QVERIFY(state.generateSelectedIcons().isFinished());
        QVERIFY(state.regenerate({folder->id(), folder->id()}).isFinished());
        QFuture<void> all = state.regenerateAll(); // only "Idle" starts

        // Overlapping Regenerate All runs: the flag stays up until both are done.
        QFuture<void> overlapping = state.regenerateAll();
        QVERIFY(overlapping.isFinished()); // both folders are generating: nothing to start
        QVERIFY(state.isRegeneratingAll());
        QTRY_VERIFY_WITH_TIMEOUT(first.isFinished() && all.isFinished(), 20000);
        QVERIFY(!state.isRegeneratingAll());
        QCOMPARE(flag.count(), 2);
        QCOMPARE(m_server.chatRequests().size(), 2);
        QCOMPARE(folder->iconState(), IconState::generated());
        QCOMPARE(other->iconState(), IconState::generated());

        // Apply leaves a regenerating folder's old image alone, and says so. The answer is held
        // until then, however slowly the applies run.
        answerAfter(10min);
        QFuture<void> again = state.generateIcon(folder->id());
        state.selectAll();
        settled(state.applySelectedIcons());
        QCOMPARE(state.activeToast()->message, QStringLiteral("Icon applied to “Idle” — 1 still generating, skipped"));
        QVERIFY(!settled(state.applyIcon(folder->id(), false)));
        QTRY_VERIFY_WITH_TIMEOUT(m_server.chatRequests().size() == 3, 20000);
        m_server.releaseDelayed();
        QTRY_VERIFY_WITH_TIMEOUT(again.isFinished(), 20000);
        QCOMPARE(folder->iconState(), IconState::generated());
    }

    void withoutAKeyTheSheetOpensAndTheGenerationWaitsForIt_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::newRow("saved") << true;
        QTest::newRow("skipped") << false;
    }
    void withoutAKeyTheSheetOpensAndTheGenerationWaitsForIt()
    {
        QFETCH(bool, saved);
        answerAfter(0ms);
        QVERIFY(QFile::remove(storedKeyPath()));
        AppState state;
        const FolderItemPtr a = addFolder(state, QStringLiteral("Keyless A"));
        const FolderItemPtr b = addFolder(state, QStringLiteral("Keyless B"));
        state.generateIcon(a->id());
        QVERIFY(state.showOnboarding());
        state.setSelectedFolderIDs({a->id(), b->id()});
        state.generateSelectedIcons();
        QVERIFY(m_server.chatRequests().isEmpty());

        if (saved)
            QVERIFY(KeychainService::shared().save(ApiKey));
        state.setShowOnboarding(false); // the sheet closes
        if (saved) {
            QTRY_VERIFY_WITH_TIMEOUT(a->iconState() == IconState::generated() && b->iconState() == IconState::generated(), 20000);
            QCOMPARE(m_server.chatRequests().size(), 2);
        } else {
            QTest::qWait(200);
            QVERIFY(m_server.chatRequests().isEmpty());
            QCOMPARE(a->iconState(), IconState::placeholder());
        }
        // Closing the sheet again later starts nothing more.
        state.setShowOnboarding(true);
        state.setShowOnboarding(false);
        QTest::qWait(100);
        QCOMPARE(m_server.chatRequests().size(), saved ? 2 : 0);
    }

    void costsAreKeptWithTheImageAndSummed_data()
    {
        QTest::addColumn<QJsonValue>("cost");
        QTest::addColumn<QString>("toast");
        QTest::addColumn<bool>("known");
        QTest::newRow("number") << QJsonValue(0.039) << QStringLiteral("Generated 3 icons ($0.12)") << true;
        QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << QStringLiteral("Generated 3 icons") << false;
        QTest::newRow("string") << QJsonValue(QStringLiteral("0.039")) << QStringLiteral("Generated 3 icons") << false;
        QTest::newRow("negative") << QJsonValue(-0.5) << QStringLiteral("Generated 3 icons") << false;
        QTest::newRow("huge") << QJsonValue(1e300) << QStringLiteral("Generated 3 icons") << false;
        QTest::newRow("null") << QJsonValue(QJsonValue::Null) << QStringLiteral("Generated 3 icons") << false;
    }
    void costsAreKeptWithTheImageAndSummed()
    {
        QFETCH(QJsonValue, cost);
        QFETCH(QString, toast);
        QFETCH(bool, known);
        answerAfter(0ms);
        m_server.setGenerationCost(cost);
        AppState state;
        for (const char *name : {"Cost A", "Cost B", "Cost C"})
            addFolder(state, QString::fromLatin1(name));
        QFuture<void> done = state.regenerateAll();
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 20000);
        QCOMPARE(state.activeToast()->message, toast);
        const std::optional<double> kept = state.folders().constFirst()->generationCost();
        QCOMPARE(kept.has_value(), known);
        if (known) {
            QCOMPARE(*kept, 0.039);
            const AppState::BatchEstimate estimate = state.estimateBatch(40);
            QVERIFY(qAbs(*estimate.estimatedCost - 1.56) < 1e-9);
            QCOMPARE(estimate.model, QualityModel);
        }
    }

    void theKeysCreditIsKnownWithoutTheSheet()
    {
        answerAfter(0ms);
        m_server.setValidKey(ApiKey);
        m_server.setKeyData({{QStringLiteral("limit_remaining"), 4.9}, {QStringLiteral("usage"), 0.1}});
        AppState state;
        QVERIFY(!state.keyCreditLeft());
        state.refreshKeyCredit(); // as the app does at start
        QTRY_COMPARE_WITH_TIMEOUT(state.keyCreditLeft(), std::optional(4.9), 20000);
        QCOMPARE(state.estimateBatch(12).creditLeft, std::optional(4.9));

        // A batch spends: what is left is asked again once it ends.
        m_server.setKeyData({{QStringLiteral("limit_remaining"), 4.82}});
        addFolder(state, QStringLiteral("Credit A"));
        addFolder(state, QStringLiteral("Credit B"));
        state.selectAll();
        state.generateSelectedIcons();
        QTRY_COMPARE_WITH_TIMEOUT(state.keyCreditLeft(), std::optional(4.82), 20000);

        // A check that fails says nothing new: what was known stays.
        const auto keyChecks = [this] {
            const QList<RecordedRequest> requests = m_server.requests();
            return std::count_if(requests.cbegin(), requests.cend(),
                                 [](const RecordedRequest &request) { return request.path == "/api/v1/key"; });
        };
        const auto checked = keyChecks();
        m_server.setKeyCheckReply(FakeReply::apiError(503, QStringLiteral("busy")));
        state.refreshKeyCredit();
        QTRY_COMPARE_WITH_TIMEOUT(keyChecks(), checked + 1, 20000);
        QTest::qWait(300);
        QCOMPARE(state.keyCreditLeft(), std::optional(4.82));
        m_server.setKeyCheckReply(std::nullopt);
        m_server.setKeyData({});
        m_server.setValidKey(QStringLiteral("sk-or-valid"));
    }

    void aLongServerMessageIsCutInTheStateAndTheToast()
    {
        const QString longMessage = QString(u'é').repeated(50'000) + QStringLiteral("tail");
        m_server.script(QualityModel, FakeReply::apiError(401, longMessage));
        m_server.script(FastModel, FakeReply::apiError(429, QStringLiteral("slow down: 401 times")));
        AppState state;
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Refused"));
        QFuture<void> done = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 20000);
        const IconState failed = folder->iconState();
        QVERIFY(failed.is(IconState::Kind::failed));
        QCOMPARE(failed.failure(), IconState::Failure::authentication);
        QVERIFY(failed.message().contains(QString(u'é').repeated(250) + QChar(0x2026)));
        QVERIFY(!failed.message().contains(QStringLiteral("tail")));
        QVERIFY(failed.message().size() < 700);
        QVERIFY(state.activeToast()->message.size() < 100);
        QCOMPARE(state.activeToast()->message, QStringLiteral("Generation failed for “Refused”"));
    }

    void desktopBurstsAreListedNotGenerated_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("12: listed only") << 12;
        QTest::newRow("3: generated") << 3;
    }
    void desktopBurstsAreListedNotGenerated()
    {
        QFETCH(int, count);
        answerAfter(0ms);
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        QVERIFY(QDir(desktop).removeRecursively() || !QDir(desktop).exists());
        QVERIFY(QDir().mkpath(desktop));
        AppState state;
        state.setWatcherReportDelay(300ms);
        state.setWatchingRoot(true);
        for (int i = 0; i < count; ++i)
            QVERIFY(QDir(desktop).mkdir(QStringLiteral("Unpacked %1").arg(i)));
        QTRY_COMPARE_WITH_TIMEOUT(state.folders().size(), count, 20000);
        if (count > 5) {
            QCOMPARE(state.activeToast()->message,
                     QStringLiteral("12 new folders on the Desktop: select them and press Ctrl+R to generate their icons"));
            QTest::qWait(300);
            QVERIFY(m_server.chatRequests().isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), count, 20000);
        }
        state.setWatchingRoot(false);
    }

    void defaultNamesWaitForTheirRename()
    {
        answerAfter(0ms);
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        QVERIFY(QDir(desktop).removeRecursively() || !QDir(desktop).exists());
        QVERIFY(QDir().mkpath(desktop));
        AppState state;
        state.setWatcherReportDelay(200ms);
        state.setDefaultNameHold(3000ms);
        state.setWatchingRoot(true);

        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Untitled Folder")));
        QVERIFY(QDir(desktop).mkdir(QStringLiteral("New Folder 2")));
        QTest::qWait(600); // reported and held, not listed
        QVERIFY(state.folders().isEmpty());
        QVERIFY(QDir(desktop).rename(QStringLiteral("Untitled Folder"), QStringLiteral("Tax Returns")));
        QTRY_COMPARE_WITH_TIMEOUT(state.folders().size(), 1, 20000);
        QCOMPARE(state.folders().constFirst()->name(), QStringLiteral("Tax Returns"));
        QTRY_VERIFY_WITH_TIMEOUT(state.folders().constFirst()->iconState() == IconState::applied(), 20000);

        // The one never renamed is taken as it is once the hold is over; the renamed one is not taken twice.
        QTRY_COMPARE_WITH_TIMEOUT(state.folders().size(), 2, 20000);
        QCOMPARE(state.folders().constLast()->name(), QStringLiteral("New Folder 2"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), 2, 20000);
        QTest::qWait(300);
        QCOMPARE(m_server.chatRequests().size(), 2);
        state.setWatchingRoot(false);
    }

    void aRenamedDesktopFolderIsFollowedNotPaidForAgain()
    {
        answerAfter(0ms);
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        QVERIFY(QDir(desktop).removeRecursively() || !QDir(desktop).exists());
        QVERIFY(QDir().mkpath(desktop));
        AppState state;
        state.setWatcherReportDelay(200ms);
        state.setWatchingRoot(true);
        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Music")));
        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Drafts")));
        QTRY_COMPARE_WITH_TIMEOUT(state.folders().size(), 2, 20000);
        const FolderItemPtr music = state.folders().constFirst()->name() == u"Music" ? state.folders().constFirst()
                                                                                     : state.folders().constLast();
        const FolderItemPtr drafts = music == state.folders().constFirst() ? state.folders().constLast()
                                                                          : state.folders().constFirst();
        QTRY_VERIFY_WITH_TIMEOUT(music->iconState() == IconState::applied() && drafts->iconState() == IconState::applied(),
                                 20000);
        QCOMPARE(music->detectedCategory(), SemanticCategory::music);
        drafts->setCustomPrompt(QStringLiteral("a paper plane"));

        // Renamed as the file manager does it: one rename(2) each, behind gvfs's back.
        const auto rename = [&desktop](const char *from, const char *to) {
            return ::rename(QFile::encodeName(desktop + u'/' + QLatin1String(from)).constData(),
                            QFile::encodeName(desktop + u'/' + QLatin1String(to)).constData()) == 0;
        };
        QVERIFY(rename("Music", "Videos"));
        QVERIFY(rename("Drafts", "Letters"));
        const QUrl videos = dirUrl(desktop + QStringLiteral("/Videos"));
        QTRY_COMPARE_WITH_TIMEOUT(music->url(), videos, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(drafts->name(), QStringLiteral("Letters"), 20000);
        QCOMPARE(music->name(), QStringLiteral("Videos"));
        QCOMPARE(music->detectedCategory(), CategoryDetector::detect(videos));
        QVERIFY(music->detectedCategory() != SemanticCategory::music);
        QCOMPARE(drafts->customPrompt(), QStringLiteral("a paper plane"));
        QCOMPARE(state.folders().size(), 2);
        QCOMPARE(music->iconState(), IconState::applied());
        // The icons are moved on the icon worker.
        QTRY_VERIFY_WITH_TIMEOUT(FolderIconService::isIconApplied(videos), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(FolderIconService::isIconApplied(drafts->url()), 10000);
        QTest::qWait(600); // past the report delay: the new names are not new folders
        QCOMPARE(state.folders().size(), 2);
        QCOMPARE(m_server.chatRequests().size(), 2);

        // Acting on a listed folder that is gone pays for nothing.
        QVERIFY(QDir(desktop + QStringLiteral("/Letters")).removeRecursively());
        state.generateIcon(drafts->id());
        QCOMPARE(state.activeToast()->message, QStringLiteral("“Letters” is no longer there"));
        QTest::qWait(300);
        QCOMPARE(m_server.chatRequests().size(), 2);
        state.setWatchingRoot(false);
    }

    void defaultNameMatchingIsExact_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("held");
        for (const char *name : {"Untitled Folder", "untitled folder", "New Folder", "New folder", "Untitled Folder 2",
                                 "New Folder (3)", "Unbenannter Ordner", "Unbenannter Ordner 2", "Neuer Ordner",
                                 "Neuer Ordner (3)"})
            QTest::newRow(name) << QString::fromUtf8(name) << true;
        for (const char *name : {"New Folder Designs", "new folder", "Untitled folder", "My New Folder", "New Folder 2b",
                                 "neuer Ordner", "Neuer Ordner Fotos", "Unbenannter Ordner 2b"})
            QTest::newRow(name) << QString::fromUtf8(name) << false;
    }
    void defaultNameMatchingIsExact()
    {
        QFETCH(QString, name);
        QFETCH(bool, held);
        QCOMPARE(AppState::isDefaultFolderName(name), held);
    }
};

QTEST_GUILESS_MAIN(TestSpendControl)
#include "tst_spend_control.moc"
