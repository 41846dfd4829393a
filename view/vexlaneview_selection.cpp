// The viewer's selection: the selection polygon and mask, the select
// operations (rectangles, ellipses, rounded rectangles, colours, the magic
// wand), and the operations on the selected pixels.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "core/bitmap.h"
#include "core/gaussblur.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "core/polygon_area.h"
#include "gui/extctrls.h"
#include "proc/magicwand.h"
#include "view/vexlaneview.h"
#include "winui/win_paint.h"

namespace {

constexpr int32_t kBreak = TVXMask::PolygonSeparator;

int32_t Rnd(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::nearbyint(v), double(INT32_MIN), double(INT32_MAX)));
}

int32_t Trunc(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::trunc(v), double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers

int32_t TVexlaneView::SelX(int32_t x) const {
  return fSelectionBase == vxsbClientArea ? ConvXScr2Bmp(CurrentLayer(), x) : x;
}

int32_t TVexlaneView::SelY(int32_t y) const {
  return fSelectionBase == vxsbClientArea ? ConvYScr2Bmp(CurrentLayer(), y) : y;
}

int32_t TVexlaneView::SelW(int32_t w) const {
  return fSelectionBase == vxsbClientArea ? Trunc(double(w) * 100 / fZoomX) : w;
}

int32_t TVexlaneView::SelH(int32_t h) const {
  return fSelectionBase == vxsbClientArea ? Trunc(double(h) * 100 / fZoomY) : h;
}

TVXMask* TVexlaneView::Mask() {
  FitSelectionMaskToImage();
  return fSelectionMask.get();
}

void TVexlaneView::FitSelectionMaskToImage() {
  if (!fSelectionMask) fSelectionMask = std::make_unique<TVXMask>();
  const int32_t W = fVXBitmap ? fVXBitmap->Width() : 0, H = fVXBitmap ? fVXBitmap->Height() : 0;
  TVXMask* m = fSelectionMask.get();
  if (m->Width() == W && m->Height() == H && m->BitsPerPixel() != 0) return;
  if (fSel && m->BitsPerPixel() != 0) {
    m->Resize(W, H);
    m->SyncFull();
    m->SyncRect();
  } else {
    m->AllocateBits(W, H, fSelectionMaskDepth);
  }
}

void TVexlaneView::RepaintUnlessLocked() {
  if (fLockPaint > 0 || !HandleAllocated()) return;
  fDBToDraw = true;
  fFullUpdateRequest = true;
  Paint();
}

void TVexlaneView::ShowSelectionOutline() {
  if (fHPolySel) AnimPolygonEnabled(fHPolySel, true);
}

const TPoint* TVexlaneView::PolySelPoints() const {
  return fHPolySel && fHPolySel->Count > 0 ? fHPolySel->Points.data() : nullptr;
}

int32_t TVexlaneView::PolySelCount() const { return fHPolySel ? fHPolySel->Count : 0; }

TPoint TVexlaneView::GetPolySel(int32_t idx) const {
  if (fHPolySel == nullptr || idx < 0 || idx >= fHPolySel->Count) return TPoint{0, 0};
  return fHPolySel->Points[size_t(idx)];
}

// ---------------------------------------------------------------------------
// Properties

void TVexlaneView::SetSelectionOptions(TVXSelectionOptions Value) {
  fSelectionOptions = Value;
  if (fHPolySel) {
    fHPolySel->Animated = HasSelectionOption(vxsoAnimated);
    fHPolySel->Sizeable = HasSelectionOption(vxsoSizeable);
    fHPolySel->ShowCenter = HasSelectionOption(vxsoShowCenter);
  }
  fUpdateReason = vxurSelectionChanged;
  Update();
}

void TVexlaneView::SetSelectionAspectRatio(double Value) {
  if (Value == fSelectionAspectRatio) return;
  fSelectionAspectRatio = Value;
  if (Value != 0)
    SetSelectionOptions(fSelectionOptions | VXSelOpt(vxsoSizeable));
  else
    SetSelectionOptions(fSelectionOptions & TVXSelectionOptions(~VXSelOpt(vxsoSizeable)));
}

void TVexlaneView::SetSelectionMaskDepth(int32_t Value) {
  if (Value == fSelectionMaskDepth || (Value != 1 && Value != 8)) return;
  if (fSel) DeSelect();
  fSelectionMaskDepth = Value;
  if (!fSelectionMask) fSelectionMask = std::make_unique<TVXMask>();
  fSelectionMask->AllocateBits(fVXBitmap ? fVXBitmap->Width() : 0, fVXBitmap ? fVXBitmap->Height() : 0, Value);
  fSelectionIntensity = Value == 1 ? 1 : 255;
}

void TVexlaneView::SetSelectionIntensity(int32_t Value) {
  fSelectionIntensity = Value;
  if (!fSel || !fSelectionMask || fSelectionMask->BitsPerPixel() != 8 || fSelectionMask->IsEmpty()) return;
  TVXMask* m = fSelectionMask.get();
  const uint8_t v = uint8_t(std::clamp(Value, 0, 255));
  for (int32_t y = m->Y1(); y <= m->Y2(); ++y) {
    uint8_t* row = m->ScanLine(y);
    if (row == nullptr) continue;
    for (int32_t x = m->X1(); x <= m->X2(); ++x)
      if (row[x] != 0) row[x] = v;
  }
}

void TVexlaneView::SetSelColor1(TColor Value) {
  fSelColor1 = Value;
  if (fHPolySel) fHPolySel->Color1 = Value;
}

void TVexlaneView::SetSelColor2(TColor Value) {
  fSelColor2 = Value;
  if (fHPolySel) fHPolySel->Color2 = Value;
}

void TVexlaneView::SetVisibleSelection(bool Value) {
  fVisibleSelection = Value;
  if (fHPolySel) fHPolySel->Enabled = Value;
  fUpdateReason = vxurSelectionChanged;
  Update();
}

void TVexlaneView::SetSelectionGripStyle(TColor GripColor1, TColor GripColor2, TBrushStyle GripBrushStyle,
                                         int32_t GripSize, bool ExtendedGrips, TVXGripShape Shape) {
  fGripColor1 = GripColor1;
  fGripColor2 = GripColor2;
  fGripBrushStyle = GripBrushStyle;
  fGripSize = GripSize;
  fExtendedGrips = ExtendedGrips;
  fGripShape = Shape;
}

void TVexlaneView::GetSelectionGripStyle(TColor& GripColor1, TColor& GripColor2, TBrushStyle& GripBrushStyle,
                                         int32_t& GripSize, bool& ExtendedGrips, TVXGripShape& Shape) const {
  GripColor1 = fGripColor1;
  GripColor2 = fGripColor2;
  GripBrushStyle = fGripBrushStyle;
  GripSize = fGripSize;
  ExtendedGrips = fExtendedGrips;
  Shape = fGripShape;
}

void TVexlaneView::SetSelectionMarkOuterStyle(int32_t Alpha, TColor Color) {
  fMarkOuterAlpha = Alpha;
  fMarkOuterColor = Color;
  fUpdateReason = vxurSelectionChanged;
  Update();
}

bool TVexlaneView::Shaping() const {
  return fPolySelecting || fRectSelecting || fCircSelecting || fRectResizing != vxNone || fRectMoving;
}

int32_t TVexlaneView::SelX1() const {
  if (Shaping() && fHPolySel) return fHPolySel->X1;
  return fSelectionMask ? fSelectionMask->X1() : 0;
}

int32_t TVexlaneView::SelY1() const {
  if (Shaping() && fHPolySel) return fHPolySel->Y1;
  return fSelectionMask ? fSelectionMask->Y1() : 0;
}

int32_t TVexlaneView::SelX2() const {
  if (Shaping() && fHPolySel) return fHPolySel->X2 - 1;
  return fSelectionMask ? fSelectionMask->X2() : 0;
}

int32_t TVexlaneView::SelY2() const {
  if (Shaping() && fHPolySel) return fHPolySel->Y2 - 1;
  return fSelectionMask ? fSelectionMask->Y2() : 0;
}

TVXRectangle TVexlaneView::SelectedRect() const {
  if (fSel) return TVXRectangle{SelX1(), SelY1(), SelX2() - SelX1() + 1, SelY2() - SelY1() + 1};
  return TVXRectangle{0, 0, fVXBitmap ? fVXBitmap->Width() : 0, fVXBitmap ? fVXBitmap->Height() : 0};
}

// ---------------------------------------------------------------------------
// Building the selection

void TVexlaneView::SelectRectEx(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXSelOp Op, bool MoveInside,
                                bool Square) {
  if (x1 == x2 || y1 == y2 || fHPolySel == nullptr || fVXBitmap == nullptr) return;
  x1 = SelX(x1);
  y1 = SelY(y1);
  x2 = SelX(x2);
  y2 = SelY(y2);
  TVXMask* m = Mask();
  fSel = true;
  if (Op == vxspAdd && fHPolySel->Count > 0)
    PolyAddBreak(fHPolySel);
  else
    PolyClear(fHPolySel);
  if (Op == vxspReplace) m->Empty();
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  const double r = fSelectionAspectRatio;
  if (Square && r == -1) y2 = y1 + (x2 - x1);
  if (r > 0) {
    y2 = Rnd(r * (double(x2) - x1)) + y1;
    if (y2 >= h) x2 = Rnd((double(h) - y1 - 1 + x1 * r) / r);
    if (y2 < 0) x2 = Rnd((x1 * r - y1) / r);
  }
  if (MoveInside) {
    if (x1 < 0) {
      x2 -= x1;
      x1 = 0;
    }
    if (x2 >= w) {
      x1 -= x2 - (w - 1);
      x2 = w - 1;
    }
    if (y1 < 0) {
      y2 -= y1;
      y1 = 0;
    }
    if (y2 >= h) {
      y1 -= y2 - (h - 1);
      y2 = h - 1;
    }
  }
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  x1 = std::clamp(x1, 0, std::max(w - 1, 0));
  y1 = std::clamp(y1, 0, std::max(h - 1, 0));
  x2 = std::clamp(x2, 0, w);
  y2 = std::clamp(y2, 0, h);
  PolyAddPoint(fHPolySel, x1, y1);
  PolyAddPoint(fHPolySel, x2, y1);
  PolyAddPoint(fHPolySel, x2, y2);
  PolyAddPoint(fHPolySel, x1, y2);
  ShowSelectionOutline();
}

void TVexlaneView::Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXSelOp Op) {
  if (x1 == x2 || y1 == y2) return;
  SelectRectEx(x1, y1, x2, y2, Op, false, false);
  if (Op == vxspReplace) Mask()->Empty();
  EndSelect();
  if (fIsNavigator) {
    // A navigator repaints with its paint lock released.
    const int32_t locks = fLockPaint;
    fLockPaint = 0;
    RepaintUnlessLocked();
    fLockPaint = locks;
  } else {
    RepaintUnlessLocked();
  }
}

