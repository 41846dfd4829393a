// The imaging component's scaler and converter as the processing component
// reaches them: the rfWIC* resampling filters and ConvertTo with palette and
// dither types. numpy says what the scaler's rules give.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../proc/numpy_oracle.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "formats/imaging_factory.h"
#include "formats/wic.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "proc/proc.h"
#include "resample/resample.h"

namespace {

// A picture with gradients and noise in every byte of the rows.
void Fill(TVXBitmap& b, TVXPixelFormat f, int W, int H, uint32_t seed = 7) {
  ASSERT_TRUE(b.Allocate(W, H, f));
  uint32_t r = seed;
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int64_t i = 0; i < b.RowLen(); ++i) {
      r = r * 1664525u + 1013904223u;
      row[i] = uint8_t(i * 5 + y * 9 + (r >> 27));
    }
  }
}

// Resample of a copy of Source through the processing component.
std::string Resampled(TVXBitmap& Source, int W, int H, TResampleFilter Filter, TVXPixelFormat* Format = nullptr) {
  TVXBitmap b;
  b.Assign(&Source);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&b);
  proc.Resample(W, H, Filter, false);
  EXPECT_EQ(b.Width(), W);
  EXPECT_EQ(b.Height(), H);
  if (Format) *Format = b.PixelFormat();
  return numpy_oracle::Pixels(&b);
}

std::string Shape(const TVXBitmap& b, int channels) {
  return "(" + std::to_string(b.Height()) + "," + std::to_string(b.Width()) + "," + std::to_string(channels) + ")";
}

TEST(ImagingResample, NearestNeighbourTakesThePixelUnderTheTargetCentre) {
  SKIP_WITHOUT_NUMPY();
  TVXBitmap src;
  Fill(src, vx24RGB, 13, 9);
  for (auto [W, H] : {std::pair{29, 20}, std::pair{6, 4}, std::pair{13, 5}, std::pair{20, 9}}) {
    SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
    TVXPixelFormat f;
    const std::string got = Resampled(src, W, H, rfWICNearestNeighbor, &f);
    EXPECT_EQ(f, vx24RGB);
    const std::string expect = numpy_oracle::Run(
        "a = load(0, np.uint8, " + Shape(src, 3) + ")\n"
        "W, H = " + std::to_string(W) + ", " + std::to_string(H) + "\n"
        "xs = ((np.arange(W) + 0.5) * a.shape[1] / W).astype(int)\n"
        "ys = ((np.arange(H) + 0.5) * a.shape[0] / H).astype(int)\n"
        "save(a[ys][:, xs])\n",
        {numpy_oracle::Pixels(&src)});
    EXPECT_TRUE(got == expect);
    // Any filter that is not one of the other three is mode 0.
    TVXBitmap direct;
    direct.Allocate(W, H, vx24RGB);
    ASSERT_TRUE(VXWICResampleBitmap(&src, &direct, nullptr, rfMitchell));
    EXPECT_TRUE(numpy_oracle::Pixels(&direct) == expect);
  }
}

TEST(ImagingResample, LinearAndCubicAreTheBilinearAndBicubicScalers) {
  for (TVXPixelFormat f : {vx24RGB, vx8g, vx48RGB}) {
    TVXBitmap src;
    Fill(src, f, 17, 11);
    for (auto [W, H] : {std::pair{40, 23}, std::pair{7, 5}}) {
      SCOPED_TRACE(std::to_string(int(f)) + ": " + std::to_string(W) + "x" + std::to_string(H));
      EXPECT_TRUE(Resampled(src, W, H, rfWICLinear) == Resampled(src, W, H, rfBilinear));
      EXPECT_TRUE(Resampled(src, W, H, rfWICCubic) == Resampled(src, W, H, rfBicubic));
    }
  }
}

