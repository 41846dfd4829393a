#include "io/cmyk.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "core/cielab.h"
#include "core/icc.h"
#include "core/settings.h"
#include "io/params.h"
#include "platform/win_mscms.h"

namespace {

// The shared profile objects: the built-in CMYK profile with a transform to
// sRGB, and sRGB with a transform to CMYK.
std::mutex gTransformsLock;
std::atomic<bool> gTransformsReady{false};
std::unique_ptr<TVXICC> gCMYKProfile;
std::unique_ptr<TVXICC> gSRGBProfile;

inline void CMYKArith(const uint8_t* s, int32_t& R, int32_t& G, int32_t& B) {
  const int32_t k = s[3];
  R = s[0] * k / 255;
  G = s[1] * k / 255;
  B = s[2] * k / 255;
}

// Blends a converted value over the destination with an 18-bit weight; the
// shift is arithmetic, so a negative fraction is dropped toward minus infinity.
inline uint8_t Blend(uint8_t d, int32_t value, int32_t weight) {
  return uint8_t(int64_t(d) + ((int64_t(value) - d) * weight >> 18));
}

// Writes a BGR pixel, or blends it in with the weight when weights are given.
inline void StorePixel(uint8_t* d, int32_t R, int32_t G, int32_t B, const int32_t* Weight) {
  if (!Weight) {
    d[0] = uint8_t(B);
    d[1] = uint8_t(G);
    d[2] = uint8_t(R);
  } else {
    d[0] = Blend(d[0], B, *Weight);
    d[1] = Blend(d[1], G, *Weight);
    d[2] = Blend(d[2], R, *Weight);
  }
}

bool UseProfiles() { return VXGetGlobalSettings()->UseCMYKProfile() && VXInitCMYKTransforms(); }

bool CMYKToRGBProfiled(const TCMYK& in, TRGB& out) {
  COLOR src{}, dst{};
  src.channel[0] = uint16_t((255 - in.c) * 257);
  src.channel[1] = uint16_t((255 - in.m) * 257);
  src.channel[2] = uint16_t((255 - in.y) * 257);
  src.channel[3] = uint16_t((255 - in.k) * 257);
  if (!VXICCTranslateColors(gCMYKProfile->MSTransform(), src.channel, 1, COLOR_CMYK, dst.channel, COLOR_RGB))
    return false;
  out.r = uint8_t(dst.channel[0] >> 8);
  out.g = uint8_t(dst.channel[1] >> 8);
  out.b = uint8_t(dst.channel[2] >> 8);
  return true;
}

bool RGBToCMYKProfiled(const TRGB& in, TCMYK& out) {
  COLOR src{}, dst{};
  src.channel[0] = uint16_t(in.r * 257);
  src.channel[1] = uint16_t(in.g * 257);
  src.channel[2] = uint16_t(in.b * 257);
  if (!VXICCTranslateColors(gSRGBProfile->MSTransform(), src.channel, 1, COLOR_RGB, dst.channel, COLOR_CMYK))
    return false;
  out.c = uint8_t((dst.channel[0] >> 8) ^ 255);
  out.m = uint8_t((dst.channel[1] >> 8) ^ 255);
  out.y = uint8_t((dst.channel[2] >> 8) ^ 255);
  out.k = uint8_t((dst.channel[3] >> 8) ^ 255);
  return true;
}

void CMYKRowArith(const uint8_t* s, uint8_t* d, int32_t Count, const int32_t* Weights) {
  for (int32_t i = 0; i < Count; ++i, s += 4, d += 3) {
    int32_t R, G, B;
    CMYKArith(s, R, G, B);
    StorePixel(d, R, G, B, Weights ? Weights + i : nullptr);
  }
}

inline uint8_t ClampByte(int32_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

TRGB YCbCrToRGB(int32_t Y, int32_t Cb, int32_t Cr) {
  TRGB rgb;
  rgb.r = ClampByte(int32_t(Y + 1.402 * (Cr - 128)));
  rgb.g = ClampByte(int32_t(Y - 0.34414 * (Cb - 128) - 0.71414 * (Cr - 128)));
  rgb.b = ClampByte(int32_t(Y + 1.772 * (Cb - 128)));
  return rgb;
}

}  // namespace

// The settings report this converter until another one is assigned.
namespace {
struct DefaultConvertColorInstaller {
  DefaultConvertColorInstaller() { VXDefaultConvertColorHook = &VXDefaultConvertColor; }
} gDefaultConvertColorInstaller;
}  // namespace

bool VXInitCMYKTransforms() {
  if (gTransformsReady.load(std::memory_order_acquire)) return true;
  std::lock_guard<std::mutex> lock(gTransformsLock);
  if (gTransformsReady.load(std::memory_order_relaxed)) return true;
  if (!gCMYKProfile) {
    gCMYKProfile = std::make_unique<TVXICC>(false);
    gCMYKProfile->Assign_CMYKProfile();
  }
  // An invalid built-in profile stays invalid until the transforms are freed.
  if (!gCMYKProfile->IsValid()) return false;
  if (!gSRGBProfile) {
    gSRGBProfile = std::make_unique<TVXICC>(false);
    gSRGBProfile->Assign_sRGBProfile();
  }
  if (!gSRGBProfile->IsValid()) return false;
  if (!gCMYKProfile->IsTransforming() &&
      !gCMYKProfile->InitTransform(gSRGBProfile.get(), vxcmsCMYK, vxcmsBGR, 0, 0))
    return false;
  if (!gSRGBProfile->IsTransforming() &&
      !gSRGBProfile->InitTransform(gCMYKProfile.get(), vxcmsBGR, vxcmsCMYK, 0, 0))
    return false;
  gTransformsReady.store(true, std::memory_order_release);
  return true;
}

void VXFreeCMYKTransforms() {
  std::lock_guard<std::mutex> lock(gTransformsLock);
  gTransformsReady.store(false, std::memory_order_release);
  gSRGBProfile.reset();
  gCMYKProfile.reset();
}

TRGB VXCMYK2RGB(TCMYK cmyk) {
  TRGB out{};
  if (UseProfiles() && CMYKToRGBProfiled(cmyk, out)) return out;
  const uint8_t s[4] = {cmyk.c, cmyk.m, cmyk.y, cmyk.k};
  int32_t R, G, B;
  CMYKArith(s, R, G, B);
  out.r = uint8_t(R);
  out.g = uint8_t(G);
  out.b = uint8_t(B);
  return out;
}

TCMYK VXRGB2CMYK(TRGB rgb) {
  TCMYK out{};
  if (UseProfiles() && RGBToCMYKProfiled(rgb, out)) return out;
  const int32_t k = std::max({int32_t(rgb.r), int32_t(rgb.g), int32_t(rgb.b)});
  out.k = uint8_t(k);
  if (k != 0) {
    out.c = uint8_t(rgb.r * 255 / k);
    out.m = uint8_t(rgb.g * 255 / k);
    out.y = uint8_t(rgb.b * 255 / k);
  } else {
    out.c = out.m = out.y = 255;
  }
  return out;
}

void VXCMYKRowToBGR(const void* Source, void* Dest, int32_t Count, const int32_t* Weights) {
  if (Count <= 0 || !Source || !Dest) return;
  if (UseProfiles()) {
    VXCMYKRowToBGRProfiled(Source, Dest, Count, Weights, gCMYKProfile.get());
    return;
  }
  CMYKRowArith(static_cast<const uint8_t*>(Source), static_cast<uint8_t*>(Dest), Count, Weights);
}

void VXBGRRowToCMYK(const void* Source, void* Dest, int32_t Count) {
  if (Count <= 0 || !Source || !Dest) return;
  const uint8_t* s = static_cast<const uint8_t*>(Source);
  uint8_t* d = static_cast<uint8_t*>(Dest);
  if (UseProfiles()) {
    std::vector<uint16_t> in(size_t(Count) * 4, 0), out(size_t(Count) * 4);
    for (int32_t i = 0; i < Count; ++i) {
      in[size_t(i) * 4] = uint16_t(s[size_t(i) * 3 + 2] * 257);
      in[size_t(i) * 4 + 1] = uint16_t(s[size_t(i) * 3 + 1] * 257);
      in[size_t(i) * 4 + 2] = uint16_t(s[size_t(i) * 3] * 257);
    }
    if (VXICCTranslateColors(gSRGBProfile->MSTransform(), in.data(), uint32_t(Count), COLOR_RGB, out.data(),
                             COLOR_CMYK)) {
      for (size_t i = 0; i < size_t(Count) * 4; ++i) d[i] = uint8_t((out[i] >> 8) ^ 255);
      return;
    }
  }
  for (int32_t i = 0; i < Count; ++i) {
    const TCMYK c = VXRGB2CMYK(TRGB{s[size_t(i) * 3], s[size_t(i) * 3 + 1], s[size_t(i) * 3 + 2]});
    d[size_t(i) * 4] = c.c;
    d[size_t(i) * 4 + 1] = c.m;
    d[size_t(i) * 4 + 2] = c.y;
    d[size_t(i) * 4 + 3] = c.k;
  }
}

void VXCMYKRowToBGRProfiled(const void* Source, void* Dest, int32_t Count, const int32_t* Weights,
                            TVXICC* Profile) {
  if (Count <= 0 || !Source || !Dest) return;
  const uint8_t* s = static_cast<const uint8_t*>(Source);
  uint8_t* d = static_cast<uint8_t*>(Dest);
  std::vector<uint16_t> in(size_t(Count) * 4), out(size_t(Count) * 4);
  for (int32_t i = 0; i < Count; ++i)
    for (int c = 0; c < 4; ++c) in[size_t(i) * 4 + c] = uint16_t((255 - s[size_t(i) * 4 + c]) * 257);
  if (!Profile ||
      !VXICCTranslateColors(Profile->MSTransform(), in.data(), uint32_t(Count), COLOR_CMYK, out.data(), COLOR_RGB)) {
    // Without a working transform the arithmetic conversion stands in.
    CMYKRowArith(s, d, Count, Weights);
    return;
  }
  for (int32_t i = 0; i < Count; ++i, d += 3) {
    const int32_t R = out[size_t(i) * 4] >> 8, G = out[size_t(i) * 4 + 1] >> 8, B = out[size_t(i) * 4 + 2] >> 8;
    StorePixel(d, R, G, B, Weights ? Weights + i : nullptr);
  }
}

void VXDefaultConvertColor(void* InputScanline, TVXColorSpace InputColorSpace, void* OutputScanline,
                           TVXColorSpace OutputColorSpace, int32_t ImageWidth, TIOParamsVals* IOParams) {
  if (!InputScanline || !OutputScanline || ImageWidth <= 0) return;
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();

  TVXICC* inputProfile = nullptr;
  if (IOParams) {
    if (IOParams->fDefaultICC) {
      TVXICC* in = IOParams->fInputICC.get();
      inputProfile = (in && in->IsValid()) ? in : IOParams->fDefaultICC.get();
    } else {
      inputProfile = IOParams->fInputICC.get();
    }
  }
  if (settings->EnableCMS() && IOParams && inputProfile && inputProfile->IsValid() && !inputProfile->IsApplied()) {
    TVXICC& output = IOParams->OutputICCProfile();
    if (output.IsValid() && inputProfile->CheckTransform(InputColorSpace) &&
        inputProfile->Transform(&output, InputColorSpace, OutputColorSpace, 0, 0, InputScanline, OutputScanline,
                                ImageWidth))
      return;
  }

  uint8_t* in = static_cast<uint8_t*>(InputScanline);
  uint8_t* out = static_cast<uint8_t*>(OutputScanline);
  const size_t n = size_t(ImageWidth);
  if (OutputColorSpace == vxcmsBGR) {
    switch (InputColorSpace) {
      case vxcmsRGB:
        for (size_t i = 0; i < n; ++i) {
          out[i * 3] = in[i * 3 + 2];
          out[i * 3 + 1] = in[i * 3 + 1];
          out[i * 3 + 2] = in[i * 3];
        }
        break;
      case vxcmsBGR:
        std::memmove(out, in, n * 3);
        break;
      case vxcmsCMYK:
        VXCMYKRowToBGR(in, out, ImageWidth, nullptr);
        break;
      case vxcmsCMYK6:
        for (size_t i = 0; i < n; ++i) {
          uint8_t* p = in + i * 6;
          for (int c = 0; c < 4; ++c) p[c] = uint8_t(255 - p[c]);
          const TRGB rgb = VXCMYK2RGB(TCMYK{p[0], p[1], p[2], p[3]});
          out[i * 3] = rgb.b;
          out[i * 3 + 1] = rgb.g;
          out[i * 3 + 2] = rgb.r;
        }
        break;
      case vxcmsCIELab:
        for (size_t i = 0; i < n; ++i) {
          const TCIELab lab{in[i * 3], int8_t(in[i * 3 + 1]), int8_t(in[i * 3 + 2])};
          const TRGB rgb = VXCIELab2RGB(lab);
          out[i * 3] = rgb.b;
          out[i * 3 + 1] = rgb.g;
          out[i * 3 + 2] = rgb.r;
        }
        break;
      case vxcmsRGB48:  // little-endian words: the high byte is the second
        for (size_t i = 0; i < n; ++i) {
          out[i * 3] = in[i * 6 + 5];
          out[i * 3 + 1] = in[i * 6 + 3];
          out[i * 3 + 2] = in[i * 6 + 1];
        }
        break;
      case vxcmsRGB48_SE:  // big-endian words: the high byte is the first
        for (size_t i = 0; i < n; ++i) {
          out[i * 3] = in[i * 6 + 4];
          out[i * 3 + 1] = in[i * 6 + 2];
          out[i * 3 + 2] = in[i * 6];
        }
        break;
      case vxcmsYCBCR:
        for (size_t i = 0; i < n; ++i) {
          const TRGB rgb = YCbCrToRGB(in[i * 3], in[i * 3 + 1], in[i * 3 + 2]);
          out[i * 3] = rgb.b;
          out[i * 3 + 1] = rgb.g;
          out[i * 3 + 2] = rgb.r;
        }
        break;
      case vxcmsGray8:
        for (size_t i = 0; i < n; ++i) out[i * 3] = out[i * 3 + 1] = out[i * 3 + 2] = in[i];
        break;
    }
    return;
  }
  if (InputColorSpace != vxcmsBGR) return;
  switch (OutputColorSpace) {
    case vxcmsCMYK:
      VXBGRRowToCMYK(in, out, ImageWidth);
      break;
    case vxcmsCIELab:
      for (size_t i = 0; i < n; ++i) {
        const TCIELab lab = VXRGB2CIELab(TRGB{in[i * 3], in[i * 3 + 1], in[i * 3 + 2]});
        out[i * 3] = lab.l;
        out[i * 3 + 1] = uint8_t(lab.a);
        out[i * 3 + 2] = uint8_t(lab.b);
      }
      break;
    case vxcmsGray8: {
      const int32_t cr = settings->RedToGrayCoef(), cg = settings->GreenToGrayCoef(), cb = settings->BlueToGrayCoef();
      for (size_t i = 0; i < n; ++i)
        out[i] = uint8_t((in[i * 3 + 2] * cr + in[i * 3 + 1] * cg + in[i * 3] * cb) / 100);
      break;
    }
    default:
      break;
  }
}
