// The thumbnail viewer: creation and destruction, the image stores, storing
// a bitmap, the layout update entry, the locks and the owned components.
#include "mview/vexlanemview.h"

#include <cmath>

#include "core/bitmap.h"
#include "core/gdiplus.h"
#include "core/virtualimagelist.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "mview/iconcache.h"
#include "mview/vexlanemio.h"
#include "proc/proc.h"
#include "resample/resample.h"
#include "core/geometry.h"
#include "winui/win_types.h"

// ---------------------------------------------------------------------------
// Creation and destruction

TVexlaneMView::TVexlaneMView(TComponent* Owner) : TVXView(Owner) {
  if (InState(csDesigning)) fImageCacheUseDisk = false;
  VXLoadGDIPlusLibrary();
  SetBounds(Left(), Top(), 180, 90);
  fSelectionColor = TColor(RGB(160, 160, 255));
  fMouseInteract = TVXMMouseInteract(1u << mmiSelect);
  fKeyInteract = TVXMKeyInteract(1u << mkiMoveSelected);
  fThumbnailsBackground = clBtnFace;
  fThumbnailsBackgroundSelected = clBtnFace;
  fThumbnailsBorderColor = clBtnFace;
  fThumbnailsInternalBorderColor = TColor(RGB(0, 0, 0));
  fSoftShadow.Enabled = false;
  fSoftShadow.Radius = 3.0;
  fSoftShadow.OffsetX = 3;
  fSoftShadow.OffsetY = 3;
  fSoftShadow.Intensity = 100;
  fSoftShadow.ShadowColor = TRGB{0, 0, 0};
  fThumbnailOptionsEx = VXThumbOpt(vxtxShowIconForUnknownFormat) | VXThumbOpt(vxtxShowIconWhileLoading) |
                        VXThumbOpt(vxtxEnableInternalIcons) | VXThumbOpt(vxtxStretchSmallImages);
  CreateStores();
  fIconList = std::make_unique<TVXCachedIconList>(this, fIconCacheCapacity);
  fVexlaneIO = new TVexlaneIO(nullptr);
  fTopTextFont = std::make_unique<TFont>();
  fBottomTextFont = std::make_unique<TFont>();
  fInfoTextFont = std::make_unique<TFont>();
}

TVexlaneMView::~TVexlaneMView() {
  fDestroying = true;
  Destroying();
  // Attached components let go while the viewer is whole.
  CallBitmapDestroyEvents();
  ClearSelection();
  StopBackgroundLoads();
  for (TVexlaneIO* io : fMultiOnDemands) delete io;
  fMultiOnDemands.clear();
  delete fVexlaneMIO;
  fVexlaneMIO = nullptr;
  delete fVexlaneProc;
  fVexlaneProc = nullptr;
  DeleteAllImages();
  fMultiSelectedImages.clear();
  fImageList.reset();
  fCacheList.reset();
  fIconList.reset();
  fImageInfo.clear();
  delete fVexlaneIO;
  fVexlaneIO = nullptr;
  fDefaultFileIcon.reset();
  fMissingFileIcon.reset();
  fTopTextFont.reset();
  fBottomTextFont.reset();
  fInfoTextFont.reset();
  VXFreeGDIPlusLibrary();
}

void TVexlaneMView::CreateStores() {
  const bool disk = fImageCacheUseDisk && !InState(csDesigning);
  fImageList = std::make_unique<TVXVirtualImageList>("ILIST", disk);
  fImageList->SetMaxImagesInMemory(fImageCacheSize);
  fCacheList = std::make_unique<TVXVirtualImageList>("ICACHE", disk);
}

// ---------------------------------------------------------------------------
// Base control

void TVexlaneMView::SetBackground(TColor Value) {
  TVXView::SetBackground(Value);
  Update();
}

void TVexlaneMView::Update() { UpdateEx(true, false); }

void TVexlaneMView::CallBitmapChangeEvents() {
  TVXView::CallBitmapChangeEvents();
  fLastImOp = 0;
}

void TVexlaneMView::LockPaint() { ++fLockPaint; }

int32_t TVexlaneMView::UnLockPaint() {
  if (fLockPaint > 0) {
    --fLockPaint;
    if (fLockPaint == 0) UpdateEx(true, fSelectedImageAlwaysVisible);
  }
  return fLockPaint;
}

int32_t TVexlaneMView::NPUnLockPaint() {
  if (fLockPaint > 0) --fLockPaint;
  return fLockPaint;
}

