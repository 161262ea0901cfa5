#include "state/image_choice.h"

ImageChoice::ImageChoice(const QString &text, const FolderItemPtr &folder, const IconHistoryEntry &before,
                         const IconState &beforeState)
    : QUndoCommand(text)
    , m_folder(folder)
    , m_before(before)
    , m_beforeState(beforeState)
    , m_after(folder->currentEntry())
    , m_afterState(folder->iconState())
{
}

void ImageChoice::redo()
{
    // Pushed once the change is made: the first redo has nothing to do.
    if (m_done)
        return;
    m_done = true;
    show(m_after, m_afterState);
}

void ImageChoice::undo()
{
    m_done = false;
    show(m_before, m_beforeState);
}

void ImageChoice::show(const IconHistoryEntry &image, const IconState &state)
{
    // A folder generating meanwhile keeps its state; its images still trade places.
    const bool generating = m_folder->iconState().is(IconState::Kind::generating);
    m_folder->restoreCurrent(image);
    const IconHistoryEntry current = m_folder->currentEntry();
    const bool shown = image.isNone() ? current.isNone() : current.isSameImage(image);
    if (!generating)
        m_folder->setIconState(shown ? state : IconState::generated());
}
