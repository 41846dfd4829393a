// The headless system file dialogs: the record's sizes, the hook's messages
// and notifications with the veto, the dialog messages, the names written
// back (one, several, old style), the checks and prompts, the default
// extension and the flags, the buffer limit and the 8-bit forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "winui/headless.h"
#include "winui/win_dialog.h"
#include "winui/win_filedlg.h"
#include "winui/win_window.h"

namespace {

namespace fs = std::filesystem;
using VXHeadless::TVXFileDialogRun;

struct THookLog {
  std::vector<UINT> Codes;  // WM_INITDIALOG, or the notification codes
  int VetoesLeft = 0;
  HWND Hooked = nullptr;
  std::string SetTextOnInit;  // sent with CDM_SETCONTROLTEXT at CDN_INITDONE
};
THookLog* gLog = nullptr;

UINT_PTR LoggingHook(HWND Wnd, UINT Msg, WPARAM, LPARAM LParam) {
  if (Msg == WM_INITDIALOG) {
    gLog->Codes.push_back(WM_INITDIALOG);
    gLog->Hooked = Wnd;
  }
  if (Msg == WM_NOTIFY) {
    const auto* n = reinterpret_cast<const OFNOTIFYW*>(LParam);
    gLog->Codes.push_back(n->hdr.code);
    if (n->hdr.code == CDN_INITDONE && !gLog->SetTextOnInit.empty())
      SendMessageW(GetParent(Wnd), CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(gLog->SetTextOnInit.c_str()));
    if (n->hdr.code == CDN_FILEOK && gLog->VetoesLeft > 0) {
      --gLog->VetoesLeft;
      SetWindowLongPtrW(Wnd, DWLP_MSGRESULT, 1);
      return 1;
    }
  }
  return 0;
}

class FileDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    char tmpl[] = "/tmp/vxfiledlgXXXXXX";
    fFolder = mkdtemp(tmpl);
    for (const char* n : {"a.jpg", "b.png", "caf\xc3\xa9.jpg"}) std::ofstream(fFolder + "/" + n) << "x";
    fs::create_directory(fFolder + "/sub");
    fFile.assign(600, '\0');
    fOfn.lStructSize = OPENFILENAME_SIZE_VERSION_500;
    fOfn.lpstrFile = fFile.data();
    fOfn.nMaxFile = 600;
    fOfn.lpstrInitialDir = fFolder.c_str();
    fOfn.lpstrFilter = "Pictures\0*.jpg;*.png\0All\0*.*\0";
    fOfn.nFilterIndex = 1;
    fOfn.Flags = OFN_EXPLORER;
  }
  void TearDown() override {
    VXHeadless::Reset();
    gLog = nullptr;
    fs::remove_all(fFolder);
  }
  // The NUL-separated items of the result.
  std::vector<std::string> Items() const {
    std::vector<std::string> out;
    for (size_t at = 0; at < fFile.size() && fFile[at];) {
      out.emplace_back(fFile.data() + at);
      at += out.back().size() + 1;
    }
    return out;
  }
  std::string fFolder;
  std::vector<char> fFile;
  OPENFILENAMEW fOfn;
};

TEST_F(FileDialog, RecordSizesAndThePlacesBar) {
  struct Case {
    DWORD size, flagsEx;
    bool ok, placesBar;
  };
  for (const Case c : {Case{0, 0, false, false}, Case{100, 0, false, false}, Case{76, OFN_EX_NOPLACESBAR, true, true},
                       Case{88, 0, true, true}, Case{88, OFN_EX_NOPLACESBAR, true, false}}) {
    SCOPED_TRACE(c.size * 10 + c.flagsEx);
    fOfn.lStructSize = c.size;
    fOfn.FlagsEx = c.flagsEx;
    bool bar = false;
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      bar = GetDlgItem(run.Window(), ctl1) != nullptr;
      run.Cancel();
    });
    EXPECT_FALSE(GetOpenFileNameW(&fOfn));
    EXPECT_EQ(CommDlgExtendedError(), c.ok ? 0u : CDERR_STRUCTSIZE);
    EXPECT_EQ(bar, c.placesBar);
    VXHeadless::ResetFileDialogs();
  }
}

