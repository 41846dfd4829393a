// A smooth image resized with Mitchell stays close to ImageMagick's Mitchell
// resize of the same size. (The two place samples differently: endpoints
// against pixel centres; on smooth content that moves values only a little.)

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "proc/proc.h"

namespace {

const char* kConvert = "/usr/bin/convert";

std::string TempName(const char* stem) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/" + stem + "-" + std::to_string(getpid()) + ".ppm";
}

bool WritePPM(TVXBitmap& b, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", b.Width(), b.Height());
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* p = static_cast<const uint8_t*>(b.GetScanLine(y));
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint8_t rgb[3] = {p[3 * x + 2], p[3 * x + 1], p[3 * x]};
      std::fwrite(rgb, 1, 3, f);
    }
  }
  return std::fclose(f) == 0;
}

// Reads a binary PPM with maxval 255 as bytes red, green, blue.
bool ReadPPM(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgb) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  int maxval = 0;
  bool ok = std::fscanf(f, "P6 %d %d %d", &w, &h, &maxval) == 3 && maxval == 255 && w > 0 && h > 0;
  if (ok) {
    std::fgetc(f);
    rgb.resize(size_t(w) * size_t(h) * 3);
    ok = std::fread(rgb.data(), 1, rgb.size(), f) == rgb.size();
  }
  std::fclose(f);
  return ok;
}

TEST(ResampleMagick, SmoothImageCloseToImageMagickMitchell) {
  if (access(kConvert, X_OK) != 0) GTEST_SKIP() << kConvert << " is missing";
  // Gradients and soft shapes.
  TVXBitmap src(600, 400, vx24RGB);
  for (int32_t y = 0; y < 400; ++y) {
    uint8_t* p = static_cast<uint8_t*>(src.GetScanLine(y));
    for (int32_t x = 0; x < 600; ++x) {
      const double fx = x / 600.0, fy = y / 400.0;
      const double blob = std::exp(-(std::pow(fx - 0.3, 2) + std::pow(fy - 0.6, 2)) * 12.0);
      const double wave = 0.5 + 0.5 * std::sin(fx * 6.0 + fy * 3.0);
      p[3 * x + 2] = uint8_t(20 + 200 * fx * (1 - 0.3 * blob));
      p[3 * x + 1] = uint8_t(30 + 150 * wave * fy + 60 * blob);
      p[3 * x + 0] = uint8_t(40 + 180 * blob);
    }
  }
  const std::string in = TempName("vx-resample-in"), out = TempName("vx-resample-out");
  ASSERT_TRUE(WritePPM(src, in));
  struct Sizes {
    int32_t w, h;
  };
  for (Sizes s : {Sizes{150, 100}, Sizes{96, 72}, Sizes{331, 217}, Sizes{900, 650}}) {
    const std::string cmd = std::string(kConvert) + " " + in + " -filter Mitchell -resize " + std::to_string(s.w) +
                            "x" + std::to_string(s.h) + "! " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    int w = 0, h = 0;
    std::vector<uint8_t> magick;
    ASSERT_TRUE(ReadPPM(out, w, h, magick));
    ASSERT_EQ(w, s.w);
    ASSERT_EQ(h, s.h);

    TVexlaneProc proc;
    proc.SetAttachedVXBitmap(&src);
    TVXBitmap ours;
    proc.ResampleTo(&ours, s.w, s.h, rfMitchell, false);
    ASSERT_EQ(ours.Width(), s.w);
    ASSERT_EQ(ours.Height(), s.h);
    double total = 0;
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* p = static_cast<const uint8_t*>(ours.GetScanLine(y));
      for (int32_t x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c)
          total += std::abs(int(p[3 * x + 2 - c]) - int(magick[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)]));
    }
    const double mean = total / (double(w) * h * 3);
    EXPECT_LT(mean, 2.0) << s.w << "x" << s.h;
  }
  std::remove(in.c_str());
  std::remove(out.c_str());
}

}  // namespace
