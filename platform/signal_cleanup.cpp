#include "platform/signal_cleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every signal whose default action ends the process and that a user or a
// closed pipe sends in practice.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
constexpr size_t kSignalCount = sizeof kSignals / sizeof kSignals[0];
char gPath[4096];
volatile sig_atomic_t gArmed = 0;
struct sigaction gOld[kSignalCount];
bool gInstalled = false;

// Short-lived extra files: a copy of the path, or null for a free slot. Enough
// for every output of the files in flight and their temporaries. A path taken
// out after a handler has begun is not freed: the handler may be reading it.
constexpr int kExtraSlots = 1024;
std::atomic<char*> gExtra[kExtraSlots];
// Threads that take a path out read the others' paths to find theirs: one at a
// time, so that none frees a path another is reading. (The handler never
// waits for it.)
std::mutex gRemoveLock;

// Child processes: 0 free, else the process id.
constexpr int kChildSlots = 256;
std::atomic<pid_t> gChild[kChildSlots];

// Threads between starting a child and registering it. The handler waits for
// them; such a thread blocks the signals meanwhile, so it never runs the handler.
// Once a handler runs, no further child is started (other threads go on
// running until the process ends).
std::atomic<int> gStarting{0};
std::atomic<bool> gEnding{false};

void OnSignal(int Sig) {
  // The process ends once the signal is raised again below, as the handler
  // returns; the thread it interrupted must still find its errno as it was.
  const int savedErrno = errno;
  if (gArmed) {
    gEnding.store(true);
    while (gStarting.load() > 0) sched_yield();
    // Children first: a child that still writes could make a file again after
    // it was removed. The child is waited for, unless another thread already did.
    for (int i = 0; i < kChildSlots; ++i) {
      const pid_t pid = gChild[i].load();
      if (pid > 0) {
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
      }
    }
    if (gPath[0] != '\0') unlink(gPath);
    for (int i = 0; i < kExtraSlots; ++i)
      if (const char* path = gExtra[i].load()) unlink(path);
  }
  signal(Sig, SIG_DFL);
  raise(Sig);
  errno = savedErrno;
}

}  // namespace

void ArmSignalCleanup(const std::string& Path) {
  if (Path.size() >= sizeof(gPath)) return;
  gArmed = 0;
  std::memcpy(gPath, Path.c_str(), Path.size() + 1);
  gArmed = 1;
  if (!gInstalled) {
    struct sigaction sa{};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    // One clean-up at a time: the other signals wait until it has ended the process.
    for (int s : kSignals) sigaddset(&sa.sa_mask, s);
    for (size_t i = 0; i < kSignalCount; ++i) {
      sigaction(kSignals[i], nullptr, &gOld[i]);
      // A signal the process was started to ignore stays ignored.
      if (gOld[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &sa, nullptr);
    }
    gInstalled = true;
  }
}

void DisarmSignalCleanup() {
  gArmed = 0;
  if (gInstalled) {
    for (size_t i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &gOld[i], nullptr);
    gInstalled = false;
  }
}

void AddSignalCleanup(const std::string& Path) {
  // The process is ending: the file must not be made any more.
  while (gEnding.load()) pause();
  char* copy = strdup(Path.c_str());
  if (copy == nullptr) return;
  for (int i = 0; i < kExtraSlots; ++i) {
    char* expected = nullptr;
    if (gExtra[i].compare_exchange_strong(expected, copy)) return;
  }
  std::free(copy);
}

void RemoveSignalCleanup(const std::string& Path) {
  std::lock_guard<std::mutex> lock(gRemoveLock);
  for (int i = 0; i < kExtraSlots; ++i) {
    char* path = gExtra[i].load();
    if (path == nullptr || Path != path) continue;
    if (gExtra[i].compare_exchange_strong(path, nullptr)) {
      if (!gEnding.load()) std::free(path);
      return;
    }
  }
}

void AddSignalChild(int ProcessId) {
  if (ProcessId <= 0) return;
  for (int i = 0; i < kChildSlots; ++i) {
    pid_t expected = 0;
    if (gChild[i].compare_exchange_strong(expected, pid_t(ProcessId))) return;
  }
}

void RemoveSignalChild(int ProcessId) {
  if (ProcessId <= 0) return;
  for (int i = 0; i < kChildSlots; ++i) {
    pid_t expected = pid_t(ProcessId);
    if (gChild[i].compare_exchange_strong(expected, 0)) return;
  }
}

void EndSignalChildren() {
  for (int i = 0; i < kChildSlots; ++i) {
    const pid_t pid = gChild[i].load();
    if (pid > 0) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
    }
  }
}

TSignalCleanupStart::TSignalCleanupStart() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kSignals) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, &FOld);
  gStarting.fetch_add(1);
  FAllowed = !gEnding.load();
}

TSignalCleanupStart::~TSignalCleanupStart() {
  gStarting.fetch_sub(1);
  pthread_sigmask(SIG_SETMASK, &FOld, nullptr);
}
