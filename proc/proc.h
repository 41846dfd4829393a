#pragma once
// TVexlaneProc, the image-processing component, with its operation frame,
// its undo and redo history, and the small numeric and colour routines of the
// processing code.
//
// The component works on one bitmap at a time: its own (after construction),
// an attached TVXBitmap that the caller keeps owning, or the bitmap of an
// attached viewer (TVXViewHost), which it follows when the viewer replaces
// it. Every operation runs through the same frame:
//
//   if (!BeginImageProcessing(formats, x1, y1, x2, y2, "Caption", work, mask)) return;
//   ...worker on work, rectangle x1..x2 x y1..y2 (exclusive ends)...
//   EndImageProcessing(work, mask);
//   DoFinishWork();
//
// With a viewer that has a selection, work is a copy of the selection's
// bounding box and EndImageProcessing writes it back through the mask (an
// 8-bit mask blends). Platform bitmaps and TImage controls cannot be attached
// yet; requesting them raises EVXException.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/pixels.h"
#include "core/target_component.h"
#include "core/rowops.h"
#include "proc/cleaning.h"
#include "proc/colors.h"
#include "proc/docanalysis.h"
#include "proc/histcompare.h"
#include "proc/localthreshold.h"
#include "proc/perspective.h"
#include "proc/ftimage.h"
#include "proc/encrypt.h"
#include "proc/tone.h"
#include "proc/undosource.h"
#include "core/viewhost.h"
#include "core/vxdefs.h"
#include "gui/component.h"

class TVXBitmap;
class TVXMask;
class TBitmap;
class TImage;
class TMemoryStream;
struct TGraphFilter;
class TIPDialogParams;
class TFont;
class TVXTransitionFrameMaker;
class TVXPreviewsDialog;
// proc/transition_hooks.h
enum TVXTransitionType : int32_t;
enum TVXTransitionTiming : int32_t;
// proc/previews_hooks.h: bit n stands for TPreviewEffect n.
using TPreviewEffects = uint32_t;


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

// How Deinterlace treats the two fields of a frame.
enum TVXDeinterlaceMode { vxdDiscard, vxdIntelliMerge };

// Notification with the sender only.
using TNotifyEvent = std::function<void(void* Sender)>;
// (Sender, bIsUndo, Source, UndoObj, iIndex, bHandled): an entry is about to
// be restored; UndoObj is the entry's TVXBitmap (vxuImage) or TMemoryStream,
// iIndex the multi-view index saved with it. Setting bHandled stops the
// restore.
using TVXOnUndoRedoEvent = std::function<void(void* Sender, bool bIsUndo, TVXUndoSource Source, void* UndoObj,
                                              int32_t iIndex, bool& bHandled)>;
// (Sender, Form): the preview dialog is about to be shown.
using TVXPreviewEvent = std::function<void(void* Sender, TVXPreviewsDialog* Form)>;

class TVexlaneProc : public TVXTargetComponent {
 public:
  // A component with an owner is freed by it, and every operation first
  // saves an undo snapshot (AutoUndo).
  explicit TVexlaneProc(TComponent* Owner = nullptr);
  // A component without owner and AutoUndo off, attached to Bitmap.
  static std::unique_ptr<TVexlaneProc> CreateFromBitmap(TVXBitmap* Bitmap);
  // A component without owner and AutoUndo off, attached to a platform
  // bitmap.
  static std::unique_ptr<TVexlaneProc> CreateFromBitmap(TBitmap* Bitmap);
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
  // Works on the pixels of a platform bitmap (the caller keeps owning it)
  // through a bitmap of the component's own that wraps it. nullptr with a
  // viewer or image control attached changes nothing, else frees the image.
  void SetAttachedBitmap(TBitmap* Value);
  TVXViewHost* AttachedVexlane() const { return fVexlaneView; }
  // Works on the viewer's bitmap (borrowed) and follows it when the viewer
  // replaces it, until the viewer announces its destruction. nullptr gives
  // the component a fresh own bitmap.
  void SetAttachedVexlane(TVXViewHost* Value);
  TImage* AttachedTImage() const { return fTImage; }
  // Works on the picture bitmap of an image control as on an attached
  // platform bitmap; the control tells the component when it is freed.
  // nullptr frees the current image and its alpha channel.
  void SetAttachedTImage(TImage* Value);

  // ---- properties ----
  bool AutoUndo() const { return fAutoUndo; }
  void SetAutoUndo(bool Value) { fAutoUndo = Value; }
  // Colour of uncovered pixels: the attached viewer's background, else the
  // component's own.
  TColor Background() const;
  void SetBackground(TColor Value);
  bool AutoConvertFormat() const { return fAutoConvertFormat; }
  void SetAutoConvertFormat(bool Value) { fAutoConvertFormat = Value; }
  TPRPreviewsParams PreviewsParams() const { return fPreviewsParams; }
  void SetPreviewsParams(TPRPreviewsParams Value) { fPreviewsParams = Value; }
  // The preview dialog's font when PreviewFontEnabled (owned; writing
  // copies the given font).
  TFont* PreviewFont() const { return fPreviewFont.get(); }
  void SetPreviewFont(TFont* Value);
  bool PreviewFontEnabled() const { return fPreviewFontEnabled; }
  void SetPreviewFontEnabled(bool Value) { fPreviewFontEnabled = Value; }
  const std::string& FiltersInitialDir() const { return fFiltersInitialDir; }
  void SetFiltersInitialDir(const std::string& Value) { fFiltersInitialDir = Value; }
  std::vector<std::string>& PreviewsLog() { return fPreviewsLog; }
  TVXLocation UndoLocation() const { return fUndoLocation; }
  void SetUndoLocation(TVXLocation Value) { fUndoLocation = Value; }
  int32_t UndoLimit() const { return fUndoLimit; }
  // Bounds both histories; 0 (or less) disables saving. Entries beyond a
  // lowered limit are dropped at the next save.
  void SetUndoLimit(int32_t Value) { fUndoLimit = Value; }
  int32_t MViewIndex() const { return fMViewIndex; }
  void SetMViewIndex(int32_t Value) { fMViewIndex = Value; }
  std::string VexlaneVersion() const { return "6.0.0"; }
  void SetVexlaneVersion(const std::string&) {}
  // Resolution for clipboard output: the attached viewer's, else the
  // settings' defaults.
  int32_t DpiX() const;
  int32_t DpiY() const;
  // The last values of the processing preview dialog (owned;
  // proc/dialogparams.h).
  TIPDialogParams* IPDialogParams() const { return fIPDialogParams.get(); }

