#pragma once
// The march's per-vertex records: in pages set up when first written (a march over the mesh),
// or in a geometry's flat scratch reset after the march (a march over a geometry).
#include "spatial/FastMarching.h"
#include "spatial/MarchScratch.h"

#include <QVector>

#include <algorithm>
#include <vector>

namespace FastMarching {
namespace Marching {

using namespace MeshAccess;

// Per-vertex records in pages of 64 vertices, set up when first written; unwritten vertices read
// as unreached, not alive and not waiting.
class PagedTable {
public:
    explicit PagedTable(int nVertices) : pageOffsets_(size_t(nVertices + pageSize - 1) / pageSize, -1) {}

    const VertexRecord& at(int vertex) const
    {
        const int offset = pageOffsets_[size_t(vertex) >> pageBits];
        return offset < 0 ? blank : records_[size_t(offset) + (size_t(vertex) & pageMask)];
    }

    // The reference holds until the next call of edit.
    VertexRecord& edit(int vertex)
    {
        int& offset = pageOffsets_[size_t(vertex) >> pageBits];
        if (offset < 0) {
            offset = int(records_.size());
            records_.resize(records_.size() + pageSize, blank);
        }
        return records_[size_t(offset) + (size_t(vertex) & pageMask)];
    }

    QVector<double> distances(int nVertices) const
    {
        QVector<double> result(nVertices, unreachedDistance);
        for (size_t page = 0; page < pageOffsets_.size(); ++page) {
            if (pageOffsets_[page] < 0)
                continue;
            const int first = int(page * pageSize);
            const int last = std::min(nVertices, first + pageSize);
            for (int v = first; v < last; ++v)
                result[v] = records_[size_t(pageOffsets_[page]) + size_t(v - first)].distance;
        }
        return result;
    }

private:
    static constexpr int pageBits = 6;
    static constexpr int pageSize = 1 << pageBits;
    static constexpr size_t pageMask = pageSize - 1;
    static constexpr VertexRecord blank{};

    std::vector<int> pageOffsets_;
    std::vector<VertexRecord> records_;
};

// Per-vertex records in a scratch that holds one blank record per vertex; the vertices written
// are listed, so that the scratch can be made blank again at that cost.
class FlatTable {
public:
    explicit FlatTable(MarchScratch& scratch) : records_(scratch.records), written_(scratch.written) {}

    const VertexRecord& at(int vertex) const { return records_[size_t(vertex)]; }

    VertexRecord& edit(int vertex)
    {
        VertexRecord& record = records_[size_t(vertex)];
        if (!record.written) {
            record.written = true;
            written_.push_back(vertex);
        }
        return record;
    }

    QVector<double> distances(int nVertices) const
    {
        QVector<double> result(nVertices, unreachedDistance);
        for (int vertex : written_)
            result[vertex] = records_[size_t(vertex)].distance;
        return result;
    }

private:
    std::vector<VertexRecord>& records_;
    std::vector<int>& written_;
};

template <typename Table>
struct TableState {
    const Table& table;
    bool isAlive(int vertex) const { return table.at(vertex).alive; }
    double distanceOf(int vertex) const { return table.at(vertex).distance; }
};

}  // namespace Marching
}  // namespace FastMarching
