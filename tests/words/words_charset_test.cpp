// The languages' character sets are the font layer's own numbers: the words
// table and the font functions share one header of them, so a file can use
// both.
#include <gtest/gtest.h>

#include "winui/gdi.h"
#include "winui/gdi_font.h"
#include "words/words.h"

namespace {

TEST(WordsCharSets, ALanguagesCharacterSetMakesAFontOfThatSet) {
  const struct {
    TMsgLanguage Language;
    BYTE CharSet;
  } cases[] = {
      {msSystem, DEFAULT_CHARSET}, {msEnglish, DEFAULT_CHARSET}, {msGreek, GREEK_CHARSET},
      {msRussian, RUSSIAN_CHARSET}, {msFarsi, ARABIC_CHARSET},  {msArabic, DEFAULT_CHARSET},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.Language));
    const TVXLANGUAGECHARINFO& info = VXLanguageCharInfo[size_t(c.Language)];
    EXPECT_EQ(info.CharSet, c.CharSet);
    LOGFONTW lf;
    lf.lfHeight = -12;
    lf.lfCharSet = info.CharSet;
    HFONT font = CreateFontIndirectW(&lf);
    ASSERT_NE(font, nullptr);
    LOGFONTW back;
    ASSERT_EQ(GetObjectW(font, int(sizeof back), &back), int(sizeof back));
    EXPECT_EQ(back.lfCharSet, c.CharSet);
    DeleteObject(font);
  }
}

}  // namespace
