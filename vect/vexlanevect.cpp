#include "vect/vexlanevect.h"

#include <algorithm>
#include <climits>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/rowops.h"
#include "core/streams.h"
#include "gui/extctrls.h"
#include "gui/graphics.h"
#include "proc/proc.h"
#include "vect/textcontrol.h"
#include "vect/extended.h"
#include "winui/gdi.h"
#include "winui/win_icon.h"

TVXExtendedHolder::TVXExtendedHolder() = default;
TVXExtendedHolder::~TVXExtendedHolder() = default;
TVXExtendedHolder::TVXExtendedHolder(const TVXExtendedHolder&) {}
TVXExtendedHolder& TVXExtendedHolder::operator=(const TVXExtendedHolder& Other) {
  if (this != &Other) Ptr.reset();
  return *this;
}
TVXExtendedHolder::TVXExtendedHolder(TVXExtendedHolder&&) noexcept = default;
TVXExtendedHolder& TVXExtendedHolder::operator=(TVXExtendedHolder&&) noexcept = default;

namespace {

bool KeepsCornerOrder(TVXVObjectKind k) {
  return k == vxkLINE || k == vxkRULER || k == vxkPOLYLINE || k == vxkLINELABEL;
}

}  // namespace

void TVexlaneVect::SystemIconPicture(TVXBitmap& B, int32_t Id, int32_t W, int32_t H) {
  B.Allocate(W, H, vx24RGB);
  B.Fill(0);
  HICON icon = static_cast<HICON>(LoadImageW(nullptr, uintptr_t(Id), IMAGE_ICON, W, H, LR_SHARED));
  vxwin::IconImage img;
  if (!icon || !vxwin::IconImageOf(icon, img)) return;
  for (int32_t y = 0; y < std::min(H, img.Height); ++y)
    for (int32_t x = 0; x < std::min(W, img.Width); ++x) {
      const uint32_t p = img.Pixels[size_t(y) * size_t(img.Width) + size_t(x)];
      const uint32_t a = p >> 24;
      auto mix = [&](int shift) { return uint8_t(((p >> shift) & 0xFF) * a / 255); };
      B.SetPixels(x, y, TRGB{mix(0), mix(8), mix(16)});
    }
}

// ---------------------------------------------------------------------------
// Construction

TVexlaneVect::TVexlaneVect(TComponent* Owner) : TVexlaneView(Owner) {
  CreateTextEditors();
  fObjGripPen = std::make_unique<TPen>();
  fObjGripBrush = std::make_unique<TBrush>();
  fObjGripBrush->SetColor(TColor(0xBAFFFF));
  fInsertingPen = std::make_unique<TPen>();
  fInsertingPen->SetMode(pmNot);
  fMeasureHintFont = std::make_unique<TFont>();
  fMeasureHintFont->SetColor(clBlack);
  fMeasureHintFont->SetStyle(TFontStyles(1u << fsBold));
  fMeasureHintBrush = std::make_unique<TBrush>();
  fMeasureHintBrush->SetColor(TColor(0x60FFFF));
  fObjGripImage = std::make_unique<TPicture>();
  fHintSaveBitmap = std::make_unique<TBitmap>();
  fMouseStableTimer = std::make_unique<TTimer>();
  fMouseStableTimer->SetEnabled(false);
  fMouseStableTimer->SetInterval(50);
  fMouseStableTimer->OnTimer = [this](void*) { MouseStableTimer(); };
  CalcMeasureCoefs();
  ResetTemplate();
  // The template's picture: the system's error icon at 64 x 64.
  TVXBitmap icon;
  SystemIconPicture(icon, int32_t(IDI_HAND), 64, 64);
  AssignBitmap(fNewObj, &icon);
  // The canvas's font, named "Arial", is the template's.
  TFont* f = Canvas() ? Canvas()->Font() : nullptr;
  if (f) {
    f->SetName("Arial");
    SetObjFont(-1, f);
  }
  fNewObj.RulerUnit = fMUnit;
}

TVexlaneVect::~TVexlaneVect() {
  EndTextEdit(true);
  fTextEditing = -1;
  fMouseStableTimer.reset();
  for (auto& o : fObjHeap)
    if (o) FreeObjectContents(*o);
  FreeObjectContents(fNewObj);
}

