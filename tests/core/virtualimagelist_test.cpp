// TVXVirtualImageList: placement of blocks, mapping limit, lending, replacing,
// the "VIRTUALIMAGELIST" stream (checked by an outside reader), damaged
// streams, many threads, and rectangles of platform bitmaps.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <thread>

#include "core/bitrows.h"
#include "core/filebuffer.h"
#include "core/streams.h"
#include "core/virtualimagelist.h"
#include "gui/graphics.h"
#include "tests/core/bitmap_fixture.h"

using namespace bitmap_test;

namespace {

const TVXPixelFormat kFormats[] = {vx1g, vx8p, vx8g, vx16g, vx24RGB, vx32f, vxCMYK, vx48RGB, vxCIELab, vx32RGB};

// A bitmap in memory with seeded pixel bytes, a seeded palette for vx8p and,
// when asked, a seeded alpha channel that is not Full.
std::unique_ptr<TVXBitmap> Seeded(int32_t w, int32_t h, TVXPixelFormat f, bool alpha, uint32_t seed) {
  auto b = std::make_unique<TVXBitmap>();
  b->SetMinFileSize(int64_t(1) << 40);
  EXPECT_TRUE(b->Allocate(w, h, f));
  std::mt19937 rng(seed);
  const int64_t n = PixelBytesPerRow(*b);
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* p = static_cast<uint8_t*>(b->Scanline(y));
    for (int64_t i = 0; i < n; ++i) p[i] = uint8_t(rng());
  }
  if (f == vx8p)
    for (int32_t i = 0; i < b->PaletteLength(); ++i) b->SetPalette(i, TRGB{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
  if (alpha) {
    TVXBitmap* a = b->AlphaChannel();
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* p = static_cast<uint8_t*>(a->Scanline(y));
      for (int32_t x = 0; x < w; ++x) p[x] = uint8_t(rng());
    }
    a->SetFull(false);
  }
  return b;
}

// Empty when a and b hold the same image (pixel bytes, palette, alpha).
std::string Diff(TVXBitmap& a, TVXBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat())
    return "size or format: " + std::to_string(a.Width()) + "x" + std::to_string(a.Height()) + "/" +
           std::to_string(int(a.PixelFormat())) + " vs " + std::to_string(b.Width()) + "x" +
           std::to_string(b.Height()) + "/" + std::to_string(int(b.PixelFormat()));
  const int64_t n = PixelBytesPerRow(a);
  for (int32_t y = 0; y < a.Height(); ++y) {
    std::vector<uint8_t> ra(static_cast<uint8_t*>(a.Scanline(y)), static_cast<uint8_t*>(a.Scanline(y)) + n);
    if (std::memcmp(ra.data(), b.Scanline(y), size_t(n)) != 0) return "row " + std::to_string(y);
  }
  if (a.PixelFormat() == vx8p && std::memcmp(a.PaletteBuffer(), b.PaletteBuffer(), 768) != 0) return "palette";
  if (a.HasAlphaChannel() != b.HasAlphaChannel()) return "alpha presence";
  if (a.HasAlphaChannel()) {
    for (int32_t y = 0; y < a.Height(); ++y)
      if (std::memcmp(a.AlphaChannel()->Scanline(y), b.AlphaChannel()->Scanline(y), size_t(a.Width())) != 0)
        return "alpha row " + std::to_string(y);
  }
  return "";
}

std::string ReadImage(TVXVirtualImageList& list, void* image, TVXBitmap& expected) {
  TVXBitmap* b = list.GetBitmap(image);
  if (!b) return "not lent";
  const std::string d = Diff(expected, *b);
  list.ReleaseBitmap(b, false);
  return d;
}

std::vector<uint8_t> Saved(TVXVirtualImageList& list) {
  TMemoryStream s;
  list.SaveToStream(&s);
  const uint8_t* p = static_cast<const uint8_t*>(s.Memory());
  return std::vector<uint8_t>(p, p + s.Size());
}

