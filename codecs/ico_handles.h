// Platform icon handles as bitmaps with alpha.
#pragma once

#include <string>

#include "winui/win_types.h"

class TVXBitmap;

// The icon's colour image and mask become the bitmap (vx24RGB) and its alpha
// channel: the icon's own alpha where it has one, else its mask (0 where the
// screen shows through). The conversion writes the icon as a one-entry icon
// file in memory and reads it back, so Check256 works as for icon files
// (EVXException "Not valid 256x256 Icon"). An unknown handle, or an icon
// whose bitmaps cannot be had, leaves the bitmap empty.
void VXIconToBitmap(HICON Icon, TVXBitmap* Bitmap, bool Check256);

// The icon the shell shows for the file (see VXSetShellIconProvider), as
// VXIconToBitmap gives it; the bitmap is left empty when there is none.
void VXShellIconToBitmap(const std::string& FileName, TVXBitmap* Bitmap);
