// Metafile import and merge through the I/O component: sizes and the cap,
// the background and the alpha channel from the key colour, the merge's
// section, the dispatch by extension, content and type, the parameters
// reader, and damaged metafiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "../winui/uemf_writer.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

using vxtest::Pt16;
using vxtest::Rect16;
using vxtest::Rectl;
using vxtest::TEmf;
using vxtest::TWmf;

// A red disc filling the picture, with a small square of the key colour
// (red 3, green 2, blue 1) at its centre.
std::vector<uint8_t> Disc(int W, int H) {
  TEmf e(W, H);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN));
  e.SolidBrush(0x0000FF);
  e.Add(U_EMRELLIPSE_set(Rectl(0, 0, W + 1, H + 1)));
  e.SolidBrush(0x010203);
  e.Add(U_EMRRECTANGLE_set(Rectl(W / 2 - 2, H / 2 - 2, W / 2 + 3, H / 2 + 3)));
  return e.Finish();
}

// A red picture over all of its frame.
std::vector<uint8_t> Full(int W, int H) {
  TEmf e(W, H);
  e.SolidBrush(0x0000FF);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN)).Add(U_EMRRECTANGLE_set(Rectl(-10, -10, W + 10, H + 10)));
  return e.Finish();
}

std::string WriteTemp(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  std::string path = ::testing::TempDir() + Name;
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  return path;
}

// Blue, green, red of a vx24RGB pixel as 0xRRGGBB.
uint32_t Rgb(TVXBitmap& b, int x, int y) {
  const uint8_t* p = static_cast<const uint8_t*>(b.ScanLine(y)) + x * 3;
  return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

struct Target {
  TVXBitmap bmp;
  TVexlaneIO io;
  Target() {
    bmp.Allocate(5, 5, vx24RGB);
    io.SetAttachedVXBitmap(&bmp);
  }
};

TEST(MetafileImport, SizesAndTheCap) {
  const std::string small = WriteTemp("mf_400x300.emf", Full(400, 300));
  const std::string large = WriteTemp("mf_4000x2000.emf", Full(4000, 2000));
  struct Case {
    const std::string* file;
    int32_t w, h, cap;
    int32_t ew, eh;
  } cases[] = {
      {&small, 200, -1, 8000, 200, 150}, {&small, -1, 150, 8000, 200, 150}, {&small, -1, -1, 8000, 400, 300},
      {&small, 30, 70, 8000, 30, 70},    {&large, -1, -1, 1000, 1000, 500}, {&small, -1, -1, 100, 100, 75},
  };
  const int32_t cap = VXGetGlobalSettings()->MaxImageEMFSize();
  for (const Case& c : cases) {
    VXGetGlobalSettings()->SetMaxImageEMFSize(c.cap);
    Target t;
    EXPECT_TRUE(t.io.ImportMetafile(*c.file, c.w, c.h, false));
    EXPECT_EQ(t.bmp.Width(), c.ew) << c.w << "x" << c.h;
    EXPECT_EQ(t.bmp.Height(), c.eh) << c.w << "x" << c.h;
    EXPECT_EQ(t.io.Params().FileType(), 10);
    EXPECT_EQ(t.io.Params().Width(), c.ew);
    EXPECT_EQ(t.io.Params().FileName(), *c.file);
    EXPECT_EQ(Rgb(t.bmp, c.ew / 2, c.eh / 2), 0xFF0000u);
  }
  VXGetGlobalSettings()->SetMaxImageEMFSize(cap);
  // A side of 0 imports nothing.
  for (auto wh : {std::pair{0, 10}, std::pair{10, 0}}) {
    Target t;
    EXPECT_FALSE(t.io.ImportMetafile(small, wh.first, wh.second, false));
    EXPECT_EQ(t.bmp.Width(), 5);
  }
  std::remove(small.c_str());
  std::remove(large.c_str());
}

TEST(MetafileImport, BackgroundAndAlpha) {
  const std::string disc = WriteTemp("mf_disc.emf", Disc(40, 40));
  Target t;
  t.io.SetBackground(0x00FF00);  // lime
  ASSERT_TRUE(t.io.ImportMetafile(disc, -1, -1, false));
  EXPECT_EQ(Rgb(t.bmp, 0, 0), 0x00FF00u);
  EXPECT_EQ(Rgb(t.bmp, 8, 20), 0xFF0000u);
  EXPECT_FALSE(t.bmp.HasAlphaChannel());
  ASSERT_TRUE(t.io.ImportMetafile(disc, -1, -1, true));
  ASSERT_TRUE(t.bmp.HasAlphaChannel());
  auto alpha = [&](int x, int y) { return static_cast<const uint8_t*>(t.bmp.AlphaChannel()->ScanLine(y))[x]; };
  EXPECT_EQ(alpha(0, 0), 0);     // outside the disc
  EXPECT_EQ(alpha(39, 39), 0);
  EXPECT_EQ(alpha(8, 20), 255);  // inside it
  EXPECT_EQ(alpha(20, 20), 0);   // the picture's own key colour
  std::remove(disc.c_str());
}

TEST(MetafileImport, MergeChangesOnlyItsSection) {
  const std::string full = WriteTemp("mf_full.emf", Full(50, 50));
  TVXBitmap bmp;
  bmp.Allocate(200, 150, vx24RGB);
  for (int y = 0; y < 150; ++y) std::memset(bmp.ScanLine(y), 0x40, 600);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  io.MergeMetafile(full, 10, 10, 100, 100);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(bmp.Width(), 200);
  EXPECT_EQ(bmp.Height(), 150);
  int minx = 200, miny = 150, maxx = -1, maxy = -1;
  for (int y = 0; y < 150; ++y)
    for (int x = 0; x < 200; ++x)
      if (Rgb(bmp, x, y) != 0x404040u) {
        EXPECT_EQ(Rgb(bmp, x, y), 0xFF0000u);
        minx = std::min(minx, x), miny = std::min(miny, y), maxx = std::max(maxx, x), maxy = std::max(maxy, y);
      }
  EXPECT_EQ(minx, 10);
  EXPECT_EQ(miny, 10);
  EXPECT_EQ(maxx, 108);
  EXPECT_EQ(maxy, 108);
  // A section of no pixels and a missing file merge nothing.
  io.MergeMetafile(full, 150, 10, 1, 30);
  io.MergeMetafile("/nonexistent/x.emf", 150, 10, 30, 30);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(Rgb(bmp, 150, 20), 0x404040u);
  std::remove(full.c_str());
}

TEST(MetafileImport, DispatchAndParameters) {
  TWmf w(1.0, 0.5, 1440);
  w.Add(U_WMRSETWINDOWORG_set(Pt16(0, 0))).Add(U_WMRSETWINDOWEXT_set(Pt16(1440, 720)));
  w.Select(w.SolidBrush(0x0000FF)).Add(U_WMRRECTANGLE_set(Rect16(0, 0, 720, 360)));
  const std::vector<uint8_t> wmfBytes = w.Finish();
  const std::vector<uint8_t> emfBytes = Disc(40, 30);
  const std::string wmf = WriteTemp("mf_dispatch.wmf", wmfBytes);
  const std::string emf = WriteTemp("mf_dispatch.emf", emfBytes);
  struct Case {
    const std::string* file;
    const std::vector<uint8_t>* bytes;
    int32_t type, w, h;
  } cases[] = {{&wmf, &wmfBytes, 9, 96, 48}, {&emf, &emfBytes, 10, 40, 30}};
  for (const Case& c : cases) {
    Target t;
    t.io.ParamsFromFile(*c.file);
    EXPECT_EQ(t.io.Params().FileType(), c.type);
    EXPECT_EQ(t.io.Params().Width(), c.w);
    EXPECT_EQ(t.io.Params().Height(), c.h);
    EXPECT_EQ(t.io.Params().DpiX(), VXGetGlobalSettings()->DefaultDPIX());
    EXPECT_EQ(t.bmp.Width(), 5) << "the target stays";

    EXPECT_TRUE(t.io.LoadFromFile(*c.file, -1));
    EXPECT_EQ(t.bmp.Width(), c.w);
    EXPECT_EQ(t.bmp.Height(), c.h);
    EXPECT_TRUE(t.bmp.HasAlphaChannel());

    Target s;
    TVXMemStream in(c.bytes->data(), int64_t(c.bytes->size()));
    EXPECT_TRUE(s.io.LoadFromStream(&in));
    EXPECT_EQ(s.bmp.Width(), c.w);
    EXPECT_EQ(s.io.Params().FileType(), c.type);
    EXPECT_TRUE(s.bmp.HasAlphaChannel());
  }
  std::remove(wmf.c_str());
  std::remove(emf.c_str());
}

TEST(MetafileImport, DamagedMetafilesFailCleanly) {
  std::vector<uint8_t> good = Disc(40, 30);
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));  // cut short
  std::vector<uint8_t> v = good;
  vxtest::Set32(v, 48, 0x7FFFFFF0);  // declares far more than there is
  bad.push_back(v);
  v = good;
  vxtest::Set32(v, 108 + 4, 0x40000000);  // a record past the file
  bad.push_back(v);
  for (const auto& b : bad) {
    Target t;
    TVXMemStream in(b.data(), int64_t(b.size()));
    EXPECT_FALSE(t.io.ImportMetafile(&in, -1, -1, true));
    EXPECT_TRUE(t.io.Aborting());
    EXPECT_EQ(t.bmp.Width(), 5);
    const std::string path = WriteTemp("mf_bad.emf", b);
    EXPECT_FALSE(t.io.ImportMetafile(path, -1, -1, true));
    EXPECT_TRUE(t.io.Aborting());
    EXPECT_EQ(t.bmp.Width(), 5);
    std::remove(path.c_str());
  }
}