void TVexlaneView::SelectEllipse(int32_t CenterX, int32_t CenterY, int32_t Width_, int32_t Height_, TVXSelOp Op) {
  if (Width_ <= 0 || Height_ <= 0 || fHPolySel == nullptr || fVXBitmap == nullptr) return;
  const int32_t cx = SelX(CenterX), cy = SelY(CenterY);
  const int32_t ew = SelW(Width_), eh = SelH(Height_);
  if (ew <= 0 || eh <= 0) return;
  TVXMask* m = Mask();
  if (Op == vxspAdd && fHPolySel->Count > 0)
    PolyAddBreak(fHPolySel);
  else
    PolyClear(fHPolySel);
  if (Op == vxspReplace) m->Empty();
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  const int32_t rx = ew / 2, ry = eh / 2;
  const int32_t r = std::min(rx, ry);
  const int32_t n = std::max(3, Trunc(r * 2 * std::numbers::pi) / 4);
  for (int32_t k = 0; k < n; ++k) {
    const double t = 2 * std::numbers::pi * k / n;
    PolyAddPoint(fHPolySel, std::clamp(Rnd(std::cos(t) * rx + cx), 0, w),
                 std::clamp(Rnd(std::sin(t) * ry + cy), 0, h));
  }
  fSel = true;
  EndSelect();
  RepaintUnlessLocked();
  ShowSelectionOutline();
}

