// Camera raw: the output stage fed exact buffers by a test decoder, the
// 45-degree rotation, CIFF heaps built byte by byte, and a synthetic DNG
// decoded by LibRaw with LibRaw's own tools (raw-identify, dcraw_emu) and a
// numpy evaluation of the output stage as judges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "camera_raw_test_util.h"
#include "core/bitmap.h"
#include "core/pixels.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/camera_raw.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/tagshandler.h"
#include "io/vexlaneio.h"

namespace {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::Shell;
using jpegtest::WriteFile;

const std::string kOracle = std::string(VX_SOURCE_DIR) + "/tests/formats/camera_raw_oracle.py";

// ---- The test decoder ------------------------------------------------------------

// Identifies anything and hands out the image it was given; records what the
// glue asked.
class TTestDecoder : public TVXRawDecoder {
 public:
  TVXRawIdentity Id;
  int32_t W = 0, H = 0;
  std::vector<uint16_t> Pixels;  // W x H x 4
  bool Processed = false;
  TVXRawOptions Seen;

  void Fill(int32_t Width, int32_t Height, const std::function<std::array<uint16_t, 3>(int, int)>& At) {
    W = Width;
    H = Height;
    Pixels.assign(size_t(W) * size_t(H) * 4, 0);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const auto v = At(x, y);
        std::copy(v.begin(), v.end(), &Pixels[(size_t(y) * size_t(W) + size_t(x)) * 4]);
      }
  }
  bool Identify(const uint8_t*, size_t) override { return true; }
  const TVXRawIdentity& Identity() const override { return Id; }
  bool Process(const TVXRawOptions& Options, const std::function<bool(TVXRawStage)>& OnStage) override {
    Processed = true;
    Seen = Options;
    if (OnStage(vxrsWhiteBalance)) return false;
    return !OnStage(vxrsColorConversion);
  }
  uint16_t* Image() override { return Pixels.data(); }
  int32_t ImageWidth() const override { return W; }
  int32_t ImageHeight() const override { return H; }
  void Recycle() override {}
};

struct TRawResult {
  bool Aborting = false;
  std::vector<int32_t> Percents;
};

TRawResult ReadWith(TTestDecoder& Decoder, TVXBitmap& Bitmap, TIOParamsVals& Params, bool ParamsOnly = false) {
  const uint8_t bytes[16] = {};  // the test decoder takes any file
  TVXMemStream in(bytes, sizeof bytes);
  TRawResult r;
  TProgressRec progress;
  progress.Aborting = &r.Aborting;
  progress.fOnProgress = [&](void*, int32_t p) { r.Percents.push_back(p); };
  VXReadRawStream(&in, &Bitmap, Params, ParamsOnly, progress, Decoder);
  return r;
}

// Reads File with the reader's own decoder; true when the read aborted.
bool ReadRawFile(const std::vector<uint8_t>& File, TVXBitmap& Bitmap, TIOParamsVals& Params) {
  TVXMemStream in(File.data(), int64_t(File.size()));
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadRawStream(&in, &Bitmap, Params, false, progress);
  return aborting;
}

TTestDecoder Decoder(const std::string& Make, int W, int H, uint32_t Filters) {
  TTestDecoder d;
  d.Id.Make = Make;
  d.Id.Model = "M1";
  d.Id.Model2 = "X";
  d.Id.Width = W;
  d.Id.Height = H;
  d.Id.RawWidth = W;
  d.Id.RawHeight = H;
  d.Id.Filters = Filters;
  return d;
}

TEST(CameraRawOutput, WhitePointShareDependsOnTheExactMake) {
  // 200 working pixels: two at luminance 40000, the rest at 1000. At 1 % the
  // two bright ones (2 pixels, not more than 2) don't set the white point, at
  // 0.5 % they do. With gamma 1 the tone table is 442 / max.
  struct TCase {
    const char* Make;
    int32_t Max;
  };
  for (const TCase& c : {TCase{"FUJIFILM", (40000 >> 3) * 16}, TCase{"Fujifilm", (1000 >> 3) * 16},
                         TCase{"Other", (1000 >> 3) * 16}}) {
    SCOPED_TRACE(c.Make);
    TTestDecoder d = Decoder(c.Make, 20, 10, 0);
    d.Fill(20, 10, [](int x, int y) -> std::array<uint16_t, 3> {
      const uint16_t v = (y == 0 && x < 2) ? 40000 : 1000;
      return {v, v, v};
    });
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.SetRAW_Gamma(1.0);
    const TRawResult r = ReadWith(d, bmp, params);
    ASSERT_FALSE(r.Aborting);
    ASSERT_EQ(bmp.PixelFormat(), vx24RGB);
    ASSERT_EQ(bmp.Width(), 20);  // no filter pattern: no border
    const TRGB p = bmp.Pixels_vx24RGB(5, 5);
    const int expected = std::min(255, int(1000.0 * 442.0 / c.Max));
    EXPECT_EQ(p.r, expected);
    EXPECT_EQ(p.g, expected);
    EXPECT_EQ(p.b, expected);
  }
}

TEST(CameraRawOutput, NoBinAboveTheShareGivesWhitePointOne) {
  // Every luminance is in bin 0: the white point becomes 1, not 0, so the
  // table stays finite and the values clip instead of vanishing.
  for (bool native : {false, true}) {
    TTestDecoder d = Decoder("Other", 8, 8, 0);
    d.Fill(8, 8, [](int, int) -> std::array<uint16_t, 3> { return {1, 1, 1}; });
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.IsNativePixelFormat = native;
    ASSERT_FALSE(ReadWith(d, bmp, params).Aborting);
    if (native) {
      EXPECT_EQ(bmp.PixelFormat(), vx48RGB);
      EXPECT_EQ(bmp.Pixels_vx48RGB(3, 3).g, 65535);  // 1 x 2^-0.4 x 442 x 257, clipped
      EXPECT_EQ(params.BitsPerSample(), 16);
    } else {
      EXPECT_EQ(bmp.Pixels_vx24RGB(3, 3).g, 255);
      EXPECT_EQ(params.BitsPerSample(), 8);
    }
    EXPECT_EQ(params.SamplesPerPixel(), 3);
  }
}

