#pragma once
// Embedded deformation in double precision: template points, normals and node positions
// moved by the current transforms of the deformation graph's nodes.
//
// Rotation and translation tables hold one three-value row per node, node positions the rest
// position of each node, all in node order; the node count is the length of the node
// positions. Weights are used exactly as stored, never divided by their sum:
//   v' = Σ w_i (R_i (v - g_i) + g_i + t_i),   n' = normalised Σ w_i R_i n.
#include "numerics/Vector.h"
#include "registration/InfluenceTable.h"

#include <QMatrix4x4>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

Vec<double> deformVertexByGraph(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                                const QVector3D& vertex, const QVector<QVector3D>& nodePositions,
                                const QVector<double>& weights);

// Row j of the table deforms vertex j.
QVector<QVector3D> deformVerticesByGraph(const QVector<QVector3D>& vertices, const QVector<QVector<double>>& rotations,
                                         const QVector<QVector<double>>& translations,
                                         const QVector<QVector3D>& nodePositions,
                                         const QVector<QVector<double>>& weightsTable);

// Of unit length; a weighted sum of zero length (a zero normal, a row of zero weights) gives
// the zero vector. Only the count of the node positions is read.
Vec<double> deformNormalByGraph(const QVector<QVector<double>>& rotations, const QVector3D& normal,
                                const QVector<QVector3D>& nodePositions, const QVector<double>& weights);

QVector<QVector3D> deformNormalsByGraph(const QVector<QVector3D>& normals, const QVector<QVector<double>>& rotations,
                                        const QVector<QVector3D>& nodePositions,
                                        const QVector<QVector<double>>& weightsTable);

// deformVerticesByGraph and deformNormalsByGraph in one pass over the weights table, with
// the same results: for the preview of a solver step, where reading the table is most of
// the work. Either output may be null.
void deformVerticesAndNormalsByGraph(const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                     const QVector<QVector<double>>& rotations,
                                     const QVector<QVector<double>>& translations,
                                     const QVector<QVector3D>& nodePositions,
                                     const QVector<QVector<double>>& weightsTable, QVector<QVector3D>* deformedVertices,
                                     QVector<QVector3D>* deformedNormals);

// The same from the influence table of the weights table (influenceTableOf, built on the same
// node positions): the same values, without reading the rows' zeros.
void deformVerticesAndNormalsByInfluence(const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                         const QVector<QVector<double>>& rotations,
                                         const QVector<QVector<double>>& translations,
                                         const QVector<QVector3D>& nodePositions,
                                         const QVector<VertexInfluence>& influence,
                                         QVector<QVector3D>* deformedVertices, QVector<QVector3D>* deformedNormals);

// g_i + t_i for every node.
QVector<QVector3D> deformNodes(const QVector<QVector3D>& nodePositions, const QVector<QVector<double>>& translations);

// Whole-array transforms.
QVector<QVector3D> scaleVertices(const QVector<QVector3D>& vertices, float factor);
QVector<QVector3D> transformVertices(const QVector<QVector3D>& vertices, const QMatrix4x4& matrix);
// By the inverse transpose of the matrix, then normalised.
QVector<QVector3D> transformNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix);

}  // namespace NonRigidRegistration
