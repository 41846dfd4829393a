// The transition effects' region builders.
#include "view/transition_regions.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <numbers>

#include "core/geometry.h"
#include "core/random.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "platform/utf.h"
#include "winui/font_face.h"
#include "winui/gdi.h"
#include "winui/gdi_font.h"
#include "winui/gdi_text.h"

namespace {

constexpr size_t kHeaderSize = 32;

int32_t RoundInt(double v) { return int32_t(std::nearbyint(v)); }

bool Alternative() { return VXGetGlobalSettings()->TransitionsDrawAlternative(); }

HRGN EmptyRegion() { return CreateRectRgn(0, 0, 0, 0); }

// A united with B; B is deleted. Either may be none.
HRGN Unite(HRGN A, HRGN B) {
  if (!A) return B;
  if (!B) return A;
  CombineRgn(A, A, B, RGN_OR);
  DeleteObject(B);
  return A;
}

struct PointF {
  double x, y;
};

// clang-format off
const PointF kStar5[] = {{0.5, 0}, {0.62, 0.36}, {1, 0.36}, {0.7, 0.59}, {0.81, 0.95}, {0.5, 0.73}, {0.19, 0.95},
                         {0.31, 0.59}, {0, 0.36}, {0.39, 0.36}, {0.5, 0}};
const PointF kStar6[] = {{0.5, 0}, {0.625, 0.25}, {0.9, 0.25}, {0.75, 0.5}, {0.9, 0.75}, {0.625, 0.75}, {0.5, 1},
                         {0.375, 0.75}, {0.1, 0.75}, {0.25, 0.5}, {0.1, 0.25}, {0.375, 0.25}, {0.5, 0}};
const PointF kDiagonalArrow[] = {{0, 0}, {0.4, 0}, {0.3, 0.1}, {1, 0.8}, {0.8, 1}, {0.1, 0.3}, {0, 0.4}, {0, 0}};
const PointF kFeatheredArrow[] = {
    {0.85, 1}, {0.8, 0.95}, {0.8, 0.85}, {0.775, 0.825}, {0.775, 0.925}, {0.725, 0.875}, {0.725, 0.775},
    {0.7, 0.75}, {0.7, 0.85}, {0.65, 0.8}, {0.65, 0.7}, {0.15, 0.2}, {0.15, 0.3}, {0, 0.15}, {0, 0}, {0.15, 0},
    {0.3, 0.15}, {0.2, 0.15}, {0.7, 0.65}, {0.8, 0.65}, {0.85, 0.7}, {0.75, 0.7}, {0.775, 0.725}, {0.875, 0.725},
    {0.925, 0.775}, {0.825, 0.775}, {0.85, 0.8}, {0.95, 0.8}, {1, 0.85}, {0.85, 0.85}, {0.85, 1}};
const PointF kLightningBolt[] = {{1, 0.19}, {0.61, 0.01}, {0.41, 0.29}, {0.49, 0.31}, {0.23, 0.55}, {0.33, 0.6},
                                 {0, 1}, {0.51, 0.69}, {0.46, 0.65}, {0.78, 0.45}, {0.66, 0.39}, {1, 0.19}};
const PointF kExplosion[] = {{0.33, 0}, {0.5, 0.26}, {0.62, 0.11}, {0.67, 0.28}, {0.99, 0.1}, {0.78, 0.35},
                             {1, 0.39}, {0.84, 0.54}, {0.99, 0.66}, {0.75, 0.64}, {0.78, 0.81}, {0.65, 0.71},
                             {0.61, 1}, {0.51, 0.69}, {0.38, 0.89}, {0.35, 0.66}, {0.17, 0.83}, {0.22, 0.59},
                             {0, 0.61}, {0.19, 0.48}, {0.04, 0.37}, {0.22, 0.34}, {0.16, 0.2}, {0.35, 0.25},
                             {0.33, 0.01}};
// clang-format on

template <size_t N>
HRGN TableRegion(const PointF (&Table)[N], int32_t Left, int32_t Top, int32_t Width, int32_t Height, bool MirrorX,
                 bool MirrorY) {
  std::vector<POINT> pts(N);
  for (size_t i = 0; i < N; ++i) {
    const double x = MirrorX ? 1 - Table[i].x : Table[i].x;
    const double y = MirrorY ? 1 - Table[i].y : Table[i].y;
    pts[i] = POINT{Left + RoundInt((Width - 1) * x), Top + RoundInt((Height - 1) * y)};
  }
  return PolygonRegion(pts);
}

HRGN HeartRegion(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  const int32_t S = std::min(Width, Height);
  if (S <= 0) return EmptyRegion();
  const int32_t ox = Left + (Width - S) / 2, oy = Top + (Height - S) / 2;
  const int32_t D = S / 2 + 2, R = D / 2, Q = S / 4;
  HRGN rgn = CreateEllipticRgn(ox, oy, ox + D, oy + D);
  rgn = Unite(rgn, CreateEllipticRgn(ox + S - D, oy, ox + S, oy + D));
  // The tangent angles are stored as 233.14 and 126.86 degrees, a quarter
  // turn ahead.
  const double a1 = (233.14 - 90) * std::numbers::pi / 180, a2 = (126.86 - 90) * std::numbers::pi / 180;
  const POINT p1{ox + RoundInt(Q + (R - 1) * std::cos(a1)), oy + RoundInt(Q + (R - 1) * std::sin(a1))};
  const POINT p2{ox + RoundInt(S - Q + (R - 1) * std::cos(a2)), oy + RoundInt(Q + (R - 1) * std::sin(a2))};
  rgn = Unite(rgn, PolygonRegion({p1, p2, POINT{ox + S / 2, oy + S}}));
  rgn = Unite(rgn, CreateRectRgn(ox + R, oy + R, ox + S - R, oy + D));
  return rgn;
}

}  // namespace

