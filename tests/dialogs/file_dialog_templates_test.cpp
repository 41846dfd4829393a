// The file dialogs' templates, registered by the dialogs library's start-up:
// each made into a child dialog has the template's client size and its
// placeholder control 1119 at the template's place, in pixels of the
// template font's dialog units.
#include <gtest/gtest.h>

#include "dialogs/dialogtemplates.h"
#include "winui/headless.h"
#include "winui/win_dialog.h"
#include "winui/win_window.h"

namespace {

LONG_PTR Quiet(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(FileDialogTemplates, PlaceholderInClientPixelsOfEachTemplate) {
  VXHeadless::Reset();
  WNDCLASSEXW wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = "VXTemplateHost";
  RegisterClassExW(&wc);
  HWND host = CreateWindowExW(0, "VXTemplateHost", "", WS_POPUP | WS_VISIBLE, 0, 0, 1200, 600, nullptr, nullptr,
                              nullptr, nullptr);
  int bx = 0, by = 0;
  VXDialogBaseUnits("Helv", 8, bx, by);
  struct Case {
    const char* name;
    int cx, cy, x, y, w, h;
  };
  const Case cases[] = {
      {"IDD_VXTEMPLATE", 443, 168, 2, 4, 278, 145},
      {"IDD_VXTEMPLATE2", 543, 168, 2, 4, 278, 145},
      {"IDD_VXTEMPLATE1", 288, 168, 10, 4, 270, 145},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND dlg = CreateDialogParamW(nullptr, c.name, host, Quiet, 0);
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(GetWindowLongW(dlg, GWL_STYLE) & WS_CHILD, LONG(WS_CHILD));
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, MulDiv(c.cx, bx, 4));
    EXPECT_EQ(client.bottom, MulDiv(c.cy, by, 8));
    HWND ph = GetDlgItem(dlg, VXStc32);
    ASSERT_NE(ph, nullptr);
    RECT r;
    GetWindowRect(ph, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, MulDiv(c.x, bx, 4));
    EXPECT_EQ(r.top, MulDiv(c.y, by, 8));
    EXPECT_EQ(r.right, MulDiv(c.x, bx, 4) + MulDiv(c.w, bx, 4));
    EXPECT_EQ(r.bottom, MulDiv(c.y, by, 8) + MulDiv(c.h, by, 8));
    DestroyWindow(dlg);
  }
  VXHeadless::Reset();
}

}  // namespace
