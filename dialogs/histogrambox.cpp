// The histogram box.
#include "dialogs/histogrambox.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/bitmap.h"
#include "core/canvas.h"
#include "core/geometry.h"
#include "core/gdiplus.h"
#include "core/random.h"
#include "core/textutils.h"
#include "proc/colors.h"
#include "proc/proc.h"
#include "winui/win_paint.h"

namespace {

int Nearest(double v) { return int(std::nearbyint(v)); }

uint32_t Count(const THistogramItem& It, int Channel) {
  switch (Channel) {
    case hkRed:
      return It.R;
    case hkGreen:
      return It.G;
    case hkBlue:
      return It.B;
    case hkGray:
      return It.Gray;
    default:
      return It.Hue;
  }
}

}  // namespace

THistogramBox::THistogramBox(TComponent* AOwner) : TCustomControl(AOwner), Bitmap(std::make_unique<TBitmap>()) {
  fControlStyle |= VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque);
  VXLoadGDIPlusLibrary();
  SetBoundsFields(0, 0, 256, 105);
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(1, 1);
  Update();
}

THistogramBox::~THistogramBox() {
  if (fAIEP) fAIEP->RemoveFreeNotification(this);
  Bitmap.reset();
  VXFreeGDIPlusLibrary();
}

void THistogramBox::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fAIEP) fAIEP = nullptr;
}

void THistogramBox::SetAttachedVexlaneProc(TVexlaneProc* v) {
  if (fAIEP) fAIEP->RemoveFreeNotification(this);
  fAIEP = v;
  if (v) v->FreeNotification(this);
}

void THistogramBox::SetBackground(TColor v) {
  fBackground = v;
  Update();
}

void THistogramBox::SetHistogramKind(THistogramKind v) {
  if (v == fHistKind) return;
  fHistKind = v;
  Update();
}

void THistogramBox::SetLabels(THistogramLabels v) {
  if (v == fLabels) return;
  fLabels = v;
  Update();
}

void THistogramBox::SetCompBar(bool v) {
  if (v == fCompBar) return;
  fCompBar = v;
  Update();
}

void THistogramBox::SetHistogramStyle(THistogramStyle v) {
  if (v == fHistogramStyle) return;
  fHistogramStyle = v;
  Update();
}

void THistogramBox::SetMouseInteract(THistogramMouseInteract v) {
  if (v == fMouseInteract) return;
  fMouseInteract = v;
  PaintNow();
}

void THistogramBox::SetSelectionColor(TColor v) {
  fSelectionColor = v;
  PaintNow();
}

void THistogramBox::SyncBitmap() {
  // A bitmap still at 1 x 1 takes the control's size at the first drawing.
  if (Bitmap->Width() == 1 && Bitmap->Height() == 1) return;
  if (Bitmap->Width() == ClientWidth() && Bitmap->Height() == ClientHeight()) return;
  Bitmap->SetSize(std::max(1, ClientWidth()), std::max(1, ClientHeight()));
  Update();
}

void THistogramBox::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  const bool sized = AWidth != Width() || AHeight != Height();
  TCustomControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (sized && !(Bitmap->Width() == 1 && Bitmap->Height() == 1)) SyncBitmap();
}

void THistogramBox::Resize() {
  SyncBitmap();
  TCustomControl::Resize();
}

void THistogramBox::Update() {
  if (InState(csDesigning)) {
    TVXHistogram h(256);
    auto level = [](int i) { return uint32_t((i > 128 ? 256 - i : i) + Random(128)); };
    for (int i = 0; i < 256; ++i) {
      h[size_t(i)].R = level(i);
      h[size_t(i)].G = level(i);
      h[size_t(i)].B = level(i);
      h[size_t(i)].Gray = level(i);
      h[size_t(i)].Hue = level(i);
    }
    UpdateFromHistogram(h);
    return;
  }
  if (!fAIEP || !fAIEP->AttachedVXBitmap() || fAIEP->AttachedVXBitmap()->Width() == 0) return;
  UpdateFromHistogram(fAIEP->GetHistogram(TVXHistogramContent(fHistKind)));
}

void THistogramBox::UpdateFromBitmap(TVXBitmap* B) {
  std::unique_ptr<TVexlaneProc> proc = TVexlaneProc::CreateFromBitmap(B);
  UpdateFromHistogram(proc->GetHistogram(TVXHistogramContent(fHistKind)));
}

