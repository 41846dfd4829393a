// Content detection over hand-written headers: the header probes, the JPEG
// start-of-image search and VXFindStreamFormat's tests in their order.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "core/streams.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/probes.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, size_t at, uint16_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  Put16(b, at, uint16_t(v));
  Put16(b, at + 2, uint16_t(v >> 16));
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Icon directory with one 16-byte entry per (reserved, size, offset).
Bytes IconDir(uint16_t type, std::vector<std::array<uint32_t, 3>> entries, size_t total) {
  Bytes b;
  Put16(b, 0, 0);
  Put16(b, 2, type);
  Put16(b, 4, uint16_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 6 + i * 16;
    b.resize(at + 16);
    b[at] = 16;
    b[at + 1] = 16;
    b[at + 3] = uint8_t(entries[i][0]);
    Put32(b, at + 8, entries[i][1]);
    Put32(b, at + 12, entries[i][2]);
  }
  b.resize(std::max(b.size(), total));
  return b;
}

Bytes TgaHeader(uint8_t mapType, uint8_t imageType, uint16_t w, uint16_t h, uint8_t depth) {
  Bytes b(18 + 16);
  b[1] = mapType;
  b[2] = imageType;
  Put16(b, 12, w);
  Put16(b, 14, h);
  b[16] = depth;
  return b;
}

Bytes Wmf(bool placeable, uint16_t type) {
  Bytes b;
  size_t at = 0;
  if (placeable) {
    Put32(b, 0, 0x9AC6CDD7u);
    at = 22;
  }
  Put16(b, at, type);
  Put16(b, at + 2, 9);
  Put16(b, at + 4, 0x300);
  Put32(b, at + 6, 100);
  Put16(b, at + 10, 3);
  Put32(b, at + 12, 40);
  Put16(b, at + 16, 0);
  b.resize(b.size() + 20);
  return b;
}

Bytes Emf() {
  Bytes b(120);
  Put32(b, 0, 1);
  Put32(b, 4, 108);
  Put32(b, 40, 0x464D4520u);
  return b;
}

Bytes Dicom() {
  Bytes b(132 + 20);
  b[128] = 'D', b[129] = 'I', b[130] = 'C', b[131] = 'M';
  return b;
}

Bytes Avi() { return Cat(Text("RIFF"), Cat(Bytes{0x10, 0, 0, 0}, Text("AVI LIST0000"))); }

Bytes Psd(uint16_t version, uint16_t channels, uint16_t depth, uint16_t mode) {
  Bytes b = Text("8BPS");
  b.resize(40);
  auto be16 = [&](size_t at, uint16_t v) { b[at] = uint8_t(v >> 8), b[at + 1] = uint8_t(v); };
  be16(4, version);
  be16(12, channels);
  b[17] = 4;  // height 4
  b[21] = 4;  // width 4
  be16(22, depth);
  be16(24, mode);
  return b;
}

Bytes Dcx(std::vector<uint32_t> offsets, size_t total) {
  Bytes b;
  Put32(b, 0, 0x3ADE68B1u);
  for (size_t i = 0; i < offsets.size(); ++i) Put32(b, 4 + i * 4, offsets[i]);
  b.resize(std::max(b.size(), total));
  return b;
}

Bytes Pcx128() {
  Bytes b(200);
  b[0] = 0x0A;
  b[1] = 5;
  b[2] = 1;
  b[3] = 8;
  return b;
}

Bytes StreamHeader(const char* tag) {
  Bytes b(12 + 20, 0x55);
  for (int i = 0; i < 5; ++i) b[size_t(i)] = 0;
  for (size_t i = 0; tag[i]; ++i) b[i] = uint8_t(tag[i]);
  return b;
}

struct TCase {
  const char* Name;
  Bytes Data;
  bool (*Probe)(TStream*);  // nullptr: detection only
  bool ProbeResult;
  int32_t Detected;
};

