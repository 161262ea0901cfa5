#include "splash/rounded_box_geometry.h"

#include <QtTest>

#include <algorithm>
#include <map>
#include <tuple>

namespace {

/// Distance from `p` to the box of half extents `inner` (0 inside it).
float distanceToBox(const QVector3D &p, const QVector3D &inner)
{
    QVector3D outside;
    for (int a = 0; a < 3; ++a)
        outside[a] = std::max(0.0f, std::abs(p[a]) - inner[a]);
    return outside.length();
}

using Key = std::tuple<long, long, long>;
Key weldKey(const QVector3D &p)
{
    return {std::lround(p.x() * 1e5), std::lround(p.y() * 1e5), std::lround(p.z() * 1e5)};
}

} // namespace

class TestRoundedBoxGeometry final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void surface_data()
    {
        QTest::addColumn<QVector3D>("size");
        QTest::addColumn<float>("radius");
        QTest::addColumn<float>("expectedRadius");
        QTest::newRow("cube, slightly rounded") << QVector3D(1, 1, 1) << 0.1f << 0.1f;
        QTest::newRow("small cube, radius half the side") << QVector3D(0.7f, 0.7f, 0.7f) << 0.35f << 0.35f;
        QTest::newRow("plain box") << QVector3D(1, 1, 1) << 0.0f << 0.0f;
        QTest::newRow("flat slab") << QVector3D(2, 0.5f, 1) << 0.2f << 0.2f;
        QTest::newRow("radius beyond half the smallest side") << QVector3D(2, 0.5f, 1) << 0.6f << 0.25f;
        QTest::newRow("negative radius") << QVector3D(1, 1, 1) << -0.3f << 0.0f;
    }

    // Every vertex lies on the rounded surface (the inner box grown by the radius), the mesh fills
    // exactly the box's bounds, and normals are unit length and point out of the inner box.
    void surface()
    {
        QFETCH(QVector3D, size);
        QFETCH(float, radius);
        QFETCH(float, expectedRadius);
        const RoundedBoxMesh mesh = buildRoundedBox(size, radius, 5);
        QVERIFY(!mesh.indices.empty());
        QCOMPARE(mesh.positions.size(), mesh.normals.size());

        const QVector3D half = size / 2;
        const QVector3D inner = half - QVector3D(expectedRadius, expectedRadius, expectedRadius);
        QVector3D low(1e9f, 1e9f, 1e9f), high(-1e9f, -1e9f, -1e9f);
        for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
            const QVector3D &p = mesh.positions[i];
            const QVector3D &n = mesh.normals[i];
            for (int a = 0; a < 3; ++a) {
                low[a] = std::min(low[a], p[a]);
                high[a] = std::max(high[a], p[a]);
            }
            QVERIFY2(qAbs(n.length() - 1.0f) < 1e-5f, qPrintable(QStringLiteral("normal %1").arg(i)));
            if (expectedRadius > 0) {
                QVERIFY(qAbs(distanceToBox(p, inner) - expectedRadius) < 1e-5f);
                QVERIFY(QVector3D::dotProduct(n, p) > 0);
            } else {
                // The plain box: on its surface, with the face's own normal.
                const float onFace = std::max({qAbs(p.x()) / half.x(), qAbs(p.y()) / half.y(), qAbs(p.z()) / half.z()});
                QVERIFY(qAbs(onFace - 1.0f) < 1e-5f);
                QCOMPARE(qAbs(n.x()) + qAbs(n.y()) + qAbs(n.z()), 1.0f);
            }
        }
        for (int a = 0; a < 3; ++a) {
            QVERIFY(qAbs(low[a] + half[a]) < 1e-5f);
            QVERIFY(qAbs(high[a] - half[a]) < 1e-5f);
        }
    }

    void closedAndWoundOutwards_data() { surface_data(); }

    // Welded by position, every edge joins exactly two triangles that run it in opposite
    // directions (closed, consistently wound), and every triangle faces away from the centre.
    void closedAndWoundOutwards()
    {
        QFETCH(QVector3D, size);
        QFETCH(float, radius);
        const RoundedBoxMesh mesh = buildRoundedBox(size, radius, 4);
        QCOMPARE(mesh.indices.size() % 3, std::size_t(0));

        std::map<Key, int> ids;
        std::vector<int> welded;
        for (const QVector3D &p : mesh.positions)
            welded.push_back(ids.emplace(weldKey(p), int(ids.size())).first->second);

        std::map<std::pair<int, int>, int> directedEdges;
        for (std::size_t t = 0; t < mesh.indices.size(); t += 3) {
            const QVector3D &a = mesh.positions[mesh.indices[t]];
            const QVector3D &b = mesh.positions[mesh.indices[t + 1]];
            const QVector3D &c = mesh.positions[mesh.indices[t + 2]];
            const QVector3D faceNormal = QVector3D::crossProduct(b - a, c - a);
            QVERIFY2(faceNormal.length() > 1e-9f, "degenerate triangle");
            QVERIFY2(QVector3D::dotProduct(faceNormal, (a + b + c) / 3) > 0, "triangle wound inwards");
            QVERIFY(QVector3D::dotProduct(faceNormal, mesh.normals[mesh.indices[t]]) > 0);
            for (int k = 0; k < 3; ++k) {
                const int from = welded[mesh.indices[t + k]];
                const int to = welded[mesh.indices[t + (k + 1) % 3]];
                ++directedEdges[{from, to}];
            }
        }
        for (const auto &[edge, count] : directedEdges) {
            QCOMPARE(count, 1);
            const auto reverse = directedEdges.find({edge.second, edge.first});
            QVERIFY2(reverse != directedEdges.end(), "open edge");
        }
    }

    // At half the side a cube has no flat part left: it is a sphere of that radius.
    void radiusOfHalfTheSideIsASphere()
    {
        const RoundedBoxMesh mesh = buildRoundedBox(QVector3D(0.7f, 0.7f, 0.7f), 0.35f);
        for (std::size_t i = 0; i < mesh.positions.size(); ++i) {
            QVERIFY(qAbs(mesh.positions[i].length() - 0.35f) < 1e-5f);
            QVERIFY((mesh.normals[i] - mesh.positions[i].normalized()).length() < 1e-5f);
        }
    }
};

QTEST_MAIN(TestRoundedBoxGeometry)
#include "tst_rounded_box_geometry.moc"
