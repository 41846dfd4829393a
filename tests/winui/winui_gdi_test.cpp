// GDI raster operations on DIB sections: lines, shapes, fills, block
// transfers, DIB transfers and regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "winui/drawdib.h"
#include "winui/gdi.h"
#include "winui/gdi_font.h"
#include "winui/headless.h"

namespace {

// A memory DC holding a top-down 32-bit DIB section filled with Fill.
struct Canvas {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;
  int w, h;
  Canvas(int W, int H, uint32_t Fill = 0xFFFFFF, int Bpp = 32) : w(W), h(H) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = W;
    bi->bmiHeader.biHeight = -H;
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = WORD(Bpp);
    if (Bpp == 1) {
      RGBQUAD white{255, 255, 255, 0};
      std::memcpy(info.data() + sizeof(BITMAPINFOHEADER) + 4, &white, 4);
    }
    void* p = nullptr;
    bm = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t*>(p);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    if (Bpp == 32)
      for (int i = 0; i < W * H; ++i) bits[i] = Fill;
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  uint32_t At(int x, int y) const { return bits[y * w + x] & 0xFFFFFF; }
  // Rows of '#' (Ink) and '.' (anything else).
  std::string Picture(uint32_t Ink) const {
    std::string s;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) s += At(x, y) == Ink ? '#' : '.';
      s += '\n';
    }
    return s;
  }
};

TEST(WinUIGdi, LinesLeaveOutTheirEndPoint) {
  struct Case {
    int x0, y0, x1, y1, count;
  } cases[] = {{1, 1, 6, 1, 5}, {6, 1, 1, 1, 5}, {2, 0, 2, 7, 7}, {0, 0, 4, 4, 4}, {7, 7, 0, 3, 7}, {3, 3, 3, 3, 0}};
  for (const Case& c : cases) {
    Canvas cv(8, 8);
    MoveToEx(cv.dc, c.x0, c.y0, nullptr);
    LineTo(cv.dc, c.x1, c.y1);
    int n = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) n += cv.At(x, y) == 0;
    EXPECT_EQ(n, c.count) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    EXPECT_EQ(cv.At(c.x1, c.y1), 0xFFFFFFu);
    if (c.count) {
      EXPECT_EQ(cv.At(c.x0, c.y0), 0u);
    }
    POINT p;
    GetCurrentPositionEx(cv.dc, &p);
    EXPECT_EQ(p.x, c.x1);
  }
  // LineDDA gives the same points.
  std::vector<POINT> pts;
  LineDDA(0, 0, 5, 2, [](int x, int y, LPARAM d) { reinterpret_cast<std::vector<POINT>*>(d)->push_back({x, y}); },
          reinterpret_cast<LPARAM>(&pts));
  ASSERT_EQ(pts.size(), 5u);
  Canvas cv(8, 8);
  MoveToEx(cv.dc, 0, 0, nullptr);
  LineTo(cv.dc, 5, 2);
  for (POINT p : pts) EXPECT_EQ(cv.At(p.x, p.y), 0u);
}

TEST(WinUIGdi, StyledPensAndMixModes) {
  Canvas cv(30, 2);
  HPEN dot = CreatePen(PS_DOT, 1, RGB(0, 0, 0));
  HGDIOBJ old = SelectObject(cv.dc, dot);
  SetBkMode(cv.dc, TRANSPARENT);
  MoveToEx(cv.dc, 0, 0, nullptr);
  LineTo(cv.dc, 12, 0);
  EXPECT_EQ(cv.Picture(0).substr(0, 12), "###...###...");
  SetBkMode(cv.dc, OPAQUE);
  SetBkColor(cv.dc, RGB(255, 0, 0));
  MoveToEx(cv.dc, 0, 1, nullptr);
  LineTo(cv.dc, 6, 1);
  EXPECT_EQ(cv.At(3, 1), 0xFF0000u);  // the gaps in the background colour
  SelectObject(cv.dc, old);
  DeleteObject(dot);

  struct Case {
    int rop;
    uint32_t dst, want;
  } cases[] = {{R2_COPYPEN, 0x123456, 0x00FF00}, {R2_NOT, 0x123456, 0xEDCBA9}, {R2_XORPEN, 0x00FFFF, 0x0000FF},
               {R2_NOP, 0x123456, 0x123456},    {R2_BLACK, 0x123456, 0},       {R2_MERGEPEN, 0x0000FF, 0x00FFFF},
               {R2_MASKPEN, 0x00FFFF, 0x00FF00}, {R2_NOTCOPYPEN, 0, 0xFF00FF}};
  for (const Case& c : cases) {
    Canvas p(4, 1, c.dst);
    HPEN green = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
    HGDIOBJ o = SelectObject(p.dc, green);
    SetROP2(p.dc, c.rop);
    MoveToEx(p.dc, 0, 0, nullptr);
    LineTo(p.dc, 2, 0);
    EXPECT_EQ(p.At(0, 0), c.want) << c.rop;
    EXPECT_EQ(p.At(2, 0), c.dst) << c.rop;
    SelectObject(p.dc, o);
    DeleteObject(green);
  }
}

TEST(WinUIGdi, RectanglesFillInsideTheirPenAndFramesUseTheBrush) {
  Canvas cv(8, 6);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HGDIOBJ ob = SelectObject(cv.dc, red);
  Rectangle(cv.dc, 1, 1, 6, 5);
  EXPECT_EQ(cv.Picture(0),
            "........\n"
            ".#####..\n"
            ".#...#..\n"
            ".#...#..\n"
            ".#####..\n"
            "........\n");
  EXPECT_EQ(cv.At(2, 2), 0xFF0000u);
  // Without a pen the filled area ends one pixel sooner.
  Canvas n(8, 6);
  SelectObject(n.dc, red);
  SelectObject(n.dc, GetStockObject(NULL_PEN));
  Rectangle(n.dc, 1, 1, 6, 5);
  EXPECT_EQ(n.Picture(0xFF0000),
            "........\n"
            ".####...\n"
            ".####...\n"
            ".####...\n"
            "........\n"
            "........\n");
  SelectObject(n.dc, GetStockObject(BLACK_PEN));
  SelectObject(n.dc, GetStockObject(WHITE_BRUSH));
  SelectObject(cv.dc, ob);

  Canvas f(6, 5);
  RECT r{1, 1, 5, 4};
  FrameRect(f.dc, &r, red);
  EXPECT_EQ(f.Picture(0xFF0000),
            "......\n"
            ".####.\n"
            ".#..#.\n"
            ".####.\n"
            "......\n");
  DeleteObject(red);

  // Hatches over an opaque or a transparent background.
  Canvas hcv(8, 8, 0x00FF00);
  HBRUSH hatch = CreateHatchBrush(HS_CROSS, RGB(0, 0, 0));
  RECT all{0, 0, 8, 8};
  SetBkMode(hcv.dc, TRANSPARENT);
  FillRect(hcv.dc, &all, hatch);
  int black = 0, green = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      black += hcv.At(x, y) == 0;
      green += hcv.At(x, y) == 0x00FF00;
    }
  EXPECT_EQ(black, 15);
  EXPECT_EQ(green, 49);
  DeleteObject(hatch);
}

TEST(WinUIGdi, BlitsApplyEveryTernaryOperation) {
  const uint32_t S = 0x3C5AA5, D = 0x0FF00F, P = 0x6699CC;  // 0x00RRGGBB
  struct Case {
    DWORD rop;
    uint32_t want;
  } cases[] = {
      {SRCCOPY, S},          {SRCAND, S & D},         {SRCPAINT, S | D},           {SRCINVERT, S ^ D},
      {SRCERASE, S & ~D},    {NOTSRCCOPY, ~S},        {NOTSRCERASE, ~(S | D)},     {MERGECOPY, P & S},
      {MERGEPAINT, ~S | D},  {PATCOPY, P},            {PATPAINT, P | ~S | D},      {PATINVERT, P ^ D},
      {DSTINVERT, ~D},       {BLACKNESS, 0},          {WHITENESS, 0xFFFFFF},       {0x00B8074A, (P & ~S) | (D & S)},
  };
  Canvas src(3, 2, S);
  for (const Case& c : cases) {
    Canvas dst(3, 2, D);
    HBRUSH b = CreateSolidBrush(RGB(0x66, 0x99, 0xCC));
    HGDIOBJ o = SelectObject(dst.dc, b);
    EXPECT_TRUE(BitBlt(dst.dc, 1, 0, 2, 1, src.dc, 0, 0, c.rop));
    EXPECT_EQ(dst.At(1, 0), c.want & 0xFFFFFF) << std::hex << c.rop;
    EXPECT_EQ(dst.At(0, 0), D);
    EXPECT_EQ(dst.At(1, 1), D);
    SelectObject(dst.dc, o);
    DeleteObject(b);
  }
}

