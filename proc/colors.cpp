// HSV conversions, HSV and RGB adjustments, colour ranges, channel
// extraction, channel shifts and reorders.

#include "proc/colors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"

namespace {

int32_t Round99(int32_t c) { return int32_t(std::nearbyint(double(c) / 255 * 99)); }

// Cuts the rectangle to the bitmap; false when the bitmap is not vx24RGB or
// nothing remains.
bool Prepare24(TVXBitmap* b, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2) {
  if (!b || b->PixelFormat() != vx24RGB || b->IsEmpty()) return false;
  x1 = std::max(x1, 0), y1 = std::max(y1, 0);
  x2 = std::min(x2, b->Width()), y2 = std::min(y2, b->Height());
  return x2 > x1 && y2 > y1;
}

// Calls Fn(TRGB&) for every pixel of the rectangle, with the row progress.
template <typename Fn>
void ForEachPixel(TVXBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2, void* Sender,
                  const TVXProgressEvent& OnProgress, Fn fn) {
  const double rows = y2 - y1;
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* p = static_cast<TRGB*>(b->GetRow(y));
    for (int32_t x = x1; x < x2; ++x) fn(p[x]);
    b->FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(double(y - y1 + 1) * 100 / (rows - 1 + 0.5)));
  }
}

}  // namespace

void VXRGBToHSV(TRGB rgb, int32_t& Hue, int32_t& Sat, int32_t& Val) {
  const int32_t r = Round99(rgb.r), g = Round99(rgb.g), b = Round99(rgb.b);
  const int32_t mx = std::max({r, g, b}), mn = std::min({r, g, b});
  Val = mx;
  Sat = mx == 0 ? 0 : (mx - mn) * 99 / mx;
  if (Sat == 0) {
    Hue = 0;
    return;
  }
  const int32_t d = mx - mn;
  if (r == mx)
    Hue = (g - b) * 60 / d;
  else if (g == mx)
    Hue = (b - r) * 60 / d + 120;
  else
    Hue = (r - g) * 60 / d + 240;
  if (Hue < 0) Hue += 360;
}

TRGB VXHSVToRGB(int32_t Hue, int32_t Sat, int32_t Val) {
  int64_t h = int64_t(Hue) % 360;
  if (h < 0) h += 360;
  const int32_t s = std::clamp(Sat, 0, 99), v = std::clamp(Val, 0, 99);
  int32_t r, g, b;
  if (s == 0) {
    r = g = b = v;
  } else {
    const int32_t f = int32_t(h % 60), sector = int32_t(h / 60);
    const int32_t p = v - s * v / 99, q = v - s * v * f / 5940, t = v - s * v * (60 - f) / 5940;
    switch (sector) {
      case 0: r = v, g = t, b = p; break;
      case 1: r = q, g = v, b = p; break;
      case 2: r = p, g = v, b = t; break;
      case 3: r = p, g = q, b = v; break;
      case 4: r = t, g = p, b = v; break;
      default: r = v, g = p, b = q; break;
    }
  }
  auto c = [](int32_t x) { return uint8_t(std::nearbyint(double(x) / 99 * 255)); };
  return TRGB{c(b), c(g), c(r)};
}

void VXDoHSVVar(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t oHue, int32_t oSat,
                int32_t oVal, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Prepare24(Bitmap, x1, y1, x2, y2)) return;
  ForEachPixel(Bitmap, x1, y1, x2, y2, Sender, OnProgress, [&](TRGB& p) {
    int32_t h, s, v;
    VXRGBToHSV(p, h, s, v);
    p = VXHSVToRGB(h + oHue, s + oSat, v + oVal);
  });
}

void VXDoIntensityRGBAll(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t r, int32_t g,
                         int32_t b, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Prepare24(Bitmap, x1, y1, x2, y2)) return;
  uint8_t tr[256], tg[256], tb[256];
  for (int32_t i = 0; i < 256; ++i) {
    tr[i] = uint8_t(std::clamp<int64_t>(int64_t(i) + r, 0, 255));
    tg[i] = uint8_t(std::clamp<int64_t>(int64_t(i) + g, 0, 255));
    tb[i] = uint8_t(std::clamp<int64_t>(int64_t(i) + b, 0, 255));
  }
  ForEachPixel(Bitmap, x1, y1, x2, y2, Sender, OnProgress, [&](TRGB& p) { p = TRGB{tb[p.b], tg[p.g], tr[p.r]}; });
}

