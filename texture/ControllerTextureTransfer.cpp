#include "texture/ControllerTextureTransfer.h"

#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectionwidget.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshMasks.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/GeomStackView.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/ShadingGroup.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "rendering/Viewport3D2.h"
#include "texture/BVHTree2D.h"
#include "texture/ColorExtrapolation/ColorExtrapolator.h"
#include "texture/MedianNearestNeighbourDist.h"
#include "texture/PaddingMaker.h"
#include "texture/TextureTransferThreaded.h"
#include "texture/TransferMemory.h"

#include <QDebug>
#include <QLayout>
#include <QMessageBox>
#include <QThread>
#include <QWidget>
#include <algorithm>

ControllerTextureTransfer::ControllerTextureTransfer(GeomStackView* templateView, GeomStackView* targetView,
                                                     Viewport2D::GLViewport2D* viewport2D, QWidget* templateContainer,
                                                     QImage* targetTexture, QObject* parent)
    : QObject(parent),
      templateView(templateView),
      targetView(targetView),
      viewport2D(viewport2D),
      templateContainer(templateContainer)
{
    GeometryStack::GeomStack* templ = templateView->geometry;
    GeometryStack::GeomStack* target = targetView->geometry;
    excludedPolygons = QVector<bool>(templ->polygons.size(), false);
    excludedTriangles = QVector<bool>(templ->triangles.size(), false);
    medianNearestNeighbourDistance = medianNearestNeighbourDist(templ->vertices, templateView->kdTree);
    uvBvh = BVHTree2D::buildTree(templ->textureVertices, templ->textureTriangles, 1);
    addMaskedTemplateGeometry();

    transferThreaded = new TextureTransfer::TextureTransferThreaded(
        &target->vertices, &target->triangles, &target->textureTriangles, &target->textureVertices, &templ->vertices,
        &templ->triangles, &templ->textureTriangles, &templ->textureVertices, &templ->normals, targetTexture,
        &excludedTriangles, uvBvh, targetView->bvh);
    connect(transferThreaded, &TextureTransfer::TextureTransferThreaded::transferRefused, this,
            &ControllerTextureTransfer::onTransferRefused);
    connect(transferThreaded, &TextureTransfer::TextureTransferThreaded::transferFinished, this,
            &ControllerTextureTransfer::onTransferFinish);
    connect(transferThreaded, &TextureTransfer::TextureTransferThreaded::statusChanged, this,
            &ControllerTextureTransfer::progressChangedTransfer);
    connect(transferThreaded, &TextureTransfer::TextureTransferThreaded::rangeChanged, this,
            &ControllerTextureTransfer::onProgressRangeChangeTransfer);
}

ControllerTextureTransfer::~ControllerTextureTransfer()
{
    // Whatever still runs writes the result and reads the structures freed below.
    interruptAndWait();
    if (polygonSelection)
        removePolygonSelectionTools();
    removeMaskedTemplateGeometry();
    viewport2D->makeCurrent();
    viewport2D->clearImage();
    delete transferThreaded;
    delete uvBvh;
    delete resultImage_;
    delete pendingResult_;
}

void ControllerTextureTransfer::setMaxRelativeDistance(double relativeDistance)
{
    maxDistance = relativeDistance * medianNearestNeighbourDistance;
    qDebug() << "maxDistance:" << maxDistance;
}

void ControllerTextureTransfer::setFillHoles(bool fillHoles)
{
    fillMode = fillHoles ? 1 : 0;
}

void ControllerTextureTransfer::startTransfer()
{
    // Decided from the size alone, before anything is allocated: a refused
    // request changes nothing and the mode goes on as before.
    const TextureTransfer::TransferSizeCheck check = TextureTransfer::checkTransferSize(
        width, height, fillMode, transferThreaded->reservedTexels(), TextureTransfer::memoryLeftForProcess());
    if (!check.fits) {
        qWarning("%s", qPrintable("Texture transfer refused: " + check.reason));
        warnRefused(check.message);
        return;
    }
    pendingResult_ = new QImage(width, height, QImage::Format_ARGB32);
    transferThreaded->setResultImage(pendingResult_);
    transferThreaded->startTextureTransfer(paddingWidth, limitDistance, maxDistance);
    emit transferStarted();
}

