#include "platform/win_fpu.h"

#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>

uint16_t VXGet8087CW() {
  fpu_control_t cw = 0;
  _FPU_GETCW(cw);
  return uint16_t(cw);
}

void VXSet8087CW(uint16_t Value) {
  fpu_control_t cw = Value;
  _FPU_SETCW(cw);
}
#else
namespace {
thread_local uint16_t tControlWord = 0x037F;
}

uint16_t VXGet8087CW() { return tControlWord; }
void VXSet8087CW(uint16_t Value) { tControlWord = Value; }
#endif