void VXDoCastColorRange(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB BeginColor,
                        TRGB EndColor, TRGB CastColor, void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Prepare24(Bitmap, x1, y1, x2, y2)) return;
  ForEachPixel(Bitmap, x1, y1, x2, y2, Sender, OnProgress, [&](TRGB& p) {
    if (p.r >= BeginColor.r && p.r <= EndColor.r && p.g >= BeginColor.g && p.g <= EndColor.g &&
        p.b >= BeginColor.b && p.b <= EndColor.b)
      p = CastColor;
  });
}

int32_t VXDoMatchHSVRange(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t HueBegin,
                          int32_t HueEnd, int32_t SatBegin, int32_t SatEnd, int32_t ValBegin, int32_t ValEnd,
                          bool ColorizeMatched, TRGB MatchColor, bool ColorizeNonMatched, TRGB NonMatchColor,
                          void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Prepare24(Bitmap, x1, y1, x2, y2)) return 0;
  int32_t count = 0;
  ForEachPixel(Bitmap, x1, y1, x2, y2, Sender, OnProgress, [&](TRGB& p) {
    int32_t h, s, v;
    VXRGBToHSV(p, h, s, v);
    if (h >= HueBegin && h <= HueEnd && s >= SatBegin && s <= SatEnd && v >= ValBegin && v <= ValEnd) {
      ++count;
      if (ColorizeMatched) p = MatchColor;
    } else if (ColorizeNonMatched) {
      p = NonMatchColor;
    }
  });
  return count;
}

// ---------------------------------------------------------------------------
// Channel extraction

namespace {

// Allocates each destination as a vx24RGB image of Source's size, then
// writes Fn(pixel, k) as grey into destination k, reporting
// Trunc(row x 100 / height) after each row.
template <typename Fn>
bool Extract(TVXBitmap* Source, std::initializer_list<TVXBitmap*> Dests, void* Sender,
             const TVXProgressEvent& OnProgress, Fn fn) {
  if (!Source || Source->PixelFormat() != vx24RGB || Source->IsEmpty()) return false;
  const int32_t W = Source->Width(), H = Source->Height();
  for (TVXBitmap* d : Dests)
    if (!d || !d->Allocate(W, H, vx24RGB)) return false;
  for (int32_t y = 0; y < H; ++y) {
    const TRGB* s = static_cast<const TRGB*>(Source->GetRow(y));
    int32_t k = 0;
    for (TVXBitmap* d : Dests) {
      TRGB* o = static_cast<TRGB*>(d->GetRow(y));
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t v = fn(s[x], k);
        o[x] = TRGB{v, v, v};
      }
      d->FreeRow(y);
      ++k;
    }
    Source->FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / H));
  }
  return true;
}

uint8_t HSVGrey(TRGB p, int32_t ch) {
  int32_t h, s, v;
  VXRGBToHSV(p, h, s, v);
  if (ch == 1) return uint8_t(double(s) / 99 * 255);
  if (ch == 2) return uint8_t(double(v) / 99 * 255);
  return uint8_t(double(h) / 359 * 255);
}

uint8_t ByteAt(TRGB p, int32_t pos) { return pos <= 0 ? p.b : pos == 1 ? p.g : p.r; }

}  // namespace

bool VXExtractHSVChannel(TVXBitmap* Source, TVXBitmap* Dest, int32_t ch, void* Sender,
                         const TVXProgressEvent& OnProgress) {
  return Extract(Source, {Dest}, Sender, OnProgress, [&](TRGB p, int32_t) { return HSVGrey(p, ch); });
}

bool VXExtractRGBChannel(TVXBitmap* Source, TVXBitmap* Dest, int32_t BytePos, void* Sender,
                         const TVXProgressEvent& OnProgress) {
  if (BytePos < 0) return false;
  return Extract(Source, {Dest}, Sender, OnProgress, [&](TRGB p, int32_t) { return ByteAt(p, BytePos); });
}

bool VXExtractHSVChannels(TVXBitmap* Source, TVXBitmap* H, TVXBitmap* S, TVXBitmap* V, void* Sender,
                          const TVXProgressEvent& OnProgress) {
  return Extract(Source, {H, S, V}, Sender, OnProgress, [](TRGB p, int32_t k) { return HSVGrey(p, k); });
}

