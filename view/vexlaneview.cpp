// The single-image viewer: composition, life cycle, the update cycle, paint
// and update locks, cursors, owned components and the window messages that
// are not about zooming and scrolling.
#include "view/vexlaneview.h"

#include <cmath>
#include <stdexcept>

#include "core/bitmap.h"
#include "core/gdiplus.h"
#include "core/settings.h"
#include "core/mask.h"
#include "core/vision.h"
#include "gui/extctrls.h"
#include "gui/cursors.h"
#include "gui/forms.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "winui/drawdib.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

// The viewer cursors: screen id and the program's cursor resource.
struct TViewCursor {
  TCursor Id;
  const char* Resource;
};
constexpr TViewCursor kViewCursors[] = {
    {1778, "ZOOMMENO"}, {1779, "ZOOMPIU"}, {1780, "CROCE"},   {1781, "GOMMA"},   {1782, "MANO"},
    {1783, "PENNA"},    {1784, "CROCE1"},  {1785, "CROCE3"},  {1786, "MOVE2"},   {1787, "MOVEY"},
    {1788, "MOVE1"},    {1789, "MOVEX"},   {1790, "MOVE"},    {1791, "CROCE3+"}, {1792, "CROCE3-"},
    {1793, "CROCE2"},   {1794, "CROCE2+"}, {1795, "CROCE2-"}, {1796, "CROCE2-"}, {1797, "1795"},
    {1798, "1796"},     {1799, "1797"},    {1800, "1798"},    {1801, "1799"},    {1802, "1800"},
    {1803, "1801"},     {1804, "1802"},    {1805, "1803"},    {1806, "1803"},    {1807, "1805"},
    {1808, "1806"},     {1809, "1807"},    {1810, "1808"},    {1811, "ROT1"},    {1812, "ROT2"},
    {1813, "ROT3"},     {1814, "ROT4"}};
static_assert(std::size(kViewCursors) == 37);

}  // namespace

// ---------------------------------------------------------------------------
// Creation and destruction

TVexlaneView::TVexlaneView(TComponent* Owner) : TVXView(Owner) {
  LockUpdate();
  try {
    ClearCoordinateTables();
    fUpdateReason = vxurDefault;
    fLegacyBitmap = true;
    if (InState(csDesigning)) VXUnloadVisionLibrary();
    VXLoadGDIPlusLibrary();
    // The image lives in a 24-bit platform bitmap of the control's size,
    // which the image object keeps.
    auto* bmp = new TVXBitmap();
    bmp->SetLocation(vxTBitmap);
    if (Width() > 0 && Height() > 0) bmp->Allocate(Width(), Height(), vx24RGB);
    fVXBitmap = bmp;
    fBitmap = bmp->VclBitmap();
    fMaxLayerWidth = bmp->Width();
    fMaxLayerHeight = bmp->Height();
    auto layer0 = std::make_unique<TVXLayer>(this, bmp, true);
    layer0->SetVisibleBox(false);
    layer0->SetLocked(true);
    fLayers.push_back(std::move(layer0));
    fLayersCurrent = 0;
    fAutoCursors = Owner != nullptr;
    if (Owner != nullptr) RegisterCursors();
    SetBounds(Left(), Top(), 105, 105);
    TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
    SetDPI(s->DefaultDPIX(), s->DefaultDPIY());
    fHPolySel = AnimPolygonNew(fSelColor1, fSelColor2, true, true);
    FitSelectionMaskToImage();
  } catch (...) {
    fUpdateLocked = 0;
    throw;
  }
  UnLockUpdate();
}

