// Files removed when a signal ends the process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/signal_cleanup.h"

namespace {

bool Exists(const std::string& Path) {
  struct stat st {};
  return stat(Path.c_str(), &st) == 0;
}

void Touch(const std::string& Path) {
  const int fd = open(Path.c_str(), O_CREAT | O_WRONLY, 0600);
  if (fd >= 0) close(fd);
}

}  // namespace

TEST(PlatformSignalCleanup, ExtraFilesGoWithTheArmedOne) {
  const char* t = std::getenv("TMPDIR");
  std::string tmpl = std::string(t && *t ? t : "/tmp") + "/sigclean-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const std::string dir = tmpl;
  struct Case {
    const char* Name;
    bool Arm;          // the main file's clean-up is armed
    bool RemoveExtra;  // the extra file is unregistered before the signal
    bool MainGone, ExtraGone;
  } cases[] = {
      {"armed", true, false, true, true},
      {"extra removed", true, true, true, false},
      {"not armed", false, false, false, false},
  };
  for (const auto& c : cases) {
    const std::string main = dir + "/main", extra = dir + "/extra", other = dir + "/other";
    for (const auto& p : {main, extra, other}) Touch(p);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (c.Arm) ArmSignalCleanup(main);
      AddSignalCleanup(other);
      AddSignalCleanup(extra);
      if (c.RemoveExtra) RemoveSignalCleanup(extra);
      raise(SIGTERM);
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << c.Name;
    EXPECT_EQ(!Exists(main), c.MainGone) << c.Name;
    EXPECT_EQ(!Exists(extra), c.ExtraGone) << c.Name;
    EXPECT_EQ(!Exists(other), c.Arm) << c.Name;
    for (const auto& p : {main, extra, other}) unlink(p.c_str());
  }
  rmdir(dir.c_str());
}

TEST(PlatformSignalCleanup, ThreadsTakingTheirFilesOutAtOnce) {
  // Every thread registers and takes out files of its own, many times, while
  // the others do the same (the program's workers each write outputs under
  // temporary names); what stays registered at the end still goes with the
  // signal, and what was taken out stays.
  const char* t = std::getenv("TMPDIR");
  std::string tmpl = std::string(t && *t ? t : "/tmp") + "/sigclean-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  const std::string dir = tmpl;
  constexpr int kThreads = 8;
  for (int k = 0; k < kThreads; ++k) {
    Touch(dir + "/kept" + std::to_string(k));
    Touch(dir + "/taken" + std::to_string(k));
  }
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(60);  // a hang fails the test instead of blocking it
    ArmSignalCleanup("");
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k)
      threads.emplace_back([&dir, k] {
        const std::string own = dir + "/t" + std::to_string(k) + "-";
        for (int i = 0; i < 400; ++i) {
          AddSignalCleanup(own + std::to_string(i));
          AddSignalCleanup(own + std::to_string(i) + ".tmp");
          RemoveSignalCleanup(own + std::to_string(i) + ".tmp");
          RemoveSignalCleanup(own + std::to_string(i));
        }
        AddSignalCleanup(dir + "/kept" + std::to_string(k));
        AddSignalCleanup(dir + "/taken" + std::to_string(k));
        RemoveSignalCleanup(dir + "/taken" + std::to_string(k));
      });
    for (auto& th : threads) th.join();
    raise(SIGTERM);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  for (int k = 0; k < kThreads; ++k) {
    EXPECT_FALSE(Exists(dir + "/kept" + std::to_string(k))) << k;
    EXPECT_TRUE(Exists(dir + "/taken" + std::to_string(k))) << k;
    unlink((dir + "/taken" + std::to_string(k)).c_str());
    unlink((dir + "/kept" + std::to_string(k)).c_str());
  }
  rmdir(dir.c_str());
}
