// Runs of the built program (and of its test build whose quantiser is a script).
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "core/bitmap.h"
#include "io/vexlaneio.h"
#include "tool/tarvello_main.h"
#include "tool_test_util.h"

using tooltest::RunProgram;
using tooltest::TempDir;

extern char** environ;

namespace {

const std::string kProgram = std::string(VX_BINARY_DIR) + "/tarvello";
const std::string kFakeProgram = std::string(VX_BINARY_DIR) + "/tool/tarvello_fakequant";
const std::string kSamples = std::string(VX_SOURCE_DIR) + "/samples";

const std::string kBanner =
    "Tarvello V1.04    (c) 2026 The Tarvello developers\n"
    "                  tarvello@example.org / Free for any use\n"
    "                  (make use of pngquant library - https://pngquant.org)\n"
    "\n";

const std::string kSynopsis =
    "TARVELLO /out:dir /_dpi|all|copy /dip:n [/8] [/l] [/m] [/r] [/?] image1 [image2 ...]\n\n";

// A work folder with a private temporary folder and a tree icons/ of sample PNGs.
struct Workspace {
  TempDir Dir;
  std::string Tmp = Dir / "tmp";
  Workspace() {
    mkdir(Tmp.c_str(), 0700);
    mkdir((Dir / "icons").c_str(), 0755);
    mkdir((Dir / "icons/sub").c_str(), 0755);
    for (const char* n : {"icon.png", "photo.png", "button.9.png"})
      tooltest::WriteFile(Dir / (std::string("icons/") + n), tooltest::ReadFile(kSamples + "/" + n));
    tooltest::WriteFile(Dir / "icons/sub/deep.png", tooltest::ReadFile(kSamples + "/photo.png"));
  }
  tooltest::RunResult Run(const std::vector<std::string>& Args, const std::vector<std::string>& Env = {},
                          const std::string& Program = kProgram) {
    auto r = RunProgram(Program, Args, Dir.Path, Tmp, Env);
    EXPECT_TRUE(tooltest::NamesWithPrefix(Tmp, "TMP_").empty()) << "temporary quantiser left behind";
    return r;
  }
};

bool IsPng(const std::string& Path) { return tooltest::ReadFile(Path).rfind("\x89PNG\r\n\x1a\n", 0) == 0; }

}  // namespace

TEST(TarvelloRun, FullUsage) {
  Workspace w;
  // The whole text is the program's own table; a few lines of it are pinned here.
  std::string expected = kBanner;
  for (const char* l : UsageLines()) expected += std::string(l) + "\n";
  expected += "\n";
  for (const char* l : {"            XXXHDPI = density 4.0  / 640 dpi",
                        "/dip:       set the image size in dip (dip = pixel for MDPI)",
                        "...         additional image files or dirs (opt.)"})
    EXPECT_NE(expected.find(std::string("\n") + l + "\n"), std::string::npos) << l;
  EXPECT_EQ(expected.rfind(kBanner + kSynopsis.substr(0, kSynopsis.size() - 1), 0), 0u);
  for (const auto& args : {std::vector<std::string>{"/?"}, std::vector<std::string>{"/out:o", "/ldpi", "/?", "/x"}}) {
    const auto r = w.Run(args);
    EXPECT_EQ(r.ExitCode, 0);
    EXPECT_EQ(r.Out, expected);
    EXPECT_EQ(r.Err, "");
  }
}

TEST(TarvelloRun, ErrorCases) {
  Workspace w;
  struct Case {
    std::vector<std::string> Args;
    std::string Out, Err;
  } cases[] = {
      {{}, kSynopsis, ""},
      {{"/x"}, kSynopsis, ""},
      {{"/"}, kSynopsis, ""},
      {{"/ldpi", "/dip:48", "icons"}, kSynopsis, ""},
      {{"/out:o", "icons"}, kSynopsis, ""},
      {{"/out:o", "/ldpi", "icons"}, kSynopsis, ""},
      {{"/out:o", "/ldpi", "/dip:4", "icons"}, "Dip value exceeds bounds (5 - 500).\n", ""},
      {{"/out:o", "/ldpi", "/dip:501", "icons"}, "Dip value exceeds bounds (5 - 500).\n", ""},
      {{"/out:o", "/ldpi", "/dip:abc", "icons"}, kSynopsis, ""},
      {{"/out:o", "/copy", "nothing*"}, "No image files found.\n", ""},
      {{"/out:o", "/copy", "icons/sub/none*", "icons/sub/sub*"}, "No image files found.\n", ""},
      {{"/out:icons/icon.png/x", "/copy", "icons"}, "Cannot create target directory.\n", ""},
      {{"/out:", "/copy", "icons"}, "", "EInOutError: Unable to create directory\n"},
  };
  for (auto& c : cases) {
    std::string label;
    for (const auto& a : c.Args) label += a + " ";
    const auto r = w.Run(c.Args);
    EXPECT_EQ(r.ExitCode, 1) << label;
    EXPECT_EQ(r.Out, kBanner + c.Out) << label;
    EXPECT_EQ(r.Err, c.Err) << label;
  }
}

