// Metadata readers under the library's limits: the text kept per image and
// the size of one metadata block.
#include <gtest/gtest.h>

#include <cstring>

#include "core/icc.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/annotations.h"
#include "io/iptc.h"
#include "io/params.h"
#include "io/xmp.h"

namespace {

class MetaLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    s->SetMaxTextSize(10);
    s->SetMaxMetadataSize(100);
  }
  void TearDown() override {
    s->SetMaxTextSize(text);
    s->SetMaxMetadataSize(meta);
  }
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  int64_t text = s->MaxTextSize(), meta = s->MaxMetadataSize();
};

void I32(std::vector<uint8_t>& b, int32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
}

}  // namespace

TEST_F(MetaLimits, IPTCDatasetsBeyondTheTextBudgetAreDroppedWhole) {
  TVXIPTCInfoList source;
  source.AddStringItem(2, 5, "abcdef");    // 6: kept
  source.AddStringItem(2, 25, "12345678");  // 8 > 4 left: dropped
  source.AddStringItem(2, 25, "wxyz");      // 4: kept
  const auto file = source.SaveToStandardBuffer(true);
  TMemoryStream stream;
  source.SaveToStream(stream);
  for (bool fromFile : {true, false}) {
    SCOPED_TRACE(fromFile ? "file form" : "stream form");
    TVXIPTCInfoList l;
    if (fromFile) {
      EXPECT_TRUE(l.LoadFromStandardBuffer(file.data(), int64_t(file.size())));
    } else {
      stream.SetPosition(0);
      EXPECT_TRUE(l.LoadFromStream(stream));
    }
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l.GetStrings(0), "abcdef");
    EXPECT_EQ(l.GetStrings(1), "wxyz");
  }
}

TEST_F(MetaLimits, XMPPacketBeyondTheTextBudgetIsDropped) {
  for (const std::string packet : {"0123456789", "0123456789A"}) {
    std::string marker(VXXMPNamespaceID, 29);
    marker += packet;
    TIOParamsVals p;
    p.SetXMP_Info("before");
    const bool fits = packet.size() <= 10;
    EXPECT_EQ(VXLoadXMPFromMarker(marker.data(), int64_t(marker.size()), p), fits) << packet;
    EXPECT_EQ(p.XMP_Info(), fits ? packet : "before");
  }
}

TEST_F(MetaLimits, AnnotationTextsAndBlocksWithinTheLimits) {
  // Marks keep their texts while the budget lasts; the mark itself stays.
  TVXImagingAnnot source;
  for (const char* t : {"short", "toolongtext", "fits"}) {
    auto o = std::make_unique<TVXImagingObject>();
    o->attrib.uType = 7;
    o->text = t;
    source.AddObject(std::move(o));
  }
  s->SetMaxMetadataSize(100000);
  const auto block = source.SaveToStandardBuffer();
  TVXImagingAnnot marks;
  marks.LoadFromStandardBuffer(block.data(), int64_t(block.size()));
  ASSERT_EQ(marks.ObjectsCount(), 3);
  EXPECT_EQ(marks.Objects(0)->text, "short");
  EXPECT_EQ(marks.Objects(1)->text, "");
  EXPECT_EQ(marks.Objects(2)->text, "fits");
  // A block beyond the metadata limit gives no marks.
  s->SetMaxMetadataSize(int64_t(block.size()) - 1);
  TVXImagingAnnot none;
  none.LoadFromStandardBuffer(block.data(), int64_t(block.size()));
  EXPECT_EQ(none.ObjectsCount(), 0);

  // The library's own block: 100 bytes are taken, 101 are not.
  s->SetMaxMetadataSize(100);
  for (int n : {100, 101}) {
    std::string buf = "VEXLANEANNOT" + std::string(size_t(n), 'x');
    TVXVexlaneAnnot a;
    a.LoadFromBuffer(buf.data(), int64_t(buf.size()));
    EXPECT_EQ(a.IsEmpty(), n > 100) << n;
    // Stream form: an oversized block is skipped, what follows stays readable.
    std::vector<uint8_t> st;
    I32(st, n);
    st.insert(st.end(), size_t(n), 'y');
    I32(st, 0x12345678);
    TVXMemStream in(st.data(), int64_t(st.size()));
    EXPECT_EQ(a.LoadFromStream(in), n <= 100) << n;
    EXPECT_EQ(a.IsEmpty(), n > 100) << n;
    EXPECT_EQ(in.Position(), 4 + n);
  }
}

TEST_F(MetaLimits, ColourProfileBeyondTheBlockLimitIsNotTaken) {
  std::vector<uint8_t> bytes(101, 0);
  TVXICC icc;
  icc.LoadFromBuffer(bytes.data(), 101);
  EXPECT_EQ(icc.RawLength(), 0);
  icc.LoadFromBuffer(bytes.data(), 100);
  EXPECT_EQ(icc.RawLength(), 100);
  // Stream form with its length: skipped, the stream stands behind it.
  std::vector<uint8_t> st;
  I32(st, 101);
  st.insert(st.end(), 101, 0);
  st.push_back(7);
  TVXMemStream in(st.data(), int64_t(st.size()));
  icc.LoadFromStream(&in, false);
  EXPECT_EQ(icc.RawLength(), 0);
  EXPECT_EQ(in.Position(), 105);
}