TEST(ImagingResample, FantIsTheAreaAverage) {
  SKIP_WITHOUT_NUMPY();
  struct Case {
    TVXPixelFormat Format;
    int Channels;
    const char* Type;
  };
  for (const Case& c : {Case{vx24RGB, 3, "np.uint8"}, Case{vx16g, 1, "np.uint16"}}) {
    TVXBitmap src;
    Fill(src, c.Format, 24, 18);
    // Halving: the exact mean of each 2 x 2 block, rounded to nearest (ties
    // to even).
    TVXPixelFormat f;
    const std::string half = Resampled(src, 12, 9, rfWICFant, &f);
    EXPECT_EQ(f, c.Format);
    EXPECT_TRUE(half == numpy_oracle::Run(std::string("a = load(0, ") + c.Type + ", " + Shape(src, c.Channels) +
                                              ").astype(np.int64)\n"
                                              "s = a[0::2, 0::2] + a[1::2, 0::2] + a[0::2, 1::2] + a[1::2, 1::2]\n"
                                              "save(np.round(s / 4).astype(" + c.Type + "))\n",
                                          {numpy_oracle::Pixels(&src)}));
    // Other sizes: the area average within 1.
    for (auto [W, H] : {std::pair{7, 5}, std::pair{17, 13}, std::pair{31, 20}}) {
      SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
      const std::string got = Resampled(src, W, H, rfWICFant);
      const std::string diff = numpy_oracle::Run(
          std::string("a = load(0, ") + c.Type + ", " + Shape(src, c.Channels) + ").astype(float)\n"
          "g = load(1, " + c.Type + ", (" + std::to_string(H) + "," + std::to_string(W) + "," +
              std::to_string(c.Channels) + ")).astype(float)\n"
          "SH, SW = a.shape[:2]\n"
          "H, W = " + std::to_string(H) + ", " + std::to_string(W) + "\n"
          "def weights(S, D):\n"
          "    m = np.zeros((D, S))\n"
          "    for j in range(D):\n"
          "        lo, hi = j * S / D, (j + 1) * S / D\n"
          "        for i in range(S):\n"
          "            m[j, i] = max(0.0, min(hi, i + 1) - max(lo, i))\n"
          "    return m / (S / D)\n"
          "r = np.einsum('yi,xj,ijc->yxc', weights(SH, H), weights(SW, W), a)\n"
          "save(np.array([np.abs(r - g).max()]))\n",
          {numpy_oracle::Pixels(&src), got});
      ASSERT_EQ(diff.size(), sizeof(double));
      double d;
      std::memcpy(&d, diff.data(), sizeof d);
      EXPECT_LE(d, 1.0);
    }
  }
}

// The factory is the COM registry's entry for its class while it is
// installed and the component is present.
TEST(ImagingFactory, CreatedThroughTheClassRegistry) {
  ASSERT_TRUE(VXIsWICAvailable());
  TVXComPtr<IWICImagingFactory> factory;
  ASSERT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             reinterpret_cast<void**>(&factory)),
            S_OK);
  TVXComPtr<IStream> notStream;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IStream,
                             reinterpret_cast<void**>(&notStream)),
            E_NOINTERFACE);
  VXSetImagingComponentPresent(false);
  TVXComPtr<IWICImagingFactory> absent;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                             reinterpret_cast<void**>(&absent)),
            REGDB_E_CLASSNOTREG);
  VXSetImagingComponentPresent(true);
}

// Without the component the rfWIC* filters are the default filter.
TEST(ImagingResample, WithoutTheComponentTheDefaultFilterScales) {
  TVXBitmap src;
  Fill(src, vx24RGB, 15, 10);
  const std::string byDefault = Resampled(src, 9, 7, VXGetGlobalSettings()->DefaultResampleFilter());
  ASSERT_NE(Resampled(src, 9, 7, rfWICFant), byDefault);
  VXSetImagingComponentPresent(false);
  for (TResampleFilter f : {rfWICNearestNeighbor, rfWICLinear, rfWICCubic, rfWICFant})
    EXPECT_TRUE(Resampled(src, 9, 7, f) == byDefault) << int(f);
  VXSetImagingComponentPresent(true);
}

}  // namespace

namespace {

// ConvertTo on a copy of Source; Result receives the image.
bool Convert(TVXBitmap& Source, TVXBitmap& Result, TVXPixelFormat f, TVXPaletteType p, TVXDitherType d,
             bool CheckOnly = false) {
  Result.Assign(&Source);
  TVexlaneProc proc;
  proc.SetAttachedVXBitmap(&Result);
  return proc.ConvertTo(f, p, d, CheckOnly);
}

void FillFlat(TVXBitmap& b, int W, int H, TRGB c) {
  ASSERT_TRUE(b.Allocate(W, H, vx24RGB));
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) static_cast<TRGB*>(b.ScanLine(y))[x] = c;
}

std::set<uint32_t> Colours(TVXBitmap& b) {
  std::set<uint32_t> out;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TRGB c = b.Pixels(x, y);
      out.insert(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
    }
  return out;
}

TEST(ImagingConvertTo, EveryDestinationWithEveryPaletteAndDither) {
  TVXBitmap src;
  Fill(src, vx24RGB, 21, 13);
  for (TVXPixelFormat f : {vx1g, vx8p, vx8g, vx16g, vx24RGB, vxCMYK, vx48RGB})
    for (int p = vxptMedianCut; p <= vxptFixedGray256; ++p)
      for (int d = vxdtSolid; d <= vxdtErrorDiffusion; ++d) {
        SCOPED_TRACE(std::to_string(int(f)) + " " + std::to_string(p) + " " + std::to_string(d));
        TVXBitmap out;
        ASSERT_TRUE(Convert(src, out, f, TVXPaletteType(p), TVXDitherType(d)));
        EXPECT_EQ(out.PixelFormat(), f);
        EXPECT_EQ(out.Width(), 21);
        EXPECT_EQ(out.Height(), 13);
      }
  // A format the component has none for.
  TVXBitmap out;
  EXPECT_THROW(Convert(src, out, vx32f, vxptMedianCut, vxdtSolid), EVXException);
}