TEST(CameraRawOutput, ToneTableAndChannelsIn24And48Bits) {
  // One bright row sets the white point; the values below follow
  // Trunc(v x (2 L / max)^(gamma - 1) x bright x 442 / max).
  TTestDecoder d = Decoder("Other", 10, 10, 0);
  d.Fill(10, 10, [](int x, int y) -> std::array<uint16_t, 3> {
    if (y == 0) return {30000, 30000, 30000};
    return {uint16_t(1000 + 100 * x), uint16_t(2000 + 50 * y), 500};
  });
  for (bool native : {false, true}) {
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.IsNativePixelFormat = native;
    params.SetRAW_Bright(1.5);
    ASSERT_FALSE(ReadWith(d, bmp, params).Aborting);
    const double max = (30000 >> 3) * 16;
    for (int y = 1; y < 10; y += 4)
      for (int x = 0; x < 10; x += 3) {
        const int r = 1000 + 100 * x, g = 2000 + 50 * y, b = 500;
        const int l = (299 * r + 587 * g + 114 * b) / 1000;
        double t = std::pow(2.0 * l / max, 0.6 - 1) * 1.5 * 442 / max;
        if (native) {
          t *= 65535.0 / 255.0;
          const TRGB48 p = bmp.Pixels_vx48RGB(x, y);
          EXPECT_EQ(p.r, std::min(65535, int(r * t)));
          EXPECT_EQ(p.g, std::min(65535, int(g * t)));
          EXPECT_EQ(p.b, std::min(65535, int(b * t)));
        } else {
          const TRGB p = bmp.Pixels_vx24RGB(x, y);
          EXPECT_EQ(p.r, std::min(255, int(r * t)));
          EXPECT_EQ(p.g, std::min(255, int(g * t)));
          EXPECT_EQ(p.b, std::min(255, int(b * t)));
        }
      }
  }
}

TEST(CameraRawOutput, PixelAspectRepeatsColumnsOrRows) {
  // A filter pattern: the border of 1 is dropped, then each pixel is
  // repeated xmag times, each row ymag times (every row written).
  struct TCase {
    double Aspect;
    int XMag, YMag;
  };
  for (const TCase& c : {TCase{2.0, 2, 1}, TCase{0.5, 1, 2}, TCase{1.0, 1, 1}}) {
    SCOPED_TRACE(c.Aspect);
    TTestDecoder d = Decoder("Other", 7, 5, 0x94949494);
    d.Id.PixelAspect = c.Aspect;
    d.Fill(7, 5, [](int x, int y) -> std::array<uint16_t, 3> {
      return {uint16_t(1000 * (x + 1)), uint16_t(900 * (y + 1)), uint16_t(500)};
    });
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    ASSERT_FALSE(ReadWith(d, bmp, params).Aborting);
    ASSERT_EQ(bmp.Width(), 5 * c.XMag);
    ASSERT_EQ(bmp.Height(), 3 * c.YMag);
    TVXBitmap plain;
    TTestDecoder d1 = d;
    d1.Id.PixelAspect = 1;
    TIOParamsVals params1(nullptr);
    ASSERT_FALSE(ReadWith(d1, plain, params1).Aborting);
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x) {
        const TRGB a = bmp.Pixels_vx24RGB(x, y), b = plain.Pixels_vx24RGB(x / c.XMag, y / c.YMag);
        ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << x << "," << y;
      }
    // Columns and rows really differ, so the comparison shows the mapping.
    EXPECT_NE(plain.Pixels_vx24RGB(0, 0).r, plain.Pixels_vx24RGB(1, 0).r);
    EXPECT_NE(plain.Pixels_vx24RGB(0, 0).g, plain.Pixels_vx24RGB(0, 1).g);
  }
}

TEST(CameraRawOutput, HalfSizeAndPatternDecideBorderAndOptions) {
  struct TCase {
    uint32_t Filters;
    bool HalfSize;
    bool DecoderHalves;  // what the decoder is asked
    int Border;
  };
  for (const TCase& c : {TCase{0x94949494, false, false, 1}, TCase{0x94949494, true, true, 0},
                         TCase{0, true, false, 0}, TCase{0, false, false, 0}}) {
    SCOPED_TRACE(testing::Message() << c.Filters << " " << c.HalfSize);
    TTestDecoder d = Decoder("Other", 12, 10, c.Filters);
    const int w = c.DecoderHalves ? 6 : 12, h = c.DecoderHalves ? 5 : 10;
    d.Fill(w, h, [](int x, int y) -> std::array<uint16_t, 3> { return {uint16_t(100 * x), uint16_t(100 * y), 7}; });
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.SetRAW_HalfSize(c.HalfSize);
    params.SetRAW_QuickInterpolate(false);
    params.SetRAW_RedScale(1.5);
    ASSERT_FALSE(ReadWith(d, bmp, params).Aborting);
    EXPECT_EQ(d.Seen.HalfSize, c.DecoderHalves);
    EXPECT_FALSE(d.Seen.QuickInterpolate);
    EXPECT_EQ(d.Seen.RedScale, 1.5);
    EXPECT_EQ(bmp.Width(), w - 2 * c.Border);
    EXPECT_EQ(bmp.Height(), h - 2 * c.Border);
    // Parameters keep the sensor's size less 2, whatever was decoded.
    EXPECT_EQ(params.Width(), 10);
    EXPECT_EQ(params.Height(), 8);
  }
}

