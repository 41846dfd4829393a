// Nearest-pixel rotations: the 1-bit and 8-bit rotations with four-decimal
// sine and cosine, the renderer of every pixel format, exact quarter and half
// turns, and the helpers the rotation files share.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "core/bitrows.h"
#include "core/icc.h"
#include "core/rotate.h"
#include "core/rotate_internal.h"

namespace vxrotate {

void PrepareLike(TVXBitmap& Temp, TVXBitmap* Like) {
  if (Like->Location() != vxTBitmap) Temp.SetLocation(Like->Location());
  Temp.SetMinFileSize(Like->MinFileSize());
  Temp.SetMemoryAllocator(Like->MemoryAllocator());
  Temp.SetBitAlignment(Like->BitAlignment());
  Temp.SetOrigin(Like->Origin());
  Temp.SetDefaultDitherMethod(Like->DefaultDitherMethod());
}

void ReplaceImage(TVXBitmap* Bitmap, TVXBitmap& Image) {
  if (Image.IsEmpty() || &Image == Bitmap) return;
  const bool movable = Image.Origin() == Bitmap->Origin() && Image.BitAlignment() == Bitmap->BitAlignment() &&
                       !Bitmap->IsVirtual() && !Image.IsVirtual() && Bitmap->Location() != vxTBitmap &&
                       Image.Location() != vxTBitmap && !Bitmap->EncapsulatedFromTBitmap();
  if (!movable) {
    Bitmap->AssignImage(&Image);
    Image.FreeImage(true);
    return;
  }
  std::unique_ptr<TVXBitmap> alpha = Bitmap->SetAlphaChannel(nullptr);
  if (Bitmap->ColorProfile() && Image.ColorProfile()) Image.ColorProfile()->Assign(Bitmap->ColorProfile());
  Image.SetDefaultDitherMethod(Bitmap->DefaultDitherMethod());
  Image.SetMemoryAllocator(Bitmap->MemoryAllocator());
  Image.SwitchTo(Bitmap);
  (void)Bitmap->SetAlphaChannel(std::move(alpha));
  Bitmap->SetFull(false);
}

void AllocateOrRaise(TVXBitmap* Bitmap, int64_t Width, int64_t Height, TVXPixelFormat Format) {
  if (Width < 1 || Height < 1 || Width > 2147483647 || Height > 2147483647 ||
      !Bitmap->Allocate(int32_t(Width), int32_t(Height), Format))
    throw EVXException("Not enough memory to rotate the image");
}

TRows::TRows(TVXBitmap* Bitmap) : fBitmap(Bitmap) {
  const int32_t h = Bitmap->IsEmpty() ? 0 : Bitmap->Height();
  fRows.resize(size_t(h));
  for (int32_t y = 0; y < h; ++y) fRows[size_t(y)] = static_cast<uint8_t*>(Bitmap->GetRow(y));
}

TRows::~TRows() {
  for (int32_t y = int32_t(fRows.size()) - 1; y >= 0; --y) fBitmap->FreeRow(y);
}

namespace {

// Quarter turn of B-byte pixels in square tiles that keep the source and
// destination lines of a tile in the first-level cache. The source rows of a
// tile are looked up once; 3-byte pixels move as 4-byte words (the extra byte
// is overwritten by the next pixel), except where the word would read past
// the source row or write past the tile.
template <int B>
void TurnQuarterBytes(const TRows& src, const TRows& dst, int32_t W, int32_t H, bool Clockwise, int32_t b) {
  // Dest is H wide and W high. CCW: Dest(X, Y) = Source(W - 1 - Y, X);
  // CW: Dest(X, Y) = Source(Y, H - 1 - X).
  const int32_t size = B > 0 ? B : b;
  constexpr int32_t Tile = B > 0 && B <= 4 ? 64 : 32;
  const uint8_t* rows[Tile];
  for (int32_t X0 = 0; X0 < H; X0 += Tile) {
    const int32_t n = std::min(H, X0 + Tile) - X0;
    for (int32_t k = 0; k < n; ++k) rows[k] = Clockwise ? src[H - 1 - (X0 + k)] : src[X0 + k];
    for (int32_t Y0 = 0; Y0 < W; Y0 += Tile) {
      const int32_t Y1 = std::min(W, Y0 + Tile);
      for (int32_t Y = Y0; Y < Y1; ++Y) {
        uint8_t* d = dst[Y] + int64_t(X0) * size;
        const int64_t off = int64_t(Clockwise ? Y : W - 1 - Y) * size;
        int32_t k = 0;
        if constexpr (B == 3) {
          if (off + 4 <= int64_t(W) * 3)
            for (; k + 1 < n; ++k, d += 3) {
              uint32_t v;
              std::memcpy(&v, rows[k] + off, 4);
              std::memcpy(d, &v, 4);
            }
        }
        for (; k < n; ++k, d += size) std::memcpy(d, rows[k] + off, size_t(size));
      }
    }
  }
}

void TurnHalfBytes(const TRows& src, const TRows& dst, int32_t W, int32_t H, int32_t b) {
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* s = src[y];
    uint8_t* d = dst[H - 1 - y] + int64_t(W - 1) * b;
    if (b == 3) {
      for (int32_t x = 0; x < W; ++x, s += 3, d -= 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    } else if (b == 1) {
      for (int32_t x = 0; x < W; ++x) d[-x] = s[x];
    } else {
      for (int32_t x = 0; x < W; ++x, s += b, d -= b) std::memcpy(d, s, size_t(b));
    }
  }
}

}  // namespace

void TurnExact(TVXBitmap* Source, TVXBitmap* Dest, int Turn) {
  const int32_t W = Source->Width(), H = Source->Height();
  const TVXPixelFormat pf = Source->PixelFormat();
  const bool quarter = Turn != 2;
  AllocateOrRaise(Dest, quarter ? H : W, quarter ? W : H, pf);
  Source->CopyPaletteTo(Dest);
  const TRows src(Source), dst(Dest);
  const int32_t b = Source->BitCount() / 8;
  if (pf == vx1g) {
    for (int32_t y = 0; y < Dest->Height(); ++y) std::memset(dst[y], 0, size_t(Dest->RowLen()));
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* s = src[y];
      for (int32_t x = 0; x < W; ++x) {
        if (!(s[x >> 3] & (0x80 >> (x & 7)))) continue;
        int32_t X, Y;
        if (Turn == 1) {
          X = y;
          Y = W - 1 - x;
        } else if (Turn == 3) {
          X = H - 1 - y;
          Y = x;
        } else {
          X = W - 1 - x;
          Y = H - 1 - y;
        }
        dst[Y][X >> 3] |= uint8_t(0x80 >> (X & 7));
      }
    }
    return;
  }
  if (Turn == 2) {
    TurnHalfBytes(src, dst, W, H, b);
    return;
  }
  const bool cw = Turn == 3;
  switch (b) {
    case 1: TurnQuarterBytes<1>(src, dst, W, H, cw, b); break;
    case 2: TurnQuarterBytes<2>(src, dst, W, H, cw, b); break;
    case 3: TurnQuarterBytes<3>(src, dst, W, H, cw, b); break;
    case 4: TurnQuarterBytes<4>(src, dst, W, H, cw, b); break;
    case 6: TurnQuarterBytes<6>(src, dst, W, H, cw, b); break;
    default: TurnQuarterBytes<0>(src, dst, W, H, cw, b); break;
  }
}

}  // namespace vxrotate

