// The recorded warning sounds.

#include "platform/win_sound.h"

#include <mutex>

namespace {
std::mutex gBeepLock;
std::vector<uint32_t> gBeeps;
}  // namespace

bool MessageBeep(uint32_t uType) {
  std::lock_guard<std::mutex> lock(gBeepLock);
  gBeeps.push_back(uType);
  return true;
}

std::vector<uint32_t> VXMessageBeepLog() {
  std::lock_guard<std::mutex> lock(gBeepLock);
  return gBeeps;
}

int32_t VXMessageBeepCount() {
  std::lock_guard<std::mutex> lock(gBeepLock);
  return int32_t(gBeeps.size());
}

void VXClearMessageBeepLog() {
  std::lock_guard<std::mutex> lock(gBeepLock);
  gBeeps.clear();
}
