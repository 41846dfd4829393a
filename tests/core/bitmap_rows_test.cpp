// Row access (memory layout, origin, file rows, segments), virtual rows and
// the alpha channel operations.

#include "tests/core/bitmap_fixture.h"

using namespace bitmap_test;

namespace {

class BitmapRowsTest : public BitmapEnv {};

TEST_F(BitmapRowsTest, OneBlockHoldsRowsBottomUpUntilTheOriginChanges) {
  TVXBitmap b;
  b.SetMinFileSize(1 << 20);
  ASSERT_TRUE(b.Allocate(5, 3, vx24RGB));
  ASSERT_EQ(b.Location(), vxMemory);
  uint8_t* mem = static_cast<uint8_t*>(b.Memory());
  ASSERT_NE(mem, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mem) % 64, 0u);
  EXPECT_EQ(b.GetScanLine(0), mem + 2 * b.RowLen());
  EXPECT_EQ(b.GetScanLine(2), mem);
  FillPattern(b);
  const auto before = RowBytes(b);
  b.SetOrigin(vxboTOPLEFT);
  EXPECT_EQ(b.GetScanLine(0), mem);
  EXPECT_EQ(RowBytes(b), before);  // the image is unchanged for callers
  b.SetOrigin(vxboBOTTOMLEFT);
  EXPECT_EQ(RowBytes(b), before);
}

TEST_F(BitmapRowsTest, FragmentsHoldRowsTopDown) {
  auto b = Make(8, 10, vx8g, Store::Fragments);
  EXPECT_EQ(b->FragmentsCount(), 4);  // 3 rows a fragment: 3 + 3 + 3 + 1
  EXPECT_EQ(b->Memory(), nullptr);
  uint8_t* r0 = static_cast<uint8_t*>(b->GetScanLine(0));
  EXPECT_EQ(static_cast<uint8_t*>(b->GetScanLine(1)), r0 + b->RowLen());
  EXPECT_EQ(static_cast<uint8_t*>(b->GetScanLine(2)), r0 + 2 * b->RowLen());
}

TEST_F(BitmapRowsTest, FileRowsAreWrittenBackWhenTheNextRowIsAsked) {
  auto b = Make(4, 3, vx8g, Store::File);
  uint8_t* r0 = static_cast<uint8_t*>(b->GetScanLine(0));
  r0[1] = 42;
  b->GetScanLine(2);
  EXPECT_EQ(static_cast<uint8_t*>(b->GetScanLine(0))[1], 42);

  // Rows held with GetRow stay valid together; FreeRow writes one back.
  uint8_t* a = static_cast<uint8_t*>(b->GetRow(1));
  uint8_t* c = static_cast<uint8_t*>(b->GetRow(2));
  a[0] = 7;
  c[0] = 8;
  b->FreeRow(1);
  b->FreeRow(0);  // not mapped: ignored
  EXPECT_EQ(c[0], 8);
  EXPECT_EQ(static_cast<uint8_t*>(b->GetScanLine(1))[0], 7);
  b->FreeRow(2);
  EXPECT_EQ(static_cast<uint8_t*>(b->GetScanLine(2))[0], 8);

  // With read-only access, changes of a mapped row are dropped.
  b->SetAccess(vxdRead);
  static_cast<uint8_t*>(b->GetScanLine(1))[0] = 99;
  b->GetScanLine(0);
  b->SetAccess(vxdRead | vxdWrite);
  EXPECT_EQ(static_cast<uint8_t*>(b->GetScanLine(1))[0], 7);
}

TEST_F(BitmapRowsTest, SegmentsStartAtTheColumn) {
  TVXBitmap rgb(10, 3, vx24RGB);
  EXPECT_EQ(rgb.GetSegment(1, 5, 2), static_cast<uint8_t*>(rgb.GetScanLine(1)) + 15);
  TVXBitmap bw(20, 3, vx1g);
  EXPECT_EQ(bw.GetSegment(2, 9, 4), bw.GetScanLine(2));
  auto f = Make(10, 3, vx16g, Store::File);
  static_cast<uint16_t*>(f->GetScanLine(1))[6] = 0xBEEF;
  EXPECT_EQ(*static_cast<uint16_t*>(f->GetSegment(1, 6, 1)), 0xBEEF);
}

TEST_F(BitmapRowsTest, OriginChangeKeepsTheImageInEveryStore) {
  for (Store s : {Store::Memory, Store::Fragments, Store::File}) {
    SCOPED_TRACE(StoreName(s));
    auto b = Make(6, 5, vx32RGB, s);
    FillPattern(*b);
    const auto before = RowBytes(*b);
    b->SetOrigin(vxboTOPLEFT);
    EXPECT_EQ(b->Origin(), vxboTOPLEFT);
    EXPECT_EQ(RowBytes(*b), before);
  }
}

