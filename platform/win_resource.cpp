#include "platform/win_resource.h"

#include "platform/win_resource_entry.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <mutex>
#include <vector>
#include <functional>


namespace {

std::mutex& Lock() {
  static std::mutex m;
  return m;
}
// Raised by every change of the table, so that cached look-ups know when
// they are stale.
std::atomic<uint64_t> gGeneration{0};

// By type and upper-case name. A map keeps entry addresses (the handles)
// stable while others are added.
using TResourceKey = std::pair<int, std::string>;
std::map<TResourceKey, TResourceEntry>& Table() {
  static std::map<TResourceKey, TResourceEntry> t;
  return t;
}
std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

void RegisterResource(int Type, const std::string& Name, const void* Data, size_t Size) {
  std::lock_guard<std::mutex> g(Lock());
  const std::string key = Upper(Name);
  const auto [it, added] = Table().try_emplace(TResourceKey(Type, key));
  TResourceEntry& e = it->second;
  if (!added) {
    e.Data = Data;
    e.Size = Size;
    e.Block.Data = const_cast<void*>(Data);
    e.Block.Size = Size;
    ++gGeneration;
    return;
  }
  e.Type = Type;
  e.Name = key;
  e.Data = Data;
  e.Size = Size;
  // Resource bytes are read-only; the handle only carries them to LockResource.
  e.Block.Data = const_cast<void*>(Data);
  e.Block.Size = Size;
  e.Block.Resource = true;
  ++gGeneration;
}

bool UnregisterResource(int Type, const std::string& Name) {
  std::lock_guard<std::mutex> g(Lock());
  if (Table().erase(TResourceKey(Type, Upper(Name))) == 0) return false;
  ++gGeneration;
  return true;
}

TResName::TResName(const std::string& Text) : fText(Text) {
  if (Text.size() < 2 || Text.size() > 6 || Text[0] != '#') return;
  uint32_t n = 0;
  for (size_t i = 1; i < Text.size(); ++i) {
    if (Text[i] < '0' || Text[i] > '9') return;
    n = n * 10 + uint32_t(Text[i] - '0');
  }
  if (n > 0xFFFF) return;
  fIsNumber = true;
  fNumber = n;
  fText.clear();
}

TResName TResName::Named(const std::string& Text) {
  TResName r;
  r.fText = Text;
  return r;
}

HRSRC FindResourceW(HMODULE Module, const TResName& Name, const TResName& Type) {
  if (Module != nullptr) return VXFindModuleResource(Module, Name, Type);
  if (!Type.IsNumber() || Type.Number() > 0xFFFF) return nullptr;
  std::lock_guard<std::mutex> g(Lock());
  const auto it = Table().find(TResourceKey(int(Type.Number()), Upper(Name.Key())));
  return it == Table().end() ? nullptr : &it->second;
}

void VXEnumProgramResources(const std::function<void(int Type, const std::string& Name)>& Proc) {
  std::vector<std::pair<int, std::string>> all;
  {
    std::lock_guard<std::mutex> g(Lock());
    for (const auto& [key, entry] : Table()) all.push_back(key);
  }
  for (const auto& [type, name] : all) Proc(type, name);
}

HGLOBAL LoadResource(HMODULE /*Module*/, HRSRC Resource) { return Resource ? &Resource->Block : nullptr; }

const void* LockResource(HGLOBAL Data) { return Data ? Data->Data : nullptr; }

uint32_t SizeofResource(HMODULE /*Module*/, HRSRC Resource) {
  return Resource ? static_cast<uint32_t>(Resource->Size) : 0;
}

std::string VXStringBlockName(uint32_t ID) { return "#" + std::to_string(ID / 16 + 1); }

int LoadStringW(HMODULE Module, uint32_t ID, char16_t* Buffer, int BufferMax) {
  if (Buffer == nullptr || BufferMax < 0) return 0;
  if (BufferMax > 0) Buffer[0] = 0;
  if (Module != nullptr) return 0;
  // Strings are loaded one after another from the same block: remember the
  // last block found until the table changes.
  struct TBlockCache {
    uint32_t Block = 0xFFFFFFFFu;
    uint64_t Generation = 0;
    const char16_t* Data = nullptr;
    size_t Size = 0;
    // Where the walk of the last call ended: string Index starts at Pos.
    uint32_t Index = 0;
    size_t Pos = 0;
  };
  thread_local TBlockCache cache;
  const uint64_t generation = gGeneration.load();
  if (cache.Block != ID / 16 || cache.Generation != generation) {
    HRSRC res = FindResourceW(Module, VXStringBlockName(ID), RT_STRING);
    cache.Block = ID / 16;
    cache.Generation = generation;
    cache.Data = res ? static_cast<const char16_t*>(LockResource(LoadResource(Module, res))) : nullptr;
    cache.Size = res ? SizeofResource(Module, res) / sizeof(char16_t) : 0;
    cache.Index = 0;
    cache.Pos = 0;
  }
  const char16_t* p = cache.Data;
  const size_t size = cache.Size;
  if (p == nullptr) return 0;
  // Walk to the string's place in its block, never past the block's end;
  // from where the last walk ended when that is on the way (strings loaded
  // in order walk each block once).
  uint32_t i = 0;
  size_t pos = 0;
  if (cache.Index <= ID % 16) {
    i = cache.Index;
    pos = cache.Pos;
  }
  for (; i < ID % 16; ++i) {
    if (pos >= size) return 0;
    pos += 1 + size_t(p[pos]);
  }
  cache.Index = i;
  cache.Pos = pos;
  if (pos >= size) return 0;
  const size_t len = p[pos];
  if (len == 0 || pos + 1 + len > size) return 0;
  const char16_t* text = p + pos + 1;
  if (BufferMax == 0) {
    *reinterpret_cast<const char16_t**>(Buffer) = text;
    return int(len);
  }
  const size_t n = std::min(len, size_t(BufferMax) - 1);
  std::copy(text, text + n, Buffer);
  Buffer[n] = 0;
  return int(n);
}
