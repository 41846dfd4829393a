// Measuring: the dragged length, the selection's length and the measure
// hint drawn on the window.
#include <algorithm>
#include <cmath>

#include "core/decorate.h"
#include "core/layer.h"
#include "core/polygon_area.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "gui/graphics.h"
#include "vect/vexlanevect.h"
#include "winui/win_paint.h"

double TVexlaneVect::GetDragLen(int32_t x0, int32_t y0, int32_t x, int32_t y) const {
  const double cx = fCoefX * 100.0 / ZoomX(), cy = fCoefY * 100.0 / ZoomY();
  // Both end pixels count, whichever way the drag goes.
  const double dx = std::abs(double(x) - x0) + 1, dy = std::abs(double(y) - y0) + 1;
  return std::sqrt((dx * cx) * (dx * cx) + (dy * cy) * (dy * cy));
}

double TVexlaneVect::GetSelectionLen() {
  const TPoint* p = PolySelPoints();
  const int32_t n = PolySelCount();
  double len = 0;
  auto seg = [&](TPoint a, TPoint b) {
    const double dx = (double(b.X) - a.X) * fCoefX, dy = (double(b.Y) - a.Y) * fCoefY;
    len += std::sqrt(dx * dx + dy * dy);
  };
  const bool drawing = fPolySelecting;
  if (n >= 2 && p) {
    int32_t first = 0;
    for (int32_t i = 0; i + 1 < n; ++i) {
      if (p[i].X == VXPolygonAreaSeparator) continue;
      if (p[i + 1].X == VXPolygonAreaSeparator) {
        seg(p[i], p[first]);
        first = i + 2;
        ++i;
      } else {
        seg(p[i], p[i + 1]);
      }
    }
    if (!drawing && n > 2 && first < n && p[n - 1].X != VXPolygonAreaSeparator) seg(p[n - 1], p[first]);
  }
  if (fMeasureTrack && n >= 1 && p && drawing && p[n - 1].X != VXPolygonAreaSeparator) {
    const TVXLayer* L = CurrentLayer();
    const TPoint m{L ? ConvXScr2Bmp(L, fMeasureMouseX) : XScr2Bmp(fMeasureMouseX),
                   L ? ConvYScr2Bmp(L, fMeasureMouseY) : YScr2Bmp(fMeasureMouseY)};
    seg(p[n - 1], m);
  }
  return len;
}

double TVexlaneVect::MeasureHintValue(int32_t x, int32_t y) {
  double v;
  if (fMouseInteractVt & (1u << miArea)) v = GetSelectionArea();
  else if (fMouseInteractVt & (1u << miLineLen)) v = GetSelectionLen();
  else v = GetDragLen(fDragLenX0, fDragLenY0, x, y);
  if (v == 0) v = fLastHintValue;
  fLastHintValue = v;
  return v;
}

std::string TVexlaneVect::MeasureHintText(double Value, TVXVValType ValType) {
  const TVXMeasureUnits& names = VXGetGlobalSettings()->MeasureUnits;
  std::string text = VXFloatToStrF(Value, ffFixed, fFloatPrecision, fFloatDigits) + " " +
                     names[size_t(fMUnit) % names.size()];
  if (ValType == vxvtAREA) text += "\xC2\xB2";
  if (OnMeasureHint) OnMeasureHint(this, text, Value);
  if (OnPresentMeasure) OnPresentMeasure(this, text, Value, ValType);
  return text;
}

void TVexlaneVect::DrawMeasureHint(int32_t x, int32_t y) {
  if (!fShowHint || !HandleAllocated()) return;
  if (x == -1000000) x = fHintX;
  if (y == -1000000) y = fHintY;
  x = std::max(x, 0), y = std::max(y, 0);
  fMeasureMouseX = x, fMeasureMouseY = y;
  const double v = MeasureHintValue(x, y);
  const std::string text = MeasureHintText(v, (fMouseInteractVt & (1u << miArea)) ? vxvtAREA : vxvtLENGTH);
  HWND wnd = Handle();
  HDC dc = GetDC(wnd);
  if (!dc) return;
  {
    TCanvas c;
    c.SetHandle(dc);
    VXDrawTextHint(&c, x, y, text, fMeasureHintFont.get(), fMeasureHintBrush.get(), fHintSaveBitmap.get(),
                   ClientWidth(), ClientHeight(), fMeasureHintBorder1, fMeasureHintBorder2);
    c.SetHandle(nullptr);
  }
  ReleaseDC(wnd, dc);
  fHintX = x, fHintY = y;
}

void TVexlaneVect::EraseMeasureHint() {
  if (!fShowHint || fHintSaveBitmap->Width() < 2 || !HandleAllocated()) return;
  HWND wnd = Handle();
  HDC dc = GetDC(wnd);
  if (dc) {
    TCanvas c;
    c.SetHandle(dc);
    const int32_t w = fHintSaveBitmap->Width(), h = fHintSaveBitmap->Height();
    c.SetCopyMode(cmSrcCopy);
    c.CopyRect(TRect{fHintX, fHintY, fHintX + w, fHintY + h}, fHintSaveBitmap->Canvas(), TRect{0, 0, w, h});
    c.SetHandle(nullptr);
    ReleaseDC(wnd, dc);
  }
  fHintSaveBitmap->SetWidth(1);
}

void TVexlaneVect::RedrawMeasureHint() {
  if (!fShowHint) return;
  EraseMeasureHint();
  DrawMeasureHint(-1000000, -1000000);
}

void TVexlaneVect::SetMouseInteractVt(TVXMouseInteractVt Value) {
  fMouseInteractVt = Value;
  if (Value & ((1u << miArea) | (1u << miLineLen))) {
    EraseMeasureHint();
    fLastHintValue = 0;
    fShowHint = true;
    DrawMeasureHint(ClientWidth() / 2, ClientHeight() / 2);
  } else {
    EraseMeasureHint();
    fShowHint = false;
    fLastHintValue = 0;
  }
}

void TVexlaneVect::SetFloatDigits(int32_t Value) {
  fFloatDigits = Value;
  RedrawMeasureHint();
}

void TVexlaneVect::SetFloatPrecision(int32_t Value) {
  fFloatPrecision = Value;
  RedrawMeasureHint();
}
