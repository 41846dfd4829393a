#pragma once
// The library's interface words: 459 numbered words (captions, hints, page
// titles of the dialogs) in each of the 25 languages, held in one table with a
// row per TMsgLanguage value, and the lookup of a word in the current
// interface language (MsgLanguage of the global settings).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/vxdefs.h"
#include "winui/gdi_font.h"  // the character set numbers

constexpr int VXWordCount = 459;

// Font character set, font face (empty: leave the face alone) and the code
// page in which a language's 8-bit word texts are written (0: the system's).
struct TVXLANGUAGECHARINFO {
  uint8_t CharSet;
  std::string_view FontName;
  uint16_t CodePage;
};

inline constexpr std::array<TVXLANGUAGECHARINFO, VXMsgLanguageCount> VXLanguageCharInfo = {{
    {DEFAULT_CHARSET, "", 0},         // msSystem
    {DEFAULT_CHARSET, "", 1252},      // msEnglish
    {DEFAULT_CHARSET, "", 1252},      // msItalian
    {DEFAULT_CHARSET, "", 1252},      // msGerman
    {DEFAULT_CHARSET, "", 1252},      // msSpanish
    {DEFAULT_CHARSET, "", 1252},      // msFrench
    {DEFAULT_CHARSET, "", 1252},      // msPortuguese
    {GREEK_CHARSET, "", 1253},        // msGreek
    {RUSSIAN_CHARSET, "", 1251},      // msRussian
    {DEFAULT_CHARSET, "", 1252},      // msDutch
    {DEFAULT_CHARSET, "", 1252},      // msSwedish
    {DEFAULT_CHARSET, "", 1250},      // msPolish
    {DEFAULT_CHARSET, "", 932},       // msJapanese
    {DEFAULT_CHARSET, "", 1250},      // msCzech
    {DEFAULT_CHARSET, "", 1252},      // msFinnish
    {ARABIC_CHARSET, "Tahoma", 1256}, // msFarsi
    {DEFAULT_CHARSET, "", 936},       // msChinese
    {DEFAULT_CHARSET, "", 950},       // msChineseTraditional
    {DEFAULT_CHARSET, "", 950},       // msChineseTraditionalBig5
    {DEFAULT_CHARSET, "", 1252},      // msDanish
    {DEFAULT_CHARSET, "", 1254},      // msTurkish
    {DEFAULT_CHARSET, "", 949},       // msKorean
    {DEFAULT_CHARSET, "", 1250},      // msHungarian
    {DEFAULT_CHARSET, "Tahoma", 1256},// msArabic
    {DEFAULT_CHARSET, "", 1250},      // msSerbian
    {DEFAULT_CHARSET, "", 1252},      // msNorwegian
    {DEFAULT_CHARSET, "", 1252},      // msUser
}};

// Entry (language, word) as UTF-8; every entry is empty at program start.
// The start-up fills rows msEnglish to msNorwegian; msSystem and msUser stay
// empty unless a caller sets them.
extern std::string VXWordTable[VXMsgLanguageCount][VXWordCount];

// Word Index in the current interface language. A chosen language whose
// entry is empty gives the English word; msSystem picks the row from the
// thread locale and gives its entry as it is. A word number above 458 gives
// an empty text.
std::string VXLocalizedMessage(uint16_t Index);

// Entry (Language, Index) becomes Text (UTF-8). Out-of-range arguments
// change nothing.
void VXSetMessage(TMsgLanguage Language, uint16_t Index, std::string_view Text);
// Entry (Language, Index) becomes Text's bytes read in the code page of the
// language's VXLanguageCharInfo row. Out-of-range arguments change nothing.
void VXSetMessageAnsi(TMsgLanguage Language, uint16_t Index, std::string_view Text);

// The row that msSystem stands for under a locale id.
TMsgLanguage VXSystemMsgLanguage(uint32_t Locale);

// Fills rows msEnglish to msNorwegian, one fill routine per language in
// TMsgLanguage order. Run by the library start-up; running it again stores
// the same texts.
void VXRegisterAllWordTables();

void VXRegisterWordTableEnglish();
void VXRegisterWordTableItalian();
void VXRegisterWordTableGerman();
void VXRegisterWordTableSpanish();
void VXRegisterWordTableFrench();
void VXRegisterWordTablePortuguese();
void VXRegisterWordTableGreek();
void VXRegisterWordTableRussian();
void VXRegisterWordTableDutch();
void VXRegisterWordTableSwedish();
void VXRegisterWordTablePolish();
void VXRegisterWordTableJapanese();
void VXRegisterWordTableCzech();
void VXRegisterWordTableFinnish();
void VXRegisterWordTableFarsi();
void VXRegisterWordTableChinese();
void VXRegisterWordTableChineseTraditional();
void VXRegisterWordTableChineseTraditionalBig5();
void VXRegisterWordTableDanish();
void VXRegisterWordTableTurkish();
void VXRegisterWordTableKorean();
void VXRegisterWordTableHungarian();
void VXRegisterWordTableArabic();
void VXRegisterWordTableSerbian();
void VXRegisterWordTableNorwegian();
