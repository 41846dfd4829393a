// Raw bitmap dump: read from a bounded block and from a stream, and written
// again when it was read.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/settings.h"
#include "core/streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool limited = [] {
    VXGetGlobalSettings()->SetMaxImagePixels(int64_t(1) << 22);
    return true;
  }();
  (void)limited;
  TVXBitmap fromBlock;
  if (fromBlock.LoadRAWFromBufferOrStream(data, nullptr, int64_t(size))) {
    std::vector<uint8_t> again(size_t(fromBlock.CalcRAWSize()));
    fromBlock.SaveRAWToBufferOrStream(again.data(), nullptr, false);
  }
  TVXMemStream in(data, int64_t(size));
  TVXBitmap fromStream;
  fromStream.LoadRAWFromBufferOrStream(nullptr, &in);
  return 0;
}
