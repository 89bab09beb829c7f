// Texture transfer engine at the panel's default size (2048 x 2048): the threaded transfer from a
// 100k-vertex textured scan onto a 10k-vertex template (8 and 2 pool threads, and all cores), padding of 5,
// and the GPU hole filling on whatever GL the display offers (Mesa's software renderer under xvfb-run).
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>
#include <cmath>
#include <memory>

#include "bench/bench_support.h"
#include "mesh/GeomStack.h"
#include "tests/texture/TransferScenes.h"
#include "texture/ColorExtrapolation/ColorExtrapolator.h"
#include "texture/PaddingMaker.h"
#include "texture/TextureTransferThreaded.h"

namespace {

const int kSize = 2048;

QImage checkerTexture()
{
    QImage texture(kSize, kSize, QImage::Format_ARGB32);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            texture.setPixel(x, y, qRgb(x / 8, y / 8, ((x / 64 + y / 64) % 2) * 255));
    return texture;
}

struct Scene {
    Scene()
        : pair(TransferScenes::bumpySphere(100, 100, 48, 0.0f, 0.01f),  // 10,201 vertices
               TransferScenes::bumpySphere(250, 400, 50, 0.03f, 0),     // 100,651 vertices
               checkerTexture()),
          runner(pair.runner())
    {}

    // One whole run, events processed as the GUI thread would; returns the seconds.
    double transfer(QImage& result)
    {
        bool finished = false;
        const auto connection =
            QObject::connect(runner.get(), &TextureTransfer::TextureTransferThreaded::transferFinished,
                             [&finished] { finished = true; });
        QElapsedTimer timer;
        timer.start();
        runner->setResultImage(&result);
        runner->startTextureTransfer(0, false, 0);
        while (!finished)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = timer.nsecsElapsed() * 1e-9;
        QObject::disconnect(connection);
        return seconds;
    }

    TransferScenes::Scene pair;
    std::unique_ptr<TextureTransfer::TextureTransferThreaded> runner;
    QImage transferred;
};

Scene* scene = nullptr;

void BM_Transfer(benchmark::State& state)
{
    const int threads = state.range(0) > 0 ? int(state.range(0)) : QThread::idealThreadCount();
    QThreadPool::globalInstance()->setMaxThreadCount(threads);
    QImage result(kSize, kSize, QImage::Format_ARGB32);
    const double cpuStart = BenchSupport::cpuSeconds();
    for (auto _ : state)
        state.SetIterationTime(scene->transfer(result));
    state.counters["cpu_s_per_run"] = (BenchSupport::cpuSeconds() - cpuStart) / double(state.iterations());
    QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount());
    state.counters["threads"] = threads;
    scene->transferred = result;
}

void BM_Padding5(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        QImage image = scene->transferred.copy();
        state.ResumeTiming();
        PaddingMaker maker(&image, 5, nullptr);
        maker.start();
        maker.wait();
    }
}

void BM_HoleFilling(benchmark::State& state)
{
    for (auto _ : state) {
        ColorExtrapolation::ColorExtrapolator extrapolator(20, 0.15f, nullptr);
        if (!extrapolator.isValid()) {
            state.SkipWithError("no GL context (run under xvfb-run)");
            return;
        }
        bool error = false;
        benchmark::DoNotOptimize(extrapolator.extrapolate(scene->transferred, &error));
        if (error)
            state.SkipWithError("hole filling failed");
    }
}

}  // namespace

// Argument: pool threads (0: one per core).
BENCHMARK(BM_Transfer)->Arg(8)->Arg(2)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Padding5)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_HoleFilling)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    Scene s;
    scene = &s;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
