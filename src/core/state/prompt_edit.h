#pragma once

#include "models/folder_item.h"

#include <QUndoCommand>

/// @brief The undo step of a committed prompt edit: undone, the folder has the prompt it had before
/// (and with it the manual or automatic mode, which follows the text).
class PromptEdit final : public QUndoCommand
{
public:
    /// Recorded after the edit: `before` is the prompt the folder had, its current one is the one after.
    PromptEdit(const QString &text, const FolderItemPtr &folder, const QString &before);

    void redo() override;
    void undo() override;

private:
    FolderItemPtr m_folder;
    QString m_before;
    QString m_after;
    bool m_done = true;
};
