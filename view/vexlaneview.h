// TVexlaneView: the single-image viewer. It shows its current bitmap (the
// current layer's) zoomed and scrolled in its client area, owns its layers,
// its I/O and processing components (made on first use and attached to
// itself), and recomputes its whole view in Update. Zoom, view origin,
// scroll bars, wheel, keys and the mapping between client and bitmap
// coordinates are in vexlaneview_zoom.cpp; the layer list in
// vexlaneview_layers.cpp.
//
// Worker threads never touch the viewer: they post the private messages
// 0x1F58 (update), 0x1F5B (progress, WParam percent) and 0x1F5C (end of
// work) to its window, handled on the viewer's thread.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/layer.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "proc/undosource.h"
#include "view/background.h"
#include "view/gestures.h"
#include "view/transition_catalogue.h"
#include "view/transitions.h"
#include "view/viewparams.h"
#include "view/vxview.h"

class TVexlaneIO;
class TVexlaneProc;
class TVXMask;
class TTimer;
class TImage;
class TStream;
class TVexlaneView;
struct GESTUREINFO;

// Selection operations: replace the selection or add to it.
enum TVXSelOp : uint8_t { vxspReplace, vxspAdd };
enum TVXMagicWandMode : uint8_t { vxwInclusive, vxwExclusive, vxwGlobal };
// Selection options (bit 0 first).
enum TVXSelectionOption : uint8_t {
  vxsoAnimated,
  vxsoSizeable,
  vxsoMoveable,
  vxsoFilled,
  vxsoCutBorders,
  vxsoMarkOuter,
  vxsoCanScroll,
  vxsoSelectTranspLayers,
  vxsoRightButtonSelectLayers,
  vxsoRightButtonTerminatePolySelect,
  vxsoDisableOneClickDeselect,
  vxsoDisableNewSelection,
  vxsoShowCenter
};
using TVXSelectionOptions = uint16_t;
constexpr TVXSelectionOptions VXSelOpt(TVXSelectionOption o) { return TVXSelectionOptions(1u << o); }
enum TVXGripShape : uint8_t { vxgsBox, vxgsCircle };
enum TVXGrip : uint8_t {
  vxNone,
  vxTopLeft,
  vxTopRight,
  vxBottomRight,
  vxBottomLeft,
  vxLeftSide,
  vxRightSide,
  vxTopSide,
  vxBottomSide,
  vxRotationCenter
};
// What the mouse does in the viewer (bits of mi...).
enum TVXMouseInteractItem : uint8_t {
  miZoom,
  miScroll,
  miSelect,
  miSelectPolygon,
  miSelectCircle,
  miSelectZoom,
  miSelectMagicWand,
  miSelectLasso,
  miMoveLayers,
  miResizeLayers,
  miRotateLayers,
  miMovingScroll
};
// When a layer resized by its grips keeps its height / width ratio.
enum TVXLayersResizeAspectRatio : uint8_t { vxarDisabled, vxarALTKey, vxarAlways, vxarAlwaysOnCornerGrip };
using TVXMouseInteract = uint16_t;
using TVXGripEvent = std::function<void(void* Sender, TVXGrip Grip)>;
// (Sender, polygon index, point index, Canvas, x, y).
using TVXDrawPolygonEvent =
    std::function<void(void* Sender, int32_t Polygon, int32_t Point, TCanvas* Canvas, int32_t x, int32_t y)>;

// An animated polygon ("marching ants"): points in bitmap pixels of the
// current layer, break markers (x = y = 0xFFFFF) between sub-polygons.
struct TVXAnimPoly {
  std::vector<TPoint> Points;  // Points.size() is the capacity
  int32_t Count = 0;
  TColor Color1 = 0, Color2 = 0;
  bool Animated = false;
  int32_t Phase = 0;        // 0..9, one step a timer tick
  int32_t DashCounter = 0;  // running pixel counter while drawing
  TCanvas* Canvas = nullptr;
  int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool Enabled = true;
  bool Sizeable = false;
  bool ShowCenter = false;
  TBitmap* PixelBitmap = nullptr;  // the viewer's 1 x 1 drawing bitmap
};

// Private messages of the viewer's window.
constexpr UINT VXM_VIEW_UPDATE = 0x1F58;
constexpr UINT VXM_VIEW_DSHOW_FRAME = 0x1F59;
constexpr UINT VXM_VIEW_DSHOW_EVENT = 0x1F5A;
constexpr UINT VXM_VIEW_PROGRESS = 0x1F5B;
constexpr UINT VXM_VIEW_FINISHWORK = 0x1F5C;
constexpr UINT VXM_VIEW_MEDIAFOUNDATION = 0x1F5E;

enum TVXUpdateReason : uint8_t { vxurDefault, vxurScrolled, vxurZoomed, vxurSelectionChanged, vxurComponentStuffChanged };
enum TVXSmoothTask : uint8_t { vxstScroll, vxstZoom };

// Options of a navigator link (bits of vxno...).
enum TVXNavigatorOption : uint8_t {
  vxnoMouseWheelZoom,
  vxnoMarkOuter,
  vxnoDontAssignNavBitmap,
  vxnoDontPaintSrcBitmap,
  vxnoDontRefreshSrcIfNavNotFocused
};
using TVXNavigatorOptions = uint8_t;

using TVXAcquireBitmapEvent =
    std::function<void(void* Sender, TVXBitmap* ABitmap, int32_t DpiX, int32_t DpiY, bool& Handled)>;
using TVXMediaFoundationNotifyEvent =
    std::function<void(void* Sender, void* MediaFoundationObject, TVXMediaFountationNotifyType NotifyType)>;
using TVXSetCursorEvent = std::function<void(void* Sender, TCursor& Cursor)>;
using TVXOnDrawCanvas = std::function<void(void* Sender, TCanvas* ACanvas, const TRect& ARect)>;
using TVXOnDrawBackground = std::function<void(void* Sender, TCanvas* ACanvas, const TRect& ARect, bool& Handled)>;
using TViewChangingEvent = std::function<void(void* Sender, int32_t Change, double newValue)>;
using TViewChangeEvent = std::function<void(void* Sender, int32_t Change)>;
using TVXZoomEvent = std::function<void(void* Sender, double& NewZoom)>;
using TVXSpecialKeyEvent = std::function<void(void* Sender, uint16_t CharCode, TShiftState Shift, bool& Handled)>;
using TVXVirtualKeyEvent = std::function<void(void* Sender, uint32_t VirtualKey, uint32_t KeyData, bool KeyDown)>;
enum TVXSoftCropMode : uint8_t { vxsfNone, vxsfAlphaBlend, vxsfGrid, vxsfAdd };
using TVXDrawLayerEvent = std::function<void(void* Sender, TVXBitmap* Dest, int32_t LayerIndex)>;

enum TVXLayerEvent : uint8_t {
  vxlSelected,
  vxlMoved,
  vxlResized,
  vxlMoving,
  vxlResizing,
  vxlRotating,
  vxlRotated,
  vxlBeginResizing,
  vxlBeginMoving
};
using TVXLayerNotifyEvent = std::function<void(void* Sender, int32_t Layer, TVXLayerEvent Event)>;
using TVXFinishSmoothTaskEvent = std::function<void(void* Sender, TVXSmoothTask Task)>;


// Frame posting: the target viewer shows the source viewer's image with a
// delay. A ring of Delay div Interval + 1 frames is sampled every Interval
// ms; once Delay has passed, each tick shows the oldest frame on the target.
class TVXPostFramesTarget {
 public:
  // Raises EVXException "Frame posting needs an interval above 0" for an
  // Interval of 0 or less; a negative Delay counts as 0.
  TVXPostFramesTarget(TVexlaneView* Source, TVexlaneView* Target, int32_t Delay, int32_t Interval);
  ~TVXPostFramesTarget();
  TVXPostFramesTarget(const TVXPostFramesTarget&) = delete;
  TVXPostFramesTarget& operator=(const TVXPostFramesTarget&) = delete;

  TVexlaneView* FSource;
  TVexlaneView* FTarget;
  int32_t FDelay;
  int32_t FInterval;
  std::unique_ptr<TTimer> FTimer;
  std::vector<std::unique_ptr<TVXBitmap>> FBuffers;
  int32_t FElapsed = 0;
  int32_t FNextToRead = 0;
  int32_t FNextToWrite = 0;

  // One sampling step (the timer's tick).
  void Tick();
};

class TVexlaneView : public TVXView {
 public:
  explicit TVexlaneView(TComponent* Owner = nullptr);
  ~TVexlaneView() override;

  TVXViewHostKind HostKind() const override { return vxvhImageView; }

  // ---- owned components (made on first use, attached to the viewer) ----
  TVexlaneIO* IO();
  TVexlaneProc* Proc();

