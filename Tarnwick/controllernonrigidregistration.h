#pragma once
// The registration mode: control points picked on both meshes, free polygons
// of the template kept out of the fit, their index files, and the non-rigid
// run itself. The run works in a space where the template's largest extent is
// 1 (the target scaled by the same factor); the GUI thread measures the median
// neighbour distance and builds the deformation graph, the worker thread
// solves, and every preview and result is scaled back before it is shown or kept.
#include "Tarnwick/MeshPointPicker.h"
#include "Tarnwick/ModeColors.h"
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QVector3D>
#include <QVector>

class GeomStackView;
class LabelFontAtlas;
class PointSelectionController;
class PolygonSelectionController;
class PolygonSelectionWidget;
class QWidget;
namespace DynamicGraph {
class Graph;
}
namespace HE {
class HalfEdgeGeom;
}
namespace KDTree {
class NodeBase;
}
namespace NonRigidRegistration {
class NonRigidRegistrationInteractiveUpdater;
struct NonRigidRegistrationAutoLevelsParams;
}  // namespace NonRigidRegistration
namespace Viewport3D {
class GLGeometrySplitted;
class GLPoints;
class GLPointsWithLabels;
class LassoSelectionController;
}  // namespace Viewport3D

class ControllerNonRigidRegistration : public QObject {
    Q_OBJECT
public:
    struct Params {
        double initialRigidness;
        double finalRigidness;
        double initialDensity;
        double densityMultiplier;
        int maxIterations;
    };

    ControllerNonRigidRegistration(GeomStackView* templateView, GeomStackView* targetView, QWidget* templateContainer,
                                   QWidget* targetContainer, QWidget* dialogParent, QObject* parent = nullptr);
    // A run still going is stopped and waited for first.
    ~ControllerNonRigidRegistration() override;

    bool isControlPointsCountEqual() const;
    bool isRunning() const;
    QVector<QVector3D> getSrcVerticesDeformed() const;
    // Replace the list and rebuild every control-point marker. A list with an
    // index outside its mesh is refused (logged) and nothing changes; the
    // return value tells whether the list was taken.
    bool setSrcControlPoints(const QList<int>& indices);
    bool setDstControlPoints(const QList<int>& indices);

    double initialRigidness() const { return params.initialRigidness; }
    double finalRigidness() const { return params.finalRigidness; }
    double initialDensity() const { return params.initialDensity; }
    double densityMultiplier() const { return params.densityMultiplier; }
    int maxIterations() const { return params.maxIterations; }
    void setInitialRigidness(double value) { params.initialRigidness = value; }
    void setFinalRigidness(double value) { params.finalRigidness = value; }
    void setInitialDensity(double value) { params.initialDensity = value; }
    void setDensityMultiplier(double value) { params.densityMultiplier = value; }
    void setMaxIterations(int value) { params.maxIterations = value; }

    // Stops a run, waits for its worker and delivers its result at once (the
    // window closing during a run); nothing outside a run.
    void interruptAndWait();

    // For tests and the benchmark.
    const QList<int>& srcControlPointsList() const { return srcControlPoints; }
    const QList<int>& dstControlPointsList() const { return dstControlPoints; }
    const QVector<bool>& freePolygonsMask() const { return freePolygons; }
    double normalization() const { return normalizationFactor; }
    PointSelectionController* templatePicker() const { return srcPicker_ ? srcPicker_->controller() : nullptr; }
    PointSelectionController* targetPicker() const { return dstPicker_ ? dstPicker_->controller() : nullptr; }
    PolygonSelectionController* polygonPicker() const { return polygonSelection; }
    Viewport3D::GLGeometrySplitted* preview() const { return previewGeometry; }
    Viewport3D::GLPoints* nodeMarkers() const { return nodePoints; }
    Viewport3D::GLPointsWithLabels* templateMarkers() const { return srcMarkers; }
    Viewport3D::GLPointsWithLabels* targetMarkers() const { return dstMarkers; }
    Viewport3D::GLPointsWithLabels* templateResultsMarkers() const { return srcResultsMarkers; }
    Viewport3D::GLPointsWithLabels* targetResultsMarkers() const { return dstResultsMarkers; }
    NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded* workerThread() const { return thread; }
    const NonRigidRegistration::NonRigidRegistrationAutoLevelsParams* currentRunParams() const { return runParams; }
    // Seconds the GUI thread spent in the last evaluate() before the worker started.
    double lastStartSeconds() const { return lastStartSeconds_; }

