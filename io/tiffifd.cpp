#include "io/tiffifd.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "core/streams.h"
#include "core/streamutils.h"
#include "core/textutils.h"

namespace {

// Reads Count bytes at Pos; what the stream does not hold stays 0.
void ReadAt(TStream* s, int64_t Pos, uint8_t* Dst, int64_t Count) {
  std::memset(Dst, 0, size_t(Count));
  if (Pos < 0 || Count <= 0) return;
  s->Seek(Pos, soBeginning);
  int64_t got = s->Read(Dst, Count);
  (void)got;
}

bool TagInList(const TVXTIFFIFDWriter::TTagList* list, uint16_t tag) {
  return !list || std::find(list->begin(), list->end(), int32_t(tag)) != list->end();
}

}  // namespace

int32_t VXTIFFTypeSize(uint16_t DataType) {
  static constexpr int32_t kSizes[19] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 1, 1, 8, 8, 8};
  return DataType < 19 ? kSizes[DataType] : 0;
}

bool VXReadTIFFHeader(TStream* Stream, const TTIFFHeader* ProvidedHeader, bool& LittleEndian, int64_t& FirstIFD,
                      int32_t& DataPosSize, bool& IsBigTIFF) {
  uint16_t id;
  if (ProvidedHeader) {
    id = ProvidedHeader->Id;
    LittleEndian = id == kTIFFLittleEndianId;
    FirstIFD = LittleEndian ? ProvidedHeader->PosIFD : VXSwapDWordIf(ProvidedHeader->PosIFD, true);
    DataPosSize = 4;
    IsBigTIFF = false;
  } else {
    uint8_t mark[2] = {0, 0};
    Stream->Read(mark, 2);
    id = uint16_t(mark[0] | (mark[1] << 8));
    LittleEndian = id == kTIFFLittleEndianId;
    bool be = !LittleEndian;
    uint16_t ver = VXStreamReadWord(Stream, be);
    if (ver == 43) {
      uint16_t offsize = VXStreamReadWord(Stream, be);
      uint16_t zero = VXStreamReadWord(Stream, be);
      if (offsize != 8 || zero != 0) return false;
      FirstIFD = int64_t(VXStreamReadInt64(Stream, be));
      DataPosSize = 8;
      IsBigTIFF = true;
    } else {
      FirstIFD = VXStreamReadDWord(Stream, be);
      DataPosSize = 4;
      IsBigTIFF = false;
    }
  }
  if (id != kTIFFLittleEndianId && id != kTIFFBigEndianId) return false;
  if (!ProvidedHeader && FirstIFD == 0) return false;
  return FirstIFD >= 0 && FirstIFD < Stream->Size();
}

// ---------------------------------------------------------------------------
// TVXTIFFIFDReader

void TVXTIFFIFDReader::Clear() { fEntries.clear(); }

void TVXTIFFIFDReader::Assign(const TVXTIFFIFDReader& Source) {
  LittleEndian = Source.LittleEndian;
  Stream = Source.Stream;
  StreamBase = Source.StreamBase;
  IsBigTIFF = Source.IsBigTIFF;
  DataPosSize = Source.DataPosSize;
  fEntries = Source.fEntries;
}

int64_t TVXTIFFIFDReader::StreamSize() const { return Stream ? Stream->Size() : 0; }

