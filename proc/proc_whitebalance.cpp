// TVexlaneProc: gamma, white balances, gain and offset, region casts,
// colorizing and feathering of the alpha channel.

#include <cstdint>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/proc.h"
#include "proc/run_operation.h"
#include "proc/whitebalance.h"

using vxproc::FormatCaption;

namespace {

// Whether (x, y) lies inside the bitmap the operation frame will hand over:
// the selection's bounding box, or else the whole image.
bool InsideWorkBitmap(TVexlaneProc* proc, int32_t x, int32_t y) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXMask* mask = nullptr;
  proc->GetReSel(x1, y1, x2, y2, mask);
  return x >= 0 && y >= 0 && x < x2 - x1 && y < y2 - y1;
}

}  // namespace

void TVexlaneProc::GammaCorrect(double Gamma, TVXChannels Channel) {
  RunOperation(TVXPixelFormatSet{vx24RGB, vx48RGB}, "GammaCorrect",
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoGammaCorrect(work, Gamma, Channel, this, OnProgress);
               });
}

void TVexlaneProc::WhiteBalance_coef(double Red, double Green, double Blue) {
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("WhiteBalance_coef %f, %f, %f", Red, Green, Blue),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXApplyChannelGains(work, Blue, Green, Red, this, OnProgress);
               });
}

void TVexlaneProc::WhiteBalance_GrayWorld() {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "WhiteBalance_GrayWorld",
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoWhiteBalanceGrayWorld(work, this, OnProgress);
               });
}

void TVexlaneProc::WhiteBalance_WhiteAt(int32_t WhiteX, int32_t WhiteY) {
  if (!InsideWorkBitmap(this, WhiteX, WhiteY)) return;
  RunOperation(TVXPixelFormatSet{vx24RGB}, FormatCaption("WhiteBalance_WhiteAt %d, %d", int(WhiteX), int(WhiteY)),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoWhiteBalanceWhiteAt(work, WhiteX, WhiteY, this, OnProgress);
               });
}

void TVexlaneProc::WhiteBalance_AutoWhite() {
  RunOperation(TVXPixelFormatSet{vx24RGB}, "WhiteBalance_AutoWhite",
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoWhiteBalanceAutoWhite(work, this, OnProgress);
               });
}

void TVexlaneProc::AdjustGainOffset() {
  RunOperation(TVXPixelFormatSet{vx24RGB, vx48RGB}, "AdjustGainOffset",
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoAdjustGainOffset(work, this, OnProgress);
               });
}

void TVexlaneProc::CastColor(int32_t x, int32_t y, TRGB newColor, int32_t tolerance) {
  if (!InsideWorkBitmap(this, x, y)) return;
  RunOperation(TVXPixelFormatSet{vx24RGB}, "CastColor", [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
    VXDoCastColor(work, x, y, newColor, tolerance, this, OnProgress);
  });
}

void TVexlaneProc::CastAlpha(int32_t x, int32_t y, int32_t newAlpha, int32_t tolerance) {
  if (!InsideWorkBitmap(this, x, y)) return;
  RunOperation(TVXPixelFormatSet{vx24RGB},
               FormatCaption("CastAlpha %d, %d, %d, %d", int(x), int(y), int(newAlpha), int(tolerance)),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoCastAlpha(work, x, y, newAlpha, tolerance, this, OnProgress);
               });
}

void TVexlaneProc::Colorize(int32_t hue, int32_t saturation, double luminosity) {
  RunOperation(TVXPixelFormatSet{vx8p, vx24RGB},
               FormatCaption("Colorize %d, %d, %f", int(hue), int(saturation), luminosity),
               [&](TVXBitmap* work, int32_t, int32_t, int32_t, int32_t) {
                 VXDoColorize(work, hue, saturation, luminosity, this, OnProgress);
               });
}

void TVexlaneProc::FeatherAlphaEdges(int32_t iFeatherDepth) {
  if (!fVXBitmap) return;
  if (fAutoUndo) SaveUndoCaptioned(FormatCaption("FeatherEdges %d", int(iFeatherDepth)), vxuImage);
  fVXBitmap->FeatherAlphaEdges(iFeatherDepth);
  Update();
}
