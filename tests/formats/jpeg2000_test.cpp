// JPEG 2000 through the I/O component: OpenJPEG's own compressor makes the
// fixtures the reader must load, and OpenJPEG's and Grok's decompressors
// judge what the writer saves.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "../codecs/short_stream.h"
#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "formats/jpeg2000.h"
#include "io/params.h"
#include "io/probes.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::Shell;
using jpegtest::WriteFile;

const std::string kCompress = "/usr/bin/opj_compress", kDecompress = "/usr/bin/opj_decompress",
                  kDump = "/usr/bin/opj_dump", kGrok = "/usr/bin/grk_decompress";

bool HaveOpenJpegTools() { return HaveTool(kCompress) && HaveTool(kDecompress) && HaveTool(kDump); }

// Samples of a picture: rows of W x Channels values below 2^Bits.
std::vector<uint32_t> Samples(int W, int H, int Channels, int Bits, uint32_t Seed) {
  std::vector<uint32_t> s(size_t(W) * size_t(H) * size_t(Channels));
  uint32_t r = Seed;
  for (size_t i = 0; i < s.size(); ++i) {
    r = r * 1103515245u + 12345u;
    s[i] = (uint32_t(i) * 2654435761u ^ (r >> 7)) & ((1u << Bits) - 1);
  }
  return s;
}

// PGM, PPM (Channels 1, 3) or PAM with alpha (4), samples of Maxval.
void WritePnm(const std::string& Path, int W, int H, int Channels, uint32_t Maxval, const std::vector<uint32_t>& S) {
  std::string head;
  if (Channels == 4)
    head = "P7\nWIDTH " + std::to_string(W) + "\nHEIGHT " + std::to_string(H) + "\nDEPTH 4\nMAXVAL " +
           std::to_string(Maxval) + "\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  else
    head = std::string(Channels == 1 ? "P5\n" : "P6\n") + std::to_string(W) + " " + std::to_string(H) + "\n" +
           std::to_string(Maxval) + "\n";
  std::vector<uint8_t> d(head.begin(), head.end());
  for (uint32_t v : S) {
    if (Maxval > 255) d.push_back(uint8_t(v >> 8));
    d.push_back(uint8_t(v));
  }
  WriteFile(Path, d);
}

// A raw decompressor output: the components one plane after another, one
// byte a sample up to 8 bits, two bytes above (little-endian for OpenJPEG,
// big-endian for Grok).
std::vector<uint32_t> RawPlanes(const std::vector<uint8_t>& Raw, size_t Count, bool Wide, bool BigEndian) {
  std::vector<uint32_t> v;
  for (size_t i = 0; i < Count; ++i) {
    if (!Wide) {
      v.push_back(i < Raw.size() ? Raw[i] : 0xFFFFFFFF);
    } else if (2 * i + 1 < Raw.size()) {
      v.push_back(BigEndian ? (Raw[2 * i] << 8) | Raw[2 * i + 1] : Raw[2 * i] | (Raw[2 * i + 1] << 8));
    } else {
      v.push_back(0xFFFFFFFF);
    }
  }
  return v;
}

uint16_t Word(const TVXBitmap& B, int x, int y) {
  const uint8_t* r = static_cast<const uint8_t*>(B.Scanline(y));
  return uint16_t(r[2 * x] | (r[2 * x + 1] << 8));
}
uint8_t Byte(const TVXBitmap& B, int x, int y, int i) { return static_cast<const uint8_t*>(B.Scanline(y))[x * 3 + i]; }

