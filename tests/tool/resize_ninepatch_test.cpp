// Nine-patch borders: strip rescaling, the marker rules, and whole images through
// ConvertImage (checked by aapt when it is installed).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/bitmap.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tool/convertimage.h"
#include "tool/ninepatch.h"
#include "tool_test_util.h"

using tooltest::TempDir;

namespace {

// A horizontal strip of Length pixels: markers opaque (in Colour), the rest
// transparent white; without alpha the markers are black on white.
std::unique_ptr<TVXBitmap> Strip(int32_t Length, const std::vector<int32_t>& Markers, bool Alpha,
                                 TRGB Colour = TRGB{0, 0, 0}) {
  auto s = std::make_unique<TVXBitmap>();
  s->Allocate(Length, 1, vx24RGB);
  for (int32_t x = 0; x < Length; ++x) s->SetPixels_vx24RGB(x, 0, TRGB{255, 255, 255});
  if (Alpha) s->AlphaChannel()->Fill(0);
  for (int32_t m : Markers) {
    s->SetPixels_vx24RGB(m, 0, Alpha ? Colour : TRGB{0, 0, 0});
    if (Alpha) s->AlphaChannel()->SetPixels_vx8(m, 0, 255);
  }
  return s;
}

std::string MarkerText(TVXBitmap* s) {
  std::string out;
  const bool horizontal = s->Height() == 1;
  const int32_t n = horizontal ? s->Width() : s->Height();
  for (int32_t i = 0; i < n; ++i) {
    const int32_t x = horizontal ? i : 0, y = horizontal ? 0 : i;
    const TRGB c = s->Pixels_vx24RGB(x, y);
    const int a = s->HasAlphaChannel() ? s->AlphaChannel()->Pixels_vx8(x, y) : 255;
    if (c == TRGB{0, 0, 0} && a == 255)
      out += '#';
    else if (a == 0 || c == TRGB{255, 255, 255})
      out += '.';
    else
      out += '?';
  }
  return out;
}

TEST(NinePatch, StripRescaling) {
  struct Case {
    int32_t length;
    std::vector<int32_t> markers;
    int32_t newLength;
    const char* expected;
  } cases[] = {
      {12, {4, 5, 6, 7}, 6, "..###."},                          // [4,7] -> [2,4]: 3.5 goes to 4
      {12, {4, 5, 6, 7}, 24, "........#######........."},       // upscaling spreads: 8..14
      {12, {0, 1}, 6, "#....."},                                // a run at index 0 starts at 0
      {12, {10, 11}, 3, "..#"},                                 // an end beyond the strip is held inside
      {12, {11}, 2, ".#"},                                      // index N becomes N - 1
      {12, {3, 5}, 3, ".#."},                                   // runs that meet share pixels; one pixel stays
      {6, {}, 9, "........."},                                  // no markers: white and transparent
      {12, {1, 2}, 6, ".#...."},                                // 0.5 would reach the free corner
      {12, {9, 10}, 6, "....#."},                               // 5 would reach the free corner
      {40, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
            29, 30, 31, 32, 33, 34, 35, 36, 37, 38},
       5, ".###."},                                             // corners stay free under strong shrinking
  };
  for (const auto& c : cases) {
    for (bool alpha : {true, false}) {
      auto s = Strip(c.length, c.markers, alpha);
      ScaleNinePatchRow(s.get(), c.newLength);
      EXPECT_EQ(MarkerText(s.get()), c.expected) << c.length << "->" << c.newLength << " alpha " << alpha;
      EXPECT_EQ(s->HasAlphaChannel(), alpha);
    }
  }
}

TEST(NinePatch, ColumnsAndMarkerColours) {
  // A red marker comes out black; a half-transparent one is no marker.
  auto s = Strip(8, {2, 3}, true, TRGB{0, 0, 255});
  s->AlphaChannel()->SetPixels_vx8(6, 0, 128);
  ScaleNinePatchRow(s.get(), 8);
  EXPECT_EQ(MarkerText(s.get()), "..##....");
  EXPECT_EQ(s->AlphaChannel()->Pixels_vx8(6, 0), 0);

  TVXBitmap col;
  col.Allocate(1, 10, vx24RGB);
  col.Fill(16777215.0);
  col.FillRect(0, 5, 0, 9, 0);  // opaque source: black markers at 5..9
  ScaleNinePatchColumn(&col, 5);
  EXPECT_EQ(col.Height(), 5);
  EXPECT_EQ(MarkerText(&col), "..###");  // [5,9] / 2 -> [2,4] (2.5 -> 2, 4.5 -> 4)
}

// A nine-patch image of W x H with markers on all four sides.
void MakeNinePatch(const std::string& Path, int32_t W, int32_t H, bool Alpha) {
  TVexlaneIO io;
  TVXBitmap* b = io.VXBitmap();
  b->Allocate(W, H, vx24RGB);
  b->Fill(16777215.0);
  for (int32_t y = 1; y < H - 1; ++y)
    for (int32_t x = 1; x < W - 1; ++x) b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(40 + x), 120, uint8_t(200 - y)});
  if (Alpha) {
    b->AlphaChannel()->Fill(0);
    for (int32_t y = 1; y < H - 1; ++y)
      for (int32_t x = 1; x < W - 1; ++x) b->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(128 + x));
  }
  auto mark = [&](int32_t x, int32_t y) {
    b->SetPixels_vx24RGB(x, y, TRGB{0, 0, 0});
    if (Alpha) b->AlphaChannel()->SetPixels_vx8(x, y, 255);
  };
  for (int32_t x = W / 3; x < 2 * W / 3; ++x) mark(x, 0), mark(x, H - 1);
  for (int32_t y = H / 3; y < 2 * H / 3; ++y) mark(0, y), mark(W - 1, y);
  io.Params().SetSamplesPerPixel(Alpha ? 4 : 3);
  io.SaveToFilePNG(Path);
  ASSERT_FALSE(io.Aborting());
}