// ---------------------------------------------------------------------------
// Template

void TVexlaneVect::ResetTemplate() {
  TVXVObject& t = fNewObj;
  t.x1 = 0, t.y1 = 0, t.x2 = 63, t.y2 = 63;
  t.BeginShape = vxsNONE, t.EndShape = vxsNONE;
  t.ShapeWidth = 10, t.ShapeHeight = 20;
  t.LabelBrushColor = TColor(0xFFFFFF);
  t.LabelBrushStyle = bsSolid;
  t.LabelPosition = vxlEnd;
  t.LabelBorder = vxlRectangle;
  t.PenColor = TColor(0xFFFFFF);
  t.PenStyle = psSolid;
  t.PenWidth = 1;
  t.BrushColor = TColor(0xFFFFFF);
  t.BrushStyle = bsClear;
  t.BoxHighlight = false;
  t.a1 = 0, t.a2 = 6.283185307179586;
  t.BitmapBorder = false;
  t.FontQuality = vxfqAntialiased;
  t.TextAlign = vxjLeft;
  t.TextAutoSize = false;
  t.FontLocked = true;
  t.CurvedCharRot = -10;
  t.MaintainTextAlignmentOnRotate = false;
  t.LineSpace = 0;
  t.MemoBorderColor = TColor(0xFFFFFF);
  t.MemoBorderStyle = psSolid;
  t.MemoFixedHeight = 0;
  t.MemoHasBitmap = false;
  t.MemoMarginLeft = t.MemoMarginTop = t.MemoMarginRight = t.MemoMarginBottom = 0;
  t.MemoCharsBrushStyle = bsSolid;
}

// ---------------------------------------------------------------------------
// Lookup

int32_t TVexlaneVect::ResolveHandle(int32_t hobj) const {
  if (hobj == -1) return -1;
  if (!fHeapAllocated) throw EVXException("Invalid Object Heap");
  const int32_t n = int32_t(fObjHeap.size());
  if (hobj == -2) hobj = n - 1;
  if (hobj < 0 || hobj >= n || !fObjHeap[size_t(hobj)]) throw EVXException("Invalid object index");
  return hobj;
}

TVXVObject* TVexlaneVect::GetObjRecord(int32_t hobj) {
  const int32_t h = ResolveHandle(hobj);
  return h == -1 ? &fNewObj : fObjHeap[size_t(h)].get();
}

// ---------------------------------------------------------------------------
// Shared bitmaps

void TVexlaneVect::ReleaseBitmap(TVXVObject& Obj) {
  const int32_t i = Obj.BitmapIdx;
  Obj.BitmapIdx = -1;
  if (i < 0 || i >= int32_t(fBitmaps.size())) return;
  TVXVBitmap& s = fBitmaps[size_t(i)];
  if (s.fRefCount <= 1) {
    s.fBitmap.reset();
    s.fRefCount = 0;
  } else {
    --s.fRefCount;
  }
}

void TVexlaneVect::AssignBitmap(TVXVObject& Obj, TVXBitmap* B) {
  ReleaseBitmap(Obj);
  if (!B) return;
  if (fShareBitmaps)
    for (int32_t i = int32_t(fBitmaps.size()) - 1; i >= 0; --i) {
      TVXVBitmap& s = fBitmaps[size_t(i)];
      if (s.fBitmap && VXBitmapsEqual(s.fBitmap.get(), B)) {
        ++s.fRefCount;
        Obj.BitmapIdx = i;
        return;
      }
    }
  auto copy = std::make_unique<TVXBitmap>();
  copy->Assign(B);
  size_t slot = 0;
  while (slot < fBitmaps.size() && fBitmaps[slot].fBitmap) ++slot;
  if (slot == fBitmaps.size()) fBitmaps.emplace_back();
  fBitmaps[slot].fBitmap = std::move(copy);
  fBitmaps[slot].fRefCount = 1;
  Obj.BitmapIdx = int32_t(slot);
}

