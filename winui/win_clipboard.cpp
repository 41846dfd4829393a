#include "winui/win_clipboard.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "winui/metafile.h"

namespace {

void Release(UINT format, HANDLE h) {
  if (!h) return;
  if (format == CF_ENHMETAFILE)
    DeleteEnhMetaFile(static_cast<HENHMETAFILE>(h));
  else
    GlobalFree(static_cast<HGLOBAL>(h));
}

struct Clipboard {
  std::mutex lock;
  bool open = false;
  std::thread::id holder;
  HWND owner = nullptr;
  bool failSet = false;
  std::vector<std::pair<UINT, HANDLE>> items;
  // What the clipboard still holds when the process ends goes with it.
  ~Clipboard() {
    for (auto& [format, h] : items) Release(format, h);
  }
};

Clipboard& TheClipboard() {
  static Clipboard c;
  return c;
}

bool OpenHere(const Clipboard& c) { return c.open && c.holder == std::this_thread::get_id(); }

}  // namespace

namespace vxclip {
void SetFailures(bool On) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  c.failSet = On;
}
}  // namespace vxclip

BOOL OpenClipboard(HWND hWndNewOwner) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (c.open && c.holder != std::this_thread::get_id()) return FALSE;
  c.open = true;
  c.holder = std::this_thread::get_id();
  c.owner = hWndNewOwner;
  return TRUE;
}

BOOL CloseClipboard() {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!OpenHere(c)) return FALSE;
  c.open = false;
  c.holder = std::thread::id();
  c.owner = nullptr;
  return TRUE;
}

BOOL EmptyClipboard() {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!OpenHere(c)) return FALSE;
  for (auto& item : c.items) Release(item.first, item.second);
  c.items.clear();
  return TRUE;
}

HANDLE SetClipboardData(UINT uFormat, HANDLE hMem) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!OpenHere(c) || uFormat == 0 || !hMem || c.failSet) return nullptr;
  if (uFormat != CF_ENHMETAFILE) {
    const auto* block = static_cast<HGLOBAL>(hMem);
    if (block->Resource || !(block->Flags & GMEM_MOVEABLE)) return nullptr;
  }
  for (auto& item : c.items)
    if (item.first == uFormat) {
      if (item.second != hMem) Release(item.first, item.second);
      item.second = hMem;
      return hMem;
    }
  c.items.emplace_back(uFormat, hMem);
  return hMem;
}

HANDLE GetClipboardData(UINT uFormat) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!OpenHere(c)) return nullptr;
  for (auto& item : c.items)
    if (item.first == uFormat) return item.second;
  return nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  return std::any_of(c.items.begin(), c.items.end(), [&](const auto& i) { return i.first == format; }) ? TRUE
                                                                                                      : FALSE;
}

UINT EnumClipboardFormats(UINT format) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!OpenHere(c) || c.items.empty()) return 0;
  if (format == 0) return c.items.front().first;
  for (size_t i = 0; i + 1 < c.items.size(); ++i)
    if (c.items[i].first == format) return c.items[i + 1].first;
  return 0;
}

int CountClipboardFormats() {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  return int(c.items.size());
}

int GetClipboardFormatNameW(UINT format, char* lpszFormatName, int cchMaxCount) {
  if (!lpszFormatName || cchMaxCount < 1) return 0;
  std::string name;
  const int n = GetClipboardFormatNameW(uint32_t(format), name, cchMaxCount);
  std::memcpy(lpszFormatName, name.data(), size_t(n));
  lpszFormatName[n] = '\0';
  return n;
}
