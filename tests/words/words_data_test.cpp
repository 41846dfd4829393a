// Checks over the words of the 24 translated languages as the start-up stores
// them: which words carry the English text, placeholders, code pages, scripts,
// and agreement with the word files they are built from.
#include <iconv.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/words/words_fixture.h"
#include "words/wordsdata.h"

namespace {

using TWordDataTest = vxtest::TWordsTest;

// The words that each language holds as the English text; every other word
// is translated.
const std::map<TMsgLanguage, std::string> kEnglishWords = {
    {msItalian, "3, 90, 125-127, 133-137, 139-144, 157, 164-165, 244-245, 248, 426-458"},
    {msGerman, "3, 51, 59, 61, 66, 68, 70, 75-76, 96, 98, 123, 133-136, 141-144, 163, 243, 248, 381-384, 386, "
               "392-430, 432-458"},
    {msSpanish, "1, 20, 81-82, 90, 98, 125, 133-136, 139, 141-144, 173-175, 381-458"},
    {msFrench, "10, 47, 52, 59, 68, 70, 75-76, 96, 98, 133-134, 136, 139-141, 143, 149, 154, 190, 243, 248, 381-458"},
    {msPortuguese, "1, 3, 20, 68, 81-82, 87, 90, 98, 133-137, 139, 141-144, 243, 248, 381-458"},
    {msGreek, "133-136, 141-144, 158-458"},
    {msRussian, "3, 90, 127, 133-138, 141, 143, 381-458"},
    {msDutch, "3, 7, 26, 30, 35, 55, 66, 68, 75-76, 90, 123-127, 132-458"},
    {msSwedish, "1, 3, 19-20, 26, 42, 59, 64, 66, 75-76, 96, 98, 124-127, 133-136, 141-144, 158-458"},
    {msPolish, "3, 26, 76, 125, 133-136, 139-458"},
    {msJapanese, "3, 20, 39, 42, 55, 77-78, 83, 93, 125, 133-458"},
    {msCzech, "3, 26, 42, 75-76, 83, 86, 133-458"},
    {msFinnish, "3, 9, 83, 90, 125, 133-136, 141-144, 146-458"},
    {msFarsi, "139-458"},
    {msChinese, "55, 127, 133-458"},
    {msChineseTraditional, "55, 127, 133-458"},
    {msChineseTraditionalBig5, "55, 127, 133-136, 138-150, 153, 158-458"},
    {msDanish, "1, 3, 9-10, 14, 20, 23-26, 30, 42, 59, 61, 64, 66, 68, 76, 80, 86, 90, 96, 98, 106, 111, 114, 125, "
               "127, 133-136, 139-458"},
    {msTurkish, "26, 35, 42, 76, 98, 144, 146-458"},
    {msKorean, "55, 133-136, 143-458"},
    {msHungarian, "3, 75-76, 80, 133-136, 139, 141-144, 146-458"},
    {msArabic, "158-458"},
    {msSerbian, "26, 66, 76, 80, 133-136, 141-144, 158-458"},
    {msNorwegian, "3, 20, 26, 66, 68, 76, 98, 125, 133-136, 141-142, 144, 158-458"},
};

std::set<int> ParseList(const std::string& List) {
  std::set<int> r;
  std::stringstream s(List);
  std::string item;
  while (std::getline(s, item, ',')) {
    const size_t dash = item.find('-');
    const int a = std::stoi(item.substr(0, dash));
    const int b = dash == std::string::npos ? a : std::stoi(item.substr(dash + 1));
    for (int n = a; n <= b; ++n) r.insert(n);
  }
  return r;
}

std::vector<uint32_t> CodePoints(const std::string& S) {
  std::vector<uint32_t> r;
  for (size_t i = 0; i < S.size();) {
    const auto c = static_cast<unsigned char>(S[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n && i + k < S.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(S[i + k]) & 0x3F);
    r.push_back(cp);
    i += size_t(n);
  }
  return r;
}

// A letter of the script the language is written in.
bool InScript(TMsgLanguage L, uint32_t C) {
  auto in = [C](uint32_t a, uint32_t b) { return C >= a && C <= b; };
  switch (L) {
    case msGreek: return in(0x0370, 0x03FF);
    case msRussian: return in(0x0400, 0x04FF);
    case msFarsi:
    case msArabic: return in(0x0620, 0x06FF);
    case msJapanese: return in(0x3040, 0x30FF) || in(0x4E00, 0x9FFF);
    case msChinese:
    case msChineseTraditional:
    case msChineseTraditionalBig5: return in(0x4E00, 0x9FFF);
    case msKorean: return in(0xAC00, 0xD7A3);
    default: return in('A', 'Z') || in('a', 'z') || in(0x00C0, 0x024F);
  }
}

// Letters of the other non-Latin scripts, which no language's words mix in.
bool ForeignLetter(TMsgLanguage L, uint32_t C) {
  const bool greek = C >= 0x0370 && C <= 0x03FF, cyrillic = C >= 0x0400 && C <= 0x04FF,
             arabic = C >= 0x0600 && C <= 0x06FF, hangul = C >= 0xAC00 && C <= 0xD7A3,
             kana = C >= 0x3040 && C <= 0x30FF;
  switch (L) {
    case msGreek: return cyrillic || arabic || hangul || kana;
    case msRussian: return greek || arabic || hangul || kana;
    case msFarsi:
    case msArabic: return greek || cyrillic || hangul || kana;
    case msJapanese: return greek || cyrillic || arabic || hangul;
    case msKorean: return greek || cyrillic || arabic || kana;
    default: return greek || cyrillic || arabic || hangul || kana;
  }
}

std::vector<std::string> Placeholders(const std::string& S) {
  std::vector<std::string> r;
  static const std::regex re("%[ds]");
  for (auto it = std::sregex_iterator(S.begin(), S.end(), re); it != std::sregex_iterator(); ++it)
    r.push_back(it->str());
  return r;
}

std::string Iconv(const std::string& S, const std::string& To, const std::string& From, bool& Ok) {
  iconv_t cd = iconv_open(To.c_str(), From.c_str());
  Ok = cd != reinterpret_cast<iconv_t>(-1);
  if (!Ok) return {};
  std::string out(S.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(S.data());
  size_t inLeft = S.size();
  char* o = out.data();
  size_t outLeft = out.size();
  Ok = iconv(cd, &in, &inLeft, &o, &outLeft) == 0 && inLeft == 0;
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

// The texts a word file gives, with the English words filled in.
std::vector<std::string> WordFileTexts(TMsgLanguage L) {
  std::vector<std::string> texts(VXWordCount);
  std::set<int> english;
  std::ifstream f(std::string(VX_SOURCE_DIR) + "/words/text/" + VXWordTextFileNames[L] + ".txt");
  std::string line;
  while (std::getline(f, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line.rfind("english:", 0) == 0) {
      english = ParseList(line.substr(8));
      continue;
    }
    const size_t space = line.find(' ');
    texts[size_t(std::stoi(line.substr(0, space)))] = line.substr(space + 1);
  }
  for (int n : english) texts[size_t(n)] = VXWordTable[msEnglish][n];
  return texts;
}

TEST_F(TWordDataTest, EnglishTextExactlyWhereTheCatalogueKeepsIt) {
  for (const auto& [lang, list] : kEnglishWords) {
    const std::set<int> english = ParseList(list);
    for (int i = 0; i < VXWordCount; ++i) {
      const std::string& text = Entry(lang, i);
      EXPECT_FALSE(text.empty()) << VXWordTextFileNames[lang] << " word " << i;
      if (english.count(i))
        EXPECT_EQ(text, Entry(msEnglish, i)) << VXWordTextFileNames[lang] << " word " << i;
      else
        EXPECT_NE(text, Entry(msEnglish, i)) << VXWordTextFileNames[lang] << " word " << i << " is untranslated";
    }
  }
}

TEST_F(TWordDataTest, FormatWordsKeepTheirPlaceholdersInOrder) {
  const std::set<int> formatWords = {153, 154, 417, 420, 455, 458};
  for (const auto& [lang, list] : kEnglishWords) {
    for (int i = 0; i < VXWordCount; ++i) {
      const std::vector<std::string> expected = Placeholders(Entry(msEnglish, i));
      EXPECT_EQ(expected.empty(), formatWords.count(i) == 0) << i;
      EXPECT_EQ(Placeholders(Entry(lang, i)), expected) << VXWordTextFileNames[lang] << " word " << i << ": "
                                                        << Entry(lang, i);
      // A per cent sign that is no placeholder would still be read as one by
      // a caller's format: only word 286, which nobody formats, has one ("100%").
      const std::string& t = Entry(lang, i);
      for (size_t p = t.find('%'); p != std::string::npos; p = t.find('%', p + 1)) {
        if (i == 286)
          EXPECT_TRUE(p >= 3 && t.compare(p - 3, 3, "100") == 0) << VXWordTextFileNames[lang] << ": " << t;
        else
          EXPECT_TRUE(p + 1 < t.size() && (t[p + 1] == 'd' || t[p + 1] == 's'))
              << VXWordTextFileNames[lang] << " word " << i << ": " << t;
      }
    }
  }
  // The quotes around the name in words 417 and 420 stay where they are.
  for (const auto& [lang, list] : kEnglishWords)
    for (int i : {417, 420}) EXPECT_NE(Entry(lang, i).find("\"%s\""), std::string::npos) << Entry(lang, i);
}

TEST_F(TWordDataTest, EveryTextRoundTripsThroughItsCodePage) {
  for (const auto& [lang, list] : kEnglishWords) {
    const std::string cp = "CP" + std::to_string(VXLanguageCharInfo[lang].CodePage);
    for (int i = 0; i < VXWordCount; ++i) {
      bool ok = false;
      const std::string bytes = Iconv(Entry(lang, i), cp, "UTF-8", ok);
      ASSERT_TRUE(ok) << VXWordTextFileNames[lang] << " word " << i << " does not fit " << cp;
      EXPECT_EQ(Iconv(bytes, "UTF-8", cp, ok), Entry(lang, i)) << VXWordTextFileNames[lang] << " word " << i;
    }
  }
}

TEST_F(TWordDataTest, TranslationsAreWrittenInTheLanguagesScript) {
  for (const auto& [lang, list] : kEnglishWords) {
    const std::set<int> english = ParseList(list);
    for (int i = 0; i < VXWordCount; ++i) {
      if (english.count(i)) continue;
      const std::vector<uint32_t> cps = CodePoints(Entry(lang, i));
      bool script = false;
      for (uint32_t c : cps) {
        script |= InScript(lang, c);
        EXPECT_FALSE(ForeignLetter(lang, c)) << VXWordTextFileNames[lang] << " word " << i << ": " << Entry(lang, i);
        // Code page 1256 has no Farsi yeh: the Arabic yeh stands for it.
        EXPECT_NE(c, 0x06CCu) << VXWordTextFileNames[lang] << " word " << i;
      }
      EXPECT_TRUE(script) << VXWordTextFileNames[lang] << " word " << i << ": " << Entry(lang, i);
    }
  }
}

TEST_F(TWordDataTest, StoredTextsAreTheWordFilesTexts) {
  for (const auto& [lang, list] : kEnglishWords) {
    const std::vector<std::string> texts = WordFileTexts(lang);
    for (int i = 0; i < VXWordCount; ++i)
      EXPECT_EQ(Entry(lang, i), texts[size_t(i)]) << VXWordTextFileNames[lang] << " word " << i;
  }
}

TEST_F(TWordDataTest, TraditionalChineseRowsWordPrintDifferently) {
  for (int i : {91, 104}) {
    EXPECT_NE(Entry(msChineseTraditional, i), Entry(msChineseTraditionalBig5, i)) << i;
    EXPECT_NE(Entry(msChineseTraditional, i), Entry(msEnglish, i)) << i;
  }
}

}  // namespace