TEST(WinUIGdi, MonochromeBlitsUseTheDCColoursOrTheColourTable) {
  // A monochrome device bitmap: 0 takes the text colour, 1 the background.
  const uint8_t rows[2] = {0xA0, 0x00};  // 1 0 1 0 0 0 0 0, word-aligned rows
  HBITMAP ddb = CreateBitmap(8, 1, 1, 1, rows);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, ddb);
  Canvas dst(8, 1);
  SetTextColor(dst.dc, RGB(255, 0, 0));
  SetBkColor(dst.dc, RGB(0, 0, 255));
  BitBlt(dst.dc, 0, 0, 8, 1, mdc, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.At(0, 0), 0x0000FFu);
  EXPECT_EQ(dst.At(1, 0), 0xFF0000u);
  // Colour into it: the source's background colour becomes 1, the rest 0.
  Canvas col(2, 1, 0x123456);
  col.bits[1] = 0x00FF00;
  SetBkColor(col.dc, RGB(0x12, 0x34, 0x56));
  BitBlt(mdc, 0, 0, 2, 1, col.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(mdc, 0, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(mdc, 1, 0), RGB(0, 0, 0));
  SelectObject(mdc, old);
  DeleteDC(mdc);
  DeleteObject(ddb);

  // A monochrome DIB section goes through its colour table both ways.
  Canvas mono(8, 1, 0, 1);
  reinterpret_cast<uint8_t*>(mono.bits)[0] = 0xA0;
  Canvas d2(8, 1, 0x00FF00);
  SetTextColor(d2.dc, RGB(255, 0, 0));
  BitBlt(d2.dc, 0, 0, 8, 1, mono.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(d2.At(0, 0), 0xFFFFFFu);
  EXPECT_EQ(d2.At(1, 0), 0u);
  col.bits[0] = 0xF0F0F0;
  col.bits[1] = 0x101010;
  BitBlt(mono.dc, 0, 0, 2, 1, col.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(mono.bits)[0] & 0xC0, 0x80);
}

TEST(WinUIGdi, StretchesMirrorAndHalftoneAtOneToOneCopies) {
  Canvas src(4, 2);
  for (int i = 0; i < 8; ++i) src.bits[i] = uint32_t(i * 0x101010);
  Canvas same(4, 2, 0xABCDEF);
  SetStretchBltMode(same.dc, HALFTONE);
  StretchBlt(same.dc, 0, 0, 4, 2, src.dc, 0, 0, 4, 2, SRCCOPY);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(same.bits[i] & 0xFFFFFF, src.bits[i]);

  Canvas mir(4, 2);
  StretchBlt(mir.dc, 3, 0, -4, 2, src.dc, 0, 0, 4, 2, SRCCOPY);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(mir.At(x, 0), src.At(3 - x, 0)) << x;

  Canvas big(8, 4);
  SetStretchBltMode(big.dc, COLORONCOLOR);
  StretchBlt(big.dc, 0, 0, 8, 4, src.dc, 0, 0, 4, 2, SRCCOPY);
  EXPECT_EQ(big.At(7, 3), src.At(3, 1));
  EXPECT_EQ(big.At(2, 1), src.At(1, 0));

  Canvas half(2, 1);
  SetStretchBltMode(half.dc, HALFTONE);
  StretchBlt(half.dc, 0, 0, 2, 1, src.dc, 0, 0, 4, 2, SRCCOPY);
  // Interpolated at i * 4 / 2: whole source pixels here.
  EXPECT_EQ(half.At(0, 0), 0u);
  EXPECT_EQ(half.At(1, 0), 0x202020u);
  Canvas twice(8, 2);
  SetStretchBltMode(twice.dc, HALFTONE);
  StretchBlt(twice.dc, 0, 0, 8, 2, src.dc, 0, 0, 4, 1, SRCCOPY);
  EXPECT_EQ(twice.At(1, 0), 0x080808u);  // half way between 0 and 0x101010
  EXPECT_EQ(twice.At(7, 0), 0x303030u);  // clamped at the last pixel
}

TEST(WinUIGdi, DIBTransfersCountRowsFromTheBottom) {
  // A bottom-up 24-bit image of 3 x 2: the first row in memory is the bottom one.
  std::vector<uint8_t> bits = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 3;
  bi.bmiHeader.biHeight = 2;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  Canvas cv(3, 2);
  EXPECT_EQ(SetDIBitsToDevice(cv.dc, 0, 0, 3, 2, 0, 0, 0, 2, bits.data(), &bi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(cv.At(0, 1), 0x030201u);
  EXPECT_EQ(cv.At(2, 0), 0x12110Fu + 0x000001u);
  Canvas st(3, 2);
  EXPECT_EQ(StretchDIBits(st.dc, 0, 0, 3, 2, 0, 0, 3, 2, bits.data(), &bi, DIB_RGB_COLORS, SRCCOPY), 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(st.At(x, y), cv.At(x, y));
  // A header that claims fewer bytes than its rows need is refused.
  bi.bmiHeader.biSizeImage = 20;
  EXPECT_EQ(StretchDIBits(st.dc, 0, 0, 3, 2, 0, 0, 3, 2, bits.data(), &bi, DIB_RGB_COLORS, SRCCOPY), 0);
  bi.bmiHeader.biSizeImage = 0;
  bi.bmiHeader.biBitCount = 7;
  EXPECT_EQ(StretchDIBits(st.dc, 0, 0, 3, 2, 0, 0, 3, 2, bits.data(), &bi, DIB_RGB_COLORS, SRCCOPY), 0);

  // GetDIBits gives the same rows back.
  std::vector<uint8_t> back(24, 0xEE);
  bi.bmiHeader.biBitCount = 24;
  EXPECT_EQ(GetDIBits(cv.dc, cv.bm, 0, 2, back.data(), &bi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(back, bits);
}

TEST(WinUIGdi, PaletteIndexDIBsTakeTheDefaultPalette) {
  // 16-bit colour table entries name the default palette's: 13 red, 16 blue,
  // and one past its twenty entries its last, white.
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 3 * 2, 0);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = 3;
  bi->bmiHeader.biHeight = 1;
  bi->bmiHeader.biPlanes = 1;
  bi->bmiHeader.biBitCount = 8;
  bi->bmiHeader.biClrUsed = 3;
  const uint16_t table[3] = {13, 16, 400};
  std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), table, sizeof table);
  const uint8_t bits[4] = {0, 1, 2, 0};
  const uint32_t want[3] = {0xFF0000, 0x0000FF, 0xFFFFFF};
  Canvas st(3, 1, 0x123456);
  EXPECT_EQ(StretchDIBits(st.dc, 0, 0, 3, 1, 0, 0, 3, 1, bits, bi, DIB_PAL_COLORS, SRCCOPY), 1);
  void* p = nullptr;
  HBITMAP sec = CreateDIBSection(nullptr, bi, DIB_PAL_COLORS, &p, nullptr, 0);
  ASSERT_NE(sec, nullptr);
  std::memcpy(p, bits, sizeof bits);
  HDC mdc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(mdc, sec);
  Canvas bl(3, 1, 0x123456);
  BitBlt(bl.dc, 0, 0, 3, 1, mdc, 0, 0, SRCCOPY);
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(st.At(x, 0), want[x]) << "StretchDIBits " << x;
    EXPECT_EQ(bl.At(x, 0), want[x]) << "DIB section " << x;
  }
  SelectObject(mdc, old);
  DeleteDC(mdc);
  DeleteObject(sec);
}

TEST(WinUIGdi, DIBSectionsRefuseWhatTheyCannotHold) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 100;
  bi.bmiHeader.biHeight = 100;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* p = nullptr;
  HBITMAP ok = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  ASSERT_NE(ok, nullptr);
  BITMAP b;
  ASSERT_EQ(GetObjectW(ok, sizeof b, &b), int(sizeof b));
  EXPECT_EQ(b.bmWidthBytes, 300);
  EXPECT_EQ(b.bmBits, p);
  DeleteObject(ok);
  VXSetGdiPixelLimit(9999);
  EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CreateEllipticRgn(0, 0, 200, 200), nullptr);
  VXSetGdiPixelLimit(int64_t(1) << 31);
  VXHeadless::FailDIBSections(1);
  EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0), nullptr);
  HBITMAP again = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  EXPECT_NE(again, nullptr);
  DeleteObject(again);
  for (WORD bits : {WORD(0), WORD(2), WORD(64)}) {
    bi.bmiHeader.biBitCount = bits;
    EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0), nullptr) << bits;
  }
}

std::vector<RECT> RectsOf(HRGN r) {
  DWORD n = GetRegionData(r, 0, nullptr);
  std::vector<uint8_t> buf(n);
  GetRegionData(r, n, reinterpret_cast<RGNDATA*>(buf.data()));
  auto* d = reinterpret_cast<RGNDATA*>(buf.data());
  std::vector<RECT> out(d->rdh.nCount);
  std::memcpy(out.data(), d->Buffer, out.size() * sizeof(RECT));
  return out;
}

TEST(WinUIGdi, RegionsCombineOffsetAndTravelAsRectangleData) {
  struct Case {
    int mode, kind;
    int64_t area;
  } cases[] = {{RGN_AND, SIMPLEREGION, 25}, {RGN_OR, COMPLEXREGION, 175}, {RGN_XOR, COMPLEXREGION, 150},
               {RGN_DIFF, COMPLEXREGION, 75}, {RGN_COPY, SIMPLEREGION, 100}};
  for (const Case& c : cases) {
    HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15), d = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(d, a, b, c.mode), c.kind) << c.mode;
    int64_t area = 0;
    for (const RECT& r : RectsOf(d)) area += int64_t(r.right - r.left) * (r.bottom - r.top);
    EXPECT_EQ(area, c.area) << c.mode;
    for (HRGN r : {a, b, d}) DeleteObject(r);
  }
  HRGN r = CreateRectRgn(0, 0, 4, 4);
  HRGN hole = CreateRectRgn(1, 1, 3, 3);
  CombineRgn(r, r, hole, RGN_DIFF);
  EXPECT_FALSE(PtInRegion(r, 1, 1));
  EXPECT_TRUE(PtInRegion(r, 0, 3));
  EXPECT_FALSE(PtInRegion(r, 4, 0));
  EXPECT_EQ(OffsetRgn(r, 10, 20), COMPLEXREGION);
  RECT box;
  EXPECT_EQ(GetRgnBox(r, &box), COMPLEXREGION);
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.bottom, 24);

  // Through rectangle data and back.
  DWORD n = GetRegionData(r, 0, nullptr);
  std::vector<uint8_t> buf(n);
  ASSERT_EQ(GetRegionData(r, n, reinterpret_cast<RGNDATA*>(buf.data())), n);
  HRGN copy = ExtCreateRegion(nullptr, n, reinterpret_cast<RGNDATA*>(buf.data()));
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(EqualRgn(copy, r));
  EXPECT_EQ(ExtCreateRegion(nullptr, n - 1, reinterpret_cast<RGNDATA*>(buf.data())), nullptr);
  EXPECT_EQ(ExtCreateRegion(nullptr, 8, reinterpret_cast<RGNDATA*>(buf.data())), nullptr);
  reinterpret_cast<RGNDATA*>(buf.data())->rdh.nCount = 0x10000000;
  EXPECT_EQ(ExtCreateRegion(nullptr, n, reinterpret_cast<RGNDATA*>(buf.data())), nullptr);
  for (HRGN x : {r, hole, copy}) DeleteObject(x);

  // Two overlapping squares in one polygon: alternate leaves the overlap out.
  POINT pts[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}, {2, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 2}};
  INT counts[] = {5, 5};
  HRGN alt = CreatePolyPolygonRgn(pts, counts, 2, ALTERNATE);
  HRGN wind = CreatePolyPolygonRgn(pts, counts, 2, WINDING);
  EXPECT_FALSE(PtInRegion(alt, 3, 3));
  EXPECT_TRUE(PtInRegion(wind, 3, 3));
  EXPECT_TRUE(PtInRegion(alt, 0, 0));
  EXPECT_FALSE(PtInRegion(alt, 4, 0));
  DeleteObject(alt);
  DeleteObject(wind);
}

