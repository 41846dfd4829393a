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

bool ValidEntry(TMsgLanguage Language, uint16_t Index) {
  return static_cast<unsigned>(Language) < unsigned(VXMsgLanguageCount) && Index < VXWordCount;
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
  if (ValidEntry(Language, Index)) VXWordTable[Language][Index].assign(Text);
}

void VXSetMessageAnsi(TMsgLanguage Language, uint16_t Index, std::string_view Text) {
  if (!ValidEntry(Language, Index)) return;
  std::string& entry = VXWordTable[Language][Index];
  const size_t ascii = AsciiPrefix(Text);
  entry.assign(Text.data(), ascii);
  if (ascii == Text.size()) return;
  Text.remove_prefix(ascii);
  const uint32_t codePage = VXLanguageCharInfo[Language].CodePage;
  // Word texts are short: convert on the stack, on the heap only when longer.
  char16_t local[256];
  std::u16string heap;
  char16_t* wide = local;
  const int textLen = static_cast<int>(std::min<size_t>(Text.size(), 0x7FFFFFFF));
  int n = MultiByteToWideChar(codePage, 0, Text.data(), textLen, local, int(std::size(local)));
  if (n == 0) {
    n = MultiByteToWideChar(codePage, 0, Text.data(), textLen, nullptr, 0);
    if (n <= 0) return;
    heap.resize(size_t(n));
    n = MultiByteToWideChar(codePage, 0, Text.data(), textLen, heap.data(), n);
    wide = heap.data();
  }
  VXAppendUTF16AsUTF8(entry, wide, size_t(n));
}