  // ---- bitmaps ----
  TBitmap* GetBitmap() override { return fBitmap; }
  TVXBitmap* GetVXBitmap() override { return fVXBitmap; }
  TVXBitmap* GetAlphaChannel() override;
  bool GetHasAlphaChannel() override;
  // Removes the current bitmap's alpha channel (merged over the background
  // with Merge), then Update.
  void RemoveAlphaChannel(bool Merge) override;
  bool LegacyBitmap() const override { return fLegacyBitmap; }
  // Off: the image leaves its platform bitmap (GetBitmap() is nullptr); on:
  // it moves into one. The attached components are told.
  void SetLegacyBitmap(bool Value) override;
  bool EnableAlphaChannel() const { return fEnableAlphaChannel; }
  void SetEnableAlphaChannel(bool Value);
  // The current layer shows Bmp without owning it (nullptr: a new empty
  // bitmap of the layer's own).
  void SetExternalBitmap(TVXBitmap* Bmp);
  // Resamples the image to NewDPI (its height height / DpiY x NewDPI) and
  // sets the resolution; nothing while a resolution is 0 or NewDPI <= 0.
  void ChangeResolution(int32_t NewDPI, TResampleFilter ResampleFilter);
  // A bitmap (TVXBitmap*), a platform bitmap (TBitmap*) or nothing: the
  // current bitmap becomes a copy, or is cleared.
  void Assign(TVXBitmap* Source);
  void Assign(TBitmap* Source);
  // Background, resolution, I/O parameters and every layer of Source.
  void Assign(TVexlaneView* Source);

  // ---- image state ----
  void ImageChange() override;
  // The current bitmap filled with the background, without alpha channel.
  void Clear();
  // The current bitmap 1 x 1, cleared; no image set.
  void Blank();
  bool IsEmpty() { return GetIsEmpty(); }
  bool IsEmpty2() { return GetIsEmpty2(); }
  virtual bool GetIsEmpty();
  virtual bool GetIsEmpty2();

  // ---- update and locking ----
  // Recomputes the view (layers, automatic zoom, scroll bars, layout) and
  // invalidates the window.
  void Update() override;
  void UpdateNoPaint();
  void LockUpdate() override;
  void UnLockUpdate();
  void UnLockUpdateEx() override;
  int32_t UpdateLockCount() const { return fUpdateLocked; }
  void LockPaint() override;
  int32_t UnLockPaint() override;
  int32_t NPUnLockPaint() override;
  int32_t LockPaintCount() const { return fLockPaint; }
  TVXUpdateReason UpdateReason() const { return fUpdateReason; }
  void SetUpdateReason(TVXUpdateReason Value) { fUpdateReason = Value; }
  bool OffScreenPaint() const { return fOffscreenPaint; }
  void SetOffScreenPaint(bool Value) { fOffscreenPaint = Value; }

  // ---- control ----
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  void SetBackground(TColor Value) override;
  TVXBackgroundStyle BackgroundStyle() const { return fBackgroundStyle; }
  void SetBackgroundStyle(TVXBackgroundStyle Value);
  int32_t ClientWidth() { return GetClientWidth(); }
  int32_t ClientHeight() { return GetClientHeight(); }
  virtual int32_t GetClientWidth();
  virtual int32_t GetClientHeight();
  virtual bool CanPaint();
  void Notification(TComponent* AComponent, TOperation Operation) override;
  bool DrawVersion() const { return fDrawVersion; }
  void SetDrawVersion(bool Value);
  std::string VexlaneVersion() const { return "6.0.0"; }
  void SetVexlaneVersion(const std::string&) {}
  bool DoubleBuffer() const { return fDoubleBuffer; }
  void SetDoubleBuffer(bool Value) { fDoubleBuffer = Value; }
  int32_t MinBitmapSize() const { return fMinBitmapSize; }
  void SetMinBitmapSize(int32_t Value) { fMinBitmapSize = Value; }
  bool UseDrawDibDraw() const { return fUseDrawDibDraw; }
  void SetUseDrawDibDraw(bool Value) { fUseDrawDibDraw = Value; }
  int32_t DelayTimer() const { return fDelayTimer; }
  // A positive value makes the animation timer (when missing) run at that
  // interval; a negative one lets the interval follow the drawing time.
  void SetDelayTimer(int32_t Value);
  bool Playing() const { return fPlaying; }
  bool PlayLoop() const { return fPlayLoop; }
  void SetPlayLoop(bool Value) { fPlayLoop = Value; }
  // True starts playing the frames of a multi-frame file on the play timer
  // (window timer 1, each frame for its own delay); false stops.
  void SetPlaying(bool Value);

  // ---- transitions (vexlaneview_transitions.cpp) ----
  // Paints the current view as the picture a transition starts from.
  void PrepareTransition();
  // Animates from the prepared picture to the current view (Duration ms,
  // 1 when 0 or less); for vxttPanZoom the view shows the end rectangle
  // afterwards. Nothing while the client area has no width or height.
  void RunTransition(TVXTransitionType Effect, int32_t Duration);
  // With pan-and-zoom rectangles in bitmap pixels, each widened, centred, to
  // the client's aspect with bMaintainAspectRatio.
  void RunTransition(TVXTransitionType Effect, int32_t Duration, const TRect& StartRect, const TRect& EndRect,
                     bool bMaintainAspectRatio);
  // With the rectangles of a kind of pan and zoom (CalcPanZoomRects).
  void RunTransition(TVXTransitionType Effect, int32_t Duration, TVXPanZoomType PanZoomEffect, int32_t iZoomLevel);
  // Frames on request (CreateTransitionBitmap) from OriginalBitmap to
  // TargetBitmap, at iWidth x iHeight when iWidth is above 0. Pan and zoom
  // moves over OriginalBitmap, which becomes the current bitmap.
  void PrepareTransitionBitmaps(TBitmap* OriginalBitmap, TBitmap* TargetBitmap, TVXTransitionType Effect,
                                int32_t iWidth = 0, int32_t iHeight = 0);
  void PrepareTransitionBitmaps(TBitmap* OriginalBitmap, TBitmap* TargetBitmap, TVXTransitionType Effect,
                                const TRect& StartRect, const TRect& EndRect, bool bMaintainAspectRatio,
                                int32_t iWidth = 0, int32_t iHeight = 0);
  // The frame at TransitionProgress per cent into DestBitmap.
  void CreateTransitionBitmap(float TransitionProgress, TBitmap* DestBitmap);
  void AbortTransition();
  // The engine; nullptr until a transition call or property made it.
  TVXTransitionEffects* TransitionEffects() const { return fTransition.get(); }
  bool TransitionRunning() const;
  TVXTransitionTiming TransitionTiming();
  void SetTransitionTiming(TVXTransitionTiming Value);
  TVXTransitionStopEvent OnTransitionStop() const;
  void SetOnTransitionStop(TVXTransitionStopEvent Value);
  TVXTransitionStepEvent OnTransitionStep() const;
  void SetOnTransitionStep(TVXTransitionStepEvent Value);
  TVXOnTransitionPaint OnTransitionPaint() const;
  void SetOnTransitionPaint(TVXOnTransitionPaint Value);

  // ---- painting (vexlaneview_paint.cpp) ----
  // Brings the client rectangle Rect up to date on the window from the
  // back buffer, rendering it first when marked.
  void PaintRect(const TRect& Rect);
  // Renders the view into ABitmap (24 bits, the client area's size):
  // background, every visible layer, soft crop and, with DrawGadgets, the
  // grid; UpdRect (or nullptr) limits the drawing.
  virtual void PaintToEx(TVXBitmap* ABitmap, uint8_t** ABitmapScanline, const TRect* UpdRect, bool DrawBackground,
                         bool DrawGadgets);
  // Called after each layer is drawn (nothing here).
  virtual void AfterDrawLayer(int32_t LayerIndex, TVXBitmap* Dest, const TRect* UpdRect);
  // The visible part of the back buffer to (0, 0) of Canvas.
  void DrawTo(TCanvas* ACanvas);
  // Marks the back buffer for rendering and invalidates Rect.
  void UpdateRect(const TRect& Rect);
  void UpdateRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override { UpdateRect(TRect{x1, y1, x2, y2}); }
  // The background style and wallpaper over (0, 0, Width, Height) of
  // ACanvas (-1: the control's size), without image and bitmap.
  void DrawBackgroundToCanvas(TCanvas* ACanvas, int32_t Width = -1, int32_t Height = -1);
  TBitmap* BackBuffer();
  TVXBitmap* BackBufferBitmap() { return fTBitmap.get(); }
  TColor GradientEndColor() const { return fGradientEndColor; }
  void SetGradientEndColor(TColor Value);
  void SetChessboardStyle(int32_t Size, TBrushStyle BrushStyle);
  int32_t ChessboardSize() const { return fChessboardSize; }
  TPicture* WallPaper() { return fWallPaper.get(); }
  void SetWallPaper(TPicture* Value);
  // ---- gadgets (vexlaneview_gadgets.cpp) ----
  // A pixel of the current layer ringed by the grid step ((-1, -1): none);
  // setting it re-renders the old and the new pixel's area and paints.
  TPoint HighlightedPixel() const { return fHighlightedPixel; }
  void SetHighlightedPixel(TPoint Value);
  TColor HighlightedPixelColor() const { return fHighlightedPixelColor; }
  void SetHighlightedPixelColor(TColor Value) { fHighlightedPixelColor = Value; }
  TVXWallPaperStyle WallPaperStyle() const { return fWallPaperStyle; }
  void SetWallPaperStyle(TVXWallPaperStyle Value);
  bool DisplayGrid() const { return fDisplayGrid; }
  void SetDisplayGrid(bool Value);
  int32_t DisplayGridLyr() const { return fDisplayGridLyr; }
  void SetDisplayGridLyr(int32_t Value);
  TVXSoftCropMode SoftCrop() const { return fSoftCrop; }
  void SetSoftCrop(TVXSoftCropMode Value);
  int32_t SoftCropValue() const { return fSoftCropValue; }
  void SetSoftCropValue(int32_t Value);
  TVXDrawLayerEvent OnDrawLayer;

