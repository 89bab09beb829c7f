// Makes the sample scenes at build time: for the hand, the torso and the head a
// quad-dominant template with groups and UV charts, and a denser triangulated
// scan of the same shape (bent, noisy, holed, roughly placed) with a texture
// painted as a smooth function of the rest position. Also writes the landmark
// vertices of both meshes. (The dialog's pictures of the templates are rendered
// by render_scene_pictures.cpp, which needs a display.)
// Usage: plyform_make_samples <models folder>. Fixed seed: the output is the
// same on every run.
#include "Tarnwick/demopainting.h"
#include "mesh/ObjFileImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMatrix4x4>
#include <QRandomGenerator>
#include <QRectF>
#include <QTextStream>
#include <QVector2D>
#include <QVector3D>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const double pi = 3.14159265358979323846;

double smoothstep(double edge0, double edge1, double x)
{
    const double t = std::min(1.0, std::max(0.0, (x - edge0) / (edge1 - edge0)));
    return t * t * (3.0 - 2.0 * t);
}

double gauss(double d, double sigma)
{
    return std::exp(-0.5 * (d * d) / (sigma * sigma));
}

// Distance around the tube, where u wraps at 1.
double wrapped(double du)
{
    du = std::fmod(std::fabs(du), 1.0);
    return std::min(du, 1.0 - du);
}

// One tube of a shape: u goes around (wrapping at 1), v along; an end that is
// capped closes in a single pole vertex, an open end leaves a boundary.
struct Tube {
    QString group;
    std::function<QVector3D(double u, double v)> at;
    bool capStart = false;
    bool capEnd = false;
    int templateU = 16, templateV = 16;
    int scanU = 48, scanV = 48;
    QRectF chart;  // this tube's part of the texture layout
    // A group name for a template row (by v); empty keeps `group`.
    std::function<QString(double v)> rowGroup;
};

struct Landmark {
    QString name;
    int tube;
    double u, v;
};

struct Hole {
    int tube;
    double u, v, radius;
};

struct Shape {
    QString name;
    QString templateFile, scanFile;
    QVector<Tube> tubes;
    QVector<Landmark> landmarks;
    QVector<Hole> holes;
    double bendRate;     // radians per unit along y
    QVector3D turnAxis;  // placement of the scan
    double turnDegrees;
    double scale;
    QVector3D offset;  // in units of the shape's size
};

// A tube around the segment a-b, cross-section given by two radii along the
// frame (e1, e2) with e1 x e2 along b - a; `radius` gives both radii at v
// (and may use u for bumps).
Tube tubeAlong(const QString& group, QVector3D a, QVector3D b, QVector3D e1,
               std::function<QVector2D(double u, double v)> radius)
{
    const QVector3D axis = (b - a).normalized();
    e1 = (e1 - QVector3D::dotProduct(e1, axis) * axis).normalized();
    const QVector3D e2 = QVector3D::crossProduct(axis, e1);
    Tube tube;
    tube.group = group;
    tube.at = [=](double u, double v) {
        const QVector2D r = radius(u, v);
        const double angle = 2.0 * pi * u;
        return a + float(v) * (b - a) + float(std::cos(angle) * r.x()) * e1 + float(std::sin(angle) * r.y()) * e2;
    };
    return tube;
}

// A rounded finger-like profile: full radius in the middle, closing to a
// point at both ends.
double roundedEnds(double v, double startRound, double endRound)
{
    double f = 1.0;
    if (v < startRound)
        f *= std::sqrt(std::max(0.0, 1.0 - std::pow((startRound - v) / startRound, 2)));
    if (v > 1.0 - endRound)
        f *= std::sqrt(std::max(0.0, 1.0 - std::pow((v - 1.0 + endRound) / endRound, 2)));
    return f;
}