TEST(CameraRawOutput, ProgressParametersOnlyAndRefusedSizes) {
  TTestDecoder d = Decoder("Make", 9, 6, 0x16161616);
  d.Fill(9, 6, [](int x, int y) -> std::array<uint16_t, 3> { return {uint16_t(x * 500), uint16_t(y * 700), 300}; });
  {
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    const TRawResult r = ReadWith(d, bmp, params);
    EXPECT_FALSE(r.Aborting);
    EXPECT_EQ(r.Percents, (std::vector<int32_t>{70, 85, 90, 100}));
    EXPECT_EQ(params.ImageCount(), 1);
  }
  {
    TTestDecoder p = d;
    p.Processed = false;
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    const TRawResult r = ReadWith(p, bmp, params, true);
    EXPECT_FALSE(r.Aborting);
    EXPECT_FALSE(p.Processed);
    EXPECT_TRUE(bmp.IsEmpty());
    EXPECT_EQ(params.RAW_Camera(), "Make M1 X");
    EXPECT_EQ(params.Width(), 7);
    EXPECT_EQ(params.OriginalWidth(), 7);
    EXPECT_EQ(params.Height(), 4);
    EXPECT_EQ(params.OriginalHeight(), 4);
    EXPECT_EQ(params.DpiX(), VXGetGlobalSettings()->DefaultDPIX());
    EXPECT_EQ(r.Percents, (std::vector<int32_t>{100}));
  }
  // Too small to drop a border from, or beyond the pixel limit: refused
  // before the decoder runs.
  struct TCase {
    int W, H;
    int64_t Limit;
  };
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int64_t saved = settings->MaxImagePixels();
  for (const TCase& c : {TCase{2, 40, saved}, TCase{40, 1, saved}, TCase{100, 100, 5000}}) {
    TTestDecoder s = Decoder("Make", c.W, c.H, 0);
    s.Fill(c.W, c.H, [](int, int) -> std::array<uint16_t, 3> { return {1, 1, 1}; });
    settings->SetMaxImagePixels(c.Limit);
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    const TRawResult r = ReadWith(s, bmp, params);
    settings->SetMaxImagePixels(saved);
    EXPECT_TRUE(r.Aborting) << c.W << "x" << c.H;
    EXPECT_FALSE(s.Processed);
    EXPECT_TRUE(bmp.IsEmpty());
  }
}

TEST(CameraRawOutput, DiagonalSensorIsTurnedAfterTheOutput) {
  // Row 0 of the output starts with 3 black pixels and its last picture
  // pixel is column 10: the turned image is 2 x 10 wide and 2 x 14 - 6 - 4
  // high, in either depth.
  for (bool native : {false, true}) {
    TTestDecoder d = Decoder("FUJIFILM", 14, 8, 0);
    d.Id.Diagonal = true;
    d.Fill(14, 8, [](int x, int y) -> std::array<uint16_t, 3> {
      if (y == 0 && (x < 3 || x > 10)) return {0, 0, 0};
      return {uint16_t(2000 + 100 * x), uint16_t(1500 + 90 * y), 900};
    });
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.IsNativePixelFormat = native;
    const TRawResult r = ReadWith(d, bmp, params);
    ASSERT_FALSE(r.Aborting);
    EXPECT_EQ(bmp.PixelFormat(), native ? vx48RGB : vx24RGB);
    EXPECT_EQ(bmp.Width(), 20);
    EXPECT_EQ(bmp.Height(), 18);
    EXPECT_EQ(r.Percents, (std::vector<int32_t>{70, 85, 90, 100}));
  }
}

TEST(CameraRawOutput, CancelFromProgressAborts) {
  TTestDecoder d = Decoder("Make", 9, 6, 0);
  d.Fill(9, 6, [](int, int) -> std::array<uint16_t, 3> { return {1000, 1000, 1000}; });
  const uint8_t bytes[16] = {};
  TVXMemStream in(bytes, sizeof bytes);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  progress.fOnProgress = [&](void*, int32_t p) {
    if (p == 70) aborting = true;
  };
  TVXBitmap bmp;
  TIOParamsVals params(nullptr);
  VXReadRawStream(&in, &bmp, params, false, progress, d);
  EXPECT_TRUE(aborting);
  EXPECT_TRUE(bmp.IsEmpty());
}

TEST(CameraRawOutput, AutoAdjustMatchesTheThumbnailsHistogram) {
  // A thumbnail of one colour: after matching, every level of a channel
  // becomes 0 or the thumbnail's level (the reference's cumulative map has
  // only those two steps); without the option the picture keeps its own
  // levels.
  for (bool adjust : {false, true}) {
    TTestDecoder d = Decoder("Other", 16, 12, 0);
    d.Fill(16, 12, [](int x, int y) -> std::array<uint16_t, 3> {
      return {uint16_t(300 + 400 * x), uint16_t(200 + 500 * y), uint16_t(100 + 90 * (x + y))};
    });
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    auto* thumb = new TVXBitmap();
    ASSERT_TRUE(thumb->Allocate(8, 6, vx24RGB));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) thumb->SetPixels_vx24RGB(x, y, TRGB{50, 100, 200});
    params.SetEXIF_Bitmap(thumb);
    params.SetRAW_AutoAdjustColors(adjust);
    ASSERT_FALSE(ReadWith(d, bmp, params).Aborting);
    int twoLevels = 0, atReference[3] = {0, 0, 0};
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x) {
        const TRGB p = bmp.Pixels_vx24RGB(x, y);
        twoLevels += (p.r == 0 || p.r == 200) && (p.g == 0 || p.g == 100) && (p.b == 0 || p.b == 50);
        atReference[0] += p.r == 200;
        atReference[1] += p.g == 100;
        atReference[2] += p.b == 50;
      }
    if (adjust) {
      EXPECT_EQ(twoLevels, 16 * 12);
      for (int c = 0; c < 3; ++c) EXPECT_GT(atReference[c], 16 * 12 / 4) << c;
    } else {
      EXPECT_LT(twoLevels, 16 * 12 / 4);
    }
  }
}

// ---- The 45-degree rotation ------------------------------------------------------

