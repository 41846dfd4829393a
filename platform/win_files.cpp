#include "platform/win_files.h"

#include "platform/win_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fnmatch.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;

bool HasWildcard(const std::string& s) {
  return s.find_first_of("*?") != std::string::npos;
}

bool FillFindData(const std::string& FullPath, const std::string& Name, WIN32_FIND_DATAW& Data) {
  struct statx sx{};
  const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
  if (statx(AT_FDCWD, FullPath.c_str(), 0, mask, &sx) != 0 &&
      statx(AT_FDCWD, FullPath.c_str(), AT_SYMLINK_NOFOLLOW, mask, &sx) != 0)
    return false;
  uint32_t attr = 0;
  const bool isDir = S_ISDIR(sx.stx_mode);
  if (isDir) attr |= FILE_ATTRIBUTE_DIRECTORY;
  if ((sx.stx_mode & 0222) == 0) attr |= FILE_ATTRIBUTE_READONLY;
  if (!Name.empty() && Name[0] == '.' && Name != "." && Name != "..") attr |= FILE_ATTRIBUTE_HIDDEN;
  if (!isDir) attr |= FILE_ATTRIBUTE_ARCHIVE;
  // Pipes, sockets, devices and dangling links are no documents: system entries,
  // which listings skip (reading a pipe would wait for ever).
  if (!isDir && !S_ISREG(sx.stx_mode)) attr |= FILE_ATTRIBUTE_SYSTEM;
  Data.dwFileAttributes = attr;
  Data.nFileSize = isDir ? 0 : sx.stx_size;
  Data.cFileName = Name;
  Data.ftLastWriteTime = FileTimeFromUnix(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  Data.ftLastAccessTime = FileTimeFromUnix(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  if (sx.stx_mask & STATX_BTIME) {
    Data.ftCreationTime = FileTimeFromUnix(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
  } else {
    // No birth time on this file system: the earlier of status change and write.
    const auto& t = (sx.stx_ctime.tv_sec < sx.stx_mtime.tv_sec) ? sx.stx_ctime : sx.stx_mtime;
    Data.ftCreationTime = FileTimeFromUnix(t.tv_sec, t.tv_nsec);
  }
  return true;
}

std::string FolderOf(const std::string& Pattern) {
  const auto p = Pattern.rfind('/');
  if (p == std::string::npos) return ".";
  if (p == 0) return "/";
  return Pattern.substr(0, p);
}

}  // namespace

struct TFindHandle {
  std::string Folder;
  std::vector<std::string> Names;
  size_t Next = 0;
};

FILETIME FileTimeFromUnix(int64_t Seconds, uint32_t Nanoseconds) {
  const int64_t ticks = Seconds * 10000000LL + Nanoseconds / 100 + kUnixEpochTicks;
  const uint64_t u = ticks < 0 ? 0 : static_cast<uint64_t>(ticks);
  FILETIME ft;
  ft.dwLowDateTime = static_cast<uint32_t>(u & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<uint32_t>(u >> 32);
  return ft;
}

int64_t FileTimeToUnixSeconds(const FILETIME& Time) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(Time.dwHighDateTime) << 32) | Time.dwLowDateTime);
  const int64_t rel = ticks - kUnixEpochTicks;
  int64_t s = rel / 10000000LL;
  if (rel % 10000000LL < 0) --s;
  return s;
}

