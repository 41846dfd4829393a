// DICOM writing: the file layout rules on small frames, the exceptions, and
// every transfer syntax with every format it allows written through the I/O
// component and read by dcmdump, dciodvfy, pydicom (after dcmtk's
// decompression) and this library's reader; tag lists with nested sequences
// written back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "dicom_test_util.h"
#include "formats/dicom.h"
#include "io/dicomtags.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

using jpegtest::ScratchDir;
using jpegtest::WriteFile;
using namespace dicomtest;

uint32_t LE32(const std::vector<uint8_t>& d, size_t p) {
  return uint32_t(d[p]) | (uint32_t(d[p + 1]) << 8) | (uint32_t(d[p + 2]) << 16) | (uint32_t(d[p + 3]) << 24);
}

// Position of the first (7FE0,0010) tag (little-endian) in the file.
size_t PixelDataAt(const std::vector<uint8_t>& d) {
  const uint8_t tag[4] = {0xE0, 0x7F, 0x10, 0x00};
  for (size_t i = 132; i + 12 <= d.size(); ++i)
    if (std::memcmp(&d[i], tag, 4) == 0) return i;
  return 0;
}

// A seeded picture of a format.
void Picture(TVXBitmap& B, int W, int H, TVXPixelFormat F, uint32_t Seed = 3) {
  ASSERT_TRUE(B.Allocate(W, H, F));
  uint32_t r = Seed;
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      r = r * 1664525u + 1013904223u;
      const uint32_t smooth = uint32_t(x * 9 + y * 5);
      switch (F) {
        case vx1g: if ((x + y / 2) % 3 == 0) row[x >> 3] |= uint8_t(0x80 >> (x & 7)); break;
        case vx8g: row[x] = uint8_t(smooth + (r >> 29)); break;
        case vx16g: reinterpret_cast<uint16_t*>(row)[x] = uint16_t(smooth * 97 + (r >> 20)); break;
        case vx24RGB:
          row[3 * x] = uint8_t(smooth);
          row[3 * x + 1] = uint8_t(x * 17);
          row[3 * x + 2] = uint8_t(y * 23 + (r >> 30));
          break;
        default: break;
      }
    }
  }
}

std::vector<uint8_t> WriteFrames(const std::vector<TVXBitmap*>& Frames, TIOParamsVals& P, int32_t Announced) {
  TMemoryStream s;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  TVXBitmap* first = Frames.front();
  P.SetWidth(first->Width());
  P.SetHeight(first->Height());
  TVXDicomWriteContext* c = VXDicomWriteBegin(&s, P, Announced, progress);
  for (TVXBitmap* f : Frames) VXDicomWriteAddImage(c, f);
  VXDicomWriteEnd(c);
  EXPECT_FALSE(aborting);
  std::vector<uint8_t> out(size_t(s.Size()));
  s.SetPosition(0);
  s.Read(out.data(), int64_t(out.size()));
  return out;
}

void GreyParams(TIOParamsVals& P, int Bits, int Samples = 1) {
  P.SetBitsPerSample(Bits);
  P.SetSamplesPerPixel(Samples);
}

}  // namespace

TEST(DicomWrite, PackBitsRuns) {
  std::vector<uint8_t> out;
  const std::vector<uint8_t> equal(200, 7);
  vxdicom::PackBitsEncode(equal.data(), 200, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x81, 7, 0xB9, 7}));  // runs of 128 and 72
  out.clear();
  const uint8_t aab[] = {'A', 'A', 'B'};
  vxdicom::PackBitsEncode(aab, 3, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{2, 'A', 'A', 'B'}));
  // Round trip of mixed runs and literals through the reader's rule.
  std::vector<uint8_t> mixed;
  for (int i = 0; i < 700; ++i) mixed.push_back(uint8_t((i / 7) % 3 == 0 ? 9 : i * 13));
  out.clear();
  vxdicom::PackBitsEncode(mixed.data(), int64_t(mixed.size()), out);
  std::vector<uint8_t> back;
  for (size_t i = 0; i < out.size();) {
    const int8_t n = int8_t(out[i++]);
    if (n >= 0) {
      back.insert(back.end(), out.begin() + long(i), out.begin() + long(i) + n + 1);
      i += size_t(n) + 1;
    } else {
      back.insert(back.end(), size_t(1 - n), out[i++]);
    }
  }
  EXPECT_EQ(back, mixed);
}

