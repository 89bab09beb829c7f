// Texture-transfer mode: a texture painted as a known function of position carried onto the template with padding
// and with hole filling and saved, exclusion, the panel's states, Done without a transfer, Cancel, the view swap,
// and requests refused for their size (also under an address-space limit) that leave everything as it was.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolTextureTransfer.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "editing/polygonselectioncontroller.h"
#include "mesh/GeomStack.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/TestMeshes.h"
#include "texture/ControllerTextureTransfer.h"
#include "texture/TransferMemory.h"
#include "texture/WidgetParamsTextureTransfer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QAbstractButton>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QProgressBar>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

namespace {

// The colour painted at a point (x, y) of the unit square.
QRgb paint(double x, double y)
{
    return qRgba(int(30 + 190 * x), int(30 + 190 * y), int(128 + 60 * std::sin(3 * x) * std::cos(2 * y)), 255);
}

// The template's texture island: uv = offset + scale (x, y).
constexpr double kUvOffset = 0.15, kUvScale = 0.7;
constexpr int kSize = 128;

// An n x n quad grid over the unit square at height z, uv = offset + scale (x, y).
bool writeGrid(const QString& path, int n, double z, double uvOffset, double uvScale)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const double x = double(i) / n, y = double(j) / n;
            text += QStringLiteral("v %1 %2 %3\n").arg(x).arg(y).arg(z).toLatin1();
            text += QStringLiteral("vt %1 %2\n").arg(uvOffset + uvScale * x).arg(uvOffset + uvScale * y).toLatin1();
        }
    for (const QList<int>& quad : TestMeshes::gridFaces(n + 1, n + 1, TestMeshes::Cut::Quad, 1)) {
        text += "f";
        for (int k : quad)
            text += QStringLiteral(" %1/%1").arg(k).toLatin1();
        text += "\n";
    }
    return file.write(text) == text.size();
}

// Which template polygon of an n x n grid lies under the texel, -1 off the island (one texel of margin).
int polygonUnderTexel(int px, int row, int n)
{
    const double u = double(px) / kSize, v = double(kSize - 1 - row) / kSize;
    const double x = (u - kUvOffset) / kUvScale, y = (v - kUvOffset) / kUvScale;
    const double margin = 1.5 / (kSize * kUvScale);
    if (x < margin || y < margin || x > 1 - margin || y > 1 - margin)
        return -1;
    return int(y * n) * n + int(x * n);
}

constexpr int kGrid = 4;

