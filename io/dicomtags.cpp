// DICOM tag list: ordered tags with nested sequence items, typed access, the
// stream form, and the lookup in the DICOM data dictionary.
#include "io/dicomtags.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "core/streams.h"
#include "core/textutils.h"
#include "core/vxdefs.h"
#include "io/metastream.h"

// ---------------------------------------------------------------------------
// Value representations

namespace {

const char* const kVRNames[28] = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FD", "FL", "IS",
                                  "LO", "LT", "OB", "OF", "OW", "PN", "SH", "SL", "SQ", "SS",
                                  "ST", "TM", "UI", "UL", "UN", "UR", "US", "UT"};

}  // namespace

TVXDicomTagType VXDicomVRFromString(const std::string& s) {
  for (int i = 0; i < 28; ++i)
    if (s == kVRNames[i]) return TVXDicomTagType(i);
  return dvUnknown;
}

std::string VXDicomVRToString(TVXDicomTagType vr) {
  if (unsigned(vr) < 28) return kVRNames[vr];
  return "??";
}

// ---------------------------------------------------------------------------
// Data dictionary: the standard's elements, the repeating groups 50xx, 60xx
// and 7Fxx written out, sorted by group, then element, and a sentinel.

namespace {

const TVXDicomDictEntry kDicomDict[] = {
#include "io/dicomdict.inc"
};

bool PairLess(uint16_t g1, uint16_t e1, uint16_t g2, uint16_t e2) {
  return g1 != g2 ? g1 < g2 : e1 < e2;
}

}  // namespace

const TVXDicomDictEntry* VXFindDicomDictEntry(uint16_t Group, uint16_t Element) {
  const TVXDicomDictEntry* b = std::begin(kDicomDict);
  const TVXDicomDictEntry* e = std::end(kDicomDict);
  const TVXDicomDictEntry* it = std::lower_bound(b, e, 0, [&](const TVXDicomDictEntry& d, int) {
    return PairLess(d.Group, d.Element, Group, Element);
  });
  if (it != e && it->Group == Group && it->Element == Element) return it;
  return nullptr;
}

// ---------------------------------------------------------------------------
// Tag list

namespace {

std::string Hex4(uint16_t v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", unsigned(v));
  return buf;
}

[[noreturn]] void RaiseKind(uint16_t Group, uint16_t Element, const char* kind) {
  throw EVXException("Tag " + Hex4(Group) + "," + Hex4(Element) + " cannot be " + kind);
}

TVXDicomTagType DictVR(uint16_t Group, uint16_t Element, TVXDicomTagType fallback) {
  const TVXDicomDictEntry* d = VXFindDicomDictEntry(Group, Element);
  return d ? d->VR : fallback;
}

std::unique_ptr<TVXDicomTag> MakeTag(uint16_t Group, uint16_t Element, TVXDicomTagType vr,
                                     const void* data, int32_t len) {
  auto t = std::make_unique<TVXDicomTag>();
  t->Group = Group;
  t->Element = Element;
  t->DataType = vr;
  if (len > 0 && data) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    t->Data.assign(p, p + len);
    t->Data.push_back(0);
    t->DataLen = len;
  }
  return t;
}

template <typename T>
bool ReadLE(const TVXDicomTag& t, T& v) {
  if (t.DataLen < int32_t(sizeof(T)) || t.Data.size() < sizeof(T)) return false;
  uint8_t b[sizeof(T)];
  std::memcpy(b, t.Data.data(), sizeof(T));
  std::memcpy(&v, b, sizeof(T));  // the platform is little-endian like the stored values
  return true;
}

// The value truncated toward zero; out-of-range values are held at the
// limits of a 64-bit integer (NaN gives 0).
int64_t TruncInt64(double v) {
  if (!(v == v)) return 0;
  if (v >= 9.2e18) return INT64_MAX;
  if (v <= -9.2e18) return INT64_MIN;
  return int64_t(v);
}

std::string FixedSix(double v) {
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  char sep = VXGetDecimalSeparator();
  for (char& c : s)
    if (c == '.') c = sep;
  return s;
}

}  // namespace

TVXDicomTags::TVXDicomTags() = default;
TVXDicomTags::~TVXDicomTags() = default;

void TVXDicomTags::Clear() { fTags.clear(); }

