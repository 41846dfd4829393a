// The viewer's mouse interaction: the MouseInteract set and its rules, the
// press, moves and release of every interaction (zoom clicks, scrolling,
// selections, moving, resizing and rotating layers), the hover cursors and
// the panning that follows the cursor.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "gui/forms.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"

namespace {

constexpr int32_t kBreak = TVXMask::PolygonSeparator;

bool Has(TVXMouseInteract m, TVXMouseInteractItem i) { return (m & TVXMouseInteract(1u << i)) != 0; }

int32_t Trunc(double v) {
  if (!std::isfinite(v)) return 0;
  return int32_t(std::clamp(std::trunc(v), double(INT32_MIN), double(INT32_MAX)));
}

bool ShiftHeld(TShiftState s) { return (s & VXShiftBit(ssShift)) != 0; }
bool AltHeld(TShiftState s) { return (s & VXShiftBit(ssAlt)) != 0; }

// An angle as text, with a dot as the decimal separator and no trailing
// zeros.
std::string AngleText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// Switches the select operations to client coordinates for a mouse handler
// and back to the user's base at its end, also when an exception passes.
// Outside the handlers both fields hold the user's base; a handler called
// from another keeps the outer one's saved base.
class TClientBase {
 public:
  TClientBase(TVXSelectionBase& Base, TVXSelectionBase& Saved, int32_t& Depth)
      : fBase(Base), fSaved(Saved), fDepth(Depth) {
    if (fDepth++ == 0) fSaved = fBase;
    fBase = vxsbClientArea;
  }
  ~TClientBase() {
    if (--fDepth == 0) fBase = fSaved;
  }
  TClientBase(const TClientBase&) = delete;
  TClientBase& operator=(const TClientBase&) = delete;

 private:
  TVXSelectionBase& fBase;
  TVXSelectionBase& fSaved;
  int32_t& fDepth;
};

}  // namespace

// ---------------------------------------------------------------------------
// The interaction set

TVXMouseInteract TVexlaneView::ResolveMouseInteract(TVXMouseInteract N, TVXMouseInteract O) {
  auto added = [&](TVXMouseInteractItem i) { return Has(N, i) && !Has(O, i); };
  auto bits = [](std::initializer_list<TVXMouseInteractItem> l) {
    TVXMouseInteract m = 0xF000;  // items 12..15 are never touched
    for (TVXMouseInteractItem i : l) m |= TVXMouseInteract(1u << i);
    return m;
  };
  if (added(miScroll)) return N & bits({miZoom, miScroll, miMovingScroll});
  if (added(miSelect)) return N & bits({miZoom, miSelect, miMovingScroll});
  if (added(miSelectPolygon)) return N & bits({miSelectPolygon, miMovingScroll});
  if (added(miSelectCircle)) return N & bits({miZoom, miSelectCircle, miMovingScroll});
  if (added(miSelectLasso)) return N & bits({miZoom, miSelectLasso, miMovingScroll});
  if (added(miSelectZoom)) return N & bits({miZoom, miSelectZoom, miMovingScroll});
  if (added(miZoom))
    return N & bits({miZoom, miScroll, miSelect, miSelectCircle, miSelectZoom, miSelectLasso, miMovingScroll});
  if (added(miSelectMagicWand)) return N & bits({miSelectMagicWand, miMovingScroll});
  if (Has(N, miRotateLayers)) return N & bits({miMoveLayers, miRotateLayers, miMovingScroll});
  if (Has(N, miMoveLayers)) return N & bits({miMoveLayers, miResizeLayers, miMovingScroll});
  if (Has(N, miResizeLayers)) return N & bits({miMoveLayers, miResizeLayers, miMovingScroll});
  return N;
}

