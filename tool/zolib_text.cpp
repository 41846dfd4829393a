// ZoLib text helpers: prefix and suffix tests, separators, case, splitting.
#include "tool/zolib.h"

#include "core/textutils.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace {

locale_t UnicodeLocale() {
  static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

char32_t UpperChar(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
  locale_t loc = UnicodeLocale();
  if (!loc) return c;
  return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), loc));
}

std::u32string Upper(std::u32string s) {
  for (auto& c : s) c = UpperChar(c);
  return s;
}

bool Contains(const std::u32string& Set, char32_t c) { return Set.find(c) != std::u32string::npos; }

}  // namespace

std::u32string Utf8ToUtf32(const std::string& S) {
  std::u32string out;
  out.reserve(S.size());
  size_t i = 0;
  const size_t n = S.size();
  auto cont = [&](size_t k) { return k < n && (static_cast<unsigned char>(S[k]) & 0xC0) == 0x80; };
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(S[i]);
    if (c < 0x80) {
      out += c;
      ++i;
    } else if ((c & 0xE0) == 0xC0 && cont(i + 1)) {
      out += static_cast<char32_t>(((c & 0x1F) << 6) | (S[i + 1] & 0x3F));
      i += 2;
    } else if ((c & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
      out += static_cast<char32_t>(((c & 0x0F) << 12) | ((S[i + 1] & 0x3F) << 6) | (S[i + 2] & 0x3F));
      i += 3;
    } else if ((c & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      out += static_cast<char32_t>(((c & 0x07) << 18) | ((S[i + 1] & 0x3F) << 12) | ((S[i + 2] & 0x3F) << 6) |
                                   (S[i + 3] & 0x3F));
      i += 4;
    } else {
      // A byte that starts no valid sequence stands for itself (kept distinct from
      // real characters by living in the private-use plane).
      out += static_cast<char32_t>(0xF0000 + c);
      ++i;
    }
  }
  return out;
}

std::string Utf32ToUtf8(const std::u32string& S) {
  std::string out;
  out.reserve(S.size());
  for (char32_t cp : S) {
    if (cp >= 0xF0080 && cp <= 0xF00FF)
      out += static_cast<char>(cp - 0xF0000);
    else
      VXAppendUTF8(out, cp);
  }
  return out;
}

std::string UpperCaseText(const std::string& Text) { return Utf32ToUtf8(Upper(Utf8ToUtf32(Text))); }

int CompareText(const std::string& A, const std::string& B) {
  const std::u32string a = Upper(Utf8ToUtf32(A)), b = Upper(Utf8ToUtf32(B));
  const int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool StartsWithText(const std::string& Text, const std::string& Prefix, bool IgnoreCase) {
  std::u32string t = Utf8ToUtf32(Text), p = Utf8ToUtf32(Prefix);
  if (t.size() < p.size()) return false;
  t.resize(p.size());
  if (IgnoreCase) return Upper(t) == Upper(p);
  return t == p;
}

bool EndsWithText(const std::string& Text, const std::string& Suffix, bool IgnoreCase) {
  std::u32string t = Utf8ToUtf32(Text), s = Utf8ToUtf32(Suffix);
  if (t.size() < s.size()) return false;
  t = t.substr(t.size() - s.size());
  if (IgnoreCase) return Upper(t) == Upper(s);
  return t == s;
}

std::string TextBefore(const std::string& Text, const std::string& Separator) {
  const auto p = Separator.empty() ? std::string::npos : Text.find(Separator);
  return p == std::string::npos ? Text : Text.substr(0, p);
}

std::string TextAfter(const std::string& Text, const std::string& Separator) {
  const auto p = Separator.empty() ? std::string::npos : Text.find(Separator);
  return p == std::string::npos ? std::string() : Text.substr(p + Separator.size());
}

std::string LastChar(const std::string& Text) {
  const std::u32string t = Utf8ToUtf32(Text);
  if (t.empty()) return std::string();
  return Utf32ToUtf8(t.substr(t.size() - 1));
}

std::vector<std::string> SplitText(const std::string& Text, const std::string& Separators,
                                   const std::string& Quotes, const std::string& CloseQuotes, bool MergeRepeated,
                                   bool SkipLeading, bool DropEmptyLast, bool KeepQuotes) {
  const std::u32string t = Utf8ToUtf32(Text), seps = Utf8ToUtf32(Separators);
  const std::u32string quotes = Utf8ToUtf32(Quotes), closes = Utf8ToUtf32(CloseQuotes);
  std::vector<std::string> out;
  std::u32string piece;
  size_t depth = 0;
  char32_t openQ = 0, closeQ = 0;
  for (size_t i = 0; i < t.size(); ++i) {
    const char32_t c = t[i];
    if (depth > 0) {
      if (c == closeQ) {
        --depth;
        if (depth > 0 || KeepQuotes) piece += c;
      } else {
        if (c == openQ) ++depth;
        piece += c;
      }
      continue;
    }
    const auto q = quotes.find(c);
    if (q != std::u32string::npos) {
      openQ = c;
      closeQ = q < closes.size() ? closes[q] : c;
      depth = 1;
      if (KeepQuotes) piece += c;
      continue;
    }
    if (Contains(seps, c)) {
      if (i == 0 && SkipLeading) continue;
      if (MergeRepeated && i > 0 && Contains(seps, t[i - 1])) continue;
      out.push_back(Utf32ToUtf8(piece));
      piece.clear();
      continue;
    }
    piece += c;
  }
  if (!(piece.empty() && DropEmptyLast)) out.push_back(Utf32ToUtf8(piece));
  return out;
}

std::vector<std::string> SplitTextSimple(const std::string& Text, const std::string& Separators,
                                         bool MergeRepeated, bool SkipLeading, bool DropEmptyLast) {
  return SplitText(Text, Separators, "", "", MergeRepeated, SkipLeading, DropEmptyLast, true);
}
