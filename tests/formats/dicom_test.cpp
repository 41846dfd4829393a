// DICOM reading: the dictionary against pydicom's; pictures written by
// pydicom and turned into every transfer syntax by dcmtk, read as pydicom
// reads dcmtk's decompressed files; the top-level tags as dcmdump lists them;
// hand-built data sets for the element rules; the range and MONOCHROME1
// steps against their worked values and a numpy evaluation; damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../codecs/jpeg_test_util.h"
#include "dicom_test_util.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/dicom.h"
#include "io/dicomtags.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/core/library_environment.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

using jpegtest::HaveTool;
using jpegtest::ReadFile;
using jpegtest::ScratchDir;
using jpegtest::Shell;
using jpegtest::WriteFile;
using namespace dicomtest;

struct TLoaded {
  TVXBitmap Bitmap;
  std::unique_ptr<TVexlaneIO> IO;
  bool Ok = false;
};

void Load(const std::string& Path, TLoaded& Out, int32_t Index = 0, TVXDicomRange Range = vxdrSetBlackWhite) {
  Out.IO = TVexlaneIO::CreateFromBitmap(&Out.Bitmap);
  Out.IO->Params().SetDICOM_Range(Range);
  Out.IO->Params().SetImageIndex(Index);
  Out.Ok = Out.IO->LoadFromFileDICOM(Path);
}

// Largest difference between the bitmap and the oracle's samples.
int64_t Worst(TVXBitmap& B, const TSamples& S) {
  if (B.Width() != S.W || B.Height() != S.H) return -1;
  int64_t worst = 0;
  for (int y = 0; y < S.H; ++y)
    for (int x = 0; x < S.W; ++x)
      for (int c = 0; c < S.Samples; ++c)
        worst = std::max(worst, std::abs(int64_t(Sample(B, x, y, c)) - int64_t(S.At(x, y, c))));
  return worst;
}

// Fixtures made once: pydicom's pictures and dcmtk's conversions.
class DicomFiles : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveOracles()) return;
    dir = new ScratchDir();
    const std::string d = (*dir) / "";
    Shell(kPython + " " + kOracle + " make " + d);
    const char* conversions[][3] = {
        {"dcmconv +ti", "grey8", "grey8_implicit"},     {"dcmconv +tb", "grey8", "grey8_bigendian"},
        {"dcmconv +ti", "grey16", "grey16_implicit"},   {"dcmconv +tb", "grey16", "grey16_bigendian"},
        {"dcmconv +ti", "rgb", "rgb_implicit"},         {"dcmcrle", "grey8", "grey8_rle"},
        {"dcmcrle", "grey16", "grey16_rle"},            {"dcmcrle", "rgb", "rgb_rle"},
        {"dcmcrle", "ybr", "ybr_rle"},                  {"dcmcrle", "palette", "palette_rle"},
        {"dcmcrle +ot", "multi", "multi_rle_table"},    {"dcmcrle -ot", "multi", "multi_rle_notable"},
        {"dcmcjpeg +eb", "grey8", "grey8_jpeg"},        {"dcmcjpeg +eb", "rgb", "rgb_jpeg"},
        {"dcmcjpeg +eb +cr", "rgb", "rgb_jpeg_rgb"},
        {"dcmcjpeg +e1", "grey16", "grey16_ls1"},       {"dcmcjpeg +el", "grey8", "grey8_ls"},
        {"dcmcjpeg +e1", "rgb", "rgb_ls1"},             {"dcmcjpeg +e1 +ot", "multi", "multi_ls_table"},
        {"dcmcjpeg +e1 -ot", "multi", "multi_ls_notable"},
    };
    for (auto& c : conversions)
      Shell(std::string("/usr/bin/") + c[0] + " " + d + c[1] + ".dcm " + d + c[2] + ".dcm");
    for (const char* f : {"grey8", "grey16", "rgb"})
      Shell(kPython + " " + kOracle + " j2k " + d + f + ".dcm " + d + f + "_j2k.dcm 1.2.840.10008.1.2.4.91");
    Shell(kPython + " " + kOracle + " j2k " + d + "grey8.dcm " + d + "grey8_j2k90.dcm 1.2.840.10008.1.2.4.90");
    // RGB frames whose JPEG data carry no marker of their colour space.
    Shell(kPython + " " + kOracle + " bare-jpeg " + d + "rgb_jpeg_rgb.dcm " + d + "rgb_jpeg_bare.dcm");
    // Baseline JPEG is lossy: the reference is dcmtk's own decoding.
    for (const char* f : {"grey8_jpeg", "rgb_jpeg", "rgb_jpeg_rgb"})
      Shell(std::string("/usr/bin/dcmdjpeg ") + d + f + ".dcm " + d + f + "_ref.dcm");
  }
  static void TearDownTestSuite() {
    delete dir;
    dir = nullptr;
  }
  static std::string Path(const std::string& Name) { return (*dir) / (Name + ".dcm"); }
  static ScratchDir* dir;
};
ScratchDir* DicomFiles::dir = nullptr;

