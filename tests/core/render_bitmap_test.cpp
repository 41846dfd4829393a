// RenderToTVXBitmap: clipping, update rectangles, tables, weights, refused
// destinations, and every format at several zooms against a per-pixel
// reference of the drawing rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/mask.h"
#include "core/settings.h"
#include "render_test_util.h"

using namespace render_test;

namespace {

// A source whose pixel (x, y) is RGB(x, y, 7): easy to read back.
std::unique_ptr<TVXBitmap> Coords(int w, int h) {
  auto s = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s->SetPixels_vx24RGB(x, y, RGB(x, y, 7));
  return s;
}

TEST(RenderClip, OriginsAndOverhangs) {
  struct Case {
    const char* what;
    int srcW, srcH, dstW, dstH;
    RenderArgs a;
    std::vector<std::pair<std::pair<int, int>, std::pair<int, int>>> probes;  // destination pixel -> source pixel
  };
  auto args = [](int x, int y, int dx, int dy, int sx, int sy, int sdx, int sdy) {
    RenderArgs a;
    a.xDst = x, a.yDst = y, a.dxDst = dx, a.dyDst = dy, a.xSrc = sx, a.ySrc = sy, a.dxSrc = sdx, a.dySrc = sdy;
    return a;
  };
  const std::vector<Case> cases = {
      // Ratio 2 (shrinking): ten rows and columns dropped, the source moves by Round(10 * 2).
      {"negative origin at ratio 2", 80, 80, 30, 30, args(-10, -10, 40, 40, 0, 0, 80, 80),
       {{{0, 0}, {20, 20}}, {{3, 4}, {26, 28}}, {{29, 29}, {78, 78}}}},
      // Enlarging by 2: Round(5 * 0.5) = 2 (halves to even).
      {"negative origin enlarging", 10, 10, 30, 30, args(-5, -3, 20, 20, 0, 0, 10, 10),
       {{{0, 0}, {2, 2}}, {{1, 0}, {2, 2}}, {{2, 0}, {3, 2}}, {{0, 1}, {2, 2}}, {{0, 2}, {2, 3}}}},
      // Overhanging the right edge by 5 columns at 1:1: the copied segment is cut.
      {"overhang at 1:1", 10, 4, 30, 4, args(25, 0, 10, 4, 0, 0, 10, 4), {{{25, 0}, {0, 0}}, {{29, 3}, {4, 3}}}},
      {"overhang enlarging", 10, 4, 30, 8, args(25, 0, 20, 8, 0, 0, 10, 4), {{{25, 0}, {0, 0}}, {{28, 7}, {1, 3}}, {{29, 0}, {2, 0}}}},
  };
  for (const Case& c : cases) {
    auto s = Coords(c.srcW, c.srcH);
    auto d = Canvas(c.dstW, c.dstH, RGB(250, 250, 250));
    Render(*s, *d, c.a);
    for (auto& [dp, sp] : c.probes)
      EXPECT_EQ(d->Pixels_vx24RGB(dp.first, dp.second), RGB(sp.first, sp.second, 7))
          << c.what << " at " << dp.first << "," << dp.second;
  }
}

TEST(RenderClip, NothingIsDrawn) {
  const TRect inverted{5, 0, 4, 9};
  struct Case {
    const char* what;
    int x, y, dx, dy, sdx, sdy;
    const TRect* upd;
  };
  const std::vector<Case> cases = {
      {"update rectangle with Right < Left", 0, 0, 8, 8, 4, 4, &inverted},
      {"negative destination width", 0, 0, -8, 8, 4, 4, nullptr},
      {"negative source height", 0, 0, 8, 8, 4, -4, nullptr},
      {"zero size", 0, 0, 0, 8, 4, 4, nullptr},
      {"origin beyond the destination", 10, 0, 8, 8, 4, 4, nullptr},
      {"rectangle left of the destination", -20, 0, 8, 8, 4, 4, nullptr},
  };
  for (const Case& c : cases) {
    auto s = Coords(4, 4);
    auto d = Canvas(10, 10, RGB(250, 250, 250));
    RenderArgs a;
    a.xDst = c.x, a.yDst = c.y, a.dxDst = c.dx, a.dyDst = c.dy, a.dxSrc = c.sdx, a.dySrc = c.sdy, a.Upd = c.upd;
    Render(*s, *d, a);
    auto clean = Canvas(10, 10, RGB(250, 250, 250));
    EXPECT_TRUE(SameRows(*d, *clean)) << c.what;
  }
}

TEST(RenderClip, UpdateRectangleLimitsTheArea) {
  auto s = Coords(4, 4);
  auto d = Canvas(8, 8, RGB(250, 250, 250));
  const TRect upd{2, 3, 4, 5};
  RenderArgs a = Whole(*s, 0, 0, 8, 8);
  a.Upd = &upd;
  Render(*s, *d, a);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x <= 4 && y >= 3 && y <= 5;
      EXPECT_EQ(d->Pixels_vx24RGB(x, y), inside ? RGB(x / 2, y / 2, 7) : RGB(250, 250, 250)) << x << "," << y;
    }
}

