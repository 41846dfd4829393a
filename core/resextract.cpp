#include "core/resextract.h"

#include <cctype>

#include "core/settings.h"
#include "platform/win_module.h"
#include "winui/win_module.h"

namespace {

const char kIntPrefix[] = "INTRESOURCE:";

std::string ResText(const TResName& R) {
  return R.IsNumber() ? kIntPrefix + std::to_string(R.Number()) : R.Text();
}

// The text of a type or name back in the form the system takes.
TResName FromText(const std::string& Text) {
  const size_t n = sizeof(kIntPrefix) - 1;
  if (Text.size() > n && Text.compare(0, n, kIntPrefix) == 0) {
    uint32_t v = 0;
    for (size_t i = n; i < Text.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(Text[i])) || v > 0xFFFF) return TResName::Named(Text);
      v = v * 10 + uint32_t(Text[i] - '0');
    }
    if (v <= 0xFFFF) return TResName(int(v));
  }
  return TResName::Named(Text);
}

std::string Upper(std::string Text) {
  for (char& c : Text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return Text;
}

bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(A[i])) != std::toupper(static_cast<unsigned char>(B[i]))) return false;
  return true;
}

const char* FriendlyName(uint32_t Type) {
  switch (Type) {
    case 1: return "Cursor";
    case 2: return "Bitmap";
    case 3: return "Icon";
    case 4: return "Menu";
    case 5: return "Dialog";
    case 6: return "String";
    case 7: return "FontDir";
    case 8: return "Font";
    case 9: return "Accelerator";
    case 10: return "RCData";
    case 11: return "MessageTable";
    case 12: return "GroupCursor";
    case 14: return "GroupIcon";
    case 16: return "Version";
    case 17: return "DlgInclude";
    case 19: return "PlugPlay";
    case 20: return "VXD";
    case 21: return "AniCursor";
    case 22: return "AniIcon";
    case 23: return "HTML";
    case 24: return "Manifest";
    default: return nullptr;
  }
}

uint32_t U16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

}  // namespace

TVXResourceExtractor::TVXResourceExtractor(const std::string& Filename) {
  const uint32_t flags = VXIsVistaOrLater() ? (LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)
                                            : (LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES);
  m_hlib = LoadLibraryExW(Filename, nullptr, flags);
  if (m_hlib == nullptr) return;
  std::vector<TResName> types;
  EnumResourceTypesA(m_hlib, [&](HMODULE, const TResName& Type) {
    types.push_back(Type);
    return true;
  });
  for (const TResName& t : types) {
    TTypeItem item{ResText(t), {}};
    EnumResourceNamesA(m_hlib, t, [&](HMODULE, const TResName&, const TResName& Name) {
      item.Names.push_back(ResText(Name));
      return true;
    });
    m_typesList.push_back(std::move(item));
  }
}

TVXResourceExtractor::~TVXResourceExtractor() {
  m_resourceBookmarks.clear();
  m_typesList.clear();
  if (m_hlib != nullptr) FreeLibrary(m_hlib);
}

std::string TVXResourceExtractor::Types(int32_t TypeIndex) const {
  return TypeIndex >= 0 && TypeIndex < TypesCount() ? m_typesList[size_t(TypeIndex)].Text : std::string();
}

std::string TVXResourceExtractor::FriendlyTypes(int32_t TypeIndex) const {
  const std::string text = Types(TypeIndex);
  const TResName r = FromText(text);
  if (r.IsNumber())
    if (const char* f = FriendlyName(r.Number())) return f;
  return text;
}

int32_t TVXResourceExtractor::NamesCount(int32_t TypeIndex) const {
  return TypeIndex >= 0 && TypeIndex < TypesCount() ? int32_t(m_typesList[size_t(TypeIndex)].Names.size()) : 0;
}

std::string TVXResourceExtractor::Names(int32_t TypeIndex, int32_t NameIndex) const {
  if (NameIndex < 0 || NameIndex >= NamesCount(TypeIndex)) return {};
  return m_typesList[size_t(TypeIndex)].Names[size_t(NameIndex)];
}

