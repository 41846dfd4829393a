#include "platform/win_module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "platform/utf.h"
#include "platform/win_resource_entry.h"

namespace {

struct TModName {
  TResName Name;
  // The handles point here: a module is not changed once it is read, so
  // the addresses stay.
  std::vector<TResourceEntry> Languages;
};

struct TModType {
  TResName Type;
  std::vector<TModName> Names;
};

// The key of a type or name as FindResource matches it: numbers by value,
// texts without case.
std::string MatchKey(const TResName& R) {
  if (R.IsNumber()) return "#" + std::to_string(R.Number());
  std::string k = "$" + R.Text();
  for (char& c : k) c = char(std::toupper(static_cast<unsigned char>(c)));
  return k;
}

struct TModule {
  std::vector<uint8_t> File;
  std::vector<TModType> Types;
  // Type key and name key to the first matching resource that has data, so
  // that a look-up costs the same in a module of thousands of resources.
  std::map<std::pair<std::string, std::string>, const TResourceEntry*> Index;

  void MakeIndex() {
    for (const TModType& t : Types) {
      const std::string type = MatchKey(t.Type);
      for (const TModName& n : t.Names)
        if (!n.Languages.empty()) Index.emplace(std::make_pair(type, MatchKey(n.Name)), &n.Languages.front());
    }
  }
};

std::mutex& ModulesLock() {
  static std::mutex m;
  return m;
}
std::set<const TModule*>& Modules() {
  static std::set<const TModule*> s;
  return s;
}

struct TSection {
  uint32_t VirtualAddress, RawSize, RawPointer;
};

// The reader of one file's headers and resource directory. Every read is
// checked against the bytes at hand.
class TPEReader {
 public:
  explicit TPEReader(TModule& M) : m(M), f(M.File) {}

  bool Read() {
    if (!In(0, 64) || f[0] != 'M' || f[1] != 'Z') return false;
    const uint64_t pe = U32(0x3C);
    if (!In(pe, 24) || std::memcmp(&f[pe], "PE\0\0", 4) != 0) return false;
    const uint64_t coff = pe + 4;
    const uint32_t sectionCount = U16(coff + 2);
    const uint32_t optSize = U16(coff + 16);
    const uint64_t opt = coff + 20;
    if (optSize < 2 || !In(opt, optSize)) return false;
    uint32_t countAt, dirsAt;
    switch (U16(opt)) {
      case 0x10B: countAt = 92, dirsAt = 96; break;    // PE32
      case 0x20B: countAt = 108, dirsAt = 112; break;  // PE32+
      default: return false;
    }
    const uint64_t sectionsAt = opt + optSize;
    if (!In(sectionsAt, uint64_t(sectionCount) * 40)) return false;
    for (uint32_t i = 0; i < sectionCount; ++i) {
      const uint64_t s = sectionsAt + uint64_t(i) * 40;
      TSection sec{U32(s + 12), U32(s + 16), U32(s + 20)};
      // Section data beyond the end of the file: a cut or damaged file.
      if (sec.RawSize != 0 && !In(sec.RawPointer, sec.RawSize)) return false;
      sections.push_back(sec);
    }
    if (optSize < uint64_t(countAt) + 4 || U32(opt + countAt) < 3 || optSize < uint64_t(dirsAt) + 3 * 8)
      return true;  // a module without resources
    const uint32_t rsrcRva = U32(opt + dirsAt + 16);
    if (rsrcRva == 0) return true;
    uint64_t avail = 0;
    if (!Map(rsrcRva, 16, base, avail)) return true;
    limit = avail;
    nameBudget = std::max<uint64_t>(limit, kMinNameBudget);
    entryBudget = limit / 4 + 64;
    WalkTypes();
    return true;
  }

 private:
  TModule& m;
  const std::vector<uint8_t>& f;
  std::vector<TSection> sections;
  uint64_t base = 0;   // file offset of the resource directory
  uint64_t limit = 0;  // bytes of the resource section from there
  std::set<uint32_t> visited;
  // Characters of entry names still to be taken. Every name is a copy of
  // the section's text: they may take as many characters as the section has
  // bytes (twice its text, for names shared between directories), no more,
  // so that entries naming one long text thousands of times stay cheap.
  static constexpr uint64_t kMinNameBudget = 65536;
  uint64_t nameBudget = 0;
  uint64_t entryBudget = 0;  // directory entries still to be read

