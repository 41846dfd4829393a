// The word table and its lookup.
#include "words/words.h"

#include <cstring>

#include "core/settings.h"
#include "platform/win_codepage.h"
#include "platform/win_locale.h"
#include "words/wordsdata.h"

std::string VXWordTable[VXMsgLanguageCount][VXWordCount];

namespace {

// Length of the leading run of bytes below 0x80. Those read as ASCII in every
// code page of the table (no lead byte of the double-byte pages is below
// 0x80), so that run is its own UTF-8.
size_t AsciiPrefix(std::string_view S) {
  size_t i = 0;
  for (; i + 8 <= S.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, S.data() + i, 8);
    if (w & 0x8080808080808080ull) break;
  }
  while (i < S.size() && static_cast<unsigned char>(S[i]) < 0x80) ++i;
  return i;
}

// UTF-8 of each upper-half byte of a single-byte code page, taken once from
// the code page's own conversion: a row in such a page is then converted a
// byte at a time, with no UTF-16 step.
struct TUTF8Char {  // four bytes, copied whole
  char Bytes[3];
  uint8_t Len;
};
struct TSingleByteUTF8 {
  uint32_t CodePage;
  TUTF8Char Byte[256];
};

struct TSingleByteUTF8Pages {
  TSingleByteUTF8 Pages[VXMsgLanguageCount];
  // Per row: its page, or null for a row whose page is not single-byte.
  const TSingleByteUTF8* ForRow[VXMsgLanguageCount];

  TSingleByteUTF8Pages() : Pages{}, ForRow{} {
    size_t count = 0;
    for (int row = 0; row < VXMsgLanguageCount; ++row) {
      const uint32_t codePage = VXLanguageCharInfo[row].CodePage;
      CPINFO info;
      if (!GetCPInfo(codePage, &info) || info.MaxCharSize != 1) continue;
      const TSingleByteUTF8* found = nullptr;
      for (size_t k = 0; k < count && found == nullptr; ++k)
        if (Pages[k].CodePage == codePage) found = &Pages[k];
      if (found == nullptr && Fill(Pages[count], codePage)) found = &Pages[count++];
      ForRow[row] = found;
    }
  }

  static bool Fill(TSingleByteUTF8& Page, uint32_t CodePage) {
    Page.CodePage = CodePage;
    for (int b = 0; b < 0x80; ++b) Page.Byte[b] = TUTF8Char{{char(b), 0, 0}, 1};
    for (int b = 0x80; b < 0x100; ++b) {
      const char byte = char(b);
      char16_t wide[2];
      if (MultiByteToWideChar(CodePage, 0, &byte, 1, wide, 2) != 1) return false;
      TUTF8Char& c = Page.Byte[b];
      c.Len = uint8_t(VXUTF16ToUTF8(c.Bytes, wide, 1));
    }
    return true;
  }
};

const TSingleByteUTF8* SingleByteUTF8(TMsgLanguage Language) {
  static const TSingleByteUTF8Pages pages;
  return pages.ForRow[Language];
}

bool ValidEntry(TMsgLanguage Language, uint16_t Index) {
  return static_cast<unsigned>(Language) < unsigned(VXMsgLanguageCount) && Index < VXWordCount;
}

// Copies N bytes that do not overlap. Word texts are short: up to 32 bytes
// take two fixed-size (possibly overlapping) copies, with no call.
inline void CopyBytes(char* Dst, const char* Src, size_t N) {
  if (N >= 16 && N <= 32) {
    std::memcpy(Dst, Src, 16);
    std::memcpy(Dst + N - 16, Src + N - 16, 16);
  } else if (N >= 8 && N < 16) {
    std::memcpy(Dst, Src, 8);
    std::memcpy(Dst + N - 8, Src + N - 8, 8);
  } else if (N >= 4 && N < 8) {
    std::memcpy(Dst, Src, 4);
    std::memcpy(Dst + N - 4, Src + N - 4, 4);
  } else if (N < 4) {
    for (size_t i = 0; i < N; ++i) Dst[i] = Src[i];
  } else {
    std::memcpy(Dst, Src, N);
  }
}

