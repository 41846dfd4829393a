// The standard controls: labels, buttons, check boxes, edits, combo boxes,
// list boxes and group boxes. They paint themselves through GDI on their
// windows (a label on its parent's); a disabled control writes its text in
// clGrayText.
//
// Events follow the window library the dialogs were written for: a change
// made by the program fires what the control would fire for it (an edit's
// OnChange, a check box's OnClick), and none for a list's item index; a
// user's choice fires OnClick (and a combo box's OnChange).
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "gui/classes.h"
#include "gui/controls.h"

class TCustomImageList;
class TCustomForm;
class TComboDropList;

using TModalResult = int;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

// Owner-draw state (bit n stands for ordinal n).
enum TOwnerDrawStateItem {
  odSelected,
  odGrayed,
  odDisabled,
  odChecked,
  odFocused,
  odDefault,
  odHotLight,
  odInactive,
  odNoAccel,
  odNoFocusRect,
  odReserved1,
  odReserved2,
  odComboBoxEdit
};
using TOwnerDrawState = uint16_t;
constexpr TOwnerDrawState VXOwnerDrawBit(TOwnerDrawStateItem i) { return TOwnerDrawState(1u << unsigned(i)); }
// Draws item Index of Control into Rect of the control's canvas.
using TDrawItemEvent = std::function<void(void* Control, int Index, const TRect& Rect, TOwnerDrawState State)>;

// The caption without its accelerator marks ("&&" stands for "&").
std::string VXStripAccelChars(const std::string& Caption);
// Width and height of Text in Font (on a memory DC).
TSize VXMeasureText(TFont* Font, const std::string& Text);

// ---------------------------------------------------------------------------

// A caption drawn on the parent: TextOut at the top-left corner (or as
// Alignment says) in the label's font, on its colour unless Transparent.
// AutoSize (on) makes the label as large as its caption.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner = nullptr);
  bool Transparent() const { return fTransparent; }
  void SetTransparent(bool v);
  bool AutoSize() const { return fAutoSize; }
  void SetAutoSize(bool v);
  TAlignment Alignment() const { return fAlignment; }
  void SetAlignment(TAlignment v);
  TTextLayout Layout() const { return fLayout; }
  void SetLayout(TTextLayout v);
  bool ShowAccelChar() const { return fShowAccelChar; }
  void SetShowAccelChar(bool v);
  // Stored only.
  bool WordWrap() const { return fWordWrap; }
  void SetWordWrap(bool v) { fWordWrap = v; }
  TWinControl* FocusControl() const { return fFocusControl; }
  void SetFocusControl(TWinControl* v) { fFocusControl = v; }

 protected:
  void Paint() override;
  void CMTextChanged(TMessage& Message) override;
  void CMFontChanged(TMessage& Message) override;

 private:
  void AdjustBounds();
  bool fTransparent = false;
  bool fAutoSize = true;
  TAlignment fAlignment = taLeftJustify;
  TTextLayout fLayout = tlTop;
  bool fShowAccelChar = true;
  bool fWordWrap = false;
  TWinControl* fFocusControl = nullptr;
};

// A push button. Click (a person's, or the program's) first gives the form
// the button's ModalResult, then fires OnClick. Enter presses the focused
// button, else the Default one; Escape the Cancel one.
class TButton : public TCustomControl {
 public:
  explicit TButton(TComponent* AOwner = nullptr);
  bool Default() const { return fDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return fCancel; }
  void SetCancel(bool v) { fCancel = v; }
  TModalResult ModalResult() const { return fModalResult; }
  void SetModalResult(TModalResult v) { fModalResult = v; }
  void Click() override;
  // Shown pressed (while the mouse or space bar holds it).
  bool Pressed() const { return fPressed; }

 protected:
  void Paint() override;
  // The caption (and, in a derived button, a glyph) inside Rect.
  virtual void PaintContent(const TRect& Rect);
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  bool fDefault = false;
  bool fCancel = false;
  TModalResult fModalResult = 0;
  bool fPressed = false;
  bool fTracking = false;
};