  bool In(uint64_t Off, uint64_t Len) const { return Off <= f.size() && Len <= f.size() - Off; }
  uint32_t U16(uint64_t Off) const { return uint32_t(f[Off]) | uint32_t(f[Off + 1]) << 8; }
  uint32_t U32(uint64_t Off) const {
    return uint32_t(f[Off]) | uint32_t(f[Off + 1]) << 8 | uint32_t(f[Off + 2]) << 16 | uint32_t(f[Off + 3]) << 24;
  }
  bool InRsrc(uint64_t Off, uint64_t Len) const { return Off <= limit && Len <= limit - Off; }

  // The file offset of Size bytes at Rva, all inside one section's data.
  bool Map(uint32_t Rva, uint64_t Size, uint64_t& Offset, uint64_t& Avail) const {
    for (const TSection& s : sections) {
      if (Rva < s.VirtualAddress || Rva - s.VirtualAddress >= s.RawSize) continue;
      const uint64_t rel = Rva - s.VirtualAddress;
      if (Size > s.RawSize - rel) return false;
      Offset = uint64_t(s.RawPointer) + rel;
      Avail = s.RawSize - rel;
      return In(Offset, Size);
    }
    return false;
  }

  struct TEntry {
    TResName Name;
    bool IsDir;
    uint32_t Target;
  };

  // The entries of the directory at Off (relative to the resource directory)
  // unless it was walked before; only the entries that lie inside.
  bool Entries(uint32_t Off, std::vector<TEntry>& Out) {
    Out.clear();
    if (!visited.insert(Off).second || !InRsrc(Off, 16)) return false;
    const uint64_t count = uint64_t(U16(base + Off + 12)) + U16(base + Off + 14);
    const uint64_t fits = (limit - Off - 16) / 8;
    // Directories may overlap one another: all of them together take no
    // more entries than the section holds (twice over), so that a few
    // kilobytes of directories starting a few bytes apart cost no more.
    const uint64_t take = std::min({count, fits, entryBudget});
    entryBudget -= take;
    Out.reserve(size_t(take));
    for (uint64_t i = 0; i < take; ++i) {
      const uint64_t e = base + Off + 16 + i * 8;
      const uint32_t name = U32(e), target = U32(e + 4);
      if (name & 0x80000000u) {
        const uint32_t at = name & 0x7FFFFFFFu;
        if (!InRsrc(at, 2)) continue;
        const uint32_t len = U16(base + at);
        if (!InRsrc(uint64_t(at) + 2, uint64_t(len) * 2) || len > nameBudget) continue;
        nameBudget -= len;
        std::u16string text(len, u'\0');
        for (uint32_t k = 0; k < len; ++k) text[k] = char16_t(U16(base + at + 2 + uint64_t(k) * 2));
        Out.push_back({TResName::Named(VXUTF16ToUTF8(text)), (target & 0x80000000u) != 0, target & 0x7FFFFFFFu});
      } else {
        Out.push_back({TResName(int(name & 0xFFFF)), (target & 0x80000000u) != 0, target & 0x7FFFFFFFu});
      }
    }
    return true;
  }

