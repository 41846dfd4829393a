// TIFF directories: the header, the 12- and 20-byte entries, the directory
// reader that walks the chain of a classic TIFF or BigTIFF stream and answers
// typed questions about one directory's tags, and the writer that turns
// values into classic entries (out-of-line data going to the stream first).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class TStream;

using TVXArrayOfByte = std::vector<uint8_t>;

// "II" and "MM" as the byte-order word reads on a little-endian machine.
constexpr uint16_t kTIFFLittleEndianId = 0x4949;
constexpr uint16_t kTIFFBigEndianId = 0x4D4D;

// 8-byte header: byte-order word, version (42 classic, 43 BigTIFF), first offset.
struct TTIFFHeader {
  uint16_t Id = 0;
  uint16_t Ver = 0;
  uint32_t PosIFD = 0;
};

// Classic 12-byte entry. DataPos holds the values themselves when they take 4
// bytes or less; the writer keeps it in the little-endian order of its output.
struct TTIFFTAG {
  uint16_t IdTag = 0;
  uint16_t DataType = 0;
  int32_t DataNum = 0;
  uint32_t DataPos = 0;
};

// BigTIFF 20-byte entry (values inline when they take 8 bytes or less).
struct TBigTIFFTAG {
  uint16_t IdTag = 0;
  uint16_t DataType = 0;
  int64_t DataNum = 0;
  int64_t DataPos = 0;
};

struct TTIFFColor {
  uint16_t R = 0, G = 0, B = 0;
};
using TTIFFRGBArray = std::vector<TTIFFColor>;

