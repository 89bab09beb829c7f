#pragma once
// What a fast march reads of a mesh, taken once: per vertex its neighbours in the order of
// HE::HalfEdgeGeom::vertexNeighbours (with the edge lengths that seed a march), and per vertex the
// corners of its incoming half-edges in walk order, each with its face flags, its lengths and the
// outcome of the unfolding for a corner that is not acute. Every value is computed by the same
// operations the march over the mesh performs on each visit, so a march over the geometry gives
// the same distances, order and log lines, with none of the per-step recomputation.
//
// Built from a mesh that must stay alive and unchanged while the geometry is used. Once built it
// is only read (apart from its internal pool of march memory, which is locked), so one geometry
// may serve marches on many threads at once. A mesh whose links are not all intact (an index out
// of range, a face half-edge without successor or twin) is not taken apart: the marches over such
// a geometry run over the mesh itself.
#include "mesh/HalfEdge.h"
#include "spatial/TriangleUpdate.h"

#include <QVector>

#include <memory>
#include <mutex>
#include <vector>

namespace FastMarching {

struct MarchScratch;

// The update of a vertex C from the corner triangle (A, C, B) of one incoming half-edge, packed
// small, as a march reads several for every vertex it updates. An acute corner keeps its lengths
// in single precision, which is how they are taken (exact); the other corners' lengths lie in the
// geometry's tables. The triangle terms (TriangleUpdate.h) are formed from the lengths when an
// update solves: a march is slowed more by reading them than by forming them.
struct CornerUpdate {
    enum Kind : unsigned char {
        Acute,           // the triangle update from A and B
        ThroughSupport,  // not acute, support vertex D found: two triangle updates through D
        AlongEdges,      // not acute, no support vertex: the corner's two edges
        SkippedFace      // the face has a zero-length edge: no update, a debug line
    };
    // Positions in a ThroughSupport corner's lengths: CD, CB and CA, and the squares of DB and DA.
    enum SupportLengths { LengthCD = 0, LengthCB = 1, LengthCA = 2, SquaredDB = 3, SquaredDA = 4 };

    int a = -1;
    int b = -1;
    union {
        float lengthCA = 0.0f;  // Acute
        int d;                  // ThroughSupport
    };
    union {
        float lengthCB = 0.0f;  // Acute
        int firstTerms;         // ThroughSupport: its lengths; AlongEdges: its lengths CA and CB
    };
    float squaredAB = 0.0f;  // Acute only
    Kind kind = SkippedFace;
    bool unfoldMetZeroLengthFace = false;  // the unfolding stopped at a face with a zero-length edge
    bool reciprocal = false;               // C is among the neighbours of both A and B
};

template <typename T>
struct Span {
    const T* first;
    const T* last;
    const T* begin() const { return first; }
    const T* end() const { return last; }
};

class MarchGeometry {
public:
    explicit MarchGeometry(const HE::HalfEdgeGeom& mesh);
    ~MarchGeometry();
    MarchGeometry(const MarchGeometry&) = delete;
    MarchGeometry& operator=(const MarchGeometry&) = delete;

    const HE::HalfEdgeGeom& mesh() const { return mesh_; }
    // False when the mesh's links are not all intact; nothing else is then filled in.
    bool isComplete() const { return complete_; }
    int vertexCount() const { return nVertices_; }

    Span<int> neighbours(int vertex) const
    {
        return {neighbours_.data() + neighbourOffsets_[size_t(vertex)],
                neighbours_.data() + neighbourOffsets_[size_t(vertex) + 1]};
    }
    // Length of the edge from the vertex to each neighbour, parallel to neighbours(vertex).
    const double* neighbourLengths(int vertex) const
    {
        return neighbourLengths_.data() + neighbourOffsets_[size_t(vertex)];
    }
    // The lengths of a ThroughSupport corner (CornerUpdate::SupportLengths).
    const double* supportLengths(const CornerUpdate& corner) const
    {
        return supportLengths_.data() + corner.firstTerms;
    }
    // Lengths CA and CB of an AlongEdges corner.
    const double* edgeLengths(const CornerUpdate& corner) const { return edgeLengths_.data() + corner.firstTerms; }
    // The corners of the vertex's incoming half-edges that lie in a face, in walk order.
    Span<CornerUpdate> corners(int vertex) const
    {
        return {corners_.data() + cornerOffsets_[size_t(vertex)], corners_.data() + cornerOffsets_[size_t(vertex) + 1]};
    }
    // Entry of a neighbour list: the neighbour at position i of neighbours(vertex) is entry
    // neighbourEntry(vertex) + i.
    int neighbourEntry(int vertex) const { return neighbourOffsets_[size_t(vertex)]; }
    // For the entry of neighbour C in the list of vertex V, bit i set for C's corner i unless that
    // corner is acute and reciprocal without V as A or B: once C has been updated, accepting V
    // can change no such corner of C. Every bit is set for a vertex with more corners than bits.
    using CornerMask = unsigned int;
    static constexpr int cornerMaskBits = 32;
    CornerMask cornersThrough(int entry) const { return cornersThrough_[size_t(entry)]; }

private:
    friend class ScratchLease;

    void build();
    bool listsNeighbour(int vertex, int neighbour) const;
    std::unique_ptr<MarchScratch> takeScratch() const;
    void giveBackScratch(std::unique_ptr<MarchScratch> scratch) const;

    const HE::HalfEdgeGeom& mesh_;
    bool complete_ = false;
    int nVertices_ = 0;
    std::vector<int> neighbourOffsets_;
    std::vector<int> neighbours_;
    std::vector<double> neighbourLengths_;
    std::vector<int> cornerOffsets_;
    std::vector<CornerUpdate> corners_;
    std::vector<double> supportLengths_;
    std::vector<double> edgeLengths_;
    std::vector<CornerMask> cornersThrough_;  // by neighbour entry

    mutable std::mutex scratchMutex_;
    mutable std::vector<std::unique_ptr<MarchScratch>> spareScratch_;
};

}  // namespace FastMarching
