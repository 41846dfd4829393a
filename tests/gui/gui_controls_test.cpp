// Components, controls, forms, the screen's cursors and timers, driven
// through the headless window system.
#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "gui/component.h"
#include "gui/controls.h"
#include "gui/cursors.h"
#include "gui/extctrls.h"
#include "gui/forms.h"
#include "winui/headless.h"
#include "winui/win_input.h"
#include "winui/win_paint.h"
#include "winui/win_window.h"

namespace {

static_assert(CM_WANTSPECIALKEY == 0xB01E);

std::string Shift(TShiftState s) {
  std::string r;
  const char* names[] = {"shift", "alt", "ctrl", "left", "right", "middle", "double"};
  for (int i = 0; i < 7; ++i)
    if (s & (1u << i)) r += std::string(r.empty() ? "" : "+") + names[i];
  return r.empty() ? "-" : r;
}

// A custom control that records what reaches it.
class Probe : public TCustomControl {
 public:
  Probe(TComponent* Owner, std::vector<std::string>* Log, const std::string& Tag)
      : TCustomControl(Owner), fLog(Log), fTag(Tag) {
    OnMouseEnter = [this](void*) { fLog->push_back("enter " + fTag); };
    OnMouseLeave = [this](void*) { fLog->push_back("leave " + fTag); };
    OnEnter = [this](void*) { fLog->push_back("focus " + fTag); };
    OnExit = [this](void*) { fLog->push_back("unfocus " + fTag); };
  }
  bool WantArrows = false;
  DWORD ExtraExStyle = 0;
  UINT DropClassStyle = 0;
  int Paints = 0;
  std::vector<std::string> Mouse;
  std::vector<int> Keys;

 protected:
  void MouseDown(TMouseButton B, TShiftState S, int X, int Y) override {
    Mouse.push_back("down " + std::to_string(B) + " " + std::to_string(X) + "," + std::to_string(Y) + " " + Shift(S));
    TCustomControl::MouseDown(B, S, X, Y);
  }
  void MouseMove(TShiftState S, int X, int Y) override {
    Mouse.push_back("move " + std::to_string(X) + "," + std::to_string(Y) + " " + Shift(S));
    TCustomControl::MouseMove(S, X, Y);
  }
  void MouseUp(TMouseButton B, TShiftState S, int X, int Y) override {
    Mouse.push_back("up " + std::to_string(B) + " " + std::to_string(X) + "," + std::to_string(Y) + " " + Shift(S));
    TCustomControl::MouseUp(B, S, X, Y);
  }
  void KeyDown(WORD& Key, TShiftState S) override {
    Keys.push_back(Key);
    TCustomControl::KeyDown(Key, S);
  }
  void CMWantSpecialKey(TMessage& M) override {
    TCustomControl::CMWantSpecialKey(M);
    if (WantArrows && M.WParam >= WPARAM(VK_LEFT) && M.WParam <= WPARAM(VK_DOWN)) M.Result = 1;
  }
  void CreateParams(TCreateParams& P) override {
    TCustomControl::CreateParams(P);
    P.ExStyle |= ExtraExStyle;
    P.ClassStyle &= ~DropClassStyle;
  }
  void Paint() override {
    ++Paints;
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(ClientRect());
  }

 private:
  std::vector<std::string>* fLog;
  std::string fTag;
};

class Gui : public ::testing::Test {
 protected:
  // Moves are handled one at a time (queued moves merge into the last).
  static void Move(HWND Wnd, int X, int Y) {
    VXHeadless::MouseMove(Wnd, X, Y);
    VXHeadless::RunUntilIdle();
  }
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(100000);
  }
  void TearDown() override {
    Form.reset();
    Screen->SetCursor(crDefault);
    VXHeadless::Reset();
  }
  // A shown form at (10, 10) with a probe at (20, 20) of 100 by 80.
  Probe* MakeForm() {
    Form = std::make_unique<TForm>();
    Form->SetBounds(10, 10, 300, 200);
    Form->OnMouseEnter = [this](void*) { Log.push_back("enter form"); };
    Form->OnMouseLeave = [this](void*) { Log.push_back("leave form"); };
    Form->Show();
    auto* p = new Probe(Form.get(), &Log, "a");
    p->SetParent(Form.get());
    p->SetBounds(20, 20, 100, 80);
    VXHeadless::RunUntilIdle();
    return p;
  }
  std::unique_ptr<TForm> Form;
  std::vector<std::string> Log;
};

