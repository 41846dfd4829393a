#include "platform/signal_cleanup.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <pthread.h>
#include <cstring>
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

// Short-lived extra files: state 0 free, 1 being filled, 2 in use. Enough for
// every output of the files in flight and their temporaries.
constexpr int kExtraSlots = 1024;
char gExtra[kExtraSlots][4096];
std::atomic<int> gExtraState[kExtraSlots];

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
      if (gExtraState[i].load() == 2) unlink(gExtra[i]);
  }
  signal(Sig, SIG_DFL);
  raise(Sig);
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
  if (Path.size() >= sizeof(gExtra[0])) return;
  // The process is ending: the file must not be made any more.
  while (gEnding.load()) pause();
  for (int i = 0; i < kExtraSlots; ++i) {
    int expected = 0;
    if (gExtraState[i].compare_exchange_strong(expected, 1)) {
      std::memcpy(gExtra[i], Path.c_str(), Path.size() + 1);
      gExtraState[i].store(2);
      return;
    }
  }
}

void RemoveSignalCleanup(const std::string& Path) {
  for (int i = 0; i < kExtraSlots; ++i) {
    if (gExtraState[i].load() != 2 || Path != gExtra[i]) continue;
    int expected = 2;
    if (gExtraState[i].compare_exchange_strong(expected, 1)) {
      // Checked again: another thread may have reused the slot in between.
      if (Path == gExtra[i]) {
        gExtraState[i].store(0);
        return;
      }
      gExtraState[i].store(2);
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
