// The open dialog run over the headless system dialog: scripted choices in a
// folder of sample files, cancel and refusal, what a run restores, the shell
// view's mode, centring, the templates' placeholder, the 8-bit system
// functions and the I/O component's open dialog.
#include <gtest/gtest.h>

#include <cfenv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/startup.h"
#include "dialogs/dialogtemplates.h"
#include "dialogs/opensavedlg.h"
#include "gui/forms.h"
#include "io/vexlaneio.h"
#include "winui/headless.h"
#include "winui/win_dialog.h"
#include "winui/win_filedlg.h"
#include "winui/win_window.h"

namespace {

namespace fs = std::filesystem;
using VXHeadless::TVXFileDialogRun;

void Touch(const fs::path& P) { std::ofstream(P) << "x"; }

class OpenDialogRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { gLibrary = new TVXLibraryGuard; }
  static void TearDownTestSuite() {
    delete gLibrary;
    gLibrary = nullptr;
  }
  void SetUp() override {
    VXHeadless::Reset();
    VXGetGlobalSettings()->SetOpSys(vxosUnknown);
    VXGetGlobalSettings()->SetUnicodeOS(true);
    char tmpl[] = "/tmp/vxopendlgXXXXXX";
    fFolder = mkdtemp(tmpl);
    for (const char* n : {"a.jpg", "b.png", "caf\xc3\xa9.jpg", "\xc3\xa9t\xc3\xa9.png", "notes.txt"})
      Touch(fs::path(fFolder) / n);
    fs::create_directory(fs::path(fFolder) / "sub");
    Touch(fs::path(fFolder) / "sub" / "c.jpg");
    WNDCLASSEXW wc;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = "VXOpenDialogTestMain";
    RegisterClassExW(&wc);
    fMain = CreateWindowExW(0, "VXOpenDialogTestMain", "main", WS_POPUP | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                            nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    VXHeadless::Reset();
    VXGetGlobalSettings()->SetOpSys(vxosUnknown);
    VXGetGlobalSettings()->SetUnicodeOS(true);
    fs::remove_all(fFolder);
  }
  std::string In(const std::string& Name) const { return fFolder + "/" + Name; }
  static inline TVXLibraryGuard* gLibrary = nullptr;
  std::string fFolder;
  HWND fMain = nullptr;
};

TEST_F(OpenDialogRun, ChosenFileIsReadLiveThenLandsInFileNameAndBothLists) {
  for (bool unicode : {true, false}) {
    SCOPED_TRACE(unicode);
    VXGetGlobalSettings()->SetUnicodeOS(unicode);
    for (const std::string name : {"a.jpg", "caf\xc3\xa9.jpg"}) {
      SCOPED_TRACE(name);
      TOpenVexlaneDialog d;
      d.SetInitialDir(fFolder + "/");
      int shows = 0, closes = 0;
      d.OnShow = [&](void*) { ++shows; };
      d.OnClose = [&](void*) { ++closes; };
      std::string live, current;
      bool mainEnabled = true;
      const int rounding = fegetround();
      VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
        EXPECT_EQ(run.Folder(), fFolder);
        EXPECT_NE(d.Handle(), nullptr);
        mainEnabled = IsWindowEnabled(fMain);
        run.SelectFiles({name});
        live = d.FileNameW();
        current = d.GetCurrentSpec();
        fesetround(FE_UPWARD);
        EXPECT_TRUE(run.Accept());
      });
      ASSERT_TRUE(d.Execute());
      EXPECT_FALSE(mainEnabled);
      EXPECT_EQ(live, In(name));
      EXPECT_EQ(current, name);
      EXPECT_EQ(d.FileName(), In(name));
      ASSERT_EQ(d.Files()->Count(), 1);
      EXPECT_EQ(d.Files()->Strings(0), In(name));
      ASSERT_EQ(d.FilesW()->Count(), 1);
      EXPECT_EQ(d.FilesW()->Strings(0), In(name));
      EXPECT_EQ(d.Handle(), nullptr);
      EXPECT_TRUE(IsWindowEnabled(fMain));
      EXPECT_EQ(fegetround(), rounding);
      EXPECT_EQ(shows, 1);
      EXPECT_EQ(closes, 1);
      // The JPEG filter was preselected from nothing (index 1) and kept.
      EXPECT_EQ(d.FilterIndex(), 1);
    }
  }
}

