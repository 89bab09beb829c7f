#pragma once
// Turns a model view's mouse signals into a clicked point or a closed screen
// polygon (NDC), each with a select/deselect flag, and shows the lasso as a
// dashed line while it is drawn. It knows nothing of meshes.
//
// A lasso starts where a left drag first moves (with Control: deselecting),
// each further left click adds a vertex, a left click near the first vertex
// or a double click closes it, and the right button or a modifier other than
// Control abandons it.
#include <QColor>
#include <QObject>
#include <QPointF>
#include <QVector>

namespace Viewport3D {

class GLScreenLineStrip;
class Viewport3D2;

class LassoSelectionController : public QObject {
    Q_OBJECT
public:
    // Turns on the view's mouse tracking, so that the rubber band follows moves
    // without a button held; the destructor restores the earlier setting.
    LassoSelectionController(Viewport3D2* viewport, QObject* parent = nullptr);
    ~LassoSelectionController() override;

signals:
    // The closed polygon's vertices (the edge back to the first is implied).
    void lassoSelect(QVector<QPointF> points, bool deselectionMode);
    void pointSelect(QPointF point, bool deselectionMode);

private slots:
    void onMouseMove(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    // mouseButtons is the released button.
    void onMouseRelease(QPointF point, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void onMouseDoubleClick(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);

private:
    bool isNearStart(const QPointF& point) const;
    void startLasso(const QPointF& point, bool deselect);
    void moveLastLassoPoint(const QPointF& point);
    void addLassoPoint(const QPointF& point);
    void finishLasso();
    void cancelLasso();
    void removeLassoLine();

    Viewport3D2* viewport_;              // not owned
    GLScreenLineStrip* line_ = nullptr;  // owned; null while no lasso is shown
    bool active_ = false;
    bool deselectionMode_ = false;  // fixed when a lasso starts
    bool doubleClickSeen_ = false;  // swallows the release after a double click
    QVector<QPointF> points_;       // while active, the last one follows the mouse
    QColor lineColor_ = Qt::white;
    bool previousMouseTracking_ = false;
};

}  // namespace Viewport3D
