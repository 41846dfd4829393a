// Up-down buttons, track bars, progress bars and page controls.
#include "gui/comctrls.h"

#include <algorithm>
#include <climits>

#include "gui/ctrlpaint.h"
#include "gui/stdctrls.h"

using namespace vxpaint;

namespace {
constexpr TControlStyle kNoClick = ~VXStyleBit(csClickEvents);
}  // namespace

std::string VXIntToStrThousands(int Value) {
  const std::string digits = std::to_string(int64_t(Value) < 0 ? -int64_t(Value) : int64_t(Value));
  std::string r;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) r += ',';
    r += digits[i];
  }
  return Value < 0 ? "-" + r : r;
}

// ---------------------------------------------------------------------------
// TUpDown

TUpDown::TUpDown(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  SetBoundsFields(0, 0, 17, 21);
}

TUpDown::~TUpDown() {
  if (fAssociate) fAssociate->RemoveFreeNotification(this);
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == fAssociate) fAssociate = nullptr;
}

int TUpDown::Clamp(int v) const { return std::clamp(v, std::min(fMin, fMax), std::max(fMin, fMax)); }

void TUpDown::SetAssociate(TWinControl* v) {
  if (v == fAssociate) return;
  if (v == this) throw EInvalidOperation("An up-down cannot be its own associate");
  if (fAssociate) fAssociate->RemoveFreeNotification(this);
  fAssociate = v;
  if (!v) return;
  v->FreeNotification(this);
  // Beside the associate's right edge, as tall as it.
  if (fOrientation == udVertical)
    SetBounds(v->Left() + v->Width(), v->Top(), Width(), v->Height());
  else
    SetBounds(v->Left() + v->Width(), v->Top(), Width(), v->Height());
  WriteAssociate();
}

void TUpDown::SetMin(int v) {
  fMin = v;
  Invalidate();
}

void TUpDown::SetMax(int v) {
  fMax = v;
  Invalidate();
}

void TUpDown::SetThousands(bool v) {
  if (v == fThousands) return;
  fThousands = v;
  WriteAssociate();
}

void TUpDown::SetOrientation(TUDOrientation v) {
  fOrientation = v;
  Invalidate();
}

bool TUpDown::ReadAssociate(int& Value) {
  if (!fAssociate) return false;
  std::string t;
  for (char c : fAssociate->Text())
    if (c != ',' && c != ' ') t += c;
  if (t.empty()) return false;
  size_t i = 0;
  bool neg = false;
  if (t[0] == '-' || t[0] == '+') neg = t[i++] == '-';
  if (i == t.size()) return false;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return false;
    v = v * 10 + (t[i] - '0');
    if (v > int64_t(INT_MAX) + 1) return false;
  }
  v = neg ? -v : v;
  if (v > INT_MAX || v < INT_MIN) return false;
  Value = int(v);
  return true;
}

void TUpDown::WriteAssociate() {
  if (fAssociate) fAssociate->SetText(fThousands ? VXIntToStrThousands(fPosition) : std::to_string(fPosition));
}

int TUpDown::Position() {
  int v;
  if (ReadAssociate(v)) fPosition = Clamp(v);
  return fPosition;
}

void TUpDown::SetPosition(int v) {
  fPosition = Clamp(v);
  WriteAssociate();
  Invalidate();
}

void TUpDown::ClickButton(TUDBtnType Button) {
  int cur = fPosition;
  int v;
  if (ReadAssociate(v)) cur = Clamp(v);
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return;
  const int lo = std::min(fMin, fMax), hi = std::max(fMin, fMax);
  int64_t n = int64_t(cur) + (Button == btNext ? fIncrement : -int64_t(fIncrement));
  if (n > hi) n = fWrap ? lo : hi;
  if (n < lo) n = fWrap ? hi : lo;
  fPosition = int(n);
  WriteAssociate();
  if (OnClick) OnClick(this, Button);
}

TRect TUpDown::ButtonRect(TUDBtnType Button) {
  const int w = Width(), h = Height();
  if (fOrientation == udVertical)
    return Button == btNext ? TRect{0, 0, w, h / 2} : TRect{0, h / 2, w, h};
  return Button == btPrev ? TRect{0, 0, w / 2, h} : TRect{w / 2, 0, w, h};
}

