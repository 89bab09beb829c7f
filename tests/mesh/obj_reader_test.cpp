// OBJ reading: line parsers, face checks, errors with their line, groups, line ends and numbers, and the
// byte reader's parts read side by side giving the results of one pass.
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include <QTextStream>

#include "mesh/ObjFileImport.h"
#include "mesh/ObjReaderDetail.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

using namespace ObjFileImport;

namespace {

struct Mesh {
    bool ok = false;
    QString error;
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons{{99}};
    QVector<QList<int>> texturePolygons{{98}};
    QVector<QString> polygroupNames;
    QVector<int> groups;
};

Mesh readBytes(const QByteArray& text)
{
    Mesh m;
    m.ok = readFromObjBytes(text.constData(), text.size(), m.vertices, m.textureVertices, m.polygons, m.texturePolygons,
                            m.polygroupNames, m.groups, m.error);
    return m;
}

Mesh readInParts(const QByteArray& text, qint64 partBytes)
{
    Mesh m;
    m.ok = readFromObjBytes(text.constData(), text.size(), m.vertices, m.textureVertices, m.polygons, m.texturePolygons,
                            m.polygroupNames, m.groups, m.error, partBytes);
    return m;
}

Mesh readStream(const QByteArray& text)
{
    Mesh m;
    QTextStream stream(text);
    m.ok = readFromObjFormat(stream, m.vertices, m.textureVertices, m.polygons, m.texturePolygons, m.polygroupNames,
                             m.groups, m.error);
    return m;
}

// Reads through both readers, which must agree bit for bit.
Mesh read(const QByteArray& text)
{
    const Mesh fast = readBytes(text);
    const Mesh plain = readStream(text);
    EXPECT_EQ(fast.ok, plain.ok) << text.toStdString();
    EXPECT_EQ(fast.error, plain.error);
    EXPECT_EQ(fast.vertices.size(), plain.vertices.size());
    if (fast.vertices.size() == plain.vertices.size()) {
        EXPECT_EQ(0, std::memcmp(fast.vertices.constData(), plain.vertices.constData(),
                                 sizeof(QVector3D) * size_t(fast.vertices.size())));
    }
    EXPECT_EQ(fast.textureVertices, plain.textureVertices);
    EXPECT_EQ(fast.polygons, plain.polygons);
    EXPECT_EQ(fast.texturePolygons, plain.texturePolygons);
    EXPECT_EQ(fast.polygroupNames, plain.polygroupNames);
    EXPECT_EQ(fast.groups, plain.groups);
    return fast;
}

const QByteArray kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

}  // namespace

