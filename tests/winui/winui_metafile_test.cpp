// Enhanced and Windows metafiles played onto DIB sections: the frame mapped
// onto the destination, mapping modes, saved states, the object table,
// shapes, bits and text, and damaged metafiles refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
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
std::vector<uint8_t> RedBox(const std::u16string& Description = u"") {
  TEmf e(40, 30, Description);
  e.SolidBrush(kRed);
  // Comments are skipped: an EMF+ one, and one that holds a record.
  vxtest::TMalloced<char> inside(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 30)));
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
      .Add(U_EMRCOMMENT_set(4, "EMF+"))
      .Add(U_EMRCOMMENT_set(reinterpret_cast<U_EMR*>(inside.get())->nSize, inside.get()))
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
  // A header with a description is longer: the records follow it.
  const std::u16string described(u"Tarvello\0red box\0\0", 19);
  for (const Case& c : cases)
    for (const std::u16string& description : {std::u16string(), described}) {
      Surface s(90, 70);
      ASSERT_TRUE(s.Play(RedBox(description), c.dest));
      EXPECT_TRUE(Same(s.Box(kRed), c.box)) << c.dest.right << ": " << s.Box(kRed).left << "," << s.Box(kRed).top
                                            << "-" << s.Box(kRed).right << "," << s.Box(kRed).bottom;
      // Nothing outside the box changed: the picture paints no background.
      EXPECT_EQ(s.At(0, 0), kWhite);
    }
  std::vector<uint8_t> emf = RedBox(described);
  HENHMETAFILE m = SetEnhMetaFileBits(UINT(emf.size()), emf.data());
  ASSERT_NE(m, nullptr);
  ENHMETAHEADER h;
  ASSERT_EQ(GetEnhMetaFileHeader(m, sizeof h, &h), sizeof h);
  EXPECT_EQ(h.nDescription, 19u);
  EXPECT_GE(h.offDescription, 88u);
  DeleteEnhMetaFile(m);
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

// A pen record's width is the line's: as wide as the same pen of a
// Windows metafile.
TEST(WinuiMetafile, CreatedPenKeepsItsWidth) {
  TEmf e(40, 40);
  e.Pen(U_PS_SOLID, 9, kGreen);
  e.Add(U_EMRMOVETOEX_set(Ptl(5, 20))).Add(U_EMRLINETO_set(Ptl(35, 20)));
  Surface s(40, 40);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
  EXPECT_EQ(s.At(20, 17), kGreen);
  EXPECT_EQ(s.At(20, 23), kGreen);
  EXPECT_EQ(s.At(20, 12), kWhite);
  EXPECT_EQ(s.At(20, 28), kWhite);
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

    // The font record in its short and its long form; a text record
    // without distances (their offset 0) takes the font's own advances.
    for (const char* variant : {"short font record", "long font record", "no distances"}) {
      TEmf e(60, 40);
      e.Font(-20, u"DejaVu Sans", 400, variant == std::string("long font record"));
      e.Add(U_EMRSETTEXTCOLOR_set(Cref(0)))
          .Add(U_EMRSETBKMODE_set(U_TRANSPARENT))
          .Add(U_EMRSETTEXTALIGN_set(align))
          .Text(10, 25, u"HH", {uint32_t(one.cx), uint32_t(two.cx - one.cx)});
      std::vector<uint8_t> emf = e.Finish();
      if (variant == std::string("no distances"))
        vxtest::Set32(emf, vxtest::FindEmfRecord(emf, U_EMR_EXTTEXTOUTW) + 72, 0);  // offDx
      Surface s(60, 40);
      ASSERT_TRUE(s.Play(emf, RECT{0, 0, 60, 40}));
      RECT a = s.Box(0), b = d.Box(0);
      EXPECT_LT(a.left, a.right) << "text drawn";
      EXPECT_TRUE(Same(a, b)) << align << ", " << variant;
    }
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
  w.Select(red).Select(pen).Add(U_WMRRECTANGLE_set(Rect16(0, 0, 500, 250)));
  // An escape is skipped, even one that holds a record.
  vxtest::TMalloced<char> inside(U_WMRRECTANGLE_set(Rect16(0, 0, 1000, 500)));
  w.Add(U_WMRESCAPE_set(U_MFE_META_ESCAPE_ENHANCED_METAFILE, 14, inside.get())).Delete(red);
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

// Record families written by libuemf's builders, each played on its own
// 40 x 40 picture: the pixels that show the record read right.
namespace {

struct Probe {
  int x, y;
  uint32_t colour;
  int within = 0;  // the colour lies within this many pixels (curves)
};

bool Near(const Surface& s, const Probe& p) {
  for (int y = std::max(0, p.y - p.within); y <= std::min(s.h - 1, p.y + p.within); ++y)
    for (int x = std::max(0, p.x - p.within); x <= std::min(s.w - 1, p.x + p.within); ++x)
      if (s.At(x, y) == p.colour) return true;
  return false;
}

struct FamilyCase {
  const char* name;
  std::function<void(TEmf&)> records;
  std::vector<Probe> probes;
};

constexpr uint32_t kBlack = 0, kCyan = 0xFFFF00;

void CheckFamilies(const std::vector<FamilyCase>& cases, const std::function<void(TEmf&)>& Before) {
  for (const FamilyCase& c : cases) {
    TEmf e(40, 40);
    Before(e);
    c.records(e);
    Surface s(40, 40);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40})) << c.name;
    for (const Probe& p : c.probes)
      EXPECT_TRUE(Near(s, p)) << c.name << ": (" << p.x << ", " << p.y << ") is " << std::hex << s.At(p.x, p.y)
                              << ", not " << p.colour;
  }
}

U_POINTL P(int32_t x, int32_t y) { return Ptl(x, y); }

