// JPEG through the I/O component: files, streams with headers, dispatch,
// parameters-only reading, markers written back and IPTC injection.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/icc.h"
#include "core/streams.h"
#include "io/iptc.h"
#include "io/markers.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tests/codecs/jpeg_test_util.h"

using namespace jpegtest;

namespace {

// A 40 x 30 image with a colour gradient.
void Gradient(TVXBitmap& B, int W = 40, int H = 30) {
  ASSERT_TRUE(B.Allocate(W, H, vx24RGB));
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(B.GetScanLine(y));
    for (int x = 0; x < W; ++x) {
      row[3 * x] = uint8_t(x * 6);
      row[3 * x + 1] = uint8_t(y * 8);
      row[3 * x + 2] = uint8_t(200 - x * 2);
    }
  }
}

// The marker codes of a JPEG file in order, up to the first SOS.
std::vector<int> MarkerCodes(const std::vector<uint8_t>& J) {
  std::vector<int> codes;
  size_t p = 2;
  while (p + 4 <= J.size() && J[p] == 0xFF) {
    const int m = J[p + 1];
    codes.push_back(m);
    if (m == 0xDA) break;
    p += 2 + ((J[p + 2] << 8) | J[p + 3]);
  }
  return codes;
}

}  // namespace

TEST(JpegComponent, StreamHeadersLeaveTheStreamAfterEachImage) {
  TVXBitmap a, b;
  Gradient(a, 40, 30);
  Gradient(b, 17, 9);
  TMemoryStream stream;
  {
    TVexlaneIO io(nullptr);
    io.SetStreamHeaders(true);
    io.SetAttachedVXBitmap(&a);
    io.SaveToStreamJpeg(&stream);
    ASSERT_FALSE(io.Aborting());
    io.SetAttachedVXBitmap(&b);
    io.SaveToStreamJpeg(&stream);
    ASSERT_FALSE(io.Aborting());
  }
  const uint8_t tail[] = {1, 2, 3};
  stream.WriteBuffer(tail, 3);
  stream.SetPosition(0);
  TVXBitmap r;
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&r);
  ASSERT_TRUE(io.LoadFromStreamJpeg(&stream));
  EXPECT_EQ(r.Width(), 40);
  ASSERT_TRUE(io.LoadFromStreamJpeg(&stream));
  EXPECT_EQ(r.Width(), 17);
  EXPECT_EQ(stream.Position(), stream.Size() - 3);
  EXPECT_EQ(io.Params().FileType(), 3);

  // A header whose length passes the end of the stream is refused.
  std::vector<uint8_t> bad = {'J', 'F', 'I', 'F', 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
  TVXMemStream s(bad.data(), int64_t(bad.size()));
  EXPECT_FALSE(io.LoadFromStreamJpeg(&s));
  bad[11] = 0x80;  // negative
  TVXMemStream n(bad.data(), int64_t(bad.size()));
  EXPECT_FALSE(io.LoadFromStreamJpeg(&n));
}

TEST(JpegComponent, FilesDispatchAndParameters) {
  ScratchDir dir;
  TVXBitmap src;
  Gradient(src);
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&src);
  io.Params().SetDpiX(150);
  io.Params().SetDpiY(150);
  io.SaveToFile(dir / "a.jpg", -1);
  ASSERT_FALSE(io.Aborting());
  const std::vector<uint8_t> bytes = ReadFile(dir / "a.jpg");
  ASSERT_GT(bytes.size(), 100u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);

  // A JPEG named .png: by content only.
  WriteFile(dir / "b.png", bytes);
  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&r);
  EXPECT_TRUE(reader.LoadFromFile(dir / "b.png", -9));
  EXPECT_EQ(r.Width(), 40);
  EXPECT_EQ(reader.Params().FileType(), 3);
  EXPECT_EQ(reader.Params().DpiX(), 150);

  // Parameters only: the target is left alone.
  TVXBitmap untouched;
  ASSERT_TRUE(untouched.Allocate(3, 3, vx8g));
  TVexlaneIO p(nullptr);
  p.SetAttachedVXBitmap(&untouched);
  p.ParamsFromFile(dir / "a.jpg");
  EXPECT_EQ(p.Params().FileType(), 3);
  EXPECT_EQ(p.Params().Width(), 40);
  EXPECT_EQ(p.Params().Height(), 30);
  EXPECT_EQ(untouched.Width(), 3);

  // A failed save leaves the old file: an empty image aborts.
  TVXBitmap empty;
  TVexlaneIO e(nullptr);
  e.SetAttachedVXBitmap(&empty);
  e.SaveToFileJpeg(dir / "a.jpg");
  EXPECT_EQ(ReadFile(dir / "a.jpg"), bytes);
}

