// Logical font handles and the list of font families: fonts are records a
// DC can select. Text drawn and measured with them: winui/gdi_text.h (the
// faces behind them: winui/font_face.h).
#pragma once
#include <string>
#include <vector>

#include "winui/gdi.h"

constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE GREEK_CHARSET = 161;
constexpr BYTE ARABIC_CHARSET = 178;
constexpr BYTE RUSSIAN_CHARSET = 204;
constexpr DWORD RASTER_FONTTYPE = 0x0001;
constexpr DWORD DEVICE_FONTTYPE = 0x0002;
constexpr DWORD TRUETYPE_FONTTYPE = 0x0004;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;

struct TEXTMETRICW {
  LONG tmHeight = 0;
  LONG tmAscent = 0;
  LONG tmDescent = 0;
  LONG tmInternalLeading = 0;
  LONG tmExternalLeading = 0;
  LONG tmAveCharWidth = 0;
  LONG tmMaxCharWidth = 0;
  LONG tmWeight = 0;
  LONG tmOverhang = 0;
  LONG tmDigitizedAspectX = 0;
  LONG tmDigitizedAspectY = 0;
  char16_t tmFirstChar = 0;
  char16_t tmLastChar = 0;
  char16_t tmDefaultChar = 0;
  char16_t tmBreakChar = 0;
  BYTE tmItalic = 0;
  BYTE tmUnderlined = 0;
  BYTE tmStruckOut = 0;
  BYTE tmPitchAndFamily = 0;
  BYTE tmCharSet = 0;
};

struct ENUMLOGFONTEXW {
  LOGFONTW elfLogFont;
  char16_t elfFullName[64] = {};
  char16_t elfStyle[32] = {};
  char16_t elfScript[32] = {};
};

using FONTENUMPROCW = int (*)(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM);

HFONT CreateFontIndirectW(const LOGFONTW* lplf);
// One call per family (an empty face name: every family; otherwise only the
// family of that name, compared without case), until the procedure answers
// 0; answers the procedure's last answer (1 when it was never called).
int EnumFontFamiliesExW(HDC hdc, LOGFONTW* lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam, DWORD dwFlags);

namespace VXFonts {
// The font families installed (fontconfig), sorted, without repeats; the
// test driver may set its own list instead.
std::vector<std::string> Families();
void SetFamilies(const std::vector<std::string>& Families);
void UseInstalledFamilies();
}  // namespace VXFonts
