#include "registration/FuzzyCompare.h"

#include <cmath>

namespace NonRigidRegistration {

namespace {

bool within(double a, double b, double tolerance)
{
    return std::abs(a - b) < tolerance;
}

}  // namespace

bool fuzzyIsEqual(const QVector3D& a, const QVector3D& b, double tolerance)
{
    return within(a.x(), b.x(), tolerance) && within(a.y(), b.y(), tolerance) && within(a.z(), b.z(), tolerance);
}

bool fuzzyIsEqual(const QVector<double>& a, const QVector<double>& b, double tolerance)
{
    if (b.size() < a.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (!within(a[i], b[i], tolerance))
            return false;
    return true;
}

bool fuzzyIsEqual(const QVector<QVector3D>& a, const QVector<QVector3D>& b, double tolerance)
{
    if (b.size() < a.size())
        return false;
    for (int i = 0; i < a.size(); ++i)
        if (!fuzzyIsEqual(a[i], b[i], tolerance))
            return false;
    return true;
}

}  // namespace NonRigidRegistration
