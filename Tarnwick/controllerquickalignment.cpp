#include "Tarnwick/controllerquickalignment.h"

#include "Tarnwick/ModeMarkers.h"
#include "mesh/IndexContainers.h"
#include "mesh/MeshTransforms.h"
#include "registration/RigidAlignmentSparseLM.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "rendering/glpointswithlabels.h"
#include "rendering/labelfontatlas.h"

#include <QDebug>
#include <cmath>

namespace {

// A transform that would write NaN or fold the template: non-finite entries or no positive scale.
bool isUsableSimilarity(const QMatrix4x4& m)
{
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m.constData()[i]))
            return false;
    return m.determinant() > 0.0;
}

}  // namespace

ControllerQuickAlignment::ControllerQuickAlignment(GeomStackView* templateView, GeomStackView* targetView,
                                                   QWidget* templateContainer, QWidget* targetContainer,
                                                   QObject* parent)
    : QObject(parent),
      templateView(templateView),
      targetView(targetView),
      templateContainer(templateContainer),
      targetContainer(targetContainer)
{
    pickLabelAtlas = ModeMarkers::makeLabelAtlas(pickLabelColor);
    markerLabelAtlas = ModeMarkers::makeLabelAtlas(markerColor);
    templateView->resultsViewport->makeCurrent();
    templateView->resultsGeometry->setVisible(false);
    initializeGLGeomPreview();
    templateView->resultsViewport->update();
}

ControllerQuickAlignment::~ControllerQuickAlignment()
{
    // Pickers still open (the window destroyed while picking) go before the atlas their labels use.
    delete srcPicker_;
    delete dstPicker_;
    Viewport3D::Viewport3DLayered* results = templateView->resultsViewport;
    results->makeCurrent();
    results->removeObject(previewGeometry);
    delete previewGeometry;
    ModeMarkers::removeMarkers(templateView->viewport, srcMarkers);
    ModeMarkers::removeMarkers(targetView->viewport, dstMarkers);
    delete pickLabelAtlas;
    delete markerLabelAtlas;
    results->makeCurrent();
    templateView->resultsGeometry->setVisible(true);
    results->update();
}

bool ControllerQuickAlignment::canEvaluate() const
{
    return srcCorrespondentPoints.size() >= 3 && srcCorrespondentPoints.size() == dstCorrespondentPoints.size();
}

QVector<QVector3D> ControllerQuickAlignment::alignedTemplateVertices() const
{
    return GeometryStack::transformedVertices(templateView->geometry->vertices, alignment);
}

QVector<QVector3D> ControllerQuickAlignment::alignedTemplateNormals() const
{
    return GeometryStack::transformedNormals(templateView->geometry->normals, alignment);
}

void ControllerQuickAlignment::initializeGLGeomPreview()
{
    qDebug() << "ControllerQuickAlignment::initializeGLGeomPreview()";
    templateView->resultsViewport->makeCurrent();
    previewGeometry =
        makeGLGeometrySplitted(templateView->geometry, templateColor, true, true, wireColor, previewOpacity);
    templateView->resultsViewport->addObject(previewGeometry, 1);
}

void ControllerQuickAlignment::enterSetCorrespondentPointsMode()
{
    ModeMarkers::removeMarkers(templateView->viewport, srcMarkers);
    ModeMarkers::removeMarkers(targetView->viewport, dstMarkers);
    srcPicker_ =
        new MeshPointPicker(templateView, templateContainer, pickLabelAtlas, pickLabelColor, srcCorrespondentPoints);
    dstPicker_ =
        new MeshPointPicker(targetView, targetContainer, pickLabelAtlas, pickLabelColor, dstCorrespondentPoints);
    emit setCorrespondentPointsModeEntered();
}

void ControllerQuickAlignment::exitSetCorrespondentPointsMode()
{
    srcCorrespondentPoints = srcPicker_->points();
    delete srcPicker_;
    srcPicker_ = nullptr;
    dstCorrespondentPoints = dstPicker_->points();
    delete dstPicker_;
    dstPicker_ = nullptr;

    srcMarkers = ModeMarkers::buildMarkers(templateView->viewport, templateView->geometry->vertices,
                                           srcCorrespondentPoints, markerLabelAtlas, markerColor);
    dstMarkers = ModeMarkers::buildMarkers(targetView->viewport, targetView->geometry->vertices, dstCorrespondentPoints,
                                           markerLabelAtlas, markerColor);
    emit setCorrespondentPointsModeReleased();
}

void ControllerQuickAlignment::evaluate()
{
    qDebug() << "Evaluate";
    // The solver needs matching pairs, at least three; the panel only offers
    // Align then, and code calling in directly gets the same refusal.
    if (!canEvaluate()) {
        qDebug() << "log:"
                 << "Alignment refused: it needs at least 3 point pairs with equal counts";
        return;
    }
    const QVector<QVector3D> src =
        GeometryStack::takeByIndices(templateView->geometry->vertices, srcCorrespondentPoints);
    const QVector<QVector3D> dst = GeometryStack::takeByIndices(targetView->geometry->vertices, dstCorrespondentPoints);
    const QMatrix4x4 transform = RigidAlignmentSparseLM::findRigidAlignmentTransform(src, dst);
    // Degenerate picks (points on their centroid, all equal) can give a
    // non-finite or collapsing transform: keep the last good one.
    if (!isUsableSimilarity(transform)) {
        qDebug() << "log:"
                 << "Alignment refused: the picked points give no finite transform with a positive scale";
        return;
    }
    alignment = transform;
    templateView->resultsViewport->makeCurrent();
    previewGeometry->modelMatrix = alignment;
    templateView->resultsViewport->update();
}