std::vector<TCase> Cases() {
  return {
      {"ico", IconDir(1, {{0, 40, 22}}, 62), &VXIsICOStream, true, 6},
      {"cur", IconDir(2, {{0, 40, 22}}, 62), &VXIsCURStream, true, 7},
      {"ico of 22 bytes", IconDir(1, {{0, 1, 22}}, 22), &VXIsICOStream, false, 0},
      {"cur is not ico", IconDir(2, {{0, 40, 22}}, 62), &VXIsICOStream, false, 7},
      {"ico with a zero-size entry", IconDir(1, {{0, 0, 22}}, 62), &VXIsICOStream, false, 0},
      {"ico offset into the directory", IconDir(1, {{0, 40, 21}}, 62), &VXIsICOStream, false, 0},
      {"ico second offset into its entry", IconDir(1, {{0, 40, 38}, {0, 40, 37}}, 80), &VXIsICOStream, false, 0},
      {"ico entry reserved byte set", IconDir(1, {{1, 40, 22}}, 62), &VXIsICOStream, false, 0},
      {"ico without entries", IconDir(1, {}, 62), &VXIsICOStream, false, 0},
      {"ico directory beyond the stream",
       [] { Bytes b = IconDir(1, {{0, 40, 38}, {0, 40, 38}}, 0); b.resize(30); return b; }(), &VXIsICOStream, false, 0},
      {"pbm", Text("P1\n# made by hand\n3 2\n0 1 0\n1 0 1\n"), &VXIsPXMStream, true, 12},
      {"pgm binary", Cat(Text("P5 2 2 255\n"), Bytes{1, 2, 3, 4}), &VXIsPXMStream, true, 12},
      {"ppm comments between", Text("P3\n# c\n1 # d\n1 255 1 2 3"), &VXIsPXMStream, true, 12},
      {"pxm zero width", Text("P6 0 2 255\n........"), &VXIsPXMStream, false, 0},
      {"pxm no height", Text("P2 7"), &VXIsPXMStream, false, 0},
      {"pxm P7", Text("P7 2 2 255\n.........."), &VXIsPXMStream, false, 0},
      {"dcx", Dcx({12, 60, 0}, 100), &VXIsDCXStream, true, 19},
      {"dcx offset beyond the end", Dcx({12, 100, 0}, 100), &VXIsDCXStream, false, 0},
      {"tga", TgaHeader(0, 2, 4, 4, 24), &VXIsTGAStream, true, 11},
      {"tga rle palette", TgaHeader(1, 9, 4, 4, 8), &VXIsTGAStream, true, 11},
      {"tga zero width", TgaHeader(0, 2, 0, 4, 24), &VXIsTGAStream, false, 0},
      {"tga type 4", TgaHeader(0, 4, 4, 4, 24), &VXIsTGAStream, false, 0},
      {"tga depth 12", TgaHeader(0, 2, 4, 4, 12), &VXIsTGAStream, false, 0},
      {"tga map type 2", TgaHeader(2, 2, 4, 4, 24), &VXIsTGAStream, false, 0},
      {"wmf", Wmf(false, 1), &VXIsWMFStream, true, 9},
      {"wmf placeable", Wmf(true, 1), &VXIsWMFStream, true, 9},
      {"wmf on disk (type 2)", Wmf(false, 2), &VXIsWMFStream, false, 0},
      {"emf", Emf(), &VXIsEMFStream, true, 10},
      {"emf is not wmf", Emf(), &VXIsWMFStream, false, 10},
      {"dicom", Dicom(), &VXIsDicomStream, true, 28},
      {"jp2", Cat(Bytes{0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A}, Bytes(20)), &VXIsJP2Stream, true, 13},
      {"j2k", Cat(Bytes{0xFF, 0x4F, 0xFF, 0x51}, Bytes(40)), &VXIsJ2KCodestream, true, 14},
      {"j2k is not jp2", Cat(Bytes{0xFF, 0x4F, 0xFF, 0x51}, Bytes(40)), &VXIsJP2Stream, false, 14},
      {"psd", Psd(1, 3, 8, 3), &VXIsPSDStream, true, 24},
      {"psb", Psd(2, 24, 16, 9), &VXIsPSDStream, true, 24},
      {"psd mode 10", Psd(1, 3, 8, 10), &VXIsPSDStream, false, 0},
      {"psd 25 channels", Psd(1, 25, 8, 3), &VXIsPSDStream, false, 0},
      {"avi", Avi(), &VXIsAVIStream, true, 15},
      {"riff wave", Cat(Text("RIFF"), Cat(Bytes{0x10, 0, 0, 0}, Text("WAVEfmt "))), &VXIsAVIStream, false, 0},
      // The stream headers and the fixed tests before the probes.
      {"jpeg stream header", StreamHeader("JFIF"), nullptr, false, 3},
      {"pcx stream header", StreamHeader("PCX2"), nullptr, false, 4},
      {"tiff stream header", StreamHeader("TIFF"), nullptr, false, 1},
      {"older pcx stream header", Cat(Bytes{'P', 'C', 'X', 0}, Bytes(8)), nullptr, false, 4},
      {"no zero after PCX", Cat(Text("PCX1"), Bytes(8)), nullptr, false, 0},
      {"gif", Cat(Text("GIF89a"), Bytes(10)), nullptr, false, 2},
      {"bmp", Cat(Text("BM"), Bytes(20)), nullptr, false, 5},
      {"pcx header", Pcx128(), nullptr, false, 4},
      {"pcx version 6", [] { Bytes b = Pcx128(); b[1] = 6; return b; }(), nullptr, false, 0},
      {"jpeg after 149 bytes", Cat(Bytes(149, 0), Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0}), nullptr, false, 3},
      {"jpeg after 150 bytes", Cat(Bytes(150, 0), Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 0}), nullptr, false, 0},
      {"nothing", Bytes(300, 7), nullptr, false, 0},
  };
}