struct TextureTransferMode : TestSupport::WindowTest {
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowTest::SetUp());
        // The target lies a little above the template, with the whole texture on it.
        ASSERT_TRUE(writeGrid(dir.filePath("template.obj"), kGrid, 0.0, kUvOffset, kUvScale));
        ASSERT_TRUE(writeGrid(dir.filePath("target.obj"), 9, 0.01, 0.0, 1.0));
        QImage texture(256, 256, QImage::Format_ARGB32);
        for (int j = 0; j < 256; ++j)
            for (int i = 0; i < 256; ++i)
                texture.setPixel(i, j, paint(i / 256.0, 1.0 - j / 256.0));
        ASSERT_TRUE(texture.save(dir.filePath("target.png")));
        QImage old(16, 16, QImage::Format_ARGB32);
        old.fill(QColor(10, 200, 30));
        ASSERT_TRUE(old.save(dir.filePath("old.png")));
        ASSERT_EQ(main->loadTemplate(dir.filePath("template.obj")), "");
        ASSERT_EQ(main->loadTarget(dir.filePath("target.obj")), "");
        ASSERT_TRUE(main->loadTextureTarget(dir.filePath("target.png")));
    }

    int toolIndex() const
    {
        for (int i = 0; i < window->toolsController()->toolCount(); ++i)
            if (qobject_cast<Tools::ToolTextureTransfer*>(window->toolsController()->tool(i)))
                return i;
        return -1;
    }
    Tools::ToolTextureTransfer* tool() const
    {
        return qobject_cast<Tools::ToolTextureTransfer*>(window->toolsController()->tool(toolIndex()));
    }
    ControllerTextureTransfer* controller() const { return tool()->getController(); }
    template <typename T = QAbstractButton>
    T* child(const char* name) const
    {
        return tool()->getPanel()->findChild<T*>(name);
    }
    void enter() { window->toolsController()->initializeTool(toolIndex()); }
    void done() { QTest::mouseClick(child("btnDone"), Qt::LeftButton); }
    void cancel() { window->toolsController()->releaseTool(toolIndex(), Tools::Cancel); }

    // Sets the panel to a small image and the given post-processing, clicks Transfer and waits for everything.
    void transfer(bool fillHoles, int padding = 5, int size = kSize)
    {
        child<QSpinBox>("spinWidth")->setValue(size);
        child<QSpinBox>("spinHeight")->setValue(size);
        child<QSpinBox>("spinPadding")->setValue(padding);
        // On the indicator: a radio button stretched by its layout takes no click beyond its label.
        QWidget* choice = child(fillHoles ? "radioBtnFillHoles" : "radioBtnPadding");
        QTest::mouseClick(choice, Qt::LeftButton, Qt::NoModifier, QPoint(6, choice->height() / 2));
        ASSERT_TRUE(qobject_cast<QAbstractButton*>(choice)->isChecked());
        QSignalSpy finished(controller(), &ControllerTextureTransfer::transferFinished);
        QSignalSpy padded(controller(), &ControllerTextureTransfer::paddingFinished);
        QTest::mouseClick(child("btnTransfer"), Qt::LeftButton);
        EXPECT_TRUE(tool()->isComputing());
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 60000));
        if (!fillHoles) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return padded.count() == 1; }, 60000));
        }
        EXPECT_FALSE(tool()->isComputing());
    }

    // Asks for width x height, clicks Transfer and answers the warning box that should follow; returns what it showed
    // once the mode is idle again.
    TestSupport::BoxSeen refusedTransfer(int width, int height)
    {
        child<QSpinBox>("spinWidth")->setValue(width);
        child<QSpinBox>("spinHeight")->setValue(height);
        TestSupport::BoxSeen box;
        TestSupport::ModalDriver driver({TestSupport::answerBox(&box, window.get())});
        QSignalSpy started(controller(), &ControllerTextureTransfer::transferStarted);
        QTest::mouseClick(child("btnTransfer"), Qt::LeftButton);
        EXPECT_EQ(driver.answered(), 1);
        EXPECT_EQ(started.count(), 0);
        // Whatever a run that did start leaves behind has happened before the test goes on.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !tool()->isComputing(); }, 120000));
        EXPECT_TRUE(child("btnTransfer")->isEnabled() && child("btnDone")->isEnabled());
        return box;
    }

    // Excludes the given template polygons through the panel's toggle.
    void exclude(const QVector<int>& polygons)
    {
        QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
        ASSERT_TRUE(controller()->selectionController());
        QVector<bool> mask(kGrid * kGrid, false);
        for (int p : polygons)
            mask[p] = true;
        controller()->selectionController()->setSelection(mask);
        QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    }

    QImage saved()
    {
        main->saveTemplateTexture(dir.filePath("saved.png"));
        return QImage(dir.filePath("saved.png")).convertToFormat(QImage::Format_ARGB32);
    }

    bool resultsShown() const
    {
        return main->viewport3DResults->isVisible() && main->viewportResultsToolsWidget->isVisible() &&
               !main->viewport2D->isVisible();
    }
};

