// TVexlaneVect: the single-image viewer with a layer of vector objects over
// its image. This file holds the object store (a heap of records addressed
// by stable handles, the z-order list, the selection list, the template of
// the next object and the shared bitmaps), the object accessors, the object
// undo and the object stream (vxvstream.cpp). Painting, mouse and keyboard
// are still the viewer's own.
//
// Handles: -1 is the template of the next inserted object, -2 the object
// added last, -3 all objects and -9 all selected objects where an operation
// says so; other values are heap indexes 0 .. heap count - 1.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/softshadow.h"
#include "view/vexlaneview.h"
#include "vect/vobject.h"

class TMemoryStream;
class TVXEdit;
class TVXTextControl;
class TVXCanvas;
class TTimer;
class TPen;
class TBrush;
class TPicture;

// TVXGripShape (vxgsBox, vxgsCircle) is the viewer's (view/vexlaneview.h).
enum TVXVGripping : uint8_t {
  vxgrNone,
  vxgrTopLeft,
  vxgrBottomRight,
  vxgrTranslation,
  vxgrTopRight,
  vxgrBottomLeft,
  vxgrLeft,
  vxgrRight,
  vxgrUpper,
  vxgrBottom,
  vxgrAngle0,
  vxgrAngle1,
  vxgrAngle2
};
enum TVXVUndoMode : uint8_t { vxumSeparated, vxumShared };
enum TVXPolylineEndingMode : uint8_t { vxemDoubleClick, vxemMouseUp, vxemManual };
enum TVXPolylineClosingMode : uint8_t { vxcmManual, vxcmAlways, vxcmOnNearFinish };
enum TVXVValType : uint8_t { vxvtAREA, vxvtLENGTH };
enum TVXMouseInteractVtItem : uint8_t {
  miArea,
  miLineLen,
  miPutLine,
  miPutBox,
  miPutEllipse,
  miPutBitmap,
  miPutText,
  miObjectSelect,
  miDragLen,
  miPutRuler,
  miPutPolyLine,
  miPutAngle,
  miPutMemo,
  miPutLineLabel,
  miEditPolyline,
  miUnStampMode,
  miPutExtendedObject
};
using TVXMouseInteractVt = uint32_t;  // bit i = item i

using TVXVObjectEvent = std::function<void(void* Sender, int32_t hobj)>;
using TVXMeasureHintEvent = std::function<void(void* Sender, std::string& Text, double Value)>;
using TVXPresentMeasureEvent =
    std::function<void(void* Sender, std::string& Text, double Value, TVXVValType ValType)>;
using TVXDragLenEndEvent = std::function<void(void* Sender, double Value)>;
using TVXObjectMoveResizeEvent =
    std::function<void(void* Sender, int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY)>;
// The key-down of an in-place editor, seen before the layer acts on it;
// clearing Key consumes it.
using TVXTextKeyDownEvent = std::function<void(void* Sender, WORD& Key, TShiftState Shift)>;

// A memo editor's insertion format as a caller reads and gives it: owned by
// the caller.
class TVXMemoEditCharInfo {
 public:
  TVXMemoEditCharInfo();
  ~TVXMemoEditCharInfo();
  std::unique_ptr<TFont> Font;
  TVXAlignment Align = vxjLeft;
};

using TVXTextEditEvent = std::function<void(void* Sender, int32_t hobj, void* VisualObject)>;
using TVXDrawObjectEvent = std::function<void(void* Sender, int32_t hobj, TVXBitmap* destination,
                                              TCanvas* destCanvas, const TRect& destRect, bool drawingAlpha,
                                              bool& handled)>;

// Clipboard format identifiers registered by the module start-up (0 before).
uint32_t VXVectClipboardFormat();
uint32_t VXTextMemoClipboardFormat();

// Whether the stream holds an object block at its position ("VXV" and a
// version from "1" to "U"); the position is restored.
bool VXIsVxvStream(TStream* Stream);

// The triangle of a line-end shape at P of the line P-Q: base width
// BaseWidth and length Length (offsets truncated per coordinate); false for
// vxsNONE and for a line whose ends coincide.
bool VXLineEndShape(TVXShape Shape, TPoint P, TPoint Q, int32_t BaseWidth, int32_t Length, TPoint Out[3]);

// How many of a unit make an inch (1 for pixels and inches).
double VXUnitsPerInch(TVXUnits Unit);

class TVexlaneVect : public TVexlaneView {
 public:
  explicit TVexlaneVect(TComponent* Owner = nullptr);
  ~TVexlaneVect() override;

  TVXViewHostKind HostKind() const override { return vxvhVectView; }

