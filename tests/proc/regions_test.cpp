// Morphology, the magic wand, contours and object separation, local
// thresholds, Sobel edges and histogram comparison.
//
// Oracles: a plain double loop over the window (the reference the fast
// morphology must match byte for byte), OpenCV (Debian python3-opencv) and
// numpy.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/geometry.h"
#include "core/mask.h"
#include "fake_viewhost.h"
#include "noise_fixture.h"
#include "numpy_oracle.h"
#include "proc/contours.h"
#include "proc/histcompare.h"
#include "proc/localthreshold.h"
#include "proc/magicwand.h"
#include "proc/morph.h"
#include "proc/proc.h"
#include "proc/sobel.h"

namespace {

bool OpenCVAvailable() {
  static const bool ok = numpy_oracle::Shell("/usr/bin/python3 -c 'import cv2; print(1)' 2>/dev/null") == "1\n";
  return ok;
}

#define SKIP_WITHOUT_OPENCV()                                                                      \
  do {                                                                                             \
    if (!OpenCVAvailable())                                                                        \
      GTEST_SKIP() << "/usr/bin/python3 with OpenCV (Debian python3-opencv) is not installed"; \
  } while (0)

// vx1g page of random specks and blocks; 0/255 bytes of it for numpy.
std::unique_ptr<TVXBitmap> Page(int32_t w, int32_t h, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx1g);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx1g(x, y, rng() % 5 != 0);
  for (int i = 0; i < 12; ++i) {
    const int32_t bx = int32_t(rng() % w), by = int32_t(rng() % h), bw = int32_t(rng() % 9), bh = int32_t(rng() % 7);
    const bool v = rng() % 2;
    for (int32_t y = by; y < std::min(h, by + bh); ++y)
      for (int32_t x = bx; x < std::min(w, bx + bw); ++x) b->SetPixels_vx1g(x, y, v);
  }
  return b;
}

std::string Bytes255(TVXBitmap* b) {
  std::string s;
  for (int32_t y = 0; y < b->Height(); ++y)
    for (int32_t x = 0; x < b->Width(); ++x) s += char(b->Pixels_vx1g(x, y) ? 255 : 0);
  return s;
}

// Colours from a small set, with distinct colours of equal grey, so that
// windows hold many ties.
std::unique_ptr<TVXBitmap> TiedColours(int32_t w, int32_t h, uint32_t seed) {
  static const TRGB set[] = {{0, 0, 0},       {3, 0, 0},     {0, 0, 4},       {255, 255, 255}, {250, 255, 255},
                             {100, 100, 100}, {108, 99, 99}, {10, 200, 30},   {40, 190, 30},   {90, 20, 220}};
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) b->SetPixels_vx24RGB(x, y, set[rng() % 10]);
  return b;
}

// Equal byte strings; on a difference, its first offset instead of both
// strings.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  return ::testing::AssertionFailure() << "sizes " << got.size() << " and " << want.size() << ", first difference at "
                                       << i;
}

int Grey(TRGB p) { return (p.r * 21 + p.g * 71 + p.b * 8) / 100; }

// The passes as the plain double loop over the window, scan order rows
// then columns, positions clamped into the rectangle.
void ReferenceMorph(TVXBitmap* b, int32_t w, int32_t op, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  x2 = std::min(x2, b->Width()), y2 = std::min(y2, b->Height());
  std::vector<bool> passes;  // true: maximum
  if (op == 0) passes = {true};
  if (op == 1) passes = {false};
  if (op == 2) passes = {false, true};
  if (op == 3) passes = {true, false};
  for (bool isMax : passes) {
    TVXBitmap snap(b);
    for (int32_t y = y1; y < y2; ++y)
      for (int32_t x = x1; x < x2; ++x) {
        int best = isMax ? 0 : 255, bx = x, by = y;
        for (int32_t dy = -w; dy <= w; ++dy)
          for (int32_t dx = -w; dx <= w; ++dx) {
            const int32_t sx = std::clamp(x + dx, x1, x2 - 1), sy = std::clamp(y + dy, y1, y2 - 1);
            const int g = b->PixelFormat() == vx1g ? (snap.Pixels_vx1g(sx, sy) ? 255 : 0)
                                                   : Grey(snap.Pixels_vx24RGB(sx, sy));
            if (isMax ? g > best : g < best) best = g, bx = sx, by = sy;
          }
        if (b->PixelFormat() == vx1g)
          b->SetPixels_vx1g(x, y, snap.Pixels_vx1g(bx, by));
        else
          b->SetPixels_vx24RGB(x, y, snap.Pixels_vx24RGB(bx, by));
      }
  }
}

