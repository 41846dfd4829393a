// The common steps of the I/O component's per-format operations: one load
// pattern and one save pattern around a codec record, which the format
// members (BMP, ICO, PNM, WBMP, raw data, PCX, Targa, ...) call with their
// own after-steps.
#include <memory>
#include <string>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "core/filewriter.h"
#include "io/params.h"
#include "io/vexlaneio.h"

bool TVexlaneIO::CodecLoadCore(TStream* Stream, int32_t FileType, const TLoadSteps& Steps, int64_t Length) {
  const TVXCodecOps& ops = VXRequireCodecOps(FileType, vxcoLoad);
  fParams->ResetInfo();
  TProgressRec progress = MakeProgress();
  fVXBitmap->RemoveAlphaChannel(false, 0);
  TVXCodecReadArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.Length = Length;
  ops.Read(args);
  if (Steps.CheckDPI) CheckDPI();
  if (Steps.MaskToAlpha && args.AlphaMask && !fAborting) fVXBitmap->AlphaChannel()->CopyFromTVXMask(args.AlphaMask.get());
  if (Steps.AutoAdjustDPI && fAutoAdjustDPI) DoAutoAdjustDPI();
  fParams->SetFileType(FileType);
  if (Steps.ApplyDPIToView) ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  Update();
  return !fAborting;
}

bool TVexlaneIO::OperationPattern(bool AbortingFirst, const std::function<bool()>& Body) {
  fAborting = AbortingFirst;
  if (!MakeConsistentBitmap(TVXPixelFormatSet())) {
    fAborting = true;
    DoFinishWork();
    return false;
  }
  bool result = false;
  try {
    result = Body();
  } catch (...) {
    DoFinishWork();
    throw;
  }
  DoFinishWork();
  return result;
}

bool TVexlaneIO::CodecLoadFile(const std::string& FileName, int32_t FileType, const TLoadSteps& Steps) {
  return OperationPattern(true, [&] {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    TVXBufferedReadStream buffered(&file, 65536, true);
    fAborting = false;
    const bool result = CodecLoadCore(&buffered, FileType, Steps);
    fParams->SetFileName(FileName);
    return result;
  });
}

bool TVexlaneIO::CodecLoadStream(TStream* Stream, int32_t FileType, const TLoadSteps& Steps) {
  return OperationPattern(false, [&] {
    const bool result = CodecLoadCore(Stream, FileType, Steps);
    fParams->SetFileName("");
    return result;
  });
}

void TVexlaneIO::CodecWrite(TStream* Stream, int32_t FileType, bool MaskFromAlpha) {
  const TVXCodecOps& ops = VXRequireCodecOps(FileType, vxcoSave);
  TProgressRec progress = MakeProgress();
  std::unique_ptr<TVXMask> mask;
  if (MaskFromAlpha && fVXBitmap->HasAlphaChannel()) {
    mask = std::make_unique<TVXMask>();
    fVXBitmap->AlphaChannel()->CopyToTVXMask(mask.get());
  }
  TVXCodecWriteArgs args;
  args.Stream = Stream;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.AlphaMask = mask.get();
  ops.Write(args);
}

namespace {

// Conversion to 24 bits before a save: every format but vx24RGB and vx1g.
void ConvertTo24Bit(TVXBitmap* Bitmap) {
  if (Bitmap->PixelFormat() != vx24RGB && Bitmap->PixelFormat() != vx1g) Bitmap->SetPixelFormat(vx24RGB);
}

}  // namespace

void TVexlaneIO::SaveFilePattern(const std::string& FileName, int32_t FileType, const std::function<void()>& Prepare,
                                 const std::function<void(TStream* Stream)>& Write) {
  OperationPattern(true, [&] {
    if (Prepare) Prepare();
    if (VXWriteFileSafely(FileName, fAborting, [&](TStream* Stream) {
          fAborting = false;
          Write(Stream);
        })) {
      fParams->SetFileName(FileName);
      fParams->SetFileType(FileType);
    }
    return true;
  });
}

void TVexlaneIO::SaveStreamPattern(const std::function<void()>& Write) {
  OperationPattern(false, [&] {
    Write();
    return true;
  });
}

void TVexlaneIO::CodecSaveFile(const std::string& FileName, int32_t FileType, TSaveConversion Conversion,
                               bool MaskFromAlpha) {
  SaveFilePattern(
      FileName, FileType,
      [&] {
        VXRequireCodecOps(FileType, vxcoSave);
        if (Conversion == vxscTo24Bit) ConvertTo24Bit(fVXBitmap);
      },
      [&](TStream* Stream) { CodecWrite(Stream, FileType, MaskFromAlpha); });
}

void TVexlaneIO::CodecSaveStream(TStream* Stream, int32_t FileType, TSaveConversion Conversion, bool MaskFromAlpha) {
  SaveStreamPattern([&] {
    if (Conversion == vxscTo24Bit) ConvertTo24Bit(fVXBitmap);
    CodecWrite(Stream, FileType, MaskFromAlpha);
  });
}
