#include "io/tagshandler.h"

#include <algorithm>
#include <cstring>

#include "core/streams.h"
#include "core/streamutils.h"

namespace {

// The device table, tried in this order.
const TVXEXIFMakerNoteDeviceInfo& DeviceRow(int i) {
  static const TVXEXIFMakerNoteDeviceInfo kRows[11] = {
      {std::string("SONY CAM \0\0\0", 12), vxmnAbsolute, vxmnNONE, {}, vxboFromEXIF},
      {std::string("SONY DSC \0\0\0", 12), vxmnAbsolute, vxmnNONE, {}, vxboFromEXIF},
      {std::string("Nikon\0\x02\x10\0\0", 10), vxmnTIFFHeader, vxmnTIFF, {}, vxboFromTIFFHeader},
      {std::string("QVC\0\0\0", 6), vxmnAbsolute, vxmnNONE, {}, vxboBigEndian},
      {std::string("EPSON\0\x01\0", 8), vxmnAbsolute, vxmnNONE, {}, vxboFromEXIF},
      {std::string("Nikon\0\x01\0", 8), vxmnAbsolute, vxmnNONE, {}, vxboFromEXIF},
      {std::string("Panasonic\0\0\0", 12), vxmnAbsolute, vxmnNONE, {}, vxboFromEXIF},
      {std::string("FUJIFILM", 8), vxmnTIFFHeader, vxmnIFDOFFSET, {}, vxboLittleEndian},
      {std::string("LEICA\0\0\0", 8), vxmnTIFFHeader, vxmnNONE, {}, vxboFromEXIF},
      {std::string("OLYMP\0\x02\0", 8), vxmnEXIFSegment, vxmnNONE, {}, vxboFromEXIF},
      {std::string("Nikon\0\x02\x11\0\0", 10), vxmnTIFFHeader, vxmnTIFF, {}, vxboFromTIFFHeader},
  };
  return kRows[i];
}

// Reverses the byte order of each value of a field type in place.
void SwapValues(uint8_t* p, int64_t length, uint16_t type) {
  int32_t ts = VXTIFFTypeSize(type);
  int32_t unit = (type == 5 || type == 10) ? 4 : ts;
  if (unit <= 1) return;
  for (int64_t k = 0; k + unit <= length; k += unit) std::reverse(p + k, p + k + unit);
}

constexpr int64_t kMaxNoteLength = 65000;

}  // namespace

TVXTagsHandler::TVXTagsHandler()
    : TVXTIFFTagGetters(nullptr), fData(std::make_unique<TMemoryStream>()), fIFD(std::make_unique<TVXTIFFIFDReader>()) {
  fTagReader = fIFD.get();
  Clear();
}

TVXTagsHandler::~TVXTagsHandler() = default;

void TVXTagsHandler::Clear() {
  fIFD->Clear();
  fUnparsedData.reset();
  fUnparsedDataLength = 0;
  fEXIFMakerInfo = TVXEXIFMakerNoteDeviceInfo();
  fIFD->LittleEndian = true;
  fIFD->StreamBase = 0;
  fIFD->Stream = fData.get();
  fData->Clear();
}

void TVXTagsHandler::Assign(const TVXTagsHandler& source) {
  if (&source == this) return;
  Clear();
  if (source.fData->Size() > 0) {
    fData->Write(source.fData->Memory(), source.fData->Size());
    fData->SetPosition(0);
  }
  fIFD->LittleEndian = source.fIFD->LittleEndian;
  Update();
  if (source.fUnparsedData && source.fUnparsedDataLength > 0) {
    fUnparsedData.reset(new uint8_t[size_t(source.fUnparsedDataLength)]);
    std::memcpy(fUnparsedData.get(), source.fUnparsedData.get(), size_t(source.fUnparsedDataLength));
    fUnparsedDataLength = source.fUnparsedDataLength;
  }
  fEXIFMakerInfo = source.fEXIFMakerInfo;
}

void TVXTagsHandler::SetUnparsedData(std::unique_ptr<uint8_t[]> data, int32_t length) {
  fUnparsedData = std::move(data);
  fUnparsedDataLength = fUnparsedData ? std::max(0, length) : 0;
}

