#pragma once
// The data of one layer: a bitmap with its place in the document, display
// size, visibility, opacity and transparency, blend operation, rotation,
// magnifier mode, name, user data and mask flag. The document codecs (PSD)
// create and read layers; the viewer builds its layer stack on this record
// and keeps where it last drew each layer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/blend.h"
#include "core/viewhost.h"
#include "core/vxdefs.h"
#include "platform/win_geometry.h"

class TVXBitmap;
class TStream;

// Magnifier mode of a layer: it shows what lies under it, enlarged by Rate.
struct TVXLayerMagnification {
  bool Enabled = false;
  double Rate = 2.0;
  TVXMagnifyStyle Style = vxmRectangle;
  TVXMagnifySource Source = vxmCanvas;
};

// Where a layer was last drawn: destination (client) and source (bitmap)
// rectangles, and the four client corners of a rotated layer (top-left,
// top-right, bottom-right, bottom-left).
struct TVXDrawingInfo {
  int32_t XDst = 0, YDst = 0, WidthDst = 0, HeightDst = 0;
  int32_t XSrc = 0, YSrc = 0, WidthSrc = 0, HeightSrc = 0;
  TPoint RotatedDest[4] = {};
};

class TVXLayer {
 public:
  // A layer with a new empty bitmap of its own.
  TVXLayer();
  // A layer that uses Bitmap itself; it frees it when FreeBitmapOnDestroy
  // stays true (the default).
  explicit TVXLayer(TVXBitmap* Bitmap);
  // A layer of Owner (the viewer): with JustAssign it uses TemplateBitmap
  // itself; otherwise a new bitmap with the template's size, pixel format and
  // storage location (no pixels copied), or an empty one without template.
  TVXLayer(TVXViewHost* Owner, TVXBitmap* TemplateBitmap, bool JustAssign);
  ~TVXLayer();
  TVXLayer(const TVXLayer&) = delete;
  TVXLayer& operator=(const TVXLayer&) = delete;

  TVXBitmap* Bitmap() const { return fBitmap; }
  // Replaces the bitmap; the old one is freed when the layer owned it.
  void SetBitmap(TVXBitmap* Value);
  TVXViewHost* Owner() const { return fOwner; }
  void SetOwner(TVXViewHost* Value) { fOwner = Value; }
  bool Visible() const { return fVisible; }
  void SetVisible(bool Value) { fVisible = Value; }
  // The box and grips may be drawn.
  bool VisibleBox() const { return fVisibleBox; }
  void SetVisibleBox(bool Value) { fVisibleBox = Value; }
  // Can be picked with the mouse.
  bool Selectable() const { return fSelectable; }
  void SetSelectable(bool Value) { fSelectable = Value; }
  // Cannot be moved, resized or rotated with the mouse.
  bool Locked() const { return fLocked; }
  void SetLocked(bool Value) { fLocked = Value; }
  // 0..255: the upper bound of the layer's alpha.
  int32_t Transparency() const { return fTransparency; }
  void SetTransparency(int32_t Value) { fTransparency = Value; }
  // 0..1, multiplies the layer's alpha.
  double Opacity() const { return fOpacity; }
  void SetOpacity(double Value) { fOpacity = Value; }
  int32_t AlphaEdgeFeathering() const { return fAlphaEdgeFeathering; }
  void SetAlphaEdgeFeathering(int32_t Value) { fAlphaEdgeFeathering = Value; }
  // The top-left corner in document pixels.
  int32_t PosX() const { return fPosX; }
  void SetPosX(int32_t Value) { fPosX = Value; }
  int32_t PosY() const { return fPosY; }
  void SetPosY(int32_t Value) { fPosY = Value; }
  // The client rectangle where the layer was last painted.
  const TRect& ClientAreaBox() const { return fClientAreaBox; }
  void SetClientAreaBox(const TRect& Value) { fClientAreaBox = Value; }
  // Clipped to the background layer's rectangle.
  bool Cropped() const { return fCropped; }
  void SetCropped(bool Value) { fCropped = Value; }
  TVXLayerMagnification& Magnify() { return fMagnify; }
  const TVXLayerMagnification& Magnify() const { return fMagnify; }
  TVXRenderOperation Operation() const { return fOperation; }
  void SetOperation(TVXRenderOperation Value) { fOperation = Value; }
  // The user's bytes, owned by the layer (copied by Assign).
  const std::vector<uint8_t>& UserData() const { return fUserData; }
  void SetUserData(const void* Data, int32_t Length);
  int32_t UserDataLen() const { return int32_t(fUserData.size()); }
  bool FreeBitmapOnDestroy() const { return fFreeBitmapOnDestroy; }
  void SetFreeBitmapOnDestroy(bool Value) { fFreeBitmapOnDestroy = Value; }
  TResampleFilter ResampleFilter() const { return fResampleFilter; }
  void SetResampleFilter(TResampleFilter Value) { fResampleFilter = Value; }
  bool UseResampleFilter() const { return fUseResampleFilter; }
  void SetUseResampleFilter(bool Value) { fUseResampleFilter = Value; }
  // Free text (8-bit as stored by the formats that carry it).
  const std::string& Name() const { return fName; }
  void SetName(const std::string& Value) { fName = Value; }
  // The layer is the mask of the layer directly before it.
  bool IsMask() const { return fIsMask; }
  void SetIsMask(bool Value) { fIsMask = Value; }
  TVXDrawingInfo& DrawingInfo() { return fDrawingInfo; }
  const TVXDrawingInfo& DrawingInfo() const { return fDrawingInfo; }
  // When current, the area outside the layer is dimmed.
  bool DrawOuter() const { return fDrawOuter; }
  void SetDrawOuter(bool Value) { fDrawOuter = Value; }
  const TVXLayerGUID& GUID() const { return fGUID; }
  void SetGUID(const TVXLayerGUID& Value) { fGUID = Value; }
  // Rotation in degrees: a whole multiple of 360 becomes exactly 0, any
  // other value is kept as given.
  double Rotate() const { return fRotate; }
  void SetRotate(double Value);
  // Rotation centre as a fraction of the bitmap's width and height.
  double RotateCenterX() const { return fRotateCenterX; }
  void SetRotateCenterX(double Value) { fRotateCenterX = Value; }
  double RotateCenterY() const { return fRotateCenterY; }
  void SetRotateCenterY(double Value) { fRotateCenterY = Value; }
  // The mask painting made for the layer, kept until the viewer's next
  // update (owned).
  TVXBitmap* CachedLayerMask() const { return fCachedLayerMask.get(); }
  void SetCachedLayerMask(std::unique_ptr<TVXBitmap> Value);