  // ---- events (sender first) ----
  TVXProgressEvent OnProgress;   // (Sender, percent)
  TNotifyEvent OnFinishWork;     // (Sender)
  TVXSaveUndoEvent OnSaveUndo;   // raised by SaveUndo
  TVXOnUndoRedoEvent OnUndoRedoEvent;
  TVXPreviewEvent OnPreview;     // DoPreviews, just before the dialog shows

  // ---- operation frame ----
  // False without a bitmap; otherwise the bitmap's format check (an empty
  // set accepts every format; with AutoConvertFormat the bitmap is converted
  // to an accepted format).
  bool CheckFormat(TVXPixelFormatSet AllowedFormats);
  // The rectangle to work on (exclusive right and bottom), the selection
  // polygon and the selection mask; true when a selection is active. By
  // default the whole image, no polygon, no mask, false. With a single-image
  // viewer mask is its selection mask; when its selection flag is set the
  // result is true, the polygon is the viewer's, and a non-empty mask gives
  // its bounding box as the rectangle.
  virtual bool GetReSel(int32_t& fSX1, int32_t& fSY1, int32_t& fSX2, int32_t& fSY2, const TPoint*& PolySel,
                        int32_t& PolySelCount, TVXMask*& mask);
  bool GetReSel(int32_t& fSX1, int32_t& fSY1, int32_t& fSX2, int32_t& fSY2, TVXMask*& mask);
  // Undo snapshot (AutoUndo), format guard, rectangle; ProcBitmap is the
  // bitmap to work on: the attached bitmap, or with a non-empty selection a
  // copy of the mask's bounding box (alpha channel included) and the
  // rectangle (0, 0, its width, its height). False: the operation stops.
  bool BeginImageProcessing(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2,
                            const std::string& OpName, TVXBitmap*& ProcBitmap, TVXMask*& mask);
  // Writes a selection copy back through the mask (its alpha channel too,
  // unless that is Full), frees it, then Update.
  void EndImageProcessing(TVXBitmap* ProcBitmap, TVXMask* mask);
  // The read-only pair: no undo snapshot, no refresh.
  bool BeginImageAnalysis(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2,
                          TVXBitmap*& ProcBitmap, TVXMask*& mask);
  void EndImageAnalysis(TVXBitmap* ProcBitmap);
  // Reports 100 % (when OnProgress is set), then raises OnFinishWork.
  virtual void DoFinishWork();
  // Refreshes what the component is attached to (a viewer: its Update and
  // ImageChange).
  void Update();
  // Lets an attached viewer drop its legacy mode before a conversion to a
  // format it cannot show (nothing without a viewer).
  void CheckLegacyBitmap(TVXPixelFormat PixelFormat);

  // ---- clipboard (proc_clipboard.cpp) ----
  // The whole image as CF_DIB at DpiX x DpiY, with UseInternalFormat also
  // its raw dump under VXRawClipboardFormat(); true once the DIB was placed.
  bool CopyToClipboard(bool UseInternalFormat);
  // Replaces the image with the first of the raw dump, a format named "PNG",
  // CF_DIB and CF_ENHMETAFILE on the clipboard; a block that cannot be
  // loaded changes nothing.
  void PasteFromClipboard();
  // Whether the clipboard holds one of the formats PasteFromClipboard takes.
  bool IsClipboardAvailable();
  // The clipboard image with its top-left corner at (x1, y1) (viewer
  // coordinates when the viewer's SelectionBase is vxsbClientArea); with
  // MergeAlpha only its opaque part (raw dump only).
  void PointPasteFromClip(int32_t x1, int32_t y1, bool MergeAlpha);
  // The clipboard image into the selection box (without a selection:
  // PasteFromClipboard); with MaintainAspectRatio shrunk to fit, never
  // enlarged.
  void SelPasteFromClip(bool MergeAlpha, bool MaintainAspectRatio);
  // The clipboard image stretched to the selection box.
  void SelPasteFromClipStretch(bool MergeAlpha);
  // The selection (outside a mask: Background) as CF_DIB, with
  // UseInternalFormat also the masked part's raw dump; without a selection
  // CopyToClipboard.
  bool SelCopyToClip(bool UseInternalFormat);
  // SelCopyToClip, then the selection takes Background (and with CutAlpha
  // alpha 0); false without a selection or when the DIB was not placed.
  bool SelCutToClip(bool UseInternalFormat, bool CutAlpha);

  // ---- undo and redo ----
  // Positions count from the newest entry (0), except in the peek functions.
  virtual bool CanUndo() const { return !fUndoList.empty(); }
  virtual bool CanRedo() const { return !fRedoList.empty(); }
  virtual int32_t UndoCount() const { return int32_t(fUndoList.size()); }
  virtual int32_t RedoCount() const { return int32_t(fRedoList.size()); }
  // The caption at index from the newest; empty outside the list.
  virtual std::string GetRedoCaptions(int32_t index) const;
  virtual std::string GetUndoCaptions(int32_t index) const;
  void SetUndoCaptions(int32_t index, const std::string& Value);
  // Appends a snapshot of Source with an empty caption (see the undo source
  // kinds: the image, or the viewer's selection, layers or objects), then
  // raises OnSaveUndo. Nothing with UndoLimit 0 or when the format check
  // fails; an image narrower or lower than 2 pixels makes no entry.
  virtual void SaveUndo(TVXUndoSource Source = vxuImage);
  // Nothing when the format check fails or the image is smaller than 2 x 2;
  // else SaveUndo with Caption on the new entry.
  virtual void SaveUndoCaptioned(const std::string& Caption, TVXUndoSource Source = vxuImage);
  virtual void ClearUndo();
  virtual void ClearAllUndo();
  // Restores the newest (or the Position-th newest) entry, which stays in
  // the history; with AutoRedo the current state is saved for Redo first.
  virtual void Undo(bool AutoRedo = false);
  virtual void UndoAt(int32_t Position, bool AutoRedo = false);
  virtual void SaveRedo(TVXUndoSource Source = vxuImage);
  virtual void SaveRedoCaptioned(const std::string& Caption, TVXUndoSource Source = vxuImage);
  virtual void ClearAllRedo();
  virtual void ClearRedo();
  virtual void Redo();
  virtual void RedoAt(int32_t Position);
  // Restores the rectangle x1..x2, y1..y2 (inclusive, any corner order) from
  // the newest entry when that is an image snapshot.
  void UndoRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // The source of the entry with list index Position counted from the
  // oldest; vxuUnknown outside the list.
  TVXUndoSource UndoPeekAt(int32_t Position) const;
  TVXUndoSource RedoPeekAt(int32_t Position) const;
  // Frees the entry at Position counted from the newest.
  void ClearUndoAt(int32_t Position);