// ---------------------------------------------------------------------------
// TComplexRegion

void TComplexRegion::Clear() {
  fRgnData.clear();
  fRgnData.shrink_to_fit();
  fCapacity = 0;
  fCount = 0;
  fBounds = TRect{INT_MAX, INT_MAX, -INT_MAX, -INT_MAX};
}

void TComplexRegion::AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  if (fCount == fCapacity) {
    fCapacity += 500;
    fRgnData.resize(kHeaderSize + 4 + 16 * size_t(fCapacity));
  }
  const int32_t r[4] = {Left, Top, Right, Bottom};
  std::memcpy(fRgnData.data() + kHeaderSize + 16 * size_t(fCount), r, 16);
  ++fCount;
  fBounds.Left = std::min(fBounds.Left, Left);
  fBounds.Top = std::min(fBounds.Top, Top);
  fBounds.Right = std::max(fBounds.Right, Right);
  fBounds.Bottom = std::max(fBounds.Bottom, Bottom);
}

HRGN TComplexRegion::CreateRegion() {
  if (fRgnData.empty()) return nullptr;
  RGNDATAHEADER h;
  h.dwSize = kHeaderSize;
  h.iType = RDH_RECTANGLES;
  h.nCount = DWORD(fCount);
  h.nRgnSize = 16;
  h.rcBound = RECT{fBounds.Left, fBounds.Top, fBounds.Right, fBounds.Bottom};
  static_assert(sizeof(RGNDATAHEADER) == kHeaderSize);
  std::memcpy(fRgnData.data(), &h, kHeaderSize);
  return ExtCreateRegion(nullptr, DWORD(size_t(fCount) * 16 + 36),
                         reinterpret_cast<const RGNDATA*>(fRgnData.data()));
}

// ---------------------------------------------------------------------------
// Shapes

HRGN PolygonRegion(const std::vector<POINT>& Points) {
  if (Points.size() < 3) return EmptyRegion();
  HRGN r = CreatePolygonRgn(Points.data(), int(Points.size()), WINDING);
  return r ? r : EmptyRegion();
}