HFIND FindFirstFileW(const std::string& Pattern, WIN32_FIND_DATAW& Data) {
  const auto slash = Pattern.rfind('/');
  const std::string last = slash == std::string::npos ? Pattern : Pattern.substr(slash + 1);
  auto* h = new TFindHandle;
  h->Folder = FolderOf(Pattern);
  if (HasWildcard(last)) {
    DIR* d = opendir(h->Folder.c_str());
    if (!d) {
      delete h;
      return INVALID_FIND_HANDLE;
    }
    // A mask that ends in ".*" also takes names without an extension, as the
    // Windows matcher does: "*.*" lists every entry, "readme.*" finds "readme".
    const bool dotStar = last.size() >= 2 && last.compare(last.size() - 2, 2, ".*") == 0;
    const std::string stem = dotStar ? last.substr(0, last.size() - 2) : std::string();
    while (dirent* e = readdir(d)) {
      const bool match = fnmatch(last.c_str(), e->d_name, FNM_NOESCAPE) == 0 ||
                         (dotStar && std::strchr(e->d_name, '.') == nullptr &&
                          fnmatch(stem.c_str(), e->d_name, FNM_NOESCAPE) == 0);
      if (match) h->Names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(h->Names.begin(), h->Names.end());
    // A name may hold '*' or '?' itself: the entry of exactly that name comes first.
    const auto literal = std::find(h->Names.begin(), h->Names.end(), last);
    if (literal != h->Names.end()) std::rotate(h->Names.begin(), literal, literal + 1);
  } else if (!last.empty()) {
    h->Names.push_back(last);
  }
  if (FindNextFileW(h, Data)) return h;
  delete h;
  return INVALID_FIND_HANDLE;
}

bool FindNextFileW(HFIND Handle, WIN32_FIND_DATAW& Data) {
  if (!Handle) return false;
  while (Handle->Next < Handle->Names.size()) {
    const std::string& name = Handle->Names[Handle->Next++];
    const std::string full = Handle->Folder == "/" ? "/" + name : Handle->Folder + "/" + name;
    if (FillFindData(full, name, Data)) return true;
  }
  return false;
}

void FindClose(HFIND Handle) { delete Handle; }

uint32_t GetFileAttributesW(const std::string& Path) {
  if (Path.empty()) return INVALID_FILE_ATTRIBUTES;
  WIN32_FIND_DATAW d;
  std::string name = ExtractFileName(Path);
  if (!FillFindData(Path, name, d)) return INVALID_FILE_ATTRIBUTES;
  return d.dwFileAttributes;
}

bool SetFileAttributesW(const std::string& Path, uint32_t Attributes) {
  struct stat st{};
  if (Path.empty() || stat(Path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (Attributes & FILE_ATTRIBUTE_READONLY)
    mode &= ~static_cast<mode_t>(0222);
  else if ((mode & 0222) == 0)
    mode |= S_IWUSR;
  if (mode == (st.st_mode & 07777)) return true;
  return chmod(Path.c_str(), mode) == 0;
}

bool FileExists(const std::string& Path) {
  struct stat st{};
  return !Path.empty() && stat(Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& Path) {
  struct stat st{};
  return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryW(const std::string& Path) {
  return !Path.empty() && mkdir(Path.c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string& Path) {
  if (Path.empty()) throw EInOutError("Unable to create directory");
  std::string dir = Path;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  if (DirectoryExists(dir)) return true;
  const auto slash = dir.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (!ForceDirectories(dir.substr(0, slash))) return false;
  }
  if (mkdir(dir.c_str(), 0777) == 0) return true;
  return errno == EEXIST && DirectoryExists(dir);
}

bool CopyFileW(const std::string& Source, const std::string& Target, bool FailIfExists) {
  if (Source.empty() || Target.empty()) return false;
  const int in = open(Source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st{};
  if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(in);
    return false;
  }
  struct stat tst{};
  if (stat(Target.c_str(), &tst) == 0 && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
    close(in);  // the target is the source itself: truncating it would lose it
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (FailIfExists) flags |= O_EXCL;
  const int out = open(Target.c_str(), flags, st.st_mode & 0777);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = true;
  std::vector<char> buf(1 << 16);
  for (;;) {
    const ssize_t n = read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = write(out, buf.data() + done, static_cast<size_t>(n - done));
      if (w < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (ok) {
    fchmod(out, st.st_mode & 07777);
    const struct timespec times[2] = {{0, UTIME_NOW}, st.st_mtim};
    futimens(out, times);
  }
  if (close(out) != 0) ok = false;
  close(in);
  if (!ok) unlink(Target.c_str());
  return ok;
}

bool DeleteFileW(const std::string& Path) {
  struct stat st{};
  if (Path.empty() || lstat(Path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return unlink(Path.c_str()) == 0;
}

bool WriteNewFile(const std::string& Path, const void* Data, size_t Size, unsigned Mode, bool& NameTaken) {
  NameTaken = false;
  if (Path.empty()) return false;
  const int fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(Mode));
  if (fd < 0) {
    NameTaken = errno == EEXIST;
    return false;
  }
  // The mode bits as asked, whatever the process's umask removed.
  bool ok = fchmod(fd, static_cast<mode_t>(Mode)) == 0;
  const char* p = static_cast<const char*>(Data);
  size_t done = 0;
  while (ok && done < Size) {
    const ssize_t w = write(fd, p + done, Size - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<size_t>(w);
  }
  if (close(fd) != 0) ok = false;
  if (!ok) unlink(Path.c_str());
  return ok;
}

bool GetFileIdentity(const std::string& Path, uint64_t& Device, uint64_t& Inode) {
  struct stat st{};
  if (Path.empty() || stat(Path.c_str(), &st) != 0) return false;
  Device = st.st_dev;
  Inode = st.st_ino;
  return true;
}

bool SameFile(const std::string& A, const std::string& B) {
  uint64_t da = 0, ia = 0, db = 0, ib = 0;
  return GetFileIdentity(A, da, ia) && GetFileIdentity(B, db, ib) && da == db && ia == ib;
}

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  for (;;) {
    if (getcwd(buf.data(), buf.size())) return std::string(buf.data());
    if (errno != ERANGE || buf.size() > (1u << 20)) return std::string();
    buf.resize(buf.size() * 2);
  }
}

std::string GetTempPathW() {
  const char* t = std::getenv("TMPDIR");
  std::string dir = (t && *t) ? std::string(t) : std::string("/tmp");
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string GetModuleFileNameW() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    if (buf.size() > (1u << 20)) return std::string();
    buf.resize(buf.size() * 2);
  }
}

std::string ExpandFileName(const std::string& Path) {
  if (Path.empty()) return std::string();
  std::string full = Path[0] == '/' ? Path : GetCurrentDir() + "/" + Path;
  const bool trailing = full.size() > 1 && full.back() == '/';
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= full.size()) {
    size_t j = full.find('/', i);
    if (j == std::string::npos) j = full.size();
    const std::string part = full.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty()) return "/";
  if (trailing) out += '/';
  return out;
}

std::string ExtractFileName(const std::string& Path) {
  const auto p = Path.rfind('/');
  return p == std::string::npos ? Path : Path.substr(p + 1);
}

std::string ExtractFilePath(const std::string& Path) {
  const auto p = Path.rfind('/');
  return p == std::string::npos ? std::string() : Path.substr(0, p + 1);
}
