// JPEG marker list: raw APP and COM payloads, their stream form and the
// writing order.
#include "io/markers.h"

#include <cstring>
#include <stdexcept>

#include "core/streams.h"
#include "core/streamutils.h"
#include "io/exif.h"
#include "io/metastream.h"

TVXMarkerList::TVXMarkerList() = default;

TVXMarkerList::~TVXMarkerList() { Clear(); }

void TVXMarkerList::CheckIndex(int32_t idx) const {
  if (idx < 0 || size_t(idx) >= fType.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(idx) + ")");
}

std::unique_ptr<TMemoryStream> TVXMarkerList::MakeStream(const void* data, int64_t len) {
  auto s = std::make_unique<TMemoryStream>();
  if (len > 0 && data) s->WriteBuffer(data, len);
  s->SetPosition(0);
  return s;
}

const char* TVXMarkerList::GetMarkerData(int32_t idx) const {
  CheckIndex(idx);
  return static_cast<const char*>(fData[size_t(idx)]->Memory());
}

TMemoryStream* TVXMarkerList::GetMarkerStream(int32_t idx) const {
  CheckIndex(idx);
  TMemoryStream* s = fData[size_t(idx)].get();
  s->SetPosition(0);
  return s;
}

uint16_t TVXMarkerList::GetMarkerLength(int32_t idx) const {
  CheckIndex(idx);
  return uint16_t(fData[size_t(idx)]->Size());
}

int64_t TVXMarkerList::MarkerSize(int32_t idx) const {
  CheckIndex(idx);
  return fData[size_t(idx)]->Size();
}

uint8_t TVXMarkerList::GetMarkerType(int32_t idx) const {
  CheckIndex(idx);
  return fType[size_t(idx)];
}

int32_t TVXMarkerList::IndexOf(uint8_t marker) const {
  for (size_t i = 0; i < fType.size(); ++i)
    if (fType[i] == marker) return int32_t(i);
  return -1;
}

int32_t TVXMarkerList::AddMarker(uint8_t marker, const void* data, uint16_t datalen) {
  fData.push_back(MakeStream(data, datalen));
  fType.push_back(marker);
  return int32_t(fType.size()) - 1;
}

void TVXMarkerList::InsertMarker(int32_t idx, const void* data, uint8_t marker, uint16_t datalen) {
  if (idx < 0 || size_t(idx) > fType.size())
    throw std::out_of_range("List index out of bounds (" + std::to_string(idx) + ")");
  fData.insert(fData.begin() + idx, MakeStream(data, datalen));
  fType.insert(fType.begin() + idx, marker);
}

void TVXMarkerList::SetMarker(int32_t idx, uint8_t marker, const void* data, uint16_t datalen) {
  CheckIndex(idx);
  fData[size_t(idx)] = MakeStream(data, datalen);
  fType[size_t(idx)] = marker;
}

void TVXMarkerList::Clear() {
  fData.clear();
  fType.clear();
}

void TVXMarkerList::DeleteMarker(int32_t idx) {
  CheckIndex(idx);
  fData.erase(fData.begin() + idx);
  fType.erase(fType.begin() + idx);
}

void TVXMarkerList::DeleteMarkerInstances(uint8_t markerType) {
  for (int32_t i = IndexOf(markerType); i >= 0; i = IndexOf(markerType)) DeleteMarker(i);
}

void TVXMarkerList::Assign(const TVXMarkerList* Source) {
  if (!Source || Source == this) return;
  Clear();
  // The whole payload is copied: a payload read from a stream may exceed
  // the 16-bit length of AddMarker.
  for (int32_t i = 0; i < Source->Count(); ++i) {
    const TMemoryStream* s = Source->fData[size_t(i)].get();
    fData.push_back(MakeStream(s->Memory(), const_cast<TMemoryStream*>(s)->Size()));
    fType.push_back(Source->fType[size_t(i)]);
  }
}

void TVXMarkerList::SaveToStream(TStream& Stream) const {
  VXMetaWriteByte(Stream, 0);
  VXMetaWriteInt32(Stream, Count());
  for (size_t i = 0; i < fType.size(); ++i) {
    TMemoryStream* s = fData[i].get();
    int64_t n = s->Size();
    VXMetaWriteByte(Stream, fType[i]);
    VXMetaWriteInt32(Stream, int32_t(n));
    VXMetaWriteBytes(Stream, s->Memory(), size_t(n));
  }
}

bool TVXMarkerList::LoadFromStream(TStream& Stream) {
  Clear();
  uint8_t reserved = 0;
  int32_t count = 0;
  if (!VXMetaReadByte(Stream, reserved) || !VXMetaReadInt32(Stream, count)) return false;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t code = 0;
    int32_t len = 0;
    if (!VXMetaReadByte(Stream, code) || !VXMetaReadInt32(Stream, len)) return false;
    if (len < 0 || int64_t(len) > VXMetaRemaining(Stream)) return false;
    auto s = std::make_unique<TMemoryStream>();
    s->SetSize(len);
    if (!VXMetaReadBytes(Stream, s->Memory(), size_t(len))) return false;
    s->SetPosition(0);
    fData.push_back(std::move(s));
    fType.push_back(code);
  }
  return true;
}

void TVXMarkerList::Exchange(int32_t i, int32_t j) {
  std::swap(fData[size_t(i)], fData[size_t(j)]);
  std::swap(fType[size_t(i)], fType[size_t(j)]);
}

namespace {

// Sequence number of an ICC profile chunk carried in an APP2 payload, or -1
// when the payload is not such a chunk.
int IccChunkSequence(const TMemoryStream* s) {
  int64_t n = const_cast<TMemoryStream*>(s)->Size();
  if (n <= 13) return -1;
  const uint8_t* p = static_cast<const uint8_t*>(s->Memory());
  if (std::memcmp(p, "ICC_PROFILE", 12) != 0) return -1;  // the twelfth byte is the NUL
  return p[12];
}

}  // namespace

int32_t TVXMarkerList::Compare(int32_t i, int32_t j) const {
  uint8_t ti = fType[size_t(i)], tj = fType[size_t(j)];
  if (ti == 0xE2 && tj == 0xE2) {
    int si = IccChunkSequence(fData[size_t(i)].get());
    int sj = IccChunkSequence(fData[size_t(j)].get());
    if (si >= 0 && sj >= 0) return si - sj;
  }
  return int32_t(ti) - int32_t(tj);
}

void TVXMarkerList::Sort() {
  VXQuickSort(
      Count(), [this](int32_t i, int32_t j) { Exchange(i, j); },
      [this](int32_t i, int32_t j) { return Compare(i, j); });
  int32_t p = IndexOf(0xE1);
  if (p < 0 || p == Count() - 1) return;
  for (int32_t k = p + 1; k < Count(); ++k) {
    if (fType[size_t(k)] != 0xE1) continue;
    TMemoryStream* s = fData[size_t(k)].get();
    if (VXIsEXIFBlock(s->Memory(), s->Size())) Exchange(p, k);
  }
}
