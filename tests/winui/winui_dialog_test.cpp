// Dialogs made from DLGTEMPLATE resources: the placement of the dialog and
// its controls in dialog units of the template's font, WM_INITDIALOG, the
// dialog procedure's results through DWL_MSGRESULT, the dialog items, and
// damaged or missing templates.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_resource.h"
#include "winui/headless.h"
#include "winui/win_dialog.h"
#include "winui/win_window.h"

namespace {

// A DLGTEMPLATE in the platform's byte layout.
struct TemplateWriter {
  std::vector<uint8_t> b;
  void Word(uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
  }
  void DWord(uint32_t v) {
    Word(uint16_t(v));
    Word(uint16_t(v >> 16));
  }
  void Text(const std::string& s) {
    for (char c : s) Word(uint16_t(uint8_t(c)));
    Word(0);
  }
  void Align() {
    while (b.size() % 4) b.push_back(0);
  }
  void Header(uint32_t Style, int Count, int X, int Y, int Cx, int Cy, const std::string& Face, int Points) {
    DWord(Style);
    DWord(0);
    Word(uint16_t(Count));
    for (int v : {X, Y, Cx, Cy}) Word(uint16_t(int16_t(v)));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text("");
    if (Style & DS_SETFONT) {
      Word(uint16_t(Points));
      Text(Face);
    }
  }
  void Control(uint32_t Style, int X, int Y, int Cx, int Cy, int Id, uint16_t Atom, const std::string& Class = "") {
    Align();
    DWord(Style);
    DWord(0);
    for (int v : {X, Y, Cx, Cy}) Word(uint16_t(int16_t(v)));
    Word(uint16_t(Id));
    if (Atom) {
      Word(0xFFFF);
      Word(Atom);
    } else {
      Text(Class);
    }
    Text("");
    Word(0);  // no creation data
  }
};

constexpr uint32_t kChildStyle = 0x54000440;  // WS_CHILD, WS_VISIBLE, WS_CLIPSIBLINGS, DS_3DLOOK, DS_CONTROL, DS_SETFONT

std::vector<std::string> gLog;
LPARAM gInit = 0;
LONG_PTR Proc(HWND h, UINT Msg, WPARAM, LPARAM l) {
  if (Msg == WM_INITDIALOG) {
    gLog.push_back("init");
    gInit = l;
    return TRUE;
  }
  if (Msg == WM_NOTIFY) {
    // Refuses: the answer travels in DWL_MSGRESULT.
    SetWindowLongW(h, DWL_MSGRESULT, 1);
    return TRUE;
  }
  if (Msg == WM_COMMAND) return FALSE;  // not handled: the default answer
  return FALSE;
}

class WinUIDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    gLog.clear();
    WNDCLASSEXW wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = "VXDialogParent";
    RegisterClassExW(&wc);
  }
  void TearDown() override {
    for (const char* n : {"VXT_GOOD", "VXT_SHORT", "VXT_ODD"}) UnregisterResource(RT_DIALOG, n);
    VXHeadless::Reset();
  }
};