void TVexlaneView::SelectRoundRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t RoundWidth,
                                   int32_t RoundHeight, TVXSelOp Op) {
  if (fHPolySel == nullptr || fVXBitmap == nullptr) return;
  Left = SelX(Left);
  Top = SelY(Top);
  Right = SelX(Right);
  Bottom = SelY(Bottom);
  const int32_t RW = std::max(SelW(RoundWidth), 0), RH = std::max(SelH(RoundHeight), 0);
  TVXMask* m = Mask();
  if (Op == vxspAdd && fHPolySel->Count > 0)
    PolyAddBreak(fHPolySel);
  else
    PolyClear(fHPolySel);
  if (Op == vxspReplace) m->Empty();
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  // n points a corner; a corner of more points than a million cannot be
  // told apart on any screen, and would only exhaust memory.
  const int32_t n = int32_t(std::min<int64_t>(int64_t(RW) * RH, 1 << 20));
  std::vector<TPoint> pts;
  auto add = [&](bool Reverse) {
    if (Reverse)
      for (auto it = pts.rbegin(); it != pts.rend(); ++it)
        PolyAddPoint(fHPolySel, std::clamp(it->X, 0, w), std::clamp(it->Y, 0, h));
    else
      for (const TPoint& p : pts) PolyAddPoint(fHPolySel, std::clamp(p.X, 0, w), std::clamp(p.Y, 0, h));
  };
  if (n > 0) {
    fSel = true;
    VXBezierPoints(TPoint{Left, Top + RH}, TPoint{Left, Top}, TPoint{Left + RW, Top}, TPoint{Left + RW, Top}, pts, n);
    add(false);
    VXBezierPoints(TPoint{Right, Top + RH}, TPoint{Right, Top}, TPoint{Right - RW, Top}, TPoint{Right - RW, Top}, pts,
                   n);
    add(true);
    VXBezierPoints(TPoint{Right, Bottom - RH}, TPoint{Right, Bottom}, TPoint{Right - RW, Bottom},
                   TPoint{Right - RW, Bottom}, pts, n);
    add(false);
    VXBezierPoints(TPoint{Left, Bottom - RH}, TPoint{Left, Bottom}, TPoint{Left + RW, Bottom},
                   TPoint{Left + RW, Bottom}, pts, n);
    add(true);
  }
  EndSelect();
  RepaintUnlessLocked();
  ShowSelectionOutline();
}

