// Embedded deformation of vertices, normals and nodes by the graph, against known geometry.
#include "registration/DynamicGraphTransforms.h"
#include "registration/EmbeddedDeformation.h"

#include "numerics/Quaternion.h"
#include "numerics/Random.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QQuaternion>

#include <cmath>

using namespace NonRigidRegistration;

namespace {

using Table = QVector<QVector<double>>;

const QVector<double> kIdentity{1, 0, 0};
const QVector<double> kHalfTurnZ{0, 0, 0};
const QVector<double> kQuarterTurnZ{std::sqrt(2.0) - 1, 0, 0};
const QVector<double> kZero{0, 0, 0};

QVector3D toQ(const Vec<double>& v)
{
    return QVector3D(float(v[0]), float(v[1]), float(v[2]));
}

// Rotation parameters (w, x, y) / (1 + z) of a unit quaternion with z > -1.
QVector<double> paramsOf(const QQuaternion& q)
{
    const double d = 1.0 + q.z();
    return {q.scalar() / d, q.x() / d, q.y() / d};
}

double uniform(double lo, double hi)
{
    return lo + (hi - lo) * Random::draw() / 32767.0;
}

QVector3D randomPoint(double extent)
{
    return QVector3D(float(uniform(-extent, extent)), float(uniform(-extent, extent)), float(uniform(-extent, extent)));
}

struct VertexCase {
    const char* name;
    QVector<QVector3D> nodes;
    Table rotations;
    Table translations;
    QVector<double> weights;
    QVector3D vertex;
    QVector3D expected;
    double tolerance;  // 0: exact
};

}  // namespace

TEST(EmbeddedDeformation, VerticesOfKnownGeometry)
{
    const QVector<QVector3D> pair{QVector3D(-1, 0, 0), QVector3D(1, 0, 0)};
    const VertexCase cases[] = {
        {"shared translation",
         pair,
         {kIdentity, kIdentity},
         {{0, 1, 0}, {0, 1, 0}},
         {0.5, 0.5},
         QVector3D(0, 0, 0),
         QVector3D(0, 1, 0),
         0},
        {"quarter turn about the left node",
         pair,
         {kQuarterTurnZ, kIdentity},
         {kZero, kZero},
         {1, 0},
         QVector3D(0, 0, 0),
         QVector3D(-1, 1, 0),
         1e-6},
        {"quarter turn about the origin",
         {QVector3D(0, 0, 0), QVector3D(-1, 0, 0)},
         {kQuarterTurnZ, kIdentity},
         {kZero, kZero},
         {1, 0},
         QVector3D(1, 0, 0),
         QVector3D(0, 1, 0),
         1e-6},
        {"half turn at (0, 0, 0)",
         {QVector3D(0, 0, 0)},
         {kHalfTurnZ},
         {kZero},
         {1},
         QVector3D(1, 0, 0),
         QVector3D(-1, 0, 0),
         0},
        {"weights used as stored",
         {QVector3D(0, 0, 0)},
         {kIdentity},
         {kZero},
         {2},
         QVector3D(1, 2, 3),
         QVector3D(2, 4, 6),
         0},
        {"all weights zero",
         pair,
         {kQuarterTurnZ, kIdentity},
         {{5, 5, 5}, {1, 2, 3}},
         {0, 0},
         QVector3D(7, -3, 2),
         QVector3D(0, 0, 0),
         0},
        {"no nodes", {}, {}, {}, {}, QVector3D(7, -3, 2), QVector3D(0, 0, 0), 0},
    };
    for (const VertexCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QVector3D single = toQ(deformVertexByGraph(c.rotations, c.translations, c.vertex, c.nodes, c.weights));
        const QVector<double> graphForm =
            DynamicGraph::deformVertexWithWeights(c.rotations, c.translations, c.vertex, c.nodes, c.weights);
        const QVector<QVector3D> whole =
            deformVerticesByGraph({c.vertex}, c.rotations, c.translations, c.nodes, Table{c.weights});
        const QVector<QVector3D> graphWhole =
            DynamicGraph::deformVerticesWithWeights(c.rotations, c.translations, {c.vertex}, c.nodes, Table{c.weights});
        ASSERT_EQ(graphForm.size(), 3);
        for (int i = 0; i < 3; ++i) {
            if (c.tolerance == 0) {
                EXPECT_EQ(single[i], c.expected[i]) << i;
                EXPECT_EQ(graphForm[i], c.expected[i]) << i;
            } else {
                EXPECT_NEAR(single[i], c.expected[i], c.tolerance) << i;
                EXPECT_NEAR(graphForm[i], c.expected[i], c.tolerance) << i;
            }
        }
        EXPECT_EQ(whole, QVector<QVector3D>{single});
        EXPECT_EQ(graphWhole, QVector<QVector3D>{single});
    }
}

