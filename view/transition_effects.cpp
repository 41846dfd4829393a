// The effects the transition engine draws itself: fades, straight wipes,
// corner slides, pushes and slide-outs, random points and boxes, the centre
// wipes and zooms, page flips, cube rotations and soft wipes. They work on
// the engine's three 24-bit pictures with the step s (0 .. 1024) directly;
// channel arithmetic is per blue, green and red byte in integers.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "core/random.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "proc/perspective.h"
#include "view/transition_catalogue.h"
#include "view/transitions.h"
#include "winui/gdi.h"

namespace {

uint8_t* Row(TBitmap* b, int32_t y) { return static_cast<uint8_t*>(b->ScanLine(y)); }

// Nearest integer of A / 1024, halves to even.
int32_t RoundDiv1024(int64_t A) { return int32_t(std::nearbyint(double(A) / 1024.0)); }

bool Alternative() { return VXGetGlobalSettings()->TransitionsDrawAlternative(); }

HDC DC(TBitmap* b) { return b->Canvas()->Handle(); }

}  // namespace

// A plain block copy of Source's (SX, SY, W, H) to (X, Y) of Dest, both
// 24-bit pictures of the engine, clipped to both: row copies, as the
// platform's block copy of one 24-bit picture onto another would do.
void VXTransitionBlit(TBitmap* Dest, int32_t X, int32_t Y, int32_t W, int32_t H, TBitmap* Source, int32_t SX,
                      int32_t SY) {
  if (SX < 0) {
    X -= SX;
    W += SX;
    SX = 0;
  }
  if (SY < 0) {
    Y -= SY;
    H += SY;
    SY = 0;
  }
  if (X < 0) {
    SX -= X;
    W += X;
    X = 0;
  }
  if (Y < 0) {
    SY -= Y;
    H += Y;
    Y = 0;
  }
  W = std::min({W, Dest->Width() - X, Source->Width() - SX});
  H = std::min({H, Dest->Height() - Y, Source->Height() - SY});
  if (W <= 0 || H <= 0) return;
  for (int32_t r = 0; r < H; ++r)
    std::memmove(Row(Dest, Y + r) + size_t(X) * 3, Row(Source, SY + r) + size_t(SX) * 3, size_t(W) * 3);
}

namespace {

void Blit(TBitmap* Dest, int32_t X, int32_t Y, int32_t W, int32_t H, TBitmap* Source, int32_t SX, int32_t SY) {
  VXTransitionBlit(Dest, X, Y, W, H, Source, SX, SY);
}

// A halftone stretch of Source's (SX, SY, SW, SH) into (X, Y, W, H).
void Stretch(TBitmap* Dest, int32_t X, int32_t Y, int32_t W, int32_t H, TBitmap* Source, int32_t SX, int32_t SY,
             int32_t SW, int32_t SH) {
  if (W <= 0 || H <= 0 || SW <= 0 || SH <= 0) return;
  SetStretchBltMode(DC(Dest), HALFTONE);
  StretchBlt(DC(Dest), X, Y, W, H, DC(Source), SX, SY, SW, SH, SRCCOPY);
}

// The frame's line pen: red, one pixel, or grey, two pixels, in the
// alternative look.
void SetLinePen(TCanvas* C) {
  TPen* pen = C->Pen();
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  if (Alternative()) {
    pen->SetColor(0x808080);
    pen->SetWidth(2);
  } else {
    pen->SetColor(0x0000FF);
    pen->SetWidth(1);
  }
}

void SetBlackPen(TCanvas* C) {
  TPen* pen = C->Pen();
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  pen->SetColor(0);
  pen->SetWidth(1);
}

void Line(TCanvas* C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  C->MoveTo(X1, Y1);
  C->LineTo(X2, Y2);
}

// Rows 0 .. H - 1 of (0, 0, W, H) of a picture as a library bitmap of its own.
std::unique_ptr<TVXBitmap> Part(TBitmap* b, int32_t X, int32_t W, int32_t H) {
  return std::make_unique<TVXBitmap>(b, TRect{X, 0, X + W - 1, H - 1});
}

void Quad(TVXBitmap* Source, TVXBitmap* Dest, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
          int32_t x3, int32_t y3) {
  if (Source->Width() <= 0 || Source->Height() <= 0) return;
  VXDrawToQuad(Source, Dest, x0, y0, x1, y1, x2, y2, x3, y3, -1, -1, true, 255);
}

}  // namespace