bool TVXTIFFIFDReader::ReadIFD(int32_t ImageIndex, int64_t Offset, int32_t& ImageCount) {
  Clear();
  ImageCount = 0;
  if (!Stream) return false;
  const bool le = LittleEndian;
  const int64_t size = Stream->Size();
  const int64_t entrySize = IsBigTIFF ? 20 : 12;
  std::unordered_set<int64_t> visited;
  int64_t offset = Offset;
  bool loaded = false;
  while (offset >= 0 && StreamBase + offset < size) {
    visited.insert(offset);
    int64_t pos = StreamBase + offset;
    Stream->Seek(pos, soBeginning);
    uint64_t count = IsBigTIFF ? VXStreamReadInt64(Stream, !le) : VXStreamReadWord(Stream, !le);
    pos += IsBigTIFF ? 8 : 2;
    if (count == 0) break;
    // The entries must lie in the stream before anything is allocated.
    if (pos >= size || count > uint64_t((size - pos) / entrySize)) break;
    if (ImageCount == ImageIndex) {
      std::vector<uint8_t> raw(size_t(count * entrySize));
      Stream->Seek(pos, soBeginning);
      Stream->Read(raw.data(), int64_t(raw.size()));
      fEntries.resize(size_t(count));
      for (size_t k = 0; k < size_t(count); ++k) {
        const uint8_t* p = raw.data() + k * size_t(entrySize);
        TVXIFDEntry& e = fEntries[k];
        e.IdTag = VXTIFFGet16(p, le);
        e.DataType = VXTIFFGet16(p + 2, le);
        if (IsBigTIFF) {
          uint64_t n = VXTIFFGet64(p + 4, le);
          e.DataNum = n > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(n);
          std::memcpy(e.Field, p + 12, 8);
          uint64_t v = VXTIFFGet64(p + 12, le);
          e.DataPos = v > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(v);
        } else {
          e.DataNum = VXTIFFGet32(p + 4, le);
          std::memcpy(e.Field, p + 8, 4);
          e.DataPos = VXTIFFGet32(p + 8, le);
        }
      }
      loaded = true;
    }
    pos += int64_t(count) * entrySize;
    if (pos >= size) break;
    Stream->Seek(pos, soBeginning);
    int64_t next = IsBigTIFF ? int64_t(VXStreamReadInt64(Stream, !le)) : int64_t(VXStreamReadDWord(Stream, !le));
    if (next == offset || next < 8 || next < 0 || StreamBase + next >= size) next = 0;
    ++ImageCount;
    // A link back to any directory already walked ends the chain.
    if (next == 0 || visited.count(next)) break;
    offset = next;
  }
  return loaded;
}

int32_t TVXTIFFIFDReader::FindTAG(uint16_t tagID) const {
  for (size_t i = 0; i < fEntries.size(); ++i)
    if (fEntries[i].IdTag == tagID) return int32_t(i);
  return -1;
}

int64_t TVXTIFFIFDReader::GetDataNum(int32_t tagIndex) const {
  if (tagIndex < 0 || size_t(tagIndex) >= fEntries.size()) return 0;
  return fEntries[size_t(tagIndex)].DataNum;
}

uint16_t TVXTIFFIFDReader::GetDataType(int32_t tagIndex) const {
  if (tagIndex < 0 || size_t(tagIndex) >= fEntries.size()) return 0;
  return fEntries[size_t(tagIndex)].DataType;
}

int64_t TVXTIFFIFDReader::GetDataPos(int32_t tagIndex) const {
  if (tagIndex < 0 || size_t(tagIndex) >= fEntries.size()) return 0;
  return fEntries[size_t(tagIndex)].DataPos;
}

int64_t TVXTIFFIFDReader::GetDataLengthInBytes(int32_t tagIndex) const {
  if (tagIndex < 0 || size_t(tagIndex) >= fEntries.size()) return 0;
  const TVXIFDEntry& e = fEntries[size_t(tagIndex)];
  int64_t ts = VXTIFFTypeSize(e.DataType);
  if (ts == 0 || e.DataNum <= 0) return 0;
  if (e.DataNum > INT64_MAX / ts) return INT64_MAX;
  return e.DataNum * ts;
}

std::vector<uint8_t> TVXTIFFIFDReader::ValueBytes(int32_t i, int64_t First, int64_t Count) const {
  std::vector<uint8_t> out;
  const TVXIFDEntry& e = fEntries[size_t(i)];
  const int64_t ts = VXTIFFTypeSize(e.DataType);
  if (ts == 0 || First < 0 || Count <= 0 || First >= e.DataNum) return out;
  Count = std::min(Count, e.DataNum - First);
  const int64_t total = GetDataLengthInBytes(i);
  if (total <= DataPosSize) {
    out.assign(e.Field + First * ts, e.Field + (First + Count) * ts);
    return out;
  }
  // Out of line: only the values that lie wholly within the stream.
  int64_t size = StreamSize();
  int64_t start = StreamBase + e.DataPos;
  if (e.DataPos > INT64_MAX / 2 || First > (INT64_MAX / 2) / ts) return out;
  start += First * ts;
  if (start < 0 || start >= size) return out;
  int64_t avail = (size - start) / ts;
  Count = std::min(Count, avail);
  if (Count <= 0) return out;
  out.resize(size_t(Count * ts));
  ReadAt(Stream, start, out.data(), int64_t(out.size()));
  return out;
}

