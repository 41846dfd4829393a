// Resampling: size rule, dispatcher and the members of the separable kernel
// resampler.

#include "resample/resample.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/imaging_hook.h"
#include "core/limits.h"
#include "core/settings.h"
#include "core/threadpool.h"
#include "resample/resample_engine.h"
#include "resample/resample_filters.h"

namespace {

bool IsWICFilter(TResampleFilter f) { return f >= rfWICNearestNeighbor && f <= rfWICFant; }

// The imaging component's scaler for the rfWIC* filters; false when it is
// not there (the caller then uses the default filter).
bool ImagingResample(TVXBaseBitmap* Source, TVXBaseBitmap* Target, TVXBaseBitmap* Alpha, TResampleFilter Filter,
                     const TVXProgressEvent& OnProgress, void* Sender) {
  auto* target = dynamic_cast<TVXBitmap*>(Target);
  return target && VXImagingHooks.Resample && VXImagingHooks.Resample(Source, target, Alpha, Filter, OnProgress, Sender);
}

// The filter used where the asked one cannot serve: the settings' default,
// which has to be one that every member can run without falling back again.
TResampleFilter DefaultFilter() {
  TResampleFilter f = VXGetGlobalSettings()->DefaultResampleFilter();
  if ((f >= rfTriangle && f <= rfFastLinear) || f == rfProjectBW || f == rfProjectWB) return f;
  return rfFastLinear;
}

int32_t ThreadCount() { return std::max<int32_t>(1, VXProcessorCount()); }

// While VXResampleBitmap runs, the colour image and its alpha channel share
// the contributor tables (same sizes, same filter); they are dropped when the
// call ends.
struct SharedTables {
  std::shared_ptr<const TVXKernelTables> tables;
};
thread_local SharedTables* gSharedTables = nullptr;

class SharedTablesScope {
 public:
  SharedTablesScope() : fPrevious(gSharedTables) { gSharedTables = &fTables; }
  ~SharedTablesScope() { gSharedTables = fPrevious; }
  SharedTablesScope(const SharedTablesScope&) = delete;
  SharedTablesScope& operator=(const SharedTablesScope&) = delete;

