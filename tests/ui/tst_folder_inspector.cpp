#include "design/tavrune_button.h"
#include "design/tokens.h"
#include "inspector/folder_inspector_view.h"
#include "inspector/history_strip.h"
#include "inspector/icon_preview_view.h"
#include "inspector/inspector_panel.h"
#include "inspector/multi_select_inspector_view.h"
#include "inspector/panel_widgets.h"
#include "inspector/prompt_editor.h"
#include "keys/keychain_service.h"
#include "content/prompt_builder.h"
#include "state/app_state.h"

#include "fake_open_router.h"
#include "screenshot.h"
#include "temp_tree.h"
#include "test_files.h"

#include "settled.h"
#include <QLabel>
#include <QtTest>

/// The single-folder inspector on a real state, real folders and the fake OpenRouter. What applying
/// writes (gvfs metadata, .directory) is checked in full by the folder icon service's tests; here the
/// .directory file only shows that the buttons reached the service.
Q_DECLARE_METATYPE(IconState::Failure)

class TestFolderInspector final : public QObject
{
    Q_OBJECT

private:
    FakeOpenRouter m_server;
    TempTree m_tree;
    int m_folderSerial = 0;

    struct Fixture
    {
        AppState state;
        InspectorPanel panel{&state};
        FolderItemPtr folder;
        FolderInspectorView *view() const { return panel.folderInspector(); }
    };

    /// A state with one selected folder (with a few files) shown in a panel.
    std::unique_ptr<Fixture> makeFixture(const QString &name = QStringLiteral("Tax Returns"))
    {
        auto f = std::make_unique<Fixture>();
        const QString relative = name + QString::number(++m_folderSerial);
        const QString dir = m_tree.makeDir(relative);
        for (const char *file : {"2023.pdf", "2024.pdf", "receipts.xlsx"})
            m_tree.makeFile(relative + u'/' + QLatin1String(file), "x");
        settled(f->state.addFolders({QUrl::fromLocalFile(dir + u'/')}));
        f->folder = f->state.folders().constLast();
        f->state.selectFolder(f->folder->id(), false);
        f->panel.syncWithSelection();
        f->panel.resize(320, 720);
        f->panel.show();
        return f;
    }