// Input pixel (r, k) carries r + 1 in red, k + 1 in green and a constant
// blue; row 0 starts with A black pixels and ends at column N.
template <typename Pixel>
void CheckRotation(TVXPixelFormat Format) {
  const int W = 12, H = 9, A = 2, N = 10;
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(W, H, Format));
  for (int r = 0; r < H; ++r) {
    Pixel* row = static_cast<Pixel*>(bmp.Scanline(r));
    for (int k = 0; k < W; ++k) {
      row[k] = Pixel{};
      if (r == 0 && (k < A || k > N)) continue;
      row[k].r = decltype(row[k].r)(r + 1);
      row[k].g = decltype(row[k].g)(k + 1);
      row[k].b = 40;
    }
  }
  const int Ho = 2 * W - 2 * A - 4;
  // The matrix, from the forward rule, and its inputs.
  std::vector<Pixel> m(size_t(Ho) * N, Pixel{});
  for (int r = 0; r < H; ++r)
    for (int k = 0; k < W; ++k) {
      const int d = r + k - N + 5, e = (k + N - r - 1) / 2;
      if (d >= 0 && d < Ho && e >= 0 && e < N) m[size_t(d) * N + e] = *(static_cast<Pixel*>(bmp.Scanline(r)) + k);
    }
  VXRotateFuji45(&bmp);
  ASSERT_EQ(bmp.Width(), 2 * N);
  ASSERT_EQ(bmp.Height(), Ho);
  auto at = [&](int x, int y) { return static_cast<const Pixel*>(bmp.Scanline(y))[x]; };
  auto M = [&](int y, int x) { return m[size_t(y) * N + x]; };
  int averaged = 0, copied = 0;
  for (int y = 1; y < Ho; ++y)
    for (int x = 1; x < 2 * N; ++x) {
      const Pixel p = at(x, y - 1);
      if ((y + x) % 2 == 0) {
        const Pixel q = M(y, x / 2);
        ASSERT_TRUE(p.r == q.r && p.g == q.g && p.b == q.b) << x << "," << y;
        copied += q.b != 0;
        // Where a pixel landed, it is the one whose d and e name this cell.
        if (q.b != 0) {
          const int r = int(q.r) - 1, k = int(q.g) - 1;
          EXPECT_EQ(r + k - N + 5, y);
          EXPECT_EQ((k + N - r - 1) / 2, x / 2);
        }
      } else if (y <= Ho - 2 && x <= 2 * N - 2) {
        const int j = (y % 2 == 1) ? x / 2 - 1 : x / 2;
        const Pixel a = M(y - 1, x / 2), b = M(y, j), c = M(y + 1, x / 2), d = M(y, j + 1);
        EXPECT_EQ(int(p.g), (int(a.g) + b.g + c.g + d.g) >> 2) << x << "," << y;
        EXPECT_EQ(int(p.b), (int(a.b) + b.b + c.b + d.b) >> 2) << x << "," << y;
        averaged += p.b != 0;
      }
    }
  EXPECT_GT(copied, 20);
  EXPECT_GT(averaged, 20);
  for (int y = 0; y < Ho; ++y) EXPECT_EQ(at(0, y).b, 0) << "column 0, row " << y;
  for (int x = 0; x < 2 * N; ++x) EXPECT_EQ(at(x, Ho - 1).b, 0) << "last row, column " << x;
}

TEST(CameraRawRotation, FollowsTheDiagonalGeometryIn48And24Bits) {
  CheckRotation<TRGB48>(vx48RGB);
  CheckRotation<TRGB>(vx24RGB);
}

TEST(CameraRawRotation, BlackFirstRowLeavesTheBitmap) {
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(6, 4, vx24RGB));
  for (int y = 0; y < 4; ++y) std::memset(bmp.Scanline(y), y == 0 ? 0 : 9, 18);
  VXRotateFuji45(&bmp);
  EXPECT_EQ(bmp.Width(), 6);
  EXPECT_EQ(bmp.Height(), 4);
}

// ---- CIFF heaps ----------------------------------------------------------------

struct TJpegs {
  ScratchDir Dir;
  std::vector<uint8_t> Small, Large;
  bool Made = false;
  TJpegs() {
    if (!HaveTool("/usr/bin/convert") || !HaveTool("/usr/bin/djpeg")) return;
    Made = Shell("/usr/bin/convert -size 16x8 gradient:red-blue " + Dir / "small.jpg") == 0 &&
           Shell("/usr/bin/convert -size 48x32 plasma:fractal -seed 3 " + Dir / "large.jpg") == 0 &&
           Shell("/usr/bin/djpeg -ppm -outfile " + Dir / "large.ppm " + Dir / "large.jpg") == 0;
    Small = ReadFile(Dir / "small.jpg");
    Large = ReadFile(Dir / "large.jpg");
  }
};

std::vector<uint8_t> Bytes(const std::string& S) { return std::vector<uint8_t>(S.begin(), S.end()); }

std::vector<uint8_t> U32Pair(uint32_t A, uint32_t B) {
  std::vector<uint8_t> v;
  rawtest::TTiffBuilder::Put(v, A, 4);
  rawtest::TTiffBuilder::Put(v, B, 4);
  return v;
}

