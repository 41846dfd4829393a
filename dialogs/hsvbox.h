// THSVBox: a colour picker drawn into an off-screen 24-bit bitmap: a square
// of saturation (left to right) against value (bottom to top) for the
// current hue, a gap, and a vertical hue bar. A pick with the left button
// sets the colour and fires OnChange; the setters fire nothing. The two
// markers are drawn with an inverting pen, so drawing them twice removes
// them.
#pragma once
#include <memory>

#include "gui/controls.h"

class THSVBox : public TCustomControl {
 public:
  explicit THSVBox(TComponent* AOwner = nullptr);
  ~THSVBox() override;

  int Hue() const { return fHue; }
  // Clamped to 0..359; redraws the square.
  void SetHue(int v);
  int Sat() const { return fSat; }
  // Clamped to 0..99.
  void SetSat(int v);
  int Val() const { return fVal; }
  void SetVal(int v);
  uint8_t Red() const { return fRed; }
  uint8_t Green() const { return fGreen; }
  uint8_t Blue() const { return fBlue; }
  // The colour as given (a system colour stays one; Red, Green and Blue hold
  // it resolved).
  TColor Color() const { return fColor; }
  void SetRGB(uint8_t R, uint8_t G, uint8_t B);
  void SetColor(TColor Value);
  TColor Background() const { return fBackground; }
  void SetBackground(TColor v);
  int HueBarWidth() const { return fHueBarWidth; }
  // Negative values are ignored.
  void SetHueBarWidth(int v);
  int BarsDistance() const { return fBarsDistance; }
  void SetBarsDistance(int v);
  // The colour the square shows at a point (computed); Color outside it or
  // when the box has no square.
  TColor GetColorAt(int X, int Y);
  // Inverts the two markers (the hue line on the bar, the small square in
  // the field): drawing them twice removes them.
  void XorMarkers();
  // The picture, markers included.
  TBitmap* Bitmap() { return fBitmap.get(); }
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  void Resize() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  int SquareWidth() const;
  void DrawHueBar();
  void DrawSVSquare();
  void RedrawAll();
  void SelectAt(int X, int Y);
  void FromHSV();
  void FromRGB();
  void PaintNow();
  // The bitmap takes the control's size and is drawn again.
  void SyncBitmap();
  int fHue = 0, fSat = 0, fVal = 0;
  uint8_t fRed = 0, fGreen = 0, fBlue = 0;
  std::unique_ptr<TBitmap> fBitmap;
  TColor fBackground = clBtnFace;
  int fMouseSel = 0;
  TColor fColor = 0;
  int fHueBarWidth = 20;
  int fBarsDistance = 5;
};
