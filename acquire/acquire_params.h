// TVXAcquireParams: one acquisition front end over the three interfaces that
// serve scanners and cameras: TWAIN (TVXTwainParams), the image-acquisition
// device manager (TVXWia) and the camera folders of portable devices
// (TVXDcimAcquire). It lists the sources of all three as one list, names a
// source in a raw device string ("name||location||API||TYP") that an
// application can store and give back, lets the user pick a source, and
// hands an acquisition and the device parameters (resolution, pixel type,
// feeder, duplex, frame, orientation, tone) to the interface of the selected
// source.
//
// The interface objects belong to the owner (an I/O component); this object
// reaches them through the owner's lookup (VXAcquireOwnerHooks), which
// attaches them on demand.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "acquire/multicallback.h"
#include "core/variant.h"
#include "core/vxdefs.h"
#include "winui/win_types.h"

class TComponent;
class TStrings;
class TWinControl;
class TCustomImageList;
class TVXBitmap;
class TIOParamsVals;
class TVXTwainParams;
class TVXDcimAcquire;
class TVXWia;
class TVXAcquireParams;

enum TVXAcquireApi : uint8_t { vxaTwain, vxaWIA, vxaDCIM, vxaNone };
// A set of interfaces: bit (1 << api). The empty set stands for all three.
using TVXAcquireApis = uint8_t;
constexpr TVXAcquireApis VXAcquireApiBit(TVXAcquireApi Api) { return TVXAcquireApis(1u << unsigned(Api)); }
constexpr TVXAcquireApis VXAllAcquireApis =
    VXAcquireApiBit(vxaTwain) | VXAcquireApiBit(vxaWIA) | VXAcquireApiBit(vxaDCIM);

enum TVXAcquireDeviceType : uint8_t { vxadUnknown, vxadScanner, vxadCamera, vxadDrive, vxadDevice };

// One source of one interface; the empty source (nothing found) is
// vxaNone, -1, "", vxadUnknown.
struct TVXAcquireSource {
  TVXAcquireApi Api = vxaNone;
  int32_t Location = -1;  // the index in the interface's own list
  std::string Name;
  TVXAcquireDeviceType DeviceType = vxadUnknown;
};

bool operator==(const TVXAcquireSource& A, const TVXAcquireSource& B);

enum TVXAcquirePixelType : uint8_t {
  vxapMonochrome,
  vxap8BitGrayScale,
  vxap16BitGrayScale,
  vxapFullColor,
  vxapFullColor16,
  vxapOther
};
enum TVXAcquireOrientation : uint8_t { vxaoPortrait, vxaoLandscape, vxaoRotate90, vxaoRotate180 };
enum TVXAcquireRotation : uint8_t { vxarNone, vxar90CW, vxar180CW, vxar270CW };

// ---- raw device strings ----

// Name, location, interface token ("TWN", "WIA", "DCM", "---") and device
// type token ("SCN", "CAM", "DRV", "DEV", "---") joined by "||".
std::string AcquireSourceToRawString(const TVXAcquireSource& Source);
// The source a raw device string names. An empty text, or one whose
// interface token is none of the three, gives the empty source. Raises
// EVXException "Invalid Raw Device String" when the head has no "||" or the
// location is not an integer.
TVXAcquireSource RawStringToAcquireSource(const std::string& Text);
// At least 12 characters, with "||" 5 and 10 characters before the end.
bool IsRawDeviceString(const std::string& Text);
// Draws one list line whose text is a raw device string: the source's name
// with the picture of its device type (indices for a scanner, camera,
// drive, device and unknown type); a text that does not decode is drawn as
// the empty source, without a picture.
void DrawAcquireSourceItem(TWinControl* Control, const RECT& Rect, const std::string& Text,
                           TCustomImageList* Images, int32_t ScannerIndex, int32_t CameraIndex, int32_t DriveIndex,
                           int32_t DeviceIndex, int32_t UnknownIndex);

// ---- owners ----

// What an owner offers: its acquisition parameters and the step that
// attaches its interface objects to them (its TWAIN parameters and camera
// folders; with IncludeWIA also its WIA client, made on first use).
struct TVXAcquireOwner {
  TVXAcquireParams* AcquireParams = nullptr;
  std::function<void(bool IncludeWIA)> InitializeAcquireSource;
};
// Answers whether Owner is a component it knows, filling Found.
using TVXAcquireOwnerLookup = std::function<bool(TComponent* Owner, TVXAcquireOwner& Found)>;

// The owners that the acquisition front end recognises. The I/O components
// add their lookup at start-up; every other owner gets nothing.
struct TVXAcquireOwnerHooks {
  // Adds a lookup (asked after those added before); answers its key.
  int Add(TVXAcquireOwnerLookup Lookup);
  void Remove(int Key);
  // The first lookup that knows Owner; false for none (or a null owner).
  bool Find(TComponent* Owner, TVXAcquireOwner& Found) const;
};
extern TVXAcquireOwnerHooks VXAcquireOwnerHooks;

// An interface object of Owner selected one of its sources directly: the
// owner's acquisition parameters now serve that interface (nothing for an
// owner that is not known).
void VXAcquireOwnerSourceSelected(TComponent* Owner, TVXAcquireApi Api);

// ---- the parameters ----

class TVXAcquireParams {
 public:
  explicit TVXAcquireParams(TComponent* Owner);
  ~TVXAcquireParams() = default;
  TVXAcquireParams(const TVXAcquireParams&) = delete;
  TVXAcquireParams& operator=(const TVXAcquireParams&) = delete;

