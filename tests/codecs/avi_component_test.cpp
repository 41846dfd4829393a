// AVI files through the I/O component: frames of ffmpeg-made files against
// ffmpeg's own decoding, frames written and read back by ffprobe and ffmpeg,
// compressors, the dispatch by extension and the image count of any file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "io/filecounts.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/jpeg_test_util.h"
#include "winui/avifile.h"
#include "winui/headless.h"

using namespace jpegtest;

namespace {

#define REQUIRE_FFMPEG()                                                          \
  if (!HaveTool("/usr/bin/ffmpeg") || !HaveTool("/usr/bin/ffprobe")) GTEST_SKIP() \
      << "ffmpeg missing (scripts/setup --tests installs it)"

std::string Output(const std::string& Command) {
  std::string out;
  if (FILE* p = popen((Command + " 2>/dev/null").c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// Seeded B, G, R frames, top row first.
std::vector<uint8_t> SeededFrames(int W, int H, int Count, uint32_t Seed) {
  std::vector<uint8_t> v(size_t(W * H * 3 * Count));
  for (auto& b : v) {
    Seed = Seed * 1664525u + 1013904223u;
    b = uint8_t(Seed >> 24);
  }
  return v;
}

// The target as B, G, R bytes, top row first.
std::vector<uint8_t> TargetBGR(TVXBitmap& Target) {
  TVXBitmap copy;
  copy.Assign(&Target);
  copy.SetPixelFormat(vx24RGB);
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < copy.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(copy.ScanLine(y));
    out.insert(out.end(), row, row + 3 * copy.Width());
  }
  return out;
}

double PSNR(const uint8_t* A, const uint8_t* B, size_t N) {
  double e = 0;
  for (size_t i = 0; i < N; ++i) e += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
  return e == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (e / double(N)));
}

std::string ProbeValue(const std::string& Probe, const std::string& Key) {
  const size_t at = Probe.find("\n" + Key + "=");
  if (at == std::string::npos) return "";
  const size_t from = at + Key.size() + 2;
  return Probe.substr(from, Probe.find('\n', from) - from);
}

void FillRGB(TVXBitmap& B, TRGB C) {
  for (int32_t y = 0; y < B.Height(); ++y)
    for (int32_t x = 0; x < B.Width(); ++x) B.SetPixels_vx24RGB(x, y, C);
}

// An uncompressed AVI file of W x H frames, each of one colour.
bool WriteFlatAVI(const std::string& Name, int W, int H, const std::vector<TRGB>& Colours) {
  TVexlaneIO io;
  io.Params().SetWidth(W);
  io.Params().SetHeight(H);
  if (io.CreateAVIFile(Name, 25, "DIB ") != vxaviOK) return false;
  for (const TRGB& c : Colours) {
    io.VXBitmap()->Allocate(W, H, vx24RGB);
    FillRGB(*io.VXBitmap(), c);
    io.SaveToAVI();
    if (io.Aborting()) return false;
  }
  io.CloseAVIFile();
  return true;
}

// Removes the "idx1" chunk at the end of an ffmpeg-made file.
void DropIndex(const std::string& Name) {
  auto d = ReadFile(Name);
  for (size_t at = d.size() - 8; at > 12; --at)
    if (std::memcmp(&d[at], "idx1", 4) == 0) {
      d.resize(at);
      const uint32_t riff = uint32_t(d.size() - 8);
      std::memcpy(&d[4], &riff, 4);
      WriteFile(Name, d);
      return;
    }
}

}  // namespace

// ffmpeg-made files from seeded frames: counts, frame delays, every frame
// against ffmpeg's bgr24 decoding, and the sample layout of the parameters.
TEST(AVIComponent, FramesOfFfmpegFilesMatchFfmpeg) {
  REQUIRE_FFMPEG();
  ScratchDir dir;
  const int W = 13, H = 7, N = 4;
  const auto source = SeededFrames(W, H, N, 7);
  WriteFile(dir / "src.raw", source);
  struct Case {
    const char* Name;
    const char* Codec;
    const char* PixFmt;
    const char* Rate;
    double Delay;
    int Bits, Samples;
    bool NoIndex;
  } cases[] = {
      {"bgr24", "rawvideo", "bgr24", "25", 40, 8, 3, false},
      {"pal8", "rawvideo", "pal8", "30000/1001", 1000.0 * 1001 / 30000, 8, 1, false},
      {"bgra", "rawvideo", "bgra", "25/2", 80, 8, 3, false},
      {"rgb555", "rawvideo", "rgb555le", "25", 40, 8, 3, false},
      {"mjpeg", "mjpeg", "yuvj444p", "25", 40, 8, 3, false},
      {"noindex", "rawvideo", "bgr24", "25", 40, 8, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string avi = dir / (std::string(c.Name) + ".avi");
    ASSERT_EQ(Shell("/usr/bin/ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 13x7 -r " + std::string(c.Rate) +
                    " -i '" + (dir / "src.raw") + "' -c:v " + c.Codec + " -q:v 2 -pix_fmt " + c.PixFmt + " '" + avi +
                    "'"),
              0);
    if (c.NoIndex) DropIndex(avi);
    const std::string decoded = Output("/usr/bin/ffmpeg -v error -i '" + avi + "' -f rawvideo -pix_fmt bgr24 -");
    ASSERT_EQ(decoded.size(), source.size());
    TVexlaneIO io;
    ASSERT_EQ(io.OpenAVIFile(avi), N);
    EXPECT_FALSE(io.Aborting());
    EXPECT_TRUE(io.IsOpenAVI());
    EXPECT_EQ(io.Params().ImageCount(), N);
    EXPECT_NEAR(io.Params().AVI_FrameDelayTime(), c.Delay, 1e-9);
    EXPECT_FALSE(io.LoadFromAVI(-1));
    EXPECT_FALSE(io.LoadFromAVI(N));
    for (int k = N - 1; k >= 0; --k) {
      ASSERT_TRUE(io.LoadFromAVI(k)) << "frame " << k;
      TVXBitmap& t = *io.VXBitmap();
      ASSERT_EQ(t.Width(), W);
      ASSERT_EQ(t.Height(), H);
      EXPECT_EQ(t.PixelFormat(), vx24RGB);
      const auto got = TargetBGR(t);
      const auto* want = reinterpret_cast<const uint8_t*>(decoded.data()) + size_t(k) * got.size();
      if (std::string(c.Codec) == "mjpeg") {
        EXPECT_GT(PSNR(got.data(), &source[size_t(k) * got.size()], got.size()), 30.0) << "frame " << k;
      } else if (c.PixFmt == std::string("rgb555le")) {
        // Five bits widen to eight by their own rule here and in ffmpeg.
        for (size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], 7) << "frame " << k << " byte " << i;
      } else {
        EXPECT_EQ(0, std::memcmp(got.data(), want, got.size())) << "frame " << k;
      }
      EXPECT_EQ(io.Params().BitsPerSample(), c.Bits);
      EXPECT_EQ(io.Params().SamplesPerPixel(), c.Samples);
      EXPECT_EQ(io.Params().Width(), W);
      EXPECT_EQ(io.Params().OriginalHeight(), H);
    }
    io.CloseAVIFile();
    EXPECT_FALSE(io.IsOpenAVI());
    EXPECT_FALSE(io.LoadFromAVI(0));
  }
  EXPECT_EQ(vxavi::LiveObjects(), 0);
}

// Frames written by the component, read by ffprobe and ffmpeg.
TEST(AVIComponent, WrittenFramesReadByFfmpeg) {
  REQUIRE_FFMPEG();
  ScratchDir dir;
  const int W = 11, H = 6, N = 3;
  struct Case {
    const char* Name;
    const char* Codec;
    int Bits, Samples;  // parameters at creation
    bool Alpha, OneBit;
    const char* PixFmt;
  } cases[] = {
      {"rgb", "DIB ", 8, 3, false, false, "bgr24"},
      {"grey", "", 8, 1, false, false, "pal8"},
      {"alpha", "DIB ", 8, 3, true, false, "bgra"},
      {"mono", "DIB ", 1, 1, false, true, "bgr24"},
      {"mjpg", "MJPG", 8, 3, false, false, "yuvj422p"},
  };
  VXHeadless::SetAVISaveOptionsAnswer(true, 0);  // the grey case asks the dialog: full frames
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string avi = dir / (std::string(c.Name) + ".avi");
    std::vector<uint8_t> expected, alphas;
    {
      TVexlaneIO io;
      io.Params().SetWidth(W);
      io.Params().SetHeight(H);
      io.Params().SetBitsPerSample(c.Bits);
      io.Params().SetSamplesPerPixel(c.Samples);
      ASSERT_EQ(io.CreateAVIFile(avi, 29.97, c.Codec), vxaviOK);
      EXPECT_FALSE(io.Aborting());
      for (int k = 0; k < N; ++k) {
        TVXBitmap& t = *io.VXBitmap();
        if (c.OneBit) {
          t.Allocate(W, H, vx1g);
          for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) t.SetPixels_vx1g(x, y, (x + y + k) % 3 == 0);
        } else {
          t.Allocate(W, H, vx24RGB);
          const uint8_t grey0 = uint8_t(k * 60);
          for (int y = 0; y < H; ++y) {
            auto* row = static_cast<uint8_t*>(t.ScanLine(y));
            for (int x = 0; x < W; ++x) {
              // Grey frames: each with greys of its own.
              const uint8_t g = uint8_t(grey0 + x * 5 + y * 3);
              // Colours change gently enough for Motion-JPEG's 4:2:2 colour planes.
              const uint8_t px[3] = {uint8_t(c.Samples == 1 ? g : 40 + x * 6 + k), uint8_t(c.Samples == 1 ? g : 60 + y * 12),
                                     uint8_t(c.Samples == 1 ? g : 200 - x * 5 - k * 30)};
              std::memcpy(row + 3 * x, px, 3);
            }
          }
          if (c.Alpha) {
            TVXBitmap* a = t.AlphaChannel();
            for (int y = 0; y < H; ++y)
              for (int x = 0; x < W; ++x) static_cast<uint8_t*>(a->ScanLine(y))[x] = uint8_t(x * 23 + y + k);
          }
        }
        const auto frame = TargetBGR(t);
        expected.insert(expected.end(), frame.begin(), frame.end());
        if (c.Alpha)
          for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) alphas.push_back(uint8_t(x * 23 + y + k));
        io.SaveToAVI();
        ASSERT_FALSE(io.Aborting());
      }
      // A frame of another size is not written.
      io.VXBitmap()->Allocate(W + 1, H, vx24RGB);
      io.SaveToAVI();
      EXPECT_TRUE(io.Aborting());
      io.CloseAVIFile();
    }
    const std::string probe = Output("/usr/bin/ffprobe -v error -count_frames -show_streams '" + avi + "'");
    EXPECT_EQ(ProbeValue(probe, "r_frame_rate"), "2997/100") << probe;
    EXPECT_EQ(ProbeValue(probe, "nb_read_frames"), std::to_string(N));
    EXPECT_EQ(ProbeValue(probe, "pix_fmt"), c.PixFmt);
    const std::string decoded = Output("/usr/bin/ffmpeg -v error -i '" + avi + "' -f rawvideo -pix_fmt bgr24 -");
    ASSERT_EQ(decoded.size(), expected.size());
    if (std::string(c.Codec) == "MJPG") {
      EXPECT_GT(PSNR(reinterpret_cast<const uint8_t*>(decoded.data()), expected.data(), expected.size()), 30.0);
    } else {
      EXPECT_EQ(0, std::memcmp(decoded.data(), expected.data(), expected.size()));
    }
    if (c.Alpha) {
      const std::string bgra = Output("/usr/bin/ffmpeg -v error -i '" + avi + "' -f rawvideo -pix_fmt bgra -");
      ASSERT_EQ(bgra.size(), alphas.size() * 4);
      for (size_t i = 0; i < alphas.size(); ++i) ASSERT_EQ(uint8_t(bgra[4 * i + 3]), alphas[i]) << "pixel " << i;
    }
    // And back through the component.
    TVexlaneIO back;
    ASSERT_EQ(back.OpenAVIFile(avi), N);
    EXPECT_NEAR(back.Params().AVI_FrameDelayTime(), 1000.0 * 100 / 2997, 1e-9);
    ASSERT_TRUE(back.LoadFromAVI(N - 1));
    if (std::string(c.Codec) != "MJPG") {
      const auto got = TargetBGR(*back.VXBitmap());
      EXPECT_EQ(0, std::memcmp(got.data(), expected.data() + (N - 1) * got.size(), got.size()));
    }
  }
  VXHeadless::Reset();
  EXPECT_EQ(vxavi::LiveObjects(), 0);
}

