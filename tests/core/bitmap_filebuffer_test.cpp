// TVXFileBuffer: the temporary-file store of file-backed bitmaps.

#include <cstring>

#include "core/filebuffer.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "tests/core/bitmap_fixture.h"

using namespace bitmap_test;

namespace {

class BitmapFileBufferTest : public BitmapEnv {};

TEST_F(BitmapFileBufferTest, EmptyStoreIsCreatedAndReleased) {
  const int fds = OpenFileCount();
  TVXFileBuffer fb;
  EXPECT_FALSE(fb.IsAllocated());
  ASSERT_TRUE(fb.AllocateFile(0, "IMG", true));
  EXPECT_TRUE(fb.IsAllocated());
  EXPECT_EQ(fb.Size(), 0);
  const std::string name = fb.FileName();
  ASSERT_EQ(name.substr(0, dir_.size()), dir_);
  const std::string base = name.substr(dir_.size());
  ASSERT_EQ(base.size(), std::string("IMG-12345678.tmp").size()) << base;
  EXPECT_EQ(base.substr(0, 4), "IMG-");
  EXPECT_EQ(base.substr(12), ".tmp");
  EXPECT_EQ(base.substr(4, 8).find_first_not_of("0123456789ABCDEF"), std::string::npos) << base;
  EXPECT_EQ(OpenFileCount(), fds + 1);
  fb.DeAllocate();
  EXPECT_FALSE(fb.IsAllocated());
  EXPECT_EQ(OpenFileCount(), fds);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BitmapFileBufferTest, NamesAreUniqueAndMemoryStoresOpenNoFile) {
  const int fds = OpenFileCount();
  TVXFileBuffer a, b, m;
  ASSERT_TRUE(a.AllocateFile(10, "ILIST", true));
  ASSERT_TRUE(b.AllocateFile(10, "ILIST", true));
  EXPECT_NE(a.FileName(), b.FileName());
  ASSERT_TRUE(m.AllocateFile(10, "ICACHE", false));
  EXPECT_EQ(OpenFileCount(), fds + 2);
  EXPECT_NE(m.FileName().find("ICACHE-"), std::string::npos);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BitmapFileBufferTest, MappingsReadAndWriteBackAsAsked) {
  for (bool disk : {true, false}) {
    SCOPED_TRACE(disk ? "disk" : "memory");
    TVXFileBuffer fb;
    ASSERT_TRUE(fb.AllocateFile(64, "IMG", disk));
    uint8_t* p = static_cast<uint8_t*>(fb.Map(8, 8, vxdRead | vxdWrite));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 0);
    std::memset(p, 0x11, 8);
    fb.UnMap(p);
    uint8_t* r = static_cast<uint8_t*>(fb.Map(8, 8, vxdRead));
    EXPECT_EQ(r[7], 0x11);
    r[7] = 0x22;  // read-only mapping: dropped
    fb.UnMap(r);
    r = static_cast<uint8_t*>(fb.Map(4, 8, vxdRead));
    EXPECT_EQ(r[3], 0);
    EXPECT_EQ(r[4], 0x11);
    EXPECT_EQ(r[7], 0x11);
    fb.UnMap(r);
    // Without vxdRead the copy is zeros whatever the store holds.
    uint8_t* w = static_cast<uint8_t*>(fb.Map(8, 8, vxdWrite));
    EXPECT_EQ(w[0], 0);
    fb.UnMap(w);
    // Past the end of the data: zeros.
    uint8_t* tail = static_cast<uint8_t*>(fb.Map(60, 16, vxdRead));
    ASSERT_NE(tail, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(tail[i], 0);
    fb.UnMap(tail);
    int dummy = 0;
    EXPECT_THROW(fb.UnMap(&dummy), EVXException);
    EXPECT_EQ(fb.Map(-1, 4, vxdRead), nullptr);
  }
}

TEST_F(BitmapFileBufferTest, CopyToCopiesLargeRanges) {
  const int64_t size = 2 * 1048576 + 524288;  // 2.5 MiB: three chunks
  TVXFileBuffer a, b;
  ASSERT_TRUE(a.AllocateFile(size + 100, "IMG", true));
  ASSERT_TRUE(b.AllocateFile(size + 100, "IMG", true));
  uint8_t* p = static_cast<uint8_t*>(a.Map(0, size + 100, vxdWrite));
  for (int64_t i = 0; i < size + 100; ++i) p[i] = uint8_t(i * 7 + (i >> 12));
  a.UnMap(p);
  a.CopyTo(&b, 50, size);
  uint8_t* q = static_cast<uint8_t*>(b.Map(0, size + 100, vxdRead));
  for (int64_t i = 0; i < size + 100; ++i) {
    const uint8_t want = (i >= 50 && i < 50 + size) ? uint8_t(i * 7 + (i >> 12)) : 0;
    ASSERT_EQ(q[i], want) << i;
  }
  b.UnMap(q);

  TMemoryStream ms;
  a.CopyTo(&ms, 10, 20);
  ASSERT_EQ(ms.Size(), 20);
  EXPECT_EQ(static_cast<uint8_t*>(ms.Memory())[0], uint8_t(10 * 7));
}

TEST_F(BitmapFileBufferTest, ReAllocateKeepsTheCommonPart) {
  TVXFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile(16, "IMG", true));
  uint8_t* p = static_cast<uint8_t*>(fb.Map(0, 16, vxdWrite));
  std::memset(p, 0xAB, 16);
  fb.UnMap(p);
  fb.ReAllocateFile(8);
  EXPECT_EQ(fb.Size(), 8);
  fb.ReAllocateFile(32);
  p = static_cast<uint8_t*>(fb.Map(0, 32, vxdRead));
  EXPECT_EQ(p[7], 0xAB);
  EXPECT_EQ(p[8], 0);
  fb.UnMap(p);
}

TEST_F(BitmapFileBufferTest, AFolderThatCannotHoldFilesFailsCleanly) {
  VXGetGlobalSettings()->SetDefTempPath(dir_ + "missing/");
  TVXFileBuffer fb;
  EXPECT_FALSE(fb.AllocateFile(10, "IMG", true));
  EXPECT_FALSE(fb.IsAllocated());
  // A bitmap then falls back to memory.
  TVXBitmap b;
  b.SetMinFileSize(0);
  ASSERT_TRUE(b.Allocate(4, 4, vx24RGB));
  EXPECT_EQ(b.Location(), vxMemory);
}

}  // namespace
