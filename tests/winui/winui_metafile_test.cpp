// Enhanced and Windows metafiles played onto DIB sections: the frame mapped
// onto the destination, mapping modes, saved states, the object table,
// shapes, bits and text, and damaged metafiles refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pinned_fonts.h"
#include "uemf_writer.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"
#include "winui/metafile.h"

namespace {

using vxtest::Cref;
using vxtest::Pt16;
using vxtest::Ptl;
using vxtest::Rect16;
using vxtest::Rectl;
using vxtest::Szl;
using vxtest::TEmf;
using vxtest::TWmf;

struct Surface {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  int w, h;
  size_t stride;
  Surface(int W, int H, uint32_t Fill = 0xFFFFFF) : w(W), h(H), stride((size_t(W) * 3 + 3) & ~size_t(3)) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = W;
    bi.bmiHeader.biHeight = -H;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* p = nullptr;
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) Set(x, y, Fill);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  void Set(int x, int y, uint32_t c) {
    uint8_t* p = bits + y * stride + x * 3;
    p[0] = uint8_t(c >> 16);
    p[1] = uint8_t(c >> 8);
    p[2] = uint8_t(c);
  }
  // 0x00BBGGRR, as COLORREF.
  uint32_t At(int x, int y) const {
    const uint8_t* p = bits + y * stride + x * 3;
    return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
  }
  RECT Box(uint32_t Colour) const {
    RECT r{w, h, 0, 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (At(x, y) == Colour) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
  bool Play(const std::vector<uint8_t>& emf, RECT r) {
    HENHMETAFILE m = SetEnhMetaFileBits(UINT(emf.size()), emf.data());
    if (!m) return false;
    BOOL ok = PlayEnhMetaFile(dc, m, &r);
    DeleteEnhMetaFile(m);
    return ok;
  }
  // A Windows metafile of XExt x YExt hundredths of a millimetre over the
  // whole surface.
  bool PlayWmf(const std::vector<uint8_t>& wmf, LONG XExt, LONG YExt) {
    METAFILEPICT pict;
    pict.xExt = XExt;
    pict.yExt = YExt;
    HENHMETAFILE m = SetWinMetaFileBits(UINT(wmf.size()), wmf.data(), nullptr, &pict);
    if (!m) return false;
    RECT r{0, 0, w, h};
    BOOL ok = PlayEnhMetaFile(dc, m, &r);
    DeleteEnhMetaFile(m);
    return ok;
  }
};

constexpr uint32_t kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

bool Same(RECT a, RECT b) { return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom; }

// A red box without outline at (10, 5)-(30, 25) of a 40 x 30 picture.
std::vector<uint8_t> RedBox() {
  TEmf e(40, 30);
  e.SolidBrush(kRed);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
      .Add(U_EMRCOMMENT_set(4, "EMF+"))  // an EMF+ comment, skipped
      .Add(U_EMRRECTANGLE_set(Rectl(10, 5, 30, 25)));
  return e.Finish();
}

TEST(WinuiMetafile, FrameMapsOntoTheDestination) {
  // A recorded rectangle's box takes in its right and bottom edges, which a
  // rectangle without a pen then leaves out: it fills the box as mapped.
  struct Case {
    RECT dest;
    RECT box;
  } cases[] = {
      {{0, 0, 40, 30}, {10, 5, 30, 25}},
      {{0, 0, 80, 60}, {20, 10, 60, 50}},
      {{5, 5, 45, 35}, {15, 10, 35, 30}},
  };
  for (const Case& c : cases) {
    Surface s(90, 70);
    ASSERT_TRUE(s.Play(RedBox(), c.dest));
    EXPECT_TRUE(Same(s.Box(kRed), c.box)) << c.dest.right << ": " << s.Box(kRed).left << "," << s.Box(kRed).top
                                          << "-" << s.Box(kRed).right << "," << s.Box(kRed).bottom;
    // Nothing outside the box changed: the picture paints no background.
    EXPECT_EQ(s.At(0, 0), kWhite);
  }
}

TEST(WinuiMetafile, HeaderAndBits) {
  std::vector<uint8_t> emf = RedBox();
  HENHMETAFILE m = SetEnhMetaFileBits(UINT(emf.size()), emf.data());
  ASSERT_NE(m, nullptr);
  ENHMETAHEADER h;
  ASSERT_EQ(GetEnhMetaFileHeader(m, sizeof h, &h), sizeof h);
  EXPECT_EQ(h.rclFrame.right, 40 * 2540 / 96);
  EXPECT_EQ(h.nHandles, 2);  // the brush and the reserved index 0
  EXPECT_EQ(GetEnhMetaFileBits(m, 0, nullptr), emf.size());
  std::vector<uint8_t> back(emf.size());
  EXPECT_EQ(GetEnhMetaFileBits(m, UINT(back.size()), back.data()), emf.size());
  EXPECT_EQ(back, emf);
  EXPECT_TRUE(DeleteEnhMetaFile(m));
  EXPECT_FALSE(DeleteEnhMetaFile(m));
  RECT r{0, 0, 4, 4};
  Surface s(4, 4);
  EXPECT_FALSE(PlayEnhMetaFile(s.dc, m, &r));
}

TEST(WinuiMetafile, DamagedMetafilesGiveNoHandle) {
  std::vector<uint8_t> good = RedBox();
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 50));      // cut in the header
  bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 20));        // no end record
  std::vector<uint8_t> v = good;
  vxtest::Set32(v, 108 + 4, 0x7FFFFFF0);  // a record past the end
  bad.push_back(v);
  v = good;
  vxtest::Set32(v, 108 + 4, 6);  // a record shorter than its own type and size
  bad.push_back(v);
  v = good;
  v[40] ^= 0xFF;  // signature
  bad.push_back(v);
  for (const auto& b : bad) EXPECT_EQ(SetEnhMetaFileBits(UINT(b.size()), b.data()), nullptr);
  EXPECT_EQ(SetEnhMetaFileBits(0, nullptr), nullptr);
}