// ---- hand-built data sets ---------------------------------------------------

struct TBuilder {
  std::vector<uint8_t> D;
  bool Little = true;
  void U16(uint32_t v) {
    if (Little) D.insert(D.end(), {uint8_t(v), uint8_t(v >> 8)});
    else D.insert(D.end(), {uint8_t(v >> 8), uint8_t(v)});
  }
  void U32(uint32_t v) {
    if (Little) { U16(v & 0xFFFF); U16(v >> 16); }
    else { U16(v >> 16); U16(v & 0xFFFF); }
  }
  void Tag(uint16_t g, uint16_t e) { U16(g); U16(e); }
  void Bytes(const std::string& s) { D.insert(D.end(), s.begin(), s.end()); }
  void Bytes(const std::vector<uint8_t>& v) { D.insert(D.end(), v.begin(), v.end()); }
  // Explicit element with a 16-bit length (or the long form).
  void Explicit(uint16_t g, uint16_t e, const char* vr, const std::vector<uint8_t>& value, bool longForm = false) {
    Tag(g, e);
    Bytes(vr);
    if (longForm) { U16(0); U32(uint32_t(value.size())); }
    else U16(uint32_t(value.size()));
    Bytes(value);
  }
  void Implicit(uint16_t g, uint16_t e, const std::vector<uint8_t>& value) {
    Tag(g, e);
    U32(uint32_t(value.size()));
    Bytes(value);
  }
  std::vector<uint8_t> US(uint16_t v) const {
    return Little ? std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)} : std::vector<uint8_t>{uint8_t(v >> 8), uint8_t(v)};
  }
  static std::vector<uint8_t> Text(const std::string& s) {
    std::vector<uint8_t> v(s.begin(), s.end());
    if (v.size() % 2) v.push_back(' ');
    return v;
  }
  void Preamble() {
    D.assign(128, 0);
    Bytes("DICM");
  }
  void Meta(const std::string& Syntax) {
    Explicit(0x0002, 0x0010, "UI", Text(Syntax));
  }
};

// An 8-bit grey image of W x H with Frames frames (value = x + 10 y + 50 f),
// the image elements written explicit unless Implicit.
std::vector<uint8_t> GreyFile(int W, int H, int Frames, const std::string& FrameText, bool Implicit = false,
                              bool BigEndian = false) {
  TBuilder b;
  b.Preamble();
  b.Meta(BigEndian ? "1.2.840.10008.1.2.2" : "1.2.840.10008.1.2.1");
  b.Little = !BigEndian;
  auto el = [&](uint16_t g, uint16_t e, const char* vr, const std::vector<uint8_t>& v) {
    if (Implicit) b.Implicit(g, e, v);
    else b.Explicit(g, e, vr, v);
  };
  el(0x0028, 0x0002, "US", b.US(1));
  el(0x0028, 0x0004, "CS", TBuilder::Text("MONOCHROME2"));
  if (!FrameText.empty()) el(0x0028, 0x0008, "IS", TBuilder::Text(FrameText));
  el(0x0028, 0x0010, "US", b.US(uint16_t(H)));
  el(0x0028, 0x0011, "US", b.US(uint16_t(W)));
  el(0x0028, 0x0100, "US", b.US(8));
  el(0x0028, 0x0101, "US", b.US(8));
  el(0x0028, 0x0103, "US", b.US(0));
  std::vector<uint8_t> pixels;
  for (int f = 0; f < Frames; ++f)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) pixels.push_back(uint8_t(x + 10 * y + 50 * f));
  if (pixels.size() % 2) pixels.push_back(0);
  b.Explicit(0x7FE0, 0x0010, "OB", pixels, true);
  return b.D;
}

struct TRead {
  TVXBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  bool Aborting = false;
};

void ReadBytes(const std::vector<uint8_t>& Bytes, TRead& Out, int32_t Index = 0, TVXDicomRange Range = vxdrSetBlackWhite) {
  TVXMemStream s(Bytes.data(), int64_t(Bytes.size()));
  TProgressRec progress;
  progress.Aborting = &Out.Aborting;
  Out.Params.SetDICOM_Range(Range);
  Out.Params.SetImageIndex(Index);
  VXReadDicomStream(&s, Out.Params, &Out.Bitmap, false, progress);
}

TVXDicomTagType MappedVR(const std::string& VR) {
  if (VR.find("_or_") != std::string::npos) return dvUSorSS;
  if (VR == "NONE") return dvUnknown;
  if (VR == "UC") return dvUT;
  if (VR == "OD" || VR == "OL" || VR == "OV" || VR == "SV" || VR == "UV") return dvUN;
  return VXDicomVRFromString(VR);
}

}  // namespace

