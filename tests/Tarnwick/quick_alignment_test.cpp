// Quick alignment mode: a known similarity recovered from picked pairs and written by Done, the refusals, the
// panel's enable rules, the preview in the results view and Cancel.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolQuickAlignment.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllerquickalignment.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/widgetparamsquickalignment.h"
#include "editing/pointselectioncontroller.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/LogCapture.h"
#include "support/ObjFiles.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QMatrix4x4>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Scale 1.7, 35 degrees about (1, 2, 0.5), then a shift.
QMatrix4x4 knownSimilarity()
{
    QMatrix4x4 m;
    m.translate(3.0f, -1.0f, 2.0f);
    m.rotate(35.0f, QVector3D(1.0f, 2.0f, 0.5f));
    m.scale(1.7f);
    return m;
}

struct QuickAlignment : TestSupport::WindowTest {
    TestMeshes::PolygonMesh templ = TestMeshes::bumpySheet(12);
    TestMeshes::PolygonMesh target;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowTest::SetUp());
        target = templ;
        const QMatrix4x4 similarity = knownSimilarity();
        for (QVector3D& v : target.vertices)
            v = similarity.map(v);
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("template.obj"), templ));
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("target.obj"), target));
        ASSERT_EQ(main->loadTemplate(dir.filePath("template.obj")), "");
        ASSERT_EQ(main->loadTarget(dir.filePath("target.obj")), "");
    }

    Tools::ToolQuickAlignment* tool() const
    {
        return qobject_cast<Tools::ToolQuickAlignment*>(window->toolsController()->tool(0));
    }
    QAbstractButton* button(const char* name) const { return tool()->getPanel()->findChild<QAbstractButton*>(name); }
    void enter() { window->toolsController()->initializeTool(0); }
    // Picks through the open picking controllers, as the panel's toggle opens and closes them.
    void pick(const QList<int>& src, const QList<int>& dst)
    {
        QTest::mouseClick(button("btnSetCorrespondencePoints"), Qt::LeftButton);
        ControllerQuickAlignment* c = tool()->getController();
        ASSERT_TRUE(c->templatePicker() && c->targetPicker());
        c->templatePicker()->setSelectedPoints(src);
        c->targetPicker()->setSelectedPoints(dst);
        QTest::mouseClick(button("btnSetCorrespondencePoints"), Qt::LeftButton);
    }
};

TEST_F(QuickAlignment, AlignRecoversTheSimilarityAndDoneWritesVerticesAndRotatedNormals)
{
    ASSERT_TRUE(tool()->isAvailable());
    TestSupport::LogCapture log;
    enter();
    EXPECT_TRUE(log.texts().contains("log: Start QuickAlignment mode"));
    EXPECT_TRUE(log.texts().contains("ControllerQuickAlignment::initializeGLGeomPreview()"));
    // The template's own results geometry is hidden, the preview drawn in its place.
    EXPECT_FALSE(main->geomStackViewTemplate->resultsGeometry->isVisible());
    EXPECT_FALSE(button("btnAlign")->isEnabled());
    EXPECT_TRUE(button("btnDone")->isEnabled());

    const QList<int> picks = {0, 11, 77, 143, 60};
    pick(picks, picks);
    ASSERT_TRUE(button("btnAlign")->isEnabled());
    QTest::mouseClick(button("btnAlign"), Qt::LeftButton);
    EXPECT_TRUE(log.texts().contains("Evaluate"));
    ControllerQuickAlignment* c = tool()->getController();
    EXPECT_EQ(c->preview()->modelMatrix, c->currentAlignment());

    const QVector<QVector3D> targetVertices = main->geomStackTarget->vertices;
    const QVector<QVector3D> targetNormals = main->geomStackTarget->normals;
    const QVector<QVector3D> oldNormals = main->geomStackTemplate->normals;
    GeomStackView* oldView = main->geomStackViewTemplate;
    QTest::mouseClick(button("btnDone"), Qt::LeftButton);
    EXPECT_EQ(window->toolsController()->currentToolIndex(), -1);
    EXPECT_TRUE(log.texts().contains("log: Release QuickAlignment mode"));

    const GeometryStack::GeomStack* mesh = main->geomStackTemplate;
    ASSERT_EQ(mesh->vertices.size(), targetVertices.size());
    double worstVertex = 0.0, worstNormal = 0.0;
    for (int i = 0; i < targetVertices.size(); ++i) {
        worstVertex = std::max(worstVertex, double((mesh->vertices[i] - targetVertices[i]).length()));
        worstNormal = std::max(worstNormal, double((mesh->normals[i] - targetNormals[i]).length()));
        EXPECT_NEAR(mesh->normals[i].length(), 1.0, 1e-5);
    }
    EXPECT_LT(worstVertex, 1e-3);  // the target spans 100
    EXPECT_LT(worstNormal, 1e-4);
    EXPECT_NE(mesh->normals, oldNormals);
    EXPECT_EQ(main->halfEdgeGeomTemplate->vertices, mesh->vertices);
    EXPECT_EQ(mesh->boundingBox.size, Viewport3D::BoundingBox::fromPoints(mesh->vertices).size);
    // A new drawn record, shown again in the results view.
    EXPECT_NE(main->geomStackViewTemplate, oldView);
    EXPECT_TRUE(main->geomStackViewTemplate->resultsGeometry->isVisible());
}

