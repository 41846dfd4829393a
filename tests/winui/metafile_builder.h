// Writes small enhanced and Windows metafiles record by record, for tests
// that need a metafile showing one behaviour.
#pragma once
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vxtest {

inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
inline void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void Set32(std::vector<uint8_t>& b, size_t o, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (8 * i));
}

// An enhanced metafile whose frame is Width x Height pixels at 96 pixels
// per inch (reference device of 960 pixels on 254 mm).
class TEmfWriter {
 public:
  TEmfWriter(int Width, int Height, uint16_t Handles = 8) {
    Put32(B, 1);
    Put32(B, 108);
    for (int32_t v : {0, 0, Width - 1, Height - 1}) Put32(B, uint32_t(v));
    for (int32_t v : {0, 0, Width * 2540 / 96, Height * 2540 / 96}) Put32(B, uint32_t(v));
    Put32(B, 0x464D4520);
    Put32(B, 0x10000);
    Put32(B, 0);  // bytes, set by Finish
    Put32(B, 0);  // records
    Put16(B, Handles);
    Put16(B, 0);
    for (uint32_t v : {0u, 0u, 0u, 960u, 960u, 254u, 254u, 0u, 0u, 0u, 254000u, 254000u}) Put32(B, v);
    fRecords = 1;
  }
  // A record of 32-bit fields.
  TEmfWriter& Rec(uint32_t Type, std::initializer_list<int64_t> Fields) {
    Put32(B, Type);
    Put32(B, uint32_t(8 + 4 * Fields.size()));
    for (int64_t v : Fields) Put32(B, uint32_t(v));
    ++fRecords;
    return *this;
  }
  // A record of raw bytes after type and size (padded to 4).
  TEmfWriter& Raw(uint32_t Type, std::vector<uint8_t> Body) {
    while (Body.size() % 4) Body.push_back(0);
    Put32(B, Type);
    Put32(B, uint32_t(8 + Body.size()));
    B.insert(B.end(), Body.begin(), Body.end());
    ++fRecords;
    return *this;
  }
  // Text at (x, y) in the current font (EMR_EXTTEXTOUTW).
  TEmfWriter& Text(int32_t X, int32_t Y, const std::u16string& S) {
    std::vector<uint8_t> b;
    for (int i = 0; i < 4; ++i) Put32(b, 0);  // bounds
    Put32(b, 1);                              // graphics mode
    Put32(b, 0);
    Put32(b, 0);  // scales
    Put32(b, uint32_t(X));
    Put32(b, uint32_t(Y));
    Put32(b, uint32_t(S.size()));
    Put32(b, 76);  // string right after the record's fixed part
    Put32(b, 0);   // options
    for (int i = 0; i < 4; ++i) Put32(b, 0);
    Put32(b, 0);  // no distances
    for (char16_t c : S) Put16(b, uint16_t(c));
    return Raw(84, b);
  }
  // A font of this height and face (EMR_EXTCREATEFONTINDIRECTW).
  TEmfWriter& Font(uint32_t Index, int32_t Height, const std::u16string& Face) {
    std::vector<uint8_t> b;
    Put32(b, Index);
    Put32(b, uint32_t(Height));
    for (int i = 0; i < 3; ++i) Put32(b, 0);
    Put32(b, 400);
    Put32(b, 0);
    Put32(b, 0x00000100);  // charset DEFAULT, quality 0 in the next word
    for (int i = 0; i < 32; ++i) Put16(b, i < int(Face.size()) ? uint16_t(Face[i]) : 0);
    return Raw(82, b);
  }
  std::vector<uint8_t> Finish() {
    Rec(14, {0, 16, 20});
    Set32(B, 48, uint32_t(B.size()));
    Set32(B, 52, fRecords);
    return B;
  }
  std::vector<uint8_t> B;

 private:
  uint32_t fRecords = 0;
};

// A Windows metafile; Placeable puts the box (0, 0)-(Right, Bottom) in
// units of Inch per inch before it.
class TWmfWriter {
 public:
  TWmfWriter& Rec(uint16_t Function, std::initializer_list<int32_t> Words) {
    Put32(R, uint32_t(3 + Words.size()));
    Put16(R, Function);
    for (int32_t v : Words) Put16(R, uint16_t(v));
    fMax = std::max<uint32_t>(fMax, uint32_t(3 + Words.size()));
    return *this;
  }
  std::vector<uint8_t> Finish(uint16_t Objects = 4, int Right = 0, int Bottom = 0, int Inch = 0) {
    Rec(0, {});
    std::vector<uint8_t> b;
    if (Inch) {
      Put32(b, 0x9AC6CDD7);
      Put16(b, 0);
      for (int v : {0, 0, Right, Bottom}) Put16(b, uint16_t(v));
      Put16(b, uint16_t(Inch));
      Put32(b, 0);
      uint16_t sum = 0;
      for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(b[i] | b[i + 1] << 8);
      Put16(b, sum);
    }
    Put16(b, 1);
    Put16(b, 9);
    Put16(b, 0x300);
    Put32(b, uint32_t(9 + R.size() / 2));
    Put16(b, Objects);
    Put32(b, fMax);
    Put16(b, 0);
    b.insert(b.end(), R.begin(), R.end());
    return b;
  }

 private:
  std::vector<uint8_t> R;
  uint32_t fMax = 0;
};

}  // namespace vxtest
