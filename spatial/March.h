#pragma once
// One fast march from a source: the vertex records and the narrow band, over either kind of
// reads and tables; the queries of FastMarching.cpp drive it.
#include "spatial/MarchReads.h"
#include "spatial/MarchScratch.h"
#include "spatial/MarchTables.h"

#include <QList>

#include <cmath>
#include <vector>

namespace FastMarching {
namespace Marching {

using namespace MeshAccess;

// Position of the first smallest distance in a band.
template <typename DistanceOf>
int firstMinimumPosition(const QList<int>& band, DistanceOf distanceOf)
{
    int best = 0;
    for (int i = 1; i < band.size(); ++i)
        if (distanceOf(band.at(i)) < distanceOf(band.at(best)))
            best = i;
    return best;
}

// One march: the vertex records and the narrow band, seeded from the source's neighbours.
//
// The band: the march appends a vertex only when it is not waiting already, except while seeding,
// where a neighbour listed twice is appended twice. The heap holds one (distance, insertion number)
// key per waiting entry and knows where each lies, so a changed distance moves its key in place.
// A distance that is not a number has no place in that order,
// so the band then turns into the plain insertion-ordered list with its linear scan for the rest
// of the march.
template <typename Table, typename Reads>
class March {
public:
    March(int source, Reads reads, Table& table, BandBuffers& band) : reads_(reads), table_(table), band_(band)
    {
        band_.clear();
        VertexRecord& start = table_.edit(source);
        start.distance = 0.0;
        start.alive = true;
        reads_.forEachSeed(source, [&](int neighbour, double length) {
            table_.edit(neighbour).distance = length;
            if (table_.at(neighbour).bandEntries > 0)
                distanceChanged(neighbour);
            append(neighbour);
        });
    }

    bool hasWaiting() const { return liveEntries_ > 0; }

    // Takes the waiting vertex of smallest distance and makes it alive.
    int acceptNext()
    {
        const int vertex = takeMinimum();
        VertexRecord& record = table_.edit(vertex);
        record.alive = true;
        record.changedAt = ++clock_;
        return vertex;
    }

    void updateNeighbours(int vertex)
    {
        reads_.forEachNeighbour(vertex, [&](int neighbour, int entry) {
            const VertexRecord& before = table_.at(neighbour);
            if (before.alive)
                return;
            const double previous = before.distance;
            const UpdateContext context{vertex, before.updatedAt, !linear_, entry};
            const int now = ++clock_;
            const double updated = reads_.update(neighbour, TableState<Table>{table_}, context);
            VertexRecord& record = table_.edit(neighbour);
            record.distance = updated;
            record.updatedAt = now;
            if (!(updated == previous))
                record.changedAt = now;
            if (record.bandEntries == 0)
                append(neighbour);
            else if (!(updated == previous))
                distanceFell(neighbour);
        });
    }

    double distance(int vertex) const { return table_.at(vertex).distance; }
    QVector<double> distances() const { return table_.distances(reads_.vertexCount()); }

private:
    // x comes after y in the band's order. Evaluated whole, without branches: which way it goes is
    // hard to foresee.
    static bool later(const BandKey& x, const BandKey& y)
    {
        return (x.distance > y.distance) | ((x.distance == y.distance) & (x.sequence > y.sequence));
    }

    void place(const BandKey& key, size_t position)
    {
        band_.heap[position] = key;
        band_.heapPosition[size_t(key.sequence)] = int(position);
    }

    void siftUp(size_t position)
    {
        const BandKey key = band_.heap[position];
        while (position > 0) {
            const size_t parent = (position - 1) / 2;
            if (!later(band_.heap[parent], key))
                break;
            place(band_.heap[parent], position);
            position = parent;
        }
        place(key, position);
    }

    void siftDown(size_t position)
    {
        const BandKey key = band_.heap[position];
        const size_t size = band_.heap.size();
        for (;;) {
            size_t child = 2 * position + 1;
            if (child >= size)
                break;
            if (child + 1 < size && later(band_.heap[child], band_.heap[child + 1]))
                ++child;
            if (!later(key, band_.heap[child]))
                break;
            place(band_.heap[child], position);
            position = child;
        }
        place(key, position);
    }

