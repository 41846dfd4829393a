// HD Photo through the imaging component: libjxr's own encoder (JxrEncApp)
// makes the files the reader must load, and its decoder (JxrDecApp, through
// ImageMagick's raw output) says what they hold.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <cstring>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "core/bitmap.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/imaging_factory.h"
#include "formats/wic.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::Shell;
using jpegtest::WriteFile;

const std::string kEnc = "/usr/bin/JxrEncApp", kDec = "/usr/bin/JxrDecApp", kConvert = "/usr/bin/convert";

bool HaveJxrTools() { return HaveTool(kEnc) && HaveTool(kDec) && HaveTool(kConvert); }

// A picture of W x H pixels with Channels samples of Bytes bytes (raw,
// little-endian for 16 bits), gradients and a pattern.
std::vector<uint8_t> Picture(int W, int H, int Channels, int Bytes) {
  std::vector<uint8_t> d;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      for (int c = 0; c < Channels; ++c) {
        const uint32_t v = uint32_t(x * (37 + 11 * c) + y * (23 + 5 * c) + ((x ^ y) & 7) * 301 * (c + 1));
        if (Bytes == 1) {
          d.push_back(uint8_t(v * 3));
        } else {
          const uint16_t w = uint16_t(v * 97);
          d.push_back(uint8_t(w & 0xFF));
          d.push_back(uint8_t(w >> 8));
        }
      }
  return d;
}

// The picture as an input file JxrEncApp reads: PNM for grey and RGB (it
// takes 16-bit PNM samples little-endian), TIFF for RGBA.
std::string WriteInput(const ScratchDir& dir, int W, int H, int Channels, int Bytes) {
  const std::vector<uint8_t> px = Picture(W, H, Channels, Bytes);
  const std::string maxval = Bytes == 1 ? "255" : "65535";
  if (Channels == 4) {
    const std::string head = "P7\nWIDTH " + std::to_string(W) + "\nHEIGHT " + std::to_string(H) +
                             "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<uint8_t> d(head.begin(), head.end());
    d.insert(d.end(), px.begin(), px.end());
    WriteFile(dir / "in.pam", d);
    EXPECT_EQ(Shell(kConvert + " " + (dir / "in.pam") + " " + (dir / "in.tif")), 0);
    return dir / "in.tif";
  }
  const std::string head =
      std::string(Channels == 1 ? "P5\n" : "P6\n") + std::to_string(W) + " " + std::to_string(H) + "\n" + maxval + "\n";
  std::vector<uint8_t> d(head.begin(), head.end());
  d.insert(d.end(), px.begin(), px.end());
  WriteFile(dir / "in.pnm", d);
  return dir / "in.pnm";
}

// JxrDecApp's decode of File in its format code, as ImageMagick's raw
// samples (Map "gray" or "rgb"; 16-bit samples little-endian). Its TIFF
// output takes 32bppBGRA bytes for RGBA: those files go through BMP.
std::vector<uint8_t> Oracle(const ScratchDir& dir, const std::string& File, int Code, const std::string& Map,
                            int Depth) {
  const std::string tif = dir / (Code == 22 ? "oracle.bmp" : "oracle.tif"), raw = dir / "oracle.raw";
  if (Shell(kDec + " -i " + File + " -o " + tif + " -c " + std::to_string(Code) + " >/dev/null") != 0) return {};
  if (Shell(kConvert + " " + tif + " -depth " + std::to_string(Depth) + " -endian LSB " + Map + ":" + raw) != 0)
    return {};
  return ReadFile(raw);
}

// The bitmap's samples in the oracle's order (R, G, B; 16-bit little-endian).
std::vector<uint8_t> Samples(TVXBitmap& b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < b.Width(); ++x) {
      switch (b.PixelFormat()) {
        case vx8g: out.push_back(s[x]); break;
        case vx16g: out.insert(out.end(), s + 2 * x, s + 2 * x + 2); break;
        case vx24RGB: out.insert(out.end(), {s[3 * x + 2], s[3 * x + 1], s[3 * x]}); break;
        case vx48RGB: out.insert(out.end(), s + 6 * x, s + 6 * x + 6); break;
        default: ADD_FAILURE() << "unexpected format " << int(b.PixelFormat()); return out;
      }
    }
  }
  return out;
}

