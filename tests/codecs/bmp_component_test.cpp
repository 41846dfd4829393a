// BMP, icons and cursors through the I/O component: file and stream loaders
// and savers, transparency into and out of the alpha channel, the dispatch by
// extension and content, parameters only, and the image count of icon files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/filecounts.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/bmp_test_util.h"

using namespace bmptest;

namespace {

// A 13 x 7 image with a graded alpha channel.
void Picture(TVXBitmap& B) {
  ASSERT_TRUE(B.Allocate(13, 7, vx24RGB));
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 13; ++x) {
      B.SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 19), uint8_t(y * 30), uint8_t(x * y)});
      B.SetAlpha(x, y, uint8_t(x * 20));
    }
}

// An icon of two entries (4 x 2 at 8 bits, left column masked, and 2 x 1 at
// 24 bits) and a cursor of the first with hotspot (5, 7).
std::vector<uint8_t> TwoEntryIcon(int Type) {
  std::vector<TRGB> pal(256, TRGB{0, 0, 0});
  pal[1] = {200, 100, 50};
  const std::vector<uint8_t> xor8 = {1, 1, 1, 1, 1, 1, 1, 1};
  const std::vector<uint8_t> and8 = {0x80, 0, 0, 0, 0x80, 0, 0, 0};
  return IconFile(Type, {{4, 2, 0, Type == 1 ? 1 : 5, Type == 1 ? 8 : 7, BitmapEntry(4, 2, 8, pal, xor8, and8)},
                         {2, 1, 0, 1, 24, BitmapEntry(2, 1, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0}, {0, 0, 0, 0})}});
}

}  // namespace

TEST(BmpComponent, FilesRoundTripWithTransparencyWhenAsked) {
  ScratchDir dir;
  const std::string path = dir / "alpha.bmp";
  TVXBitmap src;
  Picture(src);
  {
    auto io = TVexlaneIO::CreateFromBitmap(&src);
    io->Params().SetBMP_HandleTransparency(true);
    io->Params().SetBitsPerSample(8);
    io->Params().SetSamplesPerPixel(4);
    io->Params().SetDpi(300);
    io->SaveToFileBMP(path);
    EXPECT_FALSE(io->Aborting());
    EXPECT_EQ(io->Params().FileType(), 5);
    EXPECT_EQ(io->Params().FileName(), path);
  }
  for (bool handle : {true, false}) {
    TVXBitmap got;
    auto io = TVexlaneIO::CreateFromBitmap(&got);
    io->Params().SetBMP_HandleTransparency(handle);
    ASSERT_TRUE(io->LoadFromFileBMP(path));
    EXPECT_EQ(io->Params().FileType(), 5);
    EXPECT_EQ(io->Params().FileName(), path);
    EXPECT_EQ(io->Params().DpiX(), 300);
    EXPECT_EQ(Differences(FromBitmap(got), FromBitmap(src), handle), "");
    EXPECT_EQ(got.HasAlphaChannel(), handle);
  }
}

TEST(BmpComponent, StreamsHoldImagesOneAfterAnother) {
  TVXBitmap a, b;
  Picture(a);
  ASSERT_TRUE(b.Allocate(5, 3, vx8p));
  for (int i = 0; i < 256; ++i) b.SetPalette(i, TRGB{uint8_t(i), 0, uint8_t(255 - i)});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) b.SetPixels_vx8(x, y, uint8_t(x == 4 ? 9 : 3));
  TMemoryStream stream;
  {
    auto io = TVexlaneIO::CreateFromBitmap(&a);
    io->Params().SetBitsPerSample(8);
    io->Params().SetSamplesPerPixel(3);
    io->SaveToStreamBMP(&stream);
    io->SetAttachedVXBitmap(&b);
    io->Params().SetSamplesPerPixel(1);
    io->Params().SetBMP_Compression(ioBMP_RLE);
    io->SaveToStreamBMP(&stream);
    EXPECT_EQ(io->Params().FileType(), 0);  // stream saves leave the source alone
  }
  stream.SetPosition(0);
  TVXBitmap first, second;
  auto io = TVexlaneIO::CreateFromBitmap(&first);
  ASSERT_TRUE(io->LoadFromStreamBMP(&stream));
  EXPECT_EQ(io->Params().FileType(), 5);
  EXPECT_EQ(io->Params().FileName(), "");
  io->SetAttachedVXBitmap(&second);
  ASSERT_TRUE(io->LoadFromStream(&stream));
  EXPECT_EQ(stream.Position(), stream.Size());
  EXPECT_EQ(Differences(FromBitmap(first), FromBitmap(a), false), "");
  EXPECT_EQ(Differences(FromBitmap(second), FromBitmap(b), false), "");
  EXPECT_EQ(io->Params().BMP_Compression(), ioBMP_RLE);
}