TEST(WinuiMetafile, MappingSavedStatesAndObjects) {
  // Anisotropic: a window of 400 x 300 units onto the 40 x 30 frame.
  // The table holds objects 1 and 2 (three handles with the reserved 0).
  TEmf e(40, 30);
  uint32_t blue = 0, red = 0;
  e.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_EMRSETWINDOWEXTEX_set(Szl(400, 300)))
      .Add(U_EMRSETVIEWPORTEXTEX_set(Szl(40, 30)))
      .Add(createbrushindirect_set(&blue, e.Handles(), logbrush_set(U_BS_SOLID, Cref(kBlue), 0)))
      .Add(createbrushindirect_set(&red, e.Handles(), logbrush_set(U_BS_SOLID, Cref(kRed), 0)))
      .Add(U_EMRCREATEBRUSHINDIRECT_set(9, logbrush_set(U_BS_SOLID, Cref(kGreen), 0)))  // past the table: ignored
      .Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
      .Add(U_EMRSELECTOBJECT_set(blue))
      .Add(U_EMRSAVEDC_set())
      .Add(U_EMRSELECTOBJECT_set(red))
      .Add(U_EMRSELECTOBJECT_set(9))  // unknown index: the red brush stays
      .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 100, 100)))
      .Add(U_EMRRESTOREDC_set(-1))
      .Add(U_EMRRECTANGLE_set(Rectl(200, 100, 300, 200)))
      .Add(U_EMRDELETEOBJECT_set(blue))
      .Add(U_EMRSELECTOBJECT_set(blue))  // deleted: the blue brush stays selected
      .Add(U_EMRRECTANGLE_set(Rectl(300, 200, 400, 300)));
  ASSERT_EQ(blue, 1u);
  ASSERT_EQ(red, 2u);
  Surface s(40, 30);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 30}));
  EXPECT_TRUE(Same(s.Box(kRed), RECT{0, 0, 10, 10}));
  EXPECT_EQ(s.At(25, 15), kBlue);
  EXPECT_EQ(s.At(35, 25), kBlue);
  EXPECT_EQ(s.At(15, 15), kWhite);
  EXPECT_TRUE(Same(s.Box(kGreen), RECT{40, 30, 0, 0}));
}

