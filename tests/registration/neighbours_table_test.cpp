// The neighbours table of a weights table: order, symmetry, absent weights and totals.
#include "registration/NeighboursTable.h"

#include <gtest/gtest.h>

#include <QSet>

using NonRigidRegistration::buildNeighboursTable;
using NonRigidRegistration::getTotalNeighbours;

namespace {

using Table = QVector<QList<int>>;

Table table(std::initializer_list<QList<int>> lists)
{
    return Table(lists);
}

}  // namespace

TEST(NeighboursTable, ListsPairsInOrderOfFirstCoOccurrence)
{
    // Row 0 ties nodes 2 and 3, row 1 ties nodes 1 and 3: node 3 meets 2 before 1.
    const QVector<QVector<double>> weights{{0, 0, 0.5, 0.5}, {0, 0.5, 0, 0.5}};
    const Table neighbours = buildNeighboursTable(weights);
    EXPECT_EQ(neighbours, table({{}, {3}, {3}, {2, 1}}));
    EXPECT_EQ(getTotalNeighbours(neighbours), 4);
}

TEST(NeighboursTable, SingleColumnGivesOneEmptyList)
{
    const Table neighbours = buildNeighboursTable({{1.0}, {1.0}});
    EXPECT_EQ(neighbours, table({{}}));
    EXPECT_EQ(getTotalNeighbours(neighbours), 0);
}

TEST(NeighboursTable, NonPositiveAndNanWeightsCountAsAbsent)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Each row has a single positive weight, so nothing is tied; the extra entry beyond
    // the first row's length is not read.
    const QVector<QVector<double>> weights{{0.7, -0.3, 0.0}, {nan, 0.0, 1.0, 5.0}, {0.0, 2.0, -1.0}};
    const Table neighbours = buildNeighboursTable(weights);
    EXPECT_EQ(neighbours, table({{}, {}, {}}));
}

TEST(NeighboursTable, IsSymmetricWithoutSelfOrRepeats)
{
    // Rows of a ring of 12 nodes, each vertex influenced by up to 3 consecutive nodes.
    QVector<QVector<double>> weights;
    for (int v = 0; v < 40; ++v) {
        QVector<double> row(12, 0.0);
        const int first = (v * 7) % 12;
        for (int j = 0; j < 1 + v % 3; ++j)
            row[(first + j) % 12] = 0.25 + 0.1 * j;
        weights.append(row);
    }
    const Table neighbours = buildNeighboursTable(weights);
    ASSERT_EQ(neighbours.size(), 12);
    int total = 0;
    for (int i = 0; i < neighbours.size(); ++i) {
        const QList<int>& list = neighbours[i];
        EXPECT_FALSE(list.contains(i)) << "node " << i;
        EXPECT_EQ(QSet<int>(list.begin(), list.end()).size(), list.size()) << "node " << i;
        for (int d : list)
            EXPECT_TRUE(neighbours[d].contains(i)) << i << " -> " << d;
        total += list.size();
        // Truth: every pair sharing a vertex is listed.
        for (const QVector<double>& row : weights) {
            if (!(row[i] > 0))
                continue;
            for (int d = 0; d < 12; ++d) {
                if (d != i && row[d] > 0) {
                    EXPECT_TRUE(list.contains(d)) << i << " ~ " << d;
                }
            }
        }
    }
    EXPECT_EQ(getTotalNeighbours(neighbours), total);
}

TEST(NeighboursTable, TotalSumsListLengths)
{
    EXPECT_EQ(getTotalNeighbours(table({{}, {}, {}})), 0);
    EXPECT_EQ(getTotalNeighbours(table({{1, 2}, {0}, {}})), 3);
    EXPECT_EQ(getTotalNeighbours(Table()), 0);
}

TEST(NeighboursTable, ShortOrMissingRowsAreSafe)
{
    // A vertex left out of the table has an empty row; it ties nothing.
    const Table neighbours = buildNeighboursTable({{0.5, 0.5, 0.0}, {}, {0.0, 0.5}});
    EXPECT_EQ(neighbours, table({{1}, {0}, {}}));
    EXPECT_TRUE(buildNeighboursTable({}).isEmpty());
}

// A table of many long rows, scanned on the pool, lists what a plain pass in row order lists.
TEST(NeighboursTable, LargeTableMatchesAPlainPassInRowOrder)
{
    const int nodes = 300;
    QVector<QVector<double>> weights;
    for (int v = 0; v < 5000; ++v) {
        QVector<double> row(v % 97 == 5 ? 40 : nodes, 0.0);  // some short rows
        for (int j = 0; j < 1 + v % 5; ++j)
            row[(v * 31 + j * 57) % row.size()] = v % 11 == 0 && j == 0 ? -0.5 : 0.2 + 0.01 * j;
        weights.append(row);
    }
    Table plain(nodes);
    for (const QVector<double>& row : weights) {
        QList<int> positive;
        for (int i = 0; i < qMin(nodes, row.size()); ++i)
            if (row[i] > 0)
                positive << i;
        if (positive.size() < 2)
            continue;
        for (int i : positive)
            for (int d : positive)
                if (d != i && !plain[i].contains(d))
                    plain[i] << d;
    }
    EXPECT_EQ(buildNeighboursTable(weights), plain);
}
