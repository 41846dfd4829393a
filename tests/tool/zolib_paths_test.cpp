#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <ctime>
#include <regex>
#include <sys/stat.h>

#include "tool/zolib.h"
#include "tool_test_util.h"

using tooltest::TempDir;

TEST(ZoLibPaths, JoinPathAndDelimiter) {
  struct Case {
    const char *Dir, *Name, *Expected;
  } cases[] = {
      {"/a/b", "x.png", "/a/b/x.png"},
      {"/a/b/", "x.png", "/a/b/x.png"},
      {"", "x.png", "x.png"},  // an empty folder gets no delimiter
      {"/", "x", "/x"},
      {"/a/b/", "", "/a/b"},  // one trailing delimiter removed
      {"/a//", "", "/a/"},
      {"/", "", "/"},  // the root keeps its delimiter
      {"ab", "", "ab"},
      {"dir:", "x", "dir:/x"},  // no drive letters: ':' is an ordinary character
      {"C", "x", "C/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(JoinPath(c.Dir, c.Name), c.Expected) << c.Dir << " + " << c.Name;
  EXPECT_EQ(AddPathDelimiter(""), "");
  EXPECT_EQ(AddPathDelimiter("/x"), "/x/");
  EXPECT_EQ(AddPathDelimiter("/x/"), "/x/");
}

TEST(ZoLibTexts, PrefixSuffixAndSeparators) {
  EXPECT_EQ(TextAfter("/out:C:/x", ":"), "C:/x");  // only the first separator splits
  EXPECT_EQ(TextBefore("/out:C:/x", ":"), "/out");
  EXPECT_EQ(TextBefore("/ldpi", ":"), "/ldpi");
  EXPECT_EQ(TextAfter("/ldpi", ":"), "");
  EXPECT_EQ(TextAfter("/dip:", ":"), "");

  EXPECT_TRUE(StartsWithText("/LDPI", "/ld", true));
  EXPECT_FALSE(StartsWithText("/LDPI", "/ld", false));
  EXPECT_FALSE(StartsWithText("/l", "/ld", true));
  EXPECT_TRUE(EndsWithText("x.9.PNG", ".9.png", true));
  EXPECT_FALSE(EndsWithText("x.9.PNG", ".9.png", false));
  EXPECT_FALSE(EndsWithText("png", ".9.png", true));
  // characters, not bytes: upper and lower case of a non-ASCII letter
  EXPECT_TRUE(EndsWithText("GRÖSSE.Ä.PNG", "ä.png", true));
  EXPECT_EQ(LastChar("abä"), "ä");
  EXPECT_EQ(LastChar(""), "");
}

TEST(ZoLibTexts, SplitText) {
  using V = std::vector<std::string>;
  // the flags the file listing uses: no empty masks
  EXPECT_EQ(SplitText(";a;;b;", ";", "", "", true, true, true, false), (V{"a", "b"}));
  EXPECT_EQ(SplitTextSimple(";a;;b;", ";", false, false, false), (V{"", "a", "", "b", ""}));
  EXPECT_EQ(SplitTextSimple("a;b;", ";", false, false, true), (V{"a", "b"}));
  // quoted parts keep separators; quotes only with KeepQuotes
  EXPECT_EQ(SplitText("a \"b c\" d", " ", "\"", "\"", true, true, true, false), (V{"a", "b c", "d"}));
  EXPECT_EQ(SplitText("a \"b c\" d", " ", "\"", "\"", true, true, true, true), (V{"a", "\"b c\"", "d"}));
  // nesting of one quote pair is counted
  EXPECT_EQ(SplitText("x(a;(b;c));y", ";", "(", ")", false, false, false, false), (V{"xa;(b;c)", "y"}));
}

TEST(ZoLibTemp, MakeTempFileNameShapeAndFolder) {
  TempDir dir;
  const std::regex shape(".*/(...)_[0-9A-F]{4}\\.TMP");
  std::smatch m;
  const std::string p1 = MakeTempFileName(dir.Path, "");
  ASSERT_TRUE(std::regex_match(p1, m, shape)) << p1;
  EXPECT_EQ(m[1], "TMP");
  EXPECT_EQ(p1.substr(0, dir.Path.size() + 1), dir.Path + "/");
  EXPECT_FALSE(tooltest::Exists(p1));  // not created

  const std::string p2 = MakeTempFileName(dir.Path, "ab"), p3 = MakeTempFileName(dir.Path, "abcd");
  EXPECT_TRUE(std::regex_match(p2, m, shape));
  EXPECT_EQ(m[1], "TMP");
  EXPECT_TRUE(std::regex_match(p3, m, shape));
  EXPECT_EQ(m[1], "abc");

  // a folder that does not exist gives the temporary folder
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", dir.Path.c_str(), 1);
  const std::string p4 = MakeTempFileName(dir / "missing", "");
  if (old) setenv("TMPDIR", saved.c_str(), 1); else unsetenv("TMPDIR");
  EXPECT_EQ(p4.substr(0, dir.Path.size() + 5), dir.Path + "/TMP_");
}

TEST(ZoLibTemp, MakeTempFileNameAvoidsExistingNames) {
  TempDir dir;
  // Take 1024 of the 65535 names (files and folders); among 4000 drawn names about 60
  // would hit a taken one if the existence test were missing.
  for (int n = 1; n <= 65535; n += 64) {
    char name[16];
    std::snprintf(name, sizeof name, "TMP_%04X.TMP", n);
    const std::string p = dir / name;
    if (n % 2)
      tooltest::WriteFile(p, "");
    else
      mkdir(p.c_str(), 0700);
  }
  for (int i = 0; i < 4000; ++i) {
    const std::string p = MakeTempFileName(dir.Path, "");
    ASSERT_FALSE(tooltest::Exists(p)) << p;
  }
}

TEST(ZoLibTimes, LocalDateTimeOfFileTimes) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  // 2000-01-01 00:00:00 UTC = day 36526 of the date-time scale
  EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(FileTimeFromUnix(946684800, 0)), 36526.0);
  // 2-second resolution: 12:00:01.9 becomes 12:00:00
  EXPECT_DOUBLE_EQ(FileTimeToLocalDateTime(FileTimeFromUnix(946684800 + 43201, 900000000)), 36526.5);
  // outside the DOS range
  EXPECT_EQ(FileTimeToLocalDateTime(FileTimeFromUnix(315532799, 0)), 0.0);  // 1979-12-31 23:59:59
  EXPECT_GT(FileTimeToLocalDateTime(FileTimeFromUnix(315532800, 0)), 0.0);  // 1980-01-01
  EXPECT_EQ(FileTimeToLocalDateTime(FileTimeFromUnix(4354819200LL, 0)), 0.0);  // 2108-01-01

  TempDir dir;
  const std::string f = dir / "a.png";
  tooltest::WriteFile(f, "x");
  struct timespec times[2] = {{946684800 + 3, 0}, {946684800 + 7, 0}};  // access, write
  utimensat(AT_FDCWD, f.c_str(), times, 0);
  EXPECT_DOUBLE_EQ(GetFileDateTime(f, 3), 36526.0 + 6.0 / 86400);
  EXPECT_DOUBLE_EQ(GetFileDateTime(f, 2), 36526.0 + 2.0 / 86400);
  EXPECT_GT(GetFileDateTime(f, 1), 0.0);
  EXPECT_EQ(GetFileDateTime(f, 4), 0.0);
  EXPECT_EQ(GetFileDateTime(f, 0), 0.0);
  EXPECT_EQ(GetFileDateTime(dir / "missing.png", 3), 0.0);
  EXPECT_DOUBLE_EQ(GetFileDateTime(dir / "*.png", 3), 36526.0 + 6.0 / 86400);  // first entry found

  if (oldTz) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}