HRGN CreateShapeRegion(int32_t Shape, int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  if (Shape < 0 || Shape > 16) return nullptr;
  if (Width <= 0 || Height <= 0) return EmptyRegion();
  const bool square = Shape <= 5 || (Shape >= 11 && Shape <= 14);
  if (square) {
    const int32_t S = std::min(Width, Height);
    Left += (Width - S) / 2;
    Top += (Height - S) / 2;
    Width = Height = S;
  }
  switch (Shape) {
    case 0:
      return TableRegion(kStar5, Left, Top, Width, Height, false, false);
    case 1:
      return TableRegion(kStar6, Left, Top, Width, Height, false, false);
    case 2:
    case 3:
    case 4:
    case 5: {
      const int o = Shape - 2;
      return TableRegion(kDiagonalArrow, Left, Top, Width, Height, o == 1 || o == 3, o == 2 || o == 3);
    }
    case 6:
    case 7:
      if (Width > Height) {
        Left += (Width - Height) / 2;
        Width = Height;
      }
      return TableRegion(kLightningBolt, Left, Top, Width, Height, Shape == 7, false);
    case 8:
    case 9:
      return TableRegion(kExplosion, Left, Top, Width, Height, Shape == 9, Shape == 9);
    case 10: {
      if (Width > RoundInt(Height * 0.75)) {
        const int32_t R = RoundInt(Height * 0.75);
        Left += (Width - R) / 2;
        Width = R;
      }
      const int32_t bar = std::min(RoundInt(Width * 0.2), RoundInt(Height * 0.22));
      const int32_t vx = Left + (Width - bar) / 2;
      const int32_t y = Top + RoundInt((Height - bar) * 0.33);
      return Unite(CreateRectRgn(vx, Top, vx + bar, Top + Height), CreateRectRgn(Left, y, Left + Width, y + bar));
    }
    case 11:
    case 12:
    case 13:
    case 14: {
      const int o = Shape - 11;
      return TableRegion(kFeatheredArrow, Left, Top, Width, Height, o == 1 || o == 3, o == 2 || o == 3);
    }
    case 15:
      return HeartRegion(Left, Top, Width, Height);
    default: {  // 16
      const int32_t w = MulDiv(Width, 66, 100), h = MulDiv(Height, 66, 100), lift = MulDiv(Height, 5, 100);
      return Unite(HeartRegion(Left, Top + lift, w, h),
                   HeartRegion(Left + MulDiv(Width, 34, 100), Top + MulDiv(Height, 34, 100) - lift, w, h));
    }
  }
}

HRGN ShapeRegionInRect(int32_t Shape, const TRect& Rect) {
  return CreateShapeRegion(Shape, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top);
}

HRGN SectorRegion(int32_t CX, int32_t CY, int32_t Radius, double StartAngle, double EndAngle, int32_t Count,
                  bool Forward) {
  Count = std::max(Count, 1);
  const double step = (EndAngle - StartAngle) / Count;
  std::vector<POINT> pts;
  pts.reserve(size_t(Count) + 2);
  pts.push_back(POINT{CX, CY});
  for (int32_t k = 0; k <= Count; ++k) {
    const double a = StartAngle + k * step;
    const int32_t dx = RoundInt(Radius * std::cos(a)), dy = RoundInt(Radius * std::sin(a));
    pts.push_back(Forward ? POINT{CX + dx, CY + dy} : POINT{CX - dx, CY - dy});
  }
  return PolygonRegion(pts);
}

void RotatePoints(POINT* Points, int32_t High, int32_t CX, int32_t CY, double Angle) {
  const double c = std::cos(Angle), s = std::sin(Angle);
  for (int32_t i = 0; i <= High; ++i) {
    const double dx = Points[i].x - CX, dy = Points[i].y - CY;
    Points[i].x = CX + RoundInt(dx * c - dy * s);
    Points[i].y = CY + RoundInt(dx * s + dy * c);
  }
}

// ---------------------------------------------------------------------------
// Bars, shreds, speckles

HRGN BarsRegion(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t HorizontalMode, int32_t VerticalMode) {
  const int32_t u = std::min(W, H) / 50 * (Alternative() ? 4 : 1) + 1;
  TComplexRegion cr;
  if (HorizontalMode != 0) {
    const int32_t m = HorizontalMode;
    if (X <= W) {
      for (int32_t b = 0; b < H + u; b += 2 * u) {
        if (m == 1 || m == 5 || m == 3) cr.AddRect(W - X, b, W, b + u);
        if (m == 2 || m == 4) cr.AddRect(0, b, X, b + u);
        if (m == 3) cr.AddRect(0, b + u, X, b + 2 * u);
      }
    } else {
      for (int32_t b = u; b < H + u; b += 2 * u) {
        cr.AddRect(0, b - u, W, b);
        if (m == 1 || m == 4) cr.AddRect(2 * W - X, b, W, b + u);
        if (m == 2 || m == 5) cr.AddRect(0, b, X - W, b + u);
      }
    }
  }
  if (VerticalMode != 0) {
    const int32_t m = VerticalMode;
    if (Y <= H) {
      for (int32_t c = 0; c < W + u; c += 2 * u) {
        if (m == 1 || m == 5 || m == 3) cr.AddRect(c, H - Y, c + u, H);
        if (m == 2 || m == 4) cr.AddRect(c, 0, c + u, Y);
        if (m == 3) cr.AddRect(c + u, 0, c + 2 * u, Y);
      }
    } else {
      for (int32_t c = u; c < W + u; c += 2 * u) {
        cr.AddRect(c - u, 0, c, H);
        if (m == 1 || m == 4) cr.AddRect(c, 2 * H - Y, c + u, H);
        if (m == 2 || m == 5) cr.AddRect(c, 0, c + u, Y - H);
      }
    }
  }
  return cr.CreateRegion();
}

