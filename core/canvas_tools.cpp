#include "core/canvas_tools.h"

#include <algorithm>

#include "core/gdiplus.h"
#include "core/vxdefs.h"

namespace {

template <class P>
P Entry(const char* Name) {
  return reinterpret_cast<P>(VXGDIPlusEntry(Name));
}

int32_t ClampAlpha(int32_t v) { return std::clamp(v, 0, 255); }

}  // namespace

ARGB VXGDIPlusColor(TColor Color, int32_t Alpha) {
  const COLORREF c = VXColorToRGB(Color);  // 0x00BBGGRR
  const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  return (uint32_t(ClampAlpha(Alpha)) << 24) | (r << 16) | (g << 8) | b;
}

// ---------------------------------------------------------------------------

TVXPen::TVXPen(TPen* Pen) : FPen(Pen) {
  if (Pen) {
    FColor = Pen->Color();
    FWidth = float(Pen->Width());
    FStyle = Pen->Style();
    FMode = Pen->Mode();
  }
  Update();
}

TVXPen::~TVXPen() { Release(); }

void TVXPen::Release() {
  // Once the library is unloaded its objects are gone with it.
  if (FGHandle && VXGDIPlusLoaded())
    if (const auto del = Entry<GdipDeletePenProc>("GdipDeletePen")) del(FGHandle);
  FGHandle = nullptr;
}

void TVXPen::Update() {
  if (!VXGDIPlusEnabled()) return;
  Release();
  const ARGB color = VXGDIPlusColor(FColor, FStyle == psClear ? 0 : FTransparency);
  GpPen* pen = nullptr;
  const auto create = Entry<GdipCreatePen1Proc>("GdipCreatePen1");
  if (create) create(color, FWidth, UnitPixel, &pen);
  if (!pen) throw EVXException("Cannot create TVXPen. GdipCreatePen1 failed.");
  FGHandle = pen;
  GpDashStyle dash = DashStyleSolid;
  if (FStyle != psClear && FStyle != psInsideFrame) dash = GpDashStyle(FStyle);
  if (const auto f = Entry<GdipSetPenDashStyleProc>("GdipSetPenDashStyle")) f(pen, dash);
  if (const auto f = Entry<GdipSetPenLineJoinProc>("GdipSetPenLineJoin")) f(pen, GpLineJoin(FLineJoin));
}

void TVXPen::SetWidth(float v) {
  FWidth = v;
  // Trunc, kept within the platform's range (NaN gives 0).
  if (FPen) FPen->SetWidth(v == v ? int(std::clamp(v, -2147483520.0f, 2147483520.0f)) : 0);
  Update();
}

void TVXPen::SetColor(TColor v) {
  FColor = v;
  if (FPen) FPen->SetColor(v);
  Update();
}

void TVXPen::SetTransparency(int32_t v) {
  FTransparency = ClampAlpha(v);
  Update();
}

void TVXPen::SetStyle(TPenStyle v) {
  FStyle = v;
  if (FPen) FPen->SetStyle(v);
  Update();
}

void TVXPen::SetMode(TPenMode v) {
  FMode = v;
  if (FPen) FPen->SetMode(v);
}

void TVXPen::SetLineJoin(TVXCanvasPenLineJoin v) {
  FLineJoin = v;
  Update();
}

// ---------------------------------------------------------------------------

TVXBrush::TVXBrush(TBrush* Brush) : FBrush(Brush) {
  if (Brush) {
    FColor = Brush->Color();
    FStyle = Brush->Style();
  }
  Update();
}

TVXBrush::~TVXBrush() { Release(); }

void TVXBrush::Release() {
  if (FGHandle && VXGDIPlusLoaded())
    if (const auto del = Entry<GdipDeleteBrushProc>("GdipDeleteBrush")) del(FGHandle);
  FGHandle = nullptr;
}

void TVXBrush::Update() {
  if (!VXGDIPlusEnabled()) return;
  Release();
  GpBrush* brush = nullptr;
  if (FStyle == bsSolid || FStyle == bsClear) {
    const auto create = Entry<GdipCreateSolidFillProc>("GdipCreateSolidFill");
    if (create) create(VXGDIPlusColor(FColor, FStyle == bsClear ? 0 : FTransparency), &brush);
    if (!brush) throw EVXException("Cannot create TVXBrush. GdipCreateSolidFill failed.");
  } else {
    const auto create = Entry<GdipCreateHatchBrushProc>("GdipCreateHatchBrush");
    if (create)
      create(GpHatchStyle(FStyle - bsHorizontal), VXGDIPlusColor(FColor, FTransparency),
             VXGDIPlusColor(FBackColor, FBackTransparency), &brush);
    if (!brush) throw EVXException("Cannot create TVXBrush. GdipCreateHatchBrush failed.");
  }
  FGHandle = brush;
}

void TVXBrush::SetColor(TColor v) {
  FColor = v;
  if (FBrush) FBrush->SetColor(v);
  Update();
}

void TVXBrush::SetBackColor(TColor v) {
  FBackColor = v;
  Update();
}

void TVXBrush::SetTransparency(int32_t v) {
  FTransparency = ClampAlpha(v);
  Update();
}

void TVXBrush::SetBackTransparency(int32_t v) {
  FBackTransparency = ClampAlpha(v);
  Update();
}

void TVXBrush::SetStyle(TBrushStyle v) {
  FStyle = v;
  if (FBrush) FBrush->SetStyle(v);
  Update();
}
