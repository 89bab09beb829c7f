#pragma once
// Orders a threaded transfer's hand-overs in a way every tool can see: the
// owner publishes the run's inputs before the map starts and every item
// receives them first; each item then counts itself with a release on a
// per-thread counter, and the owner reads all counters with acquire before it
// touches the result. (Qt's own start and completion of the map order the
// same things, but inside libraries that thread checkers cannot look into.)
#include <QtGlobal>
#include <atomic>

namespace TextureTransfer {

class TexelHandOver {
public:
    // On the owner's thread, after everything the items read is in place.
    static void publish();
    // First thing in every item, before it reads anything of the run.
    static void receive();

    // After writing one item's texel; cheap, as threads rarely share a counter.
    void itemDone();
    // Items counted so far; everything they wrote happens before this returns.
    qint64 collect() const;

private:
    static const int kCounters = 64;
    struct alignas(64) Counter {
        std::atomic<qint64> value{0};
    };
    Counter counters_[kCounters];
};

}  // namespace TextureTransfer
