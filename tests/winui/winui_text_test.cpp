// Text through GDI: faces found by fontconfig among the pinned DejaVu fonts,
// metrics and extents against Pillow's FreeType measurements, and drawing
// with clipping, opaque and transparent backgrounds, alignment and reading
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pinned_fonts.h"
#include "platform/utf.h"
#include "winui/font_face.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"

namespace {

struct Canvas {
  HDC dc = nullptr;
  HBITMAP bm = nullptr;
  HGDIOBJ old = nullptr;
  uint32_t* bits = nullptr;
  int w, h;
  Canvas(int W, int H, uint32_t Fill = 0xFFFFFF) : w(W), h(H) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = W;
    bi.bmiHeader.biHeight = -H;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* p = nullptr;
    bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint32_t*>(p);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bm);
    for (int i = 0; i < W * H; ++i) bits[i] = Fill;
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  uint32_t At(int x, int y) const { return bits[y * w + x] & 0xFFFFFF; }
  // The box of pixels that are not Fill; empty (right <= left) when none.
  RECT Changed(uint32_t Fill) const {
    RECT r{w, h, 0, 0};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (At(x, y) != Fill) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> v(size_t(w) * size_t(h));
    for (int i = 0; i < w * h; ++i) v[size_t(i)] = bits[i] & 0xFFFFFF;
    return v;
  }
};

