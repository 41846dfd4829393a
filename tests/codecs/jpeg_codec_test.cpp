// The JPEG codec against libjpeg's own command-line tools: decoding equals
// djpeg, encoding equals cjpeg from the first DQT on, plus the marker tools.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/cmyk.h"
#include "core/icc.h"
#include "core/streams.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"
#include "tests/codecs/jpeg_test_util.h"

using namespace jpegtest;

namespace {

const std::string kCjpeg = "/usr/bin/cjpeg", kDjpeg = "/usr/bin/djpeg";

#define REQUIRE_TOOLS()                                                                   \
  if (!HaveTool(kCjpeg) || !HaveTool(kDjpeg)) GTEST_SKIP() << "cjpeg/djpeg (libjpeg-turbo-progs) missing"

struct Decoded {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  bool Aborting = false;
  int32_t Rows = 0;
};

// Decodes Bytes as the I/O component's loader does (metadata and profile
// read), with the native pixel format when Native.
void Decode(const std::vector<uint8_t>& Bytes, Decoded& Out, bool Native = false, int32_t MaxRows = -1,
            bool ParamsOnly = false) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &Out.Aborting;
  Out.Rows = VXReadJpegStream(&s, nullptr, &Out.Bitmap, Out.Params, progress, ParamsOnly, false, true, false, true,
                              true, MaxRows, Native);
}

// Every pixel of a vx24RGB or vx8g bitmap equals the PNM.
void ExpectSamePixels(TVXBitmap& Bitmap, const Pnm& Ref) {
  ASSERT_EQ(Bitmap.Width(), Ref.Width);
  ASSERT_EQ(Bitmap.Height(), Ref.Height);
  int bad = 0;
  for (int y = 0; y < Ref.Height && bad < 5; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(Bitmap.GetScanLine(y));
    for (int x = 0; x < Ref.Width && bad < 5; ++x) {
      if (Bitmap.PixelFormat() == vx8g) {
        if (row[x] != Ref.At(x, y, 0)) ++bad;
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        const uint8_t want = Ref.Channels == 1 ? Ref.At(x, y, 0) : Ref.At(x, y, c);
        if (row[3 * x + 2 - c] != want) {
          ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c;
          ++bad;
        }
      }
    }
  }
  EXPECT_EQ(bad, 0);
}

// The bytes of a JPEG from its first DQT marker on.
std::vector<uint8_t> FromFirstDQT(const std::vector<uint8_t>& J) {
  for (size_t i = 0; i + 1 < J.size(); ++i)
    if (J[i] == 0xFF && J[i + 1] == 0xDB) return std::vector<uint8_t>(J.begin() + long(i), J.end());
  return {};
}

}  // namespace

TEST(JpegDecode, EqualsDjpegForEveryCodingChoice) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 67, 45);
  const struct {
    const char* Options;
    bool Grey;
  } cases[] = {
      {"-baseline", false},   {"-progressive", false}, {"-optimize", false}, {"-restart 1", false},
      {"-sample 2x2", false}, {"-sample 2x1", false},  {"-sample 1x1", false}, {"-grayscale", true},
      {"-rgb", false},        {"-quality 20 -smooth 30", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Options);
    ASSERT_EQ(Shell(kCjpeg + " " + c.Options + " -outfile " + (dir / "a.jpg") + " " + (dir / "src.ppm")), 0);
    ASSERT_EQ(Shell(kDjpeg + " -pnm -outfile " + (dir / "a.pnm") + " " + (dir / "a.jpg")), 0);
    Pnm ref;
    ASSERT_TRUE(ReadPnm(dir / "a.pnm", ref));
    Decoded d;
    Decode(ReadFile(dir / "a.jpg"), d);
    EXPECT_FALSE(d.Aborting);
    EXPECT_EQ(d.Rows, 45);
    EXPECT_EQ(d.Bitmap.PixelFormat(), vx24RGB);
    ExpectSamePixels(d.Bitmap, ref);
    EXPECT_EQ(d.Params.SamplesPerPixel(), c.Grey ? 1 : 3);
    EXPECT_EQ(d.Params.JPEG_Progressive(), std::string(c.Options) == "-progressive");
    if (c.Grey) {
      Decoded n;
      Decode(ReadFile(dir / "a.jpg"), n, true);
      EXPECT_EQ(n.Bitmap.PixelFormat(), vx8g);
      ExpectSamePixels(n.Bitmap, ref);
      EXPECT_EQ(n.Params.JPEG_ColorSpace(), ioJPEG_GRAYLEV);
    }
  }
}

