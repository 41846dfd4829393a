// Rotation and flips: the core engines (three shears, nearest pixel, exact
// turns, bilinear and bicubic renderers, flips) held to numpy and to a plain
// evaluation of their rules; the bitmap's and the component's rotations,
// rotate-and-crop, deinterlacing, the transparent-border crop and the image
// tests and hash.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/resample_hook.h"
#include "core/rotate.h"
#include "core/rotate_internal.h"
#include "core/startup.h"
#include "core/streams.h"
#include "numpy_oracle.h"
#include "platform/win_sound.h"
#include "proc/proc.h"

namespace {

std::mt19937& Rng() {
  static std::mt19937 rng(20261210);
  return rng;
}

// A bitmap of random content; 1-bit rows get random padding bits too.
void FillRandom(TVXBitmap& b, int32_t w, int32_t h, TVXPixelFormat pf) {
  ASSERT_TRUE(b.Allocate(w, h, pf));
  const size_t used = (size_t(w) * size_t(b.BitCount()) + 7) / 8;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* r = static_cast<uint8_t*>(b.ScanLine(y));
    for (size_t i = 0; i < used; ++i) r[i] = uint8_t(Rng()());
  }
  if (pf == vx8p)
    for (int i = 0; i < 256; ++i) b.SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)});
}

// The 1-bit pixels as one byte (0 or 1) each, rows top to bottom.
std::string UnpackBits(TVXBitmap& b) {
  std::string out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* r = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < b.Width(); ++x) out.push_back(char((r[x >> 3] >> (7 - (x & 7))) & 1));
  }
  return out;
}

// Pixel bytes (unpacked bits for vx1g).
std::string Content(TVXBitmap& b) { return b.PixelFormat() == vx1g ? UnpackBits(b) : numpy_oracle::Pixels(&b); }

std::string Num(double v) {
  char t[64];
  std::snprintf(t, sizeof t, "%.17g", v);
  return t;
}

const char* FormatName(TVXPixelFormat pf) {
  switch (pf) {
    case vx1g: return "vx1g";
    case vx8g: return "vx8g";
    case vx8p: return "vx8p";
    case vx16g: return "vx16g";
    case vx24RGB: return "vx24RGB";
    case vx48RGB: return "vx48RGB";
    default: return "?";
  }
}

// numpy's answers for the pixels of each bitmap (each pixel of its bytes),
// in one run: the turns by 90, 180, 270 and -90 degrees, then the
// horizontal and vertical flips.
std::vector<std::vector<std::string>> NumpyTurnsAndFlips(const std::vector<TVXBitmap*>& bitmaps) {
  std::string snippet = "out = []\n";
  std::vector<std::string> inputs;
  for (size_t i = 0; i < bitmaps.size(); ++i) {
    TVXBitmap& b = *bitmaps[i];
    const int32_t bytes = b.PixelFormat() == vx1g ? 1 : b.BitCount() / 8;
    snippet += "a = load(" + std::to_string(i) + ", np.uint8, (" + std::to_string(b.Height()) + "," +
               std::to_string(b.Width()) + "," + std::to_string(bytes) + "))\n"
               "out += [x.ravel() for x in (np.rot90(a, 1), np.rot90(a, 2), np.rot90(a, 3), np.rot90(a, -1), "
               "np.flip(a, 1), np.flip(a, 0))]\n";
    inputs.push_back(Content(b));
  }
  snippet += "save(np.concatenate(out))\n";
  const std::string all = numpy_oracle::Run(snippet, inputs);
  std::vector<std::vector<std::string>> out;
  size_t at = 0;
  for (const std::string& in : inputs) {
    out.emplace_back();
    for (int k = 0; k < 6; ++k, at += in.size()) out.back().push_back(all.substr(std::min(at, all.size()), in.size()));
  }
  return out;
}

// ---------------------------------------------------------------------------
// Exact turns and flips against numpy

TEST(RotateExact, QuarterHalfTurnsAndFlipsEqualNumpy) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    TVXPixelFormat pf;
    int32_t w, h;
  };
  std::vector<Case> cases = {{vx8g, 7, 5}, {vx8p, 6, 9}, {vx16g, 5, 3}, {vx24RGB, 9, 4}, {vx48RGB, 3, 7},
                             {vx24RGB, 70, 45}};
  for (int32_t w = 1; w <= 17; ++w) cases.push_back({vx1g, w, 3 + w % 4});
  std::vector<std::unique_ptr<TVXBitmap>> sources;
  std::vector<TVXBitmap*> pointers;
  for (const Case& c : cases) {
    sources.push_back(std::make_unique<TVXBitmap>());
    FillRandom(*sources.back(), c.w, c.h, c.pf);
    pointers.push_back(sources.back().get());
  }
  const std::vector<std::vector<std::string>> answers = NumpyTurnsAndFlips(pointers);
  for (size_t n = 0; n < cases.size(); ++n) {
    const Case& c = cases[n];
    SCOPED_TRACE(std::string(FormatName(c.pf)) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
    TVXBitmap& src = *sources[n];
    const std::vector<std::string>& expected = answers[n];
    const double angles[] = {90, 180, 270, -90};
    for (int k = 0; k < 4; ++k) {
      SCOPED_TRACE("angle " + Num(angles[k]));
      TVXBitmap b(&src);
      VXRotateNearest(&b, 0, nullptr, nullptr, angles[k]);
      EXPECT_EQ(Content(b), expected[size_t(k)]);
      EXPECT_EQ(b.Width(), k == 1 ? c.w : c.h);
      if (c.pf == vx8p) {
        EXPECT_EQ(b.Palette(5), src.Palette(5));
      }
      if (c.pf == vx1g || c.pf == vx8g || c.pf == vx8p) {
        TVXBitmap n(&src);
        if (c.pf == vx1g) {
          TProgressRec progress;
          VXRotate1Bit(&n, false, progress, angles[k]);
        } else {
          VXRotateNearest8(&n, 0, angles[k]);
        }
        EXPECT_EQ(Content(n), expected[size_t(k)]);
      }
      {
        // The three shears turn exactly; formats other than vx24RGB and
        // vx1g take the nearest-pixel renderer, which turns them exactly too.
        TVXBitmap s(&src);
        VXRotateShear24(&s, true, nullptr, nullptr, TRGB{1, 2, 3}, angles[k]);
        EXPECT_EQ(Content(s), expected[size_t(k)]);
      }
      if (c.pf == vx8g) {
        TVXBitmap s(&src);
        VXRotateShear8(&s, true, 9, nullptr, nullptr, angles[k]);
        EXPECT_EQ(Content(s), expected[size_t(k)]);
      }
    }
    if (c.pf == vx24RGB || c.pf == vx8g || c.pf == vx8p) {
      const bool wide = c.pf == vx24RGB;
      TVXBitmap cw, ccw;
      (wide ? VXRotate90CW24 : VXRotate90CW8)(&src, &cw);
      (wide ? VXRotate90CCW24 : VXRotate90CCW8)(&src, &ccw);
      EXPECT_EQ(Content(ccw), expected[0]);
      EXPECT_EQ(Content(cw), expected[2]);
    }
    for (int k = 0; k < 2; ++k) {
      TVXBitmap b(&src);
      VXFlipBitmap(&b, k == 0 ? fdHorizontal : fdVertical);
      EXPECT_EQ(Content(b), expected[size_t(4 + k)]) << (k == 0 ? "horizontal" : "vertical");
      VXFlipBitmap(&b, k == 0 ? fdHorizontal : fdVertical);
      EXPECT_EQ(Content(b), Content(src));
    }
  }
}

