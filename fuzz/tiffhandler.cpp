// TIFF page tools: the input read by the TIFF file editor, a tag set, copied
// and deleted, the result written; pages deleted from the input in place,
// one and several at a time, and a rebuilt stream counted and its first
// page read.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "core/mask.h"
#include "core/settings.h"
#include "core/startup.h"
#include "core/streams.h"
#include "formats/tiff.h"
#include "formats/tiff_pages.h"
#include "formats/tiffhandler.h"
#include "fuzz/fuzz_library.h"
#include "io/params.h"

namespace {

void ReadFirstPage(TStream* s) {
  s->SetPosition(0);
  VXGetTIFFStreamPageCount(s);
  s->SetPosition(0);
  TVXBitmap back;
  TIOParamsVals params;
  std::unique_ptr<TVXMask> mask;
  int32_t count = 0;
  bool aborting = false;
  TProgressRec progress;
  progress.Aborting = &aborting;
  VXReadTIFFStream(&back, s, count, params, progress, false, mask, true, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true, int64_t(1) << 16);
  {
    TVXMemStream in(data, int64_t(size));
    TVXTIFFHandler h;
    if (h.ReadStream(&in) && h.GetPagesCount() > 0) {
      h.SetValue(0, 315, std::string("Fuzz"), ttAscii);
      const int32_t tags = h.GetTagsCount(0);
      for (int32_t i = 0; i < tags; ++i) {
        h.GetValue(0, i, 0);
        h.GetString(0, i);
      }
      if (tags > 0) h.ChangeTagCode(0, tags - 1, 65000);
      TVXTIFFHandler other;
      other.InsertPage(0);
      if (tags > 0) other.CopyTag(0, 0, 0, h);
      other.InsertPage(-1, h, 0);
      if (tags > 1) h.DeleteTag(0, 1);
      TMemoryStream out;
      h.WriteStream(&out);
      out.SetPosition(0);
      TVXTIFFHandler back;
      back.ReadStream(&out);
    }
  }
  const int32_t single[][1] = {{0}, {1}};
  const int32_t several[] = {0, 2, 3};
  for (int k = 0; k < 3; ++k) {
    TMemoryStream s;
    s.WriteBuffer(data, int64_t(size));
    const int32_t kept = k < 2 ? VXTryDeleteTIFFStreamPage(&s, single[k][0]) : VXDeleteTIFFStreamPages(&s, several);
    if (kept > 0) ReadFirstPage(&s);
  }
  return 0;
}
