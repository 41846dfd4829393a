#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "tool/zolib.h"
#include "tool_test_util.h"

using tooltest::TempDir;
using tooltest::WriteFile;
using V = std::vector<std::string>;

namespace {
// A small tree:  a.png B.png c.txt readme .hidden.png sub/d.png sub/deep/e.PNG .secret/f.png
void MakeTree(const TempDir& d) {
  for (const char* n : {"a.png", "B.png", "c.txt", "readme", ".hidden.png"}) WriteFile(d / n, "x");
  mkdir((d / "sub").c_str(), 0755);
  mkdir((d / "sub/deep").c_str(), 0755);
  mkdir((d / ".secret").c_str(), 0755);
  WriteFile(d / "sub/d.png", "xx");
  WriteFile(d / "sub/deep/e.PNG", "xxx");
  WriteFile(d / ".secret/f.png", "x");
}
}  // namespace

TEST(ZoLibFileList, MasksHiddenAndRecursion) {
  TempDir d;
  MakeTree(d);
  const std::string p = d.Path + "/";
  EXPECT_EQ(GetFileList(d / "*.png", false, false, true, false), (V{p + "a.png", p + "B.png"}));
  EXPECT_EQ(GetFileList(d / "*.png", true, false, true, false),
            (V{p + "a.png", p + "B.png", p + "sub/d.png", p + "sub/deep/e.PNG"}));
  EXPECT_EQ(GetFileList(d / "*.png", true, true, true, false),
            (V{p + ".hidden.png", p + ".secret/f.png", p + "a.png", p + "B.png", p + "sub/d.png",
               p + "sub/deep/e.PNG"}));
  // several masks; empty pieces make no mask
  EXPECT_EQ(GetFileList(d / ";a.*;;*.txt;", false, false, true, false), (V{p + "a.png", p + "c.txt"}));
  // a mask ending in '.' also takes names without extension; a lone star takes all
  EXPECT_EQ(GetFileList(d / "readme.", false, false, true, false), (V{p + "readme"}));
  EXPECT_EQ(GetFileList(d / "*", false, false, true, false),
            (V{p + "a.png", p + "B.png", p + "c.txt", p + "readme"}));
  EXPECT_EQ(GetFileList(d.Path + "/", false, false, true, false),
            (V{p + "a.png", p + "B.png", p + "c.txt", p + "readme"}));
  // folders only
  EXPECT_EQ(GetFileList(d / "*", true, false, false, true), (V{p + "sub", p + "sub/deep"}));
}

TEST(ZoLibFileList, NothingForBadMasksOrFolders) {
  TempDir d;
  MakeTree(d);
  EXPECT_TRUE(GetFileList(d / "[a*.png", false, false, true, false).empty());
  EXPECT_TRUE(GetFileList(d / "*.png;[a", false, false, true, false).empty());
  EXPECT_TRUE(GetFileList(d / "missing/*.png", false, false, true, false).empty());
  EXPECT_TRUE(GetFileList(d / "a.png/*", false, false, true, false).empty());
}

// Only regular files (also through a link) are listed: a pipe named like an image
// would make the reader wait for ever, a dangling link cannot be read at all.
TEST(ZoLibFileList, SpecialFilesAreSkipped) {
  TempDir d;
  WriteFile(d / "real.png", "x");
  ASSERT_EQ(symlink("real.png", (d / "link.png").c_str()), 0);
  ASSERT_EQ(symlink("missing.png", (d / "dangling.png").c_str()), 0);
  ASSERT_EQ(mkfifo((d / "pipe.png").c_str(), 0600), 0);
  const std::string p = d.Path + "/";
  EXPECT_EQ(GetFileList(d / "*.png", true, false, true, false), (V{p + "link.png", p + "real.png"}));
  EXPECT_EQ(GetFileList(d / "pipe.png", false, false, true, false), V{});
}

TEST(ZoLibFileList, RelativeAndRootFolders) {
  TempDir d;
  MakeTree(d);
  char old[4096];
  ASSERT_NE(getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(chdir(d.Path.c_str()), 0);
  const V rel = GetFileList("*.png", false, false, true, false);
  const std::string cwd = GetCurrentDir();
  ASSERT_EQ(chdir(old), 0);
  EXPECT_EQ(rel, (V{JoinPath(cwd, "a.png"), JoinPath(cwd, "B.png")}));
  // the root folder keeps its delimiter
  for (const auto& e : GetFileList("/*", false, false, false, true)) EXPECT_EQ(e.rfind('/'), 0u) << e;
}

TEST(ZoLibFileList, LinkLoopsAreSearchedOnce) {
  TempDir d;
  MakeTree(d);
  ASSERT_EQ(symlink("..", (d / "sub/up").c_str()), 0);      // loops back to the top
  ASSERT_EQ(symlink("deep", (d / "sub/again").c_str()), 0);  // a second way to deep
  const V list = GetFileList(d / "*.png", true, false, true, false);
  EXPECT_EQ(list.size(), 4u);
  size_t eCount = 0;
  for (const auto& e : list) eCount += EndsWithText(e, "/e.PNG", false);
  EXPECT_EQ(eCount, 1u);
}

TEST(ZoLibFileList, SortBySizeAndFolders) {
  TempDir d;
  MakeTree(d);
  const std::string p = d.Path + "/";
  // Kind 1 (size), order 0: ascending sizes, equal sizes by path
  EXPECT_EQ(GetFileList(d / "*.png", true, false, true, false, 0, 1),
            (V{p + "a.png", p + "B.png", p + "sub/d.png", p + "sub/deep/e.PNG"}));
  // order 1 reverses
  EXPECT_EQ(GetFileList(d / "*.png", true, false, true, false, 1, 1),
            (V{p + "sub/deep/e.PNG", p + "sub/d.png", p + "B.png", p + "a.png"}));
  // order 2: deeper folders first, then by size
  EXPECT_EQ(GetFileList(d / "*.png", true, false, true, false, 2, 1),
            (V{p + "sub/deep/e.PNG", p + "sub/d.png", p + "a.png", p + "B.png"}));
  // order 4: deeper folders last
  EXPECT_EQ(GetFileList(d / "*.png", true, false, true, false, 4, 1),
            (V{p + "a.png", p + "B.png", p + "sub/d.png", p + "sub/deep/e.PNG"}));
}
