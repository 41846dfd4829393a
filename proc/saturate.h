#pragma once
// Float to integer conversions of the geometric workers that never overflow:
// values beyond +-2^53 (and NaN, which stands below everything) are held at
// that bound, far outside any image, so that a caller's clamp or bounds test
// decides what happens to them.

#include <cmath>
#include <cstdint>

namespace vxproc {

constexpr double kSatBound = 9007199254740992.0;  // 2^53

// Trunc: toward zero.
inline int64_t TruncSat(double v) {
  if (!(v > -kSatBound)) return -int64_t(kSatBound);
  if (v >= kSatBound) return int64_t(kSatBound);
  return int64_t(v);
}

// Round: to the nearest integer, halves to the even neighbour.
inline int64_t RoundSat(double v) { return TruncSat(std::nearbyint(v)); }

}  // namespace vxproc