  // ---- store ----
  // A copy of the template on top; with bDefaultProps the template is then
  // reset. Update; no event.
  int32_t AddNewObject(bool bDefaultProps = true);
  // The same, then the kind, the rectangle (SetObjRect without aspect) and
  // the pen colour.
  int32_t AddNewObject(TVXVObjectKind Kind, const TRect& Rect, TColor Color, bool bDefaultProps = true);
  // One object, or every selected one with -9.
  void RemoveObject(int32_t hobj);
  void RemoveAllObjects();
  int32_t ObjectsCount() const { return int32_t(fObj.size()); }
  int32_t GetObjFromIndex(int32_t idx) const;
  int32_t GetIndexFromObj(int32_t hobj) const;
  // The top-most object of that name or identifier, -1 when none.
  int32_t GetObjFromName(const std::string& oName) const;
  int32_t GetObjFromID(int32_t oID) const;
  void SetObjFrontOf(int32_t hobj, int32_t refobj);
  void SetObjBackTo(int32_t hobj, int32_t refobj);
  void CancelInteracts();

  // ---- text and memo editing (vexlanevect_textedit.cpp) ----
  // The edited object, -1 when none. Writing a handle ends an edit in
  // progress and edits that object (when its text is editable); -1 only
  // ends the edit.
  int32_t ObjTextEditMode() const { return fTextEditing; }
  void SetObjTextEditMode(int32_t Value);
  bool IsEditMode() const { return fTextEditing >= 0; }
  TVXTextControl* MemoEdit() const { return fMemoEdit.get(); }
  TVXEdit* TextEdit() const { return fTextEdit.get(); }
  // The memo editor's insertion font and alignment (a default font outside
  // an edit); the caller owns the result.
  TVXMemoEditCharInfo* MemoEditingGetCharInfo();
  // The font for what is typed next (and the selection), and the
  // paragraph's alignment; the editor gets the focus.
  void MemoEditingSetCharInfo(TVXMemoEditCharInfo* Info);
  // A straight text's box fitted to its text.
  void StretchTextRect(int32_t hobj);
  // The memo's text as laid out in its box, a line feed at every line end.
  std::u16string GetMemoFormattedString(int32_t hobj);
  // The record of a handle (-1 the template, -2 the last added); raises
  // "Invalid Object Heap" / "Invalid object index" as every accessor does.
  TVXVObject* GetObjRecord(int32_t hobj);
  int32_t ObjHeapCount() const { return int32_t(fObjHeap.size()); }
  const std::vector<TVXVBitmap>& SharedBitmaps() const { return fBitmaps; }
  bool ShareBitmaps() const { return fShareBitmaps; }
  void SetShareBitmaps(bool Value) { fShareBitmaps = Value; }
  // (0, 0, largest x + 1, largest y + 1) over both corners of every object.
  TRect ObjectsExtents() const;

  // ---- selection ----
  bool IsSelObject(int32_t hobj);
  void AddSelObject(int32_t hobj);
  void UnSelObject(int32_t hobj);
  void UnSelAllObjects();
  void SelAllObjects();
  // -3: every object, bottom first. Appends the objects whose (ordered)
  // rectangle lies inside; no event, no repaint.
  void SelectObjectsInRect(int32_t hobj, int32_t left, int32_t top, int32_t right, int32_t bottom);
  int32_t SelObjectsCount() const { return int32_t(fSelObj.size()); }
  int32_t GetSelObjects(int32_t idx) const;
  // (bitmap width, bitmap height, 0, 0) of the viewer's image, widened
  // to every selected object's corners.
  TRect SelectionBounds();

  // ---- hit testing and grips (vexlanevect_select.cpp) ----
  // The visible object under client point (x, y), or -3; Distance gets the
  // best distance in bitmap pixels (2147483647 when none was examined).
  // Upper objects win among equal distances; negative distances never hit.
  int32_t FindObjectAt(int32_t x, int32_t y, double& Distance);
  // The same among the selectable objects only.
  int32_t FindSelectableObjectAt(int32_t x, int32_t y, double& Distance);
  // Distance of the bitmap point (bx, by) of the object's layer to the
  // object: 0 on or inside it; -1 for an object of no kind; 1000 on a
  // transparent pixel of a picture.
  double GetObjDistance(int32_t hobj, int32_t bx, int32_t by);
  // The grip under client point (x, y): the selection index of the first
  // selected object with a grip there, or -4 (Grip vxgrNone).
  int32_t FindGripAt(int32_t x, int32_t y, TVXVGripping& Grip);
  // Client positions of the grips of an object in drawing order: the
  // corners, then the other six for boxes and the like (three points for
  // an angle); Central receives the central grip. False when the object
  // shows none (not selectable, or outside its area).
  bool GetObjGripPositions(int32_t hobj, std::vector<TPoint>& Grips, TPoint& Central);
  // While one polyline is selected: the index of its drawn point whose box
  // (+-3 pixels) holds the client point, and of its segment closer than 1.5
  // pixels (the closing one last); -1 when none.
  int32_t FindPolylinePointAt(int32_t x, int32_t y);
  int32_t FindPolylineSegmentAt(int32_t x, int32_t y);
  // Selecting by a press (onPress) or a release at client point (x, y).
  void SelectAtPoint(TShiftState Shift, int32_t x, int32_t y, bool onPress);
  // The press found an object that was selected already: the release
  // finishes the choice.
  bool SelectOnMouseDownWasSelected() const { return fSelectOnMouseDown_WasSelected; }

