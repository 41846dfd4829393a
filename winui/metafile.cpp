// The metafile player: enhanced metafile records and Windows metafile
// records decoded field by field into one set of drawing steps, which map
// the picture's logical coordinates (mapping mode, window and viewport,
// world transform) onto the destination rectangle and draw with the window
// layer's GDI in device coordinates.
#include "winui/metafile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/utf.h"
#include "platform/win_codepage.h"
#include "winui/font_face.h"
#include "winui/gdi_font.h"
#include "winui/gdi_internal.h"
#include "winui/gdi_text.h"
#include "winui/win_metrics.h"

namespace {

// ---------------------------------------------------------------------------
// Records and their fields

// One record's bytes; a read past them sets Bad and answers 0.
struct TRec {
  const uint8_t* D = nullptr;
  size_t N = 0;
  bool Bad = false;
  bool Has(size_t o, size_t len) {
    if (o > N || len > N - o) {
      Bad = true;
      return false;
    }
    return true;
  }
  uint32_t U32(size_t o) {
    if (!Has(o, 4)) return 0;
    return uint32_t(D[o]) | uint32_t(D[o + 1]) << 8 | uint32_t(D[o + 2]) << 16 | uint32_t(D[o + 3]) << 24;
  }
  int32_t I32(size_t o) { return int32_t(U32(o)); }
  uint16_t U16(size_t o) {
    if (!Has(o, 2)) return 0;
    return uint16_t(D[o] | D[o + 1] << 8);
  }
  int16_t I16(size_t o) { return int16_t(U16(o)); }
  float F32(size_t o) {
    uint32_t u = U32(o);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }
};

uint32_t Rd32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Rd16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// The largest coordinate, after mapping, that a record may draw at: the
// 27 bits GDI's coordinates hold. Records beyond it are skipped.
constexpr double kMaxCoord = double(1 << 27);
// Points of one poly record, and characters of one text record.
constexpr uint32_t kMaxPoints = 1u << 22;
constexpr uint32_t kMaxChars = 1u << 16;

enum : uint32_t {
  EMR_HEADER = 1, EMR_POLYBEZIER = 2, EMR_POLYGON = 3, EMR_POLYLINE = 4, EMR_POLYBEZIERTO = 5, EMR_POLYLINETO = 6,
  EMR_POLYPOLYLINE = 7, EMR_POLYPOLYGON = 8, EMR_SETWINDOWEXTEX = 9, EMR_SETWINDOWORGEX = 10,
  EMR_SETVIEWPORTEXTEX = 11, EMR_SETVIEWPORTORGEX = 12, EMR_SETBRUSHORGEX = 13, EMR_EOF = 14,
  EMR_SETMAPMODE = 17, EMR_SETBKMODE = 18, EMR_SETPOLYFILLMODE = 19, EMR_SETROP2 = 20, EMR_SETSTRETCHBLTMODE = 21,
  EMR_SETTEXTALIGN = 22, EMR_SETTEXTCOLOR = 24, EMR_SETBKCOLOR = 25, EMR_OFFSETCLIPRGN = 26, EMR_MOVETOEX = 27,
  EMR_EXCLUDECLIPRECT = 29, EMR_INTERSECTCLIPRECT = 30, EMR_SCALEVIEWPORTEXTEX = 31, EMR_SCALEWINDOWEXTEX = 32,
  EMR_SAVEDC = 33, EMR_RESTOREDC = 34, EMR_SETWORLDTRANSFORM = 35, EMR_MODIFYWORLDTRANSFORM = 36,
  EMR_SELECTOBJECT = 37, EMR_CREATEPEN = 38, EMR_CREATEBRUSHINDIRECT = 39, EMR_DELETEOBJECT = 40,
  EMR_ELLIPSE = 42, EMR_RECTANGLE = 43, EMR_ROUNDRECT = 44, EMR_ARC = 45, EMR_CHORD = 46, EMR_PIE = 47,
  EMR_LINETO = 54, EMR_ARCTO = 55, EMR_SETARCDIRECTION = 57, EMR_BEGINPATH = 59, EMR_ENDPATH = 60,
  EMR_CLOSEFIGURE = 61, EMR_FILLPATH = 62, EMR_STROKEANDFILLPATH = 63, EMR_STROKEPATH = 64, EMR_ABORTPATH = 68,
  EMR_GDICOMMENT = 70, EMR_EXTSELECTCLIPRGN = 75, EMR_BITBLT = 76, EMR_STRETCHBLT = 77, EMR_SETDIBITSTODEVICE = 80,
  EMR_STRETCHDIBITS = 81, EMR_EXTCREATEFONTINDIRECTW = 82, EMR_EXTTEXTOUTW = 84, EMR_POLYBEZIER16 = 85,
  EMR_POLYGON16 = 86, EMR_POLYLINE16 = 87, EMR_POLYBEZIERTO16 = 88, EMR_POLYLINETO16 = 89,
  EMR_POLYPOLYLINE16 = 90, EMR_POLYPOLYGON16 = 91, EMR_CREATEMONOBRUSH = 93, EMR_CREATEDIBPATTERNBRUSHPT = 94,
  EMR_EXTCREATEPEN = 95,
};

// ---------------------------------------------------------------------------
// Drawing state

struct TXf {
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
  // this applied after B.
  TXf Then(const TXf& A) const {  // A applied after this
    TXf r;
    r.M11 = M11 * A.M11 + M12 * A.M21;
    r.M12 = M11 * A.M12 + M12 * A.M22;
    r.M21 = M21 * A.M11 + M22 * A.M21;
    r.M22 = M21 * A.M12 + M22 * A.M22;
    r.Dx = Dx * A.M11 + Dy * A.M21 + A.Dx;
    r.Dy = Dx * A.M12 + Dy * A.M22 + A.Dy;
    return r;
  }
};

enum TObjKind { okNone, okPen, okBrush, okFont };
struct TObj {
  TObjKind Kind = okNone;
  int Style = 0;        // pen or brush style
  double Width = 0;     // pen width, logical units
  COLORREF Color = 0;
  int Hatch = 0;
  LOGFONTW Font;
  bool Stock = false;   // a stock object: fixed width (pens) in pixels
  std::shared_ptr<void> Pattern;  // a pattern brush's GDI brush, made once
};

// A pen and a brush object as their records give them.
TObj PenObj(int Style, double Width, COLORREF Color) {
  TObj o;
  o.Kind = okPen;
  o.Style = Style;
  o.Width = Width;
  o.Color = Color;
  return o;
}

TObj BrushObj(int Style, COLORREF Color, int Hatch) {
  TObj o;
  o.Kind = okBrush;
  o.Style = Style;
  o.Color = Color;
  o.Hatch = Hatch;
  return o;
}

// A brush object of a pattern brush made of a DIB; an object that selects
// nothing when the DIB does not add up.
TObj PatternObj(HBRUSH b) {
  TObj o;
  if (!b) return o;
  o.Kind = okBrush;
  o.Style = BS_DIBPATTERNPT;
  o.Pattern = std::shared_ptr<void>(b, [](void* h) { DeleteObject(h); });
  return o;
}

struct TState {
  int MapMode = MM_TEXT;
  double WOx = 0, WOy = 0, WEx = 1, WEy = 1, VOx = 0, VOy = 0, VEx = 1, VEy = 1;
  TXf World;
  TObj Pen, Brush, Font;
  COLORREF Text = 0, Bk = 0xFFFFFF;
  int BkMode = OPAQUE, Rop2 = R2_COPYPEN, Fill = ALTERNATE, StretchMode = BLACKONWHITE, ArcDir = AD_COUNTERCLOCKWISE;
  UINT Align = 0;
  double CurX = 0, CurY = 0;
  // The brush origin a record set, in the destination's pixels as they
  // stand (the platform neither maps nor moves it with the picture); until
  // then the destination's own.
  bool OwnBrushOrg = false;
  POINT BrushOrg{0, 0};
};

TObj StockObj(uint32_t i) {
  TObj o;
  o.Stock = true;
  switch (i) {
    case WHITE_BRUSH: o.Kind = okBrush; o.Style = BS_SOLID; o.Color = 0xFFFFFF; break;
    case LTGRAY_BRUSH: o.Kind = okBrush; o.Style = BS_SOLID; o.Color = 0xC0C0C0; break;
    case GRAY_BRUSH: o.Kind = okBrush; o.Style = BS_SOLID; o.Color = 0x808080; break;
    case DKGRAY_BRUSH: o.Kind = okBrush; o.Style = BS_SOLID; o.Color = 0x404040; break;
    case BLACK_BRUSH: o.Kind = okBrush; o.Style = BS_SOLID; o.Color = 0; break;
    case NULL_BRUSH: o.Kind = okBrush; o.Style = BS_NULL; break;
    case WHITE_PEN: o.Kind = okPen; o.Style = PS_SOLID; o.Color = 0xFFFFFF; break;
    case BLACK_PEN: o.Kind = okPen; o.Style = PS_SOLID; o.Color = 0; break;
    case NULL_PEN: o.Kind = okPen; o.Style = PS_NULL; break;
    case 10: case 11: case 12: case 14: case 16: case SYSTEM_FONT: case DEFAULT_GUI_FONT:
      o.Kind = okFont;
      o.Font.lfHeight = -12;
      o.Font.lfWeight = FW_NORMAL;
      break;
    default: break;
  }
  return o;
}

struct TPt {
  double X, Y;
};

// ---------------------------------------------------------------------------
// The player

class TPlayer {
 public:
  TPlayer(HDC dc, const ENHMETAHEADER& h, const RECT& dest, size_t handles) : fDC(dc), fObjs(handles) {
    // The frame (0.01 mm) in the reference device's pixels, mapped onto the
    // destination rectangle.
    fRefX = h.szlMillimeters.cx > 0 && h.szlDevice.cx > 0 ? double(h.szlDevice.cx) / (h.szlMillimeters.cx * 100.0)
                                                            : 96.0 / 2540.0;
    fRefY = h.szlMillimeters.cy > 0 && h.szlDevice.cy > 0 ? double(h.szlDevice.cy) / (h.szlMillimeters.cy * 100.0)
                                                            : 96.0 / 2540.0;
    double fx0 = h.rclFrame.left * fRefX, fy0 = h.rclFrame.top * fRefY;
    double fw = (double(h.rclFrame.right) - h.rclFrame.left) * fRefX;
    double fh = (double(h.rclFrame.bottom) - h.rclFrame.top) * fRefY;
    if (fw <= 0) fw = 1;
    if (fh <= 0) fh = 1;
    fBase.M11 = (double(dest.right) - dest.left) / fw;
    fBase.M22 = (double(dest.bottom) - dest.top) / fh;
    fBase.Dx = dest.left - fx0 * fBase.M11;
    fBase.Dy = dest.top - fy0 * fBase.M22;
    fS.Pen = StockObj(BLACK_PEN);
    fS.Brush = StockObj(WHITE_BRUSH);
    fS.Font = StockObj(SYSTEM_FONT);
    fGdiSave = SaveDC(fDC);
    // The destination's own clipping bounds whatever the picture clips to.
    HRGN own = CreateRectRgn(0, 0, 0, 0);
    if (GetClipRgn(fDC, own) == 1)
      fOwnClip = own;
    else
      DeleteObject(own);
    SetGraphicsMode(fDC, GM_COMPATIBLE);
  }
  ~TPlayer() {
    if (fOwnClip) DeleteObject(fOwnClip);
    SelectObject(fDC, GetStockObject(BLACK_PEN));
    SelectObject(fDC, GetStockObject(WHITE_BRUSH));
    SelectObject(fDC, GetStockObject(SYSTEM_FONT));
    if (fGdiSave) RestoreDC(fDC, fGdiSave);
  }