void TVexlaneView::SetMouseInteract(TVXMouseInteract Value) {
  const TVXMouseInteract old = fMouseInteract;
  if (Value == old) return;
  if (fPolySelecting && Has(old, miSelectPolygon) && fHPolySel) {
    // The polygon being drawn ends without the point under the cursor.
    PolyDelLastPoint(fHPolySel);
    Mask()->Empty();
    EndSelect();
    fPolySelecting = fLassoSelecting = false;
    Invalidate();
  }
  Value = ResolveMouseInteract(Value, old);
  if (!Has(Value, miRotateLayers))
    LayersFixRotations(-1);
  else if (fAutoFixRotationBorders)
    LayersFixBorders(-1);
  fMouseInteract = Value;
  Update();
}

// ---------------------------------------------------------------------------
// Helpers

void TVexlaneView::WithUserSelectionBase(const std::function<void()>& Call) {
  if (fClientBaseDepth == 0) {
    Call();
    return;
  }
  std::swap(fSelectionBase, fSavedSelectionBase);
  try {
    Call();
  } catch (...) {
    std::swap(fSelectionBase, fSavedSelectionBase);
    throw;
  }
  std::swap(fSelectionBase, fSavedSelectionBase);
}

void TVexlaneView::FireSelectionEvent(const TNotifyEvent& Event) {
  if (Event) WithUserSelectionBase([&] { Event(static_cast<TVXView*>(this)); });
}

void TVexlaneView::ClampToCurrentLayer(int32_t X, int32_t Y, int32_t& x, int32_t& y) const {
  const TRect& r = CurrentLayer()->ClientAreaBox();
  x = std::clamp(X, r.Left, std::max(r.Left, r.Right + 1));
  y = std::clamp(Y, r.Top, std::max(r.Top, r.Bottom + 1));
}

void TVexlaneView::ShiftMouseCoordinates(int32_t dx, int32_t dy) {
  fMMoveX -= dx;
  fMMoveY -= dy;
  fPredX -= dx;
  fPredY -= dy;
  fPredLX -= dx;
  fPredLY -= dy;
}

TCursor TVexlaneView::GripCursor(TVXGrip Grip) {
  switch (Grip) {
    case vxTopLeft:
    case vxBottomRight: return 1786;
    case vxTopSide:
    case vxBottomSide: return 1787;
    case vxTopRight:
    case vxBottomLeft: return 1788;
    case vxLeftSide:
    case vxRightSide: return 1789;
    default: return 1790;
  }
}

void TVexlaneView::EndPolygonSelection(bool RemoveLast, TShiftState Shift) {
  if (fHPolySel && RemoveLast) PolyDelLastPoint(fHPolySel);
  if (!(ShiftHeld(Shift) && fEnableShiftKey)) Mask()->Empty();
  EndSelect();
  fPolySelecting = fLassoSelecting = false;
  fUpdateReason = vxurSelectionChanged;
  Update();
  FireSelectionEvent(OnSelectionChange);
}

void TVexlaneView::DrawPolygonRubberBand() {
  if (fHPolySel == nullptr || fHPolySel->Count == 0 || !HandleAllocated() || !CanPaint()) return;
  const TPoint last = fHPolySel->Points[size_t(fHPolySel->Count - 1)];
  if (last.X == kBreak && last.Y == kBreak) return;
  const TVXLayer* L = CurrentLayer();
  TCanvas* c = Canvas();
  c->Pen()->SetMode(pmNot);
  c->MoveTo(ConvXBmp2Scr(L, last.X), ConvYBmp2Scr(L, last.Y));
  c->LineTo(fMMoveX, fMMoveY);
  c->Pen()->SetMode(pmCopy);
}

// ---------------------------------------------------------------------------
// Press

