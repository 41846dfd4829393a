#include "io/cmyk.h"

#include <cstring>

#include "core/cielab.h"
#include "core/cmyk.h"
#include "core/colorspace.h"
#include "core/icc.h"
#include "core/settings.h"
#include "io/params.h"

namespace {

}  // namespace


namespace {

// Swaps red and blue of n pixels from in to out (which may be the same row):
// four pixels at a time as three 32-bit words on little-endian machines.
void RGBToBGR(const uint8_t* in, uint8_t* out, size_t n) {
  size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; i + 4 <= n; i += 4) {
    uint32_t w0, w1, w2;  // r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3
    std::memcpy(&w0, in + 3 * i, 4);
    std::memcpy(&w1, in + 3 * i + 4, 4);
    std::memcpy(&w2, in + 3 * i + 8, 4);
    const uint32_t o0 = ((w0 >> 16) & 0xFF) | (w0 & 0xFF00) | ((w0 & 0xFF) << 16) | ((w1 << 16) & 0xFF000000u);
    const uint32_t o1 = (w1 & 0xFF) | ((w0 >> 16) & 0xFF00) | ((w2 & 0xFF) << 16) | (w1 & 0xFF000000u);
    const uint32_t o2 = ((w1 >> 16) & 0xFF) | ((w2 >> 16) & 0xFF00) | (w2 & 0xFF0000) | ((w2 << 16) & 0xFF000000u);
    std::memcpy(out + 3 * i, &o0, 4);
    std::memcpy(out + 3 * i + 4, &o1, 4);
    std::memcpy(out + 3 * i + 8, &o2, 4);
  }
#endif
  for (; i < n; ++i) {
    const uint8_t r = in[i * 3];
    out[i * 3] = in[i * 3 + 2];
    out[i * 3 + 1] = in[i * 3 + 1];
    out[i * 3 + 2] = r;
  }
}

}  // namespace

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
        RGBToBGR(in, out, n);
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
          const TRGB rgb = VXYCbCrToRGB(in[i * 3], in[i * 3 + 1], in[i * 3 + 2]);
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
