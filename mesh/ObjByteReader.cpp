// The OBJ reader over the bytes of a whole file: tokenises plain ASCII text in
// place, with exactly the results (values, messages, line numbers) of the
// text-stream reader, which still reads anything else.
#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/mman.h>

#include <QDebug>
#include <QFile>
#include <QTextStream>
#include <QThread>

#include "mesh/ObjFileImport.h"
#include "mesh/ObjReaderDetail.h"
#include "numerics/ParallelChunks.h"

namespace ObjFileImport {
namespace Detail {

bool toDoubleGeneral(const char* begin, const char* end, double& value)
{
    // Plain decimal numbers: [+-] digits [. digits] [e [+-] digits], with at
    // least one digit before the exponent.
    const char* p = begin;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    const char* mantissa = p;
    bool nonZeroDigit = false;
    int digits = 0;
    for (; p < end && isDigit(*p); ++p, ++digits)
        nonZeroDigit |= *p != '0';
    if (p < end && *p == '.')
        for (++p; p < end && isDigit(*p); ++p, ++digits)
            nonZeroDigit |= *p != '0';
    bool plain = digits > 0 && p - mantissa > 0;
    if (plain && p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            ++p;
        const char* exponent = p;
        while (p < end && isDigit(*p))
            ++p;
        plain = p > exponent;
    }
    if (plain && p == end) {
        // std::from_chars takes no '+'; both are correctly rounded.
        const char* from = *begin == '+' ? begin + 1 : begin;
        const std::from_chars_result result = std::from_chars(from, end, value, std::chars_format::general);
        // A zero from non-zero digits is an underflow, which the text
        // conversion refuses: leave it to that conversion.
        if (result.ec == std::errc() && result.ptr == end && (value != 0.0 || !nonZeroDigit))
            return true;
    }
    bool ok = false;
    value = QString::fromLatin1(begin, int(end - begin)).toDouble(&ok);
    return ok;
}

bool toIntGeneral(const char* begin, const char* end, int& value)
{
    bool ok = false;
    value = QString::fromLatin1(begin, int(end - begin)).toInt(&ok, 10);
    return ok;
}

bool isPlainAscii(const char* data, qint64 size)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    qint64 i = 0;
    // Eight bytes at a time: any high bit, or any zero byte.
    const quint64 ones = 0x0101010101010101ull;
    const quint64 highs = 0x8080808080808080ull;
    quint64 flags = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, bytes + i, 8);
        flags |= (word & highs) | ((word - ones) & ~word & highs);
    }
    if (flags != 0)
        return false;
    for (; i < size; ++i) {
        if (bytes[i] == 0 || bytes[i] >= 0x80)
            return false;
    }
    return true;
}

}  // namespace Detail

namespace {

using Detail::isDigit;

inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
// QChar::isSpace restricted to ASCII.
inline bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

inline const char* skipBlanks(const char* p, const char* end)
{
    while (p < end && *p == ' ')
        ++p;
    return p;
}

inline const char* partEnd(const char* p, const char* end)
{
    while (p < end && *p != ' ')
        ++p;
    return p;
}

inline bool endsPart(const char* p, const char* end)
{
    return p == end || *p == ' ';
}

// parseNumbers with the blank as separator: `count` numbers, more only when
// allowMore; the values are narrowed to float and must stay finite.
bool parseFloats(const char* p, const char* end, int count, bool allowMore, float* out)
{
    double values[3];
    for (int i = 0; i < count; ++i) {
        p = skipBlanks(p, end);
        if (p == end)
            return false;
        const char* after = Detail::scanShortDecimal(p, end, values[i]);
        if (!after || !endsPart(after, end)) {
            after = partEnd(p, end);
            if (!Detail::toDoubleGeneral(p, after, values[i]))
                return false;
        }
        p = after;
    }
    if (!allowMore && skipBlanks(p, end) != end)
        return false;
    for (int i = 0; i < count; ++i) {
        out[i] = float(values[i]);
        if (!std::isfinite(out[i]))
            return false;
    }
    return true;
}

// The file's number minus 1; the lowest int has no index below it.
inline bool parseIndex(const char* begin, const char* end, int& index)
{
    int value;
    if (!Detail::toInt(begin, end, value) || value == INT_MIN)
        return false;
    index = value - 1;
    return true;
}

// One corner: i, i/, i/j, i//k or i/j/k (the general form of one part).
bool parseCorner(const char* begin, const char* end, int* corner)
{
    const char* slashes[3];
    int slashCount = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '/') {
            if (slashCount == 2)
                return false;
            slashes[slashCount++] = p;
        }
    }
    corner[0] = corner[1] = corner[2] = -1;
    const char* firstEnd = slashCount > 0 ? slashes[0] : end;
    if (firstEnd == begin || !parseIndex(begin, firstEnd, corner[0]))
        return false;
    if (slashCount >= 1) {
        const char* secondBegin = slashes[0] + 1;
        const char* secondEnd = slashCount == 2 ? slashes[1] : end;
        if (secondEnd > secondBegin && !parseIndex(secondBegin, secondEnd, corner[1]))
            return false;
    }
    if (slashCount == 2) {
        const char* thirdBegin = slashes[1] + 1;
        if (thirdBegin == end || !parseIndex(thirdBegin, end, corner[2]))
            return false;
    }
    return true;
}

