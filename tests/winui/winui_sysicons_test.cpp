// The system icons by resource number, drawn at the size asked for.
#include <gtest/gtest.h>

#include "winui/win_icon.h"
#include "winui/win_input.h"

namespace {

TEST(SystemIcons, EveryNumberAtAnySize) {
  for (uintptr_t id : {IDI_APPLICATION, IDI_HAND, IDI_QUESTION, IDI_EXCLAMATION, IDI_ASTERISK, IDI_WINLOGO,
                       IDI_SHIELD}) {
    SCOPED_TRACE(id);
    HICON a = LoadIconW(nullptr, id);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(LoadIconW(nullptr, id), a);  // shared
    int w = 0, h = 0;
    ASSERT_TRUE(VXCursorSize(a, w, h));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    for (int size : {16, 48, 64, 200}) {
      HICON s = static_cast<HICON>(LoadImageW(nullptr, id, IMAGE_ICON, size, size / 2, LR_SHARED));
      ASSERT_NE(s, nullptr);
      ASSERT_TRUE(VXCursorSize(s, w, h));
      EXPECT_EQ(w, size);
      EXPECT_EQ(h, size / 2);
      // Drawn, not blank: some pixels opaque, the corners of round icons not.
      vxwin::IconImage img;
      ASSERT_TRUE(vxwin::IconImageOf(s, img));
      size_t opaque = 0;
      for (uint32_t p : img.Pixels) opaque += (p >> 24) == 255;
      EXPECT_GT(opaque, img.Pixels.size() / 5);
      EXPECT_LT(opaque, img.Pixels.size());
    }
    HICON own = static_cast<HICON>(LoadImageW(nullptr, id, IMAGE_ICON, 0, 0, 0));
    EXPECT_NE(own, a);  // not shared: the caller's to destroy
    EXPECT_TRUE(DestroyIcon(own));
  }
}

TEST(SystemIcons, TheErrorIconIsARedDiscWithAWhiteCross) {
  vxwin::IconImage img;
  ASSERT_TRUE(vxwin::IconImageOf(LoadIconW(nullptr, IDI_ERROR), img));
  auto at = [&](int x, int y) { return img.Pixels[size_t(y) * 32 + size_t(x)]; };
  EXPECT_EQ(at(0, 0) >> 24, 0u);             // outside the disc
  EXPECT_EQ(at(16, 16) & 0xFFFFFF, 0xFFFFFFu);  // the cross
  EXPECT_EQ(at(16, 3), 0xFFC01010u);          // the disc
}

TEST(SystemIcons, WhatIsNotASystemIcon) {
  EXPECT_EQ(LoadIconW(nullptr, 32600), nullptr);
  EXPECT_EQ(LoadIconW(reinterpret_cast<HINSTANCE>(1), IDI_HAND), nullptr);
  EXPECT_EQ(LoadImageW(nullptr, IDI_HAND, IMAGE_BITMAP, 32, 32, 0), nullptr);
  EXPECT_EQ(LoadImageW(nullptr, IDI_HAND, IMAGE_ICON, -1, 32, 0), nullptr);
}

}  // namespace
