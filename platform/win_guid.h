#pragma once
// The platform's 16-byte globally unique identifier.
#include <cstdint>

#ifndef VX_PLATFORM_GUID_DEFINED
#define VX_PLATFORM_GUID_DEFINED
struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};
#endif
