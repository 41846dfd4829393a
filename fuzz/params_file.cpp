// Binary parameter file: the bytes loaded into fresh parameters and into
// parameters that already hold data, and a loaded set written and read again.
#include <cstddef>
#include <cstdint>

#include "core/startup.h"
#include "core/streams.h"
#include "core/vxdefs.h"
#include "fuzz/fuzz_library.h"
#include "io/iptc.h"
#include "io/params.h"

namespace {

bool Load(TIOParamsVals& P, const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  try {
    P.LoadFromStream(in);
  } catch (const EVXException&) {
    return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The EXIF block needs the TIFF module's hooks, filled by the start-up.
  VXFuzzStartLibrary(false);
  TIOParamsVals fresh;
  const bool ok = Load(fresh, data, size);
  TIOParamsVals used;
  used.IPTC_Info().AddStringItem(2, 5, "title");
  used.GIF_Comments().push_back("comment");
  Load(used, data, size);
  if (ok) {
    TMemoryStream out;
    try {
      fresh.SaveToStream(out);
    } catch (const EVXException&) {
      return 0;
    }
    out.SetPosition(0);
    TIOParamsVals back;
    back.LoadFromStream(out);
  }
  return 0;
}