void TVexlaneVect::PackBitmaps() {
  std::vector<int32_t> map(fBitmaps.size(), -1);
  std::vector<TVXVBitmap> packed;
  for (size_t i = 0; i < fBitmaps.size(); ++i)
    if (fBitmaps[i].fBitmap) {
      map[i] = int32_t(packed.size());
      packed.push_back(std::move(fBitmaps[i]));
    }
  fBitmaps = std::move(packed);
  auto remap = [&](TVXVObject& o) {
    if (o.BitmapIdx >= 0 && o.BitmapIdx < int32_t(map.size())) o.BitmapIdx = map[size_t(o.BitmapIdx)];
    else o.BitmapIdx = -1;
  };
  remap(fNewObj);
  for (int32_t h : fObj) remap(*fObjHeap[size_t(h)]);
}

// ---------------------------------------------------------------------------
// Adding and removing

int32_t TVexlaneVect::AddRecord(TVXVObject& Source, bool TakeUserData) {
  if (fObj.size() % 512 == 0) fObj.reserve(fObj.size() + 522);
  if (fObjHeap.size() % 512 == 0) fObjHeap.reserve(fObjHeap.size() + 522);
  auto rec = std::make_unique<TVXVObject>(Source);  // plain fields; the owned ones are settled below
  TVXVObject& o = *rec;
  const TVXVObjectKind k = Source.Kind;
  o.BitmapIdx = -1;
  o.UserData = nullptr;
  o.UserDataLength = 0;
  o.UserDataBlock.clear();
  o.DrawnPoints.clear();
  o.DrawnPointsAllocated = 0;
  const bool texts = k == vxkTEXT || k == vxkLINELABEL || k == vxkEXTENDED;
  if (texts) {
    if (!o.Text) o.Text = std::u16string();
  } else if (k != vxkMEMO && k != vxkBITMAP) {  // a bitmap object keeps its text too
    o.Text.reset();
  }
  if (!(texts || k == vxkMEMO || k == vxkRULER || k == vxkANGLE)) o.LogFont.reset();
  if (!texts) o.CurvedPos.clear();
  if (k == vxkMEMO) {
    if (o.TextFormatRef) o.TextFormatRef->resize(o.Text ? o.Text->size() + 1 : 1, 0);
  } else {
    o.TextFormatRef.reset();
    o.TextFormat.clear();
  }
  if (!o.Name) o.Name = std::string();
  if (!KeepsCornerOrder(k)) VXOrderCorners(o.x1, o.y1, o.x2, o.y2);
  if (k == vxkPOLYLINE) {
    o.PolyPointsAllocated = int32_t(o.PolyPoints.size());
  } else {
    o.PolyPoints.clear();
    o.PolyPointsAllocated = 0;
    o.PolyBaseX1 = o.PolyBaseY1 = o.PolyBaseX2 = o.PolyBaseY2 = 0;
  }
  if (TakeUserData && Source.UserDataLength > 0) {
    o.UserDataBlock = std::move(Source.UserDataBlock);
    o.UserDataLength = Source.UserDataLength;
    o.UserData = o.UserDataBlock.data();
    Source.UserDataBlock.clear();
    Source.UserDataLength = 0;
    Source.UserData = nullptr;
  }
  if ((k == vxkBITMAP || (k == vxkMEMO && Source.MemoHasBitmap)) && Source.BitmapIdx >= 0 &&
      Source.BitmapIdx < int32_t(fBitmaps.size()) && fBitmaps[size_t(Source.BitmapIdx)].fBitmap) {
    if (fShareBitmaps) {
      ++fBitmaps[size_t(Source.BitmapIdx)].fRefCount;
      o.BitmapIdx = Source.BitmapIdx;
    } else {
      TVXBitmap* src = fBitmaps[size_t(Source.BitmapIdx)].fBitmap.get();
      auto copy = std::make_unique<TVXBitmap>();
      copy->Assign(src);
      fBitmaps.emplace_back();
      fBitmaps.back().fBitmap = std::move(copy);
      fBitmaps.back().fRefCount = 1;
      o.BitmapIdx = int32_t(fBitmaps.size()) - 1;
    }
  }
  const int32_t h = int32_t(fObjHeap.size());
  fObjHeap.push_back(std::move(rec));
  fObj.push_back(h);
  fHeapAllocated = true;
  if (k == vxkEXTENDED && Source.extendedObject.Ptr) {
    o.extendedObject.Ptr = Source.extendedObject.Ptr->Clone();
    if (o.extendedObject.Ptr) {
      o.extendedObject.Ptr->fObject = &o;
      o.extendedObject.Ptr->Instance(h);
    }
  }
  return h;
}

