// The x87 floating-point control word (precision, rounding, exception
// masks), as Get8087CW and Set8087CW handle it on the platform. On x86 the
// word is the processor's own (it governs long double arithmetic); elsewhere
// it is a per-thread value that only these two calls see.
#pragma once
#include <cstdint>

uint16_t VXGet8087CW();
void VXSet8087CW(uint16_t Value);
