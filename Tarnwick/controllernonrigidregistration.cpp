#include "Tarnwick/controllernonrigidregistration.h"

#include "Tarnwick/ModeMarkers.h"
#include "Tarnwick/PanelArea.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectionwidget.h"
#include "editing/selectionsaver.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "mesh/IndexContainers.h"
#include "mesh/MeshMasks.h"
#include "registration/GraphGeodesic.h"
#include "registration/NearestPointHelpers.h"
#include "registration/NonRigidRegistrationAutoLevels.h"
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "rendering/GeomStackView.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "rendering/glpoints.h"
#include "rendering/glpointswithlabels.h"
#include "rendering/labelfontatlas.h"
#include "spatial/KDTree.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cmath>

namespace {

bool allWithin(const QList<int>& indices, int count)
{
    for (int index : indices)
        if (index < 0 || index >= count)
            return false;
    return true;
}

void logLine(const QString& text)
{
    qDebug().noquote() << "log:" << text;
}

}  // namespace

ControllerNonRigidRegistration::ControllerNonRigidRegistration(GeomStackView* templateView, GeomStackView* targetView,
                                                               QWidget* templateContainer, QWidget* targetContainer,
                                                               QWidget* dialogParent, QObject* parent)
    : QObject(parent),
      templateView(templateView),
      targetView(targetView),
      templateContainer(templateContainer),
      targetContainer(targetContainer),
      dialogParent(dialogParent)
{
    const GeometryStack::GeomStack* mesh = templateView->geometry;
    freePolygons = QVector<bool>(mesh->polygons.size(), false);
    srcVerticesDeformed = mesh->vertices;
    srcNormalsDeformed = mesh->normals;

    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    results->makeCurrent();
    templateView->resultsGeometry->setVisible(false);
    previewGeometry = makeGLGeometrySplitted(templateView->geometry, templateColor, true, true, wireColor, 0.5);
    const Viewport3D::ShadingGroup freeGroup = Viewport3D::ShadingGroup::marked(freePolygonsColor, wireColor, true);
    previewGeometry->addShadingGroup(freeGroup, freePolygonsCornerMask());
    results->addObject(previewGeometry, 1);

    pickLabelAtlas = ModeMarkers::makeLabelAtlas(pickLabelColor);
    markerLabelAtlas = ModeMarkers::makeLabelAtlas(markerColor);

    const Viewport3D::BoundingBox& box = mesh->boundingBox;
    const int axis = box.longestAxis();
    const double extent = axis < 0 ? 0.0 : double(box.size[axis]);
    normalizationFactor = normalizedSize / extent;
    // A template without extent has no normalised space; its arrays keep the
    // loaded scale so the trees stay sound, and evaluate() refuses to run.
    const double factor = std::isfinite(normalizationFactor) && normalizationFactor > 0.0 ? normalizationFactor : 1.0;
    srcVerticesNormalized = GeometryStack::scaledVertices(mesh->vertices, factor);
    dstVerticesNormalized = GeometryStack::scaledVertices(targetView->geometry->vertices, factor);
    dstKdTree = KDTree::buildTree(dstVerticesNormalized, 10);
    halfEdgeGeom = new HE::HalfEdgeGeom(srcVerticesNormalized, mesh->triangles);

    templateView->viewport->makeCurrent();
    templateView->viewGeometry->addShadingGroup(freeGroup, freePolygonsCornerMask());

    params = defaultParams;
}

ControllerNonRigidRegistration::~ControllerNonRigidRegistration()
{
    // Never reached during a run through the panel; code that does gets the run stopped, not freed under it.
    interruptAndWait();
    if (thread) {
        thread->wait();
        delete thread;
    }
    delete dstKdTree;
    delete halfEdgeGeom;
    // Picking tools still open (the window destroyed while picking) go before the atlas their labels use and
    // before the free polygons' shading group, which is then the last one again.
    delete srcPicker_;
    delete dstPicker_;
    if (polygonSelection)
        removeFreePolygonsTools();
    ModeMarkers::removeMarkers(templateView->viewport, srcMarkers);
    ModeMarkers::removeMarkers(targetView->viewport, dstMarkers);
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    results->makeCurrent();
    results->removeObject(previewGeometry);
    results->update();
    delete previewGeometry;
    templateView->viewport->makeCurrent();
    templateView->viewGeometry->removeShadingGroup(templateView->viewGeometry->shadingGroupsCount() - 1);
    removeResultsMarkers();
    delete pickLabelAtlas;
    delete markerLabelAtlas;
    results->makeCurrent();
    templateView->resultsGeometry->setVisible(true);
    results->update();
}