// The usual corners (short integers) in one pass: the end of the part, or
// null when the part needs the general form.
inline const char* scanCorner(const char* p, const char* end, int* corner)
{
    corner[1] = corner[2] = -1;
    p = Detail::scanSmallInt(p, end, corner[0]);
    if (!p)
        return nullptr;
    --corner[0];
    if (endsPart(p, end))
        return p;
    if (*p != '/')
        return nullptr;
    ++p;
    if (endsPart(p, end))
        return p;  // i/
    if (*p != '/') {
        p = Detail::scanSmallInt(p, end, corner[1]);
        if (!p)
            return nullptr;
        --corner[1];
        if (endsPart(p, end))
            return p;
        if (*p != '/')
            return nullptr;
    }
    ++p;
    p = Detail::scanSmallInt(p, end, corner[2]);
    if (!p || !endsPart(p, end))
        return nullptr;
    --corner[2];
    return p;
}

inline bool indexFits(int index, int count)
{
    return index == -1 || (index >= 0 && index < count);
}

// One run of whole lines, parsed on its own: its elements in file order, the
// group lines it holds, and the first line that does not parse.
struct LinesPart {
    const char* begin = nullptr;
    const char* end = nullptr;
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    std::vector<int> corners;    // faces as flat (vertex, texture) pairs
    std::vector<int> faceSizes;  // corner counts
    // Group lines: the number of this part's faces before the line, and the trimmed name.
    std::vector<std::pair<int, std::string>> groupLines;
    int lines = 0;
    // The failing line: its number within the part, its keyword and the text after it.
    int failedLine = -1;
    const char* keyword = nullptr;
    int keywordLength = 0;
    const char* rest = nullptr;
    const char* restEnd = nullptr;
    // The index check: the first corner outside its list (its face within the
    // part, which index, the index), and the corner counts.
    int badFace = -1;
    bool badTexture = false;
    int badIndex = 0;
    int totalCorners = 0;
    int withVertex = 0;
    int withTexture = 0;
};

