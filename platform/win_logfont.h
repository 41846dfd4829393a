#pragma once
// The platform's logical font records: one layout, with an 8-bit (LOGFONTA)
// or wide (LOGFONTW) face name.
#include <cstdint>

constexpr int LF_FACESIZE = 32;

template <typename TFaceChar>
struct TLogFontOf {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  TFaceChar lfFaceName[LF_FACESIZE] = {};
};

using LOGFONTA = TLogFontOf<char>;
using LOGFONTW = TLogFontOf<char16_t>;

static_assert(sizeof(LOGFONTA) == 60 && sizeof(LOGFONTW) == 92, "the records' layouts");
