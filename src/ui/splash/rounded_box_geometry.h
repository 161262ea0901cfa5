#pragma once

#include <QVector3D>

#include <cstdint>
#include <vector>

/// @brief Triangle mesh of a box whose edges and corners are rounded with one radius.
///
/// Each face is a grid: a flat middle and, towards every edge, a band of `segments` rows that
/// bends through the face's half of the quarter circle. The point of a face grid is pushed onto
/// the rounded surface around the inner box (the box shrunk by the radius), so flat parts stay
/// exactly flat and edges and corners are true arcs and sphere octants. Radius 0 gives the plain
/// box; a radius of half the smallest side leaves no flat part in that direction (a cube becomes
/// a sphere). Triangles wind counter-clockwise seen from outside; normals point outwards.
struct RoundedBoxMesh
{
    std::vector<QVector3D> positions;
    std::vector<QVector3D> normals;
    std::vector<std::uint32_t> indices; ///< triangles, three per face
};

/// `size` is the full width, height and length, centred on the origin; `radius` is clamped to
/// [0, half the smallest side]; `segments` (at least 1) rows per rounded band.
RoundedBoxMesh buildRoundedBox(const QVector3D &size, float radius, int segments = 6);
