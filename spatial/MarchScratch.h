#pragma once
// Working memory of one fast march: the per-vertex records and the narrow band's storage. Used
// only inside the march; a scratch handed back to its MarchGeometry holds blank records again, so
// the next march may take it up without setting up anything but what it touches.
#include <memory>
#include <vector>

namespace FastMarching {

// Distance of a vertex that no path reaches (the largest double), as in FastMarching.h.
constexpr double blankDistance = 1.7976931348623157e308;

struct VertexRecord {
    double distance = blankDistance;
    int bandEntries = 0;   // how often the vertex waits in the band
    int latestEntry = -1;  // its latest insertion number
    int changedAt = 0;     // march clock of the latest change of its distance or of its alive flag
    int updatedAt = 0;     // march clock of its latest update from its faces; 0: not updated yet
    bool alive = false;
    bool written = false;  // set up by the current march (flat tables only)
};

// One band entry in the heap order: smaller distance first, then earlier insertion.
struct BandKey {
    double distance;
    int sequence;
    int vertex;
};

// The band's storage; emptied at the start of every march, its capacity kept.
struct BandBuffers {
    std::vector<BandKey> heap;      // one key per waiting entry
    std::vector<int> entryVertex;   // by insertion number
    std::vector<int> heapPosition;  // by insertion number: where its key lies, -1 once taken

    void clear()
    {
        heap.clear();
        entryVertex.clear();
        heapPosition.clear();
    }
};

struct MarchScratch {
    std::vector<VertexRecord> records;  // blank outside a march
    std::vector<int> written;           // the vertices whose records the current march set up
    BandBuffers band;
};

class MarchGeometry;

// Holds one scratch of a geometry for the duration of a march and hands it back at the end.
class ScratchLease {
public:
    explicit ScratchLease(const MarchGeometry& geometry);
    ~ScratchLease();
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;

    MarchScratch& scratch() { return *scratch_; }

private:
    const MarchGeometry& geometry_;
    std::unique_ptr<MarchScratch> scratch_;
};

}  // namespace FastMarching
