#include "platform/win_locale.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

struct TLocaleRow {
  const char* Language;   // lower case
  const char* Territory;  // upper case; empty: the language's main locale
  const char* Modifier;   // "@latin", "@cyrillic" or empty
  LCID Locale;
};

// Languages of the word tables, Croatian and Bosnian, and the common others.
constexpr TLocaleRow kLocales[] = {
    {"af", "", "", 0x0436}, {"ar", "", "", 0x0401}, {"ar", "IQ", "", 0x0801},
    {"ar", "EG", "", 0x0C01}, {"ar", "LY", "", 0x1001}, {"ar", "DZ", "", 0x1401}, {"ar", "MA", "", 0x1801},
    {"ar", "TN", "", 0x1C01}, {"ar", "OM", "", 0x2001}, {"ar", "YE", "", 0x2401}, {"ar", "SY", "", 0x2801},
    {"ar", "JO", "", 0x2C01}, {"ar", "LB", "", 0x3001}, {"ar", "KW", "", 0x3401}, {"ar", "AE", "", 0x3801},
    {"ar", "BH", "", 0x3C01}, {"ar", "QA", "", 0x4001}, {"be", "", "", 0x0423}, {"bg", "", "", 0x0402},
    {"bn", "", "", 0x0445}, {"bs", "", "", 0x141A}, {"bs", "", "@cyrillic", 0x201A}, {"ca", "", "", 0x0403},
    {"cs", "", "", 0x0405}, {"cy", "", "", 0x0452}, {"da", "", "", 0x0406}, {"de", "", "", 0x0407},
    {"de", "CH", "", 0x0807}, {"de", "AT", "", 0x0C07}, {"de", "LU", "", 0x1007}, {"de", "LI", "", 0x1407},
    {"el", "", "", 0x0408}, {"en", "", "", 0x0409}, {"en", "GB", "", 0x0809}, {"en", "AU", "", 0x0C09},
    {"en", "CA", "", 0x1009}, {"en", "NZ", "", 0x1409}, {"en", "IE", "", 0x1809}, {"en", "ZA", "", 0x1C09},
    {"en", "JM", "", 0x2009}, {"en", "BZ", "", 0x2809}, {"en", "TT", "", 0x2C09}, {"en", "ZW", "", 0x3009},
    {"en", "PH", "", 0x3409}, {"en", "IN", "", 0x4009}, {"en", "MY", "", 0x4409}, {"en", "SG", "", 0x4809},
    {"es", "", "", 0x0C0A}, {"es", "MX", "", 0x080A}, {"es", "GT", "", 0x100A}, {"es", "CR", "", 0x140A},
    {"es", "PA", "", 0x180A}, {"es", "DO", "", 0x1C0A}, {"es", "VE", "", 0x200A}, {"es", "CO", "", 0x240A},
    {"es", "PE", "", 0x280A}, {"es", "AR", "", 0x2C0A}, {"es", "EC", "", 0x300A}, {"es", "CL", "", 0x340A},
    {"es", "UY", "", 0x380A}, {"es", "PY", "", 0x3C0A}, {"es", "BO", "", 0x400A}, {"es", "SV", "", 0x440A},
    {"es", "HN", "", 0x480A}, {"es", "NI", "", 0x4C0A}, {"es", "PR", "", 0x500A}, {"es", "US", "", 0x540A},
    {"et", "", "", 0x0425}, {"eu", "", "", 0x042D}, {"fa", "", "", 0x0429}, {"fi", "", "", 0x040B},
    {"fr", "", "", 0x040C}, {"fr", "BE", "", 0x080C}, {"fr", "CA", "", 0x0C0C}, {"fr", "CH", "", 0x100C},
    {"fr", "LU", "", 0x140C}, {"fr", "MC", "", 0x180C}, {"ga", "", "", 0x083C}, {"gl", "", "", 0x0456},
    {"he", "", "", 0x040D}, {"hi", "", "", 0x0439}, {"hr", "", "", 0x041A}, {"hr", "BA", "", 0x101A},
    {"hu", "", "", 0x040E}, {"hy", "", "", 0x042B}, {"id", "", "", 0x0421}, {"is", "", "", 0x040F},
    {"it", "", "", 0x0410}, {"it", "CH", "", 0x0810}, {"ja", "", "", 0x0411}, {"ka", "", "", 0x0437},
    {"kk", "", "", 0x043F}, {"ko", "", "", 0x0412}, {"lt", "", "", 0x0427}, {"lv", "", "", 0x0426},
    {"mk", "", "", 0x042F}, {"ms", "", "", 0x043E}, {"nb", "", "", 0x0414}, {"nl", "", "", 0x0413},
    {"nl", "BE", "", 0x0813}, {"nn", "", "", 0x0814}, {"no", "", "", 0x0414}, {"pl", "", "", 0x0415},
    {"pt", "", "", 0x0416}, {"pt", "PT", "", 0x0816}, {"ro", "", "", 0x0418}, {"ru", "", "", 0x0419},
    {"sk", "", "", 0x041B}, {"sl", "", "", 0x0424}, {"sq", "", "", 0x041C}, {"sr", "", "", 0x281A},
    {"sr", "", "@latin", 0x241A}, {"sr", "ME", "", 0x301A}, {"sr", "ME", "@latin", 0x2C1A},
    {"sr", "BA", "", 0x1C1A}, {"sr", "BA", "@latin", 0x181A}, {"sr", "SP", "", 0x0C1A},
    {"sr", "SP", "@latin", 0x081A}, {"sr", "CS", "", 0x0C1A}, {"sr", "CS", "@latin", 0x081A},
    {"sv", "", "", 0x041D}, {"sv", "FI", "", 0x081D}, {"sw", "", "", 0x0441}, {"ta", "", "", 0x0449},
    {"th", "", "", 0x041E}, {"tr", "", "", 0x041F}, {"uk", "", "", 0x0422}, {"ur", "", "", 0x0420},
    {"vi", "", "", 0x042A}, {"zh", "", "", 0x0804}, {"zh", "TW", "", 0x0404}, {"zh", "HK", "", 0x0C04},
    {"zh", "SG", "", 0x1004}, {"zh", "MO", "", 0x1404},
};