TEST(ContentDetection, ProbesAndDetectionOverHandWrittenHeaders) {
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(c.Name);
    // At the start of a stream and behind other data.
    for (size_t lead : {size_t(0), size_t(5)}) {
      Bytes data = Cat(Bytes(lead, 0x20), c.Data);
      TVXMemStream s(data.data(), int64_t(data.size()));
      s.SetPosition(int64_t(lead));
      if (c.Probe) {
        EXPECT_EQ(c.Probe(&s), c.ProbeResult) << "lead " << lead;
        EXPECT_EQ(s.Position(), int64_t(lead));
      }
      // "jpeg after" counts from the position, so a lead changes nothing.
      EXPECT_EQ(VXFindStreamFormat(&s), c.Detected) << "lead " << lead;
      EXPECT_EQ(s.Position(), int64_t(lead));
    }
  }
}

TEST(ContentDetection, NoStreamOfTwelveBytesIsAStreamHeader) {
  for (const char* tag : {"JFIF", "PCX2", "TIFF"}) {
    Bytes b(12, 0);
    for (int i = 0; i < 4; ++i) b[size_t(i)] = uint8_t(tag[i]);
    TVXMemStream twelve(b.data(), 12);
    EXPECT_EQ(VXFindStreamFormat(&twelve), 0) << tag;
    b.push_back(0);
    TVXMemStream thirteen(b.data(), 13);
    EXPECT_NE(VXFindStreamFormat(&thirteen), 0) << tag;
  }
  // Fewer bytes than a test reads never match, also at the end of a long stream.
  Bytes tail = Cat(Bytes(300, 7), Bytes{'J', 'F', 'I', 'F', 0});
  TVXMemStream s(tail.data(), int64_t(tail.size()));
  s.SetPosition(300);
  EXPECT_EQ(VXFindStreamFormat(&s), 0);
}

TEST(ContentDetection, JpegStartOfImageSearch) {
  Bytes b = Cat(Bytes(10, 0), Bytes{0xFF, 0xD8, 0xFF, 0xDB});
  TVXMemStream s(b.data(), int64_t(b.size()));
  s.SetPosition(9);
  EXPECT_EQ(VXFindJpegSOI(&s, false), -1);
  EXPECT_EQ(VXFindJpegSOI(&s, true), 10);
  EXPECT_EQ(s.Position(), 9);
  s.SetPosition(10);
  EXPECT_EQ(VXFindJpegSOI(&s, false), 0);
  s.SetPosition(11);
  EXPECT_EQ(VXFindJpegSOI(&s, true), -1);
  // Offsets 0 .. 149 from the position.
  Bytes far = Cat(Bytes(160, 0), Bytes{0xFF, 0xD8, 0xFF});
  TVXMemStream f(far.data(), int64_t(far.size()));
  f.SetPosition(11);
  EXPECT_EQ(VXFindJpegSOI(&f, true), 160);
  f.SetPosition(10);
  EXPECT_EQ(VXFindJpegSOI(&f, true), -1);
  EXPECT_EQ(VXFindJpegSOI(nullptr, true), -1);
}

