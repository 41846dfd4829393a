// The processing preview dialog's distortion and shadow pages (bump map,
// lens, wave, soft shadow), opened through DoPreviews and driven like a
// person: loading, the boxes, the conversion between source pixels and the
// screen-scale preview, the log lines, and the committed image against the
// worker applied directly.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/textutils.h"
#include "dialogs/hsvbox.h"
#include "dialogs/previews.h"
#include "gui/formdriver.h"
#include "proc/dialogparams.h"
#include "proc/distort.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"

namespace {

namespace D = VXFormDriver;

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
  const size_t bpp = b->PixelFormat() == vx24RGB ? 3 : 1;
  for (int32_t y = 0; y < b->Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(b->ScanLine(y));
    out.insert(out.end(), row, row + size_t(b->Width()) * bpp);
  }
  return out;
}

void ExpectSame(TVXBitmap* a, TVXBitmap* b) {
  ASSERT_EQ(a->Width(), b->Width());
  ASSERT_EQ(a->Height(), b->Height());
  ASSERT_EQ(a->PixelFormat(), b->PixelFormat());
  EXPECT_TRUE(Bytes(a) == Bytes(b));
}

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

class PreviewsDistort : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
    image_ = Picture(640, 480, 5);
    proc_ = std::make_unique<TVexlaneProc>(nullptr);
    proc_->SetAttachedVXBitmap(image_.get());
    proc_->SetAutoUndo(true);
    proc_->SetUndoLocation(vxMemory);
  }
  void TearDown() override {
    proc_.reset();
    D::Reset();
    VXHeadless::Reset();
  }
  bool Open(TPreviewEffects pe, std::function<void(TfPreviews*)> Script) {
    D::OnModal<TfPreviews>(Script);
    return proc_->DoPreviews(pe);
  }
  TIPDialogParams* P() { return proc_->IPDialogParams(); }

  TVXLibraryGuard library_;
  std::unique_ptr<TVXBitmap> image_;
  std::unique_ptr<TVexlaneProc> proc_;
};

// ---- bump map ----

TEST_F(PreviewsDistort, BumpMapCentresTheLightAndConvertsForThePreview) {
  auto before = std::make_unique<TVXBitmap>(image_.get());
  EXPECT_TRUE(Open(VXPreviewEffect(peBumpMap), [](TfPreviews* F) {
    EXPECT_EQ(F->Caption(), "Bump map");
    EXPECT_EQ(F->BumpLeft, 320);
    EXPECT_EQ(F->BumpTop, 240);
    EXPECT_EQ(F->BumpWidth, 320);
    EXPECT_EQ(F->BumpHeight, 320);
    EXPECT_EQ(F->Edit22->Text(), "320");
    EXPECT_EQ(F->Edit25->Text(), "320");
    // At 50 % and not scrolled the preview's light is at (160, 120), 160 wide.
    F->Vexlane1->SetZoomX(50);
    F->Vexlane1->SetViewXY(0, 0);
    F->UpdatePreview();
    ASSERT_EQ(F->Vexlane1->ViewX(), 0);
    auto expected = Rendering(F);
    TProgressRec none;
    VXDoBumpMapping(expected.get(), 0, 0, expected->Width(), expected->Height(), 160, 120, 160, 160, 0,
                    VXMakeRGB(255, 255, 255), none);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    // A click puts the light at the source point under it.
    const int ox = F->Vexlane1->OffsetX(), oy = F->Vexlane1->OffsetY();
    D::ClickAt(F->Vexlane2, ox + 90, oy + 45);
    EXPECT_EQ(F->BumpLeft, 180);
    EXPECT_EQ(F->BumpTop, 90);
    EXPECT_EQ(F->Edit22->Text(), "180");
    EXPECT_EQ(F->Edit23->Text(), "90");
    // Scrolled: both directions take the scroll position in screen pixels.
    F->Vexlane1->SetViewXY(20, 10);
    ASSERT_EQ(F->Vexlane1->ViewX(), 20);
    const int vy = F->Vexlane1->ViewY();
    D::ClickAt(F->Vexlane2, F->Vexlane1->OffsetX() + 90, F->Vexlane1->OffsetY() + 45);
    EXPECT_EQ(F->BumpLeft, 220);
    EXPECT_EQ(F->BumpTop, (45 + vy) * 2);
    EXPECT_EQ(F->SourceXToPreview(220), 90);
    EXPECT_EQ(F->SourceYToPreview(F->BumpTop), 45);
    D::Type(F->Edit23, "110");
    // The quantity and the colour.
    D::Type(F->Edit26, "30");
    EXPECT_EQ(F->BumpSrc, 30);
    F->HSVBox2->SetRGB(255, 0, 0);
    F->HSVBox2Change();
    D::Click(F->OkButton);
  }));
  auto expected = std::make_unique<TVXBitmap>(before.get());
  TProgressRec none;
  VXDoBumpMapping(expected.get(), 0, 0, 640, 480, 220, 110, 320, 320, 30, VXMakeRGB(255, 0, 0), none);
  ExpectSame(image_.get(), expected.get());
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Bumpmap 220 110 320 320 30 255, 0, 0"});
  EXPECT_EQ(proc_->GetUndoCaptions(0), "Bump Map");
  EXPECT_EQ(P()->BUMPMAP_Left, 220);
  EXPECT_EQ(P()->BUMPMAP_Src, 30);
  EXPECT_TRUE(P()->BUMPMAP_Col == VXMakeRGB(255, 0, 0));
  // With the automatic light the next opening centres it again.
  Open(VXPreviewEffect(peBumpMap), [](TfPreviews* F) {
    EXPECT_EQ(F->BumpLeft, 320);
    EXPECT_EQ(F->BumpSrc, 30);
    D::Click(F->CancelButton);
  });
}

