// Line parsers, face checks and the text-stream reader.
#include <climits>
#include <cmath>

#include <QDebug>
#include <QHash>
#include <QStringList>

#include "mesh/ObjFileImport.h"
#include "mesh/ObjReaderDetail.h"

namespace ObjFileImport {

bool FaceVertex::operator==(const FaceVertex& other) const
{
    return vertexIndex == other.vertexIndex && textureVertexIndex == other.textureVertexIndex &&
           normalVertexIndex == other.normalVertexIndex;
}

int FaceVertex::getComponent(FaceComponent component) const
{
    switch (component) {
        case VertexIndex:
            return vertexIndex;
        case TextureVertexIndex:
            return textureVertexIndex;
        case NormalVertexIndex:
            return normalVertexIndex;
    }
    qFatal("FaceVertex::getComponent wrong index!");
    return -1;
}

QList<int> Face::getComponents(FaceVertex::FaceComponent component) const
{
    QList<int> result;
    result.reserve(faceVertices.size());
    for (const FaceVertex& corner : faceVertices)
        result.append(corner.getComponent(component));
    return result;
}

QString findKeyword(const QString& line)
{
    QString keyword;
    for (const QChar c : line) {
        if (c.isLetter())
            keyword.append(c);
        else if (c.isSpace())
            return keyword;
        else
            return QString();
    }
    return QString();
}

QVector<double> parseNumbers(const QString& text, int count, const QChar& separator, bool allowMore, bool& ok)
{
    const QStringList parts = text.split(separator, Qt::SkipEmptyParts, Qt::CaseSensitive);
    ok = false;
    if (parts.size() < count || (!allowMore && parts.size() > count))
        return QVector<double>();
    QVector<double> values;
    if (count < 1) {
        ok = true;
        return values;
    }
    values.reserve(count);
    for (int i = 0; i < count; ++i) {
        bool converted = false;
        const double value = parts[i].toDouble(&converted);
        if (!converted)
            return QVector<double>();
        values.append(value);
    }
    ok = true;
    return values;
}

// A coordinate that is not finite as a float would poison every later
// computation, so such a line does not parse.
QVector3D parseVector3D(const QString& text, bool& ok)
{
    const QVector<double> values = parseNumbers(text, 3, QChar(' '), false, ok);
    if (!ok)
        return QVector3D(0, 0, 0);
    const QVector3D vector{float(values[0]), float(values[1]), float(values[2])};
    if (!std::isfinite(vector.x()) || !std::isfinite(vector.y()) || !std::isfinite(vector.z())) {
        ok = false;
        return QVector3D(0, 0, 0);
    }
    return vector;
}

QVector2D parseVector2D(const QString& text, bool& ok)
{
    const QVector<double> values = parseNumbers(text, 2, QChar(' '), true, ok);
    if (!ok)
        return QVector2D(0, 0);
    const QVector2D vector{float(values[0]), float(values[1])};
    if (!std::isfinite(vector.x()) || !std::isfinite(vector.y())) {
        ok = false;
        return QVector2D(0, 0);
    }
    return vector;
}

namespace {

// The file's 1-based number as a 0-based index. The lowest int has no index
// below it, so it does not convert.
bool toIndex(const QString& text, int& index)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value == INT_MIN)
        return false;
    index = value - 1;
    return true;
}

}  // namespace