// The button that Enter (VK_RETURN) or Escape (VK_ESCAPE) presses on Form:
// the focused button, else the default one, for Enter; the cancel button
// for Escape. Null for none (buttons that cannot take the focus count not).
TButton* VXDialogKeyButton(TCustomForm* Form, WORD Key);

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box: changing its state (by a click or the program) fires OnClick.
class TCheckBox : public TCustomControl {
 public:
  explicit TCheckBox(TComponent* AOwner = nullptr);
  bool Checked() const { return fState == cbChecked; }
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return fState; }
  void SetState(TCheckBoxState v);
  bool AllowGrayed() const { return fAllowGrayed; }
  void SetAllowGrayed(bool v) { fAllowGrayed = v; }
  // taRightJustify (the default): the box left, the caption right of it.
  TAlignment Alignment() const { return fAlignment; }
  void SetAlignment(TAlignment v);

 protected:
  void Paint() override;
  // A click moves to the next state (grayed only when allowed).
  virtual void Toggle();
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  TCheckBoxState fState = cbUnchecked;
  bool fAllowGrayed = false;
  TAlignment fAlignment = taRightJustify;
  bool fDown = false;
};

// A one-line edit box. Every change of its text (typed or set) fires
// OnChange.
class TCustomEdit : public TCustomControl {
 public:
  explicit TCustomEdit(TComponent* AOwner = nullptr);
  bool ReadOnly() const { return fReadOnly; }
  void SetReadOnly(bool v) { fReadOnly = v; }
  // Characters at most (0: no limit); typing stops there.
  int MaxLength() const { return fMaxLength; }
  void SetMaxLength(int v) { fMaxLength = v < 0 ? 0 : v; }
  bool AutoSelect() const { return fAutoSelect; }
  void SetAutoSelect(bool v) { fAutoSelect = v; }
  // Only digits can be typed.
  bool NumbersOnly() const { return fNumbersOnly; }
  void SetNumbersOnly(bool v) { fNumbersOnly = v; }
  // The selection in UTF-16 units of the text.
  int SelStart() const { return fSelStart; }
  void SetSelStart(int v);
  int SelLength() const { return fSelLength; }
  void SetSelLength(int v);
  std::string SelText() const;
  // Replaces the selection (OnChange when the text changes).
  void SetSelText(const std::string& v);
  void SelectAll();
  void Clear() { SetText(""); }
  TNotifyEvent OnChange;

 protected:
  void Paint() override;
  virtual void Change();
  void CMTextChanged(TMessage& Message) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(char16_t& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DoEnter() override;
  void DoExit() override;

 private:
  void Replace(const std::u16string& With);
  int CharAt(int X);
  int TextLeft() const { return 4; }
  bool fTyping = false;
  char16_t fHighSurrogate = 0;
  bool fReadOnly = false;
  int fMaxLength = 0;
  bool fAutoSelect = true;
  bool fNumbersOnly = false;
  int fSelStart = 0, fSelLength = 0;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

// A combo box with a drop-down list. Its Items never sort. Setting
// ItemIndex fires nothing; a person's choice from the list (or with the
// arrow keys) fires OnClick, then OnChange, even for the entry already
// chosen. The owner-draw styles draw the items through OnDrawItem on
// Canvas.
class TCustomComboBox : public TCustomControl {
 public:
  explicit TCustomComboBox(TComponent* AOwner = nullptr);
  ~TCustomComboBox() override;
  TStrings* Items() { return fItems.get(); }
  int ItemIndex() const { return fItemIndex; }
  // -1, or an index outside the items, clears the choice.
  void SetItemIndex(int v);
  TComboBoxStyle Style() const { return fStyle; }
  void SetStyle(TComboBoxStyle v);
  int ItemHeight() const { return fItemHeight; }
  void SetItemHeight(int v);
  int DropDownCount() const { return fDropDownCount; }
  void SetDropDownCount(int v) { fDropDownCount = v > 0 ? v : 1; }
  bool DroppedDown() const;
  void SetDroppedDown(bool v);
  // The drop-down list while it is shown (null otherwise).
  TWinControl* DropList() const;
  // The first item shown in the drop-down list.
  int DropTopIndex() const { return fDropTop; }
  // Owner-draw: the item's text drawn by the default handling.
  void DrawItem(int Index, const TRect& Rect, TOwnerDrawState State);
  TDrawItemEvent OnDrawItem;
  TNotifyEvent OnChange;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

 protected:
  friend class TComboDropList;
  void Paint() override;
  // A person chose item Index: sets it, then OnClick, then OnChange.
  virtual void UserSelect(int Index);
  virtual void Change();
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void DoExit() override;
  void DoEnter() override;

 private:
  void ItemsChanged();
  std::unique_ptr<TStrings> fItems;
  int fItemIndex = -1;
  TComboBoxStyle fStyle = csDropDown;
  int fItemHeight = 16;
  int fDropDownCount = 8;
  int fDropTop = 0;
  std::unique_ptr<TComboDropList> fDropList;
};

class TComboBox : public TCustomComboBox {
 public:
  using TCustomComboBox::TCustomComboBox;
};

enum TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable, lbVirtual, lbVirtualOwnerDraw };

// A list box. Its Items never sort. Setting ItemIndex fires nothing; a
// person's click on an item selects it and fires OnClick.
class TCustomListBox : public TCustomControl {
 public:
  explicit TCustomListBox(TComponent* AOwner = nullptr);
  ~TCustomListBox() override;
  TStrings* Items() { return fItems.get(); }
  int Count() const { return fItems->Count(); }
  int ItemIndex() const { return fItemIndex; }
  // -1, or an index outside the items, clears the choice; the item is
  // scrolled into view.
  void SetItemIndex(int v);
  TListBoxStyle Style() const { return fStyle; }
  void SetStyle(TListBoxStyle v);
  int ItemHeight() const { return fItemHeight; }
  void SetItemHeight(int v);
  int TopIndex() const { return fTopIndex; }
  void SetTopIndex(int v);
  bool MultiSelect() const { return fMultiSelect; }
  void SetMultiSelect(bool v);
  bool Selected(int Index) const;
  void SetSelected(int Index, bool v);
  int SelCount() const;
  // The rectangle of an item (in client coordinates; may lie outside).
  TRect ItemRect(int Index);
  // The item at a client point; -1 (with Existing) or Count past the last.
  int ItemAtPos(const TPoint& Pos, bool Existing);
  // Rows that fit in the client area.
  int VisibleRows();
  void Clear() { fItems->Clear(); }
  // The default drawing of an item (text, selection colours).
  virtual void DrawItem(int Index, const TRect& Rect, TOwnerDrawState State);
  TDrawItemEvent OnDrawItem;

