// TVexlaneProc attached to a viewer: selections, the merge through the mask,
// the viewer's refresh and lifetime, and the selection-based edits.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/mask.h"
#include "fake_viewhost.h"
#include "proc/proc.h"
#include "core/rowops.h"

namespace {

// A 24 x 18 vx24RGB picture with distinct channels.
void FillPicture(TVXBitmap* b, int32_t w = 24, int32_t h = 18) {
  ASSERT_TRUE(b->Allocate(w, h, vx24RGB));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 10 + y), uint8_t(200 - y * 7), uint8_t((x * 37 + y * 11) & 255)});
}

// The host with the picture and an elliptical 8-bit selection whose inner
// pixels are fully selected, plus a few partial values.
struct Viewer {
  TFakeViewHost host;
  TVexlaneProc proc;
  std::unique_ptr<TVXBitmap> before;
  Viewer() {
    FillPicture(host.Image());
    TVXMask* m = host.NewMask(8);
    m->SetEllipse(12, 9, 16, 12, 255);
    m->SetPixel(12, 9, 128);
    m->SetPixel(13, 9, 64);
    m->SyncRect();
    host.Image()->SetPixels_vx24RGB(12, 9, TRGB{0, 255, 0});
    before = std::make_unique<TVXBitmap>(host.Image());
    proc.SetAttachedVexlane(&host);
    host.log.clear();
  }
};

int32_t Blend(int32_t d, int32_t s, int32_t m) { return d + ((s - d) * m >> 8); }

TEST(ProcSelection, NegativeChangesOnlySelectedPixelsAndBlends) {
  Viewer v;
  ASSERT_EQ(v.proc.AttachedVXBitmap(), v.host.Image());
  v.proc.Negative();
  const TVXMask* m = v.host.mask.get();
  int changed = 0;
  for (int32_t y = 0; y < 18; ++y)
    for (int32_t x = 0; x < 24; ++x) {
      const TRGB d = v.before->Pixels_vx24RGB(x, y), r = v.host.Image()->Pixels_vx24RGB(x, y);
      const int32_t mv = m->GetPixel(x, y);
      const TRGB want{uint8_t(Blend(d.b, 255 - d.b, mv)), uint8_t(Blend(d.g, 255 - d.g, mv)),
                      uint8_t(Blend(d.r, 255 - d.r, mv))};
      ASSERT_EQ(r, mv ? want : d) << x << "," << y << " mask " << mv;
      changed += !(r == d);
    }
  EXPECT_GT(changed, 100);
  // At mask 128 both 0 and 255 become 127.
  EXPECT_EQ(v.host.Image()->Pixels_vx24RGB(12, 9), (TRGB{127, 127, 127}));
  EXPECT_EQ(v.host.Count("Update"), 1);
  EXPECT_EQ(v.host.Count("ImageChange"), 1);
}

TEST(ProcSelection, AlphaChannelOfTheSelectionCopy) {
  // An all-opaque copy leaves the attached alpha channel as it was, Full
  // mark included.
  {
    Viewer v;
    v.host.Image()->AlphaChannel()->SyncFull();
    ASSERT_TRUE(v.host.Image()->AlphaChannel()->Full());
    v.proc.Negative();
    EXPECT_TRUE(v.host.Image()->AlphaChannel()->Full());
  }
  // A transparent corner is merged back only inside the selection: rounding
  // the selection's box clears alpha where the mask selects it.
  {
    Viewer v;
    v.host.Image()->AlphaChannel();
    v.proc.RoundImage(6, 6);
    TVXBitmap* a = v.host.Image()->AlphaChannelOpt();
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->Full());
    const TVXMask* m = v.host.mask.get();
    for (int32_t y = 0; y < 18; ++y)
      for (int32_t x = 0; x < 24; ++x)
        if (m->GetPixel(x, y) == 0) {
          ASSERT_EQ(a->Pixels_vx8(x, y), 255) << x << "," << y;
        }
    // The box's top corners are inside the ellipse's mask only where it
    // selects them; the centre stays opaque.
    EXPECT_EQ(a->Pixels_vx8(12, 9), 255);
  }
}