void TVXTagsHandler::Update() {
  int64_t size = fData->Size();
  if (size < 2) return;
  const uint8_t* d = static_cast<const uint8_t*>(fData->Memory());
  int64_t count = VXTIFFGet16(d, true);
  count = std::min<int64_t>(count, (size - 2) / 12);
  std::vector<TVXIFDEntry> entries(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k) {
    const uint8_t* p = d + 2 + 12 * k;
    TVXIFDEntry& e = entries[size_t(k)];
    e.IdTag = VXTIFFGet16(p, true);
    e.DataType = VXTIFFGet16(p + 2, true);
    e.DataNum = VXTIFFGet32(p + 4, true);
    e.DataPos = VXTIFFGet32(p + 8, true);
    std::memcpy(e.Field, p + 8, 4);
  }
  fIFD->SetEntries(std::move(entries));
}

void TVXTagsHandler::ReadFromStream(TStream* stream, int32_t size, bool littleEndian, int64_t exifSegmentPos,
                                    const TVXTagsHandlerAddTagFunc& addTagFunc) {
  Clear();
  try {
    if (!Parse(stream, size, littleEndian, exifSegmentPos, addTagFunc)) Clear();
  } catch (...) {
    Clear();
  }
}

bool TVXTagsHandler::Parse(TStream* stream, int32_t size, bool littleEndian, int64_t exifSegmentPos,
                           const TVXTagsHandlerAddTagFunc& addTagFunc) {
  if (!stream || size <= 1) return true;
  const int64_t P = stream->Position();
  const int64_t avail = stream->Size() - P;
  if (avail < size) size = int32_t(std::max<int64_t>(avail, 0));
  if (size <= 1) return false;
  std::unique_ptr<uint8_t[]> raw(new uint8_t[size_t(size)]);
  size = int32_t(std::max<int64_t>(0, stream->Read(raw.get(), size)));
  if (size <= 1) return false;
  const uint8_t* note = raw.get();
  fUnparsedData = std::move(raw);
  fUnparsedDataLength = size;

  // The maker: the first row whose signature opens the note.
  for (int i = 0; i < 11; ++i) {
    const std::string& sig = DeviceRow(i).signature;
    size_t n = std::min<size_t>(size_t(size), sig.size());
    if (std::memcmp(note, sig.data(), n) == 0) {
      fEXIFMakerInfo = DeviceRow(i);
      break;
    }
  }
  const int64_t S = int64_t(fEXIFMakerInfo.signature.size());
  int64_t D = S, H = 0;
  if (fEXIFMakerInfo.headerType == vxmnTIFF) {
    if (S + 8 > size) return false;
    const uint8_t* h = note + S;
    fEXIFMakerInfo.TIFFHeader.Id = VXTIFFGet16(h, true);
    fEXIFMakerInfo.TIFFHeader.Ver = VXTIFFGet16(h + 2, true);
    fEXIFMakerInfo.TIFFHeader.PosIFD = VXTIFFGet32(h + 4, true);
    D = S + 8;
    H = S;
  } else if (fEXIFMakerInfo.headerType == vxmnIFDOFFSET) {
    if (S + 4 > size) return false;
    D = VXTIFFGet32(note + S, true);
  }
  if (D >= size || D + 2 > size) return false;

  bool le = littleEndian;
  switch (fEXIFMakerInfo.byteOrder) {
    case vxboFromTIFFHeader: le = fEXIFMakerInfo.TIFFHeader.Id == kTIFFLittleEndianId; break;
    case vxboLittleEndian: le = true; break;
    case vxboBigEndian: le = false; break;
    case vxboFromEXIF: break;
  }
  fIFD->LittleEndian = le;

  const int64_t C = VXTIFFGet16(note + D, le);
  if (C > 256 || size < 12 * C) return false;

  // Entries first, out-of-line values after them in entry order.
  std::vector<uint8_t> entries, values;
  int64_t taken = 0;
  for (int64_t k = 0; k < C; ++k) {
    const int64_t E = D + 2 + 12 * k;
    if (E + 12 >= size) break;
    const uint8_t* p = note + E;
    if (addTagFunc) {
      TTIFFTAG raw{VXTIFFGet16(p, true), VXTIFFGet16(p + 2, true), int32_t(VXTIFFGet32(p + 4, true)), VXTIFFGet32(p + 8, true)};
      addTagFunc(int32_t(P + E), le, raw);
    }
    uint16_t tag = VXTIFFGet16(p, le), type = VXTIFFGet16(p + 2, le);
    uint32_t count = VXTIFFGet32(p + 4, le), offset = VXTIFFGet32(p + 8, le);
    int64_t length = int64_t(count) * VXTIFFTypeSize(type);
    uint8_t e[12];
    VXTIFFPut16(e, tag, true);
    VXTIFFPut16(e + 2, type, true);
    VXTIFFPut32(e + 4, count, true);
    if (length > 4) {
      int64_t source = 0;
      switch (fEXIFMakerInfo.base) {
        case vxmnAbsolute: source = int64_t(offset) - P; break;
        case vxmnTIFFHeader: source = int64_t(offset) + H; break;
        case vxmnEXIFSegment: source = int64_t(offset) - exifSegmentPos; break;
      }
      if (source < 0 || source + length > size) {
        VXTIFFPut32(e + 4, 0, true);
        VXTIFFPut32(e + 8, 0, true);
      } else {
        // Values keep the note's byte order; the reader's flag swaps them.
        int64_t pos = int64_t(values.size());
        values.insert(values.end(), note + source, note + source + length);
        VXTIFFPut32(e + 8, uint32_t(pos), true);  // made absolute below
      }
    } else {
      std::memcpy(e + 8, p + 8, 4);  // inline values as stored
    }
    entries.insert(entries.end(), e, e + 12);
    ++taken;
  }
  // Only the entries the note holds are kept, so the block's count is theirs.
  const int64_t valuesStart = 2 + 12 * taken;
  for (int64_t k = 0; k < taken; ++k) {
    uint8_t* e = entries.data() + 12 * k;
    int64_t length = int64_t(VXTIFFGet32(e + 4, true)) * VXTIFFTypeSize(VXTIFFGet16(e + 2, true));
    if (length > 4) VXTIFFPut32(e + 8, uint32_t(VXTIFFGet32(e + 8, true) + valuesStart), true);
  }
  uint8_t c[2];
  VXTIFFPut16(c, uint16_t(taken), true);
  fData->Write(c, 2);
  if (!entries.empty()) fData->Write(entries.data(), int64_t(entries.size()));
  if (!values.empty()) fData->Write(values.data(), int64_t(values.size()));
  fData->SetPosition(0);
  Update();
  return true;
}

