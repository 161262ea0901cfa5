#pragma once

#include <QColor>
#include <QMatrix4x4>
#include <QQuaternion>
#include <QVector3D>

#include <array>
#include <optional>
#include <vector>

class QRandomGenerator;

/// @brief The launch screen's drifting field of translucent shapes, as plain data.
///
/// buildScene() draws every random value once; the poses at any moment are pure functions of the
/// scene and the time since the splash appeared. The Qt 3D renderer and the painted stand-in both
/// draw from this one description, so they show the same arrangement, and tests check it without
/// rendering anything.
///
/// Conventions: scene units, angles in radians, times in seconds. The camera looks down −z from
/// +z; +y is up. Euler angles (x, y, z) apply roll about z first, then yaw about y, then pitch
/// about x (see rotationFromEuler()).
namespace SplashScene {

enum class ShapeKind { roundedBox, sphere, cylinder, torus };

/// One template shape. Only the fields of its kind are meaningful.
struct Shape
{
    ShapeKind kind = ShapeKind::roundedBox;
    QVector3D boxSize;           ///< roundedBox: width, height, length
    float chamferRadius = 0.0f;  ///< roundedBox: radius of the rounded edges
    float radius = 0.0f;         ///< sphere and cylinder
    float height = 0.0f;         ///< cylinder, along its local y axis
    float ringRadius = 0.0f;     ///< torus: centre of the ring to the centre of the pipe, in the xz plane
    float pipeRadius = 0.0f;     ///< torus
};

/// Colours are linear 0..1 components. `transparency` is the opacity the material draws with
/// (1 is opaque), multiplied by the node's fade-in opacity.
struct Material
{
    QColor diffuse;
    QColor specular;
    float shininess = 0.0f;
    float roughness = 0.0f;
    float metalness = 0.0f;
    float transparency = 1.0f;
};

struct Light
{
    enum class Type { ambient, directional };
    Type type = Type::ambient;
    QColor colour;
    /// Light output where 1000 is a light's default strength; none means the default.
    std::optional<float> intensity;
    /// Orientation of a directional light, which shines along its local −z axis.
    QVector3D eulerAngles;
};

struct Camera
{
    float fieldOfViewDegrees = 50.0f; ///< vertical
    float nearPlane = 0.1f;
    float farPlane = 200.0f;
    QVector3D position{0.0f, 0.0f, 30.0f};
    /// Endless drift: by `drift` over `driftSeconds`, back over as long, repeated.
    QVector3D drift{0.5f, 0.3f, 0.0f};
    double driftSeconds = 8.0;
};

struct Node
{
    int shapeIndex = 0; ///< into Scene::shapes
    Material material;  ///< the template material with this node's own transparency
    float scale = 1.0f;
    QVector3D position;
    QVector3D eulerAngles;
    /// Endless spin: a full turn about `spinAxis` (not normalised; parent space) every `spinSeconds`.
    QVector3D spinAxis;
    double spinSeconds = 20.0;
    /// Endless bob: up by `bobDistance` over `bobSeconds`, down again over as long.
    float bobDistance = 1.0f;
    double bobSeconds = 10.0;
    /// Fade-in, once: invisible until `fadeDelay`, then linearly opaque over `fadeSeconds`.
    double fadeDelay = 0.0;
    double fadeSeconds = 1.5;
};

struct Scene
{
    Camera camera;
    std::array<Light, 3> lights; ///< fill (ambient), key and warm (directional)
    std::array<Shape, 5> shapes;
    Material material; ///< the template every node's material copies
    std::vector<Node> nodes;
};

/// A new random arrangement: 28 nodes, node i showing shape i mod 5. Every random value is drawn
/// uniformly from its interval, independently, from `random`.
Scene buildScene(QRandomGenerator &random);

/// Where a node is at `seconds` after the splash appeared.
struct Pose
{
    QVector3D position;
    QQuaternion rotation;
    float scale = 1.0f;
    float opacity = 0.0f; ///< the fade-in alone; the material's transparency is separate
    /// Model matrix: translate · rotate · scale.
    QMatrix4x4 transform() const;
};
Pose poseAt(const Node &node, double seconds);
QVector3D cameraPositionAt(const Camera &camera, double seconds);
/// Camera's view and projection for a viewport of the given aspect ratio (width / height).
QMatrix4x4 viewMatrix(const Camera &camera, double seconds);
QMatrix4x4 projectionMatrix(const Camera &camera, float aspectRatio);

/// Rotation from Euler angles as described above: R = Rx(x) · Ry(y) · Rz(z).
QQuaternion rotationFromEuler(const QVector3D &angles);
/// Direction a directional light shines in (unit length, world space).
QVector3D lightDirection(const Light &light);

/// 0 at t = 0, 1 at t = period, 0 again at 2·period, linear in between: the back-and-forth of the
/// drift and the bob.
double triangleWave(double seconds, double period);

} // namespace SplashScene
