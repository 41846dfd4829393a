// TVexlaneProc: frames of the viewer's transition effects between two
// platform bitmaps, through the engine the viewer library lends
// (proc/transition_hooks.h).

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/bitmap.h"
#include "core/colorreduce.h"
#include "core/geometry.h"
#include "gui/graphics.h"
#include "proc/proc.h"
#include "proc/transition_hooks.h"
#include "resample/resample.h"

constinit TVXTransitionHooks VXTransitionHooks;

namespace {

bool HasPixels(TBitmap* b) { return b && !b->Empty(); }

// Source fitted into a new 24-bit Width x Height picture: centred, keeping
// its aspect ratio, shrunk when too large and enlarged only with
// StretchSmall, resampled with Filter, on Background. A picture already of
// that size (and not 1-bit) is only copied at 24 bits.
std::unique_ptr<TBitmap> FitPicture(TBitmap* Source, int32_t Width, int32_t Height, bool StretchSmall,
                                    TColor Background, TResampleFilter Filter) {
  auto out = std::make_unique<TBitmap>();
  if (Source->Width() == Width && Source->Height() == Height && Source->PixelFormat() != pf1bit) {
    out->Assign(Source);
    out->SetPixelFormat(pf24bit);
    return out;
  }
  TVXBitmap pic;
  pic.CopyFromTBitmap(Source);
  if (pic.PixelFormat() == vx1g) {
    TVXBitmap expanded(pic.Width(), pic.Height(), vx24RGB);
    TProgressRec progress;
    VXConvert1BitTo24(&pic, &expanded, progress);
    pic.Assign(&expanded);
  } else if (pic.PixelFormat() != vx24RGB) {
    pic.SetPixelFormat(vx24RGB);
  }

  out->SetPixelFormat(pf24bit);
  out->SetSize(Width, Height);
  TCanvas* canvas = out->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(Background);
  canvas->FillRect(TRect{0, 0, Width, Height});

  TRect place{};
  VXFitImageRect(pic.Width(), pic.Height(), Width, Height, 0, 0, StretchSmall, true, true, true, 0, false, place);
  const int32_t w = place.Right - place.Left, h = place.Bottom - place.Top;
  if (w <= 0 || h <= 0) return out;
  TVXBitmap sized;
  TVXBitmap* drawn = &pic;
  if (w != pic.Width() || h != pic.Height()) {
    if (!sized.Allocate(w, h, vx24RGB)) throw EVXException("Not enough memory for the transition bitmaps");
    VXResampleBitmap(&pic, &sized, Filter);
    if (sized.PixelFormat() != vx24RGB) sized.SetPixelFormat(vx24RGB);
    drawn = &sized;
  }
  // Both hold blue, green, red rows; the place lies inside the picture.
  const int32_t x0 = std::max(0, place.Left), y0 = std::max(0, place.Top);
  const int32_t x1 = std::min(Width, place.Left + w), y1 = std::min(Height, place.Top + h);
  for (int32_t y = y0; y < y1; ++y) {
    const auto* src = static_cast<const uint8_t*>(drawn->ScanLine(y - place.Top)) + size_t(x0 - place.Left) * 3;
    auto* dst = static_cast<uint8_t*>(out->ScanLine(y)) + size_t(x0) * 3;
    std::memcpy(dst, src, size_t(x1 - x0) * 3);
  }
  return out;
}

}  // namespace

void TVexlaneProc::PrepareTransitionBitmapsEx(TBitmap* StartBitmap, TBitmap* EndBitmap, TVXTransitionType Effect,
                                              const TRect& StartRect, const TRect& EndRect,
                                              bool RectMaintainAspectRatio, int32_t iWidth, int32_t iHeight,
                                              bool bStretchSmall, TColor BackgroundColor,
                                              TResampleFilter ResamplingFilter, TVXTransitionTiming Timing) {
  if (!fTransitionEffects && !VXTransitionHooks.CreateFrameMaker)
    throw EVXException("Transition frames need the viewer library's transition engine, which is not linked");
  const bool panZoom = Effect == vxttPanZoom;
  // Checked before anything changes: a picture without pixels or a frame of
  // no pixels would leave nothing to fit.
  if (!HasPixels(StartBitmap) || (!panZoom && !HasPixels(EndBitmap)))
    throw EVXException("Transition bitmaps are empty");
  if (iWidth < 0 || iHeight < 0) {
    if (panZoom) {
      iWidth = StartBitmap->Width();
      iHeight = StartBitmap->Height();
    } else {
      iWidth = std::max(StartBitmap->Width(), EndBitmap->Width());
      iHeight = std::max(StartBitmap->Height(), EndBitmap->Height());
    }
  }
  if (iWidth == 0 || iHeight == 0) throw EVXException("Transition bitmaps are empty");

  if (!fTransitionEffects) fTransitionEffects = VXTransitionHooks.CreateFrameMaker();
  if (!fTransitionEffects) throw EVXException("The viewer library made no transition engine");
  fTransitionPrepared = false;
  const TColor background = BackgroundColor == -1 ? Background() : BackgroundColor;
  fTransitionEffects->SetTransition(Effect);
  fTransitionEffects->SetTiming(Timing);
  fTransitionEffects->SetBackground(background);

  if (panZoom) {
    if (!fTransitionFullImage) fTransitionFullImage = std::make_unique<TVXBitmap>();
    fTransitionFullImage->CopyFromTBitmap(StartBitmap);
    TRect startRect = StartRect, endRect = EndRect;
    if (RectMaintainAspectRatio) {
      const int32_t fw = fTransitionFullImage->Width(), fh = fTransitionFullImage->Height();
      VXAdjustRectToAspect(StartRect, fw, fh, startRect, 0, iWidth, iHeight);
      VXAdjustRectToAspect(EndRect, fw, fh, endRect, 0, iWidth, iHeight);
    }
    fTransitionEffects->SetStartRect(startRect);
    fTransitionEffects->SetEndRect(endRect);
  }

  std::unique_ptr<TBitmap> start =
      FitPicture(StartBitmap, iWidth, iHeight, bStretchSmall, background, ResamplingFilter);
  if (panZoom) {
    fTransitionEffects->SetFullImage(fTransitionFullImage.get());
    fTransitionEffects->PrepareBitmap(start.get(), start.get());
  } else {
    std::unique_ptr<TBitmap> end = FitPicture(EndBitmap, iWidth, iHeight, bStretchSmall, background, ResamplingFilter);
    fTransitionEffects->PrepareBitmap(start.get(), end.get());
  }
  fTransitionPrepared = true;
}

void TVexlaneProc::PrepareTransitionBitmaps(TBitmap* StartBitmap, TBitmap* EndBitmap, TVXTransitionType Effect,
                                            int32_t iWidth, int32_t iHeight, TColor BackgroundColor,
                                            TResampleFilter ResamplingFilter) {
  PrepareTransitionBitmapsEx(StartBitmap, EndBitmap, Effect, TRect{}, TRect{}, true, iWidth, iHeight, false,
                             BackgroundColor, ResamplingFilter, vxttLinear);
}

void TVexlaneProc::CreateTransitionBitmap(float TransitionProgress, TBitmap* DestBitmap) {
  if (!fTransitionEffects || !fTransitionPrepared) throw EVXException("Transition has not been prepared!");
  if (!DestBitmap) throw EVXException("No bitmap to draw the transition frame into");
  fTransitionEffects->CreateBitmap(TransitionProgress, DestBitmap);
}