// The three weight cases: Transparency 128; Opacity 0.5; alpha 200 with
// Opacity 0.5. A white source over black shows weight w as w - 1.
TEST(RenderWeights, TransparencyOpacityAndAlpha) {
  struct Case {
    int transparency;
    double opacity;
    int alpha;  // -1: no alpha channel
    bool full;
    int weight;
  };
  const std::vector<Case> cases = {
      {128, 1, -1, false, 128}, {255, 0.5, -1, false, 127}, {255, 0.5, 200, false, 100},
      {255, 1, 0, true, 255},  // a Full channel is ignored, whatever it holds
  };
  for (const Case& c : cases) {
    auto s = Canvas(2, 2, RGB(255, 255, 255));
    if (c.alpha >= 0) {
      s->AlphaChannel()->Fill(c.alpha);
      s->AlphaChannel()->SetFull(c.full);
    }
    auto d = Canvas(2, 2, RGB(0, 0, 0));
    RenderArgs a = Whole(*s, 0, 0, 2, 2);
    a.Transparency = c.transparency;
    a.Opacity = c.opacity;
    Render(*s, *d, a);
    EXPECT_EQ(d->Pixels_vx24RGB(1, 1).r, c.full ? 255 : c.weight - 1) << c.transparency << " " << c.opacity;
  }
}

TEST(RenderTables, CallersTablesAndHandedBackTables) {
  auto s = Coords(4, 3);
  // A caller's column table: entries outside the source (anywhere, and
  // trailing) leave their columns untouched.
  int32_t cols[6] = {3, -1, 2, 4, 1, 9};
  int32_t rows[3] = {2, 0, 7};
  int32_t* xl = cols;
  int32_t* yl = rows;
  uint8_t** rp = nullptr;
  auto d = Canvas(6, 3, RGB(250, 250, 250));
  s->RenderToTVXBitmap(d.get(), rp, xl, yl, nullptr, 0, 0, 6, 3, 0, 0, 4, 3, false, false, 255, rfNone, true,
                       vxlNormal, 1);
  EXPECT_EQ(xl, cols);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool drawn = cols[x] >= 0 && cols[x] < 4 && rows[y] >= 0 && rows[y] < 3;
      EXPECT_EQ(d->Pixels_vx24RGB(x, y), drawn ? RGB(cols[x], rows[y], 7) : RGB(250, 250, 250)) << x << "," << y;
    }

  // Own tables handed back give the same bytes on a second paint.
  auto s2 = Pattern(5, 4, vx8g);
  uint8_t** rows2 = nullptr;
  int32_t* x2 = nullptr;
  int32_t* y2 = nullptr;
  auto first = Canvas(12, 9), second = Canvas(12, 9);
  s2->RenderToTVXBitmap(first.get(), rows2, x2, y2, nullptr, 1, 2, 11, 7, 0, 0, 5, 4, true, false, 255, rfNone, false,
                        vxlNormal, 1);
  ASSERT_NE(x2, nullptr);
  ASSERT_NE(y2, nullptr);
  ASSERT_NE(rows2, nullptr);
  uint8_t** keepRows = rows2;
  s2->RenderToTVXBitmap(second.get(), rows2, x2, y2, nullptr, 1, 2, 11, 7, 0, 0, 5, 4, true, false, 255, rfNone,
                        false, vxlNormal, 1);
  EXPECT_EQ(rows2, keepRows);
  // The handed-back row addresses are those of the first destination.
  EXPECT_EQ(rows2[0], static_cast<uint8_t*>(first->ScanLine(0)));
  auto reference = Canvas(12, 9);
  Render(*s2, *reference, Whole(*s2, 1, 2, 11, 7));
  EXPECT_TRUE(SameRows(*first, *reference));
  delete[] rows2;
  delete[] x2;
  delete[] y2;
}

