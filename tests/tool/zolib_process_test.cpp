#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win_process.h"
#include "tool/zolib.h"
#include "tool_test_util.h"

using tooltest::TempDir;

namespace {
std::string MakeScript(const TempDir& D, const std::string& Name, const std::string& Body) {
  const std::string p = D / Name;
  tooltest::WriteFile(p, "#!/bin/sh\n" + Body + "\n");
  chmod(p.c_str(), 0700);
  return p;
}
}  // namespace

TEST(ZoLibProcess, ExitCodesAndStartFailures) {
  TempDir d;
  struct Case {
    const char* Body;
    uint32_t Code;
  } cases[] = {{"exit 0", 0}, {"exit 98", 98}, {"exit 99", 99}, {"kill -TERM $$", 128 + 15}};
  for (const auto& c : cases) {
    const std::string s = MakeScript(d, "s.sh", c.Body);
    uint32_t code = 12345;
    EXPECT_TRUE(ExecuteAndWait(s, "", "", 1, code)) << c.Body;
    EXPECT_EQ(code, c.Code) << c.Body;
  }
  uint32_t code = 12345;
  EXPECT_FALSE(ExecuteAndWait(d / "missing", "", "", 1, code));
  EXPECT_EQ(code, 12345u);  // untouched when not started
  tooltest::WriteFile(d / "plain", "#!/bin/sh\nexit 0\n");  // not executable
  EXPECT_FALSE(ExecuteAndWait(d / "plain", "", "", 1, code));
  EXPECT_FALSE(ExecuteAndWait(d.Path, "", "", 1, code));  // a folder
  EXPECT_EQ(code, 12345u);
}

TEST(ZoLibProcess, ArgumentsFolderAndInheritance) {
  TempDir d;
  mkdir((d / "work").c_str(), 0755);
  const std::string log = d / "log";
  const std::string s = MakeScript(d, "s.sh",
                                   "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > " + tooltest::ShellQuote(log) +
                                       "\npwd >> " + tooltest::ShellQuote(log) +
                                       "\nif [ -e /proc/$$/fd/57 ]; then echo inherited; else echo closed; fi >> " +
                                       tooltest::ShellQuote(log) +
                                       "\ncat >> " + tooltest::ShellQuote(log));
  // a name with blanks, quotes and backslashes stays one argument
  const std::string nasty = "/x/a \"b\" --force c\\\\\"d\\";
  // a descriptor opened by the caller is not inherited
  const int opened = open("/dev/null", O_RDONLY);
  const int extra = dup2(opened, 57);
  close(opened);
  ASSERT_EQ(extra, 57);
  uint32_t code = 1;
  ASSERT_TRUE(ExecuteAndWait(s, "--quality=45-85 " + QuoteCommandLineArg(nasty) + " \"\"", d / "work", 1, code));
  close(extra);
  EXPECT_EQ(code, 0u);
  // arguments, working folder, no inherited descriptor, nothing from stdin
  const std::string expected = "[--quality=45-85]\n[" + nasty + "]\n[]\n" + (d / "work") + "\nclosed\n";
  EXPECT_EQ(tooltest::ReadFile(log), expected);
}

TEST(ZoLibProcess, PerformanceMillisecondsAdvances) {
  const uint64_t a = PerformanceMilliseconds();
  usleep(20000);
  const uint64_t b = PerformanceMilliseconds();
  EXPECT_GE(b - a, 19u);
  EXPECT_LT(b - a, 5000u);
}
