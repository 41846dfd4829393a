#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../codecs/png_test_util.h"
#include "core/bitmap.h"
#include "io/vexlaneio.h"
#include "tool/convertimage.h"
#include "tool/zolib.h"
#include "tool_test_util.h"

using tooltest::TempDir;

namespace {

const std::string kFakeQuant = std::string(VX_SOURCE_DIR) + "/tests/tool/data/fake_quant.sh";

struct Outcome {
  bool Result;
  std::string Out;
};

Outcome Convert(const std::string& Source, const std::string& OutDir, uint8_t Mode, int32_t Dip, bool Copy,
            bool EightBit, bool NewerOnly, bool LongSide, const std::string& Quant) {
  testing::internal::CaptureStdout();
  const bool r = ConvertImage(Source, OutDir, Mode, Dip, Copy, EightBit, NewerOnly, LongSide, Quant);
  return {r, testing::internal::GetCapturedStdout()};
}

// The last line of the fake quantiser's log: the file it was given.
std::string QuantisedFile(const std::string& Log) {
  const size_t end = Log.size() && Log.back() == '\n' ? Log.size() - 1 : Log.size();
  const size_t start = Log.rfind('\n', end - 1);
  return Log.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
}

// Sets the fake quantiser's exit code and log for the lifetime of the object.
struct FakeQuantEnv {
  FakeQuantEnv(int Exit, const std::string& Log) {
    setenv("FAKEQUANT_EXIT", std::to_string(Exit).c_str(), 1);
    setenv("FAKEQUANT_LOG", Log.c_str(), 1);
  }
  ~FakeQuantEnv() {
    unsetenv("FAKEQUANT_EXIT");
    unsetenv("FAKEQUANT_LOG");
  }
};

}  // namespace

TEST(ConvertImage, DensityTable) {
  struct Case {
    uint8_t Mode;
    int32_t Dip, Size;
    const char* Folder;
  } cases[] = {
      {1, 6, 4, "drawable-ldpi"},   {1, 10, 8, "drawable-ldpi"},   {1, 14, 10, "drawable-ldpi"},
      {3, 5, 8, "drawable-hdpi"},   {3, 7, 10, "drawable-hdpi"},   {3, 9, 14, "drawable-hdpi"},
      {1, 48, 36, "drawable-ldpi"}, {2, 48, 48, "drawable-mdpi"},  {3, 48, 72, "drawable-hdpi"},
      {4, 48, 96, "drawable-xhdpi"}, {5, 48, 144, "drawable-xxhdpi"}, {6, 48, 192, "drawable-xxxhdpi"},
      {0, 48, 0, ""},               {7, 48, 0, ""},
  };
  for (const auto& c : cases) {
    const TDensityTarget t = DensityTarget(c.Mode, c.Dip);
    EXPECT_EQ(t.Size, c.Size) << int(c.Mode) << " " << c.Dip;
    EXPECT_EQ(t.Folder, c.Folder) << int(c.Mode);
  }
}

