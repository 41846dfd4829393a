#include <iconv.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/core/library_environment.h"
#include "tests/core/runtime_state_guard.h"
#include "tests/words/words_fixture.h"

VX_START_LIBRARY_FOR_TESTS();
VX_GUARD_PROCESS_STATE();

namespace {

using vxtest::TWordsTest;
using TWordLookupTest = TWordsTest;

std::string FormatWord(uint16_t Index, int A, int B) {
  char buf[128];
  std::snprintf(buf, sizeof buf, VXLocalizedMessage(Index).c_str(), A, B);
  return buf;
}

TEST_F(TWordLookupTest, StartUpFillsEveryLanguageRowAndLeavesSystemAndUserEmpty) {
  EXPECT_EQ(Entry(msEnglish, 4), "Cancel");
  EXPECT_EQ(Entry(msGerman, 4), "Abbrechen");
  EXPECT_EQ(Entry(msNorwegian, 4), "Avbryt");
  EXPECT_EQ(Entry(msEnglish, 11), "Value");
  EXPECT_EQ(Entry(msEnglish, 103), "Value");
  EXPECT_EQ(Entry(msEnglish, 227), "Rotate 180\u00B0");
  for (int i = 0; i < VXWordCount; ++i) {
    EXPECT_TRUE(Entry(msSystem, i).empty()) << i;
    EXPECT_TRUE(Entry(msUser, i).empty()) << i;
  }
}

TEST_F(TWordLookupTest, UserRowAnswersEveryWordInEnglish) {
  Choose(msUser);
  for (uint16_t i = 0; i < VXWordCount; ++i) {
    ASSERT_FALSE(Entry(msEnglish, i).empty()) << i;
    EXPECT_EQ(VXLocalizedMessage(i), Entry(msEnglish, i)) << i;
  }
}

TEST_F(TWordLookupTest, ChosenLanguageFallsBackToEnglishForAnEmptyEntry) {
  Choose(msGerman);
  EXPECT_EQ(VXLocalizedMessage(0), "Vorschau");
  VXSetMessage(msGerman, 4, "");
  EXPECT_EQ(VXLocalizedMessage(4), "Cancel");
}

TEST_F(TWordLookupTest, SystemLanguageFollowsTheThreadLocale) {
  Choose(msSystem);
  struct TCase {
    LCID Locale;
    TMsgLanguage Row;
  };
  const TCase cases[] = {
      {0x0407, msGerman},   {0x041A, msSerbian},  {0x101A, msSerbian},   {0x141A, msSerbian},
      {0x0814, msNorwegian}, {0x0414, msNorwegian}, {0x0409, msEnglish}, {0x040D, msEnglish},
      {0x0404, msChineseTraditionalBig5}, {0x0804, msChinese}, {0x0C04, msChineseTraditionalBig5},
      {0x1404, msChineseTraditionalBig5}, {0x1004, msChinese}, {0x1804, msEnglish},
      {0x0408, msGreek},    {0x0419, msRussian},  {0x0429, msFarsi},     {0x0401, msArabic},
      {0x0C0A, msSpanish},  {0x0816, msPortuguese}, {0x040C, msFrench},  {0x0410, msItalian},
      {0x0413, msDutch},    {0x041D, msSwedish},  {0x0415, msPolish},    {0x0411, msJapanese},
      {0x0405, msCzech},    {0x040B, msFinnish},  {0x0406, msDanish},    {0x041F, msTurkish},
      {0x0412, msKorean},   {0x040E, msHungarian},
      // Low 16 bits zero: English.
      {0, msEnglish},       {0x00070000, msEnglish},
  };
  for (const TCase& c : cases) {
    SetThreadLocale(c.Locale);
    EXPECT_EQ(VXSystemMsgLanguage(c.Locale), c.Row) << std::hex << c.Locale;
    EXPECT_EQ(VXLocalizedMessage(0), Entry(c.Row, 0)) << std::hex << c.Locale;
  }
  // The row's own words, not the English ones, and the change is seen at once.
  SetThreadLocale(0x0407);
  EXPECT_EQ(VXLocalizedMessage(4), "Abbrechen");
  SetThreadLocale(0x040C);
  EXPECT_EQ(VXLocalizedMessage(4), "Annuler");
}

TEST_F(TWordLookupTest, SystemLanguageGivesAnEmptyEntryAsItIs) {
  VXSetMessage(msGerman, 5, "");
  SetThreadLocale(0x0407);
  Choose(msSystem);
  EXPECT_EQ(VXLocalizedMessage(5), "");
  Choose(msGerman);
  EXPECT_EQ(VXLocalizedMessage(5), "Lock preview");
}

TEST_F(TWordLookupTest, TraditionalChineseRowIsReachedOnlyByChoosingIt) {
  Choose(msChineseTraditional);
  EXPECT_EQ(VXLocalizedMessage(91), Entry(msChineseTraditional, 91));
  EXPECT_NE(VXLocalizedMessage(91), Entry(msChineseTraditionalBig5, 91));
  Choose(msSystem);
  for (LCID l = 0x0004; l < 0x10000; l += 0x0400)
    EXPECT_NE(VXSystemMsgLanguage(l), msChineseTraditional) << std::hex << l;
}

TEST_F(TWordLookupTest, LanguageChangeHoldsFromTheNextLookup) {
  Choose(msFrench);
  EXPECT_EQ(VXLocalizedMessage(4), "Annuler");
  Choose(msGerman);
  EXPECT_EQ(VXLocalizedMessage(4), "Abbrechen");
  Choose(msEnglish);
  EXPECT_EQ(VXLocalizedMessage(4), "Cancel");
}

TEST_F(TWordLookupTest, FormatWordsFillInEnglish) {
  Choose(msEnglish);
  EXPECT_EQ(FormatWord(153, 3, 10), "Page 3 of 10");
  EXPECT_EQ(FormatWord(154, 10, 0), "10 pages");
  char buf[128];
  std::snprintf(buf, sizeof buf, VXLocalizedMessage(417).c_str(), "photos");
  EXPECT_STREQ(buf, "\"photos\" is not a valid folder");
  std::snprintf(buf, sizeof buf, VXLocalizedMessage(455).c_str(), "Name");
  EXPECT_STREQ(buf, "Sort by Name");
}

TEST_F(TWordLookupTest, CatalogueEnglishTextsShowThroughOtherLanguages) {
  Choose(msItalian);
  EXPECT_EQ(VXLocalizedMessage(430), "All (Glow)");
  // A Greek system: a Greek word 4, English words from 158 on.
  Choose(msSystem);
  SetThreadLocale(0x0408);
  EXPECT_EQ(VXLocalizedMessage(4), "\u0386\u03BA\u03C5\u03C1\u03BF");
  for (uint16_t i = 158; i < VXWordCount; ++i) EXPECT_EQ(VXLocalizedMessage(i), Entry(msEnglish, i)) << i;
}

TEST_F(TWordLookupTest, AnsiSetterReadsTheRowsCodePage) {
  struct TCase {
    TMsgLanguage Row;
    std::string Bytes;
    std::string Utf8;
  };
  const std::vector<TCase> cases = {
      {msRussian, "\xC0", "\u0410"},
      {msGreek, "\xC1\xE1", "\u0391\u03B1"},
      {msPolish, "\xA5\xB9", "\u0104\u0105"},
      {msTurkish, "\xDD\xFD", "\u0130\u0131"},
      {msFarsi, "\x98\x81", "\u06A9\u067E"},
      {msArabic, "\xC7", "\u0627"},
      {msGerman, "\x80\xE4", "\u20AC\u00E4"},
      {msGerman, "\x81", "\u0081"},
      {msGreek, "\xAA", "\uF8F9"},
      {msSystem, "\xE9", "\u00E9"},
      {msUser, "\x9F", "\u0178"},
      {msJapanese, "A\x82\xA0" "B", "A\u3042B"},
      {msChinese, "\xC4\xE3", "\u4F60"},
      {msChineseTraditional, "\xA4\xA4", "\u4E2D"},
      {msChineseTraditionalBig5, "\xA4\xA4", "\u4E2D"},
      {msKorean, "\xB0\xA1", "\uAC00"},
      // A lead byte without its trail byte.
      {msJapanese, "\x82", "\uFFFD"},
      {msRussian, "", ""},
  };
  for (const TCase& c : cases) {
    VXSetMessageAnsi(c.Row, 7, c.Bytes);
    EXPECT_EQ(Entry(c.Row, 7), c.Utf8) << int(c.Row) << " " << c.Bytes;
  }
}

// What iconv makes of Bytes in code page From, as UTF-8.
std::string IconvUTF8(const char* From, const std::string& Bytes) {
  iconv_t cd = iconv_open("UTF-8", From);
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
  std::string out(Bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(Bytes.data());
  size_t inLeft = Bytes.size();
  char* o = out.data();
  size_t outLeft = out.size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  if (r == size_t(-1)) return "<invalid>";
  out.resize(out.size() - outLeft);
  return out;
}

TEST_F(TWordLookupTest, AnsiSetterConvertsTextsOfEveryLength) {
  // Every length from empty to beyond the converters' stack buffers, with
  // the non-ASCII characters at the start, the end and between, written over
  // entries both longer and shorter than the new text.
  struct TRow {
    TMsgLanguage Row;
    const char* Charset;
    std::string Char;  // one non-ASCII character
  };
  const std::vector<TRow> rows = {
      {msRussian, "CP1251", "\xC6"}, {msGreek, "CP1253", "\xE1"}, {msGerman, "CP1252", "\xFC"},
      {msJapanese, "CP932", "\x82\xA0"}, {msKorean, "CP949", "\xB0\xA1"}};
  for (const TRow& r : rows) {
    for (size_t len = 0; len <= 700; len += len < 40 ? 1 : 37) {
      for (int shape = 0; shape < 4; ++shape) {
        std::string text;
        while (text.size() < len) {
          const bool high = shape == 1 || (shape == 2 && text.size() % 5 == 0) || (shape == 3 && text.size() + 3 >= len);
          text += high ? r.Char : std::string(1, char('a' + text.size() % 26));
        }
        VXSetMessageAnsi(r.Row, 9, text);
        ASSERT_EQ(Entry(r.Row, 9), IconvUTF8(r.Charset, text)) << int(r.Row) << " length " << len << " shape " << shape;
      }
    }
  }
}

TEST_F(TWordLookupTest, SettersTakeATextFromTheirOwnEntry) {
  VXSetMessage(msGerman, 11, "Bild speichern unter einem anderen Namen");
  VXSetMessage(msGerman, 11, std::string_view(VXWordTable[msGerman][11]).substr(5, 9));
  EXPECT_EQ(Entry(msGerman, 11), "speichern");
  VXSetMessage(msGerman, 11, VXWordTable[msGerman][11]);
  EXPECT_EQ(Entry(msGerman, 11), "speichern");
  VXSetMessageAnsi(msGerman, 11, std::string_view(VXWordTable[msGerman][11]).substr(1, 4));
  EXPECT_EQ(Entry(msGerman, 11), "peic");
}

TEST_F(TWordLookupTest, RegisteringTwiceLeavesTheSameTexts) {
  std::vector<std::string> before(&VXWordTable[0][0], &VXWordTable[0][0] + VXMsgLanguageCount * VXWordCount);
  VXRegisterAllWordTables();
  VXRegisterAllWordTables();
  std::vector<std::string> after(&VXWordTable[0][0], &VXWordTable[0][0] + VXMsgLanguageCount * VXWordCount);
  EXPECT_EQ(before, after);
}

TEST_F(TWordLookupTest, OutOfRangeArgumentsChangeNothingAndFindNothing) {
  std::vector<std::string> before(&VXWordTable[0][0], &VXWordTable[0][0] + VXMsgLanguageCount * VXWordCount);
  VXSetMessage(msGerman, VXWordCount, "x");
  VXSetMessage(static_cast<TMsgLanguage>(VXMsgLanguageCount), 0, "x");
  VXSetMessage(static_cast<TMsgLanguage>(200), 3, "x");
  VXSetMessageAnsi(msRussian, 0xFFFF, "x");
  VXSetMessageAnsi(static_cast<TMsgLanguage>(VXMsgLanguageCount), 0, "x");
  std::vector<std::string> after(&VXWordTable[0][0], &VXWordTable[0][0] + VXMsgLanguageCount * VXWordCount);
  EXPECT_EQ(before, after);

  for (TMsgLanguage l : {msEnglish, msSystem, msUser}) {
    Choose(l);
    EXPECT_EQ(VXLocalizedMessage(VXWordCount), "");
    EXPECT_EQ(VXLocalizedMessage(0xFFFF), "");
  }
  Choose(static_cast<TMsgLanguage>(VXMsgLanguageCount));
  EXPECT_EQ(VXLocalizedMessage(4), "");
}

}  // namespace
