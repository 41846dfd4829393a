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

}  // namespace

bool TVexlaneIO::PSDLoadCore(TStream* Stream) {
  const TVXCodecOps& ops = VXRequireCodecOps(kPSDFileType, vxcoLoad);
  fParams->ResetInfo();
  TProgressRec progress = MakeProgress();
  fVXBitmap->RemoveAlphaChannel(false, 0);
  TVXLayerList layers;
  TVXCodecReadArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  // Without a layered viewer there is nowhere to put the layers: the merged
  // image is what the target gets.
  args.LoadLayers = false;
  args.Layers = &layers;
  ops.Read(args);
  if (layers.size() == 1 && !fParams->GetThumbnail() && !fAborting) TakeLayerAlpha(fVXBitmap, *layers.front());
  layers.clear();
  CheckDPI();
  if (fAutoAdjustDPI) DoAutoAdjustDPI();
  fParams->SetFileName("");
  fParams->SetFileType(kPSDFileType);
  ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  Update();
  return !fAborting;
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
  CodecSaveFile(FileName, kPSDFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamPSD(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamPSD, Stream)) return;
  CodecSaveStream(Stream, kPSDFileType, vxscNone);
}
