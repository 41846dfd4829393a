// The save-parameters preview dialog, opened as a user opens it (through the
// I/O component's DoPreviews on a loaded photo) and driven like a person:
// the page set, the apply timer, page changes, OK and Apply, the size it
// remembers, every page's controls against the parameters of sample images,
// the TIFF coupling, the colour panels, and the previews against what the
// codecs (and outside decoders) make of the same save.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/dialogbg.h"
#include "core/vxdefs.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "dialogs/iopreviews.h"
#include "dialogs/palettedlg.h"
#include "gui/formdriver.h"
#include "gui/graphics.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"

namespace {

namespace D = VXFormDriver;

const std::string kPhoto = std::string(VX_TEST_DATA_DIR) + "/photo_48x30.jpg";

bool HaveTool(const std::string& Path) { return std::ifstream(Path).good(); }

std::string Scratch(const std::string& Name) {
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vx_iopreviews_" + std::to_string(::getpid()) + "_" + Name;
}

std::string Shell(const std::string& Command) {
  std::string out;
  FILE* p = ::popen((Command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& Name) {
  std::ifstream f(Name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The rows of a 24-bit bitmap as packed RGB bytes (the bitmap holds BGR).
std::vector<uint8_t> RGBBytes(TVXBitmap* b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b->Height(); ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < b->Width(); ++x) {
      out.push_back(row[3 * x + 2]);
      out.push_back(row[3 * x + 1]);
      out.push_back(row[3 * x]);
    }
  }
  return out;
}

// The pixels of a binary PPM (P6) file.
std::vector<uint8_t> PPMPixels(const std::string& Name, int& W, int& H) {
  std::vector<uint8_t> f = ReadFile(Name);
  std::string head;
  size_t i = 0;
  int fields = 0;
  std::vector<int> v;
  while (i < f.size() && fields < 4) {
    while (i < f.size() && isspace(f[i])) ++i;
    if (i < f.size() && f[i] == '#') {
      while (i < f.size() && f[i] != '\n') ++i;
      continue;
    }
    std::string tok;
    while (i < f.size() && !isspace(f[i])) tok += char(f[i++]);
    if (fields > 0) v.push_back(std::atoi(tok.c_str()));
    ++fields;
  }
  ++i;
  W = v.size() > 0 ? v[0] : 0;
  H = v.size() > 1 ? v[1] : 0;
  return std::vector<uint8_t>(f.begin() + long(i), f.end());
}

class IOPreviews : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
    VXGetGlobalSettings()->SetIOPreviewsDialogWidth(0);
    VXGetGlobalSettings()->SetIOPreviewsDialogHeight(0);
    image_ = std::make_unique<TVXBitmap>();
    io_ = std::make_unique<TVexlaneIO>(nullptr);
    io_->SetAttachedVXBitmap(image_.get());
    ASSERT_TRUE(io_->LoadFromFile(kPhoto, -9));
    io_->SetSimplifiedParamsDialogs(false);
  }
  void TearDown() override {
    io_.reset();
    VXHeadless::SetPixelsPerInch(96);
    VXGetGlobalSettings()->SetIOPreviewsDialogWidth(0);
    VXGetGlobalSettings()->SetIOPreviewsDialogHeight(0);
    D::Reset();
    VXHeadless::Reset();
  }
  bool Open(TPreviewParams pp, std::function<void(TfIOPreviews*)> Script) {
    D::OnModal<TfIOPreviews>(Script);
    return io_->DoPreviews(pp);
  }
  void Lock() { io_->SetPreviewsParams(TIOPreviewsParams(1u << ioppDefaultLockPreview)); }
  TIOParamsVals& P() { return io_->Params(); }

  TVXLibraryGuard library_;
  std::unique_ptr<TVXBitmap> image_;
  std::unique_ptr<TVexlaneIO> io_;
};

// ---- the frame ----

TEST_F(IOPreviews, PageSetsAndTheOpeningPage) {
  P().SetFileType(3);
  EXPECT_TRUE(Open(ppAUTO, [](TfIOPreviews* F) {
    EXPECT_EQ(F->PageControl1->VisibleTabs(), std::vector<TTabSheet*>{F->TabSheetJPEG1});
    EXPECT_EQ(F->PageControl1->ActivePage(), F->TabSheetJPEG1);
    EXPECT_EQ(F->Caption(), "Parameters Preview");
    D::Click(F->btnOK);
  }));
  // An icon has no page: nothing is shown.
  P().SetFileType(6);
  EXPECT_FALSE(io_->DoPreviews(ppAUTO));
  EXPECT_EQ(D::PendingModalHandlers(), 0);

  P().SetFileType(8);
  Open(ppALL, [](TfIOPreviews* F) {
    EXPECT_EQ(F->PageControl1->VisibleTabs(),
              (std::vector<TTabSheet*>{F->TabSheetJPEG1, F->TabSheetTIFF1, F->TabSheetGIF1, F->TabSheetBMP1,
                                       F->TabSheetPCX1, F->TabSheetPNG1, F->TabSheetTGA1, F->TabSheetJ20001}));
    EXPECT_EQ(F->PageControl1->ActivePage(), F->TabSheetPNG1);
    D::Click(F->btnCancel);
  });
  // Simplified: the short pages stand for JPEG, TIFF and GIF.
  io_->SetSimplifiedParamsDialogs(true);
  P().SetFileType(1);
  Open(ppALL, [](TfIOPreviews* F) {
    EXPECT_EQ(F->PageControl1->VisibleTabs(),
              (std::vector<TTabSheet*>{F->TabSheetJPEG2, F->TabSheetTIFF2, F->TabSheetGIF2, F->TabSheetBMP1,
                                       F->TabSheetPCX1, F->TabSheetPNG1, F->TabSheetTGA1, F->TabSheetJ20001}));
    EXPECT_EQ(F->PageControl1->ActivePage(), F->TabSheetTIFF2);
    EXPECT_FALSE(F->GroupBox3->Visible());
    EXPECT_FALSE(F->ComboBox15->Visible());
    EXPECT_EQ(F->SizeLines[iopPNG].OriginalCaption->Top(), 61);
    EXPECT_EQ(F->SizeLines[iopPNG].CompressedValue->Top(), 77);
    D::Click(F->btnCancel);
  });
}

TEST_F(IOPreviews, LockedPreviewFollowsTheLastStepAfter750ms) {
  Lock();
  P().SetFileType(3);
  P().SetJPEG_Quality(80);
  Open(ppJPEG, [](TfIOPreviews* F) {
    EXPECT_TRUE(F->chkLockPreview->Checked());
    EXPECT_FALSE(F->btnPreview->Visible());
    const int before = F->PreviewCount;
    const std::string size = F->SizeLines[iopJPEG1].CompressedValue->Caption();
    EXPECT_NE(size, "---");
    for (int q : {70, 60, 50, 40, 30}) {
      D::Slide(F->TrackBar13, q);
      D::Advance(100);
    }
    EXPECT_EQ(F->JPEG_Quality, 30);
    EXPECT_EQ(F->Edit22->Text(), "30");
    D::Advance(649);  // 749 ms after the last step
    EXPECT_EQ(F->PreviewCount, before);
    EXPECT_EQ(F->SizeLines[iopJPEG1].CompressedValue->Caption(), size);
    D::Advance(1);
    EXPECT_EQ(F->PreviewCount, before + 1);
    EXPECT_NE(F->SizeLines[iopJPEG1].CompressedValue->Caption(), size);
    D::Advance(3000);
    EXPECT_EQ(F->PreviewCount, before + 1);
    D::Click(F->btnCancel);
  });
  EXPECT_EQ(P().JPEG_Quality(), 80);
}

TEST_F(IOPreviews, UnlockedPreviewWaitsForTheButton) {
  P().SetFileType(3);
  Open(ppJPEG, [](TfIOPreviews* F) {
    EXPECT_TRUE(F->btnPreview->Visible());
    const int before = F->PreviewCount;
    D::Slide(F->TrackBar13, 20);
    D::Advance(2000);
    EXPECT_EQ(F->PreviewCount, before);
    D::Click(F->btnPreview);
    EXPECT_EQ(F->PreviewCount, before + 1);
    // Locking computes at once and hides the button.
    D::Click(F->chkLockPreview);
    EXPECT_EQ(F->PreviewCount, before + 2);
    EXPECT_FALSE(F->btnPreview->Visible());
    D::Click(F->btnCancel);
  });
}

TEST_F(IOPreviews, LeavingAnEditedPageDiscardsItsEdits) {
  P().SetFileType(3);
  P().SetJPEG_Quality(65);
  Open(ppALL, [](TfIOPreviews* F) {
    D::Slide(F->TrackBar13, 20);
    EXPECT_TRUE(F->btnApply->Enabled());
    D::TabTo(F->PageControl1, F->TabSheetTIFF1);
    EXPECT_FALSE(F->btnApply->Enabled());
    D::TabTo(F->PageControl1, F->TabSheetJPEG1);
    EXPECT_EQ(F->TrackBar13->Position(), 65);
    EXPECT_EQ(F->Edit22->Text(), "65");
    EXPECT_EQ(F->JPEG_Quality, 65);
    D::Click(F->btnCancel);
  });
  EXPECT_EQ(P().JPEG_Quality(), 65);
}

TEST_F(IOPreviews, OkWritesOnlyTheActivePageAndItsFileType) {
  P().SetFileType(3);
  P().SetJPEG_Quality(65);
  P().SetGIF_Interlaced(false);
  EXPECT_TRUE(Open(ppALL, [](TfIOPreviews* F) {
    D::Slide(F->TrackBar13, 20);
    D::TabTo(F->PageControl1, F->TabSheetGIF1);
    D::Click(F->CheckBox5);
    D::Select(F->ComboBox5, 3);
    D::Click(F->btnOK);
  }));
  EXPECT_EQ(P().FileType(), 2);
  EXPECT_EQ(P().JPEG_Quality(), 65);
  EXPECT_TRUE(P().GIF_Interlaced());
  EXPECT_EQ(P().BitsPerSample(), 4);
}

TEST_F(IOPreviews, ApplyWritesWithoutClosingAndCancelKeepsIt) {
  io_->SetPreviewsParams(TIOPreviewsParams(1u << ioppApplyButton));
  P().SetFileType(3);
  P().SetJPEG_Quality(65);
  EXPECT_FALSE(Open(ppJPEG, [&](TfIOPreviews* F) {
    EXPECT_TRUE(F->btnApply->Visible());
    EXPECT_FALSE(F->btnApply->Enabled());
    D::Slide(F->TrackBar13, 33);
    D::Click(F->btnApply);
    EXPECT_FALSE(F->btnApply->Enabled());
    EXPECT_EQ(P().JPEG_Quality(), 33);
    D::Slide(F->TrackBar13, 44);
    D::Click(F->btnCancel);
  }));
  EXPECT_EQ(P().JPEG_Quality(), 33);
}

TEST_F(IOPreviews, SizeIsRememberedAndSimplifiedMinimumFollowsTheResolution) {
  P().SetFileType(3);
  Open(ppJPEG, [](TfIOPreviews* F) {
    EXPECT_EQ(F->ClientWidth(), 540);
    EXPECT_EQ(F->ClientHeight(), 420);
    D::ResizeForm(F, F->Width() + 100, F->Height() + 60);
    D::Click(F->btnCancel);
  });
  const int w = VXGetGlobalSettings()->IOPreviewsDialogWidth(), h = VXGetGlobalSettings()->IOPreviewsDialogHeight();
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  Open(ppJPEG, [&](TfIOPreviews* F) {
    EXPECT_EQ(F->ClientWidth(), w);
    EXPECT_EQ(F->ClientHeight(), h);
    // The layout follows the size.
    EXPECT_EQ(F->btnOK->Left(), w - 98);
    EXPECT_EQ(F->PageControl1->Width(), F->btnOK->Left() - 20);
    EXPECT_EQ(F->vxnPreview->Left() + F->vxnPreview->Width(), 10 + F->PageControl1->Width());
    EXPECT_EQ(F->chkLockPreview->Top(), h - 7 - F->chkLockPreview->Height());
    D::Click(F->btnCancel);
  });
  io_->SetSimplifiedParamsDialogs(true);
  for (auto [ppi, minimum] : {std::pair{96, 339}, std::pair{144, 508}}) {
    SCOPED_TRACE(ppi);
    VXHeadless::SetPixelsPerInch(ppi);
    VXGetGlobalSettings()->SetIOPreviewsDialogHeight(0);
    VXGetGlobalSettings()->SetIOPreviewsDialogWidth(0);
    Open(ppJPEG, [&](TfIOPreviews* F) {
      EXPECT_EQ(F->ClientHeight(), minimum);
      EXPECT_EQ(F->Constraints().MinHeight, minimum);
      D::Click(F->btnCancel);
    });
  }
}

TEST_F(IOPreviews, GlyphsOnlyWhenTheSettingsAskForThem) {
  for (bool glyphs : {false, true}) {
    VXGetGlobalSettings()->SetUseButtonGlyphsInDialogs(glyphs);
    P().SetFileType(3);
    Open(ppJPEG, [&](TfIOPreviews* F) {
      for (TBitBtn* b : {F->btnOK, F->btnCancel, F->btnPreview, F->btnApply}) {
        const bool has = b->Glyph() && b->Glyph()->Width() == 16 && b->Glyph()->Height() == 16;
        EXPECT_EQ(has, glyphs) << b->Name();
      }
      D::Click(F->btnCancel);
    });
  }
  VXGetGlobalSettings()->SetUseButtonGlyphsInDialogs(false);
}

// ---- the JPEG page against the codecs ----

TEST_F(IOPreviews, JpegPreviewIsWhatTheSaveDecodesTo) {
  P().SetFileType(3);
  P().SetJPEG_Quality(35);
  const std::string file = Scratch("q35.jpg");
  std::vector<uint8_t> shown;
  std::string size;
  Open(ppJPEG, [&](TfIOPreviews* F) {
    shown = RGBBytes(F->vxnPreview->GetVXBitmap());
    size = F->SizeLines[iopJPEG1].CompressedValue->Caption();
    D::Click(F->btnOK);
  });
  ASSERT_EQ(shown.size(), size_t(image_->Width()) * size_t(image_->Height()) * 3);
  io_->SaveToFile(file, P().FileType());
  EXPECT_EQ(size, VXFormatBytesKB(int64_t(ReadFile(file).size()), 102400));
  TVXBitmap decoded;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&decoded);
  ASSERT_TRUE(reader.LoadFromFile(file, -9));
  EXPECT_TRUE(RGBBytes(&decoded) == shown);
  if (HaveTool("/usr/bin/djpeg")) {
    const std::string ppm = Scratch("q35.ppm");
    Shell("/usr/bin/djpeg -outfile " + ppm + " " + file);
    int w = 0, h = 0;
    EXPECT_TRUE(PPMPixels(ppm, w, h) == shown);
    EXPECT_EQ(w, image_->Width());
    std::remove(ppm.c_str());
  }
  std::remove(file.c_str());
}

