#include "core/sysutils.h"

#include "gui/printers.h"

#include <sys/sysinfo.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "core/settings.h"
#include "core/textutils.h"
#include "gui/forms.h"
#include "gui/imglist.h"
#include "gui/stdctrls.h"
#include "platform/win_syscolors.h"
#include "winui/gdi.h"
#include "winui/win_input.h"
#include "winui/win_metrics.h"
#include "winui/win_module.h"
#include "winui/win_scroll.h"

namespace {
// The system reports itself as the current NT-line version.
constexpr uint32_t kPlatformNT = 2;
constexpr uint32_t kSystemMajor = 10;
constexpr uint32_t kSystemMinor = 0;

std::mutex gLibLock;
HMODULE gMsImg32 = nullptr;
void* gGradientFill = nullptr;
HMODULE gUser32 = nullptr;
void* gGetGestureInfo = nullptr;
void* gCloseGestureInfoHandle = nullptr;
void* gSetGestureConfig = nullptr;
void* gUnregisterTouchWindow = nullptr;
}  // namespace

TVXOpSys VXOpSysFromVersion(uint32_t PlatformId, uint32_t Major, uint32_t Minor) {
  if (PlatformId == 1 && Major == 4) {
    if (Minor == 0) return vxosWin95;
    if (Minor == 10) return vxosWin98;
    if (Minor == 90) return vxosWinME;
  } else if (PlatformId == 2) {
    if (Major == 4 && Minor == 0) return vxosWinNT4;
    if (Major == 5 && Minor == 0) return vxosWin2000;
    if (Major == 5 && Minor == 1) return vxosWinXP;
    if (Major == 5 && Minor == 2) return vxosWin2003;
    if (Major == 6 && Minor == 0) return vxosWinVista;
    if (Major == 6 && Minor == 1) return vxosWin7;
    if (Major == 6 && Minor == 2) return vxosWin8;
  }
  return vxosUnknown;
}

TVXOpSys VXGetOpSys() { return VXOpSysFromVersion(kPlatformNT, kSystemMajor, kSystemMinor); }

int32_t VXDisplayRotation() {
  // The display keeps its natural orientation.
  return 0;
}

bool VXIsRemoteSession() { return GetSystemMetrics(SM_REMOTESESSION) != 0; }

namespace {

int64_t ReadPhysicalMemory(bool Available) {
  // /proc/meminfo tells the available memory the way the system estimates it.
  std::ifstream f("/proc/meminfo");
  std::string line;
  const char* key = Available ? "MemAvailable:" : "MemTotal:";
  while (std::getline(f, line)) {
    if (line.compare(0, std::strlen(key), key) == 0) {
      std::istringstream is(line.substr(std::strlen(key)));
      int64_t kb = 0;
      if (is >> kb) return kb * 1024;
    }
  }
  struct sysinfo si {};
  if (sysinfo(&si) != 0) return 0;
  return int64_t(Available ? si.freeram : si.totalram) * int64_t(si.mem_unit);
}

// The available memory is read again only after this many milliseconds, or when
// a caller asks for a fresh figure: every bitmap and every size check asks for
// it, and reading it each time costs more than the work of a small image.
constexpr int64_t kAvailableMemoryRefreshMs = 250;
std::atomic<int64_t> gAvailableMemory{-1};
std::atomic<int64_t> gAvailableMemoryRead{0};

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

int64_t VXPhysicalMemory(bool Available) {
  if (!Available) {
    static const int64_t total = ReadPhysicalMemory(false);
    return total;
  }
  const int64_t cached = gAvailableMemory.load(std::memory_order_relaxed);
  if (cached >= 0 && NowMs() - gAvailableMemoryRead.load(std::memory_order_relaxed) < kAvailableMemoryRefreshMs)
    return cached;
  return VXRefreshAvailableMemory();
}

int64_t VXRefreshAvailableMemory() {
  const int64_t value = ReadPhysicalMemory(true);
  gAvailableMemory.store(value, std::memory_order_relaxed);
  gAvailableMemoryRead.store(NowMs(), std::memory_order_relaxed);
  return value;
}

bool VXGUIDEqual(const GUID& A, const GUID& B) {
  return A.Data1 == B.Data1 && A.Data2 == B.Data2 && A.Data3 == B.Data3 &&
         std::memcmp(A.Data4, B.Data4, 8) == 0;
}

std::string VXGUIDToStr(const GUID& G) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", unsigned(G.Data1),
                unsigned(G.Data2), unsigned(G.Data3), G.Data4[0], G.Data4[1], G.Data4[2], G.Data4[3], G.Data4[4],
                G.Data4[5], G.Data4[6], G.Data4[7]);
  return buf;
}

