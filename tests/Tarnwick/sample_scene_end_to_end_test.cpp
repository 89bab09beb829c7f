// The hand sample scene end to end: dialog at start, registration with its landmarks, Done, texture transfer with
// hole filling, Done and save; the saved texture holds the scan's painted function at the template's rest positions.
#include "SampleObj.h"
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolTextureTransfer.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/demopainting.h"
#include "Tarnwick/demoscenes.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/widgetparamsnonrigidregistration.h"
#include "mesh/GeomStack.h"
#include "mesh/ObjFileImport.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"
#include "support/SurfaceDistance.h"
#include "support/TestMeshes.h"
#include "texture/ControllerTextureTransfer.h"
#include "texture/WidgetParamsTextureTransfer.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

using Obj = TestSupport::SampleObj;
using TestMeshes::largestExtent;

// How far a texture is from the painted function of the template's rest positions, over the texels whose centres
// lie in a texture triangle of the template: all the transfer covers, and also those over the scan's holes, which
// only hole filling colours. `errors` shows each texel's summed difference (times 16/3, grey; blue off the charts).
struct TextureComparison {
    double meanDifference = 0.0;  // per channel, of 255
    int covered = 0;
    int opaque = 0;
    QImage errors;
};

TextureComparison compareWithPaint(const QImage& texture, const Obj& rest, double size)
{
    TextureComparison result;
    const int w = texture.width(), h = texture.height();
    result.errors = QImage(w, h, QImage::Format_RGB32);
    result.errors.fill(Qt::blue);
    QVector<bool> seen(w * h, false);
    double sum = 0.0;
    for (int p = 0; p < rest.polygons.size(); ++p) {
        const QList<int>& polygon = rest.polygons[p];
        const QList<int>& uvs = rest.texturePolygons[p];
        for (int k = 1; k + 1 < polygon.size(); ++k) {
            const int corner[3] = {0, k, k + 1};
            QVector2D t[3];
            QVector3D x[3];
            for (int c = 0; c < 3; ++c) {
                // Texel rows run down the image, v up the texture.
                const QVector2D uv = rest.textureVertices[uvs[corner[c]]];
                t[c] = QVector2D(uv.x() * w, (1.0f - uv.y()) * h);
                x[c] = rest.vertices[polygon[corner[c]]];
            }
            const float area =
                (t[1].x() - t[0].x()) * (t[2].y() - t[0].y()) - (t[2].x() - t[0].x()) * (t[1].y() - t[0].y());
            if (std::fabs(area) < 1e-9f)
                continue;
            const int x0 = std::max(0, int(std::floor(std::min({t[0].x(), t[1].x(), t[2].x()}))));
            const int x1 = std::min(w - 1, int(std::ceil(std::max({t[0].x(), t[1].x(), t[2].x()}))));
            const int y0 = std::max(0, int(std::floor(std::min({t[0].y(), t[1].y(), t[2].y()}))));
            const int y1 = std::min(h - 1, int(std::ceil(std::max({t[0].y(), t[1].y(), t[2].y()}))));
            for (int py = y0; py <= y1; ++py)
                for (int px = x0; px <= x1; ++px) {
                    if (seen[py * w + px])
                        continue;
                    const QVector2D q(px + 0.5f, py + 0.5f);
                    const float b1 =
                        ((q.x() - t[0].x()) * (t[2].y() - t[0].y()) - (t[2].x() - t[0].x()) * (q.y() - t[0].y())) /
                        area;
                    const float b2 =
                        ((t[1].x() - t[0].x()) * (q.y() - t[0].y()) - (q.x() - t[0].x()) * (t[1].y() - t[0].y())) /
                        area;
                    const float b0 = 1.0f - b1 - b2;
                    if (b0 < 0 || b1 < 0 || b2 < 0)
                        continue;
                    seen[py * w + px] = true;
                    const QRgb want = DemoScenes::paintedColour(b0 * x[0] + b1 * x[1] + b2 * x[2], size);
                    const QRgb got = texture.pixel(px, py);
                    const int d = std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)) +
                                  std::abs(qBlue(got) - qBlue(want));
                    sum += d;
                    ++result.covered;
                    result.opaque += qAlpha(got) == 255;
                    const int grey = std::min(255, d * 16 / 3);
                    result.errors.setPixel(px, py, qRgb(grey, grey, grey));
                }
        }
    }
    if (result.covered > 0)
        result.meanDifference = sum / (3.0 * result.covered);
    return result;
}