// Runs Body with the process's stderr sent to a file; returns what was written.
std::string CapturedStderr(const std::function<void()>& Body) {
  ScratchDir dir;
  const std::string path = dir / "stderr.txt";
  fflush(stderr);
  const int saved = dup(2);
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 2);
  close(fd);
  Body();
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  const auto bytes = ReadFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Jpeg2000, OpenJpegFixturesLoadAsTheirSamples) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "libopenjp2-tools missing (bash scripts/setup --tests)";
  const int W = 17, H = 13;
  struct Case {
    const char* Name;
    int Channels, Bits;
    const char* Output;    // file the compressor writes
    const char* Options;   // beyond the resolution count
    TVXPixelFormat Format;
    int BitsPerSample, SamplesPerPixel;
  };
  const Case cases[] = {
      {"grey 8", 1, 8, "x.j2k", "", vx8g, 8, 1},
      {"grey 12", 1, 12, "x.jp2", "", vx16g, 12, 1},
      {"grey 16", 1, 16, "x.j2k", "", vx16g, 16, 1},
      {"RGB", 3, 8, "x.jp2", "", vx24RGB, 8, 3},
      {"RGBA", 4, 8, "x.jp2", "", vx24RGB, 8, 3},
      {"RGB code stream, no colour transform", 3, 8, "x.j2k", "-mct 0", vx24RGB, 8, 3},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    ScratchDir dir;
    const auto src = Samples(W, H, k.Channels, k.Bits, uint32_t(k.Bits * 10 + k.Channels));
    WritePnm(dir / (k.Channels == 4 ? "in.pam" : k.Channels == 1 ? "in.pgm" : "in.ppm"), W, H, k.Channels,
             (1u << k.Bits) - 1, src);
    ASSERT_EQ(Shell(kCompress + " -n 3 " + k.Options + " -i " +
                    (dir / (k.Channels == 4 ? "in.pam" : k.Channels == 1 ? "in.pgm" : "in.ppm")) + " -o " +
                    (dir / k.Output) + " >/dev/null"),
              0);
    TVXBitmap bmp;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
    ASSERT_TRUE(io.LoadFromFileJ2K(dir / k.Output));
    EXPECT_EQ(io.Params().FileType(), 14);
    EXPECT_EQ(io.Params().BitsPerSample(), k.BitsPerSample);
    EXPECT_EQ(io.Params().SamplesPerPixel(), k.SamplesPerPixel);
    ASSERT_EQ(bmp.PixelFormat(), k.Format);
    ASSERT_EQ(bmp.Width(), W);
    ASSERT_EQ(bmp.Height(), H);
    EXPECT_FALSE(bmp.HasAlphaChannel());
    int bad = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const size_t i = (size_t(y) * W + x) * size_t(k.Channels);
        if (k.Format == vx8g)
          bad += static_cast<const uint8_t*>(bmp.Scanline(y))[x] != src[i];
        else if (k.Format == vx16g)
          bad += Word(bmp, x, y) != uint32_t(src[i] << (16 - k.Bits));  // the top bits
        else
          bad += Byte(bmp, x, y, 2) != src[i] || Byte(bmp, x, y, 1) != src[i + 1] || Byte(bmp, x, y, 0) != src[i + 2];
      }
    EXPECT_EQ(bad, 0);
  }
}

// Raw planes of a picture whose second and third components have half the
// resolution each way: each of their samples covers 2 x 2 pixels.
TEST(Jpeg2000, SubsampledComponentsAreReadThroughTheIndexMaps) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "libopenjp2-tools missing (bash scripts/setup --tests)";
  ScratchDir dir;
  const int W = 16, H = 10;
  const auto luma = Samples(W, H, 1, 8, 1), cb = Samples(W / 2, H / 2, 1, 8, 2), cr = Samples(W / 2, H / 2, 1, 8, 3);
  std::vector<uint8_t> raw;
  for (const auto* plane : {&luma, &cb, &cr})
    for (uint32_t v : *plane) raw.push_back(uint8_t(v));
  WriteFile(dir / "in.raw", raw);
  ASSERT_EQ(Shell(kCompress + " -n 2 -mct 0 -F 16,10,3,8,u@1x1:2x2:2x2 -i " + (dir / "in.raw") + " -o " +
                  (dir / "x.j2k") + " >/dev/null"),
            0);
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadFromFileJ2K(dir / "x.j2k"));
  ASSERT_EQ(bmp.PixelFormat(), vx24RGB);
  int bad = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t half = size_t(y / 2) * (W / 2) + size_t(x / 2);
      bad += Byte(bmp, x, y, 2) != luma[size_t(y) * W + x] || Byte(bmp, x, y, 1) != cb[half] ||
             Byte(bmp, x, y, 0) != cr[half];
    }
  EXPECT_EQ(bad, 0);
}

