#pragma once
// Test meshes written as OBJ files: vertices to nine digits, one face line per polygon.
#include "tests/support/TestMeshes.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace TestMeshes {

inline bool writeObj(const QString& path, const PolygonMesh& m)
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

}  // namespace TestMeshes