// Numbers of a TIFF structure, read from or written to bytes in a byte order.
inline uint16_t VXTIFFGet16(const uint8_t* p, bool le) {
  return le ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t VXTIFFGet32(const uint8_t* p, bool le) {
  return le ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24)
            : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint64_t VXTIFFGet64(const uint8_t* p, bool le) {
  const uint64_t a = VXTIFFGet32(p, le), b = VXTIFFGet32(p + 4, le);
  return le ? a | (b << 32) : (a << 32) | b;
}
inline void VXTIFFPut16(uint8_t* p, uint16_t v, bool le) {
  p[le ? 0 : 1] = uint8_t(v);
  p[le ? 1 : 0] = uint8_t(v >> 8);
}
inline void VXTIFFPut32(uint8_t* p, uint32_t v, bool le) {
  for (int k = 0; k < 4; ++k) p[le ? k : 3 - k] = uint8_t(v >> (8 * k));
}

// Bytes of one value of a field type (0 for unknown types).
int32_t VXTIFFTypeSize(uint16_t DataType);

// Reads a TIFF header at the stream's position, or takes ProvidedHeader when
// given (classic, byte order from its Id). Fills the byte order, the first
// directory offset, the offset size (4 or 8) and the BigTIFF flag. False for
// an unknown byte-order mark, a first offset of 0 (read headers only) or a
// first offset at or past the stream's size.
bool VXReadTIFFHeader(TStream* Stream, const TTIFFHeader* ProvidedHeader, bool& LittleEndian, int64_t& FirstIFD,
                      int32_t& DataPosSize, bool& IsBigTIFF);

// One loaded directory entry: tag, type and count in host order, the offset
// field as a number (meaningful when the values lie out of line) and the
// field's bytes exactly as they lie in the file (the inline values).
struct TVXIFDEntry {
  uint16_t IdTag = 0;
  uint16_t DataType = 0;
  int64_t DataNum = 0;
  int64_t DataPos = 0;
  uint8_t Field[8] = {};
};

class TVXTIFFIFDReader {
public:
  TVXTIFFIFDReader() = default;
  TVXTIFFIFDReader(const TVXTIFFIFDReader&) = delete;
  TVXTIFFIFDReader& operator=(const TVXTIFFIFDReader&) = delete;

  bool LittleEndian = true;
  TStream* Stream = nullptr;  // not owned
  int64_t StreamBase = 0;
  bool IsBigTIFF = false;
  int32_t DataPosSize = 4;

  void Clear();
  void Assign(const TVXTIFFIFDReader& Source);

  // Walks the chain from Offset, loads directory number ImageIndex and counts
  // the directories into ImageCount. False when nothing was loaded.
  bool ReadIFD(int32_t ImageIndex, int64_t Offset, int32_t& ImageCount);

  int32_t NumTags() const { return int32_t(fEntries.size()); }
  const std::vector<TVXIFDEntry>& Entries() const { return fEntries; }
  // Replaces the loaded entries (a caller that builds a directory itself).
  void SetEntries(std::vector<TVXIFDEntry> Entries) { fEntries = std::move(Entries); }

  int32_t FindTAG(uint16_t tagID) const;
  int64_t GetDataNum(int32_t tagIndex) const;
  uint16_t GetDataType(int32_t tagIndex) const;
  int64_t GetDataPos(int32_t tagIndex) const;
  int64_t GetDataLengthInBytes(int32_t tagIndex) const;

  // Value number dataIndex of the entry in host order: unsigned types
  // zero-extended, signed ones sign-extended, a (S)RATIONAL as numerator in
  // the low and denominator in the high 32 bits. 0 out of range.
  int64_t GetItem(int32_t tagIndex, int64_t dataIndex) const;

  int64_t ReadInteger(uint16_t tagID, int64_t idx, int64_t def) const;
  double ReadRational(uint16_t tagID, int32_t idx, double defaultValue) const;
  // Every value of the tag (only those the stream holds); the count, 0 when absent.
  int32_t ReadArrayIntegers(std::vector<int64_t>& ar, uint16_t tagID) const;
  TVXArrayOfByte ReadRawDataAsArrayOfByte(uint16_t tagID) const;
  // The value bytes in a new block (nullptr when absent); Size their count.
  std::unique_ptr<uint8_t[]> ReadRawData(uint16_t tagID, int32_t& Size) const;
  std::string ReadString(uint16_t tagID, bool truncToEZ) const;
  std::u16string ReadWideString(uint16_t tagID) const;

private:
  // The value bytes of entry i, values First .. First + Count - 1, as stored
  // (only those the stream holds).
  std::vector<uint8_t> ValueBytes(int32_t i, int64_t First, int64_t Count) const;
  int64_t DecodeValue(const uint8_t* p, uint16_t DataType) const;
  int64_t StreamSize() const;

  std::vector<TVXIFDEntry> fEntries;
};

// The typed getters of a tag block, answered by its directory reader: shared
// by the maker-note block and the tags reader. Absent tags give 0, an empty
// text or block, or the given default.
class TVXTIFFTagGetters {
public:
  // Both texts are cut at their first NUL.
  std::string GetMiniString(uint16_t Tag) const;
  std::string GetString(uint16_t Tag) const;
  // The value bytes (empty when absent).
  std::vector<uint8_t> GetRawData(uint16_t Tag) const;
  int32_t GetIntegerArray(uint16_t Tag, std::vector<int64_t>& ar) const;
  int32_t GetIntegerIndexed(uint16_t Tag, int32_t index) const;
  double GetRationalIndexed(uint16_t Tag, int32_t index, double defVal) const;
  double GetRational(uint16_t Tag, double defaultValue) const;
  // Value length in bytes.
  int32_t TagLength(uint16_t Tag) const;
  bool TagExists(uint16_t Tag) const;

protected:
  explicit TVXTIFFTagGetters(const TVXTIFFIFDReader* Reader) : fTagReader(Reader) {}
  ~TVXTIFFTagGetters() = default;
  const TVXTIFFIFDReader* fTagReader;
};

class TVXTIFFIFDWriter {
public:
  using TTagList = std::vector<int32_t>;

  std::vector<TTIFFTAG> Items;

  void AddTag(uint16_t IdTag, uint16_t DataType, int32_t DataNum, uint32_t DataPos);
  // Sorts the entries by tag, as unsigned 16-bit numbers.
  void ReorderTags();
  int32_t Count() const { return int32_t(Items.size()); }
  TTIFFTAG* GetTag(int32_t Index) { return &Items[size_t(Index)]; }

  void WriteSingleLong(uint16_t tag, uint32_t val);
  void WriteSingleShort(uint16_t tag, uint16_t val, const TTagList* writeIfInList = nullptr);
  void WriteSingleByte(uint16_t tag, uint8_t val);
  void WriteSingleUndefined(uint16_t tag, uint32_t val, const TTagList* writeIfInList = nullptr);
  void WriteMiniString(uint16_t tag, const std::string& ss);
  void WriteMiniByteString(uint16_t tag, const std::string& ss);
  void WriteString(TStream* Stream, uint16_t tag, const std::string& ss, bool& Aborting);
  void WriteWideString(TStream* Stream, uint16_t tag, const std::u16string& ss, bool& Aborting);
  // An ASCII value with its terminator counted: inline up to three
  // characters, out of line beyond; nothing for an empty text.
  void WriteText(TStream* Stream, uint16_t Tag, const std::string& Text, bool& Aborting);
  // Nothing for an empty buffer; up to four bytes inline, more out of line.
  void WriteArrayOfByte(TStream* Stream, uint16_t Tag, uint16_t DataType, const TVXArrayOfByte& Buffer,
                        bool& Aborting);
  void WriteSingleRational(TStream* Stream, uint16_t tag, double value, bool& Aborting,
                           const TTagList* writeIfInList = nullptr);
  void WriteMultiRational(TStream* Stream, uint16_t tag, bool& Aborting, std::span<const double> values);
  // Out of line, except a single value, which goes into the entry.
  void WriteMultiLongEx(TStream* Stream, uint16_t IdTag, bool& Aborting, int32_t DataNum,
                        std::span<const int32_t> values);
  void WriteMultiShort(TStream* Stream, uint16_t IdTag, bool& Aborting, std::span<const uint16_t> values);

private:
  // Pads the stream to an even position and writes the bytes there; the result
  // is the position at which they start.
  uint32_t WriteOutOfLine(TStream* Stream, const void* Data, int64_t Count, bool& Aborting);
};

// Writes a classic entry as 12 little- or big-endian bytes (the value field as
// a 32-bit number in that order).
void VXWriteTIFFTag(TStream* Stream, const TTIFFTAG& Tag, bool LittleEndian, bool& Aborting);
