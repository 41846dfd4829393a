// The I/O component's TIFF operations: page TIFF_ImageIndex of a file or of a
// stream (behind a "TIFF" stream header when StreamHeaders is on), new
// one-page files and pages inserted into existing ones.
#include <cstring>
#include <string>

#include "core/bitmap.h"
#include "core/filewriter.h"
#include "core/byteorder.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kTIFFFileType = 1;
constexpr int64_t kStreamHeaderSize = 12;

}  // namespace

int32_t TVexlaneIO::LoadTIFFCore(TStream* Stream, bool WithHeader) {
  const TVXCodecOps& ops = VXRequireCodecOps(kTIFFFileType, vxcoLoad);
  TVXBufferedReadStream buffered(Stream, 8192, VXGetGlobalSettings()->UseRelativeStreams());
  fParams->ResetInfo();
  int64_t afterHeader = 0, length = 0;
  if (WithHeader) {
    uint8_t h[kStreamHeaderSize] = {};
    const int64_t got = buffered.Read(h, kStreamHeaderSize);
    afterHeader = buffered.Position();
    const size_t textLen = strnlen(reinterpret_cast<const char*>(h), 5);
    if (got != kStreamHeaderSize || std::string(reinterpret_cast<const char*>(h), textLen) != "TIFF") {
      fAborting = true;
      return 0;
    }
    length = int64_t(VXGetLE32(h + 8));
  }
  TProgressRec progress = MakeProgress();
  fVXBitmap->RemoveAlphaChannel(false, 0);
  TVXCodecReadArgs args;
  args.Stream = &buffered;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.TranslateBase = !WithHeader;
  try {
    ops.Read(args);
  } catch (const EVXException&) {
    fAborting = true;
  }
  CheckDPI();
  if (args.AlphaMask && !fAborting) fVXBitmap->AlphaChannel()->CopyFromTVXMask(args.AlphaMask.get());
  if (fAutoAdjustDPI) DoAutoAdjustDPI();
  if (WithHeader) buffered.SetPosition(afterHeader + length);
  ApplyDPIToView(fParams->DpiX(), fParams->DpiY());
  fParams->SetFileName("");
  fParams->SetFileType(kTIFFFileType);
  Update();
  return args.Count;
}

int32_t TVexlaneIO::LoadFromFileTIFF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetInt, &TVexlaneIO::LoadFromFileTIFF, FileName)) return -1;
  const int32_t result = CountOperation([&] {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    const int32_t count = LoadTIFFCore(&file, false);
    fParams->SetFileName(FileName);
    return count;
  });
  return fAborting ? -1 : result;
}

int32_t TVexlaneIO::LoadFromStreamTIFF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetInt, &TVexlaneIO::LoadFromStreamTIFF, Stream)) return -1;
  const int32_t result = CountOperation([&] { return LoadTIFFCore(Stream, fStreamHeaders); });
  return fAborting ? -1 : result;
}

void TVexlaneIO::SaveToFileTIFF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFile, &TVexlaneIO::SaveToFileTIFF, FileName)) return;
  CodecSaveFile(FileName, kTIFFFileType, vxscNone);
}

void TVexlaneIO::SaveToStreamTIFF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStream, &TVexlaneIO::SaveToStreamTIFF, Stream)) return;
  if (!fStreamHeaders) {
    CodecSaveStream(Stream, kTIFFFileType, vxscNone);
    return;
  }
  SaveStreamPattern([&] {
    const int64_t start = Stream->Position();
    const uint8_t placeholder[kStreamHeaderSize] = {};
    Stream->WriteBuffer(placeholder, kStreamHeaderSize);
    // The header is written after a failed save too, so that the stream
    // can be walked past the image.
    struct THeader {
      TStream* S;
      int64_t Start;
      ~THeader() {
        const int64_t end = S->Position();
        uint8_t h[kStreamHeaderSize] = {'T', 'I', 'F', 'F', 0, 0, 0, 0};
        VXPutLE32(h + 8, uint32_t(end - Start - kStreamHeaderSize));
        S->SetPosition(Start);
        S->Write(h, kStreamHeaderSize);
        S->SetPosition(end);
      }
    } header{Stream, start};
    CodecWrite(Stream, kTIFFFileType, false);
  });
}