TEST(Morph, FastPassesEqualTheDoubleLoop) {
  struct Case {
    int32_t w, h, x1, y1, x2, y2;
  };
  // Whole images, rectangles off byte boundaries, single rows and columns,
  // rectangles reaching past the bitmap.
  const Case cases[] = {{37, 23, 0, 0, 37, 23}, {70, 19, 3, 2, 61, 17}, {29, 11, 5, 4, 6, 11},
                        {29, 11, 0, 6, 29, 7},  {130, 9, 9, 1, 200, 50}, {8, 8, 0, 0, 8, 8}};
  for (TVXPixelFormat fmt : {vx1g, vx24RGB})
    for (const Case& c : cases)
      for (int32_t w : {0, 1, 2, 5, 6, 13})
        for (int32_t op = 0; op < 4; ++op) {
          SCOPED_TRACE(testing::Message() << fmt << " " << c.w << "x" << c.h << " rect " << c.x1 << "," << c.y1
                                          << " window " << w << " op " << op);
          auto src = fmt == vx1g ? Page(c.w, c.h, 11 + w) : TiedColours(c.w, c.h, 5 + w);
          TVXBitmap fast(src.get()), ref(src.get());
          VXDoMorphFilter(&fast, w, op, nullptr, nullptr, c.x1, c.y1, c.x2, c.y2);
          ReferenceMorph(&ref, w, op, c.x1, c.y1, c.x2, c.y2);
          ASSERT_TRUE(SameBytes(numpy_oracle::Pixels(&fast), numpy_oracle::Pixels(&ref)));
        }
}

// OpenCV's dilation, erosion, opening and closing with square windows of
// half-widths 0 to 5 (edges repeated) of the bytes of shape Shape.
std::string MorphologyScript(const std::string& Shape) {
  return "import cv2\n"
         "a = load(0, np.uint8, (" + Shape + "))\n"
         "out = []\n"
         "for w in range(0, 6):\n"
         "    k = np.ones((2 * w + 1, 2 * w + 1), np.uint8)\n"
         "    b = cv2.BORDER_REPLICATE\n"
         "    out += [cv2.dilate(a, k, borderType=b), cv2.erode(a, k, borderType=b),\n"
         "            cv2.morphologyEx(a, cv2.MORPH_OPEN, k, borderType=b),\n"
         "            cv2.morphologyEx(a, cv2.MORPH_CLOSE, k, borderType=b)]\n"
         "save(np.stack(out))\n";
}

TEST(Morph, OneBitPagesEqualOpenCV) {
  SKIP_WITHOUT_OPENCV();
  auto page = Page(203, 61, 3);
  const std::string script = MorphologyScript("61, 203");
  const std::string expected = numpy_oracle::Run(script, {Bytes255(page.get())});
  ASSERT_EQ(expected.size(), size_t(24 * 203 * 61));
  for (int32_t w = 0; w <= 5; ++w)
    for (int32_t op = 0; op < 4; ++op) {
      TVXBitmap b(page.get());
      auto proc = TVexlaneProc::CreateFromBitmap(&b);
      if (op == 0) proc->Maximum(w);
      if (op == 1) proc->Minimum(w);
      if (op == 2) proc->Opening(w);
      if (op == 3) proc->Closing(w);
      EXPECT_TRUE(SameBytes(Bytes255(&b), expected.substr(size_t(4 * w + op) * 203 * 61, 203 * 61)))
          << "window " << w << " op " << op;
    }
}

TEST(Morph, GreyImagesEqualOpenCVAndColoursFollowTheFirstWinner) {
  SKIP_WITHOUT_OPENCV();
  // Grey vx24RGB: each channel as OpenCV computes it on 8UC3.
  auto photo = procfixture::Photo(57, 41);
  TVXBitmap grey(57, 41, vx24RGB);
  for (int32_t y = 0; y < 41; ++y)
    for (int32_t x = 0; x < 57; ++x) {
      const uint8_t v = photo->Pixels_vx24RGB(x, y).g;
      grey.SetPixels_vx24RGB(x, y, TRGB{v, v, v});
    }
  const std::string script = MorphologyScript("41, 57, 3");
  const std::string expected = numpy_oracle::Run(script, {numpy_oracle::Pixels(&grey)});
  ASSERT_EQ(expected.size(), size_t(24 * 57 * 41 * 3));
  for (int32_t w = 0; w <= 5; ++w)
    for (int32_t op = 0; op < 4; ++op) {
      TVXBitmap b(&grey);
      VXDoMorphFilter(&b, w, op, nullptr, nullptr, 0, 0, 57, 41);
      EXPECT_TRUE(SameBytes(numpy_oracle::Pixels(&b), expected.substr(size_t(4 * w + op) * 57 * 41 * 3, 57 * 41 * 3)))
          << "window " << w << " op " << op;
    }

  // Colour: numpy's evaluation of the window scan, first strict winner.
  auto colours = TiedColours(45, 33, 9);
  TVXBitmap photoCopy(photo.get());
  const std::string scan =
      "def morph(a, w, is_max):\n"
      "    b = a.astype(np.int32)\n"
      "    g = (b[:, :, 2] * 21 + b[:, :, 1] * 71 + b[:, :, 0] * 8) // 100\n"
      "    h, wd = g.shape\n"
      "    gp = np.pad(g, w, mode='edge'); ap = np.pad(a, ((w, w), (w, w), (0, 0)), mode='edge')\n"
      "    best = np.full(g.shape, 0 if is_max else 255); out = a.copy()\n"
      "    for dy in range(2 * w + 1):\n"
      "        for dx in range(2 * w + 1):\n"
      "            v = gp[dy:dy + h, dx:dx + wd]\n"
      "            win = v > best if is_max else v < best\n"
      "            best = np.where(win, v, best)\n"
      "            out[win] = ap[dy:dy + h, dx:dx + wd][win]\n"
      "    return out\n"
      "out = []\n"
      "for i, shape in ((0, (33, 45, 3)), (1, (41, 57, 3))):\n"
      "    a = load(i, np.uint8, shape)\n"
      "    for w in (1, 2, 5):\n"
      "        out += [morph(a, w, True).ravel(), morph(a, w, False).ravel(),\n"
      "                morph(morph(a, w, False), w, True).ravel(), morph(morph(a, w, True), w, False).ravel()]\n"
      "save(np.concatenate(out))\n";
  const std::string want =
      numpy_oracle::Run(scan, {numpy_oracle::Pixels(colours.get()), numpy_oracle::Pixels(photo.get())});
  size_t at = 0;
  for (TVXBitmap* src : {colours.get(), photo.get()})
    for (int32_t w : {1, 2, 5})
      for (int32_t op = 0; op < 4; ++op) {
        TVXBitmap b(src);
        VXDoMorphFilter(&b, w, op, nullptr, nullptr, 0, 0, b.Width(), b.Height());
        const std::string got = numpy_oracle::Pixels(&b);
        EXPECT_TRUE(SameBytes(got, want.substr(at, got.size()))) << src->Width() << " window " << w << " op " << op;
        at += got.size();
      }
  EXPECT_EQ(at, want.size());
}