int32_t TVexlaneVect::AddNewObject(bool bDefaultProps) {
  const int32_t h = AddRecord(fNewObj, false);
  if (bDefaultProps) ResetTemplate();
  Update();
  return h;
}

int32_t TVexlaneVect::AddNewObject(TVXVObjectKind Kind, const TRect& Rect, TColor Color, bool bDefaultProps) {
  const int32_t h = AddNewObject(bDefaultProps);
  SetObjKind(h, Kind);
  SetObjRect(h, Rect, false);
  SetObjPenColor(h, Color);
  return h;
}

void TVexlaneVect::FreeObjectContents(TVXVObject& Obj) {
  ReleaseBitmap(Obj);
  Obj.Name.reset();
  Obj.LogFont.reset();
  Obj.Text.reset();
  Obj.TextFormatRef.reset();
  Obj.TextFormat.clear();
  Obj.CurvedPos.clear();
  Obj.PolyPoints.clear();
  Obj.PolyPointsAllocated = 0;
  Obj.PolyBaseX1 = Obj.PolyBaseY1 = Obj.PolyBaseX2 = Obj.PolyBaseY2 = 0;
  Obj.DrawnPoints.clear();
  Obj.DrawnPointsAllocated = 0;
  Obj.softShadow = TVXVSoftShadow();
  if (Obj.extendedObject.Ptr) {
    Obj.extendedObject.Ptr->Finalize();
    Obj.extendedObject.Ptr.reset();
  }
  Obj.UserDataBlock.clear();
  if (Obj.UserDataLength > 0) Obj.UserData = nullptr;
  Obj.UserDataLength = 0;
}

void TVexlaneVect::RemoveOneObject(int32_t hobj) {
  const int32_t h = ResolveHandle(hobj);
  if (h < 0) throw EVXException("Invalid object index");
  UnSelObject(h);
  FreeObjectContents(*fObjHeap[size_t(h)]);
  fObj.erase(std::remove(fObj.begin(), fObj.end(), h), fObj.end());
  fObj.reserve(fObj.size() + 522);
  if (h == int32_t(fObjHeap.size()) - 1) {
    fObjHeap.pop_back();
  } else {
    fObjHeap[size_t(h)] = nullptr;  // a hole, never reused
  }
  DoVectorialChanged();
}

void TVexlaneVect::RemoveObject(int32_t hobj) {
  CancelInteracts();
  AutoUndoStep();
  if (hobj == -9) {
    while (!fSelObj.empty()) RemoveOneObject(fSelObj.front());
  } else {
    RemoveOneObject(hobj);
  }
  Update();
}

void TVexlaneVect::RemoveAllObjects() {
  CancelInteracts();
  AutoUndoStep();
  for (auto& o : fObjHeap)
    if (o) FreeObjectContents(*o);
  fObjHeap.clear();
  fObjHeap.shrink_to_fit();
  fObj.clear();
  fSelObj.clear();
  fHeapAllocated = false;
  // The template keeps its picture as the list's one entry.
  std::unique_ptr<TVXBitmap> keep;
  if (fNewObj.BitmapIdx >= 0 && fNewObj.BitmapIdx < int32_t(fBitmaps.size()))
    keep = std::move(fBitmaps[size_t(fNewObj.BitmapIdx)].fBitmap);
  fNewObj.BitmapIdx = -1;
  fBitmaps.clear();
  if (keep) {
    fBitmaps.emplace_back();
    fBitmaps.back().fBitmap = std::move(keep);
    fBitmaps.back().fRefCount = 1;
    fNewObj.BitmapIdx = 0;
  }
  DoVectorialChanged();
  Update();
}

// ---------------------------------------------------------------------------
// Z-order and lookups

