// DICOM data set reading: the preamble test, then element after element into
// the tag list, sequences as nested tag lists, until the main data set's
// pixel data. Every element is classified by its own two bytes after the tag,
// so explicit and implicit elements may mix.
#include <algorithm>
#include <cstring>

#include "core/settings.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "formats/dicom.h"
#include "io/dicomtags.h"
#include "io/params.h"

namespace {

constexpr uint32_t kUndefinedLength = 0xFFFFFFFF;

// Representations whose explicit form has 2 reserved bytes and a 32-bit length.
bool LongForm(TVXDicomTagType VR) {
  return VR == dvOB || VR == dvOF || VR == dvOW || VR == dvSQ || VR == dvUN || VR == dvUT || VR == dvUR;
}

// The newer codes outside the 28 (all of the long form), as the dictionary
// maps them: UC as UT, the others as UN.
bool NewerCode(const uint8_t* Code, TVXDicomTagType& Type) {
  static const char* const kCodes[] = {"OD", "OL", "OV", "SV", "UV", "UC"};
  for (const char* c : kCodes)
    if (Code[0] == uint8_t(c[0]) && Code[1] == uint8_t(c[1])) {
      Type = c[0] == 'U' && c[1] == 'C' ? dvUT : dvUN;
      return true;
    }
  return false;
}

// Bytes of one value of a representation (0 for an undefined length).
int32_t UnitOf(TVXDicomTagType VR) {
  switch (VR) {
    case dvSS: case dvUS: return 2;
    case dvFL: case dvSL: case dvUL: return 4;
    case dvFD: return 8;
    default: return 1;
  }
}

// The value as text without leading and trailing spaces and NULs.
std::string Trimmed(const std::vector<uint8_t>& Data, int32_t Length) {
  if (Length <= 0 || Data.empty()) return std::string();
  std::string s(reinterpret_cast<const char*>(Data.data()), size_t(std::min<int64_t>(Length, int64_t(Data.size()))));
  const size_t a = s.find_first_not_of(std::string(" \0", 2));
  if (a == std::string::npos) return std::string();
  const size_t b = s.find_last_not_of(std::string(" \0", 2));
  return s.substr(a, b - a + 1);
}

}  // namespace

int vxdicom::NumberUnit(uint8_t VR) {
  switch (TVXDicomTagType(VR)) {
    case dvUS: case dvSS: case dvOW: case dvAT: case dvUSorSS: return 2;
    case dvUL: case dvSL: case dvFL: case dvOF: return 4;
    case dvFD: return 8;
    default: return 0;
  }
}

double vxdicom::DecimalValue(const std::string& Text, double Default) {
  std::string s = Text.substr(0, Text.find('\\'));
  const size_t a = s.find_first_not_of(std::string(" \0", 2)), b = s.find_last_not_of(std::string(" \0", 2));
  if (a == std::string::npos) return Default;
  return double(VXStrToFloatDef(s.substr(a, b - a + 1), Default));
}

TDicomReadContext::TDicomReadContext(TStream* InStream, const TProgressRec& InProgress) : Progress(InProgress) {
  if (!Progress.Aborting) Progress.Aborting = &fLocalAbort;
  Stream = std::make_unique<TVXBufferedReadStream>(InStream, 65536, VXGetGlobalSettings()->UseRelativeStreams());
  StreamSize = Stream->Size();
}

TDicomReadContext::~TDicomReadContext() = default;

bool& TDicomReadContext::Aborting() { return *Progress.Aborting; }

uint16_t TDicomReadContext::Rd16(const uint8_t* p, bool Little) const {
  return Little ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]);
}