class HDPhotoTest : public ::testing::Test {};

TEST_F(HDPhotoTest, FilesOfLibjxrsEncoderLoadAsItsDecoderReadsThem) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrEncApp, JxrDecApp or ImageMagick's convert is missing";
  struct Case {
    const char* Name;
    int Channels, Bytes;
    std::string EncArgs;  // pixel format and coding options
    int DecCode;          // JxrDecApp's output format
    const char* Map;
    TVXPixelFormat Native;  // with IsNativePixelFormat
    int Bits, Samples;      // BitsPerSample and SamplesPerPixel read natively
  };
  const Case cases[] = {
      {"8-bit grey lossless", 1, 1, "-c 2", 2, "gray", vx8g, 8, 1},
      {"8-bit grey lossy", 1, 1, "-c 2 -q 0.5", 2, "gray", vx8g, 8, 1},
      {"16-bit grey lossless", 1, 2, "-c 3", 3, "gray", vx16g, 16, 1},
      {"24-bit lossless", 3, 1, "-c 0", 0, "rgb", vx24RGB, 8, 3},
      {"24-bit lossy, two overlap levels, 4:2:0", 3, 1, "-c 0 -q 0.4 -l 2 -d 1", 0, "rgb", vx24RGB, 8, 3},
      {"24-bit lossy, no overlap, 4:2:2, spatial order", 3, 1, "-c 0 -q 0.7 -l 0 -d 2 -f", 0, "rgb", vx24RGB, 8, 3},
      {"24-bit lossy, Y only", 3, 1, "-c 0 -q 0.8 -d 0", 0, "rgb", vx24RGB, 8, 3},
      {"24-bit tiled", 3, 1, "-c 0 -q 0.9 -U 2 2", 0, "rgb", vx24RGB, 8, 3},
      {"RGB order, delivered as BGR", 3, 1, "-c 9", 0, "rgb", vx24RGB, 8, 3},
      {"32-bit with alpha", 4, 1, "-c 22", 22, "rgb", vx24RGB, 8, 3},
      {"48-bit lossless", 3, 2, "-c 10", 10, "rgb", vx48RGB, 16, 3},
      {"48-bit lossy", 3, 2, "-c 10 -q 0.6", 10, "rgb", vx48RGB, 16, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ScratchDir dir;
    const int W = 45, H = 37;
    const std::string in = WriteInput(dir, W, H, c.Channels, c.Bytes), file = dir / "x.jxr";
    ASSERT_EQ(Shell(kEnc + " -i " + in + " -o " + file + " " + c.EncArgs + " >/dev/null"), 0);
    std::vector<uint8_t> expect = Oracle(dir, file, c.DecCode, c.Map, c.Bytes * 8);
    ASSERT_FALSE(expect.empty());

    // Natively: the file's own depth.
    TVXBitmap bmp;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
    io.Params().IsNativePixelFormat = true;
    ASSERT_TRUE(io.LoadFromFileHDP(file));
    EXPECT_EQ(bmp.PixelFormat(), c.Native);
    EXPECT_EQ(bmp.Width(), W);
    EXPECT_EQ(bmp.Height(), H);
    EXPECT_EQ(io.Params().BitsPerSample(), c.Bits);
    EXPECT_EQ(io.Params().SamplesPerPixel(), c.Samples);
    EXPECT_EQ(io.Params().Width(), W);
    EXPECT_EQ(io.Params().OriginalHeight(), H);
    EXPECT_EQ(io.Params().DpiX(), 96);  // the encoder's 96.01, truncated
    EXPECT_EQ(io.Params().DpiY(), 96);
    EXPECT_EQ(io.Params().FileType(), 29);
    EXPECT_TRUE(Samples(bmp) == expect);

    // Otherwise everything but black and white arrives as 24 bits.
    TVXBitmap bmp24;
    TVexlaneIO io24;
    io24.SetAttachedVXBitmap(&bmp24);
    ASSERT_TRUE(io24.LoadFromFileHDP(file));
    EXPECT_EQ(bmp24.PixelFormat(), vx24RGB);
    EXPECT_EQ(io24.Params().BitsPerSample(), 8);
    EXPECT_EQ(io24.Params().SamplesPerPixel(), 3);
    if (c.Bytes == 1 && c.Channels >= 3) {
      EXPECT_TRUE(Samples(bmp24) == expect);
    }
  }
}