TEST(ImagingConvertTo, FixedGreyPalettesGiveTheirLevelsOnly) {
  TVXBitmap src;
  Fill(src, vx24RGB, 40, 30);
  struct Case {
    TVXPaletteType Palette;
    int Step;
  };
  for (const Case& c : {Case{vxptFixedGray4, 85}, Case{vxptFixedGray16, 17}, Case{vxptFixedGray256, 1}})
    for (TVXDitherType d : {vxdtSolid, vxdtOrdered4x4, vxdtErrorDiffusion}) {
      SCOPED_TRACE(int(c.Palette));
      TVXBitmap grey, indexed;
      ASSERT_TRUE(Convert(src, grey, vx8g, c.Palette, d));
      std::set<int> levels;
      for (int y = 0; y < grey.Height(); ++y)
        for (int x = 0; x < grey.Width(); ++x) levels.insert(static_cast<uint8_t*>(grey.ScanLine(y))[x]);
      for (int v : levels) EXPECT_EQ(v % c.Step, 0) << v;
      EXPECT_GT(levels.size(), 1u);
      ASSERT_TRUE(Convert(src, indexed, vx8p, c.Palette, d));
      EXPECT_EQ(indexed.PaletteUsed(), 255 / c.Step + 1);
      for (int i = 0; i < indexed.PaletteUsed(); ++i) {
        const TRGB e = indexed.Palette(i);
        EXPECT_TRUE(e.r == e.g && e.g == e.b && e.r == i * c.Step) << i;
      }
    }
}

TEST(ImagingConvertTo, DithersOfFlatAreas) {
  // Ordered 8 x 8 of grey 128 to black and white: half of every tile black.
  TVXBitmap grey, bw;
  FillFlat(grey, 32, 24, TRGB{128, 128, 128});
  ASSERT_TRUE(Convert(grey, bw, vx1g, vxptFixedBW, vxdtOrdered8x8));
  ASSERT_EQ(bw.PixelFormat(), vx1g);
  for (int ty = 0; ty < 3; ++ty)
    for (int tx = 0; tx < 4; ++tx) {
      int black = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const int px = tx * 8 + x;
          if (!(static_cast<uint8_t*>(bw.ScanLine(ty * 8 + y))[px >> 3] & (0x80 >> (px & 7)))) ++black;
        }
      EXPECT_EQ(black, 32) << tx << "," << ty;
    }

  // Error diffusion keeps a flat area's mean; solid gives one colour.
  TVXBitmap flat;
  const TRGB c{200, 150, 100};  // blue, green, red
  FillFlat(flat, 64, 64, c);
  for (TVXPaletteType p : {vxptFixedHalftone8, vxptFixedHalftone27, vxptFixedHalftone256}) {
    SCOPED_TRACE(int(p));
    TVXBitmap diffused, solid;
    ASSERT_TRUE(Convert(flat, diffused, vx8p, p, vxdtErrorDiffusion));
    double sum[3] = {0, 0, 0};
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const TRGB q = diffused.Pixels(x, y);
        sum[0] += q.b;
        sum[1] += q.g;
        sum[2] += q.r;
      }
    EXPECT_NEAR(sum[0] / 4096, c.b, 2.55);
    EXPECT_NEAR(sum[1] / 4096, c.g, 2.55);
    EXPECT_NEAR(sum[2] / 4096, c.r, 2.55);
    EXPECT_GT(Colours(diffused).size(), 1u);
    ASSERT_TRUE(Convert(flat, solid, vx8p, p, vxdtSolid));
    EXPECT_EQ(Colours(solid).size(), 1u);
  }
}

TEST(ImagingConvertTo, MedianCutNearPillowsOwn) {
  SKIP_WITHOUT_NUMPY();
  TVXBitmap src;
  ASSERT_TRUE(src.Allocate(64, 48, vx24RGB));
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      src.SetPixels(x, y, TRGB{uint8_t(x * 4), uint8_t(y * 5), uint8_t((x * y) % 256)});
  TVXBitmap out;
  ASSERT_TRUE(Convert(src, out, vx8p, vxptMedianCut, vxdtSolid));
  ASSERT_EQ(out.PixelFormat(), vx8p);
  EXPECT_LE(out.PaletteUsed(), 256);
  double ours = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      const TRGB a = src.Pixels(x, y), b = out.Pixels(x, y);
      ours += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
    }
  ours /= 48 * 64 * 3;
  const std::string pillow = numpy_oracle::Run(
      "from PIL import Image\n"
      "a = load(0, np.uint8, (48, 64, 3))[:, :, ::-1].copy()\n"
      "q = Image.fromarray(a, 'RGB').quantize(256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)\n"
      "b = np.asarray(q.convert('RGB')).astype(float)\n"
      "save(np.array([np.abs(b - a).mean()]))\n",
      {numpy_oracle::Pixels(&src)});
  ASSERT_EQ(pillow.size(), sizeof(double));
  double theirs;
  std::memcpy(&theirs, pillow.data(), sizeof theirs);
  EXPECT_LE(ours, 1.5 * theirs) << ours << " against Pillow's " << theirs;
}

