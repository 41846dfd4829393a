// Projective drawing onto a quadrilateral and the 3D placement of a picture.

#include "proc/perspective.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/bitmap.h"
#include "proc/saturate.h"

using vxproc::TruncSat;

namespace {

int32_t ToInt32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The projective mapping of the unit square onto a quad, as the matrix
// [a b c; d e f; g h 1] acting on (u, v, 1), and its inverse as the adjoint.
struct TProjection {
  double a, b, c, d, e, f, g, h;
};

// False when the corners make no quadrilateral.
bool SquareToQuad(const double X[4], const double Y[4], TProjection& m) {
  const double Sx = X[0] - X[1] + X[2] - X[3];
  const double Sy = Y[0] - Y[1] + Y[2] - Y[3];
  m.c = X[0];
  m.f = Y[0];
  if (Sx == 0 && Sy == 0) {  // a parallelogram: affine
    m.a = X[1] - X[0];
    m.b = X[2] - X[1];
    m.d = Y[1] - Y[0];
    m.e = Y[2] - Y[1];
    m.g = m.h = 0;
    return true;
  }
  const double delta = (X[1] - X[2]) * (Y[3] - Y[2]) - (Y[1] - Y[2]) * (X[3] - X[2]);
  if (delta == 0) return false;
  m.g = (Sx * (Y[3] - Y[2]) - Sy * (X[3] - X[2])) / delta;
  m.h = (Sy * (X[1] - X[2]) - Sx * (Y[1] - Y[2])) / delta;
  m.a = X[1] - X[0] + m.g * X[1];
  m.b = X[3] - X[0] + m.h * X[3];
  m.d = Y[1] - Y[0] + m.g * Y[1];
  m.e = Y[3] - Y[0] + m.h * Y[3];
  return true;
}

struct TAdjoint {
  double A, B, C, D, E, F, G, H, I;
};

TAdjoint Adjoint(const TProjection& m) {
  return TAdjoint{m.e - m.f * m.h, m.c * m.h - m.b, m.b * m.f - m.c * m.e,
                  m.f * m.g - m.d, m.a - m.c * m.g, m.c * m.d - m.a * m.f,
                  m.d * m.h - m.e * m.g, m.b * m.g - m.a * m.h, m.a * m.e - m.b * m.d};
}

uint8_t Blend(uint8_t d, uint8_t s, int64_t alpha) {
  return uint8_t(std::clamp<int64_t>(d + ((alpha * (int64_t(s) - d)) >> 8), 0, 255));
}

// Cut to alphaMin .. alphaMax: below the minimum it becomes the minimum,
// else above the maximum the maximum.
int64_t Cut(int64_t alpha, int64_t alphaMin, int64_t alphaMax) {
  if (alpha < alphaMin) return alphaMin;
  if (alpha > alphaMax) return alphaMax;
  return alpha;
}

}  // namespace

