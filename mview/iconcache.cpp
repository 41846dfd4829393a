// The icon cache of the thumbnail viewer.
#include "mview/iconcache.h"

#include <algorithm>
#include <cctype>

#include "core/bitmap.h"
#include "mview/vexlanemview.h"

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The extension as written, with its dot; empty when the name part has none.
std::string WrittenExt(const std::string& FileName) {
  const size_t dot = FileName.find_last_of('.');
  if (dot == std::string::npos) return std::string();
  const size_t sep = FileName.find_last_of("/\\:");
  if (sep != std::string::npos && sep > dot) return std::string();
  return FileName.substr(dot);
}

}  // namespace

std::string BuildIconKey(TCachedIconType aType, const std::string& FileName, bool bIsFolder) {
  std::string key = bIsFolder ? std::string("~FOLDER") : WrittenExt(FileName);
  if (!key.empty()) key += aType == citIconOnly ? "~I" : "~F";
  return key;
}

TVXCachedIcon::TVXCachedIcon(TVXBitmap* aBmp, const std::string& sExt)
    : fBmp(std::make_unique<TVXBitmap>(aBmp)), fExt(Upper(sExt)) {}

TVXCachedIcon::~TVXCachedIcon() = default;

bool TVXCachedIcon::MatchesExt(const std::string& sExt) const { return Upper(sExt) == fExt; }

TVXCachedIconList::TVXCachedIconList(TVexlaneMView* Owner, int32_t iMaxIconCount)
    : fOwner(Owner), fMaxIconCount(iMaxIconCount) {
  if (fOwner != nullptr) {
    fOwnerSoftShadowEnabled = fOwner->SoftShadow().Enabled;
    fOwnerSoftShadowRadius = fOwner->SoftShadow().Radius;
  }
}

TVXCachedIconList::~TVXCachedIconList() = default;

void TVXCachedIconList::Clear() { fDataList.clear(); }

std::vector<std::string> TVXCachedIconList::Keys() const {
  std::vector<std::string> k;
  for (const auto& i : fDataList) k.push_back(i->Ext());
  return k;
}

int32_t TVXCachedIconList::FindKey(const std::string& Key) {
  if (fOwner != nullptr) {
    const TVXVSoftShadow& s = fOwner->SoftShadow();
    if (s.Enabled != fOwnerSoftShadowEnabled || s.Radius != fOwnerSoftShadowRadius) {
      fOwnerSoftShadowEnabled = s.Enabled;
      fOwnerSoftShadowRadius = s.Radius;
      Clear();
      return -1;
    }
  }
  for (size_t i = 0; i < fDataList.size(); ++i)
    if (fDataList[i]->MatchesExt(Key)) return int32_t(i);
  return -1;
}

bool TVXCachedIconList::RetrieveFromCache(TCachedIconType aType, const std::string& sFilename, bool bIsFolder,
                                          TVXBitmap*& Dest, bool bWantCopy) {
  if (bIsFolder) return false;
  const std::string ext = Upper(WrittenExt(sFilename));
  if (ext == ".EXE" || ext == ".LNK" || ext == ".ICO") return false;
  const int32_t at = FindKey(BuildIconKey(aType, sFilename, bIsFolder));
  if (at < 0) return false;
  auto item = std::move(fDataList[size_t(at)]);
  fDataList.erase(fDataList.begin() + at);
  if (bWantCopy) {
    if (Dest != nullptr) Dest->Assign(item->Bmp());
  } else {
    Dest = item->Bmp();
  }
  fDataList.insert(fDataList.begin(), std::move(item));
  return true;
}

void TVXCachedIconList::SaveToCache(TVXBitmap* Image, TCachedIconType aType, const std::string& sFilename,
                                    bool bIsFolder) {
  const std::string key = BuildIconKey(aType, sFilename, bIsFolder);
  if (key.empty() || Image == nullptr || Image->Width() <= 1) return;
  const int32_t at = FindKey(key);
  if (at < 0) {
    fDataList.insert(fDataList.begin(), std::make_unique<TVXCachedIcon>(Image, key));
  } else {
    auto item = std::move(fDataList[size_t(at)]);
    fDataList.erase(fDataList.begin() + at);
    fDataList.insert(fDataList.begin(), std::move(item));
  }
  if (fMaxIconCount > 0 && int32_t(fDataList.size()) > fMaxIconCount) fDataList.pop_back();
}
