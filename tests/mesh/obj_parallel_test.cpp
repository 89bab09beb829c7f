// Keyword-indexed parsing on four threads, held against the serial reader.
#include "mesh/ObjParallelParser.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QSignalSpy>

using namespace ObjFileImport;

namespace {

struct ParallelResult {
    QList<QVector3D> vertices;
    QList<QVector2D> textureVertices;
    QList<QVector3D> normals;
    QList<Face> faces;
    bool ok = false;
    QString error;
};

ParallelResult parseInParallel(const QByteArray& text)
{
    QTextStream stream(text);
    const QStringList lines = readLines(stream);
    const QList<KeywordLine> keywordLines = findKeywords(lines);
    ParallelResult r;
    ParserSync().parse(lines, keywordLines, r.vertices, r.textureVertices, r.normals, r.faces, r.ok, r.error);
    return r;
}

QVector<QList<int>> components(const QList<Face>& faces, FaceVertex::FaceComponent component)
{
    return getFacesComponents(faces.toVector(), component);
}

// A w x h grid of quads with texture coordinates and normals, written with the clutter the
// reader skips: comments, blank lines, groups, objects and smoothing groups.
QByteArray gridFile(int w, int h, const char* lineEnd)
{
    QByteArray text = "# generated grid";
    text += lineEnd;
    for (int y = 0; y <= h; ++y)
        for (int x = 0; x <= w; ++x)
            text += QString("v %1 %2 %3").arg(x * 0.25).arg(y * 0.5).arg((x * y) % 7 * 0.125).toUtf8() + lineEnd;
    text += lineEnd;
    for (int y = 0; y <= h; ++y)
        for (int x = 0; x <= w; ++x)
            text += QString("vt %1 %2").arg(double(x) / w).arg(double(y) / h).toUtf8() + lineEnd;
    text += QByteArray("o grid") + lineEnd + "s 1" + lineEnd;
    for (int i = 0; i < 3; ++i)
        text += QString("vn 0 %1 1").arg(i).toUtf8() + lineEnd;
    for (int y = 0; y < h; ++y) {
        text += QString("g row%1").arg(y % 3).toUtf8() + lineEnd;
        for (int x = 0; x < w; ++x) {
            const int a = y * (w + 1) + x + 1, b = a + 1, c = a + w + 2, d = a + w + 1;
            text +=
                QString("f %1/%1/%5 %2/%2/%5 %3/%3/%5 %4/%4/%5 ").arg(a).arg(b).arg(c).arg(d).arg(x % 3 + 1).toUtf8() +
                lineEnd;
        }
    }
    return text;
}

}  // namespace

TEST(ObjParallelParser, FindsKeywordLines)
{
    EXPECT_EQ(findKeywords({"# comment", "v 123 123 123", "vt 123"}),
              (QList<KeywordLine>{KeywordLine("v", 1), KeywordLine("vt", 2)}));
    EXPECT_EQ(findKeywords({" v 1 2 3", "", "vt", "g  a", "f 1 2 3"}),
              (QList<KeywordLine>{KeywordLine("g", 3), KeywordLine("f", 4)}));
    EXPECT_NE(KeywordLine("v", 1), KeywordLine("v", 2));
}

TEST(ObjParallelParser, ReadsEveryLineWithoutItsEnd)
{
    QByteArray text = "v 1 2 3\r\n\r\nf 1 2 3";
    QTextStream stream(text);
    EXPECT_EQ(readLines(stream), (QStringList{"v 1 2 3", "", "f 1 2 3"}));
}

TEST(ObjParallelParser, ParsesOneKeywordInFileOrder)
{
    const QStringList lines = {"v 1 2 3", "vt 0.5 0.25", "v 4 5 6", "vn 0 0 1"};
    const QList<KeywordLine> keywordLines = findKeywords(lines);
    bool ok = false;
    QString error = "old";
    EXPECT_EQ(parseElements<QVector3D>(lines, keywordLines, "v", &parseVector3D, ok, error),
              (QList<QVector3D>{{1, 2, 3}, {4, 5, 6}}));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(parseElements<QVector2D>(lines, keywordLines, "vt", &parseVector2D, ok, error),
              (QList<QVector2D>{{0.5f, 0.25f}}));
    EXPECT_TRUE(parseElements<Face>(lines, keywordLines, "f", &parseFace, ok, error).isEmpty());
    EXPECT_TRUE(ok);

    TestSupport::LogCapture log;
    const QStringList bad = {"v 1 2 3", "v 1 2", "v 7 8 9"};
    EXPECT_TRUE(parseElements<QVector3D>(bad, findKeywords(bad), "v", &parseVector3D, ok, error).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, QString("Failed to parse block \"v\": \" 1 2\" line 1"));
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList{error});
}

