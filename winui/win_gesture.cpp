#include "winui/win_gesture.h"

#include <map>
#include <mutex>
#include <vector>

#include "winui/win_state.h"

using namespace vxwin;

namespace {

std::mutex gGestLock;
std::map<uintptr_t, GESTUREINFO> gRecords;
uintptr_t gNextRecord = 0x50000;
DWORD gSequence = 0;
std::map<HWND, std::vector<GESTURECONFIG>> gConfigs;
std::map<HWND, bool> gUnregistered;

}  // namespace

BOOL GetGestureInfo(HGESTUREINFO h, GESTUREINFO* gi) {
  if (!gi || gi->cbSize < sizeof(GESTUREINFO)) return FALSE;
  std::lock_guard<std::mutex> l(gGestLock);
  auto it = gRecords.find(reinterpret_cast<uintptr_t>(h));
  if (it == gRecords.end()) return FALSE;
  *gi = it->second;
  return TRUE;
}

BOOL CloseGestureInfoHandle(HGESTUREINFO h) {
  std::lock_guard<std::mutex> l(gGestLock);
  return gRecords.erase(reinterpret_cast<uintptr_t>(h)) ? TRUE : FALSE;
}

BOOL SetGestureConfig(HWND hwnd, DWORD dwReserved, UINT cIDs, GESTURECONFIG* p, UINT cbSize) {
  if (dwReserved != 0 || cbSize != sizeof(GESTURECONFIG) || (cIDs && !p) || !IsWindow(hwnd)) return FALSE;
  std::lock_guard<std::mutex> l(gGestLock);
  gConfigs[hwnd].assign(p, p + cIDs);
  return TRUE;
}

BOOL UnregisterTouchWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) return FALSE;
  std::lock_guard<std::mutex> l(gGestLock);
  gUnregistered[hwnd] = true;
  return TRUE;
}

void VXPostGesture(HWND Wnd, DWORD ID, DWORD Flags, int X, int Y, uint64_t Arguments) {
  POINT p{X, Y};
  if (!ClientToScreen(Wnd, &p)) return;
  if ((Flags & GF_BEGIN) && ID != GID_BEGIN) {
    GESTURENOTIFYSTRUCT n;
    n.hwndTarget = Wnd;
    n.ptsLocation = POINTS{SHORT(p.x), SHORT(p.y)};
    SendMessageW(Wnd, WM_GESTURENOTIFY, 0, reinterpret_cast<LPARAM>(&n));
  }
  GESTUREINFO g;
  g.dwFlags = Flags;
  g.dwID = ID;
  g.hwndTarget = Wnd;
  g.ptsLocation = POINTS{SHORT(p.x), SHORT(p.y)};
  g.ullArguments = Arguments;
  uintptr_t h;
  {
    std::lock_guard<std::mutex> l(gGestLock);
    g.dwSequenceID = ++gSequence;
    gNextRecord += 4;
    h = gNextRecord;
    gRecords[h] = g;
  }
  PostMessageW(Wnd, WM_GESTURE, WPARAM(ID), LPARAM(h));
}

int VXGestureConfig(HWND Wnd, GESTURECONFIG* Out, int Max) {
  std::lock_guard<std::mutex> l(gGestLock);
  auto it = gConfigs.find(Wnd);
  if (it == gConfigs.end()) return 0;
  int n = 0;
  for (const GESTURECONFIG& c : it->second) {
    if (n >= Max) break;
    Out[n++] = c;
  }
  return int(it->second.size());
}

bool VXTouchUnregistered(HWND Wnd) {
  std::lock_guard<std::mutex> l(gGestLock);
  auto it = gUnregistered.find(Wnd);
  return it != gUnregistered.end() && it->second;
}

int VXOpenGestureHandles() {
  std::lock_guard<std::mutex> l(gGestLock);
  return int(gRecords.size());
}
