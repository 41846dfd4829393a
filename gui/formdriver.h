// The forms driver: runs modal forms and the system's dialogs without a
// person, as tests need them. It acts through the window layer's input on
// the virtual clock (winui/headless.h); each action returns once the
// messages it caused are handled.
//
// A form shown modally takes the next handler queued with OnModal (a form
// shown modally from inside a handler takes the one after); the handler
// acts on the form like a person and leaves it closed. Headless, a modal
// form with no handler queued, or one its handler left open, makes
// ShowModal raise EInvalidOperation naming the form.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gui/forms.h"
#include "gui/printers.h"

class TCustomEdit;
class TCustomComboBox;
class TCustomListBox;
class TCheckListBox;
class TTrackBar;
class TUpDown;
class TPageControl;
class TTabSheet;
class TMenuItem;
class TPopupMenu;

namespace VXFormDriver {

using TModalHandler = std::function<void(TCustomForm* Form)>;
// Queues a handler for the next form shown modally.
void OnModal(TModalHandler Handler);
// The same for a form of class T (raises EInvalidOperation when the form
// shown is of another class).
template <class T>
void OnModal(std::function<void(T* Form)> Handler) {
  OnModal(TModalHandler([Handler](TCustomForm* F) {
    T* t = dynamic_cast<T*>(F);
    if (!t) throw EInvalidOperation("The modal form " + F->Name() + " is not of the class the handler expects");
    Handler(t);
  }));
}
// Handlers queued and not yet taken.
int PendingModalHandlers();

// A click of the left button at the control's centre (or at a client
// point), and its parts; Button as the person presses it. The mouse stays
// captured between down and up. Raise EInvalidOperation for a control that
// is not showing.
void Click(TControl* Control);
void ClickAt(TControl* Control, int X, int Y, TMouseButton Button = mbLeft);
void MouseDown(TControl* Control, int X, int Y, TMouseButton Button = mbLeft);
void MouseMove(TControl* Control, int X, int Y);
void MouseUp(TControl* Control, int X, int Y, TMouseButton Button = mbLeft);
// Focuses the edit (a click when it has not the focus), selects all of
// its text and types Text one character at a time; an empty Text deletes
// the selection.
void Type(TCustomEdit* Edit, const std::string& Text);
// A key pressed and released at the control (focused first; null: the
// focused window) with the modifiers of Shift held.
void Key(TWinControl* Control, WORD VirtualKey, TShiftState Shift = 0);
// Chooses an item: a combo box is dropped down and the item clicked in
// its list; a list box is scrolled with the wheel until the item shows and
// the item clicked.
void Select(TCustomComboBox* Combo, int Index);
void Select(TCustomListBox* List, int Index);
// Clicks an item's check box when its state is not Checked already.
void CheckItem(TCheckListBox* List, int Index, bool Checked);
// Drags the thumb to Position (arrow keys finish when the pixels cannot
// reach it exactly). Raises EInvalidOperation outside Min..Max.
void Slide(TTrackBar* TrackBar, int Position);
// |Steps| clicks on the up-down's arrow: the upper (next) one for a
// positive count, the lower for a negative one.
void Step(TUpDown* UpDown, int Steps);
// Clicks the page's tab (raises EInvalidOperation when it shows none).
void TabTo(TPageControl* PageControl, TTabSheet* Page);
// Opens Menu and chooses Item: with At, by a right click on that control
// (whose pop-up menu Menu is); otherwise Menu pops up at the screen's
// origin. Raises EInvalidOperation for an item that is not in the menu, is
// disabled or hidden, or when the menu did not open.
void ChooseMenuItem(TPopupMenu* Menu, TMenuItem* Item, TControl* At = nullptr);
// The close box of a form's caption (WM_SYSCOMMAND with SC_CLOSE).
void CloseBox(TCustomForm* Form);
// A person drags the form's border to a new size (WM_ENTERSIZEMOVE, the
// new bounds, WM_EXITSIZEMOVE).
void ResizeForm(TCustomForm* Form, int Width, int Height);
// Moves the virtual clock by Milliseconds; timers fire on the way.
void Advance(uint32_t Milliseconds);
// The next Count polls of GetAsyncKeyState see the left button held and
// later ones see it released, until the next button action: a loop that
// polls the button while the mouse is held past a control's end ends
// after Count more rounds.
void HoldButtonForPolls(int Count);
// Handles every waiting message.
void Settle();

// Answers for the next runs of the system's dialogs, in order. A dialog
// with no answer queued is cancelled (a message box answers its default
// button).
void AnswerColorDialog(bool OK, TColor Color = clBlack);
void AnswerFileDialog(bool OK, const std::string& FileName = "", int FilterIndex = 0);
void AnswerFileDialog(bool OK, const std::vector<std::string>& FileNames, int FilterIndex = 0);
void AnswerPrinterSetup(bool OK, const std::string& PrinterName = "", TPrinterOrientation Orientation = poPortrait);
void AnswerMessageBox(int Button);

// One run of a system dialog: its kind ("Color", "Open", "Save",
// "PrinterSetup", "MessageBox"), the title and text it showed, and the
// answer (OK, the message box's button, and the chosen file, printer or
// colour as text).
struct TVXSystemDialogRun {
  std::string Kind;
  std::string Title;
  std::string Text;
  bool OK = false;
  int Button = 0;
  std::string Value;
};
const std::vector<TVXSystemDialogRun>& SystemDialogLog();

// Forgets queued handlers and answers and the log, and installs the
// driver's dialog handlers (done also by the first use of the driver).
void Reset();

// Used by the library: runs the queued handler for a modal form (raises
// as described above); and the item chosen for a pop-up menu being opened
// (null when none).
void RunModal(TCustomForm* Form);
TMenuItem* TakeMenuChoice(TPopupMenu* Menu);

}  // namespace VXFormDriver
