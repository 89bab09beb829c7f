// Sample scenes made at build time: files, groups, charts, holes, landmarks held by the dialog, determinism.
#include "SampleObj.h"
#include "Tarnwick/demopainting.h"
#include "Tarnwick/demoscenes.h"
#include "mesh/ObjFileImport.h"
#include "tests/support/TempFiles.h"
#include "tests/support/TestMeshes.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QSet>
#include <QTextStream>
#include <cmath>

namespace {

const QString modelsDir = PLYFORM_DEMO_MODELS_DIR;

using Obj = TestSupport::SampleObj;

Obj load(const QString& fileName)
{
    Obj obj;
    EXPECT_TRUE(TestSupport::loadSampleObj(modelsDir + "/" + fileName, obj));
    return obj;
}

// Edges used by one polygon only.
int boundaryEdges(const Obj& obj)
{
    QMap<QPair<int, int>, int> uses;
    for (const QList<int>& p : obj.polygons)
        for (int k = 0; k < p.size(); ++k)
            ++uses[qMakePair(qMin(p[k], p[(k + 1) % p.size()]), qMax(p[k], p[(k + 1) % p.size()]))];
    int count = 0;
    for (int n : uses)
        count += n == 1;
    return count;
}

QString fileOf(const QString& path)
{
    return path.mid(QString("/DemoModels/").size());
}

}  // namespace

TEST(SampleScenes, TemplatesAndScansParseWithGroupsChartsAndBoundaries)
{
    for (const DemoScenes::Scene& scene : DemoScenes::scenes()) {
        SCOPED_TRACE(qPrintable(scene.name));
        const Obj templ = load(fileOf(scene.templateFile));
        const Obj scan = load(fileOf(scene.scanFile));
        EXPECT_GE(templ.vertices.size(), 1500);
        EXPECT_LE(templ.vertices.size(), 6000);
        EXPECT_GT(scan.vertices.size(), 4 * templ.vertices.size());
        EXPECT_GE(templ.groups.size(), 2);
        int quads = 0;
        for (const QList<int>& p : templ.polygons)
            quads += p.size() == 4;
        EXPECT_GT(quads, templ.polygons.size() * 3 / 4) << "quad-dominant";
        for (const QList<int>& p : scan.polygons)
            ASSERT_EQ(p.size(), 3);
        // Every polygon has texture corners; the seam splits texture vertices.
        for (const Obj* obj : {&templ, &scan}) {
            ASSERT_EQ(obj->texturePolygons.size(), obj->polygons.size());
            EXPECT_GT(obj->textureVertices.size(), obj->vertices.size());
            for (const QVector2D& t : obj->textureVertices) {
                ASSERT_GE(t.x(), 0.0f);
                ASSERT_LE(t.x(), 1.0f);
            }
        }
        // Open ends on the template; the scan's holes add to its boundary.
        EXPECT_GT(boundaryEdges(templ), 0);
        EXPECT_GT(boundaryEdges(scan), boundaryEdges(templ));
        const QImage texture(modelsDir + "/" + fileOf(scene.scanFile).replace(".obj", ".png"));
        EXPECT_EQ(texture.size(), QSize(1024, 1024));
    }
    EXPECT_NEAR(load("HeadScan.obj").vertices.size(), 120000, 6000);
}

