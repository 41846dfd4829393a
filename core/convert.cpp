// Pixel-format conversion of whole bitmaps: a fixed rule for each pair of
// formats; pairs without a rule of their own go through a vx24RGB copy of the
// source.

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/settings.h"
#include "core/vxdefs.h"
#include "core/cmyk.h"
#include "core/colorreduce.h"
#include "core/quantizer.h"
#include "core/threshold.h"

namespace {

struct GreyWeights {
  int32_t r, g, b;
};

// 8-bit grey with the settings' percentages (32-bit signed, low byte kept).
inline uint8_t G8(const GreyWeights& k, int32_t R, int32_t G, int32_t B) {
  return uint8_t((R * k.r + G * k.g + B * k.b) / 100);
}
// 16-bit grey from 8-bit channels and from 16-bit channels.
inline uint16_t G16From8(uint32_t R, uint32_t G, uint32_t B) {
  return uint16_t((257 * R * 212 + 257 * G * 713 + 257 * B * 75) / 1000);
}
inline uint16_t G16From16(uint32_t R, uint32_t G, uint32_t B) { return uint16_t((R * 212 + G * 713 + B * 75) / 1000); }
// Float grey; 8-bit channels (16-bit channels are divided by 256 first).
inline float GF(long double R, long double G, long double B) {
  return float((0.2126L * R + 0.7152L * G + 0.0722L * B) / 255);
}

// Float to integer: truncation toward zero, clamped to the target range.
inline uint16_t FloatToWord(float v) {
  const double t = double(v) * 65535;
  if (!(t > 0)) return 0;
  if (t >= 65535) return 65535;
  return uint16_t(int32_t(t));
}

inline bool Bit(const uint8_t* row, int32_t x) { return (row[x >> 3] & (0x80 >> (x & 7))) != 0; }
inline void SetBit(uint8_t* row, int32_t x, bool v) {
  const uint8_t m = uint8_t(0x80 >> (x & 7));
  if (v)
    row[x >> 3] |= m;
  else
    row[x >> 3] &= uint8_t(~m);
}
inline uint16_t Word(const uint8_t* p, int32_t x) {
  uint16_t v;
  std::memcpy(&v, p + size_t(x) * 2, 2);
  return v;
}
inline void PutWord(uint8_t* p, int32_t x, uint16_t v) { std::memcpy(p + size_t(x) * 2, &v, 2); }
inline float Float(const uint8_t* p, int32_t x) {
  float v;
  std::memcpy(&v, p + size_t(x) * 4, 4);
  return v;
}
inline void PutFloat(uint8_t* p, int32_t x, float v) { std::memcpy(p + size_t(x) * 4, &v, 4); }
inline TRGB48 RGB48(const uint8_t* p, int32_t x) {
  TRGB48 v;
  std::memcpy(&v, p + size_t(x) * 6, 6);
  return v;
}
inline void PutRGB48(uint8_t* p, int32_t x, uint16_t r, uint16_t g, uint16_t b) {
  const TRGB48 v{r, g, b};
  std::memcpy(p + size_t(x) * 6, &v, 6);
}
inline void Put24(uint8_t* p, int32_t x, uint8_t r, uint8_t g, uint8_t b) {
  p[size_t(x) * 3] = b;
  p[size_t(x) * 3 + 1] = g;
  p[size_t(x) * 3 + 2] = r;
}
inline void Put32(uint8_t* p, int32_t x, uint8_t r, uint8_t g, uint8_t b) {
  p[size_t(x) * 4] = b;
  p[size_t(x) * 4 + 1] = g;
  p[size_t(x) * 4 + 2] = r;
  p[size_t(x) * 4 + 3] = 255;
}

// The 256 palette entries of a bitmap; entries it does not hold are black.
struct Palette256 {
  TRGB e[256] = {};
  explicit Palette256(const TVXBitmap* b) {
    const TRGB* pal = b->PaletteBuffer();
    const int32_t n = pal ? std::min(b->PaletteLength(), 256) : 0;
    if (n > 0) std::memcpy(static_cast<void*>(e), pal, size_t(n) * sizeof(TRGB));
  }
};
inline TRGB PalEntry(const TRGB* pal, uint8_t i) { return pal[i]; }

// True when the pair has a rule of its own; every other pair of different
// formats goes through vx24RGB.
bool HasDirectRule(TVXPixelFormat s, TVXPixelFormat d, TVXDitherMethod dither) {
  switch (s) {
    case vx1g:
    case vx8p:
    case vx8g:
    case vx16g:
    case vx32f:
      return d != vxCMYK && d != vxCIELab;
    case vx24RGB:
      return true;
    case vxCMYK:
    case vxCIELab:
      return d == vx24RGB || d == vx32RGB;
    case vx48RGB:
      if (d == vx1g) return dither != vxThreshold;  // the threshold reads 24-bit pixels
      return d != vx8p && d != vxCMYK && d != vxCIELab;
    case vx32RGB:
      return d == vx24RGB;
    default:
      return false;
  }
}

void ConvertPixels(TVXBitmap* Dest, TVXBitmap* Source, const GreyWeights& k);

// Converts Source into a new vx24RGB bitmap (the caller's source is not
// changed) and from there into Dest.
void ConvertVia24(TVXBitmap* Dest, TVXBitmap* Source, const GreyWeights& k) {
  TVXBitmap rgb;
  if (!rgb.Allocate(Source->Width(), Source->Height(), vx24RGB))
    throw EVXException("Not enough memory to convert the pixel format");
  // The source's own display levels stretch its grey values, as they would in
  // an in-place conversion.
  rgb.SetBlackValue(Source->BlackValue());
  rgb.SetWhiteValue(Source->WhiteValue());
  ConvertPixels(&rgb, Source, k);
  ConvertPixels(Dest, &rgb, k);
}

void ToBW(TVXBitmap* Dest, TVXBitmap* Source, const GreyWeights& k) {
  const int32_t w = Source->Width(), h = Source->Height();
  switch (Dest->DefaultDitherMethod()) {
    case vxThreshold: {
      TProgressRec progress;
      VXConvertTo1BitThreshold(Source, Dest, -1, progress);
      return;
    }
    case vxDithering:
      VXFloydSteinbergTo1Bit(Source, Dest, nullptr, nullptr);
      return;
    case vxOrdered:
      break;
  }
  const TVXPixelFormat sf = Source->PixelFormat();
  const Palette256 palette(Source);
  const TRGB* pal = palette.e;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(y));
    uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      int32_t level;
      switch (sf) {
        case vx8p: {
          const TRGB c = PalEntry(pal, s[x]);
          level = G8(k, c.r, c.g, c.b) >> 2;
          break;
        }
        case vx24RGB:
          level = G8(k, s[size_t(x) * 3 + 2], s[size_t(x) * 3 + 1], s[size_t(x) * 3]) >> 2;
          break;
        case vx48RGB: {
          const TRGB48 c = RGB48(s, x);
          level = G8(k, c.r >> 8, c.g >> 8, c.b >> 8) >> 2;
          break;
        }
        case vx8g:
          level = s[x] >> 2;
          break;
        case vx16g:
          level = Word(s, x) >> 10;
          break;
        case vx32f:
          level = VXFloatToByte(Float(s, x)) >> 2;
          break;
        default:
          level = 0;
          break;
      }
      SetBit(d, x, VXOrderedDitherMatrix[x & 7][y & 7] < level);
    }
  }
}

