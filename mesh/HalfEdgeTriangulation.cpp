// In-place fan triangulation of the faces of a half-edge mesh.
#include "mesh/HalfEdge.h"

namespace HE {

void HalfEdgeGeom::triangulateFace(int face, QList<int>* triangleIndices)
{
    if (triangleIndices) {
        triangleIndices->clear();
        triangleIndices->append(face);
    }
    const QList<int> corners = getFaceVertexIndices(face);
    if (corners.size() < 3)
        return;

    int origin = findOptimalTriangleFanOrigin(faceVertexPositions(face));
    if (origin < 0)
        origin = 0;  // every diagonal sum NaN or infinite: any fan is as good as another
    const int fanVertex = corners.at(origin);

    const int hIn = findHalfEdge(face, fanVertex);
    int a = halfEdges.at(hIn).next;
    halfEdges[a].face = face;
    faces[face] = a;
    int cur = halfEdges.at(a).next;
    int curFace = face;

    // One diagonal pair per further triangle; a face of n corners needs n - 3 of them.
    for (int added = 0; halfEdges.at(cur).next != hIn && added < corners.size() - 3; ++added) {
        const int closing = addHalfEdge(HalfEdge(a, cur, -1, fanVertex, curFace));
        const int following = halfEdges.at(cur).next;
        const int newFace = addFace(-1);
        halfEdges[following].face = newFace;
        const int opening = addHalfEdge(HalfEdge(following, -1, closing, end(cur), newFace));
        halfEdges[closing].opposite = opening;
        halfEdges[cur].next = closing;
        halfEdges[cur].prev = a;
        halfEdges[a].prev = closing;
        faces[newFace] = opening;
        if (triangleIndices)
            triangleIndices->append(newFace);
        curFace = newFace;
        a = opening;
        cur = following;
    }

    halfEdges[hIn].face = curFace;
    halfEdges[hIn].next = a;
    halfEdges[a].prev = hIn;
    halfEdges[cur].prev = a;
}

void HalfEdgeGeom::triangulateFaces(QVector<int>& triangleIndToPolygonInd)
{
    const int nFaces = faces.size();
    QVector<QList<int>> triangleLists(nFaces);
    for (int f = 0; f < nFaces; ++f)
        triangulateFace(f, &triangleLists[f]);
    triangleIndToPolygonInd.resize(faces.size());
    for (int f = 0; f < nFaces; ++f)
        for (int triangle : triangleLists.at(f))
            triangleIndToPolygonInd[triangle] = f;
}

void HalfEdgeGeom::triangulateFaces()
{
    for (int f = 0; f < faces.size(); ++f)
        triangulateFace(f);
}

}  // namespace HE