TEST(WinuiMetafile, ShapesPensAndClipping) {
  TEmf e(40, 40);
  e.Pen(U_PS_SOLID, 1, kBlue);
  e.Add(U_EMRMOVETOEX_set(Ptl(0, 2))).Add(U_EMRLINETO_set(Ptl(40, 2))).Add(U_EMRSELECTOBJECT_set(U_NULL_PEN));
  e.SolidBrush(kRed);
  // A triangle of 16-bit points.
  const U_POINT16 triangle[] = {{5, 10}, {15, 10}, {10, 20}};
  e.Add(U_EMRPOLYGON16_set(Rectl(5, 10, 15, 20), 3, triangle))
      .Add(U_EMRINTERSECTCLIPRECT_set(Rectl(0, 25, 40, 40)))
      .Add(U_EMRELLIPSE_set(Rectl(20, 20, 40, 40)));
  Surface s(40, 40);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
  for (int x = 0; x < 40; ++x) EXPECT_EQ(s.At(x, 2), kBlue) << x;
  EXPECT_EQ(s.At(10, 12), kRed);  // inside the triangle
  EXPECT_EQ(s.At(10, 18), kRed);
  EXPECT_EQ(s.At(6, 18), kWhite);
  EXPECT_EQ(s.At(30, 30), kRed);   // the ellipse below the clip's top
  EXPECT_EQ(s.At(30, 22), kWhite);  // and clipped above it
}

// Coordinates reach 2^27 either way after mapping; a record beyond that is
// skipped. Lines and shapes from far outside draw the part that shows (a
// shape's box itself stays under 2^27 across).
TEST(WinuiMetafile, CoordinatesReachTwoToTheTwentySeventh) {
  const int32_t near = 100000000, beyond = 140000000;  // 2^27 is 134,217,728
  TEmf e(40, 40);
  e.Pen(U_PS_SOLID, 1, kBlue);
  e.Add(U_EMRMOVETOEX_set(Ptl(-near, 5)))
      .Add(U_EMRLINETO_set(Ptl(near, 5)))
      .Add(U_EMRMOVETOEX_set(Ptl(-beyond, 9)))
      .Add(U_EMRLINETO_set(Ptl(beyond, 9)))
      .Add(U_EMRSELECTOBJECT_set(U_NULL_PEN));
  e.SolidBrush(kRed);
  e.Add(U_EMRELLIPSE_set(Rectl(-near / 2, 15, near / 2, 25))).Add(U_EMRRECTANGLE_set(Rectl(-beyond, 30, beyond, 38)));
  Surface s(40, 40);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
  for (int x = 0; x < 40; ++x) {
    EXPECT_EQ(s.At(x, 5), kBlue) << x;
    EXPECT_EQ(s.At(x, 9), kWhite) << x;
    EXPECT_EQ(s.At(x, 20), kRed) << x;  // the middle of a very long ellipse
    EXPECT_EQ(s.At(x, 34), kWhite) << x;
  }
}

TEST(WinuiMetafile, WorldTransformScalesAndMoves) {
  TEmf e(40, 40);
  e.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(2, 0, 0, 2, 5, 5)));
  e.SolidBrush(kRed);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN)).Add(U_EMRRECTANGLE_set(Rectl(0, 0, 10, 10)));
  Surface s(40, 40);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
  EXPECT_TRUE(Same(s.Box(kRed), RECT{5, 5, 25, 25}));
}

TEST(WinuiMetafile, StretchedBitsAndTheirBounds) {
  // A 2 x 1 bottom-up 24-bit DIB (blue, red) stretched over (0, 0)-(20, 10).
  auto picture = [](int32_t width) {
    char px[] = {char(0xFF), 0, 0, 0, 0, char(0xFF), 0, 0};
    TEmf e(20, 10);
    e.Add(U_EMRSTRETCHDIBITS_set(Rectl(0, 0, 19, 9), Ptl(0, 0), Ptl(20, 10), Ptl(0, 0), Ptl(2, 1),
                                 U_DIB_RGB_COLORS, U_SRCCOPY, vxtest::DibInfo(width, 1, 24).get(), 8, px));
    return e.Finish();
  };
  {
    Surface s(20, 10);
    ASSERT_TRUE(s.Play(picture(2), RECT{0, 0, 20, 10}));
    EXPECT_EQ(s.At(2, 5), kBlue);
    EXPECT_EQ(s.At(17, 5), kRed);
  }
  {
    // Rows that claim more bytes than the record holds draw nothing.
    Surface s(20, 10);
    ASSERT_TRUE(s.Play(picture(2000), RECT{0, 0, 20, 10}));
    EXPECT_TRUE(Same(s.Box(kWhite), RECT{0, 0, 20, 10}));
  }
}