TEST(EmbeddedDeformation, NormalsRotateAndStayUnit)
{
    const QVector<QVector3D> pair{QVector3D(-1, 0, 0), QVector3D(1, 0, 0)};
    const QVector3D up(0, 1, 0);
    EXPECT_EQ(toQ(deformNormalByGraph({kIdentity, kIdentity}, up, pair, {0.5, 0.5})), up);

    const Table opposite{paramsOf(QQuaternion::fromAxisAndAngle(0, 0, 1, 45)),
                         paramsOf(QQuaternion::fromAxisAndAngle(0, 0, 1, -45))};
    const Vec<double> n = deformNormalByGraph(opposite, up, pair, {0.5, 0.5});
    EXPECT_NEAR(n[0], 0, 1e-6);
    EXPECT_NEAR(n[1], 1, 1e-6);
    EXPECT_NEAR(n[2], 0, 1e-6);
    EXPECT_EQ(deformNormalsByGraph({up}, opposite, pair, {{0.5, 0.5}}), QVector<QVector3D>{toQ(n)});
}

TEST(EmbeddedDeformation, NormalWithoutDirectionBecomesZero)
{
    const QVector<QVector3D> pair{QVector3D(-1, 0, 0), QVector3D(1, 0, 0)};
    struct Case {
        const char* name;
        Table rotations;
        QVector3D normal;
        QVector<double> weights;
    };
    const Case cases[] = {
        {"zero normal", {kQuarterTurnZ, kIdentity}, QVector3D(0, 0, 0), {0.5, 0.5}},
        {"zero weights", {kQuarterTurnZ, kIdentity}, QVector3D(0, 0, 1), {0, 0}},
        {"turns that cancel", {kHalfTurnZ, kIdentity}, QVector3D(1, 0, 0), {1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Vec<double> single = deformNormalByGraph(c.rotations, c.normal, pair, c.weights);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(single[i], 0.0);  // not NaN
        EXPECT_EQ(deformNormalsByGraph({c.normal}, c.rotations, pair, {c.weights}),
                  QVector<QVector3D>{QVector3D(0, 0, 0)});
    }
}

TEST(EmbeddedDeformation, RigidMotionOfEveryNodeMovesTheSurfaceRigidly)
{
    // Every node turns by R and takes t_i = R g_i + T - g_i, so with weights summing to 1
    // every point must follow x -> R x + T, and every normal n -> R n.
    Random::seed(11);
    const QQuaternion turn = QQuaternion::fromAxisAndAngle(QVector3D(1, -2, 0.5), 33.0f);
    const QVector<double> r = paramsOf(turn);
    const QVector<QVector<double>> R = Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
    const double T[3] = {3.0, -1.5, 0.25};
    QVector<QVector3D> nodes;
    Table rotations, translations;
    for (int i = 0; i < 30; ++i) {
        const QVector3D g = randomPoint(5);
        nodes.append(g);
        rotations.append(r);
        QVector<double> t(3);
        for (int k = 0; k < 3; ++k)
            t[k] = R[k][0] * g.x() + R[k][1] * g.y() + R[k][2] * g.z() + T[k] - g[k];
        translations.append(t);
    }
    QVector<QVector3D> vertices, normals;
    Table weights;
    for (int v = 0; v < 200; ++v) {
        vertices.append(randomPoint(5));
        normals.append(randomPoint(1).normalized());
        QVector<double> row(nodes.size(), 0.0);
        double sum = 0;
        for (int j = 0; j < 4; ++j) {
            const int node = (v * 7 + j * 5) % nodes.size();
            row[node] = uniform(0.1, 1.0);
            sum += row[node];
        }
        for (double& w : row)
            w /= sum;
        weights.append(row);
    }
    const QVector<QVector3D> moved = deformVerticesByGraph(vertices, rotations, translations, nodes, weights);
    const QVector<QVector3D> turned = deformNormalsByGraph(normals, rotations, nodes, weights);
    for (int v = 0; v < vertices.size(); ++v) {
        for (int k = 0; k < 3; ++k) {
            const QVector3D x = vertices[v], n = normals[v];
            EXPECT_NEAR(moved[v][k], R[k][0] * x.x() + R[k][1] * x.y() + R[k][2] * x.z() + T[k], 2e-5);
            EXPECT_NEAR(turned[v][k], R[k][0] * n.x() + R[k][1] * n.y() + R[k][2] * n.z(), 1e-6);
        }
    }
    const QVector<QVector3D> nodesMoved = deformNodes(nodes, translations);
    for (int i = 0; i < nodes.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(nodesMoved[i][k],
                        R[k][0] * nodes[i].x() + R[k][1] * nodes[i].y() + R[k][2] * nodes[i].z() + T[k], 1e-5);
}

TEST(EmbeddedDeformation, WholeArrayFormsEqualThePerPointFormula)
{
    // Random transforms and sparse rows: blocks of zeros, a weight only in the last column,
    // rows of zeros, rows longer than the node count, unnormalised and negative weights.
    Random::seed(23);
    const int nodeCount = 37;
    QVector<QVector3D> nodes;
    Table rotations, translations;
    for (int i = 0; i < nodeCount; ++i) {
        nodes.append(randomPoint(10));
        rotations.append({uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)});
        translations.append({uniform(-2, 2), uniform(-2, 2), uniform(-2, 2)});
    }
    rotations[5] = kHalfTurnZ;
    QVector<QVector3D> vertices, normals;
    Table weights;
    for (int v = 0; v < 1500; ++v) {
        vertices.append(randomPoint(12));
        normals.append(v % 50 == 0 ? QVector3D(0, 0, 0) : randomPoint(1));
        QVector<double> row(nodeCount + (v % 9 == 0 ? 3 : 0), 0.0);
        const int influences = v % 6;
        for (int j = 0; j < influences; ++j)
            row[Random::draw() % nodeCount] = uniform(-0.2, 1.5);
        if (v % 11 == 0)
            row[nodeCount - 1] = 0.75;
        if (v % 9 == 0)
            row[nodeCount + 1] = 4.0;  // beyond the nodes: never read
        weights.append(row);
    }
    const QVector<QVector3D> moved = deformVerticesByGraph(vertices, rotations, translations, nodes, weights);
    const QVector<QVector3D> turned = deformNormalsByGraph(normals, rotations, nodes, weights);
    ASSERT_EQ(moved.size(), vertices.size());
    ASSERT_EQ(turned.size(), normals.size());
    for (int v = 0; v < vertices.size(); ++v) {
        EXPECT_EQ(moved[v], toQ(deformVertexByGraph(rotations, translations, vertices[v], nodes, weights[v])))
            << "vertex " << v;
        EXPECT_EQ(turned[v], toQ(deformNormalByGraph(rotations, normals[v], nodes, weights[v]))) << "normal " << v;
    }

    // The one-pass form gives both arrays bit for bit.
    QVector<QVector3D> bothVertices, bothNormals;
    deformVerticesAndNormalsByGraph(vertices, normals, rotations, translations, nodes, weights, &bothVertices,
                                    &bothNormals);
    ASSERT_EQ(bothVertices.size(), moved.size());
    ASSERT_EQ(bothNormals.size(), turned.size());
    for (int v = 0; v < vertices.size(); ++v) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(std::signbit(bothVertices[v][k]), std::signbit(moved[v][k])) << v;
            EXPECT_EQ(bothVertices[v][k], moved[v][k]) << v;
            EXPECT_EQ(std::signbit(bothNormals[v][k]), std::signbit(turned[v][k])) << v;
            EXPECT_EQ(bothNormals[v][k], turned[v][k]) << v;
        }
    }
    // Fewer normals than vertices, and one output only.
    QVector<QVector3D> someNormals;
    deformVerticesAndNormalsByGraph(vertices, normals.mid(0, 10), rotations, translations, nodes, weights, nullptr,
                                    &someNormals);
    EXPECT_EQ(someNormals, turned.mid(0, 10));
}

