// The ImageMagick plug-in against the real ImageMagick 6 libraries: the
// registry entries, reading and writing through the I/O component, content
// detection, the progress monitor, and every call with the libraries missing.
// Pictures are written by /usr/bin/convert from seeded random pixels, and
// convert itself gives the pixels each file must load as.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/magick_plugin.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

using Bytes = std::vector<uint8_t>;
using IM = TVXMiscPluginsImageMagick;

const char* const kWandName = "libMagickWand-6.Q16.so.6";
const char* const kCoreName = "libMagickCore-6.Q16.so.6";

struct TempFolder {
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vx-magick-XXXXXX").string();
    if (char* p = mkdtemp(pattern.data())) Path = p;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!Path.empty()) std::filesystem::remove_all(Path, ec);
  }
  std::string operator/(const std::string& Name) const { return Path + "/" + Name; }
  std::string Path;
};

bool Exists(const std::string& Path) {
  struct stat st;
  return stat(Path.c_str(), &st) == 0;
}

Bytes ReadAll(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void WriteAll(const std::string& Path, const Bytes& Data) {
  std::ofstream f(Path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
}

// Standard output of a command; Ok false when it failed.
Bytes Capture(const std::string& Command, bool* Ok = nullptr) {
  Bytes out;
  FILE* p = popen((Command + " 2>/dev/null").c_str(), "r");
  if (p == nullptr) {
    if (Ok) *Ok = false;
    return out;
  }
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.insert(out.end(), buf, buf + n);
  const int rc = pclose(p);
  if (Ok) *Ok = rc == 0;
  return out;
}

int Shell(const std::string& Command) { return std::system((Command + " >/dev/null 2>&1").c_str()); }

std::string Q(const std::string& Path) { return "'" + Path + "'"; }

// Seeded PGM (8 or 16 bits) or PPM pictures.
enum TKind { kGrey8, kGrey16, kColour };

void WriteSource(const std::string& Path, TKind Kind, int W, int H, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::string header = std::string(Kind == kColour ? "P6 " : "P5 ") + std::to_string(W) + " " + std::to_string(H) +
                       (Kind == kGrey16 ? " 65535\n" : " 255\n");
  Bytes data(header.begin(), header.end());
  const size_t samples = size_t(W) * H * (Kind == kColour ? 3 : 1) * (Kind == kGrey16 ? 2 : 1);
  for (size_t i = 0; i < samples; ++i) data.push_back(uint8_t(rng()));
  WriteAll(Path, data);
}

// The rows of a loaded bitmap as packed bytes: BGR for vx24RGB, one byte per
// pixel for vx8g, two (native order) for vx16g.
Bytes BitmapBytes(TVXBitmap& B) {
  Bytes out;
  const int bpp = B.PixelFormat() == vx24RGB ? 3 : B.PixelFormat() == vx16g ? 2 : 1;
  for (int y = 0; y < B.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(B.ScanLine(y));
    out.insert(out.end(), row, row + size_t(B.Width()) * bpp);
  }
  return out;
}

// What convert gives for a file: BGR (in sRGB) or grey, at 16 bits, brought
// to 8 bits by ImageMagick's own scaling to a byte (to the nearest value)
// unless the target is vx16g. (convert's "-depth 8" output rounds down in this
// ImageMagick version, so it is not the reference for 8-bit samples.)
Bytes Oracle(const std::string& FileSpec, TVXPixelFormat Pf) {
  bool ok = false;
  const std::string conversion = Pf == vx24RGB ? " -colorspace sRGB -depth 16 -endian LSB bgr:-"
                                               : " -depth 16 -endian LSB gray:-";
  const Bytes raw = Capture("/usr/bin/convert " + Q(FileSpec) + conversion, &ok);
  EXPECT_TRUE(ok) << FileSpec;
  if (Pf == vx16g) return raw;
  Bytes out;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    const uint32_t q = uint32_t(raw[i]) | uint32_t(raw[i + 1]) << 8;
    out.push_back(uint8_t(((q + 128) - ((q + 128) >> 8)) >> 8));
  }
  return out;
}

bool HaveImageMagickTools() { return Exists("/usr/bin/convert") && Exists("/usr/bin/identify"); }

class MagickPluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    IM::SetLibraryNames("", "");
    if (!IM::IsAvailable()) GTEST_SKIP() << "the ImageMagick 6 libraries are missing";
    if (!HaveImageMagickTools()) GTEST_SKIP() << "/usr/bin/convert or /usr/bin/identify is missing";
    IM::RegisterPlugin();
  }
  void TearDown() override { IM::SetLibraryNames("", ""); }
  TempFolder Dir;
};