using namespace vxrotate;

namespace {

constexpr long double kPi = 3.1415926535897932385L;

// Sine and cosine of Angle degrees, the angle taken to radians with the
// 80-bit pi.
void SinCos(double Angle, double& s, double& c) {
  const long double theta = (long double)Angle * kPi / 180.0L;
  s = double(sinl(theta));
  c = double(cosl(theta));
}

// The nearest-pixel rotation of VXRotate1Bit and VXRotateNearest8 by the
// general rule (four-decimal sine and cosine, truncated offsets).
template <typename Get, typename Put>
void NearestFourDecimals(int32_t W, int32_t H, double Angle, int64_t& NewW, int64_t& NewH,
                         std::vector<int32_t>& px, std::vector<int32_t>& py, Get get, Put put, bool sizeOnly) {
  const double r = -Angle / 57.295779513082320877;
  const double c = std::trunc(std::cos(r) * 10000) / 10000;
  const double s = std::trunc(std::sin(r) * 10000) / 10000;
  if (sizeOnly) {
    NewW = int64_t(std::trunc(std::fabs(W * c) + std::fabs(H * s)));
    NewH = int64_t(std::trunc(std::fabs(W * s) + std::fabs(H * c)));
    return;
  }
  px.resize(size_t(NewW));
  py.resize(size_t(NewW));
  for (int64_t j = 0; j < NewW; ++j) {
    const double dj = double(j) - (double(NewW) / 2 - 0.5);
    px[size_t(j)] = int32_t(std::trunc(c * dj));
    py[size_t(j)] = int32_t(std::trunc(-s * dj));
  }
  for (int64_t i = 0; i < NewH; ++i) {
    const double di = double(i) - (double(NewH) / 2 - 0.5);
    const int32_t u = int32_t(std::trunc(s * di + (double(W) / 2 - 0.5)));
    const int32_t v = int32_t(std::trunc(c * di + (double(H) / 2 - 0.5)));
    for (int64_t j = 0; j < NewW; ++j) {
      const int64_t sx = int64_t(u) + px[size_t(j)], sy = int64_t(v) + py[size_t(j)];
      if (sx >= 0 && sx < W && sy >= 0 && sy < H)
        put(int32_t(j), int32_t(i), get(int32_t(sx), int32_t(sy)), true);
      else
        put(int32_t(j), int32_t(i), 0, false);
    }
  }
}

// Exact turn of the 1-bit and 8-bit nearest rotations: 1 counter-clockwise,
// 2 half, 3 clockwise; 0 for the general rule.
int ExactTurnOf(double Angle) {
  if (Angle == 90) return 1;
  if (Angle == -90 || Angle == 270) return 3;
  if (Angle == 180 || Angle == -180) return 2;
  return 0;
}

// The start of the 1-bit and 8-bit nearest rotations: an exact turn is done
// here; else the size of the result is measured. True when the general rule
// is still to run (on a result of NW x NH), false when the call is done.
bool StartNearest(TVXBitmap* Bitmap, TVXBitmap& result, double Angle, int64_t& NW, int64_t& NH,
                  std::vector<int32_t>& px, std::vector<int32_t>& py) {
  PrepareLike(result, Bitmap);
  const int turn = ExactTurnOf(Angle);
  if (turn != 0) {
    TurnExact(Bitmap, &result, turn);
    ReplaceImage(Bitmap, result);
    return false;
  }
  NearestFourDecimals(Bitmap->Width(), Bitmap->Height(), Angle, NW, NH, px, py, [](int32_t, int32_t) { return 0; },
                      [](int32_t, int32_t, int, bool) {}, true);
  return NW >= 1 && NH >= 1;
}

}  // namespace