  // ---- polygon geometry (vexlanevect_geom.cpp) ----
  // Measures of a polyline's points mapped into its box, in measure units;
  // 0 for other kinds.
  double GetPolylineLen(int32_t hobj);
  double GetPolylineArea(int32_t hobj);
  // Image pixels; (0, 0) for other kinds and for polygons of no area.
  TPoint GetPolylineCentroid(int32_t hobj);
  double GetObjDiagLen(int32_t hobj);
  // The viewer's selection: its polygons, or its 1-bit mask.
  double GetSelectionArea();
  double GetSelectionLen();
  TPoint GetSelectionCentroid();
  // A polyline around the region of similar colour at client point (x, y);
  // -1 when nothing was traced.
  int32_t CreatePolygonFromEdge(int32_t x, int32_t y, bool maxfilter, int32_t tolerance);
  // One polyline per outline of the selection mask; their count.
  int32_t CreatePolygonsFromSelection();
  // A bitmap object of the selected area (transparent outside the
  // selection); -1 without a selection.
  int32_t CreateImageFromSelectedArea(int32_t feather, bool smooth);
  // At most MaxPoints points (at least 2), a subset of the current ones.
  void SimplifyPolygon(int32_t hobj, int32_t MaxPoints);
  // Straight edges in place of a staircase of pixel edges; false (and the
  // points unchanged) when the outline is not such a staircase or when no
  // more than 2 vertices result.
  bool RemovePolygonJaggedEdges(int32_t hobj);
  // The box becomes the bounding box of the mapped points, the base box
  // that of the stored points.
  void NormalizePolyline(int32_t hobj);

  // ---- measure hint (vexlanevect_measure.cpp) ----
  // The value shown: the selection's area (miArea), its length (miLineLen),
  // else the dragged length from the drag's press point to (x, y).
  double MeasureHintValue(int32_t x, int32_t y);
  // The length dragged from (x0, y0) to (x, y), client pixels, both ends
  // counted.
  double GetDragLen(int32_t x0, int32_t y0, int32_t x, int32_t y) const;
  // The press point of a length drag (client pixels).
  void SetDragLenStart(int32_t x, int32_t y) { fDragLenX0 = x, fDragLenY0 = y; }
  // The value with its unit name as the hint shows it, after the events.
  std::string MeasureHintText(double Value, TVXVValType ValType);
  bool ShowHint() const { return fShowHint; }
  void SetShowHint(bool Value) { fShowHint = Value; }
  // Draws the hint at client (x, y) on the window (-1000000 keeps the last
  // coordinate), saving what it covers; erasing puts that back.
  void DrawMeasureHint(int32_t x, int32_t y);
  void EraseMeasureHint();
  double LastHintValue() const { return fLastHintValue; }
  TPoint HintPos() const { return TPoint{fHintX, fHintY}; }