TEST(DicomDictionary, EveryRowOfPydicomsDictionary) {
  if (!HaveTool(kPython) || Shell(kPython + " -c 'import pydicom'") != 0) GTEST_SKIP() << "pydicom missing";
  std::istringstream rows(Capture(kPython + " " + kOracle + " dict"));
  std::string line;
  int n = 0;
  while (std::getline(rows, line)) {
    unsigned g = 0, e = 0, retired = 0;
    char vr[32] = {};
    int used = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%x %x %31s %u %n", &g, &e, vr, &retired, &used), 4) << line;
    const std::string name = line.substr(size_t(used));
    const TVXDicomDictEntry* d = VXFindDicomDictEntry(uint16_t(g), uint16_t(e));
    ASSERT_NE(d, nullptr) << line;
    EXPECT_EQ(d->Description, name) << line;
    EXPECT_EQ(d->VR, MappedVR(vr)) << line;
    EXPECT_EQ(d->Source, retired ? dsDeprecated : dsStandard) << line;
    ++n;
  }
  EXPECT_GT(n, 4900);
  const TVXDicomDictEntry* overlay = VXFindDicomDictEntry(0x6002, 0x3000);
  ASSERT_NE(overlay, nullptr);
  EXPECT_STREQ(overlay->Description, "Overlay Data");
  const TVXDicomDictEntry* sentinel = VXFindDicomDictEntry(0xFFFF, 0xFFFF);
  ASSERT_NE(sentinel, nullptr);
  EXPECT_STREQ(sentinel->Description, "");
  EXPECT_EQ(sentinel->VR, dvUSorSS);
  EXPECT_EQ(sentinel->Source, dsProprietary);
}

TEST_F(DicomFiles, EveryTransferSyntaxReadsAsPydicomReadsDcmtksOutput) {
  REQUIRE_ORACLES();
  struct Case {
    const char* File;
    const char* Reference;  // whose pixel_array is the answer
    int Frame;
    int Tolerance;
    TVXPixelFormat Format;
  } cases[] = {
      {"grey8", "grey8", 0, 0, vx8g},
      {"grey8_implicit", "grey8", 0, 0, vx8g},
      {"grey8_bigendian", "grey8", 0, 0, vx8g},
      {"grey8_rle", "grey8", 0, 0, vx8g},
      {"grey8_jpeg", "grey8_jpeg_ref", 0, 2, vx8g},
      {"grey8_ls", "grey8", 0, 0, vx8g},
      {"grey16", "grey16", 0, 0, vx16g},
      {"grey16_implicit", "grey16", 0, 0, vx16g},
      {"grey16_bigendian", "grey16", 0, 0, vx16g},
      {"grey16_rle", "grey16", 0, 0, vx16g},
      {"grey16_ls1", "grey16", 0, 0, vx16g},
      {"packed12", "packed12", 0, 0, vx16g},
      {"rgb", "rgb", 0, 0, vx24RGB},
      {"rgb_planar", "rgb", 0, 0, vx24RGB},
      {"rgb_implicit", "rgb", 0, 0, vx24RGB},
      {"rgb_rle", "rgb", 0, 0, vx24RGB},
      {"rgb_jpeg", "rgb_jpeg_ref", 0, 2, vx24RGB},
      // Stored as RGB (photometric interpretation RGB, no colour transform),
      // with an Adobe marker that says so and without any marker.
      {"rgb_jpeg_rgb", "rgb_jpeg_rgb_ref", 0, 2, vx24RGB},
      {"rgb_jpeg_bare", "rgb_jpeg_rgb_ref", 0, 2, vx24RGB},
      {"rgb_ls1", "rgb", 0, 0, vx24RGB},
      {"ybr_rle", "ybr", 0, 1, vx24RGB},
      {"palette", "palette", 0, 0, vx24RGB},
      {"palette_rle", "palette", 0, 0, vx24RGB},
      {"multi", "multi", 1, 0, vx8g},
      {"multi_rle_table", "multi", 2, 0, vx8g},
      {"multi_rle_notable", "multi", 2, 0, vx8g},
      {"multi_ls_table", "multi", 1, 0, vx8g},
      {"multi_ls_notable", "multi", 2, 0, vx8g},
      {"grey8_j2k", "grey8", 0, 0, vx8g},
      {"grey8_j2k90", "grey8", 0, 0, vx8g},
      {"grey16_j2k", "grey16", 0, 0, vx16g},
      {"rgb_j2k", "rgb", 0, 0, vx24RGB},
  };
  std::string args;
  for (size_t i = 0; i < std::size(cases); ++i)
    args += " " + Path(cases[i].Reference) + " " + std::to_string(cases[i].Frame) + " " + (*dir) / ("ref" + std::to_string(i));
  ASSERT_EQ(Shell(kPython + " " + kOracle + " pixels" + args), 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.File);
    TLoaded got;
    Load(Path(c.File), got, c.Frame);
    ASSERT_TRUE(got.Ok);
    EXPECT_EQ(got.IO->Params().FileType(), 28);
    EXPECT_EQ(got.Bitmap.PixelFormat(), c.Format);
    const TSamples want = ReadSamples((*dir) / ("ref" + std::to_string(i)));
    const int64_t worst = Worst(got.Bitmap, want);
    EXPECT_GE(worst, 0) << "size " << got.Bitmap.Width() << "x" << got.Bitmap.Height();
    EXPECT_LE(worst, c.Tolerance);
  }
}

