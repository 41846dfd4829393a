// Image annotations: the Wang block of imaging marks and the library's own
// block, in their buffer and stream forms.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "io/annotations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXImagingAnnot marks;
  marks.LoadFromStandardBuffer(data, int64_t(size));
  (void)marks.SaveToStandardBuffer();
  TVXImagingAnnot copy;
  copy.Assign(&marks);

  if (TVXVexlaneAnnot::BufferContainsVexlaneAnnot(data, int64_t(size))) {
    TVXVexlaneAnnot own;
    own.LoadFromBuffer(data, int64_t(size));
    (void)own.SaveToBuffer();
  }
  TVXMemStream in(data, int64_t(size));
  TVXVexlaneAnnot fromStream;
  fromStream.LoadFromStream(in);
  TMemoryStream out;
  fromStream.SaveToStream(out);
  return 0;
}