int32_t TVexlaneIO::InsertToFileTIFF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetInt, &TVexlaneIO::InsertToFileTIFF, FileName)) return -1;
  int32_t count = 0;
  OperationPattern(true, [&] {
    const TVXCodecOps& ops = VXRequireCodecOps(kTIFFFileType, vxcoInsert);
    fAborting = false;
    TProgressRec progress = MakeProgress();
    count = ops.InsertImage(FileName, fVXBitmap, *fParams, progress);
    return true;
  });
  return count;
}

int32_t TVexlaneIO::InsertToStreamTIFF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetInt, &TVexlaneIO::InsertToStreamTIFF, Stream)) return -1;
  int32_t count = 0;
  OperationPattern(true, [&] {
    const TVXCodecOps& ops = VXRequireCodecOps(kTIFFFileType, vxcoSave);
    fAborting = false;
    Stream->SetPosition(0);
    TProgressRec progress = MakeProgress();
    TVXCodecWriteArgs args;
    args.Stream = Stream;
    args.Bitmap = fVXBitmap;
    args.Params = fParams.get();
    args.Progress = &progress;
    args.Insert = true;
    ops.Write(args);
    count = args.Count;
    return true;
  });
  return count;
}

// Replaces page TIFF_ImageIndex of the TIFF in Copy; the page count, or 0
// (fAborting set) when the page is not there, cannot be removed or the new
// page cannot be written.
int32_t TVexlaneIO::ReplaceTIFFCore(TMemoryStream& Copy) {
  const TVXCodecOps& ops = VXRequireCodecOps(kTIFFFileType, vxcoSave);
  const int32_t index = fParams->TIFF_ImageIndex();
  Copy.SetPosition(0);
  const int32_t pages = ops.ImageCount ? ops.ImageCount(&Copy) : 0;
  if (index < 0 || index >= pages || !ops.DeleteStreamImage || ops.DeleteStreamImage(&Copy, index) != pages - 1) {
    fAborting = true;
    return 0;
  }
  fAborting = false;
  Copy.SetPosition(0);
  TProgressRec progress = MakeProgress();
  TVXCodecWriteArgs args;
  args.Stream = &Copy;
  args.Bitmap = fVXBitmap;
  args.Params = fParams.get();
  args.Progress = &progress;
  args.Insert = true;
  ops.Write(args);
  return fAborting ? 0 : args.Count;
}

int32_t TVexlaneIO::ReplaceFileTIFF(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetInt, &TVexlaneIO::ReplaceFileTIFF, FileName)) return -1;
  int32_t count = 0;
  OperationPattern(true, [&] {
    TMemoryStream copy;
    copy.LoadFromFile(FileName);
    count = ReplaceTIFFCore(copy);
    if (fAborting) return false;
    VXWriteFileSafely(FileName, fAborting, [&](TStream* Out) { Out->WriteBuffer(copy.Memory(), copy.Size()); });
    if (fAborting) count = 0;
    return !fAborting;
  });
  return count;
}

int32_t TVexlaneIO::ReplaceStreamTIFF(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetInt, &TVexlaneIO::ReplaceStreamTIFF, Stream)) return -1;
  int32_t count = 0;
  OperationPattern(true, [&] {
    const int64_t position = Stream->Position();
    TMemoryStream copy;
    copy.LoadFromStream(Stream);
    Stream->SetPosition(position);
    count = ReplaceTIFFCore(copy);
    if (fAborting) return false;
    Stream->SetPosition(0);
    Stream->WriteBuffer(copy.Memory(), copy.Size());
    Stream->SetSize(copy.Size());
    Stream->SetPosition(position);
    return true;
  });
  return count;
}