TEST_F(DicomFiles, TopLevelTagsAsDcmdumpListsThem) {
  REQUIRE_ORACLES();
  for (const std::string& path : {Path("grey8"), Path("grey16_implicit"), Path("grey16_bigendian"), Path("rgb_rle"),
                                  kPydicomFiles + "/CT_small.dcm", kPydicomFiles + "/MR_small_implicit.dcm",
                                  kPydicomFiles + "/ExplVR_BigEnd.dcm"}) {
    SCOPED_TRACE(path);
    std::istringstream want(Capture(kPython + " " + kOracle + " tags " + path));
    TLoaded got;
    Load(path, got);
    TVXDicomTags& tags = got.IO->Params().DICOM_Tags();
    std::string line;
    int i = 0;
    while (std::getline(want, line)) {
      unsigned g, e;
      char vr[4];
      long length;
      ASSERT_EQ(std::sscanf(line.c_str(), "%x %x %3s %ld", &g, &e, vr, &length), 4);
      ASSERT_LT(i, tags.Count()) << line;
      const TVXDicomTag* t = tags.GetTag(i++);
      EXPECT_EQ(t->Group, g) << line;
      EXPECT_EQ(t->Element, e) << line;
      if (t->DataType != dvSQ) EXPECT_EQ(t->DataLen, length < 0 ? 0 : length) << line;
      if (t->DataType < dvUSorSS && t->DataType != dvUN && std::string(vr) != "UN" && std::string(vr) != "??")
        EXPECT_EQ(VXDicomVRToString(t->DataType), vr) << line;
    }
    EXPECT_EQ(i, tags.Count());
  }
}

