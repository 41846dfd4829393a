// Drawing shared by the standard controls.
#include "gui/ctrlpaint.h"

#include <algorithm>

#include "gui/controls.h"

namespace vxpaint {

void Fill(TCanvas* C, const TRect& R, TColor Color) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  const TColor oldColor = C->Brush()->Color();
  const TBrushStyle oldStyle = C->Brush()->Style();
  C->Brush()->SetColor(Color);
  C->FillRect(R);
  C->Brush()->SetColor(oldColor);
  C->Brush()->SetStyle(oldStyle);
}

void Frame3D(TCanvas* C, TRect R, TColor TopLeft, TColor BottomRight) {
  if (R.Right - R.Left < 1 || R.Bottom - R.Top < 1) return;
  Fill(C, TRect{R.Left, R.Top, R.Right - 1, R.Top + 1}, TopLeft);
  Fill(C, TRect{R.Left, R.Top, R.Left + 1, R.Bottom - 1}, TopLeft);
  Fill(C, TRect{R.Left, R.Bottom - 1, R.Right, R.Bottom}, BottomRight);
  Fill(C, TRect{R.Right - 1, R.Top, R.Right, R.Bottom}, BottomRight);
}

void Edge(TCanvas* C, const TRect& R, bool Sunken) {
  if (Sunken) {
    Frame3D(C, R, clBtnShadow, clBtnHighlight);
    Frame3D(C, Inner(R, 1), cl3DDkShadow, cl3DLight);
  } else {
    Frame3D(C, R, clBtnHighlight, cl3DDkShadow);
    Frame3D(C, Inner(R, 1), cl3DLight, clBtnShadow);
  }
}

TRect Inner(const TRect& R, int By) { return TRect{R.Left + By, R.Top + By, R.Right - By, R.Bottom - By}; }

TColor TextColor(TControl* Control, TColor Normal) { return Control->Enabled() ? Normal : clGrayText; }

void Text(TCanvas* C, int X, int Y, const std::string& S, TColor Color) {
  if (S.empty()) return;
  const TBrushStyle oldStyle = C->Brush()->Style();
  const TColor oldColor = C->Font()->Color();
  C->Brush()->SetStyle(bsClear);
  C->Font()->SetColor(Color);
  C->TextOut(X, Y, S);
  C->Font()->SetColor(oldColor);
  if (oldStyle != bsClear) C->Brush()->SetStyle(oldStyle);
}

void CentredText(TCanvas* C, const TRect& R, const std::string& S, TColor Color) {
  const TSize sz = C->TextExtent(S);
  Text(C, R.Left + ((R.Right - R.Left) - sz.cx) / 2, R.Top + ((R.Bottom - R.Top) - sz.cy) / 2, S, Color);
}

void CheckBox(TCanvas* C, int X, int Y, int State, bool Enabled) {
  const TRect box{X, Y, X + 13, Y + 13};
  Fill(C, Inner(box), Enabled && State != 2 ? clWindow : clBtnFace);
  Edge(C, box, true);
  if (State == 0) return;
  const TColor mark = !Enabled || State == 2 ? clGrayText : clWindowText;
  // The tick: a short stroke down to (X+5, Y+9), then up to the right; three
  // pixels thick.
  for (int t = 0; t < 3; ++t) {
    for (int i = 0; i < 3; ++i) C->SetPixels(X + 3 + i, Y + 5 + i + t, mark);
    for (int i = 0; i < 5; ++i) C->SetPixels(X + 6 + i, Y + 6 - i + t, mark);
  }
}

void Arrow(TCanvas* C, const TRect& R, int Dir, TColor Color) {
  const int w = R.Right - R.Left, h = R.Bottom - R.Top;
  const int size = std::max(1, std::min(w, h) / 3);
  const int cx = R.Left + w / 2, cy = R.Top + h / 2;
  for (int i = 0; i < size; ++i) {
    // Row i of the triangle, from its tip.
    switch (Dir) {
      case 0:
        Fill(C, TRect{cx - i, cy - size / 2 + i, cx + i + 1, cy - size / 2 + i + 1}, Color);
        break;
      case 1:
        Fill(C, TRect{cx - i, cy + size / 2 - i, cx + i + 1, cy + size / 2 - i + 1}, Color);
        break;
      case 2:
        Fill(C, TRect{cx - size / 2 + i, cy - i, cx - size / 2 + i + 1, cy + i + 1}, Color);
        break;
      default:
        Fill(C, TRect{cx + size / 2 - i, cy - i, cx + size / 2 - i + 1, cy + i + 1}, Color);
        break;
    }
  }
}

void FocusRect(TCanvas* C, const TRect& R) {
  const TColor c = clWindowText;
  for (int x = R.Left; x < R.Right; x += 2) {
    C->SetPixels(x, R.Top, c);
    C->SetPixels(x, R.Bottom - 1, c);
  }
  for (int y = R.Top; y < R.Bottom; y += 2) {
    C->SetPixels(R.Left, y, c);
    C->SetPixels(R.Right - 1, y, c);
  }
}

}  // namespace vxpaint