 protected:
  void Paint() override;
  // The left offset of an item's content (a check list's box comes first)
  // and the painting of that strip.
  virtual int ItemIndent() const { return 0; }
  virtual void PaintIndent(int /*Index*/, const TRect& /*Rect*/) {}
  // A click on item Index at X (client coordinates).
  virtual void ItemClicked(int Index, int X);
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void DoEnter() override;
  void DoExit() override;
  virtual void ItemsChanged();
  TRect InnerRect();
  std::unique_ptr<TStrings> fItems;
  std::vector<bool> fSelected;

 private:
  void MakeVisible(int Index);
  int fItemIndex = -1;
  TListBoxStyle fStyle = lbStandard;
  int fItemHeight = 16;
  int fTopIndex = 0;
  bool fMultiSelect = false;
};

class TListBox : public TCustomListBox {
 public:
  using TCustomListBox::TCustomListBox;
};

// A list box with a check box in front of every item. Setting Checked
// fires nothing; a person's click on an item's box toggles it and fires
// OnClickCheck.
class TCheckListBox : public TCustomListBox {
 public:
  explicit TCheckListBox(TComponent* AOwner = nullptr);
  bool Checked(int Index) const;
  void SetChecked(int Index, bool v);
  TCheckBoxState State(int Index) const;
  void SetState(int Index, TCheckBoxState v);
  bool ItemEnabled(int Index) const;
  void SetItemEnabled(int Index, bool v);
  bool AllowGrayed() const { return fAllowGrayed; }
  void SetAllowGrayed(bool v) { fAllowGrayed = v; }
  // The box of an item (client coordinates).
  TRect CheckRect(int Index);
  TNotifyEvent OnClickCheck;

 protected:
  int ItemIndent() const override { return 16; }
  void PaintIndent(int Index, const TRect& Rect) override;
  void ItemClicked(int Index, int X) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void ItemsChanged() override;

 private:
  void ToggleItem(int Index);
  std::vector<TCheckBoxState> fStates;
  std::vector<bool> fItemEnabled;
  bool fAllowGrayed = false;
};

// A frame with a caption around other controls.
class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner = nullptr);

 protected:
  void Paint() override;
};