bool TVXTransitionEffects::DrawOwnEffect() {
  switch (fTransition) {
    case vxttCrossDissolve:
    case vxttFadeOut:
    case vxttFadeIn:
    case vxttFadeOutIn:
      DrawFade();
      return true;
    case vxttLeftRight1:
    case vxttLeftRight2:
    case vxttRightLeft1:
    case vxttRightLeft2:
    case vxttUpDown1:
    case vxttUpDown2:
    case vxttDownUp1:
    case vxttDownUp2:
      DrawStraightWipe();
      return true;
    case vxttFromUpLeft:
    case vxttFromUpRight:
    case vxttFromBottomLeft:
    case vxttFromBottomRight:
      DrawCornerSlide();
      return true;
    case vxttMoveLeftRight1:
    case vxttMoveLeftRight2:
    case vxttMoveRightLeft1:
    case vxttMoveRightLeft2:
    case vxttMoveUpDown1:
    case vxttMoveUpDown2:
    case vxttMoveDownUp1:
    case vxttMoveDownUp2:
      DrawPush();
      return true;
    case vxttRandomPoints:
      DrawRandomPoints();
      return true;
    case vxttRandomBoxes:
      DrawRandomBoxes();
      return true;
    case vxttCenter1:
    case vxttCenter2:
    case vxttCenterZoom1:
    case vxttCenterZoom2:
      DrawCenter();
      return true;
    case vxttPageFlip:
      DrawPageFlip(true);
      return true;
    case vxttReversePageFlip:
      DrawPageFlip(false);
      return true;
    case vxttPageFlip2:
      DrawPerspectivePageFlip(true);
      return true;
    case vxttReversePageFlip2:
      DrawPerspectivePageFlip(false);
      return true;
    case vxttCubeRotateFromLeft:
    case vxttCubeRotateFromRight:
    case vxttCubeRotateFromTop:
    case vxttCubeRotateFromBottom:
    case vxttCubeRotateFromLeft2:
    case vxttCubeRotateFromRight2:
    case vxttCubeRotateFromTop2:
    case vxttCubeRotateFromBottom2:
      DrawCube();
      return true;
    case vxttSoftWipeFromLeft:
    case vxttSoftWipeFromRight:
    case vxttSoftWipeFromTop:
    case vxttSoftWipeFromBottom:
      DrawSoftWipe();
      return true;
    default:
      return false;
  }
}

namespace {

struct Bgr {
  int32_t c[3];
};

Bgr BackgroundBytes(TColor Background) {
  const COLORREF c = VXColorToRGB(Background);
  return Bgr{{int32_t((c >> 16) & 255), int32_t((c >> 8) & 255), int32_t(c & 255)}};
}

}  // namespace

void TVXTransitionEffects::DrawFade() {
  const Bgr bg = BackgroundBytes(fBackground);
  int32_t s = fStep;
  // 1 cross fade; 2 fade out towards bg; 3 fade in from bg.
  int kind = fTransition == vxttCrossDissolve ? 1 : fTransition == vxttFadeOut ? 2 : 3;
  if (fTransition == vxttFadeOutIn) {
    if (s < 512) {
      kind = 2;
      s = 2 * s;
    } else {
      kind = 3;
      s = 2 * s - 1024;
    }
  }
  const uint32_t r = uint32_t(1024 - s), w = uint32_t(s);
  const size_t n = size_t(fWidth) * 3;
  // The background repeated over a row, for the two fades through it.
  std::vector<uint8_t> bgRow;
  if (kind != 1) {
    bgRow.resize(n);
    for (size_t i = 0; i < n; ++i) bgRow[i] = uint8_t(bg.c[i % 3]);
  }
  for (int32_t y = 0; y < fHeight; ++y) {
    // Fade out: the background takes the place of the target; fade in: of
    // the source.
    const uint8_t* __restrict a = kind == 3 ? bgRow.data() : Row(fSourceShot.get(), y);
    const uint8_t* __restrict b = kind == 2 ? bgRow.data() : Row(fTargetShot.get(), y);
    uint8_t* __restrict d = Row(fCurrentView.get(), y);
    for (size_t i = 0; i < n; ++i) d[i] = uint8_t((a[i] * r + b[i] * w) >> 10);
  }
}

