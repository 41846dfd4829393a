// Lens, wave, bump mapping and radial stretch.

#include "proc/distort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "proc/saturate.h"

using vxproc::RoundSat;
using vxproc::TruncSat;

namespace {

constexpr double kPi = std::numbers::pi;

uint8_t ClampByte(int64_t v) { return uint8_t(std::clamp<int64_t>(v, 0, 255)); }

// The pixels of a vx24RGB bitmap, rows top to bottom.
std::vector<TRGB> ReadPixels(TVXBitmap* Bitmap) {
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  std::vector<TRGB> pixels(size_t(W) * size_t(H));
  for (int32_t y = 0; y < H; ++y) std::memcpy(&pixels[size_t(y) * size_t(W)], Bitmap->ScanLine(y), size_t(W) * 3);
  return pixels;
}

void WritePixels(TVXBitmap* Bitmap, const std::vector<TRGB>& pixels) {
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  for (int32_t y = 0; y < H; ++y) std::memcpy(Bitmap->ScanLine(y), &pixels[size_t(y) * size_t(W)], size_t(W) * 3);
}

// Channel 0 blue, 1 green, 2 red.
uint8_t& Channel(TRGB& p, int c) { return c == 0 ? p.b : c == 1 ? p.g : p.r; }
uint8_t Channel(const TRGB& p, int c) { return c == 0 ? p.b : c == 1 ? p.g : p.r; }

void Report(TProgressRec& Progress, int32_t Percent) {
  if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, Percent);
}

// Refraction of one coordinate w of a point at depth z through a glass of
// index n (n >= 1): the ray leaving the surface is bent toward the normal.
double Refract(double w, double z, double n) {
  const double cosine = std::clamp(w / std::sqrt(w * w + z * z), -1.0, 1.0);
  const double angle = kPi / 2 - std::acos(cosine);
  return w - z * std::tan(angle - std::asin(std::sin(angle) / n));
}

}  // namespace

// ---------------------------------------------------------------------------
// Lens

