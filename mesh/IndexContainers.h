#pragma once
// Counting, flattening and picking by index over Qt containers.
#include <QVector>

namespace GeometryStack {

// Sum of the inner sizes.
template <typename L>
int countElements(const QVector<L>& lists)
{
    int count = 0;
    for (const L& list : lists)
        count += list.size();
    return count;
}

// All inner elements in order.
template <typename L>
QVector<typename L::value_type> flatten(const QVector<L>& lists)
{
    QVector<typename L::value_type> result(countElements(lists));
    int k = 0;
    for (const L& list : lists)
        for (const auto& value : list)
            result[k++] = value;
    return result;
}

// values[indices[k]] for every k, in index order.
template <typename T, typename Indices>
QVector<T> takeByIndices(const QVector<T>& values, const Indices& indices)
{
    QVector<T> result(indices.size());
    int k = 0;
    for (int index : indices)
        result[k++] = values.at(index);
    return result;
}

// The values at every index of the lists, list by list.
template <typename T>
QVector<T> takeByIndexLists(const QVector<QList<int>>& indexLists, const QVector<T>& values)
{
    return takeByIndices(values, flatten(indexLists));
}

}  // namespace GeometryStack
