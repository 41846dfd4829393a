// Enhanced and Windows metafiles played onto DIB sections: the frame mapped
// onto the destination, mapping modes, saved states, the object table,
// shapes, bits and text, and damaged metafiles refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "metafile_builder.h"
#include "pinned_fonts.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"
#include "winui/metafile.h"

namespace {

using vxtest::TEmfWriter;
using vxtest::TWmfWriter;

constexpr int64_t kNullPen = 0x80000008, kBlackPen = 0x80000007, kNullBrush = 0x80000005;
enum : uint32_t {
  EMR_POLYGON16 = 86, EMR_SETWINDOWEXTEX = 9, EMR_SETWINDOWORGEX = 10, EMR_SETVIEWPORTEXTEX = 11,
  EMR_SETMAPMODE = 17, EMR_SAVEDC = 33, EMR_RESTOREDC = 34, EMR_SELECTOBJECT = 37, EMR_CREATEPEN = 38,
  EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40, EMR_ELLIPSE = 42, EMR_RECTANGLE = 43, EMR_LINETO = 54,
  EMR_MOVETOEX = 27, EMR_STRETCHDIBITS = 81, EMR_SETTEXTCOLOR = 24, EMR_SETBKMODE = 18, EMR_SETTEXTALIGN = 22,
  EMR_SETWORLDTRANSFORM = 35, EMR_GDICOMMENT = 70, EMR_INTERSECTCLIPRECT = 30,
};

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
  TEmfWriter e(40, 30);
  e.Rec(EMR_CREATEBRUSHINDIRECT, {1, 0, kRed, 0})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_SELECTOBJECT, {kNullPen})
      .Rec(EMR_GDICOMMENT, {4, 0x2B464D45})  // an EMF+ comment, skipped
      .Rec(EMR_RECTANGLE, {10, 5, 30, 25});
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
  EXPECT_EQ(h.nHandles, 8);
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
  TEmfWriter e(40, 30, 4);
  e.Rec(EMR_SETMAPMODE, {8})
      .Rec(EMR_SETWINDOWEXTEX, {400, 300})
      .Rec(EMR_SETVIEWPORTEXTEX, {40, 30})
      .Rec(EMR_CREATEBRUSHINDIRECT, {1, 0, kBlue, 0})
      .Rec(EMR_CREATEBRUSHINDIRECT, {2, 0, kRed, 0})
      .Rec(EMR_CREATEBRUSHINDIRECT, {9, 0, kGreen, 0})  // past the table: ignored
      .Rec(EMR_SELECTOBJECT, {kNullPen})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_SAVEDC, {})
      .Rec(EMR_SELECTOBJECT, {2})
      .Rec(EMR_SELECTOBJECT, {9})  // unknown index: the red brush stays
      .Rec(EMR_RECTANGLE, {0, 0, 100, 100})
      .Rec(EMR_RESTOREDC, {-1})
      .Rec(EMR_RECTANGLE, {200, 100, 300, 200})
      .Rec(EMR_DELETEOBJECT, {1})
      .Rec(EMR_SELECTOBJECT, {1})  // deleted: the blue brush stays selected
      .Rec(EMR_RECTANGLE, {300, 200, 400, 300});
  Surface s(40, 30);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 30}));
  EXPECT_TRUE(Same(s.Box(kRed), RECT{0, 0, 10, 10}));
  EXPECT_EQ(s.At(25, 15), kBlue);
  EXPECT_EQ(s.At(35, 25), kBlue);
  EXPECT_EQ(s.At(15, 15), kWhite);
  EXPECT_TRUE(Same(s.Box(kGreen), RECT{40, 30, 0, 0}));
}

