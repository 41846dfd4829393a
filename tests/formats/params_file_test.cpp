// The binary parameter file: round trips of version 52, streams of older
// versions built byte by byte, and damaged streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/dictionary.h"
#include "core/icc.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "io/annotations.h"
#include "io/dicomtags.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"
#include "tests/core/library_environment.h"
#include "tests/core/runtime_test_util.h"

VX_START_LIBRARY_FOR_TESTS();

namespace {

std::vector<uint8_t> Saved(TIOParamsVals& P) {
  TMemoryStream ms;
  P.SaveToStream(ms);
  const uint8_t* m = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(m, m + ms.Size());
}

// Loads Bytes into P; the stream position afterwards.
int64_t Load(TIOParamsVals& P, const std::vector<uint8_t>& Bytes) {
  TVXMemStream ms(Bytes.data(), int64_t(Bytes.size()));
  P.LoadFromStream(ms);
  return ms.Position();
}

std::string ErrorOf(TIOParamsVals& P, const std::vector<uint8_t>& Bytes) {
  try {
    Load(P, Bytes);
  } catch (const EVXException& e) {
    return e.what();
  }
  return "";
}

TEST(ParamsFile, DefaultsRoundTripAndVersionIs52) {
  TIOParamsVals a;
  const std::vector<uint8_t> b = Saved(a);
  ASSERT_GE(b.size(), 4u);
  EXPECT_EQ(b[0], 52);
  EXPECT_EQ(b[1] | b[2] | b[3], 0);
  TIOParamsVals c;
  EXPECT_EQ(Load(c, b), int64_t(b.size()));
  // A fresh object ends with the one transfer-syntax tag.
  ASSERT_EQ(c.DICOM_Tags().Count(), 1);
  EXPECT_EQ(c.DICOM_Tags().GetTagString(0x0002, 0x0010), "1.2.840.10008.1.2.1");
  EXPECT_EQ(c.DICOM_Tags().GetTag(0)->DataLen, 20);
  EXPECT_EQ(Saved(c), b);
}

TEST(ParamsFile, WritingCreatesTheProfilesWithAnSRGBOutputProfile) {
  TIOParamsVals p;
  ASSERT_EQ(p.fOutputICC, nullptr);
  ASSERT_EQ(p.fImagingAnnot, nullptr);
  Saved(p);
  ASSERT_NE(p.fOutputICC, nullptr);
  ASSERT_NE(p.fInputICC, nullptr);
  ASSERT_NE(p.fDefaultICC, nullptr);
  EXPECT_NE(p.fImagingAnnot, nullptr);
  TVXICC srgb;
  srgb.Assign_sRGBProfile();
  EXPECT_EQ(p.fOutputICC->IsValid(), srgb.IsValid());
  EXPECT_FALSE(p.fInputICC->IsValid());
}

TEST(ParamsFile, AtAnOffsetWithASentinelAndTwoSetsInSequence) {
  TIOParamsVals a, b;
  a.SetJPEG_Quality(33);
  a.SetFileName("first.jpg");
  b.SetJPEG_Quality(66);
  b.SetFileName("second.png");
  TMemoryStream ms;
  const char junk[7] = {'j', 'u', 'n', 'k', 1, 2, 3};
  ms.WriteBuffer(junk, 7);
  a.SaveToStream(ms);
  const int64_t second = ms.Position();
  b.SaveToStream(ms);
  const int64_t sentinel = ms.Position();
  ms.WriteBuffer("SENTINEL", 8);

  ms.SetPosition(7);
  TIOParamsVals x, y;
  x.LoadFromStream(ms);
  EXPECT_EQ(ms.Position(), second);
  y.LoadFromStream(ms);
  EXPECT_EQ(ms.Position(), sentinel);
  EXPECT_EQ(x.JPEG_Quality(), 33);
  EXPECT_EQ(x.FileName(), "first.jpg");
  EXPECT_EQ(y.JPEG_Quality(), 66);
  EXPECT_EQ(y.FileName(), "second.png");
}

TEST(ParamsFile, VersionsOutsideTheRangeAreRefusedAndChangeNothing) {
  TIOParamsVals src;
  std::vector<uint8_t> b = Saved(src);
  for (int32_t v : {53, -1, 1000}) {
    SCOPED_TRACE(v);
    std::memcpy(b.data(), &v, 4);  // little-endian machine
    TIOParamsVals p;
    p.Dict().Insert("kept", 5);
    p.SetJPEG_Quality(12);
    EXPECT_EQ(ErrorOf(p, b), "Unsupported parameter file version");
    EXPECT_TRUE(p.Dict().HasKey("kept", false));
    EXPECT_EQ(p.JPEG_Quality(), 12);
  }
}

TEST(ParamsFile, EveryPrefixRaisesCleanly) {
  TIOParamsVals src;
  src.SetFileName("prefix.tif");
  src.JPEG_MarkerList().AddMarker(0xE1, "abc", 3);
  src.IPTC_Info().AddStringItem(2, 120, "caption");
  src.GIF_Comments().push_back("comment");
  const std::vector<uint8_t> b = Saved(src);
  for (size_t n = 0; n < b.size(); ++n) {
    const std::vector<uint8_t> cut(b.begin(), b.begin() + int64_t(n));
    TIOParamsVals p;
    EXPECT_EQ(ErrorOf(p, cut), "Damaged parameter stream") << "prefix of " << n << " bytes";
  }
}

}  // namespace