// A JP2 whose colour box is changed to sYCC: its three components are Y,
// Cb and Cr. Y 128, Cb 128, Cr 255 is red 255 (128 + 178, clamped).
TEST(Jpeg2000, SYccFilesBecomeRgb) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "libopenjp2-tools missing (bash scripts/setup --tests)";
  ScratchDir dir;
  const int W = 9, H = 7;
  auto src = Samples(W, H, 3, 8, 77);
  src[0] = 128, src[1] = 128, src[2] = 255;
  src[3] = 0, src[4] = 0, src[5] = 0;
  WritePnm(dir / "in.ppm", W, H, 3, 255, src);
  ASSERT_EQ(Shell(kCompress + " -n 3 -mct 0 -i " + (dir / "in.ppm") + " -o " + (dir / "x.jp2") + " >/dev/null"), 0);
  auto jp2 = ReadFile(dir / "x.jp2");
  size_t colr = 0;
  while (colr + 11 < jp2.size() && std::memcmp(&jp2[colr], "colr", 4) != 0) ++colr;
  ASSERT_LT(colr + 11, jp2.size());
  ASSERT_EQ(jp2[colr + 4], 1);  // an enumerated colour space
  ASSERT_EQ(jp2[colr + 10], 16);  // sRGB
  jp2[colr + 10] = 18;  // sYCC
  WriteFile(dir / "ycc.jp2", jp2);

  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadFromFileJP2(dir / "ycc.jp2"));
  ASSERT_EQ(bmp.PixelFormat(), vx24RGB);
  EXPECT_EQ(Byte(bmp, 0, 0, 2), 255);
  EXPECT_EQ(Byte(bmp, 0, 0, 1), 128 - 91);
  EXPECT_EQ(Byte(bmp, 0, 0, 0), 128);
  EXPECT_EQ(Byte(bmp, 1, 0, 2), 0);  // Y 0 with Cb = Cr = 0 clamps red and blue at 0...
  EXPECT_EQ(Byte(bmp, 1, 0, 1), 135);  // ...while green gains 44 + 91
  int bad = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t i = (size_t(y) * W + x) * 3;
      const double Y = src[i], cb = double(src[i + 1]) - 128, cr = double(src[i + 2]) - 128;
      auto near = [](int got, double want) { return std::abs(got - std::clamp(want, 0.0, 255.0)) <= 1.0; };
      bad += !near(Byte(bmp, x, y, 2), Y + 1.402 * cr) || !near(Byte(bmp, x, y, 1), Y - 0.34414 * cb - 0.71414 * cr) ||
             !near(Byte(bmp, x, y, 0), Y + 1.772 * cb);
    }
  EXPECT_EQ(bad, 0);
}