  // ---- selection, canvas and whole-image edits ----
  // Changes the canvas size without scaling: new areas take Background (the
  // alpha channel FillAlpha, created when FillAlpha < 255), the picture is
  // placed by the alignments. Nothing for a size of 0 or the current size.
  void ImageResize(int32_t newWidth, int32_t newHeight, TVXHAlign HorizAlign = vxhLeft,
                   TVXVAlign VertAlign = vxvTop, int32_t FillAlpha = 255);
  // Fills the whole image with Background.
  void Clear();
  // Selected pixels take Background (partly under partial mask values);
  // nothing without a selection.
  void ClearSel();
  // Crops to the selection's bounding box, unselected pixels taking
  // Background and alpha 0 (an all-opaque result loses its alpha channel);
  // with TransparencyOnly the image keeps its size and its alpha channel
  // becomes the selection.
  void CropSel(bool TransparencyOnly = false);
  // vx24RGB: each channel becomes clamp(Round(own * pcf / 100 + other *
  // (100 - pcf) / 100)), DBitmap stretched by nearest pixel to the work
  // rectangle. Nothing for an empty DBitmap.
  void MergeVXBitmap(TVXBitmap* DBitmap, int32_t pcf);
  // MergeVXBitmap with a platform bitmap (read as 24-bit colours).
  void Merge(TBitmap* DBitmap, int32_t pcf);
  // The negative of any pixel format.
  void Negative();

  // ---- text on the image (proc_textout.cpp) ----
  // Writes sText at (X, Y) of the work bitmap, any format (undo "TextOut").
  // X and Y are pixels or one of the named places: 0 the left (top) edge,
  // -901 a margin of a twentieth of the width (height), -902 centred, -903
  // the margin from the right (bottom), -904 flush right (bottom). Angle 0
  // with bAntiAlias draws through an anti-aliasing canvas in the box of the
  // text's extent grown by 10 %; otherwise the platform font, turned by
  // Angle degrees counter-clockwise, draws at the point. bAutoEnlarge grows
  // an image (not a selection) that the text's box does not fit, new pixels
  // taking Background. AFont (null: the work bitmap canvas's font) gives
  // face, height, style and colour.
  void TextOut(int32_t X, int32_t Y, const std::string& sText, TFont* AFont, int32_t Angle, bool bAntiAlias,
               bool bAutoEnlarge);
  // The same with a font made from the image canvas's font with that face,
  // size in points, colour and style.
  void TextOut(int32_t X, int32_t Y, const std::string& sText, const std::string& sFontName, int32_t iFontSize,
               TColor cFontColor, TFontStyles Style, int32_t Angle, bool bAntiAlias, bool bAutoEnlarge);

  // ---- transition frames (proc_transitions.cpp, proc/transition_hooks.h) ----
  // Prepares frames of Effect from StartBitmap to EndBitmap without a
  // viewer: each bitmap is fitted, centred and keeping its aspect ratio, into
  // iWidth x iHeight on BackgroundColor (-1: Background), shrunk when too
  // large and enlarged only with bStretchSmall, resampled with
  // ResamplingFilter. A negative size takes the start bitmap's size for
  // pan-zoom, else the larger width and height of the two. Pan-zoom moves
  // over a copy of StartBitmap from StartRect to EndRect (grown to the
  // frame's aspect with RectMaintainAspectRatio). The callers' bitmaps are
  // not changed. Raises EVXException when the viewer library's transition
  // engine is not linked, and "Transition bitmaps are empty" (preparing
  // nothing) for a bitmap without pixels or a frame size of 0.
  void PrepareTransitionBitmapsEx(TBitmap* StartBitmap, TBitmap* EndBitmap, TVXTransitionType Effect,
                                  const TRect& StartRect, const TRect& EndRect, bool RectMaintainAspectRatio,
                                  int32_t iWidth, int32_t iHeight, bool bStretchSmall, TColor BackgroundColor,
                                  TResampleFilter ResamplingFilter, TVXTransitionTiming Timing);
  // The Ex form with empty rectangles kept to the frame's aspect, no
  // enlarging and linear timing.
  void PrepareTransitionBitmaps(TBitmap* StartBitmap, TBitmap* EndBitmap, TVXTransitionType Effect, int32_t iWidth,
                                int32_t iHeight, TColor BackgroundColor, TResampleFilter ResamplingFilter);
  // The frame at TransitionProgress per cent into DestBitmap; raises
  // EVXException "Transition has not been prepared!" (DestBitmap untouched)
  // before a preparation.
  void CreateTransitionBitmap(float TransitionProgress, TBitmap* DestBitmap);

  // ---- the processing preview dialog (proc_previews.cpp, proc/previews_hooks.h) ----
  // Shows the preview dialog with the pages pe on the image or the
  // selection's bounding box; true when the user confirmed, the result then
  // written back in one undo step. False, showing nothing, when the format
  // check fails or the image is below 2 pixels both ways. The size is
  // FormWidth x FormHeight, else the stored dialog size, else 548 x 454 at
  // 96 pixels per inch, scaled; negative FormLeft and FormTop centre it. An
  // attached viewer does not paint meanwhile. Raises EVXException when the
  // dialogs library is not linked.
  bool DoPreviews(TPreviewEffects pe, bool IsResizeable = false, int32_t FormWidth = -1, int32_t FormHeight = -1,
                  int32_t FormLeft = -1, int32_t FormTop = -1);