// Mean per-channel difference from the painted function over the island's texels off the excluded polygons; those
// must be transparent.
void expectPainted(const QImage& image, const QVector<int>& excluded = {})
{
    ASSERT_EQ(image.size(), QSize(kSize, kSize));
    double sum = 0;
    int count = 0;
    for (int row = 0; row < kSize; ++row)
        for (int px = 0; px < kSize; ++px) {
            const int polygon = polygonUnderTexel(px, row, kGrid);
            if (polygon < 0)
                continue;
            const QRgb got = image.pixel(px, row);
            // A texel on an edge of an excluded polygon may fall to either side.
            const double u = double(px) / kSize, v = double(kSize - 1 - row) / kSize;
            const double fx = (u - kUvOffset) / kUvScale * kGrid, fy = (v - kUvOffset) / kUvScale * kGrid;
            const double edge = 2.0 * kGrid / (kSize * kUvScale);
            const bool onEdge = std::fabs(fx - std::round(fx)) <= edge || std::fabs(fy - std::round(fy)) <= edge;
            if (!excluded.isEmpty() && onEdge)
                continue;
            if (excluded.contains(polygon)) {
                EXPECT_EQ(qAlpha(got), 0) << px << "," << row;
                continue;
            }
            const QRgb want = paint((u - kUvOffset) / kUvScale, (v - kUvOffset) / kUvScale);
            ASSERT_EQ(qAlpha(got), 255) << px << "," << row;
            sum += std::abs(qRed(got) - qRed(want)) + std::abs(qGreen(got) - qGreen(want)) +
                   std::abs(qBlue(got) - qBlue(want));
            count += 3;
        }
    ASSERT_GT(count, 0);
    EXPECT_LT(sum / count, 3.0);
}

TEST_F(TextureTransferMode, PanelOpensAsTheDefaultsAndTheViewsSwap)
{
    ASSERT_GE(toolIndex(), 0);
    EXPECT_EQ(window->toolsController()->toolName(toolIndex()), "Texture trasfer");
    EXPECT_TRUE(tool()->isAvailable());
    TestSupport::LogCapture log;
    enter();
    EXPECT_TRUE(log.texts().contains("log: Enter TextureTransfer mode"));
    EXPECT_TRUE(log.texts().contains("log: TextureTransfer mode entered"));
    EXPECT_TRUE(main->viewport2D->isVisible());
    EXPECT_FALSE(main->viewport3DResults->isVisible());
    EXPECT_FALSE(main->viewportResultsToolsWidget->isVisible());

    EXPECT_EQ(child<QSpinBox>("spinWidth")->value(), 2048);
    EXPECT_EQ(child<QSpinBox>("spinHeight")->value(), 2048);
    EXPECT_FALSE(child<QCheckBox>("chkDistance")->isChecked());
    EXPECT_FALSE(child<QDoubleSpinBox>("spinDistance")->isEnabled());
    EXPECT_DOUBLE_EQ(child<QDoubleSpinBox>("spinDistance")->value(), 3.0);
    EXPECT_TRUE(child("radioBtnFillHoles")->isChecked());
    EXPECT_FALSE(child<QSpinBox>("spinPadding")->isEnabled());
    EXPECT_EQ(child<QSpinBox>("spinPadding")->value(), 5);
    EXPECT_EQ(child<QProgressBar>("progressBar")->value(), 0);

    // Excluding: Transfer, Done and the parameters off, the post-processing still usable; the tool edits.
    QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    EXPECT_TRUE(tool()->isEditing());
    EXPECT_FALSE(child("btnDone")->isEnabled());
    EXPECT_FALSE(child("btnTransfer")->isEnabled());
    EXPECT_FALSE(child<QGroupBox>("groupBoxParameters")->isEnabled());
    EXPECT_TRUE(child<QGroupBox>("groupBox")->isEnabled());
    QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    EXPECT_FALSE(tool()->isEditing());
    EXPECT_TRUE(child("btnDone")->isEnabled() && child("btnTransfer")->isEnabled());
    EXPECT_TRUE(child<QGroupBox>("groupBoxParameters")->isEnabled());

    // The limit off still logs three medians.
    log.clear();
    transfer(true);
    const QString expected = QStringLiteral("maxDistance: %1").arg(3 * controller()->medianDistance());
    EXPECT_TRUE(log.texts().contains(expected)) << log.texts().join("\n").toStdString();
    cancel();
    EXPECT_TRUE(resultsShown());
    enter();
    done();
    EXPECT_TRUE(resultsShown());
    EXPECT_EQ(tool()->getPanel(), nullptr);
}

