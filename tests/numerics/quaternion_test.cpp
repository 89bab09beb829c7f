// Three-parameter quaternions: conversions, rotation matrices and derivatives through them.
#include "numerics/Quaternion.h"

#include "numerics/DerVal.h"
#include "numerics/Vector.h"

#include <gtest/gtest.h>

#include <QDebug>
#include <QMatrix4x4>
#include <QQuaternion>
#include <QString>
#include <QVector3D>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <random>
#include <utility>

void PrintTo(const DerVal& d, std::ostream* os)
{
    *os << d.value << " with (";
    for (int k = 0; k < d.derivatives.size(); ++k)
        *os << (k ? ", " : "") << d.derivatives[k];
    *os << ')';
}

namespace {

QVector<QVector<double>> identity3()
{
    return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
}

double slot(const DerVal& d, int k)
{
    return k < d.derivatives.size() ? d.derivatives[k] : 0.0;
}

TEST(QuaternionParameters, FormulaIdentityAndHalfTurn)
{
    EXPECT_EQ(Quaternion<double>(1, 0, 0), Quaternion<double>(1, 0, 0, 0));
    EXPECT_EQ(Quaternion<double>(1, 0, 0, 0).toParams(), QVector<double>({1, 0, 0}));
    EXPECT_EQ(Quaternion<double>(1, 0, 0).rotationMatrix(), identity3());
    EXPECT_EQ(Quaternion<double>(0, 0, 0), Quaternion<double>(0, 0, 0, 1));
    EXPECT_EQ(Quaternion<double>(0, 0, 0, 1).toParams(), QVector<double>({0, 0, 0}));

    // g = (1 + 1.21) + 1.44 = 3.65.
    const QVector<double> q = Quaternion<double>(1, 1.1, 1.2).components();
    const double want[] = {2 / 4.65, 2.2 / 4.65, 2.4 / 4.65, -2.65 / 4.65};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(q[i], want[i], 1e-15) << i;
    const QVector<double> back = Quaternion<double>(q[0], q[1], q[2], q[3]).toParams();
    const double params[] = {1, 1.1, 1.2};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(back[i], params[i], 1e-12 * params[i]) << i;

    // The double form's own evaluation order: g = (a² + b²) + c², then divisions by g + 1.
    const double a = 0.3, b = -1.7, c = 2.9;
    const double g = (a * a + b * b) + c * c;
    EXPECT_EQ(Quaternion<double>(a, b, c),
              Quaternion<double>(2 * a / (g + 1), 2 * b / (g + 1), 2 * c / (g + 1), (1 - g) / (g + 1)));
}

TEST(QuaternionParameters, RoundTripsAndUnitLengthOverManyParameters)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(-20.0, 20.0);
    for (int trial = 0; trial < 500; ++trial) {
        const double p[] = {uniform(random), uniform(random), uniform(random)};
        const QVector<double> q = Quaternion<double>(p[0], p[1], p[2]).components();
        EXPECT_NEAR(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3], 1.0, 1e-14);
        const QVector<double> back = Quaternion<double>(q[0], q[1], q[2], q[3]).toParams();
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(back[i], p[i], 1e-9 * std::max(1.0, std::abs(p[i]))) << trial;
    }
    // Growing parameters tend to (0, 0, 0, -1), which itself has no parameters.
    const QVector<double> far = Quaternion<double>(1e9, -1e9, 1e9).components();
    EXPECT_NEAR(far[3], -1.0, 1e-15);
    const QVector<double> none = Quaternion<double>(0, 0, 0, -1).toParams();
    for (double parameter : none)
        EXPECT_FALSE(std::isfinite(parameter));
}