int32_t TVexlaneMView::UnLockUpdate() {
  if (fLockUpdate > 0) {
    --fLockUpdate;
    if (fLockUpdate == 0) UpdateEx(true, fSelectedImageAlwaysVisible);
  }
  return fLockUpdate;
}

void TVexlaneMView::UpdateEx(bool bUpdateCache, bool bRespositionSelection) {
  (void)bRespositionSelection;
  if (fLockPaint > 0 || fLockUpdate > 0 || fUpdating || fDestroying || !HandleAllocated()) return;
  const TComponentState allowed = VXStateBit(csDesigning) | VXStateBit(csFreeNotification);
  if ((ComponentState() & ~allowed) != 0) return;
  if (Parent() == nullptr && ParentWindow() == nullptr) return;
  if (!InState(csDesigning)) {
    fUpdating = true;
    try {
      if (bUpdateCache) ClearCache();
      LayoutPasses();
      CallBitmapChangeEvents();
    } catch (...) {
      fUpdating = false;
      throw;
    }
    fUpdating = false;
    ++fUpdateCount;
  }
  Invalidate();
}

// ---------------------------------------------------------------------------
// Owned components and events

TVexlaneMIO* TVexlaneMView::GetMIO() {
  if (fVexlaneMIO == nullptr) {
    auto mio = std::make_unique<TVexlaneMIO>(nullptr);
    mio->SetAttachedMView(this);
    mio->OnProgress = fOnProgress;
    mio->OnFinishWork = fOnFinishWork;
    mio->OnAcquireBitmap = fOnAcquireBitmap;
    fVexlaneMIO = mio.release();
  }
  return fVexlaneMIO;
}

TVexlaneProc* TVexlaneMView::GetProc() {
  if (fSelectedItem == -1) SetSelectedImage(0);
  if (fVexlaneProc == nullptr) {
    fVexlaneProc = new TVexlaneProc(nullptr);
    fVexlaneProc->SetAttachedVexlane(this);
    fVexlaneProc->OnProgress = fOnProgress;
    fVexlaneProc->OnFinishWork = fOnFinishWork;
    fVexlaneProc->OnUndoRedoEvent = [this](void*, bool, TVXUndoSource Source, void* UndoObj, int32_t iIndex,
                                           bool& bHandled) {
      if (Source != vxuImage || iIndex < 0 || UndoObj == nullptr) return;
      bHandled = true;
      auto* restored = static_cast<TVXBitmap*>(UndoObj);
      if (iIndex == fSelectedItem) {
        if (TVXBitmap* b = GetVXBitmap()) b->Assign(restored);
      } else if (TVXBitmap* b = GetTVXBitmap(iIndex)) {
        b->Assign(restored);
        ReleaseBitmap(iIndex, true);
      }
      Update();
    };
  }
  fVexlaneProc->SetMViewIndex(fSelectedItem);
  if (fSelectedBitmap == nullptr) fVexlaneProc->SetAttachedVexlane(this);
  return fVexlaneProc;
}

void TVexlaneMView::SetOnProgress(TVXProgressEvent Value) {
  fOnProgress = Value;
  if (fVexlaneMIO) fVexlaneMIO->OnProgress = Value;
  if (fVexlaneProc) fVexlaneProc->OnProgress = Value;
}

void TVexlaneMView::SetOnFinishWork(TNotifyEvent Value) {
  fOnFinishWork = Value;
  if (fVexlaneMIO) fVexlaneMIO->OnFinishWork = Value;
  if (fVexlaneProc) fVexlaneProc->OnFinishWork = Value;
}

void TVexlaneMView::SetOnAcquireBitmap(TVXAcquireBitmapEvent Value) {
  fOnAcquireBitmap = Value;
  if (fVexlaneMIO) fVexlaneMIO->OnAcquireBitmap = Value;
}

void TVexlaneMView::SetScrollBars(TScrollStyle Value) {
  fScrollBars = Value;
  Update();
}

void TVexlaneMView::DoViewChange(int32_t Change) {
  if (OnViewChange) OnViewChange(this, Change);
}

void TVexlaneMView::DoImageSelect(int32_t idx) {
  if (OnImageSelect && fUserAction) OnImageSelect(this, idx);
}

void TVexlaneMView::DoImageDeselect(int32_t idx) {
  if (OnImageDeselect && fUserAction && !fDestroying) OnImageDeselect(this, idx);
}

// ---------------------------------------------------------------------------
// Settings

