// Locale ids as Windows numbers them. The platform layer takes the thread
// locale once, on first use, from the POSIX message locale of the environment
// (LC_ALL, else LC_MESSAGES, else LANG); SetThreadLocale replaces it.
// Number and date formats do not follow it: they stay in the fixed format
// record of core/textutils.h.
#pragma once
#include <cstdint>
#include <string>

using LCID = uint32_t;
using LANGID = uint16_t;

constexpr LANGID MAKELANGID(uint16_t Primary, uint16_t Sub) { return LANGID((Sub << 10) | Primary); }
constexpr uint16_t PRIMARYLANGID(LANGID Lang) { return Lang & 0x3FF; }
constexpr uint16_t SUBLANGID(LANGID Lang) { return Lang >> 10; }
constexpr LANGID LANGIDFROMLCID(LCID Locale) { return LANGID(Locale & 0xFFFF); }

constexpr uint16_t LANG_ARABIC = 0x01;
constexpr uint16_t LANG_CHINESE = 0x04;
constexpr uint16_t LANG_CZECH = 0x05;
constexpr uint16_t LANG_DANISH = 0x06;
constexpr uint16_t LANG_GERMAN = 0x07;
constexpr uint16_t LANG_GREEK = 0x08;
constexpr uint16_t LANG_ENGLISH = 0x09;
constexpr uint16_t LANG_SPANISH = 0x0A;
constexpr uint16_t LANG_FINNISH = 0x0B;
constexpr uint16_t LANG_FRENCH = 0x0C;
constexpr uint16_t LANG_HEBREW = 0x0D;
constexpr uint16_t LANG_HUNGARIAN = 0x0E;
constexpr uint16_t LANG_ITALIAN = 0x10;
constexpr uint16_t LANG_JAPANESE = 0x11;
constexpr uint16_t LANG_KOREAN = 0x12;
constexpr uint16_t LANG_DUTCH = 0x13;
constexpr uint16_t LANG_NORWEGIAN = 0x14;
constexpr uint16_t LANG_POLISH = 0x15;
constexpr uint16_t LANG_PORTUGUESE = 0x16;
constexpr uint16_t LANG_RUSSIAN = 0x19;
constexpr uint16_t LANG_SERBIAN = 0x1A;  // also LANG_CROATIAN and LANG_BOSNIAN
constexpr uint16_t LANG_CROATIAN = 0x1A;
constexpr uint16_t LANG_BOSNIAN = 0x1A;
constexpr uint16_t LANG_SWEDISH = 0x1D;
constexpr uint16_t LANG_TURKISH = 0x1F;
constexpr uint16_t LANG_FARSI = 0x29;

constexpr uint16_t SUBLANG_CHINESE_TRADITIONAL = 0x01;
constexpr uint16_t SUBLANG_CHINESE_SIMPLIFIED = 0x02;
constexpr uint16_t SUBLANG_CHINESE_HONGKONG = 0x03;
constexpr uint16_t SUBLANG_CHINESE_SINGAPORE = 0x04;
constexpr uint16_t SUBLANG_CHINESE_MACAU = 0x05;

// Locale of the calling program (one for all threads, as the library reads
// the main thread's).
LCID GetThreadLocale();
// Replaces it; always succeeds.
bool SetThreadLocale(LCID Locale);

// The POSIX message locale of the environment: the first non-empty of
// LC_ALL, LC_MESSAGES and LANG; empty when none is set.
std::string VXMessageLocaleName();
// Locale id of a POSIX locale name "language[_TERRITORY][.codeset][@modifier]".
// A language without the territory gets its main locale; "C", "POSIX", an
// empty name and languages this table does not know give 0.
LCID VXLocaleNameToLCID(const std::string& Name);