// Parses the part's lines up to its end or up to its first failing line.
void parseLines(LinesPart& part)
{
    // Room for every corner the text could hold (each takes two bytes at
    // least), up to a bound: only the pages used are touched, and up to the
    // bound nothing is regrown.
    const size_t size = size_t(part.end - part.begin);
    const size_t reserveBound = size_t(1) << 26;
    part.corners.reserve(std::min(size + 2, reserveBound));
    part.faceSizes.reserve(std::min(size / 8 + 1, reserveBound / 4));

    const char* p = part.begin;
    const char* const end = part.end;
    int lineNumber = -1;
    while (p < end) {
        ++lineNumber;
        const void* newline = std::memchr(p, '\n', size_t(end - p));
        const char* lineEnd = newline ? static_cast<const char*>(newline) : end;
        const char* const next = newline ? lineEnd + 1 : end;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;

        const char* keywordEnd = p;
        while (keywordEnd < lineEnd && isLetter(*keywordEnd))
            ++keywordEnd;
        const int keywordLength = int(keywordEnd - p);
        if (keywordLength == 0 || keywordEnd == lineEnd || !isSpace(*keywordEnd)) {
            p = next;
            continue;
        }
        const char* const rest = keywordEnd;
        bool ok = true;
        if (keywordLength == 1 && p[0] == 'v') {
            float xyz[3];
            ok = parseFloats(rest, lineEnd, 3, false, xyz);
            part.vertices.append(ok ? QVector3D(xyz[0], xyz[1], xyz[2]) : QVector3D(0, 0, 0));
        } else if (keywordLength == 2 && p[0] == 'v' && p[1] == 't') {
            float uv[2];
            ok = parseFloats(rest, lineEnd, 2, true, uv);
            part.textureVertices.append(ok ? QVector2D(uv[0], uv[1]) : QVector2D(0, 0));
        } else if (keywordLength == 1 && p[0] == 'f') {
            std::vector<int>& corners = part.corners;
            const size_t firstCorner = corners.size();
            const char* q = rest;
            int count = 0;
            while (true) {
                q = skipBlanks(q, lineEnd);
                if (q == lineEnd)
                    break;
                int corner[3] = {-1, -1, -1};
                const char* after = scanCorner(q, lineEnd, corner);
                if (!after) {
                    after = partEnd(q, lineEnd);
                    if (!parseCorner(q, after, corner)) {
                        ok = false;
                        break;
                    }
                }
                // Normal indices are checked for form only, then dropped.
                corners.push_back(corner[0]);
                corners.push_back(corner[1]);
                ++count;
                q = after;
            }
            ok = ok && count >= 3;
            if (ok)
                part.faceSizes.push_back(count);
            else
                corners.resize(firstCorner);
        } else if (keywordLength == 1 && p[0] == 'g') {
            const char* nameBegin = rest;
            const char* nameEnd = lineEnd;
            while (nameBegin < nameEnd && isSpace(*nameBegin))
                ++nameBegin;
            while (nameEnd > nameBegin && isSpace(nameEnd[-1]))
                --nameEnd;
            part.groupLines.emplace_back(int(part.faceSizes.size()), std::string(nameBegin, nameEnd));
        }
        if (!ok) {
            part.failedLine = lineNumber;
            part.keyword = p;
            part.keywordLength = keywordLength;
            part.rest = rest;
            part.restEnd = lineEnd;
            part.lines = lineNumber + 1;
            return;
        }
        p = next;
    }
    part.lines = lineNumber + 1;
}

// The first corner of the part outside the lists (vertex before texture
// vertex), and the corner counts.
void checkIndices(LinesPart& part, int nVertices, int nTextureVertices)
{
    const int* corner = part.corners.data();
    for (size_t face = 0; face < part.faceSizes.size(); ++face) {
        for (int k = 0; k < part.faceSizes[face]; ++k, corner += 2) {
            if (!indexFits(corner[0], nVertices)) {
                part.badFace = int(face);
                part.badTexture = false;
                part.badIndex = corner[0];
                return;
            }
            if (!indexFits(corner[1], nTextureVertices)) {
                part.badFace = int(face);
                part.badTexture = true;
                part.badIndex = corner[1];
                return;
            }
            part.withVertex += corner[0] != -1;
            part.withTexture += corner[1] != -1;
            ++part.totalCorners;
        }
    }
}

// Parts of about partBytes each, every one ending after a line break (the
// last at the end of the text).
std::vector<LinesPart> splitIntoParts(const char* data, qint64 size, qint64 partBytes)
{
    std::vector<LinesPart> parts;
    const char* p = data;
    const char* const end = data + size;
    while (p < end) {
        const char* cut = end - p > partBytes ? p + partBytes : end;
        if (cut < end) {
            const void* newline = std::memchr(cut - 1, '\n', size_t(end - (cut - 1)));
            cut = newline ? static_cast<const char*>(newline) + 1 : end;
        }
        parts.emplace_back();
        parts.back().begin = p;
        parts.back().end = cut;
        p = cut;
    }
    return parts;
}

