#pragma once
// The library's shared pseudo-random generator: a 32-bit linear congruential
// generator over one global seed. Everything that asks for "random" values
// without a seed of its own (the brushed-metal background, ...) draws from
// it, so a test that sets RandSeed gets the same sequence every run.
// User-interface thread only.

#include <cstdint>

// The generator's state; set it to repeat a sequence.
extern uint32_t RandSeed;

// The next value in 0 .. Range - 1 (0 when Range < 1).
int32_t Random(int32_t Range);
// The next value in [0, 1).
double Random();
// Seeds the generator from the clock.
void Randomize();
