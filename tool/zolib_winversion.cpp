// The Windows version code of ZoLib, read from the platform layer's version
// record.
#include "platform/win_osversion.h"
#include "winui/win_metrics.h"
#include "tool/zolib.h"

int32_t WindowsVersionCodeOf(const OSVERSIONINFOEXW& Info, bool ServerR2) {
  const uint32_t major = Info.dwMajorVersion, minor = Info.dwMinorVersion;
  const bool workstation = Info.wProductType == VER_NT_WORKSTATION;
  const bool homeServer = (Info.wSuiteMask & VER_SUITE_WH_SERVER) != 0;
  switch (Info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return 1;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (major == 4 && minor == 0) return Info.szCSDVersion == " C" ? 3 : 2;
      if (major == 4 && minor == 10) return Info.szCSDVersion == " A" ? 5 : 4;
      if (major == 4 && minor == 90) return 6;
      return 0;
    case VER_PLATFORM_WIN32_NT:
      if (major == 3) return 7;
      if (major == 4) return 8;
      if (major == 5 && minor == 0) return 9;
      if (major == 5 && minor == 1) return 10;
      if (major == 5 && minor == 2) {
        if (ServerR2) return 18;
        if (workstation) return 11;
        return homeServer ? 16 : 17;
      }
      if (major == 6 && minor == 0) return workstation ? 12 : 19;
      if (major == 6 && minor == 1) return workstation ? 13 : (homeServer ? 20 : 21);
      if (major == 6 && minor == 2) return workstation ? 14 : 22;
      if (major == 6 && minor == 3) return workstation ? 15 : 23;
      return 0;
    default:
      return 0;
  }
}

int32_t GetWindowsVersionCode() {
  OSVERSIONINFOEXW info;
  info.dwOSVersionInfoSize = OSVERSIONINFOEXW_SIZE;
  if (!GetVersionExW(info)) {
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = OSVERSIONINFOW_SIZE;
    if (!GetVersionExW(info)) return 0;
  }
  return WindowsVersionCodeOf(info, GetSystemMetrics(SM_SERVERR2) != 0);
}