bool TVXResourceExtractor::IsGroup(int32_t TypeIndex) const {
  const std::string f = FriendlyTypes(TypeIndex);
  return f == "GroupIcon" || f == "GroupCursor";
}

bool TVXResourceExtractor::IsGrouped(int32_t TypeIndex) const {
  const std::string f = FriendlyTypes(TypeIndex);
  return f == "Icon" || f == "Cursor";
}

int32_t TVXResourceExtractor::IndexOfType(const std::string& TypeName) const {
  const auto known = m_typeOfText.find(TypeName);
  if (known != m_typeOfText.end()) return known->second;
  int32_t found = -1;
  for (int32_t i = 0; i < TypesCount() && found < 0; ++i)
    if (SameText(m_typesList[size_t(i)].Text, TypeName)) found = i;
  for (int32_t i = 0; i < TypesCount() && found < 0; ++i)
    if (FriendlyTypes(i) == TypeName) found = i;
  m_typeOfText.emplace(TypeName, found);
  return found;
}

const void* TVXResourceExtractor::GetBuffer(int32_t TypeIndex, int32_t NameIndex, uint32_t& BufferLength) {
  BufferLength = 0;
  if (m_hlib == nullptr || NameIndex < 0 || NameIndex >= NamesCount(TypeIndex)) return nullptr;
  const TTypeItem& type = m_typesList[size_t(TypeIndex)];
  const HRSRC res = FindResourceW(m_hlib, FromText(type.Names[size_t(NameIndex)]), FromText(type.Text));
  if (res == nullptr) return nullptr;
  const void* data = LockResource(LoadResource(m_hlib, res));
  if (data == nullptr) return nullptr;
  BufferLength = SizeofResource(m_hlib, res);
  return data;
}

const void* TVXResourceExtractor::GetBuffer(const std::string& TypeStr, const std::string& NameStr,
                                            uint32_t& BufferLength) {
  BufferLength = 0;
  const int32_t type = IndexOfType(TypeStr);
  if (type < 0) return nullptr;
  if (m_nameIndex.size() < m_typesList.size()) m_nameIndex.resize(m_typesList.size());
  auto& index = m_nameIndex[size_t(type)];
  if (!index) {
    index = std::make_unique<std::map<std::string, int32_t>>();
    const std::vector<std::string>& names = m_typesList[size_t(type)].Names;
    for (size_t i = 0; i < names.size(); ++i) index->emplace(Upper(names[i]), int32_t(i));
  }
  const auto it = index->find(Upper(NameStr));
  return it == index->end() ? nullptr : GetBuffer(type, it->second, BufferLength);
}

const void* TVXResourceExtractor::GetBuffer(const TVXResourceBookmark* ResourceBookmark, uint32_t& BufferLength) {
  BufferLength = 0;
  if (ResourceBookmark == nullptr) return nullptr;
  if (ResourceBookmark->FrameIndex() < 0)
    return GetBuffer(ResourceBookmark->TypeIndex(), ResourceBookmark->NameIndex(), BufferLength);
  return GetFrameBuffer(ResourceBookmark->TypeIndex(), ResourceBookmark->NameIndex(), ResourceBookmark->FrameIndex(),
                        BufferLength);
}

int32_t TVXResourceExtractor::GroupCountFrames(int32_t TypeIndex, int32_t NameIndex) {
  const std::string f = FriendlyTypes(TypeIndex);
  if (f != "GroupIcon" && f != "GroupCursor") return 0;
  uint32_t len = 0;
  const auto* p = static_cast<const uint8_t*>(GetBuffer(IndexOfType(f), NameIndex, len));
  if (p == nullptr || len < 6) return 0;
  const uint32_t held = (len - 6) / 14;
  const uint32_t count = U16(p + 4);
  return int32_t(count < held ? count : held);
}

