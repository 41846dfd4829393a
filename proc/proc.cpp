// TVexlaneProc: construction, attachment, the operation frame, resampling
// entry points, and the small numeric and colour routines.

#include "proc/proc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/bitmap.h"
#include "core/cielab.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/cmyk.h"
#include "platform/win_syscolors.h"
#include "proc/dialogparams.h"
#include "resample/resample.h"
#include "proc/undo_entry.h"
#include "gui/extctrls.h"
#include "gui/graphics.h"
#include "proc/previews_hooks.h"
#include "proc/transition_hooks.h"

// ---------------------------------------------------------------------------
// Construction and attachment

TVexlaneProc::TVexlaneProc(TComponent* Owner)
    : TVXTargetComponent(Owner),
      fAutoUndo(Owner != nullptr), fIPDialogParams(std::make_unique<TIPDialogParams>()),
      fPreviewFont(std::make_unique<TFont>()) {
  NewOwnBitmap();
}

std::unique_ptr<TVexlaneProc> TVexlaneProc::CreateFromBitmap(TVXBitmap* Bitmap) {
  auto proc = std::make_unique<TVexlaneProc>(nullptr);
  proc->SetAutoUndo(false);
  proc->SetAttachedVXBitmap(Bitmap);
  return proc;
}

std::unique_ptr<TVexlaneProc> TVexlaneProc::CreateFromBitmap(TBitmap* Bitmap) {
  auto proc = std::make_unique<TVexlaneProc>(nullptr);
  proc->SetAutoUndo(false);
  proc->SetAttachedBitmap(Bitmap);
  return proc;
}

TVexlaneProc::~TVexlaneProc() {
  if (fTImage) RemoveFreeNotification(fTImage);
  fTImage = nullptr;
  fBitmap = nullptr;
  UnregisterFromViewer();
  ClearAllUndo();
  ClearAllRedo();
  fSelectionCopy.reset();
  FreeOwnBitmap();
}

void TVexlaneProc::ViewerBitmapChanged(bool Destroying) {
  if (!fVexlaneView) return;
  if (Destroying) {
    // The viewer and its bitmap go away: forget both, and never call the
    // viewer again (not even to unregister).
    fVexlaneView = nullptr;
    fVexlaneViewBitmapChangeHandle = nullptr;
    fFollowViewBitmap = true;
    if (!fVXBitmapCreated) NewOwnBitmap();
    return;
  }
  if (!fFollowViewBitmap) return;
  TVXBitmap* current = fVexlaneView->VXBitmap();
  if (current == nullptr) {
    if (!fVXBitmapCreated) NewOwnBitmap();
    return;
  }
  FreeOwnBitmap();
  fVXBitmap = current;
  fBitmap = nullptr;
}

void TVexlaneProc::SetAttachedVXBitmap(TVXBitmap* Value) {
  if (Value == nullptr && fVexlaneView) {
    // The viewer stays attached; the component stops following its bitmap
    // but still hears of its destruction.
    fFollowViewBitmap = false;
    return;
  }
  if (Value == nullptr && fTImage) return;
  if (Value != nullptr && Value == fVXBitmap && !fVexlaneView) return;
  UnregisterFromViewer();
  fBitmap = nullptr;
  FreeOwnBitmap();
  fVXBitmap = Value;
  if (Value) {
    fVexlaneView = nullptr;
    fTImage = nullptr;
    fFollowViewBitmap = true;
  }
}

void TVexlaneProc::SetAttachedBitmap(TBitmap* Value) {
  if (AttachPlatformBitmap(Value)) fFollowViewBitmap = true;
}

void TVexlaneProc::SetAttachedVexlane(TVXViewHost* Value) {
  fFollowViewBitmap = true;
  AttachViewer(Value);
}

void TVexlaneProc::SetAttachedTImage(TImage* Value) {
  if (AttachImageControl(Value)) fFollowViewBitmap = true;
}

TVXViewHost* TVexlaneProc::VectView() const {
  return fVexlaneView && fVexlaneView->HostKind() == vxvhVectView ? fVexlaneView : nullptr;
}

