// The folder-tree camera store and the list of devices.
#include "acquire/camera_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "acquire/wpd_api.h"

namespace {

// Temporary files of objects being written: left out of every listing.
constexpr const char* kTempPrefix = ".vxwpd-";

double OleDateOf(const struct timespec& t) {
  struct tm local {};
  const time_t sec = t.tv_sec;
  if (!localtime_r(&sec, &local)) return 0;
  const double seconds = double(t.tv_sec) + double(local.tm_gmtoff) + double(t.tv_nsec) / 1e9;
  return seconds / 86400.0 + 25569.0;
}

bool ValidName(const std::string& Name) {
  return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string::npos &&
         Name.find('\0') == std::string::npos;
}

// An ID below the device: "/" followed by valid names separated by "/"
// (just "/" for a store whose storage is its root).
bool ValidPathID(const std::string& ID, bool AllowRoot) {
  if (ID.empty() || ID[0] != '/') return false;
  if (ID == "/") return AllowRoot;
  size_t start = 1;
  while (start <= ID.size()) {
    size_t slash = ID.find('/', start);
    if (slash == std::string::npos) slash = ID.size();
    if (!ValidName(ID.substr(start, slash - start))) return false;
    start = slash + 1;
  }
  return true;
}

HRESULT NotFound() { return HRESULT_FROM_WIN32(ERROR_NOT_FOUND); }

// A new object's data: a temporary file beside the final name, moved to it
// on Commit.
class TNewFileStream : public TVXStreamBase<IStream> {
 public:
  TNewFileStream(IStream* Inner, std::string Temp, std::string Final)
      : fInner(Inner), fTemp(std::move(Temp)), fFinal(std::move(Final)) {}
  ~TNewFileStream() override {
    fInner.Reset();
    if (!fCommitted) ::unlink(fTemp.c_str());
  }
  HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override { return fInner->Read(pv, cb, pcbRead); }
  HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
    if (fCommitted) return STG_E_ACCESSDENIED;
    return fInner->Write(pv, cb, pcbWritten);
  }
  HRESULT Seek(int64_t m, DWORD o, uint64_t* p) override { return fInner->Seek(m, o, p); }
  HRESULT SetSize(uint64_t n) override { return fInner->SetSize(n); }
  HRESULT Stat(STATSTG* s, DWORD f) override { return fInner->Stat(s, f | STATFLAG_NONAME); }
  HRESULT Commit(DWORD flags) override {
    if (fCommitted) return S_OK;
    const HRESULT hr = fInner->Commit(flags);
    if (FAILED(hr)) return hr;
    if (::renameat2(AT_FDCWD, fTemp.c_str(), AT_FDCWD, fFinal.c_str(), RENAME_NOREPLACE) != 0) {
      const int e = errno;
      if (e != EINVAL && e != ENOSYS) return VXHResultFromErrno(e);
      // File systems without the exclusive rename.
      struct stat st {};
      if (::lstat(fFinal.c_str(), &st) == 0) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
      if (::rename(fTemp.c_str(), fFinal.c_str()) != 0) return VXHResultFromErrno(errno);
    }
    fCommitted = true;
    return S_OK;
  }
  HRESULT Revert() override { return S_OK; }

 private:
  TVXComPtr<IStream> fInner;
  std::string fTemp, fFinal;
  bool fCommitted = false;
};

int RemoveOne(const char* Path, const struct stat*, int Flag, struct FTW*) {
  const int r = (Flag == FTW_DP) ? ::rmdir(Path) : ::unlink(Path);
  return r == 0 ? 0 : errno;
}

class TFolderTreeStore : public TVXCameraStore {
 public:
  TFolderTreeStore(std::string Folder, bool ReadOnly, std::string DeviceName, bool StorageIsRoot,
                   std::string StorageName)
      : fFolder(std::move(Folder)),
        fReadOnly(ReadOnly),
        fDeviceName(std::move(DeviceName)),
        fStorageIsRoot(StorageIsRoot),
        fStorageName(std::move(StorageName)) {
    while (fFolder.size() > 1 && fFolder.back() == '/') fFolder.pop_back();
  }

  bool ReadOnly() const override { return fReadOnly; }

