// The processing preview dialog, opened as a user opens it (through the
// processing component's DoPreviews) and driven like a person: the page set,
// the preview cycle and its timer, copying to the source, OK, Cancel, Reset,
// the layout, and the colour pages against their workers applied directly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/rowops.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/textutils.h"
#include "dialogs/histogrambox.h"
#include "dialogs/hsvbox.h"
#include "dialogs/rulerbox.h"
#include "dialogs/previews.h"
#include "gui/formdriver.h"
#include "proc/colors.h"
#include "proc/dialogparams.h"
#include "proc/filters.h"
#include "proc/morph.h"
#include "proc/proc.h"
#include "proc/tone.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"
#include "words/words.h"

namespace {

namespace D = VXFormDriver;

// A smooth picture with noise, so that every operation changes it.
std::unique_ptr<TVXBitmap> Picture(int32_t w, int32_t h, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const int n = int(rng() % 31) - 15;
      row[3 * x] = uint8_t(std::clamp(40 + x * 150 / w + n, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp(200 - y * 120 / h + n, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp(90 + (x + y) % 60 + n, 0, 255));
    }
  }
  return b;
}

std::vector<uint8_t> Bytes(TVXBitmap* b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b->Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(b->ScanLine(y));
    out.insert(out.end(), row, row + size_t(b->Width()) * 3);
  }
  return out;
}

void ExpectSame(TVXBitmap* a, TVXBitmap* b) {
  ASSERT_EQ(a->Width(), b->Width());
  ASSERT_EQ(a->Height(), b->Height());
  ASSERT_EQ(a->PixelFormat(), b->PixelFormat());
  EXPECT_TRUE(Bytes(a) == Bytes(b));
}

// What the result view holds before the page's operation: the source view's
// visible part stretched to its extent.
std::unique_ptr<TVXBitmap> Rendering(TfPreviews* F) {
  TVXBitmap* src = F->Vexlane1->GetVXBitmap();
  int32_t xd, yd, dxd, dyd, xs, ys, dxs, dys;
  F->Vexlane1->GetRenderRectangles(xd, yd, dxd, dyd, xs, ys, dxs, dys);
  const int32_t ex = F->Vexlane1->ExtentX(), ey = F->Vexlane1->ExtentY();
  auto out = std::make_unique<TVXBitmap>(ex, ey, src->PixelFormat());
  src->StretchRectTo(out.get(), 0, 0, ex, ey, xs, ys, dxs, dys, VXGetGlobalSettings()->DefaultPreviewsZoomFilter(),
                     255, 1.0);
  return out;
}

TPRPreviewsParams Params(std::initializer_list<TPRPreviewsParam> bits) {
  unsigned v = 0;
  for (TPRPreviewsParam b : bits) v |= 1u << b;
  return TPRPreviewsParams(v);
}

class Previews : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
    image_ = Picture(300, 200, 11);
    proc_ = std::make_unique<TVexlaneProc>(nullptr);
    proc_->SetAttachedVXBitmap(image_.get());
    proc_->SetAutoUndo(true);
    proc_->SetUndoLocation(vxMemory);
  }
  void TearDown() override {
    proc_.reset();
    VXGetGlobalSettings()->SetMsgLanguage(msEnglish);
    VXHeadless::SetPixelsPerInch(96);
    D::Reset();
    VXHeadless::Reset();
  }
  // Opens the dialog on the image with the pages of pe; Script acts on it
  // and closes it.
  bool Open(TPreviewEffects pe, std::function<void(TfPreviews*)> Script) {
    D::OnModal<TfPreviews>(Script);
    return proc_->DoPreviews(pe);
  }
  TIPDialogParams* P() { return proc_->IPDialogParams(); }

  TVXLibraryGuard library_;
  std::unique_ptr<TVXBitmap> image_;
  std::unique_ptr<TVexlaneProc> proc_;
};

constexpr TPreviewEffects kAll = VXPreviewEffect(peAll);

// ---- the frame ----

TEST_F(Previews, PageSets) {
  // One page: no tabs, flat buttons, the page's caption on the form.
  Open(VXPreviewEffect(peHSV), [](TfPreviews* F) {
    EXPECT_EQ(F->PageControl1->ActivePage(), F->tabHSV);
    EXPECT_TRUE(F->PageControl1->VisibleTabs().empty());
    EXPECT_EQ(F->PageControl1->Style(), tsFlatButtons);
    EXPECT_EQ(F->Caption(), "HSV");
    D::Click(F->CancelButton);
  });
  // Every page: the contrast page first, every built page with its tab.
  Open(kAll, [](TfPreviews* F) {
    EXPECT_EQ(F->PageControl1->ActivePage(), F->tabContrast);
    EXPECT_EQ(F->PageControl1->VisibleTabs(),
              (std::vector<TTabSheet*>{F->tabContrast, F->tabHSV, F->tabHSL, F->tabRGB, F->tabFilters,
                                       F->tabEqualization, F->tabBumpMap, F->tabLens, F->tabWave, F->tabMorph,
                                       F->tabRotate, F->tabFFT, F->tabGamma, F->tabSharpen, F->tabResize,
                                       F->tabSoftShadow,
                                       F->tabAutoEnhance, F->tabCrop}));
    EXPECT_EQ(F->Caption(), "Preview");
    EXPECT_EQ(F->PageControl1->Style(), tsTabs);
    D::Click(F->CancelButton);
  });
  // Two pages: tabs, the first in page order.
  Open(VXPreviewEffect(peGamma) | VXPreviewEffect(peRGB), [](TfPreviews* F) {
    EXPECT_EQ(F->PageControl1->ActivePage(), F->tabRGB);
    EXPECT_EQ(F->PageControl1->VisibleTabs().size(), 2u);
    D::Click(F->CancelButton);
  });
  EXPECT_EQ(D::PendingModalHandlers(), 0);
}

TEST_F(Previews, EveryPageOpensAloneWithItsCaption) {
  using TPage = TTabSheet* TfPreviews::*;
  const std::pair<TPreviewEffect, TPage> cases[] = {
      {peContrast, &TfPreviews::tabContrast}, {peHSV, &TfPreviews::tabHSV},
      {peHSL, &TfPreviews::tabHSL},           {peRGB, &TfPreviews::tabRGB},
      {peUserFilt, &TfPreviews::tabFilters},  {peEqualize, &TfPreviews::tabEqualization},
      {peBumpMap, &TfPreviews::tabBumpMap},   {peLens, &TfPreviews::tabLens},
      {peWave, &TfPreviews::tabWave},         {peMorph, &TfPreviews::tabMorph},
      {peRotate, &TfPreviews::tabRotate},     {peFFT, &TfPreviews::tabFFT},
      {peGamma, &TfPreviews::tabGamma},       {peSharpen, &TfPreviews::tabSharpen},
      {peResize, &TfPreviews::tabResize},     {peSoftShadow, &TfPreviews::tabSoftShadow},
      {peAutoEnhance, &TfPreviews::tabAutoEnhance}, {peCrop, &TfPreviews::tabCrop}};
  for (auto [effect, page] : cases) {
    bool shown = false;
    Open(VXPreviewEffect(effect), [&](TfPreviews* F) {
      shown = true;
      TTabSheet* expected = F->*page;
      ASSERT_NE(expected, nullptr);
      EXPECT_EQ(F->PageControl1->ActivePage(), expected);
      EXPECT_FALSE(expected->Caption().empty());
      EXPECT_EQ(F->Caption(), expected->Caption());
      EXPECT_TRUE(F->PageControl1->VisibleTabs().empty());
      D::Click(F->CancelButton);
    });
    EXPECT_TRUE(shown) << int(effect);
  }
  // Cancelled every time: nothing of the image or its history changed.
  EXPECT_EQ(proc_->UndoCount(), 0);
}