void VXRotate1Bit(TVXBitmap* Bitmap, bool White, TProgressRec& Progress, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->PixelFormat() != vx1g || !std::isfinite(Angle)) return;
  TVXBitmap result;
  int64_t NW = 0, NH = 0;
  std::vector<int32_t> px, py;
  if (!StartNearest(Bitmap, result, Angle, NW, NH, px, py)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  AllocateOrRaise(&result, NW, NH, vx1g);
  {
    const TRows src(Bitmap), dst(&result);
    for (int64_t y = 0; y < NH; ++y) std::memset(dst[int32_t(y)], 0, size_t(result.RowLen()));
    int32_t last = -1;
    int32_t lastRow = -1;
    NearestFourDecimals(
        W, H, Angle, NW, NH, px, py,
        [&](int32_t x, int32_t y) { return (src[y][x >> 3] & (0x80 >> (x & 7))) != 0 ? 1 : 0; },
        [&](int32_t x, int32_t y, int v, bool inside) {
          if (y != lastRow) {
            lastRow = y;
            VXReportProgress(Progress, int32_t(int64_t(y) * 100 / NH), last);
          }
          if (inside ? v != 0 : White) dst[y][x >> 3] |= uint8_t(0x80 >> (x & 7));
        },
        false);
  }
  ReplaceImage(Bitmap, result);
}

void VXRotateNearest8(TVXBitmap* Bitmap, int32_t FillValue, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  if (Bitmap->PixelFormat() != vx8g && Bitmap->PixelFormat() != vx8p) return;
  TVXBitmap result;
  int64_t NW = 0, NH = 0;
  std::vector<int32_t> px, py;
  if (!StartNearest(Bitmap, result, Angle, NW, NH, px, py)) return;
  const int32_t W = Bitmap->Width(), H = Bitmap->Height();
  AllocateOrRaise(&result, NW, NH, Bitmap->PixelFormat());
  Bitmap->CopyPaletteTo(&result);
  {
    const TRows src(Bitmap), dst(&result);
    const uint8_t fill = uint8_t(FillValue);
    NearestFourDecimals(
        W, H, Angle, NW, NH, px, py, [&](int32_t x, int32_t y) { return int(src[y][x]); },
        [&](int32_t x, int32_t y, int v, bool inside) { dst[y][x] = inside ? uint8_t(v) : fill; }, false);
  }
  ReplaceImage(Bitmap, result);
}

// ---------------------------------------------------------------------------
// The renderer of every pixel format

