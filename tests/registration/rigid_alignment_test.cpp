// Similarity alignment from picked point pairs: centroids, scale, rotation and the solve.
#include "registration/RigidAlignmentSparseLM.h"

#include "numerics/Random.h"
#include "numerics/SparseSolver/splm.h"
#include "support/LogCapture.h"
#include "support/OutputCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expectMapsOnto(const QMatrix4x4& m, const QVector<QVector3D>& src, const QVector<QVector3D>& dst, double tolerance)
{
    ASSERT_EQ(src.size(), dst.size());
    for (int i = 0; i < src.size(); ++i) {
        const QVector3D mapped = m.map(src[i]);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(mapped[k], dst[i][k], tolerance) << "pair " << i << ", axis " << k;
    }
}

void expectAffineAndFinite(const QMatrix4x4& m)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_TRUE(std::isfinite(m(i, j))) << i << "," << j;
    EXPECT_EQ(m.row(3), QVector4D(0, 0, 0, 1));
}

double uniform(double lo, double hi)
{
    return lo + (hi - lo) * Random::draw() / 32767.0;
}

QVector3D randomPoint()
{
    return QVector3D(float(uniform(-1, 1)), float(uniform(-1, 1)), float(uniform(-1, 1)));
}

// Silences the solver's own refusal lines on standard error while a call runs.
template <typename Call>
QMatrix4x4 quietly(Call call)
{
    QMatrix4x4 result;
    TestSupport::captureStderr([&] { result = call(); });
    return result;
}

}  // namespace

TEST(RigidAlignment, CentroidAndTransformPoints)
{
    EXPECT_EQ(centroid({QVector3D(1, 2, 3), QVector3D(3, 2, -1)}), QVector3D(2, 2, 1));
    EXPECT_EQ(centroid({}), QVector3D(0, 0, 0));
    QMatrix4x4 m;
    m.translate(1, 0, -1);
    m.rotate(90, 0, 0, 1);
    EXPECT_EQ(transformPoints({QVector3D(1, 0, 0), QVector3D(0, 0, 2)}, m),
              QVector<QVector3D>({QVector3D(1, 1, -1), QVector3D(1, 0, 1)}));
}

TEST(RigidAlignment, ScalingAboutTheSourceCentroid)
{
    const QMatrix4x4 s = RigidAlignmentSparseLM::findScaling({QVector3D(2, 0, 0), QVector3D(6, 0, 0)},
                                                             {QVector3D(-3, 0, 0), QVector3D(-1, 0, 0)});
    expectMapsOnto(s, {QVector3D(2, 0, 0), QVector3D(6, 0, 0), QVector3D(4, 0, 0)},
                   {QVector3D(3, 0, 0), QVector3D(5, 0, 0), QVector3D(4, 0, 0)}, 1e-6);
}

TEST(RigidAlignment, RotationOfCentredPoints)
{
    const QVector<QVector3D> src{QVector3D(0, 0, 0), QVector3D(1, 0, 0), QVector3D(0, 1.2f, 0)};
    QMatrix4x4 truth;
    truth.rotate(20, 0, 0, 1);
    truth.rotate(15, 0, 1, 0);
    TestSupport::LogCapture log;
    const QMatrix4x4 r = RigidAlignmentSparseLM::findRotation(src, transformPoints(src, truth));
    expectMapsOnto(r, src, transformPoints(src, truth), 0.001);
    expectAffineAndFinite(r);
    ASSERT_EQ(log.texts().size(), 1);
    EXPECT_TRUE(log.texts()[0].startsWith("Optimization complete in ")) << log.texts()[0].toStdString();
    EXPECT_TRUE(log.texts()[0].endsWith(" iterations"));
}

TEST(RigidAlignment, RotationAndTranslation)
{
    const QVector<QVector3D> src{QVector3D(0, 0, 0), QVector3D(1.5f, 0, 0), QVector3D(0, 1, 0)};
    QMatrix4x4 truth;
    truth.translate(0.1f, 0.2f, 0.3f);
    truth.rotate(20, 0, 0, 1);
    truth.rotate(50, 0, 1, 0);
    truth.rotate(15, 1, 0, 0);
    const QMatrix4x4 m = RigidAlignmentSparseLM::findTransformationAndRotation(src, transformPoints(src, truth));
    expectMapsOnto(m, src, transformPoints(src, truth), 0.001);
    expectAffineAndFinite(m);
}