  // ---- object properties (vexlanevect_props.cpp) ----
#define VX_OBJ_PROP(Type, Name)               \
  Type GetObj##Name(int32_t hobj);            \
  void SetObj##Name(int32_t hobj, Type Value);
  VX_OBJ_PROP(TVXVObjectKind, Kind)
  VX_OBJ_PROP(TColor, PenColor)
  VX_OBJ_PROP(TPenStyle, PenStyle)
  VX_OBJ_PROP(int32_t, PenWidth)
  VX_OBJ_PROP(TColor, BrushColor)
  VX_OBJ_PROP(TBrushStyle, BrushStyle)
  VX_OBJ_PROP(bool, BoxHighLight)
  VX_OBJ_PROP(TColor, LabelBrushColor)
  VX_OBJ_PROP(TBrushStyle, LabelBrushStyle)
  VX_OBJ_PROP(TVXLabelPos, LabelPos)
  VX_OBJ_PROP(TVXLabelBorder, LabelBorder)
  VX_OBJ_PROP(TVXShape, BeginShape)
  VX_OBJ_PROP(TVXShape, EndShape)
  VX_OBJ_PROP(int32_t, ShapeWidth)
  VX_OBJ_PROP(int32_t, ShapeHeight)
  VX_OBJ_PROP(void*, UserData)
  VX_OBJ_PROP(int32_t, UserDataLength)
  VX_OBJ_PROP(bool, AspectRatio)
  VX_OBJ_PROP(TVXRenderOperation, BlendOperation)
  VX_OBJ_PROP(int32_t, Layer)
  VX_OBJ_PROP(int32_t, Transparency)
  VX_OBJ_PROP(int32_t, ID)
  VX_OBJ_PROP(TVXUnits, RulerUnit)
  VX_OBJ_PROP(TVXVRulerType, RulerType)
  VX_OBJ_PROP(bool, PolylineClosed)
  VX_OBJ_PROP(bool, FontLocked)
  VX_OBJ_PROP(TVXFontQuality, FontQuality)
  VX_OBJ_PROP(TVXAlignment, TextAlign)
  VX_OBJ_PROP(bool, TextAutoSize)
  VX_OBJ_PROP(bool, TextEditable)
  VX_OBJ_PROP(bool, TextMaintainAlignmentOnRotate)
  VX_OBJ_PROP(int32_t, MemoLineSpace)
  VX_OBJ_PROP(TColor, MemoBorderColor)
  VX_OBJ_PROP(TPenStyle, MemoBorderStyle)
  VX_OBJ_PROP(int32_t, MemoFixedHeight)
  VX_OBJ_PROP(bool, MemoHasBitmap)
  VX_OBJ_PROP(TBrushStyle, MemoCharsBrushStyle)
  VX_OBJ_PROP(double, MemoMarginLeft)
  VX_OBJ_PROP(double, MemoMarginTop)
  VX_OBJ_PROP(double, MemoMarginRight)
  VX_OBJ_PROP(double, MemoMarginBottom)
  VX_OBJ_PROP(bool, BitmapBorder)
  VX_OBJ_PROP(double, ArcStartingAngle)
  VX_OBJ_PROP(double, ArcEndingAngle)
  VX_OBJ_PROP(TVXVStyle, Style)
  VX_OBJ_PROP(int32_t, Left)
  VX_OBJ_PROP(int32_t, Top)
  VX_OBJ_PROP(int32_t, Width)
  VX_OBJ_PROP(int32_t, Height)
  VX_OBJ_PROP(std::string, Name)
  VX_OBJ_PROP(std::u16string, Text)
  VX_OBJ_PROP(int32_t, FontHeight)
  VX_OBJ_PROP(std::string, FontName)
  VX_OBJ_PROP(double, FontAngle)
  VX_OBJ_PROP(TFontStyles, FontStyles)
  VX_OBJ_PROP(double, TextCurveCharRot)
#undef VX_OBJ_PROP
  TVXVSoftShadow* GetObjSoftShadow(int32_t hobj);
  TVXExtendedObject* GetObjExtendedObject(int32_t hobj);
  int32_t GetObjPolylinePointsCount(int32_t hobj);
  void GetObjRect(int32_t hobj, TRect& Rect);
  void SetObjRect(int32_t hobj, const TRect& Rect, bool bMaintainAspectRatio = false);
  // The wide LOGFONT of Font's handle; PenColor := Font's colour.
  void SetObjFont(int32_t hobj, TFont* Font);
  // The LOGFONT itself (nullptr without a font), for programs that keep one.
  const LOGFONTW* GetObjLogFont(int32_t hobj);
  void SetObjLogFont(int32_t hobj, const LOGFONTW* LogFont);
  // Point index mapped into the object's rectangle; (-1, -1) outside.
  TPoint GetObjPolylinePoints(int32_t hobj, int32_t index);
  void SetObjPolylinePoints(int32_t hobj, const std::vector<TPoint>& Points);
  TVXBitmap* GetObjBitmap(int32_t hobj);
  void SetObjBitmap(int32_t hobj, TVXBitmap* Value);
  void ObjSetTBitmap(int32_t hobj, TBitmap* bmp);
  TVXBitmap* GetObjBitmapAlpha(int32_t hobj);
  void SetObjBitmapAlpha(int32_t hobj, TVXBitmap* Value);
  void SetObjBitmapICO(int32_t hobj, int32_t ico, int32_t iwidth, int32_t iheight);
  bool SetObjBitmapFromFile(int32_t hobj, const std::string& FileName);
  bool SetObjBitmapFromStream(int32_t hobj, TStream* Stream, int32_t FileFormat);
  // Angle points 0..2 (another index raises "Invalid object index"); the
  // setter takes exactly three points ("Invalid Points array size").
  TPoint GetObjAnglePoints(int32_t hobj, int32_t index);
  void SetObjAnglePoints(int32_t hobj, const std::vector<TPoint>& Points);

  // ---- object undo ----
  void ObjSaveUndo();
  void ObjUndo() { ObjUndoAt(0); }
  void ObjUndoAt(int32_t Position);
  void ObjClearUndo();
  void ObjClearAllUndo();
  bool ObjCanUndo() const { return !fObjUndoList.empty(); }
  int32_t ObjUndoCount() const { return int32_t(fObjUndoList.size()); }
  int32_t ObjUndoLimit() const { return fObjUndoLimit; }
  void SetObjUndoLimit(int32_t Value) { fObjUndoLimit = Value; }
  bool ObjAutoUndo() const { return fObjAutoUndo; }
  void SetObjAutoUndo(bool Value) { fObjAutoUndo = Value; }
  TVXVUndoMode ObjUndoMode() const { return fObjUndoMode; }
  void SetObjUndoMode(TVXVUndoMode Value) { fObjUndoMode = Value; }