// A 24-bit 20 x 20 bitmap whose rows are kept in a file (a bitmap takes the
// file threshold when it is made).
std::unique_ptr<TVXBitmap> KeptInAFile() {
  auto* settings = VXGetGlobalSettings();
  const int64_t saved = settings->DefMinFileSize();
  settings->SetDefMinFileSize(16);
  auto b = std::make_unique<TVXBitmap>();
  b->Allocate(20, 20, vx24RGB);
  settings->SetDefMinFileSize(saved);
  return b;
}

TEST(RenderDestination, RefusedDestinationsAndAccessMode) {
  auto s = Coords(2, 2);
  s->SetAccess(vxdWrite);
  TVXBitmap grey(4, 4, vx8g);
  EXPECT_THROW(Render(*s, grey, Whole(*s, 0, 0, 2, 2)), EVXException);
  EXPECT_EQ(s->Access(), vxdWrite);
  auto kept = KeptInAFile();
  TVXBitmap& filed = *kept;
  ASSERT_EQ(filed.Location(), vxFile);
  EXPECT_THROW(Render(*s, filed, Whole(*s, 0, 0, 2, 2)), EVXException);
  EXPECT_EQ(s->Access(), vxdWrite);
  auto ok = Canvas(2, 2);
  Render(*s, *ok, Whole(*s, 0, 0, 2, 2));
  EXPECT_EQ(s->Access(), vxdWrite);
}