TEST_F(HDPhotoTest, ReaderTypesFramesAndParametersOnly) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrEncApp is missing";
  ScratchDir dir;
  const std::string in = WriteInput(dir, 20, 10, 3, 1), file = dir / "x.jxr";
  ASSERT_EQ(Shell(kEnc + " -i " + in + " -o " + file + " -c 0 >/dev/null"), 0);

  TVXWICReader reader;
  EXPECT_TRUE(reader.IsAvailable());
  EXPECT_FALSE(reader.Open(file, 4));  // PCX is no type of the component
  ASSERT_TRUE(reader.Open(file, 29));
  EXPECT_EQ(reader.FrameCount(), 1);
  EXPECT_EQ(reader.FrameWidth(0), 20);
  EXPECT_EQ(reader.FrameHeight(0), 10);
  EXPECT_EQ(reader.FrameWidth(1), 0);
  EXPECT_EQ(VXGetHDPhotoFileFrameCount(file), 1);
  EXPECT_EQ(VXGetHDPhotoFileFrameCount(dir / "missing.jxr"), 0);

  // Parameters only: the bitmap is not touched.
  TVXBitmap untouched;
  untouched.Allocate(3, 3, vx8g);
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  TVXWideFileStream s(file, fmOpenRead);
  VXReadHDPhotoStream(&s, &untouched, params, true, progress);
  EXPECT_FALSE(aborting);
  EXPECT_EQ(untouched.Width(), 3);
  EXPECT_EQ(params.Width(), 20);
  EXPECT_EQ(params.Height(), 10);
  EXPECT_EQ(s.Position(), 0);

  // Detection finds the type by content.
  TVXBitmap bmp;
  TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadFromFile(file, -9));
  EXPECT_EQ(io.Params().FileType(), 29);
  EXPECT_EQ(bmp.Width(), 20);
}

// Damaged files end with Aborting: every cut, and bytes flipped all over the
// file, header and code stream alike.
TEST_F(HDPhotoTest, TruncatedAndFlippedFilesAbort) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrEncApp is missing";
  ScratchDir dir;
  const std::string in = WriteInput(dir, 40, 24, 3, 1), file = dir / "x.jxr";
  ASSERT_EQ(Shell(kEnc + " -i " + in + " -o " + file + " -c 0 -q 0.8 >/dev/null"), 0);
  const std::vector<uint8_t> data = ReadFile(file);
  ASSERT_GT(data.size(), 200u);
  auto load = [](const std::vector<uint8_t>& d) {
    TVXBitmap bmp;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
    TVXMemStream s(d.data(), int64_t(d.size()));
    return io.LoadFromStreamHDP(&s);
  };
  ASSERT_TRUE(load(data));
  for (size_t cut : {size_t(0), size_t(4), size_t(8), size_t(30), size_t(100), data.size() / 2, data.size() - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_FALSE(load(std::vector<uint8_t>(data.begin(), data.begin() + long(cut))));
  }
  // Header fields: a wrong magic, a directory out of the file, a huge size.
  std::vector<uint8_t> bad = data;
  bad[2] = 0x2A;
  EXPECT_FALSE(load(bad));
  bad = data;
  bad[4] = 0xF0;
  bad[5] = 0xFF;
  EXPECT_FALSE(load(bad));
  for (size_t i = 0; i < data.size(); i += 3) {
    std::vector<uint8_t> flipped = data;
    flipped[i] ^= 0x5A;
    load(flipped);  // no crash, no hang; the result may be either
  }
}

// The live child processes of this process, from every thread's list.
std::set<pid_t> ChildProcesses() {
  std::set<pid_t> out;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
    std::ifstream f(task.path() / "children");
    for (pid_t p; f >> p;) {
      std::ifstream stat("/proc/" + std::to_string(p) + "/stat");
      std::string pid, comm, state;
      if (stat >> pid >> comm >> state && state != "Z") out.insert(p);
    }
  }
  return out;
}