void VXStrToGUID(const std::string& S, GUID& G) {
  // Fixed 1-based character positions of the "{8-4-4-4-12}" form.
  auto hexAt = [&S](size_t pos1) -> uint32_t {
    if (pos1 < 1 || pos1 > S.size()) return 0;
    int c = std::toupper(static_cast<unsigned char>(S[pos1 - 1]));
    if (c >= '0' && c <= '9') return uint32_t(c - '0');
    if (c >= 'A' && c <= 'F') return uint32_t(c - 'A' + 10);
    return 0;
  };
  auto hexRun = [&](size_t from, size_t digits) {
    uint32_t v = 0;
    for (size_t i = 0; i < digits; ++i) v = (v << 4) | hexAt(from + i);
    return v;
  };
  G.Data1 = hexRun(2, 8);
  G.Data2 = uint16_t(hexRun(11, 4));
  G.Data3 = uint16_t(hexRun(16, 4));
  G.Data4[0] = uint8_t(hexRun(21, 2));
  G.Data4[1] = uint8_t(hexRun(23, 2));
  for (int i = 0; i < 6; ++i) G.Data4[2 + i] = uint8_t(hexRun(26 + 2 * size_t(i), 2));
}

int32_t VXIfThen(bool Cond, int32_t A, int32_t B) { return Cond ? A : B; }
double VXIfThenFloat(bool Cond, double A, double B) { return Cond ? A : B; }

namespace {
template <class TLogFont>
TFontStyles LogFontStyles(const TLogFont* LogFont) {
  TFontStyles s = 0;
  if (!LogFont) return s;
  if (LogFont->lfWeight >= 700) s |= VXFontStyleBit(fsBold);
  if (LogFont->lfItalic) s |= VXFontStyleBit(fsItalic);
  if (LogFont->lfUnderline) s |= VXFontStyleBit(fsUnderline);
  if (LogFont->lfStrikeOut) s |= VXFontStyleBit(fsStrikeOut);
  return s;
}
}  // namespace

TFontStyles VXLogFontAStyles(const LOGFONTA* LogFont) { return LogFontStyles(LogFont); }
TFontStyles VXLogFontWStyles(const LOGFONTW* LogFont) { return LogFontStyles(LogFont); }

void VXLogFontAToW(const LOGFONTA& Source, LOGFONTW& Dest) {
  Dest.lfHeight = Source.lfHeight;
  Dest.lfWidth = Source.lfWidth;
  Dest.lfEscapement = Source.lfEscapement;
  Dest.lfOrientation = Source.lfOrientation;
  Dest.lfWeight = Source.lfWeight;
  Dest.lfItalic = Source.lfItalic;
  Dest.lfUnderline = Source.lfUnderline;
  Dest.lfStrikeOut = Source.lfStrikeOut;
  Dest.lfCharSet = Source.lfCharSet;
  Dest.lfOutPrecision = Source.lfOutPrecision;
  Dest.lfClipPrecision = Source.lfClipPrecision;
  Dest.lfQuality = Source.lfQuality;
  Dest.lfPitchAndFamily = Source.lfPitchAndFamily;
  size_t n = 0;
  while (n < size_t(LF_FACESIZE) && Source.lfFaceName[n]) ++n;
  std::u16string w = VXUTF8ToUTF16(VXAnsiToUTF8(std::string(Source.lfFaceName, n)));
  size_t m = std::min(w.size(), size_t(LF_FACESIZE - 1));
  std::copy(w.begin(), w.begin() + long(m), Dest.lfFaceName);
  std::fill(Dest.lfFaceName + m, Dest.lfFaceName + LF_FACESIZE, u'\0');
}

bool VXLoadGradientFill() {
  std::lock_guard<std::mutex> lock(gLibLock);
  if (!gMsImg32) {
    gMsImg32 = LoadLibraryW("MSIMG32.DLL");
    if (gMsImg32) gGradientFill = reinterpret_cast<void*>(GetProcAddress(gMsImg32, "GradientFill"));
  }
  return gMsImg32 != nullptr;
}

