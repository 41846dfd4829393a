// VXGetExplorerThumbnail over the shell's thumbnail provider.
#include "core/explorer_thumbnail.h"

#include <cstring>
#include <vector>

#include "core/textutils.h"
#include "gui/graphics.h"
#include "platform/win_files.h"
#include "winui/gdi.h"
#include "winui/win_shell.h"

namespace {

// Deletes the provider's bitmap however the copy ends.
struct TOwnedBitmap {
  HBITMAP H;
  ~TOwnedBitmap() {
    if (H) DeleteObject(H);
  }
};

// Bitmap becomes a 24-bit copy of the handle's pixels; false when they
// cannot be read.
bool TakeBitmap(HBITMAP Handle, TBitmap* Bitmap) {
  BITMAP info{};
  if (GetObjectW(Handle, sizeof info, &info) < int(sizeof info) || info.bmWidth <= 0 || info.bmHeight <= 0)
    return false;
  const int w = info.bmWidth, h = info.bmHeight;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> rows(stride * size_t(h));
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return false;
  const int read = GetDIBits(dc, Handle, 0, UINT(h), rows.data(), &bi, DIB_RGB_COLORS);
  DeleteDC(dc);
  if (read != h) return false;
  TBitmap copy;
  copy.SetPixelFormat(pf24bit);
  copy.SetSize(w, h);
  for (int y = 0; y < h; ++y) std::memcpy(copy.ScanLine(y), rows.data() + size_t(y) * stride, size_t(w) * 3);
  Bitmap->Assign(&copy);
  Bitmap->SetPixelFormat(pf24bit);
  return true;
}

}  // namespace

bool VXGetExplorerThumbnail(const std::string& FileName, TBitmap* Bitmap, int32_t Width, int32_t Height) {
  try {
    if (!Bitmap || FileName.empty()) return false;
    // The shell binds the file's folder first: a folder that is not there
    // has no items and so no thumbnails.
    const std::string folder = VXExtractFilePathW(FileName);
    if (!DirectoryExists(folder.empty() ? std::string(".") : folder)) return false;
    TOwnedBitmap thumb{VXShellThumbnail(FileName, Width, Height)};
    if (!thumb.H) return false;
    return TakeBitmap(thumb.H, Bitmap);
  } catch (...) {
    return false;
  }
}