TEST_F(WinUIDialog, ChildDialogAndControlsInDialogUnitsOfTheTemplateFont) {
  TemplateWriter t;
  t.Header(kChildStyle, 2, 0, 0, 443, 168, "Helv", 8);
  t.Control(0x50020000, 2, 4, 278, 145, 1119, 0x0082);
  t.Control(0x50000000, 300, 10, 40, 12, 1120, 0x0082);
  static std::vector<uint8_t> bytes;
  bytes = t.b;
  RegisterResource(RT_DIALOG, "VXT_GOOD", bytes.data(), bytes.size());

  HWND parent = CreateWindowExW(0, "VXDialogParent", "p", WS_POPUP | WS_VISIBLE, 0, 0, 900, 500, nullptr, nullptr,
                                nullptr, nullptr);
  HWND dlg = CreateDialogParamW(nullptr, "VXT_GOOD", parent, Proc, 1234);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(GetParent(dlg), parent);
  EXPECT_EQ(gLog, std::vector<std::string>{"init"});
  EXPECT_EQ(gInit, 1234);
  EXPECT_TRUE(IsWindowVisible(dlg));
  int bx = 0, by = 0;
  VXDialogBaseUnits("Helv", 8, bx, by);
  EXPECT_GT(bx, 3);
  EXPECT_GT(by, 8);
  RECT c;
  GetClientRect(dlg, &c);
  EXPECT_EQ(c.right, MulDiv(443, bx, 4));
  EXPECT_EQ(c.bottom, MulDiv(168, by, 8));
  HWND ph = GetDlgItem(dlg, 1119);
  ASSERT_NE(ph, nullptr);
  RECT r;
  GetWindowRect(ph, &r);
  POINT o{0, 0};
  ClientToScreen(dlg, &o);
  EXPECT_EQ(r.left - o.x, MulDiv(2, bx, 4));
  EXPECT_EQ(r.top - o.y, MulDiv(4, by, 8));
  EXPECT_EQ(r.right - r.left, MulDiv(278, bx, 4));
  EXPECT_EQ(r.bottom - r.top, MulDiv(145, by, 8));
  EXPECT_EQ(GetDlgCtrlID(ph), 1119);
  EXPECT_EQ(GetDlgItem(dlg, 7), nullptr);

  // Item texts.
  EXPECT_TRUE(SetDlgItemTextW(dlg, 1120, "name.png"));
  char buf[16];
  EXPECT_EQ(GetDlgItemTextW(dlg, 1120, buf, 16), 8u);
  EXPECT_EQ(std::string(buf), "name.png");
  EXPECT_EQ(GetDlgItemTextW(dlg, 7, buf, 16), 0u);
  EXPECT_EQ(buf[0], 0);

  // Results: a handled notification answers DWL_MSGRESULT, an unhandled
  // message the default handling's answer.
  EXPECT_EQ(SendMessageW(dlg, WM_NOTIFY, 0, 0), 1);
  EXPECT_EQ(SendMessageW(dlg, WM_COMMAND, 1, 0), 0);
  DestroyWindow(dlg);
  EXPECT_FALSE(IsWindow(ph));
}

TEST_F(WinUIDialog, TheFontDecidesTheBaseUnits) {
  int sx = 0, sy = 0, bx = 0, by = 0;
  VXDialogBaseUnits("DejaVu Sans", 8, sx, sy);
  VXDialogBaseUnits("DejaVu Sans", 16, bx, by);
  EXPECT_GT(bx, sx);
  EXPECT_GT(by, sy);
}

TEST_F(WinUIDialog, MissingDamagedOrUnknownTemplatesMakeNoDialog) {
  EXPECT_EQ(CreateDialogParamW(nullptr, "VXT_NONE", nullptr, Proc, 0), nullptr);
  TemplateWriter t;
  t.Header(kChildStyle, 1, 0, 0, 100, 100, "Helv", 8);
  t.Control(0x50020000, 2, 4, 20, 20, 1119, 0x0082);
  static std::vector<uint8_t> shortBytes, oddBytes;
  // Cut inside the control.
  shortBytes.assign(t.b.begin(), t.b.end() - 6);
  RegisterResource(RT_DIALOG, "VXT_SHORT", shortBytes.data(), shortBytes.size());
  EXPECT_EQ(CreateDialogParamW(nullptr, "VXT_SHORT", nullptr, Proc, 0), nullptr);
  // A control of a class nobody registered.
  TemplateWriter u;
  u.Header(kChildStyle & ~DWORD(WS_CHILD), 1, 0, 0, 100, 100, "Helv", 8);
  u.Control(0x50000000, 2, 4, 20, 20, 5, 0, "NoSuchClass");
  oddBytes = u.b;
  RegisterResource(RT_DIALOG, "VXT_ODD", oddBytes.data(), oddBytes.size());
  EXPECT_EQ(CreateDialogParamW(nullptr, "VXT_ODD", nullptr, Proc, 0), nullptr);
  EXPECT_TRUE(gLog.empty());  // no WM_INITDIALOG for any of them
}

}  // namespace
