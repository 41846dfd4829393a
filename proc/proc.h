#pragma once
// TVexlaneProc, the image-processing component, with its operation frame,
// and the small numeric and colour routines of the processing code.
//
// The component works on one bitmap at a time: its own (after construction)
// or an attached TVXBitmap that the caller keeps owning. Every operation
// runs through the same frame:
//
//   if (!BeginImageProcessing(formats, x1, y1, x2, y2, "Caption", work, mask)) return;
//   ...worker on work, rectangle x1..x2 x y1..y2 (exclusive ends)...
//   EndImageProcessing(work, mask);
//   DoFinishWork();
//
// Viewer, platform-bitmap and TImage attachments, selections and the undo
// history belong to components that are not part of this library yet;
// requesting them raises EVXException.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/pixels.h"
#include "core/rowops.h"
#include "core/vxdefs.h"

class TVXBitmap;
class TVXMask;
class TVXView;
class TBitmap;
class TImage;

// Where an undo entry came from.
enum TVXUndoSource { vxuUnknown, vxuImage, vxuSelection, vxuObject, vxuLayer, vxuFullLayer, vxuObjectsAndLayers };

// Flags of the processing previews.
enum TPRPreviewsParam { prppDefaultLockPreview, prppShowResetButton, prppHardReset, prppResetSelectedTab };
using TPRPreviewsParams = uint8_t;  // bit n stands for TPRPreviewsParam n

// Palette and dither choices handed to the platform imaging converter, in the
// order of its palette types 1 .. 12 and dither types 0 .. 8.
enum TVXPaletteType {
  vxptMedianCut,
  vxptFixedBW,
  vxptFixedHalftone8,
  vxptFixedHalftone27,
  vxptFixedHalftone64,
  vxptFixedHalftone125,
  vxptFixedHalftone216,
  vxptFixedHalftone252,
  vxptFixedHalftone256,
  vxptFixedGray4,
  vxptFixedGray16,
  vxptFixedGray256
};
enum TVXDitherType {
  vxdtSolid,
  vxdtOrdered4x4,
  vxdtOrdered8x8,
  vxdtOrdered16x16,
  vxdtSpiral4x4,
  vxdtSpiral8x8,
  vxdtDualSpiral4x4,
  vxdtDualSpiral8x8,
  vxdtErrorDiffusion
};

// Notification with the sender only.
using TNotifyEvent = std::function<void(void* Sender)>;

class TVexlaneProc {
 public:
  // Owner stands for the owning component; with an owner every operation
  // first saves an undo snapshot (AutoUndo).
  explicit TVexlaneProc(void* Owner = nullptr);
  // A component without owner and AutoUndo off, attached to Bitmap.
  static std::unique_ptr<TVexlaneProc> CreateFromBitmap(TVXBitmap* Bitmap);
  virtual ~TVexlaneProc();
  TVexlaneProc(const TVexlaneProc&) = delete;
  TVexlaneProc& operator=(const TVexlaneProc&) = delete;

  // ---- attachment ----
  // The bitmap every operation works on (nullptr: operations do nothing).
  TVXBitmap* AttachedVXBitmap() const { return fVXBitmap; }
  // Works on Value (borrowed) from now on; the own bitmap is freed. nullptr
  // leaves the component without a bitmap.
  void SetAttachedVXBitmap(TVXBitmap* Value);
  TBitmap* AttachedBitmap() const { return fBitmap; }
  // nullptr frees the current image; a platform bitmap raises EVXException.
  void SetAttachedBitmap(TBitmap* Value);
  TVXView* AttachedVexlane() const { return fVexlaneView; }
  // nullptr gives the component a fresh own bitmap; a viewer raises
  // EVXException.
  void SetAttachedVexlane(TVXView* Value);
  TImage* AttachedTImage() const { return fTImage; }
  // nullptr frees the current image and its alpha channel; a TImage raises
  // EVXException.
  void SetAttachedTImage(TImage* Value);