TEST(CiffHeap, MetadataSmallerPreviewAndMakerNote) {
  TJpegs jpegs;
  if (!jpegs.Made) GTEST_SKIP() << "ImageMagick's convert and djpeg are needed (scripts/setup --tests)";
  std::vector<uint8_t> note(84);
  for (size_t i = 0; i < note.size(); ++i) note[i] = uint8_t(i * 7 + 1);
  // The previews and the camera records sit in sub-heaps, as in CRW files.
  const std::vector<uint8_t> images =
      rawtest::CiffHeap({{0x2007, jpegs.Large}, {0x2008, jpegs.Small}, {0x5810, U32Pair(3000, 2000), true}});
  const std::vector<uint8_t> props = rawtest::CiffHeap(
      {{0x080A, Bytes(std::string("Maker Co\0Cam 7\0", 15))}, {0x0805, Bytes("A picture")}, {0x102A, note},
       {0x102D, {5, 0, 6, 0}}});
  const std::vector<uint8_t> file = rawtest::CiffFile({{0x300A, images}, {0x300B, props}});
  TVXMemStream in(file.data(), int64_t(file.size()));
  TIOParamsVals params(nullptr);
  ReadRawExifAndJpeg(&in, params);
  EXPECT_EQ(params.EXIF_Make(), "Maker Co");
  EXPECT_EQ(params.EXIF_Model(), "Cam 7");
  EXPECT_EQ(params.EXIF_ImageDescription(), "A picture");
  EXPECT_EQ(params.EXIF_ExifImageWidth(), 3000);
  EXPECT_EQ(params.EXIF_ExifImageHeight(), 2000);
  ASSERT_NE(params.EXIF_Bitmap(), nullptr);
  EXPECT_EQ(params.EXIF_Bitmap()->Width(), 16);
  EXPECT_EQ(params.EXIF_Bitmap()->Height(), 8);

  const TVXTagsHandler& mn = params.EXIF_MakerNote();
  const int32_t i4 = mn.IFD().FindTAG(4);
  ASSERT_GE(i4, 0);
  EXPECT_EQ(mn.IFD().GetDataType(i4), 3);
  EXPECT_EQ(mn.IFD().GetDataNum(i4), 42);
  std::vector<int64_t> values;
  ASSERT_EQ(mn.GetIntegerArray(4, values), 42);
  for (int k = 0; k < 42; ++k) EXPECT_EQ(values[size_t(k)], note[size_t(2 * k)] | (note[size_t(2 * k + 1)] << 8));
  // Four bytes: the values stay in the entry.
  ASSERT_EQ(mn.GetIntegerArray(1, values), 2);
  EXPECT_EQ(values, (std::vector<int64_t>{5, 6}));

  // The component's preview loader takes the larger one, as djpeg decodes it.
  const std::string crw = jpegs.Dir / "two.crw";
  WriteFile(crw, file);
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadJpegFromFileCRW(crw));
  EXPECT_EQ(io.Params().FileType(), 20);
  jpegtest::Pnm ref;
  ASSERT_TRUE(jpegtest::ReadPnm(jpegs.Dir / "large.ppm", ref));
  ASSERT_EQ(bmp.Width(), ref.Width);
  ASSERT_EQ(bmp.Height(), ref.Height);
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x) {
      const TRGB p = bmp.Pixels_vx24RGB(x, y);
      ASSERT_TRUE(p.r == ref.At(x, y, 0) && p.g == ref.At(x, y, 1) && p.b == ref.At(x, y, 2)) << x << "," << y;
    }
}

TEST(CiffHeap, MakerNotePastTheLimitOrTheFileIsDroppedWhole) {
  // The note is one block: within the metadata limit (300 bytes here) every
  // record is kept, past it none. Records that share their bytes, holding
  // more than the file, are a damaged heap: no note either.
  struct TCase {
    std::vector<size_t> Records;  // bytes of each 0x102A record
    int Sharing;                  // more entries on the first record's bytes
    bool Kept;
  };
  const TCase cases[] = {
      {{100, 4}, 0, true},     // 2 + 2 x 12 + 100 bytes
      {{400}, 0, false},       // the values alone pass the limit
      {{200, 200}, 0, false},  // together they do
      {{60, 60, 60}, 0, true},
      {{80}, 1, true},         // 160 bytes: the file still holds them
      {{80}, 3, false},        // 320 bytes
      {{40}, 6, false},        // 280 bytes, more than the file's
  };
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const int64_t saved = settings->MaxMetadataSize();
  settings->SetMaxMetadataSize(300);
  for (const TCase& c : cases) {
    std::vector<rawtest::TCiffRecord> records;
    for (size_t n : c.Records) records.push_back({0x102A, std::vector<uint8_t>(n, 7)});
    for (int k = 0; k < c.Sharing; ++k) records.push_back({0x102A, {}});
    records.push_back({0x0805, Bytes("Described")});
    std::vector<uint8_t> props = rawtest::CiffHeap(records);
    // The sharing entries take the first record's size and offset.
    const size_t dir = props[props.size() - 4] | props[props.size() - 3] << 8;
    const size_t first = dir + 2, shared = first + 10 * c.Records.size();
    for (int k = 0; k < c.Sharing; ++k)
      std::copy_n(props.begin() + long(first + 2), 8, props.begin() + long(shared + 10 * size_t(k) + 2));
    const std::vector<uint8_t> file = rawtest::CiffFile({{0x300B, props}});
    TVXMemStream in(file.data(), int64_t(file.size()));
    TIOParamsVals params(nullptr);
    ReadRawExifAndJpeg(&in, params);
    EXPECT_EQ(params.EXIF_ImageDescription(), "Described") << c.Records.size();
    const TVXTagsHandler& mn = params.EXIF_MakerNote();
    EXPECT_EQ(mn.IFD().FindTAG(4) >= 0, c.Kept) << c.Records.front() << " sharing " << c.Sharing << " in "
                                                << file.size() << " bytes";
  }
  settings->SetMaxMetadataSize(saved);
}

TEST(CiffHeap, TextRecordsHoldingMoreThanTheFileAreNotRead) {
  // The software record shares the description's bytes: read while the two
  // fit the file; not when each runs to the file's end from the heap's start.
  for (const bool toTheEnd : {false, true}) {
    std::vector<uint8_t> props = rawtest::CiffHeap({{0x0805, Bytes(std::string("Described\0", 10))}, {0x080B, {}}});
    const size_t dir = props[props.size() - 4] | props[props.size() - 3] << 8;
    uint8_t* description = &props[dir + 2];
    uint8_t* software = description + 10;
    if (toTheEnd) std::fill_n(description + 2, 4, 0xFF);
    std::copy_n(description + 2, 8, software + 2);
    const std::vector<uint8_t> file = rawtest::CiffFile({{0x300B, props}});
    TVXMemStream in(file.data(), int64_t(file.size()));
    TIOParamsVals params(nullptr);
    ReadRawExifAndJpeg(&in, params);
    EXPECT_EQ(params.EXIF_ImageDescription(), "Described");
    EXPECT_EQ(params.EXIF_Software(), toTheEnd ? "" : "Described");
  }
}

