// Small containers: THash1, the TVXList family and TVXWideStrings.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/containers.h"
#include "core/vxdefs.h"

TEST(ExtrasContainers, Hash1KeysSharingASlot) {
  THash1 h(13);
  EXPECT_EQ(h.Hdim(), 8192);
  int32_t slot = -1;
  THash1Item* item = reinterpret_cast<THash1Item*>(1);
  ASSERT_TRUE(h.Insert2(5, slot, item));
  EXPECT_EQ(slot, 5);
  EXPECT_EQ(item, nullptr);
  h.SetValue(slot, item, 10);
  ASSERT_TRUE(h.Insert2(8197, slot, item));
  EXPECT_EQ(slot, 5);
  ASSERT_NE(item, nullptr);
  h.SetValue(slot, item, 20);

  EXPECT_FALSE(h.Insert2(8197, slot, item));
  EXPECT_EQ(h.GetValue(slot, item), 20);
  EXPECT_FALSE(h.Insert2(5, slot, item));
  EXPECT_EQ(h.GetValue(slot, item), 10);
  EXPECT_EQ(h.nkeys(), 2);
  EXPECT_TRUE(h.KeyPresent(8197));
  EXPECT_FALSE(h.KeyPresent(16389));
  // Negative keys use their low bits as well.
  EXPECT_TRUE(h.Insert(-1));
  EXPECT_TRUE(h.KeyPresent(-1));
  EXPECT_FALSE(h.Insert(-1));
}

TEST(ExtrasContainers, Hash1IteratesInSlotAndInsertionOrder) {
  THash1 empty(4);
  EXPECT_FALSE(empty.IterateBegin());

  THash1 h(4);  // 16 slots
  // key -> value = key * 10; 3, 19 and 35 share slot 3; 1 is alone in slot 1.
  for (int32_t k : {19, 3, 1, 35, 15}) {
    int32_t slot;
    THash1Item* item;
    ASSERT_TRUE(h.Insert2(k, slot, item));
    h.SetValue(slot, item, k * 10);
  }
  std::vector<int32_t> seen;
  for (bool more = h.IterateBegin(); more; more = h.IterateNext()) seen.push_back(h.IterateGetValue());
  EXPECT_EQ(seen, (std::vector<int32_t>{10, 190, 30, 350, 150}));
  EXPECT_FALSE(h.IterateNext());
}

TEST(ExtrasContainers, Hash1RejectsBadSizesAndSlots) {
  EXPECT_THROW(THash1(-1), EVXException);
  EXPECT_THROW(THash1(31), EVXException);
  THash1 h(2);
  EXPECT_THROW(h.SetValue(4, nullptr, 1), EVXException);
  EXPECT_THROW(h.GetValue(-1, nullptr), EVXException);
  EXPECT_THROW(h.IterateGetValue(), EVXException);  // no current slot
}

TEST(ExtrasContainers, ListGrowthAndChanges) {
  TVXIntegerList l;
  EXPECT_EQ(l.ItemSize(), 4);
  EXPECT_EQ(l.Add(7), 0);
  EXPECT_EQ(l.Capacity(), 1);
  l.Add(8);
  EXPECT_EQ(l.Capacity(), 2);
  l.Add(9);
  EXPECT_EQ(l.Capacity(), 4);
  EXPECT_TRUE(l.Changed().Contains(vxlItems));

  l.Insert(1, 42);
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.Capacity(), 4);
  EXPECT_EQ(l.Items(1), 42);
  EXPECT_EQ(l.Items(3), 9);
  l.Insert(100, 5);  // past the end appends
  EXPECT_EQ(l.Items(4), 5);
  EXPECT_EQ(l.IndexOf(9), 3);
  EXPECT_EQ(l.IndexOf(1234), -1);

  l.SetChanged(TVXListChanges());
  l.Delete(5);
  l.Delete(-1);
  EXPECT_EQ(l.Count(), 5);
  EXPECT_TRUE(l.Changed().Empty());
  l.Delete(0);
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.Capacity(), 4);
  EXPECT_EQ(l.Items(0), 42);
  EXPECT_TRUE(l.Changed().Contains(vxlItems));

  l.SetRangeMin(1);
  l.SetRangeMax(10);
  l.SetRangeStep(3);
  EXPECT_TRUE(l.Changed().Contains(vxlRange));
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.Capacity(), 0);
  EXPECT_EQ(l.RangeMax(), 0);
  EXPECT_TRUE(l.Changed().Empty());
  EXPECT_EQ(l.ItemSize(), 4);
}

