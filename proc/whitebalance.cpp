// Gamma tables, histogram matching, channel gains and white balances, the
// per-channel range stretch, region recolouring and colorizing.

#include "proc/whitebalance.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/bitmap.h"
#include "core/colorspace.h"
#include "core/mask.h"
#include "core/settings.h"
#include "proc/magicwand.h"

namespace {

bool Usable(TVXBitmap* b, TVXPixelFormat f) { return b && !b->IsEmpty() && b->PixelFormat() == f; }

void Progress(void* Sender, const TVXProgressEvent& OnProgress, int32_t y, int32_t Height) {
  if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / Height));
}

// Round(v) clamped to 0 .. full; v is never a NaN here.
int32_t RoundClamp(double v, int32_t full) {
  const double r = std::nearbyint(v);
  return r <= 0 ? 0 : r >= full ? full : int32_t(r);
}

// Position of a channel inside a pixel: the byte of vx24RGB (blue, green,
// red) or the word of vx48RGB (red, green, blue).
int32_t ChannelIndex(TVXChannel c, TVXPixelFormat f) {
  if (f == vx48RGB) return c == vxcRed ? 0 : c == vxcGreen ? 1 : 2;
  return c == vxcRed ? 2 : c == vxcGreen ? 1 : 0;
}

// Calls fn(row, y) for every row of the bitmap, then reports progress.
template <typename Fn>
void ForEachRow(TVXBitmap* b, void* Sender, const TVXProgressEvent& OnProgress, Fn fn) {
  const int32_t h = b->Height();
  for (int32_t y = 0; y < h; ++y) {
    fn(b->GetRow(y), y);
    b->FreeRow(y);
    Progress(Sender, OnProgress, y, h);
  }
}

// Writes Value over the region that the magic wand finds from (x, y); Write
// receives the row and the column.
template <typename Write>
void CastRegion(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t tolerance, void* Sender,
                const TVXProgressEvent& OnProgress, Write write) {
  TVXMask mask;
  mask.AllocateBits(Bitmap->Width(), Bitmap->Height(), 8);
  VXMagicWandFill(Bitmap, x, y, 255, &mask, tolerance, false);
  if (mask.IsEmpty()) return;
  const int32_t rows = mask.Y2() - mask.Y1() + 1;
  for (int32_t row = mask.Y1(); row <= mask.Y2(); ++row) {
    const uint8_t* m = mask.GetScanLine(row);
    if (m)
      for (int32_t col = mask.X1(); col <= mask.X2(); ++col)
        if (m[col] != 0) write(row, col);
    // Counted within the box, so that the report stays below 100 wherever
    // the region lies.
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(row - mask.Y1() + 1) * 100 / rows));
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Gamma

void VXDoGammaCorrect(TVXBitmap* Bitmap, double Gamma, TVXChannels Channel, void* Sender,
                      const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty() || Channel.Empty() || std::isnan(Gamma)) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx48RGB) return;
  const bool all = Channel.Contains(vxcRed) && Channel.Contains(vxcGreen) && Channel.Contains(vxcBlue);
  bool sel[3] = {false, false, false};
  for (TVXChannel c : {vxcRed, vxcGreen, vxcBlue})
    if (Channel.Contains(c)) sel[ChannelIndex(c, fmt)] = true;
  const int32_t w = Bitmap->Width();
  const double e = 1 / Gamma;
  if (fmt == vx24RGB) {
    uint8_t t[256];
    for (int32_t i = 0; i < 256; ++i) t[i] = uint8_t(RoundClamp(255 * std::pow(double(i) / 255, e), 255));
    ForEachRow(Bitmap, Sender, OnProgress, [&](void* row, int32_t) {
      uint8_t* p = static_cast<uint8_t*>(row);
      if (all)
        for (int32_t i = 0; i < 3 * w; ++i) p[i] = t[p[i]];
      else
        for (int32_t i = 0; i < 3 * w; ++i)
          if (sel[i % 3]) p[i] = t[p[i]];
    });
  } else {
    std::vector<uint16_t> t(65536);
    for (int32_t i = 0; i < 65536; ++i)
      t[size_t(i)] = uint16_t(RoundClamp(65535 * std::pow(double(i) / 65535, e), 65535));
    ForEachRow(Bitmap, Sender, OnProgress, [&](void* row, int32_t) {
      uint16_t* p = static_cast<uint16_t*>(row);
      if (all)
        for (int32_t i = 0; i < 3 * w; ++i) p[i] = t[p[i]];
      else
        for (int32_t i = 0; i < 3 * w; ++i)
          if (sel[i % 3]) p[i] = t[p[i]];
    });
  }
}

