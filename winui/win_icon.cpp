// Icon handles as bitmaps and back.
#include "winui/win_icon.h"

#include <cstring>

#include "winui/gdi.h"
#include "winui/win_input.h"

namespace {

int MonoStride(int Width) { return ((Width + 15) / 16) * 2; }  // rows of a 1-bit bitmap
int DibStride1(int Width) { return ((Width + 31) / 32) * 4; }

// Rows of Bitmap, top-down, at 1 or 32 bits; false when they cannot be had.
bool TopDownRows(HDC Dc, HBITMAP Bitmap, int Width, int Height, int Bits, std::vector<uint8_t>& Out) {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[2];
  } info{};
  info.h.biSize = sizeof(BITMAPINFOHEADER);
  info.h.biWidth = Width;
  info.h.biHeight = -Height;
  info.h.biPlanes = 1;
  info.h.biBitCount = WORD(Bits);
  info.h.biCompression = BI_RGB;
  const size_t stride = Bits == 1 ? size_t(DibStride1(Width)) : size_t(Width) * 4;
  Out.assign(stride * size_t(Height), 0);
  return GetDIBits(Dc, Bitmap, 0, UINT(Height), Out.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) ==
         Height;
}

bool Bit(const std::vector<uint8_t>& Rows, int Width, int x, int y) {
  return (Rows[size_t(y) * size_t(DibStride1(Width)) + size_t(x >> 3)] >> (7 - (x & 7))) & 1;
}

}  // namespace

BOOL GetIconInfo(HICON hIcon, ICONINFO* ii) {
  vxwin::IconImage img;
  if (!ii || !vxwin::IconImageOf(hIcon, img)) return FALSE;
  const int w = img.Width, h = img.Height;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = h;  // bottom-up
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP colour = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!colour) return FALSE;
  std::vector<uint8_t> mask(size_t(MonoStride(w)) * size_t(h), 0);
  const bool havePixels = img.Pixels.size() == size_t(w) * size_t(h) && img.AndMask.size() == img.Pixels.size();
  if (havePixels) {
    for (int y = 0; y < h; ++y) {
      uint8_t* row = static_cast<uint8_t*>(bits) + size_t(h - 1 - y) * size_t(w) * 4;
      for (int x = 0; x < w; ++x) {
        const uint32_t argb = img.Pixels[size_t(y) * size_t(w) + size_t(x)];
        row[4 * x] = uint8_t(argb);
        row[4 * x + 1] = uint8_t(argb >> 8);
        row[4 * x + 2] = uint8_t(argb >> 16);
        row[4 * x + 3] = img.OwnAlpha ? uint8_t(argb >> 24) : 0;
        if (img.AndMask[size_t(y) * size_t(w) + size_t(x)])
          mask[size_t(y) * size_t(MonoStride(w)) + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
      }
    }
  }
  HBITMAP monochrome = CreateBitmap(w, h, 1, 1, mask.data());
  if (!monochrome) {
    DeleteObject(colour);
    return FALSE;
  }
  *ii = ICONINFO{};
  ii->fIcon = img.Icon;
  ii->xHotspot = DWORD(img.HotX);
  ii->yHotspot = DWORD(img.HotY);
  ii->hbmColor = colour;
  ii->hbmMask = monochrome;
  return TRUE;
}

HICON CreateIconIndirect(ICONINFO* ii) {
  if (!ii || !ii->hbmMask) return nullptr;
  BITMAP maskInfo;
  if (GetObjectW(ii->hbmMask, sizeof maskInfo, &maskInfo) < int(sizeof maskInfo)) return nullptr;
  const int w = maskInfo.bmWidth;
  const int h = ii->hbmColor ? maskInfo.bmHeight : maskInfo.bmHeight / 2;
  if (w < 1 || h < 1) return nullptr;
  vxwin::IconImage img;
  img.Width = w;
  img.Height = h;
  img.Icon = ii->fIcon;
  img.HotX = int(ii->xHotspot);
  img.HotY = int(ii->yHotspot);
  img.Pixels.assign(size_t(w) * size_t(h), 0);
  img.AndMask.assign(img.Pixels.size(), 0);
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return nullptr;
  std::vector<uint8_t> mask, colour;
  bool ok = TopDownRows(dc, ii->hbmMask, w, maskInfo.bmHeight, 1, mask);
  if (ok && ii->hbmColor) {
    BITMAP colourInfo;
    ok = GetObjectW(ii->hbmColor, sizeof colourInfo, &colourInfo) >= int(sizeof colourInfo) &&
         colourInfo.bmWidth == w && colourInfo.bmHeight == h && TopDownRows(dc, ii->hbmColor, w, h, 32, colour);
  }
  DeleteDC(dc);
  if (!ok) return nullptr;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(y) * size_t(w) + size_t(x);
      img.AndMask[i] = Bit(mask, w, x, y) ? 1 : 0;
      if (!colour.empty()) {
        const uint8_t* p = &colour[i * 4];
        img.Pixels[i] = (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
        if (p[3]) img.OwnAlpha = true;
      } else {
        img.Pixels[i] = Bit(mask, w, x, y + h) ? 0xFFFFFF : 0;  // the XOR half: white or black
      }
    }
  // Without an alpha channel of its own the mask decides what is opaque.
  if (!img.OwnAlpha)
    for (size_t i = 0; i < img.Pixels.size(); ++i)
      img.Pixels[i] = (img.Pixels[i] & 0xFFFFFF) | (img.AndMask[i] ? 0 : 0xFF000000u);
  return vxwin::AddIconImage(std::move(img));
}

BOOL DestroyIcon(HICON hIcon) { return DestroyCursor(hIcon); }