int32_t TVXDicomTags::InsertTag(std::unique_ptr<TVXDicomTag> Tag, bool Replace) {
  const uint16_t g = Tag->Group, e = Tag->Element;
  size_t pos = 0;
  while (pos < fTags.size() && PairLess(fTags[pos]->Group, fTags[pos]->Element, g, e)) ++pos;
  TVXDicomTag* placed = Tag.get();
  if (pos < fTags.size() && fTags[pos]->Group == g && fTags[pos]->Element == e) {
    if (Replace)
      fTags[pos] = std::move(Tag);
    else
      fTags.insert(fTags.begin() + pos + 1, std::move(Tag));
  } else {
    fTags.insert(fTags.begin() + pos, std::move(Tag));
  }
  if (Replace) {
    for (size_t i = fTags.size(); i-- > 0;)
      if (fTags[i].get() != placed && fTags[i]->Group == g && fTags[i]->Element == e)
        fTags.erase(fTags.begin() + i);
  }
  for (size_t i = 0; i < fTags.size(); ++i)
    if (fTags[i].get() == placed) return int32_t(i);
  return -1;
}

int32_t TVXDicomTags::AddTag(uint16_t Group, uint16_t Element, TVXDicomTagType DataType, const void* Data,
                             int32_t DataLen, std::unique_ptr<TVXDicomTagChildren> Children) {
  auto t = MakeTag(Group, Element, DataType, Data, DataLen);
  t->Children = std::move(Children);
  return InsertTag(std::move(t), false);
}

int32_t TVXDicomTags::IndexOf(uint16_t Group, uint16_t Element) const {
  for (size_t i = 0; i < fTags.size(); ++i)
    if (fTags[i]->Group == Group && fTags[i]->Element == Element) return int32_t(i);
  return -1;
}

TVXDicomTag* TVXDicomTags::GetTag(int32_t Index) const {
  if (Index < 0 || size_t(Index) >= fTags.size()) return nullptr;
  return fTags[size_t(Index)].get();
}

TVXDicomTag* TVXDicomTags::GetTag(uint16_t Group, uint16_t Element) const {
  return GetTag(IndexOf(Group, Element));
}

TVXDicomTagChildren* TVXDicomTags::GetTagChildren(int32_t Index) const {
  TVXDicomTag* t = GetTag(Index);
  return t ? t->Children.get() : nullptr;
}

TVXDicomTagChildren* TVXDicomTags::GetTagChildren(uint16_t Group, uint16_t Element) const {
  return GetTagChildren(IndexOf(Group, Element));
}

std::string TVXDicomTags::GetTagString(int32_t Index) const {
  TVXDicomTag* t = GetTag(Index);
  if (!t || t->DataLen <= 0 || t->Data.empty()) return std::string();
  switch (t->DataType) {
    case dvAT:
    case dvSL:
    case dvUSorSS: {
      int32_t v;
      return ReadLE(*t, v) ? std::to_string(v) : std::string();
    }
    case dvSS: {
      int16_t v;
      return ReadLE(*t, v) ? std::to_string(v) : std::string();
    }
    case dvUS: {
      uint16_t v;
      return ReadLE(*t, v) ? std::to_string(v) : std::string();
    }
    case dvUL: {
      uint32_t v;
      return ReadLE(*t, v) ? std::to_string(v) : std::string();
    }
    case dvFL: {
      float v;
      return ReadLE(*t, v) ? FixedSix(v) : std::string();
    }
    case dvFD: {
      double v;
      return ReadLE(*t, v) ? FixedSix(v) : std::string();
    }
    default: {
      const char* p = reinterpret_cast<const char*>(t->Data.data());
      size_t n = strnlen(p, size_t(t->DataLen));
      return std::string(p, n);
    }
  }
}

std::string TVXDicomTags::GetTagString(uint16_t Group, uint16_t Element) const {
  return GetTagString(IndexOf(Group, Element));
}

double TVXDicomTags::GetTagNumeric(int32_t Index, double Default) const {
  TVXDicomTag* t = GetTag(Index);
  if (!t || t->DataLen <= 0 || t->Data.empty()) return Default;
  switch (t->DataType) {
    case dvFD: {
      double v;
      return ReadLE(*t, v) ? v : Default;
    }
    case dvFL: {
      float v;
      return ReadLE(*t, v) ? double(v) : Default;
    }
    case dvSL: {
      int32_t v;
      return ReadLE(*t, v) ? double(v) : Default;
    }
    case dvSS: {
      int16_t v;
      return ReadLE(*t, v) ? double(v) : Default;
    }
    case dvUL: {
      uint32_t v;
      return ReadLE(*t, v) ? double(v) : Default;
    }
    case dvUS: {
      uint16_t v;
      return ReadLE(*t, v) ? double(v) : Default;
    }
    default:
      return Default;
  }
}

double TVXDicomTags::GetTagNumeric(uint16_t Group, uint16_t Element, double Default) const {
  return GetTagNumeric(IndexOf(Group, Element), Default);
}

