#include "core/layer.h"

#include "core/bitmap.h"

TVXLayer::TVXLayer() : fBitmap(new TVXBitmap()) {}

TVXLayer::TVXLayer(TVXBitmap* Bitmap) : fBitmap(Bitmap) {}

TVXLayer::~TVXLayer() {
  if (fFreeBitmapOnDestroy) delete fBitmap;
}

void TVXLayer::SetBitmap(TVXBitmap* Value) {
  if (Value == fBitmap) return;
  if (fFreeBitmapOnDestroy) delete fBitmap;
  fBitmap = Value;
}

int32_t TVXLayer::Width() const {
  if (fResizedWidth != 0) return fResizedWidth;
  return fBitmap ? fBitmap->Width() : 0;
}

int32_t TVXLayer::Height() const {
  if (fResizedHeight != 0) return fResizedHeight;
  return fBitmap ? fBitmap->Height() : 0;
}
