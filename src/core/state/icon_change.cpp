#include "state/icon_change.h"

#include "state/app_state.h"

#include <utility>

IconChange::IconChange(const QString &text, AppState *state, const QList<Shown> &folders)
    : QUndoCommand(text)
    , m_state(state)
    , m_folders(folders)
{
}

QList<FolderItemPtr> IconChange::folders() const
{
    QList<FolderItemPtr> result;
    for (const Shown &shown : m_folders)
        result.append(shown.folder);
    return result;
}

QList<IconHistoryEntry> IconChange::images() const
{
    QList<IconHistoryEntry> result;
    for (const Shown &shown : m_folders) {
        for (const IconHistoryEntry &image : {shown.before, shown.after}) {
            if (!image.isNone())
                result.append(image);
        }
    }
    return result;
}

void IconChange::followFiles(const std::function<QString(const QString &)> &moved)
{
    for (Shown &shown : m_folders) {
        shown.before.followFile(moved);
        shown.after.followFile(moved);
    }
}

void IconChange::redo()
{
    if (std::exchange(m_done, true) || !m_state)
        return;
    QList<AppState::ShownIcon> icons;
    for (const Shown &shown : std::as_const(m_folders))
        icons.append({shown.folder, shown.after});
    m_state->showIcons(icons, tr("Couldn’t redo %1").arg(text()));
}

void IconChange::undo()
{
    m_done = false;
    if (!m_state)
        return;
    QList<AppState::ShownIcon> icons;
    for (const Shown &shown : std::as_const(m_folders))
        icons.append({shown.folder, shown.before});
    m_state->showIcons(icons, tr("Couldn’t undo %1").arg(text()));
}
