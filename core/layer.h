#pragma once
// The data of one layer: a bitmap with its place in the document, its
// opacity, visibility, name and mask flag. The document codecs (PSD) create
// and read layers; the viewer builds its layer stack on top of this record.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/vxdefs.h"

class TVXBitmap;

class TVXLayer {
 public:
  // A layer with a new empty bitmap of its own.
  TVXLayer();
  // A layer that uses Bitmap itself; it frees it when FreeBitmapOnDestroy
  // stays true (the default).
  explicit TVXLayer(TVXBitmap* Bitmap);
  ~TVXLayer();
  TVXLayer(const TVXLayer&) = delete;
  TVXLayer& operator=(const TVXLayer&) = delete;

  TVXBitmap* Bitmap() const { return fBitmap; }
  // Replaces the bitmap; the old one is freed when the layer owned it.
  void SetBitmap(TVXBitmap* Value);
  bool Visible() const { return fVisible; }
  void SetVisible(bool Value) { fVisible = Value; }
  // 0..1, multiplies the layer's alpha.
  double Opacity() const { return fOpacity; }
  void SetOpacity(double Value) { fOpacity = Value; }
  // The top-left corner in document pixels.
  int32_t PosX() const { return fPosX; }
  void SetPosX(int32_t Value) { fPosX = Value; }
  int32_t PosY() const { return fPosY; }
  void SetPosY(int32_t Value) { fPosY = Value; }
  // Clipped to the background layer's rectangle.
  bool Cropped() const { return fCropped; }
  void SetCropped(bool Value) { fCropped = Value; }
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
  // Display size: ResizedWidth/ResizedHeight when not 0, else the bitmap's.
  int32_t ResizedWidth() const { return fResizedWidth; }
  int32_t ResizedHeight() const { return fResizedHeight; }
  int32_t Width() const;
  int32_t Height() const;
  void SetWidth(int32_t Value) { fResizedWidth = Value; }
  void SetHeight(int32_t Value) { fResizedHeight = Value; }

 private:
  TVXBitmap* fBitmap = nullptr;
  bool fVisible = true;
  double fOpacity = 1.0;
  int32_t fPosX = 0, fPosY = 0;
  bool fCropped = false;
  bool fFreeBitmapOnDestroy = true;
  TResampleFilter fResampleFilter = rfNone;
  bool fUseResampleFilter = false;
  std::string fName;
  bool fIsMask = false;
  int32_t fResizedWidth = 0, fResizedHeight = 0;
};

// Layers in order, the bottom one first; the list owns them.
using TVXLayerList = std::vector<std::unique_ptr<TVXLayer>>;
