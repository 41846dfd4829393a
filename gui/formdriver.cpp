// The forms driver.
#include "gui/formdriver.h"

#include <cstdio>
#include <deque>

#include "gui/comctrls.h"
#include "gui/dialogs.h"
#include "gui/menus.h"
#include "gui/stdctrls.h"
#include "platform/utf.h"
#include "winui/headless.h"
#include "winui/win_colordlg.h"
#include "winui/win_msgbox.h"

namespace VXFormDriver {

namespace {

struct ColorAnswer {
  bool OK;
  TColor Color;
};
struct FileAnswer {
  bool OK;
  std::vector<std::string> Files;
  int FilterIndex;
};
struct PrinterAnswer {
  bool OK;
  std::string Printer;
  TPrinterOrientation Orientation;
};

struct State {
  std::deque<TModalHandler> Modal;
  std::deque<ColorAnswer> Colors;
  std::deque<FileAnswer> Files;
  std::deque<PrinterAnswer> Printers;
  std::deque<int> Boxes;
  std::vector<TVXSystemDialogRun> Log;
  TPopupMenu* MenuOpen = nullptr;
  TMenuItem* MenuChoice = nullptr;
  bool Installed = false;
};

State& S() {
  static State* s = new State;
  return *s;
}

std::string FormName(TCustomForm* F) {
  if (!F->Name().empty()) return F->Name();
  if (!F->Caption().empty()) return "\"" + F->Caption() + "\"";
  return "(unnamed)";
}

std::string ControlName(TControl* C) { return C->Name().empty() ? std::string("(unnamed control)") : C->Name(); }

void Install() {
  State& s = S();
  s.Installed = true;
  SetChooseColorHandler([](CHOOSECOLORW& cc) -> BOOL {
    State& st = S();
    TVXSystemDialogRun run{"Color", "", "", false, 0, ""};
    BOOL ok = FALSE;
    if (!st.Colors.empty()) {
      ColorAnswer a = st.Colors.front();
      st.Colors.pop_front();
      if (a.OK) {
        cc.rgbResult = VXColorToRGB(a.Color);
        ok = TRUE;
      }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06X", unsigned(cc.rgbResult & 0xFFFFFF));
    run.OK = ok;
    run.Value = ok ? hex : "";
    st.Log.push_back(run);
    return ok;
  });
  SetMessageBoxHandler([](HWND, const std::string& Text, const std::string& Caption, UINT Type) {
    State& st = S();
    int answer = VXMessageBoxDefaultButton(Type);
    if (!st.Boxes.empty()) {
      answer = st.Boxes.front();
      st.Boxes.pop_front();
    }
    st.Log.push_back(TVXSystemDialogRun{"MessageBox", Caption, Text, answer == IDOK || answer == IDYES, answer, ""});
    return answer;
  });
  VXSetFileDialogHandler([](const TVXFileDialogRequest& Req, TVXFileDialogAnswer& Ans) {
    State& st = S();
    TVXSystemDialogRun run{Req.Save ? "Save" : "Open", Req.Title, Req.FileName, false, 0, ""};
    bool ok = false;
    if (!st.Files.empty()) {
      FileAnswer a = st.Files.front();
      st.Files.pop_front();
      ok = a.OK && !a.Files.empty();
      if (ok) {
        Ans.Files = a.Files;
        Ans.FilterIndex = a.FilterIndex;
        run.Value = a.Files.front();
      }
    }
    run.OK = ok;
    st.Log.push_back(run);
    return ok;
  });
  VXSetPrinterSetupHandler([](const TVXPrinterSetupRequest& Req, TVXPrinterSetupAnswer& Ans) {
    State& st = S();
    TVXSystemDialogRun run{"PrinterSetup", "", Req.Printer, false, 0, ""};
    bool ok = false;
    if (!st.Printers.empty()) {
      PrinterAnswer a = st.Printers.front();
      st.Printers.pop_front();
      ok = a.OK;
      if (ok) {
        Ans.Printer = a.Printer.empty() ? Req.Printer : a.Printer;
        Ans.Orientation = a.Orientation;
        run.Value = Ans.Printer;
      }
    }
    run.OK = ok;
    st.Log.push_back(run);
    return ok;
  });
}

void Ensure() {
  if (!S().Installed) Install();
}

// The window and point of a client point of a control.
HWND Target(TControl* C, int& X, int& Y) {
  if (!C) throw EInvalidOperation("No control to act on");
  if (!C->Showing()) throw EInvalidOperation("The control " + ControlName(C) + " is not showing");
  if (auto* w = dynamic_cast<TWinControl*>(C)) return w->Handle();
  X += C->Left();
  Y += C->Top();
  return C->Parent()->Handle();
}

int PhysicalButton(TMouseButton B) {
  // The buttons as the person means them; swapped buttons swap back.
  int b = B == mbLeft ? 0 : B == mbRight ? 1 : 2;
  if (b < 2 && GetSystemMetrics(SM_SWAPBUTTON)) b = 1 - b;
  return b;
}

void Focus(TWinControl* C) {
  if (C->Focused()) return;
  if (!C->CanFocus()) throw EInvalidOperation("The control " + ControlName(C) + " cannot take the focus");
  C->SetFocus();
  Settle();
}

}  // namespace

void Settle() { VXHeadless::RunUntilIdle(); }

void OnModal(TModalHandler Handler) {
  Ensure();
  S().Modal.push_back(std::move(Handler));
}

int PendingModalHandlers() { return int(S().Modal.size()); }

void RunModal(TCustomForm* Form) {
  Ensure();
  State& s = S();
  if (s.Modal.empty())
    throw EInvalidOperation("The modal form " + FormName(Form) + " was shown with no handler queued");
  TModalHandler h = std::move(s.Modal.front());
  s.Modal.pop_front();
  Settle();
  if (h) h(Form);
  Settle();
  if (Form->ModalRunning())
    throw EInvalidOperation("The modal form " + FormName(Form) + " was left open by its handler");
}

TMenuItem* TakeMenuChoice(TPopupMenu* Menu) {
  State& s = S();
  if (!Menu || s.MenuOpen != Menu) return nullptr;
  TMenuItem* item = s.MenuChoice;
  s.MenuOpen = nullptr;
  s.MenuChoice = nullptr;
  return item;
}

void MouseDown(TControl* Control, int X, int Y, TMouseButton Button) {
  HWND h = Target(Control, X, Y);
  VXHeadless::MouseMove(h, X, Y);
  VXHeadless::MouseDown(h, X, Y, PhysicalButton(Button));
  Settle();
}

void MouseMove(TControl* Control, int X, int Y) {
  HWND h = Target(Control, X, Y);
  VXHeadless::MouseMove(h, X, Y);
  Settle();
}

void MouseUp(TControl* Control, int X, int Y, TMouseButton Button) {
  // The control may have moved or hidden itself while the button was down;
  // the release goes where the mouse is.
  int x = X, y = Y;
  HWND h;
  if (auto* w = dynamic_cast<TWinControl*>(Control)) {
    h = w->Handle();
  } else {
    x += Control->Left();
    y += Control->Top();
    h = Control->Parent()->Handle();
  }
  VXHeadless::MouseUp(h, x, y, PhysicalButton(Button));
  Settle();
}

void ClickAt(TControl* Control, int X, int Y, TMouseButton Button) {
  MouseDown(Control, X, Y, Button);
  MouseUp(Control, X, Y, Button);
}

void Click(TControl* Control) {
  if (!Control) throw EInvalidOperation("No control to click");
  ClickAt(Control, Control->Width() / 2, Control->Height() / 2);
}

void Type(TCustomEdit* Edit, const std::string& Text) {
  if (!Edit) throw EInvalidOperation("No edit box to type into");
  if (!Edit->Focused()) Click(Edit);
  if (!Edit->Focused()) throw EInvalidOperation("The edit box " + ControlName(Edit) + " does not take the focus");
  Edit->SelectAll();
  if (Text.empty()) {
    Key(Edit, VK_DELETE);
    return;
  }
  for (char16_t ch : VXUTF8ToUTF16(Text)) {
    VXHeadless::Char(ch);
    Settle();
  }
}

void Key(TWinControl* Control, WORD VirtualKey, TShiftState Shift) {
  if (Control) Focus(Control);
  std::vector<int> mods;
  if (Shift & VXShiftBit(ssShift)) mods.push_back(VK_SHIFT);
  if (Shift & VXShiftBit(ssCtrl)) mods.push_back(VK_CONTROL);
  if (Shift & VXShiftBit(ssAlt)) mods.push_back(VK_MENU);
  for (int m : mods) VXHeadless::KeyDown(m);
  VXHeadless::KeyDown(VirtualKey);
  Settle();
  VXHeadless::KeyUp(VirtualKey);
  for (auto it = mods.rbegin(); it != mods.rend(); ++it) VXHeadless::KeyUp(*it);
  Settle();
}

void Select(TCustomComboBox* Combo, int Index) {
  if (!Combo) throw EInvalidOperation("No combo box");
  if (Index < 0 || Index >= Combo->Items()->Count())
    throw EInvalidOperation("The combo box " + ControlName(Combo) + " has no item " + std::to_string(Index));
  if (!Combo->DroppedDown()) Click(Combo);
  TWinControl* list = Combo->DropList();
  if (!list) throw EInvalidOperation("The combo box " + ControlName(Combo) + " did not drop down");
  const int ih = Combo->ItemHeight();
  const int rows = std::max(1, (list->Height() - 2) / ih);
  for (int guard = 0; guard < 10000 && (Index < Combo->DropTopIndex() || Index >= Combo->DropTopIndex() + rows);
       ++guard) {
    VXHeadless::Wheel(list->Handle(), 1, 1, Index < Combo->DropTopIndex() ? WHEEL_DELTA : -WHEEL_DELTA);
    Settle();
  }
  ClickAt(list, list->Width() / 2, 1 + (Index - Combo->DropTopIndex()) * ih + ih / 2);
}

namespace {
void ScrollTo(TCustomListBox* List, int Index) {
  for (int guard = 0; guard < 10000; ++guard) {
    const TRect r = List->ItemRect(Index);
    const int bottom = List->ClientHeight() - 2;
    if (r.Top >= 2 && r.Bottom <= bottom) return;
    if (r.Top < 2 && List->TopIndex() == 0) return;
    const int top = List->TopIndex();
    HWND h = List->Handle();
    VXHeadless::Wheel(h, List->Width() / 2, List->Height() / 2, r.Top < 2 ? WHEEL_DELTA : -WHEEL_DELTA);
    Settle();
    if (List->TopIndex() == top) return;
  }
}
}  // namespace

void Select(TCustomListBox* List, int Index) {
  if (!List) throw EInvalidOperation("No list box");
  if (Index < 0 || Index >= List->Count())
    throw EInvalidOperation("The list box " + ControlName(List) + " has no item " + std::to_string(Index));
  ScrollTo(List, Index);
  const TRect r = List->ItemRect(Index);
  ClickAt(List, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

void CheckItem(TCheckListBox* List, int Index, bool Checked) {
  if (!List) throw EInvalidOperation("No check list");
  if (Index < 0 || Index >= List->Count())
    throw EInvalidOperation("The check list " + ControlName(List) + " has no item " + std::to_string(Index));
  if (List->Checked(Index) == Checked) return;
  ScrollTo(List, Index);
  const TRect r = List->CheckRect(Index);
  ClickAt(List, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

void Slide(TTrackBar* TrackBar, int Position) {
  if (!TrackBar) throw EInvalidOperation("No track bar");
  if (Position < TrackBar->Min() || Position > TrackBar->Max())
    throw EInvalidOperation("The track bar " + ControlName(TrackBar) + " cannot reach " + std::to_string(Position));
  if (Position == TrackBar->Position()) return;
  const TRect t = TrackBar->ThumbRect();
  const int cx = (t.Left + t.Right) / 2, cy = (t.Top + t.Bottom) / 2;
  const bool horz = TrackBar->Orientation() == trHorizontal;
  const int from = TrackBar->PositionToPixel(TrackBar->Position());
  const int to = TrackBar->PositionToPixel(Position);
  MouseDown(TrackBar, cx, cy);
  MouseMove(TrackBar, horz ? cx + (to - from) : cx, horz ? cy : cy + (to - from));
  MouseUp(TrackBar, horz ? cx + (to - from) : cx, horz ? cy : cy + (to - from));
  for (int guard = 0; guard < 100000 && TrackBar->Position() != Position; ++guard) {
    const int before = TrackBar->Position();
    Key(TrackBar, Position > before ? VK_RIGHT : VK_LEFT);
    if (TrackBar->Position() == before) break;
  }
}

void Step(TUpDown* UpDown, int Steps) {
  if (!UpDown) throw EInvalidOperation("No up-down");
  const TRect r = UpDown->ButtonRect(Steps >= 0 ? btNext : btPrev);
  for (int i = 0; i < (Steps < 0 ? -Steps : Steps); ++i) ClickAt(UpDown, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

void TabTo(TPageControl* PageControl, TTabSheet* Page) {
  if (!PageControl || !Page || Page->PageControl() != PageControl)
    throw EInvalidOperation("The page is not a page of this page control");
  const int i = Page->TabIndex();
  if (i < 0) throw EInvalidOperation("The page " + ControlName(Page) + " shows no tab");
  const TRect r = PageControl->TabRect(i);
  ClickAt(PageControl, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

void ChooseMenuItem(TPopupMenu* Menu, TMenuItem* Item, TControl* At) {
  Ensure();
  if (!Menu || !Item || !Menu->Contains(Item) || Item == Menu->Items())
    throw EInvalidOperation("The item is not in the menu");
  for (TMenuItem* p = Item; p && p != Menu->Items(); p = p->Parent())
    if (!p->Enabled() || !p->Visible() || p->IsLine())
      throw EInvalidOperation("The menu item \"" + Item->Caption() + "\" cannot be chosen");
  State& s = S();
  s.MenuOpen = Menu;
  s.MenuChoice = Item;
  if (At)
    ClickAt(At, At->Width() / 2, At->Height() / 2, mbRight);
  else
    Menu->Popup(0, 0);
  Settle();
  if (s.MenuOpen) {
    s.MenuOpen = nullptr;
    s.MenuChoice = nullptr;
    throw EInvalidOperation("The menu did not open");
  }
}

void CloseBox(TCustomForm* Form) {
  if (!Form || !Form->HandleAllocated()) throw EInvalidOperation("No form to close");
  PostMessageW(Form->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  Settle();
}

void ResizeForm(TCustomForm* Form, int Width, int Height) {
  if (!Form) throw EInvalidOperation("No form to resize");
  HWND h = Form->Handle();
  SendMessageW(h, WM_ENTERSIZEMOVE, 0, 0);
  Form->SetBounds(Form->Left(), Form->Top(), Width, Height);
  Settle();
  SendMessageW(h, WM_EXITSIZEMOVE, 0, 0);
  Settle();
}

void Advance(uint32_t Milliseconds) { VXHeadless::Advance(Milliseconds); }

void HoldButtonForPolls(int Count) { VXHeadless::HoldButtonForPolls(Count < 0 ? 0 : Count); }

void AnswerColorDialog(bool OK, TColor Color) {
  Ensure();
  S().Colors.push_back(ColorAnswer{OK, Color});
}

void AnswerFileDialog(bool OK, const std::string& FileName, int FilterIndex) {
  AnswerFileDialog(OK, FileName.empty() ? std::vector<std::string>{} : std::vector<std::string>{FileName}, FilterIndex);
}

void AnswerFileDialog(bool OK, const std::vector<std::string>& FileNames, int FilterIndex) {
  Ensure();
  S().Files.push_back(FileAnswer{OK, FileNames, FilterIndex});
}

void AnswerPrinterSetup(bool OK, const std::string& PrinterName, TPrinterOrientation Orientation) {
  Ensure();
  S().Printers.push_back(PrinterAnswer{OK, PrinterName, Orientation});
}

void AnswerMessageBox(int Button) {
  Ensure();
  S().Boxes.push_back(Button);
}

const std::vector<TVXSystemDialogRun>& SystemDialogLog() { return S().Log; }

void Reset() {
  State& s = S();
  s.Modal.clear();
  s.Colors.clear();
  s.Files.clear();
  s.Printers.clear();
  s.Boxes.clear();
  s.Log.clear();
  s.MenuOpen = nullptr;
  s.MenuChoice = nullptr;
  Install();
}

}  // namespace VXFormDriver