TEST_F(HDPhotoTest, OneDecoderProcessServesEveryDecodeAndIsReplacedWhenItEnds) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrEncApp is missing";
  if (!std::filesystem::exists("/proc/self/task/" + std::to_string(getpid()) + "/children"))
    GTEST_SKIP() << "the kernel does not list child processes";
  ScratchDir dir;
  const std::string in = WriteInput(dir, 40, 24, 3, 1), file = dir / "x.jxr";
  ASSERT_EQ(Shell(kEnc + " -i " + in + " -o " + file + " -c 0 -q 0.8 >/dev/null"), 0);
  const std::vector<uint8_t> data = ReadFile(file);
  auto decode = [&](const std::vector<uint8_t>& d) {
    TVXBitmap bmp;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
    TVXMemStream s(d.data(), int64_t(d.size()));
    return io.LoadFromStreamHDP(&s) ? bmp.GetHash(CALG_SHA_256) : std::string();
  };
  const std::string expected = decode(data);
  ASSERT_FALSE(expected.empty());
  // Decodes one after the other share one process, which stays.
  const std::set<pid_t> first = ChildProcesses();
  for (int i = 0; i < 5; ++i) EXPECT_EQ(decode(data), expected);
  EXPECT_EQ(ChildProcesses(), first);
  // Damaged data costs nothing but that decode.
  std::vector<uint8_t> damaged = data;
  for (size_t i = 40; i < damaged.size(); i += 2) damaged[i] ^= 0xA5;
  decode(damaged);
  EXPECT_EQ(decode(data), expected);
  // A decoder process that ended is replaced: the next decode succeeds.
  for (pid_t p : ChildProcesses()) {
    kill(p, SIGKILL);
    waitpid(p, nullptr, 0);
  }
  EXPECT_EQ(decode(data), expected);
  EXPECT_EQ(ChildProcesses().size(), 1u);
  // Threads decoding at once all get their pictures.
  std::vector<std::string> got(4);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < got.size(); ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5 && got[t] != "bad"; ++i) got[t] = decode(data) == expected ? "ok" : "bad";
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(got, std::vector<std::string>(4, "ok"));
  EXPECT_EQ(ChildProcesses().size(), 1u);
}

TEST_F(HDPhotoTest, WithoutTheComponentNothingIsRead) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrEncApp is missing";
  ScratchDir dir;
  const std::string in = WriteInput(dir, 8, 8, 1, 1), file = dir / "x.jxr";
  ASSERT_EQ(Shell(kEnc + " -i " + in + " -o " + file + " -c 2 >/dev/null"), 0);
  ASSERT_NE(VXFindFileFormatInfo(29), nullptr);

  // The I/O module starts again (with the codec modules above it) without
  // the component.
  VXLibraryHooks.IOShutdown();
  VXSetImagingComponentPresent(false);
  VXLibraryHooks.IOStartup();
  EXPECT_FALSE(VXIsWICAvailable());
  EXPECT_EQ(VXFindFileFormatInfo(29), nullptr);
  EXPECT_EQ(VXGetHDPhotoFileFrameCount(file), 0);
  {
    TVXWICReader reader;
    EXPECT_FALSE(reader.IsAvailable());
    EXPECT_FALSE(reader.Open(file, 29));
    bool aborting = false;
    TVXBitmap bmp;
    reader.GetFrame(0, &bmp, nullptr, &aborting);
    EXPECT_TRUE(aborting);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
    EXPECT_FALSE(io.LoadFromFileHDP(file));
    EXPECT_TRUE(io.Aborting());
    bmp.Allocate(4, 4, vx24RGB);
    io.SaveToFileHDP(dir / "out.jxr");
    EXPECT_TRUE(io.Aborting());
  }
  VXLibraryHooks.IOShutdown();
  VXSetImagingComponentPresent(true);
  VXLibraryHooks.IOStartup();
  EXPECT_TRUE(VXIsWICAvailable());
  EXPECT_NE(VXFindFileFormatInfo(29), nullptr);
}

}  // namespace

