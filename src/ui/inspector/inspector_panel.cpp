#include "inspector/inspector_panel.h"

#include "design/accessible_widgets.h"
#include "design/tokens.h"
#include "inspector/folder_inspector_view.h"
#include "inspector/multi_select_inspector_view.h"
#include "state/app_state.h"

#include <QPainter>

InspectorPanel::InspectorPanel(AppState *state, QWidget *parent)
    : QStackedWidget(parent)
    , m_state(state)
    , m_empty(new QWidget(this))
    , m_single(new FolderInspectorView(state, this))
    , m_multi(new MultiSelectInspectorView(state, this))
{
    AccessibleWidgets::install();
    addWidget(m_empty);
    addWidget(m_single);
    addWidget(m_multi);
    connect(m_state, &AppState::selectedFolderIDsChanged, this, &InspectorPanel::scheduleSync);
    connect(m_state, &AppState::foldersChanged, this, &InspectorPanel::scheduleSync);
    syncWithSelection();
}

void InspectorPanel::scheduleSync()
{
    if (m_syncPending)
        return;
    m_syncPending = true;
    QMetaObject::invokeMethod(this, &InspectorPanel::syncWithSelection, Qt::QueuedConnection);
}

void InspectorPanel::syncWithSelection()
{
    m_syncPending = false;
    const QList<FolderItemPtr> selected = m_state->selectedFolders();
    QWidget *const previous = currentWidget();
    if (selected.size() == 1) {
        m_single->setFolder(selected.constFirst().get());
        if (previous != m_single)
            m_single->resetForNewPresentation();
        setCurrentWidget(m_single);
        m_multi->setFolders({});
    } else if (selected.size() > 1) {
        QList<FolderItem *> folders;
        folders.reserve(selected.size());
        for (const FolderItemPtr &folder : selected)
            folders.append(folder.get());
        // Shown first, then filled: a hidden scroll area defers its content's relayout, and the
        // list's new height would be laid out late.
        setCurrentWidget(m_multi);
        m_multi->setFolders(folders);
        if (previous != m_multi)
            m_multi->resetForNewPresentation();
        m_single->setFolder(nullptr);
    } else {
        setCurrentWidget(m_empty);
        m_single->setFolder(nullptr);
        m_multi->setFolders({});
    }
}

void InspectorPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Tokens::panelBackground());
}