TEST(Morph, DotsSpecksHolesAndWindowsThatChangeNothing) {
  // A white dot on black grows to a 3 x 3 square of its colour.
  TVXBitmap dot(9, 7, vx24RGB);
  const TRGB green{20, 240, 60}, black{0, 0, 0};
  dot.SetPixels_vx24RGB(4, 3, green);
  auto proc = TVexlaneProc::CreateFromBitmap(&dot);
  proc->Maximum(1);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 9; ++x)
      EXPECT_EQ(dot.Pixels_vx24RGB(x, y), (std::abs(x - 4) <= 1 && std::abs(y - 3) <= 1) ? green : black);
  // Opening removes a white speck and keeps a larger block's shape; closing
  // fills a dark hole.
  TVXBitmap page(20, 12, vx1g);
  page.SetPixels_vx1g(2, 2, true);
  for (int32_t y = 4; y < 10; ++y)
    for (int32_t x = 8; x < 16; ++x) page.SetPixels_vx1g(x, y, true);
  TVXBitmap opened(&page);
  auto p2 = TVexlaneProc::CreateFromBitmap(&opened);
  p2->Opening(1);
  page.SetPixels_vx1g(2, 2, false);
  EXPECT_EQ(numpy_oracle::Pixels(&opened), numpy_oracle::Pixels(&page));
  page.SetPixels_vx1g(11, 6, false);
  TVXBitmap closed(&page);
  auto p3 = TVexlaneProc::CreateFromBitmap(&closed);
  p3->Closing(1);
  EXPECT_TRUE(closed.Pixels_vx1g(11, 6));
  // Window 0 or negative, and unsupported formats, change nothing.
  auto noise = procfixture::Noise(23, 9, vx24RGB, 4);
  for (int32_t w : {0, -1, -7})
    for (int32_t op = 0; op < 5; ++op) {
      TVXBitmap b(noise.get());
      VXDoMorphFilter(&b, w == 0 && op == 4 ? 3 : w, op, nullptr, nullptr, 0, 0, 23, 9);
      EXPECT_EQ(numpy_oracle::Pixels(&b), numpy_oracle::Pixels(noise.get())) << w << " " << op;
    }
  auto grey = procfixture::Noise(23, 9, vx8g, 4);
  TVXBitmap g(grey.get());
  VXDoMorphFilter(&g, 2, 0, nullptr, nullptr, 0, 0, 23, 9);
  EXPECT_EQ(numpy_oracle::Pixels(&g), numpy_oracle::Pixels(grey.get()));
}

TEST(Morph, SelectionBoxBorderRepeatsUndoAndProgress) {
  // A rectangular selection: the box is filtered as an image of its own,
  // the rest stays.
  TFakeViewHost host;
  host.Image()->Assign(TiedColours(31, 22, 2).get());
  TVXBitmap original(host.Image());
  TVXMask* m = host.NewMask(1);
  m->SetRectangle(6, 5, 20, 15, 1);
  m->SyncRect();
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVexlane(&host);
  std::vector<int32_t> progress;
  proc.OnProgress = [&](void*, int32_t p) { progress.push_back(p); };
  proc.Closing(2);
  TVXBitmap box(&original, TRect{6, 5, 20, 15});
  ReferenceMorph(&box, 2, 3, 0, 0, box.Width(), box.Height());
  for (int32_t y = 0; y < 22; ++y)
    for (int32_t x = 0; x < 31; ++x) {
      const bool inside = x >= 6 && x <= 20 && y >= 5 && y <= 15;
      ASSERT_EQ(host.Image()->Pixels_vx24RGB(x, y),
                inside ? box.Pixels_vx24RGB(x - 6, y - 5) : original.Pixels_vx24RGB(x, y))
          << x << "," << y;
    }
  EXPECT_EQ(proc.GetUndoCaptions(0), "Closing 2");
  // Two passes over 11 rows: Trunc((row + pass x 11) x 100 / 10.5 / 2), then 100.
  std::vector<int32_t> want;
  for (int p = 0; p < 2; ++p)
    for (int r = 1; r <= 11; ++r) want.push_back(int32_t((r + p * 11) * (100 / 10.5 / 2)));
  want.push_back(100);
  EXPECT_EQ(progress, want);
  proc.Undo();
  EXPECT_EQ(numpy_oracle::Pixels(host.Image()), numpy_oracle::Pixels(&original));
}

// ---------------------------------------------------------------------------
// Magic wand

