#include "platform/signal_cleanup.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gPath[4096];
volatile sig_atomic_t gArmed = 0;
struct sigaction gOld[3];
bool gInstalled = false;

// Short-lived extra files: state 0 free, 1 being filled, 2 in use.
constexpr int kExtraSlots = 8;
char gExtra[kExtraSlots][4096];
std::atomic<int> gExtraState[kExtraSlots];

void OnSignal(int Sig) {
  if (gArmed) {
    unlink(gPath);
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
    for (size_t i = 0; i < 3; ++i) {
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
    for (size_t i = 0; i < 3; ++i) sigaction(kSignals[i], &gOld[i], nullptr);
    gInstalled = false;
  }
}

void AddSignalCleanup(const std::string& Path) {
  if (Path.size() >= sizeof(gExtra[0])) return;
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
