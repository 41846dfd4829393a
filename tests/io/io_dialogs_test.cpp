// The I/O component's dialogs through the dialog seam (io/dialog_hooks.h),
// with scripted dialogs standing in for the dialogs library: what each
// launch hands over, what it reads back, and the launches without it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "gui/graphics.h"
#include "gui/printers.h"
#include "io/dialog_hooks.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "winui/headless.h"
#include "winui/win_msgbox.h"

namespace {

// What the scripted dialogs saw, in order.
std::vector<std::string> gEvents;
int gForm = 0;  // the address handed out as every dialog's form

struct ScriptedPreviews : TVXIOPreviewsDialog {
  static inline TVXIOPreviewsSetup setup;
  static inline TPreviewParams pp = 0;
  static inline bool pages = true, ok = true;
  static inline TVXPixelFormat formatAtSetup = vxnull;
  ~ScriptedPreviews() override { gEvents.push_back("released"); }
  void Setup(const TVXIOPreviewsSetup& Values) override {
    setup = Values;
    formatAtSetup = Values.Target ? Values.Target->PixelFormat() : vxnull;
    gEvents.push_back("setup");
  }
  bool SetPreviewParams(TPreviewParams p) override {
    pp = p;
    gEvents.push_back("pages");
    return pages;
  }
  void* Form() override { return &gForm; }
  bool ShowModal() override {
    gEvents.push_back("modal");
    return ok;
  }
  void DetachTarget() override { gEvents.push_back("detach"); }
};

struct ScriptedFile : TVXIOFileDialog {
  static inline TVXFileDialogSetup setup;
  static inline bool ok = true;
  static inline std::string chosen;
  static inline int32_t frame = 0;
  static inline std::string kind;
  explicit ScriptedFile(const char* Kind) { kind = Kind; }
  void Setup(const TVXFileDialogSetup& Values) override { setup = Values; }
  bool Execute() override {
    gEvents.push_back("execute");
    return ok;
  }
  std::string FileNameW() const override { return chosen; }
  int32_t SelectedFrame() const override { return frame; }
};

struct ScriptedPrint : TVXIOPrintPreviewDialog {
  static inline TVXPrintPreviewSetup setup;
  static inline TVXDialogType type = vxdtDialog;
  static inline bool ok = true;
  ~ScriptedPrint() override { gEvents.push_back("released"); }
  void Setup(const TVXPrintPreviewSetup& Values) override {
    setup = Values;
    gEvents.push_back("setup");
  }
  void* Form() override { return &gForm; }
  bool ShowModal() override {
    gEvents.push_back("modal");
    return ok;
  }
};

class IODialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXIODialogHooks;
    VXIODialogHooks.CreatePreviewsDialog = [](TVexlaneIO*) -> std::unique_ptr<TVXIOPreviewsDialog> {
      return std::make_unique<ScriptedPreviews>();
    };
    VXIODialogHooks.CreateOpenDialog = [](TVexlaneIO*) -> std::unique_ptr<TVXIOFileDialog> {
      return std::make_unique<ScriptedFile>("open");
    };
    VXIODialogHooks.CreateSaveDialog = [](TVexlaneIO*) -> std::unique_ptr<TVXIOFileDialog> {
      return std::make_unique<ScriptedFile>("save");
    };
    VXIODialogHooks.CreatePrintPreviewDialog = [](TVexlaneIO*,
                                                  TVXDialogType t) -> std::unique_ptr<TVXIOPrintPreviewDialog> {
      ScriptedPrint::type = t;
      return std::make_unique<ScriptedPrint>();
    };
    gEvents.clear();
    ScriptedPreviews::pages = ScriptedPreviews::ok = true;
    ScriptedPreviews::setup = {};
    ScriptedFile::ok = true;
    ScriptedFile::setup = {};
    ScriptedFile::kind.clear();
    ScriptedPrint::ok = true;
    ScriptedPrint::setup = {};
    bitmap_.Allocate(6, 4, vx24RGB);
    io_ = TVexlaneIO::CreateFromBitmap(&bitmap_);
    io_->OnIOPreview = [](void* Sender, void* Form) {
      EXPECT_NE(Sender, nullptr);
      gEvents.push_back(Form == &gForm ? "OnIOPreview(form)" : "OnIOPreview(?)");
    };
  }
  void TearDown() override {
    VXIODialogHooks = saved_;
    SetMessageBoxHandler(nullptr);
    SetPrinter(nullptr);
    VXHeadless::ResetPrinters();
  }
  TVXIODialogHooks saved_;
  TVXBitmap bitmap_;
  std::unique_ptr<TVexlaneIO> io_;
};

