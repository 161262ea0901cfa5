#include "splash/splash_stand_in.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace SplashScene {
namespace {

// Sprites are computed at most this many samples across; a bigger shape (only near the camera on a
// large window) is computed coarser and scaled up, so a frame's cost stays bounded.
constexpr int MaxSpriteSamples = 56;
constexpr int MaxMarchSteps = 40;
// Brightens the scene's deliberately dim lights (a key of a fifth of a default light on a 12 %
// grey) so the shapes read against the near-black backdrop as they do on a calibrated display.
constexpr float Exposure = 2.2f;

struct Mat3
{
    float m[3][3];
    QVector3D map(const QVector3D &v) const
    {
        return {m[0][0] * v.x() + m[0][1] * v.y() + m[0][2] * v.z(),
                m[1][0] * v.x() + m[1][1] * v.y() + m[1][2] * v.z(),
                m[2][0] * v.x() + m[2][1] * v.y() + m[2][2] * v.z()};
    }
    Mat3 transposed() const
    {
        Mat3 t;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                t.m[r][c] = m[c][r];
        return t;
    }
};

Mat3 toMat3(const QQuaternion &q)
{
    const QMatrix3x3 r = q.toRotationMatrix();
    Mat3 out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out.m[row][col] = r(row, col);
    return out;
}

/// Signed distance from `p` (the shape's own space) to the shape's surface: exact for all four
/// kinds, so marching never overshoots.
float distanceTo(const Shape &shape, const QVector3D &p)
{
    switch (shape.kind) {
    case ShapeKind::roundedBox: {
        const float r = std::min(shape.chamferRadius, 0.5f * std::min({shape.boxSize.x(), shape.boxSize.y(),
                                                                        shape.boxSize.z()}));
        const float qx = std::abs(p.x()) - (0.5f * shape.boxSize.x() - r);
        const float qy = std::abs(p.y()) - (0.5f * shape.boxSize.y() - r);
        const float qz = std::abs(p.z()) - (0.5f * shape.boxSize.z() - r);
        const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f), oz = std::max(qz, 0.0f);
        return std::sqrt(ox * ox + oy * oy + oz * oz) + std::min(std::max({qx, qy, qz}), 0.0f) - r;
    }
    case ShapeKind::sphere:
        return p.length() - shape.radius;
    case ShapeKind::cylinder: {
        const float dx = std::sqrt(p.x() * p.x() + p.z() * p.z()) - shape.radius;
        const float dy = std::abs(p.y()) - 0.5f * shape.height;
        const float ox = std::max(dx, 0.0f), oy = std::max(dy, 0.0f);
        return std::min(std::max(dx, dy), 0.0f) + std::sqrt(ox * ox + oy * oy);
    }
    case ShapeKind::torus: {
        // (std::hypot guards against overflow these small numbers never reach, at several times the cost.)
        const float qx = std::sqrt(p.x() * p.x() + p.z() * p.z()) - shape.ringRadius;
        return std::sqrt(qx * qx + p.y() * p.y()) - shape.pipeRadius;
    }
    }
    return 1.0f;
}

float boundingRadius(const Shape &shape)
{
    switch (shape.kind) {
    case ShapeKind::roundedBox:
        return 0.5f * shape.boxSize.length();
    case ShapeKind::sphere:
        return shape.radius;
    case ShapeKind::cylinder:
        return std::hypot(shape.radius, 0.5f * shape.height);
    case ShapeKind::torus:
        return shape.ringRadius + shape.pipeRadius;
    }
    return 1.0f;
}

QVector3D surfaceNormal(const Shape &shape, const QVector3D &p)
{
    // Tetrahedral central differences: four distance look-ups instead of six.
    constexpr float h = 1e-3f;
    const QVector3D a(1, -1, -1), b(-1, -1, 1), c(-1, 1, -1), d(1, 1, 1);
    const QVector3D n = a * distanceTo(shape, p + a * h) + b * distanceTo(shape, p + b * h)
                        + c * distanceTo(shape, p + c * h) + d * distanceTo(shape, p + d * h);
    return n.normalized();
}

/// Linear light (0..1) to an 8-bit sRGB value, through a table: the conversion runs for every pixel.
quint8 toSrgb(float linear)
{
    static const std::array<quint8, 4097> table = [] {
        std::array<quint8, 4097> t{};
        for (size_t i = 0; i < t.size(); ++i) {
            const double l = double(i) / 4096.0;
            const double s = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
            t[i] = quint8(std::lround(std::clamp(s, 0.0, 1.0) * 255.0));
        }
        return t;
    }();
    return table[size_t(std::clamp(linear, 0.0f, 1.0f) * 4096.0f)];
}

QVector3D rgb(const QColor &c)
{
    return {float(c.redF()), float(c.greenF()), float(c.blueF())};
}

struct Lighting
{
    QVector3D ambient;        ///< already multiplied by the diffuse colour
    struct Directional
    {
        QVector3D towardLight;
        QVector3D colour;     ///< colour × strength
    };
    std::vector<Directional> lights;
    QVector3D diffuse;
    QVector3D specular;
    float specularExponent = 8.0f;
    float specularWeight = 0.4f;
};

