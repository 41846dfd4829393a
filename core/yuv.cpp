#include "core/yuv.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/bitmap.h"
#include "core/limits.h"

namespace {

constexpr uint32_t FCC(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

enum class TLayout { I420, YV12, YVU9, YUY2, UYVY, YVYU, IYU1, IYU2, Y211, Y41P, CLJR, NV12 };

struct TFourCCEntry {
  uint32_t Code;
  TLayout Layout;
  bool BottomUpWhenPositive;  // rows written bottom-up when biHeight > 0
};

constexpr TFourCCEntry kFourCCs[] = {
    {FCC("I420"), TLayout::I420, false}, {FCC("IYUV"), TLayout::I420, false}, {FCC("YV12"), TLayout::YV12, false},
    {FCC("YVU9"), TLayout::YVU9, false}, {FCC("YUY2"), TLayout::YUY2, false}, {FCC("YUNV"), TLayout::YUY2, false},
    {FCC("UYVY"), TLayout::UYVY, false}, {FCC("UYNV"), TLayout::UYVY, false}, {FCC("cyuv"), TLayout::UYVY, true},
    {FCC("YVYU"), TLayout::YVYU, false}, {FCC("IYU1"), TLayout::IYU1, false}, {FCC("IYU2"), TLayout::IYU2, false},
    {FCC("Y211"), TLayout::Y211, false}, {FCC("Y41P"), TLayout::Y41P, true},  {FCC("CLJR"), TLayout::CLJR, false},
    {FCC("NV12"), TLayout::NV12, false},
};

const TFourCCEntry* FindFourCC(uint32_t Code) {
  for (const auto& e : kFourCCs)
    if (e.Code == Code) return &e;
  return nullptr;
}

inline uint8_t ClampRound(double v) {
  const double r = std::nearbyint(v);
  if (!(r > 0)) return 0;
  if (r >= 255) return 255;
  return uint8_t(r);
}

inline uint8_t Clip(int32_t v) { return uint8_t(std::clamp(v, 0, 255)); }

// CLJR samples widened to 8 bits by bit replication.
inline int32_t Widen5(uint32_t v) { return int32_t((v << 3) | (v >> 2)); }
inline int32_t Widen6(uint32_t v) { return int32_t((v << 2) | (v >> 4)); }

// Pixels and bytes of one chroma group of a packed layout.
struct TGroup {
  int32_t Pixels, Bytes;
};

TGroup PackedGroup(TLayout l) {
  switch (l) {
    case TLayout::YUY2:
    case TLayout::UYVY:
    case TLayout::YVYU: return {2, 4};
    case TLayout::IYU1: return {4, 6};
    case TLayout::IYU2: return {1, 3};
    case TLayout::Y211:
    case TLayout::CLJR: return {4, 4};
    case TLayout::Y41P: return {8, 12};
    default: return {0, 0};
  }
}

// Converts the whole groups of one packed row into out.
void DecodePackedRow(TLayout l, const uint8_t* s, int32_t groups, TRGB* out) {
  for (int32_t g = 0; g < groups; ++g) {
    switch (l) {
      case TLayout::YUY2:
        out[0] = VXYUVToRGBInt(s[0], s[1], s[3]);
        out[1] = VXYUVToRGBInt(s[2], s[1], s[3]);
        break;
      case TLayout::UYVY:
        out[0] = VXYUVToRGB(s[1], s[0], s[2]);
        out[1] = VXYUVToRGB(s[3], s[0], s[2]);
        break;
      case TLayout::YVYU:
        out[0] = VXYUVToRGB(s[0], s[3], s[1]);
        out[1] = VXYUVToRGB(s[2], s[3], s[1]);
        break;
      case TLayout::IYU1:
        out[0] = VXYUVToRGB(s[1], s[0], s[3]);
        out[1] = VXYUVToRGB(s[2], s[0], s[3]);
        out[2] = VXYUVToRGB(s[4], s[0], s[3]);
        out[3] = VXYUVToRGB(s[5], s[0], s[3]);
        break;
      case TLayout::IYU2: out[0] = VXYUVToRGB(s[1], s[0], s[2]); break;
      case TLayout::Y211:
        out[0] = out[1] = VXYUVToRGB(s[0], s[1], s[3]);
        out[2] = out[3] = VXYUVToRGB(s[2], s[1], s[3]);
        break;
      case TLayout::Y41P: {
        static constexpr int kY[8] = {1, 3, 5, 7, 8, 9, 10, 11};
        for (int i = 0; i < 8; ++i)
          out[i] = i < 4 ? VXYUVToRGB(s[kY[i]], s[0], s[2]) : VXYUVToRGB(s[kY[i]], s[4], s[6]);
        break;
      }
      case TLayout::CLJR: {
        const uint32_t w = uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
        const int32_t u = Widen6((w >> 6) & 0x3F), v = Widen6(w & 0x3F);
        for (int i = 0; i < 4; ++i) out[i] = VXYUVToRGB(Widen5((w >> (12 + 5 * i)) & 0x1F), u, v);
        break;
      }
      default: break;
    }
    const TGroup grp = PackedGroup(l);
    s += grp.Bytes;
    out += grp.Pixels;
  }
}

}  // namespace

TRGB VXYUVToRGB(int32_t Y, int32_t U, int32_t V) {
  const double C = Y - 16, D = U - 128, E = V - 128;
  const double b = 1.164 * C + 2.018 * D;
  const double g = 1.164 * C - 0.813 * E - 0.391 * D;
  const double r = 1.164 * C + 1.596 * E;
  return TRGB{ClampRound(b), ClampRound(g), ClampRound(r)};
}

TRGB VXYUVToRGBInt(int32_t Y, int32_t U, int32_t V) {
  const int32_t C = Y - 16, D = U - 128, E = V - 128;
  return TRGB{Clip((298 * C + 516 * D + 128) / 256), Clip((298 * C - 100 * D - 208 * E + 128) / 256),
              Clip((298 * C + 409 * E + 128) / 256)};
}

bool VXIsYUVFourCC(uint32_t FourCC) { return FindFourCC(FourCC) != nullptr; }

bool VXDecodeYUVFrame(uint32_t FourCC, int32_t Width, int32_t Height, const uint8_t* Data, int64_t DataSize,
                      TVXBitmap* Bitmap) {
  if (Bitmap == nullptr) return false;
  Bitmap->FreeImage(true);
  const TFourCCEntry* e = FindFourCC(FourCC);
  if (e == nullptr || Data == nullptr || Width <= 0 || Height == 0 || Height == INT32_MIN) return false;
  const int64_t w = Width, h = std::abs(Height);
  const TLayout l = e->Layout;
  const bool topDown = (Height > 0) != e->BottomUpWhenPositive;

  // Bytes the layout needs, checked before anything is read.
  int64_t need = 0, stride = 0, chromaW = 0, chromaH = 0, chromaStride = 0;
  int32_t sub = 1;  // pixels per chroma sample, each way (planar forms)
  const TGroup grp = PackedGroup(l);
  switch (l) {
    case TLayout::I420:
    case TLayout::YV12:
    case TLayout::YVU9:
      sub = l == TLayout::YVU9 ? 4 : 2;
      stride = w;
      chromaW = chromaStride = w / sub;
      chromaH = h / sub;
      need = stride * h + 2 * chromaStride * chromaH;
      break;
    case TLayout::NV12:
      sub = 2;
      stride = ((w * 8 + 31) / 32) * 4;
      chromaW = w / 2;
      chromaH = h / 2;
      chromaStride = ((chromaW * 16 + 31) / 32) * 4;
      need = stride * h + chromaStride * chromaH;
      break;
    default:
      stride = (w * grp.Bytes + grp.Pixels - 1) / grp.Pixels;
      if (__builtin_mul_overflow(stride, h, &need)) return false;
      break;
  }
  if (need > DataSize || !VXImageSizeAllowed(w, h, 24)) return false;
  if (!Bitmap->Allocate(Width, int32_t(h), vx24RGB)) return false;

  const uint8_t* yPlane = Data;
  const uint8_t* uPlane = Data + stride * h;
  const uint8_t* vPlane = uPlane + chromaStride * chromaH;
  if (l == TLayout::YV12 || l == TLayout::YVU9) std::swap(uPlane, vPlane);

  for (int64_t i = 0; i < h; ++i) {
    TRGB* out = static_cast<TRGB*>(Bitmap->GetScanLine(int32_t(topDown ? i : h - 1 - i)));
    if (out == nullptr) continue;
    std::memset(out, 0, size_t(w) * 3);
    const uint8_t* row = yPlane + stride * i;
    switch (l) {
      case TLayout::I420:
      case TLayout::YV12:
      case TLayout::YVU9: {
        const int64_t cy = i / sub;
        if (cy >= chromaH) break;  // no chroma row of its own: an incomplete group
        const uint8_t* u = uPlane + chromaStride * cy;
        const uint8_t* v = vPlane + chromaStride * cy;
        for (int64_t x = 0; x < chromaW * sub; ++x) out[x] = VXYUVToRGB(row[x], u[x / sub], v[x / sub]);
        break;
      }
      case TLayout::NV12: {
        const int64_t cy = i / 2;
        if (cy >= chromaH) break;
        const uint8_t* uv = uPlane + chromaStride * cy;
        for (int64_t x = 0; x < chromaW * 2; ++x) out[x] = VXYUVToRGBInt(row[x], uv[(x / 2) * 2], uv[(x / 2) * 2 + 1]);
        break;
      }
      default: DecodePackedRow(l, row, int32_t(w / grp.Pixels), out); break;
    }
  }
  return true;
}

namespace {

// Row steps of the sample layouts: the luma row step and, for the planar
// ones, the chroma row step, for a stride of 0 or the assumed row length,
// or any other stride; and the bytes a frame needs.
struct TSampleLayout {
  int64_t YStep = 0, CStep = 0, Need = 0;
};

bool SampleLayout(uint32_t FourCC, int64_t w, int64_t h, int32_t Stride, TSampleLayout& L) {
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return false;
  const int64_t s = std::abs(int64_t(Stride));
  int64_t assumed = 0;
  if (FourCC == FCC("YUY2")) assumed = w * 2;
  else if (FourCC == FCC("I420")) assumed = w;
  else if (FourCC == FCC("NV12")) assumed = ((w * 8 + 31) / 32) * 4;
  else return false;
  const bool own = s == 0 || s == assumed;
  L.YStep = own ? assumed : s;
  // The last row of the last plane need not carry its padding.
  const int64_t ch = h / 2;
  if (FourCC == FCC("YUY2")) {
    if (L.YStep < w * 2) return false;
    L.Need = L.YStep * (h - 1) + w * 2;
  } else if (FourCC == FCC("I420")) {
    L.CStep = own ? w / 2 : s / 2;
    if (L.YStep < w || L.CStep < w / 2) return false;
    L.Need = ch > 0 ? L.YStep * h + L.CStep * (2 * ch - 1) + w / 2 : L.YStep * (h - 1) + w;
  } else {
    L.CStep = own ? (((w / 2) * 16 + 31) / 32) * 4 : s;
    if (L.YStep < w || L.CStep < (w / 2) * 2) return false;
    L.Need = ch > 0 ? L.YStep * h + L.CStep * (ch - 1) + (w / 2) * 2 : L.YStep * (h - 1) + w;
  }
  return true;
}

template <class TRow>
bool DecodeSample(uint32_t FourCC, const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown,
                  int32_t Stride, TRow Row) {
  if (Buffer == nullptr || Bitmap == nullptr || Bitmap->PixelFormat() != vx24RGB) return false;
  const int64_t w = Bitmap->Width(), h = Bitmap->Height();
  TSampleLayout L;
  if (!SampleLayout(FourCC, w, h, Stride, L) || uint64_t(L.Need) > BufferLen) return false;
  for (int64_t i = 0; i < h; ++i) {
    TRGB* out = static_cast<TRGB*>(Bitmap->GetScanLine(int32_t(TopDown ? i : h - 1 - i)));
    if (out == nullptr) continue;
    std::memset(out, 0, size_t(w) * 3);
    Row(L, i, out);
  }
  return true;
}

}  // namespace

bool VXDecodeYUY2(const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown, int32_t Stride) {
  return DecodeSample(FCC("YUY2"), Buffer, BufferLen, Bitmap, TopDown, Stride,
                      [&](const TSampleLayout& L, int64_t i, TRGB* out) {
                        const uint8_t* s = Buffer + L.YStep * i;
                        const int64_t pairs = Bitmap->Width() / 2;
                        for (int64_t p = 0; p < pairs; ++p, s += 4) {
                          out[2 * p] = VXYUVToRGBInt(s[0], s[1], s[3]);
                          out[2 * p + 1] = VXYUVToRGBInt(s[2], s[1], s[3]);
                        }
                      });
}

bool VXDecodeI420(const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown, int32_t Stride) {
  return DecodeSample(FCC("I420"), Buffer, BufferLen, Bitmap, TopDown, Stride,
                      [&](const TSampleLayout& L, int64_t i, TRGB* out) {
                        const int64_t w = Bitmap->Width(), h = Bitmap->Height();
                        const int64_t cy = i / 2;
                        if (cy >= h / 2) return;
                        const uint8_t* y = Buffer + L.YStep * i;
                        const uint8_t* u = Buffer + L.YStep * h + L.CStep * cy;
                        const uint8_t* v = Buffer + L.YStep * h + L.CStep * (h / 2) + L.CStep * cy;
                        for (int64_t x = 0; x < (w / 2) * 2; ++x) out[x] = VXYUVToRGB(y[x], u[x / 2], v[x / 2]);
                      });
}

bool VXDecodeNV12(const uint8_t* Buffer, uint64_t BufferLen, TVXBitmap* Bitmap, bool TopDown, int32_t Stride) {
  return DecodeSample(FCC("NV12"), Buffer, BufferLen, Bitmap, TopDown, Stride,
                      [&](const TSampleLayout& L, int64_t i, TRGB* out) {
                        const int64_t w = Bitmap->Width(), h = Bitmap->Height();
                        const int64_t cy = i / 2;
                        if (cy >= h / 2) return;
                        const uint8_t* y = Buffer + L.YStep * i;
                        const uint8_t* uv = Buffer + L.YStep * h + L.CStep * cy;
                        for (int64_t x = 0; x < (w / 2) * 2; ++x)
                          out[x] = VXYUVToRGBInt(y[x], uv[(x / 2) * 2], uv[(x / 2) * 2 + 1]);
                      });
}

int64_t VXYUVSampleSize(uint32_t FourCC, int32_t Width, int32_t Height, int32_t Stride) {
  TSampleLayout L;
  return SampleLayout(FourCC, Width, Height, Stride, L) ? L.Need : -1;
}
