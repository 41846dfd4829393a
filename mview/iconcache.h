// The thumbnail viewer's icon cache: a short most-recently-used list of icon
// pictures keyed by file extension, so that a folder of files of a few types
// draws its icons from a few cached pictures. The pictures depend on the
// viewer's soft shadow: a change of its enabling or radius empties the cache
// at the next lookup or save.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TVXBitmap;
class TVexlaneMView;

// What a cached picture is: the icon as drawn in a cell (shadow and scaling
// included), or the bare icon.
enum TCachedIconType { citFullDraw, citIconOnly };

// The key of a file: "~FOLDER" for a folder, else the extension as written in
// the name with its dot (empty without one); a non-empty key ends in "~I"
// (icon only) or "~F" (full drawing).
std::string BuildIconKey(TCachedIconType aType, const std::string& FileName, bool bIsFolder);

class TVXCachedIcon {
 public:
  // A copy of aBmp under sExt in upper case.
  TVXCachedIcon(TVXBitmap* aBmp, const std::string& sExt);
  ~TVXCachedIcon();
  bool MatchesExt(const std::string& sExt) const;
  TVXBitmap* Bmp() const { return fBmp.get(); }
  const std::string& Ext() const { return fExt; }

 private:
  std::unique_ptr<TVXBitmap> fBmp;
  std::string fExt;
};

class TVXCachedIconList {
 public:
  // iMaxIconCount 0 or less: no limit.
  TVXCachedIconList(TVexlaneMView* Owner, int32_t iMaxIconCount);
  ~TVXCachedIconList();
  TVXCachedIconList(const TVXCachedIconList&) = delete;
  TVXCachedIconList& operator=(const TVXCachedIconList&) = delete;

  void Clear();
  // False for a folder and for ".exe", ".lnk" and ".ico" files (they carry
  // icons of their own) and for a key not cached. Found: with bWantCopy Dest
  // (which must exist) takes a copy, otherwise Dest becomes the cache's own
  // bitmap; the item becomes the most recently used.
  bool RetrieveFromCache(TCachedIconType aType, const std::string& sFilename, bool bIsFolder, TVXBitmap*& Dest,
                         bool bWantCopy);
  // Nothing for an empty key or an Image at most 1 pixel wide. A new key gets
  // a copy of Image at the front, evicting the least recently used item
  // beyond the capacity; a cached key only moves to the front and keeps its
  // picture.
  void SaveToCache(TVXBitmap* Image, TCachedIconType aType, const std::string& sFilename, bool bIsFolder);
  int32_t Count() const { return int32_t(fDataList.size()); }
  int32_t MaxIconCount() const { return fMaxIconCount; }
  // The keys, most recently used first.
  std::vector<std::string> Keys() const;

 private:
  // The index of the key, -1 when absent; a changed soft shadow empties the
  // cache first.
  int32_t FindKey(const std::string& Key);

  TVexlaneMView* fOwner;
  int32_t fMaxIconCount;
  std::vector<std::unique_ptr<TVXCachedIcon>> fDataList;
  bool fOwnerSoftShadowEnabled = false;
  double fOwnerSoftShadowRadius = 0;
};