int32_t TVexlaneVect::GetObjFromIndex(int32_t idx) const {
  return idx >= 0 && idx < int32_t(fObj.size()) ? fObj[size_t(idx)] : -1;
}

int32_t TVexlaneVect::GetIndexFromObj(int32_t hobj) const {
  auto it = std::find(fObj.begin(), fObj.end(), hobj);
  return it == fObj.end() ? -1 : int32_t(it - fObj.begin());
}

int32_t TVexlaneVect::GetObjFromName(const std::string& oName) const {
  int32_t r = -1;
  for (int32_t h : fObj) {
    const TVXVObject& o = *fObjHeap[size_t(h)];
    if (o.Name && *o.Name == oName) r = h;
  }
  return r;
}

int32_t TVexlaneVect::GetObjFromID(int32_t oID) const {
  int32_t r = -1;
  for (int32_t h : fObj)
    if (fObjHeap[size_t(h)]->ID == oID) r = h;
  return r;
}

void TVexlaneVect::MoveInZOrder(int32_t hobj, int32_t refobj, bool Front) {
  std::vector<int32_t> moving;
  if (hobj == -9) moving = fSelObj;
  else moving.push_back(ResolveHandle(hobj));
  for (int32_t h : moving) {
    const int32_t pos = GetIndexFromObj(h);
    if (pos < 0) continue;
    // The position the object takes in the list without it.
    fObj.erase(fObj.begin() + pos);
    const int32_t ref = refobj < 0 ? -1 : GetIndexFromObj(refobj);
    int32_t target;
    if (refobj == -2) target = Front ? std::min<int32_t>(pos + 1, int32_t(fObj.size())) : std::max<int32_t>(pos - 1, 0);
    else if (ref < 0) target = Front ? int32_t(fObj.size()) : 0;
    else target = Front ? ref + 1 : ref;
    fObj.insert(fObj.begin() + target, h);
  }
  Update();
}

void TVexlaneVect::SetObjFrontOf(int32_t hobj, int32_t refobj) { MoveInZOrder(hobj, refobj, true); }

void TVexlaneVect::SetObjBackTo(int32_t hobj, int32_t refobj) { MoveInZOrder(hobj, refobj, false); }

void TVexlaneVect::CancelInteracts() {
  fMouseOver = -1;
  fInserting = vxkNONE;
  fGripping = vxgrNone;
  if (fTextEditing != -1) {
    EndTextEdit(false);
    fTextEditing = -1;
    Update();
  }
}

TRect TVexlaneVect::ObjectsExtents() const {
  int32_t mx = -1, my = -1;
  for (int32_t h : fObj) {
    const TVXVObject& o = *fObjHeap[size_t(h)];
    mx = std::max({mx, o.x1, o.x2});
    my = std::max({my, o.y1, o.y2});
  }
  return TRect{0, 0, mx == INT32_MAX ? mx : mx + 1, my == INT32_MAX ? my : my + 1};
}

// ---------------------------------------------------------------------------
// Selection

bool TVexlaneVect::IsSelObject(int32_t hobj) {
  if (hobj == -2) hobj = int32_t(fObjHeap.size()) - 1;
  return std::find(fSelObj.begin(), fSelObj.end(), hobj) != fSelObj.end();
}

void TVexlaneVect::AddSelObject(int32_t hobj) {
  const int32_t h = ResolveHandle(hobj);
  if (h < 0 || IsSelObject(h)) return;
  if (!(fObjHeap[size_t(h)]->Style & VXVStyleOf(vxvsSelectable))) return;
  fSelObj.push_back(h);
  if (OnSelectObject) OnSelectObject(this);
  Update();
}

void TVexlaneVect::UnSelObject(int32_t hobj) {
  if (hobj == -2) hobj = int32_t(fObjHeap.size()) - 1;
  auto it = std::find(fSelObj.begin(), fSelObj.end(), hobj);
  if (it == fSelObj.end()) return;
  fSelObj.erase(it);
  if (OnSelectObject) OnSelectObject(this);
}

void TVexlaneVect::UnSelAllObjects() {
  fSelObj.clear();
  if (OnSelectObject) OnSelectObject(this);
  Update();
}

