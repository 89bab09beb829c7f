#pragma once
// Index lists of a part of a mesh: the indices it uses, in order of first use, renumbered.
#include <QList>
#include <QVector>

namespace GeometryStack {

// The indices used by the lists in order of first use; map becomes one entry per index (-1 for
// unused ones) holding each used index's position in the result.
QVector<int> usedIndicesInFirstUseOrder(const QVector<QList<int>>& indexLists, int indexCount, QVector<int>& map);
// The lists with every index i replaced by map[i].
QVector<QList<int>> remapIndexLists(const QVector<QList<int>>& indexLists, const QVector<int>& map);

}  // namespace GeometryStack