TColor TVexlaneProc::Background() const { return fVexlaneView ? fVexlaneView->Background() : fBackground; }

void TVexlaneProc::SetBackground(TColor Value) {
  if (fVexlaneView)
    fVexlaneView->SetBackground(Value);
  else
    fBackground = Value;
}

int32_t TVexlaneProc::DpiX() const {
  return fVexlaneView ? fVexlaneView->DpiX() : VXGetGlobalSettings()->DefaultDPIX();
}

int32_t TVexlaneProc::DpiY() const {
  return fVexlaneView ? fVexlaneView->DpiY() : VXGetGlobalSettings()->DefaultDPIY();
}

// ---------------------------------------------------------------------------
// Operation frame

bool TVexlaneProc::CheckFormat(TVXPixelFormatSet AllowedFormats) {
  if (!fVXBitmap) return false;
  // The platform bitmap may have changed under the component.
  ReWrapBitmap();
  return fVXBitmap->CheckFormat(AllowedFormats, fAutoConvertFormat);
}

bool TVexlaneProc::GetReSel(int32_t& fSX1, int32_t& fSY1, int32_t& fSX2, int32_t& fSY2, const TPoint*& PolySel,
                            int32_t& PolySelCount, TVXMask*& mask) {
  ReWrapBitmap();
  fSX1 = 0;
  fSY1 = 0;
  fSX2 = fVXBitmap ? fVXBitmap->Width() : 0;
  fSY2 = fVXBitmap ? fVXBitmap->Height() : 0;
  PolySel = nullptr;
  PolySelCount = 0;
  mask = nullptr;
  TVXViewHost* view = ImageView();
  if (!view) return false;
  mask = view->SelectionMask();
  if (!view->Selected()) return false;
  PolySel = view->PolySelPoints();
  PolySelCount = view->PolySelCount();
  if (mask && !mask->IsEmpty()) {
    fSX1 = mask->X1();
    fSY1 = mask->Y1();
    fSX2 = mask->X2() + 1;
    fSY2 = mask->Y2() + 1;
  }
  return true;
}

bool TVexlaneProc::GetReSel(int32_t& fSX1, int32_t& fSY1, int32_t& fSX2, int32_t& fSY2, TVXMask*& mask) {
  const TPoint* poly = nullptr;
  int32_t count = 0;
  return GetReSel(fSX1, fSY1, fSX2, fSY2, poly, count, mask);
}

namespace {

// A bitmap of the mask's bounding box holding that part of Source (and of
// its alpha channel when asked).
std::unique_ptr<TVXBitmap> SelectionCopy(TVXBitmap* Source, TVXMask* mask, bool WithAlpha) {
  const int32_t w = mask->X2() - mask->X1() + 1, h = mask->Y2() - mask->Y1() + 1;
  auto copy = std::make_unique<TVXBitmap>();
  if (!copy->Allocate(w, h, Source->PixelFormat())) throw EVXException("Not enough memory for the selection");
  if (Source->PixelFormat() == vx8p) Source->CopyPaletteTo(copy.get());
  Source->CopyRectTo(copy.get(), mask->X1(), mask->Y1(), 0, 0, w, h);
  if (WithAlpha && Source->HasAlphaChannel()) {
    TVXBitmap* alpha = copy->AlphaChannel();
    Source->AlphaChannelOpt()->CopyRectTo(alpha, mask->X1(), mask->Y1(), 0, 0, w, h);
    alpha->SyncFull();
  }
  return copy;
}

}  // namespace

bool TVexlaneProc::BeginImageProcessing(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2,
                                        int32_t& y2, const std::string& OpName, TVXBitmap*& ProcBitmap,
                                        TVXMask*& mask) {
  ProcBitmap = nullptr;
  mask = nullptr;
  if (fAutoUndo) SaveUndoCaptioned(OpName, vxuImage);
  return BeginWork(allowedFormats, x1, y1, x2, y2, ProcBitmap, mask, true);
}

