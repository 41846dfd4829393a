// Start-up benchmark: what filling the word tables adds to the library
// start-up that every program of the library runs once, measured against the
// process start of Debian's pngquant (`pngquant --version`).
//
// Each figure is the best of RUNS (default 50):
//   - start-up: the library start-up and shut-down repeated inside this
//     process, with the word tables and without them (the slot left empty);
//     the words' time is the difference;
//   - first start-up: a fresh process of this program timing its first
//     start-up, with and without the word tables: what one program start pays
//     on top, converters loaded and entries allocated for the first time;
//   - pngquant: spawning `pngquant --version` and waiting for it.
// The last line reads "startup: <ms> ms words, <ratio>x pngquant start", from
// the repeated start-ups.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/startup.h"
#include "words/words.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// Runs Argv and waits; the wall time in ms, or a negative value on failure.
double SpawnAndWait(const std::vector<std::string>& Args, std::string* Output = nullptr) {
  std::vector<char*> argv;
  for (const auto& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const auto t0 = Clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string out;
  char buf[256];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
  close(fds[0]);
  int status = 0;
  if (rc != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  const auto t1 = Clock::now();
  if (Output) *Output = out;
  return Ms(t0, t1);
}

// Child: times this process's first start-up and prints it in ms.
int ColdChild(bool Words) {
  if (!Words) VXLibraryHooks.RegisterAllWordTables = nullptr;
  const auto t0 = Clock::now();
  VXStaticInitialize();
  const auto t1 = Clock::now();
  if (Words && VXWordTable[msNorwegian][4].empty()) return 1;
  VXStaticFinalize();
  std::printf("%.6f\n", Ms(t0, t1));
  return 0;
}

double BestCold(const std::string& Self, bool Words, int Runs) {
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) {
    std::string out;
    if (SpawnAndWait({Self, Words ? "--cold-words" : "--cold-plain"}, &out) < 0) return -1;
    best = std::min(best, std::atof(out.c_str()));
  }
  return best;
}

double BestWarm(bool Words, int Runs) {
  const TVXHookProc hook = VXLibraryHooks.RegisterAllWordTables;
  if (!Words) VXLibraryHooks.RegisterAllWordTables = nullptr;
  double best = 1e30;
  for (int i = 0; i < Runs; ++i) {
    const auto t0 = Clock::now();
    VXStaticInitialize();
    const auto t1 = Clock::now();
    VXStaticFinalize();
    best = std::min(best, Ms(t0, t1));
  }
  VXLibraryHooks.RegisterAllWordTables = hook;
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--cold-words") == 0) return ColdChild(true);
  if (argc == 2 && std::strcmp(argv[1], "--cold-plain") == 0) return ColdChild(false);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  if (VXLibraryHooks.RegisterAllWordTables == nullptr) {
    std::fprintf(stderr, "the word tables are not linked into this program\n");
    return 1;
  }
  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  if (len <= 0) return 1;
  self[len] = '\0';

  const double coldWords = BestCold(self, true, runs);
  const double coldPlain = BestCold(self, false, runs);
  const double warmWords = BestWarm(true, runs);
  const double warmPlain = BestWarm(false, runs);
  double pngquant = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double t = SpawnAndWait({"/usr/bin/pngquant", "--version"});
    if (t < 0) {
      std::fprintf(stderr, "cannot run /usr/bin/pngquant --version\n");
      return 1;
    }
    pngquant = std::min(pngquant, t);
  }
  if (coldWords < 0 || coldPlain < 0) {
    std::fprintf(stderr, "the cold start-up children failed\n");
    return 1;
  }
  const double words = std::max(0.0, warmWords - warmPlain);
  std::printf("first start-up in a new process: %.3f ms with word tables, %.3f ms without (%.3f ms words)\n",
              coldWords, coldPlain, std::max(0.0, coldWords - coldPlain));
  std::printf("library start-up:                %.3f ms with word tables, %.3f ms without\n", warmWords, warmPlain);
  std::printf("pngquant --version:              %.3f ms process start\n", pngquant);
  std::printf("startup: %.3f ms words, %.2fx pngquant start\n", words, words / pngquant);
  return 0;
}