    QString lastControlPointsDir;
    QString lastFreePolygonsDir;

signals:
    void interruptionRequested();
    void optimizationStarted();
    void optimizationComplete();
    void levelChanged(int levelInd, int nLevels);
    void selectControlPointsModeEntered();
    void selectControlPointsModeReleased();
    void selectPolygonsModeEntered();
    void selectPolygonsModeReleased();

public slots:
    void enterSelectControlPointsMode();
    void exitSelectControlPointsMode();
    void enterSelectFreePolygonsMode();
    void exitSelectFreePolygonsMode();
    void evaluate();
    void terminate();
    void resetParamsToDefault();
    void openSaveControlPointsDialog();
    void openLoadControlPointsDialog();
    void openSaveFreePolygonsDialog();
    void openLoadFreePolygonsDialog();

private slots:
    void onOptimizationStep(QVector<QVector3D> srcVerticesDeformed, QVector<QVector3D> srcNormalsDeformed,
                            QVector<QVector3D> nodesDeformed, QVector<QList<int>> neighboursTable,
                            QVector<QVector3D> srcControlVertices, QVector<QVector3D> dstControlVertices);
    void onOptimizationComplete(QVector<QVector3D> srcVerticesDeformed, QVector<QVector3D> srcNormalsDeformed);

private:
    void buildSrcMarkers();
    void buildDstMarkers();
    void buildResultsMarkers();
    void removeResultsMarkers();
    void rebuildAllMarkers();
    void updateFreePolygonsPreview();
    void updateFreePolygonsOwnView();
    // Unhides what the lasso hid and deletes the free-polygon selection, its lasso and its strip.
    void removeFreePolygonsTools();
    QVector<bool> freePolygonsCornerMask() const;
    void refuseRun(const QString& reason);
    void warn(const QString& title, const QString& text);

    Params params = {3.0, 0.2, 1.0, 2.0, 20};
    const Params defaultParams = {3.0, 0.2, 1.0, 2.0, 20};
    GeomStackView* templateView;
    GeomStackView* targetView;
    Viewport3D::GLGeometrySplitted* previewGeometry = nullptr;
    QWidget* templateContainer;
    QWidget* targetContainer;
    QWidget* dialogParent;
    MeshPointPicker* srcPicker_ = nullptr;
    MeshPointPicker* dstPicker_ = nullptr;
    PolygonSelectionController* polygonSelection = nullptr;
    PolygonSelectionWidget* polygonSelectionWidget = nullptr;
    Viewport3D::LassoSelectionController* lassoController = nullptr;
    QColor templateColor = ModeColors::templateFill;
    QColor wireColor = ModeColors::templateWire;
    QColor pickLabelColor = ModeColors::pickLabel;
    QColor markerColor = ModeColors::marker;
    QColor freePolygonsColor = ModeColors::freePolygons;
    LabelFontAtlas* pickLabelAtlas = nullptr;
    LabelFontAtlas* markerLabelAtlas = nullptr;
    Viewport3D::GLPointsWithLabels* srcMarkers = nullptr;
    Viewport3D::GLPointsWithLabels* dstMarkers = nullptr;
    Viewport3D::GLPoints* nodePoints = nullptr;
    Viewport3D::GLPointsWithLabels* srcResultsMarkers = nullptr;
    Viewport3D::GLPointsWithLabels* dstResultsMarkers = nullptr;
    QList<int> srcControlPoints;
    QList<int> dstControlPoints;
    QVector<bool> freePolygons;
    NonRigidRegistration::NonRigidRegistrationAutoLevelsParams* runParams = nullptr;
    NonRigidRegistration::NonRigidRegistrationInteractiveUpdater* updater = nullptr;
    // Deleted once its run has returned (finished() -> deleteLater), hence guarded.
    QPointer<NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded> thread;
    double normalizedSize = 1.0;
    double normalizationFactor = 1.0;
    DynamicGraph::Graph* graph = nullptr;
    QVector<QVector3D> srcVerticesNormalized;
    QVector<QVector3D> dstVerticesNormalized;
    KDTree::NodeBase* dstKdTree = nullptr;
    HE::HalfEdgeGeom* halfEdgeGeom = nullptr;
    QVector<QVector3D> srcVerticesDeformed;
    QVector<QVector3D> srcNormalsDeformed;
    bool running = false;
    double lastStartSeconds_ = 0.0;
};
