#include "state/app_state.h"
#include "keys/keychain_service.h"

#include "fake_open_router.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");

} // namespace

/// Running generations: their shared count, Stop, and what each folder is left with, against the
/// fake OpenRouter over loopback.
class TestGenerationStop final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;

    QList<FolderItemPtr> addFolders(AppState &state, const QString &prefix, int count)
    {
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls.append(dirUrl(m_tree.makeDir(prefix + QString::number(i))));
        state.addFolders(urls);
        return state.folders().mid(state.folders().size() - count);
    }

    /// Folders whose name starts with "slow" are answered after a minute, the others at once.
    void answerSlowFoldersLate()
    {
        const FakeReply quick = FakeReply::image(solidPicture(Qt::green));
        const FakeReply late = FakeReply::image(solidPicture(Qt::magenta)).after(60s);
        m_server.setGenerator([quick, late](const QString &, const QString &prompt) {
            return prompt.contains(QStringLiteral("\"slow")) ? late : quick;
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
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-v1-stop")));
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).clear();
    }

    void stoppingHalfwayAbortsRequestsAndRestoresFolders()
    {
        AppState state(AppState::Preferences::transient);
        const QList<FolderItemPtr> quick = addFolders(state, QStringLiteral("quick"), 10);
        const QList<FolderItemPtr> slow = addFolders(state, QStringLiteral("slow"), 10);

        // Half of the slow folders already have an icon, which must survive the stopped attempt.
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::blue)));
        QList<QUuid> earlier;
        for (int i = 0; i < 5; ++i)
            earlier.append(slow.at(i)->id());
        state.setSelectedFolderIDs(QSet<QUuid>(earlier.cbegin(), earlier.cend()));
        QFuture<void> first = state.generateSelectedIcons();
        QTRY_VERIFY_WITH_TIMEOUT(first.isFinished(), 30000);
        QList<IconImage> images;
        for (const FolderItemPtr &folder : slow)
            images.append(folder->generatedImage());
        QVERIFY(!images.first().isNull());

        m_server.reset();
        answerSlowFoldersLate();
        QSignalSpy ended(&state, &AppState::generationRunEnded);
        state.selectAll();
        QFuture<void> batch = state.generateSelectedIcons();
        QCOMPARE(state.generationTotal(), 20);
        QTRY_COMPARE_WITH_TIMEOUT(state.generationsEnded(), 10, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), 20, 30000);

        QCOMPARE(state.stopGenerating(), 10);
        QCOMPARE(state.activeToast()->message, QStringLiteral("Stopped 10 generations"));
        QCOMPARE(state.stopGenerating(), 0); // a second Stop finds nothing left
        QTRY_VERIFY_WITH_TIMEOUT(batch.isFinished(), 5000);
        QCOMPARE(state.runningGenerationCount(), 0);
        QCOMPARE(state.generationTotal(), 0);

        for (int i = 0; i < 10; ++i) {
            QCOMPARE(quick.at(i)->iconState(), IconState::generated());
            const IconState before = i < 5 ? IconState::generated() : IconState::placeholder();
            QCOMPARE(slow.at(i)->iconState(), before);
            QCOMPARE(slow.at(i)->generatedImage(), images.at(i));
        }
        QCOMPARE(ended.size(), 1);
        const auto summary = ended.at(0).at(0).value<GenerationRunSummary>();
        QCOMPARE(summary.succeeded, 10);
        QCOMPARE(summary.stopped, 10);

        // The server saw every held request's connection closed long before its minute was up.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.connectionsClosedWhileWaiting(), 10, 5000);
    }

    void overlappingActionsShareOneCount()
    {
        AppState state(AppState::Preferences::transient);
        const QList<FolderItemPtr> folders = addFolders(state, QStringLiteral("overlap"), 3);
        m_server.script(QualityModel, FakeReply::apiError(500, QStringLiteral("down")).after(300ms));
        QSignalSpy ended(&state, &AppState::generationRunEnded);

        QFuture<void> one = state.generateIcon(folders.at(0)->id());
        QCOMPARE(state.generationTotal(), 1);
        state.setSelectedFolderIDs({folders.at(0)->id(), folders.at(1)->id(), folders.at(2)->id()});
        QFuture<void> rest = state.generateSelectedIcons();
        // The folder already generating is not asked for twice.
        QCOMPARE(state.generationTotal(), 3);
        QCOMPARE(state.runningGenerationCount(), 3);
        QVERIFY(state.isGenerating(folders.at(2)->id()));

        QVERIFY(state.stopGeneration(folders.at(2)->id()));
        QVERIFY(!state.stopGeneration(folders.at(2)->id()));
        QCOMPARE(folders.at(2)->iconState(), IconState::placeholder());
        QCOMPARE(state.generationsEnded(), 1);
        QCOMPARE(state.generationTotal(), 3);

        QTRY_VERIFY_WITH_TIMEOUT(one.isFinished() && rest.isFinished(), 30000);
        QCOMPARE(ended.size(), 1);
        const auto summary = ended.at(0).at(0).value<GenerationRunSummary>();
        QCOMPARE(summary.failed, 2);
        QCOMPARE(summary.stopped, 1);
        QCOMPARE(QSet<QUuid>(summary.failedFolderIDs.cbegin(), summary.failedFolderIDs.cend()),
                 (QSet<QUuid>{folders.at(0)->id(), folders.at(1)->id()}));
        QCOMPARE(state.generationTotal(), 0);
        QCOMPARE(state.generationsEnded(), 0);
    }
};

QTEST_GUILESS_MAIN(TestGenerationStop)
#include "tst_generation_stop.moc"