int64_t TVXTIFFIFDReader::DecodeValue(const uint8_t* p, uint16_t DataType) const {
  const bool le = LittleEndian;
  switch (DataType) {
    case 6: return int8_t(p[0]);
    case 3: return VXTIFFGet16(p, le);
    case 8: return int16_t(VXTIFFGet16(p, le));
    case 4:
    case 11:
    case 13: return VXTIFFGet32(p, le);
    case 9: return int32_t(VXTIFFGet32(p, le));
    case 5:
    case 10: return int64_t(uint64_t(VXTIFFGet32(p, le)) | (uint64_t(VXTIFFGet32(p + 4, le)) << 32));
    case 12:
    case 16:
    case 17:
    case 18: return int64_t(VXTIFFGet64(p, le));
    default: {
      int32_t ts = VXTIFFTypeSize(DataType);
      uint64_t v = 0;
      for (int32_t k = 0; k < ts; ++k) v |= uint64_t(p[k]) << (8 * k);
      return int64_t(v);
    }
  }
}

int64_t TVXTIFFIFDReader::GetItem(int32_t tagIndex, int64_t dataIndex) const {
  if (tagIndex < 0 || size_t(tagIndex) >= fEntries.size()) return 0;
  const TVXIFDEntry& e = fEntries[size_t(tagIndex)];
  if (dataIndex < 0 || dataIndex >= e.DataNum || VXTIFFTypeSize(e.DataType) == 0) return 0;
  std::vector<uint8_t> b = ValueBytes(tagIndex, dataIndex, 1);
  if (b.empty()) return 0;
  return DecodeValue(b.data(), e.DataType);
}

int64_t TVXTIFFIFDReader::ReadInteger(uint16_t tagID, int64_t idx, int64_t def) const {
  int32_t i = FindTAG(tagID);
  return i < 0 ? def : GetItem(i, idx);
}

double TVXTIFFIFDReader::ReadRational(uint16_t tagID, int32_t idx, double defaultValue) const {
  int32_t i = FindTAG(tagID);
  if (i < 0) return defaultValue;
  uint64_t v = uint64_t(GetItem(i, idx));
  uint32_t num = uint32_t(v), den = uint32_t(v >> 32);
  if (GetDataType(i) == 10) {
    int32_t n = int32_t(num), d = int32_t(den);
    return double(n) / double(d == 0 ? 1 : d);
  }
  return double(num) / double(den == 0 ? 1 : den);
}

int32_t TVXTIFFIFDReader::ReadArrayIntegers(std::vector<int64_t>& ar, uint16_t tagID) const {
  int32_t i = FindTAG(tagID);
  if (i < 0) return 0;
  const TVXIFDEntry& e = fEntries[size_t(i)];
  const int64_t ts = VXTIFFTypeSize(e.DataType);
  if (ts == 0) {
    ar.clear();
    return 0;
  }
  std::vector<uint8_t> b = ValueBytes(i, 0, std::min<int64_t>(e.DataNum, INT32_MAX));
  int64_t n = int64_t(b.size()) / ts;
  ar.resize(size_t(n));
  for (int64_t k = 0; k < n; ++k) ar[size_t(k)] = DecodeValue(b.data() + k * ts, e.DataType);
  return int32_t(n);
}

TVXArrayOfByte TVXTIFFIFDReader::ReadRawDataAsArrayOfByte(uint16_t tagID) const {
  int32_t i = FindTAG(tagID);
  if (i < 0) return {};
  const TVXIFDEntry& e = fEntries[size_t(i)];
  // The bytes of the values as stored: inline ones from the entry, others
  // from the stream, never more than it holds.
  int64_t total = GetDataLengthInBytes(i);
  if (total <= 0) return {};
  if (total <= DataPosSize) return TVXArrayOfByte(e.Field, e.Field + total);
  int64_t start = StreamBase + e.DataPos, size = StreamSize();
  if (e.DataPos < 0 || start >= size) return {};
  int64_t n = std::min(total, size - start);
  TVXArrayOfByte out(static_cast<size_t>(n));
  ReadAt(Stream, start, out.data(), n);
  return out;
}

