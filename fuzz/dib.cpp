// Packed DIBs and raw YUV frames: the bytes as a whole DIB, decoded and
// drawn through DrawDib, then (the first two bytes giving width and height)
// the rest as a frame of every FourCC layout.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/dibbitmap.h"

namespace {

constexpr const char* kFourCCs[] = {"I420", "IYUV", "YV12", "YVU9", "YUY2", "YUNV", "UYVY", "UYNV",
                                    "cyuv", "YVYU", "IYU1", "IYU2", "Y211", "Y41P", "CLJR", "NV12"};

void Put32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = uint8_t(v >> (8 * k));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (size_t(1) << 26)) return 0;
  TVXBitmap asDIB;
  VXCopyDIBToBitmap(data, int64_t(size), &asDIB);
  {
    std::vector<uint8_t> block(data, data + size);  // its own block: a read past it is a finding
    TVXDibbitmap drawn;
    VXDrawPackedDIB(block.data(), int64_t(block.size()), &drawn);
  }
  if (size < 2) return 0;

  const int32_t width = 1 + data[0] % 64;
  const int32_t height = (1 + (data[1] & 0x3F)) * ((data[1] & 0x80) ? -1 : 1);
  std::vector<uint8_t> frame(data + 2, data + size);  // its own block: a read past it is a finding
  for (const char* fcc : kFourCCs) {
    uint8_t header[40] = {};
    Put32(header, 40);
    Put32(header + 4, uint32_t(width));
    Put32(header + 8, uint32_t(height));
    header[12] = 1;
    header[14] = 16;
    Put32(header + 16, uint32_t(uint8_t(fcc[0])) | uint32_t(uint8_t(fcc[1])) << 8 | uint32_t(uint8_t(fcc[2])) << 16 |
                           uint32_t(uint8_t(fcc[3])) << 24);
    TVXBitmap bitmap;
    VXCopyDIBToBitmap(header, sizeof header, &bitmap, frame.data(), int64_t(frame.size()));
  }
  return 0;
}
