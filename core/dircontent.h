#pragma once
// TVXDirContent walks the entries of one folder that match a mask, one at a
// time, filtered by kind (files, folders) and visibility, and reports each
// entry's size and dates. A thin layer over the find-first / find-next
// enumeration of platform/win_files.h: names come in the order the
// enumeration gives them, unsorted.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_files.h"

class TVXDirContent {
 public:
  // dir: a path that ends in a wildcard mask ("photos/*.png"). The first
  // entry is fetched at once.
  explicit TVXDirContent(const std::string& dir);
  ~TVXDirContent();
  TVXDirContent(const TVXDirContent&) = delete;
  TVXDirContent& operator=(const TVXDirContent&) = delete;

  // The next entry that is neither "." nor "..", of an accepted kind and,
  // unless bGetHidden, neither hidden nor a system entry. sFilename receives
  // its bare name. False (sFilename empty, size and dates 0) when no further
  // entry is accepted; the properties then describe nothing meaningful.
  bool GetItem(std::string& sFilename, bool bGetFiles, bool bGetDirs, bool bGetHidden);

  // Empties strings, then adds the name of every entry GetItem returns.
  static void PopulateStrings(const std::string& path, std::vector<std::string>& strings, bool bGetFiles,
                              bool bGetDirs, bool bGetHidden);

  bool IsFolder() const { return fIsDir; }
  bool IsHiddenFile() const { return fIsHidden; }
  int64_t FileSizeBytes() const { return fFileSizeBytes; }
  // Creation and last-write time as local TDateTime, 2-second resolution.
  double CreateDate() const { return fCreateDate; }
  double EditDate() const { return fEditDate; }

 private:
  bool fFirstGot = false;
  HFIND fHandle = INVALID_FIND_HANDLE;
  WIN32_FIND_DATAW fFindData;
  bool fIsDir = false;
  bool fIsHidden = false;
  int64_t fFileSizeBytes = 0;
  double fCreateDate = 0;
  double fEditDate = 0;
};
