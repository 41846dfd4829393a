#include "core/gdiplus.h"

#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "core/settings.h"
#include "winui/gdiplus.h"
#include "winui/win_module.h"

namespace {

// The flat-API entry points the canvas uses.
constexpr std::array kEntryNames = {
    "GdiplusStartup",          "GdiplusShutdown",       "GdipCreateFromHDC",
    "GdipCreateFromHDC2",      "GdipDeleteGraphics",    "GdipSetSmoothingMode",
    "GdipSetCompositingMode",  "GdipSetCompositingQuality", "GdipSetTextRenderingHint",
    "GdipRotateWorldTransform", "GdipTranslateWorldTransform", "GdipResetWorldTransform",
    "GdipCreatePen1",          "GdipDeletePen",         "GdipSetPenColor",
    "GdipSetPenWidth",         "GdipSetPenDashStyle",   "GdipSetPenLineJoin",
    "GdipCreateSolidFill",     "GdipCreateHatchBrush",  "GdipDeleteBrush",
    "GdipDrawLine",            "GdipDrawLinesI",        "GdipDrawRectangle",
    "GdipFillRectangle",       "GdipDrawEllipse",       "GdipFillEllipse",
    "GdipDrawPolygonI",        "GdipFillPolygonI",      "GdipDrawPie",
    "GdipFillPie",             "GdipDrawArc",           "GdipCreatePath",
    "GdipAddPathLine",         "GdipAddPathArc",        "GdipClosePathFigure",
    "GdipDrawPath",            "GdipFillPath",          "GdipDeletePath",
    "GdipCreateFontFromDC",    "GdipDeleteFont",        "GdipCreateStringFormat",
    "GdipDeleteStringFormat",  "GdipDrawString",        "GdipDisposeImage",
};

HMODULE gModule = nullptr;
int32_t gUseCount = 0;
ULONG_PTR gToken = 0;
std::array<FARPROC, kEntryNames.size()> gEntries{};

using StartupProc = GpStatus (*)(ULONG_PTR*, const GdiplusStartupInput*, GdiplusStartupOutput*);
using ShutdownProc = void (*)(ULONG_PTR);

void Unload() {
  FreeLibrary(gModule);
  gModule = nullptr;
  gToken = 0;
  gEntries.fill(nullptr);
}

}  // namespace

void VXLoadGDIPlusLibrary() {
  ++gUseCount;
  if (gModule || !VXGetGlobalSettings()->UseGDIPlus()) return;
  gModule = LoadLibraryW("gdiplus.dll");
  if (!gModule) return;
  for (size_t i = 0; i < kEntryNames.size(); ++i) gEntries[i] = GetProcAddress(gModule, kEntryNames[i]);
  const auto startup = reinterpret_cast<StartupProc>(VXGDIPlusEntry("GdiplusStartup"));
  GdiplusStartupInput input;  // version 1, no debug callback, background thread, external codecs
  if (!startup || startup(&gToken, &input, nullptr) != Ok) {
    // A library that never started is not shut down, and this use stays
    // counted: its owner frees it like any other.
    Unload();
  }
}

void VXFreeGDIPlusLibrary() {
  if (gUseCount <= 0) return;
  if (--gUseCount > 0 || !gModule) return;
  if (const auto shutdown = reinterpret_cast<ShutdownProc>(VXGDIPlusEntry("GdiplusShutdown"))) shutdown(gToken);
  Unload();
}

bool VXGDIPlusLoaded() { return gModule != nullptr; }

bool VXGDIPlusEnabled() { return VXGetGlobalSettings()->UseGDIPlus() && VXGDIPlusLoaded(); }

FARPROC VXGDIPlusEntry(const char* Name) {
  if (!Name) return nullptr;
  // Every drawing call looks its entries up: by a table of the names.
  static const std::unordered_map<std::string_view, size_t> index = [] {
    std::unordered_map<std::string_view, size_t> m;
    for (size_t i = 0; i < kEntryNames.size(); ++i) m.emplace(kEntryNames[i], i);
    return m;
  }();
  const auto it = index.find(Name);
  return it == index.end() ? nullptr : gEntries[it->second];
}

void VXStartUpGDIPlusUnit() {
  gModule = nullptr;
  gUseCount = 0;
  gToken = 0;
  gEntries.fill(nullptr);
}

void VXShutDownGDIPlusUnit() {}
