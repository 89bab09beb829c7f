#pragma once
// Quick similarity alignment from picked point pairs: the i-th template point (src) with
// the i-th target point (dst). Uniform scale from the spread of the two sets about their
// centroids, rotation by a small Levenberg-Marquardt fit over the three rotation
// parameters, translation from the centroids.
#include "numerics/DerVal.h"
#include "numerics/SparseSolver/splm.h"

#include <QMatrix4x4>
#include <QObject>
#include <QVector3D>
#include <QVector>

// Component sums divided by the count; the origin for no points.
QVector3D centroid(const QVector<QVector3D>& points);
// Each point mapped by the matrix as a point.
QVector<QVector3D> transformPoints(const QVector<QVector3D>& points, const QMatrix4x4& matrix);

class RigidAlignmentSparseLM : public QObject {
    Q_OBJECT
public:
    explicit RigidAlignmentSparseLM(QObject* parent = nullptr);

    // Uniform scale about the source centroid by the mean of the per-pair spread ratios
    // |dst[i] - cD| / |src[i] - cS|. Pairs whose source point sits on its centroid have no
    // ratio and are left out; with none left the scale is 1.
    static QMatrix4x4 findScaling(const QVector<QVector3D>& src, const QVector<QVector3D>& dst);
    // Rotation about the origin fitted to lists already centred by the caller; the identity
    // when the solver refuses (fewer than three pairs).
    static QMatrix4x4 findRotation(const QVector<QVector3D>& src, const QVector<QVector3D>& dst);
    // x -> R (x - cS) + cD.
    static QMatrix4x4 findTransformationAndRotation(const QVector<QVector3D>& src, const QVector<QVector3D>& dst);
    // x -> R (s (x - cS)) + cD: the similarity transform carrying src onto dst.
    static QMatrix4x4 findRigidAlignmentTransform(const QVector<QVector3D>& src, const QVector<QVector3D>& dst);

    // |R(parameters) src[i] - dst[i]| for every pair; T is double or DerVal.
    template <typename T>
    static QVector<T> pairDistances(const QVector<T>& parameters, const QVector<QVector3D>& src,
                                    const QVector<QVector3D>& dst);
};

// The solver's user data during one rotation fit; the callbacks only read it.
class RigidAlignmentData : public QObject {
    Q_OBJECT
public:
    explicit RigidAlignmentData(QObject* parent = nullptr);

    QVector<QVector3D> srcPoints;
    QVector<QVector3D> dstPoints;
};

// Solver callbacks of the rotation fit; data is a RigidAlignmentData.
void rigidAlignmentErrorMetricSparseLM(double* parameters, double* estimate, int parameterCount, int measurementCount,
                                       void* data);
void rigidAlignmentJacSparseLM(double* parameters, splm_crsm* jacobian, int parameterCount, int measurementCount,
                               void* data);
