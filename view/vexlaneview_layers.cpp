// The viewer's layer list: layer 0 holds the viewer's bitmap; the current
// layer's bitmap is the viewer's current image.
#include <string>

#include "core/bitmap.h"
#include "view/vexlaneview.h"

TVXLayer* TVexlaneView::Layers(int32_t Index) const {
  if (Index < 0 || Index >= int32_t(fLayers.size()))
    throw EVXException("List index out of bounds (" + std::to_string(Index) + ")");
  return fLayers[size_t(Index)].get();
}

TVXBitmap* TVexlaneView::LayerBitmap(int32_t Index) {
  if (Index < 0 || Index >= int32_t(fLayers.size())) return nullptr;
  return fLayers[size_t(Index)]->Bitmap();
}

void TVexlaneView::SyncLayers() {
  // The platform bitmap may have been replaced or resized under the image.
  if (fVXBitmap != nullptr && fVXBitmap->Location() == vxTBitmap) {
    fVXBitmap->UpdateFromTBitmap();
    fBitmap = fVXBitmap->VclBitmap();
  }
  if (fLayersCurrent >= 0 && fLayersCurrent < int32_t(fLayers.size())) {
    TVXLayer* layer = fLayers[size_t(fLayersCurrent)].get();
    if (layer->Bitmap() != fVXBitmap) {
      // Only the reference moves: whatever the layer held is not freed here.
      const bool owns = layer->FreeBitmapOnDestroy();
      layer->SetFreeBitmapOnDestroy(false);
      layer->SetBitmap(fVXBitmap);
      layer->SetFreeBitmapOnDestroy(owns);
    }
  }
  TVXBitmap* b0 = fLayers.empty() ? nullptr : fLayers[0]->Bitmap();
  fMaxLayerWidth = b0 ? b0->Width() : 0;
  fMaxLayerHeight = b0 ? b0->Height() : 0;
}

TVXLayerGUID TVexlaneView::LayerGUID(int32_t Index) const {
  (void)Index;
  throw EVXException("Layer records are not available yet (image viewer, part 2)");
}

void TVexlaneView::LayerSaveInfo(int32_t Index, TStream* Stream, bool FullBitmap) {
  (void)Index;
  (void)Stream;
  (void)FullBitmap;
  throw EVXException("Layer records are not available yet (image viewer, part 2)");
}

void TVexlaneView::LayerLoadInfo(int32_t Index, TStream* Stream) {
  (void)Index;
  (void)Stream;
  throw EVXException("Layer records are not available yet (image viewer, part 2)");
}

void TVexlaneView::LayersSaveToStream(TStream* Stream, int32_t Mode) {
  (void)Stream;
  (void)Mode;
  throw EVXException("The layers stream is not available yet (image viewer, part 4)");
}

void TVexlaneView::LayersLoadFromStream(TStream* Stream) {
  (void)Stream;
  throw EVXException("The layers stream is not available yet (image viewer, part 4)");
}

void TVexlaneView::LayersSaveToFile(const std::string& FileName, int32_t CompressionFormat) {
  (void)FileName;
  (void)CompressionFormat;
  throw EVXException("The layers stream is not available yet (image viewer, part 4)");
}
