#include "state/app_state.h"
#include "keys/keychain_service.h"

#include "fake_open_router.h"
#include "settled.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");

QString sentPrompt(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString();
}

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

    /// A folder of 5,000 files, added first: the folders added after it wait for the one content
    /// thread while it is read.
    QUrl backlog()
    {
        const QString path = m_tree.filePath(QStringLiteral("Backlog"));
        if (!QFileInfo::exists(path)) {
            for (int i = 0; i < 5000; ++i)
                m_tree.makeFile(QStringLiteral("Backlog/%1.txt").arg(i));
        }
        return dirUrl(path);
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

    void aGenerationDoesNotWaitForItsFolderContent()
    {
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::green)));
        AppState state(AppState::Preferences::transient);
        const QString scores = m_tree.makeDir(QStringLiteral("Scores"));
        for (int i = 0; i < 20; ++i)
            m_tree.makeFile(QStringLiteral("Scores/harpsichord-%1.mid").arg(i));
        state.addFolders({backlog(), dirUrl(scores)});
        const FolderItemPtr folder = state.folders().constLast();

        // Running at once, as far as the window can tell, while the content is still being read.
        QFuture<void> done = state.generateIcon(folder->id());
        QVERIFY(state.isAnalysing(folder->id()));
        QCOMPARE(folder->fileCount(), 0);
        QCOMPARE(folder->iconState(), IconState::generating());
        QCOMPARE(state.generationTotal(), 1);
        // A second Regenerate meanwhile is the same generation.
        QVERIFY(!state.generateIcon(folder->id()).isFinished());
        QCOMPARE(state.generationTotal(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);
        QCOMPARE(folder->iconState(), IconState::generated());
        QCOMPARE(folder->fileCount(), 20);
        // One request, made once the content was known: the prompt takes its cues from the files.
        const QList<RecordedRequest> chats = m_server.chatRequests();
        QCOMPARE(chats.size(), 1);
        QVERIFY(sentPrompt(chats.at(0)).contains(QStringLiteral("harpsichord")));
    }

    void stoppingOrRemovingAFolderWhileItsContentIsReadSendsNothing()
    {
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::green)));
        AppState state(AppState::Preferences::transient);
        QFuture<void> read = state.addFolders({backlog(), dirUrl(m_tree.makeDir(QStringLiteral("waiting-stop"))),
                                               dirUrl(m_tree.makeDir(QStringLiteral("waiting-remove")))});
        const FolderItemPtr stopped = state.folders().at(1);
        const FolderItemPtr removed = state.folders().at(2);
        const IconImage earlier(solidPicture(Qt::blue), FakeReply::encode(solidPicture(Qt::blue)));
        stopped->setGeneratedImage(earlier);
        stopped->setIconState(IconState::generated());
        QSignalSpy ended(&state, &AppState::generationRunEnded);

        state.setSelectedFolderIDs({stopped->id(), removed->id()});
        QFuture<void> batch = state.generateSelectedIcons();
        QCOMPARE(state.runningGenerationCount(), 2);
        QVERIFY(state.stopGeneration(stopped->id()));
        QCOMPARE(stopped->iconState(), IconState::generated());
        QCOMPARE(stopped->generatedImage(), earlier);
        state.removeFolder(removed->id());
        QCOMPARE(state.runningGenerationCount(), 0);
        QVERIFY(batch.isFinished());
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended.at(0).at(0).value<GenerationRunSummary>().stopped, 2);

        // Undone, the removed folder is back as it was, and generates like any other.
        settled(read);
        state.undoStack()->undo();
        QCOMPARE(removed->iconState(), IconState::placeholder());
        QFuture<void> again = state.generateIcon(removed->id());
        QTRY_VERIFY_WITH_TIMEOUT(again.isFinished(), 30000);
        QCOMPARE(removed->iconState(), IconState::generated());
        QTest::qWait(100);
        const QList<RecordedRequest> chats = m_server.chatRequests();
        QCOMPARE(chats.size(), 1);
        QVERIFY(sentPrompt(chats.at(0)).contains(QStringLiteral("waiting-remove")));
    }

    void aKeyGoneWhileTheContentIsReadSendsNothingUntilANewOne()
    {
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::green)));
        AppState state;
        state.addFolders({backlog(), dirUrl(m_tree.makeDir(QStringLiteral("waiting-key")))});
        const FolderItemPtr folder = state.folders().constLast();
        QFuture<void> done = state.generateIcon(folder->id());
        QVERIFY(QFile::remove(storedKeyPath()));

        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);
        QCOMPARE(folder->iconState(), IconState::placeholder());
        QVERIFY(state.showOnboarding());
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-v1-stop")));
        state.setShowOnboarding(false); // the key sheet saved a new key
        QTRY_COMPARE_WITH_TIMEOUT(folder->iconState(), IconState::generated(), 30000);
        QCOMPARE(m_server.chatRequests().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestGenerationStop)
#include "tst_generation_stop.moc"
