// Every PngSuite image decoded and compared with ImageMagick's decoder; every
// damaged x* file refused cleanly.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codecs/png.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

std::vector<std::string> SuiteFiles(bool damaged) {
  std::vector<std::string> out;
  DIR* d = opendir(VX_PNGSUITE_DIR);
  if (d == nullptr) return out;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n.size() < 5 || n.substr(n.size() - 4) != ".png") continue;
    if ((n[0] == 'x') == damaged) out.push_back(n);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

bool HaveMagick() {
  struct stat st;
  return stat("/usr/bin/convert", &st) == 0;
}

// RGBA bytes of ImageMagick's decoding, 8 bits per sample.
std::vector<uint8_t> MagickRGBA(const std::string& path) {
  std::vector<uint8_t> out;
  const std::string cmd = "/usr/bin/convert '" + path + "' -set colorspace sRGB -depth 8 rgba:- 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.insert(out.end(), buf, buf + n);
  pclose(p);
  return out;
}

class PngSuiteImage : public ::testing::TestWithParam<std::string> {};

TEST_P(PngSuiteImage, MatchesIndependentDecoder) {
  if (!HaveMagick()) GTEST_SKIP() << "/usr/bin/convert is missing";
  const std::string path = std::string(VX_PNGSUITE_DIR) + "/" + GetParam();
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  ASSERT_TRUE(io.LoadFromFilePNG(path));
  const std::vector<uint8_t> ref = MagickRGBA(path);
  ASSERT_EQ(ref.size(), size_t(bmp.Width()) * bmp.Height() * 4);
  // 16-bit files: we keep the high byte, ImageMagick rounds.
  const int tolerance = io.Params().BitsPerSample() == 16 ? 1 : 0;
  int bad = 0;
  for (int32_t y = 0; y < bmp.Height() && bad < 5; ++y) {
    for (int32_t x = 0; x < bmp.Width() && bad < 5; ++x) {
      const uint8_t* e = &ref[(size_t(y) * bmp.Width() + x) * 4];
      uint8_t r, g, b;
      if (bmp.PixelFormat() == vx1g) {
        r = g = b = bmp.Pixels_vx1g(x, y) ? 255 : 0;
      } else {
        ASSERT_EQ(bmp.PixelFormat(), vx24RGB);
        const TRGB c = bmp.Pixels_vx24RGB(x, y);
        r = c.r, g = c.g, b = c.b;
      }
      const uint8_t a = bmp.HasAlphaChannel() ? bmp.AlphaChannel()->Pixels_vx8(x, y) : 255;
      // Colour under a fully transparent pixel is not compared.
      const bool colour = a != 0 || e[3] != 0;
      if (std::abs(int(a) - e[3]) > tolerance ||
          (colour && (std::abs(int(r) - e[0]) > tolerance || std::abs(int(g) - e[1]) > tolerance ||
                      std::abs(int(b) - e[2]) > tolerance))) {
        ADD_FAILURE() << GetParam() << " pixel " << x << "," << y << ": got " << int(r) << " " << int(g) << " "
                      << int(b) << " " << int(a) << ", expected " << int(e[0]) << " " << int(e[1]) << " "
                      << int(e[2]) << " " << int(e[3]);
        ++bad;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, PngSuiteImage, ::testing::ValuesIn(SuiteFiles(false)),
                         [](const ::testing::TestParamInfo<std::string>& i) {
                           return i.param.substr(0, i.param.size() - 4);
                         });

class PngSuiteDamaged : public ::testing::TestWithParam<std::string> {};

TEST_P(PngSuiteDamaged, RefusedSilently) {
  const std::string path = std::string(VX_PNGSUITE_DIR) + "/" + GetParam();
  TVXBitmap bmp;
  TVexlaneIO io;
  io.SetAttachedVXBitmap(&bmp);
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const bool ok = io.LoadFromFilePNG(path);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(ok);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(err, "");
  EXPECT_EQ(out, "");
}

INSTANTIATE_TEST_SUITE_P(All, PngSuiteDamaged, ::testing::ValuesIn(SuiteFiles(true)),
                         [](const ::testing::TestParamInfo<std::string>& i) {
                           return i.param.substr(0, i.param.size() - 4);
                         });

TEST(PngSuite, Present) {
  // The suite lives in the tree; an empty list would silently skip every case above.
  EXPECT_GT(SuiteFiles(false).size(), 100u) << "PngSuite not found at " VX_PNGSUITE_DIR;
  EXPECT_GT(SuiteFiles(true).size(), 10u);
}

}  // namespace