TEST_F(OpenDialogRun, MultiSelectionJoinsNamesToTheFolderAndKeepsAbsoluteNames) {
  struct Case {
    bool oldStyle, unicode;
    std::vector<std::string> picked;
    std::vector<std::string> files;  // relative to the folder unless absolute
  };
  const std::string other = fFolder + "/sub/c.jpg";
  const Case cases[] = {
      {false, true, {"a.jpg", "b.png"}, {"a.jpg", "b.png"}},
      {false, true, {"a.jpg", other}, {"a.jpg", other}},
      {false, true, {"b.png"}, {"b.png"}},
      {true, true, {"a.jpg", "b.png"}, {"a.jpg", "b.png"}},
      {false, false, {"caf\xc3\xa9.jpg", "\xc3\xa9t\xc3\xa9.png"}, {"caf\xc3\xa9.jpg", "\xc3\xa9t\xc3\xa9.png"}},
      {true, false, {"caf\xc3\xa9.jpg", "b.png"}, {"caf\xc3\xa9.jpg", "b.png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.oldStyle) + " " + std::to_string(c.unicode) + " " + c.picked[0]);
    VXGetGlobalSettings()->SetUnicodeOS(c.unicode);
    TOpenVexlaneDialog d;
    d.SetInitialDir(fFolder);
    TOpenOptions o = d.Options() | VXOpenOptionBit(ofAllowMultiSelect);
    if (c.oldStyle) o |= VXOpenOptionBit(ofOldStyleDialog);
    d.SetOptions(o);
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      run.SelectFiles(c.picked);
      EXPECT_TRUE(run.Accept());
    });
    ASSERT_TRUE(d.Execute());
    ASSERT_EQ(d.FilesW()->Count(), int(c.files.size()));
    for (size_t i = 0; i < c.files.size(); ++i) {
      const std::string want = c.files[i][0] == '/' ? c.files[i] : In(c.files[i]);
      EXPECT_EQ(d.FilesW()->Strings(int(i)), want);
      EXPECT_EQ(d.Files()->Strings(int(i)), want);
    }
    EXPECT_EQ(d.FileName(), d.FilesW()->Strings(0));
  }
}

TEST_F(OpenDialogRun, CancelLeavesNameAndOptionsAndRefusalKeepsTheDialogOpen) {
  TOpenVexlaneDialog d;
  d.SetInitialDir(fFolder);
  d.SetFileName(In("b.png"));
  const TOpenOptions options = d.Options() | VXOpenOptionBit(ofReadOnly);
  d.SetOptions(options);
  // A run without a script, and one that cancels.
  EXPECT_FALSE(d.Execute());
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    EXPECT_EQ(run.NameText(), "b.png");
    run.TypeName("a.jpg");
    run.Cancel();
    EXPECT_FALSE(run.Accept());
  });
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(d.FileName(), In("b.png"));
  EXPECT_EQ(d.Options(), options);
  EXPECT_EQ(d.Files()->Count(), 0);
  EXPECT_EQ(CommDlgExtendedError(), 0u);

  // OnCanClose refuses the first offer: the dialog stays open, the lists
  // are empty again, and the next Accept closes it.
  int asked = 0;
  std::vector<std::string> offered;
  d.OnCanClose = [&](void*, bool& can) {
    offered.push_back(d.FilesW()->Strings(0));
    can = ++asked > 1;
  };
  int closes = 0;
  d.OnClose = [&](void*) { ++closes; };
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.SelectFiles({"a.jpg"});
    EXPECT_FALSE(run.Accept());
    EXPECT_EQ(closes, 0);
    EXPECT_NE(d.Handle(), nullptr);
    EXPECT_EQ(d.Files()->Count(), 0);
    run.SelectFiles({"b.png"});
    EXPECT_TRUE(run.Accept());
  });
  ASSERT_TRUE(d.Execute());
  EXPECT_EQ(offered, (std::vector<std::string>{In("a.jpg"), In("b.png")}));
  EXPECT_EQ(d.FileName(), In("b.png"));
  EXPECT_EQ(closes, 1);
  // The read-only box stayed checked; no extension differed from the
  // default one (the PNG filter's, preselected from the name).
  EXPECT_TRUE(d.Options() & VXOpenOptionBit(ofReadOnly));
  EXPECT_FALSE(d.Options() & VXOpenOptionBit(ofExtensionDifferent));
  EXPECT_EQ(d.FilterIndex(), d.FindFilterIndex(".png"));
}

