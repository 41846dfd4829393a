// The standard controls.
#include "gui/stdctrls.h"

#include <algorithm>

#include "gui/ctrlpaint.h"
#include "gui/forms.h"
#include "platform/utf.h"
#include "winui/win_paint.h"

using namespace vxpaint;

namespace {

constexpr TControlStyle kNoClick = ~VXStyleBit(csClickEvents);

// Clips the canvas to R until the object goes.
class ClipTo {
 public:
  ClipTo(TCanvas* C, const TRect& R) : fDC(C->Handle()), fSaved(SaveDC(fDC)) {
    IntersectClipRect(fDC, R.Left, R.Top, R.Right, R.Bottom);
  }
  ~ClipTo() { RestoreDC(fDC, fSaved); }

 private:
  HDC fDC;
  int fSaved;
};

bool Inside(TControl* C, int X, int Y) { return X >= 0 && Y >= 0 && X < C->Width() && Y < C->Height(); }

void CollectButtons(TWinControl* Parent, std::vector<TButton*>& Out) {
  for (int i = 0; i < Parent->ControlCount(); ++i) {
    TControl* c = Parent->Controls(i);
    if (auto* b = dynamic_cast<TButton*>(c)) Out.push_back(b);
    if (auto* w = dynamic_cast<TWinControl*>(c)) CollectButtons(w, Out);
  }
}

}  // namespace

std::string VXStripAccelChars(const std::string& Caption) {
  std::string r;
  for (size_t i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == '&') {
      if (i + 1 < Caption.size() && Caption[i + 1] == '&') r += '&', ++i;
      continue;
    }
    r += Caption[i];
  }
  return r;
}

TSize VXMeasureText(TFont* Font, const std::string& Text) {
  HDC dc = CreateCompatibleDC(nullptr);
  TSize sz{0, 0};
  {
    TCanvas c;
    c.SetHandle(dc);
    c.Font()->Assign(Font);
    sz = c.TextExtent(Text);
    c.SetHandle(nullptr);
  }
  DeleteDC(dc);
  return sz;
}

// ---------------------------------------------------------------------------
// TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  fControlStyle |= VXStyleBit(csOpaque);
  fParentColor = true;
  SetBoundsFields(0, 0, 65, 17);
}

void TLabel::SetTransparent(bool v) {
  if (v == fTransparent) return;
  fTransparent = v;
  if (v)
    fControlStyle &= ~VXStyleBit(csOpaque);
  else
    fControlStyle |= VXStyleBit(csOpaque);
  Invalidate();
}

void TLabel::SetAutoSize(bool v) {
  fAutoSize = v;
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment v) {
  fAlignment = v;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout v) {
  fLayout = v;
  Invalidate();
}

void TLabel::SetShowAccelChar(bool v) {
  fShowAccelChar = v;
  AdjustBounds();
  Invalidate();
}

void TLabel::AdjustBounds() {
  if (!fAutoSize) return;
  const std::string text = fShowAccelChar ? VXStripAccelChars(Caption()) : Caption();
  TSize sz = VXMeasureText(Font(), text.empty() ? std::string("W") : text);
  if (text.empty()) sz.cx = 0;
  SetBounds(Left(), Top(), sz.cx, sz.cy);
}

void TLabel::CMTextChanged(TMessage& Message) {
  TGraphicControl::CMTextChanged(Message);
  AdjustBounds();
}

void TLabel::CMFontChanged(TMessage& Message) {
  TGraphicControl::CMFontChanged(Message);
  AdjustBounds();
}

void TLabel::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  if (!fTransparent) Fill(c, r, Color());
  c->Font()->Assign(Font());
  const std::string text = fShowAccelChar ? VXStripAccelChars(Caption()) : Caption();
  const TSize sz = c->TextExtent(text);
  int x = 0, y = 0;
  if (fAlignment == taCenter) x = (r.Right - sz.cx) / 2;
  if (fAlignment == taRightJustify) x = r.Right - sz.cx;
  if (fLayout == tlCenter) y = (r.Bottom - sz.cy) / 2;
  if (fLayout == tlBottom) y = r.Bottom - sz.cy;
  vxpaint::Text(c, x, y, text, TextColor(this, Font()->Color()));
}

// ---------------------------------------------------------------------------
// TButton

TButton::TButton(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  SetTabStop(true);
  SetBoundsFields(0, 0, 75, 25);
}

void TButton::SetDefault(bool v) {
  fDefault = v;
  Invalidate();
}

void TButton::Click() {
  if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(fModalResult);
  TCustomControl::Click();
}

void TButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    fTracking = fPressed = true;
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TButton::MouseMove(TShiftState Shift, int X, int Y) {
  if (fTracking && fPressed != Inside(this, X, Y)) {
    fPressed = !fPressed;
    Invalidate();
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool click = Button == mbLeft && fTracking && Inside(this, X, Y);
  if (Button == mbLeft) {
    fTracking = fPressed = false;
    Invalidate();
  }
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (click) Click();
}

void TButton::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE && !fPressed) {
    fPressed = true;
    Invalidate();
  }
}

void TButton::KeyUp(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && fPressed && !fTracking) {
    fPressed = false;
    Invalidate();
    Click();
  }
}

void TButton::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
}

void TButton::DoExit() {
  fPressed = fTracking = false;
  Invalidate();
  TCustomControl::DoExit();
}

void TButton::Paint() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  Fill(c, r, clBtnFace);
  // The button that Enter would press has a dark frame.
  const bool framed = Enabled() && (Focused() || (fDefault && !dynamic_cast<TButton*>(FindControl(GetFocus()))));
  if (framed) {
    Frame3D(c, r, cl3DDkShadow, cl3DDkShadow);
    r = Inner(r, 1);
  }
  if (fPressed)
    Frame3D(c, r, clBtnShadow, clBtnShadow);
  else
    Edge(c, r, false);
  TRect content = Inner(r, 2);
  if (fPressed) content = TRect{content.Left + 1, content.Top + 1, content.Right + 1, content.Bottom + 1};
  c->Font()->Assign(Font());
  PaintContent(content);
  if (Focused()) FocusRect(c, Inner(r, 3));
}

void TButton::PaintContent(const TRect& Rect) {
  CentredText(Canvas(), Rect, VXStripAccelChars(Caption()), TextColor(this, Font()->Color()));
}

TButton* VXDialogKeyButton(TCustomForm* Form, WORD Key) {
  if (!Form) return nullptr;
  std::vector<TButton*> buttons;
  CollectButtons(Form, buttons);
  if (Key == VK_RETURN) {
    if (auto* focused = dynamic_cast<TButton*>(TWinControl::FindControl(GetFocus())))
      if (focused->CanFocus() && GetParentForm(focused) == Form) return focused;
    for (TButton* b : buttons)
      if (b->Default() && b->CanFocus()) return b;
  } else if (Key == VK_ESCAPE) {
    for (TButton* b : buttons)
      if (b->Cancel() && b->CanFocus()) return b;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  fParentColor = true;
  SetTabStop(true);
  SetBoundsFields(0, 0, 97, 17);
}

void TCheckBox::SetState(TCheckBoxState v) {
  if (v == fState) return;
  fState = v;
  Invalidate();
  Click();
}

void TCheckBox::SetAlignment(TAlignment v) {
  fAlignment = v;
  Invalidate();
}

void TCheckBox::Toggle() {
  switch (fState) {
    case cbUnchecked:
      SetState(cbChecked);
      break;
    case cbChecked:
      SetState(fAllowGrayed ? cbGrayed : cbUnchecked);
      break;
    default:
      SetState(cbUnchecked);
      break;
  }
}

void TCheckBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    fDown = true;
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCheckBox::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const bool toggle = Button == mbLeft && fDown && Inside(this, X, Y);
  if (Button == mbLeft) fDown = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (toggle) Toggle();
}

void TCheckBox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) Toggle();
}

void TCheckBox::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
}

void TCheckBox::DoExit() {
  Invalidate();
  TCustomControl::DoExit();
}

void TCheckBox::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  Fill(c, r, Color());
  c->Font()->Assign(Font());
  const std::string text = VXStripAccelChars(Caption());
  const TSize sz = c->TextExtent(text);
  const int boxX = fAlignment == taRightJustify ? 0 : r.Right - 13;
  CheckBox(c, boxX, (r.Bottom - 13) / 2, int(fState), Enabled());
  const int tx = fAlignment == taRightJustify ? 17 : r.Right - 17 - sz.cx;
  const int ty = (r.Bottom - sz.cy) / 2;
  vxpaint::Text(c, tx, ty, text, TextColor(this, Font()->Color()));
  if (Focused() && !text.empty()) FocusRect(c, TRect{tx - 1, ty, tx + sz.cx + 1, ty + sz.cy});
}

// ---------------------------------------------------------------------------
// TCustomEdit

TCustomEdit::TCustomEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle |= VXStyleBit(csOpaque);
  SetColor(clWindow);
  SetTabStop(true);
  SetCursor(crIBeam);
  SetBoundsFields(0, 0, 121, 21);
}

void TCustomEdit::SetSelStart(int v) {
  const int len = int(VXUTF8ToUTF16(Text()).size());
  fSelStart = std::clamp(v, 0, len);
  fSelLength = 0;
  Invalidate();
}