void TUpDown::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  for (TUDBtnType b : {btNext, btPrev}) {
    const TRect r = ButtonRect(b);
    if (X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom) {
      fPressedButton = int(b);
      Invalidate();
      ClickButton(b);
      return;
    }
  }
}

void TUpDown::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft && fPressedButton >= 0) {
    fPressedButton = -1;
    Invalidate();
  }
}

void TUpDown::Paint() {
  TCanvas* c = Canvas();
  for (TUDBtnType b : {btNext, btPrev}) {
    const TRect r = ButtonRect(b);
    Fill(c, r, clBtnFace);
    if (fPressedButton == int(b))
      Frame3D(c, r, clBtnShadow, clBtnShadow);
    else
      Edge(c, r, false);
    const int dir = fOrientation == udVertical ? (b == btNext ? 0 : 1) : (b == btNext ? 3 : 2);
    Arrow(c, Inner(r, 1), dir, TextColor(this, clBtnText));
  }
}

// ---------------------------------------------------------------------------
// TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  fParentColor = true;
  SetTabStop(true);
  SetBoundsFields(0, 0, 150, 45);
}

void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

void TTrackBar::SetPosition(int v) {
  v = std::clamp(v, fMin, std::max(fMin, fMax));
  if (v == fPosition) return;
  fPosition = v;
  Invalidate();
  Changed();
}

void TTrackBar::SetMin(int v) {
  fMin = v;
  if (fMax < fMin) fMax = fMin;
  Invalidate();
  SetPosition(fPosition);
}

void TTrackBar::SetMax(int v) {
  fMax = v;
  if (fMin > fMax) fMin = fMax;
  Invalidate();
  SetPosition(fPosition);
}

void TTrackBar::SetFrequency(int v) {
  fFrequency = v;
  Invalidate();
}

void TTrackBar::SetOrientation(TTrackBarOrientation v) {
  if (v == fOrientation) return;
  fOrientation = v;
  // The control turns with it.
  SetBounds(Left(), Top(), Height(), Width());
  Invalidate();
}

void TTrackBar::SetThumbLength(int v) {
  fThumbLength = std::max(4, v);
  Invalidate();
}

void TTrackBar::SetTickStyle(TTickStyle v) {
  fTickStyle = v;
  Invalidate();
}

void TTrackBar::SetTickMarks(TTickMark v) {
  fTickMarks = v;
  Invalidate();
}

void TTrackBar::SetSliderVisible(bool v) {
  fSliderVisible = v;
  Invalidate();
}

void TTrackBar::SetSelStart(int v) {
  fSelStart = v;
  Invalidate();
}

void TTrackBar::SetSelEnd(int v) {
  fSelEnd = v;
  Invalidate();
}

void TTrackBar::SetShowSelRange(bool v) {
  fShowSelRange = v;
  Invalidate();
}

void TTrackBar::ChannelRange(int& From, int& To) {
  const int tw = fThumbLength / 2 + 1;
  const int len = fOrientation == trHorizontal ? Width() : Height();
  From = tw / 2 + 8;
  To = std::max(From + 1, len - 1 - tw / 2 - 8);
}

int TTrackBar::PositionToPixel(int Pos) {
  int from, to;
  ChannelRange(from, to);
  const int range = fMax - fMin;
  if (range <= 0) return from;
  return from + int((int64_t(std::clamp(Pos, fMin, fMax) - fMin) * (to - from) * 2 + range) / (2 * int64_t(range)));
}

int TTrackBar::PixelToPosition(int Pixel) {
  int from, to;
  ChannelRange(from, to);
  const int range = fMax - fMin;
  if (range <= 0) return fMin;
  const int64_t x = std::clamp(Pixel, from, to) - from;
  return fMin + int((x * range * 2 + (to - from)) / (2 * int64_t(to - from)));
}

TRect TTrackBar::ThumbRect() {
  const int tw = fThumbLength / 2 + 1;
  const int c = PositionToPixel(fPosition);
  if (fOrientation == trHorizontal) return TRect{c - tw / 2, 8, c - tw / 2 + tw, 8 + fThumbLength};
  return TRect{8, c - tw / 2, 8 + fThumbLength, c - tw / 2 + tw};
}

void TTrackBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft) return;
  if (CanFocus() && !Focused()) SetFocus();
  const TRect t = ThumbRect();
  const int along = fOrientation == trHorizontal ? X : Y;
  if (fSliderVisible && X >= t.Left && X < t.Right && Y >= t.Top && Y < t.Bottom) {
    fDragging = true;
    fDragOffset = along - PositionToPixel(fPosition);
    return;
  }
  // A click beside the thumb moves a page towards it.
  SetPosition(along < PositionToPixel(fPosition) ? fPosition - fPageSize : fPosition + fPageSize);
}

void TTrackBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (fDragging) SetPosition(PixelToPosition((fOrientation == trHorizontal ? X : Y) - fDragOffset));
}

void TTrackBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button == mbLeft) fDragging = false;
}

void TTrackBar::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_LEFT:
    case VK_UP:
      SetPosition(fPosition - fLineSize);
      break;
    case VK_RIGHT:
    case VK_DOWN:
      SetPosition(fPosition + fLineSize);
      break;
    case VK_PRIOR:
      SetPosition(fPosition - fPageSize);
      break;
    case VK_NEXT:
      SetPosition(fPosition + fPageSize);
      break;
    case VK_HOME:
      SetPosition(fMin);
      break;
    case VK_END:
      SetPosition(fMax);
      break;
    default:
      break;
  }
}

void TTrackBar::CMWantSpecialKey(TMessage& Message) {
  const WORD key = WORD(Message.WParam);
  Message.Result = key >= VK_LEFT && key <= VK_DOWN;
}

void TTrackBar::DoEnter() {
  Invalidate();
  TCustomControl::DoEnter();
}

void TTrackBar::DoExit() {
  fDragging = false;
  Invalidate();
  TCustomControl::DoExit();
}

void TTrackBar::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  Fill(c, r, Color());
  int from, to;
  ChannelRange(from, to);
  const bool horz = fOrientation == trHorizontal;
  const int mid = 8 + fThumbLength / 2;
  const TRect channel = horz ? TRect{from - 2, mid - 2, to + 3, mid + 2} : TRect{mid - 2, from - 2, mid + 2, to + 3};
  Fill(c, Inner(channel, 1), clWindow);
  Frame3D(c, channel, clBtnShadow, clBtnHighlight);
  if (fShowSelRange && fSelEnd > fSelStart) {
    const int a = PositionToPixel(fSelStart), b = PositionToPixel(fSelEnd);
    Fill(c, horz ? TRect{a, mid - 1, b + 1, mid + 1} : TRect{mid - 1, a, mid + 1, b + 1}, clHighlight);
  }
  if (fTickStyle == tsAuto && fFrequency > 0 && fMax > fMin) {
    const int at = 8 + fThumbLength + 2;
    for (int64_t p = fMin; p <= fMax; p += fFrequency) {
      const int px = PositionToPixel(int(p));
      Fill(c, horz ? TRect{px, at, px + 1, at + 3} : TRect{at, px, at + 3, px + 1}, TextColor(this, clWindowText));
    }
  }
  if (fSliderVisible) {
    const TRect t = ThumbRect();
    Fill(c, t, fDragging ? cl3DLight : clBtnFace);
    Edge(c, t, false);
  }
  if (Focused()) FocusRect(c, r);
}

// ---------------------------------------------------------------------------
// TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle & kNoClick) | VXStyleBit(csOpaque);
  SetBoundsFields(0, 0, 150, 16);
}

void TProgressBar::SetMin(int v) {
  fMin = v;
  fPosition = std::max(fPosition, fMin);
  Invalidate();
}

void TProgressBar::SetMax(int v) {
  fMax = v;
  fPosition = std::min(fPosition, std::max(fMin, fMax));
  Invalidate();
}

void TProgressBar::SetPosition(int v) {
  v = std::clamp(v, fMin, std::max(fMin, fMax));
  if (v == fPosition) return;
  fPosition = v;
  Invalidate();
}

void TProgressBar::StepBy(int Delta) {
  int64_t p = int64_t(fPosition) + Delta;
  // Past the end the bar starts over from the beginning.
  if (p > fMax) p = fMin;
  SetPosition(int(std::clamp<int64_t>(p, fMin, fMax)));
}