  TState& S() { return fS; }

  // ---- mapping ----
  TXf PageXf() const {
    double sx = 1, sy = 1;
    switch (fS.MapMode) {
      case MM_LOMETRIC: sx = 10 * fRefX; sy = -10 * fRefY; break;
      case MM_HIMETRIC: sx = fRefX; sy = -fRefY; break;
      case MM_LOENGLISH: sx = 25.4 * fRefX; sy = -25.4 * fRefY; break;
      case MM_HIENGLISH: sx = 2.54 * fRefX; sy = -2.54 * fRefY; break;
      case MM_TWIPS: sx = 2540.0 / 1440.0 * fRefX; sy = -2540.0 / 1440.0 * fRefY; break;
      case MM_ISOTROPIC:
      case MM_ANISOTROPIC:
        sx = fS.WEx != 0 ? fS.VEx / fS.WEx : 1;
        sy = fS.WEy != 0 ? fS.VEy / fS.WEy : 1;
        if (fS.MapMode == MM_ISOTROPIC) {
          double m = std::min(std::fabs(sx), std::fabs(sy));
          sx = sx < 0 ? -m : m;
          sy = sy < 0 ? -m : m;
        }
        break;
      default: break;
    }
    TXf t;
    t.M11 = sx;
    t.M22 = sy;
    t.Dx = fS.VOx - fS.WOx * sx;
    t.Dy = fS.VOy - fS.WOy * sy;
    return t;
  }
  void Refresh() { fXf = fS.World.Then(PageXf()).Then(fBase); }
  TPt Map(double x, double y) const {
    return TPt{x * fXf.M11 + y * fXf.M21 + fXf.Dx, x * fXf.M12 + y * fXf.M22 + fXf.Dy};
  }
  bool Axis() const { return fXf.M12 == 0 && fXf.M21 == 0; }
  double Scale() const {
    return (std::sqrt(fXf.M11 * fXf.M11 + fXf.M12 * fXf.M12) + std::sqrt(fXf.M21 * fXf.M21 + fXf.M22 * fXf.M22)) / 2;
  }
  // Device points of logical ones; false when one lies out of range.
  bool Dev(const std::vector<TPt>& in, std::vector<POINT>& out) const {
    out.resize(in.size());
    for (size_t i = 0; i < in.size(); ++i) {
      TPt p = Map(in[i].X, in[i].Y);
      if (!(std::fabs(p.X) <= kMaxCoord && std::fabs(p.Y) <= kMaxCoord)) return false;
      out[i].x = LONG(std::lrint(p.X));
      out[i].y = LONG(std::lrint(p.Y));
    }
    return true;
  }
  bool DevRect(double l, double t, double r, double b, RECT& out) const {
    std::vector<POINT> p;
    if (!Dev({{l, t}, {r, b}}, p)) return false;
    out = RECT{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x),
               std::max(p[0].y, p[1].y)};
    return true;
  }

  // ---- objects ----
  bool Create(uint32_t i, const TObj& o) {
    if (i == 0 || i >= fObjs.size()) return false;
    fObjs[i] = o;
    return true;
  }
  void Select(uint32_t i) {
    TObj o;
    if (i & 0x80000000u)
      o = StockObj(i & 0x7FFFFFFFu);
    else if (i < fObjs.size())
      o = fObjs[i];
    if (o.Kind == okPen) fS.Pen = o;
    if (o.Kind == okBrush) fS.Brush = o;
    if (o.Kind == okFont) fS.Font = o;
  }
  void Delete(uint32_t i) {
    if (i < fObjs.size()) fObjs[i] = TObj();
  }

  // The GDI pen, brush and modes of the state, for one drawing step.
  struct TTools {
    HDC DC;
    HGDIOBJ Pen = nullptr, Brush = nullptr;
    HGDIOBJ OldPen = nullptr, OldBrush = nullptr;
    ~TTools() {
      SelectObject(DC, OldPen);
      SelectObject(DC, OldBrush);
      if (Pen) DeleteObject(Pen);
      if (Brush) DeleteObject(Brush);
    }
  };
  std::unique_ptr<TTools> Tools(bool WithPen, bool WithBrush) {
    auto t = std::make_unique<TTools>();
    t->DC = fDC;
    const TObj& p = fS.Pen;
    int style = p.Style & 0x0F;
    if (!WithPen || p.Kind != okPen || style == PS_NULL) {
      t->OldPen = SelectObject(fDC, GetStockObject(NULL_PEN));
    } else {
      // A pen's width is a horizontal distance: its device width is that of
      // a logical line of its width along x.
      int w = p.Stock ? 1 : int(std::lrint(std::min(p.Width * std::hypot(fXf.M11, fXf.M12), 4096.0)));
      if (w < 1) w = 1;
      t->Pen = CreatePen(style > PS_INSIDEFRAME ? PS_SOLID : style, w, p.Color & 0xFFFFFF);
      t->OldPen = SelectObject(fDC, t->Pen);
    }
    const TObj& b = fS.Brush;
    if (WithBrush && b.Kind == okBrush && b.Pattern) {
      t->OldBrush = SelectObject(fDC, b.Pattern.get());
    } else if (!WithBrush || b.Kind != okBrush || b.Style == int(BS_NULL) || b.Style == int(BS_PATTERN) ||
               b.Style > 3) {
      t->OldBrush = SelectObject(fDC, GetStockObject(NULL_BRUSH));
    } else {
      t->Brush = b.Style == int(BS_HATCHED) ? CreateHatchBrush(std::clamp(b.Hatch, 0, 5), b.Color & 0xFFFFFF)
                                            : CreateSolidBrush(b.Color & 0xFFFFFF);
      t->OldBrush = SelectObject(fDC, t->Brush);
    }
    SetROP2(fDC, fS.Rop2 >= 1 && fS.Rop2 <= 16 ? fS.Rop2 : R2_COPYPEN);
    if (fS.OwnBrushOrg) SetBrushOrgEx(fDC, fS.BrushOrg.x, fS.BrushOrg.y, nullptr);
    SetPolyFillMode(fDC, fS.Fill == WINDING ? WINDING : ALTERNATE);
    SetBkMode(fDC, fS.BkMode == TRANSPARENT ? TRANSPARENT : OPAQUE);
    SetBkColor(fDC, fS.Bk & 0xFFFFFF);
    SetTextColor(fDC, fS.Text & 0xFFFFFF);
    return t;
  }

  // ---- paths ----
  bool InPath() const { return fInPath; }
  void BeginPath() {
    fInPath = true;
    fPath.clear();
  }
  void EndPath() { fInPath = false; }
  void AbortPath() {
    fInPath = false;
    fPath.clear();
  }
  void CloseFigure() {
    if (!fPath.empty()) fPath.back().Closed = true;
  }
  void PathFigure(std::vector<TPt> pts, bool closed, bool continues) {
    if (continues && !fPath.empty() && !fPath.back().Closed && !fPath.back().P.empty()) {
      fPath.back().P.insert(fPath.back().P.end(), pts.begin(), pts.end());
      if (closed) fPath.back().Closed = true;
      return;
    }
    fPath.push_back({std::move(pts), closed});
  }
  void DrawPath(bool Fill, bool Stroke) {
    // The figures are taken out first: a stroke drawn while a damaged file
    // left the bracket open goes to the path, which must not be the list
    // being walked.
    const std::vector<TFigure> figures = std::move(fPath);
    fPath.clear();
    if (Fill) {
      std::vector<POINT> all;
      std::vector<INT> counts;
      for (const auto& f : figures) {
        std::vector<POINT> d;
        if (f.P.size() < 2 || !Dev(f.P, d)) continue;
        all.insert(all.end(), d.begin(), d.end());
        counts.push_back(INT(d.size()));
      }
      if (!counts.empty()) {
        auto t = Tools(false, true);
        PolyPolygon(fDC, all.data(), counts.data(), int(counts.size()));
      }
    }
    if (Stroke) {
      for (const auto& f : figures) {
        std::vector<TPt> pts = f.P;
        if (f.Closed && !pts.empty()) pts.push_back(pts.front());
        DrawPolyline(pts);
      }
    }
    fPath.clear();
    fInPath = false;
  }