void TVXTransitionEffects::DrawStraightWipe() {
  const int32_t s = fStep, W = fWidth, H = fHeight;
  if (s == 0 || FFirstStep) ResetToSource();
  TBitmap* frame = fCurrentView.get();
  TBitmap* target = fTargetShot.get();
  TCanvas* c = frame->Canvas();
  switch (fTransition) {
    case vxttLeftRight1:
    case vxttLeftRight2: {
      const int32_t x = int32_t((int64_t(s) * W) >> 10);
      Blit(frame, 0, 0, x, H, target, 0, 0);
      if (fTransition == vxttLeftRight2) {
        SetLinePen(c);
        Line(c, x, 0, x, H);
      }
      break;
    }
    case vxttRightLeft1:
    case vxttRightLeft2: {
      const int32_t x = RoundDiv1024(int64_t(W) * (1024 - s)), w = RoundDiv1024(int64_t(s) * W);
      Blit(frame, x, 0, w, H, target, x, 0);
      if (fTransition == vxttRightLeft2) {
        SetLinePen(c);
        Line(c, x, 0, x, H);
      }
      break;
    }
    case vxttUpDown1:
    case vxttUpDown2: {
      const int32_t y = RoundDiv1024(int64_t(s) * H);
      Blit(frame, 0, 0, W, y, target, 0, 0);
      if (fTransition == vxttUpDown2) {
        SetLinePen(c);
        Line(c, 0, y, W, y);
      }
      break;
    }
    default: {
      const int32_t y = RoundDiv1024(int64_t(H) * (1024 - s)), h = RoundDiv1024(int64_t(s) * H);
      Blit(frame, 0, y, W, h, target, 0, y);
      if (fTransition == vxttDownUp2) {
        SetLinePen(c);
        Line(c, 0, y, W, y);
      }
      break;
    }
  }
}

void TVXTransitionEffects::DrawCornerSlide() {
  const int32_t s = fStep;
  if (s == 0 || FFirstStep) ResetToSource();
  const int32_t dx = int32_t((int64_t(1024 - s) * fWidth) >> 10), dy = int32_t((int64_t(1024 - s) * fHeight) >> 10);
  int32_t x = dx, y = dy;
  if (fTransition == vxttFromUpLeft || fTransition == vxttFromBottomLeft) x = -dx;
  if (fTransition == vxttFromUpLeft || fTransition == vxttFromUpRight) y = -dy;
  Blit(fCurrentView.get(), x, y, fWidth, fHeight, fTargetShot.get(), 0, 0);
}

