// OBJ writing: the text written, parts left out, write-then-read round trips and failed saves.
#include <csignal>
#include <cstring>
#include <random>

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTextStream>

#include "mesh/ObjFileImport.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

using namespace ObjFileImport;

namespace {

// Two polygons side by side:
//  4 ---- 3
//  |      | \ .
//  0 ---- 1 -- 2
struct Example {
    QVector<QVector3D> vertices{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    QVector<QVector2D> textureVertices{{0, 0}, {0.5f, 0}, {0.5f, 0.5f}, {0, 0.5f}, {0.5f, 0}, {1, 0}, {0.5f, 0.5f}};
    QVector<QVector3D> normals = QVector<QVector3D>(5, QVector3D(0, 0, 1));
    QVector<QList<int>> polygons{{0, 1, 3, 4}, {1, 2, 3}};
    QVector<QList<int>> texturePolygons{{0, 1, 2, 3}, {4, 5, 6}};
    QVector<QString> polygroupNames{"LeftPolygon", "RightPolygon"};
    QVector<int> groups{0, 1};
};

const QByteArray kVertexLines = "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 1 1 0\nv 0 1 0\n";
const QByteArray kTextureLines = "vt 0 0\nvt 0.5 0\nvt 0.5 0.5\nvt 0 0.5\nvt 0.5 0\nvt 1 0\nvt 0.5 0.5\n";
const QByteArray kNormalLines = QByteArray("vn 0 0 1\n").repeated(5);

QByteArray streamText(const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                      const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                      const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                      const QVector<QString>& names, const QVector<int>& groups)
{
    QByteArray bytes;
    QTextStream stream(&bytes, QIODevice::WriteOnly);
    writeToObjFormat(stream, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons, names,
                     groups);
    stream.flush();
    return bytes;
}

// The text through the stream writer, the byte writer and a saved file, which must all agree.
QByteArray written(const QVector<QVector3D>& vertices, const QVector<QVector2D>& textureVertices,
                   const QVector<QVector3D>& normals, const QVector<QList<int>>& polygons,
                   const QVector<QList<int>>& texturePolygons, const QVector<QList<int>>& normalPolygons,
                   const QVector<QString>& names, const QVector<int>& groups)
{
    const QByteArray stream =
        streamText(vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons, names, groups);
    EXPECT_EQ(
        objFormatBytes(vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons, names, groups),
        stream);
    TestSupport::TempDir dir;
    const QString path = dir.filePath("written.obj");
    EXPECT_TRUE(saveToObjFile(path, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons,
                              names, groups));
    EXPECT_EQ(TestSupport::readFile(path), stream);
    return stream;
}

}  // namespace

TEST(ObjWriter, FullExample)
{
    const Example e;
    EXPECT_EQ(written(e.vertices, e.textureVertices, e.normals, e.polygons, e.texturePolygons, e.polygons,
                      e.polygroupNames, e.groups),
              kVertexLines + kTextureLines + kNormalLines +
                  "g LeftPolygon\nf 1/1/1 2/2/2 4/3/4 5/4/5\ng RightPolygon\nf 2/5/2 3/6/3 4/7/4\n");
}

TEST(ObjWriter, PartsLeftOut)
{
    const Example e;
    EXPECT_EQ(written(e.vertices, e.textureVertices, {}, e.polygons, e.texturePolygons, {}, e.polygroupNames, {1, 1}),
              kVertexLines + kTextureLines + "g RightPolygon\nf 1/1 2/2 4/3 5/4\nf 2/5 3/6 4/7\n");
    EXPECT_EQ(written(e.vertices, {}, {}, e.polygons, {}, {}, {}, {}), kVertexLines + "f 1 2 4 5\nf 2 3 4\n");
    EXPECT_EQ(written(e.vertices, {}, e.normals, e.polygons, {}, e.polygons, {}, {}),
              kVertexLines + kNormalLines + "f 1//1 2//2 4//4 5//5\nf 2//2 3//3 4//4\n");
    EXPECT_EQ(written({}, {}, {}, {{}}, {}, {}, {}, {}), QByteArray("f\n"));
}

TEST(ObjWriter, GroupIndicesOutsideTheNamesWriteNoGroupLine)
{
    const QVector<QList<int>> polygons(5, QList<int>{0, 0, 0});
    const QByteArray face = "v 0 0 0\n";
    // -1 after a group, an index past the names, then the group again; and a
    // group list shorter than the polygons.
    EXPECT_EQ(written({{0, 0, 0}}, {}, {}, polygons, {}, {}, {"a"}, {0, -1, 5, 0, 0}),
              face + "g a\nf 1 1 1\nf 1 1 1\nf 1 1 1\ng a\nf 1 1 1\nf 1 1 1\n");
    EXPECT_EQ(written({{0, 0, 0}}, {}, {}, polygons.mid(0, 3), {}, {}, {"a"}, {0}),
              face + "g a\nf 1 1 1\nf 1 1 1\nf 1 1 1\n");
    // Texture lists shorter than the polygons leave those corners without.
    EXPECT_EQ(written({{0, 0, 0}}, {}, {}, polygons.mid(0, 2), {{0, 0}}, {}, {}, {}), face + "f 1/1 1/1 1\nf 1 1 1\n");
}

TEST(ObjWriter, CornerTextAndNumbers)
{
    const int texture = 1;
    const int normal = 2;
    EXPECT_EQ(buildFaceVertexString(0, &texture, &normal), "1/2/3");
    EXPECT_EQ(buildFaceVertexString(0, &texture, nullptr), "1/2");
    EXPECT_EQ(buildFaceVertexString(0, nullptr, &normal), "1//3");
    EXPECT_EQ(buildFaceVertexString(0, nullptr, nullptr), "1");
    EXPECT_EQ(buildFaceVertexString(2147483647, nullptr, nullptr), "2147483648");

    // Six significant digits, trailing zeros dropped, ties away from zero, no
    // sign on zero.
    const struct {
        float value;
        const char* text;
    } numbers[] = {
        {0.5f, "0.5"},
        {1.0f, "1"},
        {2.0f, "2"},
        {-0.0f, "0"},
        {100000, "100000"},
        {1e6f, "1e+06"},
        {1234567, "1.23457e+06"},
        {0.0001f, "0.0001"},
        {1e-5f, "1e-05"},
        {715416.5f, "715417"},
        {-715416.5f, "-715417"},
        {999999.5f, "1e+06"},
        {0.1f, "0.1"},
        {3.4028235e38f, "3.40282e+38"},
        {1e-45f, "1.4013e-45"},
    };
    for (const auto& n : numbers) {
        EXPECT_EQ(objFormatBytes({{n.value, 0, 0}}, {}, {}, {}, {}, {}, {}, {}), QByteArray("v ") + n.text + " 0 0\n")
            << n.text;
    }
}

TEST(ObjWriter, ByteWriterMatchesTheStreamWriter)
{
    std::mt19937 random(3);
    std::uniform_int_distribution<unsigned> bits;
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    auto randomFloat = [&](int i) {
        float value;
        const unsigned pattern = bits(random);
        std::memcpy(&value, &pattern, sizeof value);
        // Raw patterns, halves (exact ties) and short decimals.
        if (i % 3 == 1)
            value = float(int(random() % 4000001) - 2000000) / 2.0f;
        if (i % 3 == 2)
            value = float(int(random() % 20001) - 10000) / 1000.0f;
        return value;
    };
    for (int i = 0; i < 30000; ++i) {
        vertices.append(QVector3D(randomFloat(i), randomFloat(i + 1), randomFloat(i + 2)));
        textureVertices.append(QVector2D(randomFloat(i), randomFloat(i + 1)));
    }
    QVector<QList<int>> polygons;
    QVector<int> groups;
    for (int p = 0; p < 3000; ++p) {
        polygons.append({p, p + 1, p + 2, p + 3});
        groups.append(p / 1000);
    }
    const QVector<QString> ascii{"one", "two words", ""};
    const QVector<QString> unicode{QString::fromUtf8("\u00e9t\u00e9"), QString::fromUtf8("\u4e2d"), "x"};
    for (const QVector<QString>& names : {ascii, unicode}) {
        const QByteArray expected =
            streamText(vertices, textureVertices, vertices, polygons, polygons, polygons, names, groups);
        EXPECT_EQ(objFormatBytes(vertices, textureVertices, vertices, polygons, polygons, polygons, names, groups),
                  expected);
    }
}

TEST(ObjWriter, WriteThenReadGivesTheArraysBack)
{
    std::mt19937 random(9);
    std::uniform_real_distribution<float> coordinate(-50.0f, 50.0f);
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    for (int i = 0; i < 500; ++i) {
        vertices.append(QVector3D(coordinate(random), coordinate(random), coordinate(random)));
        textureVertices.append(QVector2D(coordinate(random) / 50, coordinate(random) / 50));
    }
    QVector<QList<int>> polygons, texturePolygons;
    QVector<int> groups;
    for (int p = 0; p < 300; ++p) {
        QList<int> polygon, texture;
        for (int k = 0, n = 3 + p % 4; k < n; ++k) {
            polygon.append(int(random() % 500));
            texture.append(int(random() % 500));
        }
        polygons.append(polygon);
        texturePolygons.append(texture);
        groups.append(p < 20 ? -1 : (p / 50) % 3);
    }
    const QVector<QString> names{"a", "b c", "d"};
    TestSupport::TempDir dir;
    const QString path = dir.filePath("round.obj");
    ASSERT_TRUE(saveToObjFile(path, vertices, textureVertices, {}, polygons, texturePolygons, {}, names, groups));

    QVector<QVector3D> readVertices;
    QVector<QVector2D> readTexture;
    QVector<QList<int>> readPolygons, readTexturePolygons;
    QVector<QString> readNames;
    QVector<int> readGroups;
    QString error;
    ASSERT_TRUE(
        loadObjFile(path, readVertices, readTexture, readPolygons, readTexturePolygons, readNames, readGroups, error))
        << error.toStdString();
    EXPECT_EQ(readPolygons, polygons);
    EXPECT_EQ(readTexturePolygons, texturePolygons);
    EXPECT_EQ(readNames, names);
    EXPECT_EQ(readGroups, groups);
    ASSERT_EQ(readVertices.size(), vertices.size());
    ASSERT_EQ(readTexture.size(), textureVertices.size());
    for (int i = 0; i < vertices.size(); ++i) {
        // Six significant digits: within half a unit of the sixth digit.
        for (int axis = 0; axis < 3; ++axis)
            EXPECT_NEAR(readVertices[i][axis], vertices[i][axis], std::abs(vertices[i][axis]) * 5e-6f + 1e-30f);
        for (int axis = 0; axis < 2; ++axis)
            EXPECT_NEAR(readTexture[i][axis], textureVertices[i][axis],
                        std::abs(textureVertices[i][axis]) * 5e-6f + 1e-30f);
    }
}

TEST(ObjWriter, FailedSaveReportsAndKeepsTheOldFile)
{
    TestSupport::TempDir dir;
    const Example e;
    TestSupport::LogCapture log;
    for (const QString& path : {dir.filePath("missing/folder/out.obj"), dir.path()}) {
        log.clear();
        EXPECT_FALSE(saveToObjFile(path, e.vertices, {}, {}, e.polygons, {}, {}, {}, {}));
        EXPECT_EQ(log.texts(QtCriticalMsg), QStringList{"Can not open file \"" + path + "\""});
    }

    // A write that fails part-way (the file size limit) leaves the old file.
    const QByteArray old = "v 7 7 7\n";
    const QString existing = dir.write("existing.obj", old);
    QVector<QVector3D> many(200000, QVector3D(1.5f, 2.5f, 3.5f));
    rlimit limits;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limits), 0);
    rlimit small = limits;
    small.rlim_cur = 64 * 1024;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    log.clear();
    const bool saved = saveToObjFile(existing, many, {}, {}, {}, {}, {}, {}, {});
    setrlimit(RLIMIT_FSIZE, &limits);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(log.texts(QtCriticalMsg), QStringList{"Can not open file \"" + existing + "\""});
    EXPECT_EQ(TestSupport::readFile(existing), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"existing.obj"});
}