bool VXExtractRGBChannels(TVXBitmap* Source, TVXBitmap* R, TVXBitmap* G, TVXBitmap* B, void* Sender,
                          const TVXProgressEvent& OnProgress) {
  return Extract(Source, {R, G, B}, Sender, OnProgress, [](TRGB p, int32_t k) { return ByteAt(p, 2 - k); });
}

// ---------------------------------------------------------------------------
// Channel shift and reorder

void VXDoShiftChannel(TVXBitmap* Bitmap, int32_t offsetX, int32_t offsetY, int32_t fillValue, TVXChannel channel,
                      void* Sender, const TVXProgressEvent& OnProgress) {
  if (!Bitmap || Bitmap->IsEmpty() || channel > vxcBlue) return;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx48RGB) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  // Byte offset of the channel inside a pixel, and the pixel's size.
  const int32_t size = fmt == vx24RGB ? 3 : 6;
  const int32_t at = fmt == vx24RGB ? (channel == vxcRed ? 2 : channel == vxcGreen ? 1 : 0)
                                    : 2 * (channel == vxcRed ? 0 : channel == vxcGreen ? 1 : 2);
  const int32_t width = fmt == vx24RGB ? 1 : 2;
  TVXBitmap result(Bitmap);
  uint8_t fill[2];
  if (width == 1) {
    fill[0] = uint8_t(fillValue);
  } else {
    const uint16_t w = uint16_t(fillValue);
    std::memcpy(fill, &w, 2);
  }
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* out = static_cast<uint8_t*>(result.GetRow(y));
    int64_t sy = int64_t(y) - offsetY;
    const bool rowInside = sy >= 0 && sy < H;
    if (fillValue < 0) sy = std::clamp<int64_t>(sy, 0, H - 1);
    const uint8_t* src = (rowInside || fillValue < 0) ? static_cast<const uint8_t*>(Bitmap->GetRow(int32_t(sy))) : nullptr;
    for (int32_t x = 0; x < W; ++x) {
      int64_t sx = int64_t(x) - offsetX;
      const bool inside = rowInside && sx >= 0 && sx < W;
      if (fillValue < 0) sx = std::clamp<int64_t>(sx, 0, W - 1);
      const uint8_t* v = (inside || fillValue < 0) ? src + sx * size + at : fill;
      std::memcpy(out + size_t(x) * size_t(size) + size_t(at), v, size_t(width));
    }
    if (src) Bitmap->FreeRow(int32_t(sy));
    result.FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / H));
  }
  Bitmap->AssignImage(&result);
}

bool vxdetail::VXParseChannelDisposition(const std::string& newDispo, int32_t from[3]) {
  if (newDispo.size() < 3) return false;
  for (int i = 0; i < 3; ++i) {
    switch (std::toupper(static_cast<unsigned char>(newDispo[size_t(i)]))) {
      case 'R': from[i] = 0; break;
      case 'G': from[i] = 1; break;
      case 'B': from[i] = 2; break;
      case '0': from[i] = 3; break;
      default: return false;
    }
  }
  return true;
}

bool VXDoDisposeChannels(TVXBitmap* Bitmap, const std::string& newDispo, void* Sender,
                         const TVXProgressEvent& OnProgress) {
  int32_t from[3];
  if (!vxdetail::VXParseChannelDisposition(newDispo, from)) return false;
  if (!Bitmap || Bitmap->IsEmpty()) return true;
  const TVXPixelFormat fmt = Bitmap->PixelFormat();
  if (fmt != vx24RGB && fmt != vx48RGB) return true;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < W; ++x) {
      if (fmt == vx24RGB) {
        TRGB* p = reinterpret_cast<TRGB*>(row) + x;
        const int32_t old[4] = {p->r, p->g, p->b, 0};
        *p = TRGB{uint8_t(old[from[0]]), uint8_t(old[from[1]]), uint8_t(old[from[2]])};
      } else {
        uint16_t w[3];
        std::memcpy(w, row + 6 * size_t(x), 6);  // red, green, blue
        const uint16_t old[4] = {w[0], w[1], w[2], 0};
        const uint16_t n[3] = {old[from[2]], old[from[1]], old[from[0]]};
        std::memcpy(row + 6 * size_t(x), n, 6);
      }
    }
    Bitmap->FreeRow(y);
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / H));
  }
  return true;
}