TEST(QuaternionConversions, QQuaternionDebugTextAndQMatrix4x4)
{
    EXPECT_EQ(Quaternion<double>(QQuaternion(1, QVector3D(2, 3, 4))), Quaternion<double>(1, 2, 3, 4));
    const QQuaternion fractional(0.1f, QVector3D(-0.2f, 0.3f, 0.7f));
    EXPECT_EQ(Quaternion<double>(fractional),
              Quaternion<double>(double(0.1f), double(-0.2f), double(0.3f), double(0.7f)));

    QString text;
    QDebug(&text) << Quaternion<double>(1, 2, 3, 4) << 5;
    EXPECT_EQ(text, QStringLiteral("Quaternion(1,2,3,4)5"));

    EXPECT_EQ(Quaternion<double>(1, 0, 0, 0).toQMatrix4x4(), QMatrix4x4());
    EXPECT_TRUE(Quaternion<double>(1, 0, 0, 0).toQMatrix4x4().isIdentity());

    QMatrix4x4 rotated;
    rotated.rotate(33, 1, 0, 0);
    const QMatrix4x4 fromQuaternion = Quaternion<double>(QQuaternion::fromAxisAndAngle(1, 0, 0, 33)).toQMatrix4x4();
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(fromQuaternion(i, j), rotated(i, j), 1e-6) << i << "," << j;
}

// Rotation parameters worked out from an axis and an angle by hand give the same matrix as
// QMatrix4x4::rotate.
TEST(QuaternionRotation, ParametersAgreeWithQMatrix4x4Rotate)
{
    const QVector3D axes[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {1, -2, 0.5f}, {-0.3f, 0.2f, -4}};
    const float angles[] = {33, -120, 90, 179, 5, -60};
    for (const QVector3D& axis : axes) {
        for (float angle : angles) {
            const QVector3D unit = axis.normalized();
            const double half = double(angle) * 3.141592653589793 / 360.0;
            const double w = std::cos(half), x = std::sin(half) * unit.x(), y = std::sin(half) * unit.y(),
                         z = std::sin(half) * unit.z();
            const Quaternion<double> q(w / (1 + z), x / (1 + z), y / (1 + z));
            QMatrix4x4 want;
            want.rotate(angle, axis);
            const QMatrix4x4 got = q.toQMatrix4x4();
            for (int i = 0; i < 4; ++i)
                for (int j = 0; j < 4; ++j)
                    EXPECT_NEAR(got(i, j), want(i, j), 1e-6) << angle << " degrees, entry " << i << "," << j;
        }
    }
}

TEST(QuaternionRotation, MatrixRotatesLikeQQuaternionAndScalesWithTheSquaredLength)
{
    // The half turn about z.
    const Vec<double> turned = Quaternion<double>(0, 0, 0, 1).rotationMatrix() * Vec<double>(QVector3D(1, 0, 0));
    const QVector3D qtTurned = QQuaternion(0, 0, 0, 1).rotatedVector(QVector3D(1, 0, 0));
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(turned[i], qtTurned[i], 1e-6);
    EXPECT_NEAR(turned[0], -1.0, 1e-6);

    const QQuaternion some = QQuaternion::fromAxisAndAngle(QVector3D(0.2f, -1, 0.7f), 71);
    const QVector3D point(1.5f, -0.25f, 3);
    const Vec<double> mine = Quaternion<double>(some).rotationMatrix() * Vec<double>(point);
    const QVector3D theirs = some.rotatedVector(point);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(mine[i], theirs[i], 1e-5);

    // Not normalised first: a quaternion of length 2 gives four times a rotation.
    EXPECT_EQ(Quaternion<double>(2, 0, 0, 0).rotationMatrix(),
              (QVector<QVector<double>>{{4, 0, 0}, {0, 4, 0}, {0, 0, 4}}));
}

