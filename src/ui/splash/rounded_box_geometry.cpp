#include "splash/rounded_box_geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

/// Grid coordinates along one axis of half extent `half`, with the rounded bands of width
/// `radius` at both ends: the band points are spaced so the arc angles are even.
std::vector<float> axisCoordinates(float half, float radius, int segments)
{
    const float inner = half - radius;
    std::vector<float> band; // offsets beyond the inner box, 0 excluded, up to radius
    if (radius > 0.0f) {
        for (int k = 1; k <= segments; ++k) {
            // The face's half of the arc runs from 0° to 45°; tan keeps the angle steps even.
            const double angle = std::numbers::pi / 4.0 * k / segments;
            band.push_back(radius * float(std::tan(angle)));
        }
        band.back() = radius; // exact edge, whatever tan's rounding
    }
    std::vector<float> coords;
    for (auto it = band.rbegin(); it != band.rend(); ++it)
        coords.push_back(-inner - *it);
    coords.push_back(-inner);
    if (inner > 0.0f)
        coords.push_back(inner);
    for (float offset : band)
        coords.push_back(inner + offset);
    return coords;
}

} // namespace

RoundedBoxMesh buildRoundedBox(const QVector3D &size, float radius, int segments)
{
    const QVector3D half = size / 2.0f;
    const float maxRadius = std::min({half.x(), half.y(), half.z()});
    radius = std::clamp(radius, 0.0f, std::max(0.0f, maxRadius));
    segments = std::max(1, segments);
    const QVector3D inner = half - QVector3D(radius, radius, radius);

    const std::vector<float> coords[3] = {axisCoordinates(half.x(), radius, segments),
                                          axisCoordinates(half.y(), radius, segments),
                                          axisCoordinates(half.z(), radius, segments)};

    // Each face: its normal axis and sign, and the two in-plane axes (u × v = outward normal).
    struct Face { int axis; float sign; int u; int v; };
    static constexpr Face faces[6] = {
        {0, 1.0f, 1, 2}, {0, -1.0f, 2, 1}, {1, 1.0f, 2, 0},
        {1, -1.0f, 0, 2}, {2, 1.0f, 0, 1}, {2, -1.0f, 1, 0},
    };

    RoundedBoxMesh mesh;
    for (const Face &face : faces) {
        const std::vector<float> &us = coords[face.u];
        const std::vector<float> &vs = coords[face.v];
        const auto base = std::uint32_t(mesh.positions.size());
        QVector3D faceNormal;
        faceNormal[face.axis] = face.sign;
        for (float v : vs) {
            for (float u : us) {
                QVector3D onBox;
                onBox[face.axis] = face.sign * half[face.axis];
                onBox[face.u] = u;
                onBox[face.v] = v;
                QVector3D core;
                for (int a = 0; a < 3; ++a)
                    core[a] = std::clamp(onBox[a], -inner[a], inner[a]);
                const QVector3D out = onBox - core;
                // On the flat part the point is already on the surface (and with radius 0 every point is).
                const QVector3D normal = out.lengthSquared() > 1e-12f ? out.normalized() : faceNormal;
                mesh.positions.push_back(radius > 0.0f ? core + normal * radius : onBox);
                mesh.normals.push_back(normal);
            }
        }
        const auto columns = std::uint32_t(us.size());
        for (std::uint32_t j = 0; j + 1 < vs.size(); ++j) {
            for (std::uint32_t i = 0; i + 1 < columns; ++i) {
                const std::uint32_t a = base + j * columns + i;
                const std::uint32_t b = a + 1;
                const std::uint32_t c = a + columns + 1;
                const std::uint32_t d = a + columns;
                mesh.indices.insert(mesh.indices.end(), {a, b, c, a, c, d});
            }
        }
    }
    return mesh;
}
