#include "splash/splash_scene.h"
#include "splash/splash_stand_in.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <numbers>

using namespace SplashScene;

namespace {
constexpr double Pi = std::numbers::pi;
using Field = std::function<double(const Node &)>;
} // namespace
Q_DECLARE_METATYPE(Field)

/// The launch screen's field as data: its fixed parts, the ranges of its random parts, the motion
/// of every node and of the camera, and the painted stand-in's pixels.
class TestSplashScene final : public QObject
{
    Q_OBJECT

    static Scene sceneFor(quint32 seed)
    {
        QRandomGenerator random(seed);
        return buildScene(random);
    }

private Q_SLOTS:
    void twentyEightNodesCycleThroughTheFiveShapes()
    {
        const Scene scene = sceneFor(1);
        QCOMPARE(int(scene.nodes.size()), 28);
        for (int i = 0; i < 28; ++i)
            QCOMPARE(scene.nodes[size_t(i)].shapeIndex, i % 5);

        // 0, 5, 10 … are cubes with slightly rounded edges; 2, 7, 12 … the strongly rounded small boxes.
        const Shape &cube = scene.shapes[0];
        QCOMPARE(cube.kind, ShapeKind::roundedBox);
        QCOMPARE(cube.boxSize, QVector3D(1, 1, 1));
        QCOMPARE(cube.chamferRadius, 0.1f);
        const Shape &small = scene.shapes[2];
        QCOMPARE(small.kind, ShapeKind::roundedBox);
        QCOMPARE(small.boxSize, QVector3D(0.7f, 0.7f, 0.7f));
        QCOMPARE(small.chamferRadius, 0.35f);
        QCOMPARE(scene.shapes[1].kind, ShapeKind::sphere);
        QCOMPARE(scene.shapes[1].radius, 0.5f);
        QCOMPARE(scene.shapes[3].kind, ShapeKind::cylinder);
        QCOMPARE(scene.shapes[3].radius, 0.3f);
        QCOMPARE(scene.shapes[3].height, 1.0f);
        QCOMPARE(scene.shapes[4].kind, ShapeKind::torus);
        QCOMPARE(scene.shapes[4].ringRadius, 0.5f);
        QCOMPARE(scene.shapes[4].pipeRadius, 0.12f);

        // Every node copies the template material but for its own transparency.
        for (const Node &node : scene.nodes) {
            QCOMPARE(node.material.diffuse, scene.material.diffuse);
            QCOMPARE(node.material.specular, scene.material.specular);
        }
        QCOMPARE(scene.material.transparency, 0.6f);
        QCOMPARE(scene.camera.fieldOfViewDegrees, 50.0f);
        QCOMPARE(scene.camera.position, QVector3D(0, 0, 30));
    }

