// Basic types, handles and records of the window system, with the names,
// layouts and argument order of the platform's own headers, so that code
// written against the platform compiles here unchanged. Text arguments are
// UTF-8 (`const char*`) where the platform takes wide strings.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/win_resource.h"  // HMODULE

using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using INT = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using COLORREF = uint32_t;
using UINT_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using ULONG_PTR = uintptr_t;
using DWORD_PTR = uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using ATOM = WORD;
using HANDLE = void*;
using LPVOID = void*;
using HRESULT = int32_t;
using LPCWSTR = const char*;  // UTF-8 here
using LPWSTR = char*;
using FARPROC = void (*)();

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define VX_DECLARE_HANDLE(name) \
  struct name##__ {             \
    int unused;                 \
  };                            \
  typedef struct name##__* name

VX_DECLARE_HANDLE(HWND);
VX_DECLARE_HANDLE(HDC);
VX_DECLARE_HANDLE(HBITMAP);
VX_DECLARE_HANDLE(HBRUSH);
VX_DECLARE_HANDLE(HPEN);
VX_DECLARE_HANDLE(HRGN);
VX_DECLARE_HANDLE(HFONT);
VX_DECLARE_HANDLE(HICON);
VX_DECLARE_HANDLE(HMENU);
VX_DECLARE_HANDLE(HMONITOR);
VX_DECLARE_HANDLE(HPALETTE);
VX_DECLARE_HANDLE(HGESTUREINFO);
VX_DECLARE_HANDLE(HDRAWDIB);
using HCURSOR = HICON;
using HGDIOBJ = void*;
using HINSTANCE = HMODULE;

struct POINT {
  LONG x = 0;
  LONG y = 0;
};
struct POINTS {
  SHORT x = 0;
  SHORT y = 0;
};
struct SIZE {
  LONG cx = 0;
  LONG cy = 0;
};
struct RECT {
  LONG left = 0;
  LONG top = 0;
  LONG right = 0;
  LONG bottom = 0;
};
using LPRECT = RECT*;
using LPPOINT = POINT*;

constexpr WORD LOWORD(uintptr_t v) { return WORD(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return WORD((v >> 16) & 0xFFFF); }
constexpr BYTE LOBYTE(uintptr_t v) { return BYTE(v & 0xFF); }
constexpr LONG MAKELONG(WORD lo, WORD hi) { return LONG(uint32_t(lo) | (uint32_t(hi) << 16)); }
constexpr LPARAM MAKELPARAM(int lo, int hi) { return LPARAM(uint32_t(WORD(lo)) | (uint32_t(WORD(hi)) << 16)); }
constexpr WPARAM MAKEWPARAM(int lo, int hi) { return WPARAM(uint32_t(WORD(lo)) | (uint32_t(WORD(hi)) << 16)); }
constexpr int GET_X_LPARAM(LPARAM lp) { return int(SHORT(LOWORD(uintptr_t(lp)))); }
constexpr int GET_Y_LPARAM(LPARAM lp) { return int(SHORT(HIWORD(uintptr_t(lp)))); }
constexpr SHORT GET_WHEEL_DELTA_WPARAM(WPARAM wp) { return SHORT(HIWORD(wp)); }
constexpr WORD GET_KEYSTATE_WPARAM(WPARAM wp) { return LOWORD(wp); }

constexpr COLORREF RGB(int r, int g, int b) {
  return COLORREF(BYTE(r)) | (COLORREF(BYTE(g)) << 8) | (COLORREF(BYTE(b)) << 16);
}
constexpr BYTE GetRValue(COLORREF c) { return BYTE(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return BYTE((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return BYTE((c >> 16) & 0xFF); }

// Integer resource identifiers in place of a name.
inline LPCWSTR MAKEINTRESOURCEW(uintptr_t id) { return reinterpret_cast<LPCWSTR>(id & 0xFFFF); }
inline bool IS_INTRESOURCE(LPCWSTR p) { return (reinterpret_cast<uintptr_t>(p) >> 16) == 0; }

#define WINAPI
#define CALLBACK
#define APIENTRY

// nNumber * nNumerator / nDenominator with a 64-bit product, rounded half
// away from zero; -1 for a zero divisor or a result beyond 32 bits.
int MulDiv(int nNumber, int nNumerator, int nDenominator);