void ToPalette(TVXBitmap* Dest, TVXBitmap* Source) {
  const int32_t w = Source->Width(), h = Source->Height();
  TRGB* dpal = Dest->PaletteBuffer();
  const int32_t dlen = dpal ? Dest->PaletteLength() : 0;
  switch (Source->PixelFormat()) {
    case vx1g:
      if (dlen >= 2) {
        dpal[0] = TRGB{0, 0, 0};
        dpal[1] = TRGB{255, 255, 255};
      }
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(y));
        uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(y));
        for (int32_t x = 0; x < w; ++x) d[x] = Bit(s, x) ? 1 : 0;
      }
      return;
    case vx8g:
    case vx16g:
    case vx32f: {
      for (int32_t i = 0; i < dlen && i < 256; ++i) dpal[i] = TRGB{uint8_t(i), uint8_t(i), uint8_t(i)};
      const TVXPixelFormat sf = Source->PixelFormat();
      for (int32_t y = 0; y < h; ++y) {
        const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(y));
        uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(y));
        if (sf == vx8g)
          std::memcpy(d, s, size_t(w));
        else if (sf == vx16g)
          for (int32_t x = 0; x < w; ++x) d[x] = uint8_t(Word(s, x) >> 8);
        else
          for (int32_t x = 0; x < w; ++x) d[x] = VXFloatToByte(Float(s, x));
      }
      return;
    }
    case vx24RGB: {
      TRGB pal[256] = {};
      TVXQuantizer q(Source, pal, 255, Dest->PaletteUsed());
      for (int32_t i = 0; i < dlen && i < 256; ++i) dpal[i] = pal[i];
      for (int32_t y = 0; y < h; ++y) {
        const TRGB* s = static_cast<const TRGB*>(Source->GetScanLine(y));
        uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(y));
        for (int32_t x = 0; x < w; ++x) d[x] = uint8_t(q.GetRGBIndex(s[x]));
      }
      return;
    }
    default:
      return;
  }
}