// ---------------------------------------------------------------------------
// Histogram matching

void VXMatchChannelHistogram(TVXBitmap* Bitmap, TVXChannel Channel, const int64_t* RefHist, int64_t RefCount) {
  if (!Bitmap || Bitmap->IsEmpty() || !RefHist || RefCount <= 0) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx48RGB) return;
  const int32_t w = Bitmap->Width(), h = Bitmap->Height(), c = ChannelIndex(Channel, fmt);
  // The channel's histogram (a 16-bit value by its high byte).
  int64_t hist[256] = {};
  for (int32_t y = 0; y < h; ++y) {
    const void* row = Bitmap->GetRow(y);
    if (fmt == vx24RGB) {
      const uint8_t* p = static_cast<const uint8_t*>(row);
      for (int32_t x = 0; x < w; ++x) ++hist[p[3 * x + c]];
    } else {
      const uint16_t* p = static_cast<const uint16_t*>(row);
      for (int32_t x = 0; x < w; ++x) ++hist[p[3 * x + c] >> 8];
    }
    Bitmap->FreeRow(y);
  }
  // Equalisation: e[i] = cumulative count x 255 / pixel count.
  const double pixels = double(int64_t(w) * h);
  int32_t equal[256];
  int64_t cum = 0;
  for (int32_t i = 0; i < 256; ++i) {
    cum += hist[i];
    equal[i] = int32_t(double(cum) * 255 / pixels);
  }
  // The reference's cumulative map and its inverse: for each level the
  // reference level whose map value is nearest (the smallest on a tie).
  double r[256];
  const double scale = 255 / double(RefCount);
  cum = 0;
  for (int32_t j = 0; j < 256; ++j) {
    cum += RefHist[j];
    r[j] = scale * double(cum);
  }
  int32_t lut[256];
  for (int32_t i = 0; i < 256; ++i) {
    int32_t best = 0;
    double bestDist = std::fabs(i - r[0]);
    for (int32_t j = 1; j < 256; ++j) {
      const double d = std::fabs(i - r[j]);
      if (d < bestDist) bestDist = d, best = j;
    }
    lut[i] = best;
  }
  // Both steps in one table: v := lut[Trunc(e[v])].
  int32_t map[256];
  for (int32_t i = 0; i < 256; ++i) map[i] = lut[equal[i]];
  for (int32_t y = 0; y < h; ++y) {
    void* row = Bitmap->GetRow(y);
    if (fmt == vx24RGB) {
      uint8_t* p = static_cast<uint8_t*>(row);
      for (int32_t x = 0; x < w; ++x) p[3 * x + c] = uint8_t(map[p[3 * x + c]]);
    } else {
      uint16_t* p = static_cast<uint16_t*>(row);
      for (int32_t x = 0; x < w; ++x) p[3 * x + c] = uint16_t(map[p[3 * x + c] >> 8] * 257);
    }
    Bitmap->FreeRow(y);
  }
}

void VXMatchHistogram(TVXBitmap* Reference, TVXBitmap* Bitmap) {
  if (!Usable(Reference, vx24RGB) || !Bitmap || Bitmap->IsEmpty()) return;
  if (Bitmap->PixelFormat() != vx24RGB && Bitmap->PixelFormat() != vx48RGB) return;
  // All three reference histograms first: Reference may be Bitmap itself.
  std::vector<int64_t> ref(3 * 256, 0);  // blue, green, red
  const int32_t w = Reference->Width();
  for (int32_t y = 0; y < Reference->Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(Reference->GetRow(y));
    for (int32_t x = 0; x < w; ++x)
      for (int32_t c = 0; c < 3; ++c) ++ref[size_t(c) * 256 + p[3 * x + c]];
    Reference->FreeRow(y);
  }
  const int64_t n = int64_t(w) * Reference->Height();
  VXMatchChannelHistogram(Bitmap, vxcBlue, &ref[0], n);
  VXMatchChannelHistogram(Bitmap, vxcGreen, &ref[256], n);
  VXMatchChannelHistogram(Bitmap, vxcRed, &ref[512], n);
}

// ---------------------------------------------------------------------------
// Channel gains and statistics

