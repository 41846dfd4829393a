// Raw bitmap dump "TVXBITMAPRAW": layout, round trips, damaged dumps.

#include <cstring>

#include "core/streams.h"
#include "tests/core/bitmap_fixture.h"

using namespace bitmap_test;

namespace {

class BitmapRawDumpTest : public BitmapEnv {};

std::vector<uint8_t> DumpToBuffer(TVXBitmap& b) {
  std::vector<uint8_t> buf(size_t(b.CalcRAWSize()), 0xCD);
  b.SaveRAWToBufferOrStream(buf.data(), nullptr, false);
  return buf;
}

std::vector<uint8_t> DumpToStream(TVXBitmap& b, bool hasSize) {
  TMemoryStream ms;
  b.SaveRAWToBufferOrStream(nullptr, &ms, hasSize);
  const uint8_t* p = static_cast<const uint8_t*>(ms.Memory());
  return std::vector<uint8_t>(p, p + ms.Size());
}

int32_t I32At(const std::vector<uint8_t>& d, size_t at) {
  return int32_t(uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24);
}

TEST_F(BitmapRawDumpTest, ThreeByTwoRgbDumpsToOneHundredBytes) {
  TVXBitmap b(3, 2, vx24RGB);
  FillPattern(b);
  ASSERT_EQ(b.CalcRAWSize(), 100);
  const auto d = DumpToBuffer(b);
  EXPECT_EQ(std::string(d.begin(), d.begin() + 12), "TVXBITMAPRAW");
  EXPECT_EQ(I32At(d, 12), 0);   // version
  EXPECT_EQ(I32At(d, 16), 0);   // palette length
  EXPECT_EQ(I32At(d, 20), 3);   // width
  EXPECT_EQ(I32At(d, 24), 2);   // height
  EXPECT_EQ(d[28], vx24RGB);
  EXPECT_EQ(d[29], 0);          // full
  EXPECT_EQ(I32At(d, 30), 256);  // palette used
  EXPECT_EQ(I32At(d, 71), 32);  // bit alignment
  EXPECT_EQ(std::vector<uint8_t>(d.begin() + 75, d.begin() + 99), RowBytes(b));
  EXPECT_EQ(d[99], 0);          // no alpha
  EXPECT_EQ(DumpToStream(b, false), d);
  EXPECT_EQ(DumpToStream(b, true), d);
}

TEST_F(BitmapRawDumpTest, RoundTripsEveryFormatByteForByte) {
  for (TVXPixelFormat f : kAllFormats) {
    for (Store s : {Store::Memory, Store::File}) {
      for (bool alpha : {false, true}) {
        SCOPED_TRACE(std::string(StoreName(s)) + " format " + std::to_string(int(f)) + (alpha ? " alpha" : ""));
        auto b = Make(7, 5, f, s);
        FillPattern(*b);
        if (f == vx8p) {
          for (int i = 0; i < 256; ++i) b->SetPalette(i, TRGB{uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
          b->SetPaletteUsed(17);
        }
        if (alpha) {
          FillPattern(*b->AlphaChannel(), 5);
          b->AlphaChannelOpt()->SetFull(false);
        }
        b->SetBlackValue(-1.5);
        b->SetWhiteValue(1e6);
        b->SetChannelOffset(3, -7);
        b->SetContrast(12);
        b->SetFull(true);
        const auto d = DumpToBuffer(*b);
        EXPECT_EQ(int64_t(d.size()), 76 + (f == vx8p ? 768 : 0) + b->RowLen() * 5 + (alpha ? 8 * 5 + 1 : 0));

        // Into a bitmap that holds something else, from a buffer and a stream.
        for (bool fromStream : {false, true}) {
          auto c = Make(2, 2, vx16g, s);
          if (!alpha) c->AlphaChannel();  // a dump without alpha removes it
          bool ok;
          if (fromStream) {
            TVXMemStream ms(d.data(), int64_t(d.size()));
            ok = c->LoadRAWFromBufferOrStream(nullptr, &ms);
            EXPECT_EQ(ms.Position(), int64_t(d.size()));
          } else {
            ok = c->LoadRAWFromBufferOrStream(d.data(), nullptr, int64_t(d.size()));
          }
          ASSERT_TRUE(ok);
          EXPECT_EQ(c->PixelFormat(), f);
          EXPECT_EQ(c->HasAlphaChannel(), alpha);
          EXPECT_EQ(c->PaletteUsed(), f == vx8p ? 17 : 256);
          EXPECT_EQ(c->ChannelOffset(3), -7);
          EXPECT_TRUE(c->Full());
          EXPECT_EQ(DumpToBuffer(*c), d);
        }
      }
    }
  }
}

TEST_F(BitmapRawDumpTest, KeepsAnAlignmentOtherThan32) {
  TVXBitmap b(3, 3, vx24RGB);
  b.SetBitAlignment(8);
  FillPattern(b);
  const auto d = DumpToBuffer(b);
  TVXBitmap empty;
  ASSERT_TRUE(empty.LoadRAWFromBufferOrStream(d.data(), nullptr, int64_t(d.size())));
  EXPECT_EQ(empty.BitAlignment(), 8);
  EXPECT_EQ(empty.RowLen(), 9);
  EXPECT_EQ(RowBytes(empty), RowBytes(b));
}

TEST_F(BitmapRawDumpTest, WrongMagicOrVersionLeavesTheBitmapAsItWas) {
  TVXBitmap src(3, 2, vx24RGB);
  auto d = DumpToBuffer(src);
  TVXBitmap b(4, 4, vx8g);
  FillPattern(b);
  const auto before = RowBytes(b);

  auto bad = d;
  bad[3] = 'x';
  EXPECT_FALSE(b.LoadRAWFromBufferOrStream(bad.data(), nullptr, int64_t(bad.size())));
  bad = d;
  bad[15] = 0x80;  // version negative
  EXPECT_FALSE(b.LoadRAWFromBufferOrStream(bad.data(), nullptr, int64_t(bad.size())));
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(RowBytes(b), before);
}

TEST_F(BitmapRawDumpTest, TruncatedDumpsAreRefusedAndLeaveAnEmptyBitmap) {
  TVXBitmap src(5, 3, vx8p);
  FillPattern(src);
  FillPattern(*src.AlphaChannel(), 2);
  const auto d = DumpToBuffer(src);
  for (size_t len = 0; len < d.size(); ++len) {
    for (bool fromStream : {false, true}) {
      TVXBitmap b(2, 2, vx24RGB);
      bool ok;
      if (fromStream) {
        TVXMemStream ms(d.data(), int64_t(len));
        ok = b.LoadRAWFromBufferOrStream(nullptr, &ms);
      } else {
        ok = b.LoadRAWFromBufferOrStream(d.data(), nullptr, int64_t(len));
      }
      ASSERT_FALSE(ok) << "length " << len;
      if (len >= 16) {
        EXPECT_TRUE(b.IsEmpty()) << "length " << len;
        EXPECT_FALSE(b.HasAlphaChannel());
      }
    }
  }
}

TEST_F(BitmapRawDumpTest, DamagedHeadersAreRefused) {
  TVXBitmap src(3, 2, vx24RGB);
  const auto d = DumpToBuffer(src);
  struct Case {
    const char* name;
    size_t at;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"palette length negative", 16, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"palette length too large", 16, {0x01, 0x01, 0, 0}},
      {"width negative", 20, {0xFE, 0xFF, 0xFF, 0xFF}},
      {"height huge", 24, {0xFF, 0xFF, 0xFF, 0x7F}},
      {"width and height huge", 20, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F}},
      {"format out of range", 28, {11}},
      {"alignment zero", 71, {0, 0, 0, 0}},
      {"alignment not bytes", 71, {12, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto bad = d;
    std::memcpy(bad.data() + c.at, c.bytes.data(), c.bytes.size());
    TVXBitmap b(2, 2, vx24RGB);
    EXPECT_FALSE(b.LoadRAWFromBufferOrStream(bad.data(), nullptr, int64_t(bad.size())));
    EXPECT_TRUE(b.IsEmpty());
    TVXMemStream ms(bad.data(), int64_t(bad.size()));
    TVXBitmap c2(2, 2, vx24RGB);
    EXPECT_FALSE(c2.LoadRAWFromBufferOrStream(nullptr, &ms));
  }
}

TEST_F(BitmapRawDumpTest, AnEmptyBitmapRoundTrips) {
  TVXBitmap e;
  const auto d = DumpToBuffer(e);
  EXPECT_EQ(d.size(), 76u);
  TVXBitmap b(3, 3, vx8g);
  ASSERT_TRUE(b.LoadRAWFromBufferOrStream(d.data(), nullptr, int64_t(d.size())));
  EXPECT_TRUE(b.IsEmpty());
}

}  // namespace