TEST(DicomWrite, FileLayoutRules) {
  // Two 8-bit grey frames natively: the pixel data is 2 x W x H and the
  // frame count "2"; the implicit syntax asked for becomes explicit.
  TVXBitmap a, b;
  Picture(a, 5, 3, vx8g, 1);
  Picture(b, 5, 3, vx8g, 2);
  TIOParamsVals p(nullptr);
  p.SetDICOM_Compression(vxdcUncompressed_Implicit);
  GreyParams(p, 8);
  std::vector<uint8_t> file = WriteFrames({&a, &b}, p, 2);
  size_t px = PixelDataAt(file);
  ASSERT_GT(px, 0u);
  EXPECT_EQ(LE32(file, px + 8), 2u * 5 * 3);
  EXPECT_EQ(p.DICOM_Tags().GetTagString(0x0028, 0x0008).substr(0, 1), "2");
  EXPECT_EQ(p.DICOM_Tags().GetTagString(0x0002, 0x0010).substr(0, 19), "1.2.840.10008.1.2.1");
  EXPECT_EQ(p.DICOM_Tags().GetTagString(0x0008, 0x0016).substr(0, 25), "1.2.840.10008.5.1.4.1.1.7");

  // RLE RGB: planar configuration 1, three segments, odd items padded.
  TVXBitmap rgb;
  Picture(rgb, 7, 3, vx24RGB);
  TIOParamsVals r(nullptr);
  r.SetDICOM_Compression(vxdcRLE);
  GreyParams(r, 8, 3);
  file = WriteFrames({&rgb}, r, 1);
  EXPECT_EQ(r.DICOM_Tags().GetTagNumeric(0x0028, 0x0006, -1), 1);
  px = PixelDataAt(file);
  ASSERT_EQ(LE32(file, px + 8), 0xFFFFFFFFu);
  const size_t table = px + 12, item = table + 8 + 4;
  EXPECT_EQ(LE32(file, table + 4), 4u);
  EXPECT_EQ(LE32(file, item + 8), 3u);  // segment count
  EXPECT_EQ(LE32(file, item + 4) % 2, 0u);

  // A 3-frame JPEG file: offsets 0 and those of the second and third items
  // from the first item's tag.
  TIOParamsVals j(nullptr);
  j.SetDICOM_Compression(vxdcJPEG);
  GreyParams(j, 8);
  TVXBitmap c;
  Picture(c, 5, 3, vx8g, 9);
  file = WriteFrames({&a, &b, &c}, j, 3);
  px = PixelDataAt(file);
  const size_t first = px + 12 + 8 + 12;
  EXPECT_EQ(LE32(file, px + 12 + 4), 12u);
  const uint32_t o1 = LE32(file, px + 12 + 8), o2 = LE32(file, px + 12 + 12), o3 = LE32(file, px + 12 + 16);
  EXPECT_EQ(o1, 0u);
  EXPECT_EQ(o2, 8 + LE32(file, first + 4));
  EXPECT_EQ(o3, o2 + 8 + LE32(file, first + o2 + 4));
  EXPECT_EQ(LE32(file, first + o3), 0xE000FFFEu);

  // A fourth frame of three is dropped.
  TIOParamsVals n(nullptr);
  GreyParams(n, 8);
  file = WriteFrames({&a, &b, &c, &a}, n, 3);
  EXPECT_EQ(LE32(file, PixelDataAt(file) + 8), 3u * 5 * 3 + 1);  // odd lengths are padded
  if (HaveOracles()) {
    ScratchDir dir;
    WriteFile(dir / "three.dcm", file);
    std::istringstream facts(Capture(kPython + " " + kOracle + " inspect " + dir / "three.dcm"));
    std::string metaOk, syntax, sop, lossy;
    int frames = 0;
    facts >> metaOk >> syntax >> sop >> lossy >> frames;
    EXPECT_EQ(frames, 3);
  }
}

