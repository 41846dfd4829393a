// Bytes that the window system takes from outside: region data
// (ExtCreateRegion), device-independent bits (StretchDIBits), cursor
// resources (CreateIconFromResourceEx) and packed DIBs of pattern brushes
// (CreateBrushIndirect). The first byte chooses the reader: 'P' the
// pattern brushes, else its value modulo 4 one of the others.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "winui/gdi.h"
#include "winui/win_input.h"

namespace {

void Region(const uint8_t* data, size_t size) {
  // Its own aligned block: a read past it is a finding.
  std::vector<uint32_t> block((size + 3) / 4);
  if (size) std::memcpy(block.data(), data, size);
  HRGN r = ExtCreateRegion(nullptr, DWORD(size), reinterpret_cast<const RGNDATA*>(block.data()));
  if (!r) return;
  RECT box;
  GetRgnBox(r, &box);
  DWORD n = GetRegionData(r, 0, nullptr);
  if (n < (1u << 20)) {
    std::vector<uint32_t> out((n + 3) / 4);
    GetRegionData(r, n, reinterpret_cast<RGNDATA*>(out.data()));
  }
  DeleteObject(r);
}

void Bits(const uint8_t* data, size_t size) {
  if (size < sizeof(BITMAPINFOHEADER)) return;
  uint32_t hsize = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
  if (hsize < sizeof(BITMAPINFOHEADER) || hsize > 1024 || hsize > size) return;
  // The header with room for the largest colour table; the bits after it in
  // a block of their own whose size the header is made to state.
  std::vector<uint32_t> info((hsize + 256 * 4 + 16) / 4, 0);
  auto rd32 = [&](size_t o) {
    return uint32_t(data[o]) | uint32_t(data[o + 1]) << 8 | uint32_t(data[o + 2]) << 16 | uint32_t(data[o + 3]) << 24;
  };
  unsigned bpp = unsigned(data[14]) | unsigned(data[15]) << 8;
  uint32_t used = rd32(32), compression = rd32(16);
  size_t entries = bpp <= 8 ? (used && used < 256 ? used : (size_t(1) << std::min(bpp, 8u))) : compression == 3 ? 3 : 0;
  size_t table = std::min<size_t>(size - hsize, entries * 4);
  std::memcpy(info.data(), data, hsize + table);
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  size_t rest = size - hsize - table;
  if (rest == 0) return;
  std::vector<uint8_t> bits(data + hsize + table, data + size);
  bi->bmiHeader.biSizeImage = DWORD(rest);
  if (bi->bmiHeader.biSizeImage != rest) return;

  BITMAPINFO target{};
  target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  target.bmiHeader.biWidth = 16;
  target.bmiHeader.biHeight = -16;
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 32;
  void* p = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &p, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  int64_t w64 = bi->bmiHeader.biWidth, h64 = bi->bmiHeader.biHeight;
  if (h64 < 0) h64 = -h64;
  int w = int(std::clamp<int64_t>(w64, -(int64_t(1) << 30), int64_t(1) << 30));
  int h = int(std::clamp<int64_t>(h64, 0, int64_t(1) << 30));
  StretchDIBits(dc, 0, 0, 16, 16, 0, 0, w, h, bits.data(), bi, DIB_RGB_COLORS, SRCCOPY);
  StretchDIBits(dc, 15, 0, -7, 9, 1, 1, w - 1, h - 1, bits.data(), bi, DIB_RGB_COLORS, SRCINVERT);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
}

void Cursor(const uint8_t* data, size_t size, bool icon) {
  std::vector<uint8_t> block(data, data + size);
  HICON c = CreateIconFromResourceEx(block.data(), DWORD(size), icon, 0x00030000, 0, 0, 0);
  if (c) DestroyIcon(c);
}

// A packed DIB in a global block of its own size, made a pattern brush of
// either colour use and filled with.
void Pattern(const uint8_t* data, size_t size) {
  HGLOBAL g = GlobalAlloc(GHND, size);
  if (!g) return;
  if (size) std::memcpy(GlobalLock(g), data, size);
  GlobalUnlock(g);
  BITMAPINFO target{};
  target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  target.bmiHeader.biWidth = 16;
  target.bmiHeader.biHeight = 16;
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 24;
  void* p = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &p, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  for (UINT usage : {DIB_RGB_COLORS, DIB_PAL_COLORS}) {
    LOGBRUSH lb{BS_DIBPATTERN, usage, reinterpret_cast<ULONG_PTR>(g)};
    HBRUSH b = CreateBrushIndirect(&lb);
    if (!b) continue;
    RECT r{-3, 1, 15, 19};
    FillRect(dc, &r, b);
    HGDIOBJ ob = SelectObject(dc, b);
    SetBrushOrgEx(dc, -5, 7, nullptr);
    PatBlt(dc, 2, 2, 12, 11, PATINVERT);
    SelectObject(dc, ob);
    DeleteObject(b);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  GlobalFree(g);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (size_t(1) << 20)) return 0;
  VXSetGdiPixelLimit(int64_t(1) << 22);
  if (data[0] == 'P') {
    Pattern(data + 1, size - 1);
    return 0;
  }
  switch (data[0] % 4) {
    case 0:
      Region(data + 1, size - 1);
      break;
    case 1:
      Bits(data + 1, size - 1);
      break;
    case 2:
      Cursor(data + 1, size - 1, false);
      break;
    case 3:
      Cursor(data + 1, size - 1, true);
      break;
  }
  return 0;
}