// RenderToTVXBitmap and StretchRectTo refuse the same destinations with the
// same messages, each under its own name; an empty one is nothing to draw.
TEST(RenderDestination, RenderAndStretchRefuseTheSameDestinations) {
  auto raised = [](const std::function<void()>& Draw) -> std::string {
    try {
      Draw();
    } catch (const EVXException& e) {
      return e.what();
    }
    return "";
  };
  auto render = [](TVXBitmap* Source, TVXBitmap* Dest) {
    uint8_t** rows = nullptr;
    int32_t *xl = nullptr, *yl = nullptr;
    Source->RenderToTVXBitmap(Dest, rows, xl, yl, nullptr, 0, 0, 2, 2, 0, 0, 2, 2, false, false, 255, rfNone, true,
                              vxlNormal, 1);
  };
  auto stretch = [](TVXBitmap* Source, TVXBitmap* Dest) { Source->StretchRectTo(Dest, 0, 0, 2, 2, 0, 0, 2, 2, rfNone, 255, 1); };
  auto s = Coords(2, 2);
  TVXBitmap empty, emptySource, grey(4, 4, vx8g);
  auto kept = KeptInAFile();
  TVXBitmap& filed = *kept;
  ASSERT_EQ(filed.Location(), vxFile);
  struct Case {
    TVXBitmap* Source;
    TVXBitmap* Dest;
    std::string Render, Stretch;
  } cases[] = {
      {s.get(), nullptr, "RenderToTVXBitmap: no destination bitmap", "StretchRectTo: no destination bitmap"},
      {s.get(), &empty, "", ""},
      {s.get(), &grey, "RenderToTVXBitmap: the destination must be a 24-bit RGB bitmap",
       "StretchRectTo: the destination must be a 24-bit RGB bitmap"},
      {s.get(), &filed, "RenderToTVXBitmap: the destination keeps its rows in a file; it must be held in memory",
       "StretchRectTo: the destination keeps its rows in a file; it must be held in memory"},
      // An empty source is nothing to stretch whatever the destination.
      {&emptySource, &grey, "RenderToTVXBitmap: the destination must be a 24-bit RGB bitmap", ""},
      {&emptySource, nullptr, "RenderToTVXBitmap: no destination bitmap", "StretchRectTo: no destination bitmap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Render + " / " + c.Stretch);
    EXPECT_EQ(raised([&] { render(c.Source, c.Dest); }), c.Render);
    EXPECT_EQ(raised([&] { stretch(c.Source, c.Dest); }), c.Stretch);
  }
}

TEST(RenderLevels, ChannelOffsetAccessors) {
  TVXBitmap b;
  b.SetEnableChannelOffset(true);
  b.SetChannelOffset(5, 10);
  EXPECT_FALSE(b.EnableChannelOffset());  // recomputed from the four entries
  for (int i = -1; i <= 4; ++i) EXPECT_EQ(b.ChannelOffset(i), 0);
  b.SetChannelOffset(3, 1);
  EXPECT_TRUE(b.EnableChannelOffset());
}

// ---------------------------------------------------------------------------
// Every format against a per-pixel reference of the drawing rules.

uint8_t Stretch(double v, double black, double white, double range) {
  const double b = std::trunc(black), t = std::trunc(white);
  v = v <= b ? b : (v >= t ? t : v);
  return uint8_t(std::clamp(std::trunc((v - b) / (white - black) * range), 0.0, range) / (range == 255 ? 1 : 257.0));
}

// The colour the reference draws for source pixel (sx, sy) over D.
TRGB RefColour(TVXBitmap& s, int sx, int sy, int row, TRGB D, TVXRenderOperation op, bool weighted) {
  const bool bw = s.WhiteValue() != s.BlackValue();
  const bool inside = !s.HasAdjustmentsMask() || s.AdjustmentsMask()->IsPointInside(sx, sy);
  const int64_t F = int64_t((s.Contrast() >= 0 ? s.Contrast() / 10.0 + 1 : 1 - std::sqrt(-s.Contrast()) / 10) * 65536);
  auto adj = [&](int c, int off) { return uint8_t(std::clamp<int64_t>((int64_t(c + off - 128) * F) / 65536 + 128, 0, 255)); };
  auto lv = [&](int v) { return bw && inside ? uint8_t(std::trunc(std::clamp(std::trunc((std::clamp<double>(v, std::trunc(s.BlackValue()), std::trunc(s.WhiteValue())) - std::trunc(s.BlackValue())) / (s.WhiteValue() - s.BlackValue()) * 255), 0.0, 255.0))) : uint8_t(v); };
  const bool active = s.EnableChannelOffset() || s.Contrast() != 0 || op != vxlNormal;
  switch (s.PixelFormat()) {
    case vx24RGB:
    case vx32RGB: {
      const TRGB p = s.PixelFormat() == vx24RGB ? s.Pixels_vx24RGB(sx, sy) : [&] {
        const TRGBA q = s.Pixels_vx32RGB(sx, sy);
        return TRGB{q.b, q.g, q.r};
      }();
      const bool mask = s.PixelFormat() == vx24RGB;
      const bool bwHere = mask && !weighted && bw;
      if ((!active && !bwHere) || (mask && !inside)) return p;
      TRGB c{adj(p.b, s.ChannelOffset(2)), adj(p.g, s.ChannelOffset(1)), adj(p.r, s.ChannelOffset(0))};
      if (bwHere) c = TRGB{lv(c.b), lv(c.g), lv(c.r)};
      VXBlendPixels(&c, &D, op, row);
      return D;
    }
    case vx1g: return s.Pixels_vx1g(sx, sy) ? RGB(255, 255, 255) : RGB(0, 0, 0);
    case vx8g: {
      const uint8_t v = lv(s.Pixels_vx8(sx, sy));
      return TRGB{v, v, v};
    }
    case vx8p: return s.Palette(s.Pixels_vx8(sx, sy));
    case vx16g: {
      const int v = s.Pixels_vx16g(sx, sy);
      const uint8_t g = bw && inside ? Stretch(v, s.BlackValue(), s.WhiteValue(), 255) : uint8_t(v >> 8);
      return TRGB{g, g, g};
    }
    case vx32f: {
      double v = s.Pixels_vx32f(sx, sy);
      uint8_t g = VXFloatToByte(float(v));
      if (bw && inside) {
        v = v <= s.BlackValue() ? s.BlackValue() : (v >= s.WhiteValue() ? s.WhiteValue() : v);
        g = uint8_t(std::clamp(std::trunc((v - s.BlackValue()) / (s.WhiteValue() - s.BlackValue()) * 255), 0.0, 255.0));
      }
      return TRGB{g, g, g};
    }
    case vxCMYK: {
      const TCMYK c = s.Pixels_vxCMYK(sx, sy);
      return TRGB{uint8_t(c.y * c.k / 255), uint8_t(c.m * c.k / 255), uint8_t(c.c * c.k / 255)};
    }
    case vxCIELab: return VXCIELab2RGB(s.Pixels_vxCIELab(sx, sy));
    case vx48RGB: {
      const TRGB48 p = s.Pixels_vx48RGB(sx, sy);
      if (!(active || (!weighted && bw)) || !inside) return TRGB{uint8_t(p.b >> 8), uint8_t(p.g >> 8), uint8_t(p.r >> 8)};
      const double f = s.Contrast() >= 0 ? s.Contrast() / 10.0 + 1 : 1 - std::sqrt(-s.Contrast()) / 10;
      auto ch = [&](int v, int off) {
        if (!weighted && bw) {
          const double b = std::trunc(s.BlackValue()), t = std::trunc(s.WhiteValue());
          const double c = v <= b ? b : (v >= t ? t : v);
          v = int(std::clamp(std::trunc((c - b) / (s.WhiteValue() - s.BlackValue()) * 65535), 0.0, 65535.0));
        }
        return uint8_t(std::clamp<int64_t>(int64_t((v + off - 32768) * f + 32768) >> 8, 0, 255));
      };
      TRGB c{ch(p.b, s.ChannelOffset(2)), ch(p.g, s.ChannelOffset(1)), ch(p.r, s.ChannelOffset(0))};
      VXBlendPixels(&c, &D, op, row);
      return D;
    }
    default: return D;
  }
}

// The whole drawing rule, clipping included, one pixel at a time.
void RefRender(TVXBitmap& s, TVXBitmap& d, const RenderArgs& a0) {
  RenderArgs a = a0;
  const int DW = d.Width(), DH = d.Height(), SW = s.Width(), SH = s.Height();
  if (!a.dxDst || !a.dyDst || !a.dxSrc || !a.dySrc || a.yDst > DH - 1 || a.xDst > DW - 1) return;
  const double ry = double(a.dySrc) / a.dyDst, rx = double(a.dxSrc) / a.dxDst;
  if (a.yDst < 0) {
    const int k = -a.yDst, r = int(std::nearbyint(k * ry));
    a.dyDst -= k, a.ySrc += r, a.dySrc -= r, a.yDst = 0;
  }
  if (a.xDst < 0) {
    const int k = -a.xDst, r = int(std::nearbyint(k * rx));
    a.dxDst -= k, a.xSrc += r, a.dxSrc -= r, a.xDst = 0;
  }
  if (a.yDst + a.dyDst > DH) a.dySrc -= int((a.yDst + a.dyDst - DH) * ry), a.dyDst = DH - a.yDst;
  if (a.xDst + a.dxDst > DW) a.dxSrc -= int((a.xDst + a.dxDst - DW) * rx), a.dxDst = DW - a.xDst;
  auto cl = [](int v, int hi) { return std::max(std::min(v, hi), 0); };
  a.xSrc = cl(a.xSrc, SW - 1), a.ySrc = cl(a.ySrc, SH - 1), a.dxSrc = cl(a.dxSrc, SW), a.dySrc = cl(a.dySrc, SH);
  a.dxDst = cl(a.dxDst, DW), a.dyDst = cl(a.dyDst, DH);
  if (!a.dxDst || !a.dyDst || !a.dxSrc || !a.dySrc) return;
  int x1 = a.xDst, x2 = std::min(a.xDst + a.dxDst - 1, DW - 1), y1 = a.yDst, y2 = std::min(a.yDst + a.dyDst - 1, DH - 1);
  if (a.Upd) {
    x1 = std::max(a.Upd->Left, x1), x2 = std::min(a.Upd->Right, x2);
    y1 = std::max(a.Upd->Top, y1), y2 = std::min(a.Upd->Bottom, y2);
  }
  x1 = cl(x1, DW - 1), x2 = cl(x2, DW - 1), y1 = cl(y1, DH - 1), y2 = cl(y2, DH - 1);
  const bool useAlpha = a.EnableAlpha && s.HasAlphaChannel() && !s.AlphaChannelOpt()->Full();
  const bool weighted = a.Transparency < 255 || a.Opacity < 1 || useAlpha;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int sx = cl(int((x - a.xDst) * rx + a.xSrc), SW - 1), sy = cl(int((y - a.yDst) * ry + a.ySrc), SH - 1);
      const TRGB D = d.Pixels_vx24RGB(x, y);
      const TRGB C = RefColour(s, sx, sy, y, D, a.Op, weighted);
      if (!weighted) {
        d.SetPixels_vx24RGB(x, y, C);
        continue;
      }
      const int alpha = useAlpha ? s.AlphaChannelOpt()->Pixels_vx8(sx, sy) : 255;
      const int w = std::clamp(int(std::min(a.Transparency, alpha) * a.Opacity), 0, 255);
      auto mix = [&](int dv, int cv) { return uint8_t(dv + int(std::floor((cv - dv) * w / 256.0))); };
      d.SetPixels_vx24RGB(x, y, TRGB{mix(D.b, C.b), mix(D.g, C.g), mix(D.r, C.r)});
    }
}