// The DerVal form against the formulas written out plainly: squares by pow with exponent 2,
// entries left to right, brackets times 2 from the left. The shared squares and products of
// the implementation must not change a bit.
TEST(QuaternionOfDerVal, MatchesThePlainFormulasExactly)
{
    const DerVal a = DerVal(0.3, 3).diff(0), b = DerVal(-1.1, 3).diff(1), c = DerVal(0.05, 3).diff(2);
    const Quaternion<DerVal> q(a, b, c);

    const DerVal g = (pow(a, 2) + pow(b, 2)) + pow(c, 2);
    const DerVal d = g + 1;
    const DerVal w = (2 * a) / d, x = (2 * b) / d, y = (2 * c) / d, z = (1 - g) / d;
    EXPECT_EQ(q, Quaternion<DerVal>(w, x, y, z));

    const QVector<QVector<DerVal>> want = {
        {((pow(w, 2) + pow(x, 2)) - pow(y, 2)) - pow(z, 2), 2 * (x * y - w * z), 2 * (x * z + w * y)},
        {2 * (x * y + w * z), ((pow(w, 2) - pow(x, 2)) + pow(y, 2)) - pow(z, 2), 2 * (y * z - w * x)},
        {2 * (x * z - w * y), 2 * (y * z + w * x), ((pow(w, 2) - pow(x, 2)) - pow(y, 2)) + pow(z, 2)},
    };
    const QVector<QVector<DerVal>> got = q.rotationMatrix();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(got[i][j], want[i][j]) << i << "," << j;

    // The values follow the double form up to rounding, and the identity stays exact.
    const QVector<QVector<double>> plain = Quaternion<double>(0.3, -1.1, 0.05).rotationMatrix();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(got[i][j].value, plain[i][j], 1e-15);
    const QVector<DerVal> identity =
        Quaternion<DerVal>(DerVal(1, 3).diff(0), DerVal(0, 3).diff(1), DerVal(0, 3).diff(2)).components();
    EXPECT_EQ(identity[0].value, 1.0);
    EXPECT_EQ(identity[1].value, 0.0);
    EXPECT_EQ(identity[2].value, 0.0);
    EXPECT_EQ(identity[3].value, 0.0);
}

// ---------------------------------------------------------------------------------------------
// Slopes from DerVal through whole expressions against central differences of the same
// expression evaluated on doubles.

template <typename F>
void expectSlopesMatchCentralDifferences(F f, const QVector<double>& at, const char* what)
{
    const int n = at.size();
    QVector<DerVal> seeded;
    for (int k = 0; k < n; ++k)
        seeded << DerVal(at[k], n).diff(k);
    const QVector<DerVal> withSlopes = f(seeded);
    const QVector<double> values = f(at);
    ASSERT_EQ(withSlopes.size(), values.size());
    const double h = 1e-5;
    for (int k = 0; k < n; ++k) {
        QVector<double> plus = at, minus = at;
        plus[k] += h;
        minus[k] -= h;
        const QVector<double> up = f(plus), down = f(minus);
        for (int j = 0; j < values.size(); ++j) {
            EXPECT_NEAR(withSlopes[j].value, values[j], 1e-12 * std::max(1.0, std::abs(values[j])))
                << what << ", output " << j;
            EXPECT_NEAR(slot(withSlopes[j], k), (up[j] - down[j]) / (2 * h), 1e-7)
                << what << ", output " << j << ", slot " << k;
        }
    }
}

// Components, matrix entries and a rotated point.
template <typename T>
QVector<T> rotationOutputs(const QVector<T>& p)
{
    const Quaternion<T> q(p[0], p[1], p[2]);
    QVector<T> out = q.components();
    const QVector<QVector<T>> r = q.rotationMatrix();
    for (const QVector<T>& row : r)
        out += row;
    const Vec<T> rotated = r * Vec<T>(QVector3D(0.3f, -1.2f, 2.5f));
    for (int i = 0; i < 3; ++i)
        out << rotated[i];
    return out;
}

TEST(DerivativesThroughGeometry, RotationOfAPointByThreeParameters)
{
    const QVector<double> points[] = {{1, 0, 0}, {0, 0, 0}, {0.3, -0.8, 1.7}, {-2.2, 0.4, 0.05}, {5, -3, 2}};
    for (const QVector<double>& at : points)
        expectSlopesMatchCentralDifferences([](const auto& p) { return rotationOutputs(p); }, at, "rotation");
}