  // ---- drawing steps (logical coordinates) ----
  void DrawPolyline(const std::vector<TPt>& pts) {
    if (fInPath) {
      PathFigure(pts, false, false);
      return;
    }
    std::vector<POINT> d;
    if (pts.size() < 2 || !Dev(pts, d)) return;
    auto t = Tools(true, false);
    Polyline(fDC, d.data(), int(d.size()));
  }
  void DrawPolylineTo(const std::vector<TPt>& pts) {
    std::vector<TPt> all{{fS.CurX, fS.CurY}};
    all.insert(all.end(), pts.begin(), pts.end());
    if (fInPath)
      PathFigure(all, false, true);
    else
      DrawPolyline(all);
    if (!pts.empty()) {
      fS.CurX = pts.back().X;
      fS.CurY = pts.back().Y;
    }
  }
  void DrawPolyPolygon(const std::vector<TPt>& pts, const std::vector<uint32_t>& counts) {
    if (fInPath) {
      size_t o = 0;
      for (uint32_t c : counts) {
        PathFigure(std::vector<TPt>(pts.begin() + o, pts.begin() + o + c), true, false);
        o += c;
      }
      return;
    }
    std::vector<POINT> d;
    if (!Dev(pts, d)) return;
    std::vector<INT> c(counts.begin(), counts.end());
    auto t = Tools(true, true);
    if (c.size() == 1)
      Polygon(fDC, d.data(), c[0]);
    else
      PolyPolygon(fDC, d.data(), c.data(), int(c.size()));
  }
  // A closed outline: a figure of the open path, else a polygon drawn.
  void DrawPolygon(const std::vector<TPt>& pts) {
    if (pts.size() < 2) return;
    DrawPolyPolygon(pts, {uint32_t(pts.size())});
  }
  static std::vector<TPt> Bezier(TPt p0, const std::vector<TPt>& rest) {
    std::vector<TPt> out{p0};
    for (size_t i = 0; i + 2 < rest.size(); i += 3) {
      TPt a = out.back(), b = rest[i], c = rest[i + 1], d = rest[i + 2];
      for (int s = 1; s <= 16; ++s) {
        double u = s / 16.0, v = 1 - u;
        out.push_back({v * v * v * a.X + 3 * v * v * u * b.X + 3 * v * u * u * c.X + u * u * u * d.X,
                       v * v * v * a.Y + 3 * v * v * u * b.Y + 3 * v * u * u * c.Y + u * u * u * d.Y});
      }
    }
    return out;
  }
  // Points of the ellipse in the box from angle a0 turning by sweep.
  static std::vector<TPt> EllipsePts(double l, double t, double r, double b, double a0, double sweep) {
    double cx = (l + r) / 2, cy = (t + b) / 2, rx = (r - l) / 2, ry = (b - t) / 2;
    int n = std::max(8, int(std::fabs(sweep) / (2 * M_PI) * 64));
    std::vector<TPt> out;
    for (int i = 0; i <= n; ++i) {
      double a = a0 + sweep * i / n;
      out.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
    }
    return out;
  }
  // Inclusive: the box's right and bottom edges, after mapping, are part
  // of the rectangle.
  void DrawRect(double l, double t, double r, double b, bool Inclusive = false) {
    if (fInPath || !Axis()) {
      DrawPolygon({{l, t}, {r, t}, {r, b}, {l, b}});
      return;
    }
    RECT d;
    if (!DevRect(l, t, r, b, d)) return;
    auto tl = Tools(true, true);
    const int k = Inclusive ? 1 : 0;
    Rectangle(fDC, d.left, d.top, d.right + k, d.bottom + k);
  }
  void DrawRoundRect(double l, double t, double r, double b, double w, double h) {
    if (fInPath || !Axis()) {
      DrawRect(l, t, r, b);
      return;
    }
    RECT d;
    if (!DevRect(l, t, r, b, d)) return;
    int dw = int(std::lrint(std::min(std::fabs(w * fXf.M11), kMaxCoord)));
    int dh = int(std::lrint(std::min(std::fabs(h * fXf.M22), kMaxCoord)));
    auto tl = Tools(true, true);
    RoundRect(fDC, d.left, d.top, d.right, d.bottom, dw, dh);
  }
  void DrawEllipse(double l, double t, double r, double b) {
    if (fInPath || !Axis()) {
      DrawPolygon(EllipsePts(l, t, r, b, 0, 2 * M_PI));
      return;
    }
    RECT d;
    if (!DevRect(l, t, r, b, d)) return;
    auto tl = Tools(true, true);
    Ellipse(fDC, d.left, d.top, d.right, d.bottom);
  }
  // kind 0 arc, 1 chord, 2 pie, 3 arc-to.
  void DrawArc(int kind, double l, double t, double r, double b, double xs, double ys, double xe, double ye) {
    bool native = !fInPath && Axis() && kind != 1 && kind != 3 && fXf.M11 > 0 && fXf.M22 > 0;
    if (native) {
      RECT d;
      std::vector<POINT> p;
      if (!DevRect(l, t, r, b, d) || !Dev({{xs, ys}, {xe, ye}}, p)) return;
      SetArcDirection(fDC, fS.ArcDir == AD_CLOCKWISE ? AD_CLOCKWISE : AD_COUNTERCLOCKWISE);
      auto tl = Tools(true, kind == 2);
      if (kind == 0)
        Arc(fDC, d.left, d.top, d.right, d.bottom, p[0].x, p[0].y, p[1].x, p[1].y);
      else
        Pie(fDC, d.left, d.top, d.right, d.bottom, p[0].x, p[0].y, p[1].x, p[1].y);
      return;
    }
    double cx = (l + r) / 2, cy = (t + b) / 2;
    double a0 = std::atan2(-(ys - cy) * (r - l), (xs - cx) * (b - t));
    double a1 = std::atan2(-(ye - cy) * (r - l), (xe - cx) * (b - t));
    double sweep = a1 - a0;
    if (fS.ArcDir == AD_CLOCKWISE) {
      while (sweep >= 0) sweep -= 2 * M_PI;
    } else {
      while (sweep <= 0) sweep += 2 * M_PI;
    }
    auto p = EllipsePts(l, t, r, b, a0, sweep);
    if (kind == 3) {
      DrawPolylineTo(p);
      return;
    }
    if (kind == 2) p.push_back({cx, cy});
    if (kind == 0)
      DrawPolyline(p);
    else
      DrawPolygon(p);
  }
  void MoveTo(double x, double y) {
    fS.CurX = x;
    fS.CurY = y;
    if (fInPath) fPath.push_back({{{x, y}}, false});
  }
  void LineToPt(double x, double y) { DrawPolylineTo({{x, y}}); }

  // Dx: the characters' distances in logical units (one per UTF-16 unit);
  // without them, the advances of the font at its logical size. Their
  // positions are mapped, so that characters spread as the page does.
  void Text(double x, double y, const std::u16string& s, UINT options, const RECTL* clip,
            std::vector<double> Dx = {}) {
    if (fInPath || s.empty()) return;
    std::vector<POINT> d;
    if (!Dev({{x, y}}, d)) return;
    bool surrogates = std::any_of(s.begin(), s.end(), [](char16_t c) { return c >= 0xD800 && c < 0xE000; });
    if (Dx.size() != s.size() && !surrogates) {
      Dx.clear();
      LOGFONTW lf0 = fS.Font.Font;
      if (std::abs(lf0.lfHeight) < 4096 && std::abs(lf0.lfWidth) < 4096) {
        // Each character's advance is the growth of the text's width up to
        // it (one character per UTF-16 unit here).
        HFONT f0 = CreateFontIndirectW(&lf0);
        VXFontFaceRef face = VXResolveFontFace(f0);
        std::vector<int> widths;
        if (face) widths = VXFontPrefixWidths(*face, VXUTF16ToUTF8(s));
        if (widths.size() == s.size()) {
          int prev = 0;
          for (int w : widths) {
            Dx.push_back(double(w - prev));
            prev = w;
          }
        }
        DeleteObject(f0);
      }
    }
    std::vector<INT> ddx;
    if (Dx.size() == s.size() && !surrogates) {
      double pos = 0;
      LONG last = LONG(std::lrint(pos * fXf.M11));
      for (double v : Dx) {
        pos += v;
        double dev = pos * fXf.M11;
        if (!(std::fabs(dev) <= kMaxCoord)) return;
        LONG cur = LONG(std::lrint(dev));
        ddx.push_back(INT(cur - last));
        last = cur;
      }
    }
    LOGFONTW lf = fS.Font.Font;
    double h = lf.lfHeight * std::fabs(fXf.M22);
    if (!(std::fabs(h) < 4096)) return;
    lf.lfHeight = LONG(std::lrint(h));
    lf.lfWidth = LONG(std::lrint(std::min(std::fabs(lf.lfWidth * fXf.M11), 4096.0)));
    HFONT f = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(fDC, f);
    auto t = Tools(false, false);
    UINT align = fS.Align;
    // Text that follows the current position is set at it.
    if (align & TA_UPDATECP) {
      std::vector<POINT> c;
      if (Dev({{fS.CurX, fS.CurY}}, c)) d = c;
    }
    SetTextAlign(fDC, align & ~TA_UPDATECP);
    RECT rc{};
    bool hasRect = false;
    if (clip && (options & (ETO_OPAQUE | ETO_CLIPPED))) hasRect = DevRect(clip->left, clip->top, clip->right, clip->bottom, rc);
    std::string u8 = VXUTF16ToUTF8(s);
    ExtTextOutW(fDC, d[0].x, d[0].y, hasRect ? (options & (ETO_OPAQUE | ETO_CLIPPED)) : 0, hasRect ? &rc : nullptr,
                u8.c_str(), int(u8.size()), ddx.empty() ? nullptr : ddx.data());
    // Text set at the current position moves it on by its advance (back for
    // right alignment; centred text leaves it).
    if ((align & TA_UPDATECP) && (align & TA_CENTER) != TA_CENTER) {
      double advance = 0;
      SIZE size{};
      if (Dx.size() == s.size())
        for (double v : Dx) advance += v;
      else if (fXf.M11 != 0 && GetTextExtentPoint32W(fDC, u8.c_str(), int(u8.size()), &size))
        advance = size.cx / fXf.M11;
      fS.CurX += (align & TA_RIGHT) ? -advance : advance;
    }
    SelectObject(fDC, old);
    DeleteObject(f);
  }

