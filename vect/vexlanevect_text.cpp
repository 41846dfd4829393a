// The renderers of the kinds that carry text or measures: straight and
// curved texts, the label box of a line label, rulers and quotes, angles.
// Text goes through the device context of the target's canvas with a font
// made from the object's LOGFONT at the drawing's zoom.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/settings.h"
#include "core/textutils.h"
#include "platform/utf.h"
#include "vect/vexlanevect.h"
#include "winui/gdi.h"
#include "winui/gdi_text.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Toward zero, saturated to 32 bits; not a number gives 0.
int32_t Trunc(double v) { return v == v ? int32_t(std::clamp(v, -2147483648.0, 2147483647.0)) : 0; }

void Grow(TRect& R, int32_t x, int32_t y) {
  R.Left = std::min(R.Left, x), R.Top = std::min(R.Top, y);
  R.Right = std::max(R.Right, x), R.Bottom = std::max(R.Bottom, y);
}

uint8_t QualityByte(TVXFontQuality q) {
  static const uint8_t kTable[] = {4, 5, 6, 0, 1, 3, 2};
  return q <= vxfqProof ? kTable[q] : 0;
}

// A font from a LOGFONT selected into a device context for the life of the
// object, with the text colour and a clear background; all undone after.
class TTextFont {
 public:
  TTextFont(HDC DC, LOGFONTW Font, int32_t Height, int32_t Escapement, TVXFontQuality Quality, TColor Colour,
            UINT Align)
      : fDC(DC) {
    fSaved = SaveDC(DC);
    Font.lfHeight = Height;
    Font.lfEscapement = Font.lfOrientation = Escapement;
    Font.lfQuality = QualityByte(Quality);
    if (VXFormatSettings().PrimaryLanguage == 8) Font.lfCharSet = 161;  // Greek
    fFont = CreateFontIndirectW(&Font);
    SelectObject(DC, fFont);
    SetTextColor(DC, COLORREF(Colour));
    SetBkMode(DC, TRANSPARENT);
    SetTextAlign(DC, Align);
  }
  ~TTextFont() {
    RestoreDC(fDC, fSaved);
    DeleteObject(fFont);
  }
  TSize Extent(const std::string& S) {
    SIZE sz{};
    GetTextExtentPoint32W(fDC, S.c_str(), int(S.size()), &sz);
    return TSize{sz.cx, sz.cy};
  }
  void Out(int32_t x, int32_t y, const std::string& S, const TRect* Clip = nullptr) {
    if (Clip) {
      RECT r{Clip->Left, Clip->Top, Clip->Right, Clip->Bottom};
      ExtTextOutW(fDC, x, y, ETO_CLIPPED, &r, S.c_str(), int(S.size()), nullptr);
    } else {
      TextOutW(fDC, x, y, S.c_str(), int(S.size()));
    }
  }

 private:
  HDC fDC;
  int fSaved = 0;
  HFONT fFont = nullptr;
};

std::string Fixed(double v, int32_t Digits) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", std::clamp(Digits, 0, 18), v);
  std::string r = buf;
  for (char& c : r)
    if (c == '.') c = VXFormatSettings().DecimalSeparator;
  return r;
}

}  // namespace

std::string TVexlaneVect::FormatMeasure(double Value) const {
  // Fixed point with fFloatDigits decimals; beyond fFloatPrecision
  // significant digits the value is written in exponent form.
  if (std::isfinite(Value) && std::abs(Value) >= std::pow(10.0, std::clamp(fFloatPrecision, 1, 18))) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", std::clamp(fFloatPrecision - 1, 0, 17), Value);
    return buf;
  }
  return Fixed(Value, fFloatDigits);
}

double TVexlaneVect::UnitCoef(TVXUnits Unit, bool Vertical) const {
  if (Unit == vxuPIXELS) return fScale;
  const int32_t dpi = Vertical ? DpiY() : DpiX();
  return VXUnitsPerInch(Unit) / (dpi > 0 ? dpi : 1) * fScale;
}

double TVexlaneVect::GetAngleValue(int32_t hobj) { return AngleOf(GetObjRecord(hobj)->AnglePoints); }