TEST_F(IODialogs, PreviewsConvertToTwentyFourBitsButKeepOneBitAndHandTheTargetItself) {
  struct Case {
    TVXPixelFormat in, shown;
  };
  for (const Case c : {Case{vx8p, vx24RGB}, Case{vx1g, vx1g}, Case{vx8g, vx24RGB}, Case{vx24RGB, vx24RGB},
                       Case{vx48RGB, vx24RGB}}) {
    SCOPED_TRACE(int(c.in));
    ASSERT_TRUE(bitmap_.Allocate(5, 3, c.in));
    gEvents.clear();
    EXPECT_TRUE(io_->DoPreviews(ppALL | ppJPEG));
    EXPECT_EQ(ScriptedPreviews::formatAtSetup, c.shown);
    EXPECT_EQ(bitmap_.PixelFormat(), c.shown);
    EXPECT_EQ(ScriptedPreviews::setup.Target, &bitmap_);
    EXPECT_EQ(ScriptedPreviews::setup.Params, &io_->Params());
    EXPECT_EQ(ScriptedPreviews::pp, ppALL | ppJPEG);
    EXPECT_EQ(gEvents, (std::vector<std::string>{"setup", "pages", "OnIOPreview(form)", "modal", "detach",
                                                 "released"}));
  }
}

TEST_F(IODialogs, PreviewsHandOverTheComponentsSettings) {
  struct Case {
    TIOPreviewsParams params;
    bool simplified, fontEnabled;
    TVXDitherMethod dither;
  };
  const Case cases[] = {
      {0, true, false, vxThreshold},
      {TIOPreviewsParams(1u << ioppDefaultLockPreview), false, true, vxOrdered},
      {TIOPreviewsParams((1u << ioppDefaultLockPreview) | (1u << ioppApplyButton)), true, true, vxThreshold},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.params));
    io_->SetPreviewsParams(c.params);
    io_->SetSimplifiedParamsDialogs(c.simplified);
    io_->SetPreviewFontEnabled(c.fontEnabled);
    io_->SetDefaultDitherMethod(c.dither);
    EXPECT_TRUE(io_->DoPreviews(ppAUTO));
    const TVXIOPreviewsSetup& s = ScriptedPreviews::setup;
    EXPECT_EQ(s.DefaultLockPreview, bool(c.params & (1u << ioppDefaultLockPreview)));
    EXPECT_EQ(s.ApplyButton, bool(c.params & (1u << ioppApplyButton)));
    EXPECT_EQ(s.Simplified, c.simplified);
    EXPECT_EQ(s.DitherMethod, io_->DefaultDitherMethod());
    EXPECT_EQ(s.Font, c.fontEnabled ? io_->PreviewFont() : VXGetDefaultDialogFont());
    EXPECT_NE(s.Font, nullptr);
    EXPECT_EQ(s.Viewer, nullptr);
  }
}

TEST_F(IODialogs, PreviewsAnswerTheDialogOrTheHandlerAndNothingWithoutATarget) {
  // Cancel.
  ScriptedPreviews::ok = false;
  EXPECT_FALSE(io_->DoPreviews(ppJPEG));
  // No pages for pp: the form is not shown, nor offered to OnIOPreview.
  ScriptedPreviews::ok = true;
  ScriptedPreviews::pages = false;
  gEvents.clear();
  EXPECT_FALSE(io_->DoPreviews(ppAUTO));
  EXPECT_EQ(gEvents, (std::vector<std::string>{"setup", "pages", "detach", "released"}));
  // A handler that takes over: true at once, no dialog, the target as it was.
  ScriptedPreviews::pages = true;
  ASSERT_TRUE(bitmap_.Allocate(3, 3, vx8p));
  int asked = 0;
  io_->OnDoPreviews = [&](void* Sender, bool& Handled) {
    EXPECT_EQ(Sender, io_.get());
    EXPECT_FALSE(Handled);
    ++asked;
    Handled = true;
  };
  gEvents.clear();
  EXPECT_TRUE(io_->DoPreviews(ppALL));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(gEvents.empty());
  EXPECT_EQ(bitmap_.PixelFormat(), vx8p);
  // A handler that leaves Handled alone lets the dialog run.
  io_->OnDoPreviews = [&](void*, bool&) { ++asked; };
  EXPECT_TRUE(io_->DoPreviews(ppALL));
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(bitmap_.PixelFormat(), vx24RGB);
  // No target.
  io_->OnDoPreviews = nullptr;
  io_->SetAttachedVXBitmap(nullptr);
  gEvents.clear();
  EXPECT_FALSE(io_->DoPreviews(ppALL));
  EXPECT_TRUE(gEvents.empty());
}

