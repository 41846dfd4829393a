// TVexlaneProc: HSV and RGB adjustments, colour ranges, channel extraction,
// channel shifts and reorders.

#include <memory>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/colors.h"
#include "proc/proc.h"
#include "proc/run_operation.h"

using vxproc::FormatCaption;

void TVexlaneProc::HSVvar(int32_t oHue, int32_t oSat, int32_t oVal) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("HSVvar %d, %d, %d", int(oHue), int(oSat), int(oVal)),
               [&](TVXBitmap* b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoHSVVar(b, x1, y1, x2, y2, oHue, oSat, oVal, this, OnProgress);
               });
}

void TVexlaneProc::IntensityRGBAll(int32_t r, int32_t g, int32_t b) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("IntensityRGBAll %d, %d, %d", int(r), int(g), int(b)),
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoIntensityRGBAll(w, x1, y1, x2, y2, r, g, b, this, OnProgress);
               });
}

void TVexlaneProc::CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "CastColorRange",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 VXDoCastColorRange(w, x1, y1, x2, y2, BeginColor, EndColor, CastColor, this, OnProgress);
               });
}

int32_t TVexlaneProc::MatchHSVRange(int32_t HueBegin, int32_t HueEnd, int32_t SatBegin, int32_t SatEnd,
                                    int32_t ValBegin, int32_t ValEnd, bool ColorizeMatched, TRGB MatchColor,
                                    bool ColorizeNonMatched, TRGB NonMatchColor) {
  int32_t count = 0;
  RunOperation(TVXPixelFormatSet{vx24RGB}, "MatchHSVRange",
               [&](TVXBitmap* w, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
                 count = VXDoMatchHSVRange(w, x1, y1, x2, y2, HueBegin, HueEnd, SatBegin, SatEnd, ValBegin, ValEnd,
                                           ColorizeMatched, MatchColor, ColorizeNonMatched, NonMatchColor, this,
                                           OnProgress);
               });
  return count;
}

std::unique_ptr<TVXBitmap> TVexlaneProc::GetHSVChannel(int32_t ch) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return nullptr;
  auto result = std::make_unique<TVXBitmap>();
  if (!VXExtractHSVChannel(fVXBitmap, result.get(), ch, this, OnProgress)) return nullptr;
  DoFinishWork();
  return result;
}

std::unique_ptr<TVXBitmap> TVexlaneProc::GetRGBChannel(TVXChannel ch) {
  switch (ch) {
    case vxcRed: return GetRGBChannel(int32_t(2));
    case vxcGreen: return GetRGBChannel(int32_t(1));
    case vxcBlue: return GetRGBChannel(int32_t(0));
  }
  return nullptr;
}

std::unique_ptr<TVXBitmap> TVexlaneProc::GetRGBChannel(int32_t ch) {
  if (ch < 0 || !CheckFormat(TVXPixelFormatSet{vx24RGB})) return nullptr;
  auto result = std::make_unique<TVXBitmap>();
  if (!VXExtractRGBChannel(fVXBitmap, result.get(), ch, this, OnProgress)) return nullptr;
  DoFinishWork();
  return result;
}

void TVexlaneProc::GetHSVChannelAll(TVXBitmap* BitmapH, TVXBitmap* BitmapS, TVXBitmap* BitmapV) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return;
  if (VXExtractHSVChannels(fVXBitmap, BitmapH, BitmapS, BitmapV, this, OnProgress)) DoFinishWork();
}

void TVexlaneProc::GetRGBChannelAll(TVXBitmap* BitmapR, TVXBitmap* BitmapG, TVXBitmap* BitmapB) {
  if (!CheckFormat(TVXPixelFormatSet{vx24RGB})) return;
  if (VXExtractRGBChannels(fVXBitmap, BitmapR, BitmapG, BitmapB, this, OnProgress)) DoFinishWork();
}

void TVexlaneProc::ShiftChannel(int32_t offsetX, int32_t offsetY, TVXChannel channel, int32_t fillValue) {
  if (channel != vxcRed && channel != vxcGreen && channel != vxcBlue) return;
  const int32_t pos = channel == vxcRed ? 2 : channel == vxcGreen ? 1 : 0;
  RunOperation(TVXPixelFormatSet{vx24RGB, vx48RGB},
               FormatCaption("ShiftChannel %d, %d, %d, %d", int(offsetX), int(offsetY), int(pos), int(fillValue)),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoShiftChannel(w, offsetX, offsetY, fillValue, channel, this, OnProgress);
               });
}

void TVexlaneProc::DisposeChannels(const std::string& newDispo) {
  int32_t from[3];
  if (!vxdetail::VXParseChannelDisposition(newDispo, from)) return;
  RunOperation(TVXPixelFormatSet{vx24RGB, vx48RGB}, FormatCaption("DisposeChannels %s", newDispo.c_str()),
               [&](TVXBitmap* w, int32_t, int32_t, int32_t, int32_t) {
                 VXDoDisposeChannels(w, newDispo, this, OnProgress);
               });
}