TEST_F(DicomFiles, TheRangeStepsAsNumpyEvaluatesThem) {
  REQUIRE_ORACLES();
  // vxdrAdjust on CT with its window and, the window removed, without; on
  // 16-bit unsigned data with a slope.
  const std::string noWindow = (*dir) / "ct_nowindow.dcm", sloped = (*dir) / "grey16_sloped.dcm";
  ASSERT_EQ(Shell("cp " + Path("ct") + " " + noWindow + " && /usr/bin/dcmodify -nb -ea '(0028,1050)' -ea '(0028,1051)' " +
                  noWindow),
            0);
  ASSERT_EQ(Shell("cp " + Path("grey16") + " " + sloped + " && /usr/bin/dcmodify -nb -i '(0028,1053)=2.5' -i '(0028,1052)=-100' " + sloped), 0);
  struct Case {
    std::string File;
    int Signed;
    double Slope, Intercept, Center, Width;
  } cases[] = {
      {Path("ct"), 1, 1, -1024, 40, 400},
      {noWindow, 1, 1, -1024, 1e7, 1e7},
      {sloped, 0, 2.5, -100, 1e7, 1e7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    ASSERT_EQ(Shell(kPython + " " + kOracle + " pixels " + c.File + " 0 " + (*dir) / "stored"), 0);
    const TSamples stored = ReadSamples((*dir) / "stored");
    ASSERT_EQ(stored.Bytes, 2);
    WriteFile((*dir) / "stored.raw", stored.Data);
    char args[256];
    std::snprintf(args, sizeof args, " 16 %d %.17g %.17g %.17g %.17g 65535", c.Signed, c.Slope, c.Intercept, c.Center,
                  c.Width);
    ASSERT_EQ(Shell(kPython + " " + kOracle + " adjust " + (*dir) / "stored.raw " + (*dir) / "adjusted.raw" + args), 0);
    const std::vector<uint8_t> want = ReadFile((*dir) / "adjusted.raw");
    TLoaded got;
    Load(c.File, got, 0, vxdrAdjust);
    ASSERT_TRUE(got.Ok);
    ASSERT_EQ(got.Bitmap.PixelFormat(), vx16g);
    ASSERT_EQ(want.size(), size_t(got.Bitmap.Width()) * got.Bitmap.Height() * 2);
    for (int y = 0; y < got.Bitmap.Height(); ++y)
      for (int x = 0; x < got.Bitmap.Width(); ++x) {
        const size_t i = 2 * (size_t(y) * got.Bitmap.Width() + x);
        ASSERT_EQ(Sample(got.Bitmap, x, y, 0), uint32_t(want[i] | (want[i + 1] << 8))) << x << "," << y;
      }
  }
}

TEST(DicomRead, WorkedValuesOfTheRangeAndMonochrome1Steps) {
  // Window 40/400 on CT (slope 1, intercept -1024): stored 1004 is -20; with
  // samples at both ends of the window the stretch keeps every value.
  TBuilder b;
  b.Preamble();
  b.Meta("1.2.840.10008.1.2.1");
  b.Explicit(0x0028, 0x0002, "US", b.US(1));
  b.Explicit(0x0028, 0x0004, "CS", TBuilder::Text("MONOCHROME2"));
  b.Explicit(0x0028, 0x0010, "US", b.US(1));
  b.Explicit(0x0028, 0x0011, "US", b.US(3));
  b.Explicit(0x0028, 0x0100, "US", b.US(16));
  b.Explicit(0x0028, 0x0101, "US", b.US(16));
  b.Explicit(0x0028, 0x0103, "US", b.US(1));
  b.Explicit(0x0028, 0x1050, "DS", TBuilder::Text("40\\400"));
  b.Explicit(0x0028, 0x1051, "DS", TBuilder::Text("400"));
  b.Explicit(0x0028, 0x1052, "DS", TBuilder::Text("-1024"));
  b.Explicit(0x0028, 0x1053, "DS", TBuilder::Text("1"));
  b.Explicit(0x7FE0, 0x0010, "OW", {0, 0, 0xEC, 0x03, 0xFF, 0x7F}, true);  // 0, 1004, 32767
  TRead ct;
  ReadBytes(b.D, ct, 0, vxdrAdjust);
  ASSERT_FALSE(ct.Aborting);
  ASSERT_EQ(ct.Bitmap.PixelFormat(), vx16g);
  EXPECT_EQ(Sample(ct.Bitmap, 0, 0, 0), 0u);
  EXPECT_EQ(Sample(ct.Bitmap, 1, 0, 0), uint32_t(std::trunc(((-20 - 39.5) / 399 + 0.5) * 65535)));
  EXPECT_EQ(Sample(ct.Bitmap, 2, 0, 0), 65535u);

  // MONOCHROME1 at 12 bits under vxdrSetBlackWhite: 0 becomes 4095.
  TBuilder m;
  m.Preamble();
  m.Meta("1.2.840.10008.1.2.1");
  m.Explicit(0x0028, 0x0002, "US", m.US(1));
  m.Explicit(0x0028, 0x0004, "CS", TBuilder::Text("MONOCHROME1"));
  m.Explicit(0x0028, 0x0010, "US", m.US(1));
  m.Explicit(0x0028, 0x0011, "US", m.US(2));
  m.Explicit(0x0028, 0x0100, "US", m.US(16));
  m.Explicit(0x0028, 0x0101, "US", m.US(12));
  m.Explicit(0x7FE0, 0x0010, "OW", {0, 0, 0xFF, 0x0F}, true);
  TRead mono;
  ReadBytes(m.D, mono);
  ASSERT_EQ(mono.Bitmap.PixelFormat(), vx16g);
  EXPECT_EQ(Sample(mono.Bitmap, 0, 0, 0), 4095u);
  EXPECT_EQ(Sample(mono.Bitmap, 1, 0, 0), 0u);
}

TEST(DicomRead, ElementRulesAndFrameChoice) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    int32_t Index;
    int32_t Frames;      // expected ImageCount
    int32_t FirstPixel;  // expected sample (0,0), -1: no image
  };
  // No preamble: the data set from the first byte, implicit.
  std::vector<uint8_t> bare = GreyFile(3, 2, 1, "", true);
  bare.erase(bare.begin(), bare.begin() + 132 + 8 + 20);  // preamble, "DICM" and the meta element
  // Big-endian data set after a little-endian meta group.
  std::vector<uint8_t> big = GreyFile(3, 2, 1, "", false, true);
  // An element of a newer long-form code (UC) between the image elements.
  std::vector<uint8_t> newer = GreyFile(3, 2, 1, "");
  {
    TBuilder uc;
    uc.Explicit(0x0018, 0x9938, "UC", TBuilder::Text("long text value"), true);
    newer.insert(newer.begin() + 132 + 28, uc.D.begin(), uc.D.end());
  }
  Case cases[] = {
      {"explicit", GreyFile(3, 2, 1, ""), 0, 1, 0},
      {"implicit data set", GreyFile(3, 2, 1, "", true), 0, 1, 0},
      {"no preamble", bare, 0, 1, 0},
      {"big-endian", big, 0, 1, 0},
      {"newer code", newer, 0, 1, 0},
      {"\"3 \" frames", GreyFile(3, 2, 3, "3 "), 1, 3, 50},
      {"index beyond the frames", GreyFile(3, 2, 3, "3"), 5, 3, 100},
      {"unparsable count", GreyFile(3, 2, 1, "abc"), 0, 1, 0},
      {"count 0", GreyFile(3, 2, 1, "0"), 0, 1, 0},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TRead r;
    ReadBytes(c.Bytes, r, c.Index);
    EXPECT_FALSE(r.Aborting);
    EXPECT_EQ(r.Params.ImageCount(), c.Frames);
    ASSERT_EQ(r.Bitmap.Width(), 3);
    ASSERT_EQ(r.Bitmap.Height(), 2);
    EXPECT_EQ(Sample(r.Bitmap, 0, 0, 0), uint32_t(c.FirstPixel));
    EXPECT_EQ(Sample(r.Bitmap, 2, 1, 0), uint32_t(c.FirstPixel + 12));
  }
}

