#include "shell/app_commands.h"
#include "shell/batch_confirmation.h"

#include "session/session_store.h"
#include "shell/main_window.h"
#include "state/app_state.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>

AppCommands::AppCommands(AppState *state, QMainWindow *window)
    : QObject(window)
    , m_state(state)
    , m_window(window)
{
    build();
    // Large batches are asked about over this window; a window gone by then starts nothing.
    QPointer<QMainWindow> owner(window);
    state->setBatchConfirmer([state, owner](const AppState::BatchEstimate &estimate) {
        return owner && BatchConfirmation::ask(state, estimate, owner);
    });
    connect(state, &AppState::asksBeforeLargeBatchesChanged, this, &AppCommands::updateEnabling);

    connect(state, &AppState::selectedFolderIDsChanged, this, [this] {
        watchSelectedFolders();
        updateEnabling();
    });
    connect(state, &AppState::foldersChanged, this, [this] {
        watchSelectedFolders();
        updateEnabling();
    });
    connect(state, &AppState::isInspectorVisibleChanged, this, &AppCommands::updateEnabling);
    connect(state, &AppState::useFastModelChanged, this, &AppCommands::updateEnabling);
    connect(state, &AppState::isWatchingRootChanged, this, &AppCommands::updateEnabling);
    connect(state, &AppState::generationProgressChanged, this, &AppCommands::updateEnabling);
    watchSelectedFolders();
    updateEnabling();
    qApp->installEventFilter(this);
}

AppCommands::~AppCommands() = default;

void AppCommands::bindSessionStore(SessionStore *store)
{
    QAction *remember = action(Command::rememberFolders);
    remember->setEnabled(store != nullptr);
    if (!store)
        return;
    remember->setChecked(store->isRememberingFolders());
    connect(remember, &QAction::triggered, store, &SessionStore::setRememberingFolders);
    connect(store, &SessionStore::isRememberingFoldersChanged, remember,
            [remember, store] { remember->setChecked(store->isRememberingFolders()); });
}

bool AppCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != m_window || !isTextWidget(widget))
        return false;
    // Backspace and Delete edit text with any modifier, and an edited text undoes its own typing:
    // a text widget being edited keeps them.
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete || key->matches(QKeySequence::Undo)
        || key->matches(QKeySequence::Redo) || key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y)) {
        const bool readOnly = widget->property("readOnly").toBool();
        if (!readOnly)
            key->accept();
    }
    return false;
}

QAction *AppCommands::add(QMenu *menu, Command command, const QString &text)
{
    auto *action = new QAction(text, m_window);
    // Window-wide, so shortcuts work wherever the focus is inside the window (a menu bar's actions
    // would otherwise only be reachable while the bar is visible).
    action->setShortcutContext(Qt::WindowShortcut);
    menu->addAction(action);
    m_window->addAction(action);
    m_actions.insert(command, action);
    return action;
}

