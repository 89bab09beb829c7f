#pragma once
// The one pseudo-random generator of the program: one state per thread, draws from 0 to
// maxDraw inclusive, and the same sequence for a seed on every platform and compiler.

namespace Random {

// Largest value draw() returns.
constexpr int maxDraw = 32767;

// Restarts the calling thread's sequence. A thread that never seeds starts as if seeded with 1.
void seed(unsigned int value);

// Next value of the calling thread's sequence, uniform in 0 ... maxDraw.
int draw();

}  // namespace Random