TEST_F(Gui, MouseHandlersGetShiftStateAndFollowTheHeldButtonOutside) {
  Probe* p = MakeForm();
  VXHeadless::KeyDown(VK_SHIFT);
  VXHeadless::MouseDown(p->Handle(), 10, 12, 0);
  VXHeadless::RunUntilIdle();
  EXPECT_TRUE(p->MouseCapture());
  VXHeadless::MouseMove(p->Handle(), 150, -30);  // outside the control
  VXHeadless::MouseUp(p->Handle(), 160, -31, 0);
  VXHeadless::RunUntilIdle();
  VXHeadless::KeyUp(VK_SHIFT);
  VXHeadless::MouseMove(p->Handle(), 170, 10);  // no button: no longer ours
  VXHeadless::RunUntilIdle();
  std::vector<std::string> want = {"down 0 10,12 shift+left", "move 150,-30 shift+left", "up 0 160,-31 shift"};
  EXPECT_EQ(p->Mouse, want);
  EXPECT_FALSE(p->MouseCapture());

  // The right button captures too; a click fires only inside.
  int clicks = 0;
  p->OnClick = [&](void*) { ++clicks; };
  p->Mouse.clear();
  VXHeadless::MouseDown(p->Handle(), 5, 5, 1);
  VXHeadless::RunUntilIdle();  // the capture is taken when the press is handled
  VXHeadless::MouseMove(p->Handle(), -5, 5);
  VXHeadless::MouseUp(p->Handle(), -5, 5, 1);
  VXHeadless::MouseDown(p->Handle(), 5, 5, 0);
  VXHeadless::MouseUp(p->Handle(), 6, 6, 0);
  VXHeadless::RunUntilIdle();
  ASSERT_EQ(p->Mouse.size(), 5u) << ::testing::PrintToString(p->Mouse);
  EXPECT_EQ(p->Mouse[1], "move -5,5 right");
  EXPECT_EQ(p->Mouse[2], "up 1 -5,5 -");
  EXPECT_EQ(clicks, 1);
}

TEST_F(Gui, MouseEnterAndLeaveFireOncePerCrossing) {
  Probe* p = MakeForm();
  HWND f = Form->Handle();
  Move(f, 5, 5);
  Move(f, 6, 6);
  Move(p->Handle(), 10, 10);
  Move(p->Handle(), 20, 20);
  Move(f, 200, 150);
  VXHeadless::RunUntilIdle();
  std::vector<std::string> want = {"enter form", "leave form", "enter a", "leave a", "enter form"};
  EXPECT_EQ(Log, want);
  EXPECT_TRUE(Form->MouseInClient());
  EXPECT_FALSE(p->MouseInClient());

  // While the button is held the control still hears of each crossing.
  Log.clear();
  Move(p->Handle(), 10, 10);
  VXHeadless::MouseDown(p->Handle(), 10, 10, 0);
  VXHeadless::RunUntilIdle();
  Move(p->Handle(), 150, 10);
  Move(p->Handle(), 160, 10);
  Move(p->Handle(), 50, 10);
  VXHeadless::MouseUp(p->Handle(), 50, 10, 0);
  VXHeadless::RunUntilIdle();
  want = {"leave form", "enter a", "leave a", "enter form", "leave form", "enter a"};
  EXPECT_EQ(Log, want);
}