  // ---- object stream (vxvstream.cpp) ----
  // hobj -3 (or -4): all objects in drawing order; 0 or more: that object;
  // -1 and -2: no record.
  void SaveToStreamVXV(TStream* Stream, int32_t hobj) override;
  // True when the header was accepted and every record was read whole.
  bool LoadFromStreamVXV(TStream* Stream, bool AppendObjects);
  // The viewer-host form (0 replaces the objects, anything else appends).
  void LoadFromStreamVXV(TStream* Stream, int32_t ObjectIndex) override;
  // The whole file or nothing; an empty name does nothing.
  void SaveToFileVXV(const std::string& FileName, int32_t hobj);
  bool LoadFromFileVXV(const std::string& FileName, bool AppendObjects);
  bool IsVxvStream(TStream* Stream) { return VXIsVxvStream(Stream); }

  // ---- measuring ----
  TVXUnits MUnit() const { return fMUnit; }
  void SetMUnit(TVXUnits Value);
  double ScaleFactor() const { return fScale; }
  void SetScaleFactor(double Value);
  double MeasureCoefX() const { return fCoefX; }
  double MeasureCoefY() const { return fCoefY; }
  int32_t FloatDigits() const { return fFloatDigits; }
  void SetFloatDigits(int32_t Value);
  int32_t FloatPrecision() const { return fFloatPrecision; }
  void SetFloatPrecision(int32_t Value);
  bool MeasureTrack() const { return fMeasureTrack; }
  void SetMeasureTrack(bool Value) { fMeasureTrack = Value; }
  void SetDPIX(int32_t dpiX) override;
  void SetDPIY(int32_t dpiY) override;

  // ---- settings (their drawing and mouse parts come with painting) ----
#define VX_SETTING(Type, Name, Field) \
  Type Name() const { return Field; } \
  void Set##Name(Type Value) { Field = Value; }
  VX_SETTING(TResampleFilter, BitmapResampleFilter, fBitmapResampleFilter)
  VX_SETTING(bool, SelectOnMouseDown, fSelectOnMouseDown)
  VX_SETTING(int32_t, ObjGripSize, fObjGripSize)
  VX_SETTING(TVXGripShape, ObjGripShape, fObjGripShape)
  VX_SETTING(bool, UseCentralGrip, fUseCentralGrip)
  VX_SETTING(bool, CenterNewObjects, fCenterNewObjects)
  VX_SETTING(int32_t, MaxSelectionDistance, fMaxSelectionDistance)
  VX_SETTING(int32_t, MaxMovingDistance, fMaxMovingDistance)
  VX_SETTING(bool, ObjBoxInnerSelectable, fObjBoxInnerSelectable)
  VX_SETTING(bool, ObjBitmapHandleTransparencyOnSel, fObjBitmapHandleTransparencyOnSel)
  VX_SETTING(bool, EnableRangeObjectsSelection, fEnableRangeObjectsSelection)
  VX_SETTING(bool, AllowOutOfBitmapMoving, fAllowOutOfBitmapMoving)
  VX_SETTING(bool, AllowOutOfBitmapPolylines, fAllowOutOfBitmapPolylines)
  VX_SETTING(TVXPolylineEndingMode, PolylineEndingMode, fPolylineEndingMode)
  VX_SETTING(TVXPolylineClosingMode, PolylineClosingMode, fPolylineClosingMode)
  VX_SETTING(bool, ObjEditOnNewText, fObjEditOnNewText)
  VX_SETTING(bool, ObjEnableFastDrawing, fObjEnableFastDrawing)
  VX_SETTING(bool, ObjAnchorToLayers, fObjAnchorToLayers)
  VX_SETTING(TColor, MeasureHintBorder1, fMeasureHintBorder1)
  VX_SETTING(TColor, MeasureHintBorder2, fMeasureHintBorder2)
  int32_t MaxTextLength() const { return fMaxTextLength; }
  // Written to both in-place editors.
  void SetMaxTextLength(int32_t Value);
#undef VX_SETTING
  TVXMouseInteractVt MouseInteractVt() const { return fMouseInteractVt; }
  // Area and length measuring show the hint at the control's middle; any
  // other choice takes it away.
  void SetMouseInteractVt(TVXMouseInteractVt Value);
  bool ZoomObjectsWidth() const { return fZoomObjectsWidth; }
  void SetZoomObjectsWidth(bool Value);
  bool ObjAntialias() const { return fObjAntialias; }
  void SetObjAntialias(bool Value);
  bool ObjRulerQuoteHorizon() const { return fObjRulerQuoteHorizon; }
  void SetObjRulerQuoteHorizon(bool Value);
  bool ObjAngleShowSmall() const { return fObjAngleShowSmall; }
  void SetObjAngleShowSmall(bool Value);
  bool AllObjectsHidden() const { return fAllObjectsHidden; }
  void SetAllObjectsHidden(bool Value);
  bool ObjGraphicRender() const { return fObjGraphicRender; }
  TVXVGripping ObjGripping() const { return fGripping; }
  int32_t ObjDrawed() const { return fObjDrawed; }
  TPen* ObjGripPen() { return fObjGripPen.get(); }
  TBrush* ObjGripBrush() { return fObjGripBrush.get(); }
  TPen* InsertingPen() { return fInsertingPen.get(); }
  TFont* MeasureHintFont() { return fMeasureHintFont.get(); }
  TBrush* MeasureHintBrush() { return fMeasureHintBrush.get(); }
  TPicture* ObjGripImage() { return fObjGripImage.get(); }
  const std::string& ExtendedObjectToPut() const { return fExtendedObjectToPut; }
  // Frees the template's extended object and gives it a new one of the
  // class registered under Value (none when not registered).
  void SetExtendedObjectToPut(const std::string& Value);
  void ObjLockPaint() { ++fObjLockPaint; }
  void ObjUnLockPaint() { --fObjLockPaint; }