TEST(ProcSelection, GetReSelAndAnalysisCopy) {
  Viewer v;
  v.host.poly = {{4, 3}, {20, 3}, {12, 15}};
  int32_t x1, y1, x2, y2, count;
  const TPoint* poly;
  TVXMask* mask;
  EXPECT_TRUE(v.proc.GetReSel(x1, y1, x2, y2, poly, count, mask));
  EXPECT_EQ(mask, v.host.mask.get());
  EXPECT_EQ((TRect{x1, y1, x2, y2}), (TRect{mask->X1(), mask->Y1(), mask->X2() + 1, mask->Y2() + 1}));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(poly, v.host.poly.data());
  // The selection flag off: the whole image, the mask still handed out.
  v.host.selected = false;
  EXPECT_FALSE(v.proc.GetReSel(x1, y1, x2, y2, poly, count, mask));
  EXPECT_EQ((TRect{x1, y1, x2, y2}), (TRect{0, 0, 24, 18}));
  EXPECT_EQ(mask, v.host.mask.get());
  EXPECT_EQ(count, 0);
  // Analysis works on a copy of the box and changes nothing.
  v.host.selected = true;
  TVXBitmap* work = nullptr;
  ASSERT_TRUE(v.proc.BeginImageAnalysis(TVXPixelFormatSet{vx24RGB}, x1, y1, x2, y2, work, mask));
  ASSERT_NE(work, v.host.Image());
  EXPECT_EQ((TRect{x1, y1, x2, y2}), (TRect{0, 0, mask->X2() - mask->X1() + 1, mask->Y2() - mask->Y1() + 1}));
  EXPECT_EQ(work->Pixels_vx24RGB(0, 0), v.host.Image()->Pixels_vx24RGB(mask->X1(), mask->Y1()));
  v.proc.EndImageAnalysis(work);
  EXPECT_EQ(v.host.Count("Update"), 0);
}

TEST(ProcSelection, ClearSelAndCropSel) {
  // Without a selection ClearSel changes nothing.
  {
    Viewer v;
    v.host.selected = false;
    v.host.mask.reset();
    v.host.background = 0x0000FF;  // red
    v.proc.ClearSel();
    EXPECT_TRUE(VXBitmapsEqual(v.host.Image(), v.before.get()));
  }
  // With one, selected pixels take the background, partial ones blend.
  {
    Viewer v;
    v.host.background = 0x0000FF;
    v.proc.ClearSel();
    const TRGB f = v.before->Pixels_vx24RGB(12, 5);  // mask 255 moves a level short of the colour
    EXPECT_EQ(v.host.Image()->Pixels_vx24RGB(12, 5),
              (TRGB{uint8_t(Blend(f.b, 0, 255)), uint8_t(Blend(f.g, 0, 255)), uint8_t(Blend(f.r, 255, 255))}));
    EXPECT_EQ(v.host.Image()->Pixels_vx24RGB(0, 0), v.before->Pixels_vx24RGB(0, 0));
    const TRGB d = v.before->Pixels_vx24RGB(13, 9);
    EXPECT_EQ(v.host.Image()->Pixels_vx24RGB(13, 9),
              (TRGB{uint8_t(Blend(d.b, 0, 64)), uint8_t(Blend(d.g, 0, 64)), uint8_t(Blend(d.r, 255, 64))}));
  }
  // A rectangular 1-bit selection crops to an opaque image without alpha.
  {
    Viewer v;
    TVXMask* m = v.host.NewMask(1);
    m->SetRectangle(3, 2, 10, 7, 1);
    v.proc.CropSel(false);
    TVXBitmap* b = v.host.Image();
    EXPECT_EQ(b->Width(), 8);
    EXPECT_EQ(b->Height(), 6);
    EXPECT_FALSE(b->HasAlphaChannel());
    EXPECT_EQ(b->Pixels_vx24RGB(0, 0), v.before->Pixels_vx24RGB(3, 2));
    EXPECT_EQ(b->Pixels_vx24RGB(7, 5), v.before->Pixels_vx24RGB(10, 7));
  }
  // An elliptical one puts the background in the corners; with an alpha
  // channel they are also transparent.
  for (bool withAlpha : {false, true}) {
    Viewer v;
    if (withAlpha) v.host.Image()->AlphaChannel();
    TVXMask* m = v.host.NewMask(1);
    m->SetEllipse(12, 9, 16, 12, 1);
    m->SyncRect();
    v.host.background = 0x00FF00;  // green
    v.proc.CropSel(false);
    TVXBitmap* b = v.host.Image();
    EXPECT_EQ(b->Width(), m->X2() - m->X1() + 1);
    ASSERT_EQ(b->HasAlphaChannel(), withAlpha);
    const int32_t W = b->Width(), H = b->Height();
    for (auto [x, y] : {std::pair{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}}) {
      EXPECT_EQ(b->Pixels_vx24RGB(x, y), (TRGB{0, 255, 0}));
      if (withAlpha) {
        EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(x, y), 0);
      }
    }
    EXPECT_EQ(b->Pixels_vx24RGB(W / 2, H / 2), v.before->Pixels_vx24RGB(m->X1() + W / 2, m->Y1() + H / 2));
    if (withAlpha) {
      EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(W / 2, H / 2), 255);
    }
  }
  // TransparencyOnly keeps the size; the alpha channel becomes the mask.
  {
    Viewer v;
    v.proc.CropSel(true);
    TVXBitmap* b = v.host.Image();
    EXPECT_EQ(b->Width(), 24);
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(0, 0), 0);
    EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(13, 9), 64);
    EXPECT_EQ(b->AlphaChannel()->Pixels_vx8(12, 5), 255);
  }
}

