// Shell file information over the icon provider.
#include "winui/win_shell.h"

#include <mutex>

namespace {

std::mutex gLock;
TVXShellIconProvider& Provider() {
  static auto* p = new TVXShellIconProvider();
  return *p;
}

TVXShellThumbnailProvider& ThumbnailProvider() {
  static auto* p = new TVXShellThumbnailProvider();
  return *p;
}

}  // namespace

void VXSetShellIconProvider(TVXShellIconProvider NewProvider) {
  std::lock_guard<std::mutex> l(gLock);
  Provider() = std::move(NewProvider);
}

DWORD_PTR SHGetFileInfoW(LPCWSTR pszPath, DWORD /*dwFileAttributes*/, SHFILEINFOW* psfi, UINT cbFileInfo,
                         UINT uFlags) {
  if (!psfi || cbFileInfo < sizeof(SHFILEINFOW)) return 0;
  psfi->hIcon = nullptr;
  if (!(uFlags & SHGFI_ICON) || !pszPath || IS_INTRESOURCE(pszPath)) return 0;
  TVXShellIconProvider provider;
  {
    std::lock_guard<std::mutex> l(gLock);
    provider = Provider();
  }
  if (!provider) return 0;
  psfi->hIcon = provider(pszPath);
  return psfi->hIcon ? 1 : 0;
}

void VXSetShellThumbnailProvider(TVXShellThumbnailProvider NewProvider) {
  std::lock_guard<std::mutex> l(gLock);
  ThumbnailProvider() = std::move(NewProvider);
}

HBITMAP VXShellThumbnail(const std::string& FileName, int Width, int Height) {
  TVXShellThumbnailProvider provider;
  {
    std::lock_guard<std::mutex> l(gLock);
    provider = ThumbnailProvider();
  }
  return provider ? provider(FileName, Width, Height) : nullptr;
}
