#include "winui/win_module.h"

#include <cctype>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include <unistd.h>

#include "platform/win_module.h"
#include "platform/win_sysdir.h"
#include "winui/gdi.h"
#include "winui/gdiplus.h"
#include "winui/win_gesture.h"

namespace {

struct Module {
  std::string Name;
  std::map<std::string, FARPROC> Entries;
  int Uses = 0;
};

std::mutex gModLock;
std::set<std::string> gRemoved;
std::set<std::string> gRemovedEntries;  // "module!entry"

std::string Key(const char* name) {
  std::string s = name ? name : "";
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (s.size() < 4 || s.compare(s.size() - 4, 4, ".dll") != 0) s += ".dll";
  return s;
}

template <class F>
FARPROC Entry(F f) {
  return reinterpret_cast<FARPROC>(f);
}

std::map<std::string, Module>& Modules() {
  static auto* m = [] {
    auto* t = new std::map<std::string, Module>();
    Module& u = (*t)["user32.dll"];
    u.Name = "User32.dll";
    u.Entries = {{"GetGestureInfo", Entry(&GetGestureInfo)},
                 {"CloseGestureInfoHandle", Entry(&CloseGestureInfoHandle)},
                 {"SetGestureConfig", Entry(&SetGestureConfig)},
                 {"UnregisterTouchWindow", Entry(&UnregisterTouchWindow)}};
    Module& g = (*t)["msimg32.dll"];
    g.Name = "MSIMG32.DLL";
    g.Entries = {{"GradientFill", Entry(&GradientFill)}, {"AlphaBlend", Entry(&AlphaBlend)}};
    Module& p = (*t)["gdiplus.dll"];
    p.Name = "gdiplus.dll";
    p.Entries = {
        {"GdiplusStartup", Entry(&GdiplusStartup)},
        {"GdiplusShutdown", Entry(&GdiplusShutdown)},
        {"GdipCreateFromHDC", Entry(&GdipCreateFromHDC)},
        {"GdipCreateFromHDC2", Entry(&GdipCreateFromHDC2)},
        {"GdipDeleteGraphics", Entry(&GdipDeleteGraphics)},
        {"GdipSetSmoothingMode", Entry(&GdipSetSmoothingMode)},
        {"GdipSetCompositingMode", Entry(&GdipSetCompositingMode)},
        {"GdipSetCompositingQuality", Entry(&GdipSetCompositingQuality)},
        {"GdipSetTextRenderingHint", Entry(&GdipSetTextRenderingHint)},
        {"GdipRotateWorldTransform", Entry(&GdipRotateWorldTransform)},
        {"GdipTranslateWorldTransform", Entry(&GdipTranslateWorldTransform)},
        {"GdipResetWorldTransform", Entry(&GdipResetWorldTransform)},
        {"GdipCreatePen1", Entry(&GdipCreatePen1)},
        {"GdipDeletePen", Entry(&GdipDeletePen)},
        {"GdipSetPenColor", Entry(&GdipSetPenColor)},
        {"GdipSetPenWidth", Entry(&GdipSetPenWidth)},
        {"GdipSetPenDashStyle", Entry(&GdipSetPenDashStyle)},
        {"GdipSetPenLineJoin", Entry(&GdipSetPenLineJoin)},
        {"GdipCreateSolidFill", Entry(&GdipCreateSolidFill)},
        {"GdipCreateHatchBrush", Entry(&GdipCreateHatchBrush)},
        {"GdipDeleteBrush", Entry(&GdipDeleteBrush)},
        {"GdipDrawLine", Entry(&GdipDrawLine)},
        {"GdipDrawLinesI", Entry(&GdipDrawLinesI)},
        {"GdipDrawRectangle", Entry(&GdipDrawRectangle)},
        {"GdipFillRectangle", Entry(&GdipFillRectangle)},
        {"GdipDrawEllipse", Entry(&GdipDrawEllipse)},
        {"GdipFillEllipse", Entry(&GdipFillEllipse)},
        {"GdipDrawPolygonI", Entry(&GdipDrawPolygonI)},
        {"GdipFillPolygonI", Entry(&GdipFillPolygonI)},
        {"GdipDrawPie", Entry(&GdipDrawPie)},
        {"GdipFillPie", Entry(&GdipFillPie)},
        {"GdipDrawArc", Entry(&GdipDrawArc)},
        {"GdipCreatePath", Entry(&GdipCreatePath)},
        {"GdipAddPathLine", Entry(&GdipAddPathLine)},
        {"GdipAddPathArc", Entry(&GdipAddPathArc)},
        {"GdipClosePathFigure", Entry(&GdipClosePathFigure)},
        {"GdipDrawPath", Entry(&GdipDrawPath)},
        {"GdipFillPath", Entry(&GdipFillPath)},
        {"GdipDeletePath", Entry(&GdipDeletePath)},
        {"GdipCreateFontFromDC", Entry(&GdipCreateFontFromDC)},
        {"GdipDeleteFont", Entry(&GdipDeleteFont)},
        {"GdipCreateStringFormat", Entry(&GdipCreateStringFormat)},
        {"GdipDeleteStringFormat", Entry(&GdipDeleteStringFormat)},
        {"GdipDrawString", Entry(&GdipDrawString)},
        {"GdipDisposeImage", Entry(&GdipDisposeImage)},
    };
    for (auto& [k, mod] : *t) VXAddWindowsDirectoryFile(mod.Name);
    return t;
  }();
  return *m;
}

HMODULE HandleOf(Module& m) { return static_cast<HMODULE>(&m); }

Module* FromHandle(HMODULE h) {
  for (auto& [k, m] : Modules())
    if (HandleOf(m) == h) return &m;
  return nullptr;
}

}  // namespace

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
  if (!lpLibFileName) return nullptr;
  std::lock_guard<std::mutex> l(gModLock);
  std::string k = Key(lpLibFileName);
  auto it = Modules().find(k);
  if (it == Modules().end() || gRemoved.count(k)) return nullptr;
  it->second.Uses++;
  return HandleOf(it->second);
}