void VXDrawToQuad(TVXBitmap* Source, TVXBitmap* Dest, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                  int32_t y2, int32_t x3, int32_t y3, int32_t alphaMin, int32_t alphaMax, bool mergeAlpha,
                  int32_t Transparency) {
  if (!Source || !Dest || Source->PixelFormat() != vx24RGB || Dest->PixelFormat() != vx24RGB) return;
  if (Source->IsEmpty() || Dest->IsEmpty() || Source == Dest) return;
  const int64_t xs[4] = {x0, x1, x2, x3}, ys[4] = {y0, y1, y2, y3};
  const int64_t minX = *std::min_element(xs, xs + 4), maxX = *std::max_element(xs, xs + 4);
  const int64_t minY = *std::min_element(ys, ys + 4), maxY = *std::max_element(ys, ys + 4);
  if (maxX == -1 || maxY == -1 || x0 == x1 || y2 == y0 || Transparency == 0) return;

  const double scaleX = double(maxX + 1), scaleY = double(maxY + 1);
  double X[4], Y[4];
  for (int i = 0; i < 4; ++i) {
    X[i] = double(xs[i]) / scaleX;
    Y[i] = double(ys[i]) / scaleY;
  }
  TProjection m;
  if (!SquareToQuad(X, Y, m)) return;
  const TAdjoint inv = Adjoint(m);

  const int32_t SW = Source->Width(), SH = Source->Height();
  const int32_t DW = Dest->Width(), DH = Dest->Height();
  TVXBitmap* srcAlpha = Source->AlphaChannel();
  TVXBitmap* dstAlpha = mergeAlpha ? nullptr : Dest->AlphaChannel();
  if (!srcAlpha || (!mergeAlpha && !dstAlpha)) return;
  const bool gradient = alphaMin >= 0 && alphaMax >= 0;
  const bool upright = y0 < y3;
  bool lowered = false;  // an alpha below 255 was written

  const int64_t rowFirst = std::clamp<int64_t>(minY, 0, DH - 1), rowLast = std::clamp<int64_t>(maxY, 0, DH - 1);
  const int64_t colFirst = std::clamp<int64_t>(minX, 0, DW - 1), colLast = std::clamp<int64_t>(maxX, 0, DW - 1);
  for (int64_t y = rowFirst; y <= rowLast; ++y) {
    TRGB* drow = static_cast<TRGB*>(Dest->ScanLine(int32_t(y)));
    uint8_t* arow = dstAlpha ? static_cast<uint8_t*>(dstAlpha->ScanLine(int32_t(y))) : nullptr;
    const double yn = double(y) / scaleY;
    for (int64_t x = colFirst; x <= colLast; ++x) {
      const double xn = double(x) / scaleX;
      double den = inv.G * xn + inv.H * yn + inv.I;
      if (den == 0) den = 1;
      const double u = (inv.A * xn + inv.B * yn + inv.C) / den;
      const double v = (inv.D * xn + inv.E * yn + inv.F) / den;
      const int64_t sx = TruncSat(u * SW + 0.5), sy = TruncSat(v * SH + 0.5);
      if (sx < 0 || sx >= SW || sy < 0 || sy >= SH) continue;
      const TRGB s = Source->Pixels_vx24RGB(int32_t(sx), int32_t(sy));
      const int64_t sa = srcAlpha->Pixels_vx8(int32_t(sx), int32_t(sy));
      TRGB& d = drow[x];
      int64_t alpha;
      if (gradient && mergeAlpha) {
        const int64_t g = upright ? 255 - sy * 255 / SH : sy * 255 / SH;
        alpha = Cut(std::min({g, sa, int64_t(Transparency)}), alphaMin, alphaMax);
      } else if (gradient) {
        const double g = upright ? 1 - double(sy) / SH : double(sy) / SH;
        alpha = Cut(std::min({TruncSat(g * double(sa)), sa, int64_t(Transparency)}), alphaMin, alphaMax);
      } else {
        alpha = std::min(int64_t(Transparency), sa);
      }
      if (mergeAlpha) {
        d = TRGB{Blend(d.b, s.b, alpha), Blend(d.g, s.g, alpha), Blend(d.r, s.r, alpha)};
      } else {
        d = s;
        arow[x] = uint8_t(std::clamp<int64_t>(alpha, 0, 255));
        lowered |= arow[x] != 255;
      }
    }
  }
  if (dstAlpha && (gradient || lowered)) dstAlpha->SetFull(false);
}

void VXProjectDraw3D(TVXBitmap* Source, TVXBitmap* Dest, int32_t centerDestX, int32_t centerDestY, int32_t destWidth,
                     int32_t destHeight, int32_t translateX, int32_t translateY, double depth, double rotateX,
                     double rotateY, int32_t specularAlphaMin, int32_t specularAlphaMax, TVXQuadCoords& Quad,
                     int32_t Mode, bool mergeAlpha, int32_t Transparency) {
  if (Mode < 0 || Mode > 2) return;
  if (Mode != 1) {
    const double W = destWidth, H = destHeight;
    const double offX = W / 2 - translateX, offY = H / 2 - translateY;
    const double ay = rotateY * std::numbers::pi / 180, ax = rotateX * std::numbers::pi / 180;
    const double cy = std::cos(ay), sy = std::sin(ay), cx = std::cos(ax), sx = std::sin(ax);
    const double corners[4][2] = {{0, 0}, {W, 0}, {W, H}, {0, H}};
    int32_t q[8];
    for (int i = 0; i < 4; ++i) {
      double x = corners[i][0] - offX, y = corners[i][1] - offY, z = 0;
      // About the vertical axis, then about the horizontal one.
      const double x1 = cy * x + sy * z, z1 = cy * z - sy * x;
      const double y2 = cx * y - sx * z1, z2 = sx * y + cx * z1;
      x = x1;
      y = y2;
      z = z2;
      if (!(depth + z > 0)) return;  // at or behind the eye
      const double X = x * depth / (depth + z), Y = y * depth / (depth + z);
      q[2 * i] = ToInt32(TruncSat(centerDestX + X - translateX));
      q[2 * i + 1] = ToInt32(TruncSat(centerDestY + Y - translateY));
    }
    Quad = TVXQuadCoords{q[0], q[1], q[2], q[3], q[4], q[5], q[6], q[7]};
  }
  if (Mode == 0) return;
  const TVXQuadCoords& k = Quad;
  VXDrawToQuad(Source, Dest, k.x0, k.y0, k.x1, k.y1, k.x2, k.y2, k.x3, k.y3, -1, -1, mergeAlpha, Transparency);
  if (specularAlphaMin >= 0 && specularAlphaMax >= 0) {
    // The picture mirrored below its bottom edge: the source's top row lies
    // farthest from the picture and the gradient rises from it.
    const int64_t t = std::abs(int64_t(k.y3) - k.y0), v = std::abs(int64_t(k.y2) - k.y1);
    VXDrawToQuad(Source, Dest, k.x0, ToInt32(k.y3 + t), k.x1, ToInt32(k.y2 + v), k.x2, ToInt32(k.y1 + v), k.x3,
                 ToInt32(k.y0 + t), specularAlphaMin, specularAlphaMax, mergeAlpha, Transparency);
  }
}
