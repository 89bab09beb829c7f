#pragma once
// The texture-transfer mode's controller: builds the transfer's search
// structures once per visit, lets the user exclude template polygons, runs a
// transfer with the panel's parameters followed by padding or hole filling,
// and previews every result in the 2D view and on the template.
#include <QColor>
#include <QImage>
#include <QObject>
#include <QVector>

class GeomStackView;
class PaddingMaker;
class PolygonSelectionController;
class PolygonSelectionWidget;
class QWidget;

namespace BVHTree2D {
class BvhNodeBase2D;
}
namespace TextureTransfer {
class TextureTransferThreaded;
}
namespace Viewport2D {
class GLViewport2D;
}
namespace Viewport3D {
class LassoSelectionController;
}

class ControllerTextureTransfer : public QObject {
    Q_OBJECT
public:
    ControllerTextureTransfer(GeomStackView* templateView, GeomStackView* targetView,
                              Viewport2D::GLViewport2D* viewport2D, QWidget* templateContainer, QImage* targetTexture,
                              QObject* parent = nullptr);
    ~ControllerTextureTransfer() override;

    void setMaxRelativeDistance(double relativeDistance);
    void setFillHoles(bool fillHoles);
    int fillHoles() const { return fillMode; }
    QImage* resultImage() const { return resultImage_; }
    bool isTransferred() const { return transferred; }
    double medianDistance() const { return medianNearestNeighbourDistance; }
    const QVector<bool>& excludedPolygonMask() const { return excludedPolygons; }
    PolygonSelectionController* selectionController() const { return polygonSelection; }

    // The hole filling, on the GUI thread.
    void extrapolateColors();
    // Stops a transfer (texels not yet started are dropped) and waits for it
    // and for the padding thread; nothing that follows from them happens.
    void interruptAndWait();

    // Set by the panel before every transfer.
    int paddingWidth = 50;
    int width = 512;
    int height = 512;
    bool limitDistance = true;
    double maxDistance = 10000.0;

signals:
    void progressChangedTransfer(int value);
    void progressRangeChangedTransfer(int maxValue);
    void progressChangedPadding(int value);
    void progressRangeChangedPadding(int maxValue);
    void transferStarted();
    void paddingStarted();
    void transferFinished();
    void paddingFinished();
    void polygonSelectionModeEntered();
    void polygonSelectionModeReleased();

public slots:
    void startTransfer();
    void startPadding();
    void enterPolygonSelectionMode();
    void exitPolygonSelectionMode();

private slots:
    void onTransferRefused(const QString& reason);
    void onTransferFinish();
    void onPaddingFinish();
    void onProgressRangeChangeTransfer(int minValue, int maxValue);
    void onProgressRangeChangePadding(int minValue, int maxValue);
    void updatePreviewImage(QImage image);
    void updateImageInViewportTemplate(QImage image);

private:
    void runPostProcessing();
    // A warning box over the main window: the transfer did not run.
    void warnRefused(const QString& message);
    void addMaskedTemplateGeometry();
    void clearMaskedTemplateGeometry();
    void updateMaskedTemplateGeometry();
    void removeMaskedTemplateGeometry();
    void createPolygonSelectionTools();
    void removePolygonSelectionTools();
    // Shows the polygons hidden during an exclusion step again.
    void restoreHiddenPolygons();

    GeomStackView* templateView;
    GeomStackView* targetView;
    Viewport2D::GLViewport2D* viewport2D;
    QImage* resultImage_ = nullptr;
    // The image a run writes; it becomes the result only once the run has
    // ended, so that a refused run leaves the previous result in place.
    QImage* pendingResult_ = nullptr;
    // Why the run that is ending was refused; empty for a run that ran.
    QString runRefusal_;
    TextureTransfer::TextureTransferThreaded* transferThreaded = nullptr;
    PaddingMaker* paddingMaker = nullptr;
    BVHTree2D::BvhNodeBase2D* uvBvh = nullptr;
    PolygonSelectionController* polygonSelection = nullptr;
    Viewport3D::LassoSelectionController* lassoController = nullptr;
    PolygonSelectionWidget* polygonSelectionWidget = nullptr;
    QWidget* templateContainer;
    bool transferred = false;
    double medianNearestNeighbourDistance = 0.0;
    QVector<bool> excludedPolygons;
    QVector<bool> excludedTriangles;
    QColor excludedColor = QColor(Qt::darkGray);
    QColor excludedWireColor = QColor(36, 53, 67);
    int fillMode = 1;
    // Polygons left visible by the last exclusion step (empty before one).
    QVector<bool> visiblePolygons_;
};