TEST(JpegDecode, ScaledDecodingEqualsDjpegScale) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 100, 61);
  ASSERT_EQ(Shell(kCjpeg + " -outfile " + (dir / "a.jpg") + " " + (dir / "src.ppm")), 0);
  const struct {
    TIOJPEGScale Scale;
    int Denominator;
  } cases[] = {{ioJPEG_HALF, 2}, {ioJPEG_QUARTER, 4}, {ioJPEG_EIGHTH, 8}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Denominator);
    ASSERT_EQ(Shell(kDjpeg + " -pnm -scale 1/" + std::to_string(c.Denominator) + " -outfile " + (dir / "s.pnm") +
                  " " + (dir / "a.jpg")),
              0);
    Pnm ref;
    ASSERT_TRUE(ReadPnm(dir / "s.pnm", ref));
    Decoded d;
    d.Params.SetJPEG_Scale(c.Scale);
    Decode(ReadFile(dir / "a.jpg"), d);
    ExpectSamePixels(d.Bitmap, ref);
    EXPECT_EQ(d.Params.JPEG_Scale_Used(), c.Denominator);
    EXPECT_EQ(d.Params.OriginalWidth(), 100);
  }
}

TEST(JpegDecode, AutomaticScaleAndResolution) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 400, 300);
  ASSERT_EQ(Shell(kCjpeg + " -outfile " + (dir / "a.jpg") + " " + (dir / "src.ppm")), 0);
  std::vector<uint8_t> j = ReadFile(dir / "a.jpg");
  // Scale: the largest power of two that keeps both sides at the request.
  const struct {
    int W, H, Denominator;
  } cases[] = {{40, 30, 8}, {100, 100, 2}, {0, 30, 1}, {401, 1, 1}};
  for (const auto& c : cases) {
    Decoded d;
    d.Params.SetJPEG_Scale(ioJPEG_AUTOCALC);
    d.Params.SetWidth(c.W);
    d.Params.SetHeight(c.H);
    Decode(j, d);
    EXPECT_EQ(d.Params.JPEG_Scale_Used(), c.Denominator) << c.W << "x" << c.H;
    EXPECT_EQ(d.Bitmap.Width(), (400 + c.Denominator - 1) / c.Denominator);
  }
  // Density: patch the JFIF header (offsets 13: unit, 14: X, 16: Y).
  ASSERT_EQ(j[2], 0xFF);
  ASSERT_EQ(j[3], 0xE0);
  const struct {
    uint8_t Unit;
    uint16_t X, Y;
    int DpiX, DpiY;
  } res[] = {{2, 28, 28, 71, 71}, {1, 300, 150, 300, 150}, {0, 1, 1, 1, 1}};
  for (const auto& r : res) {
    j[13] = r.Unit;
    j[14] = uint8_t(r.X >> 8), j[15] = uint8_t(r.X);
    j[16] = uint8_t(r.Y >> 8), j[17] = uint8_t(r.Y);
    Decoded d;
    Decode(j, d, false, -1, true);
    EXPECT_EQ(d.Params.DpiX(), r.DpiX);
    EXPECT_EQ(d.Params.DpiY(), r.DpiY);
    EXPECT_EQ(d.Params.Width(), 400);  // parameters only: the bitmap stays empty
    EXPECT_TRUE(d.Bitmap.IsEmpty());
  }
}

