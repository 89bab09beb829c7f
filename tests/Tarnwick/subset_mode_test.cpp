// Subset mode: Done with polygons selected crops the template and keeps the whole, the next entry writes the
// edited part back exactly with the box recomputed; Done with nothing selected and Cancel change nothing and keep
// the selection; loading a template in the Apply phase returns the tool to Select.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolSubset.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/widgetparamssubset.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectionwidget.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "support/ObjFiles.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QLayout>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

namespace {

bool sameBits(const QVector<QVector3D>& a, const QVector<QVector3D>& b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), sizeof(QVector3D) * a.size()) == 0;
}

struct SubsetMode : TestSupport::WindowTest {
    const int n = 6;  // 6 x 6 vertices, 25 quads

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowTest::SetUp());
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("template.obj"), TestMeshes::bumpySheet(n)));
        ASSERT_EQ(main->loadTemplate(dir.filePath("template.obj")), "");
    }

    Tools::ToolSubset* tool() const
    {
        for (Tools::Tool* t : window->toolsController()->tools)
            if (auto* subset = qobject_cast<Tools::ToolSubset*>(t))
                return subset;
        return nullptr;
    }
    QAbstractButton* toolButton() const
    {
        const int index = window->toolsController()->tools.indexOf(tool());
        return window->toolbar()->buttons.at(index);
    }
    void enter()
    {
        ASSERT_TRUE(toolButton()->isEnabled());
        QTest::mouseClick(toolButton(), Qt::LeftButton);
    }
    void press(const char* name)
    {
        QTest::mouseClick(tool()->getPanel()->findChild<QAbstractButton*>(name), Qt::LeftButton);
    }
    QVector<bool> polygons(const QList<int>& indices) const
    {
        QVector<bool> mask(main->geomStackTemplate->polygons.size(), false);
        for (int i : indices)
            mask[i] = true;
        return mask;
    }
    bool modeLeft() const
    {
        return window->toolsController()->currentToolIndex() == -1 && !tool()->getPanel() &&
               !tool()->getSelectionController() && main->paramsPlaceholder->layout()->count() == 0 &&
               main->widgetsAreaTemplate->findChildren<PolygonSelectionWidget*>().isEmpty();
    }
};

TEST_F(SubsetMode, DoneCropsAndTheNextEntryWritesTheEditedPartBackExactly)
{
    Tools::ToolSubset* t = tool();
    ASSERT_TRUE(t);
    EXPECT_EQ(toolButton()->text(), "Subset (Select)");
    const GeometryStack::GeomStack whole = *main->geomStackTemplate;

    enter();
    ASSERT_TRUE(t->getSelectionController());
    EXPECT_EQ(main->widgetsAreaTemplate->findChildren<PolygonSelectionWidget*>().size(), 1);
    t->getSelectionController()->setSelection(polygons({0, 1, 7}));
    press("btnDone");

    EXPECT_TRUE(modeLeft());
    EXPECT_EQ(t->phase, 1);
    EXPECT_EQ(toolButton()->text(), "Subset (Apply)");
    GeometryStack::GeomStack* part = main->geomStackTemplate;
    ASSERT_EQ(part->polygons.size(), 3);
    ASSERT_EQ(t->vertexMap.size(), part->vertices.size());
    ASSERT_TRUE(t->wholeTemplate);
    EXPECT_TRUE(sameBits(t->wholeTemplate->vertices, whole.vertices));
    for (int i = 0; i < part->vertices.size(); ++i)
        EXPECT_EQ(part->vertices.at(i), whole.vertices.at(t->vertexMap.at(i)));
    EXPECT_EQ(main->halfEdgeGeomTemplate->vertices.size(), part->vertices.size());
    EXPECT_EQ(main->geomStackViewTemplate->geometry, part);
    EXPECT_TRUE(part->boundingBox == Viewport3D::BoundingBox::fromPoints(part->vertices));

    // Another mode edits the part: every vertex moves, one far out so the box must grow.
    const QVector<int> map = t->vertexMap;
    for (int i = 0; i < part->vertices.size(); ++i) {
        part->vertices[i] += QVector3D(0.25f * float(i), 0, 1);
        part->normals[i] = QVector3D(0, 1, 0);
    }
    part->vertices[0] += QVector3D(0, 0, 500);
    const QVector<QVector3D> edited = part->vertices;

    enter();  // the Apply phase ends the mode within the click
    EXPECT_TRUE(modeLeft());
    EXPECT_EQ(t->phase, 0);
    EXPECT_FALSE(t->wholeTemplate);
    EXPECT_EQ(toolButton()->text(), "Subset (Select)");
    GeometryStack::GeomStack* back = main->geomStackTemplate;
    QVector<QVector3D> expectedVertices = whole.vertices, expectedNormals = whole.normals;
    for (int i = 0; i < map.size(); ++i) {
        expectedVertices[map.at(i)] = edited.at(i);
        expectedNormals[map.at(i)] = QVector3D(0, 1, 0);
    }
    EXPECT_TRUE(sameBits(back->vertices, expectedVertices));
    EXPECT_TRUE(sameBits(back->normals, expectedNormals));
    EXPECT_EQ(back->polygons, whole.polygons);
    EXPECT_EQ(back->triangles, whole.triangles);
    EXPECT_TRUE(back->boundingBox == Viewport3D::BoundingBox::fromPoints(expectedVertices));
    EXPECT_FALSE(back->boundingBox == whole.boundingBox);
    EXPECT_TRUE(sameBits(main->halfEdgeGeomTemplate->vertices, expectedVertices));
    EXPECT_EQ(main->geomStackViewTemplate->geometry, back);

    // The next Select phase starts with the same polygons selected.
    enter();
    EXPECT_EQ(t->getSelectionController()->selection(), polygons({0, 1, 7}));
    press("btnCancel");
    EXPECT_TRUE(modeLeft());
}

