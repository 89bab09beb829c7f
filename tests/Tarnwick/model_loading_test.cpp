// Loading and saving models and textures: common scale, rescaling, file units on save, formats by suffix, failure
// boxes, failed loads that change nothing, dialogs.
#include "ShellFixture.h"
#include "Tarnwick/appsettings.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/shadingparamsbutton.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "Tarnwick/viewporttoolswidget.h"
#include "Tarnwick/whitebutton.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

namespace {

using TestSupport::BoxSeen;
using TestSupport::DialogSeen;
using TestSupport::LogCapture;
using TestSupport::ModalDriver;

struct ModelLoading : ::testing::Test {
    std::unique_ptr<MainWindow> window;
    ControllerMain* controller = nullptr;
    TestSupport::TempDir dir;
    QString templatePath, targetPath;

    void SetUp() override
    {
        TestSupport::clearSettings();
        ASSERT_TRUE(TestSupport::startWindow(window));
        controller = window->controllerMain();
        templatePath = TestSupport::writeBoxObj(dir.filePath("template.obj"), 2.0, 3.0, 4.0);
        targetPath = TestSupport::writeBoxObj(dir.filePath("target.obj"), 10.0, 40.0, 20.0, 5.0, 6.0, 7.0);
    }

    QString writeImage(const QString& name, QSize size, QColor color)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path));
        return path;
    }

    // The six model signals in the order they were emitted.
    struct SignalJournal {
        QStringList names;
        // The connections end with the journal, so a journal gone out of scope is never written.
        QObject context;
        explicit SignalJournal(ControllerMain* c)
        {
            QObject::connect(c, &ControllerMain::templateLoaded, &context, [this] { names << "templateLoaded"; });
            QObject::connect(c, &ControllerMain::targetLoaded, &context, [this] { names << "targetLoaded"; });
            QObject::connect(c, &ControllerMain::templateTextureLoaded, &context,
                             [this] { names << "templateTextureLoaded"; });
            QObject::connect(c, &ControllerMain::targetTextureLoaded, &context,
                             [this] { names << "targetTextureLoaded"; });
            QObject::connect(c, &ControllerMain::templateRemoved, &context, [this] { names << "templateRemoved"; });
            QObject::connect(c, &ControllerMain::targetRemoved, &context, [this] { names << "targetRemoved"; });
        }
    };
};

GeometryStack::GeomStack readObj(const QString& path)
{
    QString error;
    GeometryStack::GeomStack mesh(path, &error, true, false);
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
    return mesh;
}

