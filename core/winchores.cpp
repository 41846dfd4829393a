#include "core/winchores.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <thread>

#include "core/settings.h"
#include "gui/component.h"
#include "gui/controls.h"
#include "platform/win_files.h"
#include "winui/win_clipboard.h"
#include "winui/win_colordlg.h"

HDRAWDIB VXDrawDibOpen() { return DrawDibOpen(); }

BOOL VXDrawDibClose(HDRAWDIB hdd) { return DrawDibClose(hdd); }

UINT VXDrawDibRealize(HDRAWDIB hdd, HDC dc, BOOL Background) { return DrawDibRealize(hdd, dc, Background); }

BOOL VXDrawDibDraw(HDRAWDIB hdd, HDC dc, int xDst, int yDst, int dxDst, int dyDst, BITMAPINFOHEADER* lpbi,
                   void* Bits, int xSrc, int ySrc, int dxSrc, int dySrc, UINT Flags) {
  return DrawDibDraw(hdd, dc, xDst, yDst, dxDst, dyDst, lpbi, Bits, xSrc, ySrc, dxSrc, dySrc, Flags);
}

const std::vector<std::string>& VXDefaultCustomColors() {
  static const std::vector<std::string> colors = {
      "ColorA=D670DA", "ColorB=8B3D48", "ColorC=FF901E", "ColorD=ED9564", "ColorE=EBCE87", "ColorF=908070",
      "ColorG=4F4F2F", "ColorH=2F6B55", "ColorI=008080", "ColorJ=7FFF00", "ColorK=00FC7C", "ColorL=32CD9A",
      "ColorM=B9DAFF", "ColorN=00D7FF", "ColorO=20A5DA", "ColorP=1E69D2"};
  return colors;
}

namespace {

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
  return s;
}

std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> lines;
  std::string line;
  for (char ch : Text) {
    if (ch == '\r' || ch == '\n') {
      if (!line.empty()) lines.push_back(line);
      line.clear();
    } else {
      line += ch;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The custom colour "ColorX" of the lines; white when absent or not a
// hexadecimal colour.
COLORREF CustomColor(const std::vector<std::string>& lines, int Index) {
  const std::string key = std::string("COLOR") + char('A' + Index) + "=";
  for (const std::string& l : lines) {
    if (Upper(l.substr(0, key.size())) != key) continue;
    const std::string v = l.substr(key.size());
    if (v.empty() || v.size() > 8 || !std::all_of(v.begin(), v.end(), [](unsigned char c) { return std::isxdigit(c); }))
      return 0xFFFFFF;
    return COLORREF(std::stoul(v, nullptr, 16)) & 0xFFFFFFu;
  }
  return 0xFFFFFF;
}

}  // namespace

bool VXColorDialog(TColor& Color) {
  TVXVexlaneGlobalSettings* settings = VXGetGlobalSettings();
  const std::vector<std::string> lines =
      settings->ColorDialogCustomColors.empty() ? VXDefaultCustomColors() : Lines(settings->ColorDialogCustomColors);
  COLORREF custom[16];
  for (int i = 0; i < 16; ++i) custom[i] = CustomColor(lines, i);
  CHOOSECOLORW cc;
  cc.rgbResult = VXColorToRGB(Color);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_ANYCOLOR;
  const bool ok = ChooseColorW(&cc) != FALSE;
  if (ok) Color = TColor(cc.rgbResult);
  std::string text;
  for (int i = 0; i < 16; ++i) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "Color%c=%06X\n", char('A' + i), unsigned(custom[i] & 0xFFFFFFu));
    text += entry;
  }
  settings->ColorDialogCustomColors = text;
  return ok;
}

HWND VXOwnerWindowHandle(TComponent* Component) {
  for (TComponent* c = Component ? Component->Owner() : nullptr; c; c = c->Owner())
    if (auto* w = dynamic_cast<TWinControl*>(c)) return w->HandleAllocated() ? w->Handle() : nullptr;
  return nullptr;
}

int64_t VXFindFileSize(const std::string& FileName) {
  WIN32_FIND_DATAW data;
  HFIND h = FindFirstFileW(FileName, data);
  if (h == INVALID_FIND_HANDLE) return 0;
  FindClose(h);
  return int64_t(data.nFileSize);
}

std::vector<TVXClipboardFormat> VXListClipboardFormats() {
  std::vector<TVXClipboardFormat> list;
  for (UINT f = EnumClipboardFormats(0); f != 0; f = EnumClipboardFormats(f)) {
    char name[513];
    if (GetClipboardFormatNameW(f, name, int(sizeof name)) > 0) list.push_back({name, f});
  }
  return list;
}

uint32_t VXGetClipboardFormatByName(const std::string& Name) {
  const std::string key = Upper(Name);
  for (const TVXClipboardFormat& f : VXListClipboardFormats())
    if (Upper(f.Name) == key) return f.Id;
  return 0;
}

bool VXOpenClipboard() {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (OpenClipboard(nullptr)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}
