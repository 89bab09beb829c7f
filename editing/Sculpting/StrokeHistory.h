#pragma once
// The brush mode's undo history. A stroke keeps only the last position (and
// normal) it gave each vertex it changed; the history replays strokes over the
// template's own, untouched arrays.
#include <QList>
#include <QMap>
#include <QVector3D>
#include <QVector>

namespace Sculpting {

struct Stroke {
    // Later values replace earlier ones of the same vertex.
    void merge(const QMap<int, QVector3D>& positions, const QMap<int, QVector3D>& normals);
    void applyPositions(QVector<QVector3D>& vertices) const;
    void applyNormals(QVector<QVector3D>& normals) const;

    QMap<int, QVector3D> positions;
    QMap<int, QVector3D> normals;  // empty when normals were not recomputed
};

class StrokeHistory {
public:
    // The arrays are not owned and must stay unchanged while the history lives.
    StrokeHistory(const QVector<QVector3D>* basePositions, const QVector<QVector3D>* baseNormals);

    // Drops every stroke after the current one, then appends a copy.
    void addStroke(const Stroke& stroke);
    bool undo();  // false with no stroke applied
    bool redo();  // false at the last stroke
    // The base arrays with strokes 0 to the current index applied in order.
    QVector<QVector3D> positions() const;
    QVector<QVector3D> normals() const;

    int currentIndex() const { return current_; }
    const QList<Stroke>& strokes() const { return list_; }

private:
    const QVector<QVector3D>* basePositions_;
    const QVector<QVector3D>* baseNormals_;
    QList<Stroke> list_;
    int current_ = -1;
};

}  // namespace Sculpting