// ---------------------------------------------------------------------------
// Registry

TEST_F(MagickPluginTest, RegistersTheTwentyFiveTypesWithoutWritersWhereImageMagickCannotWrite) {
  IM::RegisterPlugin();  // a second registration replaces the first
  const auto& table = IM::Formats();
  ASSERT_EQ(table.size(), 25u);
  for (size_t i = 0; i < table.size(); ++i) {
    const auto& row = table[i];
    EXPECT_EQ(row.typ, int32_t(8193 + i));
    TVXFileFormatInfo* info = VXFindFileFormatInfo(row.typ);
    ASSERT_NE(info, nullptr) << row.typ;
    EXPECT_EQ(info->FullName, row.des);
    EXPECT_EQ(info->Extensions, row.ext);
    EXPECT_EQ(info->SuitableExtension, row.sue);
    EXPECT_FALSE(info->InternalFormat);
    EXPECT_EQ(info->DialogPage, 0u);
    EXPECT_EQ(info->ReadFunction, &IM::ReadImageStream);
    EXPECT_EQ(info->TryFunction, &IM::TryImageStream);
    const bool noWriter = row.typ == 8200 || row.typ == 8210 || row.typ == 8216 || row.typ == 8217;
    EXPECT_EQ(row.wrt, !noWriter);
    EXPECT_EQ(info->WriteFunction, noWriter ? nullptr : &IM::WriteImageStream) << row.typ;
  }
  int count = 0;
  for (const auto& e : VXGetGlobalSettings()->FileFormats())
    if (e->FileType >= 8193 && e->FileType <= 8217) ++count;
  EXPECT_EQ(count, 25);
  EXPECT_EQ(VXFindFileFormatInfo(8206)->FullName, "Magick Image File Format");
  EXPECT_EQ(VXFindFileFormatInfoByExtension(".fts")->FileType, 8193);
  // Debian's policy forbids ImageMagick to write PDF and PostScript: the
  // built-in writers keep those types.
  ASSERT_NE(VXFindFileFormatInfo(17), nullptr);
  ASSERT_NE(VXFindFileFormatInfo(18), nullptr);
  EXPECT_TRUE(VXFindFileFormatInfo(18)->InternalFormat);
  EXPECT_EQ(VXFindFileFormatInfoByExtension("pdf")->FileType, 18);
}

// ---------------------------------------------------------------------------
// Reading

struct TReadCase {
  const char* Ext;
  TKind Kind;
  bool Native;
  TVXPixelFormat Expected;
  int32_t FileType;
  bool Detected;  // the probe recognises the content (PTIF reads as TIFF)
};

