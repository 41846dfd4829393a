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
    else if (c == TRGB{0, 0, 255} && a == 255)
      out += 'r';
    else if (a == 0 || c == TRGB{255, 255, 255})
      out += '.';
    else
      out += '?';
  }
  return out;
}

std::vector<int32_t> Range(int32_t From, int32_t To) {
  std::vector<int32_t> v;
  for (int32_t i = From; i <= To; ++i) v.push_back(i);
  return v;
}

TEST(NinePatch, StripRescaling) {
  struct Case {
    int32_t length;
    std::vector<int32_t> markers;
    int32_t newLength;
    std::string expected;
  } cases[] = {
      {12, {4, 5, 6, 7}, 6, "..###."},                          // [4,7] -> [2,4]: 3.5 goes to 4
      {12, {4, 5, 6, 7}, 24, "........#######........."},       // upscaling spreads: 8..14
      {12, {3, 5}, 3, ".#."},                                   // runs that meet share pixels; one pixel stays
      {6, {}, 9, "........."},                                  // no markers: white and transparent
      {12, {9}, 3, ".#."},                                      // an end beyond the inner pixels is held inside
      {12, {1, 2}, 6, ".#...."},                                // 0.5 would reach the free corner
      {12, {9, 10}, 6, "....#."},                               // 5 would reach the free corner
      {40, Range(1, 38), 5, ".###."},                           // corners stay free under strong shrinking
      // Corner pixels of the source are never markers.
      {12, {0, 1}, 6, ".#...."},
      {12, {0, 4, 5, 11}, 12, "....##......"},
      {12, {10, 11}, 3, ".#."},
      // A run touching the first or last inner pixel still touches it when enlarged.
      {74, Range(1, 72), 13826, "." + std::string(13824, '#') + "."},
      {12, {1, 2, 3}, 48, "." + std::string(12, '#') + std::string(35, '.')},
      {12, {8, 9, 10}, 48, std::string(32, '.') + std::string(15, '#') + "."},
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
  // Opaque red layout-bound marks stay red and follow the run rule beside black
  // runs; a half-transparent black pixel and an opaque white one are no markers.
  auto s = Strip(12, {1, 2, 3}, true, TRGB{0, 0, 255});
  for (int32_t x : {5, 6, 7}) {
    s->SetPixels_vx24RGB(x, 0, TRGB{0, 0, 0});
    s->AlphaChannel()->SetPixels_vx8(x, 0, 255);
  }
  s->SetPixels_vx24RGB(4, 0, TRGB{0, 0, 0});
  s->AlphaChannel()->SetPixels_vx8(4, 0, 128);
  s->SetPixels_vx24RGB(9, 0, TRGB{255, 255, 255});
  s->AlphaChannel()->SetPixels_vx8(9, 0, 255);
  ScaleNinePatchRow(s.get(), 24);
  EXPECT_EQ(MarkerText(s.get()), ".rrrrrr...#####.........");
  EXPECT_EQ(s->AlphaChannel()->Pixels_vx8(8, 0), 0);
  EXPECT_EQ(s->AlphaChannel()->Pixels_vx8(18, 0), 0);

  TVXBitmap col;
  col.Allocate(1, 10, vx24RGB);
  col.Fill(16777215.0);
  col.FillRect(0, 5, 0, 9, 0);  // opaque source: black markers at 5..8 and the corner 9
  ScaleNinePatchColumn(&col, 5);
  EXPECT_EQ(col.Height(), 5);
  EXPECT_EQ(MarkerText(&col), "..##.");  // 5 / 2 -> 2 (2.5 -> 2); 8 is the last inner pixel -> 3
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

// Border pixel kinds of a loaded image: '#' opaque black, 'r' opaque red, '.' fully
// transparent, '?' anything else.
char BorderKind(TVXBitmap& b, int32_t x, int32_t y) {
  const TRGB c = b.Pixels_vx24RGB(x, y);
  const int a = b.HasAlphaChannel() ? b.AlphaChannel()->Pixels_vx8(x, y) : 255;
  if (a == 0) return '.';
  if (a == 255 && c == (TRGB{0, 0, 0})) return '#';
  if (a == 255 && c == (TRGB{0, 0, 255})) return 'r';
  return '?';
}

// One side of the border without its corners, as kinds.
std::string Side(TVXBitmap& b, char Which) {
  std::string out;
  const int32_t w = b.Width(), h = b.Height();
  const bool horizontal = Which == 't' || Which == 'b';
  const int32_t n = horizontal ? w : h;
  for (int32_t i = 1; i < n - 1; ++i) {
    const int32_t x = horizontal ? i : (Which == 'l' ? 0 : w - 1);
    const int32_t y = horizontal ? (Which == 't' ? 0 : h - 1) : i;
    out += BorderKind(b, x, y);
  }
  return out;
}

// The runs of a side as their kinds in order ("#r#"), with whether the first and
// last run touch the ends.
std::string RunShape(const std::string& Side) {
  std::string out;
  for (size_t i = 0; i < Side.size(); ++i)
    if (Side[i] != '.' && (i == 0 || Side[i - 1] != Side[i])) out += Side[i];
  if (!Side.empty() && Side.front() != '.') out = "|" + out;
  if (!Side.empty() && Side.back() != '.') out += "|";
  return out;
}

// A result's border holds only opaque black, opaque red and fully transparent
// pixels, free corners, and runs of the given shapes (top, left, right, bottom);
// aapt, when installed, accepts it.
void ExpectExactBorder(const std::string& Target, const std::vector<std::string>& Shapes, const TempDir& d) {
  TVXBitmap r;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&r);
  ASSERT_TRUE(io.LoadFromFilePNG(Target));
  ASSERT_TRUE(r.HasAlphaChannel());
  for (auto [x, y] : {std::pair{0, 0}, {r.Width() - 1, 0}, {0, r.Height() - 1}, {r.Width() - 1, r.Height() - 1}})
    EXPECT_EQ(BorderKind(r, x, y), '.') << "corner " << x << "," << y;
  const char sides[] = {'t', 'l', 'r', 'b'};
  for (int i = 0; i < 4; ++i) {
    const std::string got = Side(r, sides[i]);
    EXPECT_EQ(got.find('?'), std::string::npos) << sides[i] << ": " << got;
    EXPECT_EQ(RunShape(got), Shapes[size_t(i)]) << sides[i] << ": " << got;
  }
  if (HaveAapt()) {
    const std::string cmd = "/usr/bin/aapt s -i '" + Target + "' -o '" + d.Path + "/crunched.png' >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "aapt refused " << Target;
  }
}

// Nine-patches from real projects that the border rules must carry over: black
// corners, an opaque white border, red layout bounds, runs over a whole side.
TEST(NinePatch, RealWorldBordersStayValidInEveryBucket) {
  struct Case {
    const char* name;
    int32_t w, h;
    std::string top, left, right, bottom;  // without corners; ' ' = the background
    char background;                       // 'w' opaque white, ' ' transparent
    bool blackCorners;
    std::vector<uint8_t> modes;
  } cases[] = {
      {"corners", 30, 20, "          ########          ",
       "      ######      ", "     ########     ",
       "         ##########         ", ' ', true, {1, 2, 3, 4, 5, 6}},
      {"white", 30, 20, "          ########          ",
       "      ######      ", "     ########     ",
       "         ##########         ", 'w', false, {1, 2, 3, 4, 5, 6}},
      {"bounds", 34, 24, "            ########            ",
       "        ######        ", "rr   ############   rr",
       "rrr   ####################   rrr", ' ', false, {1, 2, 3, 4, 5, 6}},
      {"whole", 3, 74, "#", std::string(72, '#'), std::string(72, '#'), "#", ' ', false, {6}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.top.size(), size_t(c.w - 2));
    ASSERT_EQ(c.left.size(), size_t(c.h - 2));
    TempDir d;
    const std::string src = d / (std::string(c.name) + ".9.png");
    {
      TVexlaneIO io;
      TVXBitmap* b = io.VXBitmap();
      b->Allocate(c.w, c.h, vx24RGB);
      b->Fill(16777215.0);
      b->AlphaChannel()->Fill(c.background == 'w' ? 255 : 0);
      for (int32_t y = 1; y < c.h - 1; ++y)
        for (int32_t x = 1; x < c.w - 1; ++x) {
          b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(20 * x), 90, uint8_t(200 - 2 * y)});
          b->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(100 + 4 * x));
        }
      auto put = [&](int32_t x, int32_t y, char k) {
        if (k == ' ') return;
        b->SetPixels_vx24RGB(x, y, k == 'r' ? TRGB{0, 0, 255} : TRGB{0, 0, 0});
        b->AlphaChannel()->SetPixels_vx8(x, y, 255);
      };
      for (int32_t i = 0; i < c.w - 2; ++i) put(i + 1, 0, c.top[size_t(i)]), put(i + 1, c.h - 1, c.bottom[size_t(i)]);
      for (int32_t i = 0; i < c.h - 2; ++i) put(0, i + 1, c.left[size_t(i)]), put(c.w - 1, i + 1, c.right[size_t(i)]);
      if (c.blackCorners)
        for (auto [x, y] : {std::pair{0, 0}, {c.w - 1, 0}, {0, c.h - 1}, {c.w - 1, c.h - 1}}) put(x, y, '#');
      io.Params().SetSamplesPerPixel(4);
      io.SaveToFilePNG(src);
      ASSERT_FALSE(io.Aborting());
    }
    auto shape = [](const std::string& s) {
      std::string k = s;
      for (char& ch : k) ch = ch == ' ' ? '.' : ch;
      return RunShape(k);
    };
    for (uint8_t mode : c.modes) {
      SCOPED_TRACE("mode " + std::to_string(mode));
      testing::internal::CaptureStdout();
      const bool ok = ConvertImage(src, d / "out", mode, 48, false, false, false, false, "");
      const std::string out = testing::internal::GetCapturedStdout();
      ASSERT_TRUE(ok) << out;
      const std::string target = d / (std::string("out/") + DensityTarget(mode, 48).Folder + "/" + c.name + ".9.png");
      ExpectExactBorder(target, {shape(c.top), shape(c.left), shape(c.right), shape(c.bottom)}, d);
    }
  }
}