  // The user picks a source among Apis (empty: all three): TWAIN alone runs
  // the source manager's dialog, WIA alone the device dialog, anything else
  // our own list (TvxxAcquireForm). True when a source was chosen and
  // selected.
  bool SelectSource(TVXAcquireApis Apis);
  // Selects by interface and location: a 32-bit integer is an index, an
  // 8-bit or UTF-16 string a name; any other variant asks for the default.
  bool SetSource(TVXAcquireApi Api, const TVXVariant& Location);
  // Selects what a raw device string or a plain name designates.
  bool SetSourceByStr(const std::string& sRawDeviceStr);
  // The sources of Apis (empty: all three) as raw device strings or plain
  // names. Mixtures (and camera folders alone) are sorted in a standalone
  // string list; a control's items keep the interfaces' order.
  void FillListWithSources(TStrings* ssDest, TVXAcquireApis Apis, bool bNameOnly);
  // The source a raw device string or a plain name designates (TWAIN, then
  // WIA, then camera folders); the empty source when none.
  TVXAcquireSource FindSourceByName(const std::string& sName);
  // One image into DestBitmap, its parameters into DestIOParamVals.
  bool Acquire(TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamVals, const TVXProgressEvent& OnProgress,
               bool bNativePixelFormat);
  // Any number of images, each handed to OnGetImage.
  bool Acquire(const TVXMultiCallBack& OnGetImage, const TVXProgressEvent& OnProgress, bool bNativePixelFormat);

  TVXAcquireSource SelectedSource();
  // Reading attaches the owner's interface objects (unless vxaNone).
  TVXAcquireApi SelectedSourceApi();

  TVXTwainParams* AttachedTwainParams() const { return fTwainParams; }
  void SetAttachedTwainParams(TVXTwainParams* v) { fTwainParams = v; }
  TVXDcimAcquire* AttachedDCIMParams() const { return fDcimParams; }
  void SetAttachedDCIMParams(TVXDcimAcquire* v) { fDcimParams = v; }
  TVXWia* AttachedWIAParams() const { return fWiaParams; }
  void SetAttachedWIAParams(TVXWia* v) { fWiaParams = v; }
  bool Aborting() const { return fAborting; }
  void SetAborting(bool v) { fAborting = v; }
  TComponent* Owner() const { return fOwner; }

  // ---- device parameters of the selected source ----
  bool VisibleDialog();
  void SetVisibleDialog(bool v);
  double XResolution();
  void SetXResolution(double v);
  double YResolution();
  void SetYResolution(double v);
  TVXAcquirePixelType PixelType();
  void SetPixelType(TVXAcquirePixelType v);
  int32_t BitDepth();
  void SetBitDepth(int32_t v);
  double PhysicalHeight();
  double PhysicalWidth();
  int32_t PhysicalHeightPixels();
  int32_t PhysicalWidthPixels();
  bool FeederEnabled();
  void SetFeederEnabled(bool v);
  bool AutoFeed();
  void SetAutoFeed(bool v);
  bool FeederLoaded();
  bool PaperDetectable();
  TVXAcquireOrientation Orientation();
  void SetOrientation(TVXAcquireOrientation v);
  double AcquireFrameLeft();
  void SetAcquireFrameLeft(double v);
  double AcquireFrameTop();
  void SetAcquireFrameTop(double v);
  double AcquireFrameRight();
  void SetAcquireFrameRight(double v);
  double AcquireFrameBottom();
  void SetAcquireFrameBottom(double v);
  bool DuplexEnabled();
  void SetDuplexEnabled(bool v);
  bool DuplexSupported();
  bool AcquireFrameEnabled();
  void SetAcquireFrameEnabled(bool v);
  double Contrast();
  void SetContrast(double v);
  double Brightness();
  void SetBrightness(double v);
  double Threshold();
  void SetThreshold(double v);
  TVXAcquireRotation Rotation();
  void SetRotation(TVXAcquireRotation v);

  // Used by the interface objects when one of their sources is selected
  // directly (VXAcquireOwnerSourceSelected): the interface now served,
  // without attaching anything.
  void SourceSelectedByInterface(TVXAcquireApi Api) { fSelectedSourceApi = Api; }

 private:
  void AttachOwnerParams(bool IncludeWIA);
  bool InternalAcquire(bool MultiPage, TVXBitmap* DestBitmap, TIOParamsVals* DestIOParamVals,
                       const TVXMultiCallBack& OnGetImage, const TVXProgressEvent& OnProgress, bool bNativePixelFormat);
  TVXAcquireSource GetTwainSource(int32_t Index);
  TVXAcquireSource GetWiaSource(int32_t Index);
  TVXAcquireSource GetDcimSource(int32_t Index);
  // The interface object of the selected source, or null (camera folders,
  // none, or an owner that gave none). TwainOfSource reads
  // SelectedSourceApi, which attaches; WiaOfSource is asked after it.
  TVXTwainParams* TwainOfSource();
  TVXWia* WiaOfSource();
  // WIA access of the device parameters.
  double WiaItemNumber(uint32_t PropId);
  void SetWiaItemNumber(uint32_t PropId, double v);
  int32_t WiaDeviceInt(uint32_t PropId);
  bool WiaDeviceFlag(uint32_t PropId, int32_t Flag);
  void SetWiaDeviceFlag(uint32_t PropId, int32_t Flag, bool Value);
  double WiaFrame(int Edge);
  void SetWiaFrame(int Edge, double v);

  TComponent* fOwner;
  TVXTwainParams* fTwainParams = nullptr;
  TVXDcimAcquire* fDcimParams = nullptr;
  bool fDuplex = false;
  TVXWia* fWiaParams = nullptr;
  bool fWIAVisibleDialog = true;
  bool fAborting = false;
  TVXAcquireApi fSelectedSourceApi = vxaTwain;
};