void TVXTransitionEffects::DrawPush() {
  const int32_t s = fStep, W = fWidth, H = fHeight;
  TBitmap* src = fSourceShot.get();
  TBitmap* tgt = fTargetShot.get();
  TBitmap* frame = fCurrentView.get();
  const int32_t b = int32_t((int64_t(s) * W) >> 10), c = int32_t((int64_t(1024 - s) * W) >> 10);
  const int32_t r = int32_t((int64_t(s) * H) >> 10), q = int32_t((int64_t(1024 - s) * H) >> 10);
  // Columns: n pixels of row y of From starting at column FromX to column ToX.
  auto cols = [](uint8_t* dst, int32_t ToX, const uint8_t* from, int32_t FromX, int32_t n) {
    if (n > 0) std::memcpy(dst + size_t(ToX) * 3, from + size_t(FromX) * 3, size_t(n) * 3);
  };
  const size_t rowBytes = size_t(W) * 3;
  auto row = [&](int32_t To, TBitmap* From, int32_t FromY) { std::memcpy(Row(frame, To), Row(From, FromY), rowBytes); };
  switch (fTransition) {
    case vxttMoveLeftRight1:
    case vxttMoveLeftRight2:
    case vxttMoveRightLeft1:
    case vxttMoveRightLeft2:
      for (int32_t y = 0; y < H; ++y) {
        uint8_t* d = Row(frame, y);
        const uint8_t* so = Row(src, y);
        const uint8_t* ta = Row(tgt, y);
        if (fTransition == vxttMoveLeftRight1) {
          cols(d, 0, ta, W - b, b);
          cols(d, b, so, 0, W - b);
        } else if (fTransition == vxttMoveLeftRight2) {
          cols(d, 0, ta, 0, b);
          cols(d, b, so, 0, W - b);
        } else if (fTransition == vxttMoveRightLeft1) {
          cols(d, 0, so, W - c, c);
          cols(d, c, ta, 0, W - c);
        } else {
          cols(d, 0, so, 0, c);
          cols(d, c, ta, 0, W - c);
        }
      }
      break;
    case vxttMoveUpDown1:
      for (int32_t y = 0; y < r; ++y) row(y, tgt, H - r + y);
      for (int32_t y = r; y < H; ++y) row(y, src, y - r);
      break;
    case vxttMoveUpDown2:
      for (int32_t y = 0; y < r; ++y) row(y, tgt, y);
      for (int32_t y = r; y < H; ++y) row(y, src, y - r);
      break;
    case vxttMoveDownUp1:
      for (int32_t y = 0; y < q; ++y) row(y, src, H - q + y);
      for (int32_t y = q; y < H; ++y) row(y, tgt, y - q);
      break;
    default:  // vxttMoveDownUp2
      for (int32_t y = 0; y < q; ++y) row(y, src, H - q + y);
      for (int32_t y = q; y < H; ++y) row(y, tgt, y);
      break;
  }
}

void TVXTransitionEffects::DrawRandomPoints() {
  const int32_t s = fStep, W = fWidth;
  if (s == 0 || FFirstStep) ResetToSource();
  if (s <= 0) return;
  const int32_t total = int32_t(std::nearbyint(double(s) * W * (double(s) / 180.0) / 1024.0));
  const int32_t n = total - fAccum1;
  fAccum1 = total;
  const int32_t extra = Alternative() ? 5 : 0;
  for (int32_t y = 0; y < fHeight; ++y) {
    const uint8_t* t = Row(fTargetShot.get(), y);
    uint8_t* d = Row(fCurrentView.get(), y);
    for (int32_t k = 0; k < n; ++k) {
      const int32_t x = Random(W);
      const int32_t last = std::min(W - 1, x + extra);
      std::memcpy(d + size_t(x) * 3, t + size_t(x) * 3, size_t(last - x + 1) * 3);
    }
  }
}

void TVXTransitionEffects::DrawRandomBoxes() {
  const int32_t s = fStep, W = fWidth, H = fHeight;
  const int32_t B = Alternative() ? 16 : 8;
  if (s == 0) {
    ResetToSource();
    return;
  }
  const int64_t cells = (int64_t(W) * H) / (B * B);
  const int32_t total = int32_t(std::nearbyint(double(s) * double(cells) * (double(s) / 180.0) / 1024.0));
  const int32_t n = total - fAccum1;
  fAccum1 = total;
  for (int32_t k = 0; k < n; ++k) {
    const int32_t x = Random(W) / 8 * 8;
    const int32_t y = Random(H) / 8 * 8;
    Blit(fCurrentView.get(), x, y, B, B, fTargetShot.get(), x, y);
  }
}

