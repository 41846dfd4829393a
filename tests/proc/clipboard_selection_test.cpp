// The processing component's selection and point pastes, copies and cuts
// through the clipboard, against the fake viewer host.
#include <gtest/gtest.h>

#include <cstring>

#include "core/bitmap.h"
#include "core/dib.h"
#include "core/mask.h"
#include "core/startup.h"
#include "fake_viewhost.h"
#include "proc/proc.h"
#include "winui/win_clipboard.h"

namespace {

constexpr TRGB kRed{0, 0, 255}, kBlue{255, 0, 0}, kGreen{0, 255, 0}, kGrey{128, 128, 128};

void Clear() {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
}

void Paint(TVXBitmap& b, int32_t w, int32_t h, TRGB c) {
  ASSERT_TRUE(b.Allocate(w, h, vx24RGB));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b.SetPixels(x, y, c);
}

// Copies Source (with its raw dump when Raw) through a component of its own.
void CopyToClipboard(TVXBitmap& Source, bool Raw) {
  ASSERT_TRUE(TVexlaneProc::CreateFromBitmap(&Source)->CopyToClipboard(Raw));
}

// Counts the pixels of Image inside (x1, y1)-(x2, y2), corners included,
// that have colour C, and those outside that have it.
void CountColour(TVXBitmap* Image, TRGB C, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int& In, int& Out) {
  In = Out = 0;
  for (int32_t y = 0; y < Image->Height(); ++y)
    for (int32_t x = 0; x < Image->Width(); ++x)
      if (Image->Pixels(x, y) == C) (x >= x1 && x <= x2 && y >= y1 && y <= y2 ? In : Out)++;
}

struct ClipboardSelectionTest : ::testing::Test {
  void SetUp() override {
    Clear();
    Paint(*host.Image(), 20, 20, kBlue);
    proc.SetAttachedVexlane(&host);
    proc.SetUndoLimit(10);
  }
  void TearDown() override {
    proc.SetAttachedVexlane(nullptr);
    Clear();
  }
  TVXLibraryGuard library;  // registers the raw format
  TFakeViewHost host;
  TComponent owner;
  TVexlaneProc proc{&owner};
};

TEST_F(ClipboardSelectionTest, PointPasteConvertsThePointAndMergesAlpha) {
  TVXBitmap clip;
  Paint(clip, 4, 4, kRed);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 4; ++x) clip.SetAlpha(x, y, x < 2 ? 255 : 0);  // left half opaque
  CopyToClipboard(clip, true);
  host.selectionBase = vxsbClientArea;
  host.zoom = 200;
  host.scrOffsetX = host.scrOffsetY = 10;
  proc.PointPasteFromClip(20, 22, true);  // bitmap (5, 6)
  EXPECT_EQ(proc.GetUndoCaptions(0), "PointPasteFromClip 5, 6");
  int in = 0, out = 0;
  CountColour(host.Image(), kRed, 5, 6, 6, 9, in, out);
  EXPECT_EQ(in, 8);
  EXPECT_EQ(out, 0);

  // Bitmap coordinates, the whole image, partly outside the picture.
  host.selectionBase = vxsbBitmap;
  proc.PointPasteFromClip(18, 17, false);
  EXPECT_EQ(proc.GetUndoCaptions(0), "PointPasteFromClip 18, 17");
  CountColour(host.Image(), kRed, 18, 17, 19, 19, in, out);
  EXPECT_EQ(in, 6);
  EXPECT_EQ(out, 8);

  // A DIB (no alpha) at a negative point.
  Paint(clip, 3, 3, kGreen);
  CopyToClipboard(clip, false);
  proc.PointPasteFromClip(-1, -1, true);
  CountColour(host.Image(), kGreen, 0, 0, 1, 1, in, out);
  EXPECT_EQ(in, 4);
  EXPECT_EQ(out, 0);
}

