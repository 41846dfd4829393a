// TVexlaneProc: convolution, 3x3 filters, Gaussian blur, sharpening and
// shadows.

#include <cstdint>
#include <span>

#include "core/bitmap.h"
#include "proc/caption.h"
#include "proc/filters.h"
#include "proc/proc.h"

using vxproc::FormatCaption;

void TVexlaneProc::Convolve(std::span<const double> Kernel, int32_t KernelWidth, int32_t KernelHeight, double Factor) {
  // A kernel the convolution cannot use is refused before anything happens.
  if (KernelWidth < 1 || KernelHeight < 1 || KernelWidth % 2 == 0 || KernelHeight % 2 == 0) return;
  if (int64_t(Kernel.size()) < int64_t(KernelWidth) * KernelHeight) return;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, "Convolve", work, mask)) return;
  VXDoConvolve(work, Kernel, this, OnProgress, x1, y1, x2, y2, Factor, KernelHeight, KernelWidth);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::ApplyFilter(const TGraphFilter& Filter) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, "ApplyFilter", work, mask)) return;
  TProgressRec progress;
  progress.fOnProgress = OnProgress;
  progress.Sender = this;
  VXApplyFilter3x3(work, Filter, x1, y1, x2, y2, progress);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::ApplyFilterPreset(int32_t Index) {
  const TGraphFilter filter = *VXGetFilterPreset(Index);
  ApplyFilter(filter);
}

void TVexlaneProc::Blur(double radius) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx8g, vx24RGB}, x1, y1, x2, y2, FormatCaption("Blur %.2f", radius),
                            work, mask))
    return;
  VXDoGaussianBlur(work, this, OnProgress, radius);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::Sharpen(int32_t Intensity, int32_t Neighbourhood) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2,
                            FormatCaption("Sharpen %d, %d", int(Intensity), int(Neighbourhood)), work, mask))
    return;
  VXDoSharpen(work, x1, y1, this, OnProgress, Neighbourhood, Intensity, y2, x2);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

void TVexlaneProc::UnsharpMask(double Radius, double Amount, double Threshold) {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  TVXBitmap* work = nullptr;
  TVXMask* mask = nullptr;
  if (!BeginImageProcessing(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2,
                            FormatCaption("UnsharpMask %.2f, %.2f, %.2f", Radius, Amount, Threshold), work, mask))
    return;
  VXDoUnsharpMask(work, x1, y1, x2, y2, this, OnProgress, Threshold, Amount, Radius);
  EndImageProcessing(work, mask);
  DoFinishWork();
}

namespace {

uint32_t PackedColor(TColor Color) {
  const TRGB c = VXColorToTRGB(Color);
  return (uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b;
}

}  // namespace

void TVexlaneProc::AddSoftShadow(double radius, int32_t OffSetX, int32_t OffSetY, bool AdaptSize, TColor ShadowColor,
                                 int32_t Intensity) {
  if (!BeginCanvasEdit("AddSoftShadow")) return;
  VXDoAddSoftShadow(AttachedVXBitmap(), OffSetX, OffSetY, this, OnProgress, PackedColor(ShadowColor), AdaptSize,
                    Intensity, radius);
  Update();
  DoFinishWork();
}

void TVexlaneProc::AddInnerShadow(double radius, int32_t OffSetX, int32_t OffSetY, TColor ShadowColor) {
  if (!BeginCanvasEdit("AddInnerShadow")) return;
  VXDoAddInnerShadow(AttachedVXBitmap(), OffSetX, OffSetY, this, OnProgress, PackedColor(ShadowColor), radius);
  Update();
  DoFinishWork();
}
