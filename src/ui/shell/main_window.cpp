#include "shell/main_window.h"

#include "design/tokens.h"
#include "grid/folder_grid_view.h"
#include "inspector/inspector_panel.h"
#include "onboarding/onboarding_sheet.h"
#include "shell/app_commands.h"
#include "shell/content_view.h"
#include "shell/tavrune_toolbar.h"

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
}

MainWindow::~MainWindow() = default;