  HRESULT Children(const std::string& ID, std::vector<std::string>& IDs) override {
    IDs.clear();
    TVXStoreKind kind;
    HRESULT hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    if (kind == vxskFile) return S_OK;
    if (kind == vxskDevice && fStorageIsRoot) {
      IDs.push_back("/");
      return S_OK;
    }
    const std::string dir = kind == vxskDevice ? fFolder : PathOf(ID);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return VXHResultFromErrno(errno);
    std::vector<std::string> names;
    while (dirent* e = ::readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == ".." || name.rfind(kTempPrefix, 0) == 0) continue;
      // Folders, files and links to files; links to folders are not followed.
      bool isDir;
      struct stat st {};
      if (::fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISLNK(st.st_mode)) {
        if (::fstatat(dirfd(d), e->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        isDir = false;
      } else if (S_ISDIR(st.st_mode)) {
        isDir = true;
      } else if (S_ISREG(st.st_mode)) {
        isDir = false;
      } else {
        continue;
      }
      if (kind == vxskDevice && !isDir) continue;
      names.push_back(name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());  // byte order
    for (const std::string& n : names) IDs.push_back(ChildID(ID, n));
    return S_OK;
  }

  HRESULT Entry(const std::string& ID, TVXStoreEntry& E) override {
    E = TVXStoreEntry{};
    TVXStoreKind kind;
    HRESULT hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    E.ID = ID;
    E.Kind = kind;
    const std::string path = kind == vxskDevice ? fFolder : PathOf(ID);
    struct statx sx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_SIZE | STATX_MTIME | STATX_BTIME, &sx) != 0)
      return VXHResultFromErrno(errno);
    if (kind == vxskDevice) {
      E.Name = fDeviceName;
    } else {
      E.ParentID = ParentOf(ID);
      E.Name = (ID == "/") ? fStorageName : ID.substr(ID.rfind('/') + 1);
      E.Hidden = !E.Name.empty() && E.Name[0] == '.';
    }
    if (kind == vxskFile) E.Size = uint64_t(sx.stx_size);
    struct timespec t {};
    t.tv_sec = sx.stx_mtime.tv_sec;
    t.tv_nsec = sx.stx_mtime.tv_nsec;
    E.DateModified = OleDateOf(t);
    E.DateCreated = E.DateModified;
    if (sx.stx_mask & STATX_BTIME) {
      t.tv_sec = sx.stx_btime.tv_sec;
      t.tv_nsec = sx.stx_btime.tv_nsec;
      E.DateCreated = OleDateOf(t);
    }
    return S_OK;
  }

  HRESULT OpenRead(const std::string& ID, IStream** Stream) override {
    if (!Stream) return E_POINTER;
    *Stream = nullptr;
    TVXStoreKind kind;
    HRESULT hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    if (kind != vxskFile) return E_INVALIDARG;
    return VXCreateStreamOnFile(PathOf(ID), STGM_READ, false, Stream);
  }

  HRESULT CreateFile(const std::string& ParentID, const std::string& Name, IStream** Stream,
                     std::string& NewID) override {
    if (!Stream) return E_POINTER;
    *Stream = nullptr;
    HRESULT hr = CanCreateIn(ParentID, Name);
    if (FAILED(hr)) return hr;
    NewID = ChildID(ParentID, Name);
    const std::string final = PathOf(NewID);
    struct stat st {};
    if (::lstat(final.c_str(), &st) == 0) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    std::string temp = PathOf(ParentID) + "/" + kTempPrefix + "XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return VXHResultFromErrno(errno);
    ::close(fd);
    IStream* inner = nullptr;
    hr = VXCreateStreamOnFile(temp, STGM_READWRITE, false, &inner);
    if (FAILED(hr)) {
      ::unlink(temp.c_str());
      return hr;
    }
    *Stream = new TNewFileStream(inner, temp, final);
    return S_OK;
  }

  HRESULT CreateFolder(const std::string& ParentID, const std::string& Name, std::string& NewID) override {
    HRESULT hr = CanCreateIn(ParentID, Name);
    if (FAILED(hr)) return hr;
    NewID = ChildID(ParentID, Name);
    if (::mkdir(PathOf(NewID).c_str(), 0777) != 0) return VXHResultFromErrno(errno);
    return S_OK;
  }