// A file named without a wildcard that is not there is named, the other files
// are still converted, and the run fails.
TEST(TarvelloRun, AMissingFileIsNamedAndFailsTheRun) {
  Workspace w;
  mkdir((w.Dir / "empty").c_str(), 0755);
  const std::string missing = "File not found: " + (w.Dir / "missing.png") + "\n";
  struct Case {
    std::vector<std::string> Args;
    std::string Out;
    bool Converted;
  } cases[] = {
      {{"/out:o1", "/mdpi", "/dip:48", "missing.png", "icons/icon.png"},
       missing + "Resize \"icon.png\" to 48 (short side): 96,96 -> 48,48\n", true},
      {{"/out:o2", "/mdpi", "/dip:48", "icons/icon", "missing"},
       missing + "Resize \"icon.png\" to 48 (short side): 96,96 -> 48,48\n", true},
      {{"/out:o3", "/copy", "missing.jpg"}, missing + "No image files found.\n", false},
      {{"/out:o4", "/copy", "empty", "missing.png"}, missing + "No image files found.\n", false},
  };
  for (const auto& c : cases) {
    const std::string label = c.Args[0];
    const auto r = w.Run(c.Args);
    EXPECT_EQ(r.ExitCode, 1) << label;
    EXPECT_EQ(r.Out, kBanner + c.Out) << label;
    EXPECT_EQ(r.Err, "") << label;
    if (c.Converted) EXPECT_TRUE(IsPng(w.Dir / (c.Args[0].substr(5) + "/drawable-mdpi/icon.png"))) << label;
  }
}

