// JPEG marker list in its stream form: read, sorted into writing order,
// inspected and written again.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "io/markers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  TVXMarkerList list;
  list.LoadFromStream(in);
  list.Sort();
  for (int32_t i = 0; i < list.Count(); ++i) {
    (void)list.MarkerLength(i);
    (void)list.MarkerSize(i);
    (void)list.MarkerData(i);
  }
  TMemoryStream out;
  list.SaveToStream(out);
  return 0;
}
