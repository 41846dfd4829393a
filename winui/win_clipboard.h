// The clipboard of this process: formats with data blocks (global memory),
// opened by one window at a time. Format names are registered through
// platform/win_clipboard.h. There is no system clipboard behind it.
#pragma once
#include <string>

#include "platform/win_clipboard.h"
#include "platform/win_memory.h"
#include "winui/win_types.h"

// Predefined formats used by the library.
constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_UNICODETEXT = 13;

// FALSE while another window has it open.
BOOL OpenClipboard(HWND hWndNewOwner);
BOOL CloseClipboard();
// Frees every block held (the clipboard must be open).
BOOL EmptyClipboard();
// The clipboard takes hMem (a global memory block) and frees it when the
// format is replaced or emptied; null when the clipboard is not open or
// uFormat is 0.
HANDLE SetClipboardData(UINT uFormat, HANDLE hMem);
// The block of uFormat, still owned by the clipboard; null when absent or
// the clipboard is not open.
HANDLE GetClipboardData(UINT uFormat);
BOOL IsClipboardFormatAvailable(UINT format);
// The format after format (0: the first) in the order they were set; 0 at
// the end or when the clipboard is not open.
UINT EnumClipboardFormats(UINT format);
int CountClipboardFormats();
// Registered names (platform/win_clipboard.h) with a UTF-8 buffer: copies at
// most cchMaxCount - 1 bytes and the terminator; the length copied, 0 for a
// predefined or unknown format.
int GetClipboardFormatNameW(UINT format, char* lpszFormatName, int cchMaxCount);