Shape hand()
{
    Shape s;
    s.name = "hand";
    s.templateFile = "HandTemplate.obj";
    s.scanFile = "HandScan.obj";
    // The palm: open at the wrist (y = 0), closed above the knuckles.
    Tube palm = tubeAlong("palm", {0, 0, 0}, {0, 9.5f, 0}, {0, 0, -1}, [](double, double v) {
        const double f = roundedEnds(v, 0.0, 0.12);
        const double widen = 1.0 + 0.25 * smoothstep(0.0, 0.5, v);
        return QVector2D(float(1.4 * f), float(3.3 * widen * f));
    });
    palm.capEnd = true;
    palm.templateU = 40;
    palm.templateV = 26;
    palm.scanU = 150;
    palm.scanV = 100;
    palm.chart = QRectF(0.01, 0.01, 0.47, 0.98);
    s.tubes << palm;
    struct Finger {
        const char* name;
        QVector3D base, tip;
        float radius;
    };
    const Finger fingers[] = {{"thumb", {-3.4f, 3.0f, 0.3f}, {-7.8f, 7.4f, 1.0f}, 0.85f},
                              {"index", {-2.7f, 8.0f, 0}, {-3.2f, 15.5f, 0}, 0.72f},
                              {"middle", {-0.9f, 8.3f, 0}, {-0.9f, 16.6f, 0}, 0.75f},
                              {"ring", {0.9f, 8.2f, 0}, {1.2f, 15.9f, 0}, 0.72f},
                              {"little", {2.7f, 7.8f, 0}, {3.5f, 13.8f, 0}, 0.62f}};
    for (int k = 0; k < 5; ++k) {
        const Finger& f = fingers[k];
        const float r = f.radius;
        Tube tube = tubeAlong(f.name, f.base, f.tip, {0, 0, -1}, [r](double, double v) {
            const double e = roundedEnds(v, 0.08, 0.12) * r;
            return QVector2D(float(e), float(e));
        });
        tube.capStart = tube.capEnd = true;
        tube.templateU = 16;
        tube.templateV = 22;
        tube.scanU = 60;
        tube.scanV = 90;
        tube.chart = QRectF(0.5 + 0.1 * k, 0.01, 0.09, 0.98);
        s.tubes << tube;
        s.landmarks << Landmark{QString("%1 tip").arg(f.name), k + 1, 0.0, 1.0};
    }
    s.holes << Hole{0, 0.0, 0.45, 0.05} << Hole{0, 0.5, 0.3, 0.035};
    // Fingers lie 1.8 apart: a bend that moved the tips farther than about
    // half that would put each template finger nearest its neighbour's scan.
    s.bendRate = 0.004;
    s.turnAxis = QVector3D(0.2f, 1.0f, 0.3f);
    s.turnDegrees = 7.0;
    s.scale = 1.04;
    s.offset = QVector3D(0.03f, -0.02f, 0.04f);
    return s;
}

Shape torso()
{
    Shape s;
    s.name = "torso";
    s.templateFile = "TorsoTemplate.obj";
    s.scanFile = "TorsoScan.obj";
    // Open at the waist (y = 0) and at the neck (y = 17).
    Tube body = tubeAlong("body", {0, 0, 0}, {0, 17, 0}, {0, 0, -1}, [](double u, double v) {
        const double y = 17.0 * v;
        const double shoulders = smoothstep(11.0, 14.5, y);
        const double waist = 1.0 - 0.12 * gauss(y - 3.0, 2.5);
        const double chest =
            0.35 * gauss(y - 9.5, 1.6) * (gauss(wrapped(u - 0.5 - 0.07), 0.05) + gauss(wrapped(u - 0.5 + 0.07), 0.05));
        const double depth = (4.0 + chest) * (1.0 - shoulders) + 2.1 * shoulders;
        const double width = 6.8 * waist * (1.0 - shoulders) + 2.3 * shoulders;
        return QVector2D(float(depth), float(width));
    });
    body.templateU = 64;
    body.templateV = 48;
    body.scanU = 260;
    body.scanV = 170;
    body.chart = QRectF(0.01, 0.01, 0.98, 0.98);
    body.rowGroup = [](double v) {
        const double y = 17.0 * v;
        return y < 7.0 ? QString("abdomen") : y < 13.5 ? QString("chest") : QString("neck");
    };
    s.tubes << body;
    s.holes << Hole{0, 0.25, 0.5, 0.04} << Hole{0, 0.85, 0.2, 0.03};
    s.bendRate = 0.008;
    s.turnAxis = QVector3D(0.1f, 1.0f, -0.2f);
    s.turnDegrees = -6.0;
    s.scale = 0.97;
    s.offset = QVector3D(-0.02f, 0.03f, 0.02f);
    return s;
}