// Palette reduction keeps an exact border even when the quantiser fills all 256
// entries with the inner image's colours.
TEST(NinePatch, EightBitResultsKeepAnExactBorder) {
  const std::string quant = "/usr/bin/pngquant";
  struct stat st;
  if (stat(quant.c_str(), &st) != 0) GTEST_SKIP() << "pngquant is missing (scripts/setup installs it)";
  TempDir d;
  const std::string src = d / "grad.9.png";
  const int32_t W = 80, H = 60;
  const std::string top = std::string(29, ' ') + std::string(20, '#') + std::string(29, ' ');
  const std::string left = std::string(19, ' ') + std::string(20, '#') + std::string(19, ' ');
  {
    TVexlaneIO io;
    TVXBitmap* b = io.VXBitmap();
    b->Allocate(W, H, vx24RGB);
    b->Fill(0);
    b->AlphaChannel()->Fill(0);
    // Many colours and alpha levels (the quantiser uses every entry), with bands of
    // nearly opaque near-black and nearly transparent pixels that the quantiser
    // would merge the border's black and transparent pixels with.
    for (int32_t y = 1; y < H - 1; ++y)
      for (int32_t x = 1; x < W - 1; ++x) {
        TRGB c;
        uint8_t a;
        if (y < 20) {
          c = TRGB{uint8_t((x + y) * 2), uint8_t(y * 12), uint8_t(x * 3)};
          a = uint8_t(255 - (x % 7) * 30);
        } else if (y < 40) {
          c = TRGB{uint8_t(x % 5), uint8_t((x + y) % 7), uint8_t((x * y) % 9)};
          a = uint8_t(255 - (x + y) % 6);
        } else {
          c = TRGB{uint8_t(y * 4), 200, uint8_t(x * 3)};
          a = uint8_t(1 + (x + y) % 5);
        }
        b->SetPixels_vx24RGB(x, y, c);
        b->AlphaChannel()->SetPixels_vx8(x, y, a);
      }
    for (int32_t i = 0; i < W - 2; ++i)
      if (top[size_t(i)] == '#') b->AlphaChannel()->SetPixels_vx8(i + 1, 0, 255), b->AlphaChannel()->SetPixels_vx8(i + 1, H - 1, 255);
    for (int32_t i = 0; i < H - 2; ++i)
      if (left[size_t(i)] == '#') b->AlphaChannel()->SetPixels_vx8(0, i + 1, 255), b->AlphaChannel()->SetPixels_vx8(W - 1, i + 1, 255);
    io.Params().SetSamplesPerPixel(4);
    io.SaveToFilePNG(src);
    ASSERT_FALSE(io.Aborting());
  }
  bool fullPalette = false;
  for (uint8_t mode = 1; mode <= 6; ++mode) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    testing::internal::CaptureStdout();
    const bool ok = ConvertImage(src, d / "out", mode, 48, false, true, false, false, quant);
    const std::string out = testing::internal::GetCapturedStdout();
    ASSERT_TRUE(ok) << out;
    const std::string target = d / (std::string("out/") + DensityTarget(mode, 48).Folder + "/grad.9.png");
    const std::string bytes = tooltest::ReadFile(target);
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[25], 3) << "not a palette image";
    const size_t plte = bytes.find("PLTE");
    if (plte != std::string::npos && plte >= 4)
      fullPalette |= (uint8_t(bytes[plte - 2]) << 8 | uint8_t(bytes[plte - 1])) == 768;
    ExpectExactBorder(target, {"#", "#", "#", "#"}, d);
  }
  EXPECT_TRUE(fullPalette) << "no result used all 256 entries; the fixture no longer tests a full palette";
}

