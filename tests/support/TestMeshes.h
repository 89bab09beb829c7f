#pragma once
// The catalog of test meshes that tests and benchmarks share: grids of any shape and cut,
// latitude-longitude and subdivided-icosahedron spheres (two unrelated triangulations of one
// surface), a capped tube open at one end, a bumpy torus like a scan, seeded jittered grids cut
// along random diagonals, a bumpy height-field sheet, and soups of free triangles.
#include <QHash>
#include <QList>
#include <QPair>
#include <QVector3D>
#include <QVector>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <random>

namespace TestMeshes {

struct Mesh {
    QVector<QVector3D> vertices;
    QVector<QList<int>> triangles;

    // Appends a free triangle of three new vertices; returns its index.
    int addTriangle(const QVector3D& a, const QVector3D& b, const QVector3D& c)
    {
        const int first = vertices.size();
        vertices << a << b << c;
        triangles.append({first, first + 1, first + 2});
        return triangles.size() - 1;
    }
};

// Polygons of any size (quads as a file holds them), for meshes written to OBJ files.
struct PolygonMesh {
    QVector<QVector3D> vertices;
    QVector<QList<int>> polygons;
};

// How a grid cell with corners a (x, y), b (x + 1, y), c (x + 1, y + 1), d (x, y + 1) becomes
// faces: the quad abcd, triangles abc and acd, or triangles abd and bcd.
enum class Cut { Quad, AlongAC, AlongBD };

// columns x rows points, row by row from y = 0 (x fastest), each placed by point(x, y) in that order.
inline QVector<QVector3D> gridPoints(int columns, int rows, const std::function<QVector3D(int x, int y)>& point)
{
    QVector<QVector3D> points;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x)
            points.append(point(x, y));
    return points;
}

// The faces of the cells between columns x rows grid points numbered from `first`, cell by cell
// in row order, each cut as cut(x, y) says (asked in that order).
inline QVector<QList<int>> gridFaces(int columns, int rows, const std::function<Cut(int x, int y)>& cut, int first = 0)
{
    QVector<QList<int>> faces;
    for (int y = 0; y + 1 < rows; ++y)
        for (int x = 0; x + 1 < columns; ++x) {
            const int a = first + y * columns + x, b = a + 1, c = a + columns + 1, d = a + columns;
            switch (cut(x, y)) {
                case Cut::Quad:
                    faces.append({a, b, c, d});
                    break;
                case Cut::AlongAC:
                    faces.append({a, b, c});
                    faces.append({a, c, d});
                    break;
                case Cut::AlongBD:
                    faces.append({a, b, d});
                    faces.append({b, c, d});
                    break;
            }
        }
    return faces;
}

// Every cell cut the same way.
inline QVector<QList<int>> gridFaces(int columns, int rows, Cut cut, int first = 0)
{
    const auto same = [cut](int, int) { return cut; };
    return gridFaces(columns, rows, same, first);
}

// Unit sphere: rings of latitude between the two poles, segments around each ring.
inline Mesh latLongSphere(int rings, int segments)
{
    Mesh mesh;
    const double pi = 3.14159265358979323846;
    mesh.vertices << QVector3D(0, 0, 1);
    for (int r = 1; r < rings; ++r) {
        const double theta = pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2 * pi * s / segments;
            mesh.vertices << QVector3D(float(std::sin(theta) * std::cos(phi)), float(std::sin(theta) * std::sin(phi)),
                                       float(std::cos(theta)));
        }
    }
    mesh.vertices << QVector3D(0, 0, -1);
    const int south = mesh.vertices.size() - 1;
    auto ring = [&](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
    for (int s = 0; s < segments; ++s)
        mesh.triangles << QList<int>{0, ring(1, s), ring(1, s + 1)};
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            mesh.triangles << QList<int>{ring(r, s), ring(r + 1, s), ring(r + 1, s + 1)};
            mesh.triangles << QList<int>{ring(r, s), ring(r + 1, s + 1), ring(r, s + 1)};
        }
    for (int s = 0; s < segments; ++s)
        mesh.triangles << QList<int>{south, ring(rings - 1, s + 1), ring(rings - 1, s)};
    return mesh;
}

// Which arithmetic places a subdivided sphere's points: float throughout, or double with one
// rounding to float at the end (a different mesh in the last bits).
enum class Arithmetic { Float, Double };