std::unique_ptr<uint8_t[]> TVXTIFFIFDReader::ReadRawData(uint16_t tagID, int32_t& Size) const {
  Size = 0;
  if (FindTAG(tagID) < 0) return nullptr;
  TVXArrayOfByte b = ReadRawDataAsArrayOfByte(tagID);
  if (b.size() > size_t(INT32_MAX)) b.resize(size_t(INT32_MAX));
  std::unique_ptr<uint8_t[]> p(new uint8_t[b.empty() ? 1 : b.size()]);
  if (!b.empty()) std::memcpy(p.get(), b.data(), b.size());
  Size = int32_t(b.size());
  return p;
}

std::string TVXTIFFIFDReader::ReadString(uint16_t tagID, bool truncToEZ) const {
  int32_t i = FindTAG(tagID);
  if (i < 0) return {};
  const TVXIFDEntry& e = fEntries[size_t(i)];
  if (e.DataNum <= 0 || e.DataNum >= StreamSize()) return {};
  const int64_t ts = VXTIFFTypeSize(e.DataType);
  if (ts == 0) return {};
  std::vector<uint8_t> b = ValueBytes(i, 0, e.DataNum);
  int64_t n = int64_t(b.size()) / ts;
  std::string s(size_t(n), '\0');
  for (int64_t k = 0; k < n; ++k) s[size_t(k)] = char(ts == 1 ? b[size_t(k)] : DecodeValue(b.data() + k * ts, e.DataType));
  if (truncToEZ) {
    size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
  }
  return s;
}

std::u16string TVXTIFFIFDReader::ReadWideString(uint16_t tagID) const {
  int32_t i = FindTAG(tagID);
  if (i < 0) return {};
  const TVXIFDEntry& e = fEntries[size_t(i)];
  if (e.DataNum <= 0 || e.DataNum >= StreamSize()) return {};
  TVXArrayOfByte b = ReadRawDataAsArrayOfByte(tagID);
  int64_t chars = (e.DataNum - 2) / 2;
  chars = std::min<int64_t>(chars, int64_t(b.size()) / 2);
  std::u16string s;
  for (int64_t k = 0; k < chars; ++k)
    s.push_back(char16_t(b[size_t(2 * k)] | (b[size_t(2 * k + 1)] << 8)));
  return s;
}

// ---------------------------------------------------------------------------
// TVXTIFFTagGetters

std::string TVXTIFFTagGetters::GetMiniString(uint16_t Tag) const { return fTagReader->ReadString(Tag, true); }
std::string TVXTIFFTagGetters::GetString(uint16_t Tag) const { return fTagReader->ReadString(Tag, true); }

std::vector<uint8_t> TVXTIFFTagGetters::GetRawData(uint16_t Tag) const {
  return fTagReader->ReadRawDataAsArrayOfByte(Tag);
}

int32_t TVXTIFFTagGetters::GetIntegerArray(uint16_t Tag, std::vector<int64_t>& ar) const {
  return fTagReader->ReadArrayIntegers(ar, Tag);
}

int32_t TVXTIFFTagGetters::GetIntegerIndexed(uint16_t Tag, int32_t index) const {
  return int32_t(fTagReader->ReadInteger(Tag, index, 0));
}

double TVXTIFFTagGetters::GetRationalIndexed(uint16_t Tag, int32_t index, double defVal) const {
  return fTagReader->ReadRational(Tag, index, defVal);
}

double TVXTIFFTagGetters::GetRational(uint16_t Tag, double defaultValue) const {
  return fTagReader->ReadRational(Tag, 0, defaultValue);
}

int32_t TVXTIFFTagGetters::TagLength(uint16_t Tag) const {
  int32_t i = fTagReader->FindTAG(Tag);
  return i < 0 ? 0 : int32_t(std::min<int64_t>(fTagReader->GetDataLengthInBytes(i), INT32_MAX));
}

bool TVXTIFFTagGetters::TagExists(uint16_t Tag) const { return fTagReader->FindTAG(Tag) >= 0; }