void TCustomEdit::SetSelLength(int v) {
  const int len = int(VXUTF8ToUTF16(Text()).size());
  fSelLength = std::clamp(v, 0, len - fSelStart);
  Invalidate();
}

std::string TCustomEdit::SelText() const {
  const std::u16string t = VXUTF8ToUTF16(Text());
  const int s = std::clamp(fSelStart, 0, int(t.size()));
  const int l = std::clamp(fSelLength, 0, int(t.size()) - s);
  return VXUTF16ToUTF8(t.substr(size_t(s), size_t(l)));
}

void TCustomEdit::SetSelText(const std::string& v) { Replace(VXUTF8ToUTF16(v)); }

void TCustomEdit::SelectAll() {
  fSelStart = 0;
  fSelLength = int(VXUTF8ToUTF16(Text()).size());
  Invalidate();
}

void TCustomEdit::Replace(const std::u16string& With) {
  const std::u16string t = VXUTF8ToUTF16(Text());
  const int s = std::clamp(fSelStart, 0, int(t.size()));
  const int l = std::clamp(fSelLength, 0, int(t.size()) - s);
  std::u16string with = With;
  if (fMaxLength > 0) {
    const int room = fMaxLength - (int(t.size()) - l);
    if (room <= 0 && !with.empty()) return;
    if (int(with.size()) > room) with.resize(size_t(room));
  }
  const std::u16string n = t.substr(0, size_t(s)) + with + t.substr(size_t(s + l));
  fSelStart = s + int(with.size());
  fSelLength = 0;
  fTyping = true;
  try {
    SetText(VXUTF16ToUTF8(n));
  } catch (...) {
    fTyping = false;
    throw;
  }
  fTyping = false;
  Invalidate();
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::CMTextChanged(TMessage& Message) {
  TCustomControl::CMTextChanged(Message);
  // Text set by the program puts the caret at the start.
  if (!fTyping) fSelStart = fSelLength = 0;
  Change();
}

void TCustomEdit::CMWantSpecialKey(TMessage& Message) {
  const WORD key = WORD(Message.WParam);
  Message.Result = key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN ? 1 : 0;
}

void TCustomEdit::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int len = int(VXUTF8ToUTF16(Text()).size());
  switch (Key) {
    case VK_DELETE:
      if (fReadOnly) break;
      if (fSelLength == 0 && fSelStart < len) fSelLength = 1;
      if (fSelLength > 0) Replace(u"");
      break;
    case VK_LEFT:
      SetSelStart(fSelLength ? fSelStart : fSelStart - 1);
      break;
    case VK_RIGHT:
      SetSelStart(fSelLength ? fSelStart + fSelLength : fSelStart + 1);
      break;
    case VK_HOME:
      SetSelStart(0);
      break;
    case VK_END:
      SetSelStart(len);
      break;
    default:
      break;
  }
}

void TCustomEdit::KeyPress(char16_t& Key) {
  TCustomControl::KeyPress(Key);
  const char16_t ch = Key;
  if (ch == 0) return;
  if (ch == 1) {  // Ctrl+A
    SelectAll();
    return;
  }
  if (fReadOnly) return;
  if (ch == 8) {  // Backspace
    if (fSelLength == 0 && fSelStart > 0) {
      --fSelStart;
      fSelLength = 1;
    }
    if (fSelLength > 0) Replace(u"");
    return;
  }
  if (ch < 32 || ch == 127) return;
  if (ch >= 0xD800 && ch <= 0xDBFF) {
    fHighSurrogate = ch;
    return;
  }
  std::u16string with;
  if (ch >= 0xDC00 && ch <= 0xDFFF) {
    if (!fHighSurrogate) return;
    with = {fHighSurrogate, ch};
  } else {
    with = {ch};
  }
  fHighSurrogate = 0;
  if (fNumbersOnly && !(ch >= '0' && ch <= '9')) return;
  Replace(with);
}

int TCustomEdit::CharAt(int X) {
  const std::u16string t = VXUTF8ToUTF16(Text());
  int best = 0;
  for (size_t i = 1; i <= t.size(); ++i) {
    const int w = VXMeasureText(Font(), VXUTF16ToUTF8(t.substr(0, i))).cx;
    const int prev = VXMeasureText(Font(), VXUTF16ToUTF8(t.substr(0, i - 1))).cx;
    if (X - TextLeft() >= (w + prev) / 2) best = int(i);
  }
  return best;
}

void TCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    fSelStart = CharAt(X);
    fSelLength = 0;
    Invalidate();
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomEdit::DoEnter() {
  if (fAutoSelect) SelectAll();
  Invalidate();
  TCustomControl::DoEnter();
}

void TCustomEdit::DoExit() {
  Invalidate();
  TCustomControl::DoExit();
}