TEST(WinuiMetafile, FilledShapeRecords) {
  const U_RECTL all = Rectl(0, 0, 40, 40);
  auto polygon = [](std::vector<U_POINTL> pts) {
    return [pts](TEmf& e) { e.Add(U_EMRPOLYGON_set(Rectl(0, 0, 40, 40), uint32_t(pts.size()), pts.data())); };
  };
  // Two squares of the same turn overlapping at (15, 15)-(25, 25).
  auto overlapping = [](uint32_t Mode) {
    return [Mode](TEmf& e) {
      const U_POINTL pts[] = {{5, 5}, {25, 5}, {25, 25}, {5, 25}, {15, 15}, {35, 15}, {35, 35}, {15, 35}};
      const uint32_t counts[] = {4, 4};
      e.Add(U_EMRSETPOLYFILLMODE_set(Mode)).Add(U_EMRPOLYPOLYGON_set(Rectl(5, 5, 35, 35), 2, counts, 8, pts));
    };
  };
  auto pie = [all](uint32_t Direction) {
    return [all, Direction](TEmf& e) {
      e.Add(U_EMRSETARCDIRECTION_set(Direction)).Add(U_EMRPIE_set(all, Ptl(40, 20), Ptl(20, 0)));
    };
  };
  // A scale by 2 and a move by (5, 0), the move first or last.
  auto transform = [](uint32_t Mode) {
    return [Mode](TEmf& e) {
      e.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(2, 0, 0, 2, 0, 0)))
          .Add(U_EMRMODIFYWORLDTRANSFORM_set(xform_set(1, 0, 0, 1, 5, 0), Mode))
          .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 5, 5)));
    };
  };
  auto rect = [](TEmf& e) { e.Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 40))); };
  std::vector<FamilyCase> cases = {
      {"polygon of 32-bit points", polygon({{5, 5}, {35, 5}, {5, 35}}),
       {{10, 10, kRed}, {30, 30, kWhite}}},
      {"poly-polygon of 16-bit points",
       [](TEmf& e) {
         const U_POINT16 pts[] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}, {25, 25}, {38, 25}, {38, 38}, {25, 38}};
         const uint32_t counts[] = {4, 4};
         e.Add(U_EMRPOLYPOLYGON16_set(Rectl(2, 2, 38, 38), 2, counts, 8, pts));
       },
       {{7, 7, kRed}, {30, 30, kRed}, {18, 18, kWhite}}},
      {"alternate fill", overlapping(U_ALTERNATE), {{10, 10, kRed}, {30, 30, kRed}, {20, 20, kWhite}}},
      {"winding fill", overlapping(U_WINDING), {{10, 10, kRed}, {30, 30, kRed}, {20, 20, kRed}}},
      {"rounded rectangle", [all](TEmf& e) { e.Add(U_EMRROUNDRECT_set(all, Szl(20, 20))); },
       {{1, 1, kWhite}, {38, 38, kWhite}, {20, 2, kRed}, {2, 20, kRed}, {20, 20, kRed}}},
      {"chord", [all](TEmf& e) { e.Add(U_EMRCHORD_set(all, Ptl(40, 20), Ptl(0, 20))); },
       {{20, 10, kRed}, {5, 17, kRed}, {20, 30, kWhite}}},
      {"pie, counter-clockwise", pie(U_AD_COUNTERCLOCKWISE),
       {{28, 12, kRed}, {12, 12, kWhite}, {28, 28, kWhite}, {12, 28, kWhite}}},
      {"pie, clockwise", pie(U_AD_CLOCKWISE), {{28, 12, kWhite}, {12, 12, kRed}, {28, 28, kRed}, {12, 28, kRed}}},
      {"filled path",
       [](TEmf& e) {
         e.Add(U_EMRBEGINPATH_set())
             .Add(U_EMRMOVETOEX_set(Ptl(5, 5)))
             .Add(U_EMRLINETO_set(Ptl(35, 5)))
             .Add(U_EMRLINETO_set(Ptl(35, 35)))
             .Add(U_EMRCLOSEFIGURE_set())
             .Add(U_EMRENDPATH_set())
             .Add(U_EMRFILLPATH_set(Rectl(5, 5, 35, 35)));
       },
       {{30, 10, kRed}, {10, 30, kWhite}}},
      // Figures inside a path only shape it.
      {"rectangle, ellipse and chord kept in a path",
       [](TEmf& e) {
         e.Add(U_EMRBEGINPATH_set())
             .Add(U_EMRRECTANGLE_set(Rectl(2, 2, 18, 18)))
             .Add(U_EMRELLIPSE_set(Rectl(22, 22, 38, 38)))
             .Add(U_EMRCHORD_set(Rectl(2, 22, 18, 38), Ptl(18, 30), Ptl(2, 30)))
             .Add(U_EMRENDPATH_set());
       },
       {{10, 10, kWhite}, {30, 30, kWhite}, {10, 26, kWhite}}},
      {"ellipse path filled",
       [](TEmf& e) {
         e.Add(U_EMRBEGINPATH_set())
             .Add(U_EMRELLIPSE_set(Rectl(5, 5, 35, 35)))
             .Add(U_EMRENDPATH_set())
             .Add(U_EMRFILLPATH_set(Rectl(5, 5, 35, 35)));
       },
       {{20, 20, kRed}, {7, 7, kWhite}}},
      {"aborted path",
       [](TEmf& e) {
         e.Add(U_EMRBEGINPATH_set())
             .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 40)))
             .Add(U_EMRABORTPATH_set())
             .Add(U_EMRFILLPATH_set(Rectl(0, 0, 40, 40)));
       },
       {{20, 20, kWhite}}},
      {"stock brush",
       [](TEmf& e) { e.Add(U_EMRSELECTOBJECT_set(U_GRAY_BRUSH)).Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 40))); },
       {{20, 20, 0x808080}}},
      {"inverting mix", [](TEmf& e) { e.Add(U_EMRSETROP2_set(U_R2_NOT)).Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 40))); },
       {{20, 20, kBlack}}},
      {"exclusive-or mix",
       [](TEmf& e) {
         e.Add(U_EMRSETROP2_set(U_R2_XORPEN))
             .Add(U_EMRRECTANGLE_set(Rectl(5, 5, 25, 25)))
             .Add(U_EMRRECTANGLE_set(Rectl(15, 15, 35, 35)));
       },
       {{10, 10, kCyan}, {30, 30, kCyan}, {20, 20, kWhite}}},
      {"transform moved first", transform(U_MWT_LEFTMULTIPLY), {{18, 5, kRed}, {8, 5, kWhite}}},
      {"transform moved last", transform(U_MWT_RIGHTMULTIPLY), {{8, 5, kRed}, {18, 5, kWhite}}},
      // A quarter turn and a move: (x, y) to (30 - y, x).
      {"turned rectangle",
       [](TEmf& e) {
         e.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(0, 1, -1, 0, 30, 0))).Add(U_EMRRECTANGLE_set(Rectl(0, 0, 10, 20)));
       },
       {{20, 5, kRed}, {5, 5, kWhite}, {20, 15, kWhite}, {33, 5, kWhite}}},
      {"turned ellipse",
       [](TEmf& e) {
         e.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(0, 1, -1, 0, 30, 0))).Add(U_EMRELLIPSE_set(Rectl(0, 0, 10, 20)));
       },
       {{20, 5, kRed}, {11, 1, kWhite}, {29, 9, kWhite}, {20, 15, kWhite}}},
      {"window origin",
       [](TEmf& e) { e.Add(U_EMRSETWINDOWORGEX_set(Ptl(10, 10))).Add(U_EMRRECTANGLE_set(Rectl(10, 10, 20, 20))); },
       {{5, 5, kRed}, {15, 15, kWhite}}},
      {"tenths of a millimetre, y up",
       [](TEmf& e) { e.Add(U_EMRSETMAPMODE_set(U_MM_LOMETRIC)).Add(U_EMRRECTANGLE_set(Rectl(0, 0, 53, -53))); },
       {{10, 10, kRed}, {30, 30, kWhite}, {10, 30, kWhite}}},
      {"isotropic",
       [](TEmf& e) {
         e.Add(U_EMRSETMAPMODE_set(U_MM_ISOTROPIC))
             .Add(U_EMRSETWINDOWEXTEX_set(Szl(100, 50)))
             .Add(U_EMRSETVIEWPORTEXTEX_set(Szl(40, 40)))
             .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 100, 50)));
       },
       {{20, 10, kRed}, {20, 30, kWhite}}},
      {"scaled viewport",
       [](TEmf& e) {
         e.Add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC))
             .Add(U_EMRSETWINDOWEXTEX_set(Szl(40, 40)))
             .Add(U_EMRSETVIEWPORTEXTEX_set(Szl(40, 40)))
             .Add(U_EMRSCALEVIEWPORTEXTEX_set(1, 2, 1, 2))
             .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 40)));
       },
       {{10, 10, kRed}, {30, 30, kWhite}}},
      {"excluded clip",
       [rect](TEmf& e) {
         e.Add(U_EMREXCLUDECLIPRECT_set(Rectl(10, 10, 30, 30)));
         rect(e);
       },
       {{5, 5, kRed}, {20, 20, kWhite}}},
      {"clip region",
       [rect](TEmf& e) {
         U_RECTL r = Rectl(0, 0, 20, 40);
         vxtest::TMalloced<U_RGNDATA> rgn(rgndata_set(rgndataheader_set(1, r), &r));
         e.Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, rgn.get()));
         rect(e);
       },
       {{10, 20, kRed}, {30, 20, kWhite}}},
      {"clip restored",
       [rect](TEmf& e) {
         e.Add(U_EMRSAVEDC_set()).Add(U_EMRINTERSECTCLIPRECT_set(Rectl(0, 0, 10, 10))).Add(U_EMRRESTOREDC_set(-1));
         rect(e);
       },
       {{20, 20, kRed}}},
  };
  CheckFamilies(cases, [](TEmf& e) {
    e.SolidBrush(kRed);
    e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN));
  });
}

