// Icon handles to bitmaps: the handle's two bitmaps are written as a
// one-entry icon file in memory, which the icon reader then decodes.
#include "codecs/ico_handles.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/ico.h"
#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/params.h"
#include "winui/gdi.h"
#include "winui/win_icon.h"
#include "winui/win_shell.h"

namespace {

void Put16(std::vector<uint8_t>& d, uint32_t v) {
  d.push_back(uint8_t(v));
  d.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& d, uint32_t v) {
  Put16(d, v);
  Put16(d, v >> 16);
}

// The 40-byte header that describes Bitmap at Bits per pixel with Colors
// colours: a DIB section's own header when it has one, else one of the
// bitmap's size. The image size comes from the platform when it states one.
bool HeaderOf(HBITMAP Bitmap, int Bits, int Colors, BITMAPINFOHEADER& Out) {
  DIBSECTION ds;
  const int got = GetObjectW(Bitmap, sizeof ds, &ds);
  if (got < int(sizeof(BITMAP))) return false;
  Out = BITMAPINFOHEADER{};
  if (got >= int(sizeof(DIBSECTION)) && ds.dsBmih.biSize >= 40) {
    Out = ds.dsBmih;
  } else {
    Out.biWidth = ds.dsBm.bmWidth;
    Out.biHeight = ds.dsBm.bmHeight;
  }
  Out.biSize = 40;
  Out.biHeight = std::abs(Out.biHeight);  // rows are fetched bottom-up
  Out.biPlanes = 1;
  Out.biBitCount = WORD(Bits);
  Out.biCompression = BI_RGB;
  Out.biClrUsed = DWORD(Colors);
  const uint32_t stride = ((uint32_t(Out.biWidth) * uint32_t(Bits) + 31) / 32) * 4;
  Out.biSizeImage = stride * uint32_t(Out.biHeight);
  return Out.biWidth > 0 && Out.biHeight > 0;
}

// Bottom-up rows of Bitmap as Header describes them.
bool Rows(HDC Dc, HBITMAP Bitmap, const BITMAPINFOHEADER& Header, std::vector<uint8_t>& Out) {
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD c[256];
  } info{};
  info.h = Header;
  Out.assign(Header.biSizeImage, 0);
  return GetDIBits(Dc, Bitmap, 0, UINT(Header.biHeight), Out.data(), reinterpret_cast<BITMAPINFO*>(&info),
                   DIB_RGB_COLORS) == Header.biHeight;
}

void AppendHeader(std::vector<uint8_t>& d, const BITMAPINFOHEADER& h, int32_t Height) {
  Put32(d, 40);
  Put32(d, uint32_t(h.biWidth));
  Put32(d, uint32_t(Height));
  Put16(d, h.biPlanes);
  Put16(d, h.biBitCount);
  Put32(d, h.biCompression);
  Put32(d, h.biSizeImage);
  Put32(d, uint32_t(h.biXPelsPerMeter));
  Put32(d, uint32_t(h.biYPelsPerMeter));
  Put32(d, h.biClrUsed);
  Put32(d, h.biClrImportant);
}

// A one-entry icon file of the handle's bitmaps; empty on any failure.
std::vector<uint8_t> IconFile(HICON Icon) {
  std::vector<uint8_t> file;
  ICONINFO ii;
  if (!Icon || !GetIconInfo(Icon, &ii)) return file;
  BITMAPINFOHEADER colourHeader, maskHeader;
  std::vector<uint8_t> colour, mask;
  HDC dc = CreateCompatibleDC(nullptr);
  bool ok = dc && ii.hbmColor && ii.hbmMask && HeaderOf(ii.hbmColor, 32, 256, colourHeader) &&
            HeaderOf(ii.hbmMask, 1, 2, maskHeader) && maskHeader.biWidth == colourHeader.biWidth &&
            maskHeader.biHeight == colourHeader.biHeight;
  if (ok) {
    HPALETTE old = SelectPalette(dc, reinterpret_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), FALSE);
    RealizePalette(dc);
    ok = Rows(dc, ii.hbmColor, colourHeader, colour) && Rows(dc, ii.hbmMask, maskHeader, mask);
    if (old) SelectPalette(dc, old, FALSE);
  }
  if (dc) DeleteDC(dc);
  if (ii.hbmColor) DeleteObject(ii.hbmColor);
  if (ii.hbmMask) DeleteObject(ii.hbmMask);
  if (!ok) return file;
  Put16(file, 0);
  Put16(file, 1);
  Put16(file, 1);
  file.push_back(uint8_t(colourHeader.biWidth));
  file.push_back(uint8_t(colourHeader.biHeight));
  file.push_back(uint8_t(colourHeader.biPlanes * colourHeader.biBitCount));
  file.push_back(0);
  Put16(file, colourHeader.biPlanes);
  Put16(file, colourHeader.biBitCount);
  Put32(file, uint32_t(40 + colour.size() + mask.size()));
  Put32(file, 22);
  AppendHeader(file, colourHeader, colourHeader.biHeight * 2);
  file.insert(file.end(), colour.begin(), colour.end());
  file.insert(file.end(), mask.begin(), mask.end());
  return file;
}

}  // namespace

void VXIconToBitmap(HICON Icon, TVXBitmap* Bitmap, bool Check256) {
  if (!Bitmap) return;
  const std::vector<uint8_t> file = IconFile(Icon);
  Bitmap->RemoveAlphaChannel(false, 0);
  if (file.empty()) {
    Bitmap->FreeImage(true);
    return;
  }
  TVXMemStream stream(file.data(), int64_t(file.size()));
  TIOParamsVals params(nullptr);
  std::unique_ptr<TVXMask> mask;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadICOStream(&stream, Bitmap, params, false, progress, mask, false, Check256);
  if (aborting) {
    Bitmap->FreeImage(true);
    return;
  }
  if (mask) Bitmap->AlphaChannel()->CopyFromTVXMask(mask.get());
}

void VXShellIconToBitmap(const std::string& FileName, TVXBitmap* Bitmap) {
  SHFILEINFOW info;
  HICON icon = SHGetFileInfoW(FileName.c_str(), 0, &info, sizeof info, SHGFI_ICON) ? info.hIcon : nullptr;
  VXIconToBitmap(icon, Bitmap, false);
  if (icon) DestroyIcon(icon);
}
