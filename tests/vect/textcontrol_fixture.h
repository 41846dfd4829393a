// Rich-text controls on a shown headless form, typed into through the
// driver's keys, and throw-away renderers painted into bitmaps.
#pragma once
#include <memory>
#include <string>

#include "core/canvas.h"
#include "vect/textcontrol.h"
#include "vect_fixture.h"

class TextControlTest : public VectTest {
 protected:
  // A focused control of 200 x 100 on the form holding Text (DejaVu Sans,
  // 13 pixels, left aligned, one format).
  TVXTextControl* Control(const std::u16string& Text = u"") {
    auto* t = new TVXTextControl(Form.get());
    t->SetParent(Form.get());
    t->SetBounds(10, 10, 200, 100);
    Setup(t, Text, vxjLeft);
    t->SetFocus();
    VXHeadless::RunUntilIdle();
    return t;
  }
  // A control without window that lays out and draws Text.
  TVXTextControl* Renderer(const std::u16string& Text, TVXAlignment Align = vxjLeft) {
    auto* t = new TVXTextControl(nullptr);
    Setup(t, Text, Align);
    return t;
  }
  static void Setup(TVXTextControl* t, const std::u16string& Text, TVXAlignment Align) {
    t->DefaultFont()->SetName("DejaVu Sans");
    t->DefaultFont()->SetHeight(-13);
    t->DefaultFont()->SetColor(clBlack);
    t->DefaultFontBrush()->SetColor(clWhite);
    t->DefaultFontBrush()->SetStyle(bsClear);
    t->SetDefaultAlign(Align);
    if (!Text.empty()) t->SetText(Text);
    t->Init();
  }
  // PaintTo of a W0 x H0 box into a bitmap (of W x H, or Into).
  static void Render(TVXTextControl* t, int W0, int H0, int W = 0, int H = 0, TBitmap* Into = nullptr) {
    TBitmap own(W ? W : W0, H ? H : H0);
    TBitmap* b = Into ? Into : &own;
    TVXCanvas c(b->Canvas(), false, false);
    t->PaintTo(&c, 0, 0, W0, H0);
  }
  static void Repaint(TVXTextControl* t) {
    t->Invalidate();
    VXHeadless::RunUntilIdle();
  }
  // A key with a held modifier (0: none) to the focus window.
  static void Press(int Key, int Modifier = 0) {
    if (Modifier) VXHeadless::KeyDown(Modifier);
    VXHeadless::KeyDown(Key);
    VXHeadless::KeyUp(Key);
    if (Modifier) VXHeadless::KeyUp(Modifier);
    VXHeadless::RunUntilIdle();
  }
  static void Type(const std::u16string& S) {
    for (char16_t c : S) VXHeadless::Char(c);
    VXHeadless::RunUntilIdle();
  }
};
