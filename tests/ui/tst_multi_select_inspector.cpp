#include "design/tavrune_button.h"
#include "design/tokens.h"
#include "inspector/inspector_panel.h"
#include "inspector/mini_switch.h"
#include "inspector/multi_select_inspector_view.h"
#include "inspector/panel_widgets.h"
#include "inspector/prompt_editor.h"
#include "inspector/selected_folders_list.h"
#include "keys/keychain_service.h"
#include "state/app_state.h"

#include "fake_open_router.h"
#include "screenshot.h"
#include "temp_tree.h"
#include "test_files.h"

#include <QSettings>
#include <QtTest>

/// The batch inspector on a real state, real folders and the fake OpenRouter.
class TestMultiSelectInspector final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;
    int m_serial = 0;

    struct Fixture
    {
        AppState state;
        InspectorPanel panel{&state};
        QList<FolderItemPtr> folders;
        MultiSelectInspectorView *view() const { return panel.multiSelectInspector(); }
    };

    /// `count` folders, all selected, shown in a panel.
    std::unique_ptr<Fixture> makeFixture(int count)
    {
        auto f = std::make_unique<Fixture>();
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls.append(QUrl::fromLocalFile(m_tree.makeDir(QStringLiteral("batch%1/folder %2").arg(m_serial).arg(i)) + u'/'));
        ++m_serial;
        f->state.addFolders(urls);
        f->folders = f->state.folders();
        f->state.selectAll();
        f->panel.syncWithSelection();
        f->panel.resize(320, 720);
        f->panel.show();
        return f;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        Tokens::registerFonts();
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-batch")));
    }

    void init()
    {
        m_server.reset();
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkYellow)));
        QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).clear();
    }

    void sharedPromptDecidesTitleAndHint_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("hint");
        const QString regenerate = QStringLiteral("Regenerate All Selected");
        const QString leaveEmpty = QStringLiteral("Leave empty to use each folder's auto-generated prompt.");
        QTest::newRow("empty") << QString() << regenerate << leaveEmpty;
        QTest::newRow("spaces only") << QStringLiteral("   \n ") << regenerate << leaveEmpty;
        QTest::newRow("shared") << QStringLiteral("paper lanterns") << QStringLiteral("Generate All with Prompt")
                                << QStringLiteral("This prompt will be applied to all selected folders.");
    }

    void sharedPromptDecidesTitleAndHint()
    {
        QFETCH(QString, typed);
        QFETCH(QString, title);
        QFETCH(QString, hint);
        auto f = makeFixture(3);
        QCOMPARE(f->panel.currentWidget(), f->view());
        QCOMPARE(f->view()->summaryText(), QStringLiteral("3 folders selected"));
        f->folders.at(0)->setCustomPrompt(QStringLiteral("kept"));
        f->view()->promptEditor()->setPlainText(typed);
        QCOMPARE(f->view()->generateButton()->text(), title);
        QCOMPARE(f->view()->promptHintText(), hint);
        QCOMPARE(f->view()->clearPromptButton()->isVisible(), f->view()->hasBatchPrompt());

        saveScreenshot(&f->panel, QStringLiteral("batch_prompt_") + QTest::currentDataTag());
        QTest::mouseClick(f->view()->generateButton(), Qt::LeftButton);
        saveScreenshot(&f->panel, QStringLiteral("batch_generating_") + QTest::currentDataTag());
        // Every generation starts at once, each folder with the shared text or its own prompt.
        for (const FolderItemPtr &folder : f->folders)
            QCOMPARE(folder->iconState(), IconState::generating());
        const QString expectedFirst = f->view()->hasBatchPrompt() ? typed.trimmed() : QStringLiteral("kept");
        QCOMPARE(f->folders.at(0)->customPrompt(), expectedFirst);
        QCOMPARE(f->folders.at(1)->customPrompt(), f->view()->hasBatchPrompt() ? typed.trimmed() : QString());
        for (const FolderItemPtr &folder : f->folders)
            QTRY_COMPARE_WITH_TIMEOUT(folder->iconState(), IconState::generated(), 30000);
    }

    void applyButtonCountsFoldersWithImages()
    {
        auto f = makeFixture(5);
        QVERIFY(!f->view()->applyButton()->isVisible());
        for (int i : {1, 3})
            f->folders.at(i)->setGeneratedImage({solidPicture(Qt::green), FakeReply::encode(solidPicture(Qt::green))});
        QCOMPARE(f->view()->applyButton()->text(), QStringLiteral("Apply All Icons (2)"));
        QVERIFY(f->view()->applyButton()->isVisible());
        for (int i : {1, 3})
            f->folders.at(i)->setIconState(IconState::generated());

        QTest::mouseClick(f->view()->applyButton(), Qt::LeftButton);
        // The icons are written on a worker thread.
        QTRY_COMPARE(f->folders.at(1)->iconState(), IconState::applied());
        QTRY_COMPARE(f->folders.at(3)->iconState(), IconState::applied());
        QCOMPARE(f->folders.at(0)->iconState(), IconState::placeholder());
        QCOMPARE(SelectedFoldersList::statusOf(*f->folders.at(1)), SelectedFoldersList::Status::applied);
    }

    void everythingWaitsWhileOneFolderGenerates()
    {
        auto f = makeFixture(3);
        f->folders.at(2)->setGeneratedImage({solidPicture(Qt::blue), FakeReply::encode(solidPicture(Qt::blue))});
        f->folders.at(1)->setIconState(IconState::generating());
        QVERIFY(f->view()->anyGenerating());
        for (TavruneButton *button : {f->view()->generateButton(), f->view()->applyButton(), f->view()->removeButton()})
            QVERIFY(!button->isEnabled());
        f->view()->removeAll();
        QCOMPARE(f->state.folders().size(), 3);

        f->folders.at(1)->setIconState(IconState::failed(QStringLiteral("Rate limited")));
        for (TavruneButton *button : {f->view()->generateButton(), f->view()->applyButton(), f->view()->removeButton()})
            QVERIFY(button->isEnabled());
        QTest::mouseClick(f->view()->removeButton(), Qt::LeftButton);
        QVERIFY(f->state.folders().isEmpty());
        QVERIFY(f->state.selectedFolderIDs().isEmpty());
    }

    void modelSwitchIsTheFastModelSetting()
    {
        auto f = makeFixture(2);
        QVERIFY(!f->view()->modelSwitch()->isChecked());
        QCOMPARE(f->view()->modelTitleText(), QStringLiteral("Quality mode (ChatGPT)"));
        QCOMPARE(f->view()->modelDetailText(), QStringLiteral("1–3 min per icon"));
        QTest::mouseClick(f->view()->modelSwitch(), Qt::LeftButton);
        QVERIFY(f->state.useFastModel());
        QCOMPARE(f->view()->modelTitleText(), QStringLiteral("Fast mode (Gemini)"));
        QCOMPARE(f->view()->modelDetailText(), QStringLiteral("~10 sec per icon"));
        QVERIFY(QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).value(QStringLiteral("useFastModel")).toBool());

        // Generations started afterwards use the fast model first.
        f->view()->generateAll();
        for (const FolderItemPtr &folder : f->folders)
            QTRY_COMPARE_WITH_TIMEOUT(folder->iconState(), IconState::generated(), 30000);
        for (const RecordedRequest &chat : m_server.chatRequests())
            QCOMPARE(chat.model(), QStringLiteral("google/gemini-2.5-flash-image"));

        f->state.setUseFastModel(false);
        QVERIFY(!f->view()->modelSwitch()->isChecked());
    }

    void aThousandFoldersArePaintedRows()
    {
        auto f = makeFixture(1000);
        SelectedFoldersList *list = f->view()->folderList();
        QCOMPARE(list->rowCount(), 1000);
        QVERIFY(list->findChildren<QWidget *>().isEmpty());
        QCOMPARE(list->height(), 1000 * SelectedFoldersList::RowHeight + 2);
        const auto [first, last] = list->rowsIn(QRect(0, 340, 280, 200));
        QCOMPARE(first, 9);
        QCOMPARE(last, 15);
        QCOMPARE(f->view()->summaryText(), QStringLiteral("1000 folders selected"));
        // Painting the visible part works on every status.
        f->folders.at(0)->setIconState(IconState::generating());
        f->folders.at(1)->setIconState(IconState::failed(QStringLiteral("x")));
        f->folders.at(2)->setGeneratedImage({solidPicture(Qt::magenta), {}});
        f->folders.at(2)->setIconState(IconState::applied());
        f->folders.at(3)->setGeneratedImage({solidPicture(Qt::yellow), {}});
        f->folders.at(3)->setIconState(IconState::generated());
        QVERIFY(!f->panel.grab().isNull());
        // The region below the list is laid out below all thousand rows.
        QVERIFY(f->view()->promptToggle()->y() > list->geometry().bottom());
        saveScreenshot(&f->panel, QStringLiteral("batch_thousand"));
    }
};

QTEST_MAIN(TestMultiSelectInspector)
#include "tst_multi_select_inspector.moc"
