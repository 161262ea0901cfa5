#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

/// @brief The small indeterminate progress spinner, painted (rows of the folder list paint it directly).
namespace BusySpinner {
/// Twelve fading spokes turning once a second; `seconds` is any monotonic time.
void paint(QPainter &p, const QRectF &square, double seconds, const QColor &colour);
} // namespace BusySpinner

/// @brief The spinner as a widget: animates through the window's clock only while visible.
class BusySpinnerWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BusySpinnerWidget)

public:
    explicit BusySpinnerWidget(int edge, QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    int m_edge;
};