// A clip region record without region data (libuemf writes one only with
// data: its size is set to 0 afterwards) takes the picture's clipping back
// to the destination's own; the saved states stay.
TEST(WinuiMetafile, ClipResetKeepsSavedStatesAndTheDestinationsClip) {
  TEmf e(40, 40);
  e.SolidBrush(kRed);
  U_RECTL r = Rectl(0, 0, 1, 1);
  vxtest::TMalloced<U_RGNDATA> rgn(rgndata_set(rgndataheader_set(1, r), &r));
  U_RECTL all = Rectl(0, 0, 40, 40);
  vxtest::TMalloced<U_RGNDATA> whole(rgndata_set(rgndataheader_set(1, all), &all));
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
      .Add(U_EMRSAVEDC_set())
      .Add(U_EMRINTERSECTCLIPRECT_set(Rectl(0, 0, 10, 10)));
  e.SolidBrush(kBlue);
  e.Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, rgn.get()))
      .Add(U_EMRRECTANGLE_set(Rectl(0, 30, 40, 40)))  // the whole width again
      .Add(U_EMRRESTOREDC_set(-1))
      .Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, whole.get()))  // within the destination's clip still
      .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 30)));             // in the saved brush
  std::vector<uint8_t> emf = e.Finish();
  vxtest::Set32(emf, vxtest::FindEmfRecord(emf, U_EMR_EXTSELECTCLIPRGN) + 8, 0);  // cbRgnData
  Surface s(40, 40);
  IntersectClipRect(s.dc, 0, 0, 30, 40);  // the destination's own clip
  ASSERT_TRUE(s.Play(emf, RECT{0, 0, 40, 40}));
  EXPECT_TRUE(Same(s.Box(kBlue), RECT{0, 30, 30, 40}));
  EXPECT_TRUE(Same(s.Box(kRed), RECT{0, 0, 30, 30}));
  EXPECT_EQ(s.At(35, 20), kWhite);
}

// Clip records that keep combining regions into the clip: bars crossing
// one another by exclusive or, most of them far beyond the destination (the
// clip keeps to the destination, so that it cannot grow there without
// bound). Over the destination the chequerboard is exact: the clip starts
// as the whole surface, so a pixel is drawn where it lies on as many
// horizontal as vertical bars.
TEST(WinuiMetafile, ClipCombinedOverManyRecordsIsExactOnTheDestination) {
  constexpr int kBars = 120;  // each way, 4 pixels apart, to 480 pixels
  TEmf e(40, 40);
  e.SolidBrush(kRed);
  e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN));
  for (int i = 0; i < kBars; ++i)
    for (bool across : {true, false}) {
      U_RECTL r = across ? Rectl(0, 4 * i, 4 * kBars, 4 * i + 2) : Rectl(4 * i, 0, 4 * i + 2, 4 * kBars);
      vxtest::TMalloced<U_RGNDATA> rgn(rgndata_set(rgndataheader_set(1, r), &r));
      e.Add(U_EMREXTSELECTCLIPRGN_set(U_RGN_XOR, rgn.get()));
    }
  e.Add(U_EMRRECTANGLE_set(Rectl(0, 0, 41, 41)));
  Surface s(40, 40);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(s.At(x, y), (y % 4 < 2) == (x % 4 < 2) ? kRed : kWhite) << "at (" << x << ", " << y << ")";
}

TEST(WinuiMetafile, HatchedBrushesAndTheBackground) {
  // A cross hatch in red; between its lines the background colour when
  // opaque, the picture below when transparent.
  for (uint32_t mode : {U_OPAQUE, U_TRANSPARENT}) {
    TEmf e(40, 40);
    uint32_t ih = 0;
    e.Add(createbrushindirect_set(&ih, e.Handles(), logbrush_set(U_BS_HATCHED, Cref(kRed), U_HS_CROSS)))
        .Add(U_EMRSELECTOBJECT_set(ih))
        .Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
        .Add(U_EMRSETBKMODE_set(mode))
        .Add(U_EMRSETBKCOLOR_set(Cref(kGreen)))
        .Add(U_EMRRECTANGLE_set(Rectl(0, 0, 40, 40)));
    Surface s(40, 40);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
    const uint32_t between = mode == U_OPAQUE ? kGreen : kWhite;
    int red = 0, other = 0;
    for (int y = 2; y < 38; ++y)
      for (int x = 2; x < 38; ++x) {
        ASSERT_TRUE(s.At(x, y) == kRed || s.At(x, y) == between) << mode << " at (" << x << ", " << y << ")";
        (s.At(x, y) == kRed ? red : other)++;
      }
    // Lines every 8 pixels both ways: about a quarter is hatch.
    EXPECT_GT(red, 36 * 36 / 8) << mode;
    EXPECT_GT(other, 36 * 36 / 2) << mode;
  }
}

// The brush origin a record sets is taken in the destination's pixels as it
// stands, wherever the picture lands and however large: a red cross hatch,
// whose lines lie on column 4 and row 3 of every 8 from the origin, over
// white. Where the platform played the same picture (gen/brush_origin.c),
// the whole picture is its.
TEST(WinuiMetafile, BrushOriginRecordMovesPatternsInDevicePixels) {
  std::map<std::string, std::string> platform;
  {
    std::ifstream f(std::string(VX_TEST_DATA_DIR) + "/metafile/gen/brush_origin.txt");
    ASSERT_TRUE(f) << "brush_origin.txt";
    std::string head;
    while (std::getline(f, head)) {
      std::istringstream h(head);
      std::string tag, kind;
      int w = 0, rows = 0;
      h >> tag >> kind >> w >> rows;
      std::string pic;
      for (int y = 0; y < rows; ++y) {
        std::string row;
        std::getline(f, row);
        pic += row + "\n";
      }
      platform[tag + " " + kind] = pic;
    }
  }
  struct Case {
    const char* name;  // the platform's picture of the same, if it has one
    std::vector<POINT> origins;  // SETBRUSHORGEX records in order
    bool saved;                  // the last one between SAVEDC and RESTOREDC
    RECT dest;
    int w, h;
    RECT inside;  // device pixels the hatch fills
    int column, row;
  } cases[] = {
      {"no-origin own", {}, false, {0, 0, 30, 20}, 30, 20, {2, 2, 27, 17}, 4, 3},
      {"no-origin moved", {}, false, {5, 2, 35, 22}, 40, 24, {7, 4, 32, 19}, 4, 3},
      {"origin-3-5 own", {{3, 5}}, false, {0, 0, 30, 20}, 30, 20, {2, 2, 27, 17}, 7, 0},
      {"origin-3-5 moved", {{3, 5}}, false, {5, 2, 35, 22}, 40, 24, {7, 4, 32, 19}, 7, 0},
      {"origin-3-5 doubled", {{3, 5}}, false, {0, 0, 60, 40}, 60, 40, {4, 4, 54, 34}, 7, 0},
      {"restored by RESTOREDC", {{3, 5}, {1, 1}}, true, {0, 0, 30, 20}, 30, 20, {2, 2, 27, 17}, 7, 0},
      {"at the ends of the range", {{-2147483647, 2147483647}}, false, {0, 0, 30, 20}, 30, 20, {2, 2, 27, 17}, 5, 2},
  };
  for (const Case& c : cases) {
    TEmf e(30, 20);
    uint32_t ih = 0;
    for (size_t i = 0; i < c.origins.size(); ++i) {
      if (c.saved && i + 1 == c.origins.size()) e.Add(U_EMRSAVEDC_set());
      e.Add(U_EMRSETBRUSHORGEX_set(Ptl(c.origins[i].x, c.origins[i].y)));
      if (c.saved && i + 1 == c.origins.size()) e.Add(U_EMRRESTOREDC_set(-1));
    }
    e.Add(createbrushindirect_set(&ih, e.Handles(), logbrush_set(U_BS_HATCHED, Cref(kRed), U_HS_CROSS)))
        .Add(U_EMRSELECTOBJECT_set(ih))
        .Add(U_EMRSELECTOBJECT_set(U_NULL_PEN))
        .Add(U_EMRSETBKMODE_set(U_TRANSPARENT))
        .Add(U_EMRRECTANGLE_set(Rectl(1, 1, 28, 18)));  // as the platform records Rectangle(1, 1, 29, 19)
    Surface s(c.w, c.h);
    ASSERT_TRUE(s.Play(e.Finish(), c.dest)) << c.name;
    for (int y = c.inside.top; y < c.inside.bottom; ++y)
      for (int x = c.inside.left; x < c.inside.right; ++x)
        ASSERT_EQ(s.At(x, y), x % 8 == c.column || y % 8 == c.row ? kRed : kWhite)
            << c.name << " at (" << x << ", " << y << ")";
    auto it = platform.find(c.name);
    if (it == platform.end()) continue;
    std::string ours;
    for (int y = 0; y < c.h; ++y) {
      for (int x = 0; x < c.w; ++x) ours += s.At(x, y) == kWhite ? '.' : s.At(x, y) == kRed ? 'r' : '?';
      ours += '\n';
    }
    EXPECT_EQ(ours, it->second) << c.name;
  }
  EXPECT_EQ(platform.count("origin-3-5 doubled"), 1u);
}

