// TVexlaneMIO: the multi-frame I/O component of a thumbnail viewer. Beside
// the viewer's images it keeps one I/O parameter object per image, so that
// what a reader learned about a frame travels with that image; the list
// follows every insert, delete, move, swap and group move of the viewer
// through its bitmap-change callback. It also holds the shared conventions of
// the multi-frame loads and saves: progress per frame, the abort flag, the
// insertion position, the resolution fix-up and square pixels.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"
#include "gui/component.h"
#include "io/dialog_hooks.h"

class TFont;
class TIOParamsVals;
class TVXBitmap;
class TVXView;
class TVexlaneMView;
class TIOPrintPreviewParams;
// Acquisition objects, made by the acquisition layer.
class TVXAcquireParams;
class TVXTwainParams;
class TVXWia;
class TVXDcimAcquire;

// Image-index codes for groups of images.
constexpr int32_t VXM_ALL_IMAGES = -7;
constexpr int32_t VXM_SELECTED_IMAGES = -9;

class TVexlaneMIO : public TComponent {
 public:
  using TNotifyEvent = std::function<void(void* Sender)>;
  using TVXAcquireBitmapEvent =
      std::function<void(void* Sender, TVXBitmap* ABitmap, int32_t DpiX, int32_t DpiY, bool& Handled)>;
  using TVXAfterAcquireBitmapEvent = std::function<void(void* Sender, int32_t index)>;
  using TVXDoPreviewsEvent = std::function<void(void* Sender, bool& Handled)>;

  explicit TVexlaneMIO(TComponent* Owner = nullptr);
  ~TVexlaneMIO() override;
  TVexlaneMIO(const TVexlaneMIO&) = delete;
  TVexlaneMIO& operator=(const TVexlaneMIO&) = delete;

  // ---- attachment ----
  TVexlaneMView* AttachedMView() const { return fVexlaneMView; }
  // Only a thumbnail viewer: another viewer raises EVXException "Invalid
  // class typecast" and leaves the component as it was. Parameter objects
  // are added until there are as many as the viewer has images; surplus ones
  // stay.
  void SetAttachedMView(TVXView* Value);

  // ---- parameter list ----
  // nullptr outside 0 .. ParamsCount() - 1.
  TIOParamsVals* GetParams(int32_t idx) const;
  int32_t ParamsCount() const { return int32_t(fParams.size()); }
  // Image 0's compression options copied into every other image's.
  void DuplicateCompressionInfo();
  // The viewer's Update, then its ImageChange.
  void Update();

  // ---- progress and aborting ----
  bool Aborting() const { return fAborting; }
  void SetAborting(bool Value);
  // OnProgress with 100, then OnFinishWork.
  virtual void DoFinishWork();
  virtual void DoAcquireBitmap(TVXBitmap* ABitmap, int32_t DpiX, int32_t DpiY, bool& Handled);
  virtual void DoAcquireClose();
  // The progress of frame i (from 0) of n, after it is done: trunc(i x (100 /
  // n)).
  void DoFrameProgress(int32_t i, int32_t n);
  // Where a load inserts its first frame: the selected image, else the end.
  int32_t InsertionIndex() const;
  // A resolution below 2 in Params becomes the settings' default.
  static void FixResolution(TIOParamsVals& Params);
  // With AutoAdjustDPI, Bitmap is made square-pixelled by Params' resolution
  // (FilteredAdjustDPI: resampled with a filter), Params following it.
  void AdjustSquarePixels(TVXBitmap* Bitmap, TIOParamsVals& Params);
  const std::string& LoadingFileName() const { return fLoadingFileName; }
  const std::string& LastFilename() const { return fLastFilename; }
  // Marks the start and the end of a load of FileName.
  void BeginFileLoad(const std::string& FileName);
  void EndFileLoad();