// A save that cannot be made leaves the file that was there.
TEST(BmpComponent, AFailedFileSaveLeavesTheOldFile) {
  ScratchDir dir;
  const std::string path = dir / "old.bmp";
  WriteFile(path, {'o', 'l', 'd'});
  TVXBitmap empty;
  auto io = TVexlaneIO::CreateFromBitmap(&empty);
  io->SaveToFileBMP(path);  // the writer refuses an empty image
  EXPECT_TRUE(io->Aborting());
  io->SetAttachedVXBitmap(nullptr);
  io->SaveToFileBMP(path);  // no target at all
  EXPECT_TRUE(io->Aborting());
  EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

TEST(BmpComponent, IconsAndCursorsLoadWithTheirMaskInTheAlphaChannel) {
  ScratchDir dir;
  const std::string ico = dir / "two.ico", cur = dir / "one.cur";
  WriteFile(ico, TwoEntryIcon(1));
  WriteFile(cur, TwoEntryIcon(2));
  EXPECT_EQ(VXGetICOFileImageCount(ico), 2);

  TVXBitmap got;
  auto io = TVexlaneIO::CreateFromBitmap(&got);
  io->Params().SetICO_Background(TRGB{0, 0, 255});
  ASSERT_TRUE(io->LoadFromFileICO(ico));
  EXPECT_EQ(io->Params().FileType(), 6);
  EXPECT_EQ(io->Params().ImageCount(), 2);
  ASSERT_EQ(got.Width(), 4);
  ASSERT_TRUE(got.HasAlphaChannel());
  EXPECT_EQ(got.Alpha(0, 0), 0);
  EXPECT_EQ(got.Alpha(1, 0), 255);
  EXPECT_EQ(got.Pixels_vx24RGB(0, 1), (TRGB{0, 0, 255}));
  EXPECT_EQ(got.Pixels_vx24RGB(1, 1), (TRGB{200, 100, 50}));

  // The second entry is opaque: no alpha channel is left from the first.
  io->Params().SetICO_ImageIndex(1);
  const std::vector<uint8_t> bytes = ReadFile(ico);
  TVXMemStream icoStream(bytes.data(), int64_t(bytes.size()));
  ASSERT_TRUE(io->LoadFromStreamICO(&icoStream));
  EXPECT_EQ(got.Width(), 2);
  EXPECT_FALSE(got.HasAlphaChannel());
  EXPECT_EQ(io->Params().FileName(), "");

  io->Params().SetCUR_ImageIndex(0);
  ASSERT_TRUE(io->LoadFromFileCUR(cur));
  EXPECT_EQ(io->Params().FileType(), 7);
  EXPECT_EQ(io->Params().CUR_XHotSpot(), 5);
  EXPECT_EQ(io->Params().CUR_YHotSpot(), 7);
  EXPECT_TRUE(got.HasAlphaChannel());
}

// Extension, content and parameters-only reading reach the same readers.
TEST(BmpComponent, DispatchByExtensionAndContent) {
  ScratchDir dir;
  TVXBitmap src;
  Picture(src);
  src.RemoveAlphaChannel(false, 0);
  const std::string bmp = dir / "a.bmp", icoAsBmp = dir / "icon.bmp", ico = dir / "i.ico", cur = dir / "c.cur";
  {
    auto io = TVexlaneIO::CreateFromBitmap(&src);
    io->Params().SetBitsPerSample(8);
    io->Params().SetSamplesPerPixel(3);
    io->SaveToFile(bmp, -1);
    ASSERT_FALSE(io->Aborting());
  }
  WriteFile(icoAsBmp, TwoEntryIcon(1));
  WriteFile(ico, TwoEntryIcon(1));
  WriteFile(cur, TwoEntryIcon(2));

  TVXBitmap got;
  auto io = TVexlaneIO::CreateFromBitmap(&got);
  ASSERT_TRUE(io->LoadFromFile(bmp, -1));
  EXPECT_EQ(Differences(FromBitmap(got), FromBitmap(src), false), "");
  // An icon named .bmp: the BMP loader fails, the content decides.
  ASSERT_TRUE(io->LoadFromFile(icoAsBmp, -9));
  EXPECT_EQ(io->Params().FileType(), 6);
  EXPECT_EQ(got.Width(), 4);
  EXPECT_EQ(VXFindFileFormat(cur, false), 7);
  ASSERT_TRUE(io->LoadFromFile(cur, -1));
  EXPECT_EQ(io->Params().FileType(), 7);

  // Parameters only: size and depth, the target untouched.
  struct Case {
    std::string Path;
    int FileType, Width, Height, BitsPerSample;
  } cases[] = {{bmp, 5, 13, 7, 8}, {ico, 6, 4, 2, 8}, {cur, 7, 4, 2, 8}};
  for (const Case& c : cases) {
    TVXBitmap untouched(3, 3, vx8g);
    auto p = TVexlaneIO::CreateFromBitmap(&untouched);
    p->ParamsFromFile(c.Path);
    EXPECT_EQ(p->Params().FileType(), c.FileType) << c.Path;
    EXPECT_EQ(p->Params().Width(), c.Width) << c.Path;
    EXPECT_EQ(p->Params().Height(), c.Height) << c.Path;
    EXPECT_EQ(p->Params().BitsPerSample(), c.BitsPerSample) << c.Path;
    EXPECT_EQ(untouched.Width(), 3);
    EXPECT_EQ(untouched.PixelFormat(), vx8g);
  }
  // Cursors are never written.
  io->SaveToFile(dir / "x.cur", -1);
  EXPECT_TRUE(io->Aborting());
  EXPECT_TRUE(ReadFile(dir / "x.cur").empty());
}