TEST(WinuiMetafile, StrokedRecords) {
  const U_RECTL all = Rectl(0, 0, 40, 40);
  // A Bézier from (2, 2) down to y = 38 and back up at (38, 2): its middle
  // is (20, 29).
  const U_POINT16 curve[] = {{2, 2}, {2, 38}, {38, 38}, {38, 2}};
  std::vector<FamilyCase> cases = {
      {"polyline of 16-bit points",
       [](TEmf& e) {
         const U_POINT16 pts[] = {{2, 5}, {37, 5}, {37, 35}};
         e.Add(U_EMRPOLYLINE16_set(Rectl(2, 5, 37, 35), 3, pts));
       },
       {{20, 5, kBlue}, {37, 20, kBlue}, {20, 20, kWhite}}},
      {"polyline of 32-bit points",
       [](TEmf& e) {
         const U_POINTL pts[] = {{2, 5}, {37, 5}, {37, 35}};
         e.Add(U_EMRPOLYLINE_set(Rectl(2, 5, 37, 35), 3, pts));
       },
       {{20, 5, kBlue}, {37, 20, kBlue}, {20, 20, kWhite}}},
      {"poly-polyline",
       [](TEmf& e) {
         const U_POINT16 pts[] = {{2, 5}, {37, 5}, {2, 30}, {37, 30}};
         const uint32_t counts[] = {2, 2};
         e.Add(U_EMRPOLYPOLYLINE16_set(Rectl(2, 5, 37, 30), 2, counts, 4, pts));
       },
       {{20, 5, kBlue}, {20, 30, kBlue}, {20, 20, kWhite}}},
      {"polyline from the current point",
       [](TEmf& e) {
         const U_POINTL pts[] = {{37, 10}, {37, 30}};
         e.Add(U_EMRMOVETOEX_set(Ptl(2, 10))).Add(U_EMRPOLYLINETO_set(Rectl(2, 10, 37, 30), 2, pts));
       },
       {{3, 10, kBlue}, {20, 10, kBlue}, {37, 20, kBlue}, {20, 20, kWhite}}},
      {"Bézier", [curve](TEmf& e) { e.Add(U_EMRPOLYBEZIER16_set(Rectl(2, 2, 38, 38), 4, curve)); },
       {{20, 29, kBlue, 1}, {2, 3, kBlue, 1}, {20, 20, kWhite}, {20, 36, kWhite}}},
      {"Bézier from the current point",
       [curve](TEmf& e) {
         e.Add(U_EMRMOVETOEX_set(Ptl(2, 2))).Add(U_EMRPOLYBEZIERTO16_set(Rectl(2, 2, 38, 38), 3, curve + 1));
       },
       {{20, 29, kBlue, 1}, {20, 20, kWhite}, {20, 36, kWhite}}},
      {"arc", [all](TEmf& e) { e.Add(U_EMRARC_set(all, Ptl(40, 20), Ptl(0, 20))); },
       {{20, 0, kBlue, 1}, {20, 39, kWhite}, {20, 20, kWhite}}},
      {"arc from the current point",
       [all](TEmf& e) { e.Add(U_EMRMOVETOEX_set(Ptl(20, 20))).Add(U_EMRARCTO_set(all, Ptl(40, 20), Ptl(0, 20))); },
       {{30, 20, kBlue}, {20, 0, kBlue, 1}, {10, 20, kWhite}}},
      {"line on from an arc's end",
       [all](TEmf& e) {
         e.Add(U_EMRMOVETOEX_set(Ptl(20, 20)))
             .Add(U_EMRARCTO_set(all, Ptl(40, 20), Ptl(0, 20)))
             .Add(U_EMRLINETO_set(Ptl(0, 39)));
       },
       {{0, 30, kBlue, 1}, {20, 30, kWhite}}},
      {"line on from a polyline's end",
       [](TEmf& e) {
         const U_POINT16 pts[] = {{37, 10}, {37, 30}};
         e.Add(U_EMRMOVETOEX_set(Ptl(2, 10)))
             .Add(U_EMRPOLYLINETO16_set(Rectl(2, 10, 37, 30), 2, pts))
             .Add(U_EMRLINETO_set(Ptl(2, 30)));
       },
       {{20, 30, kBlue}, {20, 20, kWhite}}},
      {"closed figure stroked",
       [](TEmf& e) {
         e.Add(U_EMRBEGINPATH_set())
             .Add(U_EMRMOVETOEX_set(Ptl(5, 5)))
             .Add(U_EMRLINETO_set(Ptl(35, 5)))
             .Add(U_EMRLINETO_set(Ptl(35, 35)))
             .Add(U_EMRCLOSEFIGURE_set())
             .Add(U_EMRENDPATH_set())
             .Add(U_EMRSTROKEPATH_set(Rectl(5, 5, 35, 35)));
       },
       {{20, 20, kBlue, 1}, {35, 20, kBlue}, {10, 30, kWhite}}},
      {"geometric pen under a scale",
       [](TEmf& e) {
         vxtest::TMalloced<U_EXTLOGPEN> elp(
             extlogpen_set(U_PS_GEOMETRIC | U_PS_SOLID | U_PS_ENDCAP_FLAT, 4, U_BS_SOLID, Cref(kGreen), 0, 0, nullptr));
         uint32_t ih = 0;
         e.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(2, 0, 0, 2, 0, 0)))
             .Add(extcreatepen_set(&ih, e.Handles(), nullptr, 0, nullptr, elp.get()))
             .Add(U_EMRSELECTOBJECT_set(ih))
             .Add(U_EMRMOVETOEX_set(Ptl(2, 10)))
             .Add(U_EMRLINETO_set(Ptl(18, 10)));
       },
       {{20, 17, kGreen}, {20, 22, kGreen}, {20, 13, kWhite}, {20, 27, kWhite}}},
      {"cosmetic pen under a scale",
       [](TEmf& e) {
         vxtest::TMalloced<U_EXTLOGPEN> elp(extlogpen_set(U_PS_SOLID, 1, U_BS_SOLID, Cref(kGreen), 0, 0, nullptr));
         uint32_t ih = 0;
         e.Add(U_EMRSETWORLDTRANSFORM_set(xform_set(4, 0, 0, 4, 0, 0)))
             .Add(extcreatepen_set(&ih, e.Handles(), nullptr, 0, nullptr, elp.get()))
             .Add(U_EMRSELECTOBJECT_set(ih))
             .Add(U_EMRMOVETOEX_set(Ptl(1, 5)))
             .Add(U_EMRLINETO_set(Ptl(9, 5)));
       },
       {{20, 20, kGreen}, {20, 18, kWhite}, {20, 22, kWhite}}},
      {"stroked path",
       [](TEmf& e) {
         e.Add(U_EMRBEGINPATH_set())
             .Add(U_EMRMOVETOEX_set(Ptl(5, 20)))
             .Add(U_EMRLINETO_set(Ptl(35, 20)))
             .Add(U_EMRENDPATH_set())
             .Add(U_EMRSTROKEPATH_set(Rectl(5, 20, 35, 20)));
       },
       {{20, 20, kBlue}, {20, 25, kWhite}}},
      {"wide geometric pen",
       [](TEmf& e) {
         vxtest::TMalloced<U_EXTLOGPEN> elp(
             extlogpen_set(U_PS_GEOMETRIC | U_PS_SOLID | U_PS_ENDCAP_FLAT, 9, U_BS_SOLID, Cref(kGreen), 0, 0, nullptr));
         uint32_t ih = 0;
         e.Add(extcreatepen_set(&ih, e.Handles(), nullptr, 0, nullptr, elp.get()))
             .Add(U_EMRSELECTOBJECT_set(ih))
             .Add(U_EMRMOVETOEX_set(Ptl(5, 20)))
             .Add(U_EMRLINETO_set(Ptl(35, 20)));
       },
       {{20, 17, kGreen}, {20, 23, kGreen}, {20, 12, kWhite}, {20, 28, kWhite}}},
      {"stock pen",
       [](TEmf& e) {
         e.Add(U_EMRSELECTOBJECT_set(U_BLACK_PEN)).Add(U_EMRMOVETOEX_set(Ptl(5, 20))).Add(U_EMRLINETO_set(Ptl(35, 20)));
       },
       {{20, 20, kBlack}}},
  };
  CheckFamilies(cases, [](TEmf& e) {
    e.Pen(U_PS_SOLID, 1, kBlue);
    e.Add(U_EMRSELECTOBJECT_set(U_NULL_BRUSH));
  });
}

