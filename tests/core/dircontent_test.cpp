// Folder listing against find(1) and stat(1) as oracles.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <sstream>

#include "core/dircontent.h"
#include "core/textutils.h"
#include "runtime_test_util.h"

namespace {

std::set<std::string> Lines(const std::string& text) {
  std::set<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    if (!l.empty()) out.insert(l);
  return out;
}

class DirContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.Path().empty());
    for (const char* f : {"a.png", "b.PNG", "c.txt", "readme", "x.9.png", ".hidden.png", ".profile"})
      RuntimeWriteFile(dir.File(f), std::string(std::strlen(f) * 7, 'x'));
    for (const char* d : {"sub", "pics.png", ".cache", "plain.d"}) ASSERT_EQ(mkdir(dir.File(d).c_str(), 0755), 0);
    // A pipe is a system entry: listed only with hidden entries.
    ASSERT_EQ(mkfifo(dir.File("pipe").c_str(), 0644), 0);
  }
  TRuntimeScratchDir dir;
};

TEST_F(DirContentTest, PopulateStringsEqualsFindForEveryFilterAndMask) {
  const std::string base = dir.Path().substr(0, dir.Path().size() - 1);
  // "*.*" takes names without an extension too, so find's counterpart is "*".
  const struct {
    const char *Mask, *FindName;
  } masks[] = {{"*", "*"}, {"*.*", "*"}, {"*.png", "*.png"}, {"*.gif", "*.gif"}};
  for (const auto& m : masks) {
    for (int bits = 0; bits < 8; ++bits) {
      const bool files = bits & 1, dirs = bits & 2, hidden = bits & 4;
      std::vector<std::string> got;
      TVXDirContent::PopulateStrings(base + "/" + m.Mask, got, files, dirs, hidden);
      std::set<std::string> want;
      if (files || dirs) {
        std::string kind = files && dirs ? "" : files ? "! -type d" : "-type d";
        std::string vis = hidden ? "" : "! -name '.*' \\( -type f -o -type d \\)";
        want = Lines(RuntimeShell("cd '" + base + "' && find . -mindepth 1 -maxdepth 1 -name '" + m.FindName +
                                  "' " + kind + " " + vis + " -printf '%f\\n'"));
      }
      EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), want)
          << m.Mask << " files=" << files << " dirs=" << dirs << " hidden=" << hidden;
      EXPECT_EQ(std::set<std::string>(got.begin(), got.end()).size(), got.size()) << "duplicates for " << m.Mask;
    }
  }
}

TEST_F(DirContentTest, SizesAndEditTimesMatchStat) {
  const std::string base = dir.Path().substr(0, dir.Path().size() - 1);
  TVXDirContent walker(base + "/*");
  std::string name;
  int seen = 0;
  while (walker.GetItem(name, true, true, false)) {
    ++seen;
    const std::string full = base + "/" + name;
    // stat: size, and the modification time in local calendar terms.
    std::istringstream in(RuntimeShell("stat -c '%s %F' '" + full + "'; date -r '" + full + "' '+%Y %m %d %H %M %S'"));
    int64_t size;
    std::string kind1, kind2;
    in >> size >> kind1;
    std::getline(in, kind2);
    int64_t y;
    unsigned mo, d, h, mi, s;
    in >> y >> mo >> d >> h >> mi >> s;
    ASSERT_TRUE(in) << name;
    EXPECT_EQ(walker.IsFolder(), kind1 == "directory") << name;
    EXPECT_FALSE(walker.IsHiddenFile()) << name;
    if (!walker.IsFolder()) {
      EXPECT_EQ(walker.FileSizeBytes(), size) << name;
    }
    const double want = double(VXDaysFromCivil(y, mo, d) + 25569) + (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    EXPECT_LE(std::fabs(walker.EditDate() - want) * 86400.0, 2.0) << name;
    EXPECT_GT(walker.CreateDate(), 0) << name;
  }
  EXPECT_EQ(seen, 8);  // 5 visible files and 3 visible folders
  // After the last entry the answers are reset.
  EXPECT_TRUE(name.empty());
  EXPECT_EQ(walker.FileSizeBytes(), 0);
  EXPECT_EQ(walker.EditDate(), 0);
}

TEST_F(DirContentTest, HiddenAndSystemEntriesAreFlagged) {
  const std::string base = dir.Path().substr(0, dir.Path().size() - 1);
  TVXDirContent walker(base + "/*");
  std::string name;
  std::set<std::string> hiddenOnes;
  while (walker.GetItem(name, true, true, true))
    if (walker.IsHiddenFile()) hiddenOnes.insert(name);
  EXPECT_EQ(hiddenOnes, (std::set<std::string>{".hidden.png", ".profile", ".cache", "pipe"}));
}

TEST(DirContent, PathThatMatchesNothing) {
  TVXDirContent walker("/nonexistent-folder-of-vexlane/*");
  std::string name = "stale";
  EXPECT_FALSE(walker.GetItem(name, true, true, true));
  EXPECT_TRUE(name.empty());
  std::vector<std::string> list{"stale"};
  TVXDirContent::PopulateStrings("/nonexistent-folder-of-vexlane/*.png", list, true, true, true);
  EXPECT_TRUE(list.empty());
}

}  // namespace