namespace {

// A bitmap of Format with a picture in it.
void FillPicture(TVXBitmap& b, TVXPixelFormat Format, int W, int H) {
  ASSERT_TRUE(b.Allocate(W, H, Format));
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int64_t i = 0; i < b.RowLen(); ++i) row[i] = uint8_t(i * 7 + y * 13 + ((i ^ y) & 5) * 31);
  }
}

// The oracle's samples of a library bitmap: grey, RGB (16-bit little-endian)
// or CMYK in the file's convention (the library's bytes inverted); 1 bit as
// 0 or 255 a pixel.
std::vector<uint8_t> SourceSamples(TVXBitmap& b) {
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* s = static_cast<const uint8_t*>(b.ScanLine(y));
    for (int32_t x = 0; x < b.Width(); ++x) {
      switch (b.PixelFormat()) {
        case vx1g: out.push_back((s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0); break;
        case vxCMYK:
          for (int c = 0; c < 4; ++c) out.push_back(uint8_t(~s[4 * x + c]));
          break;
        default: break;
      }
    }
  }
  if (b.PixelFormat() != vx1g && b.PixelFormat() != vxCMYK) return Samples(b);
  return out;
}

// Records the option names each encoder frame's bag receives, in front of
// the library's own factory.
class TSpyFactory : public TVXComObject<IWICImagingFactory> {
 public:
  struct TBag : TVXComObject<IPropertyBag2> {
    IPropertyBag2* Inner;
    std::vector<std::string>* Names;
    TBag(IPropertyBag2* i, std::vector<std::string>* n) : Inner(i), Names(n) {}
    ~TBag() override { Inner->Release(); }
    HRESULT Write(ULONG c, PROPBAG2* b, VARIANT* v) override {
      for (ULONG i = 0; i < c; ++i) Names->push_back(b[i].pstrName);
      return Inner->Write(c, b, v);
    }
    HRESULT Read(ULONG c, PROPBAG2* b, void* e, VARIANT* v, HRESULT* h) override { return Inner->Read(c, b, e, v, h); }
  };
  struct TEncoder : TVXComObject<IWICBitmapEncoder> {
    IWICBitmapEncoder* Inner;
    std::vector<std::string>* Names;
    TEncoder(IWICBitmapEncoder* i, std::vector<std::string>* n) : Inner(i), Names(n) {}
    ~TEncoder() override { Inner->Release(); }
    HRESULT Initialize(IStream* s, WICBitmapEncoderCacheOption o) override { return Inner->Initialize(s, o); }
    HRESULT GetContainerFormat(GUID* g) override { return Inner->GetContainerFormat(g); }
    HRESULT CreateNewFrame(IWICBitmapFrameEncode** f, IPropertyBag2** bag) override {
      IPropertyBag2* inner = nullptr;
      const HRESULT hr = Inner->CreateNewFrame(f, &inner);
      if (SUCCEEDED(hr) && bag) *bag = new TBag(inner, Names);
      return hr;
    }
    HRESULT Commit() override { return Inner->Commit(); }
  };
  explicit TSpyFactory(IWICImagingFactory* inner) : Inner(inner) {}
  ~TSpyFactory() override { Inner->Release(); }
  HRESULT CreateDecoderFromStream(IStream* s, const GUID* v, WICDecodeOptions o, IWICBitmapDecoder** d) override {
    return Inner->CreateDecoderFromStream(s, v, o, d);
  }
  HRESULT CreateEncoder(REFGUID c, const GUID* v, IWICBitmapEncoder** e) override {
    IWICBitmapEncoder* inner = nullptr;
    const HRESULT hr = Inner->CreateEncoder(c, v, &inner);
    if (SUCCEEDED(hr)) *e = new TEncoder(inner, &Names);
    return hr;
  }
  HRESULT CreatePalette(IWICPalette** p) override { return Inner->CreatePalette(p); }
  HRESULT CreateFormatConverter(IWICFormatConverter** c) override { return Inner->CreateFormatConverter(c); }
  HRESULT CreateBitmapScaler(IWICBitmapScaler** s) override { return Inner->CreateBitmapScaler(s); }
  IWICImagingFactory* Inner;
  std::vector<std::string> Names;
};

