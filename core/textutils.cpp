#include "core/textutils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>

#include "core/settings.h"
#include "core/vxdefs.h"

// ---------------------------------------------------------------------------
// Format settings

TVXFormatSettings& VXFormatSettings() {
  static TVXFormatSettings s;
  return s;
}

char VXGetDecimalSeparator() { return VXFormatSettings().DecimalSeparator; }
void VXSetDecimalSeparator(char c) { VXFormatSettings().DecimalSeparator = c; }

// ---------------------------------------------------------------------------
// Float text

namespace {

// Decimal digits of Value rounded to Precision significant digits:
// Value = 0.Digits x 10^Exponent. Digits has exactly Precision characters.
struct TDecimal {
  bool Negative = false;
  bool Zero = false;
  std::string Digits;
  int32_t Exponent = 0;
};

TDecimal ToDecimal(long double Value, int32_t Precision) {
  TDecimal d;
  d.Negative = std::signbit(Value) && Value != 0;
  if (Value == 0) {
    d.Zero = true;
    d.Digits.assign(size_t(Precision), '0');
    return d;
  }
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.*Le", Precision - 1, std::fabs(Value));
  // "d.ddde[+-]xx"
  char* e = std::strchr(buf, 'e');
  int32_t exp10 = e ? std::atoi(e + 1) : 0;
  for (char* p = buf; p != e && *p; ++p)
    if (*p >= '0' && *p <= '9') d.Digits.push_back(*p);
  d.Exponent = exp10 + 1;
  return d;
}

std::string TrimTrailingZeros(std::string s) {
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  return s;
}

std::string ExponentText(int32_t exp, int32_t minDigits, bool alwaysSign) {
  std::string s;
  if (exp < 0)
    s = "-";
  else if (alwaysSign)
    s = "+";
  std::string digits = std::to_string(std::abs(exp));
  if (int32_t(digits.size()) < minDigits) digits.insert(0, size_t(minDigits) - digits.size(), '0');
  return s + digits;
}

const char* SpecialText(long double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v > 0 ? "INF" : "-INF";
  return nullptr;
}

std::string FormatGeneral(long double Value, int32_t Precision, int32_t Digits, char DecSep) {
  TDecimal d = ToDecimal(Value, Precision);
  if (d.Zero) return "0";
  std::string digits = TrimTrailingZeros(d.Digits);
  std::string s = d.Negative ? "-" : "";
  if (d.Exponent > Precision || d.Exponent < -3) {
    s += digits[0];
    if (digits.size() > 1) {
      s += DecSep;
      s += digits.substr(1);
    }
    s += 'E';
    s += ExponentText(d.Exponent - 1, Digits, false);
    return s;
  }
  if (d.Exponent <= 0) {
    s += '0';
    s += DecSep;
    s.append(size_t(-d.Exponent), '0');
    s += digits;
    return s;
  }
  if (int32_t(digits.size()) <= d.Exponent) {
    s += digits;
    s.append(size_t(d.Exponent) - digits.size(), '0');
  } else {
    s += digits.substr(0, size_t(d.Exponent));
    s += DecSep;
    s += digits.substr(size_t(d.Exponent));
  }
  return s;
}

// Rounds the decimal string (half away from zero) so that it keeps Keep
// digits; may carry into a new leading digit (then Exponent grows).
void RoundDigits(TDecimal& d, int32_t Keep) {
  if (Keep < 0) {
    d.Digits = "0";
    d.Zero = true;
    return;
  }
  if (Keep >= int32_t(d.Digits.size())) return;
  bool up = d.Digits[size_t(Keep)] >= '5';
  d.Digits.resize(size_t(Keep));
  if (up) {
    int32_t i = Keep - 1;
    for (; i >= 0; --i) {
      if (d.Digits[size_t(i)] == '9') {
        d.Digits[size_t(i)] = '0';
      } else {
        ++d.Digits[size_t(i)];
        break;
      }
    }
    if (i < 0) {
      d.Digits.insert(d.Digits.begin(), '1');
      ++d.Exponent;
    }
  }
  if (d.Digits.empty() || std::all_of(d.Digits.begin(), d.Digits.end(), [](char c) { return c == '0'; }))
    d.Zero = true;
}

std::string GroupThousands(const std::string& intPart, char Sep) {
  std::string r;
  int32_t n = int32_t(intPart.size());
  for (int32_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) r += Sep;
    r += intPart[size_t(i)];
  }
  return r;
}

