#include "core/settings.h"

#include <algorithm>
#include <mutex>

#include "core/canvas_tools.h"
#include "core/cielab.h"
#include "core/sysutils.h"
#include "gui/forms.h"
#include "gui/graphics.h"
#include "winui/gdi.h"
#include "winui/gdi_font.h"
#include "winui/win_metrics.h"

TVXConvertColorFunction VXDefaultConvertColorHook = nullptr;
void (*VXNotifyLanguageChangeHook)() = nullptr;

namespace {
std::atomic<TVXVexlaneGlobalSettings*> gSettings{nullptr};
std::mutex gSettingsLock;
}  // namespace

TVXVexlaneGlobalSettings::TVXVexlaneGlobalSettings()
    : MemoShortCuts{TShortCut(scCtrl | 'L'), TShortCut(scCtrl | 'E'), TShortCut(scCtrl | 'R'),
                    TShortCut(scCtrl | 'J'), TShortCut(scCtrl | 'C'), TShortCut(scCtrl | 'X'),
                    TShortCut(scCtrl | 'V'), TShortCut(scCtrl | 'F'), TShortCut(scCtrl | 'B'),
                    TShortCut(scCtrl | 'I'), TShortCut(scCtrl | 'U'), TShortCut(scCtrl | 'G')},
      MeasureUnits{"pixels", "inches", "km", "mt", "cm", "mm", "microns", "nanometers", "feet", "yards",
                   "miles"} {
  fOpSys = VXGetOpSys();
  fUnicodeOS = fOpSys > vxosWinME;
  fSystemColors = GetDeviceCaps(nullptr, BITSPIXEL);
  fIsRemoteSession = GetSystemMetrics(SM_REMOTESESSION) != 0;
  fSystemDPIX = GetDeviceCaps(nullptr, LOGPIXELSX);
  fSystemDPIY = GetDeviceCaps(nullptr, LOGPIXELSY);
  fMMX = VXMMXSupported();
  fEdgeX = GetSystemMetrics(SM_CXEDGE);
  fEdgeY = GetSystemMetrics(SM_CYEDGE);
  fBorderX = GetSystemMetrics(SM_CXBORDER);
  fBorderY = GetSystemMetrics(SM_CYBORDER);
  fVScrollWidth = GetSystemMetrics(SM_CYHSCROLL);
  fHScrollHeight = GetSystemMetrics(SM_CXVSCROLL);
  fConvertColorFunction = VXDefaultConvertColorHook;
  fWordTransitionParams = new TVXWordTransitionParams();
  VXSetGdiPixelLimit(fMaxImagePixels);
}

void TVXVexlaneGlobalSettings::SetMaxImagePixels(int64_t v) {
  fMaxImagePixels = v < 1 ? VXDefaultMaxImagePixels : v;
  VXSetGdiPixelLimit(fMaxImagePixels);
}

TVXVexlaneGlobalSettings::~TVXVexlaneGlobalSettings() {
  delete fGridPen;
  delete fWordTransitionParams;
}

void TVXVexlaneGlobalSettings::DestroySingletonInstance() {
  std::lock_guard<std::mutex> lock(gSettingsLock);
  delete gSettings.exchange(nullptr);
}

void TVXVexlaneGlobalSettings::SetMsgLanguage(TMsgLanguage v) {
  fMsgLanguage = v;
  VXNotifyLanguageChange();
}

TVXConvertColorFunction TVXVexlaneGlobalSettings::ConvertColorFunction() const {
  // A converter registered after this object was created still becomes its
  // default, as long as nobody assigned one.
  if (!fConvertColorFunctionAssigned && fConvertColorFunction == nullptr) return VXDefaultConvertColorHook;
  return fConvertColorFunction;
}

void TVXVexlaneGlobalSettings::SetConvertColorFunction(TVXConvertColorFunction v) {
  fConvertColorFunction = v;
  fConvertColorFunctionAssigned = true;
}

TVXVexlaneGlobalSettings* VXGetGlobalSettings() {
  TVXVexlaneGlobalSettings* s = gSettings.load(std::memory_order_acquire);
  if (s) return s;
  std::lock_guard<std::mutex> lock(gSettingsLock);
  s = gSettings.load(std::memory_order_relaxed);
  if (!s) {
    s = new TVXVexlaneGlobalSettings();
    gSettings.store(s, std::memory_order_release);
    // The pen asks the settings whether GDI+ is enabled, so it is made once
    // they can be reached.
    s->SetGridPen(new TVXPen(nullptr));
  }
  return s;
}

bool VXIsVistaOrLater() {
  switch (VXGetGlobalSettings()->OpSys()) {
    case vxosWinVista:
    case vxosWin7:
    case vxosWin8:
    case vxosUnknown:
      return true;
    default:
      return false;
  }
}

void VXNotifyLanguageChange() {
  VXNotifyLanguageChange(Application);
  if (VXNotifyLanguageChangeHook) VXNotifyLanguageChangeHook();
}

void VXNotifyLanguageChange(TComponent* Root) {
  if (!Root) return;
  if (auto* l = dynamic_cast<IVXLanguageChange*>(Root)) l->LanguageChanged();
  for (int i = 0; i < Root->ComponentCount(); ++i) VXNotifyLanguageChange(Root->Components(i));
}

TFont* VXGetDefaultDialogFont() {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  if (TFont* f = s->DefaultDialogFont()) return f;
  auto* f = new TFont();
  f->SetCharset(DEFAULT_CHARSET);
  f->SetColor(clWindowText);
  f->SetStyle(0);
  f->SetName("Tahoma");
  f->SetHeight(-11);
  if (VXIsVistaOrLater() && Screen) {
    const std::vector<std::string>& fonts = Screen->Fonts();
    if (std::find(fonts.begin(), fonts.end(), "Segoe UI") != fonts.end()) {
      f->SetName("Segoe UI");
      f->SetHeight(-12);
    }
  }
  s->SetDefaultDialogFont(f);
  return f;
}

void VXFreeDefaultDialogFont() {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  delete s->DefaultDialogFont();
  s->SetDefaultDialogFont(nullptr);
}
