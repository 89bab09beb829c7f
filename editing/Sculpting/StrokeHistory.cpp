#include "editing/Sculpting/StrokeHistory.h"

namespace Sculpting {

namespace {

void writeInto(const QMap<int, QVector3D>& values, QVector<QVector3D>& target)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        if (it.key() >= 0 && it.key() < target.size())
            target[it.key()] = it.value();
}

}  // namespace

void Stroke::merge(const QMap<int, QVector3D>& newPositions, const QMap<int, QVector3D>& newNormals)
{
    for (auto it = newPositions.cbegin(); it != newPositions.cend(); ++it)
        positions.insert(it.key(), it.value());
    for (auto it = newNormals.cbegin(); it != newNormals.cend(); ++it)
        normals.insert(it.key(), it.value());
}

void Stroke::applyPositions(QVector<QVector3D>& vertices) const
{
    writeInto(positions, vertices);
}

void Stroke::applyNormals(QVector<QVector3D>& vertexNormals) const
{
    writeInto(normals, vertexNormals);
}

StrokeHistory::StrokeHistory(const QVector<QVector3D>* basePositions, const QVector<QVector3D>* baseNormals)
    : basePositions_(basePositions), baseNormals_(baseNormals)
{}

void StrokeHistory::addStroke(const Stroke& stroke)
{
    while (list_.size() - 1 > current_)
        list_.removeLast();
    list_.append(stroke);
    current_ = list_.size() - 1;
}

bool StrokeHistory::undo()
{
    if (current_ < 0)
        return false;
    --current_;
    return true;
}

bool StrokeHistory::redo()
{
    if (current_ >= list_.size() - 1)
        return false;
    ++current_;
    return true;
}

QVector<QVector3D> StrokeHistory::positions() const
{
    QVector<QVector3D> result = basePositions_ ? *basePositions_ : QVector<QVector3D>();
    result.detach();
    for (int i = 0; i <= current_; ++i)
        list_.at(i).applyPositions(result);
    return result;
}

QVector<QVector3D> StrokeHistory::normals() const
{
    QVector<QVector3D> result = baseNormals_ ? *baseNormals_ : QVector<QVector3D>();
    result.detach();
    for (int i = 0; i <= current_; ++i)
        list_.at(i).applyNormals(result);
    return result;
}

}  // namespace Sculpting
