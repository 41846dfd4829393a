// Object stream reader: a block loaded into a vector layer, replacing its
// objects, and appended a second time.
#include <cstddef>
#include <cstdint>

#include "core/streams.h"
#include "fuzz_library.h"
#include "vect/vexlanevect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VXFuzzStartLibrary(true);
  static TVexlaneVect* vect = new TVexlaneVect(nullptr);
  TVXMemStream in(data, int64_t(size));
  vect->LoadFromStreamVXV(&in, false);
  in.SetPosition(0);
  vect->LoadFromStreamVXV(&in, true);
  vect->RemoveAllObjects();
  return 0;
}