FaceVertex parseFaceVertex(const QString& text, bool& ok)
{
    ok = false;
    const QStringList parts = text.split(QChar('/'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() < 1 || parts.size() > 3 || parts[0].isEmpty())
        return FaceVertex();
    FaceVertex corner;
    if (!toIndex(parts[0], corner.vertexIndex))
        return FaceVertex();
    if (parts.size() >= 2 && !parts[1].isEmpty() && !toIndex(parts[1], corner.textureVertexIndex))
        return FaceVertex();
    if (parts.size() == 3 && (parts[2].isEmpty() || !toIndex(parts[2], corner.normalVertexIndex)))
        return FaceVertex();
    ok = true;
    return corner;
}

Face parseFace(const QString& text, bool& ok)
{
    ok = false;
    const QStringList parts = text.split(QChar(' '), Qt::SkipEmptyParts, Qt::CaseSensitive);
    if (parts.size() < 3)
        return Face();
    QList<FaceVertex> corners;
    corners.reserve(parts.size());
    for (const QString& part : parts) {
        bool cornerOk = false;
        const FaceVertex corner = parseFaceVertex(part, cornerOk);
        if (!cornerOk)
            return Face();
        corners.append(corner);
    }
    ok = true;
    return Face(corners);
}

namespace {

bool indexFits(int index, int count)
{
    return index == -1 || (index >= 0 && index < count);
}

QString faceIndexError(int face, const char* kind, int index)
{
    return QString("Face %1 has wrong %2 index: %3")
        .arg(QString::number(face), QString::fromLatin1(kind), QString::number(index));
}

bool checkIndices(const QVector<Face>& faces, int nVertices, int nTextureVertices, int nNormalVertices,
                  bool withNormals, QString& error)
{
    for (int f = 0; f < faces.size(); ++f) {
        for (const FaceVertex& corner : faces[f].faceVertices) {
            if (!indexFits(corner.vertexIndex, nVertices)) {
                error = faceIndexError(f, "vertex", corner.vertexIndex);
                return false;
            }
            if (!indexFits(corner.textureVertexIndex, nTextureVertices)) {
                error = faceIndexError(f, "texture vertex", corner.textureVertexIndex);
                return false;
            }
            if (withNormals && !indexFits(corner.normalVertexIndex, nNormalVertices)) {
                error = faceIndexError(f, "normal vertex", corner.normalVertexIndex);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool checkFaceIndices(const QVector<Face>& faces, int nVertices, int nTextureVertices, QString& error)
{
    return checkIndices(faces, nVertices, nTextureVertices, 0, false, error);
}

bool checkFaceIndices(const QVector<Face>& faces, int nVertices, int nTextureVertices, int nNormalVertices,
                      QString& error)
{
    return checkIndices(faces, nVertices, nTextureVertices, nNormalVertices, true, error);
}

bool checkFaceRegularity(const QVector<Face>& faces, int& nVertices, int& nTextureVertices, int& nNormalVertices)
{
    nVertices = nTextureVertices = nNormalVertices = 0;
    int corners = 0;
    for (const Face& face : faces) {
        for (const FaceVertex& corner : face.faceVertices) {
            ++corners;
            nVertices += corner.vertexIndex != -1;
            nTextureVertices += corner.textureVertexIndex != -1;
            nNormalVertices += corner.normalVertexIndex != -1;
        }
    }
    auto regular = [corners](int count) { return count == 0 || count == corners; };
    return regular(nVertices) && regular(nTextureVertices) && regular(nNormalVertices);
}

bool checkFaceRegularity(const QVector<Face>& faces, int& nVertices, int& nTextureVertices)
{
    int nNormalVertices = 0;
    checkFaceRegularity(faces, nVertices, nTextureVertices, nNormalVertices);
    int corners = 0;
    for (const Face& face : faces)
        corners += face.faceVertices.size();
    return (nVertices == 0 || nVertices == corners) && (nTextureVertices == 0 || nTextureVertices == corners);
}

QVector<QList<int>> getFacesComponents(const QVector<Face>& faces, FaceVertex::FaceComponent component)
{
    QVector<QList<int>> lists;
    lists.reserve(faces.size());
    for (const Face& face : faces)
        lists.append(face.getComponents(component));
    return lists;
}

bool facesToFlatArrays(const QVector<Face>& faces, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons)
{
    polygons.clear();
    texturePolygons.clear();
    int nVertices = 0;
    int nTextureVertices = 0;
    if (!checkFaceRegularity(faces, nVertices, nTextureVertices)) {
        qDebug() << "Faces are irregular!";
        return false;
    }
    if (nVertices != 0)
        polygons = getFacesComponents(faces, FaceVertex::VertexIndex);
    if (nTextureVertices != 0)
        texturePolygons = getFacesComponents(faces, FaceVertex::TextureVertexIndex);
    return true;
}

bool facesToFlatArrays(const QVector<Face>& faces, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                       QVector<QList<int>>& normalPolygons)
{
    polygons.clear();
    texturePolygons.clear();
    normalPolygons.clear();
    int nVertices = 0;
    int nTextureVertices = 0;
    int nNormalVertices = 0;
    if (!checkFaceRegularity(faces, nVertices, nTextureVertices, nNormalVertices)) {
        qDebug() << "Faces are irregular!";
        return false;
    }
    if (nVertices != 0)
        polygons = getFacesComponents(faces, FaceVertex::VertexIndex);
    if (nTextureVertices != 0)
        texturePolygons = getFacesComponents(faces, FaceVertex::TextureVertexIndex);
    if (nNormalVertices != 0)
        normalPolygons = getFacesComponents(faces, FaceVertex::NormalVertexIndex);
    return true;
}

QString Detail::parseErrorText(const QString& keyword, const QString& rest, int line)
{
    // One pass, so that a "%1" inside the line's text stays as it is.
    return QString("Failed to parse block \"%1\": \"%2\" line %3").arg(keyword, rest, QString::number(line));
}

namespace {

// Hands every line that has a keyword to `take` (keyword, the text after it,
// ok flag), stopping with the error text at the first line it cannot parse.
template <typename Take>
bool readKeywordLines(QTextStream& stream, QString& error, Take take)
{
    int lineNumber = -1;
    while (!stream.atEnd()) {
        ++lineNumber;
        const QString line = stream.readLine();
        const QString keyword = findKeyword(line);
        if (keyword.isEmpty())
            continue;
        const QString rest = line.mid(keyword.size());
        bool ok = true;
        take(keyword, rest, ok);
        if (!ok) {
            error = Detail::parseErrorText(keyword, rest, lineNumber);
            return false;
        }
    }
    return true;
}

}  // namespace

bool readFromObjFormat(QTextStream& stream, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                       QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                       QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error)
{
    vertices.clear();
    textureVertices.clear();
    polygroupNames.clear();
    polygonIndToPolygroupInd.clear();
    error = QString("");

    QVector<Face> faces;
    QString groupName;
    int groupIndex = -1;
    QHash<QString, int> groupIndices;

    const bool parsed = readKeywordLines(stream, error, [&](const QString& keyword, const QString& rest, bool& ok) {
        if (keyword == QLatin1String("v")) {
            vertices.append(parseVector3D(rest, ok));
        } else if (keyword == QLatin1String("vt")) {
            textureVertices.append(parseVector2D(rest, ok));
        } else if (keyword == QLatin1String("f")) {
            faces.append(parseFace(rest, ok));
            if (ok)
                polygonIndToPolygroupInd.append(groupIndex);
        } else if (keyword == QLatin1String("g")) {
            const QString name = rest.trimmed();
            if (name != groupName) {
                groupName = name;
                auto found = groupIndices.constFind(name);
                if (found == groupIndices.constEnd()) {
                    polygroupNames.append(name);
                    found = groupIndices.insert(name, polygroupNames.size() - 1);
                }
                groupIndex = found.value();
            }
        }
    });
    if (!parsed)
        return false;

    if (!checkFaceIndices(faces, vertices.size(), textureVertices.size(), error))
        return false;
    if (!facesToFlatArrays(faces, polygons, texturePolygons)) {
        error = "Faces have different field structure";
        return false;
    }
    return true;
}

bool readFromObjFormat(QTextStream& stream, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                       QVector<QVector3D>& normals, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                       QVector<QList<int>>& normalPolygons, QString& error)
{
    vertices.clear();
    textureVertices.clear();
    normals.clear();
    error = QString("");

    QVector<Face> faces;
    const bool parsed = readKeywordLines(stream, error, [&](const QString& keyword, const QString& rest, bool& ok) {
        if (keyword == QLatin1String("v"))
            vertices.append(parseVector3D(rest, ok));
        else if (keyword == QLatin1String("vt"))
            textureVertices.append(parseVector2D(rest, ok));
        else if (keyword == QLatin1String("vn"))
            normals.append(parseVector3D(rest, ok));
        else if (keyword == QLatin1String("f"))
            faces.append(parseFace(rest, ok));
    });
    if (!parsed)
        return false;

    if (!checkFaceIndices(faces, vertices.size(), textureVertices.size(), normals.size(), error))
        return false;
    if (!facesToFlatArrays(faces, polygons, texturePolygons, normalPolygons)) {
        error = "Faces have different field structure";
        return false;
    }
    return true;
}

}  // namespace ObjFileImport