void expectScaledCopy(const QVector<QVector3D>& actual, const QVector<QVector3D>& file, double scale)
{
    ASSERT_EQ(actual.size(), file.size());
    for (int i = 0; i < actual.size(); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(actual[i][c], file[i][c] * scale, 1e-5 * std::max(1.0, std::abs(file[i][c] * scale)));
}

TEST_F(ModelLoading, TemplateThenTargetSetsTheCommonScaleAndRescalesTheTemplate)
{
    SignalJournal journal(controller);
    LogCapture log;
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    EXPECT_EQ(journal.names, QStringList({"templateRemoved", "templateLoaded"}));
    const GeometryStack::GeomStack file = readObj(templatePath);
    expectScaledCopy(controller->geomStackTemplate->vertices, file.vertices, 1.0);
    GeomStackView* firstView = controller->geomStackViewTemplate;
    ASSERT_NE(firstView, nullptr);
    EXPECT_EQ(firstView->geometry, controller->geomStackTemplate);
    // The half-edge form (built beside the drawn record) is the plain one of the file's mesh.
    const HE::HalfEdgeGeom plain(file.vertices, file.polygons);
    const HE::HalfEdgeGeom* built = controller->halfEdgeGeomTemplate;
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(built->vertices, plain.vertices);
    EXPECT_EQ(built->faces, plain.faces);
    EXPECT_EQ(built->vertexHalfEdges, plain.vertexHalfEdges);
    ASSERT_EQ(built->halfEdges.size(), plain.halfEdges.size());
    for (int i = 0; i < plain.halfEdges.size(); ++i) {
        const HE::HalfEdge &a = built->halfEdges[i], &b = plain.halfEdges[i];
        EXPECT_TRUE(a.next == b.next && a.prev == b.prev && a.opposite == b.opposite && a.vertex == b.vertex &&
                    a.face == b.face)
            << i;
    }

    ASSERT_EQ(controller->loadTarget(targetPath), "");
    EXPECT_EQ(journal.names, QStringList({"templateRemoved", "templateLoaded", "targetRemoved", "targetLoaded"}));
    EXPECT_DOUBLE_EQ(controller->currentScale, 2.5);
    expectScaledCopy(controller->geomStackTemplate->vertices, file.vertices, 2.5);
    expectScaledCopy(controller->halfEdgeGeomTemplate->vertices, file.vertices, 2.5);
    expectScaledCopy(controller->geomStackTarget->vertices, readObj(targetPath).vertices, 2.5);
    EXPECT_NEAR(controller->geomStackTemplate->boundingBox.size.z(), 10.0, 1e-5);
    // The template's record was built anew over the same mesh.
    EXPECT_EQ(controller->geomStackViewTemplate->geometry, controller->geomStackTemplate);
    EXPECT_EQ(controller->geomStackViewTarget->geometry, controller->geomStackTarget);

    const QStringList lines = log.texts(QtDebugMsg);
    const QStringList expected = {
        QString("log: Start loading template: \"%1\"").arg(templatePath),
        "log: Template loaded: 8 vertices, 6 polygons, 2 polygroups",
        QString("log: Start loading target: \"%1\"").arg(targetPath),
        "log: Target loaded: 8 vertices, 6 polygons, 2 polygroups",
        "Autoscale: 2.5",
    };
    int at = -1;
    for (const QString& line : expected) {
        const int next = lines.indexOf(line, at + 1);
        EXPECT_GT(next, at) << qPrintable(line) << "\nin:\n" << qPrintable(lines.join('\n'));
        at = std::max(at, next);
    }
}

TEST_F(ModelLoading, CommonScaleFollowsTheLastTarget)
{
    const QString targetA = TestSupport::writeBoxObj(dir.filePath("a.obj"), 50.0, 10.0, 10.0);
    const QString targetB = TestSupport::writeBoxObj(dir.filePath("b.obj"), 20.0, 200.0, 20.0);
    const GeometryStack::GeomStack file = readObj(templatePath);
    ASSERT_EQ(controller->loadTarget(targetA), "");
    EXPECT_DOUBLE_EQ(controller->currentScale, 2.0);
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    expectScaledCopy(controller->geomStackTemplate->vertices, file.vertices, 2.0);
    ASSERT_EQ(controller->loadTarget(targetB), "");
    EXPECT_DOUBLE_EQ(controller->currentScale, 0.5);
    expectScaledCopy(controller->geomStackTemplate->vertices, file.vertices, 0.5);
    // Removing the target keeps the scale; a template loaded afterwards gets it.
    controller->removeTarget();
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    expectScaledCopy(controller->geomStackTemplate->vertices, file.vertices, 0.5);
}

TEST_F(ModelLoading, TexturesLoadOntoTheirViewsAndSurviveARescale)
{
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    const QString red = writeImage("red.png", QSize(64, 32), Qt::red);
    const QString blue = writeImage("blue.png", QSize(16, 16), Qt::blue);
    SignalJournal journal(controller);
    LogCapture log;
    ASSERT_TRUE(controller->loadTextureTemplate(red));
    ASSERT_TRUE(controller->loadTextureTarget(blue));
    EXPECT_EQ(journal.names, QStringList({"templateTextureLoaded", "targetTextureLoaded"}));
    EXPECT_EQ(controller->textureTemplate->size(), QSize(64, 32));
    EXPECT_NE(controller->geomStackViewTemplate->viewGeometry->texture, nullptr);
    EXPECT_NE(controller->geomStackViewTarget->viewGeometry->texture, nullptr);
    EXPECT_TRUE(
        log.texts(QtDebugMsg).contains(QString("log: Start loading template texture: 64 x 32 \"%1\"").arg(red)));
    EXPECT_TRUE(log.texts(QtDebugMsg).contains("log: Template texture loaded"));
    EXPECT_TRUE(log.texts(QtDebugMsg).contains("log: Target texture loaded"));

    // The template view shows the red texture (lit, so some shade of red).
    const QImage frame = TestSupport::renderFrame(window->viewport3DTemplate());
    TestSupport::saveFrame(frame, "template_textured");
    const QColor centre = frame.pixelColor(frame.width() / 2, frame.height() / 2);
    EXPECT_GT(centre.red(), 60);
    EXPECT_LT(centre.green(), centre.red() / 2);
    EXPECT_LT(centre.blue(), centre.red() / 2);

    // A new target rescales the template and keeps its texture on the new record.
    ASSERT_EQ(controller->loadTarget(TestSupport::writeBoxObj(dir.filePath("t2.obj"), 1, 2, 3)), "");
    EXPECT_NE(controller->textureTemplate, nullptr);
    EXPECT_NE(controller->geomStackViewTemplate->viewGeometry->texture, nullptr);
    EXPECT_EQ(controller->textureTarget, nullptr);

    // A second template discards the first one's texture.
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    EXPECT_EQ(controller->textureTemplate, nullptr);
    EXPECT_FALSE(controller->isTemplateTextureLoaded());
}

TEST_F(ModelLoading, SavesTheTemplateInFileUnitsAndTheTextureBySuffix)
{
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    ASSERT_EQ(controller->loadTarget(TestSupport::writeBoxObj(dir.filePath("t2.obj"), 0.003, 0.001, 0.002)), "");
    ASSERT_GT(controller->currentScale, 3e4);
    const QString saved = dir.filePath("saved.obj");
    LogCapture log;
    controller->saveTemplate(saved);
    EXPECT_TRUE(log.texts(QtDebugMsg).contains(QString("log: Saving template: \"%1\"").arg(saved)));
    const GeometryStack::GeomStack input = readObj(templatePath);
    const GeometryStack::GeomStack output = readObj(saved);
    ASSERT_EQ(output.vertices.size(), input.vertices.size());
    for (int i = 0; i < input.vertices.size(); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(output.vertices[i][c], input.vertices[i][c], 1e-5 * std::abs(input.vertices[i][c]));
    EXPECT_EQ(output.polygons, input.polygons);
    EXPECT_EQ(output.texturePolygons, input.texturePolygons);
    EXPECT_EQ(output.polygroupNames, input.polygroupNames);
    EXPECT_EQ(output.normals.size(), 0);  // read back without normals computed
    EXPECT_TRUE(TestSupport::readFile(saved).contains("\nvn "));
    EXPECT_TRUE(TestSupport::readFile(saved).contains("\nvt "));

    ASSERT_TRUE(controller->loadTextureTemplate(writeImage("tex.png", QSize(8, 8), Qt::green)));
    const struct {
        const char* name;
        QByteArray magic;
    } formats[] = {
        {"out.jpg", "\xFF\xD8\xFF"}, {"out.png", "\x89PNG"}, {"out.bmp", "BM"}, {"OUT.JPEG", "\xFF\xD8\xFF"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.name);
        controller->saveTemplateTexture(dir.filePath(f.name));
        EXPECT_TRUE(TestSupport::readFile(dir.filePath(f.name)).startsWith(f.magic));
        EXPECT_EQ(QImage(dir.filePath(f.name)).size(), QSize(8, 8));
    }
}

TEST_F(ModelLoading, FailuresShowTheirBoxesAndChangeNothing)
{
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    ASSERT_TRUE(controller->loadTextureTemplate(writeImage("tex.png", QSize(8, 8), Qt::green)));
    GeometryStack::GeomStack* mesh = controller->geomStackTemplate;
    GeomStackView* view = controller->geomStackViewTemplate;
    HE::HalfEdgeGeom* halfEdge = controller->halfEdgeGeomTemplate;
    QImage* texture = controller->textureTemplate;
    GeometryStack::GeomStack* target = controller->geomStackTarget;
    const double scale = controller->currentScale;
    SignalJournal journal(controller);

    const QString broken = dir.write("broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n");
    const QString point = dir.write("point.obj", "v 1 2 3\nv 1 2 3\nv 1 2 3\nf 1 2 3\n");
    const QString notAnImage = dir.write("fake.png", "not an image");
    const QString missingFolder = dir.filePath("no/such/folder/out.obj");

    LogCapture log;
    BoxSeen badTemplate, badTarget, flatTarget, badTexture, saveModel, saveTexture;
    {
        ModalDriver driver({TestSupport::chooseFile(broken), TestSupport::answerBox(&badTemplate, window.get()),
                            TestSupport::chooseFile(broken), TestSupport::answerBox(&badTarget, window.get()),
                            TestSupport::chooseFile(point), TestSupport::answerBox(&flatTarget, window.get()),
                            TestSupport::chooseFile(notAnImage), TestSupport::answerBox(&badTexture, window.get())});
        window->templateTools()->loadFileButton()->click();
        window->targetTools()->loadFileButton()->click();
        window->targetTools()->loadFileButton()->click();
        window->templateTools()->loadTextureButton()->click();
        EXPECT_EQ(driver.answered(), 8);
    }
    {
        ModalDriver driver(
            {TestSupport::answerBox(&saveModel, window.get()), TestSupport::answerBox(&saveTexture, window.get())});
        controller->saveTemplate(missingFolder);
        controller->saveTemplateTexture(dir.filePath("texture.unknownformat"));
        EXPECT_EQ(driver.answered(), 2);
    }

    const QString parseError = controller->loadTemplate(broken);
    EXPECT_FALSE(parseError.isEmpty());
    EXPECT_EQ(badTemplate.title, "Failed to load file");
    EXPECT_EQ(badTemplate.text, "Error occured during loading file:\n" + parseError);
    EXPECT_TRUE(badTemplate.warning && badTemplate.singleOk && badTemplate.parentIsWindow);
    EXPECT_EQ(badTarget.text, badTemplate.text);
    EXPECT_EQ(flatTarget.title, "Failed to load file");
    EXPECT_TRUE(flatTarget.text.startsWith("Error occured during loading file:\n"));
    EXPECT_GT(flatTarget.text.size(), QString("Error occured during loading file:\n").size());
    EXPECT_EQ(badTexture.title, "Failed to load texture");
    EXPECT_EQ(badTexture.text, "Error occured during loading texture: " + notAnImage);
    EXPECT_EQ(saveModel.title, "Failed to save file");
    EXPECT_EQ(saveModel.text, "Can not save file: " + missingFolder);
    EXPECT_EQ(saveTexture.title, "Failed to save image file");
    EXPECT_EQ(saveTexture.text, "Can not save file: " + dir.filePath("texture.unknownformat"));
    EXPECT_TRUE(saveTexture.warning && saveTexture.singleOk && saveTexture.parentIsWindow);

    const QStringList lines = log.texts(QtDebugMsg);
    EXPECT_TRUE(lines.contains("log: Failed to load template: \"" + parseError + "\""));
    EXPECT_TRUE(lines.contains(QString("log: Start loading template texture: -1 x -1 \"%1\"").arg(notAnImage)));
    EXPECT_TRUE(lines.contains("log: Failed to load template texture"));

    // Everything as before, and not a signal.
    EXPECT_TRUE(journal.names.isEmpty()) << qPrintable(journal.names.join(' '));
    EXPECT_EQ(controller->geomStackTemplate, mesh);
    EXPECT_EQ(controller->geomStackViewTemplate, view);
    EXPECT_EQ(controller->halfEdgeGeomTemplate, halfEdge);
    EXPECT_EQ(controller->textureTemplate, texture);
    EXPECT_EQ(controller->geomStackTarget, target);
    EXPECT_EQ(controller->currentScale, scale);
    EXPECT_FALSE(QFile::exists(missingFolder));
    // The chosen folders were stored whatever the outcome.
    EXPECT_EQ(window->appSettings()->lastTemplateOpenPath, dir.path());
    EXPECT_EQ(window->appSettings()->lastTemplateTextureOpenPath, dir.path());
}

// What the user has of the loaded models: the records, the textures, the three
// views' frames, and which buttons of the tool bar and the strips may be pressed.
struct ModelsAsShown {
    GeometryStack::GeomStack* templateMesh;
    GeometryStack::GeomStack* targetMesh;
    GeomStackView* templateView;
    GeomStackView* targetView;
    HE::HalfEdgeGeom* halfEdge;
    QImage* templateTexture;
    QImage* targetTexture;
    double scale;
    QImage frames[3];
    QList<bool> buttons;  // tool bar (enabled, checked), then the strips' enabled buttons

    ModelsAsShown(MainWindow& window, const QString& name)
    {
        const ControllerMain* c = window.controllerMain();
        templateMesh = c->geomStackTemplate;
        targetMesh = c->geomStackTarget;
        templateView = c->geomStackViewTemplate;
        targetView = c->geomStackViewTarget;
        halfEdge = c->halfEdgeGeomTemplate;
        templateTexture = c->textureTemplate;
        targetTexture = c->textureTarget;
        scale = c->currentScale;
        QGLWidget* views[3] = {window.viewport3DTemplate(), window.viewport3DTarget(), window.viewport3DResults()};
        for (int i = 0; i < 3; ++i) {
            frames[i] = TestSupport::renderFrame(views[i]);
            TestSupport::saveFrame(frames[i], QString("%1_view%2").arg(name).arg(i));
        }
        for (QAbstractButton* b : window.toolbar()->buttons)
            buttons << b->isEnabled() << b->isChecked();
        for (ViewportToolsWidget* strip : {window.templateTools(), window.targetTools()})
            for (QWidget* b :
                 QList<QWidget*>{strip->loadFileButton(), strip->loadTextureButton(), strip->saveModelButton(),
                                 strip->saveTextureButton(), strip->shadingButton(), strip->fitToViewButton()})
                buttons << b->isEnabled();
        buttons << window.resultsTools()->fitToViewButton()->isEnabled()
                << window.resultsTools()->showTargetCheckBox()->isEnabled();
    }
};

void expectUnchanged(const ModelsAsShown& before, const ModelsAsShown& after)
{
    EXPECT_EQ(after.templateMesh, before.templateMesh);
    EXPECT_EQ(after.targetMesh, before.targetMesh);
    EXPECT_EQ(after.templateView, before.templateView);
    EXPECT_EQ(after.targetView, before.targetView);
    EXPECT_EQ(after.halfEdge, before.halfEdge);
    EXPECT_EQ(after.templateTexture, before.templateTexture);
    EXPECT_EQ(after.targetTexture, before.targetTexture);
    EXPECT_EQ(after.scale, before.scale);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(after.frames[i] == before.frames[i]) << "view " << i;
    EXPECT_EQ(after.buttons, before.buttons);
}

TEST_F(ModelLoading, FilesWithoutPolygonsAreRefusedAndChangeNothing)
{
    QByteArray noise(4096, '\0');
    QRandomGenerator random(20240611);
    for (char& byte : noise)
        byte = char(random.bounded(256));
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"empty.obj", ""},
        {"noise.obj", noise},
        {"comments.obj", "# nothing but comments\n\n# and a blank line\n"},
        {"vertices.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n"},
    };
    // The reader takes each of them without error: the refusal is the shell's own.
    for (const auto& f : files) {
        QString error;
        const GeometryStack::GeomStack mesh(dir.write(f.name, f.bytes), &error, true, false);
        ASSERT_TRUE(error.isEmpty()) << f.name << ": " << qPrintable(error);
        ASSERT_TRUE(mesh.polygons.isEmpty()) << f.name;
    }

    // Once with nothing loaded, once with both models and their textures.
    for (const bool loaded : {false, true}) {
        if (loaded) {
            ASSERT_EQ(controller->loadTemplate(templatePath), "");
            ASSERT_EQ(controller->loadTarget(targetPath), "");
            ASSERT_TRUE(controller->loadTextureTemplate(writeImage("red.png", QSize(8, 8), Qt::red)));
            ASSERT_TRUE(controller->loadTextureTarget(writeImage("blue.png", QSize(8, 8), Qt::blue)));
        }
        for (const auto& f : files) {
            for (const bool asTemplate : {true, false}) {
                const QString which = asTemplate ? "template" : "target";
                const QString state = QString("%1_%2_%3").arg(loaded ? "loaded" : "none", which, f.name);
                SCOPED_TRACE(qPrintable(state));
                const QString path = dir.filePath(f.name);
                const ModelsAsShown before(*window, state + "_before");
                SignalJournal journal(controller);
                LogCapture log;
                BoxSeen box;
                {
                    ModalDriver driver({TestSupport::chooseFile(path), TestSupport::answerBox(&box, window.get())});
                    (asTemplate ? window->templateTools() : window->targetTools())->loadFileButton()->click();
                    EXPECT_EQ(driver.answered(), 2);
                }
                const QString error = asTemplate ? controller->loadTemplate(path) : controller->loadTarget(path);
                EXPECT_TRUE(error.contains("no polygons")) << qPrintable(error);
                EXPECT_EQ(box.title, "Failed to load file");
                EXPECT_EQ(box.text, "Error occured during loading file:\n" + error);
                EXPECT_TRUE(box.warning && box.singleOk && box.parentIsWindow);
                const QStringList lines = log.texts(QtDebugMsg);
                const QString failed =
                    asTemplate ? "log: Failed to load template: \"" : "log: Failed to load target: \"";
                EXPECT_EQ(lines.count(failed + error + "\""), 2) << qPrintable(lines.join('\n'));
                EXPECT_FALSE(log.contains("Template loaded:") || log.contains("Target loaded:") ||
                             log.contains("Autoscale:"));
                EXPECT_TRUE(journal.names.isEmpty()) << qPrintable(journal.names.join(' '));
                expectUnchanged(before, ModelsAsShown(*window, state + "_after"));
            }
        }
    }
}

