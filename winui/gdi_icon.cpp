// Drawing icons and cursors on a device context: the AND mask and the XOR
// image of the platform's icons, or the colour image blended by its alpha.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "winui/gdi_internal.h"
#include "winui/win_icon.h"
#include "winui/win_metrics.h"

namespace {

COLORREF ColorOf(uint32_t argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

// Source over destination by the source's alpha, each channel rounded.
COLORREF Blend(uint32_t argb, COLORREF dst) {
  const uint32_t a = argb >> 24;
  auto mix = [a](uint32_t s, uint32_t d) { return (s * a + d * (255 - a) + 127) / 255; };
  return RGB(mix((argb >> 16) & 0xFF, GetRValue(dst)), mix((argb >> 8) & 0xFF, GetGValue(dst)),
             mix(argb & 0xFF, GetBValue(dst)));
}

}  // namespace

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
  (void)istepIfAniCur;
  if (!(diFlags & DI_NORMAL)) return FALSE;
  vxwin::IconImage img;
  if (!vxwin::IconImageOf(hIcon, img)) return FALSE;
  if (cxWidth == 0) cxWidth = (diFlags & DI_DEFAULTSIZE) ? GetSystemMetrics(img.Icon ? SM_CXICON : SM_CXCURSOR) : img.Width;
  if (cyWidth == 0)
    cyWidth = (diFlags & DI_DEFAULTSIZE) ? GetSystemMetrics(img.Icon ? SM_CYICON : SM_CYCURSOR) : img.Height;
  {
    std::lock_guard<std::recursive_mutex> lock(vxgdi::Lock());
    if (!vxgdi::FindDC(hdc)) return FALSE;
  }
  if (cxWidth <= 0 || cyWidth <= 0 || img.Width <= 0 || img.Height <= 0) return TRUE;
  if (hbrFlickerFreeDraw) {
    RECT r{xLeft, yTop, xLeft + cxWidth, yTop + cyWidth};
    FillRect(hdc, &r, hbrFlickerFreeDraw);
  }
  const size_t count = size_t(img.Width) * size_t(img.Height);
  const bool havePixels = img.Pixels.size() == count;
  const bool haveMask = img.AndMask.size() == count;
  std::lock_guard<std::recursive_mutex> lock(vxgdi::Lock());
  vxgdi::DC* dc = vxgdi::FindDC(hdc);
  if (!dc) return FALSE;
  vxgdi::Region visible;
  if (!vxgdi::VisibleRegion(*dc, visible)) return TRUE;
  const RECT box = visible.Box();
  const int dx = vxgdi::DevX(*dc, xLeft), dy = vxgdi::DevY(*dc, yTop);
  const bool mask = diFlags & DI_MASK, image = diFlags & DI_IMAGE;
  const int64_t x0 = std::max<int64_t>(dx, box.left), x1 = std::min<int64_t>(int64_t(dx) + cxWidth, box.right);
  const int64_t y0 = std::max<int64_t>(dy, box.top), y1 = std::min<int64_t>(int64_t(dy) + cyWidth, box.bottom);
  vxgdi::Bitmap& s = *dc->Surface;
  for (int64_t y = y0; y < y1; ++y) {
    const size_t sy = size_t((y - dy) * img.Height / cyWidth);
    for (int64_t x = x0; x < x1; ++x) {
      if (!pixman_region32_contains_point(&visible.R, int(x), int(y), nullptr)) continue;
      const size_t i = sy * size_t(img.Width) + size_t((x - dx) * img.Width / cxWidth);
      const uint32_t argb = havePixels ? img.Pixels[i] : 0;
      const bool through = haveMask && img.AndMask[i];
      COLORREF d = s.Get(int(x), int(y));
      if (img.OwnAlpha && mask && image) {
        d = Blend(argb, d);
      } else if (mask && image) {
        if (!through) d = 0;
        d ^= ColorOf(argb);
      } else if (mask) {
        if (!through) d = 0;
      } else {
        d = ColorOf(argb);
      }
      s.Set(int(x), int(y), d);
    }
  }
  return TRUE;
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
  return DrawIconEx(hDC, X, Y, hIcon, 0, 0, 0, nullptr, DI_NORMAL | DI_COMPAT | DI_DEFAULTSIZE);
}
