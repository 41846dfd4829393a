// IPTC-IIM dataset list and its file and stream forms.
#include "io/iptc.h"

#include <cstring>
#include <stdexcept>

#include "core/limits.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/metastream.h"

namespace {

const char kPhotoshopSignature[] = "Photoshop 3.0";  // 13 letters + NUL = 14 bytes
const uint8_t kIPTCResource[6] = {'8', 'B', 'I', 'M', 0x04, 0x04};

void PutBE16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

void PutBE32(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v >> 24));
  out.push_back(uint8_t(v >> 16));
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

}  // namespace

TVXIPTCInfoList::TItem& TVXIPTCInfoList::At(int32_t idx) {
  if (idx < 0 || size_t(idx) >= fItems.size()) throw std::out_of_range("List index out of bounds");
  return fItems[size_t(idx)];
}

const TVXIPTCInfoList::TItem& TVXIPTCInfoList::At(int32_t idx) const {
  if (idx < 0 || size_t(idx) >= fItems.size()) throw std::out_of_range("List index out of bounds");
  return fItems[size_t(idx)];
}

std::string TVXIPTCInfoList::GetStrings(int32_t idx) const {
  if (idx < 0 || size_t(idx) >= fItems.size()) return std::string();
  const auto& d = fItems[size_t(idx)].Data;
  return VXAnsiToUTF8(std::string(reinterpret_cast<const char*>(d.data()), d.size()));
}

void TVXIPTCInfoList::SetStrings(int32_t idx, const std::string& Value) {
  TItem& it = At(idx);
  std::string a = VXUTF8ToAnsi(Value);
  it.Data.assign(a.begin(), a.end());
  fUserChanged = true;
}

const uint8_t* TVXIPTCInfoList::GetItemData(int32_t idx) const {
  if (idx < 0 || size_t(idx) >= fItems.size()) return nullptr;
  const auto& d = fItems[size_t(idx)].Data;
  return d.empty() ? nullptr : d.data();
}

int32_t TVXIPTCInfoList::GetItemLength(int32_t idx) const {
  if (idx < 0 || size_t(idx) >= fItems.size()) return 0;
  return int32_t(fItems[size_t(idx)].Data.size());
}

int32_t TVXIPTCInfoList::GetRecordNumber(int32_t idx) const { return At(idx).RecordNumber; }
int32_t TVXIPTCInfoList::GetDataSet(int32_t idx) const { return At(idx).DataSet; }

void TVXIPTCInfoList::SetRecordNumber(int32_t idx, int32_t Value) {
  At(idx).RecordNumber = Value;
  fUserChanged = true;
}

void TVXIPTCInfoList::SetDataSet(int32_t idx, int32_t Value) {
  At(idx).DataSet = Value;
  fUserChanged = true;
}

int32_t TVXIPTCInfoList::AddStringItem(int32_t ARecordNumber, int32_t ADataSet, const std::string& Value) {
  std::string a = VXUTF8ToAnsi(Value);
  return AddBufferItem(ARecordNumber, ADataSet, a.data(), int32_t(a.size()));
}

int32_t TVXIPTCInfoList::AddBufferItem(int32_t ARecordNumber, int32_t ADataSet, const void* Buffer,
                                       int32_t BufferLength) {
  TItem it;
  it.RecordNumber = ARecordNumber;
  it.DataSet = ADataSet;
  if (BufferLength > 0 && Buffer) {
    const uint8_t* p = static_cast<const uint8_t*>(Buffer);
    it.Data.assign(p, p + BufferLength);
  }
  fItems.push_back(std::move(it));
  fUserChanged = true;
  return int32_t(fItems.size()) - 1;
}

void TVXIPTCInfoList::InsertStringItem(int32_t idx, int32_t ARecordNumber, int32_t ADataSet,
                                       const std::string& Value) {
  if (idx < 0 || size_t(idx) > fItems.size()) throw std::out_of_range("List index out of bounds");
  TItem it;
  it.RecordNumber = ARecordNumber;
  it.DataSet = ADataSet;
  std::string a = VXUTF8ToAnsi(Value);
  it.Data.assign(a.begin(), a.end());
  fItems.insert(fItems.begin() + idx, std::move(it));
  fUserChanged = true;
}

int32_t TVXIPTCInfoList::IndexOf(int32_t ARecordNumber, int32_t ADataSet) const {
  for (size_t i = 0; i < fItems.size(); ++i)
    if (fItems[i].RecordNumber == ARecordNumber && fItems[i].DataSet == ADataSet) return int32_t(i);
  return -1;
}

void TVXIPTCInfoList::DeleteItem(int32_t idx) {
  At(idx);
  fItems.erase(fItems.begin() + idx);
  fUserChanged = true;
}

void TVXIPTCInfoList::Clear() {
  fItems.clear();
  fUserChanged = true;
}

void TVXIPTCInfoList::Assign(const TVXIPTCInfoList* Source) {
  if (!Source) return;
  if (Source == this) return;
  Clear();
  for (const TItem& it : Source->fItems)
    AddBufferItem(it.RecordNumber, it.DataSet, it.Data.data(), int32_t(it.Data.size()));
  fUserChanged = true;
}

