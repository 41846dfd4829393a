// CCITT fax decoding: the first four bytes choose the row width, the number
// of rows, the fill order and the coding (Modified Huffman, Group 3 one- or
// two-dimensional with or without fill before EOL, Group 4 with the
// reference row's runs kept from row to row as the TIFF reader keeps them);
// the rest is the strip, held in a block of exactly its size.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/ccitt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int32_t width = 1 + int32_t((data[0] | (data[1] << 8)) % 5000);
  const int32_t rows = 1 + data[2] % 32;
  const int32_t fillOrder = 1 + (data[3] & 1);
  const int32_t coding = (data[3] >> 1) % 5;
  const size_t n = size - 4;
  std::unique_ptr<uint8_t[]> strip(new uint8_t[n ? n : 1]);
  if (n) std::memcpy(strip.get(), data + 4, n);
  const size_t rowBytes = size_t((width + 7) / 8);
  std::vector<uint8_t> dest(rowBytes), ref(rowBytes, 0xFF);
  std::vector<int32_t> runs;
  int64_t bit = 0, byte = 0;
  for (int32_t y = 0; y < rows; ++y) {
    switch (coding) {
      case 0:
        byte += VXCCITTDecodeMHRow(dest.data(), strip.get() + byte, int64_t(n) - byte, width, fillOrder);
        if (byte > int64_t(n)) byte = int64_t(n);
        break;
      case 1: bit = VXCCITTDecode1DRow(dest.data(), strip.get(), int64_t(n), width, bit, fillOrder); break;
      case 2: bit = VXCCITTDecode2DRow(dest.data(), strip.get(), int64_t(n), width, ref.data(), bit, fillOrder, true); break;
      case 3: bit = VXCCITTDecode2DRow(dest.data(), strip.get(), int64_t(n), width, ref.data(), bit, fillOrder, false); break;
      default:
        bit = VXCCITTDecode2DRow(dest.data(), strip.get(), int64_t(n), width, ref.data(), bit, fillOrder, (y & 1) != 0,
                                 &runs);
        break;
    }
  }
  return 0;
}