// The quarter turns work in tiles and move 3-byte pixels as words: widths and
// heights around the tile and word edges, in every pixel format they take,
// against the turn done one pixel at a time.
TEST(RotateExact, QuarterTurnsOfOddSizesInEveryFormatEqualThePlainTurn) {
  const TVXPixelFormat formats[] = {vx1g, vx8g, vx8p, vx16g, vx24RGB, vx32RGB, vx32f, vxCMYK, vx48RGB, vxCIELab};
  for (TVXPixelFormat pf : formats) {
    for (int32_t w : {1, 2, 3, 17, 4097}) {
      for (int32_t h : {1, 2, 65}) {
        SCOPED_TRACE(std::string(FormatName(pf)) + " " + std::to_string(int(pf)) + " " + std::to_string(w) + "x" +
                     std::to_string(h));
        TVXBitmap src;
        FillRandom(src, w, h, pf);
        const std::string in = Content(src);
        const size_t bytes = pf == vx1g ? 1 : size_t(src.BitCount() / 8);
        for (const bool cw : {false, true}) {
          TVXBitmap out;
          if (pf == vx24RGB)
            (cw ? VXRotate90CW24 : VXRotate90CCW24)(&src, &out);
          else if (pf == vx8g || pf == vx8p)
            (cw ? VXRotate90CW8 : VXRotate90CCW8)(&src, &out);
          else
            VXRotateNearestTo(&src, &out, 0, nullptr, nullptr, cw ? -90 : 90);
          ASSERT_EQ(out.Width(), h);
          ASSERT_EQ(out.Height(), w);
          std::string expected(in.size(), '\0');
          for (int32_t Y = 0; Y < w; ++Y)
            for (int32_t X = 0; X < h; ++X) {
              const int32_t sx = cw ? Y : w - 1 - Y, sy = cw ? h - 1 - X : X;
              std::memcpy(&expected[(size_t(Y) * size_t(h) + size_t(X)) * bytes],
                          &in[(size_t(sy) * size_t(w) + size_t(sx)) * bytes], bytes);
            }
          EXPECT_TRUE(Content(out) == expected) << (cw ? "clockwise" : "counter-clockwise");
        }
      }
    }
  }
}

TEST(RotateExact, FlipTakesTheAlphaChannelAlong) {
  TVXBitmap b;
  FillRandom(b, 5, 3, vx24RGB);
  TVXBitmap* alpha = b.AlphaChannel();
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) alpha->SetPixels_vx8(x, y, uint8_t(y * 10 + x));
  VXFlipBitmap(&b, fdHorizontal);
  EXPECT_EQ(b.AlphaChannel()->Pixels_vx8(0, 1), 14);
  VXFlipBitmap(&b, fdVertical);
  EXPECT_EQ(b.AlphaChannel()->Pixels_vx8(0, 0), 24);
  EXPECT_EQ(b.AlphaChannel()->Pixels_vx8(4, 2), 0);
}

TEST(RotateExact, HalfTurnOfA13PixelRowStaysLeftAligned) {
  TVXBitmap b(13, 1, vx1g);
  uint8_t* r = static_cast<uint8_t*>(b.ScanLine(0));
  r[0] = 0x80;  // pixel 0 white
  r[1] = 0x0F;  // pixels 12 white and three padding bits set
  TProgressRec progress;
  VXRotate1Bit(&b, false, progress, 180);
  r = static_cast<uint8_t*>(b.ScanLine(0));
  EXPECT_EQ(r[0], 0x80);  // pixel 12 now at 0
  EXPECT_EQ(r[1], 0x08);  // pixel 0 now at 12, no padding bit moved in
}

// ---------------------------------------------------------------------------
// The three-shear rotation against a plain evaluation of its rule

struct TPlain {
  int64_t w = 0, h = 0, nc = 0;
  std::vector<uint8_t> p;
  uint8_t* at(int64_t x, int64_t y) { return p.data() + (y * w + x) * nc; }
};

TPlain FromBitmap(TVXBitmap& b, int nc) {
  TPlain r{b.Width(), b.Height(), nc, {}};
  const std::string px = numpy_oracle::Pixels(&b);
  r.p.assign(px.begin(), px.end());
  return r;
}

