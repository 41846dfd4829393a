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

// System icons by resource number, drawn by the window layer itself at any
// size: IDI_APPLICATION (32512), IDI_HAND / IDI_ERROR (32513), IDI_QUESTION
// (32514), IDI_EXCLAMATION / IDI_WARNING (32515), IDI_ASTERISK /
// IDI_INFORMATION (32516), IDI_WINLOGO (32517), IDI_SHIELD (32518).
constexpr uintptr_t IDI_APPLICATION = 32512;
constexpr uintptr_t IDI_HAND = 32513;
constexpr uintptr_t IDI_ERROR = IDI_HAND;
constexpr uintptr_t IDI_QUESTION = 32514;
constexpr uintptr_t IDI_EXCLAMATION = 32515;
constexpr uintptr_t IDI_WARNING = IDI_EXCLAMATION;
constexpr uintptr_t IDI_ASTERISK = 32516;
constexpr uintptr_t IDI_INFORMATION = IDI_ASTERISK;
constexpr uintptr_t IDI_WINLOGO = 32517;
constexpr uintptr_t IDI_SHIELD = 32518;
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_SHARED = 0x8000;

// hInstance null and a system icon number: that icon at 32 x 32, shared (one
// handle per icon; DestroyIcon leaves it). Anything else: null.
HICON LoadIconW(HINSTANCE hInstance, uintptr_t IconNumber);
// IMAGE_ICON of a system icon (hInstance null) at cx x cy (0: 32), drawn at
// that size; with LR_SHARED one handle per icon and size, else a new icon
// the caller destroys. Null for anything else.
HANDLE LoadImageW(HINSTANCE hInstance, uintptr_t Name, UINT Type, int cx, int cy, UINT fuLoad);
