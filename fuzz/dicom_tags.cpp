// DICOM tag list in its stream form: read, looked up, copied and written again.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "io/dicomtags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TVXMemStream in(data, int64_t(size));
  TVXDicomTags tags;
  tags.LoadFromStream(in);
  for (int32_t i = 0; i < tags.Count(); ++i) {
    (void)tags.GetTagString(i);
    (void)tags.GetTagNumeric(i, 0);
    (void)tags.GetTagDescription(i);
  }
  int32_t index = -1;
  (void)tags.FindNestedTag(0x0028, 0x0010, static_cast<TVXDicomTags*>(nullptr), index);
  TVXDicomTags copy;
  copy.Assign(&tags);
  TMemoryStream out;
  copy.SaveToStream(out);
  return 0;
}
