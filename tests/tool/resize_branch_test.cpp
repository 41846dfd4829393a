// The resize path of ConvertImage: size rule and progress text, the program on the
// samples, and the reuse of a decoded source across the buckets of one file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <sys/time.h>

#include "core/bitmap.h"
#include "io/params.h"
#include "io/vexlaneio.h"
#include "tool/convertimage.h"
#include "tool/resize_branch.h"
#include "tool_test_util.h"

using tooltest::TempDir;

namespace {

void MakeImage(const std::string& Path, int32_t W, int32_t H, uint8_t Seed, bool Alpha) {
  TVexlaneIO io;
  TVXBitmap* b = io.VXBitmap();
  b->Allocate(W, H, vx24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(x * 3 + Seed), uint8_t(y * 5), uint8_t((x ^ y) + Seed)});
  if (Alpha)
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) b->AlphaChannel()->SetPixels_vx8(x, y, uint8_t(x * 255 / W));
  io.Params().SetSamplesPerPixel(Alpha ? 4 : 3);
  io.SaveToFilePNG(Path);
  ASSERT_FALSE(io.Aborting());
}

std::string Resize(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool LongSide,
                bool* Result = nullptr) {
  testing::internal::CaptureStdout();
  const bool r = ConvertImage(Source, OutDir, Mode, Dip, false, false, false, LongSide, "");
  if (Result) *Result = r;
  return testing::internal::GetCapturedStdout();
}

TEST(ResizeBranch, SizeRuleAndProgressText) {
  struct Case {
    int32_t w, h;
    bool longSide;
    const char* line;
  } cases[] = {
      {100, 50, false, "Resize \"img.png\" to 48 (short side): 100,50 -> 96,48\n"},
      {100, 50, true, "Resize \"img.png\" to 48 (long side): 100,50 -> 48,24\n"},
      {30, 100, true, "Resize \"img.png\" to 48 (long side): 30,100 -> 14,48\n"},
      {30, 100, false, "Resize \"img.png\" to 48 (short side): 30,100 -> 48,160\n"},
      {48, 48, false, "Resize \"img.png\" to 48 (short side): 48,48 -> 48,48\n"},
  };
  for (const auto& c : cases) {
    TempDir d;
    MakeImage(d / "img.png", c.w, c.h, 1, true);
    bool ok = false;
    EXPECT_EQ(Resize(d / "img.png", d / "out", 2, 48, c.longSide, &ok), c.line);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(tooltest::IsReadOnly(d / "out/drawable-mdpi/img.png"));
  }
}

TEST(ResizeBranch, ProgramOnTheSamples) {
  const std::string exe = std::string(VX_BINARY_DIR) + "/tarvello";
  struct stat st;
  if (stat(exe.c_str(), &st) != 0) GTEST_SKIP() << "program not built";
  TempDir d;
  const std::string cmd = "cd '" + std::string(VX_SOURCE_DIR) + "' && '" + exe + "' /out:'" + d.Path +
                          "/res' /all /dip:48 samples > '" + d.Path + "/log.txt'";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const std::string log = tooltest::ReadFile(d / "log.txt");
  const char* sizes[] = {"36", "48", "72", "96", "144", "192"};
  const char* folders[] = {"ldpi", "mdpi", "hdpi", "xhdpi", "xxhdpi", "xxxhdpi"};
  for (int i = 0; i < 6; ++i) {
    const int s = std::stoi(sizes[i]);
    EXPECT_NE(log.find("Resize \"icon.png\" to " + std::string(sizes[i]) + " (short side): 96,96 -> " +
                       sizes[i] + "," + sizes[i] + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Resize \"photo.png\" to " + std::string(sizes[i]) + " (short side): 120,80 -> " +
                       std::to_string(s * 3 / 2) + "," + sizes[i] + "\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Resize \"button.9.png\" to " + std::string(sizes[i]) + " (short side): 30,22 -> "),
              std::string::npos);
    const std::string folder = d.Path + "/res/drawable-" + folders[i];
    for (const char* f : {"icon.png", "photo.png", "button.9.png"}) {
      EXPECT_TRUE(tooltest::IsReadOnly(folder + "/" + f)) << folder << "/" << f;
    }
    TVXBitmap b;
    TVexlaneIO io;
    io.SetAttachedVXBitmap(&b);
    ASSERT_TRUE(io.LoadFromFilePNG(folder + "/icon.png"));
    EXPECT_EQ(b.Width(), s);
    EXPECT_TRUE(b.HasAlphaChannel());
  }
}

