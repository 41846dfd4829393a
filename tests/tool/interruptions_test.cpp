// Runs of the built program ended by a signal at several points: afterwards no
// temporary file, no running quantiser and no writable or partial output is
// left, earlier outputs are untouched, and a following /m run gives the folder
// an uninterrupted run gives.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "core/bitmap.h"
#include "io/vexlaneio.h"
#include "tool_test_util.h"

using tooltest::TempDir;

extern char** environ;

namespace {

const std::string kFakeProgram = std::string(VX_BINARY_DIR) + "/tool/tarvello_fakequant";
const std::string kSamples = std::string(VX_SOURCE_DIR) + "/samples";


std::vector<std::string> Lines(const std::string& Path) {
  std::vector<std::string> out;
  std::string text = tooltest::ReadFile(Path), line;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  return out;
}

pid_t Spawn(const std::vector<std::string>& Args, const std::vector<std::string>& Env, const std::string& Cwd) {
  std::vector<std::string> envs = Env;
  for (char** e = environ; *e; ++e) {
    const std::string s(*e);
    if (s.rfind("TMPDIR=", 0) != 0 && s.rfind("FAKEQUANT_", 0) != 0) envs.push_back(s);
  }
  std::vector<char*> envp, argv;
  for (auto& e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = Args;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&fa, Cwd.c_str());
  pid_t pid = 0;
  if (posix_spawn(&pid, args[0].c_str(), &fa, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  return pid;
}

// Sources: the samples and a large noise image whose save takes a while.
void MakeSources(const std::string& Folder) {
  mkdir(Folder.c_str(), 0755);
  for (const char* n : {"icon.png", "photo.png", "button.9.png"})
    tooltest::WriteFile(Folder + "/" + n, tooltest::ReadFile(kSamples + "/" + n));
  TVexlaneIO io;
  TVXBitmap* b = io.VXBitmap();
  b->Allocate(600, 600, vx24RGB);
  uint32_t r = 12345;
  for (int32_t y = 0; y < 600; ++y)
    for (int32_t x = 0; x < 600; ++x) {
      r = r * 1664525u + 1013904223u;
      b->SetPixels_vx24RGB(x, y, TRGB{uint8_t(r >> 24), uint8_t(r >> 16), uint8_t(r >> 8)});
    }
  io.SaveToFilePNG(Folder + "/noise.png");
}

}  // namespace

TEST(TarvelloInterrupted, SignalsLeaveNothingHalfDone) {
  struct Case {
    const char* name;
    int signal;
    bool eightBit;
    size_t quantiserRuns;  // the signal comes while this quantiser run sleeps (with /8)
  } cases[] = {
      {"TERM in the first quantiser run", SIGTERM, true, 1},
      {"INT in a later quantiser run", SIGINT, true, 4},
      {"HUP while a large result is made", SIGHUP, false, 0},
      {"QUIT in a quantiser run", SIGQUIT, true, 2},
      {"PIPE in a quantiser run", SIGPIPE, true, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    const std::string tmp = d / "tmp", src = d / "src", mark = d / "quant.pids";
    mkdir(tmp.c_str(), 0700);
    MakeSources(src);
    std::vector<std::string> args{kFakeProgram, "/mdpi", "/xxxhdpi", "/dip:200", src};
    if (c.eightBit) args.push_back("/8");
    auto withOut = [&](const std::string& Out) {
      std::vector<std::string> a = args;
      a.insert(a.begin() + 1, "/out:" + Out);
      return a;
    };

    // The folder an uninterrupted run makes.
    {
      const pid_t pid = Spawn(withOut(d / "ref"), {"TMPDIR=" + tmp}, d.Path);
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto reference = tooltest::FileTree(d / "ref");
    ASSERT_EQ(reference.size(), 8u);

    // Earlier outputs, older than the sources: they stay until replaced whole.
    mkdir((d / "out").c_str(), 0755);
    mkdir((d / "out/drawable-mdpi").c_str(), 0755);
    for (const char* n : {"button.9.png", "icon.png", "noise.png", "photo.png"}) {
      const std::string old = d / (std::string("out/drawable-mdpi/") + n);
      tooltest::WriteFile(old, "OLD");
      chmod(old.c_str(), 0444);
      struct timespec t[2] = {{1500000000, 0}, {1500000000, 0}};
      utimensat(AT_FDCWD, old.c_str(), t, 0);
    }

    std::vector<std::string> env{"TMPDIR=" + tmp, "FAKEQUANT_MARK=" + mark};
    if (c.eightBit) {
      env.push_back("FAKEQUANT_SLEEP=20");
      env.push_back("FAKEQUANT_SLEEP_RUN=" + std::to_string(c.quantiserRuns));
    }
    const pid_t pid = Spawn(withOut(d / "out"), env, d.Path);
    ASSERT_GT(pid, 0);
    // Wait for the chosen point: the n-th quantiser run, or the noise image's
    // result being made (its hidden temporary name in the xxxhdpi folder).
    bool reached = false;
    for (int i = 0; i < 3000 && !reached; ++i) {
      usleep(5000);
      if (c.eightBit) {
        reached = Lines(mark).size() >= c.quantiserRuns;
      } else {
        reached = !tooltest::NamesWithPrefix(d / "out/drawable-xxxhdpi", ".noise.png-").empty();
      }
    }
    ASSERT_TRUE(reached);
    // The quantiser runs from memory: nothing of it lies in the temporary folder.
    EXPECT_EQ(tooltest::NamesWithPrefix(tmp, ""), std::vector<std::string>{});
    kill(pid, c.signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal) << status;

    // No quantiser outlives the program.
    for (const std::string& q : Lines(mark)) {
      const pid_t qp = pid_t(std::stol(q));
      EXPECT_TRUE(kill(qp, 0) != 0 && errno == ESRCH) << "quantiser " << qp << " still running";
    }
    // No temporary file anywhere, every output whole and read-only or the old one.
    EXPECT_EQ(tooltest::NamesWithPrefix(tmp, ""), std::vector<std::string>{});
    for (const auto& [name, data] : tooltest::FileTree(d / "out")) {
      EXPECT_EQ(name.find("/."), std::string::npos) << "temporary file " << name;
      EXPECT_TRUE(tooltest::IsReadOnly(d / ("out/" + name))) << name;
      if (data != "OLD") {
        EXPECT_EQ(data, reference.at(name)) << "partial or different output " << name;
      }
    }

    // /m redoes what did not finish: the folder becomes the uninterrupted one.
    {
      std::vector<std::string> again = withOut(d / "out");
      again.push_back("/m");
      const pid_t p2 = Spawn(again, {"TMPDIR=" + tmp}, d.Path);
      int s2 = 0;
      waitpid(p2, &s2, 0);
      ASSERT_TRUE(WIFEXITED(s2) && WEXITSTATUS(s2) == 0);
    }
    EXPECT_EQ(tooltest::FileTree(d / "out"), reference);
    EXPECT_EQ(tooltest::NamesWithPrefix(tmp, ""), std::vector<std::string>{});
  }
}
