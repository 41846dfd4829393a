#include "core/colorreduce.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/quantizer.h"
#include "core/rowops.h"
#include "core/threshold.h"

const uint8_t VXOrderedDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

namespace {

// Entry v: the eight 3-byte pixels of the bits of v, most significant first.
struct ExpandTable {
  uint8_t e[256][24];
  ExpandTable() {
    for (int v = 0; v < 256; ++v)
      for (int bit = 0; bit < 8; ++bit) {
        const uint8_t c = (v & (0x80 >> bit)) ? 255 : 0;
        e[v][bit * 3] = e[v][bit * 3 + 1] = e[v][bit * 3 + 2] = c;
      }
  }
};

const ExpandTable& Expansion() {
  static const ExpandTable table;
  return table;
}

using GreyCoefs = TVXGreyCoefs;

inline void ReportRow(void* Sender, const TVXProgressEvent& OnProgress, int32_t done, int32_t height) {
  if (OnProgress) OnProgress(Sender, int32_t(100.0 / (height + 0.5) * done));
}

// The palette entry nearest to c by squared RGB distance; ties keep the lower
// index.
int32_t ClosestEntry(const TRGB* pal, int32_t count, TRGB c) {
  int32_t best = 0, bestd = 195076;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t dr = int32_t(pal[i].r) - c.r, dg = int32_t(pal[i].g) - c.g, db = int32_t(pal[i].b) - c.b;
    const int32_t d = dr * dr + dg * dg + db * db;
    if (d < bestd) {
      bestd = d;
      best = i;
    }
  }
  return best;
}

inline uint8_t AddSat(uint8_t v, int32_t e) {
  const int32_t r = int32_t(v) + e;
  return uint8_t(r < 0 ? 0 : (r > 255 ? 255 : r));
}

// Replaces the image (keeping its alpha channel) by Result.
void TakeImage(TVXBitmap* Bitmap, TVXBitmap* Result) { Bitmap->AssignImage(Result); }

}  // namespace

void VXInitExpand1BitTable() { (void)Expansion(); }

void VXExpand1BitRow(const void* Input, void* Output, int32_t Count) {
  if (!Input || !Output || Count <= 0) return;
  const uint8_t* s = static_cast<const uint8_t*>(Input);
  uint8_t* d = static_cast<uint8_t*>(Output);
  const ExpandTable& t = Expansion();
  const int32_t whole = Count >> 3, rest = Count & 7;
  for (int32_t i = 0; i < whole; ++i, d += 24) std::memcpy(d, t.e[s[i]], 24);
  if (rest) std::memcpy(d, t.e[s[whole]], size_t(rest) * 3);
}

void VXConvert1BitTo24(TVXBitmap* Source, TVXBitmap* Dest, TProgressRec& Progress) {
  if (!Source || !Dest || Source->PixelFormat() != vx1g || Source->IsEmpty()) return;
  const int32_t w = Source->Width(), h = Source->Height();
  if (!(Dest->PixelFormat() == vx24RGB && Dest->Width() == w && Dest->Height() == h && !Dest->IsEmpty()) &&
      !Dest->Allocate(w, h, vx24RGB))
    throw EVXException("Not enough memory for the 24-bit image");
  const double per = 100.0 / (h + 0.5);
  std::vector<uint8_t> row(size_t(Source->RowLen()));
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(row.data(), Source->GetScanLine(y), row.size());
    VXExpand1BitRow(row.data(), Dest->GetScanLine(y), w);
    if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, int32_t(per * (y + 1)));
  }
}

void VXDitherToBWOrdered(TVXBitmap* Bitmap, TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  TVXBitmap result;
  if (!result.Allocate(w, h, vx1g)) throw EVXException("Not enough memory for the black and white image");
  const GreyCoefs k;
  const double per = 100.0 / (h + 0.5);
  std::vector<TRGB> row(static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(static_cast<void*>(row.data()), Bitmap->GetScanLine(y), size_t(w) * 3);
    uint8_t* d = static_cast<uint8_t*>(result.GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const TRGB c = row[x];
      const int32_t level = (c.r >= 251 && c.g >= 251 && c.b >= 251) ? 64 : (k.Grey(c.r, c.g, c.b) >> 2);
      const uint8_t m = uint8_t(0x80 >> (x & 7));
      if (VXOrderedDitherMatrix[x & 7][y & 7] < level)
        d[x >> 3] |= m;
      else
        d[x >> 3] &= uint8_t(~m);
    }
    if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, int32_t(per * (y + 1)));
  }
  TakeImage(Bitmap, &result);
}