// vx8g and vx16g into vx24RGB, stretched between the destination's black and
// white points when they differ; the points are consumed.
void GreyTo24(TVXBitmap* Dest, TVXBitmap* Source) {
  const int32_t w = Source->Width(), h = Source->Height();
  const bool is16 = Source->PixelFormat() == vx16g;
  const double black = Dest->BlackValue(), white = Dest->WhiteValue();
  const double range = white - black;
  const int64_t lo = int64_t(black), hi = int64_t(white);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(y));
    uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const int64_t v = is16 ? Word(s, x) : s[x];
      uint8_t out;
      if (range != 0) {
        int64_t c = v;
        if (c < lo) c = lo;
        if (c > hi) c = hi;
        const double t = double(c - lo) / range * 255;
        out = !(t > 0) ? 0 : (t >= 255 ? 255 : uint8_t(int32_t(t)));
      } else {
        out = is16 ? uint8_t(v >> 8) : uint8_t(v);
      }
      Put24(d, x, out, out, out);
    }
  }
  if (range != 0) {
    Dest->SetBlackValue(0);
    Dest->SetWhiteValue(0);
  }
}

void ConvertRow(TVXPixelFormat sf, TVXPixelFormat df, const uint8_t* s, uint8_t* d, int32_t w, const TRGB* pal,
                const GreyWeights& k) {
  switch (sf) {
    case vx1g:
      for (int32_t x = 0; x < w; ++x) {
        const bool on = Bit(s, x);
        const uint8_t b8 = on ? 255 : 0;
        const uint16_t b16 = on ? 65535 : 0;
        switch (df) {
          case vx8g: d[x] = b8; break;
          case vx16g: PutWord(d, x, b16); break;
          case vx24RGB: Put24(d, x, b8, b8, b8); break;
          case vx32f: PutFloat(d, x, on ? 1.0f : 0.0f); break;
          case vx48RGB: PutRGB48(d, x, b16, b16, b16); break;
          case vx32RGB: Put32(d, x, b8, b8, b8); break;
          default: return;
        }
      }
      return;
    case vx8p:
      for (int32_t x = 0; x < w; ++x) {
        const TRGB c = PalEntry(pal, s[x]);
        switch (df) {
          case vx8g: d[x] = G8(k, c.r, c.g, c.b); break;
          case vx16g: PutWord(d, x, G16From8(c.r, c.g, c.b)); break;
          case vx24RGB: Put24(d, x, c.r, c.g, c.b); break;
          case vx32f: PutFloat(d, x, GF(c.r, c.g, c.b)); break;
          case vx48RGB: PutRGB48(d, x, uint16_t(c.r * 257), uint16_t(c.g * 257), uint16_t(c.b * 257)); break;
          case vx32RGB: Put32(d, x, c.r, c.g, c.b); break;
          default: return;
        }
      }
      return;
    case vx8g:
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t v = s[x];
        switch (df) {
          case vx16g: PutWord(d, x, uint16_t(v * 257)); break;
          case vx32f: PutFloat(d, x, float(v / 255.0L)); break;
          case vx48RGB: PutRGB48(d, x, uint16_t(v * 257), uint16_t(v * 257), uint16_t(v * 257)); break;
          case vx32RGB: Put32(d, x, v, v, v); break;
          default: return;
        }
      }
      return;
    case vx16g:
      for (int32_t x = 0; x < w; ++x) {
        const uint16_t v = Word(s, x);
        switch (df) {
          case vx8g: d[x] = uint8_t(v >> 8); break;
          case vx32f: PutFloat(d, x, float(v / 65535.0L)); break;
          case vx48RGB: PutRGB48(d, x, v, v, v); break;
          case vx32RGB: Put32(d, x, uint8_t(v >> 8), uint8_t(v >> 8), uint8_t(v >> 8)); break;
          default: return;
        }
      }
      return;
    case vx24RGB:
      if (df == vxCMYK) {
        VXBGRRowToCMYK(s, d, w);
        return;
      }
      if (df == vxCIELab) {
        for (int32_t x = 0; x < w; ++x) {
          const TRGB c{s[size_t(x) * 3], s[size_t(x) * 3 + 1], s[size_t(x) * 3 + 2]};
          const TCIELab l = VXRGB2CIELab(c);
          std::memcpy(d + size_t(x) * 3, &l, 3);
        }
        return;
      }
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t b = s[size_t(x) * 3], g = s[size_t(x) * 3 + 1], r = s[size_t(x) * 3 + 2];
        switch (df) {
          case vx8g: d[x] = G8(k, r, g, b); break;
          case vx16g: PutWord(d, x, G16From8(r, g, b)); break;
          case vx32f: PutFloat(d, x, GF(r, g, b)); break;
          case vx48RGB: PutRGB48(d, x, uint16_t(r * 257), uint16_t(g * 257), uint16_t(b * 257)); break;
          case vx32RGB: Put32(d, x, r, g, b); break;
          default: return;
        }
      }
      return;
    case vx32f:
      for (int32_t x = 0; x < w; ++x) {
        const float v = Float(s, x);
        const uint8_t b8 = VXFloatToByte(v);
        switch (df) {
          case vx8g: d[x] = b8; break;
          case vx16g: PutWord(d, x, FloatToWord(v)); break;
          case vx24RGB: Put24(d, x, b8, b8, b8); break;
          case vx48RGB: {
            const uint16_t w16 = FloatToWord(v);
            PutRGB48(d, x, w16, w16, w16);
            break;
          }
          case vx32RGB: Put32(d, x, b8, b8, b8); break;
          default: return;
        }
      }
      return;
    case vxCMYK:
      if (df == vx24RGB) {
        VXCMYKRowToBGR(s, d, w, nullptr);
        return;
      }
      if (df == vx32RGB) {
        // Converted as 3-byte pixels into the front of the destination row,
        // then spread to 4 bytes a pixel from the last pixel down.
        VXCMYKRowToBGR(s, d, w, nullptr);
        for (int32_t x = w - 1; x >= 0; --x) {
          const uint8_t b = d[size_t(x) * 3], g = d[size_t(x) * 3 + 1], r = d[size_t(x) * 3 + 2];
          Put32(d, x, r, g, b);
        }
      }
      return;
    case vx48RGB:
      for (int32_t x = 0; x < w; ++x) {
        const TRGB48 c = RGB48(s, x);
        switch (df) {
          case vx8g: d[x] = G8(k, c.r >> 8, c.g >> 8, c.b >> 8); break;
          case vx16g: PutWord(d, x, G16From16(c.r, c.g, c.b)); break;
          case vx24RGB: Put24(d, x, uint8_t(c.r >> 8), uint8_t(c.g >> 8), uint8_t(c.b >> 8)); break;
          case vx32f: PutFloat(d, x, GF(c.r / 256.0L, c.g / 256.0L, c.b / 256.0L)); break;
          case vx32RGB: Put32(d, x, uint8_t(c.r >> 8), uint8_t(c.g >> 8), uint8_t(c.b >> 8)); break;
          default: return;
        }
      }
      return;
    case vxCIELab:
      for (int32_t x = 0; x < w; ++x) {
        const uint8_t* q = s + size_t(x) * 3;
        const TRGB c = VXCIELab2RGB(TCIELab{q[0], int8_t(q[1]), int8_t(q[2])});
        if (df == vx24RGB)
          Put24(d, x, c.r, c.g, c.b);
        else if (df == vx32RGB)
          Put32(d, x, c.r, c.g, c.b);
      }
      return;
    case vx32RGB:
      if (df == vx24RGB)
        for (int32_t x = 0; x < w; ++x) std::memcpy(d + size_t(x) * 3, s + size_t(x) * 4, 3);
      return;
    default:
      return;
  }
}

