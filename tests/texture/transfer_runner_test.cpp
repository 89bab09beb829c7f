// Transfer runner: a threaded run equals a serial one texel for texel, its progress range and end, the limit
// switch, a target texture in another format, and a result image that could not be allocated, reported refused.
#include <gtest/gtest.h>
#include <QSignalSpy>
#include <QThreadPool>
#include <limits>

#include "TransferScenes.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

using TransferScenes::Scene;

namespace {

// Template and target spheres of different sizes and texture layouts.
Scene sphereScene()
{
    return Scene(TransferScenes::sphere(40, 60, 1.0f, 1.0f), TransferScenes::sphere(33, 47, 1.08f, 1.5f),
                 TransferScenes::noiseTexture(97, 61));
}

}  // namespace

TEST(TransferRunner, ThreadedRunEqualsSerialRunTexelForTexel)
{
    ASSERT_GT(QThreadPool::globalInstance()->maxThreadCount(), 1);
    Scene scene = sphereScene();
    scene.excluded = QVector<bool>(scene.source.triangles.size(), false);
    for (int i = 0; i < scene.excluded.size(); i += 7)
        scene.excluded[i] = true;
    const QImage serial = scene.transferSerially(301, 203, 0.5);

    auto runner = scene.runner();
    QSignalSpy range(runner.get(), &TextureTransfer::TextureTransferThreaded::rangeChanged);
    QSignalSpy status(runner.get(), &TextureTransfer::TextureTransferThreaded::statusChanged);
    QImage result(301, 203, QImage::Format_ARGB32);
    result.fill(Qt::red);  // the run clears it first
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, result, true, 0.5));
    EXPECT_EQ(result, serial);
    int filled = 0;
    for (int y = 0; y < serial.height(); ++y)
        for (int x = 0; x < serial.width(); ++x)
            filled += qAlpha(serial.pixel(x, y)) == 255;
    EXPECT_GT(filled, serial.width() * serial.height() / 2);
    ASSERT_GE(range.count(), 1);
    EXPECT_EQ(range.first(), QList<QVariant>({0, 301 * 203}));
    ASSERT_GE(status.count(), 1);
    EXPECT_EQ(status.last().first().toInt(), 301 * 203);

    // A second run on the same runner (the mode runs many) gives the same image.
    QImage again(301, 203, QImage::Format_ARGB32);
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, again, true, 0.5));
    EXPECT_EQ(again, serial);
}

TEST(TransferRunner, TwoByTwoOutputReportsFourTexels)
{
    Scene scene(TransferScenes::planarGrid(2, 0), TransferScenes::planarGrid(2, 0.5f),
                TransferScenes::gradientTexture(8, 8));
    auto runner = scene.runner();
    QSignalSpy range(runner.get(), &TextureTransfer::TextureTransferThreaded::rangeChanged);
    QImage result(2, 2, QImage::Format_ARGB32);
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, result, false, 0));
    ASSERT_GE(range.count(), 1);
    EXPECT_EQ(range.first(), QList<QVariant>({0, 4}));
    EXPECT_EQ(result, scene.transferSerially(2, 2, 1));
}

TEST(TransferRunner, LimitOffReachesAnyDistanceAndLimitOnStopsAtIt)
{
    Scene scene(TransferScenes::planarGrid(2, 0), TransferScenes::planarGrid(2, 1e6f),
                TransferScenes::gradientTexture(8, 8));
    auto runner = scene.runner();
    QImage result(4, 4, QImage::Format_ARGB32);
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, result, false, 1.0));  // the limit is ignored
    EXPECT_EQ(qAlpha(result.pixel(1, 1)), 255);
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, result, true, 1.0));
    EXPECT_EQ(result.pixel(1, 1), 0u);
}

TEST(TransferRunner, TargetTextureInAnotherFormatIsReadAsIts32BitForm)
{
    Scene scene = sphereScene();
    const QImage expected = scene.transferSerially(64, 48, 1);
    for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888,
                                  QImage::Format_Grayscale8}) {
        SCOPED_TRACE(int(format));
        Scene other = sphereScene();
        other.texture = other.texture.convertToFormat(format);
        auto runner = other.runner();
        QImage result(64, 48, QImage::Format_ARGB32);
        ASSERT_TRUE(TransferScenes::runThreaded(*runner, result, true, 1));
        if (format == QImage::Format_Grayscale8) {
            // Grey texels: only check that the run read something.
            EXPECT_EQ(qAlpha(result.pixel(32, 24)), 255);
            EXPECT_EQ(qRed(result.pixel(32, 24)), qGreen(result.pixel(32, 24)));
        } else {
            EXPECT_EQ(result, expected);
        }
        EXPECT_EQ(other.texture.format(), format);  // the target's own texture is left as it was
    }
}

TEST(TransferRunner, ResultImageThatCouldNotBeAllocatedIsRefusedAndTheRunStillEnds)
{
    Scene scene(TransferScenes::planarGrid(2, 0), TransferScenes::planarGrid(2, 0.5f),
                TransferScenes::gradientTexture(8, 8));
    auto runner = scene.runner();
    QSignalSpy range(runner.get(), &TextureTransfer::TextureTransferThreaded::rangeChanged);
    QSignalSpy refused(runner.get(), &TextureTransfer::TextureTransferThreaded::transferRefused);
    QStringList order;
    QObject::connect(runner.get(), &TextureTransfer::TextureTransferThreaded::transferRefused,
                     [&order] { order << "refused"; });
    QObject::connect(runner.get(), &TextureTransfer::TextureTransferThreaded::transferFinished,
                     [&order] { order << "finished"; });
    TestSupport::LogCapture log;
    QImage unallocated;  // what QImage(30000, 30000, ...) gives when memory runs out
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, unallocated, false, 0));
    EXPECT_TRUE(unallocated.isNull());
    EXPECT_TRUE(log.contains("Texture transfer refused")) << log.texts().join("\n").toStdString();
    EXPECT_EQ(range.count(), 0);
    // Its owner learns that nothing was transferred, before the end.
    ASSERT_EQ(refused.count(), 1);
    EXPECT_EQ(refused.first().first().toString(), "the result image could not be allocated");
    EXPECT_EQ(order, QStringList({"refused", "finished"}));
    // The next run that can start is not reported refused.
    QImage result(2, 2, QImage::Format_ARGB32);
    ASSERT_TRUE(TransferScenes::runThreaded(*runner, result, false, 0));
    EXPECT_EQ(refused.count(), 1);
    EXPECT_EQ(result, scene.transferSerially(2, 2, 1));
}
