// TVexlaneProc::DoPreviews through a scripted dialog in the seam the dialogs
// library fills: what the dialog is given, the size rules, and what comes
// back on OK and Cancel, with and without a selection.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "fake_viewhost.h"
#include "gui/graphics.h"
#include "noise_fixture.h"
#include "proc/dialogparams.h"
#include "proc/previews_hooks.h"
#include "proc/proc.h"
#include "winui/headless.h"

namespace {

using procfixture::Noise;

// Keeps what it was given; ShowModal runs the test's script, which sets the
// outcome.
class ScriptedDialog : public TVXPreviewsDialog {
 public:
  static inline ScriptedDialog* last = nullptr;
  static inline int made = 0, shown = 0;
  static inline std::function<int32_t(ScriptedDialog&)> script;
  static inline std::vector<std::string> events;

  ScriptedDialog() {
    last = this;
    ++made;
  }
  ~ScriptedDialog() override {
    events.push_back("freed");
    if (last == this) last = nullptr;
  }
  void Setup(const TVXPreviewsSetup& v) override {
    events.push_back("setup");
    setup = v;
    image.Assign(v.Image);
    imageAlphaFull = v.Image->HasAlphaChannel() && v.Image->AlphaChannelOpt()->Full();
    result.Assign(v.Image);
    result.SetPixelFormat(vx24RGB);
    width = v.Width;
    height = v.Height;
    lockPreview = v.DefaultLockPreview;
  }
  int32_t ShowModal() override {
    events.push_back("show");
    ++shown;
    return script ? script(*this) : vxPreviewsCancel;
  }
  bool DefaultLockPreview() const override { return lockPreview; }
  std::string UndoCaption() const override { return undoCaption; }
  TVXBitmap* ResultBitmap() override { return &result; }
  int32_t Width() const override { return width; }
  int32_t Height() const override { return height; }

  TVXPreviewsSetup setup;
  TVXBitmap image, result;
  bool imageAlphaFull = false;
  bool lockPreview = false;
  std::string undoCaption;
  int32_t width = 0, height = 0;
};

class ProcPreviews : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = VXPreviewsHooks;
    VXPreviewsHooks.CreatePreviewsDialog = [](TVexlaneProc*) -> std::unique_ptr<TVXPreviewsDialog> {
      return std::make_unique<ScriptedDialog>();
    };
    ScriptedDialog::made = ScriptedDialog::shown = 0;
    ScriptedDialog::script = nullptr;
    ScriptedDialog::events.clear();
  }
  void TearDown() override {
    VXPreviewsHooks = saved_;
    ScriptedDialog::script = nullptr;
    VXHeadless::SetPixelsPerInch(96);
  }
  TVXPreviewsHooks saved_;
};

TEST_F(ProcPreviews, ImagesBelowTwoPixelsBothWaysShowNothing) {
  for (auto [w, h, opens] : {std::tuple{1, 1, false}, std::tuple{1, 5, true}, std::tuple{4, 1, true}}) {
    SCOPED_TRACE(testing::Message() << w << " x " << h);
    ScriptedDialog::made = 0;
    auto b = Noise(w, h, vx24RGB, 3);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    int finished = 0;
    proc->OnFinishWork = [&](void*) { ++finished; };
    EXPECT_FALSE(proc->DoPreviews(VXPreviewEffect(peAll)));
    EXPECT_EQ(ScriptedDialog::made, opens ? 1 : 0);
    EXPECT_EQ(finished, 1);
  }
}

TEST_F(ProcPreviews, SizeAndPlaceOfTheDialog) {
  struct Case {
    int ppi;
    int32_t formW, formH, storedW, storedH, left, top;
    int32_t w, h;
    bool centred;
  } cases[] = {
      {96, -1, -1, -1, -1, -1, -1, 548, 454, true},   {120, -1, -1, -1, -1, -5, -7, 685, 567, true},
      {144, 0, 0, -1, -1, 10, -1, 822, 681, false},   {96, 700, -1, 600, 500, 3, 4, 700, 500, false},
      {120, -1, 320, 600, -1, -1, 0, 600, 320, false},
  };
  // Checked while the dialog lives.
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ppi << " ppi, form " << c.formW << " x " << c.formH);
    VXHeadless::SetPixelsPerInch(c.ppi);
    auto b = Noise(8, 6, vx24RGB, 4);
    auto proc = TVexlaneProc::CreateFromBitmap(b.get());
    proc->IPDialogParams()->DialogWidth = c.storedW;
    proc->IPDialogParams()->DialogHeight = c.storedH;
    ScriptedDialog::script = [&](ScriptedDialog& d) {
      EXPECT_EQ(d.setup.Width, c.w);
      EXPECT_EQ(d.setup.Height, c.h);
      EXPECT_EQ(d.setup.CenterOnScreen, c.centred);
      if (!c.centred) {
        EXPECT_EQ(d.setup.Left, c.left);
        EXPECT_EQ(d.setup.Top, c.top);
      }
      EXPECT_TRUE(d.setup.Resizeable);
      EXPECT_EQ(d.setup.pe, VXPreviewEffect(peContrast));
      return vxPreviewsCancel;
    };
    EXPECT_FALSE(proc->DoPreviews(VXPreviewEffect(peContrast), true, c.formW, c.formH, c.left, c.top));
    EXPECT_EQ(ScriptedDialog::shown, int(&c - cases) + 1);
    // The dialog's size (unchanged here) is kept for the next call.
    EXPECT_EQ(proc->IPDialogParams()->DialogWidth, c.w);
    EXPECT_EQ(proc->IPDialogParams()->DialogHeight, c.h);
  }
}

