#pragma once
// Comparisons within a tolerance: every component must differ by strictly less than it.
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

bool fuzzyIsEqual(const QVector3D& a, const QVector3D& b, double tolerance);
// Element by element over the length of a (true when a is empty); false when b is shorter.
bool fuzzyIsEqual(const QVector<double>& a, const QVector<double>& b, double tolerance);
bool fuzzyIsEqual(const QVector<QVector3D>& a, const QVector<QVector3D>& b, double tolerance);

}  // namespace NonRigidRegistration