// ---------------------------------------------------------------------------
// TVXTIFFIFDWriter

void TVXTIFFIFDWriter::AddTag(uint16_t IdTag, uint16_t DataType, int32_t DataNum, uint32_t DataPos) {
  Items.push_back(TTIFFTAG{IdTag, DataType, DataNum, DataPos});
}

void TVXTIFFIFDWriter::ReorderTags() {
  std::stable_sort(Items.begin(), Items.end(),
                   [](const TTIFFTAG& a, const TTIFFTAG& b) { return a.IdTag < b.IdTag; });
}

uint32_t TVXTIFFIFDWriter::WriteOutOfLine(TStream* Stream, const void* Data, int64_t Count, bool& Aborting) {
  int64_t pos = VXStreamPadToWord(Stream, Aborting);
  VXWriteChecked(Stream, Aborting, Data, Count);
  return uint32_t(pos);
}

void TVXTIFFIFDWriter::WriteSingleLong(uint16_t tag, uint32_t val) { AddTag(tag, 4, 1, val); }

void TVXTIFFIFDWriter::WriteSingleShort(uint16_t tag, uint16_t val, const TTagList* writeIfInList) {
  if (TagInList(writeIfInList, tag)) AddTag(tag, 3, 1, val);
}

void TVXTIFFIFDWriter::WriteSingleByte(uint16_t tag, uint8_t val) { AddTag(tag, 1, 1, val); }

void TVXTIFFIFDWriter::WriteSingleUndefined(uint16_t tag, uint32_t val, const TTagList* writeIfInList) {
  if (TagInList(writeIfInList, tag)) AddTag(tag, 7, 1, val);
}

namespace {

uint32_t MiniField(const std::string& ss) {
  uint8_t f[4] = {0, 0, 0, 0};
  std::memcpy(f, ss.data(), std::min<size_t>(4, ss.size()));
  return uint32_t(f[0]) | (uint32_t(f[1]) << 8) | (uint32_t(f[2]) << 16) | (uint32_t(f[3]) << 24);
}

}  // namespace

void TVXTIFFIFDWriter::WriteMiniString(uint16_t tag, const std::string& ss) {
  AddTag(tag, 2, int32_t(ss.size()), MiniField(ss));
}

void TVXTIFFIFDWriter::WriteMiniByteString(uint16_t tag, const std::string& ss) {
  AddTag(tag, 1, int32_t(ss.size()), MiniField(ss));
}

void TVXTIFFIFDWriter::WriteString(TStream* Stream, uint16_t tag, const std::string& ss, bool& Aborting) {
  if (ss.empty()) return;
  if (ss.size() > 4) {
    uint32_t pos = WriteOutOfLine(Stream, ss.c_str(), int64_t(ss.size()) + 1, Aborting);
    AddTag(tag, 2, int32_t(ss.size() + 1), pos);
  } else {
    WriteMiniString(tag, ss);
  }
}

void TVXTIFFIFDWriter::WriteText(TStream* Stream, uint16_t Tag, const std::string& Text, bool& Aborting) {
  if (Text.empty()) return;
  if (Text.size() >= 4) {
    AddTag(Tag, 2, int32_t(Text.size() + 1), WriteOutOfLine(Stream, Text.c_str(), int64_t(Text.size()) + 1, Aborting));
    return;
  }
  uint32_t field = 0;
  for (size_t k = 0; k < Text.size(); ++k) field |= uint32_t(uint8_t(Text[k])) << (8 * k);
  AddTag(Tag, 2, int32_t(Text.size() + 1), field);
}

void TVXTIFFIFDWriter::WriteWideString(TStream* Stream, uint16_t tag, const std::u16string& ss, bool& Aborting) {
  if (ss.empty()) return;
  int32_t count = int32_t(2 * ss.size() + 2);
  if (ss.size() == 1) {
    AddTag(tag, 1, count, uint32_t(uint16_t(ss[0])));
    return;
  }
  std::vector<uint8_t> b(size_t(count), 0);
  for (size_t k = 0; k < ss.size(); ++k) VXTIFFPut16(b.data() + 2 * k, uint16_t(ss[k]), true);
  uint32_t pos = WriteOutOfLine(Stream, b.data(), count, Aborting);
  AddTag(tag, 1, count, pos);
}