// A template vertex moved by deformation-graph nodes (rotation parameters a, b, c and a
// translation per node), then its distance to a target point and its signed distance to the
// target's tangent plane, as one closest-point residual is built.
template <typename T>
QVector<T> closestPointOutputs(const QVector<T>& p)
{
    const QVector3D vertex(0.4f, 1.1f, -0.3f);
    const QVector<QVector3D> nodes = {{0, 1, 0}, {1, 1.5f, -1}, {-0.5f, 0.2f, 0.3f}, {0.8f, 0.9f, 0.1f}};
    const QVector<double> weights = {0.4, 0.3, 0.2, 0.1};
    const QVector3D target(0.9f, 1.6f, -0.1f);
    const QVector3D normal(0.267f, 0.534f, 0.802f);

    Vec<T> deformed;
    for (int i = 0; i < nodes.size(); ++i) {
        const int s = 6 * i;
        const QVector<QVector<T>> r = Quaternion<T>(p[s], p[s + 1], p[s + 2]).rotationMatrix();
        Vec<T> term = r * Vec<T>(vertex - nodes[i]) + Vec<T>(nodes[i]) + Vec<T>(p.mid(s + 3, 3));
        term = std::move(term) * T(weights[i]);
        deformed = i == 0 ? term : deformed + term;
    }
    const Vec<T> offset = deformed - Vec<T>(target);
    const T distance = offset.norm();
    const T plane = Vec<T>(normal).dot(offset);
    const T residual = (T(0.1) * distance + T(1.0) * plane) * T(10.0);
    return {deformed[0], deformed[1], deformed[2], distance, plane, residual};
}

TEST(DerivativesThroughGeometry, ClosestPointResidualOfADeformedVertex)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> rotation(-1.5, 1.5), translation(-0.5, 0.5);
    for (int trial = 0; trial < 5; ++trial) {
        QVector<double> at;
        for (int node = 0; node < 4; ++node)
            at << 1 + rotation(random) << rotation(random) << rotation(random) << translation(random)
               << translation(random) << translation(random);
        expectSlopesMatchCentralDifferences([](const auto& p) { return closestPointOutputs(p); }, at, "closest point");
    }
    // At rest (identity rotations, no translation) the vertex stays put.
    QVector<double> rest;
    for (int node = 0; node < 4; ++node)
        rest << 1 << 0 << 0 << 0 << 0 << 0;
    const QVector<double> atRest = closestPointOutputs(rest);
    EXPECT_NEAR(atRest[0], double(0.4f), 1e-7);
    EXPECT_NEAR(atRest[1], double(1.1f), 1e-7);
    EXPECT_NEAR(atRest[2], double(-0.3f), 1e-7);
    expectSlopesMatchCentralDifferences([](const auto& p) { return closestPointOutputs(p); }, rest,
                                        "closest point at rest");
}

// Plain vector expressions: a norm of a difference, a dot product with a normal, a quotient.
template <typename T>
QVector<T> vectorOutputs(const QVector<T>& p)
{
    const Vec<T> point = Vec<T>(p.mid(0, 3)) * p[3];
    const Vec<T> offset = point - Vec<T>(QVector3D(1, -2, 0.5f));
    const Vec<T> normal = Vec<T>(QVector3D(0, 0.6f, 0.8f));
    return {offset.norm(), Vec<T>::dotProduct(normal, offset), offset.normalized()[1], offset.sum() / p[3]};
}

TEST(DerivativesThroughGeometry, NormAndDotOfADifference)
{
    const QVector<double> points[] = {{0.2, 0.5, -1, 1.5}, {3, -0.1, 2, -0.7}, {1, 1, 1, 1}};
    for (const QVector<double>& at : points)
        expectSlopesMatchCentralDifferences([](const auto& p) { return vectorOutputs(p); }, at, "vector");
}

}  // namespace