TEST_F(IODialogs, OpenDialogGetsEveryArgumentAndSetsTheChosenFrame) {
  io_->SetAutoAdjustDPI(true);
  io_->SetFilteredAdjustDPI(true);
  io_->Params().SetImageIndex(1);
  ScriptedFile::chosen = "/pictures/anim.gif";
  ScriptedFile::frame = 3;
  const std::string name = io_->ExecuteOpenDialog("/pictures", "start.gif", true, 4, "Raw (*.raw)|*.raw", "Pick one",
                                                  "GIF (*.gif)|*.gif", 2, 7);
  EXPECT_EQ(name, "/pictures/anim.gif");
  EXPECT_EQ(ScriptedFile::kind, "open");
  const TVXFileDialogSetup& s = ScriptedFile::setup;
  EXPECT_EQ(s.InitialDir, "/pictures");
  EXPECT_EQ(s.FileName, "start.gif");
  EXPECT_TRUE(s.AlwaysAnimate);
  EXPECT_TRUE(s.EnableSizing);
  EXPECT_FALSE(s.AutoSetFilter);
  EXPECT_EQ(s.Filter, "GIF (*.gif)|*.gif");
  EXPECT_EQ(s.AutoSetFilterFileType, 7);
  EXPECT_EQ(s.PreviewBorderStyle, vxpsSoftShadow);
  EXPECT_EQ(s.FilterDefault, 2);
  EXPECT_EQ(s.FilterIndex, 4);
  EXPECT_TRUE(s.AutoAdjustDPI);
  EXPECT_TRUE(s.FilteredAdjustDPI);
  EXPECT_EQ(s.ExtendedFilters, "Raw (*.raw)|*.raw");
  EXPECT_EQ(s.Title, "Pick one");
  EXPECT_EQ(s.AttachedVexlaneIO, nullptr);
  EXPECT_EQ(s.ShowFormats, vxsfImagesAndVideos);
  EXPECT_EQ(io_->Params().ImageIndex(), 3);
  EXPECT_EQ(io_->Params().GIF_ImageIndex(), 3);

  // Cancel: no name, the index kept.
  ScriptedFile::ok = false;
  ScriptedFile::frame = 5;
  EXPECT_EQ(io_->ExecuteOpenDialog("Again"), "");
  EXPECT_EQ(io_->Params().ImageIndex(), 3);

  // The short form: empty texts, filter index 0, the dialog's own filter.
  ScriptedFile::ok = true;
  ScriptedFile::frame = 0;
  EXPECT_EQ(io_->ExecuteOpenDialog("Short", 3, 5, true), "/pictures/anim.gif");
  EXPECT_EQ(ScriptedFile::setup.InitialDir, "");
  EXPECT_EQ(ScriptedFile::setup.FileName, "");
  EXPECT_EQ(ScriptedFile::setup.ExtendedFilters, "");
  EXPECT_EQ(ScriptedFile::setup.Filter, "");
  EXPECT_TRUE(ScriptedFile::setup.AutoSetFilter);
  EXPECT_EQ(ScriptedFile::setup.FilterIndex, 0);
  EXPECT_EQ(ScriptedFile::setup.FilterDefault, 3);
  EXPECT_EQ(ScriptedFile::setup.AutoSetFilterFileType, 5);
  EXPECT_TRUE(ScriptedFile::setup.AlwaysAnimate);
  EXPECT_EQ(ScriptedFile::setup.Title, "Short");
  EXPECT_EQ(io_->Params().ImageIndex(), 0);
}

TEST_F(IODialogs, SaveDialogIsAttachedListsImagesOnlyAndLeavesTheIndex) {
  io_->Params().SetImageIndex(2);
  ScriptedFile::chosen = "/out/picture.png";
  ScriptedFile::frame = 6;
  EXPECT_EQ(io_->ExecuteSaveDialog("/out", "picture.png", false, 1, "", "", "", 0, -1), "/out/picture.png");
  EXPECT_EQ(ScriptedFile::kind, "save");
  EXPECT_EQ(ScriptedFile::setup.AttachedVexlaneIO, io_.get());
  EXPECT_EQ(ScriptedFile::setup.ShowFormats, vxsfImagesOnly);
  EXPECT_TRUE(ScriptedFile::setup.AutoSetFilter);
  EXPECT_EQ(ScriptedFile::setup.Title, "");
  EXPECT_EQ(io_->Params().ImageIndex(), 2);
  ScriptedFile::ok = false;
  EXPECT_EQ(io_->ExecuteSaveDialog("Save as"), "");
  EXPECT_EQ(io_->Params().ImageIndex(), 2);
}