TEST(WinuiMetafile, ShapesPensAndClipping) {
  TEmfWriter e(40, 40);
  e.Rec(EMR_CREATEPEN, {1, 0, 1, 0, kBlue})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_MOVETOEX, {0, 2})
      .Rec(EMR_LINETO, {40, 2})
      .Rec(EMR_SELECTOBJECT, {kNullPen})
      .Rec(EMR_CREATEBRUSHINDIRECT, {2, 0, kRed, 0})
      .Rec(EMR_SELECTOBJECT, {2})
      // A triangle of 16-bit points: bounds, count, points.
      .Rec(EMR_POLYGON16, {0, 0, 0, 0, 3, (10 << 16) | 5, (10 << 16) | 15, (20 << 16) | 10})
      .Rec(EMR_INTERSECTCLIPRECT, {0, 25, 40, 40})
      .Rec(EMR_ELLIPSE, {20, 20, 40, 40});
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
  const int64_t near = 100000000, beyond = 140000000;  // 2^27 is 134,217,728
  TEmfWriter e(40, 40);
  e.Rec(EMR_CREATEPEN, {1, 0, 1, 0, kBlue})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_MOVETOEX, {-near, 5})
      .Rec(EMR_LINETO, {near, 5})
      .Rec(EMR_MOVETOEX, {-beyond, 9})
      .Rec(EMR_LINETO, {beyond, 9})
      .Rec(EMR_SELECTOBJECT, {kNullPen})
      .Rec(EMR_CREATEBRUSHINDIRECT, {2, 0, kRed, 0})
      .Rec(EMR_SELECTOBJECT, {2})
      .Rec(EMR_ELLIPSE, {-near / 2, 15, near / 2, 25})
      .Rec(EMR_RECTANGLE, {-beyond, 30, beyond, 38});
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
  TEmfWriter e(40, 40);
  float m[6] = {2, 0, 0, 2, 5, 5};
  std::vector<int64_t> f;
  for (float v : m) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    f.push_back(u);
  }
  e.Rec(EMR_SETWORLDTRANSFORM, {f[0], f[1], f[2], f[3], f[4], f[5]})
      .Rec(EMR_CREATEBRUSHINDIRECT, {1, 0, kRed, 0})
      .Rec(EMR_SELECTOBJECT, {1})
      .Rec(EMR_SELECTOBJECT, {kNullPen})
      .Rec(EMR_RECTANGLE, {0, 0, 10, 10});
  Surface s(40, 40);
  ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 40, 40}));
  EXPECT_TRUE(Same(s.Box(kRed), RECT{5, 5, 25, 25}));
}

TEST(WinuiMetafile, StretchedBitsAndTheirBounds) {
  // A 2 x 1 bottom-up 24-bit DIB (blue, red) stretched over (0, 0)-(20, 10).
  auto record = [](uint32_t cbBits, int32_t width) {
    std::vector<uint8_t> b;
    for (int i = 0; i < 4; ++i) vxtest::Put32(b, 0);
    for (int32_t v : {0, 0, 0, 0, 2, 1}) vxtest::Put32(b, uint32_t(v));  // dest x y, src x y w h
    vxtest::Put32(b, 80);   // offBmi
    vxtest::Put32(b, 40);   // cbBmi
    vxtest::Put32(b, 120);  // offBits
    vxtest::Put32(b, cbBits);
    vxtest::Put32(b, 0);           // usage
    vxtest::Put32(b, 0x00CC0020);  // SRCCOPY
    vxtest::Put32(b, 20);
    vxtest::Put32(b, 10);
    for (int64_t v : {40, width, 1, 1 | (24 << 16), 0, 8, 0, 0, 0, 0}) vxtest::Put32(b, uint32_t(v));
    for (uint8_t c : {0xFF, 0, 0, 0, 0, 0xFF, 0, 0}) b.push_back(c);
    return b;
  };
  {
    TEmfWriter e(20, 10);
    e.Raw(EMR_STRETCHDIBITS, record(8, 2));
    Surface s(20, 10);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 20, 10}));
    EXPECT_EQ(s.At(2, 5), kBlue);
    EXPECT_EQ(s.At(17, 5), kRed);
  }
  {
    // Rows that claim more bytes than the record holds draw nothing.
    TEmfWriter e(20, 10);
    e.Raw(EMR_STRETCHDIBITS, record(8, 2000));
    Surface s(20, 10);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{0, 0, 20, 10}));
    EXPECT_TRUE(Same(s.Box(kWhite), RECT{0, 0, 20, 10}));
  }
}

TEST(WinuiMetafile, TextStartsAtItsReferencePoint) {
  for (uint32_t align : {0u, 24u}) {  // top, baseline
    TEmfWriter e(60, 40);
    e.Font(1, -20, u"DejaVu Sans")
        .Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_SETTEXTCOLOR, {0})
        .Rec(EMR_SETBKMODE, {1})
        .Rec(EMR_SETTEXTALIGN, {align})
        .Text(10, 25, u"HH");
    Surface s(60, 40);
    std::vector<uint8_t> emf = e.Finish();
    HENHMETAFILE m = SetEnhMetaFileBits(UINT(emf.size()), emf.data());
    ASSERT_NE(m, nullptr);
    RECT r{0, 0, 60, 40};
    ASSERT_TRUE(PlayEnhMetaFile(s.dc, m, &r));
    DeleteEnhMetaFile(m);
    // The same text drawn directly.
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
    SelectObject(d.dc, old);
    DeleteObject(f);
    RECT a = s.Box(0), b = d.Box(0);
    EXPECT_LT(a.left, a.right) << "text drawn";
    EXPECT_TRUE(Same(a, b)) << align;
  }
}