TEST(ImagingConvertTo, CheckOnlyAndWithoutTheComponent) {
  TVXBitmap src;
  Fill(src, vx24RGB, 10, 8);
  TVXBitmap out;
  EXPECT_TRUE(Convert(src, out, vx8p, vxptFixedHalftone64, vxdtOrdered4x4, true));
  EXPECT_EQ(out.PixelFormat(), vx24RGB);
  EXPECT_TRUE(numpy_oracle::Pixels(&out) == numpy_oracle::Pixels(&src));
  VXSetImagingComponentPresent(false);
  EXPECT_FALSE(Convert(src, out, vx8p, vxptFixedHalftone64, vxdtOrdered4x4));
  EXPECT_EQ(out.PixelFormat(), vx24RGB);
  EXPECT_TRUE(numpy_oracle::Pixels(&out) == numpy_oracle::Pixels(&src));
  VXSetImagingComponentPresent(true);
}

}  // namespace

namespace {

const std::string kConvert = "/usr/bin/convert";

std::string TempName(const std::string& ext) {
  static int n = 0;
  const char* t = getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/vximaging-" + std::to_string(getpid()) + "-" + std::to_string(++n) +
         ext;
}

// The library's own native load of a file.
void LoadNative(const std::string& file, TVXBitmap& b) {
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&b);
  io.Params().IsNativePixelFormat = true;
  ASSERT_TRUE(io.LoadFromFile(file, -9));
}