void TVXTransitionEffects::DrawCenter() {
  const int32_t s = fStep, W = fWidth, H = fHeight, hw = W / 2, hh = H / 2;
  auto rect = [&](int32_t t) {
    return TRect{hw - int32_t((int64_t(t) * hw) >> 10), hh - int32_t((int64_t(t) * hh) >> 10),
                 int32_t((int64_t(t) * W) >> 10), int32_t((int64_t(t) * H) >> 10)};  // x, y, w, h
  };
  TBitmap* frame = fCurrentView.get();
  switch (fTransition) {
    case vxttCenter1: {
      if (s == 0 || FFirstStep) ResetToSource();
      const TRect r = rect(s);
      Blit(frame, r.Left, r.Top, r.Right, r.Bottom, fTargetShot.get(), r.Left, r.Top);
      break;
    }
    case vxttCenter2: {
      Blit(frame, 0, 0, W, H, fTargetShot.get(), 0, 0);
      const TRect r = rect(1024 - s);
      Blit(frame, r.Left, r.Top, r.Right, r.Bottom, fSourceShot.get(), r.Left, r.Top);
      break;
    }
    case vxttCenterZoom1: {
      if (s == 0 || FFirstStep) ResetToSource();
      const TRect r = rect(s);
      Stretch(frame, r.Left, r.Top, r.Right, r.Bottom, fTargetShot.get(), 0, 0, W, H);
      break;
    }
    default: {  // vxttCenterZoom2
      Blit(frame, 0, 0, W, H, fTargetShot.get(), 0, 0);
      const TRect r = rect(1024 - s);
      Stretch(frame, r.Left, r.Top, r.Right, r.Bottom, fSourceShot.get(), 0, 0, W, H);
      break;
    }
  }
}

void TVXTransitionEffects::PageShade(int32_t Edge, bool Forward) {
  const int32_t s = fStep;
  const int32_t f = std::min(1024, s < 512 ? s + 512 : 1536 - s);
  const Bgr bg = BackgroundBytes(fBackground);
  int32_t from, to;  // shaded columns from .. to - 1
  if (Forward) {
    if (s >= 512) {
      from = 0;
      to = Edge;
    } else {
      from = Edge + 1;
      to = fWidth;
    }
  } else if (s >= 512) {
    from = Edge;
    to = fWidth;
  } else {
    from = 0;
    to = Edge + 1;
  }
  from = std::max(0, from);
  to = std::min(fWidth, to);
  if (f < 1024)
    for (int32_t y = 0; y < fHeight; ++y) {
      uint8_t* d = Row(fCurrentView.get(), y);
      for (int32_t x = from; x < to; ++x)
        for (int ch = 0; ch < 3; ++ch) {
          uint8_t& p = d[size_t(x) * 3 + ch];
          p = uint8_t((bg.c[ch] * (1024 - f) + p * f) >> 10);
        }
    }
  Line(fCurrentView->Canvas(), Edge, 0, Edge, fHeight);
}

void TVXTransitionEffects::DrawPageFlip(bool Forward) {
  const int32_t s = fStep, W = fWidth, H = fHeight, M = W / 2;
  if (s == 0 || FFirstStep) ResetToSource();
  if (s == 0) return;
  TBitmap* frame = fCurrentView.get();
  TBitmap* src = fSourceShot.get();
  TBitmap* tgt = fTargetShot.get();
  SetBlackPen(frame->Canvas());
  const bool alt = Alternative();
  int32_t c;
  if (Forward) {
    Blit(frame, M, 0, M, H, tgt, M, 0);
    if (s > 512) {
      const int32_t n = MulDiv(W, s - 512, 512);
      if (!alt) Blit(frame, 0, 0, M, H, src, 0, 0);
      Stretch(frame, M - n / 2, 0, n / 2, H, tgt, 0, 0, M, H);
      c = M - n / 2;
    } else {
      const int32_t b = MulDiv(W, 512 - s, 1024);
      Stretch(frame, M, 0, b, H, src, M, 0, M, H);
      c = M + b;
    }
  } else {
    Blit(frame, 0, 0, M, H, tgt, 0, 0);
    if (s > 512) {
      const int32_t n = MulDiv(W, s - 512, 512);
      Blit(frame, M, 0, M, H, src, M, 0);
      Stretch(frame, M, 0, n / 2, H, tgt, M, 0, M, H);
      c = M + n / 2;
    } else {
      c = MulDiv(W, s, 1024);
      Stretch(frame, c, 0, M - c, H, src, 0, 0, M, H);
    }
  }
  if (!alt) PageShade(c, Forward);
}