 private:
  SharedTables fTables;
  SharedTables* fPrevious;
};

void RunJob(TVXKernelJob& job) {
  if (SharedTables* shared = gSharedTables) {
    if (!shared->tables || !VXKernelTablesFit(*shared->tables, job)) shared->tables = VXKernelBuildTables(job);
    job.Tables = shared->tables;
  }
  VXKernelResample(job);
}

// Rows of a bitmap may be read (written) by several threads at once when
// they lie in memory.
bool RowsShared(TVXBaseBitmap* b) {
  auto* vb = dynamic_cast<TVXBitmap*>(b);
  return vb && vb->Location() != vxFile && !vb->IsVirtual();
}

// Runs the kernel resampler between two bitmaps whose rows hold Channels
// samples per pixel (bytes, or words when Wide).
// Whether every pixel of a 3-byte source in memory holds three equal bytes.
bool GreySource(TVXBaseBitmap* Source) {
  if (!RowsShared(Source)) return false;  // rows mapped from a file are not read twice
  for (int32_t y = 0; y < Source->Height(); ++y)
    if (!VXKernelRowIsGrey(static_cast<const uint8_t*>(Source->GetScanLine(y)), Source->Width())) return false;
  return true;
}

void RunKernel(TVXBaseBitmap* Source, TVXBaseBitmap* Target, int32_t Channels, bool Wide, TResampleFilter Filter,
               bool HorizZeroSumDivides, const TVXProgressEvent* OnProgress, void* Sender) {
  TVXKernelJob job;
  job.SrcWidth = Source->Width();
  job.SrcHeight = Source->Height();
  job.DstWidth = Target->Width();
  job.DstHeight = Target->Height();
  job.Channels = Channels;
  job.Wide = Wide;
  job.Filter = Filter;
  job.HorizZeroSumDivides = HorizZeroSumDivides;
  job.SrcRow = [Source](int32_t y, void*) -> const void* { return Source->GetScanLine(y); };
  const size_t rowBytes = size_t(job.DstWidth) * size_t(Channels) * (Wide ? 2 : 1);
  job.DstRow = [Target, rowBytes](int32_t y, const void* row) { std::memcpy(Target->GetScanLine(y), row, rowBytes); };
  job.ParallelSrc = RowsShared(Source);
  job.ParallelDst = RowsShared(Target);
  job.Threads = ThreadCount();
  if (OnProgress && *OnProgress) job.Progress = [OnProgress, Sender](int32_t per) { (*OnProgress)(Sender, per); };
  // A grey picture stored as colour: each channel is resampled alone, so one
  // of them, copied to the others, gives the same bytes at a third of the work.
  if (Channels == 3 && !Wide && GreySource(Source)) {
    job.Channels = 1;
    const int32_t width = job.SrcWidth;
    job.SrcRow = [Source, width](int32_t y, void* buffer) -> const void* {
      VXKernelGreyOfRow(static_cast<const uint8_t*>(Source->GetScanLine(y)), width, static_cast<uint8_t*>(buffer));
      return buffer;
    };
    const int32_t dw = job.DstWidth;
    job.DstRow = [Target, dw](int32_t y, const void* row) {
      const auto* grey = static_cast<const uint8_t*>(row);
      auto* out = static_cast<uint8_t*>(Target->GetScanLine(y));
      for (int32_t x = 0; x < dw; ++x) out[size_t(x) * 3] = out[size_t(x) * 3 + 1] = out[size_t(x) * 3 + 2] = grey[x];
    };
  }
  RunJob(job);
}

// A 1 x 1 source fills the whole target with its one pixel's colour.
void FillFromSinglePixel(TVXBaseBitmap* Source, TVXBaseBitmap* Target) {
  auto* src = dynamic_cast<TVXBitmap*>(Source);
  auto* dst = dynamic_cast<TVXBitmap*>(Target);
  if (!src || !dst || dst->IsEmpty()) return;
  if (src->PixelFormat() == dst->PixelFormat() && (dst->PixelFormat() == vx8p || dst->PixelFormat() == vx32f)) {
    // A colour value means nothing to these formats: repeat the pixel.
    if (dst->PixelFormat() == vx8p) src->CopyPaletteTo(dst);
    const int32_t bytes = dst->BitCount() / 8;
    uint8_t pixel[4];
    std::memcpy(pixel, src->GetScanLine(0), size_t(bytes));
    for (int32_t y = 0; y < dst->Height(); ++y) {
      uint8_t* row = static_cast<uint8_t*>(dst->GetScanLine(y));
      for (int32_t x = 0; x < dst->Width(); ++x) std::memcpy(row + size_t(x) * size_t(bytes), pixel, size_t(bytes));
    }
    return;
  }
  TRGB c = src->Pixels(0, 0);
  TColor color = TColor(uint32_t(c.r) | (uint32_t(c.g) << 8) | (uint32_t(c.b) << 16));
  dst->Fill(double(color));
}

}  // namespace

void VXResampleBitmap(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter,
                      const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Source || !Target || Source == Target) return;
  SharedTablesScope sharedTables;
  if (Target->Width() == Source->Width() && Target->Height() == Source->Height()) {
    Target->Assign(Source);
    return;
  }
  if (Filter == rfNone) {
    VXStretchNearest(Source, Target, OnProgress, Sender);
  } else if (Source->PixelFormat() == vx1g) {
    TVXPixelFormat fmt = (Filter == rfProjectBW || Filter == rfProjectWB) ? vx1g : vx24RGB;
    if (Target->PixelFormat() != fmt && !Target->Allocate(Target->Width(), Target->Height(), fmt))
      throw EVXException("Not enough memory to resample the image");
    VXResample1Bit(Source, Target, Filter);
  } else {
    VXResample24(Source, Target, Source->AlphaChannelOpt(), Filter, OnProgress, Sender);
  }
  if (TVXBitmap* srcAlpha = Source->AlphaChannelOpt()) {
    TVXBitmap* dstAlpha = Target->AlphaChannel();
    if (!dstAlpha) return;
    if (Filter == rfNone)
      VXStretchNearest(srcAlpha, dstAlpha, nullptr, nullptr);
    else
      VXResampleGray8(srcAlpha, dstAlpha, Filter);
    dstAlpha->SetFull(srcAlpha->Full());
  }
}

