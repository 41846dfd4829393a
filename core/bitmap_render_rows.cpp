// The per-format row renderers of TVXBitmap: each draws the clipped area that
// RenderToTVXBitmap chose into the rows of a vx24RGB destination, applying the
// display levels its format supports, the render operation and, in the
// weighting members, the per-pixel weight.

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/cmyk.h"
#include "core/icc.h"
#include "core/mask.h"
#include "core/render_internal.h"
#include "core/settings.h"

using namespace vxrender;

namespace {

constexpr int32_t kOne = 16384;  // ratio 1:1 with 14 fractional bits

struct Area {
  uint8_t** Rows;
  TVXBitmap* Dest;
  const int32_t* XLUT;
  const int32_t* YLUT;
  int32_t x1, y1, x2, y2;
  bool Solid;
};

// The per-pixel weight Trunc(Min(Transparency, alpha) * Opacity) for every
// alpha value, and where the alpha of a source row comes from.
struct Weights {
  uint8_t Table[256];
  TVXBitmap* Alpha = nullptr;
  const uint8_t* AlphaRow = nullptr;

  Weights(TVXBitmap* Source, int32_t Transparency, bool UseAlpha, const uint8_t* Row, double Opacity) {
    for (int32_t a = 0; a < 256; ++a) {
      const double w = double(std::min(Transparency, a)) * Opacity;
      Table[a] = w >= 255 ? 255 : (w > 0 ? uint8_t(int32_t(w)) : 0);
    }
    if (UseAlpha) Alpha = Source->AlphaChannelOpt();
    AlphaRow = Row;
  }
  // The alpha bytes of source row sy, indexed by source column; nullptr
  // means full weight (a weighting call that has neither).
  const uint8_t* RowOf(int32_t sy) const {
    if (Alpha) return static_cast<const uint8_t*>(Alpha->GetScanLine(sy));
    return AlphaRow;
  }
  int32_t At(const uint8_t* row, int32_t sx) const { return Table[row ? row[sx] : 255]; }
};

// The display levels of a source as the 8-bit renderers use them.
struct Levels {
  bool Offsets = false;
  bool Contrasted = false;
  bool BlackWhite = false;
  int32_t Off[3] = {0, 0, 0};
  int64_t F = 65536;
  const TVXMask* Mask = nullptr;
  double Black = 0, White = 0, Diff = 0;
  int32_t b = 0, t = 0;
  uint8_t BWTable[256];

  explicit Levels(TVXBitmap* Source) {
    Offsets = Source->EnableChannelOffset();
    if (Offsets)
      for (int i = 0; i < 3; ++i) Off[i] = Source->ChannelOffset(i);
    Contrasted = Source->Contrast() != 0;
    F = ContrastFactor16(Source->Contrast());
    Black = Source->BlackValue();
    White = Source->WhiteValue();
    Diff = White - Black;
    BlackWhite = Diff != 0;
    b = int32_t(Black);
    t = int32_t(White);
    if (BlackWhite)
      for (int32_t v = 0; v < 256; ++v) BWTable[v] = Stretch(v, 255);
    if (Source->HasAdjustmentsMask()) Mask = Source->AdjustmentsMask();
  }
  // Trunc((Clamp(v, b, t) - b) / Diff * Range), kept inside 0..Range.
  int32_t Stretch(int32_t v, int32_t Range) const {
    const int32_t c = v <= b ? b : (v >= t ? t : v);
    const double r = double(c - b) / Diff * Range;
    return r >= Range ? Range : (r > 0 ? int32_t(r) : 0);
  }
  bool Inside(int32_t sx, int32_t sy) const { return !Mask || Mask->IsPointInside(sx, sy); }
  // Contrast and channel offsets of a blue-green-red pixel.
  TRGB Adjust(const uint8_t* p) const {
    return TRGB{AdjustChannel(p[0], Off[2], F), AdjustChannel(p[1], Off[1], F), AdjustChannel(p[2], Off[0], F)};
  }
  TRGB Adjust(const TRGB& p) const {
    return TRGB{AdjustChannel(p.b, Off[2], F), AdjustChannel(p.g, Off[1], F), AdjustChannel(p.r, Off[0], F)};
  }
  void ApplyBlackWhite(TRGB& p) const {
    p.b = BWTable[p.b];
    p.g = BWTable[p.g];
    p.r = BWTable[p.r];
  }
};

inline void Put(uint8_t* d, uint8_t v) { d[0] = d[1] = d[2] = v; }
inline void Put(uint8_t* d, const TRGB& c) {
  d[0] = c.b;
  d[1] = c.g;
  d[2] = c.r;
}
inline TRGB Get(const uint8_t* p) { return TRGB{p[0], p[1], p[2]}; }
inline TRGB Grey(uint8_t v) { return TRGB{v, v, v}; }

// Runs Pixel(sourceRow, sx, sy, y, dest, weight) over the area. With
// Duplicate and a solid background, a destination row showing the same source
// row as the row above is copied from it instead. Weight is 0 without wt.
template <class PixelFn>
void EachPixel(TVXBitmap* Source, const Area& a, bool Duplicate, const Weights* wt, PixelFn&& Pixel) {
  int32_t prev = INT32_MIN;
  const size_t rowLen = size_t(a.Dest->RowLen());
  for (int32_t y = a.y1; y <= a.y2; ++y) {
    const int32_t sy = a.YLUT[y - a.y1];
    uint8_t* d = a.Rows[y];
    if (Duplicate && a.Solid && sy == prev) {
      std::memcpy(d, a.Rows[y - 1], rowLen);
      continue;
    }
    prev = sy;
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(sy));
    if (!s) continue;
    const uint8_t* arow = wt ? wt->RowOf(sy) : nullptr;
    const int32_t* xl = a.XLUT - a.x1;
    for (int32_t x = a.x1; x <= a.x2; ++x) {
      const int32_t sx = xl[x];
      Pixel(s, sx, sy, y, d + 3 * size_t(x), wt ? wt->At(arow, sx) : 0);
    }
  }
}

