#include "core/decorate.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/gaussblur.h"

namespace {

// The two halves of a 3D frame with a solid copying pen: left and top in
// TopLeftColor, then bottom and right in BottomRightColor.
template <typename TAnyCanvas>
void DrawFrameSides(TAnyCanvas* Canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor TopLeftColor,
                    TColor BottomRightColor) {
  auto* pen = Canvas->Pen();
  pen->SetMode(pmCopy);
  pen->SetStyle(psSolid);
  pen->SetColor(TopLeftColor);
  Canvas->MoveTo(x1, y2);
  Canvas->LineTo(x1, y1);
  Canvas->LineTo(x2, y1);
  pen->SetColor(BottomRightColor);
  Canvas->MoveTo(x1, y2);
  Canvas->LineTo(x2, y2);
  Canvas->LineTo(x2, y1);
}

}  // namespace

void VXDrawFrame3D(TCanvas* Canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor TopLeftColor,
                   TColor BottomRightColor) {
  if (!Canvas) return;
  Canvas->Pen()->SetWidth(1);
  DrawFrameSides(Canvas, x1, y1, x2, y2, TopLeftColor, BottomRightColor);
}

void VXDrawCanvasFrame3D(TVXCanvas* Canvas, int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor TopLeftColor,
                         TColor BottomRightColor) {
  if (!Canvas) return;
  DrawFrameSides(Canvas, x1, y1, x2, y2, TopLeftColor, BottomRightColor);
}

void VXDrawTextHint(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Text, TFont* Font, TBrush* Brush,
                    TBitmap* Saved, int32_t AreaWidth, int32_t AreaHeight, TColor TopLeftColor,
                    TColor BottomRightColor) {
  if (!Canvas) return;
  if (Font) Canvas->Font()->Assign(Font);
  if (Brush) Canvas->Brush()->Assign(Brush);
  const int32_t W = Canvas->TextWidth(Text) + 12;
  const int32_t H = Canvas->TextHeight(Text) + 12;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  X = std::min(X, AreaWidth - W - 1);
  Y = std::min(Y, AreaHeight - H - 1);
  if (Saved) {
    Saved->SetPixelFormat(pf24bit);
    Saved->SetSize(W, H);
    Saved->Canvas()->SetCopyMode(cmSrcCopy);
    Saved->Canvas()->CopyRect(TRect{0, 0, W, H}, Canvas, TRect{X, Y, X + W, Y + H});
  }
  Canvas->FillRect(TRect{X + 6, Y + 6, X + W, Y + H});
  VXDrawFrame3D(Canvas, X + 6, Y + 6, X + W - 1, Y + H - 1, TopLeftColor, BottomRightColor);
  Canvas->TextOut(X + 9, Y + 9, Text);
}

void VXDrawTextHintAlpha(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Template,
                         const std::string& Text) {
  if (!Canvas) return;
  auto canvas = std::make_unique<TVXCanvas>(Canvas, true, true);
  TFont* font = Canvas->Font();
  font->SetName("Arial");
  font->SetSize(9);
  font->SetColor(clBlack);
  canvas->Brush()->SetColor(TColor(0x60FFFF));
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetTransparency(128);
  const int32_t W = std::max(Canvas->TextWidth(Text) + 12, Canvas->TextWidth(Template) + 12);
  const int32_t H = Canvas->TextHeight(Text) + 12;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  canvas->FillRect(TRect{X + 6, Y + 6, X + W, Y + H});
  VXDrawCanvasFrame3D(canvas.get(), X + 6, Y + 6, X + W - 1, Y + H - 1, TColor(0xFFFFFF), TColor(0x808080));
  canvas->Brush()->SetStyle(bsClear);
  canvas.reset();  // the box is finished before the text goes over it
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->TextOut(X + 9, Y + 9, Text);
}