HFONT MakeFont(const char16_t* Face, int Height, int Weight = 400, BYTE Quality = DEFAULT_QUALITY,
               bool Underline = false) {
  LOGFONTW lf;
  lf.lfHeight = Height;
  lf.lfWeight = Weight;
  lf.lfQuality = Quality;
  lf.lfUnderline = Underline;
  for (int i = 0; Face[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = Face[i];
  return CreateFontIndirectW(&lf);
}

SIZE Extent(HDC dc, const std::string& s) {
  SIZE sz;
  EXPECT_TRUE(GetTextExtentPoint32W(dc, s.c_str(), int(s.size()), &sz));
  return sz;
}

TEST(WinUIText, ExtentsAgreeWithPillowOnTheSameFilesAndPixelSizes) {
  struct Face {
    const char16_t* name;
    const char* file;
  } faces[] = {{u"DejaVu Sans", "DejaVuSans.ttf"},
               {u"DejaVu Serif", "DejaVuSerif.ttf"},
               {u"DejaVu Sans Mono", "DejaVuSansMono.ttf"}};
  const int heights[] = {-11, -12, -20};
  const char* samples[] = {"Hello, World!", "The quick brown fox jumps over the lazy dog", "Tarvello 1.4 (2026)",
                           "iiiiilllll", "WWWWMMMM"};
  // Pillow's complex layout (raqm, which python3-pil depends on) advances by
  // the face's own widths, as the window layer does.
  std::string script = "from PIL import ImageFont\nd='/usr/share/fonts/truetype/dejavu/'\n";
  for (const Face& f : faces)
    for (int h : heights)
      for (const char* s : samples)
        script += std::string("f=ImageFont.truetype(d+'") + f.file + "'," + std::to_string(-h) +
                  ",layout_engine=ImageFont.Layout.RAQM)\na,b=f.getmetrics()\nprint(f.getlength('" + s + "'),a+b)\n";
  std::string file = testing::TempDir() + "/pillow_extents.py";
  {
    FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs(script.c_str(), out);
    std::fclose(out);
  }
  FILE* p = popen(("/usr/bin/python3 " + file + " 2>/dev/null").c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  pclose(p);
  if (text.empty()) GTEST_SKIP() << "/usr/bin/python3 with PIL (python3-pil) is missing";
  std::istringstream in(text);
  Canvas c(4, 4);
  for (const Face& f : faces)
    for (int h : heights) {
      HFONT font = MakeFont(f.name, h);
      HGDIOBJ old = SelectObject(c.dc, font);
      for (const char* s : samples) {
        double want_w = 0, want_h = 0;
        ASSERT_TRUE(in >> want_w >> want_h);
        SIZE got = Extent(c.dc, s);
        std::string what = std::string(s) + " at " + std::to_string(h);
        EXPECT_LE(std::abs(got.cx - want_w), 1 + 0.02 * want_w) << what << ": " << got.cx << " vs " << want_w;
        EXPECT_LE(std::abs(got.cy - want_h), 1 + 0.02 * want_h) << what << ": " << got.cy << " vs " << want_h;
      }
      SelectObject(c.dc, old);
      DeleteObject(font);
    }
}

// The widths of all leading parts of a text at once are those of each part
// measured alone.
TEST(WinUIText, LeadingPartsMeasureAsTheyDoAlone) {
  std::string mixed;
  for (int i = 0; i < 300; ++i) mixed += "aW.1 ,jIy"[(i * 7 + i / 5) % 9];
  const std::string texts[] = {"AVAWAY Tarvello", "iiiiilllll WWWWMMMM", "Gr\xC3\xBC\xC3\x9F" "e, \xE2\x82\xAC" "10",
                               std::string("a\0b", 3) + "\xEE\x80\x80z",  // a NUL and a private-use character
                               mixed};
  for (const char16_t* face : {u"DejaVu Sans", u"DejaVu Serif"})
    for (int h : {-11, -13, -17, -40}) {
      HFONT font = MakeFont(face, h);
      VXFontFaceRef f = VXResolveFontFace(font);
      ASSERT_TRUE(f);
      for (const std::string& t : texts) {
        std::vector<int> got = VXFontPrefixWidths(*f, t);
        std::vector<int> want;
        for (size_t i = 0; i < t.size();) {
          VXNextUTF8(t, i);
          want.push_back(VXFontTextWidth(*f, std::string_view(t).substr(0, i)));
        }
        EXPECT_EQ(got, want) << t.substr(0, 20) << " at " << h;
      }
      DeleteObject(font);
    }
}

TEST(WinUIText, MetricsInWholePixelsAndHeightsOfEitherSign) {
  Canvas c(4, 4);
  struct Case {
    const char16_t* face;
    int height;
    int em;  // expected em height in pixels
  } cases[] = {{u"DejaVu Sans", -11, 11}, {u"DejaVu Sans", -20, 20}, {u"DejaVu Serif", -12, 12},
               {u"DejaVu Sans Mono", -16, 16}};
  for (const Case& k : cases) {
    HFONT f = MakeFont(k.face, k.height);
    HGDIOBJ old = SelectObject(c.dc, f);
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(c.dc, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmInternalLeading, tm.tmHeight - k.em);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    EXPECT_EQ(tm.tmWeight, 400);
    // DejaVu's Windows ascent and descent: 1901 and 483 of 2048 units.
    EXPECT_EQ(tm.tmAscent, (1901 * k.em * 2 + 2048) / 4096);
    EXPECT_EQ(tm.tmDescent, (483 * k.em * 2 + 2048) / 4096);
    // A positive height asks for that cell: the same font.
    HFONT cell = MakeFont(k.face, tm.tmHeight);
    SelectObject(c.dc, cell);
    TEXTMETRICW tm2;
    ASSERT_TRUE(GetTextMetricsW(c.dc, &tm2));
    EXPECT_EQ(tm2.tmHeight, tm.tmHeight);
    EXPECT_EQ(tm2.tmAscent, tm.tmAscent);
    EXPECT_EQ(Extent(c.dc, "Measure me").cx, Extent(c.dc, "Measure me").cx);
    SelectObject(c.dc, old);
    DeleteObject(f);
    DeleteObject(cell);
  }
  // The mono face is fixed pitch; the others are not.
  HFONT mono = MakeFont(u"DejaVu Sans Mono", -12), sans = MakeFont(u"DejaVu Sans", -12);
  HGDIOBJ old = SelectObject(c.dc, mono);
  EXPECT_EQ(Extent(c.dc, "iiii").cx, Extent(c.dc, "WWWW").cx);
  TEXTMETRICW tm;
  GetTextMetricsW(c.dc, &tm);
  EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
  SelectObject(c.dc, sans);
  EXPECT_LT(Extent(c.dc, "iiii").cx, Extent(c.dc, "WWWW").cx);
  GetTextMetricsW(c.dc, &tm);
  EXPECT_NE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
  // No kerning: "AV" is as wide as "AA" and "VV" on average, within rounding.
  EXPECT_LE(std::abs(2 * Extent(c.dc, "AV").cx - Extent(c.dc, "AA").cx - Extent(c.dc, "VV").cx), 2);
  EXPECT_EQ(Extent(c.dc, "").cx, 0);
  EXPECT_EQ(Extent(c.dc, "").cy, tm.tmHeight);
  SelectObject(c.dc, old);
  DeleteObject(mono);
  DeleteObject(sans);
}

TEST(WinUIText, PlatformFaceNamesResolveThroughSubstitutes) {
  Canvas c(4, 4);
  HFONT ref = MakeFont(u"DejaVu Sans", -13);
  HGDIOBJ old = SelectObject(c.dc, ref);
  const std::string s = "Substitutes of the platform";
  SIZE want = Extent(c.dc, s);
  for (const char16_t* name : {u"Arial", u"Tahoma", u"MS Sans Serif", u"MS Shell Dlg", u""}) {
    HFONT f = MakeFont(name, -13);
    SelectObject(c.dc, f);
    SIZE got = Extent(c.dc, s);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    SelectObject(c.dc, ref);
    DeleteObject(f);
    VXFontFaceRef face = VXResolveFontFace(f);
    EXPECT_EQ(face, nullptr);  // deleted
  }
  HFONT courier = MakeFont(u"Courier New", -13);
  VXFontFaceRef cf = VXResolveFontFace(courier);
  ASSERT_NE(cf, nullptr);
  EXPECT_EQ(cf->Family(), "DejaVu Sans Mono");
  EXPECT_TRUE(cf->Metrics().FixedPitch);
  // Bold: the bold file, wider.
  HFONT bold = MakeFont(u"Arial", -13, 700);
  VXFontFaceRef bf = VXResolveFontFace(bold);
  ASSERT_NE(bf, nullptr);
  EXPECT_NE(bf->File().find("DejaVuSans-Bold.ttf"), std::string::npos);
  EXPECT_GT(VXFontTextWidth(*bf, s), want.cx);
  SelectObject(c.dc, old);
  DeleteObject(ref);
  DeleteObject(courier);
  DeleteObject(bold);
}

TEST(WinUIText, ClippedOpaqueAndTransparentBackgrounds) {
  const uint32_t white = 0xFFFFFF, bk = 0xFFFF00;  // RGB(255, 255, 0) as the DIB holds it
  HFONT f = MakeFont(u"DejaVu Sans", -20);
  const std::string s = "WWWWWW";
  RECT rc{10, 5, 40, 20};
  struct Case {
    const char* name;
    int mode;
    UINT options;
  } cases[] = {{"opaque rect, clipped", TRANSPARENT, ETO_OPAQUE | ETO_CLIPPED},
               {"clipped, opaque mode", OPAQUE, ETO_CLIPPED},
               {"clipped, transparent", TRANSPARENT, ETO_CLIPPED},
               {"unclipped, transparent", TRANSPARENT, 0},
               {"unclipped, opaque mode", OPAQUE, 0}};
  for (const Case& k : cases) {
    Canvas c(80, 40, white);
    SelectObject(c.dc, f);
    SetTextColor(c.dc, RGB(0, 0, 200));
    SetBkColor(c.dc, RGB(255, 255, 0));
    SetBkMode(c.dc, k.mode);
    ASSERT_TRUE(ExtTextOutW(c.dc, 5, 3, k.options, &rc, s.c_str(), int(s.size()), nullptr));
    SIZE ext = Extent(c.dc, s);
    bool clipped = k.options & ETO_CLIPPED;
    int text = 0, background = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        uint32_t px = c.At(x, y);
        bool inRect = x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
        bool inCell = x >= 5 && x < 5 + ext.cx && y >= 3 && y < 3 + ext.cy;
        if (clipped && !inRect) {
          ASSERT_EQ(px, white) << k.name << " at " << x << "," << y;
          continue;
        }
        if (px == 0x0000C8) ++text;  // RGB(0, 0, 200)
        if (px == bk) ++background;
        bool mayBeBackground = ((k.options & ETO_OPAQUE) && inRect) || (k.mode == OPAQUE && inCell);
        if (!mayBeBackground) {
          EXPECT_NE(px, bk) << k.name << " at " << x << "," << y;
        }
        if (!inCell && !inRect) {
          EXPECT_EQ(px, white) << k.name << " at " << x << "," << y;
        }
      }
    EXPECT_GT(text, 20) << k.name;
    if ((k.options & ETO_OPAQUE) || k.mode == OPAQUE) {
      EXPECT_GT(background, 50) << k.name;
    } else {
      EXPECT_EQ(background, 0) << k.name;
    }
    if (k.options & ETO_OPAQUE) {
      // Every pixel of the rectangle is background, text or a blend of them.
      for (int y = rc.top; y < rc.bottom; ++y)
        for (int x = rc.left; x < rc.right; ++x) EXPECT_NE(c.At(x, y), white) << x << "," << y;
    }
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  }
  DeleteObject(f);
}

TEST(WinUIText, AlignmentViewportClipAndCurrentPosition) {
  HFONT f = MakeFont(u"DejaVu Sans", -16, 400, NONANTIALIASED_QUALITY);
  const std::string s = "HHHH";
  Canvas probe(4, 4);
  SelectObject(probe.dc, f);
  SIZE ext = Extent(probe.dc, s);
  TEXTMETRICW tm;
  GetTextMetricsW(probe.dc, &tm);
  SelectObject(probe.dc, GetStockObject(SYSTEM_FONT));
  // The ink of "HHHH" at TA_LEFT | TA_TOP from (x0, y0): where it lies for
  // other reference points.
  RECT base;
  {
    Canvas c(100, 60);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, TRANSPARENT);
    TextOutW(c.dc, 20, 10, s.c_str(), -1);
    base = c.Changed(0xFFFFFF);
    ASSERT_GT(base.right, base.left);
    // Capital H sits on the baseline and reaches the cap height.
    EXPECT_EQ(base.bottom, 10 + tm.tmAscent);
    EXPECT_GE(base.left, 20);
    EXPECT_LE(base.right, 20 + ext.cx);
    // Monochrome quality: text colour (black) or untouched.
    std::set<uint32_t> colours;
    for (uint32_t px : c.Pixels()) colours.insert(px);
    EXPECT_EQ(colours, (std::set<uint32_t>{0, 0xFFFFFF}));
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  }
  struct Case {
    UINT align;
    int x, y;
    int dx, dy;  // where the ink moves, against TA_LEFT | TA_TOP at (20, 10)
  } cases[] = {
      {TA_RIGHT | TA_TOP, 20 + ext.cx, 10, 0, 0},
      {TA_CENTER | TA_TOP, 20 + ext.cx / 2 + (ext.cx & 1), 10, 0, 0},
      {TA_LEFT | TA_BASELINE, 20, 10 + tm.tmAscent, 0, 0},
      {TA_LEFT | TA_BOTTOM, 20, 10 + tm.tmHeight, 0, 0},
      {TA_LEFT | TA_TOP, 25, 17, 5, 7},
  };
  for (const Case& k : cases) {
    Canvas c(100, 60);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextAlign(c.dc, k.align);
    EXPECT_EQ(GetTextAlign(c.dc), k.align);
    TextOutW(c.dc, k.x, k.y, s.c_str(), int(s.size()));
    RECT r = c.Changed(0xFFFFFF);
    EXPECT_EQ(r.left, base.left + k.dx) << k.align;
    EXPECT_EQ(r.top, base.top + k.dy) << k.align;
    EXPECT_EQ(r.right, base.right + k.dx) << k.align;
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  }
  {
    // The viewport origin moves the text; the clip region cuts it.
    Canvas c(100, 60);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, TRANSPARENT);
    SetViewportOrgEx(c.dc, 7, 3, nullptr);
    HRGN clip = CreateRectRgn(0, 0, 100, 10 + 3 + tm.tmAscent / 2);
    SelectClipRgn(c.dc, clip);
    TextOutW(c.dc, 20, 10, s.c_str(), -1);
    RECT r = c.Changed(0xFFFFFF);
    EXPECT_EQ(r.left, base.left + 7);
    EXPECT_EQ(r.top, base.top + 3);
    EXPECT_EQ(r.bottom, 10 + 3 + tm.tmAscent / 2);
    DeleteObject(clip);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  }
  {
    // TA_UPDATECP draws at the current position and moves it by the width.
    Canvas c(100, 60);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, TRANSPARENT);
    SetTextAlign(c.dc, TA_UPDATECP);
    MoveToEx(c.dc, 20, 10, nullptr);
    TextOutW(c.dc, 0, 0, "HH", 2);
    TextOutW(c.dc, 0, 0, "HH", 2);
    POINT cp;
    GetCurrentPositionEx(c.dc, &cp);
    EXPECT_EQ(cp.x, 20 + ext.cx);
    EXPECT_EQ(cp.y, 10);
    RECT r = c.Changed(0xFFFFFF);
    EXPECT_EQ(r.left, base.left);
    EXPECT_EQ(r.right, base.right);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  }
  DeleteObject(f);
}

