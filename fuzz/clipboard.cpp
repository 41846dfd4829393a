// Clipboard reading: the bytes as another program's clipboard block, the
// first byte choosing the format (the raw dump, PNG, a DIB or all three,
// the preferred one read first), pasted whole, at a point and through the
// selection paste of a small image.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/bitmap.h"
#include "core/winchores.h"
#include "fuzz_library.h"
#include "proc/proc.h"
#include "winui/win_clipboard.h"

namespace {

void Put(UINT Format, const uint8_t* Data, size_t Size) {
  if (Format == 0) return;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, Size);
  if (!h) return;
  if (Size) std::memcpy(GlobalLock(h), Data, Size);
  GlobalUnlock(h);
  if (!SetClipboardData(Format, h)) GlobalFree(h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  if (size < 1) return 0;
  const UINT formats[] = {VXRawClipboardFormat(), VXGetClipboardFormatByName("PNG"), CF_DIB};
  if (!OpenClipboard(nullptr)) return 0;
  EmptyClipboard();
  if (data[0] % 4 == 3) {
    for (UINT f : formats) Put(f, data + 1, size - 1);
  } else {
    Put(formats[data[0] % 4], data + 1, size - 1);
  }
  CloseClipboard();
  for (int way = 0; way < 3; ++way) {
    TVXBitmap bmp(8, 6, vx24RGB);
    TVexlaneProc proc(nullptr);
    proc.SetAttachedVXBitmap(&bmp);
    proc.SetAutoUndo(false);
    if (way == 0) proc.PasteFromClipboard();
    else if (way == 1) proc.PointPasteFromClip(2, 1, true);
    else proc.SelPasteFromClipStretch(true);
  }
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    CloseClipboard();
  }
  return 0;
}