TEST(WinuiMetafile, BlockTransferRecords) {
  // A 2 x 1 DIB of 24 bits (blue, red); bottom-up unless its height is
  // negative.
  const char row24[8] = {char(0xFF), 0, 0, 0, 0, char(0xFF), 0, 0};
  const U_XFORM same = xform_set(1, 0, 0, 1, 0, 0);
  auto info24 = [] { return vxtest::DibInfo(2, 1, 24); };
  std::vector<FamilyCase> cases = {
      {"pattern block",
       [same](TEmf& e) {
         e.Add(U_EMRBITBLT_set(Rectl(5, 5, 14, 14), Ptl(5, 5), Ptl(10, 10), Ptl(0, 0), same, Cref(0), U_DIB_RGB_COLORS,
                               U_PATCOPY, nullptr, 0, nullptr));
       },
       {{5, 5, kRed}, {14, 14, kRed}, {20, 20, kWhite}, {4, 4, kWhite}}},
      {"block of bits",
       [&](TEmf& e) {
         e.Add(U_EMRBITBLT_set(Rectl(10, 10, 11, 10), Ptl(10, 10), Ptl(2, 1), Ptl(0, 0), same, Cref(0),
                               U_DIB_RGB_COLORS, U_SRCCOPY, info24().get(), sizeof row24, const_cast<char*>(row24)));
       },
       {{10, 10, kBlue}, {11, 10, kRed}, {12, 10, kWhite}, {10, 11, kWhite}}},
      {"stretched block",
       [&](TEmf& e) {
         e.Add(U_EMRSTRETCHBLT_set(Rectl(0, 0, 19, 9), Ptl(0, 0), Ptl(20, 10), Ptl(0, 0), Ptl(2, 1), same, Cref(0),
                                   U_DIB_RGB_COLORS, U_SRCCOPY, info24().get(), sizeof row24,
                                   const_cast<char*>(row24)));
       },
       {{2, 5, kBlue}, {17, 5, kRed}, {10, 12, kWhite}}},
      {"bits to the device",
       [&](TEmf& e) {
         e.Add(U_EMRSETDIBITSTODEVICE_set(Rectl(5, 5, 6, 5), Ptl(5, 5), Ptl(0, 0), Ptl(2, 1), U_DIB_RGB_COLORS, 0, 1,
                                          info24().get(), sizeof row24, const_cast<char*>(row24)));
       },
       {{5, 5, kBlue}, {6, 5, kRed}, {7, 5, kWhite}}},
      {"8-bit DIB with a colour table",
       [](TEmf& e) {
         const char row8[4] = {1, 0, 0, 0};
         e.Add(U_EMRSTRETCHDIBITS_set(Rectl(0, 0, 19, 9), Ptl(0, 0), Ptl(20, 10), Ptl(0, 0), Ptl(2, 1),
                                      U_DIB_RGB_COLORS, U_SRCCOPY, vxtest::DibInfo(2, 1, 8, {0x00FF00, 0xFF0000}).get(),
                                      sizeof row8, const_cast<char*>(row8)));
       },
       {{2, 5, kRed}, {17, 5, kGreen}}},
      {"top-down 32-bit DIB",
       [](TEmf& e) {
         // Rows top first: blue, blue over red, red.
         const char rows[16] = {char(0xFF), 0, 0, 0, char(0xFF), 0, 0, 0, 0, 0, char(0xFF), 0, 0, 0, char(0xFF), 0};
         e.Add(U_EMRSTRETCHDIBITS_set(Rectl(0, 0, 19, 19), Ptl(0, 0), Ptl(20, 20), Ptl(0, 0), Ptl(2, 2),
                                      U_DIB_RGB_COLORS, U_SRCCOPY, vxtest::DibInfo(2, -2, 32).get(), sizeof rows,
                                      const_cast<char*>(rows)));
       },
       {{10, 5, kBlue}, {10, 15, kRed}, {25, 10, kWhite}}},
  };
  CheckFamilies(cases, [](TEmf& e) { e.SolidBrush(kRed); });
}

// A record libuemf wrote, then one of its fields overwritten: the record
// draws nothing and the records after it play.
TEST(WinuiMetafile, DamagedFieldsSkipTheirRecord) {
  const U_POINT16 triangle[] = {{0, 0}, {10, 0}, {0, 10}};
  const uint32_t counts[] = {2, 1};
  const char row24[8] = {char(0xFF), 0, 0, 0, 0, char(0xFF), 0, 0};
  auto polygon = [&](TEmf& e) { e.Add(U_EMRPOLYGON16_set(Rectl(0, 0, 10, 10), 3, triangle)); };
  auto polyPolygon = [&](TEmf& e) { e.Add(U_EMRPOLYPOLYGON16_set(Rectl(0, 0, 10, 10), 2, counts, 3, triangle)); };
  auto text = [](TEmf& e) {
    e.Font(-10, u"DejaVu Sans");
    e.Add(U_EMRSETTEXTCOLOR_set(Cref(kRed))).Text(1, 1, u"HHH", {3, 3, 3});
  };
  auto bits = [&](TEmf& e) {
    e.Add(U_EMRSTRETCHDIBITS_set(Rectl(0, 0, 9, 9), Ptl(0, 0), Ptl(10, 10), Ptl(0, 0), Ptl(2, 1), U_DIB_RGB_COLORS,
                                 U_SRCCOPY, vxtest::DibInfo(2, 1, 24).get(), sizeof row24, const_cast<char*>(row24)));
  };
  struct Case {
    const char* name;
    std::function<void(TEmf&)> record;
    uint32_t type;
    size_t field;  // offset in the record
    uint32_t value;
  } cases[] = {
      {"points past the record", polygon, U_EMR_POLYGON16, 24, 1000},
      {"points beyond counting", polygon, U_EMR_POLYGON16, 24, 0xFFFFFFFF},
      {"polygons beyond counting", polyPolygon, U_EMR_POLYPOLYGON16, 24, 0xFFFFFFFF},
      {"polygon counts that do not add up", polyPolygon, U_EMR_POLYPOLYGON16, 32, 5},
      {"a polygon count beyond counting", polyPolygon, U_EMR_POLYPOLYGON16, 32, 0xFFFFFFFE},
      {"characters past the record", text, U_EMR_EXTTEXTOUTW, 44, 1000000},
      {"string past the record", text, U_EMR_EXTTEXTOUTW, 48, 0xFFFFFFF0},
      {"DIB header past the record", bits, U_EMR_STRETCHDIBITS, 48, 0x7FFFFFF0},
      {"DIB header size past the record", bits, U_EMR_STRETCHDIBITS, 52, 0xFFFFFFF0},
      {"DIB rows past the record", bits, U_EMR_STRETCHDIBITS, 60, 0x7FFFFFF0},
      {"DIB wider than its rows", bits, U_EMR_STRETCHDIBITS, 80 + 4, 0x40000000},
      {"DIB of no width", bits, U_EMR_STRETCHDIBITS, 80 + 4, 0},
      {"DIB of a depth that is none", bits, U_EMR_STRETCHDIBITS, 80 + 14, 7},
  };
  for (const Case& c : cases) {
    TEmf e(40, 40);
    e.SolidBrush(kRed);
    e.Add(U_EMRSELECTOBJECT_set(U_NULL_PEN));
    c.record(e);
    e.Add(U_EMRRECTANGLE_set(Rectl(20, 20, 30, 30)));
    std::vector<uint8_t> emf = e.Finish();
    const size_t at = vxtest::FindEmfRecord(emf, c.type);
    vxtest::Set32(emf, at + c.field, c.value);
    Surface s(40, 40);
    ASSERT_TRUE(s.Play(emf, RECT{0, 0, 40, 40})) << c.name;
    // Red only where the rectangle after it lies.
    EXPECT_TRUE(Same(s.Box(kRed), RECT{20, 20, 30, 30})) << c.name;
    EXPECT_TRUE(Same(s.Box(kBlue), RECT{40, 40, 0, 0})) << c.name;
  }
}

