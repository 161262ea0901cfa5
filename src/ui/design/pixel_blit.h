#pragma once

#include <QPointF>

class QPainter;
class QPixmap;

/// @brief Draws cached pixmaps as plain copies onto whole device pixels.
///
/// A pixmap made at the painter's pixel ratio still goes through the raster engine's scaling
/// routines when drawn the ordinary way: the device transform scales by the ratio, so anything but
/// exactly 1× or 2× is "scaled", and with smooth pixmap transformation on even an unscaled 1× draw
/// takes the filtered path that fetches, interpolates and blends pixel by pixel. Drawn here, in
/// device space, the same picture is a straight blend of rows, at any ratio.
namespace PixelBlit {

/// Draws `pixmap` unscaled with its top-left at `topLeft` (logical coordinates), snapped to the
/// nearest device pixel. Under a rotation, or a scale other than the pixmap's ratio (a card
/// growing on hover), it falls back to QPainter's own drawing.
void draw(QPainter &p, const QPointF &topLeft, const QPixmap &pixmap);

} // namespace PixelBlit
