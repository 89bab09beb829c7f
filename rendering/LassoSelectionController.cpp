#include "rendering/LassoSelectionController.h"

#include "rendering/Viewport3D2.h"
#include "rendering/glscreenlinestrip.h"

#include <QVector2D>

namespace Viewport3D {

namespace {

// NDC units: 2.5 % of the view's width across.
const float kCloseDistance = 0.05f;

}  // namespace

LassoSelectionController::LassoSelectionController(Viewport3D2* viewport, QObject* parent)
    : QObject(parent), viewport_(viewport)
{
    previousMouseTracking_ = viewport_->testAttribute(Qt::WA_MouseTracking);
    viewport_->setAttribute(Qt::WA_MouseTracking, true);
    connect(viewport_, &Viewport3D2::mouseRelease, this, &LassoSelectionController::onMouseRelease);
    connect(viewport_, &Viewport3D2::mouseMove, this, &LassoSelectionController::onMouseMove);
    connect(viewport_, &Viewport3D2::mouseDoubleClick, this, &LassoSelectionController::onMouseDoubleClick);
}

LassoSelectionController::~LassoSelectionController()
{
    removeLassoLine();
    viewport_->setAttribute(Qt::WA_MouseTracking, previousMouseTracking_);
}

bool LassoSelectionController::isNearStart(const QPointF& point) const
{
    if (points_.isEmpty())
        return false;
    return QVector2D(points_.first() - point).length() < kCloseDistance;
}

void LassoSelectionController::onMouseMove(QPointF pointNdc, Qt::MouseButtons mouseButtons,
                                           Qt::KeyboardModifiers keyboardModifiers)
{
    viewport_->setCursor(isNearStart(pointNdc) ? Qt::CrossCursor : Qt::ArrowCursor);
    if (!active_) {
        if (mouseButtons == Qt::LeftButton && keyboardModifiers == Qt::NoModifier)
            startLasso(pointNdc, false);
        else if (mouseButtons == Qt::LeftButton && keyboardModifiers == Qt::ControlModifier)
            startLasso(pointNdc, true);
        return;
    }
    if (keyboardModifiers == Qt::NoModifier || keyboardModifiers == Qt::ControlModifier)
        moveLastLassoPoint(pointNdc);
    else
        cancelLasso();
}

void LassoSelectionController::onMouseRelease(QPointF point, Qt::MouseButtons mouseButtons,
                                              Qt::KeyboardModifiers keyboardModifiers)
{
    viewport_->setCursor(Qt::ArrowCursor);
    if (doubleClickSeen_) {
        doubleClickSeen_ = false;
        return;
    }
    if (!active_) {
        if (mouseButtons == Qt::LeftButton &&
            (keyboardModifiers == Qt::NoModifier || keyboardModifiers == Qt::ControlModifier))
            emit pointSelect(point, keyboardModifiers == Qt::ControlModifier);
        return;
    }
    if (mouseButtons == Qt::LeftButton) {
        if (isNearStart(point))
            finishLasso();
        else
            addLassoPoint(point);
    } else if (mouseButtons == Qt::RightButton) {
        cancelLasso();
    }
}

void LassoSelectionController::onMouseDoubleClick(QPointF, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers)
{
    viewport_->setCursor(Qt::ArrowCursor);
    if (active_ && mouseButtons == Qt::LeftButton)
        finishLasso();
    doubleClickSeen_ = true;
}

void LassoSelectionController::startLasso(const QPointF& point, bool deselect)
{
    active_ = true;
    deselectionMode_ = deselect;
    points_.append(point);
    points_.append(point);
    viewport_->makeCurrent();
    line_ = new GLScreenLineStrip(points_, lineColor_);
    viewport_->addObject(line_);
    viewport_->updateGL();
}

void LassoSelectionController::moveLastLassoPoint(const QPointF& point)
{
    points_.last() = point;
    viewport_->makeCurrent();
    if (line_)
        line_->setPoint(points_.size() - 1, point);
    viewport_->updateGL();
}

void LassoSelectionController::addLassoPoint(const QPointF& point)
{
    points_.append(point);
    viewport_->makeCurrent();
    if (line_)
        line_->updatePoints(points_);
    viewport_->updateGL();
}

void LassoSelectionController::finishLasso()
{
    active_ = false;
    removeLassoLine();
    QVector<QPointF> polygon = points_;
    if (!polygon.isEmpty())
        polygon.removeLast();
    const bool deselect = deselectionMode_;
    points_.clear();
    deselectionMode_ = false;
    emit lassoSelect(polygon, deselect);
}

void LassoSelectionController::cancelLasso()
{
    points_.clear();
    active_ = false;
    deselectionMode_ = false;
    removeLassoLine();
}

void LassoSelectionController::removeLassoLine()
{
    if (!line_)
        return;
    viewport_->makeCurrent();
    viewport_->removeObject(line_);
    delete line_;
    line_ = nullptr;
    viewport_->updateGL();
}

}  // namespace Viewport3D