bool ControllerNonRigidRegistration::isControlPointsCountEqual() const
{
    return srcControlPoints.size() == dstControlPoints.size();
}

bool ControllerNonRigidRegistration::isRunning() const
{
    return running;
}

QVector<QVector3D> ControllerNonRigidRegistration::getSrcVerticesDeformed() const
{
    return srcVerticesDeformed;
}

bool ControllerNonRigidRegistration::setSrcControlPoints(const QList<int>& indices)
{
    if (!allWithin(indices, templateView->geometry->vertices.size())) {
        logLine(QStringLiteral("Template control points refused: some indices refer to nonexistent vertices"));
        return false;
    }
    srcControlPoints = indices;
    rebuildAllMarkers();
    return true;
}

bool ControllerNonRigidRegistration::setDstControlPoints(const QList<int>& indices)
{
    if (!allWithin(indices, targetView->geometry->vertices.size())) {
        logLine(QStringLiteral("Target control points refused: some indices refer to nonexistent vertices"));
        return false;
    }
    dstControlPoints = indices;
    rebuildAllMarkers();
    return true;
}

void ControllerNonRigidRegistration::buildSrcMarkers()
{
    srcMarkers = ModeMarkers::buildMarkers(templateView->viewport, templateView->geometry->vertices, srcControlPoints,
                                           markerLabelAtlas, markerColor);
}

void ControllerNonRigidRegistration::buildDstMarkers()
{
    dstMarkers = ModeMarkers::buildMarkers(targetView->viewport, targetView->geometry->vertices, dstControlPoints,
                                           markerLabelAtlas, markerColor);
}

void ControllerNonRigidRegistration::buildResultsMarkers()
{
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    srcResultsMarkers = ModeMarkers::buildMarkers(results, templateView->geometry->vertices, srcControlPoints,
                                                  markerLabelAtlas, markerColor);
    dstResultsMarkers = ModeMarkers::buildMarkers(results, targetView->geometry->vertices, dstControlPoints,
                                                  markerLabelAtlas, markerColor);
    results->update();
}

void ControllerNonRigidRegistration::removeResultsMarkers()
{
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    results->makeCurrent();
    for (Viewport3D::GLPointsWithLabels** markers : {&srcResultsMarkers, &dstResultsMarkers}) {
        if (!*markers)
            continue;
        results->removeObject(*markers);
        delete *markers;
        *markers = nullptr;
    }
    results->update();
}

void ControllerNonRigidRegistration::rebuildAllMarkers()
{
    ModeMarkers::removeMarkers(templateView->viewport, srcMarkers);
    buildSrcMarkers();
    ModeMarkers::removeMarkers(targetView->viewport, dstMarkers);
    buildDstMarkers();
    removeResultsMarkers();
    buildResultsMarkers();
}

QVector<bool> ControllerNonRigidRegistration::freePolygonsCornerMask() const
{
    return GeometryStack::polygonMaskToCornerMask(*templateView->geometry, freePolygons);
}

void ControllerNonRigidRegistration::updateFreePolygonsPreview()
{
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    results->makeCurrent();
    previewGeometry->setShadingGroupMask(previewGeometry->shadingGroupsCount() - 1, freePolygonsCornerMask());
    results->update();
}

void ControllerNonRigidRegistration::updateFreePolygonsOwnView()
{
    Viewport3D::GLGeometrySplitted* own = templateView->viewGeometry;
    templateView->viewport->makeCurrent();
    own->setShadingGroupMask(own->shadingGroupsCount() - 1, freePolygonsCornerMask());
}