double TVexlaneVect::AngleOf(const TPoint* p) {
  for (int i = 0; i < 3; ++i)
    if (p[i].X == -1000000) return 0;
  // Degrees swept around the middle point from the first arm to the second,
  // counter-clockwise on the screen (y grows downwards).
  const double a0 = std::atan2(-(double(p[0].Y) - p[1].Y), double(p[0].X) - p[1].X);
  const double a2 = std::atan2(-(double(p[2].Y) - p[1].Y), double(p[2].X) - p[1].X);
  double d = (a2 - a0) * 180 / kPi;
  while (d < 0) d += 360;
  while (d >= 360) d -= 360;
  return d;
}

// ---------------------------------------------------------------------------

void TVexlaneVect::RenderText(TVXVObject& o, TVXCanvas& C, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                              double Zoom, TColor Colour) {
  if (!o.Text || o.Text->empty() || !o.LogFont) return;
  const std::string text = VXUTF16ToUTF8(*o.Text);
  const int32_t height = o.LogFont->lfHeight != 0 ? Trunc(o.LogFont->lfHeight * Zoom) : Y2 - Y1;
  if (o.CurvedLen() > 0) {
    RenderCurvedText(o, DC, X1, Y1, X2, Y2, height, Colour);
    return;
  }
  const int32_t esc = o.LogFont->lfEscapement;
  TTextFont f(DC, *o.LogFont, height, esc, o.FontQuality, Colour, TA_LEFT | TA_TOP);
  const TSize ext = f.Extent(text);
  const double th = esc / 10.0 * kPi / 180, c = std::cos(th), s = std::sin(th);
  int32_t right = X2, bottom = Y2;
  if (o.TextAutoSize) {
    right = X1 + Trunc(std::abs(c * ext.cx) + std::abs(s * ext.cy));
    bottom = Y1 + Trunc(std::abs(s * ext.cx) + std::abs(c * ext.cy));
  }
  const int32_t w = right - X1, hgt = bottom - Y1;
  const int32_t v = Trunc(hgt - c * ext.cy + s * ext.cx) / 2;
  const bool penShown = o.PenStyle != psClear && fZoomObjectsWidth;
  const int32_t margin = penShown ? int32_t(std::nearbyint(Zoom * (o.PenWidth + 1))) : 0;
  int32_t h;
  switch (o.TextAlign) {
    case vxjLeft:
      h = std::abs(Trunc(s * ext.cy)) + margin;
      if (o.MaintainTextAlignmentOnRotate && std::nearbyint(s) == 0 && std::nearbyint(c) == -1) h = w - h;
      break;
    case vxjRight:
      h = Trunc(w - c * ext.cx) - margin;
      break;
    default:
      h = Trunc(w - c * ext.cx - s * ext.cy) / 2;
      break;
  }
  if (o.PenStyle != psClear || o.BrushStyle != bsClear) C.Rectangle(X1, Y1, right + 1, bottom + 1);
  Grow(o.plim, right + 1, bottom + 1);
  const TRect clip{X1, Y1, right + 1, bottom + 1};
  f.Out(X1 + h, Y1 + v, text, &clip);
}