bool TVexlaneProc::BeginWork(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2,
                             TVXBitmap*& ProcBitmap, TVXMask*& mask, bool WithAlpha) {
  if (!CheckFormat(allowedFormats)) return false;
  GetReSel(x1, y1, x2, y2, mask);
  if (mask == nullptr || mask->IsEmpty()) {
    ProcBitmap = fVXBitmap;
    return true;
  }
  fSelectionCopy = SelectionCopy(fVXBitmap, mask, WithAlpha);
  ProcBitmap = fSelectionCopy.get();
  x1 = 0;
  y1 = 0;
  x2 = ProcBitmap->Width();
  y2 = ProcBitmap->Height();
  return true;
}

void TVexlaneProc::EndImageProcessing(TVXBitmap* ProcBitmap, TVXMask* mask) {
  if (ProcBitmap && ProcBitmap != fVXBitmap) {
    if (mask && fVXBitmap) {
      mask->CopyVXBitmap(fVXBitmap, ProcBitmap, false, true, false);
      TVXBitmap* copyAlpha = ProcBitmap->AlphaChannelOpt();
      if (copyAlpha && !copyAlpha->Full()) {
        TVXBitmap* alpha = fVXBitmap->AlphaChannel();
        if (alpha) {
          mask->CopyVXBitmap(alpha, copyAlpha, false, true, false);
          alpha->SetFull(false);
        }
      }
    }
    if (ProcBitmap == fSelectionCopy.get())
      fSelectionCopy.reset();
    else
      delete ProcBitmap;
  }
  Update();
}

bool TVexlaneProc::BeginImageAnalysis(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2,
                                      int32_t& y2, TVXBitmap*& ProcBitmap, TVXMask*& mask) {
  ProcBitmap = nullptr;
  mask = nullptr;
  return BeginWork(allowedFormats, x1, y1, x2, y2, ProcBitmap, mask, false);
}

void TVexlaneProc::EndImageAnalysis(TVXBitmap* ProcBitmap) {
  if (ProcBitmap && ProcBitmap != fVXBitmap) {
    if (ProcBitmap == fSelectionCopy.get())
      fSelectionCopy.reset();
    else
      delete ProcBitmap;
  }
}

void TVexlaneProc::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}

void TVexlaneProc::Update() {
  // A platform bitmap holds no alpha channel.
  if (fBitmap && fVXBitmap) fVXBitmap->RemoveAlphaChannel(false, 0);
  if (fVexlaneView) {
    fVexlaneView->Update();
    fVexlaneView->ImageChange();
  } else if (fBitmap) {
    fBitmap->SetModified(true);
  }
}

void TVexlaneProc::CheckLegacyBitmap(TVXPixelFormat PixelFormat) {
  TVXViewHost* view = ImageView();
  if (!view || !view->LegacyBitmap()) return;
  switch (PixelFormat) {
    case vx8p:
    case vx16g:
    case vx32f:
    case vxCMYK:
    case vx48RGB:
    case vxCIELab:
      view->SetLegacyBitmap(false);
      break;
    default:
      break;
  }
}

bool TVexlaneProc::BeginCanvasEdit(const std::string& Caption) {
  if (!CheckFormat(TVXPixelFormatSet())) return false;
  if (fAutoUndo) SaveUndoCaptioned(Caption, vxuImage);
  return true;
}

// ---------------------------------------------------------------------------
// Resampling

void TVexlaneProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter FilterType,
                            bool bMaintainAspectRatio) {
  if (!CheckFormat(TVXPixelFormatSet()) || fVXBitmap->IsEmpty()) return;
  if (NewWidth == fVXBitmap->Width() && NewHeight == fVXBitmap->Height()) return;
  if (NewWidth < 0 && NewHeight < 0) return;  // not a request: nothing changes
  if (fAutoUndo) {
    char caption[64];
    std::snprintf(caption, sizeof caption, "Resample %d, %d", int(NewWidth), int(NewHeight));
    SaveUndoCaptioned(caption, vxuImage);
  }
  {
    TVXBitmap temporary;
    ResampleTo(&temporary, NewWidth, NewHeight, FilterType, bMaintainAspectRatio);
    if (temporary.IsEmpty()) return;
    fVXBitmap->Assign(&temporary);
  }
  Update();
  DoFinishWork();
}

