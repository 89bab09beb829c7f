#include "registration/RigidAlignmentSparseLM.h"

#include "numerics/Quaternion.h"
#include "numerics/SparseMatrix.h"
#include "numerics/Vector.h"

#include <QDebug>

#include <cmath>
#include <vector>

QVector3D centroid(const QVector<QVector3D>& points)
{
    if (points.isEmpty())
        return QVector3D(0, 0, 0);
    // Summed in double: a float running sum over many picks loses the last digits.
    double sum[3] = {0.0, 0.0, 0.0};
    for (const QVector3D& p : points)
        for (int k = 0; k < 3; ++k)
            sum[k] += p[k];
    const double n = points.size();
    return QVector3D(float(sum[0] / n), float(sum[1] / n), float(sum[2] / n));
}

QVector<QVector3D> transformPoints(const QVector<QVector3D>& points, const QMatrix4x4& matrix)
{
    QVector<QVector3D> mapped;
    mapped.reserve(points.size());
    for (const QVector3D& p : points)
        mapped.append(matrix.map(p));
    return mapped;
}

RigidAlignmentSparseLM::RigidAlignmentSparseLM(QObject* parent) : QObject(parent) {}

RigidAlignmentData::RigidAlignmentData(QObject* parent) : QObject(parent) {}

QMatrix4x4 RigidAlignmentSparseLM::findScaling(const QVector<QVector3D>& src, const QVector<QVector3D>& dst)
{
    const QVector3D cS = centroid(src);
    const QVector3D cD = centroid(dst);
    double sum = 0.0;
    int ratios = 0;
    for (int i = 0; i < src.size(); ++i) {
        const float spread = (src[i] - cS).length();
        if (!(spread > 0.0f))
            continue;  // no ratio for a point on its centroid
        sum += (dst[i] - cD).length() / spread;
        ++ratios;
    }
    const double scale = ratios > 0 ? sum / ratios : 1.0;
    QMatrix4x4 m;
    m.translate(cS);
    m.scale(float(std::isfinite(scale) ? scale : 1.0));
    m.translate(-cS);
    return m;
}

QMatrix4x4 RigidAlignmentSparseLM::findRotation(const QVector<QVector3D>& src, const QVector<QVector3D>& dst)
{
    RigidAlignmentData* data = new RigidAlignmentData;
    data->srcPoints = src;
    data->dstPoints = dst;
    const int n = src.size();
    double p[3] = {1.0, 0.0, 0.0};
    std::vector<double> measurements(std::size_t(n), 0.0);
    const double opts[SPLM_OPTS_SZ] = {1e-8, 1e-8, 1e-8, 1e-8, 1e-8, 1.0};
    double info[SPLM_INFO_SZ];
    const int iterations = splm_crs_analytic(rigidAlignmentErrorMetricSparseLM, rigidAlignmentJacSparseLM, p,
                                             measurements.data(), 3, 0, n, 3 * n, -1, 50, opts, info, data);
    qDebug() << "Optimization complete in" << iterations << "iterations";
    delete data;

    // The solver keeps the last accepted step; should that ever hold a non-finite value,
    // no rotation is better than a broken matrix.
    if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
        p[0] = 1, p[1] = p[2] = 0;
    const QVector<QVector<double>> r = Quaternion<double>(p[0], p[1], p[2]).rotationMatrix();
    QMatrix4x4 m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m(i, j) = float(r[i][j]);
    return m;
}

QMatrix4x4 RigidAlignmentSparseLM::findTransformationAndRotation(const QVector<QVector3D>& src,
                                                                 const QVector<QVector3D>& dst)
{
    const QVector3D cS = centroid(src);
    const QVector3D cD = centroid(dst);
    QMatrix4x4 toSourceOrigin, toTargetOrigin;
    toSourceOrigin.translate(-cS);
    toTargetOrigin.translate(-cD);
    const QMatrix4x4 rotation =
        findRotation(transformPoints(src, toSourceOrigin), transformPoints(dst, toTargetOrigin));
    QMatrix4x4 m;
    m.translate(cD - rotation.map(cS));
    return m * rotation;
}

QMatrix4x4 RigidAlignmentSparseLM::findRigidAlignmentTransform(const QVector<QVector3D>& src,
                                                               const QVector<QVector3D>& dst)
{
    const QMatrix4x4 scaling = findScaling(src, dst);
    const QMatrix4x4 motion = findTransformationAndRotation(transformPoints(src, scaling), dst);
    return motion * scaling;
}

template <typename T>
QVector<T> RigidAlignmentSparseLM::pairDistances(const QVector<T>& parameters, const QVector<QVector3D>& src,
                                                 const QVector<QVector3D>& dst)
{
    const QVector<QVector<T>> rotation = Quaternion<T>(parameters[0], parameters[1], parameters[2]).rotationMatrix();
    QVector<T> distances;
    distances.reserve(src.size());
    for (int i = 0; i < src.size(); ++i)
        distances.append((rotation * Vec<T>(src[i]) - Vec<T>(dst[i])).norm());
    return distances;
}

template QVector<double> RigidAlignmentSparseLM::pairDistances<double>(const QVector<double>&,
                                                                       const QVector<QVector3D>&,
                                                                       const QVector<QVector3D>&);
template QVector<DerVal> RigidAlignmentSparseLM::pairDistances<DerVal>(const QVector<DerVal>&,
                                                                       const QVector<QVector3D>&,
                                                                       const QVector<QVector3D>&);

void rigidAlignmentErrorMetricSparseLM(double* parameters, double* estimate, int, int, void* data)
{
    const RigidAlignmentData* pairs = static_cast<const RigidAlignmentData*>(data);
    const QVector<double> p{parameters[0], parameters[1], parameters[2]};
    const QVector<double> distances = RigidAlignmentSparseLM::pairDistances(p, pairs->srcPoints, pairs->dstPoints);
    for (int i = 0; i < distances.size(); ++i)
        estimate[i] = distances[i];
}

void rigidAlignmentJacSparseLM(double* parameters, splm_crsm* jacobian, int, int, void* data)
{
    const RigidAlignmentData* pairs = static_cast<const RigidAlignmentData*>(data);
    QVector<DerVal> p;
    for (int k = 0; k < 3; ++k)
        p.append(DerVal(parameters[k], 3).diff(k));
    const QVector<DerVal> distances = RigidAlignmentSparseLM::pairDistances(p, pairs->srcPoints, pairs->dstPoints);
    // Every row keeps all three entries, zeros included, so the pattern never changes.
    SparseMatrix::SparseMatrixLIL lil(distances.size(), 3);
    for (int j = 0; j < distances.size(); ++j)
        for (int k = 0; k < 3; ++k)
            lil.append(j, k, distances[j].derivatives.value(k, 0.0));
    const SparseMatrix::SparseMatrixCRS crs(lil);
    SparseMatrix::fillSparseLmCRS(crs, jacobian);
}