TEST(JpegDecode, JunkBeforeTheImageMaxRowsAndDamage) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 64, 100);
  ASSERT_EQ(Shell(kCjpeg + " -outfile " + (dir / "a.jpg") + " " + (dir / "src.ppm")), 0);
  const std::vector<uint8_t> j = ReadFile(dir / "a.jpg");
  for (size_t junk : {size_t(100), size_t(149), size_t(150)}) {
    std::vector<uint8_t> b(junk, 0);
    b.insert(b.end(), j.begin(), j.end());
    Decoded d;
    Decode(b, d);
    EXPECT_EQ(d.Aborting, junk >= 150) << junk;
  }
  {
    Decoded d;
    Decode(j, d, false, 10);
    EXPECT_EQ(d.Rows, 10);
    EXPECT_FALSE(d.Aborting);
  }
  {
    Decoded d;
    Decode({}, d);
    EXPECT_TRUE(d.Aborting);
    EXPECT_EQ(d.Rows, 0);
  }
  {
    // Cut inside the entropy-coded data: decodes with warnings, no abort.
    std::vector<uint8_t> cut(j.begin(), j.begin() + long(j.size() / 2));
    Decoded d;
    Decode(cut, d);
    EXPECT_FALSE(d.Aborting);
    EXPECT_GT(d.Params.JPEG_WarningTot(), 0);
    const std::string last = VXJpegMessageText(d.Params.JPEG_WarningCode());
    EXPECT_TRUE(last == "Premature end of JPEG file" || last == "Corrupt JPEG data: premature end of data segment")
        << last;
  }
  {
    // A header cut short: refused.
    std::vector<uint8_t> cut(j.begin(), j.begin() + 40);
    Decoded d;
    Decode(cut, d);
    EXPECT_TRUE(d.Aborting);
  }
  {
    // A frame far larger than the stream could hold at one bit of code a
    // block: refused before the codec makes its buffers (for a progressive
    // image, the coefficients of the whole frame). The same header with the
    // file's own size loads what is there.
    ASSERT_EQ(Shell(kCjpeg + " -progressive -outfile " + (dir / "p.jpg") + " " + (dir / "src.ppm")), 0);
    const std::vector<uint8_t> p = ReadFile(dir / "p.jpg");
    size_t sof = 2;
    while (sof + 9 < p.size() && !(p[sof] == 0xFF && p[sof + 1] == 0xC2)) ++sof;
    ASSERT_LT(sof + 9, p.size());
    for (uint16_t side : {uint16_t(0), uint16_t(4000)}) {
      std::vector<uint8_t> b(p.begin(), p.begin() + long(std::min<size_t>(p.size(), 400)));
      if (side) b[sof + 5] = b[sof + 7] = uint8_t(side >> 8), b[sof + 6] = b[sof + 8] = uint8_t(side);
      Decoded d;
      Decode(b, d);
      EXPECT_EQ(d.Aborting, side != 0) << side;
      EXPECT_EQ(d.Bitmap.Width(), side ? 0 : 64);
    }
  }
  {
    // Arithmetic coding has no bit a block: a plain 4000 x 3000 frame takes
    // about 130 bytes and is no damage.
    {
      std::ofstream pgm(dir / "plain.pgm", std::ios::binary);
      pgm << "P5\n4000 3000\n255\n" << std::string(size_t(4000) * 3000, char(200));
    }
    ASSERT_EQ(Shell(kCjpeg + " -arithmetic -outfile " + (dir / "plain.jpg") + " " + (dir / "plain.pgm")), 0);
    const std::vector<uint8_t> a = ReadFile(dir / "plain.jpg");
    ASSERT_LT(a.size(), 1000u);
    Decoded d;
    Decode(a, d, true);
    EXPECT_FALSE(d.Aborting);
    ASSERT_EQ(d.Bitmap.Width(), 4000);
    ASSERT_EQ(d.Bitmap.Height(), 3000);
    EXPECT_EQ(static_cast<const uint8_t*>(d.Bitmap.GetScanLine(2999))[3999], 200);
  }
  // Bit flips anywhere never crash; the result is a load or a refusal.
  for (size_t i = 0; i < j.size(); i += 7) {
    std::vector<uint8_t> b = j;
    b[i] ^= 0x5A;
    Decoded d;
    Decode(b, d);
  }
}