TEST_F(SubsetMode, DoneWithNothingSelectedAndCancelOnlyLeave)
{
    Tools::ToolSubset* t = tool();
    const GeometryStack::GeomStack* mesh = main->geomStackTemplate;
    const QVector<QVector3D> vertices = mesh->vertices;
    const GeomStackView* record = main->geomStackViewTemplate;

    enter();
    press("btnDone");
    EXPECT_TRUE(modeLeft());
    EXPECT_EQ(t->phase, 0);
    EXPECT_EQ(toolButton()->text(), "Subset (Select)");
    EXPECT_EQ(main->geomStackTemplate, mesh);
    EXPECT_EQ(main->geomStackViewTemplate, record);
    EXPECT_TRUE(sameBits(mesh->vertices, vertices));
    EXPECT_FALSE(t->wholeTemplate);

    // Cancel with a selection and a hidden polygon: nothing changes, both come back at the next entry.
    enter();
    PolygonSelectionController* c = t->getSelectionController();
    c->setSelection(polygons({3, 4}));
    c->setVisibility(polygons({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}));
    press("btnCancel");
    EXPECT_TRUE(modeLeft());
    EXPECT_EQ(t->phase, 0);
    EXPECT_EQ(main->geomStackTemplate, mesh);
    EXPECT_EQ(main->geomStackViewTemplate, record);
    enter();
    EXPECT_EQ(t->getSelectionController()->selection(), polygons({3, 4}));
    EXPECT_FALSE(t->getSelectionController()->visibility().at(24));
    EXPECT_TRUE(t->getSelectionController()->visibility().at(23));
    press("btnCancel");
}

TEST_F(SubsetMode, LoadingATemplateInTheApplyPhaseReturnsToSelect)
{
    Tools::ToolSubset* t = tool();
    enter();
    t->getSelectionController()->setSelection(polygons({0, 1}));
    press("btnDone");
    ASSERT_EQ(toolButton()->text(), "Subset (Apply)");
    ASSERT_EQ(main->geomStackTemplate->polygons.size(), 2);

    ASSERT_EQ(main->loadTemplate(dir.filePath("template.obj")), "");
    EXPECT_EQ(t->phase, 0);
    EXPECT_EQ(toolButton()->text(), "Subset (Select)");
    EXPECT_FALSE(t->wholeTemplate);
    EXPECT_TRUE(t->vertexMap.isEmpty());
    EXPECT_TRUE(t->savedSelection.isEmpty());
    EXPECT_TRUE(t->savedVisibility.isEmpty());
    EXPECT_EQ(main->geomStackTemplate->polygons.size(), 25);

    // The next entry is a Select phase with nothing selected.
    enter();
    ASSERT_TRUE(t->getSelectionController());
    EXPECT_FALSE(t->getSelectionController()->selection().contains(true));
    press("btnCancel");
    EXPECT_TRUE(modeLeft());
}

}  // namespace