std::vector<uint8_t> FileBytes(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool HavePythonNumpy() { return std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") == 0; }

// The store's file of a list: its name goes when it is created, so it is
// reached through the descriptor the process holds.
std::string StoreFile(const std::string& dir) {
  for (int fd = 0; fd < 1024; ++fd) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    if (std::string(target).rfind(dir + "ILIST-", 0) == 0) return link;
  }
  return "";
}

class VirtualImageListTest : public BitmapEnv {};

TEST_F(VirtualImageListTest, BlocksArePlacedAtTheEndAndReusedAfterDelete) {
  TVXVirtualImageList list("ILIST", true);
  void* a = list.AddBlankImage(100, 100, 24, vx24RGB, true);
  void* b = list.AddBlankImage(100, 100, 24, vx24RGB, true);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(list.GetImageFilePos(a), 0);
  EXPECT_EQ(list.GetImageFilePos(b), 40001);
  std::vector<uint8_t> s = Saved(list);
  ASSERT_GE(s.size(), size_t(25 + 2 * 56));
  int64_t size = 0;
  std::memcpy(&size, s.data() + 25 + 8, 8);
  EXPECT_EQ(size, 30000 + 10001);

  list.Delete(a);
  EXPECT_EQ(list.ImageCount(), 1);
  void* c = list.AddBlankImage(100, 100, 24, vx24RGB, true);
  EXPECT_EQ(list.GetImageFilePos(c), 0);
  // A smaller image takes the front of a free block; the rest stays free.
  list.Delete(c);
  void* d = list.AddBlankImage(10, 10, 8, vx8g, false);
  EXPECT_EQ(list.GetImageFilePos(d), 0);
  void* e = list.AddBlankImage(10, 10, 8, vx8g, false);
  EXPECT_EQ(list.GetImageFilePos(e), 120);
  EXPECT_EQ(list.FindImageIndex(b), 0);
  EXPECT_EQ(list.FindImageIndex(nullptr), -1);
  EXPECT_EQ(list.GetImageFromIndex(2), e);
  EXPECT_EQ(list.GetImageFromIndex(-1), nullptr);
  EXPECT_EQ(list.GetImageFromIndex(3), nullptr);
}

TEST_F(VirtualImageListTest, ImpossibleImagesAreRefused) {
  TVXVirtualImageList list("ILIST", false);
  struct Case {
    int32_t w, h, bits;
    TVXPixelFormat f;
  } cases[] = {
      {0, 10, 24, vx24RGB}, {10, -1, 24, vx24RGB}, {10, 10, 8, vx24RGB}, {10, 10, 0, vxnull},
      {10, 10, 4, vx8p},    {10, 10, 32, TVXPixelFormat(11)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(list.AddBlankImage(c.w, c.h, c.bits, c.f, false), nullptr) << c.w << "x" << c.h << " " << c.bits;
  auto* s = VXGetGlobalSettings();
  const int64_t saved = s->MaxImagePixels();
  s->SetMaxImagePixels(10000);
  EXPECT_NE(list.AddBlankImage(100, 100, 8, vx8g, false), nullptr);
  EXPECT_EQ(list.AddBlankImage(101, 100, 8, vx8g, false), nullptr);
  s->SetMaxImagePixels(saved);
  EXPECT_EQ(list.AddBlankImage(1 << 30, 1 << 30, 48, vx48RGB, true), nullptr);
  EXPECT_EQ(list.ImageCount(), 1);
}

TEST_F(VirtualImageListTest, TheLeastRecentlyUsedImageIsReleasedFirst) {
  TVXVirtualImageList list("ILIST", true);
  list.SetMaxImagesInMemory(2);
  std::vector<std::unique_ptr<TVXBitmap>> src;
  std::vector<void*> img;
  for (int i = 0; i < 4; ++i) {
    src.push_back(Seeded(16, 4, vx8g, false, uint32_t(i)));
    img.push_back(list.AddVXBitmap(src.back().get()));
    ASSERT_NE(img.back(), nullptr);
    EXPECT_LE(list.ImagesInMemory(), 3);
  }
  Saved(list);  // every mapping released, the blocks in the file
  EXPECT_EQ(list.ImagesInMemory(), 0);
  TVXBitmap out;
  for (int i = 0; i < 4; ++i) {
    list.CopyToVXBitmap(img[size_t(i)], &out);
    EXPECT_EQ(Diff(*src[size_t(i)], out), "");
    EXPECT_EQ(list.ImagesInMemory(), std::min(i + 1, 3));
  }
  // Change the store's file behind the list: a mapped image keeps its copy,
  // a released one reads the file again. Only the first one touched was
  // released.
  const std::string store = StoreFile(dir_);
  ASSERT_NE(store, "");
  {
    FILE* f = std::fopen(store.c_str(), "r+b");
    ASSERT_NE(f, nullptr);
    for (int i = 0; i < 4; ++i) {
      std::fseek(f, long(list.GetImageFilePos(img[size_t(i)])), SEEK_SET);
      std::fputc(0xEE, f);
    }
    std::fclose(f);
  }
  // Bottom row first in the block: the marker lands in the last row.
  auto marked = [&](int i) {
    list.CopyToVXBitmap(img[size_t(i)], &out);
    return static_cast<uint8_t*>(out.Scanline(3))[0] == 0xEE;
  };
  EXPECT_FALSE(marked(3));
  EXPECT_FALSE(marked(2));
  EXPECT_FALSE(marked(1));
  EXPECT_TRUE(marked(0));
  EXPECT_EQ(list.ImagesInMemory(), 3);
}

TEST_F(VirtualImageListTest, WritesThroughTheImageAddressesAreKept) {
  TVXVirtualImageList list("ILIST", true);
  list.SetMaxImagesInMemory(0);
  auto src = Seeded(5, 3, vx8p, true, 7);
  void* image = list.AddBlankImage(5, 3, 8, vx8p, true);
  ASSERT_NE(image, nullptr);
  const int64_t rl = VXBitmapRowLen(5, 8, 32);
  uint8_t* bits = static_cast<uint8_t*>(list.GetImageBits(image));
  ASSERT_NE(bits, nullptr);
  for (int32_t k = 0; k < 3; ++k) std::memcpy(bits + k * rl, src->Scanline(2 - k), 5);
  uint8_t* pal = static_cast<uint8_t*>(list.GetImagePalette(image));
  ASSERT_EQ(pal, bits + 3 * rl);
  std::memcpy(pal, src->PaletteBuffer(), 768);
  pal[768] = 1;  // a Full alpha channel has no rows to show ...
  EXPECT_EQ(list.GetAlphaBits(image), nullptr);
  pal[768] = 0;
  uint8_t* alpha = static_cast<uint8_t*>(list.GetAlphaBits(image));
  ASSERT_EQ(alpha, pal + 769);  // ... its rows follow it
  for (int32_t k = 0; k < 3; ++k) std::memcpy(alpha + k * 8, src->AlphaChannel()->Scanline(2 - k), 5);
  // Other images push this one out of memory and back.
  void* other = list.AddBlankImage(4, 4, 24, vx24RGB, false);
  list.GetImageBits(other);
  EXPECT_LE(list.ImagesInMemory(), 1);
  EXPECT_EQ(ReadImage(list, image, *src), "");
  EXPECT_EQ(list.GetImagePalette(other), nullptr);  // no palette in a vx24RGB block
  EXPECT_EQ(list.GetAlphaBits(other), nullptr);
}

TEST_F(VirtualImageListTest, LentBitmapsAreSharedUntilTheLastRelease) {
  TVXVirtualImageList list("ILIST", true);
  auto src = Seeded(20, 10, vx24RGB, true, 3);
  void* image = list.AddVXBitmap(src.get());
  ASSERT_NE(image, nullptr);
  TVXBitmap* a = list.GetBitmap(image);
  TVXBitmap* b = list.GetBitmap(image);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(Diff(*src, *a), "");
  a->Resize(30, 12, 0, 255, vxhLeft, vxvTop);  // seen through the accessors while lent
  list.ReleaseBitmap(a, false);
  EXPECT_EQ(list.GetImageWidth(image), 30);
  EXPECT_EQ(list.GetImageHeight(image), 12);
  EXPECT_EQ(static_cast<uint8_t*>(list.GetImageBits(image)), a->Scanline(11));
  list.ReleaseBitmap(b, false);
  EXPECT_EQ(list.GetImageWidth(image), 20);  // unchanged: returned without changes
  EXPECT_EQ(list.GetImageBitCount(image), 24);
  EXPECT_EQ(list.GetImagePixelFormat(image), vx24RGB);
  EXPECT_EQ(ReadImage(list, image, *src), "");
  list.ReleaseBitmap(a, false);  // no longer lent: nothing happens
  list.ReleaseBitmap(nullptr, true);
}

TEST_F(VirtualImageListTest, ChangedBitmapsAreStoredBack) {
  TVXVirtualImageList list("ILIST", true);
  auto first = Seeded(9, 7, vx8g, false, 1);
  void* image = list.AddVXBitmap(first.get());
  void* after = list.AddVXBitmap(first.get());
  ASSERT_TRUE(image && after);
  list.SetImageOriginalWidth(image, 1234);
  const int64_t pos = list.GetImageFilePos(image);

  // Same size and format: the block stays in place.
  TVXBitmap* b = list.GetBitmap(image);
  static_cast<uint8_t*>(b->Scanline(0))[0] ^= 0xFF;
  TVXBitmap copy(b);
  list.ReleaseBitmapByImage(image, true);
  EXPECT_EQ(list.GetImageFilePos(image), pos);
  EXPECT_EQ(ReadImage(list, image, copy), "");

  // Another size, format, or alpha: a new block; the original size is the
  // caller's and stays.
  struct Case {
    int32_t w, h;
    TVXPixelFormat f;
    bool alpha;
  } cases[] = {{13, 5, vx8g, false}, {13, 5, vx8p, false}, {13, 5, vx8p, true}, {3, 2, vx48RGB, true}};
  for (const Case& c : cases) {
    auto next = Seeded(c.w, c.h, c.f, c.alpha, uint32_t(c.w * 100 + c.f));
    TVXBitmap* lent = list.GetBitmap(image);
    ASSERT_NE(lent, nullptr);
    lent->Assign(next.get());
    const int64_t before = list.GetImageFilePos(image);
    list.ReleaseBitmap(lent, true);
    EXPECT_NE(list.GetImageFilePos(image), before) << int(c.f);
    EXPECT_EQ(list.GetImageWidth(image), c.w);
    EXPECT_EQ(list.GetImagePixelFormat(image), c.f);
    EXPECT_EQ(list.GetImageOriginalWidth(image), 1234);
    EXPECT_EQ(ReadImage(list, image, *next), "") << int(c.f);
    EXPECT_EQ(ReadImage(list, after, *first), "");
  }
  // An empty bitmap replaces nothing.
  TVXBitmap empty;
  EXPECT_FALSE(list.CopyFromVXBitmap(image, &empty));
  EXPECT_EQ(list.GetImageWidth(image), 3);

  // A Full alpha channel comes back as none.
  auto opaque = Seeded(4, 4, vx24RGB, true, 9);
  opaque->AlphaChannel()->Fill(255);
  opaque->AlphaChannel()->SyncFull();
  EXPECT_TRUE(list.CopyFromVXBitmap(image, opaque.get()));
  TVXBitmap out;
  out.AlphaChannel();
  list.CopyToVXBitmap(image, &out);
  EXPECT_FALSE(out.HasAlphaChannel());
  opaque->RemoveAlphaChannel(false, 0);
  EXPECT_EQ(Diff(*opaque, out), "");
}

TEST_F(VirtualImageListTest, StreamsRoundTripAndAreReadByAnOutsideReader) {
  const int fds = OpenFileCount();
  auto list = std::make_unique<TVXVirtualImageList>("ILIST", true);
  std::vector<std::unique_ptr<TVXBitmap>> src;
  uint32_t seed = 100;
  for (TVXPixelFormat f : kFormats)
    for (bool alpha : {false, true}) {
      src.push_back(Seeded(alpha ? 7 : 13, alpha ? 5 : 3, f, alpha, seed++));
      ASSERT_NE(list->AddVXBitmap(src.back().get()), nullptr);
    }
  // A deleted image leaves a hole that the saved stream closes.
  void* last = list->AddVXBitmap(src[0].get());
  list->Delete(list->GetImageFromIndex(0));
  list->SetImageOriginalHeight(last, -5);
  std::vector<TVXBitmap*> expect;  // in list order
  for (size_t i = 1; i < src.size(); ++i) expect.push_back(src[i].get());
  expect.push_back(src[0].get());
  TVXBitmap* lent = list->GetBitmap(list->GetImageFromIndex(1));

  const std::vector<uint8_t> bytes = Saved(*list);
  list->ReleaseBitmap(lent, false);
  TVXVirtualImageList fresh("ILIST", false);
  TVXMemStream in(bytes.data(), int64_t(bytes.size()));
  ASSERT_TRUE(fresh.LoadFromStream(&in));
  ASSERT_EQ(fresh.ImageCount(), int32_t(expect.size()));
  int64_t pos = 0;
  for (int32_t i = 0; i < fresh.ImageCount(); ++i) {
    void* image = fresh.GetImageFromIndex(i);
    EXPECT_EQ(fresh.GetImageFilePos(image), pos);
    TVXBitmap& expected = *expect[size_t(i)];
    EXPECT_EQ(ReadImage(fresh, image, expected), "") << i;
    pos += VXBitmapRowLen(expected.Width(), expected.BitCount(), 32) * expected.Height() +
           (expected.PixelFormat() == vx8p ? 768 : 0) +
           (expected.HasAlphaChannel() ? VXBitmapRowLen(expected.Width(), 8, 32) * expected.Height() + 1 : 0);
  }
  EXPECT_EQ(fresh.GetImageOriginalHeight(fresh.GetImageFromIndex(fresh.ImageCount() - 1)), -5);
  // A loaded image is lent anew, though it was lent when saved.
  TVXBitmap* again = fresh.GetBitmap(fresh.GetImageFromIndex(1));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(Diff(*expect[1], *again), "");
  fresh.ReleaseBitmap(again, false);

  // Saved again, the same bytes but packed positions.
  std::vector<uint8_t> resaved = Saved(fresh);
  ASSERT_EQ(resaved.size(), bytes.size());

  list.reset();
  EXPECT_EQ(OpenFileCount(), fds);
  EXPECT_TRUE(TempFiles().empty());

  if (!HavePythonNumpy()) GTEST_SKIP() << "python3 with numpy is missing";
  const std::string file = dir_ + "list.bin", out = dir_ + "out";
  {
    std::ofstream f(file, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  ASSERT_EQ(std::system(("mkdir -p " + out).c_str()), 0);
  const std::string cmd = "/usr/bin/python3 " VX_SOURCE_DIR "/tests/core/virtualimagelist_oracle.py stream " + file + " " + out;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string printed;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) printed += buf;
  ASSERT_EQ(pclose(p), 0) << printed;
  for (size_t i = 0; i < expect.size(); ++i) {
    TVXBitmap& e = *expect[i];
    const std::string base = out + "/" + std::to_string(i);
    std::vector<uint8_t> rows;
    for (int32_t y = 0; y < e.Height(); ++y) {
      const uint8_t* r = static_cast<const uint8_t*>(e.Scanline(y));
      rows.insert(rows.end(), r, r + PixelBytesPerRow(e));
    }
    EXPECT_EQ(FileBytes(base + ".pix"), rows) << i;
    if (e.PixelFormat() == vx8p) {
      const uint8_t* pal = reinterpret_cast<const uint8_t*>(e.PaletteBuffer());
      EXPECT_EQ(FileBytes(base + ".pal"), std::vector<uint8_t>(pal, pal + 768)) << i;
    }
    if (e.HasAlphaChannel()) {
      std::vector<uint8_t> alpha{0};
      for (int32_t y = 0; y < e.Height(); ++y) {
        const uint8_t* r = static_cast<const uint8_t*>(e.AlphaChannel()->Scanline(y));
        alpha.insert(alpha.end(), r, r + e.Width());
      }
      EXPECT_EQ(FileBytes(base + ".alpha"), alpha) << i;
    } else {
      EXPECT_TRUE(FileBytes(base + ".alpha").empty()) << i;
    }
  }
  std::system(("rm -rf " + out + " " + file).c_str());
}

TEST_F(VirtualImageListTest, EmptyAndForeignStreamsLeaveTheListAlone) {
  TVXVirtualImageList empty("ILIST", false);
  const std::vector<uint8_t> none = Saved(empty);
  ASSERT_EQ(none.size(), 25u);

  TVXVirtualImageList list("ILIST", true);
  auto src = Seeded(6, 6, vx32RGB, true, 5);
  void* image = list.AddVXBitmap(src.get());
  std::vector<uint8_t> foreign = none;
  foreign[10] = 'x';
  std::vector<uint8_t> negative = none;
  negative[24] = 0x80;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool result;
  } cases[] = {{"empty list", none, true}, {"negative count", negative, true}, {"other magic", foreign, false}};
  for (const Case& c : cases) {
    TVXMemStream in(c.bytes.data(), int64_t(c.bytes.size()));
    EXPECT_EQ(list.LoadFromStream(&in), c.result) << c.name;
    ASSERT_EQ(list.ImageCount(), 1) << c.name;
    EXPECT_EQ(list.GetImageFromIndex(0), image);
    EXPECT_EQ(ReadImage(list, image, *src), "") << c.name;
  }
}

TEST_F(VirtualImageListTest, DamagedStreamsAreRefusedWithTheListUnchanged) {
  TVXVirtualImageList source("ILIST", false);
  std::vector<std::unique_ptr<TVXBitmap>> src;
  src.push_back(Seeded(3, 2, vx8p, true, 1));
  src.push_back(Seeded(9, 1, vx1g, false, 2));
  for (auto& b : src) source.AddVXBitmap(b.get());
  const std::vector<uint8_t> good = Saved(source);

  TVXVirtualImageList list("ILIST", true);
  auto kept = Seeded(5, 4, vxCMYK, false, 3);
  void* image = list.AddVXBitmap(kept.get());
  auto unchanged = [&](const std::string& what) {
    ASSERT_EQ(list.ImageCount(), 1) << what;
    EXPECT_EQ(list.GetImageFromIndex(0), image) << what;
    EXPECT_EQ(ReadImage(list, image, *kept), "") << what;
  };
  for (size_t len = 0; len < good.size(); ++len) {
    TVXMemStream in(good.data(), int64_t(len));
    EXPECT_FALSE(list.LoadFromStream(&in)) << len;
    unchanged("length " + std::to_string(len));
  }
  // Fields that a reader checks: the format, sizes, bit count, alpha byte
  // and block size of each record.
  const size_t rec0 = 25, rec1 = 25 + 56;
  struct Flip {
    size_t at;
    uint8_t value;
  } flips[] = {{rec0 + 8, 0x12},  {rec0 + 15, 0x80}, {rec0 + 32, 2},    {rec0 + 36, 5},   {rec0 + 39, 0x80},
               {rec0 + 40, 0},    {rec0 + 44, 24},   {rec0 + 48, 0},    {rec0 + 48, 3},   {rec0 + 48, 11},
               {rec1 + 48, 0xFF}, {rec1 + 36, 0xFF}, {rec1 + 43, 0x7F}, {rec1 + 8, 0x40}, {24, 0x7F}};
  for (const Flip& f : flips) {
    std::vector<uint8_t> bad = good;
    bad[f.at] = f.value;
    TVXMemStream in(bad.data(), int64_t(bad.size()));
    EXPECT_FALSE(list.LoadFromStream(&in)) << f.at;
    unchanged("flip at " + std::to_string(f.at));
  }
  // A record that declares a block of 2^40 bytes (vx8g 2^20 x 2^20).
  std::vector<uint8_t> huge = good;
  const int64_t size = int64_t(1) << 40;
  std::memcpy(&huge[rec1 + 8], &size, 8);
  const int32_t side = 1 << 20, eight = 8;
  std::memcpy(&huge[rec1 + 36], &side, 4);
  std::memcpy(&huge[rec1 + 40], &side, 4);
  std::memcpy(&huge[rec1 + 44], &eight, 4);
  huge[rec1 + 48] = vx8g;
  TVXMemStream in(huge.data(), int64_t(huge.size()));
  EXPECT_FALSE(list.LoadFromStream(&in));
  unchanged("huge block");
  // Any byte flipped anywhere: refused with the list as it was, or loaded.
  for (size_t at = 0; at < good.size(); ++at) {
    std::vector<uint8_t> bad = good;
    bad[at] ^= 0x5A;
    TVXVirtualImageList other("ILIST", false);
    void* one = other.AddVXBitmap(kept.get());
    TVXMemStream s(bad.data(), int64_t(bad.size()));
    if (!other.LoadFromStream(&s)) {
      ASSERT_EQ(other.ImageCount(), 1) << at;
      EXPECT_EQ(ReadImage(other, one, *kept), "") << at;
    } else {
      for (int32_t i = 0; i < other.ImageCount(); ++i) {
        TVXBitmap* b = other.GetBitmap(other.GetImageFromIndex(i));
        EXPECT_NE(b, nullptr) << at;
        other.ReleaseBitmap(b, false);
      }
    }
  }
  // And the good stream loads.
  TVXMemStream ok(good.data(), int64_t(good.size()));
  ASSERT_TRUE(list.LoadFromStream(&ok));
  ASSERT_EQ(list.ImageCount(), 2);
  for (int32_t i = 0; i < 2; ++i) EXPECT_EQ(ReadImage(list, list.GetImageFromIndex(i), *src[size_t(i)]), "");
}

TEST_F(VirtualImageListTest, FourThreadsShareOneList) {
  const int fds = OpenFileCount();
  auto list = std::make_unique<TVXVirtualImageList>("ILIST", true);
  const int32_t limit = 3;
  list->SetMaxImagesInMemory(limit);
  std::atomic<int32_t> worstMapped{0};
  std::mutex failMutex;
  std::vector<std::string> failures;
  auto fail = [&](const std::string& what) {
    std::lock_guard<std::mutex> g(failMutex);
    failures.push_back(what);
  };
  auto watch = [&] {
    const int32_t m = list->ImagesInMemory();
    int32_t w = worstMapped.load();
    while (m > w && !worstMapped.compare_exchange_weak(w, m)) {
    }
  };
  // Each thread owns 250 images, tagged by their original width (from
  // 100000, apart from the widths they have until tagged).
  struct Owned {
    void* image;
    std::unique_ptr<TVXBitmap> content;
  };
  std::vector<std::vector<Owned>> owned(4);
  auto work = [&](int t) {
    std::mt19937 rng(uint32_t(t) * 7919u + 1);
    auto random = [&] {
      const TVXPixelFormat f = kFormats[rng() % 10];
      return Seeded(int32_t(1 + rng() % 37), int32_t(1 + rng() % 23), f, rng() % 3 == 0, rng());
    };
    std::vector<Owned>& mine = owned[size_t(t)];
    for (int i = 0; i < 250; ++i) {
      auto b = random();
      void* image = list->AddVXBitmap(b.get());
      if (!image) {
        fail("add");
        continue;
      }
      list->SetImageOriginalWidth(image, 100000 + t * 1000 + i);
      mine.push_back(Owned{image, std::move(b)});
      watch();
      Owned& o = mine[rng() % mine.size()];
      switch (rng() % 5) {
        case 0: {  // lend, change and return
          TVXBitmap* lent = list->GetBitmap(o.image);
          if (!lent || Diff(*o.content, *lent) != "") {
            fail(lent ? "lent: " + Diff(*o.content, *lent) : "not lent");
            break;
          }
          auto next = random();
          lent->Assign(next.get());
          list->ReleaseBitmap(lent, true);
          o.content = std::move(next);
          break;
        }
        case 1: {  // replace
          auto next = random();
          if (!list->CopyFromVXBitmap(o.image, next.get())) fail("replace");
          o.content = std::move(next);
          break;
        }
        case 2: {  // delete
          list->Delete(o.image);
          const size_t at = size_t(&o - mine.data());
          std::swap(mine[at], mine.back());
          mine.pop_back();
          break;
        }
        case 3: {  // save and reload into a list of our own
          TMemoryStream s;
          list->SaveToStream(&s);
          s.SetPosition(0);
          TVXVirtualImageList copy("ILIST", true);
          if (!copy.LoadFromStream(&s)) fail("reload");
          for (int32_t k = 0; k < copy.ImageCount(); ++k) {
            void* c = copy.GetImageFromIndex(k);
            const int32_t tag = copy.GetImageOriginalWidth(c);
            if (tag < 100000 || (tag - 100000) / 1000 != t) continue;
            for (Owned& m : mine)
              if (list->GetImageOriginalWidth(m.image) == tag && ReadImage(copy, c, *m.content) != "")
                fail("reloaded " + std::to_string(tag) + ": " + ReadImage(copy, c, *m.content));
          }
          break;
        }
        default:
          if (ReadImage(*list, o.image, *o.content) != "") fail("read: " + ReadImage(*list, o.image, *o.content));
      }
      watch();
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t);
  for (auto& th : threads) th.join();
  EXPECT_TRUE(failures.empty()) << failures.size() << " failures, first: " << failures.front();
  EXPECT_LE(worstMapped.load(), limit + 1);
  size_t total = 0;
  for (auto& mine : owned) {
    total += mine.size();
    for (Owned& o : mine) EXPECT_EQ(ReadImage(*list, o.image, *o.content), "");
  }
  EXPECT_EQ(size_t(list->ImageCount()), total);
  // Saved and reloaded, every image reads back in list order.
  TMemoryStream s;
  list->SaveToStream(&s);
  s.SetPosition(0);
  {
    TVXVirtualImageList reloaded("ILIST", true);
    ASSERT_TRUE(reloaded.LoadFromStream(&s));
    ASSERT_EQ(reloaded.ImageCount(), list->ImageCount());
    int32_t checked = 0;
    for (int32_t k = 0; k < reloaded.ImageCount(); ++k) {
      const int32_t tag = reloaded.GetImageOriginalWidth(reloaded.GetImageFromIndex(k));
      ASSERT_TRUE(tag >= 100000 && tag < 104000) << tag;
      for (Owned& o : owned[size_t((tag - 100000) / 1000)])
        if (list->GetImageOriginalWidth(o.image) == tag) {
          EXPECT_EQ(ReadImage(reloaded, reloaded.GetImageFromIndex(k), *o.content), "") << tag;
          ++checked;
        }
    }
    EXPECT_EQ(checked, reloaded.ImageCount());
    list.reset();
    EXPECT_EQ(OpenFileCount(), fds + 1);  // the reloaded list's store
  }
  EXPECT_EQ(OpenFileCount(), fds);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(VirtualImageListTest, GrowingTheStoreKeepsTheImages) {
  TVXVirtualImageList list("ILIST", true);
  auto small = Seeded(10, 10, vx8g, false, 1);
  void* a = list.AddVXBitmap(small.get());
  list.PrepareSpaceFor(100, 100, 24, 50);
  list.PrepareSpaceFor(-1, 100, 24, 50);
  // An image larger than the growth step sets the next step.
  auto big = Seeded(400, 300, vx24RGB, true, 2);
  void* b = list.AddVXBitmap(big.get());
  void* c = list.AddVXBitmap(big.get());
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(list.GetImageFilePos(c), list.GetImageFilePos(b) + 360000 + 120001);
  EXPECT_EQ(ReadImage(list, a, *small), "");
  EXPECT_EQ(ReadImage(list, b, *big), "");
  EXPECT_EQ(ReadImage(list, c, *big), "");
  for (void* i : {a, b, c}) list.Delete(i);
  EXPECT_EQ(list.ImageCount(), 0);
  void* d = list.AddVXBitmap(small.get());
  EXPECT_EQ(list.GetImageFilePos(d), 0);
}

// ---------------------------------------------------------------------------
// Rectangles of platform bitmaps

TEST_F(VirtualImageListTest, OneBitBitmapsBecomeBlackAndWhiteTriples) {
  TBitmap bmp(11, 3, pf1bit);
  std::mt19937 rng(4);
  for (int y = 0; y < 3; ++y)
    for (size_t i = 0; i < bmp.RowBytes(); ++i) static_cast<uint8_t*>(bmp.ScanLine(y))[i] = uint8_t(rng());
  const int64_t rl = VXBitmapRowLen(8, 24, 32);
  std::vector<uint8_t> buf(size_t(rl * 2), 0x77);
  VXCopyTBitmapRect(buf.data(), rl, 24, 1, 2, 7, 1, 3, 0, 1, &bmp);
  for (int k = 0; k < 2; ++k)
    for (int x = 0; x < 8; ++x)
      for (int c = 0; c < 3; ++c) {
        const uint8_t got = buf[size_t(k * rl + x * 3 + c)];
        if (x == 0) {
          EXPECT_EQ(got, 0x77);
        } else {
          const bool bit = VXGetRowBit(bmp.ScanLine(1 + 2 - 1 - k), 3 + x - 1) != 0;
          EXPECT_EQ(got, bit ? 255 : 0) << k << " " << x;
        }
      }
  // Outside the bitmap or the buffer's row: nothing.
  std::vector<uint8_t> before = buf;
  VXCopyTBitmapRect(buf.data(), rl, 24, 1, 2, 9, 0, 3, 0, 0, &bmp);
  VXCopyTBitmapRect(buf.data(), rl, 24, 1, 2, 8, 0, 0, 0, 1, &bmp);
  VXCopyTBitmapRect(buf.data(), rl, 24, 1, 4, 1, 0, 0, 0, 0, &bmp);
  EXPECT_EQ(buf, before);
}

TEST_F(VirtualImageListTest, PlatformRectanglesAreStoredBottomRowFirst) {
  TVXVirtualImageList list("ILIST", false);
  std::mt19937 rng(8);
  for (TPixelFormat f : {pf8bit, pf24bit}) {
    TBitmap bmp(17, 9, f);
    const int bpp = f == pf8bit ? 1 : 3;
    for (int y = 0; y < 9; ++y)
      for (size_t i = 0; i < bmp.RowBytes(); ++i) static_cast<uint8_t*>(bmp.ScanLine(y))[i] = uint8_t(rng());
    std::vector<RGBQUAD> pal(256);
    for (auto& q : pal) q.rgbBlue = uint8_t(rng()), q.rgbGreen = uint8_t(rng()), q.rgbRed = uint8_t(rng());
    if (f == pf8bit) bmp.SetPalette(pal);
    void* image = list.AddBitmapRect(&bmp, 3, 2, 11, 5);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(list.GetImagePixelFormat(image), f == pf8bit ? vx8p : vx24RGB);
    const uint8_t* bits = static_cast<const uint8_t*>(list.GetImageBits(image));
    const int64_t rl = VXBitmapRowLen(11, 8 * bpp, 32);
    for (int k = 0; k < 5; ++k) {
      const uint8_t* want = static_cast<const uint8_t*>(bmp.ScanLine(2 + 4 - k)) + 3 * bpp;
      EXPECT_EQ(std::memcmp(bits + k * rl, want, size_t(11 * bpp)), 0) << k;
    }
    TVXBitmap* lent = list.GetBitmap(image);
    for (int y = 0; y < 5; ++y)
      EXPECT_EQ(std::memcmp(lent->Scanline(y), static_cast<uint8_t*>(bmp.ScanLine(2 + y)) + 3 * bpp, size_t(11 * bpp)), 0);
    if (f == pf8bit) {
      for (int i = 0; i < 256; ++i)
        EXPECT_EQ(lent->Palette(i), (TRGB{pal[size_t(i)].rgbBlue, pal[size_t(i)].rgbGreen, pal[size_t(i)].rgbRed}));
    }
    list.ReleaseBitmap(lent, false);
    EXPECT_EQ(list.AddBitmapRect(&bmp, 10, 2, 8, 5), nullptr);
    EXPECT_EQ(list.AddBitmapRect(&bmp, 0, 5, 4, 5), nullptr);
    EXPECT_EQ(list.AddBitmapRect(&bmp, 0, 0, 0, 5), nullptr);
  }
  TBitmap b32(4, 4, pf32bit);
  EXPECT_EQ(list.AddBitmapRect(&b32, 0, 0, 4, 4), nullptr);
  TBitmap b4(4, 4, pf4bit);
  EXPECT_EQ(list.AddBitmapRect(&b4, 0, 0, 4, 4), nullptr);
}

TEST_F(VirtualImageListTest, OneBitRectanglesMatchTheUnpackedBits) {
  if (!HavePythonNumpy()) GTEST_SKIP() << "python3 with numpy is missing";
  TVXVirtualImageList list("ILIST", false);
  TBitmap bmp(77, 6, pf1bit);
  std::mt19937 rng(11);
  for (int y = 0; y < 6; ++y)
    for (size_t i = 0; i < bmp.RowBytes(); ++i) static_cast<uint8_t*>(bmp.ScanLine(y))[i] = uint8_t(rng());
  const std::string rows = dir_ + "rows.bin", out = dir_ + "cut.bin";
  {
    std::ofstream f(rows, std::ios::binary);
    for (int y = 0; y < 6; ++y) f.write(static_cast<const char*>(bmp.ScanLine(y)), std::streamsize(bmp.RowBytes()));
  }
  for (int x = 1; x <= 7; ++x) {
    const int dx = 40 + 3 * x, dy = 4;
    void* image = list.AddBitmapRect(&bmp, x, 1, dx, dy);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(list.GetImagePixelFormat(image), vx1g);
    const std::string cmd = "/usr/bin/python3 " VX_SOURCE_DIR "/tests/core/virtualimagelist_oracle.py bits " + rows +
                            " 77 6 " + std::to_string(x) + " 1 " + std::to_string(dx) + " " + std::to_string(dy) +
                            " " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::vector<uint8_t> want = FileBytes(out);
    const int64_t rl = VXBitmapRowLen(dx, 1, 32);
    ASSERT_EQ(int64_t(want.size()), rl * dy);
    const uint8_t* bits = static_cast<const uint8_t*>(list.GetImageBits(image));
    EXPECT_EQ(std::vector<uint8_t>(bits, bits + rl * dy), want) << "offset " << x;
  }
  std::remove(rows.c_str());
  std::remove(out.c_str());
}

}  // namespace

namespace {

// The fuzz seeds were written by an outside writer (Python's struct): each
// loads, with its images lent out whole.
TEST_F(VirtualImageListTest, StreamsOfAnOutsideWriterLoad) {
  const std::string dir = VX_SOURCE_DIR "/fuzz/seeds/virtualimagelist/";
  for (TVXPixelFormat f : kFormats)
    for (const char* suffix : {"", "_alpha"}) {
      static const char* names[] = {"", "1g", "8p", "8g", "16g", "24rgb", "32f", "cmyk", "48rgb", "cielab", "32rgb"};
      const std::vector<uint8_t> bytes = FileBytes(dir + names[f] + suffix + ".bin");
      ASSERT_FALSE(bytes.empty()) << names[f] << suffix;
      TVXVirtualImageList list("ILIST", false);
      TVXMemStream in(bytes.data(), int64_t(bytes.size()));
      ASSERT_TRUE(list.LoadFromStream(&in)) << names[f] << suffix;
      ASSERT_EQ(list.ImageCount(), 2);
      EXPECT_EQ(list.GetImagePixelFormat(list.GetImageFromIndex(0)), f);
      TVXBitmap* b = list.GetBitmap(list.GetImageFromIndex(0));
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->HasAlphaChannel(), *suffix != 0);
      list.ReleaseBitmap(b, false);
    }
}

}  // namespace

namespace {

// Whole platform bitmaps are added through a bitmap that wraps them, and a
// lent bitmap drawn on through its platform bitmap is stored back as drawn.
TEST_F(VirtualImageListTest, PlatformBitmapsAreAddedAndSyncedOnRelease) {
  TVXVirtualImageList list("ILIST", true);
  std::mt19937 rng(21);
  struct Case {
    TPixelFormat pf;
    TVXPixelFormat vx;
  } cases[] = {{pf1bit, vx1g}, {pf8bit, vx8p}, {pf24bit, vx24RGB}, {pf32bit, vx32RGB}};
  for (const Case& c : cases) {
    TBitmap bmp(13, 7, c.pf);
    for (int y = 0; y < 7; ++y)
      for (size_t i = 0; i < bmp.RowBytes(); ++i) static_cast<uint8_t*>(bmp.ScanLine(y))[i] = uint8_t(rng());
    std::vector<RGBQUAD> pal(256);
    for (auto& q : pal) q.rgbBlue = uint8_t(rng()), q.rgbGreen = uint8_t(rng()), q.rgbRed = uint8_t(rng());
    if (c.pf == pf8bit) bmp.SetPalette(pal);
    void* image = list.AddBitmap(&bmp);
    ASSERT_NE(image, nullptr) << int(c.pf);
    EXPECT_EQ(list.GetImagePixelFormat(image), c.vx);
    TVXBitmap* lent = list.GetBitmap(image);
    ASSERT_NE(lent, nullptr);
    const size_t bytes = (size_t(13) * size_t(VXPixelFormatBitCount[c.vx]) + 7) / 8;
    for (int y = 0; y < 7; ++y) EXPECT_EQ(std::memcmp(lent->Scanline(y), bmp.ScanLine(y), bytes), 0) << int(c.pf) << " " << y;
    if (c.pf == pf8bit) {
      for (int i = 0; i < 256; ++i)
        EXPECT_EQ(lent->Palette(i), (TRGB{pal[size_t(i)].rgbBlue, pal[size_t(i)].rgbGreen, pal[size_t(i)].rgbRed}));
    }
    list.ReleaseBitmap(lent, false);
  }
  TBitmap b4(4, 4, pf4bit);
  EXPECT_EQ(list.AddBitmap(&b4), nullptr);
  EXPECT_EQ(list.AddBitmap(nullptr), nullptr);

  // Drawn on through the platform bitmap, resized there, and returned.
  void* image = list.GetImageFromIndex(2);
  TVXBitmap* lent = list.GetBitmap(image);
  TBitmap* platform = lent->VclBitmap();
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(lent->Location(), vxTBitmap);
  platform->SetSize(20, 9);
  std::vector<std::vector<uint8_t>> rows;
  for (int y = 0; y < 9; ++y) {
    uint8_t* p = static_cast<uint8_t*>(platform->ScanLine(y));
    for (int i = 0; i < 60; ++i) p[i] = uint8_t(rng());
    rows.emplace_back(p, p + 60);
  }
  const int64_t before = list.GetImageFilePos(image);
  list.ReleaseBitmap(lent, true);
  EXPECT_NE(list.GetImageFilePos(image), before);
  EXPECT_EQ(list.GetImageWidth(image), 20);
  EXPECT_EQ(list.GetImageHeight(image), 9);
  TVXBitmap out;
  list.CopyToVXBitmap(image, &out);
  ASSERT_EQ(out.Width(), 20);
  for (int y = 0; y < 9; ++y) EXPECT_EQ(std::memcmp(out.Scanline(y), rows[size_t(y)].data(), 60), 0) << y;
}

}  // namespace