TPlain PlainShear(TPlain img, bool aa, const std::vector<uint8_t>& bg, double Angle) {
  const int nc = int(img.nc);
  auto blank = [&](int64_t w, int64_t h) {
    TPlain r{w, h, nc, std::vector<uint8_t>(size_t(w * h * nc))};
    for (int64_t i = 0; i < w * h; ++i)
      for (int ch = 0; ch < nc; ++ch) r.p[size_t(i * nc + ch)] = bg[size_t(ch)];
    return r;
  };
  auto turn = [&](TPlain& s, bool ccw) {
    TPlain d{s.h, s.w, nc, std::vector<uint8_t>(s.p.size())};
    for (int64_t y = 0; y < d.h; ++y)
      for (int64_t x = 0; x < d.w; ++x)
        std::memcpy(d.at(x, y), ccw ? s.at(s.w - 1 - y, x) : s.at(y, s.h - 1 - x), size_t(nc));
    s = d;
  };
  auto blend = [](int32_t prev, int32_t cur, int32_t f, int32_t g) {
    const double v = std::floor(double(prev * f + cur * g + 2048) / 4096);
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
  };
  const int64_t a = int64_t(std::trunc(Angle * 1000)) % 360000;
  double angle = double(a) / 1000;
  while (angle > 45) {
    angle -= 90;
    turn(img, true);
  }
  while (angle < -45) {
    angle += 90;
    turn(img, false);
  }
  if (angle == 0) return img;
  const int64_t W = img.w, H = img.h;
  const double th = angle * M_PI / 180;
  const double k = std::fabs(std::sin(th / 2) / std::cos(th / 2)), s = std::fabs(std::sin(th));
  auto R = [](double v) { return int64_t(std::nearbyint(v)); };
  const int64_t t = R(H * k + W + 1), m = R((t - W) * s);
  const int64_t h1 = R(s * t + H + 1), w = R(k * (h1 - H - m)), V = h1 - 2 * m;
  const int64_t Wf = R(k * V + t + 1 - 2 * w);
  TPlain b1 = blank(t, H);
  for (int64_t i = 0; i < H; ++i) {
    const double o = (th > 0 ? i : H - i) * k;
    const int64_t n = R(o);
    const int32_t f = int32_t(std::trunc((o - n) * 4096)), g = int32_t(std::trunc(4096.0 - f));
    std::vector<uint8_t> prev = bg;
    for (int64_t j = 0; j < W; ++j) {
      for (int ch = 0; ch < nc; ++ch)
        b1.at(n + j, i)[ch] = aa ? blend(prev[size_t(ch)], img.at(j, i)[ch], f, g) : img.at(j, i)[ch];
      prev.assign(img.at(j, i), img.at(j, i) + nc);
    }
    if (aa && f > 0 && n + W < t)
      for (int ch = 0; ch < nc; ++ch) b1.at(n + W, i)[ch] = blend(prev[size_t(ch)], bg[size_t(ch)], f, g);
  }
  TPlain b2 = blank(t, V);
  for (int64_t c = 0; c < t; ++c) {
    const double o = (th > 0 ? t - c : c) * s;
    const int64_t p = R(o), shift = p - m;
    const int32_t f = int32_t(R((o - p) * 4096)), g = 4096 - f;
    std::vector<uint8_t> prev = bg;
    for (int64_t r = 0; r < H; ++r) {
      if (r + shift < 0 || r + shift >= V) continue;
      for (int ch = 0; ch < nc; ++ch)
        b2.at(c, r + shift)[ch] = aa ? blend(prev[size_t(ch)], b1.at(c, r)[ch], f, g) : b1.at(c, r)[ch];
      prev.assign(b1.at(c, r), b1.at(c, r) + nc);
    }
    if (aa && f > 0 && shift + H < V && shift + H >= 0)
      for (int ch = 0; ch < nc; ++ch) b2.at(c, shift + H)[ch] = blend(prev[size_t(ch)], bg[size_t(ch)], f, g);
  }
  TPlain out = blank(Wf, V);
  for (int64_t r = 0; r < V; ++r) {
    const double o = (th > 0 ? r : V - r) * k;
    const int64_t p = R(o), shift = p - w;
    const int32_t f = int32_t(R((o - p) * 4096)), g = 4096 - f;
    std::vector<uint8_t> prev = bg;
    for (int64_t c = 0; c < t; ++c) {
      if (c + shift < 0 || c + shift >= Wf) continue;
      for (int ch = 0; ch < nc; ++ch)
        out.at(c + shift, r)[ch] = aa ? blend(prev[size_t(ch)], b2.at(c, r)[ch], f, g) : b2.at(c, r)[ch];
      prev.assign(b2.at(c, r), b2.at(c, r) + nc);
    }
    if (aa && f > 0 && shift + t < Wf && shift + t >= 0)
      for (int ch = 0; ch < nc; ++ch) out.at(shift + t, r)[ch] = blend(prev[size_t(ch)], bg[size_t(ch)], f, g);
  }
  return out;
}

TEST(RotateShear, EqualsThePlainRuleOverRandomSizesAndAngles) {
  std::uniform_int_distribution<int32_t> side(1, 40);
  std::uniform_int_distribution<int32_t> milli(-400000, 400000);
  std::vector<double> angles = {45, -45, 44.9999, 45.0004, 135, -135.5, 0.001, -0.001, 1e-4, 359.999, 20, -20};
  for (int i = 0; i < 40; ++i) angles.push_back(milli(Rng()) / 1000.0 + (i % 3) * 0.0004);
  for (size_t i = 0; i < angles.size(); ++i) {
    for (int nc : {3, 1}) {
      const bool aa = (i + size_t(nc)) % 2 == 0;
      const int32_t w = side(Rng()), h = side(Rng());
      SCOPED_TRACE("angle " + Num(angles[i]) + " nc " + std::to_string(nc) + " aa " + std::to_string(aa) + " " +
                   std::to_string(w) + "x" + std::to_string(h));
      TVXBitmap b;
      FillRandom(b, w, h, nc == 3 ? vx24RGB : vx8g);
      const std::vector<uint8_t> bg = nc == 3 ? std::vector<uint8_t>{30, 150, 250} : std::vector<uint8_t>{77};
      const TPlain expected = PlainShear(FromBitmap(b, nc), aa, bg, angles[i]);
      if (nc == 3)
        VXRotateShear24(&b, aa, nullptr, nullptr, TRGB{bg[0], bg[1], bg[2]}, angles[i]);
      else
        VXRotateShear8(&b, aa, bg[0], nullptr, nullptr, angles[i]);
      ASSERT_EQ(b.Width(), expected.w);
      ASSERT_EQ(b.Height(), expected.h);
      const std::string got = numpy_oracle::Pixels(&b);
      EXPECT_TRUE(got == std::string(expected.p.begin(), expected.p.end()));
    }
  }
}

TEST(RotateShear, SizesCornersAndCuts) {
  TVXBitmap b(100, 60, vx24RGB);
  b.Fill(double(0x0000FF));  // red
  const TRGB bg{200, 100, 50};
  std::vector<int32_t> progress;
  VXRotateShear24(&b, false, nullptr, [&](void*, int32_t p) { progress.push_back(p); }, bg, 20);
  EXPECT_EQ(b.Width(), 117);
  EXPECT_EQ(b.Height(), 91);
  for (auto [x, y] : {std::pair{0, 0}, {116, 0}, {0, 90}, {116, 90}}) EXPECT_EQ(b.Pixels_vx24RGB(x, y), bg);
  EXPECT_EQ(b.Pixels_vx24RGB(58, 45), (TRGB{0, 0, 255}));
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);

  // A whole quarter turn is exact; 360.0004 is cut to 0 and leaves the image.
  TVXBitmap src;
  FillRandom(src, 8, 5, vx24RGB);
  TVXBitmap q(&src);
  VXRotateShear24(&q, true, nullptr, nullptr, bg, 90);
  ASSERT_EQ(q.Width(), 5);
  EXPECT_EQ(q.Pixels_vx24RGB(0, 0), src.Pixels_vx24RGB(7, 0));
  EXPECT_EQ(q.Pixels_vx24RGB(4, 7), src.Pixels_vx24RGB(0, 4));
  TVXBitmap z(&src);
  VXRotateShear24(&z, true, nullptr, nullptr, bg, 360.0004);
  EXPECT_EQ(numpy_oracle::Pixels(&z), numpy_oracle::Pixels(&src));
  VXRotateShear24(&z, true, nullptr, nullptr, bg, std::nan(""));
  EXPECT_EQ(numpy_oracle::Pixels(&z), numpy_oracle::Pixels(&src));
}

// ---------------------------------------------------------------------------
// The renderers against numpy

