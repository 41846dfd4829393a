#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "platform/win_errors.h"
#include "platform/win_files.h"
#include "platform/win_resource.h"
#include "tool/tarvello_main.h"
#include "tool/zolib.h"
#include "tool_test_util.h"
#include "tests/core/library_environment.h"
#include "tests/core/runtime_state_guard.h"

// Every test of this program must leave the process state as it found it.
VX_GUARD_PROCESS_STATE();
VX_START_LIBRARY_FOR_TESTS();

using tooltest::TempDir;

namespace {

const std::string kSynopsis =
    "TARVELLO /out:dir /_dpi|all|copy /dip:n [/8] [/l] [/m] [/r] [/?] image1 [image2 ...]\n\n";
const std::string kBounds = "Dip value exceeds bounds (5 - 500).\n";

struct Parsed {
  TArgsOutcome Outcome;
  TRunOptions Options;
  std::string Out;
};

// Reads the arguments with the current folder set to Cwd.
Parsed Read(const std::string& Cwd, const std::vector<std::string>& Args) {
  char old[4096];
  if (!getcwd(old, sizeof old)) old[0] = 0;
  if (chdir(Cwd.c_str()) != 0) ADD_FAILURE() << "chdir";
  Parsed p;
  testing::internal::CaptureStdout();
  p.Outcome = ReadArguments(Args, p.Options);
  p.Out = testing::internal::GetCapturedStdout();
  if (chdir(old) != 0) ADD_FAILURE() << "chdir back";
  return p;
}

}  // namespace