// Fixed-point text of Value at Precision significant digits and Digits decimals.
bool FormatFixedParts(long double Value, int32_t Precision, int32_t Digits, bool& Negative, std::string& IntPart,
                      std::string& FracPart) {
  TDecimal d = ToDecimal(Value, Precision);
  if (!d.Zero && d.Exponent > Precision) return false;  // too large: exponent form
  Negative = d.Negative;
  if (!d.Zero) RoundDigits(d, d.Exponent + Digits);
  if (d.Zero) {
    Negative = false;
    IntPart = "0";
    FracPart.assign(size_t(Digits), '0');
    return true;
  }
  std::string all = d.Digits;
  int32_t e = d.Exponent;
  if (e <= 0) {
    all.insert(0, size_t(-e) + 1, '0');
    e = 1;
  }
  if (int32_t(all.size()) < e + Digits) all.append(size_t(e + Digits) - all.size(), '0');
  IntPart = all.substr(0, size_t(e));
  FracPart = all.substr(size_t(e), size_t(Digits));
  return true;
}

std::string FormatExponent(long double Value, int32_t Precision, int32_t Digits, char DecSep) {
  TDecimal d = ToDecimal(Value, Precision);
  std::string s = d.Negative ? "-" : "";
  s += d.Digits[0];
  if (d.Digits.size() > 1) {
    s += DecSep;
    s += d.Digits.substr(1);
  }
  s += 'E';
  s += ExponentText(d.Zero ? 0 : d.Exponent - 1, Digits, true);
  return s;
}

std::string ReplaceSeparatorsByDot(std::string s) {
  char sep = VXGetDecimalSeparator();
  for (char& c : s)
    if (c == ',' || c == sep) c = '.';
  return s;
}

