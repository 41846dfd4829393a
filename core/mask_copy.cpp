// TVXMask: copying pixels and alpha values between two TVXBitmaps through the
// selection mask.
//
// Mask pixel (x, y) maps to (x - X1, y - Y1) in a bitmap that holds only the
// mask's bounding box (the "only mask" flags) and to (x, y) otherwise. The
// region is the bounding box, clipped to the mask and to both bitmaps, so a
// caller's smaller bitmap is never written or read outside its rows.
//
// An 8-bit mask blends every channel as d + floor((s - d) * m / 256) (for
// vx32f d + (s - d) * m / 256); a 1-bit mask copies selected pixels unchanged.

#include <algorithm>
#include <cstring>

#include "core/bitmap.h"
#include "core/mask.h"

namespace {

struct MaskRegion {
  int32_t x1, y1, x2, y2;  // mask coordinates, inclusive
  int32_t dox, doy;        // subtracted to reach Dest
  int32_t sox, soy;        // subtracted to reach Source
};

// The region of a copy from Source to Dest; false when there is nothing to
// copy (no bitmaps, one bitmap on both sides, an unknown depth, an empty
// region).
bool ComputeRegion(const TVXMask& m, const TVXBitmap* Dest, const TVXBitmap* Source, bool dstonlymask,
                   bool srconlymask, MaskRegion& r) {
  if (Dest == nullptr || Source == nullptr || Dest == Source) return false;
  if (m.BitsPerPixel() != 1 && m.BitsPerPixel() != 8) return false;
  if (m.IsEmpty() || m.X2() < m.X1() || m.Y2() < m.Y1()) return false;
  const int32_t DstW = Dest->Width(), DstH = Dest->Height(), SrcW = Source->Width(), SrcH = Source->Height();
  r.dox = dstonlymask ? m.X1() : 0;
  r.doy = dstonlymask ? m.Y1() : 0;
  r.sox = srconlymask ? m.X1() : 0;
  r.soy = srconlymask ? m.Y1() : 0;
  int64_t x1 = std::max<int64_t>({m.X1(), 0, r.dox, r.sox});
  int64_t y1 = std::max<int64_t>({m.Y1(), 0, r.doy, r.soy});
  int64_t x2 = std::min<int64_t>({m.X2(), int64_t(m.Width()) - 1, int64_t(DstW) - 1 + r.dox, int64_t(SrcW) - 1 + r.sox});
  int64_t y2 = std::min<int64_t>({m.Y2(), int64_t(m.Height()) - 1, int64_t(DstH) - 1 + r.doy, int64_t(SrcH) - 1 + r.soy});
  if (x2 < x1 || y2 < y1) return false;
  r.x1 = int32_t(x1), r.y1 = int32_t(y1), r.x2 = int32_t(x2), r.y2 = int32_t(y2);
  return true;
}

// The mask's value at column x of a row: 0..255 for 8 bits, 0 or 255 for 1 bit.
inline int32_t MaskValue(const uint8_t* row, int32_t bpp, int32_t x) {
  if (bpp == 8) return row[x];
  return (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
}

template <typename T>
inline T BlendInt(T d, T s, int32_t m) {
  return T(int64_t(d) + ((int64_t(s) - int64_t(d)) * m >> 8));
}

inline void BlendBytes(uint8_t* d, const uint8_t* s, int n, int32_t m) {
  for (int i = 0; i < n; ++i) d[i] = BlendInt<uint8_t>(d[i], s[i], m);
}

inline void BlendWords(uint8_t* d, const uint8_t* s, int n, int32_t m) {
  for (int i = 0; i < n; ++i) {
    uint16_t dv, sv;
    std::memcpy(&dv, d + 2 * i, 2);
    std::memcpy(&sv, s + 2 * i, 2);
    dv = BlendInt<uint16_t>(dv, sv, m);
    std::memcpy(d + 2 * i, &dv, 2);
  }
}

// Rows mapped for the time of one row's work.
class RowPair {
 public:
  RowPair(TVXBitmap* Dest, int32_t dy, TVXBitmap* Source, int32_t sy) : fD(Dest), fS(Source), fDy(dy), fSy(sy) {
    d = static_cast<uint8_t*>(Dest->GetRow(dy));
    s = static_cast<const uint8_t*>(Source->GetRow(sy));
  }
  ~RowPair() {
    fS->FreeRow(fSy);
    fD->FreeRow(fDy);
  }
  RowPair(const RowPair&) = delete;
  RowPair& operator=(const RowPair&) = delete;
  uint8_t* d;
  const uint8_t* s;

 private:
  TVXBitmap* fD;
  TVXBitmap* fS;
  int32_t fDy, fSy;
};

}  // namespace

void TVXMask::CopyVXBitmap(TVXBitmap* Dest, TVXBitmap* Source, bool dstonlymask, bool srconlymask,
                           bool UseAlphaChannel) {
  MaskRegion r;
  if (!ComputeRegion(*this, Dest, Source, dstonlymask, srconlymask, r)) return;
  const TVXPixelFormat fmt = Dest->PixelFormat();
  if (fmt == Source->PixelFormat() && fmt != vxnull && !Dest->IsEmpty() && !Source->IsEmpty()) {
    const int32_t bytes = fmt == vx1g ? 0 : Dest->BitCount() / 8;
    for (int32_t y = r.y1; y <= r.y2; ++y) {
      const uint8_t* mrow = GetScanLine(y);
      if (mrow == nullptr) continue;
      RowPair rows(Dest, y - r.doy, Source, y - r.soy);
      if (rows.d == nullptr || rows.s == nullptr) continue;
      for (int32_t x = r.x1; x <= r.x2; ++x) {
        const int32_t m = MaskValue(mrow, fBitsperpixel, x);
        if (m == 0) continue;
        const int32_t dx = x - r.dox, sx = x - r.sox;
        if (fmt == vx1g) {
          const bool bit = rows.s[sx >> 3] & (0x80 >> (sx & 7));
          uint8_t& out = rows.d[dx >> 3];
          out = bit ? uint8_t(out | (0x80 >> (dx & 7))) : uint8_t(out & ~(0x80 >> (dx & 7)));
          continue;
        }
        uint8_t* d = rows.d + size_t(dx) * size_t(bytes);
        const uint8_t* s = rows.s + size_t(sx) * size_t(bytes);
        if (fBitsperpixel == 1) {
          std::memcpy(d, s, size_t(bytes));
          continue;
        }
        switch (fmt) {
          case vx8g:
          case vx8p:
          case vx24RGB:
          case vx32RGB:
          case vxCMYK:
            BlendBytes(d, s, bytes, m);
            break;
          case vx16g:
          case vx48RGB:
            BlendWords(d, s, bytes / 2, m);
            break;
          case vxCIELab: {
            d[0] = BlendInt<uint8_t>(d[0], s[0], m);
            for (int i = 1; i < 3; ++i) d[i] = uint8_t(BlendInt<int8_t>(int8_t(d[i]), int8_t(s[i]), m));
            break;
          }
          case vx32f: {
            float dv, sv;
            std::memcpy(&dv, d, 4);
            std::memcpy(&sv, s, 4);
            dv = float(double(dv) + (double(sv) - double(dv)) * m / 256.0);
            std::memcpy(d, &dv, 4);
            break;
          }
          default:
            break;
        }
      }
    }
  }
  if (UseAlphaChannel && (Dest->HasAlphaChannel() || Source->HasAlphaChannel()))
    CopyVXBitmapAlpha(Dest, Source, dstonlymask, srconlymask);
}

void TVXMask::CopyVXBitmapAlpha(TVXBitmap* Dest, TVXBitmap* Source, bool dstonlymask, bool srconlymask) {
  MaskRegion r;
  if (!ComputeRegion(*this, Dest, Source, dstonlymask, srconlymask, r)) return;
  TVXBitmap* da = Dest->AlphaChannel();
  if (da == nullptr || da->PixelFormat() != vx8g || da->IsEmpty()) return;
  TVXBitmap* sa = Source->AlphaChannelOpt();
  if (sa != nullptr && (sa->PixelFormat() != vx8g || sa->Width() != Source->Width() ||
                        sa->Height() != Source->Height()))
    sa = nullptr;
  for (int32_t y = r.y1; y <= r.y2; ++y) {
    const uint8_t* mrow = GetScanLine(y);
    if (mrow == nullptr) continue;
    uint8_t* d = static_cast<uint8_t*>(da->GetRow(y - r.doy));
    const uint8_t* s = sa ? static_cast<const uint8_t*>(sa->GetRow(y - r.soy)) : nullptr;
    if (d != nullptr) {
      for (int32_t x = r.x1; x <= r.x2; ++x) {
        const int32_t m = MaskValue(mrow, fBitsperpixel, x);
        const int32_t a = s ? s[x - r.sox] : 255;
        if (m == 0)
          d[x - r.dox] = 0;
        else
          d[x - r.dox] = uint8_t(fBitsperpixel == 1 ? a : std::min(a, m));
      }
    }
    if (sa) sa->FreeRow(y - r.soy);
    da->FreeRow(y - r.doy);
  }
  da->SetFull(false);
}