void TCustomEdit::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  const TRect in = Inner(r);
  Fill(c, in, Enabled() ? Color() : clBtnFace);
  Edge(c, r, true);
  c->Font()->Assign(Font());
  const std::u16string t = VXUTF8ToUTF16(Text());
  const int th = c->TextHeight("Wg");
  const int y = (r.Bottom - th) / 2;
  ClipTo clip(c, in);
  const TColor color = TextColor(this, Font()->Color());
  const int s = std::clamp(fSelStart, 0, int(t.size()));
  const int l = std::clamp(fSelLength, 0, int(t.size()) - s);
  const bool focused = Focused();
  if (!focused || l == 0) {
    vxpaint::Text(c, TextLeft(), y, Text(), color);
  } else {
    const std::string a = VXUTF16ToUTF8(t.substr(0, size_t(s))), b = VXUTF16ToUTF8(t.substr(size_t(s), size_t(l))),
                      e = VXUTF16ToUTF8(t.substr(size_t(s + l)));
    const int xa = TextLeft(), xb = xa + c->TextWidth(a), xe = xb + c->TextWidth(b);
    vxpaint::Text(c, xa, y, a, color);
    Fill(c, TRect{xb, y, xe, y + th}, clHighlight);
    vxpaint::Text(c, xb, y, b, clHighlightText);
    vxpaint::Text(c, xe, y, e, color);
  }
  if (focused && l == 0) {
    const int x = TextLeft() + c->TextWidth(VXUTF16ToUTF8(t.substr(0, size_t(s))));
    Fill(c, TRect{x, y, x + 1, y + th}, clWindowText);
  }
}

// ---------------------------------------------------------------------------
// Combo boxes and their drop-down list

class TComboDropList : public TCustomControl {
 public:
  explicit TComboDropList(TCustomComboBox* Combo) : TCustomControl(nullptr), fCombo(Combo) {
    fControlStyle |= VXStyleBit(csOpaque);
    SetParentFont(false);
  }
  int Rows() const { return std::max(1, std::min(fCombo->Items()->Count(), fCombo->DropDownCount())); }

 protected:
  void Paint() override {
    TCanvas* own = Canvas();
    const TRect r = ClientRect();
    Fill(own, r, clWindow);
    Frame3D(own, r, clWindowFrame, clWindowFrame);
    const int ih = fCombo->ItemHeight();
    // The items are drawn on the combo box's canvas, bound to this window.
    auto* cc = static_cast<TControlCanvas*>(fCombo->Canvas());
    cc->FreeHandle();
    cc->SetHandle(own->Handle());
    try {
      ClipTo clip(cc, Inner(r, 1));
      for (int k = 0; k < Rows(); ++k) {
        const int i = fCombo->fDropTop + k;
        if (i >= fCombo->Items()->Count()) break;
        const TRect row{1, 1 + k * ih, r.Right - 1, 1 + (k + 1) * ih};
        const bool sel = i == fCombo->ItemIndex();
        cc->Brush()->SetColor(sel ? clHighlight : clWindow);
        cc->Font()->Assign(fCombo->Font());
        cc->Font()->SetColor(sel ? clHighlightText : clWindowText);
        const TOwnerDrawState st = sel ? TOwnerDrawState(VXOwnerDrawBit(odSelected) | VXOwnerDrawBit(odFocused)) : 0;
        const bool ownerDraw = fCombo->Style() == csOwnerDrawFixed || fCombo->Style() == csOwnerDrawVariable;
        if (ownerDraw && fCombo->OnDrawItem)
          fCombo->OnDrawItem(fCombo, i, row, st);
        else
          fCombo->DrawItem(i, row, st);
      }
    } catch (...) {
      cc->SetHandle(nullptr);
      throw;
    }
    cc->SetHandle(nullptr);
  }
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override {
    TCustomControl::MouseUp(Button, Shift, X, Y);
    if (Button != mbLeft || !Inside(this, X, Y)) return;
    const int i = fCombo->fDropTop + (Y - 1) / std::max(1, fCombo->ItemHeight());
    if (i < 0 || i >= fCombo->Items()->Count()) return;
    TCustomComboBox* combo = fCombo;
    combo->UserSelect(i);
    combo->SetDroppedDown(false);
  }
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override {
    if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
    const int maxTop = std::max(0, fCombo->Items()->Count() - Rows());
    fCombo->fDropTop = std::clamp(fCombo->fDropTop - WheelDelta / WHEEL_DELTA, 0, maxTop);
    Invalidate();
    return true;
  }

 private:
  TCustomComboBox* fCombo;
};

