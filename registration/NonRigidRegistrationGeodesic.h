#pragma once
// Skinning weights of the template vertices with respect to the nodes of one graph level,
// from geodesic distances: each vertex looks for its k + 1 nearest nodes along the surface,
// and the farthest of them marks where the influence of the others has faded to zero:
//   w_i = (1 - (d_i / d_max)^2)^3, then divided by the row's sum.
// A vertex that reaches a single node gets exactly 1.0 for it; a vertex whose nodes all lie
// at the same distance gets equal weights; a vertex that reaches none keeps an empty row.
#include "mesh/HalfEdge.h"
#include "spatial/FastMarching.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchReach.h"

#include <QList>
#include <QVector>

#include <functional>

namespace NonRigidRegistration {

// One per table computation, on the computing function's stack; read-only for the workers.
struct WeightsTableSharedParams {
    int k = 0;
    int nNodes = 0;
    const HE::HalfEdgeGeom* mesh = nullptr;
    const QVector<bool>* nodeMask = nullptr;     // true at the vertex of every node
    const QVector<int>* vertexToNode = nullptr;  // node index at its vertex, elsewhere -1
    const QVector<bool>* vertexMask = nullptr;   // empty: every row; else true where a row is wanted
    // Taken once from mesh for all rows; null: the rows march over the mesh itself (same rows).
    const FastMarching::MarchGeometry* geometry = nullptr;
    // Taken from geometry and nodeMask; null: every march runs until it has k + 1 nodes or no more
    // vertices (same rows).
    const FastMarching::MarchReach* reach = nullptr;
};

// One per template vertex: the item of the parallel map.
struct WeightsTableContext {
    int vertexInd = -1;
    const WeightsTableSharedParams* params = nullptr;
    QVector<double> weights;  // the row; stays empty for a skipped vertex
};

// Rows for every vertex (vertexMask empty) or for the vertices marked in vertexMask (others
// empty); node j is the vertex at position j of nodeVertexIndices. The rows are spread over
// the global thread pool and the call returns when all are done; they share one march geometry
// of the mesh, taken before the map, and what each march can reach of the nodes, so that a march
// that cannot find k + 1 nodes ends with the last one it can.
QVector<QVector<double>> buildWeightsTableGeodesicThreaded(const QList<int>& nodeVertexIndices,
                                                           const HE::HalfEdgeGeom& mesh, int k,
                                                           const QVector<bool>& vertexMask);

// The same table, row after row in the calling thread, each row marching over the mesh itself.
QVector<QVector<double>> buildWeightsTableGeodesic(const QList<int>& nodeVertexIndices, const HE::HalfEdgeGeom& mesh,
                                                   int k, const QVector<bool>& vertexMask);

// The row of a vertex from its nearest nodes (as the k + 1 nearest query lists them, the
// farthest last); node j is the one at vertexToNode's value j. Empty when none was found.
QVector<double> weightsRow(const QList<int>& found, const QList<double>& distances, int nNodes,
                           const QVector<int>& vertexToNode);

// The k + 1 nearest nodes of a vertex, found beforehand; called from several threads at once.
using NearestNodesOf = std::function<const FastMarching::NearestVertices&(int vertex)>;

// The table of buildWeightsTableGeodesicThreaded from nearest nodes found beforehand (same rows
// when they are what its marches would find), the rows spread over the global thread pool.
QVector<QVector<double>> buildWeightsTableFromNearest(const QList<int>& nodeVertexIndices, int nVertices,
                                                      const QVector<bool>& vertexMask, const NearestNodesOf& nearest);

// Fills item.weights (the map's worker).
void buildWeightsTableGeodesicRow(WeightsTableContext& item);

}  // namespace NonRigidRegistration
