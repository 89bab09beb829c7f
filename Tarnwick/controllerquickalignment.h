#pragma once
// The quick alignment: pairs of points picked on the template and the target,
// and the similarity transform (uniform scale, rotation, shift) that carries
// the template's points onto the target's, previewed half transparent in the
// results view. The template itself is only changed by the tool's Done.
#include "Tarnwick/MeshPointPicker.h"
#include "Tarnwick/ModeColors.h"

#include <QColor>
#include <QList>
#include <QMatrix4x4>
#include <QObject>
#include <QVector3D>
#include <QVector>

class GeomStackView;
class LabelFontAtlas;
class PointSelectionController;
class QWidget;
namespace Viewport3D {
class GLGeometrySplitted;
class GLPointsWithLabels;
}  // namespace Viewport3D

class ControllerQuickAlignment : public QObject {
    Q_OBJECT
public:
    ControllerQuickAlignment(GeomStackView* templateView, GeomStackView* targetView, QWidget* templateContainer,
                             QWidget* targetContainer, QObject* parent = nullptr);
    ~ControllerQuickAlignment() override;

    // At least 3 template points and as many target points.
    bool canEvaluate() const;
    QVector<QVector3D> alignedTemplateVertices() const;
    QVector<QVector3D> alignedTemplateNormals() const;
    void initializeGLGeomPreview();

    QMatrix4x4 currentAlignment() const { return alignment; }
    const QList<int>& templatePoints() const { return srcCorrespondentPoints; }
    const QList<int>& targetPoints() const { return dstCorrespondentPoints; }
    // The open picking controllers (null outside the picking).
    PointSelectionController* templatePicker() const { return srcPicker_ ? srcPicker_->controller() : nullptr; }
    PointSelectionController* targetPicker() const { return dstPicker_ ? dstPicker_->controller() : nullptr; }
    Viewport3D::GLGeometrySplitted* preview() const { return previewGeometry; }

signals:
    void setCorrespondentPointsModeEntered();
    void setCorrespondentPointsModeReleased();

public slots:
    void enterSetCorrespondentPointsMode();
    void exitSetCorrespondentPointsMode();
    void evaluate();

private:
    GeomStackView* templateView;
    GeomStackView* targetView;
    QWidget* templateContainer;
    QWidget* targetContainer;
    MeshPointPicker* srcPicker_ = nullptr;
    MeshPointPicker* dstPicker_ = nullptr;
    LabelFontAtlas* pickLabelAtlas = nullptr;
    LabelFontAtlas* markerLabelAtlas = nullptr;
    QList<int> srcCorrespondentPoints;
    QList<int> dstCorrespondentPoints;
    Viewport3D::GLPointsWithLabels* srcMarkers = nullptr;
    Viewport3D::GLPointsWithLabels* dstMarkers = nullptr;
    Viewport3D::GLGeometrySplitted* previewGeometry = nullptr;
    QMatrix4x4 alignment;
    QColor templateColor = ModeColors::templateFill;
    QColor wireColor = ModeColors::templateWire;
    QColor pickLabelColor = ModeColors::pickLabel;
    QColor markerColor = ModeColors::marker;
    double previewOpacity = 0.5;
};