    void generate(Fixture &f)
    {
        QFuture<void> done = f.state.generateIcon(f.folder->id());
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 30000);
        QCOMPARE(f.folder->iconState(), IconState::generated());
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TAVRUNE_OPENROUTER_URL", m_server.baseUrl().toUtf8());
        Tokens::registerFonts();
        QVERIFY(m_tree.isValid());
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-or-inspector")));
    }

    void init()
    {
        m_server.reset();
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::darkCyan)));
    }

    void modeLineFollowsThePrompt_data()
    {
        QTest::addColumn<QString>("prompt");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("button");
        QTest::newRow("blank") << QString() << QStringLiteral("Mode: AUTO") << QStringLiteral("Use Auto As Base");
        QTest::newRow("spaces and newlines") << QStringLiteral("  \n\t \n") << QStringLiteral("Mode: AUTO")
                                             << QStringLiteral("Use Auto As Base");
        QTest::newRow("manual") << QStringLiteral("a neon ledger") << QStringLiteral("Mode: MANUAL")
                                << QStringLiteral("Clear Manual");
    }

    void modeLineFollowsThePrompt()
    {
        QFETCH(QString, prompt);
        QFETCH(QString, mode);
        QFETCH(QString, button);
        auto f = makeFixture();
        f->folder->setCustomPrompt(prompt);
        QCOMPARE(f->view()->editor()->toPlainText(), prompt);
        QCOMPARE(f->view()->modeText(), mode);
        QCOMPARE(f->view()->modeButton()->text(), button);
        saveScreenshot(&f->panel, QStringLiteral("inspector_prompt_") + QTest::currentDataTag());
        // With no generated image, only regenerating is offered.
        QVERIFY(f->view()->regenerateButton()->isVisible());
        QVERIFY(!f->view()->applyButton()->isVisible());
        QVERIFY(!f->view()->resetButton()->isVisible());
    }

    void useAutoAsBaseFillsTheBuiltPrompt_data()
    {
        QTest::addColumn<bool>("familyLock");
        QTest::newRow("individual") << false;
        QTest::newRow("family lock") << true;
    }

    void useAutoAsBaseFillsTheBuiltPrompt()
    {
        QFETCH(bool, familyLock);
        auto f = makeFixture();
        f->state.setMaintainThemeConsistency(familyLock);
        QStringList hints;
        for (const FileEntry &entry : f->folder->topFiles())
            hints.append(entry.name);
        QVERIFY(!hints.isEmpty());
        const QString expected = PromptBuilder::build(f->state.selectedTheme(), f->folder->detectedCategory(),
                                                      f->folder->name(), hints.mid(0, 8),
                                                      f->folder->url().toLocalFile().chopped(1), familyLock);
        const QString other = PromptBuilder::build(f->state.selectedTheme(), f->folder->detectedCategory(),
                                                   f->folder->name(), hints.mid(0, 8),
                                                   f->folder->url().toLocalFile().chopped(1), !familyLock);
        QVERIFY(expected != other);
        // What the button fills in is exactly what a blank prompt sends.
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::green)));
        generate(*f);
        QCOMPARE(f->folder->lastGeneratedPrompt(), expected);

        QTest::mouseClick(f->view()->modeButton(), Qt::LeftButton);
        QCOMPARE(f->folder->customPrompt(), expected);
        QCOMPARE(f->view()->editor()->toPlainText(), expected);
        QCOMPARE(f->view()->modeText(), QStringLiteral("Mode: MANUAL"));
        QCOMPARE(f->view()->footnoteText().startsWith(QStringLiteral("Manual text is allowed.")), familyLock);

        // The fill is one undoable edit; "Clear Manual" then empties the record.
        f->view()->editor()->undo();
        QCOMPARE(f->folder->customPrompt(), QString());
        f->view()->editor()->redo();
        QTest::mouseClick(f->view()->modeButton(), Qt::LeftButton);
        QCOMPARE(f->folder->customPrompt(), QString());
        QCOMPARE(f->view()->modeButton()->text(), QStringLiteral("Use Auto As Base"));
    }

    void returnRegeneratesAndShiftReturnBreaksTheLine()
    {
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::red)).after(std::chrono::milliseconds(300)));
        auto f = makeFixture();
        PromptEditor *editor = f->view()->editor();
        editor->setFocus();
        QTest::keyClicks(editor, QStringLiteral("gold"));
        QTest::keyClick(editor, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(editor, QStringLiteral("coins"));
        QCOMPARE(f->folder->customPrompt(), QStringLiteral("gold\ncoins"));
        QCOMPARE(f->folder->iconState(), IconState::placeholder());

        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(f->folder->customPrompt(), QStringLiteral("gold\ncoins"));
        QCOMPARE(f->folder->iconState(), IconState::generating());
        // While it runs every action is off.
        for (TavruneButton *button : {f->view()->regenerateButton(), f->view()->applyButton(), f->view()->resetButton()})
            QVERIFY(!button->isEnabled());
        QCOMPARE(f->view()->preview()->content(), IconPreviewView::Content::generating);
        saveScreenshot(&f->panel, QStringLiteral("inspector_generating"));
        QTRY_COMPARE_WITH_TIMEOUT(f->folder->iconState(), IconState::generated(), 30000);
        QVERIFY(f->folder->lastGeneratedPrompt()->contains(QStringLiteral("gold\ncoins")));
        QCOMPARE(m_server.chatRequests().size(), 1);
        QVERIFY(f->view()->regenerateButton()->isEnabled());
        QVERIFY(f->view()->applyButton()->isVisible());
        QCOMPARE(f->view()->preview()->content(), IconPreviewView::Content::image);
        QVERIFY(f->view()->costLineText().isEmpty()); // OpenRouter said nothing: nothing is shown

        m_server.setGenerationCost(0.039);
        generate(*f);
        QCOMPARE(f->view()->costLineText(), QStringLiteral("Cost: $0.039"));
        saveScreenshot(&f->panel, QStringLiteral("inspector_cost"));
        m_server.setGenerationCost(QStringLiteral("a lot"));
        generate(*f);
        QVERIFY(f->view()->costLineText().isEmpty());
        m_server.setGenerationCost(QJsonValue::Undefined);
    }

    void errorBoxTellsARefusedKeyApart_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<IconState::Failure>("failure");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("offersKey");
        const QString keyText = QStringLiteral("Invalid or expired API key. Please update your OpenRouter API key.");
        using F = IconState::Failure;
        QTest::newRow("refused key") << QStringLiteral("API Error: User not found.") << F::authentication << keyText
                                     << true;
        // The decision is the kind's: a message that merely mentions 401 is not a refused key.
        QTest::newRow("401 in the text") << QStringLiteral("API Error: 401 images left in queue") << F::rateLimit
                                         << QStringLiteral("API Error: 401 images left in queue") << false;
        QTest::newRow("other") << QStringLiteral("Invalid API key") << F::other << QStringLiteral("Invalid API key")
                               << false;
    }

    void errorBoxTellsARefusedKeyApart()
    {
        QFETCH(QString, message);
        QFETCH(IconState::Failure, failure);
        QFETCH(QString, shown);
        QFETCH(bool, offersKey);
        auto f = makeFixture();
        QVERIFY(!f->view()->isErrorBoxShown());
        f->folder->setIconState(IconState::failed(message, failure));
        QVERIFY(f->view()->isErrorBoxShown());
        QCOMPARE(f->view()->errorText(), shown);
        QCOMPARE(f->view()->updateKeyButton()->isVisible(), offersKey);
        QCOMPARE(f->view()->preview()->content(), IconPreviewView::Content::failed);
        saveScreenshot(&f->panel, QStringLiteral("inspector_failed_") + QTest::currentDataTag());
        if (offersKey) {
            QTest::mouseClick(f->view()->updateKeyButton(), Qt::LeftButton);
            QVERIFY(f->state.showOnboarding());
        }
        f->folder->setIconState(IconState::placeholder());
        QVERIFY(!f->view()->isErrorBoxShown());
    }

    void resetTakesTheIconOffButKeepsTheImage()
    {
        auto f = makeFixture(QStringLiteral("Photos"));
        generate(*f);
        const QString path = f->folder->url().toLocalFile();
        QTest::mouseClick(f->view()->applyButton(), Qt::LeftButton);
        QTRY_COMPARE(f->folder->iconState(), IconState::applied());
        QVERIFY(f->view()->preview()->showsAppliedBadge());
        QVERIFY(QFile::exists(path + QStringLiteral(".directory")));
        saveScreenshot(&f->panel, QStringLiteral("inspector_applied"));
        const IconImage image = f->folder->generatedImage();

        QTest::mouseClick(f->view()->resetButton(), Qt::LeftButton);
        QTRY_COMPARE(f->folder->iconState(), IconState::generated());
        QCOMPARE(f->folder->generatedImage(), image);
        QVERIFY(!f->view()->preview()->showsAppliedBadge());
        QVERIFY(f->view()->applyButton()->isVisible());
        QVERIFY(f->view()->applyButton()->isEnabled());
        QVERIFY(!QFile::exists(path + QStringLiteral(".directory")));
        saveScreenshot(&f->panel, QStringLiteral("inspector_reset"));
    }

    void resetThatCannotFinishSaysSoAndKeepsTheState()
    {
        auto f = makeFixture(QStringLiteral("Locked"));
        generate(*f);
        QVERIFY(settled(f->state.applyIcon(f->folder->id(), false)));
        const QString entry = f->folder->url().toLocalFile() + QStringLiteral(".directory");
        // The user made the folder's .directory read-only: our icon there cannot be taken back.
        QVERIFY(QFile::setPermissions(entry, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QTest::mouseClick(f->view()->resetButton(), Qt::LeftButton);
        QTRY_COMPARE(f->state.activeToast(),
                     std::optional(Toast{Toast::Kind::error,
                                         QStringLiteral("Could not fully reset the icon of “%1”").arg(f->folder->name())}));
        QCOMPARE(f->folder->iconState(), IconState::applied());
        QVERIFY(f->view()->preview()->showsAppliedBadge());
    }

    void followsTheFolderWithoutRebuilding()
    {
        auto f = makeFixture();
        FolderInspectorView *view = f->view();
        const QList<QWidget *> before = view->findChildren<QWidget *>();
        const FolderItemPtr first = f->folder;
        f->state.addFolders({QUrl::fromLocalFile(m_tree.makeDir(QStringLiteral("Second Folder")) + u'/')});
        const FolderItemPtr second = f->state.folders().constLast();
        first->setCustomPrompt(QStringLiteral("first only"));

        f->state.selectFolder(second->id(), false);
        f->panel.syncWithSelection();
        QCOMPARE(view->folder(), second.get());
        QCOMPARE(view->nameLabel()->text(), QStringLiteral("Second Folder"));
        QVERIFY(view->editor()->toPlainText().isEmpty());
        // The undo history belongs to the folder it was typed for.
        QVERIFY(!view->editor()->document()->isUndoAvailable());
        second->setIconState(IconState::applied());
        second->setIconState(IconState::failed(QStringLiteral("Rate limited")));
        QCOMPARE(view->errorText(), QStringLiteral("Rate limited"));
        QCOMPARE(view->findChildren<QWidget *>(), before);

        // A folder changed after it was left alone no longer reaches the panel.
        first->setIconState(IconState::failed(QStringLiteral("HTTP 401")));
        QCOMPARE(view->errorText(), QStringLiteral("Rate limited"));

        // Two selected: the batch panel; back to one: the prompt section starts expanded again.
        view->setPromptExpanded(false);
        f->state.selectFolder(first->id(), true);
        f->panel.syncWithSelection();
        QCOMPARE(f->panel.currentWidget(), f->panel.multiSelectInspector());
        f->state.selectFolder(first->id(), false);
        f->panel.syncWithSelection();
        QCOMPARE(f->panel.currentWidget(), view);
        QVERIFY(view->isPromptExpanded());
        QCOMPARE(view->editor()->toPlainText(), QStringLiteral("first only"));
    }

    void earlierImagesAreChosenByKeyboard()
    {
        auto f = makeFixture(QStringLiteral("Music"));
        HistoryStrip *strip = f->view()->historyStrip();
        QVERIFY(strip->isHidden());
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::red)));
        generate(*f);
        const IconImage first = f->folder->generatedImage();
        m_server.setDefaultReply(FakeReply::image(solidPicture(Qt::blue)));
        generate(*f);
        const IconImage second = f->folder->generatedImage();

        QTRY_COMPARE(strip->thumbnails().size(), 1);
        QVERIFY(strip->isVisible());
        QWidget *thumbnail = strip->thumbnails().constFirst();
        QVERIFY(thumbnail->toolTip().startsWith(QStringLiteral("Generated ")));
        QVERIFY(thumbnail->toolTip().endsWith(QStringLiteral(" with openai/gpt-5.4-image-2")));
        QCOMPARE(thumbnail->focusPolicy(), Qt::StrongFocus);
        saveScreenshot(&f->panel, QStringLiteral("inspector_history"));

        f->folder->setIconState(IconState::applied());
        thumbnail->setFocus();
        QTest::keyClick(thumbnail, Qt::Key_Return);
        QTRY_COMPARE(f->folder->generatedImage(), first);
        QCOMPARE(f->folder->iconState(), IconState::generated());
        QCOMPARE(f->folder->history().size(), 1);
        QCOMPARE(f->folder->history().constFirst().image, second);
        // The strip now offers the other one, and the keyboard stays in it.
        QTRY_COMPARE(strip->thumbnails().size(), 1);
        QTRY_VERIFY(strip->thumbnails().constFirst()->hasFocus());
    }

    void longNamesElideInTheMiddle()
    {
        const QString name = QStringLiteral("A very long folder name that goes on and on past the panel edge");
        auto f = makeFixture(name);
        QTRY_VERIFY(f->view()->nameLabel()->width() > 0);
        const QString shown = f->view()->nameLabel()->displayedText();
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(shown.startsWith(QStringLiteral("A very")));
        QVERIFY(shown.endsWith(QString::number(m_folderSerial)));
        QVERIFY(f->view()->width() <= 320);
        f->view()->setPromptExpanded(false);
        saveScreenshot(&f->panel, QStringLiteral("inspector_long_name_collapsed"));
    }
};

QTEST_MAIN(TestFolderInspector)
#include "tst_folder_inspector.moc"