TEST_F(TextureTransferMode, HoleFillingThenDoneSavesThePaintedFunction)
{
    enter();
    transfer(true);
    EXPECT_EQ(controller()->resultImage()->format(), QImage::Format_RGBA8888);
    done();
    ASSERT_TRUE(main->textureTemplate);
    const QImage image = saved();
    expectPainted(image);
    // Hole filling leaves no texel empty.
    for (int row = 0; row < kSize; row += 7)
        for (int px = 0; px < kSize; px += 7)
            EXPECT_EQ(qAlpha(image.pixel(px, row)), 255);
}

// A transfer with padding, then one with hole filling in the same visit: the second ends as well.
TEST_F(TextureTransferMode, HoleFillingAfterAPaddedTransferEnds)
{
    enter();
    transfer(false, 0);
    transfer(true);
    EXPECT_EQ(controller()->resultImage()->format(), QImage::Format_RGBA8888);
    cancel();
}

TEST_F(TextureTransferMode, PaddingGrowsTheIslandAndExcludedPolygonsStayEmpty)
{
    enter();
    QSignalSpy started(controller(), &ControllerTextureTransfer::paddingStarted);
    transfer(false, 3);
    EXPECT_EQ(started.count(), 1);
    expectPainted(*controller()->resultImage());
    // Three rings of padding around the island, nothing farther.
    const QImage padded = *controller()->resultImage();
    const int left = int(std::ceil(kUvOffset * kSize));
    EXPECT_EQ(qAlpha(padded.pixel(left - 3, kSize / 2)), 255);
    EXPECT_EQ(qAlpha(padded.pixel(left - 6, kSize / 2)), 0);

    // Excluded polygons: padding 0 keeps their texels empty through Done and save.
    exclude({5, 6, 10});
    transfer(false, 0);
    done();
    expectPainted(saved(), {5, 6, 10});

    // The next visit starts with nothing excluded; within a visit the step starts from the last exclusion.
    enter();
    EXPECT_TRUE(controller()->excludedPolygonMask().count(true) == 0);
    exclude({3});
    QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    QVector<bool> expected(kGrid * kGrid, false);
    expected[3] = true;
    EXPECT_EQ(controller()->selectionController()->selection(), expected);
    QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    cancel();
}

TEST_F(TextureTransferMode, DoneWithoutTransferKeepsAndCancelRestoresTheOldTexture)
{
    ASSERT_TRUE(main->loadTextureTemplate(dir.filePath("old.png")));
    const QImage old = *main->textureTemplate;
    enter();
    done();
    ASSERT_TRUE(main->textureTemplate);
    EXPECT_EQ(*main->textureTemplate, old);
    EXPECT_TRUE(resultsShown());

    enter();
    transfer(true);
    cancel();
    ASSERT_TRUE(main->textureTemplate);
    EXPECT_EQ(*main->textureTemplate, old);
    EXPECT_NE(main->geomStackViewTemplate->viewGeometry->texture, nullptr);
    EXPECT_TRUE(resultsShown());
}

TEST_F(TextureTransferMode, HiddenPolygonsShowAgainWhenTheModeEnds)
{
    Viewport3D::GLGeometrySplitted* geometry = main->geomStackViewTemplate->viewGeometry;
    const auto visibleCorners = [&] {
        int sum = 0;
        for (int c : geometry->runCounts[0])
            sum += c;
        return sum;
    };
    const int all = visibleCorners();
    const int groups = geometry->shadingGroupsCount();
    enter();
    EXPECT_EQ(geometry->shadingGroupsCount(), groups + 1);
    QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    QVector<bool> mask(kGrid * kGrid, false);
    mask[0] = mask[1] = true;
    controller()->selectionController()->setSelection(mask);
    controller()->selectionController()->hideSelected();
    QTest::mouseClick(child("btnExcludePolygons"), Qt::LeftButton);
    EXPECT_LT(visibleCorners(), all);
    cancel();
    EXPECT_EQ(geometry->shadingGroupsCount(), groups);
    EXPECT_EQ(visibleCorners(), all);
}

