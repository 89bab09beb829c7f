#include "ObjFuzzEntry.h"

#include <cstring>

#include <QByteArray>
#include <QTextStream>

#include "mesh/ObjFileImport.h"

namespace ObjFuzz {

namespace {

struct ReadResult {
    bool ok = false;
    QString error;
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    // Start non-empty: a failed read must leave them exactly alike too.
    QVector<QList<int>> polygons{{7, 8, 9}};
    QVector<QList<int>> texturePolygons{{1, 2, 3}};
    QVector<QString> polygroupNames;
    QVector<int> polygonIndToPolygroupInd;
};

// Float arrays compared bit for bit (NaN never reaches them; -0 must stay -0).
template <typename Vector>
bool sameBits(const QVector<Vector>& a, const QVector<Vector>& b)
{
    return a.size() == b.size() &&
           (a.isEmpty() || std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(Vector)) == 0);
}

}  // namespace

QString checkOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    ReadResult fast;
    fast.ok = ObjFileImport::readFromObjBytes(bytes, qint64(size), fast.vertices, fast.textureVertices, fast.polygons,
                                              fast.texturePolygons, fast.polygroupNames, fast.polygonIndToPolygroupInd,
                                              fast.error);
    ReadResult plain;
    QTextStream stream(QByteArray(bytes, int(size)));
    plain.ok = ObjFileImport::readFromObjFormat(stream, plain.vertices, plain.textureVertices, plain.polygons,
                                                plain.texturePolygons, plain.polygroupNames,
                                                plain.polygonIndToPolygroupInd, plain.error);
    if (fast.ok != plain.ok)
        return "result";
    if (fast.error != plain.error)
        return "error text: \"" + fast.error + "\" instead of \"" + plain.error + "\"";
    if (!sameBits(fast.vertices, plain.vertices))
        return "vertices";
    if (!sameBits(fast.textureVertices, plain.textureVertices))
        return "texture vertices";
    if (fast.polygons != plain.polygons)
        return "polygons";
    if (fast.texturePolygons != plain.texturePolygons)
        return "texture polygons";
    if (fast.polygroupNames != plain.polygroupNames)
        return "group names";
    if (fast.polygonIndToPolygroupInd != plain.polygonIndToPolygroupInd)
        return "group indices";

    // Read in small parts side by side: the results of the one pass.
    for (const qint64 partBytes : {1, 7, 64}) {
        ReadResult parts;
        parts.ok = ObjFileImport::readFromObjBytes(bytes, qint64(size), parts.vertices, parts.textureVertices,
                                                   parts.polygons, parts.texturePolygons, parts.polygroupNames,
                                                   parts.polygonIndToPolygroupInd, parts.error, partBytes);
        const QString where = " (in parts of " + QString::number(partBytes) + " bytes)";
        if (parts.ok != fast.ok || parts.error != fast.error)
            return "result" + where;
        if (!sameBits(parts.vertices, fast.vertices) || !sameBits(parts.textureVertices, fast.textureVertices))
            return "vertices" + where;
        if (parts.polygons != fast.polygons || parts.texturePolygons != fast.texturePolygons)
            return "polygons" + where;
        if (parts.polygroupNames != fast.polygroupNames ||
            parts.polygonIndToPolygroupInd != fast.polygonIndToPolygroupInd)
            return "groups" + where;
    }
    if (!plain.ok)
        return QString();

    // Write back what was read, with the positions as normals too.
    const QByteArray written = ObjFileImport::objFormatBytes(plain.vertices, plain.textureVertices, plain.vertices,
                                                             plain.polygons, plain.texturePolygons, plain.polygons,
                                                             plain.polygroupNames, plain.polygonIndToPolygroupInd);
    QByteArray expected;
    {
        QTextStream out(&expected, QIODevice::WriteOnly);
        ObjFileImport::writeToObjFormat(out, plain.vertices, plain.textureVertices, plain.vertices, plain.polygons,
                                        plain.texturePolygons, plain.polygons, plain.polygroupNames,
                                        plain.polygonIndToPolygroupInd);
    }
    if (written != expected)
        return "written text";
    return QString();
}

}  // namespace ObjFuzz