void TProgressBar::StepIt() { StepBy(fStep); }

void TProgressBar::SetSmooth(bool v) {
  fSmooth = v;
  Invalidate();
}

void TProgressBar::SetOrientation(TProgressBarOrientation v) {
  fOrientation = v;
  Invalidate();
}

void TProgressBar::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  const TRect in = Inner(r, 1);
  Fill(c, in, clBtnFace);
  Frame3D(c, r, clBtnShadow, clBtnHighlight);
  const int range = fMax - fMin;
  if (range <= 0 || in.Right <= in.Left || in.Bottom <= in.Top) return;
  const bool horz = fOrientation == pbHorizontal;
  const int len = horz ? in.Right - in.Left : in.Bottom - in.Top;
  const int fill = int(int64_t(fPosition - fMin) * len / range);
  if (fSmooth) {
    Fill(c, horz ? TRect{in.Left, in.Top, in.Left + fill, in.Bottom} : TRect{in.Left, in.Bottom - fill, in.Right, in.Bottom},
         clHighlight);
    return;
  }
  const int thick = horz ? in.Bottom - in.Top : in.Right - in.Left;
  const int block = std::max(2, thick * 2 / 3);
  for (int p = 0; p < fill; p += block + 2) {
    const int e = std::min(fill, p + block);
    Fill(c, horz ? TRect{in.Left + p, in.Top, in.Left + e, in.Bottom} : TRect{in.Left, in.Bottom - e, in.Right, in.Bottom - p},
         clHighlight);
  }
}

// ---------------------------------------------------------------------------
// Tab sheets and page controls

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle | VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque)) & kNoClick;
  fVisible = false;
}

TTabSheet::~TTabSheet() {
  if (fPageControl) fPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* APageControl) {
  if (APageControl == fPageControl) return;
  if (fPageControl) fPageControl->RemovePage(this);
  if (APageControl) APageControl->InsertPage(this);
}

int TTabSheet::PageIndex() const {
  if (!fPageControl) return -1;
  auto& p = fPageControl->fPages;
  return int(std::find(p.begin(), p.end(), this) - p.begin());
}

void TTabSheet::SetPageIndex(int v) {
  if (!fPageControl) return;
  auto& p = fPageControl->fPages;
  v = std::clamp(v, 0, int(p.size()) - 1);
  p.erase(std::find(p.begin(), p.end(), this));
  p.insert(p.begin() + v, this);
  fPageControl->Invalidate();
}

void TTabSheet::SetTabVisible(bool v) {
  if (v == fTabVisible) return;
  fTabVisible = v;
  if (fPageControl) {
    fPageControl->LayoutPages();
    fPageControl->Invalidate();
  }
}

int TTabSheet::TabIndex() const {
  if (!fPageControl || !fTabVisible) return -1;
  const auto tabs = fPageControl->VisibleTabs();
  return int(std::find(tabs.begin(), tabs.end(), this) - tabs.begin());
}

void TTabSheet::Paint() { Fill(Canvas(), ClientRect(), Color()); }

void TTabSheet::CMTextChanged(TMessage& Message) {
  TCustomControl::CMTextChanged(Message);
  if (fPageControl) fPageControl->Invalidate();
}

void TTabSheet::CMVisibleChanged(TMessage& Message) {
  TCustomControl::CMVisibleChanged(Message);
  if (Visible()) {
    if (OnShow) OnShow(this);
  } else if (OnHide) {
    OnHide(this);
  }
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  fControlStyle = (fControlStyle | VXStyleBit(csAcceptsControls) | VXStyleBit(csOpaque)) & kNoClick;
  SetTabStop(true);
  SetBoundsFields(0, 0, 289, 193);
}

TPageControl::~TPageControl() {
  for (TTabSheet* p : fPages) p->fPageControl = nullptr;
  fPages.clear();
  fActivePage = nullptr;
}

TTabSheet* TPageControl::Pages(int Index) const {
  if (Index < 0 || Index >= PageCount()) throw EInvalidOperation("List index out of bounds (" + std::to_string(Index) + ")");
  return fPages[size_t(Index)];
}

