// Bitmap storage: one memory block, fragments, temporary files; allocation,
// its failures and the operations that re-lay or move the rows.

#include <functional>
#include <thread>

#include "core/icc.h"
#include "core/mask.h"
#include "core/streams.h"

#include "core/vxdefs.h"
#include "core/workbitmap.h"
#include "tests/core/bitmap_fixture.h"

using namespace bitmap_test;

namespace {

class BitmapStorageTest : public BitmapEnv {};

constexpr Store kStores[] = {Store::Memory, Store::Fragments, Store::File};

TEST_F(BitmapStorageTest, EveryFormatGivesTheSameRowsFromEveryStore) {
  for (TVXPixelFormat f : kAllFormats) {
    std::vector<std::vector<uint8_t>> results;
    std::vector<std::vector<uint8_t>> alphas;
    std::vector<std::vector<uint8_t>> copies;
    for (Store s : kStores) {
      SCOPED_TRACE(std::string(StoreName(s)) + " format " + std::to_string(int(f)));
      auto b = Make(13, 7, f, s);
      EXPECT_EQ(b->Width(), 13);
      EXPECT_EQ(b->Height(), 7);
      EXPECT_EQ(b->BitCount(), VXPixelFormatBitCount[f]);
      EXPECT_EQ(b->ChannelCount(), VXPixelFormatChannelCount[f]);
      EXPECT_EQ(b->RowLen(), VXBitmapRowLen(13, VXPixelFormatBitCount[f], 32));
      EXPECT_EQ(b->PaletteLength(), f == vx8p ? 256 : 0);
      // New storage reads as zeros, padding included.
      EXPECT_EQ(RowBytes(*b), std::vector<uint8_t>(size_t(b->RowLen() * 7), 0));
      FillPattern(*b);
      results.push_back(RowBytes(*b));
      // The alpha channel is created opaque, and follows the writes.
      TVXBitmap* a = b->AlphaChannel();
      ASSERT_NE(a, nullptr);
      EXPECT_TRUE(a->IsAlpha());
      EXPECT_EQ(a->PixelFormat(), vx8g);
      EXPECT_TRUE(a->Full());
      for (int32_t y = 0; y < 7; ++y) {
        const uint8_t* p = static_cast<const uint8_t*>(a->GetScanLine(y));
        for (int32_t x = 0; x < 13; ++x) ASSERT_EQ(p[x], 255);
      }
      for (int32_t y = 0; y < 7; ++y)
        for (int32_t x = 0; x < 13; ++x) static_cast<uint8_t*>(a->GetScanLine(y))[x] = uint8_t(x * 19 + y);
      alphas.push_back(PixelBytes(*a));
      // A clipped rectangle copied into a bitmap of another store.
      auto dst = Make(5, 4, f, s == Store::File ? Store::Memory : Store::File);
      b->CopyRectTo(dst.get(), 10, 4, -2, 1, 6, 6);
      copies.push_back(PixelBytes(*dst));
    }
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0], results[1]) << "fragments differ, format " << int(f);
    EXPECT_EQ(results[0], results[2]) << "file differs, format " << int(f);
    EXPECT_EQ(alphas[0], alphas[1]);
    EXPECT_EQ(alphas[0], alphas[2]);
    EXPECT_EQ(copies[0], copies[1]);
    EXPECT_EQ(copies[0], copies[2]);
  }
  EXPECT_TRUE(TempFiles().empty()) << "temporary files left behind";
}

