// ZoLib child-process runner and millisecond clock.
#include "tool/zolib.h"

#include "platform/signal_cleanup.h"
#include "platform/win_process.h"

#include <ctime>

bool ExecuteAndWait(const std::string& Exe, const std::string& Params, const std::string& Dir, int /*ShowCmd*/,
                    uint32_t& ExitCode) {
  const std::string commandLine = "\"" + Exe + "\" " + Params;
  int pid = 0;
  {
    // A signal that ends the program ends the child too, also one that comes
    // while the child starts.
    TSignalCleanupStart starting;
    if (!starting.Allowed() || !CreateProcessW(Exe, commandLine, Dir, pid)) return false;
    AddSignalChild(pid);
  }
  uint32_t code = 0;
  const bool waited = WaitForProcessExit(pid, code);
  RemoveSignalChild(pid);
  if (!waited) return false;
  ExitCode = code;
  return true;
}

uint64_t PerformanceMilliseconds() {
  struct timespec ts{};
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
  const uint64_t frequency = 1000000000ULL;
  const uint64_t counter = static_cast<uint64_t>(ts.tv_sec) * frequency + static_cast<uint64_t>(ts.tv_nsec);
  if (counter < 18446744073709551ULL) return counter * 1000 / frequency;
  return counter / (frequency / 1000);
}