void TVexlaneVect::SelAllObjects() {
  UnSelAllObjects();
  SelectObjectsInRect(-3, 0, 0, 1000000, 1000000);
  if (OnSelectObject) OnSelectObject(this);
  Update();
}

void TVexlaneVect::SelectObjectsInRect(int32_t hobj, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  auto consider = [&](int32_t h) {
    const TVXVObject& o = *fObjHeap[size_t(h)];
    int32_t x1 = o.x1, y1 = o.y1, x2 = o.x2, y2 = o.y2;
    if (KeepsCornerOrder(o.Kind) || o.Kind == vxkANGLE) VXOrderCorners(x1, y1, x2, y2);
    if (x1 >= left && x2 <= right && y1 >= top && y2 <= bottom && (o.Style & VXVStyleOf(vxvsSelectable)) &&
        !IsSelObject(h))
      fSelObj.push_back(h);
  };
  if (hobj == -3) {
    for (int32_t h : fObj) consider(h);
  } else {
    const int32_t h = ResolveHandle(hobj);
    if (h >= 0) consider(h);
  }
}

int32_t TVexlaneVect::GetSelObjects(int32_t idx) const {
  return idx >= 0 && idx < int32_t(fSelObj.size()) ? fSelObj[size_t(idx)] : -1;
}

// ---------------------------------------------------------------------------
// Events

void TVexlaneVect::DoVectorialChanged() {
  fVectorialChanged = true;
  fVectorialChanging = false;
  if (OnVectorialChanged) OnVectorialChanged(this);
}

void TVexlaneVect::DoVectorialChanging() {
  if (!fVectorialChanging && OnVectorialChanged) OnVectorialChanged(this);
  fVectorialChanging = true;
}

void TVexlaneVect::DoObjectMoveResize(int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY) {
  if (OnObjectMoveResize) OnObjectMoveResize(this, hobj, Grip, OffsetX, OffsetY);
}
void TVexlaneVect::DoObjectClick(int32_t hobj) {
  if (OnObjectClick) OnObjectClick(this, hobj);
}
void TVexlaneVect::DoObjectDblClick(int32_t hobj) {
  if (OnObjectDblClick) OnObjectDblClick(this, hobj);
}
void TVexlaneVect::DoObjectOver(int32_t hobj) {
  if (OnObjectOver) OnObjectOver(this, hobj);
}
void TVexlaneVect::DoNewObject(int32_t hobj) {
  if (OnNewObject) OnNewObject(this, hobj);
  fImageSet = true;
}
void TVexlaneVect::DoUserSelectObject(int32_t hobj) {
  if (OnUserSelectObject) OnUserSelectObject(this, hobj);
}
void TVexlaneVect::DoUserDeselectObject(int32_t hobj) {
  if (OnUserDeselectObject) OnUserDeselectObject(this, hobj);
}

// ---------------------------------------------------------------------------
// Measuring

// How many of a unit make an inch (1 for pixels and inches).
double VXUnitsPerInch(TVXUnits Unit) {
  switch (Unit) {
    case vxuKM: return 2.54 / 100000;
    case vxuMETERS: return 2.54 / 100;
    case vxuCENTIMETERS: return 2.54;
    case vxuMILLIMETERS: return 2.54 * 10;
    case vxuMICRONS: return 2.54 * 10000;
    case vxuNANOMETERS: return 2.54 * 10000000;
    case vxuFEET: return 1.0 / 12;
    case vxuYARDS: return 1.0 / 36;
    case vxuMILES: return 1.0 / 63360;
    default: return 1;
  }
}

void TVexlaneVect::CalcMeasureCoefs() {
  if (fMUnit == vxuPIXELS) {
    fCoefX = fCoefY = 1;
  } else {
    // A resolution not yet known counts as one dot per inch.
    fCoefX = 1.0 / (DpiX() > 0 ? DpiX() : 1);
    fCoefY = 1.0 / (DpiY() > 0 ? DpiY() : 1);
    const double f = VXUnitsPerInch(fMUnit);
    fCoefX *= f;
    fCoefY *= f;
  }
  fCoefX *= fScale;
  fCoefY *= fScale;
}