int32_t TVXTagsHandler::WriteToStream(TStream* stream, int64_t exifSegmentPos) {
  const int64_t S0 = stream->Position();
  const int64_t oldSize = stream->Size();
  const std::string& sig = fEXIFMakerInfo.signature;
  const int64_t S = int64_t(sig.size());
  bool aborting = false;
  if (S > 0) VXWriteChecked(stream, aborting, sig.data(), S);

  // The order the note's reader will apply when it reads this note back.
  bool W = true;
  if (fEXIFMakerInfo.headerType == vxmnTIFF)
    W = fEXIFMakerInfo.TIFFHeader.Id == kTIFFLittleEndianId;
  else if (fEXIFMakerInfo.byteOrder == vxboBigEndian)
    W = false;
  const bool noteLE = fIFD->LittleEndian;
  const int64_t H = fEXIFMakerInfo.headerType == vxmnTIFF ? S : 0;

  if (fEXIFMakerInfo.headerType == vxmnTIFF) {
    uint8_t h[8];
    VXTIFFPut16(h, fEXIFMakerInfo.TIFFHeader.Id, true);
    VXTIFFPut16(h + 2, fEXIFMakerInfo.TIFFHeader.Ver, true);
    VXTIFFPut32(h + 4, 8, W);
    VXWriteChecked(stream, aborting, h, 8);
  } else if (fEXIFMakerInfo.headerType == vxmnIFDOFFSET) {
    uint8_t h[4];
    VXTIFFPut32(h, uint32_t(S + 4), true);
    VXWriteChecked(stream, aborting, h, 4);
  }

  const int64_t dataSize = fData->Size();
  const uint8_t* d = static_cast<const uint8_t*>(fData->Memory());
  int64_t C = dataSize >= 2 ? std::min<int64_t>(VXTIFFGet16(d, true), (dataSize - 2) / 12) : 0;
  uint8_t c[2];
  VXTIFFPut16(c, uint16_t(C), W);
  VXWriteChecked(stream, aborting, c, 2);
  const int64_t E0 = stream->Position();
  int64_t V = E0 + 12 * C + 4;
  for (int64_t k = 0; k < C; ++k) {
    const uint8_t* p = d + 2 + 12 * k;
    uint16_t tag = VXTIFFGet16(p, true), type = VXTIFFGet16(p + 2, true);
    uint32_t count = VXTIFFGet32(p + 4, true), oldPos = VXTIFFGet32(p + 8, true);
    int64_t length = int64_t(count) * VXTIFFTypeSize(type);
    uint8_t e[12];
    VXTIFFPut16(e, tag, W);
    VXTIFFPut16(e + 2, type, W);
    VXTIFFPut32(e + 4, count, W);
    if (length > 4) {
      int64_t off = V;
      switch (fEXIFMakerInfo.base) {
        case vxmnAbsolute: off = V; break;
        case vxmnTIFFHeader: off = V - S0 - H; break;
        case vxmnEXIFSegment: off = V + exifSegmentPos; break;
      }
      if (length > 0 && int64_t(oldPos) + length <= dataSize) {
        std::vector<uint8_t> v(d + oldPos, d + oldPos + length);
        if (W != noteLE) SwapValues(v.data(), length, type);
        stream->Seek(V, soBeginning);
        VXWriteChecked(stream, aborting, v.data(), length);
      }
      V += length;
      if (V & 1) ++V;
      VXTIFFPut32(e + 8, uint32_t(off), W);
    } else {
      std::memcpy(e + 8, p + 8, 4);
      if (W != noteLE) SwapValues(e + 8, length, type);
    }
    stream->Seek(E0 + 12 * k, soBeginning);
    VXWriteChecked(stream, aborting, e, 12);
  }
  uint8_t link[4] = {0, 0, 0, 0};
  stream->Seek(E0 + 12 * C, soBeginning);
  VXWriteChecked(stream, aborting, link, 4);
  stream->Seek(V, soBeginning);
  if (V - S0 <= kMaxNoteLength) return int32_t(V - S0);
  stream->SetSize(oldSize);
  stream->Seek(S0, soBeginning);
  return 0;
}

