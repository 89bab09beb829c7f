#include "spatial/MarchGeometry.h"

#include "spatial/FastMarchingMeshAccess.h"
#include "spatial/MarchScratch.h"

namespace FastMarching {

using namespace MeshAccess;

namespace {

bool inRange(int index, int size)
{
    return index >= 0 && index < size;
}

// Every index in range and every face half-edge with a successor and a twin: the precondition for
// reading the mesh ahead of the march, which the march itself only ever reads where it goes.
bool linksIntact(const HE::HalfEdgeGeom& mesh)
{
    const int nHalfEdges = mesh.halfEdges.size();
    const int nVertices = mesh.vertexHalfEdges.size();
    const int nFaces = mesh.faces.size();
    if (mesh.vertices.size() < nVertices)
        return false;
    for (const HE::HalfEdge& halfEdge : mesh.halfEdges) {
        if (!inRange(halfEdge.vertex, nVertices) || !inRange(halfEdge.opposite, nHalfEdges))
            return false;
        if (halfEdge.next < -1 || halfEdge.next >= nHalfEdges || halfEdge.face < -1 || halfEdge.face >= nFaces)
            return false;
        if (halfEdge.face >= 0 && halfEdge.next < 0)
            return false;
    }
    for (int first : mesh.faces)
        if (first < -1 || first >= nHalfEdges)
            return false;
    for (int outgoing : mesh.vertexHalfEdges)
        if (outgoing < -1 || outgoing >= nHalfEdges)
            return false;
    return true;
}

// The corner as the vertex update would treat it on every visit; the lengths of a support corner
// are appended to supportLengths, as obtuseUpdate passes them to the triangle updates, and those of
// a corner updated along its edges to edgeLengths.
CornerUpdate cornerUpdate(const HE::HalfEdgeGeom& mesh, int incoming, int face, std::vector<double>& supportLengths,
                          std::vector<double>& edgeLengths)
{
    CornerUpdate update;
    if (faceHasZeroLengthEdge(mesh, face)) {
        update.kind = CornerUpdate::SkippedFace;
        return update;
    }
    const Corner corner(mesh, incoming);
    update.a = corner.a;
    update.b = corner.b;
    if (isAngleAtEndAcute(mesh, incoming)) {
        update.kind = CornerUpdate::Acute;
        // Single-precision values widened by the march, so kept exactly as floats.
        update.lengthCA = length(mesh.vertices.at(corner.a) - mesh.vertices.at(corner.c));
        update.lengthCB = length(mesh.vertices.at(corner.b) - mesh.vertices.at(corner.c));
        update.squaredAB = squaredLength(mesh.vertices.at(corner.b) - mesh.vertices.at(corner.a));
        return update;
    }
    double lengthCB = 0.0, lengthCA = 0.0, lengthDB = 0.0, lengthDA = 0.0, lengthDC = 0.0;
    const bool found = unfoldSupportVertex(incoming, mesh, lengthCB, lengthCA, lengthDB, lengthDA, lengthDC, update.d,
                                           &update.unfoldMetZeroLengthFace);
    if (!found) {
        update.kind = CornerUpdate::AlongEdges;
        update.firstTerms = int(edgeLengths.size());
        edgeLengths.push_back(lengthCA);
        edgeLengths.push_back(lengthCB);
        return update;
    }
    update.kind = CornerUpdate::ThroughSupport;
    update.firstTerms = int(supportLengths.size());
    supportLengths.insert(supportLengths.end(),
                          {lengthDC, lengthCB, lengthCA, lengthDB * lengthDB, lengthDA * lengthDA});
    return update;
}

}  // namespace

MarchGeometry::MarchGeometry(const HE::HalfEdgeGeom& mesh) : mesh_(mesh)
{
    build();
}

MarchGeometry::~MarchGeometry() = default;

void MarchGeometry::build()
{
    complete_ = linksIntact(mesh_);
    if (!complete_)
        return;
    nVertices_ = mesh_.vertexHalfEdges.size();
    neighbourOffsets_.reserve(size_t(nVertices_) + 1);
    cornerOffsets_.reserve(size_t(nVertices_) + 1);
    neighbours_.reserve(size_t(mesh_.halfEdges.size()));
    neighbourLengths_.reserve(size_t(mesh_.halfEdges.size()));
    corners_.reserve(size_t(mesh_.halfEdges.size()));
    neighbourOffsets_.push_back(0);
    cornerOffsets_.push_back(0);
    for (int v = 0; v < nVertices_; ++v) {
        const int outgoing = mesh_.vertexHalfEdges.at(v);
        forEachInWalk(mesh_, outgoing, HE::HalfEdgeWalk::OutgoingWalk, [&](int halfEdge) {
            const int neighbour = endOf(mesh_, halfEdge);
            neighbours_.push_back(neighbour);
            neighbourLengths_.push_back(lengthBetween(mesh_, v, neighbour));
        });
        neighbourOffsets_.push_back(int(neighbours_.size()));

        if (outgoing >= 0) {
            forEachInWalk(mesh_, edge(mesh_, outgoing).opposite, HE::HalfEdgeWalk::IncomingWalk, [&](int incoming) {
                const int face = edge(mesh_, incoming).face;
                if (face >= 0)
                    corners_.push_back(cornerUpdate(mesh_, incoming, face, supportLengths_, edgeLengths_));
            });
        }
        cornerOffsets_.push_back(int(corners_.size()));
    }
    for (int v = 0; v < nVertices_; ++v)
        for (int i = cornerOffsets_[size_t(v)]; i < cornerOffsets_[size_t(v) + 1]; ++i) {
            CornerUpdate& corner = corners_[size_t(i)];
            corner.reciprocal =
                corner.kind != CornerUpdate::SkippedFace && listsNeighbour(corner.a, v) && listsNeighbour(corner.b, v);
        }
    cornersThrough_.reserve(neighbours_.size());
    for (int v = 0; v < nVertices_; ++v)
        for (int c : neighbours(v)) {
            const Span<CornerUpdate> around = corners(c);
            if (around.end() - around.begin() > cornerMaskBits) {
                cornersThrough_.push_back(~CornerMask(0));
                continue;
            }
            CornerMask mask = 0;
            for (const CornerUpdate* corner = around.begin(); corner != around.end(); ++corner)
                if (corner->kind != CornerUpdate::Acute || !corner->reciprocal || corner->a == v || corner->b == v)
                    mask |= CornerMask(1) << (corner - around.begin());
            cornersThrough_.push_back(mask);
        }
}

bool MarchGeometry::listsNeighbour(int vertex, int neighbour) const
{
    for (int listed : neighbours(vertex))
        if (listed == neighbour)
            return true;
    return false;
}

std::unique_ptr<MarchScratch> MarchGeometry::takeScratch() const
{
    {
        std::lock_guard<std::mutex> lock(scratchMutex_);
        if (!spareScratch_.empty()) {
            std::unique_ptr<MarchScratch> scratch = std::move(spareScratch_.back());
            spareScratch_.pop_back();
            return scratch;
        }
    }
    std::unique_ptr<MarchScratch> scratch(new MarchScratch);
    scratch->records.resize(size_t(nVertices_));
    return scratch;
}

void MarchGeometry::giveBackScratch(std::unique_ptr<MarchScratch> scratch) const
{
    std::lock_guard<std::mutex> lock(scratchMutex_);
    spareScratch_.push_back(std::move(scratch));
}

ScratchLease::ScratchLease(const MarchGeometry& geometry) : geometry_(geometry), scratch_(geometry.takeScratch()) {}

ScratchLease::~ScratchLease()
{
    for (int vertex : scratch_->written)
        scratch_->records[size_t(vertex)] = VertexRecord();
    scratch_->written.clear();
    geometry_.giveBackScratch(std::move(scratch_));
}

}  // namespace FastMarching