TEST(DicomRead, ADataSetWithoutPixelDataIsNoImage) {
  std::vector<uint8_t> bytes = GreyFile(3, 2, 1, "");
  bytes.resize(bytes.size() - 12 - 6);  // the pixel data element: its header and six samples
  TRead r;
  ReadBytes(bytes, r);
  EXPECT_TRUE(r.Aborting);
  EXPECT_TRUE(r.Bitmap.IsEmpty());
  // The tags are read all the same.
  EXPECT_EQ(r.Params.DICOM_Tags().GetTagString(0x0028, 0x0004), "MONOCHROME2 ");
  TVXBitmap bitmap;
  auto io = TVexlaneIO::CreateFromBitmap(&bitmap);
  TVXMemStream s(bytes.data(), int64_t(bytes.size()));
  EXPECT_FALSE(io->LoadFromStreamDICOM(&s));
  EXPECT_TRUE(io->Aborting());
}

TEST(DicomRead, SequencesAreReadWholeAndNestingIsBounded) {
  // A sequence of undefined length with three items (two of undefined
  // length, one nested sequence), then the image elements.
  TBuilder b;
  b.Preamble();
  b.Meta("1.2.840.10008.1.2.1");
  b.Tag(0x0008, 0x1140);
  b.Bytes("SQ");
  b.U16(0);
  b.U32(0xFFFFFFFF);
  for (int item = 0; item < 3; ++item) {
    b.Tag(0xFFFE, 0xE000);
    if (item == 1) {
      TBuilder inner;
      inner.Explicit(0x0008, 0x1150, "UI", TBuilder::Text("1.2.3"));
      inner.Tag(0x0008, 0x1199);
      inner.Bytes("SQ");
      inner.U16(0);
      inner.U32(0xFFFFFFFF);
      inner.Tag(0xFFFE, 0xE000);
      inner.U32(0xFFFFFFFF);
      inner.Explicit(0x0008, 0x1155, "UI", TBuilder::Text("4.5.6"));
      inner.Tag(0xFFFE, 0xE00D);
      inner.U32(0);
      inner.Tag(0xFFFE, 0xE0DD);
      inner.U32(0);
      b.U32(uint32_t(inner.D.size()));
      b.Bytes(inner.D);
    } else {
      b.U32(0xFFFFFFFF);
      b.Explicit(0x0008, 0x1150, "UI", TBuilder::Text("1.2." + std::to_string(item)));
      b.Tag(0xFFFE, 0xE00D);
      b.U32(0);
    }
  }
  b.Tag(0xFFFE, 0xE0DD);
  b.U32(0);
  std::vector<uint8_t> image = GreyFile(3, 2, 1, "");
  b.Bytes(std::vector<uint8_t>(image.begin() + 132 + 28, image.end()));
  TRead r;
  ReadBytes(b.D, r);
  EXPECT_FALSE(r.Aborting);
  TVXDicomTagChildren* items = r.Params.DICOM_Tags().GetTagChildren(0x0008, 0x1140);
  ASSERT_NE(items, nullptr);
  ASSERT_EQ(items->size(), 3u);
  EXPECT_EQ((*items)[2]->GetTagString(0x0008, 0x1150).substr(0, 5), "1.2.2");
  int32_t index = -1;
  EXPECT_NE(r.Params.DICOM_Tags().FindNestedTag(0x0008, 0x1155, static_cast<TVXDicomTags*>(nullptr), index), nullptr);
  EXPECT_EQ(r.Params.DICOM_Tags().GetTagNumeric(0x0028, 0x0011, 0), 3);
  EXPECT_EQ(r.Bitmap.Width(), 3);

  // Sequences nested far deeper than any file: read without a crash, the
  // depth bounded.
  TBuilder deep;
  deep.Preamble();
  deep.Meta("1.2.840.10008.1.2.1");
  for (int i = 0; i < 5000; ++i) {
    deep.Tag(0x0008, 0x1140);
    deep.Bytes("SQ");
    deep.U16(0);
    deep.U32(0xFFFFFFFF);
    deep.Tag(0xFFFE, 0xE000);
    deep.U32(0xFFFFFFFF);
  }
  TRead d;
  ReadBytes(deep.D, d);
  EXPECT_EQ(d.Bitmap.Width(), 0);

  // Sequences whose defined length covers only their item's header, the
  // item of undefined length without an end: what follows is read once, as
  // elements after the sequence, however deep the nesting (reading it once
  // inside the item and again after the sequence doubled the work per
  // level).
  TBuilder nested;
  nested.Preamble();
  nested.Meta("1.2.840.10008.1.2.1");
  constexpr int kDepth = 18;
  for (int i = 0; i < kDepth; ++i) {
    nested.Tag(0x0008, 0x1140);
    nested.Bytes("SQ");
    nested.U16(0);
    nested.U32(8);
    nested.Tag(0xFFFE, 0xE000);
    nested.U32(0xFFFFFFFF);
  }
  for (int i = 0; i < kDepth; ++i) nested.Explicit(0x0010, 0x0020, "LO", TBuilder::Text("ID"));
  TRead n;
  ReadBytes(nested.D, n);
  std::function<int(const TVXDicomTags&)> count = [&](const TVXDicomTags& List) {
    int c = List.Count();
    for (int32_t i = 0; i < List.Count(); ++i)
      if (const TVXDicomTagChildren* items = List.GetTagChildren(i))
        for (const auto& item : *items) c += count(*item);
    return c;
  };
  EXPECT_EQ(count(n.Params.DICOM_Tags()), 1 + 2 * kDepth);
}

