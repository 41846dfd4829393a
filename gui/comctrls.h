// Common controls: up-down buttons, track bars, progress bars and page
// controls with their tab sheets.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "gui/controls.h"

enum TUDBtnType { btNext, btPrev };
enum TUDOrientation { udHorizontal, udVertical };
using TUDClickEvent = std::function<void(void* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(void* Sender, bool& AllowChange)>;

// Two arrow buttons that step a position, shown in an associated control
// (an edit) as an integer. Setting Position clamps it and rewrites the
// associate's text (whose OnChange fires) without OnClick. A click on an
// arrow takes the associate's integer (clamped) as the position, moves it
// by Increment (clamped, or wrapped with Wrap), rewrites the associate and
// fires OnClick with the arrow, also at a limit.
class TUpDown : public TCustomControl {
 public:
  explicit TUpDown(TComponent* AOwner = nullptr);
  ~TUpDown() override;
  // The control showing the position; the up-down moves to its right edge
  // and shows the position in it.
  TWinControl* Associate() const { return fAssociate; }
  void SetAssociate(TWinControl* v);
  int Min() const { return fMin; }
  void SetMin(int v);
  int Max() const { return fMax; }
  void SetMax(int v);
  // With an associate, its integer text (clamped) when it holds one.
  int Position();
  void SetPosition(int v);
  int Increment() const { return fIncrement; }
  void SetIncrement(int v) { fIncrement = v; }
  // The associate's number with thousands separators.
  bool Thousands() const { return fThousands; }
  void SetThousands(bool v);
  bool Wrap() const { return fWrap; }
  void SetWrap(bool v) { fWrap = v; }
  TUDOrientation Orientation() const { return fOrientation; }
  void SetOrientation(TUDOrientation v);
  // Stored only.
  bool ArrowKeys() const { return fArrowKeys; }
  void SetArrowKeys(bool v) { fArrowKeys = v; }
  // The rectangle of an arrow button (client coordinates).
  TRect ButtonRect(TUDBtnType Button);
  // A click on an arrow, as a person's (what the mouse and arrow keys do).
  void ClickButton(TUDBtnType Button);

  // Hides TControl::OnClick: the up-down tells which arrow.
  TUDClickEvent OnClick;
  TUDChangingEvent OnChanging;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  bool ReadAssociate(int& Value);
  void WriteAssociate();
  int Clamp(int v) const;
  TWinControl* fAssociate = nullptr;
  int fMin = 0, fMax = 100, fPosition = 0, fIncrement = 1;
  bool fThousands = true;
  bool fWrap = false;
  bool fArrowKeys = true;
  TUDOrientation fOrientation = udVertical;
  int fPressedButton = -1;
};

// The text of an integer with "," between groups of three digits.
std::string VXIntToStrThousands(int Value);

enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickStyle { tsNone, tsAuto, tsManual };
enum TTickMark { tmBottomRight, tmTopLeft, tmBoth };

// A slider. Every change of Position (clamped to Min..Max), by the program
// or a person, fires OnChange.
class TTrackBar : public TCustomControl {
 public:
  explicit TTrackBar(TComponent* AOwner = nullptr);
  int Min() const { return fMin; }
  void SetMin(int v);
  int Max() const { return fMax; }
  void SetMax(int v);
  int Position() const { return fPosition; }
  void SetPosition(int v);
  int Frequency() const { return fFrequency; }
  void SetFrequency(int v);
  int LineSize() const { return fLineSize; }
  void SetLineSize(int v) { fLineSize = v; }
  int PageSize() const { return fPageSize; }
  void SetPageSize(int v) { fPageSize = v; }
  TTrackBarOrientation Orientation() const { return fOrientation; }
  void SetOrientation(TTrackBarOrientation v);
  int ThumbLength() const { return fThumbLength; }
  void SetThumbLength(int v);
  TTickStyle TickStyle() const { return fTickStyle; }
  void SetTickStyle(TTickStyle v);
  TTickMark TickMarks() const { return fTickMarks; }
  void SetTickMarks(TTickMark v);
  bool SliderVisible() const { return fSliderVisible; }
  void SetSliderVisible(bool v);
  int SelStart() const { return fSelStart; }
  void SetSelStart(int v);
  int SelEnd() const { return fSelEnd; }
  void SetSelEnd(int v);
  bool ShowSelRange() const { return fShowSelRange; }
  void SetShowSelRange(bool v);
  // The thumb's rectangle and the client coordinate along the channel of a
  // position.
  TRect ThumbRect();
  int PositionToPixel(int Pos);
  int PixelToPosition(int Pixel);
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  virtual void Changed();
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  void ChannelRange(int& From, int& To);
  int fMin = 0, fMax = 10, fPosition = 0, fFrequency = 1, fLineSize = 1, fPageSize = 2;
  TTrackBarOrientation fOrientation = trHorizontal;
  int fThumbLength = 20;
  TTickStyle fTickStyle = tsAuto;
  TTickMark fTickMarks = tmBottomRight;
  bool fSliderVisible = true;
  int fSelStart = 0, fSelEnd = 0;
  bool fShowSelRange = true;
  bool fDragging = false;
  int fDragOffset = 0;
};

enum TProgressBarOrientation { pbHorizontal, pbVertical };

class TProgressBar : public TCustomControl {
 public:
  explicit TProgressBar(TComponent* AOwner = nullptr);
  int Min() const { return fMin; }
  void SetMin(int v);
  int Max() const { return fMax; }
  void SetMax(int v);
  int Position() const { return fPosition; }
  // Clamped to Min..Max.
  void SetPosition(int v);
  int Step() const { return fStep; }
  void SetStep(int v) { fStep = v; }
  // Moves by Step (StepBy: by Delta), wrapping past Max to Min.
  void StepIt();
  void StepBy(int Delta);
  bool Smooth() const { return fSmooth; }
  void SetSmooth(bool v);
  TProgressBarOrientation Orientation() const { return fOrientation; }
  void SetOrientation(TProgressBarOrientation v);

 protected:
  void Paint() override;

 private:
  int fMin = 0, fMax = 100, fPosition = 0, fStep = 10;
  bool fSmooth = false;
  TProgressBarOrientation fOrientation = pbHorizontal;
};

class TPageControl;

// A page of a page control: shown while it is the active page. A page
// whose tab is not visible has no tab but can still be the active page.
class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent* AOwner = nullptr);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return fPageControl; }
  // Makes the sheet a page of APageControl (the last), or of none.
  void SetPageControl(TPageControl* APageControl);
  int PageIndex() const;
  void SetPageIndex(int v);
  bool TabVisible() const { return fTabVisible; }
  void SetTabVisible(bool v);
  // The index among the visible tabs; -1 when the tab is hidden.
  int TabIndex() const;
  int ImageIndex() const { return fImageIndex; }
  void SetImageIndex(int v) { fImageIndex = v; }
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 protected:
  void Paint() override;
  void CMTextChanged(TMessage& Message) override;
  void CMVisibleChanged(TMessage& Message) override;

 private:
  friend class TPageControl;
  TPageControl* fPageControl = nullptr;
  bool fTabVisible = true;
  int fImageIndex = -1;
};

