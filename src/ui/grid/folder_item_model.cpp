#include "grid/folder_item_model.h"

#include "state/app_state.h"

#include <algorithm>

FolderItemModel::FolderItemModel(AppState *state, QObject *parent) : QObject(parent), m_state(state)
{
    if (m_state) {
        m_selection = m_state->selectedFolderIDs();
        connect(m_state, &AppState::foldersChanged, this, &FolderItemModel::sync);
        connect(m_state, &AppState::selectedFolderIDsChanged, this, [this] {
            const QSet<QUuid> before = std::exchange(m_selection, m_state->selectedFolderIDs());
            if (before != m_selection)
                Q_EMIT selectionChanged(before);
        });
    }
    sync();
}

void FolderItemModel::sync()
{
    const QList<FolderItemPtr> previous = m_folders;
    const QHash<QUuid, int> previousIndex = m_indexOf;
    m_folders = m_state ? m_state->folders() : QList<FolderItemPtr>();
    m_indexOf.clear();
    m_indexOf.reserve(m_folders.size());
    QList<int> inserted;
    for (int i = 0; i < m_folders.size(); ++i) {
        const QUuid id = m_folders.at(i)->id();
        m_indexOf.insert(id, i);
        if (!previousIndex.contains(id))
            inserted.append(i);
        if (!m_connected.contains(id))
            connectFolder(m_folders.at(i));
    }
    QList<int> removed;
    for (int i = 0; i < previous.size(); ++i) {
        if (!m_indexOf.contains(previous.at(i)->id()))
            removed.append(i);
    }
    for (auto it = m_connected.begin(); it != m_connected.end();) {
        if (m_indexOf.contains(it.key())) {
            ++it;
            continue;
        }
        // A removed folder may live on in a running generation: stop listening to it.
        if (it.value())
            disconnect(it.value(), nullptr, this, nullptr);
        it = m_connected.erase(it);
    }
    Q_EMIT foldersChanged(removed, inserted);
}

void FolderItemModel::connectFolder(const FolderItemPtr &folder)
{
    const QUuid id = folder->id();
    FolderItem *item = folder.get();
    m_connected.insert(id, item);
    connect(item, &FolderItem::iconStateChanged, this, [this, id] { Q_EMIT iconStateChanged(id); });
    connect(item, &FolderItem::generatedImageChanged, this, [this, id] { Q_EMIT imageChanged(id); });
    connect(item, &FolderItem::fileCountChanged, this, [this, id] { Q_EMIT fileCountChanged(id); });
    connect(item, &FolderItem::detectedCategoryChanged, this, [this, id] { Q_EMIT categoryChanged(id); });
    connect(item, &FolderItem::urlChanged, this, [this, id] { Q_EMIT nameChanged(id); });
}

void FolderItemModel::setSelected(int index, bool selected)
{
    if (index < 0 || index >= count())
        return;
    QSet<QUuid> ids = m_selection;
    if (selected)
        ids.insert(idAt(index));
    else
        ids.remove(idAt(index));
    setSelection(ids);
}

void FolderItemModel::setSelection(const QSet<QUuid> &ids)
{
    if (m_state && ids != m_selection)
        m_state->setSelectedFolderIDs(ids);
}

QString FolderItemModel::stateText(const IconState &state)
{
    switch (state.kind()) {
    case IconState::Kind::placeholder:
        break;
    case IconState::Kind::generating:
        return tr("Generating…");
    case IconState::Kind::generated:
        return tr("Icon generated, not applied yet");
    case IconState::Kind::applied:
        return tr("Icon applied");
    case IconState::Kind::failed:
        return tr("Failed: %1").arg(state.message());
    }
    return {};
}

QString FolderItemModel::statusWord(IconState::Kind kind)
{
    switch (kind) {
    case IconState::Kind::placeholder:
        break;
    case IconState::Kind::generating:
        return tr("Generating");
    case IconState::Kind::generated:
        return tr("Ready");
    case IconState::Kind::applied:
        return tr("Applied");
    case IconState::Kind::failed:
        return tr("Failed");
    }
    return {};
}

QString FolderItemModel::description(int index) const
{
    const FolderItem &item = folder(index);
    const QString category = displayName(item.detectedCategory());
    const QString state = stateText(item.iconState());
    return state.isEmpty() ? category : tr("%1, %2").arg(category, state);
}

QString FolderItemModel::text(int index, Column column) const
{
    if (index < 0 || index >= count())
        return {};
    const FolderItem &item = folder(index);
    switch (column) {
    case nameColumn:
        return item.name();
    case categoryColumn:
        return displayName(item.detectedCategory());
    case statusColumn:
        return stateText(item.iconState());
    case columnCount:
        break;
    }
    return {};
}

QString FolderItemModel::columnTitle(Column column)
{
    switch (column) {
    case nameColumn:
        return tr("Name");
    case categoryColumn:
        return tr("Category");
    case statusColumn:
        return tr("Status");
    case columnCount:
        break;
    }
    return {};
}
