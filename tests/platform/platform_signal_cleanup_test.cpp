// Files removed when a signal ends the process.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
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