TEST(ConvertImage, CopyWithQuantiserOutcomes) {
  struct Case {
    bool EightBit;
    int QuantExit;
    bool QuantMissing;
    const char* Out;
    bool Result, ReadOnly;
  } cases[] = {
      {false, 0, false, "Copy \"a b.png\"\n", true, true},
      {true, 0, false, "Copy \"a b.png\" as 8bit\n", true, true},
      {true, 98, false, "Copy \"a b.png\" as 8bit\nImage is larger after 8 bit conversion, skipped.\n\n", true, true},
      {true, 99, false, "Copy \"a b.png\" as 8bit\nCannot convert image to 8 bit.\n", false, false},
      {true, 0, true, "Copy \"a b.png\" as 8bit\nCannot convert image to 8 bit.\n", false, false},
  };
  // The quantiser works on the result under its temporary name: hidden, beside
  // the target, ending in ".png".
  for (const auto& c : cases) {
    TempDir d;
    mkdir((d / "src").c_str(), 0755);
    const std::string src = d / "src/a b.png";
    tooltest::WriteFile(src, "PNGDATA");
    const std::string log = d / "quant.log";
    FakeQuantEnv env(c.QuantExit, log);
    const Outcome o = Convert(src, d / "out", 0, 0, true, c.EightBit, false, false,
                          c.QuantMissing ? d / "no-quantiser" : kFakeQuant);
    const std::string target = d / "out/a b.png";
    EXPECT_EQ(o.Out, c.Out) << c.QuantExit;
    EXPECT_EQ(o.Result, c.Result) << c.QuantExit;
    // A failed result never appears; a finished one is whole and read-only.
    EXPECT_EQ(tooltest::Exists(target), c.Result) << c.QuantExit;
    if (c.Result) {
      EXPECT_EQ(tooltest::ReadFile(target), "PNGDATA");
    }
    EXPECT_EQ(tooltest::IsReadOnly(target), c.ReadOnly) << c.QuantExit;
    EXPECT_EQ(tooltest::NamesWithPrefix(d / "out", "."), std::vector<std::string>{}) << "temporary file left";
    if (c.EightBit && !c.QuantMissing) {
      // the options, then the file as one argument
      const std::string log_ = tooltest::ReadFile(log);
      const std::string options = "--quality=45-85\n--ext\n.png\n--force\n--skip-if-larger\n";
      ASSERT_EQ(log_.compare(0, options.size(), options), 0) << log_;
      EXPECT_EQ(QuantisedFile(log_).rfind(d / "out/.a b.png-", 0), 0u) << log_;
      EXPECT_TRUE(QuantisedFile(log_).ends_with(".png")) << log_;
    } else {
      EXPECT_FALSE(tooltest::Exists(log));
    }
  }
}

TEST(ConvertImage, TargetPathWithQuotesStaysOneArgument) {
  TempDir d;
  const std::string src = d / "x\" --posterize 1 \"y.png";
  tooltest::WriteFile(src, "P");
  const std::string log = d / "quant.log";
  FakeQuantEnv env(0, log);
  const Outcome o = Convert(src, d / "out", 0, 0, true, true, false, false, kFakeQuant);
  EXPECT_TRUE(o.Result);
  const std::string log_ = tooltest::ReadFile(log);
  EXPECT_EQ(std::count(log_.begin(), log_.end(), '\n'), 6) << log_;
  EXPECT_EQ(QuantisedFile(log_).rfind(d / "out/.x\" --posterize 1 \"y.png-", 0), 0u) << log_;
}

TEST(ConvertImage, ExistingTargets) {
  TempDir d;
  const std::string src = d / "a.png", target = d / "out/a.png";
  tooltest::WriteFile(src, "NEW");
  mkdir((d / "out").c_str(), 0755);
  tooltest::WriteFile(target, "OLD");
  chmod(target.c_str(), 0444);

  // newer-only: a target that is not older stays, silently
  struct timespec same[2] = {{1600000000, 0}, {1600000000, 0}};
  utimensat(AT_FDCWD, src.c_str(), same, 0);
  struct timespec within[2] = {{1600000001, 0}, {1600000001, 0}};  // within the same 2 seconds
  utimensat(AT_FDCWD, target.c_str(), within, 0);
  Outcome o = Convert(src, d / "out", 0, 0, true, false, true, false, kFakeQuant);
  EXPECT_TRUE(o.Result);
  EXPECT_EQ(o.Out, "");
  EXPECT_EQ(tooltest::ReadFile(target), "OLD");

  // an older read-only target is replaced and read-only again
  struct timespec older[2] = {{1500000000, 0}, {1500000000, 0}};
  utimensat(AT_FDCWD, target.c_str(), older, 0);
  o = Convert(src, d / "out", 0, 0, true, false, true, false, kFakeQuant);
  EXPECT_TRUE(o.Result);
  EXPECT_EQ(o.Out, "Copy \"a.png\"\n");
  EXPECT_EQ(tooltest::ReadFile(target), "NEW");
  EXPECT_TRUE(tooltest::IsReadOnly(target));

  // without newer-only it is always replaced
  tooltest::WriteFile(src, "NEWER");
  o = Convert(src, d / "out", 0, 0, true, false, false, false, kFakeQuant);
  EXPECT_TRUE(o.Result);
  EXPECT_EQ(tooltest::ReadFile(target), "NEWER");

  // a refused quantiser leaves the earlier target as it was, read-only
  tooltest::WriteFile(src, "NEWEST");
  {
    FakeQuantEnv env(99, d / "quant.log");
    o = Convert(src, d / "out", 0, 0, true, true, false, false, kFakeQuant);
  }
  EXPECT_FALSE(o.Result);
  EXPECT_EQ(tooltest::ReadFile(target), "NEWER");
  EXPECT_TRUE(tooltest::IsReadOnly(target));
  EXPECT_EQ(tooltest::NamesWithPrefix(d / "out", "."), std::vector<std::string>{});
}

