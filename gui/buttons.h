// Buttons with pictures: TBitBtn (a push button with a glyph) and
// TSpeedButton (a button drawn on its parent that can stay down, alone or
// in a group).
#pragma once
#include <memory>

#include "gui/stdctrls.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

// Draws Glyph (its bottom-left pixel's colour transparent; greyed when not
// Enabled) and Caption centred together in Rect, as the glyph buttons do.
void VXDrawGlyphAndCaption(TCanvas* Canvas, const TRect& Rect, TBitmap* Glyph, int NumGlyphs,
                           const std::string& Caption, TButtonLayout Layout, int Spacing, bool Enabled,
                           TColor TextColor);

class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner = nullptr);
  ~TBitBtn() override;
  // The picture (empty: none); SetGlyph(nullptr) removes it.
  TBitmap* Glyph() { return fGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  // Pictures side by side in the glyph: up, disabled, clicked, down.
  int NumGlyphs() const { return fNumGlyphs; }
  void SetNumGlyphs(int v);
  TButtonLayout Layout() const { return fLayout; }
  void SetLayout(TButtonLayout v);
  int Spacing() const { return fSpacing; }
  void SetSpacing(int v);

 protected:
  void PaintContent(const TRect& Rect) override;

 private:
  std::unique_ptr<TBitmap> fGlyph;
  int fNumGlyphs = 1;
  TButtonLayout fLayout = blGlyphLeft;
  int fSpacing = 4;
};

// A button without a window. With a GroupIndex it stays down when clicked
// and the other buttons of its group (same parent and index) go up; with
// AllowAllUp a click on a down button lets it up. Setting Down fires
// nothing; every click fires OnClick.
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner = nullptr);
  ~TSpeedButton() override;
  int GroupIndex() const { return fGroupIndex; }
  void SetGroupIndex(int v);
  bool AllowAllUp() const { return fAllowAllUp; }
  void SetAllowAllUp(bool v);
  bool Down() const { return fDown; }
  void SetDown(bool v);
  bool Flat() const { return fFlat; }
  void SetFlat(bool v);
  TBitmap* Glyph() { return fGlyph.get(); }
  void SetGlyph(TBitmap* Value);
  int NumGlyphs() const { return fNumGlyphs; }
  void SetNumGlyphs(int v);
  TButtonLayout Layout() const { return fLayout; }
  void SetLayout(TButtonLayout v);
  int Spacing() const { return fSpacing; }
  void SetSpacing(int v);
  void Click() override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void CMMouseEnter(TMessage& Message) override;
  void CMMouseLeave(TMessage& Message) override;

 private:
  void UpdateExclusive();
  int fGroupIndex = 0;
  bool fAllowAllUp = false;
  bool fDown = false;
  bool fFlat = false;
  bool fPressed = false;
  bool fTracking = false;
  std::unique_ptr<TBitmap> fGlyph;
  int fNumGlyphs = 1;
  TButtonLayout fLayout = blGlyphLeft;
  int fSpacing = 4;
};