int32_t TVXTagsHandler::GetInteger(uint16_t Tag) const { return int32_t(fIFD->ReadInteger(Tag, 0, 0)); }

// ---------------------------------------------------------------------------

TVXTagsHandlerRelocator::TVXTagsHandlerRelocator(TStream* Stream_, int64_t Position_, int64_t Offset_,
                                                 bool LittleEndian_)
    : Stream(Stream_), Position(Position_), Offset(Offset_), LittleEndian(LittleEndian_),
      TagsHandler(std::make_unique<TVXTagsHandler>()) {}

TVXTagsHandlerRelocator::~TVXTagsHandlerRelocator() = default;

void TVXTagsHandlerRelocator::Relocate() {
  Stream->Seek(Position, soBeginning);
  int64_t size = std::min<int64_t>(Stream->Size(), INT32_MAX);
  auto relocate = [this](int32_t tagPosition, bool le, TTIFFTAG& tag) {
    // Offsets counted from the note itself (or its own header) move with it.
    if (TagsHandler->EXIFMakerInfo().base == vxmnTIFFHeader) return;
    uint8_t e[12];
    VXTIFFPut16(e, tag.IdTag, true);
    VXTIFFPut16(e + 2, tag.DataType, true);
    VXTIFFPut32(e + 4, uint32_t(tag.DataNum), true);
    VXTIFFPut32(e + 8, tag.DataPos, true);
    uint16_t type = VXTIFFGet16(e + 2, le);
    uint32_t count = VXTIFFGet32(e + 4, le);
    if (int64_t(count) * VXTIFFTypeSize(type) <= 4) return;
    VXTIFFPut32(e + 8, uint32_t(int64_t(VXTIFFGet32(e + 8, le)) + Offset), le);
    int64_t keep = Stream->Position();
    bool aborting = false;
    Stream->Seek(tagPosition, soBeginning);
    VXWriteChecked(Stream, aborting, e, 12);
    Stream->Seek(keep, soBeginning);
  };
  TagsHandler->ReadFromStream(Stream, int32_t(size), LittleEndian, 0, relocate);
}