  // Bits of a DIB in a record onto the device rectangle of logical (x, y, w, h).
  // Rows, when not 0: the bits hold only that many rows (negative: top
  // down), which stand for the DIB.
  void Dib(TRec& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits, double x, double y,
           double w, double h, int xs, int ys, int ws, int hs, DWORD rop, UINT usage, int32_t Rows = 0) {
    if (fInPath) return;
    if (cbBmi < 40 || !r.Has(offBmi, cbBmi) || !r.Has(offBits, cbBits)) return;
    std::vector<POINT> d;
    if (!Dev({{x, y}, {x + w, y + h}}, d)) return;
    std::vector<uint32_t> info((std::max<size_t>(cbBmi, sizeof(BITMAPINFO)) + 3) / 4 + 256, 0);
    std::memcpy(info.data(), r.D + offBmi, cbBmi);
    std::vector<uint32_t> bits((size_t(cbBits) + 3) / 4, 0);
    if (cbBits) std::memcpy(bits.data(), r.D + offBits, cbBits);
    // The rows may not claim more bytes than the record gives them.
    BITMAPINFO* wbi = reinterpret_cast<BITMAPINFO*>(info.data());
    // The colour table or masks follow the header where its size says: a
    // header larger than the record's bitmap information is damage.
    if (wbi->bmiHeader.biSize > cbBmi) return;
    if (Rows) wbi->bmiHeader.biHeight = Rows;
    if (wbi->bmiHeader.biSizeImage == 0 || wbi->bmiHeader.biSizeImage > cbBits) wbi->bmiHeader.biSizeImage = cbBits;
    auto t = Tools(false, true);
    SetStretchBltMode(fDC, fS.StretchMode >= 1 && fS.StretchMode <= 4 ? fS.StretchMode : COLORONCOLOR);
    StretchDIBits(fDC, d[0].x, d[0].y, d[1].x - d[0].x, d[1].y - d[0].y, xs, ys, ws, hs, bits.data(), wbi, usage,
                  rop);
  }
  void Pattern(double x, double y, double w, double h, DWORD rop) {
    if (fInPath) return;
    std::vector<POINT> d;
    if (!Dev({{x, y}, {x + w, y + h}}, d)) return;
    auto t = Tools(false, true);
    PatBlt(fDC, d[0].x, d[0].y, d[1].x - d[0].x, d[1].y - d[0].y, rop);
  }

  // ---- clipping ----
  void ClipRect(double l, double t, double r, double b, bool exclude) {
    RECT d;
    if (!DevRect(l, t, r, b, d)) return;
    if (exclude)
      ExcludeClipRect(fDC, d.left, d.top, d.right, d.bottom);
    else
      IntersectClipRect(fDC, d.left, d.top, d.right, d.bottom);
    KeepClipOnDestination();
  }
  // The picture's clip never moves, so what of it lies beyond the
  // destination never shows; yet records that keep combining regions into
  // it (crossing bars by exclusive or make a chequerboard) would grow it
  // there without bound, and every record costs what the clip holds. So the
  // clip keeps to the destination: to its own clip, or else its surface.
  void KeepClipOnDestination() {
    if (fOwnClip) {
      ExtSelectClipRgn(fDC, fOwnClip, RGN_AND);
      return;
    }
    std::lock_guard<std::recursive_mutex> lock(vxgdi::Lock());
    vxgdi::DC* dc = vxgdi::FindDC(fDC);
    if (!dc || !dc->S.HasClip || !dc->Surface) return;
    vxgdi::Region area;
    area.SetRect(0, 0, dc->Surface->Width, dc->Surface->Height);
    if (dc->HasSysClip) area.Intersect(dc->SysClip);
    dc->S.Clip.Intersect(area);
  }
  // The clip region back to the destination's own; saved states keep
  // theirs.
  void ResetClip() { SelectClipRgn(fDC, fOwnClip); }
  // Rectangles in the reference device's pixels.
  void ClipRegion(const std::vector<RECT>& rects, int mode) {
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(rects.size());
    for (const RECT& rc : rects) {
      double l = rc.left * fBase.M11 + fBase.Dx, r = rc.right * fBase.M11 + fBase.Dx;
      double t = rc.top * fBase.M22 + fBase.Dy, b = rc.bottom * fBase.M22 + fBase.Dy;
      if (!(std::fabs(l) <= kMaxCoord && std::fabs(r) <= kMaxCoord && std::fabs(t) <= kMaxCoord &&
            std::fabs(b) <= kMaxCoord))
        continue;
      const pixman_box32_t box{int(std::lrint(std::min(l, r))), int(std::lrint(std::min(t, b))),
                               int(std::lrint(std::max(l, r))), int(std::lrint(std::max(t, b)))};
      if (box.x1 < box.x2 && box.y1 < box.y2) boxes.push_back(box);
    }
    // The rectangles become one region at once, not one union each.
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    {
      std::lock_guard<std::recursive_mutex> lock(vxgdi::Lock());
      if (vxgdi::Region* made = vxgdi::FindRgn(rgn)) made->SetBoxes(boxes);
    }
    if (mode < RGN_AND || mode > RGN_COPY) mode = RGN_COPY;
    ExtSelectClipRgn(fDC, rgn, mode);
    KeepClipOnDestination();
    DeleteObject(rgn);
  }

  // ---- saved states ----
  void Save() {
    if (fSaved.size() >= 4096) return;
    fSaved.push_back({fS, SaveDC(fDC)});
  }
  void Restore(int32_t n) {
    int64_t depth = int64_t(fSaved.size());
    int64_t to = n < 0 ? depth + n : int64_t(n) - 1;  // index of the state to get back
    if (to < 0 || to >= depth) return;
    fS = fSaved[size_t(to)].S;
    RestoreDC(fDC, fSaved[size_t(to)].Gdi);
    fSaved.resize(size_t(to));
    Refresh();
  }

 private:
  struct TFigure {
    std::vector<TPt> P;
    bool Closed;
  };
  struct TSaved {
    TState S;
    int Gdi;
  };
  HDC fDC;
  TState fS;
  std::vector<TObj> fObjs;
  std::vector<TSaved> fSaved;
  std::vector<TFigure> fPath;
  bool fInPath = false;
  TXf fBase, fXf;
  double fRefX = 1, fRefY = 1;
  int fGdiSave = 0;
  HRGN fOwnClip = nullptr;  // none: the destination clips to its surface only
};

// ---------------------------------------------------------------------------
// Handles

struct TMetaHandle {
  bool Enhanced = true;
  std::vector<uint8_t> Bytes;
  ENHMETAHEADER Header;
  uint16_t WmfHandles = 0;
  // Windows metafiles: the frame's mapping, and the viewport extent that the
  // frame gives on the reference device (whole pixels).
  METAFILEPICT Pict;
  LONG ViewportX = 0, ViewportY = 0;
};

std::vector<TMetaHandle*>& Live() {
  static std::vector<TMetaHandle*> v;
  return v;
}
std::mutex& LiveLock() {
  static std::mutex m;
  return m;
}

TMetaHandle* Find(HENHMETAFILE h) {
  for (TMetaHandle* m : Live())
    if (reinterpret_cast<HENHMETAFILE>(m) == h) return m;
  return nullptr;
}

bool ReadEmfHeader(const uint8_t* b, size_t n, ENHMETAHEADER& h) {
  if (n < 88) return false;
  TRec r{b, n};
  h.iType = r.U32(0);
  h.nSize = r.U32(4);
  h.rclBounds = {r.I32(8), r.I32(12), r.I32(16), r.I32(20)};
  h.rclFrame = {r.I32(24), r.I32(28), r.I32(32), r.I32(36)};
  h.dSignature = r.U32(40);
  h.nVersion = r.U32(44);
  h.nBytes = r.U32(48);
  h.nRecords = r.U32(52);
  h.nHandles = r.U16(56);
  h.sReserved = r.U16(58);
  h.nDescription = r.U32(60);
  h.offDescription = r.U32(64);
  h.nPalEntries = r.U32(68);
  h.szlDevice = {r.I32(72), r.I32(76)};
  h.szlMillimeters = {r.I32(80), r.I32(84)};
  return !r.Bad && h.iType == EMR_HEADER && h.dSignature == ENHMETA_SIGNATURE && h.nSize >= 88 && h.nSize <= n &&
         h.nSize % 4 == 0;
}

// Walks the records: each lies inside the bytes and the last is the end
// record. Answers the bytes up to and with the end record, 0 when damaged.
size_t EmfLength(const uint8_t* b, size_t n) {
  size_t o = 0;
  while (o + 8 <= n) {
    uint32_t type = Rd32(b + o), size = Rd32(b + o + 4);
    if (size < 8 || size % 4 != 0 || size > n - o) return 0;
    o += size;
    if (type == EMR_EOF) return o;
  }
  return 0;
}