// The mask's pixels as 0/1 bytes.
std::string MaskBytes(TVXMask& m) {
  std::string s;
  for (int32_t y = 0; y < m.Height(); ++y)
    for (int32_t x = 0; x < m.Width(); ++x) s += char(m.GetPixel(x, y) ? 1 : 0);
  return s;
}

// Blobs of a few colours with small variations, on which tolerances matter.
std::unique_ptr<TVXBitmap> Blobs(int32_t w, int32_t h, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>(w, h, vx24RGB);
  std::mt19937 rng(seed);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const int zone = ((x / 7) + (y / 5) * 3 + int(rng() % 3 == 0)) % 4;
      const int n = int(rng() % 13);
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(40 * zone + n), uint8_t(200 - 30 * zone + n / 2), uint8_t(90 + n)});
    }
  return b;
}

TEST(MagicWand, FillEqualsOpenCVFloodFillAndGlobalEqualsNumpy) {
  SKIP_WITHOUT_OPENCV();
  const int32_t W = 53, H = 37;
  struct Case {
    int32_t x, y, tol;
  };
  const Case cases[] = {{0, 0, 0}, {10, 8, 6}, {26, 18, 12}, {52, 36, 25}, {3, 30, 60}, {40, 2, 255}};
  std::vector<std::unique_ptr<TVXBitmap>> images;
  images.push_back(Blobs(W, H, 1));
  images.push_back(procfixture::Photo(W, H));
  std::string script =
      "import cv2\n"
      "out = []\n"
      "for i in range(2):\n"
      "    a = load(i, np.uint8, (37, 53, 3))\n"
      "    for x, y, t in ((0, 0, 0), (10, 8, 6), (26, 18, 12), (52, 36, 25), (3, 30, 60), (40, 2, 255)):\n"
      "        m = np.zeros((39, 55), np.uint8)\n"
      "        cv2.floodFill(a.copy(), m, (x, y), 0, (t, t, t), (t, t, t),\n"
      "                      4 | cv2.FLOODFILL_FIXED_RANGE | cv2.FLOODFILL_MASK_ONLY | (1 << 8))\n"
      "        m = m[1:-1, 1:-1]\n"
      "        df = np.abs(a.astype(np.int32) - a[y, x].astype(np.int32))\n"
      "        out += [m, cv2.dilate(m, np.ones((3, 3), np.uint8)), (df <= t).all(axis=2).astype(np.uint8)]\n"
      "save(np.stack(out))\n";
  const std::string want =
      numpy_oracle::Run(script, {numpy_oracle::Pixels(images[0].get()), numpy_oracle::Pixels(images[1].get())});
  ASSERT_EQ(want.size(), size_t(2 * 6 * 3 * W * H));
  size_t at = 0;
  for (auto& img : images)
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "seed " << c.x << "," << c.y << " tolerance " << c.tol);
      for (int kind = 0; kind < 3; ++kind) {
        TVXMask m;
        m.AllocateBits(W, H, 8);
        if (kind < 2)
          VXMagicWandFill(img.get(), c.x, c.y, 255, &m, c.tol, kind == 1);
        else
          VXMagicWandGlobal(img.get(), c.x, c.y, 255, &m, c.tol);
        EXPECT_TRUE(SameBytes(MaskBytes(m), want.substr(at, size_t(W * H)))) << "kind " << kind;
        at += size_t(W * H);
      }
    }
}

TEST(MagicWand, ConnectivityToleranceAndStartOutside) {
  // A diagonal neighbour is not part of the area; the global form takes it.
  TVXBitmap b(6, 5, vx24RGB);
  b.Fill(0xFFFFFF);
  const TRGB black{0, 0, 0}, dark{10, 10, 10};
  b.SetPixels_vx24RGB(1, 1, black);
  b.SetPixels_vx24RGB(2, 2, black);
  b.SetPixels_vx24RGB(1, 2, dark);
  for (int32_t tol : {9, 10}) {
    TVXMask m;
    m.AllocateBits(6, 5, 8);
    VXMagicWandFill(&b, 1, 1, 200, &m, tol, false);
    EXPECT_EQ(m.GetPixel(1, 1), 200);
    EXPECT_EQ(m.GetPixel(1, 2), tol >= 10 ? 200 : 0) << tol;  // (10, 10, 10) needs tolerance 10
    EXPECT_EQ(m.GetPixel(2, 2), tol >= 10 ? 200 : 0) << tol;  // reached through (1, 2) only
    TVXMask g;
    g.AllocateBits(6, 5, 8);
    VXMagicWandGlobal(&b, 1, 1, 200, &g, tol);
    EXPECT_EQ(g.GetPixel(2, 2), 200);
  }
  // A single pixel: one mask pixel, nine with MaxFilter, four in a corner.
  struct Case {
    int32_t x, y;
    bool maxFilter;
    int count;
  };
  for (const Case& c : {Case{2, 2, false, 1}, Case{2, 2, true, 9}, Case{0, 0, true, 4}}) {
    TVXBitmap one(6, 5, vx24RGB);
    one.SetPixels_vx24RGB(c.x, c.y, TRGB{1, 2, 3});
    TVXMask m;
    m.AllocateBits(6, 5, 8);
    VXMagicWandFill(&one, c.x, c.y, 255, &m, 0, c.maxFilter);
    const std::string bytes = MaskBytes(m);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 1), c.count);
  }
  // Start points outside the bitmap do nothing.
  for (auto [x, y] : {std::pair{-1, 0}, {6, 0}, {0, 5}, {0, -3}}) {
    TVXMask m;
    m.AllocateBits(6, 5, 8);
    VXMagicWandFill(&b, x, y, 255, &m, 255, true);
    VXMagicWandGlobal(&b, x, y, 255, &m, 255);
    EXPECT_EQ(MaskBytes(m), std::string(30, '\0'));
    EXPECT_TRUE(VXMagicWandPolygon(&b, x, y, 255, true).empty());
  }
}