TEST(JpegDecode, MessageTexts) {
  const struct {
    int Code;
    const char* Text;
  } cases[] = {{68, "Unsupported marker type ?"},
               {11, "Bogus marker length"},
               {121, "Corrupt JPEG data: found marker ? instead of RST?"},
               {119, "Warning: unknown JFIF revision number ?"},
               {73, ""},
               {74, ""},
               {124, "Corrupted"},
               {-1, "Corrupted"}};
  for (const auto& c : cases) EXPECT_EQ(VXJpegMessageText(c.Code), c.Text) << c.Code;
}

TEST(JpegEncode, EqualsCjpegFromTheFirstDQT) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 53, 37, 7);
  Pnm src;
  ASSERT_TRUE(ReadPnm(dir / "src.ppm", src));
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(src.Width, src.Height, vx24RGB));
  for (int y = 0; y < src.Height; ++y) {
    uint8_t* row = static_cast<uint8_t*>(bmp.GetScanLine(y));
    for (int x = 0; x < src.Width; ++x)
      for (int c = 0; c < 3; ++c) row[3 * x + 2 - c] = src.At(x, y, c);
  }
  const struct {
    const char* Options;
    int Quality;
    TIOJPEGCromaSubsampling Sampling;
    TIOJPEGDctMethod Dct;
    bool Optimize, Progressive;
    int Smooth;
    TIOJPEGColorspace Space;
  } cases[] = {
      {"-quality 80 -sample 2x2", 80, ioJPEG_HIGH, ioJPEG_ISLOW, false, false, 0, ioJPEG_YCbCr},
      {"-quality 50 -sample 2x1 -dct fast", 50, ioJPEG_MEDIUM, ioJPEG_IFAST, false, false, 0, ioJPEG_YCbCr},
      {"-quality 95 -sample 1x1 -dct float -optimize", 95, ioJPEG_NONE, ioJPEG_FLOAT, true, false, 0,
       ioJPEG_YCbCr},
      {"-quality 75 -sample 2x2 -progressive", 75, ioJPEG_HIGH, ioJPEG_ISLOW, false, true, 0, ioJPEG_YCbCr},
      {"-quality 75 -sample 2x2 -smooth 20", 75, ioJPEG_HIGH, ioJPEG_ISLOW, false, false, 20, ioJPEG_YCbCr},
      {"-quality 60 -grayscale", 60, ioJPEG_HIGH, ioJPEG_ISLOW, false, false, 0, ioJPEG_GRAYLEV},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Options);
    ASSERT_EQ(Shell(kCjpeg + " -baseline " + c.Options + " -outfile " + (dir / "ref.jpg") + " " + (dir / "src.ppm")),
              0);
    TIOParamsVals p(nullptr);
    p.SetJPEG_Quality(c.Quality);
    p.SetJPEG_CromaSubsampling(c.Sampling);
    p.SetJPEG_DCTMethod(c.Dct);
    p.SetJPEG_OptimalHuffman(c.Optimize);
    p.SetJPEG_Progressive(c.Progressive);
    p.SetJPEG_Smooth(c.Smooth);
    p.SetJPEG_ColorSpace(c.Space);
    p.SetDpiX(300);
    p.SetDpiY(200);
    TMemoryStream out;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXWriteJpegStream(&out, &bmp, p, progress);
    EXPECT_FALSE(aborting);
    const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
    const std::vector<uint8_t> ours(m, m + out.Size());
    EXPECT_EQ(FromFirstDQT(ours), FromFirstDQT(ReadFile(dir / "ref.jpg")));
    // JFIF density in dots per inch.
    ASSERT_GT(ours.size(), 18u);
    EXPECT_EQ(ours[13], 1);
    EXPECT_EQ((ours[14] << 8) | ours[15], 300);
    EXPECT_EQ((ours[16] << 8) | ours[17], 200);
  }
}