void TVXTransitionEffects::DrawPerspectivePageFlip(bool Forward) {
  const int32_t s = fStep, W = fWidth, H = fHeight, M = W / 2;
  if (s == 0 || FFirstStep) ResetToSource();
  if (s == 0) return;
  const int32_t s1 = s > 512 ? 1024 - s : s;
  const int32_t a = MulDiv(H, s1, 5120), e = a / 2;
  TBitmap* frame = fCurrentView.get();
  TCanvas* canvas = frame->Canvas();
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(fBackground);
  canvas->FillRect(TRect{0, 0, W, H});
  SetStretchBltMode(canvas->Handle(), HALFTONE);
  SetBlackPen(canvas);
  const int32_t RW = W - M;
  auto srcL = Part(fSourceShot.get(), 0, M, H);
  auto srcR = Part(fSourceShot.get(), M, RW, H);
  auto tgtL = Part(fTargetShot.get(), 0, M, H);
  auto tgtR = Part(fTargetShot.get(), M, RW, H);
  TVXBitmap dest;
  dest.EncapsulateTBitmap(frame, false);
  int32_t c;
  if (Forward) {
    Quad(srcL.get(), &dest, e, e, M, a, M, H - a, e, H - e);
    Quad(tgtR.get(), &dest, M, a, W - e, e, W - e, H - e, M, H - a);
    if (s > 512) {
      const int32_t g = MulDiv(W, s - 512, 512) / 2;
      Quad(tgtL.get(), &dest, M - g, 0, M, a, M, H - a, M - g, H);
      c = M - g;
    } else {
      const int32_t g = MulDiv(W, 512 - s, 1024);
      Quad(srcR.get(), &dest, M, a, M + g, 0, M + g, H, M, H - a);
      c = M + g;
    }
  } else {
    Quad(tgtL.get(), &dest, e, 0, M, a, M, H - a, e, H);
    Quad(srcR.get(), &dest, M, a, W - e, 0, W - e, H, M, H - a);
    if (s > 512) {
      const int32_t g = MulDiv(W, s - 512, 512) / 2;
      Quad(tgtR.get(), &dest, M, a, M + g, 0, M + g, H, M, H - a);
      c = M + g;
    } else {
      const int32_t g = MulDiv(W, s, 1024);
      Quad(srcL.get(), &dest, g, 0, M, a, M, H - a, g, H);
      c = g;
    }
  }
  PageShade(c, Forward);
  if (!Alternative()) AlphaFillRect(canvas->Handle(), TRect{M, 0, M + 1, H}, fBackground, MulDiv(s1, 255, 1024));
}

void TVXTransitionEffects::CubeShade(int32_t Edge, bool ByColumns, bool Kind1) {
  const int32_t s = fStep;
  const int32_t A = std::min(1024, int32_t(std::nearbyint(s + 256.667)));
  const int32_t B = std::min(1024, int32_t(std::nearbyint(1024 - s + 256.667)));
  const int32_t first = Kind1 ? A : B, second = Kind1 ? B : A;
  const Bgr bg = BackgroundBytes(fBackground);
  for (int32_t y = 0; y < fHeight; ++y) {
    uint8_t* d = Row(fCurrentView.get(), y);
    for (int32_t x = 0; x < fWidth; ++x) {
      const int32_t f = (ByColumns ? x < Edge : y < Edge) ? first : second;
      for (int ch = 0; ch < 3; ++ch) {
        uint8_t& p = d[size_t(x) * 3 + ch];
        p = uint8_t((bg.c[ch] * (1024 - f) + p * f) >> 10);
      }
    }
  }
}