// numpy's evaluation of the renderer rules for each parameter list of PS
// (input k for PS[k]); mode 0 nearest, 1 bilinear, 2 bicubic; ring: the
// 24-bit fetch.
const char* kRendererSnippet = R"PY(
def render(P, k):
    W, H, C, mode, ring = int(P[0]), int(P[1]), int(P[2]), int(P[3]), int(P[4])
    angle, bgv = P[5], P[6]
    bg = np.array(P[7:7 + C], dtype=np.float64)
    a = load(k, np.uint8, (H, W, C)).astype(np.float64)
    th = np.longdouble(angle) * np.longdouble('3.1415926535897932385') / np.longdouble(180)
    s, c = float(np.sin(th)), float(np.cos(th))
    if mode == 0:
        TW = int(np.rint(abs(c * W) + abs(s * H))); TH = int(np.rint(abs(s * W) + abs(c * H)))
    else:
        TW = int(np.rint(abs(c * (W - 1)) + abs(s * (H - 1)))); TH = int(np.rint(abs(s * (W - 1)) + abs(c * (H - 1))))
    cxs, cys, cxd, cyd = (W - 1) / 2, (H - 1) / 2, (TW - 1) / 2, (TH - 1) / 2
    i = np.arange(TW, dtype=np.float64)[None, :]
    j = np.arange(TH, dtype=np.float64)[:, None]
    X = (i - cxd) * c + cxs; Y = (i - cxd) * s + cys
    A = (j - cyd) * s; B = (j - cyd) * c
    def fetch(x, y):
        if ring:
            ok = (x >= -1) & (x <= W) & (y >= -1) & (y <= H)
        else:
            ok = (x >= 0) & (x < W) & (y >= 0) & (y < H)
        v = a[np.clip(y, 0, H - 1), np.clip(x, 0, W - 1)]
        return np.where(ok[..., None], v, bg)
    if mode == 0:
        sx = np.rint(X).astype(np.int64) - np.rint(A).astype(np.int64)
        sy = np.rint(Y).astype(np.int64) + np.rint(B).astype(np.int64)
        ok = (sx >= 0) & (sx < W) & (sy >= 0) & (sy < H)
        out = np.where(ok[..., None], a[np.clip(sy, 0, H - 1), np.clip(sx, 0, W - 1)], bg)
    elif mode == 1:
        sx = X - A; sy = Y + B
        x0 = np.trunc(sx).astype(np.int64); y0 = np.trunc(sy).astype(np.int64)
        fx = (sx - np.floor(sx))[..., None]; fy = (sy - np.floor(sy))[..., None]
        p00, p10, p01, p11 = fetch(x0, y0), fetch(x0 + 1, y0), fetch(x0, y0 + 1), fetch(x0 + 1, y0 + 1)
        top = p00 + (p10 - p00) * fx; bottom = p01 + (p11 - p01) * fx
        out = np.trunc(top + (bottom - top) * fy)
    else:
        sx = X - A; sy = Y + B
        x0 = np.floor(sx); y0 = np.floor(sy)
        t = (sx - x0)[..., None]; u = (sy - y0)[..., None]
        x0 = x0.astype(np.int64); y0 = y0.astype(np.int64)
        def wts(t):
            return [-t * ((1 - t) * (1 - t)), 1 - 2 * t * t + t * t * t, t * (1 + t - t * t), -(1 - t) * (t * t)]
        wx, wy = wts(t), wts(u)
        rows = []
        for r in range(4):
            acc = None
            for q in range(4):
                term = fetch(x0 - 1 + q, y0 - 1 + r) * wx[q]
                acc = term if acc is None else acc + term
            rows.append(acc)
        v = rows[0] * wy[0] + rows[1] * wy[1] + rows[2] * wy[2] + rows[3] * wy[3]
        out = np.clip(np.rint(v), 0, 255)
    return np.concatenate([np.frombuffer(np.array([TW, TH], dtype=np.int32).tobytes(), dtype=np.uint8), out.astype(np.uint8).ravel()])
save(np.concatenate([render(P, k) for k, P in enumerate(PS)]))
)PY";

TEST(RotateRender, RenderersEqualNumpyAtRandomAngles) {
  SKIP_WITHOUT_NUMPY();
  std::uniform_int_distribution<int32_t> side(1, 23);
  std::uniform_real_distribution<double> ang(-380, 380);
  struct Case {
    std::string trace;
    TVXBitmap src, out, scalar;  // the vector and the scalar paths
  };
  std::vector<std::unique_ptr<Case>> cases;
  std::string params = "PS = [";
  std::vector<std::string> inputs;
  for (int n = 0; n < 30; ++n) {
    const int mode = n % 3;
    const bool wide = (n / 3) % 2 == 0;
    const int32_t w = side(Rng()), h = side(Rng());
    const double angle = n == 0 ? 45.5 : ang(Rng());
    auto c = std::make_unique<Case>();
    c->trace = "mode " + std::to_string(mode) + (wide ? " 24-bit " : " 8-bit ") + std::to_string(w) + "x" +
               std::to_string(h) + " angle " + Num(angle);
    FillRandom(c->src, w, h, wide ? vx24RGB : vx8g);
    std::vector<double> bg;
    for (TVXBitmap* target : {&c->out, &c->scalar}) {
      vxrotate::gRenderScalarOnly = target == &c->scalar;
      if (wide) {
        // Colour 0x5A3C1E: red 0x1E, green 0x3C, blue 0x5A; bytes blue, green, red.
        if (mode == 0)
          VXRotateNearestTo(&c->src, target, double(0x5A3C1E), nullptr, nullptr, angle);
        else
          VXRotateAntialias24To(&c->src, target, 0x5A3C1E, nullptr, nullptr, mode == 1 ? vxrBilinear : vxrBicubic,
                                angle);
        bg = {0x5A, 0x3C, 0x1E};
      } else {
        if (mode == 0)
          VXRotateNearestTo(&c->src, target, 77, nullptr, nullptr, angle);
        else
          VXRotateAntialias8To(&c->src, target, 77, mode == 1 ? vxrBilinear : vxrBicubic, angle);
        bg = {77};
      }
    }
    vxrotate::gRenderScalarOnly = false;
    params += "[" + std::to_string(w) + "," + std::to_string(h) + "," + std::to_string(wide ? 3 : 1) + "," +
              std::to_string(mode) + "," + std::to_string(wide && mode != 0 ? 1 : 0) + "," + Num(angle) + ",0";
    for (double v : bg) params += "," + Num(v);
    params += "],";
    inputs.push_back(numpy_oracle::Pixels(&c->src));
    cases.push_back(std::move(c));
  }
  params += "]\n";
  const std::string res = numpy_oracle::Run(params + kRendererSnippet, inputs);
  size_t at = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c->trace);
    ASSERT_GE(res.size(), at + 8);
    int32_t tw, th;
    std::memcpy(&tw, res.data() + at, 4);
    std::memcpy(&th, res.data() + at + 4, 4);
    at += 8;
    if (tw < 1 || th < 1) {
      EXPECT_TRUE(c->out.IsEmpty());
      continue;
    }
    const size_t n = size_t(tw) * size_t(th) * size_t(c->src.BitCount() / 8);
    ASSERT_EQ(c->out.Width(), tw);
    ASSERT_EQ(c->out.Height(), th);
    EXPECT_TRUE(numpy_oracle::Pixels(&c->out) == res.substr(at, n));
    EXPECT_TRUE(numpy_oracle::Pixels(&c->scalar) == res.substr(at, n));
    at += n;
  }
}