TEST_F(TextureTransferMode, TransparentResultWithHoleFillingLogsAndKeepsTheImage)
{
    enter();
    // Everything excluded: the transfer fills nothing.
    QVector<int> every;
    for (int p = 0; p < kGrid * kGrid; ++p)
        every.append(p);
    exclude(every);
    TestSupport::LogCapture log;
    transfer(true);
    const QStringList texts = log.texts();
    const int transparent = texts.indexOf("ERROR: Transparent texture");
    ASSERT_GE(transparent, 0);
    EXPECT_EQ(texts.indexOf("Failed to extrapolate image"), transparent + 1);
    EXPECT_EQ(controller()->resultImage()->format(), QImage::Format_ARGB32);
    cancel();
}

}  // namespace

namespace {

// Closing the window while the transfer or the padding runs waits for the threads; nothing follows from them.
TEST_F(TextureTransferMode, ClosingDuringTransferOrPaddingWaitsForTheThreads)
{
    for (const bool duringPadding : {false, true}) {
        if (!window) {
            SetUp();
            if (HasFatalFailure())
                return;
        }
        enter();
        child<QSpinBox>("spinWidth")->setValue(1024);
        child<QSpinBox>("spinHeight")->setValue(1024);
        child<QSpinBox>("spinPadding")->setValue(1000);
        QTest::mouseClick(child("radioBtnPadding"), Qt::LeftButton);
        QSignalSpy padding(controller(), &ControllerTextureTransfer::paddingStarted);
        TestSupport::LogCapture log;
        QTest::mouseClick(child("btnTransfer"), Qt::LeftButton);
        if (duringPadding) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return padding.count() == 1; }, 60000));
        }
        ASSERT_TRUE(tool()->isComputing());
        window->close();
        const QStringList before = log.texts();
        QTest::qWait(100);
        EXPECT_EQ(log.texts().filter("finished").size(), before.filter("finished").size()) << duringPadding;
        window.reset();
    }
}

}  // namespace

namespace {

// A request refused for its size changes nothing: Done keeps the template's texture, or the last finished result.
TEST_F(TextureTransferMode, RefusedTransferLeavesTheModeAsIfItHadNotRun)
{
    ASSERT_TRUE(main->loadTextureTemplate(dir.filePath("old.png")));
    const QImage old = main->textureTemplate->copy();
    enter();
    TestSupport::LogCapture log;
    // One texel row more than a transfer can have work items for.
    const TestSupport::BoxSeen box = refusedTransfer(11586, 11586);
    EXPECT_EQ(box.title, "Texture too large");
    EXPECT_TRUE(box.text.startsWith("A texture of 11586 x 11586 texels has more texels than one transfer can make"))
        << box.text.toStdString();
    EXPECT_TRUE(box.text.endsWith("\nChoose a smaller resolution.")) << box.text.toStdString();
    EXPECT_TRUE(box.warning && box.singleOk && box.parentIsWindow);
    EXPECT_TRUE(
        log.texts(QtWarningMsg).contains("Texture transfer refused: 11586 x 11586 texels are too many work items"))
        << log.texts().join("\n").toStdString();
    EXPECT_FALSE(log.contains("Transfer finished"));
    EXPECT_FALSE(controller()->isTransferred());
    EXPECT_EQ(controller()->resultImage(), nullptr);
    done();
    ASSERT_TRUE(main->isTemplateTextureLoaded());
    EXPECT_EQ(*main->textureTemplate, old);
    EXPECT_NE(main->geomStackViewTemplate->viewGeometry->texture, nullptr);

    // After a finished transfer a refused one keeps that result, and Done applies it.
    enter();
    transfer(false, 0);
    const QImage result = controller()->resultImage()->copy();
    refusedTransfer(12000, 12000);
    ASSERT_TRUE(controller()->isTransferred() && controller()->resultImage());
    EXPECT_EQ(*controller()->resultImage(), result);
    done();
    ASSERT_TRUE(main->isTemplateTextureLoaded());
    EXPECT_EQ(*main->textureTemplate, result);
}

// A field of /proc/self/status in kB (VmPeak, VmSize), -1 when missing.
qint64 statusKb(const QByteArray& field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Run only as a child: the address-space limit would hold for the rest of the program.
TEST_F(TextureTransferMode, DISABLED_UnderAnAddressSpaceLimit)
{
    ASSERT_TRUE(main->loadTextureTemplate(dir.filePath("old.png")));
    const QImage old = main->textureTemplate->copy();
    enter();
    // Room for what a 2048 x 2048 transfer with hole filling is estimated to take (and the few pages the window may
    // take meanwhile), far from enough for 10000 x 10000.
    const qint64 room = TextureTransfer::transferPeakBytes(2048, 2048, 1) + (16 << 20);
    ASSERT_GT(TextureTransfer::transferPeakBytes(10000, 10000, 1), 4 * room);
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &limit), 0);
    const auto leaveRoom = [&] {
        limit.rlim_cur = rlim_t(statusKb("VmSize") * 1024 + room);
        return setrlimit(RLIMIT_AS, &limit) == 0;
    };
    ASSERT_TRUE(leaveRoom());
    const qint64 left = TextureTransfer::memoryLeftForProcess();
    EXPECT_LE(left, room);
    EXPECT_GT(left, room - (16 << 20));

