// Registration mode: a bent, stretched, re-triangulated pair fitted on the worker thread with the log lines in
// order, Abort and the run button's texts, Restart from the entry geometry, Done and Cancel, refused runs, the
// index files with their warning boxes, the panel's enable table, and the window closed or destroyed during a run.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/appsettings.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/widgetparamsnonrigidregistration.h"
#include "editing/pointselectioncontroller.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/selectionsaver.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "registration/DynamicGraph.h"
#include "registration/NonRigidRegistrationAutoLevels.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/GeomStackView.h"
#include "support/LogCapture.h"
#include "support/ObjFiles.h"
#include "support/SurfaceDistance.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

using TestMeshes::PolygonMesh;

// The sheet bent upwards along x, stretched by 1.2 along x and triangulated on a finer grid.
PolygonMesh bentTarget(int n)
{
    PolygonMesh m = TestMeshes::bumpySheet(n, true);
    for (QVector3D& v : m.vertices) {
        const float x = v.x();
        v = QVector3D(1.2f * x, v.y(), v.z() + 0.35f * (x - 1.0f) * (x - 1.0f));
    }
    return m;
}

struct RegistrationMode : TestSupport::WindowTest {
    const int n = 13;  // template grid
    const int m = 17;  // target grid

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowTest::SetUp());
        load(TestMeshes::bumpySheet(n), bentTarget(m));
    }
    void load(const PolygonMesh& templ, const PolygonMesh& target)
    {
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("template.obj"), templ));
        ASSERT_TRUE(TestMeshes::writeObj(dir.filePath("target.obj"), target));
        ASSERT_EQ(main->loadTemplate(dir.filePath("template.obj")), "");
        ASSERT_EQ(main->loadTarget(dir.filePath("target.obj")), "");
    }
    Tools::ToolNonRigidRegistration* tool() const
    {
        return qobject_cast<Tools::ToolNonRigidRegistration*>(window->toolsController()->tool(1));
    }
    ControllerNonRigidRegistration* controller() const { return tool()->controller(); }
    template <typename T = QAbstractButton>
    T* widget(const char* name) const
    {
        return tool()->getPanel()->findChild<T*>(name);
    }
    void enter() { window->toolsController()->initializeTool(1); }
    bool waitForRun()
    {
        return QTest::qWaitFor([this] { return !controller()->isRunning(); }, 60000);
    }
    // Corners and middle of both grids: the same points of the sheet.
    QList<int> gridPairs(int k) const { return {0, k - 1, k * (k - 1), k * k - 1, (k * k) / 2}; }
    // One letter per control: E enabled, - disabled; Restart, Done, control points, free polygons, tabs, reset.
    QString states() const
    {
        QString s;
        for (const char* name : {"btnRestart", "btnDone", "btnSelectControlPoints", "btnSelectFreePolygons",
                                 "tabWidgetParams", "btnResetParamsToDefault"})
            s += tool()->getPanel()->findChild<QWidget*>(name)->isEnabled() ? 'E' : '-';
        return s;
    }
};