TEST_F(BitmapStorageTest, TemporaryFilesAreReleasedWithTheImage) {
  const int fds = OpenFileCount();
  {
    auto b = Make(40, 30, vx24RGB, Store::File);
    auto c = Make(40, 30, vx24RGB, Store::File);
    b->AlphaChannel();  // in memory: the channel is below its MinFileSize
    EXPECT_EQ(OpenFileCount(), fds + 2);
    b->FreeImage(true);
    EXPECT_EQ(OpenFileCount(), fds + 1);
    c->SetMinFileSize(1 << 20);
    c->SetLocation(vxMemory);
    EXPECT_EQ(c->Location(), vxMemory);
    EXPECT_EQ(OpenFileCount(), fds);
    c->SetMinFileSize(0);
    c->SetLocation(vxFile);
    EXPECT_EQ(OpenFileCount(), fds + 1);
  }
  EXPECT_EQ(OpenFileCount(), fds);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(BitmapStorageTest, SizeDecidesTheLocation) {
  VXGetGlobalSettings()->SetDefMinFileSize(0);
  TVXBitmap b;  // takes MinFileSize from the settings
  EXPECT_EQ(b.MinFileSize(), 0);
  EXPECT_EQ(b.Location(), vxFile);
  ASSERT_TRUE(b.Allocate(4, 4, vx8g));
  EXPECT_EQ(b.Location(), vxFile);

  TVXBitmap m;
  m.SetMinFileSize(1000);
  ASSERT_TRUE(m.Allocate(4, 4, vx8g));  // 16 bytes: memory although Create asks for a file
  EXPECT_EQ(m.Location(), vxMemory);
  m.SetLocation(vxFile);  // still small: stays in memory
  EXPECT_EQ(m.Location(), vxMemory);

  TVXBitmap f;
  f.SetMinFileSize(10);
  ASSERT_TRUE(f.Allocate(10, 10, vx8g));
  FillPattern(f);
  const auto before = RowBytes(f);
  EXPECT_EQ(f.Location(), vxFile);
  f.SetLocation(vxMemory);  // larger than MinFileSize: stays in the file
  EXPECT_EQ(f.Location(), vxFile);
  f.SetMinFileSize(1000);
  f.SetLocation(vxMemory);
  EXPECT_EQ(f.Location(), vxMemory);
  EXPECT_EQ(RowBytes(f), before);

  f.SetLocation(vxTBitmap);  // a platform bitmap takes the rows
  EXPECT_EQ(f.Location(), vxTBitmap);
  EXPECT_EQ(RowBytes(f), before);
}

TEST_F(BitmapStorageTest, FailedAllocationsLeaveAnEmptyBitmap) {
  struct Case {
    const char* name;
    int32_t w, h;
    TVXPixelFormat f;
  };
  const Case cases[] = {
      {"zero width", 0, 10, vx24RGB},
      {"negative height", 10, -1, vx24RGB},
      {"vxnull", 10, 10, vxnull},
      {"format out of range", 10, 10, TVXPixelFormat(11)},
      {"size overflows 64 bits", 2147483647, 2147483647, vx48RGB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TVXBitmap b(5, 5, vx24RGB);
    EXPECT_FALSE(b.Allocate(c.w, c.h, c.f));
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_TRUE(b.IsEmpty());
  }
}

TEST_F(BitmapStorageTest, NoStorageAnywhereFailsCleanly) {
  auto* s = VXGetGlobalSettings();
  s->SetAutoLocateOnDisk(false);
  VXSetMaxMemoryBlock(0);
  TVXBitmap b;
  b.SetMinFileSize(int64_t(1) << 40);
  EXPECT_FALSE(b.Allocate(64, 64, vx24RGB));
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);

  // With the disk allowed, the image goes to a temporary file instead.
  s->SetAutoLocateOnDisk(true);
  EXPECT_TRUE(b.Allocate(64, 64, vx24RGB));
  EXPECT_EQ(b.Location(), vxFile);
  VXSetMaxMemoryBlock(-1);
  FillPattern(b);
  EXPECT_EQ(static_cast<uint8_t*>(b.GetScanLine(63))[5], Pattern(63, 5));

  // Without fragments, a block that is too large fails straight to the disk.
  s->SetAutoFragmentBitmap(false);
  VXSetMaxMemoryBlock(1000);
  TVXBitmap c;
  c.SetMinFileSize(int64_t(1) << 40);
  EXPECT_TRUE(c.Allocate(64, 64, vx24RGB));
  EXPECT_EQ(c.Location(), vxFile);
  EXPECT_EQ(c.FragmentsCount(), 0);
}

TEST_F(BitmapStorageTest, AllocateKeepsPixelsOnlyWhenNothingChangedStorage) {
  TVXBitmap b;
  b.SetMinFileSize(1 << 20);
  ASSERT_TRUE(b.Allocate(6, 3, vx8g));
  FillPattern(b);
  const auto filled = RowBytes(b);
  ASSERT_TRUE(b.Allocate(6, 3, vx8g));
  EXPECT_EQ(RowBytes(b), filled);  // same size and format: kept

  TVXBitmap src(6, 3, vx8g);
  b.Assign(&src);  // an Assign forces the next allocation
  FillPattern(b);
  ASSERT_TRUE(b.Allocate(6, 3, vx8g));
  EXPECT_EQ(RowBytes(b), std::vector<uint8_t>(size_t(b.RowLen() * 3), 0));

  ASSERT_TRUE(b.Allocate(7, 3, vx8g));  // another size: fresh zero rows
  EXPECT_EQ(RowBytes(b), std::vector<uint8_t>(size_t(b.RowLen() * 3), 0));

  // A Location write leaves a freshly laid image behind, whether the rows
  // moved or the size kept them where they were.
  for (TVXLocation asked : {vxFile, vxMemory}) {
    SCOPED_TRACE(int(asked));
    TVXBitmap c;
    c.SetMinFileSize(asked == vxFile ? (1 << 20) : 0);  // the size overrules the request
    ASSERT_TRUE(c.Allocate(6, 3, vx8g));
    FillPattern(c);
    const auto rows = RowBytes(c);
    const TVXLocation before = c.Location();
    c.SetLocation(asked);
    EXPECT_EQ(c.Location(), before);
    ASSERT_TRUE(c.Allocate(6, 3, vx8g));
    EXPECT_EQ(RowBytes(c), rows);
  }
  TVXBitmap d;
  d.SetMinFileSize(1 << 20);
  ASSERT_TRUE(d.Allocate(6, 3, vx8g));
  FillPattern(d);
  const auto rows = RowBytes(d);
  d.SetMinFileSize(0);
  d.SetLocation(vxFile);  // moves into a temporary file
  ASSERT_EQ(d.Location(), vxFile);
  ASSERT_TRUE(d.Allocate(6, 3, vx8g));
  EXPECT_EQ(RowBytes(d), rows);
}

TEST_F(BitmapStorageTest, SetWidthAndHeightKeepTheCommonArea) {
  for (Store s : kStores) {
    SCOPED_TRACE(StoreName(s));
    auto b = Make(9, 6, vx24RGB, s);
    FillPattern(*b);
    b->AlphaChannel()->FillRect(0, 0, 8, 5, 77);
    const auto before = PixelBytes(*b);
    b->SetWidth(5);
    b->SetHeight(8);
    EXPECT_EQ(b->Width(), 5);
    EXPECT_EQ(b->Height(), 8);
    EXPECT_EQ(b->AlphaChannelOpt()->Width(), 5);
    EXPECT_EQ(b->AlphaChannelOpt()->Height(), 8);
    for (int32_t y = 0; y < 8; ++y) {
      const uint8_t* p = static_cast<const uint8_t*>(b->GetScanLine(y));
      for (int32_t i = 0; i < 15; ++i) {
        const uint8_t want = y < 6 ? before[size_t(y * 27 + i)] : 0;
        ASSERT_EQ(p[i], want) << "row " << y << " byte " << i;
      }
      const uint8_t* a = static_cast<const uint8_t*>(b->AlphaChannelOpt()->GetScanLine(y));
      for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(a[x], y < 6 ? 77 : 0) << "alpha row " << y;
    }
  }
}

TEST_F(BitmapStorageTest, FailedResizeKeepsTheImageAndRaises) {
  TVXBitmap b;
  b.SetMinFileSize(int64_t(1) << 40);
  ASSERT_TRUE(b.Allocate(16, 16, vx8g));
  FillPattern(b);
  const auto before = RowBytes(b);
  auto* s = VXGetGlobalSettings();
  s->SetAutoLocateOnDisk(false);
  s->SetAutoFragmentBitmap(false);
  VXSetMaxMemoryBlock(0);
  EXPECT_THROW(b.SetWidth(32), EVXException);
  EXPECT_THROW(b.SetBitAlignment(8), EVXException);
  VXSetMaxMemoryBlock(-1);
  EXPECT_EQ(b.Width(), 16);
  EXPECT_EQ(b.BitAlignment(), 32);
  EXPECT_EQ(RowBytes(b), before);
}

TEST_F(BitmapStorageTest, BitAlignmentRelaysRowsInEveryStore) {
  for (Store s : kStores) {
    SCOPED_TRACE(StoreName(s));
    auto b = Make(3, 4, vx24RGB, s);
    EXPECT_EQ(b->RowLen(), 12);
    FillPattern(*b);
    const auto before = PixelBytes(*b);
    b->SetBitAlignment(8);
    EXPECT_EQ(b->BitAlignment(), 8);
    EXPECT_EQ(b->RowLen(), 9);
    EXPECT_EQ(PixelBytes(*b), before);
    EXPECT_EQ(b->Location(), s == Store::File ? vxFile : vxMemory);
  }
  // An empty bitmap keeps the alignment for its next allocation.
  TVXBitmap e;
  e.SetBitAlignment(8);
  EXPECT_EQ(e.BitAlignment(), 8);
  ASSERT_TRUE(e.Allocate(9, 2, vx1g));
  EXPECT_EQ(e.RowLen(), 2);
  EXPECT_THROW(e.SetBitAlignment(12), EVXException);
}

TEST_F(BitmapStorageTest, SwitchToMovesTheImage) {
  for (Store s : kStores) {
    SCOPED_TRACE(StoreName(s));
    auto a = Make(7, 5, vx8p, s);
    FillPattern(*a);
    a->SetPalette(3, TRGB{1, 2, 3});
    a->AlphaChannel()->FillRect(0, 0, 0, 0, 9);
    const auto rows = RowBytes(*a);
    TVXBitmap t(2, 2, vx24RGB);
    a->SwitchTo(&t);
    EXPECT_TRUE(a->IsEmpty());
    EXPECT_EQ(a->PixelFormat(), vxnull);
    EXPECT_FALSE(a->HasAlphaChannel());
    EXPECT_EQ(t.PixelFormat(), vx8p);
    EXPECT_EQ(t.Location(), s == Store::File ? vxFile : vxMemory);
    EXPECT_EQ(RowBytes(t), rows);
    EXPECT_EQ(t.Palette(3), (TRGB{1, 2, 3}));
    ASSERT_TRUE(t.HasAlphaChannel());
    EXPECT_EQ(static_cast<uint8_t*>(t.AlphaChannelOpt()->GetScanLine(0))[0], 9);
    // The bitmap given away allocates anew.
    ASSERT_TRUE(a->Allocate(7, 5, vx8p));
    EXPECT_EQ(RowBytes(*a), std::vector<uint8_t>(rows.size(), 0));
  }
}

TEST_F(BitmapStorageTest, AssignCopiesImageAlphaAndAttributes) {
  for (Store s : kStores) {
    for (Store d : kStores) {
      SCOPED_TRACE(std::string(StoreName(s)) + " -> " + StoreName(d));
      auto src = Make(11, 6, vx24RGB, s);
      FillPattern(*src);
      src->AlphaChannel()->FillRect(2, 2, 4, 4, 10);
      src->SetBlackValue(3);
      src->SetWhiteValue(200);
      src->SetContrast(-4);
      src->SetChannelOffset(2, 5);
      src->SetFull(true);
      auto dst = Make(3, 3, vx8g, d);
      dst->SetMinFileSize(d == Store::File ? 0 : (int64_t(1) << 40));
      dst->Assign(src.get());
      EXPECT_EQ(dst->PixelFormat(), vx24RGB);
      EXPECT_EQ(dst->Width(), 11);
      EXPECT_EQ(RowBytes(*dst), RowBytes(*src));
      ASSERT_TRUE(dst->HasAlphaChannel());
      EXPECT_EQ(PixelBytes(*dst->AlphaChannelOpt()), PixelBytes(*src->AlphaChannelOpt()));
      EXPECT_EQ(dst->BlackValue(), 3);
      EXPECT_EQ(dst->WhiteValue(), 200);
      EXPECT_EQ(dst->Contrast(), -4);
      EXPECT_EQ(dst->ChannelOffset(2), 5);
      EXPECT_TRUE(dst->EnableChannelOffset());
      EXPECT_TRUE(dst->Full());
    }
  }
}

TEST_F(BitmapStorageTest, AssignAndAssignImageHandleTheAlphaChannel) {
  TVXBitmap src(4, 4, vx24RGB);
  TVXBitmap a(4, 4, vx24RGB);
  a.AlphaChannel();
  a.Assign(&src);
  EXPECT_FALSE(a.HasAlphaChannel());  // Assign from a source without alpha removes it

  TVXBitmap b(4, 4, vx24RGB);
  b.AlphaChannel()->FillRect(0, 0, 3, 3, 5);
  b.AssignImage(&src);
  ASSERT_TRUE(b.HasAlphaChannel());  // AssignImage keeps it
  EXPECT_EQ(static_cast<uint8_t*>(b.AlphaChannelOpt()->GetScanLine(1))[1], 5);

  TVXBitmap empty;
  b.AssignImage(&empty);  // nothing for an empty source
  EXPECT_EQ(b.Width(), 4);
}

TEST_F(BitmapStorageTest, AssignBetweenOriginsKeepsLogicalRows) {
  for (Store s : kStores) {
    for (Store d : kStores) {
      SCOPED_TRACE(std::string(StoreName(s)) + " -> " + StoreName(d));
      auto src = Make(5, 4, vx8g, s);
      FillPattern(*src);
      src->SetOrigin(vxboTOPLEFT);
      const auto rows = RowBytes(*src);
      auto dst = Make(5, 4, vx8g, d);
      dst->Assign(src.get());
      EXPECT_EQ(RowBytes(*dst), rows);
      // AssignImage keeps the target's origin, and the rows still match.
      auto other = Make(5, 4, vx8g, d);
      other->AssignImage(src.get());
      EXPECT_EQ(other->Origin(), vxboBOTTOMLEFT);
      EXPECT_EQ(RowBytes(*other), rows);
    }
  }
}

TEST_F(BitmapStorageTest, CheckFormat) {
  TVXBitmap b(4, 2, vx8p);
  EXPECT_TRUE(b.CheckFormat({}, false));
  EXPECT_TRUE(b.CheckFormat({vx8p, vx1g}, false));
  EXPECT_FALSE(b.CheckFormat({vx24RGB}, false));
  EXPECT_EQ(b.PixelFormat(), vx8p);
  // vx8p falls back to vx24RGB first, then vxCMYK...
  EXPECT_TRUE(b.CheckFormat({vxCMYK, vx24RGB}, true));
  EXPECT_EQ(b.PixelFormat(), vx24RGB);
  EXPECT_TRUE(b.CheckFormat({vx8p, vx8g}, true));  // vx24RGB: vxCMYK, vxCIELab, vx48RGB, vx8p...
  EXPECT_EQ(b.PixelFormat(), vx8p);
  EXPECT_TRUE(b.CheckFormat({vx32f}, true));  // not in the row: scan from vx32RGB down
  EXPECT_EQ(b.PixelFormat(), vx32f);
}

TEST_F(BitmapStorageTest, EncapsulateAndCopyFromMemory) {
  // Caller's memory: 3 rows of 4 bytes, top row first with vxboTOPLEFT.
  uint8_t mem[12];
  for (int i = 0; i < 12; ++i) mem[i] = uint8_t(i);
  {
    TVXBitmap b;
    b.EncapsulateMemory(mem, 4, 3, vx8g, true, vxboTOPLEFT);
    EXPECT_TRUE(b.EncapsulatedFromMemory());
    EXPECT_EQ(b.GetScanLine(0), mem);
    EXPECT_EQ(b.GetScanLine(2), mem + 8);
    static_cast<uint8_t*>(b.GetScanLine(1))[0] = 99;
  }  // the caller's memory is not freed
  EXPECT_EQ(mem[4], 99);

  TVXBitmap c;
  ASSERT_TRUE(c.CopyFromMemory(mem, 4, 3, vx8g, vxboBOTTOMLEFT, 4));
  EXPECT_FALSE(c.EncapsulatedFromMemory());
  EXPECT_EQ(static_cast<uint8_t*>(c.GetScanLine(0))[0], 8);  // bottom-up: row 0 is the last in memory
  EXPECT_EQ(static_cast<uint8_t*>(c.GetScanLine(2))[3], 3);
  EXPECT_FALSE(c.CopyFromMemory(mem, 4, 3, vx8g, vxboBOTTOMLEFT, 5));  // rows longer than the bitmap's
}

TEST_F(BitmapStorageTest, ResizeAlignsAndFills) {
  for (Store s : kStores) {
    SCOPED_TRACE(StoreName(s));
    auto b = Make(4, 4, vx8g, s);
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 4; ++x) static_cast<uint8_t*>(b->GetScanLine(y))[x] = uint8_t(10 * y + x);
    b->AlphaChannel()->FillRect(0, 0, 3, 3, 100);
    b->Resize(2, 2, 0, 0, vxhCenter, vxvCenter);
    ASSERT_EQ(b->Width(), 2);
    ASSERT_EQ(b->Height(), 2);
    EXPECT_EQ(PixelBytes(*b), (std::vector<uint8_t>{11, 12, 21, 22}));
    b->Resize(4, 4, 7, 50, vxhCenter, vxvCenter);
    EXPECT_EQ(PixelBytes(*b), (std::vector<uint8_t>{7, 7, 7, 7, 7, 11, 12, 7, 7, 21, 22, 7, 7, 7, 7, 7}));
    EXPECT_EQ(PixelBytes(*b->AlphaChannelOpt()),
              (std::vector<uint8_t>{50, 50, 50, 50, 50, 100, 100, 50, 50, 100, 100, 50, 50, 50, 50, 50}));
  }
}

