// IPTC datasets: the file form (bare datasets or the "Photoshop 3.0" block)
// and the stream form, each read, turned into text and written again.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "io/iptc.h"

namespace {

void Use(TVXIPTCInfoList& list) {
  for (int32_t i = 0; i < list.Count(); ++i) (void)list.GetStrings(i);
  (void)list.SaveToStandardBuffer(true);
  (void)list.SaveToStandardBuffer(false);
  TMemoryStream out;
  list.SaveToStream(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXIPTCInfoList fromFile;
  fromFile.LoadFromStandardBuffer(data, int64_t(size));
  Use(fromFile);
  TVXMemStream in(data, int64_t(size));
  TVXIPTCInfoList fromStream;
  fromStream.LoadFromStream(in);
  Use(fromStream);
  return 0;
}