// Rectangle data in any order, overlapping or not, give the region (the
// very rectangles GetRegionData lists) that adding them one at a time gives.
TEST(WinUIGdi, RegionDataMakesTheUnionOfItsRectangles) {
  uint32_t seed = 7;
  const auto next = [&](int n) {
    seed = seed * 1664525u + 1013904223u;
    return int((seed >> 8) % uint32_t(n));
  };
  struct TSet {
    const char* Name;
    std::vector<RECT> Rects;
  };
  std::vector<TSet> sets(4);
  sets[0].Name = "overlapping, any order";
  for (int i = 0; i < 300; ++i) {
    const int x = next(200), y = next(200);
    sets[0].Rects.push_back(RECT{x, y, x + 1 + next(40), y + 1 + next(40)});
  }
  sets[1].Name = "crossing bars";
  for (int i = 0; i < 60; ++i) {
    sets[1].Rects.push_back(RECT{0, 4 * i, 240, 4 * i + 2});
    sets[1].Rects.push_back(RECT{4 * i, 0, 4 * i + 2, 240});
  }
  sets[2].Name = "bottom to top, touching";
  for (int i = 100; i > 0; --i) sets[2].Rects.push_back(RECT{i, 2 * i, i + 50, 2 * i + 2});
  sets[3].Name = "flipped, empty and repeated";
  sets[3].Rects = {{10, 10, 0, 0}, {5, 5, 5, 9}, {3, 3, 7, 7}, {3, 3, 7, 7}, {-4, 2, 1, 20}};
  for (const TSet& set : sets) {
    SCOPED_TRACE(set.Name);
    std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + set.Rects.size() * sizeof(RECT));
    RGNDATAHEADER h{};
    h.dwSize = sizeof h;
    h.iType = RDH_RECTANGLES;
    h.nCount = DWORD(set.Rects.size());
    std::memcpy(data.data(), &h, sizeof h);
    std::memcpy(data.data() + sizeof h, set.Rects.data(), set.Rects.size() * sizeof(RECT));
    HRGN made = ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<const RGNDATA*>(data.data()));
    ASSERT_NE(made, nullptr);
    HRGN added = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : set.Rects) {
      HRGN one = CreateRectRgn(r.left, r.top, r.right, r.bottom);
      CombineRgn(added, added, one, RGN_OR);
      DeleteObject(one);
    }
    EXPECT_TRUE(EqualRgn(made, added));
    const auto listed = [](HRGN r) {
      std::vector<uint8_t> out(GetRegionData(r, 0, nullptr));
      GetRegionData(r, DWORD(out.size()), reinterpret_cast<RGNDATA*>(out.data()));
      return out;
    };
    EXPECT_EQ(listed(made), listed(added));
    DeleteObject(made);
    DeleteObject(added);
  }
}

TEST(WinUIGdi, ClipRegionsLimitDrawing) {
  Canvas cv(6, 4);
  HRGN clip = CreateRectRgn(1, 1, 5, 3);
  SelectClipRgn(cv.dc, clip);
  ExcludeClipRect(cv.dc, 2, 1, 3, 2);
  RECT box;
  EXPECT_EQ(GetClipBox(cv.dc, &box), COMPLEXREGION);
  RECT all{0, 0, 6, 4};
  FillRect(cv.dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(cv.Picture(0),
            "......\n"
            ".#.##.\n"
            ".####.\n"
            "......\n");
  // The viewport origin moves drawing, not the clip region.
  SelectClipRgn(cv.dc, nullptr);
  SetViewportOrgEx(cv.dc, 2, 1, nullptr);
  SetPixel(cv.dc, 0, 0, RGB(255, 0, 0));
  EXPECT_EQ(cv.At(2, 1), 0xFF0000u);
  int saved = SaveDC(cv.dc);
  SetViewportOrgEx(cv.dc, 0, 0, nullptr);
  RestoreDC(cv.dc, saved);
  POINT org;
  GetViewportOrgEx(cv.dc, &org);
  EXPECT_EQ(org.x, 2);
  DeleteObject(clip);
}

TEST(WinUIGdi, EllipsesAndPolygonsStayInTheirBox) {
  Canvas cv(12, 10);
  SelectObject(cv.dc, GetStockObject(BLACK_BRUSH));
  Ellipse(cv.dc, 1, 1, 11, 9);
  int inked = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 12; ++x) {
      bool in = cv.At(x, y) == 0;
      inked += in;
      if (in) {
        EXPECT_TRUE(x >= 1 && x < 11 && y >= 1 && y < 9) << x << "," << y;
      }
    }
  EXPECT_GT(inked, 50);  // about pi * 5 * 4 = 63
  EXPECT_LT(inked, 80);
  EXPECT_EQ(cv.At(1, 1), 0xFFFFFFu);  // corners stay clear
  EXPECT_EQ(cv.At(6, 5), 0u);

  Canvas tri(8, 8);
  SelectObject(tri.dc, GetStockObject(BLACK_BRUSH));
  SelectObject(tri.dc, GetStockObject(NULL_PEN));
  POINT p[] = {{0, 0}, {6, 0}, {0, 6}};
  Polygon(tri.dc, p, 3);
  EXPECT_EQ(tri.At(0, 0), 0u);
  EXPECT_EQ(tri.At(5, 0), 0u);
  EXPECT_EQ(tri.At(6, 0), 0xFFFFFFu);
  EXPECT_EQ(tri.At(0, 6), 0xFFFFFFu);
  EXPECT_EQ(tri.At(3, 3), 0xFFFFFFu);
}

TEST(WinUIGdi, AlphaBlendWithConstantAndPerPixelAlpha) {
  Canvas src(2, 1, 0);
  src.bits[0] = 0x80800000;  // premultiplied: half-transparent red at full... red 0x80, alpha 0x80
  src.bits[1] = 0xFF0000FF;  // opaque blue
  struct Case {
    BYTE sca, format;
    uint32_t want0, want1;
  } cases[] = {
      {255, AC_SRC_ALPHA, 0x80 << 16 | 0x007F7F, 0x0000FF},  // 0x80 + 0xFF * 127/255 = 0xFF; g, b 0x7F
      {255, 0, 0x800000, 0x0000FF},
      {0, 0, 0x00FFFF, 0x00FFFF},
      {128, 0, 0x407F7F + 0x000000, 0x007FFF},
  };
  for (const Case& c : cases) {
    Canvas dst(2, 1, 0x00FFFF);
    BLENDFUNCTION bf{AC_SRC_OVER, 0, c.sca, c.format};
    ASSERT_TRUE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, 2, 1, bf));
    EXPECT_NEAR(int(dst.At(0, 0) >> 16), int(c.want0 >> 16), 1) << int(c.sca) << " " << int(c.format);
    EXPECT_NEAR(int((dst.At(0, 0) >> 8) & 255), int((c.want0 >> 8) & 255), 1);
    EXPECT_NEAR(int(dst.At(1, 0) & 255), int(c.want1 & 255), 1);
  }
  // The source rectangle must lie inside the source.
  Canvas dst(2, 1);
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, 0};
  EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 2, 1, src.dc, 1, 0, 2, 1, bf));
  EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, -2, 1, src.dc, 0, 0, 2, 1, bf));
}

TEST(WinUIGdi, GradientsInterpolateTheVertexColours) {
  Canvas cv(5, 4);
  TRIVERTEX v[2];
  v[0].x = 0;
  v[0].y = 0;
  v[0].Red = 0xFF00;
  v[1].x = 5;
  v[1].y = 4;
  v[1].Blue = 0xFF00;
  GRADIENT_RECT r{0, 1};
  ASSERT_TRUE(GradientFill(cv.dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V));
  EXPECT_EQ(cv.At(3, 0), 0xFF0000u);
  EXPECT_EQ(cv.At(3, 2), 0x7F007Fu);  // half way
  GRADIENT_RECT bad{0, 7};
  EXPECT_FALSE(GradientFill(cv.dc, v, 2, &bad, 1, GRADIENT_FILL_RECT_H));

  Canvas tri(8, 8);
  TRIVERTEX t[3];
  t[0].x = 0, t[0].y = 0, t[0].Green = 0xFF00;
  t[1].x = 8, t[1].y = 0, t[1].Green = 0xFF00;
  t[2].x = 0, t[2].y = 8, t[2].Green = 0xFF00;
  GRADIENT_TRIANGLE g{0, 1, 2};
  ASSERT_TRUE(GradientFill(tri.dc, t, 3, &g, 1, GRADIENT_FILL_TRIANGLE));
  EXPECT_EQ(tri.At(1, 1), 0x00FF00u);
  EXPECT_EQ(tri.At(7, 7), 0xFFFFFFu);
}

