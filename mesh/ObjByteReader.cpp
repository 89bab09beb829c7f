// The OBJ reader over the bytes of a whole file: tokenises plain ASCII text in
// place, with exactly the results (values, messages, line numbers) of the
// text-stream reader, which still reads anything else.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/mman.h>

#include <QDebug>
#include <QFile>
#include <QTextStream>

#include "mesh/ObjFileImport.h"
#include "mesh/ObjReaderDetail.h"

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

inline bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// QChar::isSpace restricted to ASCII.
inline bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

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

inline bool endsPart(const char* p, const char* end) { return p == end || *p == ' '; }

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

inline bool indexFits(int index, int count) { return index == -1 || (index >= 0 && index < count); }

bool readPlainAscii(const char* data, qint64 size, QVector<QVector3D>& vertices,
                    QVector<QVector2D>& textureVertices, QVector<QList<int> >& polygons,
                    QVector<QList<int> >& texturePolygons, QVector<QString>& polygroupNames,
                    QVector<int>& polygonIndToPolygroupInd, QString& error)
{
    vertices.clear();
    textureVertices.clear();
    polygroupNames.clear();
    polygonIndToPolygroupInd.clear();
    error = QString("");

    // Faces as flat corner pairs (vertex, texture) and corner counts.
    std::vector<int> corners;
    std::vector<int> faceSizes;
    // Room for every corner the text could hold (each takes two bytes at
    // least), up to a bound: only the pages used are touched, and up to the
    // bound nothing is regrown.
    const size_t reserveBound = size_t(1) << 26;
    corners.reserve(std::min(size_t(size) + 2, reserveBound));
    faceSizes.reserve(std::min(size_t(size) / 8 + 1, reserveBound / 4));
    std::string groupName;
    int groupIndex = -1;
    std::unordered_map<std::string, int> groupIndices;

    const char* p = data;
    const char* const end = data + size;
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
            vertices.append(ok ? QVector3D(xyz[0], xyz[1], xyz[2]) : QVector3D(0, 0, 0));
        } else if (keywordLength == 2 && p[0] == 'v' && p[1] == 't') {
            float uv[2];
            ok = parseFloats(rest, lineEnd, 2, true, uv);
            textureVertices.append(ok ? QVector2D(uv[0], uv[1]) : QVector2D(0, 0));
        } else if (keywordLength == 1 && p[0] == 'f') {
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
            if (ok) {
                faceSizes.push_back(count);
                polygonIndToPolygroupInd.append(groupIndex);
            } else {
                corners.resize(firstCorner);
            }
        } else if (keywordLength == 1 && p[0] == 'g') {
            const char* nameBegin = rest;
            const char* nameEnd = lineEnd;
            while (nameBegin < nameEnd && isSpace(*nameBegin))
                ++nameBegin;
            while (nameEnd > nameBegin && isSpace(nameEnd[-1]))
                --nameEnd;
            const size_t nameLength = size_t(nameEnd - nameBegin);
            if (groupName.size() != nameLength || groupName.compare(0, nameLength, nameBegin, nameLength) != 0) {
                groupName.assign(nameBegin, nameLength);
                const auto inserted = groupIndices.emplace(groupName, polygroupNames.size());
                if (inserted.second)
                    polygroupNames.append(QString::fromLatin1(nameBegin, int(nameLength)));
                groupIndex = inserted.first->second;
            }
        }
        if (!ok) {
            error = Detail::parseErrorText(QString::fromLatin1(p, keywordLength),
                                           QString::fromLatin1(rest, int(lineEnd - rest)), lineNumber);
            return false;
        }
        p = next;
    }

    // Index check in face order, vertex before texture vertex.
    const int nVertices = vertices.size();
    const int nTextureVertices = textureVertices.size();
    int totalCorners = 0;
    int withVertex = 0;
    int withTexture = 0;
    {
        const int* corner = corners.data();
        for (size_t face = 0; face < faceSizes.size(); ++face) {
            for (int k = 0; k < faceSizes[face]; ++k, corner += 2) {
                if (!indexFits(corner[0], nVertices)) {
                    error = QString("Face %1 has wrong %2 index: %3")
                                .arg(QString::number(face), QStringLiteral("vertex"), QString::number(corner[0]));
                    return false;
                }
                if (!indexFits(corner[1], nTextureVertices)) {
                    error = QString("Face %1 has wrong %2 index: %3")
                                .arg(QString::number(face), QStringLiteral("texture vertex"),
                                     QString::number(corner[1]));
                    return false;
                }
                withVertex += corner[0] != -1;
                withTexture += corner[1] != -1;
                ++totalCorners;
            }
        }
    }

    polygons.clear();
    texturePolygons.clear();
    const bool regular = (withVertex == 0 || withVertex == totalCorners) &&
                         (withTexture == 0 || withTexture == totalCorners);
    if (!regular) {
        qDebug() << "Faces are irregular!";
        error = "Faces have different field structure";
        return false;
    }
    auto component = [&](int offset) {
        QVector<QList<int> > lists(int(faceSizes.size()));
        const int* corner = corners.data() + offset;
        for (size_t face = 0; face < faceSizes.size(); ++face) {
            QList<int>& list = lists[int(face)];
            const int n = faceSizes[face];
            list.reserve(n);
            for (int k = 0; k < n; ++k, corner += 2)
                list.append(*corner);
        }
        return lists;
    };
    if (withVertex != 0)
        polygons = component(0);
    if (withTexture != 0)
        texturePolygons = component(1);
    return true;
}

}  // namespace

bool readFromObjBytes(const char* data, qint64 size, QVector<QVector3D>& vertices,
                      QVector<QVector2D>& textureVertices, QVector<QList<int> >& polygons,
                      QVector<QList<int> >& texturePolygons, QVector<QString>& polygroupNames,
                      QVector<int>& polygonIndToPolygroupInd, QString& error)
{
    if (Detail::isPlainAscii(data, size))
        return readPlainAscii(data, size, vertices, textureVertices, polygons, texturePolygons, polygroupNames,
                              polygonIndToPolygroupInd, error);
    // Other text depends on the stream's codec: let the stream decode it.
    QTextStream stream(QByteArray(data, int(size)));
    return readFromObjFormat(stream, vertices, textureVertices, polygons, texturePolygons, polygroupNames,
                             polygonIndToPolygroupInd, error);
}

bool loadObjFile(const QString& path, QVector<QVector3D>& vertices, QVector<QVector2D>& textureVertices,
                 QVector<QList<int> >& polygons, QVector<QList<int> >& texturePolygons,
                 QVector<QString>& polygroupNames, QVector<int>& polygonIndToPolygroupInd, QString& error)
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
            const bool ok = readFromObjBytes(static_cast<const char*>(mapped), size, vertices, textureVertices,
                                             polygons, texturePolygons, polygroupNames, polygonIndToPolygroupInd,
                                             error);
            munmap(mapped, size_t(size));
            return ok;
        }
        if (const uchar* mapped = file.map(0, size)) {
            const bool ok = readFromObjBytes(reinterpret_cast<const char*>(mapped), size, vertices, textureVertices,
                                             polygons, texturePolygons, polygroupNames, polygonIndToPolygroupInd,
                                             error);
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
                 QVector<QVector3D>& normals, QVector<QList<int> >& polygons,
                 QVector<QList<int> >& texturePolygons, QVector<QList<int> >& normalPolygons, QString& error)
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