TEST_F(BitmapRowsTest, VirtualRowsComeFromTheEvent) {
  TVXBitmap b;
  int calls = 0;
  b.OnRenderVirtualPixel = [&](TVXBitmap* sender, int32_t x, int32_t y, TRGB& out) {
    EXPECT_EQ(sender, &b);
    ++calls;
    out = TRGB{uint8_t(x), uint8_t(y), 9};
  };
  EXPECT_TRUE(b.IsVirtual());
  ASSERT_TRUE(b.Allocate(4, 3, vx24RGB));
  EXPECT_EQ(b.Memory(), nullptr);  // no rows of its own
  const TRGB* row = static_cast<const TRGB*>(b.GetScanLine(2));
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(row[3], (TRGB{3, 2, 9}));
  const TRGB* seg = static_cast<const TRGB*>(b.GetSegment(1, 2, 2));
  EXPECT_EQ(seg[0], (TRGB{2, 1, 9}));
  EXPECT_EQ(seg[1], (TRGB{3, 1, 9}));
  b.OnRenderVirtualPixel = nullptr;
  EXPECT_FALSE(b.IsVirtual());
}

class CountingProvider : public TVXVirtualBitmapProvider {
 public:
  explicit CountingProvider(int* destroyed) : destroyed_(destroyed) {}
  ~CountingProvider() override { ++*destroyed_; }
  void* GetSegment(TVXBitmap*, int32_t Row, int32_t Col, int32_t) override {
    row_[0] = uint8_t(Row);
    row_[1] = uint8_t(Col);
    return row_;
  }
  void Render(TVXBitmap*, int32_t, int32_t, uint8_t* const*, int32_t, int32_t, int32_t, int32_t, const int32_t*,
              const int32_t*, int32_t, TVXRenderOperation, double) override {}

 private:
  int* destroyed_;
  uint8_t row_[2] = {0, 0};
};

TEST_F(BitmapRowsTest, TheBitmapOwnsItsProvider) {
  int destroyed = 0;
  {
    TVXBitmap b;
    auto* p1 = new CountingProvider(&destroyed);
    b.SetVirtualBitmapProvider(p1);
    b.SetVirtualBitmapProvider(p1);  // the same one again: kept
    EXPECT_EQ(destroyed, 0);
    EXPECT_TRUE(b.IsVirtual());
    ASSERT_TRUE(b.Allocate(3, 4, vx8g));
    b.SetOrigin(vxboTOPLEFT);  // virtual: nothing to flip
    const uint8_t* r = static_cast<const uint8_t*>(b.GetScanLine(0));
    EXPECT_EQ(r[0], 3);  // row 0 with a top-left origin is stored row 3
    r = static_cast<const uint8_t*>(b.GetSegment(0, 2, 1));
    EXPECT_EQ(r[0], 0);  // segments take the row as given
    EXPECT_EQ(r[1], 2);
    b.SetVirtualBitmapProvider(new CountingProvider(&destroyed));
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 2);
}

// ---------------------------------------------------------------------------
// Alpha channel

TEST_F(BitmapRowsTest, AlphaChannelIsCreatedOnFirstRead) {
  TVXBitmap b(3, 2, vx24RGB);
  EXPECT_FALSE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaChannelOpt(), nullptr);
  TVXBitmap* a = b.AlphaChannel();
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(a->AlphaChannel(), nullptr);  // an alpha channel has none of its own
  EXPECT_EQ(PixelBytes(*a), std::vector<uint8_t>(6, 255));
  // Allocate frees it.
  ASSERT_TRUE(b.Allocate(4, 4, vx24RGB));
  EXPECT_FALSE(b.HasAlphaChannel());

  auto own = TVXBitmap::CreateAsAlphaChannel(4, 4, vxTBitmap);
  EXPECT_EQ(own->Location(), vxMemory);
  EXPECT_TRUE(own->IsAlpha());
  TVXBitmap* raw = own.get();
  auto previous = b.SetAlphaChannel(std::move(own));
  EXPECT_EQ(previous, nullptr);
  EXPECT_EQ(b.AlphaChannelOpt(), raw);
}

TEST_F(BitmapRowsTest, RemoveAlphaChannelMergesTowardTheBackground) {
  struct Case {
    TRGB pixel;
    uint8_t alpha;
    int32_t background;
    TRGB want;
  };
  const Case cases[] = {
      {{0, 0, 0}, 128, 0xFFFFFF, {127, 127, 127}},
      {{0, 0, 0}, 255, 0xFFFFFF, {0, 0, 0}},
      {{0, 0, 0}, 0, 0xFFFFFF, {255, 255, 255}},
      {{255, 255, 255}, 255, 0, {254, 254, 254}},
      {{10, 20, 30}, 0, 0x0000FF, {0, 0, 255}},  // red in the low byte of the colour value
  };
  for (const Case& c : cases) {
    for (Store s : {Store::Memory, Store::File}) {
      auto b = Make(2, 2, vx24RGB, s);
      for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x) static_cast<TRGB*>(b->GetScanLine(y))[x] = c.pixel;
      b->AlphaChannel()->FillRect(0, 0, 1, 1, c.alpha);
      b->RemoveAlphaChannel(true, c.background);
      EXPECT_FALSE(b->HasAlphaChannel());
      const TRGB got = static_cast<TRGB*>(b->GetScanLine(1))[1];
      EXPECT_EQ(got, c.want) << "alpha " << int(c.alpha) << " store " << StoreName(s) << " got " << int(got.r)
                             << "," << int(got.g) << "," << int(got.b);
    }
  }
  TVXBitmap g(2, 2, vx8g);  // other formats only lose the channel
  g.AlphaChannel()->FillRect(0, 0, 1, 1, 0);
  g.RemoveAlphaChannel(true, 0xFFFFFF);
  EXPECT_FALSE(g.HasAlphaChannel());
  EXPECT_EQ(PixelBytes(g), std::vector<uint8_t>(4, 0));
}