TCustomComboBox::TCustomComboBox(TComponent* AOwner) : TCustomControl(AOwner), fItems(std::make_unique<TStrings>()) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  SetColor(clWindow);
  SetTabStop(true);
  SetBoundsFields(0, 0, 145, 21);
  fItems->OnChange = [this](void*) { ItemsChanged(); };
}

TCustomComboBox::~TCustomComboBox() {
  fItems->OnChange = nullptr;
  fDropList.reset();
}

TWinControl* TCustomComboBox::DropList() const { return DroppedDown() ? fDropList.get() : nullptr; }

void TCustomComboBox::ItemsChanged() {
  if (fItemIndex >= fItems->Count()) fItemIndex = -1;
  fDropTop = std::clamp(fDropTop, 0, std::max(0, fItems->Count() - 1));
  Invalidate();
  if (DroppedDown()) fDropList->Invalidate();
}

void TCustomComboBox::SetItemIndex(int v) {
  if (v < -1 || v >= fItems->Count()) v = -1;
  fItemIndex = v;
  // The shown text follows without any event.
  if (v >= 0) TControl::SetText(fItems->Strings(v));
  Invalidate();
}

void TCustomComboBox::SetStyle(TComboBoxStyle v) {
  fStyle = v;
  Invalidate();
}

void TCustomComboBox::SetItemHeight(int v) {
  fItemHeight = std::max(1, v);
  Invalidate();
}

bool TCustomComboBox::DroppedDown() const {
  return fDropList && fDropList->HandleAllocated() && IsWindowVisible(const_cast<TComboDropList*>(fDropList.get())->Handle());
}

void TCustomComboBox::SetDroppedDown(bool v) {
  if (v == DroppedDown()) return;
  if (!v) {
    ShowWindow(fDropList->Handle(), SW_HIDE);
    Invalidate();
    if (OnCloseUp) OnCloseUp(this);
    return;
  }
  if (OnDropDown) OnDropDown(this);
  if (!fDropList) fDropList = std::make_unique<TComboDropList>(this);
  const int rows = fDropList->Rows();
  if (fItemIndex >= 0) {
    if (fItemIndex < fDropTop) fDropTop = fItemIndex;
    if (fItemIndex >= fDropTop + rows) fDropTop = fItemIndex - rows + 1;
  }
  fDropTop = std::clamp(fDropTop, 0, std::max(0, fItems->Count() - rows));
  const TPoint p = ClientToScreen(TPoint{0, Height()});
  fDropList->Font()->Assign(Font());
  fDropList->SetBounds(p.X, p.Y, Width(), rows * fItemHeight + 2);
  fDropList->HandleNeeded();
  ShowWindow(fDropList->Handle(), SW_SHOWNA);
  fDropList->Invalidate();
  Invalidate();
}

void TCustomComboBox::UserSelect(int Index) {
  if (Index < 0 || Index >= fItems->Count()) return;
  fItemIndex = Index;
  TControl::SetText(fItems->Strings(Index));
  Invalidate();
  Click();
  Change();
}

void TCustomComboBox::Change() {
  if (OnChange) OnChange(this);
}

void TCustomComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    SetDroppedDown(!DroppedDown());
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomComboBox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const bool alt = Shift & VXShiftBit(ssAlt);
  if (Key == VK_F1 + 3 || (alt && (Key == VK_DOWN || Key == VK_UP))) {
    SetDroppedDown(!DroppedDown());
    return;
  }
  if ((Key == VK_RETURN || Key == VK_ESCAPE) && DroppedDown()) {
    SetDroppedDown(false);
    return;
  }
  int n = fItemIndex;
  const int count = fItems->Count();
  if (count == 0) return;
  switch (Key) {
    case VK_DOWN:
    case VK_RIGHT:
      n = std::min(count - 1, n + 1);
      break;
    case VK_UP:
    case VK_LEFT:
      n = std::max(0, n - 1);
      break;
    case VK_HOME:
      n = 0;
      break;
    case VK_END:
      n = count - 1;
      break;
    default:
      return;
  }
  if (n != fItemIndex) {
    UserSelect(n);
    if (DroppedDown()) SetDroppedDown(true), fDropList->Invalidate();
  }
}

void TCustomComboBox::CMWantSpecialKey(TMessage& Message) {
  const WORD key = WORD(Message.WParam);
  Message.Result = (key >= VK_LEFT && key <= VK_DOWN) || ((key == VK_RETURN || key == VK_ESCAPE) && DroppedDown());
}

void TCustomComboBox::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
}

void TCustomComboBox::DoExit() {
  SetDroppedDown(false);
  Invalidate();
  TCustomControl::DoExit();
}