TEST_F(RegistrationMode, FitsABentStretchedRetriangulatedTargetOnTheWorkerAndDoneKeepsIt)
{
    TestSupport::LogCapture log;
    enter();
    EXPECT_TRUE(log.texts().contains("log: Start NonRigidRegistration mode"));
    EXPECT_TRUE(log.texts().contains("log: NonRigidRegistration mode entered"));
    EXPECT_FALSE(main->geomStackViewTemplate->resultsGeometry->isVisible());
    ControllerNonRigidRegistration* c = controller();
    // The template's largest extent becomes 1, the target takes the same factor.
    EXPECT_NEAR(c->normalization() * main->geomStackTemplate->boundingBox.size[0], 1.0, 1e-6);
    ASSERT_TRUE(c->setSrcControlPoints(gridPairs(n)));
    ASSERT_TRUE(c->setDstControlPoints(gridPairs(m)));
    ASSERT_TRUE(c->templateMarkers() && c->targetMarkers() && c->templateResultsMarkers());

    QThread* gui = QThread::currentThread();
    QList<QPair<int, int>> levels;
    bool levelsInGui = true, previewsInGui = true;
    int previews = 0;
    QObject context;
    QObject::connect(c, &ControllerNonRigidRegistration::levelChanged, &context, [&](int l, int count) {
        levels.append({l, count});
        levelsInGui &= QThread::currentThread() == gui;
    });
    QObject::connect(c, &ControllerNonRigidRegistration::optimizationStarted, &context, [&] {
        QObject::connect(c->currentRunParams()->updater,
                         &NonRigidRegistration::NonRigidRegistrationInteractiveUpdater::updated, &context, [&] {
                             ++previews;
                             previewsInGui &= QThread::currentThread() == gui;
                         });
    });
    QSignalSpy completed(c, &ControllerNonRigidRegistration::optimizationComplete);
    log.clear();
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    EXPECT_TRUE(tool()->isComputing());
    EXPECT_EQ(widget("btnRestart")->text(), "Abort");
    EXPECT_EQ(states(), "E-----");
    ASSERT_TRUE(waitForRun());
    EXPECT_EQ(completed.count(), 1);
    EXPECT_FALSE(tool()->isComputing());
    EXPECT_EQ(widget("btnRestart")->text(), "Restart");
    EXPECT_EQ(states(), "EEEEEE");
    EXPECT_EQ(c->nodeMarkers(), nullptr);
    EXPECT_TRUE(levelsInGui);
    EXPECT_TRUE(previewsInGui);
    EXPECT_GT(previews, 0);
    ASSERT_FALSE(levels.isEmpty());
    EXPECT_EQ(levels.first().first, 0);
    EXPECT_EQ(levels.last().first, levels.last().second);

    const QStringList lines = log.texts(QtDebugMsg);
    const QStringList expected = {
        "log: NonRigidRegistration evaluation started:\n\tinitialDensity: 1\n\tdensityMultiplier: "
        "2\n\tinitialRigidness: 3\n\tfinalRigidness: 0.2\n\tmaxIterations: 20",
        "log: Building graph started", "log: Building graph finished", "Thread finished computting",
        "log: Optimization complete"};
    int last = -1;
    for (const QString& line : expected) {
        const int at = lines.indexOf(line);
        EXPECT_GT(at, last) << line.toStdString();
        last = at;
    }

    // Within 0.5% of the target's box diagonal.
    const QVector<QVector3D> result = c->getSrcVerticesDeformed();
    const double diagonal = main->geomStackTarget->boundingBox.size.length();
    const double before =
        TestMeshes::SurfaceDistance(*main->geomStackTarget).meanDistance(main->geomStackTemplate->vertices);
    const double after = TestMeshes::SurfaceDistance(*main->geomStackTarget).meanDistance(result);
    EXPECT_GT(before, 0.02 * diagonal);
    EXPECT_LT(after, 0.005 * diagonal) << "before " << before / diagonal << " after " << after / diagonal;

    main->appSettings->lastControlPointsPath = "unchanged";
    c->lastControlPointsDir = "/tmp/cp";
    c->lastFreePolygonsDir = "/tmp/fp";
    QTest::mouseClick(widget("btnDone"), Qt::LeftButton);
    EXPECT_TRUE(log.texts().contains("log: Release NonRigidRegistration mode"));
    EXPECT_EQ(window->toolsController()->currentToolIndex(), -1);
    const GeometryStack::GeomStack* mesh = main->geomStackTemplate;
    EXPECT_EQ(mesh->vertices, result);
    EXPECT_EQ(mesh->normals, GeometryStack::vertexNormals(mesh->polygons, result));
    EXPECT_EQ(main->halfEdgeGeomTemplate->vertices, result);
    EXPECT_TRUE(main->geomStackViewTemplate->resultsGeometry->isVisible());
    EXPECT_EQ(main->appSettings->lastControlPointsPath, "/tmp/cp");
    EXPECT_EQ(main->appSettings->lastFreePolygonsPath, "/tmp/fp");
}

