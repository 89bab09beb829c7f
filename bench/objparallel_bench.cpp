// OBJ parsing throughput in MB/s: the keyword-indexed parser on four threads against the serial
// reader (and tinyobjloader when present), on a generated file in a temporary folder.
#include "bench/bench_support.h"
#include "mesh/ObjFileImport.h"
#include "mesh/ObjParallelParser.h"

#include <benchmark/benchmark.h>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#ifdef PLYFORM_HAVE_TINYOBJLOADER
#include <tiny_obj_loader.h>
#endif

namespace {

// A side x side grid of quads with texture coordinates and a few normals ("f v/t/n" corners).
QString generatedFile()
{
    static QTemporaryDir dir;
    static QString path;
    if (path.isEmpty()) {
        const int side = 600;
        path = dir.filePath("grid.obj");
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QTextStream out(&file);
        for (int y = 0; y <= side; ++y)
            for (int x = 0; x <= side; ++x)
                out << "v " << x * 0.01 << ' ' << y * 0.01 << ' ' << ((x * 13 + y * 7) % 11) * 0.003 << '\n';
        for (int y = 0; y <= side; ++y)
            for (int x = 0; x <= side; ++x)
                out << "vt " << double(x) / side << ' ' << double(y) / side << '\n';
        for (int i = 0; i < 8; ++i)
            out << "vn 0 " << i * 0.125 << " 1\n";
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const int a = y * (side + 1) + x + 1, b = a + 1, c = a + side + 2, d = a + side + 1, n = x % 8 + 1;
                out << "f " << a << '/' << a << '/' << n << ' ' << b << '/' << b << '/' << n << ' ' << c << '/' << c
                    << '/' << n << ' ' << d << '/' << d << '/' << n << '\n';
            }
        }
    }
    return path;
}

qint64 fileSize()
{
    return QFile(generatedFile()).size();
}

void BM_SerialReader(benchmark::State& state)
{
    const QString path = generatedFile();
    for (auto _ : state) {
        QVector<QVector3D> vertices, normals;
        QVector<QVector2D> textureVertices;
        QVector<QList<int>> polygons, texturePolygons, normalPolygons;
        QString error;
        if (!ObjFileImport::loadObjFile(path, vertices, textureVertices, normals, polygons, texturePolygons,
                                        normalPolygons, error))
            state.SkipWithError(error.toUtf8().constData());
        benchmark::DoNotOptimize(polygons.size());
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
}

// The reader the mesh record uses (groups instead of normals).
void BM_SerialReaderWithGroups(benchmark::State& state)
{
    const QString path = generatedFile();
    for (auto _ : state) {
        QVector<QVector3D> vertices;
        QVector<QVector2D> textureVertices;
        QVector<QList<int>> polygons, texturePolygons;
        QVector<QString> groupNames;
        QVector<int> groups;
        QString error;
        if (!ObjFileImport::loadObjFile(path, vertices, textureVertices, polygons, texturePolygons, groupNames, groups,
                                        error))
            state.SkipWithError(error.toUtf8().constData());
        benchmark::DoNotOptimize(polygons.size());
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
}

void BM_ParallelParser(benchmark::State& state)
{
    const QString path = generatedFile();
    for (auto _ : state) {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QTextStream stream(&file);
        const QStringList lines = ObjFileImport::readLines(stream);
        const QList<ObjFileImport::KeywordLine> keywordLines = ObjFileImport::findKeywords(lines);
        QList<QVector3D> vertices, normals;
        QList<QVector2D> textureVertices;
        QList<ObjFileImport::Face> faces;
        bool ok = false;
        QString error;
        ObjFileImport::ParserSync().parse(lines, keywordLines, vertices, textureVertices, normals, faces, ok, error);
        if (!ok ||
            !ObjFileImport::checkFaceIndices(faces, vertices.size(), textureVertices.size(), normals.size(), error))
            state.SkipWithError(error.toUtf8().constData());
        benchmark::DoNotOptimize(faces.size());
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
}

// Only the four-thread stage, on lines already read and indexed.
void BM_ParallelStageOnly(benchmark::State& state)
{
    QFile file(generatedFile());
    file.open(QIODevice::ReadOnly);
    QTextStream stream(&file);
    const QStringList lines = ObjFileImport::readLines(stream);
    const QList<ObjFileImport::KeywordLine> keywordLines = ObjFileImport::findKeywords(lines);
    for (auto _ : state) {
        QList<QVector3D> vertices, normals;
        QList<QVector2D> textureVertices;
        QList<ObjFileImport::Face> faces;
        bool ok = false;
        QString error;
        ObjFileImport::ParserSync().parse(lines, keywordLines, vertices, textureVertices, normals, faces, ok, error);
        benchmark::DoNotOptimize(faces.size());
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
}

#ifdef PLYFORM_HAVE_TINYOBJLOADER
void BM_TinyObjLoader(benchmark::State& state)
{
    const std::string path = generatedFile().toStdString();
    for (auto _ : state) {
        tinyobj::ObjReader reader;
        tinyobj::ObjReaderConfig config;
        config.triangulate = false;
        if (!reader.ParseFromFile(path, config))
            state.SkipWithError(reader.Error().c_str());
        benchmark::DoNotOptimize(reader.GetShapes().size());
    }
    state.SetBytesProcessed(state.iterations() * fileSize());
}
#endif

}  // namespace

BENCHMARK(BM_SerialReader)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SerialReaderWithGroups)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParallelParser)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParallelStageOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
#ifdef PLYFORM_HAVE_TINYOBJLOADER
BENCHMARK(BM_TinyObjLoader)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

int main(int argc, char** argv)
{
    // The parser's progress lines would drown the figures.
    QLoggingCategory::setFilterRules("*.debug=false");
    return BenchSupport::runWithCoreApplication(argc, argv);
}