void TVXTransitionEffects::DrawCube() {
  const int32_t s = fStep, W = fWidth, H = fHeight;
  const bool horizontal = fTransition == vxttCubeRotateFromLeft || fTransition == vxttCubeRotateFromRight ||
                          fTransition == vxttCubeRotateFromLeft2 || fTransition == vxttCubeRotateFromRight2;
  const bool perspective = fTransition >= vxttCubeRotateFromLeft2;
  const bool kind1 = fTransition == vxttCubeRotateFromLeft || fTransition == vxttCubeRotateFromTop ||
                     fTransition == vxttCubeRotateFromLeft2 || fTransition == vxttCubeRotateFromTop2;
  int32_t k;
  if (horizontal)
    k = W >= H ? MulDiv(W, s, 1024) : MulDiv(MulDiv(H, s, 1024), W, H);
  else
    k = W < H ? MulDiv(H, s, 1024) : MulDiv(MulDiv(W, s, 1024), H, W);
  const int32_t edge = kind1 ? k : (horizontal ? W : H) - k;
  TBitmap* frame = fCurrentView.get();
  TBitmap* src = fSourceShot.get();
  TBitmap* tgt = fTargetShot.get();
  // The face before the edge and the face after it.
  TBitmap* before = kind1 ? tgt : src;
  TBitmap* after = kind1 ? src : tgt;
  if (!perspective) {
    if (horizontal) {
      Stretch(frame, 0, 0, edge, H, before, 0, 0, W, H);
      Stretch(frame, edge, 0, W - edge, H, after, 0, 0, W, H);
    } else {
      Stretch(frame, 0, 0, W, edge, before, 0, 0, W, H);
      Stretch(frame, 0, edge, W, H - edge, after, 0, 0, W, H);
    }
  } else {
    TCanvas* canvas = frame->Canvas();
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(fBackground);
    canvas->FillRect(TRect{0, 0, W, H});
    const int32_t side = horizontal ? H : W;
    const int32_t t1 = MulDiv(side, s, 4096), t2 = MulDiv(side, 1024 - s, 4096);
    // The depth of the face before the edge and of the face after it.
    const int32_t tb = kind1 ? t2 : t1, ta = kind1 ? t1 : t2;
    auto beforeBmp = Part(before, 0, W, H);
    auto afterBmp = Part(after, 0, W, H);
    TVXBitmap dest;
    dest.EncapsulateTBitmap(frame, false);
    const int32_t x = edge, y = edge;
    if (horizontal) {
      Quad(beforeBmp.get(), &dest, 0, tb, x, 0, x, H, 0, H - tb);
      Quad(afterBmp.get(), &dest, x, 0, W, ta, W, H - ta, x, H);
    } else {
      Quad(beforeBmp.get(), &dest, tb, 0, W - tb, 0, W, y, 0, y);
      Quad(afterBmp.get(), &dest, 0, y, W, y, W - ta, H, ta, H);
    }
  }
  if (!Alternative()) CubeShade(edge, horizontal, kind1);
}

void TVXTransitionEffects::DrawSoftWipe() {
  const int32_t s = fStep, W = fWidth, H = fHeight;
  const bool horizontal = fTransition == vxttSoftWipeFromLeft || fTransition == vxttSoftWipeFromRight;
  const bool forward = fTransition == vxttSoftWipeFromLeft || fTransition == vxttSoftWipeFromTop;
  const int32_t len = horizontal ? W : H;
  const int32_t D = Alternative() ? len / 4 : len / 8;
  const int32_t p = MulDiv(D + len, forward ? s : 1024 - s, 1024);
  TBitmap* newer = forward ? fTargetShot.get() : fSourceShot.get();
  TBitmap* older = forward ? fSourceShot.get() : fTargetShot.get();
  // The weight of the new picture at column (or row) j. An edge of no
  // width (frames under 8 pixels, 4 in the alternative look) is a hard one.
  auto weight = [&](int32_t j) -> int32_t {
    if (j > p) return 0;
    if (D <= 0) return p - j > 0 ? 1024 : 0;
    return std::clamp(MulDiv(1024, p - j, D), 0, 1024);
  };
  std::vector<int32_t> fs(size_t(std::max(len, 0)));
  for (int32_t j = 0; j < len; ++j) fs[size_t(j)] = weight(j);
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* n = Row(newer, y);
    const uint8_t* o = Row(older, y);
    uint8_t* d = Row(fCurrentView.get(), y);
    for (int32_t x = 0; x < W; ++x) {
      const int32_t f = fs[size_t(horizontal ? x : y)];
      for (int ch = 0; ch < 3; ++ch) {
        const size_t i = size_t(x) * 3 + ch;
        d[i] = uint8_t((o[i] * (1024 - f) + n[i] * f) >> 10);
      }
    }
  }
}