  // Objects on layer idx go with the layer.
  void LayersRemove(int32_t idx) override;

  // ---- drawing (vexlanevect_draw.cpp) ----
  // The objects (or one, -3 all, -9 the selection) drawn into Target in
  // image coordinates; an empty Target becomes a 24-bit bitmap of the
  // objects' extents plus one pixel; AdaptBitmapPixelFormat brings another
  // format to 24 bits first.
  void DrawObjectsToBitmap(TVXBitmap* Target, bool Antialias, bool AdaptBitmapPixelFormat);
  void DrawOneObjectToBitmap(int32_t hobj, TVXBitmap* Target, bool Antialias, bool AdaptBitmapPixelFormat);
  // The objects burnt into the viewer's bitmap (into each layer's bitmap
  // when anchored to layers); they stay in the store.
  void CopyObjectsToBack(bool Antialias, bool AdaptBitmapPixelFormat);
  void CopyObjectToBack(int32_t hobj, bool Antialias, bool AdaptBitmapPixelFormat);
  // The viewer's rendering, then the objects (per layer through
  // AfterDrawLayer when anchored to layers) and the grips of the selection.
  void PaintToEx(TVXBitmap* ABitmap, uint8_t** ABitmapScanline, const TRect* UpdRect, bool DrawBackground,
                 bool DrawGadgets) override;
  void AfterDrawLayer(int32_t LayerIndex, TVXBitmap* Dest, const TRect* UpdRect) override;
  // The viewer's update, then the text editor's place.
  void Update() override;
  void DoViewChange(int32_t Change) override;
  // True while the primary button is held during a paint: objects are drawn
  // without antialiasing and without compositing until the 50 ms timer finds
  // the button released.
  bool FastDrawing() const { return fFastDrawing; }
  // Grips of one object, and of every selected object, in client pixels.
  void DrawObjGrips(TVXBitmap* Target, int32_t hobj);
  void DrawSelectionGrips(TVXBitmap* Target);
  // An angle object's swept angle in degrees (0..360, anticlockwise on the
  // screen from the first arm to the second); 0 unless its three points
  // are set.
  double GetAngleValue(int32_t hobj);
  static double AngleOf(const TPoint* Points);
  // A measured value as the measure texts show it.
  std::string FormatMeasure(double Value) const;

  // ---- virtual operations ----
  virtual void DrawInsertingLine(bool erase) { (void)erase; }
  virtual void DrawInsertingBox(bool erase) { (void)erase; }
  virtual void DrawInsertingEllipse(bool erase) { (void)erase; }
  virtual void DrawInsertingRuler() {}
  virtual void DrawInsertingAngle() {}
  virtual void DoVectorialChanged();
  // Places and formats the in-place editor over the edited object.
  virtual void PlaceTextEditor();
  virtual void DoObjectMoveResize(int32_t hobj, int32_t Grip, int32_t& OffsetX, int32_t& OffsetY);
  virtual void DoObjectClick(int32_t hobj);
  virtual void DoObjectDblClick(int32_t hobj);
  virtual void DoObjectOver(int32_t hobj);
  virtual void SetObjGraphicRender(bool Value) { fObjGraphicRender = Value; }
  virtual void DoVectorialChanging();
  virtual void DoNewObject(int32_t hobj);
  virtual void DoUserSelectObject(int32_t hobj);
  virtual void DoUserDeselectObject(int32_t hobj);
  bool VectorialChanged() const { return fVectorialChanged; }

  // ---- events ----
  TNotifyEvent OnSelectObject;
  TVXVObjectEvent OnUserSelectObject;
  TVXVObjectEvent OnUserDeselectObject;
  TVXMeasureHintEvent OnMeasureHint;
  TVXPresentMeasureEvent OnPresentMeasure;
  TVXDragLenEndEvent OnDragLenEnd;
  TNotifyEvent OnVectorialChanged;
  TNotifyEvent OnBeforeVectorialChanged;  // kept for programs; nothing raises it
  TVXVObjectEvent OnNewObject;
  TVXObjectMoveResizeEvent OnObjectMoveResize;
  TVXVObjectEvent OnObjectClick;
  TVXVObjectEvent OnObjectDblClick;
  TVXVObjectEvent OnObjectOver;
  TVXTextKeyDownEvent OnTextKeyDown;
  TNotifyEvent OnActivateTextEdit;
  TVXTextEditEvent OnTextEdit;
  TNotifyEvent OnDeactivateTextEdit;
  TNotifyEvent OnTextEditCursorMoved;
  TVXDrawObjectEvent OnBeforeDrawObject;
  TVXDrawObjectEvent OnAfterDrawObject;