TEST_F(Gui, FocusChangesFireEnterAndExit) {
  Probe* a = MakeForm();
  auto* b = new Probe(Form.get(), &Log, "b");
  b->SetParent(Form.get());
  b->SetBounds(150, 20, 50, 50);
  a->SetFocus();
  b->SetFocus();
  VXHeadless::RunUntilIdle();
  std::vector<std::string> want = {"focus a", "unfocus a", "focus b"};
  EXPECT_EQ(Log, want);
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(Form->ActiveControl(), b);

  b->Hide();
  EXPECT_FALSE(b->CanFocus());
  EXPECT_THROW(b->SetFocus(), EInvalidOperation);
  a->SetEnabled(false);
  EXPECT_THROW(a->SetFocus(), EInvalidOperation);
}

TEST_F(Gui, ArrowKeysMoveTheFocusUnlessTheSpecialKeyQueryKeepsThem) {
  Probe* a = MakeForm();
  auto* b = new Probe(Form.get(), &Log, "b");
  b->SetParent(Form.get());
  b->SetBounds(150, 20, 50, 50);
  a->SetFocus();
  VXHeadless::KeyDown(VK_RIGHT);
  VXHeadless::KeyUp(VK_RIGHT);
  VXHeadless::RunUntilIdle();
  EXPECT_TRUE(b->Focused());
  EXPECT_TRUE(a->Keys.empty());

  a->WantArrows = true;
  EXPECT_EQ(a->Perform(0xB01E, VK_LEFT, 0), 1);
  EXPECT_EQ(a->Perform(0xB01E, VK_TAB, 0), 0);
  a->SetFocus();
  VXHeadless::KeyDown(VK_RIGHT);
  VXHeadless::KeyDown('A');  // not special: never asked about
  VXHeadless::RunUntilIdle();
  EXPECT_TRUE(a->Focused());
  EXPECT_EQ(a->Keys, (std::vector<int>{VK_RIGHT, 'A'}));
}

