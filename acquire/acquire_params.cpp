// The acquisition front end: sources, raw device strings, selection and
// acquisition (the device parameters are in acquire_device_params.cpp).
#include "acquire/acquire_params.h"

#include <algorithm>
#include <map>
#include <memory>

#include "acquire/acquire_form.h"
#include "acquire/twain_engine.h"
#include "acquire/twain_params.h"
#include "acquire/vxwia.h"
#include "acquire/vxxdcim.h"
#include "acquire/wia_api.h"
#include "core/bitmap.h"
#include "core/sysutils.h"
#include "core/winchores.h"
#include "gui/classes.h"
#include "gui/forms.h"
#include "winui/win_input.h"
#include "winui/win_msgbox.h"

bool operator==(const TVXAcquireSource& A, const TVXAcquireSource& B) {
  return A.Api == B.Api && A.Location == B.Location && A.Name == B.Name && A.DeviceType == B.DeviceType;
}

// ---------------------------------------------------------------------------
// Raw device strings

namespace {

const char* const kApiTokens[] = {"TWN", "WIA", "DCM", "---"};
const char* const kTypeTokens[] = {"---", "SCN", "CAM", "DRV", "DEV"};

bool SameToken(const std::string& A, const char* B) {
  const std::string b(B);
  if (A.size() != b.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char a = A[i];
    if (a >= 'a' && a <= 'z') a = char(a - 32);
    if (a != b[i]) return false;
  }
  return true;
}

[[noreturn]] void InvalidRawString() { throw EVXException("Invalid Raw Device String"); }

// A decimal integer with an optional sign that fits 32 bits; nothing else.
bool ParseLocation(const std::string& Text, int32_t& Value) {
  size_t i = 0;
  bool negative = false;
  if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) negative = Text[i++] == '-';
  if (i >= Text.size()) return false;
  int64_t v = 0;
  for (; i < Text.size(); ++i) {
    if (Text[i] < '0' || Text[i] > '9') return false;
    v = v * 10 + (Text[i] - '0');
    if (v > int64_t(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  Value = int32_t(v);
  return true;
}

}  // namespace

std::string AcquireSourceToRawString(const TVXAcquireSource& Source) {
  const char* api = Source.Api <= vxaNone ? kApiTokens[Source.Api] : "---";
  const char* type = Source.DeviceType <= vxadDevice ? kTypeTokens[Source.DeviceType] : "---";
  return Source.Name + "||" + std::to_string(Source.Location) + "||" + api + "||" + type;
}

bool IsRawDeviceString(const std::string& Text) {
  const size_t L = Text.size();
  return L >= 12 && Text.compare(L - 5, 2, "||") == 0 && Text.compare(L - 10, 2, "||") == 0;
}

TVXAcquireSource RawStringToAcquireSource(const std::string& Text) {
  TVXAcquireSource result;
  if (Text.empty()) return result;
  const size_t L = Text.size();
  // Shorter than ten characters the head is empty and holds no "||".
  const std::string head = L > 10 ? Text.substr(0, L - 10) : std::string();
  const size_t bar = head.find("||");
  if (bar == std::string::npos) InvalidRawString();
  const std::string name = head.substr(0, bar);
  const std::string location = head.substr(bar + 2);
  const std::string typeToken = Text.substr(L - 3);
  const std::string apiToken = Text.substr(L - 8, 3);
  TVXAcquireDeviceType type = vxadUnknown;
  for (int t = vxadScanner; t <= vxadDevice; ++t)
    if (SameToken(typeToken, kTypeTokens[t])) type = TVXAcquireDeviceType(t);
  for (int a = vxaTwain; a <= vxaDCIM; ++a)
    if (SameToken(apiToken, kApiTokens[a])) {
      int32_t index = 0;
      if (!ParseLocation(location, index)) InvalidRawString();
      result.Api = TVXAcquireApi(a);
      result.Location = index;
      result.Name = name;
      result.DeviceType = type;
      break;
    }
  return result;
}

void DrawAcquireSourceItem(TWinControl* Control, const RECT& Rect, const std::string& Text,
                           TCustomImageList* Images, int32_t ScannerIndex, int32_t CameraIndex, int32_t DriveIndex,
                           int32_t DeviceIndex, int32_t UnknownIndex) {
  TVXAcquireSource source;
  try {
    source = RawStringToAcquireSource(Text);
  } catch (const EVXException&) {
    source = TVXAcquireSource();
  }
  int32_t index = -1;
  if (source.Api != vxaNone) switch (source.DeviceType) {
      case vxadScanner: index = ScannerIndex; break;
      case vxadCamera: index = CameraIndex; break;
      case vxadDrive: index = DriveIndex; break;
      case vxadDevice: index = DeviceIndex; break;
      default: index = UnknownIndex; break;
    }
  VXDrawListItemWithImage(Control, Rect, source.Name, index, Images);
}

// ---------------------------------------------------------------------------
// Owners

namespace {

std::vector<std::pair<int, TVXAcquireOwnerLookup>>& Lookups() {
  static std::vector<std::pair<int, TVXAcquireOwnerLookup>> l;
  return l;
}

}  // namespace

TVXAcquireOwnerHooks VXAcquireOwnerHooks;

int TVXAcquireOwnerHooks::Add(TVXAcquireOwnerLookup Lookup) {
  static int next = 1;
  Lookups().emplace_back(next, std::move(Lookup));
  return next++;
}

void TVXAcquireOwnerHooks::Remove(int Key) {
  auto& l = Lookups();
  l.erase(std::remove_if(l.begin(), l.end(), [Key](const auto& p) { return p.first == Key; }), l.end());
}

bool TVXAcquireOwnerHooks::Find(TComponent* Owner, TVXAcquireOwner& Found) const {
  if (!Owner) return false;
  for (const auto& [key, lookup] : Lookups()) {
    TVXAcquireOwner o;
    if (lookup && lookup(Owner, o)) {
      Found = std::move(o);
      return true;
    }
  }
  return false;
}

void VXAcquireOwnerSourceSelected(TComponent* Owner, TVXAcquireApi Api) {
  TVXAcquireOwner o;
  if (VXAcquireOwnerHooks.Find(Owner, o) && o.AcquireParams) o.AcquireParams->SourceSelectedByInterface(Api);
}

// ---------------------------------------------------------------------------
// The parameters

TVXAcquireParams::TVXAcquireParams(TComponent* Owner) : fOwner(Owner) {}

void TVXAcquireParams::AttachOwnerParams(bool IncludeWIA) {
  TVXAcquireOwner o;
  if (VXAcquireOwnerHooks.Find(fOwner, o) && o.InitializeAcquireSource) o.InitializeAcquireSource(IncludeWIA);
}

TVXAcquireApi TVXAcquireParams::SelectedSourceApi() {
  if (fSelectedSourceApi != vxaNone) AttachOwnerParams(fSelectedSourceApi == vxaWIA);
  return fSelectedSourceApi;
}

TVXAcquireSource TVXAcquireParams::GetTwainSource(int32_t Index) {
  TVXAcquireSource s;
  if (!fTwainParams || Index >= fTwainParams->SourceCount()) return s;
  s.Api = vxaTwain;
  s.Location = Index;
  s.Name = fTwainParams->GetSourceName(Index);
  std::string upper = s.Name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = char(c - 32);
  if (upper.find("SCAN") != std::string::npos)
    s.DeviceType = vxadScanner;
  else if (upper.find("CAM") != std::string::npos)
    s.DeviceType = vxadCamera;
  return s;
}

TVXAcquireSource TVXAcquireParams::GetWiaSource(int32_t Index) {
  TVXAcquireSource s;
  if (!fWiaParams || Index >= fWiaParams->DevicesInfoCount()) return s;
  const TVXWiaDeviceInfo* info = fWiaParams->GetDevicesInfo(Index);
  if (!info) return s;
  s.Api = vxaWIA;
  s.Location = Index;
  s.Name = info->Name;
  if (info->DeviceType == vxwScanner)
    s.DeviceType = vxadScanner;
  else if (info->DeviceType == vxwDigitalCamera || info->DeviceType == vxwStreamingVideo)
    s.DeviceType = vxadCamera;
  return s;
}

TVXAcquireSource TVXAcquireParams::GetDcimSource(int32_t Index) {
  TVXAcquireSource s;
  if (!fDcimParams || Index >= fDcimParams->SourceCount()) return s;
  const TVXPortableDevicesSource src = fDcimParams->GetSources(Index);
  s.Api = vxaDCIM;
  s.Location = Index;
  s.Name = src.Name;
  s.DeviceType = src.IsDrive ? vxadDrive : vxadDevice;
  return s;
}

TVXAcquireSource TVXAcquireParams::SelectedSource() {
  switch (SelectedSourceApi()) {
    case vxaTwain: return fTwainParams ? GetTwainSource(fTwainParams->SelectedSource()) : TVXAcquireSource();
    case vxaWIA: return fWiaParams ? GetWiaSource(fWiaParams->ConnectedDeviceIndex()) : TVXAcquireSource();
    case vxaDCIM: return fDcimParams ? GetDcimSource(fDcimParams->SelectedSource()) : TVXAcquireSource();
    default: return TVXAcquireSource();
  }
}

void TVXAcquireParams::FillListWithSources(TStrings* ssDest, TVXAcquireApis Apis, bool bNameOnly) {
  if (Apis == 0) Apis = VXAllAcquireApis;
  AttachOwnerParams(Apis & VXAcquireApiBit(vxaWIA));
  if (!ssDest) return;
  ssDest->BeginUpdate();
  ssDest->Clear();
  if ((Apis & VXAcquireApiBit(vxaTwain)) && fTwainParams)
    for (int32_t i = 0, n = fTwainParams->SourceCount(); i < n; ++i) {
      const TVXAcquireSource s = GetTwainSource(i);
      ssDest->Add(bNameOnly ? s.Name : AcquireSourceToRawString(s));
    }
  if ((Apis & VXAcquireApiBit(vxaWIA)) && fWiaParams)
    for (int32_t i = 0, n = fWiaParams->DevicesInfoCount(); i < n; ++i) {
      const TVXAcquireSource s = GetWiaSource(i);
      ssDest->Add(bNameOnly ? s.Name : AcquireSourceToRawString(s));
    }
  if ((Apis & VXAcquireApiBit(vxaDCIM)) && fDcimParams)
    for (int32_t i = 0, n = fDcimParams->SourceCount(); i < n; ++i) {
      const TVXAcquireSource s = GetDcimSource(i);
      ssDest->Add(bNameOnly ? s.Name : AcquireSourceToRawString(s));
    }
  // One interface keeps its own order; a mixture (or the camera folders) is
  // sorted in a standalone list. A control's items never sort.
  if (Apis != VXAcquireApiBit(vxaTwain) && Apis != VXAcquireApiBit(vxaWIA))
    if (auto* list = dynamic_cast<TStringList*>(ssDest)) list->Sort();
  ssDest->EndUpdate();
}

TVXAcquireSource TVXAcquireParams::FindSourceByName(const std::string& sName) {
  if (IsRawDeviceString(sName)) return RawStringToAcquireSource(sName);
  if (sName.empty()) return TVXAcquireSource();
  AttachOwnerParams(false);
  if (fTwainParams) {
    const int32_t i = fTwainParams->SourceNameToIndex(sName);
    if (i > -1) return GetTwainSource(i);
  }
  AttachOwnerParams(true);
  if (fWiaParams) {
    const int32_t i = fWiaParams->SourceNameToIndex(sName);
    if (i > -1) return GetWiaSource(i);
  }
  if (fDcimParams) {
    const int32_t i = fDcimParams->SourceNameToIndex(sName);
    if (i > -1) return GetDcimSource(i);
  }
  return TVXAcquireSource();
}

bool TVXAcquireParams::SetSource(TVXAcquireApi Api, const TVXVariant& Location) {
  AttachOwnerParams(Api == vxaWIA);
  const bool hasIndex = Location.VarType() == vxvInteger;
  const bool hasName = Location.VarType() == vxvString || Location.VarType() == vxvUString;
  const int32_t index = hasIndex ? Location.AsInteger() : 0;
  const std::string name = hasName ? Location.AsString() : std::string();
  bool result = false;
  switch (Api) {
    case vxaTwain:
      if (fTwainParams) {
        if (hasName) {
          result = fTwainParams->SelectSourceByName(name);
        } else {
          const int32_t i = hasIndex ? index : fTwainParams->GetDefaultSource();
          if (i >= 0) try {
              fTwainParams->SetSelectedSource(i);
              result = true;
            } catch (const std::exception&) {
              result = false;
            }
        }
      }
      fSelectedSourceApi = vxaTwain;
      return result;
    case vxaWIA:
      if (fWiaParams) result = hasName ? fWiaParams->ConnectTo(name) : fWiaParams->ConnectTo(index);
      fSelectedSourceApi = vxaWIA;
      return result;
    case vxaDCIM: {
      if (!fDcimParams) return false;
      const int32_t i = hasName ? fDcimParams->SourceNameToIndex(name) : index;
      if (hasName && i < 0) return false;
      fDcimParams->SetSelectedSource(i);
      fSelectedSourceApi = vxaDCIM;
      return true;
    }
    default:
      fSelectedSourceApi = vxaNone;
      return false;
  }
}

bool TVXAcquireParams::SetSourceByStr(const std::string& sRawDeviceStr) {
  TVXAcquireSource s;
  try {
    s = RawStringToAcquireSource(sRawDeviceStr);
  } catch (const EVXException&) {
    s = FindSourceByName(sRawDeviceStr);
  }
  return SetSource(s.Api, TVXVariant(int32_t(s.Location)));
}

bool TVXAcquireParams::SelectSource(TVXAcquireApis Apis) {
  if (Apis == 0) Apis = VXAllAcquireApis;
  AttachOwnerParams(Apis & VXAcquireApiBit(vxaWIA));
  if (Apis == VXAcquireApiBit(vxaTwain)) {
    if (!fTwainParams) return false;
    std::string name;
    const bool ok = VXTW_SelectSource(name, &fTwainParams->TwainShared, VXOwnerWindowHandle(fOwner));
    fTwainParams->SelectSourceByName(name);
    if (ok) fSelectedSourceApi = vxaTwain;
    return ok;
  }
  if (Apis == VXAcquireApiBit(vxaWIA)) {
    if (!fWiaParams || !fWiaParams->ConnectToUsingDialog()) return false;
    fSelectedSourceApi = vxaWIA;
    return true;
  }
  auto form = std::make_unique<TvxxAcquireForm>(nullptr);
  FillListWithSources(form->lbxSources->Items(), Apis, false);
  form->SetSelectedSource(AcquireSourceToRawString(SelectedSource()));
  if (form->lbxSources->Items()->Count() == 0) {
    // Without an owner window the box stands at the centre of the screen.
    MessageBoxW(nullptr, "No acquisition devices could be located on your computer.", "Error",
                MB_OK | MB_ICONERROR);
    return false;
  }
  if (form->ShowModal() != mrOk) return false;
  return SetSourceByStr(form->SelectedSource());
}

bool TVXAcquireParams::Acquire(TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamVals,
                               const TVXProgressEvent& OnProgress, bool bNativePixelFormat) {
  return InternalAcquire(false, DestBitmap, DestIOParamVals, {}, OnProgress, bNativePixelFormat);
}

bool TVXAcquireParams::Acquire(const TVXMultiCallBack& OnGetImage, const TVXProgressEvent& OnProgress,
                               bool bNativePixelFormat) {
  return InternalAcquire(true, nullptr, nullptr, OnGetImage, OnProgress, bNativePixelFormat);
}

bool TVXAcquireParams::InternalAcquire(bool MultiPage, TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamVals,
                                       const TVXMultiCallBack& OnGetImage, const TVXProgressEvent& OnProgress,
                                       bool bNativePixelFormat) {
  fAborting = false;
  AttachOwnerParams(fSelectedSourceApi == vxaWIA);
  switch (fSelectedSourceApi) {
    case vxaTwain: {
      if (!fTwainParams) return false;
      TProgressRec progress;
      progress.fOnProgress = OnProgress;
      progress.Sender = fOwner;
      progress.Aborting = &fAborting;
      if (!MultiPage) {
        fTwainParams->LastError = 0;
        fTwainParams->LastErrorStr.clear();
      }
      const HWND owner = VXOwnerWindowHandle(fOwner);
      const bool result = VXTW_Acquire(DestBitmap, MultiPage, fTwainParams, OnGetImage, DestIOParamVals, &progress,
                                       &fTwainParams->TwainShared, owner, bNativePixelFormat);
      if (owner) SetFocus(owner);
      return result;
    }
    case vxaWIA: {
      if (!fWiaParams) return false;
      if (fWIAVisibleDialog && !fWiaParams->ShowAcquireDialog(true)) return false;
      std::unique_ptr<TVXBitmap> scratch;
      if (!DestBitmap) scratch = std::make_unique<TVXBitmap>();
      fWiaParams->ProcessingBitmap = DestBitmap ? DestBitmap : scratch.get();
      if (OnGetImage) fWiaParams->SetOnGetPage(OnGetImage);
      if (MultiPage) {
        fWiaParams->SetDeviceProperty(WIA_DPS_DOCUMENT_HANDLING_SELECT, fDuplex ? FEEDER | DUPLEX : FEEDER);
        fWiaParams->SetDeviceProperty(WIA_DPS_PAGES, 0);
      }
      bool result = false;
      try {
        result = fWiaParams->Transfer(nullptr, MultiPage);
      } catch (...) {
        if (scratch) fWiaParams->ProcessingBitmap = nullptr;
        throw;
      }
      if (scratch) fWiaParams->ProcessingBitmap = nullptr;
      return result;
    }
    case vxaDCIM:
      if (!fDcimParams) return false;
      return fDcimParams->AcquireEx(MultiPage, DestBitmap, DestIOParamVals, OnGetImage, "", false, OnProgress);
    default:
      return false;
  }
}