TEST(CiffHeap, BigEndianSelfReferenceAndNoPreview) {
  // A big-endian heap whose sub-heap record names the heap itself: the walk
  // ends there and still reads the other records.
  std::vector<uint8_t> file = rawtest::CiffFile({{0x080A, Bytes(std::string("BE\0Model\0", 9))}}, false);
  {
    // Append a second entry 0x300A (offset 0, size = the whole heap) to the
    // directory: rebuild by hand, count 2.
    const uint32_t heapStart = 26, heapLen = uint32_t(file.size() - heapStart);
    std::vector<uint8_t> heap(file.begin() + heapStart, file.end());
    const uint32_t dir = (uint32_t(heap[heapLen - 4]) << 24) | (heap[heapLen - 3] << 16) | (heap[heapLen - 2] << 8) |
                         heap[heapLen - 1];
    std::vector<uint8_t> entries(heap.begin() + dir + 2, heap.end() - 4);
    heap.resize(dir);
    const uint32_t newLen = uint32_t(heap.size() + 2 + entries.size() + 10 + 4);
    heap.push_back(0);
    heap.push_back(2);
    heap.insert(heap.end(), entries.begin(), entries.end());
    const uint8_t self[10] = {0x30, 0x0A, uint8_t(newLen >> 24), uint8_t(newLen >> 16), uint8_t(newLen >> 8),
                              uint8_t(newLen), 0, 0, 0, 0};
    heap.insert(heap.end(), self, self + 10);
    for (int i = 3; i >= 0; --i) heap.push_back(uint8_t(dir >> (8 * i)));
    ASSERT_EQ(heap.size(), newLen);
    file.resize(heapStart);
    file.insert(file.end(), heap.begin(), heap.end());
  }
  TVXMemStream in(file.data(), int64_t(file.size()));
  TIOParamsVals params(nullptr);
  ReadRawExifAndJpeg(&in, params);
  EXPECT_EQ(params.EXIF_Make(), "BE");
  EXPECT_EQ(params.EXIF_Model(), "Model");
  ASSERT_NE(params.EXIF_Bitmap(), nullptr);
  EXPECT_TRUE(params.EXIF_Bitmap()->IsEmpty());

  TVXMemStream again(file.data(), int64_t(file.size()));
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(3, 2, vx24RGB));
  EXPECT_FALSE(VXLoadJpegFromCRWStream(&bmp, &again));
  EXPECT_EQ(bmp.Width(), 3);

  ScratchDir dir;
  WriteFile(dir / "none.crw", file);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  EXPECT_FALSE(io.LoadJpegFromFileCRW(dir / "none.crw"));
  EXPECT_FALSE(io.LoadJpegFromFileCRW(""));
}

// ---- A synthetic DNG through LibRaw ---------------------------------------------

bool HaveLibRawTools() {
  return HaveTool("/usr/bin/raw-identify") && HaveTool("/usr/bin/dcraw_emu") && HaveTool("/usr/bin/python3");
}

TEST(CameraRawDng, IdentifiedByTheProbeAndDetectionUnderAnyName) {
  ScratchDir dir;
  rawtest::TDngLayout layout;
  const std::vector<uint8_t> dng = rawtest::MakeDng(layout);
  if (HaveLibRawTools()) {
    WriteFile(dir / "a.dng", dng);
    ASSERT_EQ(Shell("/usr/bin/raw-identify " + dir / "a.dng >/dev/null"), 0) << "raw-identify refuses the fixture";
  }
  TVXMemStream in(dng.data(), int64_t(dng.size()));
  in.SetPosition(0);
  EXPECT_TRUE(VXIsRawStream(&in));
  EXPECT_EQ(in.Position(), 0);
  EXPECT_EQ(VXFindStreamFormat(&in), 20);
  for (const char* name : {"a.dng", "a.png", "a.nef"}) {
    WriteFile(dir / name, dng);
    EXPECT_EQ(VXFindFileFormat(dir / name, false), 20) << name;
  }
  // Not raw: a PNG header and plain bytes.
  const std::vector<uint8_t> other = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  TVXMemStream o(other.data(), int64_t(other.size()));
  EXPECT_FALSE(VXIsRawStream(&o));
}

TEST(CameraRawDng, SizeCameraAndParametersOnly) {
  ScratchDir dir;
  rawtest::TDngLayout layout;
  layout.Width = 36;
  layout.Height = 26;
  WriteFile(dir / "b.dng", rawtest::MakeDng(layout));
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadFromFileRAW(dir / "b.dng"));
  EXPECT_EQ(bmp.Width(), 34);
  EXPECT_EQ(bmp.Height(), 24);
  EXPECT_EQ(bmp.PixelFormat(), vx24RGB);
  EXPECT_EQ(io.Params().FileType(), 20);
  EXPECT_EQ(io.Params().RAW_Camera(), "Vexcam Test One ");  // no second model text
  // The general loader finds it under a wrong name too.
  WriteFile(dir / "b.png", ReadFile(dir / "b.dng"));
  TVXBitmap other;
  io.SetAttachedVXBitmap(&other);
  ASSERT_TRUE(io.LoadFromFile(dir / "b.png", false));
  EXPECT_EQ(other.Width(), 34);

  // Half size on a sensor with a filter pattern: LibRaw halves, no border.
  TVXBitmap half;
  io.SetAttachedVXBitmap(&half);
  io.Params().SetRAW_HalfSize(true);
  ASSERT_TRUE(io.LoadFromFileRAW(dir / "b.dng"));
  EXPECT_EQ(half.Width(), 18);
  EXPECT_EQ(half.Height(), 13);
  io.Params().SetRAW_HalfSize(false);

  TVXBitmap untouched;
  io.SetAttachedVXBitmap(&untouched);
  io.ParamsFromFile(dir / "b.dng");
  EXPECT_EQ(io.Params().Width(), 34);
  EXPECT_EQ(io.Params().Height(), 24);
  EXPECT_EQ(io.Params().RAW_Camera().rfind("Vexcam Test One ", 0), 0u);
  EXPECT_TRUE(untouched.IsEmpty());
}

int gPluginRawReads = 0;
void ReadPluginRaw(TStream*, TVXBitmap* Bitmap, TIOParamsVals&, TProgressRec&, bool Preview) {
  ++gPluginRawReads;
  if (!Preview) Bitmap->Allocate(3, 2, vx24RGB);
}

