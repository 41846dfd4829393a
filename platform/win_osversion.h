// The Windows version this platform layer stands in for, as GetVersionExW
// reports it: Windows 8.1 (NT 6.3), workstation. Callers that map the version
// to a code or flags get one stable answer on every machine.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t VER_PLATFORM_WIN32s = 0;
constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;
constexpr uint8_t VER_NT_WORKSTATION = 1;
constexpr uint8_t VER_NT_DOMAIN_CONTROLLER = 2;
constexpr uint8_t VER_NT_SERVER = 3;
constexpr uint16_t VER_SUITE_SINGLEUSERTS = 0x0100;
constexpr uint16_t VER_SUITE_WH_SERVER = 0x8000;

// Size of the basic record (OSVERSIONINFOW) and of the extended one
// (OSVERSIONINFOEXW); dwOSVersionInfoSize tells which one a caller passes.
constexpr uint32_t OSVERSIONINFOW_SIZE = 276;
constexpr uint32_t OSVERSIONINFOEXW_SIZE = 284;

struct OSVERSIONINFOEXW {
  uint32_t dwOSVersionInfoSize = 0;
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint32_t dwBuildNumber = 0;
  uint32_t dwPlatformId = 0;
  std::string szCSDVersion;  // service text
  // Extended part: filled only when dwOSVersionInfoSize is the extended size.
  uint16_t wServicePackMajor = 0;
  uint16_t wServicePackMinor = 0;
  uint16_t wSuiteMask = 0;
  uint8_t wProductType = 0;
};

// Fills Info for the stood-in version; false (Info unchanged) when
// dwOSVersionInfoSize is neither record size.
bool GetVersionExW(OSVERSIONINFOEXW& Info);