void TCustomComboBox::DrawItem(int Index, const TRect& Rect, TOwnerDrawState /*State*/) {
  TCanvas* c = Canvas();
  c->FillRect(Rect);
  if (Index < 0 || Index >= fItems->Count()) return;
  const std::string& s = fItems->Strings(Index);
  const int th = c->TextHeight("Wg");
  const TBrushStyle old = c->Brush()->Style();
  c->Brush()->SetStyle(bsClear);
  c->TextOut(Rect.Left + 2, Rect.Top + ((Rect.Bottom - Rect.Top) - th) / 2, s);
  if (old != bsClear) c->Brush()->SetStyle(old);
}

void TCustomComboBox::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  Fill(c, Inner(r), Enabled() ? Color() : clBtnFace);
  Edge(c, r, true);
  const int bw = 17;
  const TRect button{r.Right - 2 - bw, 2, r.Right - 2, r.Bottom - 2};
  Fill(c, Inner(button), clBtnFace);
  if (DroppedDown())
    Frame3D(c, button, clBtnShadow, clBtnShadow);
  else
    Edge(c, button, false);
  Arrow(c, button, 1, TextColor(this, clBtnText));
  const TRect edit{3, 3, button.Left - 1, r.Bottom - 3};
  if (edit.Right <= edit.Left || edit.Bottom <= edit.Top) return;
  const bool focused = Focused() && !DroppedDown();
  c->Brush()->SetColor(focused ? clHighlight : (Enabled() ? Color() : clBtnFace));
  c->Font()->Assign(Font());
  c->Font()->SetColor(focused ? clHighlightText : TextColor(this, Font()->Color()));
  ClipTo clip(c, edit);
  TOwnerDrawState st = VXOwnerDrawBit(odComboBoxEdit);
  if (focused) st |= VXOwnerDrawBit(odSelected) | VXOwnerDrawBit(odFocused);
  if (!Enabled()) st |= VXOwnerDrawBit(odDisabled);
  const bool ownerDraw = fStyle == csOwnerDrawFixed || fStyle == csOwnerDrawVariable;
  if (fItemIndex >= 0) {
    if (ownerDraw && OnDrawItem)
      OnDrawItem(this, fItemIndex, edit, st);
    else
      DrawItem(fItemIndex, edit, st);
  } else {
    c->FillRect(edit);
    if (!ownerDraw && fStyle != csDropDownList) vxpaint::Text(c, edit.Left + 2, edit.Top + ((edit.Bottom - edit.Top) - c->TextHeight("Wg")) / 2, TControl::Text(), c->Font()->Color());
  }
}

// ---------------------------------------------------------------------------
// List boxes

TCustomListBox::TCustomListBox(TComponent* AOwner) : TCustomControl(AOwner), fItems(std::make_unique<TStrings>()) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  SetColor(clWindow);
  SetTabStop(true);
  SetBoundsFields(0, 0, 121, 97);
  fItems->OnChange = [this](void*) { ItemsChanged(); };
}

TCustomListBox::~TCustomListBox() { fItems->OnChange = nullptr; }

void TCustomListBox::ItemsChanged() {
  fSelected.resize(size_t(fItems->Count()), false);
  if (fItemIndex >= fItems->Count()) fItemIndex = -1;
  fTopIndex = std::clamp(fTopIndex, 0, std::max(0, fItems->Count() - 1));
  Invalidate();
}

TRect TCustomListBox::InnerRect() { return Inner(ClientRect()); }

int TCustomListBox::VisibleRows() { return std::max(1, (InnerRect().Bottom - InnerRect().Top) / fItemHeight); }

void TCustomListBox::MakeVisible(int Index) {
  if (Index < 0) return;
  const int rows = VisibleRows();
  if (Index < fTopIndex) SetTopIndex(Index);
  if (Index >= fTopIndex + rows) SetTopIndex(Index - rows + 1);
}

void TCustomListBox::SetItemIndex(int v) {
  if (v < -1 || v >= fItems->Count()) v = -1;
  fItemIndex = v;
  if (!fMultiSelect) std::fill(fSelected.begin(), fSelected.end(), false);
  if (v >= 0) fSelected[size_t(v)] = true;
  MakeVisible(v);
  Invalidate();
}

void TCustomListBox::SetStyle(TListBoxStyle v) {
  fStyle = v;
  Invalidate();
}

void TCustomListBox::SetItemHeight(int v) {
  fItemHeight = std::max(1, v);
  Invalidate();
}

void TCustomListBox::SetTopIndex(int v) {
  const int maxTop = std::max(0, fItems->Count() - VisibleRows());
  v = std::clamp(v, 0, maxTop);
  if (v == fTopIndex) return;
  fTopIndex = v;
  Invalidate();
}

void TCustomListBox::SetMultiSelect(bool v) {
  fMultiSelect = v;
  if (!v) SetItemIndex(fItemIndex);
}