// Windows metafile: the 18-byte header, then records of (size in words,
// function) whose last is the end record (function 0).
size_t WmfLength(const uint8_t* b, size_t n, uint16_t& handles) {
  if (n < 18) return 0;
  uint16_t type = Rd16(b), hsize = Rd16(b + 2);
  if ((type != 1 && type != 2) || hsize != 9) return 0;
  handles = Rd16(b + 10);
  size_t o = 18;
  while (o + 6 <= n) {
    uint32_t words = Rd32(b + o);
    uint16_t fn = Rd16(b + o + 4);
    if (words < 3 || words > (n - o) / 2) return 0;
    o += size_t(words) * 2;
    if (fn == 0) return o;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Enhanced records

std::vector<TPt> ReadPts(TRec& r, size_t o, uint32_t n, bool small) {
  std::vector<TPt> pts;
  if (n > kMaxPoints || !r.Has(o, size_t(n) * (small ? 4 : 8))) return pts;
  pts.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (small)
      pts[i] = {double(r.I16(o + i * 4)), double(r.I16(o + i * 4 + 2))};
    else
      pts[i] = {double(r.I32(o + i * 8)), double(r.I32(o + i * 8 + 4))};
  }
  return pts;
}

void ReadLogFontW(TRec& r, size_t o, LOGFONTW& lf) {
  lf.lfHeight = r.I32(o);
  lf.lfWidth = r.I32(o + 4);
  lf.lfEscapement = r.I32(o + 8);
  lf.lfOrientation = r.I32(o + 12);
  lf.lfWeight = r.I32(o + 16);
  lf.lfItalic = uint8_t(r.U16(o + 20) & 0xFF);
  lf.lfUnderline = uint8_t(r.U16(o + 20) >> 8);
  lf.lfStrikeOut = uint8_t(r.U16(o + 22) & 0xFF);
  lf.lfCharSet = uint8_t(r.U16(o + 22) >> 8);
  lf.lfOutPrecision = uint8_t(r.U16(o + 24) & 0xFF);
  lf.lfClipPrecision = uint8_t(r.U16(o + 24) >> 8);
  lf.lfQuality = uint8_t(r.U16(o + 26) & 0xFF);
  lf.lfPitchAndFamily = uint8_t(r.U16(o + 26) >> 8);
  for (int i = 0; i < LF_FACESIZE; ++i) lf.lfFaceName[i] = char16_t(r.U16(o + 28 + i * 2));
  lf.lfFaceName[LF_FACESIZE - 1] = 0;
}

// Device-independent bits set at logical (xd, yd), cx x cy of them from
// (xs, ys) of the DIB whose header (cbBmi bytes, at least 40) is in the
// record. The bits hold scan lines Start .. Start + Scans - 1 only, counted
// from the bottom of a bottom-up DIB and from the top of a top-down one: the
// part of the source rectangle among them draws where the whole DIB would
// put it.
void DibToDevice(TPlayer& p, TRec& r, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits, int32_t xd,
                 int32_t yd, int32_t xs, int32_t ys, int32_t cx, int32_t cy, uint32_t Start, uint32_t Scans,
                 UINT usage) {
  const int64_t height = r.I32(offBmi + 8), rows = height < 0 ? -height : height;
  if (r.Bad || rows == 0 || Start >= rows) return;
  const int64_t lines = std::min<int64_t>(Scans, rows - Start);
  const int64_t lo = std::max<int64_t>(Start, ys), hi = std::min<int64_t>(Start + lines, int64_t(ys) + cy);
  if (lo >= hi) return;
  const int64_t dy = height > 0 ? int64_t(ys) + cy - hi : lo - ys;
  p.Dib(r, offBmi, cbBmi, offBits, cbBits, xd, double(yd + dy), cx, double(hi - lo), xs, int(lo - Start), cx,
        int(hi - lo), SRCCOPY, usage, int32_t(height < 0 ? -lines : lines));
}

void PlayEmfRecord(TPlayer& p, uint32_t type, TRec& r) {
  TState& s = p.S();
  switch (type) {
    case EMR_SETMAPMODE: {
      int m = r.I32(8);
      if (!r.Bad && m >= MM_TEXT && m <= MM_ANISOTROPIC) s.MapMode = m;
      break;
    }
    case EMR_SETWINDOWEXTEX:
      if (r.Has(8, 8) && r.I32(8) != 0 && r.I32(12) != 0) s.WEx = r.I32(8), s.WEy = r.I32(12);
      break;
    case EMR_SETWINDOWORGEX:
      if (r.Has(8, 8)) s.WOx = r.I32(8), s.WOy = r.I32(12);
      break;
    case EMR_SETVIEWPORTEXTEX:
      if (r.Has(8, 8) && r.I32(8) != 0 && r.I32(12) != 0) s.VEx = r.I32(8), s.VEy = r.I32(12);
      break;
    case EMR_SETVIEWPORTORGEX:
      if (r.Has(8, 8)) s.VOx = r.I32(8), s.VOy = r.I32(12);
      break;
    case EMR_SCALEVIEWPORTEXTEX:
    case EMR_SCALEWINDOWEXTEX: {
      if (!r.Has(8, 16)) break;
      int32_t xn = r.I32(8), xd = r.I32(12), yn = r.I32(16), yd = r.I32(20);
      if (xn == 0 || xd == 0 || yn == 0 || yd == 0) break;
      double& ex = type == EMR_SCALEVIEWPORTEXTEX ? s.VEx : s.WEx;
      double& ey = type == EMR_SCALEVIEWPORTEXTEX ? s.VEy : s.WEy;
      ex = ex * xn / xd;
      ey = ey * yn / yd;
      break;
    }
    case EMR_SETWORLDTRANSFORM:
    case EMR_MODIFYWORLDTRANSFORM: {
      if (!r.Has(8, 24)) break;
      TXf x{r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28)};
      for (double v : {x.M11, x.M12, x.M21, x.M22, x.Dx, x.Dy})
        if (!std::isfinite(v) || std::fabs(v) > kMaxCoord) return;
      if (type == EMR_SETWORLDTRANSFORM) {
        s.World = x;
        break;
      }
      uint32_t mode = r.U32(32);
      if (mode == MWT_IDENTITY)
        s.World = TXf();
      else if (mode == MWT_LEFTMULTIPLY)
        s.World = x.Then(s.World);
      else if (mode == MWT_RIGHTMULTIPLY)
        s.World = s.World.Then(x);
      else if (mode == 4)  // set
        s.World = x;
      break;
    }
    case EMR_SETBKMODE: s.BkMode = r.I32(8); break;
    case EMR_SETBRUSHORGEX:
      if (r.Has(8, 8)) s.OwnBrushOrg = true, s.BrushOrg = POINT{r.I32(8), r.I32(12)};
      break;
    case EMR_SETPOLYFILLMODE: s.Fill = r.I32(8); break;
    case EMR_SETROP2: s.Rop2 = r.I32(8); break;
    case EMR_SETSTRETCHBLTMODE: s.StretchMode = r.I32(8); break;
    case EMR_SETTEXTALIGN: s.Align = r.U32(8); break;
    case EMR_SETTEXTCOLOR: s.Text = r.U32(8); break;
    case EMR_SETBKCOLOR: s.Bk = r.U32(8); break;
    case EMR_SETARCDIRECTION: s.ArcDir = r.I32(8); break;
    case EMR_SAVEDC: p.Save(); break;
    case EMR_RESTOREDC: p.Restore(r.I32(8)); break;
    case EMR_MOVETOEX:
      if (r.Has(8, 8)) p.MoveTo(r.I32(8), r.I32(12));
      break;
    case EMR_LINETO:
      if (r.Has(8, 8)) p.LineToPt(r.I32(8), r.I32(12));
      break;
    case EMR_CREATEPEN:
      if (r.Has(8, 20)) p.Create(r.U32(8), PenObj(r.I32(12), r.I32(16), r.U32(24)));
      break;
    case EMR_EXTCREATEPEN: {
      if (!r.Has(8, 44)) break;
      const uint32_t style = r.U32(28);
      TObj o = PenObj(r.U32(36) == BS_NULL ? PS_NULL : int(style & 0x0F), r.U32(32), r.U32(40));
      // Cosmetic pens are one pixel wide.
      if ((style & 0x00010000) == 0) o.Stock = true;
      p.Create(r.U32(8), o);
      break;
    }
    case EMR_CREATEBRUSHINDIRECT:
      if (r.Has(8, 16)) p.Create(r.U32(8), BrushObj(r.I32(12), r.U32(16), r.I32(20)));
      break;
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT: {
      // Object, colour use, then the DIB's header and table and its rows,
      // each at an offset in the record. A monochrome brush draws in the
      // text and background colours.
      if (!r.Has(8, 24)) break;
      uint32_t usage = r.U32(12), offBmi = r.U32(16), cbBmi = r.U32(20), offBits = r.U32(24), cbBits = r.U32(28);
      HBRUSH b = nullptr;
      if (r.Has(offBmi, cbBmi) && r.Has(offBits, cbBits))
        b = vxgdi::NewDibPatternBrush(r.D + offBmi, cbBmi, r.D + offBits, cbBits, usage,
                                      type == EMR_CREATEMONOBRUSH);
      p.Create(r.U32(8), PatternObj(b));
      break;
    }
    case EMR_EXTCREATEFONTINDIRECTW: {
      if (!r.Has(12, 92)) break;
      TObj o;
      o.Kind = okFont;
      ReadLogFontW(r, 12, o.Font);
      p.Create(r.U32(8), o);
      break;
    }
    case EMR_SELECTOBJECT: p.Select(r.U32(8)); break;
    case EMR_DELETEOBJECT: p.Delete(r.U32(8)); break;
    case EMR_RECTANGLE:
    case EMR_ELLIPSE: {
      if (!r.Has(8, 16)) break;
      double l = r.I32(8), t = r.I32(12), rr = r.I32(16), b = r.I32(20);
      p.Refresh();
      // A rectangle's recorded box takes in its right and bottom edges.
      if (type == EMR_RECTANGLE)
        p.DrawRect(l, t, rr, b, true);
      else
        p.DrawEllipse(l, t, rr, b);
      return;
    }
    case EMR_ROUNDRECT:
      if (r.Has(8, 24)) p.DrawRoundRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28));
      break;
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE:
    case EMR_ARCTO: {
      if (!r.Has(8, 32)) break;
      int kind = type == EMR_ARC ? 0 : type == EMR_CHORD ? 1 : type == EMR_PIE ? 2 : 3;
      p.DrawArc(kind, r.I32(8), r.I32(12), r.I32(16), r.I32(20), r.I32(24), r.I32(28), r.I32(32), r.I32(36));
      break;
    }
    case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIER: case EMR_POLYLINETO: case EMR_POLYBEZIERTO:
    case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIER16: case EMR_POLYLINETO16:
    case EMR_POLYBEZIERTO16: {
      bool small = type >= EMR_POLYBEZIER16;
      uint32_t n = r.U32(24);
      std::vector<TPt> pts = ReadPts(r, 28, n, small);
      if (r.Bad || pts.size() != n) break;
      uint32_t base = small ? type - EMR_POLYBEZIER16 + EMR_POLYBEZIER : type;
      switch (base) {
        case EMR_POLYGON: p.DrawPolygon(pts); break;
        case EMR_POLYLINE: p.DrawPolyline(pts); break;
        case EMR_POLYLINETO: p.DrawPolylineTo(pts); break;
        case EMR_POLYBEZIER:
          if (!pts.empty()) p.DrawPolyline(TPlayer::Bezier(pts[0], std::vector<TPt>(pts.begin() + 1, pts.end())));
          break;
        case EMR_POLYBEZIERTO: {
          auto b = TPlayer::Bezier({s.CurX, s.CurY}, pts);
          p.DrawPolylineTo(std::vector<TPt>(b.begin() + 1, b.end()));
          break;
        }
      }
      break;
    }
    case EMR_POLYPOLYGON: case EMR_POLYPOLYLINE: case EMR_POLYPOLYGON16: case EMR_POLYPOLYLINE16: {
      bool small = type >= EMR_POLYPOLYLINE16;
      uint32_t polys = r.U32(24), total = r.U32(28);
      if (r.Bad || polys > kMaxPoints || !r.Has(32, size_t(polys) * 4)) break;
      std::vector<uint32_t> counts(polys);
      uint64_t sum = 0;
      for (uint32_t i = 0; i < polys; ++i) sum += counts[i] = r.U32(32 + i * 4);
      if (sum != total) break;
      std::vector<TPt> pts = ReadPts(r, 32 + size_t(polys) * 4, total, small);
      if (r.Bad || pts.size() != total) break;
      if (type == EMR_POLYPOLYGON || type == EMR_POLYPOLYGON16) {
        p.DrawPolyPolygon(pts, counts);
      } else {
        size_t o = 0;
        for (uint32_t c : counts) {
          p.DrawPolyline(std::vector<TPt>(pts.begin() + o, pts.begin() + o + c));
          o += c;
        }
      }
      break;
    }
    case EMR_BEGINPATH: p.BeginPath(); break;
    case EMR_ENDPATH: p.EndPath(); break;
    case EMR_ABORTPATH: p.AbortPath(); break;
    case EMR_CLOSEFIGURE: p.CloseFigure(); break;
    case EMR_FILLPATH: p.DrawPath(true, false); break;
    case EMR_STROKEPATH: p.DrawPath(false, true); break;
    case EMR_STROKEANDFILLPATH: p.DrawPath(true, true); break;
    case EMR_INTERSECTCLIPRECT:
    case EMR_EXCLUDECLIPRECT:
      if (r.Has(8, 16)) p.ClipRect(r.I32(8), r.I32(12), r.I32(16), r.I32(20), type == EMR_EXCLUDECLIPRECT);
      break;
    case EMR_EXTSELECTCLIPRGN: {
      uint32_t cb = r.U32(8);
      int mode = r.I32(12);
      if (r.Bad) break;
      if (cb == 0) {
        if (mode == RGN_COPY) p.ResetClip();
        break;
      }
      // RGNDATA: header of 32 bytes, then the rectangles.
      if (cb < 32 || !r.Has(16, cb)) break;
      uint32_t n = r.U32(16 + 8);
      if (n > (cb - 32) / 16) break;
      std::vector<RECT> rects(n);
      for (uint32_t i = 0; i < n; ++i) {
        size_t o = 16 + 32 + size_t(i) * 16;
        rects[i] = RECT{r.I32(o), r.I32(o + 4), r.I32(o + 8), r.I32(o + 12)};
      }
      p.ClipRegion(rects, mode);
      break;
    }
    case EMR_EXTTEXTOUTW: {
      // Bounds (16), graphics mode, scales, then the text record: reference
      // point, characters, offset of the string, options, rectangle, offset
      // of the distances.
      if (!r.Has(36, 40)) break;
      double x = r.I32(36), y = r.I32(40);
      uint32_t n = r.U32(44), off = r.U32(48), opts = r.U32(52);
      RECTL rc{r.I32(56), r.I32(60), r.I32(64), r.I32(68)};
      if (n > kMaxChars || !r.Has(off, size_t(n) * 2)) break;
      std::u16string text(n, u'\0');
      for (uint32_t i = 0; i < n; ++i) text[i] = char16_t(r.U16(off + i * 2));
      std::vector<double> dx;
      uint32_t offDx = r.U32(72);
      if (offDx && r.Has(offDx, size_t(n) * 4))
        for (uint32_t i = 0; i < n; ++i) dx.push_back(r.I32(offDx + i * 4));
      p.Text(x, y, text, opts, &rc, dx);
      break;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT: {
      // Bounds, destination (x, y, cx, cy), rop, source (x, y), the source's
      // transform and background colour, usage, then the DIB's offsets; the
      // stretched kind adds the source's size.
      if (!r.Has(8, 92)) break;
      int32_t xd = r.I32(24), yd = r.I32(28), cx = r.I32(32), cy = r.I32(36);
      uint32_t rop = r.U32(40);
      int32_t xs = r.I32(44), ys = r.I32(48);
      uint32_t usage = r.U32(80), offBmi = r.U32(84), cbBmi = r.U32(88), offBits = r.U32(92), cbBits = r.U32(96);
      int32_t cxs = cx, cys = cy;
      if (type == EMR_STRETCHBLT) {
        if (!r.Has(100, 8)) break;
        cxs = r.I32(100);
        cys = r.I32(104);
      }
      if (cbBmi == 0)
        p.Pattern(xd, yd, cx, cy, rop);
      else
        p.Dib(r, offBmi, cbBmi, offBits, cbBits, xd, yd, cx, cy, xs, ys, cxs, cys, rop, usage);
      break;
    }
    case EMR_STRETCHDIBITS: {
      if (!r.Has(8, 72)) break;
      int32_t xd = r.I32(24), yd = r.I32(28), xs = r.I32(32), ys = r.I32(36), cxs = r.I32(40), cys = r.I32(44);
      uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60), usage = r.U32(64);
      uint32_t rop = r.U32(68);
      int32_t cx = r.I32(72), cy = r.I32(76);
      p.Dib(r, offBmi, cbBmi, offBits, cbBits, xd, yd, cx, cy, xs, ys, cxs, cys, rop, usage);
      break;
    }
    case EMR_SETDIBITSTODEVICE: {
      if (!r.Has(8, 68)) break;
      int32_t xd = r.I32(24), yd = r.I32(28), xs = r.I32(32), ys = r.I32(36), cx = r.I32(40), cy = r.I32(44);
      uint32_t offBmi = r.U32(48), cbBmi = r.U32(52), offBits = r.U32(56), cbBits = r.U32(60), usage = r.U32(64);
      uint32_t start = r.U32(68), scans = r.U32(72);
      if (r.Bad || cbBmi < 40 || !r.Has(offBmi, cbBmi)) break;
      DibToDevice(p, r, offBmi, cbBmi, offBits, cbBits, xd, yd, xs, ys, cx, cy, start, scans, usage);
      break;
    }
    default:
      // Comments (EMF+ included) and records of no meaning here.
      break;
  }
}