const uint8_t* TVXResourceExtractor::GroupEntry(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex,
                                                bool& Cursor) {
  const std::string f = FriendlyTypes(TypeIndex);
  if (f != "GroupIcon" && f != "GroupCursor") return nullptr;
  Cursor = f == "GroupCursor";
  if (FrameIndex < 0 || FrameIndex >= GroupCountFrames(TypeIndex, NameIndex)) return nullptr;
  uint32_t len = 0;
  const auto* p = static_cast<const uint8_t*>(GetBuffer(IndexOfType(f), NameIndex, len));
  return p ? p + 6 + size_t(FrameIndex) * 14 : nullptr;
}

int32_t TVXResourceExtractor::GroupFrameWidth(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex) {
  bool cursor = false;
  const uint8_t* e = GroupEntry(TypeIndex, NameIndex, FrameIndex, cursor);
  if (e == nullptr) return 0;
  if (cursor) return int32_t(U16(e));
  return e[0] == 0 ? 256 : e[0];
}

int32_t TVXResourceExtractor::GroupFrameHeight(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex) {
  bool cursor = false;
  const uint8_t* e = GroupEntry(TypeIndex, NameIndex, FrameIndex, cursor);
  if (e == nullptr) return 0;
  if (cursor) return int32_t(U16(e + 2) / 2);
  return e[1] == 0 ? 256 : e[1];
}

int32_t TVXResourceExtractor::GroupFrameDepth(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex) {
  bool cursor = false;
  const uint8_t* e = GroupEntry(TypeIndex, NameIndex, FrameIndex, cursor);
  return e ? int32_t(U16(e + 6)) : 0;
}

std::string TVXResourceExtractor::GroupFrameName(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex) {
  bool cursor = false;
  const uint8_t* e = GroupEntry(TypeIndex, NameIndex, FrameIndex, cursor);
  return e ? kIntPrefix + std::to_string(U16(e + 12)) : std::string();
}

const void* TVXResourceExtractor::GetFrameBuffer(int32_t TypeIndex, int32_t NameIndex, int32_t FrameIndex,
                                                 uint32_t& BufferLength) {
  BufferLength = 0;
  const std::string f = FriendlyTypes(TypeIndex);
  const std::string name = GroupFrameName(TypeIndex, NameIndex, FrameIndex);
  if (name.empty()) return nullptr;
  return GetBuffer(f == "GroupCursor" ? "Cursor" : "Icon", name, BufferLength);
}

void TVXResourceExtractor::GetGroupAndFrame(int32_t TypeIndex, int32_t NameIndex, int32_t& GroupTypeIndex,
                                            int32_t& GroupIndex, int32_t& GroupFrameIndex) {
  const std::string f = FriendlyTypes(TypeIndex);
  if (f != "Icon" && f != "Cursor") return;
  GroupTypeIndex = IndexOfType(f == "Icon" ? "GroupIcon" : "GroupCursor");
  const int32_t groups = NamesCount(GroupTypeIndex);
  // Every group's frames are listed once per group type, the first group
  // and frame naming a resource kept.
  auto made = m_frameIndex.find(GroupTypeIndex);
  if (made == m_frameIndex.end()) {
    made = m_frameIndex.emplace(GroupTypeIndex, std::map<std::string, TFrameOf>()).first;
    for (int32_t g = 0; g < groups; ++g) {
      const int32_t frames = GroupCountFrames(GroupTypeIndex, g);
      for (int32_t k = 0; k < frames; ++k) made->second.emplace(GroupFrameName(GroupTypeIndex, g, k), TFrameOf{g, k});
    }
  }
  const auto it = made->second.find(Names(TypeIndex, NameIndex));
  if (it != made->second.end()) {
    GroupIndex = it->second.Group;
    GroupFrameIndex = it->second.Frame;
    return;
  }
  // Not found: the search ends past the last group, its frame index past
  // that group's frames.
  GroupIndex = groups;
  if (groups > 0) GroupFrameIndex = GroupCountFrames(GroupTypeIndex, groups - 1);
}

TVXResourceBookmark* TVXResourceExtractor::GetResourceBookmark(int32_t TypeIndex, int32_t NameIndex,
                                                               int32_t FrameIndex) {
  m_resourceBookmarks.push_back(std::make_unique<TVXResourceBookmark>(TypeIndex, NameIndex, FrameIndex));
  return m_resourceBookmarks.back().get();
}