    // The root's key is gone: the hole it leaves moves down along the earlier children to the
    // bottom, where the key that was last goes in and rises to its place. The keys are all
    // distinct in the band's order, so the band yields the same order whichever way it is kept;
    // this way takes fewer comparisons than sifting the last key down from the root, as that key
    // tends to belong near the bottom.
    void fillRoot(const BandKey& last)
    {
        const size_t size = band_.heap.size();
        size_t position = 0;
        for (size_t child = 1; child < size; child = 2 * position + 1) {
            if (child + 1 < size)
                child += size_t(later(band_.heap[child], band_.heap[child + 1]));
            place(band_.heap[child], position);
            position = child;
        }
        band_.heap[position] = last;
        siftUp(position);
    }

    void push(const BandKey& key)
    {
        band_.heap.push_back(key);
        siftUp(band_.heap.size() - 1);
    }

    // The entry's key takes its vertex's current distance; fell: that distance is no larger than
    // the key's.
    void rekey(int sequence, double distance, bool fell)
    {
        const size_t position = size_t(band_.heapPosition[size_t(sequence)]);
        band_.heap[position].distance = distance;
        siftUp(position);
        if (!fell)
            siftDown(size_t(band_.heapPosition[size_t(sequence)]));
    }

    void append(int vertex)
    {
        const int sequence = int(band_.entryVertex.size());
        VertexRecord& record = table_.edit(vertex);
        if (record.bandEntries > 0)
            hasRepeatedEntries_ = true;
        ++record.bandEntries;
        record.latestEntry = sequence;
        band_.entryVertex.push_back(vertex);
        band_.heapPosition.push_back(-1);
        ++liveEntries_;
        if (linear_) {
            list_.append(vertex);
            return;
        }
        if (std::isnan(record.distance)) {
            switchToList();
            list_.append(vertex);  // the newest entry, last in insertion order
            return;
        }
        push(BandKey{record.distance, sequence, vertex});
    }

    // The vertex is waiting and its distance has just changed: every entry of it takes it.
    void distanceChanged(int vertex) { moveEntries(vertex, false); }

    // distanceChanged for a distance that can only have fallen (or become not a number), as an
    // update's does: the update starts from the current distance and only ever takes a smaller
    // one. A smaller key belongs no lower in the heap, so its entries only need to rise.
    void distanceFell(int vertex) { moveEntries(vertex, true); }

    void moveEntries(int vertex, bool fell)
    {
        if (linear_)
            return;
        const VertexRecord record = table_.at(vertex);
        if (std::isnan(record.distance)) {
            switchToList();
            return;
        }
        rekey(record.latestEntry, record.distance, fell);
        if (hasRepeatedEntries_ && record.bandEntries > 1)
            for (size_t sequence = 0; sequence < band_.entryVertex.size(); ++sequence)
                if (band_.heapPosition[sequence] >= 0 && band_.entryVertex[sequence] == vertex &&
                    int(sequence) != record.latestEntry)
                    rekey(int(sequence), record.distance, fell);
    }

    int takeMinimum()
    {
        if (linear_) {
            const int position = firstMinimumPosition(list_, [this](int v) { return table_.at(v).distance; });
            const int vertex = list_.takeAt(position);
            --table_.edit(vertex).bandEntries;
            --liveEntries_;
            return vertex;
        }
        const BandKey first = band_.heap.front();
        band_.heapPosition[size_t(first.sequence)] = -1;
        const BandKey last = band_.heap.back();
        band_.heap.pop_back();
        if (!band_.heap.empty())
            fillRoot(last);
        --table_.edit(first.vertex).bandEntries;
        --liveEntries_;
        return first.vertex;
    }

    void switchToList()
    {
        linear_ = true;
        for (size_t sequence = 0; sequence < band_.entryVertex.size(); ++sequence)
            if (band_.heapPosition[sequence] >= 0)
                list_.append(band_.entryVertex[sequence]);
        band_.heap.clear();
    }

    Reads reads_;
    Table& table_;
    BandBuffers& band_;
    int liveEntries_ = 0;
    int clock_ = 0;  // counts acceptances and updates, in the order they happen
    bool hasRepeatedEntries_ = false;
    bool linear_ = false;
    QList<int> list_;
};

}  // namespace Marching
}  // namespace FastMarching
