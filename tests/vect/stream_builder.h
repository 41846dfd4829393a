// Object blocks written field by field from the stream's tables, in any
// version from "1" to "U", for the reader's tests: what a file of an older
// version holds.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct TBlockWriter {
  std::vector<uint8_t> B;
  char V = 'U';
  bool Since(char c) const { return V >= c; }
  void U8(uint8_t v) { B.push_back(v); }
  void I32(int32_t v) {
    for (int i = 0; i < 4; ++i) B.push_back(uint8_t(uint32_t(v) >> (8 * i)));
  }
  void F64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int i = 0; i < 8; ++i) B.push_back(uint8_t(u >> (8 * i)));
  }
  void Raw(const std::string& s) { B.insert(B.end(), s.begin(), s.end()); }
  void Raw(const std::vector<uint8_t>& s) { B.insert(B.end(), s.begin(), s.end()); }
  // A text: 8-bit (Windows-1252 bytes as given) before "U", UTF-16 in "U".
  void Text(const std::string& Ansi, const std::u16string& Wide) {
    if (Since('U')) {
      I32(int32_t(Wide.size()));
      for (char16_t c : Wide) U8(uint8_t(c)), U8(uint8_t(c >> 8));
    } else {
      I32(int32_t(Ansi.size()));
      Raw(Ansi);
    }
  }
  // A font flag and LOGFONT: height, weight and a face name.
  void Font(int32_t Height, int32_t Weight, const std::string& Face) {
    U8(1);
    I32(Height), I32(0), I32(0), I32(0), I32(Weight);
    for (int i = 0; i < 8; ++i) U8(0);
    for (int i = 0; i < 32; ++i) {
      const char16_t c = i < int(Face.size()) ? char16_t(uint8_t(Face[size_t(i)])) : 0;
      if (Since('U')) U8(uint8_t(c)), U8(uint8_t(c >> 8));
      else U8(uint8_t(c));
    }
  }
  // The common part of a record.
  void Common(int32_t Handle, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint8_t Kind, const std::string& Name,
              int32_t ID, int32_t PenColor, int32_t UserDataLength = 0, int32_t GroupCount = 0) {
    if (Since('<')) I32(Handle);
    I32(x1), I32(y1), I32(x2), I32(y2);
    U8(Kind);
    if (Since('M')) U8(1);         // AspectRatio
    if (Since('R')) U8(3);         // BlendOperation
    if (Since('S')) I32(2);        // Layer
    if (Since('=')) U8(1), F64(5.5), I32(7), I32(-3);  // shadow on, radius, offsets
    if (Since('O')) I32(60), U8(10), U8(20), U8(30);   // intensity, colour b g r
    I32(int32_t(Name.size()));
    Raw(Name);
    I32(ID);
    I32(PenColor);
    U8(2);      // PenStyle psDot
    I32(3);     // PenWidth
    I32(0x112233);  // BrushColor
    U8(0);      // BrushStyle solid
    U8(0x0B);   // Style: selectable, moveable, visible
    if (Since('=')) I32(128);
    if (Since('@')) U8(1);
    if (Since('Q')) U8(4);  // vxfqDraft
    if (Since('I')) {
      I32(UserDataLength);
      for (int i = 0; i < UserDataLength; ++i) U8(uint8_t(0xA0 + i));
    }
    if (Kind == 0) I32(GroupCount);
  }
};

// Deflates Data as one zlib stream.
inline std::vector<uint8_t> VXTestDeflate(const std::vector<uint8_t>& Data) {
  uLongf n = compressBound(uLong(Data.size()));
  std::vector<uint8_t> out(n);
  compress2(out.data(), &n, Data.data(), uLong(Data.size()), Z_DEFAULT_COMPRESSION);
  out.resize(n);
  return out;
}

inline std::vector<uint8_t> VXTestInflate(const uint8_t* Data, size_t Size, size_t Expect) {
  std::vector<uint8_t> out(Expect + 1);
  uLongf n = uLongf(out.size());
  if (uncompress(out.data(), &n, Data, uLong(Size)) != Z_OK) return {};
  out.resize(n);
  return out;
}