// ---------------------------------------------------------------------------
// Windows metafile records: the same steps. Parameters follow the record's
// size and function, in reverse order of the call's arguments.

struct TWmfPlayer {
  TPlayer& P;
  std::vector<bool> Used;  // object slots
  uint32_t NewSlot() {
    for (size_t i = 0; i < Used.size(); ++i)
      if (!Used[i]) {
        Used[i] = true;
        return uint32_t(i);
      }
    return UINT32_MAX;
  }
  // EMF-style object indices start at 1.
  void Create(const TObj& o) {
    uint32_t i = NewSlot();
    if (i != UINT32_MAX) P.Create(i + 1, o);
  }
};

std::vector<TPt> WmfPts(TRec& r, size_t o, uint32_t n) { return ReadPts(r, o, n, true); }

// The box of a rectangle or curved shape of a Windows metafile as its
// enhanced recording keeps it: less the right and bottom logical unit that
// the drawing call leaves out. Rectangles then take in that box's edges;
// curved shapes are drawn in it as the enhanced records' are.
std::array<double, 4> RecordedBox(double l, double t, double r, double b) {
  if (l > r) std::swap(l, r);
  if (t > b) std::swap(t, b);
  return {l, t, std::max(l, r - 1), std::max(t, b - 1)};
}

// Eight-bit text of Windows metafiles is Windows-1252.
std::u16string Ansi(const uint8_t* p, size_t n) {
  std::u16string s(n, u'\0');
  if (n) MultiByteToWideChar(1252, 0, reinterpret_cast<const char*>(p), int(n), s.data(), int(n));
  return s;
}