TEST(CameraRawDng, APluginOwningTheRawExtensionTakesTheLoad) {
  const TVXFileFormatInfo* builtin = VXFindFileFormatInfo(20);
  ASSERT_NE(builtin, nullptr);
  const TVXFileFormatInfo saved = *builtin;
  rawtest::TDngLayout layout;
  const std::vector<uint8_t> dng = rawtest::MakeDng(layout);
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  {
    VXUnregisterFileFormat(20);
    VXRegisterFileFormat(new TVXFileFormatInfo(8420, "Plug-in raw", "RAW", "", false, 0, &ReadPluginRaw, nullptr,
                                               nullptr));
    struct TRestore {
      const TVXFileFormatInfo& Saved;
      ~TRestore() {
        VXUnregisterFileFormat(8420);
        VXRegisterFileFormat(new TVXFileFormatInfo(Saved));
      }
    } restore{saved};
    TVXMemStream in(dng.data(), int64_t(dng.size()));
    gPluginRawReads = 0;
    EXPECT_TRUE(io.LoadFromStreamRAW(&in));
    EXPECT_EQ(gPluginRawReads, 1);
    EXPECT_EQ(bmp.Width(), 3);
    EXPECT_EQ(bmp.Height(), 2);
  }
  TVXMemStream in(dng.data(), int64_t(dng.size()));
  ASSERT_TRUE(io.LoadFromStreamRAW(&in));
  EXPECT_EQ(bmp.Width(), layout.Width - 2);
  EXPECT_EQ(io.Params().FileType(), 20);
}

TEST(CameraRawDng, OutputMatchesTheOutputStageOverLibRawsDecoding) {
  if (!HaveLibRawTools() || Shell("/usr/bin/python3 -c 'import numpy'") != 0)
    GTEST_SKIP() << "raw-identify, dcraw_emu (libraw-bin) and numpy are needed (scripts/setup --tests)";
  struct TCase {
    int W, H;
    uint32_t Seed;
    std::array<uint8_t, 4> Pattern;
    double Gamma, Bright;
  };
  for (const TCase& c : {TCase{40, 30, 7, {0, 1, 1, 2}, 0.6, 1.0}, TCase{33, 27, 11, {2, 1, 1, 0}, 0.45, 1.3}}) {
    SCOPED_TRACE(c.Seed);
    ScratchDir dir;
    rawtest::TDngLayout layout;
    layout.Width = c.W;
    layout.Height = c.H;
    layout.Seed = c.Seed;
    layout.Pattern = c.Pattern;
    WriteFile(dir / "c.dng", rawtest::MakeDng(layout));
    ASSERT_EQ(Shell("cd " + dir.Path + " && /usr/bin/dcraw_emu -4 -W -q 0 c.dng"), 0);
    ASSERT_EQ(Shell("/usr/bin/python3 " + kOracle + " " + dir / "c.dng.ppm " + std::to_string(c.Gamma) + " " +
                    std::to_string(c.Bright) + " Vexcam 1 " + dir / "e24 " + dir / "e48"),
              0);
    const std::vector<uint8_t> e24 = ReadFile(dir / "e24"), e48 = ReadFile(dir / "e48");
    const int w = c.W - 2, h = c.H - 2;
    ASSERT_EQ(e24.size(), size_t(w) * h * 3);
    ASSERT_EQ(e48.size(), size_t(w) * h * 6);
    for (bool native : {false, true}) {
      TVXBitmap bmp;
      TIOParamsVals params(nullptr);
      params.IsNativePixelFormat = native;
      params.SetRAW_Gamma(c.Gamma);
      params.SetRAW_Bright(c.Bright);
      ASSERT_FALSE(ReadRawFile(ReadFile(dir / "c.dng"), bmp, params));
      ASSERT_EQ(bmp.Width(), w);
      ASSERT_EQ(bmp.Height(), h);
      int worst = 0, distinct = 0, last = -1;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const size_t i = size_t(y) * w + x;
          int got[3], want[3];
          if (native) {
            const TRGB48 p = bmp.Pixels_vx48RGB(x, y);
            got[0] = p.r, got[1] = p.g, got[2] = p.b;
            for (int k = 0; k < 3; ++k) want[k] = e48[(i * 3 + k) * 2] | (e48[(i * 3 + k) * 2 + 1] << 8);
          } else {
            const TRGB p = bmp.Pixels_vx24RGB(x, y);
            got[0] = p.r, got[1] = p.g, got[2] = p.b;
            for (int k = 0; k < 3; ++k) want[k] = e24[i * 3 + k];
          }
          for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(got[k] - want[k]));
          distinct += got[1] != last;
          last = got[1];
        }
      EXPECT_LE(worst, 1) << (native ? "48-bit" : "24-bit");
      EXPECT_GT(distinct, w * h / 4);  // a picture, not a flat or clipped field
    }
  }
}

TEST(CameraRawDng, ExifThumbnailIsReturnedAtItsOwnSize) {
  // A CIFF heap with a preview: decoding wants the thumbnail and gets it,
  // whether or not the decoder knows the file.
  TJpegs jpegs;
  if (!jpegs.Made) GTEST_SKIP() << "ImageMagick's convert and djpeg are needed (scripts/setup --tests)";
  const std::vector<uint8_t> file =
      rawtest::CiffFile({{0x300A, rawtest::CiffHeap({{0x2008, jpegs.Small}, {0x2007, jpegs.Large}})}});
  for (bool known : {false, true}) {
    TVXMemStream in(file.data(), int64_t(file.size()));
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    params.SetRAW_GetExifThumbnail(true);
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    if (known) {
      TTestDecoder d = Decoder("Other", 50, 40, 0);
      d.Fill(50, 40, [](int, int) -> std::array<uint16_t, 3> { return {1000, 1000, 1000}; });
      VXReadRawStream(&in, &bmp, params, false, progress, d);
      EXPECT_FALSE(d.Processed);
    } else {
      VXReadRawStream(&in, &bmp, params, false, progress);
    }
    EXPECT_FALSE(aborting);
    EXPECT_TRUE(params.RAW_GetExifThumbnail());
    EXPECT_EQ(bmp.Width(), 16);
    EXPECT_EQ(bmp.Height(), 8);
  }
}