TEST_F(FileDialog, HookSeesNotificationsInOrderAndVetoesTheOffer) {
  THookLog log;
  gLog = &log;
  log.VetoesLeft = 1;
  log.SetTextOnInit = "typed.jpg";
  fOfn.Flags |= OFN_ENABLEHOOK;
  fOfn.lpfnHook = LoggingHook;
  std::string first, current;
  LRESULT need = 0;
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    first = run.NameText();
    EXPECT_EQ(GetParent(log.Hooked), run.Window());
    // A buffer too small gets nothing and the size needed.
    char small[4] = "zz";
    need = SendMessageW(run.Window(), CDM_GETFILEPATH, sizeof small, reinterpret_cast<LPARAM>(small));
    EXPECT_STREQ(small, "zz");
    run.SelectFiles({"a.jpg"});
    char buf[16];
    SendMessageW(run.Window(), CDM_GETSPEC, sizeof buf, reinterpret_cast<LPARAM>(buf));
    current = buf;
    EXPECT_TRUE(run.SelectFilter(2));
    EXPECT_FALSE(run.Accept());  // vetoed
    EXPECT_TRUE(run.Accept());
  });
  ASSERT_TRUE(GetOpenFileNameW(&fOfn));
  EXPECT_EQ(first, "typed.jpg");
  EXPECT_EQ(need, LRESULT(fFolder.size() + 1 + 9 + 1));
  EXPECT_EQ(current, "a.jpg");
  const std::vector<UINT> want = {WM_INITDIALOG,  CDN_INITDONE, CDN_FOLDERCHANGE, CDN_SELCHANGE,
                                  CDN_TYPECHANGE, CDN_FILEOK,   CDN_FILEOK};
  EXPECT_EQ(log.Codes, want);
  EXPECT_EQ(Items(), std::vector<std::string>{fFolder + "/a.jpg"});
  EXPECT_EQ(fOfn.nFilterIndex, 2u);
  EXPECT_EQ(fOfn.nFileOffset, fFolder.size() + 1);
  EXPECT_EQ(fOfn.nFileExtension, fFolder.size() + 3);
  EXPECT_FALSE(IsWindow(log.Hooked));
}

TEST_F(FileDialog, ChecksPromptsDefaultExtensionAndFlags) {
  struct Case {
    bool save;
    DWORD flags;
    const char* defExt;
    const char* typed;
    std::vector<bool> answers;
    std::vector<bool> accepts;  // one Accept each
    const char* chosen;         // in the folder; nullptr: none
    bool extensionDifferent;
    size_t prompts;
  };
  const Case cases[] = {
      {true, OFN_OVERWRITEPROMPT, nullptr, "a.jpg", {false, true}, {false, true}, "a.jpg", false, 2},
      {true, OFN_OVERWRITEPROMPT, nullptr, "new.jpg", {}, {true}, "new.jpg", false, 0},
      {false, OFN_FILEMUSTEXIST, nullptr, "missing.jpg", {}, {false}, nullptr, false, 1},
      {false, OFN_PATHMUSTEXIST, nullptr, "nodir/x.jpg", {}, {false}, nullptr, false, 1},
      {false, OFN_CREATEPROMPT, nullptr, "new.jpg", {true}, {true}, "new.jpg", false, 1},
      {false, OFN_CREATEPROMPT, nullptr, "new.jpg", {}, {false}, nullptr, false, 1},
      {true, 0, "jpg", "pic", {}, {true}, "pic.jpg", false, 0},
      {true, 0, ".jpg", "pic.png", {}, {true}, "pic.png", true, 0},
      {false, 0, "png", "b", {}, {true}, "b.png", false, 0},
      {false, OFN_READONLY, "jpg", "a.jpg", {}, {true}, "a.jpg", false, 0},
      {false, 0, nullptr, "sub", {}, {false}, nullptr, false, 0},  // a folder is opened
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.typed) + " " + std::to_string(c.flags));
    VXHeadless::ResetFileDialogs();
    std::fill(fFile.begin(), fFile.end(), '\0');
    fOfn.Flags = OFN_EXPLORER | c.flags;
    fOfn.lpstrDefExt = c.defExt;
    for (bool a : c.answers) VXHeadless::AnswerFilePrompt(a);
    std::vector<bool> accepted;
    std::string folderAfter;
    VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
      run.TypeName(c.typed);
      for (size_t i = 0; i < c.accepts.size(); ++i) accepted.push_back(run.Accept());
      folderAfter = run.Folder();
      if (!c.chosen) run.Cancel();
    });
    const BOOL ok = c.save ? GetSaveFileNameW(&fOfn) : GetOpenFileNameW(&fOfn);
    EXPECT_EQ(accepted, c.accepts);
    EXPECT_EQ(ok != FALSE, c.chosen != nullptr);
    if (c.chosen) {
      EXPECT_EQ(Items(), std::vector<std::string>{fFolder + "/" + c.chosen});
      EXPECT_EQ((fOfn.Flags & OFN_EXTENSIONDIFFERENT) != 0, c.extensionDifferent);
      EXPECT_EQ(fOfn.Flags & OFN_READONLY, c.flags & OFN_READONLY);
    }
    EXPECT_EQ(VXHeadless::FilePrompts().size(), c.prompts);
    if (std::string(c.typed) == "sub") {
      EXPECT_EQ(folderAfter, fFolder + "/sub");
    }
  }
}