TEST(Jpeg2000, ProbesOptionTextAndRecordedTypes) {
  // The probes on a code stream's and a file's first bytes.
  const std::vector<uint8_t> codestream = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x2F, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> file = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0, 0, 0};
  struct Probe {
    const std::vector<uint8_t>* Bytes;
    bool JP2, J2K;
  };
  for (const Probe& p : {Probe{&codestream, false, true}, Probe{&file, true, false}}) {
    TVXMemStream s(p.Bytes->data(), int64_t(p.Bytes->size()));
    s.SetPosition(0);
    EXPECT_EQ(VXIsJP2Stream(&s), p.JP2);
    EXPECT_EQ(VXIsJ2KCodestream(&s), p.J2K);
    EXPECT_EQ(s.Position(), 0);
  }

  struct Option {
    double Rate;
    TIOJ2000ScalableBy By;
    const char* Text;
  };
  for (const Option& o : {Option{0.5, ioJ2000_Resolution, "rate=0.5 prg=rlcp"},
                          Option{0.07, ioJ2000_Rate, "rate=0.07 prg=lrcp"}, Option{1, ioJ2000_Rate, "rate=1 prg=lrcp"}}) {
    TIOParamsVals params;
    params.SetJ2000_Rate(o.Rate);
    params.SetJ2000_ScalableBy(o.By);
    EXPECT_EQ(VXJpeg2000OptionText(params), o.Text);
  }

  // The operation decides the type recorded, whatever the file holds.
  TVXBitmap src(6, 5, vx8g);
  TVexlaneIO writer;
  writer.SetAttachedVXBitmap(&src);
  TMemoryStream j2k, jp2;
  writer.SaveToStreamJ2K(&j2k);
  writer.SaveToStreamJP2(&jp2);
  ASSERT_FALSE(writer.Aborting());
  ScratchDir dir;
  WriteFile(dir / "stream.j2k", std::vector<uint8_t>(static_cast<const uint8_t*>(j2k.Memory()),
                                                     static_cast<const uint8_t*>(j2k.Memory()) + j2k.Size()));
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadFromFileJP2(dir / "stream.j2k"));
  EXPECT_EQ(io.Params().FileType(), 13);
  EXPECT_EQ(io.Params().FileName(), dir / "stream.j2k");
  jp2.SetPosition(0);
  ASSERT_TRUE(io.LoadFromStreamJ2K(&jp2));
  EXPECT_EQ(io.Params().FileType(), 14);
  EXPECT_EQ(bmp.Width(), 6);
  EXPECT_TRUE(VXJpeg2000Initialized());

  // Through the dispatch: by the content, by the extension, and the
  // parameters alone without touching the target.
  jp2.SetPosition(0);
  ASSERT_TRUE(io.LoadFromStream(&jp2));
  EXPECT_EQ(io.Params().FileType(), 13);
  TVXBitmap wide(40, 9, vx24RGB);
  TVexlaneIO saver;
  saver.SetAttachedVXBitmap(&wide);
  saver.Params().SetJ2000_Rate(0);
  saver.SaveToFile(dir / "by-extension.jp2", -1);
  ASSERT_FALSE(saver.Aborting());
  EXPECT_EQ(saver.Params().FileType(), 13);
  const auto saved = ReadFile(dir / "by-extension.jp2");
  TVXMemStream savedStream(saved.data(), int64_t(saved.size()));
  EXPECT_TRUE(VXIsJP2Stream(&savedStream));
  ASSERT_TRUE(io.LoadFromFile(dir / "by-extension.jp2", -1));
  EXPECT_EQ(bmp.Width(), 40);
  TVXBitmap untouched(3, 3, vx8g);
  TVexlaneIO params;
  params.SetAttachedVXBitmap(&untouched);
  params.ParamsFromFile(dir / "stream.j2k");
  EXPECT_EQ(params.Params().FileType(), 14);
  EXPECT_EQ(params.Params().Width(), 6);
  EXPECT_EQ(params.Params().Height(), 5);
  EXPECT_EQ(params.Params().BitsPerSample(), 8);
  EXPECT_EQ(params.Params().SamplesPerPixel(), 1);
  EXPECT_EQ(untouched.Width(), 3);
}

// One picture of each kind the writer takes, saved losslessly.
struct TSaved {
  const char* Name;
  TVXPixelFormat Format;
  bool Alpha;
  int Components, Bits;
};