TEST_F(MagickPluginTest, FilesWrittenByConvertLoadWithTheirPixelsByExtensionAndByContent) {
  const TReadCase cases[] = {
      {"miff", kGrey8, true, vx8g, 8206, true},     {"miff", kGrey16, true, vx16g, 8206, true},
      {"miff", kGrey16, false, vx8g, 8206, true},   {"miff", kColour, true, vx24RGB, 8206, true},
      {"fits", kGrey8, true, vx8g, 8193, true},     {"fits", kGrey16, true, vx16g, 8193, true},
      {"fits", kGrey16, false, vx8g, 8193, true},   {"dpx", kGrey8, true, vx8g, 8201, true},
      {"dpx", kGrey16, true, vx16g, 8201, true},    {"dpx", kColour, true, vx24RGB, 8201, true},
      {"ptif", kGrey8, true, vx8g, 8213, false},    {"ptif", kGrey16, true, vx16g, 8213, false},
      {"ptif", kColour, true, vx24RGB, 8213, false},
  };
  unsigned seed = 11;
  for (const TReadCase& c : cases) {
    SCOPED_TRACE(std::string(c.Ext) + " kind " + std::to_string(int(c.Kind)) + (c.Native ? " native" : ""));
    const std::string src = Dir / ("src" + std::to_string(seed) + (c.Kind == kColour ? ".ppm" : ".pgm"));
    const std::string file = Dir / ("pic" + std::to_string(seed) + "." + c.Ext);
    WriteSource(src, c.Kind, 23 + int(seed % 5), 17, seed);
    ++seed;
    ASSERT_EQ(Shell("/usr/bin/convert " + Q(src) + " " + Q(file)), 0);
    const Bytes expected = Oracle(file, c.Expected);

    TVexlaneIO io;
    io.Params().IsNativePixelFormat = c.Native;
    ASSERT_TRUE(io.LoadFromFile(file, int32_t(-1)));
    TVXBitmap& bmp = *io.VXBitmap();
    EXPECT_EQ(bmp.PixelFormat(), c.Expected);
    EXPECT_EQ(io.Params().FileType(), c.FileType);
    EXPECT_EQ(io.Params().Width(), bmp.Width());
    EXPECT_EQ(io.Params().OriginalHeight(), 17);
    EXPECT_EQ(io.Params().SamplesPerPixel(), c.Expected == vx24RGB ? 3 : 1);
    EXPECT_EQ(io.Params().BitsPerSample(), c.Expected == vx16g ? 16 : 8);
    EXPECT_TRUE(BitmapBytes(bmp) == expected);

    // The same bytes under a name that says nothing: found by content.
    TVXWideFileStream stream(file, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(IM::TryImageStream(&stream, c.FileType), c.Detected);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_FALSE(IM::TryImageStream(&stream, c.FileType == 8206 ? 8193 : 8206));
    if (c.Detected) {
      const std::string anon = Dir / ("anon" + std::to_string(seed) + ".bin");
      WriteAll(anon, ReadAll(file));
      EXPECT_EQ(VXFindFileFormat(anon, false), c.FileType);
      TVexlaneIO io2;
      io2.Params().IsNativePixelFormat = c.Native;
      ASSERT_TRUE(io2.LoadFromFileAuto(anon));
      EXPECT_EQ(io2.VXBitmap()->PixelFormat(), c.Expected);
      EXPECT_TRUE(BitmapBytes(*io2.VXBitmap()) == expected);
    }
  }
}

TEST_F(MagickPluginTest, ABilevelFileLoadsAsOneBitWithWhiteAsSetBits) {
  const int W = 37, H = 5;
  std::mt19937 rng(8);
  std::string header = "P4 " + std::to_string(W) + " " + std::to_string(H) + "\n";
  Bytes pbm(header.begin(), header.end());
  for (int i = 0; i < (W + 7) / 8 * H; ++i) pbm.push_back(uint8_t(rng()));
  WriteAll(Dir / "b.pbm", pbm);
  const std::string file = Dir / "b.dpx";
  ASSERT_EQ(Shell("/usr/bin/convert " + Q(Dir / "b.pbm") + " -depth 1 " + Q(file)), 0);
  const Bytes grey = Oracle(file, vx8g);
  ASSERT_EQ(grey.size(), size_t(W * H));
  TVexlaneIO io;
  ASSERT_TRUE(io.LoadFromFile(file, int32_t(-1)));
  TVXBitmap& bmp = *io.VXBitmap();
  ASSERT_EQ(bmp.PixelFormat(), vx1g);
  EXPECT_EQ(io.Params().BitsPerSample(), 1);
  int wrong = 0;
  for (int y = 0; y < H; ++y) {
    const auto* row = static_cast<const uint8_t*>(bmp.ScanLine(y));
    for (int x = 0; x < W; ++x)
      wrong += ((row[x / 8] >> (7 - x % 8)) & 1) != (grey[size_t(y * W + x)] != 0 ? 1 : 0);
  }
  EXPECT_EQ(wrong, 0);
}

TEST(MagickPluginShutdown, TheLibraryShutDownFinalizesThePlugin) {
  EXPECT_EQ(VXLibraryHooks.ImageMagickFinalize, &TVXMiscPluginsImageMagick::Finalize);
}

TEST_F(MagickPluginTest, EachImageOfAMultiImageFileLoadsByImageIndexFromFilesAndStreams) {
  std::string sources;
  for (unsigned i = 0; i < 3; ++i) {
    const std::string src = Dir / ("f" + std::to_string(i) + ".ppm");
    WriteSource(src, kColour, 19, 13, 100 + i);
    sources += Q(src) + " ";
  }
  const std::string file = Dir / "three.miff";
  ASSERT_EQ(Shell("/usr/bin/convert " + sources + Q(file)), 0);
  const Bytes content = ReadAll(file);
  for (int32_t index = 0; index < 3; ++index) {
    SCOPED_TRACE(index);
    const Bytes expected = Oracle(file + "[" + std::to_string(index) + "]", vx24RGB);
    TVexlaneIO io;
    io.Params().SetImageIndex(index);
    ASSERT_TRUE(io.LoadFromFile(file, int32_t(-1)));
    EXPECT_TRUE(BitmapBytes(*io.VXBitmap()) == expected);
    EXPECT_EQ(io.Params().ImageCount(), 1);

    TVXMemStream stream(content.data(), int64_t(content.size()));
    TVexlaneIO io2;
    io2.Params().SetImageIndex(index);
    ASSERT_TRUE(io2.LoadFromStreamFormat(&stream, 8206));
    EXPECT_TRUE(BitmapBytes(*io2.VXBitmap()) == expected);
  }
  TVexlaneIO io;
  io.Params().SetImageIndex(3);
  EXPECT_FALSE(io.LoadFromFile(file, int32_t(-1)));
  TVXMemStream stream(content.data(), int64_t(content.size()));
  io.Params().SetImageIndex(3);
  EXPECT_FALSE(io.LoadFromStreamFormat(&stream, 8206));
}

TEST_F(MagickPluginTest, ResolutionIsTakenInDotsPerInchAndDefaultsWhenAbsent) {
  const std::string src = Dir / "src.ppm";
  WriteSource(src, kColour, 8, 6, 7);
  struct {
    const char* Options;
    int32_t DpiX, DpiY;  // 0: the settings' default
  } cases[] = {
      {"-units PixelsPerCentimeter -density 118.11", 46, 46},
      {"-units PixelsPerInch -density 150x75", 150, 75},
      {"", 0, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Options);
    const std::string file = Dir / ("res" + std::to_string(n++) + ".miff");
    ASSERT_EQ(Shell("/usr/bin/convert " + Q(src) + " " + c.Options + " " + Q(file)), 0);
    TVexlaneIO io;
    ASSERT_TRUE(io.LoadFromFile(file, int32_t(-1)));
    EXPECT_EQ(io.Params().DpiX(), c.DpiX ? c.DpiX : VXGetGlobalSettings()->DefaultDPIX());
    EXPECT_EQ(io.Params().DpiY(), c.DpiY ? c.DpiY : VXGetGlobalSettings()->DefaultDPIY());
  }
}

TEST_F(MagickPluginTest, AFileNameLikeACommandOrAListIsOnlyAFileName) {
  const std::string src = Dir / "src.pgm";
  WriteSource(src, kGrey8, 5, 4, 3);
  struct TChangeDir {
    explicit TChangeDir(const std::string& To) : Old(std::filesystem::current_path().string()) {
      Ok = chdir(To.c_str()) == 0;
    }
    ~TChangeDir() { (void)!chdir(Old.c_str()); }
    std::string Old;
    bool Ok = false;
  };
  {
  TChangeDir cd(Dir.Path);
  ASSERT_TRUE(cd.Ok);
  // A MIFF picture under a name that ImageMagick would otherwise run.
  ASSERT_EQ(Shell("/usr/bin/convert " + Q(src) + " MIFF:" + Q(Dir / "|touch x.png")), 0);
  TVexlaneIO io;
  EXPECT_TRUE(io.LoadFromFileFormat("|touch x.png", 8206));
  EXPECT_EQ(io.VXBitmap()->Width(), 5);
  TVexlaneIO io2;
  EXPECT_ANY_THROW(io2.LoadFromFile("|touch y.miff", int32_t(-1)));  // no such file: the open fails
  WriteAll(Dir / "@list.miff", ReadAll(Dir / "|touch x.png"));
  EXPECT_TRUE(io2.LoadFromFile("@list.miff", int32_t(-1)));
  // A name that is another coder's prefix picks nothing else.
  WriteAll(Dir / "ps:a.miff", ReadAll(Dir / "|touch x.png"));
  EXPECT_TRUE(io2.LoadFromFile("ps:a.miff", int32_t(-1)));
  EXPECT_EQ(io2.Params().FileType(), 8206);
  }
  EXPECT_FALSE(Exists(Dir / "x.png"));
  EXPECT_FALSE(Exists(Dir / "y.miff"));
}

TEST_F(MagickPluginTest, ParametersAloneLeaveTheBitmapAsItWas) {
  const std::string src = Dir / "src.pgm";
  const std::string file = Dir / "p.fits";
  WriteSource(src, kGrey16, 14, 9, 21);
  ASSERT_EQ(Shell("/usr/bin/convert " + Q(src) + " " + Q(file)), 0);
  TVexlaneIO io;
  io.VXBitmap()->Allocate(3, 2, vx24RGB);
  io.ParamsFromFile(file);
  EXPECT_EQ(io.Params().FileType(), 8193);
  EXPECT_EQ(io.Params().Width(), 14);
  EXPECT_EQ(io.Params().Height(), 9);
  EXPECT_EQ(io.Params().SamplesPerPixel(), 1);
  EXPECT_EQ(io.VXBitmap()->Width(), 3);
  EXPECT_EQ(io.VXBitmap()->PixelFormat(), vx24RGB);
}

// ---------------------------------------------------------------------------
// Writing

// A seeded bitmap of the format, and the same pixels as a PPM for the oracles.
void MakeBitmap(TVXBitmap& B, TVXPixelFormat Pf, int W, int H, unsigned Seed, const std::string& Ppm) {
  std::mt19937 rng(Seed);
  B.Allocate(W, H, Pf);
  std::string header = "P6 " + std::to_string(W) + " " + std::to_string(H) + " 255\n";
  Bytes ppm(header.begin(), header.end());
  for (int y = 0; y < H; ++y) {
    auto* row = static_cast<uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      if (Pf == vx24RGB) {
        for (int c = 0; c < 3; ++c) row[x * 3 + c] = uint8_t(rng());
        ppm.insert(ppm.end(), {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
      } else if (Pf == vx8g) {
        row[x] = uint8_t(rng());
        ppm.insert(ppm.end(), {row[x], row[x], row[x]});
      } else {  // vx1g: a set bit is white
        if (x % 8 == 0) row[x / 8] = 0;
        const bool white = rng() & 1;
        if (white) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        const uint8_t v = white ? 255 : 0;
        ppm.insert(ppm.end(), {v, v, v});
      }
    }
  }
  WriteAll(Ppm, ppm);
}

TEST_F(MagickPluginTest, SavedFilesKeepSizeResolutionAndEveryPixel) {
  struct {
    const char* Ext;
    TVXPixelFormat Pf;
    // ImageMagick keeps no resolution in FITS or DPX files, and a FITS file of
    // it holds one grey plane per channel, so FITS gets a grey picture.
    bool ResolutionStored;
  } cases[] = {
      {"miff", vx24RGB, true}, {"fits", vx8g, false}, {"dpx", vx24RGB, false},
      {"miff", vx8g, true},    {"dpx", vx1g, false},
  };
  unsigned seed = 40;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Ext) + " pf " + std::to_string(int(c.Pf)));
    const std::string ppm = Dir / ("w" + std::to_string(seed) + ".ppm");
    const std::string out = Dir / ("w" + std::to_string(seed) + "." + c.Ext);
    TVXBitmap bmp;
    MakeBitmap(bmp, c.Pf, 21, 15, seed++, ppm);
    auto io = TVexlaneIO::CreateFromBitmap(&bmp);
    io->Params().SetDpiX(150);
    io->Params().SetDpiY(100);
    io->SaveToFile(out, int32_t(-1));
    ASSERT_FALSE(io->Aborting());
    ASSERT_TRUE(Exists(out));
    bool ok = false;
    const Bytes info = Capture("/usr/bin/identify -format '%m %w %h %x %y %U\\n' " + Q(out), &ok);
    ASSERT_TRUE(ok);
    std::string magick, units;
    int w = 0, h = 0;
    double x = 0, y = 0;
    char m[32], u[32];
    ASSERT_EQ(std::sscanf(std::string(info.begin(), info.end()).c_str(), "%31s %d %d %lf %lf %31s", m, &w, &h, &x, &y,
                          u),
              6);
    std::string expectedMagick = c.Ext;
    for (char& ch : expectedMagick) ch = char(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(std::string(m), expectedMagick);
    EXPECT_EQ(w, 21);
    EXPECT_EQ(h, 15);
    if (c.ResolutionStored) {
      EXPECT_DOUBLE_EQ(x, 150);
      EXPECT_DOUBLE_EQ(y, 100);
    }
    // compare prints the count of differing pixels on standard error.
    const std::string metric = out + ".ae";
    (void)!std::system(("/usr/bin/compare -metric AE " + Q(ppm) + " " + Q(out) + " null: 2>" + Q(metric)).c_str());
    const Bytes ae = ReadAll(metric);
    EXPECT_EQ(std::string(ae.begin(), ae.end()), "0");
    // The caller's bitmap keeps its format (the plug-in converts a copy).
    if (c.Pf == vx1g) {
      TIOParamsVals params;
      params.SetFileType(8201);
      bool aborting = false;
      TProgressRec progress;
      progress.Aborting = &aborting;
      TMemoryStream stream;
      IM::WriteImageStream(&stream, &bmp, params, progress);
      EXPECT_FALSE(aborting);
      EXPECT_GT(stream.Size(), 0);
      EXPECT_EQ(bmp.PixelFormat(), vx1g);
    }
  }
}

