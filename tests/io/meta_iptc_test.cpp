// IPTC records: editing, file forms and stream form.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/streams.h"
#include "io/iptc.h"

namespace {

uint32_t BE32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

}  // namespace

TEST(MetaIPTC, EditingAndUserChanged) {
  TVXIPTCInfoList l;
  EXPECT_FALSE(l.UserChanged());
  EXPECT_EQ(l.GetStrings(0), "");
  EXPECT_EQ(l.GetItemLength(-1), 0);
  EXPECT_EQ(l.GetItemData(3), nullptr);
  EXPECT_EQ(l.AddStringItem(2, 5, "Title"), 0);
  EXPECT_TRUE(l.UserChanged());
  l.InsertStringItem(0, 2, 25, "key");
  EXPECT_EQ(l.IndexOf(2, 5), 1);
  EXPECT_EQ(l.IndexOf(2, 99), -1);
  l.SetStrings(1, "Caf\xC3\xA9");  // stored in Windows-1252
  EXPECT_EQ(l.GetItemLength(1), 4);
  EXPECT_EQ(l.GetItemData(1)[3], 0xE9);
  EXPECT_EQ(l.GetStrings(1), "Caf\xC3\xA9");
  l.SetRecordNumber(1, 1);
  l.SetDataSet(1, 90);
  EXPECT_EQ(l.RecordNumber(1), 1);
  EXPECT_EQ(l.DataSet(1), 90);
  l.DeleteItem(0);
  EXPECT_EQ(l.Count(), 1);
  EXPECT_THROW(l.DeleteItem(5), std::out_of_range);

  TVXIPTCInfoList c;
  c.Assign(&l);
  EXPECT_EQ(c.Count(), 1);
  EXPECT_TRUE(c.UserChanged());
}

TEST(MetaIPTC, StandardBufferForms) {
  TVXIPTCInfoList l;
  l.AddStringItem(2, 120, "hello");
  std::vector<uint8_t> withHeader = l.SaveToStandardBuffer(true);
  ASSERT_EQ(withHeader.size(), 36u);
  EXPECT_EQ(std::memcmp(withHeader.data(), "Photoshop 3.0\0008BIM\x04\x04\0\0", 22), 0);
  EXPECT_EQ(BE32(withHeader, 22), 10u);
  EXPECT_EQ(withHeader[26], 0x1C);
  EXPECT_EQ(withHeader[27], 2);
  EXPECT_EQ(withHeader[28], 120);
  EXPECT_EQ(withHeader[29], 0);
  EXPECT_EQ(withHeader[30], 5);

  std::vector<uint8_t> bare = l.SaveToStandardBuffer(false);
  ASSERT_EQ(bare.size(), 18u);
  const uint8_t version[] = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02};
  EXPECT_EQ(std::memcmp(bare.data(), version, 7), 0);
  EXPECT_EQ(bare[17], 0);

  // Record version and empty items are not written.
  TVXIPTCInfoList skipped;
  skipped.AddStringItem(2, 0, "xx");
  skipped.AddBufferItem(2, 5, nullptr, 0);
  EXPECT_EQ(skipped.SaveToStandardBuffer(true).size(), 26u);
  EXPECT_EQ(skipped.SaveToStandardBuffer(false).size(), 8u);
  EXPECT_TRUE(TVXIPTCInfoList().SaveToStandardBuffer(true).empty());

  for (const auto& buf : {withHeader, bare}) {
    TVXIPTCInfoList r;
    ASSERT_TRUE(r.LoadFromStandardBuffer(buf.data(), int64_t(buf.size())));
    EXPECT_FALSE(r.UserChanged());
    int32_t i = r.IndexOf(2, 120);
    ASSERT_GE(i, 0);
    EXPECT_EQ(r.GetStrings(i), "hello");
  }
}

