#pragma once
// Work split over the global thread pool and waited for before returning.
// Each piece is a task of its own, waited for one by one: a wait takes over a
// task not yet started, so these also finish when called from a busy pool
// (unlike a blocking map, whose wait only sleeps).
#include <QFuture>
#include <QtConcurrent>

#include <algorithm>
#include <vector>

namespace Parallel {

// work(i) for every i in [0, n): i = 0 on the calling thread, the others on the pool.
template <typename Work>
void forEachIndex(int n, const Work& work)
{
    std::vector<QFuture<void>> tasks;
    for (int i = 1; i < n; ++i)
        tasks.push_back(QtConcurrent::run([&work, i] { work(i); }));
    if (n > 0)
        work(0);
    for (QFuture<void>& task : tasks)
        task.waitForFinished();
}

// work(begin, end) for consecutive chunks of [0, n) of `chunk` items (the last may be shorter).
template <typename Work>
void forChunks(int n, int chunk, const Work& work)
{
    const int chunks = n <= 0 ? 0 : 1 + (n - 1) / chunk;
    forEachIndex(chunks, [&work, n, chunk](int c) { work(c * chunk, std::min(n, (c + 1) * chunk)); });
}

// Deletes the object on the pool and returns at once: for large plain-memory
// structures (meshes, trees) whose owner has already let go of them, so that
// freeing their many blocks does not hold up the caller.
template <typename T>
void deleteOnPool(T* object)
{
    if (object)
        QtConcurrent::run([object] { delete object; });
}

}  // namespace Parallel