void TVexlaneVect::RenderCurvedText(TVXVObject& o, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                    int32_t Height, TColor Colour) {
  const std::u16string& t = *o.Text;
  std::vector<TVXDPoint> pts;
  const double bw = double(X2) - X1, bh = double(Y2) - Y1;
  for (const TVXDPoint& p : o.CurvedPos) pts.push_back(TVXDPoint{X1 + p.X * bw, Y1 + p.Y * bh});
  double total = 0;
  for (size_t i = 1; i < pts.size(); ++i) total += std::hypot(pts[i].X - pts[i - 1].X, pts[i].Y - pts[i - 1].Y);
  // Characters stand at least one pixel apart, so that the walk always ends.
  const double spacing = std::max(1.0, double(Trunc(total / double(t.size()))));
  size_t next = 0;
  double carry = 0;  // distance walked since the last character
  int32_t lastEsc = INT32_MIN;
  std::unique_ptr<TTextFont> font;
  for (size_t i = 1; i < pts.size() && next < t.size(); ++i) {
    const double dx = pts[i].X - pts[i - 1].X, dy = pts[i].Y - pts[i - 1].Y, len = std::hypot(dx, dy);
    int32_t esc;
    if (o.CurvedCharRot != -10) {
      esc = o.CurvedCharRot;
    } else if (std::abs(dx) < 0.01) {
      esc = dy > 0 ? 2700 : 900;
    } else {
      double a = std::atan(-dy / dx);
      if (dx < 0) a += kPi;
      esc = int32_t(std::nearbyint(a * 180 / kPi * 10));
    }
    double along = carry > 0 ? spacing - carry : 0;
    while (along <= len && next < t.size()) {
      if (esc != lastEsc) {
        font.reset();
        font = std::make_unique<TTextFont>(DC, *o.LogFont, Height, esc, o.FontQuality, Colour, TA_BASELINE | TA_CENTER);
        lastEsc = esc;
      }
      const double f = len > 0 ? along / len : 0;
      const int32_t x = Trunc(pts[i - 1].X + dx * f), y = Trunc(pts[i - 1].Y + dy * f);
      const std::string ch = VXUTF16ToUTF8(std::u16string(1, t[next++]));
      font->Out(x, y, ch);
      const int32_t r = Height < 0 ? -Height : Height;
      Grow(o.plim, x - r, y - r);
      Grow(o.plim, x + r, y + r);
      along += spacing;
    }
    carry = len - (along - spacing);
    if (carry >= spacing) carry = 0;
  }
}

void TVexlaneVect::RenderLineLabel(TVXVObject& o, TVXCanvas& C, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                   double Zoom, TColor Colour, bool Screen) {
  if (!o.Text || o.Text->empty() || !o.LogFont) return;
  if (o.LabelPosition == vxlEnd) std::swap(X1, X2), std::swap(Y1, Y2);
  const std::string text = VXUTF16ToUTF8(*o.Text);
  const int32_t height = Trunc(o.LogFont->lfHeight * Zoom);
  TTextFont f(DC, *o.LogFont, height, o.LogFont->lfEscapement, o.FontQuality, Colour, TA_LEFT | TA_TOP);
  const TSize ext = f.Extent(text);
  const int32_t left = X1 - (X1 < X2 ? ext.cx : 0), top = Y1 - (Y1 < Y2 ? ext.cy : 0);
  const TRect box{left, top, left + ext.cx, top + ext.cy};
  C.Brush()->SetColor(o.LabelBrushColor);
  C.Brush()->SetStyle(o.LabelBrushStyle);
  C.Pen()->SetStyle(o.LabelBorder == vxlNone ? psClear : psSolid);
  C.Pen()->SetWidth(1);
  int32_t extra = 0;
  switch (o.LabelBorder) {
    case vxlRoundRect:
      C.RoundRect(box.Left, box.Top, box.Right, box.Bottom, 10, 10);
      break;
    case vxlEllipse:
      extra = ext.cy;
      C.Ellipse(box.Left - extra, box.Top - extra, box.Right + extra, box.Bottom + extra);
      break;
    default:
      C.Rectangle(box.Left, box.Top, box.Right, box.Bottom);
      break;
  }
  f.Out(box.Left, box.Top, text);
  // Where the label is, in image pixels, for hit testing.
  if (Screen) {
    const TVXLayer* L = fObjAnchorToLayers && o.Layer >= 0 && o.Layer < LayersCount() ? Layers(o.Layer) : nullptr;
    auto bx = [&](int32_t x) { return L ? ConvXScr2Bmp(L, x) : XScr2Bmp(x); };
    auto by = [&](int32_t y) { return L ? ConvYScr2Bmp(L, y) : YScr2Bmp(y); };
    o.DrawnLabelBox = TRect{bx(box.Left), by(box.Top), bx(box.Right), by(box.Bottom)};
  } else {
    o.DrawnLabelBox = box;
  }
  Grow(o.plim, box.Left - (extra ? extra : 0), box.Top - extra);
  Grow(o.plim, box.Right + (extra ? extra : 0), box.Bottom + extra);
}

