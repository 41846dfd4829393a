#pragma once
// Colour-model conversions and the colour workers of the processing
// component: HSV, channel shifts and reorders, channel extraction, RGB
// shifts, colour ranges, histograms, statistics and tone tables.
//
// Workers take the work bitmap and a rectangle x1, y1 (inclusive), x2, y2
// (exclusive, cut to the bitmap) and do nothing unless the bitmap has the
// pixel format they name. Progress after each row y, when an event is
// given: Trunc((y - y1 + 1) x 100 / (rows - 1 + 0.5)).

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBitmap;
class TVXMask;

enum TVXChannel : uint8_t { vxcRed, vxcGreen, vxcBlue };

// A set of channels: TVXChannels{vxcRed}, TVXChannels{vxcRed, vxcGreen, vxcBlue}.
struct TVXChannels {
  uint8_t Bits = 0;

  constexpr TVXChannels() = default;
  constexpr TVXChannels(std::initializer_list<TVXChannel> channels) {
    for (TVXChannel c : channels) Include(c);
  }
  constexpr bool Contains(TVXChannel c) const { return (Bits >> unsigned(c)) & 1u; }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr void Include(TVXChannel c) { Bits = uint8_t(Bits | (1u << unsigned(c))); }
  constexpr void Exclude(TVXChannel c) { Bits = uint8_t(Bits & ~(1u << unsigned(c))); }
  constexpr bool operator==(const TVXChannels&) const = default;
};

// ---- HSV: hue 0..359 degrees, saturation and value 0..99 ----
void VXRGBToHSV(TRGB rgb, int32_t& Hue, int32_t& Sat, int32_t& Val);
// The hue is reduced modulo 360 (any offset), saturation and value clamped
// to 0..99.
TRGB VXHSVToRGB(int32_t Hue, int32_t Sat, int32_t Val);

// Hue + oHue / 360, saturation + oSat / 100, lightness + oLum / 100 through
// the HSL model.
void VXDoHSLVar(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t oHue, int32_t oSat,
                int32_t oLum, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoHSVVar(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t oHue, int32_t oSat,
                int32_t oVal, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoIntensityRGBAll(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t r, int32_t g,
                         int32_t b, void* Sender, const TVXProgressEvent& OnProgress);
void VXDoCastColorRange(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TRGB BeginColor,
                        TRGB EndColor, TRGB CastColor, void* Sender, const TVXProgressEvent& OnProgress);
// Returns the number of pixels inside the HSV box.
int32_t VXDoMatchHSVRange(TVXBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t HueBegin,
                          int32_t HueEnd, int32_t SatBegin, int32_t SatEnd, int32_t ValBegin, int32_t ValEnd,
                          bool ColorizeMatched, TRGB MatchColor, bool ColorizeNonMatched, TRGB NonMatchColor,
                          void* Sender, const TVXProgressEvent& OnProgress);

// ---- channel extraction: vx24RGB grey images of the image's size ----
// ch 0 hue (Trunc(h / 359 x 255)), 1 saturation, 2 value (Trunc(x / 99 x
// 255)); other values act as 0. False unless Source is vx24RGB.
bool VXExtractHSVChannel(TVXBitmap* Source, TVXBitmap* Dest, int32_t ch, void* Sender,
                         const TVXProgressEvent& OnProgress);
// The byte at position BytePos (0 blue, 1 green, 2 red; above 2 acts as 2).
bool VXExtractRGBChannel(TVXBitmap* Source, TVXBitmap* Dest, int32_t BytePos, void* Sender,
                         const TVXProgressEvent& OnProgress);
bool VXExtractHSVChannels(TVXBitmap* Source, TVXBitmap* H, TVXBitmap* S, TVXBitmap* V, void* Sender,
                          const TVXProgressEvent& OnProgress);
bool VXExtractRGBChannels(TVXBitmap* Source, TVXBitmap* R, TVXBitmap* G, TVXBitmap* B, void* Sender,
                          const TVXProgressEvent& OnProgress);

// ---- channel shift and reorder (vx24RGB and vx48RGB) ----
// The channel takes the value of the pixel (x - offsetX, y - offsetY);
// outside the image fillValue, or the nearest edge pixel when fillValue < 0.
void VXDoShiftChannel(TVXBitmap* Bitmap, int32_t offsetX, int32_t offsetY, int32_t fillValue, TVXChannel channel,
                      void* Sender, const TVXProgressEvent& OnProgress);
// The first three characters of newDispo (upper-cased; R, G, B or 0) name
// the sources of the new blue, green and red. False, and nothing changed,
// for a shorter string or another character.
bool VXDoDisposeChannels(TVXBitmap* Bitmap, const std::string& newDispo, void* Sender,
                         const TVXProgressEvent& OnProgress);

namespace vxdetail {
// The sources of the new blue, green and red (0 red, 1 green, 2 blue, 3
// zero) named by newDispo; false when it cannot be read.
bool VXParseChannelDisposition(const std::string& newDispo, int32_t from[3]);
}  // namespace vxdetail