void VXApplyChannelGains(TVXBitmap* Bitmap, double GainBlue, double GainGreen, double GainRed, void* Sender,
                         const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap, vx24RGB)) return;
  uint8_t t[3][256];
  const double gains[3] = {GainBlue, GainGreen, GainRed};
  for (int32_t c = 0; c < 3; ++c)
    for (int32_t i = 0; i < 256; ++i) {
      const double v = i * gains[c];
      t[c][i] = !(v > 0) ? 0 : v >= 255 ? 255 : uint8_t(v);
    }
  const int32_t w = Bitmap->Width();
  ForEachRow(Bitmap, Sender, OnProgress, [&](void* row, int32_t) {
    uint8_t* p = static_cast<uint8_t*>(row);
    for (int32_t x = 0; x < w; ++x, p += 3) {
      p[0] = t[0][p[0]];
      p[1] = t[1][p[1]];
      p[2] = t[2][p[2]];
    }
  });
}

void VXChannelMeansNonZero(TVXBitmap* Bitmap, double Means[3], int64_t Counts[3]) {
  int64_t sum[3] = {0, 0, 0};
  for (int32_t c = 0; c < 3; ++c) Means[c] = 0, Counts[c] = 0;
  if (!Usable(Bitmap, vx24RGB)) return;
  const int32_t w = Bitmap->Width();
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < w; ++x, p += 3)
      for (int32_t c = 0; c < 3; ++c)
        if (p[c]) sum[c] += p[c], ++Counts[c];
    Bitmap->FreeRow(y);
  }
  for (int32_t c = 0; c < 3; ++c)
    if (Counts[c]) Means[c] = double(sum[c]) / double(Counts[c]);
}

void VXChannelMinMax(TVXBitmap* Bitmap, int32_t Min[3], int32_t Max[3]) {
  for (int32_t c = 0; c < 3; ++c) Min[c] = 65535, Max[c] = 0;
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx48RGB) return;
  const int32_t n = 3 * Bitmap->Width();
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const void* row = Bitmap->GetRow(y);
    for (int32_t i = 0; i < n; ++i) {
      const int32_t v =
          fmt == vx24RGB ? static_cast<const uint8_t*>(row)[i] : static_cast<const uint16_t*>(row)[i];
      const int32_t c = i % 3;
      Min[c] = std::min(Min[c], v);
      Max[c] = std::max(Max[c], v);
    }
    Bitmap->FreeRow(y);
  }
}

// ---------------------------------------------------------------------------
// White balances

void VXDoWhiteBalanceGrayWorld(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap, vx24RGB)) return;
  double mean[3];
  int64_t count[3];
  VXChannelMeansNonZero(Bitmap, mean, count);
  const double m = std::max({mean[0], mean[1], mean[2]});
  double gain[3];
  for (int32_t c = 0; c < 3; ++c) gain[c] = count[c] ? m / mean[c] : 1;
  VXApplyChannelGains(Bitmap, gain[0], gain[1], gain[2], Sender, OnProgress);
}

void VXDoWhiteBalanceWhiteAt(TVXBitmap* Bitmap, int32_t WhiteX, int32_t WhiteY, void* Sender,
                             const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap, vx24RGB)) return;
  if (WhiteX < 0 || WhiteY < 0 || WhiteX >= Bitmap->Width() || WhiteY >= Bitmap->Height()) return;
  int32_t mn[3], mx[3];
  VXChannelMinMax(Bitmap, mn, mx);
  const TRGB p = Bitmap->Pixels_vx24RGB(WhiteX, WhiteY);
  const int32_t v[3] = {std::max<int32_t>(p.b, 1), std::max<int32_t>(p.g, 1), std::max<int32_t>(p.r, 1)};
  VXApplyChannelGains(Bitmap, double(mx[0]) / v[0], double(mx[1]) / v[1], double(mx[2]) / v[2], Sender,
                      OnProgress);
}

void VXDoWhiteBalanceAutoWhite(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap, vx24RGB)) return;
  auto in = [](double h, double lo, double hi) { return h >= lo && h <= hi; };
  int64_t sum[3] = {0, 0, 0}, count = 0;
  const int32_t w = Bitmap->Width();
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const TRGB* p = static_cast<const TRGB*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < w; ++x) {
      double H, S, L;
      VXRGBToHSL(p[x], H, S, L);
      if (S < 0.3 && L > 0.7 && !in(H, 0.01, 0.04) && !in(H, 0.35, 0.5) && !in(H, 0.57, 0.59)) {
        sum[0] += p[x].b, sum[1] += p[x].g, sum[2] += p[x].r;
        ++count;
      }
    }
    Bitmap->FreeRow(y);
  }
  double gain[3];
  for (int32_t c = 0; c < 3; ++c) gain[c] = 255 / (count ? double(sum[c]) / double(count) : 255.0);
  VXApplyChannelGains(Bitmap, gain[0], gain[1], gain[2], Sender, OnProgress);
}