void ControllerNonRigidRegistration::enterSelectControlPointsMode()
{
    ModeMarkers::removeMarkers(templateView->viewport, srcMarkers);
    srcPicker_ = new MeshPointPicker(templateView, templateContainer, pickLabelAtlas, pickLabelColor, srcControlPoints);
    ModeMarkers::removeMarkers(targetView->viewport, dstMarkers);
    dstPicker_ = new MeshPointPicker(targetView, targetContainer, pickLabelAtlas, pickLabelColor, dstControlPoints);
    removeResultsMarkers();
    emit selectControlPointsModeEntered();
}

void ControllerNonRigidRegistration::exitSelectControlPointsMode()
{
    srcControlPoints = srcPicker_->points();
    delete srcPicker_;
    srcPicker_ = nullptr;
    buildSrcMarkers();
    dstControlPoints = dstPicker_->points();
    delete dstPicker_;
    dstPicker_ = nullptr;
    buildDstMarkers();
    buildResultsMarkers();
    emit selectControlPointsModeReleased();
}

void ControllerNonRigidRegistration::enterSelectFreePolygonsMode()
{
    lassoController = new Viewport3D::LassoSelectionController(templateView->viewport);
    polygonSelection = new PolygonSelectionController(
        templateView->geometry, templateView->bvh, templateView->viewGeometry, templateView->viewport, lassoController);
    polygonSelection->setSelection(freePolygons);
    polygonSelectionWidget = new PolygonSelectionWidget(polygonSelection);
    PanelArea::add(templateContainer, polygonSelectionWidget);
    emit selectPolygonsModeEntered();
}

void ControllerNonRigidRegistration::exitSelectFreePolygonsMode()
{
    freePolygons = polygonSelection->selection();
    removeFreePolygonsTools();
    updateFreePolygonsPreview();
    updateFreePolygonsOwnView();
    emit selectPolygonsModeReleased();
}

void ControllerNonRigidRegistration::removeFreePolygonsTools()
{
    polygonSelection->unhideAll();
    PanelArea::remove(templateContainer, polygonSelectionWidget);
    delete polygonSelectionWidget;
    delete lassoController;
    delete polygonSelection;
    polygonSelectionWidget = nullptr;
    lassoController = nullptr;
    polygonSelection = nullptr;
}

void ControllerNonRigidRegistration::refuseRun(const QString& reason)
{
    logLine(reason);
    running = false;
    // The panel switched to "Abort" before asking: the completion puts it back.
    emit optimizationComplete();
}