// The same files, read by the serial reader and by the parallel parser, give the same arrays.
TEST(ObjParallelParser, MatchesTheSerialReader)
{
    TestSupport::TempDir dir;
    const QVector<QPair<QString, QByteArray>> files = {
        {"grid_lf.obj", gridFile(17, 11, "\n")},
        {"grid_crlf.obj", gridFile(5, 9, "\r\n")},
        {"bare.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 1\nf 1 2 3\nf 2 4 3\n"},
        {"empty.obj", ""},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.first.toStdString());
        TestSupport::LogCapture quiet;
        const QString path = dir.write(file.first, file.second);
        QVector<QVector3D> vertices, normals;
        QVector<QVector2D> textureVertices;
        QVector<QList<int>> polygons, texturePolygons, normalPolygons;
        QString serialError;
        ASSERT_TRUE(loadObjFile(path, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons,
                                serialError))
            << serialError.toStdString();

        QFile in(path);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QTextStream stream(&in);
        const QStringList lines = readLines(stream);
        const QList<KeywordLine> keywordLines = findKeywords(lines);
        ParallelResult r;
        ParserSync().parse(lines, keywordLines, r.vertices, r.textureVertices, r.normals, r.faces, r.ok, r.error);
        ASSERT_TRUE(r.ok);
        EXPECT_TRUE(r.error.isEmpty());
        QString checkError;
        EXPECT_TRUE(
            checkFaceIndices(r.faces, r.vertices.size(), r.textureVertices.size(), r.normals.size(), checkError));

        EXPECT_EQ(r.vertices.toVector(), vertices);
        EXPECT_EQ(r.textureVertices.toVector(), textureVertices);
        EXPECT_EQ(r.normals.toVector(), normals);
        EXPECT_EQ(components(r.faces, FaceVertex::VertexIndex), polygons);
        EXPECT_EQ(
            textureVertices.isEmpty() ? QVector<QList<int>>() : components(r.faces, FaceVertex::TextureVertexIndex),
            texturePolygons);
        EXPECT_EQ(normals.isEmpty() ? QVector<QList<int>>() : components(r.faces, FaceVertex::NormalVertexIndex),
                  normalPolygons);
    }
}

// Each keyword stops at its own first bad line; the messages come in the order v, vt, vn, f and
// read like the serial reader's.
TEST(ObjParallelParser, ReportsEachKeywordsFirstErrorInOrder)
{
    TestSupport::LogCapture log;
    const QByteArray text = "v 0 0 0\nv 1 0 0\nf 1 2 x\nvt 0.5\nvn 0 0 1\nv 0 1 0\nvt 1\nf 1 2 3\n";
    const ParallelResult r = parseInParallel(text);
    EXPECT_FALSE(r.ok);
    const QString vtMessage = "Failed to parse block \"vt\": \" 0.5\" line 3";
    const QString fMessage = "Failed to parse block \"f\": \" 1 2 x\" line 2";
    EXPECT_EQ(r.error, vtMessage + "\n" + fMessage);
    EXPECT_EQ(r.vertices, (QList<QVector3D>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(r.normals, (QList<QVector3D>{{0, 0, 1}}));
    EXPECT_TRUE(r.textureVertices.isEmpty());
    EXPECT_TRUE(r.faces.isEmpty());

    // The serial reader stops at the first of them with the same text.
    QTextStream stream(text);
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons, texturePolygons;
    QVector<QString> groupNames;
    QVector<int> groups;
    QString serialError;
    EXPECT_FALSE(readFromObjFormat(stream, vertices, textureVertices, polygons, texturePolygons, groupNames, groups,
                                   serialError));
    EXPECT_EQ(serialError, fMessage);

    EXPECT_EQ(log.texts(QtDebugMsg).count("Parser finished"), 4);
    EXPECT_EQ(log.texts(QtDebugMsg).count("All parsers finished"), 1);
    EXPECT_TRUE(log.contains("Parsing Vectors3D took"));
    EXPECT_TRUE(log.contains("Parsing Vectors2D took"));
    EXPECT_TRUE(log.contains("Parsing Faces took"));
}

TEST(ObjParallelParser, ChecksFaceIndicesOfTheList)
{
    const QList<Face> faces = {Face({FaceVertex(0, 0, 0), FaceVertex(1, 1, 0), FaceVertex(2, -1, 1)}),
                               Face({FaceVertex(0, 0, 0), FaceVertex(3, 0, 0), FaceVertex(2, 0, 0)})};
    const struct {
        int nVertices, nTextureVertices, nNormals;
        QString error;
    } cases[] = {
        {4, 2, 2, ""},
        {3, 2, 2, "Face 1 has wrong vertex index: 3"},
        {4, 1, 2, "Face 0 has wrong texture vertex index: 1"},
        {4, 2, 1, "Face 0 has wrong normal vertex index: 1"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(checkFaceIndices(faces, c.nVertices, c.nTextureVertices, c.nNormals, error), c.error.isEmpty());
        EXPECT_EQ(error, c.error);
    }
}

TEST(ObjParallelParser, BaseParseObjectOnlyReports)
{
    TestSupport::LogCapture log;
    const QStringList lines;
    const QList<KeywordLine> keywordLines;
    ParseElementsObject base(lines, keywordLines, "v");
    QSignalSpy spy(&base, &ParseElementsObject::finished);
    base.compute();
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList{"Calling virtual slot ParseElementsObject::compute()"});
}

// Destroyed while its threads may still run, the parser waits for them instead of ending the
// program; a finished parser can be destroyed before its threads have been deleted.
TEST(ObjParallelParser, DestructionWaitsForRunningThreads)
{
    TestSupport::LogCapture quiet;
    const QByteArray text = gridFile(120, 120, "\n");
    QTextStream stream(text);
    const QStringList lines = readLines(stream);
    const QList<KeywordLine> keywordLines = findKeywords(lines);
    for (int round = 0; round < 5; ++round) {
        auto* parser = new ParserAsync(lines, keywordLines);
        parser->parse();
        delete parser;
    }
    for (int round = 0; round < 5; ++round) {
        ParserAsync parser(lines, keywordLines);
        QSignalSpy spy(&parser, &ParserAsync::finished);
        parser.parse();
        ASSERT_TRUE(spy.wait(20000));
        QList<QVector3D> vertices, normals;
        QList<QVector2D> textureVertices;
        QList<Face> faces;
        bool ok = false;
        QString error;
        parser.getResults(vertices, textureVertices, normals, faces, ok, error);
        EXPECT_TRUE(ok);
        EXPECT_EQ(faces.size(), 120 * 120);
    }
}