TEST_F(BitmapRowsTest, FeatherAlphaEdges) {
  // One row 0, 255, 255, 255, 255 with depth 4 (step 64), worked by hand:
  // rows left to right 0, 64, 128, 192, 255, right to left 0, 64, 128, 128, 64;
  // the column passes of a one-row channel ramp every non-zero value from the
  // border: 0, 64, 64, 64, 64; smoothing (up and down are the row itself, left
  // already smoothed): 0, (0+64+64+64)/4=48, (48+64+128)/4=60, (60+192)/4=63,
  // (63+0+128)/4=47.
  TVXBitmap b(5, 1, vx24RGB);
  uint8_t* a = static_cast<uint8_t*>(b.AlphaChannel()->GetScanLine(0));
  a[0] = 0;
  b.FeatherAlphaEdges(4);
  EXPECT_EQ(PixelBytes(*b.AlphaChannelOpt()), (std::vector<uint8_t>{0, 48, 60, 63, 47}));
  EXPECT_FALSE(b.AlphaChannelOpt()->Full());

  TVXBitmap none(3, 3, vx24RGB);
  none.FeatherAlphaEdges(4);  // no channel: nothing
  EXPECT_FALSE(none.HasAlphaChannel());

  // Depth 0: only the smoothing pass; the same result from a file-backed channel.
  for (Store s : {Store::Memory, Store::File}) {
    SCOPED_TRACE(StoreName(s));
    VXGetGlobalSettings()->SetDefMinFileSize(s == Store::File ? 0 : -1);
    auto c = Make(3, 3, vx24RGB, s);
    TVXBitmap* ca = c->AlphaChannel();
    EXPECT_EQ(ca->Location(), s == Store::File ? vxFile : vxMemory);
    const uint8_t init[3][3] = {{100, 0, 40}, {8, 200, 12}, {0, 60, 255}};
    for (int y = 0; y < 3; ++y) std::memcpy(ca->GetScanLine(y), init[y], 3);
    c->FeatherAlphaEdges(0);
    // Row 0: (0+0+100+8)/4=27; 0 stays; (0+0+40+12)/4=13.
    // Row 1: (0+200+27+0)/4=56; (56+12+0+60)/4=32; (32+0+13+255)/4=75.
    // Row 2: 0 stays; (0+255+32+60)/4=86; (86+0+75+255)/4=104.
    const std::vector<uint8_t> want = {27, 0, 13, 56, 32, 75, 0, 86, 104};
    EXPECT_EQ(PixelBytes(*ca), want);
    VXGetGlobalSettings()->SetDefMinFileSize(-1);
  }
}

TEST_F(BitmapRowsTest, SyncFullLooksAtPixelBytesOnly) {
  auto a = TVXBitmap::CreateAsAlphaChannel(5, 3, vxMemory);
  EXPECT_TRUE(a->Full());
  a->SetFull(false);
  a->SyncFull();
  EXPECT_TRUE(a->Full());
  static_cast<uint8_t*>(a->GetScanLine(2))[4] = 254;
  a->SyncFull();
  EXPECT_FALSE(a->Full());
  static_cast<uint8_t*>(a->GetScanLine(2))[4] = 255;
  static_cast<uint8_t*>(a->GetScanLine(2))[6] = 0;  // padding
  a->SyncFull();
  EXPECT_TRUE(a->Full());
}

TEST_F(BitmapRowsTest, SynchronizeRGBA) {
  for (Store s : {Store::Memory, Store::File}) {
    SCOPED_TRACE(StoreName(s));
    auto b = Make(3, 2, vx32RGB, s);
    for (int32_t y = 0; y < 2; ++y)
      for (int32_t x = 0; x < 3; ++x) static_cast<TRGBA*>(b->GetScanLine(y))[x] = TRGBA{1, 2, 3, uint8_t(10 * y + x)};
    b->SynchronizeRGBA(true);
    EXPECT_EQ(PixelBytes(*b->AlphaChannelOpt()), (std::vector<uint8_t>{0, 1, 2, 10, 11, 12}));
    EXPECT_FALSE(b->AlphaChannelOpt()->Full());
    b->AlphaChannelOpt()->FillRect(0, 0, 2, 1, 200);
    b->SynchronizeRGBA(false);
    EXPECT_EQ(static_cast<TRGBA*>(b->GetScanLine(1))[2], (TRGBA{1, 2, 3, 200}));
  }
  TVXBitmap rgb(2, 2, vx24RGB);
  rgb.SynchronizeRGBA(true);  // other formats: nothing
  EXPECT_FALSE(rgb.HasAlphaChannel());
}

}  // namespace