TEST_F(BitmapStorageTest, ThreadsReadAndWriteDisjointRowsOfAMemoryBitmap) {
  for (Store s : {Store::Memory, Store::Fragments}) {
    SCOPED_TRACE(StoreName(s));
    auto src = Make(257, 96, vx24RGB, s);
    FillPattern(*src);
    auto dst = Make(257, 96, vx24RGB, s);
    const TVXBitmap* csrc = src.get();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        for (int pass = 0; pass < 50; ++pass) {
          for (int32_t y = t; y < 96; y += 8) {
            const uint8_t* in = static_cast<const uint8_t*>(csrc->GetScanLine(y));
            uint8_t* out = static_cast<uint8_t*>(dst->GetScanLine(y));
            for (int i = 0; i < 257 * 3; ++i) out[i] = uint8_t(in[i] ^ 0x5A);
          }
        }
      });
    }
    for (auto& th : threads) th.join();
    for (int32_t y = 0; y < 96; ++y) {
      const uint8_t* p = static_cast<const uint8_t*>(dst->GetScanLine(y));
      for (int i = 0; i < 257 * 3; ++i) ASSERT_EQ(p[i], uint8_t(Pattern(y, i) ^ 0x5A));
    }
  }
}

TEST(BitmapMemoryBlock, AllocBlockIsZeroFilledAndTagged) {
  void* p = VXAllocBlock(100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<uint8_t*>(p)[-1], 0);  // heap block below 1 MiB
  for (int i = 0; i < 100; ++i) ASSERT_EQ(static_cast<uint8_t*>(p)[i], 0);
  VXFreeBlock(p);
  EXPECT_EQ(p, nullptr);
  // System blocks (1 MiB and up): zero and writable to their last byte.
  for (int64_t size : {int64_t(1048576), int64_t(3) * 1048576 + 5}) {
    void* q = VXAllocBlock(size);
    ASSERT_NE(q, nullptr);
    auto* b = static_cast<uint8_t*>(q);
    EXPECT_EQ(b[-1], 1);
    for (int64_t i = 0; i < size; i += 4093) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[size - 1], 0);
    std::memset(b, 0xA5, size_t(size));
    VXFreeBlock(q);
    EXPECT_EQ(q, nullptr);
  }
  EXPECT_EQ(VXAllocBlock(-1), nullptr);
}

}  // namespace