void ConvertPixels(TVXBitmap* Dest, TVXBitmap* Source, const GreyWeights& k) {
  const TVXPixelFormat sf = Source->PixelFormat(), df = Dest->PixelFormat();
  if (sf == vxnull || df == vxnull || sf == df || Source->IsEmpty() || Dest->IsEmpty()) return;
  if (!HasDirectRule(sf, df, Dest->DefaultDitherMethod())) {
    ConvertVia24(Dest, Source, k);
    return;
  }
  if (df == vx1g) {
    ToBW(Dest, Source, k);
    return;
  }
  if (df == vx8p) {
    ToPalette(Dest, Source);
    return;
  }
  if (df == vx24RGB && (sf == vx8g || sf == vx16g)) {
    GreyTo24(Dest, Source);
    return;
  }
  const int32_t w = Source->Width(), h = Source->Height();
  const Palette256 palette(Source);
  const TRGB* pal = palette.e;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(Source->GetScanLine(y));
    ConvertRow(sf, df, s, static_cast<uint8_t*>(Dest->GetScanLine(y)), w, pal, k);
  }
}

}  // namespace

void TVXBitmap::CopyAndConvertFormat(TVXBitmap* Source) {
  if (!Source || Source == this) return;
  if (Width() != Source->Width() || Height() != Source->Height() || Location() == vxTBitmap) return;
  const TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const GreyWeights k{settings->RedToGrayCoef(), settings->GreenToGrayCoef(), settings->BlueToGrayCoef()};
  if (Source->PixelFormat() != vxnull) ConvertPixels(this, Source, k);
  if (Source->HasAlphaChannel()) {
    if (TVXBitmap* alpha = AlphaChannel()) alpha->Assign(Source->AlphaChannelOpt());
  }
}

void TVXBitmap::ConvertFormatInPlace(TVXPixelFormat NewFormat) {
  if (fLocation == vxTBitmap && fBitmap) {
    ConvertPlatformFormat(NewFormat);
    return;
  }
  TVXBitmap old;
  SwitchTo(&old);
  // The levels stay with this bitmap and drive the conversion.
  if (!Allocate(old.Width(), old.Height(), NewFormat)) {
    old.SwitchTo(this);
    throw EVXException("Not enough memory to convert the pixel format");
  }
  try {
    if (old.PixelFormat() != vxnull) CopyAndConvertFormat(&old);
  } catch (...) {
    old.SwitchTo(this);
    throw;
  }
}