TEST_F(FileDialog, SeveralNamesBufferLimitAndEightBitTexts) {
  // Explorer style: folder, names, two NULs; old style: spaces.
  fOfn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT;
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.SelectFiles({"a.jpg", "b.png"});
    EXPECT_EQ(run.NameText(), "\"a.jpg\" \"b.png\"");
    run.Accept();
  });
  ASSERT_TRUE(GetOpenFileNameW(&fOfn));
  EXPECT_EQ(Items(), (std::vector<std::string>{fFolder, "a.jpg", "b.png"}));
  EXPECT_EQ(fOfn.nFileOffset, fFolder.size() + 1);

  std::fill(fFile.begin(), fFile.end(), '\0');
  fOfn.Flags = OFN_ALLOWMULTISELECT;
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    EXPECT_EQ(GetDlgItem(run.Window(), ctl1), nullptr);  // no places bar, no shell view
    run.SelectFiles({"a.jpg", "b.png"});
    run.Accept();
  });
  ASSERT_TRUE(GetOpenFileNameW(&fOfn));
  EXPECT_EQ(Items(), std::vector<std::string>{fFolder + " a.jpg b.png"});

  // Several names without the flag are refused; a result longer than
  // nMaxFile fails the dialog and writes nothing.
  std::fill(fFile.begin(), fFile.end(), '\0');
  fOfn.Flags = OFN_EXPLORER;
  fOfn.nMaxFile = DWORD(fFolder.size() + 6);  // "/a.jpg" and the NUL do not fit
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.SelectFiles({"a.jpg", "b.png"});
    EXPECT_FALSE(run.Accept());
    run.SelectFiles({"a.jpg"});
    EXPECT_FALSE(run.Accept());
  });
  EXPECT_FALSE(GetOpenFileNameW(&fOfn));
  EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
  EXPECT_EQ(fFile[0], '\0');
  fOfn.nMaxFile = DWORD(fFolder.size() + 7);  // exactly enough
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    run.SelectFiles({"a.jpg"});
    EXPECT_TRUE(run.Accept());
  });
  EXPECT_TRUE(GetOpenFileNameW(&fOfn));

  // The 8-bit form: the preset name and the result in Windows-1252.
  std::fill(fFile.begin(), fFile.end(), '\0');
  fOfn.nMaxFile = 600;
  const std::string preset = fFolder + "/caf\xe9.jpg";
  std::copy(preset.begin(), preset.end(), fFile.begin());
  VXHeadless::OnFileDialog([&](TVXFileDialogRun& run) {
    EXPECT_EQ(run.NameText(), "caf\xc3\xa9.jpg");
    char buf[600];
    SendMessageW(run.Window(), CDM_GETSPEC, sizeof buf, reinterpret_cast<LPARAM>(buf));
    EXPECT_STREQ(buf, "caf\xe9.jpg");
    EXPECT_TRUE(run.Accept());
  });
  ASSERT_TRUE(GetOpenFileNameA(&fOfn));
  EXPECT_EQ(Items(), std::vector<std::string>{preset});
}

}  // namespace