void TVexlaneView::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVXView::MouseDown(Button, Shift, X, Y);
  if (TCustomForm* f = GetParentForm(this); f != nullptr && f->Visible() && CanFocus()) SetFocus();
  fSaveZoomFilter = fZoomFilter;
  if (Button == mbRight && (Shift & VXShiftBit(ssLeft))) return;
  fLayerMoved = false;
  const bool noNew = HasSelectionOption(vxsoDisableNewSelection) && Selected();
  const TVXMouseInteract mi = fMouseInteract;
  const bool rightLayers = Button == mbRight && HasSelectionOption(vxsoRightButtonSelectLayers);
  if (Button != mbLeft && !Has(mi, miZoom) && !rightLayers) return;
  fMousePressTaken = true;
  TClientBase base(fSelectionBase, fSavedSelectionBase, fClientBaseDepth);
  if (!Has(mi, miScroll) && fDelayZoomFilter) fZoomFilter = rfNone;

  fHSX0 = std::clamp(X, fOffX, fOffX + fExtX);
  fHSY0 = std::clamp(Y, fOffY, fOffY + fExtY);
  int32_t x, y;
  ClampToCurrentLayer(X, Y, x, y);
  fHSX1 = fPredX = fMMoveX = x;
  fHSY1 = fPredY = fMMoveY = y;
  fMouseDownX = fPredLX = X;
  fMouseDownY = fPredLY = Y;
  fHSVX1 = fViewX;
  fHSVY1 = fViewY;
  fStartingPolyCount = PolySelCount();
  const bool alt = AltHeld(Shift) || fForceALTkey;
  const bool shiftAdd = ShiftHeld(Shift) && fEnableShiftKey;

  bool handled = Button == mbLeft;
  if (Button == mbLeft && (Has(mi, miSelectPolygon) || Has(mi, miSelectLasso))) {
    LayersFixRotations(-1);
    FireSelectionEvent(OnBeforeSelectionChange);
    fSelectMoving = SelMoveUnderMouse(x, y, Shift);
    if (fSelectMoving != 0 && !noNew && fHPolySel != nullptr) {
      const int32_t n = fHPolySel->Count;
      if (alt && n > 0) {
        const TPoint last = fHPolySel->Points[size_t(n - 1)];
        if (!(last.X == kBreak && last.Y == kBreak)) {
          const TVXLayer* L = CurrentLayer();
          VXConstrainAngle45(ConvXBmp2Scr(L, last.X), ConvYBmp2Scr(L, last.Y), x, y);
        }
      }
      if (!fPolySelecting) {
        if (shiftAdd)
          AddSelBreak();
        else if (!HasSelectionOption(vxsoDisableOneClickDeselect))
          DeSelect();
      }
      AddSelPoint(x, y);
      fPolySelecting = true;
      fLassoSelecting = Has(mi, miSelectLasso);
      fMMoveX = x;
      fMMoveY = y;
      FireSelectionEvent(OnSelectionChanging);
    }
  } else if (Button == mbLeft && Has(mi, miSelect)) {
    LayersFixRotations(-1);
    FireSelectionEvent(OnBeforeSelectionChange);
    fRectResizing = SelGripUnderMouse(X, Y, Shift);
    if (fRectResizing == vxNone) fSelectMoving = SelMoveUnderMouse(X, Y, Shift);
    if (fRectResizing == vxNone && fSelectMoving != 0 && !noNew) {
      fRectSelecting = true;
      if (fSelectionAspectRatio == 0) SelectRectDrag(x, y, Shift);
      FireSelectionEvent(OnSelectionChanging);
    }
    if (fRectResizing != vxNone && fHPolySel) {
      flx1 = fHPolySel->X1;
      fly1 = fHPolySel->Y1;
      flx2 = fHPolySel->X2;
      fly2 = fHPolySel->Y2;
    }
  } else if (Button == mbLeft && Has(mi, miSelectZoom)) {
    fRectSelecting = true;
    FireSelectionEvent(OnSelectionChanging);
    SaveSelection();
  } else if (Button == mbLeft && Has(mi, miSelectCircle)) {
    LayersFixRotations(-1);
    FireSelectionEvent(OnBeforeSelectionChange);
    fSelectMoving = SelMoveUnderMouse(x, y, Shift);
    if (fSelectMoving != 0 && !noNew) {
      fCircSelecting = true;
      ShowSelectionOutline();
      if (fSelectionAspectRatio == 0) SelectEllipseDrag(x, y, Shift);
      FireSelectionEvent(OnSelectionChanging);
    }
  } else if (Button == mbLeft && Has(mi, miSelectMagicWand)) {
    LayersFixRotations(-1);
    FireSelectionEvent(OnBeforeSelectionChange);
    fSelectMoving = SelMoveUnderMouse(x, y, Shift);
  } else {
    handled = false;
  }

  if (!handled && (Button == mbLeft || rightLayers) &&
      (Has(mi, miMoveLayers) || Has(mi, miResizeLayers) || Has(mi, miRotateLayers))) {
    fMovResRotLayerStarted = false;
    fLayerResizing = Has(mi, miResizeLayers) ? FindLayerGrip(X, Y) : vxNone;
    if (fLayerResizing != vxNone) {
      LayersFixRotations(-1);
      const TVXLayer* L = CurrentLayer();
      fLyrResizingClientAreaBox = L->ClientAreaBox();
      for (int k = 0; k < 4; ++k) fLyrResizingRotatedBox[k] = L->DrawingInfo().RotatedDest[k];
      DoLayerNotify(fLayersCurrent, vxlBeginResizing);
    } else if (Has(mi, miMoveLayers) || Has(mi, miRotateLayers)) {
      if (Has(mi, miRotateLayers) && FindLayerGrip(X, Y) == vxRotationCenter) {
        fMovingRotationCenter = fLayersCurrent;
      } else if (Has(mi, miRotateLayers) && fLayersCurrent >= 0 && !IsPointInsideLayer(X, Y, fLayersCurrent)) {
        fRotatingLayer = fLayersCurrent;
        fRotatingLayerValue = CurrentLayer()->Rotate();
        if (fLayersRotationDelayFilterOnPreview) fStable = fStableReset;
      } else {
        fMovingLayer = FindLayerAt(X, Y, true);
        if (fMovingLayer >= 0) {
          SetLayersCurrent(fMovingLayer);
          DoLayerNotify(fLayersCurrent, vxlSelected);
          DoLayerNotify(fLayersCurrent, vxlBeginMoving);
          if (!Layers(fMovingLayer)->Locked()) SetInteractionCursor(1790, true);
        }
      }
    }
  }

  if (Button == mbLeft && Has(mi, miScroll)) {
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    if (mx > 0 || my > 0) SetInteractionCursor(1782, true);
  }
}