bool TCustomListBox::Selected(int Index) const {
  if (Index < 0 || Index >= fItems->Count()) throw EInvalidOperation("List index out of bounds (" + std::to_string(Index) + ")");
  return fSelected[size_t(Index)];
}

void TCustomListBox::SetSelected(int Index, bool v) {
  if (Index < 0 || Index >= fItems->Count()) throw EInvalidOperation("List index out of bounds (" + std::to_string(Index) + ")");
  if (!fMultiSelect) {
    SetItemIndex(v ? Index : (Index == fItemIndex ? -1 : fItemIndex));
    return;
  }
  fSelected[size_t(Index)] = v;
  Invalidate();
}

int TCustomListBox::SelCount() const { return int(std::count(fSelected.begin(), fSelected.end(), true)); }

TRect TCustomListBox::ItemRect(int Index) {
  const TRect in = InnerRect();
  const int top = in.Top + (Index - fTopIndex) * fItemHeight;
  return TRect{in.Left, top, in.Right, top + fItemHeight};
}

int TCustomListBox::ItemAtPos(const TPoint& Pos, bool Existing) {
  const TRect in = InnerRect();
  if (Pos.X < in.Left || Pos.X >= in.Right || Pos.Y < in.Top || Pos.Y >= in.Bottom) return -1;
  const int i = fTopIndex + (Pos.Y - in.Top) / fItemHeight;
  if (i >= fItems->Count()) return Existing ? -1 : fItems->Count();
  return i;
}

void TCustomListBox::ItemClicked(int Index, int /*X*/) {
  if (fMultiSelect) {
    fItemIndex = Index;
    fSelected[size_t(Index)] = !fSelected[size_t(Index)];
    Invalidate();
  } else {
    SetItemIndex(Index);
  }
  Click();
}

void TCustomListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    const int i = ItemAtPos(TPoint{X, Y}, true);
    if (i >= 0) ItemClicked(i, X);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomListBox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const int count = fItems->Count();
  if (count == 0) return;
  int n = fItemIndex;
  switch (Key) {
    case VK_DOWN:
      n = std::min(count - 1, n + 1);
      break;
    case VK_UP:
      n = std::max(0, n - 1);
      break;
    case VK_HOME:
      n = 0;
      break;
    case VK_END:
      n = count - 1;
      break;
    case VK_NEXT:
      n = std::min(count - 1, std::max(0, n) + VisibleRows() - 1);
      break;
    case VK_PRIOR:
      n = std::max(0, n - VisibleRows() + 1);
      break;
    default:
      return;
  }
  if (n == fItemIndex) return;
  SetItemIndex(n);
  Click();
}

bool TCustomListBox::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TCustomControl::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  SetTopIndex(fTopIndex - 3 * WheelDelta / WHEEL_DELTA);
  return true;
}

void TCustomListBox::CMWantSpecialKey(TMessage& Message) {
  const WORD key = WORD(Message.WParam);
  Message.Result = key >= VK_LEFT && key <= VK_DOWN;
}

void TCustomListBox::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
}

void TCustomListBox::DoExit() {
  Invalidate();
  TCustomControl::DoExit();
}

void TCustomListBox::DrawItem(int Index, const TRect& Rect, TOwnerDrawState /*State*/) {
  TCanvas* c = Canvas();
  c->FillRect(Rect);
  if (Index < 0 || Index >= fItems->Count()) return;
  const int th = c->TextHeight("Wg");
  const TBrushStyle old = c->Brush()->Style();
  c->Brush()->SetStyle(bsClear);
  c->TextOut(Rect.Left + 2, Rect.Top + ((Rect.Bottom - Rect.Top) - th) / 2, fItems->Strings(Index));
  if (old != bsClear) c->Brush()->SetStyle(old);
}

void TCustomListBox::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  const TRect in = InnerRect();
  Fill(c, in, Color());
  Edge(c, r, true);
  ClipTo clip(c, in);
  const bool focused = Focused();
  const bool ownerDraw = fStyle == lbOwnerDrawFixed || fStyle == lbOwnerDrawVariable || fStyle == lbVirtualOwnerDraw;
  for (int i = fTopIndex; i < fItems->Count(); ++i) {
    TRect row = ItemRect(i);
    if (row.Top >= in.Bottom) break;
    if (ItemIndent() > 0) {
      PaintIndent(i, TRect{row.Left, row.Top, row.Left + ItemIndent(), row.Bottom});
      row.Left += ItemIndent();
    }
    const bool sel = fSelected[size_t(i)];
    TOwnerDrawState st = 0;
    if (sel) st |= VXOwnerDrawBit(odSelected);
    if (focused && i == fItemIndex) st |= VXOwnerDrawBit(odFocused);
    if (!Enabled()) st |= VXOwnerDrawBit(odDisabled);
    c->Brush()->SetColor(sel ? clHighlight : Color());
    c->Font()->Assign(Font());
    c->Font()->SetColor(sel ? clHighlightText : TextColor(this, Font()->Color()));
    if (ownerDraw && OnDrawItem)
      OnDrawItem(this, i, row, st);
    else
      DrawItem(i, row, st);
    if (focused && i == fItemIndex) FocusRect(c, row);
  }
}

