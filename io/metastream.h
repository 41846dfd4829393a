// Little-endian field I/O over a TStream for the stream forms of the
// metadata containers. The readers check every field against the bytes that
// remain in the stream and report a short stream by returning false.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/streams.h"

// Bytes between the position and the end of Stream (0 when past the end).
inline int64_t VXMetaRemaining(TStream& Stream) {
  int64_t r = Stream.Size() - Stream.Position();
  return r > 0 ? r : 0;
}

inline bool VXMetaReadBytes(TStream& Stream, void* Buffer, size_t Count) {
  if (Count == 0) return true;
  return Stream.Read(Buffer, int64_t(Count)) == int64_t(Count);
}

inline bool VXMetaReadByte(TStream& Stream, uint8_t& v) { return VXMetaReadBytes(Stream, &v, 1); }

inline bool VXMetaReadUInt16(TStream& Stream, uint16_t& v) {
  uint8_t b[2];
  if (!VXMetaReadBytes(Stream, b, 2)) return false;
  v = uint16_t(b[0] | b[1] << 8);
  return true;
}

inline bool VXMetaReadInt32(TStream& Stream, int32_t& v) {
  uint8_t b[4];
  if (!VXMetaReadBytes(Stream, b, 4)) return false;
  v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
  return true;
}

inline void VXMetaWriteBytes(TStream& Stream, const void* Buffer, size_t Count) {
  if (Count) Stream.WriteBuffer(Buffer, int64_t(Count));
}

inline void VXMetaWriteByte(TStream& Stream, uint8_t v) { VXMetaWriteBytes(Stream, &v, 1); }

inline void VXMetaWriteUInt16(TStream& Stream, uint16_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  VXMetaWriteBytes(Stream, b, 2);
}

inline void VXMetaWriteInt32(TStream& Stream, int32_t v) {
  uint32_t u = uint32_t(v);
  uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
  VXMetaWriteBytes(Stream, b, 4);
}
