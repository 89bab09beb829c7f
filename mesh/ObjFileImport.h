#pragma once
// Reading and writing of Wavefront OBJ text in the narrow dialect the program
// uses: "v", "vt", "f" and "g" lines are read (every other line is skipped),
// numbers and corners are separated by blanks only, indices are 1-based and
// absolute in the file and 0-based in memory.
#include <QChar>
#include <QList>
#include <QString>
#include <QTextStream>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

namespace ObjFileImport {

// One face corner; -1 marks an index the corner does not have.
struct FaceVertex {
    enum FaceComponent { VertexIndex = 0, TextureVertexIndex = 1, NormalVertexIndex = 2 };

    FaceVertex() = default;
    FaceVertex(int vertexIndex, int textureVertexIndex, int normalVertexIndex)
        : vertexIndex(vertexIndex), textureVertexIndex(textureVertexIndex), normalVertexIndex(normalVertexIndex)
    {}
    bool operator==(const FaceVertex& other) const;
    bool operator!=(const FaceVertex& other) const { return !(*this == other); }
    // The index named by the component; any other value ends the program.
    int getComponent(FaceComponent component) const;

    int vertexIndex = -1;
    int textureVertexIndex = -1;
    int normalVertexIndex = -1;
};

// One polygon: its corners in order.
struct Face {
    Face() = default;
    explicit Face(const QList<FaceVertex>& faceVertices) : faceVertices(faceVertices) {}
    bool operator==(const Face& other) const { return faceVertices == other.faceVertices; }
    bool operator!=(const Face& other) const { return !(*this == other); }
    // That index of every corner, in corner order.
    QList<int> getComponents(FaceVertex::FaceComponent component) const;

    QList<FaceVertex> faceVertices;
};

// --- Files ---------------------------------------------------------------

// Reads "v", "vt", "f" and "g" lines. False with `error` set when the file
// cannot be opened or is not a mesh of this dialect.
bool loadObjFile(const QString& path, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                 QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons, QVector<QString>& polygroupNames,
                 QVector<int>& polygonIndToPolygroupInd, QString& error);
// Variant that reads "vn" lines and normal indices instead of groups.
bool loadObjFile(const QString& path, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                 QVector<QVector3D>& normals, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                 QVector<QList<int>>& normalPolygons, QString& error);

// Writes the arrays as OBJ (every empty array leaves its part out). The file is
// replaced only when the whole text was written; false (with a critical log
// line) when it could not be.
bool saveToObjFile(const QString& path, const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                   const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                   const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                   const QVector<QString>& polygroupNames, const QVector<int>& polygonIndToPolygroupInd);

// --- Streams ---------------------------------------------------------------

bool readFromObjFormat(QTextStream& stream, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                       QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                       QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error);
bool readFromObjFormat(QTextStream& stream, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                       QVector<QVector3D>& normals, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                       QVector<QList<int>>& normalPolygons, QString& error);

// Reads the bytes of a whole OBJ file, with exactly the results of
// readFromObjFormat on a text stream over the same bytes. Plain ASCII text is
// tokenised directly; anything else goes through the text stream.
bool readFromObjBytes(const char* data, qint64 size, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                      QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                      QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error);
// The same, with plain ASCII text parsed in parts of about partBytes (cut
// after line breaks) side by side on the thread pool; the results do not
// depend on the part size.
bool readFromObjBytes(const char* data, qint64 size, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                      QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                      QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error,
                      qint64 partBytes);

void writeToObjFormat(QTextStream& stream, const QVector<QVector3D>& vertices,
                      const QVector<QVector2D>& textureVertices, const QVector<QVector3D>& normals,
                      const QVector<QList<int>>& polygons, const QVector<QList<int>>& texturePolygons,
                      const QVector<QList<int>>& normalPolygons, const QVector<QString>& polygroupNames,
                      const QVector<int>& polygonIndToPolygroupInd);

// The bytes writeToObjFormat puts into a text stream with default settings.
QByteArray objFormatBytes(const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                          const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                          const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                          const QVector<QString>& polygroupNames, const QVector<int>& polygonIndToPolygroupInd);

// --- Line parsers (each takes the text after the keyword) ------------------

// The letters before the first whitespace; empty when anything else comes
// first or the line ends before any whitespace.
QString findKeyword(const QString& line);
// `count` numbers separated by `separator` (more only when allowMore).
QVector<double> parseNumbers(const QString& text, int count, const QChar& separator, bool allowMore, bool& ok);
// Exactly three numbers; (0, 0, 0) on failure.
QVector3D parseVector3D(const QString& text, bool& ok);
// At least two numbers, the rest ignored; (0, 0) on failure.
QVector2D parseVector2D(const QString& text, bool& ok);
// One corner: i, i/, i/j, i//k or i/j/k; FaceVertex() on failure.
FaceVertex parseFaceVertex(const QString& text, bool& ok);
// Three or more corners separated by blanks; Face() on failure.
Face parseFace(const QString& text, bool& ok);
// The text of one corner as written: v, v/t, v//n or v/t/n (1-based).
QString buildFaceVertexString(int vertexIndex, const int* textureVertexIndex, const int* normalVertexIndex);

// --- Face checks and conversion ----------------------------------------------

bool checkFaceIndices(const QVector<Face>& faces, int nVertices, int nTextureVertices, QString& error);
bool checkFaceIndices(const QVector<Face>& faces, int nVertices, int nTextureVertices, int nNormalVertices,
                      QString& error);
bool checkFaceRegularity(const QVector<Face>& faces, int& nVertices, int& nTextureVertices);
bool checkFaceRegularity(const QVector<Face>& faces, int& nVertices, int& nTextureVertices, int& nNormalVertices);
bool facesToFlatArrays(const QVector<Face>& faces, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons);
bool facesToFlatArrays(const QVector<Face>& faces, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                       QVector<QList<int>>& normalPolygons);
QVector<QList<int>> getFacesComponents(const QVector<Face>& faces, FaceVertex::FaceComponent component);

}  // namespace ObjFileImport
