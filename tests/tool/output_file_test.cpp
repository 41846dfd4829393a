#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tool/output_file.h"
#include "tool_test_util.h"

using namespace tooltest;

namespace {

// The result is written through the descriptor Create leaves open; what
// happens to it before Commit decides what the target folder holds after.
TEST(OutputFile, WrittenThroughItsHandleThenPutInPlaceOrDropped) {
  struct Case {
    const char* Name;
    bool EarlierTarget;  // a read-only target of that name exists already
    bool ClosedFirst;    // closed before it is made read-only (another program rewrote it by name)
    bool Removed;        // its temporary name removed before it is made read-only
    bool Commit;
    bool Placed;  // the target holds the new bytes
  };
  const Case cases[] = {
      {"new target", false, false, false, true, true},
      {"replaces an earlier read-only target", true, false, false, true, true},
      {"closed before it is made read-only", false, true, false, true, true},
      {"temporary name removed", true, false, true, true, false},
      {"temporary name removed after closing", false, true, true, true, false},
      {"never committed", true, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    const std::string target = dir / "icon.png";
    if (c.EarlierTarget) {
      WriteFile(target, "earlier");
      ASSERT_EQ(chmod(target.c_str(), 0444), 0);
    }
    {
      TOutputFile out;
      ASSERT_TRUE(out.Create(target));
      ASSERT_GE(out.Handle(), 0);
      EXPECT_EQ(out.Path().rfind(dir.Path + "/.icon.png-", 0), 0u) << out.Path();
      ASSERT_EQ(write(out.Handle(), "new bytes", 9), 9);
      if (c.ClosedFirst) {
        out.Close();
        EXPECT_EQ(out.Handle(), -1);
        EXPECT_EQ(ReadFile(out.Path()), "new bytes");
      }
      if (c.Removed) ASSERT_EQ(unlink(out.Path().c_str()), 0);
      EXPECT_EQ(out.Exists(), !c.Removed);
      if (!c.Removed) {
        EXPECT_TRUE(out.MakeReadOnly());
        EXPECT_TRUE(IsReadOnly(out.Path()));
        EXPECT_TRUE(out.MakeReadOnly());  // once is enough, twice does no harm
      }
      if (c.Commit) EXPECT_EQ(out.Commit(), c.Placed);
    }
    EXPECT_EQ(ReadFile(target), c.Placed ? "new bytes" : c.EarlierTarget ? "earlier" : "");
    if (c.Placed || c.EarlierTarget) EXPECT_TRUE(IsReadOnly(target));
    EXPECT_TRUE(NamesWithPrefix(dir.Path, ".").empty()) << "a temporary file is left";
  }
}

TEST(OutputFile, CopiesASourceThroughItsHandle) {
  TempDir dir;
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + i / 251);
  struct Case {
    const char* Name;
    std::string Source;  // written to "src.png" unless empty
    bool Folder;         // the source is a folder
    bool Ok;
  };
  const std::vector<Case> cases = {
      {"several reads long", big, false, true},
      {"empty source", "", false, true},
      {"source is a folder", "", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string source = dir / (c.Folder ? "folder.png" : "src.png");
    if (c.Folder)
      ASSERT_EQ(mkdir(source.c_str(), 0755), 0);
    else
      WriteFile(source, c.Source);
    TOutputFile out;
    ASSERT_TRUE(out.Create(dir / "copy.png"));
    EXPECT_EQ(out.CopyFrom(source), c.Ok);
    if (!c.Ok) continue;
    EXPECT_TRUE(out.Commit());
    EXPECT_EQ(ReadFile(dir / "copy.png"), c.Source);
  }
  TOutputFile missing;
  ASSERT_TRUE(missing.Create(dir / "missing.png"));
  EXPECT_FALSE(missing.CopyFrom(dir / "no-such-file.png"));
}

}  // namespace