TEST(WinuiMetafile, DamagedWindowsFieldsSkipTheirRecord) {
  const U_POINT16 triangle[] = {{0, 0}, {10, 0}, {0, 10}};
  const uint16_t counts[] = {2, 1};
  const char row24[8] = {char(0xFF), 0, 0, 0, 0, char(0xFF), 0, 0};
  int16_t dx[] = {3, 3, 3};
  auto text = [](TWmf& w) { w.Select(w.Font(-10, "DejaVu Sans")).Add(U_WMRSETTEXTCOLOR_set(Cref(kRed))); };
  struct Case {
    const char* name;
    std::function<void(TWmf&)> record;
    uint16_t function;
    size_t field;  // offset in the record
    uint32_t value;
    bool wide;  // a 32-bit field
  } cases[] = {
      {"points past the record", [&](TWmf& w) { w.Add(U_WMRPOLYGON_set(3, triangle)); }, 0x0324, 6, 1000, false},
      {"polygon counts past the record", [&](TWmf& w) { w.Add(U_WMRPOLYPOLYGON_set(2, counts, triangle)); }, 0x0538,
       8, 0xFFFF, false},
      {"polygons past the record", [&](TWmf& w) { w.Add(U_WMRPOLYPOLYGON_set(2, counts, triangle)); }, 0x0538, 6,
       0xFFFF, false},
      {"characters past the record",
       [&](TWmf& w) {
         text(w);
         w.Add(U_WMRTEXTOUT_set(Pt16(1, 1), const_cast<char*>("HHH")));
       },
       0x0521, 6, 0x7FFF, false},
      {"characters past the record, extended",
       [&](TWmf& w) {
         text(w);
         w.Add(U_WMREXTTEXTOUT_set(Pt16(1, 1), 3, 0, "HHH", dx, Rect16(0, 0, 0, 0)));
       },
       0x0A32, 10, 0x7FFF, false},
      {"DIB wider than its rows",
       [&](TWmf& w) {
         w.Add(U_WMRSTRETCHDIB_set(Pt16(0, 0), Pt16(10, 10), Pt16(0, 0), Pt16(2, 1), U_DIB_RGB_COLORS, U_SRCCOPY,
                                   vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24));
       },
       0x0F43, 28 + 4, 0x4000, true},
      {"DIB of a depth that is none",
       [&](TWmf& w) {
         w.Add(U_WMRDIBSTRETCHBLT_set(Pt16(0, 0), Pt16(10, 10), Pt16(0, 0), Pt16(2, 1), U_SRCCOPY,
                                      vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24));
       },
       0x0B41, 26 + 14, 7, false},
  };
  for (const Case& c : cases) {
    TWmf w;
    w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
        .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
        .Add(U_WMRSETWINDOWEXT_set(Pt16(40, 40)))
        .Select(w.SolidBrush(kRed))
        .Select(w.Pen(U_PS_NULL, 0, 0));
    c.record(w);
    w.Add(U_WMRRECTANGLE_set(Rect16(20, 20, 31, 31)));
    std::vector<uint8_t> wmf = w.Finish();
    const size_t at = vxtest::FindWmfRecord(wmf, c.function);
    if (c.wide)
      vxtest::Set32(wmf, at + c.field, c.value);
    else
      vxtest::Set16(wmf, at + c.field, uint16_t(c.value));
    Surface s(40, 40);
    ASSERT_TRUE(s.PlayWmf(wmf, 40 * 2540 / 96, 40 * 2540 / 96)) << c.name;
    // Red only where the rectangle after it lies.
    EXPECT_TRUE(Same(s.Box(kRed), RECT{20, 20, 30, 30})) << c.name << ": " << s.Box(kRed).left << ", "
                                                           << s.Box(kRed).top;
    EXPECT_TRUE(Same(s.Box(kBlue), RECT{40, 40, 0, 0})) << c.name;
  }
}

TEST(WinuiMetafile, BitsToTheDeviceInBands) {
  // A 2 x 4 DIB whose rows are red, green, blue and yellow from the bottom
  // (from the top when top-down); the record holds the band of rows 1 and
  // 2 only, and the whole source rectangle is at (10, 10).
  const uint32_t kYellow = 0x00FFFF;
  const uint32_t order[4] = {kRed, kGreen, kBlue, kYellow};
  auto rowBytes = [](uint32_t c) {
    std::vector<char> b = {char(c >> 16), char(c >> 8), char(c), char(c >> 16), char(c >> 8), char(c), 0, 0};
    return b;
  };
  struct Case {
    int32_t height;
    uint32_t start, scans;
    int scale;
    uint32_t expect[4];  // device rows 10..13 (times the scale)
  } cases[] = {
      {4, 0, 4, 1, {kYellow, kBlue, kGreen, kRed}},
      {4, 1, 2, 1, {kWhite, kBlue, kGreen, kWhite}},
      {4, 1, 2, 2, {kWhite, kBlue, kGreen, kWhite}},
      {-4, 1, 2, 1, {kWhite, kGreen, kBlue, kWhite}},
      {4, 3, 9, 1, {kYellow, kWhite, kWhite, kWhite}},  // more lines claimed than the DIB has
      {4, 4, 1, 1, {kWhite, kWhite, kWhite, kWhite}},   // a band past the DIB
  };
  for (const Case& c : cases) {
    std::vector<char> bits;
    for (uint32_t i = 0; i < std::min<uint32_t>(c.scans, 4 - std::min<uint32_t>(c.start, 4)); ++i) {
      std::vector<char> row = rowBytes(order[c.start + i]);
      bits.insert(bits.end(), row.begin(), row.end());
    }
    if (bits.empty()) bits.resize(8);
    TEmf e(40, 40);
    e.Add(U_EMRSETDIBITSTODEVICE_set(Rectl(10, 10, 11, 13), Ptl(10, 10), Ptl(0, 0), Ptl(2, 4), U_DIB_RGB_COLORS,
                                     c.start, c.scans, vxtest::DibInfo(2, c.height, 24).get(),
                                     uint32_t(bits.size()), bits.data()));
    Surface s(40 * c.scale, 40 * c.scale);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40 * c.scale, 40 * c.scale}));
    for (int row = 0; row < 4; ++row)
      for (int k = 0; k < c.scale; ++k)
        EXPECT_EQ(s.At(10 * c.scale + c.scale, (10 + row) * c.scale + k), c.expect[row])
            << "height " << c.height << ", band " << c.start << "+" << c.scans << ", scale " << c.scale << ", row "
            << row;
    EXPECT_EQ(s.At(9 * c.scale, 11 * c.scale), kWhite);
  }
}