TEST_F(RegistrationMode, AbortRestartFromTheEntryGeometryAndCancelStoresNothing)
{
    main->appSettings->lastControlPointsPath = "before";
    enter();
    ControllerNonRigidRegistration* c = controller();
    const QVector<QVector3D> entry = main->geomStackTemplate->vertices;
    EXPECT_EQ(c->lastControlPointsDir, "before");
    TestSupport::LogCapture log;
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);  // no control points: 0 = 0 runs
    ASSERT_TRUE(c->isRunning());
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    EXPECT_EQ(widget("btnRestart")->text(), "Aborting...");
    EXPECT_FALSE(widget("btnRestart")->isEnabled());
    ASSERT_TRUE(waitForRun());
    EXPECT_EQ(widget("btnRestart")->text(), "Restart");
    EXPECT_TRUE(widget("btnRestart")->isEnabled());
    const QStringList lines = log.texts(QtDebugMsg);
    EXPECT_LT(lines.indexOf("log: NonRigidRegistration termination request"),
              lines.indexOf("log: Optimization complete"));
    EXPECT_GE(lines.indexOf("log: NonRigidRegistration termination request"), 0);
    const QVector<QVector3D> aborted = c->getSrcVerticesDeformed();
    EXPECT_EQ(aborted.size(), entry.size());

    // Restart: a full run again from the geometry at entry, with the spin boxes' values.
    tool()->getPanel()->findChild<QSpinBox*>("spinMaxIterations")->setValue(5);
    QSignalSpy started(c, &ControllerNonRigidRegistration::optimizationStarted);
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    ASSERT_EQ(started.count(), 1);
    ASSERT_TRUE(c->currentRunParams());
    EXPECT_EQ(c->currentRunParams()->maxIterations, 5);
    const QVector<QVector3D>& runStart = c->currentRunParams()->srcVertices;
    for (int i = 0; i < entry.size(); ++i)
        EXPECT_LT((runStart[i] - entry[i] * float(c->normalization())).length(), 1e-6);
    ASSERT_TRUE(waitForRun());
    EXPECT_EQ(c->maxIterations(), 5);
    QTest::mouseClick(widget("btnResetParamsToDefault"), Qt::LeftButton);
    EXPECT_EQ(c->maxIterations(), 20);
    EXPECT_EQ(tool()->getPanel()->findChild<QSpinBox*>("spinMaxIterations")->value(), 20);

    c->lastControlPointsDir = "/tmp/elsewhere";
    window->toolsController()->releaseTool(1, Tools::Cancel);
    EXPECT_EQ(main->geomStackTemplate->vertices, entry);
    EXPECT_EQ(main->appSettings->lastControlPointsPath, "before");
    EXPECT_TRUE(main->geomStackViewTemplate->resultsGeometry->isVisible());
    // The free-polygon group went with the mode.
    EXPECT_EQ(main->geomStackViewTemplate->viewGeometry->shadingGroupsCount(), 1);
}

