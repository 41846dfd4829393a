// Global memory blocks and the resource handles that share their type.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/win_memory.h"
#include "platform/win_resource.h"

namespace {

TEST(PlatformGlobalMemory, BlocksKnowTheirSizeAndCountLocks) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, 10);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 10u);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], 0);
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_TRUE(GlobalUnlock(h));   // still locked once
  EXPECT_FALSE(GlobalUnlock(h));  // now unlocked
  EXPECT_FALSE(GlobalUnlock(h));
  EXPECT_EQ(GlobalFree(h), nullptr);

  HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(GlobalLock(empty), nullptr);
  EXPECT_EQ(GlobalSize(empty), 0u);
  EXPECT_EQ(GlobalFree(empty), nullptr);

  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  EXPECT_EQ(GlobalSize(nullptr), 0u);
  EXPECT_EQ(GlobalFree(nullptr), nullptr);
}

TEST(PlatformGlobalMemory, ResourceHandlesLockButAreNotFreed) {
  static const char data[] = "resource bytes";
  RegisterResource(RT_RCDATA, "globalmem-test", data, sizeof data);
  HGLOBAL h = LoadResource(nullptr, FindResourceW(nullptr, "GLOBALMEM-TEST", RT_RCDATA));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), sizeof data);
  EXPECT_EQ(GlobalLock(h), static_cast<const void*>(data));
  EXPECT_EQ(LockResource(h), static_cast<const void*>(data));
  EXPECT_EQ(GlobalFree(h), h);
  EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
  EXPECT_TRUE(UnregisterResource(RT_RCDATA, "globalmem-test"));
}

}  // namespace
