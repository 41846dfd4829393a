// The processing preview dialog's FFT page, opened through DoPreviews and
// driven like a person: the sizes of the reduced copy and the spectrum, the
// preview forth and back, the spectrum against numpy, removing a stripe
// pattern in the preview and in the committed image, the stored selection,
// the log line, and the committed image against the transform applied
// directly.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "dialogs/previews.h"
#include "gui/formdriver.h"
#include "proc/dialogparams.h"
#include "proc/ftimage.h"
#include "proc/proc.h"
#include "view/vexlaneview.h"
#include "winui/headless.h"

namespace {

namespace D = VXFormDriver;

constexpr double kPi = 3.14159265358979323846;

// A noisy picture with a white block (so that the copy holds 255 in every
// channel).
std::unique_ptr<TVXBitmap> Picture(int32_t w, int32_t h, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const bool white = x >= w / 4 && x < w / 4 + 16 && y >= h / 4 && y < h / 4 + 16;
      for (int c = 0; c < 3; ++c) row[3 * x + c] = white ? 255 : uint8_t(30 + c * 40 + rng() % 90);
    }
  }
  return b;
}

// Vertical stripes of Cycles periods across the width over a vertical ramp,
// the same in all three channels.
std::unique_ptr<TVXBitmap> Stripes(int32_t w, int32_t h, int Cycles) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const double v = 110 + 60.0 * y / h + 50 * std::sin(2 * kPi * Cycles * x / w);
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = uint8_t(std::lround(v));
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