TEST_F(ProcPreviews, CancelChangesNothingButKeepsTheSize) {
  auto b = Noise(20, 16, vx24RGB, 5);
  TVXBitmap before(b.get());
  TVexlaneProc proc(nullptr);
  proc.SetAttachedVXBitmap(b.get());
  proc.SetAutoUndo(true);
  ScriptedDialog::script = [](ScriptedDialog& d) {
    d.result.Fill(0.0);
    d.undoCaption = "Contrast/Brightness";
    d.lockPreview = true;
    d.width = 777;
    d.height = 555;
    return vxPreviewsCancel;
  };
  EXPECT_FALSE(proc.DoPreviews(VXPreviewEffect(peAll)));
  EXPECT_TRUE(VXBitmapsEqual(b.get(), &before));
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(proc.PreviewsParams() & 1, 0);
  EXPECT_EQ(proc.IPDialogParams()->DialogWidth, 777);
  EXPECT_EQ(proc.IPDialogParams()->DialogHeight, 555);
}

TEST_F(ProcPreviews, OkWithoutSelectionTakesTheResultsSizeInOneUndoStep) {
  auto b = Noise(20, 16, vx24RGB, 6);
  b->AlphaChannel()->Fill(255);
  b->AlphaChannel()->SyncFull();
  TVexlaneProc proc(nullptr);
  proc.SetAttachedVXBitmap(b.get());
  proc.SetAutoUndo(true);
  auto resized = Noise(30, 12, vx24RGB, 7);
  ScriptedDialog::script = [&](ScriptedDialog& d) {
    EXPECT_TRUE(d.imageAlphaFull);
    d.result.Assign(resized.get());
    d.result.AlphaChannel()->Fill(90);
    d.undoCaption = "Resize";
    d.lockPreview = true;
    return vxPreviewsOK;
  };
  EXPECT_TRUE(proc.DoPreviews(VXPreviewEffect(peResize)));
  EXPECT_EQ(b->Width(), 30);
  EXPECT_EQ(b->Height(), 12);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 30; ++x) {
      ASSERT_TRUE(VXSameRGB(b->Pixels_vx24RGB(x, y), resized->Pixels_vx24RGB(x, y)));
      ASSERT_EQ(b->Alpha(x, y), 90);
    }
  EXPECT_FALSE(b->AlphaChannel()->Full());
  EXPECT_EQ(proc.UndoCount(), 1);
  EXPECT_EQ(proc.GetUndoCaptions(0), "Resize");
  EXPECT_EQ(proc.PreviewsParams() & 1, 1);
  proc.Undo();
  EXPECT_EQ(b->Width(), 20);
}

TEST_F(ProcPreviews, OkWithAnEllipticalSelectionChangesOnlyThePixelsInside) {
  for (int32_t bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TFakeViewHost host;
    auto image = Noise(40, 30, vx24RGB, 8);
    host.Image()->Assign(image.get());
    TVXMask* mask = host.NewMask(bpp);
    mask->SetEllipse(20, 15, 24, 16, bpp == 8 ? 255 : 1);
    mask->SyncRect();
    TVexlaneProc proc(nullptr);
    proc.SetAttachedVexlane(&host);
    int finished = 0;
    proc.OnFinishWork = [&](void*) { ++finished; };
    ScriptedDialog::script = [&](ScriptedDialog& d) {
      EXPECT_EQ(host.paintLock, 1);  // held while the dialog runs
      EXPECT_EQ(d.setup.Viewer, &host);
      // The selection's box, as the image has it.
      EXPECT_EQ(d.image.Width(), mask->X2() - mask->X1() + 1);
      EXPECT_EQ(d.image.Height(), mask->Y2() - mask->Y1() + 1);
      EXPECT_TRUE(VXSameRGB(d.image.Pixels_vx24RGB(0, 0), image->Pixels_vx24RGB(mask->X1(), mask->Y1())));
      d.result.Fill(0.0);
      return vxPreviewsOK;
    };
    EXPECT_TRUE(proc.DoPreviews(VXPreviewEffect(peHSV)));
    EXPECT_EQ(host.paintLock, 0);
    EXPECT_EQ(finished, 1);
    EXPECT_GE(host.Count("Update"), 1);
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        const bool inside = mask->GetPixel(x, y) != 0;
        TRGB got = host.Image()->Pixels_vx24RGB(x, y);
        if (inside)
          ASSERT_TRUE(got.r == 0 && got.g == 0 && got.b == 0) << x << "," << y;
        else
          ASSERT_TRUE(VXSameRGB(got, image->Pixels_vx24RGB(x, y))) << x << "," << y;
      }
    EXPECT_EQ(host.Image()->Width(), 40);
    proc.SetAttachedVexlane(nullptr);
  }
}

