#include "Tarnwick/controllermain.h"

#include "Tarnwick/appsettings.h"
#include "Tarnwick/mainwindow.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "numerics/ParallelChunks.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"

#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QMessageBox>
#include <QtConcurrent/QtConcurrentRun>
#include <cmath>
#include <memory>

namespace {

QString folderOf(const QString& fileName)
{
    return QFileInfo(fileName).absolutePath();
}

// The reader takes a file without faces (empty, comments only, vertices only)
// as a valid mesh of nothing; as a model it would replace the loaded one with
// nothing to show or fit, so it is refused like a file that does not parse.
QString refusalOfEmptyMesh(const GeometryStack::GeomStack& mesh)
{
    if (mesh.polygons.isEmpty())
        return QStringLiteral("The file holds no polygons: a model needs at least one face.");
    return QString();
}

}  // namespace

ControllerMain::ControllerMain(Viewport3D::Viewport3D2* viewport3DTemplate, Viewport3D::Viewport3D2* viewport3DTarget,
                               Viewport3D::Viewport3DLayered* viewport3DResults, Viewport2D::GLViewport2D* viewport2D,
                               ViewportResultsToolsWidget* viewportResultsToolsWidget, QWidget* widgetsAreaTemplate,
                               QWidget* widgetsAreaTarget, QWidget* paramsPlaceholder, MainWindow* mainWindow,
                               AppSettings* appSettings, QObject* parent)
    : QObject(parent),
      viewport3DTemplate(viewport3DTemplate),
      viewport3DTarget(viewport3DTarget),
      viewport3DResults(viewport3DResults),
      viewport2D(viewport2D),
      widgetsAreaTemplate(widgetsAreaTemplate),
      widgetsAreaTarget(widgetsAreaTarget),
      paramsPlaceholder(paramsPlaceholder),
      mainWindow(mainWindow),
      appSettings(appSettings),
      viewportResultsToolsWidget(viewportResultsToolsWidget)
{}

ControllerMain::~ControllerMain()
{
    // The owner deletes this while the views live: the drawn records release
    // their GL objects in the views' contexts. Nobody is told any more.
    delete textureTemplate;
    delete textureTarget;
    delete geomStackViewTemplate;
    delete geomStackViewTarget;
    delete geomStackTemplate;
    delete geomStackTarget;
    delete halfEdgeGeomTemplate;
}

bool ControllerMain::isTemplateLoaded() const
{
    return geomStackTemplate != nullptr;
}

bool ControllerMain::isTargetLoaded() const
{
    return geomStackTarget != nullptr;
}

bool ControllerMain::isTemplateTextureLoaded() const
{
    return textureTemplate != nullptr;
}

bool ControllerMain::isTargetTextureLoaded() const
{
    return textureTarget != nullptr;
}

QWidget* ControllerMain::dialogParent() const
{
    return mainWindow;
}

QString ControllerMain::loadTemplate(const QString& fileName)
{
    qDebug() << "log:"
             << "Start loading template:" << fileName;
    QString error;
    auto* mesh = new GeometryStack::GeomStack(fileName, &error, true, false);
    if (error.isEmpty())
        error = refusalOfEmptyMesh(*mesh);
    if (!error.isEmpty()) {
        qDebug() << "log:"
                 << "Failed to load template:" << error;
        delete mesh;
        return error;
    }
    qDebug() << "log:"
             << "Template loaded:" << mesh->vertices.size() << "vertices," << mesh->polygons.size() << "polygons,"
             << mesh->polygroupNames.size() << "polygroups";
    // The half-edge form needs only the file's arrays: it is built on the pool
    // (from copies, as the mesh is scaled meanwhile) while this thread builds
    // the drawn record, and joined before anyone hears of the new template.
    QFuture<HE::HalfEdgeGeom*> halfEdge = QtConcurrent::run(
        [vertices = mesh->vertices, polygons = mesh->polygons] { return new HE::HalfEdgeGeom(vertices, polygons); });

    removeTemplate();
    mesh->scale(currentScale);
    mesh->computeNormals();
    geomStackTemplate = mesh;
    buildTemplateView();
    halfEdgeGeomTemplate = halfEdge.result();
    halfEdgeGeomTemplate->scale(currentScale);
    viewport3DTemplate->makeCurrent();
    viewport3DTemplate->fitToView();
    fitToViewViewport3DResults();
    emit templateLoaded();
    return QString();
}

