#pragma once
// The word texts that the build makes from the UTF-8 files in words/text/
// (see words/build_tool/mkwords.cpp): the English words as RT_STRING
// resources, and every other language's words as bytes in its row's code page.

#include <cstdint>
#include <string>

#include "core/vxdefs.h"

// String id of English word i is VXWordStringBase + i.
constexpr uint32_t VXWordStringBase = 20000;

// The text file of each row of the word table, in words/text/ (empty for the
// rows that no fill routine stores).
inline constexpr const char* VXWordTextFileNames[VXMsgLanguageCount] = {
    "",          "english", "italian", "german",  "spanish",   "french",  "portuguese",
    "greek",     "russian", "dutch",   "swedish", "polish",    "japanese", "czech",
    "finnish",   "farsi",   "chinese", "chinese_traditional", "chinese_traditional_big5",
    "danish",    "turkish", "korean",  "hungarian", "arabic",  "serbian", "norwegian", ""};

// Bytes of a language's words: word i is Bytes[Offsets[i]] up to
// Bytes[Offsets[i + 1]].
struct TVXWordBytes {
  const char* Bytes;
  const uint32_t* Offsets;
};

// Per row; empty (null) for msSystem, msEnglish and msUser.
extern const TVXWordBytes VXWordBytes[VXMsgLanguageCount];

// Registers the RT_STRING blocks of the English words with the program's
// resources (once; later calls do nothing).
void VXRegisterWordStringResources();

// Appends UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD.
inline void VXAppendUTF16AsUTF8(std::string& Out, const char16_t* S, size_t N) {
  // Room for the longest result (3 bytes per unit), written once, then cut.
  const size_t start = Out.size();
  Out.resize(start + 3 * N);
  char* const first = Out.data() + start;
  char* o = first;
  for (size_t i = 0; i < N; ++i) {
    uint32_t c = S[i];
    if (c < 0x80) {
      *o++ = char(c);
    } else if (c < 0x800) {
      *o++ = char(0xC0 | (c >> 6));
      *o++ = char(0x80 | (c & 0x3F));
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < N && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(S[i + 1]) - 0xDC00);
      ++i;
      *o++ = char(0xF0 | (c >> 18));
      *o++ = char(0x80 | ((c >> 12) & 0x3F));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
      *o++ = char(0x80 | (c & 0x3F));
    } else {
      if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
      *o++ = char(0xE0 | (c >> 12));
      *o++ = char(0x80 | ((c >> 6) & 0x3F));
      *o++ = char(0x80 | (c & 0x3F));
    }
  }
  Out.resize(start + size_t(o - first));
}