TEST(WinUIText, RightToLeftReadingOrdersTheCharacters) {
  HFONT f = MakeFont(u"DejaVu Sans", -14);
  auto draw = [&](const std::string& s, UINT options) {
    Canvas c(120, 24);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, TRANSPARENT);
    ExtTextOutW(c.dc, 4, 2, options, nullptr, s.c_str(), int(s.size()), nullptr);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    return c.Pixels();
  };
  struct Case {
    const char* logical;
    const char* shown;
  } cases[] = {
      {"abc.", ".abc"},    // the full stop ends the line on the left
      {"ab cd", "ab cd"},  // a neutral between two left-to-right letters
      {"x.y", "x.y"},
  };
  for (const Case& k : cases) EXPECT_EQ(draw(k.logical, ETO_RTLREADING), draw(k.shown, 0)) << k.logical;
  EXPECT_NE(draw("abc.", 0), draw(".abc", 0));
  // Hebrew runs right to left in either reading order: alef (U+05D0) then
  // bet (U+05D1) shows bet on the left.
  const std::string alef = "\xD7\x90", bet = "\xD7\x91";
  std::vector<uint32_t> byHand;
  {
    Canvas c(120, 24);
    SelectObject(c.dc, f);
    SetBkMode(c.dc, TRANSPARENT);
    TextOutW(c.dc, 4, 2, bet.c_str(), -1);
    TextOutW(c.dc, 4 + Extent(c.dc, bet).cx, 2, alef.c_str(), -1);
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    byHand = c.Pixels();
  }
  EXPECT_EQ(draw(alef + bet, 0), byHand);
  EXPECT_EQ(draw(alef + bet, ETO_RTLREADING), byHand);
  // In a right-to-left run a bracket shows its mirror image: "(alef)" read
  // right to left shows as "(alef)" drawn left to right.
  EXPECT_EQ(draw("(" + alef + ")", ETO_RTLREADING), draw("(" + alef + ")", 0));
  EXPECT_NE(draw("(" + alef + ")", ETO_RTLREADING), draw(")" + alef + "(", 0));
  DeleteObject(f);
}