// ---------------------------------------------------------------------------
// Moves

void TVexlaneView::MouseMove(TShiftState Shift, int X, int Y) {
  TVXView::MouseMove(Shift, X, Y);
  TClientBase base(fSelectionBase, fSavedSelectionBase, fClientBaseDepth);
  const TVXMouseInteract mi = fMouseInteract;
  int32_t x, y;
  ClampToCurrentLayer(X, Y, x, y);
  const bool alt = AltHeld(Shift) || fForceALTkey;
  const bool captured = MouseCapture();

  // A drag whose press was ignored (another button than the interaction's)
  // has no press state to work from.
  if (captured && fMousePressTaken) {
    if (Has(mi, miScroll)) {
      SetViewXY(fHSVX1 - Trunc((X - fMouseDownX) * fMouseScrollRate),
                fHSVY1 - Trunc((Y - fMouseDownY) * fMouseScrollRate));
    } else if (fRectResizing != vxNone) {
      MouseMoveScroll();
      fRectResizing = ResizeSelectionRect(fRectResizing, x, y, alt || fSelectionAspectRatio > 0);
      FireSelectionEvent(OnSelectionChanging);
    } else if (fSelectMoving == 0) {
      if (HasSelectionOption(vxsoCanScroll)) MouseMoveScroll();
      const TVXLayer* L = CurrentLayer();
      MoveSelectionEx(ConvXScr2Bmp(L, x) - ConvXScr2Bmp(L, fPredX), ConvYScr2Bmp(L, y) - ConvYScr2Bmp(L, fPredY),
                      HasSelectionOption(vxsoCutBorders));
      FireSelectionEvent(OnSelectionChanging);
    } else if (fRectSelecting) {
      SelectRectDrag(x, y, Shift);
    } else if (fPolySelecting) {
      MouseMoveScroll();
      RepaintUnlessLocked();
      AddSelPoint(x, y);
      FireSelectionEvent(OnSelectionChanging);
    } else if (fCircSelecting) {
      SelectEllipseDrag(x, y, Shift);
    } else if (fMovingLayer >= 0 && fMovingLayer < LayersCount()) {
      TVXLayer* L = Layers(fMovingLayer);
      if (!L->Locked()) {
        if (!fMovResRotLayerStarted && fLayersAutoUndo) Proc()->SaveUndo(vxuLayer);
        fMovResRotLayerStarted = true;
        MouseMoveScroll();
        const int32_t nx = XScr2Bmp(X) + L->PosX() - XScr2Bmp(fPredLX);
        const int32_t ny = YScr2Bmp(Y) + L->PosY() - YScr2Bmp(fPredLY);
        const bool moved = nx != L->PosX() || ny != L->PosY();
        L->SetPosX(nx);
        L->SetPosY(ny);
        if (moved) fLayerMoved = true;
        SetInteractionHint("X=" + std::to_string(nx) + " Y=" + std::to_string(ny), X, Y, "X=000 Y=000");
        fUpdate_MaskCache = fMovingLayer;
        Update();
        if (moved) DoLayerNotify(fLayersCurrent, vxlMoving);
      }
    } else if (fMovingRotationCenter >= 0 && fMovingRotationCenter < LayersCount()) {
      TVXLayer* L = Layers(fMovingRotationCenter);
      const TVXBitmap* b = L->Bitmap();
      const int32_t bw = b ? b->Width() : 0, bh = b ? b->Height() : 0;
      if (bw > 0 && bh > 0) {
        L->SetRotateCenterX(double(ConvXScr2Bmp(L, X)) / bw);
        L->SetRotateCenterY(double(ConvYScr2Bmp(L, Y)) / bh);
        SetInteractionHint("X=" + std::to_string(Trunc(bw * L->RotateCenterX())) +
                               " Y=" + std::to_string(Trunc(bh * L->RotateCenterY())),
                           X, Y, "X=000 Y=000");
        Update();
      }
    } else if (fRotatingLayer >= 0 && fRotatingLayer < LayersCount()) {
      TVXLayer* L = Layers(fRotatingLayer);
      if (!L->Locked()) {
        if (!fMovResRotLayerStarted && fLayersAutoUndo) Proc()->SaveUndo(vxuFullLayer);
        fMovResRotLayerStarted = true;
        double dX = (XScr2Bmp(X) - XScr2Bmp(fPredLX)) / 4.0;
        double dY = (YScr2Bmp(Y) - YScr2Bmp(fPredLY)) / 4.0;
        const TVXBitmap* b = L->Bitmap();
        const int32_t bw = b ? b->Width() : 0, bh = b ? b->Height() : 0;
        const int32_t cx = ConvXBmp2Scr(L, Trunc(bw * L->RotateCenterX()));
        const int32_t cy = ConvYBmp2Scr(L, Trunc(bh * L->RotateCenterY()));
        if (X > cx) dY = -dY;
        if (Y < cy) dX = -dX;
        fRotatingLayerValue += dX + dY;
        double angle = fRotatingLayerValue;
        if (ShiftHeld(Shift) && fLayersRotateStep != 0)
          angle = std::trunc(fRotatingLayerValue / fLayersRotateStep) * fLayersRotateStep;
        L->SetRotate(angle);
        SetInteractionHint(AngleText(angle) + "\xC2\xB0", X, Y, "0000\xC2\xB0");
        fUpdate_MaskCache = fRotatingLayer;
        if (fLayersRotationDelayFilterOnPreview) fStable = fStableReset;
        Update();
        DoLayerNotify(fLayersCurrent, vxlRotating);
      }
    } else if (fLayerResizing != vxNone && !CurrentLayer()->Locked()) {
      TVXLayer* L = CurrentLayer();
      if (!fMovResRotLayerStarted) {
        if (fLayersAutoUndo) Proc()->SaveUndo(vxuLayer);
        if (L->Width() > 0) fLayersResizingAR = double(L->Height()) / L->Width();
      }
      fMovResRotLayerStarted = true;
      MouseMoveScroll();
      ResizeLayerByGrip(X, Y, alt);
      SetInteractionHint(std::to_string(L->Width()) + " x " + std::to_string(L->Height()), X, Y, "0000 x 0000");
      fUpdate_MaskCache = fLayersCurrent;
      Update();
      DoLayerNotify(fLayersCurrent, vxlResizing);
    }
  } else if (!fPolySelecting || fLassoSelecting) {
    MouseHover(Shift, X, Y, x, y);
  } else {
    // The rubber band from the polygon's last point to the cursor.
    DrawPolygonRubberBand();
    if (alt && fHPolySel && fHPolySel->Count > 0) {
      const TPoint last = fHPolySel->Points[size_t(fHPolySel->Count - 1)];
      if (!(last.X == kBreak && last.Y == kBreak)) {
        const TVXLayer* L = CurrentLayer();
        VXConstrainAngle45(ConvXBmp2Scr(L, last.X), ConvYBmp2Scr(L, last.Y), x, y);
      }
    }
    fMMoveX = x;
    fMMoveY = y;
    DrawPolygonRubberBand();
    FireSelectionEvent(OnSelectionChanging);
  }

  if (Has(mi, miMovingScroll) && !captured && (X != fPredLX || Y != fPredLY)) {
    int32_t mx, my;
    GetMaxViewXY(mx, my);
    const int32_t cw = GetClientWidth(), ch = GetClientHeight();
    if (cw > 0 && ch > 0) {
      const int32_t cx = std::clamp(X, 0, cw), cy = std::clamp(Y, 0, ch);
      SetViewXYSmooth(Trunc((double(cx) / cw - 0.02) * 1.05 * mx), Trunc((double(cy) / ch - 0.02) * 1.05 * my));
    }
  }

  if (fSelectionMask && !fSelectionMask->IsEmpty() && fSelectionMask->IsPointInside(SelX(x), SelY(y)))
    FireSelectionEvent(OnMouseInSel);

  fMMoveX = fPredX = x;
  fMMoveY = fPredY = y;
  fPredLX = X;
  fPredLY = Y;
}