TEST(WinuiMetafile, TextStartsAtItsReferencePoint) {
  for (uint32_t align : {0u, 24u}) {  // top, baseline
    // The same text drawn directly; its advances are the ones recorded.
    Surface d(60, 40);
    LOGFONTW lf;
    lf.lfHeight = -20;
    lf.lfWeight = 400;
    std::u16string face = u"DejaVu Sans";
    for (size_t i = 0; i < face.size(); ++i) lf.lfFaceName[i] = face[i];
    HFONT f = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(d.dc, f);
    SetBkMode(d.dc, TRANSPARENT);
    SetTextAlign(d.dc, align);
    TextOutW(d.dc, 10, 25, "HH", 2);
    SIZE one{}, two{};
    GetTextExtentPoint32W(d.dc, "HH", 1, &one);
    GetTextExtentPoint32W(d.dc, "HH", 2, &two);
    SelectObject(d.dc, old);
    DeleteObject(f);

    TEmf e(60, 40);
    e.Font(-20, u"DejaVu Sans");
    e.Add(U_EMRSETTEXTCOLOR_set(Cref(0)))
        .Add(U_EMRSETBKMODE_set(U_TRANSPARENT))
        .Add(U_EMRSETTEXTALIGN_set(align))
        .Text(10, 25, u"HH", {uint32_t(one.cx), uint32_t(two.cx - one.cx)});
    Surface s(60, 40);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 60, 40}));
    RECT a = s.Box(0), b = d.Box(0);
    EXPECT_LT(a.left, a.right) << "text drawn";
    EXPECT_TRUE(Same(a, b)) << align;
  }
}

TEST(WinuiMetafile, WindowsMetafileRecordsPlayThroughTheSameSteps) {
  // Window 0..1000 x 0..500 on a picture of 10 x 5 cm: a red box, a blue
  // ellipse, a saved and restored brush.
  TWmf w;
  w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(1000, 500)));
  const uint32_t red = w.SolidBrush(kRed);
  const uint32_t pen = w.Pen(U_PS_NULL, 0, 0);
  w.Select(red).Select(pen).Add(U_WMRRECTANGLE_set(Rect16(0, 0, 500, 250))).Delete(red);
  const uint32_t blue = w.SolidBrush(kBlue);
  EXPECT_EQ(blue, red) << "the freed slot is taken again";
  w.Select(blue).Add(U_WMRELLIPSE_set(Rect16(500, 250, 1000, 500)));
  std::vector<uint8_t> wmf = w.Finish();
  Surface s(100, 50);
  ASSERT_TRUE(s.PlayWmf(wmf, 10000, 5000));
  EXPECT_TRUE(Same(s.Box(kRed), RECT{0, 0, 50, 25}));
  EXPECT_EQ(s.At(75, 37), kBlue);
  EXPECT_EQ(s.At(99, 26), kWhite);
  // Damaged: a record longer than the file.
  std::vector<uint8_t> bad = wmf;
  vxtest::Set32(bad, 18, 0x10000);
  METAFILEPICT pict;
  pict.xExt = 10000;
  pict.yExt = 5000;
  EXPECT_EQ(SetWinMetaFileBits(UINT(bad.size()), bad.data(), nullptr, &pict), nullptr);
}

}  // namespace

