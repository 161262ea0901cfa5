#pragma once

#include "models/folder_item.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSet>
#include <QUndoCommand>

class AppState;

/// @brief The undo step of removing folders from the list: undone, they come back at their
/// positions with everything they had (prompts, images, history, state) and their selection.
///
/// The step holds the records, so their files in the session stay for as long as it is on the stack.
class FolderRemoval final : public QUndoCommand
{
    Q_DECLARE_TR_FUNCTIONS(FolderRemoval)

public:
    FolderRemoval(AppState *state, const QSet<QUuid> &ids);

    /// The removed records, in list order.
    QList<FolderItemPtr> folders() const;
    qsizetype count() const { return m_removed.size(); }

    void redo() override;
    void undo() override;

private:
    struct Removed
    {
        qsizetype position = 0;
        FolderItemPtr item;
    };
    QPointer<AppState> m_state;
    QList<Removed> m_removed;
    QSet<QUuid> m_selection;
};
