// Rotation blending of graph nodes and the motion a child node inherits from its parents.
#include "registration/DynamicGraphTransforms.h"

#include "numerics/Quaternion.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QQuaternion>

#include <cmath>
#include <cstring>
#include <random>

using namespace DynamicGraph;

namespace {

// Rotates v by the rotation parameters, through the same matrix the deformation uses.
QVector3D rotateByParams(const QVector<double>& r, const QVector3D& v)
{
    const QVector<QVector<double>> m = Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
    QVector3D out;
    for (int i = 0; i < 3; ++i)
        out[i] = float(m[i][0] * v.x() + m[i][1] * v.y() + m[i][2] * v.z());
    return out;
}

void expectNear(const QVector3D& actual, const QVector3D& expected, double tolerance)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "component " << i;
}

void expectSame(const QQuaternion& actual, const QQuaternion& expected)
{
    EXPECT_EQ(actual.scalar(), expected.scalar());
    EXPECT_EQ(actual.x(), expected.x());
    EXPECT_EQ(actual.y(), expected.y());
    EXPECT_EQ(actual.z(), expected.z());
}

QVector<double> paramsOf(const QQuaternion& q)
{
    const double d = 1.0 + q.z();
    return {q.scalar() / d, q.x() / d, q.y() / d};
}

}  // namespace

TEST(RotationsToQuaternions, ParameterFormGivesUnitQuaternions)
{
    const double r2 = std::sqrt(2.0);
    const QVector<QQuaternion> q = rotationsToQuaternions({{1, 0, 0}, {0, 0, 0}, {r2 - 1, 0, 0}, {0.3, -2, 5}});
    ASSERT_EQ(q.size(), 4);
    expectSame(q[0], QQuaternion(1, 0, 0, 0));
    expectSame(q[1], QQuaternion(0, 0, 0, 1));
    EXPECT_FLOAT_EQ(q[2].scalar(), float(std::sqrt(0.5)));
    EXPECT_FLOAT_EQ(q[2].z(), float(std::sqrt(0.5)));
    EXPECT_NEAR(q[3].length(), 1.0f, 1e-6f);
    EXPECT_TRUE(rotationsToQuaternions({}).isEmpty());
}

TEST(BlendQuaternions, IdentityAndPassThroughCases)
{
    const QQuaternion turn = QQuaternion::fromAxisAndAngle(QVector3D(1, 2, 3).normalized(), 70);
    expectSame(blendQuaternions({}, {}), QQuaternion());
    expectSame(blendQuaternions({turn}, {0}), QQuaternion());
    expectSame(blendQuaternions({turn}, {-2}), QQuaternion());
    // Unchanged up to the final normalisation in single precision.
    for (const QQuaternion& blend :
         {blendQuaternions({turn}, {1}), blendQuaternions({turn, turn}, {1, 0}), blendQuaternions({turn}, {3.5})}) {
        EXPECT_FLOAT_EQ(blend.scalar(), turn.scalar());
        EXPECT_FLOAT_EQ(blend.x(), turn.x());
        EXPECT_FLOAT_EQ(blend.y(), turn.y());
        EXPECT_FLOAT_EQ(blend.z(), turn.z());
    }
    expectSame(blendQuaternions({QQuaternion(0, 0, 1, 0)}, {1}), QQuaternion(0, 0, 1, 0));
}

TEST(BlendQuaternions, ProductKeepsTheOrderOfTheNodes)
{
    const QQuaternion aboutX = QQuaternion::fromAxisAndAngle(1, 0, 0, 90);
    const QQuaternion aboutY = QQuaternion::fromAxisAndAngle(0, 1, 0, 90);
    const QQuaternion blend = blendQuaternions({aboutX, aboutY}, {1, 1});
    EXPECT_NEAR(blend.scalar(), 0.5, 1e-6);
    EXPECT_NEAR(blend.x(), 0.5, 1e-6);
    EXPECT_NEAR(blend.y(), 0.5, 1e-6);
    EXPECT_NEAR(blend.z(), 0.5, 1e-6);
    // The last factor acts first: (0, 0, 1) -> about y -> (1, 0, 0) -> about x -> (1, 0, 0).
    expectNear(blend.rotatedVector(QVector3D(0, 0, 1)), QVector3D(1, 0, 0), 1e-6);
    expectNear(blendQuaternions({aboutY, aboutX}, {1, 1}).rotatedVector(QVector3D(0, 0, 1)), QVector3D(0, -1, 0), 1e-6);
}

