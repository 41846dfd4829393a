#include "platform/win_process.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <csignal>
#include <pthread.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::vector<std::string> CommandLineToArgv(const std::string& CommandLine) {
  std::vector<std::string> args;
  const size_t n = CommandLine.size();
  size_t i = 0;
  for (;;) {
    while (i < n && (CommandLine[i] == ' ' || CommandLine[i] == '\t')) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n) {
      const char c = CommandLine[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        size_t k = i;
        while (k < n && CommandLine[k] == '\\') ++k;
        const size_t count = k - i;
        if (k < n && CommandLine[k] == '"') {
          arg.append(count / 2, '\\');
          if (count % 2) {
            arg += '"';
            i = k + 1;
          } else {
            i = k;  // the quote is handled as a quote below
          }
        } else {
          arg.append(count, '\\');
          i = k;
        }
        continue;
      }
      if (c == '"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += c;
      ++i;
    }
    args.push_back(arg);
  }
  return args;
}

std::string QuoteCommandLineArg(const std::string& Arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : Arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(2 * backslashes + 1, '\\');
      out += '"';
    } else {
      out.append(backslashes, '\\');
      out += c;
    }
    backslashes = 0;
  }
  out.append(2 * backslashes, '\\');
  out += '"';
  return out;
}

namespace {

const char kDescriptorPrefix[] = "/proc/self/fd/";

// The descriptor that names a program held in memory ("/proc/self/fd/N"), or -1.
int ProgramDescriptor(const std::string& Path) {
  const size_t n = sizeof kDescriptorPrefix - 1;
  if (Path.size() <= n || Path.size() > n + 9 || Path.compare(0, n, kDescriptorPrefix) != 0) return -1;
  int fd = 0;
  for (size_t i = n; i < Path.size(); ++i) {
    if (Path[i] < '0' || Path[i] > '9') return -1;
    fd = fd * 10 + (Path[i] - '0');
  }
  return fd >= 3 ? fd : -1;
}

// Starts the program open as Fd with fexecve. The child gets the program as its
// descriptor 3, without close-on-exec, because a script's interpreter opens it
// by that name after the exec; nothing else beside the standard streams. Like
// every child it leads a process group of its own. Only system calls run
// between vfork and the exec.
bool SpawnDescriptor(int Fd, char* const* Argv, const std::string& Dir, pid_t& Pid) {
  struct stat st {};
  if (fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull < 0) return false;
  const char* dir = Dir.empty() ? nullptr : Dir.c_str();
  sigset_t all, old, none;
  sigfillset(&all);
  sigemptyset(&none);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = vfork();
  if (pid == 0) {
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s) sigaction(s, &dfl, nullptr);
    if (dup2(devNull, 0) < 0) _exit(127);
    if (Fd != 3 ? dup2(Fd, 3) < 0 : fcntl(3, F_SETFD, 0) < 0) _exit(127);
    close_range(4, ~0u, 0);
    if (dir != nullptr && chdir(dir) != 0) _exit(127);
    setpgid(0, 0);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    fexecve(3, Argv, environ);
    _exit(127);
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  close(devNull);
  if (pid < 0) return false;
  Pid = pid;
  return true;
}

}  // namespace

bool CreateProcessW(const std::string& ApplicationName, const std::string& CommandLine,
                    const std::string& CurrentDirectory, int& ProcessId) {
  if (ApplicationName.empty()) return false;
  std::vector<std::string> args = CommandLineToArgv(CommandLine);
  if (args.empty()) args.push_back(ApplicationName);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  if (const int fd = ProgramDescriptor(ApplicationName); fd >= 0) {
    pid_t pid = 0;
    if (!SpawnDescriptor(fd, argv.data(), CurrentDirectory, pid)) return false;
    ProcessId = static_cast<int>(pid);
    return true;
  }

  posix_spawn_file_actions_t fa;
  if (posix_spawn_file_actions_init(&fa) != 0) return false;
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&fa, 3);
  if (!CurrentDirectory.empty()) posix_spawn_file_actions_addchdir_np(&fa, CurrentDirectory.c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // The child starts with default signal handling, whatever this process installed.
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attr, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  // A group of its own: whoever ends the child ends the processes it started too.
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, ApplicationName.c_str(), &fa, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  ProcessId = static_cast<int>(pid);
  return true;
}

bool WaitForProcessExit(int ProcessId, uint32_t& ExitCode) {
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(static_cast<pid_t>(ProcessId), &status, 0);
    if (r == static_cast<pid_t>(ProcessId)) break;
    if (r < 0 && errno == EINTR) continue;
    return false;
  }
  if (WIFEXITED(status))
    ExitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  else if (WIFSIGNALED(status))
    ExitCode = 128u + static_cast<uint32_t>(WTERMSIG(status));
  else
    ExitCode = 1;
  return true;
}
