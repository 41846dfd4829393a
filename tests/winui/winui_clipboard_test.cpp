// The in-process clipboard: one thread at a time, ownership of the blocks
// it is given, and a SetClipboardData that can be made to fail.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "uemf_writer.h"
#include "winui/headless.h"
#include "winui/metafile.h"
#include "winui/win_clipboard.h"

namespace {

HGLOBAL Block(const char* text) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, std::strlen(text) + 1);
  std::memcpy(GlobalLock(h), text, std::strlen(text) + 1);
  GlobalUnlock(h);
  return h;
}

std::string Text(HANDLE h) {
  auto* g = static_cast<HGLOBAL>(h);
  std::string s(static_cast<const char*>(GlobalLock(g)));
  GlobalUnlock(g);
  return s;
}

struct ClipboardTest : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
  }
  void TearDown() override {
    VXHeadless::Reset();
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      CloseClipboard();
    }
  }
};

TEST_F(ClipboardTest, PredefinedFormatValues) {
  EXPECT_EQ(CF_TEXT, 1u);
  EXPECT_EQ(CF_BITMAP, 2u);
  EXPECT_EQ(CF_DIB, 8u);
  EXPECT_EQ(CF_PALETTE, 9u);
  EXPECT_EQ(CF_UNICODETEXT, 13u);
  EXPECT_EQ(CF_ENHMETAFILE, 14u);
  EXPECT_EQ(CF_DIBV5, 17u);
}

TEST_F(ClipboardTest, ReplacesFreesAndRefusesWhatItCannotTake) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_TRUE(OpenClipboard(nullptr));  // the same thread opens it again
  EXPECT_NE(SetClipboardData(CF_TEXT, Block("first")), nullptr);
  HGLOBAL second = Block("second");
  EXPECT_EQ(SetClipboardData(CF_TEXT, second), second);  // frees "first"
  EXPECT_EQ(Text(GetClipboardData(CF_TEXT)), "second");
  EXPECT_EQ(CountClipboardFormats(), 1);
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_DIB));
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));  // nothing is synthesized

  // Refused blocks stay the caller's: a fixed block, a null handle, format 0
  // and a clipboard switched to failing.
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 4);
  EXPECT_EQ(SetClipboardData(CF_DIB, fixed), nullptr);
  EXPECT_EQ(SetClipboardData(CF_DIB, nullptr), nullptr);
  HGLOBAL kept = Block("kept");
  EXPECT_EQ(SetClipboardData(0, kept), nullptr);
  VXHeadless::FailSetClipboardData(true);
  EXPECT_EQ(SetClipboardData(CF_DIB, kept), nullptr);
  EXPECT_EQ(Text(kept), "kept");
  VXHeadless::FailSetClipboardData(false);
  EXPECT_EQ(SetClipboardData(CF_DIB, kept), kept);
  EXPECT_EQ(GlobalFree(fixed), nullptr);
  EXPECT_EQ(EnumClipboardFormats(0), CF_TEXT);
  EXPECT_EQ(EnumClipboardFormats(CF_TEXT), CF_DIB);
  EXPECT_EQ(EnumClipboardFormats(CF_DIB), 0u);

  // An enhanced metafile handle is owned and deleted like a block.
  vxtest::TEmf emf(4, 4);
  const std::vector<uint8_t> bytes = emf.Finish();
  HENHMETAFILE mf = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
  ASSERT_NE(mf, nullptr);
  EXPECT_EQ(SetClipboardData(CF_ENHMETAFILE, mf), mf);
  EXPECT_TRUE(IsClipboardFormatAvailable(CF_ENHMETAFILE));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(CountClipboardFormats(), 0);
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
  EXPECT_FALSE(EmptyClipboard());  // closed
  HGLOBAL late = Block("late");
  EXPECT_EQ(SetClipboardData(CF_TEXT, late), nullptr);
  GlobalFree(late);
}

TEST_F(ClipboardTest, AnotherThreadWaitsUntilItIsClosed) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  ASSERT_NE(SetClipboardData(CF_TEXT, Block("mine")), nullptr);
  bool opened = true, closed = true, emptied = true;
  HANDLE seen = reinterpret_cast<HANDLE>(1);
  BOOL available = FALSE;
  std::thread([&] {
    opened = OpenClipboard(nullptr);
    closed = CloseClipboard();
    emptied = EmptyClipboard();
    seen = GetClipboardData(CF_TEXT);
    available = IsClipboardFormatAvailable(CF_TEXT);  // needs no open clipboard
  }).join();
  EXPECT_FALSE(opened);
  EXPECT_FALSE(closed);
  EXPECT_FALSE(emptied);
  EXPECT_EQ(seen, nullptr);
  EXPECT_TRUE(available);
  EXPECT_TRUE(CloseClipboard());
  std::thread([&] {
    opened = OpenClipboard(nullptr);
    seen = GetClipboardData(CF_TEXT);
    closed = CloseClipboard();
  }).join();
  EXPECT_TRUE(opened);
  EXPECT_TRUE(closed);
  ASSERT_NE(seen, nullptr);
}

}  // namespace