// Compressors that are not there, a cancelled dialog, a folder that cannot
// take the file.
TEST(AVIComponent, MissingCompressorWritesNoFrame) {
  ScratchDir dir;
  VXHeadless::Reset();  // the dialog answers cancel
  for (const char* codec : {"", "ZZZZ"}) {
    SCOPED_TRACE(codec);
    const std::string avi = dir / "none.avi";
    TVexlaneIO io;
    io.Params().SetWidth(4);
    io.Params().SetHeight(3);
    EXPECT_EQ(io.CreateAVIFile(avi, 25, codec), vxaviNOCOMPRESSOR);
    EXPECT_TRUE(io.Aborting());
    io.VXBitmap()->Allocate(4, 3, vx24RGB);
    io.SetAborting(false);
    io.SaveToAVI();
    io.CloseAVIFile();
    TVexlaneIO reader;
    EXPECT_EQ(reader.OpenAVIFile(avi), 0);
  }
  TVexlaneIO io;
  io.Params().SetWidth(4);
  io.Params().SetHeight(3);
  try {
    io.CreateAVIFile(dir / "missing/x.avi", 25, "DIB ");
    ADD_FAILURE() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "unable to create AVI file");
  }
  EXPECT_EQ(vxavi::LiveObjects(), 0);
}