namespace {

TEST_F(BitmapStorageTest, CreateFromARectangleCopiesPixelsAlphaAndPalette) {
  for (Store s : kStores) {
    SCOPED_TRACE(StoreName(s));
    auto src = Make(6, 5, vx8p, s);
    FillPattern(*src);
    src->SetPalette(7, TRGB{7, 8, 9});
    src->AlphaChannel()->FillRect(2, 1, 2, 1, 33);
    TVXBitmap crop(src.get(), Rect(2, 1, 4, 3));
    ASSERT_EQ(crop.Width(), 3);
    ASSERT_EQ(crop.Height(), 3);
    EXPECT_EQ(crop.PixelFormat(), vx8p);
    EXPECT_EQ(crop.Palette(7), (TRGB{7, 8, 9}));
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 3; ++x)
        ASSERT_EQ(static_cast<uint8_t*>(crop.GetScanLine(y))[x], Pattern(y + 1, x + 2)) << x << "," << y;
    ASSERT_TRUE(crop.HasAlphaChannel());
    EXPECT_EQ(PixelBytes(*crop.AlphaChannelOpt()), (std::vector<uint8_t>{33, 255, 255, 255, 255, 255, 255, 255, 255}));
  }
}

TEST_F(BitmapStorageTest, AdjustmentsMaskIsCreatedOnFirstRead) {
  TVXBitmap b(3, 3, vx8g);
  EXPECT_FALSE(b.HasAdjustmentsMask());
  TVXMask* m = b.AdjustmentsMask();
  ASSERT_NE(m, nullptr);
  EXPECT_TRUE(b.HasAdjustmentsMask());
  EXPECT_EQ(b.AdjustmentsMask(), m);
  EXPECT_TRUE(m->IsEmpty());
}

}  // namespace

