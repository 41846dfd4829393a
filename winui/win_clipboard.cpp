#include "winui/win_clipboard.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

namespace {

struct Clipboard {
  std::mutex lock;
  bool open = false;
  HWND owner = nullptr;
  std::vector<std::pair<UINT, HGLOBAL>> items;
};

Clipboard& TheClipboard() {
  static Clipboard c;
  return c;
}

}  // namespace

BOOL OpenClipboard(HWND hWndNewOwner) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (c.open) return FALSE;
  c.open = true;
  c.owner = hWndNewOwner;
  return TRUE;
}

BOOL CloseClipboard() {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!c.open) return FALSE;
  c.open = false;
  c.owner = nullptr;
  return TRUE;
}

BOOL EmptyClipboard() {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!c.open) return FALSE;
  for (auto& item : c.items) GlobalFree(item.second);
  c.items.clear();
  return TRUE;
}

HANDLE SetClipboardData(UINT uFormat, HANDLE hMem) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!c.open || uFormat == 0) return nullptr;
  HGLOBAL mem = static_cast<HGLOBAL>(hMem);
  for (auto& item : c.items)
    if (item.first == uFormat) {
      if (item.second != mem) GlobalFree(item.second);
      item.second = mem;
      return hMem;
    }
  c.items.emplace_back(uFormat, mem);
  return hMem;
}

HANDLE GetClipboardData(UINT uFormat) {
  Clipboard& c = TheClipboard();
  std::lock_guard g(c.lock);
  if (!c.open) return nullptr;
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
  if (!c.open || c.items.empty()) return 0;
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