TEST_F(RegistrationMode, UnequalCountsRefuseTheRunAlsoAfterAFileLoadAndBadIndicesAreRejected)
{
    enter();
    ControllerNonRigidRegistration* c = controller();
    EXPECT_EQ(states(), "EEEEEE");
    // Picking: everything but the open selection's button is disabled, and the tool is editing.
    QTest::mouseClick(widget("btnSelectControlPoints"), Qt::LeftButton);
    EXPECT_TRUE(tool()->isEditing());
    EXPECT_EQ(states(), "--E---");
    c->templatePicker()->setSelectedPoints({0, 1, 2});
    c->targetPicker()->setSelectedPoints({0, 1});
    QTest::mouseClick(widget("btnSelectControlPoints"), Qt::LeftButton);
    EXPECT_FALSE(tool()->isEditing());
    EXPECT_EQ(states(), "-EEEEE");
    QTest::mouseClick(widget("btnSelectFreePolygons"), Qt::LeftButton);
    EXPECT_EQ(states(), "---E--");
    QTest::mouseClick(widget("btnSelectFreePolygons"), Qt::LeftButton);
    EXPECT_EQ(states(), "-EEEEE");
    // Called anyway, the run is refused and the panel reset.
    TestSupport::LogCapture log;
    QSignalSpy complete(c, &ControllerNonRigidRegistration::optimizationComplete);
    c->evaluate();
    EXPECT_FALSE(c->isRunning());
    EXPECT_EQ(c->workerThread(), nullptr);
    EXPECT_EQ(complete.count(), 1);
    EXPECT_TRUE(log.contains("NonRigidRegistration refused"));

    // Equal again, then a file of three template points loaded from the menu: the button follows the counts.
    ASSERT_TRUE(c->setSrcControlPoints({0, 1}));
    QTest::mouseClick(widget("btnSelectControlPoints"), Qt::LeftButton);
    QTest::mouseClick(widget("btnSelectControlPoints"), Qt::LeftButton);
    EXPECT_TRUE(widget("btnRestart")->isEnabled());
    const QString three = dir.filePath("three.txt");
    ASSERT_TRUE(SelectionSaver::saveIndices(three, {4, 5, 6}));
    QAction* load = tool()->getPanel()->controlPointsMenu()->actions().at(1);
    EXPECT_EQ(load->text(), "Load template control points selection from file");
    {
        TestSupport::ModalDriver driver({TestSupport::chooseFile(three)});
        load->trigger();
    }
    EXPECT_EQ(c->srcControlPointsList(), QList<int>({4, 5, 6}));
    EXPECT_FALSE(widget("btnRestart")->isEnabled());

    // Indices handed over by code outside the mesh change nothing.
    EXPECT_FALSE(c->setDstControlPoints({0, 1, main->geomStackTarget->vertices.size()}));
    EXPECT_FALSE(c->setSrcControlPoints({-1}));
    EXPECT_EQ(c->srcControlPointsList(), QList<int>({4, 5, 6}));
    window->toolsController()->releaseTool(1, Tools::Cancel);
}