void PlayWmfRecord(TWmfPlayer& w, uint16_t fn, TRec& r) {
  TPlayer& p = w.P;
  TState& s = p.S();
  auto I = [&](int k) { return double(r.I16(6 + k * 2)); };
  switch (fn) {
    case 0x0103: { int m = r.I16(6); if (m >= MM_TEXT && m <= MM_ANISOTROPIC) s.MapMode = m; break; }
    case 0x020B: if (r.Has(6, 4)) s.WOy = I(0), s.WOx = I(1); break;
    case 0x020C: if (r.Has(6, 4) && I(0) != 0 && I(1) != 0) s.WEy = I(0), s.WEx = I(1); break;
    case 0x020D: if (r.Has(6, 4)) s.VOy = I(0), s.VOx = I(1); break;
    case 0x020E: if (r.Has(6, 4) && I(0) != 0 && I(1) != 0) s.VEy = I(0), s.VEx = I(1); break;
    case 0x020F: if (r.Has(6, 4)) s.WOy += I(0), s.WOx += I(1); break;
    case 0x0211: if (r.Has(6, 4)) s.VOy += I(0), s.VOx += I(1); break;
    case 0x0410:
    case 0x0412: {  // y denominator, y numerator, x denominator, x numerator
      if (!r.Has(6, 8) || I(0) == 0 || I(1) == 0 || I(2) == 0 || I(3) == 0) break;
      double& ex = fn == 0x0412 ? s.VEx : s.WEx;
      double& ey = fn == 0x0412 ? s.VEy : s.WEy;
      ex = ex * I(3) / I(2);
      ey = ey * I(1) / I(0);
      break;
    }
    case 0x0102: s.BkMode = r.I16(6); break;
    case 0x0201: s.Bk = r.U32(6); break;
    case 0x0209: s.Text = r.U32(6); break;
    case 0x0104: s.Rop2 = r.I16(6); break;
    case 0x0106: s.Fill = r.I16(6); break;
    case 0x012E: s.Align = r.U16(6); break;
    case 0x001E: p.Save(); break;
    case 0x0127: p.Restore(r.I16(6)); break;
    case 0x02FA:  // pen: style, width (x, y), colour
      if (r.Has(6, 10)) w.Create(PenObj(r.U16(6), r.I16(8), r.U32(12)));
      break;
    case 0x02FC:  // brush: style, colour, hatch
      if (r.Has(6, 8)) w.Create(BrushObj(r.U16(6), r.U32(8), r.U16(12)));
      break;
    case 0x02FB: {  // font: 16-bit fields, then an 8-bit face name
      if (!r.Has(6, 18)) break;
      TObj o;
      o.Kind = okFont;
      o.Font.lfHeight = r.I16(6);
      o.Font.lfWidth = r.I16(8);
      o.Font.lfEscapement = r.I16(10);
      o.Font.lfOrientation = r.I16(12);
      o.Font.lfWeight = r.I16(14);
      o.Font.lfItalic = r.D[16];
      o.Font.lfUnderline = r.D[17];
      o.Font.lfStrikeOut = r.D[18];
      o.Font.lfCharSet = r.D[19];
      o.Font.lfQuality = r.D[22];
      o.Font.lfPitchAndFamily = r.D[23];
      size_t len = 0;
      while (len + 1 < size_t(LF_FACESIZE) && 24 + len < r.N && r.D[24 + len]) ++len;
      std::u16string face = Ansi(r.D + 24, len);
      std::copy(face.begin(), face.end(), o.Font.lfFaceName);
      w.Create(o);
      break;
    }
    case 0x0142: {  // style, colour use, packed DIB
      // A bitmap's pattern was recorded as a DIB with its own colours.
      HBRUSH b = nullptr;
      if (r.Has(6, 4)) {
        UINT usage = r.U16(6) == BS_PATTERN ? DIB_RGB_COLORS : r.U16(8);
        b = vxgdi::NewDibPatternBrush(r.D + 10, r.N - 10, nullptr, 0, usage, false);
      }
      w.Create(PatternObj(b));
      break;
    }
    case 0x01F9: {
      // A device bitmap's header (type, width, height, bytes per row,
      // planes, bits per pixel, 4 unused bytes), 18 unused bytes, then its
      // rows top row first. Monochrome ones, which draw in the text and
      // background colours, are played.
      HBRUSH b = nullptr;
      if (r.Has(6, 32)) {
        int wd = r.I16(8), ht = r.I16(10), rowBytes = r.I16(12), planes = r.D[14], bpp = r.D[15];
        const size_t stride = size_t(wd + 31) / 32 * 4;
        if (planes == 1 && bpp == 1 && wd > 0 && ht > 0 && rowBytes >= (wd + 7) / 8 &&
            r.Has(38, size_t(rowBytes) * size_t(ht))) {
          uint8_t info[40] = {};
          auto put32 = [&info](size_t o, uint32_t v) {
            for (size_t i = 0; i < 4; ++i) info[o + i] = uint8_t(v >> (8 * i));
          };
          put32(0, 40);
          put32(4, uint32_t(wd));
          put32(8, uint32_t(-ht));  // top-down
          info[12] = 1;             // planes
          info[14] = 1;             // bits per pixel
          std::vector<uint8_t> rows(stride * size_t(ht), 0);
          for (int y = 0; y < ht; ++y)
            std::memcpy(rows.data() + stride * size_t(y), r.D + 38 + size_t(rowBytes) * size_t(y), size_t(wd + 7) / 8);
          b = vxgdi::NewDibPatternBrush(info, sizeof info, rows.data(), rows.size(), vxgdi::DIB_PAL_INDICES, true);
        }
      }
      w.Create(PatternObj(b));
      break;
    }
    case 0x00F7: case 0x06FF: case 0x0143:
      // Palettes and regions take a slot that draws nothing.
      w.Create(TObj());
      break;
    case 0x012D: {
      uint16_t i = r.U16(6);
      if (!r.Bad && i < w.Used.size() && w.Used[i]) p.Select(i + 1u);
      break;
    }
    case 0x01F0: {
      uint16_t i = r.U16(6);
      if (!r.Bad && i < w.Used.size()) {
        w.Used[i] = false;
        p.Delete(i + 1u);
      }
      break;
    }
    case 0x0214: if (r.Has(6, 4)) p.MoveTo(I(1), I(0)); break;
    case 0x0213: if (r.Has(6, 4)) p.LineToPt(I(1), I(0)); break;
    case 0x0325:
    case 0x0324: {
      uint16_t n = r.U16(6);
      auto pts = WmfPts(r, 8, n);
      if (r.Bad || pts.size() != n) break;
      if (fn == 0x0325)
        p.DrawPolyline(pts);
      else
        p.DrawPolygon(pts);
      break;
    }
    case 0x0538: {
      uint16_t polys = r.U16(6);
      if (!r.Has(8, size_t(polys) * 2)) break;
      std::vector<uint32_t> counts(polys);
      uint32_t total = 0;
      for (uint16_t i = 0; i < polys; ++i) total += counts[i] = r.U16(8 + i * 2);
      auto pts = WmfPts(r, 8 + size_t(polys) * 2, total);
      if (r.Bad || pts.size() != total) break;
      p.DrawPolyPolygon(pts, counts);
      break;
    }
    case 0x041B:
      if (r.Has(6, 8)) {
        auto [l, t, rr, b] = RecordedBox(I(3), I(2), I(1), I(0));
        p.DrawRect(l, t, rr, b, true);
      }
      break;
    case 0x0418:
      if (r.Has(6, 8)) {
        auto [l, t, rr, b] = RecordedBox(I(3), I(2), I(1), I(0));
        p.DrawEllipse(l, t, rr, b);
      }
      break;
    case 0x061C:
      if (r.Has(6, 12)) {
        auto [l, t, rr, b] = RecordedBox(I(5), I(4), I(3), I(2));
        p.DrawRoundRect(l, t, rr, b, I(1), I(0));
      }
      break;
    case 0x0817: case 0x081A: case 0x0830: {
      if (!r.Has(6, 16)) break;
      int kind = fn == 0x0817 ? 0 : fn == 0x081A ? 2 : 1;
      auto [l, t, rr, b] = RecordedBox(I(7), I(6), I(5), I(4));
      p.DrawArc(kind, l, t, rr, b, I(3), I(2), I(1), I(0));
      break;
    }
    case 0x061D:  // rop, h, w, y, x: the brush over a block
      if (r.Has(6, 12)) p.Pattern(r.I16(16), r.I16(14), r.I16(12), r.I16(10), r.U32(6));
      break;
    case 0x0416: case 0x0415:
      if (r.Has(6, 8)) p.ClipRect(I(3), I(2), I(1), I(0), fn == 0x0415);
      break;
    case 0x0521: {  // count, string (padded to words), y, x
      uint16_t n = r.U16(6);
      size_t padded = (size_t(n) + 1) & ~size_t(1);
      if (!r.Has(8, padded + 4)) break;
      std::u16string t = Ansi(r.D + 8, n);
      double y = r.I16(8 + padded), x = r.I16(10 + padded);
      p.Text(x, y, t, 0, nullptr);
      break;
    }
    case 0x0A32: {  // y, x, count, options, [rectangle], string
      if (!r.Has(6, 8)) break;
      double y = r.I16(6), x = r.I16(8);
      uint16_t n = r.U16(10), opts = r.U16(12);
      size_t o = 14;
      RECTL rc;
      bool hasRect = opts & (ETO_OPAQUE | ETO_CLIPPED);
      if (hasRect) {
        if (!r.Has(14, 8)) break;
        rc = RECTL{r.I16(14), r.I16(16), r.I16(18), r.I16(20)};
        o = 22;
      }
      if (!r.Has(o, n)) break;
      std::u16string t = Ansi(r.D + o, n);
      // Distances follow the string (padded to a word) when the record has room.
      std::vector<double> dx;
      size_t offDx = o + ((size_t(n) + 1) & ~size_t(1));
      if (r.N >= offDx + size_t(n) * 2)
        for (uint16_t i = 0; i < n; ++i) dx.push_back(r.I16(offDx + i * 2));
      p.Text(x, y, t, opts, hasRect ? &rc : nullptr, dx);
      break;
    }
    case 0x0F43: {  // rop, usage, src h, w, y, x, dst h, w, y, x, DIB
      if (!r.Has(6, 22)) break;
      uint32_t rop = r.U32(6);
      UINT usage = r.U16(10);
      int hs = r.I16(12), ws = r.I16(14), ys = r.I16(16), xs = r.I16(18);
      double h = r.I16(20), wd = r.I16(22), y = r.I16(24), x = r.I16(26);
      uint32_t cbBmi = 0, offBits = 0;
      // The DIB: header, colour table, bits.
      if (!r.Has(28, 40)) break;
      uint32_t hsz = r.U32(28), bits = r.U16(28 + 14), used = r.U32(28 + 32), comp = r.U32(28 + 16);
      if (hsz < 40 || hsz > 1024) break;
      uint32_t colors = used ? std::min<uint32_t>(used, 256) : bits <= 8 ? (1u << bits) : 0;
      cbBmi = comp == BI_BITFIELDS ? hsz + 12 : hsz + colors * (usage == DIB_PAL_COLORS ? 2 : 4);
      offBits = 28 + cbBmi;
      if (offBits > r.N) break;
      p.Dib(r, 28, cbBmi, offBits, uint32_t(r.N - offBits), x, y, wd, h, xs, ys, ws, hs, rop, usage);
      break;
    }
    case 0x0D33: {  // use, scan count, first scan, DIB y, x, height, width, destination y, x, DIB
      if (!r.Has(6, 18) || !r.Has(24, 40)) break;
      const UINT usage = r.U16(6);
      const uint32_t scans = r.U16(8), start = r.U16(10);
      const int ys = r.I16(12), xs = r.I16(14), cy = r.I16(16), cx = r.I16(18), yd = r.I16(20), xd = r.I16(22);
      const uint32_t hsz = r.U32(24), bits = r.U16(24 + 14), used = r.U32(24 + 32), comp = r.U32(24 + 16);
      if (hsz < 40 || hsz > 1024) break;
      const uint32_t colors = used ? std::min<uint32_t>(used, 256) : bits <= 8 ? (1u << bits) : 0;
      const uint32_t cbBmi = comp == BI_BITFIELDS ? hsz + 12 : hsz + colors * (usage == DIB_PAL_COLORS ? 2 : 4);
      if (24 + size_t(cbBmi) > r.N) break;
      DibToDevice(p, r, 24, cbBmi, 24 + cbBmi, uint32_t(r.N - 24 - cbBmi), xd, yd, xs, ys, cx, cy, start, scans, usage);
      break;
    }
    case 0x0B41:
    case 0x0940: {  // rop, [src h, w,] y, x, [dst h, w,] y, x, DIB
      bool stretch = fn == 0x0B41;
      // Without bits the record carries a reserved word before the size.
      bool noDib = r.N == size_t((fn >> 8) + 3) * 2;
      size_t o = 6;
      if (!r.Has(6, stretch ? 20 : 16)) break;
      uint32_t rop = r.U32(o);
      o += 4;
      int hs = 0, ws = 0;
      if (stretch) {
        hs = r.I16(o);
        ws = r.I16(o + 2);
        o += 4;
      }
      int ys = r.I16(o), xs = r.I16(o + 2);
      o += noDib ? 6 : 4;
      if (!r.Has(o, 8)) break;
      double h = r.I16(o), wd = r.I16(o + 2), y = r.I16(o + 4), x = r.I16(o + 6);
      o += 8;
      if (!stretch) {
        hs = int(h);
        ws = int(wd);
      }
      if (noDib || o >= r.N) {
        p.Pattern(x, y, wd, h, rop);
        break;
      }
      if (!r.Has(o, 40)) break;
      uint32_t hsz = r.U32(o), bits = r.U16(o + 14), used = r.U32(o + 32), comp = r.U32(o + 16);
      if (hsz < 40 || hsz > 1024) break;
      uint32_t colors = used ? std::min<uint32_t>(used, 256) : bits <= 8 ? (1u << bits) : 0;
      if (comp == BI_BITFIELDS) colors = 3;
      uint32_t cbBmi = hsz + colors * 4;
      if (o + cbBmi > r.N) break;
      p.Dib(r, uint32_t(o), cbBmi, uint32_t(o + cbBmi), uint32_t(r.N - o - cbBmi), x, y, wd, h, xs, ys, ws, hs, rop,
            DIB_RGB_COLORS);
      break;
    }
    default:
      break;
  }
}

}  // namespace