TEST(MetaIPTC, ExtendedLengthRoundTrip) {
  TVXIPTCInfoList l;
  std::vector<uint8_t> big(40000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
  l.AddBufferItem(2, 202, big.data(), int32_t(big.size()));
  std::vector<uint8_t> buf = l.SaveToStandardBuffer(true);
  EXPECT_EQ(buf[29], 0x80);
  EXPECT_EQ(buf[30], 0x04);
  EXPECT_EQ(BE32(buf, 31), 40000u);
  EXPECT_EQ(BE32(buf, 22), 40009u);
  TVXIPTCInfoList r;
  ASSERT_TRUE(r.LoadFromStandardBuffer(buf.data(), int64_t(buf.size())));
  ASSERT_EQ(r.Count(), 1);
  ASSERT_EQ(r.GetItemLength(0), 40000);
  EXPECT_EQ(std::memcmp(r.GetItemData(0), big.data(), big.size()), 0);
}

TEST(MetaIPTC, DamagedBuffersAreReadSafely) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool result;
    int32_t count;
  };
  const std::vector<uint8_t> two = {0x1C, 2, 5, 0, 3, 'a', 'b', 'c', 0x1C, 2, 25, 0, 2, 'k', '1'};
  std::vector<uint8_t> truncatedLast = two;
  truncatedLast.resize(two.size() - 1);
  std::vector<uint8_t> leading = {0, 0, 7};
  leading.insert(leading.end(), two.begin(), two.end());
  std::vector<uint8_t> noResource(std::begin("Photoshop 3.0\0008BIM\x04\x05"), std::end("Photoshop 3.0\0008BIM\x04\x05"));
  noResource.insert(noResource.end(), two.begin(), two.end());
  std::vector<uint8_t> resourceAtEnd(std::begin("Photoshop 3.0\0"), std::end("Photoshop 3.0\0") - 1);
  resourceAtEnd.insert(resourceAtEnd.end(), {'8', 'B', 'I', 'M', 4});
  const Case cases[] = {
      {"two datasets", two, true, 2},
      {"truncated last dataset is dropped", truncatedLast, true, 1},
      {"read from the first 0x1C", leading, true, 2},
      {"Photoshop block without IPTC resource", noResource, false, 0},
      {"resource id cut off", resourceAtEnd, false, 0},
      {"head without data byte", {0x1C, 2, 5, 0, 0}, false, 0},
      {"length beyond buffer", {0x1C, 2, 5, 0xFF, 0xFF, 'a', 'b'}, false, 0},
      {"extended head cut", {0x1C, 2, 5, 0x80, 0x04, 0, 0}, false, 0},
      {"extended length beyond", {0x1C, 2, 5, 0x80, 0x04, 0x7F, 0xFF, 0xFF, 0xFF, 'x'}, false, 0},
      {"most negative length", {0x1C, 2, 5, 0x80, 0x04, 0x80, 0, 0, 0, 'x'}, false, 0},
      {"negative length taken by its value", {0x1C, 2, 5, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xFF, 'x'}, true, 1},
      {"no datasets", {1, 2, 3}, false, 0},
  };
  for (const Case& c : cases) {
    TVXIPTCInfoList r;
    r.AddStringItem(9, 9, "old");
    EXPECT_EQ(r.LoadFromStandardBuffer(c.bytes.data(), int64_t(c.bytes.size())), c.result) << c.name;
    EXPECT_EQ(r.Count(), c.count) << c.name;
  }
  TVXIPTCInfoList r;
  EXPECT_FALSE(r.LoadFromStandardBuffer(two.data(), 0));
  EXPECT_TRUE(r.UserChanged());
}

TEST(MetaIPTC, StreamRoundTripAndTruncation) {
  TVXIPTCInfoList l;
  l.AddStringItem(2, 5, "Title");
  l.AddStringItem(2, 25, "a");
  l.AddBufferItem(1, 90, "\x1B%G", 3);
  TMemoryStream s;
  l.SaveToStream(s);
  EXPECT_EQ(s.Size(), 8 + 3 * 12 + 5 + 1 + 3);
  s.SetPosition(0);
  TVXIPTCInfoList r;
  ASSERT_TRUE(r.LoadFromStream(s));
  ASSERT_EQ(r.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(r.GetRecordNumber(i), l.GetRecordNumber(i));
    EXPECT_EQ(r.GetDataSet(i), l.GetDataSet(i));
    EXPECT_EQ(r.GetStrings(i), l.GetStrings(i));
  }
  EXPECT_TRUE(r.UserChanged());

  TVXMemStream part(s.Memory(), s.Size() - 2);
  TVXIPTCInfoList t;
  EXPECT_FALSE(t.LoadFromStream(part));
  EXPECT_EQ(t.Count(), 2);
  const uint8_t hugeCount[] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 2, 0, 0, 0, 5, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F};
  TVXMemStream hs(hugeCount, sizeof hugeCount);
  EXPECT_FALSE(t.LoadFromStream(hs));
  EXPECT_EQ(t.Count(), 0);
}