TVexlaneView::~TVexlaneView() {
  Destroying();
  // Attached components let go while the viewer is whole: one may first
  // wait for its requests, which still reach the viewer.
  CallBitmapDestroyEvents();
  fSmoothScrolling = false;  // the smooth timers go without an event
  fSmoothScrollTimer.reset();
  fSmoothZoomTimer.reset();
  fPostFrames.clear();
  SyncLayers();
  StopPlayTimer();
  fTransition.reset();
  SetNavigator(nullptr, 0);
  if (fNavigatorSource != nullptr && fNavigatorSource->fNavigator == this) fNavigatorSource->SetNavigator(nullptr, 0);
  // The components unregister themselves as they go.
  delete fVexlaneIO;
  fVexlaneIO = nullptr;
  delete fVexlaneProc;
  fVexlaneProc = nullptr;
  fTBitmap.reset();
  fAnimPolyTimer.reset();
  fHPolySel = nullptr;
  fAnimPoly.clear();
  if (fHDrawDib != nullptr) DrawDibClose(fHDrawDib);
  fSelectionMask.reset();
  fSavedSelection.clear();
  fLayers.clear();
  fBitmap = nullptr;
  fVXBitmap = nullptr;
  VXFreeGDIPlusLibrary();
}

void TVexlaneView::RegisterCursors() {
  if (Screen == nullptr) return;
  for (const TViewCursor& c : kViewCursors) Screen->SetCursors(c.Id, LoadCursorW(HInstance, c.Resource));
}

// ---------------------------------------------------------------------------
// Owned components

TVexlaneIO* TVexlaneView::IO() {
  if (fVexlaneIO == nullptr) {
    fVexlaneIO = new TVexlaneIO(this);
    fVexlaneIO->SetAttachedVexlane(this);
    fVexlaneIO->OnProgress = fOnProgress;
    fVexlaneIO->OnFinishWork = fOnFinishWork;
  }
  return fVexlaneIO;
}

TVexlaneProc* TVexlaneView::Proc() {
  if (fVexlaneProc == nullptr) {
    fVexlaneProc = new TVexlaneProc(this);
    fVexlaneProc->SetAttachedVexlane(this);
    fVexlaneProc->OnProgress = fOnProgress;
    fVexlaneProc->OnFinishWork = fOnFinishWork;
    fVexlaneProc->OnSaveUndo = fOnSaveUndo;
  }
  return fVexlaneProc;
}

void TVexlaneView::Notification(TComponent* AComponent, TOperation Operation) {
  TVXView::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == fNavigator) fNavigator = nullptr;
  if (AComponent == fNavigatorSource) {
    fNavigatorSource = nullptr;
    fIsNavigator = false;
  }
  // A posting target that goes ends its postings.
  for (size_t i = fPostFrames.size(); i-- > 0;)
    if (fPostFrames[i]->FTarget == AComponent) fPostFrames.erase(fPostFrames.begin() + std::ptrdiff_t(i));
  // Owned components freed by someone else are forgotten.
  if (AComponent == fVexlaneIO) fVexlaneIO = nullptr;
  if (AComponent == fVexlaneProc) fVexlaneProc = nullptr;
}

void TVexlaneView::SetOnProgress(TVXProgressEvent Value) {
  fOnProgress = Value;
  if (fVexlaneIO) fVexlaneIO->OnProgress = Value;
  if (fVexlaneProc) fVexlaneProc->OnProgress = Value;
}

void TVexlaneView::SetOnFinishWork(TNotifyEvent Value) {
  fOnFinishWork = Value;
  if (fVexlaneIO) fVexlaneIO->OnFinishWork = Value;
  if (fVexlaneProc) fVexlaneProc->OnFinishWork = Value;
}

void TVexlaneView::SetOnAcquireBitmap(TVXAcquireBitmapEvent Value) {
  // The I/O component's acquisition comes with the acquisition issues; the
  // viewer keeps the handler for it.
  fOnAcquireBitmap = Value;
}

void TVexlaneView::SetOnSaveUndo(TVXSaveUndoEvent Value) {
  fOnSaveUndo = Value;
  if (fVexlaneProc) fVexlaneProc->OnSaveUndo = Value;
}

// ---------------------------------------------------------------------------
// Update and locking

void TVexlaneView::Update() {
  if (fUpdateLocked > 0 || InState(csDesigning)) return;
  if ((ComponentState() & ~VXStateBit(csFreeNotification)) != 0) return;
  const bool outerInside = fInsideUpdate;
  fInsideUpdate = true;
  try {
    RunUpdate();
  } catch (...) {
    fUpdateReason = vxurDefault;
    fInsideUpdate = outerInside;
    throw;
  }
  fUpdateReason = vxurDefault;
  fInsideUpdate = outerInside;
}