TEST_F(Gui, RecreatedWindowTakesNewStylesAndKeepsBoundsAndChildren) {
  Probe* p = MakeForm();
  auto* child = new Probe(Form.get(), &Log, "c");
  child->SetParent(p);
  child->SetBounds(3, 4, 30, 20);
  HWND old = p->Handle();
  HWND oldChild = child->Handle();
  EXPECT_EQ(GetParent(oldChild), old);
  char cls[64];
  GetClassNameW(old, cls, sizeof cls);
  WNDCLASSEXW info;
  ASSERT_TRUE(GetClassInfoExW(nullptr, cls, &info));
  EXPECT_EQ(info.style & (CS_HREDRAW | CS_VREDRAW), CS_HREDRAW | CS_VREDRAW);

  p->ExtraExStyle = WS_EX_CLIENTEDGE;
  p->DropClassStyle = CS_HREDRAW | CS_VREDRAW;
  p->RecreateWnd();
  HWND now = p->Handle();
  EXPECT_NE(now, old);
  EXPECT_FALSE(IsWindow(old));
  EXPECT_TRUE(GetWindowLongW(now, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  GetClassNameW(now, cls, sizeof cls);
  ASSERT_TRUE(GetClassInfoExW(nullptr, cls, &info));
  EXPECT_EQ(info.style & (CS_HREDRAW | CS_VREDRAW), 0u);
  EXPECT_EQ(p->BoundsRect(), (TRect{20, 20, 120, 100}));
  RECT r;
  GetWindowRect(now, &r);
  EXPECT_EQ(r.right - r.left, 100);
  EXPECT_EQ(r.bottom - r.top, 80);
  // The client edge takes its frame from the client area.
  EXPECT_LT(p->ClientWidth(), 100);
  ASSERT_TRUE(child->HandleAllocated());
  EXPECT_NE(child->Handle(), oldChild);
  EXPECT_EQ(GetParent(child->Handle()), now);
  EXPECT_EQ(child->BoundsRect(), (TRect{3, 4, 33, 24}));
  EXPECT_EQ(p->ControlCount(), 1);
}

TEST_F(Gui, AControlWithoutParentHasNoWindowUntilOneIsNeeded) {
  std::vector<std::string> log;
  Probe p(nullptr, &log, "p");
  p.SetBounds(5, 6, 40, 30);
  p.Invalidate();
  p.Update();
  p.RecreateWnd();
  p.SetVisible(false);
  p.SetVisible(true);
  EXPECT_EQ(p.ClientWidth(), 40);
  EXPECT_FALSE(p.HandleAllocated());
  HWND h = p.Handle();
  ASSERT_TRUE(IsWindow(h));
  EXPECT_EQ(GetParent(h), nullptr);
  EXPECT_FALSE(GetWindowLongW(h, GWL_STYLE) & LONG(WS_CHILD));
  RECT r;
  GetClientRect(h, &r);
  EXPECT_EQ(r.right, 40);
  p.SetBounds(5, 6, 50, 35);
  GetClientRect(h, &r);
  EXPECT_EQ(r.right, 50);
  EXPECT_EQ(r.bottom, 35);
  EXPECT_THROW(p.SetParent(&p), EInvalidOperation);
}

TEST_F(Gui, PaintDrawsThroughTheCanvasOnThePaintDC) {
  Probe* p = MakeForm();
  VXHeadless::RunUntilIdle();
  int before = p->Paints;
  EXPECT_GE(before, 1);
  int w, h;
  std::vector<uint32_t> px = VXHeadless::Surface(p->Handle(), w, h);
  ASSERT_EQ(w, 100);
  EXPECT_EQ(px[size_t(40 * w + 50)], 0xFF0000u);
  p->Invalidate();
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(p->Paints, before + 1);
  EXPECT_FALSE(p->Canvas()->HandleAllocated());
  // Outside painting the canvas draws on a DC of its own.
  p->Canvas()->Brush()->SetColor(clLime);
  p->Canvas()->FillRect(TRect{0, 0, 10, 10});
  px = VXHeadless::Surface(p->Handle(), w, h);
  EXPECT_EQ(px[0], 0x00FF00u);
  EXPECT_EQ(px[size_t(10 * w + 10)], 0xFF0000u);
}

TEST_F(Gui, ScreenCursorsFollowTheControlUnlessTheScreenOverrides) {
  Probe* p = MakeForm();
  p->SetCursor(crCross);
  VXHeadless::MouseMove(p->Handle(), 10, 10);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_CROSS));
  VXHeadless::MouseMove(Form->Handle(), 250, 150);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));

  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  VXHeadless::MouseMove(p->Handle(), 10, 10);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_CROSS));

  // A cursor the program registers under its own id.
  HCURSOR mine = LoadCursorW(nullptr, IDC_HAND);
  Screen->SetCursors(1785, mine);
  EXPECT_EQ(Screen->Cursors(1785), mine);
  EXPECT_EQ(Screen->Cursors(1786), LoadCursorW(nullptr, IDC_ARROW));
  p->SetCursor(1785);  // under the mouse: shown at once
  EXPECT_EQ(GetCursor(), mine);
  Screen->SetCursors(1785, nullptr);
}