    void randomValuesFillTheirIntervals_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        const auto row = [](const char *name, Field f, double low, double high) {
            QTest::newRow(name) << f << low << high;
        };
        row("transparency", [](const Node &n) { return n.material.transparency; }, 0.3, 0.7);
        row("scale", [](const Node &n) { return n.scale; }, 0.3, 1.2);
        row("x", [](const Node &n) { return n.position.x(); }, -35, 35);
        row("y", [](const Node &n) { return n.position.y(); }, -21, 21);
        row("z", [](const Node &n) { return n.position.z(); }, -20, 5);
        row("euler x", [](const Node &n) { return n.eulerAngles.x(); }, 0, 2 * Pi);
        row("euler y", [](const Node &n) { return n.eulerAngles.y(); }, 0, 2 * Pi);
        row("euler z", [](const Node &n) { return n.eulerAngles.z(); }, 0, 2 * Pi);
        row("spin axis x", [](const Node &n) { return n.spinAxis.x(); }, -1, 1);
        row("spin axis y", [](const Node &n) { return n.spinAxis.y(); }, -1, 1);
        row("spin axis z", [](const Node &n) { return n.spinAxis.z(); }, -1, 1);
        row("spin period", [](const Node &n) { return n.spinSeconds; }, 12, 30);
        row("bob distance", [](const Node &n) { return n.bobDistance; }, 0.5, 2.0);
        row("bob period", [](const Node &n) { return n.bobSeconds; }, 6, 14);
        row("fade delay", [](const Node &n) { return n.fadeDelay; }, 0, 1.5);
    }
    void randomValuesFillTheirIntervals()
    {
        QFETCH(Field, field);
        QFETCH(double, low);
        QFETCH(double, high);
        // Over many arrangements every value stays inside its interval and reaches both ends of it.
        double least = high, most = low;
        for (quint32 seed = 1; seed <= 200; ++seed) {
            for (const Node &node : sceneFor(seed).nodes) {
                const double v = field(node);
                QVERIFY2(v >= low - 1e-5 && v <= high + 1e-5, qPrintable(QString::number(v)));
                least = std::min(least, v);
                most = std::max(most, v);
            }
        }
        const double slack = (high - low) * 0.01;
        QVERIFY2(least < low + slack && most > high - slack, qPrintable(QStringLiteral("%1 .. %2").arg(least).arg(most)));
        // Two arrangements differ.
        QVERIFY(field(sceneFor(1).nodes[3]) != field(sceneFor(2).nodes[3]));
    }

    void everyNodeStartsInvisibleAndIsInWithinThreeSeconds()
    {
        for (quint32 seed = 1; seed <= 50; ++seed) {
            for (const Node &node : sceneFor(seed).nodes) {
                QCOMPARE(poseAt(node, 0.0).opacity, 0.0f);
                QCOMPARE(poseAt(node, node.fadeDelay).opacity, 0.0f);
                QCOMPARE(poseAt(node, node.fadeDelay + 0.75).opacity, 0.5f);
                QCOMPARE(poseAt(node, 3.0).opacity, 1.0f);
                QCOMPARE(poseAt(node, 600.0).opacity, 1.0f); // once, never again
            }
        }
    }

    void lightsHaveTheirColoursAndAngles_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("ambient");
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<double>("intensity"); // 0: the default
        QTest::addColumn<QVector3D>("shinesToward");
        QTest::newRow("fill") << 0 << true << QColor::fromRgbF(0.08f, 0.08f, 0.08f) << 0.0 << QVector3D();
        // The key light, turned −45° about x and 30° about y, shines down, left and away from the camera.
        QTest::newRow("key") << 1 << false << QColor::fromRgbF(0.42f, 0.36f, 0.91f) << 200.0
                             << QVector3D(-0.5f, -0.6124f, -0.6124f);
        // The warm light shines up, right and away.
        QTest::newRow("warm") << 2 << false << QColor::fromRgbF(0.9f, 0.7f, 0.5f) << 60.0
                              << QVector3D(0.7071f, 0.3536f, -0.6124f);
    }
    void lightsHaveTheirColoursAndAngles()
    {
        QFETCH(int, index);
        QFETCH(bool, ambient);
        QFETCH(QColor, colour);
        QFETCH(double, intensity);
        QFETCH(QVector3D, shinesToward);
        const Scene scene = sceneFor(3);
        const Light &light = scene.lights[size_t(index)];
        QCOMPARE(light.type == Light::Type::ambient, ambient);
        QCOMPARE(light.colour, colour);
        QCOMPARE(light.intensity.value_or(0.0f), float(intensity));
        if (!ambient)
            QVERIFY2((lightDirection(light) - shinesToward).length() < 1e-3f,
                     qPrintable(QStringLiteral("%1 %2 %3").arg(lightDirection(light).x()).arg(lightDirection(light).y()).arg(lightDirection(light).z())));
    }

    void nodesBobSpinAndTheCameraDriftsBackAndForth()
    {
        const Scene scene = sceneFor(4);
        for (const Node &node : scene.nodes) {
            const Pose start = poseAt(node, 0.0);
            const Pose top = poseAt(node, node.bobSeconds);
            const Pose back = poseAt(node, 2 * node.bobSeconds);
            QVERIFY(qFuzzyCompare(top.position, node.position + QVector3D(0, node.bobDistance, 0)));
            QVERIFY((back.position - node.position).length() < 1e-4f);
            QCOMPARE(poseAt(node, node.bobSeconds / 2).position.y(), node.position.y() + node.bobDistance / 2);

            // A full turn per period about the node's own axis: half a period is a half turn.
            const auto turnedBy = [](const QQuaternion &a, const QQuaternion &b) {
                return 2.0 * std::acos(std::min(1.0f, std::abs(QQuaternion::dotProduct(a, b)))) * 180.0 / Pi;
            };
            QVERIFY(turnedBy(start.rotation, poseAt(node, node.spinSeconds).rotation) < 0.1);
            QVERIFY(std::abs(turnedBy(start.rotation, poseAt(node, node.spinSeconds / 2).rotation) - 180.0) < 0.1);
            QVERIFY(std::abs(turnedBy(start.rotation, poseAt(node, node.spinSeconds / 4).rotation) - 90.0) < 0.1);
            const QVector3D axis = node.spinAxis.normalized();
            const QQuaternion quarter = poseAt(node, node.spinSeconds / 4).rotation * start.rotation.inverted();
            QVERIFY(std::abs(std::abs(QVector3D::dotProduct(quarter.vector().normalized(), axis)) - 1.0f) < 1e-3f);
            QVERIFY(turnedBy(start.rotation, rotationFromEuler(node.eulerAngles)) < 0.1);
        }
        const Camera &camera = scene.camera;
        QCOMPARE(cameraPositionAt(camera, 0), QVector3D(0, 0, 30));
        QCOMPARE(cameraPositionAt(camera, 8), QVector3D(0.5f, 0.3f, 30));
        QCOMPARE(cameraPositionAt(camera, 12), QVector3D(0.25f, 0.15f, 30));
        QCOMPARE(cameraPositionAt(camera, 16), QVector3D(0, 0, 30));
        QCOMPARE(cameraPositionAt(camera, 24), QVector3D(0.5f, 0.3f, 30));
    }

    void standInDrawsEveryVisibleShapeWhereTheCameraSeesIt()
    {
        const QRectF viewport(0, 0, 600, 375);
        for (quint32 seed : {5u, 6u}) {
            const Scene scene = sceneFor(seed);
            const auto render = [&](double seconds) {
                QImage image(viewport.size().toSize(), QImage::Format_ARGB32_Premultiplied);
                image.fill(Qt::transparent);
                QPainter p(&image);
                paintStandIn(p, viewport, scene, seconds);
                return image;
            };
            // Nothing has faded in at first: the background is untouched.
            const QImage first = render(0.0);
            for (int y = 0; y < first.height(); ++y)
                for (int x = 0; x < first.width(); ++x)
                    QCOMPARE(qAlpha(first.pixel(x, y)), 0);

            const double t = 5.0;
            const QImage later = render(t);
            int seen = 0;
            for (const Node &node : scene.nodes) {
                const std::optional<Projected> at = projectNode(viewport, scene, node, t);
                QVERIFY(at);
                if (!viewport.adjusted(4, 4, -4, -4).contains(at->centre))
                    continue;
                // Solid shapes cover their centre; the torus has a hole there, so look around it.
                int alpha = 0;
                const int reach = node.shapeIndex == 4 ? 4 : 0;
                for (int dy = -reach; dy <= reach; ++dy)
                    for (int dx = -reach; dx <= reach; ++dx)
                        alpha = std::max(alpha, qAlpha(later.pixel(at->centre.toPoint() + QPoint(dx, dy))));
                QVERIFY2(alpha >= 40, qPrintable(QStringLiteral("node at %1,%2: alpha %3")
                                                     .arg(at->centre.x()).arg(at->centre.y()).arg(alpha)));
                ++seen;
            }
            QVERIFY(seen >= 5);
            // The shapes are small and translucent: most of the field stays clear, nothing is opaque.
            int covered = 0;
            for (int y = 0; y < later.height(); ++y) {
                for (int x = 0; x < later.width(); ++x) {
                    const int a = qAlpha(later.pixel(x, y));
                    QVERIFY(a < 250);
                    covered += a > 0;
                }
            }
            QVERIFY(covered > 200 && covered < later.width() * later.height() / 10);
        }
    }
};

QTEST_MAIN(TestSplashScene)
#include "tst_splash_scene.moc"