void Fill(TVXBitmap& B, const TSaved& K, std::vector<uint32_t>& Planes) {
  const int W = B.Width(), H = B.Height();
  Planes.assign(size_t(W) * size_t(H) * size_t(K.Components), 0);
  const auto s = Samples(W, H, K.Components, K.Bits, 5);
  auto plane = [&](int c, int x, int y) -> uint32_t& { return Planes[(size_t(c) * H + y) * W + x]; };
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(B.Scanline(y));
    for (int x = 0; x < W; ++x) {
      const size_t i = (size_t(y) * W + x) * size_t(K.Components);
      switch (K.Format) {
        case vx1g:
          if (x % 8 == 0) row[x / 8] = 0;
          if (s[i] & 1) row[x / 8] |= uint8_t(0x80 >> (x % 8));
          plane(0, x, y) = s[i] & 1;
          break;
        case vx8g: row[x] = uint8_t(plane(0, x, y) = s[i]); break;
        case vx16g:
          plane(0, x, y) = s[i];
          row[2 * x] = uint8_t(s[i]);
          row[2 * x + 1] = uint8_t(s[i] >> 8);
          break;
        default:
          for (int c = 0; c < 3; ++c) row[3 * x + 2 - c] = uint8_t(plane(c, x, y) = s[i + size_t(c)]);
          if (K.Alpha) {
            const uint8_t a = uint8_t(x == 0 && y == 0 ? 0 : s[i + 3]);
            static_cast<uint8_t*>(B.AlphaChannel()->Scanline(y))[x] = a;
            plane(3, x, y) = a;
          }
      }
    }
  }
}

TEST(Jpeg2000, LosslessSavesDecodeInOpenJpegAndGrok) {
  if (!HaveOpenJpegTools()) GTEST_SKIP() << "libopenjp2-tools missing (bash scripts/setup --tests)";
  const bool grok = HaveTool(kGrok);
  const TSaved kinds[] = {
      {"8-bit grey", vx8g, false, 1, 8},  {"16-bit grey", vx16g, false, 1, 16}, {"1-bit", vx1g, false, 1, 1},
      {"RGB", vx24RGB, false, 3, 8},      {"RGBA", vx24RGB, true, 4, 8},
  };
  for (const TSaved& k : kinds)
    for (int format = 0; format < 2; ++format)
      for (auto size : {std::pair{23, 19}, std::pair{5, 3}}) {
        SCOPED_TRACE(std::string(k.Name) + (format == 0 ? " JP2 " : " J2K ") + std::to_string(size.first));
        ScratchDir dir;
        TVXBitmap bmp(size.first, size.second, k.Format);
        std::vector<uint32_t> planes;
        Fill(bmp, k, planes);
        TVexlaneIO io;
        io.SetAttachedVXBitmap(&bmp);
        io.Params().SetJ2000_Rate(format == 0 ? 0 : 1);  // both lossless
        io.Params().SetJ2000_ScalableBy(format == 0 ? ioJ2000_Rate : ioJ2000_Resolution);
        const std::string file = dir / (format == 0 ? "x.jp2" : "x.j2k");
        if (format == 0)
          io.SaveToFileJP2(file);
        else
          io.SaveToFileJ2K(file);
        ASSERT_FALSE(io.Aborting());
        EXPECT_EQ(io.Params().FileType(), 13 + format);

        // A file of boxes or a bare code stream, in the progression asked for.
        ASSERT_EQ(Shell(kDump + " -i " + file + " > " + (dir / "dump.txt")), 0);
        const auto dumpBytes = ReadFile(dir / "dump.txt");
        const std::string dump(dumpBytes.begin(), dumpBytes.end());
        EXPECT_NE(dump.find(format == 0 ? "prg=0\n" : "prg=0x1\n"), std::string::npos) << dump;
        EXPECT_EQ(dump.find("main header (0)") != std::string::npos, format == 1) << dump;
        EXPECT_NE(dump.find("qmfbid=1\n"), std::string::npos);  // the reversible 5/3 transform
        EXPECT_NE(dump.find("numlayers=1\n"), std::string::npos);
        const auto head = ReadFile(file);
        ASSERT_GE(head.size(), 12u);
        EXPECT_EQ(head[0] == 0xFF && head[1] == 0x4F, format == 1);
        if (format == 0)  // the alpha component's channel definition
          EXPECT_EQ(std::search(head.begin(), head.end(), "cdef", "cdef" + 4) != head.end(), k.Alpha);

        struct Decoder {
          std::string Tool;
          bool BigEndian;
        };
        std::vector<Decoder> decoders = {{kDecompress, false}};
        if (grok) decoders.push_back({kGrok, true});
        for (const Decoder& d : decoders) {
          SCOPED_TRACE(d.Tool);
          ASSERT_EQ(Shell(d.Tool + " -i " + file + " -o " + (dir / "out.raw") + " >/dev/null"), 0);
          EXPECT_EQ(RawPlanes(ReadFile(dir / "out.raw"), planes.size(), k.Bits > 8, d.BigEndian), planes);
        }
        // And back through the reader (the fourth component is not read).
        TVXBitmap back;
        TVexlaneIO reader;
        reader.SetAttachedVXBitmap(&back);
        ASSERT_TRUE(reader.LoadFromFileJ2K(file));
        ASSERT_EQ(back.PixelFormat(), k.Format);
        for (int y = 0; y < bmp.Height(); ++y)
          EXPECT_EQ(std::memcmp(back.Scanline(y), bmp.Scanline(y), size_t((bmp.Width() * VXPixelFormatBitCount[k.Format] + 7) / 8)), 0);
      }
}

