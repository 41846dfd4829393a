#include "platform/win_version.h"

#include "platform/utf.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v & 0xFF));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}
void Set16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v & 0xFF);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Align4(std::vector<uint8_t>& b) {
  while (b.size() % 4) b.push_back(0);
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}
size_t AlignUp4(size_t v) { return (v + 3) & ~static_cast<size_t>(3); }

std::u16string Utf8ToUtf16(const std::string& s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1F) << 6) | (s[i + 1] & 0x3F);
      n = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
      n = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
      cp = ((c & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) | (s[i + 3] & 0x3F);
      n = 4;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// Writes a node header and key; returns the node's start for the length fix-up.
size_t BeginNode(std::vector<uint8_t>& b, const std::string& Key, uint16_t ValueLength, uint16_t Type) {
  Align4(b);
  const size_t start = b.size();
  Put16(b, 0);
  Put16(b, ValueLength);
  Put16(b, Type);
  for (char16_t c : Utf8ToUtf16(Key)) Put16(b, static_cast<uint16_t>(c));
  Put16(b, 0);
  Align4(b);
  return start;
}
void EndNode(std::vector<uint8_t>& b, size_t Start) {
  Set16(b, Start, static_cast<uint16_t>(b.size() - Start));
}

struct TNode {
  size_t Off = 0, Len = 0, ValueOff = 0, ValueBytes = 0, ChildOff = 0;
  uint16_t ValueLength = 0, Type = 0;
  std::string Key;
};

std::optional<TNode> ParseNode(const uint8_t* B, size_t Off, size_t Limit) {
  if (Off + 6 > Limit) return std::nullopt;
  TNode n;
  n.Off = Off;
  n.Len = Get16(B + Off);
  n.ValueLength = Get16(B + Off + 2);
  n.Type = Get16(B + Off + 4);
  if (n.Len < 6 || Off + n.Len > Limit) return std::nullopt;
  const size_t end = Off + n.Len;
  size_t p = Off + 6;
  size_t keyStart = p;
  for (;;) {
    if (p + 2 > end) return std::nullopt;
    if (Get16(B + p) == 0) break;
    p += 2;
  }
  n.Key = Utf16LeToUtf8(B + keyStart, (p - keyStart) / 2);
  p = AlignUp4(p + 2);
  n.ValueOff = p;
  n.ValueBytes = n.Type == 1 ? static_cast<size_t>(n.ValueLength) * 2 : n.ValueLength;
  if (n.ValueOff > end || n.ValueBytes > end - n.ValueOff) {
    n.ValueOff = std::min(n.ValueOff, end);
    n.ValueBytes = end - n.ValueOff;  // clipped to what the node holds
  }
  n.ChildOff = AlignUp4(n.ValueOff + n.ValueBytes);
  return n;
}

bool SameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string Utf16LeToUtf8(const void* Data, size_t Count) {
  const uint8_t* p = static_cast<const uint8_t*>(Data);
  std::u16string units;
  units.reserve(Count);
  for (size_t i = 0; i < Count; ++i) {
    const char16_t u = Get16(p + 2 * i);
    if (u == 0) break;
    units += u;
  }
  return VXUTF16ToUTF8(units);
}

VS_FIXEDFILEINFO ReadFixedFileInfo(const void* Data) {
  const uint8_t* p = static_cast<const uint8_t*>(Data);
  VS_FIXEDFILEINFO f;
  uint32_t* fields[] = {&f.dwSignature,      &f.dwStrucVersion,     &f.dwFileVersionMS, &f.dwFileVersionLS,
                        &f.dwProductVersionMS, &f.dwProductVersionLS, &f.dwFileFlagsMask, &f.dwFileFlags,
                        &f.dwFileOS,         &f.dwFileType,         &f.dwFileSubtype,   &f.dwFileDateMS,
                        &f.dwFileDateLS};
  for (size_t i = 0; i < 13; ++i) *fields[i] = Get32(p + 4 * i);
  return f;
}

std::vector<uint8_t> BuildVersionInfoBlock(const TVersionBlockContents& Contents) {
  std::vector<uint8_t> b;
  const size_t root = BeginNode(b, "VS_VERSION_INFO", 52, 0);
  const VS_FIXEDFILEINFO& f = Contents.Fixed;
  for (uint32_t v : {f.dwSignature, f.dwStrucVersion, f.dwFileVersionMS, f.dwFileVersionLS, f.dwProductVersionMS,
                     f.dwProductVersionLS, f.dwFileFlagsMask, f.dwFileFlags, f.dwFileOS, f.dwFileType,
                     f.dwFileSubtype, f.dwFileDateMS, f.dwFileDateLS})
    Put32(b, v);

  static const char kHex[] = "0123456789ABCDEF";
  std::string table;
  for (int shift = 12; shift >= 0; shift -= 4) table += kHex[(Contents.Language >> shift) & 0xF];
  for (int shift = 12; shift >= 0; shift -= 4) table += kHex[(Contents.CodePage >> shift) & 0xF];

  const size_t sfi = BeginNode(b, "StringFileInfo", 0, 1);
  const size_t st = BeginNode(b, table, 0, 1);
  for (const auto& [key, value] : Contents.Strings) {
    const std::u16string v = Utf8ToUtf16(value);
    const size_t s = BeginNode(b, key, static_cast<uint16_t>(v.size() + 1), 1);
    for (char16_t c : v) Put16(b, static_cast<uint16_t>(c));
    Put16(b, 0);
    EndNode(b, s);
  }
  EndNode(b, st);
  EndNode(b, sfi);

  if (Contents.WithTranslation) {
    const size_t vfi = BeginNode(b, "VarFileInfo", 0, 1);
    const size_t var = BeginNode(b, "Translation", 4, 0);
    Put16(b, Contents.Language);
    Put16(b, Contents.CodePage);
    EndNode(b, var);
    EndNode(b, vfi);
  }
  EndNode(b, root);
  return b;
}

bool ReadElfSection(const std::string& FileName, const std::string& Section, std::vector<uint8_t>& Out) {
  std::ifstream f(FileName, std::ios::binary);
  if (!f) return false;
  f.seekg(0, std::ios::end);
  const std::streamoff fileSizeOff = f.tellg();
  if (fileSizeOff < 64) return false;
  const uint64_t fileSize = static_cast<uint64_t>(fileSizeOff);
  auto readAt = [&](uint64_t off, size_t n, uint8_t* dst) {
    if (off > fileSize || n > fileSize - off) return false;
    f.seekg(static_cast<std::streamoff>(off));
    return static_cast<bool>(f.read(reinterpret_cast<char*>(dst), static_cast<std::streamsize>(n)));
  };
  uint8_t eh[64];
  if (!readAt(0, 64, eh)) return false;
  if (std::memcmp(eh, "\x7F" "ELF", 4) != 0 || eh[4] != 2 /*64-bit*/ || eh[5] != 1 /*little endian*/)
    return false;
  const uint64_t shoff = Get64(eh + 0x28);
  const uint16_t shentsize = Get16(eh + 0x3A);
  const uint16_t shnum = Get16(eh + 0x3C);
  const uint16_t shstrndx = Get16(eh + 0x3E);
  if (shentsize < 64 || shnum == 0 || shstrndx >= shnum) return false;
  auto readShdr = [&](uint16_t i, uint8_t* sh) { return readAt(shoff + static_cast<uint64_t>(i) * shentsize, 64, sh); };
  uint8_t sh[64];
  if (!readShdr(shstrndx, sh)) return false;
  const uint64_t strOff = Get64(sh + 0x18), strSize = Get64(sh + 0x20);
  if (strOff > fileSize || strSize > fileSize - strOff || strSize > (1u << 24)) return false;
  std::vector<uint8_t> names(static_cast<size_t>(strSize));
  if (!names.empty() && !readAt(strOff, names.size(), names.data())) return false;
  for (uint16_t i = 0; i < shnum; ++i) {
    if (!readShdr(i, sh)) return false;
    const uint32_t nameIdx = Get32(sh);
    if (nameIdx >= names.size()) continue;
    const size_t maxLen = names.size() - nameIdx;
    const size_t len = strnlen(reinterpret_cast<const char*>(names.data()) + nameIdx, maxLen);
    if (len == maxLen) continue;
    if (std::string(reinterpret_cast<const char*>(names.data()) + nameIdx, len) != Section) continue;
    const uint32_t type = Get32(sh + 4);
    if (type == 8 /*SHT_NOBITS*/) return false;
    const uint64_t off = Get64(sh + 0x18), size = Get64(sh + 0x20);
    if (off > fileSize || size > fileSize - off || size > (1u << 26)) return false;
    Out.assign(static_cast<size_t>(size), 0);
    return Out.empty() || readAt(off, Out.size(), Out.data());
  }
  return false;
}

namespace {
// The version block of a file: the section's contents cut to the root node's length.
bool LoadVersionBlock(const std::string& FileName, std::vector<uint8_t>& Block) {
  if (!ReadElfSection(FileName, kVersionSectionName, Block) || Block.size() < 6) return false;
  const size_t len = Get16(Block.data());
  if (len < 6 || len > Block.size()) return false;
  Block.resize(len);
  return true;
}
}  // namespace

uint32_t GetFileVersionInfoSizeW(const std::string& FileName, uint32_t* Handle) {
  if (Handle) *Handle = 0;
  std::vector<uint8_t> block;
  if (!LoadVersionBlock(FileName, block)) return 0;
  return static_cast<uint32_t>(block.size());
}

bool GetFileVersionInfoW(const std::string& FileName, uint32_t /*Handle*/, uint32_t Len, void* Data) {
  std::vector<uint8_t> block;
  if (!Data || !LoadVersionBlock(FileName, block)) return false;
  std::memcpy(Data, block.data(), std::min<size_t>(Len, block.size()));
  return true;
}

bool VerQueryValueW(const void* Block, const std::string& SubBlock, const void** Buffer, uint32_t* Len) {
  if (!Block || !Buffer || !Len) return false;
  const uint8_t* b = static_cast<const uint8_t*>(Block);
  const size_t size = Get16(b);
  auto node = ParseNode(b, 0, size);
  if (!node) return false;
  size_t i = 0;
  while (i < SubBlock.size()) {
    size_t j = SubBlock.find('\\', i);
    if (j == std::string::npos) j = SubBlock.size();
    const std::string part = SubBlock.substr(i, j - i);
    i = j + 1;
    if (part.empty()) continue;
    std::optional<TNode> found;
    const size_t end = node->Off + node->Len;
    for (size_t c = node->ChildOff; c < end;) {
      auto child = ParseNode(b, c, end);
      if (!child) break;
      if (SameKey(child->Key, part)) {
        found = child;
        break;
      }
      c = AlignUp4(child->Off + child->Len);
    }
    if (!found) return false;
    node = found;
  }
  if (node->ValueBytes == 0) return false;
  *Buffer = b + node->ValueOff;
  *Len = node->Type == 1 ? static_cast<uint32_t>(node->ValueBytes / 2) : static_cast<uint32_t>(node->ValueBytes);
  return true;
}
