// The font-face reader: a logical font as a file or another program hands
// it over (the 92 bytes of a LOGFONTW, face name unterminated or not), then
// a UTF-8 text, malformed or not. The face is resolved, the text measured
// and laid out, and drawn through GDI onto a small bitmap.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "winui/font_face.h"
#include "winui/gdi.h"
#include "winui/gdi_font.h"
#include "winui/gdi_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A short input leaves the rest of the record zero.
  LOGFONTW lf{};
  if (size > 0) std::memcpy(&lf, data, size < sizeof lf ? size : sizeof lf);
  const std::string text = size > sizeof lf ? std::string(reinterpret_cast<const char*>(data) + sizeof lf,
                                                          std::min<size_t>(size - sizeof lf, 256))
                                            : std::string();
  VXFontFaceRef face = VXResolveFontFace(lf);
  if (face) {
    VXFontTextWidth(*face, text);
    VXFontPrefixWidths(*face, text);
    int advance = 0;
    VXFontLayout(*face, text, 1.5, 10, &advance);
  }
  HFONT font = CreateFontIndirectW(&lf);
  if (!font) return 0;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = 24;
  bi.bmiHeader.biHeight = 16;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bm = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  if (bm && dc) {
    HGDIOBJ oldBitmap = SelectObject(dc, bm);
    HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    SIZE extent;
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &extent);
    TextOutW(dc, 2, 3, text.c_str(), int(text.size()));
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
  }
  if (dc) DeleteDC(dc);
  if (bm) DeleteObject(bm);
  DeleteObject(font);
  return 0;
}