TEST(DicomWrite, RefusedLayoutsAndFormats) {
  TVXBitmap grey, palette, cmyk, bw;
  Picture(grey, 4, 4, vx8g);
  ASSERT_TRUE(palette.Allocate(4, 4, vx8p));
  ASSERT_TRUE(cmyk.Allocate(4, 4, vxCMYK));
  Picture(bw, 9, 4, vx1g);
  const auto message = [](const std::function<void()>& F) {
    try {
      F();
    } catch (const EVXException& e) {
      return std::string(e.what());
    }
    return std::string("no exception");
  };
  TIOParamsVals two(nullptr);
  GreyParams(two, 8, 2);
  EXPECT_EQ(message([&] { WriteFrames({&grey}, two, 1); }),
            "DICOM saving: unsupported SamplesPerPixel and/or BitsPerSample");
  TIOParamsVals bw8(nullptr);
  GreyParams(bw8, 8);
  bw8.SetDICOM_Range(vxdrSetBlackWhite);
  EXPECT_EQ(message([&] { WriteFrames({&grey}, bw8, 1); }), "DICOM_Range = vxdrSetBlackWhite not supported for saving");
  ScratchDir dir;
  for (TVXBitmap* b : {&palette, &cmyk}) {
    auto io = TVexlaneIO::CreateFromBitmap(b);
    EXPECT_EQ(message([&] { io->SaveToFileDICOM(dir / "x.dcm"); }), "DICOM saving: unsupported pixel format");
    EXPECT_TRUE(ReadFile(dir / "x.dcm").empty());  // no file under the name
  }
  auto io = TVexlaneIO::CreateFromBitmap(&bw);
  io->Params().SetDICOM_Compression(vxdcRLE);
  EXPECT_EQ(message([&] { io->SaveToFileDICOM(dir / "bw.dcm"); }), "DICOM saving: unsupported pixel format");
}

TEST(DicomWrite, EverySyntaxAndFormatAsTheOraclesReadIt) {
  REQUIRE_ORACLES();
  const bool dciodvfy = HaveTool("/usr/bin/dciodvfy");
  ScratchDir dir;
  struct Case {
    TVXDicomCompression Syntax;
    const char* Decompress;  // dcmtk's tool for the reference, or nullptr
    TVXPixelFormat Format;
    int Tolerance;
  } cases[] = {
      {vxdcUncompressed, nullptr, vx1g, 0},        {vxdcUncompressed, nullptr, vx8g, 0},
      {vxdcUncompressed, nullptr, vx16g, 0},       {vxdcUncompressed, nullptr, vx24RGB, 0},
      {vxdcUncompressed_BE, nullptr, vx8g, 0},     {vxdcUncompressed_BE, nullptr, vx16g, 0},
      {vxdcUncompressed_BE, nullptr, vx24RGB, 0},  {vxdcUncompressed_BE, nullptr, vx1g, 0},
      {vxdcRLE, "dcmdrle", vx8g, 0},               {vxdcRLE, "dcmdrle", vx16g, 0},
      {vxdcRLE, "dcmdrle", vx24RGB, 0},            {vxdcJPEG, "dcmdjpeg", vx8g, 3},
      {vxdcJPEG, "dcmdjpeg", vx24RGB, 3},         {vxdcJPEG2000, nullptr, vx8g, 0},
      {vxdcJPEG2000, nullptr, vx16g, 0},           {vxdcJPEG2000, nullptr, vx24RGB, 0},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(int(c.Syntax)) + " / " + std::to_string(int(c.Format)));
    TVXBitmap src;
    Picture(src, 23, 11, c.Format, uint32_t(n + 5));
    if (c.Syntax == vxdcJPEG)  // smooth pictures: JPEG's error stays small
      for (int y = 0; y < 11; ++y)
        for (int x = 0; x < (c.Format == vx24RGB ? 69 : 23); ++x)
          static_cast<uint8_t*>(src.ScanLine(y))[x] = uint8_t(20 + x + 2 * y);
    auto io = TVexlaneIO::CreateFromBitmap(&src);
    io->Params().SetDICOM_Compression(c.Syntax);
    io->Params().SetDICOM_JPEGQuality(95);
    io->Params().SetDICOM_J2000Rate(1);  // lossless
    const std::string file = dir / ("w" + std::to_string(n) + ".dcm");
    io->SaveToFileDICOM(file);
    ASSERT_FALSE(io->Aborting());
    EXPECT_EQ(io->Params().FileType(), 28);
    // dcmdump reads it without complaint; dciodvfy finds no encoding error.
    const std::string dump = Capture("/usr/bin/dcmdump -q " + file + " 2>&1 >/dev/null");
    EXPECT_EQ(dump, "");
    if (dciodvfy) {
      const std::string verify = Capture("/usr/bin/dciodvfy " + file + " 2>&1");
      std::istringstream lines(verify);
      std::string line;
      while (std::getline(lines, line))
        if (line.rfind("Error", 0) == 0 && line.find("Missing attribute") == std::string::npos &&
            line.find("Missing") == std::string::npos && line.find("not present") == std::string::npos)
          ADD_FAILURE() << line;
    }
    // pydicom: the meta group length, the syntax, the SOP class, the lossy flag.
    std::istringstream facts(Capture(kPython + " " + kOracle + " inspect " + file));
    std::string metaOk, syntax, sop, lossy;
    int frames = 0;
    facts >> metaOk >> syntax >> sop >> lossy >> frames;
    EXPECT_EQ(metaOk, "ok");
    EXPECT_EQ(syntax, VXDicomTransferSyntaxUID(c.Syntax));
    EXPECT_EQ(sop, "1.2.840.10008.5.1.4.1.1.7");
    EXPECT_EQ(lossy, c.Syntax == vxdcJPEG || c.Syntax == vxdcJPEG2000 ? "01" : "00");
    EXPECT_EQ(frames, 1);
    // The samples as pydicom reads dcmtk's decompressed file.
    std::string reference = file;
    if (c.Decompress) {
      reference = dir / ("d" + std::to_string(n) + ".dcm");
      ASSERT_EQ(Shell(std::string("/usr/bin/") + c.Decompress + " " + file + " " + reference), 0);
    }
    ASSERT_EQ(Shell(kPython + " " + kOracle + " pixels " + reference + " 0 " + dir / "ref"), 0);
    const TSamples want = ReadSamples(dir / "ref");
    ASSERT_EQ(want.W, 23);
    ASSERT_EQ(want.H, 11);
    int64_t worst = 0;
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 23; ++x)
        for (int s = 0; s < want.Samples; ++s) {
          const uint32_t v = c.Format == vx1g
                                 ? ((static_cast<const uint8_t*>(src.ScanLine(y))[x >> 3] >> (7 - (x & 7))) & 1)
                                 : Sample(src, x, y, s);
          worst = std::max(worst, std::abs(int64_t(v) - int64_t(want.At(x, y, s))));
        }
    EXPECT_LE(worst, c.Tolerance);
    // This library's reader gives the same samples back (1-bit has no rule).
    if (c.Format != vx1g) {
      TVXBitmap back;
      auto reader = TVexlaneIO::CreateFromBitmap(&back);
      reader->Params().SetDICOM_Range(vxdrSetBlackWhite);
      ASSERT_TRUE(reader->LoadFromFileDICOM(file));
      int64_t diff = 0;
      for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 23; ++x)
          for (int s = 0; s < want.Samples; ++s)
            diff = std::max(diff, std::abs(int64_t(Sample(back, x, y, s)) - int64_t(want.At(x, y, s))));
      EXPECT_LE(diff, c.Syntax == vxdcJPEG ? 2 : 0);
      EXPECT_EQ(reader->Params().DICOM_Tags().GetTagNumeric(0x0028, 0x0011, 0), 23);
    }
    ++n;
  }
}