TCheckListBox::TCheckListBox(TComponent* AOwner) : TCustomListBox(AOwner) {}

void TCheckListBox::ItemsChanged() {
  fStates.resize(size_t(fItems->Count()), cbUnchecked);
  fItemEnabled.resize(size_t(fItems->Count()), true);
  TCustomListBox::ItemsChanged();
}

namespace {
void CheckItemIndex(const TStrings* Items, int Index) {
  if (Index < 0 || Index >= Items->Count())
    throw EInvalidOperation("List index out of bounds (" + std::to_string(Index) + ")");
}
}  // namespace

bool TCheckListBox::Checked(int Index) const { return State(Index) == cbChecked; }
void TCheckListBox::SetChecked(int Index, bool v) { SetState(Index, v ? cbChecked : cbUnchecked); }

TCheckBoxState TCheckListBox::State(int Index) const {
  CheckItemIndex(fItems.get(), Index);
  return fStates[size_t(Index)];
}

void TCheckListBox::SetState(int Index, TCheckBoxState v) {
  CheckItemIndex(fItems.get(), Index);
  fStates[size_t(Index)] = v;
  Invalidate();
}

bool TCheckListBox::ItemEnabled(int Index) const {
  CheckItemIndex(fItems.get(), Index);
  return fItemEnabled[size_t(Index)];
}

void TCheckListBox::SetItemEnabled(int Index, bool v) {
  CheckItemIndex(fItems.get(), Index);
  fItemEnabled[size_t(Index)] = v;
  Invalidate();
}

TRect TCheckListBox::CheckRect(int Index) {
  const TRect row = ItemRect(Index);
  const int top = row.Top + (ItemHeight() - 13) / 2;
  return TRect{row.Left + 1, top, row.Left + 14, top + 13};
}

void TCheckListBox::ToggleItem(int Index) {
  TCheckBoxState& s = fStates[size_t(Index)];
  s = s == cbUnchecked ? cbChecked : (s == cbChecked && fAllowGrayed ? cbGrayed : cbUnchecked);
  Invalidate();
  if (OnClickCheck) OnClickCheck(this);
}

void TCheckListBox::ItemClicked(int Index, int X) {
  TCustomListBox::ItemClicked(Index, X);
  if (Index < fItems->Count() && X < ItemRect(Index).Left + ItemIndent() && fItemEnabled[size_t(Index)])
    ToggleItem(Index);
}

void TCheckListBox::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomListBox::KeyDown(Key, Shift);
  if (Key == VK_SPACE && ItemIndex() >= 0 && fItemEnabled[size_t(ItemIndex())]) ToggleItem(ItemIndex());
}

void TCheckListBox::PaintIndent(int Index, const TRect& Rect) {
  Fill(Canvas(), Rect, Color());
  const TRect box = CheckRect(Index);
  CheckBox(Canvas(), box.Left, box.Top, int(fStates[size_t(Index)]), Enabled() && fItemEnabled[size_t(Index)]);
}

// ---------------------------------------------------------------------------
// TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle | VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque)) & kNoClick;
  fParentColor = true;
  SetBoundsFields(0, 0, 185, 105);
}

void TGroupBox::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  Fill(c, r, Color());
  c->Font()->Assign(Font());
  const std::string text = VXStripAccelChars(Caption());
  const TSize sz = c->TextExtent(text.empty() ? std::string("W") : text);
  const TRect frame{r.Left, r.Top + sz.cy / 2, r.Right, r.Bottom};
  Frame3D(c, TRect{frame.Left, frame.Top, frame.Right - 1, frame.Bottom - 1}, clBtnShadow, clBtnShadow);
  Frame3D(c, TRect{frame.Left + 1, frame.Top + 1, frame.Right, frame.Bottom}, clBtnHighlight, clBtnHighlight);
  Frame3D(c, TRect{frame.Left, frame.Top, frame.Right - 1, frame.Bottom - 1}, clBtnShadow, clBtnShadow);
  Fill(c, TRect{frame.Left + 1, frame.Top + 1, frame.Right - 2, frame.Top + 2}, clBtnHighlight);
  if (text.empty()) return;
  Fill(c, TRect{8, 0, 8 + sz.cx + 2, sz.cy}, Color());
  vxpaint::Text(c, 9, 0, text, TextColor(this, Font()->Color()));
}
