#include "mesh/IndexRemapping.h"

namespace GeometryStack {

QVector<int> usedIndicesInFirstUseOrder(const QVector<QList<int>>& indexLists, int indexCount, QVector<int>& map)
{
    map = QVector<int>(qMax(indexCount, 0), -1);
    QVector<int> used;
    for (const QList<int>& list : indexLists) {
        for (int index : list) {
            if (map.at(index) == -1) {
                map[index] = used.size();
                used.append(index);
            }
        }
    }
    return used;
}

QVector<QList<int>> remapIndexLists(const QVector<QList<int>>& indexLists, const QVector<int>& map)
{
    QVector<QList<int>> result(indexLists.size());
    for (int i = 0; i < indexLists.size(); ++i) {
        QList<int>& list = result[i];
        list.reserve(indexLists.at(i).size());
        for (int index : indexLists.at(i))
            list.append(map.at(index));
    }
    return result;
}

}  // namespace GeometryStack