void VXDoAdjustGainOffset(TVXBitmap* Bitmap, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx48RGB) return;
  int32_t mn[3], mx[3];
  VXChannelMinMax(Bitmap, mn, mx);
  const int64_t full = fmt == vx24RGB ? 255 : 65535;
  // Per channel a table from value to value; integer arithmetic, so that the
  // maximum lands on full exactly.
  std::vector<int32_t> t(size_t(3) * size_t(full + 1));
  for (int32_t c = 0; c < 3; ++c)
    for (int64_t v = 0; v <= full; ++v) {
      const int64_t range = mx[c] - mn[c];
      t[size_t(c) * size_t(full + 1) + size_t(v)] =
          range <= 0 || v < mn[c] ? int32_t(v) : int32_t(std::min(full, (v - mn[c]) * full / range));
    }
  const int32_t n = 3 * Bitmap->Width();
  ForEachRow(Bitmap, Sender, OnProgress, [&](void* row, int32_t) {
    for (int32_t i = 0; i < n; ++i) {
      const size_t base = size_t(i % 3) * size_t(full + 1);
      if (fmt == vx24RGB) {
        uint8_t& v = static_cast<uint8_t*>(row)[i];
        v = uint8_t(t[base + v]);
      } else {
        uint16_t& v = static_cast<uint16_t*>(row)[i];
        v = uint16_t(t[base + v]);
      }
    }
  });
}

// ---------------------------------------------------------------------------
// Region casts

void VXDoCastColor(TVXBitmap* Bitmap, int32_t x, int32_t y, TRGB newColor, int32_t tolerance, void* Sender,
                   const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap, vx24RGB) || x < 0 || y < 0 || x >= Bitmap->Width() || y >= Bitmap->Height()) return;
  CastRegion(Bitmap, x, y, tolerance, Sender, OnProgress,
             [&](int32_t row, int32_t col) { static_cast<TRGB*>(Bitmap->ScanLine(row))[col] = newColor; });
}

void VXDoCastAlpha(TVXBitmap* Bitmap, int32_t x, int32_t y, int32_t newAlpha, int32_t tolerance, void* Sender,
                   const TVXProgressEvent& OnProgress) {
  if (!Usable(Bitmap, vx24RGB) || x < 0 || y < 0 || x >= Bitmap->Width() || y >= Bitmap->Height()) return;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha) return;
  const uint8_t a = uint8_t(std::clamp(newAlpha, 0, 255));
  CastRegion(Bitmap, x, y, tolerance, Sender, OnProgress,
             [&](int32_t row, int32_t col) { static_cast<uint8_t*>(alpha->ScanLine(row))[col] = a; });
  alpha->SyncFull();
}

// ---------------------------------------------------------------------------
// Colorize

TRGB VXColorizeColor(TRGB Color, int32_t hue, int32_t saturation, double luminosity) {
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int64_t sum = int64_t(Color.r) * s->RedToGrayCoef() + int64_t(Color.g) * s->GreenToGrayCoef() +
                      int64_t(Color.b) * s->BlueToGrayCoef();
  const uint32_t grey = uint32_t(sum) >> 8;  // a logical shift of the 32-bit sum
  const double v = luminosity * double(grey);
  // VXHSVToRGB clamps the value to 0 .. 99 anyway.
  const int32_t value = !(v > 0) ? 0 : v >= 100 ? 100 : int32_t(v);
  return VXHSVToRGB(hue, saturation, value);
}

void VXDoColorize(TVXBitmap* Bitmap, int32_t hue, int32_t saturation, double luminosity, void* Sender,
                  const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  if (Bitmap->PixelFormat() == vx8p) {
    for (int32_t i = 0; i < std::min(256, Bitmap->PaletteLength()); ++i)
      Bitmap->SetPalette(i, VXColorizeColor(Bitmap->Palette(i), hue, saturation, luminosity));
    return;
  }
  if (Bitmap->PixelFormat() != vx24RGB) return;
  const int32_t w = Bitmap->Width();
  ForEachRow(Bitmap, Sender, OnProgress, [&](void* row, int32_t) {
    TRGB* p = static_cast<TRGB*>(row);
    for (int32_t x = 0; x < w; ++x) p[x] = VXColorizeColor(p[x], hue, saturation, luminosity);
  });
}