TEST_F(MagickPluginTest, AWriteThatCannotBeCompletedIsReportedAsAborted) {
  TVXBitmap bmp;
  MakeBitmap(bmp, vx24RGB, 9, 7, 3, Dir / "s.ppm");
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  // A stream that takes nothing.
  params.SetFileType(8206);
  uint8_t small[16];
  TVXMemStream full(small, int64_t(sizeof(small)));
  IM::WriteImageStream(&full, &bmp, params, progress);
  EXPECT_TRUE(aborting);
  // A coder the policy forbids gives no blob.
  aborting = false;
  params.SetFileType(8196);
  TMemoryStream out;
  IM::WriteImageStream(&out, &bmp, params, progress);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(out.Size(), 0);
  // A type that is not ImageMagick's.
  aborting = false;
  params.SetFileType(0);
  IM::WriteImageStream(&out, &bmp, params, progress);
  EXPECT_TRUE(aborting);
  // Through the component: a stream save that fails says so.
  auto io = TVexlaneIO::CreateFromBitmap(&bmp);
  TMemoryStream good;
  io->SaveToStream(&good, 8206);
  EXPECT_FALSE(io->Aborting());
  EXPECT_GT(good.Size(), 0);
  io->SaveToStream(&full, 8206);
  EXPECT_TRUE(io->Aborting());
}

