#include "keys/keychain_service.h"
#include "shell/app_commands.h"
#include "shell/generation_progress_view.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "shell/tavrune_toolbar.h"
#include "state/app_state.h"

#include "fake_open_router.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QAction>
#include <QLabel>
#include <QtTest>

using namespace std::chrono_literals;

/// The real application object with generations still running: the toolbar's progress, the
/// question before quitting, and tearing everything down while requests are pending.
class TestQuitWhileGenerating final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;

    void startThree(TavruneApp &app, const QString &prefix)
    {
        QList<QUrl> urls;
        for (int i = 0; i < 3; ++i)
            urls.append(dirUrl(m_tree.makeDir(prefix + QString::number(i))));
        app.state().addFolders(urls);
        app.state().selectAll();
        app.state().generateSelectedIcons();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        QVERIFY(m_tree.isValid());
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-v1-quit")));
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::red)).after(60s));
    }

    void quitAsksThenStopsEveryGeneration()
    {
        TavruneApp app(TavruneApp::Options{.showSplash = false});
        startThree(app, QStringLiteral("asked"));
        // All three requests are at the server before anything is stopped.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), 3, 10000);
        GenerationProgressView *progress = app.window().toolbar()->generationProgress();
        QVERIFY(!progress->isHidden());
        QCOMPARE(progress->label()->text(), QStringLiteral("Generating 1 of 3…"));
        QAction *stop = app.window().commands()->action(AppCommands::Command::stopGenerating);
        QVERIFY(stop->isEnabled());
        QCOMPARE(stop->shortcut(), QKeySequence(QStringLiteral("Ctrl+.")));

        int asked = 0;
        bool agree = false;
        app.window().setQuitConfirmation([&](int running) {
            asked = running;
            return agree;
        });
        QAction *quit = app.window().commands()->action(AppCommands::Command::quit);
        quit->trigger();
        QCOMPARE(asked, 3);
        QCOMPARE(app.state().runningGenerationCount(), 3); // declined: nothing stopped

        agree = true;
        quit->trigger();
        QCOMPARE(app.state().runningGenerationCount(), 0);
        QVERIFY(progress->isHidden());
        QVERIFY(!stop->isEnabled());
        for (const FolderItemPtr &folder : app.state().folders())
            QCOMPARE(folder->iconState(), IconState::placeholder());
        QTRY_COMPARE_WITH_TIMEOUT(m_server.connectionsClosedWhileWaiting(), 3, 10000);
    }

    void destroyingTheAppWithRequestsPendingIsClean()
    {
        const int closedBefore = m_server.connectionsClosedWhileWaiting();
        const qsizetype requestsBefore = m_server.chatRequests().size();
        {
            TavruneApp app(TavruneApp::Options{.showSplash = false});
            startThree(app, QStringLiteral("pending"));
            QTRY_COMPARE_WITH_TIMEOUT(m_server.chatRequests().size(), requestsBefore + 3, 10000);
        }
        // Whatever the network thread finishes now must find nothing of the state to call into.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.connectionsClosedWhileWaiting(), closedBefore + 3, 10000);
        QTest::qWait(100);
    }
};

QTEST_MAIN(TestQuitWhileGenerating)
#include "tst_quit_while_generating.moc"