TEST(MagicWand, PolygonRunsAlongThePixelEdges) {
  using P = std::vector<TPoint>;
  // A single pixel: each of its corners after the first twice (the diagonal
  // step at each magnified corner), then back to the first; MaxFilter cannot
  // grow past the area's own box.
  TVXBitmap b(9, 8, vx24RGB);
  b.SetPixels_vx24RGB(4, 3, TRGB{9, 9, 9});
  const P dot{{4, 3}, {5, 3}, {5, 3}, {5, 4}, {5, 4}, {4, 4}, {4, 4}, {4, 3}};
  EXPECT_EQ(VXMagicWandPolygon(&b, 4, 3, 0, false), dot);
  EXPECT_EQ(VXMagicWandPolygon(&b, 4, 3, 0, true), dot);
  // A uniform image: the image rectangle.
  TVXBitmap u(9, 8, vx8g);
  EXPECT_EQ(VXMagicWandPolygon(&u, 5, 5, 0, false), (P{{0, 0}, {9, 0}, {9, 0}, {9, 8}, {9, 8}, {0, 8}, {0, 8}, {0, 0}}));
  // The black area around the pixel (a ring with the pixel as hole) is
  // outlined on the outside: the image rectangle again.
  EXPECT_EQ(VXMagicWandPolygon(&b, 0, 0, 0, false), (P{{0, 0}, {9, 0}, {9, 0}, {9, 8}, {9, 8}, {0, 8}, {0, 8}, {0, 0}}));
  // An L of three pixels: the notch shows as its own corner.
  TVXBitmap l(6, 6, vx24RGB);
  l.Fill(0xFFFFFF);
  for (auto [x, y] : {std::pair{1, 1}, {1, 2}, {2, 2}}) l.SetPixels_vx24RGB(x, y, TRGB{0, 0, 0});
  const P poly = VXMagicWandPolygon(&l, 1, 2, 0, false);
  ASSERT_FALSE(poly.empty());
  EXPECT_EQ(poly.front(), (TPoint{1, 1}));
  EXPECT_EQ(poly.back(), (TPoint{1, 1}));
  for (const TPoint& corner : {TPoint{2, 1}, TPoint{2, 2}, TPoint{3, 2}, TPoint{3, 3}, TPoint{1, 3}})
    EXPECT_NE(std::find(poly.begin(), poly.end(), corner), poly.end()) << corner.X << "," << corner.Y;
  for (const TPoint& p : poly) EXPECT_TRUE(p.X >= 1 && p.X <= 3 && p.Y >= 1 && p.Y <= 3) << p.X << "," << p.Y;
}

// ---------------------------------------------------------------------------
// Contours and objects

std::string Code(const TVXChainCode& c) { return std::string(c.code.data(), size_t(c.alength)); }

TEST(Contours, ChainCodeGrowsAndReducesToWholePixelMoves) {
  TVXChainCode c(4);
  for (int i = 0; i < 1500; ++i) c.add(char('0' + i % 8));
  EXPECT_EQ(c.alength, 1500);
  EXPECT_GE(c.length, 1501);
  EXPECT_EQ(c.code[1500], 0);
  EXPECT_EQ(std::strlen(c.code.data()), 1500u);
  struct Case {
    int32_t scale;
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {4, "0000000", "0"},          // a pixel's move, then three along its edge
      {4, "000666444222", ""},      // the outline of a single pixel
      {4, "00001", "01"},           // a lone move stays
      {4, "0000000766", "0766"},    // moves too few to reduce at the end stay
      {1, "0123", "0123"},          // scale 1 keeps every move
      {2, "001122", "012"},
  };
  for (const Case& k : cases) {
    TVXChainCode in(k.scale);
    for (const char* p = k.in; *p; ++p) in.add(*p);
    const auto out = in.postProcess();
    EXPECT_EQ(Code(*out), k.out) << k.scale << " " << k.in;
    EXPECT_EQ(out->SCALE, k.scale);
  }
}