HENHMETAFILE SetEnhMetaFileBits(UINT nSize, const BYTE* pb) {
  if (!pb) return nullptr;
  ENHMETAHEADER h;
  if (!ReadEmfHeader(pb, nSize, h)) return nullptr;
  size_t len = EmfLength(pb, nSize);
  if (len == 0) return nullptr;
  auto m = std::make_unique<TMetaHandle>();
  m->Bytes.assign(pb, pb + len);
  m->Header = h;
  m->Header.nBytes = uint32_t(len);
  std::lock_guard<std::mutex> lock(LiveLock());
  Live().push_back(m.get());
  return reinterpret_cast<HENHMETAFILE>(m.release());
}

HENHMETAFILE SetWinMetaFileBits(UINT nSize, const BYTE* lpMeta16Data, HDC, const METAFILEPICT* lpMFP) {
  if (!lpMeta16Data) return nullptr;
  uint16_t handles = 0;
  size_t len = WmfLength(lpMeta16Data, nSize, handles);
  if (len == 0) return nullptr;
  auto m = std::make_unique<TMetaHandle>();
  m->Enhanced = false;
  m->Bytes.assign(lpMeta16Data, lpMeta16Data + len);
  m->WmfHandles = handles;
  if (lpMFP) m->Pict = *lpMFP;
  // The frame: the picture's extents, else the first window extent at 96
  // pixels per inch.
  int64_t fw = 0, fh = 0;
  int64_t wx = 0, wy = 0;
  for (size_t o = 18; o + 6 <= len;) {
    uint32_t words = Rd32(m->Bytes.data() + o);
    uint16_t fn = Rd16(m->Bytes.data() + o + 4);
    if (fn == 0x020C && words >= 5) {
      wy = int16_t(Rd16(m->Bytes.data() + o + 6));
      wx = int16_t(Rd16(m->Bytes.data() + o + 8));
      break;
    }
    o += size_t(words) * 2;
  }
  if (m->Pict.xExt > 0 && m->Pict.yExt > 0) {
    fw = m->Pict.xExt;
    fh = m->Pict.yExt;
  } else {
    fw = std::llabs(wx) * 2540 / 96;
    fh = std::llabs(wy) * 2540 / 96;
  }
  if (fw <= 0 || fh <= 0) return nullptr;
  // The reference device is the screen at 96 pixels per inch, its size in
  // whole millimetres; the window maps onto the frame's nearest whole
  // pixels there.
  const LONG resX = std::max(1, GetDeviceCaps(nullptr, HORZRES)), resY = std::max(1, GetDeviceCaps(nullptr, VERTRES));
  const LONG mmX = std::max<LONG>(1, LONG(std::llrint(resX * 25.4 / 96))),
             mmY = std::max<LONG>(1, LONG(std::llrint(resY * 25.4 / 96)));
  m->ViewportX = LONG((fw * resX + int64_t(mmX) * 50) / (int64_t(mmX) * 100));
  m->ViewportY = LONG((fh * resY + int64_t(mmY) * 50) / (int64_t(mmY) * 100));
  if (m->ViewportX <= 0 || m->ViewportY <= 0) return nullptr;
  ENHMETAHEADER& h = m->Header;
  h.iType = EMR_HEADER;
  h.nSize = 108;
  h.dSignature = ENHMETA_SIGNATURE;
  h.nVersion = 0x10000;
  h.nBytes = uint32_t(len);
  h.nHandles = uint16_t(std::min<uint32_t>(uint32_t(handles) + 1, 0xFFFF));
  h.rclFrame = {0, 0, LONG(fw), LONG(fh)};
  h.rclBounds = {0, 0, LONG(fw * 96 / 2540), LONG(fh * 96 / 2540)};
  h.szlDevice = {resX, resY};
  h.szlMillimeters = {mmX, mmY};
  std::lock_guard<std::mutex> lock(LiveLock());
  Live().push_back(m.get());
  return reinterpret_cast<HENHMETAFILE>(m.release());
}

UINT GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, BYTE* lpData) {
  std::lock_guard<std::mutex> lock(LiveLock());
  TMetaHandle* m = Find(hEMF);
  if (!m) return 0;
  if (!lpData) return UINT(m->Bytes.size());
  if (nSize < m->Bytes.size()) return 0;
  std::memcpy(lpData, m->Bytes.data(), m->Bytes.size());
  return UINT(m->Bytes.size());
}

UINT GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, ENHMETAHEADER* lpEnhMetaHeader) {
  std::lock_guard<std::mutex> lock(LiveLock());
  TMetaHandle* m = Find(hemf);
  if (!m) return 0;
  if (!lpEnhMetaHeader) return sizeof(ENHMETAHEADER);
  if (nSize < sizeof(ENHMETAHEADER)) return 0;
  *lpEnhMetaHeader = m->Header;
  return sizeof(ENHMETAHEADER);
}

BOOL PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT* lprect) {
  if (!hdc || !lprect) return FALSE;
  // The bytes are immutable while the handle lives; play from a copy so that
  // a deletion on another thread cannot pull them away.
  std::vector<uint8_t> bytes;
  ENHMETAHEADER h;
  bool enhanced;
  uint16_t wmfHandles;
  METAFILEPICT pict;
  LONG vpX, vpY;
  {
    std::lock_guard<std::mutex> lock(LiveLock());
    TMetaHandle* m = Find(hmf);
    if (!m) return FALSE;
    bytes = m->Bytes;
    h = m->Header;
    enhanced = m->Enhanced;
    wmfHandles = m->WmfHandles;
    pict = m->Pict;
    vpX = m->ViewportX;
    vpY = m->ViewportY;
  }
  if (GetObjectType(hdc) != OBJ_DC && GetObjectType(hdc) != OBJ_MEMDC) return FALSE;
  const uint8_t* b = bytes.data();
  size_t n = bytes.size();
  if (enhanced) {
    TPlayer p(hdc, h, *lprect, std::max<size_t>(h.nHandles, 1));
    size_t o = h.nSize;
    while (o + 8 <= n) {
      uint32_t type = Rd32(b + o), size = Rd32(b + o + 4);
      if (type == EMR_EOF) break;
      TRec r{b + o, size};
      p.Refresh();
      PlayEmfRecord(p, type, r);
      o += size;
    }
    return TRUE;
  }
  TPlayer p(hdc, h, *lprect, size_t(wmfHandles) + 1);
  TWmfPlayer w{p, std::vector<bool>(wmfHandles, false)};
  // A picture with extents stretches its window onto the frame.
  TState& s = p.S();
  if (pict.mm == MM_ISOTROPIC || pict.mm == MM_ANISOTROPIC || pict.mm <= 0) {
    s.MapMode = MM_ANISOTROPIC;
    s.VEx = vpX;
    s.VEy = vpY;
    s.WEx = s.VEx;
    s.WEy = s.VEy;
  } else if (pict.mm >= MM_TEXT && pict.mm <= MM_TWIPS) {
    s.MapMode = pict.mm;
  }
  for (size_t o = 18; o + 6 <= n;) {
    uint32_t words = Rd32(b + o);
    uint16_t fn = Rd16(b + o + 4);
    if (fn == 0) break;
    TRec r{b + o, size_t(words) * 2};
    p.Refresh();
    PlayWmfRecord(w, fn, r);
    o += size_t(words) * 2;
  }
  return TRUE;
}

BOOL DeleteEnhMetaFile(HENHMETAFILE hmf) {
  std::lock_guard<std::mutex> lock(LiveLock());
  auto& v = Live();
  auto it = std::find(v.begin(), v.end(), reinterpret_cast<TMetaHandle*>(hmf));
  if (it == v.end()) return FALSE;
  delete *it;
  v.erase(it);
  return TRUE;
}