// The factory's encoders, their frames, the decoders and the frames they give
// answer wrong arguments and calls out of turn, and carry a 4 x 3 picture
// through, for HD Photo and the library's codecs alike.
TEST(ImagingFactory, EncodersAndDecodersAnswerWrongCallsAndCarryThePicture) {
  struct Case {
    const char* Name;
    const GUID* Container;
  };
  const Case cases[] = {{"HD Photo", &GUID_ContainerFormatWmp},
                        {"PNG", &GUID_ContainerFormatPng},
                        {"TIFF", &GUID_ContainerFormatTiff},
                        {"BMP", &GUID_ContainerFormatBmp}};
  std::vector<uint8_t> picture(12 * 3);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 23 + 5);
  TVXComPtr<IWICImagingFactory> factory;
  *&factory = VXCreateImagingFactory();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TVXComPtr<IStream> stream;
    *&stream = SHCreateMemStream(nullptr, 0);
    {
      TVXComPtr<IWICBitmapEncoder> encoder;
      ASSERT_EQ(factory->CreateEncoder(*c.Container, nullptr, &encoder), S_OK);
      GUID g{};
      EXPECT_EQ(encoder->GetContainerFormat(nullptr), E_INVALIDARG);
      EXPECT_EQ(encoder->GetContainerFormat(&g), S_OK);
      EXPECT_TRUE(IsEqualGUID(g, *c.Container));
      TVXComPtr<IWICBitmapFrameEncode> frame;
      TVXComPtr<IPropertyBag2> bag;
      EXPECT_EQ(encoder->CreateNewFrame(&frame, &bag), E_INVALIDARG);  // no stream yet
      EXPECT_EQ(encoder->Commit(), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(encoder->Initialize(nullptr, WICBitmapEncoderNoCache), WINCODEC_ERR_WRONGSTATE);
      ASSERT_EQ(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
      EXPECT_EQ(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(encoder->CreateNewFrame(nullptr, nullptr), E_INVALIDARG);
      ASSERT_EQ(encoder->CreateNewFrame(&frame, &bag), S_OK);
      {
        TVXComPtr<IWICBitmapFrameEncode> second;
        EXPECT_EQ(encoder->CreateNewFrame(&second, nullptr), WINCODEC_ERR_UNSUPPORTEDOPERATION);
      }
      PROPBAG2 key;
      key.pstrName = "Lossless";
      VARIANT v;
      v.vt = VT_BOOL;
      v.boolVal = VARIANT_TRUE;
      ASSERT_EQ(bag->Write(1, &key, &v), S_OK);

      WICPixelFormatGUID format = GUID_WICPixelFormat8bppIndexed;
      EXPECT_EQ(frame->SetSize(4, 3), E_INVALIDARG);
      EXPECT_EQ(frame->SetResolution(72, 72), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(frame->SetPixelFormat(&format), E_INVALIDARG);
      EXPECT_EQ(frame->WritePixels(1, 12, 12, picture.data()), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(frame->Commit(), WINCODEC_ERR_WRONGSTATE);
      ASSERT_EQ(frame->Initialize(bag.Get()), S_OK);
      EXPECT_EQ(frame->Initialize(bag.Get()), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(frame->SetSize(0, 3), E_INVALIDARG);
      EXPECT_EQ(frame->SetSize(4, 0x80000000u), E_INVALIDARG);
      EXPECT_EQ(frame->WritePixels(1, 12, 12, picture.data()), WINCODEC_ERR_WRONGSTATE);  // no format yet
      EXPECT_EQ(frame->SetPixelFormat(nullptr), E_INVALIDARG);
      EXPECT_EQ(frame->SetPixelFormat(&format), S_OK);
      EXPECT_TRUE(IsEqualGUID(format, GUID_WICPixelFormat24bppBGR));  // indexed colour is taken as 24-bit
      EXPECT_EQ(frame->WritePixels(1, 12, 12, picture.data()), WINCODEC_ERR_WRONGSTATE);  // no size yet
      ASSERT_EQ(frame->SetSize(4, 3), S_OK);
      ASSERT_EQ(frame->SetResolution(72, 72), S_OK);
      EXPECT_EQ(frame->WritePixels(1, 12, 12, nullptr), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(frame->WritePixels(0, 12, 0, picture.data()), S_OK);
      EXPECT_EQ(frame->WritePixels(2, 11, 24, picture.data()), E_INVALIDARG);  // stride below a row
      EXPECT_EQ(frame->WritePixels(2, 12, 23, picture.data()), E_INVALIDARG);  // buffer too small
      EXPECT_EQ(frame->WritePixels(4, 12, 48, picture.data()), WINCODEC_ERR_WRONGSTATE);  // more rows than the frame
      ASSERT_EQ(frame->WritePixels(2, 12, 24, picture.data()), S_OK);
      EXPECT_EQ(frame->Commit(), WINCODEC_ERR_WRONGSTATE);  // a row is missing
      EXPECT_EQ(encoder->Commit(), WINCODEC_ERR_WRONGSTATE);
      EXPECT_EQ(frame->WritePixels(2, 12, 24, picture.data() + 24), WINCODEC_ERR_WRONGSTATE);
      ASSERT_EQ(frame->WritePixels(1, 12, 12, picture.data() + 24), S_OK);
      ASSERT_EQ(frame->Commit(), S_OK);
      EXPECT_EQ(frame->Commit(), WINCODEC_ERR_WRONGSTATE);
      ASSERT_EQ(encoder->Commit(), S_OK);
      EXPECT_EQ(encoder->Commit(), WINCODEC_ERR_WRONGSTATE);
    }
    STATSTG written;
    ASSERT_EQ(stream->Stat(&written, STATFLAG_NONAME), S_OK);
    ASSERT_GT(written.cbSize, 0u);

    ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    TVXComPtr<IWICBitmapDecoder> decoder;
    EXPECT_EQ(factory->CreateDecoderFromStream(nullptr, nullptr, WICDecodeMetadataCacheOnDemand, &decoder),
              E_INVALIDARG);
    ASSERT_EQ(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder), S_OK);
    GUID g{};
    EXPECT_EQ(decoder->GetContainerFormat(nullptr), E_INVALIDARG);
    EXPECT_EQ(decoder->GetContainerFormat(&g), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, *c.Container));
    UINT frames = 0;
    EXPECT_EQ(decoder->GetFrameCount(nullptr), E_INVALIDARG);
    EXPECT_EQ(decoder->GetFrameCount(&frames), S_OK);
    EXPECT_EQ(frames, 1u);
    TVXComPtr<IWICBitmapFrameDecode> frame;
    EXPECT_EQ(decoder->GetFrame(0, nullptr), E_INVALIDARG);
    EXPECT_EQ(decoder->GetFrame(1, &frame), WINCODEC_ERR_FRAMEMISSING);
    EXPECT_FALSE(frame);
    ASSERT_EQ(decoder->GetFrame(0, &frame), S_OK);

    UINT w = 0, h = 0;
    EXPECT_EQ(frame->GetSize(nullptr, &h), E_INVALIDARG);
    EXPECT_EQ(frame->GetSize(&w, nullptr), E_INVALIDARG);
    EXPECT_EQ(frame->GetSize(&w, &h), S_OK);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 3u);
    WICPixelFormatGUID format{};
    EXPECT_EQ(frame->GetPixelFormat(nullptr), E_INVALIDARG);
    EXPECT_EQ(frame->GetPixelFormat(&format), S_OK);
    EXPECT_TRUE(IsEqualGUID(format, GUID_WICPixelFormat24bppBGR));
    double dx = 0, dy = 0;
    EXPECT_EQ(frame->GetResolution(nullptr, &dy), E_INVALIDARG);
    EXPECT_EQ(frame->GetResolution(&dx, nullptr), E_INVALIDARG);
    EXPECT_EQ(frame->GetResolution(&dx, &dy), S_OK);
    EXPECT_NEAR(dx, 72, 0.5);
    EXPECT_NEAR(dy, 72, 0.5);
    {
      // The objects answer their own interfaces and those they extend.
      TVXComPtr<IWICBitmapSource> source;
      EXPECT_EQ(frame.As(source), S_OK);
      TVXComPtr<IUnknown> unknown;
      EXPECT_EQ(decoder.As(unknown), S_OK);
      TVXComPtr<IWICBitmapEncoder> notEncoder;
      EXPECT_EQ(decoder.As(notEncoder), E_NOINTERFACE);
      TVXComPtr<IWICImagingFactory> same;
      EXPECT_EQ(factory.As(same), S_OK);
      EXPECT_EQ(same.Get(), factory.Get());
    }
    {
      TVXComPtr<IWICPalette> palette;
      ASSERT_EQ(factory->CreatePalette(&palette), S_OK);
      EXPECT_EQ(frame->CopyPalette(palette.Get()), WINCODEC_ERR_PALETTEUNAVAILABLE);
    }
    std::vector<uint8_t> back(36, 0);
    EXPECT_EQ(frame->CopyPixels(nullptr, 12, 36, nullptr), E_INVALIDARG);
    EXPECT_EQ(frame->CopyPixels(nullptr, 11, 36, back.data()), E_INVALIDARG);
    EXPECT_EQ(frame->CopyPixels(nullptr, 12, 35, back.data()), E_INVALIDARG);
    const WICRect outside{2, 1, 3, 1};
    EXPECT_EQ(frame->CopyPixels(&outside, 12, 36, back.data()), E_INVALIDARG);
    ASSERT_EQ(frame->CopyPixels(nullptr, 12, 36, back.data()), S_OK);
    EXPECT_EQ(back, picture);
    const WICRect inner{1, 1, 2, 2};
    std::vector<uint8_t> part(12, 0);
    ASSERT_EQ(frame->CopyPixels(&inner, 6, 12, part.data()), S_OK);
    for (int y = 0; y < 2; ++y)
      EXPECT_TRUE(std::equal(part.begin() + 6 * y, part.begin() + 6 * y + 6, picture.begin() + 12 * (1 + y) + 3)) << y;
    TVXComPtr<IWICMetadataQueryReader> reader;
    EXPECT_EQ(frame->GetMetadataQueryReader(nullptr), E_INVALIDARG);
    ASSERT_EQ(frame->GetMetadataQueryReader(&reader), S_OK);
    PROPVARIANT value;
    value.vt = VT_BOOL;
    EXPECT_EQ(reader->GetMetadataByName("/app1/ifd/{ushort=271}", &value), WINCODEC_ERR_PROPERTYNOTFOUND);
    EXPECT_EQ(value.vt, VT_EMPTY);
    TVXComPtr<IWICBitmapSource> thumbnail;
    EXPECT_EQ(frame->GetThumbnail(&thumbnail), WINCODEC_ERR_CODECNOTHUMBNAIL);
    EXPECT_FALSE(thumbnail);
  }
}

// Once rows are written, a frame keeps the size and format they were laid out
// in: a wider size or a deeper format would put later rows past the buffer.
TEST(ImagingFactory, FrameSizeAndFormatStayOnceRowsAreWritten) {
  std::vector<uint8_t> picture(300 * 3 * 2, 0x5A);
  TVXComPtr<IWICImagingFactory> factory;
  *&factory = VXCreateImagingFactory();
  for (const GUID* container : {&GUID_ContainerFormatWmp, &GUID_ContainerFormatPng}) {
    SCOPED_TRACE(container == &GUID_ContainerFormatWmp ? "HD Photo" : "PNG");
    TVXComPtr<IStream> stream;
    *&stream = SHCreateMemStream(nullptr, 0);
    TVXComPtr<IWICBitmapEncoder> encoder;
    ASSERT_EQ(factory->CreateEncoder(*container, nullptr, &encoder), S_OK);
    ASSERT_EQ(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), S_OK);
    TVXComPtr<IWICBitmapFrameEncode> frame;
    ASSERT_EQ(encoder->CreateNewFrame(&frame, nullptr), S_OK);
    ASSERT_EQ(frame->Initialize(nullptr), S_OK);
    ASSERT_EQ(frame->SetSize(4, 3), S_OK);
    WICPixelFormatGUID format = GUID_WICPixelFormat8bppGray;
    ASSERT_EQ(frame->SetPixelFormat(&format), S_OK);
    // Before any row both may still change.
    format = GUID_WICPixelFormat24bppBGR;
    ASSERT_EQ(frame->SetPixelFormat(&format), S_OK);
    ASSERT_EQ(frame->WritePixels(1, 12, 12, picture.data()), S_OK);
    EXPECT_EQ(frame->SetSize(100, 3), WINCODEC_ERR_WRONGSTATE);
    WICPixelFormatGUID deeper = GUID_WICPixelFormat48bppRGB;
    EXPECT_EQ(frame->SetPixelFormat(&deeper), WINCODEC_ERR_WRONGSTATE);
    EXPECT_TRUE(IsEqualGUID(deeper, GUID_WICPixelFormat48bppRGB));
    EXPECT_EQ(frame->WritePixels(2, 300, 600, picture.data()), S_OK);  // rows of the first layout
    ASSERT_EQ(frame->Commit(), S_OK);
    ASSERT_EQ(encoder->Commit(), S_OK);
    ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    TVXComPtr<IWICBitmapDecoder> decoder;
    ASSERT_EQ(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand, &decoder), S_OK);
    TVXComPtr<IWICBitmapFrameDecode> decoded;
    ASSERT_EQ(decoder->GetFrame(0, &decoded), S_OK);
    UINT w = 0, h = 0;
    ASSERT_EQ(decoded->GetSize(&w, &h), S_OK);
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 3u);
    EXPECT_EQ(decoded->GetPixelFormat(&format), S_OK);
    EXPECT_TRUE(IsEqualGUID(format, GUID_WICPixelFormat24bppBGR));
  }
}

