#include "design/tokens.h"
#include "fake_open_router.h"
#include "fake_picture.h"
#include "keys/keychain_service.h"
#include "shell/app_commands.h"
#include "shell/batch_confirmation.h"
#include "shell/content_view.h"
#include "shell/main_window.h"
#include "shell/tavrune_toolbar.h"
#include "design/pill_picker.h"
#include "inspector/panel_widgets.h"
#include "inspector/folder_inspector_view.h"
#include "inspector/prompt_editor.h"
#include "state/app_state.h"
#include "desktop/folder_icon_service.h"
#include "settled.h"
#include "screenshot.h"
#include "temp_tree.h"

#include <QAction>
#include <QBuffer>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QCheckBox>
#include <QSettings>
#include <QStackedWidget>
#include <QtTest>

using Command = AppCommands::Command;

namespace {
QStringList itemTexts(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}
} // namespace

/// Menus, shortcuts and toolbar of the window, driven against a real AppState with real folders.
class TestShellCommands final : public QObject
{
    Q_OBJECT

    TempTree m_tree;
    QList<QUrl> m_folderUrls;

    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_window;

    QAction *action(Command c) const { return m_window->commands()->action(c); }
    void addFolders(int count)
    {
        m_state->addFolders(m_folderUrls.mid(0, count));
        QCOMPARE(m_state->folders().size(), count);
    }
    /// A text editor inside the window (where the inspector's fields live), focused. Both kinds are
    /// there: QLineEdit for single lines, QPlainTextEdit for the prompt editors.
    template <typename Editor>
    Editor *focusedEditor(const QString &text)
    {
        auto *edit = new Editor(text, m_window->contentView()->inspectorSlot());
        m_window->contentView()->inspectorSlot()->addWidget(edit);
        m_window->contentView()->inspectorSlot()->setCurrentWidget(edit);
        m_state->setInspectorVisible(true);
        edit->setFocus();
        if (!QTest::qWaitFor([edit] { return edit->hasFocus(); }))
            qWarning("editor did not take the focus");
        return edit;
    }

private Q_SLOTS:
    void initTestCase()
    {
        Tokens::registerFonts();
        // A stored key keeps the onboarding flag down; one test below removes it.
        QVERIFY(KeychainService::shared().save(QStringLiteral("sk-test")));
        for (const char *name : {"Alpha", "Beta", "Gamma"})
            m_folderUrls.append(QUrl::fromLocalFile(m_tree.makeDir(QString::fromLatin1(name)) + QLatin1Char('/')));
    }

