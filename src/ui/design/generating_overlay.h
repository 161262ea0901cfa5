#pragma once

#include <QRectF>
#include <QWidget>

class QPainter;

/// @brief The animation shown on an icon while it is being generated: a rotating ring of blurred
/// crescents whose colours swing back and forth, under the word "Generating" with a pulse running
/// through its letters.
///
/// A pure function of time: callers pass how long the overlay has been showing and repaint while
/// it shows. The blurred crescents are rendered once per size and colour phase and only rotated
/// and blended at paint time.
namespace GeneratingOverlay {

/// Paints the overlay centred in `area`; its scale is the smaller of the area's sides.
void paint(QPainter &p, const QRectF &area, double seconds);

/// Angle of the crescents in degrees: 90 at first, one turn every 2 seconds.
double rotationDegrees(double seconds);
/// 0 for the violet colours, 1 for the crimson ones; eases back and forth once a second.
double colourPhase(double seconds);
/// How far letter `index` is into its pulse (0 dim and small, 1 bright and large).
double letterWave(int index, double seconds);

} // namespace GeneratingOverlay

/// @brief A widget showing the generating overlay, animating itself while visible.
class GeneratingOverlayWidget final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GeneratingOverlayWidget)

public:
    explicit GeneratingOverlayWidget(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    double m_shownAt = 0.0;
};