// The converter and the scaler answer nothing before they are initialised,
// and once only.
TEST(ImagingFactory, ConverterAndScalerBeforeAndAfterInitialize) {
  TVXComPtr<IWICImagingFactory> factory;
  *&factory = VXCreateImagingFactory();
  TVXBitmap src;
  Fill(src, vx24RGB, 6, 5);
  TVXComPtr<IWICBitmapSource> source;
  *&source = new TVXWICBitmapWrapper(&src, nullptr);
  TVXComPtr<IWICFormatConverter> converter;
  ASSERT_EQ(factory->CreateFormatConverter(&converter), S_OK);
  TVXComPtr<IWICBitmapScaler> scaler;
  ASSERT_EQ(factory->CreateBitmapScaler(&scaler), S_OK);
  IWICBitmapSource* const sources[] = {converter.Get(), scaler.Get()};
  for (IWICBitmapSource* s : sources) {
    UINT w = 0, h = 0;
    WICPixelFormatGUID f{};
    double x = 0, y = 0;
    std::vector<uint8_t> buffer(18 * 5);
    EXPECT_EQ(s->GetSize(&w, &h), WINCODEC_ERR_NOTINITIALIZED);
    EXPECT_EQ(s->GetSize(nullptr, nullptr), WINCODEC_ERR_NOTINITIALIZED);
    EXPECT_EQ(s->GetPixelFormat(&f), WINCODEC_ERR_NOTINITIALIZED);
    EXPECT_EQ(s->GetResolution(&x, &y), WINCODEC_ERR_NOTINITIALIZED);
    EXPECT_EQ(s->CopyPalette(nullptr), WINCODEC_ERR_NOTINITIALIZED);
    EXPECT_EQ(s->CopyPixels(nullptr, 18, UINT(buffer.size()), buffer.data()), WINCODEC_ERR_NOTINITIALIZED);
  }
  ASSERT_EQ(converter->Initialize(source.Get(), GUID_WICPixelFormat8bppGray, WICBitmapDitherTypeNone, nullptr, 0,
                                  WICBitmapPaletteTypeCustom),
            S_OK);
  EXPECT_EQ(converter->Initialize(source.Get(), GUID_WICPixelFormat8bppGray, WICBitmapDitherTypeNone, nullptr, 0,
                                  WICBitmapPaletteTypeCustom),
            WINCODEC_ERR_WRONGSTATE);
  ASSERT_EQ(scaler->Initialize(source.Get(), 3, 2, WICBitmapInterpolationModeFant), S_OK);
  EXPECT_EQ(scaler->Initialize(source.Get(), 3, 2, WICBitmapInterpolationModeFant), WINCODEC_ERR_WRONGSTATE);
  struct Want {
    UINT W, H;
    GUID Format;
  };
  const Want wants[] = {{6, 5, GUID_WICPixelFormat8bppGray}, {3, 2, GUID_WICPixelFormat24bppBGR}};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i ? "scaler" : "converter");
    IWICBitmapSource* s = sources[i];
    UINT w = 0, h = 0;
    WICPixelFormatGUID f{};
    double x = 0, y = 0;
    EXPECT_EQ(s->GetSize(nullptr, &h), E_INVALIDARG);
    EXPECT_EQ(s->GetSize(&w, &h), S_OK);
    EXPECT_EQ(w, wants[i].W);
    EXPECT_EQ(h, wants[i].H);
    EXPECT_EQ(s->GetPixelFormat(nullptr), E_INVALIDARG);
    EXPECT_EQ(s->GetPixelFormat(&f), S_OK);
    EXPECT_TRUE(IsEqualGUID(f, wants[i].Format));
    EXPECT_EQ(s->GetResolution(nullptr, &y), E_INVALIDARG);
    EXPECT_EQ(s->GetResolution(&x, &y), S_OK);
    EXPECT_EQ(s->CopyPalette(nullptr), WINCODEC_ERR_PALETTEUNAVAILABLE);
  }
}