TEST(ConvertImage, TargetIsTheSource) {
  TempDir d;
  const std::string src = d / "a.png";
  tooltest::WriteFile(src, "KEEP");
  Outcome o = Convert(src, d.Path, 0, 0, true, true, false, false, kFakeQuant);
  EXPECT_TRUE(o.Result);
  EXPECT_EQ(o.Out, "Target is the source file, skipped.\n");
  EXPECT_EQ(tooltest::ReadFile(src), "KEEP");
  EXPECT_FALSE(tooltest::IsReadOnly(src));
  // the same through a bucket folder: the source lies in the output's drawable-mdpi
  mkdir((d / "drawable-mdpi").c_str(), 0755);
  const std::string inBucket = d / "drawable-mdpi/b.png";
  tooltest::WriteFile(inBucket, "KEEP2");
  o = Convert(inBucket, d.Path, 2, 48, false, false, false, false, kFakeQuant);
  EXPECT_TRUE(o.Result);
  EXPECT_EQ(o.Out, "Target is the source file, skipped.\n");
  EXPECT_EQ(tooltest::ReadFile(inBucket), "KEEP2");
}

TEST(ConvertImage, Failures) {
  TempDir d;
  const std::string src = d / "a.png";
  tooltest::WriteFile(src, "P");
  tooltest::WriteFile(d / "file", "");

  struct Case {
    std::string Source, OutDir;
    uint8_t Mode;
    bool Copy;
    const char* Out;
  } cases[] = {
      {src, d / "o1", 0, false, "Wrong mode.\n"},
      {src, d / "o2", 7, false, "Wrong mode.\n"},
      {src, d / "file/sub", 0, true, "Cannot create target directory.\n"},
      {src, d / "file", 2, false, "Cannot create target directory.\n"},
      {d / "missing.png", d / "o3", 0, true, "Copy \"missing.png\"\nCannot copy image file.\n"},
      {d / "sub", d / "o4", 0, true, "Copy \"sub\"\nCannot copy image file.\n"},
  };
  mkdir((d / "sub").c_str(), 0755);
  for (const auto& c : cases) {
    const Outcome o = Convert(c.Source, c.OutDir, c.Mode, 48, c.Copy, false, false, false, kFakeQuant);
    EXPECT_FALSE(o.Result) << c.Out;
    EXPECT_EQ(o.Out, c.Out);
  }
  EXPECT_FALSE(tooltest::Exists(d / "o1"));
}