TEST_F(IODialogs, PrintPreviewNeedsAPrinterAndMoreThanOnePixel) {
  std::vector<std::string> boxes;
  SetMessageBoxHandler([&](HWND, const std::string& Text, const std::string&, UINT Type) {
    boxes.push_back(Text);
    EXPECT_EQ(Type & 0xF, MB_OK);
    return IDOK;
  });
  VXHeadless::ClearPrinters();
  VXHeadless::UseCUPS(false);
  SetPrinter(new TPrinter);
  EXPECT_FALSE(io_->DoPrintPreviewDialog(vxdtDialog, "task", false, ""));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "The Print Preview could not be displayed because a printer has not been configured on this computer.");
  EXPECT_TRUE(gEvents.empty());
  // Without ResetPrinter the printer is not asked for.
  io_->SetResetPrinter(false);
  EXPECT_TRUE(io_->DoPrintPreviewDialog(vxdtDialog, "task", false, ""));
  EXPECT_EQ(boxes.size(), 1u);

  // The virtual PDF printer.
  io_->SetResetPrinter(true);
  VXHeadless::AddPDFPrinter("PDF", "", 8.5, 11, 300);
  SetPrinter(new TPrinter);
  Printer()->SetCopies(3);
  struct Case {
    int w, h;
    bool opens;
  };
  for (const Case c : {Case{1, 1, false}, Case{1, 2, true}, Case{2, 1, true}, Case{0, 0, false}}) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    if (c.w)
      ASSERT_TRUE(bitmap_.Allocate(c.w, c.h, vx24RGB));
    else
      io_->SetAttachedVXBitmap(nullptr);
    gEvents.clear();
    EXPECT_EQ(io_->DoPrintPreviewDialog(vxdtDialog, "", false, ""), c.opens);
    EXPECT_EQ(!gEvents.empty(), c.opens);
  }
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(Printer()->Copies(), 3);  // kept through the re-selection
  EXPECT_EQ(Printer()->PrinterIndex(), 0);
}

TEST_F(IODialogs, PrintPreviewHandsOverItsSettingsAndAnswersOK) {
  VXHeadless::ClearPrinters();
  VXHeadless::UseCUPS(false);
  VXHeadless::AddPDFPrinter("PDF", "", 8.5, 11, 300);
  SetPrinter(new TPrinter);
  io_->SetDialogsMeasureUnit(vxduCm);
  io_->SetPreviewFontEnabled(true);
  for (TVXDialogType t : {vxdtDialog, vxdtMaxi}) {
    SCOPED_TRACE(int(t));
    ScriptedPrint::ok = true;
    gEvents.clear();
    EXPECT_TRUE(io_->DoPrintPreviewDialog(t, "Job 7", true, "Preview it"));
    EXPECT_EQ(ScriptedPrint::type, t);
    const TVXPrintPreviewSetup& s = ScriptedPrint::setup;
    EXPECT_EQ(s.IO, io_.get());
    EXPECT_EQ(s.MeasureUnit, vxduCm);
    EXPECT_EQ(s.Font, io_->PreviewFont());
    EXPECT_EQ(s.TaskName, "Job 7");
    EXPECT_EQ(s.PrintPreviewParams, &io_->PrintPreviewParams());
    EXPECT_TRUE(s.PrintAnnotations);
    EXPECT_EQ(s.Caption, "Preview it");
    EXPECT_EQ(gEvents, (std::vector<std::string>{"setup", "OnIOPreview(form)", "modal", "released"}));
    ScriptedPrint::ok = false;
    EXPECT_FALSE(io_->DoPrintPreviewDialog(t));
    EXPECT_EQ(ScriptedPrint::setup.Caption, "");  // the dialog's word then
  }
}

TEST_F(IODialogs, WithoutTheDialogsLibraryEachLaunchNamesItsDialog) {
  VXIODialogHooks = TVXIODialogHooks{};
  io_->SetResetPrinter(false);
  struct Case {
    const char* name;
    std::function<void()> launch;
  };
  const Case cases[] = {
      {"TfIOPreviews", [&] { io_->DoPreviews(ppALL); }},
      {"TOpenVexlaneDialog", [&] { io_->ExecuteOpenDialog(); }},
      {"TSaveVexlaneDialog", [&] { io_->ExecuteSaveDialog(); }},
      {"TfvxPrnForm2", [&] { io_->DoPrintPreviewDialog(vxdtDialog); }},
      {"TfvxPrnForm1", [&] { io_->DoPrintPreviewDialog(vxdtMaxi); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.launch();
      ADD_FAILURE() << "no exception";
    } catch (const EVXException& e) {
      EXPECT_NE(std::string(e.what()).find(c.name), std::string::npos) << e.what();
    }
  }
}

}  // namespace