  // ---- properties ----
  bool AutoUndo() const { return fAutoUndo; }
  void SetAutoUndo(bool Value) { fAutoUndo = Value; }
  TColor Background() const { return fBackground; }
  void SetBackground(TColor Value) { fBackground = Value; }
  bool AutoConvertFormat() const { return fAutoConvertFormat; }
  void SetAutoConvertFormat(bool Value) { fAutoConvertFormat = Value; }
  TPRPreviewsParams PreviewsParams() const { return fPreviewsParams; }
  void SetPreviewsParams(TPRPreviewsParams Value) { fPreviewsParams = Value; }
  bool PreviewFontEnabled() const { return fPreviewFontEnabled; }
  void SetPreviewFontEnabled(bool Value) { fPreviewFontEnabled = Value; }
  const std::string& FiltersInitialDir() const { return fFiltersInitialDir; }
  void SetFiltersInitialDir(const std::string& Value) { fFiltersInitialDir = Value; }
  std::vector<std::string>& PreviewsLog() { return fPreviewsLog; }
  TVXLocation UndoLocation() const { return fUndoLocation; }
  void SetUndoLocation(TVXLocation Value) { fUndoLocation = Value; }
  int32_t UndoLimit() const { return fUndoLimit; }
  void SetUndoLimit(int32_t Value) { fUndoLimit = Value; }
  int32_t MViewIndex() const { return fMViewIndex; }
  void SetMViewIndex(int32_t Value) { fMViewIndex = Value; }
  std::string VexlaneVersion() const { return "6.0.0"; }
  void SetVexlaneVersion(const std::string&) {}
  // Resolution for clipboard output: the settings' defaults (no viewer).
  int32_t DpiX() const;
  int32_t DpiY() const;

  // ---- events (sender first) ----
  TVXProgressEvent OnProgress;   // (Sender, percent)
  TNotifyEvent OnFinishWork;     // (Sender)

  // ---- operation frame ----
  // False without a bitmap; otherwise the bitmap's format check (an empty
  // set accepts every format; with AutoConvertFormat the bitmap is converted
  // to an accepted format).
  bool CheckFormat(TVXPixelFormatSet AllowedFormats);
  // The rectangle to work on (exclusive right and bottom) and the selection
  // mask; true when a selection is active. Without a viewer: the whole image,
  // no mask, false.
  virtual bool GetReSel(int32_t& fSX1, int32_t& fSY1, int32_t& fSX2, int32_t& fSY2, TVXMask*& mask);
  // Undo snapshot (AutoUndo), format guard, rectangle; ProcBitmap is the
  // bitmap to work on. False: the operation stops.
  bool BeginImageProcessing(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2,
                            const std::string& OpName, TVXBitmap*& ProcBitmap, TVXMask*& mask);
  void EndImageProcessing(TVXBitmap* ProcBitmap, TVXMask* mask);
  // The read-only pair: no undo snapshot, no refresh.
  bool BeginImageAnalysis(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2,
                          TVXBitmap*& ProcBitmap, TVXMask*& mask);
  void EndImageAnalysis(TVXBitmap* ProcBitmap);
  // Reports 100 % (when OnProgress is set), then raises OnFinishWork.
  virtual void DoFinishWork();
  // Refreshes what the component is attached to.
  void Update();
  // Lets an attached viewer drop its legacy mode before a conversion to a
  // format it cannot show (nothing without a viewer).
  void CheckLegacyBitmap(TVXPixelFormat PixelFormat);
  // Saves an undo snapshot; raises EVXException since the undo history is
  // not part of this library yet.
  virtual void SaveUndoCaptioned(const std::string& Caption, TVXUndoSource Source);