TEST_F(ModelLoading, DialogsStartInTheStoredFoldersAndCancellingChangesNothing)
{
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    ASSERT_TRUE(controller->loadTextureTemplate(writeImage("tex.png", QSize(8, 8), Qt::green)));
    AppSettings* s = window->appSettings();
    const QString folders[] = {dir.filePath("a"), dir.filePath("b"), dir.filePath("c"), dir.filePath("d"),
                               dir.filePath("e")};
    for (const QString& f : folders)
        QDir().mkpath(f);
    s->lastTemplateOpenPath = folders[0];
    s->lastTargetOpenPath = folders[1];
    s->lastTemplateTextureOpenPath = folders[2];
    s->lastTargetTextureOpenPath = folders[3];
    s->lastSavePath = folders[4];
    const AppSettings before = *s;

    DialogSeen seen[6];
    SignalJournal journal(controller);
    {
        ModalDriver driver({TestSupport::cancelDialog(&seen[0]), TestSupport::cancelDialog(&seen[1]),
                            TestSupport::cancelDialog(&seen[2]), TestSupport::cancelDialog(&seen[3]),
                            TestSupport::cancelDialog(&seen[4]), TestSupport::cancelDialog(&seen[5])});
        window->templateTools()->loadFileButton()->click();
        window->targetTools()->loadFileButton()->click();
        window->templateTools()->loadTextureButton()->click();
        window->targetTools()->loadTextureButton()->click();
        window->templateTools()->saveModelButton()->click();
        window->templateTools()->saveTextureButton()->click();
        EXPECT_EQ(driver.answered(), 6);
    }
    const struct {
        const char* caption;
        QString folder;
        QStringList filters;
        bool save;
    } expected[] = {
        {"Select template model", folders[0], {"Template model (*.obj)"}, false},
        {"Select target model", folders[1], {"Target model (*.obj)"}, false},
        {"Select template texture file", folders[2], {"Template texture (*.*)"}, false},
        {"Select target texture file", folders[3], {"Target texture (*.*)"}, false},
        {"Save model", folders[4], {"Model to save (*.obj)"}, true},
        {"Save texture", QString(), {"JPEG (*.jpg)", "PNG (*.png)", "BMP (*.bmp)"}, true},
    };
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(expected[i].caption);
        EXPECT_EQ(seen[i].caption, expected[i].caption);
        if (!expected[i].folder.isEmpty()) {
            EXPECT_EQ(seen[i].directory, expected[i].folder);
        }
        EXPECT_EQ(seen[i].filters, expected[i].filters);
        EXPECT_EQ(seen[i].save, expected[i].save);
    }
    EXPECT_EQ(s->lastTemplateOpenPath, before.lastTemplateOpenPath);
    EXPECT_EQ(s->lastTargetOpenPath, before.lastTargetOpenPath);
    EXPECT_EQ(s->lastTemplateTextureOpenPath, before.lastTemplateTextureOpenPath);
    EXPECT_EQ(s->lastTargetTextureOpenPath, before.lastTargetTextureOpenPath);
    EXPECT_EQ(s->lastSavePath, before.lastSavePath);
    EXPECT_TRUE(journal.names.isEmpty());
    EXPECT_TRUE(QDir(folders[4]).isEmpty());

    // Choosing a file stores its folder and loads it.
    const QString other = TestSupport::writeBoxObj(folders[1] + "/scan.obj", 4, 4, 4);
    DialogSeen chosen;
    {
        ModalDriver driver({TestSupport::chooseFile(other, &chosen)});
        window->targetTools()->loadFileButton()->click();
        EXPECT_EQ(driver.answered(), 1);
    }
    EXPECT_EQ(s->lastTargetOpenPath, folders[1]);
    EXPECT_DOUBLE_EQ(controller->currentScale, 25.0);
}

