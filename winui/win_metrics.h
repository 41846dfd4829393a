// System metrics, device capabilities of the screen, monitors and the remote
// session test. There is no physical screen: the answers are those of a
// 96-dpi display with the standard metrics; the test driver (headless.h) may
// change them.
#pragma once
#include "winui/win_types.h"

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
constexpr int SM_CYHSCROLL = 3;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CYVTHUMB = 9;
constexpr int SM_CXHTHUMB = 10;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CXCURSOR = 13;
constexpr int SM_CYCURSOR = 14;
constexpr int SM_CYVSCROLL = 20;
constexpr int SM_CXHSCROLL = 21;
constexpr int SM_SWAPBUTTON = 23;
constexpr int SM_CXDOUBLECLK = 36;
constexpr int SM_CYDOUBLECLK = 37;
constexpr int SM_CXFRAME = 32;  // the sizing frame, less the padding below
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXSIZEFRAME = SM_CXFRAME;
constexpr int SM_CYSIZEFRAME = SM_CYFRAME;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_XVIRTUALSCREEN = 76;  // left and top of the virtual screen
constexpr int SM_YVIRTUALSCREEN = 77;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;
constexpr int SM_SERVERR2 = 89;  // 0: not Windows Server 2003 R2
constexpr int SM_CXPADDEDBORDER = 92;
constexpr int SM_DIGITIZER = 94;
constexpr int SM_MAXIMUMTOUCHES = 95;
constexpr int SM_REMOTESESSION = 0x1000;

// The metric's value; 0 for a metric it does not know.
int GetSystemMetrics(int nIndex);

constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int NUMCOLORS = 24;
constexpr int RASTERCAPS = 38;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int SIZEPALETTE = 104;
constexpr int COLORRES = 108;
constexpr int RC_PALETTE = 0x0100;

// Capabilities of a device context; a null DC is the screen.
int GetDeviceCaps(HDC hdc, int nIndex);

// Monitors. The screen is one primary monitor at (0, 0).
constexpr DWORD MONITOR_DEFAULTTONULL = 0;
constexpr DWORD MONITOR_DEFAULTTOPRIMARY = 1;
constexpr DWORD MONITOR_DEFAULTTONEAREST = 2;
constexpr DWORD MONITORINFOF_PRIMARY = 1;
struct MONITORINFO {
  DWORD cbSize = sizeof(MONITORINFO);
  RECT rcMonitor;
  RECT rcWork;
  DWORD dwFlags = 0;
};
HMONITOR MonitorFromWindow(HWND hwnd, DWORD dwFlags);
HMONITOR MonitorFromPoint(POINT pt, DWORD dwFlags);
BOOL GetMonitorInfoW(HMONITOR hMonitor, MONITORINFO* lpmi);

// Settings of the simulated screen (used by the test driver).
namespace VXScreen {
// Changes a system metric (SM_...), e.g. the border, edge or bar sizes.
void SetMetric(int nIndex, int Value);
// Screen size in pixels and colour depth in bits per pixel.
void SetSize(int Width, int Height);
void SetDepth(int BitsPerPixel);
// The screen's pixels per inch (LOGPIXELSX, LOGPIXELSY); 0 or less: 96.
void SetPixelsPerInch(int PixelsPerInch);
void SetRemoteSession(bool On);
// Puts every metric and screen setting back to its start value.
void Reset();
}  // namespace VXScreen