namespace {

TEST(WinuiMetafile, PatternBrushesTileFromTheDeviceOriginAndRefuseDamagedDIBs) {
  // A 2 x 2 tile (red, green over blue, white), rows stored bottom first,
  // each padded to 8 bytes.
  const std::vector<char> bits24 = {char(0xFF), 0, 0, char(0xFF), char(0xFF), char(0xFF), 0, 0,   // blue, white
                                    0, 0, char(0xFF), 0, char(0xFF), 0, 0, 0};                   // red, green
  const uint32_t tile24[2][2] = {{kRed, kGreen}, {kBlue, kWhite}};
  // A monochrome tile: 1 0 / 0 1, in the text (0) and background (1) colours.
  const std::vector<char> bits1 = {0x40, 0, 0, 0, char(0x80), 0, 0, 0};
  const uint32_t kText = 0x123456, kBack = 0x654321;
  const uint32_t tile1[2][2] = {{kBack, kText}, {kText, kBack}};
  const uint32_t kBefore = 0x00AA00;  // the solid brush selected before
  struct Case {
    const char* name;
    bool mono;
    uint32_t usage;
    int h, bpp;
    std::vector<uint32_t> table;
    std::vector<char> bits;
    uint32_t bitsClaim;         // written over the record's rows size when not 0
    const uint32_t (*tile)[2];  // null: the record makes no brush
  } cases[] = {
      {"24-bit", false, U_DIB_RGB_COLORS, 2, 24, {}, bits24, 0, tile24},
      {"rows cut short", false, U_DIB_RGB_COLORS, 2, 24, {}, {bits24.begin(), bits24.end() - 4}, 0, nullptr},
      {"rows claimed past the record", false, U_DIB_RGB_COLORS, 2, 24, {}, bits24, 4096, nullptr},
      {"taller than its rows", false, U_DIB_RGB_COLORS, 3, 24, {}, bits24, 0, nullptr},
      // A palette-index brush's table is not read: the colours are the DC's.
      {"monochrome", true, U_DIB_PAL_INDICES, 2, 1, {0xFF0000, 0x0000FF}, bits1, 0, tile1},
      {"monochrome with a table", true, U_DIB_RGB_COLORS, 2, 1, {0xFF0000, 0x0000FF}, bits1, 0, tile1},
      {"monochrome of 8 bits", true, U_DIB_RGB_COLORS, 2, 8, {0, 0}, bits1, 0, nullptr},
  };
  for (const Case& c : cases) {
    TEmf e(20, 16);
    e.SolidBrush(kBefore);
    e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
        .Add(U_EMRSETTEXTCOLOR_set(Cref(kText)))
        .Add(U_EMRSETBKCOLOR_set(Cref(kBack)));
    auto info = vxtest::DibInfo(2, c.h, uint16_t(c.bpp), c.table);
    uint32_t ih = 0;
    e.Add(c.mono ? createmonobrush_set(&ih, e.Handles(), c.usage, info.get(), uint32_t(c.bits.size()), c.bits.data())
                 : createdibpatternbrushpt_set(&ih, e.Handles(), c.usage, info.get(), uint32_t(c.bits.size()),
                                               c.bits.data()));
    e.Add(U_EMRSELECTOBJECT_set(ih)).Add(U_EMRRECTANGLE_set(Rectl(1, 1, 11, 9)));
    std::vector<uint8_t> emf = e.Finish();
    if (c.bitsClaim) {
      const size_t at = vxtest::FindEmfRecord(emf, c.mono ? U_EMR_CREATEMONOBRUSH : U_EMR_CREATEDIBPATTERNBRUSHPT);
      vxtest::Set32(emf, at + 28, c.bitsClaim);  // cbBits
    }
    // Twice the size, one pixel to the right: the shape covers device
    // (3, 2)-(23, 18), the tile stays one pixel large from (0, 0).
    Surface s(44, 34);
    ASSERT_TRUE(s.Play(emf, RECT{1, 0, 41, 32})) << c.name;
    for (int y = 4; y < 16; ++y)
      for (int x = 5; x < 20; ++x)
        ASSERT_EQ(s.At(x, y), c.tile ? c.tile[y % 2][x % 2] : kBefore) << c.name << " at (" << x << ", " << y << ")";
    EXPECT_EQ(s.At(30, 25), kWhite) << c.name;
  }
}

TEST(WinuiMetafile, WindowsMetafilePatternBrushesKeepTheirSlots) {
  // A monochrome device bitmap's pattern (8 x 2, rows of a word: 10101010
  // over 01010101) in the text and background colours; a DIB pattern that
  // does not add up before it still takes its slot.
  TWmf w;
  w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(40, 20)));
  const char dib[8] = {};
  uint32_t damaged = 0, pattern = 0;
  w.Add(wcreatedibpatternbrush_srcdib_set(&damaged, w.Handles(), U_DIB_RGB_COLORS,
                                          vxtest::DibInfo(2, 1, 24).get(), sizeof dib, dib));
  char rows[4] = {char(0xAA), 0, 0x55, 0};
  vxtest::TMalloced<U_BITMAP16> bm(U_BITMAP16_set(0, 8, 2, 2, 1, rows));
  w.Add(wcreatepatternbrush_set(&pattern, w.Handles(), bm.get(), rows));
  const uint32_t pen = w.Pen(U_PS_NULL, 0, 0);
  w.Add(U_WMRSETTEXTCOLOR_set(Cref(kRed)))
      .Add(U_WMRSETBKCOLOR_set(Cref(kBlue)))
      .Select(pattern)
      .Select(pen)
      .Add(U_WMRRECTANGLE_set(Rect16(0, 0, 40, 20)));
  std::vector<uint8_t> wmf = w.Finish();
  ASSERT_EQ(damaged, 0u);
  ASSERT_EQ(pattern, 1u);
  // The DIB's width made far larger than its rows: style, use, then the header.
  vxtest::Set32(wmf, vxtest::FindWmfRecord(wmf, 0x0142) + 10 + 4, 0x7FFF);
  Surface s(40, 20);
  ASSERT_TRUE(s.PlayWmf(wmf, 40 * 2540 / 96, 20 * 2540 / 96));
  for (int y = 2; y < 16; ++y)
    for (int x = 2; x < 36; ++x) ASSERT_EQ(s.At(x, y), (x + y) % 2 ? kRed : kBlue) << "(" << x << ", " << y << ")";
}

