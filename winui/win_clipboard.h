// The clipboard of this process: formats with data blocks (global memory, or
// an enhanced metafile for CF_ENHMETAFILE), open for one thread at a time.
// Format names are registered through platform/win_clipboard.h. There is no
// system clipboard behind it and no format is synthesized from another.
#pragma once
#include <string>

#include "platform/win_clipboard.h"
#include "platform/win_memory.h"
#include "winui/win_types.h"

// Predefined formats.
constexpr UINT CF_TEXT = 1;
constexpr UINT CF_BITMAP = 2;
constexpr UINT CF_DIB = 8;
constexpr UINT CF_PALETTE = 9;
constexpr UINT CF_UNICODETEXT = 13;
constexpr UINT CF_ENHMETAFILE = 14;
constexpr UINT CF_DIBV5 = 17;

// FALSE while another thread has it open; the thread that has it open may
// open it again (one CloseClipboard closes it).
BOOL OpenClipboard(HWND hWndNewOwner);
// FALSE when the calling thread does not have it open.
BOOL CloseClipboard();
// Frees every block held (the calling thread must have it open).
BOOL EmptyClipboard();
// The clipboard takes hMem (a movable global memory block; for
// CF_ENHMETAFILE an HENHMETAFILE) and frees the block it replaces now and
// this one when it is replaced or emptied. Null on failure (the clipboard is
// not open in this thread, uFormat is 0, hMem is null or not movable): the
// block then stays the caller's.
HANDLE SetClipboardData(UINT uFormat, HANDLE hMem);
// The block of uFormat, still owned by the clipboard; null when absent or
// the clipboard is not open in this thread.
HANDLE GetClipboardData(UINT uFormat);
// Whether uFormat is held; needs no open clipboard.
BOOL IsClipboardFormatAvailable(UINT format);
// The format after format (0: the first) in the order they were set; 0 at
// the end or when the clipboard is not open in this thread.
UINT EnumClipboardFormats(UINT format);
int CountClipboardFormats();
// Registered names (platform/win_clipboard.h) with a UTF-8 buffer: copies at
// most cchMaxCount - 1 bytes and the terminator; the length copied, 0 for a
// predefined or unknown format.
int GetClipboardFormatNameW(UINT format, char* lpszFormatName, int cchMaxCount);

namespace vxclip {
// Makes SetClipboardData fail (VXHeadless::FailSetClipboardData).
void SetFailures(bool On);
}  // namespace vxclip