TEST_F(IOPreviews, ProgressIsSplitBetweenSaveAndLoadAndTheResultFollowsTheSource) {
  P().SetFileType(3);
  Open(ppJPEG, [](TfIOPreviews* F) {
    std::vector<std::pair<int, int>> seen;  // (view, bar position)
    for (int v : {0, 1}) {
      TVexlaneView* view = v == 0 ? F->vxnSource : F->vxnPreview;
      view->SetOnProgress([F, v, &seen](void*, int32_t per) {
        F->ViewProgress(per);
        EXPECT_TRUE(F->pbrPreview->Visible());
        seen.emplace_back(v, F->pbrPreview->Position());
      });
    }
    D::Click(F->btnPreview);
    ASSERT_FALSE(seen.empty());
    bool saving = false, loading = false;
    for (auto [view, pos] : seen) {
      if (view == 0) {  // the save fills the first half
        saving = true;
        EXPECT_LE(pos, 50);
      } else {  // the load the second
        loading = true;
        EXPECT_GE(pos, 50);
        EXPECT_LE(pos, 100);
      }
    }
    EXPECT_TRUE(saving);
    EXPECT_TRUE(loading);
    EXPECT_FALSE(F->pbrPreview->Visible());
    EXPECT_EQ(F->pbrPreview->Position(), 0);

    // Zooming and scrolling the source moves the result along.
    F->vxnSource->SetZoom(800);
    F->vxnSource->SetViewXY(20, 10);
    EXPECT_EQ(F->vxnPreview->Zoom(), 800);
    EXPECT_EQ(F->vxnPreview->ViewX(), F->vxnSource->ViewX());
    EXPECT_EQ(F->vxnPreview->ViewY(), F->vxnSource->ViewY());
    EXPECT_GT(F->vxnPreview->ViewX(), 0);
    D::Click(F->btnCancel);
  });
}

