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
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/layer.h"
#include "core/vxdefs.h"
#include "proc/undosource.h"
#include "view/background.h"
#include "view/viewparams.h"
#include "view/vxview.h"

class TVexlaneIO;
class TVexlaneProc;

// Private messages of the viewer's window.
constexpr UINT VXM_VIEW_UPDATE = 0x1F58;
constexpr UINT VXM_VIEW_DSHOW_FRAME = 0x1F59;
constexpr UINT VXM_VIEW_DSHOW_EVENT = 0x1F5A;
constexpr UINT VXM_VIEW_PROGRESS = 0x1F5B;
constexpr UINT VXM_VIEW_FINISHWORK = 0x1F5C;
constexpr UINT VXM_VIEW_MEDIAFOUNDATION = 0x1F5E;

enum TVXUpdateReason : uint8_t { vxurDefault, vxurScrolled, vxurZoomed, vxurSelectionChanged, vxurComponentStuffChanged };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
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
  void SetDelayTimer(int32_t Value) { fDelayTimer = Value; }
  bool Playing() const { return fPlaying; }
  bool PlayLoop() const { return fPlayLoop; }
  void SetPlayLoop(bool Value) { fPlayLoop = Value; }

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
  TVXLayer* Layers(int32_t Index) const;
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
  int32_t LayersAdd(int32_t Width, int32_t Height, TVXPixelFormat PixelFormat, int32_t PosX, int32_t PosY);
  int32_t LayersAdd(const std::string& FileName, int32_t PosX, int32_t PosY);
  int32_t LayersAdd(TVXBitmap* Bitmap, bool DoCopy);
  // A new layer at Position (below a mask standing there), made current.
  // Raises the list's index error for a Position outside the list.
  void LayersInsert(int32_t Position);
  // Removes the layer and its mask (never the last layer).
  virtual void LayersRemove(int32_t idx);
  // Back to layer 0 alone with its defaults, cleared.
  void LayersClear();
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
  // The layers stream comes with a later part of the viewer.
  void LayersSaveToStream(TStream* Stream, int32_t Mode) override;
  void LayersLoadFromStream(TStream* Stream) override;
  void LayersSaveToFile(const std::string& FileName, int32_t CompressionFormat) override;
  TVXLayerNotifyEvent OnLayerNotify;

  // ---- selection (none yet) ----
  TVXSelectionBase SelectionBase() const override { return fSelectionBase; }
  void SetSelectionBase(TVXSelectionBase Value) { fSelectionBase = Value; }
  bool Selected() const override { return false; }

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
  void WMEraseBkgnd(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void WMKillFocus(TMessage& Message) override;
  // The palette changed: the window is invalidated unless a main form's
  // canvas realises the DrawDib palette; answers true.
  bool PaletteChanged(bool Foreground) override;
  void WMHScroll(TMessage& Message) override;
  void WMVScroll(TMessage& Message) override;
  void WMMouseWheel(TMessage& Message) override;
  void CMWantSpecialKey(TMessage& Message) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;

  // Applies a wheel step (delta, client point, Control key down).
  void MouseWheelScroll(int32_t Delta, int32_t MouseX, int32_t MouseY, bool CtrlPressed);
  // Stops a running smooth scroll; always fires OnFinishSmoothTask
  // (vxstScroll).
  void StopSmoothScroll();
  // Redraws the selection outlines after a view change (with selections).
  virtual void RedrawSelectionOutlines() {}
  // Drawing hooks of the layer gadgets, called while the view is rendered
  // with gadgets; they draw nothing here. DrawLayerOuter: after the current
  // layer when its DrawOuter is on. DrawLayerBox: for a layer that shows its
  // box.
  virtual void DrawLayerOuter(TVXBitmap* ABitmap, int32_t Index);
  virtual void DrawLayerBox(TVXBitmap* ABitmap, int32_t Index);
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
  bool fDrawVersion = false;
  int32_t fMinBitmapSize = 2;
  bool fUseDrawDibDraw = false;
  bool fDoubleBuffer = true;
  int32_t fDelayTimer = -20;
  TVXSelectionBase fSelectionBase = vxsbClientArea;
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
  void DrawHighlightedPixel(TVXBitmap* ABitmap, const TVXLayer* L);
  void Blit(const TRect& Rect);
};