// JFIF densities are 16-bit: a resolution above 65535 is stored as 65535, not wrapped.
TEST(JpegEncode, ResolutionAboveSixteenBitsIsClamped) {
  TVXBitmap bmp;
  ASSERT_TRUE(bmp.Allocate(8, 8, vx24RGB));
  struct Case {
    int32_t Dpi, Stored;
  } cases[] = {{65535, 65535}, {65536, 65535}, {70000, 65535}, {2000000000, 65535}, {300, 300}};
  for (const auto& c : cases) {
    TIOParamsVals p(nullptr);
    p.SetDpiX(c.Dpi);
    p.SetDpiY(c.Dpi);
    TMemoryStream out;
    bool aborting = false;
    TProgressRec progress;
    progress.Aborting = &aborting;
    VXWriteJpegStream(&out, &bmp, p, progress);
    ASSERT_FALSE(aborting);
    const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
    ASSERT_GT(out.Size(), 18);
    EXPECT_EQ((m[14] << 8) | m[15], c.Stored) << c.Dpi;
    EXPECT_EQ((m[16] << 8) | m[17], c.Stored) << c.Dpi;
  }
}

TEST(JpegEncode, EmptyBitmapAbortsAndPaletteImagesEncodeTheirColours) {
  TVXBitmap empty;
  TIOParamsVals p(nullptr);
  TMemoryStream out;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteJpegStream(&out, &empty, p, progress);
  EXPECT_TRUE(aborting);

  TVXBitmap pal;
  ASSERT_TRUE(pal.Allocate(16, 16, vx8p));
  pal.SetPalette(0, TRGB{0, 0, 255});  // red (blue, green, red order)
  pal.Fill(0);
  aborting = false;
  p.SetJPEG_Quality(95);
  VXWriteJpegStream(&out, &pal, p, progress);
  ASSERT_FALSE(aborting);
  EXPECT_EQ(pal.PixelFormat(), vx8p);  // the caller's bitmap is left alone
  const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
  Decoded d;
  Decode(std::vector<uint8_t>(m, m + out.Size()), d);
  const uint8_t* row = static_cast<const uint8_t*>(d.Bitmap.GetScanLine(8));
  EXPECT_NEAR(row[3 * 8 + 2], 254, 2);
  EXPECT_NEAR(row[3 * 8], 0, 2);
}