void VXDoLens(TVXBitmap* Bitmap, int32_t cx, int32_t cy, int32_t Width, int32_t Height, double Refraction,
              TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  if (!(std::fabs(Refraction) >= 1)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int64_t x0 = std::clamp<int64_t>(int64_t(cx) - Width / 2, 0, W - 1);
  const int64_t x1 = std::clamp<int64_t>(int64_t(cx) + Width / 2, 0, W - 1);
  const int64_t y0 = std::clamp<int64_t>(int64_t(cy) - Height / 2, 0, H - 1);
  const int64_t y1 = std::clamp<int64_t>(int64_t(cy) + Height / 2, 0, H - 1);
  const int64_t Wb = x1 - x0, Hb = y1 - y0;
  if (Wb <= 0 || Hb <= 0) return;
  const double A = double(Wb) / 2, B = double(Hb) / 2;
  const double R = std::min(A, B);
  const double n = std::fabs(Refraction);
  const std::vector<TRGB> source = ReadPixels(Bitmap);
  std::vector<TRGB> buffer(size_t(Wb) * size_t(Hb));
  auto at = [&](int64_t x, int64_t y) {
    return source[size_t(std::clamp<int64_t>(y, 0, H - 1)) * size_t(W) + size_t(std::clamp<int64_t>(x, 0, W - 1))];
  };
  for (int64_t i = 0; i < Wb; ++i) {
    for (int64_t j = 0; j < Hb; ++j) {
      const double u = double(i) - A + 0.5;
      const double v = -(double(j) - B) - 0.5;
      TRGB& out = buffer[size_t(j) * size_t(Wb) + size_t(i)];
      if (B * B - B * B * u * u / (A * A) <= v * v) {
        out = at(x0 + i, y0 + j);
        continue;
      }
      double z = std::sqrt((1 - u * u / (A * A) - v * v / (B * B)) * R * R);
      if (Refraction < 0) z = -z;
      double ur = u, vr = v;
      if (z != 0 && z == z) {  // at the rim the ray passes straight
        ur = Refract(u, z, n);
        vr = Refract(v, z, n);
      }
      out = at(x0 + TruncSat(ur + A), y0 + TruncSat(-vr + B));
    }
    Report(Progress, int32_t(i * 100 / Wb));
  }
  for (int64_t j = 0; j < Hb; ++j)
    std::memcpy(static_cast<TRGB*>(Bitmap->ScanLine(int32_t(y0 + j))) + x0, &buffer[size_t(j) * size_t(Wb)],
                size_t(Wb) * 3);
}

// ---------------------------------------------------------------------------
// Wave

void VXDoWave(TVXBitmap* Bitmap, int32_t amplitude, int32_t wavelength, int32_t phase, bool reflective,
              TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  if (amplitude == 0 || wavelength == 0) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const std::vector<TRGB> source = ReadPixels(Bitmap);
  std::vector<TRGB> result(source.size());
  // Rows are counted from the bottom (r); the ripples are circles in a space
  // stretched along the image's shorter side.
  const double cx = (W - 1) / 2.0, cr = (H - 1) / 2.0;
  const double kx = std::max(1.0, (H / 2.0) / (W / 2.0));
  const double kr = std::max(1.0, (W / 2.0) / (H / 2.0));
  const double P = phase * kPi / 180;
  // The highest first sample: 0 .. size - 2, 0 on a one-pixel side.
  const int64_t maxX = std::max(W - 2, 0), maxR = std::max(H - 2, 0);
  auto sample = [&](int64_t x, int64_t r, int channel) -> double {
    if (x < 0 || x >= W || r < 0 || r >= H) return 0;
    return Channel(source[size_t(H - 1 - r) * size_t(W) + size_t(x)], channel);
  };
  for (int32_t y = 0; y < H; ++y) {
    const int32_t r = H - 1 - y;
    for (int32_t x = 0; x < W; ++x) {
      const double a = (x - cx) * kx, b = (r - cr) * kr;
      const double D = std::sqrt(a * a + b * b);
      const double s = std::sin(D / (2.0 * wavelength) * 2 * kPi + P);
      double srcX, srcR;
      if (reflective) {
        const double g = std::fabs(s) * amplitude;
        srcX = cx + a * g / kx;
        srcR = cr + b * g / kr;
      } else {
        const double f = s * amplitude;
        srcX = (f + a) / kx + cx;
        srcR = (f + b) / kr + cr;
      }
      const int64_t sx = std::clamp<int64_t>(TruncSat(srcX), 0, maxX);
      const int64_t sr = std::clamp<int64_t>(TruncSat(srcR), 0, maxR);
      double fx = srcX - std::trunc(srcX), fr = srcR - std::trunc(srcR);
      if (fx < 0) fx += 1;
      if (fr < 0) fr += 1;
      uint8_t out[3];
      for (int c = 0; c < 3; ++c) {
        const double q1 = sample(sx, sr, c), q2 = sample(sx + 1, sr, c);
        const double q3 = sample(sx, sr + 1, c), q4 = sample(sx + 1, sr + 1, c);
        out[c] = ClampByte(TruncSat((1 - fr) * ((1 - fx) * q1 + fx * q2) + fr * ((1 - fx) * q3 + fx * q4)));
      }
      result[size_t(y) * size_t(W) + size_t(x)] = TRGB{out[0], out[1], out[2]};
    }
    Report(Progress, int32_t(int64_t(y) * 100 / H));
  }
  WritePixels(Bitmap, result);
}

// ---------------------------------------------------------------------------
// Bump mapping

void VXDoBumpMapping(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t LightX,
                     int32_t LightY, int32_t LampX, int32_t LampY, int32_t pcf, TRGB Color, TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  if (LampX == 0 || LampY == 0) return;
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, Bitmap->Width());
  y2 = std::min(y2, Bitmap->Height());
  if (x1 >= x2 || y1 >= y2) return;

  // A bright spot falling off to the rim; 1 x 256 at the very centre wraps
  // to 0, so the centre takes the mean of its diagonal neighbours.
  std::vector<uint8_t> light(256 * 256);
  for (int gy = 0; gy < 256; ++gy)
    for (int gx = 0; gx < 256; ++gx) {
      const double d = std::sqrt(((gx - 128) / 128.0) * ((gx - 128) / 128.0) + ((gy - 128) / 128.0) * ((gy - 128) / 128.0));
      light[size_t(gy) * 256 + size_t(gx)] = uint8_t(int32_t(std::max(0.0, 1 - d) * 256) % 256);
    }
  light[128 * 256 + 128] = uint8_t((light[129 * 256 + 129] + light[127 * 256 + 127]) / 2);

  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int64_t cr = s->RedToGrayCoef(), cg = s->GreenToGrayCoef(), cb = s->BlueToGrayCoef();
  const int32_t cols = x2 - x1, rows = y2 - y1;
  std::vector<uint8_t> height(size_t(cols) * size_t(rows));
  for (int32_t y = y1; y < y2; ++y) {
    const TRGB* row = static_cast<const TRGB*>(Bitmap->ScanLine(y));
    for (int32_t x = x1; x < x2; ++x)
      height[size_t(y - y1) * size_t(cols) + size_t(x - x1)] =
          ClampByte((row[x].r * cr + row[x].g * cg + row[x].b * cb) / 100);
  }
  auto h = [&](int32_t x, int32_t y) -> int64_t { return height[size_t(y - y1) * size_t(cols) + size_t(x - x1)]; };

  const double wr = Color.r / 255.0, wg = Color.g / 255.0, wb = Color.b / 255.0;
  const double keep = pcf / 100.0, share = (100 - pcf) / 100.0;
  const int32_t lastX = x2 - 1, lastY = y2 - 1;
  for (int32_t y = y1; y < y2; ++y) {
    TRGB* row = static_cast<TRGB*>(Bitmap->ScanLine(y));
    for (int32_t x = x1; x < x2; ++x) {
      const int64_t dx = h(std::min(x + 1, lastX), y) - h(std::max(x - 1, x1), y);
      const int64_t dy = h(x, std::min(y + 1, lastY)) - h(x, std::max(y - 1, y1));
      const int64_t nx = std::clamp<int64_t>(dx - TruncSat(double(int64_t(x) - LightX) / LampX * 128) + 128, 0, 255);
      const int64_t ny = std::clamp<int64_t>(dy - TruncSat(double(int64_t(y) - LightY) / LampY * 128) + 128, 0, 255);
      const double L = light[size_t(ny) * 256 + size_t(nx)] * share;
      TRGB& p = row[x];
      p.r = ClampByte(RoundSat(p.r * keep + L * wr));
      p.g = ClampByte(RoundSat(p.g * keep + L * wg));
      p.b = ClampByte(RoundSat(p.b * keep + L * wb));
    }
    Report(Progress, int32_t(double(y - y1 + 1) * 100 / (rows - 1 + 0.5)));
  }
}