TEST(Contours, MaskToPolygons) {
  using P = std::vector<TPoint>;
  const TPoint sep{VXPolygonSeparator, VXPolygonSeparator};
  for (int32_t bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TVXMask m;
    m.AllocateBits(16, 12, bpp);
    EXPECT_EQ(VXMaskToPolygons(&m, 0, 0, 15, 11, 4), P{sep});  // empty
    m.SetPixel(2, 2, 1);
    EXPECT_EQ(VXMaskToPolygons(&m, 0, 0, 15, 11, 4), (P{sep, sep}));  // one pixel: no points
    m.Empty();
    m.SetRectangle(5, 5, 6, 6, 1);
    EXPECT_EQ(VXMaskToPolygons(&m, 0, 0, 15, 11, 4), (P{sep, {5, 5}, {6, 5}, {6, 6}, {5, 6}, sep}));
    // The part to trace is cut to the mask; scales below 1 count as 1.
    EXPECT_EQ(VXMaskToPolygons(&m, -20, -3, 400, 99, 4), (P{sep, {5, 5}, {6, 5}, {6, 6}, {5, 6}, sep}));
    EXPECT_EQ(VXMaskToPolygons(&m, 0, 0, 15, 11, 0), VXMaskToPolygons(&m, 0, 0, 15, 11, 1));
    EXPECT_EQ(VXMaskToPolygons(&m, 0, 0, 15, 11, -5), VXMaskToPolygons(&m, 0, 0, 15, 11, 1));
    EXPECT_EQ(VXMaskToPolygons(&m, 9, 0, 3, 11, 4), P{sep});  // inverted: nothing to trace
    // A part starting inside the block: points in mask coordinates.
    m.Empty();
    m.SetRectangle(4, 3, 11, 9, 1);
    m.SetRectangle(7, 5, 8, 6, 0);  // a hole
    const P ring = VXMaskToPolygons(&m, 0, 0, 15, 11, 4);
    EXPECT_EQ(std::count(ring.begin(), ring.end(), sep), 3) << "outline and hole";
    EXPECT_EQ(ring[1], (TPoint{4, 3}));
  }
}

TEST(Contours, SeparateObjects) {
  auto page = [](std::initializer_list<TRect> squares) {
    auto b = std::make_unique<TVXBitmap>(40, 30, vx24RGB);
    b->Fill(0xD0D0D0);
    for (const TRect& r : squares)
      for (int32_t y = r.Top; y <= r.Bottom; ++y)
        for (int32_t x = r.Left; x <= r.Right; ++x) b->SetPixels_vx24RGB(x, y, TRGB{40, 30, 20});
    return b;
  };
  using R = std::vector<TRect>;
  auto b = page({{10, 10, 12, 12}});
  auto proc = TVexlaneProc::CreateFromBitmap(b.get());
  EXPECT_EQ(proc->SeparateObjects(4, false), (R{{10, 10, 12, 12}}));
  EXPECT_EQ(proc->SeparateObjects(3, true), (R{{10, 10, 12, 12}}));
  // The colour-range form: the background is the range, and the boxes are
  // the same as those of the grey form.
  EXPECT_EQ(proc->SeparateObjects(4, false, TRGB{200, 200, 200}, TRGB{220, 220, 220}), (R{{10, 10, 12, 12}}));
  EXPECT_EQ(proc->SeparateObjects(4, false, TRGB{0, 0, 0}, TRGB{255, 255, 255}), R{});
  // Two squares one light column apart: their outlines share it, so their
  // boxes overlap and merge; without merging each keeps its own.
  auto two = page({{10, 10, 12, 12}, {14, 10, 16, 12}, {25, 20, 27, 24}});
  auto p2 = TVexlaneProc::CreateFromBitmap(two.get());
  EXPECT_EQ(p2->SeparateObjects(4, true), (R{{10, 10, 16, 12}, {25, 20, 27, 24}}));
  EXPECT_EQ(p2->SeparateObjects(4, false), (R{{10, 10, 12, 12}, {14, 10, 16, 12}, {25, 20, 27, 24}}));
  // A 1-bit page: clear bits are the objects.
  TVXBitmap bw(30, 20, vx1g);
  bw.Fill(1);
  for (int32_t y = 4; y <= 8; ++y)
    for (int32_t x = 6; x <= 9; ++x) bw.SetPixels_vx1g(x, y, false);
  auto p3 = TVexlaneProc::CreateFromBitmap(&bw);
  EXPECT_EQ(p3->SeparateObjects(3, true), (R{{6, 4, 9, 8}}));
  // Without a bitmap the analysis does not start.
  TVexlaneProc none;
  none.SetAttachedVXBitmap(nullptr);
  EXPECT_TRUE(none.SeparateObjects(4, true).empty());
}

// ---------------------------------------------------------------------------
// Local threshold, Sobel, histogram comparison

// The vx8g conversion the operations start from.
std::string GreyBytes(TVXBitmap* b) {
  if (b->PixelFormat() == vx8g) return numpy_oracle::Pixels(b);
  TVXBitmap g(b->Width(), b->Height(), vx8g);
  g.CopyAndConvertFormat(b);
  return numpy_oracle::Pixels(&g);
}

