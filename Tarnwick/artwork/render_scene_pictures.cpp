// Renders the sample-scene dialog's six pictures with the program's own model
// view: each template in the template colour with its polygon wire on grey,
// and again in grey tones for the disabled buttons. Needs a display (GL):
// scripts/make-scene-pictures runs it under xvfb-run and the pictures it
// writes are kept in the repository beside this file.
// Usage: plyform_scene_pictures <models folder> <pictures folder>
#include "mesh/GeomStack.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMatrix4x4>
#include <QQuaternion>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

const int kExtent = 115;
// Drawn at three times the size and scaled down, so that the wire of a few
// thousand polygons reads as a fine mesh rather than a dark fill.
const int kOversample = 3;

struct Picture {
    const char* templateFile;
    const char* name;  // Demo<name>.png and Demo<name>Inactive.png
    float yaw, pitch;  // degrees, turning the model before it is looked at
};

const Picture kPictures[] = {
    {"HandTemplate.obj", "Hand", 0, 0}, {"TorsoTemplate.obj", "Torso", 25, 10}, {"HeadTemplateUV.obj", "Head", 30, 5}};

// The part of the picture's half-width the model may take, at most.
const float kFill = 0.88f;

struct Look {
    QColor background, surface, wire;
};

// The template's colours in the program (ControllerMain), on a grey that
// stands apart from the dialog's dark background; the inactive set in greys.
const Look kActive = {QColor(118, 118, 118), QColor(97, 150, 220), QColor(36, 53, 67)};
const Look kInactive = {QColor(96, 96, 96), QColor(150, 150, 150), QColor(72, 72, 72)};

QImage render(Viewport3D::Viewport3D2& view, GeometryStack::GeomStack& mesh, const Picture& picture, const Look& look)
{
    view.makeCurrent();
    view.qglClearColor(look.background);
    std::unique_ptr<Viewport3D::GLGeometrySplitted> geometry(
        makeGLGeometrySplitted(&mesh, look.surface, true, true, look.wire, 1.0));
    view.addObject(geometry.get());
    view.fitToView();
    const QQuaternion turn =
        QQuaternion::fromAxisAndAngle(1, 0, 0, picture.pitch) * QQuaternion::fromAxisAndAngle(0, 1, 0, picture.yaw);
    view.setCameraPosition(turn, view.target, view.distance);
    // The fit leaves room for the box's sphere; bring the camera in until the
    // model itself fills the picture.
    const QMatrix4x4 projection = view.projectionMatrix();
    for (int step = 0; step < 8; ++step) {
        const QMatrix4x4 toScreen = projection * view.viewMatrix();
        float reach = 0;
        for (const QVector3D& v : mesh.vertices) {
            const QVector3D p = toScreen.map(v);
            reach = std::max({reach, std::fabs(p.x()), std::fabs(p.y())});
        }
        view.setCameraPosition(turn, view.target, view.distance * std::pow(double(reach / kFill), 0.8));
    }
    view.updateGL();
    const QImage frame = view.grabFrameBuffer();
    view.removeObject(geometry.get());
    return frame.convertToFormat(QImage::Format_RGB32)
        .scaled(kExtent, kExtent, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: plyform_scene_pictures <models folder> <pictures folder>\n");
        return 2;
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const QDir models(QString::fromLocal8Bit(argv[1])), pictures(QString::fromLocal8Bit(argv[2]));
    if (!QDir().mkpath(pictures.path()))
        return 1;
    Viewport3D::Viewport3D2 view;
    view.setFixedSize(kExtent * kOversample, kExtent * kOversample);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view, 5000) || !view.isValid() ||
        !QTest::qWaitFor([&] { return view.isInitialized(); }, 5000)) {
        std::fprintf(stderr, "no GL view: run under xvfb-run\n");
        return 1;
    }
    for (const Picture& picture : kPictures) {
        QString error;
        GeometryStack::GeomStack mesh(models.filePath(picture.templateFile), &error, true, true);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", picture.templateFile, qPrintable(error));
            return 1;
        }
        const QString stem = pictures.filePath(QString("Demo%1").arg(picture.name));
        if (!render(view, mesh, picture, kActive).save(stem + ".png") ||
            !render(view, mesh, picture, kInactive).save(stem + "Inactive.png")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(stem));
            return 1;
        }
    }
    return 0;
}