void TVexlaneView::SelectCustom() {
  fSel = fSelectionMask && !fSelectionMask->IsEmpty();
  ShowSelectionOutline();
  RepaintUnlessLocked();
}

void TVexlaneView::SelectMagicWand(int32_t x, int32_t y, TVXSelOp Op) {
  if (fHPolySel == nullptr || fVXBitmap == nullptr) return;
  x = SelX(x);
  y = SelY(y);
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  TVXMask* m = Mask();
  switch (fMagicWandMode) {
    case vxwInclusive: {
      std::vector<TPoint> outline = VXMagicWandPolygon(fVXBitmap, x, y, fMagicWandTolerance, fMagicWandMaxFilter);
      if (!outline.empty()) {
        fSel = true;
        if (Op == vxspAdd && fHPolySel->Count > 0) {
          PolyAddBreak(fHPolySel);
        } else {
          PolyClear(fHPolySel);
          m->Empty();
        }
        for (const TPoint& p : outline) PolyAddPoint(fHPolySel, std::clamp(p.X, 0, w), std::clamp(p.Y, 0, h));
        if (Op == vxspReplace) m->Empty();
        EndSelect();
        ShowSelectionOutline();
      }
      break;
    }
    case vxwExclusive:
    case vxwGlobal:
      if (Op == vxspReplace) {
        PolyClear(fHPolySel);
        m->Empty();
      }
      if (fMagicWandMode == vxwExclusive)
        VXMagicWandFill(fVXBitmap, x, y, fSelectionIntensity, m, fMagicWandTolerance, fMagicWandMaxFilter);
      else
        VXMagicWandGlobal(fVXBitmap, x, y, fSelectionIntensity, m, fMagicWandTolerance);
      m->SyncRect();
      fSel = !m->IsEmpty();
      ShowSelectionOutline();
      break;
  }
  RepaintUnlessLocked();
}