namespace {

TEST_F(BitmapStorageTest, ProfilesOfANewBitmap) {
  TVXBitmap b(2, 2, vx24RGB);
  ASSERT_NE(b.ColorProfile(), nullptr);
  EXPECT_FALSE(b.ColorProfile()->IsValid());  // empty at creation
  ASSERT_NE(b.RenderColorProfile(), nullptr);
  EXPECT_TRUE(b.RenderColorProfile()->IsValid());  // sRGB
  EXPECT_EQ(b.RenderColorProfile(), b.RenderColorProfile());
}

// ---------------------------------------------------------------------------
// The work bitmap of the processing routines.

TEST_F(BitmapStorageTest, WorkBitmapRowsLieBottomUpInABlockAndTopDownInFragments) {
  TVXWorkBitmap w(10, 8, 24);
  ASSERT_NE(w.Bits(), nullptr);
  EXPECT_EQ(w.Rowlen(), 32);
  for (int32_t row = 0; row < 8; ++row) EXPECT_EQ(w.GetScanline(row), w.Bits() + 32 * (8 - 1 - row)) << row;
  EXPECT_EQ(reinterpret_cast<uint8_t*>(w.GetPRGB(2, 3)), w.GetScanline(2) + 9);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(w.GetPDouble(2, 3)), w.GetScanline(2) + 24);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(w.GetPSingle(2, 3)), w.GetScanline(2) + 12);

  // The same size again keeps the content; another bit count reallocates.
  *w.GetPByte(5, 1) = 77;
  w.AllocateBits(10, 8, 24);
  EXPECT_EQ(*w.GetPByte(5, 1), 77);
  w.AllocateBits(10, 8, 8);
  EXPECT_EQ(w.Rowlen(), 12);
  EXPECT_EQ(*w.GetPByte(5, 1), 0);

  // No block: the rows go into fragments, top-down, zeroed.
  VXSetMaxMemoryBlock(100);
  TVXWorkBitmap f(10, 9, 8);
  VXSetMaxMemoryBlock(-1);
  EXPECT_EQ(f.Bits(), nullptr);
  ASSERT_EQ(f.FragmentsCount(), 3);
  EXPECT_EQ(f.RowsPerFragment(), 3);
  for (int32_t row = 0; row < 9; ++row) {
    EXPECT_EQ(f.GetScanline(row) - f.GetScanline(row / 3 * 3), (row % 3) * 12) << row;
    for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(f.GetScanline(row)[x], 0);
    f.GetScanline(row)[0] = uint8_t(row);
  }
  for (int32_t row = 0; row < 9; ++row) EXPECT_EQ(f.GetScanline(row)[0], row);

  f.FreeBits();
  EXPECT_EQ(f.Width(), 0);
  EXPECT_EQ(f.Height(), 0);
  EXPECT_EQ(f.FragmentsCount(), 0);
}

