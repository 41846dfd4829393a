#include "winui/headless.h"

#include <algorithm>
#include <cstring>

#include "platform/win_clock.h"
#include "winui/avifile.h"
#include "winui/display.h"
#include "winui/gdi_font.h"
#include "winui/gdi_internal.h"
#include "winui/win_clipboard.h"
#include "winui/win_filedlg.h"
#include "winui/win_gesture.h"
#include "winui/win_module.h"
#include "winui/win_metrics.h"
#include "winui/win_state.h"
#include "winui/synchronize.h"

using namespace vxwin;

namespace VXHeadless {

void SetClock(uint64_t Milliseconds) { VXClockSet(Milliseconds); }

void SetClockStep(uint32_t Step) { VXClockSetStep(Step); }

void RunUntilIdle() {
  MSG m;
  VXCheckSynchronize();
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    VXCheckSynchronize();
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));
      return;
    }
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

void Advance(uint32_t Milliseconds) {
  if (!VXClockIsVirtual()) VXClockSetVirtual(true);
  VXClockSetStep(0);
  uint64_t end = GetTickCount64() + Milliseconds;
  for (;;) {
    uint64_t next = UINT64_MAX;
    {
      Lock l(S().M);
      DWORD me = ThisThread();
      for (const Timer& t : S().Timers)
        if (t.Thread == me && t.Due <= end) next = std::min(next, t.Due);
    }
    if (next == UINT64_MAX) break;
    if (next > GetTickCount64()) VXClockSet(next);
    RunUntilIdle();
  }
  VXClockSet(end);
  RunUntilIdle();
}

static POINT ToScreen(HWND Wnd, int X, int Y) {
  POINT p{X, Y};
  ClientToScreen(Wnd, &p);
  return p;
}

void MouseDown(HWND Wnd, int X, int Y, int Button) { VXInputMouseButton(Button, true, ToScreen(Wnd, X, Y)); }
void MouseUp(HWND Wnd, int X, int Y, int Button) { VXInputMouseButton(Button, false, ToScreen(Wnd, X, Y)); }
void MouseMove(HWND Wnd, int X, int Y) { VXInputMouseMove(ToScreen(Wnd, X, Y)); }
void Wheel(HWND Wnd, int X, int Y, int Delta) { VXInputWheel(Delta, ToScreen(Wnd, X, Y), false); }
void KeyDown(int VirtualKey) { VXInputKey(VirtualKey, true); }
void KeyUp(int VirtualKey) { VXInputKey(VirtualKey, false); }
void Char(char16_t Ch) { VXInputChar(Ch); }
void HoldButtonForPolls(int Count) { VXInputHoldButtonForPolls(Count); }

std::vector<uint32_t> Surface(HWND Wnd, int& Width, int& Height) {
  std::vector<uint32_t> px;
  Width = Height = 0;
  if (!VXReadSurface(Wnd, Width, Height, px)) px.clear();
  return px;
}

void SetScreenDepth(int BitsPerPixel) { VXScreen::SetDepth(BitsPerPixel); }
void SetRemoteSession(bool On) { VXScreen::SetRemoteSession(On); }
void SetMetric(int Index, int Value) { VXScreen::SetMetric(Index, Value); }
void SetPixelsPerInch(int PixelsPerInch) { VXScreen::SetPixelsPerInch(PixelsPerInch); }

void FailDIBSections(int Count) { vxgdi::SetDIBSectionFailures(Count); }

void UseBlitRowPaths(bool On) { vxgdi::SetBlitRowPaths(On); }

void SetAVISaveOptionsAnswer(bool OK, uint32_t Handler, uint32_t Quality) {
  vxavi::SetSaveOptionsAnswer(OK, Handler, Quality);
}

void RemoveModule(const char* Module) { VXModules::Remove(Module); }
void RemoveModuleEntry(const char* Module, const char* Entry) { VXModules::RemoveEntry(Module, Entry); }
void RestoreModules() { VXModules::RestoreAll(); }

void SetFontFamilies(const std::vector<std::string>& Families) { VXFonts::SetFamilies(Families); }
void UseInstalledFontFamilies() { VXFonts::UseInstalledFamilies(); }

void Gesture(HWND Wnd, uint32_t ID, uint32_t Flags, int X, int Y, uint64_t Arguments) {
  VXPostGesture(Wnd, ID, Flags, X, Y, Arguments);
}

void FailSetClipboardData(bool On) { vxclip::SetFailures(On); }

void Reset() {
  std::vector<HWND> tops;
  {
    Lock l(S().M);
    for (auto& [k, w] : S().Windows)
      if (!w->Parent) tops.push_back(w->H);
  }
  for (HWND h : tops) DestroyWindow(h);
  {
    Lock l(S().M);
    // Windows of other threads that could not be destroyed here are dropped.
    S().Windows.clear();
    S().Queues.clear();
    S().Timers.clear();
    S().Capture = S().Focus = S().Active = nullptr;
    S().CursorShape = nullptr;
    std::memset(S().Keys, 0, sizeof S().Keys);
    std::memset(S().Async, 0, sizeof S().Async);
    S().DoubleClickTime = 500;
    S().LastClickWnd = nullptr;
    S().LastClickButton = -1;
    S().LastWasDouble = false;
    S().Cursor = POINT{};
  }
  vxgdi::SetDIBSectionFailures(0);
  vxgdi::SetBlitRowPaths(true);
  VXModules::RestoreAll();
  VXFonts::UseInstalledFamilies();
  VXScreen::Reset();
  VXInputHoldButtonForPolls(-1);
  VXClockSetVirtual(false);
  ResetFileDialogs();
  vxavi::SetSaveOptionsAnswer(false, 0, DWORD(-1));
  vxclip::SetFailures(false);
}

}  // namespace VXHeadless