TEST_F(HDPhotoTest, WrittenFilesDecodeInLibjxrsDecoder) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrDecApp or ImageMagick's convert is missing";
  struct Case {
    TVXPixelFormat Format;
    int DecCode;
    const char* Map;
    int Depth;
  };
  const Case cases[] = {{vx1g, 1, "gray", 8},    {vx8g, 2, "gray", 8},      {vx16g, 3, "gray", 16},
                        {vx24RGB, 0, "rgb", 8}, {vx48RGB, 10, "rgb", 16}, {vxCMYK, 17, "cmyk", 8}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    ScratchDir dir;
    TVXBitmap src;
    FillPicture(src, c.Format, 35, 21);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&src);
    io.Params().SetHDP_Lossless(true);
    io.Params().SetDpiX(150);
    io.Params().SetDpiY(75);
    io.SaveToFileHDP(dir / "out.jxr");
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(src.PixelFormat(), c.Format);  // written as it is
    const std::vector<uint8_t> expect = SourceSamples(src);
    EXPECT_TRUE(Oracle(dir, dir / "out.jxr", c.DecCode, c.Map, c.Depth) == expect);

    // The library reads its own file back with its colours and resolution.
    TVXBitmap back;
    TVexlaneIO reader;
    reader.SetAttachedVXBitmap(&back);
    reader.Params().IsNativePixelFormat = true;
    ASSERT_TRUE(reader.LoadFromFileHDP(dir / "out.jxr"));
    EXPECT_EQ(back.PixelFormat(), c.Format);
    EXPECT_TRUE(SourceSamples(back) == expect);
    EXPECT_EQ(reader.Params().DpiX(), 150);
    EXPECT_EQ(reader.Params().DpiY(), 75);
  }
  // Formats the encoder has none for.
  for (TVXPixelFormat f : {vx8p, vx32f}) {
    ScratchDir dir;
    TVXBitmap src;
    src.Allocate(4, 4, f);
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&src);
    EXPECT_THROW(io.SaveToFileHDP(dir / "out.jxr"), EVXException);
  }
}

TEST_F(HDPhotoTest, QualityOptionsAndSizes) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrDecApp is missing";
  ScratchDir dir;
  TVXBitmap src;
  FillPicture(src, vx24RGB, 96, 64);
  auto save = [&](double quality, bool lossless) {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&src);
    io.Params().SetHDP_ImageQuality(quality);
    io.Params().SetHDP_Lossless(lossless);
    const std::string name = dir / ("q" + std::to_string(quality) + (lossless ? "l" : "") + ".jxr");
    io.SaveToFileHDP(name);
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(Shell(kDec + " -i " + name + " -o " + (dir / "d.bmp") + " >/dev/null"), 0);
    return ReadFile(name).size();
  };
  const size_t lossless = save(0.9, true), q1 = save(1.0, false), q9 = save(0.9, false), q6 = save(0.6, false),
               q3 = save(0.3, false), q0 = save(0.0, false);
  EXPECT_EQ(lossless, q1);
  EXPECT_GT(q1, q9);
  EXPECT_GT(q9, q6);
  EXPECT_GT(q6, q3);
  EXPECT_GT(q3, q0);
  EXPECT_GT(VXHDPhotoQualityToQP(0.5), VXHDPhotoQualityToQP(0.55));

  // -1 writes no "ImageQuality" option; the frame options come in order.
  TSpyFactory* spy = new TSpyFactory(VXCreateImagingFactory());
  VXSetImagingFactory(spy);
  for (double q : {-1.0, 0.5}) {
    spy->Names.clear();
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&src);
    io.Params().SetHDP_ImageQuality(q);
    io.SaveToFileHDP(dir / "spy.jxr");
    EXPECT_FALSE(io.Aborting());
    if (q < 0)
      EXPECT_EQ(spy->Names, (std::vector<std::string>{"Lossless", "TiffCompressionMethod"}));
    else
      EXPECT_EQ(spy->Names, (std::vector<std::string>{"ImageQuality", "Lossless", "TiffCompressionMethod"}));
  }
  IWICImagingFactory* own = VXCreateImagingFactory();
  VXSetImagingFactory(own);
  own->Release();
  spy->Release();
}

