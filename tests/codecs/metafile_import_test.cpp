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

// An enhanced and a placeable Windows metafile that libuemf writes with a
// record of most families the player reads.
std::vector<std::vector<uint8_t>> LibuemfPictures() {
  const char row24[8] = {char(0xFF), 0, 0, 0, 0, char(0xFF), 0, 0};
  const U_XFORM same = xform_set(1, 0, 0, 1, 0, 0);
  const U_POINT16 pts16[] = {{2, 2}, {20, 4}, {30, 30}, {4, 20}, {10, 10}, {14, 10}};
  const U_POINTL pts32[] = {{2, 2}, {20, 4}, {30, 30}, {4, 20}};
  const uint32_t counts[] = {4, 2};
  TEmf e(40, 30);
  e.Pen(U_PS_DASH, 1, 0x00FF00);
  e.SolidBrush(0x0000FF);
  U_RECTL r = Rectl(0, 0, 20, 30);
  vxtest::TMalloced<U_RGNDATA> rgn(rgndata_set(rgndataheader_set(1, r), &r));
  e.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_EMRSETWINDOWEXTEX_set(vxtest::Szl(40, 30)))
      .Add(U_EMRSETVIEWPORTEXTEX_set(vxtest::Szl(40, 30)))
      .Add(U_EMRSCALEVIEWPORTEXTEX_set(3, 2, 3, 2))
      .Add(U_EMRMODIFYWORLDTRANSFORM_set(xform_set(1, 0.2f, 0, 1, 1, 1), U_MWT_LEFTMULTIPLY))
      .Add(U_EMRSETPOLYFILLMODE_set(U_WINDING))
      .Add(U_EMRPOLYPOLYGON16_set(Rectl(2, 2, 30, 30), 2, counts, 6, pts16))
      .Add(U_EMRPOLYGON_set(Rectl(2, 2, 30, 30), 4, pts32))
      .Add(U_EMRMOVETOEX_set(vxtest::Ptl(1, 1)))
      .Add(U_EMRPOLYBEZIERTO16_set(Rectl(2, 2, 30, 30), 3, pts16))
      .Add(U_EMRARCTO_set(Rectl(0, 0, 20, 20), vxtest::Ptl(20, 10), vxtest::Ptl(0, 10)))
      .Add(U_EMRSAVEDC_set())
      .Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, rgn.get()))
      .Add(U_EMRBEGINPATH_set())
      .Add(U_EMRROUNDRECT_set(Rectl(3, 3, 30, 25), vxtest::Szl(8, 8)))
      .Add(U_EMRENDPATH_set())
      .Add(U_EMRSTROKEANDFILLPATH_set(Rectl(3, 3, 30, 25)))
      .Add(U_EMRRESTOREDC_set(-1))
      .Add(U_EMRPIE_set(Rectl(5, 5, 35, 25), vxtest::Ptl(35, 15), vxtest::Ptl(20, 5)))
      .Add(U_EMRBITBLT_set(Rectl(1, 1, 2, 1), vxtest::Ptl(1, 1), vxtest::Ptl(2, 1), vxtest::Ptl(0, 0), same,
                           vxtest::Cref(0), U_DIB_RGB_COLORS, U_SRCCOPY, vxtest::DibInfo(2, 1, 24).get(), sizeof row24,
                           const_cast<char*>(row24)))
      .Add(U_EMRSETDIBITSTODEVICE_set(Rectl(5, 5, 6, 5), vxtest::Ptl(5, 5), vxtest::Ptl(0, 0), vxtest::Ptl(2, 1),
                                      U_DIB_RGB_COLORS, 0, 1, vxtest::DibInfo(2, 1, 24).get(), sizeof row24,
                                      const_cast<char*>(row24)));
  e.Font(-8, u"DejaVu Sans");
  e.Text(3, 3, u"Ab", {5, 5}, U_ETO_OPAQUE, Rectl(2, 2, 20, 12));

  TWmf w(0.5, 0.25, 96);
  w.Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(48, 24)))
      .Add(U_WMROFFSETWINDOWORG_set(Pt16(2, 1)))
      .Add(U_WMRSCALEWINDOWEXT_set(Pt16(2, 2), Pt16(3, 3)))
      .Add(U_WMROFFSETVIEWPORTORG_set(Pt16(1, 1)))
      .Add(U_WMRSCALEVIEWPORTEXT_set(Pt16(3, 3), Pt16(2, 2)));
  uint32_t hatch = 0;
  w.Add(wcreatebrushindirect_set(&hatch, w.Handles(), U_WLOGBRUSH_set(U_BS_HATCHED, vxtest::Cref(0xFF0000), 3)));
  const uint16_t counts16[] = {4, 2};
  int16_t dx[] = {5, 5};
  w.Select(hatch)
      .Select(w.Pen(U_PS_DOT, 1, 0x00FF00))
      .Add(U_WMRPOLYPOLYGON_set(2, counts16, pts16))
      .Add(U_WMRROUNDRECT_set(6, 6, Rect16(2, 2, 30, 20)))
      .Add(U_WMRCHORD_set(Pt16(30, 10), Pt16(2, 10), Rect16(2, 2, 30, 20)))
      .Add(U_WMRPATBLT_set(Pt16(1, 1), Pt16(5, 5), U_PATCOPY))
      .Add(U_WMRDIBSTRETCHBLT_set(Pt16(0, 0), Pt16(8, 4), Pt16(0, 0), Pt16(2, 1), U_SRCCOPY,
                                  vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24))
      .Add(U_WMRSTRETCHDIB_set(Pt16(10, 0), Pt16(8, 4), Pt16(0, 0), Pt16(2, 1), U_DIB_RGB_COLORS, U_SRCCOPY,
                               vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24))
      .Select(w.Font(-8, "DejaVu Sans"))
      .Add(U_WMREXTTEXTOUT_set(Pt16(3, 3), 2, U_ETO_CLIPPED, "Ab", dx, Rect16(12, 2, 20, 2)));
  return {e.Finish(), w.Finish()};
}