TEST_F(Previews, OkWithoutChangesAppliesAndStoresTheLoadedValues) {
  auto before = std::make_unique<TVXBitmap>(image_.get());
  P()->CONTRAST_Contrast = 0;
  P()->CONTRAST_Brightness = 0;
  P()->HSL_S = 40;
  EXPECT_TRUE(Open(kAll, [](TfPreviews* F) { D::Click(F->OkButton); }));
  EXPECT_EQ(P()->CONTRAST_Contrast, 0);
  EXPECT_EQ(P()->CONTRAST_Brightness, 0);
  EXPECT_EQ(P()->HSL_S, 40);  // a page never opened keeps its value
  ExpectSame(image_.get(), before.get());
  EXPECT_EQ(proc_->GetUndoCaptions(0), "Contrast/Brightness");
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Contrast 0 Brightness 0"});
}

TEST_F(Previews, CopiesToSourceThenOk) {
  P()->CONTRAST_Contrast = 20;
  EXPECT_TRUE(Open(kAll, [](TfPreviews* F) {
    D::Click(F->ResultToSourceButton);
    // The page reloads its stored values.
    EXPECT_EQ(F->Contrast, 20);
    D::Slide(F->TrackBar1, -40);
    D::Click(F->PreviewButton);
    D::Click(F->ResultToSourceButton);
    EXPECT_EQ(F->Contrast, 20);
    D::Click(F->OkButton);
  }));
  EXPECT_EQ(proc_->GetUndoCaptions(0), "Contrast/Brightness,Contrast/Brightness,Contrast/Brightness");
  EXPECT_EQ(proc_->PreviewsLog(), (std::vector<std::string>{"Contrast 20 Brightness 0", "Contrast -40 Brightness 0",
                                                            "Contrast 20 Brightness 0"}));
}

TEST_F(Previews, CancelAfterACopyKeepsImageAndParameters) {
  P()->RGB_G = 30;
  auto before = std::make_unique<TVXBitmap>(image_.get());
  struct {
    int32_t RGB_R, RGB_G, CONTRAST_Contrast;
  } saved{P()->RGB_R, P()->RGB_G, P()->CONTRAST_Contrast};
  EXPECT_FALSE(Open(VXPreviewEffect(peRGB), [](TfPreviews* F) {
    D::Slide(F->TrackBar6, 50);
    D::Click(F->PreviewButton);
    D::Click(F->ResultToSourceButton);
    D::Click(F->CancelButton);
  }));
  EXPECT_EQ(P()->RGB_R, saved.RGB_R);
  EXPECT_EQ(P()->RGB_G, saved.RGB_G);
  EXPECT_EQ(P()->CONTRAST_Contrast, saved.CONTRAST_Contrast);
  ExpectSame(image_.get(), before.get());
  EXPECT_EQ(proc_->UndoCount(), 0);
}

