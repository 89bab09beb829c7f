#include "registration/NeighboursTable.h"

#include <QtGlobal>

namespace NonRigidRegistration {

QVector<QList<int> > buildNeighboursTable(const QVector<QVector<double> >& weightsTable)
{
    const int nodeCount = weightsTable.isEmpty() ? 0 : weightsTable.first().size();
    QVector<QList<int> > table(nodeCount);
    QVector<int> influencing;
    for (const QVector<double>& row : weightsTable) {
        // Collect the positive entries first: rows are long and mostly zero.
        influencing.clear();
        // A short row (a vertex left out) offers only the entries it holds.
        const double* weights = row.constData();
        const int count = qMin(nodeCount, row.size());
        for (int i = 0; i < count; ++i)
            if (weights[i] > 0)
                influencing.append(i);
        if (influencing.size() < 2)
            continue;
        for (int i : influencing) {
            QList<int>& neighbours = table[i];
            for (int d : influencing)
                if (d != i && !neighbours.contains(d))
                    neighbours.append(d);
        }
    }
    return table;
}

int getTotalNeighbours(const QVector<QList<int> >& neighboursTable)
{
    int total = 0;
    for (const QList<int>& neighbours : neighboursTable)
        total += neighbours.size();
    return total;
}

}  // namespace NonRigidRegistration
