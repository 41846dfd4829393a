#include "platform/win_clock.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

std::mutex gClockLock;
bool gVirtual = false;
uint64_t gVirtualNow = 0;
uint32_t gStep = 0;

uint64_t SystemMilliseconds() {
  using namespace std::chrono;
  static const steady_clock::time_point start = steady_clock::now();
  // A fixed, non-zero offset at start-up, as a system that has been running
  // a while would show.
  return uint64_t(duration_cast<milliseconds>(steady_clock::now() - start).count()) + 1000;
}

}  // namespace

uint64_t GetTickCount64() {
  std::lock_guard<std::mutex> lock(gClockLock);
  if (!gVirtual) return SystemMilliseconds();
  uint64_t now = gVirtualNow;
  gVirtualNow += gStep;
  return now;
}

uint32_t GetTickCount() { return uint32_t(GetTickCount64() & 0xFFFFFFFFu); }

void Sleep(uint32_t Milliseconds) {
  {
    std::lock_guard<std::mutex> lock(gClockLock);
    if (gVirtual) {
      gVirtualNow += Milliseconds;
      return;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}

void VXClockSetVirtual(bool On) {
  std::lock_guard<std::mutex> lock(gClockLock);
  if (On && !gVirtual) gVirtualNow = SystemMilliseconds();
  gVirtual = On;
  if (!On) gStep = 0;
}

bool VXClockIsVirtual() {
  std::lock_guard<std::mutex> lock(gClockLock);
  return gVirtual;
}

void VXClockSet(uint64_t Milliseconds) {
  std::lock_guard<std::mutex> lock(gClockLock);
  gVirtual = true;
  gVirtualNow = Milliseconds;
}

void VXClockAdvance(uint64_t Milliseconds) {
  std::lock_guard<std::mutex> lock(gClockLock);
  if (gVirtual) gVirtualNow += Milliseconds;
}

void VXClockSetStep(uint32_t Step) {
  std::lock_guard<std::mutex> lock(gClockLock);
  gStep = Step;
}
