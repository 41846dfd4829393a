#include <gtest/gtest.h>

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