TEST_F(Gui, TheViewersCursorResourcesLoadAndShowUnderTheirScreenIds) {
  const char* names[] = {"ZOOMMENO", "ZOOMPIU", "CROCE", "GOMMA",  "MANO",   "PENNA",  "CROCE1",  "CROCE3",  "MOVE2",
                         "MOVEY",    "MOVE1",   "MOVEX", "MOVE",   "CROCE3+", "CROCE3-", "CROCE2", "CROCE2+", "CROCE2-",
                         "1795",     "1796",    "1797",  "1798",   "1799",   "1800",   "1801",    "1802",    "1803",
                         "1805",     "1806",    "1807",  "1808",   "ROT1",   "ROT2",   "ROT3",    "ROT4",    "RESIZE"};
  EXPECT_EQ(VXCursorResourceNames().size(), std::size(names));
  for (const char* n : names) {
    HCURSOR h = LoadCursorW(HInstance, n);
    ASSERT_NE(h, nullptr) << n;
    int w = 0, ht = 0;
    ASSERT_TRUE(VXCursorSize(h, w, ht));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(ht, 32);
    ICONINFO ii;
    ASSERT_TRUE(GetIconInfo(h, &ii));
    EXPECT_EQ(ii.xHotspot, 16u);
    EXPECT_EQ(ii.yHotspot, 16u);
  }
  EXPECT_NE(LoadCursorW(HInstance, "CROCE3"), LoadCursorW(HInstance, "CROCE"));

  Probe* p = MakeForm();
  HCURSOR cross = LoadCursorW(HInstance, "CROCE3");
  Screen->SetCursors(1785, cross);
  p->SetCursor(1785);
  Move(p->Handle(), 30, 30);
  EXPECT_EQ(GetCursor(), cross);
  Screen->SetCursor(crHourGlass);
  Move(p->Handle(), 31, 30);
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(GetCursor(), cross);
  Screen->SetCursors(1785, nullptr);
}

TEST_F(Gui, RightAndMiddleButtonsReachTheMouseEventsAndHoldTheCapture) {
  Probe* p = MakeForm();
  p->SetControlStyle(p->ControlStyle() | VXStyleBit(csCaptureMouse));
  int clicks = 0;
  p->OnClick = [&](void*) { ++clicks; };
  p->OnDblClick = [&](void*) { ++clicks; };
  struct Case {
    UINT Down, Up, DblClk;
    WPARAM Key;
    std::string Button, Held;
  } cases[] = {
      {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON, "1", "right"},
      {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON, "2", "middle"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Held);
    p->Mouse.clear();
    p->Perform(c.Down, c.Key | MK_SHIFT, MAKELPARAM(4, 6));
    EXPECT_TRUE(p->MouseCapture());
    // Another button still held keeps the capture.
    p->Perform(c.Up, MK_LBUTTON, MAKELPARAM(5, 7));
    EXPECT_TRUE(p->MouseCapture());
    p->Perform(c.Up, 0, MAKELPARAM(5, 7));
    EXPECT_FALSE(p->MouseCapture());
    p->Perform(c.DblClk, c.Key, MAKELPARAM(1, 2));
    EXPECT_TRUE(p->MouseCapture());
    p->Perform(c.Up, 0, MAKELPARAM(1, 2));
    EXPECT_FALSE(p->MouseCapture());
    EXPECT_EQ(p->Mouse, (std::vector<std::string>{
                            "down " + c.Button + " 4,6 shift+" + c.Held, "up " + c.Button + " 5,7 left",
                            "up " + c.Button + " 5,7 -", "down " + c.Button + " 1,2 " + c.Held + "+double",
                            "up " + c.Button + " 1,2 -"}));
  }
  // Only the left button clicks.
  EXPECT_EQ(clicks, 0);
  // Without standard events the messages reach no mouse event.
  p->SetControlStyle(p->ControlStyle() | VXStyleBit(csNoStdEvents));
  p->Mouse.clear();
  p->Perform(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(4, 6));
  p->Perform(WM_MBUTTONUP, 0, MAKELPARAM(4, 6));
  EXPECT_TRUE(p->Mouse.empty());
}