void TVexlaneView::RunUpdate() {
  // The mask paintings made since the last update.
  if (fUpdate_MaskCache >= 0 && fUpdate_MaskCache < LayersCount()) {
    fLayers[size_t(fUpdate_MaskCache)]->SetCachedLayerMask(nullptr);
  } else {
    for (const auto& l : fLayers) l->SetCachedLayerMask(nullptr);
  }
  fUpdate_MaskCache = -1;
  SyncLayers();

  // Automatic zoom.
  if ((fAutoFit || fAutoStretch || fAutoShrink) && fMaxLayerWidth != 0 && fMaxLayerHeight != 0) {
    DoViewChanging(2, fZoomX);
    int32_t mx, my;
    switch (fBackgroundStyle) {
      case vxbsCropped:
        mx = VXGetGlobalSettings()->EdgeX();
        my = VXGetGlobalSettings()->EdgeY();
        break;
      case vxbsCropShadow: mx = my = 5; break;
      case vxbsSoftShadow: mx = my = 9; break;
      default:
        mx = (Width() - GetClientWidth()) / 2;
        my = (Height() - GetClientHeight()) / 2;
        break;
    }
    double z = 100;
    if (fMaxLayerWidth >= 2 || fMaxLayerHeight >= 2)
      z = AutoZoomValue(fMaxLayerWidth, fMaxLayerHeight, GetClientWidth() - 2 * mx, GetClientHeight() - 2 * my,
                        fAutoStretch || fAutoFit, fAutoShrink || fAutoFit);
    if (z < 1) z = 1;
    SetZoomNoUpdate(z);
    UpdateVisibleRects();
    UpdateCoordinateTables();
    DoViewChange(1);
    fStable = 0;
    fStable2 = 0;
  }

  // A new image size; an alpha channel of another size is made opaque anew.
  if (fVXBitmap && (fVXBitmap->Width() != fBitmapWidth || fVXBitmap->Height() != fBitmapHeight)) {
    fBitmapWidth = fVXBitmap->Width();
    fBitmapHeight = fVXBitmap->Height();
  }
  // The selection mask follows the image's size (content kept while a
  // selection exists).
  FitSelectionMaskToImage();
  if (fVXBitmap && fVXBitmap->HasAlphaChannel()) {
    TVXBitmap* a = fVXBitmap->AlphaChannelOpt();
    if (a->Width() != fVXBitmap->Width() || a->Height() != fVXBitmap->Height()) {
      a->Allocate(fVXBitmap->Width(), fVXBitmap->Height(), vx8g);
      a->Fill(255);
    }
  }

  if (!HandleAllocated()) return;
  if (!InState(csDesigning) && CanPaint()) {
    const int32_t cw = GetClientWidth(), ch = GetClientHeight();
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    bool corrected = false;
    if (fViewX > mx) {
      DoViewChanging(0, mx);
      fViewX = mx;
      corrected = true;
    }
    if (fViewY > my) {
      DoViewChanging(1, my);
      fViewY = my;
      corrected = true;
    }
    if (corrected) DoViewChange(0);
    try {
      SetupScrollBars();
    } catch (const std::exception&) {
      // The platform's refusals while setting up the bars are not the
      // update's concern.
    }
    if ((cw != GetClientWidth() || ch != GetClientHeight()) && !fUpdateInsideUpdate) {
      // A bar appeared or disappeared: settle the layout once more.
      fUpdateInsideUpdate = true;
      try {
        Update();
      } catch (...) {
        fUpdateInsideUpdate = false;
        throw;
      }
      fUpdateInsideUpdate = false;
    }
  }
  CalcViewLayout();
  fFullUpdateRequest = true;
  fDBToDraw = true;
  if (CanPaint() && !fBlockPaint && fUpdateInvalidate) Invalidate();
  if (fNavigator != nullptr && fNavigator->fLockPaint == 0) {
    if (fUpdateReason == vxurDefault) fNavigator->Update();
    RefreshNavigator();
  }
}

void TVexlaneView::UpdateNoPaint() {
  fBlockPaint = true;
  try {
    Update();
  } catch (...) {
    fBlockPaint = false;
    throw;
  }
  fBlockPaint = false;
}