// Unit sphere from an icosahedron whose triangles are split in four `levels` times, new points
// pushed out onto the sphere.
inline Mesh icosphere(int levels, Arithmetic arithmetic = Arithmetic::Float)
{
    using Point = std::array<double, 3>;
    auto unit = [](const Point& p) {
        const double length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        return Point{p[0] / length, p[1] / length, p[2] / length};
    };
    const bool inDouble = arithmetic == Arithmetic::Double;
    QVector<Point> exact;  // the points while they are kept in double
    Mesh mesh;
    const double t = (1.0 + std::sqrt(5.0)) / 2.0;
    const Point corners[12] = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
                               {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
    for (const Point& c : corners) {
        if (inDouble)
            exact << unit(c);
        else
            mesh.vertices << QVector3D(float(c[0]), float(c[1]), float(c[2])).normalized();
    }
    const int faces[20][3] = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                              {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                              {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (const auto& f : faces)
        mesh.triangles << QList<int>{f[0], f[1], f[2]};
    for (int level = 0; level < levels; ++level) {
        QHash<QPair<int, int>, int> middles;
        auto middle = [&](int a, int b) {
            const QPair<int, int> key(std::min(a, b), std::max(a, b));
            auto it = middles.find(key);
            if (it != middles.end())
                return it.value();
            int index;
            if (inDouble) {
                exact << unit({(exact[a][0] + exact[b][0]) / 2, (exact[a][1] + exact[b][1]) / 2,
                               (exact[a][2] + exact[b][2]) / 2});
                index = exact.size() - 1;
            } else {
                mesh.vertices << ((mesh.vertices[a] + mesh.vertices[b]) * 0.5f).normalized();
                index = mesh.vertices.size() - 1;
            }
            middles.insert(key, index);
            return index;
        };
        QVector<QList<int>> finer;
        for (const QList<int>& f : mesh.triangles) {
            const int ab = middle(f[0], f[1]), bc = middle(f[1], f[2]), ca = middle(f[2], f[0]);
            finer << QList<int>{f[0], ab, ca} << QList<int>{f[1], bc, ab} << QList<int>{f[2], ca, bc}
                  << QList<int>{ab, bc, ca};
        }
        mesh.triangles = finer;
    }
    for (const Point& p : exact)
        mesh.vertices << QVector3D(float(p[0]), float(p[1]), float(p[2]));
    return mesh;
}

// A tube of radius 1 along y from y = 0 to y = length, closed at y = length by a hemisphere
// and open at y = 0 (a boundary loop of `segments` vertices).
inline Mesh cappedTube(int segments, int tubeRings, int capRings, double length)
{
    Mesh mesh;
    const double pi = 3.14159265358979323846;
    QVector<int> ringStart;
    auto addRing = [&](double y, double radius) {
        ringStart << mesh.vertices.size();
        for (int s = 0; s < segments; ++s) {
            const double phi = 2 * pi * s / segments;
            mesh.vertices << QVector3D(float(radius * std::cos(phi)), float(y), float(radius * std::sin(phi)));
        }
    };
    for (int r = 0; r <= tubeRings; ++r)
        addRing(length * r / tubeRings, 1.0);
    for (int r = 1; r < capRings; ++r) {
        const double angle = 0.5 * pi * r / capRings;
        addRing(length + std::sin(angle), std::cos(angle));
    }
    mesh.vertices << QVector3D(0, float(length + 1.0), 0);
    const int apex = mesh.vertices.size() - 1;
    for (int r = 0; r + 1 < ringStart.size(); ++r)
        for (int s = 0; s < segments; ++s) {
            const int a = ringStart[r] + s, b = ringStart[r] + (s + 1) % segments;
            const int c = ringStart[r + 1] + s, d = ringStart[r + 1] + (s + 1) % segments;
            mesh.triangles << QList<int>{a, c, d} << QList<int>{a, d, b};
        }
    const int last = ringStart.last();
    for (int s = 0; s < segments; ++s)
        mesh.triangles << QList<int>{last + s, apex, last + (s + 1) % segments};
    return mesh;
}

// A closed, bumpy torus (major radius 35, minor 15) of about `triangles` triangles of nearly
// even size, like a scan's, from a grid of quads.
inline Mesh bumpyTorus(int triangles)
{
    const int rings = int(std::sqrt(triangles / 4.0));  // around the tube
    const int segments = 2 * rings;                     // along the tube
    Mesh mesh;
    mesh.vertices.reserve(rings * segments);
    for (int s = 0; s < segments; ++s) {
        const double phi = 2 * M_PI * s / segments;
        for (int r = 0; r < rings; ++r) {
            const double theta = 2 * M_PI * r / rings;
            const double minor =
                15.0 * (1.0 + 0.08 * std::sin(7 * phi) * std::sin(5 * theta) + 0.02 * std::sin(53 * phi + 31 * theta));
            const double ring = 35.0 + minor * std::cos(theta);
            mesh.vertices.append(
                QVector3D(float(ring * std::cos(phi)), float(ring * std::sin(phi)), float(minor * std::sin(theta))));
        }
    }
    mesh.triangles.reserve(2 * rings * segments);
    for (int s = 0; s < segments; ++s) {
        for (int r = 0; r < rings; ++r) {
            const int a = s * rings + r, b = s * rings + (r + 1) % rings;
            const int c = ((s + 1) % segments) * rings + r, d = ((s + 1) % segments) * rings + (r + 1) % rings;
            mesh.triangles.append({a, b, d});
            mesh.triangles.append({a, d, c});
        }
    }
    return mesh;
}

// side x side grid points, row by row, each placed by point(x, y, random) (which draws its
// jitter from the generator), then every cell cut along a diagonal drawn from the same
// generator: the same seed and point give the same mesh.
inline Mesh jitteredGrid(int side, unsigned seed,
                         const std::function<QVector3D(int x, int y, std::mt19937& random)>& point)
{
    std::mt19937 random(seed);
    Mesh mesh;
    mesh.vertices = gridPoints(side, side, [&](int x, int y) { return point(x, y, random); });
    mesh.triangles = gridFaces(side, side, [&](int, int) { return random() % 2 ? Cut::AlongAC : Cut::AlongBD; });
    return mesh;
}

inline double sheetHeight(double x, double y)
{
    return 0.3 * std::sin(2.0 * x) * std::cos(1.5 * y) + 0.15 * x * y;
}

// A bumpy height field without symmetry (picked pairs fix a transform): n x n vertices over
// [0, 2] x [0, 1.5]; quads, or two triangles per cell cut along bd.
inline PolygonMesh bumpySheet(int n, bool triangles = false)
{
    PolygonMesh m;
    m.vertices = gridPoints(n, n, [n](int i, int j) {
        const double x = 2.0 * i / (n - 1), y = 1.5 * j / (n - 1);
        return QVector3D(float(x), float(y), float(sheetHeight(x, y)));
    });
    m.polygons = gridFaces(n, n, triangles ? Cut::AlongBD : Cut::Quad);
    return m;
}

// `count` free triangles of side up to about 3 over a gridSize square, z in -3 to 3, drawn from
// the caller's generator.
inline void addTriangleSoup(Mesh& mesh, int count, int gridSize, std::mt19937& rng,
                            std::uniform_real_distribution<float>& unit)
{
    for (int i = 0; i < count; ++i) {
        const QVector3D base(unit(rng) * gridSize, unit(rng) * gridSize, unit(rng) * 6.0f - 3.0f);
        mesh.addTriangle(base, base + QVector3D(unit(rng), unit(rng), unit(rng)) * 3.0f,
                         base + QVector3D(unit(rng), -unit(rng), unit(rng)) * 3.0f);
    }
}

inline Mesh mapped(Mesh mesh, const std::function<QVector3D(const QVector3D&)>& f)
{
    for (QVector3D& v : mesh.vertices)
        v = f(v);
    return mesh;
}

// Area-weighted vertex normals.
inline QVector<QVector3D> vertexNormals(const Mesh& mesh)
{
    QVector<QVector3D> normals(mesh.vertices.size(), QVector3D(0, 0, 0));
    for (const QList<int>& t : mesh.triangles) {
        const QVector3D n = QVector3D::crossProduct(mesh.vertices[t[1]] - mesh.vertices[t[0]],
                                                    mesh.vertices[t[2]] - mesh.vertices[t[0]]);
        for (int c : t)
            normals[c] += n;
    }
    for (QVector3D& n : normals)
        n.normalize();
    return normals;
}

inline float largestExtent(const QVector<QVector3D>& points)
{
    QVector3D lo = points.first(), hi = points.first();
    for (const QVector3D& p : points) {
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], p[i]);
            hi[i] = std::max(hi[i], p[i]);
        }
    }
    const QVector3D size = hi - lo;
    return std::max(size.x(), std::max(size.y(), size.z()));
}

