#include "acquire/twain_params.h"

#include "acquire/acquire_params.h"

#include <cstring>

#include "acquire/twain_caps.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "core/winchores.h"

namespace {

// Upper case of the letters a to z only.
std::string UpperAZ(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return s;
}

}  // namespace

TVXTwainParams::TVXTwainParams(TComponent* Owner) : fOwner(Owner) {
  fSourceSettings = std::make_unique<TMemoryStream>();
  TVXTWSourceCaps& c = fCapabilities;
  c.fXResolution = std::make_unique<TVXDoubleList>();
  c.fYResolution = std::make_unique<TVXDoubleList>();
  c.fXScaling = std::make_unique<TVXDoubleList>();
  c.fYScaling = std::make_unique<TVXDoubleList>();
  c.fPixelType = std::make_unique<TVXIntegerList>();
  c.fBitDepth = std::make_unique<TVXIntegerList>();
  c.fOrientation = std::make_unique<TVXIntegerList>();
  c.fContrast = std::make_unique<TVXDoubleList>();
  c.fBrightness = std::make_unique<TVXDoubleList>();
  c.fStandardSize = std::make_unique<TVXIntegerList>();
  c.fThreshold = std::make_unique<TVXDoubleList>();
  c.fRotation = std::make_unique<TVXDoubleList>();
  SetDefaultParams();
}

TVXTwainParams::~TVXTwainParams() {
  VXTW_FreeSharedResources(&TwainShared, OwnerWindow());
  SetDefaultParams();
}

HWND TVXTwainParams::OwnerWindow() const { return fOwner ? VXOwnerWindowHandle(fOwner) : nullptr; }

void TVXTwainParams::SetDefaultParams() {
  TVXTWSourceCaps& c = fCapabilities;
  for (TVXDoubleList* l : {c.fXResolution.get(), c.fYResolution.get(), c.fXScaling.get(), c.fYScaling.get(),
                           c.fContrast.get(), c.fBrightness.get(), c.fThreshold.get(), c.fRotation.get()})
    l->Clear();
  for (TVXIntegerList* l : {c.fPixelType.get(), c.fBitDepth.get(), c.fOrientation.get(), c.fStandardSize.get()})
    l->Clear();
  c.fGamma = 2.2;
  c.fPhysicalHeight = 0;
  c.fPhysicalWidth = 0;
  // Only a multi-frame component (none here yet) starts with the feeder.
  c.fFeederEnabled = false;
  c.fIndicators = true;
  c.fAcquireFrame = TVXDRect();
  c.fBufferedTransfer = true;
  c.fUseMemoryHandle = true;
  c.fFileTransfer = false;
  c.fDuplexEnabled = c.fFeederEnabled;
  c.fAcquireFrameEnabled = false;
  c.fUndefinedImageSize = false;
  c.fAutoFeed = c.fFeederEnabled;
  c.fAutoDeskew = c.fAutoBorderDetection = c.fAutoBright = c.fAutoRotate = false;
  c.fAutoDiscardBlankPages = -2;
  c.fFilter = vxtwUndefined;
  c.fHighlight = -1.0;
  c.fShadow = -1.0;
  c.fAcceptedImages = -2;
  c.fAutoScan = false;
  c.fDeviceOnline = false;
  fVisibleDialog = true;
  fShowSettingsOnly = false;
  fCompatibilityMode = false;
  fLanguage = TWLG_USERLOCALE;
  fCountry = TWCY_USA;
  fSelectedSource = 0;
  fSourceListDataValid = false;
  fCapabilitiesValid = false;
  fSourceSettings->Clear();
  fSourceListData.clear();
  fAppVersionInfo = fAppManufacturer = fAppProductFamily = fAppProductName = "n/a";
  LastError = 0;
  LastErrorStr.clear();
}