TEST(JpegMarkers, MarkersKeptWrittenBackAndIPTCInjected) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 32, 24);
  ASSERT_EQ(Shell(kCjpeg + " -outfile " + (dir / "a.jpg") + " " + (dir / "src.ppm")), 0);
  const std::vector<uint8_t> plain = ReadFile(dir / "a.jpg");

  // Inject into a JFIF file: the APP13 goes right after the APP0.
  TVXIPTCInfoList iptc;
  iptc.AddStringItem(2, 120, "A caption");
  auto inject = [&](const std::vector<uint8_t>& In, const TVXIPTCInfoList& L, std::vector<uint8_t>& Out) {
    TVXMemStream in(In.data(), int64_t(In.size()));
    TMemoryStream out;
    TProgressRec progress;
    const bool ok = VXInjectJpegIPTC(&in, &out, L, progress);
    const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
    Out.assign(m, m + out.Size());
    return ok;
  };
  std::vector<uint8_t> withIptc;
  ASSERT_TRUE(inject(plain, iptc, withIptc));
  const size_t app0End = 4 + ((plain[4] << 8) | plain[5]);
  EXPECT_EQ(withIptc[app0End], 0xFF);
  EXPECT_EQ(withIptc[app0End + 1], 0xED);
  // Everything else byte for byte.
  const size_t segLen = 2 + ((withIptc[app0End + 2] << 8) | withIptc[app0End + 3]);
  std::vector<uint8_t> back(withIptc.begin(), withIptc.begin() + long(app0End));
  back.insert(back.end(), withIptc.begin() + long(app0End + segLen), withIptc.end());
  EXPECT_EQ(back, plain);

  // The records come back through the decoder's marker list.
  Decoded d;
  Decode(withIptc, d);
  ASSERT_EQ(d.Params.IPTC_Info().Count(), 1);
  EXPECT_EQ(d.Params.JPEG_MarkerList().IndexOf(0xED), 0);

  // Injecting again replaces in place; an empty list removes it.
  std::vector<uint8_t> again, removed;
  ASSERT_TRUE(inject(withIptc, iptc, again));
  EXPECT_EQ(again, withIptc);
  TVXIPTCInfoList none;
  ASSERT_TRUE(inject(withIptc, none, removed));
  EXPECT_EQ(removed, plain);

  // A trailer after the end of image is copied unchanged.
  std::vector<uint8_t> trailer = plain;
  trailer.insert(trailer.end(), {'T', 'R', 'A', 'I', 'L'});
  std::vector<uint8_t> out;
  ASSERT_TRUE(inject(trailer, iptc, out));
  EXPECT_EQ(std::vector<uint8_t>(out.end() - 5, out.end()), std::vector<uint8_t>({'T', 'R', 'A', 'I', 'L'}));

  // No APPn: before the DQT.
  std::vector<uint8_t> noApp(plain.begin(), plain.begin() + 2);
  noApp.insert(noApp.end(), plain.begin() + long(app0End), plain.end());
  ASSERT_TRUE(inject(noApp, iptc, out));
  EXPECT_EQ(out[2], 0xFF);
  EXPECT_EQ(out[3], 0xED);

  // Too large for one segment: refused before anything is written.
  TVXIPTCInfoList huge;
  for (int i = 0; i < 40; ++i) huge.AddStringItem(2, 25, std::string(2000, 'k'));
  EXPECT_FALSE(inject(plain, huge, out));
  EXPECT_TRUE(out.empty());
}

TEST(JpegMarkers, StreamLength) {
  REQUIRE_TOOLS();
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 30, 20);
  ASSERT_EQ(Shell(kCjpeg + " -outfile " + (dir / "a.jpg") + " " + (dir / "src.ppm")), 0);
  std::vector<uint8_t> b = ReadFile(dir / "a.jpg");
  const int64_t jpegLength = int64_t(b.size());
  b.insert(b.begin(), 5, 0x00);
  b.insert(b.end(), 1000, 0xAB);
  TVXMemStream s(b.data(), int64_t(b.size()));
  s.SetPosition(5);
  EXPECT_EQ(VXGetJpegStreamLength(&s), jpegLength);
  EXPECT_EQ(s.Position(), 5);
  // A segment length below 2 ends the walk.
  const uint8_t bad[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0x11, 0x22};
  TVXMemStream t(bad, sizeof bad);
  EXPECT_EQ(VXGetJpegStreamLength(&t), 6);
}

TEST(JpegMarkers, LargeProfileInChunksRoundTrips) {
  // The built-in CMYK profile is over 64 KB: it needs several APP2 chunks.
  TIOParamsVals p(nullptr);
  TVXICC real;
  real.Assign_CMYKProfile();
  ASSERT_TRUE(real.IsValid());
  ASSERT_GT(real.RawLength(), 64000);
  p.InputICCProfile().Assign(&real);
  VXBuildJpegICCMarkers(p);
  TVXMarkerList& m = p.JPEG_MarkerList();
  const int chunks = (real.RawLength() + 31999) / 32000;
  ASSERT_EQ(m.Count(), chunks);
  std::vector<uint8_t> rebuilt = {0xFF, 0xD8};
  for (int i = 0; i < m.Count(); ++i) {
    EXPECT_EQ(m.MarkerType(i), 0xE2);
    const uint8_t* d = reinterpret_cast<const uint8_t*>(m.MarkerData(i));
    EXPECT_EQ(d[12], i + 1);
    EXPECT_EQ(d[13], chunks);
    const size_t len = m.MarkerLength(i) + 2;
    rebuilt.insert(rebuilt.end(), {0xFF, 0xE2, uint8_t(len >> 8), uint8_t(len)});
    rebuilt.insert(rebuilt.end(), d, d + m.MarkerLength(i));
  }
  rebuilt.insert(rebuilt.end(), {0xFF, 0xD9});
  TIOParamsVals q(nullptr);
  TVXMemStream r(rebuilt.data(), int64_t(rebuilt.size()));
  VXReadJpegICCProfile(&r, q);
  ASSERT_TRUE(q.HasInputICCProfile());
  ASSERT_EQ(q.InputICCProfile().RawLength(), real.RawLength());
  EXPECT_EQ(std::memcmp(q.InputICCProfile().Raw(), real.Raw(), size_t(real.RawLength())), 0);
}

