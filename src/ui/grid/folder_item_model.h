#pragma once

#include "models/folder_item.h"
#include "state/app_state.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>


/// @brief The folders the grid shows: which, in which order, their selection and the words
/// that describe them, read from the application state and kept in step with it.
///
/// The view paints from it, the controller selects through it and the accessibility interface
/// reads it to screen readers, so all three agree on what the grid holds.
class FolderItemModel final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FolderItemModel)

public:
    /// The columns of the list, as a screen reader reads its table.
    enum Column { nameColumn, categoryColumn, statusColumn, columnCount };

    explicit FolderItemModel(AppState *state, QObject *parent = nullptr);

    AppState *state() const { return m_state; }
    int count() const { return int(m_folders.size()); }
    bool isEmpty() const { return m_folders.isEmpty(); }
    const FolderItem &folder(int index) const { return *m_folders.at(index); }
    const FolderItemPtr &folderPtr(int index) const { return m_folders.at(index); }
    QUuid idAt(int index) const { return m_folders.at(index)->id(); }
    int indexOf(const QUuid &id) const { return m_indexOf.value(id, -1); }

    const QSet<QUuid> &selection() const { return m_selection; }
    bool isSelected(const QUuid &id) const { return m_selection.contains(id); }
    /// Asks the application state to select (or deselect) folder `index` alone among the others.
    void setSelected(int index, bool selected);
    void setSelection(const QSet<QUuid> &ids);

    /// The folder's state in words, as a screen reader says it ("Icon applied"); empty for a
    /// folder still showing its placeholder.
    static QString stateText(const IconState &state);
    /// The short status word of a list row ("Ready"), empty for a placeholder.
    static QString statusWord(IconState::Kind kind);
    /// The category and the state, read after the folder's name.
    QString description(int index) const;
    /// The text of a cell of the list read as a table.
    QString text(int index, Column column) const;
    static QString columnTitle(Column column);

Q_SIGNALS:
    /// The list changed: `removed` holds the rows the departed folders had, `inserted` the rows of
    /// the new ones; both in ascending order.
    void foldersChanged(const QList<int> &removed, const QList<int> &inserted);
    void selectionChanged(const QSet<QUuid> &before);
    void iconStateChanged(const QUuid &id);
    void imageChanged(const QUuid &id);
    void fileCountChanged(const QUuid &id);
    void categoryChanged(const QUuid &id);
    /// The folder was renamed: its card shows the new name.
    void nameChanged(const QUuid &id);

private:
    void sync();
    void connectFolder(const FolderItemPtr &folder);

    QPointer<AppState> m_state;
    QList<FolderItemPtr> m_folders;
    QHash<QUuid, int> m_indexOf;
    QHash<QUuid, QPointer<FolderItem>> m_connected;
    QSet<QUuid> m_selection;
};