// Head bumps in (u, height): nose, chin and ears, the face looking along +z
// (u = 0.5), the seam at the back.
const double noseY = 2.0, chinY = -2.6, earY = 2.6;

Shape head()
{
    Shape s;
    s.name = "head";
    s.templateFile = "HeadTemplateUV.obj";
    s.scanFile = "HeadScan.obj";
    Tube tube = tubeAlong("head", {0, -6, 0}, {0, 10, 0}, {0, 0, -1}, [](double u, double v) {
        const double y = -6.0 + 16.0 * v;
        const double skull = std::sqrt(std::max(0.0, 1.0 - std::pow((y - 2.5) / 7.5, 2))) * 6.5;
        const double neck = 3.2 * smoothstep(3.0, -1.0, y);
        const double r = std::pow(std::pow(skull, 6.0) + std::pow(neck, 6.0), 1.0 / 6.0);
        const double nose = 1.7 * gauss(wrapped(u - 0.5), 0.028) * gauss(y - noseY, 0.9);
        const double chin = 1.0 * gauss(wrapped(u - 0.5), 0.06) * gauss(y - chinY, 0.7);
        const double ears =
            1.3 * (gauss(wrapped(u - 0.25), 0.02) + gauss(wrapped(u - 0.75), 0.02)) * gauss(y - earY, 1.1);
        const double bumps = (nose + chin + ears) * smoothstep(9.9, 8.0, y);
        return QVector2D(float(r + bumps), float(0.85 * r + bumps));
    });
    tube.capEnd = true;
    tube.templateU = 64;
    tube.templateV = 50;
    tube.scanU = 440;
    tube.scanV = 272;
    tube.chart = QRectF(0.01, 0.01, 0.98, 0.98);
    tube.rowGroup = [](double v) {
        const double y = -6.0 + 16.0 * v;
        return y < -2.0 ? QString("neck") : y < 5.0 ? QString("face") : QString("scalp");
    };
    s.tubes << tube;
    auto vOf = [](double y) { return (y + 6.0) / 16.0; };
    s.landmarks << Landmark{"nose", 0, 0.5, vOf(noseY)} << Landmark{"chin", 0, 0.5, vOf(chinY)}
                << Landmark{"right ear", 0, 0.25, vOf(earY)} << Landmark{"left ear", 0, 0.75, vOf(earY)};
    s.holes << Hole{0, 0.05, 0.8, 0.035} << Hole{0, 0.9, 0.55, 0.025};
    s.bendRate = 0.01;
    s.turnAxis = QVector3D(0.3f, 1.0f, 0.1f);
    s.turnDegrees = 8.0;
    s.scale = 1.05;
    s.offset = QVector3D(0.04f, 0.02f, -0.03f);
    return s;
}

// A mesh as the OBJ writer takes it, with each vertex's tube and (u, v).
struct Mesh {
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons, texturePolygons;
    QVector<QString> groups;
    QVector<int> polygonGroup;
    QVector<QVector3D> rest;  // rest position of every vertex
    QVector<QVector3D> polygonRestCentre;
    QVector<int> polygonTube;
    QVector<QVector2D> polygonParam;
};

int groupIndex(Mesh& mesh, const QString& name)
{
    int g = mesh.groups.indexOf(name);
    if (g < 0) {
        g = mesh.groups.size();
        mesh.groups << name;
    }
    return g;
}