TEST(Jpeg2000, RateAndConversionBeforeSaving) {
  // A tenth of the raw size, within 10 %, for a picture that does not compress.
  const int W = 96, H = 96;
  TVXBitmap noise(W, H, vx24RGB);
  const auto s = Samples(W, H, 3, 8, 123);
  for (int y = 0; y < H; ++y) std::memcpy(noise.Scanline(y), &std::vector<uint8_t>(s.begin() + y * W * 3, s.begin() + (y + 1) * W * 3)[0], size_t(W) * 3);
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&noise);
  io.Params().SetJ2000_Rate(0.1);
  TMemoryStream out;
  io.SaveToStreamJ2K(&out);
  ASSERT_FALSE(io.Aborting());
  const double tenth = W * H * 3 / 10.0;
  EXPECT_NEAR(double(out.Size()), tenth, tenth * 0.1);
  if (HaveOpenJpegTools()) {  // one layer through the irreversible 9/7 transform
    ScratchDir dir;
    WriteFile(dir / "x.j2k", std::vector<uint8_t>(static_cast<const uint8_t*>(out.Memory()),
                                                  static_cast<const uint8_t*>(out.Memory()) + out.Size()));
    ASSERT_EQ(Shell(kDump + " -i " + (dir / "x.j2k") + " > " + (dir / "dump.txt")), 0);
    const auto d = ReadFile(dir / "dump.txt");
    const std::string dump(d.begin(), d.end());
    EXPECT_NE(dump.find("qmfbid=0\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("numlayers=1\n"), std::string::npos) << dump;
  }

  // A float image is converted to a format the writer takes first.
  TVXBitmap f(8, 4, vx32f);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) static_cast<float*>(f.Scanline(y))[x] = float(x) / 8.0f;
  TVexlaneIO fio;
  fio.SetAttachedVXBitmap(&f);
  fio.Params().SetJ2000_Rate(0);
  TMemoryStream fout;
  fio.SaveToStreamJ2K(&fout);
  ASSERT_FALSE(fio.Aborting());
  const TVXPixelFormat converted = f.PixelFormat();
  EXPECT_TRUE(converted == vx1g || converted == vx8g || converted == vx16g || converted == vx24RGB);
  TVXBitmap back;
  TVexlaneIO reader;
  reader.SetAttachedVXBitmap(&back);
  fout.SetPosition(0);
  ASSERT_TRUE(reader.LoadFromStreamJ2K(&fout));
  EXPECT_EQ(back.PixelFormat(), converted);
  EXPECT_EQ(back.Width(), 8);
  for (int y = 0; y < 4; ++y)
    EXPECT_EQ(std::memcmp(back.Scanline(y), f.Scanline(y), size_t((8 * VXPixelFormatBitCount[converted] + 7) / 8)), 0);
}