TEST_F(Gui, WheelDoubleClickAndKeyPressReachTheirEvents) {
  Probe* p = MakeForm();
  std::vector<std::string> got;
  p->OnMouseWheel = [&](void*, TShiftState, int Delta, TPoint, bool& Handled) {
    got.push_back("wheel " + std::to_string(Delta));
    Handled = Delta > 0;
  };
  p->OnMouseWheelDown = [&](void*, TShiftState, TPoint, bool& Handled) {
    got.push_back("down");
    Handled = true;
  };
  p->OnDblClick = [&](void*) { got.push_back("dblclick"); };
  p->OnKeyPress = [&](void*, char16_t& Key) {
    got.push_back(std::string("press ") + char(Key));
    if (Key == 'q') Key = 0;
  };
  VXHeadless::Wheel(p->Handle(), 5, 5, 120);
  VXHeadless::Wheel(p->Handle(), 5, 5, -120);
  VXHeadless::RunUntilIdle();
  VXHeadless::MouseDown(p->Handle(), 5, 5, 0);
  VXHeadless::MouseUp(p->Handle(), 5, 5, 0);
  VXHeadless::MouseDown(p->Handle(), 5, 5, 0);
  VXHeadless::MouseUp(p->Handle(), 5, 5, 0);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(p->Mouse[2], "down 0 5,5 left+double");
  p->SetFocus();
  EXPECT_EQ(p->Perform(WM_CHAR, 'a', 0), 0);
  p->Perform(WM_CHAR, 'q', 0);
  EXPECT_EQ(got, (std::vector<std::string>{"wheel 120", "wheel -120", "down", "dblclick", "press a", "press q"}));

  // Without csDoubleClicks a second press is a press.
  p->SetControlStyle(p->ControlStyle() & ~VXStyleBit(csDoubleClicks));
  p->Mouse.clear();
  VXHeadless::MouseDown(p->Handle(), 5, 5, 0);
  VXHeadless::MouseUp(p->Handle(), 5, 5, 0);
  VXHeadless::MouseDown(p->Handle(), 5, 5, 0);
  VXHeadless::RunUntilIdle();
  EXPECT_EQ(p->Mouse.back(), "down 0 5,5 left");
}

TEST_F(Gui, Ctl3DFollowsTheParentUntilSetOwnValue) {
  Probe* p = MakeForm();
  auto* child = new Probe(Form.get(), &Log, "c");
  child->SetParent(p);
  EXPECT_TRUE(child->Ctl3D());
  p->SetCtl3D(false);
  EXPECT_FALSE(p->ParentCtl3D());
  EXPECT_FALSE(child->Ctl3D());
  EXPECT_TRUE(child->ParentCtl3D());
  child->SetCtl3D(true);
  p->SetCtl3D(true);
  p->SetCtl3D(false);
  EXPECT_TRUE(child->Ctl3D());
  child->SetParentCtl3D(true);
  EXPECT_FALSE(child->Ctl3D());
}