TEST(TarvelloArgs, SwitchTable) {
  TempDir d;
  using TO = TArgsOutcome;
  struct Case {
    std::vector<std::string> Args;
    TO Outcome;
    std::string Out;
    uint8_t Buckets;
    int32_t Dip;
    bool Copy, EightBit, LongSide, NewerOnly, Recursive;
  } cases[] = {
      {{}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
      {{"/out:o", "/ldpi", "/dip:48", "x"}, TO::Run, "", 0x01, 48, false, false, false, false, false},
      {{"/OUT:o", "/LDPI:5", "/Dip:48", "x"}, TO::Run, "", 0x01, 48, false, false, false, false, false},
      {{"/out:o", "/all", "/dip:5", "/8", "/lx", "/mx", "/r:1", "x"}, TO::Run, "", 0x3F, 5, false, true, true, true,
       true},
      {{"/out:o", "/long", "/m", "/recursive", "/xxxhdpi", "/hdpi", "/dip:500", "x"}, TO::Run, "", 0x24, 500, false,
       false, true, true, true},
      {{"/out:o", "/mdpi", "/xhdpi", "/xxhdpi", "/dip:9", "/dip:4", "x"}, TO::Run, "", 0x1A, 9, false, false, false,
       false, false},  // the first nonzero dip wins
      {{"/out:o", "/copy", "x"}, TO::Run, "", 0, 0, true, false, false, false, false},
      {{"/out:o", "/copy", "/ldpi", "/dip:48", "x"}, TO::Run, "", 0x01, 48, false, false, false, false, false},
      {{"/out:o", "/ldpi", "/copy", "x"}, TO::Fail, kSynopsis, 0x01, 0, false, false, false, false, false},
      {{"/out:o", "/ldpi", "x"}, TO::Fail, kSynopsis, 0x01, 0, false, false, false, false, false},
      {{"/out:o", "/dip:48", "x"}, TO::Fail, kSynopsis, 0, 48, false, false, false, false, false},
      {{"/ldpi", "/dip:48", "x"}, TO::Fail, kSynopsis, 0x01, 48, false, false, false, false, false},
      {{"/out:o", "/ldpi", "/dip:48"}, TO::Fail, kSynopsis, 0x01, 48, false, false, false, false, false},
      {{"/out:o", "/dip:4"}, TO::Fail, kBounds, 0, 0, false, false, false, false, false},
      {{"/out:o", "/dip:501"}, TO::Fail, kBounds, 0, 0, false, false, false, false, false},
      {{"/out:o", "/dip:0"}, TO::Fail, kBounds, 0, 0, false, false, false, false, false},
      {{"/out:o", "/dip:abc"}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
      {{"/out:o", "/dip"}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
      {{"/"}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
      {{"/8x"}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
      {{"/icons"}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
      {{"/bad", "/?"}, TO::Fail, kSynopsis, 0, 0, false, false, false, false, false},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const auto& a : c.Args) label += a + " ";
    const Parsed p = Read(d.Path, c.Args);
    EXPECT_EQ(p.Outcome, c.Outcome) << label;
    EXPECT_EQ(p.Out, c.Out) << label;
    EXPECT_EQ(p.Options.Buckets, c.Buckets) << label;
    EXPECT_EQ(p.Options.Dip, c.Dip) << label;
    EXPECT_EQ(p.Options.Copy, c.Copy) << label;
    EXPECT_EQ(p.Options.EightBit, c.EightBit) << label;
    EXPECT_EQ(p.Options.LongSide, c.LongSide) << label;
    EXPECT_EQ(p.Options.NewerOnly, c.NewerOnly) << label;
    EXPECT_EQ(p.Options.Recursive, c.Recursive) << label;
  }

  // /? after valid switches: the full usage
  const Parsed help = Read(d.Path, {"/out:o", "/ldpi", "/?", "/bad"});
  EXPECT_EQ(help.Outcome, TArgsOutcome::Help);
  EXPECT_EQ(help.Out.substr(0, kSynopsis.size() - 1), kSynopsis.substr(0, kSynopsis.size() - 1));
  EXPECT_NE(help.Out.find("/?          show this help and exits\n"), std::string::npos);
}

TEST(TarvelloArgs, OutputFolderAndImageArguments) {
  TempDir d;
  mkdir((d / "icons").c_str(), 0755);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(d.Path.c_str()), 0);
  const std::string cwd = GetCurrentDir();
  ASSERT_EQ(chdir(old), 0);

  Parsed p = Read(d.Path, {"/out:a/b", "/out:c", "/copy", "icons", "logo.jpg", cwd + "/icons", "sub/../btn.9"});
  ASSERT_EQ(p.Outcome, TArgsOutcome::Run);
  EXPECT_EQ(p.Options.OutDir, cwd + "/a/b");  // the first /out wins and is created at once
  EXPECT_TRUE(DirectoryExists(d / "a/b"));
  EXPECT_FALSE(tooltest::Exists(d / "c"));
  // an absolute path is an image argument, not a switch; folders take every file
  EXPECT_EQ(p.Options.Patterns,
            (std::vector<std::string>{cwd + "/icons/*", cwd + "/logo.jpg", cwd + "/icons/*", cwd + "/btn.9"}));

  // a failing switch stops the reading: later arguments are never looked at
  p = Read(d.Path, {"/bad", "/out:never"});
  EXPECT_EQ(p.Outcome, TArgsOutcome::Fail);
  EXPECT_FALSE(tooltest::Exists(d / "never"));

  // the output folder cannot be created
  tooltest::WriteFile(d / "file", "");
  p = Read(d.Path, {"/out:file/x", "/copy", "icons"});
  EXPECT_EQ(p.Outcome, TArgsOutcome::Fail);
  EXPECT_EQ(p.Out, "Cannot create target directory.\n");

  // an empty /out: value makes the folder creation raise
  TRunOptions o;
  testing::internal::CaptureStdout();
  EXPECT_THROW(ReadArguments({"/out:", "/copy", "icons"}, o), EInOutError);
  testing::internal::GetCapturedStdout();
}

TEST(TarvelloMain, BannerWithoutVersionResourceAndMissingQuantiser) {
  TempDir d;
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", d.Path.c_str(), 1);

  // the test program has no version block: the banner keeps its frame with empty fields
  static const std::string script = tooltest::ReadFile(std::string(VX_SOURCE_DIR) + "/tests/tool/data/fake_quant.sh");
  RegisterResource(RT_RCDATA, "quant", script.data(), script.size());
  testing::internal::CaptureStdout();
  const int32_t code = Main({"/out:" + (d / "o"), "/dip:3"});
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, 1);
  EXPECT_EQ(out, " V    \n" + std::string(18, ' ') + " / \n" + std::string(18, ' ') +
                     "(make use of pngquant library - https://pngquant.org)\n\nDip value exceeds bounds (5 - 500).\n");
  EXPECT_TRUE(tooltest::NamesWithPrefix(d.Path, "TMP_").empty());

  // without the resource the run ends with an exception, leaving nothing behind
  UnregisterResource(RT_RCDATA, "quant");
  testing::internal::CaptureStdout();
  EXPECT_THROW(Main({"/?"}), EResNotFound);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(tooltest::NamesWithPrefix(d.Path, "TMP_").empty());

  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
}