void THistogramBox::UpdateFromHistogram(const TVXHistogram& H) {
  if (Bitmap->Width() == 1) Bitmap->SetSize(std::max(1, Width()), std::max(1, Height()));
  {
    TCanvas* bc = Bitmap->Canvas();
    bc->Brush()->SetStyle(bsSolid);
    bc->Brush()->SetColor(fBackground);
    bc->FillRect(TRect{0, 0, Bitmap->Width(), Bitmap->Height()});
  }
  {
    TVXCanvas cv(Bitmap->Canvas(), true, true);
    cv.Brush()->SetColor(fBackground);
    cv.Pen()->SetColor(fBackground);
    cv.Pen()->SetStyle(psSolid);
    const int len = int(H.size());
    uint32_t maxc = 0;
    for (const THistogramItem& it : H)
      for (int ch = hkRed; ch <= hkHue; ++ch)
        if (fHistKind & (1u << ch)) maxc = std::max(maxc, Count(it, ch));
    if (maxc != 0) {
      const bool sized = Parent() && HandleAllocated();
      int W = sized ? ClientWidth() : Width();
      int Hp = sized ? ClientHeight() : Height();
      const int F = std::abs(Font()->Height());
      const int barH = int(F * 1.2);
      if (fCompBar) Hp -= barH + 2;
      int x0 = 0;
      if (fLabels & VXHistogramLabelBit(hlVertical)) {
        cv.Font()->Assign(Font());
        const TSize ext = cv.TextExtent(VXFormatThousands(maxc));
        cv.TextOut(0, Hp / 2 - ext.cy / 2, VXFormatThousands(maxc / 2));
        cv.TextOut(0, 0, VXFormatThousands(maxc));
        cv.Pen()->SetColor(Font()->Color());
        x0 = ext.cx + 4;
        W -= x0;
      }
      if (fLabels & VXHistogramLabelBit(hlHorizontal)) {
        cv.Font()->Assign(Font());
        const TSize ext = cv.TextExtent(std::to_string(maxc));
        const int q = len / 4;
        const int y = Hp - F - 1;
        for (int i = 0; i < 4; ++i) cv.TextOut(x0 + Nearest(double(i) * q / len * W), y, std::to_string(i * q));
        const std::string last = std::to_string(len - 1);
        cv.TextOut(x0 + W - cv.TextWidth(last), y, last);
        Hp -= ext.cy + 2;
        cv.MoveTo(x0 - 1, 0);
        cv.LineTo(x0 - 1, Hp);
        cv.LineTo(x0 + W, Hp);
      }
      fHistogramAbsXPos = x0;
      if (fCompBar && W > 0) {
        const bool hueOnly = fHistKind == VXHistogramKindBit(hkHue);
        const bool red = fHistKind & (VXHistogramKindBit(hkRed) | VXHistogramKindBit(hkGray));
        const bool green = fHistKind & (VXHistogramKindBit(hkGreen) | VXHistogramKindBit(hkGray));
        const bool blue = fHistKind & (VXHistogramKindBit(hkBlue) | VXHistogramKindBit(hkGray));
        for (int c = 0; c < W; ++c) {
          const int v = Nearest(double(c) / W * 256);
          uint8_t r = 0, g = 0, b = 0;
          if (hueOnly) {
            const TRGB h = VXHSVToRGB(int(double(v) / len * 360), 99, 50);
            r = h.r, g = h.g, b = h.b;
          } else {
            const uint8_t m = uint8_t(std::min(v, 255));
            if (red) r = m;
            if (green) g = m;
            if (blue) b = m;
          }
          const int x = x0 + c;
          if (x < 0 || x >= Bitmap->Width()) continue;
          for (int k = 0; k < barH; ++k) {
            const int row = Bitmap->Height() - 1 - k;
            if (row < 0) break;
            uint8_t* p = static_cast<uint8_t*>(Bitmap->ScanLine(row)) + 3 * x;
            p[0] = b, p[1] = g, p[2] = r;
          }
        }
      }
      auto penOf = [&](int ch, int idx) -> TColor {
        switch (ch) {
          case hkRed:
            return TColor(0x0000FF);
          case hkGreen:
            return TColor(0x008000);
          case hkBlue:
            return TColor(0xFF0000);
          case hkGray:
            return fGrayColor;
          default:
            return VXTRGBToColor(VXHSVToRGB(int(double(idx) / len * 360), 99, 50));
        }
      };
      if (fHistogramStyle == hsBars) {
        for (int c = 0; c < W; ++c) {
          const int idx = int(double(c) / W * len);
          for (int ch = hkRed; ch <= hkHue; ++ch) {
            if (!(fHistKind & (1u << ch))) continue;
            cv.Pen()->SetColor(penOf(ch, idx));
            const uint32_t n = Count(H[size_t(idx)], ch);
            int h = Nearest(double(n) / maxc * Hp);
            if (n > 0 && h == 0) h = 1;
            cv.MoveTo(x0 + c, Hp - 1);
            cv.LineTo(x0 + c, Hp - 1 - h);
          }
        }
      } else {
        for (int ch = hkRed; ch <= hkHue; ++ch) {
          if (!(fHistKind & (1u << ch))) continue;
          if (ch != hkHue) cv.Pen()->SetColor(penOf(ch, 0));
          cv.MoveTo(x0, Hp - 1);
          for (int c = 0; c < W; ++c) {
            const int idx = int(double(c) / W * len);
            if (ch == hkHue) cv.Pen()->SetColor(penOf(ch, idx));
            cv.LineTo(x0 + c, Hp - Nearest(double(Count(H[size_t(idx)], ch)) / maxc * Hp));
          }
        }
      }
    }
  }
  Invalidate();
}

