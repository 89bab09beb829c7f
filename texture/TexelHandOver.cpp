#include "texture/TexelHandOver.h"

namespace TextureTransfer {

namespace {

// Each thread keeps to one counter, chosen in the order threads first count.
int counterOfThisThread(int counters)
{
    static std::atomic<int> nextThread{0};
    thread_local const int index = nextThread.fetch_add(1, std::memory_order_relaxed);
    return index % counters;
}

// Constant-initialised, so that no thread ever writes it but through the two
// calls below.
std::atomic<quint64> publications{0};

}  // namespace

void TexelHandOver::publish()
{
    publications.fetch_add(1, std::memory_order_release);
}

void TexelHandOver::receive()
{
    publications.load(std::memory_order_acquire);
}

void TexelHandOver::itemDone()
{
    counters_[counterOfThisThread(kCounters)].value.fetch_add(1, std::memory_order_release);
}

qint64 TexelHandOver::collect() const
{
    qint64 total = 0;
    for (const Counter& counter : counters_)
        total += counter.value.load(std::memory_order_acquire);
    return total;
}

}  // namespace TextureTransfer