void ControllerNonRigidRegistration::evaluate()
{
    logLine(QStringLiteral("NonRigidRegistration evaluation started:\n\tinitialDensity: %1\n\tdensityMultiplier: "
                           "%2\n\tinitialRigidness: %3\n\tfinalRigidness: %4\n\tmaxIterations: %5")
                .arg(params.initialDensity, 0, 'g', 6)
                .arg(params.densityMultiplier, 0, 'g', 6)
                .arg(params.initialRigidness, 0, 'g', 6)
                .arg(params.finalRigidness, 0, 'g', 6)
                .arg(params.maxIterations));
    if (running)
        return;
    // Control pair i is entry i of both lists: unequal lists (a file loaded
    // since the panel last checked) would pair the wrong points.
    if (!isControlPointsCountEqual()) {
        refuseRun(QStringLiteral("NonRigidRegistration refused: the template has %1 control points, the target %2")
                      .arg(srcControlPoints.size())
                      .arg(dstControlPoints.size()));
        return;
    }
    if (!(std::isfinite(normalizationFactor) && normalizationFactor > 0.0)) {
        warn(QStringLiteral("Can not register"), QStringLiteral("The template has no extent: all its vertices are at "
                                                                "one point."));
        refuseRun(QStringLiteral("NonRigidRegistration refused: the template has no extent"));
        return;
    }
    QElapsedTimer clock;
    clock.start();
    running = true;
    const double median = NonRigidRegistration::computeMedianNearestNeighbourDistance(srcVerticesNormalized, 1.0);
    const double radius = median * params.initialDensity;
    logLine(QStringLiteral("Building graph started"));
    int levels = 0;
    graph = new DynamicGraph::GraphGeodesic(halfEdgeGeom, radius, params.densityMultiplier, &levels, 10, 4, 0.0001);
    logLine(QStringLiteral("Building graph finished"));
    const int levelCount = graph->levelsCount();
    const double rigidnessDivisor =
        std::pow(params.initialRigidness / params.finalRigidness, 1.0 / double(levelCount - 1));

    const GeometryStack::GeomStack* mesh = templateView->geometry;
    QVector<bool> fitMask = GeometryStack::verticesMaskOfPolygons(*mesh, invertMask(freePolygons));
    const QVector<QVector3D> dstControlVertices = GeometryStack::takeByIndices(dstVerticesNormalized, dstControlPoints);

    updater = new NonRigidRegistration::NonRigidRegistrationInteractiveUpdater(this);
    connect(updater, &NonRigidRegistration::NonRigidRegistrationInteractiveUpdater::updated, this,
            &ControllerNonRigidRegistration::onOptimizationStep);
    connect(updater, &NonRigidRegistration::NonRigidRegistrationInteractiveUpdater::levelChanged, this,
            &ControllerNonRigidRegistration::levelChanged);
    connect(this, &ControllerNonRigidRegistration::interruptionRequested, updater,
            &NonRigidRegistration::NonRigidRegistrationInteractiveUpdater::requestInterruption);

    runParams = new NonRigidRegistration::NonRigidRegistrationAutoLevelsParams;
    runParams->srcVertices = srcVerticesNormalized;
    runParams->srcNormals = mesh->normals;
    runParams->dstVertices = dstVerticesNormalized;
    runParams->dstNormals = targetView->geometry->normals;
    runParams->graph = graph;
    runParams->dstKdTree = dstKdTree;
    runParams->dstMask = QVector<bool>(dstVerticesNormalized.size(), false);
    runParams->srcFitMask = fitMask;
    runParams->srcControlIndices = srcControlPoints.toVector();
    runParams->dstControlVertices = dstControlVertices;
    runParams->initialRigidness = params.initialRigidness;
    runParams->rigidnessDivisor = rigidnessDivisor;
    runParams->maxIterations = params.maxIterations;
    runParams->updater = updater;

    // The previous run's thread has returned by now (its completion ended that run).
    if (thread) {
        thread->wait();
        delete thread;
    }
    thread = new NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded(runParams);
    connect(thread, &NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded::optimizationComplete, this,
            &ControllerNonRigidRegistration::onOptimizationComplete);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    lastStartSeconds_ = clock.nsecsElapsed() * 1e-9;
    thread->start(QThread::InheritPriority);
    emit optimizationStarted();
}

void ControllerNonRigidRegistration::onOptimizationStep(
    QVector<QVector3D> srcVerticesDeformed, QVector<QVector3D> srcNormalsDeformed, QVector<QVector3D> nodesDeformed,
    QVector<QList<int>> neighboursTable, QVector<QVector3D> srcControlVertices, QVector<QVector3D> dstControlVertices)
{
    Q_UNUSED(neighboursTable);
    const double back = 1.0 / normalizationFactor;
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    results->makeCurrent();
    previewGeometry->updatePositions(GeometryStack::takeByIndexLists(
        templateView->geometry->triangles, GeometryStack::scaledVertices(srcVerticesDeformed, back)));
    previewGeometry->updateNormals(
        GeometryStack::takeByIndexLists(templateView->geometry->triangles, srcNormalsDeformed));
    if (nodePoints) {
        results->removeObject(nodePoints);
        delete nodePoints;
    }
    nodePoints = new Viewport3D::GLPoints(GeometryStack::scaledVertices(nodesDeformed, back), Qt::white, 3.0f);
    results->addObject(nodePoints, 1);
    if (srcResultsMarkers)
        srcResultsMarkers->updatePoints(GeometryStack::scaledVertices(srcControlVertices, back));
    if (dstResultsMarkers)
        dstResultsMarkers->updatePoints(GeometryStack::scaledVertices(dstControlVertices, back));
    results->update();
}

void ControllerNonRigidRegistration::terminate()
{
    logLine(QStringLiteral("NonRigidRegistration termination request"));
    emit interruptionRequested();
}