TEST(WinUIGdi, ParallelogramTransfersAndDrawDibCopies) {
  Canvas src(2, 2);
  src.bits[0] = 0x0000FF;
  src.bits[1] = 0x00FF00;
  src.bits[2] = 0xFF0000;
  src.bits[3] = 0x000000;
  // A quarter turn: the source's top edge runs down the destination.
  Canvas dst(4, 4);
  POINT p[3] = {{2, 0}, {2, 2}, {0, 0}};
  ASSERT_TRUE(PlgBlt(dst.dc, p, src.dc, 0, 0, 2, 2, nullptr, 0, 0));
  EXPECT_EQ(dst.At(1, 0), 0x0000FFu);
  EXPECT_EQ(dst.At(1, 1), 0x00FF00u);
  EXPECT_EQ(dst.At(0, 0), 0xFF0000u);
  EXPECT_EQ(dst.At(3, 3), 0xFFFFFFu);

  std::vector<uint8_t> dib(sizeof(BITMAPINFOHEADER) + 8, 0);
  auto* h = reinterpret_cast<BITMAPINFOHEADER*>(dib.data());
  h->biSize = sizeof(BITMAPINFOHEADER);
  h->biWidth = 2;
  h->biHeight = 1;
  h->biPlanes = 1;
  h->biBitCount = 32;
  uint32_t px[2] = {0x123456, 0x654321};
  std::memcpy(dib.data() + sizeof(BITMAPINFOHEADER), px, 8);
  HDRAWDIB dd = DrawDibOpen();
  Canvas out(3, 1);
  ASSERT_TRUE(DrawDibDraw(dd, out.dc, 1, 0, -1, -1, h, nullptr, 0, 0, -1, -1, 0));
  EXPECT_EQ(out.At(1, 0), 0x123456u);
  EXPECT_EQ(out.At(2, 0), 0x654321u);
  EXPECT_TRUE(DrawDibClose(dd));
  EXPECT_FALSE(DrawDibDraw(dd, out.dc, 1, 0, -1, -1, h, nullptr, 0, 0, -1, -1, 0));
}

TEST(WinUIGdi, FontHandlesAndFamilies) {
  LOGFONTW lf;
  lf.lfHeight = -13;
  lf.lfWeight = 700;
  lf.lfEscapement = 900;
  lf.lfQuality = 5;
  const char16_t name[] = u"DejaVu Sans";
  std::copy(std::begin(name), std::end(name), lf.lfFaceName);
  HFONT f = CreateFontIndirectW(&lf);
  ASSERT_NE(f, nullptr);
  LOGFONTW back;
  ASSERT_EQ(GetObjectW(f, sizeof back, &back), int(sizeof back));
  EXPECT_EQ(back.lfHeight, -13);
  EXPECT_EQ(back.lfEscapement, 900);
  EXPECT_EQ(std::u16string(back.lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(GetObjectType(f), OBJ_FONT);
  Canvas cv(1, 1);
  HGDIOBJ old = SelectObject(cv.dc, f);
  EXPECT_EQ(GetCurrentObject(cv.dc, OBJ_FONT), f);
  SelectObject(cv.dc, old);
  DeleteObject(f);

  VXFonts::SetFamilies({"Beta", "Alpha", "Gamma"});
  std::vector<std::u16string> seen;
  auto proc = [](const LOGFONTW* l, const TEXTMETRICW*, DWORD type, LPARAM p) -> int {
    auto* v = reinterpret_cast<std::vector<std::u16string>*>(p);
    v->push_back(l->lfFaceName);
    EXPECT_EQ(type, TRUETYPE_FONTTYPE);
    return v->size() < 2 ? 1 : 0;
  };
  LOGFONTW any;
  any.lfCharSet = DEFAULT_CHARSET;
  EXPECT_EQ(EnumFontFamiliesExW(cv.dc, &any, proc, reinterpret_cast<LPARAM>(&seen), 0), 0);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"Alpha", u"Beta"}));
  seen.clear();
  const char16_t gamma[] = u"gamma";
  std::copy(std::begin(gamma), std::end(gamma), any.lfFaceName);
  EnumFontFamiliesExW(cv.dc, &any, proc, reinterpret_cast<LPARAM>(&seen), 0);
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"Gamma"}));
  VXFonts::UseInstalledFamilies();
  // The set-up script installs the DejaVu fonts.
  auto installed = VXFonts::Families();
  EXPECT_NE(std::find(installed.begin(), installed.end(), "DejaVu Sans"), installed.end());
}

}  // namespace

namespace {

// The drawing calls a world transform must carry: each draws into dc with
// the same arguments.
struct Drawing {
  const char* name;
  void (*draw)(HDC dc, HDC src);
};

const Drawing kDrawings[] = {
    {"LineTo", [](HDC dc, HDC) {
       SelectObject(dc, GetStockObject(BLACK_PEN));
       MoveToEx(dc, 1, 0, nullptr);
       LineTo(dc, 8, 4);
     }},
    {"Rectangle", [](HDC dc, HDC) {
       HBRUSH b = CreateSolidBrush(RGB(0, 0, 255));
       HGDIOBJ ob = SelectObject(dc, b);
       SelectObject(dc, GetStockObject(BLACK_PEN));
       Rectangle(dc, 1, 1, 7, 5);
       SelectObject(dc, ob);
       DeleteObject(b);
     }},
    {"FillRect and FrameRect", [](HDC dc, HDC) {
       HBRUSH b = CreateSolidBrush(RGB(255, 0, 0));
       RECT r{2, 0, 5, 3};
       FillRect(dc, &r, b);
       RECT f{0, 2, 9, 6};
       FrameRect(dc, &f, b);
       DeleteObject(b);
     }},
    {"Ellipse and Polygon", [](HDC dc, HDC) {
       SelectObject(dc, GetStockObject(BLACK_PEN));
       SelectObject(dc, GetStockObject(GRAY_BRUSH));
       Ellipse(dc, 0, 0, 6, 5);
       POINT p[3] = {{5, 0}, {9, 3}, {6, 6}};
       Polygon(dc, p, 3);
     }},
    {"SetPixel and PatBlt", [](HDC dc, HDC) {
       SetPixel(dc, 3, 1, RGB(1, 2, 3));
       SelectObject(dc, GetStockObject(BLACK_BRUSH));
       PatBlt(dc, 5, 2, 3, 3, PATCOPY);
     }},
    {"BitBlt and StretchBlt", [](HDC dc, HDC src) {
       BitBlt(dc, 1, 1, 4, 3, src, 0, 0, SRCCOPY);
       StretchBlt(dc, 5, 0, 4, 6, src, 1, 0, 2, 3, SRCCOPY);
     }},
    {"AlphaBlend", [](HDC dc, HDC src) {
       BLENDFUNCTION f;
       f.SourceConstantAlpha = 128;
       AlphaBlend(dc, 2, 1, 6, 4, src, 0, 0, 4, 3, f);
     }},
    {"GradientFill", [](HDC dc, HDC) {
       TRIVERTEX v[2];
       v[0].x = 1;
       v[0].y = 0;
       v[0].Red = 0xFF00;
       v[1].x = 8;
       v[1].y = 5;
       v[1].Blue = 0xFF00;
       GRADIENT_RECT r{0, 1};
       GradientFill(dc, v, 2, &r, 1, GRADIENT_FILL_RECT_V);
     }},
    {"clipped fill", [](HDC dc, HDC) {
       IntersectClipRect(dc, 2, 1, 6, 4);
       HBRUSH b = CreateSolidBrush(RGB(0, 128, 0));
       RECT r{0, 0, 9, 6};
       FillRect(dc, &r, b);
       DeleteObject(b);
     }},
};

}  // namespace

TEST(WinUIGdi, WorldTransformFlipsAndMovesEveryDrawing) {
  // A source with distinct rows for the transfers.
  Canvas src(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) src.bits[y * 4 + x] = uint32_t(0x102030 * (y + 1) + x * 0x40);
  for (const Drawing& d : kDrawings) {
    SCOPED_TRACE(d.name);
    Canvas plain(9, 6), flipped(9, 6), moved(9, 6);
    d.draw(plain.dc, src.dc);
    ASSERT_EQ(SetGraphicsMode(flipped.dc, GM_ADVANCED), GM_COMPATIBLE);
    XFORM flip;
    flip.eM22 = -1;
    flip.eDy = 5;  // height - 1: row y lands on row 5 - y
    ASSERT_TRUE(SetWorldTransform(flipped.dc, &flip));
    d.draw(flipped.dc, src.dc);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 9; ++x) ASSERT_EQ(flipped.At(x, 5 - y), plain.At(x, y)) << x << "," << y;
    SetGraphicsMode(moved.dc, GM_ADVANCED);
    XFORM shift;
    shift.eDx = 2;
    shift.eDy = 1;
    ASSERT_TRUE(SetWorldTransform(moved.dc, &shift));
    d.draw(moved.dc, src.dc);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(moved.At(x + 2, y + 1), plain.At(x, y)) << x << "," << y;
  }
}