TEST_F(OpenDialogRun, RaisingScriptStillRestoresWindowsHandleAndFloatingPoint) {
  for (bool oldStyle : {false, true}) {
    SCOPED_TRACE(oldStyle);
    TOpenVexlaneDialog d;
    if (oldStyle) d.SetOptions(d.Options() | VXOpenOptionBit(ofOldStyleDialog));
    int closes = 0, destroyed = 0;
    d.OnClose = [&](void*) { ++closes; };
    d.OnDestroyCustomControls = [&](void*) { ++destroyed; };
    const int rounding = fegetround();
    VXHeadless::OnFileDialog([&](TVXFileDialogRun&) {
      fesetround(FE_DOWNWARD);
      throw std::runtime_error("script failed");
    });
    EXPECT_THROW(d.Execute(), std::runtime_error);
    EXPECT_EQ(fegetround(), rounding);
    EXPECT_EQ(d.Handle(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(fMain));
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(destroyed, 1);
    // The object is usable again.
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      run.ChangeFolder(fFolder);
      run.TypeName("a.jpg");
      run.Accept();
    });
    EXPECT_TRUE(d.Execute());
    EXPECT_EQ(d.FileName(), In("a.jpg"));
  }
}

TEST_F(OpenDialogRun, ExceptionInAnEventIsReportedAndTheDialogRunsOn) {
  TOpenVexlaneDialog d;
  d.SetInitialDir(fFolder);
  std::vector<std::string> reported;
  Application->OnException = [&](void*, const std::exception& e) { reported.push_back(e.what()); };
  d.OnSelectionChange = [](void*) { throw std::runtime_error("selection"); };
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.SelectFiles({"a.jpg"});
    EXPECT_TRUE(run.Accept());
  });
  EXPECT_TRUE(d.Execute());
  Application->OnException = nullptr;
  EXPECT_EQ(reported, std::vector<std::string>{"selection"});
  EXPECT_EQ(d.FileName(), In("a.jpg"));
}

TEST_F(OpenDialogRun, ViewModeIsSentAtEveryFolderChangeBySystem) {
  struct Case {
    TVXCommonDialogView view;
    TVXOpSys os;
    WPARAM command;  // 0: nothing sent
  };
  const Case cases[] = {
      {vxdvDetails, vxosUnknown, 0x704B}, {vxdvDetails, vxosWin7, 0x704B}, {vxdvDetails, vxosWinXP, 0x702C},
      {vxdvDetails, vxosWin98, 0},        {vxdvDefault, vxosUnknown, 0},   {vxdvSmallIcons, vxosWin2000, 0x7029},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.view) + " " + std::to_string(c.os));
    VXGetGlobalSettings()->SetOpSys(c.os);
    TOpenVexlaneDialog d;
    d.SetInitialDir(fFolder);
    d.SetFileView(c.view);
    int folderChanges = 0;
    d.OnFolderChange = [&](void*) { ++folderChanges; };
    std::vector<WPARAM> commands;
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      EXPECT_TRUE(run.ChangeFolder("sub"));
      EXPECT_TRUE(run.ChangeFolder(fFolder));
      EXPECT_FALSE(run.ChangeFolder("missing"));
      commands = run.ViewCommands();
      run.Cancel();
    });
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(folderChanges, 3);  // the first folder, then two changes
    if (c.command) {
      EXPECT_EQ(commands, std::vector<WPARAM>(3, c.command));
    } else {
      EXPECT_TRUE(commands.empty());
    }
  }
}