HMODULE LoadLibraryA(const char* lpLibFileName) {
  if (!lpLibFileName) return nullptr;
  const std::string path = lpLibFileName;
  const size_t slash = path.find_last_of("/\\:");
  if (slash == std::string::npos) return LoadLibraryW(lpLibFileName);
  if (::access(path.c_str(), F_OK) != 0) return nullptr;
  const std::string name = path.substr(slash + 1);
  if (name.empty()) return nullptr;
  return LoadLibraryW(name.c_str());
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
  if (!lpModuleName) return nullptr;  // the program itself
  std::lock_guard<std::mutex> l(gModLock);
  auto it = Modules().find(Key(lpModuleName));
  if (it == Modules().end() || it->second.Uses == 0) return nullptr;
  return HandleOf(it->second);
}

BOOL FreeLibrary(HMODULE hLibModule) {
  // Modules opened as data files for their resources.
  if (VXFreeModuleFile(hLibModule)) return TRUE;
  std::lock_guard<std::mutex> l(gModLock);
  Module* m = FromHandle(hLibModule);
  if (!m || m->Uses == 0) return FALSE;
  m->Uses--;
  return TRUE;
}

FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) {
  if (!lpProcName) return nullptr;
  std::lock_guard<std::mutex> l(gModLock);
  Module* m = FromHandle(hModule);
  if (!m) return nullptr;
  auto it = m->Entries.find(lpProcName);
  if (it == m->Entries.end()) return nullptr;
  for (auto& [k, mm] : Modules())
    if (&mm == m && gRemovedEntries.count(k + "!" + lpProcName)) return nullptr;
  return it->second;
}

namespace VXModules {

void Register(const char* Module, const TEntries& Entries) {
  if (!Module || !*Module) return;
  {
    std::lock_guard<std::mutex> l(gModLock);
    ::Module& m = Modules()[Key(Module)];
    m.Name = Module;
    m.Entries.clear();
    for (const auto& [name, proc] : Entries) m.Entries[name] = proc;
  }
  VXAddWindowsDirectoryFile(Module);
}

void Remove(const char* Module) {
  std::lock_guard<std::mutex> l(gModLock);
  gRemoved.insert(Key(Module));
}

void RemoveEntry(const char* Module, const char* EntryName) {
  std::lock_guard<std::mutex> l(gModLock);
  gRemovedEntries.insert(Key(Module) + "!" + (EntryName ? EntryName : ""));
}

void RestoreAll() {
  std::lock_guard<std::mutex> l(gModLock);
  gRemoved.clear();
  gRemovedEntries.clear();
}

}  // namespace VXModules
