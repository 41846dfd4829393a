// The I/O component's camera raw operations: the raw image through the raw
// reader (unless a plug-in owns the extension "raw"), and the JPEG preview
// that CIFF files embed.
#include <string>

#include "core/bitmap.h"
#include "core/streams.h"
#include "io/codec_table.h"
#include "io/fileformats.h"
#include "io/params.h"
#include "io/vexlaneio.h"

namespace {

constexpr int32_t kCameraRawFileType = 20;

// The type registered for the extension "raw"; 0 when none.
int32_t RawExtensionFileType() {
  const TVXFileFormatInfo* info = VXFindFileFormatInfoByExtension("raw");
  return info ? info->FileType : 0;
}

}  // namespace

bool TVexlaneIO::LoadFromFileRAW(const std::string& FileName) {
  if (AsyncStart(vxLoadSaveFileRetBool, &TVexlaneIO::LoadFromFileRAW, FileName)) return true;
  const int32_t type = RawExtensionFileType();
  if (type != kCameraRawFileType) {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    return LoadFromStreamFormat(&file, type);
  }
  return CodecLoadFile(FileName, kCameraRawFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadFromStreamRAW(TStream* Stream) {
  if (AsyncStart(vxLoadSaveStreamRetBool, &TVexlaneIO::LoadFromStreamRAW, Stream)) return true;
  const int32_t type = RawExtensionFileType();
  if (type != kCameraRawFileType) return LoadFromStreamFormat(Stream, type);
  return CodecLoadStream(Stream, kCameraRawFileType, TLoadSteps{});
}

bool TVexlaneIO::LoadJpegFromFileCRW(const std::string& FileName) {
  if (FileName.empty()) return false;
  bool found = false;
  const bool result = OperationPattern(false, [&] {
    TVXWideFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
    fParams->ResetInfo();
    fVXBitmap->RemoveAlphaChannel(false, 0);
    const TVXCodecOps* ops = VXFindCodecOps(kCameraRawFileType);
    found = ops && ops->LoadPreview && ops->LoadPreview(fVXBitmap, &file);
    fParams->SetFileName(FileName);
    fParams->SetFileType(kCameraRawFileType);
    Update();
    return found && !fAborting;
  });
  return result;
}