// The dialog reads the scenes beside the executable; this program lies in a folder of its own, so its link is
// not switched by the other programs that read scenes.
::testing::AssertionResult linkScenes()
{
    const QString link = QCoreApplication::applicationDirPath() + "/DemoModels";
    QFile::remove(link);
    if (!QFile::link(PLYFORM_DEMO_MODELS_DIR, link))
        return ::testing::AssertionFailure() << "cannot link " << qPrintable(link);
    return ::testing::AssertionSuccess();
}

TEST(SampleSceneEndToEnd, HandRegistersTransfersWithHoleFillingAndSavesThePaintedTexture)
{
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(linkScenes());
    const DemoScenes::Scene hand = DemoScenes::scenes().at(0);
    ASSERT_EQ(hand.name, "hand");
    const QString models = PLYFORM_DEMO_MODELS_DIR;
    Obj restTemplate;
    ASSERT_TRUE(TestSupport::loadSampleObj(models + "/HandTemplate.obj", restTemplate));

    // An empty settings store: the dialog is shown.
    std::unique_ptr<MainWindow> window;
    DemoDialog* dialog = nullptr;
    ASSERT_TRUE(TestSupport::startWindowWithDemoDialog(window, dialog));
    ASSERT_TRUE(dialog->isVisible());
    ControllerMain* main = window->controllerMain();
    Tools::ToolsController* tools = window->toolsController();

    // The hand: the registration mode with the landmark pairs.
    QTest::mouseClick(dialog->findChild<QToolButton*>("btnLoadDemoHand"), Qt::LeftButton);
    ASSERT_EQ(tools->currentToolIndex(), 1);
    auto* registration = qobject_cast<Tools::ToolNonRigidRegistration*>(tools->tool(1));
    ASSERT_TRUE(registration && registration->controller());
    ControllerNonRigidRegistration* c = registration->controller();
    EXPECT_EQ(c->srcControlPointsList(), hand.templateControlPoints);
    EXPECT_EQ(c->dstControlPointsList(), hand.targetControlPoints);
    ASSERT_EQ(main->geomStackTemplate->vertices.size(), restTemplate.vertices.size());
    // While the mode runs the dialog shows its inactive pictures, in grey tones.
    const QImage dialogShot = dialog->grab().toImage();
    TestSupport::saveFrame(dialogShot, "end_to_end_dialog_during_registration");
    auto* handButton = dialog->findChild<QToolButton*>("btnLoadDemoHand");
    EXPECT_FALSE(handButton->isEnabled());
    const QColor middle = dialogShot.pixelColor(handButton->geometry().center());
    EXPECT_LT(std::abs(middle.blue() - middle.red()), 25) << qPrintable(middle.name());

    // Register, then Done.
    QSignalSpy complete(c, &ControllerNonRigidRegistration::optimizationComplete);
    auto* registerButton = registration->getPanel()->findChild<QAbstractButton*>("btnRestart");
    ASSERT_EQ(registerButton->text(), "Register");
    QElapsedTimer registering;
    registering.start();
    QTest::mouseClick(registerButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return complete.count() == 1 && !c->isRunning(); }, 240000));
    const qint64 registerMs = registering.elapsed();
    TestSupport::saveFrame(TestSupport::renderFrame(main->viewport3DResults), "end_to_end_registered");
    QTest::mouseClick(registration->getPanel()->findChild<QAbstractButton*>("btnDone"), Qt::LeftButton);
    ASSERT_EQ(tools->currentToolIndex(), -1);
    const double diagonal = main->geomStackTarget->boundingBox.size.length();
    const double fit =
        TestMeshes::SurfaceDistance(*main->geomStackTarget).meanDistance(main->geomStackTemplate->vertices) / diagonal;
    EXPECT_LT(fit, 0.005) << "mean distance to the scan over its diagonal";
    // Each landmark pair has met.
    for (int k = 0; k < hand.templateControlPoints.size(); ++k) {
        const QVector3D onTemplate = main->geomStackTemplate->vertices[hand.templateControlPoints[k]];
        const QVector3D onScan = main->geomStackTarget->vertices[hand.targetControlPoints[k]];
        EXPECT_LT((onTemplate - onScan).length() / diagonal, 0.01) << k;
    }

    // The scan's texture, then the texture-transfer mode from its tool bar button, with hole filling.
    ASSERT_TRUE(main->loadTextureTarget(models + "/HandScan.png"));
    QAbstractButton* transferButton = window->toolbar()->buttons.at(2);
    ASSERT_TRUE(transferButton->isEnabled());
    QTest::mouseClick(transferButton, Qt::LeftButton);
    ASSERT_EQ(tools->currentToolIndex(), 2);
    auto* transferTool = qobject_cast<Tools::ToolTextureTransfer*>(tools->tool(2));
    ASSERT_TRUE(transferTool && transferTool->getPanel());
    QWidget* panel = transferTool->getPanel();
    const int extent = 1024;
    panel->findChild<QSpinBox*>("spinWidth")->setValue(extent);
    panel->findChild<QSpinBox*>("spinHeight")->setValue(extent);
    auto* fillHoles = panel->findChild<QAbstractButton*>("radioBtnFillHoles");
    QTest::mouseClick(fillHoles, Qt::LeftButton, Qt::NoModifier, QPoint(6, fillHoles->height() / 2));
    ASSERT_TRUE(fillHoles->isChecked());
    QSignalSpy transferred(transferTool->getController(), &ControllerTextureTransfer::transferFinished);
    QElapsedTimer transferring;
    transferring.start();
    QTest::mouseClick(panel->findChild<QAbstractButton*>("btnTransfer"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return transferred.count() == 1; }, 120000));
    const qint64 transferMs = transferring.elapsed();
    EXPECT_EQ(transferTool->getController()->resultImage()->format(), QImage::Format_RGBA8888);
    TestSupport::saveFrame(TestSupport::renderFrame(main->viewport2D), "end_to_end_transferred");
    QTest::mouseClick(panel->findChild<QAbstractButton*>("btnDone"), Qt::LeftButton);
    ASSERT_EQ(tools->currentToolIndex(), -1);
    ASSERT_TRUE(main->textureTemplate);
    // The template's own view shows the new texture (mostly magenta and cyan, where the plain template is blue).
    const QImage textured = TestSupport::renderFrame(main->viewport3DTemplate);
    TestSupport::saveFrame(textured, "end_to_end_textured");
    int reddish = 0;
    for (int y = 0; y < textured.height(); ++y)
        for (int x = 0; x < textured.width(); ++x) {
            const QColor pixel = textured.pixelColor(x, y);
            reddish += pixel.red() > pixel.green() + 60;
        }
    EXPECT_GT(reddish, textured.width() * textured.height() / 50);

    // Save both and read them back: the file keeps the template's layout in file units.
    QTemporaryDir dir;
    main->saveTemplate(dir.filePath("hand.obj"));
    main->saveTemplateTexture(dir.filePath("hand.png"));
    Obj saved;
    ASSERT_TRUE(TestSupport::loadSampleObj(dir.filePath("hand.obj"), saved));
    EXPECT_EQ(saved.polygons, restTemplate.polygons);
    EXPECT_EQ(saved.texturePolygons, restTemplate.texturePolygons);
    ASSERT_EQ(saved.textureVertices.size(), restTemplate.textureVertices.size());
    for (int i = 0; i < saved.textureVertices.size(); ++i)
        ASSERT_LT((saved.textureVertices[i] - restTemplate.textureVertices[i]).length(), 1e-5f) << i;
    ASSERT_EQ(saved.vertices.size(), restTemplate.vertices.size());
    for (int i = 0; i < saved.vertices.size(); i += 97)
        ASSERT_LT((saved.vertices[i] - main->geomStackTemplate->vertices[i] / float(main->currentScale)).length(),
                  1e-3f * largestExtent(restTemplate.vertices))
            << i;
    const QImage texture = QImage(dir.filePath("hand.png")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(texture.size(), QSize(extent, extent));
    TestSupport::saveFrame(texture, "end_to_end_saved_texture");

    const TextureComparison comparison =
        compareWithPaint(texture, restTemplate, double(largestExtent(restTemplate.vertices)));
    TestSupport::saveFrame(comparison.errors, "end_to_end_texture_error");
    EXPECT_GT(comparison.covered, extent * extent / 4);
    EXPECT_EQ(comparison.opaque, comparison.covered) << "hole filling leaves no covered texel empty";
    EXPECT_LE(comparison.meanDifference, 3.0);
    std::printf(
        "fit %.5f of the diagonal, mean texel difference %.3f of 255 over %d texels; register %lld ms, "
        "transfer %lld ms, whole test %lld ms\n",
        fit, comparison.meanDifference, comparison.covered, static_cast<long long>(registerMs),
        static_cast<long long>(transferMs), static_cast<long long>(clock.elapsed()));
    window->close();
}

}  // namespace
