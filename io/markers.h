// TVXMarkerList: the APP0..APP15 and COM segments of a JPEG file kept as raw
// payloads (the bytes after the two-byte segment length), in writing order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TStream;
class TMemoryStream;

class TVXMarkerList {
 public:
  TVXMarkerList();
  ~TVXMarkerList();
  TVXMarkerList(const TVXMarkerList&) = delete;
  TVXMarkerList& operator=(const TVXMarkerList&) = delete;

  int32_t Count() const { return int32_t(fType.size()); }

  // Index outside 0..Count-1 raises std::out_of_range.
  const char* GetMarkerData(int32_t idx) const;
  // The payload stream of marker idx, positioned at 0; the list keeps it.
  TMemoryStream* GetMarkerStream(int32_t idx) const;
  uint16_t GetMarkerLength(int32_t idx) const;
  uint8_t GetMarkerType(int32_t idx) const;
  const char* MarkerData(int32_t idx) const { return GetMarkerData(idx); }
  TMemoryStream* MarkerStream(int32_t idx) const { return GetMarkerStream(idx); }
  uint16_t MarkerLength(int32_t idx) const { return GetMarkerLength(idx); }
  uint8_t MarkerType(int32_t idx) const { return GetMarkerType(idx); }
  // Full payload size (MarkerLength is its low 16 bits).
  int64_t MarkerSize(int32_t idx) const;

  int32_t IndexOf(uint8_t marker) const;
  int32_t AddMarker(uint8_t marker, const void* data, uint16_t datalen);
  void InsertMarker(int32_t idx, const void* data, uint8_t marker, uint16_t datalen);
  void SetMarker(int32_t idx, uint8_t marker, const void* data, uint16_t datalen);
  void Clear();
  void DeleteMarker(int32_t idx);
  void DeleteMarkerInstances(uint8_t markerType);
  void Assign(const TVXMarkerList* Source);

  // Stream form: reserved byte 0, int32 count, then per marker the code
  // byte, the int32 payload length and the payload (little-endian).
  void SaveToStream(TStream& Stream) const;
  // Reads the stream form after clearing the list. A length beyond the
  // bytes that remain stops the reading: the markers read completely stay
  // and the result is false.
  bool LoadFromStream(TStream& Stream);

  // Puts the markers into writing order: ascending code, ICC profile chunks
  // (APP2 "ICC_PROFILE") by sequence number, the EXIF block first among the
  // APP1 markers.
  void Sort();

 private:
  void CheckIndex(int32_t idx) const;
  static std::unique_ptr<TMemoryStream> MakeStream(const void* data, int64_t len);
  void Exchange(int32_t i, int32_t j);
  int32_t Compare(int32_t i, int32_t j) const;

  std::vector<std::unique_ptr<TMemoryStream>> fData;
  std::vector<uint8_t> fType;
};