int32_t TVexlaneMView::TextBlockWidth() const {
  if (fStyle != vxmsFlatAndWide) return 0;
  const int32_t s = int32_t(double(fThumbWidth) * fZoom / 100.0);
  const int32_t avail = const_cast<TVexlaneMView*>(this)->ClientWidth() - s - 2 * fHorizBorder;
  const int32_t block = fTextBlockWidth >= 0 ? fTextBlockWidth : (fGridWidth == 1 ? avail : 3 * s);
  return std::min(avail, block);
}

int32_t TVexlaneMView::ThumbWidth() const {
  return TextBlockWidth() + int32_t(double(fThumbWidth) * fZoom / 100.0);
}

int32_t TVexlaneMView::ThumbHeight() const { return int32_t(double(fThumbHeight) * fZoom / 100.0); }

void TVexlaneMView::SetThumbWidth(int32_t Value) { SetThumbnailSize(Value, fThumbHeight); }

void TVexlaneMView::SetThumbHeight(int32_t Value) { SetThumbnailSize(fThumbWidth, Value); }

void TVexlaneMView::SetThumbnailSize(int32_t width, int32_t height) {
  fThumbWidth = width;
  fThumbHeight = height;
  ClearCache();
  Update();
}

void TVexlaneMView::SetHorizBorder(int32_t Value) {
  fHorizBorder = Value;
  Update();
}

void TVexlaneMView::SetVertBorder(int32_t Value) {
  fVertBorder = Value;
  Update();
}

void TVexlaneMView::SetStoreType(TVXStoreType Value) {
  fStoreType = Value;
  if (Value == vxtFastThumb) {
    fEnableImageCaching = true;
    if (fThumbnailDisplayFilter == rfNone) fThumbnailDisplayFilter = rfFastLinear;
  }
}

void TVexlaneMView::SetImageCacheSize(int32_t Value) {
  fImageCacheSize = Value;
  fImageList->SetMaxImagesInMemory(Value);
}

void TVexlaneMView::SetImageCacheUseDisk(bool Value) {
  if (Value == fImageCacheUseDisk) return;
  fImageCacheUseDisk = Value;
  Clear();
}

// ---------------------------------------------------------------------------
// Stores

void TVexlaneMView::ClearImageCache(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr || r->cacheImage == nullptr) return;
  fCacheList->Delete(r->cacheImage);
  r->cacheImage = nullptr;
}

void TVexlaneMView::ClearCache() {
  for (int32_t i = 0; i < ImageCount(); ++i) ClearImageCache(i);
  if (fIconList) fIconList->Clear();
}

void TVexlaneMView::PrepareSpaceFor(int32_t Width, int32_t Height, int32_t Bitcount, int32_t ImageCount) {
  fImageList->PrepareSpaceFor(Width, Height, Bitcount, ImageCount);
}

void TVexlaneMView::Clear() {
  ClearSelection();
  StopBackgroundLoads();
  DeleteAllImages();
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    for (TVexlaneIO* io : fMultiOnDemands) delete io;
    fMultiOnDemands.clear();
    CreateStores();
    fIconList->Clear();
  }
  Update();
}

int32_t TVexlaneMView::GetImageWidth(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  return r != nullptr && r->image != nullptr ? fImageList->GetImageWidth(r->image) : 0;
}

int32_t TVexlaneMView::GetImageHeight(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  return r != nullptr && r->image != nullptr ? fImageList->GetImageHeight(r->image) : 0;
}

int32_t TVexlaneMView::GetImageOriginalWidth(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  if (r->image != nullptr) return fImageList->GetImageOriginalWidth(r->image);
  if (r->cacheImage != nullptr) return fCacheList->GetImageOriginalWidth(r->cacheImage);
  return 0;
}

int32_t TVexlaneMView::GetImageOriginalHeight(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  if (r->image != nullptr) return fImageList->GetImageOriginalHeight(r->image);
  if (r->cacheImage != nullptr) return fCacheList->GetImageOriginalHeight(r->cacheImage);
  return 0;
}

void TVexlaneMView::SetImageOriginalWidth(int32_t idx, int32_t Value) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r != nullptr && r->image != nullptr) fImageList->SetImageOriginalWidth(r->image, Value);
}

void TVexlaneMView::SetImageOriginalHeight(int32_t idx, int32_t Value) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r != nullptr && r->image != nullptr) fImageList->SetImageOriginalHeight(r->image, Value);
}

int32_t TVexlaneMView::GetImageBitCount(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return 0;
  if (r->image != nullptr) return fImageList->GetImageBitCount(r->image);
  if (r->cacheImage != nullptr) return fCacheList->GetImageBitCount(r->cacheImage);
  return 0;
}