// Builds the tubes with nu x nv cells each, as quads (template) or as two
// triangles per cell with alternating diagonals (scan); pole cells are
// triangles in both.
Mesh buildMesh(const Shape& shape, bool scan)
{
    Mesh mesh;
    for (int t = 0; t < shape.tubes.size(); ++t) {
        const Tube& tube = shape.tubes[t];
        const int nu = scan ? tube.scanU : tube.templateU;
        const int nv = scan ? tube.scanV : tube.templateV;
        const int firstRing = tube.capStart ? 1 : 0;
        const int lastRing = tube.capEnd ? nv - 1 : nv;
        const int base = mesh.vertices.size();
        auto vertexAt = [&](int i, int j) { return base + (j - firstRing) * nu + (i % nu); };
        for (int j = firstRing; j <= lastRing; ++j)
            for (int i = 0; i < nu; ++i)
                mesh.vertices << tube.at(double(i) / nu, double(j) / nv);
        const int startPole = mesh.vertices.size();
        if (tube.capStart)
            mesh.vertices << tube.at(0.0, 0.0);
        const int endPole = mesh.vertices.size();
        if (tube.capEnd)
            mesh.vertices << tube.at(0.0, 1.0);
        const int tbase = mesh.textureVertices.size();
        auto uv = [&](double u, double v) {
            return QVector2D(float(tube.chart.left() + u * tube.chart.width()),
                             float(tube.chart.top() + v * tube.chart.height()));
        };
        auto textureAt = [&](int i, int j) { return tbase + (j - firstRing) * (nu + 1) + i; };
        for (int j = firstRing; j <= lastRing; ++j)
            for (int i = 0; i <= nu; ++i)
                mesh.textureVertices << uv(double(i) / nu, double(j) / nv);
        auto add = [&](const QList<int>& polygon, const QList<int>& texturePolygon, int i, int j) {
            const double u = (i + 0.5) / nu, v = (j + 0.5) / nv;
            const QString group = tube.rowGroup ? tube.rowGroup(v) : tube.group;
            mesh.polygons << polygon;
            mesh.texturePolygons << texturePolygon;
            mesh.polygonGroup << groupIndex(mesh, group);
            mesh.polygonTube << t;
            mesh.polygonParam << QVector2D(float(u), float(v));
            mesh.polygonRestCentre << tube.at(u, v);
        };
        for (int j = firstRing; j < lastRing; ++j)
            for (int i = 0; i < nu; ++i) {
                const int a = vertexAt(i, j), b = vertexAt(i + 1, j), c = vertexAt(i + 1, j + 1),
                          d = vertexAt(i, j + 1);
                const int ta = textureAt(i, j), tb = textureAt(i + 1, j), tc = textureAt(i + 1, j + 1),
                          td = textureAt(i, j + 1);
                if (!scan)
                    add({a, b, c, d}, {ta, tb, tc, td}, i, j);
                else if ((i + j) % 2 == 0) {
                    add({a, b, c}, {ta, tb, tc}, i, j);
                    add({a, c, d}, {ta, tc, td}, i, j);
                } else {
                    add({a, b, d}, {ta, tb, td}, i, j);
                    add({b, c, d}, {tb, tc, td}, i, j);
                }
            }
        if (tube.capStart) {
            const int poleTexture = mesh.textureVertices.size();
            for (int i = 0; i < nu; ++i)
                mesh.textureVertices << uv((i + 0.5) / nu, 0.0);
            for (int i = 0; i < nu; ++i)
                add({startPole, vertexAt(i + 1, firstRing), vertexAt(i, firstRing)},
                    {poleTexture + i, textureAt(i + 1, firstRing), textureAt(i, firstRing)}, i, 0);
        }
        if (tube.capEnd) {
            const int poleTexture = mesh.textureVertices.size();
            for (int i = 0; i < nu; ++i)
                mesh.textureVertices << uv((i + 0.5) / nu, 1.0);
            for (int i = 0; i < nu; ++i)
                add({endPole, vertexAt(i, lastRing), vertexAt(i + 1, lastRing)},
                    {poleTexture + i, textureAt(i, lastRing), textureAt(i + 1, lastRing)}, i, nv - 1);
        }
    }
    mesh.rest = mesh.vertices;
    return mesh;
}