Lighting lightingFor(const Scene &scene)
{
    Lighting l;
    const Material &m = scene.material;
    // Metals reflect less diffusely; the rough surface gets the broad highlight of the
    // Blinn-Phong lobe matching its roughness (exponent 2/α² − 2, α = roughness²), as strong as its
    // shininess.
    l.diffuse = rgb(m.diffuse) * (1.0f - std::clamp(m.metalness, 0.0f, 1.0f));
    l.specular = rgb(m.specular);
    const float alpha = std::max(0.05f, m.roughness * m.roughness);
    l.specularExponent = std::max(1.0f, 2.0f / (alpha * alpha) - 2.0f);
    l.specularWeight = m.shininess;
    for (const Light &light : scene.lights) {
        const float strength = light.intensity ? *light.intensity / 1000.0f : 1.0f;
        const QVector3D colour = rgb(light.colour) * strength;
        if (light.type == Light::Type::ambient)
            l.ambient += colour * rgb(m.diffuse);
        else
            l.lights.push_back({-lightDirection(light), colour});
    }
    return l;
}

struct Camera2D
{
    QRectF deviceViewport;
    float tanHalf = 0.0f;
    float aspect = 1.0f;
    QVector3D eye;
    QMatrix4x4 view;
    QMatrix4x4 viewProjection;

    QVector3D rayThrough(float deviceX, float deviceY) const
    {
        const float ndcX = float((deviceX - deviceViewport.left()) / deviceViewport.width()) * 2.0f - 1.0f;
        const float ndcY = 1.0f - float((deviceY - deviceViewport.top()) / deviceViewport.height()) * 2.0f;
        // The camera never turns, only moves: view space and world space share their axes.
        return QVector3D(ndcX * tanHalf * aspect, ndcY * tanHalf, -1.0f).normalized();
    }
};

struct Sprite
{
    QImage image;
    QRectF target; ///< logical coordinates
    float depth = 0.0f;
};

/// Ray-marches one node into a sprite covering its projected bounds (clipped to the viewport).
std::optional<Sprite> renderNode(const Scene &scene, const Node &node, double seconds, const Camera2D &cam,
                                 const Lighting &lighting, qreal dpr)
{
    if (node.shapeIndex < 0 || node.shapeIndex >= int(scene.shapes.size()))
        return std::nullopt;
    const Shape &shape = scene.shapes[size_t(node.shapeIndex)];
    const Pose pose = poseAt(node, seconds);
    const float alpha = std::clamp(node.material.transparency, 0.0f, 1.0f) * pose.opacity;
    if (alpha <= 0.002f || pose.scale <= 0.0f)
        return std::nullopt;

    const float bound = boundingRadius(shape);
    const QVector3D centreView = cam.view.map(pose.position);
    const float depth = -centreView.z();
    if (depth - bound * pose.scale <= scene.camera.nearPlane)
        return std::nullopt;
    const QRectF &vp = cam.deviceViewport;
    const QVector3D ndc = cam.viewProjection.map(pose.position);
    const QPointF centre(vp.left() + (ndc.x() + 1.0f) * 0.5f * vp.width(),
                         vp.top() + (1.0f - ndc.y()) * 0.5f * vp.height());
    const float pixelsPerUnit = float(vp.height()) * 0.5f / cam.tanHalf / depth;
    // Off-axis a sphere projects a little wider than on-axis: a margin covers it.
    const float radius = bound * pose.scale * pixelsPerUnit * 1.2f + 2.0f;
    const QRect bounds = QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius)
                             .toAlignedRect()
                             .intersected(vp.toAlignedRect());
    if (bounds.isEmpty())
        return std::nullopt;

    const float samplesPerPixel = std::min(1.0f, float(MaxSpriteSamples) / float(std::max(bounds.width(), bounds.height())));
    const int w = std::max(1, int(std::ceil(bounds.width() * samplesPerPixel)));
    const int h = std::max(1, int(std::ceil(bounds.height() * samplesPerPixel)));
    const float step = float(bounds.width()) / float(w); // device pixels per sample
    const float stepY = float(bounds.height()) / float(h);

    // Rays go into the shape's own space, where its distance function is defined at unit scale.
    const Mat3 rotation = toMat3(pose.rotation);
    const Mat3 inverse = rotation.transposed();
    const float invScale = 1.0f / pose.scale;
    const QVector3D origin = inverse.map(cam.eye - pose.position) * invScale;
    // One sample's footprint, in shape units per unit of distance along the ray.
    const float footprint = 2.0f * cam.tanHalf / float(vp.height()) * std::max(step, stepY);
    const float margin = footprint * depth * invScale * 1.5f;
    const float reach = bound + margin;
    const float originDot = QVector3D::dotProduct(origin, origin) - reach * reach;

    Sprite sprite;
    sprite.depth = depth;
    sprite.image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    sprite.image.fill(Qt::transparent);
    bool any = false;
    for (int sy = 0; sy < h; ++sy) {
        auto *line = reinterpret_cast<QRgb *>(sprite.image.scanLine(sy));
        const float deviceY = float(bounds.top()) + (float(sy) + 0.5f) * stepY;
        for (int sx = 0; sx < w; ++sx) {
            const float deviceX = float(bounds.left()) + (float(sx) + 0.5f) * step;
            const QVector3D rayWorld = cam.rayThrough(deviceX, deviceY);
            const QVector3D ray = inverse.map(rayWorld);
            const float b = QVector3D::dotProduct(origin, ray);
            const float disc = b * b - originDot;
            if (disc <= 0.0f)
                continue;
            const float root = std::sqrt(disc);
            float t = std::max(0.0f, -b - root);
            const float tEnd = -b + root;
            bool hit = false;
            float closest = 1e9f;
            float closestT = t;
            for (int i = 0; i < MaxMarchSteps && t <= tEnd; ++i) {
                const float d = distanceTo(shape, origin + ray * t);
                const float pixelSize = std::max(1e-6f, t * footprint);
                if (d < pixelSize * 0.05f) {
                    hit = true;
                    closestT = t;
                    break;
                }
                if (d / pixelSize < closest) {
                    closest = d / pixelSize;
                    closestT = t;
                }
                t += d;
            }
            // Samples that pass close to the surface are partly covered: that is the edge's anti-aliasing.
            const float coverage = hit ? 1.0f : std::clamp(0.6f - closest, 0.0f, 1.0f);
            if (coverage <= 0.0f)
                continue;
            const QVector3D n = rotation.map(surfaceNormal(shape, origin + ray * closestT));
            const QVector3D toEye = -rayWorld;
            QVector3D colour = lighting.ambient;
            for (const Lighting::Directional &light : lighting.lights) {
                const float lambert = QVector3D::dotProduct(n, light.towardLight);
                if (lambert <= 0.0f)
                    continue;
                const QVector3D half = (light.towardLight + toEye).normalized();
                const float highlight = std::pow(std::max(0.0f, QVector3D::dotProduct(n, half)),
                                                 lighting.specularExponent)
                                        * lighting.specularWeight;
                colour += light.colour * (lighting.diffuse * lambert + lighting.specular * highlight);
            }
            colour *= Exposure;
            const float a = alpha * coverage;
            line[sx] = qRgba(int(toSrgb(colour.x()) * a + 0.5f), int(toSrgb(colour.y()) * a + 0.5f),
                             int(toSrgb(colour.z()) * a + 0.5f), int(a * 255.0f + 0.5f));
            any = true;
        }
    }
    if (!any)
        return std::nullopt;
    sprite.target = QRectF(QPointF(bounds.topLeft()) / dpr, QSizeF(bounds.size()) / dpr);
    return sprite;
}

} // namespace