bool readPlainAscii(const char* data, qint64 size, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                    QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                    QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error,
                    qint64 partBytes)
{
    vertices.clear();
    textureVertices.clear();
    polygroupNames.clear();
    polygonIndToPolygroupInd.clear();
    error = QString("");

    // The parts are parsed side by side; everything after the first failing
    // line is then ignored, so the outcome is that of one pass over the text.
    std::vector<LinesPart> parts = splitIntoParts(data, size, std::max<qint64>(partBytes, 1));
    Parallel::forEachIndex(int(parts.size()), [&parts](int i) { parseLines(parts[size_t(i)]); });
    size_t used = 0;
    while (used < parts.size() && parts[used].failedLine < 0)
        ++used;
    const LinesPart* failed = used < parts.size() ? &parts[used] : nullptr;
    if (failed)
        ++used;

    int nVertices = 0, nTextureVertices = 0, nFaces = 0;
    std::vector<int> faceBase(used, 0);
    for (size_t i = 0; i < used; ++i) {
        nVertices += parts[i].vertices.size();
        nTextureVertices += parts[i].textureVertices.size();
        faceBase[i] = nFaces;
        nFaces += int(parts[i].faceSizes.size());
    }
    vertices.reserve(nVertices);
    textureVertices.reserve(nTextureVertices);
    polygonIndToPolygroupInd.reserve(nFaces);
    std::string groupName;
    int groupIndex = -1;
    std::unordered_map<std::string, int> groupIndices;
    for (size_t i = 0; i < used; ++i) {
        const LinesPart& part = parts[i];
        vertices += part.vertices;
        textureVertices += part.textureVertices;
        int face = 0;
        for (const std::pair<int, std::string>& line : part.groupLines) {
            for (; face < line.first; ++face)
                polygonIndToPolygroupInd.append(groupIndex);
            if (groupName != line.second) {
                groupName = line.second;
                const auto inserted = groupIndices.emplace(groupName, polygroupNames.size());
                if (inserted.second)
                    polygroupNames.append(QString::fromLatin1(groupName.data(), int(groupName.size())));
                groupIndex = inserted.first->second;
            }
        }
        for (; face < int(part.faceSizes.size()); ++face)
            polygonIndToPolygroupInd.append(groupIndex);
    }
    if (failed) {
        int lineNumber = failed->failedLine;
        for (const LinesPart* part = parts.data(); part != failed; ++part)
            lineNumber += part->lines;
        error =
            Detail::parseErrorText(QString::fromLatin1(failed->keyword, failed->keywordLength),
                                   QString::fromLatin1(failed->rest, int(failed->restEnd - failed->rest)), lineNumber);
        return false;
    }

    // Index check in face order, vertex before texture vertex.
    Parallel::forEachIndex(int(used), [&parts, nVertices, nTextureVertices](int i) {
        checkIndices(parts[size_t(i)], nVertices, nTextureVertices);
    });
    int totalCorners = 0;
    int withVertex = 0;
    int withTexture = 0;
    for (size_t i = 0; i < used; ++i) {
        const LinesPart& part = parts[i];
        if (part.badFace >= 0) {
            error = QString("Face %1 has wrong %2 index: %3")
                        .arg(QString::number(faceBase[i] + part.badFace),
                             part.badTexture ? QStringLiteral("texture vertex") : QStringLiteral("vertex"),
                             QString::number(part.badIndex));
            return false;
        }
        totalCorners += part.totalCorners;
        withVertex += part.withVertex;
        withTexture += part.withTexture;
    }

    polygons.clear();
    texturePolygons.clear();
    const bool regular =
        (withVertex == 0 || withVertex == totalCorners) && (withTexture == 0 || withTexture == totalCorners);
    if (!regular) {
        qDebug() << "Faces are irregular!";
        error = "Faces have different field structure";
        return false;
    }
    if (withVertex != 0)
        polygons = QVector<QList<int>>(nFaces);
    if (withTexture != 0)
        texturePolygons = QVector<QList<int>>(nFaces);
    QList<int>* vertexLists = withVertex != 0 ? polygons.data() : nullptr;
    QList<int>* textureLists = withTexture != 0 ? texturePolygons.data() : nullptr;
    Parallel::forEachIndex(int(used), [&](int i) {
        const LinesPart& part = parts[size_t(i)];
        const int* corner = part.corners.data();
        for (size_t face = 0; face < part.faceSizes.size(); ++face) {
            const int n = part.faceSizes[face];
            const size_t target = size_t(faceBase[size_t(i)]) + face;
            if (vertexLists) {
                QList<int>& list = vertexLists[target];
                list.reserve(n);
                for (int k = 0; k < n; ++k)
                    list.append(corner[2 * k]);
            }
            if (textureLists) {
                QList<int>& list = textureLists[target];
                list.reserve(n);
                for (int k = 0; k < n; ++k)
                    list.append(corner[2 * k + 1]);
            }
            corner += 2 * n;
        }
    });
    return true;
}

}  // namespace