void TVexlaneView::LockUpdate() { ++fUpdateLocked; }

void TVexlaneView::UnLockUpdateEx() {
  if (fUpdateLocked > 0) --fUpdateLocked;
}

void TVexlaneView::UnLockUpdate() {
  UnLockUpdateEx();
  if (fUpdateLocked == 0) Update();
}

void TVexlaneView::LockPaint() { ++fLockPaint; }

int32_t TVexlaneView::UnLockPaint() {
  if (fLockPaint > 0) --fLockPaint;
  if (fLockPaint == 0) Update();
  return fLockPaint;
}

int32_t TVexlaneView::NPUnLockPaint() {
  if (fLockPaint > 0) --fLockPaint;
  return fLockPaint;
}

// ---------------------------------------------------------------------------
// Image operations

TVXBitmap* TVexlaneView::GetAlphaChannel() { return fVXBitmap ? fVXBitmap->AlphaChannel() : nullptr; }

bool TVexlaneView::GetHasAlphaChannel() { return fVXBitmap && fVXBitmap->HasAlphaChannel(); }

void TVexlaneView::RemoveAlphaChannel(bool Merge) {
  if (fVXBitmap) fVXBitmap->RemoveAlphaChannel(Merge, int32_t(fBackGround));
  Update();
}

void TVexlaneView::SetEnableAlphaChannel(bool Value) {
  if (Value == fEnableAlphaChannel) return;
  fEnableAlphaChannel = Value;
  Update();
}

void TVexlaneView::ImageChange() {
  if (OnImageChange) OnImageChange(static_cast<TVXView*>(this));
  StartPlayTimer();
  if (fUpdateReason != vxurComponentStuffChanged) fImageSet = true;
}

void TVexlaneView::Clear() {
  if (fVXBitmap) {
    fVXBitmap->Fill(double(int32_t(fBackGround)));
    fVXBitmap->RemoveAlphaChannel(false, 0);
  }
  Update();
}

void TVexlaneView::Blank() {
  StopPlayTimer();
  StopTransition();
  if (fVXBitmap) fVXBitmap->Allocate(1, 1, fVXBitmap->PixelFormat() == vxnull ? vx24RGB : fVXBitmap->PixelFormat());
  Clear();
  fImageSet = false;
}

bool TVexlaneView::GetIsEmpty() { return fVXBitmap == nullptr || (fVXBitmap->Width() < 2 && fVXBitmap->Height() < 2); }

bool TVexlaneView::GetIsEmpty2() {
  if (fImageSet) return false;
  if (fVXBitmap == nullptr || fVXBitmap->Width() <= 1 || fVXBitmap->Height() <= 1) return true;
  if (fVXBitmap->Width() != Width() || fVXBitmap->Height() != Height()) return false;
  TRGB p = fVXBitmap->Pixels(0, 0);
  TRGB b = VXColorToTRGB(int32_t(fBackGround));
  return p.r == b.r && p.g == b.g && p.b == b.b;
}

void TVexlaneView::SetLegacyBitmap(bool Value) {
  if (Value == fLegacyBitmap) return;
  fLegacyBitmap = Value;
  if (fVXBitmap != nullptr) {
    if (Value) {
      fVXBitmap->SetLocation(vxTBitmap);
      fBitmap = fVXBitmap->VclBitmap();
    } else {
      fVXBitmap->SetLocation(vxFile);  // memory for an image below the file threshold
      fBitmap = nullptr;
    }
  }
  CallBitmapChangeEvents();
  Update();
}

void TVexlaneView::SetExternalBitmap(TVXBitmap* Bmp) {
  if (fLayersCurrent < 0 || fLayersCurrent >= LayersCount()) return;
  TVXLayer* layer = fLayers[size_t(fLayersCurrent)].get();
  if (Bmp != nullptr) {
    // Given the bitmap the layer already holds, nothing is freed: the layer
    // only stops owning it.
    if (layer->Bitmap() != Bmp) layer->SetBitmap(Bmp);
    layer->SetFreeBitmapOnDestroy(false);
    fVXBitmap = Bmp;
    fBitmap = Bmp->Location() == vxTBitmap ? Bmp->VclBitmap() : nullptr;
  } else {
    auto* own = new TVXBitmap();
    layer->SetBitmap(own);  // the external bitmap is not the layer's: kept
    layer->SetFreeBitmapOnDestroy(true);
    fVXBitmap = own;
    fBitmap = nullptr;
  }
  CallBitmapChangeEvents();
  Update();
}

