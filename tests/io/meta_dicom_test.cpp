// DICOM tag list: order, typed access, errors, nesting, stream form.
#include <gtest/gtest.h>

#include <cstring>

#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "io/dicomtags.h"

namespace {

std::unique_ptr<TVXDicomTagChildren> OneItem(uint16_t g, uint16_t e, const std::string& text) {
  auto children = std::make_unique<TVXDicomTagChildren>();
  auto item = std::make_unique<TVXDicomTags>();
  item->AddTag(g, e, dvLO, text.data(), int32_t(text.size()));
  children->push_back(std::move(item));
  return children;
}

}  // namespace

TEST(MetaDicom, VRNamesAndDictionary) {
  EXPECT_EQ(VXDicomVRFromString("AE"), dvAE);
  EXPECT_EQ(VXDicomVRFromString("UT"), dvUT);
  EXPECT_EQ(VXDicomVRFromString("ZZ"), dvUnknown);
  EXPECT_EQ(VXDicomVRToString(dvUS), "US");
  EXPECT_EQ(VXDicomVRToString(dvUSorSS), "??");
  EXPECT_EQ(VXDicomVRToString(dvUnknown), "??");
  const TVXDicomDictEntry* e = VXFindDicomDictEntry(0x0028, 0x0010);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->VR, dvUS);
  EXPECT_EQ(VXFindDicomDictEntry(0x0009, 0x0001), nullptr);
  TVXDicomTagSource src;
  EXPECT_EQ(TVXDicomTags::GetTagDescription(0x0002, 0x0010, src), "Transfer Syntax UID");
  EXPECT_EQ(src, dsStandard);
  EXPECT_EQ(TVXDicomTags::GetTagDescription(0x0009, 0x0001, src), "");
  EXPECT_EQ(src, dsProprietary);
  TVXDicomTags t;
  EXPECT_THROW(t.GetTagDescription(0), std::out_of_range);
}

TEST(MetaDicom, InsertionOrderAndReplace) {
  TVXDicomTags t;
  t.AddTag(0xFFFE, 0xE000, dvUnknown, nullptr, 0);
  t.AddTag(0x0010, 0x0010, dvPN, "A", 1);
  t.AddTag(0x0008, 0x0060, dvCS, "MR", 2);
  t.AddTag(0x0010, 0x0010, dvPN, "B", 1);
  t.AddTag(0x0010, 0x0010, dvPN, "C", 1);
  ASSERT_EQ(t.Count(), 5);
  EXPECT_EQ(t.GetTag(0)->Group, 0x0008);
  EXPECT_EQ(t.GetTagString(1), "A");
  EXPECT_EQ(t.GetTagString(2), "C");  // lands right after the first of its pair
  EXPECT_EQ(t.GetTagString(3), "B");
  EXPECT_EQ(t.GetTag(4)->Group, 0xFFFE);
  EXPECT_EQ(t.GetTag(-1), nullptr);
  EXPECT_EQ(t.GetTag(5), nullptr);
  EXPECT_EQ(t.GetTag(0x0020, 0x0000), nullptr);
  EXPECT_EQ(t.AddTag(0x0011, 0, dvOB, "x", -1), 4);
  EXPECT_EQ(t.GetTag(4)->DataPtr(), nullptr);
  t.DeleteTag(4);

  t.SetTagString(0x0010, 0x0010, "Doe");
  EXPECT_EQ(t.Count(), 3);
  EXPECT_EQ(t.GetTagString(0x0010, 0x0010), "Doe ");

  t.DeleteTag(-1);
  t.DeleteTag(t.Count());
  EXPECT_EQ(t.Count(), 3);
  t.AddTag(0x0010, 0x0020, dvLO, "ID", 2);
  t.DeleteGroup(0x0010);
  EXPECT_EQ(t.Count(), 2);
  t.AddTag(0x0008, 0x0060, dvCS, "CT", 2);
  t.DeleteTag(0x0008, 0x0060, false);
  EXPECT_EQ(t.IndexOf(0x0008, 0x0060), 0);
  t.AddTag(0x0008, 0x0060, dvCS, "CT", 2);
  t.DeleteTag(0x0008, 0x0060, true);
  EXPECT_EQ(t.IndexOf(0x0008, 0x0060), -1);
}