TEST_F(PreviewsDistort, BumpMapFittedAtHalfAndAClickBesideTheImage) {
  Open(VXPreviewEffect(peBumpMap), [](TfPreviews* F) {
    TVexlaneView* v = F->Vexlane1;
    // A source view whose client area takes the 640 x 480 image at 50 %.
    const int bw = v->Width() - v->ClientWidth(), bh = v->Height() - v->ClientHeight();
    v->SetBounds(v->Left(), v->Top(), 320 + bw, 240 + bh);
    F->Vexlane2->SetBounds(F->Vexlane2->Left(), F->Vexlane2->Top(), 320 + bw, 240 + bh);
    v->Fit();
    ASSERT_EQ(v->ZoomX(), 50);
    ASSERT_EQ(v->ViewX(), 0);
    ASSERT_EQ(v->ViewY(), 0);
    F->UpdatePreview();
    EXPECT_EQ(F->SourceXToPreview(F->BumpLeft), 160);
    EXPECT_EQ(F->SourceYToPreview(F->BumpTop), 120);
    EXPECT_EQ(F->SourceLengthToPreview(F->BumpWidth), 160);
    auto expected = Rendering(F);
    TProgressRec none;
    VXDoBumpMapping(expected.get(), 0, 0, expected->Width(), expected->Height(), 160, 120, 160, 160, 0,
                    VXMakeRGB(255, 255, 255), none);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    // 20 pixels wider and 10 higher at the same zoom: the image is drawn
    // from (10, 5), and a click at (100, 50) is the source point (180, 90).
    v->SetBounds(v->Left(), v->Top(), 340 + bw, 250 + bh);
    F->Vexlane2->SetBounds(F->Vexlane2->Left(), F->Vexlane2->Top(), 340 + bw, 250 + bh);
    v->SetZoomX(50);
    ASSERT_EQ(v->OffsetX(), 10);
    ASSERT_EQ(v->OffsetY(), 5);
    D::ClickAt(F->Vexlane2, 100, 50);
    EXPECT_EQ(F->BumpLeft, 180);
    EXPECT_EQ(F->BumpTop, 90);
    D::Click(F->CancelButton);
  });
}

// ---- lens ----

TEST_F(PreviewsDistort, LensRefractionBox) {
  EXPECT_TRUE(Open(VXPreviewEffect(peLens), [](TfPreviews* F) {
    EXPECT_EQ(F->LensLeft, 320);
    EXPECT_EQ(F->LensWidth, 320);
    EXPECT_EQ(F->Edit31->Text(), "7");
    D::Type(F->Edit29, "200");
    EXPECT_EQ(F->LensWidth, 200);
    EXPECT_EQ(F->LensRef, 1.7);
    for (auto [text, ref] : {std::pair{"5", 1.5}, std::pair{"0", 1.0}, std::pair{"x", 1.0}, std::pair{"12", 2.2}}) {
      D::Type(F->Edit31, text);
      EXPECT_EQ(F->LensRef, ref) << text;
    }
    D::Type(F->Edit31, "5");
    D::Click(F->OkButton);
  }));
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Lens 320 240 200 320 1.5"});
  EXPECT_EQ(P()->LENS_Ref, 1.5);
  EXPECT_EQ(P()->LENS_Width, 200);
}