TEST(RotateRender, SizesBordersAndSpecialModes) {
  TVXBitmap src;
  FillRandom(src, 10, 4, vx24RGB);
  TVXBitmap aa, nn;
  VXRotateAntialias24To(&src, &aa, 0, nullptr, nullptr, vxrBilinear, 90);
  EXPECT_EQ(aa.Width(), 3);
  EXPECT_EQ(aa.Height(), 9);
  VXRotateNearestTo(&src, &nn, 0, nullptr, nullptr, 90);
  EXPECT_EQ(nn.Width(), 4);
  EXPECT_EQ(nn.Height(), 10);
  TVXBitmap m270;
  VXRotateNearestTo(&src, &m270, 0, nullptr, nullptr, -270.0);
  EXPECT_EQ(numpy_oracle::Pixels(&m270), numpy_oracle::Pixels(&nn));

  // Bilinear truncates: 0 and 255 half-way give 127.
  TVXBitmap two(2, 2, vx8g);
  for (int32_t y = 0; y < 2; ++y) {
    two.SetPixels_vx8(0, y, 0);
    two.SetPixels_vx8(1, y, 255);
  }
  TVXBitmap half;
  VXRotateAntialias8To(&two, &half, 0, vxrBilinear, 180);
  ASSERT_EQ(half.Width(), 1);
  EXPECT_EQ(half.Pixels_vx8(0, 0), 127);

  // A mode that is not an interpolation fills with the background; an empty
  // source gives an empty target.
  TVXBitmap filled;
  VXRotateAntialias24To(&src, &filled, 0x0000FF, nullptr, nullptr, vxrFast, 30);
  ASSERT_FALSE(filled.IsEmpty());
  EXPECT_EQ(filled.Pixels_vx24RGB(1, 1), (TRGB{0, 0, 255}));
  TVXBitmap empty, target(3, 3, vx24RGB);
  VXRotateAntialias24To(&empty, &target, 0, nullptr, nullptr, vxrBilinear, 30);
  EXPECT_TRUE(target.IsEmpty());

  // vx1g rotates on black whatever the background; vx8p keeps its palette.
  TVXBitmap bits(9, 9, vx1g);
  bits.Fill(1);
  VXRotateNearest(&bits, 1, nullptr, nullptr, 30);
  EXPECT_FALSE(bits.Pixels_vx1g(0, 0));
  EXPECT_TRUE(bits.Pixels_vx1g(bits.Width() / 2, bits.Height() / 2));
  TVXBitmap pal;
  FillRandom(pal, 6, 6, vx8p);
  VXRotateNearest(&pal, 3, nullptr, nullptr, 33);
  EXPECT_EQ(pal.Palette(200), (TRGB{200, 55, uint8_t(1400 % 256)}));
}

// The four-decimal nearest rule, in numpy, for the 8-bit rotation; the 1-bit
// one must give the same picture on the same bits.
TEST(RotateNearestRule, EightAndOneBitFollowTheFourDecimalRule) {
  SKIP_WITHOUT_NUMPY();
  const char* snippet = R"PY(
W, H, angle, fill = int(P[0]), int(P[1]), P[2], int(P[3])
a = load(0, np.uint8, (H, W))
r = -angle / 57.295779513082320877
c = np.trunc(np.cos(r) * 10000) / 10000; s = np.trunc(np.sin(r) * 10000) / 10000
NW = int(np.trunc(abs(W * c) + abs(H * s))); NH = int(np.trunc(abs(W * s) + abs(H * c)))
j = np.arange(NW, dtype=np.float64); dj = j - (NW / 2 - 0.5)
px = np.trunc(c * dj).astype(np.int64); py = np.trunc(-s * dj).astype(np.int64)
i = np.arange(NH, dtype=np.float64); di = i - (NH / 2 - 0.5)
u = np.trunc(s * di + (W / 2 - 0.5)).astype(np.int64); v = np.trunc(c * di + (H / 2 - 0.5)).astype(np.int64)
sx = u[:, None] + px[None, :]; sy = v[:, None] + py[None, :]
ok = (sx >= 0) & (sx < W) & (sy >= 0) & (sy < H)
out = np.where(ok, a[np.clip(sy, 0, H - 1), np.clip(sx, 0, W - 1)], fill).astype(np.uint8)
save(np.concatenate([np.frombuffer(np.array([NW, NH], dtype=np.int32).tobytes(), dtype=np.uint8), out.ravel()]))
)PY";
  std::uniform_int_distribution<int32_t> side(1, 30);
  std::uniform_real_distribution<double> ang(-200, 200);
  for (int n = 0; n < 8; ++n) {
    const int32_t w = side(Rng()), h = side(Rng());
    const double angle = ang(Rng());
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " angle " + Num(angle));
    TVXBitmap g(w, h, vx8g), bits(w, h, vx1g);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        const bool on = Rng()() & 1;
        g.SetPixels_vx8(x, y, on ? 255 : 0);
        bits.SetPixels_vx1g(x, y, on);
      }
    const std::string res = numpy_oracle::Run(
        "P = [" + std::to_string(w) + "," + std::to_string(h) + "," + Num(angle) + ",128]\n" + snippet,
        {numpy_oracle::Pixels(&g)});
    VXRotateNearest8(&g, 128, angle);
    TProgressRec progress;
    VXRotate1Bit(&bits, true, progress, angle);
    ASSERT_GE(res.size(), 8u);
    int32_t nw, nh;
    std::memcpy(&nw, res.data(), 4);
    std::memcpy(&nh, res.data() + 4, 4);
    if (nw < 1 || nh < 1) continue;
    ASSERT_EQ(g.Width(), nw);
    ASSERT_EQ(g.Height(), nh);
    EXPECT_TRUE(numpy_oracle::Pixels(&g) == res.substr(8));
    ASSERT_EQ(bits.Width(), nw);
    for (int32_t y = 0; y < nh; ++y)
      for (int32_t x = 0; x < nw; ++x) {
        const uint8_t v = g.Pixels_vx8(x, y);
        ASSERT_EQ(bits.Pixels_vx1g(x, y), v != 0) << x << "," << y;  // fill 128 and white agree
      }
  }
}

// ---------------------------------------------------------------------------
// The component's and the bitmap's rotations and flips

// An alpha channel with a pattern of its own.
void AddAlpha(TVXBitmap& b) {
  TVXBitmap* a = b.AlphaChannel();
  for (int32_t y = 0; y < a->Height(); ++y)
    for (int32_t x = 0; x < a->Width(); ++x) a->SetPixels_vx8(x, y, uint8_t(1 + (x * 37 + y * 11) % 250));
}