    void init()
    {
        m_state = std::make_unique<AppState>();
        m_window = std::make_unique<MainWindow>(m_state.get());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup()
    {
        // The two preferences persist: every test starts from their defaults.
        m_state->setUseFastModel(false);
        m_state->setWatchingRoot(false);
        m_window.reset();
        m_state.reset();
    }

    void menusHoldEveryItemInOrder()
    {
        QStringList titles;
        for (const QAction *menu : m_window->menuBar()->actions())
            titles.append(menu->text().remove(QLatin1Char('&')));
        QCOMPARE(titles, QStringList({"File", "Edit", "View", "Generate"}));

        const AppCommands *c = m_window->commands();
        QCOMPARE(itemTexts(c->fileMenu()), QStringList({"Add Folders...", "Remove Selected Folders", "-",
                                                         "Auto-Tavrune New Folders on Desktop",
                                                         "Remember Folders Between Sessions",
                                                         "Ask Before Regenerating More Than 10 Icons", "-", "Quit"}));
        QCOMPARE(itemTexts(c->editMenu()), QStringList({"Undo", "Redo", "-", "Cut", "Copy", "Paste", "-", "Select All", "Deselect All"}));
        QCOMPARE(itemTexts(c->viewMenu()), QStringList({"Grid View", "List View", "-", "Hide Inspector"}));
        QCOMPARE(itemTexts(c->generateMenu()),
                 QStringList({QStringLiteral("Fast Mode (Gemini \u2014 seconds per icon)"), "-", "Regenerate Selected",
                              "Regenerate All", "Stop Generating", "-", "Apply Icons to Folders", "-",
                              "API Key Settings..."}));
    }

    void itemsCarryLinuxShortcuts_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("shortcuts");
        QTest::newRow("add") << Command::addFolders << "Ctrl+O";
        QTest::newRow("remove") << Command::removeSelectedFolders << "Ctrl+Backspace; Del";
        QTest::newRow("quit") << Command::quit << "Ctrl+Q";
        QTest::newRow("undo") << Command::undo << "Ctrl+Z";
        QTest::newRow("redo") << Command::redo << "Ctrl+Shift+Z; Ctrl+Y";
        QTest::newRow("stop generating") << Command::stopGenerating << "Ctrl+.";
        QTest::newRow("select all") << Command::selectAll << "Ctrl+A";
        QTest::newRow("deselect all") << Command::deselectAll << "Ctrl+Shift+A";
        QTest::newRow("grid") << Command::gridView << "Ctrl+1";
        QTest::newRow("list") << Command::listView << "Ctrl+2";
        QTest::newRow("inspector") << Command::toggleInspector << "Ctrl+Alt+I";
        QTest::newRow("fast") << Command::fastMode << "Ctrl+Shift+F";
        QTest::newRow("regenerate selected") << Command::regenerateSelected << "Ctrl+R";
        QTest::newRow("regenerate all") << Command::regenerateAll << "Ctrl+Shift+R";
        QTest::newRow("apply") << Command::applyIcons << "Ctrl+Return; Ctrl+Enter";
        QTest::newRow("api key") << Command::apiKeySettings << "Ctrl+,";
    }
    void itemsCarryLinuxShortcuts()
    {
        QFETCH(Command, command);
        QFETCH(QString, shortcuts);
        QCOMPARE(QKeySequence::listToString(action(command)->shortcuts(), QKeySequence::PortableText), shortcuts);
    }

    void enablingFollowsFoldersSelectionAndImages()
    {
        const auto enabled = [this](Command c) { return action(c)->isEnabled(); };
        TavruneToolbar *toolbar = m_window->toolbar();
        // Nothing listed: only what needs no folder is available.
        for (Command c : {Command::removeSelectedFolders, Command::deselectAll, Command::regenerateSelected,
                          Command::regenerateAll, Command::applyIcons})
            QVERIFY(!enabled(c));
        for (Command c : {Command::addFolders, Command::gridView, Command::listView, Command::toggleInspector,
                          Command::selectAll, Command::apiKeySettings, Command::autoTavruneDesktop})
            QVERIFY(enabled(c));
        QVERIFY(!toolbar->regenerateAllButton()->isEnabled());
        QVERIFY(toolbar->addFolderButton()->isEnabled());
        QVERIFY(toolbar->viewModePicker()->isEnabled());

        addFolders(3);
        QVERIFY(enabled(Command::regenerateAll));
        QVERIFY(toolbar->regenerateAllButton()->isEnabled());
        QVERIFY(!enabled(Command::regenerateSelected));

        const QList<FolderItemPtr> folders = m_state->folders();
        m_state->setSelectedFolderIDs({folders[0]->id(), folders[1]->id()});
        QVERIFY(enabled(Command::removeSelectedFolders) && enabled(Command::deselectAll)
                && enabled(Command::regenerateSelected));
        QVERIFY(!enabled(Command::applyIcons)); // selected, but no image yet

        // An image arriving on a selected folder enables Apply; one on an unselected folder does not.
        folders[2]->setGeneratedImage(IconImage{fakePicture(QStringLiteral("c")), {}});
        QVERIFY(!enabled(Command::applyIcons));
        folders[1]->setGeneratedImage(IconImage{fakePicture(QStringLiteral("b")), {}});
        QVERIFY(enabled(Command::applyIcons));
        m_state->setSelectedFolderIDs({folders[0]->id()});
        QVERIFY(!enabled(Command::applyIcons));
        m_state->setSelectedFolderIDs({folders[0]->id(), folders[2]->id()});
        QVERIFY(enabled(Command::applyIcons));

        m_state->deselectAll();
        QVERIFY(!enabled(Command::removeSelectedFolders) && !enabled(Command::applyIcons));
    }