void TVexlaneVect::RenderRuler(TVXVObject& o, TVXCanvas& C, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                               double Zoom, double ZoomX, double ZoomY, TColor Colour) {
  if (X1 == X2 && Y1 == Y2) return;
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetWidth(float(std::max(1, o.PenWidth)));
  C.Brush()->SetStyle(bsClear);
  C.DrawLine(X1, Y1, X2, Y2);
  const double dx = double(X2) - X1, dy = double(Y2) - Y1, len = std::hypot(dx, dy);
  const double ux = dx / len, uy = dy / len, nx = -uy, ny = ux;  // along and across the line (screen)
  const double cx = UnitCoef(o.RulerUnit, false), cy = UnitCoef(o.RulerUnit, true);
  const LOGFONTW lf = o.LogFont ? *o.LogFont : LOGFONTW{};
  if (o.RulerType == vxrtRULER) {
    if (cx == 0 || cy == 0) return;
    // A tenth of a unit along the line, in screen pixels.
    const double sx = ux * ZoomX / (10 * cx), sy = uy * ZoomY / (10 * cy), step = std::hypot(sx, sy);
    // More than ten ticks on one pixel: only the line.
    if (!(step >= 0.1)) return;
    TTextFont f(DC, lf, std::max(3, Trunc(std::abs(lf.lfHeight) * Zoom)), 0, o.FontQuality, Colour, TA_LEFT | TA_TOP);
    const int32_t bl = std::min(X1, X2), br = std::max(X1, X2), bt = std::min(Y1, Y2), bb = std::max(Y1, Y2);
    for (int64_t k = 0; double(k) * step < len; ++k) {
      const double fx = X1 + double(k) * sx, fy = Y1 + double(k) * sy;
      const int32_t ix = Trunc(fx), iy = Trunc(fy);
      if (ix < bl || ix > br || iy < bt || iy > bb) continue;
      const int32_t L = k % 10 == 0 ? Trunc(12 * Zoom) : k % 5 == 0 ? Trunc(8 * Zoom) : Trunc(6 * Zoom);
      C.DrawLine(Trunc(fx - nx * L), Trunc(fy - ny * L), Trunc(fx + nx * L), Trunc(fy + ny * L));
      Grow(o.plim, Trunc(fx - nx * L), Trunc(fy - ny * L));
      Grow(o.plim, Trunc(fx + nx * L), Trunc(fy + ny * L));
      if (k % 10 == 0) {
        const std::string num = std::to_string(k / 10);
        const TSize e = f.Extent(num);
        const int32_t tx = Trunc(fx + nx * (L + 2 * e.cy + 1) - ux * e.cx / 2.0);
        const int32_t ty = Trunc(fy + ny * (L + 2 * e.cy + 1) - uy * e.cx / 2.0) + 20;
        f.Out(tx, ty, num);
        Grow(o.plim, tx - 15, ty - 15);
        Grow(o.plim, tx + 15, ty + 15);
      }
    }
    return;
  }
  // Quotes: bars at both ends and the measure.
  const int32_t bar = Trunc(9 * Zoom);
  for (const TPoint e : {TPoint{X1, Y1}, TPoint{X2, Y2}}) {
    C.DrawLine(Trunc(e.X - nx * bar), Trunc(e.Y - ny * bar), Trunc(e.X + nx * bar), Trunc(e.Y + ny * bar));
    Grow(o.plim, Trunc(e.X - nx * bar), Trunc(e.Y - ny * bar));
    Grow(o.plim, Trunc(e.X + nx * bar), Trunc(e.Y + ny * bar));
  }
  const double value = std::hypot(std::abs(dx / ZoomX) * cx, std::abs(dy / ZoomY) * cy);
  std::string text = FormatMeasure(value) + " " + VXGetGlobalSettings()->MeasureUnits[size_t(o.RulerUnit) % VXUnitsCount];
  if (OnPresentMeasure) OnPresentMeasure(this, text, value, vxvtLENGTH);
  // The direction of the line, anticlockwise on the screen.
  double dir = std::atan2(-dy, dx) * 180 / kPi;
  if (dir < 0) dir += 360;
  bool flipped = false;
  if (fObjRulerQuoteHorizon && dir > 90 && dir < 270) {
    dir -= 180;
    flipped = true;
  }
  int32_t size = Trunc(std::abs(lf.lfHeight) * Zoom);
  if (size < 8) {
    int32_t chosen = 2;
    for (int32_t s = 8; s >= 2; --s) {
      TTextFont probe(DC, lf, s, 0, o.FontQuality, Colour, TA_LEFT);
      if (probe.Extent(text).cx <= Trunc(len)) {
        chosen = s;
        break;
      }
    }
    size = chosen;
  }
  TTextFont f(DC, lf, size, int32_t(std::nearbyint(dir * 10)), o.FontQuality, Colour, TA_LEFT | TA_BOTTOM);
  const TSize e = f.Extent(text);
  // The text runs from its anchor along (tx, ty); flipped, from the other end.
  const double tx = flipped ? -ux : ux, ty = flipped ? -uy : uy;
  const TPoint from = flipped ? TPoint{X2, Y2} : TPoint{X1, Y1};
  double start;
  switch (o.RulerType) {
    case vxrtQUOTEBEGIN: start = flipped ? len - e.cx : 0; break;
    case vxrtQUOTEEND: start = flipped ? 0 : len - e.cx; break;
    default: start = (len - e.cx) / 2; break;
  }
  if (o.RulerType == vxrtQUOTEBEGIN) text = " " + text;
  const int32_t ax = Trunc(from.X + tx * start), ay = Trunc(from.Y + ty * start);
  f.Out(ax, ay, text);
  Grow(o.plim, ax - e.cx - 15, ay - e.cx - 15);
  Grow(o.plim, ax + e.cx + 15, ay + e.cx + 15);
}