void TVexlaneView::ChangeResolution(int32_t NewDPI, TResampleFilter ResampleFilter) {
  if (fDPIX == 0 || fDPIY == 0 || NewDPI <= 0 || fVXBitmap == nullptr) return;
  const int32_t oldX = fDPIX, oldY = fDPIY;
  {
    std::unique_ptr<TVexlaneProc> proc = TVexlaneProc::CreateFromBitmap(fVXBitmap);
    proc->SetAutoUndo(false);
    proc->OnProgress = fOnProgress;
    proc->OnFinishWork = fOnFinishWork;
    const double h = std::nearbyint(double(fVXBitmap->Height()) / oldY * NewDPI);
    if (h >= 1 && h <= double(INT32_MAX)) proc->Resample(-1, int32_t(h), ResampleFilter);
  }
  fDPIY = NewDPI;
  fDPIX = int32_t(std::nearbyint(double(NewDPI) * oldX / oldY));
  CallBitmapChangeEvents();
  Update();
}

void TVexlaneView::Assign(TVXBitmap* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (fVXBitmap) fVXBitmap->Assign(Source);
  Update();
  ImageChange();
}

void TVexlaneView::Assign(TBitmap* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (fVXBitmap) {
    fVXBitmap->CopyFromTBitmap(Source);
    if (fVXBitmap->PixelFormat() != vx1g && fVXBitmap->PixelFormat() != vx24RGB) fVXBitmap->SetPixelFormat(vx24RGB);
  }
  Update();
  ImageChange();
}

void TVexlaneView::Assign(TVexlaneView* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (Source == this) return;
  fBackGround = Source->fBackGround;
  SetDPI(Source->DpiX(), Source->DpiY());
  if (Source->fVexlaneIO != nullptr) IO()->AssignParams(Source->fVexlaneIO);
  StoreCurrentBitmap();
  Source->StoreCurrentBitmap();
  // Layer 0 is kept and takes the source's first layer; the others are new.
  while (fLayers.size() > 1) fLayers.pop_back();
  fLayersCurrent = 0;
  TakeCurrentLayerBitmap();
  for (int32_t i = 0; i < Source->LayersCount(); ++i) {
    if (i > 0) fLayers.push_back(std::make_unique<TVXLayer>(this, nullptr, false));
    fLayers[size_t(i)]->Assign(*Source->fLayers[size_t(i)]);
  }
  const int32_t current = Source->fLayersCurrent;
  fLayersCurrent = -1;
  fVXBitmap = nullptr;
  fBitmap = nullptr;
  SetLayersCurrent(current);
  Update();
  ImageChange();
}

// ---------------------------------------------------------------------------
// The control

void TVexlaneView::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TVXView::SetBounds(ALeft, ATop, AWidth, AHeight);
  const TComponentState building = VXStateBit(csReading) | VXStateBit(csLoading) | VXStateBit(csDesigning);
  if ((ComponentState() & building) != 0 && fVXBitmap != nullptr) {
    fVXBitmap->Allocate(Width(), Height(), fVXBitmap->PixelFormat() == vxnull ? vx24RGB : fVXBitmap->PixelFormat());
    Clear();
  }
}

void TVexlaneView::SetBackground(TColor Value) {
  TVXView::SetBackground(Value);
  if (InState(csDesigning)) Clear();
  fUpdateReason = vxurComponentStuffChanged;
  Update();
  fUpdateReason = vxurComponentStuffChanged;
  ImageChange();
  fUpdateReason = vxurDefault;
  if (InState(csDesigning)) Paint();
}