  // ---- cursors ----
  TCursor Cursor() const { return fLCursor; }
  // OnSetCursor may change the id; it becomes the user's and the shown
  // cursor.
  void SetCursor(TCursor Value);
  // An interaction's cursor (with ForceScreen also the screen's).
  void SetInteractionCursor(TCursor Value, bool ForceScreen);
  // Back to the user's cursor (and the saved screen cursor).
  void RestoreCursor();
  TCursor CurrentCursor() const { return fCursor; }
  bool AutoCursors() const { return fAutoCursors; }
  void SetAutoCursors(bool Value) { fAutoCursors = Value; }

  // ---- navigator ----
  void SetNavigator(TVexlaneView* Nav, TVXNavigatorOptions Options);
  TVexlaneView* Navigator() const { return fNavigator; }
  bool IsNavigator() const { return fIsNavigator; }

  // ---- layers (layer 0 holds the viewer's bitmap; vexlaneview_layers.cpp) ----
  int32_t LayersCount() const override { return int32_t(fLayers.size()); }
  int32_t LayersCurrent() const override { return fLayersCurrent; }
  // Makes layer Value current (with LayersSelectConstrains, the nearest
  // selectable one at or below it); its bitmap becomes the viewer's image.
  virtual void SetLayersCurrent(int32_t Value);
  // The layer at Index; raises EVXException "List index out of bounds (n)"
  // for a bad index.
  TVXLayer* Layers(int32_t Index) const override;
  TVXLayer* CurrentLayer() const { return Layers(fLayersCurrent); }
  const TVXLayerList& LayersList() const { return fLayers; }
  TVXBitmap* LayerBitmap(int32_t Index) override;
  // The index of Layer in the list, -1 when it is not there.
  int32_t LayerIndex(const TVXLayer* Layer) const;
  // The mask layer of layer Index (the one directly above, when it is a
  // mask), else nullptr.
  TVXLayer* LayerMask(int32_t Index) const;
  // Each adds at the top, makes the new layer current and returns its index:
  // a layer like the current image filled with the background; one of a
  // size and pixel format at a position; one loaded from a file; one of a
  // bitmap (the bitmap itself, or a copy with DoCopy; freed with the layer).
  int32_t LayersAdd();
  int32_t LayersAdd(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat, int32_t PosX, int32_t PosY) override;
  int32_t LayersAdd(const std::string& FileName, int32_t PosX, int32_t PosY);
  int32_t LayersAdd(TVXBitmap* Bitmap, bool DoCopy);
  // A new layer at Position (below a mask standing there), made current.
  // Raises the list's index error for a Position outside the list.
  void LayersInsert(int32_t Position);
  // Removes the layer and its mask (never the last layer).
  virtual void LayersRemove(int32_t idx);
  // Back to layer 0 alone with its defaults, cleared.
  void LayersClear() override;
  // Moves a layer with its mask; NewIndex may be -9 (bottom), -8 (one
  // down), -7 (one up) or -6 (top).
  void LayersMove(int32_t CurIndex, int32_t NewIndex);
  // The top-most layer under client point (x, y), or -1.
  int32_t FindLayerAt(int32_t x, int32_t y, bool SelectablesOnly = true);
  // Whether client point (x, y) lies on layer idx's painted area.
  bool IsPointInsideLayer(int32_t x, int32_t y, int32_t idx);
  // Client and layer-bitmap coordinates of a layer.
  int32_t ConvXScr2Bmp(const TVXLayer* Layer, int32_t x) const;
  int32_t ConvYScr2Bmp(const TVXLayer* Layer, int32_t y) const;
  int32_t ConvXBmp2Scr(const TVXLayer* Layer, int32_t x) const;
  int32_t ConvYBmp2Scr(const TVXLayer* Layer, int32_t y) const;
  virtual void DoLayerNotify(int32_t Layer, TVXLayerEvent Event);
  // Stores the current bitmap into the current layer and takes the image
  // size into MaxLayerWidth/Height (with LayersSync the largest layer, every
  // layer brought to that size).
  void SyncLayers();
  int32_t MaxLayerWidth() const { return fMaxLayerWidth; }
  int32_t MaxLayerHeight() const { return fMaxLayerHeight; }
  bool LayersSync() const { return fLayersSync; }
  void SetLayersSync(bool Value);
  bool LayersDrawBox() const { return fLayersDrawBox; }
  void SetLayersDrawBox(bool Value);
  bool LayersSelectConstrains() const { return fLayersSelectConstrains; }
  void SetLayersSelectConstrains(bool Value) { fLayersSelectConstrains = Value; }
  // How rotated layers are drawn while shown.
  TVXAntialiasMode LayersRotationFilter() const { return fLayersRotationFilter; }
  void SetLayersRotationFilter(TVXAntialiasMode Value) { fLayersRotationFilter = Value; }
  bool LayersRotationAntialias() const { return fLayersRotationAntialias; }
  void SetLayersRotationAntialias(bool Value) { fLayersRotationAntialias = Value; }
  bool LayersRotationUseFilterOnPreview() const { return fLayersRotationUseFilterOnPreview; }
  void SetLayersRotationUseFilterOnPreview(bool Value) { fLayersRotationUseFilterOnPreview = Value; }
  bool LayersRotationDelayFilterOnPreview() const { return fLayersRotationDelayFilterOnPreview; }
  void SetLayersRotationDelayFilterOnPreview(bool Value) { fLayersRotationDelayFilterOnPreview = Value; }
  int32_t LayersRotateStep() const { return fLayersRotateStep; }
  void SetLayersRotateStep(int32_t Value) { fLayersRotateStep = Value; }
  bool AutoFixRotationBorders() const { return fAutoFixRotationBorders; }
  void SetAutoFixRotationBorders(bool Value) { fAutoFixRotationBorders = Value; }
  bool LayersAutoUndo() const { return fLayersAutoUndo; }
  void SetLayersAutoUndo(bool Value) { fLayersAutoUndo = Value; }
  TVXLayerGUID LayerGUID(int32_t Index) const override;
  void LayerSaveInfo(int32_t Index, TStream* Stream, bool FullBitmap) override;
  void LayerLoadInfo(int32_t Index, TStream* Stream) override;
  // A swap moved the shown layer's image into To: To becomes the current
  // layer and its bitmap the viewer's image.
  void LayerImageMoved(TVXLayer* From, TVXLayer* To) override;
  // The layers stream "VEXLANELAYERS" (vexlaneview_layerstream.cpp): every
  // layer's properties, then the images, compressed (-1: zlib over the raw
  // dump; -2: the raw dump; else the file type written by the I/O
  // component, 1 written as 8). Written at the stream's position.
  void LayersSaveToStream(TStream* Stream, int32_t CompressionFormat) override;
  // Replaces the layers from the stream at its position; False (nothing
  // changed) for another magic or a version not above 0. A damaged stream
  // raises EVXException "Damaged layers stream" with the viewer unchanged
  // when its property blocks are bad; a damaged image raises from its reader.
  bool LayersLoadFromStream(TStream* Stream) override;
  void LayersSaveToFile(const std::string& FileName, int32_t CompressionFormat) override;
  bool LayersLoadFromFile(const std::string& FileName);
  // Whether the stream holds a layers stream at its position (restored).
  static bool IsLayersStream(TStream* Stream);
  TVXLayerNotifyEvent OnLayerNotify;

  // ---- merging (vexlaneview_merge.cpp) ----
  // Merges two layers (in either order) into Destination: 24 bits, the
  // union of both display rectangles (layer 0's rectangle when the upper
  // layer is Cropped and the lower is layer 0), an alpha channel only when
  // some pixel is not opaque. Raises "Image too large" beyond the limit.
  void LayersMergeTo(int32_t Layer1, int32_t Layer2, TVXBitmap* Destination);
  // Both layers become one at the lower index (the upper one stays unless
  // RemoveUpperLayer), made current.
  void LayersMerge(int32_t Layer1, int32_t Layer2, bool RemoveUpperLayer);
  // The listed layers (empty: all) become one at the first listed index.
  // A bad index or one listed twice raises before anything changes.
  void LayersMerge(const std::vector<int32_t>& Layers);
  // Every layer drawn at 100 % into Destination, which grows to hold the
  // layers that are not Cropped (layer 0 moved right/down by what lies left
  // of or above it).
  void LayersDrawTo(TVXBitmap* Destination) override;
  // All layers replaced by layer 0 holding their drawing.
  void LayersMergeAll();