TEST_F(IOPreviews, DialogBackgroundsFillThePicture) {
  const uint8_t saved = VXDialogBackgroundKind;
  for (uint8_t kind : {0, 1, 2}) {
    SCOPED_TRACE(int(kind));
    VXDialogBackgroundKind = kind;
    P().SetFileType(3);
    Open(ppJPEG, [&](TfIOPreviews* F) {
      D::ResizeForm(F, F->Width() + 40, F->Height() + 20);
      TBitmap* picture = F->Image1->Picture()->Bitmap();
      if (kind == 0) {
        EXPECT_TRUE(picture->Empty());
      } else {
        EXPECT_EQ(picture->Width(), F->Image1->Width());
        EXPECT_EQ(picture->Height(), F->Image1->Height());
        if (kind == 1) {
          TBitmap expected;
          VXFillStripesBitmap(&expected, F->Image1->Width(), F->Image1->Height());
          for (auto [x, y] : {std::pair{0, 0}, std::pair{5, 3}, std::pair{100, 77}})
            EXPECT_EQ(picture->Canvas()->Pixels(x, y), expected.Canvas()->Pixels(x, y));
        } else {  // brushed metal: grey grain, never one flat colour
          bool varies = false;
          for (int x = 1; x < 50; ++x) varies |= picture->Canvas()->Pixels(x, 10) != picture->Canvas()->Pixels(0, 10);
          EXPECT_TRUE(varies);
        }
      }
      D::Click(F->btnCancel);
    });
  }
  VXDialogBackgroundKind = saved;
}

}  // namespace