QString ControllerMain::loadTarget(const QString& fileName)
{
    qDebug() << "log:"
             << "Start loading target:" << fileName;
    QString error;
    auto* mesh = new GeometryStack::GeomStack(fileName, &error, true, false);
    if (error.isEmpty())
        error = refusalOfEmptyMesh(*mesh);
    // A box without extent gives no finite common scale, which would corrupt
    // every vertex of both models: such a target is refused like a bad file.
    if (error.isEmpty()) {
        const int axis = mesh->boundingBox.longestAxis();
        const double extent = axis < 0 ? 0.0 : double(mesh->boundingBox.size[axis]);
        if (!(extent > 0.0) || !std::isfinite(autoscaleSize / extent))
            error = QStringLiteral("The target model has no extent: all its vertices are at one point.");
    }
    if (!error.isEmpty()) {
        qDebug() << "log:"
                 << "Failed to load target:" << error;
        delete mesh;
        return error;
    }
    qDebug() << "log:"
             << "Target loaded:" << mesh->vertices.size() << "vertices," << mesh->polygons.size() << "polygons,"
             << mesh->polygroupNames.size() << "polygroups";

    removeTarget();
    const double extent = mesh->boundingBox.size[mesh->boundingBox.longestAxis()];
    const double scale = autoscaleSize / extent;
    qDebug() << "Autoscale:" << scale;
    // The template's record at the new scale needs trees and corner arrays
    // over rescaled positions: they are built on the pool, over a rescaled copy
    // (the positions scaleTemplate gives the template), while the target is
    // built and shown.
    const double templateFactor = (1.0 / currentScale) * scale;
    GeomStackViewPreparation templateParts;
    if (isTemplateLoaded()) {
        auto rescaled = std::make_shared<GeometryStack::GeomStack>(*geomStackTemplate);
        rescaled->scale(templateFactor);
        templateParts = prepareGeomStackView(rescaled);
    }
    mesh->scale(scale);
    mesh->computeNormals();
    geomStackTarget = mesh;
    geomStackViewTarget = new GeomStackView(geomStackTarget, viewport3DTarget, viewport3DResults, colorTarget, true,
                                            false, colorWire, false);
    viewport3DTarget->makeCurrent();
    viewport3DTarget->fitToView();
    fitToViewViewport3DResults();
    if (isTemplateLoaded())
        scaleTemplate(templateFactor, &templateParts);
    currentScale = scale;
    emit targetLoaded();
    return QString();
}

void ControllerMain::buildTemplateView(GeomStackViewPreparation* prepared)
{
    geomStackViewTemplate = new GeomStackView(geomStackTemplate, viewport3DTemplate, viewport3DResults, colorTemplate,
                                              true, true, colorWire, true, prepared);
}

void ControllerMain::scaleTemplate(double factor, GeomStackViewPreparation* prepared)
{
    geomStackTemplate->scale(factor);
    halfEdgeGeomTemplate->scale(factor);
    delete geomStackViewTemplate;
    geomStackViewTemplate = nullptr;
    buildTemplateView(prepared);
    if (textureTemplate) {
        viewport3DTemplate->makeCurrent();
        geomStackViewTemplate->viewGeometry->setTexture(*textureTemplate);
    }
    viewport3DTemplate->makeCurrent();
    viewport3DTemplate->fitToView();
    fitToViewViewport3DResults();
}

void ControllerMain::removeTemplate()
{
    delete textureTemplate;
    textureTemplate = nullptr;
    delete geomStackViewTemplate;
    geomStackViewTemplate = nullptr;
    // The mesh and the half-edge form hold only memory: freed on the pool.
    Parallel::deleteOnPool(geomStackTemplate);
    geomStackTemplate = nullptr;
    Parallel::deleteOnPool(halfEdgeGeomTemplate);
    halfEdgeGeomTemplate = nullptr;
    emit templateRemoved();
}