HRGN ShredRegion(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t HorizontalMode, int32_t VerticalMode) {
  const int32_t t = std::min(W, H) / 200 * (Alternative() ? 2 : 1) + 1;
  TComplexRegion cr;
  if (HorizontalMode != 0) {
    const int32_t f = X < W ? W / 10 : 0;
    for (int32_t top = 0; top < H; top += t) {
      const int32_t L = Random(2 * f) + X - f;
      const int32_t B = top + t + (H % t);
      const int32_t L2 = L / 2, M = W / 2;
      switch (HorizontalMode) {
        case 1:
          cr.AddRect(W - L, top, W, B);
          break;
        case 2:
          cr.AddRect(0, top, L, B);
          break;
        case 3:
          cr.AddRect(M - L2, top, M, B);
          cr.AddRect(M, top, M + L2, B);
          break;
        default:
          cr.AddRect(W - L2, top, W, B);
          cr.AddRect(0, top, L2, B);
          break;
      }
    }
  }
  if (VerticalMode != 0) {
    const int32_t f = Y < H ? H / 10 : 0;
    for (int32_t left = 0; left < W; left += t) {
      const int32_t L = Y + Random(2 * f) - f;
      const int32_t R = left + t + (W % t);
      const int32_t L2 = L / 2, M = H / 2;
      switch (VerticalMode) {
        case 1:
          cr.AddRect(left, H - L, R, H);
          break;
        case 2:
          cr.AddRect(left, 0, R, L);
          break;
        case 3:
          cr.AddRect(left, M - L2, R, M);
          cr.AddRect(left, M, R, M + L2);
          break;
        default:
          cr.AddRect(left, H - L2, R, H);
          cr.AddRect(left, 0, R, L2);
          break;
      }
    }
  }
  return cr.CreateRegion();
}

HRGN SpeckleRegion(int32_t X, int32_t Y, int32_t W, int32_t H, int32_t HorizontalMode, int32_t VerticalMode) {
  TComplexRegion cr;
  const bool alt = Alternative();
  auto sizes = [alt](int32_t Z, int32_t& d, int32_t& n, int32_t& e) {
    d = std::max(2, alt ? Z / 40 : Z / 20);
    n = Z / d;
    e = (3 * Z) / (4 * d);
  };
  if (HorizontalMode != 0) {
    const int32_t Z = X < W ? W / 10 : 0;
    int32_t d, n, e;
    sizes(Z, d, n, e);
    for (int32_t top = 0; top < H; top += d / 2) {
      if (HorizontalMode == 1) {
        cr.AddRect(W - X, top, W, top + d);
        for (int32_t k = n; k >= 1; --k) {
          const int32_t r = Random(k);
          if (r <= (k <= e ? 1 : 0)) cr.AddRect(W - X - d * k, top, W - X - d * k + d, top + d);
        }
      } else {
        cr.AddRect(0, top, X, top + d);
        for (int32_t k = n; k >= 1; --k) {
          const int32_t r = Random(k);
          if (r <= (k <= e ? 1 : 0)) cr.AddRect(X + d * k - d, top, X + d * k, top + d);
        }
      }
    }
  }
  if (VerticalMode != 0) {
    const int32_t Z = Y < H ? H / 10 : 0;
    int32_t d, n, e;
    sizes(Z, d, n, e);
    for (int32_t left = 0; left < W; left += d / 2) {
      if (VerticalMode == 1) {
        cr.AddRect(left, H - Y, left + d, H);
        for (int32_t k = n; k >= 1; --k) {
          const int32_t r = Random(k);
          if (r <= (k <= e ? 1 : 0)) cr.AddRect(left, H - Y - d * k, left + d, H - Y - d * k + d);
        }
      } else {
        cr.AddRect(left, 0, left + d, Y);
        for (int32_t k = n; k >= 1; --k) {
          const int32_t r = Random(k);
          if (r <= (k <= e ? 1 : 0)) cr.AddRect(left, Y + d * k - d, left + d, Y + d * k);
        }
      }
    }
  }
  return cr.CreateRegion();
}

// ---------------------------------------------------------------------------
// Text

