// File system services in the shape of the Windows calls the program uses:
// attributes, times, directory enumeration, folders, copy, delete, the current
// and the temporary folder. Paths use '/'; a name beginning with '.' is hidden;
// read-only means that nobody has the write bit.
#pragma once
#include <cstdint>
#include <string>

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr uint32_t FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// 100-nanosecond intervals since 1601-01-01 UTC, split in two halves.
struct FILETIME {
  uint32_t dwLowDateTime = 0;
  uint32_t dwHighDateTime = 0;
};

struct WIN32_FIND_DATAW {
  uint32_t dwFileAttributes = 0;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  uint64_t nFileSize = 0;
  std::string cFileName;  // name only, without folder
};

struct TFindHandle;
using HFIND = TFindHandle*;
inline HFIND const INVALID_FIND_HANDLE = nullptr;

// Pattern: a path whose last component may hold '*' and '?' (e.g. "dir/*").
// The entries "." and ".." of a folder are reported too, as on Windows.
HFIND FindFirstFileW(const std::string& Pattern, WIN32_FIND_DATAW& Data);
bool FindNextFileW(HFIND Handle, WIN32_FIND_DATAW& Data);
void FindClose(HFIND Handle);

uint32_t GetFileAttributesW(const std::string& Path);
// Only FILE_ATTRIBUTE_READONLY has an effect: set removes every write bit,
// clear gives the owner the write bit back.
bool SetFileAttributesW(const std::string& Path, uint32_t Attributes);

bool FileExists(const std::string& Path);  // an existing entry that is not a folder
bool DirectoryExists(const std::string& Path);
bool CreateDirectoryW(const std::string& Path);
// Creates the folder and all its missing parents; raises EInOutError for an empty path.
bool ForceDirectories(const std::string& Path);
// Copies contents, permission bits and last-write time; with FailIfExists false an
// existing target is replaced. Copying a file onto itself fails.
bool CopyFileW(const std::string& Source, const std::string& Target, bool FailIfExists);
bool DeleteFileW(const std::string& Path);
// Creates Path exclusively (never through an existing file or symbolic link) with the
// permission bits Mode and writes Data into it. NameTaken tells that the name existed.
bool WriteNewFile(const std::string& Path, const void* Data, size_t Size, unsigned Mode, bool& NameTaken);

// Device and inode of the entry (symbolic links followed); false when it cannot be read.
bool GetFileIdentity(const std::string& Path, uint64_t& Device, uint64_t& Inode);
bool SameFile(const std::string& A, const std::string& B);

std::string GetCurrentDir();
// $TMPDIR when set and not empty, else "/tmp"; always with a trailing '/'.
std::string GetTempPathW();
// Full path of the running executable.
std::string GetModuleFileNameW();

// Absolute form of Path against the current folder, with "." and ".." resolved
// by text (no link is followed). A trailing '/' is kept; an empty path stays empty.
std::string ExpandFileName(const std::string& Path);
std::string ExtractFileName(const std::string& Path);  // text after the last '/'
std::string ExtractFilePath(const std::string& Path);  // text up to and including the last '/'

FILETIME FileTimeFromUnix(int64_t Seconds, uint32_t Nanoseconds);
// Seconds since 1970 (floor) of a file time.
int64_t FileTimeToUnixSeconds(const FILETIME& Time);