int32_t TVexlaneMView::GetImageX(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->X : 0;
}
int32_t TVexlaneMView::GetImageY(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->Y : 0;
}
int32_t TVexlaneMView::GetImageRow(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->row : 0;
}
int32_t TVexlaneMView::GetImageCol(int32_t idx) const {
  const TVXImageInfo* r = Rec(idx);
  return r ? r->col : 0;
}

void TVexlaneMView::CopyToVXBitmap(int32_t idx, TVXBitmap* bmp) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr || bmp == nullptr) return;
  if (r->image == nullptr) LoadImageNow(idx);
  if (r->image != nullptr) fImageList->CopyToVXBitmap(r->image, bmp);
}

TVXBitmap* TVexlaneMView::GetTVXBitmap(int32_t idx) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return nullptr;
  if (r->image == nullptr) LoadImageNow(idx);
  return r->image != nullptr ? fImageList->GetBitmap(r->image) : nullptr;
}

TBitmap* TVexlaneMView::GetBitmap(int32_t idx) {
  TVXBitmap* b = GetTVXBitmap(idx);
  return b != nullptr ? b->VclBitmap() : nullptr;
}

void TVexlaneMView::ReleaseBitmap(int32_t idx, bool saveChanges) {
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr || r->image == nullptr) return;
  fImageList->ReleaseBitmapByImage(r->image, saveChanges);
  ClearImageCache(idx);
}

// The selected image's bitmap, held between selection changes.
TVXBitmap* TVexlaneMView::GetVXBitmap() {
  if (fSelectedItem < 0) return nullptr;
  if (fSelectedBitmap == nullptr) {
    fSelectedBitmap = GetTVXBitmap(fSelectedItem);
    fSelectedBitmapIdx = fSelectedItem;
  }
  return fSelectedBitmap;
}

TBitmap* TVexlaneMView::GetBitmap() {
  TVXBitmap* b = GetVXBitmap();
  return b != nullptr ? b->VclBitmap() : nullptr;
}

void TVexlaneMView::ReleaseSelectedBitmap() {
  if (fSelectedBitmap == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    fImageList->ReleaseBitmap(fSelectedBitmap, true);
  }
  fSelectedBitmap = nullptr;
  fSelectedBitmapIdx = -1;
}

void TVexlaneMView::ForgetSelectedBitmap() {
  // The loan goes back unchanged: its image was replaced.
  if (fSelectedBitmap == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    fImageList->ReleaseBitmap(fSelectedBitmap, false);
  }
  fSelectedBitmap = nullptr;
  fSelectedBitmapIdx = -1;
}

// ---------------------------------------------------------------------------
// Storing a bitmap

namespace {

// A copy of Src whose fully transparent pixels are grey, for the reduction.
std::unique_ptr<TVXBitmap> GreyUnderTransparent(TVXBitmap* Src) {
  auto work = std::make_unique<TVXBitmap>(Src);
  const TRGB grey{128, 128, 128};
  for (int32_t y = 0; y < work->Height(); ++y)
    for (int32_t x = 0; x < work->Width(); ++x)
      if (work->Alpha(x, y) == 0) work->SetPixels(x, y, grey);
  return work;
}

}  // namespace