TEST(BlendQuaternions, WeightsPickOrAverageTheRotations)
{
    const QVector<QQuaternion> q{QQuaternion::fromAxisAndAngle(QVector3D(1, 0, -1).normalized(), -45),
                                 QQuaternion::fromAxisAndAngle(0, 0, 1, -45),
                                 QQuaternion::fromAxisAndAngle(1, 0, 0, 45)};
    const QVector3D up(0, 1, 0);
    expectNear(blendQuaternions(q, {0, 0, 1}).rotatedVector(up), q[2].rotatedVector(up), 0.1);
    const double third = 1.0 / 3.0;
    expectNear(blendQuaternions(q, {third, third, third}).rotatedVector(up), up, 0.1);
}

TEST(RotationParameters, RoundTripAndThePole)
{
    const QQuaternion turns[] = {QQuaternion(), QQuaternion::fromAxisAndAngle(0, 0, 1, 90),
                                 QQuaternion::fromAxisAndAngle(QVector3D(2, -1, 0.5).normalized(), 150)};
    for (const QQuaternion& q : turns) {
        const QVector<double> r = quaternionToRotationParameters(q);
        const QVector3D v(0.3f, -1.2f, 0.7f);
        expectNear(rotateByParams(r, v), q.rotatedVector(v), 1e-5);
    }
    // A half turn about z written as (0, 0, 0, -1): its own parameters would not be finite;
    // the equal rotation (0, 0, 0, 1) gives (0, 0, 0).
    const QVector<double> pole = quaternionToRotationParameters(QQuaternion(0, 0, 0, -1));
    EXPECT_EQ(pole, QVector<double>({0, 0, 0}));
    const QQuaternion minus180 = QQuaternion::fromAxisAndAngle(0, 0, 1, -180);
    ASSERT_EQ(minus180.z(), -1.0f);
    const QVector<double> r = quaternionToRotationParameters(minus180);
    for (double p : r)
        EXPECT_TRUE(std::isfinite(p));
    expectNear(rotateByParams(r, QVector3D(1, 0, 0)), QVector3D(-1, 0, 0), 1e-6);
}

TEST(TransformChildNode, InheritsTheParentLevelsMotion)
{
    // Child on vertex 0 at (1, 0, 0), parents at (0, 0, 0) and (2, 0, 0); both parents carry
    // the child's vertex to (1, 1, 0), one by translation, one by a quarter turn about z.
    ChildNode child;
    child.vertexInd = 0;
    const QVector<QVector3D> parents{QVector3D(0, 0, 0), QVector3D(2, 0, 0)};
    const QVector<QVector<double>> rotations{{1, 0, 0}, paramsOf(QQuaternion::fromAxisAndAngle(0, 0, 1, 90))};
    const QVector<QVector<double>> translations{{0, 1, 0}, {-1, 2, 0}};
    const Node node = transformChildNode(child, QVector3D(1, 0, 0), parents, rotations, translations, {0.5, 0.5});

    ASSERT_EQ(node.t.size(), 3);
    EXPECT_NEAR(node.t[0], 0, 1e-6);
    EXPECT_NEAR(node.t[1], 1, 1e-6);
    EXPECT_NEAR(node.t[2], 0, 1e-6);
    ASSERT_EQ(node.r.size(), 3);
    const double pi = std::acos(-1.0);
    EXPECT_NEAR(node.r[0], std::cos(pi / 8) / (1 + std::sin(pi / 8)), 1e-6);
    EXPECT_NEAR(node.r[1], 0, 1e-6);
    EXPECT_NEAR(node.r[2], 0, 1e-6);
    expectNear(rotateByParams(node.r, QVector3D(0, 1, 0)), QVector3D(-std::sqrt(0.5), std::sqrt(0.5), 0), 1e-6);
    EXPECT_EQ(node.vertexInd, 0);
    EXPECT_TRUE(node.children.isEmpty());
}

TEST(TransformChildNode, KeepsTheChildsOwnChildren)
{
    ChildNode grandChild;
    grandChild.vertexInd = 9;
    ChildNode child;
    child.vertexInd = 4;
    child.children = {grandChild, ChildNode{2, {}}};
    const Node node =
        transformChildNode(child, QVector3D(3, 1, 2), {QVector3D(0, 0, 0)}, {{1, 0, 0}}, {{0.5, 0, -1}}, {1});
    EXPECT_EQ(node.vertexInd, 4);
    EXPECT_EQ(childrenVertexIndices(QVector<ChildNode>{ChildNode{4, node.children}}), QList<int>({9, 2}));
    EXPECT_EQ(node.t, QVector<double>({0.5, 0, -1}));
    EXPECT_EQ(node.r, QVector<double>({1, 0, 0}));
}