TEST_F(ProcPreviews, OptionsFontAndOnPreview) {
  auto b = Noise(10, 10, vx8g, 9);
  TVexlaneProc proc(nullptr);
  proc.SetAttachedVXBitmap(b.get());
  proc.SetBackground(0x445566);
  proc.SetFiltersInitialDir("/tmp/filters");
  TFont big;
  big.SetName("DejaVu Serif");
  big.SetHeight(-17);
  proc.SetPreviewFont(&big);
  EXPECT_EQ(proc.PreviewFont()->Name(), "DejaVu Serif");
  EXPECT_NE(proc.PreviewFont(), &big);
  TVXPreviewsDialog* seen = nullptr;
  proc.OnPreview = [&](void* Sender, TVXPreviewsDialog* Form) {
    EXPECT_EQ(Sender, &proc);
    seen = Form;
    ScriptedDialog::events.push_back("OnPreview");
  };
  struct Case {
    TPRPreviewsParams params;
    bool fontEnabled;
    bool lock, reset, hard, all;
  } cases[] = {{0, false, false, false, false, true},
               {TPRPreviewsParams(0x0F), true, true, true, true, false},
               {TPRPreviewsParams(0x05), true, true, false, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.params));
    proc.SetPreviewsParams(c.params);
    proc.SetPreviewFontEnabled(c.fontEnabled);
    ScriptedDialog::events.clear();
    ScriptedDialog::script = [&](ScriptedDialog& d) {
      EXPECT_EQ(seen, &d);
      EXPECT_EQ(d.setup.Font, c.fontEnabled ? proc.PreviewFont() : VXGetDefaultDialogFont());
      EXPECT_EQ(d.setup.DefaultLockPreview, c.lock);
      EXPECT_EQ(d.setup.ShowReset, c.reset);
      EXPECT_EQ(d.setup.HardReset, c.hard);
      EXPECT_EQ(d.setup.ResetAllTabs, c.all);
      EXPECT_EQ(d.setup.Background, 0x445566);
      EXPECT_EQ(d.setup.FiltersInitialDir, "/tmp/filters");
      EXPECT_EQ(d.setup.ProgressSender, &proc);
      EXPECT_EQ(d.setup.IPDialogParams, proc.IPDialogParams());
      EXPECT_EQ(d.setup.OpList, &proc.PreviewsLog());
      EXPECT_EQ(d.setup.Viewer, nullptr);
      EXPECT_EQ(d.image.PixelFormat(), vx8g);  // handed in its own format
      return vxPreviewsCancel;
    };
    proc.DoPreviews(VXPreviewEffect(peGamma) | VXPreviewEffect(peCrop));
    EXPECT_EQ(ScriptedDialog::events, (std::vector<std::string>{"setup", "OnPreview", "show", "freed"}));
  }
  // Confirmed on a grey image: the image becomes vx24RGB with the result.
  ScriptedDialog::script = [](ScriptedDialog& d) {
    d.result.Fill(double(0x0000FF));
    return vxPreviewsOK;
  };
  EXPECT_TRUE(proc.DoPreviews(VXPreviewEffect(peAll)));
  EXPECT_EQ(b->PixelFormat(), vx24RGB);
  EXPECT_EQ(b->Pixels_vx24RGB(3, 3).r, 255);
}

TEST_F(ProcPreviews, WithoutTheDialogsLibraryTheCallRaisesAndUnlocks) {
  VXPreviewsHooks.CreatePreviewsDialog = nullptr;
  TFakeViewHost host;
  host.Image()->Assign(Noise(12, 12, vx24RGB, 10).get());
  TVexlaneProc proc(nullptr);
  proc.SetAttachedVexlane(&host);
  try {
    proc.DoPreviews(VXPreviewEffect(peAll));
    ADD_FAILURE() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_NE(std::string(e.what()).find("TfPreviews"), std::string::npos) << e.what();
  }
  EXPECT_EQ(host.paintLock, 0);
  EXPECT_EQ(host.Count("LockPaint"), 1);
  proc.SetAttachedVexlane(nullptr);
}

}  // namespace