  // ---- linear filters and shadows (vx24RGB unless said otherwise) ----
  // Convolution with KernelWidth x KernelHeight weights (row after row,
  // topmost first) times Factor. Even sizes or fewer weights than that:
  // nothing happens, no undo is recorded.
  void Convolve(std::span<const double> Kernel, int32_t KernelWidth, int32_t KernelHeight, double Factor);
  // The 3x3 integer filter, or the preset at Index (EVXException outside
  // the preset list).
  void ApplyFilter(const TGraphFilter& Filter);
  void ApplyFilterPreset(int32_t Index);
  // Gaussian blur with sigma radius (vx8g and vx24RGB); radius <= 0 changes
  // nothing (the undo entry is still recorded).
  void Blur(double radius);
  void Sharpen(int32_t Intensity, int32_t Neighbourhood);
  void UnsharpMask(double Radius, double Amount, double Threshold);
  // A shadow of the alpha channel's shape behind the whole image (not the
  // selection); AdaptSize enlarges the canvas by the shadow's margin.
  void AddSoftShadow(double radius, int32_t OffSetX, int32_t OffSetY, bool AdaptSize, TColor ShadowColor,
                     int32_t Intensity);
  // Darkens the inside of the shape along its edges.
  void AddInnerShadow(double radius, int32_t OffSetX, int32_t OffSetY, TColor ShadowColor);

  // ---- colour models and channels (vx24RGB) ----
  // Hue, saturation and value offsets through the integer HSV model.
  void HSVvar(int32_t oHue, int32_t oSat, int32_t oVal);
  // Adds r, g and b to the channels, clamped.
  void IntensityRGBAll(int32_t r, int32_t g, int32_t b);
  // Pixels whose channels all lie between BeginColor's and EndColor's take
  // CastColor.
  void CastColorRange(TRGB BeginColor, TRGB EndColor, TRGB CastColor);
  // Counts (and optionally colours) the pixels inside the HSV box; 0 when
  // the operation does not start.
  int32_t MatchHSVRange(int32_t HueBegin, int32_t HueEnd, int32_t SatBegin, int32_t SatEnd, int32_t ValBegin,
                        int32_t ValEnd, bool ColorizeMatched, TRGB MatchColor, bool ColorizeNonMatched,
                        TRGB NonMatchColor);
  // One channel of the whole image as a grey vx24RGB image (the caller owns
  // it); nullptr when the format check fails. The Integer form takes the
  // byte position (0 blue, 2 red); a negative one gives nullptr.
  std::unique_ptr<TVXBitmap> GetHSVChannel(int32_t ch);
  std::unique_ptr<TVXBitmap> GetRGBChannel(TVXChannel ch);
  std::unique_ptr<TVXBitmap> GetRGBChannel(int32_t ch);
  void GetHSVChannelAll(TVXBitmap* BitmapH, TVXBitmap* BitmapS, TVXBitmap* BitmapV);
  void GetRGBChannelAll(TVXBitmap* BitmapR, TVXBitmap* BitmapG, TVXBitmap* BitmapB);
  // vx24RGB and vx48RGB: moves one channel by the offsets (fillValue < 0:
  // edge pixels repeat).
  void ShiftChannel(int32_t offsetX, int32_t offsetY, TVXChannel channel, int32_t fillValue);
  // Rebuilds blue, green and red from the letters R, G, B and 0 of newDispo;
  // a shorter string or another character does nothing.
  void DisposeChannels(const std::string& newDispo);

  // ---- HSL offsets and colour adjustments (vx24RGB) ----
  void HSLvar(int32_t oHue, int32_t oSat, int32_t oLum);
  // -100 grey, 0 unchanged, 100 doubled.
  void AdjustSaturation(int32_t Amount);
  // Hue rotation by Amount degrees in the colour-difference plane; the
  // overloads leave the colours between FixedColorStart and FixedColorEnd,
  // or the colour at FixedColorPos of the work bitmap, as they are.
  void AdjustTint(int32_t Amount);
  void AdjustTint(int32_t Amount, TRGB FixedColorStart, TRGB FixedColorEnd);
  void AdjustTint(int32_t Amount, TPoint FixedColorPos);
  void AdjustBrightnessContrastSaturation(int32_t Brightness, int32_t Contrast, int32_t Saturation);
  void Contrast2(double Amount);
  void AdjustLumSatHistogram(double Saturation, double Luminance);
  // Adds a bump to the levels LoLimit..HiLimit (clamped to 0..255).
  void Intensity(int32_t LoLimit, int32_t HiLimit, int32_t Change, bool UseAverageRGB, bool DoRed, bool DoGreen,
                 bool DoBlue);
  void Contrast3(int32_t Change, int32_t Midpoint, bool DoRed, bool DoGreen, bool DoBlue);
  // Multiplies by the black-body colour of temperature (kelvin).
  void AdjustTemperature(int32_t temperature);
  // Each pixel takes Map[its grey level]; a map of fewer than 256 colours
  // does nothing (no undo either).
  void MapGrayToColor(std::span<const TRGB> Map);

  // ---- histograms, statistics and tone ----
  // The histogram of the selection (or the image): vx8g, vx16g, vx24RGB.
  TVXHistogram GetHistogram(TVXHistogramContent Content);
  // The same into 256 items (vx24RGB).
  void GetHistogram(THistogramItem* Hist, TVXHistogramContent Content);
  // Distinct colours of the selection rectangle (vx1g: 2; formats other than
  // vx24RGB: 0).
  int32_t CalcImageNumColors();
  // Mean colour of the selection (iSampleCount > 0: over a sampling grid);
  // black when nothing can be measured.
  TRGB CalcAverageRGB(int32_t iSampleCount);
  double CalcStdDev();
  // Contrast around the image's channel means.
  void Contrast(double vv);
  // Channels at or below DownLimit's become DownVal's, then those above
  // UpLimit's become UpVal's; nothing for a black DownLimit and a white
  // UpLimit.
  void Threshold(TRGB DownLimit, TRGB UpLimit, TRGB DownVal, TRGB UpVal);
  void Threshold2(int32_t LoThreshold, int32_t HiThreshold, bool Red, bool Green, bool Blue);
  void HistAutoEqualize();
  // Stretches LoThresh .. HiThresh; nothing when they are equal (HiThresh
  // raised to at least 1 or not).
  void HistEqualize(TRGB LoThresh, TRGB HiThresh);