TEST(LocalThreshold, AllModesEqualNumpy) {
  SKIP_WITHOUT_NUMPY();
  auto photo = procfixture::Photo(37, 29);
  const std::string script =
      "g = load(0, np.int64, (29, 37))\n"
      "H, W = g.shape\n"
      "out = []\n"
      "for win in (2, 5, 10, 11, 40):\n"
      "    h = win // 2\n"
      "    for off in (0, 7, -5):\n"
      "        for mode in range(3):\n"
      "            o = np.zeros((H, W), np.uint8)\n"
      "            for y in range(H):\n"
      "                for x in range(W):\n"
      "                    w = g[max(y - h + 1, 0):min(y + h, H - 1) + 1, max(x - h + 1, 0):min(x + h, W - 1) + 1]\n"
      "                    if mode == 0: t = w.sum() // w.size\n"
      "                    elif mode == 1: t = np.sort(w.ravel())[w.size // 2]\n"
      "                    else: t = (w.min() + w.max()) >> 1\n"
      "                    o[y, x] = g[y, x] >= t - off\n"
      "            out.append(np.packbits(o, axis=1))\n"
      "save(np.stack(out))\n";
  std::string grey;
  for (char c : GreyBytes(photo.get())) {
    const int64_t v = uint8_t(c);
    grey.append(reinterpret_cast<const char*>(&v), 8);
  }
  const std::string want = numpy_oracle::Run(script, {grey});
  const size_t one = size_t((37 + 7) / 8) * 29;
  ASSERT_EQ(want.size(), 5 * 3 * 3 * one);
  size_t at = 0;
  for (int32_t win : {2, 5, 10, 11, 40})
    for (int32_t off : {0, 7, -5})
      for (TVXThreshMode mode : {vxtMean, vxtMedian, vxtMeanMinMax}) {
        TVXBitmap b(photo.get());
        auto proc = TVexlaneProc::CreateFromBitmap(&b);
        proc->ConvertToBWLocalThreshold(win, mode, off);
        ASSERT_EQ(b.PixelFormat(), vx1g);
        EXPECT_TRUE(SameBytes(numpy_oracle::Pixels(&b), want.substr(at, one)))
            << "window " << win << " offset " << off << " mode " << mode;
        at += one;
      }
}

TEST(LocalThreshold, UniformPagesSmallWindowsAndUndo) {
  // A uniform image is white in every mode (grey = T is not below T).
  for (TVXThreshMode mode : {vxtMean, vxtMedian, vxtMeanMinMax}) {
    TVXBitmap b(19, 7, vx24RGB);
    b.Fill(0x606060);
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->ConvertToBWLocalThreshold(6, mode, 0);
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 19; ++x) ASSERT_TRUE(b.Pixels_vx1g(x, y)) << mode << " " << x << "," << y;
  }
  // Windows below 2 change nothing and save no undo entry; others save one.
  TFakeViewHost host;
  host.Image()->Assign(procfixture::Photo(12, 9).get());
  TVXBitmap original(host.Image());
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVexlane(&host);
  for (int32_t win : {1, 0, -4}) proc.ConvertToBWLocalThreshold(win, vxtMean, 0);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(numpy_oracle::Pixels(host.Image()), numpy_oracle::Pixels(&original));
  proc.ConvertToBWLocalThreshold(4, vxtMedian, 3);
  EXPECT_EQ(host.Image()->PixelFormat(), vx1g);
  EXPECT_EQ(proc.GetUndoCaptions(0), "ConvertToBWLocalThreshold");
  proc.Undo();
  EXPECT_EQ(numpy_oracle::Pixels(host.Image()), numpy_oracle::Pixels(&original));
}

TEST(Sobel, MagnitudeEqualsNumpyStepsAndUniformImages) {
  SKIP_WITHOUT_NUMPY();
  // Noise reaches magnitudes far above 255 (stored as 255); the colour image
  // goes through its grey conversion.
  auto noise = procfixture::Noise(31, 17, vx8g, 6);
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 31; ++x) noise->SetPixels_vx8(x, y, noise->Pixels_vx8(x, y) > 127 ? 255 : 0);
  auto photo = procfixture::Photo(31, 17);
  const std::string script =
      "out = []\n"
      "for i in range(2):\n"
      "    g = load(i, np.uint8, (17, 31)).astype(np.int64)\n"
      "    gx = g[:-2, 2:] + 2 * g[1:-1, 2:] + g[2:, 2:] - g[:-2, :-2] - 2 * g[1:-1, :-2] - g[2:, :-2]\n"
      "    gy = g[2:, :-2] + 2 * g[2:, 1:-1] + g[2:, 2:] - g[:-2, :-2] - 2 * g[:-2, 1:-1] - g[:-2, 2:]\n"
      "    o = np.zeros(g.shape, np.uint8)\n"
      "    o[1:-1, 1:-1] = np.minimum(np.trunc(np.sqrt(gx * gx + gy * gy) / 4), 255)\n"
      "    out.append(o)\n"
      "save(np.stack(out))\n";
  const std::string want = numpy_oracle::Run(script, {GreyBytes(noise.get()), GreyBytes(photo.get())});
  ASSERT_EQ(want.size(), size_t(2 * 31 * 17));
  EXPECT_NE(want.find('\xff'), std::string::npos) << "the noise reaches the cap";
  size_t at = 0;
  for (TVXBitmap* src : {noise.get(), photo.get()}) {
    TVXBitmap b(src);
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->EdgeDetect_Sobel();
    ASSERT_EQ(b.PixelFormat(), vx8g);
    EXPECT_TRUE(SameBytes(numpy_oracle::Pixels(&b), want.substr(at, 31 * 17)));
    at += 31 * 17;
  }
  // A vertical step from 0 to 255: 255 on both sides of it, 0 elsewhere;
  // a uniform image: 0 everywhere.
  TVXBitmap step(10, 6, vx8g);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 5; x < 10; ++x) step.SetPixels_vx8(x, y, 255);
  VXDoSobel(&step, nullptr, nullptr);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 10; ++x)
      EXPECT_EQ(step.Pixels_vx8(x, y), (y > 0 && y < 5 && (x == 4 || x == 5)) ? 255 : 0) << x << "," << y;
  TVXBitmap flat(8, 8, vx24RGB);
  flat.Fill(0x7F3A10);
  VXDoSobel(&flat, nullptr, nullptr);
  EXPECT_EQ(numpy_oracle::Pixels(&flat), std::string(64, '\0'));
  // Undo caption.
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.AttachedVXBitmap()->Assign(photo.get());
  proc.EdgeDetect_Sobel();
  EXPECT_EQ(proc.GetUndoCaptions(0), "EdgeDetect_Sobel");
}

