// Writing OBJ text: the text-stream writer, a byte writer with the same
// output, and the file save through a temporary file that replaces the old
// one only when everything was written.
#include <charconv>
#include <cmath>
#include <string>

#include <QDebug>
#include <QSaveFile>
#include <QTextStream>

#include "mesh/ObjFileImport.h"

namespace ObjFileImport {

namespace {

// Only in-range group indices name a group; anything else writes no group line.
int groupOf(const QVector<int>& polygonIndToPolygroupInd, const QVector<QString>& polygroupNames, int polygon)
{
    if (polygon >= polygonIndToPolygroupInd.size())
        return -1;
    const int group = polygonIndToPolygroupInd[polygon];
    return group >= 0 && group < polygroupNames.size() ? group : -1;
}

// The optional per-corner index of a texture or normal list, when that list
// has one for the corner.
const int* cornerIndex(const QVector<QList<int>>& lists, int polygon, int corner)
{
    if (polygon >= lists.size() || corner >= lists[polygon].size())
        return nullptr;
    return &lists[polygon].at(corner);
}

QString numberText(float value)
{
    return QString("%1").arg(double(value), 0, 'g', -1);
}

}  // namespace

QString buildFaceVertexString(int vertexIndex, const int* textureVertexIndex, const int* normalVertexIndex)
{
    QString text = QString::number(qint64(vertexIndex) + 1);
    if (textureVertexIndex || normalVertexIndex)
        text += '/';
    if (textureVertexIndex)
        text += QString::number(qint64(*textureVertexIndex) + 1);
    if (normalVertexIndex)
        text += '/' + QString::number(qint64(*normalVertexIndex) + 1);
    return text;
}

void writeToObjFormat(QTextStream& stream, const QVector<QVector3D>& vertices,
                      const QVector<QVector2D>& textureVertices, const QVector<QVector3D>& normals,
                      const QVector<QList<int>>& polygons, const QVector<QList<int>>& texturePolygons,
                      const QVector<QList<int>>& normalPolygons, const QVector<QString>& polygroupNames,
                      const QVector<int>& polygonIndToPolygroupInd)
{
    for (const QVector3D& v : vertices)
        stream << "v " << numberText(v.x()) << ' ' << numberText(v.y()) << ' ' << numberText(v.z()) << '\n';
    for (const QVector2D& vt : textureVertices)
        stream << "vt " << numberText(vt.x()) << ' ' << numberText(vt.y()) << '\n';
    for (const QVector3D& vn : normals)
        stream << "vn " << numberText(vn.x()) << ' ' << numberText(vn.y()) << ' ' << numberText(vn.z()) << '\n';
    int lastGroup = -1;
    for (int i = 0; i < polygons.size(); ++i) {
        const int group = groupOf(polygonIndToPolygroupInd, polygroupNames, i);
        if (group != lastGroup) {
            if (group != -1)
                stream << "g " << polygroupNames[group] << '\n';
            lastGroup = group;
        }
        stream << 'f';
        for (int k = 0; k < polygons[i].size(); ++k)
            stream << ' '
                   << buildFaceVertexString(polygons[i][k], cornerIndex(texturePolygons, i, k),
                                            cornerIndex(normalPolygons, i, k));
        stream << '\n';
    }
}

namespace {

bool isAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80 || c.unicode() == 0)
            return false;
    }
    return true;
}

// Six significant digits, trailing zeros dropped, exponent form for
// exponents below -4 or above 5: the text QString::arg(double) gives for a
// finite value. That conversion rounds an exact tie away from zero and writes
// no sign for a zero, where std::to_chars rounds ties to even.
size_t formatSignificant6(float value, char* out)
{
    if (value == 0.0f) {
        out[0] = '0';
        return 1;
    }
    double exact = double(value);
    char seven[32];
    const std::to_chars_result rounded =
        std::to_chars(seven, seven + sizeof seven, exact, std::chars_format::scientific, 6);
    // seven holds [-]d.dddddde..., its seventh digit at offset 7 (8 with a sign).
    const char seventh = seven[value < 0 ? 8 : 7];
    if (seventh == '5' && rounded.ec == std::errc()) {
        // A float's exact decimal expansion has at most 112 significant digits.
        char all[160];
        const std::to_chars_result full =
            std::to_chars(all, all + sizeof all, exact, std::chars_format::scientific, 120);
        const char* tail = all + (value < 0 ? 9 : 8);
        const char* tailEnd = full.ptr;
        while (tailEnd > all && *(tailEnd - 1) != 'e')
            --tailEnd;
        --tailEnd;  // at the 'e'
        bool tie = *(tail - 1) == '5';
        for (const char* p = tail; p < tailEnd; ++p)
            tie = tie && *p == '0';
        // Just past the tie, so the shortest rounding goes away from zero.
        if (tie)
            exact = std::nextafter(exact, value < 0 ? -HUGE_VAL : HUGE_VAL);
    }
    const std::to_chars_result result = std::to_chars(out, out + 32, exact, std::chars_format::general, 6);
    return size_t(result.ptr - out);
}

