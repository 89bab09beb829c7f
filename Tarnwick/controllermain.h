#pragma once
// Holds the template and the target while they are loaded: their meshes, the
// template's half-edge form, their drawn records and textures, and the common
// scale both are held in. Loads them from OBJ files and images, shows them in
// their views and the results view, saves the fitted template back in file
// units, and announces every change of the models through its signals.
#include "Tarnwick/ModeColors.h"
#include "Tarnwick/shadingparams.h"

#include <QColor>
#include <QObject>
#include <QString>

class AppSettings;
class GeomStackView;
struct GeomStackViewPreparation;
class MainWindow;
class QImage;
class QWidget;
class ViewportResultsToolsWidget;
namespace GeometryStack {
class GeomStack;
}
namespace HE {
class HalfEdgeGeom;
}
namespace Viewport2D {
class GLViewport2D;
}
namespace Viewport3D {
class Viewport3D2;
class Viewport3DLayered;
}  // namespace Viewport3D

class ControllerMain : public QObject {
    Q_OBJECT
public:
    ControllerMain(Viewport3D::Viewport3D2* viewport3DTemplate, Viewport3D::Viewport3D2* viewport3DTarget,
                   Viewport3D::Viewport3DLayered* viewport3DResults, Viewport2D::GLViewport2D* viewport2D,
                   ViewportResultsToolsWidget* viewportResultsToolsWidget, QWidget* widgetsAreaTemplate,
                   QWidget* widgetsAreaTarget, QWidget* paramsPlaceholder, MainWindow* mainWindow,
                   AppSettings* appSettings, QObject* parent = nullptr);
    ~ControllerMain() override;

    bool isTemplateLoaded() const;
    bool isTargetLoaded() const;
    bool isTemplateTextureLoaded() const;
    bool isTargetTextureLoaded() const;

    // Empty on success, else the reader's error text or why the file gives no
    // model (no polygons; for a target, no extent); a failure changes nothing.
    QString loadTemplate(const QString& fileName);
    QString loadTarget(const QString& fileName);
    // True when the image was read and applied; a failure keeps the previous texture.
    bool loadTextureTemplate(const QString& fileName);
    bool loadTextureTarget(const QString& fileName);
    // Write the file; a failure is shown in a warning box.
    void saveTemplate(const QString& fileName);
    void saveTemplateTexture(const QString& fileName);
    void removeTemplate();
    void removeTarget();
    // With a preparation made over the rescaled template, the new record takes its trees and arrays.
    void scaleTemplate(double factor, GeomStackViewPreparation* prepared = nullptr);
    void setTargetVisibleInResults(bool visible);
    // A new view record of the template in the template and results views, in the template's colours.
    void buildTemplateView(GeomStackViewPreparation* prepared = nullptr);

    Viewport3D::Viewport3D2* viewport3DTemplate;
    Viewport3D::Viewport3D2* viewport3DTarget;
    Viewport3D::Viewport3DLayered* viewport3DResults;
    Viewport2D::GLViewport2D* viewport2D;
    GeomStackView* geomStackViewTemplate = nullptr;
    GeomStackView* geomStackViewTarget = nullptr;
    QWidget* widgetsAreaTemplate;
    QWidget* widgetsAreaTarget;
    GeometryStack::GeomStack* geomStackTemplate = nullptr;
    GeometryStack::GeomStack* geomStackTarget = nullptr;
    QColor colorTemplate = ModeColors::templateFill;
    QColor colorWire = ModeColors::templateWire;
    QImage* textureTarget = nullptr;
    QImage* textureTemplate = nullptr;
    ShadingParams shadingParamsTemplate = ShadingParams(true, true, true);
    ShadingParams shadingParamsTarget = ShadingParams(true, true, true);
    QWidget* paramsPlaceholder;
    MainWindow* mainWindow;
    AppSettings* appSettings;
    ViewportResultsToolsWidget* viewportResultsToolsWidget;
    HE::HalfEdgeGeom* halfEdgeGeomTemplate = nullptr;
    QColor colorTarget = QColor(92, 116, 140);
    double currentScale = 1.0;
    double autoscaleSize = 100.0;

signals:
    void templateLoaded();
    void targetLoaded();
    void templateTextureLoaded();
    void targetTextureLoaded();
    void templateRemoved();
    void targetRemoved();

public slots:
    void fitToViewViewport3DTemplate();
    void fitToViewViewport3DTarget();
    void fitToViewViewport3DResults();
    void openSaveToFileDialog();
    void openSaveTextureDialog();
    void setShadingParamsTemplate(bool textured, bool shaded, bool wireVisible);
    void setShadingParamsTarget(bool textured, bool shaded, bool wireVisible);

private slots:
    void openLoadFileDialogTemplate();
    void openLoadFileDialogTarget();
    void openLoadTextureDialogTemplate();
    void openLoadTextureDialogTarget();

private:
    QWidget* dialogParent() const;
    // Shared steps of the two texture loads; `which` is "template" or "target".
    bool loadTexture(const QString& fileName, const QString& which, QImage** texture, GeomStackView* view,
                     Viewport3D::Viewport3D2* viewport);
};
