#include "state/folder_removal.h"

#include "state/app_state.h"

FolderRemoval::FolderRemoval(AppState *state, const QSet<QUuid> &ids)
    : m_state(state)
{
    const QList<FolderItemPtr> folders = state->folders();
    for (qsizetype i = 0; i < folders.size(); ++i) {
        if (ids.contains(folders.at(i)->id()))
            m_removed.append(Removed{i, folders.at(i)});
    }
    for (const QUuid &id : state->selectedFolderIDs()) {
        if (ids.contains(id))
            m_selection.insert(id);
    }
    if (m_removed.size() == 1)
        setText(tr("Remove “%1”").arg(m_removed.constFirst().item->name()));
    else
        setText(tr("Remove %n Folders", nullptr, int(m_removed.size())));
}

QList<FolderItemPtr> FolderRemoval::folders() const
{
    QList<FolderItemPtr> result;
    result.reserve(m_removed.size());
    for (const Removed &removed : m_removed)
        result.append(removed.item);
    return result;
}

void FolderRemoval::redo()
{
    if (!m_state)
        return;
    QSet<QUuid> ids;
    for (const Removed &removed : std::as_const(m_removed))
        ids.insert(removed.item->id());
    QList<FolderItemPtr> folders = m_state->folders();
    folders.removeIf([&ids](const FolderItemPtr &item) { return ids.contains(item->id()); });
    QSet<QUuid> selection = m_state->selectedFolderIDs();
    selection.subtract(ids);
    m_state->replaceFolders(folders, selection);
}

void FolderRemoval::undo()
{
    if (!m_state)
        return;
    QList<FolderItemPtr> folders = m_state->folders();
    QSet<QUrl> listed;
    for (const FolderItemPtr &item : std::as_const(folders))
        listed.insert(item->url());
    QSet<QUuid> selection = m_state->selectedFolderIDs();
    // In list order, each at its old position: the ones before it are back already.
    for (const Removed &removed : std::as_const(m_removed)) {
        // Added again since: the list never holds a folder twice, and the newer record stays.
        if (listed.contains(removed.item->url()))
            continue;
        folders.insert(std::min(removed.position, folders.size()), removed.item);
        if (m_selection.contains(removed.item->id()))
            selection.insert(removed.item->id());
    }
    m_state->replaceFolders(folders, selection);
}
