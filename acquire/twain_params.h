// TVXTwainParams: the TWAIN face of an image I/O component. What the library
// wants from a scanner, a cache of what the selected source reports (filled
// on first read), the installed sources and the selected one, the
// application identity, the source's private settings, the last error and
// the source-manager state shared by this object's operations.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquire/twain_engine.h"
#include "core/containers.h"

class TComponent;
class TMemoryStream;

struct TVXDRect {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

enum TVXTWFilter : uint8_t {
  vxtwUndefined,
  vxtwRed,
  vxtwGreen,
  vxtwBlue,
  vxtwNone,
  vxtwWhite,
  vxtwCyan,
  vxtwMagenta,
  vxtwYellow,
  vxtwBlack
};

struct TVXTWSourceCaps {
  std::unique_ptr<TVXDoubleList> fXResolution, fYResolution;
  std::unique_ptr<TVXDoubleList> fXScaling, fYScaling;
  std::unique_ptr<TVXIntegerList> fPixelType;
  std::unique_ptr<TVXIntegerList> fBitDepth;
  double fGamma = 2.2;
  double fPhysicalHeight = 0, fPhysicalWidth = 0;
  bool fFeederEnabled = false;
  std::unique_ptr<TVXIntegerList> fOrientation;
  bool fIndicators = true;
  TVXDRect fAcquireFrame{};
  bool fBufferedTransfer = true;
  bool fUseMemoryHandle = true;
  bool fFileTransfer = false;
  bool fDuplexEnabled = false;
  bool fAcquireFrameEnabled = false;
  bool fFeederLoaded = false;
  bool fDuplexSupported = false;
  bool fPaperDetectable = false;
  std::unique_ptr<TVXDoubleList> fContrast, fBrightness, fThreshold, fRotation;
  bool fUndefinedImageSize = false;
  std::unique_ptr<TVXIntegerList> fStandardSize;
  bool fAutoFeed = false;
  bool fAutoDeskew = false, fAutoBorderDetection = false, fAutoBright = false, fAutoRotate = false;
  int32_t fAutoDiscardBlankPages = -2;
  TVXTWFilter fFilter = vxtwUndefined;
  double fHighlight = -1.0, fShadow = -1.0;
  int32_t fAcceptedImages = -2;
  bool fAutoScan = false;
  bool fDeviceOnline = false;
};

class TVXTwainParams {
public:
  explicit TVXTwainParams(TComponent* Owner);
  ~TVXTwainParams();
  TVXTwainParams(const TVXTwainParams&) = delete;
  TVXTwainParams& operator=(const TVXTwainParams&) = delete;

  void SetDefaultParams();
  void Assign(const TVXTwainParams* Source);
  void FreeResources();
  bool GetFromScanner();
  bool Update();
  std::string GetSourceName(int32_t idx);
  int32_t SourceNameToIndex(const std::string& sName);
  bool SelectSourceByName(const std::string& sn);
  int32_t GetDefaultSource();

  // Switches and identity.
  bool VisibleDialog() const { return fVisibleDialog; }
  void SetVisibleDialog(bool v) { fVisibleDialog = v; }
  bool ShowSettingsOnly() const { return fShowSettingsOnly; }
  void SetShowSettingsOnly(bool v) { fShowSettingsOnly = v; }
  bool CompatibilityMode() const { return fCompatibilityMode; }
  void SetCompatibilityMode(bool v) { fCompatibilityMode = v; }
  uint16_t Language() const { return fLanguage; }
  void SetLanguage(uint16_t v) { fLanguage = v; }
  uint16_t Country() const { return fCountry; }
  void SetCountry(uint16_t v) { fCountry = v; }
  const std::string& AppVersionInfo() const { return fAppVersionInfo; }
  void SetAppVersionInfo(const std::string& v) { fAppVersionInfo = v.substr(0, 32); }
  const std::string& AppManufacturer() const { return fAppManufacturer; }
  void SetAppManufacturer(const std::string& v) { fAppManufacturer = v.substr(0, 32); }
  const std::string& AppProductFamily() const { return fAppProductFamily; }
  void SetAppProductFamily(const std::string& v) { fAppProductFamily = v.substr(0, 32); }
  const std::string& AppProductName() const { return fAppProductName; }
  void SetAppProductName(const std::string& v) { fAppProductName = v.substr(0, 32); }

  // The source list.
  int32_t SourceCount();
  int32_t SelectedSource() const { return fSelectedSource; }
  void SetSelectedSource(int32_t Value);
  TMemoryStream* SourceSettings() const { return fSourceSettings.get(); }
  bool CapabilitiesValid() const { return fCapabilitiesValid; }

  // The cache lists (filled on first read).
  TVXDoubleList* XResolution();
  TVXDoubleList* YResolution();
  TVXDoubleList* XScaling();
  TVXDoubleList* YScaling();
  TVXDoubleList* Contrast();
  TVXDoubleList* Brightness();
  TVXDoubleList* Threshold();
  TVXDoubleList* Rotation();
  TVXIntegerList* PixelType();
  TVXIntegerList* BitDepth();
  TVXIntegerList* Orientation();
  TVXIntegerList* StandardSize();

