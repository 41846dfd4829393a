// TVXIPTCInfoList: the IPTC-IIM datasets of an image as (record, dataset,
// data) items, with the bare dataset stream and the "Photoshop 3.0" APP13
// block as file forms and a stream form for the parameter file.
//
// Text items are stored as Windows-1252 bytes; the text operations take and
// give UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TStream;

class TVXIPTCInfoList {
 public:
  TVXIPTCInfoList() = default;
  ~TVXIPTCInfoList() = default;
  TVXIPTCInfoList(const TVXIPTCInfoList&) = delete;
  TVXIPTCInfoList& operator=(const TVXIPTCInfoList&) = delete;

  int32_t Count() const { return int32_t(fItems.size()); }

  // Item data as text; empty for an index out of range.
  std::string GetStrings(int32_t idx) const;
  void SetStrings(int32_t idx, const std::string& Value);
  std::string StringItem(int32_t idx) const { return GetStrings(idx); }
  void SetStringItem(int32_t idx, const std::string& Value) { SetStrings(idx, Value); }

  // nullptr / 0 for an index out of range (or an empty item).
  const uint8_t* GetItemData(int32_t idx) const;
  int32_t GetItemLength(int32_t idx) const;

  int32_t GetRecordNumber(int32_t idx) const;
  int32_t GetDataSet(int32_t idx) const;
  void SetRecordNumber(int32_t idx, int32_t Value);
  void SetDataSet(int32_t idx, int32_t Value);
  int32_t RecordNumber(int32_t idx) const { return GetRecordNumber(idx); }
  int32_t DataSet(int32_t idx) const { return GetDataSet(idx); }

  int32_t AddStringItem(int32_t ARecordNumber, int32_t ADataSet, const std::string& Value);
  int32_t AddBufferItem(int32_t ARecordNumber, int32_t ADataSet, const void* Buffer,
                        int32_t BufferLength);
  void InsertStringItem(int32_t idx, int32_t ARecordNumber, int32_t ADataSet,
                        const std::string& Value);
  int32_t IndexOf(int32_t ARecordNumber, int32_t ADataSet) const;
  void DeleteItem(int32_t idx);
  void Clear();
  void Assign(const TVXIPTCInfoList* Source);

  bool UserChanged() const { return fUserChanged; }
  void SetUserChanged(bool v) { fUserChanged = v; }

  // Stream form: int32 reserved, int32 count, then per item int32 record,
  // int32 dataset, int32 length and the data (little-endian).
  void SaveToStream(TStream& Stream) const;
  // Reads the stream form; counts and lengths beyond the remaining bytes
  // stop the reading (the items read before stay) and return false.
  bool LoadFromStream(TStream& Stream);

  // File form: with WriteHeader the "Photoshop 3.0" 8BIM 0x0404 resource,
  // else the bare datasets after a record-version dataset. Empty result for
  // an empty list.
  std::vector<uint8_t> SaveToStandardBuffer(bool WriteHeader) const;
  bool LoadFromStandardBuffer(const void* Buffer, int64_t BufferLength);

 private:
  struct TItem {
    int32_t RecordNumber = 0;
    int32_t DataSet = 0;
    std::vector<uint8_t> Data;
  };
  TItem& At(int32_t idx);
  const TItem& At(int32_t idx) const;

  std::vector<TItem> fItems;
  bool fUserChanged = false;
};