TEST_F(BitmapStorageTest, WorkBitmapSetBitCountsFromTheMostSignificantBit) {
  TVXWorkBitmap w(20, 2, 1);
  w.SetBit(0, 9, 1);
  EXPECT_EQ(w.GetScanline(0)[1], 64);
  EXPECT_EQ(w.GetScanline(0)[0], 0);
  EXPECT_EQ(w.GetScanline(1)[1], 0);
  w.SetBit(0, 8, 5);
  w.SetBit(0, 0, 1);
  EXPECT_EQ(w.GetScanline(0)[1], 192);
  EXPECT_EQ(w.GetScanline(0)[0], 128);
  w.SetBit(0, 9, 0);
  EXPECT_EQ(w.GetScanline(0)[1], 128);
}

TEST_F(BitmapStorageTest, WorkBitmapBeyondThePixelLimitOrMemoryRaisesAndStaysEmpty) {
  auto* s = VXGetGlobalSettings();
  const int64_t savedPixels = s->MaxImagePixels();
  TVXWorkBitmap w(4, 4, 8);
  s->SetMaxImagePixels(1000);
  // 65536 x 65537 wraps to 65536 in 32 bits.
  struct Case {
    int32_t w, h, bits;
  } cases[] = {{101, 10, 8}, {65536, 65537, 8}, {INT32_MAX, 2, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    EXPECT_THROW(w.AllocateBits(c.w, c.h, c.bits), EVXException);
    EXPECT_EQ(w.Width(), 0);
    EXPECT_EQ(w.Height(), 0);
    EXPECT_EQ(w.Bits(), nullptr);
  }
  s->SetMaxImagePixels(savedPixels);

  const bool savedFragments = s->AutoFragmentBitmap();
  s->SetAutoFragmentBitmap(false);
  VXSetMaxMemoryBlock(100);
  TVXWorkBitmap e;
  EXPECT_THROW(e.AllocateBits(64, 64, 8), std::bad_alloc);
  VXSetMaxMemoryBlock(-1);
  s->SetAutoFragmentBitmap(savedFragments);
  EXPECT_EQ(e.Width(), 0);
  EXPECT_EQ(e.FragmentsCount(), 0);
  EXPECT_EQ(e.Bits(), nullptr);
}

}  // namespace