// ---------------------------------------------------------------------------
// Progress

TEST(MagickPluginProgress, TheMonitorActsOnHundredthsReportsOnTheMainThreadAndStopsOnAbort) {
  std::vector<int32_t> seen;
  bool aborting = false;
  TProgressRec progress;
  progress.fOnProgress = [&](void*, int32_t per) { seen.push_back(per); };
  progress.Aborting = &aborting;
  TVXImageMagickProgress data;
  data.Progress = &progress;
  data.Stages = 2;
  struct {
    int32_t Stage;
    int64_t Offset;
    uint64_t Span;
    int32_t Reported;  // -1: no report
  } cases[] = {
      {0, 5, 1000, -1},  {0, 10, 1000, 0},  {0, 500, 1000, 25}, {0, 999, 1000, 49},
      {1, 500, 1000, 75}, {1, 7, 50, 57},   {0, 0, 100, 0},     {1, 99, 100, 99},
  };
  for (const auto& c : cases) {
    seen.clear();
    data.Stage = c.Stage;
    EXPECT_EQ(IM::ProgressMonitor("Load/Image", c.Offset, c.Span, &data), 1);
    if (c.Reported < 0) {
      EXPECT_TRUE(seen.empty()) << c.Offset;
    } else {
      ASSERT_EQ(seen.size(), 1u) << c.Offset;
      EXPECT_EQ(seen[0], c.Reported) << c.Offset << "/" << c.Span;
    }
  }
  // Set abort flag: ImageMagick is asked to stop.
  aborting = true;
  seen.clear();
  EXPECT_EQ(IM::ProgressMonitor("Load/Image", 20, 1000, &data), 0);
  EXPECT_EQ(seen.size(), 1u);
  // Another thread: no report, but the answer still stops ImageMagick.
  seen.clear();
  int answer = -1;
  std::thread worker([&] { answer = IM::ProgressMonitor("Load/Image", 20, 1000, &data); });
  worker.join();
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(answer, 0);
  aborting = false;
  // Without a callback it only lets ImageMagick go on.
  progress.fOnProgress = nullptr;
  EXPECT_EQ(IM::ProgressMonitor("Load/Image", 10, 1000, &data), 1);
}

