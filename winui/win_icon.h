// Icon handles: an icon (or cursor) holds a 32-bit colour image and a 1-bit
// AND mask, as CreateIconFromResourceEx makes them from resource bytes.
// GetIconInfo hands out copies of both as bitmaps, CreateIconIndirect makes
// an icon from two bitmaps.
#pragma once
#include <cstdint>
#include <vector>

#include "winui/win_types.h"

struct ICONINFO {
  BOOL fIcon = FALSE;
  DWORD xHotspot = 0;
  DWORD yHotspot = 0;
  HBITMAP hbmMask = nullptr;
  HBITMAP hbmColor = nullptr;
};

// Hotspot of a cursor and copies of the icon's bitmaps, which the caller deletes: hbmColor a
// bottom-up 32-bit DIB section (its fourth bytes 0 unless the icon had an
// alpha channel of its own), hbmMask a 1-bit bitmap whose set bits mark where
// the screen shows through. FALSE for an unknown handle or when the bitmaps
// cannot be had.
BOOL GetIconInfo(HICON hIcon, ICONINFO* piconinfo);
// An icon or cursor from a mask bitmap and, unless it is null, a colour
// bitmap of the mask's size (any depth). Without a colour bitmap the mask is
// twice as high: the AND mask above, the XOR image below. A colour bitmap
// without alpha takes its transparency from the mask. The bitmaps stay the
// caller's. Null when a bitmap is missing, unknown or of another size.
HICON CreateIconIndirect(ICONINFO* piconinfo);
BOOL DestroyIcon(HICON hIcon);

// Drawing an icon or cursor (gdi_icon.cpp).
constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_COMPAT = 0x0004;
constexpr UINT DI_DEFAULTSIZE = 0x0008;
// Draws the icon at (xLeft, yTop) in cxWidth x cyWidth (0: the icon's own
// size, or with DI_DEFAULTSIZE the system's icon or cursor size), each
// destination pixel taking the nearest source pixel. DI_MASK alone ANDs the
// mask onto the destination; DI_IMAGE alone copies the colour image; both
// (DI_NORMAL) AND the mask and then XOR the colour image, or, for an icon
// with an alpha channel of its own, blend the colour image by its alpha.
// With a flicker-free brush the rectangle is filled with it first. The
// animation step is ignored (no animated cursors). FALSE for an unknown DC
// or icon, or no DI_MASK/DI_IMAGE flag.
BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                HBRUSH hbrFlickerFreeDraw, UINT diFlags);
// DrawIconEx with DI_NORMAL | DI_COMPAT | DI_DEFAULTSIZE.
BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon);

namespace vxwin {

// The window layer's record of an icon or cursor (win_input.cpp keeps them).
struct IconImage {
  int Width = 0, Height = 0;
  int HotX = 0, HotY = 0;
  bool Icon = true;
  bool OwnAlpha = false;         // the colour image had an alpha channel
  std::vector<uint32_t> Pixels;  // 0xAARRGGBB, top-down (empty for the built-in shapes)
  std::vector<uint8_t> AndMask;  // 1 where the screen shows through
};
bool IconImageOf(HICON Icon, IconImage& Out);
HICON AddIconImage(IconImage Image);

}  // namespace vxwin
