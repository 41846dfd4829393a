// Images as text (Pascal, hexadecimal, Base64 and ASCII art), Base64 read
// back, and frame seeking through a GIF.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sstream>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "jpeg_test_util.h"

using namespace jpegtest;

namespace {

std::string StreamText(TMemoryStream& ms) {
  return std::string(static_cast<const char*>(ms.Memory()), size_t(ms.Size()));
}

// Lines ended by CR LF; false when a line ends otherwise.
bool SplitCRLF(const std::string& text, std::vector<std::string>& lines) {
  lines.clear();
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t e = text.find("\r\n", pos);
    if (e == std::string::npos) return false;
    lines.push_back(text.substr(pos, e - pos));
    pos = e + 2;
  }
  return true;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// A 24-bit image of a few colours, with its PNG bytes as SaveToStream writes them.
struct TTextFixture {
  TVexlaneIO io;
  std::vector<uint8_t> png;
  TTextFixture(int W = 23, int H = 9) {
    io.VXBitmap()->Allocate(W, H, vx24RGB);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        io.VXBitmap()->SetPixels(x, y, TRGB{uint8_t(x * 11), uint8_t(y * 29), uint8_t((x ^ y) * 5)});
    TMemoryStream ms;
    io.SaveToStream(&ms, 8);
    png.assign(static_cast<const uint8_t*>(ms.Memory()), static_cast<const uint8_t*>(ms.Memory()) + ms.Size());
  }
};

TEST(ImagesAsText, Base64DecodesToTheSavedBytesAndLoadsBack) {
  TTextFixture f;
  ASSERT_GT(f.png.size(), 100u);
  ScratchDir dir;
  const std::string file = dir / "img.b64";
  f.io.SaveToText(file, 8, vxtfBase64);
  ASSERT_FALSE(f.io.Aborting());
  std::vector<uint8_t> raw = ReadFile(file);
  std::vector<std::string> lines;
  ASSERT_TRUE(SplitCRLF(std::string(raw.begin(), raw.end()), lines));
  ASSERT_FALSE(lines.empty());
  for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 76u) << i;
  EXPECT_LE(lines.back().size(), 76u);
  if (HaveTool("/usr/bin/base64")) {
    ASSERT_EQ(Shell("/usr/bin/base64 -d -i " + file + " > " + (dir / "img.png")), 0);
    EXPECT_EQ(ReadFile(dir / "img.png"), f.png);
  }
  TVexlaneIO back;
  back.LoadFromText(file, vxtfBase64);
  ASSERT_FALSE(back.Aborting());
  ASSERT_EQ(back.VXBitmap()->Width(), 23);
  ASSERT_EQ(back.VXBitmap()->Height(), 9);
  for (int y = 0; y < 9; ++y)
    ASSERT_EQ(std::memcmp(back.VXBitmap()->ScanLine(y), f.io.VXBitmap()->ScanLine(y), 23 * 3), 0) << y;
  EXPECT_EQ(back.Params().FileType(), 8);
}

TEST(ImagesAsText, PascalAndHexHoldEveryByte) {
  TTextFixture f;
  const size_t S = f.png.size();
  char last[3];
  std::snprintf(last, sizeof last, "%02X", f.png.back());
  // The identifier is the file's name without its folder.
  f.io.Params().SetFileName("/some/folder/logo.small.png");
  {
    TMemoryStream ms;
    f.io.SaveToText(&ms, 8, vxtfPascal);
    const std::string text = StreamText(ms);
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitCRLF(text, lines));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "const");
    EXPECT_EQ(lines[1], "  logo_small.png_Size = " + std::to_string(S) + ";");
    EXPECT_EQ(lines[2], "  logo_small.png : array [0..logo_small.png_Size - 1] of byte = (");
    EXPECT_EQ(Count(text, "$"), S);
    EXPECT_EQ(lines.back().substr(lines.back().size() - 5), std::string("$") + last + ");");
    EXPECT_EQ(Count(text, ");"), 1u);
    // Body: every byte in order, each line indented and at most 74 + 4 wide.
    std::string body;
    for (size_t i = 3; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i].rfind("    ", 0), 0u) << i;
      EXPECT_LE(lines[i].size(), 4u + 74u + 2u) << i;
      body += lines[i].substr(4);
    }
    std::string want;
    for (size_t i = 0; i < S; ++i) {
      char b[5];
      std::snprintf(b, sizeof b, "$%02X", f.png[i]);
      want += b;
      want += i + 1 < S ? "," : ");";
    }
    EXPECT_EQ(body, want);
  }
  {
    TMemoryStream ms;
    f.io.SaveToText(&ms, 8, vxtfHex);
    const std::string text = StreamText(ms);
    std::vector<std::string> lines;
    ASSERT_TRUE(SplitCRLF(text, lines));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "\\\\ Size=" + std::to_string(S));
    std::string body;
    for (size_t i = 1; i < lines.size(); ++i) body += lines[i];
    std::string want;
    for (size_t i = 0; i < S; ++i) {
      char b[5];
      std::snprintf(b, sizeof b, "0x%02X", f.png[i]);
      want += b;
      if (i + 1 < S) want += ",";
    }
    EXPECT_EQ(body, want);
  }
}