TEST(Jpeg2000, DamagedInputsAbortQuietly) {
  TVXBitmap src(40, 30, vx24RGB);
  std::vector<uint32_t> unused;
  Fill(src, TSaved{"RGB", vx24RGB, false, 3, 8}, unused);
  std::vector<uint8_t> good;
  for (int format : {0, 1}) {
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&src);
    io.Params().SetJ2000_Rate(0);
    TMemoryStream m;
    if (format == 0)
      io.SaveToStreamJP2(&m);
    else
      io.SaveToStreamJ2K(&m);
    if (format == 1) good.assign(static_cast<const uint8_t*>(m.Memory()), static_cast<const uint8_t*>(m.Memory()) + m.Size());
  }
  ASSERT_GT(good.size(), 100u);
  // Damaged code-block data may still decode (to other pixels); the rest
  // must be refused.
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
    bool MayDecode;
  };
  std::vector<Case> cases;
  cases.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2), false});
  cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 40), false});
  {
    auto v = good;
    for (size_t i = v.size() / 3; i < v.size() / 3 + 64; ++i) v[i] = uint8_t(i * 37);
    cases.push_back({"corrupted data", v, true});
  }
  {
    auto v = good;  // SIZ: width and height 2^31 - 1
    for (int i : {8, 12}) v[size_t(i)] = 0x7F, v[size_t(i) + 1] = v[size_t(i) + 2] = v[size_t(i) + 3] = 0xFF;
    cases.push_back({"oversized", v, false});
  }
  {
    // SIZ: image and tile of 20616 x 20616 (425 Mpixels) over the data of
    // 40 x 30: refused before decoding, which would cost the declared size.
    auto v = good;
    for (int i : {8, 12, 24, 28}) v[size_t(i)] = 0, v[size_t(i) + 1] = 0, v[size_t(i) + 2] = 0x50, v[size_t(i) + 3] = 0x88;
    cases.push_back({"declared far beyond its data", v, false});
  }
  {
    auto v = good;  // SIZ: the first component of 128 bits, signed
    v[42] = 0xFF;
    cases.push_back({"precision beyond 32 bits", v, false});
  }
  cases.push_back({"not JPEG 2000", std::vector<uint8_t>(64, 0x42), false});
  const std::string err = CapturedStderr([&] {
    for (const Case& k : cases) {
      SCOPED_TRACE(k.Name);
      TVXBitmap bmp;
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&bmp);
      TVXMemStream in(k.Data.data(), int64_t(k.Data.size()));
      const bool loaded = io.LoadFromStreamJ2K(&in);
      EXPECT_EQ(loaded, !io.Aborting());
      if (!k.MayDecode) {
        EXPECT_FALSE(loaded);
      }
    }
    // Above the pixel limit.
    TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
    const int64_t limit = settings->MaxImagePixels();
    settings->SetMaxImagePixels(1000);
    TVXBitmap bmp;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&bmp);
    TVXMemStream in(good.data(), int64_t(good.size()));
    EXPECT_FALSE(io.LoadFromStreamJ2K(&in));
    settings->SetMaxImagePixels(limit);
    // A stream that takes only part of the file.
    TVexlaneIO writer;
    writer.SetAttachedVXBitmap(&src);
    vxtest::TShortStream shortStream(200);
    writer.SaveToStreamJP2(&shortStream);
    EXPECT_TRUE(writer.Aborting());
  });
  EXPECT_EQ(err, "");
  // The intact stream still loads, so the refusals above were the damage's.
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  TVXMemStream in(good.data(), int64_t(good.size()));
  EXPECT_TRUE(io.LoadFromStreamJ2K(&in));
}

}  // namespace