TEST_F(Previews, LockPreviewOffWaitsForThePreviewButton) {
  Open(kAll, [](TfPreviews* F) {
    EXPECT_FALSE(F->chkLockPreview->Checked());
    EXPECT_TRUE(F->PreviewButton->Visible());
    const std::vector<uint8_t> shown = Bytes(F->Vexlane2->GetVXBitmap());
    D::Slide(F->TrackBar1, 40);
    EXPECT_EQ(F->Contrast, 40);
    D::Advance(1000);
    EXPECT_TRUE(Bytes(F->Vexlane2->GetVXBitmap()) == shown);
    D::Click(F->PreviewButton);
    auto expected = Rendering(F);
    VXDoContrast(expected.get(), 0, 0, expected->Width(), expected->Height(), 40, F->fMedR, F->fMedG, F->fMedB,
                 nullptr, nullptr);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, LockPreviewOnFollowsTheLastMoveAfter250ms) {
  proc_->SetPreviewsParams(Params({prppDefaultLockPreview}));
  bool lockedAtOk = false;
  EXPECT_TRUE(Open(kAll, [&](TfPreviews* F) {
    EXPECT_TRUE(F->chkLockPreview->Checked());
    EXPECT_FALSE(F->PreviewButton->Visible());
    const std::vector<uint8_t> shown = Bytes(F->Vexlane2->GetVXBitmap());
    D::Slide(F->TrackBar12, 30);
    D::Advance(200);
    D::Slide(F->TrackBar12, 35);  // the timer starts again
    D::Advance(249);
    EXPECT_TRUE(Bytes(F->Vexlane2->GetVXBitmap()) == shown);
    D::Advance(1);
    auto expected = Rendering(F);
    VXDoIntensityRGBAll(expected.get(), 0, 0, expected->Width(), expected->Height(), 35, 35, 35, nullptr, nullptr);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    lockedAtOk = F->chkLockPreview->Checked();
    D::Click(F->chkLockPreview);  // off at OK: the caller keeps that
    D::Click(F->OkButton);
  }));
  EXPECT_TRUE(lockedAtOk);
  EXPECT_EQ(proc_->PreviewsParams() & (1u << prppDefaultLockPreview), 0u);
}

TEST_F(Previews, ResetReloadsTheCurrentPageFromTheOpeningValues) {
  proc_->SetPreviewsParams(Params({prppShowResetButton, prppResetSelectedTab}));
  P()->CONTRAST_Contrast = 10;
  P()->HSL_H = 5;
  Open(kAll, [](TfPreviews* F) {
    EXPECT_TRUE(F->ResetButton->Visible());
    D::TabTo(F->PageControl1, F->tabHSL);
    D::Slide(F->TrackBar2, 60);
    D::TabTo(F->PageControl1, F->tabContrast);
    D::Slide(F->TrackBar1, 50);
    D::Click(F->ResetButton);
    EXPECT_EQ(F->Contrast, 10);
    EXPECT_EQ(F->TrackBar1->Position(), 10);
    EXPECT_EQ(F->Edit1->Text(), "10");
    // The other page keeps what the user set.
    D::TabTo(F->PageControl1, F->tabHSL);
    EXPECT_EQ(F->Hue, 60);
    // The result shows the reset values at once.
    auto expected = Rendering(F);
    VXDoHSLVar(expected.get(), 0, 0, expected->Width(), expected->Height(), 60, 0, 0, nullptr, nullptr);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, ResultViewIsTheVisiblePartAtScreenScale) {
  P()->HSL_H = 25;
  P()->HSL_L = -10;
  Open(VXPreviewEffect(peHSL), [](TfPreviews* F) {
    // A 300 x 200 image in a 191 x 135 view: fitted, scaled down.
    EXPECT_LT(F->Vexlane1->ExtentX(), 300);
    EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Width(), F->Vexlane1->ExtentX());
    EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Height(), F->Vexlane1->ExtentY());
    auto expected = Rendering(F);
    VXDoHSLVar(expected.get(), 0, 0, expected->Width(), expected->Height(), 25, 0, -10, nullptr, nullptr);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, LayoutFollowsTheSizeAtEachResolution) {
  for (int ppi : {96, 144}) {
    SCOPED_TRACE(ppi);
    VXHeadless::SetPixelsPerInch(ppi);
    P()->DialogWidth = -1;
    P()->DialogHeight = -1;
    const double s = ppi / 96.0;
    Open(kAll, [&](TfPreviews* F) {
      EXPECT_EQ(F->Width(), int(548 * s));
      for (auto [w, h] : {std::pair{int(548 * s), int(454 * s)}, std::pair{int(800 * s), int(700 * s)}}) {
        D::ResizeForm(F, w, h);
        // The end of the drag fitted the source view once more.
        EXPECT_FALSE(F->fResized);
        const int cw = F->ClientWidth(), ch = F->ClientHeight();
        const int dx = int((cw + 8 - 548 * s) / 2), dy = int(ch + 34 - 454 * s);
        EXPECT_EQ(F->Vexlane1->Width(), int(191 * s + dx));
        EXPECT_EQ(F->Vexlane1->Height(), int(135 * s + dy));
        EXPECT_EQ(F->Vexlane2->Left(), int(dx + 233 * s));
        EXPECT_EQ(F->Vexlane2->Width(), F->Vexlane1->Width());
        EXPECT_EQ(F->ResetButton->Top(), F->Vexlane2->Top() + F->Vexlane2->Height() - F->ResetButton->Height());
        EXPECT_EQ(F->PreviewButton->Top(), F->ResetButton->Top() - F->PreviewButton->Height() - int(6 * s));
        EXPECT_EQ(F->ResultToSourceButton->Left(), int(dx + 206 * s));
        EXPECT_EQ(F->ResultToSourceButton->Top(), int(70 * s + dy / 2));
        EXPECT_EQ(F->Label2->Left(), int(dx + 231 * s));
        EXPECT_EQ(F->chkLockPreview->Top(), F->Height() - F->chkLockPreview->Height() - int(45 * s));
        const int pcTop = int(10 * s + F->Vexlane1->Top() + F->Vexlane1->Height());
        EXPECT_EQ(F->PageControl1->Top(), pcTop);
        EXPECT_EQ(F->PageControl1->Left(), F->Vexlane1->Left());
        EXPECT_EQ(F->PageControl1->Width(), int(cw - 20 * s));
        EXPECT_EQ(F->PageControl1->Height(), int(F->chkLockPreview->Top() - 8 * s - pcTop));
        for (TControl* b : std::initializer_list<TControl*>{F->OkButton, F->CancelButton, F->PreviewButton,
                                                            F->ResetButton})
          EXPECT_EQ(b->Left(), cw - F->OkButton->Width() - int(12 * s));
        // The result follows the source view's new extent.
        EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Width(), F->Vexlane1->ExtentX());
        EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Height(), F->Vexlane1->ExtentY());
      }
      D::Click(F->CancelButton);
    });
  }
}

// ---- the colour pages: the committed image against the workers ----

TEST_F(Previews, CommittedImageEqualsTheWorkerAppliedDirectly) {
  struct Case {
    const char* name;
    TPreviewEffect page;
    std::function<void(TIPDialogParams*)> store;
    std::function<void(TfPreviews*)> act;
    std::function<void(TVXBitmap*)> apply;
  };
  const Case cases[] = {
      {"contrast", peContrast, [](TIPDialogParams* p) { p->CONTRAST_Contrast = 30; p->CONTRAST_Brightness = -10; },
       nullptr,
       [](TVXBitmap* b) {
         int32_t r, g, bl;
         VXCalcAverageChannels(b, r, g, bl);
         VXDoContrast(b, 0, 0, b->Width(), b->Height(), 30, r, g, bl, nullptr, nullptr);
         VXDoIntensityRGBAll(b, 0, 0, b->Width(), b->Height(), -10, -10, -10, nullptr, nullptr);
       }},
      {"HSL", peHSL, [](TIPDialogParams* p) { p->HSL_H = 40; p->HSL_S = -30; p->HSL_L = 15; }, nullptr,
       [](TVXBitmap* b) { VXDoHSLVar(b, 0, 0, b->Width(), b->Height(), 40, -30, 15, nullptr, nullptr); }},
      {"RGB", peRGB, nullptr,
       [](TfPreviews* F) {
         D::Type(F->Edit7, "25");
         D::Type(F->Edit6, "-60");
         D::Type(F->Edit5, "100");
       },
       [](TVXBitmap* b) { VXDoIntensityRGBAll(b, 0, 0, b->Width(), b->Height(), 25, -60, 100, nullptr, nullptr); }},
      {"HSV", peHSV, [](TIPDialogParams* p) { p->HSV_H = -50; p->HSV_S = 20; p->HSV_V = -15; }, nullptr,
       [](TVXBitmap* b) { VXDoHSVVar(b, 0, 0, b->Width(), b->Height(), -50, 20, -15, nullptr, nullptr); }},
      {"gamma", peGamma, [](TIPDialogParams* p) { p->GAMMACORRECTION_Value = 2.5; },
       [](TfPreviews* F) { D::CheckItem(F->cbxGamma, 1, false); },
       [](TVXBitmap* b) {
         TVexlaneProc p(nullptr);
         p.SetAttachedVXBitmap(b);
         p.SetAutoUndo(false);
         p.GammaCorrect(2.5, TVXChannels{vxcRed, vxcBlue});
       }},
      {"auto-enhance", peAutoEnhance, [](TIPDialogParams* p) { p->AutoEnhance1_Slope = 30; p->AutoEnhance1_Range = 10; },
       [](TfPreviews* F) { D::Type(F->edtAutoEnhance1Quality, "10"); },
       [](TVXBitmap* b) {
         TVexlaneProc p(nullptr);
         p.SetAttachedVXBitmap(b);
         p.SetAutoUndo(false);
         p.AutoEnhance1(169, 30, 10, 5);
       }},
      {"tone mapping", peAutoEnhance,
       [](TIPDialogParams* p) { p->AutoEnhance3_Gamma = 0.5; p->AutoEnhance3_Saturation = 60; }, nullptr,
       [](TVXBitmap* b) {
         TVexlaneProc p(nullptr);
         p.SetAttachedVXBitmap(b);
         p.SetAutoUndo(false);
         p.AutoEnhance3(0.5, 60);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image_ = Picture(120, 90, 21);
    proc_->SetAttachedVXBitmap(image_.get());
    P()->SetDefaultParams();
    if (c.store) c.store(P());
    TVXBitmap expected(image_.get());
    c.apply(&expected);
    EXPECT_TRUE(Open(VXPreviewEffect(c.page), [&](TfPreviews* F) {
      if (c.act) c.act(F);
      D::Click(F->OkButton);
    }));
    ExpectSame(image_.get(), &expected);
  }
  // What the last two runs stored.
  EXPECT_EQ(P()->AutoEnhance3_Gamma, 0.5);
  EXPECT_EQ(P()->AutoEnhance3_Saturation, 60);
}

// ---- page edge cases ----

TEST_F(Previews, BoxesAndSliders) {
  P()->HSL_S = 20;
  Open(kAll, [](TfPreviews* F) {
    D::Type(F->Edit1, "150");
    EXPECT_EQ(F->TrackBar1->Position(), 100);
    EXPECT_EQ(F->Edit1->Text(), "100");
    EXPECT_EQ(F->Contrast, 100);
    D::TabTo(F->PageControl1, F->tabHSL);
    EXPECT_EQ(F->Sat, 20);
    D::Type(F->Edit2, "xy");
    EXPECT_EQ(F->Sat, 0);
    EXPECT_EQ(F->TrackBar3->Position(), 0);
    D::Type(F->Edit4, "-35");
    EXPECT_EQ(F->Hue, -35);
    EXPECT_EQ(F->Edit4->Text(), "-35");
    D::Click(F->OkButton);
  });
  // OK on the HSL page stores both pages that were loaded.
  EXPECT_EQ(P()->CONTRAST_Contrast, 100);
  EXPECT_EQ(P()->HSL_H, -35);
  EXPECT_EQ(P()->HSL_S, 0);
  EXPECT_EQ(proc_->GetUndoCaptions(0), "HSL adjust");
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"HSL -35 0 0"});
}

TEST_F(Previews, HsvPickersSetTheOffsets) {
  Open(VXPreviewEffect(peHSV), [](TfPreviews* F) {
    F->HSVBox3->SetHue(30);
    F->HSVBox3->SetSat(50);
    F->HSVBox3->SetVal(50);
    F->HSVBox1->SetHue(350);
    F->HSVBox1->SetSat(20);
    F->HSVBox1->SetVal(90);
    F->HSVBox1->OnChange(F->HSVBox1);
    EXPECT_EQ(F->TrackBar9->Position(), 180);
    EXPECT_EQ(F->TrackBar10->Position(), -30);
    EXPECT_EQ(F->TrackBar11->Position(), 40);
    EXPECT_EQ(F->bHue, 180);
    EXPECT_EQ(F->bSat, -30);
    EXPECT_EQ(F->bVal, 40);
    EXPECT_EQ(F->Edit19->Text(), "180");
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, HsvBaseColourPickedFromTheResult) {
  image_ = std::make_unique<TVXBitmap>(60, 40, vx24RGB);
  image_->Fill(TColor(0x3264C8));  // red 200, green 100, blue 50
  proc_->SetAttachedVXBitmap(image_.get());
  Open(VXPreviewEffect(peHSV), [](TfPreviews* F) {
    // The result shows the colour through the page's operation (offsets 0,
    // which still round through the integer model).
    TVXBitmap one(1, 1, vx24RGB);
    one.Fill(TColor(0x3264C8));
    VXDoHSVVar(&one, 0, 0, 1, 1, 0, 0, 0, nullptr, nullptr);
    const uint8_t* px = static_cast<const uint8_t*>(one.ScanLine(0));
    int32_t h, s, v;
    VXRGBToHSV(VXMakeRGB(px[2], px[1], px[0]), h, s, v);
    ASSERT_NE(TColor(px[2] | px[1] << 8 | px[0] << 16), TColor(0x3264C8));
    D::Click(F->Vexlane2);
    EXPECT_EQ(F->HSVBox3->Hue(), h);
    EXPECT_EQ(F->HSVBox3->Sat(), s);
    EXPECT_EQ(F->HSVBox3->Val(), v);
    // The offsets wait for the next pick in a picker.
    EXPECT_EQ(F->TrackBar9->Position(), 0);
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, GammaLoadsShowsAndStoresTenths) {
  P()->GAMMACORRECTION_Value = 2.55;
  Open(VXPreviewEffect(peGamma), [](TfPreviews* F) {
    EXPECT_EQ(F->trkGamma->Position(), 25);
    EXPECT_EQ(F->edtGamma->Text(), "2.5");
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(F->cbxGamma->Checked(i));
    // The curve: the poly-line drawn directly on a bitmap of the view's size.
    const int W = F->VexlaneView2->Width(), H = F->VexlaneView2->Height();
    TVXBitmap expected(W, H, vx24RGB);
    expected.Fill(TColor(13684944));
    expected.Canvas()->Pen()->SetColor(clBlack);
    std::vector<TPoint> points;
    for (int i = 0; i < 256; ++i) {
      const int y = std::clamp(int(std::nearbyint(std::pow(i / 255.0, 1 / 2.5) * 255)), 0, 255);
      points.push_back(TPoint{std::clamp(int(i / 255.0 * W), 0, W - 1), std::clamp(int((255 - y) / 255.0 * H), 0, H - 1)});
    }
    expected.Canvas()->Polyline(points);
    ExpectSame(F->VexlaneView2->GetVXBitmap(), &expected);
    D::Click(F->OkButton);
  });
  EXPECT_EQ(P()->GAMMACORRECTION_Value, 2.5);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"GammaCorrection 2.5 RGB"});
}

TEST_F(Previews, AutoEnhancePreviewAndGammaSteps) {
  Open(VXPreviewEffect(peAutoEnhance), [](TfPreviews* F) {
    // Nothing stored: General with 20 and 25.
    EXPECT_EQ(F->cmbAutoEnhance->ItemIndex(), 0);
    EXPECT_EQ(F->edtAutoEnhance1Slope->Text(), "20");
    EXPECT_EQ(F->edtAutoEnhance1Range->Text(), "25");
    D::Type(F->edtAutoEnhance1Quality, "10");
    D::Click(F->PreviewButton);
    auto expected = Rendering(F);
    TVexlaneProc p(nullptr);
    p.SetAttachedVXBitmap(expected.get());
    p.SetAutoUndo(false);
    p.AutoEnhance1(84, 20, 25, 2);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());

    D::Select(F->cmbAutoEnhance, 1);
    EXPECT_TRUE(F->pnlAutoEnhance3->Visible());
    EXPECT_FALSE(F->pnlAutoEnhance1->Visible());
    EXPECT_EQ(F->pnlAutoEnhance3->Left(), F->pnlAutoEnhance1->Left());
    EXPECT_EQ(F->pnlAutoEnhance3->Top(), F->pnlAutoEnhance1->Top());
    D::Type(F->edtAutoEnhance3Gamma, "0.995");
    D::Step(F->updAutoEnhance3Gamma, 1);
    EXPECT_EQ(F->edtAutoEnhance3Gamma->Text(), "1");
    // An empty box (the dialog itself emptying it: typing would refill it).
    F->fDoChange = false;
    F->edtAutoEnhance3Gamma->SetText("");
    F->fDoChange = true;
    D::Step(F->updAutoEnhance3Gamma, 1);
    EXPECT_EQ(F->edtAutoEnhance3Gamma->Text(), "0.02");
    EXPECT_EQ(F->AutoEnhance3Gamma, 0.02);
    EXPECT_EQ(F->AutoEnhance1Slope, 0);
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, GermanChannelLabels) {
  VXGetGlobalSettings()->SetMsgLanguage(msGerman);
  Open(VXPreviewEffect(peHSV), [](TfPreviews* F) {
    EXPECT_FALSE(F->fEnglish);
    const std::string h = F->Label10->Caption(), s = F->Label11->Caption(), v = F->Label12->Caption();
    EXPECT_TRUE(h.ends_with(" (H):")) << h;
    EXPECT_TRUE(s.ends_with(" (S):")) << s;
    EXPECT_TRUE(v.ends_with(" (V):")) << v;
    EXPECT_EQ(h, VXLocalizedMessage(9) + " (H):");
    D::Click(F->CancelButton);
  });
  VXGetGlobalSettings()->SetMsgLanguage(msEnglish);
  Open(VXPreviewEffect(peHSV), [](TfPreviews* F) {
    EXPECT_EQ(F->Label10->Caption(), "Hue:");
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, ActivationRebuildsTheStateAfterAChildDialog) {
  P()->CONTRAST_Contrast = 15;
  Open(kAll, [](TfPreviews* F) {
    D::Slide(F->TrackBar1, 60);
    D::TabTo(F->PageControl1, F->tabRGB);
    EXPECT_EQ(F->Contrast, 60);
    // A child dialog opens and closes: the dialog is activated again.
    TForm child;
    D::OnModal([](TCustomForm* C) { C->SetModalResult(mrCancel); });
    child.ShowModal();
    D::Settle();
    EXPECT_EQ(F->PageControl1->ActivePage(), F->tabContrast);
    EXPECT_EQ(F->Contrast, 15);
    EXPECT_EQ(F->TrackBar1->Position(), 15);
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, ProgressReachesTheCallerOnlyAtOk) {
  std::vector<int> seen;
  void* sender = nullptr;
  proc_->OnProgress = [&](void* S, int32_t per) {
    sender = S;
    seen.push_back(per);
  };
  P()->HSL_H = 30;
  EXPECT_TRUE(Open(VXPreviewEffect(peHSL), [&](TfPreviews* F) {
    D::Slide(F->TrackBar3, 20);
    D::Click(F->PreviewButton);
    D::Click(F->ResultToSourceButton);
    EXPECT_TRUE(seen.empty());
    D::Click(F->OkButton);
  }));
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(sender, proc_.get());
  EXPECT_EQ(seen.back(), 100);
}

TEST_F(Previews, MouseModeOfTheColourPages) {
  Open(kAll, [](TfPreviews* F) {
    for (TTabSheet* page : {F->tabContrast, F->tabHSV, F->tabGamma}) {
      if (page != F->PageControl1->ActivePage()) D::TabTo(F->PageControl1, page);
      EXPECT_EQ(F->Vexlane1->MouseInteract(), TVXMouseInteract(1u << miZoom));
      EXPECT_FALSE(F->Vexlane1->Selected());
    }
    D::Click(F->CancelButton);
  });
}

TEST_F(Previews, LanguageFontsAndTheEnglishFlag) {
  struct Case {
    TMsgLanguage lang;
    uint16_t primary;
    bool english;
    uint8_t charset;
    const char* face;  // null: the face stays
  } cases[] = {
      {msEnglish, 7, true, DEFAULT_CHARSET, nullptr}, {msSystem, 9, true, DEFAULT_CHARSET, nullptr},
      {msSystem, 7, false, DEFAULT_CHARSET, nullptr}, {msGreek, 9, false, GREEK_CHARSET, nullptr},
      {msFarsi, 9, false, ARABIC_CHARSET, "Tahoma"},
  };
  const uint16_t saved = VXFormatSettings().PrimaryLanguage;
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.lang));
    VXGetGlobalSettings()->SetMsgLanguage(c.lang);
    VXFormatSettings().PrimaryLanguage = c.primary;
    TfPreviews F;
    F.Font()->SetName("DejaVu Sans");
    F.UpdateLanguage();
    EXPECT_EQ(F.fEnglish, c.english);
    EXPECT_EQ(F.Font()->Charset(), c.charset);
    EXPECT_EQ(F.Font()->Name(), c.face ? c.face : "DejaVu Sans");
    EXPECT_EQ(F.Caption(), VXLocalizedMessage(0));
    EXPECT_EQ(F.tabGamma->Caption(), VXLocalizedMessage(438));
    EXPECT_TRUE(F.fDoChange);
  }
  VXFormatSettings().PrimaryLanguage = saved;
}

TEST_F(Previews, DialogBackgrounds) {
  const uint8_t saved = VXDialogBackgroundKind;
  for (uint8_t kind : {uint8_t(1), uint8_t(2)}) {
    SCOPED_TRACE(int(kind));
    VXDialogBackgroundKind = kind;
    Open(VXPreviewEffect(peRGB), [kind](TfPreviews* F) {
      // Activation sets the preview settings' look; the next resize brings the
      // dialog background back.
      D::ResizeForm(F, F->Width() + 10, F->Height());
      for (TVexlaneView* v : {F->Vexlane1, F->Vexlane2}) {
        EXPECT_EQ(v->BackgroundStyle(), vxbsSoftShadow);
        EXPECT_EQ(v->Background(), kind == 1 ? clWhite : TColor(0xC0C0C0));
      }
      TBitmap* picture = F->Image1->Picture()->Bitmap();
      EXPECT_EQ(picture->Width(), F->Image1->Width());
      EXPECT_EQ(picture->Height(), F->Image1->Height());
      D::Click(F->CancelButton);
    });
  }
  VXDialogBackgroundKind = saved;
}

}  // namespace

// ---- filter pages ----

namespace {

std::vector<uint8_t> ReadFile(const std::string& Path) {
  std::vector<uint8_t> out;
  if (FILE* f = std::fopen(Path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) out.push_back(uint8_t(c));
    std::fclose(f);
  }
  return out;
}

void WriteFile(const std::string& Path, const std::vector<uint8_t>& Data) {
  FILE* f = std::fopen(Path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(Data.data(), 1, Data.size(), f);
  std::fclose(f);
}

// The 43-byte filter file: the header, nine weights and the divisor.
std::vector<uint8_t> FilterFile(std::vector<uint8_t> Header, const std::vector<int32_t>& Values) {
  for (int32_t v : Values)
    for (int i = 0; i < 4; ++i) Header.push_back(uint8_t(uint32_t(v) >> (8 * i)));
  return Header;
}

std::string Output(const std::string& Command) {
  std::string out;
  if (FILE* p = popen(Command.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

std::vector<int32_t> FilterValues(const TGraphFilter& f) {
  std::vector<int32_t> v;
  for (const auto& row : f.Values) v.insert(v.end(), row, row + 3);
  v.push_back(f.Divisor);
  return v;
}

std::vector<std::string> GridTexts(TfPreviews* F) {
  std::vector<std::string> out;
  for (TEdit* e : {F->Edit8, F->Edit11, F->Edit14, F->Edit9, F->Edit12, F->Edit15, F->Edit10, F->Edit13, F->Edit16,
                   F->Edit20})
    out.push_back(e->Text());
  return out;
}

}  // namespace

TEST_F(Previews, UserFilterFileGridAndPresets) {
  const std::string dir = ::testing::TempDir();
  const std::string saved = dir + "previews_default.flt", bad = dir + "previews_bad.flt",
                    cut = dir + "previews_cut.flt", good = dir + "previews_good.flt";
  WriteFile(bad, FilterFile({1, 3, 4}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  std::vector<uint8_t> shortFile = FilterFile({1, 3, 3}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  shortFile.resize(30);
  WriteFile(cut, shortFile);
  WriteFile(good, FilterFile({1, 3, 3}, {-1, 2, -3, 4, 50, 6, -7, 8, 9, 11}));
  P()->SetDefaultParams();
  TVXBitmap expected(image_.get());
  TProgressRec none;
  VXApplyFilter3x3(&expected, *VXGetFilterPreset(1), 0, 0, expected.Width(), expected.Height(), none);
  EXPECT_TRUE(Open(VXPreviewEffect(peUserFilt), [&](TfPreviews* F) {
    EXPECT_EQ(GridTexts(F), (std::vector<std::string>{"0", "0", "0", "0", "1", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(F->ListBox1->ItemIndex(), 0);
    EXPECT_EQ(F->ListBox1->Count(), VXFilterPresetCount());
    D::AnswerFileDialog(true, saved);
    D::Click(F->Button5);
    // A wrong header or a short file leaves the filter and its boxes.
    D::Type(F->Edit8, "5");
    const std::vector<int32_t> before = FilterValues(F->Filter);
    EXPECT_EQ(before[0], 5);
    for (const std::string& file : {bad, cut}) {
      SCOPED_TRACE(file);
      D::AnswerFileDialog(true, file);
      D::Click(F->Button4);
      EXPECT_EQ(FilterValues(F->Filter), before);
      EXPECT_EQ(F->Edit8->Text(), "5");
      EXPECT_EQ(F->Edit20->Text(), "0");
    }
    // A whole file fills the filter and the grid by position.
    D::AnswerFileDialog(true, good);
    D::Click(F->Button4);
    EXPECT_EQ(FilterValues(F->Filter), (std::vector<int32_t>{-1, 2, -3, 4, 50, 6, -7, 8, 9, 11}));
    EXPECT_EQ(GridTexts(F), (std::vector<std::string>{"-1", "2", "-3", "4", "50", "6", "-7", "8", "9", "11"}));
    // The divisor box cleared stores 0; a weight box cleared reads the
    // (empty) divisor box as 1.
    D::Type(F->Edit20, "");
    EXPECT_EQ(F->Filter.Divisor, 0);
    D::Type(F->Edit11, "");
    EXPECT_EQ(F->Filter.Divisor, 1);
    EXPECT_EQ(F->Filter.Values[0][1], 0);
    // The up-downs step the boxes.
    D::Step(F->UpDown9, 2);
    EXPECT_EQ(F->Filter.Values[2][2], 11);
    // A preset replaces everything.
    D::Select(F->ListBox1, 1);
    EXPECT_EQ(FilterValues(F->Filter), (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 9}));
    EXPECT_EQ(F->Edit20->Text(), "9");
    D::Click(F->OkButton);
  }));
  // The default filter as saved: 01 03 03, nine weights, the divisor.
  EXPECT_EQ(ReadFile(saved).size(), 43u);
  EXPECT_EQ(Output("/usr/bin/python3 -c \"import struct; d=open('" + saved +
                "','rb').read(); print(len(d), struct.unpack('<3B10i', d))\""),
            "43 (1, 3, 3, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0)\n");
  std::string blur = "Filter ";
  for (int i = 0; i < 9; ++i) blur += "1/9";
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{blur});
  EXPECT_EQ(proc_->GetUndoCaptions(0), "Convolution Filter");
  EXPECT_EQ(FilterValues(P()->USERFILTER_Values), (std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, 1, 9}));
  ExpectSame(image_.get(), &expected);
}

TEST_F(Previews, MorphAndSharpenPages) {
  P()->SetDefaultParams();
  P()->MORPH_Filter = 0;
  P()->MORPH_WinSize = 4;
  TVXBitmap expected(image_.get());
  VXDoSharpen(&expected, 0, 0, nullptr, nullptr, 3, 50, expected.Height(), expected.Width());
  EXPECT_TRUE(Open(VXPreviewEffect(peMorph) | VXPreviewEffect(peSharpen), [](TfPreviews* F) {
    EXPECT_EQ(F->PageControl1->ActivePage(), F->tabMorph);
    EXPECT_EQ(F->ListBox2->ItemIndex(), 0);
    EXPECT_EQ(F->ListBox2->Items()->Strings(0), "Maximum");
    EXPECT_EQ(F->Edit35->Text(), "4");
    D::Type(F->Edit35, "abc");
    EXPECT_EQ(F->MorphWinSize, 1);
    D::Type(F->Edit35, "3");
    D::Select(F->ListBox2, 2);
    EXPECT_EQ(F->MorphFilter, 2);
    EXPECT_EQ(F->MorphWinSize, 3);
    D::TabTo(F->PageControl1, F->tabSharpen);
    EXPECT_EQ(F->Sharpen, 1);
    EXPECT_EQ(F->SharpenSize, 4);
    D::Type(F->Edit36, "80");
    EXPECT_EQ(F->TrackBar4->Position(), 50);
    EXPECT_EQ(F->Sharpen, 50);
    EXPECT_EQ(F->Edit36->Text(), "50");
    D::Type(F->Edit37, "3");
    EXPECT_EQ(F->SharpenSize, 3);
    D::Click(F->OkButton);
  }));
  ExpectSame(image_.get(), &expected);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Sharpen 50 3"});
  EXPECT_EQ(P()->MORPH_Filter, 2);
  EXPECT_EQ(P()->MORPH_WinSize, 3);
  EXPECT_EQ(P()->SHARPEN_Sharpen, 50);
  EXPECT_EQ(P()->SHARPEN_Size, 3);

  // The morph filter committed.
  image_ = Picture(120, 90, 5);
  proc_->SetAttachedVXBitmap(image_.get());
  proc_->PreviewsLog().clear();
  TVXBitmap closed(image_.get());
  VXDoMorphFilter(&closed, 3, 2, nullptr, nullptr, 0, 0, closed.Width(), closed.Height());
  EXPECT_TRUE(Open(VXPreviewEffect(peMorph), [](TfPreviews* F) { D::Click(F->OkButton); }));
  ExpectSame(image_.get(), &closed);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Morph 3 2"});
}

// ---- geometry pages ----

TEST_F(Previews, RotateAngleSliderBoxAndBackground) {
  P()->SetDefaultParams();
  P()->ROTATE_Angle = 12.5;
  Open(VXPreviewEffect(peRotate), [](TfPreviews* F) {
    EXPECT_EQ(F->TrackBarRotate->Position(), 1250);
    EXPECT_EQ(F->RotationAngle, 12.5);
    EXPECT_EQ(F->edtRotate->Text(), "12.5");
    D::Slide(F->TrackBarRotate, 1300);
    EXPECT_EQ(F->RotationAngle, 13);
    D::Slide(F->TrackBarRotate, 1250);
    EXPECT_EQ(F->RotationAngle, 12);
    EXPECT_EQ(F->edtRotate->Text(), "12");
    D::Type(F->edtRotate, "45.6");
    EXPECT_EQ(F->RotationAngle, 46);
    EXPECT_EQ(F->edtRotate->Text(), "46");
    for (auto [text, shown] : {std::pair{"90", false}, std::pair{"30", true}, std::pair{"-180", false}}) {
      SCOPED_TRACE(text);
      D::Type(F->edtRotate, text);
      EXPECT_EQ(F->pnlRotateBackground->Visible(), shown);
      EXPECT_EQ(F->lblRotateBackground->Visible(), shown);
    }
    // The colour panel offers its colour to the colour dialog.
    D::Type(F->edtRotate, "30");
    D::AnswerColorDialog(true, TColor(0x123456));
    D::Click(F->pnlRotateBackground);
    EXPECT_EQ(F->pnlRotateBackground->Color(), TColor(0x123456));
    D::AnswerColorDialog(false);
    D::Click(F->pnlRotateBackground);
    EXPECT_EQ(F->pnlRotateBackground->Color(), TColor(0x123456));
    D::Click(F->OkButton);
  });
  EXPECT_EQ(P()->ROTATE_Angle, 30);
  EXPECT_EQ(P()->BackgroundColor, TColor(0x123456));
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Rotate 30"});
}

TEST_F(Previews, FlipsRunBeforeTheRotation) {
  P()->SetDefaultParams();
  P()->ROTATE_Angle = 90;
  P()->BackgroundColor = clBlack;
  TVXBitmap expected(image_.get());
  {
    TVexlaneProc p(nullptr);
    p.SetAttachedVXBitmap(&expected);
    p.SetAutoUndo(false);
    p.Flip(fdHorizontal);
    p.Rotate(90, VXGetGlobalSettings()->DefaultRotateAntiAlias(), clBlack);
  }
  EXPECT_TRUE(Open(VXPreviewEffect(peRotate), [](TfPreviews* F) {
    D::Click(F->chkFlipHorz);
    EXPECT_TRUE(F->FlipHorz);
    D::Click(F->OkButton);
  }));
  ExpectSame(image_.get(), &expected);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Rotate 90 Flip Horizontal"});
  EXPECT_TRUE(P()->FLIP_Horz);
}

TEST_F(Previews, HorizontalFlipMatchesImageMagickFlop) {
  if (std::system("/usr/bin/convert -version > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "ImageMagick's convert is not installed";
  const std::string in = ::testing::TempDir() + "previews_flop_in.rgb";
  const std::string out = ::testing::TempDir() + "previews_flop_out.rgb";
  image_ = Picture(97, 41, 8);
  proc_->SetAttachedVXBitmap(image_.get());
  WriteFile(in, Bytes(image_.get()));
  P()->SetDefaultParams();
  EXPECT_TRUE(Open(VXPreviewEffect(peRotate), [](TfPreviews* F) {
    D::Click(F->chkFlipHorz);
    D::Click(F->OkButton);
  }));
  // The channel order does not matter to a mirror.
  ASSERT_EQ(std::system(("/usr/bin/convert -size 97x41 -depth 8 rgb:" + in + " -flop rgb:" + out).c_str()), 0);
  EXPECT_TRUE(Bytes(image_.get()) == ReadFile(out));
}

TEST_F(Previews, ResizeBoxesFollowEachOther) {
  image_ = Picture(640, 480, 3);
  proc_->SetAttachedVXBitmap(image_.get());
  P()->SetDefaultParams();
  P()->Resize_Percent = 100;
  TVXBitmap expected(image_.get());
  {
    TVexlaneProc p(nullptr);
    p.SetAttachedVXBitmap(&expected);
    p.SetAutoUndo(false);
    p.Resample(320, 576, VXGetGlobalSettings()->DefaultResampleFilter(), false);
  }
  EXPECT_TRUE(Open(VXPreviewEffect(peResize), [](TfPreviews* F) {
    EXPECT_EQ(F->edtOldWidth->Text(), "640");
    EXPECT_EQ(F->edtOldHeight->Text(), "480");
    EXPECT_EQ(F->edtNewWidth->Text(), "640");
    EXPECT_EQ(F->edtNewHeight->Text(), "480");
    D::Type(F->edtNewWidth, "320");
    EXPECT_EQ(F->edtNewWidthPercent->Text(), "50");
    EXPECT_EQ(F->edtNewHeightPercent->Text(), "50");
    EXPECT_EQ(F->edtNewHeight->Text(), "240");
    EXPECT_EQ(F->ResizePercent, 50);
    D::Click(F->chkMaintainAR);
    D::Type(F->edtNewHeightPercent, "120");
    EXPECT_EQ(F->edtNewHeight->Text(), "576");
    EXPECT_EQ(F->edtNewWidth->Text(), "320");
    EXPECT_EQ(F->edtNewWidthPercent->Text(), "50");
    EXPECT_EQ(F->ResizePercent, 120);
    // Letters in a pixel box put the source size back.
    D::Type(F->edtNewHeight, "x");
    EXPECT_EQ(F->edtNewHeight->Text(), "480");
    EXPECT_EQ(F->edtNewHeightPercent->Text(), "100");
    D::Type(F->edtNewHeightPercent, "120");
    D::Click(F->OkButton);
  }));
  ExpectSame(image_.get(), &expected);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Resize 50% / 120%"});
  EXPECT_EQ(P()->Resize_Percent, 120);

  // A stored 50 % shows 320 x 240; the same size as the source runs nothing.
  image_ = Picture(640, 480, 3);
  proc_->SetAttachedVXBitmap(image_.get());
  proc_->PreviewsLog().clear();
  P()->Resize_Percent = 50;
  auto before = std::make_unique<TVXBitmap>(image_.get());
  EXPECT_TRUE(Open(VXPreviewEffect(peResize), [](TfPreviews* F) {
    EXPECT_EQ(F->edtNewWidth->Text(), "320");
    EXPECT_EQ(F->edtNewHeight->Text(), "240");
    D::Type(F->edtNewWidthPercent, "100");
    EXPECT_EQ(F->edtNewHeight->Text(), "480");
    D::Click(F->OkButton);
  }));
  ExpectSame(image_.get(), before.get());
  EXPECT_TRUE(proc_->PreviewsLog().empty());
}

TEST_F(Previews, CropMarginsAndTheSourceSelection) {
  image_ = Picture(640, 480, 4);
  proc_->SetAttachedVXBitmap(image_.get());
  P()->SetDefaultParams();
  P()->Crop_Left = 10;
  P()->Crop_Top = 20;
  P()->Crop_Right = 30;
  P()->Crop_Bottom = 40;
  const std::vector<uint8_t> source = Bytes(image_.get());
  EXPECT_TRUE(Open(VXPreviewEffect(peCrop), [](TfPreviews* F) {
    ASSERT_TRUE(F->Vexlane1->Selected());
    EXPECT_EQ(F->Vexlane1->SelX1(), 10);
    EXPECT_EQ(F->Vexlane1->SelY1(), 20);
    EXPECT_EQ(F->Vexlane1->SelX2(), 609);
    EXPECT_EQ(F->Vexlane1->SelY2(), 439);
    EXPECT_TRUE(F->Vexlane1->MouseInteract() & (1u << miSelect));
    EXPECT_FALSE(F->pnlCropBackground->Visible());
    EXPECT_EQ(F->updCropLeft->Max(), 639);
    EXPECT_EQ(F->updCropTop->Max(), 479);
    // The preview is the source cropped, at its new size.
    EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Width(), 600);
    EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Height(), 420);
    D::Click(F->OkButton);
  }));
  ASSERT_EQ(image_->Width(), 600);
  ASSERT_EQ(image_->Height(), 420);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Crop 10,20,30,40"});
  EXPECT_EQ(proc_->GetUndoCaptions(0), "Crop");
  if (std::system("/usr/bin/convert -version > /dev/null 2>&1") == 0 &&
      std::system("/usr/bin/compare -version > /dev/null 2>&1") == 0) {
    const std::string in = ::testing::TempDir() + "previews_crop_in.rgb";
    const std::string mine = ::testing::TempDir() + "previews_crop_mine.rgb";
    const std::string theirs = ::testing::TempDir() + "previews_crop_theirs.rgb";
    WriteFile(in, source);
    WriteFile(mine, Bytes(image_.get()));
    ASSERT_EQ(std::system(("/usr/bin/convert -size 640x480 -depth 8 rgb:" + in + " -crop 600x420+10+20 +repage rgb:" +
                           theirs).c_str()),
              0);
    EXPECT_EQ(Output("/usr/bin/compare -metric AE -size 600x420 -depth 8 rgb:" + mine + " rgb:" + theirs +
                     " null: 2>&1"),
              "0");
  } else {
    std::printf("ImageMagick's convert or compare is missing: the comparison is skipped\n");
  }
}

TEST_F(Previews, CropNegativeMarginsLettersAndTheUsersSelection) {
  image_ = Picture(64, 48, 6);
  proc_->SetAttachedVXBitmap(image_.get());
  P()->SetDefaultParams();
  P()->BackgroundColor = TColor(0x0000FF);
  TVXBitmap expected(image_.get());
  {
    TVexlaneProc p(nullptr);
    p.SetAttachedVXBitmap(&expected);
    p.SetAutoUndo(false);
    p.SetBackground(TColor(0x0000FF));
    p.ImageResize(74, 48, vxhRight, vxvBottom, 255);
  }
  EXPECT_TRUE(Open(VXPreviewEffect(peCrop), [](TfPreviews* F) {
    // Letters in any box put all four back to 0.
    D::Type(F->edtCropTop, "7");
    D::Type(F->edtCropRight, "5");
    D::Type(F->edtCropLeft, "ab");
    for (TEdit* e : {F->edtCropLeft, F->edtCropTop, F->edtCropRight, F->edtCropBottom}) EXPECT_EQ(e->Text(), "0");
    EXPECT_EQ(F->CropTop, 0);
    // A selection the user draws rewrites the margins.
    F->Vexlane1->Select(5, 6, 40, 30);
    F->Vexlane1->OnSelectionChange(F->Vexlane1);
    EXPECT_EQ(F->edtCropLeft->Text(), std::to_string(F->Vexlane1->SelX1()));
    EXPECT_EQ(F->edtCropTop->Text(), std::to_string(F->Vexlane1->SelY1()));
    EXPECT_EQ(F->edtCropRight->Text(), std::to_string(63 - F->Vexlane1->SelX2()));
    EXPECT_EQ(F->edtCropBottom->Text(), std::to_string(47 - F->Vexlane1->SelY2()));
    EXPECT_EQ(F->CropLeft, F->Vexlane1->SelX1());
    EXPECT_EQ(F->CropBottom, 47 - F->Vexlane1->SelY2());
    // A negative margin adds background and shows the colour panel.
    for (auto [box, text] : {std::pair{F->edtCropTop, "0"}, std::pair{F->edtCropRight, "0"},
                             std::pair{F->edtCropBottom, "0"}, std::pair{F->edtCropLeft, "0"}})
      D::Type(box, text);
    EXPECT_FALSE(F->pnlCropBackground->Visible());
    D::Step(F->updCropLeft, -10);
    EXPECT_EQ(F->edtCropLeft->Text(), "-10");
    EXPECT_TRUE(F->pnlCropBackground->Visible());
    EXPECT_TRUE(F->lblCropBackground->Visible());
    EXPECT_EQ(F->CropLeft, -10);
    D::Click(F->OkButton);
  }));
  ExpectSame(image_.get(), &expected);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Crop -10,0,0,0"});
  EXPECT_EQ(P()->Crop_Left, -10);
  EXPECT_EQ(P()->BackgroundColor, TColor(0x0000FF));

  // Margins that leave no pixel run nothing and log nothing.
  proc_->PreviewsLog().clear();
  const std::vector<uint8_t> before = Bytes(image_.get());
  P()->Crop_Left = -5;
  P()->Crop_Right = 40;
  P()->Crop_Top = 0;
  P()->Crop_Bottom = 0;
  EXPECT_TRUE(Open(VXPreviewEffect(peCrop), [](TfPreviews* F) {
    D::Type(F->edtCropLeft, "34");
    D::Click(F->OkButton);
  }));
  EXPECT_TRUE(Bytes(image_.get()) == before);
  EXPECT_TRUE(proc_->PreviewsLog().empty());
}

TEST_F(Previews, EqualizationRulersChannelsAndHistogram) {
  P()->SetDefaultParams();
  P()->EQUALIZATION_ThresholdDown = TRGB{20, 20, 20};
  P()->EQUALIZATION_ThresholdUp = TRGB{200, 200, 200};
  P()->EQUALIZATION_EqDown = TRGB{0, 0, 0};
  P()->EQUALIZATION_EqUp = TRGB{255, 255, 255};
  const TRGB down{20, 40, 20}, up{200, 200, 200};  // b, g, r: only green moved
  TVXBitmap expected(image_.get());
  VXDoThreshold(&expected, 0, 0, expected.Width(), expected.Height(), down, up, TRGB{0, 0, 0}, TRGB{255, 255, 255},
                nullptr, nullptr);
  VXDoHistEqualize(&expected, 0, 0, expected.Width(), expected.Height(), TRGB{0, 0, 0}, TRGB{255, 255, 255}, nullptr,
                   nullptr);
  VXDoHistAutoEqualize(&expected, 0, 0, expected.Width(), expected.Height(), nullptr, nullptr);
  EXPECT_TRUE(Open(VXPreviewEffect(peEqualize), [](TfPreviews* F) {
    EXPECT_EQ(F->RulerBox1->GetGripsPos(0), 20);
    EXPECT_EQ(F->RulerBox1->GetGripsPos(1), 200);
    EXPECT_TRUE(F->CheckListBox1->Checked(3));
    EXPECT_EQ(F->HistogramBox1->AttachedVexlaneProc(), F->Vexlane2->Proc());
    // The histogram box shows the processed preview's histogram.
    {
      THistogramBox direct(nullptr);
      direct.SetBounds(0, 0, F->HistogramBox1->Width(), F->HistogramBox1->Height());
      direct.SetBackground(F->HistogramBox1->Background());
      direct.SetLabels(F->HistogramBox1->Labels());
      direct.SetHistogramKind(F->HistogramBox1->HistogramKind());
      direct.UpdateFromBitmap(F->Vexlane2->GetVXBitmap());
      TBitmap* a = F->HistogramBox1->Bitmap.get();
      TBitmap* b = direct.Bitmap.get();
      ASSERT_EQ(a->Width(), b->Width());
      bool same = true;
      for (int y = 0; y < a->Height() && same; ++y)
        for (int x = 0; x < a->Width(); ++x)
          if (a->Canvas()->Pixels(x, y) != b->Canvas()->Pixels(x, y)) {
            same = false;
            break;
          }
      EXPECT_TRUE(same);
    }
    // Dragging the lower grip past the upper one pushes the upper along.
    TRulerBox* r = F->RulerBox1;
    const TRect g0 = r->GetGripRect(0);
    const int y = (g0.Top + g0.Bottom) / 2, x0 = (g0.Left + g0.Right) / 2;
    const int x1 = r->GripToPixel(1) + 30;
    D::MouseDown(r, x0, y);
    D::MouseMove(r, x1, y);
    D::MouseUp(r, x1, y);
    EXPECT_GT(r->GetGripsPos(0), 200);
    EXPECT_EQ(r->GetGripsPos(1), r->GetGripsPos(0));
    EXPECT_EQ(F->UpLimit.r, F->DownLimit.r);
    EXPECT_EQ(F->Label16->Caption(), std::to_string(int(r->GetGripsPos(0))));
    // Back, then with only Green ticked only the green limits change.
    r->SetGripsPos(1, 200);
    r->SetGripsPos(0, 20);
    EXPECT_EQ(F->DownLimit, (TRGB{20, 20, 20}));
    EXPECT_EQ(F->UpLimit, (TRGB{200, 200, 200}));
    D::CheckItem(F->CheckListBox1, 3, false);
    D::CheckItem(F->CheckListBox1, 1, true);
    EXPECT_EQ(F->HistogramBox1->HistogramKind(), VXHistogramKindBit(hkGreen));
    r->SetGripsPos(0, 40);
    EXPECT_EQ(F->DownLimit, (TRGB{20, 40, 20}));
    EXPECT_EQ(F->UpLimit, (TRGB{200, 200, 200}));
    D::Click(F->SpeedButton3);
    EXPECT_TRUE(F->AutoEqualize);
    D::Click(F->OkButton);
  }));
  ExpectSame(image_.get(), &expected);
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Threshold 20, 40, 20 200, 200, 200 HistEqualize 0, 0, 0 "
                                                           "255, 255, 255 (Equalize)"});
  EXPECT_EQ(P()->EQUALIZATION_ThresholdDown, (TRGB{20, 40, 20}));
  EXPECT_TRUE(P()->EQUALIZATION_EqualizeButton);
  EXPECT_EQ(proc_->GetUndoCaptions(0), "Histogram adjust");
}

TEST_F(Previews, CropMarginsFollowASelectionDrawnWithTheMouse) {
  image_ = Picture(64, 48, 6);
  proc_->SetAttachedVXBitmap(image_.get());
  P()->SetDefaultParams();
  EXPECT_TRUE(Open(VXPreviewEffect(peCrop), [](TfPreviews* F) {
    TVexlaneView* v = F->Vexlane1;
    for (auto [box, text] : {std::pair{F->edtCropLeft, "10"}, std::pair{F->edtCropTop, "8"},
                             std::pair{F->edtCropRight, "12"}, std::pair{F->edtCropBottom, "6"}})
      D::Type(box, text);
    ASSERT_EQ(v->SelX1(), 10);
    ASSERT_EQ(v->SelY2(), 41);
    auto client = [v](int bx, int by) {
      return TPoint{v->ConvXBmp2Scr(v->CurrentLayer(), bx), v->ConvYBmp2Scr(v->CurrentLayer(), by)};
    };
    auto drag = [v](TPoint a, TPoint b) {
      D::MouseDown(v, a.X, a.Y);
      const int n = std::max({std::abs(b.X - a.X), std::abs(b.Y - a.Y), 1});
      for (int i = 1; i <= n; ++i) D::MouseMove(v, a.X + (b.X - a.X) * i / n, a.Y + (b.Y - a.Y) * i / n);
      D::MouseUp(v, b.X, b.Y);
    };
    auto margins = [F] {
      return std::vector<std::string>{F->edtCropLeft->Text(), F->edtCropTop->Text(), F->edtCropRight->Text(),
                                      F->edtCropBottom->Text()};
    };
    auto fields = [F] { return std::vector<int>{F->CropLeft, F->CropTop, F->CropRight, F->CropBottom}; };
    // A new rectangle drawn from a point of the left margin (outside the
    // selection) to the bitmap point (41, 33): it keeps (3, 4)-(40, 32).
    drag(client(3, 4), client(41, 33));
    EXPECT_EQ(v->SelX1(), 3);
    EXPECT_EQ(v->SelY1(), 4);
    EXPECT_EQ(v->SelX2(), 40);
    EXPECT_EQ(v->SelY2(), 32);
    EXPECT_EQ(margins(), (std::vector<std::string>{"3", "4", "23", "15"}));
    EXPECT_EQ(fields(), (std::vector<int>{3, 4, 23, 15}));
    // Its bottom-right grip dragged to (50, 40).
    drag(client(41, 33), client(50, 40));
    EXPECT_EQ(margins(), (std::vector<std::string>{"3", "4", "13", "7"}));
    // The selection dragged by (5, 2) from inside it.
    drag(client(20, 20), client(25, 22));
    EXPECT_EQ(margins(), (std::vector<std::string>{"8", "6", "8", "5"}));
    EXPECT_EQ(fields(), (std::vector<int>{8, 6, 8, 5}));
    D::Click(F->OkButton);
  }));
  EXPECT_EQ(image_->Width(), 64 - 16);
  EXPECT_EQ(image_->Height(), 48 - 11);
}
