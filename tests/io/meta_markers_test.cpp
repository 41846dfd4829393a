// JPEG marker list: editing, stream form, writing order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/streams.h"
#include "io/markers.h"

namespace {

std::string Payload(const TVXMarkerList& l, int32_t i) {
  return std::string(l.GetMarkerData(i), l.MarkerSize(i));
}

void Add(TVXMarkerList& l, uint8_t code, const std::string& data) {
  l.AddMarker(code, data.data(), uint16_t(data.size()));
}

std::string IccChunk(uint8_t seq) {
  std::string s("ICC_PROFILE", 11);
  s.push_back('\0');
  s.push_back(char(seq));
  s.push_back(3);
  s += "profile-bytes";
  return s;
}

}  // namespace

TEST(MetaMarkers, EditingKeepsCodesAndPayloadsTogether) {
  TVXMarkerList l;
  EXPECT_EQ(l.IndexOf(0xE1), -1);
  l.DeleteMarkerInstances(0xE1);  // absent: nothing happens
  Add(l, 0xE0, "JFIF");
  Add(l, 0xFE, "comment");
  Add(l, 0xE0, "second");
  l.InsertMarker(1, "inserted", 0xED, 8);
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l.GetMarkerType(1), 0xED);
  EXPECT_EQ(Payload(l, 1), "inserted");

  l.SetMarker(2, 0xE2, "new", 3);
  EXPECT_EQ(l.GetMarkerType(2), 0xE2);
  EXPECT_EQ(Payload(l, 2), "new");
  EXPECT_EQ(Payload(l, 0), "JFIF");
  EXPECT_EQ(Payload(l, 3), "second");

  l.DeleteMarkerInstances(0xE0);
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.GetMarkerType(0), 0xED);
  EXPECT_EQ(l.GetMarkerLength(1), 3);
  EXPECT_THROW(l.GetMarkerType(2), std::out_of_range);
  EXPECT_THROW(l.DeleteMarker(-1), std::out_of_range);

  TMemoryStream* s = l.GetMarkerStream(0);
  char buf[16];
  EXPECT_EQ(s->Read(buf, sizeof buf), 8);
  EXPECT_EQ(l.GetMarkerStream(0)->Position(), 0);
}

TEST(MetaMarkers, AssignCopiesPayloads) {
  TVXMarkerList a, b;
  Add(a, 0xE1, "exif");
  Add(a, 0xFE, "note");
  b.Assign(&a);
  b.Assign(nullptr);  // nil source: unchanged
  a.SetMarker(0, 0xE5, "xx", 2);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b.GetMarkerType(0), 0xE1);
  EXPECT_EQ(Payload(b, 0), "exif");
  EXPECT_NE(b.GetMarkerData(1), a.GetMarkerData(1));
}

TEST(MetaMarkers, StreamRoundTrip) {
  TVXMarkerList empty;
  TMemoryStream e;
  empty.SaveToStream(e);
  ASSERT_EQ(e.Size(), 5);
  const uint8_t* eb = static_cast<const uint8_t*>(e.Memory());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(eb[i], 0);

  TVXMarkerList l;
  Add(l, 0xE1, std::string("Exif\0\0MM", 8));
  Add(l, 0xFE, "");
  Add(l, 0xED, "Photoshop 3.0");
  TMemoryStream s;
  l.SaveToStream(s);
  EXPECT_EQ(s.Size(), 5 + 3 * 5 + 8 + 0 + 13);
  s.SetPosition(0);
  TVXMarkerList r;
  Add(r, 0xE0, "old");
  ASSERT_TRUE(r.LoadFromStream(s));
  ASSERT_EQ(r.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(r.GetMarkerType(i), l.GetMarkerType(i));
    EXPECT_EQ(Payload(r, i), Payload(l, i));
  }
}

TEST(MetaMarkers, TruncatedStreamKeepsCompleteMarkersOnly) {
  TVXMarkerList l;
  Add(l, 0xE1, "first");
  Add(l, 0xE2, "second-payload");
  TMemoryStream s;
  l.SaveToStream(s);
  const uint8_t* all = static_cast<const uint8_t*>(s.Memory());
  int64_t full = s.Size();
  for (int64_t cut : {int64_t(0), int64_t(3), int64_t(11), full - 20, full - 1}) {
    TVXMemStream part(all, cut);
    TVXMarkerList r;
    EXPECT_FALSE(r.LoadFromStream(part)) << cut;
    EXPECT_LE(r.Count(), 1) << cut;
    if (r.Count() == 1) {
      EXPECT_EQ(Payload(r, 0), "first");
    }
  }
  // A count and a length far beyond the bytes present.
  const uint8_t huge[] = {0, 0xFF, 0xFF, 0xFF, 0x7F, 0xE1, 0xFF, 0xFF, 0xFF, 0x7F, 'a'};
  TVXMemStream hs(huge, sizeof huge);
  TVXMarkerList r;
  EXPECT_FALSE(r.LoadFromStream(hs));
  EXPECT_EQ(r.Count(), 0);
  const uint8_t negative[] = {0, 1, 0, 0, 0, 0xE1, 0xFE, 0xFF, 0xFF, 0xFF};
  TVXMemStream ns(negative, sizeof negative);
  EXPECT_FALSE(r.LoadFromStream(ns));
  EXPECT_EQ(r.Count(), 0);
}

TEST(MetaMarkers, SortOrdersByCodeIccSequenceAndExifFirst) {
  TVXMarkerList l;
  Add(l, 0xE1, "http://ns.adobe.com/xap/1.0/");
  Add(l, 0xFE, "comment");
  Add(l, 0xE1, std::string("Exif\0\0II", 8));
  Add(l, 0xE0, "JFIF");
  l.Sort();
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l.GetMarkerType(0), 0xE0);
  EXPECT_EQ(l.GetMarkerType(1), 0xE1);
  EXPECT_EQ(Payload(l, 1).substr(0, 4), "Exif");
  EXPECT_EQ(l.GetMarkerType(2), 0xE1);
  EXPECT_EQ(Payload(l, 2).substr(0, 4), "http");
  EXPECT_EQ(l.GetMarkerType(3), 0xFE);

  TVXMarkerList icc;
  Add(icc, 0xE2, IccChunk(3));
  Add(icc, 0xE2, IccChunk(1));
  Add(icc, 0xE2, IccChunk(2));
  icc.Sort();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(uint8_t(icc.GetMarkerData(i)[12]), i + 1);

  // Payloads of 13 bytes or less, or without the NUL after the name, are no chunks.
  TVXMarkerList mixed;
  Add(mixed, 0xE2, std::string("ICC_PROFILE\0\x05", 13));
  Add(mixed, 0xE2, "ICC_PROFILEX\x01 more bytes");
  Add(mixed, 0xE1, "x");
  mixed.Sort();
  EXPECT_EQ(mixed.GetMarkerType(0), 0xE1);
  EXPECT_EQ(mixed.Count(), 3);
}