namespace {

// The size of the general rule: Round(|c W| + |s H|) x Round(|s W| + |c H|).
void NearestSize(int32_t W, int32_t H, double s, double c, int64_t& TW, int64_t& TH) {
  TW = RoundEven(std::fabs(c * W) + std::fabs(s * H));
  TH = RoundEven(std::fabs(s * W) + std::fabs(c * H));
}

// The exact turn of a whole multiple of 90 degrees (-1: not one, 0: none).
int WholeTurnOf(double Angle) {
  if (std::trunc(Angle) != Angle || std::fabs(Angle) > 9e15) return -1;
  const int64_t a = int64_t(Angle);
  if (a % 90 != 0) return -1;
  switch (a % 360) {
    case 90:
    case -270: return 1;
    case 180:
    case -180: return 2;
    case 270:
    case -90: return 3;
    default: return 0;
  }
}

}  // namespace

void VXRotateNearestTo(TVXBitmap* Source, TVXBitmap* Target, double Background, void* Sender,
                       const TVXProgressEvent& OnProgress, double Angle) {
  if (!Source || !Target || Source == Target || !std::isfinite(Angle)) return;
  if (Source->IsEmpty()) {
    Target->FreeImage(true);
    return;
  }
  const int turn = WholeTurnOf(Angle);
  if (turn == 0) {
    Target->Assign(Source);
    return;
  }
  if (turn > 0) {
    TurnExact(Source, Target, turn);
    return;
  }
  const int32_t W = Source->Width(), H = Source->Height();
  const TVXPixelFormat pf = Source->PixelFormat();
  double s, c;
  SinCos(Angle, s, c);
  int64_t TW, TH;
  NearestSize(W, H, s, c, TW, TH);
  AllocateOrRaise(Target, TW, TH, pf);
  Source->CopyPaletteTo(Target);
  const int32_t b = Source->BitCount() / 8;
  Target->Fill(b == 0 ? 0.0 : Background);
  const double cxs = (W - 1) / 2.0, cys = (H - 1) / 2.0;
  const double cxd = double(TW - 1) / 2, cyd = double(TH - 1) / 2;
  std::vector<int64_t> X(static_cast<size_t>(TW)), Y(static_cast<size_t>(TW));
  for (int64_t i = 0; i < TW; ++i) {
    X[size_t(i)] = RoundEven((double(i) - cxd) * c + cxs);
    Y[size_t(i)] = RoundEven((double(i) - cxd) * s + cys);
  }
  const TRows src(Source), dst(Target);
  int32_t last = -1;
  for (int64_t j = 0; j < TH; ++j) {
    const int64_t A = RoundEven((double(j) - cyd) * s);
    const int64_t B = RoundEven((double(j) - cyd) * c);
    uint8_t* d = dst[int32_t(j)];
    for (int64_t i = 0; i < TW; ++i) {
      const int64_t sx = X[size_t(i)] - A, sy = Y[size_t(i)] + B;
      if (sx < 0 || sx >= W || sy < 0 || sy >= H) continue;
      const uint8_t* srow = src[int32_t(sy)];
      switch (b) {
        case 0:
          if (srow[sx >> 3] & (0x80 >> (sx & 7))) d[i >> 3] |= uint8_t(0x80 >> (i & 7));
          break;
        case 1: d[i] = srow[sx]; break;
        case 3: {
          uint8_t* p = d + i * 3;
          const uint8_t* q = srow + sx * 3;
          p[0] = q[0];
          p[1] = q[1];
          p[2] = q[2];
          break;
        }
        default: std::memcpy(d + i * b, srow + sx * b, size_t(b)); break;
      }
    }
    if (OnProgress) {
      const int32_t p = int32_t(j * 100 / TH);
      if (p != last) {
        last = p;
        OnProgress(Sender, p);
      }
    }
  }
}

void VXRotateNearest(TVXBitmap* Bitmap, double Background, void* Sender, const TVXProgressEvent& OnProgress,
                     double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
  TVXBitmap result;
  PrepareLike(result, Bitmap);
  // The renderer allocates and fills the target itself; a quarter turn or a
  // copy replaces it at once, so no fill of the rotated size is made first.
  VXRotateNearestTo(Bitmap, &result, Background, Sender, OnProgress, Angle);
  ReplaceImage(Bitmap, result);
}

// ---------------------------------------------------------------------------
// Quarter turns

void VXRotate90CW24(TVXBitmap* Source, TVXBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  TurnExact(Source, Dest, 3);
}

void VXRotate90CCW24(TVXBitmap* Source, TVXBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  TurnExact(Source, Dest, 1);
}

void VXRotate90CW8(TVXBitmap* Source, TVXBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  TurnExact(Source, Dest, 3);
}

void VXRotate90CCW8(TVXBitmap* Source, TVXBitmap* Dest) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty()) return;
  TurnExact(Source, Dest, 1);
}