TEST(RotateComponent, QuarterAndHalfTurnsOfEveryModeEqualNumpy) {
  SKIP_WITHOUT_NUMPY();
  const TVXPixelFormat formats[] = {vx1g, vx8g, vx8p, vx16g, vx24RGB, vx48RGB};
  const double angles[] = {90, 180, 270, -90};
  for (TVXPixelFormat pf : formats) {
    SCOPED_TRACE(FormatName(pf));
    TVXBitmap src;
    FillRandom(src, 11, 6, pf);
    AddAlpha(src);
    const std::vector<std::vector<std::string>> answers = NumpyTurnsAndFlips({&src, src.AlphaChannel()});
    const std::vector<std::string>& image = answers[0];
    const std::vector<std::string>& alpha = answers[1];
    for (TVXAntialiasMode mode : {vxrNone, vxrFast, vxrBilinear, vxrBicubic}) {
      for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE("mode " + std::to_string(int(mode)) + " angle " + Num(angles[k]));
        TVXBitmap b(&src);
        auto proc = TVexlaneProc::CreateFromBitmap(&b);
        proc->Rotate(angles[k], mode, 0x00FF00);
        EXPECT_EQ(Content(b), image[size_t(k)]);
        ASSERT_TRUE(b.HasAlphaChannel());
        EXPECT_EQ(Content(*b.AlphaChannel()), alpha[size_t(k)]);
      }
    }
    TVXBitmap b(&src);
    auto proc = TVexlaneProc::CreateFromBitmap(&b);
    proc->Flip(fdHorizontal);
    EXPECT_EQ(Content(b), image[4]);
    EXPECT_EQ(Content(*b.AlphaChannel()), alpha[4]);
    proc->Flip(fdHorizontal);
    b.Flip(fdVertical);
    EXPECT_EQ(Content(b), image[5]);
    EXPECT_EQ(Content(*b.AlphaChannel()), alpha[5]);
    b.Flip(fdVertical);
    EXPECT_EQ(Content(b), Content(src));
    EXPECT_EQ(Content(*b.AlphaChannel()), Content(*src.AlphaChannel()));
  }
}

TEST(RotateComponent, ShearSizeCornersUndoAndCuts) {
  TVXBitmap b(100, 60, vx24RGB);
  b.Fill(double(0x335577));  // odd levels stay themselves through the blends
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&b);
  proc.SetBackground(0x336699);
  int finished = 0;
  proc.OnFinishWork = [&](void*) { ++finished; };
  proc.Rotate(0, vxrFast, -1);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_EQ(finished, 0);
  proc.Rotate(20, vxrFast, -1);
  EXPECT_EQ(b.Width(), 117);
  EXPECT_EQ(b.Height(), 91);
  const TRGB bg = VXColorToTRGB(0x336699);
  for (auto [x, y] : {std::pair{0, 0}, {116, 0}, {0, 90}, {116, 90}}) EXPECT_EQ(b.Pixels_vx24RGB(x, y), bg);
  for (auto [x, y] : {std::pair{58, 45}, {30, 40}, {80, 50}})
    EXPECT_EQ(b.Pixels_vx24RGB(x, y), VXColorToTRGB(0x335577));
  EXPECT_EQ(proc.GetUndoCaptions(0), "Rotate 20.00");
  EXPECT_EQ(finished, 1);
  proc.Undo();
  EXPECT_EQ(b.Width(), 100);

  TVXBitmap src;
  FillRandom(src, 9, 7, vx24RGB);
  TVXBitmap z(&src);
  z.Rotate(360.0004, vxrFast, 0);
  EXPECT_EQ(Content(z), Content(src));
  z.Rotate(90, true, vxrBicubic, 0);
  ASSERT_EQ(z.Width(), 7);
  EXPECT_EQ(z.Pixels_vx24RGB(0, 0), src.Pixels_vx24RGB(8, 0));
}

// RotateEx picks a renderer and turns the alpha channel alongside with
// background 0; each renderer is held to numpy above.
TEST(RotateComponent, RotateExTurnsTheAlphaChannelWithTheImage) {
  TVXBitmap src;
  FillRandom(src, 23, 14, vx24RGB);
  AddAlpha(src);
  for (TVXAntialiasMode mode : {vxrNone, vxrFast, vxrBilinear, vxrBicubic}) {
    SCOPED_TRACE(int(mode));
    TVXBitmap b(&src);
    b.RotateEx(33.3, mode, 0x102030, nullptr, nullptr);
    TVXBitmap image(&src), alpha(src.AlphaChannel());
    if (mode == vxrNone) {
      VXRotateNearest(&image, double(0x102030), nullptr, nullptr, 33.3);
      VXRotateNearest(&alpha, 0, nullptr, nullptr, 33.3);
    } else if (mode == vxrFast) {
      VXRotateShear24(&image, true, nullptr, nullptr, VXColorToTRGB(0x102030), 33.3);
      VXRotateShear8(&alpha, true, 0, nullptr, nullptr, 33.3);
    } else {
      VXRotateAntialias24(&image, 0x102030, mode, nullptr, nullptr, 33.3);
      VXRotateAntialias8(&alpha, 0, mode, 33.3);
    }
    EXPECT_EQ(Content(b), Content(image));
    ASSERT_EQ(b.AlphaChannel()->Width(), b.Width());
    ASSERT_EQ(b.AlphaChannel()->Height(), b.Height());
    EXPECT_EQ(Content(*b.AlphaChannel()), Content(alpha));
    EXPECT_EQ(b.AlphaChannel()->Pixels_vx8(0, 0), 0);
  }
  // A 16-bit grey image goes to the nearest renderer whatever the mode.
  TVXBitmap g;
  FillRandom(g, 8, 5, vx16g);
  AddAlpha(g);
  TVXBitmap expect(&g);
  VXRotateNearest(&expect, 0, nullptr, nullptr, 17);
  g.RotateEx(17, vxrBicubic, 0, nullptr, nullptr);
  EXPECT_EQ(Content(g), Content(expect));
  EXPECT_EQ(g.AlphaChannel()->Width(), g.Width());
}

// Rows kept in a temporary file stay mapped while the engines read and write
// them: every path gives the bytes of the same image held in memory.
TEST(RotateComponent, BitmapsInAFileGiveTheSameBytes) {
  TVXBitmap src;
  FillRandom(src, 37, 29, vx24RGB);
  AddAlpha(src);
  for (TVXAntialiasMode mode : {vxrNone, vxrFast, vxrBilinear, vxrBicubic}) {
    for (double angle : {90.0, 27.5}) {
      SCOPED_TRACE(std::to_string(int(mode)) + " " + Num(angle));
      TVXBitmap mem(&src), file(&src);
      file.SetMinFileSize(0);
      file.SetLocation(vxFile);
      ASSERT_EQ(file.Location(), vxFile);
      mem.RotateEx(angle, mode, 0x445566, nullptr, nullptr);
      file.RotateEx(angle, mode, 0x445566, nullptr, nullptr);
      EXPECT_EQ(Content(file), Content(mem));
      EXPECT_EQ(Content(*file.AlphaChannel()), Content(*mem.AlphaChannel()));
    }
  }
  TVXBitmap mem(&src), file(&src);
  file.SetMinFileSize(0);
  file.SetLocation(vxFile);
  mem.Flip(fdHorizontal);
  file.Flip(fdHorizontal);
  mem.Flip(fdVertical);
  file.Flip(fdVertical);
  EXPECT_EQ(Content(file), Content(mem));
}

