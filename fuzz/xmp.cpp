// XMP packet in a JPEG APP1 payload: found, taken into the parameters and
// put back into a marker list.
#include <cstddef>
#include <cstdint>

#include "io/params.h"
#include "io/xmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)VXFindXMPPacket(data, int64_t(size));
  TIOParamsVals params;
  if (VXLoadXMPFromMarker(data, int64_t(size), params)) {
    (void)VXSaveXMPToMarker(params);
    VXWriteXMPToMarkers(params);
    VXReadXMPFromMarkers(params);
  }
  return 0;
}