void ControllerMain::removeTarget()
{
    delete textureTarget;
    textureTarget = nullptr;
    delete geomStackViewTarget;
    geomStackViewTarget = nullptr;
    Parallel::deleteOnPool(geomStackTarget);
    geomStackTarget = nullptr;
    emit targetRemoved();
}

bool ControllerMain::loadTextureTemplate(const QString& fileName)
{
    if (!loadTexture(fileName, QStringLiteral("template"), &textureTemplate, geomStackViewTemplate, viewport3DTemplate))
        return false;
    qDebug() << "log:"
             << "Template texture loaded";
    emit templateTextureLoaded();
    return true;
}

bool ControllerMain::loadTextureTarget(const QString& fileName)
{
    if (!loadTexture(fileName, QStringLiteral("target"), &textureTarget, geomStackViewTarget, viewport3DTarget))
        return false;
    qDebug() << "log:"
             << "Target texture loaded";
    emit targetTextureLoaded();
    return true;
}

bool ControllerMain::loadTexture(const QString& fileName, const QString& which, QImage** texture, GeomStackView* view,
                                 Viewport3D::Viewport3D2* viewport)
{
    const QSize announced = QImageReader(fileName).size();
    qDebug() << "log:" << qPrintable(QStringLiteral("Start loading %1 texture:").arg(which)) << announced.width() << "x"
             << announced.height() << fileName;
    auto* image = new QImage(fileName);
    // A texture belongs to a loaded model; without one there is nothing to put it on.
    if (image->isNull() || !view) {
        qDebug() << "log:" << qPrintable(QStringLiteral("Failed to load %1 texture").arg(which));
        delete image;
        return false;
    }
    delete *texture;
    *texture = image;
    viewport->makeCurrent();
    view->viewGeometry->removeTexture();
    view->viewGeometry->setTexture(*image);
    viewport->update();
    return true;
}

void ControllerMain::saveTemplate(const QString& fileName)
{
    if (!geomStackViewTemplate)
        return;
    qDebug() << "log:"
             << "Saving template:" << fileName;
    GeometryStack::GeomStack copy(*geomStackViewTemplate->geometry);
    const double toFileUnits = 1.0 / currentScale;
    for (QVector3D& v : copy.vertices)
        v = QVector3D(float(v.x() * toFileUnits), float(v.y() * toFileUnits), float(v.z() * toFileUnits));
    if (!copy.saveToObj(fileName, true, true))
        QMessageBox::warning(dialogParent(), QStringLiteral("Failed to save file"),
                             QStringLiteral("Can not save file: %1").arg(fileName));
}

void ControllerMain::saveTemplateTexture(const QString& fileName)
{
    if (!textureTemplate)
        return;
    qDebug() << "log:"
             << "Saving template texture:" << fileName;
    if (!textureTemplate->save(fileName, nullptr, 90))
        QMessageBox::warning(dialogParent(), QStringLiteral("Failed to save image file"),
                             QStringLiteral("Can not save file: %1").arg(fileName));
}

void ControllerMain::fitToViewViewport3DTemplate()
{
    viewport3DTemplate->makeCurrent();
    viewport3DTemplate->fitToView();
}

void ControllerMain::fitToViewViewport3DTarget()
{
    viewport3DTarget->makeCurrent();
    viewport3DTarget->fitToView();
}

void ControllerMain::fitToViewViewport3DResults()
{
    viewport3DResults->makeCurrent();
    // A cached back layer must follow the new camera.
    const bool always = viewport3DResults->alwaysRedrawBackLayer();
    viewport3DResults->setAlwaysRedrawBackLayer(true);
    viewport3DResults->fitToView();
    viewport3DResults->setAlwaysRedrawBackLayer(always);
}

void ControllerMain::setTargetVisibleInResults(bool visible)
{
    if (!geomStackViewTarget)
        return;
    viewport3DResults->makeCurrent();
    const bool always = viewport3DResults->alwaysRedrawBackLayer();
    viewport3DResults->setAlwaysRedrawBackLayer(true);
    geomStackViewTarget->resultsGeometry->setVisible(visible);
    viewport3DResults->updateGL();
    viewport3DResults->setAlwaysRedrawBackLayer(always);
}