TEST(JpegDecode, AdobeCMYK) {
  const std::string magick = "/usr/bin/convert";
  if (!HaveTool(magick)) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) missing";
  ScratchDir dir;
  WriteTestPpm(dir / "src.ppm", 24, 16);
  ASSERT_EQ(Shell(magick + " " + (dir / "src.ppm") + " -colorspace CMYK -quality 90 jpg:" + (dir / "c.jpg")), 0);
  // ImageMagick's samples are ink amounts; the file (Adobe) stores 255 minus them.
  ASSERT_EQ(Shell(magick + " " + (dir / "c.jpg") + " -depth 8 cmyk:" + (dir / "c.raw")), 0);
  const std::vector<uint8_t> ink = ReadFile(dir / "c.raw");
  ASSERT_EQ(ink.size(), size_t(24 * 16 * 4));
  Decoded n;
  Decode(ReadFile(dir / "c.jpg"), n, true);
  ASSERT_FALSE(n.Aborting);
  // ImageMagick stores Adobe CMYK with the YCCK transform.
  EXPECT_EQ(n.Params.JPEG_ColorSpace(), ioJPEG_YCbCrK);
  EXPECT_EQ(n.Params.SamplesPerPixel(), 4);
  ASSERT_EQ(n.Bitmap.PixelFormat(), vxCMYK);
  int bad = 0;
  for (int y = 0; y < 16; ++y) {
    const uint8_t* row = static_cast<const uint8_t*>(n.Bitmap.GetScanLine(y));
    for (int i = 0; i < 24 * 4; ++i) bad += row[i] != uint8_t(255 - ink[size_t(y) * 96 + size_t(i)]);
  }
  EXPECT_EQ(bad, 0);
  Decoded rgb;
  Decode(ReadFile(dir / "c.jpg"), rgb);
  EXPECT_EQ(rgb.Bitmap.PixelFormat(), vx24RGB);
  EXPECT_FALSE(rgb.Aborting);

  // Our own plain CMYK file (Adobe marker, no transform) reads back as CMYK:
  // its samples are those the writer converted, up to the quality-100 loss.
  TIOParamsVals p(nullptr);
  p.SetJPEG_ColorSpace(ioJPEG_CMYK);
  p.SetJPEG_Quality(100);
  TMemoryStream out;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXWriteJpegStream(&out, &rgb.Bitmap, p, progress);
  ASSERT_FALSE(aborting);
  const uint8_t* m = static_cast<const uint8_t*>(out.Memory());
  Decoded back;
  Decode(std::vector<uint8_t>(m, m + out.Size()), back, true);
  EXPECT_EQ(back.Params.JPEG_ColorSpace(), ioJPEG_CMYK);
  EXPECT_EQ(back.Params.SamplesPerPixel(), 4);
  ASSERT_EQ(back.Bitmap.PixelFormat(), vxCMYK);
  int far = 0;
  std::vector<uint8_t> want(24 * 4);
  for (int y = 0; y < 16; ++y) {
    VXBGRRowToCMYK(rgb.Bitmap.GetScanLine(y), want.data(), 24);
    const uint8_t* b = static_cast<const uint8_t*>(back.Bitmap.GetScanLine(y));
    for (int i = 0; i < 24 * 4; ++i) far += std::abs(int(want[size_t(i)]) - int(b[i])) > 3;
  }
  EXPECT_EQ(far, 0);
}