void TVexlaneVect::SetMUnit(TVXUnits Value) {
  fMUnit = Value;
  fNewObj.RulerUnit = Value;
  CalcMeasureCoefs();
  RedrawMeasureHint();
}

void TVexlaneVect::SetScaleFactor(double Value) {
  fScale = Value;
  CalcMeasureCoefs();
  Update();
}

void TVexlaneVect::SetDPIX(int32_t dpiX) {
  TVexlaneView::SetDPIX(dpiX);
  CalcMeasureCoefs();
  RedrawMeasureHint();
  Update();
}

void TVexlaneVect::SetDPIY(int32_t dpiY) {
  TVexlaneView::SetDPIY(dpiY);
  CalcMeasureCoefs();
  RedrawMeasureHint();
  Update();
}

// ---------------------------------------------------------------------------
// Settings

void TVexlaneVect::SetZoomObjectsWidth(bool Value) {
  fZoomObjectsWidth = Value;
  Update();
}
void TVexlaneVect::SetObjAntialias(bool Value) {
  if (Value == fObjAntialias) return;
  fObjAntialias = Value;
  Update();
}
void TVexlaneVect::SetObjRulerQuoteHorizon(bool Value) {
  fObjRulerQuoteHorizon = Value;
  Update();
}
void TVexlaneVect::SetObjAngleShowSmall(bool Value) {
  fObjAngleShowSmall = Value;
  Update();
}
void TVexlaneVect::SetAllObjectsHidden(bool Value) {
  if (Value == fAllObjectsHidden) return;
  fAllObjectsHidden = Value;
  Update();
}

void TVexlaneVect::SetExtendedObjectToPut(const std::string& Value) {
  if (fNewObj.extendedObject.Ptr) {
    fNewObj.extendedObject.Ptr->Finalize();
    fNewObj.extendedObject.Ptr.reset();
  }
  fExtendedObjectToPut = Value;
  fNewObj.extendedObject.Ptr = VXCreateExtendedObject(Value);
  if (fNewObj.extendedObject.Ptr) {
    fNewObj.extendedObject.Ptr->fParent = this;
    fNewObj.extendedObject.Ptr->fObject = &fNewObj;
    fNewObj.extendedObject.Ptr->Initialize();
  }
}

void TVexlaneVect::LayersRemove(int32_t idx) {
  for (int32_t i = int32_t(fObj.size()) - 1; i >= 0; --i) {
    if (i >= int32_t(fObj.size())) continue;
    const int32_t h = fObj[size_t(i)];
    if (fObjHeap[size_t(h)]->Layer == idx) RemoveOneObject(h);
  }
  TVexlaneView::LayersRemove(idx);
  Update();
}

// ---------------------------------------------------------------------------
// Object undo

void TVexlaneVect::ObjSaveUndo() {
  if (fObjUndoLimit <= 0) return;
  auto s = std::make_unique<TMemoryStream>();
  SaveToStreamVXV(s.get(), -3);
  while (int32_t(fObjUndoList.size()) >= fObjUndoLimit) fObjUndoList.erase(fObjUndoList.begin());
  fObjUndoList.push_back(std::move(s));
  if (fOnSaveUndo) fOnSaveUndo(this, vxuObject);
}

void TVexlaneVect::AutoUndoStep() {
  fSavedUndo = fObjAutoUndo;
  if (!fObjAutoUndo) return;
  if (fObjUndoMode == vxumSeparated) ObjSaveUndo();
  else Proc()->SaveUndo(vxuObject);
}

void TVexlaneVect::ObjUndoAt(int32_t Position) {
  const int32_t n = int32_t(fObjUndoList.size());
  if (n == 0 || Position < 0 || Position >= n) return;
  TMemoryStream* s = fObjUndoList[size_t(n - 1 - Position)].get();
  s->SetPosition(0);
  LoadFromStreamVXV(s, false);
}

void TVexlaneVect::ObjClearUndo() {
  if (!fObjUndoList.empty()) fObjUndoList.pop_back();
}

void TVexlaneVect::ObjClearAllUndo() { fObjUndoList.clear(); }
