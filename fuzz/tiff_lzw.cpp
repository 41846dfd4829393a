// TIFF LZW decoding: the first three bytes choose the row length, the number
// of rows and the fill order; the rest is the strip, held in a block of
// exactly its size. The same bytes, encoded as rows, must decode to
// themselves.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "codecs/tifflzw.h"
#include "core/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const int32_t lineSize = 1 + int32_t((data[0] | (data[1] << 8)) % 4096);
  const int32_t rows = 1 + data[2] % 64;
  const int32_t fillOrder = 1 + (data[2] >> 7);
  const size_t n = size - 3;
  std::unique_ptr<uint8_t[]> strip(new uint8_t[n ? n : 1]);
  if (n) std::memcpy(strip.get(), data + 3, n);

  void* id = nullptr;
  for (int32_t y = 0; y < rows; ++y)
    if (!VXTIFFLZWDecode(strip.get(), lineSize, id, fillOrder, int64_t(n))) break;
  if (id) VXTIFFLZWDecode(nullptr, 0, id, 1, 0);

  // Round trip of the strip bytes as rows.
  if (n == 0) return 0;
  TMemoryStream out;
  void* enc = nullptr;
  size_t rowLen = std::min<size_t>(size_t(lineSize), n);
  size_t full = n / rowLen;
  for (size_t r = 0; r < full; ++r) VXTIFFLZWEncode(strip.get() + r * rowLen, int32_t(rowLen), &out, enc);
  VXTIFFLZWEncode(nullptr, 0, &out, enc);
  std::unique_ptr<uint8_t[]> coded(new uint8_t[size_t(out.Size())]);
  std::memcpy(coded.get(), out.Memory(), size_t(out.Size()));
  void* dec = nullptr;
  for (size_t r = 0; r < full; ++r) {
    uint8_t* row = VXTIFFLZWDecode(coded.get(), int32_t(rowLen), dec, 1, out.Size());
    if (!row || std::memcmp(row, strip.get() + r * rowLen, rowLen) != 0) std::abort();
  }
  if (dec) VXTIFFLZWDecode(nullptr, 0, dec, 1, 0);
  return 0;
}