void ControllerMain::setShadingParamsTemplate(bool textured, bool shaded, bool wireVisible)
{
    shadingParamsTemplate = ShadingParams(textured, shaded, wireVisible);
    if (geomStackViewTemplate) {
        geomStackViewTemplate->setShadingParams(textured, shaded, wireVisible);
        viewport3DTemplate->update();
    }
}

void ControllerMain::setShadingParamsTarget(bool textured, bool shaded, bool wireVisible)
{
    shadingParamsTarget = ShadingParams(textured, shaded, wireVisible);
    if (geomStackViewTarget) {
        geomStackViewTarget->setShadingParams(textured, shaded, wireVisible);
        viewport3DTarget->update();
    }
}

void ControllerMain::openLoadFileDialogTemplate()
{
    const QString fileName =
        QFileDialog::getOpenFileName(dialogParent(), QStringLiteral("Select template model"),
                                     appSettings->lastTemplateOpenPath, QStringLiteral("Template model (*.obj)"));
    if (fileName.isEmpty())
        return;
    appSettings->lastTemplateOpenPath = folderOf(fileName);
    const QString error = loadTemplate(fileName);
    if (!error.isEmpty())
        QMessageBox::warning(dialogParent(), QStringLiteral("Failed to load file"),
                             QStringLiteral("Error occured during loading file:\n") + error);
}

void ControllerMain::openLoadFileDialogTarget()
{
    const QString fileName =
        QFileDialog::getOpenFileName(dialogParent(), QStringLiteral("Select target model"),
                                     appSettings->lastTargetOpenPath, QStringLiteral("Target model (*.obj)"));
    if (fileName.isEmpty())
        return;
    appSettings->lastTargetOpenPath = folderOf(fileName);
    const QString error = loadTarget(fileName);
    if (!error.isEmpty())
        QMessageBox::warning(dialogParent(), QStringLiteral("Failed to load file"),
                             QStringLiteral("Error occured during loading file:\n") + error);
}

void ControllerMain::openLoadTextureDialogTemplate()
{
    const QString fileName = QFileDialog::getOpenFileName(
        dialogParent(), QStringLiteral("Select template texture file"), appSettings->lastTemplateTextureOpenPath,
        QStringLiteral("Template texture (*.*)"));
    if (fileName.isEmpty())
        return;
    appSettings->lastTemplateTextureOpenPath = folderOf(fileName);
    if (!loadTextureTemplate(fileName))
        QMessageBox::warning(dialogParent(), QStringLiteral("Failed to load texture"),
                             QStringLiteral("Error occured during loading texture: ") + fileName);
}

void ControllerMain::openLoadTextureDialogTarget()
{
    const QString fileName =
        QFileDialog::getOpenFileName(dialogParent(), QStringLiteral("Select target texture file"),
                                     appSettings->lastTargetTextureOpenPath, QStringLiteral("Target texture (*.*)"));
    if (fileName.isEmpty())
        return;
    appSettings->lastTargetTextureOpenPath = folderOf(fileName);
    if (!loadTextureTarget(fileName))
        QMessageBox::warning(dialogParent(), QStringLiteral("Failed to load texture"),
                             QStringLiteral("Error occured during loading texture: ") + fileName);
}

void ControllerMain::openSaveToFileDialog()
{
    const QString fileName =
        QFileDialog::getSaveFileName(dialogParent(), QStringLiteral("Save model"), appSettings->lastSavePath,
                                     QStringLiteral("Model to save (*.obj)"));
    if (fileName.isEmpty())
        return;
    appSettings->lastSavePath = folderOf(fileName);
    saveTemplate(fileName);
}

void ControllerMain::openSaveTextureDialog()
{
    const QString fileName = QFileDialog::getSaveFileName(dialogParent(), QStringLiteral("Save texture"), QString(),
                                                          QStringLiteral("JPEG (*.jpg);;PNG (*.png);;BMP (*.bmp)"));
    if (fileName.isEmpty())
        return;
    saveTemplateTexture(fileName);
}