bool VXResampleToSize(TVXBitmap* Source, TVXBitmap* Target, int32_t Width, int32_t Height, TResampleFilter Filter,
                      bool MaintainAspect, const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Source || !Target || Source->Width() == 0 || Source->Height() == 0) return false;
  if (Target == Source) throw EVXException("VXResampleToSize: the target is the source");
  int32_t w = Width, h = Height;
  VXCalcResampleSize(w, h, Source->Width(), Source->Height(), MaintainAspect);
  if (w < 1 || h < 1) return false;  // both sizes negative: not a request
  // A target beyond the library's limits is refused before anything is had.
  VXCheckImageSize(w, h, VXPixelFormatBitCount[Source->PixelFormat()] + (Source->HasAlphaChannel() ? 8 : 0));
  if (!Target->Allocate(w, h, Source->PixelFormat())) throw EVXException("Not enough memory to resample the image");
  // Allocate keeps a target of unchanged size as it was, alpha channel
  // included; the result has an alpha channel only when the source has one.
  if (!Source->HasAlphaChannel() && Target->HasAlphaChannel()) Target->RemoveAlphaChannel(false, 0);
  VXResampleBitmap(Source, Target, Filter, OnProgress, Sender);
  return true;
}

bool VXResampleToSizeInPlace(TVXBitmap* Bitmap, int32_t Width, int32_t Height, TResampleFilter Filter,
                             bool MaintainAspect, const TVXProgressEvent& OnProgress, void* Sender) {
  TVXBitmap resized;
  if (!VXResampleToSize(Bitmap, &resized, Width, Height, Filter, MaintainAspect, OnProgress, Sender)) return false;
  Bitmap->Assign(&resized);
  return true;
}

void VXResampleInPlace(TVXBitmap* Bitmap, TResampleFilter Filter, int32_t NewWidth, int32_t NewHeight,
                       const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Bitmap) return;
  TVXBitmap copy;
  copy.Assign(Bitmap);
  Bitmap->Resize(NewWidth, NewHeight, 0, 255, vxhLeft, vxvTop);
  VXResampleBitmap(&copy, Bitmap, Filter, OnProgress, Sender);
}

void VXResample24(TVXBaseBitmap* Source, TVXBaseBitmap* Target, TVXBitmap* AlphaChannel, TResampleFilter Filter,
                  const TVXProgressEvent& OnProgress, void* Sender) {
  if (!Source || !Target) return;
  if (Source->Width() <= 0 || Source->Height() <= 0) return;
  if (Target->Width() <= 0 || Target->Height() <= 0) return;
  if (Source->Width() == 1 && Source->Height() == 1) {
    FillFromSinglePixel(Source, Target);
    return;
  }
  const TVXPixelFormat sf = Source->PixelFormat(), tf = Target->PixelFormat();
  if (Filter == rfBilinear || Filter == rfBicubic) {
    auto* src = dynamic_cast<TVXBitmap*>(Source);
    auto* dst = dynamic_cast<TVXBitmap*>(Target);
    if (src && dst && ((sf == vx24RGB && tf == vx24RGB) || (sf == vx8g && tf == vx8g))) {
      ResampleBilinearBicubic24(src, dst, AlphaChannel, OnProgress, Sender, Filter == rfBicubic);
      return;
    }
    if (src && dst && ((sf == vx48RGB && tf == vx48RGB) || (sf == vx16g && tf == vx16g))) {
      ResampleBilinearBicubic48(src, dst, Filter == rfBicubic, OnProgress, Sender);
      return;
    }
    Filter = DefaultFilter();
  }
  if (IsWICFilter(Filter)) {
    if (ImagingResample(Source, Target, AlphaChannel, Filter, OnProgress, Sender)) return;
    Filter = DefaultFilter();
  }

  if (sf == vx8g && tf == vx8g) {
    VXResampleGray8(static_cast<TVXBitmap*>(Source), static_cast<TVXBitmap*>(Target), Filter);
    return;
  }
  if (sf == vx16g && tf == vx16g) {
    ResampleFilteredGray16(static_cast<TVXBitmap*>(Source), static_cast<TVXBitmap*>(Target), Filter);
    return;
  }

  // Everything else is resampled as vx24RGB.
  TVXBaseBitmap* src = Source;
  std::unique_ptr<TVXBitmap> converted;
  auto* vxSource = dynamic_cast<TVXBitmap*>(Source);
  auto* vxTarget = dynamic_cast<TVXBitmap*>(Target);
  if (sf != vx24RGB) {
    if (!vxSource || !vxTarget) return;
    converted = std::make_unique<TVXBitmap>(Source->Width(), Source->Height(), vx24RGB);
    if (converted->IsEmpty()) throw EVXException("Not enough memory to resample the image");
    converted->CopyAndConvertFormat(vxSource);
    src = converted.get();
  }
  if (Target->PixelFormat() != vx24RGB) {
    if (!Target->Allocate(Target->Width(), Target->Height(), vx24RGB))
      throw EVXException("Not enough memory to resample the image");
  }

  if (Filter == rfFastLinear) {
    ResampleFastLinear24(src, Target, OnProgress, Sender);
    return;
  }
  if (Filter == rfProjectBW || Filter == rfProjectWB) {
    auto* s = dynamic_cast<TVXBitmap*>(src);
    if (s && vxTarget) ResampleProject24(s, vxTarget, Filter == rfProjectWB, OnProgress, Sender);
    return;
  }
  if (!VXIsKernelFilter(Filter)) return;
  RunKernel(src, Target, 3, false, Filter, true, &OnProgress, Sender);
}