inline uint8_t Bit(const uint8_t* s, int32_t sx) { return (s[sx >> 3] >> (7 - (sx & 7))) & 1 ? 255 : 0; }

inline uint8_t FloatLevel(float f, const Levels& lv, bool inside) {
  if (!lv.BlackWhite || !inside) return VXFloatToByte(f);
  double v = f;
  if (v <= lv.Black) v = lv.Black;
  else if (v >= lv.White) v = lv.White;
  const double r = (v - lv.Black) / lv.Diff * 255;
  return r >= 255 ? 255 : (r > 0 ? uint8_t(int32_t(r)) : 0);
}

inline uint16_t Word(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// The 48-bit levels: black and white points to 0..65535, then offsets and the
// unscaled contrast factor on the word, shifted down to a byte.
struct Levels48 {
  const Levels& lv;
  double F;
  explicit Levels48(const Levels& l, int32_t Contrast) : lv(l), F(ContrastFactor(Contrast)) {}
  uint8_t Channel(int32_t v, int32_t off, bool bw) const {
    if (bw && lv.BlackWhite) v = lv.Stretch(v, 65535);
    return Clamp255(int64_t((v + off - 32768) * F + 32768) >> 8);
  }
  TRGB Adjust(const uint8_t* p, bool bw) const {
    return TRGB{Channel(Word(p + 4), lv.Off[2], bw), Channel(Word(p + 2), lv.Off[1], bw), Channel(Word(p), lv.Off[0], bw)};
  }
};

inline TRGB Plain48(const uint8_t* p) {
  return TRGB{uint8_t(Word(p + 4) >> 8), uint8_t(Word(p + 2) >> 8), uint8_t(Word(p) >> 8)};
}

// CMYK rows: the looked-up pixels gathered, then converted into the
// destination through the bitmap's profile or by the plain formula.
void CMYKRows(TVXBitmap* Source, const Area& a, const Weights* wt) {
  const int32_t n = a.x2 - a.x1 + 1;
  if (n <= 0) return;
  TVXICC* profile = Source->ColorProfile();
  bool profiled = VXGetGlobalSettings()->ApplyColorProfileOnRendering() && profile && profile->IsValid() &&
                  profile->InitTransform(Source->RenderColorProfile(), vxcmsCMYK, vxcmsBGR, 0, 0);
  std::vector<uint8_t> row(size_t(n) * 4);
  std::vector<int32_t> weights(wt ? size_t(n) : 0);
  for (int32_t y = a.y1; y <= a.y2; ++y) {
    const int32_t sy = a.YLUT[y - a.y1];
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(sy));
    if (!s) continue;
    for (int32_t i = 0; i < n; ++i) std::memcpy(&row[size_t(i) * 4], s + 4 * size_t(a.XLUT[i]), 4);
    if (wt) {
      const uint8_t* arow = wt->RowOf(sy);
      for (int32_t i = 0; i < n; ++i) weights[size_t(i)] = wt->At(arow, a.XLUT[i]) * 1024;
    }
    uint8_t* d = a.Rows[y] + 3 * size_t(a.x1);
    const int32_t* w = wt ? weights.data() : nullptr;
    if (profiled)
      VXCMYKRowToBGRProfiled(row.data(), d, n, w, profile);
    else
      VXCMYKRowToBGRPlain(row.data(), d, n, w);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// 24-bit RGB

void TVXBitmap::RenderRowsRGB24(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                int32_t xSrc, int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1,
                                int32_t x2, int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                                TVXRenderOperation RenderOperation) {
  if (IsVirtual()) {
    RenderRowsVirtual(DestRows, Dest, XLUT, YLUT, xSrc, ySrc, xDst, yDst, x1, y1, x2, y2, xRatio, yRatio,
                      SolidBackground, RenderOperation);
    return;
  }
  const Levels lv(this);
  const Area a{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground};
  if (lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal || lv.BlackWhite) {
    EachPixel(this, a, !lv.BlackWhite, nullptr, [&](const uint8_t* s, int32_t sx, int32_t sy, int32_t y, uint8_t* d, int32_t) {
      const uint8_t* p = s + 3 * size_t(sx);
      if (!lv.Inside(sx, sy)) {
        std::memcpy(d, p, 3);
        return;
      }
      TRGB c = lv.Adjust(p);
      if (lv.BlackWhite) lv.ApplyBlackWhite(c);
      VXBlendPixels(&c, reinterpret_cast<TRGB*>(d), RenderOperation, y);
    });
  } else if (xRatio == kOne && yRatio == kOne) {
    const size_t bytes = size_t(x2 - x1 + 1) * 3;
    for (int32_t y = y1; y <= y2; ++y) {
      const uint8_t* s = static_cast<const uint8_t*>(GetScanLine(y - yDst + ySrc));
      if (!s) continue;
      std::memcpy(DestRows[y] + 3 * size_t(x1), s + 3 * size_t(x1 - xDst + xSrc), bytes);
    }
  } else {
    // Nearest pixels moved as 4-byte words: each word's fourth byte lands on
    // the next pixel, which is written after it; the row's last pixel, and a
    // source pixel at the end of its row, move as 3 bytes.
    const int32_t lastSrc = Width() - 1;
    int32_t prev = INT32_MIN;
    const size_t rowLen = size_t(Dest->RowLen());
    const int32_t* xl = XLUT - x1;
    for (int32_t y = y1; y <= y2; ++y) {
      const int32_t sy = YLUT[y - y1];
      uint8_t* d = DestRows[y];
      if (SolidBackground && sy == prev) {
        std::memcpy(d, DestRows[y - 1], rowLen);
        continue;
      }
      prev = sy;
      const uint8_t* s = static_cast<const uint8_t*>(GetScanLine(sy));
      if (!s) continue;
      for (int32_t x = x1; x < x2; ++x) {
        const int32_t sx = xl[x];
        if (sx < lastSrc) {
          uint32_t v;
          std::memcpy(&v, s + 3 * size_t(sx), 4);
          std::memcpy(d + 3 * size_t(x), &v, 4);
        } else {
          std::memcpy(d + 3 * size_t(x), s + 3 * size_t(sx), 3);
        }
      }
      if (x1 <= x2) std::memcpy(d + 3 * size_t(x2), s + 3 * size_t(xl[x2]), 3);
    }
  }
}

void TVXBitmap::BlendRowsRGB24(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                               const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t xSrc,
                               int32_t ySrc, int32_t xDst, int32_t yDst, int32_t x1, int32_t y1, int32_t x2,
                               int32_t y2, int32_t xRatio, int32_t yRatio, bool SolidBackground,
                               TVXRenderOperation RenderOperation, double Opacity) {
  if (IsVirtual()) {
    BlendRowsVirtual(DestRows, Dest, Transparency, UseAlpha, AlphaRow, XLUT, YLUT, xSrc, ySrc, xDst, yDst, x1, y1, x2,
                     y2, xRatio, yRatio, SolidBackground, RenderOperation, Opacity);
    return;
  }
  const Levels lv(this);
  const Weights wt(this, Transparency, UseAlpha, AlphaRow, Opacity);
  const Area a{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground};
  if (lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal) {
    EachPixel(this, a, true, &wt, [&](const uint8_t* s, int32_t sx, int32_t sy, int32_t y, uint8_t* d, int32_t w) {
      const uint8_t* p = s + 3 * size_t(sx);
      if (!lv.Inside(sx, sy)) {
        MixPixel(d, Get(p), w);
        return;
      }
      const TRGB c = lv.Adjust(p);
      TRGB t = Get(d);
      VXBlendPixels(&c, &t, RenderOperation, y);
      MixPixel(d, t, w);
    });
  } else {
    EachPixel(this, a, true, &wt, [](const uint8_t* s, int32_t sx, int32_t, int32_t, uint8_t* d, int32_t w) {
      MixPixel(d, Get(s + 3 * size_t(sx)), w);
    });
  }
}

// ---------------------------------------------------------------------------
// 32-bit RGB (the fourth byte is not drawn)

void TVXBitmap::RenderRowsRGB32(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                int32_t xRatio, int32_t yRatio, bool SolidBackground,
                                TVXRenderOperation RenderOperation) {
  const Levels lv(this);
  const Area a{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground};
  if (lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal || (xRatio == kOne && yRatio == kOne)) {
    EachPixel(this, a, true, nullptr, [&](const uint8_t* s, int32_t sx, int32_t, int32_t y, uint8_t* d, int32_t) {
      const TRGB c = lv.Adjust(s + 4 * size_t(sx));
      VXBlendPixels(&c, reinterpret_cast<TRGB*>(d), RenderOperation, y);
    });
  } else {
    EachPixel(this, a, true, nullptr, [](const uint8_t* s, int32_t sx, int32_t, int32_t, uint8_t* d, int32_t) {
      std::memcpy(d, s + 4 * size_t(sx), 3);
    });
  }
}

void TVXBitmap::BlendRowsRGB32(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                               const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t, int32_t,
                               int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t,
                               bool SolidBackground, TVXRenderOperation RenderOperation, double Opacity) {
  const Levels lv(this);
  const Weights wt(this, Transparency, UseAlpha, AlphaRow, Opacity);
  const Area a{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground};
  if (lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal) {
    EachPixel(this, a, true, &wt, [&](const uint8_t* s, int32_t sx, int32_t, int32_t y, uint8_t* d, int32_t w) {
      const TRGB c = lv.Adjust(s + 4 * size_t(sx));
      TRGB t = Get(d);
      VXBlendPixels(&c, &t, RenderOperation, y);
      MixPixel(d, t, w);
    });
  } else {
    EachPixel(this, a, true, &wt, [](const uint8_t* s, int32_t sx, int32_t, int32_t, uint8_t* d, int32_t w) {
      MixPixel(d, Get(s + 4 * size_t(sx)), w);
    });
  }
}

// ---------------------------------------------------------------------------
// The grey, palette and CIELab formats: one colour per source pixel, drawn
// or mixed in by the weight.

namespace {

// Draws Colour(row, sx, sy) of every pixel; mixes it in when wt is given.
template <class ColourFn>
void ColourRows(TVXBitmap* Source, const Area& a, bool Duplicate, const Weights* wt, ColourFn&& Colour) {
  EachPixel(Source, a, Duplicate, wt, [&](const uint8_t* s, int32_t sx, int32_t sy, int32_t, uint8_t* d, int32_t w) {
    const TRGB c = Colour(s, sx, sy);
    if (wt)
      MixPixel(d, c, w);
    else
      Put(d, c);
  });
}

// The rows of a one-colour-per-pixel format, plain (wt nullptr) or weighted.
void SimpleRows(TVXBitmap* Source, const Area& a, const Weights* wt) {
  switch (Source->PixelFormat()) {
    case vx1g:
      ColourRows(Source, a, true, wt, [](const uint8_t* s, int32_t sx, int32_t) { return Grey(Bit(s, sx)); });
      break;
    case vx8g: {
      const Levels lv(Source);
      ColourRows(Source, a, false, wt, [&](const uint8_t* s, int32_t sx, int32_t sy) {
        return Grey(lv.BlackWhite && lv.Inside(sx, sy) ? lv.BWTable[s[sx]] : s[sx]);
      });
      break;
    }
    case vx8p: {
      const TRGB* pal = Source->PaletteBuffer();
      if (!pal) return;
      // An index beyond a short palette draws black.
      TRGB full[256] = {};
      std::copy_n(pal, std::min(Source->PaletteLength(), 256), full);
      ColourRows(Source, a, false, wt, [&](const uint8_t* s, int32_t sx, int32_t) { return full[s[sx]]; });
      break;
    }
    case vx16g: {
      const Levels lv(Source);
      ColourRows(Source, a, false, wt, [&](const uint8_t* s, int32_t sx, int32_t sy) {
        const uint16_t v = Word(s + 2 * size_t(sx));
        return Grey(uint8_t(lv.BlackWhite && lv.Inside(sx, sy) ? lv.Stretch(v, 255) : v >> 8));
      });
      break;
    }
    case vx32f: {
      const Levels lv(Source);
      ColourRows(Source, a, false, wt, [&](const uint8_t* s, int32_t sx, int32_t sy) {
        float f;
        std::memcpy(&f, s + 4 * size_t(sx), 4);
        return Grey(FloatLevel(f, lv, lv.Inside(sx, sy)));
      });
      break;
    }
    case vxCIELab:
      ColourRows(Source, a, false, wt, [](const uint8_t* s, int32_t sx, int32_t) {
        const uint8_t* p = s + 3 * size_t(sx);
        return VXCIELab2RGB(TCIELab{p[0], int8_t(p[1]), int8_t(p[2])});
      });
      break;
    default: break;
  }
}

}  // namespace

#define VX_SIMPLE_RENDERER(Name)                                                                                    \
  void TVXBitmap::RenderRows##Name(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,  \
                                   int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, \
                                   int32_t, int32_t, bool SolidBackground) {                                        \
    SimpleRows(this, Area{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground}, nullptr);                   \
  }                                                                                                                 \
  void TVXBitmap::BlendRows##Name(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,         \
                                  const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t, int32_t, \
                                  int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t, \
                                  bool SolidBackground, double Opacity) {                                          \
    const Weights wt(this, Transparency, UseAlpha, AlphaRow, Opacity);                                              \
    SimpleRows(this, Area{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground}, &wt);                       \
  }