namespace {

// Marks in Mask (with Value) every pixel of Bitmap that Match accepts.
template <class F>
void MarkPixels(TVXBitmap* Bitmap, TVXMask* Mask, int32_t Value, F Match) {
  const int32_t w = Bitmap->Width(), h = Bitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    if (Bitmap->PixelFormat() == vx24RGB) {
      const auto* row = static_cast<const TRGB*>(Bitmap->ScanLine(y));
      for (int32_t x = 0; x < w; ++x)
        if (Match(row[x])) Mask->SetPixel(x, y, Value);
    } else {
      for (int32_t x = 0; x < w; ++x)
        if (Match(Bitmap->Pixels(x, y))) Mask->SetPixel(x, y, Value);
    }
  }
}

}  // namespace

void TVexlaneView::SelectColors(TRGB StartColor, TRGB FinalColor, TVXSelOp Op) {
  if (fVXBitmap == nullptr) return;
  TVXMask* m = Mask();
  if (Op == vxspReplace) {
    if (fHPolySel) PolyClear(fHPolySel);
    m->Empty();
  }
  MarkPixels(fVXBitmap, m, fSelectionIntensity, [&](const TRGB& c) {
    return StartColor.r <= c.r && c.r <= FinalColor.r && StartColor.g <= c.g && c.g <= FinalColor.g &&
           StartColor.b <= c.b && c.b <= FinalColor.b;
  });
  fSel = !m->IsEmpty();
  ShowSelectionOutline();
  RepaintUnlessLocked();
}

void TVexlaneView::SelectColors(TRGB Color, TVXSelOp Op) { SelectColors(Color, Color, Op); }

void TVexlaneView::SelectColors(int32_t ColorIndex, TVXSelOp Op) {
  if (fVXBitmap == nullptr || fVXBitmap->PixelFormat() != vx8p) return;
  TVXMask* m = Mask();
  if (Op == vxspReplace) {
    if (fHPolySel) PolyClear(fHPolySel);
    m->Empty();
  }
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  for (int32_t y = 0; y < h; ++y) {
    const auto* row = static_cast<const uint8_t*>(fVXBitmap->ScanLine(y));
    for (int32_t x = 0; x < w; ++x)
      if (row[x] == ColorIndex) m->SetPixel(x, y, fSelectionIntensity);
  }
  fSel = !m->IsEmpty();
  ShowSelectionOutline();
  RepaintUnlessLocked();
}

void TVexlaneView::AddSelPoint(int32_t x, int32_t y) {
  if (fHPolySel == nullptr || fVXBitmap == nullptr) return;
  PolyAddPoint(fHPolySel, std::clamp(SelX(x), 0, fVXBitmap->Width()), std::clamp(SelY(y), 0, fVXBitmap->Height()));
  RepaintUnlessLocked();
}

void TVexlaneView::AddSelBreak() {
  if (fHPolySel && fHPolySel->Count > 0) PolyAddBreak(fHPolySel);
}

void TVexlaneView::DelLastSelPoint() {
  if (fHPolySel == nullptr || fHPolySel->Count < 2) return;
  PolyDelLastPoint(fHPolySel);
  RepaintUnlessLocked();
}

void TVexlaneView::EndSelect() {
  TVXMask* m = Mask();
  if (fHPolySel && fHPolySel->Count > 0)
    m->DrawPolygon(fSelectionIntensity, fHPolySel->Points.data(), fHPolySel->Count);
  if (m->IsEmpty()) {
    fSel = false;
    if (fHPolySel) PolyClear(fHPolySel);
  }
}

void TVexlaneView::DeSelect() {
  if (fSel) {
    fSel = false;
    if (fHPolySel) fHPolySel->Enabled = false;
    RepaintUnlessLocked();
  }
  if (fHPolySel) PolyClear(fHPolySel);
  if (fSelectionMask) fSelectionMask->Empty();
  fPolySelecting = fLassoSelecting = fRectSelecting = fCircSelecting = false;
  fRectResizing = vxNone;
  fSelectMoving = -1;
  fRectMoving = false;
  RestoreCursor();
  fUpdateReason = vxurSelectionChanged;
  Update();
}

