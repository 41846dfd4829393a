// The test driver of the window system: a virtual clock, input injected as
// a user would give it, and the pixels of window surfaces. It stands in for
// the display (display.h) and drives the calling thread's message queue.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "winui/win_types.h"

namespace VXHeadless {

// Puts the clock under the driver's control, at Milliseconds.
void SetClock(uint64_t Milliseconds);
// Every read of the clock moves it by Step ms afterwards (0: it stands still).
void SetClockStep(uint32_t Step);
// Moves the clock forward by Milliseconds, stopping at the due time of each
// timer of this thread on the way (and at the end) to handle every message,
// so that each timer fires at its own time. Switches to the virtual clock.
void Advance(uint32_t Milliseconds);
// Handles this thread's messages until its queue is empty (sent, posted,
// input, paint and due timers). A WM_QUIT stays in the queue.
void RunUntilIdle();

// Input at a point of Wnd's client area. Button is the physical button:
// 0 left, 1 right, 2 middle (SwapMouseButton changes what they mean).
void MouseDown(HWND Wnd, int X, int Y, int Button);
void MouseUp(HWND Wnd, int X, int Y, int Button);
void MouseMove(HWND Wnd, int X, int Y);
void Wheel(HWND Wnd, int X, int Y, int Delta);
// A key to the focus window (or the active one).
void KeyDown(int VirtualKey);
void KeyUp(int VirtualKey);
// A character typed through an input method: WM_CHAR to the focus window.
void Char(char16_t Ch);
// The next Count polls of GetAsyncKeyState for the left (physical) button
// see it held down, as when a person holds it while a loop polls, and later
// polls see it released, until the next button input (MouseDown, MouseUp).
void HoldButtonForPolls(int Count);

// The window's client surface: top-down rows of packed 0x00RRGGBB; empty for
// no window.
std::vector<uint32_t> Surface(HWND Wnd, int& Width, int& Height);

// The simulated screen.
void SetScreenDepth(int BitsPerPixel);
void SetRemoteSession(bool On);
void SetMetric(int Index, int Value);
// The screen's pixels per inch (LOGPIXELSX and LOGPIXELSY; 96 at start).
void SetPixelsPerInch(int PixelsPerInch);

// Makes the next Count calls of CreateDIBSection fail.
void FailDIBSections(int Count);

// Off: every block transfer (BitBlt, StretchBlt, the DIB transfers) takes
// the general per-pixel path instead of its row path, so that tests can
// compare both. Reset turns the row paths back on.
void UseBlitRowPaths(bool On);

// While On, SetClipboardData fails (returns null and leaves the block to
// the caller).
void FailSetClipboardData(bool On);

// Built-in modules ("User32.dll", "MSIMG32.DLL"): a removed module cannot be
// loaded, a removed entry is not found; Restore brings all back.
void RemoveModule(const char* Module);
void RemoveModuleEntry(const char* Module, const char* Entry);
void RestoreModules();

// The font families that EnumFontFamiliesExW lists (instead of the
// installed ones), and back to the installed ones.
void SetFontFamilies(const std::vector<std::string>& Families);
void UseInstalledFontFamilies();

// A touch gesture at a point of Wnd's client area (GID_..., GF_...):
// WM_GESTURENOTIFY first for a beginning, then WM_GESTURE is posted.
void Gesture(HWND Wnd, uint32_t ID, uint32_t Flags, int X, int Y, uint64_t Arguments);

// The answer of the compression options dialog (AVISaveOptions, avifile.h)
// from now on: OK with that compressor (a four-character code, 0 for full
// frames) and quality (0 to 10000, (uint32_t)-1 for the compressor's
// default), or cancel, which is also the answer until one is scripted.
void SetAVISaveOptionsAnswer(bool OK, uint32_t Handler = 0, uint32_t Quality = uint32_t(-1));

// Destroys every window, empties every queue, kills every timer, forgets
// capture, focus and key states, restores the screen (96 pixels per inch), the modules, the font
// families, the system clock, the cancelling compression options dialog and
// a clipboard that accepts data, and forgets the file dialogs' scripts (win_filedlg.h).
void Reset();

}  // namespace VXHeadless

namespace VXHeadless {

// The printers (gdi_print.h). After ClearPrinters the list holds only the
// print queues of the print system (unless UseCUPS(false)) and the printers
// added here; the first printer added is the default.
void ClearPrinters();
// A printer writing PDF files (FileName "" = <title>.pdf in the current
// folder), with that paper, resolution and no hardware margins.
void AddPDFPrinter(const std::string& Name, const std::string& FileName, double PaperWidthInches,
                   double PaperHeightInches, int Dpi);
// Whether the print system's queues are listed.
void UseCUPS(bool On);
// A print queue at an IPP address (ipp://host:port/path).
void AddIPPPrinter(const std::string& Name, const std::string& URI);
// Back to the print system's queues and the virtual "PDF" printer.
void ResetPrinters();

}  // namespace VXHeadless