void TVexlaneProc::ResampleTo(TVXBitmap* Target, int32_t TargetWidth, int32_t TargetHeight,
                              TResampleFilter FilterType, bool bMaintainAspectRatio) {
  if (!Target || !CheckFormat(TVXPixelFormatSet())) return;
  if (fVXBitmap->Width() == 0 || fVXBitmap->Height() == 0) return;
  if (Target == fVXBitmap) throw EVXException("TVexlaneProc.ResampleTo: the target is the attached bitmap");
  if (VXResampleToSize(fVXBitmap, Target, TargetWidth, TargetHeight, FilterType, bMaintainAspectRatio, OnProgress,
                       this))
    DoFinishWork();
}

// ---------------------------------------------------------------------------
// Small routines

int64_t VXCeil(double x) {
  int64_t t = int64_t(x);
  if (x - double(t) > 0) ++t;
  return t;
}

int64_t VXFloor(double x) {
  int64_t t = int64_t(x);
  if (x - double(t) < 0) --t;
  return t;
}

TRGB VXMakeRGB(int32_t r, int32_t g, int32_t b) { return TRGB{uint8_t(b), uint8_t(g), uint8_t(r)}; }

TRGB48 VXMakeRGB48(int32_t r, int32_t g, int32_t b) { return TRGB48{uint16_t(r), uint16_t(g), uint16_t(b)}; }

uint32_t VXMakeRGBA(int32_t r, int32_t g, int32_t b, int32_t a) {
  return uint32_t(uint8_t(b)) | (uint32_t(uint8_t(g)) << 8) | (uint32_t(uint8_t(r)) << 16) |
         (uint32_t(uint8_t(a)) << 24);
}

TRGBA VXColorToTRGBA(TColor color, uint8_t alpha) {
  TRGB c = VXColorToTRGB(color);
  return TRGBA{c.b, c.g, c.r, alpha};
}

TRGBA VXColorToTRGBA32(TColor color) {
  uint32_t c = ColorToRGB(color);
  return TRGBA{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)};
}

double VXMinDouble(double a, double b) { return a < b ? a : b; }
double VXMaxDouble(double a, double b) { return a > b ? a : b; }
int32_t VXMinInt(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t VXMaxInt(int32_t a, int32_t b) { return a > b ? a : b; }
int64_t VXMinInt64(int64_t a, int64_t b) { return a < b ? a : b; }
int64_t VXMaxInt64(int64_t a, int64_t b) { return a > b ? a : b; }
uint64_t VXMinUInt64(uint64_t a, uint64_t b) { return a < b ? a : b; }

int32_t VXClampInt(int32_t v, int32_t Low, int32_t High) {
  if (v <= Low) return Low;
  if (v >= High) return High;
  return v;
}

uint8_t VXClampByte(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v); }
uint16_t VXClampWord(int32_t v) { return v < 0 ? 0 : v > 65535 ? 65535 : uint16_t(v); }
void VXSwapInt(int32_t& a, int32_t& b) { std::swap(a, b); }
void VXSwapByte(uint8_t& a, uint8_t& b) { std::swap(a, b); }
void VXSwapDouble(double& a, double& b) { std::swap(a, b); }
bool VXSameRGB(TRGB a, TRGB b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

void VXSetTransparentPixelsColor(TVXBitmap* Bitmap, TRGB Color) {
  if (!Bitmap || Bitmap->PixelFormat() != vx24RGB || Bitmap->IsEmpty()) return;
  TVXBitmap* alpha = Bitmap->AlphaChannel();
  if (!alpha) return;
  for (int32_t y = 0; y < Bitmap->Height(); ++y) {
    const uint8_t* a = static_cast<const uint8_t*>(alpha->GetRow(y));
    uint8_t* p = static_cast<uint8_t*>(Bitmap->GetRow(y));
    for (int32_t x = 0; x < Bitmap->Width(); ++x)
      if (a[x] == 0) std::memcpy(p + 3 * size_t(x), &Color, 3);
    Bitmap->FreeRow(y);
    alpha->FreeRow(y);
  }
}