  // What the source reports (filled on first read).
  double Gamma();
  double PhysicalHeight();
  double PhysicalWidth();
  bool DeviceOnline();
  bool FeederLoaded();
  bool PaperDetectable();
  bool DuplexSupported();

  // Wishes (a read fills the cache first).
  bool FeederEnabled();
  void SetFeederEnabled(bool v) { fCapabilities.fFeederEnabled = v; }
  bool AutoFeed();
  void SetAutoFeed(bool v) { fCapabilities.fAutoFeed = v; }
  bool AutoDeskew();
  void SetAutoDeskew(bool v) { fCapabilities.fAutoDeskew = v; }
  bool AutoBorderDetection();
  void SetAutoBorderDetection(bool v) { fCapabilities.fAutoBorderDetection = v; }
  bool AutoBright();
  void SetAutoBright(bool v) { fCapabilities.fAutoBright = v; }
  bool AutoRotate();
  void SetAutoRotate(bool v) { fCapabilities.fAutoRotate = v; }
  bool AutoScan();
  void SetAutoScan(bool v) { fCapabilities.fAutoScan = v; }
  bool DuplexEnabled();
  void SetDuplexEnabled(bool v) { fCapabilities.fDuplexEnabled = v; }
  bool AcquireFrameEnabled();
  void SetAcquireFrameEnabled(bool v) { fCapabilities.fAcquireFrameEnabled = v; }
  bool ProgressIndicators();
  void SetProgressIndicators(bool v) { fCapabilities.fIndicators = v; }
  int32_t AutoDiscardBlankPages();
  void SetAutoDiscardBlankPages(int32_t v) { fCapabilities.fAutoDiscardBlankPages = v; }
  int32_t AcceptedImages();
  void SetAcceptedImages(int32_t v) { fCapabilities.fAcceptedImages = v; }
  TVXTWFilter Filter();
  void SetFilter(TVXTWFilter v) { fCapabilities.fFilter = v; }
  double Highlight();
  void SetHighlight(double v) { fCapabilities.fHighlight = v; }
  double Shadow();
  void SetShadow(double v) { fCapabilities.fShadow = v; }
  // Edges 0 to 3 of the frame (left, top, right, bottom); another index
  // reads 0 and writes nothing.
  double AcquireFrame(int32_t Index);
  void SetAcquireFrame(int32_t Index, double v);
  double AcquireFrameLeft() { return AcquireFrame(0); }
  double AcquireFrameTop() { return AcquireFrame(1); }
  double AcquireFrameRight() { return AcquireFrame(2); }
  double AcquireFrameBottom() { return AcquireFrame(3); }
  void SetAcquireFrameLeft(double v) { SetAcquireFrame(0, v); }
  void SetAcquireFrameTop(double v) { SetAcquireFrame(1, v); }
  void SetAcquireFrameRight(double v) { SetAcquireFrame(2, v); }
  void SetAcquireFrameBottom(double v) { SetAcquireFrame(3, v); }

  // Fields without a cache fill.
  bool UndefinedImageSize() const { return fCapabilities.fUndefinedImageSize; }
  void SetUndefinedImageSize(bool v) { fCapabilities.fUndefinedImageSize = v; }
  bool BufferedTransfer() const { return fCapabilities.fBufferedTransfer; }
  void SetBufferedTransfer(bool v) { fCapabilities.fBufferedTransfer = v; }
  bool UseMemoryHandle() const { return fCapabilities.fUseMemoryHandle; }
  void SetUseMemoryHandle(bool v) { fCapabilities.fUseMemoryHandle = v; }
  bool FileTransfer() const { return fCapabilities.fFileTransfer; }
  void SetFileTransfer(bool v) { fCapabilities.fFileTransfer = v; }

  // The process-wide TWAIN log (see VXTWSetLogFile).
  std::string LogFile() const;
  void SetLogFile(const std::string& Value);

  // The owner's window: the parent of every TWAIN operation.
  HWND OwnerWindow() const;
  TComponent* Owner() const { return fOwner; }

  // Engine access.
  TVXTWSourceCaps& Capabilities() { return fCapabilities; }
  const std::vector<std::unique_ptr<TW_IDENTITY>>& SourceListData() const { return fSourceListData; }
  bool SourceListDataValid() const { return fSourceListDataValid; }

  TVXTwainShared TwainShared;
  int32_t LastError = 0;
  std::string LastErrorStr;

private:
  void EnsureSourceList();
  void EnsureCapabilities();

  TComponent* fOwner;
  bool fVisibleDialog = true;
  bool fShowSettingsOnly = false;
  std::vector<std::unique_ptr<TW_IDENTITY>> fSourceListData;
  int32_t fSelectedSource = 0;
  bool fSourceListDataValid = false;
  bool fCapabilitiesValid = false;
  TVXTWSourceCaps fCapabilities;
  std::string fAppVersionInfo, fAppManufacturer, fAppProductFamily, fAppProductName;
  bool fCompatibilityMode = false;
  uint16_t fLanguage = TWLG_USERLOCALE;
  uint16_t fCountry = TWCY_USA;
  std::unique_ptr<TMemoryStream> fSourceSettings;
};