void TVXTwainParams::Assign(const TVXTwainParams* Source) {
  if (!Source || Source == this) return;
  fVisibleDialog = Source->fVisibleDialog;
  fShowSettingsOnly = Source->fShowSettingsOnly;
  fCompatibilityMode = Source->fCompatibilityMode;
  fLanguage = Source->fLanguage;
  fCountry = Source->fCountry;
  fSelectedSource = Source->fSelectedSource;
  fSourceListDataValid = Source->fSourceListDataValid;
  fSourceSettings->Clear();
  fSourceSettings->Write(Source->fSourceSettings->Memory(), Source->fSourceSettings->Size());
  fSourceListData.clear();
  for (const auto& id : Source->fSourceListData) fSourceListData.push_back(std::make_unique<TW_IDENTITY>(*id));
  TVXTWSourceCaps& d = fCapabilities;
  const TVXTWSourceCaps& s = Source->fCapabilities;
  d.fXResolution->Assign(s.fXResolution.get());
  d.fYResolution->Assign(s.fYResolution.get());
  d.fXScaling->Assign(s.fXScaling.get());
  d.fYScaling->Assign(s.fYScaling.get());
  d.fPixelType->Assign(s.fPixelType.get());
  d.fBitDepth->Assign(s.fBitDepth.get());
  d.fOrientation->Assign(s.fOrientation.get());
  d.fContrast->Assign(s.fContrast.get());
  d.fBrightness->Assign(s.fBrightness.get());
  d.fStandardSize->Assign(s.fStandardSize.get());
  d.fThreshold->Assign(s.fThreshold.get());
  d.fRotation->Assign(s.fRotation.get());
  d.fGamma = s.fGamma;
  d.fPhysicalHeight = s.fPhysicalHeight;
  d.fPhysicalWidth = s.fPhysicalWidth;
  d.fFeederEnabled = s.fFeederEnabled;
  d.fAutoFeed = s.fAutoFeed;
  d.fAutoDeskew = s.fAutoDeskew;
  d.fAutoBorderDetection = s.fAutoBorderDetection;
  d.fAutoBright = s.fAutoBright;
  d.fAutoRotate = s.fAutoRotate;
  d.fAutoDiscardBlankPages = s.fAutoDiscardBlankPages;
  d.fFilter = s.fFilter;
  d.fHighlight = s.fHighlight;
  d.fShadow = s.fShadow;
  d.fAcceptedImages = s.fAcceptedImages;
  d.fAutoScan = s.fAutoScan;
  d.fDeviceOnline = s.fDeviceOnline;
  d.fDuplexEnabled = s.fDuplexEnabled;
  d.fAcquireFrameEnabled = s.fAcquireFrameEnabled;
  d.fIndicators = s.fIndicators;
  d.fAcquireFrame = s.fAcquireFrame;
  d.fBufferedTransfer = s.fBufferedTransfer;
  d.fUseMemoryHandle = s.fUseMemoryHandle;
  d.fFileTransfer = s.fFileTransfer;
  d.fUndefinedImageSize = s.fUndefinedImageSize;
  fAppVersionInfo = Source->fAppVersionInfo;
  fAppManufacturer = Source->fAppManufacturer;
  fAppProductFamily = Source->fAppProductFamily;
  fAppProductName = Source->fAppProductName;
}

void TVXTwainParams::FreeResources() {
  VXTW_FreeSharedResources(&TwainShared, OwnerWindow());
  TwainShared = TVXTwainShared();
}

bool TVXTwainParams::GetFromScanner() {
  const bool ok = VXTW_ReadCapabilities(this, &fCapabilities, false, OwnerWindow(), &TwainShared);
  fCapabilitiesValid = true;
  return ok;
}

bool TVXTwainParams::Update() {
  const bool ok = VXTW_ReadCapabilities(this, &fCapabilities, true, OwnerWindow(), &TwainShared);
  fCapabilitiesValid = true;
  return ok;
}

void TVXTwainParams::EnsureSourceList() {
  if (fSourceListDataValid) return;
  fSourceListData.clear();
  fSourceListDataValid = VXTW_FillSourceList(fSourceListData, &TwainShared, OwnerWindow());
}

void TVXTwainParams::EnsureCapabilities() {
  if (fCapabilitiesValid) return;
  VXTW_ReadCapabilities(this, &fCapabilities, false, OwnerWindow(), &TwainShared);
  fCapabilitiesValid = true;
}

int32_t TVXTwainParams::SourceCount() {
  EnsureSourceList();
  return int32_t(fSourceListData.size());
}

std::string TVXTwainParams::GetSourceName(int32_t idx) {
  EnsureSourceList();
  if (idx < 0) throw EVXException("List index out of bounds (" + std::to_string(idx) + ")");
  if (size_t(idx) >= fSourceListData.size()) return "";
  return VXTWProductName(*fSourceListData[size_t(idx)]);
}

int32_t TVXTwainParams::SourceNameToIndex(const std::string& sName) {
  EnsureSourceList();
  const std::string target = UpperAZ(sName);
  for (size_t i = 0; i < fSourceListData.size(); ++i)
    if (UpperAZ(VXTWProductName(*fSourceListData[i])) == target) return int32_t(i);
  return -1;
}

void TVXTwainParams::SetSelectedSource(int32_t Value) {
  // The owner's acquisition parameters now serve TWAIN, on every write.
  VXAcquireOwnerSourceSelected(fOwner, vxaTwain);
  if (Value == fSelectedSource) return;
  fSelectedSource = Value;
  fCapabilitiesValid = false;
  EnsureCapabilities();
}

bool TVXTwainParams::SelectSourceByName(const std::string& sn) {
  EnsureSourceList();
  const std::string target = UpperAZ(sn);
  int32_t found = -1;
  for (size_t i = 0; i < fSourceListData.size() && found < 0; ++i)
    if (UpperAZ(VXTrimAnsi(VXTWProductName(*fSourceListData[i]))) == target) found = int32_t(i);
  if (found < 0) {
    size_t best = 0;
    for (size_t i = 0; i < fSourceListData.size(); ++i) {
      const std::string name = UpperAZ(VXTrimAnsi(VXTWProductName(*fSourceListData[i])));
      const size_t n = std::min(name.size(), target.size());
      if (n > best && name.compare(0, n, target, 0, n) == 0) {
        best = n;
        found = int32_t(i);
      }
    }
  }
  if (found < 0) return false;
  if (found != fSelectedSource) SetSelectedSource(found);
  VXAcquireOwnerSourceSelected(fOwner, vxaTwain);
  return true;
}

