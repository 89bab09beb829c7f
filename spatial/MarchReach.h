#pragma once
// What a complete march from each vertex of a MarchGeometry would ever accept of a set of enabled
// vertices, so that a k-nearest query may stop as soon as nothing more can come.
//
// A march accepts exactly the vertices it can reach along the geometry's neighbour lists (its own
// relation, which is not symmetric at non-manifold vertices, where a vertex lists only one fan):
// every vertex it appends to the band is accepted in the end, and it appends the neighbours of
// every vertex it accepts. Those sets are found through the strongly connected parts of that
// relation. A source gets no count (the march runs to its natural end) when the march could
// accept a vertex twice (a repeated or self-referring seed), when what it reaches holds a corner
// that writes a debug line on its updates (stopping would drop lines), or when the parts form a
// chain too tangled to count cheaply.
#include "spatial/MarchGeometry.h"

#include <QVector>

#include <vector>

namespace FastMarching {

class MarchReach {
public:
    // enabled as the query reads it: a vertex beyond its end is not enabled.
    MarchReach(const MarchGeometry& geometry, const QVector<bool>& enabled);

    // How many enabled vertices (the source among them when enabled) a complete march from the
    // source accepts; -1 when the march must run to its natural end.
    int enabledInReach(int source) const { return count_.empty() ? -1 : count_[size_t(source)]; }

private:
    std::vector<int> count_;
};

// Some corner of the geometry writes a debug line on its updates: marches over it can't be
// shared or cut short without dropping lines.
bool anyCornerLogs(const MarchGeometry& geometry);

}  // namespace FastMarching
