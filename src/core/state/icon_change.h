#pragma once

#include "models/folder_item.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUndoCommand>

class AppState;

/// @brief The undo step of applying or resetting folder icons: undone, each folder shows again what
/// it showed before (an earlier icon of ours applied again, or none of ours); redone, what it showed after.
///
/// The disk work goes through AppState's worker like any apply or reset, in order with it. The step holds
/// the images themselves (an earlier image not read yet by its file), so one that has left the folder's
/// history since is applied again all the same, and comes back into the history; their files stay for as
/// long as the step is on the stack.
class IconChange final : public QUndoCommand
{
    Q_DECLARE_TR_FUNCTIONS(IconChange)

public:
    /// One folder's icon before and after: the image of ours it showed, none for none.
    struct Shown
    {
        FolderItemPtr folder;
        IconHistoryEntry before;
        IconHistoryEntry after;
    };

    /// Pushed once the change is made: the first redo does nothing.
    IconChange(const QString &text, AppState *state, const QList<Shown> &folders);

    /// The folders whose icons the step changes.
    QList<FolderItemPtr> folders() const;
    /// The images the step can apply again, before and after, none left out.
    QList<IconHistoryEntry> images() const;
    /// Points the images it knows by their file alone where `moved` says those files are now.
    void followFiles(const std::function<QString(const QString &)> &moved);

    void redo() override;
    void undo() override;

private:
    QPointer<AppState> m_state;
    QList<Shown> m_folders;
    bool m_done = true;
};
