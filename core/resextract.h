#pragma once
// TVXResourceExtractor opens an executable or library file as a data module
// (nothing of it runs) and lists its resources: the types, the names of each
// type, and the frames of icon and cursor groups with their size and depth.
// It hands out the raw bytes of a resource, valid while the extractor lives.
// TVXResourceBookmark remembers one resource, or one frame of a group.
//
// Texts of types and names: a named one is its name; a number is written
// "INTRESOURCE:" and the decimal number. Nothing here raises: a file that is
// not a module gives an empty extractor, a missing resource a nil buffer.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win_resource.h"

class TVXResourceBookmark {
 public:
  TVXResourceBookmark(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex)
      : m_TypeIndex(TypeIndex), m_NameIndex(NameIndex), m_FrameIndex(FrameIndex) {}
  int32_t TypeIndex() const { return m_TypeIndex; }
  int32_t NameIndex() const { return m_NameIndex; }
  // Below 0: the whole resource.
  int32_t FrameIndex() const { return m_FrameIndex; }

 private:
  int32_t m_TypeIndex, m_NameIndex, m_FrameIndex;
};

class TVXResourceExtractor {
 public:
  explicit TVXResourceExtractor(const std::string& Filename);
  ~TVXResourceExtractor();
  TVXResourceExtractor(const TVXResourceExtractor&) = delete;
  TVXResourceExtractor& operator=(const TVXResourceExtractor&) = delete;

  bool IsValid() const { return m_hlib != nullptr; }
  int32_t TypesCount() const { return int32_t(m_typesList.size()); }
  // Empty for an index outside the lists.
  std::string Types(int32_t TypeIndex) const;
  // "Cursor", "Bitmap", "Icon", ... for the standard numbered types; other
  // types keep their text.
  std::string FriendlyTypes(int32_t TypeIndex) const;
  int32_t NamesCount(int32_t TypeIndex) const;
  std::string Names(int32_t TypeIndex, int32_t NameIndex) const;
  bool IsGroup(int32_t TypeIndex) const;    // "GroupIcon", "GroupCursor"
  bool IsGrouped(int32_t TypeIndex) const;  // "Icon", "Cursor"

  // The type whose text equals TypeName without case, else the first whose
  // friendly name equals it exactly; -1 when none.
  int32_t IndexOfType(const std::string& TypeName) const;

  // The bytes of a resource and their count; nullptr and 0 when missing.
  const void* GetBuffer(int32_t TypeIndex, int32_t NameIndex, uint32_t& BufferLength);
  const void* GetBuffer(const std::string& TypeStr, const std::string& NameStr, uint32_t& BufferLength);
  const void* GetBuffer(const TVXResourceBookmark* ResourceBookmark, uint32_t& BufferLength);

  // Groups ("GroupIcon", "GroupCursor"): the entries the group holds (an
  // entry count beyond the resource counts only the entries inside), and
  // each entry's width, height (a cursor's stored height halved; an icon's
  // 0 bytes read 256), bit count and "INTRESOURCE:" name of its frame
  // resource. 0 or empty for other types and for frames outside the group.
  int32_t GroupCountFrames(int32_t TypeIndex, int32_t NameIndex);
  int32_t GroupFrameWidth(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex);
  int32_t GroupFrameHeight(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex);
  int32_t GroupFrameDepth(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex);
  std::string GroupFrameName(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex);
  // The "Icon" or "Cursor" resource of a group's frame.
  const void* GetFrameBuffer(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex, uint32_t& BufferLength);
  // For an "Icon" or "Cursor" resource: the group type, the group and the
  // frame that refer to it. Other types change nothing; without a group
  // that refers to it, GroupIndex ends at the number of groups.
  void GetGroupAndFrame(int32_t TypeIndex, int32_t NameIndex, int32_t& GroupTypeIndex, int32_t& GroupIndex,
                        int32_t& GroupFrameIndex);
  // A bookmark owned by the extractor.
  TVXResourceBookmark* GetResourceBookmark(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex);

 private:
  struct TTypeItem {
    std::string Text;
    std::vector<std::string> Names;
  };
  struct TFrameOf {
    int32_t Group, Frame;
  };
  HMODULE m_hlib = nullptr;
  std::vector<TTypeItem> m_typesList;
  std::vector<std::unique_ptr<TVXResourceBookmark>> m_resourceBookmarks;
  // Look-ups made once and kept (the lists never change): the type of a
  // text, each type's names without case (first index of each), and for a
  // group type the first group and frame that name each frame resource.
  mutable std::map<std::string, int32_t> m_typeOfText;
  std::vector<std::unique_ptr<std::map<std::string, int32_t>>> m_nameIndex;
  std::map<int32_t, std::map<std::string, TFrameOf>> m_frameIndex;

  // The group entry of a frame (14 bytes) or nullptr; Cursor tells the layout.
  const uint8_t* GroupEntry(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex, bool& Cursor);
};