TEST(EmbeddedDeformation, NodesMoveByTheirTranslation)
{
    const QVector<QVector3D> nodes{QVector3D(1, 2, 3), QVector3D(-1, 0, 0.5)};
    EXPECT_EQ(deformNodes(nodes, {{0.5, 0, -3}, {0, 0, 0}}),
              QVector<QVector3D>({QVector3D(1.5, 2, 0), QVector3D(-1, 0, 0.5)}));
    EXPECT_TRUE(deformNodes({}, {}).isEmpty());
}

TEST(EmbeddedDeformation, WholeArrayTransforms)
{
    EXPECT_EQ(scaleVertices({QVector3D(1, -2, 0.5)}, 4.0f), QVector<QVector3D>{QVector3D(4, -8, 2)});

    QMatrix4x4 m;
    m.translate(1, 2, 3);
    m.scale(2, 1, 1);  // not uniform: normals must not simply follow the points
    const QVector<QVector3D> mapped = transformVertices({QVector3D(1, 1, 0), QVector3D(0, 0, 0)}, m);
    EXPECT_EQ(mapped, QVector<QVector3D>({QVector3D(3, 3, 3), QVector3D(1, 2, 3)}));
    // The plane x + y = 0 has the normal (1, 1, 0)/√2; after the map it is 2y - x = 0 + c.
    const QVector<QVector3D> normals = transformNormals({QVector3D(1, 1, 0).normalized()}, m);
    const QVector3D expected = QVector3D(1, 2, 0).normalized();
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(normals[0][k], expected[k], 1e-6);
}