TEST(TarvelloRun, CopyModeWithTheEmbeddedQuantiser) {
  if (!tooltest::Exists("/usr/bin/pngquant")) GTEST_SKIP() << "pngquant is not installed";
  Workspace w;
  auto r = w.Run({"/out:o", "/copy", "/8", "/r", "icons"});
  EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
  EXPECT_EQ(r.Out, kBanner +
                       "Copy \"button.9.png\" as 8bit\n"
                       "Copy \"icon.png\" as 8bit\n"
                       "Copy \"photo.png\" as 8bit\n"
                       "Copy \"deep.png\" as 8bit\n");
  for (const char* n : {"button.9.png", "icon.png", "photo.png", "deep.png"}) {
    const std::string f = w.Dir / (std::string("o/") + n);
    EXPECT_TRUE(IsPng(f)) << n;
    EXPECT_TRUE(tooltest::IsReadOnly(f)) << n;
    EXPECT_EQ(tooltest::ReadFile(f)[25], 3) << n << ": palette colour type after quantising";
  }
  // unchanged sources: nothing to do
  r = w.Run({"/out:o", "/copy", "/8", "/r", "/m", "icons"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Out, kBanner);
  // the same file named twice is processed twice; the extension given does not matter
  r = w.Run({"/out:o", "/copy", "icons/icon", "icons/icon.jpg"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Out, kBanner + "Copy \"icon.png\"\nCopy \"icon.png\"\n");
}

// The quantiser names its result "<stem>.png": a target spelt otherwise must still
// be the file that is quantised, with nothing left beside it.
TEST(TarvelloRun, QuantisingTargetsWithAnUpperCaseExtension) {
  if (!tooltest::Exists("/usr/bin/pngquant")) GTEST_SKIP() << "pngquant is not installed";
  Workspace w;
  mkdir((w.Dir / "caps").c_str(), 0755);
  for (const char* n : {"ICON.PNG", "Mixed.Png"})
    tooltest::WriteFile(w.Dir / (std::string("caps/") + n), tooltest::ReadFile(kSamples + "/icon.png"));
  struct Case {
    std::vector<std::string> Args;
    std::string Folder, Out;
  } cases[] = {
      {{"/out:o", "/copy", "/8", "caps"}, "o", "Copy \"ICON.PNG\" as 8bit\nCopy \"Mixed.Png\" as 8bit\n"},
      {{"/out:r", "/mdpi", "/dip:32", "/8", "caps"}, "r/drawable-mdpi",
       "Resize \"ICON.PNG\" to 32 (short side) as 8bit: 96,96 -> 32,32\n"
       "Resize \"Mixed.Png\" to 32 (short side) as 8bit: 96,96 -> 32,32\n"},
  };
  for (const auto& c : cases) {
    const auto r = w.Run(c.Args);
    EXPECT_EQ(r.ExitCode, 0) << r.Out << r.Err;
    EXPECT_EQ(r.Out, kBanner + c.Out);
    const std::string dir = w.Dir / c.Folder;
    std::vector<std::string> names = tooltest::NamesWithPrefix(dir, "");
    names.erase(std::remove(names.begin(), names.end(), "drawable-mdpi"), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ICON.PNG", "Mixed.Png"})) << c.Folder;
    for (const char* n : {"ICON.PNG", "Mixed.Png"}) {
      const std::string f = dir + "/" + n;
      EXPECT_EQ(tooltest::ReadFile(f)[25], 3) << f << ": palette colour type after quantising";
      EXPECT_TRUE(tooltest::IsReadOnly(f)) << f;
    }
  }
}

TEST(TarvelloRun, QuantiserOutcomesInTheTestBuild) {
  Workspace w;
  auto r = w.Run({"/out:o", "/copy", "/8", "icons"}, {"FAKEQUANT_EXIT=98"}, kFakeProgram);
  EXPECT_EQ(r.ExitCode, 0);
  const std::string skipped = "Image is larger after 8 bit conversion, skipped.\n\n";
  EXPECT_EQ(r.Out, kBanner + "Copy \"button.9.png\" as 8bit\n" + skipped + "Copy \"icon.png\" as 8bit\n" +
                       skipped + "Copy \"photo.png\" as 8bit\n" + skipped);
  EXPECT_TRUE(tooltest::IsReadOnly(w.Dir / "o/icon.png"));

  // another exit code stops the run at the first file
  r = w.Run({"/out:o2", "/copy", "/8", "icons"}, {"FAKEQUANT_EXIT=99"}, kFakeProgram);
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out, kBanner + "Copy \"button.9.png\" as 8bit\nCannot convert image to 8 bit.\n");
  EXPECT_FALSE(tooltest::Exists(w.Dir / "o2/icon.png"));
}

// Ending the program while it writes a large result leaves no temporary file next
// to the target.
TEST(TarvelloRun, SignalDuringASaveRemovesThePartialFile) {
  Workspace w;
  {
    // noise compresses slowly: the save takes a while
    TVexlaneIO io;
    TVXBitmap* b = io.VXBitmap();
    b->Allocate(1000, 1000, vx24RGB);
    uint32_t r = 12345;
    for (int32_t y = 0; y < 1000; ++y)
      for (int32_t x = 0; x < 1000; ++x) {
        r = r * 1664525u + 1013904223u;
        b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(r >> 24), uint8_t(r >> 16), uint8_t(r >> 8)});
      }
    io.SaveToFilePNG(w.Dir / "noise.png");
    ASSERT_FALSE(io.Aborting());
  }
  std::vector<std::string> envs{"TMPDIR=" + w.Tmp};
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("TMPDIR=", 0) != 0) envs.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string outDir = w.Dir / "o/drawable-xxxhdpi";
  std::vector<std::string> args{kProgram, "/out:" + (w.Dir / "o"), "/xxxhdpi", "/dip:500", w.Dir / "noise.png"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, kProgram.c_str(), &fa, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&fa);
  bool saving = false;
  for (int i = 0; i < 6000 && !saving; ++i) {
    usleep(2000);
    saving = !tooltest::NamesWithPrefix(outDir, ".noise.png-").empty();
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(saving) << "the save was not seen";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_TRUE(tooltest::NamesWithPrefix(outDir, ".noise.png-").empty()) << "partial file left behind";
  EXPECT_TRUE(tooltest::NamesWithPrefix(w.Tmp, "TMP_").empty());
}