void VXThresholdToBWInPlace(TVXBitmap* Bitmap, int32_t Threshold, TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  TVXBitmap result;
  if (!result.Allocate(Bitmap->Width(), Bitmap->Height(), vx1g))
    throw EVXException("Not enough memory for the black and white image");
  VXConvertTo1BitThreshold(Bitmap, &result, Threshold, Progress);
  TakeImage(Bitmap, &result);
}

void VXQuantizeInPlace(TVXBitmap* Bitmap, int32_t NumColors, TRGB* Palette, void* Sender,
                       const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty() || NumColors < 1) return;
  std::vector<TRGB> own;
  TRGB* pal = Palette;
  if (!pal) {
    own.assign(size_t(NumColors), TRGB{0, 0, 0});
    pal = own.data();
  }
  TVXQuantizer q(Bitmap, pal, NumColors - 1, NumColors);
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    TRGB* row = static_cast<TRGB*>(Bitmap->GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) row[x] = pal[q.GetRGBIndex(row[x])];
    ReportRow(Sender, OnProgress, y + 1, h);
  }
}

void VXDitherToPalette(TVXBitmap* Source, TVXBitmap* Dest, int32_t NumColors) {
  if (!Source || !Dest || Source->PixelFormat() != vx24RGB || Source->IsEmpty()) return;
  NumColors = std::clamp(NumColors, 1, 256);
  const int32_t w = Source->Width(), h = Source->Height();
  TRGB pal[256] = {};
  { TVXQuantizer q(Source, pal, 255, NumColors); }
  if (!Dest->Allocate(w, h, vx8p)) throw EVXException("Not enough memory for the palette image");
  Dest->SetPaletteUsed(NumColors);
  for (int32_t i = 0; i < NumColors; ++i) Dest->SetPalette(i, pal[i]);

  std::vector<TRGB> cur(static_cast<size_t>(w)), next(static_cast<size_t>(w));
  std::memcpy(static_cast<void*>(cur.data()), Source->GetScanLine(0), size_t(w) * 3);
  if (h > 1) std::memcpy(static_cast<void*>(next.data()), Source->GetScanLine(1), size_t(w) * 3);
  for (int32_t y = 0; y < h; ++y) {
    const bool hasNext = y + 1 < h;
    uint8_t* d = static_cast<uint8_t*>(Dest->GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const int32_t idx = ClosestEntry(pal, NumColors, cur[x]);
      d[x] = uint8_t(idx);
      for (int c = 0; c < 3; ++c) {
        // red, then green, then blue
        auto ch = [c](TRGB& p) -> uint8_t& { return c == 0 ? p.r : (c == 1 ? p.g : p.b); };
        const int32_t e = int32_t(ch(cur[x])) - int32_t(ch(pal[idx]));
        if (x + 1 < w) ch(cur[x + 1]) = AddSat(ch(cur[x + 1]), e * 7 / 16);
        if (hasNext) {
          if (x >= 1) ch(next[x - 1]) = AddSat(ch(next[x - 1]), e * 3 / 16);
          ch(next[x]) = AddSat(ch(next[x]), e * 5 / 16);
          if (x + 1 < w) ch(next[x + 1]) = AddSat(ch(next[x + 1]), e / 16);
        }
      }
    }
    std::swap(cur, next);
    if (y + 2 < h) std::memcpy(static_cast<void*>(next.data()), Source->GetScanLine(y + 2), size_t(w) * 3);
  }
}