uint32_t TDicomReadContext::Rd32(const uint8_t* p, bool Little) const {
  return Little ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24)
                : (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void TDicomReadContext::ReadHeader() {
  const int64_t start = Stream->Position();
  uint8_t magic[4] = {};
  Stream->Seek(128, soCurrent);
  if (Stream->Read(magic, 4) == 4 && std::memcmp(magic, "DICM", 4) == 0) {
    Implicit = false;
    return;
  }
  Stream->SetPosition(start);
  Implicit = true;
}

// The tag at the position: group 2 is always little-endian, the rest in the
// data set's order.
bool TDicomReadContext::ReadTag(uint16_t& Group, uint16_t& Element) {
  uint8_t t[4];
  if (Stream->Read(t, 4) != 4) return false;
  Group = Rd16(t, true);
  Element = Rd16(t + 2, true);
  if (Group != 2 && !LittleEndian) {
    Group = Rd16(t, false);
    Element = Rd16(t + 2, false);
  }
  return true;
}

void TDicomReadContext::ReadTags(TIOParamsVals& Params) {
  IOParams = &Params;
  RescaleIntercept = Params.DICOM_RescaleIntercept();
  RescaleSlope = Params.DICOM_RescaleSlope();
  Params.DICOM_Tags().Clear();
  fStopped = false;
  while (!fStopped && ReadElement(Params.DICOM_Tags(), true, 0, StreamSize)) {
  }
}

bool TDicomReadContext::ReadElement(TVXDicomTags& List, bool Main, int Depth, int64_t Limit) {
  uint16_t group = 0, element = 0;
  if (!ReadTag(group, element)) return false;
  const TVXDicomDictEntry* entry = VXFindDicomDictEntry(group, element);
  TVXDicomTagType d = entry ? entry->VR : dvUSorSS;
  uint8_t code[2];
  if (Stream->Read(code, 2) != 2) return false;
  TVXDicomTagType f = VXDicomVRFromString(std::string(reinterpret_cast<const char*>(code), 2));
  TVXDicomTagType newer = dvUnknown;
  if (f == dvUnknown && NewerCode(code, newer)) f = newer;

  const bool little = group == 2 || LittleEndian;
  bool implicit;
  if (group != 2 && f == dvUnknown) {
    implicit = true;
  } else {
    if (d == dvUSorSS) d = f;
    implicit = (Implicit && f == dvUnknown) || d == dvUnknown;
  }
  uint32_t length = 0;
  uint8_t l[4];
  if (implicit) {
    Stream->Seek(-2, soCurrent);
    if (Stream->Read(l, 4) != 4) return false;
    length = Rd32(l, little);
  } else if (LongForm(f)) {
    if (Stream->Read(l, 2) != 2 || Stream->Read(l, 4) != 4) return false;
    length = Rd32(l, little);
  } else {
    if (Stream->Read(l, 2) != 2) return false;
    length = Rd16(l, little);
  }

  const int64_t valueStart = Stream->Position();
  const bool undefined = length == kUndefinedLength;
  const int32_t unit = undefined ? 0 : UnitOf(d);
  const int64_t count = unit ? int64_t(length) / unit : 0;

  if (group == 0x7FE0 && element == 0x0010) {
    uint8_t p[4] = {};
    const bool got = Stream->Read(p, 4) == 4;
    Stream->SetPosition(valueStart);
    const bool jpeg = got && ((p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF && p[3] == 0xE0) ||
                              (p[0] == 0xD8 && p[1] == 0xFF && p[2] == 0xE0 && p[3] == 0xFF));
    if (jpeg) {
      ThumbPos = valueStart;
    } else if (Main) {
      ImagePos = valueStart;
      fStopped = true;
      return false;
    }
  }

  // A value is kept only when the file holds it whole, within its item.
  const int64_t remaining = Limit - valueStart;
  const bool readValue =
      (!undefined && length > 0 && int64_t(length) < StreamSize && int64_t(length) <= remaining) ||
      (undefined && d == dvSQ);
  std::vector<uint8_t> data;
  int32_t dataLength = -1;
  uint32_t number = 0;
  bool haveNumber = false;
  std::unique_ptr<TVXDicomTagChildren> children;
  if (readValue) {
    if (count == 1 && (unit == 1 || unit == 2 || unit == 4)) {
      uint8_t v[4] = {};
      if (Stream->Read(v, unit) == unit) {
        number = unit == 1 ? v[0] : unit == 2 ? Rd16(v, little) : Rd32(v, little);
        haveNumber = true;
      }
      Stream->SetPosition(valueStart);
    }
    if (d == dvSQ) {
      children = std::make_unique<TVXDicomTagChildren>();
      ReadSequence(valueStart, undefined ? -1 : int64_t(length), Depth + 1, Limit, *children);
    } else {
      data.resize(size_t(length) + 1, 0);
      Stream->Read(data.data(), int64_t(length));
      dataLength = int32_t(length);
      // Numbers are kept little-endian whatever the file's order.
      const int numberUnit = vxdicom::NumberUnit(d);
      if (!little && numberUnit > 1)
        for (size_t i = 0; i + size_t(numberUnit) <= size_t(length); i += size_t(numberUnit))
          std::reverse(data.begin() + long(i), data.begin() + long(i) + numberUnit);
    }
  } else if (!undefined) {
    Stream->SetPosition(valueStart + int64_t(length));  // no value kept; past the end ends the reading
  }
  List.AddTag(group, element, d, data.empty() ? nullptr : data.data(), dataLength, std::move(children));
  if (Main) SetContext(group, element, data, dataLength, haveNumber, number);
  return Stream->Position() < StreamSize;
}

void TDicomReadContext::ReadSequence(int64_t ValueStart, int64_t Length, int Depth, int64_t Limit,
                                     std::vector<std::unique_ptr<TVXDicomTags>>& Items) {
  if (Depth > vxdicom::kMaxNesting) {
    // Deeper than anything a real file holds: a defined length is skipped,
    // an undefined one ends the data set.
    Stream->SetPosition(Length >= 0 ? ValueStart + Length : StreamSize);
    return;
  }
  // An item of undefined length without its delimiter ends with the
  // sequence, and an undefined sequence with what holds it.
  const int64_t end = std::min(Length >= 0 ? ValueStart + Length : Limit, Limit);
  while (Stream->Position() < end) {
    uint16_t group = 0, element = 0;
    if (!ReadTag(group, element)) break;
    uint8_t l[4];
    if (group == 0xFFFE && element == 0xE0DD) {  // sequence delimitation
      Stream->Read(l, 4);
      break;
    }
    if (group != 0xFFFE || element != 0xE000) {  // not an item: the sequence ends here
      Stream->Seek(-4, soCurrent);
      break;
    }
    if (Stream->Read(l, 4) != 4) break;
    const uint32_t itemLength = Rd32(l, LittleEndian);
    if (itemLength == 0) continue;
    auto item = std::make_unique<TVXDicomTags>();
    bool ok;
    if (itemLength == kUndefinedLength) {
      ok = ReadItemElements(*item, end, true, Depth);
    } else {
      const int64_t itemEnd = Stream->Position() + int64_t(itemLength);
      ok = ReadItemElements(*item, std::min(itemEnd, end), false, Depth);
      Stream->SetPosition(itemEnd);
    }
    if (ok) Items.push_back(std::move(item));
  }
  if (Length >= 0) Stream->SetPosition(ValueStart + Length);
}

// Elements of one item up to End or, for an item of undefined length, up to
// its (FFFE,E00D). False when an element could not be read whole.
bool TDicomReadContext::ReadItemElements(TVXDicomTags& List, int64_t End, bool Undefined, int Depth) {
  while (Stream->Position() < End) {
    if (Undefined) {
      const int64_t at = Stream->Position();
      uint16_t group = 0, element = 0;
      if (!ReadTag(group, element)) return true;
      if (group == 0xFFFE && element == 0xE00D) {
        uint8_t l[4];
        Stream->Read(l, 4);
        return true;
      }
      Stream->SetPosition(at);
    }
    const int64_t before = Stream->Position();
    if (!ReadElement(List, false, Depth, End) && Stream->Position() <= before) return false;
    if (Stream->Position() > StreamSize) return Undefined;
  }
  return true;
}

void TDicomReadContext::SetContext(uint16_t Group, uint16_t Element, const std::vector<uint8_t>& Data,
                                   int32_t Length, bool HaveNumber, uint32_t Number) {
  const std::string text = Trimmed(Data, Length);
  const auto integer = [&]() -> int32_t {
    if (HaveNumber) return int32_t(Number);
    // A number beyond 32 bits is as unreadable as text that is none.
    const long double n = VXStrToFloatDef(text, 0);
    return n > -2147483649.0L && n < 2147483648.0L ? int32_t(n) : 0;
  };
  const auto bits = [&](int32_t Value, int32_t& Field, int32_t& Other) {
    Field = Value;
    BytesPerChannel = std::max(BytesPerChannel, int32_t((int64_t(Value) + 7) / 8));
    if (Other == 0) Other = Value;
  };
  const auto palette = [&](std::vector<uint16_t>& Map) {
    const int64_t entries = BitsAllocated >= 16 ? 65536 : int64_t(1) << std::max(0, BitsAllocated);
    Map.assign(size_t(entries), 0);
    for (int64_t i = 0; i < entries && 2 * i + 1 < Length; ++i) Map[size_t(i)] = Rd16(&Data[size_t(2 * i)], true);
  };
  const uint32_t tag = (uint32_t(Group) << 16) | Element;
  switch (tag) {
    case 0x00020010:
      TransferSyntax = text;
      if (TransferSyntax == vxdicom::kExplicitBigEndian) LittleEndian = false;
      break;
    case 0x00280002: SamplesPerPixel = integer(); break;
    case 0x00280004:
      PhotometricInterpretation = text;
      for (char& c : PhotometricInterpretation) c = char(std::toupper(static_cast<unsigned char>(c)));
      break;
    case 0x00280006: PlanarConfiguration = integer(); break;
    case 0x00280008: {
      const long double n = VXStrToFloatDef(text, 1);
      FrameCount = n >= 1 && n < 2147483647.0L ? int32_t(n) : 1;
      break;
    }
    case 0x00280010: Height = integer(); break;
    case 0x00280011: Width = integer(); break;
    case 0x00280100: bits(integer(), BitsAllocated, BitsStored); break;
    case 0x00280101: bits(integer(), BitsStored, BitsAllocated); break;
    case 0x00280103: PixelRepresentation = integer(); break;
    case 0x00281050: WindowCenter = vxdicom::DecimalValue(text, vxdicom::kNotGiven); break;
    case 0x00281051: WindowWidth = vxdicom::DecimalValue(text, vxdicom::kNotGiven); break;
    case 0x00281052: RescaleIntercept = vxdicom::DecimalValue(text, 0); break;
    case 0x00281053: RescaleSlope = vxdicom::DecimalValue(text, 1); break;
    case 0x00281201: palette(RMap); break;
    case 0x00281202: palette(GMap); break;
    case 0x00281203: palette(BMap); break;
    default: break;
  }
}