TEST(WinuiMetafile, TextAlignmentsColoursAndBoxes) {
  struct Case {
    uint32_t align, options;
    RECT box;
  } cases[] = {
      {U_TA_RIGHT | U_TA_BASELINE, 0, {}},
      {U_TA_CENTER | U_TA_BOTTOM, 0, {}},
      {0, U_ETO_OPAQUE, {5, 5, 70, 35}},    // the box in the background colour
      {0, U_ETO_CLIPPED, {5, 5, 47, 35}},   // the text cut at the box
      // At the current position, (40, 5) at first, which each text moves on
      // (back when right-aligned).
      {U_TA_UPDATECP, 0, {}},
      {U_TA_UPDATECP | U_TA_RIGHT, 0, {}},
  };
  const std::string text = "Hgw";
  for (const Case& c : cases) {
    // Drawn directly with the advances the record then carries.
    Surface d(80, 40);
    LOGFONTW lf{};
    lf.lfHeight = -20;
    lf.lfWeight = 400;
    const std::u16string face = u"DejaVu Sans";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT f = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(d.dc, f);
    std::vector<INT> dx;
    for (int i = 1, before = 0; i <= int(text.size()); ++i) {
      SIZE sz{};
      GetTextExtentPoint32W(d.dc, text.c_str(), i, &sz);
      dx.push_back(sz.cx - before);
      before = sz.cx;
    }
    SetTextColor(d.dc, kRed);
    SetBkColor(d.dc, kGreen);
    SetBkMode(d.dc, TRANSPARENT);
    SetTextAlign(d.dc, c.align);
    MoveToEx(d.dc, 40, 5, nullptr);
    for (int i = 0; i < 2; ++i) ExtTextOutW(d.dc, 40, 25, c.options, &c.box, text.c_str(), int(text.size()), dx.data());
    SelectObject(d.dc, old);
    DeleteObject(f);

    TEmf e(80, 40);
    e.Font(-20, u"DejaVu Sans");
    e.Add(U_EMRSETTEXTCOLOR_set(Cref(kRed)))
        .Add(U_EMRSETBKCOLOR_set(Cref(kGreen)))
        .Add(U_EMRSETBKMODE_set(U_TRANSPARENT))
        .Add(U_EMRSETTEXTALIGN_set(c.align))
        .Add(U_EMRMOVETOEX_set(Ptl(40, 5)));
    for (int i = 0; i < 2; ++i)
      e.Text(40, 25, u"Hgw", std::vector<uint32_t>(dx.begin(), dx.end()), c.options,
             Rectl(c.box.left, c.box.top, c.box.right, c.box.bottom));
    Surface s(80, 40);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 80, 40}));
    EXPECT_LT(d.Box(kRed).left, d.Box(kRed).right) << "text drawn";
    int differ = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 80; ++x) differ += s.At(x, y) != d.At(x, y);
    EXPECT_EQ(differ, 0) << "align " << c.align << ", options " << c.options;
  }
}

struct WmfCase {
  const char* name;
  std::function<void(TWmf&)> records;
  std::vector<Probe> probes;
};

// Each case on a 40 x 40 picture whose window is 40 x 40 units, after
// Before's objects.
void CheckWmfFamilies(const std::vector<WmfCase>& cases, const std::function<void(TWmf&)>& Before) {
  for (const WmfCase& c : cases) {
    TWmf w;
    w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
        .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
        .Add(U_WMRSETWINDOWEXT_set(Pt16(40, 40)));
    Before(w);
    c.records(w);
    Surface s(40, 40);
    ASSERT_TRUE(s.PlayWmf(w.Finish(), 40 * 2540 / 96, 40 * 2540 / 96)) << c.name;
    for (const Probe& p : c.probes)
      EXPECT_TRUE(Near(s, p)) << c.name << ": (" << p.x << ", " << p.y << ") is " << std::hex << s.At(p.x, p.y)
                              << ", not " << p.colour;
  }
}

TEST(WinuiMetafile, WindowsMetafileRecordFamilies) {
  const U_RECT16 all = Rect16(0, 0, 40, 40);
  auto overlapping = [](uint16_t Mode) {
    return [Mode](TWmf& w) {
      const U_POINT16 pts[] = {{5, 5}, {25, 5}, {25, 25}, {5, 25}, {15, 15}, {35, 15}, {35, 35}, {15, 35}};
      const uint16_t counts[] = {4, 4};
      w.Add(U_WMRSETPOLYFILLMODE_set(Mode)).Add(U_WMRPOLYPOLYGON_set(2, counts, pts));
    };
  };
  auto rect = [all](TWmf& w) { w.Add(U_WMRRECTANGLE_set(all)); };
  const char row24[8] = {char(0xFF), 0, 0, 0, 0, char(0xFF), 0, 0};  // blue, red
  std::vector<WmfCase> filled = {
      {"polygon",
       [](TWmf& w) {
         const U_POINT16 pts[] = {{5, 5}, {35, 5}, {5, 35}};
         w.Add(U_WMRPOLYGON_set(3, pts));
       },
       {{10, 10, kRed}, {30, 30, kWhite}}},
      {"alternate fill", overlapping(U_ALTERNATE), {{10, 10, kRed}, {30, 30, kRed}, {20, 20, kWhite}}},
      {"winding fill", overlapping(U_WINDING), {{10, 10, kRed}, {30, 30, kRed}, {20, 20, kRed}}},
      {"rounded rectangle", [all](TWmf& w) { w.Add(U_WMRROUNDRECT_set(20, 20, all)); },
       {{1, 1, kWhite}, {20, 2, kRed}, {2, 20, kRed}, {20, 20, kRed}}},
      {"chord", [all](TWmf& w) { w.Add(U_WMRCHORD_set(Pt16(40, 20), Pt16(0, 20), all)); },
       {{20, 10, kRed}, {20, 30, kWhite}}},
      {"pie", [all](TWmf& w) { w.Add(U_WMRPIE_set(Pt16(40, 20), Pt16(20, 0), all)); },
       {{28, 12, kRed}, {12, 12, kWhite}, {28, 28, kWhite}}},
      {"inverting mix",
       [rect](TWmf& w) {
         w.Add(U_WMRSETROP2_set(U_R2_NOT));
         rect(w);
       },
       {{20, 20, kBlack}}},
      {"window origin",
       [](TWmf& w) { w.Add(U_WMRSETWINDOWORG_set(Pt16(10, 10))).Add(U_WMRRECTANGLE_set(Rect16(10, 10, 20, 20))); },
       {{5, 5, kRed}, {15, 15, kWhite}}},
      {"window origin moved",
       [](TWmf& w) { w.Add(U_WMROFFSETWINDOWORG_set(Pt16(10, 10))).Add(U_WMRRECTANGLE_set(Rect16(10, 10, 20, 20))); },
       {{5, 5, kRed}, {15, 15, kWhite}}},
      {"window extent scaled",
       [rect](TWmf& w) {
         w.Add(U_WMRSCALEWINDOWEXT_set(Pt16(1, 1), Pt16(2, 2)));
         rect(w);
       },
       {{10, 10, kRed}, {30, 30, kWhite}}},
      {"viewport origin set",
       [](TWmf& w) { w.Add(U_WMRSETVIEWPORTORG_set(Pt16(10, 10))).Add(U_WMRRECTANGLE_set(Rect16(0, 0, 10, 10))); },
       {{15, 15, kRed}, {5, 5, kWhite}}},
      {"viewport origin moved",
       [](TWmf& w) { w.Add(U_WMROFFSETVIEWPORTORG_set(Pt16(10, 10))).Add(U_WMRRECTANGLE_set(Rect16(0, 0, 10, 10))); },
       {{15, 15, kRed}, {5, 5, kWhite}}},
      {"viewport extent scaled",
       [rect](TWmf& w) {
         w.Add(U_WMRSCALEVIEWPORTEXT_set(Pt16(2, 2), Pt16(1, 1)));
         rect(w);
       },
       {{10, 10, kRed}, {30, 30, kWhite}}},
      {"clip rectangle",
       [rect](TWmf& w) {
         w.Add(U_WMRINTERSECTCLIPRECT_set(Rect16(0, 0, 20, 40)));
         rect(w);
       },
       {{10, 20, kRed}, {30, 20, kWhite}}},
      {"excluded clip",
       [rect](TWmf& w) {
         w.Add(U_WMREXCLUDECLIPRECT_set(Rect16(10, 10, 30, 30)));
         rect(w);
       },
       {{5, 5, kRed}, {20, 20, kWhite}}},
      {"clip restored",
       [rect](TWmf& w) {
         w.Add(U_WMRSAVEDC_set()).Add(U_WMRINTERSECTCLIPRECT_set(Rect16(0, 0, 10, 10))).Add(U_WMRRESTOREDC_set(-1));
         rect(w);
       },
       {{20, 20, kRed}}},
      {"pattern block", [](TWmf& w) { w.Add(U_WMRPATBLT_set(Pt16(5, 5), Pt16(10, 10), U_PATCOPY)); },
       {{5, 5, kRed}, {14, 14, kRed}, {20, 20, kWhite}, {4, 4, kWhite}}},
      {"block of bits",
       [&](TWmf& w) {
         w.Add(U_WMRDIBBITBLT_set(Pt16(10, 10), Pt16(2, 1), Pt16(0, 0), U_SRCCOPY, vxtest::DibInfo(2, 1, 24).get(),
                                  sizeof row24, row24));
       },
       {{10, 10, kBlue}, {11, 10, kRed}, {12, 10, kWhite}}},
      {"stretched block of bits",
       [&](TWmf& w) {
         w.Add(U_WMRDIBSTRETCHBLT_set(Pt16(0, 0), Pt16(20, 10), Pt16(0, 0), Pt16(2, 1), U_SRCCOPY,
                                      vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24));
       },
       {{2, 5, kBlue}, {17, 5, kRed}, {10, 12, kWhite}}},
      {"palette in a slot",
       [rect](TWmf& w) {
         U_PLTNTRY entry = U_PLTNTRY_set(Cref(kGreen));
         vxtest::TMalloced<U_PALETTE> palette(U_PLTENTRY_set(0x300, 1, &entry));
         uint32_t slot = 0;
         w.Add(wcreatepalette_set(&slot, w.Handles(), palette.get()));
         // The brush takes the slot after the palette's.
         w.Select(w.SolidBrush(kBlue));
         rect(w);
       },
       {{20, 20, kBlue}}},
      {"DIB pattern brush",
       [](TWmf& w) {
         // A 2 x 2 tile (red, green over blue, white) from the device's
         // origin; rows stored bottom first.
         const char tile[16] = {char(0xFF), 0, 0, char(0xFF), char(0xFF), char(0xFF), 0, 0,
                                0, 0, char(0xFF), 0, char(0xFF), 0, 0, 0};
         uint32_t ih = 0;
         w.Add(wcreatedibpatternbrush_srcdib_set(&ih, w.Handles(), U_DIB_RGB_COLORS, vxtest::DibInfo(2, 2, 24).get(),
                                                 sizeof tile, tile))
             .Select(ih)
             .Add(U_WMRRECTANGLE_set(Rect16(0, 0, 40, 40)));
       },
       {{10, 10, kRed}, {11, 10, kGreen}, {10, 11, kBlue}, {11, 11, kWhite}, {24, 30, kRed}}},
      {"stretched DIB",
       [&](TWmf& w) {
         w.Add(U_WMRSTRETCHDIB_set(Pt16(0, 0), Pt16(20, 10), Pt16(0, 0), Pt16(2, 1), U_DIB_RGB_COLORS, U_SRCCOPY,
                                   vxtest::DibInfo(2, 1, 24).get(), sizeof row24, row24));
       },
       {{2, 5, kBlue}, {17, 5, kRed}, {10, 12, kWhite}}},
  };
  CheckWmfFamilies(filled, [](TWmf& w) { w.Select(w.SolidBrush(kRed)).Select(w.Pen(U_PS_NULL, 0, 0)); });

  std::vector<WmfCase> stroked = {
      {"polyline",
       [](TWmf& w) {
         const U_POINT16 pts[] = {{2, 5}, {37, 5}, {37, 35}};
         w.Add(U_WMRPOLYLINE_set(3, pts));
       },
       {{20, 5, kBlue}, {37, 20, kBlue}, {20, 20, kWhite}}},
      {"line", [](TWmf& w) { w.Add(U_WMRMOVETO_set(Pt16(2, 10))).Add(U_WMRLINETO_set(Pt16(37, 10))); },
       {{3, 10, kBlue}, {20, 10, kBlue}, {20, 12, kWhite}}},
      {"arc", [all](TWmf& w) { w.Add(U_WMRARC_set(Pt16(40, 20), Pt16(0, 20), all)); },
       {{20, 0, kBlue, 1}, {20, 38, kWhite}, {20, 20, kWhite}}},
      {"wide pen",
       [](TWmf& w) {
         w.Select(w.Pen(U_PS_SOLID, 9, kGreen)).Add(U_WMRMOVETO_set(Pt16(5, 20))).Add(U_WMRLINETO_set(Pt16(35, 20)));
       },
       {{20, 17, kGreen}, {20, 23, kGreen}, {20, 12, kWhite}, {20, 28, kWhite}}},
  };
  CheckWmfFamilies(stroked, [](TWmf& w) {
    w.Select(w.Pen(U_PS_SOLID, 1, kBlue));
    uint32_t ih = 0;
    w.Add(wcreatebrushindirect_set(&ih, w.Handles(), U_WLOGBRUSH_set(U_BS_NULL, Cref(0), 0))).Select(ih);
  });
}

