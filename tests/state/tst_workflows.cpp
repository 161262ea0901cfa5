#include "state/app_state.h"
#include "desktop/folder_watcher.h"
#include "keys/keychain_service.h"
#include "content/prompt_builder.h"

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

#include <condition_variable>
#include <mutex>

using namespace std::chrono_literals;

namespace {

const QString FastModel = QStringLiteral("google/gemini-2.5-flash-image");
const QString QualityModel = QStringLiteral("openai/gpt-5.4-image-2");
const QString ApiKey = QStringLiteral("sk-or-v1-workflow");

const QString RenderDirective = QStringLiteral(
    "Render it as a premium macOS app icon in the style of top Dribbble app icon shots: one single centered "
    "hero object, soft studio lighting, gentle highlights and soft contact shadows, rich tactile materials, "
    "crisp silhouette that stays readable at 64 pixels. The background must be a subtle smooth gradient that "
    "fills the ENTIRE square canvas edge to edge - full-bleed artwork, no transparent areas, no rounded "
    "corners, no border, no squircle mask (the corner mask is applied later by the app). Square 1:1 "
    "composition, photographic render quality, no words, no letters, no watermark, no UI chrome.");

QString sentPrompt(const RecordedRequest &request)
{
    return request.json().value(QStringLiteral("messages")).toArray().at(0).toObject().value(QStringLiteral("content")).toString();
}

/// Every toast a state shows, in order.
class ToastLog final
{
public:
    explicit ToastLog(AppState &state)
    {
        QObject::connect(&state, &AppState::activeToastChanged, &state, [this, &state] {
            if (state.activeToast())
                m_toasts.append(*state.activeToast());
        });
    }
    const QList<Toast> &toasts() const { return m_toasts; }
    QStringList messages() const
    {
        QStringList result;
        for (const Toast &toast : m_toasts)
            result.append(toast.message);
        return result;
    }

private:
    QList<Toast> m_toasts;
};

} // namespace

