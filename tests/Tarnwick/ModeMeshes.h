#pragma once
// Meshes for the alignment-mode tests, made by code: a bumpy height-field sheet
// (no symmetry, so picked pairs fix the transform), its re-triangulated twin,
// a known similarity, and an OBJ writer.
#include <QFile>
#include <QList>
#include <QMatrix4x4>
#include <QString>
#include <QVector3D>
#include <QVector>
#include <cmath>

namespace TestSupport {

struct MeshData {
    QVector<QVector3D> vertices;
    QVector<QList<int> > polygons;
};

inline double sheetHeight(double x, double y)
{
    return 0.3 * std::sin(2.0 * x) * std::cos(1.5 * y) + 0.15 * x * y;
}

// n x n vertices over [0, 2] x [0, 1.5]; quads, or two triangles per cell split along the other diagonal.
inline MeshData bumpySheet(int n, bool triangles = false)
{
    MeshData m;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = 2.0 * i / (n - 1), y = 1.5 * j / (n - 1);
            m.vertices.append(QVector3D(float(x), float(y), float(sheetHeight(x, y))));
        }
    for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i) {
            const int a = j * n + i, b = a + 1, c = a + n + 1, d = a + n;
            if (triangles) {
                m.polygons.append({a, b, d});
                m.polygons.append({b, c, d});
            } else {
                m.polygons.append({a, b, c, d});
            }
        }
    return m;
}

// Scale 1.7, 35 degrees about (1, 2, 0.5), then a shift.
inline QMatrix4x4 knownSimilarity()
{
    QMatrix4x4 m;
    m.translate(3.0f, -1.0f, 2.0f);
    m.rotate(35.0f, QVector3D(1.0f, 2.0f, 0.5f));
    m.scale(1.7f);
    return m;
}

inline bool writeObj(const QString& path, const MeshData& m)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    for (const QVector3D& v : m.vertices)
        text +=
            QStringLiteral("v %1 %2 %3\n").arg(v.x(), 0, 'g', 9).arg(v.y(), 0, 'g', 9).arg(v.z(), 0, 'g', 9).toLatin1();
    for (const QList<int>& p : m.polygons) {
        text += "f";
        for (int i : p)
            text += " " + QByteArray::number(i + 1);
        text += "\n";
    }
    return file.write(text) == text.size();
}

}  // namespace TestSupport
