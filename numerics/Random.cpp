#include "numerics/Random.h"

#include <cstdint>

namespace Random {

namespace {

// A 32-bit linear congruential step with explicit unsigned wrap-around; the draw is taken from
// the high bits, whose period is much longer than that of the low ones.
thread_local std::uint32_t state = 1u;

}  // namespace

void seed(unsigned int value)
{
    state = static_cast<std::uint32_t>(value);
}

int draw()
{
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) & 0x7fffu);
}

}  // namespace Random