TEST(MetaDicom, TypedValues) {
  TVXDicomTags t;
  t.SetTagString(0x0002, 0x0010, "1.2.840.10008.1.2.1");
  TVXDicomTag* uid = t.GetTag(0x0002, 0x0010);
  ASSERT_EQ(uid->DataLen, 20);
  EXPECT_EQ(uid->Data[19], 0);
  EXPECT_EQ(uid->Data[20], 0);
  EXPECT_EQ(uid->DataType, dvUI);
  t.SetTagString(0x0008, 0x0060, "MRI");
  EXPECT_EQ(t.GetTag(0x0008, 0x0060)->DataLen, 4);
  EXPECT_EQ(t.GetTagString(0x0008, 0x0060), "MRI ");
  t.SetTagString(0x0009, 0x0010, "odd");  // unknown: CS
  EXPECT_EQ(t.GetTag(0x0009, 0x0010)->DataType, dvCS);

  int32_t before = t.Count();
  try {
    t.SetTagString(0x0028, 0x0010, "512");
    FAIL();
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Tag 0028,0010 cannot be a string");
  }
  EXPECT_THROW(t.SetTagNumeric(0x0010, 0x0010, 1), EVXException);
  EXPECT_THROW(t.SetTagByteBuffer(0x0028, 0x0010, "ab", 2), EVXException);
  EXPECT_EQ(t.Count(), before);

  t.SetTagNumeric(0x0028, 0x0106, -5);
  TVXDicomTag* ss = t.GetTag(0x0028, 0x0106);
  EXPECT_EQ(ss->DataType, dvSS);
  EXPECT_EQ(ss->DataLen, 2);
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0028, 0x0106, 0), -5);
  EXPECT_EQ(t.GetTagString(0x0028, 0x0106), "-5");
  t.SetTagNumeric(0x0028, 0x0107, 40000);
  EXPECT_EQ(t.GetTag(0x0028, 0x0107)->DataType, dvUS);
  EXPECT_EQ(t.GetTagString(0x0028, 0x0107), "40000");
  t.SetTagNumeric(0x0028, 0x0010, 512.9);
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0028, 0x0010, -1), 512);
  t.SetTagNumeric(0x0018, 0x6018, 4000000000.0);
  EXPECT_EQ(t.GetTagString(0x0018, 0x6018), "4000000000");
  t.SetTagNumeric(0x0018, 0x6020, -7);
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0018, 0x6020, 0), -7);
  t.SetTagNumeric(0x0018, 0x9461, 1.5);
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0018, 0x9461, 0), 1.5);
  t.SetTagNumeric(0x0019, 0x0001, 2.5);  // unknown: FD
  EXPECT_EQ(t.GetTag(0x0019, 0x0001)->DataType, dvFD);
  std::string fd = t.GetTagString(0x0019, 0x0001);
  EXPECT_EQ(fd, std::string("2") + VXGetDecimalSeparator() + "500000");
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0008, 0x0060, 7), 7);  // a text
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0099, 0x0099, 7), 7);  // absent

  t.SetTagByteBuffer(0x0002, 0x0001, "\x00\x01\x02", 3);
  TVXDicomTag* ob = t.GetTag(0x0002, 0x0001);
  EXPECT_EQ(ob->DataLen, 4);
  EXPECT_EQ(ob->Data.size(), 5u);

  // Values shorter than their representation read as absent.
  t.AddTag(0x0028, 0x0011, dvUS, "\x01", 1);
  EXPECT_DOUBLE_EQ(t.GetTagNumeric(0x0028, 0x0011, -2), -2);
  EXPECT_EQ(t.GetTagString(0x0028, 0x0011), "");
}