TEST_F(RegistrationMode, IndexFilesRoundTripAndEveryWarningBoxShowsItsText)
{
    enter();
    ControllerNonRigidRegistration* c = controller();
    ASSERT_TRUE(c->setSrcControlPoints({7, 3, 150}));
    QVector<bool> free(main->geomStackTemplate->polygons.size(), false);
    free[9] = free[2] = free[40] = true;
    QTest::mouseClick(widget("btnSelectFreePolygons"), Qt::LeftButton);
    c->polygonPicker()->setSelection(free);
    QTest::mouseClick(widget("btnSelectFreePolygons"), Qt::LeftButton);
    EXPECT_EQ(c->freePolygonsMask(), free);

    const QString points = dir.filePath("sub/points.txt");
    const QString polys = dir.filePath("sub/polys.txt");
    QDir(dir.path()).mkdir("sub");
    TestSupport::DialogSeen seen;
    {
        TestSupport::ModalDriver driver({TestSupport::chooseFile(points, &seen)});
        c->openSaveControlPointsDialog();
    }
    EXPECT_EQ(seen.caption, "Save template control points indices");
    EXPECT_TRUE(seen.filters.contains("Template control points (*.txt)"));
    EXPECT_TRUE(seen.save);
    EXPECT_EQ(c->lastControlPointsDir, dir.filePath("sub"));
    {
        TestSupport::ModalDriver driver({TestSupport::chooseFile(polys, &seen)});
        c->openSaveFreePolygonsDialog();
    }
    EXPECT_EQ(seen.caption, "Save free polygons selection");
    QFile f(polys);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "2 9 40");  // ascending
    f.close();

    // Loading replaces: a different state first, then the files read back.
    ASSERT_TRUE(c->setSrcControlPoints({1}));
    {
        TestSupport::ModalDriver driver({TestSupport::chooseFile(points, &seen)});
        c->openLoadControlPointsDialog();
    }
    EXPECT_EQ(seen.caption, "Select file containg control points indices");
    EXPECT_EQ(c->srcControlPointsList(), QList<int>({7, 3, 150}));
    {
        TestSupport::ModalDriver driver({TestSupport::chooseFile(polys, &seen)});
        c->openLoadFreePolygonsDialog();
    }
    EXPECT_EQ(seen.caption, "Select file containg free polygons indices");
    EXPECT_TRUE(seen.filters.contains("Free polygons file (*.txt)"));
    EXPECT_EQ(c->freePolygonsMask(), free);
    EXPECT_EQ(c->preview()->shadingGroupsCount(), 2);

    // A cancelled dialog changes nothing, not even the folder.
    c->lastFreePolygonsDir = "/kept";
    {
        TestSupport::ModalDriver driver({TestSupport::cancelDialog(&seen)});
        c->openLoadFreePolygonsDialog();
    }
    EXPECT_EQ(c->lastFreePolygonsDir, "/kept");

    const int vertexCount = main->geomStackTemplate->vertices.size();
    const int polygonCount = main->geomStackTemplate->polygons.size();
    const QString tooBigVertex = dir.filePath("v.txt"), tooBigPolygon = dir.filePath("p.txt"),
                  garbage = dir.filePath("g.txt"), empty = dir.filePath("e.txt");
    SelectionSaver::saveIndices(tooBigVertex, {0, vertexCount});
    SelectionSaver::saveIndices(tooBigPolygon, {polygonCount});
    SelectionSaver::saveIndices(empty, {});
    QFile g(garbage);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("1 two 3");
    g.close();
    const QString unwritable = dir.filePath("missing/folder/x.txt");

    struct Case {
        std::function<void()> slot;
        QString file, title, text;
    };
    const QList<Case> cases = {
        {[c] { c->openSaveControlPointsDialog(); }, unwritable, "Can not save file",
         "Failed to save template control points indices to file!"},
        {[c] { c->openSaveFreePolygonsDialog(); }, unwritable, "Can not save file",
         "Failed to save free polygons indices to file!"},
        {[c] { c->openLoadControlPointsDialog(); }, garbage, "Can not load file",
         "Failed to load template control points indices from file!"},
        {[c] { c->openLoadControlPointsDialog(); }, tooBigVertex, "Failed to load control points selection",
         "Some indices refer to nonexistent vertices"},
        {[c] { c->openLoadFreePolygonsDialog(); }, garbage, "Can not load file",
         "Failed to load free polygon indices from file!"},
        {[c] { c->openLoadFreePolygonsDialog(); }, tooBigPolygon, "Failed to load free polygons selection",
         "Some indices refer to nonexistent polygons"},
    };
    for (const Case& k : cases) {
        TestSupport::BoxSeen box;
        {
            TestSupport::ModalDriver driver(
                {TestSupport::chooseFile(k.file), TestSupport::answerBox(&box, window.get())});
            k.slot();
        }
        EXPECT_EQ(box.title, k.title);
        EXPECT_EQ(box.text, k.text);
        EXPECT_TRUE(box.warning && box.singleOk && box.parentIsWindow) << k.text.toStdString();
    }
    // The failures left the lists and masks as they were.
    EXPECT_EQ(c->srcControlPointsList(), QList<int>({7, 3, 150}));
    EXPECT_EQ(c->freePolygonsMask(), free);
    // An empty file clears the control points.
    {
        TestSupport::ModalDriver driver({TestSupport::chooseFile(empty)});
        c->openLoadControlPointsDialog();
    }
    EXPECT_TRUE(c->srcControlPointsList().isEmpty());
    window->toolsController()->releaseTool(1, Tools::Cancel);
}

TEST_F(RegistrationMode, FreePolygonsLeaveTheFitMaskAndATinyTemplateRunsItsSingleLevel)
{
    load(TestMeshes::bumpySheet(3), bentTarget(6));
    enter();
    ControllerNonRigidRegistration* c = controller();
    QVector<bool> free(main->geomStackTemplate->polygons.size(), false);
    free[0] = true;  // the corner quad: vertex 0 is in no other polygon
    QTest::mouseClick(widget("btnSelectFreePolygons"), Qt::LeftButton);
    c->polygonPicker()->setSelection(free);
    QTest::mouseClick(widget("btnSelectFreePolygons"), Qt::LeftButton);
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    ASSERT_TRUE(c->currentRunParams());
    EXPECT_EQ(c->currentRunParams()->graph->levelsCount(), 0);  // too few vertices to coarsen
    const QVector<bool>& fit = c->currentRunParams()->srcFitMask;
    EXPECT_FALSE(fit[0]);
    EXPECT_TRUE(fit[1]);  // shared with a fitted polygon
    EXPECT_TRUE(fit[8]);
    ASSERT_TRUE(waitForRun());
    EXPECT_NE(c->getSrcVerticesDeformed(), main->geomStackTemplate->vertices);
    window->toolsController()->releaseTool(1, Tools::Cancel);
}

