#include "core/cmyk.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "core/cielab.h"
#include "core/icc.h"
#include "core/settings.h"
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

}  // namespace

void VXCMYKRowToBGRPlain(const void* Source, void* Dest, int32_t Count, const int32_t* Weights) {
  if (Count <= 0 || !Source || !Dest) return;
  const uint8_t* s = static_cast<const uint8_t*>(Source);
  uint8_t* d = static_cast<uint8_t*>(Dest);
  for (int32_t i = 0; i < Count; ++i, s += 4, d += 3) {
    int32_t R, G, B;
    CMYKArith(s, R, G, B);
    StorePixel(d, R, G, B, Weights ? Weights + i : nullptr);
  }
}


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
  VXCMYKRowToBGRPlain(Source, Dest, Count, Weights);
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
    VXCMYKRowToBGRPlain(s, d, Count, Weights);
    return;
  }
  for (int32_t i = 0; i < Count; ++i, d += 3) {
    const int32_t R = out[size_t(i) * 4] >> 8, G = out[size_t(i) * 4 + 1] >> 8, B = out[size_t(i) * 4 + 2] >> 8;
    StorePixel(d, R, G, B, Weights ? Weights + i : nullptr);
  }
}