TEST(MetaDicom, NestedSearchAssignAndStream) {
  TVXDicomTags t;
  t.SetTagString(0x0008, 0x0060, "CT");
  t.AddTag(0x0008, 0x1140, dvSQ, nullptr, 0, OneItem(0x0008, 0x1155, "inner"));
  int32_t index = 7;
  TVXDicomTags* found = t.FindNestedTag(0x0008, 0x1155, static_cast<TVXDicomTags*>(nullptr), index);
  ASSERT_NE(found, nullptr);
  EXPECT_NE(found, &t);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(found->GetTagString(0), "inner");
  EXPECT_EQ(t.FindNestedTag(0x0008, 0x0060, static_cast<TVXDicomTags*>(nullptr), index), &t);
  EXPECT_EQ(t.FindNestedTag(0x7777, 0x0001, static_cast<TVXDicomTags*>(nullptr), index), nullptr);
  EXPECT_EQ(index, -1);
  EXPECT_NE(t.FindNestedTag(0x0008, 0x1155, t.GetTagChildren(0x0008, 0x1140), index), nullptr);

  TVXDicomTags copy;
  copy.Assign(&t);
  ASSERT_EQ(copy.Count(), 2);
  ASSERT_NE(copy.GetTagChildren(1), nullptr);
  EXPECT_NE(copy.GetTagChildren(1), t.GetTagChildren(1));
  EXPECT_EQ((*copy.GetTagChildren(1))[0]->GetTagString(0), "inner");

  TMemoryStream s;
  t.SaveToStream(s);
  s.SetPosition(0);
  TVXDicomTags r;
  r.SetTagString(0x0010, 0x0010, "kept");
  ASSERT_TRUE(r.LoadFromStream(s));
  ASSERT_EQ(r.Count(), 3);  // appended after the tags present
  EXPECT_EQ(r.GetTagString(1), "CT");
  ASSERT_NE(r.GetTagChildren(2), nullptr);
  EXPECT_EQ((*r.GetTagChildren(2))[0]->GetTagString(0x0008, 0x1155), "inner");
  EXPECT_EQ(r.GetTag(1)->Data[r.GetTag(1)->DataLen], 0);

  // Every shorter prefix is refused without reading past its end.
  const uint8_t* all = static_cast<const uint8_t*>(s.Memory());
  for (int64_t cut = 1; cut < s.Size(); ++cut) {
    TVXMemStream part(all, cut);
    TVXDicomTags p;
    EXPECT_FALSE(p.LoadFromStream(part)) << cut;
    EXPECT_LE(p.Count(), 1) << cut;
  }
}

TEST(MetaDicom, OlderStreamVersionsAndDamage) {
  // Version 1: no child counts. Version 2: one-byte child counts. Version 0: empty.
  const uint8_t v1[] = {1, 1, 0, 0, 0, 0x08, 0x00, 0x60, 0x00, dvCS, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 'C', 'T'};
  TVXMemStream s1(v1, sizeof v1);
  TVXDicomTags t1;
  ASSERT_TRUE(t1.LoadFromStream(s1));
  ASSERT_EQ(t1.Count(), 1);
  EXPECT_EQ(t1.GetTagString(0), "CT");
  EXPECT_EQ(t1.GetTagChildren(0), nullptr);

  const uint8_t v2[] = {2, 1, 0, 0, 0, 0x08, 0x00, 0x40, 0x11, dvSQ, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                        1, 0};
  TVXMemStream s2(v2, sizeof v2);
  TVXDicomTags t2;
  ASSERT_TRUE(t2.LoadFromStream(s2));
  ASSERT_NE(t2.GetTagChildren(0), nullptr);
  EXPECT_EQ(t2.GetTagChildren(0)->size(), 1u);

  const uint8_t v0[] = {0};
  TVXMemStream s0(v0, 1);
  TVXDicomTags t0;
  EXPECT_TRUE(t0.LoadFromStream(s0));
  EXPECT_EQ(t0.Count(), 0);

  // A value length and a tag count far beyond the bytes present.
  const uint8_t bigLen[] = {3, 1, 0, 0, 0, 8, 0, 0x60, 0, dvCS, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 'x'};
  TVXMemStream sb(bigLen, sizeof bigLen);
  TVXDicomTags tb;
  EXPECT_FALSE(tb.LoadFromStream(sb));
  EXPECT_EQ(tb.Count(), 0);
  const uint8_t bigCount[] = {3, 0xFF, 0xFF, 0xFF, 0x7F};
  TVXMemStream sc(bigCount, sizeof bigCount);
  EXPECT_FALSE(tb.LoadFromStream(sc));

  // Sequences nested without end are refused, not followed down the stack.
  std::vector<uint8_t> deep;
  for (int i = 0; i < 100000; ++i) {
    const uint8_t level[] = {3, 1, 0, 0, 0, 8, 0, 0x40, 0x11, dvSQ, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    deep.insert(deep.end(), std::begin(level), std::end(level));
  }
  TVXMemStream sd(deep.data(), int64_t(deep.size()));
  TVXDicomTags td;
  EXPECT_FALSE(td.LoadFromStream(sd));
}
