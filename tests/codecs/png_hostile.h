// Hostile PNG files made from raw chunks: declared sizes that the data never
// backs, text bombs, extreme aspect ratios. Used by the reader's tests and by
// the tests that drive the program.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pnghostile {

inline void PutBE32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += char(uint8_t(v >> (8 * i)));
}

// One chunk: length, type, data, CRC.
inline std::string Chunk(const std::string& Type, const std::string& Data) {
  std::string s;
  PutBE32(s, uint32_t(Data.size()));
  s += Type + Data;
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(Type.data()), uInt(Type.size()));
  crc = crc32(crc, reinterpret_cast<const Bytef*>(Data.data()), uInt(Data.size()));
  PutBE32(s, uint32_t(crc));
  return s;
}

inline std::string Compress(const std::string& Raw) {
  uLongf len = compressBound(uLong(Raw.size()));
  std::string out(len, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(Raw.data()), uLong(Raw.size()),
            9);
  out.resize(len);
  return out;
}

inline std::string Header(uint32_t Width, uint32_t Height, int BitDepth, int ColorType, bool Interlaced = false) {
  std::string ihdr;
  PutBE32(ihdr, Width);
  PutBE32(ihdr, Height);
  ihdr += char(BitDepth);
  ihdr += char(ColorType);
  ihdr += '\0';
  ihdr += '\0';
  ihdr += char(Interlaced ? 1 : 0);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr);
}

// A file of a few dozen bytes that declares Width x Height: the image data
// holds a single deflated row start.
inline std::string DeclaredSize(uint32_t Width, uint32_t Height, int ColorType = 2, bool Interlaced = false) {
  return Header(Width, Height, 8, ColorType, Interlaced) + Chunk("IDAT", Compress(std::string(1, '\0'))) +
         Chunk("IEND", "");
}

// A valid 8-bit grey image of Width x Height (all black), with Extra chunks
// placed before the image data.
inline std::string Grey(uint32_t Width, uint32_t Height, const std::string& Extra = "") {
  const std::string rows(size_t(Height) * (size_t(Width) + 1), '\0');
  return Header(Width, Height, 8, 0) + Extra + Chunk("IDAT", Compress(rows)) + Chunk("IEND", "");
}

// A chunk header that declares Length bytes of which the file holds a few.
inline std::string LongChunk(const std::string& Type, uint32_t Length) {
  std::string s;
  PutBE32(s, Length);
  return s + Type + "sixteen bytes..." + std::string(16, '\xff');
}

inline std::string TextChunk(const std::string& Key, const std::string& Value) {
  return Chunk("tEXt", Key + std::string(1, '\0') + Value);
}

inline std::string ZTextChunk(const std::string& Key, const std::string& Value) {
  return Chunk("zTXt", Key + std::string(2, '\0') + Compress(Value));
}

// Count compressed text chunks, each inflating to ValueBytes bytes.
inline std::string TextBomb(int Count, size_t ValueBytes) {
  const std::string one = ZTextChunk("Comment", std::string(ValueBytes, 'A'));
  std::string all;
  for (int i = 0; i < Count; ++i) all += one;
  return Grey(4, 4, all);
}

}  // namespace pnghostile
