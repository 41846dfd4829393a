// The library's size limits on bitmap storage: pixels from the settings and
// bytes against what memory and the temporary folder can give.

#include "core/limits.h"
#include "core/mask.h"
#include "tests/core/bitmap_fixture.h"

using namespace bitmap_test;

namespace {

class BitmapLimitsTest : public BitmapEnv {
 protected:
  void SetUp() override {
    BitmapEnv::SetUp();
    savedPixels_ = VXGetGlobalSettings()->MaxImagePixels();
  }
  void TearDown() override {
    VXGetGlobalSettings()->SetMaxImagePixels(savedPixels_);
    BitmapEnv::TearDown();
  }
  int64_t savedPixels_ = 0;
};

TEST_F(BitmapLimitsTest, PixelLimitHoldsInMemoryAndInTemporaryFiles) {
  VXGetGlobalSettings()->SetMaxImagePixels(1000);
  struct Case {
    int32_t w, h;
    bool ok;
  } cases[] = {{100, 10, true}, {1000, 1, true}, {1, 1000, true}, {101, 10, false}, {1, 1001, false}};
  for (Store s : {Store::Memory, Store::File}) {
    for (const auto& c : cases) {
      TVXBitmap b;
      b.SetMinFileSize(s == Store::File ? 0 : (int64_t(1) << 40));
      EXPECT_EQ(b.Allocate(c.w, c.h, vx24RGB), c.ok) << StoreName(s) << " " << c.w << " x " << c.h;
      EXPECT_EQ(b.IsEmpty(), !c.ok);
      if (!c.ok) EXPECT_TRUE(TempFiles().empty()) << StoreName(s);
    }
  }
  // The alpha channel is a bitmap of its own under the same limit.
  TVXBitmap b(100, 10, vx24RGB);
  ASSERT_NE(b.AlphaChannel(), nullptr);
  EXPECT_EQ(b.AlphaChannel()->Width(), 100);
  // So is a selection mask: beyond the limit it gets no storage.
  TVXMask m;
  m.AllocateBits(101, 10, 8);
  EXPECT_EQ(m.Bits(), nullptr);
  m.AllocateBits(100, 10, 8);
  EXPECT_NE(m.Bits(), nullptr);
}

TEST_F(BitmapLimitsTest, BytesBeyondMemoryAndTemporarySpaceAreRefusedAtOnce) {
  // 10^12 pixels fit a raised pixel limit but not the machine: no sparse
  // temporary file stands in for them.
  VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 42);
  const int64_t bytes = int64_t(1000000) * 3 * 1000000;
  if (VXFreeStorage() >= bytes) GTEST_SKIP() << "this machine has 3 TB free";
  for (Store s : {Store::Memory, Store::File}) {
    TVXBitmap b;
    b.SetMinFileSize(s == Store::File ? 0 : (int64_t(1) << 40));
    EXPECT_FALSE(b.Allocate(1000000, 1000000, vx24RGB)) << StoreName(s);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_TRUE(TempFiles().empty());
  }
  EXPECT_FALSE(VXImageSizeAllowed(1000000, 1000000, 24));
  EXPECT_TRUE(VXStorageSizeAllowed(int64_t(64) << 20));
  EXPECT_FALSE(VXStorageSizeAllowed(-1));
}

TEST(ImageSizeLimits, CheckedProductsAndMessage) {
  struct Case {
    int64_t w, h, bits;
    bool ok;
  } cases[] = {
      {46340, 46340, 8, true},            // just below 2^31 pixels
      {65536, 32768, 1, true},            // exactly 2^31
      {65536, 32769, 1, false},           // one row more
      {0, 10, 24, false},                 // empty
      {10, -1, 24, false},                // negative
      {INT64_MAX, 2, 24, false},          // the product overflows
      {10, 10, 0, false},                 // no bits
  };
  for (const auto& c : cases) EXPECT_EQ(VXImageSizeAllowed(c.w, c.h, c.bits), c.ok) << c.w << " x " << c.h;
  try {
    VXCheckImageSize(100000, 100000, 32);
    FAIL() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Image too large: 100000 x 100000 pixels");
  }
}

}  // namespace