// Every edit refreshes the viewer exactly once.
TEST(ProcSelection, EachOperationRefreshesOnce) {
  TVXBitmap other(5, 5, vx24RGB);
  const std::vector<std::pair<const char*, std::function<void(TVexlaneProc&)>>> ops = {
      {"Negative", [](TVexlaneProc& p) { p.Negative(); }},
      {"Clear", [](TVexlaneProc& p) { p.Clear(); }},
      {"ClearSel", [](TVexlaneProc& p) { p.ClearSel(); }},
      {"CropSel", [](TVexlaneProc& p) { p.CropSel(false); }},
      {"MergeVXBitmap", [&](TVexlaneProc& p) { p.MergeVXBitmap(&other, 50); }},
      {"ImageResize", [](TVexlaneProc& p) { p.ImageResize(30, 20, vxhCenter, vxvCenter, 255); }},
      {"Crop", [](TVexlaneProc& p) { p.Crop(1, 1, 5, 5); }},
      {"AutoCrop", [](TVexlaneProc& p) { p.AutoCrop(255, TRGB{1, 2, 3}, true); }},
      {"MakeTile", [](TVexlaneProc& p) { p.MakeTile(2, 2); }},
      {"RoundImage", [](TVexlaneProc& p) { p.RoundImage(4, 4); }},
  };
  for (const auto& [name, op] : ops) {
    Viewer v;
    op(v.proc);
    EXPECT_EQ(v.host.Count("Update"), 1) << name;
    EXPECT_EQ(v.host.Count("ImageChange"), 1) << name;
  }
}

TEST(ProcSelection, ViewerLifetimeAndBitmapChanges) {
  TFakeViewHost host;
  FillPicture(host.Image());
  {
    TVexlaneProc proc;
    proc.SetAttachedVexlane(&host);
    EXPECT_EQ(host.handlers.size(), 1u);
    // The viewer replaces its bitmap: the component follows.
    auto next = std::make_unique<TVXBitmap>(7, 3, vx8g);
    TVXBitmap* raw = next.get();
    host.ReplaceBitmap(std::move(next));
    EXPECT_EQ(proc.AttachedVXBitmap(), raw);
    // Background and resolution are the viewer's.
    proc.SetBackground(0x123456);
    EXPECT_EQ(host.background, 0x123456);
    EXPECT_EQ(proc.Background(), 0x123456);
    EXPECT_EQ(proc.DpiX(), 150);
    EXPECT_EQ(proc.DpiY(), 120);
    // Writing nil to AttachedVXBitmap only stops following the bitmap.
    proc.SetAttachedVXBitmap(nullptr);
    EXPECT_EQ(proc.AttachedVexlane(), &host);
    host.ReplaceBitmap(std::make_unique<TVXBitmap>(2, 2, vx8g));
    EXPECT_EQ(proc.AttachedVXBitmap(), raw);
  }
  // The destroyed component unregistered.
  EXPECT_TRUE(host.handlers.empty());

  // A viewer that announces its destruction is never called again.
  TVexlaneProc proc(&host);  // with an owner: AutoUndo on
  proc.SetAttachedVexlane(&host);
  proc.Negative();
  host.AnnounceDestruction();
  EXPECT_EQ(proc.AttachedVexlane(), nullptr);
  ASSERT_NE(proc.AttachedVXBitmap(), nullptr);
  EXPECT_NE(proc.AttachedVXBitmap(), host.Image());
  proc.Negative();
  proc.Undo(true);
  (void)proc.Background();
  (void)proc.DpiX();
  proc.CheckLegacyBitmap(vx16g);
  proc.SetAttachedVexlane(nullptr);
}

TEST(ProcSelection, LegacyBitmap) {
  TFakeViewHost host;
  FillPicture(host.Image());
  TVexlaneProc proc;
  proc.SetAttachedVexlane(&host);
  host.legacy = true;
  proc.CheckLegacyBitmap(vx24RGB);
  EXPECT_TRUE(host.legacy);
  proc.CheckLegacyBitmap(vx48RGB);
  EXPECT_FALSE(host.legacy);
}

}  // namespace