void TVexlaneView::InvertSelection() {
  TVXMask* m = Mask();
  m->SyncFull();
  if (m->Full()) {
    DeSelect();
    return;
  }
  if (fHPolySel) PolyClear(fHPolySel);
  ShowSelectionOutline();
  m->Negative(fSelectionIntensity);
  // Inverting nothing selects the whole image.
  fSel = !m->IsEmpty();
  RepaintUnlessLocked();
}

void TVexlaneView::MoveSelectionEx(int32_t OffsetX, int32_t OffsetY, bool CutBorders) {
  if (fHPolySel == nullptr || fVXBitmap == nullptr) return;
  TVXMask* m = Mask();
  if (IsRectPolygon(fHPolySel)) {
    fRectMoving = true;
    m->Empty();
  } else {
    m->TranslateBitmap(OffsetX, OffsetY, CutBorders);
  }
  if (OffsetX == 0 && OffsetY == 0) return;
  RepaintUnlessLocked();
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  TVXAnimPoly* ap = fHPolySel;
  auto limit = [](int64_t v, int64_t lo, int64_t hi) { return int32_t(std::max(lo, std::min(v, hi))); };
  if (CutBorders) {
    OffsetX = limit(OffsetX, 1 - int64_t(ap->X2), int64_t(w) - 1 - ap->X1);
    OffsetY = limit(OffsetY, 1 - int64_t(ap->Y2), int64_t(h) - 1 - ap->Y1);
  } else {
    OffsetX = limit(OffsetX, -int64_t(ap->X1), int64_t(w) - ap->X2);
    OffsetY = limit(OffsetY, -int64_t(ap->Y1), int64_t(h) - ap->Y2);
  }
  ap->X1 = std::clamp(ap->X1 + OffsetX, 0, w);
  ap->X2 = std::clamp(ap->X2 + OffsetX, 0, w);
  ap->Y1 = std::clamp(ap->Y1 + OffsetY, 0, h);
  ap->Y2 = std::clamp(ap->Y2 + OffsetY, 0, h);
  for (int32_t i = 0; i < ap->Count; ++i) {
    TPoint& p = ap->Points[size_t(i)];
    if (p.X == kBreak && p.Y == kBreak) continue;
    p.X = std::clamp(p.X + OffsetX, 0, w);
    p.Y = std::clamp(p.Y + OffsetY, 0, h);
  }
  if (fIsNavigator)
    RepaintUnlessLocked();
  else
    RedrawSelectionOutlines();
}

void TVexlaneView::MoveSelection(int32_t OffsetX, int32_t OffsetY) {
  const bool wasMoving = fRectMoving;
  MoveSelectionEx(OffsetX, OffsetY, HasSelectionOption(vxsoCutBorders));
  // A move by program is over once the mask is rebuilt.
  fRectMoving = wasMoving;
  EndSelect();
}

bool TVexlaneView::IsPointInsideSelection(int32_t x, int32_t y) {
  return fSelectionMask && fSelectionMask->IsPointInside(SelX(x), SelY(y));
}

// ---------------------------------------------------------------------------
// Operations on the selected pixels

void TVexlaneView::MakeSelectionFeather(double Radius) {
  if (!fSel || !fSelectionMask || fSelectionMask->BitsPerPixel() != 8 || fSelectionMask->IsEmpty()) return;
  TVXMask* m = fSelectionMask.get();
  if (fHPolySel) PolyClear(fHPolySel);
  const int32_t a = std::max(Trunc(Radius * 5), 1);
  const int32_t x1 = std::max(m->X1() - a, 0), y1 = std::max(m->Y1() - a, 0);
  const int32_t x2 = std::min(m->X2() + a, m->Width() - 1), y2 = std::min(m->Y2() + a, m->Height() - 1);
  if (x2 >= x1 && y2 >= y1) {
    // The box as an 8-bit grey image; the blur replicates its own border, so
    // blurring the copy equals blurring the box in place.
    const int32_t bw = x2 - x1 + 1, bh = y2 - y1 + 1;
    TVXBitmap grey(bw, bh, vx8g);
    for (int32_t y = 0; y < bh; ++y)
      std::copy_n(m->ScanLine(y1 + y) + x1, bw, static_cast<uint8_t*>(grey.ScanLine(y)));
    VXGaussianBlurGray(&grey, 0, 0, bw - 1, bh - 1, Radius);
    for (int32_t y = 0; y < bh; ++y)
      std::copy_n(static_cast<const uint8_t*>(grey.ScanLine(y)), bw, m->ScanLine(y1 + y) + x1);
  }
  m->SyncRect();
  ShowSelectionOutline();
  RepaintUnlessLocked();
}