// Entry = Text. An entry that already has Text's length (a table filled
// again) costs one copy. Text may lie in the entry itself; then the string's
// own assignment handles the overlap.
inline void AssignText(std::string& Entry, std::string_view Text) {
  const auto d = reinterpret_cast<uintptr_t>(Entry.data());
  const auto t = reinterpret_cast<uintptr_t>(Text.data());
  if (Entry.size() != Text.size() || (t >= d && t <= d + Entry.size())) {
    Entry.assign(Text);
    return;
  }
  CopyBytes(Entry.data(), Text.data(), Text.size());
}

// True when every byte is below 0x80.
inline bool IsAscii(std::string_view S) {
  const char* p = S.data();
  const size_t n = S.size();
  uint64_t bits = 0;
  uint64_t w0, w1;
  if (n >= 8 && n <= 16) {
    // Two words, the second overlapping the first.
    std::memcpy(&w0, p, 8);
    std::memcpy(&w1, p + n - 8, 8);
    bits = w0 | w1;
  } else if (n > 16) {
    for (size_t i = 0; i + 8 < n; i += 8) {
      std::memcpy(&w0, p + i, 8);
      bits |= w0;
    }
    std::memcpy(&w1, p + n - 8, 8);
    bits |= w1;
  } else if (n >= 4) {
    uint32_t h0, h1;
    std::memcpy(&h0, p, 4);
    std::memcpy(&h1, p + n - 4, 4);
    bits = h0 | h1;
  } else {
    for (size_t i = 0; i < n; ++i) bits |= static_cast<unsigned char>(p[i]);
  }
  return (bits & 0x8080808080808080ull) == 0;
}

// Entry becomes Text's bytes, which are not all ASCII, read in the code page
// of the language's row.
[[gnu::noinline]] void AssignConverted(std::string& Entry, TMsgLanguage Language, std::string_view Text) {
  const size_t ascii = AsciiPrefix(Text);
  if (const TSingleByteUTF8* page = SingleByteUTF8(Language)) {
    // Each byte gives its table's one to three bytes, with no branch per
    // byte: a table entry is written whole (four bytes) into a buffer with
    // that much room to spare and the output moved on by its length.
    const auto* b = reinterpret_cast<const unsigned char*>(Text.data());
    const size_t len = Text.size();
    char local[3 * 128 + 4];
    std::string heap;
    char* const first = len <= 128 ? local : (heap.resize(3 * len + 4), heap.data());
    std::memcpy(first, b, ascii);
    char* o = first + ascii;
    for (size_t i = ascii; i < len; ++i) {
      const TUTF8Char& c = page->Byte[b[i]];
      std::memcpy(o, &c, sizeof c);
      o += c.Len;
    }
    AssignText(Entry, std::string_view(first, size_t(o - first)));
    return;
  }
  // A double-byte page: the leading ASCII run as it stands, the rest through
  // the code page's conversion, on the stack unless the text is long.
  const std::string_view rest = Text.substr(ascii);
  const uint32_t codePage = VXLanguageCharInfo[Language].CodePage;
  const int restLen = static_cast<int>(std::min<size_t>(rest.size(), 0x7FFFFFFF));
  char16_t localWide[256];
  char localUTF8[128 + 3 * 256];
  std::u16string heapWide;
  std::string heapUTF8;
  char16_t* wide = localWide;
  int n = MultiByteToWideChar(codePage, 0, rest.data(), restLen, localWide, int(std::size(localWide)));
  if (n == 0) {
    n = MultiByteToWideChar(codePage, 0, rest.data(), restLen, nullptr, 0);
    if (n <= 0) {
      Entry.assign(Text.substr(0, ascii));
      return;
    }
    heapWide.resize(size_t(n));
    n = MultiByteToWideChar(codePage, 0, rest.data(), restLen, heapWide.data(), n);
    wide = heapWide.data();
  }
  char* out = localUTF8;
  if (ascii > 128 || n > 256) out = (heapUTF8.resize(ascii + 3 * size_t(n)), heapUTF8.data());
  std::memcpy(out, Text.data(), ascii);
  AssignText(Entry, std::string_view(out, ascii + VXUTF16ToUTF8(out + ascii, wide, size_t(n))));
}

}  // namespace

