#pragma once

#include "splash/splash_scene.h"

#include <QPointF>

class QPainter;
class QRectF;

namespace SplashScene {

/// @brief Paints the scene without a GPU: each node is ray-marched on the CPU into a small sprite
/// (only the pixels its bounds cover, at most a few thousand per node) and the sprites are laid
/// back to front over what is already in `viewport`.
///
/// Same camera, poses, lights and material as the 3D renderer, so the field looks the same where
/// no OpenGL context can be made. Nothing but the shapes is drawn: the background stays as it is.
/// Shading is Blinn-Phong in linear light, written out as sRGB; every shape is as opaque as its
/// material's transparency times its fade-in, with anti-aliased silhouettes.
void paintStandIn(QPainter &p, const QRectF &viewport, const Scene &scene, double seconds);

/// Where the centre of `node` lands in `viewport` at `seconds`, and how far it is from the camera;
/// none when it is behind the camera. For tests and for sorting.
struct Projected
{
    QPointF centre;
    float depth = 0.0f;
};
std::optional<Projected> projectNode(const QRectF &viewport, const Scene &scene, const Node &node,
                                     double seconds);

} // namespace SplashScene