void TVexlaneView::SetSelectedAreaAlpha(int32_t Alpha) {
  if (fVXBitmap == nullptr) return;
  TVXBitmap* alpha = fVXBitmap->AlphaChannel();
  const uint8_t v = uint8_t(std::clamp(Alpha, 0, 255));
  TVXMask* m = Mask();
  if (m->IsEmpty()) {
    alpha->Fill(v);
  } else {
    const int32_t w = std::min(m->Width(), alpha->Width()), h = std::min(m->Height(), alpha->Height());
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* mr = m->ScanLine(y);
      auto* ar = static_cast<uint8_t*>(alpha->ScanLine(y));
      if (mr == nullptr) continue;
      for (int32_t x = 0; x < w; ++x) {
        const bool set = m->BitsPerPixel() == 1 ? (mr[x >> 3] & (0x80 >> (x & 7))) != 0 : mr[x] != 0;
        if (set) ar[x] = v;
      }
    }
    alpha->SetFull(false);
  }
  Update();
}

void TVexlaneView::SetSelectedPixelsColor(TRGB Color) {
  if (fVXBitmap == nullptr || fVXBitmap->PixelFormat() != vx24RGB) return;
  TVXMask* m = Mask();
  if (!m->IsEmpty())
    for (int32_t y = m->Y1(); y <= m->Y2(); ++y) {
      auto* row = static_cast<TRGB*>(fVXBitmap->ScanLine(y));
      for (int32_t x = m->X1(); x <= m->X2(); ++x)
        if (m->GetPixel(x, y) != 0) row[x] = Color;
    }
  Update();
}

void TVexlaneView::SetAlphaRangePixelsColor(int32_t AlphaMin, int32_t AlphaMax, TRGB Color) {
  if (fVXBitmap == nullptr || !fVXBitmap->HasAlphaChannel()) return;
  TVXBitmap* alpha = fVXBitmap->AlphaChannelOpt();
  const int32_t w = std::min(fVXBitmap->Width(), alpha->Width()), h = std::min(fVXBitmap->Height(), alpha->Height());
  for (int32_t y = 0; y < h; ++y) {
    const auto* ar = static_cast<const uint8_t*>(alpha->ScanLine(y));
    for (int32_t x = 0; x < w; ++x)
      if (AlphaMin <= ar[x] && ar[x] <= AlphaMax) fVXBitmap->SetPixels(x, y, Color);
  }
  Update();
}

void TVexlaneView::CopySelectionToVXBitmap(TVXBitmap* DestBitmap, bool FillBackground) {
  if (DestBitmap == nullptr || fVXBitmap == nullptr) return;
  TVXMask* m = Mask();
  if (fRectResizing != vxNone || fRectMoving || fRectSelecting) {
    m->Empty();
    EndSelect();
  }
  if (m->IsEmpty()) return;
  if (FillBackground)
    fVXBitmap->CopyWithMask1(DestBitmap, m, int32_t(fBackGround));
  else {
    // The whole box, with the mask as its alpha channel.
    fVXBitmap->CopyWithMask1(DestBitmap, m);
    m->CopyVXBitmapAlpha(DestBitmap, fVXBitmap, true, false);
  }
}