 protected:
  void Paint() override;
  void WMSize(TMessage& Message) override;
  void WndProc(TMessage& Message) override;
  void WMSetFocus(TMessage& Message) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  // In-place editing.
  void CreateTextEditors();
  void StartTextEdit();
  void EndTextEdit(bool Destroying);
  void TextEditChange();
  void TextEditKeyDown(void* Sender, WORD& Key, TShiftState Shift);
  void MemoEditKeyDown(void* Sender, WORD& Key, TShiftState Shift);
  int32_t EditTextWidth();
  void SetupMemoControl(TVXTextControl& M, const TVXVObject& O);
  // The memo renderer: the object's text and formats lent to a throw-away
  // rich-text control painting the box at (X1, Y1).
  void RenderMemo(TVXVObject& o, TVXCanvas& C, int32_t X1, int32_t Y1, double Zoom, bool MaskMode);
  void MouseStableTimer();

  // The store's one add routine: a copy of Source on top of the z-order,
  // with its own blocks, its picture bound (shared or copied), its corners
  // ordered for the kinds that order them. TakeUserData moves Source's owned
  // user data into the new record. Returns the handle.
  int32_t AddRecord(TVXVObject& Source, bool TakeUserData);
  // Picture slots: assigning (shared when on and equal), releasing, packing.
  void AssignBitmap(TVXVObject& Obj, TVXBitmap* B);
  void ReleaseBitmap(TVXVObject& Obj);
  void PackBitmaps();
  void FreeObjectContents(TVXVObject& Obj);
  void RemoveOneObject(int32_t hobj);
  // One object (or the selection, -9) just above (Front) or below refobj;
  // -2 one step; another negative or unknown refobj: the top or bottom.
  void MoveInZOrder(int32_t hobj, int32_t refobj, bool Front);
  void ResetTemplate();
  void CalcMeasureCoefs();
  void AutoUndoStep();
  // A setter's repaint: none for the template.
  void Changed(int32_t hobj) {
    if (hobj != -1) Update();
  }
  int32_t ResolveHandle(int32_t hobj) const;
  // Hit testing: the search, and one object's distance.
  int32_t FindObjectAtEx(int32_t x, int32_t y, double& Distance, bool SelectableOnly);
  double ObjDistance(const TVXVObject& o, int32_t bx, int32_t by);
  // The layer an object's coordinates belong to (nullptr: the viewer's).
  const TVXLayer* ObjLayer(const TVXVObject& o) const;
  // A polyline's points mapped into its box (rounded).
  static std::vector<TPoint> MappedPolyPoints(const TVXVObject& o);
  static std::vector<TVXDPoint> MappedPolyPointsF(const TVXVObject& o);
  // Erases and draws the hint again at its place.
  void RedrawMeasureHint();
  // Drawing: one object onto Target (false when it was not drawn), in
  // client (Screen) or image coordinates, only objects of Layer when
  // anchored (-1: any); MaskMode draws its coverage in grey.
  // Canvas, when given, keeps the canvases over Target between calls.
  struct TVXCanvasPair {
    std::unique_ptr<TVXCanvas> GDI, GDIPlus;
    TVXCanvasPair();
    ~TVXCanvasPair();
  };
  bool DrawOneObject(int32_t h, TVXBitmap* Target, bool Screen, int32_t Layer, bool AntiAlias, bool MaskMode,
                     TVXCanvasPair* Canvas = nullptr);
  void DrawObjectsLoop(TVXBitmap* Target, bool Screen, int32_t Layer, int32_t hobj, bool AntiAlias);
  void SupersampleLoop(TVXBitmap* Target, bool Screen, int32_t Layer, const std::vector<int32_t>& Handles,
                       bool AntiAlias);
  // The object's corners (x2 + 1, y2 + 1 for the far one) mapped, ordered.
  TRect MappedBox(const TVXVObject& o, bool Screen);
  static TRect ShadowRect(TVXBitmap* Cache, const TVXVSoftShadow& Shadow, const TRect& R, int32_t Factor);
  bool NeedsCompositing(const TVXVObject& o, const TVXBitmap* Target) const;
  void DrawObjectBitmap(TVXVObject& o, TVXBitmap* Target, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t pw,
                        bool MaskMode, TColor PenColor);
  // Length of one image pixel in Unit (with the layer's resolution and scale).
  double UnitCoef(TVXUnits Unit, bool Vertical) const;
  // The renderers of texts, line labels, rulers and angles (vexlanevect_text.cpp).
  void RenderText(TVXVObject& o, TVXCanvas& C, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Zoom,
                  TColor Colour);
  void RenderCurvedText(TVXVObject& o, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Height,
                        TColor Colour);
  void RenderLineLabel(TVXVObject& o, TVXCanvas& C, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       double Zoom, TColor Colour, bool Screen);
  void RenderRuler(TVXVObject& o, TVXCanvas& C, HDC DC, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Zoom,
                   double ZoomX, double ZoomY, TColor Colour);
  void RenderAngle(TVXVObject& o, TVXCanvas& C, HDC DC, const std::function<TPoint(TPoint)>& Map, double Zoom,
                   TColor Colour);
  static void HighlightBox(TVXBitmap* Target, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor Color, bool Set);
  // A 24-bit picture of W x H with the system icon Id drawn on it at that
  // size in normal mode (its transparent parts stay black).
  static void SystemIconPicture(TVXBitmap& B, int32_t Id, int32_t W, int32_t H);