// The template shares the scan's chart layout, so the texel under each
// template corner holds the painted colour of that corner's position.
TEST(SampleScenes, ScanTexturesHoldThePaintedFunctionOfTheRestPosition)
{
    for (const DemoScenes::Scene& scene : DemoScenes::scenes()) {
        SCOPED_TRACE(qPrintable(scene.name));
        const Obj templ = load(fileOf(scene.templateFile));
        const QImage texture(modelsDir + "/" + fileOf(scene.scanFile).replace(".obj", ".png"));
        ASSERT_FALSE(texture.isNull());
        const float size = TestMeshes::largestExtent(templ.vertices);
        int worst = 0;
        for (int p = 0; p < templ.polygons.size(); p += 5)
            for (int k = 0; k < templ.polygons[p].size(); ++k) {
                const QVector2D uv = templ.textureVertices[templ.texturePolygons[p][k]];
                const int x = qBound(0, int(uv.x() * texture.width()), texture.width() - 1);
                const int y = qBound(0, int((1.0f - uv.y()) * texture.height()), texture.height() - 1);
                const QColor seen = texture.pixelColor(x, y);
                const QColor expected(DemoScenes::paintedColour(templ.vertices[templ.polygons[p][k]], size));
                worst = qMax(worst, qMax(qAbs(seen.red() - expected.red()), qMax(qAbs(seen.green() - expected.green()),
                                                                                 qAbs(seen.blue() - expected.blue()))));
            }
        EXPECT_LE(worst, 6);
    }
}

TEST(SampleScenes, ControlPointsAreTheNearestVerticesToTheLandmarks)
{
    QFile file(modelsDir + "/Landmarks.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QList<int>> templatePoints, scanPoints;
    QMap<QString, Obj> templates, scans;
    for (const DemoScenes::Scene& scene : DemoScenes::scenes()) {
        templates[scene.name] = load(fileOf(scene.templateFile));
        scans[scene.name] = load(fileOf(scene.scanFile));
    }
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(' ', Qt::SkipEmptyParts);
        if (f.isEmpty() || f[0].startsWith('#'))
            continue;
        ASSERT_EQ(f.size(), 10);
        const QString scene = f[0];
        const int t = f[2].toInt(), s = f[3].toInt();
        const QVector3D onTemplate(f[4].toFloat(), f[5].toFloat(), f[6].toFloat());
        const QVector3D onScan(f[7].toFloat(), f[8].toFloat(), f[9].toFloat());
        for (auto check :
             {qMakePair(&templates[scene], qMakePair(t, onTemplate)), qMakePair(&scans[scene], qMakePair(s, onScan))}) {
            const QVector<QVector3D>& v = check.first->vertices;
            const int index = check.second.first;
            ASSERT_GE(index, 0);
            ASSERT_LT(index, v.size());
            const float d = (v[index] - check.second.second).length();
            for (int i = 0; i < v.size(); ++i)
                ASSERT_GE((v[i] - check.second.second).length(), d - 1e-4f) << qPrintable(f[1]);
            EXPECT_LT(d, 0.3f) << qPrintable(f[1]);
        }
        templatePoints[scene] << t;
        scanPoints[scene] << s;
    }
    EXPECT_EQ(templatePoints.keys(), QStringList({"hand", "head"}));
    for (const DemoScenes::Scene& scene : DemoScenes::scenes()) {
        EXPECT_EQ(scene.templateControlPoints, templatePoints.value(scene.name)) << qPrintable(scene.name);
        EXPECT_EQ(scene.targetControlPoints, scanPoints.value(scene.name)) << qPrintable(scene.name);
    }
}

TEST(SampleScenes, GeneratorWritesTheSameBytesAgain)
{
    TestSupport::TempDir dir;
    QProcess generator;
    generator.start(QString(PLYFORM_MAKE_SAMPLES), {dir.filePath("DemoModels")});
    ASSERT_TRUE(generator.waitForFinished(120000));
    ASSERT_EQ(generator.exitCode(), 0) << generator.readAllStandardError().constData();
    for (const char* name : {"HandTemplate.obj", "HandScan.obj", "HandScan.png", "TorsoTemplate.obj", "TorsoScan.obj",
                             "TorsoScan.png", "HeadTemplateUV.obj", "HeadScan.obj", "HeadScan.png", "Landmarks.txt"})
        EXPECT_TRUE(TestSupport::readFile(dir.filePath(QString("DemoModels/") + name)) ==
                    TestSupport::readFile(modelsDir + "/" + name))
            << name;
}
