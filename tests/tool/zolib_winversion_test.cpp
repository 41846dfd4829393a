#include <gtest/gtest.h>

#include "platform/win_osversion.h"
#include "tool/zolib.h"

namespace {

OSVERSIONINFOEXW Record(uint32_t platform, uint32_t major, uint32_t minor, uint8_t product = VER_NT_WORKSTATION,
                        uint16_t suite = 0, const char* service = "") {
  OSVERSIONINFOEXW r;
  r.dwOSVersionInfoSize = OSVERSIONINFOEXW_SIZE;
  r.dwPlatformId = platform;
  r.dwMajorVersion = major;
  r.dwMinorVersion = minor;
  r.wProductType = product;
  r.wSuiteMask = suite;
  r.szCSDVersion = service;
  return r;
}

}  // namespace

TEST(ZoLibWindowsVersion, CodeTable) {
  constexpr uint32_t s = VER_PLATFORM_WIN32s, w = VER_PLATFORM_WIN32_WINDOWS, nt = VER_PLATFORM_WIN32_NT;
  constexpr uint8_t ws = VER_NT_WORKSTATION, srv = VER_NT_SERVER;
  struct Case {
    OSVERSIONINFOEXW info;
    bool r2;
    int32_t code;
  } cases[] = {
      {Record(s, 3, 1), false, 1},
      {Record(w, 4, 0), false, 2},
      {Record(w, 4, 0, ws, 0, " C"), false, 3},
      {Record(w, 4, 10), false, 4},
      {Record(w, 4, 10, ws, 0, " A"), false, 5},
      {Record(w, 4, 90), false, 6},
      {Record(w, 5, 0), false, 0},
      {Record(nt, 3, 51), false, 7},
      {Record(nt, 4, 0), false, 8},
      {Record(nt, 5, 0), false, 9},
      {Record(nt, 5, 1), false, 10},
      {Record(nt, 5, 2, ws), true, 18},  // R2 is tested before the product type
      {Record(nt, 5, 2, ws), false, 11},
      {Record(nt, 5, 2, srv, 0x8000), false, 16},
      {Record(nt, 5, 2, srv), false, 17},
      {Record(nt, 6, 0, ws), false, 12},
      {Record(nt, 6, 0, srv), false, 19},
      {Record(nt, 6, 1, ws, 0x8000), false, 13},
      {Record(nt, 6, 1, srv, 0x8000), false, 20},
      {Record(nt, 6, 1, srv), false, 21},
      {Record(nt, 6, 2, ws), false, 14},
      {Record(nt, 6, 2, srv), false, 22},
      {Record(nt, 6, 3, ws), false, 15},
      {Record(nt, 6, 3, srv), false, 23},
      {Record(nt, 10, 0, ws), false, 0},
      {Record(7, 6, 3), false, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowsVersionCodeOf(c.info, c.r2), c.code)
        << c.info.dwPlatformId << " " << c.info.dwMajorVersion << "." << c.info.dwMinorVersion;
}

TEST(ZoLibWindowsVersion, StableAnswerOfThePlatformLayer) {
  EXPECT_EQ(GetWindowsVersionCode(), 15);  // Windows 8.1 workstation
  OSVERSIONINFOEXW basic;
  basic.dwOSVersionInfoSize = OSVERSIONINFOW_SIZE;
  ASSERT_TRUE(GetVersionExW(basic));
  EXPECT_EQ(basic.wProductType, 0);  // the basic record has no extended part
  OSVERSIONINFOEXW wrong;
  wrong.dwOSVersionInfoSize = 100;
  EXPECT_FALSE(GetVersionExW(wrong));
}