VX_SIMPLE_RENDERER(Gray1)
VX_SIMPLE_RENDERER(Gray8)
VX_SIMPLE_RENDERER(Palette8)
VX_SIMPLE_RENDERER(Gray16)
VX_SIMPLE_RENDERER(Float32)
VX_SIMPLE_RENDERER(CIELab)
#undef VX_SIMPLE_RENDERER

// ---------------------------------------------------------------------------
// CMYK

void TVXBitmap::RenderRowsCMYK(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                               int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                               int32_t, int32_t, bool SolidBackground) {
  CMYKRows(this, Area{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground}, nullptr);
}

void TVXBitmap::BlendRowsCMYK(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                              const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t, int32_t,
                              int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t,
                              bool SolidBackground, double Opacity) {
  const Weights wt(this, Transparency, UseAlpha, AlphaRow, Opacity);
  CMYKRows(this, Area{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground}, &wt);
}

// ---------------------------------------------------------------------------
// 48-bit RGB

void TVXBitmap::RenderRowsRGB48(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                int32_t, int32_t, bool SolidBackground, TVXRenderOperation RenderOperation) {
  const Levels lv(this);
  const Levels48 l48(lv, Contrast());
  const Area a{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground};
  const bool active = lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal || lv.BlackWhite;
  EachPixel(this, a, false, nullptr, [&](const uint8_t* s, int32_t sx, int32_t sy, int32_t y, uint8_t* d, int32_t) {
    const uint8_t* p = s + 6 * size_t(sx);
    if (!active || !lv.Inside(sx, sy)) {
      Put(d, Plain48(p));
      return;
    }
    const TRGB c = l48.Adjust(p, true);
    VXBlendPixels(&c, reinterpret_cast<TRGB*>(d), RenderOperation, y);
  });
}