void AppCommands::build()
{
    AppState *state = m_state;
    QMenuBar *bar = m_window->menuBar();

    m_file = bar->addMenu(tr("&File"));
    add(m_file, Command::addFolders, tr("Add Folders..."))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    add(m_file, Command::removeSelectedFolders, tr("Remove Selected Folders"))
        ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Backspace), QKeySequence(Qt::Key_Delete)});
    m_file->addSeparator();
    QAction *watch = add(m_file, Command::autoTavruneDesktop, tr("Auto-Tavrune New Folders on Desktop"));
    watch->setCheckable(true);
    QAction *remember = add(m_file, Command::rememberFolders, tr("Remember Folders Between Sessions"));
    remember->setCheckable(true);
    remember->setEnabled(false);
    QAction *ask = add(m_file, Command::askBeforeLargeBatches, tr("Ask Before Regenerating More Than 10 Icons"));
    ask->setCheckable(true);
    m_file->addSeparator();
    add(m_file, Command::quit, tr("Quit"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    action(Command::quit)->setMenuRole(QAction::QuitRole);

    m_edit = bar->addMenu(tr("&Edit"));
    // The stack's actions name their step ("Undo Remove 3 Folders") and follow what can be undone.
    QAction *undo = state->undoStack()->createUndoAction(m_window, tr("Undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction *redo = state->undoStack()->createRedoAction(m_window, tr("Redo"));
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    for (auto [command, action] : {std::pair{Command::undo, undo}, std::pair{Command::redo, redo}}) {
        action->setShortcutContext(Qt::WindowShortcut);
        m_edit->addAction(action);
        m_window->addAction(action);
        m_actions.insert(command, action);
    }
    m_edit->addSeparator();
    add(m_edit, Command::cut, tr("Cut"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    add(m_edit, Command::copy, tr("Copy"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    add(m_edit, Command::paste, tr("Paste"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    m_edit->addSeparator();
    add(m_edit, Command::selectAll, tr("Select All"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    // Ctrl+Alt+A belongs to screenshot tools on many Linux desktops; Ctrl+Shift+A is the usual pair.
    add(m_edit, Command::deselectAll, tr("Deselect All"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));

    m_view = bar->addMenu(tr("&View"));
    add(m_view, Command::gridView, tr("Grid View"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    add(m_view, Command::listView, tr("List View"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    m_view->addSeparator();
    add(m_view, Command::toggleInspector, tr("Hide Inspector"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_I));

    m_generate = bar->addMenu(tr("&Generate"));
    QAction *fast = add(m_generate, Command::fastMode, tr("Fast Mode (Gemini \u2014 seconds per icon)"));
    fast->setCheckable(true);
    fast->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    m_generate->addSeparator();
    add(m_generate, Command::regenerateSelected, tr("Regenerate Selected"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    add(m_generate, Command::regenerateAll, tr("Regenerate All"))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    add(m_generate, Command::stopGenerating, tr("Stop Generating"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Period));
    m_generate->addSeparator();
    // Return and the keypad's Enter are the same key to users.
    add(m_generate, Command::applyIcons, tr("Apply Icons to Folders"))
        ->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    m_generate->addSeparator();
    add(m_generate, Command::apiKeySettings, tr("API Key Settings..."))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    action(Command::apiKeySettings)->setMenuRole(QAction::NoRole);

    const auto on = [this](Command c, auto &&slot) { connect(action(c), &QAction::triggered, this, slot); };
    on(Command::addFolders, [state] { state->showOpenPanel(); });
    on(Command::removeSelectedFolders, [state] { state->removeSelectedFolders(); });
    on(Command::autoTavruneDesktop, [state](bool checked) { state->setWatchingRoot(checked); });
    on(Command::askBeforeLargeBatches, [state](bool checked) { state->setAsksBeforeLargeBatches(checked); });
    on(Command::quit, [this] {
        auto *window = qobject_cast<MainWindow *>(m_window);
        if (!window || window->confirmQuit())
            QCoreApplication::quit();
    });
    on(Command::cut, [this] { sendToFocusedText("cut"); });
    on(Command::copy, [this] { sendToFocusedText("copy"); });
    on(Command::paste, [this] { sendToFocusedText("paste"); });
    on(Command::selectAll, [this] { selectAll(); });
    on(Command::deselectAll, [state] { state->deselectAll(); });
    on(Command::gridView, [state] { state->setViewMode(ViewMode::grid); });
    on(Command::listView, [state] { state->setViewMode(ViewMode::list); });
    on(Command::toggleInspector, [state] { state->setInspectorVisible(!state->isInspectorVisible()); });
    on(Command::fastMode, [state](bool checked) { state->setUseFastModel(checked); });
    // The workflows run on their own and report through toasts; the futures are not awaited here.
    on(Command::regenerateSelected, [state] { state->generateSelectedIcons(); });
    on(Command::regenerateAll, [state] { state->regenerateAll(); });
    on(Command::applyIcons, [state] { state->applySelectedIcons(); });
    on(Command::apiKeySettings, [state] { state->setShowOnboarding(true); });
    on(Command::stopGenerating, [state] { state->stopGenerating(); });
}

void AppCommands::updateEnabling()
{
    if (!m_state)
        return;
    const bool hasSelection = !m_state->selectedFolderIDs().isEmpty();
    action(Command::removeSelectedFolders)->setEnabled(hasSelection);
    action(Command::deselectAll)->setEnabled(hasSelection);
    action(Command::regenerateSelected)->setEnabled(hasSelection);
    action(Command::regenerateAll)->setEnabled(!m_state->folders().isEmpty());
    action(Command::toggleInspector)->setText(m_state->isInspectorVisible() ? tr("Hide Inspector")
                                                                            : tr("Show Inspector"));
    action(Command::autoTavruneDesktop)->setChecked(m_state->isWatchingRoot());
    action(Command::fastMode)->setChecked(m_state->useFastModel());
    action(Command::stopGenerating)->setEnabled(m_state->runningGenerationCount() > 0);
    action(Command::askBeforeLargeBatches)->setChecked(m_state->asksBeforeLargeBatches());
    updateApplyEnabling();
}

void AppCommands::updateApplyEnabling()
{
    if (!m_state)
        return;
    const QList<FolderItemPtr> selected = m_state->selectedFolders();
    const bool anyImage = std::any_of(selected.begin(), selected.end(),
                                      [](const FolderItemPtr &f) { return !f->generatedImage().isNull(); });
    action(Command::applyIcons)->setEnabled(anyImage);
}

void AppCommands::watchSelectedFolders()
{
    // Only the selected folders can change the Apply item, so only they are watched.
    delete m_selectionWatch;
    m_selectionWatch = new QObject(this);
    if (!m_state)
        return;
    for (const FolderItemPtr &folder : m_state->selectedFolders())
        connect(folder.get(), &FolderItem::generatedImageChanged, m_selectionWatch, [this] { updateApplyEnabling(); });
}

bool AppCommands::isTextWidget(const QWidget *widget)
{
    if (!widget)
        return false;
    if (qobject_cast<const QLineEdit *>(widget) || qobject_cast<const QTextEdit *>(widget)
        || qobject_cast<const QPlainTextEdit *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget))
        return true;
    const auto *combo = qobject_cast<const QComboBox *>(widget);
    return combo && combo->isEditable();
}

bool AppCommands::sendToFocusedText(const char *slot) const
{
    QWidget *focus = m_window->focusWidget();
    if (!isTextWidget(focus))
        return false;
    if (auto *combo = qobject_cast<QComboBox *>(focus))
        focus = combo->lineEdit();
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(focus)) {
        // Spin boxes expose only selectAll; their line edit does the rest.
        if (qstrcmp(slot, "selectAll") == 0)
            return QMetaObject::invokeMethod(spin, slot);
        focus = spin->findChild<QLineEdit *>();
    }
    return focus && QMetaObject::invokeMethod(focus, slot);
}

void AppCommands::selectAll()
{
    if (sendToFocusedText("selectAll"))
        return;
    if (m_state)
        m_state->selectAll();
}
