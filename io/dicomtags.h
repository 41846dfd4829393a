// TVXDicomTags: the data set of a DICOM file as an ordered tag list with
// nested sequence items, typed access, a stream form, and the lookup in the
// DICOM data dictionary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStream;

// Value representations; "AE".."UT" are ordinals 0..27.
enum TVXDicomTagType : uint8_t {
  dvAE, dvAS, dvAT, dvCS, dvDA, dvDS, dvDT, dvFD, dvFL, dvIS, dvLO, dvLT, dvOB, dvOF, dvOW,
  dvPN, dvSH, dvSL, dvSQ, dvSS, dvST, dvTM, dvUI, dvUL, dvUN, dvUR, dvUS, dvUT, dvUSorSS,
  dvUnknown
};

enum TVXDicomTagSource : uint8_t { dsStandard, dsDeprecated, dsProprietary };

TVXDicomTagType VXDicomVRFromString(const std::string& s);
std::string VXDicomVRToString(TVXDicomTagType vr);

// An entry of the data dictionary.
struct TVXDicomDictEntry {
  uint16_t Group;
  uint16_t Element;
  TVXDicomTagType VR;
  TVXDicomTagSource Source;
  const char* Description;
};

// The dictionary entry of (Group, Element), nullptr when unknown.
const TVXDicomDictEntry* VXFindDicomDictEntry(uint16_t Group, uint16_t Element);

class TVXDicomTags;

// One tag. Data holds DataLen value bytes followed by one NUL that DataLen
// does not count (empty when the tag has no value).
struct TVXDicomTag {
  uint16_t Group = 0;
  uint16_t Element = 0;
  TVXDicomTagType DataType = dvUnknown;
  std::vector<uint8_t> Data;
  int32_t DataLen = 0;
  // Items of a sequence, each a nested tag list; nullptr when none.
  std::unique_ptr<std::vector<std::unique_ptr<TVXDicomTags>>> Children;

  const uint8_t* DataPtr() const { return Data.empty() ? nullptr : Data.data(); }
};

using TVXDicomTagChildren = std::vector<std::unique_ptr<TVXDicomTags>>;

class TVXDicomTags {
 public:
  TVXDicomTags();
  ~TVXDicomTags();
  TVXDicomTags(const TVXDicomTags&) = delete;
  TVXDicomTags& operator=(const TVXDicomTags&) = delete;

  void Clear();
  int32_t Count() const { return int32_t(fTags.size()); }

  // Adds a tag in order (after any tag with the same pair). A negative
  // DataLen stores no data. Takes ownership of Children.
  int32_t AddTag(uint16_t Group, uint16_t Element, TVXDicomTagType DataType, const void* Data,
                 int32_t DataLen, std::unique_ptr<TVXDicomTagChildren> Children = nullptr);
  int32_t IndexOf(uint16_t Group, uint16_t Element) const;
  TVXDicomTag* GetTag(int32_t Index) const;
  TVXDicomTag* GetTag(uint16_t Group, uint16_t Element) const;
  TVXDicomTagChildren* GetTagChildren(int32_t Index) const;
  TVXDicomTagChildren* GetTagChildren(uint16_t Group, uint16_t Element) const;
  std::string GetTagString(int32_t Index) const;
  std::string GetTagString(uint16_t Group, uint16_t Element) const;
  double GetTagNumeric(int32_t Index, double Default) const;
  double GetTagNumeric(uint16_t Group, uint16_t Element, double Default) const;

  // Raise EVXException when the tag's representation does not allow the value.
  void SetTagNumeric(uint16_t Group, uint16_t Element, double Value);
  void SetTagString(uint16_t Group, uint16_t Element, const std::string& Value);
  void SetTagByteBuffer(uint16_t Group, uint16_t Element, const void* Buffer, int32_t Length);

  void DeleteTag(int32_t Index);
  void DeleteTag(uint16_t Group, uint16_t Element, bool DeleteAllInstances);
  void DeleteGroup(uint16_t Group);

  // Raises std::out_of_range for an index out of range.
  std::string GetTagDescription(int32_t Index) const;
  std::string GetTagDescription(int32_t Index, TVXDicomTagSource& TagSource) const;
  static std::string GetTagDescription(uint16_t Group, uint16_t Element);
  static std::string GetTagDescription(uint16_t Group, uint16_t Element, TVXDicomTagSource& TagSource);

  // Depth-first search from StartFrom (this list when nullptr); returns the
  // list holding the tag and its position in Index, or nullptr and -1.
  TVXDicomTags* FindNestedTag(uint16_t Group, uint16_t Element, TVXDicomTags* StartFrom,
                              int32_t& Index);
  TVXDicomTags* FindNestedTag(uint16_t Group, uint16_t Element, TVXDicomTagChildren* StartFrom,
                              int32_t& Index);

  void SaveToStream(TStream& Stream) const;
  // Appends the tags of the stream form. Counts and lengths beyond the
  // remaining bytes stop the reading: the tags read completely stay and the
  // result is false.
  bool LoadFromStream(TStream& Stream);
  void Assign(const TVXDicomTags* Source);

 private:
  int32_t InsertTag(std::unique_ptr<TVXDicomTag> Tag, bool Replace);
  bool LoadLevel(TStream& Stream, int depth);

  std::vector<std::unique_ptr<TVXDicomTag>> fTags;
};