void VXFreeGradientFill() {
  std::lock_guard<std::mutex> lock(gLibLock);
  if (gMsImg32) FreeLibrary(gMsImg32);
  gMsImg32 = nullptr;
  gGradientFill = nullptr;
}

void VXLoadGestureAPI() {
  std::lock_guard<std::mutex> lock(gLibLock);
  if (gUser32) return;
  gUser32 = LoadLibraryW("User32.dll");
  if (!gUser32) return;
  gGetGestureInfo = reinterpret_cast<void*>(GetProcAddress(gUser32, "GetGestureInfo"));
  gCloseGestureInfoHandle = reinterpret_cast<void*>(GetProcAddress(gUser32, "CloseGestureInfoHandle"));
  gSetGestureConfig = reinterpret_cast<void*>(GetProcAddress(gUser32, "SetGestureConfig"));
  gUnregisterTouchWindow = reinterpret_cast<void*>(GetProcAddress(gUser32, "UnregisterTouchWindow"));
  if (!gGetGestureInfo) {
    FreeLibrary(gUser32);
    gUser32 = nullptr;
    gCloseGestureInfoHandle = gSetGestureConfig = gUnregisterTouchWindow = nullptr;
  }
}

void VXFreeGestureAPI() {
  std::lock_guard<std::mutex> lock(gLibLock);
  if (gUser32) FreeLibrary(gUser32);
  gUser32 = nullptr;
  gGetGestureInfo = gCloseGestureInfoHandle = gSetGestureConfig = gUnregisterTouchWindow = nullptr;
}

bool VXGesturesAvailable() {
  std::lock_guard<std::mutex> lock(gLibLock);
  return gUser32 != nullptr;
}

TVXGestureEntries VXGestureEntries() {
  std::lock_guard<std::mutex> lock(gLibLock);
  TVXGestureEntries e;
  e.GetGestureInfo = reinterpret_cast<decltype(e.GetGestureInfo)>(gGetGestureInfo);
  e.CloseGestureInfoHandle = reinterpret_cast<decltype(e.CloseGestureInfoHandle)>(gCloseGestureInfoHandle);
  e.SetGestureConfig = reinterpret_cast<decltype(e.SetGestureConfig)>(gSetGestureConfig);
  e.UnregisterTouchWindow = reinterpret_cast<decltype(e.UnregisterTouchWindow)>(gUnregisterTouchWindow);
  return e;
}

void VXSetScrollInfo(HWND Wnd, int Bar, int Min, int Max, int Page, int Pos, bool Redraw, bool Flat) {
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = Min;
  si.nMax = Max;
  si.nPage = UINT(Page);
  si.nPos = Pos;
  if (Flat)
    FlatSB_SetScrollInfo(Wnd, Bar, &si, Redraw);
  else
    SetScrollInfo(Wnd, Bar, &si, Redraw);
}

void VXSetScrollRange(HWND Wnd, int Bar, int Min, int Max, bool Redraw, bool Flat) {
  if (Flat)
    FlatSB_SetScrollRange(Wnd, Bar, Min, Max, Redraw);
  else
    SetScrollRange(Wnd, Bar, Min, Max, Redraw);
}

void VXSetScrollPos(HWND Wnd, int Bar, int Pos, bool Redraw, bool Flat) {
  if (Flat)
    FlatSB_SetScrollPos(Wnd, Bar, Pos, Redraw);
  else
    SetScrollPos(Wnd, Bar, Pos, Redraw);
}

void VXEnableScrollBar(HWND Wnd, int Bar, UINT Arrows, bool Flat) {
  if (Flat)
    FlatSB_EnableScrollBar(Wnd, Bar, Arrows);
  else
    EnableScrollBar(Wnd, UINT(Bar), Arrows);
}

void VXShowScrollBar(HWND Wnd, int Bar, bool Show, bool Flat) {
  if (Flat)
    FlatSB_ShowScrollBar(Wnd, Bar, Show);
  else
    ShowScrollBar(Wnd, Bar, Show);
}

bool VXIsPrimaryMouseButtonDown() {
  bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  bool left = GetAsyncKeyState(VK_LBUTTON) & 0x8000;
  bool right = GetAsyncKeyState(VK_RBUTTON) & 0x8000;
  return (left && !swapped) || (right && swapped);
}