TEST(JpegComponent, SavingConvertsTheTargetAndKeepsMarkers) {
  ScratchDir dir;
  TVXBitmap grey;
  ASSERT_TRUE(grey.Allocate(8, 8, vx8g));
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&grey);
  TMemoryStream out;
  io.SaveToStreamJpeg(&out);
  EXPECT_EQ(grey.PixelFormat(), vx24RGB);
  TVXBitmap bw;
  ASSERT_TRUE(bw.Allocate(8, 8, vx1g));
  io.SetAttachedVXBitmap(&bw);
  io.SaveToStreamJpeg(&out);
  EXPECT_EQ(bw.PixelFormat(), vx1g);

  // Markers kept from a load come back after the encoder's JFIF header, sorted.
  TVXBitmap src;
  Gradient(src);
  io.SetAttachedVXBitmap(&src);
  TVXMarkerList& m = io.Params().JPEG_MarkerList();
  m.Clear();
  const char com[] = "a comment";
  const char app5[] = "five";
  m.AddMarker(0xFE, com, sizeof com);
  m.AddMarker(0xE5, app5, sizeof app5);
  io.Params().IPTC_Info().AddStringItem(2, 120, "Caption");
  io.Params().IPTC_Info().SetUserChanged(true);
  io.SaveToFileJpeg(dir / "m.jpg");
  ASSERT_FALSE(io.Aborting());
  const std::vector<int> codes = MarkerCodes(ReadFile(dir / "m.jpg"));
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(codes[0], 0xE0);
  EXPECT_EQ(codes[1], 0xE5);
  EXPECT_EQ(codes[2], 0xED);
  EXPECT_EQ(codes[3], 0xFE);

  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&r);
  ASSERT_TRUE(reader.LoadFromFileJpeg(dir / "m.jpg"));
  EXPECT_EQ(reader.Params().IPTC_Info().Count(), 1);
  EXPECT_EQ(reader.Params().JPEG_MarkerList().Count(), 3);
  if (HaveTool("/usr/bin/exiftool")) {
    EXPECT_EQ(Shell("/usr/bin/exiftool -s -IPTC:Caption-Abstract " + (dir / "m.jpg") + " | grep -q Caption"), 0);
  }
}

TEST(JpegComponent, LargeProfileGoesOutInChunks) {
  ScratchDir dir;
  TVXBitmap src;
  Gradient(src);
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&src);
  TVXICC cmyk;
  cmyk.Assign_CMYKProfile();
  ASSERT_GT(cmyk.RawLength(), 65535);
  io.Params().InputICCProfile().Assign(&cmyk);
  io.SaveToFileJpeg(dir / "p.jpg");
  ASSERT_FALSE(io.Aborting());
  const std::vector<int> codes = MarkerCodes(ReadFile(dir / "p.jpg"));
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0xE2), (cmyk.RawLength() + 31999) / 32000);
  TVXBitmap r;
  TVexlaneIO reader(nullptr);
  reader.SetAttachedVXBitmap(&r);
  ASSERT_TRUE(reader.LoadFromFileJpeg(dir / "p.jpg"));
  ASSERT_TRUE(reader.Params().HasInputICCProfile());
  const TVXICC& back = reader.Params().InputICCProfile();
  ASSERT_EQ(back.RawLength(), cmyk.RawLength());
  EXPECT_EQ(std::memcmp(back.Raw(), cmyk.Raw(), size_t(cmyk.RawLength())), 0);
  if (HaveTool("/usr/bin/exiftool")) {
    EXPECT_EQ(Shell("/usr/bin/exiftool -s -ICC_Profile:ProfileClass " + (dir / "p.jpg") + " | grep -q Output"), 0);
  }
}

TEST(JpegComponent, InjectIPTCIntoAFile) {
  ScratchDir dir;
  TVXBitmap src;
  Gradient(src);
  TVexlaneIO io(nullptr);
  io.SetAttachedVXBitmap(&src);
  io.SaveToFileJpeg(dir / "i.jpg");
  const std::vector<uint8_t> before = ReadFile(dir / "i.jpg");
  io.Params().IPTC_Info().Clear();
  io.Params().IPTC_Info().AddStringItem(2, 5, "Object name");
  ASSERT_TRUE(io.InjectJpegIPTC(dir / "i.jpg"));
  const std::vector<uint8_t> after = ReadFile(dir / "i.jpg");
  EXPECT_GT(after.size(), before.size());
  // The image data is the same from the DQT on.
  EXPECT_TRUE(std::equal(before.end() - 200, before.end(), after.end() - 200));
  if (HaveTool("/usr/bin/exiftool")) {
    EXPECT_EQ(Shell("/usr/bin/exiftool -s -IPTC:ObjectName " + (dir / "i.jpg") + " | grep -q 'Object name'"), 0);
  }
  // Not a JPEG: false, the file unchanged.
  WriteFile(dir / "x.jpg", {'n', 'o', 't', 0xFF, 0x10, 'j', 'p', 'g'});
  EXPECT_FALSE(io.InjectJpegIPTC(dir / "x.jpg"));
  EXPECT_EQ(ReadFile(dir / "x.jpg").size(), 8u);
}