TEST(WinUIText, UnderlineSpansTheTextAndPerCharacterDistances) {
  HFONT plain = MakeFont(u"DejaVu Sans", -16, 400, NONANTIALIASED_QUALITY);
  HFONT under = MakeFont(u"DejaVu Sans", -16, 400, NONANTIALIASED_QUALITY, true);
  Canvas c(100, 30), d(100, 30);
  SelectObject(c.dc, plain);
  SelectObject(d.dc, under);
  SetBkMode(c.dc, TRANSPARENT);
  SetBkMode(d.dc, TRANSPARENT);
  TextOutW(c.dc, 10, 5, "a b", 3);
  TextOutW(d.dc, 10, 5, "a b", 3);
  SIZE ext = Extent(d.dc, "a b");
  TEXTMETRICW tm;
  GetTextMetricsW(d.dc, &tm);
  EXPECT_TRUE(tm.tmUnderlined);
  // A row below the baseline is black all along the text in d only.
  int row = -1;
  for (int y = 5 + tm.tmAscent; y < 5 + tm.tmHeight && row < 0; ++y) {
    bool full = true;
    for (int x = 10; x < 10 + ext.cx; ++x) full = full && d.At(x, y) == 0;
    if (full) row = y;
  }
  ASSERT_GE(row, 0);
  for (int x = 0; x < c.w; ++x) EXPECT_NE(c.At(x, row), 0u);
  EXPECT_EQ(d.At(9, row), 0xFFFFFFu);
  EXPECT_EQ(d.At(10 + ext.cx, row), 0xFFFFFFu);
  // lpDx sets each character at the distance given.
  Canvas e(100, 30), g(100, 30);
  SelectObject(e.dc, plain);
  SelectObject(g.dc, plain);
  SetBkMode(e.dc, TRANSPARENT);
  SetBkMode(g.dc, TRANSPARENT);
  const INT dx[] = {20, 20};
  ExtTextOutW(e.dc, 10, 5, 0, nullptr, "HH", 2, dx);
  TextOutW(g.dc, 10, 5, "H", 1);
  TextOutW(g.dc, 30, 5, "H", 1);
  EXPECT_EQ(e.Pixels(), g.Pixels());
  for (Canvas* k : {&c, &d, &e, &g}) SelectObject(k->dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(plain);
  DeleteObject(under);
}

TEST(WinUIText, TextOnSectionsOfEveryDepth) {
  // A monochrome font in black on white gives the same pixels at every
  // depth; each surface is read back through GetPixel.
  HFONT f = MakeFont(u"DejaVu Sans", -13, 400, NONANTIALIASED_QUALITY);
  std::vector<COLORREF> want;
  for (int bpp : {32, 24, 8, 1}) {
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi->bmiHeader.biWidth = 50;
    bi->bmiHeader.biHeight = 20;  // bottom-up
    bi->bmiHeader.biPlanes = 1;
    bi->bmiHeader.biBitCount = WORD(bpp);
    if (bpp <= 8) {
      auto* q = reinterpret_cast<RGBQUAD*>(info.data() + sizeof(BITMAPINFOHEADER));
      q[1] = RGBQUAD{255, 255, 255, 0};
      bi->bmiHeader.biClrUsed = 2;
    }
    void* bits = nullptr;
    HBITMAP bm = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(bm, nullptr) << bpp;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ ob = SelectObject(dc, bm), of = SelectObject(dc, f);
    RECT all{0, 0, 50, 20};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 3, 2, "Depth", 5);
    std::vector<COLORREF> got;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 50; ++x) got.push_back(GetPixel(dc, x, y));
    if (want.empty()) {
      want = got;
      EXPECT_NE(std::count(want.begin(), want.end(), COLORREF(0)), 0);
    } else {
      EXPECT_EQ(got, want) << bpp << " bits";
    }
    SelectObject(dc, of);
    SelectObject(dc, ob);
    DeleteDC(dc);
    DeleteObject(bm);
  }
  DeleteObject(f);
}

