#pragma once

#include "models/folder_item.h"

#include <QCoreApplication>
#include <QUndoCommand>

/// @brief The undo step of a folder's current image changing (a finished generation, an earlier
/// image chosen): undone, the image before is current again and the other one stays in the history.
///
/// The step holds both images, so an image that has left the folder's history since (pushed out by
/// newer ones) comes back with it; their files stay for as long as the step is on the stack.
class ImageChoice final : public QUndoCommand
{
    Q_DECLARE_TR_FUNCTIONS(ImageChoice)

public:
    /// Recorded after the change: `before` is the image (none for none) and state the folder had; the
    /// folder's current image and state are the ones after.
    ImageChoice(const QString &text, const FolderItemPtr &folder, const IconHistoryEntry &before,
                const IconState &beforeState);

    /// The images the step can bring back: the one before and the one after.
    QList<IconHistoryEntry> images() const { return {m_before, m_after}; }
    /// Points the images it knows by their file alone where `moved` says those files are now.
    void followFiles(const std::function<QString(const QString &)> &moved)
    {
        m_before.followFile(moved);
        m_after.followFile(moved);
    }

    void redo() override;
    void undo() override;

private:
    void show(const IconHistoryEntry &image, const IconState &state);

    FolderItemPtr m_folder;
    IconHistoryEntry m_before;
    IconState m_beforeState;
    IconHistoryEntry m_after;
    IconState m_afterState;
    bool m_done = true;
};