  void WalkTypes() {
    std::vector<TEntry> types, names, langs;
    if (!Entries(0, types)) return;
    for (TEntry& t : types) {
      if (!t.IsDir) continue;
      m.Types.push_back({std::move(t.Name), {}});
      TModType& type = m.Types.back();
      if (!Entries(t.Target, names)) continue;
      for (TEntry& n : names) {
        if (!n.IsDir) continue;
        type.Names.push_back({std::move(n.Name), {}});
        TModName& name = type.Names.back();
        if (!Entries(n.Target, langs)) continue;
        for (const TEntry& l : langs) {
          if (l.IsDir || !InRsrc(l.Target, 16)) continue;
          const uint32_t rva = U32(base + l.Target), size = U32(base + l.Target + 4);
          uint64_t off = 0, avail = 0;
          if (!Map(rva, size, off, avail)) continue;
          TResourceEntry& e = name.Languages.emplace_back();
          e.Data = f.data() + off;
          e.Size = size;
          e.Block.Data = const_cast<uint8_t*>(f.data() + off);
          e.Block.Size = size;
          e.Block.Resource = true;
        }
      }
    }
  }
};

bool SameName(const TResName& A, const TResName& B) {
  if (A.IsNumber() != B.IsNumber()) return false;
  if (A.IsNumber()) return A.Number() == B.Number();
  const std::string &a = A.Text(), &b = B.Text();
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

const TModule* Known(HMODULE Module) {
  const auto* m = static_cast<const TModule*>(Module);
  return Modules().count(m) ? m : nullptr;
}

bool ReadWholeFile(const std::string& FileName, std::vector<uint8_t>& Out) {
  // Not blocking on a pipe; only regular files are modules.
  const int fd = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= 0x7FFFFFFF;
  if (ok) {
    Out.resize(size_t(st.st_size));
    size_t done = 0;
    while (done < Out.size()) {
      const ssize_t n = ::read(fd, Out.data() + done, Out.size() - done);
      if (n <= 0) break;
      done += size_t(n);
    }
    Out.resize(done);
  }
  ::close(fd);
  return ok;
}

}  // namespace

HMODULE LoadLibraryExW(const std::string& FileName, void* File, uint32_t Flags) {
  constexpr uint32_t kDataFile =
      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE | LOAD_LIBRARY_AS_IMAGE_RESOURCE;
  if (File != nullptr || (Flags & kDataFile) == 0) return nullptr;
  auto module = std::make_unique<TModule>();
  if (!ReadWholeFile(FileName, module->File)) return nullptr;
  if (!TPEReader(*module).Read()) return nullptr;
  module->MakeIndex();
  std::lock_guard<std::mutex> g(ModulesLock());
  Modules().insert(module.get());
  return module.release();
}

bool VXFreeModuleFile(HMODULE Module) {
  std::lock_guard<std::mutex> g(ModulesLock());
  const TModule* m = Known(Module);
  if (!m) return false;
  Modules().erase(m);
  delete m;
  return true;
}

HRSRC VXFindModuleResource(HMODULE Module, const TResName& Name, const TResName& Type) {
  std::lock_guard<std::mutex> g(ModulesLock());
  const TModule* m = Known(Module);
  if (!m) return nullptr;
  const auto it = m->Index.find(std::make_pair(MatchKey(Type), MatchKey(Name)));
  return it == m->Index.end() ? nullptr : it->second;
}

bool EnumResourceTypesA(HMODULE Module, const ENUMRESTYPEPROCA& Proc) {
  std::vector<TResName> types;
  if (Module == nullptr) {
    VXEnumProgramResources([&](int Type, const std::string&) {
      if (types.empty() || types.back().Number() != uint32_t(Type)) types.push_back(TResName(Type));
    });
  } else {
    std::lock_guard<std::mutex> g(ModulesLock());
    const TModule* m = Known(Module);
    if (!m) return false;
    for (const TModType& t : m->Types) types.push_back(t.Type);
  }
  // The callbacks run without the lock: they may look resources up.
  for (const TResName& t : types)
    if (!Proc(Module, t)) break;
  return !types.empty();
}

bool EnumResourceNamesA(HMODULE Module, const TResName& Type, const ENUMRESNAMEPROCA& Proc) {
  std::vector<TResName> names;
  bool typeFound = false;
  if (Module == nullptr) {
    VXEnumProgramResources([&](int T, const std::string& Name) {
      if (!Type.IsNumber() || uint32_t(T) != Type.Number()) return;
      typeFound = true;
      names.push_back(TResName(Name));
    });
  } else {
    std::lock_guard<std::mutex> g(ModulesLock());
    const TModule* m = Known(Module);
    if (!m) return false;
    for (const TModType& t : m->Types) {
      if (!SameName(t.Type, Type)) continue;
      typeFound = true;
      for (const TModName& n : t.Names) names.push_back(n.Name);
      break;
    }
  }
  for (const TResName& n : names)
    if (!Proc(Module, Type, n)) break;
  return typeFound;
}