// Every single-bit change of the recorded metafiles, the fuzz seeds and
// libuemf's pictures either imports (the play finishes) or fails as
// damaged, never more.
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
  std::vector<std::pair<std::string, std::vector<uint8_t>>> pictures;
  for (const std::string& file : files) {
    std::ifstream f(file, std::ios::binary);
    pictures.emplace_back(file,
                          std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>()));
  }
  for (std::vector<uint8_t>& bytes : LibuemfPictures()) {
    Target t;
    TVXMemStream in(bytes.data(), int64_t(bytes.size()));
    ASSERT_TRUE(t.io.ImportMetafile(&in, 24, 24, true)) << "libuemf picture " << pictures.size();
    pictures.emplace_back("libuemf picture", std::move(bytes));
  }
  std::set<std::vector<uint8_t>> seen;  // seeds copied from the goldens are flipped once
  for (const auto& [file, bytes] : pictures) {
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

// Bitmap records draw in an import, Windows metafile and enhanced alike: a
// 2 x 1 DIB (red, blue) stretched over the top half of the picture, and in
// the Windows metafile a 5-5-5 DIB stretched over the bottom half (31 is
// 255, as the platform widens it) and a 2 x 1 DIB (green, black) set
// unstretched at (3, 20) (META_SETDIBTODEV), as the platform plays them.
TEST(MetafileImport, BitmapRecordsDraw) {
  char row24[8] = {0, 0, '\xFF', '\xFF', 0, 0, 0, 0};  // red, blue: blue, green, red
  char row16[4] = {0x00, 0x7C, 0x1F, 0x00};           // red, blue in 5-5-5
  TWmf w(0.25, 0.25, 96);
  w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(24, 24)))
      .Add(U_WMRSTRETCHDIB_set(Pt16(0, 0), Pt16(24, 12), Pt16(0, 0), Pt16(2, 1), U_DIB_RGB_COLORS, U_SRCCOPY,
                               vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24))
      .Add(U_WMRSTRETCHDIB_set(Pt16(0, 12), Pt16(24, 12), Pt16(0, 0), Pt16(2, 1), U_DIB_RGB_COLORS, U_SRCCOPY,
                               vxtest::DibInfo(2, 1, 16).get(), sizeof row16, row16))
      .Add(vxtest::RawWmr(0x0D33, {0, 1, 0, 0, 0, 1, 2, 20, 3,                         // use, scans, source, size, destination
                                   40, 0, 2, 0, 1, 0, 1, 24, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // header
                                   0xFF00, 0x0000, 0x0000, 0x0000}));                // green, black
  TEmf e(24, 24);
  e.Add(U_EMRSTRETCHDIBITS_set(Rectl(0, 0, 23, 11), vxtest::Ptl(0, 0), vxtest::Ptl(24, 12), vxtest::Ptl(0, 0),
                               vxtest::Ptl(2, 1), U_DIB_RGB_COLORS, U_SRCCOPY, vxtest::DibInfo(2, 1, 24).get(),
                               sizeof row24, row24));
  for (const auto& [name, bytes] : {std::pair{"wmf", w.Finish()}, std::pair{"emf", e.Finish()}}) {
    SCOPED_TRACE(name);
    Target t;
    t.io.SetBackground(0xFFFFFF);
    TVXMemStream in(bytes.data(), int64_t(bytes.size()));
    ASSERT_TRUE(t.io.ImportMetafile(&in, 24, 24, false));
    ASSERT_EQ(t.bmp.Width(), 24);
    EXPECT_EQ(Rgb(t.bmp, 2, 5), 0xFF0000u);
    EXPECT_EQ(Rgb(t.bmp, 21, 5), 0x0000FFu);
    if (std::string(name) == "emf") continue;
    EXPECT_EQ(Rgb(t.bmp, 2, 15), 0xFF0000u);
    EXPECT_EQ(Rgb(t.bmp, 21, 15), 0x0000FFu);
    EXPECT_EQ(Rgb(t.bmp, 3, 20), 0x00FF00u);
    EXPECT_EQ(Rgb(t.bmp, 4, 20), 0x000000u);
    EXPECT_EQ(Rgb(t.bmp, 5, 20), 0xFF0000u);  // the stretched DIB beneath
    EXPECT_EQ(Rgb(t.bmp, 3, 21), 0xFF0000u);
  }
}