void ControllerTextureTransfer::onTransferRefused(const QString& reason)
{
    runRefusal_ = reason;
}

void ControllerTextureTransfer::onTransferFinish()
{
    if (!runRefusal_.isEmpty()) {
        // Nothing was transferred: the previous result, or none, stays.
        const QString reason = runRefusal_;
        runRefusal_.clear();
        transferThreaded->setResultImage(nullptr);
        delete pendingResult_;
        pendingResult_ = nullptr;
        emit transferFinished();
        warnRefused(
            QStringLiteral("The texture transfer could not start: %1.\nChoose a smaller resolution.").arg(reason));
        return;
    }
    qDebug() << "Transfer finished";
    delete resultImage_;
    resultImage_ = pendingResult_;
    pendingResult_ = nullptr;
    transferred = true;
    updatePreviewImage(*resultImage_);
    updateImageInViewportTemplate(*resultImage_);
    // The hole filling runs before the mode is told the transfer is over, so
    // that Done, a new transfer and the tool bar stay unavailable until it returns.
    if (fillMode == 1) {
        runPostProcessing();
        emit transferFinished();
        return;
    }
    emit transferFinished();
    runPostProcessing();
}

void ControllerTextureTransfer::runPostProcessing()
{
    if (fillMode == 0)
        startPadding();
    else if (fillMode == 1)
        extrapolateColors();
}

void ControllerTextureTransfer::startPadding()
{
    paddingMaker = new PaddingMaker(resultImage_, paddingWidth, nullptr);
    connect(paddingMaker, &QThread::finished, this, &ControllerTextureTransfer::onPaddingFinish);
    connect(paddingMaker, &PaddingMaker::rangeChanged, this, &ControllerTextureTransfer::onProgressRangeChangePadding);
    connect(paddingMaker, &PaddingMaker::statusChanged, this, &ControllerTextureTransfer::progressChangedPadding);
    paddingMaker->start(QThread::InheritPriority);
    emit paddingStarted();
}

void ControllerTextureTransfer::onPaddingFinish()
{
    qDebug() << "Padding finished";
    delete paddingMaker;
    paddingMaker = nullptr;
    updatePreviewImage(*resultImage_);
    updateImageInViewportTemplate(*resultImage_);
    emit paddingFinished();
}

void ControllerTextureTransfer::extrapolateColors()
{
    ColorExtrapolation::ColorExtrapolator extrapolator(20, 0.15f, nullptr);
    bool error = false;
    const QImage filled = extrapolator.extrapolate(resultImage_->copy(), &error);
    if (error) {
        qDebug() << "Failed to extrapolate image";
        return;
    }
    delete resultImage_;
    resultImage_ = new QImage(filled);
    updatePreviewImage(*resultImage_);
    updateImageInViewportTemplate(*resultImage_);
}

void ControllerTextureTransfer::warnRefused(const QString& message)
{
    QMessageBox::warning(templateContainer->window(), QStringLiteral("Texture too large"), message);
}

void ControllerTextureTransfer::interruptAndWait()
{
    if (transferThreaded) {
        disconnect(transferThreaded, nullptr, this, nullptr);
        transferThreaded->cancelAndWait();
    }
    if (paddingMaker) {
        disconnect(paddingMaker, nullptr, this, nullptr);
        delete paddingMaker;  // waits for its thread
        paddingMaker = nullptr;
    }
}

void ControllerTextureTransfer::onProgressRangeChangeTransfer(int, int maxValue)
{
    emit progressRangeChangedTransfer(maxValue);
}

void ControllerTextureTransfer::onProgressRangeChangePadding(int, int maxValue)
{
    emit progressRangeChangedPadding(maxValue);
}

void ControllerTextureTransfer::updatePreviewImage(QImage image)
{
    viewport2D->makeCurrent();
    viewport2D->clearImage();
    viewport2D->setImage(image);
    viewport2D->updateGL();
}

void ControllerTextureTransfer::updateImageInViewportTemplate(QImage image)
{
    templateView->viewport->makeCurrent();
    templateView->viewGeometry->removeTexture();
    templateView->viewGeometry->setTexture(image);
    templateView->viewport->updateGL();
}

