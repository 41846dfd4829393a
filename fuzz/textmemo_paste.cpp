// Pasting into the rich-text control: the bytes as another program's
// clipboard blocks, the first byte choosing the private "VEXLANE TEXTMEMO"
// block, the Unicode text or both (the rest split between them); the pasted
// text is then laid out and drawn.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/canvas.h"
#include "fuzz_library.h"
#include "vect/textcontrol.h"
#include "winui/win_clipboard.h"
#include "winui/win_window.h"

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
  if (!OpenClipboard(nullptr)) return 0;
  EmptyClipboard();
  const uint8_t* rest = data + 1;
  const size_t n = size - 1;
  switch (data[0] % 3) {
    case 0:
      Put(VXTextMemoClipboardFormat(), rest, n);
      break;
    case 1:
      Put(CF_UNICODETEXT, rest, n);
      break;
    default:
      Put(VXTextMemoClipboardFormat(), rest, n / 2);
      Put(CF_UNICODETEXT, rest + n / 2, n - n / 2);
      break;
  }
  CloseClipboard();
  TVXTextControl t;
  t.SetMaxLength(data[0] & 0x80 ? 0 : 4096);
  t.Init();
  t.Perform(WM_PASTE, 0, 0);
  TBitmap b(120, 60);
  TVXCanvas c(b.Canvas(), false, false);
  t.SetWriteFormattedString(true);
  t.PaintTo(&c, 0, 0, 120, 60);
  t.SetZoom(1.5);
  t.Update();
  t.PaintTo(&c, 0, 0, 80, 40);
  return 0;
}