namespace {

// Multiplies the channels of pixel (x, y) by f (truncating): in Bitmap's rows
// when it holds the pixel, else through the canvas.
void Darken(TCanvas* Canvas, TBitmap* Bitmap, int32_t x, int32_t y, double f) {
  if (Bitmap && x >= 0 && y >= 0 && x < Bitmap->Width() && y < Bitmap->Height() &&
      (Bitmap->PixelFormat() == pf24bit || Bitmap->PixelFormat() == pf32bit)) {
    const int32_t bytes = Bitmap->PixelFormat() == pf24bit ? 3 : 4;
    uint8_t* p = static_cast<uint8_t*>(Bitmap->ScanLine(y)) + size_t(x) * size_t(bytes);
    for (int c = 0; c < 3; ++c) p[c] = uint8_t(int32_t(p[c] * f));
    return;
  }
  if (!Canvas) return;
  const TColor v = Canvas->Pixels(x, y);
  if (uint32_t(v) == CLR_INVALID) return;  // outside the canvas's surface
  const uint32_t r = uint32_t(int32_t((v & 0xFF) * f));
  const uint32_t g = uint32_t(int32_t(((v >> 8) & 0xFF) * f));
  const uint32_t b = uint32_t(int32_t(((v >> 16) & 0xFF) * f));
  Canvas->SetPixels(x, y, TColor(r | (g << 8) | (b << 16)));
}

TColor Grey(int32_t v) {
  const uint32_t g = uint32_t(std::clamp(v, 0, 255));
  return TColor(g | (g << 8) | (g << 16));
}

// The grey of the gradient strip: distance k of Len from the image, against
// the floor g0.
int32_t GradientGrey(int32_t k, int32_t Len, int32_t g0) {
  return std::max(int32_t(std::exp(double(k) / Len) / M_E * 255), g0);
}

int32_t GradientFloor(int32_t j, int32_t Len) {
  return std::clamp(int32_t(std::exp(double(Len - 3 * j) / Len) / M_E * 255), 0, 255);
}

// A shadow strip along one side of an image, seen along its length: it is
// A1..A2 across (the first of them next to the image) and B1..B2 along;
// Down says the strip runs down the page (the right strip: across is x,
// along is y), else across the page (the bottom strip: across is y). In the
// soft kind, line i of the strip (i from the image) ends along at
// B2 - thickness + i + Tail.
void DrawShadowStrip(TCanvas* Canvas, TBitmap* Bitmap, int32_t A1, int32_t A2, int32_t B1, int32_t B2, bool Down,
                     int32_t Tail, uint8_t Kind) {
  const int32_t T = A2 - A1 + 1;  // thickness
  const int32_t L = B2 - B1 + 1;  // length
  auto xOf = [Down](int32_t a, int32_t b) { return Down ? a : b; };
  auto yOf = [Down](int32_t a, int32_t b) { return Down ? b : a; };
  switch (Kind) {
    case 1:
      if (Canvas) Canvas->FillRect(TRect{xOf(A1, B1 + T), yOf(A1, B1 + T), xOf(A2, B2 + 1), yOf(A2, B2 + 1)});
      break;
    case 2:
      for (int32_t i = 0; i < T; ++i) {
        const double t = (T - i) / (T / 3.0);
        const double f = std::exp(-0.1 - t * t / 6);
        for (int32_t b = B1 + T; b <= B2 - T + i + Tail; ++b) Darken(Canvas, Bitmap, xOf(A1 + i, b), yOf(A1 + i, b), f);
      }
      break;
    case 3:
      // A strip of no width or height has no gradient.
      if (!Canvas || T < 1 || L < 1) break;
      for (int32_t j = 0, k0 = 0; j <= L; ++j) {
        const int32_t g0 = GradientFloor(j, L);
        if (j > L - T + 1) ++k0;
        for (int32_t k = k0; k <= T; ++k)
          Canvas->SetPixels(xOf(A1 + k, B1 + j), yOf(A1 + k, B1 + j), Grey(GradientGrey(k, T, g0)));
      }
      break;
    default:
      break;
  }
}

}  // namespace

void VXDrawShadowRight(TCanvas* Canvas, TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       uint8_t Kind) {
  DrawShadowStrip(Canvas, Bitmap, x1, x2, y1, y2, /*Down=*/true, /*Tail=*/3, Kind);
}

void VXDrawShadowBottom(TCanvas* Canvas, TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                        uint8_t Kind) {
  DrawShadowStrip(Canvas, Bitmap, y1, y2, x1, x2, /*Down=*/false, /*Tail=*/1, Kind);
}

void VXDrawSoftShadow(TBitmap* Bitmap, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!Bitmap || (Bitmap->PixelFormat() != pf24bit && Bitmap->PixelFormat() != pf32bit)) return;
  const int64_t mw = int64_t(x2) - x1 + 11;
  const int64_t mh = int64_t(y2) - y1 + 11;
  if (mw < 1 || mh < 1 || mw > INT32_MAX || mh > INT32_MAX) return;
  TVXBitmap mask;
  if (!mask.Allocate(int32_t(mw), int32_t(mh), vx8g)) return;
  mask.Fill(0);
  mask.FillRect(5, 5, int32_t(mw) - 4, int32_t(mh) - 4, 255);
  VXGaussianBlurGray(&mask, 0, 0, int32_t(mw) - 1, int32_t(mh) - 1, 2.5);
  const int32_t bytes = Bitmap->PixelFormat() == pf24bit ? 3 : 4;
  const int32_t ya = std::max(y1 - 5, 0), yb = std::min(y2 + 5, Bitmap->Height() - 1);
  const int32_t xa = std::max(x1 - 5, 0), xb = std::min(x2 + 5, Bitmap->Width() - 1);
  for (int32_t y = ya; y <= yb; ++y) {
    uint8_t* row = static_cast<uint8_t*>(Bitmap->ScanLine(y));
    const uint8_t* m = static_cast<const uint8_t*>(mask.Scanline(y - y1 + 5));
    for (int32_t x = xa; x <= xb; ++x) {
      if (x >= x1 && x < x2 && y >= y1 && y < y2) continue;
      const double f = 1 - m[x - x1 + 5] / 255.0;
      uint8_t* p = row + size_t(x) * size_t(bytes);
      for (int c = 0; c < 3; ++c) p[c] = uint8_t(int32_t(p[c] * f));
    }
  }
}