  // Display size: ResizedWidth/ResizedHeight when not 0, else the bitmap's.
  int32_t ResizedWidth() const { return fResizedWidth; }
  int32_t ResizedHeight() const { return fResizedHeight; }
  int32_t Width() const;
  int32_t Height() const;
  void SetWidth(int32_t Value) { fResizedWidth = Value; }
  void SetHeight(int32_t Value) { fResizedHeight = Value; }

  // Back to the defaults (name, GUID, bitmap, resample filter and
  // feathering kept); the drawing record is emptied.
  void SetDefaults();
  // Copies the image and the properties (not rotation, rotation centre or
  // GUID); the user data is copied.
  void Assign(const TVXLayer& Source);
  // Takes Other's image (Other's bitmap is left empty) and exchanges the
  // properties, GUID included. An owner (viewer) that showed Other's bitmap
  // shows this layer's afterwards.
  void Swap(TVXLayer& Other);
  // The layer record (little-endian): its length, GUID, properties and,
  // with SaveBitmap, the bitmap's raw dump. The stream ends after the record.
  void SaveInfo(TStream* Stream, bool SaveBitmap);
  // Reads one record back. A record that is short or whose lengths reach
  // past its end raises EVXException "Damaged layer record"; ordinals out of
  // range are read as their defaults.
  void LoadInfo(TStream* Stream);

 private:
  TVXBitmap* fBitmap = nullptr;
  TVXViewHost* fOwner = nullptr;
  bool fVisible = true;
  bool fVisibleBox = true;
  bool fSelectable = true;
  bool fLocked = false;
  int32_t fTransparency = 255;
  double fOpacity = 1.0;
  int32_t fAlphaEdgeFeathering = 0;
  int32_t fPosX = 0, fPosY = 0;
  TRect fClientAreaBox{0, 0, 0, 0};
  bool fCropped = false;
  TVXLayerMagnification fMagnify;
  TVXRenderOperation fOperation = vxlNormal;
  std::vector<uint8_t> fUserData;
  bool fFreeBitmapOnDestroy = true;
  TResampleFilter fResampleFilter = rfNone;
  bool fUseResampleFilter = false;
  std::string fName;
  bool fIsMask = false;
  TVXDrawingInfo fDrawingInfo;
  bool fDrawOuter = false;
  TVXLayerGUID fGUID{};
  double fRotate = 0;
  double fRotateCenterX = 0.5, fRotateCenterY = 0.5;
  std::unique_ptr<TVXBitmap> fCachedLayerMask;
  int32_t fResizedWidth = 0, fResizedHeight = 0;
};

// A fresh random layer identity.
TVXLayerGUID VXNewLayerGUID();

// Layers in order, the bottom one first; the list owns them.
using TVXLayerList = std::vector<std::unique_ptr<TVXLayer>>;