  HRESULT Delete(const std::string& ID, bool Recursive) override {
    TVXStoreKind kind;
    HRESULT hr = KindOf(ID, kind);
    if (FAILED(hr)) return hr;
    if (fReadOnly || kind == vxskDevice || kind == vxskStorage) return E_ACCESSDENIED;
    const std::string path = PathOf(ID);
    if (kind == vxskFile) return ::unlink(path.c_str()) == 0 ? S_OK : VXHResultFromErrno(errno);
    if (!Recursive) return ::rmdir(path.c_str()) == 0 ? S_OK : VXHResultFromErrno(errno);
    const int r = ::nftw(path.c_str(), &RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
    return r == 0 ? S_OK : VXHResultFromErrno(r > 0 ? r : errno);
  }

 private:
  std::string PathOf(const std::string& ID) const { return ID == "/" ? fFolder : fFolder + ID; }
  static std::string ChildID(const std::string& Parent, const std::string& Name) {
    if (Parent == WPD_DEVICE_OBJECT_ID || Parent == "/") return "/" + Name;
    return Parent + "/" + Name;
  }
  std::string ParentOf(const std::string& ID) const {
    if (ID == "/") return WPD_DEVICE_OBJECT_ID;
    const size_t slash = ID.rfind('/');
    if (slash == 0) return fStorageIsRoot ? "/" : WPD_DEVICE_OBJECT_ID;
    return ID.substr(0, slash);
  }

  // The kind of an existing object; not found for anything else (malformed
  // IDs, folders reached through symbolic links, special files).
  HRESULT KindOf(const std::string& ID, TVXStoreKind& Kind) const {
    if (ID == WPD_DEVICE_OBJECT_ID) {
      Kind = vxskDevice;
      return S_OK;
    }
    if (!ValidPathID(ID, fStorageIsRoot)) return NotFound();
    if (ID == "/") {
      Kind = vxskStorage;
      return S_OK;
    }
    // No component on the way may be a symbolic link to a folder.
    std::string path = fFolder;
    size_t start = 1;
    while (true) {
      size_t slash = ID.find('/', start);
      const bool last = slash == std::string::npos;
      path += "/" + ID.substr(start, (last ? ID.size() : slash) - start);
      struct stat st {};
      if (::lstat(path.c_str(), &st) != 0) return NotFound();
      if (S_ISLNK(st.st_mode)) {
        if (!last || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return NotFound();
      }
      if (last) {
        if (S_ISREG(st.st_mode)) {
          if (!fStorageIsRoot && start == 1) return NotFound();  // top-level files are not part of the device
          Kind = vxskFile;
        } else if (S_ISDIR(st.st_mode)) {
          Kind = (!fStorageIsRoot && start == 1) ? vxskStorage : vxskFolder;
        } else {
          return NotFound();
        }
        return S_OK;
      }
      if (!S_ISDIR(st.st_mode)) return NotFound();
      start = slash + 1;
    }
  }

  HRESULT CanCreateIn(const std::string& ParentID, const std::string& Name) const {
    if (fReadOnly) return E_ACCESSDENIED;
    TVXStoreKind kind;
    HRESULT hr = KindOf(ParentID, kind);
    if (FAILED(hr)) return hr;
    if (kind == vxskDevice || kind == vxskFile) return E_INVALIDARG;
    if (!ValidName(Name) || Name.rfind(kTempPrefix, 0) == 0) return E_INVALIDARG;
    return S_OK;
  }

  std::string fFolder;
  bool fReadOnly;
  std::string fDeviceName;
  bool fStorageIsRoot;
  std::string fStorageName;
};

std::mutex& SourcesLock() {
  static std::mutex m;
  return m;
}
std::vector<TVXStoreDeviceSource>& Sources() {
  static std::vector<TVXStoreDeviceSource> s;
  return s;
}

}  // namespace

std::shared_ptr<TVXCameraStore> VXCreateFolderTreeStore(const std::string& Folder, bool ReadOnly,
                                                        const std::string& DeviceName, bool StorageIsRoot,
                                                        const std::string& StorageName) {
  return std::make_shared<TFolderTreeStore>(Folder, ReadOnly, DeviceName, StorageIsRoot, StorageName);
}

void VXAddStoreDeviceSource(TVXStoreDeviceSource Source) {
  std::lock_guard<std::mutex> guard(SourcesLock());
  auto& s = Sources();
  if (std::find(s.begin(), s.end(), Source) == s.end()) s.push_back(Source);
}

std::vector<TVXStoreDevice> VXListStoreDevices() {
  std::vector<TVXStoreDeviceSource> sources;
  {
    std::lock_guard<std::mutex> guard(SourcesLock());
    sources = Sources();
  }
  std::vector<TVXStoreDevice> devices;
  for (TVXStoreDeviceSource s : sources) s(devices);
  return devices;
}

bool VXFindStoreDevice(const std::string& ID, TVXStoreDevice& Device) {
  for (TVXStoreDevice& d : VXListStoreDevices())
    if (d.ID == ID) {
      Device = std::move(d);
      return true;
    }
  return false;
}