void TVexlaneView::MouseHover(TShiftState Shift, int32_t X, int32_t Y, int32_t x, int32_t y) {
  const TVXMouseInteract mi = fMouseInteract;
  if (Has(mi, miSelect) || Has(mi, miSelectPolygon) || Has(mi, miSelectCircle) || Has(mi, miSelectMagicWand) ||
      Has(mi, miSelectLasso)) {
    const TVXGrip g = SelGripUnderMouse(X, Y, Shift);
    if (OnMouseInResizingGrip) WithUserSelectionBase([&] { OnMouseInResizingGrip(static_cast<TVXView*>(this), g); });
    if (g != vxNone) {
      SetInteractionCursor(GripCursor(g), false);
    } else if (SelMoveUnderMouse(x, y, Shift) == 0) {
      SetInteractionCursor(1790, false);
    } else if (ShiftHeld(Shift) && fEnableShiftKey) {
      if (fCursor == 1785)
        SetInteractionCursor(1791, false);
      else if (fCursor == 1793)
        SetInteractionCursor(1794, false);
    } else {
      RestoreCursor();
    }
  } else if (Has(mi, miRotateLayers)) {
    if (IsPointInsideLayer(X, Y, fLayersCurrent)) {
      RestoreCursor();
    } else {
      const TVXLayer* L = CurrentLayer();
      const TVXBitmap* b = L->Bitmap();
      const int32_t bw = b ? b->Width() : 0, bh = b ? b->Height() : 0;
      const int32_t cx = ConvXBmp2Scr(L, Trunc(bw * L->RotateCenterX()));
      const int32_t cy = ConvYBmp2Scr(L, Trunc(bh * L->RotateCenterY()));
      if (X < cx && Y < cy)
        SetInteractionCursor(1814, false);
      else if (X < cx && Y > cy)
        SetInteractionCursor(1811, false);
      else if (X > cx && Y < cy)
        SetInteractionCursor(1812, false);
      else if (X > cx && Y > cy)
        SetInteractionCursor(1813, false);
    }
  } else if (Has(mi, miResizeLayers) || Has(mi, miMoveLayers)) {
    const TVXGrip g = Has(mi, miResizeLayers) && !CurrentLayer()->Locked() ? FindLayerGrip(X, Y) : vxNone;
    if (g != vxNone) {
      SetInteractionCursor(GripCursor(g), false);
    } else {
      const int32_t i = FindLayerAt(X, Y, true);
      if (i >= 0 && !Layers(i)->Locked() && Has(mi, miMoveLayers))
        SetInteractionCursor(1790, false);
      else
        RestoreCursor();
    }
  }
}