void TVXBitmap::BlendRowsRGB48(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                               const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t, int32_t,
                               int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t,
                               bool SolidBackground, TVXRenderOperation RenderOperation, double Opacity) {
  const Levels lv(this);
  const Levels48 l48(lv, Contrast());
  const Weights wt(this, Transparency, UseAlpha, AlphaRow, Opacity);
  const Area a{DestRows, Dest, XLUT, YLUT, x1, y1, x2, y2, SolidBackground};
  const bool active = lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal;
  EachPixel(this, a, false, &wt, [&](const uint8_t* s, int32_t sx, int32_t sy, int32_t y, uint8_t* d, int32_t w) {
    const uint8_t* p = s + 6 * size_t(sx);
    if (!active || !lv.Inside(sx, sy)) {
      MixPixel(d, Plain48(p), w);
      return;
    }
    const TRGB c = l48.Adjust(p, false);
    TRGB t = Get(d);
    VXBlendPixels(&c, &t, RenderOperation, y);
    MixPixel(d, t, w);
  });
}

// ---------------------------------------------------------------------------
// Virtual bitmaps: the provider draws, then the pixel event

void TVXBitmap::RenderRowsVirtual(uint8_t** DestRows, TVXBitmap* Dest, const int32_t* XLUT, const int32_t* YLUT,
                                  int32_t, int32_t, int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                  int32_t xRatio, int32_t yRatio, bool, TVXRenderOperation RenderOperation) {
  if (TVXVirtualBitmapProvider* provider = VirtualBitmapProvider())
    provider->Render(this, Dest->Width(), Dest->Height(), DestRows, x1, y1, x2, y2, XLUT, YLUT, 255, RenderOperation,
                     1.0);
  if (!OnRenderVirtualPixel) return;
  const Levels lv(this);
  const bool direct = !lv.Offsets && !lv.Contrasted && RenderOperation == vxlNormal && !(xRatio == kOne && yRatio == kOne);
  for (int32_t y = y1; y <= y2; ++y) {
    const int32_t sy = YLUT[y - y1];
    for (int32_t x = x1; x <= x2; ++x) {
      TRGB* d = reinterpret_cast<TRGB*>(DestRows[y] + 3 * size_t(x));
      if (direct) {
        OnRenderVirtualPixel(this, XLUT[x - x1], sy, *d);
        continue;
      }
      TRGB c{0, 0, 0};
      OnRenderVirtualPixel(this, XLUT[x - x1], sy, c);
      c = lv.Adjust(c);
      VXBlendPixels(&c, d, RenderOperation, y);
    }
  }
}

