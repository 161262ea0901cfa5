#pragma once

#include <QPointer>
#include <QWidget>

class AppState;
class FolderItem;
class QGridLayout;

/// @brief The folder's earlier images under the inspector's preview: choosing one (click, Return or
/// Space) makes it the folder's current image again. Hidden while there is none to show.
class HistoryStrip final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HistoryStrip)

public:
    explicit HistoryStrip(AppState *state, QWidget *parent = nullptr);

    void setFolder(FolderItem *folder);
    /// The thumbnails shown, in history order (newest first); for tests.
    QList<QWidget *> thumbnails() const { return m_thumbnails; }

private:
    void rebuild();

    AppState *m_state;
    QPointer<FolderItem> m_folder;
    QGridLayout *m_grid = nullptr;
    QList<QWidget *> m_thumbnails;
};