TEST_F(ModelLoading, ShowTargetCheckBoxAndShadingFlags)
{
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    auto* box = window->findChild<QCheckBox*>();
    ASSERT_NE(box, nullptr);
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(controller->geomStackViewTarget->resultsGeometry->isVisible());
    // A target loaded meanwhile is shown all the same; the box keeps its state.
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    EXPECT_TRUE(controller->geomStackViewTarget->resultsGeometry->isVisible());
    EXPECT_FALSE(box->isChecked());

    // The strip's choice reaches the view; a new template starts shaded with its wire again.
    controller->setShadingParamsTemplate(false, true, false);
    EXPECT_FALSE(controller->geomStackViewTemplate->viewGeometry->shadingGroup(0).wireVisible);
    EXPECT_FALSE(controller->geomStackViewTemplate->viewGeometry->shadingGroup(0).textured);
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    EXPECT_TRUE(controller->geomStackViewTemplate->viewGeometry->shadingGroup(0).wireVisible);
    EXPECT_TRUE(controller->geomStackViewTemplate->viewGeometry->shadingGroup(0).shaded);
    EXPECT_FALSE(controller->shadingParamsTemplate.wireVisible);
}

TEST_F(ModelLoading, ScreenshotWithBothModels)
{
    ASSERT_EQ(controller->loadTemplate(templatePath), "");
    ASSERT_EQ(controller->loadTarget(targetPath), "");
    ASSERT_TRUE(controller->loadTextureTemplate(writeImage("tex.png", QSize(8, 8), QColor(230, 150, 60))));
    window->resize(1024, 768);
    QTest::qWait(300);
    for (QGLWidget* view :
         {static_cast<QGLWidget*>(window->viewport3DTemplate()), static_cast<QGLWidget*>(window->viewport3DTarget()),
          static_cast<QGLWidget*>(window->viewport3DResults())})
        view->updateGL();
    QTest::qWait(300);
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    const QString path = TestSupport::saveFrame(screen, "plyform_window_both_models");
    EXPECT_TRUE(QFile::exists(path));
    // The target's and the template's colours are on the screen.
    const QImage target = TestSupport::renderFrame(window->viewport3DTarget());
    const QImage templ = TestSupport::renderFrame(window->viewport3DTemplate());
    const QColor background = target.pixelColor(2, 2);
    EXPECT_NE(target.pixelColor(target.width() / 2, target.height() / 2), background);
    EXPECT_NE(templ.pixelColor(templ.width() / 2, templ.height() / 2), templ.pixelColor(2, 2));
}

}  // namespace