void TPageControl::InsertPage(TTabSheet* Page) {
  fPages.push_back(Page);
  Page->fPageControl = this;
  Page->SetParent(this);
  Page->SetBoundsRect(DisplayRect());
  if (!fActivePage)
    SetActivePage(Page);
  else
    Page->SetVisible(false);
  Invalidate();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto it = std::find(fPages.begin(), fPages.end(), Page);
  if (it == fPages.end()) return;
  TTabSheet* next = Page == fActivePage ? FindNextPage(Page, true, false) : nullptr;
  fPages.erase(it);
  Page->fPageControl = nullptr;
  if (Page == fActivePage) {
    fActivePage = nullptr;
    SetActivePage(next);
  }
  if (!Page->InState(csDestroying)) Page->SetParent(nullptr);
  Invalidate();
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page && Page->fPageControl != this) return;
  if (Page == fActivePage) return;
  TTabSheet* old = fActivePage;
  fActivePage = Page;
  if (Page) {
    Page->SetBoundsRect(DisplayRect());
    Page->SetVisible(true);
  }
  if (old) old->SetVisible(false);
  Invalidate();
}

int TPageControl::ActivePageIndex() const {
  if (!fActivePage) return -1;
  return int(std::find(fPages.begin(), fPages.end(), fActivePage) - fPages.begin());
}

void TPageControl::SetActivePageIndex(int v) { SetActivePage(v >= 0 && v < PageCount() ? fPages[size_t(v)] : nullptr); }

void TPageControl::SetStyle(TTabStyle v) {
  fStyle = v;
  LayoutPages();
  Invalidate();
}

void TPageControl::SetTabHeight(int v) {
  fTabHeight = std::max(0, v);
  LayoutPages();
  Invalidate();
}

void TPageControl::SetTabWidth(int v) {
  fTabWidth = std::max(0, v);
  Invalidate();
}

std::vector<TTabSheet*> TPageControl::VisibleTabs() const {
  std::vector<TTabSheet*> r;
  for (TTabSheet* p : fPages)
    if (p->fTabVisible) r.push_back(p);
  return r;
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* Page, bool GoForward, bool CheckTabVisible) {
  const int n = PageCount();
  if (n == 0) return nullptr;
  int start = int(std::find(fPages.begin(), fPages.end(), Page) - fPages.begin());
  if (start >= n) start = GoForward ? n - 1 : 0;
  for (int k = 1; k <= n; ++k) {
    const int i = GoForward ? (start + k) % n : (start - k + n) % n;
    TTabSheet* p = fPages[size_t(i)];
    if (p == Page) break;
    if (!CheckTabVisible || p->fTabVisible) return p;
  }
  return nullptr;
}

bool TPageControl::UserChange(TTabSheet* Page) {
  if (!Page || Page == fActivePage) return false;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return false;
  SetActivePage(Page);
  if (OnChange) OnChange(this);
  return true;
}

void TPageControl::SelectNextPage(bool GoForward) { UserChange(FindNextPage(fActivePage, GoForward, true)); }

int TPageControl::RowHeight() {
  if (VisibleTabs().empty()) return 0;
  return fTabHeight > 0 ? fTabHeight : VXMeasureText(Font(), "Wg").cy + 6;
}

TRect TPageControl::TabRect(int TabIndex) {
  const auto tabs = VisibleTabs();
  if (TabIndex < 0 || TabIndex >= int(tabs.size())) return TRect{0, 0, 0, 0};
  const int rh = RowHeight();
  int x = fStyle == tsTabs ? 2 : 0;
  for (int k = 0; k <= TabIndex; ++k) {
    const int w = fTabWidth > 0 ? fTabWidth : VXMeasureText(Font(), VXStripAccelChars(tabs[size_t(k)]->Caption())).cx + 12;
    if (k == TabIndex) return fStyle == tsTabs ? TRect{x, 2, x + w, rh} : TRect{x, 0, x + w, rh};
    x += w + (fStyle == tsTabs ? 0 : 3);
  }
  return TRect{0, 0, 0, 0};
}

