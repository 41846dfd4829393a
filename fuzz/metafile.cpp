// Metafile loading (enhanced, placeable and plain Windows metafiles) and
// playing onto a 64 x 64 device-independent bitmap.
#include <cstddef>
#include <cstdint>

#include "gui/metafile.h"
#include "winui/gdi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMetafile meta;
  try {
    meta.LoadFromBuffer(data, size);
  } catch (const EInvalidGraphicOperation&) {
    return 0;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 64;
  bi.bmiHeader.biHeight = 64;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bm);
  RECT r{0, 0, 64, 64};
  PlayEnhMetaFile(dc, meta.Handle(), &r);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bm);
  return 0;
}