void ControllerNonRigidRegistration::interruptAndWait()
{
    if (!running)
        return;
    terminate();
    if (thread)
        thread->wait();
    // The worker's last queued calls (previews, then the result) are delivered now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ControllerNonRigidRegistration::onOptimizationComplete(QVector<QVector3D> srcVerticesDeformed,
                                                            QVector<QVector3D> srcNormalsDeformed)
{
    logLine(QStringLiteral("Optimization complete"));
    this->srcVerticesDeformed = GeometryStack::scaledVertices(srcVerticesDeformed, 1.0 / normalizationFactor);
    this->srcNormalsDeformed = srcNormalsDeformed;
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    if (nodePoints) {
        results->makeCurrent();
        results->removeObject(nodePoints);
        delete nodePoints;
        nodePoints = nullptr;
    }
    delete graph;
    graph = nullptr;
    running = false;
    delete runParams;
    runParams = nullptr;
    delete updater;
    updater = nullptr;
    emit optimizationComplete();
}

void ControllerNonRigidRegistration::resetParamsToDefault()
{
    params = defaultParams;
}

void ControllerNonRigidRegistration::warn(const QString& title, const QString& text)
{
    QMessageBox::warning(dialogParent, title, text);
}

void ControllerNonRigidRegistration::openSaveControlPointsDialog()
{
    const QString file =
        QFileDialog::getSaveFileName(dialogParent, QStringLiteral("Save template control points indices"),
                                     lastControlPointsDir, QStringLiteral("Template control points (*.txt)"));
    if (file.isEmpty())
        return;
    lastControlPointsDir = QFileInfo(file).absolutePath();
    if (!SelectionSaver::saveIndices(file, srcControlPoints))
        warn(QStringLiteral("Can not save file"),
             QStringLiteral("Failed to save template control points indices to file!"));
}

void ControllerNonRigidRegistration::openLoadControlPointsDialog()
{
    const QString file =
        QFileDialog::getOpenFileName(dialogParent, QStringLiteral("Select file containg control points indices"),
                                     lastControlPointsDir, QStringLiteral("Template control points (*.txt)"));
    if (file.isEmpty())
        return;
    lastControlPointsDir = QFileInfo(file).absolutePath();
    QList<int> indices;
    if (!SelectionSaver::loadIndices(file, indices)) {
        warn(QStringLiteral("Can not load file"),
             QStringLiteral("Failed to load template control points indices from file!"));
        return;
    }
    if (!allWithin(indices, templateView->geometry->vertices.size())) {
        warn(QStringLiteral("Failed to load control points selection"),
             QStringLiteral("Some indices refer to nonexistent vertices"));
        return;
    }
    setSrcControlPoints(indices);
}

void ControllerNonRigidRegistration::openSaveFreePolygonsDialog()
{
    const QString file =
        QFileDialog::getSaveFileName(dialogParent, QStringLiteral("Save free polygons selection"), lastFreePolygonsDir,
                                     QStringLiteral("Free polygons file (*.txt)"));
    if (file.isEmpty())
        return;
    lastFreePolygonsDir = QFileInfo(file).absolutePath();
    if (!SelectionSaver::saveIndices(file, GeometryStack::maskToIndices(freePolygons)))
        warn(QStringLiteral("Can not save file"), QStringLiteral("Failed to save free polygons indices to file!"));
}

void ControllerNonRigidRegistration::openLoadFreePolygonsDialog()
{
    const QString file =
        QFileDialog::getOpenFileName(dialogParent, QStringLiteral("Select file containg free polygons indices"),
                                     lastFreePolygonsDir, QStringLiteral("Free polygons file (*.txt)"));
    if (file.isEmpty())
        return;
    lastFreePolygonsDir = QFileInfo(file).absolutePath();
    QList<int> indices;
    if (!SelectionSaver::loadIndices(file, indices)) {
        warn(QStringLiteral("Can not load file"), QStringLiteral("Failed to load free polygon indices from file!"));
        return;
    }
    const int polygonCount = templateView->geometry->polygons.size();
    if (!allWithin(indices, polygonCount)) {
        warn(QStringLiteral("Failed to load free polygons selection"),
             QStringLiteral("Some indices refer to nonexistent polygons"));
        return;
    }
    freePolygons = GeometryStack::indicesToMask(indices, polygonCount);
    updateFreePolygonsPreview();
    updateFreePolygonsOwnView();
}