int Grey(const uint8_t* px) {
  const TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  return (px[2] * s->RedToGrayCoef() + px[1] * s->GreenToGrayCoef() + px[0] * s->BlueToGrayCoef()) / 100;
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

bool HaveNumpy() { return Output("/usr/bin/python3 -c 'import numpy; print(1)' 2>/dev/null") == "1\n"; }

// A scratch folder removed with the object.
struct TScratch {
  std::string dir;
  TScratch() {
    const char* t = std::getenv("TMPDIR");
    std::string tmpl = std::string(t && *t ? t : "/tmp") + "/vxfftXXXXXX";
    if (mkdtemp(tmpl.data())) dir = tmpl;
  }
  ~TScratch() {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  // Writes the bitmap's rows (BGR, top first) and answers the file's name.
  std::string Dump(TVXBitmap* b, const std::string& name) {
    const std::string path = dir + "/" + name;
    const std::vector<uint8_t> bytes = Bytes(b);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
};

// The stripes' amplitude at Cycles periods across, relative to the mean, of
// the first channel of a W x H dump, measured by numpy.
double StripeAmplitude(const std::string& File, int32_t W, int32_t H, int Cycles) {
  const std::string script =
      "import numpy as np\n"
      "g = np.fromfile('" + File + "', dtype=np.uint8).reshape(" + std::to_string(H) + ", " + std::to_string(W) +
      ", 3)[:, :, 0].astype(float)\n"
      "x = np.arange(" + std::to_string(W) + ")\n"
      "a = abs(((g - g.mean()) * np.exp(-2j * np.pi * " + std::to_string(Cycles) + " * x / " + std::to_string(W) +
      ")).sum()) * 2 / g.size\n"
      "print(a / g.mean())\n";
  const std::string out = Output("/usr/bin/python3 -c \"" + script + "\"");
  return out.empty() ? -1 : std::stod(out);
}

// The reduced copy the page transforms.
std::unique_ptr<TVXBitmap> Copy(TfPreviews* F) {
  auto copy = std::make_unique<TVXBitmap>();
  F->Vexlane1->Proc()->ResampleTo(copy.get(), F->FFTNewWidth, F->FFTNewHeight,
                                  VXGetGlobalSettings()->DefaultResampleFilter(), false);
  return copy;
}

class PreviewsFFT : public ::testing::Test {
 protected:
  void SetUp() override {
    VXHeadless::Reset();
    VXHeadless::SetClock(0);
    D::Reset();
    UseImage(Picture(200, 100, 3));
  }
  void TearDown() override {
    proc_.reset();
    D::Reset();
    VXHeadless::Reset();
  }
  // A new image under the same processing component (its dialog parameters
  // stay).
  void UseImage(std::unique_ptr<TVXBitmap> image) {
    image_ = std::move(image);
    if (!proc_) {
      proc_ = std::make_unique<TVexlaneProc>(nullptr);
      proc_->SetAutoUndo(true);
      proc_->SetUndoLocation(vxMemory);
    }
    proc_->SetAttachedVXBitmap(image_.get());
  }
  bool Open(std::function<void(TfPreviews*)> Script) {
    D::OnModal<TfPreviews>(Script);
    return proc_->DoPreviews(VXPreviewEffect(peFFT));
  }
  TIPDialogParams* P() { return proc_->IPDialogParams(); }

  TVXLibraryGuard library_;
  std::unique_ptr<TVXBitmap> image_;
  std::unique_ptr<TVexlaneProc> proc_;
};

// ---- sizes ----

TEST_F(PreviewsFFT, CopyAndSpectrumSizes) {
  struct TCase {
    int32_t W, H, CopyW, CopyH, S;
  };
  for (const TCase& c : {TCase{3000, 2000, 1000, 666, 1024}, TCase{200, 100, 128, 64, 128},
                         TCase{90, 300, 38, 128, 128}}) {
    UseImage(std::make_unique<TVXBitmap>(c.W, c.H, vx24RGB));
    bool shown = false;
    Open([&](TfPreviews* F) {
      shown = true;
      EXPECT_EQ(F->Caption(), "FFT");
      EXPECT_EQ(F->FFTNewWidth, c.CopyW) << c.W;
      EXPECT_EQ(F->FFTNewHeight, c.CopyH) << c.W;
      EXPECT_EQ(F->FFTSize, c.S) << c.W;
      EXPECT_EQ(F->FTImage->FFTN(), c.S);
      EXPECT_EQ(F->VexlaneView1->GetVXBitmap()->Width(), c.S);
      EXPECT_EQ(F->VexlaneView1->GetVXBitmap()->Height(), c.S);
      // The preview is the copy transformed back.
      EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Width(), c.CopyW);
      EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Height(), c.CopyH);
      EXPECT_FALSE(F->pbrFFT->Visible());
      D::Click(F->CancelButton);
    });
    EXPECT_TRUE(shown);
  }
}

// ---- the preview ----

TEST_F(PreviewsFFT, WithoutSelectionClearShowsTheCopyForthAndBack) {
  EXPECT_FALSE(Open([](TfPreviews* F) {
    EXPECT_TRUE(F->CheckBox1->Checked());
    EXPECT_EQ(F->CheckBox1->Caption(), "Gray scale");
    auto copy = Copy(F);
    D::Click(F->Clear);
    TVXBitmap* preview = F->Vexlane2->GetVXBitmap();
    ASSERT_EQ(preview->Width(), copy->Width());
    ASSERT_EQ(preview->Height(), copy->Height());
    int worst = 0;
    for (int32_t y = 0; y < copy->Height(); ++y) {
      const uint8_t* a = static_cast<const uint8_t*>(preview->ScanLine(y));
      const uint8_t* b = static_cast<const uint8_t*>(copy->ScanLine(y));
      for (int32_t x = 0; x < copy->Width(); ++x) {
        EXPECT_TRUE(a[3 * x] == a[3 * x + 1] && a[3 * x] == a[3 * x + 2]);
        worst = std::max(worst, std::abs(a[3 * x] - Grey(b + 3 * x)));
      }
    }
    EXPECT_LE(worst, 1);
    // Unticked: the transform is rebuilt per channel and the preview turns
    // to colour.
    D::Click(F->CheckBox1);
    EXPECT_EQ(F->FTImage->ImageType(), vxitRGB);
    preview = F->Vexlane2->GetVXBitmap();
    worst = 0;
    int coloured = 0;
    for (int32_t y = 0; y < copy->Height(); ++y) {
      const uint8_t* a = static_cast<const uint8_t*>(preview->ScanLine(y));
      const uint8_t* b = static_cast<const uint8_t*>(copy->ScanLine(y));
      for (int32_t x = 0; x < 3 * copy->Width(); ++x) worst = std::max(worst, std::abs(a[x] - b[x]));
      for (int32_t x = 0; x < copy->Width(); ++x) coloured += a[3 * x] != a[3 * x + 2];
    }
    EXPECT_LE(worst, 1);
    EXPECT_GT(coloured, copy->Width() * copy->Height() / 2);
    D::Click(F->CancelButton);
  }));
  // Cancel kept the image and stored nothing.
  EXPECT_TRUE(P()->FFT_GrayScale);
  EXPECT_TRUE(proc_->PreviewsLog().empty());
}

TEST_F(PreviewsFFT, SpectrumAgreesWithNumpy) {
  if (!HaveNumpy()) GTEST_SKIP() << "numpy is not installed";
  TScratch scratch;
  ASSERT_FALSE(scratch.dir.empty());
  std::string copyFile, spectrumFile;
  int32_t cw = 0, ch = 0, s = 0;
  Open([&](TfPreviews* F) {
    auto copy = Copy(F);
    cw = copy->Width();
    ch = copy->Height();
    s = F->FFTSize;
    copyFile = scratch.Dump(copy.get(), "copy.raw");
    spectrumFile = scratch.Dump(F->VexlaneView1->GetVXBitmap(), "spectrum.raw");
    D::Click(F->CancelButton);
  });
  ASSERT_EQ(s, 128);
  const TVXVexlaneGlobalSettings* st = VXGetGlobalSettings();
  // The grey plane centred on the grid, its spectrum with the zero
  // frequency in the middle, ln sqrt |z| stretched to 0..255.
  const std::string script =
      "import numpy as np\n"
      "c = np.fromfile('" + copyFile + "', dtype=np.uint8).reshape(" + std::to_string(ch) + ", " +
      std::to_string(cw) + ", 3).astype(np.int64)\n"
      "g = (c[:, :, 2] * " + std::to_string(st->RedToGrayCoef()) + " + c[:, :, 1] * " +
      std::to_string(st->GreenToGrayCoef()) + " + c[:, :, 0] * " + std::to_string(st->BlueToGrayCoef()) +
      ") // 100\n"
      "n = " + std::to_string(s) + "\n"
      "p = np.zeros((n, n))\n"
      "oy, ox = (n - g.shape[0]) // 2, (n - g.shape[1]) // 2\n"
      "p[oy:oy + g.shape[0], ox:ox + g.shape[1]] = g\n"
      "m = abs(np.fft.fftshift(np.fft.fft2(p)))\n"
      "l = np.where(m == 0, 0, np.log(np.sqrt(np.where(m == 0, 1, m))))\n"
      "e = np.floor((l - l.min()) * 255 / (l.max() - l.min()))\n"
      "ours = np.fromfile('" + spectrumFile + "', dtype=np.uint8).reshape(n, n, 3)[:, :, 0]\n"
      "d = abs(ours - e)\n"
      "print(int(d.max()), int((d > 1).sum()))\n";
  const std::string out = Output("/usr/bin/python3 -c \"" + script + "\"");
  int maxDiff = -1, over = -1;
  ASSERT_EQ(std::sscanf(out.c_str(), "%d %d", &maxDiff, &over), 2) << out;
  EXPECT_LE(maxDiff, 2);
  EXPECT_LE(over, s * s / 1000);
}

// ---- clearing selected frequencies ----

TEST_F(PreviewsFFT, SelectionOverThePeaksRemovesStripes) {
  if (!HaveNumpy()) GTEST_SKIP() << "numpy is not installed";
  // 384 x 384: the copy is 128 x 128 in a 128 grid (24 cycles sit 24 cells
  // from the centre), the full image lies in a 512 grid (32 cells away).
  constexpr int kCycles = 24;
  UseImage(Stripes(384, 384, kCycles));
  auto before = std::make_unique<TVXBitmap>(image_.get());
  TScratch scratch;
  ASSERT_FALSE(scratch.dir.empty());
  const double original = StripeAmplitude(scratch.Dump(before.get(), "before.raw"), 384, 384, kCycles);
  ASSERT_GT(original, 0.2);
  TVXMask selection;
  double previewAmplitude = -1, previewBefore = -1;
  EXPECT_TRUE(Open([&](TfPreviews* F) {
    ASSERT_EQ(F->FFTSize, 128);
    previewBefore = StripeAmplitude(scratch.Dump(F->Vexlane2->GetVXBitmap(), "p0.raw"), 128, 128, kCycles);
    const int peak = static_cast<const uint8_t*>(F->VexlaneView1->GetVXBitmap()->ScanLine(64))[3 * (64 + kCycles)];
    // Both peaks, on the row through the centre.
    F->VexlaneView1->Select(64 + kCycles - 6, 61, 64 + kCycles + 7, 68, vxspReplace);
    F->VexlaneView1->Select(64 - kCycles - 6, 61, 64 - kCycles + 7, 68, vxspAdd);
    // Selecting alone asks for no preview.
    EXPECT_NEAR(StripeAmplitude(scratch.Dump(F->Vexlane2->GetVXBitmap(), "p1.raw"), 128, 128, kCycles),
                previewBefore, 1e-9);
    D::Click(F->Clear);
    previewAmplitude = StripeAmplitude(scratch.Dump(F->Vexlane2->GetVXBitmap(), "p2.raw"), 128, 128, kCycles);
    // The spectrum viewer shows the cleared cells (at the level of a zero
    // coefficient, below the peak's) and keeps the selection.
    EXPECT_TRUE(F->VexlaneView1->Selected());
    const uint8_t* row = static_cast<const uint8_t*>(F->VexlaneView1->GetVXBitmap()->ScanLine(64));
    EXPECT_LT(row[3 * (64 + kCycles)], peak);
    EXPECT_EQ(row[3 * (64 + kCycles)], row[3 * (64 - kCycles)]);
    EXPECT_EQ(row[3 * 64], 255);
    selection.Assign(F->VexlaneView1->SelectionMask());
    D::Click(F->OkButton);
  }));
  EXPECT_GT(previewBefore, 0.2);
  EXPECT_LT(previewAmplitude, previewBefore / 20);
  const double after = StripeAmplitude(scratch.Dump(image_.get(), "after.raw"), 384, 384, kCycles);
  EXPECT_LT(after, original / 20);
  // The ramp stays: the bottom is brighter than the top.
  EXPECT_GT(Grey(static_cast<const uint8_t*>(image_->ScanLine(380)) + 3 * 100),
            Grey(static_cast<const uint8_t*>(image_->ScanLine(3)) + 3 * 100) + 20);
  // The committed image is the full transform with the carried selection.
  TVXFtImage ft;
  ft.BuildFT(before.get(), vxitGrayscale);
  ASSERT_EQ(ft.FFTN(), 512);
  auto full = VXCarryFFTSelection(&selection, 128, 128, 128, 512, 384, 384);
  ft.ClearZone(full.get(), 0, 0);
  TVXBitmap expected;
  ft.BuildBitmap(&expected);
  ASSERT_EQ(image_->Width(), 384);
  EXPECT_TRUE(Bytes(image_.get()) == Bytes(&expected));
  EXPECT_EQ(proc_->GetUndoCaptions(0), "FFT");
  EXPECT_EQ(proc_->PreviewsLog(), std::vector<std::string>{"FFT  GRAYSCALE  (" + std::to_string(selection.X1()) +
                                                              "," + std::to_string(selection.Y1()) + "," +
                                                              std::to_string(selection.X2()) + "," +
                                                              std::to_string(selection.Y2()) + ")"});
  EXPECT_EQ(selection.X1(), 64 - kCycles - 6);
  EXPECT_EQ(selection.Y1(), 61);
}

TEST_F(PreviewsFFT, CarriedSelectionCoversTheSameFrequencies) {
  // Offsets from the centre scale by N * copy / (S * source): one cell stays
  // one cell at a factor of 1, and covers every cell its band overlaps
  // beyond that.
  struct TCase {
    int32_t S, Copy, N, Source, Cell;  // a selected cell Cell, offset from S / 2
    std::vector<int32_t> Expected;      // the selected target offsets from N / 2
  };
  for (const TCase& c : {TCase{8, 8, 8, 8, 1, {1}}, TCase{8, 8, 16, 8, 1, {1, 2, 3}},
                         TCase{8, 8, 16, 8, -2, {-5, -4, -3}}, TCase{16, 8, 16, 8, 3, {3}},
                         TCase{128, 128, 512, 384, 24, {31, 32, 33}}}) {
    TVXMask m;
    m.AllocateBits(c.S, c.S, 1);
    m.SetPixel(c.S / 2 + c.Cell, c.S / 2, 1);
    auto out = VXCarryFFTSelection(&m, c.S, c.Copy, c.Copy, c.N, c.Source, c.Source);
    ASSERT_EQ(out->Width(), c.N);
    std::vector<int32_t> across, down;
    for (int32_t y = 0; y < c.N; ++y)
      for (int32_t x = 0; x < c.N; ++x)
        if (out->GetPixel(x, y) > 0) {
          if (y == c.N / 2) across.push_back(x - c.N / 2);
          down.push_back(y - c.N / 2);
        }
    EXPECT_EQ(across, c.Expected) << c.N << " " << c.Cell;
    // Down, the centre row's band covers the rows around it at factors
    // above 1.
    for (int32_t d : down) EXPECT_LE(std::abs(d), 1);
  }
  // No selection: an empty mask of the full grid.
  TVXMask empty;
  empty.AllocateBits(8, 8, 1);
  auto none = VXCarryFFTSelection(&empty, 8, 8, 8, 16, 8, 8);
  EXPECT_TRUE(none->IsEmpty());
  EXPECT_EQ(none->Width(), 16);
}

// ---- stored values ----

TEST_F(PreviewsFFT, StoredSelectionReturnsRescaled) {
  EXPECT_TRUE(Open([](TfPreviews* F) {
    F->VexlaneView1->Select(70, 60, 80, 68, vxspReplace);
    D::Click(F->CheckBox1);
    D::Click(F->OkButton);
  }));
  EXPECT_FALSE(P()->FFT_GrayScale);
  EXPECT_EQ(P()->FFT_Left(), 70);
  EXPECT_EQ(P()->FFT_Top(), 60);
  EXPECT_GT(P()->FFT_Selection()->Size(), 0);
  const int32_t right = P()->FFT_Right(), bottom = P()->FFT_Bottom();
  EXPECT_EQ(proc_->PreviewsLog().size(), 1u);
  EXPECT_EQ(proc_->PreviewsLog()[0].rfind("FFT  RGB  (70,60,", 0), 0u) << proc_->PreviewsLog()[0];
  // The same size: the same selection, "Gray scale" as stored.
  UseImage(Picture(200, 100, 4));
  Open([&](TfPreviews* F) {
    EXPECT_FALSE(F->CheckBox1->Checked());
    ASSERT_TRUE(F->VexlaneView1->Selected());
    EXPECT_EQ(F->VexlaneView1->SelX1(), 70);
    EXPECT_EQ(F->VexlaneView1->SelY1(), 60);
    EXPECT_EQ(F->VexlaneView1->SelX2(), right);
    D::Click(F->CancelButton);
  });
  // Twice as large: the spectrum viewer is 256 wide and the selection
  // follows.
  UseImage(Picture(600, 300, 5));
  Open([&](TfPreviews* F) {
    ASSERT_EQ(F->FFTSize, 256);
    ASSERT_TRUE(F->VexlaneView1->Selected());
    EXPECT_EQ(F->VexlaneView1->SelX1(), 140);
    EXPECT_EQ(F->VexlaneView1->SelY1(), 120);
    EXPECT_NEAR(F->VexlaneView1->SelY2(), 2 * bottom, 2);
    // Reset removes the selection.
    D::Click(F->Button7);
    EXPECT_FALSE(F->VexlaneView1->Selected());
    D::Click(F->OkButton);
  });
  EXPECT_EQ(P()->FFT_Left(), -1);
  EXPECT_EQ(P()->FFT_Bottom(), -1);
  EXPECT_EQ(P()->FFT_Selection()->Size(), 0);
}

TEST_F(PreviewsFFT, StoredRectangleWithoutStreamAndDamagedStream) {
  // The rectangle alone (its setters empty the stream) is selected; a
  // damaged stream gives way to the rectangle beside it.
  for (bool damaged : {false, true}) {
    P()->SetFFT_Left(10);
    P()->SetFFT_Top(20);
    P()->SetFFT_Right(30);
    P()->SetFFT_Bottom(40);
    if (damaged) P()->FFT_Selection()->Write("garbage!garbage!garbage!", 24);
    Open([](TfPreviews* F) {
      ASSERT_TRUE(F->VexlaneView1->Selected());
      EXPECT_EQ(F->VexlaneView1->SelX1(), 10);
      EXPECT_EQ(F->VexlaneView1->SelY1(), 20);
      D::Click(F->CancelButton);
    });
  }
}

}  // namespace

