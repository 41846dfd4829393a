#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/win_locale.h"

namespace {

// Sets or unsets the message-locale variables for one test and puts the
// previous values back.
class TLocaleEnvironment {
public:
  TLocaleEnvironment() {
    for (const char* v : kVars) {
      const char* old = std::getenv(v);
      fSaved[v] = old ? std::optional<std::string>(old) : std::nullopt;
    }
  }
  ~TLocaleEnvironment() {
    for (const auto& [name, value] : fSaved) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  static void Set(const char* Name, const char* Value) {
    if (Value)
      setenv(Name, Value, 1);
    else
      unsetenv(Name);
  }
  static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};

private:
  std::map<std::string, std::optional<std::string>> fSaved;
};

TEST(PlatformLocale, PosixNamesMapToLocaleIds) {
  struct TCase {
    const char* Name;
    LCID Id;
  };
  const TCase cases[] = {
      {"de_DE.UTF-8", 0x0407}, {"de_AT.UTF-8", 0x0C07},     {"de", 0x0407},          {"de_XX", 0x0407},
      {"de_DE@euro", 0x0407},  {"EN_us.utf8", 0x0409},      {"en_GB", 0x0809},       {"en-US", 0x0409},
      {"hr_HR.UTF-8", 0x041A}, {"bs_BA.UTF-8", 0x141A},     {"sr_RS", 0x281A},       {"sr_RS@latin", 0x241A},
      {"sr_ME@latin", 0x2C1A}, {"nb_NO.UTF-8", 0x0414},     {"no_NO", 0x0414},       {"nn_NO.UTF-8", 0x0814},
      {"zh_CN.GB18030", 0x0804}, {"zh_TW.Big5", 0x0404},    {"zh_HK.UTF-8", 0x0C04}, {"zh_SG", 0x1004},
      {"pt_BR.UTF-8", 0x0416}, {"pt_PT.UTF-8", 0x0816},     {"es_ES.UTF-8", 0x0C0A}, {"es_MX", 0x080A},
      {"he_IL.UTF-8", 0x040D}, {"fa_IR.UTF-8", 0x0429},     {"ja_JP.eucJP", 0x0411}, {"ko_KR.EUC-KR", 0x0412},
      {"C", 0},                {"POSIX", 0},                {"", 0},                 {"C.UTF-8", 0},
      {"xx_YY.UTF-8", 0},      {".UTF-8", 0},               {"_DE", 0},              {"@latin", 0},
  };
  for (const TCase& c : cases) EXPECT_EQ(VXLocaleNameToLCID(c.Name), c.Id) << c.Name;
}

TEST(PlatformLocale, MessageLocaleComesFromLcAllThenLcMessagesThenLang) {
  struct TCase {
    const char* LcAll;
    const char* LcMessages;
    const char* Lang;
    const char* Expected;
  };
  const TCase cases[] = {
      {"fr_FR.UTF-8", "de_DE.UTF-8", "it_IT.UTF-8", "fr_FR.UTF-8"},
      {nullptr, "de_DE.UTF-8", "it_IT.UTF-8", "de_DE.UTF-8"},
      {"", "", "it_IT.UTF-8", "it_IT.UTF-8"},
      {nullptr, nullptr, nullptr, ""},
  };
  TLocaleEnvironment env;
  for (const TCase& c : cases) {
    TLocaleEnvironment::Set("LC_ALL", c.LcAll);
    TLocaleEnvironment::Set("LC_MESSAGES", c.LcMessages);
    TLocaleEnvironment::Set("LANG", c.Lang);
    EXPECT_EQ(VXMessageLocaleName(), c.Expected);
  }
}

TEST(PlatformLocale, ThreadLocaleCanBeReplaced) {
  const LCID before = GetThreadLocale();
  for (LCID l : {LCID(0x0419), LCID(0), LCID(0x12345678)}) {
    EXPECT_TRUE(SetThreadLocale(l));
    EXPECT_EQ(GetThreadLocale(), l);
  }
  SetThreadLocale(before);
}

// The ids agree with the table of locale ids that Python carries
// (locale.windows_locale), for a locale of each word-table language.
TEST(PlatformLocale, IdsAgreeWithPythonsWindowsLocaleTable) {
  FILE* p = popen("python3 -c 'import locale\nfor k, v in locale.windows_locale.items(): print(k, v)' 2>/dev/null",
                  "r");
  std::multimap<std::string, LCID> byName;
  if (p != nullptr) {
    unsigned id = 0;
    char name[64];
    while (std::fscanf(p, "%u %63s", &id, name) == 2) byName.emplace(name, id);
    pclose(p);
  }
  if (byName.empty()) GTEST_SKIP() << "python3 is not installed: no table to compare with";
  const char* names[] = {"en_US", "it_IT", "de_DE", "es_ES", "fr_FR", "pt_PT", "pt_BR", "el_GR", "ru_RU",
                         "nl_NL", "sv_SE", "pl_PL", "ja_JP", "cs_CZ", "fi_FI", "fa_IR", "zh_CN", "zh_TW",
                         "zh_HK", "zh_MO", "zh_SG", "da_DK", "tr_TR", "ko_KR", "hu_HU", "ar_SA", "ar_EG",
                         "sr_SP", "sr_BA", "hr_HR", "bs_BA", "nb_NO", "nn_NO", "he_IL", "de_AT", "en_GB",
                         "fr_CA", "es_MX"};
  for (const char* n : names) {
    std::set<LCID> ids;
    for (auto [it, end] = byName.equal_range(n); it != end; ++it) ids.insert(it->second);
    ASSERT_FALSE(ids.empty()) << n << " is not in Python's table";
    const LCID got = VXLocaleNameToLCID(std::string(n) + ".UTF-8");
    EXPECT_TRUE(ids.count(got)) << n << " gave 0x" << std::hex << got;
  }
}

}  // namespace