// LoadFromFile by the ".avi" extension, the image count of any file, media
// files without their player, damaged headers.
TEST(AVIComponent, DispatchImageCountAndMediaFiles) {
  ScratchDir dir;
  const std::string avi = dir / "four.avi";
  std::vector<TRGB> greys;
  for (int k = 0; k < 4; ++k) greys.push_back(TRGB{uint8_t(0x10 * (k + 1)), uint8_t(0x10 * (k + 1)), uint8_t(0x10 * (k + 1))});
  ASSERT_TRUE(WriteFlatAVI(avi, 3, 2, greys));
  TVexlaneIO io;
  io.Params().SetImageIndex(2);
  ASSERT_TRUE(io.LoadFromFile(avi, int32_t(-1)));
  EXPECT_EQ(io.Params().FileType(), 15);
  EXPECT_EQ(io.Params().FileName(), avi);
  EXPECT_EQ(io.VXBitmap()->Pixels_vx24RGB(1, 1).r, 0x30);
  EXPECT_FALSE(io.IsOpenAVI());
  io.Params().SetImageIndex(9);
  EXPECT_FALSE(io.LoadFromFile(avi, int32_t(-1)));  // no such frame
  EXPECT_FALSE(io.LoadFromFile(dir / "missing.avi", int32_t(-1)));

  // Counts: a registered single-image type without opening the file, a GIF
  // through its counter, an AVI through the AVI layer, other files through
  // the media player, which is not there.
  EXPECT_EQ(VXGetFileImageCount(dir / "not-there.png"), 1);
  TVXBitmap frame;
  frame.Allocate(2, 2, vx24RGB);
  {
    TVexlaneIO gif;
    gif.SetAttachedVXBitmap(&frame);
    for (int k = 0; k < 3; ++k) {
      gif.Params().SetGIF_ImageIndex(k);
      if (k == 0)
        gif.SaveToFileGIF(dir / "three.gif");
      else
        gif.InsertToFileGIF(dir / "three.gif");
    }
  }
  EXPECT_EQ(VXGetFileImageCount(dir / "three.gif"), 3);
  EXPECT_EQ(VXGetFileImageCount(avi), 4);
  EXPECT_EQ(VXGetFileImageCount(dir / "clip.mpg"), 0);
  EXPECT_EQ(io.OpenMediaFile(dir / "clip.mpg"), 0);
  EXPECT_TRUE(io.Aborting());
  EXPECT_FALSE(io.IsOpenMediaFile());
  EXPECT_FALSE(io.LoadFromFile(dir / "clip.wmv", int32_t(-1)));

  // Damaged headers: no exception, nothing open.
  auto bytes = ReadFile(avi);
  for (size_t at : {size_t(4), size_t(8), size_t(24), size_t(180), size_t(190)}) {
    auto bad = bytes;
    bad[at] ^= 0x40;
    WriteFile(dir / "bad.avi", bad);
    TVexlaneIO r;
    const int32_t n = r.OpenAVIFile(dir / "bad.avi");
    if (n == 0) {
      EXPECT_TRUE(r.Aborting()) << at;
      EXPECT_FALSE(r.IsOpenAVI());
    }
  }
  EXPECT_EQ(vxavi::LiveObjects(), 0);
}