void TVexlaneView::CopySelectionToBitmap(TBitmap* DestBitmap) {
  if (DestBitmap == nullptr) return;
  if (DestBitmap->PixelFormat() != pf1bit) DestBitmap->SetPixelFormat(pf24bit);
  TVXBitmap copy;
  CopySelectionToVXBitmap(&copy, true);
  if (copy.Width() == 0 || copy.Height() == 0) return;
  if (DestBitmap->PixelFormat() == pf1bit && copy.PixelFormat() != vx1g) copy.SetPixelFormat(vx1g);
  if (DestBitmap->PixelFormat() == pf24bit && copy.PixelFormat() != vx24RGB) copy.SetPixelFormat(vx24RGB);
  copy.CopyToTBitmap(DestBitmap);
}

void TVexlaneView::AssignSelTo(TVexlaneView* Dest) {
  if (Dest == nullptr || Dest == this || fVXBitmap == nullptr || Dest->fVXBitmap == nullptr) return;
  if (Mask()->IsEmpty())
    Dest->fVXBitmap->Assign(fVXBitmap);
  else
    CopySelectionToVXBitmap(Dest->fVXBitmap, true);
  Dest->fBackGround = fBackGround;
  Dest->SetDPI(DpiX(), DpiY());
  Dest->Update();
  Dest->ImageChange();
}

void TVexlaneView::AssignSelTo(TBitmap* Dest) {
  if (Dest == nullptr || fVXBitmap == nullptr) return;
  if (Mask()->IsEmpty())
    fVXBitmap->CopyToTBitmap(Dest);
  else
    CopySelectionToBitmap(Dest);
  Dest->SetModified(true);
}

void TVexlaneView::AssignSelTo(TImage* Dest) {
  if (Dest == nullptr) return;
  AssignSelTo(Dest->Picture()->Bitmap());
}

void TVexlaneView::CopyToBitmapWithAlpha(TBitmap* Dest, int32_t DestX, int32_t DestY) {
  if (Dest == nullptr || fVXBitmap == nullptr) return;
  Dest->SetPixelFormat(pf24bit);
  if (!fVXBitmap->HasAlphaChannel()) return;
  const int32_t w = fVXBitmap->Width(), h = fVXBitmap->Height();
  fVXBitmap->RenderToTBitmapEx(Dest, DestX, DestY, w, h, 0, 0, w, h, true, 255, rfNone, vxlNormal, 1.0);
}

void TVexlaneView::CopyFromPolygon(TBitmap* Source, const TPoint* SrcPoly, int32_t SrcPolyCount, TPoint DstPoint) {
  if (Source == nullptr || SrcPoly == nullptr || SrcPolyCount < 3 || fBitmap == nullptr) return;
  VXCopyPolygonArea(Source, SrcPoly, SrcPolyCount, DstPoint.X, DstPoint.Y, fBitmap);
  Update();
}

void TVexlaneView::CopyToPolygon(TBitmap* Dest, const TPoint* DstPoly, int32_t DstPolyCount, TPoint SrcPoint) {
  if (Dest == nullptr || DstPoly == nullptr || DstPolyCount < 3 || fBitmap == nullptr) return;
  VXPastePolygonArea(fBitmap, DstPoly, DstPolyCount, SrcPoint.X, SrcPoint.Y, Dest);
}

// ---------------------------------------------------------------------------
// Painting: the selection overlay of PaintToEx

void TVexlaneView::DrawSelectionOverlay(TVXBitmap* ABitmap) {
  if (!fVisibleSelection || !fSelectionMask || fSelectionMask->IsEmpty() || fHPolySel == nullptr ||
      !fHPolySel->Enabled)
    return;
  const TVXLayer* L = CurrentLayer();
  const TVXDrawingInfo& d = L->DrawingInfo();
  if (HasSelectionOption(vxsoFilled))
    fSelectionMask->InvertCanvas(ABitmap->VclBitmap()->Canvas(), d.XDst, d.YDst, d.WidthDst, d.HeightDst, d.XSrc,
                                 d.YSrc, d.WidthSrc, d.HeightSrc);
  if (HasSelectionOption(vxsoMarkOuter))
    fSelectionMask->DrawOuter(ABitmap->VclBitmap(), d.XDst, d.YDst, d.WidthDst, d.HeightDst, d.XSrc, d.YSrc,
                              d.WidthSrc, d.HeightSrc, fMarkOuterAlpha, fMarkOuterColor);
}