// A template and a target for a registration run, scaled as the registration controller scales
// them (the template's largest extent becomes 1), with area-weighted normals and control pairs:
// template vertices and where the deformation takes them.
struct RegistrationPair {
    Mesh source, target;
    QVector<QVector3D> sourceNormals, targetNormals;
    QVector<int> srcControls;
    QVector<QVector3D> dstControls;
};

// The target is targetMesh moved by the deformation; pickControls chooses the control vertices
// on the scaled template.
inline RegistrationPair registrationPair(const Mesh& templateMesh, const Mesh& targetMesh,
                                         const std::function<QVector3D(const QVector3D&)>& deformation,
                                         const std::function<QVector<int>(const Mesh& source)>& pickControls)
{
    RegistrationPair pair;
    const float factor = 1.0f / largestExtent(templateMesh.vertices);
    pair.source = mapped(templateMesh, [&](const QVector3D& p) { return p * factor; });
    pair.target = mapped(targetMesh, [&](const QVector3D& p) { return deformation(p) * factor; });
    pair.sourceNormals = vertexNormals(pair.source);
    pair.targetNormals = vertexNormals(pair.target);
    pair.srcControls = pickControls(pair.source);
    for (int v : pair.srcControls)
        pair.dstControls << deformation(templateMesh.vertices[v]) * factor;
    return pair;
}

}  // namespace TestMeshes