void TVXBitmap::BlendRowsVirtual(uint8_t** DestRows, TVXBitmap* Dest, int32_t Transparency, bool UseAlpha,
                                 const uint8_t* AlphaRow, const int32_t* XLUT, const int32_t* YLUT, int32_t, int32_t,
                                 int32_t, int32_t, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t, int32_t,
                                 bool, TVXRenderOperation RenderOperation, double Opacity) {
  if (TVXVirtualBitmapProvider* provider = VirtualBitmapProvider())
    provider->Render(this, Dest->Width(), Dest->Height(), DestRows, x1, y1, x2, y2, XLUT, YLUT, Transparency,
                     RenderOperation, Opacity);
  if (!OnRenderVirtualPixel) return;
  const Levels lv(this);
  const Weights wt(this, Transparency, UseAlpha, AlphaRow, Opacity);
  const bool active = lv.Offsets || lv.Contrasted || RenderOperation != vxlNormal;
  for (int32_t y = y1; y <= y2; ++y) {
    const int32_t sy = YLUT[y - y1];
    const uint8_t* arow = wt.RowOf(sy);
    for (int32_t x = x1; x <= x2; ++x) {
      const int32_t sx = XLUT[x - x1];
      uint8_t* d = DestRows[y] + 3 * size_t(x);
      TRGB c{0, 0, 0};
      OnRenderVirtualPixel(this, sx, sy, c);
      if (active) {
        const TRGB adj = lv.Adjust(c);
        c = Get(d);
        VXBlendPixels(&adj, &c, RenderOperation, y);
      }
      MixPixel(d, c, wt.At(arow, sx));
    }
  }
}
