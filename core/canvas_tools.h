#pragma once
// The canvas's pen and brush: they mirror a platform pen or brush (not
// owned) and, while GDI+ is enabled, keep a GDI+ pen or brush of the same
// colour, transparency, width, dash style or hatch. Each change while GDI+
// is enabled recreates the GDI+ object.

#include <cstdint>

#include "gui/graphics.h"
#include "winui/gdiplus.h"

enum TVXCanvasPenLineJoin { vxljMiter, vxljBevel, vxljRound, vxljMiterClipped };

// The GDI+ colour of a platform colour (system colours resolved) with the
// alpha byte Alpha (0..255).
ARGB VXGDIPlusColor(TColor Color, int32_t Alpha);

class TVXPen {
 public:
  // Without a platform pen: white, width 1, psSolid, pmCopy.
  explicit TVXPen(TPen* Pen);
  ~TVXPen();
  TVXPen(const TVXPen&) = delete;
  TVXPen& operator=(const TVXPen&) = delete;

  float Width() const { return FWidth; }
  // The platform pen gets the width truncated.
  void SetWidth(float v);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  // 0 (invisible) .. 255 (opaque); other values are clamped.
  int32_t Transparency() const { return FTransparency; }
  void SetTransparency(int32_t v);
  // psClear makes the GDI+ pen invisible whatever the transparency.
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle v);
  // Applies to the platform pen only.
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode v);
  TVXCanvasPenLineJoin LineJoin() const { return FLineJoin; }
  void SetLineJoin(TVXCanvasPenLineJoin v);
  // The platform pen's handle; null without a platform pen.
  HPEN Handle() const { return FPen ? FPen->Handle() : nullptr; }
  // The GDI+ pen, null while GDI+ is not enabled.
  GpPen* GHandle() const { return FGHandle; }

 private:
  void Update();
  void Release();
  GpPen* FGHandle = nullptr;
  TPen* FPen = nullptr;
  TColor FColor = clWhite;
  int32_t FTransparency = 255;
  float FWidth = 1;
  TPenStyle FStyle = psSolid;
  TPenMode FMode = pmCopy;
  TVXCanvasPenLineJoin FLineJoin = vxljMiter;
};

class TVXBrush {
 public:
  // Without a platform brush: white and bsSolid. Back colour black with
  // transparency 0 (used by the hatches), transparency 255.
  explicit TVXBrush(TBrush* Brush);
  ~TVXBrush();
  TVXBrush(const TVXBrush&) = delete;
  TVXBrush& operator=(const TVXBrush&) = delete;

  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TColor BackColor() const { return FBackColor; }
  void SetBackColor(TColor v);
  int32_t Transparency() const { return FTransparency; }
  void SetTransparency(int32_t v);
  int32_t BackTransparency() const { return FBackTransparency; }
  void SetBackTransparency(int32_t v);
  // bsClear fills nothing through GDI+; the six hatches repeat every 8
  // pixels in the colour over the back colour.
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle v);
  GpBrush* GHandle() const { return FGHandle; }

 private:
  void Update();
  void Release();
  GpBrush* FGHandle = nullptr;
  TBrush* FBrush = nullptr;
  TColor FColor = clWhite;
  int32_t FTransparency = 255;
  TColor FBackColor = 0;
  int32_t FBackTransparency = 0;
  TBrushStyle FStyle = bsSolid;
};
