// Brush mode: entered from the tool bar, a stroke sculpts only the mode's copy, Done writes the sculpted
// positions with recomputed normals, box and a rebuilt view record, Cancel leaves the template bit for bit.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolBrush.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/toolbarmain2.h"
#include "editing/BrushController.h"
#include "editing/WidgetBrushController.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
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

struct BrushMode : TestSupport::WindowTest {
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowTest::SetUp());
        const TestMeshes::PolygonMesh templ = TestMeshes::bumpySheet(12);
        TestMeshes::PolygonMesh target = templ;
        for (QVector3D& v : target.vertices)
            v.setZ(v.z() + 0.05f);
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("template.obj"), templ));
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("target.obj"), target));
        ASSERT_EQ(main->loadTemplate(dir.filePath("template.obj")), "");
        ASSERT_EQ(main->loadTarget(dir.filePath("target.obj")), "");
    }

    Tools::ToolBrush* tool() const
    {
        for (Tools::Tool* t : window->toolsController()->tools)
            if (auto* brush = qobject_cast<Tools::ToolBrush*>(t))
                return brush;
        return nullptr;
    }
    QAbstractButton* toolButton() const
    {
        for (QAbstractButton* b : window->toolbar()->buttons)
            if (b->text() == "Brush")
                return b;
        return nullptr;
    }
    QAbstractButton* panelButton(const char* name) const
    {
        return tool()->getPanel()->findChild<QAbstractButton*>(name);
    }
    void enter()
    {
        ASSERT_TRUE(toolButton());
        ASSERT_TRUE(toolButton()->isEnabled());
        QTest::mouseClick(toolButton(), Qt::LeftButton);
        ASSERT_TRUE(tool()->getController());
    }
    // One move-brush stroke lifting the middle of the sheet.
    void stroke()
    {
        BrushController* c = tool()->getController();
        c->setCurrentBrush(1);
        c->setProtectBoundaries(false);
        const QVector3D centre = main->geomStackTemplate->vertices.at(5 * 12 + 5);
        c->startStroke();
        c->applyBrush(centre, centre + QVector3D(0, 0, float(c->brushRadius())));
        c->endStroke();
    }
};

TEST_F(BrushMode, EnteringShowsTheSculptCopyAndPanelAndAStrokeOnlyChangesTheCopy)
{
    const QVector<QVector3D> before = main->geomStackTemplate->vertices;
    enter();
    Tools::ToolBrush* t = tool();
    EXPECT_FALSE(main->geomStackViewTemplate->resultsGeometry->isVisible());
    ASSERT_TRUE(t->sculptGeometry);
    EXPECT_TRUE(t->sculptGeometry->isVisible());
    EXPECT_EQ(t->getController()->brushNames(),
              QStringList({"Relax brush", "Move brush", "Projection brush", "Push away brush"}));
    EXPECT_EQ(t->getController()->currentBrushIndex(), 0);
    EXPECT_GE(main->paramsPlaceholder->layout()->indexOf(t->getPanel()), 0);
    EXPECT_EQ(t->vertexNeighbours.size(), before.size());
    EXPECT_EQ(t->boundaryVertices.count(true), 4 * 11);
    // The button stays enabled: leaving by the tool bar is allowed.
    EXPECT_TRUE(toolButton()->isEnabled());

    stroke();
    EXPECT_FALSE(sameBits(t->getController()->vertices(), before));
    EXPECT_TRUE(sameBits(main->geomStackTemplate->vertices, before));
}

TEST_F(BrushMode, DoneWritesTheSculptedPositionsRecomputesNormalsAndRebuildsTheView)
{
    enter();
    stroke();
    const QVector<QVector3D> sculpted = tool()->getController()->vertices();
    QTest::mouseClick(panelButton("btnDone"), Qt::LeftButton);

    EXPECT_EQ(window->toolsController()->currentToolIndex(), -1);
    EXPECT_FALSE(tool()->getController());
    EXPECT_FALSE(tool()->getPanel());
    EXPECT_FALSE(tool()->sculptGeometry);
    EXPECT_EQ(main->paramsPlaceholder->layout()->count(), 0);

    GeometryStack::GeomStack* mesh = main->geomStackTemplate;
    EXPECT_TRUE(sameBits(mesh->vertices, sculpted));
    GeometryStack::GeomStack expected = *mesh;
    expected.computeNormals();
    EXPECT_TRUE(sameBits(mesh->normals, expected.normals));
    EXPECT_TRUE(sameBits(main->halfEdgeGeomTemplate->vertices, sculpted));
    EXPECT_TRUE(mesh->boundingBox == Viewport3D::BoundingBox::fromPoints(sculpted));
    // The old record had its results geometry hidden; the rebuilt one shows it, over the new mesh.
    ASSERT_TRUE(main->geomStackViewTemplate);
    EXPECT_EQ(main->geomStackViewTemplate->geometry, mesh);
    EXPECT_TRUE(main->geomStackViewTemplate->resultsGeometry->isVisible());
    EXPECT_FALSE(toolButton()->isChecked());
}

TEST_F(BrushMode, DoneWithoutAStrokeStillRecomputesNormalsAndRebuilds)
{
    GeometryStack::GeomStack* mesh = main->geomStackTemplate;
    const QVector<QVector3D> before = mesh->vertices;
    mesh->normals.fill(QVector3D(0, 0, 1));
    enter();
    QTest::mouseClick(panelButton("btnDone"), Qt::LeftButton);
    EXPECT_TRUE(sameBits(mesh->vertices, before));
    GeometryStack::GeomStack expected = *mesh;
    expected.computeNormals();
    EXPECT_TRUE(sameBits(mesh->normals, expected.normals));
    EXPECT_NE(mesh->normals.first(), QVector3D(0, 0, 1));
    EXPECT_TRUE(main->geomStackViewTemplate->resultsGeometry->isVisible());
}

TEST_F(BrushMode, CancelLeavesTheTemplateBitForBit)
{
    const GeometryStack::GeomStack* mesh = main->geomStackTemplate;
    const QVector<QVector3D> vertices = mesh->vertices, normals = mesh->normals;
    const Viewport3D::BoundingBox box = mesh->boundingBox;
    GeomStackView* record = main->geomStackViewTemplate;
    enter();
    stroke();
    QTest::mouseClick(panelButton("btnCancel"), Qt::LeftButton);

    EXPECT_EQ(window->toolsController()->currentToolIndex(), -1);
    EXPECT_EQ(main->geomStackTemplate, mesh);
    EXPECT_TRUE(sameBits(mesh->vertices, vertices));
    EXPECT_TRUE(sameBits(mesh->normals, normals));
    EXPECT_TRUE(mesh->boundingBox == box);
    EXPECT_EQ(main->geomStackViewTemplate, record);
    EXPECT_TRUE(record->resultsGeometry->isVisible());
    EXPECT_FALSE(tool()->sculptGeometry);
    EXPECT_EQ(main->paramsPlaceholder->layout()->count(), 0);
}

}  // namespace