bool readFromObjBytes(const char* data, qint64 size, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                      QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                      QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error)
{
    // A few parts per thread, none below a megabyte: small files stay in one.
    const qint64 partBytes = std::max<qint64>(qint64(1) << 20, size / (4 * std::max(1, QThread::idealThreadCount())));
    return readFromObjBytes(data, size, vertices, textureVertices, polygons, texturePolygons, polygroupNames,
                            polygonIndToPolygroupInd, error, partBytes);
}

bool readFromObjBytes(const char* data, qint64 size, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                      QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                      QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error,
                      qint64 partBytes)
{
    if (Detail::isPlainAscii(data, size))
        return readPlainAscii(data, size, vertices, textureVertices, polygons, texturePolygons, polygroupNames,
                              polygonIndToPolygroupInd, error, partBytes);
    // Other text depends on the stream's codec: let the stream decode it.
    QTextStream stream(QByteArray(data, int(size)));
    return readFromObjFormat(stream, vertices, textureVertices, polygons, texturePolygons, polygroupNames,
                             polygonIndToPolygroupInd, error);
}

bool loadObjFile(const QString& path, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                 QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons, QVector<QString>& polygroupNames,
                 QVector<int>& polygonIndToPolygroupInd, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "Can not load file: " + path;
        return false;
    }
    const qint64 size = file.size();
    if (size > 0 && size < INT_MAX) {
        // Mapped with its pages read in at once, sparing a fault per page.
        void* mapped = mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE | MAP_POPULATE, file.handle(), 0);
        if (mapped != MAP_FAILED) {
            const bool ok =
                readFromObjBytes(static_cast<const char*>(mapped), size, vertices, textureVertices, polygons,
                                 texturePolygons, polygroupNames, polygonIndToPolygroupInd, error);
            munmap(mapped, size_t(size));
            return ok;
        }
        if (const uchar* mapped = file.map(0, size)) {
            const bool ok =
                readFromObjBytes(reinterpret_cast<const char*>(mapped), size, vertices, textureVertices, polygons,
                                 texturePolygons, polygroupNames, polygonIndToPolygroupInd, error);
            file.unmap(const_cast<uchar*>(mapped));
            return ok;
        }
    }
    if (size >= INT_MAX) {
        QTextStream stream(&file);
        return readFromObjFormat(stream, vertices, textureVertices, polygons, texturePolygons, polygroupNames,
                                 polygonIndToPolygroupInd, error);
    }
    // Not mappable (empty, or not a plain file): read what it holds.
    const QByteArray bytes = file.readAll();
    return readFromObjBytes(bytes.constData(), bytes.size(), vertices, textureVertices, polygons, texturePolygons,
                            polygroupNames, polygonIndToPolygroupInd, error);
}

bool loadObjFile(const QString& path, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                 QVector<QVector3D>& normals, QVector<QList<int>>& polygons, QVector<QList<int>>& texturePolygons,
                 QVector<QList<int>>& normalPolygons, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = "Can not load file: " + path;
        return false;
    }
    QTextStream stream(&file);
    return readFromObjFormat(stream, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons,
                             error);
}

}  // namespace ObjFileImport