TEST_F(ClipboardSelectionTest, SelectionPastesFitAndStretch) {
  TVXMask* m = host.NewMask(1);
  m->SetRectangle(2, 2, 11, 11, 1);
  m->SyncRect();
  struct Case {
    int32_t W, H;
    bool Raw, Fit, Stretch;
    int32_t X2, Y2;  // the changed box, from (2, 2)
    const char* Caption;
  } cases[] = {
      {3, 2, true, true, false, 4, 3, "SelPasteFromClip"},      // smaller: never enlarged
      {20, 10, true, true, false, 11, 6, "SelPasteFromClip"},   // shrunk to 10 x 5
      {3, 2, false, true, false, 4, 3, "SelPasteFromClip"},     // the DIB path
      {3, 2, true, false, false, 11, 11, "SelPasteFromClip"},   // no fitting: the box
      {3, 2, false, false, true, 11, 11, "SelPasteFromClipStretch"},
      {3, 2, true, false, true, 11, 11, "SelPasteFromClipStretch"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + (c.Raw ? " raw" : " dib") + c.Caption);
    Paint(*host.Image(), 20, 20, kBlue);
    TVXBitmap clip;
    Paint(clip, c.W, c.H, kGreen);
    CopyToClipboard(clip, c.Raw);
    if (c.Stretch)
      proc.SelPasteFromClipStretch(false);
    else
      proc.SelPasteFromClip(false, c.Fit);
    EXPECT_EQ(proc.GetUndoCaptions(0), c.Caption);
    int in = 0, out = 0;
    CountColour(host.Image(), kGreen, 2, 2, c.X2, c.Y2, in, out);
    EXPECT_EQ(in, (c.X2 - 1) * (c.Y2 - 1));
    EXPECT_EQ(out, 0);
  }
  EXPECT_EQ(m->X1(), 2);  // the selection itself is left alone
  EXPECT_EQ(m->X2(), 11);
}

TEST_F(ClipboardSelectionTest, CopyAndCutAnEllipse) {
  Paint(*host.Image(), 20, 20, kRed);
  host.Image()->AlphaChannel()->Fill(255);
  host.background = 0x808080;  // kGrey
  TVXMask* m = host.NewMask(1);
  m->SetEllipse(10, 10, 12, 8, 1);
  m->SyncRect();
  const int32_t bx1 = m->X1(), by1 = m->Y1(), bx2 = m->X2(), by2 = m->Y2();
  ASSERT_TRUE(proc.SelCopyToClip(true));
  ASSERT_TRUE(OpenClipboard(nullptr));
  TVXBitmap dib;
  ASSERT_NE(VXCopyDIBToBitmap(static_cast<HGLOBAL>(GetClipboardData(CF_DIB)), &dib), 0);
  EXPECT_NE(GetClipboardData(VXRawClipboardFormat()), nullptr);
  CloseClipboard();
  ASSERT_EQ(dib.Width(), bx2 - bx1 + 1);
  ASSERT_EQ(dib.Height(), by2 - by1 + 1);
  for (int32_t y = 0; y < dib.Height(); ++y)
    for (int32_t x = 0; x < dib.Width(); ++x)
      ASSERT_EQ(dib.Pixels(x, y), m->GetPixel(bx1 + x, by1 + y) ? kRed : kGrey) << x << "," << y;

  // The cut clears the ellipse and its alpha; the rest stays.
  const int undo = proc.UndoCount();
  ASSERT_TRUE(proc.SelCutToClip(false, true));
  EXPECT_EQ(proc.UndoCount(), undo + 1);
  EXPECT_EQ(proc.GetUndoCaptions(0), "SelCutToClip");
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const bool sel = m->GetPixel(x, y) != 0;
      ASSERT_EQ(host.Image()->Pixels(x, y), sel ? kGrey : kRed) << x << "," << y;
      ASSERT_EQ(host.Image()->Alpha(x, y), sel ? 0 : 255) << x << "," << y;
    }
  EXPECT_FALSE(host.Image()->AlphaChannel()->Full());

  // Without a selection the cut does nothing.
  host.mask.reset();
  host.selected = false;
  Clear();
  TVXBitmap before(host.Image());
  EXPECT_FALSE(proc.SelCutToClip(true, true));
  EXPECT_EQ(proc.UndoCount(), undo + 1);
  EXPECT_EQ(CountClipboardFormats(), 0);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(host.Image()->Pixels(x, y), before.Pixels(x, y));
}

}  // namespace
