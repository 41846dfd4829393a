#include "platform/utf.h"

void VXAppendUTF8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

uint32_t VXNextUTF8(const std::string& s, size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = b0 >= 0xF0 && b0 <= 0xF4 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 <= 0xDF ? 2 : 0;
  if (b0 >= 0xF5) len = 0;
  if (len == 0 || i + size_t(len) > s.size()) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = b0 & (0xFF >> (len + 1));
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(s[i + size_t(k)]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
    ++i;
    return 0xFFFD;
  }
  i += size_t(len);
  return cp;
}

std::u16string VXUTF8ToUTF16(const std::string& S) {
  std::u16string r;
  r.reserve(S.size());
  size_t i = 0;
  while (i < S.size()) {
    uint32_t cp = VXNextUTF8(S, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      r += char16_t(0xD800 + (cp >> 10));
      r += char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      r += char16_t(cp);
    }
  }
  return r;
}

std::string VXUTF16ToUTF8(const std::u16string& S) {
  std::string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    uint32_t c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 && S[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(S[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    VXAppendUTF8(r, c);
  }
  return r;
}