TEST(WinuiMetafile, WindowsMetafileRecordsPlayThroughTheSameSteps) {
  // Window 0..1000 x 0..500 on a picture of 10 x 5 cm: a red box, a blue
  // ellipse, a saved and restored brush.
  TWmfWriter w;
  w.Rec(0x0103, {8})             // anisotropic
      .Rec(0x020B, {0, 0})       // window origin
      .Rec(0x020C, {500, 1000})  // window extent (y, x)
      .Rec(0x02FC, {0, int32_t(kRed & 0xFFFF), int32_t(kRed >> 16), 0})  // brush slot 0
      .Rec(0x02FA, {5, 0, 0, 0, 0})                                      // null pen slot 1
      .Rec(0x012D, {0})
      .Rec(0x012D, {1})
      .Rec(0x041B, {250, 500, 0, 0})  // rectangle: bottom, right, top, left
      .Rec(0x01F0, {0})
      .Rec(0x02FC, {0, int32_t(kBlue & 0xFFFF), int32_t(kBlue >> 16), 0})  // takes slot 0 again
      .Rec(0x012D, {0})
      .Rec(0x0418, {500, 1000, 250, 500});  // ellipse
  std::vector<uint8_t> wmf = w.Finish(2);
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

enum : uint32_t { EMR_SETBKCOLOR = 25, EMR_CREATEMONOBRUSH = 93, EMR_CREATEDIBPATTERNBRUSHPT = 94 };

// A bottom-up DIB's header (40 bytes) with its colour table.
std::vector<uint8_t> DibHeader(int W, int H, int Bpp, const std::vector<uint32_t>& Table) {
  std::vector<uint8_t> b;
  for (uint32_t v : {40u, uint32_t(W), uint32_t(H)}) vxtest::Put32(b, v);
  vxtest::Put16(b, 1);
  vxtest::Put16(b, uint16_t(Bpp));
  for (uint32_t v : {0u, 0u, 0u, 0u, uint32_t(Table.size()), 0u}) vxtest::Put32(b, v);
  for (uint32_t c : Table) vxtest::Put32(b, c);
  return b;
}

// The body of a pattern brush record: object, colour use, then the offsets
// and sizes of header and rows, which follow. BitsClaim: the rows' size
// the record states (the real one when 0).
std::vector<uint8_t> PatternBody(uint32_t Index, uint32_t Usage, const std::vector<uint8_t>& Info,
                                 const std::vector<uint8_t>& Bits, uint32_t BitsClaim = 0) {
  std::vector<uint8_t> b;
  const uint32_t offInfo = 32, offBits = offInfo + uint32_t(Info.size());
  for (uint32_t v : {Index, Usage, offInfo, uint32_t(Info.size()), offBits, BitsClaim ? BitsClaim : uint32_t(Bits.size())})
    vxtest::Put32(b, v);
  b.insert(b.end(), Info.begin(), Info.end());
  b.insert(b.end(), Bits.begin(), Bits.end());
  return b;
}

TEST(WinuiMetafile, PatternBrushesTileFromTheDeviceOriginAndRefuseDamagedDIBs) {
  // A 2 x 2 tile (red, green over blue, white), rows stored bottom first,
  // each padded to 8 bytes.
  const std::vector<uint8_t> bits24 = {0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,   // blue, white
                                       0, 0, 0xFF, 0, 0xFF, 0, 0, 0};      // red, green
  const uint32_t tile24[2][2] = {{kRed, kGreen}, {kBlue, kWhite}};
  // A monochrome tile: 1 0 / 0 1, in the text (0) and background (1) colours.
  const std::vector<uint8_t> bits1 = {0x40, 0, 0, 0, 0x80, 0, 0, 0};
  const uint32_t kText = 0x123456, kBack = 0x654321;
  const uint32_t tile1[2][2] = {{kBack, kText}, {kText, kBack}};
  const uint32_t kBefore = 0x00AA00;  // the solid brush selected before
  struct Case {
    const char* name;
    uint32_t type;
    uint32_t usage;
    std::vector<uint8_t> info, bits;
    uint32_t bitsClaim;
    const uint32_t (*tile)[2];  // null: the record makes no brush
  } cases[] = {
      {"24-bit", EMR_CREATEDIBPATTERNBRUSHPT, 0, DibHeader(2, 2, 24, {}), bits24, 0, tile24},
      {"rows cut short", EMR_CREATEDIBPATTERNBRUSHPT, 0, DibHeader(2, 2, 24, {}), {bits24.begin(), bits24.end() - 4}, 0, nullptr},
      {"rows claimed past the record", EMR_CREATEDIBPATTERNBRUSHPT, 0, DibHeader(2, 2, 24, {}), bits24, 4096, nullptr},
      {"taller than its rows", EMR_CREATEDIBPATTERNBRUSHPT, 0, DibHeader(2, 3, 24, {}), bits24, 0, nullptr},
      {"monochrome", EMR_CREATEMONOBRUSH, 2, DibHeader(2, 2, 1, {}), bits1, 0, tile1},
      {"monochrome with a table", EMR_CREATEMONOBRUSH, 0, DibHeader(2, 2, 1, {0xFF0000, 0x0000FF}), bits1, 0, tile1},
      {"monochrome of 8 bits", EMR_CREATEMONOBRUSH, 0, DibHeader(2, 2, 8, {0, 0}), bits1, 0, nullptr},
  };
  for (const Case& c : cases) {
    TEmfWriter e(20, 16);
    e.Rec(EMR_CREATEBRUSHINDIRECT, {1, 0, kBefore, 0})
        .Rec(EMR_SELECTOBJECT, {1})
        .Rec(EMR_SELECTOBJECT, {kNullPen})
        .Rec(EMR_SETTEXTCOLOR, {kText})
        .Rec(EMR_SETBKCOLOR, {kBack})
        .Raw(c.type, PatternBody(2, c.usage, c.info, c.bits, c.bitsClaim))
        .Rec(EMR_SELECTOBJECT, {2})
        .Rec(EMR_RECTANGLE, {1, 1, 11, 9});
    // Twice the size, one pixel to the right: the shape covers device
    // (3, 2)-(23, 18), the tile stays one pixel large from (0, 0).
    Surface s(44, 34);
    ASSERT_TRUE(s.Play(e.Finish(), RECT{1, 0, 41, 32})) << c.name;
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
  TWmfWriter w;
  w.Rec(0x0103, {8})
      .Rec(0x020B, {0, 0})
      .Rec(0x020C, {20, 40})
      .Rec(0x0142, {5, 0, 40, 0, 0x7FFF, 0})  // slot 0: a DIB header cut short
      .Rec(0x01F9, {0, 8, 2, 2, 0x0101, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00AA, 0x0055})  // slot 1
      .Rec(0x02FA, {5, 0, 0, 0, 0})  // slot 2: null pen
      .Rec(0x0209, {0x00FF, 0x0000})  // text colour red
      .Rec(0x0201, {0x0000, 0x00FF})  // background blue
      .Rec(0x012D, {1})
      .Rec(0x012D, {2})
      .Rec(0x041B, {20, 40, 0, 0});
  std::vector<uint8_t> wmf = w.Finish(3);
  Surface s(40, 20);
  ASSERT_TRUE(s.PlayWmf(wmf, 40 * 2540 / 96, 20 * 2540 / 96));
  for (int y = 2; y < 16; ++y)
    for (int x = 2; x < 36; ++x) ASSERT_EQ(s.At(x, y), (x + y) % 2 ? kRed : kBlue) << "(" << x << ", " << y << ")";
}

TEST(WinuiMetafile, WindowsMetafileBitsOfPaletteIndexes) {
  // A stretched 2 x 1 DIB whose colour table holds 16-bit indexes into the
  // default palette (13 red, 16 blue): the rows follow the shorter table.
  TWmfWriter w;
  w.Rec(0x0103, {8})
      .Rec(0x020B, {0, 0})
      .Rec(0x020C, {20, 40})
      .Rec(0x0F43, {0x0020, 0x00CC, 1, 1, 2, 0, 0, 20, 40, 0, 0,       // rop, use, source, destination
                    40, 0, 2, 0, 1, 0, 1, 8, 0, 0, 0, 0, 0, 0, 0, 0,   // header
                    2, 0, 0, 0, 13, 16, 0x0100, 0});                  // used colours, table, rows
  std::vector<uint8_t> wmf = w.Finish(1);
  Surface s(40, 20);
  ASSERT_TRUE(s.PlayWmf(wmf, 40 * 2540 / 96, 20 * 2540 / 96));
  for (POINT pt : {POINT{1, 1}, POINT{18, 18}}) EXPECT_EQ(s.At(pt.x, pt.y), kRed) << pt.x << ", " << pt.y;
  for (POINT pt : {POINT{21, 1}, POINT{38, 18}}) EXPECT_EQ(s.At(pt.x, pt.y), kBlue) << pt.x << ", " << pt.y;
}

TEST(WinuiMetafile, WindowsMetafileTextIsWindows1252) {
  // Euro sign, en dash and quotes: bytes 0x80, 0x96, 0x93 and 0x94.
  TWmfWriter w;
  w.Rec(0x0103, {8})
      .Rec(0x020B, {0, 0})
      .Rec(0x020C, {50, 100})
      .Rec(0x02FB, {-20, 0, 0, 0, 400, 0, 0, 0, 0, 'D' | 'e' << 8, 'j' | 'a' << 8, 'V' | 'u' << 8, ' ' | 'S' << 8,
                    'a' | 'n' << 8, 's'})
      .Rec(0x012D, {0})
      .Rec(0x0102, {1})  // transparent
      .Rec(0x0521, {4, 0x80 | 0x96 << 8, 0x93 | 0x94 << 8, 10, 8});
  std::vector<uint8_t> wmf = w.Finish(1);
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