TEST_F(PreviewsDistort, LensPreviewAndCommit) {
  auto before = std::make_unique<TVXBitmap>(image_.get());
  P()->LENS_Auto = false;
  P()->LENS_Left = 200;
  P()->LENS_Top = 100;
  P()->LENS_Width = 180;
  P()->LENS_Height = 120;
  P()->LENS_Ref = 1.4;
  VXFormatSettings().DecimalSeparator = ',';
  int32_t top = 0;
  EXPECT_TRUE(Open(VXPreviewEffect(peLens), [&top](TfPreviews* F) {
    EXPECT_EQ(F->Edit27->Text(), "200");
    EXPECT_EQ(F->Edit31->Text(), "4");
    const double z = F->Vexlane1->ZoomX() / 100;
    auto expected = Rendering(F);
    TProgressRec none;
    VXDoLens(expected.get(), int32_t(200 * z - F->Vexlane1->ViewX()), int32_t(100 * z - F->Vexlane1->ViewY()),
             int32_t(180 * z), int32_t(120 * z), 1.4, none);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    // A click moves the lens.
    D::ClickAt(F->Vexlane2, F->Vexlane1->OffsetX() + 30, F->Vexlane1->OffsetY() + 20);
    EXPECT_EQ(F->LensLeft, int32_t((30 + F->Vexlane1->ViewX()) * 100 / F->Vexlane1->ZoomX()));
    EXPECT_EQ(F->Edit27->Text(), std::to_string(F->LensLeft));
    top = F->LensTop;
    D::Type(F->Edit27, "200");
    D::Click(F->OkButton);
  }));
  VXFormatSettings().DecimalSeparator = '.';
  auto expected = std::make_unique<TVXBitmap>(before.get());
  TProgressRec none;
  VXDoLens(expected.get(), 200, top, 180, 120, 1.4, none);
  ExpectSame(image_.get(), expected.get());
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Lens 200 " + std::to_string(top) + " 180 120 1.4"});
}

// ---- wave ----

TEST_F(PreviewsDistort, WavePhaseTakesTypedValuesAndCommits) {
  auto before = std::make_unique<TVXBitmap>(image_.get());
  EXPECT_TRUE(Open(VXPreviewEffect(peWave), [](TfPreviews* F) {
    EXPECT_EQ(F->WaveAmplitude, 10);
    EXPECT_EQ(F->Edit33->Text(), "10");
    D::Type(F->Edit32, "12");
    D::Type(F->Edit34, "400");
    EXPECT_EQ(F->WavePhase, 400);
    D::Type(F->Edit34, "-30");
    EXPECT_EQ(F->WavePhase, -30);
    D::Click(F->CheckBox2);
    EXPECT_TRUE(F->WaveReflect);
    // The preview converts the lengths, not the phase.
    F->RequestPreview(true);
    const double z = F->Vexlane1->ZoomX() / 100;
    auto expected = Rendering(F);
    TProgressRec none;
    VXDoWave(expected.get(), int32_t(12 * z), int32_t(10 * z), -30, true, none);
    ExpectSame(F->Vexlane2->GetVXBitmap(), expected.get());
    D::Click(F->OkButton);
  }));
  auto expected = std::make_unique<TVXBitmap>(before.get());
  TProgressRec none;
  VXDoWave(expected.get(), 12, 10, -30, true, none);
  ExpectSame(image_.get(), expected.get());
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"Wave 12 10 -30 1"});
  EXPECT_EQ(P()->WAVE_Phase, -30);
  EXPECT_TRUE(P()->WAVE_Reflect);
}

// ---- soft shadow ----

// A picture with a round opaque shape in a transparent alpha channel.
std::unique_ptr<TVXBitmap> Cutout(int32_t w, int32_t h) {
  auto b = Picture(w, h, 9);
  TVXBitmap* a = b->AlphaChannel();
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(a->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const int dx = x - w / 2, dy = y - h / 2;
      row[x] = dx * dx + dy * dy < (h / 3) * (h / 3) ? 255 : 0;
    }
  }
  return b;
}

// The image with its shadow as AddSoftShadow makes it on its own.
std::unique_ptr<TVXBitmap> Shadowed(TVXBitmap* Source, double Radius, int32_t Dx, int32_t Dy) {
  auto out = std::make_unique<TVXBitmap>(Source);
  out->AlphaChannel()->Assign(Source->AlphaChannelOpt());
  TVexlaneProc p(nullptr);
  p.SetAttachedVXBitmap(out.get());
  p.AddSoftShadow(Radius, Dx, Dy, true, clBlack, 100);
  return out;
}

