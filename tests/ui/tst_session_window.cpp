#include "session/session_store.h"
#include "shell/app_commands.h"
#include "shell/main_window.h"
#include "shell/tavrune_app.h"
#include "state/app_state.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QtTest>

using Command = AppCommands::Command;

namespace {
QString indexFile() { return SessionStore::directory() + QStringLiteral("/session.json"); }
TavruneApp::Options windowWithSession() { return TavruneApp::Options{.showSplash = false, .keepSession = true}; }
} // namespace

/// The window keeps the folder list between runs: restored before it paints, written when it quits,
/// and the File menu's switch to stop that.
class TestSessionWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QDir(SessionStore::directory()).removeRecursively();
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).clear();
    }

    void foldersComeBackBeforeTheWindowPaints()
    {
        TempTree tree;
        const QUrl first = dirUrl(tree.makeDir(QStringLiteral("First")));
        const QUrl second = dirUrl(tree.makeDir(QStringLiteral("Second")));
        {
            TavruneApp app(windowWithSession());
            app.state().addFolders({first, second});
            app.state().selectFolder(app.state().folders().at(1)->id(), false);
            app.state().setViewMode(ViewMode::list);
        } // quitting writes
        QVERIFY(QFile::exists(indexFile()));

        TavruneApp app(windowWithSession());
        QVERIFY(!app.window().isVisible());
        QCOMPARE(app.state().folders().size(), 2);
        QCOMPARE(app.state().folders().at(0)->url(), first);
        QCOMPARE(app.state().selectedFolder()->url(), second);
        QCOMPARE(app.state().viewMode(), ViewMode::list);
        QVERIFY(!app.state().activeToast());
    }

    void windowsWithoutSessionLeaveItAlone()
    {
        TempTree tree;
        {
            TavruneApp app(TavruneApp::Options{.showSplash = false});
            app.state().addFolders({dirUrl(tree.makeDir(QStringLiteral("Scratch")))});
            QVERIFY(!app.window().commands()->action(Command::rememberFolders)->isEnabled());
        }
        QVERIFY(!QFile::exists(indexFile()));
    }

    void unreadableSessionSaysSoOnce()
    {
        QVERIFY(QDir().mkpath(SessionStore::directory()));
        QVERIFY(writeFile(indexFile(), "{\"version\":1,\"folders\":["));

        TavruneApp app(windowWithSession());
        app.show();
        QVERIFY(app.state().folders().isEmpty());
        QVERIFY(QFile::exists(indexFile() + QStringLiteral(".bad")));
        QCOMPARE(app.state().activeToast(), (Toast{Toast::Kind::info, QStringLiteral("Could not restore the last session")}));
    }

    void fileMenuSwitchTurnsRememberingOffAndDeletes()
    {
        TempTree tree;
        TavruneApp app(windowWithSession());
        QAction *remember = app.window().commands()->action(Command::rememberFolders);
        QVERIFY(app.window().commands()->fileMenu()->actions().contains(remember));
        QCOMPARE(remember->text(), QStringLiteral("Remember Folders Between Sessions"));
        QVERIFY(remember->isCheckable() && remember->isChecked() && remember->isEnabled());

        app.state().addFolders({dirUrl(tree.makeDir(QStringLiteral("Kept")))});
        app.session()->flush();
        QVERIFY(QFile::exists(indexFile()));

        remember->trigger();
        QVERIFY(!remember->isChecked());
        QVERIFY(!app.session()->isRememberingFolders());
        QVERIFY(!QFile::exists(indexFile()));
        QCOMPARE(QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).value(QStringLiteral("rememberFolders")),
                 QVariant(false));

        // The switch follows the setting however it changes.
        app.session()->setRememberingFolders(true);
        QVERIFY(remember->isChecked());
    }
};

QTEST_MAIN(TestSessionWindow)
#include "tst_session_window.moc"