enum TTabStyle { tsTabs, tsButtons, tsFlatButtons };
using TTabChangingEvent = std::function<void(void* Sender, bool& AllowChange)>;

// Pages with a row of tabs. Setting ActivePage fires nothing; a click on a
// tab fires OnChanging (which may refuse), then OnChange.
class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent* AOwner = nullptr);
  ~TPageControl() override;
  int PageCount() const { return int(fPages.size()); }
  TTabSheet* Pages(int Index) const;
  TTabSheet* ActivePage() const { return fActivePage; }
  void SetActivePage(TTabSheet* Page);
  int ActivePageIndex() const;
  void SetActivePageIndex(int v);
  TTabStyle Style() const { return fStyle; }
  void SetStyle(TTabStyle v);
  bool HotTrack() const { return fHotTrack; }
  void SetHotTrack(bool v) { fHotTrack = v; }
  // 0: from the font.
  int TabHeight() const { return fTabHeight; }
  void SetTabHeight(int v);
  int TabWidth() const { return fTabWidth; }
  void SetTabWidth(int v);
  // The next (or previous) page after Page, only those with a visible tab
  // when CheckTabVisible; null when there is none.
  TTabSheet* FindNextPage(TTabSheet* Page, bool GoForward, bool CheckTabVisible);
  // As a person (Ctrl+Tab): OnChanging, then the change and OnChange.
  void SelectNextPage(bool GoForward);
  // The visible tabs, in order; the rectangle of one; the tab at a point
  // (-1 for none).
  std::vector<TTabSheet*> VisibleTabs() const;
  TRect TabRect(int TabIndex);
  int IndexOfTabAt(int X, int Y);
  // Where the active page lies (client coordinates).
  TRect DisplayRect();
  TNotifyEvent OnChange;
  TTabChangingEvent OnChanging;

 protected:
  void Paint() override;
  void Resize() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void CMFontChanged(TMessage& Message) override;
  // A person moves to Page: OnChanging may refuse; else the change and
  // OnChange. Answers whether the page changed.
  bool UserChange(TTabSheet* Page);

 private:
  friend class TTabSheet;
  void InsertPage(TTabSheet* Page);
  void RemovePage(TTabSheet* Page);
  void LayoutPages();
  int RowHeight();
  std::vector<TTabSheet*> fPages;
  TTabSheet* fActivePage = nullptr;
  TTabStyle fStyle = tsTabs;
  bool fHotTrack = false;
  int fTabHeight = 0, fTabWidth = 0;
};