void TVXDicomTags::SetTagNumeric(uint16_t Group, uint16_t Element, double Value) {
  TVXDicomTagType vr = DictVR(Group, Element, dvFD);
  if (vr == dvUSorSS) vr = Value >= 0 ? dvUS : dvSS;
  uint8_t buf[8];
  int32_t len = 0;
  switch (vr) {
    case dvFD:
      std::memcpy(buf, &Value, 8);
      len = 8;
      break;
    case dvFL: {
      float f = float(Value);
      std::memcpy(buf, &f, 4);
      len = 4;
      break;
    }
    case dvSL:
    case dvUL: {
      uint32_t v = uint32_t(TruncInt64(Value));  // the low 32 bits
      std::memcpy(buf, &v, 4);
      len = 4;
      break;
    }
    case dvSS:
    case dvUS: {
      uint16_t v = uint16_t(TruncInt64(Value));  // the low 16 bits
      std::memcpy(buf, &v, 2);
      len = 2;
      break;
    }
    default:
      RaiseKind(Group, Element, "a number");
  }
  InsertTag(MakeTag(Group, Element, vr, buf, len), true);
}

void TVXDicomTags::SetTagString(uint16_t Group, uint16_t Element, const std::string& Value) {
  TVXDicomTagType vr = DictVR(Group, Element, dvCS);
  switch (vr) {
    case dvAE: case dvAS: case dvCS: case dvDA: case dvDS: case dvDT: case dvIS: case dvLO:
    case dvLT: case dvPN: case dvSH: case dvST: case dvTM: case dvUI: case dvUT:
      break;
    default:
      RaiseKind(Group, Element, "a string");
  }
  std::string v = Value;
  if (v.size() & 1) v.push_back(vr == dvUI || vr == dvOB ? '\0' : ' ');
  InsertTag(MakeTag(Group, Element, vr, v.data(), int32_t(v.size())), true);
}

void TVXDicomTags::SetTagByteBuffer(uint16_t Group, uint16_t Element, const void* Buffer, int32_t Length) {
  TVXDicomTagType vr = DictVR(Group, Element, dvOB);
  if (vr != dvOB) RaiseKind(Group, Element, "a byte string");
  std::vector<uint8_t> v;
  if (Length > 0 && Buffer) {
    const uint8_t* p = static_cast<const uint8_t*>(Buffer);
    v.assign(p, p + Length);
    if (Length & 1) v.push_back(0);
  }
  InsertTag(MakeTag(Group, Element, vr, v.data(), int32_t(v.size())), true);
}

void TVXDicomTags::DeleteTag(int32_t Index) {
  if (Index < 0 || size_t(Index) >= fTags.size()) return;
  fTags.erase(fTags.begin() + Index);
}

void TVXDicomTags::DeleteTag(uint16_t Group, uint16_t Element, bool DeleteAllInstances) {
  int32_t i = IndexOf(Group, Element);
  if (i < 0) return;
  DeleteTag(i);
  if (DeleteAllInstances)
    for (i = IndexOf(Group, Element); i >= 0; i = IndexOf(Group, Element)) DeleteTag(i);
}

void TVXDicomTags::DeleteGroup(uint16_t Group) {
  fTags.erase(std::remove_if(fTags.begin(), fTags.end(),
                             [Group](const std::unique_ptr<TVXDicomTag>& t) { return t->Group == Group; }),
              fTags.end());
}

std::string TVXDicomTags::GetTagDescription(uint16_t Group, uint16_t Element, TVXDicomTagSource& TagSource) {
  const TVXDicomDictEntry* d = VXFindDicomDictEntry(Group, Element);
  if (!d) {
    TagSource = dsProprietary;
    return std::string();
  }
  TagSource = d->Source;
  return d->Description;
}

std::string TVXDicomTags::GetTagDescription(uint16_t Group, uint16_t Element) {
  TVXDicomTagSource s;
  return GetTagDescription(Group, Element, s);
}