TEST(CiffHeap, DamagedHeapsEndQuietly) {
  // Truncations and bit flips of a heap with two previews: the walks stop
  // at what the stream holds; a preview found is a whole picture.
  const std::vector<uint8_t> crw =
      ReadFile(std::string(VX_SOURCE_DIR) + "/fuzz/seeds/camera_raw/two-previews.crw");
  ASSERT_GT(crw.size(), 100u);
  uint32_t r = 5;
  int previews = 0;
  for (int round = 0; round < 80; ++round) {
    std::vector<uint8_t> d = crw;
    if (round < 30) {
      d.resize(size_t(round) * d.size() / 30);
    } else {
      for (int k = 0; k < 3; ++k) {
        r = r * 1664525u + 1013904223u;
        d[(r >> 8) % d.size()] ^= uint8_t(1u << ((r >> 4) % 8));
      }
    }
    TVXMemStream in(d.data(), int64_t(d.size()));
    TIOParamsVals params(nullptr);
    ReadRawExifAndJpeg(&in, params);
    TVXMemStream again(d.data(), int64_t(d.size()));
    TVXBitmap bmp;
    if (VXLoadJpegFromCRWStream(&bmp, &again)) {
      ++previews;
      EXPECT_FALSE(bmp.IsEmpty()) << round;
    }
  }
  EXPECT_GT(previews, 0);
}

TEST(CameraRawDng, SixBySixPatternIsRefusedBeforeLibRaw) {
  // A directory with a 6 x 6 CFA pattern (33421, 33422), as in the DNGs of
  // X-Trans sensors, in either byte order: the packaged LibRaw writes past
  // its pattern table on it, so the reader and the probe refuse it instead.
  std::vector<uint8_t> pattern(36);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = uint8_t(i % 3);
  rawtest::TTiffBuilder t;
  t.Long(256, 6);
  t.Long(257, 6);
  t.Short(33421, {6, 6});
  t.Bytes(33422, pattern);
  const std::vector<uint8_t> little = t.Build({});
  // The same entries by hand, big-endian: width, height, pattern at 58.
  std::vector<uint8_t> big = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 3,
                              1, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 6,
                              1, 1, 0, 4, 0, 0, 0, 1, 0, 0, 0, 6,
                              0x82, 0x8E, 0, 1, 0, 0, 0, 36, 0, 0, 0, 50,
                              0, 0, 0, 0};
  big.resize(50, 0);
  big.insert(big.end(), pattern.begin(), pattern.end());
  const std::vector<uint8_t>* files[] = {&little, &big};
  for (const std::vector<uint8_t>* file : files) {
    TVXMemStream probe(file->data(), int64_t(file->size()));
    EXPECT_FALSE(VXIsRawStream(&probe));
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    EXPECT_TRUE(ReadRawFile(*file, bmp, params));
    EXPECT_TRUE(bmp.IsEmpty());
  }
}

// A file cut anywhere in its raw data (down to one byte short) is refused,
// in its first strip or any later one: LibRaw reads the missing
// bytes as zeros and would give a blank image or a blank part of one.
TEST(CameraRawDng, FilesCutShortAreRefused) {
  TVXBitmap single;
  for (int rowsPerStrip : {0, 8, 7}) {
    SCOPED_TRACE(rowsPerStrip);
    rawtest::TDngLayout layout;
    layout.RowsPerStrip = rowsPerStrip;
    const std::vector<uint8_t> dng = rawtest::MakeDng(layout);
    const size_t dataBytes = size_t(layout.Width * layout.Height * 2);
    const size_t data = dng.size() - dataBytes;
    TVXBitmap whole;
    TIOParamsVals wholeParams(nullptr);
    ASSERT_FALSE(ReadRawFile(dng, whole, wholeParams));
    ASSERT_EQ(whole.Width(), layout.Width - 2);
    // Strips give the same picture as one strip.
    if (single.IsEmpty()) single.Assign(&whole);
    ASSERT_EQ(whole.Height(), single.Height());
    for (int y = 0; y < whole.Height(); ++y)
      ASSERT_EQ(memcmp(whole.Scanline(y), single.Scanline(y), size_t(whole.RowLen())), 0) << "row " << y;
    ScratchDir dir;
    for (size_t keep : {dng.size() - 1, dng.size() - 2, dng.size() - 64, data + dataBytes * 3 / 4,
                        data + dataBytes / 2, data + dataBytes / 4, data + 80, data + 1, data}) {
      SCOPED_TRACE(keep);
      const std::vector<uint8_t> cut(dng.begin(), dng.begin() + ptrdiff_t(keep));
      TVXBitmap bmp;
      TIOParamsVals params(nullptr);
      EXPECT_TRUE(ReadRawFile(cut, bmp, params));
      EXPECT_TRUE(bmp.IsEmpty());
      WriteFile(dir / "cut.dng", cut);
      TVexlaneIO io;
      EXPECT_FALSE(io.LoadFromFileRAW(dir / "cut.dng"));
    }
  }
}

TEST(CameraRawDng, DamagedFilesAbortOrLoad) {
  rawtest::TDngLayout layout;
  const std::vector<uint8_t> dng = rawtest::MakeDng(layout);
  uint32_t r = 99;
  for (int round = 0; round < 60; ++round) {
    std::vector<uint8_t> d = dng;
    if (round < 20) {
      d.resize(size_t(round) * d.size() / 20);
    } else {
      for (int k = 0; k < 4; ++k) {
        r = r * 1664525u + 1013904223u;
        const size_t at = (r >> 8) % 400;  // the header and directory
        d[at] ^= uint8_t(1u << ((r >> 4) % 8));
      }
    }
    TVXBitmap bmp;
    TIOParamsVals params(nullptr);
    if (!ReadRawFile(d, bmp, params)) {
      EXPECT_FALSE(bmp.IsEmpty()) << round;
    }
  }
}

}  // namespace
