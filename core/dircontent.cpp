#include "core/dircontent.h"

#include "core/textutils.h"

namespace {

uint64_t FileTime64(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

}  // namespace

TVXDirContent::TVXDirContent(const std::string& dir) {
  fHandle = FindFirstFileW(dir, fFindData);
}

TVXDirContent::~TVXDirContent() {
  if (fHandle != INVALID_FIND_HANDLE) FindClose(fHandle);
}

bool TVXDirContent::GetItem(std::string& sFilename, bool bGetFiles, bool bGetDirs, bool bGetHidden) {
  sFilename.clear();
  fFileSizeBytes = 0;
  fCreateDate = 0;
  fEditDate = 0;
  if (fHandle == INVALID_FIND_HANDLE) return false;
  bool found = true;
  for (;;) {
    if (fFirstGot) found = FindNextFileW(fHandle, fFindData);
    fFirstGot = true;
    if (!found) break;
    const std::string& name = fFindData.cFileName;
    if (name == "." || name == "..") continue;
    const bool isDir = (fFindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isDir ? !bGetDirs : !bGetFiles) continue;
    if (!bGetHidden && (fFindData.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0) continue;
    break;
  }
  if (!found) return false;
  fIsDir = (fFindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  fIsHidden = (fFindData.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
  sFilename = fFindData.cFileName;
  fFileSizeBytes = static_cast<int64_t>(fFindData.nFileSize);
  try {
    fCreateDate = VXFileTimeToDateTime(FileTime64(fFindData.ftCreationTime));
    fEditDate = VXFileTimeToDateTime(FileTime64(fFindData.ftLastWriteTime));
  } catch (...) {
    // A time that cannot be converted leaves the date 0.
  }
  return true;
}

void TVXDirContent::PopulateStrings(const std::string& path, std::vector<std::string>& strings, bool bGetFiles,
                                    bool bGetDirs, bool bGetHidden) {
  strings.clear();
  TVXDirContent walker(path);
  std::string name;
  while (walker.GetItem(name, bGetFiles, bGetDirs, bGetHidden)) strings.push_back(name);
}