void ControllerTextureTransfer::enterPolygonSelectionMode()
{
    clearMaskedTemplateGeometry();
    createPolygonSelectionTools();
    emit polygonSelectionModeEntered();
}

void ControllerTextureTransfer::exitPolygonSelectionMode()
{
    removePolygonSelectionTools();
    updateMaskedTemplateGeometry();
    emit polygonSelectionModeReleased();
}

void ControllerTextureTransfer::addMaskedTemplateGeometry()
{
    const Viewport3D::ShadingGroup group = Viewport3D::ShadingGroup::marked(excludedColor, excludedWireColor, true);
    templateView->viewport->makeCurrent();
    templateView->viewGeometry->addShadingGroup(
        group, GeometryStack::polygonMaskToCornerMask(*templateView->geometry, excludedPolygons));
    templateView->viewport->updateGL();
}

void ControllerTextureTransfer::clearMaskedTemplateGeometry()
{
    Viewport3D::GLGeometrySplitted* geometry = templateView->viewGeometry;
    templateView->viewport->makeCurrent();
    geometry->setShadingGroupMask(
        geometry->shadingGroupsCount() - 1,
        GeometryStack::polygonMaskToCornerMask(*templateView->geometry, QVector<bool>(excludedPolygons.size(), false)));
}

void ControllerTextureTransfer::updateMaskedTemplateGeometry()
{
    Viewport3D::GLGeometrySplitted* geometry = templateView->viewGeometry;
    templateView->viewport->makeCurrent();
    geometry->setShadingGroupMask(geometry->shadingGroupsCount() - 1,
                                  GeometryStack::polygonMaskToCornerMask(*templateView->geometry, excludedPolygons));
    templateView->viewport->updateGL();
}

void ControllerTextureTransfer::removeMaskedTemplateGeometry()
{
    templateView->viewport->makeCurrent();
    restoreHiddenPolygons();
    templateView->viewGeometry->removeShadingGroup(templateView->viewGeometry->shadingGroupsCount() - 1);
    templateView->viewport->updateGL();
}

void ControllerTextureTransfer::createPolygonSelectionTools()
{
    lassoController = new Viewport3D::LassoSelectionController(templateView->viewport);
    polygonSelection = new PolygonSelectionController(
        templateView->geometry, templateView->bvh, templateView->viewGeometry, templateView->viewport, lassoController);
    polygonSelection->setSelection(excludedPolygons);
    // What an earlier step hid is still out of the drawing; the new step starts from it.
    if (!visiblePolygons_.isEmpty())
        polygonSelection->setVisibility(visiblePolygons_);
    polygonSelectionWidget = new PolygonSelectionWidget(polygonSelection);
    templateContainer->layout()->addWidget(polygonSelectionWidget);
}

void ControllerTextureTransfer::removePolygonSelectionTools()
{
    templateContainer->layout()->removeWidget(polygonSelectionWidget);
    delete polygonSelectionWidget;
    excludedPolygons = polygonSelection->selection();
    visiblePolygons_ = polygonSelection->visibility();
    excludedTriangles = GeometryStack::polygonMaskToTriangleMask(*templateView->geometry, excludedPolygons);
    delete polygonSelection;
    delete lassoController;
    polygonSelectionWidget = nullptr;
    polygonSelection = nullptr;
    lassoController = nullptr;
}

void ControllerTextureTransfer::restoreHiddenPolygons()
{
    if (std::all_of(visiblePolygons_.cbegin(), visiblePolygons_.cend(), [](bool v) { return v; }))
        return;
    // The template's own groups draw every polygon again, as loading made them.
    const GeometryStack::GeomStack& templ = *templateView->geometry;
    Viewport3D::GLGeometrySplitted* geometry = templateView->viewGeometry;
    if (templ.polygroupNames.isEmpty()) {
        geometry->setShadingGroupMask(
            0, GeometryStack::polygonMaskToCornerMask(templ, QVector<bool>(templ.polygons.size(), true)));
    } else {
        for (int i = 0; i < templ.polygroupNames.size(); ++i)
            geometry->setShadingGroupMask(
                i, GeometryStack::polygonMaskToCornerMask(templ, GeometryStack::polygonMaskOfPolygroup(templ, i)));
    }
    visiblePolygons_.clear();
}
