// The bitmap reads and writes itself through the I/O component, and images
// come from module resources (the windres-built DLLs of tests/data/peres).
#include <gtest/gtest.h>

#include <cstring>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "jpeg_test_util.h"
#include "platform/win_module.h"
#include "winui/win_module.h"

using namespace jpegtest;

namespace {

const std::string kPeres = std::string(VX_TEST_DATA_DIR) + "/peres/";

std::string Capture(const std::string& Command) {
  std::string out;
  if (FILE* f = popen((Command + " 2>&1").c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    pclose(f);
  }
  return out;
}

bool SamePixels(const TVXBitmap& A, const TVXBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat()) return false;
  for (int32_t y = 0; y < A.Height(); ++y)
    for (int32_t x = 0; x < A.Width(); ++x)
      if (!(A.Pixels(x, y) == B.Pixels(x, y))) return false;
  return true;
}

TEST(BitmapIO, GreyBitmapWritesAnEightBitGreyPngAndReadsBack) {
  ScratchDir dir;
  const std::string file = dir / "x.png";
  TVXBitmap grey(7, 5, vx8g);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) grey.SetPixels_vx8(x, y, uint8_t(x * 30 + y * 7));
  ASSERT_TRUE(grey.Write(file));
  EXPECT_EQ(grey.PixelFormat(), vx8g);
  if (HaveTool("/usr/bin/pngcheck")) {
    const std::string check = Capture("/usr/bin/pngcheck " + file);
    EXPECT_NE(check.find("8-bit grayscale"), std::string::npos) << check;
  }
  if (HaveTool("/usr/bin/python3")) {
    const std::string mode = Capture("/usr/bin/python3 -c \"from PIL import Image; print(Image.open('" + file +
                                     "').mode)\"");
    EXPECT_EQ(mode, "L\n");
  }
  TVXBitmap back;
  TIOParamsVals params(nullptr);
  ASSERT_TRUE(back.Read(file, &params));
  EXPECT_EQ(params.FileType(), 8);
  EXPECT_EQ(params.Width(), 7);
  EXPECT_EQ(params.FileName(), file);
  TVXBitmap made(file, nullptr);
  ASSERT_EQ(back.Width(), 7);
  ASSERT_EQ(back.Height(), 5);
  EXPECT_TRUE(SamePixels(back, made));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) {
      const TRGB c = back.Pixels(x, y);
      const uint8_t g = uint8_t(x * 30 + y * 7);
      ASSERT_EQ(c, (TRGB{g, g, g})) << x << "," << y;
    }
}

TEST(BitmapIO, StreamsBuffersAndParameters) {
  TVXBitmap image(6, 4, vx24RGB);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) image.SetPixels(x, y, TRGB{uint8_t(x * 40), uint8_t(y * 60), 200});
  TMemoryStream bmp;
  ASSERT_TRUE(image.Write(&bmp, 5));
  ASSERT_GT(bmp.Size(), 54);
  // A stream read by type and by content; a buffer by type and by content.
  for (int32_t type : {5, 0}) {
    bmp.SetPosition(0);
    TVXBitmap s;
    ASSERT_TRUE(s.Read(&bmp, type));
    EXPECT_TRUE(SamePixels(s, image)) << type;
    TVXBitmap b(bmp.Memory(), int32_t(bmp.Size()), type);
    EXPECT_TRUE(SamePixels(b, image)) << type;
  }
  // Parameters go in before the save and come back after a read.
  TIOParamsVals params(nullptr);
  params.SetBMP_HandleTransparency(false);
  params.SetBitsPerSample(1);
  params.SetSamplesPerPixel(1);
  TMemoryStream mono;
  ASSERT_TRUE(image.Write(&mono, 5, &params));
  TIOParamsVals got(nullptr);
  TVXBitmap m;
  ASSERT_TRUE(m.Read(mono.Memory(), int32_t(mono.Size()), 5, &got));
  EXPECT_EQ(got.BitsPerSample(), 1);
  EXPECT_EQ(m.PixelFormat(), vx1g);
  // Damage and unknown types answer false; a missing file raises as the
  // component's load does.
  ScratchDir dir;
  WriteFile(dir / "bad.png", std::vector<uint8_t>(40, 0x55));
  TVXBitmap none;
  EXPECT_FALSE(none.Read(dir / "bad.png"));
  EXPECT_FALSE(none.Read(nullptr, 0, 0));
  EXPECT_THROW(none.Read(std::string("/nonexistent/nothing.png")), std::exception);
  EXPECT_FALSE(image.Write(dir / "x.unknownext"));
}

TEST(ResourceImages, ComponentLoadsRcdataPngFromTheDll) {
  TVXBitmap logo;
  ASSERT_TRUE(logo.Read(kPeres + "logo.png"));
  ASSERT_EQ(logo.Width(), 5);
  for (const char* dll : {"res32.dll", "res64.dll"}) {
    const struct {
      const char *Type, *Name;
    } cases[] = {{"RCData", "LOGO"}, {"INTRESOURCE:10", "intresource:100"}, {"rcdata", "LOGO"}};
    for (const auto& c : cases) {
      TVexlaneIO io;
      io.LoadFromResource(kPeres + dll, c.Type, c.Name, 0);
      const bool found = std::string(c.Type) != "rcdata";  // friendly names match exactly
      EXPECT_EQ(io.Aborting(), !found) << dll << " " << c.Type << " " << c.Name;
      EXPECT_FALSE(io.Params().IsResource());
      if (found) {
        EXPECT_TRUE(SamePixels(*io.VXBitmap(), logo)) << dll << " " << c.Name;
        EXPECT_EQ(io.Params().FileType(), 8);
      }
    }
    TVexlaneIO io;
    io.LoadFromResource(kPeres + dll, "RCData", "NOPE", 8);
    EXPECT_TRUE(io.Aborting());
    EXPECT_FALSE(io.Params().IsResource());
  }
  TVexlaneIO io;
  io.LoadFromResource(kPeres + "logo.png", "RCData", "LOGO", 0);  // not a module
  EXPECT_TRUE(io.Aborting());
}

TEST(ResourceImages, BitmapLoadsFromModulesAndTheProgram) {
  TVXBitmap logo;
  ASSERT_TRUE(logo.Read(kPeres + "logo.png"));
  HMODULE module = LoadLibraryExW(kPeres + "res64.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  TVXBitmap byName, byId;
  byName.LoadFromResource(module, "logo", RT_RCDATA, 0);
  byId.LoadFromResource(module, 100, RT_RCDATA, 8);
  EXPECT_TRUE(SamePixels(byName, logo));
  EXPECT_TRUE(SamePixels(byId, logo));
  try {
    byName.LoadFromResource(module, "NOPE", RT_RCDATA, 0);
    ADD_FAILURE() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Resource NOPE not found");
  }
  try {
    byName.LoadFromResource(module, 101, RT_RCDATA, 0);
    ADD_FAILURE() << "no exception";
  } catch (const EVXException& e) {
    EXPECT_STREQ(e.what(), "Resource #101 not found");
  }
  EXPECT_TRUE(FreeLibrary(module));
  // The program's own resources.
  const std::vector<uint8_t> png = ReadFile(kPeres + "logo.png");
  RegisterResource(RT_RCDATA, "TESTLOGO", png.data(), png.size());
  TVXBitmap own;
  own.LoadFromResource(nullptr, "testlogo", RT_RCDATA, 0);
  UnregisterResource(RT_RCDATA, "TESTLOGO");
  EXPECT_TRUE(SamePixels(own, logo));
}

}  // namespace