TEST(RenderReference, EveryFormatAtFourZooms) {
  const TVXPixelFormat formats[] = {vx1g, vx8p, vx8g, vx16g, vx24RGB, vx32f, vxCMYK, vx48RGB, vxCIELab, vx32RGB};
  const TRect upd{3, 2, 17, 15};
  struct Variant {
    const char* what;
    int xDst, yDst, xSrc, ySrc;
    bool upd;
    int transparency;
    double opacity;
    bool alpha, levels;
    TVXRenderOperation op;
  };
  const Variant variants[] = {
      {"plain", 1, 2, 0, 0, false, 255, 1, false, false, vxlNormal},
      {"negative origin", -3, -2, 1, 1, false, 255, 1, false, false, vxlNormal},
      {"update rectangle", 0, 0, 2, 1, true, 255, 1, false, false, vxlNormal},
      {"weights", 2, 1, 0, 0, false, 180, 0.7, true, false, vxlNormal},
      {"levels and operation", -1, 0, 0, 0, false, 255, 1, false, true, vxlScreen},
      {"levels, weighted", 0, -1, 1, 0, true, 200, 1, true, true, vxlMul},
  };
  const bool savedProfile = VXGetGlobalSettings()->ApplyColorProfileOnRendering();
  VXGetGlobalSettings()->SetApplyColorProfileOnRendering(false);
  for (TVXPixelFormat f : formats) {
    auto s = Pattern(9, 7, f);
    for (const Variant& v : variants) {
      if (v.alpha) {
        for (int y = 0; y < 7; ++y)
          for (int x = 0; x < 9; ++x) s->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(40 + x * 20 + y * 3));
        s->AlphaChannel()->SetFull(false);
      }
      if (v.levels) {
        s->SetContrast(7);
        s->SetChannelOffset(0, 12);
        s->SetChannelOffset(2, -30);
        const bool wide = f == vx16g || f == vx48RGB;
        s->SetBlackValue(wide ? 9000 : (f == vx32f ? 0.2 : 35));
        s->SetWhiteValue(wide ? 50000 : (f == vx32f ? 0.7 : 210.5));
        s->AdjustmentsMask()->AllocateBits(9, 7, 8);
        for (int y = 0; y < 7; ++y)
          for (int x = 0; x < 5; ++x) s->AdjustmentsMask()->SetPixel(x, y, 255);
      }
      for (double zoom : {0.5, 1.0, 2.0, 3.0}) {
        RenderArgs a;
        a.xDst = v.xDst, a.yDst = v.yDst, a.xSrc = v.xSrc, a.ySrc = v.ySrc;
        a.dxSrc = 9 - v.xSrc, a.dySrc = 7 - v.ySrc;
        a.dxDst = int(a.dxSrc * zoom), a.dyDst = int(a.dySrc * zoom);
        a.Upd = v.upd ? &upd : nullptr;
        a.Transparency = v.transparency, a.Opacity = v.opacity, a.Op = v.op;
        auto got = Pattern(20, 18, vx24RGB), want = Pattern(20, 18, vx24RGB);
        Render(*s, *got, a);
        RefRender(*s, *want, a);
        bool same = true;
        for (int y = 0; y < 18 && same; ++y)
          for (int x = 0; x < 20 && same; ++x)
            if (got->Pixels_vx24RGB(x, y) != want->Pixels_vx24RGB(x, y)) {
              same = false;
              ADD_FAILURE() << "format " << int(f) << ", " << v.what << ", zoom " << zoom << ": first difference at "
                            << x << "," << y;
            }
      }
      s->RemoveAlphaChannel(false, 0);
      s->SetContrast(0);
      for (int i = 0; i < 4; ++i) s->SetChannelOffset(i, 0);
      s->SetBlackValue(0);
      s->SetWhiteValue(0);
      if (s->HasAdjustmentsMask()) s->AdjustmentsMask()->AllocateBits(9, 7, 8), s->AdjustmentsMask()->Fill(255);
    }
  }
  VXGetGlobalSettings()->SetApplyColorProfileOnRendering(savedProfile);
}

}  // namespace
