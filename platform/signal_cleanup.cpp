#include "platform/signal_cleanup.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
char gPath[4096];
volatile sig_atomic_t gArmed = 0;
struct sigaction gOld[3];
bool gInstalled = false;

void OnSignal(int Sig) {
  if (gArmed) unlink(gPath);
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