  std::vector<std::unique_ptr<TVXVObject>> fObjHeap;
  bool fHeapAllocated = false;
  std::vector<int32_t> fObj;     // z-order, bottom first
  std::vector<int32_t> fSelObj;  // selection order
  TVXVObject fNewObj;            // the template (handle -1)
  std::vector<TVXVBitmap> fBitmaps;
  bool fShareBitmaps = true;

  TVXVObjectKind fInserting = vxkNONE;
  TVXVGripping fGripping = vxgrNone;
  int32_t fTextEditing = -1;
  int32_t fMouseOver = -1;
  bool fVectorialChanged = false;
  bool fVectorialChanging = false;

  bool fSelectOnMouseDown_WasSelected = false;
  bool fShowHint = false;
  int32_t fHintX = 0, fHintY = 0;
  int32_t fDragLenX0 = 0, fDragLenY0 = 0;  // press point of a length drag
  int32_t fMeasureMouseX = 0, fMeasureMouseY = 0;  // last hint point (client)
  std::unique_ptr<TBitmap> fHintSaveBitmap;
  double fLastHintValue = 0;
  double fScale = 1.0;
  TVXUnits fMUnit = vxuPIXELS;
  double fCoefX = 1.0, fCoefY = 1.0;
  int32_t fFloatPrecision = 15, fFloatDigits = 2;
  bool fMeasureTrack = true;

  std::vector<std::unique_ptr<TMemoryStream>> fObjUndoList;
  int32_t fObjUndoLimit = 1;
  bool fObjAutoUndo = false;
  TVXVUndoMode fObjUndoMode = vxumSeparated;
  bool fSavedUndo = false;

  int32_t fObjDrawed = 0;
  bool fFastDrawing = false;
  int32_t fDrawFactor = 1;  // objects drawn at this multiple of their size (supersampling)
  std::unique_ptr<TTimer> fMouseStableTimer;
  std::unique_ptr<TVXBitmap> fCacheBitmap;  // the off-screen bitmap of the compositing path
  std::unique_ptr<TVXBitmap> fCacheMask;    // the coverage drawn beside it
  int32_t fObjLockPaint = 0;

  TVXMouseInteractVt fMouseInteractVt = 0;
  bool fZoomObjectsWidth = true;
  TResampleFilter fBitmapResampleFilter = rfNone;
  bool fObjAntialias = true;
  bool fSelectOnMouseDown = true;
  std::unique_ptr<TPicture> fObjGripImage;
  int32_t fObjGripSize = 5;
  TVXGripShape fObjGripShape = vxgsCircle;
  std::unique_ptr<TPen> fObjGripPen;
  std::unique_ptr<TBrush> fObjGripBrush;
  bool fUseCentralGrip = false;
  std::unique_ptr<TPen> fInsertingPen;
  bool fCenterNewObjects = false;
  int32_t fMaxSelectionDistance = -1;
  int32_t fMaxMovingDistance = 1;
  bool fObjBoxInnerSelectable = false;
  bool fObjBitmapHandleTransparencyOnSel = true;
  bool fEnableRangeObjectsSelection = true;
  bool fAllowOutOfBitmapMoving = true;
  bool fAllowOutOfBitmapPolylines = false;
  TVXPolylineEndingMode fPolylineEndingMode = vxemDoubleClick;
  TVXPolylineClosingMode fPolylineClosingMode = vxcmManual;
  bool fObjEditOnNewText = true;
  bool fObjRulerQuoteHorizon = true;
  bool fObjAngleShowSmall = false;
  bool fObjEnableFastDrawing = true;
  bool fObjAnchorToLayers = true;
  bool fObjGraphicRender = false;
  bool fAllObjectsHidden = false;
  std::unique_ptr<TFont> fMeasureHintFont;
  std::unique_ptr<TBrush> fMeasureHintBrush;
  TColor fMeasureHintBorder1 = 0xFFFFFF;
  TColor fMeasureHintBorder2 = 0x808080;
  std::string fExtendedObjectToPut;
  int32_t fMaxTextLength = 0;
  std::unique_ptr<TVXEdit> fTextEdit;
  std::unique_ptr<TVXTextControl> fMemoEdit;
  std::u16string fTextEditOld;  // the text object's text when its edit began
  bool fTextEditLoading = false;
  TVXVObject* fMemoWriteFormattedString = nullptr;
  std::u16string fMemoFormattedString;

  friend class TVXVStreamReader;
};
