#include "rendering/ViewportSupport.h"

#include <QVector>
#include <QWheelEvent>

#include <cstdlib>

namespace Viewport3D {

QPointF pixelToNdc(const QPoint& pixel, int width, int height)
{
    return QPointF(2.0 * pixel.x() / width - 1.0, 1.0 - 2.0 * pixel.y() / height);
}

float aspectRatio(int width, int height)
{
    return float(width) / float(height == 0 ? 1 : height);
}

int wheelDelta(const QWheelEvent* event)
{
    const QPoint angle = event->angleDelta();
    return std::abs(angle.x()) > std::abs(angle.y()) ? angle.x() : angle.y();
}

BoundingBox unitedBoundingBox(const QList<GLObject*>& objects)
{
    QVector<BoundingBox> boxes;
    for (const GLObject* object : objects)
        boxes.append(object->aaBoundingBox());
    return BoundingBox::unite(boxes);
}

QString glString(GLenum name)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(glGetString(name)));
}

}  // namespace Viewport3D