  // ---- layer grips (vexlaneview_gadgets.cpp) ----
  // The nine grip squares of a layer in client pixels (index = TVXGrip - 1).
  void CalcLayerGripCoords(int32_t Index, TRect (&Grips)[9]);
  // The current layer's first grip holding client point (x, y) (edges
  // inclusive); the rotation centre only with miRotateLayers.
  TVXGrip FindLayerGrip(int32_t x, int32_t y);
  // The current layer's grip whose centre is nearest to (x, y) (the first
  // of equals), with that distance.
  TVXGrip FindLayerGripDist(int32_t x, int32_t y, double& Distance);
  // Drawing of a layer's box (dotted, inverting by default), the dimmed area
  // outside the current layer, its eight grips and its rotation centre.
  virtual void DrawLayerOuter(TVXBitmap* ABitmap, int32_t Index);
  virtual void DrawLayerBox(TVXBitmap* ABitmap, int32_t Index);
  void DrawLayerGrips(TVXBitmap* ABitmap, int32_t Index);
  void DrawLayerRotationCenter(TVXBitmap* ABitmap, int32_t Index);
  void SetLayersGripStyle(TColor GripColor1, TColor GripColor2, TBrushStyle GripBrushStyle, int32_t GripSize,
                          TVXGripShape Shape);
  void SetLayersBoxStyle(TPenStyle PenStyle, TPenMode PenMode, int32_t PenWidth, TColor PenColor);
  int32_t LayersGripSize() const { return fLyrGripSize; }
  // (Sender, bitmap, layer): replaces the box's drawing.
  std::function<void(void* Sender, TVXBitmap* ABitmap, int32_t Layer)> OnDrawLayerBox;
  // (Sender, bitmap, layer, grip index 0..8, rectangle): replaces the grips'
  // drawing.
  std::function<void(void* Sender, TVXBitmap* ABitmap, int32_t Layer, int32_t Grip, const TRect& Rect)>
      OnDrawLayerGrip;

  // ---- making and fixing layers (vexlaneview_layertools.cpp) ----
  // Each returns the new layer's index: the selection (or the current
  // layer) copied at its place; the clipboard's image; a file (-1 and no
  // layer when it does not load); a text; the current alpha channel as
  // 8-bit grey.
  int32_t LayersCreateFromSelection();
  int32_t LayersCreateFromClipboard();
  int32_t LayersCreateFromFile(const std::string& FileName);
  int32_t LayersCreateFromText(const std::string& sText, const std::string& sFontName, int32_t iFontSize,
                               TColor cFontColor, TFontStyles Style, bool bAddShadow, int32_t iBlurRadius,
                               int32_t iShadowOffset, int32_t Angle, bool bAntiAlias);
  int32_t LayersCreateFromAlpha();
  // The current image becomes the alpha channel of layer DestLayer.
  void LayersCopyToAlpha(int32_t DestLayer);
  // Bakes a layer's (-1: every layer's) display size, transparent border or
  // rotation into its bitmap.
  void LayersFixSizes(int32_t layer);
  void LayersFixBorders(int32_t layer);
  void LayersFixRotations(int32_t layer);

  // ---- view state "VEXLANEVIEWSTATE" (vexlaneview_state.cpp) ----
  // The selection, zoom, origin, display options, mouse interaction and
  // every layer, at the stream's position.
  void SaveState(TStream* Stream);
  void SaveState(const std::string& FileName);
  // Another magic or a version not above 0: 20 bytes read, nothing changed
  // (False). A damaged stream raises before zoom, origin and options change.
  bool LoadState(TStream* Stream);
  bool LoadState(const std::string& FileName);
  // Back to one cleared layer, zoom 100 at the origin, centred, no
  // selection, default I/O parameters and no undo.
  void ResetState();

