#pragma once
// Resampling: the size rule, the dispatcher and its scalers.
//
//   VXResampleBitmap     resamples a bitmap into a target of its final size,
//                        choosing the scaler by filter and pixel format, and
//                        resamples the alpha channel alongside
//   VXResample24         separable kernel resampler for every format but 1 bit
//                        (formats other than vx8g and vx16g go through vx24RGB)
//   VXResampleGray8      the same for vx8g pairs and alpha channels
//   ResampleFilteredGray16, VXResample1Bit   16-bit grey and 1-bit members
//   the other scalers    nearest neighbour, fast linear, projections to black
//                        and white, area-integrating bilinear and bicubic
//
// The kernel filters (rfTriangle .. rfLinear) give the same bytes whatever
// the number of threads.
//
// The rfWIC* filters go to the platform imaging component's scaler
// (core/imaging_hook.h); without it they use the settings'
// DefaultResampleFilter instead, as rfBilinear and rfBicubic do for formats
// they cannot handle.

#include <cstdint>

#include "core/resample_hook.h"
#include "core/vxdefs.h"

class TVXBaseBitmap;
class TVXBitmap;

// VXCalcResampleSize, the size rule, is the core's (core/resample_hook.h).

// Resamples Source into Target, which already has the target size (and
// normally Source's pixel format). Kernel filters turn formats other than
// vx8g and vx16g into vx24RGB; vx1g stays vx1g with rfProjectBW/rfProjectWB.
// The alpha channel is resampled with the same filter.
void VXResampleBitmap(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter,
                      const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);

// Resamples Source into Target at the size VXCalcResampleSize gives for
// Width x Height (-1: that side from the other keeping the aspect ratio, 0:
// the source's side; MaintainAspect with both sizes at least 1 fits the
// source into that box). Target takes Source's pixel format (see
// VXResampleBitmap for the formats that change) and has an alpha channel only
// when Source has one; Source stays as it is. False, Target untouched, for an
// empty Source or when both sizes are negative. Raises EVXException when
// Target is Source, when the size is beyond the library's limits and when
// memory runs out.
bool VXResampleToSize(TVXBitmap* Source, TVXBitmap* Target, int32_t Width, int32_t Height, TResampleFilter Filter,
                      bool MaintainAspect, const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);

// The same for Bitmap in place: Bitmap takes the result when there is one.
bool VXResampleToSizeInPlace(TVXBitmap* Bitmap, int32_t Width, int32_t Height, TResampleFilter Filter,
                             bool MaintainAspect, const TVXProgressEvent& OnProgress = nullptr,
                             void* Sender = nullptr);

// Resamples Bitmap in place to NewWidth x NewHeight (sizes already final).
void VXResampleInPlace(TVXBitmap* Bitmap, TResampleFilter Filter, int32_t NewWidth, int32_t NewHeight,
                       const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);

// The members of the separable resampler.
void VXResample24(TVXBaseBitmap* Source, TVXBaseBitmap* Target, TVXBitmap* AlphaChannel, TResampleFilter Filter,
                  const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);
void VXResampleGray8(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter);
void ResampleFilteredGray16(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter);
void VXResample1Bit(TVXBitmap* Source, TVXBitmap* Target, TResampleFilter Filter);

// Nearest-neighbour stretch, every pixel format (Target must have Source's
// format; a vx8p palette is copied).
void VXStretchNearest(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress = nullptr,
                      void* Sender = nullptr);

// Fixed-point linear scalers (17-bit fractions): vx24RGB, vx8g and vx16g
// pairs, and vx1g into vx24RGB grey.
void ResampleFastLinear24(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress = nullptr,
                          void* Sender = nullptr);
void ResampleFastLinear8(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress = nullptr,
                         void* Sender = nullptr);
void ResampleFastLinear16(TVXBaseBitmap* Source, TVXBaseBitmap* Target, const TVXProgressEvent& OnProgress = nullptr,
                          void* Sender = nullptr);
void ResampleFastLinear1Bit(TVXBitmap* Source, TVXBitmap* Target, const TVXProgressEvent& OnProgress = nullptr,
                            void* Sender = nullptr);

// Averages the vx1g rectangle x1..x2, y1..y2 (inclusive) of Source into the
// whole vx24RGB Target as grey.
void VXStretch1BitAveraged(TVXBaseBitmap* Source, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                           TVXBaseBitmap* Target);

// Projections to black and white (Target becomes vx1g): KeepWhite false
// keeps dark features (rfProjectBW), true keeps light ones (rfProjectWB).
void ResampleProject24(TVXBitmap* Source, TVXBitmap* Target, bool KeepWhite,
                       const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);
void ResampleProject1Bit(TVXBitmap* Source, TVXBitmap* Target, bool KeepWhite,
                         const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);

// Area-integrating bilinear and bicubic scalers: vx24RGB or vx8g pairs (with
// an optional alpha channel guarding bilinear enlargement against colour
// bleeding from transparent pixels), vx48RGB or vx16g pairs.
void ResampleBilinearBicubic24(TVXBitmap* Source, TVXBitmap* Target, TVXBitmap* AlphaChannel,
                               const TVXProgressEvent& OnProgress, void* Sender, bool Bicubic);
void ResampleBilinearBicubic48(TVXBitmap* Source, TVXBitmap* Target, bool Bicubic,
                               const TVXProgressEvent& OnProgress = nullptr, void* Sender = nullptr);

// Cubic convolution (a = -1) of p0..p3 at positions -1, 0, 1, 2 evaluated at
// t, raised to Low and lowered to High.
double CubicWeight(double p0, double p1, double p2, double p3, double t, double Low, double High);

// Fills the core's resampling hook with the routines above (the resampling
// module's start-up), and empties it (its shut-down).
void VXRegisterResampleHooks();
void VXUnregisterResampleHooks();