TEST(ResizeBranch, KeptDecodingGivesWhatAFreshLoadGives) {
  TempDir d;
  MakeImage(d / "a.png", 200, 120, 7, true);
  MakeImage(d / "b.png", 50, 60, 9, false);
  // a's second bucket from the kept decoding
  Resize(d / "a.png", d / "kept", 1, 48, false);
  const std::string kept = Resize(d / "a.png", d / "kept", 2, 48, false);
  // the same bucket after another file: decoded afresh
  Resize(d / "b.png", d / "fresh", 1, 48, false);
  const std::string fresh = Resize(d / "a.png", d / "fresh", 2, 48, false);
  EXPECT_EQ(kept, fresh);
  EXPECT_EQ(tooltest::ReadFile(d / "kept/drawable-mdpi/a.png"), tooltest::ReadFile(d / "fresh/drawable-mdpi/a.png"));
}

// Every bucket of a source made from its rows as they are decoded (the
// file's sizes planned) against the same bucket resampled from the whole
// decoded image: the same line and the same file.
TEST(ResizeBranch, RowsAsDecodedGiveWhatTheWholeImageGives) {
  struct Case {
    int32_t w, h;
    bool alpha, longSide;
  } cases[] = {{1001, 700, false, false}, {1001, 700, true, false}, {333, 1250, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.alpha ? " with alpha" : ""));
    TempDir d;
    MakeImage(d / "a.png", c.w, c.h, 5, c.alpha);
    const std::vector<int32_t> sizes = {15, 20, 30, 40, 60, 80};  // dip 20
    ASSERT_TRUE(RowsResampled(c.w, c.h, c.alpha, sizes, c.longSide, nullptr));
    std::string planned, whole;
    {
      TSharedSource source;
      source.PlanSizes(sizes, c.longSide);
      TSharedSourceScope scope(&source);
      for (uint8_t mode = 1; mode <= 6; ++mode) planned += Resize(d / "a.png", d / "rows", mode, 20, c.longSide);
    }
    ForgetDecodedSource();
    for (uint8_t mode = 1; mode <= 6; ++mode) whole += Resize(d / "a.png", d / "whole", mode, 20, c.longSide);
    EXPECT_EQ(planned, whole);
    for (const char* folder : {"ldpi", "mdpi", "hdpi", "xhdpi", "xxhdpi", "xxxhdpi"}) {
      const std::string name = std::string("/drawable-") + folder + "/a.png";
      const std::string rows = tooltest::ReadFile(d / "rows" + name);
      EXPECT_FALSE(rows.empty()) << name;
      EXPECT_EQ(rows, tooltest::ReadFile(d / "whole" + name)) << name;
    }
  }
}

TEST(ResizeBranch, ChangedSourceIsDecodedAgain) {
  TempDir d;
  MakeImage(d / "a.png", 200, 120, 7, true);
  EXPECT_EQ(Resize(d / "a.png", d / "out", 2, 48, false),
            "Resize \"a.png\" to 48 (short side): 200,120 -> 80,48\n");
  // replaced by another image with the same modification time
  MakeImage(d / "new.png", 60, 120, 3, false);
  struct stat st;
  ASSERT_EQ(stat((d / "a.png").c_str(), &st), 0);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, (d / "new.png").c_str(), times, 0), 0);
  ASSERT_EQ(std::rename((d / "new.png").c_str(), (d / "a.png").c_str()), 0);
  EXPECT_EQ(Resize(d / "a.png", d / "out", 3, 48, false),
            "Resize \"a.png\" to 72 (short side): 60,120 -> 72,144\n");
  // unreadable now: refused, nothing kept from before
  tooltest::WriteFile(d / "a.png", "not a PNG any more");
  bool ok = true;
  EXPECT_EQ(Resize(d / "a.png", d / "out", 4, 48, false, &ok),
            "Resize \"a.png\" to 96 (short side)\nCannot load image file.\n");
  EXPECT_FALSE(ok);
}

}  // namespace

namespace {

TEST(ResizeBranch, EightBitThroughTheRealQuantiser) {
  struct stat st;
  if (stat("/usr/bin/pngquant", &st) != 0) GTEST_SKIP() << "pngquant is missing";
  TempDir d;
  MakeImage(d / "a.png", 120, 90, 5, true);
  testing::internal::CaptureStdout();
  const bool ok = ConvertImage(d / "a.png", d / "out", 4, 48, false, true, false, false, "/usr/bin/pngquant");
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_TRUE(ok) << out;
  EXPECT_EQ(out.rfind("Resize \"a.png\" to 96 (short side) as 8bit: 120,90 -> 128,96\n", 0), 0u) << out;
  const std::string png = tooltest::ReadFile(d / "out/drawable-xhdpi/a.png");
  ASSERT_GT(png.size(), 26u);
  EXPECT_EQ(int(png[25]), 3);  // palette
  EXPECT_TRUE(tooltest::IsReadOnly(d / "out/drawable-xhdpi/a.png"));
}

}  // namespace
