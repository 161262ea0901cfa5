#pragma once

#include "models/folder_item.h"

#include <QCoreApplication>
#include <QUndoCommand>

/// @brief The undo step of a folder's current image changing (a finished generation, an earlier
/// image chosen): undone, the image before is current again and the other one stays in the history.
class ImageChoice final : public QUndoCommand
{
    Q_DECLARE_TR_FUNCTIONS(ImageChoice)

public:
    /// Recorded after the change: `before` is the image (cacheKey, 0 for none) and state the folder
    /// had; the folder's current image and state are the ones after.
    ImageChoice(const QString &text, const FolderItemPtr &folder, qint64 before, const IconState &beforeState);

    void redo() override;
    void undo() override;

private:
    void show(qint64 key, const IconState &state);

    FolderItemPtr m_folder;
    qint64 m_before;
    IconState m_beforeState;
    qint64 m_after;
    IconState m_afterState;
    bool m_done = true;
};