TEST(ImagesAsText, NothingEncodedWritesAnEmptyBodyAndTheFileFormLeavesNoFile) {
  TTextFixture f(3, 2);
  f.io.Params().SetFileName("x.png");
  TMemoryStream ms;
  f.io.SaveToText(&ms, 9, vxtfPascal);  // a type the component cannot write
  EXPECT_TRUE(f.io.Aborting());
  EXPECT_EQ(StreamText(ms), "const\r\n  x_png_Size = 0;\r\n  x_png : array [0..x_png_Size - 1] of byte = (\r\n    );\r\n");
  TMemoryStream hex;
  f.io.SaveToText(&hex, 9, vxtfHex);
  EXPECT_EQ(StreamText(hex), "\\\\ Size=0\r\n");
  ScratchDir dir;
  f.io.SaveToText(dir / "none.txt", 9, vxtfBase64);
  EXPECT_TRUE(f.io.Aborting());
  EXPECT_FALSE(std::filesystem::exists(dir / "none.txt"));
}

TEST(ImagesAsText, AsciiArtFromDarkToLight) {
  TVexlaneIO io;
  TVXBitmap* b = io.VXBitmap();
  b->Allocate(5, 2, vx8g);  // converted to 24-bit first
  const uint8_t greys[2][5] = {{255, 0, 128, 29, 230}, {0, 0, 255, 255, 60}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 5; ++x) b->SetPixels_vx8(x, y, greys[y][x]);
  TMemoryStream ms;
  io.SaveToText(&ms, 8, vxtfASCIIArt);
  // grey / 255 * 9: 128 -> 4 '+', 29 -> 1 '@', 230 -> 8 ' ', 60 -> 2 '#'.
  EXPECT_EQ(StreamText(ms), " W+@ \r\nWW  #\r\n");
  EXPECT_EQ(b->PixelFormat(), vx24RGB);

  // Coefficients summing past 100 stay inside the palette.
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  const int32_t r = s->RedToGrayCoef(), g = s->GreenToGrayCoef(), bl = s->BlueToGrayCoef();
  s->SetRedToGrayCoef(90);
  s->SetGreenToGrayCoef(90);
  s->SetBlueToGrayCoef(90);
  TMemoryStream bright;
  io.SaveToText(&bright, 8, vxtfASCIIArt);
  s->SetRedToGrayCoef(r);
  s->SetGreenToGrayCoef(g);
  s->SetBlueToGrayCoef(bl);
  EXPECT_EQ(StreamText(bright), " W # \r\nWW  :\r\n");
}

TEST(ImagesAsText, OnlyBase64IsRead) {
  TVexlaneIO io;
  for (TVXTextFormat fmt : {vxtfPascal, vxtfHex, vxtfASCIIArt}) {
    TMemoryStream ms;
    ms.WriteBuffer("W@#", 3);
    ms.SetPosition(0);
    try {
      io.LoadFromText(&ms, fmt);
      ADD_FAILURE() << "no exception for " << int(fmt);
    } catch (const EVXException& e) {
      EXPECT_STREQ(e.what(), "Unsupported text format");
    }
  }
  // Base64 of bytes that are no image fails the load.
  TMemoryStream junk;
  junk.WriteBuffer("AAAAAAAA\r\n", 10);
  junk.SetPosition(0);
  io.LoadFromText(&junk, vxtfBase64);
  EXPECT_TRUE(io.Aborting());
}

TEST(FrameSeeking, StepsThroughAGifAndReloadsOnlyWhenNeeded) {
  ScratchDir dir;
  const std::string file = dir / "anim.gif";
  {
    TVexlaneIO w;
    const TRGB colours[3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    for (int i = 0; i < 3; ++i) {
      w.VXBitmap()->Allocate(6, 4, vx24RGB);
      w.VXBitmap()->Fill(0);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) w.VXBitmap()->SetPixels(x, y, colours[i]);
      w.Params().SetBitsPerSample(8);
      w.Params().SetGIF_ImageIndex(i);
      if (i == 0)
        w.SaveToFileGIF(file);
      else
        ASSERT_EQ(w.InsertToFileGIF(file), i + 1);
      ASSERT_FALSE(w.Aborting());
    }
  }
  TVexlaneIO io;
  io.Params().SetGIF_RAWLoad(true);
  ASSERT_TRUE(io.LoadFromFile(file, int32_t(-1)));
  ASSERT_EQ(io.Params().ImageCount(), 3);
  int loads = 0;
  io.OnFinishWork = [&](void*) { ++loads; };
  auto colour = [&] { return io.VXBitmap()->Pixels(0, 0); };
  EXPECT_EQ(io.Seek(vxioSeekNext), 1);
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(colour(), (TRGB{0, 255, 0}));
  EXPECT_EQ(io.Seek(vxioSeekLast), 2);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(colour(), (TRGB{255, 0, 0}));
  // At the last image: the same index, nothing reloaded.
  io.VXBitmap()->Allocate(1, 1, vx24RGB);
  EXPECT_EQ(io.Seek(vxioSeekNext), 2);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(io.VXBitmap()->Width(), 1);
  // With a file name it reloads.
  EXPECT_EQ(io.Seek(vxioSeekNext, file), 2);
  EXPECT_EQ(loads, 3);
  EXPECT_EQ(io.VXBitmap()->Width(), 6);
  EXPECT_EQ(colour(), (TRGB{255, 0, 0}));
  EXPECT_EQ(io.Seek(vxioSeekPrior), 1);
  EXPECT_EQ(io.Seek(vxioSeekFirst), 0);
  EXPECT_EQ(colour(), (TRGB{0, 0, 255}));
  EXPECT_EQ(io.Seek(vxioSeekPrior), 0);
  EXPECT_EQ(loads, 5);
}

}  // namespace