  // ---- properties ----
  bool SimplifiedParamsDialogs() const { return fSimplifiedParamsDialogs; }
  void SetSimplifiedParamsDialogs(bool Value) { fSimplifiedParamsDialogs = Value; }
  TIOPreviewsParams PreviewsParams() const { return fPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { fPreviewsParams = Value; }
  TFont* PreviewFont() const { return fPreviewFont.get(); }
  bool PreviewFontEnabled() const { return fPreviewFontEnabled; }
  void SetPreviewFontEnabled(bool Value) { fPreviewFontEnabled = Value; }
  bool AutoAdjustDPI() const { return fAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { fAutoAdjustDPI = Value; }
  bool FilteredAdjustDPI() const { return fFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { fFilteredAdjustDPI = Value; }
  TVXDitherMethod DefaultDitherMethod() const { return fDefaultDitherMethod; }
  void SetDefaultDitherMethod(TVXDitherMethod Value) { fDefaultDitherMethod = Value; }
  bool ResetPrinter() const { return fResetPrinter; }
  void SetResetPrinter(bool Value) { fResetPrinter = Value; }
  TVXDialogsMeasureUnit DialogsMeasureUnit() const { return fDialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TVXDialogsMeasureUnit Value) { fDialogsMeasureUnit = Value; }
  bool NativePixelFormat() const { return fNativePixelFormat; }
  void SetNativePixelFormat(bool Value) { fNativePixelFormat = Value; }
  TResampleFilter PrintingFilterOnSubsampling() const { return fPrintingFilterOnSubsampling; }
  void SetPrintingFilterOnSubsampling(TResampleFilter Value) { fPrintingFilterOnSubsampling = Value; }
  bool AllowMalformedPages() const { return fAllowMalformedPages; }
  void SetAllowMalformedPages(bool Value) { fAllowMalformedPages = Value; }
  int32_t TwainNextToInsert() const { return fTwainNextToInsert; }
  const std::string& ProxyAddress() const { return fProxyAddress; }
  void SetProxyAddress(const std::string& Value) { fProxyAddress = Value; }
  const std::string& ProxyUser() const { return fProxyUser; }
  void SetProxyUser(const std::string& Value) { fProxyUser = Value; }
  const std::string& ProxyPassword() const { return fProxyPassword; }
  void SetProxyPassword(const std::string& Value) { fProxyPassword = Value; }
  std::string VexlaneVersion() const { return "6.0.0"; }
  void SetVexlaneVersion(const std::string&) {}
  TIOPrintPreviewParams* PrintPreviewParams() const { return fPrintPreviewParams.get(); }
  // The acquisition objects (nullptr until the acquisition layer makes them).
  TVXAcquireParams* AcquireParams() const { return fAcquireParams; }
  TVXTwainParams* TwainParams() const { return fTwainParams; }
  TVXDcimAcquire* DCIMParams() const { return fDCIMParams; }
  virtual TVXWia* GetWIAParams() { return fWIA; }

  // ---- events ----
  TVXProgressEvent OnProgress;
  TVXAcquireBitmapEvent OnAcquireBitmap;
  TNotifyEvent OnAcquireClose;
  TVXAfterAcquireBitmapEvent OnAfterAcquireBitmap;
  TNotifyEvent OnFinishWork;
  TVXDoPreviewsEvent OnDoPreviews;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void BitmapChange(bool Destroying);
  void InsertParams(int32_t idx);
  void Detach();

  TVexlaneMView* fVexlaneMView = nullptr;
  void* fVexlaneMViewBitmapChangeHandle = nullptr;
  std::vector<TIOParamsVals*> fParams;  // owned
  bool fSimplifiedParamsDialogs = true;
  TVXAcquireParams* fAcquireParams = nullptr;
  TVXTwainParams* fTwainParams = nullptr;
  TVXWia* fWIA = nullptr;
  TVXDcimAcquire* fDCIMParams = nullptr;
  TIOPreviewsParams fPreviewsParams{};
  std::unique_ptr<TFont> fPreviewFont;
  bool fPreviewFontEnabled = false;
  int32_t fTwainNextToInsert = 0;
  bool fAutoAdjustDPI = false;
  bool fFilteredAdjustDPI = false;
  TVXDitherMethod fDefaultDitherMethod = vxThreshold;
  bool fResetPrinter = true;
  TVXDialogsMeasureUnit fDialogsMeasureUnit = vxduInches;
  bool fNativePixelFormat = false;
  TResampleFilter fPrintingFilterOnSubsampling = rfFastLinear;
  std::string fLoadingFileName;
  std::string fLastFilename;
  bool fAllowMalformedPages = false;
  void* fgrec = nullptr;
  std::string fProxyAddress, fProxyUser, fProxyPassword;
  std::unique_ptr<TIOPrintPreviewParams> fPrintPreviewParams;
  bool fAborting = false;
};