// Drops the polygons that fall in a hole and the vertices and texture
// vertices no polygon uses any more.
void cutHoles(Mesh& mesh, const Shape& shape)
{
    QVector<bool> keep(mesh.polygons.size(), true);
    for (int p = 0; p < mesh.polygons.size(); ++p)
        for (const Hole& hole : shape.holes) {
            const QVector2D q = mesh.polygonParam[p];
            const double du = wrapped(q.x() - hole.u), dv = q.y() - hole.v;
            if (mesh.polygonTube[p] == hole.tube && du * du + dv * dv < hole.radius * hole.radius)
                keep[p] = false;
        }
    QVector<int> vertexMap(mesh.vertices.size(), -1), textureMap(mesh.textureVertices.size(), -1);
    Mesh out;
    out.groups = mesh.groups;
    for (int p = 0; p < mesh.polygons.size(); ++p) {
        if (!keep[p])
            continue;
        QList<int> polygon, texturePolygon;
        for (int k = 0; k < mesh.polygons[p].size(); ++k) {
            int& v = vertexMap[mesh.polygons[p][k]];
            if (v < 0) {
                v = out.vertices.size();
                out.vertices << mesh.vertices[mesh.polygons[p][k]];
                out.rest << mesh.rest[mesh.polygons[p][k]];
            }
            int& tv = textureMap[mesh.texturePolygons[p][k]];
            if (tv < 0) {
                tv = out.textureVertices.size();
                out.textureVertices << mesh.textureVertices[mesh.texturePolygons[p][k]];
            }
            polygon << v;
            texturePolygon << tv;
        }
        out.polygons << polygon;
        out.texturePolygons << texturePolygon;
        out.polygonGroup << mesh.polygonGroup[p];
        out.polygonTube << mesh.polygonTube[p];
        out.polygonParam << mesh.polygonParam[p];
        out.polygonRestCentre << mesh.polygonRestCentre[p];
    }
    mesh = out;
}

double shapeSize(const Mesh& mesh)
{
    QVector3D lo = mesh.rest.first(), hi = lo;
    for (const QVector3D& p : mesh.rest) {
        lo = QVector3D(std::min(lo.x(), p.x()), std::min(lo.y(), p.y()), std::min(lo.z(), p.z()));
        hi = QVector3D(std::max(hi.x(), p.x()), std::max(hi.y(), p.y()), std::max(hi.z(), p.z()));
    }
    const QVector3D e = hi - lo;
    return std::max({e.x(), e.y(), e.z()});
}

// Where the scan puts a rest point: a smooth bend about the z axis growing
// along y, then a small turn, scale and offset.
QVector3D placeOnScan(const Shape& shape, double size, const QVector3D& p)
{
    const double angle = shape.bendRate * p.y();
    const QVector3D bent(float(p.x() * std::cos(angle) - p.y() * std::sin(angle)),
                         float(p.x() * std::sin(angle) + p.y() * std::cos(angle)), p.z());
    QMatrix4x4 placement;
    placement.translate(shape.offset * float(size));
    placement.rotate(float(shape.turnDegrees), shape.turnAxis.normalized());
    placement.scale(float(shape.scale));
    return placement.map(bent);
}

