#pragma once
// Small platform chores of the image core: the DrawDib service, the colour
// dialog with remembered custom colours, the window of a component's owner,
// the size of a file, and the registered clipboard formats by name.

#include <cstdint>
#include <string>
#include <vector>

#include "gui/graphics_types.h"
#include "winui/drawdib.h"
#include "winui/gdi.h"

class TComponent;

HDRAWDIB VXDrawDibOpen();
BOOL VXDrawDibClose(HDRAWDIB hdd);
UINT VXDrawDibRealize(HDRAWDIB hdd, HDC dc, BOOL Background);
BOOL VXDrawDibDraw(HDRAWDIB hdd, HDC dc, int xDst, int yDst, int dxDst, int dyDst, BITMAPINFOHEADER* lpbi,
                   void* Bits, int xSrc, int ySrc, int dxSrc, int dySrc, UINT Flags);

// The platform colour dialog started at Color, its custom colours taken
// from the setting ColorDialogCustomColors ("ColorA=RRGGBB" lines of the
// platform's 0xBBGGRR values, the sixteen defaults when the setting is
// empty). On OK Color takes the choice and the result is true. Either way
// the dialog's custom colours are stored back into the setting.
bool VXColorDialog(TColor& Color);

// The sixteen default custom colours, "ColorA=D670DA" .. "ColorP=1E69D2".
const std::vector<std::string>& VXDefaultCustomColors();

// The window of the first windowed control among Component's owners (its
// owner, that one's owner, ...); null when there is none or its window has
// not been made yet.
HWND VXOwnerWindowHandle(TComponent* Component);

// The size of FileName in bytes; 0 when it is not found.
int64_t VXFindFileSize(const std::string& FileName);

struct TVXClipboardFormat {
  std::string Name;
  uint32_t Id = 0;
};
// The formats on the clipboard (opened by the caller) that have a registered
// name, in clipboard order.
std::vector<TVXClipboardFormat> VXListClipboardFormats();
// The id of the clipboard format on the clipboard named Name (case ignored);
// 0 when none is.
uint32_t VXGetClipboardFormatByName(const std::string& Name);
// Opens the clipboard without an owner window, trying up to 10 times 20 ms
// apart while another thread holds it; true when it was opened.
bool VXOpenClipboard();
