// The settings' dialog font, dialog centring and the language-change walk
// over the GUI library's forms and screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "core/sysutils.h"
#include "gui/forms.h"
#include "gui/graphics.h"
#include "gui/imglist.h"
#include "gui/stdctrls.h"
#include "winui/gdi_font.h"
#include "winui/headless.h"
#include "winui/win_metrics.h"

namespace {

TEST(RuntimeDialogFont, SegoeUIWhenTheFamiliesListItOtherwiseTahoma) {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  TVXOpSys os = s->OpSys();
  struct Case {
    TVXOpSys OpSys;
    std::vector<std::string> Families;
    const char* Name;
    int Height;
  } cases[] = {
      {vxosWin7, {"DejaVu Sans", "Segoe UI", "Tahoma"}, "Segoe UI", -12},
      {vxosUnknown, {"Segoe UI"}, "Segoe UI", -12},
      {vxosWin7, {"DejaVu Sans", "Tahoma"}, "Tahoma", -11},
      {vxosWinXP, {"Segoe UI"}, "Tahoma", -11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    VXFreeDefaultDialogFont();
    s->SetOpSys(c.OpSys);
    VXHeadless::SetFontFamilies(c.Families);
    TFont* f = VXGetDefaultDialogFont();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Name(), c.Name);
    EXPECT_EQ(f->Height(), c.Height);
    EXPECT_EQ(f->Charset(), DEFAULT_CHARSET);
    EXPECT_EQ(f->Color(), clWindowText);
    EXPECT_EQ(f->Style(), 0);
    EXPECT_EQ(VXGetDefaultDialogFont(), f);  // made once
    EXPECT_EQ(s->DefaultDialogFont(), f);
  }
  VXFreeDefaultDialogFont();
  EXPECT_EQ(s->DefaultDialogFont(), nullptr);
  s->SetOpSys(os);
  VXHeadless::UseInstalledFontFamilies();
}

HWND gCentered = nullptr;
void RecordCenter(void* Wnd) { gCentered = static_cast<HWND>(Wnd); }

TEST(RuntimeCenterDialog, HalfTheWidthAndAThirdOfTheHeightNegativeIncluded) {
  VXHeadless::Reset();
  VXScreen::SetSize(800, 600);
  WNDCLASSEXW wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = "VXCenterTest";
  RegisterClassExW(&wc);
  struct Case {
    int W, H, Left, Top;
  } cases[] = {
      {200, 100, 300, 166},    // (800 - 200) div 2, (600 - 100) div 3
      {1000, 700, -100, -33},  // larger than the monitor: div truncates
      {801, 601, 0, 0},
  };
  for (const Case& c : cases) {
    HWND h = CreateWindowExW(0, "VXCenterTest", "", WS_POPUP, 5, 7, c.W, c.H, nullptr, nullptr, nullptr, nullptr);
    VXCenterDialog(h);
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, c.Left) << c.W;
    EXPECT_EQ(r.top, c.Top) << c.H;
    EXPECT_EQ(r.right - r.left, c.W);
    DestroyWindow(h);
  }
  // With a main form shown on the one monitor the result is the same.
  {
    TForm* main = Application->MainForm() ? nullptr : Application->CreateForm<TForm>();
    HWND h = CreateWindowExW(0, "VXCenterTest", "", WS_POPUP, 5, 7, 200, 100, nullptr, nullptr, nullptr, nullptr);
    VXCenterDialog(h);
    RECT r;
    GetWindowRect(h, &r);
    EXPECT_EQ(r.left, 300);
    DestroyWindow(h);
    delete main;
  }
  // A centring routine of the settings takes over.
  VXGetGlobalSettings()->SetDefDialogCenter(&RecordCenter);
  HWND h = CreateWindowExW(0, "VXCenterTest", "", WS_POPUP, 5, 7, 200, 100, nullptr, nullptr, nullptr, nullptr);
  VXCenterDialog(h);
  EXPECT_EQ(gCentered, h);
  RECT r;
  GetWindowRect(h, &r);
  EXPECT_EQ(r.left, 5);
  VXGetGlobalSettings()->SetDefDialogCenter(nullptr);
  VXHeadless::Reset();
}