namespace {

// The one-channel grey members: 8-bit (which also serves alpha channels) and
// 16-bit grey share every rule but the sample width.
void ResampleGrey(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter, bool Wide) {
  const TVXPixelFormat fmt = Wide ? vx16g : vx8g;
  if (!Source || !Target || Source->IsEmpty() || Target->IsEmpty()) return;
  if (Source->PixelFormat() != fmt || Target->PixelFormat() != fmt) return;
  if (IsWICFilter(Filter)) {
    if (ImagingResample(Source, Target, nullptr, Filter, nullptr, nullptr)) return;
    Filter = DefaultFilter();
  }
  switch (Filter) {
    case rfBilinear:
    case rfBicubic:
      VXResample24(Source, Target, Wide ? nullptr : Source->AlphaChannelOpt(), Filter, nullptr, nullptr);
      return;
    case rfFastLinear:
    case rfProjectBW:
    case rfProjectWB:
      if (Wide)
        ResampleFastLinear16(Source, Target);
      else
        ResampleFastLinear8(Source, Target);
      return;
    case rfNone:
      VXStretchNearest(Source, Target);
      return;
    default:
      break;
  }
  if (Source->Width() == 1 && Source->Height() == 1) {
    FillFromSinglePixel(Source, Target);
    return;
  }
  if (!VXIsKernelFilter(Filter)) return;
  RunKernel(Source, Target, 1, Wide, Filter, false, nullptr, nullptr);
}

}  // namespace

void VXResampleGray8(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
  ResampleGrey(Source, Target, Filter, false);
}

void ResampleFilteredGray16(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
  ResampleGrey(Source, Target, Filter, true);
}

void VXResample1Bit(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter) {
  if (!Source || !Target || Source->IsEmpty() || Target->IsEmpty()) return;
  if (Source->PixelFormat() != vx1g) return;
  if (Source->Width() == 1 && Source->Height() == 1) {
    FillFromSinglePixel(Source, Target);
    return;
  }
  if (IsWICFilter(Filter)) {
    if (ImagingResample(Source, Target, nullptr, Filter, nullptr, nullptr)) return;
    Filter = DefaultFilter();
  }
  switch (Filter) {
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic:
      ResampleFastLinear1Bit(Source, Target);
      return;
    case rfProjectBW:
    case rfProjectWB:
      ResampleProject1Bit(Source, Target, Filter == rfProjectWB);
      return;
    default:
      break;
  }
  if (!VXIsKernelFilter(Filter) || Target->PixelFormat() != vx24RGB) return;

  // Set bits count 255, clear ones 0; the grey result goes to all three bytes.
  TVXKernelJob job;
  job.SrcWidth = Source->Width();
  job.SrcHeight = Source->Height();
  job.DstWidth = Target->Width();
  job.DstHeight = Target->Height();
  job.Channels = 1;
  job.Filter = Filter;
  job.HorizZeroSumDivides = false;
  const int32_t sw = job.SrcWidth, dw = job.DstWidth;
  job.SrcRow = [Source, sw](int32_t y, void* scratch) -> const void* {
    const uint8_t* bits = static_cast<const uint8_t*>(Source->GetScanLine(y));
    uint8_t* out = static_cast<uint8_t*>(scratch);
    for (int32_t x = 0; x < sw; ++x) out[x] = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    return scratch;
  };
  job.DstRow = [Target, dw](int32_t y, const void* row) {
    const uint8_t* g = static_cast<const uint8_t*>(row);
    uint8_t* out = static_cast<uint8_t*>(Target->GetScanLine(y));
    for (int32_t x = 0; x < dw; ++x) out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = g[x];
  };
  job.ParallelSrc = RowsShared(Source);
  job.ParallelDst = RowsShared(Target);
  job.Threads = ThreadCount();
  RunJob(job);
}