    TestSupport::LogCapture log;
    const qint64 peakBefore = statusKb("VmPeak");
    const TestSupport::BoxSeen box = refusedTransfer(10000, 10000);
    // Nothing of the size asked for was ever taken, nor tried.
    EXPECT_LT(statusKb("VmPeak") - peakBefore, 64 * 1024);
    EXPECT_FALSE(log.contains("out of memory")) << log.texts().join("\n").toStdString();
    EXPECT_TRUE(box.text.startsWith("A texture of 10000 x 10000 texels needs about ")) << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(" of memory during the transfer, but only ")) << box.text.toStdString();
    EXPECT_TRUE(log.texts(QtWarningMsg).filter("Texture transfer refused: 10000 x 10000 texels need about ").size() ==
                1)
        << log.texts().join("\n").toStdString();
    EXPECT_FALSE(controller()->isTransferred());
    done();
    ASSERT_TRUE(main->isTemplateTextureLoaded());
    EXPECT_EQ(*main->textureTemplate, old);

    // With just the estimated room left, a request runs to its end, hole filling included, and Done applies it.
    enter();
    ASSERT_TRUE(leaveRoom());
    log.clear();
    transfer(true, 5, 2048);
    EXPECT_FALSE(log.contains("refused")) << log.texts().join("\n").toStdString();
    EXPECT_FALSE(log.contains("Failed to extrapolate image")) << log.texts().join("\n").toStdString();
    ASSERT_TRUE(controller()->isTransferred());
    EXPECT_EQ(controller()->resultImage()->size(), QSize(2048, 2048));
    done();
    ASSERT_TRUE(main->isTemplateTextureLoaded());
    EXPECT_EQ(main->textureTemplate->size(), QSize(2048, 2048));
}

TEST(TextureTransferModeMemory, OversizedRequestIsRefusedBeforeItsMemoryIsTakenUnderAnAddressSpaceLimit)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's allocator does not work under an address-space limit";
#endif
    const TestSupport::ChildRun run =
        TestSupport::runTestsInChild("TextureTransferMode.DISABLED_UnderAnAddressSpaceLimit", {}, 240000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, QProcess::NormalExit) << run.standardError.constData();
    EXPECT_EQ(run.exitCode, 0) << run.standardOutput.constData();
    EXPECT_TRUE(run.standardOutput.contains("PASSED  ] 1 test")) << run.standardOutput.constData();
}

}  // namespace
