#pragma once

#include <QCache>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

class AppState;
class FolderItem;

/// @brief The multi-selection's folder list: one painted row per folder (thumbnail, name, status).
///
/// No widget per row: the list is as tall as its rows and paints only the rows inside the exposed
/// area, so a thousand folders cost no more to show than ten. Thumbnails are scaled once per image.
class SelectedFoldersList final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelectedFoldersList)

public:
    static constexpr int RowHeight = 34; // 24 thumbnail + 5 above and below

    /// What the status column shows for a folder.
    enum class Status { placeholder, generating, generated, applied, failed };

    explicit SelectedFoldersList(AppState *state, QWidget *parent = nullptr);

    void setFolders(const QList<FolderItem *> &folders);
    int rowCount() const { return int(m_folders.size()); }
    FolderItem *folderAt(int row) const;
    static Status statusOf(const FolderItem &folder);
    /// The rows that intersect `area` (widget coordinates), as [first, last]; empty when none.
    std::pair<int, int> rowsIn(const QRect &area) const;

    /// Call when any shown folder's state or image changed; runs the spinner while one generates.
    void foldersChanged(bool anyGenerating);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QPixmap thumbnail(const FolderItem &folder, qreal dpr);

    AppState *m_state;
    QList<QPointer<FolderItem>> m_folders;
    QCache<qint64, QPixmap> m_thumbnails{512};
};