TEST_F(DicomFiles, DamagedFilesLoadOrAbortCleanly) {
  REQUIRE_ORACLES();
  uint32_t seed = 1;
  for (const char* name : {"grey16", "rgb_rle", "grey8_jpeg", "multi_ls_notable", "palette", "packed12"}) {
    const std::vector<uint8_t> good = ReadFile(Path(name));
    ASSERT_GT(good.size(), 200u);
    for (size_t cut : {size_t(10), size_t(140), size_t(200), good.size() / 2, good.size() - 3}) {
      TRead r;
      ReadBytes(std::vector<uint8_t>(good.begin(), good.begin() + long(cut)), r);
    }
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> bad = good;
      for (int k = 0; k < 4; ++k) {
        seed = seed * 1664525u + 1013904223u;
        bad[132 + (seed >> 8) % (bad.size() - 132)] ^= uint8_t(1u << (seed % 8));
      }
      TRead r;
      ReadBytes(bad, r, int32_t(round % 3));
    }
  }
  // Absurd lengths keep no value and allocate nothing.
  TBuilder b;
  b.Preamble();
  b.Meta("1.2.840.10008.1.2.1");
  b.Tag(0x0010, 0x0010);
  b.Bytes("OB");
  b.U16(0);
  b.U32(0xFFFFFFF0);
  b.Bytes("tail");
  TRead r;
  ReadBytes(b.D, r);
  EXPECT_EQ(r.Bitmap.Width(), 0);
  EXPECT_EQ(r.Params.DICOM_Tags().GetTag(0x0010, 0x0010)->DataLen, 0);
}

TEST(DicomRead, RLEFramesLargerThanTheirDataCanHoldAreRefused) {
  // One PackBits segment of 8 literal samples; the header declares 4 x 2, or
  // a frame the fragment could not fill at PackBits' best (128 samples a
  // byte pair).
  struct TCase {
    uint16_t W, H;
    bool Loads;
  };
  for (const TCase& c : {TCase{4, 2, true}, TCase{40000, 40000, false}, TCase{4000, 2000, false}}) {
    SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
    TBuilder b;
    b.Preamble();
    b.Meta("1.2.840.10008.1.2.5");
    b.Explicit(0x0028, 0x0002, "US", b.US(1));
    b.Explicit(0x0028, 0x0004, "CS", TBuilder::Text("MONOCHROME2"));
    b.Explicit(0x0028, 0x0010, "US", b.US(c.H));
    b.Explicit(0x0028, 0x0011, "US", b.US(c.W));
    b.Explicit(0x0028, 0x0100, "US", b.US(8));
    b.Explicit(0x0028, 0x0101, "US", b.US(8));
    b.Tag(0x7FE0, 0x0010);
    b.Bytes("OB");
    b.U16(0);
    b.U32(0xFFFFFFFF);
    b.Tag(0xFFFE, 0xE000);  // empty offset table
    b.U32(0);
    std::vector<uint8_t> fragment(64, 0);
    fragment[0] = 1;   // one segment
    fragment[4] = 64;  // at 64
    fragment.insert(fragment.end(), {7, 10, 20, 30, 40, 50, 60, 70, 80});
    fragment.push_back(0);  // even length
    b.Tag(0xFFFE, 0xE000);
    b.U32(uint32_t(fragment.size()));
    b.Bytes(fragment);
    b.Tag(0xFFFE, 0xE0DD);
    b.U32(0);
    TRead r;
    ReadBytes(b.D, r);
    EXPECT_EQ(r.Aborting, !c.Loads);
    if (!c.Loads) {
      EXPECT_TRUE(r.Bitmap.IsEmpty());
      continue;
    }
    ASSERT_EQ(r.Bitmap.Width(), 4);
    ASSERT_EQ(r.Bitmap.Height(), 2);
    EXPECT_EQ(Sample(r.Bitmap, 0, 0, 0), 10u);
    EXPECT_EQ(Sample(r.Bitmap, 3, 1, 0), 80u);
  }
}