TEST(RigidAlignment, SimilarityOfThreePairs)
{
    // Scale 0.5 and a rotation by -90 degrees about z.
    const QVector<QVector3D> src{QVector3D(2, 0, 0), QVector3D(2, 4, 0), QVector3D(4, 0, 0)};
    const QVector<QVector3D> dst{QVector3D(-3, 0, 0), QVector3D(-1, 0, 0), QVector3D(-3, -1, 0)};
    const QMatrix4x4 m = RigidAlignmentSparseLM::findRigidAlignmentTransform(src, dst);
    expectMapsOnto(m, src, dst, 0.001);
    expectAffineAndFinite(m);
}

TEST(RigidAlignment, TwoPairsLeaveTheRotationAlone)
{
    TestSupport::LogCapture log;
    QMatrix4x4 r;
    const QByteArray err = TestSupport::captureStderr([&] {
        r = RigidAlignmentSparseLM::findRotation({QVector3D(1, 0, 0), QVector3D(-1, 0, 0)},
                                                 {QVector3D(0, 1, 0), QVector3D(0, -1, 0)});
    });
    EXPECT_TRUE(r.isIdentity());
    EXPECT_EQ(log.texts(), QStringList({"Optimization complete in -1 iterations"}));
    EXPECT_TRUE(err.contains("fewer measurements")) << err.toStdString();
}

TEST(RigidAlignment, RecoversAKnownSimilarityFromExactPairs)
{
    QMatrix4x4 truth;
    truth.translate(0.4f, -0.7f, 1.1f);
    truth.rotate(33, QVector3D(1, 2, -0.5f).normalized());
    truth.scale(1.3f);
    Random::seed(41);
    for (int n = 3; n <= 20; ++n) {
        SCOPED_TRACE(n);
        QVector<QVector3D> src;
        for (int i = 0; i < n; ++i)
            src.append(randomPoint());
        const QVector<QVector3D> dst = transformPoints(src, truth);
        const QMatrix4x4 m = RigidAlignmentSparseLM::findRigidAlignmentTransform(src, dst);
        expectAffineAndFinite(m);
        // The fit stops once the summed squared distance is at most 1e-8, which for exact
        // pairs is a step or so before the floats run out: about 1e-6 in every entry.
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 4; ++j)
                EXPECT_NEAR(m(i, j), truth(i, j), 1e-6) << i << "," << j;
        expectMapsOnto(m, src, dst, 2e-6);
    }
}

TEST(RigidAlignment, NoisyPairsLandWithinTheNoise)
{
    QMatrix4x4 truth;
    truth.translate(-2, 0.5f, 3);
    truth.rotate(33, QVector3D(-0.3f, 1, 0.8f).normalized());
    truth.scale(1.3f);
    const double noise = 0.01;
    Random::seed(8);
    for (int n : {5, 12, 20}) {
        SCOPED_TRACE(n);
        QVector<QVector3D> src, dst;
        for (int i = 0; i < n; ++i) {
            src.append(randomPoint() * 2.0f);
            dst.append(truth.map(src.last()) + QVector3D(float(uniform(-noise, noise)), float(uniform(-noise, noise)),
                                                         float(uniform(-noise, noise))));
        }
        const QMatrix4x4 m = RigidAlignmentSparseLM::findRigidAlignmentTransform(src, dst);
        expectAffineAndFinite(m);
        // The fit lands within a few noise amplitudes of every pair and of the true map.
        expectMapsOnto(m, src, dst, 4 * noise);
        expectMapsOnto(m, src, transformPoints(src, truth), 4 * noise);
    }
}

