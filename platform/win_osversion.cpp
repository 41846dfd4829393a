#include "platform/win_osversion.h"

namespace {

constexpr uint32_t kMajor = 6, kMinor = 3, kBuild = 9600;
constexpr uint16_t kSuiteMask = VER_SUITE_SINGLEUSERTS;
constexpr uint8_t kProductType = VER_NT_WORKSTATION;

}  // namespace

bool GetVersionExW(OSVERSIONINFOEXW& Info) {
  const bool extended = Info.dwOSVersionInfoSize == OSVERSIONINFOEXW_SIZE;
  if (!extended && Info.dwOSVersionInfoSize != OSVERSIONINFOW_SIZE) return false;
  Info.dwMajorVersion = kMajor;
  Info.dwMinorVersion = kMinor;
  Info.dwBuildNumber = kBuild;
  Info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  Info.szCSDVersion.clear();
  if (extended) {
    Info.wServicePackMajor = 0;
    Info.wServicePackMinor = 0;
    Info.wSuiteMask = kSuiteMask;
    Info.wProductType = kProductType;
  }
  return true;
}
