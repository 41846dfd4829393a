// The I/O component's operations for PSD and PSB documents.
#include <algorithm>
#include <cstring>
#include <string>

#include "core/bitmap.h"
#include "core/layer.h"
#include "core/streams.h"
#include "core/textutils.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kPSDFileType = 24;

// The target's alpha channel becomes the layer's, moved by the layer's
// offset; what the layer does not cover is transparent. A layer whose
// transparency was not read (none stored, or stored compressed in a way that
// is not decoded) leaves the target's own, that of the merged image.
void TakeLayerAlpha(TVXBitmap* Target, TVXLayer& Layer) {
  TVXBitmap* source = Layer.Bitmap() ? Layer.Bitmap()->AlphaChannelOpt() : nullptr;
  if (!source || Target->IsEmpty()) return;
  TVXBitmap* alpha = Target->AlphaChannel();
  if (!alpha) return;
  for (int32_t y = 0; y < alpha->Height(); ++y) std::memset(alpha->ScanLine(y), 0, size_t(alpha->Width()));
  const int64_t dx = Layer.PosX(), dy = Layer.PosY();
  const int64_t x0 = std::max<int64_t>(0, dx), x1 = std::min<int64_t>(alpha->Width(), dx + source->Width());
  const int64_t y0 = std::max<int64_t>(0, dy), y1 = std::min<int64_t>(alpha->Height(), dy + source->Height());
  for (int64_t y = y0; y < y1; ++y) {
    const auto* s = static_cast<const uint8_t*>(source->ScanLine(int32_t(y - dy)));
    auto* d = static_cast<uint8_t*>(alpha->ScanLine(int32_t(y)));
    if (x1 > x0) std::memcpy(d + x0, s + (x0 - dx), size_t(x1 - x0));
  }
  alpha->SetFull(false);
}

// The document's layers go into the viewer: from layer 0 when replacing
// (the viewer was cleared), else after the viewer's own. A first layer at an
// offset gets a locked, fully transparent background layer of the image's
// size below it. A viewer that keeps a platform bitmap takes copies; any
// other takes the layers' images over.
void PutLayersIntoView(TVXViewHost* View, TVXLayerList& Layers, bool Replace, int32_t Width, int32_t Height) {
  auto append = [View] { return View->LayersAdd(1, 1, vx24RGB, 0, 0); };
  int32_t dest = Replace ? 0 : append();
  if (dest < 0 || dest >= View->LayersCount()) return;
  if (Layers.front()->PosX() != 0 || Layers.front()->PosY() != 0) {
    TVXLayer* background = View->Layers(dest);
    background->SetDefaults();
    background->SetLocked(true);
    TVXBitmap* b = background->Bitmap();
    b->Allocate(std::max(Width, 1), std::max(Height, 1), vx24RGB);
    b->Fill(double(int32_t(View->Background())));
    TVXBitmap* alpha = b->AlphaChannel();
    alpha->Fill(0);
    alpha->SetFull(false);
    dest = append();
  }
  const bool copy = View->LegacyBitmap();
  for (size_t i = 0; i < Layers.size(); ++i) {
    if (i > 0) dest = append();
    TVXLayer* target = View->Layers(dest);
    if (copy)
      target->Assign(*Layers[i]);
    else
      target->Swap(*Layers[i]);
  }
}

}  // namespace

