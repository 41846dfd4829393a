// Small helpers shared by the bitmap operation tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace bitmapops_test {

enum class Storage { Memory, File };

inline std::string StorageName(const testing::TestParamInfo<Storage>& info) {
  return info.param == Storage::Memory ? "Memory" : "File";
}

// A bitmap of the given size and format, kept in memory or in a temporary
// file.
inline std::unique_ptr<TVXBitmap> MakeBitmap(int32_t w, int32_t h, TVXPixelFormat f, Storage s) {
  auto b = std::make_unique<TVXBitmap>();
  b->SetMinFileSize(s == Storage::File ? 0 : (int64_t(1) << 40));
  EXPECT_TRUE(b->Allocate(w, h, f));
  EXPECT_EQ(b->Location(), s == Storage::File ? vxFile : vxMemory);
  return b;
}

inline int32_t PixelBytes(TVXPixelFormat f) { return VXPixelFormatBitCount[f] / 8; }

// The stored bytes of pixel (x, y) of a format of 8 bits or more.
inline std::vector<uint8_t> RawPixel(const TVXBitmap& b, int32_t x, int32_t y) {
  const int32_t n = PixelBytes(b.PixelFormat());
  const uint8_t* p = static_cast<const uint8_t*>(b.GetSegment(y, x, 1));
  if (p == nullptr) return {};
  return std::vector<uint8_t>(p, p + n);
}

inline void SetRawPixel(TVXBitmap& b, int32_t x, int32_t y, const std::vector<uint8_t>& v) {
  uint8_t* row = static_cast<uint8_t*>(b.GetScanLine(y));
  std::memcpy(row + size_t(x) * v.size(), v.data(), v.size());
}

template <typename T>
std::vector<uint8_t> Bytes(const T& v) {
  std::vector<uint8_t> out(sizeof(T));
  std::memcpy(out.data(), &v, sizeof(T));
  return out;
}

}  // namespace bitmapops_test