int32_t TVXTwainParams::GetDefaultSource() {
  std::string def;
  VXTW_GetDefaultSourceName(&TwainShared, OwnerWindow(), def);
  EnsureSourceList();
  if (fSourceListData.empty()) return -1;
  const std::string target = UpperAZ(def);
  for (size_t i = 0; i < fSourceListData.size(); ++i)
    if (UpperAZ(VXTWProductName(*fSourceListData[i]).substr(0, def.size())) == target) return int32_t(i);
  return 0;
}

std::string TVXTwainParams::LogFile() const { return VXTWLogFileName(); }
void TVXTwainParams::SetLogFile(const std::string& Value) { VXTWSetLogFile(Value); }

#define VX_CACHE_READ(Type, Name, Expr) \
  Type TVXTwainParams::Name() {         \
    EnsureCapabilities();               \
    return Expr;                        \
  }

VX_CACHE_READ(TVXDoubleList*, XResolution, fCapabilities.fXResolution.get())
VX_CACHE_READ(TVXDoubleList*, YResolution, fCapabilities.fYResolution.get())
VX_CACHE_READ(TVXDoubleList*, XScaling, fCapabilities.fXScaling.get())
VX_CACHE_READ(TVXDoubleList*, YScaling, fCapabilities.fYScaling.get())
VX_CACHE_READ(TVXDoubleList*, Contrast, fCapabilities.fContrast.get())
VX_CACHE_READ(TVXDoubleList*, Brightness, fCapabilities.fBrightness.get())
VX_CACHE_READ(TVXDoubleList*, Threshold, fCapabilities.fThreshold.get())
VX_CACHE_READ(TVXDoubleList*, Rotation, fCapabilities.fRotation.get())
VX_CACHE_READ(TVXIntegerList*, PixelType, fCapabilities.fPixelType.get())
VX_CACHE_READ(TVXIntegerList*, BitDepth, fCapabilities.fBitDepth.get())
VX_CACHE_READ(TVXIntegerList*, Orientation, fCapabilities.fOrientation.get())
VX_CACHE_READ(TVXIntegerList*, StandardSize, fCapabilities.fStandardSize.get())
VX_CACHE_READ(double, Gamma, fCapabilities.fGamma)
VX_CACHE_READ(double, PhysicalHeight, fCapabilities.fPhysicalHeight)
VX_CACHE_READ(double, PhysicalWidth, fCapabilities.fPhysicalWidth)
VX_CACHE_READ(bool, DeviceOnline, fCapabilities.fDeviceOnline)
VX_CACHE_READ(bool, FeederLoaded, fCapabilities.fFeederLoaded)
VX_CACHE_READ(bool, PaperDetectable, fCapabilities.fPaperDetectable)
VX_CACHE_READ(bool, DuplexSupported, fCapabilities.fDuplexSupported)
VX_CACHE_READ(bool, FeederEnabled, fCapabilities.fFeederEnabled)
VX_CACHE_READ(bool, AutoFeed, fCapabilities.fAutoFeed)
VX_CACHE_READ(bool, AutoDeskew, fCapabilities.fAutoDeskew)
VX_CACHE_READ(bool, AutoBorderDetection, fCapabilities.fAutoBorderDetection)
VX_CACHE_READ(bool, AutoBright, fCapabilities.fAutoBright)
VX_CACHE_READ(bool, AutoRotate, fCapabilities.fAutoRotate)
VX_CACHE_READ(bool, AutoScan, fCapabilities.fAutoScan)
VX_CACHE_READ(bool, DuplexEnabled, fCapabilities.fDuplexEnabled)
VX_CACHE_READ(bool, AcquireFrameEnabled, fCapabilities.fAcquireFrameEnabled)
VX_CACHE_READ(bool, ProgressIndicators, fCapabilities.fIndicators)
VX_CACHE_READ(int32_t, AutoDiscardBlankPages, fCapabilities.fAutoDiscardBlankPages)
VX_CACHE_READ(int32_t, AcceptedImages, fCapabilities.fAcceptedImages)
VX_CACHE_READ(TVXTWFilter, Filter, fCapabilities.fFilter)
VX_CACHE_READ(double, Highlight, fCapabilities.fHighlight)
VX_CACHE_READ(double, Shadow, fCapabilities.fShadow)

#undef VX_CACHE_READ

double TVXTwainParams::AcquireFrame(int32_t Index) {
  EnsureCapabilities();
  const TVXDRect& f = fCapabilities.fAcquireFrame;
  switch (Index) {
    case 0: return f.Left;
    case 1: return f.Top;
    case 2: return f.Right;
    case 3: return f.Bottom;
    default: return 0;
  }
}

void TVXTwainParams::SetAcquireFrame(int32_t Index, double v) {
  TVXDRect& f = fCapabilities.fAcquireFrame;
  switch (Index) {
    case 0: f.Left = v; break;
    case 1: f.Top = v; break;
    case 2: f.Right = v; break;
    case 3: f.Bottom = v; break;
    default: break;
  }
}
