#include "platform/win_codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/win_codepage_tables.h"

namespace {

const char16_t* SingleByteTable(uint32_t CodePage) {
  switch (CodePage) {
    case 1250: return kCodePage1250High;
    case 1251: return kCodePage1251High;
    case 1252: return kCodePage1252High;
    case 1253: return kCodePage1253High;
    case 1254: return kCodePage1254High;
    case 1256: return kCodePage1256High;
    default: return nullptr;
  }
}

// One iconv converter per double-byte code page, opened on first use and kept
// for the life of the process; its lock keeps its shift state to one caller.
struct TDoubleByteConverter {
  uint32_t CodePage;
  const char* Name;
  uint8_t LeadBytes[4];  // ranges (first, last); a second range of 0 is none
  std::once_flag Opened;
  iconv_t Handle = reinterpret_cast<iconv_t>(-1);
  std::mutex Lock;
};

TDoubleByteConverter gConverters[] = {
    {932, "CP932", {0x81, 0x9F, 0xE0, 0xFC}, {}, reinterpret_cast<iconv_t>(-1), {}},
    {936, "CP936", {0x81, 0xFE, 0, 0}, {}, reinterpret_cast<iconv_t>(-1), {}},
    {949, "CP949", {0x81, 0xFE, 0, 0}, {}, reinterpret_cast<iconv_t>(-1), {}},
    {950, "CP950", {0x81, 0xFE, 0, 0}, {}, reinterpret_cast<iconv_t>(-1), {}},
};

TDoubleByteConverter* DoubleByteConverter(uint32_t CodePage) {
  for (auto& c : gConverters)
    if (c.CodePage == CodePage) {
      // To glibc's own wide characters (UCS-4): one conversion step, one
      // module to load.
      std::call_once(c.Opened, [&c] { c.Handle = iconv_open("WCHAR_T", c.Name); });
      return c.Handle == reinterpret_cast<iconv_t>(-1) ? nullptr : &c;
    }
  return nullptr;
}

// Writes the characters to Out while there is room; always counts them.
class TWideSink {
public:
  TWideSink(char16_t* Out, int Room) : fOut(Out), fRoom(Room) {}
  void Put(char16_t C) {
    if (fOut != nullptr && fCount < fRoom) fOut[fCount] = C;
    ++fCount;
  }
  int Count() const { return fCount; }

private:
  char16_t* fOut;
  int fRoom;
  int fCount = 0;
};

// Converts through iconv; false on an invalid byte when Strict.
bool ConvertDoubleByte(TDoubleByteConverter& Conv, const char* Src, size_t Len, bool Strict, TWideSink& Sink) {
  static_assert(sizeof(wchar_t) == 4, "glibc's wide characters are UCS-4");
  std::lock_guard<std::mutex> guard(Conv.Lock);
  // Every call leaves the converter in its initial state (an incomplete or
  // invalid sequence resets it below), so no reset is needed first.
  char* in = const_cast<char*>(Src);
  size_t inLeft = Len;
  wchar_t chunk[128];
  while (inLeft > 0) {
    char* out = reinterpret_cast<char*>(chunk);
    size_t outLeft = sizeof chunk;
    const size_t r = iconv(Conv.Handle, &in, &inLeft, &out, &outLeft);
    const int err = r == size_t(-1) ? errno : 0;
    const size_t got = (sizeof chunk - outLeft) / sizeof(wchar_t);
    for (size_t i = 0; i < got; ++i) {
      const auto c = static_cast<uint32_t>(chunk[i]);
      if (c >= 0x10000) {
        Sink.Put(char16_t(0xD800 + ((c - 0x10000) >> 10)));
        Sink.Put(char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
      } else {
        Sink.Put(char16_t(c));
      }
    }
    if (err == E2BIG) continue;
    if (err == EILSEQ || err == EINVAL) {
      // An invalid byte or a lead byte without its trail: one replacement
      // character, and go on after that byte.
      iconv(Conv.Handle, nullptr, nullptr, nullptr, nullptr);
      if (Strict) return false;
      Sink.Put(u'\uFFFD');
      ++in;
      --inLeft;
    } else if (err != 0) {
      iconv(Conv.Handle, nullptr, nullptr, nullptr, nullptr);
      return false;
    }
  }
  return true;
}

}  // namespace

bool VXIsSupportedCodePage(uint32_t CodePage) {
  if (CodePage == CP_ACP || SingleByteTable(CodePage) != nullptr) return true;
  for (const auto& c : gConverters)
    if (c.CodePage == CodePage) return true;
  return false;
}

bool GetCPInfo(uint32_t CodePage, CPINFO* Info) {
  if (Info == nullptr) return false;
  if (CodePage == CP_ACP) CodePage = 1252;
  CPINFO info{};
  info.DefaultChar[0] = '?';
  if (SingleByteTable(CodePage) != nullptr) {
    info.MaxCharSize = 1;
    *Info = info;
    return true;
  }
  for (const auto& c : gConverters)
    if (c.CodePage == CodePage) {
      info.MaxCharSize = 2;
      std::memcpy(info.LeadByte, c.LeadBytes, sizeof c.LeadBytes);
      *Info = info;
      return true;
    }
  return false;
}

int MultiByteToWideChar(uint32_t CodePage, uint32_t Flags, const char* MultiByteStr, int CbMultiByte,
                        char16_t* WideCharStr, int CchWideChar) {
  if (MultiByteStr == nullptr || CbMultiByte == 0 || CbMultiByte < -1 || CchWideChar < 0) return 0;
  if (CchWideChar > 0 && WideCharStr == nullptr) return 0;
  if (CodePage == CP_ACP) CodePage = 1252;
  const size_t len = CbMultiByte == -1 ? std::strlen(MultiByteStr) + 1 : size_t(CbMultiByte);
  TWideSink sink(CchWideChar > 0 ? WideCharStr : nullptr, CchWideChar);
  const auto* bytes = reinterpret_cast<const unsigned char*>(MultiByteStr);

  if (const char16_t* high = SingleByteTable(CodePage)) {
    // One character per byte.
    if (len > size_t(0x7FFFFFFF)) return 0;
    if (CchWideChar == 0) return int(len);
    if (len > size_t(CchWideChar)) return 0;
    for (size_t i = 0; i < len; ++i) WideCharStr[i] = bytes[i] < 0x80 ? char16_t(bytes[i]) : high[bytes[i] - 0x80];
    return int(len);
  }
  {
    TDoubleByteConverter* conv = DoubleByteConverter(CodePage);
    if (conv == nullptr) return 0;
    // Plain ASCII reads the same in every one of these pages: no converter call.
    size_t ascii = 0;
    while (ascii < len && bytes[ascii] < 0x80) ++ascii;
    for (size_t i = 0; i < ascii; ++i) sink.Put(char16_t(bytes[i]));
    if (ascii < len &&
        !ConvertDoubleByte(*conv, MultiByteStr + ascii, len - ascii, (Flags & MB_ERR_INVALID_CHARS) != 0, sink))
      return 0;
  }
  if (CchWideChar > 0 && sink.Count() > CchWideChar) return 0;
  return sink.Count();
}