// Inside the picture the bilinear renderer stays within one level of
// OpenCV's warpAffine on the same inverse mapping.
TEST(RotateComponent, BilinearIsCloseToOpenCV) {
  SKIP_WITHOUT_NUMPY();
  const int32_t W = 64, H = 48;
  TVXBitmap src(W, H, vx24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      src.SetPixels_vx24RGB(x, y, TRGB{uint8_t((x * 4 + y) & 255), uint8_t((y * 5) & 255), uint8_t((x * y) & 255)});
  const double angles[] = {17.0, -63.25, 141.0};
  TVXBitmap outs[3];
  std::string lists = "R = [";
  for (int k = 0; k < 3; ++k) {
    VXRotateAntialias24To(&src, &outs[k], 0, nullptr, nullptr, vxrBilinear, angles[k]);
    lists += "(" + std::to_string(outs[k].Width()) + "," + std::to_string(outs[k].Height()) + "," + Num(angles[k]) +
             "),";
  }
  // For each angle: a byte per target pixel telling whether it lies inside
  // the picture, then OpenCV's pixels (nothing at all without OpenCV).
  const std::string res = numpy_oracle::Run(
      lists + "]\n"
      "try:\n    import cv2\nexcept ImportError:\n    save(np.zeros(0, np.uint8)); sys.exit(0)\n"
      "W, H = " + std::to_string(W) + "," + std::to_string(H) + "\n"
      "a = load(0, np.uint8, (H, W, 3))\n"
      "out = []\n"
      "for TW, TH, angle in R:\n"
      "    th = np.longdouble(angle) * np.longdouble('3.1415926535897932385') / np.longdouble(180)\n"
      "    s, c = float(np.sin(th)), float(np.cos(th))\n"
      "    cxs, cys, cxd, cyd = (W - 1) / 2, (H - 1) / 2, (TW - 1) / 2, (TH - 1) / 2\n"
      "    M = np.array([[c, -s, cxs - cxd * c + cyd * s], [s, c, cys - cxd * s - cyd * c]])\n"
      "    o = cv2.warpAffine(a, M, (TW, TH), flags=cv2.INTER_LINEAR | cv2.WARP_INVERSE_MAP,\n"
      "                       borderMode=cv2.BORDER_CONSTANT, borderValue=(0, 0, 0))\n"
      "    i = np.arange(TW)[None, :]; j = np.arange(TH)[:, None]\n"
      "    sx = (i - cxd) * c - (j - cyd) * s + cxs; sy = (i - cxd) * s + (j - cyd) * c + cys\n"
      "    inside = (sx >= 1) & (sx <= W - 2) & (sy >= 1) & (sy <= H - 2)\n"
      "    out += [inside.astype(np.uint8).ravel(), o.ravel()]\n"
      "save(np.concatenate(out))\n",
      {numpy_oracle::Pixels(&src)});
  if (res.empty()) GTEST_SKIP() << "/usr/bin/python3 with OpenCV (Debian python3-opencv) is not installed";
  size_t at = 0;
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(Num(angles[k]));
    const size_t n = size_t(outs[k].Width()) * size_t(outs[k].Height());
    ASSERT_GE(res.size(), at + n * 4);
    const std::string mine = numpy_oracle::Pixels(&outs[k]);
    double diff = 0;
    int64_t count = 0;
    for (size_t p = 0; p < n; ++p) {
      if (!res[at + p]) continue;
      for (int ch = 0; ch < 3; ++ch)
        diff += std::abs(int(uint8_t(mine[p * 3 + size_t(ch)])) - int(uint8_t(res[at + n + p * 3 + size_t(ch)])));
      count += 3;
    }
    at += n * 4;
    ASSERT_GT(count, 1000);
    EXPECT_LT(diff / double(count), 1.0);
  }
}

// ---------------------------------------------------------------------------
// Rotate and crop, deinterlacing, transparent border

TEST(RotateAndCrop, SizesAndOneUndoEntry) {
  struct Case {
    int32_t w, h;
    double angle;
    int32_t ew, eh;
  };
  // 0 degrees loses one column and one row; 45 degrees of a non-square
  // image finds no rectangle and keeps the grown canvas.
  TVXBitmap probe(200, 100, vx24RGB);
  probe.Rotate(45, vxrBilinear, 0);
  const Case cases[] = {{200, 100, 10, 190, 69}, {200, 100, 0, 199, 99}, {200, 100, 45, probe.Width(), probe.Height()},
                        {80, 80, -30, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Num(c.angle));
    TVXBitmap b(c.w, c.h, vx24RGB);
    b.Fill(double(0x00FF00));
    TComponent owner;
    TVexlaneProc proc(&owner);
    proc.SetUndoLimit(5);
    proc.SetAttachedVXBitmap(&b);
    proc.RotateAndCrop(c.angle, vxrBilinear);
    if (c.ew > 0) {
      EXPECT_EQ(b.Width(), c.ew);
      EXPECT_EQ(b.Height(), c.eh);
    }
    if (c.angle != 45 && c.angle != 0) {
      // The cut holds no uncovered corner.
      EXPECT_EQ(b.Pixels_vx24RGB(0, 0), (TRGB{0, 255, 0}));
      EXPECT_EQ(b.Pixels_vx24RGB(b.Width() - 1, b.Height() - 1), (TRGB{0, 255, 0}));
    }
    EXPECT_EQ(proc.UndoCount(), 1);
    EXPECT_EQ(proc.GetUndoCaptions(0), "RotateAndCrop");
    proc.Undo();
    EXPECT_EQ(b.Width(), c.w);
    EXPECT_EQ(b.Height(), c.h);
  }
  TVXBitmap b(200, 100, vx24RGB);
  auto proc = TVexlaneProc::CreateFromBitmap(&b);
  proc->RotateAndCrop(10, false, vxrBicubic);
  EXPECT_EQ(b.Width(), 190);
  EXPECT_EQ(b.Height(), 69);
}

TEST(Deinterlace, DiscardCopiesOddRowsAndIntelliMergeDecides) {
  TVXBitmap b(4, 6, vx24RGB);
  for (int32_t y = 0; y < 6; ++y) b.FillRect(0, y, 3, y, double(0x010101 * (y * 40 + 10)));
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&b);
  proc.Deinterlace(vxdDiscard);
  const int expect[6] = {0, 1, 3, 3, 5, 5};
  for (int32_t y = 0; y < 6; ++y) EXPECT_EQ(b.Pixels_vx24RGB(2, y).g, expect[y] * 40 + 10) << y;
  EXPECT_EQ(proc.GetUndoCaptions(0), "Deinterlace");

  // A smooth picture only beeps; a combed one is discarded.
  TVXBitmap smooth(64, 40, vx24RGB), comb(64, 40, vx24RGB);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      smooth.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 3), uint8_t(y * 4 + x), uint8_t(100 + y)});
      comb.SetPixels_vx24RGB(x, y, y % 2 ? TRGB{200, 200, 200} : TRGB{20, 30, 40});
    }
  const TVXBitmap smoothCopy(&smooth);
  VXClearMessageBeepLog();
  auto ps = TVexlaneProc::CreateFromBitmap(&smooth);
  ps->Deinterlace(vxdIntelliMerge);
  EXPECT_EQ(VXMessageBeepLog(), std::vector<uint32_t>{0});
  EXPECT_EQ(Content(smooth), Content(const_cast<TVXBitmap&>(smoothCopy)));
  auto pc = TVexlaneProc::CreateFromBitmap(&comb);
  pc->Deinterlace(vxdIntelliMerge);
  EXPECT_EQ(VXMessageBeepCount(), 1);
  EXPECT_EQ(comb.Pixels_vx24RGB(5, 2), (TRGB{200, 200, 200}));
  EXPECT_EQ(comb.Pixels_vx24RGB(5, 0), (TRGB{20, 30, 40}));
}