TEST_F(Gui, TheApplicationHandlesMessagesUntilTerminated) {
  Probe* p = MakeForm();
  int clicks = 0;
  p->OnClick = [&](void*) { ++clicks; };
  VXHeadless::MouseDown(p->Handle(), 5, 5, 0);
  VXHeadless::MouseUp(p->Handle(), 5, 5, 0);
  Application->ProcessMessages();
  EXPECT_EQ(clicks, 1);
  PostMessageW(p->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  PostMessageW(p->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  Application->HandleMessage();
  Application->HandleMessage();
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(Application->Terminated());
  Application->Terminate();
  Application->ProcessMessages();
  EXPECT_TRUE(Application->Terminated());

  // Screen facts of the headless display.
  EXPECT_EQ(Screen->MonitorCount(), 1);
  TMonitor* m = Screen->Monitors(0);
  EXPECT_TRUE(m->Primary());
  EXPECT_EQ(m->Width(), Screen->Width());
  EXPECT_EQ(Form->Monitor(), m);
  EXPECT_THROW(Screen->Monitors(1), EInvalidOperation);
  VXHeadless::SetFontFamilies({"Zeta", "Alpha", "Segoe UI"});
  EXPECT_EQ(Screen->Fonts(), (std::vector<std::string>{"Alpha", "Segoe UI", "Zeta"}));
  VXHeadless::UseInstalledFontFamilies();
  EXPECT_EQ(Screen->ActiveForm(), Form.get());
  Form->Hide();
  EXPECT_EQ(Screen->ActiveForm(), nullptr);
  EXPECT_FALSE(IsWindowVisible(Form->Handle()));
}

TEST_F(Gui, TimerFiresEveryIntervalAndRestartsWhenEnabledAgain) {
  TTimer t(nullptr);
  int fired = 0;
  t.OnTimer = [&](void* s) {
    EXPECT_EQ(s, &t);
    ++fired;
  };
  t.SetInterval(210);
  VXHeadless::Advance(1050);
  EXPECT_EQ(fired, 5);
  t.SetEnabled(false);
  VXHeadless::Advance(1000);
  EXPECT_EQ(fired, 5);
  VXHeadless::Advance(100);
  t.SetEnabled(true);
  VXHeadless::Advance(209);
  EXPECT_EQ(fired, 5);
  VXHeadless::Advance(1);
  EXPECT_EQ(fired, 6);
  t.SetInterval(0);
  VXHeadless::Advance(5000);
  EXPECT_EQ(fired, 6);

  // A reset of the window system takes the timer's window; setting the
  // timer again makes a new one.
  VXHeadless::Reset();
  VXHeadless::SetClock(5000);
  t.SetInterval(100);
  VXHeadless::Advance(250);
  EXPECT_EQ(fired, 8);
}

TEST_F(Gui, OwnersFreeWhatTheyOwnAndTellTheFreeNotified) {
  struct Watch : TComponent {
    using TComponent::TComponent;
    std::vector<TComponent*>* Gone = nullptr;
    ~Watch() override {
      if (Gone) Gone->push_back(this);
    }
    std::vector<std::pair<TComponent*, TOperation>> Heard;
    void Notification(TComponent* C, TOperation Op) override {
      TComponent::Notification(C, Op);
      Heard.push_back({C, Op});
    }
  };
  std::vector<TComponent*> gone;
  auto owner = std::make_unique<Watch>();
  auto* a = new Watch(owner.get());
  auto* b = new Watch(a);
  a->Gone = b->Gone = &gone;
  Watch listener;
  a->FreeNotification(&listener);
  ASSERT_EQ(owner->ComponentCount(), 1);
  EXPECT_EQ(owner->Components(0), a);
  EXPECT_EQ(b->Owner(), a);
  ASSERT_EQ(owner->Heard.size(), 1u);
  EXPECT_EQ(owner->Heard[0].second, opInsert);

  a->SetName("First");
  auto* c = new Watch(owner.get());
  EXPECT_THROW(c->SetName("FIRST"), EInvalidOperation);
  EXPECT_THROW(c->SetName("1st"), EInvalidOperation);
  c->SetName("Second");
  c->SetTag(7);
  EXPECT_EQ(c->Tag(), 7);

  owner.reset();
  // What a owns goes with it.
  EXPECT_EQ(gone, (std::vector<TComponent*>{a, b}));
  ASSERT_EQ(listener.Heard.size(), 1u);
  EXPECT_EQ(listener.Heard[0].first, a);
  EXPECT_EQ(listener.Heard[0].second, opRemove);

  // A removed link is not told.
  Watch x, y;
  {
    Watch z;
    z.FreeNotification(&x);
    z.FreeNotification(&y);
    z.RemoveFreeNotification(&y);
    z.SetDesigning(true);
    EXPECT_TRUE(z.InState(csDesigning));
    EXPECT_TRUE(z.InState(csFreeNotification));
  }
  EXPECT_EQ(x.Heard.size(), 1u);
  EXPECT_TRUE(y.Heard.empty());
}

TEST_F(Gui, AParentFreesItsChildControlsAndOwnedOnesLeaveTheirOwner) {
  auto form = std::make_unique<TForm>();
  auto* panel = new TCustomControl(form.get());
  panel->SetParent(form.get());
  std::vector<std::string> log;
  auto* inner = new Probe(form.get(), &log, "i");
  inner->SetParent(panel);
  EXPECT_EQ(form->ComponentCount(), 2);
  delete panel;  // takes the child control with it
  EXPECT_EQ(form->ComponentCount(), 0);
  EXPECT_EQ(form->ControlCount(), 0);
  EXPECT_EQ(GetParentForm(form.get()), form.get());
}

}  // namespace