void ExpectSameWithAlpha(TVXBitmap* a, TVXBitmap* b) {
  ExpectSame(a, b);
  ASSERT_TRUE(a->HasAlphaChannel());
  ASSERT_TRUE(b->HasAlphaChannel());
  ExpectSame(a->AlphaChannelOpt(), b->AlphaChannelOpt());
}

class PreviewsShadow : public PreviewsDistort {
 protected:
  // The dialog opened from a viewer, whose alpha setting it takes.
  void MakeView(bool Alpha) {
    view_ = std::make_unique<TVexlaneView>(nullptr);
    view_->SetEnableAlphaChannel(Alpha);
    TVXBitmap* b = view_->GetVXBitmap();
    b->Assign(source_.get());
    b->AlphaChannel()->Assign(source_->AlphaChannelOpt());
    view_->Update();
    view_->Proc()->SetUndoLocation(vxMemory);
  }
  bool OpenView(std::function<void(TfPreviews*)> Script) {
    D::OnModal<TfPreviews>(Script);
    return view_->Proc()->DoPreviews(VXPreviewEffect(peSoftShadow));
  }
  bool OpenFromView(bool Alpha, std::function<void(TfPreviews*)> Script) {
    MakeView(Alpha);
    return OpenView(Script);
  }
  TIPDialogParams* VP() { return view_->Proc()->IPDialogParams(); }
  std::unique_ptr<TVXBitmap> source_ = Cutout(120, 90);
  std::unique_ptr<TVexlaneView> view_;
};

TEST_F(PreviewsShadow, WithoutAlphaNothingChanges) {
  OpenFromView(false, [](TfPreviews* F) {
    for (TControl* c : std::initializer_list<TControl*>{F->edtShadowRadius, F->cmbShadowPosition, F->pnlShadowColor,
                                                        F->edtShadowOffset, F->lblAddSoftShadow})
      EXPECT_FALSE(c->Enabled()) << c->Name();
    EXPECT_EQ(F->pnlShadowColor->Color(), clBtnFace);
    D::Click(F->OkButton);
  });
  ExpectSameWithAlpha(view_->GetVXBitmap(), source_.get());
  EXPECT_TRUE(view_->Proc()->PreviewsLog().empty());
}

TEST_F(PreviewsShadow, PositionsGiveTheOffsets) {
  // "Top Left" with 5: (-5, -5); the preview shadows the rendering likewise.
  OpenFromView(true, [](TfPreviews* F) {
    EXPECT_TRUE(F->cmbShadowPosition->Enabled());
    EXPECT_EQ(F->pnlShadowColor->Color(), clBlack);
    EXPECT_EQ(F->cmbShadowPosition->ItemIndex(), 3);  // the stored 3 is not 0
    D::Select(F->cmbShadowPosition, 0);
    D::Type(F->edtShadowOffset, "5");
    EXPECT_EQ(F->ShadowOffset, 5);
    D::Click(F->OkButton);
  });
  ExpectSameWithAlpha(view_->GetVXBitmap(), Shadowed(source_.get(), 3, -5, -5).get());
  EXPECT_EQ(view_->Proc()->PreviewsLog(), std::vector<std::string>{"Add Soft Shadow 3 5"});
  EXPECT_EQ(view_->Proc()->GetUndoCaptions(0), "Add Soft Shadow");
}

TEST_F(PreviewsShadow, StoredOffsetsLoadByTheirSize) {
  struct TCase {
    int32_t Stored;
    int Position;
    const char* Box;
    bool OffsetEnabled;
    int32_t Dx, Dy;
  };
  for (const TCase& c : {TCase{-4, 3, "-4", true, -4, -4}, TCase{0, 4, "3", false, 0, 0}}) {
    MakeView(true);
    VP()->Shadow_Offset = c.Stored;
    VP()->Shadow_Radius = 4;
    OpenView([&c](TfPreviews* F) {
      EXPECT_EQ(F->cmbShadowPosition->ItemIndex(), c.Position) << c.Stored;
      EXPECT_EQ(F->edtShadowOffset->Text(), c.Box);
      EXPECT_EQ(F->edtShadowOffset->Enabled(), c.OffsetEnabled);
      EXPECT_EQ(F->ShadowOffset, c.Stored);
      D::Click(F->OkButton);
    });
    ExpectSameWithAlpha(view_->GetVXBitmap(), Shadowed(source_.get(), 4, c.Dx, c.Dy).get());
    EXPECT_EQ(VP()->Shadow_Offset, c.Stored);
  }
}

}  // namespace