TEST_F(MagickPluginTest, ReadingReportsProgressOnTheMainThreadOnlyAndAnAbortStopsIt) {
  // ImageMagick's DPX reader reports every row (its MIFF reader does not).
  const std::string src = Dir / "big.ppm";
  const std::string file = Dir / "big.dpx";
  WriteSource(src, kColour, 40, 300, 77);
  ASSERT_EQ(Shell("/usr/bin/convert " + Q(src) + " " + Q(file)), 0);

  std::vector<int32_t> seen;
  TVexlaneIO io;
  io.OnProgress = [&](void*, int32_t per) { seen.push_back(per); };
  ASSERT_TRUE(io.LoadFromFile(file, int32_t(-1)));
  ASSERT_GT(seen.size(), 10u);
  EXPECT_EQ(seen.front(), 0);
  for (int32_t v : seen) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 100);
  }
  const size_t full = seen.size();

  // On another thread the same read is silent.
  seen.clear();
  bool loaded = false;
  std::thread worker([&] {
    TVexlaneIO other;
    other.OnProgress = [&](void*, int32_t per) { seen.push_back(per); };
    loaded = other.LoadFromFile(file, int32_t(-1));
  });
  worker.join();
  EXPECT_TRUE(loaded);
  // The component's own end-of-work report is all that comes.
  EXPECT_LE(seen.size(), 1u) << ::testing::PrintToString(seen);
  for (int32_t v : seen) EXPECT_EQ(v, 100);

  // An abort from the callback stops the read.
  seen.clear();
  TVexlaneIO aborted;
  aborted.OnProgress = [&](void*, int32_t per) {
    seen.push_back(per);
    if (per >= 10) aborted.SetAborting(true);
  };
  EXPECT_FALSE(aborted.LoadFromFile(file, int32_t(-1)));
  EXPECT_LT(seen.size(), full / 2);
}