// A shadow frame stored as a 1-bit palette image with a transparent entry
// (index 0 transparent teal, index 1 opaque black, every inner pixel
// transparent): the writer reduces the result to the source's two colours, and
// the markers must still come out opaque black in every bucket, with and
// without palette reduction.
TEST(NinePatch, OneBitPaletteSourceKeepsBlackMarkers) {
  if (std::system("/usr/bin/python3 -c 'import PIL' >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "Pillow (python3-pil) is missing (scripts/setup installs it)";
  TempDir d;
  const std::string src = d / "shadow.9.png";
  const std::string script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.new('P', (20, 20), 0)\n"
      "im.putpalette([64, 96, 104, 0, 0, 0])\n"
      "for i in range(5, 15): im.putpixel((i, 0), 1); im.putpixel((0, i), 1)\n"
      "for i in range(3, 17): im.putpixel((i, 19), 1); im.putpixel((19, i), 1)\n"
      "im.save(sys.argv[1], transparency=0, bits=1)\n";
  tooltest::WriteFile(d / "make.py", script);
  ASSERT_EQ(std::system(("/usr/bin/python3 '" + d / "make.py" + "' '" + src + "'").c_str()), 0);
  const std::string made = tooltest::ReadFile(src);
  ASSERT_GT(made.size(), 26u);
  ASSERT_EQ(made[24], 1);  // bit depth 1
  ASSERT_EQ(made[25], 3);  // palette
  const std::string quant = "/usr/bin/pngquant";
  struct stat st;
  const bool haveQuant = stat(quant.c_str(), &st) == 0;
  auto shape = [](const std::string& s) {
    std::string k = s;
    for (char& ch : k) ch = ch == ' ' ? '.' : ch;
    return RunShape(k);
  };
  const std::string stretch = std::string(4, ' ') + std::string(10, '#') + std::string(4, ' ');
  const std::string content = std::string(2, ' ') + std::string(14, '#') + std::string(2, ' ');
  for (bool eightBit : {false, true}) {
    if (eightBit && !haveQuant) continue;
    for (uint8_t mode = 1; mode <= 6; ++mode) {
      SCOPED_TRACE(std::string(eightBit ? "/8, " : "") + "mode " + std::to_string(mode));
      testing::internal::CaptureStdout();
      const bool ok = ConvertImage(src, d / "out", mode, 20, false, eightBit, false, false, eightBit ? quant : "");
      const std::string out = testing::internal::GetCapturedStdout();
      ASSERT_TRUE(ok) << out;
      const std::string target = d / (std::string("out/") + DensityTarget(mode, 20).Folder + "/shadow.9.png");
      ExpectExactBorder(target, {shape(stretch), shape(stretch), shape(content), shape(content)}, d);
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