// ---------------------------------------------------------------------------
// Release

void TVexlaneView::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TVXView::MouseUp(Button, Shift, X, Y);
  SetInteractionHint("", 0, 0, "");
  if (!(Shift & (VXShiftBit(ssLeft) | VXShiftBit(ssRight) | VXShiftBit(ssMiddle)))) fMousePressTaken = false;
  int32_t x, y;
  ClampToCurrentLayer(X, Y, x, y);
  TClientBase base(fSelectionBase, fSavedSelectionBase, fClientBaseDepth);
  const TVXMouseInteract mi = fMouseInteract;
  const bool click = x == fHSX1 && y == fHSY1;
  const bool shiftAdd = ShiftHeld(Shift) && fEnableShiftKey;
  const bool oneClickDeselect = !HasSelectionOption(vxsoDisableOneClickDeselect);
  bool selChanged = false;
  int32_t mx = 0, my = 0;
  GetMaxViewXY(mx, my);
  const bool canScroll = mx > 0 || my > 0;

  if (Has(mi, miZoom) && X == fHSX1 && Y == fHSY1 && !IsEmpty() && (Button == mbLeft || Button == mbRight)) {
    double z = fZoomX;
    if (Button == mbLeft) {
      if (Has(mi, miScroll)) RestoreCursor();
      if (fZoomX >= 100) {
        z = fZoomX + 100;
      } else {
        for (double s : {2.0, 5.0, 10.0, 25.0, 33.0, 50.0, 75.0, 100.0})
          if (s > fZoomX) {
            z = s;
            break;
          }
      }
      if (OnZoomIn) WithUserSelectionBase([&] { OnZoomIn(static_cast<TVXView*>(this), z); });
    } else {
      if (fZoomX >= 200) {
        z = fZoomX - 100;
      } else {
        z = 2;
        for (double s : {100.0, 75.0, 50.0, 33.0, 25.0, 10.0, 5.0, 2.0})
          if (s < fZoomX) {
            z = s;
            break;
          }
      }
      if (OnZoomOut) WithUserSelectionBase([&] { OnZoomOut(static_cast<TVXView*>(this), z); });
    }
    if (z != fZoomX || z != fZoomY) ZoomAt(X, Y, z, false);
    fPolySelecting = false;
  } else if (Button == mbLeft && Has(mi, miScroll) && canScroll) {
    SetViewXY(fHSVX1 - Trunc((X - fMouseDownX) * fMouseScrollRate),
              fHSVY1 - Trunc((Y - fMouseDownY) * fMouseScrollRate));
    RestoreCursor();
  } else if (Button == mbLeft && Has(mi, miSelectZoom)) {
    // A click draws no rectangle: the selection before the press would be
    // zoomed to instead.
    if (fRectSelecting && !click) ZoomSelection(fZoomSelectionAspectRatio);
    fRectSelecting = false;
    RestoreSelection(true, vxrsMoveToAdapt);
  } else if (Button == mbLeft && Has(mi, miSelect)) {
    if (click && fRectResizing == vxNone && fSelectMoving != 0) {
      if (oneClickDeselect) {
        selChanged = Selected();
        DeSelect();
      }
    } else {
      if (fRectSelecting || fRectResizing != vxNone) {
        if (!shiftAdd) Mask()->Empty();
        EndSelect();
      }
      fRectSelecting = false;
      fRectResizing = vxNone;
      if (fIsNavigator) {
        Invalidate();
      } else {
        fUpdateReason = vxurSelectionChanged;
        Update();
      }
      selChanged = true;
    }
  } else if (Button == mbLeft && Has(mi, miSelectCircle)) {
    if (click && fSelectionAspectRatio != 0 && fSelectMoving != 0) {
      if (oneClickDeselect) {
        selChanged = Selected();
        DeSelect();
      }
    } else {
      if (fCircSelecting) {
        if (!shiftAdd) Mask()->Empty();
        EndSelect();
      }
      fCircSelecting = false;
      fUpdateReason = vxurSelectionChanged;
      Update();
      selChanged = true;
    }
  } else if (Button == mbLeft && Has(mi, miSelectLasso)) {
    if (click && fSelectMoving != 0) {
      fLassoSelecting = fPolySelecting = false;
      if (oneClickDeselect) {
        selChanged = Selected();
        DeSelect();
      }
    } else {
      if (fLassoSelecting) {
        if (!shiftAdd) Mask()->Empty();
        EndSelect();
      }
      fLassoSelecting = fPolySelecting = false;
      fUpdateReason = vxurSelectionChanged;
      Update();
      selChanged = true;
    }
  } else if (Button == mbLeft && Has(mi, miSelectPolygon)) {
    if (fSelectMoving == 0) {
      fSelectMoving = -1;
      selChanged = true;
    }
    fUpdateReason = vxurSelectionChanged;
    Update();
  } else if (Button == mbLeft && Has(mi, miSelectMagicWand)) {
    if (fSelectMoving == 0) {
      fSelectMoving = -1;
    } else if (!(Selected() && HasSelectionOption(vxsoDisableNewSelection))) {
      SetInteractionCursor(crHourGlass, true);
      try {
        SelectMagicWand(X, Y, shiftAdd ? vxspAdd : vxspReplace);
      } catch (...) {
        RestoreCursor();
        throw;
      }
      RestoreCursor();
    }
    selChanged = true;
    fUpdateReason = vxurSelectionChanged;
    Update();
  }

  if (Button == mbLeft) {
    if (fRectMoving) {
      // The moved rectangle becomes the mask.
      fRectMoving = false;
      Mask()->Empty();
      EndSelect();
    }
    const bool released = X != fMouseDownX || Y != fMouseDownY;
    if (fMovingLayer >= 0) {
      RestoreCursor();
      if (fLayerMoved) DoLayerNotify(fLayersCurrent, vxlMoved);
      fMovingLayer = -1;
      Invalidate();
    }
    if (fRotatingLayer >= 0) {
      if (released) DoLayerNotify(fLayersCurrent, vxlRotated);
      fRotatingLayer = -1;
      Invalidate();
    } else if (fMovingRotationCenter >= 0) {
      fMovingRotationCenter = -1;
    }
    if (Has(mi, miRotateLayers) && click) {
      const int32_t i = FindLayerAt(X, Y, true);
      if (i >= 0) {
        SetLayersCurrent(i);
        DoLayerNotify(fLayersCurrent, vxlSelected);
      }
    }
    if (fLayerResizing != vxNone) {
      if (released) DoLayerNotify(fLayersCurrent, vxlResized);
      fLayerResizing = vxNone;
      Update();
    }
    fSelectMoving = -1;
    fRectResizing = vxNone;
    fRectSelecting = fCircSelecting = fLassoSelecting = false;
    if (selChanged) FireSelectionEvent(OnSelectionChange);
  } else if (Button == mbRight && fPolySelecting && !fLassoSelecting &&
             HasSelectionOption(vxsoRightButtonTerminatePolySelect)) {
    EndPolygonSelection(false, Shift);
  }
  if (fZoomFilter != fSaveZoomFilter) {
    fZoomFilter = fSaveZoomFilter;
    Update();
  }
}

void TVexlaneView::WMLButtonDblClk(TMessage& Message) {
  TVXView::WMLButtonDblClk(Message);
  if (!fPolySelecting || fLassoSelecting) return;
  TClientBase base(fSelectionBase, fSavedSelectionBase, fClientBaseDepth);
  EndPolygonSelection(true, KeysToShiftState(Message.WParam));
}