// ---------------------------------------------------------------------------
// The security policy

// Rebuilds the registry as the I/O start-up leaves it.
void RebuildRegistry() {
  VXFreeFileFormats();
  VXRegisterBuiltInFileFormats();
  VXUpdateGIFFileFormat();
}

TEST_F(MagickPluginTest, BuiltInPdfAndPostScriptGoOnlyWhenThePolicyLetsImageMagickWriteThem) {
  // A user policy file, read after the system's, grants PDF and PS writing.
  ASSERT_EQ(Shell("mkdir -p " + Q(Dir / "config/ImageMagick")), 0);
  WriteAll(Dir / "config/ImageMagick/policy.xml",
           [] {
             const std::string xml =
                 "<policymap>\n"
                 "  <policy domain=\"coder\" rights=\"read|write\" pattern=\"PDF\" />\n"
                 "  <policy domain=\"coder\" rights=\"read|write\" pattern=\"PS\" />\n"
                 "</policymap>\n";
             return Bytes(xml.begin(), xml.end());
           }());
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = oldConfig ? oldConfig : "";
  setenv("XDG_CONFIG_HOME", (Dir / "config").c_str(), 1);
  IM::Initialize(true);
  RebuildRegistry();
  IM::RegisterPlugin();
  const bool pdfGone = VXFindFileFormatInfo(18) == nullptr;
  const bool psGone = VXFindFileFormatInfo(17) == nullptr;
  const TVXFileFormatInfo* pdf = VXFindFileFormatInfoByExtension("pdf");
  const int32_t pdfType = pdf ? pdf->FileType : 0;

  if (oldConfig)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  IM::Initialize(true);
  RebuildRegistry();
  IM::RegisterPlugin();

  EXPECT_TRUE(pdfGone);
  EXPECT_TRUE(psGone);
  EXPECT_EQ(pdfType, 8196);
  EXPECT_NE(VXFindFileFormatInfo(17), nullptr);
  EXPECT_NE(VXFindFileFormatInfo(18), nullptr);
}