TEST(DicomRead, PydicomsSeriesAndTheFrameCounter) {
  if (!HaveOracles() || access((kPydicomFiles + "/dicomdirtests").c_str(), R_OK) != 0)
    GTEST_SKIP() << "pydicom's test files missing";
  const std::string list = Capture("find " + kPydicomFiles + "/dicomdirtests -type f ! -name 'DICOMDIR*' ! -name 'README*' | sort");
  std::istringstream files(list);
  std::vector<std::string> paths;
  std::string path;
  while (std::getline(files, path)) paths.push_back(path);
  ASSERT_GT(paths.size(), 30u);
  ScratchDir dir;
  std::string args;
  for (size_t i = 0; i < paths.size(); ++i) args += " " + paths[i] + " 0 " + dir / std::to_string(i);
  ASSERT_EQ(Shell(kPython + " " + kOracle + " pixels" + args), 0);
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    TLoaded got;
    Load(paths[i], got);
    const TSamples want = ReadSamples(dir / std::to_string(i));
    // A data set without pixel data holds no image: the load fails.
    EXPECT_EQ(got.Ok, want.W != 0);
    EXPECT_GT(got.IO->Params().DICOM_Tags().Count(), 0);
    if (want.W == 0) {
      EXPECT_TRUE(got.IO->Aborting());
      EXPECT_TRUE(got.Bitmap.IsEmpty());
      EXPECT_EQ(VXGetDicomFileImageCount(paths[i]), 0);
      continue;
    }
    // The stored samples as vxdrSetBlackWhite leaves them: signed ones moved
    // up by half the range, times the slope, MONOCHROME1 turned over.
    TIOParamsVals& p = got.IO->Params();
    const TVXDicomTags& tags = p.DICOM_Tags();
    const bool isSigned = tags.GetTagNumeric(0x0028, 0x0103, 0) == 1;
    const int bits = p.BitsPerSample();
    const bool mono1 = tags.GetTagString(0x0028, 0x0004).rfind("MONOCHROME1", 0) == 0;
    const int64_t top = want.Bytes == 2 ? 65535 : 255;
    ASSERT_EQ(got.Bitmap.Width(), want.W);
    ASSERT_EQ(got.Bitmap.Height(), want.H);
    for (int y = 0; y < want.H; ++y)
      for (int x = 0; x < want.W; ++x) {
        double v = want.At(x, y, 0);
        if (isSigned) v = (want.Bytes == 2 ? double(int16_t(v)) : double(int8_t(v))) + double(int64_t(1) << (bits - 1));
        int64_t e = std::clamp<int64_t>(int64_t(std::trunc(v * p.DICOM_RescaleSlope())), 0, top);
        if (mono1) e = want.Bytes == 2 ? std::clamp<int64_t>((int64_t(1) << bits) - e - 1, 0, top) : 255 - e;
        ASSERT_EQ(int64_t(Sample(got.Bitmap, x, y, 0)), e) << x << "," << y;
      }
    EXPECT_EQ(VXGetDicomFileImageCount(paths[i]), 1);
  }
  // Multi-frame files count their frames; a file cut inside its header counts 0.
  const std::string multi = kPydicomFiles + "/emri_small.dcm";
  if (access(multi.c_str(), R_OK) == 0) EXPECT_EQ(VXGetDicomFileImageCount(multi), 10);
  const std::vector<uint8_t> ct = ReadFile(kPydicomFiles + "/CT_small.dcm");
  WriteFile(dir / "cut.dcm", std::vector<uint8_t>(ct.begin(), ct.begin() + 300));
  EXPECT_EQ(VXGetDicomFileImageCount(dir / "cut.dcm"), 0);
  EXPECT_EQ(VXGetDicomFileImageCount(dir / "missing.dcm"), 0);
}