// Every single-bit change of the recorded metafiles and the fuzz seeds
// either imports (the play finishes) or fails as damaged, never more.
TEST(MetafileImport, EveryFlippedBitImportsOrFailsCleanly) {
  const std::string data = VX_TEST_DATA_DIR;
  std::vector<std::string> files;
  for (const std::string dir : {data + "/metafile", data + "/../../fuzz/seeds/metafile"})
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".emf" || ext == ".wmf")) files.push_back(e.path().string());
    }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  std::set<std::vector<uint8_t>> seen;  // seeds copied from the goldens are flipped once
  for (const std::string& file : files) {
    std::ifstream f(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty()) << file;
    if (!seen.insert(bytes).second) continue;
    for (size_t bit = 0; bit < bytes.size() * 8; ++bit) {
      std::vector<uint8_t> v = bytes;
      v[bit / 8] ^= uint8_t(1u << (bit % 8));
      Target t;
      TVXMemStream in(v.data(), int64_t(v.size()));
      if (t.io.ImportMetafile(&in, 24, 24, true)) {
        ASSERT_EQ(t.bmp.Width(), 24) << file << " bit " << bit;
        ASSERT_FALSE(t.io.Aborting()) << file << " bit " << bit;
      } else {
        ASSERT_TRUE(t.io.Aborting()) << file << " bit " << bit;
        ASSERT_EQ(t.bmp.Width(), 5) << file << " bit " << bit;
      }
    }
  }
}

}  // namespace
