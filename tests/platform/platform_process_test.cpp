#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>

#include "platform/win_console.h"
#include "platform/win_errors.h"
#include "platform/win_process.h"

using V = std::vector<std::string>;

TEST(PlatformProcess, CommandLineSplitting) {
  struct Case {
    const char* Line;
    V Args;
  } cases[] = {
      {"", {}},
      {"  a  b\tc ", {"a", "b", "c"}},
      {"\"a b\" c", {"a b", "c"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\"", {""}},
      {"a\\\\b", {"a\\\\b"}},          // backslashes without a quote are literal
      {"\"a\\\"b\"", {"a\"b"}},        // 2n+1 backslashes: a literal quote
      {"\"a\\\\\" b", {"a\\", "b"}},   // 2n backslashes: n backslashes, the quote closes
      {"\"unclosed b", {"unclosed b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(CommandLineToArgv(c.Line), c.Args) << c.Line;
}

TEST(PlatformProcess, QuotingRoundTrip) {
  const V nasty = {"", "plain", "a b", "\"", "\\", "a\\", "a\\\\", "\\\"", "x\" --force \"y", "tab\there",
                   "end\\\\\"", "ümlaut ß"};
  std::string line = "\"/usr/bin/prog\"";
  for (const auto& a : nasty) line += " " + QuoteCommandLineArg(a);
  V expected = {"/usr/bin/prog"};
  expected.insert(expected.end(), nasty.begin(), nasty.end());
  EXPECT_EQ(CommandLineToArgv(line), expected);
}

TEST(PlatformConsole, ExceptionsEscapingTheMainRoutine) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  const int a = RunConsoleMain([] { return 0; });
  const int b = RunConsoleMain([]() -> int { throw EInOutError("Unable to create directory"); });
  const int c = RunConsoleMain([]() -> int { throw std::runtime_error("plain"); });
  const int d = RunConsoleMain([] { return 1; });
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(out, "");
  EXPECT_EQ(err, "EInOutError: Unable to create directory\nstd::runtime_error: plain\n");
}

// Programs held in memory start from their descriptor: a script (whose
// interpreter opens it by name after the exec) and a binary, each with its
// arguments and exit code, and in a process group of its own.
TEST(PlatformProcess, ProgramsFromADescriptor) {
  auto inMemory = [](const std::string& Bytes) {
    const int fd = memfd_create("prog", MFD_CLOEXEC);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, Bytes.data(), Bytes.size()), ssize_t(Bytes.size()));
    return fd;
  };
  std::string binary;
  if (FILE* f = std::fopen("/bin/false", "rb")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) binary.append(buf, n);
    std::fclose(f);
  }
  struct Case {
    std::string Program, Args;
    uint32_t Exit;
  } cases[] = {
      {"#!/bin/sh\na=$1 b=$2\nset -- $(cat /proc/$$/stat)\n[ \"$a\" = \"a b\" ] && [ \"$b\" = x ] && [ \"$5\" = $$ ] && exit 7\nexit 1\n",
       "\"a b\" x", 7},
      {"#!/bin/sh\nexit 3\n", "", 3},
      {binary, "", 1},
  };
  for (const auto& c : cases) {
    const int fd = inMemory(c.Program);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    int pid = 0;
    ASSERT_TRUE(CreateProcessW(path, "prog " + c.Args, "", pid)) << c.Program;
    uint32_t code = 0;
    ASSERT_TRUE(WaitForProcessExit(pid, code));
    EXPECT_EQ(code, c.Exit) << c.Program;
    close(fd);
  }
}
