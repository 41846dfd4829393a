#include "platform/win_process.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
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

bool CreateProcessW(const std::string& ApplicationName, const std::string& CommandLine,
                    const std::string& CurrentDirectory, int& ProcessId) {
  if (ApplicationName.empty()) return false;
  std::vector<std::string> args = CommandLineToArgv(CommandLine);
  if (args.empty()) args.push_back(ApplicationName);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

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
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

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