std::unique_ptr<TBitmap> TextBitmap(const std::string& Text, int32_t Size, const std::string& FontName,
                                    TColor FontColor, TFontStyles Style, TColor BackColor, int32_t Angle,
                                    bool Antialias, bool CellHeight) {
  auto bmp = std::make_unique<TBitmap>();
  bmp->SetPixelFormat(pf24bit);
  TFont font;
  font.SetName(FontName);
  font.SetColor(FontColor);
  font.SetStyle(Style);
  font.SetHeight(CellHeight ? Size : -Size);
  LOGFONTW lf{};
  GetObjectW(font.Handle(), int(sizeof(lf)), &lf);
  lf.lfEscapement = lf.lfOrientation = Angle * 10;
  lf.lfQuality = Antialias ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY;
  HFONT hf = CreateFontIndirectW(&lf);
  const std::u16string text = VXUTF8ToUTF16(Text);
  SIZE extent{0, 0};
  {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, hf);
    GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.c_str()), int(text.size()), &extent);
    SelectObject(dc, old);
    DeleteDC(dc);
  }
  if (extent.cx > 0 && extent.cy > 0) {
    bmp->SetSize(extent.cx, extent.cy);
    TCanvas* c = bmp->Canvas();
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(BackColor);
    c->FillRect(TRect{0, 0, extent.cx, extent.cy});
    HDC dc = c->Handle();
    HGDIOBJ old = SelectObject(dc, hf);
    const COLORREF oldColor = SetTextColor(dc, VXColorToRGB(FontColor));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 0, 0, reinterpret_cast<LPCWSTR>(text.c_str()), int(text.size()));
    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldColor);
    SelectObject(dc, old);
  }
  DeleteObject(hf);
  return bmp;
}

HRGN BitmapToRegion(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t DestWidth, int32_t DestHeight,
                    TColor Transparent) {
  if (!Bitmap || Bitmap->Empty()) return nullptr;
  const int32_t bw = Bitmap->Width(), bh = Bitmap->Height();
  const double sx = double(DestWidth) / bw, sy = double(DestHeight) / bh;
  if (Bitmap->PixelFormat() != pf24bit) Bitmap->SetPixelFormat(pf24bit);
  const COLORREF t = VXColorToRGB(Transparent);
  const uint8_t tb = uint8_t(t >> 16), tg = uint8_t(t >> 8), tr = uint8_t(t);
  TComplexRegion cr;
  for (int32_t y = 0; y < bh; ++y) {
    const auto* p = static_cast<const uint8_t*>(Bitmap->ScanLine(y));
    int32_t x = 0;
    while (x < bw) {
      while (x < bw && p[3 * x] == tb && p[3 * x + 1] == tg && p[3 * x + 2] == tr) ++x;
      if (x >= bw) break;
      const int32_t x0 = x;
      while (x < bw && !(p[3 * x] == tb && p[3 * x + 1] == tg && p[3 * x + 2] == tr)) ++x;
      cr.AddRect(Left + int32_t(x0 * sx), Top + int32_t(y * sy), Left + int32_t(x * sx), Top + int32_t((y + 1) * sy));
    }
  }
  return cr.CreateRegion();
}

HRGN WordRegion(const TRect& Rect, int32_t Progress, int32_t Start, int32_t End, bool WholeWord, bool CellHeight) {
  TVXWordTransitionParams* params = VXGetGlobalSettings()->WordTransitionParams();
  if (params->Word.empty()) params->Word = "A";
  if (params->FontName.empty()) params->FontName = "Arial";
  if (params->Quality < 10) params->Quality = 200;
  std::u16string text = VXUTF8ToUTF16(params->Word);
  bool unit = false;
  if (text.size() > 1 && text.front() == u'"' && text.back() == u'"') {
    text = text.substr(1, text.size() - 2);
    if (text.empty()) text = u"X";
    unit = true;
  }
  std::u16string drawn = text;
  if (!WholeWord && !unit && text.size() > 1) {
    size_t index;
    if (Progress <= Start)
      index = 0;
    else if (Progress < End)
      index = size_t(double(Progress - Start) / double(End - Start) * double(text.size()));
    else
      index = text.size() - 1;
    drawn = text.substr(std::min(index, text.size() - 1), 1);
  }
  const int32_t size = std::min<int32_t>(Rect.Bottom - Rect.Top, params->Quality);
  if (size <= 0) return nullptr;
  std::unique_ptr<TBitmap> bmp = TextBitmap(VXUTF16ToUTF8(drawn), size, params->FontName, 0x000000, params->Style,
                                            0xFFFFFF, 0, false, CellHeight);
  if (bmp->Empty()) return nullptr;
  TRect R{};
  VXFitImageRectInRect(bmp->Width(), bmp->Height(), Rect, true, true, true, true, 0, false, R);
  const int32_t rh = R.Bottom - R.Top;
  if (rh <= 0) return nullptr;
  return BitmapToRegion(bmp.get(), R.Left, R.Top, RoundInt(double(bmp->Width()) / bmp->Height() * rh), rh, 0xFFFFFF);
}
