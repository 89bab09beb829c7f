#pragma once
// Small pieces shared by the benchmark programs: the process's CPU time, a
// fingerprint of bytes for results that must not change, and the main of a
// program whose benchmarks need a Qt core application.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QtGlobal>

#include <cstddef>
#include <ctime>

namespace BenchSupport {

// CPU seconds of every thread of the process so far.
inline double cpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// 32-bit FNV-1a over the bytes, continuing from hash.
inline quint32 fnv1a(const void* data, size_t size, quint32 hash = 2166136261u)
{
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

// Runs the benchmarks the command line selects inside a QCoreApplication.
inline int runWithCoreApplication(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

}  // namespace BenchSupport