// Builds the text in a byte buffer handed to `sink` in large pieces.
template <typename Sink>
class ByteWriter {
public:
    explicit ByteWriter(Sink& sink) : sink_(sink) { buffer_.reserve(kChunk + 256); }

    void text(const char* chars, size_t length)
    {
        buffer_.append(chars, length);
        maybeFlush();
    }
    void character(char c) { buffer_.push_back(c); }
    void number(float value)
    {
        if (std::isfinite(value)) {
            char digits[40];
            const size_t length = formatSignificant6(value, digits);
            buffer_.append(digits, length);
        } else {
            buffer_.append(numberText(value).toStdString());
        }
    }
    void index(qint64 value)
    {
        char digits[24];
        const std::to_chars_result result = std::to_chars(digits, digits + sizeof digits, value);
        buffer_.append(digits, size_t(result.ptr - digits));
    }
    void endLine()
    {
        buffer_.push_back('\n');
        maybeFlush();
    }
    bool finish()
    {
        flush();
        return ok_;
    }

private:
    static constexpr size_t kChunk = 1 << 20;

    void maybeFlush()
    {
        if (buffer_.size() >= kChunk)
            flush();
    }
    void flush()
    {
        if (ok_ && !buffer_.empty())
            ok_ = sink_(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    Sink& sink_;
    std::string buffer_;
    bool ok_ = true;
};

template <typename Sink>
bool writeBytes(Sink& sink, const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                const QVector<QString>& polygroupNames, const QVector<int>& polygonIndToPolygroupInd)
{
    ByteWriter<Sink> out(sink);
    for (const QVector3D& v : vertices) {
        out.text("v ", 2);
        out.number(v.x());
        out.character(' ');
        out.number(v.y());
        out.character(' ');
        out.number(v.z());
        out.endLine();
    }
    for (const QVector2D& vt : textureVertices) {
        out.text("vt ", 3);
        out.number(vt.x());
        out.character(' ');
        out.number(vt.y());
        out.endLine();
    }
    for (const QVector3D& vn : normals) {
        out.text("vn ", 3);
        out.number(vn.x());
        out.character(' ');
        out.number(vn.y());
        out.character(' ');
        out.number(vn.z());
        out.endLine();
    }
    int lastGroup = -1;
    for (int i = 0; i < polygons.size(); ++i) {
        const int group = groupOf(polygonIndToPolygroupInd, polygroupNames, i);
        if (group != lastGroup) {
            if (group != -1) {
                const QByteArray name = polygroupNames[group].toLatin1();
                out.text("g ", 2);
                out.text(name.constData(), size_t(name.size()));
                out.endLine();
            }
            lastGroup = group;
        }
        out.character('f');
        const QList<int>& polygon = polygons[i];
        for (int k = 0; k < polygon.size(); ++k) {
            const int* texture = cornerIndex(texturePolygons, i, k);
            const int* normal = cornerIndex(normalPolygons, i, k);
            out.character(' ');
            out.index(qint64(polygon[k]) + 1);
            if (texture || normal)
                out.character('/');
            if (texture)
                out.index(qint64(*texture) + 1);
            if (normal) {
                out.character('/');
                out.index(qint64(*normal) + 1);
            }
        }
        out.endLine();
    }
    return out.finish();
}

}  // namespace

QByteArray objFormatBytes(const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                          const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                          const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                          const QVector<QString>& polygroupNames, const QVector<int>& polygonIndToPolygroupInd)
{
    QByteArray bytes;
    bool asciiNames = true;
    for (const QString& name : polygroupNames)
        asciiNames = asciiNames && isAscii(name);
    if (!asciiNames) {
        // Other characters are the stream codec's business.
        QTextStream stream(&bytes, QIODevice::WriteOnly);
        writeToObjFormat(stream, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons,
                         polygroupNames, polygonIndToPolygroupInd);
        stream.flush();
        return bytes;
    }
    auto append = [&bytes](const char* data, size_t size) {
        bytes.append(data, int(size));
        return true;
    };
    writeBytes(append, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons, polygroupNames,
               polygonIndToPolygroupInd);
    return bytes;
}

bool saveToObjFile(const QString& path, const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                   const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                   const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                   const QVector<QString>& polygroupNames, const QVector<int>& polygonIndToPolygroupInd)
{
    // The old file stays as it was unless the new text was written in full.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qCritical() << "Can not open file" << path;
        return false;
    }
    bool asciiNames = true;
    for (const QString& name : polygroupNames)
        asciiNames = asciiNames && isAscii(name);
    bool written;
    if (asciiNames) {
        auto write = [&file](const char* data, size_t size) { return file.write(data, qint64(size)) == qint64(size); };
        written = writeBytes(write, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons,
                             polygroupNames, polygonIndToPolygroupInd);
    } else {
        const QByteArray bytes = objFormatBytes(vertices, textureVertices, normals, polygons, texturePolygons,
                                                normalPolygons, polygroupNames, polygonIndToPolygroupInd);
        written = file.write(bytes) == bytes.size();
    }
    if (!written || !file.commit()) {
        qCritical() << "Can not open file" << path;
        return false;
    }
    return true;
}

}  // namespace ObjFileImport