TEST(ImagingCodecs, FramesReadThroughTheComponentAreTheLibrarysOwn) {
  struct Case {
    int32_t Type;
    TVXPixelFormat Format;
    const char* Ext;
  };
  for (const Case& c : {Case{8, vx24RGB, ".png"}, Case{5, vx8p, ".bmp"}, Case{1, vx16g, ".tif"}, Case{1, vxCMYK, ".tif"},
                        Case{2, vx8p, ".gif"}, Case{3, vx8g, ".jpg"}}) {
    SCOPED_TRACE(c.Ext);
    TVXBitmap src;
    Fill(src, c.Format, 19, 14);
    if (c.Format == vx8p) {
      for (int i = 0; i < 256; ++i) src.SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
      src.SetPaletteUsed(256);
    }
    const std::string file = TempName(c.Ext);
    {
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&src);
      io.SaveToFile(file, c.Type);
      ASSERT_FALSE(io.Aborting());
    }
    TVXBitmap own;
    LoadNative(file, own);
    TVXWICReader reader;
    ASSERT_TRUE(reader.Open(file, c.Type));
    EXPECT_EQ(reader.FrameCount(), 1);
    TVXBitmap got;
    TIOParamsVals params;
    params.IsNativePixelFormat = true;
    bool aborting = false;
    reader.GetFrame(0, &got, &params, &aborting);
    EXPECT_FALSE(aborting);
    // 8bppIndexed frames arrive as 24-bit colour.
    const TVXPixelFormat expect = own.PixelFormat() == vx8p ? vx24RGB : own.PixelFormat();
    EXPECT_EQ(got.PixelFormat(), expect);
    if (own.PixelFormat() == vx8p) own.SetPixelFormat(vx24RGB);
    EXPECT_TRUE(numpy_oracle::Pixels(&got) == numpy_oracle::Pixels(&own));
    reader.Close();
    std::remove(file.c_str());
  }
}

