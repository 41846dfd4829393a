// Helpers shared by the bitmap storage, row, alpha and raw-dump tests.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"

namespace bitmap_test {

// Where a test bitmap keeps its rows.
enum class Store { Memory, Fragments, File };

inline const char* StoreName(Store s) {
  switch (s) {
    case Store::Memory: return "Memory";
    case Store::Fragments: return "Fragments";
    case Store::File: return "File";
  }
  return "?";
}

// Puts the temporary files of bitmaps into a private folder, and restores the
// settings and the block limit afterwards.
class BitmapEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* s = VXGetGlobalSettings();
    savedTempPath_ = s->DefTempPath();
    savedMinFileSize_ = s->DefMinFileSize();
    savedAutoLocate_ = s->AutoLocateOnDisk();
    savedAutoFragment_ = s->AutoFragmentBitmap();
    char tmpl[] = "/tmp/vxbitmaptest-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = std::string(tmpl) + "/";
    s->SetDefTempPath(dir_);
    VXSetMaxMemoryBlock(-1);
  }

  void TearDown() override {
    auto* s = VXGetGlobalSettings();
    s->SetDefTempPath(savedTempPath_);
    s->SetDefMinFileSize(savedMinFileSize_);
    s->SetAutoLocateOnDisk(savedAutoLocate_);
    s->SetAutoFragmentBitmap(savedAutoFragment_);
    VXSetMaxMemoryBlock(-1);
    for (const std::string& f : TempFiles()) std::remove((dir_ + f).c_str());
    rmdir(dir_.c_str());
  }

  // Names of the files in the private temporary folder.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> out;
    DIR* d = opendir(dir_.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") out.push_back(n);
    }
    closedir(d);
    return out;
  }

  // A bitmap of the given size and format stored as asked.
  std::unique_ptr<TVXBitmap> Make(int32_t w, int32_t h, TVXPixelFormat f, Store s) {
    auto b = std::make_unique<TVXBitmap>();
    b->SetMinFileSize(s == Store::File ? 0 : (int64_t(1) << 40));
    const int64_t size = VXBitmapRowLen(w, VXPixelFormatBitCount[f], 32) * h;
    // Fragments: no single block of the whole image, but blocks of a quarter.
    if (s == Store::Fragments) VXSetMaxMemoryBlock(VXBitmapRowLen(w, VXPixelFormatBitCount[f], 32) * ((h + 3) / 4));
    const bool ok = b->Allocate(w, h, f);
    VXSetMaxMemoryBlock(-1);
    EXPECT_TRUE(ok) << StoreName(s) << " " << int(f) << " size " << size;
    EXPECT_EQ(b->Location(), s == Store::File ? vxFile : vxMemory);
    EXPECT_EQ(b->FragmentsCount() > 0, s == Store::Fragments);
    return b;
  }

  std::string dir_;

 private:
  std::string savedTempPath_;
  int64_t savedMinFileSize_ = -1;
  bool savedAutoLocate_ = true;
  bool savedAutoFragment_ = true;
};

// Number of open file descriptors of this process.
inline int OpenFileCount() {
  int n = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
  closedir(d);
  return n - 1;  // the descriptor of the listing itself
}

// Bytes of a row that hold pixels (padding excluded).
inline int64_t PixelBytesPerRow(const TVXBitmap& b) { return (int64_t(b.Width()) * b.BitCount() + 7) / 8; }

// A deterministic byte for pixel byte i of row y.
inline uint8_t Pattern(int32_t y, int64_t i, int seed = 0) { return uint8_t((y * 31 + i * 7 + seed * 13 + 1) & 0xFF); }

// Writes the pattern into the pixel bytes of every row.
inline void FillPattern(TVXBitmap& b, int seed = 0) {
  const int64_t n = PixelBytesPerRow(b);
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* p = static_cast<uint8_t*>(b.GetScanLine(y));
    for (int64_t i = 0; i < n; ++i) p[i] = Pattern(y, i, seed);
  }
}

// Whole rows (padding included) read through GetScanLine, top row first.
inline std::vector<uint8_t> RowBytes(const TVXBitmap& b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    out.insert(out.end(), p, p + b.RowLen());
  }
  return out;
}

// Pixel bytes only, top row first.
inline std::vector<uint8_t> PixelBytes(const TVXBitmap& b) {
  std::vector<uint8_t> out;
  const int64_t n = PixelBytesPerRow(b);
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    out.insert(out.end(), p, p + n);
  }
  return out;
}

constexpr TVXPixelFormat kAllFormats[] = {vx1g,  vx8p,    vx8g,    vx16g,    vx24RGB, vx32f,
                                          vxCMYK, vx48RGB, vxCIELab, vx32RGB};

}  // namespace bitmap_test
