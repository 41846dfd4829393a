// JPEG reader (with its EXIF markers): the stream as it comes, decoded in the default and the native
// pixel formats and for its parameters only; the marker tools on the same bytes.
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg.h"
#include "core/bitmap.h"
#include "core/streams.h"
#include "formats/exif.h"
#include "io/exif.h"
#include "io/iptc.h"
#include "io/params.h"

namespace {

void Decode(const uint8_t* data, size_t size, bool native, bool paramsOnly) {
  TVXMemStream in(data, int64_t(size));
  TVXBitmap bmp;
  TIOParamsVals params;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadJpegStream(&in, nullptr, &bmp, params, progress, paramsOnly, false, true, false, true, true, -1, native);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // EXIF markers load through the formats library, as in a started program.
  static const bool hooked = (VXSetEXIFBlockHooks(&VXSaveEXIFBlock, &VXLoadEXIFBlock), true);
  (void)hooked;
  Decode(data, size, false, false);
  Decode(data, size, true, false);
  Decode(data, size, false, true);
  TVXMemStream in(data, int64_t(size));
  VXGetJpegStreamLength(&in);
  TIOParamsVals params;
  VXReadJpegICCProfile(&in, params);
  TVXIPTCInfoList iptc;
  iptc.AddStringItem(2, 120, "fuzz");
  TMemoryStream out;
  TProgressRec progress;
  VXInjectJpegIPTC(&in, &out, iptc, progress);
  return 0;
}