TEST(ExtrasContainers, ListAssignKeepsItemsWhileGrowing) {
  TVXDoubleList src;
  src.Add(1.5);
  src.Add(2.5);
  src.Add(3.5);
  src.SetRangeMin(-1);
  src.SetRangeMax(9);
  src.SetCurrentValue(4.25);

  TVXDoubleList dst;
  dst.Add(99);
  dst.Assign(&src);
  EXPECT_EQ(dst.Capacity(), 3);
  for (int i = 0; i < 5; ++i) dst.Add(10.0 + i);
  ASSERT_EQ(dst.Count(), 8);
  const double expected[] = {1.5, 2.5, 3.5, 10, 11, 12, 13, 14};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(dst.Items(i), expected[i]);
  EXPECT_EQ(dst.RangeMin(), -1);
  EXPECT_EQ(dst.RangeMax(), 9);
  EXPECT_EQ(dst.CurrentValue(), 4.25);

  TVXIntegerList other;
  EXPECT_THROW(dst.Assign(&other), EVXException);
  EXPECT_EQ(dst.Count(), 8);
}

TEST(ExtrasContainers, DoubleListComparesBitPatterns) {
  TVXDoubleList l;
  l.Add(-0.0);
  EXPECT_EQ(l.IndexOf(0.0), -1);
  EXPECT_EQ(l.IndexOf(-0.0), 0);
  l.Add(std::nan(""));
  EXPECT_EQ(l.IndexOf(std::nan("")), 1);
}

TEST(ExtrasContainers, CurrentValueCallbacks) {
  TVXIntegerList plain;
  plain.SetCurrentValue(12);
  EXPECT_EQ(plain.CurrentValue(), 12);
  EXPECT_TRUE(plain.Changed().Contains(vxlCurrentValue));

  int setCalls = 0;
  void* sender = nullptr;
  TVXIntegerList l(
      [](void*, void* value) { *static_cast<int32_t*>(value) += 100; },  // refresh on read
      [&](void* s, void* value) {
        ++setCalls;
        sender = s;
        *static_cast<int32_t*>(value) = *static_cast<int32_t*>(value) * 2;
      });
  l.SetCurrentValue(5);
  EXPECT_EQ(setCalls, 1);
  EXPECT_EQ(sender, static_cast<void*>(&l));
  EXPECT_EQ(l.CurrentValue(), 110);
  EXPECT_EQ(l.CurrentValue(), 210);
}

TEST(ExtrasContainers, IndexErrorsRaise) {
  TVXIntegerList l;
  l.Add(1);
  EXPECT_THROW(l.GetItem(1), EVXException);
  EXPECT_THROW(l.GetItem(-1), EVXException);
  EXPECT_THROW(l.SetItem(-1, 3), EVXException);
  EXPECT_THROW(l.Insert(-2, 3), EVXException);
  EXPECT_THROW(l.SetCount(-1), EVXException);
  l.SetItem(5, 3);  // past the end: nothing
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Items(0), 1);

  TVXRecordList r(12);
  EXPECT_THROW(r.GetItem(0), EVXException);
  EXPECT_THROW(TVXRecordList(0), EVXException);

  TVXWideStrings s;
  EXPECT_THROW(s.GetString(0), EVXException);
  EXPECT_THROW(s.SetString(-1, "x"), EVXException);

  try {
    l.GetItem(7);
    FAIL();
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (7)");
  }
}

TEST(ExtrasContainers, RecordList) {
  struct Rec {
    int32_t x, y, tag;  // no padding: IndexOf compares bytes
  };
  TVXRecordList l(int32_t(sizeof(Rec)));
  Rec a{1, 2, 3}, b{4, 5, 6};
  EXPECT_EQ(l.Add(&a), 0);
  l.Insert(0, &b);
  EXPECT_EQ(static_cast<Rec*>(l.GetItem(0))->x, 4);
  EXPECT_EQ(static_cast<Rec*>(l.GetItem(1))->tag, 3);
  EXPECT_EQ(l.IndexOf(&a), 1);
  static_cast<Rec*>(l.Items(1))->y = 77;
  EXPECT_EQ(static_cast<Rec*>(l.GetItem(1))->y, 77);
  l.Clear();
  EXPECT_EQ(l.ItemSize(), int32_t(sizeof(Rec)));
  EXPECT_EQ(l.Count(), 0);
}

TEST(ExtrasContainers, WideStrings) {
  TVXWideStrings s;
  EXPECT_EQ(s.Add(""), 0);
  EXPECT_EQ(s.Add("b\xC3\xA9"), 1);
  EXPECT_EQ(s.GetString(0), "");
  EXPECT_EQ(s.Strings(1), "b\xC3\xA9");
  s.SetString(0, "first");
  EXPECT_EQ(s.GetString(0), "first");
  EXPECT_EQ(s.Count(), 2);
  s.Clear();
  EXPECT_EQ(s.Count(), 0);
}