std::optional<Projected> projectNode(const QRectF &viewport, const Scene &scene, const Node &node, double seconds)
{
    const Pose pose = poseAt(node, seconds);
    const QMatrix4x4 view = viewMatrix(scene.camera, seconds);
    const QVector3D centreView = view.map(pose.position);
    if (-centreView.z() <= scene.camera.nearPlane)
        return std::nullopt;
    const float aspect = viewport.height() > 0 ? float(viewport.width() / viewport.height()) : 1.0f;
    const QVector3D ndc = projectionMatrix(scene.camera, aspect).map(centreView);
    return Projected{QPointF(viewport.left() + (ndc.x() + 1.0) * 0.5 * viewport.width(),
                             viewport.top() + (1.0 - ndc.y()) * 0.5 * viewport.height()),
                     -centreView.z()};
}

void paintStandIn(QPainter &p, const QRectF &viewport, const Scene &scene, double seconds)
{
    if (viewport.isEmpty() || scene.nodes.empty())
        return;
    const qreal dpr = p.device() ? p.device()->devicePixelRatioF() : 1.0;
    Camera2D cam;
    cam.deviceViewport = QRectF(viewport.topLeft() * dpr, viewport.size() * dpr);
    cam.tanHalf = float(std::tan(scene.camera.fieldOfViewDegrees * std::numbers::pi / 360.0));
    cam.aspect = float(viewport.width() / viewport.height());
    cam.eye = cameraPositionAt(scene.camera, seconds);
    cam.view = viewMatrix(scene.camera, seconds);
    cam.viewProjection = projectionMatrix(scene.camera, cam.aspect) * cam.view;
    const Lighting lighting = lightingFor(scene);

    std::vector<Sprite> sprites;
    sprites.reserve(scene.nodes.size());
    for (const Node &node : scene.nodes) {
        if (std::optional<Sprite> sprite = renderNode(scene, node, seconds, cam, lighting, dpr))
            sprites.push_back(std::move(*sprite));
    }
    // Translucent shapes blend correctly only from the farthest to the nearest.
    std::stable_sort(sprites.begin(), sprites.end(), [](const Sprite &a, const Sprite &b) { return a.depth > b.depth; });
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const Sprite &sprite : sprites)
        p.drawImage(sprite.target, sprite.image);
    p.restore();
}

} // namespace SplashScene