// A stream whose reads fail.
class TFailingStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { throw EReadError("Stream read error"); }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    if (Origin == soBeginning) fPos = Offset;
    if (Origin == soCurrent) fPos += Offset;
    if (Origin == soEnd) fPos = 1000 - Offset;
    return fPos;
  }
  int64_t Size() override { return 1000; }
  int64_t fPos = 0;
};

TEST(ContentDetection, AFailingStreamIsUnknownAndKeepsItsPosition) {
  TFailingStream s;
  s.SetPosition(17);
  EXPECT_EQ(VXFindStreamFormat(&s), 0);
  EXPECT_EQ(s.Position(), 17);
  for (auto probe : {&VXIsICOStream, &VXIsPXMStream, &VXIsDCXStream, &VXIsTGAStream, &VXIsWMFStream,
                     &VXIsEMFStream, &VXIsDicomStream, &VXIsJP2Stream, &VXIsPSDStream, &VXIsAVIStream}) {
    EXPECT_FALSE(probe(&s));
    EXPECT_EQ(s.Position(), 17);
  }
  EXPECT_EQ(VXFindStreamFormat(nullptr), 0);
}

// A plug-in's try function runs after the probes, from the detection's start.
int64_t gTriedAt = -1;
bool TryMagic(TStream* s, int32_t type) {
  gTriedAt = s->Position();
  char m[4] = {};
  return type == 9001 && s->Read(m, 4) == 4 && std::string(m, 4) == "MAGI";
}

TEST(ContentDetection, RegisteredTryFunctionsComeAfterTheBuiltInTests) {
  VXRegisterBuiltInFileFormats();
  VXRegisterFileFormat(new TVXFileFormatInfo(9001, "Magic", "MAG", "", false, 0, nullptr, nullptr, &TryMagic));
  Bytes b = Cat(Bytes(3, 1), Cat(Text("MAGI"), Bytes(30)));
  TVXMemStream s(b.data(), int64_t(b.size()));
  s.SetPosition(3);
  EXPECT_EQ(VXFindStreamFormat(&s), 9001);
  EXPECT_EQ(gTriedAt, 3);
  EXPECT_EQ(s.Position(), 3);
  // A built-in format is decided before the try functions run.
  Bytes gif = Cat(Text("GIF89a"), Bytes(10));
  TVXMemStream g(gif.data(), int64_t(gif.size()));
  gTriedAt = -1;
  EXPECT_EQ(VXFindStreamFormat(&g), 2);
  EXPECT_EQ(gTriedAt, -1);
  VXRegisterBuiltInFileFormats();
}

}  // namespace

namespace {

// Codec records whose probes detection asks: a fake TIFF codec ("II*\0"), a
// fake camera-raw glue ("CRAW", and TIFFs with "RAW!" at byte 8) and a fake
// HD Photo probe ("II\xBC\x01").
bool HasHead(TStream* s, const char* head, size_t at = 0) {
  const int64_t pos = s->Position();
  char buf[16] = {};
  s->SetPosition(pos + int64_t(at));
  const bool ok = s->Read(buf, 4) == 4 && std::memcmp(buf, head, 4) == 0;
  s->SetPosition(pos);
  return ok;
}
bool FakeIsTIFF(TStream* s) { return HasHead(s, "II*\0"); }
bool FakeIsRawTIFF(TStream* s) { return FakeIsTIFF(s) && HasHead(s, "RAW!", 8); }
// The raw decoder knows its own files and the raw TIFFs.
bool FakeIsRaw(TStream* s) { return HasHead(s, "CRAW") || FakeIsRawTIFF(s); }
bool FakeIsHDPhoto(TStream* s) { return HasHead(s, "II\xBC\x01"); }

class CodecProbes : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int32_t t : {1, 20, 29})
      if (const TVXCodecOps* ops = VXFindCodecOps(t)) fSaved.push_back({t, *ops});
    TVXCodecOps tiff, raw, hdp;
    tiff.IsStream = &FakeIsTIFF;
    raw.IsStream = &FakeIsRaw;
    raw.IsTIFFVariant = &FakeIsRawTIFF;
    hdp.IsStream = &FakeIsHDPhoto;
    VXSetCodecOps(1, tiff);
    VXSetCodecOps(20, raw);
    VXSetCodecOps(29, hdp);
    VXRegisterBuiltInFileFormats();
  }
  void TearDown() override {
    for (int32_t t : {1, 20, 29}) VXSetCodecOps(t, TVXCodecOps{});
    for (const auto& [t, ops] : fSaved) VXSetCodecOps(t, ops);
  }
  std::vector<std::pair<int32_t, TVXCodecOps>> fSaved;
};