/// Generating and applying icons end to end: real HTTP to the fake OpenRouter, real folders,
/// real gvfs metadata and .directory files, and the Desktop watcher on real inotify.
class TestWorkflows final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;

    FolderItemPtr addFolder(AppState &state, const QString &name)
    {
        settled(state.addFolders({dirUrl(m_tree.makeDir(name))}));
        return state.folders().constLast();
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
        QVERIFY(KeychainService::shared().save(ApiKey));
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).clear();
    }

    void withoutKeyNothingHappens()
    {
        QVERIFY(QFile::remove(storedKeyPath()));
        AppState state;
        const FolderItemPtr folder = addFolder(state, QStringLiteral("No Key"));
        QFuture<void> done = state.generateIcon(folder->id());
        QVERIFY(done.isFinished());
        QCOMPARE(folder->iconState(), IconState::placeholder());
        QVERIFY(!folder->lastGeneratedPrompt());
        QVERIFY(!state.activeToast());
        QVERIFY(state.showOnboarding()); // the key sheet asks for one (tst_spend_control follows it up)
        QVERIFY(m_server.requests().isEmpty());

        // An unknown id does nothing either.
        QVERIFY(state.generateIcon(QUuid::createUuid()).isFinished());
    }

    void successStoresImageThenStateThenToast()
    {
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::red)));
        AppState state;
        ToastLog log(state);
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Holiday Photos"));

        QList<IconState> states;
        connect(folder.get(), &FolderItem::iconStateChanged, this, [&] { states.append(folder->iconState()); });
        bool imageBeforeState = false;
        connect(folder.get(), &FolderItem::iconStateChanged, this, [&] {
            if (folder->iconState() == IconState::generated())
                imageBeforeState = !folder->generatedImage().isNull() && !folder->lastGeneratedAt();
        });

        QFuture<void> done = state.generateIcon(folder->id());
        QCOMPARE(folder->iconState(), IconState::generating());
        // The prompt is recorded with the image that answers it, not when the request starts.
        QVERIFY(!folder->lastGeneratedPrompt());
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);

        QCOMPARE(states, (QList<IconState>{IconState::generating(), IconState::generated()}));
        QVERIFY(imageBeforeState);
        QCOMPARE(folder->generatedImage().size(), QSize(1024, 1024));
        QVERIFY(!folder->generatedImage().png().isEmpty());
        QVERIFY(folder->lastGeneratedAt());
        QVERIFY(qAbs(folder->lastGeneratedAt()->secsTo(QDateTime::currentDateTime())) < 60);
        QCOMPARE(log.toasts(), (QList<Toast>{{Toast::Kind::success, QStringLiteral("Icon ready for “Holiday Photos”")}}));

        // Exactly one request, to the quality model, with the stored key and the recorded prompt.
        const QList<RecordedRequest> chats = m_server.chatRequests();
        QCOMPARE(chats.size(), 1);
        QCOMPARE(chats.at(0).model(), QualityModel);
        QCOMPARE(chats.at(0).header("Authorization"), QByteArray("Bearer ") + ApiKey.toUtf8());
        QCOMPARE(sentPrompt(chats.at(0)), *folder->lastGeneratedPrompt());
    }

    void failureKeepsPreviousImageAndPrompt()
    {
        AppState state;
        ToastLog log(state);
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Taxes"));
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::blue)));
        QFuture<void> first = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(first.isFinished(), 30000);
        const IconImage previous = folder->generatedImage();
        const QDateTime previousAt = *folder->lastGeneratedAt();
        const QString previousPrompt = *folder->lastGeneratedPrompt();
        QVERIFY(!previous.isNull());

        m_server.script(QualityModel, FakeReply::apiError(401, QStringLiteral("User not found.")));
        m_server.script(FastModel, FakeReply::raw(503, "busy"));
        folder->setCustomPrompt(QStringLiteral("a golden ledger"));
        QFuture<void> second = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(second.isFinished(), 30000);

        QCOMPARE(folder->iconState(),
                 IconState::failed(QStringLiteral("API Error: All models failed: [openai/gpt-5.4-image-2] API Error: "
                                                  "User not found. | [google/gemini-2.5-flash-image] API Error: HTTP 503"),
                                   IconState::Failure::authentication));
        QCOMPARE(folder->generatedImage(), previous);
        QCOMPARE(*folder->lastGeneratedAt(), previousAt);
        QCOMPARE(*folder->lastGeneratedPrompt(), previousPrompt);
        QCOMPARE(log.toasts().constLast(), (Toast{Toast::Kind::error, QStringLiteral("Generation failed for “Taxes”")}));
    }

    void everyImageIsKeptAndGenerationsUndo()
    {
        AppState state;
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Music"));
        QList<IconImage> made;
        for (const QColor &colour : {QColor(Qt::red), QColor(Qt::blue)}) {
            m_server.script(QualityModel, FakeReply::image(solidPicture(colour)));
            QFuture<void> done = state.generateIcon(folder->id());
            QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);
            made.append(folder->generatedImage());
        }
        QCOMPARE(folder->history().size(), 1);
        const IconHistoryEntry earlier = folder->history().constFirst();
        QCOMPARE(earlier.image, made.at(0));
        QCOMPARE(earlier.model, QualityModel);
        QCOMPARE(earlier.prompt, sentPrompt(m_server.chatRequests().at(0)));
        QVERIFY(earlier.generatedAt.isValid());
        QCOMPARE(state.undoStack()->undoText(), QStringLiteral("New Icon for “Music”"));

        // Undone, the previous image is current again and the new one stays in the history.
        state.undoStack()->undo();
        QCOMPARE(folder->generatedImage(), made.at(0));
        QCOMPARE(folder->iconState(), IconState::generated());
        QCOMPARE(folder->history().constFirst().image, made.at(1));
        QCOMPARE(*folder->lastGeneratedPrompt(), earlier.prompt);
        state.undoStack()->redo();
        QCOMPARE(folder->generatedImage(), made.at(1));

        // The first generation undone leaves no current image, and loses none.
        state.undoStack()->undo();
        state.undoStack()->undo();
        QVERIFY(folder->generatedImage().isNull());
        QCOMPARE(folder->iconState(), IconState::placeholder());
        QCOMPARE(folder->history().size(), 2);
        state.undoStack()->redo();
        QCOMPARE(folder->generatedImage(), made.at(0));

        // Choosing an earlier image is a step of its own.
        QVERIFY(state.useHistoryImage(folder->id(), 0));
        QCOMPARE(folder->generatedImage(), made.at(1));
        state.undoStack()->undo();
        QCOMPARE(folder->generatedImage(), made.at(0));
    }

    void historyNamesTheModelThatAnsweredWithItsCost()
    {
        AppState state;
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Recipes"));
        // The quality model is asked first and fails: the fast one answers.
        m_server.script(QualityModel, FakeReply::raw(500, "down"));
        m_server.script(FastModel, FakeReply::image(solidPicture(Qt::green)));
        m_server.setGenerationCost(0.039);
        QFuture<void> first = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(first.isFinished(), 30000);
        QCOMPARE(folder->lastGeneratedModel(), FastModel);
        QCOMPARE(folder->generationCost().value_or(-1), 0.039);

        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::red)));
        m_server.setGenerationCost(QJsonValue::Undefined);
        QFuture<void> second = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(second.isFinished(), 30000);
        QCOMPARE(folder->lastGeneratedModel(), QualityModel);
        QVERIFY(!folder->generationCost());
        QCOMPARE(folder->history().constFirst().model, FastModel);
        QCOMPARE(folder->history().constFirst().cost.value_or(-1), 0.039);

        // Undone, the earlier image brings its model and cost back.
        state.undoStack()->undo();
        QCOMPARE(folder->lastGeneratedModel(), FastModel);
        QCOMPARE(folder->generationCost().value_or(-1), 0.039);
    }

    void customPromptIsSentExactly()
    {
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::yellow)));
        AppState state;
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Band Demos"));
        folder->setCustomPrompt(QStringLiteral("  \n a cassette tape \n\t "));
        QFuture<void> done = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);

        const QString path = m_tree.filePath(QStringLiteral("Band Demos"));
        const QString expected = QStringLiteral("Folder name: \"Band Demos\". User instruction (highest priority): "
                                                "a cassette tape. No shared family lock. Prioritize a unique look for "
                                                "this folder. ")
            + RenderDirective + QStringLiteral(" Variation key for composition choices: ") + path + u'.';
        QCOMPARE(sentPrompt(m_server.chatRequests().at(0)), expected);
        QCOMPARE(*folder->lastGeneratedPrompt(), expected);

        // With the family lock the theme's style replaces the no-lock sentence; nothing else changes.
        state.setMaintainThemeConsistency(true);
        QFuture<void> locked = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(locked.isFinished(), 30000);
        const QString lockedExpected =
            QStringLiteral("Folder name: \"Band Demos\". User instruction (highest priority): a cassette tape. "
                           "Style family lock: pixel art, 8-bit style, crisp edges, nostalgic palette, NES era. "
                           "Keep look-and-feel consistent with this selected family. ")
            + RenderDirective + QStringLiteral(" Variation key for composition choices: ") + path + u'.';
        QCOMPARE(sentPrompt(m_server.chatRequests().at(1)), lockedExpected);
    }

    void blankCustomPromptUsesTheBuilderWithEightHints()
    {
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::cyan)));
        AppState state;
        const QString path = m_tree.makeDir(QStringLiteral("Many Files"));
        for (int i = 0; i < 20; ++i)
            m_tree.makeFile(QStringLiteral("Many Files/%1 track%2.wav").arg(i).arg(QChar(u'a' + i)));
        settled(state.addFolders({dirUrl(path)}));
        const FolderItemPtr folder = state.folders().constLast();
        QCOMPARE(folder->topFiles().size(), 20);
        folder->setCustomPrompt(QStringLiteral(" \n\t "));

        QFuture<void> done = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);

        QStringList hints;
        for (int i = 0; i < 8; ++i)
            hints.append(folder->topFiles().at(i).name);
        const QString expected = PromptBuilder::build(ThemePreset::defaultTheme(), folder->detectedCategory(),
                                                      QStringLiteral("Many Files"), hints, path, false);
        QCOMPARE(sentPrompt(m_server.chatRequests().at(0)), expected);
    }

    void removedFolderStillReceivesItsOutcome()
    {
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::magenta)).after(400ms));
        AppState state;
        ToastLog log(state);
        FolderItemPtr folder = addFolder(state, QStringLiteral("Leaving"));
        QFuture<void> done = state.generateIcon(folder->id());
        state.removeFolder(folder->id());
        QVERIFY(state.folders().isEmpty());

        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);
        QCOMPARE(folder->iconState(), IconState::generated());
        QVERIFY(!folder->generatedImage().isNull());
        QCOMPARE(log.messages().constLast(), QStringLiteral("Icon ready for “Leaving”"));
    }

    void batchesRunAllGenerationsAtOnce()
    {
        // The server holds every answer until all five requests are in: a batch that sent them
        // one after another would never get its first answer.
        constexpr int count = 5;
        std::mutex mutex;
        std::condition_variable allArrived;
        int arrived = 0;
        m_server.setGenerator([&](const QString &, const QString &) {
            std::unique_lock lock(mutex);
            ++arrived;
            allArrived.notify_all();
            if (!allArrived.wait_for(lock, 20s, [&] { return arrived >= count; }))
                return FakeReply::raw(500, "not parallel");
            return FakeReply::image(solidPicture(Qt::darkGreen));
        });

        AppState state;
        for (int i = 0; i < count; ++i)
            addFolder(state, QStringLiteral("Batch %1").arg(i));
        state.selectAll();
        QFuture<void> done = state.generateSelectedIcons();
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 60000);
        for (const FolderItemPtr &folder : state.folders())
            QCOMPARE(folder->iconState(), IconState::generated());
        QCOMPARE(m_server.chatRequests().size(), count);
        m_server.setGenerator({});
    }

    // A batch with folders holds the flag until the last one is done: tst_shell_commands drives that.
    void regenerateAllOfNothingRaisesAndLowersTheFlagSilently()
    {
        AppState state;
        QSignalSpy flag(&state, &AppState::isRegeneratingAllChanged);
        QVERIFY(state.regenerateAll().isFinished());
        QCOMPARE(flag.count(), 2);
        QVERIFY(!state.isRegeneratingAll());
        QVERIFY(!state.activeToast());
    }

    void applyingOneFolder()
    {
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::darkRed)));
        AppState state;
        ToastLog log(state);
        const FolderItemPtr folder = addFolder(state, QStringLiteral("Apply Me"));
        QVERIFY(!settled(state.applyIcon(folder->id(), true))); // nothing generated yet
        QCOMPARE(folder->iconState(), IconState::placeholder());
        QVERIFY(log.toasts().isEmpty());
        QVERIFY(!settled(state.applyIcon(QUuid::createUuid(), true)));

        QFuture<void> done = state.generateIcon(folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);
        QVERIFY(settled(state.applyIcon(folder->id(), true)));
        QCOMPARE(folder->iconState(), IconState::applied());
        QCOMPARE(log.toasts().constLast(), (Toast{Toast::Kind::success, QStringLiteral("Icon applied to “Apply Me”")}));
        QFile directory(m_tree.filePath(QStringLiteral("Apply Me/.directory")));
        QVERIFY(directory.open(QIODevice::ReadOnly));
        QVERIFY(directory.readAll().contains("Icon="));
        directory.close();

        // A .directory the user may not write: the other file managers still take the icon, and the toast
        // names the ones that will not show it.
        QVERIFY(directory.remove());
        QVERIFY(directory.open(QIODevice::WriteOnly) && directory.write("[Dolphin]\nViewMode=1\n") > 0);
        directory.close();
        QVERIFY(directory.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QVERIFY(settled(state.applyIcon(folder->id(), true)));
        QCOMPARE(folder->iconState(), IconState::applied());
        QCOMPARE(log.toasts().constLast(),
                 (Toast{Toast::Kind::warning,
                        QStringLiteral("Applied, but Dolphin and PCManFM-Qt will not show it: “.directory” is read-only")}));

        // The folder vanished from disk: the apply fails and says so.
        QVERIFY(QDir(m_tree.filePath(QStringLiteral("Apply Me"))).removeRecursively());
        QVERIFY(!settled(state.applyIcon(folder->id(), true)));
        QCOMPARE(folder->iconState(), IconState::failed(QStringLiteral("Failed to apply icon to folder")));
        QCOMPARE(log.toasts().constLast(), (Toast{Toast::Kind::error, QStringLiteral("Couldn’t apply icon to “Apply Me”")}));
    }

    void applyingTheSelectionSummarises()
    {
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::darkBlue)));
        AppState state;
        const FolderItemPtr a = addFolder(state, QStringLiteral("Sel A"));
        const FolderItemPtr b = addFolder(state, QStringLiteral("Sel B"));
        const FolderItemPtr c = addFolder(state, QStringLiteral("Sel C"));

        state.selectAll();
        state.applySelectedIcons();
        QCOMPARE(state.activeToast(), (Toast{Toast::Kind::info, QStringLiteral("No generated icons to apply yet")}));

        state.setSelectedFolderIDs({a->id(), b->id()});
        QFuture<void> done = state.generateSelectedIcons();
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);

        state.setSelectedFolderIDs({a->id(), c->id()}); // c has no image: only a is a target
        settled(state.applySelectedIcons());
        QCOMPARE(state.activeToast(), (Toast{Toast::Kind::success, QStringLiteral("Icon applied to “Sel A”")}));

        state.selectAll(); // a (already applied, written again) and b
        settled(state.applySelectedIcons());
        QCOMPARE(state.activeToast(), (Toast{Toast::Kind::success, QStringLiteral("Applied 2 folder icons")}));
        QCOMPARE(a->iconState(), IconState::applied());
        QCOMPARE(b->iconState(), IconState::applied());

        // Applied to a only where its .directory allows: counted apart.
        const QString directory = m_tree.filePath(QStringLiteral("Sel A/.directory"));
        QVERIFY(QFile::remove(directory));
        m_tree.makeFile(QStringLiteral("Sel A/.directory"), "[Dolphin]\nViewMode=1\n");
        QVERIFY(QFile::setPermissions(directory, QFile::ReadOwner));
        settled(state.applySelectedIcons());
        QCOMPARE(state.activeToast(),
                 (Toast{Toast::Kind::warning, QStringLiteral("Applied 2 folder icons — 1 will not show in every file manager")}));
        QCOMPARE(a->iconState(), IconState::applied());

        QVERIFY(QDir(m_tree.filePath(QStringLiteral("Sel B"))).removeRecursively());
        settled(state.applySelectedIcons());
        QCOMPARE(state.activeToast(),
                 (Toast{Toast::Kind::error,
                        QStringLiteral("Applied 1 of 2 icons — some failed, 1 will not show in every file manager")}));
        QCOMPARE(b->iconState(), IconState::failed(QStringLiteral("Failed to apply icon to folder")));
    }

    void desktopSwitchAddsGeneratesAndApplies()
    {
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        QVERIFY(QDir().mkpath(desktop));
        m_server.script(QualityModel, FakeReply::image(solidPicture(Qt::darkCyan)));

        AppState state;
        ToastLog log(state);
        state.setWatcherReportDelay(150ms);
        state.setWatchingRoot(true);
        QVERIFY(state.rootWatcher());
        QCOMPARE(log.toasts().constLast(),
                 (Toast{Toast::Kind::info, QStringLiteral("Watching Desktop — new folders get icons automatically")}));
        QVERIFY(QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).value(QStringLiteral("watchRootFolder")).toBool());

        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Recipes")));
        QTRY_VERIFY_WITH_TIMEOUT(!state.folders().isEmpty() && state.folders().constLast()->iconState() == IconState::applied(), 30000);
        const FolderItemPtr folder = state.folders().constLast();
        QCOMPARE(folder->url(), QUrl::fromLocalFile(desktop + QStringLiteral("/Recipes/")));
        QCOMPARE(log.messages().mid(1), (QStringList{QStringLiteral("New folder “Recipes” — generating icon…"),
                                                     QStringLiteral("Icon ready for “Recipes”"),
                                                     QStringLiteral("Icon applied to “Recipes”")}));
        QVERIFY(QFile::exists(desktop + QStringLiteral("/Recipes/.directory")));

        // A failing generation is not applied.
        m_server.script(QualityModel, FakeReply::raw(500, "down"));
        m_server.script(FastModel, FakeReply::raw(500, "down"));
        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Broken")));
        QTRY_VERIFY_WITH_TIMEOUT(state.folders().size() == 2 && state.folders().constLast()->iconState().is(IconState::Kind::failed), 30000);
        QTest::qWait(100);
        QCOMPARE(log.messages().constLast(), QStringLiteral("Generation failed for “Broken”"));
        QVERIFY(!QFile::exists(desktop + QStringLiteral("/Broken/.directory")));

        // Without a key the folder is announced and stays a placeholder.
        QVERIFY(QFile::remove(storedKeyPath()));
        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Keyless")));
        QTRY_VERIFY_WITH_TIMEOUT(state.folders().size() == 3, 30000);
        QTest::qWait(300);
        QCOMPARE(state.folders().constLast()->iconState(), IconState::placeholder());
        QCOMPARE(log.messages().constLast(), QStringLiteral("New folder “Keyless” — generating icon…"));

        state.setWatchingRoot(false);
        QVERIFY(!state.rootWatcher());
        QCOMPARE(log.messages().constLast(), QStringLiteral("Folder watching turned off"));
        QVERIFY(!QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).value(QStringLiteral("watchRootFolder")).toBool());
        QVERIFY(QDir(desktop).mkdir(QStringLiteral("Unwatched")));
        QTest::qWait(500);
        QCOMPARE(state.folders().size(), 3);
    }

    void watchingAtLaunchStartsSilently()
    {
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).setValue(QStringLiteral("watchRootFolder"), true);
        AppState state;
        QVERIFY(state.isWatchingRoot());
        QVERIFY(state.rootWatcher());
        QVERIFY(!state.activeToast());

        // Switching on again restarts the watcher and shows the toast again.
        state.setWatchingRoot(true);
        QVERIFY(state.rootWatcher());
        QVERIFY(state.rootWatcher()->isWatching());
        QCOMPARE(state.activeToast()->message, QStringLiteral("Watching Desktop — new folders get icons automatically"));
    }
};

QTEST_GUILESS_MAIN(TestWorkflows)
#include "tst_workflows.moc"