TEST(WinUIText, BadArgumentsFailQuietly) {
  SIZE sz;
  EXPECT_FALSE(GetTextExtentPoint32W(nullptr, "a", 1, &sz));
  EXPECT_FALSE(ExtTextOutW(nullptr, 0, 0, 0, nullptr, "a", 1, nullptr));
  TEXTMETRICW tm;
  EXPECT_FALSE(GetTextMetricsW(nullptr, &tm));
  EXPECT_EQ(GetTextAlign(nullptr), GDI_ERROR);
  Canvas c(10, 10);
  EXPECT_FALSE(GetTextExtentPoint32W(c.dc, "a", 1, nullptr));
  EXPECT_FALSE(ExtTextOutW(c.dc, 0, 0, 0, nullptr, nullptr, 3, nullptr));
  // Malformed UTF-8 and huge heights draw without harm.
  const char bad[] = "a\xFF\xC3";
  EXPECT_TRUE(ExtTextOutW(c.dc, 0, 0, 0, nullptr, bad, 3, nullptr));
  HFONT huge = MakeFont(u"DejaVu Sans", -2000000000);
  SelectObject(c.dc, huge);
  EXPECT_TRUE(TextOutW(c.dc, -5, -5, "Wide", 4));
  EXPECT_TRUE(GetTextExtentPoint32W(c.dc, "Wide", 4, &sz));
  EXPECT_GT(sz.cx, 1000);
  SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(huge);
}