TEST(WinuiMetafile, WindowsMetafileHatchAndText) {
  // A cross hatch over an opaque background, then text with its advances
  // in an opaque box: the same as drawing both directly.
  const std::string text = "Hgw";
  Surface d(80, 40);
  LOGFONTW lf{};
  lf.lfHeight = -20;
  lf.lfWeight = 400;
  const std::u16string face = u"DejaVu Sans";
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  HFONT f = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = SelectObject(d.dc, f);
  std::vector<int16_t> dx16;
  std::vector<INT> dx;
  for (int i = 1, before = 0; i <= int(text.size()); ++i) {
    SIZE sz{};
    GetTextExtentPoint32W(d.dc, text.c_str(), i, &sz);
    dx.push_back(sz.cx - before);
    dx16.push_back(int16_t(sz.cx - before));
    before = sz.cx;
  }
  LOGBRUSH lb{BS_HATCHED, kBlue, HS_CROSS};
  HBRUSH hatch = CreateBrushIndirect(&lb);
  HGDIOBJ oldBrush = SelectObject(d.dc, hatch);
  HGDIOBJ oldPen = SelectObject(d.dc, GetStockObject(NULL_PEN));
  SetBkMode(d.dc, OPAQUE);
  SetBkColor(d.dc, kGreen);
  Rectangle(d.dc, -1, -1, 90, 50);
  SetTextColor(d.dc, kRed);
  SetBkColor(d.dc, 0x00FFFF);
  const RECT box{42, 5, 78, 35};
  ExtTextOutW(d.dc, 44, 8, ETO_OPAQUE, &box, text.c_str(), int(text.size()), dx.data());
  SelectObject(d.dc, oldPen);
  SelectObject(d.dc, oldBrush);
  SelectObject(d.dc, oldFont);
  DeleteObject(hatch);
  DeleteObject(f);

  TWmf w;
  w.Add(U_WMRSETMAPMODE_set(U_MM_ANISOTROPIC))
      .Add(U_WMRSETWINDOWORG_set(Pt16(0, 0)))
      .Add(U_WMRSETWINDOWEXT_set(Pt16(80, 40)));
  uint32_t ih = 0;
  w.Add(wcreatebrushindirect_set(&ih, w.Handles(), U_WLOGBRUSH_set(U_BS_HATCHED, Cref(kBlue), U_HS_CROSS)))
      .Select(ih)
      .Select(w.Pen(U_PS_NULL, 0, 0))
      .Select(w.Font(-20, "DejaVu Sans"))
      .Add(U_WMRSETBKMODE_set(U_OPAQUE))
      .Add(U_WMRSETBKCOLOR_set(Cref(kGreen)))
      .Add(U_WMRRECTANGLE_set(Rect16(-1, -1, 90, 50)))
      .Add(U_WMRSETTEXTCOLOR_set(Cref(kRed)))
      .Add(U_WMRSETBKCOLOR_set(Cref(0x00FFFF)))
      // The record's rectangle is a RECT (left, top, right, bottom), which
      // libuemf writes from last to first like a call's parameters: it is
      // handed over reversed so that the file holds it as the format has it.
      .Add(U_WMREXTTEXTOUT_set(Pt16(44, 8), int16_t(text.size()), U_ETO_OPAQUE, text.c_str(), dx16.data(),
                               Rect16(35, 78, 5, 42)));
  Surface s(80, 40);
  ASSERT_TRUE(s.PlayWmf(w.Finish(), 80 * 2540 / 96, 40 * 2540 / 96));
  EXPECT_LT(d.Box(kRed).left, d.Box(kRed).right) << "text drawn";
  EXPECT_LT(d.Box(kBlue).left, d.Box(kBlue).right) << "hatch drawn";
  int differ = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 80; ++x) differ += s.At(x, y) != d.At(x, y);
  EXPECT_EQ(differ, 0);
}

}  // namespace