// By content: LoadFromFileAuto and LoadFromFileFormat(15) read the frame
// that OpenAVIFile and LoadFromAVI read, under the AVI name and under a name
// whose extension says nothing.
TEST(AVIComponent, LoadsByContentReadTheFramesOfTheAVILayer) {
  ScratchDir dir;
  const std::string avi = dir / "three.avi";
  ASSERT_TRUE(WriteFlatAVI(avi, 4, 3, {TRGB{0x20, 0x70, 0x5A}, TRGB{0x40, 0x60, 0x5A}, TRGB{0x60, 0x50, 0x5A}}));
  WriteFile(dir / "clip.bin", ReadFile(avi));
  std::vector<std::vector<uint8_t>> frames;
  {
    TVexlaneIO io;
    ASSERT_EQ(io.OpenAVIFile(avi), 3);
    for (int k = 0; k < 3; ++k) {
      ASSERT_TRUE(io.LoadFromAVI(k));
      frames.push_back(TargetBGR(*io.VXBitmap()));
    }
    io.CloseAVIFile();
  }
  for (const std::string& name : {avi, dir / "clip.bin"})
    for (int32_t index : {0, 2})
      for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(name + " frame " + std::to_string(index) + " way " + std::to_string(how));
        TVexlaneIO io;
        io.Params().SetImageIndex(index);
        const bool loaded = how == 0   ? io.LoadFromFileAuto(name)
                            : how == 1 ? io.LoadFromFileFormat(name, 15)
                                       : io.LoadFromFile(name, int32_t(15));
        ASSERT_TRUE(loaded);
        EXPECT_FALSE(io.Aborting());
        EXPECT_EQ(io.Params().FileType(), 15);
        EXPECT_EQ(io.Params().FileName(), name);
        EXPECT_EQ(TargetBGR(*io.VXBitmap()), frames[size_t(index)]);
        EXPECT_FALSE(io.IsOpenAVI());
      }
  EXPECT_EQ(vxavi::LiveObjects(), 0);
}