TEST_F(OpenDialogRun, DialogsAreCentredByTheirStyle) {
  ASSERT_TRUE(Screen);
  const TRect mon = Screen->Monitors(0)->BoundsRect();
  for (bool oldStyle : {false, true}) {
    SCOPED_TRACE(oldStyle);
    TOpenVexlaneDialog d;
    if (oldStyle) d.SetOptions(d.Options() | VXOpenOptionBit(ofOldStyleDialog));
    RECT r{}, shownAt{};
    HWND visible = nullptr, hooked = nullptr;
    d.OnShow = [&](void*) {
      hooked = d.Handle();
      GetWindowRect(oldStyle ? d.Handle() : GetParent(d.Handle()), &shownAt);
    };
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      visible = run.Window();
      GetWindowRect(visible, &r);
      run.Cancel();
    });
    EXPECT_FALSE(d.Execute());
    // Old style: the hooked window is the dialog; explorer: its child.
    if (oldStyle) {
      EXPECT_EQ(hooked, visible);
    } else {
      EXPECT_NE(hooked, visible);
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    EXPECT_EQ(r.left, mon.Left + (mon.Right - mon.Left - w) / 2);
    EXPECT_EQ(r.top, mon.Top + (mon.Bottom - mon.Top - h) / 3);
    // Old style is centred before it shows; explorer style right after OnShow.
    if (oldStyle) {
      EXPECT_EQ(shownAt.left, r.left);
    }
  }
}

// Runs the system dialog with any template.
class TTemplateDialog : public TOpenVexlaneDialog {
 public:
  explicit TTemplateDialog(const char* Template) { FTemplate = Template; }
  bool Execute() override { return RunSystemDialog(GetOpenFileNameW, false); }
};

TEST_F(OpenDialogRun, PlaceholderRectIsControl1119InClientPixelsOfEachTemplate) {
  int bx = 0, by = 0;
  VXDialogBaseUnits("Helv", 8, bx, by);
  struct Case {
    const char* name;
    int x, y, w, h;
  };
  const Case cases[] = {
      {"IDD_VXTEMPLATE", 2, 4, 278, 145},
      {"IDD_VXTEMPLATE2", 2, 4, 278, 145},
      {"IDD_VXTEMPLATE1", 10, 4, 270, 145},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTemplateDialog d(c.name);
    EXPECT_EQ(d.GetPlaceholderRect().Right, 0);
    TRect r{};
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      r = d.GetPlaceholderRect();
      run.Cancel();
    });
    EXPECT_FALSE(d.Execute());
    EXPECT_EQ(r.Left, MulDiv(c.x, bx, 4));
    EXPECT_EQ(r.Top, MulDiv(c.y, by, 8));
    EXPECT_EQ(r.Right, MulDiv(c.x, bx, 4) + MulDiv(c.w, bx, 4));
    EXPECT_EQ(r.Bottom, MulDiv(c.y, by, 8) + MulDiv(c.h, by, 8));
  }
  // Execute's own templates follow PreviewSize; an old-style dialog's
  // placeholder is its client area.
  for (TVXPreviewSize size : {vxspDefault, vxspLarge}) {
    TOpenVexlaneDialog d;
    d.SetPreviewSize(size);
    int width = 0;
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      RECT client;
      GetClientRect(d.Handle(), &client);
      width = client.right;
      run.Cancel();
    });
    d.Execute();
    EXPECT_EQ(width, MulDiv(size == vxspLarge ? 543 : 443, bx, 4));
  }
  TOpenVexlaneDialog old;
  old.SetOptions(old.Options() | VXOpenOptionBit(ofOldStyleDialog));
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    RECT client;
    GetClientRect(run.Window(), &client);
    const TRect r = old.GetPlaceholderRect();
    EXPECT_EQ(r.Left, 0);
    EXPECT_EQ(r.Right, client.right);
    EXPECT_EQ(r.Bottom, client.bottom);
    run.Cancel();
  });
  old.Execute();
}

