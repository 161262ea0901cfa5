#include "shell/main_window.h"

#include "design/tokens.h"
#include "grid/folder_grid_view.h"
#include "inspector/inspector_panel.h"
#include "onboarding/onboarding_sheet.h"
#include "shell/app_commands.h"
#include "shell/content_view.h"
#include "shell/desktop_announcer.h"
#include "shell/tavrune_toolbar.h"
#include "state/app_state.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

#include <QPalette>
#include <QStackedWidget>

MainWindow::MainWindow(AppState *state, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
{
    Tokens::registerFonts();
    setWindowTitle(QStringLiteral("Tavrune"));
    setMinimumSize(Tokens::WindowMinWidth, Tokens::WindowMinHeight);
    resize(Tokens::WindowWidth, Tokens::WindowHeight);
    // The toolbar cannot be hidden from a context menu: its items are part of the window.
    setContextMenuPolicy(Qt::NoContextMenu);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, Tokens::windowBackground());
    setPalette(pal);
    setAutoFillBackground(true);

    m_commands = new AppCommands(state, this);
    m_toolbar = new TavruneToolbar(state, this);
    addToolBar(Qt::TopToolBarArea, m_toolbar);
    m_content = new ContentView(state, this);
    setCentralWidget(m_content);

    // The areas of the window made elsewhere are plugged in here.
    m_content->setGridView(new FolderGridView(state));
    QStackedWidget *slot = m_content->inspectorSlot();
    slot->setCurrentIndex(slot->addWidget(new InspectorPanel(state)));
    new OnboardingPresenter(state, this);
    m_announcer = new DesktopAnnouncer(state, this);
}

MainWindow::~MainWindow() = default;

bool MainWindow::confirmQuit()
{
    const int running = m_state->runningGenerationCount();
    if (running == 0)
        return true;
    const bool agreed = m_quitConfirmation ? m_quitConfirmation(running) : [this, running] {
        QMessageBox box(QMessageBox::Question, windowTitle(),
                        running == 1 ? tr("Stop 1 generation and quit?") : tr("Stop %n generations and quit?", nullptr, running),
                        QMessageBox::NoButton, this);
        box.setInformativeText(tr("Their folders keep the icons they had before."));
        QPushButton *quit = box.addButton(tr("Stop and Quit"), QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(quit);
        box.exec();
        return box.clickedButton() == quit;
    }();
    if (!agreed)
        return false;
    // Generations that ended while the question was up need no stopping.
    m_state->stopGenerating(true);
    return true;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!confirmQuit()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}
