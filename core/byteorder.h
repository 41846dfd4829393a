// Little- and big-endian integers in byte buffers, as file layouts store
// them: read and written field by field, never by casting a struct.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

inline uint16_t VXGetLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t VXGetLE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t VXGetBE16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t VXGetBE32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline void VXPutLE16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void VXPutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void VXPutBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// Little-endian fields appended to a byte vector, as the library's own
// streams lay out their records.
struct TVXByteWriter {
  std::vector<uint8_t> b;
  void U8(uint8_t v) { b.push_back(v); }
  void I32(int32_t v) {
    uint8_t q[4];
    VXPutLE32(q, uint32_t(v));
    b.insert(b.end(), q, q + 4);
  }
  void F64(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int i = 0; i < 8; ++i) b.push_back(uint8_t(u >> (8 * i)));
  }
  void Bytes(const void* p, size_t n) {
    const auto* q = static_cast<const uint8_t*>(p);
    b.insert(b.end(), q, q + n);
  }
  void Zeros(size_t n) { b.insert(b.end(), n, 0); }
};
