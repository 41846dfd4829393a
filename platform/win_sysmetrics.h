#pragma once
// System metrics and screen capabilities of the window system. There is no
// screen here: the answers are those of a plain 96-dpi, 32-bit display with
// the standard Windows metrics, outside any remote session.
#include <cstdint>

constexpr int32_t SM_CXVSCROLL = 2;
constexpr int32_t SM_CYHSCROLL = 3;
constexpr int32_t SM_CXBORDER = 5;
constexpr int32_t SM_CYBORDER = 6;
constexpr int32_t SM_CXEDGE = 45;
constexpr int32_t SM_CYEDGE = 46;
constexpr int32_t SM_SERVERR2 = 89;  // 0: not Windows Server 2003 R2
constexpr int32_t SM_REMOTESESSION = 0x1000;

// 0 for a metric it does not know.
int32_t GetSystemMetrics(int32_t nIndex);

constexpr int32_t BITSPIXEL = 12;
constexpr int32_t LOGPIXELSX = 88;
constexpr int32_t LOGPIXELSY = 90;

// Capabilities of the screen device context (DC nullptr = the screen).
int32_t GetDeviceCaps(void* DC, int32_t nIndex);
