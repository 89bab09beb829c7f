#pragma once
// Random subsampling of mesh vertices or points: samples are drawn one at a time among the items
// still free, and each sample absorbs the free items within a radius of it. Every draw comes from
// the calling thread's generator (numerics/Random.h), one per sample and nothing else, so a seed
// fixes the samples.
#include "mesh/HalfEdge.h"
#include "spatial/MarchGeometry.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace Decimation {

// Thins candidateVertices by geodesic distance over the mesh. Returns the samples as positions in
// candidateVertices, in drawing order; *aggregatedNodeIndices (cleared first) receives one list per
// sample: its own position, then the positions of the free candidates within radius of it
// (inclusive), in the order the march reached them. Every candidate position ends in exactly one
// list. A vertex listed twice is absorbed only through its last position.
QList<int> subsampleNodesGeodesic(const HE::HalfEdgeGeom& mesh, double radius, const QList<int>& candidateVertices,
                                  QList<QList<int>>* aggregatedNodeIndices);
// The same, marching over a geometry taken from the mesh: the same samples and lists, for less
// work per march where one geometry serves many subsamplings.
QList<int> subsampleNodesGeodesic(const FastMarching::MarchGeometry& geometry, double radius,
                                  const QList<int>& candidateVertices, QList<QList<int>>* aggregatedNodeIndices);

// The same procedure over vertex indices: all vertices when vertexIndices is empty, else the
// listed ones. Returns the sampled vertices; each aggregation list holds only the vertices its
// sample absorbed.
QList<int> uniformSubsampleGeodesic(const HE::HalfEdgeGeom& mesh, double radius,
                                    QList<QList<int>>* aggregatedVertexIndices, const QList<int>& vertexIndices);

// Euclidean form with radius 1 over a point list: returns the sampled point indices; each
// aggregation list holds the free points within 1 of its sample (itself included), ascending.
QList<int> uniformSubsample(const QVector<QVector3D>& points, QList<QList<int>>* aggregatedPointIndices);

// Position of the n-th element (from 0) equal to value, -1 when there are fewer.
int findNthElementWithSpecificValue(int n, const QVector<bool>& elements, bool value);

int countElementsWithSpecificValue(const QVector<bool>& elements, bool value);

// Removes the entries at the given positions, from the last listed position to the first,
// skipping positions outside the list; ascending positions remove exactly the listed entries.
template <typename T>
void removeAtIndices(const QList<int>& positions, QList<T>& list)
{
    for (int i = positions.size() - 1; i >= 0; --i) {
        const int position = positions.at(i);
        if (position >= 0 && position < list.size())
            list.removeAt(position);
    }
}

}  // namespace Decimation
