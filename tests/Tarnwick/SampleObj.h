#pragma once
// A sample scene's OBJ file as the project's reader gives it, for the tests that read the
// generated scenes directly.
#include "mesh/ObjFileImport.h"

#include <gtest/gtest.h>
#include <QList>
#include <QString>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

namespace TestSupport {

struct SampleObj {
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons, texturePolygons;
    QVector<QString> groups;
    QVector<int> polygonGroup;
};

inline ::testing::AssertionResult loadSampleObj(const QString& path, SampleObj& obj)
{
    QString error;
    if (!ObjFileImport::loadObjFile(path, obj.vertices, obj.textureVertices, obj.polygons, obj.texturePolygons,
                                    obj.groups, obj.polygonGroup, error))
        return ::testing::AssertionFailure() << qPrintable(path) << ": " << qPrintable(error);
    return ::testing::AssertionSuccess();
}

}  // namespace TestSupport