TEST_F(OpenDialogRun, FilterChangeSetsTheDefaultExtensionAndTheIndex) {
  for (bool unicode : {true, false}) {
    SCOPED_TRACE(unicode);
    VXGetGlobalSettings()->SetUnicodeOS(unicode);
    TOpenVexlaneDialog d;
    d.SetInitialDir(fFolder);
    std::vector<int32_t> changes;
    d.OnTypeChange = [&](void*) { changes.push_back(d.FilterIndex()); };
    const int32_t png = d.FindFilterIndex(".png");
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      EXPECT_TRUE(run.SelectFilter(3));
      EXPECT_TRUE(run.SelectFilter(3));  // the same again: no change
      EXPECT_TRUE(run.SelectFilter(png));
      EXPECT_FALSE(run.SelectFilter(10000));
      run.TypeName("b");  // the PNG filter's extension is added
      EXPECT_TRUE(run.Accept());
    });
    ASSERT_TRUE(d.Execute());
    EXPECT_EQ(changes, (std::vector<int32_t>{3, png}));
    EXPECT_EQ(d.FileName(), In("b.png"));
    EXPECT_EQ(d.FilterIndex(), png);
  }
}

TEST_F(OpenDialogRun, LongPathIsReadWholeAndTooLongForTheBufferFails) {
  // A folder whose path passes 261 characters.
  std::string deep = fFolder;
  for (int i = 0; i < 3; ++i) deep += "/" + std::string(100, char('p' + i));
  fs::create_directories(deep);
  Touch(deep + "/x.jpg");
  TOpenVexlaneDialog d;
  d.SetInitialDir(deep);
  d.SetFileName("");
  std::string live;
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.TypeName("x.jpg");
    live = d.FileNameW();
    EXPECT_FALSE(run.Accept());
    EXPECT_FALSE(run.Accept());  // the dialog has ended
  });
  EXPECT_FALSE(d.Execute());
  EXPECT_EQ(live, deep + "/x.jpg");
  EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
  EXPECT_EQ(d.FileName(), "");
  // With several names allowed the buffer holds it.
  d.SetOptions(d.Options() | VXOpenOptionBit(ofAllowMultiSelect));
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.TypeName("x.jpg");
    EXPECT_TRUE(run.Accept());
  });
  EXPECT_TRUE(d.Execute());
  EXPECT_EQ(d.FileName(), deep + "/x.jpg");
}

TEST_F(OpenDialogRun, IOComponentRunsThisDialogThroughItsSeam) {
  ASSERT_NE(VXIODialogHooks.CreateOpenDialog, nullptr);
  TVexlaneIO io;
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    EXPECT_EQ(run.Folder(), fFolder);
    EXPECT_EQ(run.NameText(), "b.png");
    EXPECT_EQ(GetWindowLongW(run.Window(), GWL_STYLE) & WS_THICKFRAME, LONG(WS_THICKFRAME));  // sizing
    run.SelectFiles({"a.jpg"});
    run.Accept();
  });
  EXPECT_EQ(io.ExecuteOpenDialog(fFolder, In("b.png"), false, 0, "", "Pick", "", 0, -1), In("a.jpg"));
  EXPECT_EQ(io.ExecuteOpenDialog("Pick", 0, -1, false), "");
}

TEST_F(OpenDialogRun, HelpMessageOnTheApplicationWindowOpensHelpWhileShown) {
  TOpenVexlaneDialog d;
  std::vector<intptr_t> asked;
  Application->OnHelp = [&](uint16_t, intptr_t Data, bool& CallHelp) {
    asked.push_back(Data);
    CallHelp = false;
    return true;
  };
  const UINT help = RegisterWindowMessageW("commdlg_help");
  ASSERT_NE(help, 0u);
  for (int context : {0, 42}) {
    d.SetHelpContext(context);
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      SendMessageW(Application->Handle(), help, 0, 0);
      run.Cancel();
    });
    d.Execute();
  }
  SendMessageW(Application->Handle(), help, 0, 0);  // no dialog shown: no hook
  Application->OnHelp = nullptr;
  EXPECT_EQ(asked, std::vector<intptr_t>{42});
}

}  // namespace