TEST(WinUIGdi, WorldTransformRefusesWhatItCannotHold) {
  Canvas c(4, 4);
  XFORM flip;
  flip.eM22 = -1;
  flip.eDy = 3;
  EXPECT_FALSE(SetWorldTransform(c.dc, &flip));  // GM_COMPATIBLE
  EXPECT_EQ(SetGraphicsMode(c.dc, GM_ADVANCED), GM_COMPATIBLE);
  struct Bad {
    float m11, m12, m21, m22, dx, dy;
  };
  for (Bad b : {Bad{0, 1, -1, 0, 0, 0}, Bad{2, 0, 0, 1, 0, 0}, Bad{1, 0, 0, 1, 0.5f, 0}, Bad{-1, 0, 0, 1, 0, 0}}) {
    XFORM x;
    x.eM11 = b.m11;
    x.eM12 = b.m12;
    x.eM21 = b.m21;
    x.eM22 = b.m22;
    x.eDx = b.dx;
    x.eDy = b.dy;
    EXPECT_FALSE(SetWorldTransform(c.dc, &x));
  }
  ASSERT_TRUE(SetWorldTransform(c.dc, &flip));
  XFORM got;
  ASSERT_TRUE(GetWorldTransform(c.dc, &got));
  EXPECT_EQ(got.eM22, -1);
  EXPECT_EQ(got.eDy, 3);
  // The clip box answers in logical coordinates.
  IntersectClipRect(c.dc, 0, 0, 2, 1);
  RECT box;
  GetClipBox(c.dc, &box);
  EXPECT_EQ(box.top, 0);
  EXPECT_EQ(box.bottom, 1);
  EXPECT_EQ(box.right, 2);
  EXPECT_EQ(SetGraphicsMode(c.dc, GM_COMPATIBLE), 0);  // a transform is set
  // Translation after the flip: y' = 3 - y + 1.
  XFORM t;
  t.eDy = 1;
  ASSERT_TRUE(ModifyWorldTransform(c.dc, &t, MWT_RIGHTMULTIPLY));
  ASSERT_TRUE(GetWorldTransform(c.dc, &got));
  EXPECT_EQ(got.eM22, -1);
  EXPECT_EQ(got.eDy, 4);
  ASSERT_TRUE(ModifyWorldTransform(c.dc, nullptr, MWT_IDENTITY));
  EXPECT_EQ(SetGraphicsMode(c.dc, GM_COMPATIBLE), GM_ADVANCED);
}

namespace {

// Pixels of a canvas equal to Ink, as a set of (x, y).
std::vector<std::pair<int, int>> InkOf(const Canvas& c, uint32_t Ink) {
  std::vector<std::pair<int, int>> v;
  for (int y = 0; y < c.h; ++y)
    for (int x = 0; x < c.w; ++x)
      if (c.At(x, y) == Ink) v.push_back({x, y});
  return v;
}

TEST(WinUIGdi, ArcsAndPiesFollowTheirRadialsAndTheArcDirection) {
  const uint32_t white = 0xFFFFFF, black = 0, green = 0x00AA00;
  // Equal radials: the whole outline Ellipse draws.
  {
    Canvas a(40, 30), e(40, 30);
    ASSERT_TRUE(Arc(a.dc, 2, 3, 37, 27, 10, 0, 10, 0));
    SelectObject(e.dc, GetStockObject(NULL_BRUSH));
    Ellipse(e.dc, 2, 3, 37, 27);
    EXPECT_EQ(a.Picture(black), e.Picture(black));
  }
  // From the right radial to the top one: counter-clockwise the upper right
  // quarter, clockwise the other three; together the outline without the
  // pixels on the radials. Box (0, 0)-(41, 31): centre (20, 15).
  Canvas ccw(41, 31), cw(41, 31), full(41, 31);
  Arc(ccw.dc, 0, 0, 41, 31, 40, 15, 20, 0);
  EXPECT_EQ(GetArcDirection(cw.dc), AD_COUNTERCLOCKWISE);
  EXPECT_EQ(SetArcDirection(cw.dc, AD_CLOCKWISE), AD_COUNTERCLOCKWISE);
  EXPECT_EQ(SetArcDirection(cw.dc, 7), 0);
  EXPECT_EQ(GetArcDirection(cw.dc), AD_CLOCKWISE);
  Arc(cw.dc, 0, 0, 41, 31, 40, 15, 20, 0);
  Arc(full.dc, 0, 0, 41, 31, 0, 0, 0, 0);
  auto q = InkOf(ccw, black), rest = InkOf(cw, black), all = InkOf(full, black);
  ASSERT_FALSE(q.empty());
  for (auto [x, y] : q) {
    EXPECT_GT(x, 20);
    EXPECT_LT(y, 15);
  }
  for (auto [x, y] : rest) EXPECT_FALSE(x > 20 && y < 15) << x << "," << y;
  EXPECT_EQ(q.size() + rest.size() + 2, all.size());  // (40, 15) and (20, 0) lie on the radials
  // A pie: the quarter filled with the brush, outlined by the arc and the
  // radials from the centre.
  Canvas p(41, 31);
  HBRUSH br = CreateSolidBrush(RGB(0, 0xAA, 0));
  HGDIOBJ ob = SelectObject(p.dc, br);
  ASSERT_TRUE(Pie(p.dc, 0, 0, 41, 31, 40, 15, 20, 0));
  auto fill = InkOf(p, green);
  auto line = InkOf(p, black);
  for (auto [x, y] : fill) {
    EXPECT_GE(x, 20);
    EXPECT_LE(y, 15);
  }
  for (auto [x, y] : line) {
    EXPECT_GE(x, 20);
    EXPECT_LE(y, 15);
  }
  EXPECT_EQ(p.At(20, 15), black);  // the centre
  // The quarter's area, pixels of fill and outline: a quarter of the
  // ellipse's, within the outline's width.
  double area = 3.14159265358979 * 20.5 * 15.5 / 4;
  EXPECT_NEAR(double(fill.size() + line.size()), area, 0.1 * area);
  // Without a pen the wedge is only filled, and one pixel smaller at the
  // right and bottom of the box.
  Canvas n(41, 31);
  SelectObject(n.dc, br);
  SelectObject(n.dc, GetStockObject(NULL_PEN));
  Pie(n.dc, 0, 0, 41, 31, 0, 30, 40, 30);  // the lower part
  EXPECT_TRUE(InkOf(n, black).empty());
  for (int y = 0; y < n.h; ++y) EXPECT_NE(n.At(40, y), green);
  for (int x = 0; x < n.w; ++x) EXPECT_NE(n.At(x, 30), green);
  EXPECT_EQ(n.At(20, 25), green);
  EXPECT_EQ(n.At(20, 5), white);
  SelectObject(p.dc, ob);
  SelectObject(n.dc, ob);
  DeleteObject(br);
  // Empty boxes draw nothing; a box far larger than the surface draws only
  // what shows.
  Canvas z(20, 20);
  EXPECT_TRUE(Arc(z.dc, 5, 5, 5, 15, 0, 0, 0, 0));
  EXPECT_TRUE(Pie(z.dc, 5, 5, 15, 5, 0, 0, 0, 0));
  EXPECT_EQ(z.Picture(black).find('#'), std::string::npos);
  EXPECT_TRUE(Pie(z.dc, -60000000, -60000000, 60000000, 60000000, 60000000, 0, 0, -60000000));
  EXPECT_FALSE(Arc(nullptr, 0, 0, 10, 10, 0, 0, 0, 0));
}

// Drawing that reaches far past the surface gives, on the surface, what the
// same drawing gives on a surface large enough to hold all of it.
struct Pens {
  int style, width, rop, bkMode;
};
// Draws on a small surface and on a large one whose viewport origin puts
// the small one's pixels at (Ox, Oy); the small one must equal that crop.
void ExpectSameAsWhole(const std::function<void(HDC)>& Draw, const Pens& P, int Ox, int Oy, int BigW, int BigH,
                       const std::string& Name, bool Flip = false) {
  Canvas small(23, 17, 0x808080), big(BigW, BigH, 0x808080);
  for (Canvas* c : {&small, &big}) {
    HPEN pen = CreatePen(P.style, P.width, RGB(200, 30, 60));
    HGDIOBJ old = SelectObject(c->dc, pen);
    HGDIOBJ oldBrush = SelectObject(c->dc, GetStockObject(GRAY_BRUSH));
    SetROP2(c->dc, P.rop);
    SetBkMode(c->dc, P.bkMode);
    SetBkColor(c->dc, RGB(0, 0, 255));
    if (c == &big) SetViewportOrgEx(c->dc, Ox, Oy, nullptr);
    if (Flip) {
      // Logical row y lands on row 10 - y of the small surface.
      SetGraphicsMode(c->dc, GM_ADVANCED);
      XFORM f;
      f.eM22 = -1;
      f.eDy = 10;
      SetWorldTransform(c->dc, &f);
    }
    Draw(c->dc);
    SelectObject(c->dc, old);
    SelectObject(c->dc, oldBrush);
    DeleteObject(pen);
  }
  for (int y = 0; y < small.h; ++y)
    for (int x = 0; x < small.w; ++x)
      ASSERT_EQ(small.At(x, y), big.At(x + Ox, y + Oy)) << Name << " at " << x << "," << y;
}

// Wide pens against the platform's own strokes (gen/wide_pens.txt, drawn by
// gen/wide_pens.c under Wine): widths 2 to 6, lines in nineteen directions,
// a polyline, a polygon, a rectangle, ellipses, arcs, pies and a rounded
// rectangle, strokes whose parts overlap under R2_XORPEN (each pixel is
// mixed once), and shapes whose PS_INSIDEFRAME pens keep within the pixels
// a one-pixel outline takes. Straight strokes come out pixel for pixel; curved ones go
// along our one-pixel outline, which may differ from the platform's by a
// pixel here and there, so each of their pixels lies within a pixel of the
// platform's and the other way round.
TEST(WinUIGdi, WidePensDrawAsThePlatformDoes) {
  std::ifstream f(std::string(VX_TEST_DATA_DIR) + "/metafile/gen/wide_pens.txt");
  ASSERT_TRUE(f) << "wide_pens.txt";
  std::string head;
  std::vector<std::string> seen;
  while (std::getline(f, head)) {
    std::istringstream h(head);
    std::string shape, rop;
    int width = 0;
    h >> shape >> width >> rop;
    std::vector<int> v;
    for (int n; h >> n;) v.push_back(n);
    std::string want;
    for (int y = 0; y < 40; ++y) {
      std::string row;
      std::getline(f, row);
      want += row + "\n";
    }
    ASSERT_EQ(want.size(), 41u * 40) << head;
    const bool xored = rop == "xor";
    Canvas cv(40, 40);
    HPEN pen = CreatePen(rop == "frame" ? PS_INSIDEFRAME : PS_SOLID, width, xored ? RGB(0, 255, 0) : RGB(0, 0, 0));
    HGDIOBJ oldPen = SelectObject(cv.dc, pen), oldBrush = SelectObject(cv.dc, GetStockObject(NULL_BRUSH));
    SetROP2(cv.dc, xored ? R2_XORPEN : R2_COPYPEN);
    std::vector<POINT> pts;
    for (size_t i = 0; i + 1 < v.size(); i += 2) pts.push_back(POINT{v[i], v[i + 1]});
    bool curved = false;
    if (shape == "line" && v.size() == 4) {
      MoveToEx(cv.dc, v[0], v[1], nullptr);
      LineTo(cv.dc, v[2], v[3]);
    } else if (shape == "polyline") {
      Polyline(cv.dc, pts.data(), int(pts.size()));
    } else if (shape == "polygon") {
      Polygon(cv.dc, pts.data(), int(pts.size()));
    } else if (shape == "rectangle" && v.size() == 4) {
      Rectangle(cv.dc, v[0], v[1], v[2], v[3]);
    } else if (shape == "ellipse" && v.size() == 4) {
      Ellipse(cv.dc, v[0], v[1], v[2], v[3]), curved = true;
    } else if (shape == "arc" && v.size() == 8) {
      Arc(cv.dc, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]), curved = true;
    } else if (shape == "pie" && v.size() == 8) {
      Pie(cv.dc, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]), curved = true;
    } else if (shape == "roundrect" && v.size() == 6) {
      RoundRect(cv.dc, v[0], v[1], v[2], v[3], v[4], v[5]), curved = true;
    } else {
      ADD_FAILURE() << "unknown call: " << head;
    }
    SelectObject(cv.dc, oldPen);
    SelectObject(cv.dc, oldBrush);
    DeleteObject(pen);
    std::string got;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 40; ++x) {
        const uint32_t c = cv.At(x, y);
        got += c == 0xFFFFFF ? '.' : c == 0 ? '#' : c == 0xFF00FF ? 'm' : '?';
      }
      got += '\n';
    }
    seen.push_back(shape + " " + rop);
    if (!curved) {
      EXPECT_EQ(got, want) << head;
      continue;
    }
    // Ink of either picture with none of the other's within a pixel.
    auto lone = [](const std::string& a, const std::string& b) {
      int n = 0;
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
          if (a[size_t(y) * 41 + size_t(x)] == '.') continue;
          bool near = false;
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const int px = x + dx, py = y + dy;
              if (px >= 0 && py >= 0 && px < 40 && py < 40 && b[size_t(py) * 41 + size_t(px)] != '.') near = true;
            }
          n += !near;
        }
      return n;
    };
    EXPECT_EQ(lone(want, got), 0) << head << "\n" << got;
    EXPECT_EQ(lone(got, want), 0) << head << "\n" << got;
  }
  // The file holds every kind of call, both mix modes and framed shapes
  // among them.
  for (const char* kind : {"line copy", "polyline copy", "polygon copy", "rectangle copy", "ellipse copy", "arc copy",
                           "pie copy", "roundrect copy", "line xor", "polyline xor", "rectangle frame",
                           "ellipse frame", "arc frame", "pie frame", "roundrect frame"})
    EXPECT_NE(std::find(seen.begin(), seen.end(), kind), seen.end()) << kind;
}