TEST_F(HDPhotoTest, EXIFDataGoesIntoTheWrittenFile) {
  const std::string exiftool = "/usr/bin/exiftool";
  if (!HaveJxrTools() || !HaveTool(exiftool)) GTEST_SKIP() << "JxrDecApp or exiftool is missing";
  ScratchDir dir;
  TVXBitmap src;
  FillPicture(src, vx24RGB, 40, 30);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&src);
  io.Params().SetHDP_Lossless(true);
  io.Params().SetEXIF_HasEXIFData(true);
  io.Params().SetEXIF_Make("Tarvello Test Camera");
  io.Params().SetEXIF_Model("HDP-1");
  io.Params().SetEXIF_ISOSpeedRatings(0, 200);
  io.SaveToFileHDP(dir / "exif.jxr");
  ASSERT_FALSE(io.Aborting());
  ASSERT_EQ(Shell(exiftool + " -s -s -s -Make -Model -ISO " + (dir / "exif.jxr") + " > " + (dir / "tags.txt")), 0);
  const std::vector<uint8_t> tags = ReadFile(dir / "tags.txt");
  EXPECT_EQ(std::string(tags.begin(), tags.end()), "Tarvello Test Camera\nHDP-1\n200\n");
  EXPECT_TRUE(Oracle(dir, dir / "exif.jxr", 0, "rgb", 8) == Samples(src));

  TVXBitmap back;
  TVexlaneIO reader;
  reader.SetAttachedVXBitmap(&back);
  ASSERT_TRUE(reader.LoadFromFileHDP(dir / "exif.jxr"));
  EXPECT_EQ(reader.Params().EXIF_Make(), "Tarvello Test Camera");
  EXPECT_TRUE(Samples(back) == Samples(src));
}

}  // namespace

namespace {

// The codec options of the writer: every combination gives a file that
// libjxr's decoder reads, close to the source.
TEST_F(HDPhotoTest, CodecOptionsGiveFilesTheDecoderReads) {
  if (!HaveJxrTools()) GTEST_SKIP() << "JxrDecApp or ImageMagick's convert is missing";
  ScratchDir dir;
  TVXBitmap src;
  ASSERT_TRUE(src.Allocate(70, 45, vx24RGB));
  for (int y = 0; y < 45; ++y)
    for (int x = 0; x < 70; ++x) src.SetPixels(x, y, TRGB{uint8_t(x * 3), uint8_t(y * 5), uint8_t(128 + (x - y))});
  const std::vector<uint8_t> source = Samples(src);
  for (uint8_t subsampling = 0; subsampling <= 3; ++subsampling)
    for (uint8_t overlap = 0; overlap <= 2; ++overlap)
      for (bool frequency : {true, false}) {
        SCOPED_TRACE(std::to_string(subsampling) + " " + std::to_string(overlap) + " " + std::to_string(frequency));
        const std::string file = dir / "o.jxr";
        {
          TVXWICWriter writer;
          writer.fUseCodecOptions = true;
          writer.fQuality = 10;
          writer.fSubsampling = subsampling;
          writer.fOverlap = overlap;
          writer.fFrequencyOrder = frequency;
          writer.fHorizontalTileSlices = overlap;  // up to two cuts
          writer.fVerticalTileSlices = 200;        // more than the macroblocks: one a column
          ASSERT_TRUE(writer.Open(file, 29));
          ASSERT_TRUE(writer.PutFrame(&src, nullptr));
          ASSERT_TRUE(writer.Close());
        }
        const std::vector<uint8_t> got = Oracle(dir, file, 0, "rgb", 8);
        ASSERT_EQ(got.size(), source.size());
        if (subsampling == 0) continue;  // grey only
        double err = 0;
        for (size_t i = 0; i < got.size(); ++i) err += std::abs(int(got[i]) - int(source[i]));
        EXPECT_LT(err / double(got.size()), 6.0);
      }
}

}  // namespace