TEST(ObjLineParsers, Keyword)
{
    const struct {
        QString line;
        QString keyword;
    } cases[] = {
        {"v 123", "v"},
        {" v 123", ""},
        {"# 123", ""},
        {"vt", ""},
        {" ", ""},
        {"", ""},
        {"vt ", "vt"},
        {"v1 2 3", ""},
        {"usemtl a", "usemtl"},
        {"f\t1 2 3", "f"},
        {"V 1", "V"},
        {QString::fromUtf8("v\u00e9 1"), QString::fromUtf8("v\u00e9")},
        {QString::fromUtf8("g\u00a0name"), "g"},
        {"v\r", "v"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findKeyword(c.line), c.keyword) << c.line.toStdString();
}

TEST(ObjLineParsers, Vectors)
{
    const struct {
        QString text;
        bool ok3;
        QVector3D vector3;
        bool ok2;
        QVector2D vector2;
    } cases[] = {
        {"1.2 2.3 3.4", true, {1.2f, 2.3f, 3.4f}, true, {1.2f, 2.3f}},
        {" 1.2 2.3  3.4 ", true, {1.2f, 2.3f, 3.4f}, true, {1.2f, 2.3f}},
        {"1.2 2.3 3.4 4.5", false, {}, true, {1.2f, 2.3f}},
        {"", false, {}, false, {}},
        {"1", false, {}, false, {}},
        {"1 2", false, {}, true, {1, 2}},
        {"1 2 x", false, {}, true, {1, 2}},
        {"1\t2\t3", false, {}, false, {}},
        {"1 2 3\t", true, {1, 2, 3}, true, {1, 2}},
        {"+1.5e+2 -.5 5.", true, {150, -0.5f, 5}, true, {150, -0.5f}},
        {"1,5 2 3", false, {}, false, {}},
        // Not finite as a float: refused.
        {"nan 0 0", false, {}, false, {}},
        {"0 inf 0", false, {}, false, {}},
        {"1e39 0 0", false, {}, false, {}},
        {"0 0 -1e300", false, {}, true, {0, 0}},
        {"1e-400 0 0", false, {}, false, {}},
        {"3.4028235e38 1e-50 -0", true, {3.4028235e38f, 0, -0.0f}, true, {3.4028235e38f, 0}},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok3;
        EXPECT_EQ(parseVector3D(c.text, ok), c.vector3) << c.text.toStdString();
        EXPECT_EQ(ok, c.ok3) << c.text.toStdString();
        ok = !c.ok2;
        EXPECT_EQ(parseVector2D(c.text, ok), c.vector2) << c.text.toStdString();
        EXPECT_EQ(ok, c.ok2) << c.text.toStdString();
    }

    bool ok = false;
    EXPECT_TRUE(parseNumbers("", 0, ' ', false, ok).isEmpty());
    EXPECT_TRUE(ok);
    EXPECT_EQ(parseNumbers("1;2;;3", 3, ';', false, ok), (QVector<double>{1, 2, 3}));
    EXPECT_TRUE(ok);
    EXPECT_TRUE(parseNumbers("1;2;x", 2, ';', true, ok).size() == 2 && ok);
}

TEST(ObjLineParsers, Corners)
{
    const struct {
        QString text;
        bool ok;
        FaceVertex corner;
    } cases[] = {
        {"1/2/3", true, {0, 1, 2}},
        {"1/2", true, {0, 1, -1}},
        {"1//3", true, {0, -1, 2}},
        {"1", true, {0, -1, -1}},
        {"1/", true, {0, -1, -1}},
        {"0", true, {-1, -1, -1}},
        {"-1/-2", true, {-2, -3, -1}},
        {"+7/08", true, {6, 7, -1}},
        {"2147483647", true, {2147483646, -1, -1}},
        {"1/2/3/4", false, {}},
        {"", false, {}},
        {"1/2/", false, {}},
        {"/2/3", false, {}},
        {"1//", false, {}},
        {"a", false, {}},
        {"1.0", false, {}},
        {"2147483648", false, {}},
        {"-2147483648", false, {}},
    };
    for (const auto& c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(parseFaceVertex(c.text, ok), c.corner) << c.text.toStdString();
        EXPECT_EQ(ok, c.ok) << c.text.toStdString();
    }
}

TEST(ObjLineParsers, FacesAndComponents)
{
    bool ok = false;
    const Face face = parseFace(" 1/2/3 4/5/6 7//9  ", ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(face, Face({{0, 1, 2}, {3, 4, 5}, {6, -1, 8}}));
    for (const QString text : {"1/a/3 4/5/6 7/8/9", "1/2/3 4/5/6", "1 2 3 # note", "1\t2\t3", ""}) {
        ok = true;
        EXPECT_EQ(parseFace(text, ok), Face()) << text.toStdString();
        EXPECT_FALSE(ok);
    }

    const Face two({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(two.getComponents(FaceVertex::VertexIndex), (QList<int>{1, 4}));
    EXPECT_EQ(two.getComponents(FaceVertex::TextureVertexIndex), (QList<int>{2, 5}));
    EXPECT_EQ(two.getComponents(FaceVertex::NormalVertexIndex), (QList<int>{3, 6}));
    EXPECT_EQ(getFacesComponents({two, face}, FaceVertex::TextureVertexIndex),
              (QVector<QList<int>>{{2, 5}, {1, 4, -1}}));
}

TEST(ObjLineParsersDeathTest, UnknownComponentEndsTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const FaceVertex corner(1, 2, 3);
    EXPECT_DEATH(corner.getComponent(FaceVertex::FaceComponent(3)), "FaceVertex::getComponent wrong index!");
}

TEST(ObjFaceChecks, Regularity)
{
    QVector<Face> faces{Face({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}), Face({{1, 1, 1}})};
    int nV = 0, nT = 0, nN = 0;
    EXPECT_TRUE(checkFaceRegularity(faces, nV, nT, nN));
    EXPECT_EQ(nV, 4);
    EXPECT_EQ(nT, 4);
    EXPECT_EQ(nN, 4);
    faces.append(Face({{1, -1, 1}}));
    EXPECT_FALSE(checkFaceRegularity(faces, nV, nT, nN));
    EXPECT_EQ(nV, 5);
    EXPECT_EQ(nT, 4);
    EXPECT_EQ(nN, 5);
    EXPECT_FALSE(checkFaceRegularity(faces, nV, nT));

    // Normal indices alone may differ when they are dropped.
    const QVector<Face> mixedNormals{Face({{0, -1, 0}, {1, -1, -1}, {2, -1, -1}})};
    EXPECT_TRUE(checkFaceRegularity(mixedNormals, nV, nT));
    QVector<QList<int>> polygons, texturePolygons, normalPolygons;
    EXPECT_TRUE(facesToFlatArrays(mixedNormals, polygons, texturePolygons));
    EXPECT_EQ(polygons, (QVector<QList<int>>{{0, 1, 2}}));
    EXPECT_TRUE(texturePolygons.isEmpty());
    TestSupport::LogCapture log;
    EXPECT_FALSE(facesToFlatArrays(mixedNormals, polygons, texturePolygons, normalPolygons));
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList{"Faces are irregular!"});
    EXPECT_TRUE(polygons.isEmpty());

    QString error;
    EXPECT_FALSE(checkFaceIndices(QVector<Face>{Face({{0, 0, 5}})}, 1, 1, 5, error));
    EXPECT_EQ(error, "Face 0 has wrong normal vertex index: 5");
    EXPECT_TRUE(checkFaceIndices(QVector<Face>{Face({{0, 0, 5}})}, 1, 1, error));
}

TEST(ObjReader, ErrorsNameTheLine)
{
    const struct {
        QByteArray text;
        QString error;
    } cases[] = {
        {"# a\n\nv 1 2\n", "Failed to parse block \"v\": \" 1 2\" line 2"},
        {"v 1 2 3 4\n", "Failed to parse block \"v\": \" 1 2 3 4\" line 0"},
        {"v 1 2 3 0.5 0.5 0.5\n", "Failed to parse block \"v\": \" 1 2 3 0.5 0.5 0.5\" line 0"},
        {"v 1\t2\t3\n", "Failed to parse block \"v\": \" 1\t2\t3\" line 0"},
        {"v 0 0 0\r\nvt 1\r\n", "Failed to parse block \"vt\": \" 1\" line 1"},
        {"v nan 0 0\n", "Failed to parse block \"v\": \" nan 0 0\" line 0"},
        {"v 1e39 0 0\n", "Failed to parse block \"v\": \" 1e39 0 0\" line 0"},
        {kTriangle + "f 1 2 3 # c\n", "Failed to parse block \"f\": \" 1 2 3 # c\" line 3"},
        {kTriangle + "f 1 2\n", "Failed to parse block \"f\": \" 1 2\" line 3"},
        {"v %1 %2 %3\n", "Failed to parse block \"v\": \" %1 %2 %3\" line 0"},
        {kTriangle + "f 1 2 4\n", "Face 0 has wrong vertex index: 3"},
        {kTriangle + "f 1 2 3\nf -1 -2 -3\n", "Face 1 has wrong vertex index: -2"},
        {kTriangle + "vt 0 0\nf 1/1 2/2 3/1\n", "Face 0 has wrong texture vertex index: 1"},
        // Indices are checked against the final counts: later vertices count.
        {"f 1 2 3\n" + kTriangle + "f 1 2 9\n", "Face 1 has wrong vertex index: 8"},
        {kTriangle + "vt 0 0\nf 1/1 2/1 3\n", "Faces have different field structure"},
        {kTriangle + "f 1 2 3\nf 0 2 3\n", "Faces have different field structure"},
    };
    for (const auto& c : cases) {
        TestSupport::LogCapture log;
        const Mesh mesh = read(c.text);
        EXPECT_FALSE(mesh.ok) << c.text.toStdString();
        EXPECT_EQ(mesh.error, c.error);
    }
}

TEST(ObjReader, WhatAFailedReadLeaves)
{
    // A parse failure: the failing line's placeholder is kept, polygons untouched.
    Mesh mesh = read("v 1 2 3\nvt 0.5 0.5\nf 1/1 1/1 1/1\ng a\nf 1/1 1/1 1/1\nv 1 2\nv 4 5 6\n");
    EXPECT_EQ(mesh.vertices, (QVector<QVector3D>{{1, 2, 3}, {0, 0, 0}}));
    EXPECT_EQ(mesh.textureVertices, (QVector<QVector2D>{{0.5f, 0.5f}}));
    EXPECT_EQ(mesh.polygroupNames, QVector<QString>{"a"});
    EXPECT_EQ(mesh.groups, (QVector<int>{-1, 0}));
    EXPECT_EQ(mesh.polygons, (QVector<QList<int>>{{99}}));
    EXPECT_EQ(mesh.texturePolygons, (QVector<QList<int>>{{98}}));

    // A failed face gets no group entry.
    mesh = read(kTriangle + "f 1 2 3\nf 1 2 x\n");
    EXPECT_EQ(mesh.groups, (QVector<int>{-1}));

    // An index failure leaves polygons as passed; an irregular one empties them.
    mesh = read(kTriangle + "f 1 2 5\n");
    EXPECT_EQ(mesh.polygons, (QVector<QList<int>>{{99}}));
    TestSupport::LogCapture log;
    mesh = read(kTriangle + "f 1/1 2 3\nvt 0 0\n");
    EXPECT_TRUE(mesh.polygons.isEmpty());
    EXPECT_TRUE(mesh.texturePolygons.isEmpty());
    EXPECT_EQ(log.texts(QtDebugMsg), (QStringList{"Faces are irregular!", "Faces are irregular!"}));
}

TEST(ObjReader, GroupsAndSkippedLines)
{
    Mesh mesh = read(kTriangle +
                     "# comment\nvn 0 0 1\n v 9 9 9\nV 9 9 9\ns 1\no thing\nusemtl red\nvt\n"
                     "f 1 2 3\ng a\nf 1 2 3\ng  b \t\nf 1 2 3\ng a\nf 1//1 2//1 3//1\n");
    ASSERT_TRUE(mesh.ok) << mesh.error.toStdString();
    EXPECT_EQ(mesh.error, "");
    EXPECT_EQ(mesh.vertices.size(), 3);
    EXPECT_EQ(mesh.polygroupNames, (QVector<QString>{"a", "b"}));
    EXPECT_EQ(mesh.groups, (QVector<int>{-1, 0, 1, 0}));
    EXPECT_EQ(mesh.polygons, QVector<QList<int>>(4, QList<int>{0, 1, 2}));
    EXPECT_TRUE(mesh.texturePolygons.isEmpty());

    // Whitespace-only names: nothing before any group, a group of its own after one.
    mesh = read(kTriangle + "g \nf 1 2 3\ng x y \nf 1 2 3\ng \t \nf 1 2 3\ng\nf 1 2 3\n");
    EXPECT_EQ(mesh.polygroupNames, (QVector<QString>{"x y", ""}));
    EXPECT_EQ(mesh.groups, (QVector<int>{-1, 0, 1, 1}));

    // No faces at all succeeds; texture-only corners give only texture polygons.
    mesh = read("v 1 2 3\n");
    EXPECT_TRUE(mesh.ok);
    EXPECT_TRUE(mesh.polygons.isEmpty());
    mesh = read("vt 0 0\nvt 1 0\nvt 0 1 0.5\nf 0/1 0/2 0/3\n");
    EXPECT_TRUE(mesh.ok);
    EXPECT_TRUE(mesh.polygons.isEmpty());
    EXPECT_EQ(mesh.texturePolygons, (QVector<QList<int>>{{0, 1, 2}}));
}

TEST(ObjReader, LineEndsAndTextOutsideAscii)
{
    // CR LF, a last line without an end, and a final lone CR all read like LF.
    for (const QByteArray& text :
         {QByteArray("v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n"), QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3"),
          QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\r")}) {
        const Mesh mesh = read(text);
        EXPECT_TRUE(mesh.ok) << mesh.error.toStdString();
        EXPECT_EQ(mesh.polygons, (QVector<QList<int>>{{0, 1, 2}}));
    }
    // A lone CR inside a line is part of it.
    EXPECT_EQ(read("v 0 0 0\rv 1 0 0\n").error, "Failed to parse block \"v\": \" 0 0 0\rv 1 0 0\" line 0");

    // UTF-8 group names and a byte order mark go through the text stream.
    const Mesh named = read("\xef\xbb\xbf" + kTriangle + "g caf\xc3\xa9 \xe2\x80\x83\nf 1 2 3\n");
    ASSERT_TRUE(named.ok) << named.error.toStdString();
    EXPECT_EQ(named.vertices.size(), 3);
    EXPECT_EQ(named.polygroupNames, QVector<QString>{QString::fromUtf8("caf\u00e9")});
    // A NUL byte is no digit.
    EXPECT_FALSE(read(kTriangle + QByteArray("f 1 2 3\0\n", 9)).ok);
    EXPECT_FALSE(read(kTriangle + QByteArray("f 1 2 3\0\n", 9)).error.isEmpty());
}

TEST(ObjReader, FilesAndTheVariantWithNormals)
{
    TestSupport::TempDir dir;
    QVector<QVector3D> vertices, normals;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons, texturePolygons, normalPolygons;
    QVector<QString> names;
    QVector<int> groups;
    QString error;

    const QString missing = dir.filePath("missing.obj");
    TestSupport::LogCapture log;
    EXPECT_FALSE(loadObjFile(missing, vertices, textureVertices, polygons, texturePolygons, names, groups, error));
    EXPECT_EQ(error, "Can not load file: " + missing);
    EXPECT_FALSE(
        loadObjFile(missing, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons, error));
    EXPECT_EQ(error, "Can not load file: " + missing);
    EXPECT_TRUE(log.texts().isEmpty());

    const QString path = dir.write("normals.obj", kTriangle + "vn 0 0 1\nvt 0 0\ng skipped\nf 1/1/1 2/1/1 3/1/1\n");
    ASSERT_TRUE(
        loadObjFile(path, vertices, textureVertices, normals, polygons, texturePolygons, normalPolygons, error));
    EXPECT_EQ(normals, QVector<QVector3D>{QVector3D(0, 0, 1)});
    EXPECT_EQ(polygons, (QVector<QList<int>>{{0, 1, 2}}));
    EXPECT_EQ(texturePolygons, (QVector<QList<int>>{{0, 0, 0}}));
    EXPECT_EQ(normalPolygons, (QVector<QList<int>>{{0, 0, 0}}));

    const struct {
        QByteArray text;
        QString error;
    } failures[] = {
        {kTriangle + "vn 0 0\n", "Failed to parse block \"vn\": \" 0 0\" line 3"},
        {kTriangle + "vn 0 0 1\nf 1//1 2//2 3//1\n", "Face 0 has wrong normal vertex index: 1"},
        {kTriangle + "vn 0 0 1\nf 1//1 2 3//1\n", "Faces have different field structure"},
    };
    for (const auto& c : failures) {
        QTextStream stream(c.text);
        EXPECT_FALSE(readFromObjFormat(stream, vertices, textureVertices, normals, polygons, texturePolygons,
                                       normalPolygons, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(ObjReader, NumberConversionsMatchTheTextConversions)
{
    const char* doubles[] = {
        "0",
        "-0",
        "+0",
        "00",
        "0.",
        ".0",
        ".",
        "+.5",
        "-.5e1",
        "5.",
        "5.e3",
        "1e",
        "1e+",
        "e5",
        ".e5",
        "1E5",
        "1e-5",
        "+-1",
        "--1",
        "1..2",
        "1e5.5",
        "0x10",
        "1_0",
        "1,5",
        "inf",
        "-inf",
        "+inf",
        "INF",
        "nan",
        "NaN",
        "-nan",
        "infinity",
        "1e309",
        "-1e309",
        "1e-320",
        "4.9e-324",
        "2e-324",
        "1e-400",
        "0e-999999",
        "0.0e99999",
        "000000000000000000000000001",
        "1e0000000000000000000000003",
        "123456789012345678901234567890",
        "0.1000000000000000055511151231257827021181583404541015625",
        "3.4028235e38",
        "3.40282357e38",
        "1.17549435e-38",
        "1.4e-45",
        "7.006492321624085e-46",
        "\t1",
        "1\t",
        "\v1\f",
        "1\r",
        "1 ",
        "1\t2",
        "+",
        "-",
        "",
        "1d",
        "1f",
        "1.5E+0010",
        "-2.2250738585072011e-308",
        "2.2250738585072014e-308",
    };
    for (const char* text : doubles) {
        double fast = 0;
        const bool fastOk = Detail::toDouble(text, text + std::strlen(text), fast);
        bool ok = false;
        const double expected = QString::fromLatin1(text).toDouble(&ok);
        EXPECT_EQ(fastOk, ok) << text;
        if (ok) {
            EXPECT_EQ(0, std::memcmp(&fast, &expected, sizeof fast)) << text;
        }
    }
    const char* ints[] = {"0",           "-0",  "+5",  "007", "2147483647", "2147483648", "-2147483648", "-2147483649",
                          "99999999999", "1e3", "1.0", " 1",  "1\t",        "+",          "-",           "",
                          "0x1",         "1 2", "+-1"};
    for (const char* text : ints) {
        int fast = 0;
        const bool fastOk = Detail::toInt(text, text + std::strlen(text), fast);
        bool ok = false;
        const int expected = QString::fromLatin1(text).toInt(&ok, 10);
        EXPECT_EQ(fastOk, ok) << text;
        if (ok) {
            EXPECT_EQ(fast, expected) << text;
        }
    }

    // Random texts over the characters of numbers.
    std::mt19937 random(11);
    const char alphabet[] = "0123456789000+-..eE \t1x";
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        const int length = 1 + int(random() % 12);
        for (int k = 0; k < length; ++k)
            text += alphabet[random() % (sizeof alphabet - 1)];
        double fast = 0;
        const bool fastOk = Detail::toDouble(text.data(), text.data() + text.size(), fast);
        bool ok = false;
        const double expected = QString::fromStdString(text).toDouble(&ok);
        ASSERT_EQ(fastOk, ok) << text;
        if (ok) {
            ASSERT_EQ(0, std::memcmp(&fast, &expected, sizeof fast)) << text;
        }
        int fastInt = 0;
        const bool fastIntOk = Detail::toInt(text.data(), text.data() + text.size(), fastInt);
        const int expectedInt = QString::fromStdString(text).toInt(&ok, 10);
        ASSERT_EQ(fastIntOk, ok) << text;
        if (ok) {
            ASSERT_EQ(fastInt, expectedInt) << text;
        }
    }
}

TEST(ObjReader, GeneratedMeshReadsAlikeThroughBothReaders)
{
    // Every float written in several notations, random polygon sizes, groups
    // that come back, mixed line ends.
    std::mt19937 random(5);
    std::uniform_int_distribution<unsigned> bits;
    QByteArray text;
    const char* formats[] = {"%.9g", "%.3e", "%.17g", "%f", "%a"};
    auto number = [&](int variant) {
        float value;
        const unsigned pattern = bits(random);
        std::memcpy(&value, &pattern, sizeof value);
        if (!std::isfinite(value) || variant % 3 == 0)
            value = float(int(random() % 20001) - 10000) / 256.0f;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, formats[variant % 4], double(value));
        return QByteArray(buffer);
    };
    for (int i = 0; i < 3000; ++i) {
        text += "v " + number(i) + " " + number(i + 1) + "  " + number(i + 2) + (i % 7 ? "\n" : "\r\n");
        text += "vt " + number(i) + " " + number(i + 3) + (i % 5 ? "\n" : " 0\n");
    }
    const char* groups[] = {"head", "arm left", "head", "", "leg"};
    for (int f = 0; f < 2000; ++f) {
        if (f % 300 == 0)
            text += QByteArray("g ") + groups[(f / 300) % 5] + "\n";
        text += "f";
        const int n = 3 + int(random() % 4);
        for (int k = 0; k < n; ++k)
            text +=
                " " + QByteArray::number(1 + int(random() % 3000)) + "/" + QByteArray::number(1 + int(random() % 3000));
        text += f % 11 ? "\n" : " \r\n";
    }
    const Mesh mesh = read(text);
    ASSERT_TRUE(mesh.ok) << mesh.error.toStdString();
    EXPECT_EQ(mesh.vertices.size(), 3000);
    EXPECT_EQ(mesh.polygons.size(), 2000);
    EXPECT_EQ(mesh.polygroupNames, (QVector<QString>{"head", "arm left", "", "leg"}));
}

TEST(ObjReader, PartsReadSideBySideGiveTheResultsOfOnePass)
{
    // Failures in a later part than an earlier one's content, groups carried
    // across parts (an empty name before any group stays ungrouped), partial
    // results of a failed read, index errors counted over all parts, and a
    // last line without a line break.
    QByteArray large;
    for (int i = 0; i < 200; ++i)
        large += "v " + QByteArray::number(i) + " " + QByteArray::number(i % 7) + " 0.5\r\nvt 0.25 " +
                 QByteArray::number(i) + "\n";
    for (int f = 0; f < 300; ++f) {
        if (f % 40 == 0)
            large += QByteArray("g ") + (f % 80 ? "left" : "right") + "\n";
        large += "f " + QByteArray::number(1 + f % 198) + "/1 " + QByteArray::number(2 + f % 198) + "/2 " +
                 QByteArray::number(3 + f % 198) + "/3\n";
    }
    const QByteArray texts[] = {
        large,
        large + "f 1/1 2/2 999/3\n",
        large + "v 1 2\n" + large,
        large + "vt 0 0\nf 1/1 2/1 3\n",
        "g \n" + kTriangle + "f 1 2 3\ng x\nf 1 2 3\ng \t\nf 1 2 3\ng x\nf 3 2 1",
        "v 1 2 3\nvt 0.5 0.5\nf 1/1 1/1 1/1\ng a\nf 1/1 1/1 1/1\nv 1 2\nv 4 5 6\nf 1 2\n",
        kTriangle + "f 1 2 3\nf 1 2 x\n" + kTriangle,
        "f 1 2 3\n" + kTriangle + "f 1 2 9\n",
        kTriangle + "f 1 2 3\nf 0 2 3\n",
        "",
        "\n\n\r\n",
    };
    for (const QByteArray& text : texts) {
        TestSupport::LogCapture log;  // irregular faces are logged by every read
        const Mesh whole = readInParts(text, text.size() + 1);
        // Both readers agree on the whole text.
        const Mesh checked = read(text);
        EXPECT_EQ(whole.error, checked.error);
        for (const qint64 partBytes : {1, 2, 5, 17, 64, 1000}) {
            SCOPED_TRACE(partBytes);
            const Mesh parts = readInParts(text, partBytes);
            EXPECT_EQ(parts.ok, whole.ok) << text.left(40).toStdString();
            EXPECT_EQ(parts.error, whole.error);
            ASSERT_EQ(parts.vertices.size(), whole.vertices.size());
            EXPECT_EQ(0, std::memcmp(parts.vertices.constData(), whole.vertices.constData(),
                                     sizeof(QVector3D) * size_t(whole.vertices.size())));
            EXPECT_EQ(parts.textureVertices, whole.textureVertices);
            EXPECT_EQ(parts.polygons, whole.polygons);
            EXPECT_EQ(parts.texturePolygons, whole.texturePolygons);
            EXPECT_EQ(parts.polygroupNames, whole.polygroupNames);
            EXPECT_EQ(parts.groups, whole.groups);
        }
    }
    // The large text holds what it was written with.
    const Mesh mesh = readInParts(large, 64);
    ASSERT_TRUE(mesh.ok) << mesh.error.toStdString();
    EXPECT_EQ(mesh.vertices.size(), 200);
    EXPECT_EQ(mesh.polygons.size(), 300);
    EXPECT_EQ(mesh.polygons[299], (QList<int>{299 % 198, 1 + 299 % 198, 2 + 299 % 198}));
    EXPECT_EQ(mesh.polygroupNames, (QVector<QString>{"right", "left"}));
    EXPECT_EQ(mesh.groups[0], 0);
    EXPECT_EQ(mesh.groups[45], 1);
    EXPECT_EQ(mesh.groups[299], 1);
}