// A polyline of many short segments going back and forth across the
// surface's columns while it creeps down its rows.
std::vector<POINT> Zigzag() {
  std::vector<POINT> p;
  for (int i = 0; i < 600; ++i) p.push_back(POINT{i % 2 ? 40 : -20, -30 + i / 8});
  return p;
}

TEST(WinUIGdi, LinesReachingPastTheSurfaceDrawWhatTheWholeLineDraws) {
  struct Case {
    const char* name;
    std::vector<POINT> pts;  // a polyline
    Pens pen;
  } cases[] = {
      {"shallow, ends far out", {{-300, 3}, {320, 14}}, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"shallow, backwards", {{320, 14}, {-300, 3}}, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"steep", {{5, -290}, {18, 305}}, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"steep, backwards", {{18, 305}, {5, -290}}, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"halves on every other step", {{-301, -100}, {301, 201}}, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"starts inside, leaves", {{11, 8}, {-250, 290}}, {PS_SOLID, 1, R2_XORPEN, OPAQUE}},
      {"passes beside the surface", {{-300, -5}, {300, -2}}, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"dashed, the pattern under way at the edge", {{-257, 2}, {300, 16}}, {PS_DASH, 1, R2_COPYPEN, OPAQUE}},
      {"dash-dot-dot backwards", {{300, 16}, {-257, 2}}, {PS_DASHDOTDOT, 1, R2_COPYPEN, TRANSPARENT}},
      {"dotted, steep", {{-13, -311}, {30, 299}}, {PS_DOT, 1, R2_COPYPEN, OPAQUE}},
      {"dashes carried across segments off the surface",
       {{-290, -200}, {-100, -251}, {-7, 9}, {290, 12}, {12, 300}, {3, -280}},
       {PS_DASHDOT, 1, R2_COPYPEN, OPAQUE}},
      {"wide pen, copied", {{-300, -40}, {290, 60}}, {PS_SOLID, 9, R2_COPYPEN, OPAQUE}},
      {"wide even pen, steep", {{40, -300}, {-20, 300}}, {PS_SOLID, 12, R2_COPYPEN, OPAQUE}},
      {"wide pen, overlaps xored", {{-280, 20}, {300, -7}, {-5, 300}}, {PS_SOLID, 7, R2_XORPEN, OPAQUE}},
      {"wide pen passing outside within reach", {{-300, -6}, {300, -3}}, {PS_SOLID, 15, R2_MERGEPEN, OPAQUE}},
      {"wide pen, a long zigzag over the same rows, xored", Zigzag(), {PS_SOLID, 5, R2_XORPEN, OPAQUE}},
  };
  for (const Case& c : cases) {
    ExpectSameAsWhole([&](HDC dc) { Polyline(dc, c.pts.data(), int(c.pts.size())); }, c.pen, 320, 320, 680, 680,
                      c.name);
    ExpectSameAsWhole([&](HDC dc) { Polyline(dc, c.pts.data(), int(c.pts.size())); }, c.pen, 320, 320, 680, 680,
                      std::string(c.name) + ", turned over", true);
  }
  // The zigzag covers the whole small surface many times over; each pixel
  // is xored once.
  Canvas cv(23, 17, 0x808080);
  HPEN pen = CreatePen(PS_SOLID, 5, RGB(200, 30, 60));
  HGDIOBJ old = SelectObject(cv.dc, pen);
  SetROP2(cv.dc, R2_XORPEN);
  const std::vector<POINT> z = Zigzag();
  Polyline(cv.dc, z.data(), int(z.size()));
  EXPECT_EQ(cv.Picture(0x808080 ^ 0xC81E3C).find('.'), std::string::npos);
  SelectObject(cv.dc, old);
  DeleteObject(pen);
}

TEST(WinUIGdi, ShapesReachingPastTheSurfaceDrawWhatTheWholeShapeDraws) {
  struct Case {
    const char* name;
    std::function<void(HDC)> draw;
    Pens pen;
  } cases[] = {
      {"ellipse", [](HDC dc) { Ellipse(dc, -200, -150, 30, 12); }, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"ellipse, wide pen", [](HDC dc) { Ellipse(dc, -7, 5, 290, 310); }, {PS_SOLID, 11, R2_COPYPEN, OPAQUE}},
      {"round rectangle", [](HDC dc) { RoundRect(dc, 4, -300, 300, 9, 90, 60); }, {PS_DASH, 1, R2_COPYPEN, OPAQUE}},
      {"round rectangle, wide pen",
       [](HDC dc) { RoundRect(dc, -280, 2, 19, 290, 50, 200); },
       {PS_SOLID, 6, R2_XORPEN, OPAQUE}},
      {"pie", [](HDC dc) { Pie(dc, -250, -250, 40, 40, -250, 30, 40, -250); }, {PS_SOLID, 1, R2_COPYPEN, OPAQUE}},
      {"polygon", [](HDC dc) {
         POINT p[] = {{-300, -10}, {300, 5}, {11, 300}, {6, -290}};
         SetPolyFillMode(dc, WINDING);
         Polygon(dc, p, 4);
       },
       {PS_DOT, 1, R2_COPYPEN, TRANSPARENT}},
      {"rectangle", [](HDC dc) { Rectangle(dc, -300, 4, 15, 300); }, {PS_SOLID, 4, R2_COPYPEN, OPAQUE}},
  };
  for (const Case& c : cases) {
    ExpectSameAsWhole(c.draw, c.pen, 320, 320, 680, 680, c.name);
    ExpectSameAsWhole(c.draw, c.pen, 320, 320, 680, 680, std::string(c.name) + ", turned over", true);
  }
}