void TVXIPTCInfoList::SaveToStream(TStream& Stream) const {
  VXMetaWriteInt32(Stream, 0);
  VXMetaWriteInt32(Stream, int32_t(fItems.size()));
  for (const TItem& it : fItems) {
    VXMetaWriteInt32(Stream, it.RecordNumber);
    VXMetaWriteInt32(Stream, it.DataSet);
    VXMetaWriteInt32(Stream, int32_t(it.Data.size()));
    VXMetaWriteBytes(Stream, it.Data.data(), it.Data.size());
  }
}

bool TVXIPTCInfoList::LoadFromStream(TStream& Stream) {
  Clear();
  int32_t reserved = 0, count = 0;
  bool ok = VXMetaReadInt32(Stream, reserved) && VXMetaReadInt32(Stream, count);
  TVXTextBudget budget;
  for (int32_t i = 0; ok && i < count; ++i) {
    int32_t rec = 0, ds = 0, len = 0;
    if (!VXMetaReadInt32(Stream, rec) || !VXMetaReadInt32(Stream, ds) || !VXMetaReadInt32(Stream, len) ||
        len < 0 || int64_t(len) > VXMetaRemaining(Stream)) {
      ok = false;
      break;
    }
    std::vector<uint8_t> data(static_cast<size_t>(len));
    if (!VXMetaReadBytes(Stream, data.data(), data.size())) {
      ok = false;
      break;
    }
    // A dataset beyond the text kept per image is dropped whole.
    if (budget.Take(len)) AddBufferItem(rec, ds, data.data(), len);
  }
  fUserChanged = true;
  return ok;
}

std::vector<uint8_t> TVXIPTCInfoList::SaveToStandardBuffer(bool WriteHeader) const {
  std::vector<uint8_t> out;
  if (fItems.empty()) return out;
  out.reserve(64);
  if (WriteHeader) {
    out.insert(out.end(), kPhotoshopSignature, kPhotoshopSignature + 14);
    out.insert(out.end(), {'8', 'B', 'I', 'M'});
    PutBE16(out, 0x0404);
    out.push_back(0);
    out.push_back(0);
    PutBE32(out, 0);  // resource size, filled in below
  } else {
    out.insert(out.end(), {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02});
  }
  uint64_t written = 0;
  for (const TItem& it : fItems) {
    if (it.RecordNumber == 2 && it.DataSet == 0) continue;
    size_t n = it.Data.size();
    if (n == 0) continue;
    out.push_back(0x1C);
    out.push_back(uint8_t(it.RecordNumber));
    out.push_back(uint8_t(it.DataSet));
    if (n < 32768) {
      PutBE16(out, uint32_t(n));
      written += 5 + n;
    } else {
      out.push_back(0x80);
      out.push_back(0x04);
      PutBE32(out, uint32_t(n));
      written += 9 + n;
    }
    out.insert(out.end(), it.Data.begin(), it.Data.end());
  }
  if (out.size() & 1) out.push_back(0);
  if (WriteHeader) {
    uint32_t s = uint32_t(written);
    out[22] = uint8_t(s >> 24);
    out[23] = uint8_t(s >> 16);
    out[24] = uint8_t(s >> 8);
    out[25] = uint8_t(s);
  }
  return out;
}

bool TVXIPTCInfoList::LoadFromStandardBuffer(const void* Buffer, int64_t BufferLength) {
  Clear();
  if (BufferLength <= 0 || !Buffer) return false;
  const uint8_t* b = static_cast<const uint8_t*>(Buffer);
  const int64_t len = BufferLength;
  bool result = false;
  int64_t i = 0;
  bool readDatasets = true;
  TVXTextBudget budget;
  if (len >= 13 && std::memcmp(b, kPhotoshopSignature, 13) == 0) {
    int64_t found = -1;
    for (int64_t p = 0; p + 6 <= len; ++p)
      if (std::memcmp(b + p, kIPTCResource, 6) == 0) {
        found = p;
        break;
      }
    if (found < 0)
      readDatasets = false;
    else
      i = found + 6;
  }
  if (readDatasets) {
    while (i < len && b[i] != 0x1C) ++i;
    while (i + 1 < len && b[i] == 0x1C && b[i + 1] == 0x1C) ++i;
    while (i < len && b[i] == 0x1C) {
      if (!(i + 5 < len)) break;
      int32_t rec = b[i + 1];
      int32_t ds = b[i + 2];
      int64_t n;
      int64_t dataStart;
      if (b[i + 3] & 0x80) {
        if (i + 9 > len) break;
        int32_t v = int32_t(uint32_t(b[i + 5]) << 24 | uint32_t(b[i + 6]) << 16 | uint32_t(b[i + 7]) << 8 |
                            uint32_t(b[i + 8]));
        if (v == INT32_MIN) break;
        n = v < 0 ? -int64_t(v) : int64_t(v);
        dataStart = i + 9;
      } else {
        n = int64_t(b[i + 3]) << 8 | b[i + 4];
        dataStart = i + 5;
      }
      if (dataStart + n > len) break;
      // A dataset beyond the text kept per image is dropped whole.
      if (budget.Take(n)) AddBufferItem(rec, ds, b + dataStart, int32_t(n));
      result = true;
      i = dataStart + n;
    }
  }
  fUserChanged = false;
  return result;
}
