#include "platform/win_sysmetrics.h"

int32_t GetSystemMetrics(int32_t nIndex) {
  switch (nIndex) {
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 17;
    case SM_CXBORDER:
    case SM_CYBORDER:
      return 1;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return 2;
    case SM_REMOTESESSION:
      return 0;
    default:
      return 0;
  }
}

int32_t GetDeviceCaps(void* /*DC*/, int32_t nIndex) {
  switch (nIndex) {
    case BITSPIXEL:
      return 32;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    default:
      return 0;
  }
}
