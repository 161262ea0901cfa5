#include "state/prompt_edit.h"

PromptEdit::PromptEdit(const QString &text, const FolderItemPtr &folder, const QString &before)
    : QUndoCommand(text)
    , m_folder(folder)
    , m_before(before)
    , m_after(folder->customPrompt())
{
}

void PromptEdit::redo()
{
    // Pushed once the edit is made: the first redo has nothing to do.
    if (m_done)
        return;
    m_done = true;
    m_folder->setCustomPrompt(m_after);
}

void PromptEdit::undo()
{
    m_done = false;
    m_folder->setCustomPrompt(m_before);
}