    void inspectorItemNamesWhatItWillDo()
    {
        QAction *toggle = action(Command::toggleInspector);
        QCOMPARE(toggle->text(), QStringLiteral("Hide Inspector"));
        toggle->trigger();
        QVERIFY(!m_state->isInspectorVisible());
        QCOMPARE(toggle->text(), QStringLiteral("Show Inspector"));
        QVERIFY(!m_window->toolbar()->inspectorToggle()->isChecked());
        m_window->toolbar()->inspectorToggle()->click();
        QVERIFY(m_state->isInspectorVisible());
        QCOMPARE(toggle->text(), QStringLiteral("Hide Inspector"));
    }

    void regenerateAllRunDisablesOnlyTheToolbarButton()
    {
        FakeOpenRouter server;
        server.setGenerator([](const QString &, const QString &prompt) {
            return FakeReply::image(fakePicture(prompt)).after(std::chrono::milliseconds(300));
        });
        qputenv("TAVRUNE_OPENROUTER_URL", server.baseUrl().toUtf8());
        addFolders(2);
        action(Command::regenerateAll)->trigger();
        QVERIFY(m_state->isRegeneratingAll());
        QVERIFY(!m_window->toolbar()->regenerateAllButton()->isEnabled());
        QVERIFY(action(Command::regenerateAll)->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m_state->isRegeneratingAll(), 20000);
        QVERIFY(m_window->toolbar()->regenerateAllButton()->isEnabled());
        for (const FolderItemPtr &folder : m_state->folders()) // the flag stays up until the last is done
            QCOMPARE(folder->iconState(), IconState::generated());
    }

