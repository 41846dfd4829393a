#include "winui/win_metrics.h"
#include "winui/gdi_print.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace {

std::mutex gMetricsLock;
std::map<int, int> gMetrics;
int gDepth = 32;
int gPixelsPerInch = 96;

const std::map<int, int>& StartMetrics() {
  static const std::map<int, int> start = {
      {SM_CXSCREEN, 1920},     {SM_CYSCREEN, 1080},      {SM_CXVSCROLL, 17},  {SM_CYHSCROLL, 17},
      {SM_CYCAPTION, 23},      {SM_CXBORDER, 1},         {SM_CYBORDER, 1},    {SM_CYVTHUMB, 17},
      {SM_CXHTHUMB, 17},       {SM_CXICON, 32},          {SM_CYICON, 32},     {SM_CXCURSOR, 32},
      {SM_CYCURSOR, 32},       {SM_CYVSCROLL, 17},       {SM_CXHSCROLL, 17},  {SM_SWAPBUTTON, 0},
      {SM_CXDOUBLECLK, 4},     {SM_CYDOUBLECLK, 4},      {SM_CXEDGE, 2},      {SM_CYEDGE, 2},
      {SM_XVIRTUALSCREEN, 0},  {SM_YVIRTUALSCREEN, 0},   {SM_CXFRAME, 4},     {SM_CYFRAME, 4},
      {SM_CXPADDEDBORDER, 4},
      {SM_CXVIRTUALSCREEN, 1920}, {SM_CYVIRTUALSCREEN, 1080}, {SM_CMONITORS, 1}, {SM_SERVERR2, 0},
      {SM_DIGITIZER, 0},       {SM_MAXIMUMTOUCHES, 0},   {SM_REMOTESESSION, 0},
  };
  return start;
}

void EnsureInit() {
  if (gMetrics.empty()) gMetrics = StartMetrics();
}

struct HMONITOR__* const kPrimaryMonitor = reinterpret_cast<HMONITOR>(uintptr_t(0x10001));

}  // namespace

int GetSystemMetrics(int nIndex) {
  std::lock_guard<std::mutex> lock(gMetricsLock);
  EnsureInit();
  auto it = gMetrics.find(nIndex);
  return it == gMetrics.end() ? 0 : it->second;
}

int GetDeviceCaps(HDC hdc, int nIndex) {
  if (int v = 0; vxgdi::PrinterDeviceCaps(hdc, nIndex, v)) return v;
  // Every other device context of this system stands for the screen's capabilities.
  std::lock_guard<std::mutex> lock(gMetricsLock);
  EnsureInit();
  switch (nIndex) {
    case HORZRES:
      return gMetrics[SM_CXSCREEN];
    case VERTRES:
      return gMetrics[SM_CYSCREEN];
    case BITSPIXEL:
      return gDepth;
    case PLANES:
      return 1;
    case NUMCOLORS:
      return gDepth <= 8 ? (1 << gDepth) : -1;
    case RASTERCAPS:
      return gDepth <= 8 ? RC_PALETTE : 0;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return gPixelsPerInch;
    case SIZEPALETTE:
      return gDepth <= 8 ? (1 << gDepth) : 0;
    case COLORRES:
      return gDepth <= 8 ? 18 : 24;
    default:
      return 0;
  }
}

HMONITOR MonitorFromWindow(HWND, DWORD) { return kPrimaryMonitor; }

HMONITOR MonitorFromPoint(POINT pt, DWORD dwFlags) {
  int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  bool inside = pt.x >= 0 && pt.y >= 0 && pt.x < w && pt.y < h;
  if (!inside && dwFlags == MONITOR_DEFAULTTONULL) return nullptr;
  return kPrimaryMonitor;
}

BOOL GetMonitorInfoW(HMONITOR hMonitor, MONITORINFO* lpmi) {
  if (hMonitor != kPrimaryMonitor || !lpmi || lpmi->cbSize < sizeof(MONITORINFO)) return FALSE;
  lpmi->rcMonitor = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  lpmi->rcWork = lpmi->rcMonitor;
  lpmi->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}

int MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  int64_t p = int64_t(nNumber) * nNumerator;
  int64_t d = nDenominator;
  if (d < 0) {
    p = -p;
    d = -d;
  }
  int64_t q = (p >= 0 ? p + d / 2 : p - d / 2) / d;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return int(q);
}

namespace VXScreen {

void SetMetric(int nIndex, int Value) {
  std::lock_guard<std::mutex> lock(gMetricsLock);
  EnsureInit();
  gMetrics[nIndex] = Value;
}

void SetSize(int Width, int Height) {
  std::lock_guard<std::mutex> lock(gMetricsLock);
  EnsureInit();
  gMetrics[SM_CXSCREEN] = gMetrics[SM_CXVIRTUALSCREEN] = Width;
  gMetrics[SM_CYSCREEN] = gMetrics[SM_CYVIRTUALSCREEN] = Height;
}

void SetDepth(int BitsPerPixel) {
  std::lock_guard<std::mutex> lock(gMetricsLock);
  gDepth = BitsPerPixel;
}

void SetPixelsPerInch(int PixelsPerInch) {
  std::lock_guard<std::mutex> lock(gMetricsLock);
  gPixelsPerInch = PixelsPerInch > 0 ? PixelsPerInch : 96;
}

void SetRemoteSession(bool On) { SetMetric(SM_REMOTESESSION, On ? 1 : 0); }

void Reset() {
  std::lock_guard<std::mutex> lock(gMetricsLock);
  gMetrics = StartMetrics();
  gDepth = 32;
  gPixelsPerInch = 96;
}

}  // namespace VXScreen