TEST(RigidAlignment, PointsOnTheirCentroidGiveNoRatio)
{
    // The first source point is the centroid: only the other two pairs set the scale 2.
    const QVector<QVector3D> src{QVector3D(0, 0, 0), QVector3D(1, 0, 0), QVector3D(-1, 0, 0)};
    const QVector<QVector3D> dst{QVector3D(5, 5, 5), QVector3D(7, 5, 5), QVector3D(3, 5, 5)};
    const QMatrix4x4 s = RigidAlignmentSparseLM::findScaling(src, dst);
    expectMapsOnto(s, src, {QVector3D(0, 0, 0), QVector3D(2, 0, 0), QVector3D(-2, 0, 0)}, 1e-6);
    expectMapsOnto(quietly([&] { return RigidAlignmentSparseLM::findRigidAlignmentTransform(src, dst); }), src, dst,
                   1e-4);

    // The same template vertex picked for every pair: no spread, scale 1, a plain shift.
    const QVector<QVector3D> same(3, QVector3D(1, 2, 3));
    const QVector<QVector3D> targets{QVector3D(0, 0, 0), QVector3D(2, 0, 0), QVector3D(1, 3, 0)};
    const QMatrix4x4 shift =
        quietly([&] { return RigidAlignmentSparseLM::findRigidAlignmentTransform(same, targets); });
    expectAffineAndFinite(shift);
    expectMapsOnto(shift, {QVector3D(1, 2, 3)}, {centroid(targets)}, 1e-5);
    EXPECT_TRUE(RigidAlignmentSparseLM::findScaling(same, targets).isIdentity());

    const QMatrix4x4 none = quietly([] { return RigidAlignmentSparseLM::findRigidAlignmentTransform({}, {}); });
    EXPECT_TRUE(none.isIdentity());
}

TEST(RigidAlignment, JacobianStoresEveryEntryAndMatchesTheResiduals)
{
    RigidAlignmentData data;
    // A pair at the origin has only zero derivatives; they are stored all the same.
    data.srcPoints = {QVector3D(0, 0, 0), QVector3D(1, 0.5f, 0), QVector3D(-0.3f, 2, 1), QVector3D(0, 0, 1)};
    data.dstPoints = {QVector3D(0, 0, 0), QVector3D(0.2f, 1, 0), QVector3D(1, 1, -1), QVector3D(0.5f, 0, 0.5f)};
    const int n = data.srcPoints.size();
    double p[3] = {0.8, -0.2, 0.4};
    splm_crsm jacobian;
    splm_crsm_alloc(&jacobian, n, 3, 3 * n);
    rigidAlignmentJacSparseLM(p, &jacobian, 3, n, &data);
    ASSERT_EQ(jacobian.nnz, 3 * n);
    ASSERT_EQ(jacobian.nr, n);
    ASSERT_EQ(jacobian.nc, 3);
    for (int i = 0; i <= n; ++i)
        EXPECT_EQ(jacobian.rowptr[i], 3 * i);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(jacobian.val[k], 0.0);

    // Central differences of the residual callback.
    const double h = 1e-6;
    for (int k = 0; k < 3; ++k) {
        double plus[3] = {p[0], p[1], p[2]}, minus[3] = {p[0], p[1], p[2]};
        plus[k] += h;
        minus[k] -= h;
        QVector<double> up(n), down(n);
        rigidAlignmentErrorMetricSparseLM(plus, up.data(), 3, n, &data);
        rigidAlignmentErrorMetricSparseLM(minus, down.data(), 3, n, &data);
        for (int row = 1; row < n; ++row) {
            EXPECT_EQ(jacobian.colidx[3 * row + k], k);
            EXPECT_NEAR(jacobian.val[3 * row + k], (up[row] - down[row]) / (2 * h), 1e-6) << row << "," << k;
        }
    }
    splm_crsm_free(&jacobian);

    // The residuals are the distances |R(p) src - dst|: at the identity, plain differences.
    double identity[3] = {1, 0, 0};
    QVector<double> residuals(n);
    rigidAlignmentErrorMetricSparseLM(identity, residuals.data(), 3, n, &data);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(residuals[i], (data.srcPoints[i] - data.dstPoints[i]).length(), 1e-6);
}