TEST(WinuiMetafile, WindowsMetafileBitsOfPaletteIndexes) {
  // A stretched 2 x 1 DIB whose colour table holds 16-bit indexes into the
  // default palette (13 red, 16 blue): the rows follow the shorter table.
  // libuemf's builders write colour tables of RGB quads only, so this
  // record is written word by word.
  TWmf w;
  w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(40, 20)))
      .Add(vxtest::RawWmr(0x0F43, {0x0020, 0x00CC, 1, 1, 2, 0, 0, 20, 40, 0, 0,  // rop, use, source, destination
                                             40, 0, 2, 0, 1, 0, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0,  // header
                                             2, 0, 0, 0, 13, 16, 0x0100, 0}));  // used colours, table, rows
  std::vector<uint8_t> wmf = w.Finish();
  Surface s(40, 20);
  ASSERT_TRUE(s.PlayWmf(wmf, 40 * 2540 / 96, 20 * 2540 / 96));
  for (POINT pt : {POINT{1, 1}, POINT{18, 18}}) EXPECT_EQ(s.At(pt.x, pt.y), kRed) << pt.x << ", " << pt.y;
  for (POINT pt : {POINT{21, 1}, POINT{38, 18}}) EXPECT_EQ(s.At(pt.x, pt.y), kBlue) << pt.x << ", " << pt.y;
}

TEST(WinuiMetafile, WindowsMetafileTextIsWindows1252) {
  // Euro sign, en dash and quotes: bytes 0x80, 0x96, 0x93 and 0x94.
  TWmf w;
  w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(100, 50)));
  w.Select(w.Font(-20, "DejaVu Sans"))
      .Add(U_WMRSETBKMODE_set(U_TRANSPARENT))
      .Add(U_WMRTEXTOUT_set(Pt16(8, 10), const_cast<char*>("\x80\x96\x93\x94")));
  std::vector<uint8_t> wmf = w.Finish();
  Surface s(100, 50);
  ASSERT_TRUE(s.PlayWmf(wmf, 10000, 5000));
  // The same characters drawn directly.
  Surface d(100, 50);
  LOGFONTW lf;
  lf.lfHeight = -20;
  lf.lfWeight = 400;
  const std::u16string face = u"DejaVu Sans";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(d.dc, f);
  SetBkMode(d.dc, TRANSPARENT);
  const std::string text = "\u20AC\u2013\u201C\u201D";
  TextOutW(d.dc, 8, 10, text.c_str(), int(text.size()));
  SelectObject(d.dc, old);
  DeleteObject(f);
  RECT a = s.Box(0), b = d.Box(0);
  EXPECT_LT(b.left, b.right) << "text drawn";
  EXPECT_TRUE(Same(a, b)) << a.left << "," << a.top << "," << a.right << "," << a.bottom << " against " << b.left
                          << "," << b.top << "," << b.right << "," << b.bottom;
}

}  // namespace