TEST(CropTransparentBorder, CropsToTheOpaqueBox) {
  TVXBitmap icon(20, 16, vx24RGB);
  icon.Fill(double(0xFFFFFF));
  TVXBitmap* a = icon.AlphaChannel();
  a->Fill(0);
  a->FillRect(4, 3, 12, 9, 255);
  a->SetPixels_vx8(15, 5, 1);
  TRect r;
  VXFindOpaqueBounds(&icon, r);
  EXPECT_EQ(r, (TRect{4, 3, 15, 9}));
  TComponent owner;
  TVexlaneProc proc(&owner);
  proc.SetAttachedVXBitmap(&icon);
  proc.CropTransparentBorder();
  EXPECT_EQ(icon.Width(), 12);
  EXPECT_EQ(icon.Height(), 7);
  EXPECT_EQ(icon.AlphaChannel()->Pixels_vx8(11, 2), 1);
  EXPECT_EQ(proc.UndoCount(), 0);
  EXPECT_TRUE(proc.AutoUndo());

  TVXBitmap clear(5, 5, vx24RGB);
  clear.AlphaChannel()->Fill(0);
  VXFindOpaqueBounds(&clear, r);
  EXPECT_EQ(r, (TRect{5, 5, -1, -1}));
  auto pc = TVexlaneProc::CreateFromBitmap(&clear);
  pc->CropTransparentBorder();
  EXPECT_EQ(clear.Width(), 5);
  TVXBitmap plain(6, 4, vx24RGB);
  VXFindOpaqueBounds(&plain, r);
  EXPECT_EQ(r, (TRect{0, 0, 5, 3}));
  auto pp = TVexlaneProc::CreateFromBitmap(&plain);
  pp->CropTransparentBorder();
  EXPECT_EQ(plain.Width(), 6);
}

// ---------------------------------------------------------------------------
// Image tests, hash and resampling of the bitmap

TEST(BitmapServices, GetHashEqualsHashlibOverRowsFromTheLast) {
  SKIP_WITHOUT_NUMPY();
  TVXBitmap b;
  FillRandom(b, 12, 5, vx24RGB);  // 36 bytes a row: no padding
  ASSERT_EQ(b.RowLen(), 36);
  std::string rows;
  for (int32_t y = 4; y >= 0; --y) rows.append(static_cast<const char*>(b.ScanLine(y)), 36);
  const std::string py = numpy_oracle::Run(
      "import hashlib\nsave(np.frombuffer(hashlib.sha256(load(0, np.uint8, (-1,)).tobytes()).hexdigest().encode(), "
      "dtype=np.uint8))\n",
      {rows});
  EXPECT_EQ(b.GetHash(CALG_SHA_256), py);
  TVXBitmap pal;
  FillRandom(pal, 4, 4, vx8p);
  const std::string h1 = pal.GetHash(CALG_MD5);
  pal.SetPalette(255, TRGB{1, 2, 3});
  EXPECT_NE(pal.GetHash(CALG_MD5), h1);
  EXPECT_EQ(h1.size(), 32u);
}

TEST(BitmapServices, AllBlackAndGreyScale) {
  struct Case {
    const char* name;
    TVXPixelFormat pf;
    std::function<void(TVXBitmap&)> paint;
    bool black, grey;
  };
  const Case cases[] = {
      {"black 24-bit", vx24RGB, [](TVXBitmap&) {}, true, true},
      {"grey pixel", vx24RGB, [](TVXBitmap& b) { b.SetPixels_vx24RGB(6, 3, TRGB{9, 9, 9}); }, false, true},
      {"coloured pixel", vx24RGB, [](TVXBitmap& b) { b.SetPixels_vx24RGB(6, 3, TRGB{9, 9, 8}); }, false, false},
      {"32-bit fourth byte ignored", vx32RGB,
       [](TVXBitmap& b) { b.SetPixels_vx32RGB(1, 1, TRGBA{7, 7, 7, 3}); }, false, true},
      {"48-bit coloured", vx48RGB, [](TVXBitmap& b) { b.SetPixels_vx48RGB(0, 0, TRGB48{300, 300, 301}); }, false,
       false},
      {"vx8g never looked at", vx8g, [](TVXBitmap& b) { b.SetPixels_vx8(2, 2, 99); }, false, true},
      {"vx16g never looked at", vx16g, [](TVXBitmap& b) { b.SetPixels_vx16g(2, 2, 9); }, false, true},
      {"vx8p grey palette", vx8p,
       [](TVXBitmap& b) {
         for (int i = 0; i < 256; ++i) b.SetPalette(i, TRGB{uint8_t(i), uint8_t(i), uint8_t(i)});
       },
       true, true},
      {"vx8p one coloured unused entry", vx8p,
       [](TVXBitmap& b) {
         for (int i = 0; i < 256; ++i) b.SetPalette(i, TRGB{uint8_t(i), uint8_t(i), uint8_t(i)});
         b.SetPaletteUsed(2);
         b.SetPalette(200, TRGB{1, 2, 3});
       },
       true, false},
      {"vx1g row padding only", vx1g,
       [](TVXBitmap& b) { static_cast<uint8_t*>(b.ScanLine(0))[3] = 0xFF; }, true, true},
      {"vx1g last pixel", vx1g, [](TVXBitmap& b) { b.SetPixels_vx1g(8, 4, true); }, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVXBitmap b(9, 5, c.pf);
    c.paint(b);
    EXPECT_EQ(b.IsAllBlack(), c.black);
    EXPECT_EQ(b.IsGrayScale(), c.grey);
  }
  TVXBitmap empty;
  EXPECT_TRUE(empty.IsGrayScale());
}

TEST(BitmapServices, ResampleGoesThroughTheProcessingLibrary) {
  TVXBitmap b(40, 20, vx24RGB);
  b.Fill(double(0x804020));
  {
    TVXLibraryGuard library;
    b.Resample(10, -1, rfTriangle, false);
    EXPECT_EQ(b.Width(), 10);
    EXPECT_EQ(b.Height(), 5);
    EXPECT_EQ(b.Pixels_vx24RGB(3, 3), (TRGB{0x80, 0x40, 0x20}));
  }
  if (VXStaticUseCount() != 0) GTEST_SKIP() << "the library is held started";
  const TVXResampleHooks saved = VXResampleHooks;
  VXResampleHooks = TVXResampleHooks{};
  EXPECT_THROW(b.Resample(20, 20, rfTriangle, false), EVXException);
  b.Resample(10, 5, rfTriangle, false);  // already that size: nothing to do
  VXResampleHooks = saved;
}

}  // namespace