// Each texel inside a chart gets the colour of the rest point its (u, v)
// names; texels outside every chart stay black.
QImage paintTexture(const Shape& shape, double size, int extent)
{
    QImage image(extent, extent, QImage::Format_RGB32);
    image.fill(Qt::black);
    for (const Tube& tube : shape.tubes) {
        const QRect pixels(int(std::floor(tube.chart.left() * extent)), int(std::floor(tube.chart.top() * extent)),
                           int(std::ceil(tube.chart.width() * extent)) + 1,
                           int(std::ceil(tube.chart.height() * extent)) + 1);
        for (int y = pixels.top(); y <= pixels.bottom() && y < extent; ++y) {
            // Texture coordinate v grows upwards in the image.
            const double tv = 1.0 - (y + 0.5) / extent;
            const double v = std::min(1.0, std::max(0.0, (tv - tube.chart.top()) / tube.chart.height()));
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = pixels.left(); x <= pixels.right() && x < extent; ++x) {
                const double u =
                    std::min(1.0, std::max(0.0, ((x + 0.5) / extent - tube.chart.left()) / tube.chart.width()));
                line[x] = DemoScenes::paintedColour(tube.at(u, v), size);
            }
        }
    }
    return image;
}

int nearestVertex(const QVector<QVector3D>& vertices, const QVector3D& p)
{
    int best = 0;
    float bestDistance = (vertices[0] - p).lengthSquared();
    for (int i = 1; i < vertices.size(); ++i) {
        const float d = (vertices[i] - p).lengthSquared();
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

bool save(const Mesh& mesh, const QString& path)
{
    return ObjFileImport::saveToObjFile(path, mesh.vertices, mesh.textureVertices, {}, mesh.polygons,
                                        mesh.texturePolygons, {}, mesh.groups, mesh.polygonGroup);
}

bool makeScene(const Shape& shape, const QDir& models, QTextStream& landmarks)
{
    Mesh templ = buildMesh(shape, false);
    const double size = shapeSize(templ);
    Mesh scan = buildMesh(shape, true);
    cutHoles(scan, shape);
    QRandomGenerator random(20261211u + uint(shape.name.size()));
    const double noise = 0.0012 * size;
    for (int i = 0; i < scan.vertices.size(); ++i) {
        const QVector3D jitter(float(random.generateDouble() - 0.5), float(random.generateDouble() - 0.5),
                               float(random.generateDouble() - 0.5));
        scan.vertices[i] = placeOnScan(shape, size, scan.rest[i]) + jitter * float(2.0 * noise);
    }
    if (!save(templ, models.filePath(shape.templateFile)) || !save(scan, models.filePath(shape.scanFile)))
        return false;
    const QString textureName = QString(shape.scanFile).replace(".obj", ".png");
    if (!paintTexture(shape, size, 1024).save(models.filePath(textureName)))
        return false;
    for (const Landmark& mark : shape.landmarks) {
        const QVector3D rest = shape.tubes[mark.tube].at(mark.u, mark.v);
        const QVector3D onScan = placeOnScan(shape, size, rest);
        const int t = nearestVertex(templ.vertices, rest);
        const int s = nearestVertex(scan.vertices, onScan);
        landmarks << shape.name << ' ' << QString(mark.name).replace(' ', '_') << ' ' << t << ' ' << s << ' '
                  << rest.x() << ' ' << rest.y() << ' ' << rest.z() << ' ' << onScan.x() << ' ' << onScan.y() << ' '
                  << onScan.z() << '\n';
        std::printf("%s %s: template %d, scan %d\n", qPrintable(shape.name), qPrintable(mark.name), t, s);
    }
    std::printf("%s: template %d vertices, scan %d vertices\n", qPrintable(shape.name), templ.vertices.size(),
                scan.vertices.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples <models folder>\n");
        return 2;
    }
    const QDir models(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(models.path()))
        return 1;
    QFile file(models.filePath("Landmarks.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return 1;
    QTextStream landmarks(&file);
    landmarks << "# scene landmark template-vertex scan-vertex template-xyz scan-xyz\n";
    bool ok = true;
    for (const Shape& shape : {hand(), torso(), head()})
        ok = makeScene(shape, models, landmarks) && ok;
    return ok ? 0 : 1;
}
