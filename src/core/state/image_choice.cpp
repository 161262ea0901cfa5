#include "state/image_choice.h"

ImageChoice::ImageChoice(const QString &text, const FolderItemPtr &folder, qint64 before, const IconState &beforeState)
    : QUndoCommand(text)
    , m_folder(folder)
    , m_before(before)
    , m_beforeState(beforeState)
    , m_after(folder->generatedImage().cacheKey())
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

void ImageChoice::show(qint64 key, const IconState &state)
{
    // A folder generating meanwhile keeps its state; its images still trade places.
    const bool generating = m_folder->iconState().is(IconState::Kind::generating);
    if (key == 0) {
        m_folder->makeCurrent(IconHistoryEntry{}); // the current one goes into the history
    } else if (m_folder->generatedImage().cacheKey() != key) {
        const QList<IconHistoryEntry> history = m_folder->history();
        for (qsizetype i = 0; i < history.size(); ++i) {
            if (history.at(i).image.cacheKey() == key) {
                m_folder->makeHistoryEntryCurrent(i);
                break;
            }
        }
    }
    if (!generating)
        m_folder->setIconState(m_folder->generatedImage().cacheKey() == key ? state : IconState::generated());
}