// A font with an escapement turns the text counter-clockwise about the
// reference point: the ink of each quarter turn is the unturned ink turned
// the same way, the extent is still measured along the baseline, an opaque
// background fills the turned cell and the current position follows the
// turned baseline.
TEST(WinUIText, EscapementTurnsTextAboutTheReferencePoint) {
  const std::string text = "Turn Hg";
  const int x = 100, y = 100;
  HFONT flat = MakeFont(u"DejaVu Sans", -20, 400, NONANTIALIASED_QUALITY);
  Canvas c0(200, 200);
  SelectObject(c0.dc, flat);
  SetBkMode(c0.dc, TRANSPARENT);
  const SIZE ext = Extent(c0.dc, text);
  ASSERT_TRUE(TextOutW(c0.dc, x, y, text.c_str(), int(text.size())));
  const RECT ink = c0.Changed(0xFFFFFF);
  ASSERT_LT(ink.left, ink.right);
  // Offsets of the unturned ink from the reference point.
  const int l = ink.left - x, t = ink.top - y, r = ink.right - x, b = ink.bottom - y;
  struct Case {
    int esc;
    RECT want;  // the unturned box turned about (x, y)
  } cases[] = {
      {900, {x + t, y - r, x + b, y - l}},
      {1800, {x - r, y - b, x - l, y - t}},
      {2700, {x - b, y + l, x - t, y + r}},
      {-900, {x - b, y + l, x - t, y + r}},
      {4500, {x + t, y - r, x + b, y - l}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.esc);
    LOGFONTW lf{};
    GetObjectW(flat, sizeof(lf), &lf);
    lf.lfEscapement = lf.lfOrientation = k.esc;
    HFONT turned = CreateFontIndirectW(&lf);
    Canvas c(200, 200);
    SelectObject(c.dc, turned);
    SetBkMode(c.dc, TRANSPARENT);
    SIZE e = Extent(c.dc, text);
    EXPECT_EQ(e.cx, ext.cx);
    EXPECT_EQ(e.cy, ext.cy);
    ASSERT_TRUE(TextOutW(c.dc, x, y, text.c_str(), int(text.size())));
    RECT got = c.Changed(0xFFFFFF);
    EXPECT_NEAR(got.left, k.want.left, 1);
    EXPECT_NEAR(got.top, k.want.top, 1);
    EXPECT_NEAR(got.right, k.want.right, 1);
    EXPECT_NEAR(got.bottom, k.want.bottom, 1);
    // Not anti-aliased: only the text colour and the background.
    for (uint32_t px : c.Pixels()) ASSERT_TRUE(px == 0 || px == 0xFFFFFF) << std::hex << px;
    SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
    DeleteObject(turned);
  }

  // An opaque background at a quarter turn: the cell x .. x + height,
  // y - width .. y in the background colour, the ink inside it.
  LOGFONTW lf{};
  GetObjectW(flat, sizeof(lf), &lf);
  lf.lfEscapement = lf.lfOrientation = 900;
  HFONT quarter = CreateFontIndirectW(&lf);
  Canvas c(200, 200);
  SelectObject(c.dc, quarter);
  SetBkMode(c.dc, OPAQUE);
  SetBkColor(c.dc, RGB(0, 0, 255));
  SetTextAlign(c.dc, TA_UPDATECP);
  MoveToEx(c.dc, x, y, nullptr);
  ASSERT_TRUE(TextOutW(c.dc, 0, 0, text.c_str(), int(text.size())));
  RECT cell = c.Changed(0xFFFFFF);
  EXPECT_NEAR(cell.left, x, 1);
  EXPECT_NEAR(cell.right, x + ext.cy, 1);
  EXPECT_NEAR(cell.top, y - ext.cx, 1);
  EXPECT_NEAR(cell.bottom, y, 1);
  EXPECT_EQ(c.At(x + 1, y - 2), 0x0000FFu);  // blue, the low byte
  POINT cp;
  GetCurrentPositionEx(c.dc, &cp);
  EXPECT_EQ(cp.x, x);
  EXPECT_EQ(cp.y, y - ext.cx);
  SelectObject(c.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(quarter);
  SelectObject(c0.dc, GetStockObject(SYSTEM_FONT));
  DeleteObject(flat);
}

}  // namespace