void THistogramBox::Paint() {
  TCanvas* c = Canvas();
  c->Draw(0, 0, Bitmap.get());
  const int x0 = fHistogramAbsXPos;
  if (fMouseInteract == mhSelectValue && fMouseMinX >= x0) {
    c->Pen()->SetColor(fSelectionColor);
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetMode(pmCopy);
    c->MoveTo(fMouseMinX, 0);
    c->LineTo(fMouseMinX, Height());
  } else if (fMouseInteract == mhSelectRange && fMouseMinX >= x0) {
    if (fMouseMaxX < fMouseMinX) {
      std::swap(fMouseMinX, fMouseMaxX);
      std::swap(fMouseMinDown, fMouseMaxDown);
    }
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(fSelectionColor);
    c->FrameRect(TRect{fMouseMinX, 0, fMouseMaxX + 1, Height()});
  }
}

void THistogramBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  const int x0 = fHistogramAbsXPos;
  if (X < x0) return;
  if (fMouseInteract == mhSelectValue) {
    fMouseMinDown = true;
    fMouseMaxDown = false;
    fMouseMinX = X;
    PaintNow();
  } else if (fMouseInteract == mhSelectRange) {
    fMouseMinDown = fMouseMaxDown = false;
    if (std::abs(X - fMouseMinX) < std::abs(X - fMouseMaxX)) {
      fMouseMinX = X;
      if (fMouseMaxX < x0) fMouseMaxX = x0;
      fMouseMinDown = true;
    } else {
      if (fMouseMinX < x0) fMouseMinX = x0;
      fMouseMaxX = X;
      fMouseMaxDown = true;
    }
    PaintNow();
  }
}

void THistogramBox::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (fMouseInteract != mhSelectValue && fMouseInteract != mhSelectRange) return;
  const int x0 = fHistogramAbsXPos;
  const int hi = std::max(x0, Width() - 1);
  if (fMouseMinDown) fMouseMinX = std::clamp(X, x0, hi);
  if (fMouseMaxDown) fMouseMaxX = std::clamp(X, x0, hi);
  if (fMouseMinDown || fMouseMaxDown) {
    PaintNow();
    if (OnSelectionChanging) OnSelectionChanging(this);
  }
  const bool near = X >= x0 - 1 && (std::abs(X - fMouseMinX) <= 3 || std::abs(X - fMouseMaxX) <= 3);
  SetCursor(near ? crHSplit : crDefault);
}

void THistogramBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!fMouseMinDown && !fMouseMaxDown) return;
  fMouseMinDown = fMouseMaxDown = false;
  PaintNow();
  if (OnSelectionChanging) OnSelectionChanging(this);
  if (OnSelectionChanged) OnSelectionChanged(this);
}

void THistogramBox::PaintNow() {
  Invalidate();
  if (HandleAllocated()) UpdateWindow(Handle());
}

int THistogramBox::Scale() const { return fHistKind == VXHistogramKindBit(hkHue) ? 359 : 255; }

int THistogramBox::MinSelected() const {
  if (fMouseMinX < 0) return -1;
  return MulDiv(Scale(), fMouseMinX - fHistogramAbsXPos, Width() - fHistogramAbsXPos - 1);
}

int THistogramBox::MaxSelected() const {
  if (fMouseInteract == mhSelectValue) return MinSelected();
  if (fMouseMaxX < 0) return -1;
  return MulDiv(Scale(), fMouseMaxX - fHistogramAbsXPos, Width() - fHistogramAbsXPos - 1);
}

void THistogramBox::SetMinSelected(int v) {
  if (v < 0) {
    fMouseMinX = fMouseMaxX = -1;
  } else {
    fMouseMinX = std::min(fHistogramAbsXPos + MulDiv(Width() - fHistogramAbsXPos - 1, v, Scale()), Width() - 1);
  }
  PaintNow();
}

void THistogramBox::SetMaxSelected(int v) {
  if (v < 0) {
    fMouseMinX = fMouseMaxX = -1;
  } else {
    fMouseMaxX = std::min(fHistogramAbsXPos + MulDiv(Width() - fHistogramAbsXPos - 1, v, Scale()), Width() - 1);
  }
  PaintNow();
}
