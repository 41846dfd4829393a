#include "core/random.h"

#include <chrono>

uint32_t RandSeed = 0;

namespace {

uint32_t NextSeed() {
  RandSeed = RandSeed * 0x08088405u + 1u;
  return RandSeed;
}

}  // namespace

int32_t Random(int32_t Range) {
  const uint32_t s = NextSeed();
  if (Range < 1) return 0;
  return int32_t((uint64_t(s) * uint64_t(uint32_t(Range))) >> 32);
}

double Random() { return double(NextSeed()) / 4294967296.0; }

void Randomize() {
  const auto t = std::chrono::steady_clock::now().time_since_epoch().count();
  RandSeed = uint32_t(uint64_t(t) ^ (uint64_t(t) >> 32));
}