TEST(TransformChildNode, HalfTurnAboutZStaysFinite)
{
    // Parameters this large stand for a quaternion whose z rounds to -1: the pole.
    const QVector<QVector<double>> rotations{{0, 0, 1e20}};
    ASSERT_EQ(rotationsToQuaternions(rotations)[0].z(), -1.0f);
    const Node node =
        transformChildNode(ChildNode{0, {}}, QVector3D(1, 0, 0), {QVector3D(0, 0, 0)}, rotations, {{0, 0, 0}}, {1});
    for (double p : node.r)
        EXPECT_TRUE(std::isfinite(p));
    for (double t : node.t)
        EXPECT_TRUE(std::isfinite(t));
    expectNear(rotateByParams(node.r, QVector3D(1, 0, 0)), QVector3D(-1, 0, 0), 1e-6);
    expectNear(rotateByParams(node.r, QVector3D(0, 0, 1)), QVector3D(0, 0, 1), 1e-6);
}

TEST(RotationBetween, TurnsOneDirectionOntoAnother)
{
    const QVector3D pairs[][2] = {{QVector3D(1, 0, 0), QVector3D(0, 1, 0)},
                                  {QVector3D(0, 0, 1), QVector3D(3, 0, 3).normalized()},
                                  {QVector3D(1, 2, 3).normalized(), QVector3D(-2, 0.5, 1).normalized()},
                                  {QVector3D(1, 0, 0), QVector3D(-4, 0, 0)},   // opposite
                                  {QVector3D(0, 1, 0), QVector3D(0, -1, 0)}};  // opposite
    for (const auto& p : pairs) {
        const QQuaternion q = rotationBetween(p[0], p[1]);
        EXPECT_NEAR(q.length(), 1.0f, 1e-6f);
        expectNear(q.rotatedVector(p[0].normalized()), p[1].normalized(), 1e-5);
    }
    expectSame(rotationBetween(QVector3D(0, 0, 1), QVector3D(0, 0, 1)), QQuaternion());
    expectSame(rotationBetween(QVector3D(0, 0, 0), QVector3D(0, 0, 1)), QQuaternion());
    EXPECT_EQ(toVector3D({1.5, -2, 1e-3}), QVector3D(1.5f, -2.0f, 1e-3f));
}

// The transforms taken once for many children give every child node transformChildNode gives, bit
// for bit (NaN for NaN): random motions, rows with zeros of both signs, a short row, a NaN weight, an empty row,
// a node with an infinite translation (whose zero weights still spoil the sums) and no nodes.
TEST(ChildNodeTransforms, EqualTransformChildNodeBitForBit)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    // Any two NaNs count as equal: which of two NaN operands an addition passes on is the
    // compiler's choice.
    auto sameBits = [](const QVector<double>& a, const QVector<double>& b) {
        if (a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i)
            if (!(std::isnan(a[i]) && std::isnan(b[i])) && std::memcmp(&a[i], &b[i], sizeof(double)) != 0)
                return false;
        return true;
    };
    for (int nNodes : {0, 1, 5, 40}) {
        for (bool infinite : {false, true}) {
            QVector<QVector3D> positions;
            QVector<QVector<double>> rotations, translations;
            for (int m = 0; m < nNodes; ++m) {
                positions << QVector3D(float(value(random)), float(value(random)), float(value(random)));
                rotations << QVector<double>{value(random), value(random), value(random)};
                translations << QVector<double>{value(random), value(random), value(random)};
            }
            if (infinite && nNodes > 1)
                translations[1][0] = HUGE_VAL;
            const ChildNodeTransforms transform(positions, rotations, translations);
            QVector<QVector<double>> rows;
            for (int r = 0; r < 6; ++r) {
                QVector<double> row(nNodes, 0.0);
                for (int m = 0; m < nNodes; ++m)
                    row[m] = random() % 3 == 0 ? value(random) : (random() % 2 ? 0.0 : -0.0);
                rows << row;
            }
            rows << QVector<double>() << QVector<double>(nNodes / 2, 0.25);
            if (nNodes > 2)
                rows[0][2] = std::nan("");
            ChildNode child;
            child.vertexInd = 7;
            child.children << ChildNode();
            for (const QVector<double>& row : rows) {
                const QVector3D at(float(value(random)), float(value(random)), float(value(random)));
                const Node expected = transformChildNode(child, at, positions, rotations, translations, row);
                const Node actual = transform(child, at, row);
                EXPECT_TRUE(sameBits(actual.t, expected.t)) << nNodes << " nodes " << infinite;
                EXPECT_TRUE(sameBits(actual.r, expected.r)) << nNodes << " nodes";
                EXPECT_EQ(actual.vertexInd, 7);
                EXPECT_EQ(actual.children.size(), 1);
            }
        }
    }
}