void TVexlaneVect::RenderAngle(TVXVObject& o, TVXCanvas& C, HDC DC, const std::function<TPoint(TPoint)>& Map,
                               double Zoom, TColor Colour) {
  const TPoint* ap = o.AnglePoints;
  if (ap[0].X == -1000000) return;
  C.Pen()->SetStyle(psSolid);
  C.Pen()->SetWidth(float(std::max(1, o.PenWidth)));
  C.Brush()->SetStyle(bsClear);
  std::vector<TPoint> pts;
  for (int i = 0; i < 3 && ap[i].X != -1000000; ++i) pts.push_back(Map(ap[i]));
  C.Polyline(pts);
  for (const TPoint& p : pts) Grow(o.plim, p.X, p.Y);
  if (pts.size() < 3) return;
  const double a = AngleOf(o.AnglePoints);
  const bool small = fObjAngleShowSmall && a >= 180;
  const double shown = small ? 360 - a : a;
  const std::string text = FormatMeasure(shown) + "\xC2\xB0";
  const LOGFONTW lf = o.LogFont ? *o.LogFont : LOGFONTW{};
  TTextFont f(DC, lf, std::max(3, Trunc(std::abs(lf.lfHeight) * Zoom)), 0, o.FontQuality, Colour, TA_LEFT | TA_TOP);
  const TSize e = f.Extent(text);
  f.Out(pts[1].X, pts[1].Y, text);
  Grow(o.plim, pts[1].X + e.cx, pts[1].Y + e.cy);
  const double r = std::min(std::hypot(pts[0].X - pts[1].X, pts[0].Y - pts[1].Y),
                            std::hypot(pts[2].X - pts[1].X, pts[2].Y - pts[1].Y)) / 4;
  const int32_t ri = Trunc(r);
  if (ri <= 0) return;
  // The arc joins the arms anticlockwise from the first to the third; the
  // smaller angle is drawn from the third to the first.
  const TPoint s = small ? pts[2] : pts[0], t = small ? pts[0] : pts[2];
  C.Arc(pts[1].X - ri, pts[1].Y - ri, pts[1].X + ri, pts[1].Y + ri, s.X, s.Y, t.X, t.Y);
  Grow(o.plim, pts[1].X - ri, pts[1].Y - ri);
  Grow(o.plim, pts[1].X + ri, pts[1].Y + ri);
}