// ---------------------------------------------------------------------------
// Radial stretch

void VXDoRadialStretch(TVXBitmap* Bitmap, const TVXRadialCoefs& Red, const TVXRadialCoefs& Green,
                       const TVXRadialCoefs& Blue, TProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  const int32_t cx = W / 2, cy = H / 2;
  const double R0 = std::min(W, H) / 2.0;
  const std::vector<TRGB> source = ReadPixels(Bitmap);
  TVXBitmap* alpha = Bitmap->AlphaChannelOpt();
  std::vector<uint8_t> sourceAlpha, resultAlpha;
  if (alpha) {
    sourceAlpha.resize(size_t(W) * size_t(H));
    resultAlpha.assign(size_t(W) * size_t(H), 0);
    for (int32_t y = 0; y < H; ++y) std::memcpy(&sourceAlpha[size_t(y) * size_t(W)], alpha->ScanLine(y), size_t(W));
  }
  std::vector<TRGB> result(source.size(), TRGB{0, 0, 0});
  const TVXRadialCoefs* coefs[3] = {&Blue, &Green, &Red};
  int32_t last = -1;
  for (int c = 0; c < 3; ++c) {
    const TVXRadialCoefs& k = *coefs[c];
    for (int32_t y = 0; y < H; ++y) {
      const int32_t per = int32_t((double(y) / H / 3 + c / 3.0) * 100);
      if (per != last) {
        last = per;
        Report(Progress, per);
      }
      for (int32_t x = 0; x < W; ++x) {
        const double dx = x - cx, dy = y - cy;
        const double r = std::sqrt(dx * dx + dy * dy) / R0;
        const double s = k.A * r * r * r + k.B * r * r + k.C * r + k.D;
        const int64_t sx = cx + RoundSat(dx * s), sy = cy + RoundSat(dy * s);
        if (sx < 0 || sx >= W || sy < 0 || sy >= H) continue;  // stays 0
        const size_t from = size_t(sy) * size_t(W) + size_t(sx), to = size_t(y) * size_t(W) + size_t(x);
        Channel(result[to], c) = Channel(source[from], c);
        if (c == 0 && alpha) resultAlpha[to] = sourceAlpha[from];
      }
    }
  }
  WritePixels(Bitmap, result);
  if (alpha) {
    for (int32_t y = 0; y < H; ++y) std::memcpy(alpha->ScanLine(y), &resultAlpha[size_t(y) * size_t(W)], size_t(W));
    alpha->SyncFull();
  }
}