// ---------------------------------------------------------------------------
// The libraries missing

TEST_F(MagickPluginTest, WithTheLibrariesMissingEveryCallFailsCleanlyAndTheRealNamesWorkAgain) {
  const std::string src = Dir / "src.pgm";
  const std::string file = Dir / "a.miff";
  WriteSource(src, kGrey8, 6, 5, 9);
  ASSERT_EQ(Shell("/usr/bin/convert " + Q(src) + " " + Q(file)), 0);
  const Bytes content = ReadAll(file);

  IM::SetLibraryNames("libvx-no-such-wand.so.6", "libvx-no-such-core.so.6");
  IM::Finalize();
  EXPECT_FALSE(IM::IsAvailable());
  EXPECT_EQ(IM::NewMagickWand(), nullptr);

  TVexlaneIO io;
  EXPECT_FALSE(io.LoadFromFile(file, int32_t(-1)));
  EXPECT_TRUE(io.Aborting());
  TVXMemStream stream(content.data(), int64_t(content.size()));
  EXPECT_FALSE(IM::TryImageStream(&stream, 8206));
  EXPECT_EQ(VXFindFileFormat(file, false), 8206);  // by extension: a plug-in entry is taken at its word

  // Direct calls of the registry functions.
  TVXBitmap bmp;
  bmp.Allocate(4, 3, vx24RGB);
  TIOParamsVals params;
  params.SetFileType(8206);
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  TMemoryStream out;
  IM::WriteImageStream(&out, &bmp, params, progress);
  EXPECT_TRUE(aborting);
  EXPECT_EQ(out.Size(), 0);
  aborting = false;
  TVXMemStream in(content.data(), int64_t(content.size()));
  IM::ReadImageStream(&in, &bmp, params, progress, false);
  EXPECT_TRUE(aborting);

  // A library without the MagickCore entry points is no ImageMagick.
  IM::SetLibraryNames(kWandName, "libz.so.1");
  EXPECT_FALSE(IM::IsAvailable());

  IM::SetLibraryNames(kWandName, kCoreName);
  IM::Initialize(true);
  ASSERT_TRUE(IM::IsAvailable());
  TVexlaneIO io2;
  EXPECT_TRUE(io2.LoadFromFile(file, int32_t(-1)));
  EXPECT_EQ(io2.VXBitmap()->Width(), 6);
  IM::Finalize();
  IM::SetLibraryNames("", "");
  EXPECT_TRUE(IM::IsAvailable());
}

}  // namespace