bool VXGradientFillRect(const RECT& Rect, HDC DC, TColor Color1, bool Vertical, TColor Color2) {
  if (!VXLoadGradientFill()) return false;
  using TGradientFill = BOOL (*)(HDC, TRIVERTEX*, ULONG, void*, ULONG, ULONG);
  TGradientFill fill;
  {
    std::lock_guard<std::mutex> lock(gLibLock);
    fill = reinterpret_cast<TGradientFill>(gGradientFill);
  }
  // A library without the entry counts as no library.
  if (!fill) return false;
  uint32_t c1 = ColorToRGB(int32_t(Color1)), c2 = ColorToRGB(int32_t(Color2));
  TRIVERTEX v[2];
  v[0].x = Rect.left;
  v[0].y = Rect.top;
  v[0].Red = COLOR16((c1 & 0xFF) << 8);
  v[0].Green = COLOR16(((c1 >> 8) & 0xFF) << 8);
  v[0].Blue = COLOR16(((c1 >> 16) & 0xFF) << 8);
  v[1].x = Rect.right;
  v[1].y = Rect.bottom;
  v[1].Red = COLOR16((c2 & 0xFF) << 8);
  v[1].Green = COLOR16(((c2 >> 8) & 0xFF) << 8);
  v[1].Blue = COLOR16(((c2 >> 16) & 0xFF) << 8);
  GRADIENT_RECT r;
  r.UpperLeft = 0;
  r.LowerRight = 1;
  fill(DC, v, 2, &r, 1, Vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
  return true;
}

void VXCenterDialog(HWND Wnd) {
  if (TVXDialogCenter center = VXGetGlobalSettings()->DefDialogCenter()) {
    center(Wnd);
    return;
  }
  TMonitor* m = nullptr;
  if (Screen && Screen->ActiveForm())
    m = Screen->ActiveForm()->Monitor();
  else if (Application && Application->MainForm())
    m = Application->MainForm()->Monitor();
  else if (Screen)
    m = Screen->Monitors(0);
  RECT r;
  if (!m || !GetWindowRect(Wnd, &r)) return;
  TRect mon = m->BoundsRect();
  int left = mon.Left + ((mon.Right - mon.Left) - (r.right - r.left)) / 2;
  int top = mon.Top + ((mon.Bottom - mon.Top) - (r.bottom - r.top)) / 3;
  SetWindowPos(Wnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void VXDrawListItemWithImage(TWinControl* Control, const RECT& Rect, const std::string& Text, int32_t ImageIndex,
                             TCustomImageList* ImageList) {
  auto* combo = dynamic_cast<TCustomComboBox*>(Control);
  auto* list = dynamic_cast<TCustomListBox*>(Control);
  if (!combo && !list) throw EVXException("Unsupported Control Type");
  const int itemHeight = combo ? combo->ItemHeight() : list->ItemHeight();
  TCanvas* canvas = combo ? combo->Canvas() : list->Canvas();
  const bool enabled = Control->Enabled();
  try {
    if (list && !enabled) canvas->Brush()->SetColor(clWindow);
    const TRect r{Rect.left, Rect.top, Rect.right, Rect.bottom};
    canvas->FillRect(r);
    const int16_t index = int16_t(ImageIndex);
    const bool image = ImageList && index >= 0;
    auto drawImage = [&]() {
      const TColor brush = canvas->Brush()->Color();
      ImageList->Draw(canvas, r.Left + 2, r.Top + (itemHeight - ImageList->Height()) / 2, index, enabled);
      canvas->Brush()->SetColor(brush);
    };
    const int textLeft = image ? r.Left + ImageList->Width() + 5 : r.Left + 4;
    const int textTop = r.Top + (itemHeight - canvas->TextHeight(Text)) / 2;
    if (image && combo) drawImage();
    if (!enabled) canvas->Font()->SetColor(clGrayText);
    canvas->TextOut(textLeft, textTop, Text);
    if (image && list) drawImage();
  } catch (...) {
    if (combo)
      combo->SetStyle(csDropDown);
    else
      list->SetStyle(lbStandard);
  }
}

void VXRefreshPrinter() {
  TPrinter* prn = Printer();
  const int copies = prn->Copies();
  const TPrinterOrientation orientation = prn->Orientation();
  const std::string title = prn->Title();
  std::string device, driver, port;
  HGLOBAL mode = nullptr;
  prn->GetPrinter(device, driver, port, mode);
  if (mode) GlobalFree(mode);
  prn->SetPrinter(device, driver, port, nullptr);
  prn->SetCopies(copies);
  prn->SetOrientation(orientation);
  prn->SetTitle(title);
}