TEST(ConvertImage, ResizeOfAnUnreadableImage) {
  TempDir d;
  const std::string src = d / "bad.png";
  tooltest::WriteFile(src, "this is no PNG");
  mkdir((d / "out").c_str(), 0755);
  mkdir((d / "out/drawable-ldpi").c_str(), 0755);
  tooltest::WriteFile(d / "out/drawable-ldpi/bad.png", "old target");
  const Outcome o = Convert(src, d / "out", 1, 48, false, true, false, true, kFakeQuant);
  EXPECT_FALSE(o.Result);
  EXPECT_EQ(o.Out, "Resize \"bad.png\" to 36 (long side) as 8bit\nCannot load image file.\n");
  // the old target stays as it was, and nothing else is left beside it
  EXPECT_EQ(tooltest::ReadFile(d / "out/drawable-ldpi/bad.png"), "old target");
  EXPECT_EQ(tooltest::NamesWithPrefix(d / "out/drawable-ldpi", "."), std::vector<std::string>{});
  const Outcome s = Convert(src, d / "out", 3, 7, false, false, false, false, kFakeQuant);
  EXPECT_EQ(s.Out, "Resize \"bad.png\" to 10 (short side)\nCannot load image file.\n");
}

TEST(ConvertImage, DeleteFailureOfOldTarget) {
  if (geteuid() == 0) GTEST_SKIP() << "root may delete in a read-only folder";
  TempDir d;
  const std::string src = d / "a.png";
  tooltest::WriteFile(src, "P");
  mkdir((d / "out").c_str(), 0755);
  tooltest::WriteFile(d / "out/a.png", "old");
  chmod((d / "out").c_str(), 0555);
  const Outcome o = Convert(src, d / "out", 0, 0, true, false, false, false, kFakeQuant);
  chmod((d / "out").c_str(), 0755);
  EXPECT_FALSE(o.Result);
  EXPECT_EQ(o.Out, "Cannot delete old target file.\n");
}

// A two-colour palette image with a transparent entry keeps its transparency in
// every bucket, nine-patch or not.
TEST(ConvertImage, OneBitPaletteKeepsTransparency) {
  for (const char* name : {"mark.png", "mark.9.png"}) {
    SCOPED_TRACE(name);
    TempDir d;
    const std::string src = d / name;
    pngtest::RawImage img;
    img.Width = img.Height = 24;
    img.BitDepth = 1;
    img.ColorType = PNG_COLOR_TYPE_PALETTE;
    img.Palette = {{255, 0, 0}, {0, 0, 0}};  // 0: red, transparent; 1: black
    img.Trans = {0};
    for (int y = 0; y < 24; ++y) {
      std::vector<uint8_t> row(3, 0);
      for (int x = 0; x < 24; ++x) {
        const bool border = x == 0 || y == 0 || x == 23 || y == 23;
        const bool opaque = border ? (x > 8 && x < 15) || (y > 8 && y < 15) : x >= 12;
        if (opaque && !(border && (x == 0 || x == 23) && (y == 0 || y == 23)))
          row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
      }
      img.Rows.push_back(row);
    }
    tooltest::WriteFile(src, [&] {
      const auto bytes = pngtest::Encode(img);
      return std::string(bytes.begin(), bytes.end());
    }());
    for (uint8_t mode = 1; mode <= 6; ++mode) {
      const Outcome o = Convert(src, d / "out", mode, 16, false, false, false, false, "");
      ASSERT_TRUE(o.Result) << o.Out;
      TVXBitmap r;
      TVexlaneIO io;
      io.SetAttachedVXBitmap(&r);
      ASSERT_TRUE(io.LoadFromFilePNG(d / (std::string("out/") + DensityTarget(mode, 16).Folder + "/" + name)));
      ASSERT_TRUE(r.HasAlphaChannel()) << int(mode);
      EXPECT_EQ(r.AlphaChannel()->Pixels_vx8(r.Width() / 4, r.Height() / 2), 0) << int(mode);
      EXPECT_EQ(r.AlphaChannel()->Pixels_vx8(r.Width() * 7 / 8, r.Height() / 2), 255) << int(mode);
    }
  }
}