std::unique_ptr<TVXBitmap> VXTwoColorsTo1Bit(TVXBitmap* Bitmap, TRGB& Color1, TRGB& Color2) {
  if (!Bitmap || Bitmap->IsEmpty()) return nullptr;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  auto result = std::make_unique<TVXBitmap>();
  if (!result->Allocate(w, h, vx1g)) throw EVXException("Not enough memory for the black and white image");
  std::vector<TRGB> row(static_cast<size_t>(w));
  int32_t colors = 0;
  for (int32_t y = 0; y < h && colors <= 2; ++y) {
    VXRowToRGB(Bitmap, y, row.data());
    uint8_t* d = static_cast<uint8_t*>(result->GetScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const TRGB c = row[x];
      if (colors == 0) {
        Color1 = c;
        colors = 1;
      } else if (c != Color1 && (colors == 1 || (colors == 2 && c != Color2))) {
        if (colors == 1) Color2 = c;
        colors = colors == 1 ? 2 : 3;
      }
      const uint8_t m = uint8_t(0x80 >> (x & 7));
      if (c == Color1)
        d[x >> 3] &= uint8_t(~m);
      else
        d[x >> 3] |= m;
    }
  }
  if (colors != 2) return nullptr;
  const GreyCoefs k;
  const auto grey = [&k](TRGB c) { return std::nearbyint((c.r * k.r + c.g * k.g + c.b * k.b) / 100.0); };
  if (grey(Color2) < grey(Color1)) {
    VXInvertBitmapRows(result.get());
    std::swap(Color1, Color2);
  }
  return result;
}

void VXDoConvertToGray(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                       const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  if (x1 >= x2 || y1 >= y2) return;
  const GreyCoefs k;
  const int32_t rows = y2 - y1;
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetScanLine(y));
    for (int32_t x = x1; x < x2; ++x) {
      const uint8_t g = uint8_t(k.Grey(p[x].r, p[x].g, p[x].b));
      p[x] = TRGB{g, g, g};
    }
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y - y1 + 1) * 100 / rows));
  }
}

void VXDoConvertToSepia(TVXBitmap* Bitmap, int32_t Depth, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  if (x1 >= x2 || y1 >= y2) return;
  const int32_t d = Depth & 0xFF;
  const int32_t rows = y2 - y1;
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetScanLine(y));
    for (int32_t x = x1; x < x2; ++x) {
      const int32_t g = (p[x].r + p[x].g + p[x].b) / 3;
      p[x].b = uint8_t(g);
      p[x].g = uint8_t(std::min(255, g + d));
      p[x].r = uint8_t(std::min(255, g + 2 * d));
    }
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y - y1 + 1) * 100 / rows));
  }
}

namespace {

void ToBlackAndWhite(TVXBitmap* Bitmap, TVXDitherMethod DitherMethod, void* Sender,
                     const TVXProgressEvent& OnProgress) {
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = Sender;
  if (DitherMethod == vxOrdered)
    VXDitherToBWOrdered(Bitmap, progress);
  else
    VXThresholdToBWInPlace(Bitmap, -1, progress);
}

}  // namespace

void VXConvertToColors(TVXBitmap* Bitmap, int32_t NumColors, TVXDitherMethod DitherMethod, void* Sender,
                       const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB) return;
  if (NumColors < 3) {
    ToBlackAndWhite(Bitmap, DitherMethod, Sender, OnProgress);
  } else if (NumColors <= 1024) {
    if (DitherMethod == vxDithering && NumColors <= 256) {
      TVXBitmap result;
      VXDitherToPalette(Bitmap, &result, NumColors);
      TakeImage(Bitmap, &result);
    } else {
      VXQuantizeInPlace(Bitmap, NumColors, nullptr, Sender, OnProgress);
    }
  }
}

void VXConvertToPalette(TVXBitmap* Bitmap, int32_t NumColors, TRGB* Palette, TVXDitherMethod DitherMethod,
                        void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || NumColors == 0) return;
  if (NumColors < 3) {
    ToBlackAndWhite(Bitmap, DitherMethod, Sender, OnProgress);
    if (Palette) {
      Palette[0] = TRGB{0, 0, 0};
      if (NumColors >= 2) Palette[1] = TRGB{255, 255, 255};
    }
  } else if (NumColors <= 1024) {
    VXQuantizeInPlace(Bitmap, NumColors, Palette, Sender, OnProgress);
  }
}

void VXConvertTo24Bit(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx1g || Bitmap->IsEmpty()) return;
  TVXBitmap result;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = Sender;
  VXConvert1BitTo24(Bitmap, &result, progress);
  TakeImage(Bitmap, &result);
}

void VXCalcImagePalette(TVXBitmap* Bitmap, TRGB* Palette, int32_t PaletteHigh, int32_t NumColors) {
  if (!Bitmap || !Palette || Bitmap->PixelFormat() != vx24RGB) return;
  TVXQuantizer q(Bitmap, Palette, PaletteHigh, NumColors);
}