  // ---- selection (vexlaneview_selection.cpp, vexlaneview_selstream.cpp) ----
  // Points given to the select operations are client pixels (converted
  // through the current layer) or bitmap pixels of the current layer.
  TVXSelectionBase SelectionBase() const override { return fSelectionBase; }
  void SetSelectionBase(TVXSelectionBase Value) { fSelectionBase = Value; }
  bool Selected() const override { return fSel; }
  TVXMask* SelectionMask() override { return fSelectionMask.get(); }
  const TPoint* PolySelPoints() const override;
  int32_t PolySelCount() const override;
  // Polygon point idx (break markers as they are); (0, 0) outside the list.
  TPoint GetPolySel(int32_t idx) const;
  TVXAnimPoly* SelectionPolygon() const { return fHPolySel; }
  // A rectangle (corners in any order, right and bottom exclusive); equal
  // coordinates do nothing.
  virtual void Select(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXSelOp Op = vxspReplace);
  // The rectangle with the aspect-ratio shaping, optionally moved inside the
  // image (MoveInside) or squared (Square); no EndSelect.
  void SelectRectEx(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TVXSelOp Op, bool MoveInside, bool Square);
  void SelectEllipse(int32_t CenterX, int32_t CenterY, int32_t Width, int32_t Height, TVXSelOp Op = vxspReplace);
  void SelectRoundRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t RoundWidth,
                       int32_t RoundHeight, TVXSelOp Op = vxspReplace);
  // After a caller wrote into SelectionMask: Selected := mask not empty.
  void SelectCustom();
  void SelectMagicWand(int32_t x, int32_t y, TVXSelOp Op = vxspReplace);
  // Pixels whose red, green and blue each lie in StartColor..FinalColor.
  void SelectColors(TRGB StartColor, TRGB FinalColor, TVXSelOp Op = vxspReplace);
  void SelectColors(TRGB Color, TVXSelOp Op = vxspReplace);
  // Pixels of a palette index (vx8p images only).
  void SelectColors(int32_t ColorIndex, TVXSelOp Op = vxspReplace);
  virtual void AddSelPoint(int32_t x, int32_t y);
  void AddSelBreak();
  void DelLastSelPoint();
  // Fills the polygon into the mask with SelectionIntensity.
  virtual void EndSelect();
  void DeSelect();
  void InvertSelection();
  void MoveSelection(int32_t OffsetX, int32_t OffsetY);
  void MoveSelectionEx(int32_t OffsetX, int32_t OffsetY, bool CutBorders);
  bool IsPointInsideSelection(int32_t x, int32_t y);
  void MakeSelectionFeather(double Radius);
  void SetSelectedAreaAlpha(int32_t Alpha);
  void SetSelectedPixelsColor(TRGB Color);
  void SetAlphaRangePixelsColor(int32_t AlphaMin, int32_t AlphaMax, TRGB Color);
  void CopySelectionToVXBitmap(TVXBitmap* DestBitmap, bool FillBackground = true);
  void CopySelectionToBitmap(TBitmap* DestBitmap);
  // Dest: another viewer, a platform bitmap or an image control.
  void AssignSelTo(TVexlaneView* Dest);
  void AssignSelTo(TBitmap* Dest);
  void AssignSelTo(TImage* Dest);
  void CopyToBitmapWithAlpha(TBitmap* Dest, int32_t DestX, int32_t DestY);
  void CopyFromPolygon(TBitmap* Source, const TPoint* SrcPoly, int32_t SrcPolyCount, TPoint DstPoint);
  void CopyToPolygon(TBitmap* Dest, const TPoint* DstPoly, int32_t DstPolyCount, TPoint SrcPoint);
  void SetSelectionGripStyle(TColor GripColor1, TColor GripColor2, TBrushStyle GripBrushStyle, int32_t GripSize,
                             bool ExtendedGrips, TVXGripShape Shape);
  void GetSelectionGripStyle(TColor& GripColor1, TColor& GripColor2, TBrushStyle& GripBrushStyle, int32_t& GripSize,
                             bool& ExtendedGrips, TVXGripShape& Shape) const;
  void SetSelectionMarkOuterStyle(int32_t Alpha, TColor Color);
  // The selection's box: the polygon's while a shape is drawn or moved,
  // else the mask's.
  int32_t SelX1() const;
  int32_t SelY1() const;
  // A polygon, rectangle or ellipse is being drawn, resized or moved.
  bool Shaping() const;
  int32_t SelX2() const;
  int32_t SelY2() const;
  TVXRectangle SelectedRect() const;

  TVXSelectionOptions SelectionOptions() const { return fSelectionOptions; }
  void SetSelectionOptions(TVXSelectionOptions Value);
  bool HasSelectionOption(TVXSelectionOption o) const { return (fSelectionOptions & VXSelOpt(o)) != 0; }
  double SelectionAspectRatio() const { return fSelectionAspectRatio; }
  void SetSelectionAspectRatio(double Value);
  int32_t SelectionAbsWidth() const { return fSelectionAbsWidth; }
  void SetSelectionAbsWidth(int32_t Value) { fSelectionAbsWidth = Value; }
  int32_t SelectionAbsHeight() const { return fSelectionAbsHeight; }
  void SetSelectionAbsHeight(int32_t Value) { fSelectionAbsHeight = Value; }
  int32_t SelectionMaskDepth() const { return fSelectionMaskDepth; }
  void SetSelectionMaskDepth(int32_t Value);
  int32_t SelectionIntensity() const { return fSelectionIntensity; }
  void SetSelectionIntensity(int32_t Value);
  int32_t MagicWandTolerance() const { return fMagicWandTolerance; }
  void SetMagicWandTolerance(int32_t Value) { fMagicWandTolerance = Value; }
  TVXMagicWandMode MagicWandMode() const { return fMagicWandMode; }
  void SetMagicWandMode(TVXMagicWandMode Value) { fMagicWandMode = Value; }
  bool MagicWandMaxFilter() const { return fMagicWandMaxFilter; }
  void SetMagicWandMaxFilter(bool Value) { fMagicWandMaxFilter = Value; }
  TColor SelColor1() const { return fSelColor1; }
  void SetSelColor1(TColor Value);
  TColor SelColor2() const { return fSelColor2; }
  void SetSelColor2(TColor Value);
  bool VisibleSelection() const { return fVisibleSelection; }
  void SetVisibleSelection(bool Value);
  int32_t SelectionGridWidth() const { return fSelectionGridWidth; }
  void SetSelectionGridWidth(int32_t Value) { fSelectionGridWidth = Value; }
  int32_t SelectionGridHeight() const { return fSelectionGridHeight; }
  void SetSelectionGridHeight(int32_t Value) { fSelectionGridHeight = Value; }
  int32_t SelectionGridSize() const { return std::max(fSelectionGridWidth, fSelectionGridHeight); }
  void SetSelectionGridSize(int32_t Value) { fSelectionGridWidth = fSelectionGridHeight = Value; }
  bool ForceALTkey() const { return fForceALTkey; }
  void SetForceALTkey(bool Value) { fForceALTkey = Value; }
  bool DelayDisplaySelection() const { return fDelayDisplaySelection; }
  void SetDelayDisplaySelection(bool Value) { fDelayDisplaySelection = Value; }
  TVXMouseInteract MouseInteract() const { return fMouseInteract; }
  // Ends a polygon being drawn, keeps the items of Value that go together
  // (the first item newly set decides), bakes every layer rotation when
  // miRotateLayers is not kept, then stores the set and updates.
  virtual void SetMouseInteract(TVXMouseInteract Value);
  // The set that SetMouseInteract keeps of New when Old was set before.
  static TVXMouseInteract ResolveMouseInteract(TVXMouseInteract New, TVXMouseInteract Old);
  bool ZoomSelectionAspectRatio() const { return fZoomSelectionAspectRatio; }
  void SetZoomSelectionAspectRatio(bool Value) { fZoomSelectionAspectRatio = Value; }
  TVXLayersResizeAspectRatio LayersResizeAspectRatio() const { return fLayersResizeAspectRatio; }
  void SetLayersResizeAspectRatio(TVXLayersResizeAspectRatio Value) { fLayersResizeAspectRatio = Value; }

  // ---- drag geometry (vexlaneview_drag.cpp) ----
  // While the cursor lies outside the displayed image, scrolls the view
  // toward it (the press point and the remembered mouse positions follow);
  // true when the view moved.
  bool MouseMoveScroll();
  // The rectangle or ellipse being drawn, from the press point to client
  // point (x, y).
  void SelectRectDrag(int32_t x, int32_t y, TShiftState Shift);
  void SelectEllipseDrag(int32_t x, int32_t y, TShiftState Shift);
  // The grip of the rectangle selection at client point (x, y).
  TVXGrip GetGripAt(int32_t x, int32_t y);
  // vxNone while Shift is held, else GetGripAt.
  TVXGrip SelGripUnderMouse(int32_t x, int32_t y, TShiftState Shift);
  // 0 when a press at (x, y) would move the selection, else -1.
  int32_t SelMoveUnderMouse(int32_t x, int32_t y, TShiftState Shift);
  // Drags Grip of the rectangle selection to client point (x, y); the grip
  // after the move (mirrored when the rectangle turned over).
  TVXGrip ResizeSelectionRect(TVXGrip Grip, int32_t x, int32_t y, bool KeepRatio);
  // Resizes the current layer by the grip being dragged to client (X, Y).
  void ResizeLayerByGrip(int32_t X, int32_t Y, bool Alt);
  TNotifyEvent OnBeforeSelectionChange;
  TNotifyEvent OnSelectionChanging;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnMouseInSel;
  TVXGripEvent OnMouseInResizingGrip;

  // ---- selection stream and the saved-selection stack ----
  void SaveSelectionToStream(TStream* Stream) override;
  void SaveSelectionToFile(const std::string& FileName);
  // A damaged stream raises EVXException "Damaged selection stream" and
  // leaves the selection as it was.
  bool LoadSelectionFromStream(TStream* Stream, TVXResizeSelMode Options) override;
  bool LoadSelectionFromFile(const std::string& FileName, TVXResizeSelMode Options);
  bool MergeSelectionFromStream(TStream* Stream);
  bool MergeSelectionFromFile(const std::string& FileName);
  void SaveSelection();
  bool RestoreSelection(bool Remove, TVXResizeSelMode Options);
  bool DiscardSavedSelection();
  int32_t SavedSelectionsCount() const { return int32_t(fSavedSelection.size()); }

  // ---- animated polygons (vexlaneview_animpoly.cpp) ----
  TVXAnimPoly* AnimPolygonNew(TColor VColor1, TColor VColor2, bool VAnimated, bool VSizeable);
  void AnimPolygonDel(TVXAnimPoly* ap);
  void AnimPolygonAddPt(TVXAnimPoly* ap, int32_t x, int32_t y);
  void AnimPolygonClear(TVXAnimPoly* ap);
  void AnimPolygonEnabled(TVXAnimPoly* ap, bool Value);
  // Draws every enabled polygon's outline (Sender: the timer for a tick).
  void DrawAnimPolygons(void* Sender);
  virtual void DrawSelectionGrid(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  // The animation timer (nullptr until made).
  TTimer* AnimPolyTimer() const { return fAnimPolyTimer.get(); }
  TVXDrawPolygonEvent OnDrawPolygon;

  // ---- zoom (vexlaneview_zoom.cpp) ----
  double Zoom() const { return fZoomX; }
  double ZoomX() const override { return fZoomX; }
  double ZoomY() const { return fZoomY; }
  // A zoom in per cent; <= 0, not finite, or making the zoomed image wider
  // or higher than 2^30 pixels, is ignored.
  void SetZoom(double v);
  void SetZoomX(double v);
  void SetZoomY(double v);
  // The same without notifications and update, keeping the bitmap point at
  // the client centre in place.
  virtual void SetZoomNoUpdate(double v);
  virtual void SetZoomXNoUpdate(double v);
  virtual void SetZoomYNoUpdate(double v);
  // Zoom keeping the bitmap point under client (x, y) in place, or centring
  // it.
  void ZoomAt(int32_t x, int32_t y, double ZoomVal, bool Center);
  void ZoomIn();
  void ZoomOut();
  double GetIdealZoom();
  double GetFitValue();
  void Fit();
  void Stretch();
  void FitToWidth();
  void FitToHeight();
  // Zoom to the selection (nothing without one).
  void ZoomSelection(bool AspectRatio);
  void CenterImage();
  int32_t IdealComponentWidth();
  int32_t IdealComponentHeight();
  TRect VisibleBitmapRect();
  void SetVisibleBitmapRect(const TRect& Rect);
  bool AutoFit() const { return fAutoFit; }
  void SetAutoFit(bool v) { fAutoFit = v; }
  bool AutoStretch() const { return fAutoStretch; }
  void SetAutoStretch(bool v) { fAutoStretch = v; }
  bool AutoShrink() const { return fAutoShrink; }
  void SetAutoShrink(bool v) { fAutoShrink = v; }
  TResampleFilter ZoomFilter() const { return fZoomFilter; }
  void SetZoomFilter(TResampleFilter Value);
  bool DelayZoomFilter() const { return fDelayZoomFilter; }
  void SetDelayZoomFilter(bool Value) { fDelayZoomFilter = Value; }
  int32_t DelayZoomTime() const { return fStableReset; }
  void SetDelayZoomTime(int32_t Value) { fStableReset = Value; }

  // ---- view origin ----
  int32_t ViewX() const { return fViewX; }
  int32_t ViewY() const { return fViewY; }
  void SetViewX(int32_t x);
  void SetViewY(int32_t y);
  void SetViewXY(int32_t x, int32_t y);
  void GetMaxViewXY(int32_t& mx, int32_t& my);
  virtual void DoViewChanging(int32_t Change, double newValue);
  virtual void DoViewChange(int32_t Change);
  bool Center() const { return fImageHorizAlignment == vxhCenter && fImageVertAlignment == vxvCenter; }
  void SetCenter(bool Value);
  TVXHAlign ImageHorizAlignment() const { return fImageHorizAlignment; }
  void SetImageHorizAlignment(TVXHAlign Value);
  TVXVAlign ImageVertAlignment() const { return fImageVertAlignment; }
  void SetImageVertAlignment(TVXVAlign Value);
  int32_t OffsetX() const { return fOffX; }
  int32_t OffsetY() const { return fOffY; }
  int32_t ExtentX() const { return fExtX; }
  int32_t ExtentY() const { return fExtY; }
  double MouseScrollRate() const { return fMouseScrollRate; }
  void SetMouseScrollRate(double Value) { fMouseScrollRate = Value; }

  // ---- coordinate mapping ----
  int32_t XScr2Bmp(int32_t x) const override;
  int32_t YScr2Bmp(int32_t y) const override;
  int32_t XBmp2Scr(int32_t x) const override;
  int32_t YBmp2Scr(int32_t y) const override;
  virtual void UpdateCoordinateTables();
  virtual void UpdateVisibleRects();
  virtual void CalcViewLayout();
  // The client placement of layer 0 (OffsetX, OffsetY and the client size
  // its visible part covers) and that visible part in bitmap pixels.
  void GetRenderRectangles(int32_t& xDst, int32_t& yDst, int32_t& dxDst, int32_t& dyDst, int32_t& xSrc,
                           int32_t& ySrc, int32_t& dxSrc, int32_t& dySrc);

  // ---- scroll bars ----
  TScrollStyle ScrollBars() const { return fScrollBars; }
  virtual void SetScrollBars(TScrollStyle Value);
  bool ScrollBarsAlwaysVisible() const { return fScrollBarsAlwaysVisible; }
  void SetScrollBarsAlwaysVisible(bool Value);
  bool FlatScrollBars() const { return fFlatScrollBars; }
  void SetFlatScrollBars(bool Value);
  TVXScrollBarParams* HScrollBarParams() { return &fHScrollBarParams; }
  TVXScrollBarParams* VScrollBarParams() { return &fVScrollBarParams; }
  TVXMouseWheelParams* MouseWheelParams() { return &fMouseWheelParams; }
  bool EnableShiftKey() const { return fEnableShiftKey; }
  void SetEnableShiftKey(bool Value) { fEnableShiftKey = Value; }


  // ---- smooth scrolling and zooming, hints, moving content, frame posting
  // (vexlaneview_smooth.cpp) ----
  // Glides the view origin to (x, y) in steps of a 30 ms timer, each step
  // covering 1 / SmoothScrollValue of the remaining way; 0 moves at once.
  void SetViewXYSmooth(int32_t x, int32_t y);
  // Glides the zoom to Zoom the same way (SmoothZoomValue).
  void SetZoomSmooth(double Zoom);
  int32_t SmoothScrollValue() const { return fSmoothScrollValue; }
  void SetSmoothScrollValue(int32_t Value) { fSmoothScrollValue = Value; }
  int32_t SmoothZoomValue() const { return fSmoothZoomValue; }
  void SetSmoothZoomValue(int32_t Value) { fSmoothZoomValue = Value; }
  bool SmoothScrollRunning() const { return fSmoothScrollTimer != nullptr; }
  bool SmoothZoomRunning() const { return fSmoothZoomTimer != nullptr; }
  // The hint box drawn at client (x, y) by the next paint (empty Text: none);
  // MinText sets the box's least width.
  void SetInteractionHint(const std::string& Text, int32_t x, int32_t y, const std::string& MinText);
  const std::string& InteractionHint() const { return fInteractionHint; }
  bool EnableInteractionHints() const { return fEnableInteractionHints; }
  void SetEnableInteractionHints(bool Value) { fEnableInteractionHints = Value; }
  // Moves the layers and the image to Destination; this viewer is left with
  // an empty image in one layer. Navigators stay linked (with no options).
  void MoveContentTo(TVexlaneView* Destination);
  // Target shows this viewer's image Delay ms late, sampled every Interval
  // ms (a posting to the same target ends first).
  void BeginPostFrames(TVexlaneView* Target, int32_t Delay, int32_t Interval);
  void EndPostFrames(TVexlaneView* Target);
  int32_t PostFramesCount() const { return int32_t(fPostFrames.size()); }

  // ---- touch gestures (vexlaneview_gestures.cpp) ----
  TVXViewerGestures* Gestures() { return fGestures.get(); }
  // Fires OnVexlaneGesture with the record's values.
  virtual void DoVexlaneGesture(const GESTUREINFO& Info, bool& Handled);
  TVXVexlaneGestureEvent OnVexlaneGesture;

  // ---- events (sender first) ----
  // The progress, end-of-work, acquire and undo events also go to the I/O
  // and processing components when those exist.
  virtual void SetOnProgress(TVXProgressEvent Value);
  virtual TVXProgressEvent GetOnProgress() const { return fOnProgress; }
  virtual void SetOnFinishWork(TNotifyEvent Value);
  virtual TNotifyEvent GetOnFinishWork() const { return fOnFinishWork; }
  virtual void SetOnAcquireBitmap(TVXAcquireBitmapEvent Value);
  virtual TVXAcquireBitmapEvent GetOnAcquireBitmap() const { return fOnAcquireBitmap; }
  void SetOnSaveUndo(TVXSaveUndoEvent Value);
  TVXSaveUndoEvent GetOnSaveUndo() const { return fOnSaveUndo; }

  TNotifyEvent OnImageChange;
  TNotifyEvent OnDShowNewFrame;
  TNotifyEvent OnDShowEvent;
  TVXMediaFoundationNotifyEvent OnMediaFoundationNotify;
  TVXSetCursorEvent OnSetCursor;
  TNotifyEvent OnPaint;
  TNotifyEvent OnDrawBackBuffer;
  TVXOnDrawBackground OnDrawBackground;
  TVXOnDrawCanvas OnDrawCanvas;
  TViewChangingEvent OnViewChanging;
  TViewChangeEvent OnViewChange;
  TVXZoomEvent OnZoomIn;
  TVXZoomEvent OnZoomOut;
  TVXSpecialKeyEvent OnSpecialKey;
  TVXVirtualKeyEvent OnVirtualKey;
  TVXFinishSmoothTaskEvent OnFinishSmoothTask;

  void WndProc(TMessage& Message) override;

 protected:
  // Brings the back buffer to the window (rendered first when marked), then
  // the version text; errors of the rendering steps are swallowed.
  void Paint() override;
  void WMSize(TMessage& Message) override;
  // The play timer (vexlaneview_transitions.cpp).
  void WMTimer(TMessage& Message) override;
  void WMEraseBkgnd(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  // The palette changed: the window is invalidated unless a main form's
  // canvas realises the DrawDib palette; answers true.
  bool PaletteChanged(bool Foreground) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  // The gesture configuration of the enabled options, and the gestures
  // (vexlaneview_gestures.cpp).
  void WMGestureNotify(TMessage& Message) override;
  void WMGesture(TMessage& Message) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  // The mouse interaction (vexlaneview_mouse.cpp).
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // A double click closes a polygon being drawn (not a lasso).
  void WMLButtonDblClk(TMessage& Message) override;
  // Moves the remembered mouse positions by (-dx, -dy) after the view
  // scrolled by (dx, dy).
  virtual void ShiftMouseCoordinates(int32_t dx, int32_t dy);
  // Ends the polygon being drawn (RemoveLast: the point of a double click's
  // second press goes), filling the mask, and fires OnSelectionChange.
  void EndPolygonSelection(bool RemoveLast, TShiftState Shift);
  // Fires a selection event (or runs Call) with the user's SelectionBase.
  void FireSelectionEvent(const TNotifyEvent& Event);
  void WithUserSelectionBase(const std::function<void()>& Call);
  // Client point (X, Y) clamped to the current layer's box widened by one.
  void ClampToCurrentLayer(int32_t X, int32_t Y, int32_t& x, int32_t& y) const;
  // Hover feedback (no button down).
  void MouseHover(TShiftState Shift, int32_t X, int32_t Y, int32_t x, int32_t y);
  // The rubber-band line of a polygon being drawn (inverting pen).
  void DrawPolygonRubberBand();
  // The polygon back to the points it had at the press.
  void DropSubPolygonsSincePress();
  // The cursor of a grip.
  static TCursor GripCursor(TVXGrip Grip);

  // Applies a wheel step (delta, client point, Control key down).
  void MouseWheelScroll(int32_t Delta, int32_t MouseX, int32_t MouseY, bool CtrlPressed);
  // Stops a running smooth scroll; always fires OnFinishSmoothTask
  // (vxstScroll).
  void StopSmoothScroll();
  // Redraws the selection outlines after a view change (with selections).
  virtual void RedrawSelectionOutlines();
  // Repaints unless painting is locked.
  void RepaintUnlessLocked();
  // The point list operations of an animated polygon (no repaint unless
  // said): a point (the box follows from the second point on; the viewer
  // counts as selected), a break marker, back to the last break marker
  // (repaints), the last point with the breaks it would leave at the end,
  // and all points.
  void PolyAddPoint(TVXAnimPoly* ap, int32_t x, int32_t y);
  void PolyAddBreak(TVXAnimPoly* ap);
  void PolyDelLastSub(TVXAnimPoly* ap);
  void PolyDelLastPoint(TVXAnimPoly* ap);
  void PolyClear(TVXAnimPoly* ap);
  // Bitmap coordinates of the current layer from the select operations'
  // base, and a size in that base.
  int32_t SelX(int32_t x) const;
  int32_t SelY(int32_t y) const;
  int32_t SelW(int32_t w) const;
  int32_t SelH(int32_t h) const;
  // The mask at the current image's size, allocated.
  TVXMask* Mask();
  // Reads a selection stream into Into (validated) without changing the
  // viewer.
  struct TSelStreamData;
  static void ReadSelectionStream(TStream* Stream, TSelStreamData& Into);
  // Reads a selection stream (validated) and returns its bytes, the viewer
  // unchanged.
  static std::unique_ptr<TMemoryStream> CopySelectionStream(TStream* Stream);
  // Wheel zoom by Params (the navigator's wheel drives its source).
  void WheelZoom(const TVXMouseWheelParams& Params, int32_t Delta, int32_t MouseX, int32_t MouseY);
  // Shows the selection polygon and draws the outlines.
  void ShowSelectionOutline();
  // Whether the selection polygon is a rectangle (four points, edges
  // alternately horizontal and vertical).
  static bool IsRectPolygon(const TVXAnimPoly* ap);
  // Selection mask at the current image's size (kept or emptied).
  void FitSelectionMaskToImage();
  // The navigator rectangle refreshed from this viewer's visible area.
  void RefreshNavigator();
  // This viewer follows its navigator's selection.
  void FollowNavigator();
  // The navigator's marked copy of the back buffer to the window.
  void NavigatorBlit(int32_t x, int32_t y, int32_t w, int32_t h);
  // The selection overlay of PaintToEx.
  void DrawSelectionOverlay(TVXBitmap* ABitmap);
  void SetupScrollBars();
  // The frame margins of the fit factors.
  void FitMargins(int32_t& mx, int32_t& my);
  // (MaxLayerWidth/Height fitted into aw x ah; any arithmetic fault gives
  // 100.)
  double AutoZoomValue(int32_t w, int32_t h, int32_t aw, int32_t ah, bool Stretch, bool Shrink);
  // A zoom that can be applied: finite, above 0, and within the tables'
  // limits for the image.
  bool ZoomAcceptable(double v) const;
  void SetDelayedFilterCounters(bool Changed);
  // A zoom change of both axes or one: notifications, limits, two updates.
  void ChangeZoom(double v, bool X, bool Y);
  // Moves the view origin to (x, y) limited to 0 .. GetMaxViewXY, with the
  // view-change notification and the bar positions of the moved axes.
  void MoveView(int32_t x, int32_t y, bool X, bool Y);
  void SetBarPos(int Bar, int32_t Pos);
  // snapX/snapY: the zoomed-image coordinate where the bitmap column or row
  // that holds v begins.
  int32_t SnapX(int32_t v) const;
  int32_t SnapY(int32_t v) const;

  // One smooth-scroll or smooth-zoom step (a timer tick), and their stops.
  void SmoothScrollStep();
  void SmoothZoomStep();
  void StopSmoothZoom();
  // Whether this viewer holds a free notification of C for another reason
  // than frame posting (its navigator links).
  bool NeedsNotificationOf(TComponent* C) const;
  void EndPostFramesAt(size_t Index);
  // The interaction hint's box on the window (a step of Paint).
  void DrawInteractionHint();

  // ---- state ----
  TBitmap* fBitmap = nullptr;
  TVXBitmap* fVXBitmap = nullptr;
  TVXLayerList fLayers;
  int32_t fLayersCurrent = 0;
  int32_t fMaxLayerWidth = 0, fMaxLayerHeight = 0;
  bool fLayersSync = false;
  bool fLayersDrawBox = false;
  TPoint fHighlightedPixel{-1, -1};
  TColor fHighlightedPixelColor = 255;
  bool fLayersSelectConstrains = true;
  bool fLayersAutoUndo = false;
  TVXAntialiasMode fLayersRotationFilter = vxrFast;
  bool fLayersRotationAntialias = false;
  bool fLayersRotationUseFilterOnPreview = false;
  bool fLayersRotationDelayFilterOnPreview = true;
  int32_t fLayersRotateStep = 45;
  bool fAutoFixRotationBorders = true;
  // The layer whose mask cache the next update frees (-1: every layer's).
  int32_t fUpdate_MaskCache = -1;
  TVexlaneIO* fVexlaneIO = nullptr;
  TVexlaneProc* fVexlaneProc = nullptr;

  bool fLegacyBitmap = true;
  bool fImageSet = false;
  TVXUpdateReason fUpdateReason = vxurDefault;
  int32_t fUpdateLocked = 0;
  int32_t fLockPaint = 0;
  bool fInsideUpdate = false, fUpdateInsideUpdate = false;
  bool fUpdateInvalidate = true;
  bool fBlockPaint = false;
  bool fFullUpdateRequest = true, fDBToDraw = true;
  bool fOffscreenPaint = false;
  int32_t fBitmapWidth = 0, fBitmapHeight = 0;
  bool fEnableAlphaChannel = true;
  TCursor fLCursor = 1785, fCursor = 1785;
  TCursor fWasScreenCursor = -1;
  bool fAutoCursors = false;
  bool fFirstTimeSetCursor = true;
  TVexlaneView* fNavigator = nullptr;
  bool fIsNavigator = false;
  bool fPlaying = false, fPlayLoop = true;
  int32_t fPlayTimer = 0;
  // Transitions: the engine (made on first use) and the last run's effect
  // and duration.
  std::unique_ptr<TVXTransitionEffects> fTransition;
  TVXTransitionType fTransitionEffect = vxttNone;
  int32_t fTransitionDuration = 1000;
  TVXTransitionEffects* TransitionEngine();
  // Renders the current view into Dest (the client area's size, 24 bits).
  void PaintViewTo(TBitmap* Dest);
  // Stops the play timer, then sets it again for the current frame's delay
  // while playing.
  void StartPlayTimer();
  void StopPlayTimer();
  void StopTransition();
  bool fDrawVersion = false;
  int32_t fMinBitmapSize = 2;
  bool fUseDrawDibDraw = false;
  bool fDoubleBuffer = true;
  int32_t fDelayTimer = -20;
  TVXSelectionBase fSelectionBase = vxsbClientArea;
  TVXSelectionBase fSavedSelectionBase = vxsbClientArea;
  // Mouse handlers running (they work in client coordinates meanwhile).
  int32_t fClientBaseDepth = 0;
  // selection
  bool fSel = false;
  std::unique_ptr<TVXMask> fSelectionMask;
  TVXAnimPoly* fHPolySel = nullptr;
  int32_t fSelectionMaskDepth = 1;
  int32_t fSelectionIntensity = 1;
  TVXSelectionOptions fSelectionOptions =
      VXSelOpt(vxsoAnimated) | VXSelOpt(vxsoSizeable) | VXSelOpt(vxsoMoveable) | VXSelOpt(vxsoCanScroll);
  double fSelectionAspectRatio = -1;
  int32_t fSelectionAbsWidth = 100, fSelectionAbsHeight = 100;
  int32_t fMagicWandTolerance = 15;
  TVXMagicWandMode fMagicWandMode = vxwInclusive;
  bool fMagicWandMaxFilter = false;
  TColor fSelColor1 = 0, fSelColor2 = TColor(0xFFFFFF);
  TColor fGripColor1 = 0, fGripColor2 = TColor(0xBAFFFF);
  TBrushStyle fGripBrushStyle = bsSolid;
  int32_t fGripSize = 5;
  TVXGripShape fGripShape = vxgsCircle;
  bool fExtendedGrips = true;
  bool fVisibleSelection = true;
  int32_t fSelectionGridWidth = 1, fSelectionGridHeight = 1;
  int32_t fMarkOuterAlpha = -1;
  TColor fMarkOuterColor = TColor(0xFFFFFF);
  bool fForceALTkey = false;
  bool fDelayDisplaySelection = true;
  TVXMouseInteract fMouseInteract = 0;
  // layer grips and box
  TColor fLyrGripColor1 = 0, fLyrGripColor2 = TColor(0xBAFFFF);
  TBrushStyle fLyrGripBrushStyle = bsSolid;
  int32_t fLyrGripSize = 5;
  TVXGripShape fLyrGripShape = vxgsCircle;
  TPenStyle fLayerBoxPenStyle = psDot;
  TPenMode fLayerBoxPenMode = pmNot;
  int32_t fLayerBoxPenWidth = 1;
  TColor fLayerBoxPenColor = 0;
  // Interaction states of the mouse handling (set by it; read here).
  bool fRectSelecting = false, fPolySelecting = false, fCircSelecting = false, fLassoSelecting = false;
  bool fRectMoving = false, fMouseMoveScrolling = false;
  // 0 while the selection is dragged, -1 otherwise.
  int32_t fSelectMoving = -1;
  TVXGrip fRectResizing = vxNone;
  // The mouse state of a press, its moves and its release (client pixels
  // unless said): the press as received, clamped to the image area and to
  // the current layer's box; the view origin at the press; the previous
  // point clamped and as received; the current point (clamped).
  int32_t fMouseDownX = 0, fMouseDownY = 0;
  // A press was taken by the handlers (until the last button is released).
  bool fMousePressTaken = false;
  int32_t fHSX0 = 0, fHSY0 = 0, fHSX1 = 0, fHSY1 = 0;
  int32_t fHSVX1 = 0, fHSVY1 = 0;
  int32_t fPredX = 0, fPredY = 0, fPredLX = 0, fPredLY = 0;
  int32_t fMMoveX = 0, fMMoveY = 0;
  int32_t fStartingPolyCount = 0;
  // The selection polygon's box when a grip drag began (bitmap pixels).
  int32_t flx1 = 0, fly1 = 0, flx2 = 0, fly2 = 0;
  int32_t fMovingLayer = -1;
  bool fLayerMoved = false;
  int32_t fRotatingLayer = -1;
  double fRotatingLayerValue = 0;
  int32_t fMovingRotationCenter = -1;
  TVXGrip fLayerResizing = vxNone;
  bool fMovResRotLayerStarted = false;
  TRect fLyrResizingClientAreaBox{0, 0, 0, 0};
  TPoint fLyrResizingRotatedBox[4]{};
  double fLayersResizingAR = 1;
  TVXLayersResizeAspectRatio fLayersResizeAspectRatio = vxarALTKey;
  bool fZoomSelectionAspectRatio = true;
  std::vector<std::unique_ptr<TMemoryStream>> fSavedSelection;
  // animated polygons
  std::vector<std::unique_ptr<TVXAnimPoly>> fAnimPoly;
  std::unique_ptr<TTimer> fAnimPolyTimer;
  int32_t fAniCounter = 0;
  std::unique_ptr<TBitmap> fDrawPixelBitmap;
  // navigator
  TVXNavigatorOptions fNavigatorOptions = 0;
  bool fNavigatorInside = false;
  TRect fNavigatorActualRect{0, 0, 0, 0};
  TVexlaneView* fNavigatorSource = nullptr;  // on a navigator: its source
  std::unique_ptr<TVXBitmap> fNavigatorBackBuffer;
  TVXBackgroundStyle fBackgroundStyle = vxbsSolid;
  std::unique_ptr<TVXBitmap> fTBitmap;  // the back buffer
  TColor fGradientEndColor = TColor(0xFF0000);
  int32_t fChessboardSize = 16;
  TBrushStyle fChessboardBrushStyle = bsSolid;
  std::unique_ptr<TPicture> fWallPaper;
  TVXWallPaperStyle fWallPaperStyle = vxwoNormal;
  bool fDisplayGrid = false;
  int32_t fDisplayGridLyr = -1;
  TVXSoftCropMode fSoftCrop = vxsfNone;
  int32_t fSoftCropValue = 60;
  HDRAWDIB fHDrawDib = nullptr;
  bool fEnableShiftKey = true;

  // zoom and view
  double fZoomX = 100, fZoomY = 100;
  double fZoomD100X = 1, fZoomD100Y = 1;
  double f100DZoomX = 1, f100DZoomY = 1;
  int32_t fViewX = 0, fViewY = 0;
  int32_t fZZWW = 0, fZZHH = 0;
  int32_t fOffX = 0, fOffY = 0;
  int32_t fExtX = 0, fExtY = 0;
  int32_t fo1x = 0, fo1y = 0, fo2x = 0, fo2y = 0;
  int32_t frx = 0, fry = 0;
  TVXHAlign fImageHorizAlignment = vxhCenter;
  TVXVAlign fImageVertAlignment = vxvCenter;
  bool fAutoFit = false, fAutoStretch = false, fAutoShrink = false;
  TScrollStyle fScrollBars = ssBoth;
  bool fHScrollBarVisible = false, fVScrollBarVisible = false;
  bool fScrollBarsAlwaysVisible = false;
  bool fFlatScrollBars = false;
  double fRXScroll = 1, fRYScroll = 1;
  TVXScrollBarParams fHScrollBarParams, fVScrollBarParams;
  TVXMouseWheelParams fMouseWheelParams{vxmwZoom};
  double fMouseScrollRate = 1.0;
  TResampleFilter fZoomFilter = rfNone, fSaveZoomFilter = rfNone;
  bool fDelayZoomFilter = false;
  int32_t fStable = 0, fStableReset = 4;
  int32_t fStable2 = 0, fStable2Reset = 2;
  bool fSmoothScrolling = false;
  // smooth scrolling and zooming, hints, frame posting, gestures
  std::unique_ptr<TTimer> fSmoothScrollTimer;
  int32_t fSmoothScrollDestX = 0, fSmoothScrollDestY = 0;
  int32_t fSmoothScrollValue = 8;
  std::unique_ptr<TTimer> fSmoothZoomTimer;
  double fSmoothZoomDest = 0;
  int32_t fSmoothZoomValue = 8;
  std::string fInteractionHint, fInteractionHintMinText;
  int32_t fInteractionHintX = 0, fInteractionHintY = 0;
  bool fEnableInteractionHints = true;
  std::vector<std::unique_ptr<TVXPostFramesTarget>> fPostFrames;
  std::unique_ptr<TVXViewerGestures> fGestures = std::make_unique<TVXViewerGestures>();
  int32_t fGestureStartValue = 0;
  int32_t fGestureStartX = 0, fGestureStartY = 0;
  double fGestureBaseZoom = 100;
  int32_t fGestureBaseViewX = 0, fGestureBaseViewY = 0;
  double fGestureBaseRotate = 0;
  int32_t fGestureBasePosX = 0, fGestureBasePosY = 0;

  // Coordinate tables: the global ones cover the zoomed image plus one
  // client width; the client tables are start positions inside them.
  std::vector<int32_t> fGXScr2Bmp, fGYScr2Bmp, fGXBmp2Scr, fGYBmp2Scr;
  int32_t fGXScr2BmpSize = 0, fGYScr2BmpSize = 0;
  int32_t fXScr2Bmp = 0, fYScr2Bmp = 0, fXBmp2Scr = 0, fYBmp2Scr = 0;  // start entries
  int32_t fXScr2BmpSize = 0, fYScr2BmpSize = 0, fXBmp2ScrSize = 0, fYBmp2ScrSize = 0;
  double fLutLastZoomX = -1, fLutLastZoomY = -1;
  int32_t fLutLastFRX = -1, fLutLastFRY = -1, fLutLastMaxLayerWidth = -1, fLutLastMaxLayerHeight = -1;

  // events behind accessors
  TVXProgressEvent fOnProgress;
  TNotifyEvent fOnFinishWork;
  TVXAcquireBitmapEvent fOnAcquireBitmap;
  TVXSaveUndoEvent fOnSaveUndo;

 private:
  void RegisterCursors();
  // The current bitmap reference goes back into the current layer.
  void StoreCurrentBitmap();
  // The viewer's image becomes the current layer's bitmap.
  void TakeCurrentLayerBitmap();
  void ClearCoordinateTables();
  void RunUpdate();
  void ScrollMessage(TMessage& Message, bool Horizontal);
  // Painting steps.
  void PaintBackground(TVXBitmap* ABitmap, const TRect* UpdRect, const TVXLayer* First, bool CoverTest);
  void DrawLayer(int32_t Index, TVXBitmap* ABitmap, uint8_t** Rows, const TRect* UpdRect, bool First);
  void DrawPlaced(TVXLayer* L, TVXBitmap* B, TVXBitmap* ABitmap, uint8_t** Rows, const TRect* UpdRect, bool Alpha,
                  bool Solid, TResampleFilter Filter);
  std::unique_ptr<TVXBitmap> RotatedLayerImage(TVXLayer* L);
  // A magnifier layer's bitmap from what lies under it.
  void FillMagnifier(TVXLayer* L, TVXBitmap* ABitmap, TResampleFilter Filter);
  void ApplyLayerMask(TVXLayer* L, TVXLayer* M, std::unique_ptr<TVXBitmap>& SavedAlpha);
  void DrawGrid(TVXBitmap* ABitmap);
  void DrawLayerBoxes(TVXBitmap* ABitmap);
  // Merges Lower and Upper (with Upper's mask layer, or nullptr) into Dest.
  void MergeTwoLayers(TVXLayer* Lower, TVXLayer* Upper, TVXLayer* Mask, bool KeepOrigin, TColor Background,
                      TResampleFilter Filter, TVXBitmap* Dest);
  // The merged layer that replaces Lower (position and flags from Lower).
  std::unique_ptr<TVXLayer> MergedLayer(int32_t LowerIndex, int32_t UpperIndex, bool KeepOrigin);
  void DrawHighlightedPixel(TVXBitmap* ABitmap, const TVXLayer* L);
  void Blit(const TRect& Rect);
};
