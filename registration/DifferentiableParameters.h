#pragma once
// Building blocks of the registration's differentiable residuals. A residual depends on a
// short, ordered list L of nodes (the influence nodes of a template vertex, or the two nodes
// of a regularisation pair), so it is differentiated over 6 × |L| local slots only: slots
// 6p .. 6p+2 are the rotation parameters (a, b, c) and 6p+3 .. 6p+5 the translation of node
// L[p]. fillJacobian maps the local slots to the global columns 6·node + c afterwards.
#include "numerics/DerVal.h"
#include "numerics/SparseMatrix.h"
#include "numerics/Vector.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// Every index whose entry compares unequal to 0.0, ascending (NaN and negatives count).
QList<int> getNonZeroElementIndices(const QVector<double>& row);

// Element c of the result is container[indices[c]]; indices are not bounds-checked.
QVector<double> subset(const QVector<double>& container, const QList<int>& indices);
QVector<QVector3D> subset(const QVector<QVector3D>& container, const QList<int>& indices);
QVector<QVector<double>> subset(const QVector<QVector<double>>& container, const QList<int>& indices);

// Element i: value v[i], n derivative slots with slot s + i set to 1.
QVector<DerVal> makeVectorDifferentiable(const QVector<double>& v, int n, int s);

// Seeds the parameters of the nodes of one list in the local layout above. The slot counts
// per node are read from the first entries; with no node both outputs become empty.
void makeParamsDifferentiable(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                              QVector<QVector<DerVal>>& rsDer, QVector<QVector<DerVal>>& tsDer);

// The values, derivatives dropped (QVector<DerVal> or Vec<DerVal>).
QVector<double> undifContainer(const QVector<DerVal>& values);
Vec<double> undifContainer(const Vec<DerVal>& values);

// One row per residual, 6 × nNodes columns. Row i stores all 6 × |influenceNodeIndexTable[i]|
// entries of its nodes, zeros included, in ascending column order, so the pattern depends on
// the influence lists only and stays the same for every evaluation of a solve.
SparseMatrix::SparseMatrixLIL fillJacobian(const QVector<DerVal>& residuals,
                                           const QVector<QList<int>>& influenceNodeIndexTable, int nNodes);

// True when every node's rotation and translation hold three numbers each: what the inline
// derivative routes read (the DerVal route takes the lengths from the first node).
bool parametersAreTriples(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations);

// True when a node appears twice in the list.
bool hasRepeatedNode(const QList<int>& nodes);

// fillJacobian's row of one residual whose list repeats no node, as compressed-row entries:
// 6 × |nodes| of them at cols and vals, in the row's column order, each column renumbered
// through columnOf when that is not null (as the solver's copy renumbers the columns of
// held-back nodes). Lists that repeat a node are not handled here.
void writeSortedJacobianRow(const DerVal& residual, const QList<int>& nodes, const int* columnOf, int* cols,
                            double* vals);

// Radians. Formed in extended precision and not clamped: a zero vector or a quotient outside
// [-1, 1] gives NaN, which callers read as "no angle".
double angleBetweenVectors(const Vec<double>& a, const Vec<double>& b);
double degToRad(double degrees);
// (i × nj + j) × nk + k; ni is not needed.
int map3DTo1DIndex(int i, int j, int k, int ni, int nj, int nk);

}  // namespace NonRigidRegistration