// Frames of 1 and 4 bits, written through the AVI layer: 1-bit frames stay
// 1-bit, showing what their colour table says, 4-bit ones become 24-bit.
TEST(AVIComponent, OneAndFourBitFrames) {
  ScratchDir dir;
  const int W = 10, H = 3;
  struct Case {
    int Bits;
    bool Inverted;  // a 1-bit table of white, then black
  } cases[] = {{1, false}, {1, true}, {4, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Bits * 10 + c.Inverted);
    const std::string avi = dir / "low.avi";
    const int colours = 1 << c.Bits;
    const int stride = ((W * c.Bits + 31) / 32) * 4;
    std::vector<RGBQUAD> table(static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i) {
      const uint8_t v = uint8_t(c.Bits == 1 ? ((i == 1) != c.Inverted ? 255 : 0) : i * 16);
      table[size_t(i)] = c.Bits == 1 ? RGBQUAD{v, v, v, 0} : RGBQUAD{v, uint8_t(255 - v), uint8_t(i * 8), 0};
    }
    std::vector<uint8_t> format(40 + 4 * size_t(colours), 0);
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = W;
    h.biHeight = H;
    h.biPlanes = 1;
    h.biBitCount = WORD(c.Bits);
    h.biSizeImage = DWORD(stride * H);
    h.biClrUsed = DWORD(colours);
    std::memcpy(format.data(), &h, 40);
    std::memcpy(format.data() + 40, table.data(), 4 * table.size());
    std::vector<uint8_t> bits(size_t(stride * H), 0);
    auto index = [&](int x, int y) { return (x * 3 + y) % colours; };
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        uint8_t* row = &bits[size_t((H - 1 - y) * stride)];
        if (c.Bits == 1)
          row[x / 8] |= uint8_t(index(x, y) << (7 - x % 8));
        else
          row[x / 2] |= uint8_t(index(x, y) << (x % 2 ? 0 : 4));
      }
    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIFileOpenW(&file, avi.c_str(), OF_WRITE | OF_CREATE, nullptr), AVIERR_OK);
    AVISTREAMINFOW si{};
    si.fccType = streamtypeVIDEO;
    si.dwScale = 1;
    si.dwRate = 5;
    ASSERT_EQ(AVIFileCreateStreamW(file, &stream, &si), AVIERR_OK);
    ASSERT_EQ(AVIStreamSetFormat(stream, 0, format.data(), LONG(format.size())), AVIERR_OK);
    ASSERT_EQ(AVIStreamWrite(stream, 0, 1, bits.data(), LONG(bits.size()), AVIIF_KEYFRAME, nullptr, nullptr),
              AVIERR_OK);
    AVIStreamRelease(stream);
    AVIFileRelease(file);
    AVIFileExit();

    TVexlaneIO io;
    ASSERT_EQ(io.OpenAVIFile(avi), 1);
    EXPECT_DOUBLE_EQ(io.Params().AVI_FrameDelayTime(), 200);
    ASSERT_TRUE(io.LoadFromAVI(0));
    TVXBitmap& t = *io.VXBitmap();
    EXPECT_EQ(io.Params().BitsPerSample(), c.Bits);
    EXPECT_EQ(io.Params().SamplesPerPixel(), 1);
    EXPECT_EQ(t.PixelFormat(), c.Bits == 1 ? vx1g : vx24RGB);
    const auto got = TargetBGR(t);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const RGBQUAD q = table[size_t(index(x, y))];
        const uint8_t* p = &got[size_t((y * W + x) * 3)];
        EXPECT_EQ(p[0], q.rgbBlue) << x << "," << y;
        EXPECT_EQ(p[1], q.rgbGreen) << x << "," << y;
        EXPECT_EQ(p[2], q.rgbRed) << x << "," << y;
      }
  }
}

