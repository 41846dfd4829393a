#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/win_errors.h"
#include "platform/win_files.h"
#include "platform/win_resource.h"
#include "tests/platform/process_state_guard.h"

// Every test of this program must leave the process state as it found it.
VX_GUARD_BASE_PROCESS_STATE();

namespace {

struct Dir {
  std::string Path;
  Dir() {
    char t[] = "/tmp/vx-platform-XXXXXX";
    Path = mkdtemp(t);
  }
  ~Dir() { (void)!std::system(("chmod -R u+w '" + Path + "'; rm -rf '" + Path + "'").c_str()); }
  std::string operator/(const std::string& N) const { return Path + "/" + N; }
};

void Write(const std::string& P, const std::string& S) { std::ofstream(P, std::ios::binary) << S; }
std::string Read(const std::string& P) {
  std::ifstream f(P, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}
mode_t Mode(const std::string& P) {
  struct stat st{};
  stat(P.c_str(), &st);
  return st.st_mode & 07777;
}

}  // namespace

TEST(PlatformFiles, PathTexts) {
  char oldCwd[4096];
  ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
  // Relative names against a known current folder; the folder is restored
  // at once for the tests that follow.
  ASSERT_EQ(chdir("/tmp"), 0);
  const std::string cwd = GetCurrentDir();
  const std::string relative = ExpandFileName("x/y"), dot = ExpandFileName(".");
  ASSERT_EQ(chdir(oldCwd), 0);
  struct Case {
    const char *In, *Out;
  } cases[] = {
      {"/a/b/../c/./d", "/a/c/d"}, {"/a/b/", "/a/b/"}, {"/..", "/"},  {"//a//b", "/a/b"},
      {"/", "/"},                  {"", ""},           {"/a/..", "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandFileName(c.In), c.Out) << c.In;
  EXPECT_EQ(relative, cwd + "/x/y");
  EXPECT_EQ(dot, cwd);
  EXPECT_EQ(ExtractFileName("/a/b.png"), "b.png");
  EXPECT_EQ(ExtractFileName("b.png"), "b.png");
  EXPECT_EQ(ExtractFilePath("/a/b.png"), "/a/");
  EXPECT_EQ(ExtractFilePath("b.png"), "");

  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", "/var/x", 1);
  EXPECT_EQ(GetTempPathW(), "/var/x/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(GetTempPathW(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempPathW(), "/tmp/");
  if (old) setenv("TMPDIR", saved.c_str(), 1);

  for (int64_t s : {int64_t(0), int64_t(1700000000), int64_t(-5)})
    EXPECT_EQ(FileTimeToUnixSeconds(FileTimeFromUnix(s, 999999999)), s);
}

TEST(PlatformFiles, AttributesAndFolders) {
  Dir d;
  Write(d / "f.png", "x");
  Write(d / ".h", "x");
  EXPECT_EQ(GetFileAttributesW(d / "f.png") & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY), 0u);
  EXPECT_NE(GetFileAttributesW(d / ".h") & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_NE(GetFileAttributesW(d.Path) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesW(d / "missing"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(""), INVALID_FILE_ATTRIBUTES);

  chmod((d / "f.png").c_str(), 0664);
  EXPECT_TRUE(SetFileAttributesW(d / "f.png", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Mode(d / "f.png"), 0444u);
  EXPECT_NE(GetFileAttributesW(d / "f.png") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(SetFileAttributesW(d / "f.png", 0));
  EXPECT_EQ(Mode(d / "f.png"), 0644u);
  EXPECT_FALSE(SetFileAttributesW(d / "missing", 0));

  EXPECT_TRUE(FileExists(d / "f.png"));
  EXPECT_FALSE(FileExists(d.Path));
  EXPECT_TRUE(ForceDirectories(d / "a/b/c/"));
  EXPECT_TRUE(DirectoryExists(d / "a/b/c"));
  EXPECT_TRUE(ForceDirectories(d / "a/b"));
  EXPECT_FALSE(ForceDirectories(d / "f.png/sub"));
  EXPECT_THROW(ForceDirectories(""), EInOutError);
  EXPECT_FALSE(DeleteFileW(d / "a"));  // folders are not deleted
  EXPECT_TRUE(DeleteFileW(d / ".h"));
  EXPECT_FALSE(DeleteFileW(d / ".h"));
}

TEST(PlatformFiles, CopyFile) {
  Dir d;
  Write(d / "s", "source bytes");
  chmod((d / "s").c_str(), 0640);
  struct timespec t[2] = {{1500000000, 0}, {1500000002, 500}};
  utimensat(AT_FDCWD, (d / "s").c_str(), t, 0);
  ASSERT_TRUE(CopyFileW(d / "s", d / "t", false));
  EXPECT_EQ(Read(d / "t"), "source bytes");
  EXPECT_EQ(Mode(d / "t"), 0640u);
  struct stat st{};
  stat((d / "t").c_str(), &st);
  EXPECT_EQ(st.st_mtim.tv_sec, 1500000002);  // last-write time kept

  Write(d / "s", "new");
  EXPECT_FALSE(CopyFileW(d / "s", d / "t", true));
  EXPECT_EQ(Read(d / "t"), "source bytes");
  EXPECT_TRUE(CopyFileW(d / "s", d / "t", false));
  EXPECT_EQ(Read(d / "t"), "new");

  // onto itself (also through a link): refused, the file keeps its bytes
  ASSERT_EQ(symlink((d / "s").c_str(), (d / "link").c_str()), 0);
  EXPECT_FALSE(CopyFileW(d / "s", d / "s", false));
  EXPECT_FALSE(CopyFileW(d / "s", d / "link", false));
  EXPECT_EQ(Read(d / "s"), "new");
  EXPECT_FALSE(CopyFileW(d / "missing", d / "u", false));
  EXPECT_FALSE(CopyFileW(d.Path, d / "u", false));
  EXPECT_FALSE(FileExists(d / "u"));

  EXPECT_TRUE(SameFile(d / "s", d / "link"));
  EXPECT_FALSE(SameFile(d / "s", d / "t"));
  EXPECT_FALSE(SameFile(d / "s", d / "missing"));
}

TEST(PlatformFiles, ExclusiveNewFiles) {
  Dir d;
  bool taken = true;
  ASSERT_TRUE(WriteNewFile(d / "q", "abc", 3, 0700, taken));
  EXPECT_FALSE(taken);
  EXPECT_EQ(Read(d / "q"), "abc");
  EXPECT_EQ(Mode(d / "q"), 0700u);
  EXPECT_FALSE(WriteNewFile(d / "q", "x", 1, 0700, taken));
  EXPECT_TRUE(taken);
  EXPECT_EQ(Read(d / "q"), "abc");
  // a (dangling) link is never followed
  ASSERT_EQ(symlink((d / "elsewhere").c_str(), (d / "l").c_str()), 0);
  EXPECT_FALSE(WriteNewFile(d / "l", "x", 1, 0700, taken));
  EXPECT_TRUE(taken);
  EXPECT_FALSE(FileExists(d / "elsewhere"));
  EXPECT_FALSE(WriteNewFile(d / "nofolder/q", "x", 1, 0700, taken));
  EXPECT_FALSE(taken);
  // the mode is kept even when the umask would take the owner's bits
  const mode_t oldMask = umask(0177);
  const bool written = WriteNewFile(d / "x", "#!", 2, 0700, taken);
  umask(oldMask);
  ASSERT_TRUE(written);
  EXPECT_EQ(Mode(d / "x"), 0700u);
}

TEST(PlatformFiles, FindFiles) {
  Dir d;
  Write(d / "b.png", "xx");
  Write(d / "a.txt", "x");
  mkdir((d / "sub").c_str(), 0755);
  std::vector<std::string> names;
  WIN32_FIND_DATAW fd;
  HFIND h = FindFirstFileW(d / "*", fd);
  ASSERT_NE(h, INVALID_FIND_HANDLE);
  do {
    names.push_back(fd.cFileName);
    if (fd.cFileName == "b.png") {
      EXPECT_EQ(fd.nFileSize, 2u);
    }
    if (fd.cFileName == "sub") {
      EXPECT_NE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    }
  } while (FindNextFileW(h, fd));
  FindClose(h);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "b.png", "sub"}));

  h = FindFirstFileW(d / "*.png", fd);
  ASSERT_NE(h, INVALID_FIND_HANDLE);
  EXPECT_EQ(fd.cFileName, "b.png");
  EXPECT_FALSE(FindNextFileW(h, fd));
  FindClose(h);
  h = FindFirstFileW(d / "a.txt", fd);
  ASSERT_NE(h, INVALID_FIND_HANDLE);
  EXPECT_EQ(fd.cFileName, "a.txt");
  FindClose(h);
  EXPECT_EQ(FindFirstFileW(d / "*.gif", fd), INVALID_FIND_HANDLE);
  EXPECT_EQ(FindFirstFileW(d / "missing/*", fd), INVALID_FIND_HANDLE);

  // a name that holds a wildcard character finds itself first, then the other matches
  Write(d / "x1.png", "1");
  Write(d / "x?.png", "22");
  h = FindFirstFileW(d / "x?.png", fd);
  ASSERT_NE(h, INVALID_FIND_HANDLE);
  EXPECT_EQ(fd.cFileName, "x?.png");
  EXPECT_EQ(fd.nFileSize, 2u);
  ASSERT_TRUE(FindNextFileW(h, fd));
  EXPECT_EQ(fd.cFileName, "x1.png");
  EXPECT_FALSE(FindNextFileW(h, fd));
  FindClose(h);
}

TEST(PlatformResources, RegisteredBlobs) {
  static const char data[] = "#!/bin/sh\nexit 0\n";
  RegisterResource(RT_RCDATA, "quant", data, sizeof data - 1);
  HRSRC r = FindResourceW(nullptr, "QUANT", RT_RCDATA);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(SizeofResource(nullptr, r), sizeof data - 1);
  EXPECT_EQ(LockResource(LoadResource(nullptr, r)), static_cast<const void*>(data));
  EXPECT_EQ(FindResourceW(nullptr, "quant", RT_RCDATA + 1), nullptr);
  int module = 0;
  EXPECT_EQ(FindResourceW(&module, "quant", RT_RCDATA), nullptr);
  EXPECT_TRUE(UnregisterResource(RT_RCDATA, "Quant"));
  EXPECT_EQ(FindResourceW(nullptr, "quant", RT_RCDATA), nullptr);
  EXPECT_EQ(LockResource(nullptr), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
}
