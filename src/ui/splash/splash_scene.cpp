#include "splash/splash_scene.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace SplashScene {
namespace {

constexpr double twoPi = 2.0 * std::numbers::pi;
constexpr int nodeCount = 28;

double uniform(QRandomGenerator &random, double low, double high)
{
    return low + (high - low) * random.generateDouble();
}

float uniformF(QRandomGenerator &random, double low, double high)
{
    return float(uniform(random, low, high));
}

QColor linear(float r, float g, float b, float a = 1.0f)
{
    return QColor::fromRgbF(r, g, b, a);
}

Shape roundedBox(float side, float chamfer)
{
    Shape shape;
    shape.kind = ShapeKind::roundedBox;
    shape.boxSize = QVector3D(side, side, side);
    shape.chamferRadius = chamfer;
    return shape;
}

} // namespace

Scene buildScene(QRandomGenerator &random)
{
    Scene scene;

    scene.lights[0] = {Light::Type::ambient, linear(0.08f, 0.08f, 0.08f), std::nullopt, {}};
    scene.lights[1] = {Light::Type::directional, linear(0.42f, 0.36f, 0.91f), 200.0f,
                       QVector3D(float(-std::numbers::pi / 4), float(std::numbers::pi / 6), 0.0f)};
    scene.lights[2] = {Light::Type::directional, linear(0.9f, 0.7f, 0.5f), 60.0f,
                       QVector3D(float(std::numbers::pi / 6), float(-std::numbers::pi / 4), 0.0f)};

    scene.shapes[0] = roundedBox(1.0f, 0.1f);
    scene.shapes[1].kind = ShapeKind::sphere;
    scene.shapes[1].radius = 0.5f;
    scene.shapes[2] = roundedBox(0.7f, 0.35f);
    scene.shapes[3].kind = ShapeKind::cylinder;
    scene.shapes[3].radius = 0.3f;
    scene.shapes[3].height = 1.0f;
    scene.shapes[4].kind = ShapeKind::torus;
    scene.shapes[4].ringRadius = 0.5f;
    scene.shapes[4].pipeRadius = 0.12f;

    scene.material.diffuse = linear(0.12f, 0.12f, 0.12f);
    scene.material.specular = linear(0.42f, 0.36f, 0.91f);
    scene.material.shininess = 0.4f;
    scene.material.roughness = 0.7f;
    scene.material.metalness = 0.3f;
    scene.material.transparency = 0.6f;

    scene.nodes.reserve(nodeCount);
    for (int i = 0; i < nodeCount; ++i) {
        Node node;
        node.shapeIndex = i % int(scene.shapes.size());
        node.material = scene.material;
        node.material.transparency = uniformF(random, 0.3, 0.7);
        node.scale = uniformF(random, 0.3, 1.2);
        const float x = uniformF(random, -35, 35);
        const float y = uniformF(random, -21, 21);
        const float z = uniformF(random, -20, 5);
        node.position = QVector3D(x, y, z);
        const float pitch = uniformF(random, 0, twoPi);
        const float yaw = uniformF(random, 0, twoPi);
        const float roll = uniformF(random, 0, twoPi);
        node.eulerAngles = QVector3D(pitch, yaw, roll);
        const float ax = uniformF(random, -1, 1);
        const float ay = uniformF(random, -1, 1);
        const float az = uniformF(random, -1, 1);
        node.spinAxis = QVector3D(ax, ay, az);
        node.spinSeconds = uniform(random, 12, 30);
        node.bobDistance = uniformF(random, 0.5, 2.0);
        node.bobSeconds = uniform(random, 6, 14);
        node.fadeDelay = uniform(random, 0, 1.5);
        node.fadeSeconds = 1.5;
        scene.nodes.push_back(node);
    }
    return scene;
}

double triangleWave(double seconds, double period)
{
    if (period <= 0.0 || seconds <= 0.0)
        return 0.0;
    const double phase = std::fmod(seconds, 2.0 * period) / period; // 0..2
    return phase <= 1.0 ? phase : 2.0 - phase;
}

QQuaternion rotationFromEuler(const QVector3D &angles)
{
    constexpr float toDegrees = float(180.0 / std::numbers::pi);
    return QQuaternion::fromAxisAndAngle(1, 0, 0, angles.x() * toDegrees)
           * QQuaternion::fromAxisAndAngle(0, 1, 0, angles.y() * toDegrees)
           * QQuaternion::fromAxisAndAngle(0, 0, 1, angles.z() * toDegrees);
}

QVector3D lightDirection(const Light &light)
{
    return rotationFromEuler(light.eulerAngles).rotatedVector(QVector3D(0, 0, -1)).normalized();
}

QMatrix4x4 Pose::transform() const
{
    QMatrix4x4 m;
    m.translate(position);
    m.rotate(rotation);
    m.scale(scale);
    return m;
}

Pose poseAt(const Node &node, double seconds)
{
    const double t = std::max(0.0, seconds);
    Pose pose;
    pose.scale = node.scale;
    pose.position = node.position + QVector3D(0, node.bobDistance * float(triangleWave(t, node.bobSeconds)), 0);

    QVector3D axis = node.spinAxis;
    if (axis.lengthSquared() < 1e-12f)
        axis = QVector3D(0, 1, 0);
    const double turn = node.spinSeconds > 0.0 ? std::fmod(t, node.spinSeconds) / node.spinSeconds : 0.0;
    const QQuaternion spin = QQuaternion::fromAxisAndAngle(axis.normalized(), float(turn * 360.0));
    pose.rotation = (spin * rotationFromEuler(node.eulerAngles)).normalized();

    const double fade = node.fadeSeconds > 0.0 ? (t - node.fadeDelay) / node.fadeSeconds : (t >= node.fadeDelay ? 1 : 0);
    pose.opacity = float(std::clamp(fade, 0.0, 1.0));
    return pose;
}

QVector3D cameraPositionAt(const Camera &camera, double seconds)
{
    return camera.position + camera.drift * float(triangleWave(std::max(0.0, seconds), camera.driftSeconds));
}

QMatrix4x4 viewMatrix(const Camera &camera, double seconds)
{
    const QVector3D eye = cameraPositionAt(camera, seconds);
    QMatrix4x4 view;
    view.lookAt(eye, eye + QVector3D(0, 0, -1), QVector3D(0, 1, 0));
    return view;
}

QMatrix4x4 projectionMatrix(const Camera &camera, float aspectRatio)
{
    QMatrix4x4 projection;
    projection.perspective(camera.fieldOfViewDegrees, aspectRatio > 0 ? aspectRatio : 1.0f, camera.nearPlane,
                           camera.farPlane);
    return projection;
}

} // namespace SplashScene
