// Lossless JPEG decoder: the bytes as one frame, into blocks of bytes and of
// 16-bit samples of a fixed capacity, at the whole length and at half of it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/streams.h"
#include "formats/ljpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr int64_t kCapacity = int64_t(1) << 18;
  std::vector<uint16_t> out16(static_cast<size_t>(kCapacity));
  std::vector<uint8_t> out8(static_cast<size_t>(kCapacity));
  for (int32_t length : {int32_t(size), int32_t(size / 2)}) {
    TVXMemStream in(data, int64_t(size));
    TProgressRec progress;
    DecodeLosslessJpeg(&in, out16.data(), out8.data(), kCapacity, progress, length);
  }
  return 0;
}