bool HaveAapt() {
  struct stat st;
  return stat("/usr/bin/aapt", &st) == 0;
}

TEST(NinePatch, ConvertedImagesKeepAValidBorder) {
  for (bool alpha : {true, false}) {
    TempDir d;
    const std::string src = d / "frame.9.png";
    MakeNinePatch(src, 30, 20, alpha);
    testing::internal::CaptureStdout();
    const bool ok = ConvertImage(src, d / "out", 5, 16, false, false, false, false, "");
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << out;
    EXPECT_EQ(out, "Resize \"frame.9.png\" to 48 (short side): 28,18 -> 74,48 (9patch)\n");
    const std::string target = d / "out/drawable-xxhdpi/frame.9.png";

    TVXBitmap r;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&r);
    ASSERT_TRUE(io.LoadFromFilePNG(target));
    EXPECT_EQ(r.Width(), 76);
    EXPECT_EQ(r.Height(), 50);
    EXPECT_EQ(r.HasAlphaChannel(), alpha);
    // border pixels are black and opaque markers, or transparent / white
    for (int32_t x = 0; x < r.Width(); ++x)
      for (int32_t y : {0, r.Height() - 1}) {
        const TRGB c = r.Pixels_vx24RGB(x, y);
        const int a = alpha ? r.AlphaChannel()->Pixels_vx8(x, y) : 255;
        const bool marker = c == TRGB{0, 0, 0} && a == 255;
        const bool empty = a == 0 || c == TRGB{255, 255, 255};
        EXPECT_TRUE(marker || empty) << x << "," << y;
      }
    EXPECT_EQ(r.Pixels_vx24RGB(r.Width() / 2, 0), (TRGB{0, 0, 0}));
    EXPECT_NE(r.Pixels_vx24RGB(1, 0), (TRGB{0, 0, 0}));
    if (HaveAapt()) {
      const std::string cmd = "/usr/bin/aapt s -i '" + target + "' -o '" + d.Path + "/crunched.png' >/dev/null 2>&1";
      EXPECT_EQ(std::system(cmd.c_str()), 0) << "aapt refused the nine-patch (alpha " << alpha << ")";
    }
  }
}

// Markers along the whole inner length of every side, shrunk a lot: the corners
// must stay free or the border is no longer a nine-patch border.
TEST(NinePatch, MarkersTouchingTheCornersLeaveThemFree) {
  for (bool alpha : {true, false}) {
    TempDir d;
    const std::string src = d / "full.9.png";
    {
      TVexlaneIO io;
      TVXBitmap* b = io.VXBitmap();
      const int32_t W = 200, H = 150;
      b->Allocate(W, H, vx24RGB);
      b->Fill(16777215.0);
      if (alpha) b->AlphaChannel()->Fill(0);
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
          const bool corner = (x == 0 || x == W - 1) && (y == 0 || y == H - 1);
          const bool border = x == 0 || y == 0 || x == W - 1 || y == H - 1;
          if (corner) continue;
          b->SetPixels_vx24RGB(x, y, border ? TRGB{0, 0, 0} : TRGB{200, 100, 50});
          if (alpha) b->AlphaChannel()->SetPixels_vx8(x, y, 255);
        }
      io.Params().SetSamplesPerPixel(alpha ? 4 : 3);
      io.SaveToFilePNG(src);
      ASSERT_FALSE(io.Aborting());
    }
    for (uint8_t mode : {1, 2, 4}) {
      testing::internal::CaptureStdout();
      const bool ok = ConvertImage(src, d / "out", mode, 5, false, false, false, false, "");
      const std::string out = testing::internal::GetCapturedStdout();
      ASSERT_TRUE(ok) << out;
      const std::string target = d / (std::string("out/") + DensityTarget(mode, 5).Folder + "/full.9.png");
      TVXBitmap r;
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&r);
      ASSERT_TRUE(io.LoadFromFilePNG(target));
      const int32_t w = r.Width(), h = r.Height();
      for (auto [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) {
        const bool free = alpha ? r.AlphaChannel()->Pixels_vx8(x, y) == 0
                                : r.Pixels_vx24RGB(x, y) == (TRGB{255, 255, 255});
        EXPECT_TRUE(free) << "corner " << x << "," << y << " mode " << int(mode) << " alpha " << alpha;
      }
      // the markers still cover every inner pixel of each side
      for (int32_t x = 1; x < w - 1; ++x) EXPECT_EQ(r.Pixels_vx24RGB(x, 0), (TRGB{0, 0, 0})) << x;
      for (int32_t y = 1; y < h - 1; ++y) EXPECT_EQ(r.Pixels_vx24RGB(0, y), (TRGB{0, 0, 0})) << y;
      if (HaveAapt()) {
        const std::string cmd =
            "/usr/bin/aapt s -i '" + target + "' -o '" + d.Path + "/crunched.png' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << "aapt refused " << target;
      }
    }
  }
}

TEST(NinePatch, TooSmallImagesFailThroughTheCatchAll) {
  TempDir d;
  const std::string src = d / "tiny.9.png";
  MakeNinePatch(src, 2, 7, true);
  testing::internal::CaptureStdout();
  const bool ok = ConvertImage(src, d / "out", 2, 48, false, false, false, false, "");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_EQ(out, "Resize \"tiny.9.png\" to 48 (short side)\nError on image processing.\n\n");

  TVXBitmap b(2, 2, vx24RGB);
  EXPECT_THROW(ResizeNinePatch(&b, 10, false), EVXException);
  EXPECT_EQ(b.Width(), 2);
}

}  // namespace