  // ---- crop, automatic crop, tiling and rounded corners ----
  // Crops to x1..x2, y1..y2 (inclusive); nothing for an inverted rectangle
  // or the whole image.
  void Crop(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void Crop(const TRect& Rect);  // Right and Bottom inclusive
  // The content's rectangle (inclusive) inside a border of Background
  // (each channel within Tolerance); crops to it with DoCrop. (0, 0, 0, 0)
  // when the format check fails.
  TRect AutoCrop(int32_t Tolerance, TRGB Background, bool DoCrop);
  TRect AutoCrop(int32_t Tolerance, TColor Background, bool DoCrop);
  // The rectangle inside borders whose brightness sums depart from the
  // average (VXAutoCrop2Rect); (0, 0, 0, 0) and nothing else for
  // BorderRate <= 0 or a failed format check.
  TRect AutoCrop2(double BorderRate, bool DoCrop);
  // Repeats the picture columns x rows times (alpha channel too); nothing for
  // fewer than one column or row.
  void MakeTile(int32_t columns, int32_t rows);
  // Makes the corners transparent along a cubic curve of RoundWidth x
  // RoundHeight.
  void RoundImage(int32_t RoundWidth, int32_t RoundHeight);

  // ---- rotation, flips, rotate-and-crop, deinterlacing ----
  // Rotates the whole image by Angle degrees (counter-clockwise) through
  // TVXBitmap::RotateEx; BackgroundColor -1 stands for Background. Nothing
  // for Angle 0.
  void Rotate(double Angle, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor);
  // The older form: vxrNone when AntiAlias is false.
  void Rotate(double Angle, bool AntiAlias, TVXAntialiasMode AntiAliasMode, TColor BackgroundColor);
  void Flip(TFlipDir dir);
  // Rotates, then cuts the canvas around its centre to the upright
  // rectangle whose rotation measures the size before (0 x 0, which changes
  // nothing, when there is none). One undo entry.
  void RotateAndCrop(double Angle, TVXAntialiasMode AntiAliasMode);
  void RotateAndCrop(double Angle, bool AntiAlias, TVXAntialiasMode AntiAliasMode);
  // vx24RGB. vxdDiscard: every odd row from the bottom replaces the row
  // above it; vxdIntelliMerge: discards only when neighbouring rows differ
  // by more than 5 grey levels on average, otherwise beeps.
  void Deinterlace(TVXDeinterlaceMode mode);
  // Crops away fully transparent rows and columns at the edges (no undo
  // entry); nothing for an image that is transparent everywhere.
  void CropTransparentBorder();

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
  // Conversion through the platform imaging converter (core/imaging_hook.h)
  // with its palette and dither types; the converted image replaces the
  // image. With CheckParametersOnly only the answer, the image unchanged.
  // False (image unchanged) when the converter is missing or refuses; a
  // PixelFormat it has no format for raises EVXException "Unsupported pixel
  // format".
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

  // ---- morphology on a (2 x WindowSize + 1)^2 window (vx1g, vx24RGB) ----
  // Colour pixels take the whole colour of the window's darkest or lightest
  // pixel by grey level; WindowSize < 1 changes nothing.
  void Maximum(int32_t WindowSize);
  void Minimum(int32_t WindowSize);
  // Minimum, then maximum.
  void Opening(int32_t WindowSize);
  // Maximum, then minimum.
  void Closing(int32_t WindowSize);

  // ---- document analysis (proc/docanalysis.h) ----
  // vx24RGB, the whole image: becomes the vx1g Shen-Castan edge map (edges
  // black on white).
  void EdgeDetect_ShenCastan(double Ratio, double Smooth, int32_t WindowSize, int32_t ThinFactor, bool DoHysteresis);
  // vx1g, vx24RGB (read only): the skew of the page in degrees, positive for
  // a page turned clockwise; a colour page, or a 1-bit one with EdgeDetect,
  // is measured on its edge map. ResampleWidth >= 1 (and not the width)
  // measures a copy of that width. 0 when the analysis does not run or the
  // parameters are refused (Precision 0.1 .. 1, AngleRange 0 .. 180).
  double SkewDetection(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect);
  // vx1g, vx24RGB (read only): StartingAngle refined in steps of resolution
  // within range degrees around it, by the row profile of the page turned
  // back; maxQuality measures the page itself, otherwise a copy at least
  // 256 pixels wide. StartingAngle when nothing runs (resolution <= 0).
  double SkewDetectionFine(double StartingAngle, double resolution, int32_t range, bool maxQuality);
  // 90 when the column profile varies more than the row profile (text in
  // columns), else 0.
  int32_t CalcOrientation();
  // The row (VertHist) and column (HorizHist) profiles of the image, or of
  // the selection's bounding box, normalised to norm_vert and norm_horiz.
  void CalcDensityHistogram(int32_t* VertHist, int32_t* HorizHist, int32_t norm_vert, int32_t norm_horiz);

  // ---- cleaning filters (proc/cleaning.h) ----
  // vx1g: every pixel of the noise colour (white when NoiseColor != 0) with
  // at most PixelsCount such pixels in its 3 x 3 block takes the other
  // colour. PixelsCount 0 does nothing at all.
  void RemoveIsolatedPixels(int32_t NoiseColor, int32_t PixelsCount);
  // vx1g: kFill on 3 x 3 windows with connectivity and strict white fill,
  // at most Iterations passes (0 does nothing); InvertImage cleans the
  // negative. With a selection only the selected pixels change.
  void RemoveNoise(int32_t Iterations, bool InvertImage);
  // vx24RGB, the whole work bitmap: VXDoMedianFilter.
  void MedianFilter(int32_t WindowX, int32_t WindowY, int32_t Brightness, int32_t Contrast, int32_t Multiplier,
                    int32_t Threshold, TVXMedFilType MedianOp);
  // vx24RGB, the whole work bitmap: VXDoWallisFilter.
  void WallisFilter(int32_t WinWidth, int32_t WinHeight, int32_t Mean, int32_t StDev, int32_t InGain, int32_t Edge,
                    int32_t Limit, bool Thresholding);

  // ---- automatic enhancement (proc/autoenhance.h) ----
  // vx24RGB, the whole work bitmap: VXDoAutoEnhance1; SubsampledSize below 1
  // does nothing, not even an undo entry.
  void AutoEnhance1(int32_t SubsampledSize, int32_t Slope, int32_t Cut, int32_t Neighbour);
  // vx24RGB, the whole work bitmap: VXDoAutoSharp.
  void AutoSharp(int32_t Intensity, double rate);
  // vx24RGB, the whole work bitmap: VXDoAutoEnhance2; what it refuses does
  // nothing, not even an undo entry.
  void AutoEnhance2(int32_t ScaleCount, int32_t ScaleCurve, double Variance, int32_t ScaleHigh, bool Luminance);
  // vx24RGB, the whole work bitmap: VXDoAutoEnhance3; Gamma <= 0 does
  // nothing, not even an undo entry.
  void AutoEnhance3(double Gamma, int32_t Saturation);

  // ---- gamma, white balance and colour casts (proc/whitebalance.h) ----
  // vx24RGB, vx48RGB: gamma tables on the channels of Channel.
  void GammaCorrect(double Gamma, TVXChannels Channel);
  // vx24RGB: the channels times Red, Green and Blue, truncated and clamped.
  void WhiteBalance_coef(double Red, double Green, double Blue);
  void WhiteBalance_GrayWorld();
  // The white point at (WhiteX, WhiteY) of the work bitmap; a point outside
  // it does nothing, not even an undo entry.
  void WhiteBalance_WhiteAt(int32_t WhiteX, int32_t WhiteY);
  void WhiteBalance_AutoWhite();
  // vx24RGB, vx48RGB: every channel stretched to the full range.
  void AdjustGainOffset();
  // vx24RGB: the region of colours within tolerance of the pixel at (x, y)
  // of the work bitmap, 4-connected to it, takes newColor (or newAlpha); a
  // point outside the work bitmap does nothing, not even an undo entry.
  void CastColor(int32_t x, int32_t y, TRGB newColor, int32_t tolerance);
  void CastAlpha(int32_t x, int32_t y, int32_t newAlpha, int32_t tolerance);
  // vx8p (the palette) and vx24RGB: grey levels become shades of hue and
  // saturation, the value scaled by luminosity.
  void Colorize(int32_t hue, int32_t saturation, double luminosity);
  // Any format, the whole image: feathers the alpha channel's edges.
  void FeatherAlphaEdges(int32_t iFeatherDepth);

  // ---- transparency from colour (proc/chromakey.h) ----
  // The key colour of the image's backdrop; black without a bitmap.
  TRGB GuessChromaKeyColor();
  // vx1g, vx24RGB: keys out the colour of the work bitmap's pixel at
  // (KeyPixelX, KeyPixelY), or the guessed key colour for (-1, -1); another
  // point outside the work bitmap does nothing, not even an undo entry.
  void RemoveChromaKey(int32_t KeyPixelX, int32_t KeyPixelY, double Tolerance, int32_t Saturation,
                       int32_t FeatherEdges, int32_t HueReduction, bool RemoveNoise);
  void RemoveChromaKey(TRGB KeyColorRGB, double Tolerance, int32_t Saturation, int32_t FeatherEdges,
                       int32_t HueReduction, bool RemoveNoise);
  // vx1g, vx24RGB: pixels inside the colour box MinColor .. MaxColor get
  // Alpha.
  void SetTransparentColors(TRGB MinColor, TRGB MaxColor, int32_t Alpha);
  // vx1g, vx24RGB, the whole image: the most frequent colour and its share
  // in per cent; -1 (Color untouched) for other formats or no image.
  double GetDominantColor(TRGB& Color);

  // ---- object separation ----
  // The bounding rectangles (inclusive) of the objects that stand out from
  // the background (see VXDoSeparateObjects); Quality is the scale of the
  // outline tracing. Empty when the analysis does not start.
  std::vector<TRect> SeparateObjects(int32_t Quality, bool MergeCommonAreas);
  std::vector<TRect> SeparateObjects(int32_t Quality, bool MergeCommonAreas, TRGB BackgroundColorBegin,
                                     TRGB BackgroundColorEnd);

  // ---- local threshold, Sobel edges, histogram comparison (whole image) ----
  // vx24RGB to vx1g against a threshold in a moving window
  // (VXDoLocalThreshold); WinSize below 2 does nothing, not even an undo
  // entry.
  void ConvertToBWLocalThreshold(int32_t WinSize, TVXThreshMode Mode, int32_t Offset);
  // Any format: the image becomes its Sobel magnitude (VXDoSobel).
  void EdgeDetect_Sobel();
  // The similarity (1 for equal histograms) of the vx24RGB image's
  // histograms with SecondImage's (VXCompareHistograms); 0 when the format
  // check fails. No undo.
  double CompareHistogramWith(TVXBitmap* SecondImage, TVXCmpMode Mode, bool GrayScale);

  // ---- Fourier image and its effects ----
  // The Fourier transform of the vx24RGB image (both sizes negative), or of
  // the image stretched by nearest pixel to NewWidth x NewHeight (a negative
  // side follows the other in proportion). The caller owns the result, which
  // reports progress through OnProgress; empty when the format check fails
  // or the grid is beyond the library's limits. No undo.
  std::unique_ptr<TVXFtImage> FTCreateImage(TVXFtImageType ImageType, int32_t NewWidth, int32_t NewHeight);
  // The image becomes ft's spectrum picture (FTDisplayFrom) or its inverse
  // transform (FTConvertFrom); unchanged when that cannot be made. No undo.
  void FTDisplayFrom(TVXFtImage* ft);
  void FTConvertFrom(TVXFtImage* ft);
  // vx24RGB: clears the rectangle tx1..tx2, ty1..ty2 of the spectrum
  // picture (the preview's, of the image reduced by
  // TVXFtImage::CalcSuitableSourceSize) in the image's transform, grey or
  // colour, and transforms back. Unchanged when the grid is beyond the
  // library's limits.
  void FTClearZone(int32_t tx1, int32_t ty1, int32_t tx2, int32_t ty2, bool GrayScale);
  // vx24RGB, the whole image (it doubles its height): a mirror image below
  // the picture whose alpha fades from percentage per cent of the picture's
  // to minAlpha, bounded by maxAlpha.
  void Reflection(int32_t minAlpha, int32_t maxAlpha, int32_t percentage);
  // vx8g, vx24RGB (and the alpha channel): smears along angle (degrees, 0 to
  // the right, 90 downward) over max(2 radius + 1, 3) pixels with Gaussian
  // weights of sigma; nothing for sigma < 1.
  void MotionBlur(double angle, int32_t radius, int32_t sigma);
  // vx1g, vx8g, vx24RGB: Gaussian noise of mean and stdDev in units of full
  // intensity (0.5 is mid-grey).
  void Random(double mean, double stdDev);

  // ---- lens, wave and bump mapping (vx24RGB; proc/distort.h) ----
  // An elliptical lens of Width x Height centred on (cx, cy) of the work
  // bitmap; nothing visible for |Refraction| < 1.
  void Lens(int32_t cx, int32_t cy, int32_t Width, int32_t Height, double Refraction);
  // Concentric ripples from the centre; phase in degrees.
  void Wave(int32_t amplitude, int32_t wavelength, int32_t phase, bool reflective);
  // Lights the image as a relief of its grey levels; pcf per cent of each
  // pixel is kept.
  void BumpMapping(int32_t LightX, int32_t LightY, int32_t LampX, int32_t LampY, int32_t pcf, TRGB Color);

  // ---- perspective and 3D projection (vx24RGB; proc/perspective.h) ----
  // Draws Source onto the quad x0, y0 .. x3, y3 of the work bitmap with
  // Transparency 255 (see VXDrawToQuad).
  void PerspectiveDraw(TVXBitmap* Source, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                       int32_t x3, int32_t y3, int32_t alphaMin, int32_t alphaMax, bool mergeAlpha);
  // Source fitted into destWidth x destHeight keeping its aspect ratio, or
  // scaled by scale, placed in 3D (VXProjectDraw3D, mode 2) and drawn; the
  // quad it was drawn onto.
  TVXQuadCoords ProjectDraw(TVXBitmap* Source, int32_t centerDestX, int32_t centerDestY, int32_t destWidth,
                            int32_t destHeight, double depth, int32_t translateX, int32_t translateY, double rotateX,
                            double rotateY, int32_t specularAlphaMin, int32_t specularAlphaMax, bool mergeAlpha);
  TVXQuadCoords ProjectDraw(TVXBitmap* Source, int32_t centerDestX, int32_t centerDestY, double scale, double depth,
                            int32_t translateX, int32_t translateY, double rotateX, double rotateY,
                            int32_t specularAlphaMin, int32_t specularAlphaMax, bool mergeAlpha);

  // ---- fills, marks, comparisons and small effects (proc/marks.h) ----
  // Any format: the work rectangle takes FillColor (VXDoFill).
  void Fill(TRGB FillColor);
  void Fill(TColor FillColor);
  // vx24RGB: a dot of Color every Frequency + 1 pixels in both directions.
  void PaintMark(int32_t Frequency, TRGB Color);
  // vx24RGB: a round marker of Width around (x, y) that paints Color only
  // over pixels within Tolerance of BackgroundColor (alpha 255 where the
  // image has an alpha channel), then asks the attached viewer to repaint
  // the marker's screen area. No undo.
  void PaintPenMarker(int32_t x, int32_t y, int32_t Width, TColor Color, TColor BackgroundColor, int32_t Tolerance);
  // True when SecondImage (vx24RGB, the same size) equals the vx24RGB image;
  // the outputs receive the smallest and largest of the blue, green and red
  // values of each metric (PSNR 0 for equal channels). False, with the
  // outputs untouched, when the images cannot be compared.
  bool ComputeImageEquality(TVXBitmap* SecondImage, double& psnr_min, double& psnr_max, double& mse_min,
                            double& mse_max, double& rmse_min, double& rmse_max, double& pae_min, double& pae_max,
                            double& mae_min, double& mae_max);
  // 1 - the mean grey difference / 255 over the common area of the two
  // vx24RGB images; DiffBitmap (vx8g or vx8p, else unused) receives the
  // differences. 0 when the images cannot be compared.
  double CompareWith(TVXBitmap* SecondImage, TVXBitmap* DiffBitmap);
  // vx24RGB: tones down pixels of strong redness.
  void RemoveRedEyes();
  // vx24RGB, the whole work bitmap: VXDoRadialStretch with each channel's
  // coefficients.
  void RadialStretch(double ARed, double BRed, double CRed, double DRed, double AGreen, double BGreen, double CGreen,
                     double DGreen, double ABlue, double BBlue, double CBlue, double DBlue);

  // ---- data hidden in the pixels (vx24RGB, whole image) ----
  // One bit in the low bit of every colour byte, row by row from the top:
  // an 8-byte header (four zero bytes and the count of data bytes), then the
  // data; carrier bytes change by at most one (255 becomes 254).
  // (W x H x 3) div 8 - 8, the data bytes the image holds (negative when the
  // header does not fit); 0 when the format check fails.
  int32_t GetHiddenDataSpace();
  // Hides count bytes of data and returns the number stored, the count that
  // the header records: min(count, GetHiddenDataSpace()). Count -1 spoils
  // the header (seven bytes of 0xFF) and returns -1. Nothing is written, and
  // 0 returned, for another negative count, an image too small for the
  // header or a failed format check.
  int32_t WriteHiddenData(const void* data, int32_t count);
  // The hidden count (at most what the image holds after the header), 0 when
  // the header is not valid; copies up to maxlen of the bytes into data (no
  // buffer, or maxlen 0 or less: only the count).
  int32_t ReadHiddenData(void* data, int32_t maxlen);
  int32_t WriteHiddenText(const std::string& text);
  std::string ReadHiddenText();
  // Overwrites the whole room with zeros, then hides nothing.
  void ClearHiddenText();

  // ---- scrambling of the pixel data (proc/encrypt.h) ----
  // Scrambles or restores the whole bitmap (any format; the selection is
  // ignored), then its alpha channel. Scrambling, not protection: the same
  // key restores the image. The pass-string forms key with VXPasskeyToKey;
  // the key forms take the first 16 bytes of Key and raise EVXException,
  // changing nothing, when it holds fewer.
  void Encrypt(const std::string& Passkey, TVXEncryptionAlgorithm Algorithm);
  void Decrypt(const std::string& Passkey, TVXEncryptionAlgorithm Algorithm);
  void Encrypt(std::span<const uint8_t> Key, TVXEncryptionAlgorithm Algorithm);
  void Decrypt(std::span<const uint8_t> Key, TVXEncryptionAlgorithm Algorithm);

 private:
  // The two selection pastes (Stretch: SelPasteFromClipStretch).
  void SelPaste(bool MergeAlpha, bool MaintainAspectRatio, bool Stretch);
  // The selection's DIB (and raw dump) on the clipboard.
  bool SelCopy(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXMask* mask, bool UseInternalFormat);
  // Whole-image operations: the format guard, then the undo snapshot.
  bool BeginWholeImage(TVXPixelFormatSet AllowedFormats, const std::string& Caption);
  // Update, then DoFinishWork.
  void EndWholeImage();

  void ViewerBitmapChanged(bool Destroying) override;
  // The picture Make draws from ft replaces the image (FTDisplayFrom,
  // FTConvertFrom).
  void FTReplaceImage(TVXFtImage* ft, void (TVXFtImage::*Make)(TVXBitmap*));
  // The vector-object viewer attached, or nullptr.
  TVXViewHost* VectView() const;
  // The format guard and the work bitmap of the two Begin functions (the
  // selection copy takes the alpha channel along WithAlpha).
  bool BeginWork(TVXPixelFormatSet allowedFormats, int32_t& x1, int32_t& y1, int32_t& x2, int32_t& y2,
                 TVXBitmap*& ProcBitmap, TVXMask*& mask, bool WithAlpha);
  // Begin, Work(work bitmap, x1, y1, x2, y2), End and DoFinishWork; false
  // when the operation did not start.
  template <typename Work>
  bool RunOperation(TVXPixelFormatSet Formats, const std::string& Caption, Work work);
  // Whole-image edits that do not use the selection frame: the format check
  // with every format accepted, then the undo snapshot under Caption.
  bool BeginCanvasEdit(const std::string& Caption);
  // Encrypt and Decrypt by key.
  void ScramblePixels(std::span<const uint8_t> Key, TVXEncryptionAlgorithm Algorithm, bool Encipher);

  // One undo or redo entry.
  struct TVXUndoEntry;
  using TVXUndoList = std::vector<std::unique_ptr<TVXUndoEntry>>;
  // Snapshot of Source for the given list; false when none is made (Saved
  // tells whether the guards let the save go ahead).
  bool SaveEntry(TVXUndoList& List, TVXUndoSource Source, bool& Guarded);
  void RestoreEntry(TVXUndoList& List, int32_t Position, bool IsUndo, bool AutoRedo);
  void ReplayLayers(TMemoryStream* Stream);

  bool fAutoUndo = false;
  // False after AttachedVXBitmap was written nil while a viewer stays
  // attached: the component then only listens for the viewer's destruction.
  bool fFollowViewBitmap = true;
  // The selection copy between BeginImageProcessing and EndImageProcessing.
  std::unique_ptr<TVXBitmap> fSelectionCopy;
  TVXUndoList fUndoList;
  TVXUndoList fRedoList;
  TColor fBackground = 0;
  TPRPreviewsParams fPreviewsParams = TPRPreviewsParams((1u << prppShowResetButton) | (1u << prppHardReset));
  bool fPreviewFontEnabled = false;
  std::string fFiltersInitialDir;
  std::vector<std::string> fPreviewsLog;
  bool fAutoConvertFormat = true;
  TVXLocation fUndoLocation = vxFile;
  int32_t fUndoLimit = 1;
  int32_t fMViewIndex = 0;
  std::unique_ptr<TIPDialogParams> fIPDialogParams;
  std::unique_ptr<TFont> fPreviewFont;
  // The pan-zoom source goes after the engine that borrows it.
  std::unique_ptr<TVXBitmap> fTransitionFullImage;
  std::unique_ptr<TVXTransitionFrameMaker> fTransitionEffects;
  bool fTransitionPrepared = false;
};

// ---------------------------------------------------------------------------
// Small routines

int64_t VXCeil(double x);   // Trunc(x), plus 1 for a positive fraction
int64_t VXFloor(double x);  // Trunc(x), minus 1 for a negative fraction
TRGB VXMakeRGB(int32_t r, int32_t g, int32_t b);
TRGB48 VXMakeRGB48(int32_t r, int32_t g, int32_t b);
// Bytes blue, green, red, alpha as one 32-bit value (blue in the low byte).
uint32_t VXMakeRGBA(int32_t r, int32_t g, int32_t b, int32_t a);
// VXRGBToGray, VXTRGBToColor and VXColorToTRGB are the core's (core/pixels.h).
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

// The smallest rectangle (inclusive corners) holding every pixel whose alpha
// is not 0; the whole image without an alpha channel; (width, height, -1, -1)
// as left, top, right, bottom when every alpha is 0.
void VXFindOpaqueBounds(TVXBitmap* Bitmap, TRect& Rect);

// vx24RGB only: every pixel whose alpha is 0 gets Color.
void VXSetTransparentPixelsColor(TVXBitmap* Bitmap, TRGB Color);

// Start-up and shut-down of the processing module (library start-up slots):
// the 1-bit expansion table, the filter presets and the clipboard format
// "VEXLANE RAW FORMAT"; the shut-down frees the presets.
void VXProcUnitInit();
void VXProcUnitFinal();
// The id of the clipboard format "VEXLANE RAW FORMAT" (0 before start-up).
uint32_t VXRawClipboardFormat();

