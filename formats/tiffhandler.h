// TVXTIFFHandler edits the pages and tags of a classic TIFF without decoding
// any image: every page's directory and every block of image data is held in
// memory, pages and tags are inserted, moved, changed and deleted, and a new
// TIFF is written with every offset recomputed.
//
// Values are held in the handler's byte order; pages read from a stream of
// the other order are converted by type on the way in. Strips, tiles and the
// old-style JPEG stream are held per entry as blocks; the EXIF, GPS,
// interoperability and SubIFD directories as nested tag lists.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

class TStream;
class TVexlaneIO;

enum TVXTagType {
  ttUnknown = 0, ttByte = 1, ttAscii = 2, ttShort = 3, ttLong = 4, ttRational = 5, ttSByte = 6, ttUndefined = 7,
  ttSShort = 8, ttSLong = 9, ttSRational = 10, ttFloat = 11, ttDouble = 12, ttLongOffset = 13
};

// A tag value as GetValue answers it and SetValue takes it: nothing, a 32-bit
// integer, a floating value or a text.
using TVXTagValue = std::variant<std::monostate, int32_t, double, std::string>;

class TVXTIFFHandler {
public:
  struct TEntry;
  using TTagList = std::vector<TEntry>;
  struct TEntry {
    uint16_t Code = 0;
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint8_t Field[4] = {};            // values of 4 bytes or less
    std::vector<uint8_t> Data;        // values of more than 4 bytes
    int64_t SourcePos = -1;           // where Data lay when read (maker notes move by it)
    std::vector<std::vector<uint8_t>> Strips;  // data-offset tags: one block per value
    std::vector<TTagList> Sub;        // sub-directory tags: one list per offset
  };

  TVXTIFFHandler() = default;
  explicit TVXTIFFHandler(const std::string& FileName);
  explicit TVXTIFFHandler(TStream* Stream);
  TVXTIFFHandler(const TVXTIFFHandler&) = delete;
  TVXTIFFHandler& operator=(const TVXTIFFHandler&) = delete;

  bool ReadFile(const std::string& FileName);
  bool ReadStream(TStream* Stream);
  bool InsertTIFFStream(TStream* Stream, int32_t pageIndex);
  bool InsertTIFFFile(const std::string& FileName, int32_t pageIndex);
  // Any readable image, saved as a TIFF page (JPEG-compressed when it came
  // from a JPEG) and inserted.
  bool InsertPageAsStream(TStream* Stream, int32_t pageIndex);
  bool InsertPageAsFile(const std::string& FileName, int32_t pageIndex);
  // The image of an I/O component; false for nullptr.
  bool InsertPageAsImage(TVexlaneIO* IO, int32_t pageIndex);
  // All pages, or only page `page` when it is a valid index.
  void WriteStream(TStream* Stream, int32_t page = -1);
  void WriteFile(const std::string& FileName, int32_t page = -1);
  void FreeData();

  int32_t GetPagesCount() const { return int32_t(fPages.size()); }
  void DeletePage(int32_t pageIndex);
  void ExchangePage(int32_t Index1, int32_t Index2);
  void MovePage(int32_t CurIndex, int32_t NewIndex);
  int32_t InsertPage(int32_t pageIndex);
  int32_t InsertPage(int32_t pageIndex, const TVXTIFFHandler& sourceHandler, int32_t sourcePage);

  int32_t GetTagsCount(int32_t pageIndex) const;
  int32_t FindTag(int32_t pageIndex, uint16_t tagCode) const;
  int32_t GetTagCode(int32_t pageIndex, int32_t tagIndex) const;
  int32_t GetTagType(int32_t pageIndex, int32_t tagIndex) const;
  int32_t GetTagLength(int32_t pageIndex, int32_t tagIndex) const;
  int32_t GetTagLengthInBytes(int32_t pageIndex, int32_t tagIndex) const;
  int32_t GetInteger(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const;
  double GetFloat(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const;
  std::string GetString(int32_t pageIndex, int32_t tagIndex) const;
  TVXTagValue GetValue(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const;
  // Item arrayIndex inside the value bytes (nullptr past the value).
  const uint8_t* GetValueRAW(int32_t pageIndex, int32_t tagIndex, int32_t arrayIndex) const;
  void SetValue(int32_t pageIndex, uint16_t tagCode, const TVXTagValue& value, TVXTagType tagType);
  void SetValueRAW(int32_t pageIndex, uint16_t tagCode, const void* buffer, int32_t dataNum, TVXTagType tagType);
  void DeleteTag(int32_t pageIndex, int32_t tagIndex);
  void CopyTag(int32_t srcPageIndex, int32_t srcTagIndex, int32_t dstPageIndex, const TVXTIFFHandler& source);
  void ChangeTagCode(int32_t pageIndex, int32_t tagIndex, uint16_t newCode);
  void SaveTagToFile(int32_t pageIndex, int32_t tagIndex, const std::string& fileName) const;
  std::string GetTagDescription(int32_t pageIndex, int32_t tagIndex) const;
  bool LittleEndian() const { return !fBigEndian; }
  uint16_t Version() const { return fVersion; }

private:
  const TEntry& Entry(int32_t pageIndex, int32_t tagIndex) const;
  TTagList& Page(int32_t pageIndex);
  const TTagList& Page(int32_t pageIndex) const;
  const uint8_t* ValueBytes(const TEntry& e) const;

  bool fBigEndian = false;
  uint16_t fVersion = 42;
  std::vector<TTagList> fPages;
};