void TVXTIFFIFDWriter::WriteArrayOfByte(TStream* Stream, uint16_t Tag, uint16_t DataType, const TVXArrayOfByte& Buffer,
                                        bool& Aborting) {
  if (Buffer.empty()) return;
  // Up to four bytes lie in the entry, where every reader looks for them.
  if (Buffer.size() <= 4) {
    AddTag(Tag, DataType, int32_t(Buffer.size()),
           MiniField(std::string(reinterpret_cast<const char*>(Buffer.data()), Buffer.size())));
    return;
  }
  uint32_t pos = WriteOutOfLine(Stream, Buffer.data(), int64_t(Buffer.size()), Aborting);
  AddTag(Tag, DataType, int32_t(Buffer.size()), pos);
}

void TVXTIFFIFDWriter::WriteSingleRational(TStream* Stream, uint16_t tag, double value, bool& Aborting,
                                           const TTagList* writeIfInList) {
  if (!TagInList(writeIfInList, tag)) return;
  WriteMultiRational(Stream, tag, Aborting, std::span<const double>(&value, 1));
}

void TVXTIFFIFDWriter::WriteMultiRational(TStream* Stream, uint16_t tag, bool& Aborting,
                                          std::span<const double> values) {
  std::vector<uint8_t> b(values.size() * 8);
  for (size_t k = 0; k < values.size(); ++k) {
    int32_t num = 0, den = 1;
    VXFloatToFraction(values[k], 5e-9, num, den);
    VXTIFFPut32(b.data() + 8 * k, uint32_t(num), true);
    VXTIFFPut32(b.data() + 8 * k + 4, uint32_t(den), true);
  }
  uint32_t pos = WriteOutOfLine(Stream, b.data(), int64_t(b.size()), Aborting);
  AddTag(tag, 5, int32_t(values.size()), pos);
}

void TVXTIFFIFDWriter::WriteMultiLongEx(TStream* Stream, uint16_t IdTag, bool& Aborting, int32_t DataNum,
                                        std::span<const int32_t> values) {
  int32_t n = std::max<int32_t>(0, std::min<int32_t>(DataNum, int32_t(values.size())));
  // A single value fits the entry, where every reader looks for it.
  if (n == 1) {
    AddTag(IdTag, 4, 1, uint32_t(values[0]));
    return;
  }
  std::vector<uint8_t> b(size_t(n) * 4);
  for (int32_t k = 0; k < n; ++k) VXTIFFPut32(b.data() + 4 * k, uint32_t(values[size_t(k)]), true);
  uint32_t pos = WriteOutOfLine(Stream, b.data(), int64_t(b.size()), Aborting);
  AddTag(IdTag, 4, n, pos);
}

void TVXTIFFIFDWriter::WriteMultiShort(TStream* Stream, uint16_t IdTag, bool& Aborting,
                                       std::span<const uint16_t> values) {
  if (values.size() == 1) {
    AddTag(IdTag, 3, 1, values[0]);
  } else if (values.size() == 2) {
    AddTag(IdTag, 3, 2, uint32_t(values[0]) | (uint32_t(values[1]) << 16));
  } else {
    std::vector<uint8_t> b(values.size() * 2);
    for (size_t k = 0; k < values.size(); ++k) VXTIFFPut16(b.data() + 2 * k, values[k], true);
    uint32_t pos = WriteOutOfLine(Stream, b.data(), int64_t(b.size()), Aborting);
    AddTag(IdTag, 3, int32_t(values.size()), pos);
  }
}

void VXWriteTIFFTag(TStream* Stream, const TTIFFTAG& Tag, bool LittleEndian, bool& Aborting) {
  uint8_t b[12];
  auto put = [&](uint8_t* p, uint32_t v, int n) {
    for (int k = 0; k < n; ++k) p[LittleEndian ? k : n - 1 - k] = uint8_t(v >> (8 * k));
  };
  put(b, Tag.IdTag, 2);
  put(b + 2, Tag.DataType, 2);
  put(b + 4, uint32_t(Tag.DataNum), 4);
  put(b + 8, Tag.DataPos, 4);
  VXWriteChecked(Stream, Aborting, b, 12);
}