void TVexlaneView::SetBackgroundStyle(TVXBackgroundStyle Value) {
  fBackgroundStyle = Value;
  if (HandleAllocated()) Invalidate();
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

bool TVexlaneView::CanPaint() { return GetParentForm(this) != nullptr || ParentWindow() != nullptr; }

int32_t TVexlaneView::GetClientWidth() {
  if (fOffscreenPaint) return Width();
  if (CanPaint() && HandleAllocated()) {
    RECT r;
    GetClientRect(Handle(), &r);
    return r.right - r.left;
  }
  return 50;
}

int32_t TVexlaneView::GetClientHeight() {
  if (fOffscreenPaint) return Height();
  if (CanPaint() && HandleAllocated()) {
    RECT r;
    GetClientRect(Handle(), &r);
    return r.bottom - r.top;
  }
  return 50;
}

void TVexlaneView::SetDrawVersion(bool Value) {
  fDrawVersion = Value;
  Paint();
}

// ---------------------------------------------------------------------------
// Cursors

void TVexlaneView::SetCursor(TCursor Value) {
  if (OnSetCursor) OnSetCursor(static_cast<TVXView*>(this), Value);
  fLCursor = Value;
  fCursor = Value;
  TVXView::SetCursor(Value);
}

void TVexlaneView::SetInteractionCursor(TCursor Value, bool ForceScreen) {
  if (OnSetCursor) OnSetCursor(static_cast<TVXView*>(this), Value);
  if (!fAutoCursors) return;
  TVXView::SetCursor(Value);
  fCursor = Value;
  if (ForceScreen && Screen != nullptr) {
    if (fWasScreenCursor == -1) fWasScreenCursor = Screen->Cursor();
    Screen->SetCursor(Value);
  }
}

void TVexlaneView::RestoreCursor() {
  SetInteractionCursor(fLCursor, false);
  if (fWasScreenCursor != -1 && Screen != nullptr) {
    Screen->SetCursor(fWasScreenCursor);
    fWasScreenCursor = -1;
  }
}

// ---------------------------------------------------------------------------
// Messages

void TVexlaneView::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case VXM_VIEW_UPDATE:
      // A request thread's load: the image change is announced here, on
      // the viewer's own thread.
      Update();
      ImageChange();
      return;
    case VXM_VIEW_PROGRESS:
      if (fOnProgress) fOnProgress(static_cast<TVXView*>(this), int32_t(Message.WParam));
      return;
    case VXM_VIEW_FINISHWORK:
      if (fOnFinishWork) fOnFinishWork(static_cast<TVXView*>(this));
      return;
    case VXM_VIEW_DSHOW_FRAME:
    case VXM_VIEW_DSHOW_EVENT:
    case VXM_VIEW_MEDIAFOUNDATION:
      // Their objects come with the video players; nothing posts them yet.
      return;
    case WM_MOUSEHWHEEL:
      TVXView::DefaultHandler(Message);
      return;
    default:
      break;
  }
  TVXView::WndProc(Message);
  switch (Message.Msg) {
    case CN_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (OnVirtualKey) OnVirtualKey(static_cast<TVXView*>(this), uint32_t(Message.WParam), uint32_t(Message.LParam), true);
      break;
    case CN_KEYUP:
    case WM_SYSKEYUP:
      if (OnVirtualKey)
        OnVirtualKey(static_cast<TVXView*>(this), uint32_t(Message.WParam), uint32_t(Message.LParam), false);
      break;
    default:
      break;
  }
}

void TVexlaneView::WMSize(TMessage& Message) {
  TVXView::WMSize(Message);
  if (fInsideUpdate) return;
  StopTransition();
  fUpdateReason = vxurComponentStuffChanged;
  Update();
}

void TVexlaneView::WMEraseBkgnd(TMessage& Message) { Message.Result = 0; }

void TVexlaneView::WMSetFocus(TMessage& Message) {
  TVXView::WMSetFocus(Message);
  Invalidate();
}

void TVexlaneView::WMKillFocus(TMessage& Message) {
  TVXView::WMKillFocus(Message);
  Invalidate();
}

bool TVexlaneView::PaletteChanged(bool Foreground) {
  (void)Foreground;
  // A main form would realise the DrawDib palette on its canvas; forms here
  // draw through their children and have no canvas, so there is nothing to
  // realise with one. Without a main form the window is drawn again.
  if (Application == nullptr || Application->MainForm() == nullptr) Invalidate();
  return true;
}
