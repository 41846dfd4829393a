#pragma once
// The word texts that the build makes from the UTF-8 files in words/text/
// (see words/build_tool/mkwords.cpp): the English words as RT_STRING
// resources, and every other language's words as bytes in its row's code page.

#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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

// Stores a row's words from VXWordBytes through VXSetMessageAnsi, in word
// order (nothing for a row without bytes).
void VXFillWordRowFromBytes(TMsgLanguage Language);

// Registers the RT_STRING blocks of the English words with the program's
// resources (once; later calls do nothing).
void VXRegisterWordStringResources();

// Writes UTF-16 text as UTF-8 to Out, which has room for 3 * N bytes, and
// answers the bytes written; an unpaired surrogate becomes U+FFFD.
inline size_t VXUTF16ToUTF8(char* Out, const char16_t* S, size_t N) {
  char* o = Out;
  for (size_t i = 0; i < N; ++i) {
    // ASCII units eight (or four) at a time while they last.
#if defined(__SSE2__)
    while (i + 8 <= N) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + i));
      const __m128i high = _mm_and_si128(v, _mm_set1_epi16(int16_t(0xFF80)));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
      o += 8;
      i += 8;
    }
#endif
    while (i + 4 <= N) {
      uint64_t w;
      std::memcpy(&w, S + i, 8);
      if (w & 0xFF80FF80FF80FF80ull) break;
      const auto packed = uint32_t((w & 0x7F) | ((w >> 8) & 0x7F00) | ((w >> 16) & 0x7F0000) | ((w >> 24) & 0x7F000000));
      std::memcpy(o, &packed, 4);
      o += 4;
      i += 4;
    }
    if (i == N) break;
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
  return size_t(o - Out);
}

// Appends UTF-16 text as UTF-8 (as VXUTF16ToUTF8 writes it).
inline void VXAppendUTF16AsUTF8(std::string& Out, const char16_t* S, size_t N) {
  const size_t start = Out.size();
  Out.resize(start + 3 * N);
  Out.resize(start + VXUTF16ToUTF8(Out.data() + start, S, N));
}