    void largeBatchesAreAskedAboutFirst_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<Command>("command");
        QTest::addColumn<QString>("answer"); // "" when nothing is asked
        QTest::newRow("10: no question") << 10 << Command::regenerateAll << QString();
        QTest::newRow("11 all: cancel") << 11 << Command::regenerateAll << QStringLiteral("cancel");
        QTest::newRow("11 all: escape") << 11 << Command::regenerateAll << QStringLiteral("escape");
        QTest::newRow("11 selected: go") << 11 << Command::regenerateSelected << QStringLiteral("go");
        QTest::newRow("11 all: go, never again") << 11 << Command::regenerateAll << QStringLiteral("never");
    }
    void largeBatchesAreAskedAboutFirst()
    {
        QFETCH(int, count);
        QFETCH(Command, command);
        QFETCH(QString, answer);
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i)
            urls.append(QUrl::fromLocalFile(m_tree.makeDir(QStringLiteral("Batch %1").arg(i)) + QLatin1Char('/')));
        m_state->addFolders(urls);
        m_state->selectAll();
        m_state->setAsksBeforeLargeBatches(true);

        QString asked;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<BatchConfirmation *>(QApplication::activeModalWidget());
            if (!box)
                return;
            asked = box->text() + u'|' + box->regenerateButton()->text() + u'|' + box->cancelButton()->text();
            saveScreenshot(box, QStringLiteral("batch_confirmation"));
            if (answer == QLatin1String("escape"))
                QTest::keyClick(box, Qt::Key_Escape);
            else if (answer == QLatin1String("cancel"))
                box->cancelButton()->click();
            else {
                box->doNotAskBox()->setChecked(answer == QLatin1String("never"));
                box->regenerateButton()->click();
            }
        });
        action(command)->trigger();
        const bool goes = answer.isEmpty() || answer == QLatin1String("go") || answer == QLatin1String("never");
        if (answer.isEmpty())
            QVERIFY(asked.isEmpty());
        else
            QCOMPARE(asked, QStringLiteral("Regenerate 11 icons?|Regenerate 11 Icons|Cancel"));
        // A started generation leaves its folder out of the placeholder state, however it ends (the
        // service may already point at a server an earlier test stopped).
        const auto started = [this] {
            const QList<FolderItemPtr> folders = m_state->folders();
            return int(std::count_if(folders.cbegin(), folders.cend(), [](const FolderItemPtr &folder) {
                return !folder->iconState().is(IconState::Kind::placeholder);
            }));
        };
        QCOMPARE(started(), goes ? count : 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_state->isRegeneratingAll(), 20000);
        for (const FolderItemPtr &folder : m_state->folders())
            QTRY_VERIFY_WITH_TIMEOUT(!folder->iconState().is(IconState::Kind::generating), 20000);
        const bool stillAsks = answer != QLatin1String("never");
        QCOMPARE(m_state->asksBeforeLargeBatches(), stillAsks);
        QCOMPARE(QSettings(QStringLiteral("tavrune"), QStringLiteral("tavrune")).value(QStringLiteral("askBeforeLargeBatches"), true).toBool(),
                 stillAsks);
        QCOMPARE(action(Command::askBeforeLargeBatches)->isChecked(), stillAsks);
        if (!stillAsks) { // the File menu turns asking back on
            action(Command::askBeforeLargeBatches)->trigger();
            QVERIFY(m_state->asksBeforeLargeBatches());
        }
    }

    void shortcutsReachTheirOperations_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Ctrl+A selects every folder") << QKeySequence("Ctrl+A") << "selected 3";
        QTest::newRow("Ctrl+Shift+A deselects") << QKeySequence("Ctrl+Shift+A") << "selected 0";
        QTest::newRow("Delete removes") << QKeySequence(Qt::Key_Delete) << "folders 2";
        QTest::newRow("Ctrl+Backspace removes") << QKeySequence("Ctrl+Backspace") << "folders 2";
        QTest::newRow("Ctrl+2 lists") << QKeySequence("Ctrl+2") << "list";
        QTest::newRow("Ctrl+Alt+I hides the inspector") << QKeySequence("Ctrl+Alt+I") << "inspector off";
        QTest::newRow("Ctrl+Shift+F fast mode") << QKeySequence("Ctrl+Shift+F") << "fast";
        QTest::newRow("Ctrl+, opens the key sheet") << QKeySequence("Ctrl+,") << "onboarding";
    }
    void shortcutsReachTheirOperations()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, expected);
        addFolders(3);
        m_state->setSelectedFolderIDs({m_state->folders().at(1)->id()});
        QTest::keySequence(m_window.get(), keys);
        const QString outcome = expected.section(QLatin1Char(' '), 0, 0);
        if (outcome == QLatin1String("selected"))
            QCOMPARE(m_state->selectedFolderIDs().size(), expected.section(QLatin1Char(' '), 1).toInt());
        else if (outcome == QLatin1String("folders"))
            QCOMPARE(m_state->folders().size(), expected.section(QLatin1Char(' '), 1).toInt());
        else if (outcome == QLatin1String("list"))
            QCOMPARE(m_state->viewMode(), ViewMode::list);
        else if (outcome == QLatin1String("inspector"))
            QVERIFY(!m_state->isInspectorVisible());
        else if (outcome == QLatin1String("fast"))
            QVERIFY(m_state->useFastModel());
        else if (outcome == QLatin1String("onboarding"))
            QVERIFY(m_state->showOnboarding());
        else
            QFAIL("unknown expectation");
    }

    void addFoldersShortcutUsesTheChooser()
    {
        int asked = 0;
        m_state->setFolderChooser([&] {
            ++asked;
            return m_folderUrls.mid(0, 2);
        });
        QTest::keySequence(m_window.get(), QKeySequence("Ctrl+O"));
        QCOMPARE(asked, 1);
        QCOMPARE(m_state->folders().size(), 2);
        m_window->toolbar()->addFolderButton()->click();
        QCOMPARE(asked, 2);
    }

    void focusedTextKeepsItsEditingKeys_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("textAfter");
        QTest::newRow("Delete deletes a character") << QKeySequence(Qt::Key_Delete) << "prmpt";
        QTest::newRow("Ctrl+Backspace deletes a word") << QKeySequence("Ctrl+Backspace") << "ompt";
        QTest::newRow("Ctrl+A selects the text") << QKeySequence("Ctrl+A") << "prompt";
        QTest::newRow("Backspace deletes backwards") << QKeySequence(Qt::Key_Backspace) << "pompt";
    }
    void focusedTextKeepsItsEditingKeys()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, textAfter);
        addFolders(3);
        m_state->setSelectedFolderIDs({m_state->folders().at(0)->id()});
        auto *edit = focusedEditor<QLineEdit>(QStringLiteral("prompt"));
        edit->setCursorPosition(2);
        QTest::keySequence(edit, keys);
        QCOMPARE(edit->text(), textAfter);
        QCOMPARE(m_state->folders().size(), 3);
        QCOMPARE(m_state->selectedFolderIDs().size(), 1);
        if (keys == QKeySequence("Ctrl+A"))
            QCOMPARE(edit->selectedText(), QStringLiteral("prompt"));

        // The same in a multi-line editor.
        auto *plain = focusedEditor<QPlainTextEdit>(QStringLiteral("prompt"));
        QTextCursor cursor = plain->textCursor();
        cursor.setPosition(2);
        plain->setTextCursor(cursor);
        QTest::keySequence(plain, keys);
        QCOMPARE(plain->toPlainText(), textAfter);
        QCOMPARE(m_state->folders().size(), 3);
        QCOMPARE(m_state->selectedFolderIDs().size(), 1);
    }

    void undoBringsRemovedFoldersBackInPlace()
    {
        addFolders(3);
        const QList<FolderItemPtr> before = m_state->folders();
        before.at(0)->setCustomPrompt(QStringLiteral("kept"));
        QVERIFY(!action(Command::undo)->isEnabled());
        m_state->setSelectedFolderIDs({before.at(0)->id(), before.at(2)->id()});
        QTest::keySequence(m_window.get(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(m_state->folders(), QList<FolderItemPtr>{before.at(1)});
        QCOMPARE(action(Command::undo)->text(), QStringLiteral("Undo Remove 2 Folders"));
        QCOMPARE(m_state->heldFolders().size(), 2);

        // Ctrl+Z inside a text field undoes the typing, not the removal.
        auto *edit = focusedEditor<QLineEdit>(QString());
        QTest::keyClicks(edit, QStringLiteral("ab"));
        QTest::keySequence(edit, QKeySequence("Ctrl+Z"));
        QCOMPARE(edit->text(), QString());
        QCOMPARE(m_state->folders().size(), 1);

        m_window->contentView()->setFocus();
        QTest::keySequence(m_window.get(), QKeySequence("Ctrl+Z"));
        QCOMPARE(m_state->folders(), before); // the same records, at their positions
        QCOMPARE(m_state->selectedFolderIDs(), (QSet<QUuid>{before.at(0)->id(), before.at(2)->id()}));
        QCOMPARE(before.at(0)->customPrompt(), QStringLiteral("kept"));
        QCOMPARE(action(Command::redo)->text(), QStringLiteral("Redo Remove 2 Folders"));

        QTest::keySequence(m_window.get(), QKeySequence("Ctrl+Y"));
        QCOMPARE(m_state->folders().size(), 1);
        action(Command::undo)->trigger();
        QCOMPARE(m_state->folders(), before);

        // One folder names itself.
        m_state->removeFolder(before.at(1)->id());
        QCOMPARE(action(Command::undo)->text(), QStringLiteral("Undo Remove “Beta”"));
    }

    void undoAndRedoOfApplyAndResetThroughTheMenu()
    {
        addFolders(2);
        const QList<FolderItemPtr> folders = m_state->folders();
        for (const FolderItemPtr &folder : folders) {
            QImage picture = fakePicture(folder->name()).scaled(128, 128);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "PNG");
            folder->setGeneratedImage(IconImage(picture, png));
            folder->setIconState(IconState::generated());
        }
        const auto applied = [&folders](int i) { return FolderIconService::isIconApplied(folders.at(i)->url()); };
        m_state->selectAll();
        action(Command::applyIcons)->trigger();
        QTRY_COMPARE(action(Command::undo)->text(), QStringLiteral("Undo Apply 2 Icons"));
        QVERIFY(applied(0) && applied(1));

        // Neither showed an icon of ours before: undone, both are back to none.
        QTest::keySequence(m_window.get(), QKeySequence("Ctrl+Z"));
        QTRY_VERIFY(!applied(0) && !applied(1));
        QTRY_COMPARE(folders.at(1)->iconState(), IconState::generated());
        QCOMPARE(action(Command::redo)->text(), QStringLiteral("Redo Apply 2 Icons"));
        action(Command::redo)->trigger();
        QTRY_VERIFY(applied(0) && applied(1));
        QTRY_COMPARE(folders.at(0)->iconState(), IconState::applied());
        QTRY_COMPARE(folders.at(1)->iconState(), IconState::applied());

        QVERIFY(settled(m_state->resetIcon(folders.at(1)->id())));
        QVERIFY(!applied(1));
        QCOMPARE(action(Command::undo)->text(), QStringLiteral("Undo Reset Icon of “Beta”"));
        action(Command::undo)->trigger();
        QTRY_VERIFY(applied(1));
        QTRY_COMPARE(folders.at(1)->iconState(), IconState::applied());
        action(Command::redo)->trigger();
        QTRY_VERIFY(!applied(1));
        QVERIFY(settled(m_state->resetIcon(folders.at(0)->id()))); // the folders are shared with later tests
    }

    void committedPromptEditsUndoThroughTheEditMenu()
    {
        addFolders(2);
        const FolderItemPtr folder = m_state->folders().at(0);
        m_state->setSelectedFolderIDs({folder->id()});
        auto *inspector = m_window->findChild<FolderInspectorView *>();
        QVERIFY(inspector);
        QTRY_COMPARE(inspector->folder(), folder.get());
        PromptEditor *editor = inspector->editor();
        editor->setFocus();
        QTRY_VERIFY(editor->hasFocus());

        // While the field has the focus, Ctrl+Z undoes its typing and pushes no step.
        QTest::keyClicks(editor, QStringLiteral("x"));
        QTest::keySequence(editor, QKeySequence("Ctrl+Z"));
        QCOMPARE(folder->customPrompt(), QString());
        QTest::keyClicks(editor, QStringLiteral("a lighthouse"));
        QCOMPARE(folder->customPrompt(), QStringLiteral("a lighthouse"));
        QVERIFY(!action(Command::undo)->isEnabled());

        // Leaving the field commits the edit as one step.
        m_window->contentView()->setFocus();
        QTRY_VERIFY(!editor->hasFocus());
        QCOMPARE(action(Command::undo)->text(), QStringLiteral("Undo Edit Prompt of “Alpha”"));
        action(Command::undo)->trigger();
        QCOMPARE(folder->customPrompt(), QString());
        QCOMPARE(editor->toPlainText(), QString());
        QCOMPARE(inspector->modeText(), QStringLiteral("Mode: AUTO"));
        action(Command::redo)->trigger();
        QCOMPARE(folder->customPrompt(), QStringLiteral("a lighthouse"));
        QCOMPARE(inspector->modeText(), QStringLiteral("Mode: MANUAL"));

        // The mode button is a step of its own; an edit left pending commits when another folder is shown.
        QTest::mouseClick(inspector->modeButton(), Qt::LeftButton);
        QCOMPARE(folder->customPrompt(), QString());
        editor->setFocus();
        QTRY_VERIFY(editor->hasFocus());
        QTest::keyClicks(editor, QStringLiteral("a harbour"));
        m_state->setSelectedFolderIDs({m_state->folders().at(1)->id()});
        QTRY_COMPARE(inspector->folder(), m_state->folders().at(1).get());
        QCOMPARE(m_state->undoStack()->count(), 3);
        m_window->contentView()->setFocus();
        action(Command::undo)->trigger();
        QCOMPARE(folder->customPrompt(), QString());
        action(Command::undo)->trigger();
        QCOMPARE(folder->customPrompt(), QStringLiteral("a lighthouse"));
    }

    void shortcutsTextDoesNotWantStillWork()
    {
        auto *edit = focusedEditor<QLineEdit>(QStringLiteral("prompt"));
        QTest::keySequence(edit, QKeySequence("Ctrl+2"));
        QCOMPARE(m_state->viewMode(), ViewMode::list);
    }

    void selectAllItemPicksTextOrFolders()
    {
        addFolders(3);
        auto *edit = focusedEditor<QLineEdit>(QStringLiteral("prompt"));
        action(Command::selectAll)->trigger(); // as from the menu
        QCOMPARE(edit->selectedText(), QStringLiteral("prompt"));
        QVERIFY(m_state->selectedFolderIDs().isEmpty());

        auto *plain = focusedEditor<QPlainTextEdit>(QStringLiteral("two\nlines"));
        action(Command::selectAll)->trigger();
        QCOMPARE(plain->textCursor().selectedText().size(), QStringLiteral("two\nlines").size());
        QVERIFY(m_state->selectedFolderIDs().isEmpty());

        plain->clearFocus();
        m_window->toolbar()->setFocus();
        action(Command::selectAll)->trigger();
        QCOMPARE(m_state->selectedFolderIDs().size(), 3);
    }

    void cutCopyPasteGoToTheFocusedText()
    {
        auto *edit = focusedEditor<QLineEdit>(QStringLiteral("hello world"));
        edit->setSelection(0, 5);
        action(Command::copy)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello"));
        action(Command::cut)->trigger();
        QCOMPARE(edit->text(), QStringLiteral(" world"));
        edit->setCursorPosition(edit->text().size());
        action(Command::paste)->trigger();
        QCOMPARE(edit->text(), QStringLiteral(" worldhello"));

        // Without a text widget nothing happens (and nothing crashes).
        edit->clearFocus();
        m_window->toolbar()->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("kept"));
        action(Command::cut)->trigger();
        action(Command::paste)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("kept"));
        QCOMPARE(edit->text(), QStringLiteral(" worldhello"));
    }

    void togglesFollowThePreferences()
    {
        QAction *fast = action(Command::fastMode);
        QVERIFY(fast->isCheckable());
        const bool before = m_state->useFastModel(); // persisted by earlier tests
        QCOMPARE(fast->isChecked(), before);
        fast->trigger();
        QCOMPARE(m_state->useFastModel(), !before);
        m_state->setUseFastModel(before);
        QCOMPARE(fast->isChecked(), before);

        QAction *watch = action(Command::autoTavruneDesktop);
        QVERIFY(watch->isCheckable() && !watch->isChecked());
        m_state->setWatchingRoot(true);
        QVERIFY(watch->isChecked());
        watch->trigger();
        QVERIFY(!m_state->isWatchingRoot());
    }

    void toolbarItemsAreNamedAndExplained()
    {
        TavruneToolbar *t = m_window->toolbar();
        QCOMPARE(t->addFolderButton()->accessibleName(), QStringLiteral("Add Folder"));
        QCOMPARE(t->addFolderButton()->toolTip(), QStringLiteral("Add folders (Ctrl+O)"));
        QCOMPARE(t->viewModePicker()->toolTip(), QStringLiteral("Toggle view mode"));
        QVERIFY(!t->viewModePicker()->accessibleName().isEmpty());
        QCOMPARE(t->regenerateAllButton()->accessibleName(), QStringLiteral("Regenerate All"));
        QCOMPARE(t->regenerateAllButton()->toolTip(), QStringLiteral("Regenerate all icons (Ctrl+Shift+R)"));
        QCOMPARE(t->inspectorToggle()->accessibleName(), QStringLiteral("Inspector"));
        QCOMPARE(t->inspectorToggle()->toolTip(), QStringLiteral("Toggle inspector (Ctrl+Alt+I)"));

        // The four items sit at the trailing end, in order.
        const QList<QWidget *> items = {t->addFolderButton(), t->viewModePicker(), t->regenerateAllButton(),
                                        t->inspectorToggle()};
        int previousRight = 0;
        for (QWidget *item : items) {
            const QRect r(item->mapTo(m_window.get(), QPoint(0, 0)), item->size());
            QVERIFY(r.left() > previousRight);
            previousRight = r.right();
        }
        QVERIFY(previousRight > m_window->width() - 40);

        // The picker is bound both ways to the view mode.
        PillPicker *picker = t->viewModePicker();
        QTest::mouseClick(picker, Qt::LeftButton, {}, picker->optionRect(1).center().toPoint());
        QCOMPARE(m_state->viewMode(), ViewMode::list);
        m_state->setViewMode(ViewMode::grid);
        QCOMPARE(picker->currentIndex(), 0);
    }
};

QTEST_MAIN(TestShellCommands)
#include "tst_shell_commands.moc"