// A frame loaded on a request thread into an attached bitmap.
TEST(AVIComponent, LoadFromAVIOnARequestThread) {
  ScratchDir dir;
  const std::string avi = dir / "two.avi";
  {
    TVexlaneIO io;
    io.Params().SetWidth(5);
    io.Params().SetHeight(4);
    ASSERT_EQ(io.CreateAVIFile(avi, 10, "DIB "), vxaviOK);
    for (TRGB c : {TRGB{0, 0, 255}, TRGB{0, 255, 0}}) {
      io.VXBitmap()->Allocate(5, 4, vx24RGB);
      FillRGB(*io.VXBitmap(), c);
      io.SaveToAVI();
    }
  }  // the destructor finishes the file
  TVXBitmap target;
  auto io = TVexlaneIO::CreateFromBitmap(&target);
  io->SetAsyncMode(true);
  ASSERT_EQ(io->OpenAVIFile(avi), 2);
  EXPECT_DOUBLE_EQ(io->Params().AVI_FrameDelayTime(), 100);
  EXPECT_FALSE(io->LoadFromAVI(1));  // started on a request thread
  io->WaitThreads(false);
  ASSERT_EQ(target.Width(), 5);
  EXPECT_EQ(target.Pixels_vx24RGB(2, 2).g, 0xFF);
  EXPECT_EQ(target.Pixels_vx24RGB(2, 2).r, 0);
}