TEST(WinUIGdi, StretchesReachingPastTheSurfaceCopyWhatTheWholeStretchCopies) {
  Canvas src(5, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) src.bits[y * 5 + x] = uint32_t(0x3050A0 + 0x1B2D07 * (y * 5 + x)) & 0xFFFFFF;
  struct Case {
    const char* name;
    int x, y, w, h, sx, sy, sw, sh, mode;
  } cases[] = {
      {"enlarged", -250, -100, 600, 300, 0, 0, 5, 4, COLORONCOLOR},
      {"enlarged, halftone", -250, -100, 600, 300, 0, 0, 5, 4, HALFTONE},
      {"mirrored both ways", 290, 200, -577, -311, 0, 0, 5, 4, COLORONCOLOR},
      {"mirrored, halftone", 290, -100, -577, 311, 1, 0, 4, 4, HALFTONE},
      {"source read backwards", -13, -290, 333, 577, 4, 3, -4, -3, COLORONCOLOR},
  };
  for (const Case& c : cases) {
    ExpectSameAsWhole(
        [&](HDC dc) {
          SetStretchBltMode(dc, c.mode);
          StretchBlt(dc, c.x, c.y, c.w, c.h, src.dc, c.sx, c.sy, c.sw, c.sh, SRCCOPY);
        },
        Pens{PS_SOLID, 1, R2_COPYPEN, OPAQUE}, 320, 320, 680, 680, c.name);
  }
  // A destination wider than any surface: only its visible part is worked
  // out. The surface shows the destination's middle, where the second of
  // the two source columns begins.
  Canvas two(2, 1), cv(8, 8);
  two.bits[0] = 0xFF0000;
  two.bits[1] = 0x0000FF;
  for (int mode : {COLORONCOLOR, HALFTONE}) {
    SetStretchBltMode(cv.dc, mode);
    EXPECT_TRUE(StretchBlt(cv.dc, -(1 << 27), 0, 1 << 28, 8, two.dc, 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(cv.Picture(0x0000FF).find('.'), std::string::npos) << mode;
  }
  // Source rectangles at the ends of the coordinates lie wholly outside the
  // source: nothing is drawn.
  struct Far {
    int sx, sw, sy, sh;
  } fars[] = {{INT32_MIN + 1, INT32_MAX, 0, 1}, {INT32_MAX, -1, 0, 1}, {0, 2, INT32_MAX, -3},
              {INT32_MAX, 1, 0, 1}, {0, 2, INT32_MIN, INT32_MAX}};
  for (const Far& f : fars)
    for (int mode : {COLORONCOLOR, HALFTONE}) {
      Canvas out(8, 8);
      SetStretchBltMode(out.dc, mode);
      EXPECT_TRUE(StretchBlt(out.dc, 0, 0, 8, 8, two.dc, f.sx, f.sy, f.sw, f.sh, SRCCOPY));
      EXPECT_EQ(out.Picture(0xFFFFFF).find('.'), std::string::npos) << f.sx << " " << f.sy << " " << mode;
    }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 1;
  bi.bmiHeader.biHeight = 1;  // bottom-up: source rows count from the bottom
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  uint32_t px = 0;
  for (int sy : {INT32_MIN, INT32_MIN + 5, INT32_MAX})
    for (int sh : {1, 3, -1, INT32_MAX}) StretchDIBits(cv.dc, 0, 0, 8, 8, 0, sy, 1, sh, &px, &bi, DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(cv.Picture(0x0000FF).find('.'), std::string::npos);
}

TEST(WinUIGdi, LinesAndShapesAtTheLimitsOfTheCoordinatesDrawOnlyWhatShows) {
  const int far = 1 << 27;
  // Nearly the diagonal, but one step longer downwards: the true line
  // passes half a pixel and a little to the left of each pixel centre below
  // the first row, so the walk's pixels there sit one column to the left.
  std::string want;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) want += x == std::max(0, y - 1) && (y == 0 || x == y - 1) ? '#' : '.';
  struct Case {
    POINT from, to;
  } cases[] = {{{-far, -far}, {far, far + 1}}, {{far, far + 1}, {-far, -far}}};
  for (const Case& c : cases) {
    Canvas cv(64, 64);
    MoveToEx(cv.dc, c.from.x, c.from.y, nullptr);
    LineTo(cv.dc, c.to.x, c.to.y);
    std::string got = cv.Picture(0);
    got.erase(std::remove(got.begin(), got.end(), '\n'), got.end());
    EXPECT_EQ(got, want) << c.from.x << " -> " << c.to.x;
  }
  // Dashed (18 on, 6 off): the first row is 2^27 points into the walk,
  // 8 points into a dash; transparent gaps.
  {
    Canvas cv(64, 64);
    HPEN dash = CreatePen(PS_DASH, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(cv.dc, dash);
    SetBkMode(cv.dc, TRANSPARENT);
    MoveToEx(cv.dc, -far, -far, nullptr);
    LineTo(cv.dc, far, far + 1);
    for (int y = 0; y < 64; ++y) {
      const int pos = (8 + y) % 24;
      EXPECT_EQ(cv.At(std::max(0, y - 1), y) == 0, pos < 18) << y;
    }
    SelectObject(cv.dc, old);
    DeleteObject(dash);
  }
  // A pen far wider than the surface along a line through it covers it all;
  // shapes enclosing the surface fill it; their outlines lie far away.
  struct Fill {
    const char* name;
    std::function<void(HDC)> draw;
    int penWidth;
  } fills[] = {
      {"wide pen", [&](HDC dc) { MoveToEx(dc, -far, 5, nullptr), LineTo(dc, far, 40); }, 1 << 26},
      {"ellipse", [&](HDC dc) { Ellipse(dc, -far / 4, -far / 4, far / 4, far / 4); }, 3},
      {"round rectangle", [&](HDC dc) { RoundRect(dc, -far / 4, -far / 4, far / 4, far / 4, far / 8, far); }, 3},
      {"polygon", [&](HDC dc) {
         POINT p[] = {{-far, -far}, {far, -far + 7}, {0, far}};
         Polygon(dc, p, 3);
       },
       3},
      {"pie", [&](HDC dc) { Pie(dc, -far / 4, -far / 4, far / 4, far / 4, far / 4, 0, 0, far / 4); }, 300},
  };
  for (const Fill& f : fills) {
    Canvas cv(64, 64);
    HPEN pen = CreatePen(PS_SOLID, f.penWidth, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(cv.dc, pen);
    SelectObject(cv.dc, GetStockObject(BLACK_BRUSH));
    f.draw(cv.dc);
    EXPECT_EQ(cv.Picture(0).find('.'), std::string::npos) << f.name;
    SelectObject(cv.dc, old);
    DeleteObject(pen);
  }
}

}  // namespace

namespace {

// A packed DIB: a 40-byte header, the colour table (4-byte RGBQUADs, or
// 2-byte palette indexes for DIB_PAL_COLORS), then the rows given top row
// first, stored bottom-up with padding to 4 bytes.
std::vector<uint8_t> PackedDib(int W, int H, int Bpp, const std::vector<uint32_t>& Table, bool PalIndexes,
                               const std::vector<std::vector<uint32_t>>& Rows) {
  std::vector<uint8_t> d(40, 0);
  auto put32 = [&](size_t o, uint32_t v) {
    for (int i = 0; i < 4; ++i) d[o + size_t(i)] = uint8_t(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, uint32_t(W));
  put32(8, uint32_t(H));
  d[12] = 1;
  d[14] = uint8_t(Bpp);
  put32(32, uint32_t(Table.size()));
  for (uint32_t t : Table) {
    for (int i = 0; i < (PalIndexes ? 2 : 4); ++i) d.push_back(uint8_t(t >> (8 * i)));
  }
  const size_t stride = size_t((W * Bpp + 31) / 32 * 4);
  for (int y = H - 1; y >= 0; --y) {
    std::vector<uint8_t> row(stride, 0);
    for (int x = 0; x < W; ++x) {
      uint32_t v = Rows[size_t(y)][size_t(x)];
      if (Bpp == 24) {
        row[size_t(x) * 3] = uint8_t(v), row[size_t(x) * 3 + 1] = uint8_t(v >> 8), row[size_t(x) * 3 + 2] = uint8_t(v >> 16);
      } else if (Bpp == 8) {
        row[size_t(x)] = uint8_t(v);
      } else if (Bpp == 4) {
        row[size_t(x) / 2] |= uint8_t(v << (x % 2 ? 0 : 4));
      } else if (Bpp == 1) {
        row[size_t(x) / 8] |= uint8_t((v & 1) << (7 - x % 8));
      }
    }
    d.insert(d.end(), row.begin(), row.end());
  }
  return d;
}

TEST(WinUIGdi, PatternBrushesTileFromTheBrushOrigin) {
  // A 3 x 2 tile, so that rows and columns cannot be swapped unseen; colours
  // as 0x00RRGGBB.
  const std::vector<std::vector<uint32_t>> tile24 = {{0xFF0000, 0x00FF00, 0x0000FF}, {0x101010, 0x808080, 0xF0E0D0}};
  const std::vector<uint8_t> dib24 = PackedDib(3, 2, 24, {}, false, tile24);
  // A 1-bit DIB keeps its own colour table; a 4-bit one with palette
  // indexes takes the default palette (13: red, 16: blue, 7: light grey).
  const std::vector<uint8_t> dib1 = PackedDib(3, 2, 1, {0x00FFFF, 0x800000}, false, {{1, 0, 0}, {0, 1, 1}});
  const std::vector<uint8_t> dib4 = PackedDib(3, 2, 4, {13, 16, 7}, true, {{0, 1, 2}, {2, 2, 0}});
  const std::vector<std::vector<uint32_t>> want1 = {{0x800000, 0x00FFFF, 0x00FFFF}, {0x00FFFF, 0x800000, 0x800000}};
  const std::vector<std::vector<uint32_t>> want4 = {{0xFF0000, 0x0000FF, 0xC0C0C0}, {0xC0C0C0, 0xC0C0C0, 0xFF0000}};
  // A monochrome device bitmap: 0 bits in the text colour, 1 bits in the
  // background colour of the DC drawn on (rows word-aligned).
  const uint8_t monoRows[4] = {0xA0, 0, 0x40, 0};  // 1 0 1 / 0 1 0
  HBITMAP ddb = CreateBitmap(3, 2, 1, 1, monoRows);
  const std::vector<std::vector<uint32_t>> wantMono = {{0x0000FF, 0xFF0000, 0x0000FF}, {0xFF0000, 0x0000FF, 0xFF0000}};

  struct Case {
    const char* name;
    HBRUSH brush;
    const std::vector<std::vector<uint32_t>>& tile;
    POINT org;
  } cases[] = {
      {"24-bit DIB", CreateDIBPatternBrushPt(dib24.data(), DIB_RGB_COLORS), tile24, {0, 0}},
      {"24-bit DIB moved origin", CreateDIBPatternBrushPt(dib24.data(), DIB_RGB_COLORS), tile24, {4, -1}},
      {"1-bit DIB", CreateDIBPatternBrushPt(dib1.data(), DIB_RGB_COLORS), want1, {1, 0}},
      {"palette indexes", CreateDIBPatternBrushPt(dib4.data(), DIB_PAL_COLORS), want4, {0, 1}},
      {"monochrome bitmap", CreatePatternBrush(ddb), wantMono, {2, 3}},
  };
  DeleteObject(ddb);  // the brush keeps its own copy
  for (const Case& c : cases) {
    ASSERT_NE(c.brush, nullptr) << c.name;
    Canvas cv(9, 7, 0x123456);
    SetTextColor(cv.dc, RGB(255, 0, 0));
    SetBkColor(cv.dc, RGB(0, 0, 255));
    SetBkMode(cv.dc, TRANSPARENT);  // no gaps in a pattern
    SetBrushOrgEx(cv.dc, c.org.x, c.org.y, nullptr);
    // Logical coordinates move the shape, not the tiling.
    SetViewportOrgEx(cv.dc, 2, 1, nullptr);
    RECT r{-1, 0, 6, 5};
    FillRect(cv.dc, &r, c.brush);
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 9; ++x) {
        const bool inside = x >= 1 && x < 8 && y >= 1 && y < 6;
        const int tx = ((x - c.org.x) % 3 + 3) % 3, ty = ((y - c.org.y) % 2 + 2) % 2;
        EXPECT_EQ(cv.At(x, y), inside ? c.tile[size_t(ty)][size_t(tx)] : 0x123456u)
            << c.name << " at (" << x << ", " << y << ")";
      }
    DeleteObject(c.brush);
  }
}

TEST(WinUIGdi, PatternBrushesMixLikeSolidColoursInShapesAndBlits) {
  const std::vector<std::vector<uint32_t>> tile = {{0xFF00FF, 0x00FF00}, {0x0000FF, 0xFFFFFF}};
  const std::vector<uint8_t> dib = PackedDib(2, 2, 24, {}, false, tile);
  const uint32_t D = 0x3366CC;
  struct Case {
    const char* name;
    std::function<void(HDC)> draw;
    std::function<uint32_t(uint32_t)> want;  // from the tile's colour
  } cases[] = {
      {"rectangle, XOR", [](HDC dc) { SetROP2(dc, R2_XORPEN); Rectangle(dc, 0, 0, 4, 4); },
       [&](uint32_t p) { return p ^ D; }},
      {"rectangle, mask", [](HDC dc) { SetROP2(dc, R2_MASKPEN); Rectangle(dc, 0, 0, 4, 4); },
       [&](uint32_t p) { return p & D; }},
      {"PatBlt PATINVERT", [](HDC dc) { PatBlt(dc, 0, 0, 4, 4, PATINVERT); }, [&](uint32_t p) { return p ^ D; }},
      {"PatBlt PATCOPY", [](HDC dc) { PatBlt(dc, 0, 0, 4, 4, PATCOPY); }, [](uint32_t p) { return p; }},
  };
  for (const Case& c : cases) {
    Canvas cv(4, 4, D);
    HBRUSH b = CreateDIBPatternBrushPt(dib.data(), DIB_RGB_COLORS);
    HGDIOBJ ob = SelectObject(cv.dc, b);
    HGDIOBJ op = SelectObject(cv.dc, GetStockObject(NULL_PEN));
    c.draw(cv.dc);
    // The null pen leaves the rectangle's right and bottom edge out.
    const int n = std::string(c.name).rfind("rectangle", 0) == 0 ? 3 : 4;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(cv.At(x, y), x < n && y < n ? c.want(tile[size_t(y % 2)][size_t(x % 2)]) & 0xFFFFFF : D)
            << c.name << " at (" << x << ", " << y << ")";
    SelectObject(cv.dc, op);
    SelectObject(cv.dc, ob);
    DeleteObject(b);
  }
}

TEST(WinUIGdi, PatternBrushesTravelAsLogBrushes) {
  const std::vector<uint8_t> dib = PackedDib(2, 1, 24, {}, false, {{0x112233, 0x445566}});
  HBRUSH b = CreateDIBPatternBrushPt(dib.data(), DIB_RGB_COLORS);
  LOGBRUSH lb;
  ASSERT_EQ(GetObjectW(b, sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbStyle, BS_DIBPATTERNPT);
  EXPECT_EQ(lb.lbColor, DIB_RGB_COLORS);
  // The brush's own copy, which makes the same brush again.
  ASSERT_NE(lb.lbHatch, 0u);
  EXPECT_EQ(std::memcmp(reinterpret_cast<const void*>(lb.lbHatch), dib.data(), dib.size()), 0);
  HBRUSH again = CreateBrushIndirect(&lb);
  ASSERT_NE(again, nullptr);
  Canvas cv(2, 1);
  RECT r{0, 0, 2, 1};
  FillRect(cv.dc, &r, again);
  EXPECT_EQ(cv.At(0, 0), 0x112233u);
  EXPECT_EQ(cv.At(1, 0), 0x445566u);
  DeleteObject(again);
  DeleteObject(b);

  // From a global block: the DIB must fit in it.
  HGLOBAL g = GlobalAlloc(GHND, dib.size());
  std::memcpy(GlobalLock(g), dib.data(), dib.size());
  GlobalUnlock(g);
  LOGBRUSH fromBlock{BS_DIBPATTERN, DIB_RGB_COLORS, reinterpret_cast<ULONG_PTR>(g)};
  HBRUSH gb = CreateBrushIndirect(&fromBlock);
  EXPECT_NE(gb, nullptr);
  DeleteObject(gb);
  GlobalFree(g);
  HGLOBAL shortBlock = GlobalAlloc(GHND, dib.size() - 1);
  std::memcpy(GlobalLock(shortBlock), dib.data(), dib.size() - 1);
  GlobalUnlock(shortBlock);
  fromBlock.lbHatch = reinterpret_cast<ULONG_PTR>(shortBlock);
  EXPECT_EQ(CreateBrushIndirect(&fromBlock), nullptr);
  GlobalFree(shortBlock);

  // A bitmap's pattern answers with that bitmap.
  HBITMAP bm = CreateBitmap(8, 8, 1, 1, nullptr);
  LOGBRUSH byBitmap{BS_PATTERN, 0, reinterpret_cast<ULONG_PTR>(bm)};
  HBRUSH pb = CreateBrushIndirect(&byBitmap);
  ASSERT_NE(pb, nullptr);
  ASSERT_EQ(GetObjectW(pb, sizeof lb, &lb), int(sizeof lb));
  EXPECT_EQ(lb.lbStyle, BS_PATTERN);
  EXPECT_EQ(lb.lbHatch, reinterpret_cast<ULONG_PTR>(bm));
  DeleteObject(pb);
  DeleteObject(bm);
  EXPECT_EQ(CreatePatternBrush(nullptr), nullptr);
}

TEST(WinUIGdi, PatternBrushesRefuseDIBsThatDoNotAddUp) {
  const std::vector<uint8_t> good = PackedDib(4, 2, 8, {0xFF0000, 0x00FF00}, false, {{0, 1, 0, 1}, {1, 0, 1, 0}});
  auto field = [](std::vector<uint8_t> d, size_t o, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) d[o + size_t(i)] = uint8_t(v >> (8 * i));
    return d;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> dib;
    size_t size;  // bytes of the global block
    UINT usage;
  } cases[] = {
      {"whole", good, good.size(), DIB_RGB_COLORS},
      {"one byte short of the rows", good, good.size() - 1, DIB_RGB_COLORS},
      {"header only", good, 40, DIB_RGB_COLORS},
      {"header size past the block", field(good, 0, 4096, 4), good.size(), DIB_RGB_COLORS},
      {"header too small", field(good, 0, 12, 4), good.size(), DIB_RGB_COLORS},
      {"no width", field(good, 4, 0, 4), good.size(), DIB_RGB_COLORS},
      {"negative width", field(good, 4, uint32_t(-4), 4), good.size(), DIB_RGB_COLORS},
      {"no height", field(good, 8, 0, 4), good.size(), DIB_RGB_COLORS},
      {"huge height", field(good, 8, 0x7FFFFFFF, 4), good.size(), DIB_RGB_COLORS},
      {"two planes", field(good, 12, 2, 2), good.size(), DIB_RGB_COLORS},
      {"3 bits per pixel", field(good, 14, 3, 2), good.size(), DIB_RGB_COLORS},
      {"run-length coded", field(good, 16, BI_RLE8, 4), good.size(), DIB_RGB_COLORS},
      {"more colours than the format has", field(good, 32, 257, 4), good.size(), DIB_RGB_COLORS},
      {"colour table past the block", field(good, 32, 256, 4), good.size(), DIB_RGB_COLORS},
      {"unknown colour use", good, good.size(), 2},
  };
  for (const Case& c : cases) {
    HGLOBAL g = GlobalAlloc(GHND, c.size);
    std::memcpy(GlobalLock(g), c.dib.data(), std::min(c.size, c.dib.size()));
    GlobalUnlock(g);
    LOGBRUSH lb{BS_DIBPATTERN, c.usage, reinterpret_cast<ULONG_PTR>(g)};
    HBRUSH b = CreateBrushIndirect(&lb);
    EXPECT_EQ(b != nullptr, std::string(c.name) == "whole") << c.name;
    DeleteObject(b);
    GlobalFree(g);
  }
}

}  // namespace