std::string Lower(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
  return r;
}
std::string Upper(std::string_view s) {
  std::string r(s);
  for (auto& c : r) c = char(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

const TLocaleRow* Find(const std::string& Lang, const std::string& Terr, const std::string& Mod) {
  for (const auto& r : kLocales)
    if (Lang == r.Language && Terr == r.Territory && Mod == r.Modifier) return &r;
  return nullptr;
}

constexpr LCID kUnread = 0xFFFFFFFFu;
std::atomic<LCID> gThreadLocale{kUnread};

}  // namespace

std::string VXMessageLocaleName() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v != nullptr && *v != '\0') return v;
  }
  return {};
}

LCID VXLocaleNameToLCID(const std::string& Name) {
  std::string_view n(Name);
  std::string mod;
  if (const size_t at = n.find('@'); at != std::string_view::npos) {
    mod = Lower(n.substr(at));
    n = n.substr(0, at);
  }
  if (const size_t dot = n.find('.'); dot != std::string_view::npos) n = n.substr(0, dot);
  std::string terr;
  if (const size_t us = n.find_first_of("_-"); us != std::string_view::npos) {
    terr = Upper(n.substr(us + 1));
    n = n.substr(0, us);
  }
  const std::string lang = Lower(n);
  if (lang.empty() || lang == "c" || lang == "posix") return 0;
  if (mod != "@latin" && mod != "@cyrillic") mod.clear();
  // Most exact first: territory and script, territory, script, language.
  using TKey = std::pair<std::string, std::string>;
  for (const TKey& k : {TKey{terr, mod}, TKey{terr, ""}, TKey{"", mod}, TKey{"", ""}})
    if (const TLocaleRow* r = Find(lang, k.first, k.second)) return r->Locale;
  return 0;
}

LCID GetThreadLocale() {
  LCID l = gThreadLocale.load(std::memory_order_acquire);
  if (l == kUnread) {
    const LCID fromEnv = VXLocaleNameToLCID(VXMessageLocaleName());
    gThreadLocale.compare_exchange_strong(l, fromEnv, std::memory_order_acq_rel);
    l = gThreadLocale.load(std::memory_order_acquire);
  }
  return l;
}

bool SetThreadLocale(LCID Locale) {
  gThreadLocale.store(Locale, std::memory_order_release);
  return true;
}