// The core alone has no I/O component to read or write through.
TEST(BitmapIOHooks, WithoutTheIOLibraryReadAndWriteRaise) {
  TVXBitmap b(2, 2, vx24RGB);
  TMemoryStream ms;
  const uint8_t bytes[4] = {1, 2, 3, 4};
  const struct {
    std::function<void()> Call;
    const char* Message;
  } cases[] = {
      {[&] { b.Read(std::string("x.png")); }, "TVXBitmap.Read: the I/O library is not linked"},
      {[&] { b.Read(&ms, 8); }, "TVXBitmap.Read: the I/O library is not linked"},
      {[&] { b.Read(bytes, 4, 8); }, "TVXBitmap.Read: the I/O library is not linked"},
      {[&] { TVXBitmap c(std::string("x.png"), nullptr); }, "TVXBitmap.Read: the I/O library is not linked"},
      {[&] { TVXBitmap c(bytes, 4, 0); }, "TVXBitmap.Read: the I/O library is not linked"},
      {[&] { b.Write(std::string("x.png")); }, "TVXBitmap.Write: the I/O library is not linked"},
      {[&] { b.Write(&ms, 8); }, "TVXBitmap.Write: the I/O library is not linked"},
  };
  for (const auto& c : cases) {
    try {
      c.Call();
      ADD_FAILURE() << "no exception: " << c.Message;
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
  EXPECT_EQ(b.Width(), 2);
}