  // ---- resampling ----
  // Resamples the attached bitmap in place. Sizes follow VXCalcResampleSize
  // (-1: keep the aspect ratio, 0: keep the side). Nothing happens for an
  // empty bitmap or when NewWidth and NewHeight are the current size.
  void Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter FilterType = rfNone,
                bool bMaintainAspectRatio = false);
  // Writes the resampled attached bitmap into Target, leaving the attached
  // bitmap unchanged.
  void ResampleTo(TVXBitmap* Target, int32_t TargetWidth, int32_t TargetHeight, TResampleFilter FilterType,
                  bool bMaintainAspectRatio);

  // ---- colour reduction and depth conversion ----
  // Grey (the settings' weights) and sepia toning of the image or selection;
  // vx24RGB.
  void ConvertToGray();
  void ConvertToSepia(int32_t Depth);
  // Reduces the whole vx24RGB image to NumColors colours: below 3 black and
  // white (vx1g; ordered dither with vxOrdered, else the grey of the mean
  // colour as threshold); 3..1024 quantised in place, or error-diffused into
  // a vx8p image with vxDithering and at most 256 colours; above 1024 nothing.
  void ConvertTo(int32_t NumColors, TVXDitherMethod DitherMethod);
  // Conversion through the platform imaging converter. That converter is not
  // available on this platform, so the answer is false and the image stays
  // as it is (also with CheckParametersOnly).
  bool ConvertTo(TVXPixelFormat PixelFormat, TVXPaletteType PaletteType, TVXDitherType DitherType,
                 bool CheckParametersOnly);
  // As ConvertTo without error diffusion; Palette receives the colours used
  // (black and white below 3 colours, NumColors entries for 3..1024).
  // NumColors 0 does nothing at all.
  void ConvertToPalette(int32_t NumColors, TRGB* Palette, TVXDitherMethod DitherMethod);
  // Black and white (vx1g) by ordered dither, or by the grey-level threshold
  // (-2 maximum entropy, -1 grey of the mean colour).
  void ConvertToBWOrdered();
  void ConvertToBWThreshold(int32_t Threshold);
  // Black and white by Floyd-Steinberg error diffusion with serpentine rows.
  void ConvertToBW_FloydSteinberg();
  // Expands a vx1g image to vx24RGB; any other image is left alone.
  void ConvertTo24Bit();
  // Fills Palette with at most NumColors colours of the vx24RGB image chosen
  // by the colour quantiser; the image does not change.
  void CalcImagePalette(std::span<TRGB> Palette, int32_t NumColors);

 private:
  // Whole-image operations: the format guard, then the undo snapshot.
  bool BeginWholeImage(TVXPixelFormatSet AllowedFormats, const std::string& Caption);
  // Update, then DoFinishWork.
  void EndWholeImage();

  void FreeOwnBitmap();

  bool fAutoUndo = false;
  TVXView* fVexlaneView = nullptr;
  TColor fBackground = 0;
  TPRPreviewsParams fPreviewsParams = TPRPreviewsParams((1u << prppShowResetButton) | (1u << prppHardReset));
  bool fPreviewFontEnabled = false;
  TImage* fTImage = nullptr;
  std::string fFiltersInitialDir;
  TVXBitmap* fVXBitmap = nullptr;
  bool fVXBitmapCreated = false;
  std::vector<std::string> fPreviewsLog;
  bool fAutoConvertFormat = true;
  TVXLocation fUndoLocation = vxFile;
  int32_t fUndoLimit = 1;
  TBitmap* fBitmap = nullptr;
  int32_t fMViewIndex = 0;
};

// ---------------------------------------------------------------------------
// Small routines

int64_t VXCeil(double x);   // Trunc(x), plus 1 for a positive fraction
int64_t VXFloor(double x);  // Trunc(x), minus 1 for a negative fraction
TRGB VXMakeRGB(int32_t r, int32_t g, int32_t b);
TRGB48 VXMakeRGB48(int32_t r, int32_t g, int32_t b);
// Bytes blue, green, red, alpha as one 32-bit value (blue in the low byte).
uint32_t VXMakeRGBA(int32_t r, int32_t g, int32_t b, int32_t a);
// Grey level by the settings' coefficients (read on every call).
int32_t VXRGBToGray(TRGB rgb);
TColor VXTRGBToColor(TRGB rgb);
// System colours (negative values) are resolved first.
TRGB VXColorToTRGB(TColor color);
TRGBA VXColorToTRGBA(TColor color, uint8_t alpha);
// Alpha from the high byte of the resolved colour.
TRGBA VXColorToTRGBA32(TColor color);
double VXMinDouble(double a, double b);  // on equality the second
double VXMaxDouble(double a, double b);  // on equality the second
int32_t VXMinInt(int32_t a, int32_t b);
int32_t VXMaxInt(int32_t a, int32_t b);
int64_t VXMinInt64(int64_t a, int64_t b);
int64_t VXMaxInt64(int64_t a, int64_t b);
uint64_t VXMinUInt64(uint64_t a, uint64_t b);
// Low when v <= Low (tested first), else High when v >= High, else v.
int32_t VXClampInt(int32_t v, int32_t Low, int32_t High);
uint8_t VXClampByte(int32_t v);
uint16_t VXClampWord(int32_t v);
void VXSwapInt(int32_t& a, int32_t& b);
void VXSwapByte(uint8_t& a, uint8_t& b);
void VXSwapDouble(double& a, double& b);
bool VXSameRGB(TRGB a, TRGB b);
void VXOrderCorners(int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2);

// vx24RGB only: every pixel whose alpha is 0 gets Color.
void VXSetTransparentPixelsColor(TVXBitmap* Bitmap, TRGB Color);

// Start-up and shut-down of the processing module (library start-up slots):
// the 1-bit expansion table and the clipboard format "VEXLANE RAW FORMAT".
void VXProcUnitInit();
void VXProcUnitFinal();
// The id of the clipboard format "VEXLANE RAW FORMAT" (0 before start-up).
uint32_t VXRawClipboardFormat();