int TPageControl::IndexOfTabAt(int X, int Y) {
  const int n = int(VisibleTabs().size());
  for (int i = 0; i < n; ++i) {
    TRect r = TabRect(i);
    if (fStyle == tsTabs) r.Top = 0;
    if (X >= r.Left && X < r.Right && Y >= r.Top && Y < r.Bottom) return i;
  }
  return -1;
}

TRect TPageControl::DisplayRect() {
  const int rh = RowHeight();
  const int w = Width(), h = Height();
  if (fStyle == tsTabs) return TRect{4, rh + 4, std::max(4, w - 4), std::max(rh + 4, h - 4)};
  const int top = rh ? rh + 3 : 0;
  return TRect{0, top, w, std::max(top, h)};
}

void TPageControl::LayoutPages() {
  const TRect d = DisplayRect();
  for (TTabSheet* p : fPages) p->SetBoundsRect(d);
}

void TPageControl::Resize() {
  LayoutPages();
  TCustomControl::Resize();
}

void TPageControl::CMFontChanged(TMessage& Message) {
  TCustomControl::CMFontChanged(Message);
  LayoutPages();
}

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    const int i = IndexOfTabAt(X, Y);
    if (i >= 0) {
      if (CanFocus() && !Focused()) SetFocus();
      UserChange(VisibleTabs()[size_t(i)]);
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TPageControl::KeyDown(WORD& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_RIGHT || Key == VK_LEFT) {
    // Arrows stop at the ends of the tab row.
    const auto tabs = VisibleTabs();
    const int at = fActivePage ? fActivePage->TabIndex() : -1;
    const int n = Key == VK_RIGHT ? at + 1 : at - 1;
    if (n >= 0 && n < int(tabs.size())) UserChange(tabs[size_t(n)]);
  } else if (Key == VK_TAB && (Shift & VXShiftBit(ssCtrl))) {
    SelectNextPage(!(Shift & VXShiftBit(ssShift)));
  }
}

void TPageControl::Paint() {
  TCanvas* c = Canvas();
  const TRect r = ClientRect();
  Fill(c, r, Color());
  c->Font()->Assign(Font());
  const int rh = RowHeight();
  const auto tabs = VisibleTabs();
  if (fStyle == tsTabs) Edge(c, TRect{0, rh, r.Right, r.Bottom}, false);
  for (size_t k = 0; k < tabs.size(); ++k) {
    TRect t = TabRect(int(k));
    const bool active = tabs[k] == fActivePage;
    const std::string text = VXStripAccelChars(tabs[k]->Caption());
    const TColor color = TextColor(this, Font()->Color());
    if (fStyle == tsTabs) {
      if (active) t = TRect{t.Left - 2, 0, t.Right + 2, rh + 1};
      Fill(c, t, Color());
      Fill(c, TRect{t.Left, t.Top + 2, t.Left + 1, t.Bottom}, clBtnHighlight);
      Fill(c, TRect{t.Left + 2, t.Top, t.Right - 2, t.Top + 1}, clBtnHighlight);
      Fill(c, TRect{t.Left + 1, t.Top + 1, t.Left + 2, t.Top + 2}, clBtnHighlight);
      Fill(c, TRect{t.Right - 2, t.Top + 2, t.Right - 1, t.Bottom}, clBtnShadow);
      Fill(c, TRect{t.Right - 1, t.Top + 2, t.Right, t.Bottom}, cl3DDkShadow);
      Fill(c, TRect{t.Right - 2, t.Top + 1, t.Right - 1, t.Top + 2}, cl3DDkShadow);
      if (active) Fill(c, TRect{t.Left + 1, rh, t.Right - 2, rh + 2}, Color());
      CentredText(c, TRect{t.Left, t.Top + 1, t.Right, t.Bottom}, text, color);
    } else if (fStyle == tsButtons) {
      Fill(c, t, active ? cl3DLight : clBtnFace);
      Edge(c, t, active);
      CentredText(c, t, text, color);
    } else {
      if (active) Frame3D(c, t, clBtnShadow, clBtnHighlight);
      if (k + 1 < tabs.size()) Frame3D(c, TRect{t.Right + 1, t.Top + 3, t.Right + 3, t.Bottom - 3}, clBtnShadow, clBtnHighlight);
      CentredText(c, t, text, color);
    }
  }
}