TMsgLanguage VXSystemMsgLanguage(uint32_t Locale) {
  uint16_t primary = LANG_ENGLISH;
  uint16_t sub = 1;
  if (LANGIDFROMLCID(Locale) != 0) {
    primary = PRIMARYLANGID(LANGIDFROMLCID(Locale));
    sub = SUBLANGID(LANGIDFROMLCID(Locale));
  }
  switch (primary) {
    case LANG_ARABIC: return msArabic;
    case LANG_CHINESE:
      // Taiwan, Hong Kong and Macau write traditional characters, the PRC and
      // Singapore simplified ones.
      if (sub == SUBLANG_CHINESE_TRADITIONAL || sub == SUBLANG_CHINESE_HONGKONG || sub == SUBLANG_CHINESE_MACAU)
        return msChineseTraditionalBig5;
      if (sub == SUBLANG_CHINESE_SIMPLIFIED || sub == SUBLANG_CHINESE_SINGAPORE) return msChinese;
      return msEnglish;
    case LANG_CZECH: return msCzech;
    case LANG_DANISH: return msDanish;
    case LANG_GERMAN: return msGerman;
    case LANG_GREEK: return msGreek;
    case LANG_ENGLISH: return msEnglish;
    case LANG_SPANISH: return msSpanish;
    case LANG_FINNISH: return msFinnish;
    case LANG_FRENCH: return msFrench;
    case LANG_HUNGARIAN: return msHungarian;
    case LANG_ITALIAN: return msItalian;
    case LANG_JAPANESE: return msJapanese;
    case LANG_KOREAN: return msKorean;
    case LANG_DUTCH: return msDutch;
    case LANG_NORWEGIAN: return msNorwegian;
    case LANG_POLISH: return msPolish;
    case LANG_PORTUGUESE: return msPortuguese;
    case LANG_RUSSIAN: return msRussian;
    case LANG_SERBIAN: return msSerbian;
    case LANG_SWEDISH: return msSwedish;
    case LANG_TURKISH: return msTurkish;
    case LANG_FARSI: return msFarsi;
    default: return msEnglish;
  }
}

std::string VXLocalizedMessage(uint16_t Index) {
  if (Index >= VXWordCount) return {};
  const TMsgLanguage lang = VXGetGlobalSettings()->MsgLanguage();
  if (lang == msSystem) return VXWordTable[VXSystemMsgLanguage(GetThreadLocale())][Index];
  if (static_cast<unsigned>(lang) >= unsigned(VXMsgLanguageCount)) return {};
  const std::string& s = VXWordTable[lang][Index];
  return s.empty() ? VXWordTable[msEnglish][Index] : s;
}

void VXSetMessage(TMsgLanguage Language, uint16_t Index, std::string_view Text) {
  if (ValidEntry(Language, Index)) AssignText(VXWordTable[Language][Index], Text);
}

void VXSetMessageAnsi(TMsgLanguage Language, uint16_t Index, std::string_view Text) {
  if (!ValidEntry(Language, Index)) return;
  std::string& entry = VXWordTable[Language][Index];
  // Plain ASCII (most words of the Latin rows) reads the same in every code
  // page of the table and is its own UTF-8.
  if (IsAscii(Text))
    AssignText(entry, Text);
  else
    AssignConverted(entry, Language, Text);
}

void VXFillWordRowFromBytes(TMsgLanguage Language) {
  if (static_cast<unsigned>(Language) >= unsigned(VXMsgLanguageCount)) return;
  const TVXWordBytes& w = VXWordBytes[Language];
  if (w.Bytes == nullptr) return;
  for (uint16_t i = 0; i < VXWordCount; ++i)
    VXSetMessageAnsi(Language, i, std::string_view(w.Bytes + w.Offsets[i], w.Offsets[i + 1] - w.Offsets[i]));
}