TEST(HistogramCompare, DistancesAndComparisons) {
  struct Case {
    std::vector<uint32_t> a, b;
    TVXCmpMode mode;
    double distance;
  };
  const Case cases[] = {
      {{3, 3, 3}, {3, 3, 3}, vxcmpRMSE, 0},  // every counter equal
      {{0, 4}, {2, 0}, vxcmpRMSE, std::sqrt(10.0) / 4},
      {{0, 4}, {2, 0}, vxcmpHamming, 1},
      {{1, 4, 5, 9}, {1, 0, 5, 2}, vxcmpHamming, 0.5},
      {{0, 4}, {2, 0}, vxcmpCovariance, -2},
      {{1, 2, 3, 4, 9}, {2, 1, 4, 3, 0, 7}, vxcmpCovariance, -2},  // over the shorter length
  };
  for (const Case& c : cases) EXPECT_NEAR(VXHistogramDistance(c.a, c.b, c.mode), c.distance, 1e-12) << c.mode;

  auto a = procfixture::Photo(30, 20);
  auto proc = TVexlaneProc::CreateFromBitmap(a.get());
  for (TVXCmpMode mode : {vxcmpRMSE, vxcmpHamming})
    for (bool grey : {false, true}) EXPECT_EQ(proc->CompareHistogramWith(a.get(), mode, grey), 1.0);

  // Another image of another size: both histograms over (0, 0) .. (this
  // width, the other's height), each cut to its own bitmap.
  SKIP_WITHOUT_NUMPY();
  auto b = procfixture::Noise(40, 10, vx24RGB, 3);
  const std::string script =
      "a = load(0, np.uint8, (20, 30, 3))[:10, :30].astype(np.int64)\n"
      "b = load(1, np.uint8, (10, 40, 3))[:10, :30].astype(np.int64)\n"
      "def hists(p):\n"
      "    g = (p[:, :, 2] * 21 + p[:, :, 1] * 71 + p[:, :, 0] * 8) // 100\n"
      "    return [np.bincount(c.ravel(), minlength=256).astype(np.float64) for c in (p[:, :, 2], p[:, :, 1], p[:, :, 0], g)]\n"
      "def dist(x, y, mode):\n"
      "    if mode == 0:\n"
      "        lo, hi = min(x.min(), y.min()), max(x.max(), y.max())\n"
      "        return 0.0 if hi == lo else np.sqrt(((x - y) ** 2).sum() / 256) / (hi - lo)\n"
      "    if mode == 1: return (x != y).sum() / 256\n"
      "    return ((x - x.mean()) * (y - y.mean())).mean()\n"
      "ha, hb = hists(a), hists(b)\n"
      "out = []\n"
      "for mode in range(3):\n"
      "    out.append(1 - sum(dist(ha[i], hb[i], mode) for i in range(3)) / 3)\n"
      "    out.append(1 - dist(ha[3], hb[3], mode))\n"
      "save(np.array(out, np.float64))\n";
  const std::string want = numpy_oracle::Run(script, {numpy_oracle::Pixels(a.get()), numpy_oracle::Pixels(b.get())});
  ASSERT_EQ(want.size(), 6 * sizeof(double));
  int i = 0;
  for (TVXCmpMode mode : {vxcmpRMSE, vxcmpHamming, vxcmpCovariance})
    for (bool grey : {false, true}) {
      double expected;
      std::memcpy(&expected, want.data() + 8 * i++, 8);
      EXPECT_NEAR(proc->CompareHistogramWith(b.get(), mode, grey), expected, 1e-9 * std::max(1.0, std::abs(expected)))
          << mode << " " << grey;
    }
  // Only vx24RGB images are compared (without conversion: 0).
  auto grey = procfixture::Noise(10, 10, vx8g, 2);
  auto pg = TVexlaneProc::CreateFromBitmap(grey.get());
  pg->SetAutoConvertFormat(false);
  EXPECT_EQ(pg->CompareHistogramWith(a.get(), vxcmpRMSE, true), 0.0);
}

TEST(Geometry, RectsIntersectAndVisibility) {
  struct Case {
    int32_t x1, y1, x2, y2;
    bool meets;
    int32_t visibility;  // against the box (10, 10, 20, 20)
  };
  const Case cases[] = {
      {12, 12, 18, 18, true, 2},   // inside
      {18, 12, 12, 18, true, 2},   // corners in another order
      {15, 15, 25, 18, true, 1},   // half inside
      {5, 5, 15, 15, true, 1},     // one corner inside
      {0, 0, 9, 30, false, 0},     // left of the box
      {20, 20, 30, 30, true, 1},   // touching corner: edges count
      {0, 0, 30, 30, true, 0},     // covers the box, no coordinate inside
      {12, 0, 18, 30, true, 0},    // both x inside, no y inside
      {21, 10, 30, 20, false, 0},  // right of the box
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2);
    EXPECT_EQ(VXRectsIntersect(c.x1, c.y1, c.x2, c.y2, 10, 10, 20, 20), c.meets);
    EXPECT_EQ(VXRectVisibility(10, 10, 20, 20, c.x1, c.y1, c.x2, c.y2), c.visibility);
  }
}

}  // namespace
