#pragma once

#include "models/folder_item.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class AppState;

/// @brief The inspector's large icon: placeholder, generating overlay, the image, or the failure,
/// with the "Applied" capsule once the icon is on the folder.
///
/// Painted from the folder's live state; the image and placeholder shadows are blurred once and
/// kept until the image, theme or scale changes.
class IconPreviewView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IconPreviewView)

public:
    static constexpr qreal Edge = 120;
    static constexpr int AreaHeight = 180;

    /// What the preview currently shows.
    enum class Content { placeholder, generating, image, failed };

    explicit IconPreviewView(AppState *state, QWidget *parent = nullptr);

    void setFolder(FolderItem *folder);
    Content content() const;
    bool showsAppliedBadge() const;
    /// The icon square inside the widget.
    QRectF iconRect() const;

    /// Called by the inspector when the folder's state or image changed.
    void refresh();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void paintImage(QPainter &p, const QRectF &square);
    void paintPlaceholder(QPainter &p, const QRectF &square);
    void paintFailed(QPainter &p, const QRectF &square);
    void paintAppliedBadge(QPainter &p, const QRectF &square);

    AppState *m_state;
    QPointer<FolderItem> m_folder;
    bool m_generating = false;
    double m_generatingSince = 0;

    // The image scaled and clipped, and the shadows: made once, keyed by what they were made from.
    QImage m_clippedImage;
    QString m_clippedImageKey;
    QPixmap m_imageShadow;
    QString m_imageShadowKey;
    QPixmap m_placeholderShadow;
    QString m_placeholderShadowKey;
};
