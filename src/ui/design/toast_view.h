#pragma once

#include "models/toast.h"

#include <QPixmap>
#include <QWidget>

/// @brief Paints one toast: the kind's symbol and the message on a dark capsule with a soft shadow.
///
/// The widget is larger than its capsule by the shadow's reach (shadowMargins()); whoever places it
/// aligns capsuleRect(). The message wraps to at most two lines within the width given by
/// setMaximumCapsuleWidth(), the second line elided. Transparent for the mouse: the toast never takes
/// a click from the grid beneath.
class ToastView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToastView)

public:
    explicit ToastView(QWidget *parent = nullptr);
    ~ToastView() override;

    void setToast(const Toast &toast);
    Toast toast() const { return m_toast; }
    /// The widest the capsule may grow (the window's width minus some margin).
    void setMaximumCapsuleWidth(int width);
    /// The whole view's opacity (the shell fades toasts in and out).
    void setOpacity(qreal opacity);
    qreal opacity() const { return m_opacity; }

    /// The message as drawn: at most two lines.
    QStringList displayedLines() const;
    /// The capsule inside the widget.
    QRectF capsuleRect() const;
    static QMargins shadowMargins();
    QSize sizeHint() const override;

    /// The symbol name drawn for a kind of toast.
    static QString symbolName(Toast::Kind kind);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void relayout();

    Toast m_toast;
    int m_maximumCapsuleWidth = 560;
    qreal m_opacity = 1.0;
    QStringList m_lines;
    QSizeF m_capsuleSize;
    QPixmap m_shadow; // the blurred capsule, made once per capsule size
};
