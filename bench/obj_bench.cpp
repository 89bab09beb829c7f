// OBJ reading and writing speed on a generated mesh of about one million
// triangles (quads and triangles, texture coordinates, groups), with
// tinyobjloader parsing the same file in the same run.
//   scripts/bench obj_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <cmath>
#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include "mesh/GeomStack.h"
#include "mesh/ObjFileImport.h"

#ifdef PLYFORM_HAVE_TINYOBJLOADER
#include <tiny_obj_loader.h>
#endif

namespace {

constexpr int kGrid = 710;  // 709 x 709 cells, two triangles each: 1,005,362 triangles

// Writes the test mesh once: a wavy height field; every third row of cells
// is split into two triangles, the others are quads; a group every 64 rows.
class MeshFile {
public:
    MeshFile()
    {
        path_ = dir_.filePath("grid.obj");
        std::FILE* file = std::fopen(path_.toLocal8Bit().constData(), "w");
        for (int j = 0; j < kGrid; ++j)
            for (int i = 0; i < kGrid; ++i)
                std::fprintf(file, "v %.6f %.6f %.6f\n", i * 0.1, j * 0.1, std::sin(i * 0.05) * std::cos(j * 0.07));
        for (int j = 0; j < kGrid; ++j)
            for (int i = 0; i < kGrid; ++i)
                std::fprintf(file, "vt %.6f %.6f\n", double(i) / (kGrid - 1), double(j) / (kGrid - 1));
        std::fprintf(file, "vn 0 0 1\n");
        for (int j = 0; j + 1 < kGrid; ++j) {
            if (j % 64 == 0)
                std::fprintf(file, "g part%d\n", (j / 64) % 5);
            for (int i = 0; i + 1 < kGrid; ++i) {
                const int a = j * kGrid + i + 1, b = a + 1, c = a + kGrid + 1, d = a + kGrid;
                if (j % 3 == 0)
                    std::fprintf(file, "f %d/%d %d/%d %d/%d\nf %d/%d %d/%d %d/%d\n", a, a, b, b, c, c, a, a, c, c, d,
                                 d);
                else
                    std::fprintf(file, "f %d/%d %d/%d %d/%d %d/%d\n", a, a, b, b, c, c, d, d);
            }
        }
        std::fclose(file);
        bytes_ = QFileInfo(path_).size();
    }
    const QString& path() const { return path_; }
    qint64 bytes() const { return bytes_; }
    QString outputPath() const { return dir_.filePath("saved.obj"); }

private:
    QTemporaryDir dir_;
    QString path_;
    qint64 bytes_ = 0;
};

const MeshFile& meshFile()
{
    static const MeshFile file;
    return file;
}

struct Arrays {
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons;
    QVector<QList<int>> texturePolygons;
    QVector<QString> polygroupNames;
    QVector<int> groups;
    QString error;
};

void BM_ReadObj(benchmark::State& state)
{
    const MeshFile& file = meshFile();
    for (auto _ : state) {
        Arrays a;
        if (!ObjFileImport::loadObjFile(file.path(), a.vertices, a.textureVertices, a.polygons, a.texturePolygons,
                                        a.polygroupNames, a.groups, a.error))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(a.polygons.constData());
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}
BENCHMARK(BM_ReadObj)->Unit(benchmark::kMillisecond)->UseRealTime();

// The line-by-line text-stream reader the byte reader must agree with.
void BM_ReadObjTextStream(benchmark::State& state)
{
    const MeshFile& file = meshFile();
    for (auto _ : state) {
        Arrays a;
        QFile device(file.path());
        device.open(QIODevice::ReadOnly);
        QTextStream stream(&device);
        if (!ObjFileImport::readFromObjFormat(stream, a.vertices, a.textureVertices, a.polygons, a.texturePolygons,
                                              a.polygroupNames, a.groups, a.error))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(a.polygons.constData());
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}
BENCHMARK(BM_ReadObjTextStream)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

#ifdef PLYFORM_HAVE_TINYOBJLOADER
void BM_ReadObjTinyObjLoader(benchmark::State& state)
{
    const MeshFile& file = meshFile();
    const std::string path = file.path().toStdString();
    for (auto _ : state) {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        // Polygons as they are, like the reader above.
        if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, false))
            state.SkipWithError("tinyobjloader failed");
        benchmark::DoNotOptimize(shapes.data());
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
}
BENCHMARK(BM_ReadObjTinyObjLoader)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// What loading a model costs: read, fan triangulation, box and normals.
void BM_GeomStackFromFile(benchmark::State& state)
{
    const MeshFile& file = meshFile();
    for (auto _ : state) {
        QString error;
        GeometryStack::GeomStack mesh(file.path(), &error, true, true);
        if (!error.isEmpty() || mesh.triangles.size() != 2 * (kGrid - 1) * (kGrid - 1))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(mesh.triangles.constData());
    }
    state.SetBytesProcessed(state.iterations() * file.bytes());
    state.counters["triangles"] = 2.0 * (kGrid - 1) * (kGrid - 1);
}
BENCHMARK(BM_GeomStackFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveObj(benchmark::State& state)
{
    const MeshFile& file = meshFile();
    QString error;
    GeometryStack::GeomStack mesh(file.path(), &error, true, true);
    qint64 written = 0;
    for (auto _ : state) {
        if (!mesh.saveToObj(file.outputPath(), true, true))
            state.SkipWithError("save failed");
        state.PauseTiming();
        written = QFileInfo(file.outputPath()).size();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * written);
}
BENCHMARK(BM_SaveObj)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::fprintf(stderr, "Generating the test mesh...\n");
    std::fprintf(stderr, "%lld bytes\n", static_cast<long long>(meshFile().bytes()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