// An owner-drawn list box row and combo box field drawn with a picture of
// an image list: the picture at the left, centred in the row; the text 5
// pixels after it, or 4 pixels in without a picture. Other controls raise.
TEST(RuntimeListItem, DrawsTheListControlsRowsAndRefusesOthers) {
  VXHeadless::Reset();
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  TImageList images(nullptr);
  TBitmap pic(16, 16, pf24bit);
  pic.Canvas()->Brush()->SetColor(clRed);
  pic.Canvas()->FillRect(TRect{0, 0, 16, 16});
  images.Add(&pic, nullptr);
  TListBox list(nullptr);
  list.SetBounds(10, 10, 200, 120);
  list.SetStyle(lbOwnerDrawFixed);
  list.SetItemHeight(24);
  list.Items()->Add("Scanner");
  list.Items()->Add("Camera");
  list.SetParent(&form);
  list.Font()->SetName("DejaVu Sans");
  list.OnDrawItem = [&](void*, int Index, const TRect& R, TOwnerDrawState) {
    RECT rc{R.Left, R.Top, R.Right, R.Bottom};
    VXDrawListItemWithImage(&list, rc, list.Items()->Strings(Index), Index == 0 ? 0 : -1, &images);
  };
  form.Show();
  VXHeadless::RunUntilIdle();
  int w = 0, h = 0;
  std::vector<uint32_t> px = VXHeadless::Surface(list.Handle(), w, h);
  ASSERT_EQ(w, 200);
  auto at = [&](int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; };
  // Row 0 lies at (2, 2) inside the list's edge; the picture at left + 2,
  // top + (24 - 16) / 2.
  const TRect row0 = list.ItemRect(0), row1 = list.ItemRect(1);
  EXPECT_EQ(at(row0.Left + 2, row0.Top + 4), 0xFF0000u);
  EXPECT_EQ(at(row0.Left + 17, row0.Top + 19), 0xFF0000u);
  EXPECT_NE(at(row0.Left + 1, row0.Top + 4), 0xFF0000u);
  EXPECT_NE(at(row0.Left + 2, row0.Top + 3), 0xFF0000u);
  EXPECT_NE(at(row0.Left + 2, row0.Top + 20), 0xFF0000u);
  // The text as TextOut draws it, on a bitmap of the row.
  auto rowMatches = [&](const TRect& row, const std::string& text, int textX, int fromX, TColor back, TColor fore) {
    TBitmap b(row.Right - row.Left, 24, pf24bit);
    b.Canvas()->Brush()->SetColor(back);
    b.Canvas()->FillRect(TRect{0, 0, b.Width(), 24});
    b.Canvas()->Font()->Assign(list.Font());
    b.Canvas()->Font()->SetColor(fore);
    b.Canvas()->TextOut(textX, (24 - b.Canvas()->TextHeight(text)) / 2, text);
    for (int y = 0; y < 24; ++y)
      for (int x = fromX; x < b.Width(); ++x)
        if (VXColorToRGB(b.Canvas()->Pixels(x, y)) != ((at(row.Left + x, row.Top + y) & 0xFF) << 16 |
                                                        (at(row.Left + x, row.Top + y) & 0xFF00) |
                                                        (at(row.Left + x, row.Top + y) >> 16 & 0xFF)))
          return false;
    return true;
  };
  EXPECT_TRUE(rowMatches(row0, "Scanner", 16 + 5, 18, clWindow, clWindowText));
  EXPECT_TRUE(rowMatches(row1, "Camera", 4, 0, clWindow, clWindowText));
  EXPECT_FALSE(rowMatches(row1, "Camera", 5, 0, clWindow, clWindowText));

  TEdit edit(nullptr);
  RECT r{0, 0, 10, 10};
  try {
    VXDrawListItemWithImage(&edit, r, "x", -1, nullptr);
    FAIL() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Unsupported Control Type");
  }
  list.SetParent(nullptr);
  VXHeadless::Reset();
}

struct Reloading : TComponent, IVXLanguageChange {
  Reloading(TComponent* Owner, std::vector<std::string>* Log, std::string Name)
      : TComponent(Owner), fLog(Log), fName(std::move(Name)) {}
  void LanguageChanged() override { fLog->push_back(fName); }
  std::vector<std::string>* fLog;
  std::string fName;
};

TEST(RuntimeLanguage, ChangeWalksTheOwnedComponentsDepthFirst) {
  std::vector<std::string> log;
  Reloading root(nullptr, &log, "root");
  auto* a = new Reloading(&root, &log, "a");
  new Reloading(a, &log, "a1");
  new TComponent(a);  // without the interface: passed over, its own still told
  new Reloading(&root, &log, "b");
  VXNotifyLanguageChange(&root);
  EXPECT_EQ(log, (std::vector<std::string>{"root", "a", "a1", "b"}));

  // Changing the language tells what the application owns.
  log.clear();
  auto* app = new Reloading(Application, &log, "app");
  VXGetGlobalSettings()->SetMsgLanguage(VXGetGlobalSettings()->MsgLanguage());
  EXPECT_EQ(log, (std::vector<std::string>{"app"}));
  delete app;
}

}  // namespace
