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