bool TVexlaneIO::PSDLoadCore(TStream* Stream) {
  const TVXCodecOps& ops = VXRequireCodecOps(kPSDFileType, vxcoLoad);
  fParams->ResetInfo();
  TProgressRec progress = MakeProgress();
  // Only a single-image viewer takes the layers; without one the merged
  // image is what the target gets.
  TVXViewHost* view = fParams->PSD_LoadLayers() ? ImageView() : nullptr;
  const bool replace = fParams->PSD_ReplaceLayers();
  if (view != nullptr && replace) view->LayersClear();
  fVXBitmap->RemoveAlphaChannel(false, 0);
  // Layers added after the viewer's own leave its current image as it is:
  // the merged image is read aside and taken only when the file has no
  // layers to add.
  TVXBitmap merged;
  TVXBitmap* readInto = view != nullptr && !replace ? &merged : fVXBitmap;
  TVXLayerList layers;
  TVXCodecReadArgs args;
  args.Stream = Stream;
  args.Bitmap = readInto;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.LoadLayers = view != nullptr;
  args.Layers = &layers;
  ops.Read(args);
  if (view != nullptr && !layers.empty()) {
    // Each new layer becomes the viewer's image and the component follows
    // it, which brings the viewer's resolution into the parameters: the
    // file's is kept.
    const int32_t dpiX = fParams->DpiX(), dpiY = fParams->DpiY();
    PutLayersIntoView(view, layers, replace, fParams->Width(), fParams->Height());
    fParams->SetDpiX(dpiX);
    fParams->SetDpiY(dpiY);
  } else {
    if (readInto != fVXBitmap) fVXBitmap->Assign(readInto);
    if (layers.size() == 1 && !fParams->GetThumbnail() && !fAborting) TakeLayerAlpha(fVXBitmap, *layers.front());
  }
  layers.clear();
  CheckDPI();
  if (fAutoAdjustDPI) DoAutoAdjustDPI();
  fParams->SetFileName("");
  fParams->SetFileType(kPSDFileType);
  ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  Update();
  return !fAborting;
}

void TVexlaneIO::PSDWrite(TStream* Stream) {
  TVXViewHost* view = ImageView();
  if (view == nullptr || view->LayersCount() == 0) {
    CodecWrite(Stream, kPSDFileType, false);
    return;
  }
  const TVXCodecOps& ops = VXRequireCodecOps(kPSDFileType, vxcoSave);
  TProgressRec progress = MakeProgress();
  // The merged picture of every layer, in layer 0's pixel format.
  TVXBitmap merged;
  view->LayersDrawTo(&merged);
  if (TVXBitmap* b0 = view->LayerBitmap(0))
    if (b0->PixelFormat() != vxnull && merged.PixelFormat() != b0->PixelFormat()) merged.SetPixelFormat(b0->PixelFormat());
  // The writer converts and resamples the layers it gets: it gets copies,
  // so that saving leaves the viewer's layers as they are.
  TVXLayerList copies;
  for (int32_t i = 0; i < view->LayersCount(); ++i) {
    const TVXLayer* source = view->Layers(i);
    auto layer = std::make_unique<TVXLayer>();
    layer->Assign(*source);
    layer->SetGUID(source->GUID());
    layer->SetRotate(source->Rotate());
    layer->SetRotateCenterX(source->RotateCenterX());
    layer->SetRotateCenterY(source->RotateCenterY());
    copies.push_back(std::move(layer));
  }
  TVXCodecWriteArgs args;
  args.Stream = Stream;
  args.Bitmap = &merged;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.Layers = &copies;
  ops.Write(args);
}

bool TVexlaneIO::LoadFromFilePSD(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFilePSD, FileName)) return true;
  return OperationPattern(true, [&] {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream buffered(&file, 65536, true);
    fAborting = false;
    const bool result = PSDLoadCore(&buffered);
    fParams->SetFileName(FileName);
    return result;
  });
}

bool TVexlaneIO::LoadFromStreamPSD(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamPSD, Stream)) return true;
  return OperationPattern(false, [&] { return PSDLoadCore(Stream); });
}

void TVexlaneIO::SaveToFilePSD(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFilePSD, FileName)) return;
  fParams->SetPSD_LargeDocumentFormat(VXLowerFileExt(FileName, true) == ".psb");
  SaveFilePattern(
      FileName, kPSDFileType, [] { VXRequireCodecOps(kPSDFileType, vxcoSave); },
      [&](TStream* Stream) { PSDWrite(Stream); });
}

void TVexlaneIO::SaveToStreamPSD(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPSD, Stream)) return;
  SaveStreamPattern([&] { PSDWrite(Stream); });
}