void TVexlaneMView::SetVXBitmapEx(int32_t idx, TVXBitmap* srcImage) {
  if (srcImage == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(fThreadCS);
  TVXImageInfo* r = Rec(idx);
  if (r == nullptr) return;
  if (r->image != nullptr) {
    if (idx == fSelectedItem) ForgetSelectedBitmap();
    fImageList->Delete(r->image);
    r->image = nullptr;
    ClearImageCache(idx);
  }
  const int32_t w = StoreBoxWidth(), h = StoreBoxHeight();
  const int32_t sw = srcImage->Width(), sh = srcImage->Height();
  bool reduce = false;
  int32_t tw = w, th = h;
  if (fStoreType == vxtThumb && (fEnableResamplingOnMinor || sw > w || sh > h)) {
    if (sw > 0 && sh > 0) {
      int32_t cw = 0, ch = 0;
      VXThumbnailSize(sw, sh, w, h, cw, ch, fThumbnailClipping, tw, th);
    }
    reduce = fEnableResamplingOnMinor ? (tw != sw || th != sh) : (sw > tw || sh > th);
    if (tw < 1 || th < 1) reduce = false;
  }
  if (!reduce) {
    r->image = fImageList->AddVXBitmap(srcImage);
  } else {
    // The caller's bitmap stays as given: the grey goes into a working copy.
    std::unique_ptr<TVXBitmap> work;
    TVXBitmap* src = srcImage;
    if (srcImage->HasAlphaChannel()) {
      work = GreyUnderTransparent(srcImage);
      src = work.get();
    }
    TVXBitmap target;
    if (src->PixelFormat() == vx1g) {
      target.Allocate(tw, th, vx24RGB);
      VXStretch1BitAveraged(src, 0, 0, sw - 1, sh - 1, &target);
    } else if (src->PixelFormat() == vx24RGB && fThumbnailResampleFilter != rfNone) {
      target.Allocate(tw, th, vx24RGB);
      VXResampleBitmap(src, &target, fThumbnailResampleFilter);
    } else {
      target.Allocate(tw, th, src->PixelFormat());
      VXStretchNearest(src, &target);
    }
    if (src->HasAlphaChannel()) {
      if (!target.HasAlphaChannel()) {
        const TResampleFilter af = fThumbnailResampleFilter == rfNone ? rfFastLinear : fThumbnailResampleFilter;
        VXResampleBitmap(src->AlphaChannel(), target.AlphaChannel(), af);
      }
      target.AlphaChannel()->SetFull(src->AlphaChannel()->Full());
    }
    r->image = fImageList->AddVXBitmap(&target);
  }
  if (r->image != nullptr) {
    fImageList->SetImageOriginalWidth(r->image, sw);
    fImageList->SetImageOriginalHeight(r->image, sh);
  }
  if (idx == fSelectedItem) {
    ForgetSelectedBitmap();
    CallBitmapChangeEvents();
  }
}

void TVexlaneMView::SetVXBitmap(int32_t idx, TVXBitmap* srcImage) {
  if (srcImage == nullptr) return;
  SetVXBitmapEx(idx, srcImage);
  ClearImageCache(idx);
  UpdateEx(false, false);
}

void TVexlaneMView::SetImageEx(int32_t idx, TBitmap* srcImage) {
  if (srcImage == nullptr) return;
  TVXBitmap tmp;
  tmp.CopyFromTBitmap(srcImage);
  SetVXBitmapEx(idx, &tmp);
}

void TVexlaneMView::SetImage(int32_t idx, TBitmap* srcImage) {
  if (srcImage == nullptr) return;
  SetImageEx(idx, srcImage);
  ClearImageCache(idx);
  UpdateEx(false, false);
}

void TVexlaneMView::SetImage(int32_t idx, int32_t width, int32_t height, TVXPixelFormat PixelFormat) {
  TVXBitmap b;
  if (!b.Allocate(width, height, PixelFormat)) return;
  b.Fill(0);
  SetVXBitmap(idx, &b);
}

void TVexlaneMView::SetImageRect(int32_t idx, TBitmap* srcImage, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (srcImage == nullptr) return;
  {
    std::lock_guard<std::recursive_mutex> lock(fThreadCS);
    TVXImageInfo* r = Rec(idx);
    if (r == nullptr) return;
    x2 = std::min(x2, srcImage->Width() - 1);
    y2 = std::min(y2, srcImage->Height() - 1);
    if (r->image != nullptr) {
      if (idx == fSelectedItem) ForgetSelectedBitmap();
      fImageList->Delete(r->image);
      r->image = nullptr;
    }
    if (x2 >= x1 && y2 >= y1) r->image = fImageList->AddBitmapRect(srcImage, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
    if (r->image != nullptr) {
      fImageList->SetImageOriginalWidth(r->image, srcImage->Width());
      fImageList->SetImageOriginalHeight(r->image, srcImage->Height());
    }
  }
  if (idx == fSelectedItem) {
    ForgetSelectedBitmap();
    CallBitmapChangeEvents();
  }
  ClearImageCache(idx);
  UpdateEx(false, false);
}

void TVexlaneMView::SetImageRect(int32_t idx, TVXBitmap* srcImage, int32_t x1, int32_t y1, int32_t x2,
                                 int32_t y2) {
  if (srcImage == nullptr || x2 < x1 || y2 < y1) return;
  const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
  TVXBitmap cell;
  if (!cell.Allocate(w, h, srcImage->PixelFormat())) return;
  cell.Fill(0);
  srcImage->CopyPaletteTo(&cell);
  srcImage->CopyRectTo(&cell, x1, y1, 0, 0, w, h);
  if (srcImage->HasAlphaChannel()) {
    TVXBitmap* a = cell.AlphaChannel();
    a->Fill(0);
    srcImage->AlphaChannel()->CopyRectTo(a, x1, y1, 0, 0, w, h);
    a->SyncFull();
  }
  SetVXBitmap(idx, &cell);
}