TEST(DicomWrite, NestedSequencesAreWrittenBack) {
  REQUIRE_ORACLES();
  ScratchDir dir;
  for (const std::string name : {"CT_small.dcm", "MR_small.dcm", "JPEG2000-embedded-sequence-delimiter.dcm"}) {
    const std::string source = kPydicomFiles + "/" + name;
    if (access(source.c_str(), R_OK) != 0) continue;
    SCOPED_TRACE(name);
    TVXBitmap image;
    auto io = TVexlaneIO::CreateFromBitmap(&image);
    io->LoadFromFileDICOM(source);
    if (image.IsEmpty() || (image.PixelFormat() != vx8g && image.PixelFormat() != vx16g)) {
      ASSERT_TRUE(image.Allocate(4, 4, vx16g));
    }
    io->Params().SetDICOM_Compression(vxdcUncompressed);
    const std::string out = dir / ("back_" + name);
    io->SaveToFileDICOM(out);
    ASSERT_FALSE(io->Aborting());
    // dcmdump's elements at every depth before the pixel data (the reader
    // stops there), but those the writer prepares and the delimiters.
    const auto elements = [](const std::string& Path) {
      std::istringstream in(Capture("/usr/bin/dcmdump -q " + Path));
      const std::regex element(R"(^(\s*)\(([0-9a-f]{4}),([0-9a-f]{4})\))");
      std::vector<std::string> keep;
      std::string line;
      std::smatch m;
      while (std::getline(in, line)) {
        if (!std::regex_search(line, m, element)) continue;
        const std::string group = m[2];
        if (m[1].length() == 0 && group == "7fe0") break;
        if (group == "0002" || group == "0028" || group == "fffe" || (group == "0008" && m[3] == "0016")) continue;
        keep.push_back(m[0]);
      }
      return keep;
    };
    EXPECT_EQ(elements(out), elements(source));
  }
}