TEST_F(QuickAlignment, AlignIsOfferedOnlyForThreeOrMoreEqualPairsAndDegeneratePicksAreRefused)
{
    enter();
    struct Case {
        QList<int> src, dst;
        bool enabled;
    };
    const QList<Case> cases = {
        {{0, 11}, {0, 11}, false},
        {{0, 11, 77}, {0, 11}, false},
        {{0, 11, 77}, {0, 11, 77}, true},
        {{0, 11, 77, 5}, {0, 11, 77}, false},
    };
    for (const Case& k : cases) {
        pick(k.src, k.dst);
        EXPECT_EQ(button("btnAlign")->isEnabled(), k.enabled) << k.src.size() << " " << k.dst.size();
        EXPECT_EQ(tool()->getController()->canEvaluate(), k.enabled);
    }
    // Called directly with unequal counts the controller keeps the identity.
    tool()->getController()->evaluate();
    EXPECT_TRUE(tool()->getController()->currentAlignment().isIdentity());

    // A good alignment, then target picks all on one vertex (scale 0): refused, the good one kept.
    pick({0, 11, 77}, {0, 11, 77});
    tool()->getController()->evaluate();
    const QMatrix4x4 good = tool()->getController()->currentAlignment();
    ASSERT_FALSE(good.isIdentity());
    TestSupport::LogCapture log;
    pick({0, 11, 77}, {5, 5, 5});
    ASSERT_TRUE(button("btnAlign")->isEnabled());
    QTest::mouseClick(button("btnAlign"), Qt::LeftButton);
    EXPECT_TRUE(log.contains("Alignment refused"));
    EXPECT_EQ(tool()->getController()->currentAlignment(), good);
    EXPECT_EQ(tool()->getController()->preview()->modelMatrix, good);
}

TEST_F(QuickAlignment, PickingDisablesAlignDoneAndTheModeButtonAndCancelLeavesTheTemplate)
{
    enter();
    const QVector<QVector3D> before = main->geomStackTemplate->vertices;
    const QVector<QVector3D> normalsBefore = main->geomStackTemplate->normals;
    GeomStackView* view = main->geomStackViewTemplate;
    QTest::mouseClick(button("btnSetCorrespondencePoints"), Qt::LeftButton);
    EXPECT_TRUE(button("btnSetCorrespondencePoints")->isChecked());
    EXPECT_FALSE(button("btnAlign")->isEnabled());
    EXPECT_FALSE(button("btnDone")->isEnabled());
    EXPECT_TRUE(tool()->isEditing());
    // The picking strips sit in the two widget areas.
    EXPECT_EQ(main->widgetsAreaTemplate->findChildren<QWidget*>("PointSelectionWidget").size(), 1);
    EXPECT_EQ(main->widgetsAreaTarget->findChildren<QWidget*>("PointSelectionWidget").size(), 1);
    tool()->getController()->templatePicker()->setSelectedPoints({0, 11, 77});
    tool()->getController()->targetPicker()->setSelectedPoints({0, 11, 77});
    QTest::mouseClick(button("btnSetCorrespondencePoints"), Qt::LeftButton);
    EXPECT_FALSE(tool()->isEditing());
    EXPECT_TRUE(button("btnDone")->isEnabled());
    EXPECT_TRUE(main->widgetsAreaTemplate->findChildren<QWidget*>("PointSelectionWidget").isEmpty());
    QTest::mouseClick(button("btnAlign"), Qt::LeftButton);

    window->toolsController()->releaseTool(0, Tools::Cancel);
    EXPECT_EQ(main->geomStackTemplate->vertices, before);
    EXPECT_EQ(main->geomStackTemplate->normals, normalsBefore);
    EXPECT_EQ(main->geomStackViewTemplate, view);
    EXPECT_TRUE(view->resultsGeometry->isVisible());
    // Entering again starts with no pairs and the identity.
    enter();
    EXPECT_TRUE(tool()->getController()->templatePoints().isEmpty());
    EXPECT_TRUE(tool()->getController()->currentAlignment().isIdentity());
    EXPECT_FALSE(button("btnAlign")->isEnabled());
    window->toolsController()->releaseTool(0, Tools::Cancel);
}

TEST_F(QuickAlignment, DoneWithoutAlignKeepsTheGeometryButRebuildsTheView)
{
    enter();
    const QVector<QVector3D> before = main->geomStackTemplate->vertices;
    GeomStackView* view = main->geomStackViewTemplate;
    QTest::mouseClick(button("btnDone"), Qt::LeftButton);
    EXPECT_EQ(main->geomStackTemplate->vertices, before);
    EXPECT_NE(main->geomStackViewTemplate, view);
}

// Destroyed while points are being picked, the window takes both pickers with it.
TEST_F(QuickAlignment, DestroyingTheWindowWhilePickingFreesThePickers)
{
    enter();
    QTest::mouseClick(button("btnSetCorrespondencePoints"), Qt::LeftButton);
    ControllerQuickAlignment* c = tool()->getController();
    ASSERT_TRUE(c->templatePicker() && c->targetPicker());
    const QPointer<QObject> pickers[] = {c->templatePicker(), c->targetPicker()};
    window.reset();
    for (const QPointer<QObject>& picker : pickers)
        EXPECT_TRUE(picker.isNull());
}

}  // namespace