namespace {

// A full transform beyond the library's limits: OK reports the failure and
// keeps the dialog open, with the image, the log and the stored values as
// they were; the preview's transform stays usable.
TEST_F(PreviewsFFT, FullTransformTooLargeKeepsTheDialogOpen) {
  UseImage(Stripes(384, 384, 24));
  auto before = std::make_unique<TVXBitmap>(image_.get());
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int64_t limit = settings->MaxImagePixels();
  settings->SetMaxImagePixels(400 * 400);  // the image fits, its 512 x 512 grid does not
  std::string error;
  EXPECT_FALSE(Open([&](TfPreviews* F) {
    F->VexlaneView1->Select(80, 60, 96, 68, vxspReplace);
    try {
      D::Click(F->OkButton);
    } catch (const EVXException& e) {
      error = e.what();
    }
    EXPECT_EQ(F->ModalResult(), mrNone);
    EXPECT_EQ(F->FTImage->FFTN(), 128);
    D::Click(F->Clear);
    EXPECT_EQ(F->Vexlane2->GetVXBitmap()->Width(), 128);
    D::Click(F->CancelButton);
  }));
  settings->SetMaxImagePixels(limit);
  EXPECT_EQ(error, "Image too large: 512 x 512 pixels");
  EXPECT_TRUE(Bytes(image_.get()) == Bytes(before.get()));
  EXPECT_TRUE(proc_->PreviewsLog().empty());
  EXPECT_EQ(P()->FFT_Left(), -1);
  EXPECT_EQ(proc_->UndoCount(), 0);
}

}  // namespace
