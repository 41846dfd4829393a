#pragma once
// The platform imaging component as the libraries below it reach it: its
// scaler behind the rfWIC* resampling filters (resample/) and its format
// converter behind TVexlaneProc::ConvertTo with palette and dither types
// (proc/). The component lives in a higher library (formats/wic.h), whose
// start-up fills these slots; empty slots, or a component that is not there,
// make the callers fall back (the default filter; ConvertTo answers false).

#include <cstdint>

#include "core/pixels.h"
#include "core/vxdefs.h"

class TVXBaseBitmap;
class TVXBitmap;

struct TVXImagingHooks {
  // Source (with SourceAlpha shown to the scaler) resampled into Target at
  // Target's size with an rfWIC* filter; Target takes the result's pixel
  // format. False when the component is missing or refuses.
  bool (*Resample)(TVXBaseBitmap* Source, TVXBitmap* Target, TVXBaseBitmap* SourceAlpha, TResampleFilter Filter,
                   const TVXProgressEvent& OnProgress, void* Sender) = nullptr;
  // Source converted into Dest in PixelFormat with the component's palette
  // type (1 .. 12) and dither type (0 .. 8); with CheckOnly only the answer.
  // Formats the component has none for raise EVXException "Unsupported pixel
  // format". False when the component is missing or refuses.
  bool (*Convert)(TVXBitmap* Source, TVXBitmap* Dest, TVXPixelFormat PixelFormat, int32_t PaletteType,
                  int32_t DitherType, bool CheckOnly, const TVXProgressEvent& OnProgress, void* Sender) = nullptr;
};

extern constinit TVXImagingHooks VXImagingHooks;