// A CMYK JPEG keeps the library's CMYK bytes when read through the
// component, which holds CMYK the other way round.
TEST(ImagingCodecs, CMYKJpegKeepsTheLibrarysConvention) {
  if (access(kConvert.c_str(), X_OK) != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
  const std::string ppm = TempName(".ppm"), jpg = TempName(".jpg");
  {
    TVXBitmap src;
    Fill(src, vx24RGB, 24, 16);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&src);
    io.SaveToFile(ppm, 12);
  }
  ASSERT_EQ(system((kConvert + " " + ppm + " -colorspace CMYK -quality 95 " + jpg).c_str()), 0);
  TVXBitmap own;
  LoadNative(jpg, own);
  ASSERT_EQ(own.PixelFormat(), vxCMYK);
  TVXWICReader reader;
  ASSERT_TRUE(reader.Open(jpg, 3));
  TVXBitmap got;
  TIOParamsVals params;
  params.IsNativePixelFormat = true;
  bool aborting = false;
  reader.GetFrame(0, &got, &params, &aborting);
  EXPECT_FALSE(aborting);
  EXPECT_EQ(got.PixelFormat(), vxCMYK);
  EXPECT_TRUE(numpy_oracle::Pixels(&got) == numpy_oracle::Pixels(&own));
  EXPECT_EQ(params.BitsPerSample(), 8);
  EXPECT_EQ(params.SamplesPerPixel(), 4);
  std::remove(ppm.c_str());
  std::remove(jpg.c_str());
}

TEST(ImagingCodecs, FramesWrittenThroughTheComponent) {
  TVXBitmap src;
  Fill(src, vx24RGB, 23, 17);
  for (int32_t type : {1, 2, 3, 5, 8}) {
    SCOPED_TRACE(type);
    const std::string file = TempName(".img");
    {
      TVXWICWriter writer;
      ASSERT_TRUE(writer.Open(file, type));
      ASSERT_TRUE(writer.PutFrame(&src, nullptr));
      ASSERT_TRUE(writer.Close());
    }
    TVXBitmap back;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&back);
    ASSERT_TRUE(io.LoadFromFile(file, -9));
    EXPECT_EQ(io.Params().FileType(), type);
    EXPECT_EQ(back.Width(), 23);
    EXPECT_EQ(back.Height(), 17);
    if (type == 1 || type == 5 || type == 8) {
      back.SetPixelFormat(vx24RGB);
      EXPECT_TRUE(numpy_oracle::Pixels(&back) == numpy_oracle::Pixels(&src));
    }
    std::remove(file.c_str());
  }
  // Types without an encoder make no file.
  for (int32_t type : {6, 4}) {
    const std::string file = TempName(".none");
    TVXWICWriter writer;
    EXPECT_FALSE(writer.Open(file, type));
    EXPECT_NE(access(file.c_str(), F_OK), 0);
  }
}

}  // namespace