TEST_F(RegistrationMode, ATemplateWithoutExtentStartsNoRun)
{
    PolygonMesh point;
    point.vertices = {QVector3D(1, 2, 3), QVector3D(1, 2, 3), QVector3D(1, 2, 3)};
    point.polygons = {{0, 1, 2}};
    load(point, bentTarget(6));
    enter();
    TestSupport::BoxSeen box;
    {
        TestSupport::ModalDriver driver({TestSupport::answerBox(&box, window.get())});
        QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    }
    EXPECT_EQ(box.title, "Can not register");
    EXPECT_TRUE(box.warning && box.singleOk && box.parentIsWindow);
    EXPECT_FALSE(controller()->isRunning());
    EXPECT_EQ(controller()->workerThread(), nullptr);
    EXPECT_EQ(widget("btnRestart")->text(), "Restart");
    EXPECT_EQ(states(), "EEEEEE");
    window->toolsController()->releaseTool(1, Tools::Cancel);
}

TEST_F(RegistrationMode, ClosingTheWindowDuringARunInterruptsAndWaits)
{
    enter();
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    ASSERT_TRUE(controller()->isRunning());
    TestSupport::LogCapture log;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(tool()->isComputing());
    const QStringList lines = log.texts(QtDebugMsg);
    EXPECT_GE(lines.indexOf("log: NonRigidRegistration termination request"), 0);
    EXPECT_LT(lines.indexOf("log: Optimization complete"), lines.indexOf("log: Closing Plyform"));
    window->toolsController()->releaseTool(1, Tools::Cancel);
}

TEST_F(RegistrationMode, DestroyingTheWindowUnclosedDuringARunStopsTheWorkerBeforeTheViewsGo)
{
    enter();
    QTest::mouseClick(widget("btnRestart"), Qt::LeftButton);
    ASSERT_TRUE(controller()->isRunning());
    QPointer<ControllerNonRigidRegistration> c = controller();
    QPointer<QThread> worker = c->workerThread();
    ASSERT_FALSE(worker.isNull());

    TestSupport::LogCapture log;
    window.reset();
    EXPECT_TRUE(c.isNull());
    EXPECT_TRUE(worker.isNull() || worker->isFinished());
    // Interrupted, waited for, then left.
    const QStringList lines = log.texts(QtDebugMsg);
    const int interrupted = lines.indexOf("log: NonRigidRegistration termination request");
    const int completed = lines.indexOf("log: Optimization complete");
    const int released = lines.indexOf("log: Release NonRigidRegistration mode");
    EXPECT_GE(interrupted, 0);
    EXPECT_GT(completed, interrupted);
    EXPECT_GT(released, completed);
    // Whatever the worker had queued would be delivered now, to freed views.
    QTest::qWait(200);
    QCoreApplication::sendPostedEvents();
}

// Destroyed while picking points or free polygons, the window takes the mode's picking tools with it.
TEST_F(RegistrationMode, DestroyingTheWindowWhilePickingFreesThePickingTools)
{
    for (const char* button : {"btnSelectControlPoints", "btnSelectFreePolygons"}) {
        SCOPED_TRACE(button);
        if (!window)
            SetUp();
        enter();
        QTest::mouseClick(widget(button), Qt::LeftButton);
        ControllerNonRigidRegistration* c = controller();
        QList<QPointer<QObject>> tools;
        if (c->polygonPicker())
            tools << QPointer<QObject>(c->polygonPicker());
        if (c->templatePicker())
            tools << QPointer<QObject>(c->templatePicker()) << QPointer<QObject>(c->targetPicker());
        ASSERT_FALSE(tools.isEmpty());
        window.reset();
        for (const QPointer<QObject>& t : tools)
            EXPECT_TRUE(t.isNull());
    }
}

}  // namespace
