// The shell's file information: the icon the shell shows for a file, and
// the thumbnail it keeps of one. Both come from providers the program sets
// (a desktop's icon theme or thumbnail cache, a test's fixture); without
// them no file has an icon or a thumbnail.
#pragma once
#include <functional>
#include <string>

#include "winui/win_types.h"

constexpr UINT SHGFI_ICON = 0x000000100;

struct SHFILEINFOW {
  HICON hIcon = nullptr;
  int iIcon = 0;
  DWORD dwAttributes = 0;
  char szDisplayName[260] = {};  // UTF-8 here
  char szTypeName[80] = {};
};

// With SHGFI_ICON: psfi->hIcon receives a new icon for the file, which the
// caller destroys (DestroyIcon); the answer is non-zero when there was one.
// Without an icon, or for other flags, psfi->hIcon is null and the answer 0.
DWORD_PTR SHGetFileInfoW(LPCWSTR pszPath, DWORD dwFileAttributes, SHFILEINFOW* psfi, UINT cbFileInfo, UINT uFlags);

// The provider asked for a file's icon: a new icon handle, or null. An empty
// function restores the default, which has no icons.
using TVXShellIconProvider = std::function<HICON(const std::string& FileName)>;
void VXSetShellIconProvider(TVXShellIconProvider Provider);

// The provider asked for a file's thumbnail of about Width x Height pixels:
// a new bitmap handle (the caller deletes it), or null. An empty function
// restores the default, which has no thumbnails.
using TVXShellThumbnailProvider = std::function<HBITMAP(const std::string& FileName, int Width, int Height)>;
void VXSetShellThumbnailProvider(TVXShellThumbnailProvider Provider);
// The provider's answer (null without a provider); what the provider raises
// reaches the caller.
HBITMAP VXShellThumbnail(const std::string& FileName, int Width, int Height);