// Run-time text-to-float: blanks around, sign, digits with one decimal
// separator, optional exponent; nothing else.
bool TextToFloat(const std::string& S, char DecSep, long double& Result) {
  size_t i = 0, n = S.size();
  while (i < n && S[i] == ' ') ++i;
  while (n > i && S[n - 1] == ' ') --n;
  std::string norm;
  if (i < n && (S[i] == '+' || S[i] == '-')) {
    if (S[i] == '-') norm += '-';
    ++i;
  }
  bool anyDigit = false, sepSeen = false;
  for (; i < n; ++i) {
    char c = S[i];
    if (c >= '0' && c <= '9') {
      norm += c;
      anyDigit = true;
    } else if (c == DecSep && !sepSeen) {
      norm += '.';
      sepSeen = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return false;
  if (i < n && (S[i] == 'e' || S[i] == 'E')) {
    norm += 'e';
    ++i;
    if (i < n && (S[i] == '+' || S[i] == '-')) norm += S[i++];
    bool expDigit = false;
    while (i < n && S[i] >= '0' && S[i] <= '9') {
      norm += S[i++];
      expDigit = true;
    }
    if (!expDigit) return false;
  }
  if (i != n) return false;
  long double v = 0;
  auto res = std::from_chars(norm.data(), norm.data() + norm.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Overflow gives infinity, underflow zero, as the run-time conversion would fail: refuse.
    return false;
  }
  if (res.ec != std::errc() || res.ptr != norm.data() + norm.size()) return false;
  Result = v;
  return true;
}

}  // namespace

std::string VXFloatToAnsiStrDot(long double Value) {
  if (const char* sp = SpecialText(Value)) return sp;
  return ReplaceSeparatorsByDot(FormatGeneral(Value, 15, 0, VXGetDecimalSeparator()));
}
std::string VXFloatToStrDot(long double Value) { return VXFloatToAnsiStrDot(Value); }
std::string VXFloatToWideStrDot(long double Value) { return VXFloatToAnsiStrDot(Value); }

long double VXStrToFloatDefAnsi(const std::string& S, long double Default) {
  char sep = VXGetDecimalSeparator();
  long double v;
  if (TextToFloat(S, sep, v)) return v;
  std::string s2 = S;
  size_t p = s2.find(',');
  if (p != std::string::npos) {
    s2[p] = '.';
  } else {
    p = s2.find('.');
    if (p != std::string::npos) s2[p] = ',';
  }
  if (TextToFloat(s2, sep, v)) return v;
  return Default;
}
long double VXStrToFloatDefWide(const std::string& S, long double Default) { return VXStrToFloatDefAnsi(S, Default); }
long double VXStrToFloatDef(const std::string& S, long double Default) { return VXStrToFloatDefAnsi(S, Default); }

std::string VXFloatToStrF(long double Value, TFloatFormat Format, int32_t Precision, int32_t Digits) {
  if (const char* sp = SpecialText(Value)) return sp;
  const TVXFormatSettings& fs = VXFormatSettings();
  Precision = std::clamp<int32_t>(Precision, 2, 18);
  switch (Format) {
    case ffGeneral:
      return FormatGeneral(Value, Precision, std::clamp<int32_t>(Digits, 0, 4), fs.DecimalSeparator);
    case ffExponent:
      return FormatExponent(Value, Precision, std::clamp<int32_t>(Digits, 0, 4), fs.DecimalSeparator);
    case ffFixed:
    case ffNumber:
    case ffCurrency: {
      Digits = std::clamp<int32_t>(Digits, 0, 18);
      bool neg = false;
      std::string ip, fp;
      if (!FormatFixedParts(Value, Precision, Digits, neg, ip, fp))
        return FormatExponent(Value, Precision, 0, fs.DecimalSeparator);
      if (Format != ffFixed) ip = GroupThousands(ip, fs.ThousandSeparator);
      std::string num = ip;
      if (Digits > 0) {
        num += fs.DecimalSeparator;
        num += fp;
      }
      if (Format != ffCurrency) return (neg ? "-" : "") + num;
      std::string cur;
      switch (fs.CurrencyFormat) {
        case 1:
          cur = num + fs.CurrencyString;
          break;
        case 2:
          cur = fs.CurrencyString + " " + num;
          break;
        case 3:
          cur = num + " " + fs.CurrencyString;
          break;
        default:
          cur = fs.CurrencyString + num;
          break;
      }
      return (neg ? "-" : "") + cur;
    }
  }
  return FormatGeneral(Value, Precision, 0, fs.DecimalSeparator);
}

std::string VXFormatFloatAnsi(int32_t Decimals, bool TrimZeros, double Value) {
  Decimals = std::clamp<int32_t>(Decimals, 0, 30);
  char buf[400];
  if (std::isnan(Value) || std::isinf(Value)) return SpecialText(Value);
  std::snprintf(buf, sizeof buf, "%.*f", int(Decimals), Value);
  std::string s = buf;
  char sep = VXGetDecimalSeparator();
  for (char& c : s)
    if (c == '.') c = sep;
  if (TrimZeros && s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}
std::string VXFormatFloat(int32_t Decimals, bool TrimZeros, double Value) {
  return VXFormatFloatAnsi(Decimals, TrimZeros, Value);
}

std::string VXFormatThousands(int64_t N) {
  uint64_t mag = N < 0 ? uint64_t(0) - uint64_t(N) : uint64_t(N);
  std::string s = GroupThousands(std::to_string(mag), VXFormatSettings().ThousandSeparator);
  return N < 0 ? "-" + s : s;
}

std::string VXFormatBytesKB(int64_t N, int64_t Threshold) {
  if (N < Threshold) return VXFormatThousands(N) + " bytes";
  return VXFormatThousands(N / 1024) + " KB";
}

std::string VXFormatFileSize(int64_t Size) {
  if (Size < 10485760) return VXFormatBytesKB(Size, 1024);
  if (Size >= 1073741824) return VXFormatFloat(2, true, double(Size) / 1073741824.0) + " GB";
  return VXFormatFloat(2, true, double(Size) / 1048576.0) + " MB";
}

void VXFloatToFraction(double Value, double Accuracy, int32_t& Numerator, int32_t& Denominator) {
  const long double kMax = 2147483647.0L;
  int32_t sign = Value < 0 ? -1 : 1;
  long double x = std::fabs((long double)Value);
  if (std::isnan(x)) {
    Numerator = 0;
    Denominator = 1;
    return;
  }
  if (x == std::trunc(x) && x <= kMax) {
    Numerator = int32_t(sign * int64_t(x));
    Denominator = 1;
    return;
  }
  if (x < 1e-19L) {
    Numerator = sign;
    Denominator = 999999999;
    return;
  }
  if (x > 1e19L) {
    Numerator = sign * 999999999;
    Denominator = 1;
    return;
  }
  if (x > kMax) {  // integral or not, no fraction of 32-bit terms comes closer
    Numerator = sign * 2147483647;
    Denominator = 1;
    return;
  }
  int64_t bestN = int64_t(std::trunc(x)), bestD = 1;
  long double z = x, p = 0, d = 1;
  for (;;) {
    long double frac = z - std::trunc(z);
    if (frac <= 0) break;
    z = 1.0L / frac;
    long double dn = d * std::trunc(z) + p;
    p = d;
    d = dn;
    if (!(d <= kMax)) break;
    long double n = std::trunc(x * d + 0.5L);
    if (!(n <= kMax)) break;
    bestN = int64_t(n);
    bestD = int64_t(d);
    if (std::fabs(x - n / d) < Accuracy || z == std::trunc(z)) break;
  }
  Numerator = int32_t(sign * bestN);
  Denominator = int32_t(bestD);
}

std::string VXIntToAnsiStr(int64_t Value) { return std::to_string(Value); }

int32_t VXStrToIntDefAnsi(const std::string& S, int32_t Default) {
  size_t i = 0, n = S.size();
  while (i < n && S[i] == ' ') ++i;
  bool neg = false;
  if (i < n && (S[i] == '+' || S[i] == '-')) neg = S[i++] == '-';
  int base = 10;
  if (i < n && S[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return Default;
  uint64_t v = 0;
  for (; i < n; ++i) {
    int digit;
    char c = S[i];
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return Default;
    v = v * uint64_t(base) + uint64_t(digit);
    if (v > 0xFFFFFFFFull) return Default;
  }
  if (base == 10) {
    if (neg ? v > 2147483648ull : v > 2147483647ull) return Default;
    return neg ? int32_t(-int64_t(v)) : int32_t(v);
  }
  // Hexadecimal text may spell the full 32-bit pattern.
  int32_t r = int32_t(uint32_t(v));
  return neg ? int32_t(0u - uint32_t(r)) : r;
}

std::string VXIntToHexAnsi(int64_t Value, int32_t Digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(Value));
  std::string s = buf;
  Digits = std::clamp<int32_t>(Digits, 0, 32);
  if (int32_t(s.size()) < Digits) s.insert(0, size_t(Digits) - s.size(), '0');
  return s;
}

std::string VXRGBToStr(int32_t RGB) {
  uint32_t v = uint32_t(RGB);
  return std::to_string((v >> 16) & 255) + ", " + std::to_string((v >> 8) & 255) + ", " + std::to_string(v & 255);
}
std::string VXRGBToWideStr(int32_t RGB) { return VXRGBToStr(RGB); }
std::string VXRGBToAnsiStr(int32_t RGB) { return VXRGBToStr(RGB); }

int32_t VXStrToRGB(const std::string& S) {
  uint32_t ch[3] = {0, 0, 0};
  size_t start = 0;
  for (int part = 0; part < 3; ++part) {
    size_t comma = S.find(',', start);
    std::string item = S.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    ch[part] = uint32_t(VXStrToIntDefAnsi(VXTrimAnsi(item), 0)) & 255u;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return int32_t((ch[0] << 16) | (ch[1] << 8) | ch[2]);
}
int32_t VXWideStrToRGB(const std::string& S) { return VXStrToRGB(S); }

std::string VXBoolToStr(bool B) { return B ? "1" : "0"; }
std::string VXBoolToWideStr(bool B) { return VXBoolToStr(B); }

bool VXStrToBool(const std::string& S) {
  std::string u = VXUpperCaseAnsi(S);
  return u == "1" || u == "TRUE" || u == "T";
}
bool VXWideStrToBool(const std::string& S) { return VXStrToBool(S); }

bool VXColorsWithinTolerance(int32_t Tolerance, int32_t A, int32_t B) {
  for (int shift = 0; shift <= 16; shift += 8) {
    int32_t a = (A >> shift) & 255, b = (B >> shift) & 255;
    if (std::abs(a - b) > Tolerance) return false;
  }
  return true;
}

bool VXIsBlankChar(uint8_t C) { return C == 8 || C == 9 || C == 10 || C == 13 || C == 32; }

std::string VXStripControlChars(const std::string& S) {
  std::string r;
  r.reserve(S.size());
  for (char c : S) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u != 127) r += c;
  }
  return r;
}

std::u16string VXStripControlCharsW(const std::u16string& S) {
  std::u16string r;
  r.reserve(S.size());
  for (char16_t c : S)
    if (c >= 32 && c != 127) r += c;
  return r;
}

// ---------------------------------------------------------------------------
// String kinds

namespace {

// Windows-1252 characters 0x80..0x9F (unassigned ones keep their C1 value).
const uint16_t kCP1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::string VXUTF8ToAnsi(const std::string& S) {
  std::string r;
  r.reserve(S.size());
  size_t i = 0;
  while (i < S.size()) {
    uint32_t cp = VXNextUTF8(S, i);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      r += char(cp);
      continue;
    }
    char c = '?';
    for (int k = 0; k < 32; ++k)
      if (kCP1252High[k] == cp) {
        c = char(0x80 + k);
        break;
      }
    r += c;
  }
  return r;
}

std::string VXAnsiToUTF8(const std::string& S) {
  std::string r;
  r.reserve(S.size());
  for (char ch : S) {
    auto u = static_cast<unsigned char>(ch);
    VXAppendUTF8(r, u >= 0x80 && u < 0xA0 ? kCP1252High[u - 0x80] : u);
  }
  return r;
}

// ---------------------------------------------------------------------------
// NUL-terminated strings

size_t VXStrLenA(const char* S) { return S ? std::strlen(S) : 0; }

size_t VXStrLenW(const char16_t* S) {
  if (!S) return 0;
  size_t n = 0;
  while (S[n]) ++n;
  return n;
}

char* VXStrCopyA(char* Dest, const char* Source) { return std::strcpy(Dest, Source); }

char16_t* VXStrCopyW(char16_t* Dest, const char16_t* Source) {
  size_t i = 0;
  do {
    Dest[i] = Source[i];
  } while (Source[i++]);
  return Dest;
}

char* VXStrPCopyA(char* Dest, const std::string& Source) {
  std::memcpy(Dest, Source.c_str(), Source.size() + 1);
  return Dest;
}

char16_t* VXWStrPCopy(char16_t* Dest, const std::u16string& Source) {
  std::memcpy(Dest, Source.c_str(), (Source.size() + 1) * sizeof(char16_t));
  return Dest;
}

char* VXStrMoveA(char* Dest, const char* Source, size_t Count) {
  std::memmove(Dest, Source, Count);
  return Dest;
}

const char* VXStrScanA(const char* S, char C) {
  // UTF-8: the bytes of a multi-byte character never equal an ASCII
  // character, so a byte scan respects characters; a non-ASCII C is looked
  // for as a byte.
  return VXStrScanByteA(S, C);
}

const char* VXStrScanByteA(const char* S, char C) {
  if (!S) return nullptr;
  for (; *S; ++S)
    if (*S == C) return S;
  return nullptr;
}

const char* VXStrRScanA(const char* S, char C) {
  if (!S) return nullptr;
  const char* last = nullptr;
  for (; *S; ++S)
    if (*S == C) last = S;
  return last;
}

char* VXStrNewA(const char* S) {
  if (!S) return nullptr;
  size_t n = std::strlen(S);
  char* p = new char[n + 1];
  std::memcpy(p, S, n + 1);
  return p;
}

char16_t* VXStrNewW(const char16_t* S) {
  if (!S) return nullptr;
  size_t n = VXStrLenW(S);
  char16_t* p = new char16_t[n + 1];
  std::memcpy(p, S, (n + 1) * sizeof(char16_t));
  return p;
}

std::string VXTrimAnsi(const std::string& S) {
  size_t a = 0, b = S.size();
  while (a < b && static_cast<unsigned char>(S[a]) <= ' ') ++a;
  while (b > a && static_cast<unsigned char>(S[b - 1]) <= ' ') --b;
  return S.substr(a, b - a);
}

std::string VXUpperCaseAnsi(const std::string& S) {
  std::string r = S;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  return r;
}

std::string VXLowerCaseAnsi(const std::string& S) {
  std::string r = S;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return r;
}

std::string VXCopyAnsi(const std::string& S, int64_t From, int64_t Count) {
  if (From < 1) From = 1;
  if (Count <= 0 || From > int64_t(S.size())) return {};
  return S.substr(size_t(From - 1), size_t(std::min<int64_t>(Count, int64_t(S.size()) - From + 1)));
}

int64_t VXPosAnsi(const std::string& Sub, const std::string& S) {
  if (Sub.empty()) return 0;
  size_t p = S.find(Sub);
  return p == std::string::npos ? 0 : int64_t(p) + 1;
}

void VXCopyByteArray(const std::vector<uint8_t>& Source, std::vector<uint8_t>& Dest) { Dest = Source; }

// ---------------------------------------------------------------------------
// File names

std::string VXLowerFileExt(const std::string& Name, bool IncludeDot) {
  size_t slash = Name.rfind('/');
  size_t dot = Name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = VXLowerCaseAnsi(Name.substr(dot));
  return IncludeDot ? ext : ext.substr(1);
}
std::string VXLowerFileExtAnsi(const std::string& Name, bool IncludeDot) { return VXLowerFileExt(Name, IncludeDot); }
std::string VXLowerFileExtW(const std::string& Name, bool IncludeDot) { return VXLowerFileExt(Name, IncludeDot); }

bool VXExtInList(const std::string& Ext, const std::string& List) {
  std::string e = VXLowerCaseAnsi(Ext);
  if (e.empty() || e[0] != '.') e.insert(0, 1, '.');
  if (e.size() < 2) return false;
  e += ';';
  std::string l = VXLowerCaseAnsi(List) + ";";
  // Whole items only: ".pg" is not in ".jpg". An item may be a mask
  // ("*.jpg;*.png").
  for (size_t p = l.find(e); p != std::string::npos; p = l.find(e, p + 1)) {
    const size_t start = (p > 0 && l[p - 1] == '*') ? p - 1 : p;
    if (start == 0 || l[start - 1] == ';') return true;
  }
  return false;
}

bool VXFileExtInList(const std::string& FileName, const std::string& List) {
  return VXExtInList(VXLowerFileExt(FileName, true), List);
}

int32_t VXGetURLScheme(const std::string& Name) {
  std::string l = VXLowerCaseAnsi(Name.substr(0, 8));
  if (l.rfind("http://", 0) == 0) return 1;
  if (l.rfind("https://", 0) == 0) return 2;
  if (l.rfind("ftp://", 0) == 0) return 3;
  return 0;
}
int32_t VXGetURLSchemeW(const std::string& Name) { return VXGetURLScheme(Name); }

std::string VXExtractFilePathW(const std::string& FileName) {
  size_t p = FileName.rfind('/');
  return p == std::string::npos ? std::string() : FileName.substr(0, p + 1);
}

std::string VXExtractFileNameW(const std::string& FileName) {
  size_t p = FileName.rfind('/');
  return p == std::string::npos ? FileName : FileName.substr(p + 1);
}

bool VXFileExists(const std::string& FileName) {
  if (FileName.empty()) return false;
  struct stat st {};
  if (VXGetGlobalSettings()->UseDefaultFileExists()) {
    // The run-time test follows links.
    return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }
  if (::stat(FileName.c_str(), &st) != 0 && ::lstat(FileName.c_str(), &st) != 0) return false;
  return !S_ISDIR(st.st_mode);
}
bool VXFileExistsW(const std::string& FileName) { return VXFileExists(FileName); }

int64_t VXDaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

void VXCivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

namespace {
constexpr int64_t kDelphiEpochOffset = 25569;  // days from 1899-12-30 to 1970-01-01
constexpr uint64_t kFileTimeUnixOffset = 116444736000000000ull;

// The runs of the short date format: 'y', 'm', 'd' with their length, or a
// literal character (length 0).
struct TDateRun {
  char Kind;
  size_t Length;
};
std::vector<TDateRun> DateRuns(const TVXFormatSettings& fs) {
  std::vector<TDateRun> runs;
  const std::string& f = fs.ShortDateFormat;
  for (size_t i = 0; i < f.size();) {
    const char c = char(std::tolower(static_cast<unsigned char>(f[i])));
    if (c == 'y' || c == 'm' || c == 'd') {
      size_t n = 0;
      while (i < f.size() && std::tolower(static_cast<unsigned char>(f[i])) == c) ++i, ++n;
      runs.push_back({c, n});
    } else {
      runs.push_back({f[i] == '/' ? fs.DateSeparator : f[i], 0});
      ++i;
    }
  }
  return runs;
}

bool ValidDate(int64_t y, int64_t m, int64_t d) {
  static const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kMonthDays[m - 1] + (m == 2 && leap ? 1 : 0);
}
}  // namespace

std::string VXDateToStr(double Value) {
  const TVXFormatSettings& fs = VXFormatSettings();
  if (!std::isfinite(Value) || std::fabs(Value) > 3.0e6) Value = 0;
  int64_t y;
  unsigned m, d;
  VXCivilFromDays(int64_t(Value) - kDelphiEpochOffset, y, m, d);
  std::string out;
  char buf[32];
  for (const TDateRun& r : DateRuns(fs)) {
    if (r.Length == 0) {
      out += r.Kind;
      continue;
    }
    const long long v = r.Kind == 'y' ? (r.Length <= 2 ? (long long)(y % 100) : (long long)y) : r.Kind == 'm' ? m : d;
    std::snprintf(buf, sizeof buf, r.Kind == 'y' && r.Length > 2 ? "%04lld" : r.Length >= 2 ? "%02lld" : "%lld", v);
    out += buf;
  }
  return out;
}

std::string VXTimeToStr(double Value) {
  const TVXFormatSettings& fs = VXFormatSettings();
  if (!std::isfinite(Value) || std::fabs(Value) > 3.0e6) Value = 0;
  // Whole seconds of the day (rounded to the millisecond first, so that a
  // time stored as a fraction does not lose a second).
  const double frac = Value - std::floor(Value);
  int64_t ms = int64_t(std::llrint(frac * 86400000.0));
  if (ms >= 86400000) ms = 86399999;
  const int64_t secs = ms / 1000;
  const int64_t h = secs / 3600, n = secs / 60 % 60, sec = secs % 60;
  const std::string& f = fs.LongTimeFormat;
  std::string out;
  char buf[16];
  for (size_t i = 0; i < f.size();) {
    const char c = char(std::tolower(static_cast<unsigned char>(f[i])));
    if (c == 'h' || c == 'n' || c == 's') {
      size_t len = 0;
      while (i < f.size() && std::tolower(static_cast<unsigned char>(f[i])) == c) ++i, ++len;
      const long long v = c == 'h' ? h : c == 'n' ? n : sec;
      std::snprintf(buf, sizeof buf, len >= 2 ? "%02lld" : "%lld", v);
      out += buf;
    } else {
      out += f[i] == ':' ? fs.TimeSeparator : f[i];
      ++i;
    }
  }
  return out;
}

namespace {
std::atomic<bool> gNowFixed{false};
std::atomic<double> gFixedNow{0};
}  // namespace

void VXFixNow(double Value) {
  gFixedNow = Value;
  gNowFixed = true;
}

void VXUnfixNow() { gNowFixed = false; }

double VXNow() {
  if (gNowFixed) return gFixedNow;
  struct timespec ts {};
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  struct tm lt {};
  if (!localtime_r(&secs, &lt)) return 0;
  const int64_t days =
      VXDaysFromCivil(lt.tm_year + 1900, unsigned(lt.tm_mon + 1), unsigned(lt.tm_mday)) + kDelphiEpochOffset;
  return double(days) + (lt.tm_hour * 3600 + lt.tm_min * 60 + lt.tm_sec) / 86400.0;
}

bool VXTryStrToDate(const std::string& Text, double& Value) {
  const TVXFormatSettings& fs = VXFormatSettings();
  const std::string t = VXTrimAnsi(Text);
  int64_t fields[3] = {0, 0, 0};  // year, month, day
  bool seen[3] = {false, false, false};
  size_t i = 0;
  for (const TDateRun& r : DateRuns(fs)) {
    if (r.Length == 0) {
      if (i >= t.size() || (t[i] != r.Kind && t[i] != fs.DateSeparator)) return false;
      ++i;
      continue;
    }
    size_t digits = 0;
    int64_t v = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9' && digits < 4) v = v * 10 + (t[i++] - '0'), ++digits;
    if (digits == 0) return false;
    const int k = r.Kind == 'y' ? 0 : r.Kind == 'm' ? 1 : 2;
    if (k == 0 && digits <= 2) v += 2000;
    fields[k] = v;
    seen[k] = true;
  }
  if (i != t.size() || !seen[0] || !seen[1] || !seen[2]) return false;
  if (!ValidDate(fields[0], fields[1], fields[2])) return false;
  Value = double(VXDaysFromCivil(fields[0], unsigned(fields[1]), unsigned(fields[2])) + kDelphiEpochOffset);
  return true;
}

double VXFileTimeToDateTime(uint64_t FileTime) {
  if (FileTime == 0 || FileTime < kFileTimeUnixOffset) return 0;
  time_t secs = time_t((FileTime - kFileTimeUnixOffset) / 10000000ull);
  struct tm lt {};
  if (!localtime_r(&secs, &lt)) return 0;
  int year = lt.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;  // outside the DOS date range
  int sec = (lt.tm_sec / 2) * 2;
  int64_t days = VXDaysFromCivil(year, unsigned(lt.tm_mon + 1), unsigned(lt.tm_mday)) + kDelphiEpochOffset;
  return double(days) + (lt.tm_hour * 3600 + lt.tm_min * 60 + sec) / 86400.0;
}

int64_t VXMakeInt64(uint32_t High, uint32_t Low) { return int64_t((uint64_t(High) << 32) | Low); }

bool VXGetFileDetails(const std::string& FileName, int64_t& Size, double& CreateDate, double& EditDate) {
  Size = 0;
  CreateDate = 0;
  EditDate = 0;
  try {
    struct statx stx {};
    if (::statx(AT_FDCWD, FileName.c_str(), 0, STATX_SIZE | STATX_MTIME | STATX_BTIME, &stx) != 0) return false;
    auto toFileTime = [](const statx_timestamp& t) -> uint64_t {
      if (t.tv_sec < -11644473600LL) return 0;
      return uint64_t(t.tv_sec + 11644473600LL) * 10000000ull + t.tv_nsec / 100;
    };
    Size = int64_t(stx.stx_size);
    EditDate = VXFileTimeToDateTime(toFileTime(stx.stx_mtime));
    CreateDate = (stx.stx_mask & STATX_BTIME) ? VXFileTimeToDateTime(toFileTime(stx.stx_btime)) : 0;
    if (CreateDate == 0) CreateDate = EditDate;
    return true;
  } catch (...) {
    return false;
  }
}

// ---------------------------------------------------------------------------
// Temporary names

std::string VXGetSystemTempPath() {
  const char* t = std::getenv("TMPDIR");
  std::string p = (t && *t) ? t : "/tmp";
  if (p.back() != '/') p += '/';
  return p;
}

void VXGetTempFileName(const std::string& Descriptor, const std::string& Path, std::string& FileName) {
  static std::mutex lock;
  static std::mt19937 rng{std::random_device{}()};
  for (int attempt = 0; attempt < 100000; ++attempt) {
    uint32_t r;
    {
      std::lock_guard<std::mutex> g(lock);
      r = std::uniform_int_distribution<uint32_t>(0, 2147483646u)(rng);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", r);
    FileName = Path + Descriptor + "-" + hex + ".tmp";
    int fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::close(fd);
      return;
    }
    // Any other failure (missing folder, no permission) is reported by
    // whoever creates the file under this name.
    if (errno != EEXIST) return;
  }
  throw EVXException("Unable to create a temporary file name in " + Path);
}

void VXGetDefaultTempFileName(std::string& FileName) {
  std::string path = VXGetGlobalSettings()->DefTempPath();
  if (path.empty())
    path = VXGetSystemTempPath();
  else if (path.back() != '/')
    path += '/';
  VXGetTempFileName("vxtemp", path, FileName);
}