std::string TVXDicomTags::GetTagDescription(int32_t Index, TVXDicomTagSource& TagSource) const {
  if (Index < 0 || size_t(Index) >= fTags.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
  const TVXDicomTag& t = *fTags[size_t(Index)];
  return GetTagDescription(t.Group, t.Element, TagSource);
}

std::string TVXDicomTags::GetTagDescription(int32_t Index) const {
  TVXDicomTagSource s;
  return GetTagDescription(Index, s);
}

TVXDicomTags* TVXDicomTags::FindNestedTag(uint16_t Group, uint16_t Element, TVXDicomTags* StartFrom,
                                          int32_t& Index) {
  Index = -1;
  TVXDicomTags* list = StartFrom ? StartFrom : this;
  for (size_t i = 0; i < list->fTags.size(); ++i) {
    TVXDicomTag& t = *list->fTags[i];
    if (t.Group == Group && t.Element == Element) {
      Index = int32_t(i);
      return list;
    }
    if (t.Children) {
      TVXDicomTags* r = FindNestedTag(Group, Element, t.Children.get(), Index);
      if (r) return r;
    }
  }
  Index = -1;
  return nullptr;
}

TVXDicomTags* TVXDicomTags::FindNestedTag(uint16_t Group, uint16_t Element, TVXDicomTagChildren* StartFrom,
                                          int32_t& Index) {
  Index = -1;
  if (!StartFrom) return nullptr;
  for (auto& child : *StartFrom) {
    if (!child) continue;
    TVXDicomTags* r = FindNestedTag(Group, Element, child.get(), Index);
    if (r) return r;
  }
  Index = -1;
  return nullptr;
}

void TVXDicomTags::SaveToStream(TStream& Stream) const {
  VXMetaWriteByte(Stream, 3);
  VXMetaWriteInt32(Stream, Count());
  const uint8_t zero4[4] = {0, 0, 0, 0};
  for (const auto& tp : fTags) {
    const TVXDicomTag& t = *tp;
    VXMetaWriteUInt16(Stream, t.Group);
    VXMetaWriteUInt16(Stream, t.Element);
    VXMetaWriteByte(Stream, uint8_t(t.DataType));
    VXMetaWriteBytes(Stream, zero4, 3);
    VXMetaWriteBytes(Stream, zero4, 4);
    int32_t len = t.Data.empty() ? 0 : t.DataLen;
    VXMetaWriteInt32(Stream, len);
    VXMetaWriteBytes(Stream, zero4, 4);
    if (len > 0) VXMetaWriteBytes(Stream, t.Data.data(), size_t(len));
    int32_t c = t.Children ? int32_t(t.Children->size()) : 0;
    VXMetaWriteInt32(Stream, c);
    if (t.Children)
      for (const auto& child : *t.Children) {
        if (child)
          child->SaveToStream(Stream);
        else
          TVXDicomTags().SaveToStream(Stream);
      }
  }
}

bool TVXDicomTags::LoadFromStream(TStream& Stream) { return LoadLevel(Stream, 0); }

bool TVXDicomTags::LoadLevel(TStream& Stream, int depth) {
  // Nesting deeper than any real data set is taken as damage.
  if (depth > 64) return false;
  uint8_t version = 0;
  if (!VXMetaReadByte(Stream, version)) return false;
  if (version == 0) return true;
  int32_t count = 0;
  if (!VXMetaReadInt32(Stream, count)) return false;
  for (int32_t n = 0; n < count; ++n) {
    uint16_t g = 0, e = 0;
    uint8_t vr = 0, pad[4];
    int32_t len = 0;
    if (!VXMetaReadUInt16(Stream, g) || !VXMetaReadUInt16(Stream, e) || !VXMetaReadByte(Stream, vr) ||
        !VXMetaReadBytes(Stream, pad, 3) || !VXMetaReadBytes(Stream, pad, 4) || !VXMetaReadInt32(Stream, len) ||
        !VXMetaReadBytes(Stream, pad, 4))
      return false;
    auto t = std::make_unique<TVXDicomTag>();
    t->Group = g;
    t->Element = e;
    t->DataType = vr <= uint8_t(dvUnknown) ? TVXDicomTagType(vr) : dvUnknown;
    if (len > 0) {
      if (int64_t(len) > VXMetaRemaining(Stream)) return false;
      t->Data.resize(size_t(len) + 1, 0);
      if (!VXMetaReadBytes(Stream, t->Data.data(), size_t(len))) return false;
      t->DataLen = len;
    }
    int32_t children = 0;
    if (version >= 3) {
      if (!VXMetaReadInt32(Stream, children)) return false;
    } else if (version == 2) {
      uint8_t c = 0;
      if (!VXMetaReadByte(Stream, c)) return false;
      children = c;
    }
    if (children > 0) {
      t->Children = std::make_unique<TVXDicomTagChildren>();
      for (int32_t c = 0; c < children; ++c) {
        auto child = std::make_unique<TVXDicomTags>();
        bool ok = child->LoadLevel(Stream, depth + 1);
        if (!ok) return false;
        t->Children->push_back(std::move(child));
      }
    }
    fTags.push_back(std::move(t));
  }
  return true;
}

void TVXDicomTags::Assign(const TVXDicomTags* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (const auto& sp : Source->fTags) {
    auto t = std::make_unique<TVXDicomTag>();
    t->Group = sp->Group;
    t->Element = sp->Element;
    t->DataType = sp->DataType;
    t->Data = sp->Data;
    t->DataLen = sp->DataLen;
    if (sp->Children) {
      t->Children = std::make_unique<TVXDicomTagChildren>();
      for (const auto& c : *sp->Children) {
        auto nc = std::make_unique<TVXDicomTags>();
        if (c) nc->Assign(c.get());
        t->Children->push_back(std::move(nc));
      }
    }
    fTags.push_back(std::move(t));
  }
}
