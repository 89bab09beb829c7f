// The deformation graph base: default records, node transforms, copies and subclasses.
#include "registration/DynamicGraph.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

using namespace DynamicGraph;

namespace {

// Five template vertices; nodes on vertices 3 and 1, node 3 aggregating 3 and 4 (4 with a
// child of its own), node 1 aggregating 1, 0 and 2.
const QVector<QVector3D> kVertices{QVector3D(0, 0, 0), QVector3D(1, 0, 0), QVector3D(0, 2, 0), QVector3D(0, 0, 3),
                                   QVector3D(4, 4, 4)};

QVector<Node> twoNodes()
{
    Node a;
    a.vertexInd = 3;
    a.r = {1, 0, 0};
    a.t = {0.5, -1, 2};
    ChildNode grandChild;
    grandChild.vertexInd = 0;
    a.children = {ChildNode{3, {}}, ChildNode{4, {grandChild}}};
    Node b;
    b.vertexInd = 1;
    b.r = {0, 0, 0};
    b.t = {0, 0, 0};
    b.children = {ChildNode{1, {}}, ChildNode{0, {}}, ChildNode{2, {}}};
    return {a, b};
}

}  // namespace

TEST(GraphBase, DefaultRecordsAreEmpty)
{
    const Node node;
    EXPECT_TRUE(node.r.isEmpty());
    EXPECT_TRUE(node.t.isEmpty());
    EXPECT_EQ(node.vertexInd, -1);
    EXPECT_TRUE(node.children.isEmpty());
    const ChildNode child;
    EXPECT_EQ(child.vertexInd, -1);
    EXPECT_TRUE(child.children.isEmpty());
}

TEST(GraphBase, VirtualOperationsOnlyLogTheirNotice)
{
    Graph graph(kVertices, 4);
    EXPECT_EQ(graph.levelsCount(), -1);
    EXPECT_EQ(graph.getK(), 4);
    EXPECT_TRUE(graph.nodes().isEmpty());

    TestSupport::LogCapture log;
    graph.subdivide();
    EXPECT_TRUE(graph.deformVertices().isEmpty());
    EXPECT_TRUE(graph.deformVertices(QVector<QVector<double>>{{1.0}}).isEmpty());
    EXPECT_TRUE(graph.weightsTable().isEmpty());
    EXPECT_EQ(graph.clone(), nullptr);
    EXPECT_EQ(log.texts(QtDebugMsg),
              QStringList({"Calling virtual method Graph::subdivide()", "Calling virtual method Graph::deformVertices",
                           "Calling virtual method Graph::deformVertices",
                           "Calling virtual method Graph::weightsTable()", "Calling virtual method Graph::clone()"}));
    EXPECT_TRUE(graph.nodes().isEmpty());
}

TEST(GraphBase, SetNodesTransformsReplacesEveryNodeExactly)
{
    Node start;
    start.r = {1 + 0.0001, 0.0001, 0.0001};
    start.t = {0.0001, 0.0001, 0.0001};
    start.vertexInd = 0;
    Graph graph(kVertices, 4, 0, {start, start});
    // A third entry has no node and is ignored.
    graph.setNodesTransforms({{1, 2, 3}, {3, 4, 5}, {7, 7, 7}}, {{1, 2, 3}, {3, 4, 5}, {7, 7, 7}});
    EXPECT_EQ(graph.nodesRotations(), (QVector<QVector<double>>{{1, 2, 3}, {3, 4, 5}}));
    EXPECT_EQ(graph.nodesTranslations(), (QVector<QVector<double>>{{1, 2, 3}, {3, 4, 5}}));
    EXPECT_EQ(graph.graphNodes[0].r, QVector<double>({1, 2, 3}));
    EXPECT_EQ(graph.graphNodes[1].t, QVector<double>({3, 4, 5}));
}

TEST(GraphBase, AccessorsFollowNodeOrder)
{
    Graph graph(kVertices, 2, 1, twoNodes());
    EXPECT_EQ(graph.levelsCount(), 1);
    EXPECT_EQ(graph.nodes(), QVector<QVector3D>({QVector3D(0, 0, 3), QVector3D(1, 0, 0)}));
    EXPECT_EQ(graph.nodeVertexIndices(), QVector<int>({3, 1}));
    EXPECT_EQ(vertexIndicesOfNodes(graph.graphNodes), QList<int>({3, 1}));
    EXPECT_EQ(graph.nodesRotations(), (QVector<QVector<double>>{{1, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(graph.nodesTranslations(), (QVector<QVector<double>>{{0.5, -1, 2}, {0, 0, 0}}));
    EXPECT_EQ(graph.deformedNodes(), QVector<QVector3D>({QVector3D(0.5, -1, 5), QVector3D(1, 0, 0)}));

    EXPECT_EQ(graph.totalChildrenCount(), 5);
    EXPECT_EQ(childrenVertexIndices(graph.graphNodes), QList<int>({3, 4, 1, 0, 2}));
    EXPECT_EQ(childrenVertexIndices(graph.graphNodes[0].children), QList<int>({0}));

    graph.setNodeRotation(1, {0.25, 0.5, 0.75});
    graph.setNodeTranslation(0, {9, 8, 7});
    EXPECT_EQ(graph.graphNodes[1].r, QVector<double>({0.25, 0.5, 0.75}));
    EXPECT_EQ(graph.graphNodes[0].t, QVector<double>({9, 8, 7}));

    graph.scaleVertices(2.0f);
    EXPECT_EQ(graph.nodes(), QVector<QVector3D>({QVector3D(0, 0, 6), QVector3D(2, 0, 0)}));
}

TEST(GraphBase, CopiesShareNothingObservable)
{
    // The node records are values: changing a copy's transforms leaves the original alone.
    const Graph original(kVertices, 2, 1, twoNodes());
    Graph copy(original.vertices, original.k, original.levels, original.graphNodes);
    copy.setNodesTransforms({{5, 5, 5}, {6, 6, 6}}, {{1, 1, 1}, {2, 2, 2}});
    copy.graphNodes[0].children[1].children[0].vertexInd = 2;
    EXPECT_EQ(original.nodesRotations(), (QVector<QVector<double>>{{1, 0, 0}, {0, 0, 0}}));
    EXPECT_EQ(original.graphNodes[0].children[1].children[0].vertexInd, 0);
}

namespace {

// A minimal subclass, to show that the virtual operations dispatch and that a clone is
// destroyed through a base pointer.
class CountingGraph : public Graph {
public:
    CountingGraph(const QVector<QVector3D>& vertices, int* alive) : Graph(vertices, 1), alive(alive) { ++*alive; }
    ~CountingGraph() override { --*alive; }
    Graph* clone() const override { return new CountingGraph(vertices, alive); }
    void subdivide() override { levels = 7; }
    int* alive;
};

}  // namespace

TEST(GraphBase, SubclassesOverrideAndAreDeletedThroughTheBase)
{
    int alive = 0;
    Graph* graph = new CountingGraph(kVertices, &alive);
    Graph* copy = graph->clone();
    EXPECT_EQ(alive, 2);
    TestSupport::LogCapture log;
    copy->subdivide();
    EXPECT_EQ(copy->levelsCount(), 7);
    EXPECT_TRUE(log.texts().isEmpty());
    delete copy;
    delete graph;
    EXPECT_EQ(alive, 0);
}