TEST_F(CodecProbes, DetectionAsksTheCodecRecordsInItsOrder) {
  struct {
    const char* Name;
    Bytes Data;
    int32_t Expected;
  } cases[] = {
      {"tiff", Cat(Bytes{'I', 'I', '*', 0, 8, 0, 0, 0}, Bytes(30)), 1},
      // A raw TIFF is no TIFF; the camera-raw probe at the end takes it.
      {"raw tiff", Cat(Bytes{'I', 'I', '*', 0, 8, 0, 0, 0, 'R', 'A', 'W', '!'}, Bytes(30)), 20},
      {"hd photo", Cat(Bytes{'I', 'I', 0xBC, 0x01, 8, 0, 0, 0}, Bytes(30)), 29},
      // The camera-raw probe comes last, after the JPEG search.
      {"camera raw", Cat(Text("CRAW"), Bytes(30)), 20},
      {"camera raw with a jpeg preview", Cat(Text("CRAW"), Cat(Bytes(20), Bytes{0xFF, 0xD8, 0xFF, 0xE1})), 3},
  };
  for (const auto& c : cases) {
    TVXMemStream s(c.Data.data(), int64_t(c.Data.size()));
    EXPECT_EQ(VXFindStreamFormat(&s), c.Expected) << c.Name;
    EXPECT_EQ(s.Position(), 0) << c.Name;
  }
}

TEST_F(CodecProbes, ATIFFNamedAsCameraRawIsCameraRaw) {
  char tmpl[] = "/tmp/vx-probes-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const Bytes tiff = Cat(Bytes{'I', 'I', '*', 0, 8, 0, 0, 0}, Bytes(30));
  for (const char* name : {"/photo.cr2", "/photo.tif", "/photo.png"}) {
    FILE* f = std::fopen((dir + name).c_str(), "wb");
    std::fwrite(tiff.data(), 1, tiff.size(), f);
    std::fclose(f);
  }
  EXPECT_EQ(VXFindFileFormat(dir + "/photo.cr2", false), 20);
  EXPECT_EQ(VXFindFileFormat(dir + "/photo.cr2", true), 20);
  EXPECT_EQ(VXFindFileFormat(dir + "/photo.tif", true), 1);
  EXPECT_EQ(VXFindFileFormat(dir + "/photo.png", true), 0);
  EXPECT_EQ(VXFindFileFormat(dir + "/photo.png", false), 1);
  for (const char* name : {"/photo.cr2", "/photo.tif", "/photo.png"}) std::remove((dir + name).c_str());
  rmdir(dir.c_str());
}

}  // namespace

namespace {

TEST(ContentDetection, ThePortableBitmapProbeReadsABoundedHeader) {
  // Long words and comments are not collected; the probe stops after the
  // first MiB.
  Bytes longWord = Cat(Text("P"), Bytes(200000, 'A'));
  Bytes longComment = Cat(Text("P2\n#"), Cat(Bytes(100000, 'c'), Text("\n4 4 255\n")));
  Bytes beyond = Cat(Text("P2\n#"), Cat(Bytes(size_t(1) << 20, 'c'), Text("\n4 4 255\n")));
  Bytes manyComments;
  for (int i = 0; i < 600; ++i) manyComments.insert(manyComments.end(), {'#', '\n'});
  manyComments = Cat(Cat(Text("P5\n"), manyComments), Text("4 4 255\n"));
  struct {
    const char* Name;
    const Bytes& Data;
    bool Expected;
  } cases[] = {{"long word", longWord, false},
               {"long comment", longComment, true},
               {"header beyond the first MiB", beyond, false},
               {"more than 500 tokens before the size", manyComments, false}};
  for (const auto& c : cases) {
    TVXMemStream s(c.Data.data(), int64_t(c.Data.size()));
    EXPECT_EQ(VXIsPXMStream(&s), c.Expected) << c.Name;
    EXPECT_EQ(s.Position(), 0) << c.Name;
  }
}

}  // namespace
